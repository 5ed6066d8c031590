// The Types page: one row per file type below the displayed folder, in its colour, with the
// totals in the status line. Made anew whenever the page is shown and whenever the shown
// records change while it is.
#include <atomic>
#include <string>
#include <vector>

#include "gui-registered.hpp"
#include "work-internal.hpp"
#include "work-types.hpp"

namespace Work {

namespace {

// The rows refer to these: the view is emptied before they change.
std::vector<Types::Type_Statistics> Shown_Types;
File_Size Types_Total{};
// The status line holds the types' totals rather than the shown records'.
std::atomic<bool> Types_Totals_Are_Shown = false;

std::size_t Rank_Of(void* the_type) {
    return static_cast<std::size_t>(static_cast<const Types::Type_Statistics*>(the_type) - Shown_Types.data());
}

const Types::Type_Statistics& Type_At(void* the_type) {
    return *static_cast<const Types::Type_Statistics*>(the_type);
}

// "12.5%" of the total, one decimal.
std::wstring Share_Of(File_Size the_size) {
    if (Types_Total.Value() == 0) return L"0.0%";
    const double share = 100.0 * static_cast<double>(the_size.Value()) / static_cast<double>(Types_Total.Value());
    wchar_t text[32];
    swprintf(text, 32, L"%.1f%%", share);
    return text;
}

std::string Totals_Line() {
    std::int64_t files = 0;
    for (const Types::Type_Statistics& type : Shown_Types) files += type.Files;
    return Image_Of(static_cast<int>(files), "file") + " of " + Image_Of(static_cast<int>(Shown_Types.size()), "type") +
           ". Total size=" + Work::Image_Of(Types_Total);
}

}  // namespace

void Show_Types() {
    const Gui::List_View& view = Controls().Types_List_View;
    if (view.Is_Null()) return;
    Gui::Remove_All_From(view);
    Shown_Types = Types::Types_Below(Known_Files(), Selection_In_Force(), Display_Root());
    Types_Total = {};
    for (const Types::Type_Statistics& type : Shown_Types) Types_Total = Unsigned::Saturated_Sum(Types_Total, type.Size);
    std::vector<void*> rows;
    rows.reserve(Shown_Types.size());
    for (Types::Type_Statistics& type : Shown_Types) rows.push_back(&type);
    Gui::Add_Data(view, rows);
    Gui::Set_Status_Line(Totals_Line());
    Types_Totals_Are_Shown = true;
}

void Leave_Types_Totals() {
    if (Types_Totals_Are_Shown.exchange(false)) Gui::Set_Status_Line(Shown_Results_Line());
}

void Types_Page_Request() {
    if (Searcher_Is_Busy()) return;
    // A change of options shows the types with the records.
    Refresh_Display();
    if (!Types_Totals_Are_Shown) Show_Types();
}

std::wstring Type_Text_Handler(int for_column, void* the_type) {
    const Types::Type_Statistics& type = Type_At(the_type);
    switch (for_column) {
    case 0: return type.Type;
    case 1: return L"\u25A0\u25A0\u25A0";  // the swatch, in the row's colour
    case 2: return L" " + std::to_wstring(type.Files);
    case 3: return Wide_Text::Widened(Work::Image_Of(type.Size));
    case 4: return Share_Of(type.Size);
    case 5: return type.Largest;
    default: return {};
    }
}

COLORREF Type_Color_Handler(void* the_type) { return Types::Colour_Of_Rank(Rank_Of(the_type)); }

Gui::Comparison Type_Sort_Routine(int for_column, void* first, void* second) {
    const Types::Type_Statistics& one = Type_At(first);
    const Types::Type_Statistics& other = Type_At(second);
    switch (for_column) {
    case 0: return Comparison_Of(std::wstring_view(one.Type), std::wstring_view(other.Type));
    case 1: return Comparison_Of(Rank_Of(first), Rank_Of(second));
    case 2: return Comparison_Of(one.Files, other.Files);
    case 3:
    case 4: return Comparison_Of(one.Size.Value(), other.Size.Value());
    case 5: return Comparison_Of(std::wstring_view(one.Largest), std::wstring_view(other.Largest));
    default: return Gui::Comparison::Equal;
    }
}

}  // namespace Work
