// Owner accounting: every owner met, with the number and total size of its displayed
// objects, and the Accounts page's rows of them.
#include <unordered_map>

#include "gui-registered.hpp"
#include "work-internal.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

Account_List Accounts;
// The same elements by owner: a domain's file server has tens of thousands of owners, and
// a display adds to each of them.
std::unordered_map<Files::Owner, Account_Information*> Account_Of_Owner;

}  // namespace

const Account_List& Known_Accounts() { return Accounts; }

void Add_To_Account(Files::Owner the_owner, std::int32_t the_files, File_Size the_usage,
                    std::int64_t the_change, const Credit::Usage_By_Age& the_usage_by_age) {
    if (const auto known = Account_Of_Owner.find(the_owner); known != Account_Of_Owner.end()) {
        Account_Information& account = *known->second;
        account.Nr_Of_Files += the_files;
        account.Disk_Usage += the_usage;
        account.Change += the_change;
        for (std::size_t band = 0; band < Credit::Age_Band_Count; ++band)
            account.By_Age[band] += the_usage_by_age[band];
        return;
    }
    Append(Account_Information{the_owner, the_files, the_usage, the_change, the_usage_by_age}, Accounts);
    Account_Of_Owner.emplace(the_owner, &Last_Of(Accounts));
    if (!Files::Image_Of(the_owner).empty())
        Gui::Add_Data(Controls().Account_List_View, &Last_Of(Accounts));
}

void Add_To_Object_Owner(const File_Information& the_file) {
    if (Files::Is_Unknown(the_file.Owner)) return;
    Add_To_Account(the_file.Owner, 1, Counted_Size_Of(the_file));
}

void Zero_Account_Totals() {
    for (auto position = First(Accounts); Has_Element(position); position = Next(position)) {
        Account_Information& account = Element_At(position);
        account.Nr_Of_Files = 0;
        account.Disk_Usage = Files::Zero_Length;
        account.Change = 0;
        account.By_Age = {};
    }
}

// Owner, files, usage and its four parts by age, then the change when comparing.
constexpr int Change_Column = 3 + static_cast<int>(Credit::Age_Band_Count);

void Adjust_Account_Columns(bool with_change) {
    const Gui::List_View& view = Controls().Account_List_View;
    if (view.Is_Null() || (Gui::Number_Of_Columns_Of(view) == Change_Column + 1) == with_change) return;
    std::vector<Gui::Registered::Column> columns;
    if (with_change) columns.push_back({"Change", 75, Gui::Justification::Right});
    Gui::Registered::Replace_Columns_From(view, Change_Column + 1, columns);
}

// The totals change in place: the rows shown already would keep their old texts.
void Repaint_Accounts() { Gui::Repaint_Rows(Controls().Account_List_View); }

std::wstring Account_Text_Handler(int for_column, void* the_account) {
    const Account_Information& account = *static_cast<const Account_Information*>(the_account);
    switch (for_column) {
    case 0: return Files::Image_Of(account.Owner);
    case 1: return L" " + std::to_wstring(account.Nr_Of_Files);
    case 2: return Wide_Text::Widened(Files::Image_Of(account.Disk_Usage));
    case Change_Column: return Wide_Text::Widened(Change_Image_Of(account.Change));
    default:
        if (for_column < Change_Column) return Wide_Text::Widened(Files::Image_Of(account.By_Age[for_column - 3]));
        return {};
    }
}

Gui::Comparison Account_Sort_Routine(int for_column, void* first, void* second) {
    const Account_Information& one = *static_cast<const Account_Information*>(first);
    const Account_Information& other = *static_cast<const Account_Information*>(second);
    switch (for_column) {
    case 0: return Comparison_Of(one.Owner, other.Owner);
    case 1: return Comparison_Of(one.Nr_Of_Files, other.Nr_Of_Files);
    case 2: return Comparison_Of(one.Disk_Usage.Value(), other.Disk_Usage.Value());
    case Change_Column: return Comparison_Of(one.Change, other.Change);
    default:
        if (for_column < Change_Column)
            return Comparison_Of(one.By_Age[for_column - 3].Value(), other.By_Age[for_column - 3].Value());
        return Gui::Comparison::Equal;
    }
}

Gui::Comparison Comparison_Of(Files::Owner first, Files::Owner second) {
    if (first == second) return Gui::Comparison::Equal;
    const std::wstring& one = Files::Image_Of(first);
    const std::wstring& other = Files::Image_Of(second);
    const std::size_t common = std::min(one.size(), other.size());
    for (std::size_t index = 0; index < common; ++index) {
        if (one[index] != other[index])
            return one[index] > other[index] ? Gui::Comparison::Greater : Gui::Comparison::Less;
    }
    return one.size() > other.size() ? Gui::Comparison::Greater : Gui::Comparison::Less;
}

Gui::Comparison Comparison_Of(const File_Time& first, const File_Time& second) {
    if (Files::Is_Earlier(first, second)) return Gui::Comparison::Less;
    if (Files::Is_Later(first, second)) return Gui::Comparison::Greater;
    return Gui::Comparison::Equal;
}

}  // namespace Work
