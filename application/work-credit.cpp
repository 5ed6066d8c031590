// A row's holder is found by the path of its folder, not by the order of the rows: a
// comparison's gone rows come after the others, and a scan's order is the scan's.
#include "work-credit.hpp"

#include <algorithm>
#include <limits>
#include <optional>

namespace Work::Credit {

namespace Files = Windows::Files;

namespace {

// Sums that no volume can reach come only from damaged data: they stay at the largest
// value rather than wrap round to a small one.
std::uint64_t Sum(std::uint64_t one, std::uint64_t other) {
    std::uint64_t sum;
    return __builtin_add_overflow(one, other, &sum) ? std::numeric_limits<std::uint64_t>::max() : sum;
}

std::int64_t Signed_Sum(std::int64_t one, std::int64_t other) {
    std::int64_t sum;
    if (!__builtin_add_overflow(one, other, &sum)) return sum;
    return other < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
}

std::int64_t Signed(std::uint64_t the_bytes) {
    return static_cast<std::int64_t>(std::min<std::uint64_t>(the_bytes, std::numeric_limits<std::int64_t>::max()));
}

// A folder by the path of its parent and its name, as its record holds them: no path is
// put together, which for a deep tree would cost the square of its depth.
struct Folder_Key {
    std::wstring_view Parent;
    std::wstring_view Name;
    bool operator==(const Folder_Key&) const = default;
};

struct Folder_Key_Hash {
    std::size_t operator()(const Folder_Key& the_key) const {
        const std::hash<std::wstring_view> hash;
        return hash(the_key.Parent) * 0x9E3779B97F4A7C15ull + hash(the_key.Name);
    }
};

// The shown folders, and the innermost of them that holds a folder. The rows of one folder
// share its text, and the folders above it are answered once: however deep the tree, each
// folder is looked for once, not once a row or once a level below it.
class Holders {
public:
    template <typename Entries>
    explicit Holders(const Entries& the_entries) {
        for (std::size_t index = 0; index < the_entries.size(); ++index) {
            const File_Information& row = *the_entries[index].Row;
            if (row.Is_Folder) shown_.emplace(Folder_Key{row.Folder_Name.View(), row.File_Name.View()}, index);
        }
    }

    std::optional<std::size_t> Of(std::wstring_view the_folder) {
        if (the_folder.data() == last_text_ && the_folder.size() == last_size_) return last_holder_;
        last_text_ = the_folder.data();
        last_size_ = the_folder.size();
        return last_holder_ = Innermost(the_folder);
    }

private:
    // Going up until a folder is shown or answered already; the folders passed on the way
    // get the same answer. The answers view the rows' own texts, which outlive them.
    std::optional<std::size_t> Innermost(std::wstring_view the_folder) {
        std::optional<std::size_t> holder;
        std::wstring_view path = the_folder;
        for (; !path.empty(); path = Parent_Of(path)) {
            if (const auto known = answered_.find(path); known != answered_.end()) {
                holder = known->second;
                break;
            }
            if (const auto found = shown_.find({Parent_Of(path), path.substr(Parent_Of(path).size() + 1)});
                found != shown_.end()) {
                holder = found->second;
                break;
            }
        }
        for (std::wstring_view passed = the_folder; passed.size() > path.size(); passed = Parent_Of(passed))
            answered_.emplace(passed, holder);
        return holder;
    }

    static std::wstring_view Parent_Of(std::wstring_view the_path) {
        const std::size_t last = the_path.rfind(L'\\');
        return the_path.substr(0, last == std::wstring_view::npos ? 0 : last);
    }

    std::unordered_map<Folder_Key, std::size_t, Folder_Key_Hash> shown_;
    std::unordered_map<std::wstring_view, std::optional<std::size_t>> answered_;
    const wchar_t* last_text_ = nullptr;
    std::size_t last_size_ = ~std::size_t{0};
    std::optional<std::size_t> last_holder_;
};

}  // namespace

Ledger::Entry Ledger::Entry_Of(const File_Information& the_row, const Compare::Change* the_change) {
    const std::uint64_t counted = Counted_Size_Of(the_row).Value();
    Entry entry{&the_row, the_row.Owner, counted, counted};
    if (!the_change) return entry;
    if (the_change->Is_Gone) {
        entry.Now = 0;
        entry.Is_Gone = true;
    } else if (the_change->Is_New) {
        entry.Then = 0;
    } else {
        entry.Then = counted - static_cast<std::uint64_t>(the_change->Counted);
        if (the_change->Owner_Then) entry.Owner_Then = the_change->Owner_Then;
    }
    return entry;
}

void Ledger::Add(const File_Information& the_row, const Compare::Change* the_change) {
    const Entry entry = Entry_Of(the_row, the_change);
    if (rows_can_nest_) entries_.push_back(entry);
    else Credit(entry);
}

Owner_Total* Ledger::Total_Of(Files::Owner the_owner) {
    if (Files::Is_Unknown(the_owner)) return nullptr;
    if (the_owner != last_owner_) {
        const auto [place, is_new] = owner_places_.try_emplace(the_owner, totals_.Owners.size());
        if (is_new) totals_.Owners.push_back({the_owner});
        last_owner_ = the_owner;
        last_place_ = place->second;
    }
    return &totals_.Owners[last_place_];
}

void Ledger::Credit(const Entry& the_entry) {
    const std::uint64_t now = the_entry.Now - std::min(the_entry.Taken_Now, the_entry.Now);
    const std::uint64_t then = the_entry.Then - std::min(the_entry.Taken_Then, the_entry.Then);
    totals_.Size = File_Size::From(Sum(totals_.Size.Value(), now));
    if (Owner_Total* owner = Total_Of(the_entry.Row->Owner)) {
        if (!the_entry.Is_Gone) {
            ++owner->Files;
            owner->Usage = File_Size::From(Sum(owner->Usage.Value(), now));
        }
        owner->Change = Signed_Sum(owner->Change, Signed(now));
    }
    if (Owner_Total* owner = Total_Of(the_entry.Owner_Then)) owner->Change = Signed_Sum(owner->Change, -Signed(then));
}

void Ledger::Take_From_Holders() {
    Holders holders(entries_);
    for (const Entry& entry : entries_) {
        const std::optional<std::size_t> holder = holders.Of(entry.Row->Folder_Name.View());
        if (!holder) continue;
        Entry& folder = entries_[*holder];
        folder.Taken_Now = Sum(folder.Taken_Now, entry.Now);
        folder.Taken_Then = Sum(folder.Taken_Then, entry.Then);
    }
}

Totals Ledger::Close() {
    if (rows_can_nest_) {
        Take_From_Holders();
        for (const Entry& entry : entries_) Credit(entry);
        entries_.clear();
    }
    return std::move(totals_);
}

}  // namespace Work::Credit
