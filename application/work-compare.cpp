// Records are matched in the order of the walk where they can be, and by the hashes of
// their paths where they cannot; no path is built, and an older record is held only when
// it was not met in order.
#include "work-compare.hpp"

#include <algorithm>
#include <bit>
#include <functional>
#include <future>
#include <optional>
#include <string_view>

namespace Work::Compare {

namespace {

// Changes are signed: a size or a difference of 2^63 or more, which only a damaged scan or a
// sparse file no disk holds gives, is told as the largest change that fits, its sign kept.
std::int64_t Signed(File_Size size) { return Unsigned::Saturated_Signed(size.Value()); }

std::int64_t Difference(File_Size now, File_Size then) {
    if (now.Value() >= then.Value()) return Unsigned::Saturated_Signed(now.Value() - then.Value());
    return -Unsigned::Saturated_Signed(then.Value() - now.Value());
}

// What tells one object from another.
struct Path {
    std::wstring_view Folder;
    std::wstring_view Name;
    std::wstring_view Stream;
    bool Is_Folder;
    bool operator==(const Path& other) const {
        return Is_Folder == other.Is_Folder && Name == other.Name && Stream == other.Stream &&
               Folder == other.Folder;
    }
};

Path Path_Of(const File_Information& the_record) {
    return {the_record.Folder_Name.View(), the_record.File_Name.View(), the_record.Stream_Name.View(),
            the_record.Is_Folder};
}

// An older record as the reader holds it: its name is compared as the scan has it, not decoded.
struct Older_Path {
    const Scan_File::Record_Reader& Reader;
    std::wstring_view Folder;
    std::wstring_view Stream;
    bool Is_Folder;
};

Older_Path Path_Of(const Scan_File::Record_Reader& the_reader) {
    return {the_reader, the_reader.Folder_Name(), the_reader.Stream_Name(), the_reader.Is_Folder()};
}

// Hashes of paths: the records of one folder come together and share its text, so the
// folder's part is computed once for all of them.
class Path_Hasher {
public:
    std::uint64_t Of(const Path& the_path) {
        if (the_path.Folder.data() != last_folder_ || the_path.Folder.size() != last_size_) {
            last_folder_ = the_path.Folder.data();
            last_size_ = the_path.Folder.size();
            folder_hash_ = hash_(the_path.Folder);
        }
        std::uint64_t value = folder_hash_ * 0x9E3779B97F4A7C15ull + hash_(the_path.Name);
        value = value * 0x9E3779B97F4A7C15ull + hash_(the_path.Stream);
        return value * 2 + the_path.Is_Folder;
    }

private:
    std::hash<std::wstring_view> hash_;
    const wchar_t* last_folder_ = nullptr;
    std::size_t last_size_ = ~std::size_t{0};
    std::uint64_t folder_hash_ = 0;
};

std::size_t Capacity_For(std::size_t entries) { return std::bit_ceil(entries * 2 + 16); }

// Older records by the hashes of their paths, for the records that were not met in order.
class Older_Table {
public:
    explicit Older_Table(const std::vector<const File_Information*>& the_older)
        : slots_(Capacity_For(the_older.size())) {
        Path_Hasher hasher;
        for (const File_Information* record : the_older) {
            const std::uint64_t hash = hasher.Of(Path_Of(*record));
            std::size_t index = hash & (slots_.size() - 1);
            while (slots_[index].Record) index = (index + 1) & (slots_.size() - 1);
            slots_[index] = {hash, record};
        }
    }

