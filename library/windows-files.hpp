#pragma once
// File-system queries: sizes, times, attributes and owners the whole program shares,
// and the text images of them that the result lists show.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "strings.hpp"
#include "windows.hpp"
#include "unsigned.hpp"
#include "wide_text.hpp"

namespace Windows::Files {

using File_Size = Unsigned::Quadword;
inline constexpr File_Size Zero_Length{};

// 100-nanosecond intervals since 1601-01-01 UTC; both halves 0 is the unknown time.
using File_Time = FILETIME;

struct File_Attributes {
    std::uint32_t Attribute = 0;
    File_Time Creation_Time{};
    File_Time Access_Time{};
    File_Time Last_Write_Time{};
    File_Size Size{};
};

// One known owner account. Entries are made once per distinct SID (and once more for a SID
// a scan named before the platform did) and never freed, so owners are compared by
// reference; the null reference is the unknown owner.
struct Sid_Body {
    std::uint8_t Nt_Sid[100]{};
    std::wstring Image;
};
using Owner = const Sid_Body*;

QUARRIX_FAILURE(File_Not_Found, "WINDOWS.FILES.FILE_NOT_FOUND");
QUARRIX_FAILURE(Read_Failure, "WINDOWS.FILES.READ_FAILURE");
QUARRIX_FAILURE(Write_Failure, "WINDOWS.FILES.WRITE_FAILURE");

using Find_Record = WIN32_FIND_DATAW;

// Stream records as NtQueryInformationFile reports them (FILE_STREAM_INFORMATION).
#pragma pack(push, 4)
struct File_Stream_Information {
    std::int32_t Next_Entry;
    std::int32_t Name_Length;  // bytes
    File_Size Size;
    File_Size Allocation;
    wchar_t Name[1024];
};
#pragma pack(pop)
static_assert(sizeof(File_Stream_Information) == 2072);

struct Io_Status_Block {
    union {
        std::int32_t Status;
        void* Pointer;
    };
    std::uintptr_t Information;
};

using Query_Information_File = std::int32_t(WINAPI*)(HANDLE file, Io_Status_Block* status,
                                                     void* buffer, std::uint32_t length,
                                                     std::int32_t information_class);
inline constexpr std::int32_t File_Stream_Information_Class = 22;

// NtQueryInformationFile, taken from NtDll at start on the NT family; null elsewhere.
// Tests put a substitute here, since the platform may not report streams.
extern Query_Information_File Nt_Query_Information_File;

void Initialise();

// The form of a path that the platform takes at any length: "\\?\C:\..." for a drive path,
// "\\?\UNC\server\share\..." for a network path, made absolute and normalised first (the
// long form is taken literally). A path already in that form, or one the platform cannot
// make absolute, is returned as it is. Every query below passes its path through this.
std::wstring Long_Path_Form(const std::wstring& path);

// Object tests and names.
bool Bits_Are_Set_In(std::uint32_t word, std::uint32_t mask);
bool Is_Directory(std::uint32_t attribute);
bool Is_Directory(const Find_Record& record);
bool Is_Hidden(const Find_Record& record);
bool Is_System(const Find_Record& record);
bool Is_Compressed(const Find_Record& record);
bool Is_Reparse_Point(const Find_Record& record);  // junctions and links: not descended
File_Size File_Size_Of(const Find_Record& record);
std::wstring_view Filename_Of(const Find_Record& record);  // refers into the record
bool Is_Special_Directory(std::wstring_view name);  // "." and ".."

// Data streams of a file, in the order the file system lists them, the unnamed one
// included. Reports nothing when the query is absent or fails, when the file cannot be
// opened, or when the file has only its unnamed stream. A record that would reach outside
// the query's buffer ends the report.
// A stream's size on disk is the platform's allocation for it.
using Stream_Routine =
    std::function<void(const std::wstring& name, File_Size size, File_Size size_on_disk)>;
void Iterate_Streams_Of(const std::wstring& filename, const Stream_Routine& process);

// The owner, the streams and the file index of the object a listing entry names, through a
// single handle, which is what makes a walk with owners affordable; a folder's streams are
// not asked for. A junction or link is asked of itself, never of what it leads to. When an
// object other than a link cannot be opened its owner is still asked for by name. Safe from
// any thread.
struct Stream_Record {
    Wide_Text::Shared Name;
    File_Size Size;
    File_Size Size_On_Disk;
};
struct Owner_And_Streams {
    const Sid_Body* The_Owner = nullptr;
    std::vector<Stream_Record> Streams;
    std::optional<std::uint64_t> File_Index;  // as File_Index_Of gives it
    // Of a file's data: what its clusters take after compression, sparse holes left out;
    // none when the platform cannot tell.
    std::optional<File_Size> Size_On_Disk;
};
Owner_And_Streams Owner_And_Streams_Of(const std::wstring& filename, const Find_Record& entry);
// Once the platform's query has said it knows no streams, it is not asked again. A walk
// forgets that at its start, since another volume may answer otherwise.
void Ask_Again_For_Streams();

// What tells one folder from another on a volume even when two paths lead to it (a mounted
// or linked folder); none when the folder cannot be read. The volume is not asked for, as
// that costs several times the rest.
std::optional<std::uint64_t> File_Index_Of(const std::wstring& path);
// What tells one object from every other, on any volume: its volume's serial number and its
// index there. For objects whose indices are one; none when the object cannot be opened.
struct File_Identity {
    std::uint32_t Volume = 0;
    std::uint64_t Index = 0;
    bool operator==(const File_Identity&) const = default;
};
std::optional<File_Identity> File_Identity_Of(const std::wstring& path);

// Times.
File_Time The_Time_Now();
bool Is_Earlier(const File_Time& the_time, const File_Time& than_time);
bool Is_Later(const File_Time& the_time, const File_Time& than_time);
std::wstring Image_Of(const File_Time& the_time);  // locale date, a space, locale time

// Sizes.
std::string Image_Of(File_Size the_size);          // " 12KB", powers of 1000
File_Size Size_From(const std::string& the_size);  // "1.5K" -> 1500; bad text -> 0

// Owners, named by the platform when first met.
// Null when the owner cannot be read. Safe from any thread: the cache has its own guard.
Owner Owner_Of(const std::wstring& filename);
Owner Owner_Of(HANDLE file);
bool Is_Unknown(Owner the_sid);
const std::wstring& Image_Of(Owner the_sid);   // empty for the unknown owner
// The SID's bytes, as a scan file keeps them; empty for the unknown owner.
std::basic_string_view<std::uint8_t> Sid_Bytes_Of(Owner the_sid);
// The owner of a SID read back from a scan file: the entry the platform has named, else one
// that keeps the name saved first, since the machine reading the scan may not know the
// account. A live search never takes that name. Null when the bytes are not a valid SID.
Owner Owner_With_Sid(std::basic_string_view<std::uint8_t> sid_bytes, const std::wstring& image);
// The owner of a SID as a volume stores it, named by the platform when new; null when the
// bytes are not a valid SID.
Owner Owner_With_Sid(std::basic_string_view<std::uint8_t> sid_bytes);

// Other queries.
File_Attributes Attributes_For(const std::wstring& name);  // File_Not_Found on any failure

// The volume a path lies on. Its root: "C:\" for "C:\Data", "\\srv\share\" for a share.
std::wstring Volume_Root_Of(const std::wstring& path);
bool Is_Volume_Root(const std::wstring& path);
bool Volume_Is_Ntfs(const std::wstring& path);
std::optional<std::uint64_t> Cluster_Size_Of(const std::wstring& path);  // in bytes
struct Volume_Space {
    File_Size Total;
    File_Size Free;
    File_Size Used() const { return File_Size::From(Total.Value() - Free.Value()); }
};
std::optional<Volume_Space> Volume_Space_Of(const std::wstring& path);
// What a file of that size takes where the volume tells no more than its cluster size.
File_Size Rounded_To_Clusters(File_Size the_size, std::uint64_t the_cluster_size);
// Data the platform keeps elsewhere (offline, or a cloud file not on this machine) takes
// nothing here.
bool Is_Held_Elsewhere(std::uint32_t attribute);

std::wstring Current_Directory();
void Rename_File(const std::string& existing_name, const std::string& new_name);

// Whole files, for scans and reports. The contents are written to a temporary file beside
// the target and renamed over it, so a failed or interrupted write leaves the target as it
// was. Each raises its failure with the path and the platform's error.
// Read, not mapped: a drive that fails under a mapped view faults where the bytes are
// touched, and a reader could only crash there.
std::string Contents_Of(const std::wstring& path);  // Read_Failure
void Replace_Contents(const std::wstring& path, std::string_view contents);  // Write_Failure

// The same for contents made a piece at a time, too large to be held whole: appended to the
// temporary file, which Commit flushes and renames over the target; a replacement that goes
// without Commit leaves the target as it was. Each raises Write_Failure.
class Replacement {
public:
    explicit Replacement(const std::wstring& target);
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement();

    void Append(std::string_view bytes);
    void Overwrite(std::uint64_t at, std::string_view bytes);  // of what is appended already
    void Commit();

private:
    std::wstring target_;
    std::wstring path_;
    Unique<HANDLE, CloseHandle> handle_;
    std::uint64_t size_ = 0;
    bool is_kept_ = false;
};

}  // namespace Windows::Files
