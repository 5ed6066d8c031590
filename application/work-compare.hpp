#pragma once
// Comparison of the results with an older scan of the same root: the size difference of
// every object, objects that are new, and objects that have gone since. Objects are the
// same when their folder, name, stream and kind agree; a folder's change is its size now
// minus its size then.

#include <cstdint>
#include <vector>

#include "work-scan_file.hpp"
#include "work-walk.hpp"

namespace Work::Compare {

// Two roots name the same folder, whatever the case of their letters.
bool Is_Same_Root(const std::wstring& one, const std::wstring& other);

struct Change {
    std::int64_t Bytes = 0;    // now minus then; minus the old size for a gone object
    std::int64_t Counted = 0;  // the same of the sizes sums add (an object counts once)
    // The same of the sizes on disk; of the sizes where either scan lacks them.
    std::int64_t Bytes_On_Disk = 0;
    std::int64_t Counted_On_Disk = 0;
    bool Is_New = false;       // no such object then
    bool Is_Gone = false;      // a record of the older scan that has none now
    Windows::Files::Owner Owner_Then = nullptr;  // when another owned it then

    std::int64_t Bytes_Of(bool on_disk) const { return on_disk ? Bytes_On_Disk : Bytes; }
    std::int64_t Counted_Of(bool on_disk) const { return on_disk ? Counted_On_Disk : Counted; }
};

class Changes {
public:
    // Goes through the older scan's records once; only the gone ones are kept, to be shown.
    Changes(const File_List& the_records, Scan_File::Record_Reader& the_older);
    Changes(const Changes&) = delete;
    Changes& operator=(const Changes&) = delete;

    // For a record of the results or a gone one.
    Change Of(const File_Information& the_record) const;

    // The changes of the results' records by their places in the list (0 for the first),
    // asked for in increasing order as a pass through the list does: no look-up a record.
    class In_Order {
    public:
        explicit In_Order(const Changes& the_changes) : placed_(the_changes.placed_) {}
        Change Of(std::size_t the_place);

    private:
        const std::vector<std::pair<std::size_t, Change>>& placed_;
        std::size_t next_ = 0;
    };
    // The older scan's records that have none now, in its order.
    const std::vector<const File_Information*>& Gone() const { return gone_; }

private:
    // Only records whose size differs, new ones and gone ones are kept: a record of the
    // results that is not here is unchanged. Open addressing, so that a million entries
    // cost no allocation each and a look-up, made for every painted cell and every
    // comparison of a sort, touches one or two slots.
    struct Slot {
        const File_Information* Record = nullptr;
        Change Value;
    };
    void Keep(const File_Information& the_record, const Change& the_change);
    const Slot* Slot_Of(const File_Information& the_record) const;

    File_List older_;  // the older records not met in order
    std::vector<Slot> slots_;
    // One bit a slot, small enough to stay in the cache: most records of a display are
    // unchanged, and their empty home slot is told here without reading the table.
    std::vector<bool> is_occupied_;
    std::vector<const File_Information*> gone_;
    std::vector<std::pair<std::size_t, Change>> placed_;  // of the results' records, by place
};

}  // namespace Work::Compare
