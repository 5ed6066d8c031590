// The walk's records from an NTFS volume's master file table instead of its folders: the
// same records in the same order, depth first through each folder's index order.
#include <algorithm>
#include <atomic>
#include <deque>
#include <future>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "work-walk.hpp"

namespace Work {

namespace Files = Windows::Files;
namespace Mft = Windows::Mft;

namespace {

constexpr std::size_t Most_Walkers = 4;

// The unnamed stream as the platform's stream query names it.
const Wide_Text::Shared Unnamed_Stream(L"::$DATA");

bool Is_Folder(const Mft::Object& object) { return Files::Is_Directory(object.Attributes); }
bool Is_Reparse_Point(const Mft::Object& object) {
    return Files::Bits_Are_Set_In(object.Attributes, FILE_ATTRIBUTE_REPARSE_POINT);
}

constexpr std::size_t No_Folder = std::numeric_limits<std::size_t>::max();

// Only damage makes sizes add up past the largest a volume stores.
File_Size Sum_Of(File_Size left, File_Size right) {
    if (left.Value() > Mft::Largest_Size || right.Value() > Mft::Largest_Size - left.Value())
        [[unlikely]]
        throw Mft::Damaged_Volume("sizes add up past the largest a volume stores");
    return File_Size::From(left.Value() + right.Value());
}

// A record's size and size on disk, summed alike.
struct Object_Sizes {
    File_Size Logical;
    File_Size On_Disk;
    Object_Sizes& operator+=(const Object_Sizes& other) {
        Logical = Sum_Of(Logical, other.Logical);
        On_Disk = Sum_Of(On_Disk, other.On_Disk);
        return *this;
    }
};

struct Table_Frame {
    Mft::Record_Number Folder;
    std::uint16_t Sequence;
    // Relative to the root, copied into each of its records without an atomic operation.
    Wide_Text::Shared_Copies Folder_Name;
    std::span<Mft::Name> Entries;
    std::size_t Folder_Index;  // in its unit's entered folders; No_Folder for the unit's top
    std::size_t Next = 0;
    Object_Sizes Size{};
};

// A file with several names (hard links) adds to the sums only where the walk meets it
// first, which the walker of one unit cannot know: its meetings are counted as shared at
// first, and the first of them is counted once every unit is walked.
struct Linked_Meeting {
    Mft::Record_Number Object;
    Object_Sizes Size;
    std::size_t Folder;                      // of its unit's entered folders, or No_Folder
    std::size_t First_Record, Record_Count;  // in its unit's Linked_Records
};

struct Entered_Folder {
    File_Information* Record = nullptr;
    std::size_t Parent;  // No_Folder for one at the unit's top
};

// The walk of some of the root's entries: their records and sum, and what settles the sums
// of files with several names.
struct Walked_Unit {
    File_List Records;
    Object_Sizes Size{};
    std::vector<Entered_Folder> Folders;
    std::vector<Linked_Meeting> Meetings;
    std::vector<File_Information*> Linked_Records;
};

// Walks units of the root's entries one after another, each as the walk of the whole root
// would meet it.
class Table_Walk {
public:
    // The walk of the volume's own files lists at its root only what a listing leaves out.
    Table_Walk(Mft::Table& table, const Walk_Request& request, Mft::Record_Number root,
               bool of_volume_files = false)
        : table_(table),
          request_(request),
          root_(root),
          of_volume_files_(of_volume_files),
          is_entered_(table.Record_Count()) {
        is_entered_[root] = true;
    }

    void Run(std::span<Mft::Name> entries, Walked_Unit& into, std::wstring_view top_folder_name = {}) {
        unit_ = &into;
        frames_.push_back({.Folder = root_,
                           .Sequence = table_.Object_At(root_)->Sequence,
                           .Folder_Name = Wide_Text::Shared_Copies(top_folder_name),
                           .Entries = entries,
                           .Folder_Index = No_Folder});
        for (;;) {
            Table_Frame& frame = frames_.back();
            if (frame.Next == frame.Entries.size()) {
                const Object_Sizes size = frame.Size;
                const std::size_t folder = frame.Folder_Index;
                frames_.pop_back();
                if (frames_.empty()) {
                    into.Size = size;
                    return;
                }
                Record_Entered_Folder(frames_.back(), folder, size);
            } else if (!Is_To_Go_On()) {
                frame.Next = frame.Entries.size();
            } else {
                Process_Entry(frame);
            }
        }
    }

private:
    bool Is_To_Go_On() {
        if (!*request_.Is_Wanted) has_stopped_ = true;
        return !has_stopped_;
    }

