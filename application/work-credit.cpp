// A row's holder is found by the path of its folder, not by the order of the rows: a
// comparison's gone rows come after the others, and a scan's order is the scan's.
#include "work-credit.hpp"

#include <algorithm>
#include <limits>
#include <optional>

namespace Work::Credit {

namespace Files = Windows::Files;

namespace {

using Unsigned::Saturated_Signed;
using Unsigned::Saturated_Sum;

std::int64_t Signed_Sum(std::int64_t one, std::int64_t other) {
    std::int64_t sum;
    if (!__builtin_add_overflow(one, other, &sum)) return sum;
    return other < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
}

Windows::Files::Owner Owner_Then_Of(const File_Information& the_row, const Compare::Change* the_change) {
    return the_change && the_change->Owner_Then ? the_change->Owner_Then : the_row.Owner;
}

}  // namespace

Ledger::Sizes Ledger::Sum_Of(const Sizes& one, const Sizes& other) {
    return {Saturated_Sum(one.Now, other.Now), Saturated_Sum(one.Then, other.Then),
            Saturated_Sum(one.On_Disk, other.On_Disk)};
}

Age_Bands::Age_Bands(const File_Time& the_time_now) {
    constexpr std::uint64_t day = 24ull * 60 * 60 * 10'000'000;
    const std::uint64_t now = Unsigned::Quadword_Of(the_time_now.dwHighDateTime, the_time_now.dwLowDateTime).Value();
    const std::uint64_t ages[] = {30 * day, 365 * day, 3 * 365 * day};
    for (std::size_t band = 0; band < since_.size(); ++band) since_[band] = now > ages[band] ? now - ages[band] : 0;
}

std::size_t Age_Bands::Of(const File_Time& the_last_access) const {
    const std::uint64_t time =
        Unsigned::Quadword_Of(the_last_access.dwHighDateTime, the_last_access.dwLowDateTime).Value();
    std::size_t band = 0;
    while (band < since_.size() && (time == 0 || time < since_[band])) ++band;
    return band;
}

Ledger::Ledger(bool rows_can_nest, bool counts_on_disk)
    : rows_can_nest_(rows_can_nest), counts_on_disk_(counts_on_disk), age_bands_(Files::The_Time_Now()) {}

std::size_t Folder_Key_Hash::operator()(const Folder_Key& the_key) const {
    const std::hash<std::wstring_view> hash;
    return hash(the_key.Parent) * 0x9E3779B97F4A7C15ull + hash(the_key.Name);
}

void Ledger::Add(const File_Information& the_row, const Compare::Change* the_change) {
    const std::uint64_t counted = Counted_Size_Of(the_row, counts_on_disk_).Value();
    Sizes size{counted, counted, Counted_Size_Of(the_row, true).Value()};
    if (the_change && the_change->Is_Gone) size.Now = size.On_Disk = 0;
    else if (the_change && the_change->Is_New) size.Then = 0;
    else if (the_change) size.Then = counted - static_cast<std::uint64_t>(the_change->Counted_Of(counts_on_disk_));
    const bool is_gone = the_change && the_change->Is_Gone;
    const Windows::Files::Owner owner_then = Owner_Then_Of(the_row, the_change);

    totals_.Size = File_Size::From(Saturated_Sum(totals_.Size.Value(), size.Now));
    totals_.Size_On_Disk = File_Size::From(Saturated_Sum(totals_.Size_On_Disk.Value(), size.On_Disk));
    const std::size_t age_band = age_bands_.Of(the_row.Last_Accessed);
    if (Owner_Total* owner = Total_Of(the_row.Owner)) {
        if (!is_gone) {
            ++owner->Files;
            owner->Usage = File_Size::From(Saturated_Sum(owner->Usage.Value(), size.Now));
            File_Size& by_age = owner->By_Age[age_band];
            by_age = File_Size::From(Saturated_Sum(by_age.Value(), size.Now));
        }
        owner->Change = Signed_Sum(owner->Change, Saturated_Signed(size.Now));
    }
    if (Owner_Total* owner = Total_Of(owner_then)) owner->Change = Signed_Sum(owner->Change, -Saturated_Signed(size.Then));

    if (!rows_can_nest_) return;
    Hold(the_row.Folder_Name.View(), size);
    if (!the_row.Is_Folder) return;
    folder_places_.emplace(Folder_Key{the_row.Folder_Name.View(), the_row.File_Name.View()}, folders_.size());
    folders_.push_back({is_gone ? nullptr : the_row.Owner, owner_then, age_band, size});
}

// The rows of one folder mostly come together and share its text: a run of them is kept as
// one.
void Ledger::Hold(std::wstring_view the_folder, Sizes the_size) {
    if (held_.empty() || held_.back().Folder.data() != the_folder.data() ||
        held_.back().Folder.size() != the_folder.size())
        return held_.push_back({the_folder, the_size});
    Sizes& run = held_.back().Size;
    run = Sum_Of(run, the_size);
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

std::optional<std::size_t> Ledger::Holder_Of(std::wstring_view the_folder) {
    if (the_folder.data() == last_text_ && the_folder.size() == last_size_) return last_holder_;
    last_text_ = the_folder.data();
    last_size_ = the_folder.size();
    return last_holder_ = Innermost(the_folder);
}

// Going up until a folder is shown or answered already; the folders passed on the way get
// the same answer, so however deep the tree, each folder is looked for once.
std::optional<std::size_t> Ledger::Innermost(std::wstring_view the_folder) {
    std::optional<std::size_t> holder;
    std::wstring_view path = the_folder;
    for (; !path.empty(); path = Parent_Folder_Of(path)) {
        if (const auto known = answered_.find(path); known != answered_.end()) {
            holder = known->second;
            break;
        }
        const std::wstring_view parent = Parent_Folder_Of(path);
        if (const auto found = folder_places_.find({parent, path.substr(parent.size() + 1)});
            found != folder_places_.end()) {
            holder = found->second;
            break;
        }
    }
    for (std::wstring_view passed = the_folder; passed.size() > path.size(); passed = Parent_Folder_Of(passed))
        answered_.emplace(passed, holder);
    return holder;
}

// The folder was credited its whole size: what shown rows inside it took goes back, as far
// as its size goes.
void Ledger::Give_Back(const Shown_Folder& the_folder) {
    const std::uint64_t now = std::min(the_folder.Taken.Now, the_folder.Size.Now);
    const std::uint64_t then = std::min(the_folder.Taken.Then, the_folder.Size.Then);
    const std::uint64_t on_disk = std::min(the_folder.Taken.On_Disk, the_folder.Size.On_Disk);
    totals_.Size = File_Size::From(totals_.Size.Value() - std::min(now, totals_.Size.Value()));
    totals_.Size_On_Disk =
        File_Size::From(totals_.Size_On_Disk.Value() - std::min(on_disk, totals_.Size_On_Disk.Value()));
    if (Owner_Total* owner = Total_Of(the_folder.Owner_Now)) {
        owner->Usage = File_Size::From(owner->Usage.Value() - std::min(now, owner->Usage.Value()));
        // The folder was credited in its own band.
        File_Size& by_age = owner->By_Age[the_folder.Age_Band];
        by_age = File_Size::From(by_age.Value() - std::min(now, by_age.Value()));
        owner->Change = Signed_Sum(owner->Change, -Saturated_Signed(now));
    }
    if (Owner_Total* owner = Total_Of(the_folder.Owner_Then)) owner->Change = Signed_Sum(owner->Change, Saturated_Signed(then));
}

Totals Ledger::Close() {
    for (const Held& row : held_) {
        const std::optional<std::size_t> holder = Holder_Of(row.Folder);
        if (!holder) continue;
        Sizes& taken = folders_[*holder].Taken;
        taken = Sum_Of(taken, row.Size);
    }
    for (const Shown_Folder& folder : folders_) Give_Back(folder);
    return std::move(totals_);
}

}  // namespace Work::Credit
