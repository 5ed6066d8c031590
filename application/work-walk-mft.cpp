// The walk's records from an NTFS volume's master file table instead of its folders: the
// same records in the same order, depth first through each folder's index order.
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "work-walk.hpp"

namespace Work {

namespace Files = Windows::Files;
namespace Mft = Windows::Mft;

namespace {

// The unnamed stream as the platform's stream query names it.
const Wide_Text::Shared Unnamed_Stream(L"::$DATA");

bool Is_Folder(const Mft::Object& object) { return Files::Is_Directory(object.Attributes); }
bool Is_Reparse_Point(const Mft::Object& object) {
    return Files::Bits_Are_Set_In(object.Attributes, FILE_ATTRIBUTE_REPARSE_POINT);
}

struct Table_Frame {
    Mft::Record_Number Folder;
    std::uint16_t Sequence;
    // Relative to the root, copied into each of its records without an atomic operation.
    Wide_Text::Shared_Copies Folder_Name;
    std::span<Mft::Name> Entries;
    std::size_t Next = 0;
    File_Size Size{};
};

class Table_Walk {
public:
    Table_Walk(Mft::Table& table, const Walk_Request& request, File_List& into)
        : table_(table),
          request_(request),
          records_(into),
          is_entered_(table.Record_Count()),
          is_met_(table.Record_Count()) {}

    File_Size Run(Mft::Record_Number root) {
        is_entered_[root] = true;
        Push(root, L"");
        for (;;) {
            Table_Frame& frame = frames_.back();
            if (frame.Next == frame.Entries.size()) {
                const File_Size size = frame.Size;
                frames_.pop_back();
                if (frames_.empty()) return size;
                Record_Entered_Folder(frames_.back(), size);
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

    void Push(Mft::Record_Number folder, std::wstring_view folder_name) {
        frames_.push_back({.Folder = folder,
                           .Sequence = table_.Object_At(folder)->Sequence,
                           .Folder_Name = Wide_Text::Shared_Copies(folder_name),
                           .Entries = table_.Names_In(folder)});
    }

    // The entry's object as a listing shows it; null for what no listing shows: the volume's
    // metadata files, a folder's name for itself, a name left from an earlier object.
    const Mft::Object* Listed_Object(const Table_Frame& frame, const Mft::Name& entry) const {
        if (entry.Object == frame.Folder || entry.Parent_Sequence != frame.Sequence) return nullptr;
        if (frame.Folder == Mft::Root_Folder && entry.Object < Mft::First_User_Record)
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
            Push(entry.Object, (std::wstring(frame.Folder_Name.View()) + L'\\').append(entry.Text));
        } else {
            Save_Information(frame, entry.Text, *object, File_Size(), Wide_Text::Shared(), false,
                             false);
            ++frame.Next;
        }
    }

    // A file with named streams is recorded stream by stream, the unnamed one first, then
    // once more with their sum. Of a file's hard links, the first met adds to the sums. The
    // last record takes the table's name rather than copying it.
    void Record_File(Table_Frame& frame, Mft::Name& entry, const Mft::Object& object) {
        const bool is_shared = is_met_[entry.Object];
        is_met_[entry.Object] = true;
        File_Size size = object.Data_Size;
        const bool has_streams = request_.Owners_And_Streams && object.Stream_Count > 0;
        if (has_streams) {
            Save_Information(frame, entry.Text, object, object.Data_Size, Unnamed_Stream, false,
                             is_shared);
            for (const Mft::Stream& stream : table_.Named_Streams_Of(object)) {
                Save_Information(frame, entry.Text, object, stream.Size, stream.Name, false,
                                 is_shared);
                size += stream.Size;
            }
        }
        Save_Information(frame, std::move(entry.Text), object, size, Wide_Text::Shared(),
                         has_streams, is_shared);
        if (!is_shared) frame.Size += size;
        ++frame.Next;
    }

    void Record_Entered_Folder(Table_Frame& frame, File_Size size) {
        Mft::Name& entry = frame.Entries[frame.Next];
        Save_Information(frame, std::move(entry.Text), *table_.Object_At(entry.Object), size,
                         Wide_Text::Shared(), false, false);
        frame.Size += size;
        ++frame.Next;
    }

    void Save_Information(Table_Frame& frame, Wide_Text::Shared name, const Mft::Object& object,
                          File_Size object_size,
                          const Wide_Text::Shared& stream_name, bool has_streams, bool is_shared) {
        Append(
            File_Information{
                .File_Name = std::move(name),
                .Folder_Name = frame.Folder_Name.Copy(),
                .Owner = request_.Owners_And_Streams ? object.Owner : nullptr,
                .Stream_Name = stream_name,
                .Object_Size = object_size,
                .Last_Accessed = object.Last_Accessed,
                .Is_Folder = Is_Folder(object),
                .Is_Stream = !stream_name.empty(),
                .Is_Compressed =
                    Files::Bits_Are_Set_In(object.Attributes, FILE_ATTRIBUTE_COMPRESSED),
                .Is_System = Files::Bits_Are_Set_In(object.Attributes, FILE_ATTRIBUTE_SYSTEM),
                .Is_Hidden = Files::Bits_Are_Set_In(object.Attributes, FILE_ATTRIBUTE_HIDDEN),
                .Has_Streams = has_streams,
                .Is_Shared = is_shared},
            records_);
    }

    Mft::Table& table_;
    const Walk_Request& request_;
    File_List& records_;
    std::vector<bool> is_entered_;
    std::vector<bool> is_met_;  // files, by record
    std::deque<Table_Frame> frames_;
    bool has_stopped_ = false;
};

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

File_Size Records_From_Table(Mft::Table&& table, const std::wstring& relative_root,
                             const Walk_Request& request, File_List& into) {
    return Table_Walk(table, request, into).Run(Record_Of_Root(table, relative_root));
}

File_Size Read_Master_File_Table(const Walk_Request& request, File_List& into) {
    const std::optional<Mft::Volume_Location> location = Mft::Volume_Location_Of(request.Root);
    if (!location)
        throw Mft::Unreadable_Volume(Wide_Text::Utf8_Of(request.Root) + " is on no local volume");
    return Records_From_Table(
        Mft::Read_Table(location->Device, request.Owners_And_Streams, *request.Is_Wanted),
        location->Relative_Path, request, into);
}

std::optional<std::string> Read_Table_Or_Walk(const Walk_Request& request, File_List& into) {
    std::string why_walked;
    if (request.Owners_And_Streams) {
        try {
            Read_Master_File_Table(request, into);
            return std::nullopt;
        } catch (const Mft::Stopped&) {
            return std::nullopt;
        } catch (const Mft::Not_Ntfs& reason) {
            why_walked = Information_Of(reason);
        } catch (const Mft::Unreadable_Volume& reason) {
            why_walked = Information_Of(reason);
        } catch (const Mft::Damaged_Volume& reason) {
            why_walked = Information_Of(reason);
        } catch (const Root_Not_In_Table& reason) {
            why_walked = Information_Of(reason);
        }
    }
    Walk(request, into);
    return why_walked;
}

}  // namespace Work
