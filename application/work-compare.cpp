// Records are matched in the order of the walk where they can be, and by the hashes of
// their paths where they cannot; no path is built and no record costs an allocation.
#include "work-compare.hpp"

#include <bit>
#include <functional>
#include <string_view>

namespace Work::Compare {

namespace {

std::int64_t Signed(File_Size size) { return static_cast<std::int64_t>(size.Value()); }

std::int64_t Difference(File_Size now, File_Size then) {
    return static_cast<std::int64_t>(now.Value() - then.Value());
}

bool Is_Same_Object(const File_Information& one, const File_Information& other) {
    return one.Is_Folder == other.Is_Folder && one.File_Name == other.File_Name &&
           one.Stream_Name == other.Stream_Name && one.Folder_Name == other.Folder_Name;
}

// Hashes of paths: the records of one folder come together and share its text, so the
// folder's part is computed once for all of them.
class Path_Hasher {
public:
    std::uint64_t Of(const File_Information& the_record) {
        const std::wstring_view folder = the_record.Folder_Name.View();
        if (folder.data() != last_folder_ || folder.size() != last_size_) {
            last_folder_ = folder.data();
            last_size_ = folder.size();
            folder_hash_ = hash_(folder);
        }
        std::uint64_t value = folder_hash_ * 0x9E3779B97F4A7C15ull + hash_(the_record.File_Name.View());
        value = value * 0x9E3779B97F4A7C15ull + hash_(the_record.Stream_Name.View());
        return value * 2 + the_record.Is_Folder;
    }

private:
    std::hash<std::wstring_view> hash_;
    const wchar_t* last_folder_ = nullptr;
    std::size_t last_size_ = ~std::size_t{0};
    std::uint64_t folder_hash_ = 0;
};

std::size_t Capacity_For(std::size_t entries) { return std::bit_ceil(entries * 2 + 16); }

// Older records by the hashes of their paths, for the records that were not found in order.
class Older_Table {
public:
    explicit Older_Table(const std::vector<const File_Information*>& the_older)
        : slots_(Capacity_For(the_older.size())) {
        Path_Hasher hasher;
        for (const File_Information* record : the_older) {
            const std::uint64_t hash = hasher.Of(*record);
            std::size_t index = hash & (slots_.size() - 1);
            while (slots_[index].Record) index = (index + 1) & (slots_.size() - 1);
            slots_[index] = {hash, record};
        }
    }

    // The older record of the same object, taken out; null when there is none.
    const File_Information* Take(const File_Information& the_record, std::uint64_t hash) {
        for (std::size_t index = hash & (slots_.size() - 1); slots_[index].Record;
             index = (index + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[index];
            if (slot.Hash != hash || slot.Is_Taken || !Is_Same_Object(*slot.Record, the_record)) continue;
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

// Two walks of one tree list it in the same order but for what changed: each record is
// looked for first among the next few older ones.
constexpr std::size_t Look_Ahead = 8;

std::size_t Slot_Index(const File_Information* the_record, std::size_t the_capacity) {
    const auto address = reinterpret_cast<std::uintptr_t>(the_record);
    return static_cast<std::size_t>((address >> 4) * 0x9E3779B97F4A7C15ull >> 20) & (the_capacity - 1);
}

}  // namespace

Changes::Changes(const File_List& the_records, File_List the_older_records)
    : older_(std::move(the_older_records)) {
    std::vector<const File_Information*> older;
    older.reserve(static_cast<std::size_t>(Length_Of(older_)));
    for (auto at = First(older_); Has_Element(at); at = Next(at)) older.push_back(&Element_At(at));
    std::vector<bool> is_met(older.size());
    std::vector<std::pair<const File_Information*, Change>> changed;
    auto compare = [&changed](const File_Information& now, const File_Information& then) {
        if (then.Object_Size == now.Object_Size && then.Is_Shared == now.Is_Shared) return;
        changed.push_back({&now, {.Bytes = Difference(now.Object_Size, then.Object_Size),
                                  .Counted = Difference(Counted_Size_Of(now), Counted_Size_Of(then)),
                                  .Is_New = false,
                                  .Is_Gone = false}});
    };

    std::vector<const File_Information*> out_of_order;
    std::size_t next = 0;
    for (auto at = First(the_records); Has_Element(at); at = Next(at)) {
        const File_Information& record = Element_At(at);
        std::size_t found = next;
        while (found < older.size() && found < next + Look_Ahead &&
               (is_met[found] || !Is_Same_Object(*older[found], record)))
            ++found;
        if (found == older.size() || found == next + Look_Ahead) {
            out_of_order.push_back(&record);
            continue;
        }
        is_met[found] = true;
        next = found + 1;
        compare(record, *older[found]);
    }

    // The rest by their paths: the older records not met in order, looked up by the others.
    std::vector<const File_Information*> unmet;
    for (std::size_t index = 0; index < older.size(); ++index)
        if (!is_met[index]) unmet.push_back(older[index]);
    Older_Table table(unmet);
    Path_Hasher hasher;
    for (const File_Information* record : out_of_order) {
        if (const File_Information* then = table.Take(*record, hasher.Of(*record))) {
            compare(*record, *then);
        } else {
            changed.push_back({record, {.Bytes = 0, .Counted = Signed(Counted_Size_Of(*record)),
                                        .Is_New = true, .Is_Gone = false}});
        }
    }
    Path_Hasher older_hasher;
    for (const File_Information* record : unmet) {
        // Taken by a record now: met after all.
        if (table.Is_Taken(*record, older_hasher.Of(*record))) continue;
        gone_.push_back(record);
        changed.push_back({record, {.Bytes = -Signed(record->Object_Size),
                                    .Counted = -Signed(Counted_Size_Of(*record)),
                                    .Is_New = false,
                                    .Is_Gone = true}});
    }
    slots_.resize(Capacity_For(changed.size()));
    for (const auto& [record, change] : changed) Keep(*record, change);
}

void Changes::Keep(const File_Information& the_record, const Change& the_change) {
    std::size_t index = Slot_Index(&the_record, slots_.size());
    while (slots_[index].Record) index = (index + 1) & (slots_.size() - 1);
    slots_[index] = {&the_record, the_change};
}

const Changes::Slot* Changes::Slot_Of(const File_Information& the_record) const {
    for (std::size_t index = Slot_Index(&the_record, slots_.size()); slots_[index].Record;
         index = (index + 1) & (slots_.size() - 1))
        if (slots_[index].Record == &the_record) return &slots_[index];
    return nullptr;
}

Change Changes::Of(const File_Information& the_record) const {
    const Slot* slot = Slot_Of(the_record);
    return slot ? slot->Value : Change{};
}

}  // namespace Work::Compare