    void Push(Mft::Record_Number folder, std::wstring_view folder_name, std::size_t parent) {
        unit_->Folders.push_back({.Record = nullptr, .Parent = parent});
        frames_.push_back({.Folder = folder,
                           .Sequence = table_.Object_At(folder)->Sequence,
                           .Folder_Name = Wide_Text::Shared_Copies(folder_name),
                           .Entries = table_.Names_In(folder),
                           .Folder_Index = unit_->Folders.size() - 1});
    }

    // The entry's object as a listing shows it; null for what no listing shows: the volume's
    // metadata files, a folder's name for itself, a name left from an earlier object.
    const Mft::Object* Listed_Object(const Table_Frame& frame, const Mft::Name& entry) const {
        if (entry.Object == frame.Folder || entry.Parent_Sequence != frame.Sequence) return nullptr;
        if (frame.Folder == Mft::Root_Folder && (entry.Object < Mft::First_User_Record) != of_volume_files_)
            return nullptr;
        return table_.Object_At(entry.Object);
    }

    // A folder seen before (a damaged volume can name one in two places) is recorded, not
    // entered again, like a junction.
    void Process_Entry(Table_Frame& frame) {
        Mft::Name& entry = frame.Entries[frame.Next];
        const Mft::Object* object = Listed_Object(frame, entry);
        if (object == nullptr) {
            ++frame.Next;
        } else if (!Is_Folder(*object)) {
            Record_File(frame, entry, *object);
        } else if (!Is_Reparse_Point(*object) && !is_entered_[entry.Object]) {
            is_entered_[entry.Object] = true;
            Push(entry.Object, (std::wstring(frame.Folder_Name.View()) + L'\\').append(entry.Text),
                 frame.Folder_Index);
        } else {
            Save_Information(frame, entry.Text, *object, Object_Sizes(), Wide_Text::Shared(), false,
                             false);
            ++frame.Next;
        }
    }

    // A file with named streams is recorded stream by stream, the unnamed one first, then
    // once more with their sum. The last record takes the table's name rather than copying
    // it.
    void Record_File(Table_Frame& frame, Mft::Name& entry, const Mft::Object& object) {
        const bool is_linked = object.Name_Count > 1;
        const std::size_t first_linked = unit_->Linked_Records.size();
        const auto save = [&](Wide_Text::Shared name, Object_Sizes size,
                              const Wide_Text::Shared& stream_name, bool has_streams) {
            File_Information& record = Save_Information(frame, std::move(name), object, size,
                                                        stream_name, has_streams, is_linked);
            if (is_linked) unit_->Linked_Records.push_back(&record);
        };
        Object_Sizes size = Data_Sizes_Of(object);
        const bool has_streams = request_.Owners_And_Streams && object.Stream_Count > 0;
        if (has_streams) {
            save(entry.Text, size, Unnamed_Stream, false);
            for (const Mft::Stream& stream : table_.Named_Streams_Of(object)) {
                const Object_Sizes stream_size{stream.Size, Held_Elsewhere_Or(object, stream.Size_On_Disk)};
                save(entry.Text, stream_size, stream.Name, false);
                size += stream_size;
            }
        }
        save(std::move(entry.Text), size, Wide_Text::Shared(), has_streams);
        if (is_linked)
            unit_->Meetings.push_back({.Object = entry.Object,
                                       .Size = size,
                                       .Folder = frame.Folder_Index,
                                       .First_Record = first_linked,
                                       .Record_Count = unit_->Linked_Records.size() - first_linked});
        else
            frame.Size += size;
        ++frame.Next;
    }

    // Data the platform keeps elsewhere takes nothing here, whatever its attribute says.
    static File_Size Held_Elsewhere_Or(const Mft::Object& object, File_Size size_on_disk) {
        return Files::Is_Held_Elsewhere(object.Attributes) ? File_Size() : size_on_disk;
    }
    static Object_Sizes Data_Sizes_Of(const Mft::Object& object) {
        return {object.Data_Size, Held_Elsewhere_Or(object, object.Data_Size_On_Disk)};
    }

