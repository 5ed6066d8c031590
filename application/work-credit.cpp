// A row's holder is found by the path of its folder, not by the order of the rows: a
// comparison's gone rows come after the others, and a scan's order is the scan's.
#include "work-credit.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>

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

std::wstring Path_Of(const File_Information& the_folder) {
    return std::wstring(the_folder.Folder_Name.View()).append(1, L'\\').append(the_folder.File_Name.View());
}

// The shown folders by their paths, and the innermost of them that holds a folder. The
// rows of one folder share its text, so a folder is looked for once, not once a row.
class Holders {
public:
    template <typename Entries>
    explicit Holders(const Entries& the_entries) {
        std::size_t folders = 0;
        for (const auto& entry : the_entries) folders += entry.Row->Is_Folder;
        paths_.reserve(folders);  // the map's keys view these strings: they must not move
        for (std::size_t index = 0; index < the_entries.size(); ++index) {
            if (!the_entries[index].Row->Is_Folder) continue;
            paths_.push_back(Path_Of(*the_entries[index].Row));
            by_path_.emplace(paths_.back(), index);
        }
    }

    std::optional<std::size_t> Of(std::wstring_view the_folder) {
        const auto known = by_text_.find(the_folder.data());
        if (known != by_text_.end() && known->second.Size == the_folder.size()) return known->second.Holder;
        std::optional<std::size_t> holder = Innermost(the_folder);
        by_text_[the_folder.data()] = {the_folder.size(), holder};
        return holder;
    }

private:
    std::optional<std::size_t> Innermost(std::wstring_view the_folder) const {
        for (std::wstring_view path = the_folder; !path.empty();) {
            if (const auto found = by_path_.find(path); found != by_path_.end()) return found->second;
            const std::size_t last = path.rfind(L'\\');
            path = path.substr(0, last == std::wstring_view::npos ? 0 : last);
        }
        return std::nullopt;
    }

    struct Known {
        std::size_t Size;
        std::optional<std::size_t> Holder;
    };
    std::vector<std::wstring> paths_;
    std::unordered_map<std::wstring_view, std::size_t> by_path_;
    std::unordered_map<const wchar_t*, Known> by_text_;
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
