#pragma once
// The master file table of an NTFS volume, read through one read-only handle in large
// sequential blocks: every object's names, parent folder, sizes, last access, attributes,
// named streams and owner, without opening a single file. Everything read from the volume
// is checked before it is trusted: a record that contradicts itself makes the whole table
// fail rather than yield records made up from it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "strings.hpp"
#include "wide_text.hpp"
#include "windows-files.hpp"
#include "windows-mft-format.hpp"

namespace Windows::Mft {

QUARRIX_FAILURE(Stopped, "WINDOWS.MFT.STOPPED");
// The volume cannot be opened raw for lack of rights: an administrator could.
QUARRIX_FAILURE(Volume_Access_Denied, "WINDOWS.MFT.VOLUME_ACCESS_DENIED");

// Opens a volume raw for reading, as the table's reader does; INVALID_HANDLE_VALUE with the
// thread's last error on failure. Tests put a stand-in in its place; null restores the
// platform's open.
using Raw_Opener = HANDLE (*)(const std::wstring& the_device);
void Set_Raw_Opener(Raw_Opener the_opener);

inline constexpr Record_Number Root_Folder = 5;

struct Stream {
    Wide_Text::Shared Name;  // ":name:$DATA", as the platform's stream query names it
    Files::File_Size Size;
    // The clusters it takes: its allocation, or for compressed and sparse data the clusters
    // actually held; none for data inside its record.
    Files::File_Size Size_On_Disk;
};

struct Object {
    Files::File_Time Last_Accessed{};
    Files::File_Size Data_Size{};  // of the unnamed stream
    Files::File_Size Data_Size_On_Disk{};
    Files::Owner Owner = nullptr;
    std::uint32_t Attributes = 0;  // FILE_ATTRIBUTE_*, the directory bit included
    std::uint32_t Security_Id = 0;
    std::uint32_t First_Stream = 0;  // its named streams in the table's list, in name order
    std::uint32_t Stream_Count = 0;
    std::uint16_t Sequence = 0;
    std::uint8_t Name_Count = 0;  // its names other than DOS-only ones, counted up to 2
    bool Is_In_Use = false;
};

// One name of an object in a folder: a file with hard links has several.
struct Name {
    Record_Number Parent = 0;
    Record_Number Object = 0;
    Wide_Text::Shared Text;
    std::uint16_t Parent_Sequence = 0;
};

class Table {
public:
    const Object* Object_At(Record_Number record) const {  // null when not in use
        return record < objects_.size() && objects_[record].Is_In_Use ? &objects_[record] : nullptr;
    }
    // A folder's names in its index's order, DOS-only names left out; their texts may be
    // taken from a table that is not needed after.
    std::span<const Name> Names_In(Record_Number folder) const;
    std::span<Name> Names_In(Record_Number folder);
    std::span<const Stream> Named_Streams_Of(const Object& object) const;
    // The folder's entry of that name, compared as the volume compares names.
    const Name* Entry_Named(Record_Number folder, std::wstring_view name) const;
    std::size_t Record_Count() const { return objects_.size(); }
    // Only on a damaged volume can a folder have more than one name.
    bool Has_Folders_Of_Several_Names() const { return has_folders_of_several_names_; }

    // The volume's collation: names compared after upper-casing through its $UpCase table.
    int Compare(std::wstring_view left, std::wstring_view right) const;

private:
    friend class Table_Reader;
    // Makes its elements without filling them in: the threads that read a table's records
    // fill in their own objects and names, which shares the cost of first touching that
    // much memory.
    template <typename Element>
    struct Unfilled_Allocator : std::allocator<Element> {
        template <typename Other>
        struct rebind {
            using other = Unfilled_Allocator<Other>;
        };
        void construct(Element*) noexcept {}
        template <typename... Arguments>
        void construct(Element* place, Arguments&&... arguments) {
            std::construct_at(place, std::forward<Arguments>(arguments)...);
        }
    };

    std::vector<Object, Unfilled_Allocator<Object>> objects_;
    std::vector<Name, Unfilled_Allocator<Name>> names_;  // by parent, then in collation order
    std::vector<std::uint32_t> name_starts_;  // by record: its first name as a parent
    std::vector<Stream> streams_;
    std::vector<char16_t> upcase_;
    bool has_folders_of_several_names_ = false;
};

// Reads the table of the volume behind the path (a device such as "\\.\N:" or an image of a
// volume), with owners when asked. A clear stop flag ends the read with Stopped.
Table Read_Table(const std::wstring& volume, bool with_owners, const std::atomic<bool>& is_wanted);

// Where a path lies: the device that opens its volume raw, and the path from the volume's
// root ("a\b", empty for the root). None for a path the platform puts on no local volume.
struct Volume_Location {
    std::wstring Device;
    std::wstring Relative_Path;
};
std::optional<Volume_Location> Volume_Location_Of(const std::wstring& path);

}  // namespace Windows::Mft