    void Record_Entered_Folder(Table_Frame& frame, std::size_t folder, Object_Sizes size) {
        Mft::Name& entry = frame.Entries[frame.Next];
        unit_->Folders[folder].Record =
            &Save_Information(frame, std::move(entry.Text), *table_.Object_At(entry.Object), size,
                              Wide_Text::Shared(), false, false);
        frame.Size += size;
        ++frame.Next;
    }

    File_Information& Save_Information(Table_Frame& frame, Wide_Text::Shared name,
                                       const Mft::Object& object, Object_Sizes object_size,
                                       const Wide_Text::Shared& stream_name, bool has_streams,
                                       bool is_shared) {
        Append(
            File_Information{
                .File_Name = std::move(name),
                .Folder_Name = frame.Folder_Name.Copy(),
                .Owner = request_.Owners_And_Streams ? object.Owner : nullptr,
                .Stream_Name = stream_name,
                .Object_Size = object_size.Logical,
                .Size_On_Disk = object_size.On_Disk,
                .Last_Accessed = object.Last_Accessed,
                .Is_Folder = Is_Folder(object),
                .Is_Stream = !stream_name.empty(),
                .Is_Compressed =
                    Files::Bits_Are_Set_In(object.Attributes, FILE_ATTRIBUTE_COMPRESSED),
                .Is_System = Files::Bits_Are_Set_In(object.Attributes, FILE_ATTRIBUTE_SYSTEM),
                .Is_Hidden = Files::Bits_Are_Set_In(object.Attributes, FILE_ATTRIBUTE_HIDDEN),
                .Has_Streams = has_streams,
                .Is_Shared = is_shared,
                .Has_Size_On_Disk = true},
            unit_->Records);
        return Last_Of(unit_->Records);
    }

    Mft::Table& table_;
    const Walk_Request& request_;
    const Mft::Record_Number root_;
    const bool of_volume_files_;
    Walked_Unit* unit_ = nullptr;
    std::vector<bool> is_entered_;
    std::deque<Table_Frame> frames_;
    bool has_stopped_ = false;
};

// The root's entries in runs that can be walked apart: each folder alone, and the other
// entries between two folders together.
std::vector<std::span<Mft::Name>> Units_Of(const Mft::Table& table, std::span<Mft::Name> entries) {
    std::vector<std::span<Mft::Name>> units;
    std::size_t start = 0;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const Mft::Object* object = table.Object_At(entries[index].Object);
        if (object == nullptr || !Is_Folder(*object)) continue;
        if (index > start) units.push_back(entries.subspan(start, index - start));
        units.push_back(entries.subspan(index, 1));
        start = index + 1;
    }
    if (entries.size() > start) units.push_back(entries.subspan(start));
    return units;
}

// Of a file's meetings, in the order of the records, the first adds to the sums.
void Count_Linked_Files_Once(std::vector<Walked_Unit>& units) {
    std::unordered_set<Mft::Record_Number> met;
    for (Walked_Unit& unit : units) {
        for (const Linked_Meeting& meeting : unit.Meetings) {
            if (!met.insert(meeting.Object).second) continue;
            for (std::size_t index = 0; index < meeting.Record_Count; ++index)
                unit.Linked_Records[meeting.First_Record + index]->Is_Shared = false;
            for (std::size_t folder = meeting.Folder; folder != No_Folder;
                 folder = unit.Folders[folder].Parent) {
                File_Information& record = *unit.Folders[folder].Record;
                record.Object_Size = Sum_Of(record.Object_Size, meeting.Size.Logical);
                record.Size_On_Disk = Sum_Of(record.Size_On_Disk, meeting.Size.On_Disk);
            }
            unit.Size += meeting.Size;
        }
    }
}

// The folder at the path, by its names from the volume's root; junctions and links are not
// followed, since the table tells nothing of where they lead.
Mft::Record_Number Record_Of_Root(const Mft::Table& table, const std::wstring& relative_root) {
    Mft::Record_Number folder = Mft::Root_Folder;
    if (table.Object_At(folder) == nullptr)
        throw Root_Not_In_Table("the volume has no root folder");
    std::size_t start = 0;
    while (start < relative_root.size()) {
        std::size_t end = relative_root.find(L'\\', start);
        if (end == std::wstring::npos) end = relative_root.size();
        if (end > start) {
            const std::wstring_view part(relative_root.data() + start, end - start);
            const Mft::Name* entry = table.Entry_Named(folder, part);
            const Mft::Object* object = entry ? table.Object_At(entry->Object) : nullptr;
            if (object == nullptr || !Is_Folder(*object) || Is_Reparse_Point(*object) ||
                entry->Parent_Sequence != table.Object_At(folder)->Sequence)
                throw Root_Not_In_Table(Wide_Text::Utf8_Of(relative_root));
            folder = entry->Object;
        }
        start = end + 1;
    }
    return folder;
}

}  // namespace

