// Records are matched in the order of the walk where they can be, and by the hashes of
// their paths where they cannot; no path is built, and an older record is held only when
// it was not met in order.
#include "work-compare.hpp"

#include <algorithm>
#include <bit>
#include <functional>
#include <string_view>

namespace Work::Compare {

namespace {

std::int64_t Signed(File_Size size) { return static_cast<std::int64_t>(size.Value()); }

std::int64_t Difference(File_Size now, File_Size then) {
    return static_cast<std::int64_t>(now.Value() - then.Value());
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

Changes::Changes(const File_List& the_records, Scan_File::Record_Reader& the_older) {
    std::vector<const File_Information*> now;
    now.reserve(static_cast<std::size_t>(Length_Of(the_records)));
    for (auto at = First(the_records); Has_Element(at); at = Next(at)) now.push_back(&Element_At(at));
    std::vector<bool> is_met(now.size());
    std::vector<std::pair<const File_Information*, Change>> changed;
    auto keep = [this, &changed](std::size_t place, const File_Information& record, const Change& change) {
        changed.push_back({&record, change});
        placed_.push_back({place, change});
    };
    auto compare = [&keep](std::size_t place, const File_Information& record, File_Size then_size, bool then_shared) {
        if (then_size == record.Object_Size && then_shared == record.Is_Shared) return;
        const File_Size then_counted = then_shared ? File_Size{} : then_size;
        keep(place, record, {.Bytes = Difference(record.Object_Size, then_size),
                             .Counted = Difference(Counted_Size_Of(record), then_counted),
                             .Is_New = false,
                             .Is_Gone = false});
    };

    std::vector<const File_Information*> unmet;
    std::size_t next = 0;
    Folder_Match folders;
    while (the_older.Next()) {
        const Older_Path then = Path_Of(the_older);
        std::size_t found = next;
        while (found < now.size() && found < next + Look_Ahead &&
               (is_met[found] || !Is_Same(Path_Of(*now[found]), then, folders)))
            ++found;
        if (found == now.size() || found == next + Look_Ahead) {
            Append(the_older.Record(), older_);
            unmet.push_back(&Last_Of(older_));
            continue;
        }
        is_met[found] = true;
        next = found + 1;
        compare(found, *now[found], the_older.Object_Size(), the_older.Is_Shared());
    }

    // The rest by their paths: the records now not met in order look up the older ones.
    Older_Table table(unmet);
    Path_Hasher hasher;
    for (std::size_t index = 0; index < now.size(); ++index) {
        if (is_met[index]) continue;
        const File_Information& record = *now[index];
        const Path path = Path_Of(record);
        if (const File_Information* then = table.Take(path, hasher.Of(path))) {
            compare(index, record, then->Object_Size, then->Is_Shared);
        } else {
            keep(index, record, {.Bytes = 0, .Counted = Signed(Counted_Size_Of(record)), .Is_New = true, .Is_Gone = false});
        }
    }
    Path_Hasher older_hasher;
    for (const File_Information* record : unmet) {
        if (table.Is_Taken(*record, older_hasher.Of(Path_Of(*record)))) continue;
        gone_.push_back(record);
        changed.push_back({record, {.Bytes = -Signed(record->Object_Size),
                                    .Counted = -Signed(Counted_Size_Of(*record)),
                                    .Is_New = false,
                                    .Is_Gone = true}});
    }
    std::sort(placed_.begin(), placed_.end(),
              [](const auto& one, const auto& other) { return one.first < other.first; });
    slots_.resize(Capacity_For(changed.size()));
    is_occupied_.resize(slots_.size());
    for (const auto& [record, change] : changed) Keep(*record, change);
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