    // The older record of the same object, taken out; null when there is none.
    const File_Information* Take(const Path& the_path, std::uint64_t hash) {
        for (std::size_t index = hash & (slots_.size() - 1); slots_[index].Record;
             index = (index + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[index];
            if (slot.Hash != hash || slot.Is_Taken || !(Path_Of(*slot.Record) == the_path)) continue;
            slot.Is_Taken = true;
            return slot.Record;
        }
        return nullptr;
    }

    bool Is_Taken(const File_Information& the_older, std::uint64_t hash) const {
        for (std::size_t index = hash & (slots_.size() - 1); slots_[index].Record;
             index = (index + 1) & (slots_.size() - 1))
            if (slots_[index].Record == &the_older) return slots_[index].Is_Taken;
        return false;
    }

private:
    struct Slot {
        std::uint64_t Hash = 0;
        const File_Information* Record = nullptr;
        bool Is_Taken = false;
    };
    std::vector<Slot> slots_;
};

// Records of one folder come together, and share their folder's text in each list: the
// folders' texts are compared once for a run of records.
// (The root's empty text has no address: it is compared each time, at no cost.)
struct Folder_Match {
    const wchar_t* Now = nullptr;
    const wchar_t* Then = nullptr;
    bool Is_Same = false;
};

bool Is_Same(const Path& now, const Older_Path& then, Folder_Match& last) {
    if (now.Is_Folder != then.Is_Folder || now.Stream != then.Stream || !then.Reader.Has_Name(now.Name)) return false;
    if (now.Folder.data() == nullptr || now.Folder.data() != last.Now || then.Folder.data() != last.Then)
        last = {now.Folder.data(), then.Folder.data(), now.Folder == then.Folder};
    return last.Is_Same;
}

// Two walks of one tree list it in the same order but for what changed: each older record
// is looked for first among the next few records now.
constexpr std::size_t Look_Ahead = 8;

std::size_t Slot_Index(const File_Information* the_record, std::size_t the_capacity) {
    const auto address = reinterpret_cast<std::uintptr_t>(the_record);
    return static_cast<std::size_t>((address >> 4) * 0x9E3779B97F4A7C15ull >> 20) & (the_capacity - 1);
}

}  // namespace

bool Is_Same_Root(const std::wstring& one, const std::wstring& other) {
    return CompareStringOrdinal(one.data(), static_cast<int>(one.size()), other.data(),
                                static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

namespace {

// What a record was then, as far as a change is concerned.
struct Then {
    File_Size Size;
    File_Size Size_On_Disk;
    bool Has_Size_On_Disk;
    bool Is_Shared;
    Windows::Files::Owner Owner;
};

File_Size Counted(File_Size the_size, bool is_shared) { return is_shared ? File_Size{} : the_size; }

// The change of a record now against what it was then; none when they agree.
std::optional<Change> Change_Of(const File_Information& the_record, const Then& the_then) {
    const bool disk_is_known = the_record.Has_Size_On_Disk && the_then.Has_Size_On_Disk;
    const File_Size disk_now = disk_is_known ? the_record.Size_On_Disk : the_record.Object_Size;
    const File_Size disk_then = disk_is_known ? the_then.Size_On_Disk : the_then.Size;
    if (the_then.Size == the_record.Object_Size && disk_then == disk_now &&
        the_then.Is_Shared == the_record.Is_Shared && the_then.Owner == the_record.Owner)
        return std::nullopt;
    return Change{.Bytes = Difference(the_record.Object_Size, the_then.Size),
                  // A record beyond the scan was one then too: it has the same path.
                  .Counted = Difference(Counted_Size_Of(the_record),
                                        Counted(the_then.Size, the_then.Is_Shared || Is_Not_In_Scan(the_record))),
                  .Bytes_On_Disk = Difference(disk_now, disk_then),
                  .Counted_On_Disk = Difference(Counted(disk_now, the_record.Is_Shared),
                                                Counted(disk_then, the_then.Is_Shared)),
                  .Is_New = false,
                  .Is_Gone = false,
                  .Owner_Then = the_then.Owner == the_record.Owner ? nullptr : the_then.Owner};
}

// The records now, by place, and which of them an older record has met.
struct Records_Now {
    explicit Records_Now(const File_List& the_records) : All(Places_Of(the_records)), Is_Met(All.size()) {}
    std::vector<const File_Information*> All;
    std::vector<std::uint8_t> Is_Met;  // a byte each: two threads mark their own stretches
};

// What a run of the older records found in order within a stretch of the records now.
struct In_Order_Matches {
    File_List Unmet_Records;  // the older records not met in order
    std::vector<const File_Information*> Unmet;
    std::vector<std::pair<std::size_t, Change>> Placed;
};

// Each older record is looked for among the next few records of the stretch.
void Match_In_Order(Scan_File::Record_Reader& the_older, Records_Now& now, std::size_t the_first,
                    std::size_t the_end, In_Order_Matches& into) {
    std::size_t next = the_first;
    Folder_Match folders;
    while (the_older.Next()) {
        if (next + 16 < the_end) {
            __builtin_prefetch(now.All[next + 16]);
            __builtin_prefetch(now.All[next + 8]->File_Name.View().data());
        }
        const Older_Path then = Path_Of(the_older);
        std::size_t found = next;
        while (found < the_end && found < next + Look_Ahead &&
               (now.Is_Met[found] || !Is_Same(Path_Of(*now.All[found]), then, folders)))
            ++found;
        if (found == the_end || found == next + Look_Ahead) {
            Append(the_older.Record(), into.Unmet_Records);
            into.Unmet.push_back(&Last_Of(into.Unmet_Records));
            continue;
        }
        now.Is_Met[found] = true;
        next = found + 1;
        if (const auto change = Change_Of(*now.All[found], {the_older.Object_Size(), the_older.Size_On_Disk(),
                                                                 the_older.Has_Size_On_Disk(), the_older.Is_Shared(),
                                                                 the_older.Owner()}))
            into.Placed.push_back({found, *change});
    }
}

// Where the records now that a later part of the older scan meets in order begin: at the
// first of its first few records found near the place its share of them suggests. None
// when the two walks differ too much there to tell.
std::optional<std::size_t> Start_Of(const Scan_File::Record_Reader& the_older,
                                    const Scan_File::Record_Reader::Part& the_part, const Records_Now& now,
                                    std::size_t the_estimate) {
    Scan_File::Record_Reader part(the_older, the_part);
    constexpr int Records_Tried = 16;
    constexpr std::size_t Reach = 4096;
    const std::size_t from = the_estimate > Reach ? the_estimate - Reach : 0;
    const std::size_t to = std::min(now.All.size(), the_estimate + Reach);
    Folder_Match folders;
    for (int tried = 0; tried < Records_Tried && part.Next(); ++tried) {
        const Older_Path then = Path_Of(part);
        for (std::size_t place = from; place < to; ++place)
            if (Is_Same(Path_Of(*now.All[place]), then, folders)) return place;
    }
    return std::nullopt;
}

// A large older scan is met in two halves on two threads, each in its own stretch of the
// records now; a record met across the seam is found by its path afterwards, as any other.
std::vector<In_Order_Matches> Matched_In_Order(Scan_File::Record_Reader& the_older, Records_Now& now) {
    const std::vector<Scan_File::Record_Reader::Part> parts = the_older.Parts(2);
    std::optional<std::size_t> seam;
    if (parts.size() == 2) {
        const std::uint64_t records_before = parts[0].Records;
        const std::uint64_t all = records_before + parts[1].Records;
        seam = Start_Of(the_older, parts[1], now,
                        static_cast<std::size_t>(now.All.size() * static_cast<double>(records_before) / all));
    }
    if (!seam) {
        std::vector<In_Order_Matches> whole(1);
        Match_In_Order(the_older, now, 0, now.All.size(), whole[0]);
        return whole;
    }
    // Each thread's reader and findings are its own, apart in memory: a record's reading
    // writes them all the time, and two threads writing to one cache line take turns.
    auto later = std::async(std::launch::async, [&] {
        Scan_File::Record_Reader second(the_older, parts[1]);
        In_Order_Matches matches;
        Match_In_Order(second, now, *seam, now.All.size(), matches);
        return matches;
    });
    std::vector<In_Order_Matches> halves(2);
    Scan_File::Record_Reader first(the_older, parts[0]);
    Match_In_Order(first, now, 0, *seam, halves[0]);
    halves[1] = later.get();
    return halves;
}

}  // namespace

Changes::Changes(const File_List& the_records, Scan_File::Record_Reader& the_older) {
    Records_Now now(the_records);
    std::vector<const File_Information*> unmet;
    for (In_Order_Matches& matches : Matched_In_Order(the_older, now)) {
        Attach(matches.Unmet_Records, older_, Definite_Element::Place::At_Back);
        unmet.insert(unmet.end(), matches.Unmet.begin(), matches.Unmet.end());
        placed_.insert(placed_.end(), matches.Placed.begin(), matches.Placed.end());
    }

    // The rest by their paths: the records now not met in order look up the older ones.
    // Places met in order rise, and so do these: the two runs are merged, not sorted.
    const auto met_in_order = static_cast<std::ptrdiff_t>(placed_.size());
    Older_Table table(unmet);
    Path_Hasher hasher;
    for (std::size_t index = 0; index < now.All.size(); ++index) {
        if (now.Is_Met[index]) continue;
        const File_Information& record = *now.All[index];
        const Path path = Path_Of(record);
        if (const File_Information* then = table.Take(path, hasher.Of(path))) {
            if (const auto change = Change_Of(record, {then->Object_Size, then->Size_On_Disk, then->Has_Size_On_Disk,
                                                      then->Is_Shared, then->Owner}))
                placed_.push_back({index, *change});
        } else {
            placed_.push_back({index, {.Bytes = 0,
                                       .Counted = Signed(Counted_Size_Of(record)),
                                       .Bytes_On_Disk = 0,
                                       .Counted_On_Disk = Signed(Counted_Size_Of(record, true)),
                                       .Is_New = true,
                                       .Is_Gone = false}});
        }
    }
    Path_Hasher older_hasher;
    for (const File_Information* record : unmet)
        if (!table.Is_Taken(*record, older_hasher.Of(Path_Of(*record)))) gone_.push_back(record);
    std::inplace_merge(placed_.begin(), placed_.begin() + met_in_order, placed_.end(),
                       [](const auto& one, const auto& other) { return one.first < other.first; });
    slots_.resize(Capacity_For(placed_.size() + gone_.size()));
    is_occupied_.resize(slots_.size());
    for (const auto& [place, change] : placed_) Keep(*now.All[place], change);
    for (const File_Information* record : gone_)
        Keep(*record, {.Bytes = -Signed(record->Object_Size),
                       .Counted = -Signed(Counted_Size_Of(*record)),
                       .Bytes_On_Disk = -Signed(Size_Of(*record, true)),
                       .Counted_On_Disk = -Signed(Counted_Size_Of(*record, true)),
                       .Is_New = false,
                       .Is_Gone = true});
}

void Changes::Keep(const File_Information& the_record, const Change& the_change) {
    std::size_t index = Slot_Index(&the_record, slots_.size());
    while (slots_[index].Record) index = (index + 1) & (slots_.size() - 1);
    slots_[index] = {&the_record, the_change};
    is_occupied_[index] = true;
}

const Changes::Slot* Changes::Slot_Of(const File_Information& the_record) const {
    const std::size_t home = Slot_Index(&the_record, slots_.size());
    if (!is_occupied_[home]) return nullptr;
    for (std::size_t index = home; slots_[index].Record;
         index = (index + 1) & (slots_.size() - 1))
        if (slots_[index].Record == &the_record) return &slots_[index];
    return nullptr;
}

Change Changes::In_Order::Of(std::size_t the_place) {
    while (next_ < placed_.size() && placed_[next_].first < the_place) ++next_;
    return next_ < placed_.size() && placed_[next_].first == the_place ? placed_[next_].second : Change{};
}

Change Changes::Of(const File_Information& the_record) const {
    const Slot* slot = Slot_Of(the_record);
    return slot ? slot->Value : Change{};
}

}  // namespace Work::Compare