// The units of the root's entries are walked on a few threads, each unit into records of its
// own, then joined in order. Only a damaged volume names a folder twice; its units are then
// walked by one thread, which enters the folder only once.
File_Size Records_From_Table(Mft::Table&& table, const std::wstring& relative_root,
                             const Walk_Request& request, File_List& into) {
    const Mft::Record_Number root = Record_Of_Root(table, relative_root);
    const std::vector<std::span<Mft::Name>> units = Units_Of(table, table.Names_In(root));
    std::vector<Walked_Unit> walked(units.size());
    std::atomic<std::size_t> next_unit = 0;
    // A unit is walked on the walker's own stack: units side by side, written by two
    // threads at once, would slow both down.
    const auto walk_units = [&] {
        Table_Walk walk(table, request, root);
        for (std::size_t unit; (unit = next_unit++) < units.size();) {
            Walked_Unit unit_walked;
            walk.Run(units[unit], unit_walked);
            walked[unit] = std::move(unit_walked);
        }
    };
    const std::size_t walkers =
        table.Has_Folders_Of_Several_Names()
            ? 1
            : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, Most_Walkers);
    std::vector<std::future<void>> helpers;
    for (std::size_t helper = 1; helper < std::min(walkers, units.size()); ++helper)
        helpers.push_back(std::async(std::launch::async, walk_units));
    walk_units();
    for (std::future<void>& helper : helpers) helper.get();
    Count_Linked_Files_Once(walked);
    // Summed before any record is given: a failure leaves the list as it was.
    Object_Sizes size{};
    for (const Walked_Unit& unit : walked) size += unit.Size;
    for (Walked_Unit& unit : walked) Attach(unit.Records, into, Definite_Element::Place::At_Back);
    return size.Logical;
}

namespace {

File_List Volume_Files_From_Table(Mft::Table& table, const Walk_Request& request) {
    if (table.Object_At(Mft::Root_Folder) == nullptr) return {};
    std::vector<Walked_Unit> walked(1);
    Table_Walk(table, request, Mft::Root_Folder, true)
        .Run(table.Names_In(Mft::Root_Folder), walked[0], std::wstring(L"\\").append(Not_In_Scan_Name));
    Count_Linked_Files_Once(walked);
    return std::move(walked[0].Records);
}

}  // namespace

File_Size Read_Master_File_Table(const Walk_Request& request, File_List& into, File_List* volume_files) {
    const std::optional<Mft::Volume_Location> location = Mft::Volume_Location_Of(request.Root);
    if (!location)
        throw Mft::Unreadable_Volume(Wide_Text::Utf8_Of(request.Root) + " is on no local volume");
    Mft::Table table = Mft::Read_Table(location->Device, request.Owners_And_Streams, *request.Is_Wanted);
    File_List own_files;
    if (volume_files && location->Relative_Path.empty()) own_files = Volume_Files_From_Table(table, request);
    const File_Size size = Records_From_Table(std::move(table), location->Relative_Path, request, into);
    if (volume_files) *volume_files = std::move(own_files);
    return size;
}

// Whatever ends the table's read, a failure it names or one from below it (memory, threads),
// leaves the records to the walk: the volume's bytes may be anything.
std::optional<std::string> Read_Table_Or_Walk(const Walk_Request& request, File_List& into,
                                              File_List* volume_files) {
    std::string why_walked;
    if (request.Owners_And_Streams) {
        try {
            Read_Master_File_Table(request, into, volume_files);
            return std::nullopt;
        } catch (const Mft::Stopped&) {
            return std::nullopt;
        } catch (const Mft::Volume_Access_Denied& reason) {
            why_walked = Information_Of(reason);
            if (request.Report_Table_Refused) request.Report_Table_Refused();
        } catch (const std::exception& reason) {
            why_walked = Information_Of(reason);
        }
    }
    Walk(request, into);
    return why_walked;
}

}  // namespace Work
