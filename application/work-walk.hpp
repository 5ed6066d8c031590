#pragma once
// The walk: files in, records out. One walk of the tree below a root records every file,
// folder and data stream; nothing here knows of a window.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "definite_element-list.hpp"
#include "wide_text.hpp"
#include "windows-files.hpp"
#include "windows-mft.hpp"

namespace Work {

using Windows::Files::File_Size;
using Windows::Files::File_Time;

// A million of these are held after a walk of a whole disk: the texts are shared blocks,
// and the records of one folder share its name.
struct File_Information {
    Wide_Text::Shared File_Name;    // no path
    Wide_Text::Shared Folder_Name;  // relative to the root: empty, or "\a\b"
    Windows::Files::Owner Owner = nullptr;  // looked up on NTFS only
    Wide_Text::Shared Stream_Name;  // empty for files and folders
    File_Size Object_Size{};   // a folder's is the sum of everything below it
    // What its data takes on the volume, summed as the size is; unknown in a scan made
    // before this was kept.
    File_Size Size_On_Disk{};
    File_Time Last_Accessed{};
    bool Is_Folder = false;
    bool Is_Stream = false;
    bool Is_Compressed = false;
    bool Is_System = false;
    bool Is_Hidden = false;
    bool Has_Streams = false;  // the file's streams are recorded separately
    // Another name or path of an object met before in the walk (a hard link, or a link the
    // platform followed): its size is shown but added to no sum.
    bool Is_Shared = false;
    bool Has_Size_On_Disk = false;
};

// The folder holding a folder given in the form of Folder_Name: "\\a" for "\\a\\b", empty for "\\a".
inline std::wstring_view Parent_Folder_Of(std::wstring_view the_folder) {
    const std::size_t last = the_folder.rfind(L'\\');
    return the_folder.substr(0, last == std::wstring_view::npos ? 0 : last);
}

// The size sums and filters take: the size on disk when asked for and known.
inline File_Size Size_Of(const File_Information& the_file, bool on_disk) {
    return on_disk && the_file.Has_Size_On_Disk ? the_file.Size_On_Disk : the_file.Object_Size;
}

// What a volume's used space holds beyond the scan of its root: a folder record of that name
// at the root, holding the volume's own files where its table was read, and a record of the
// rest. It is space on disk: it adds to no sum of sizes.
inline constexpr std::wstring_view Not_In_Scan_Name = L"<not in this scan>";
inline constexpr std::wstring_view Rest_Of_Volume_Name =
    L"shadow copies, other system data and folders that could not be read";
inline bool Is_Not_In_Scan(const File_Information& the_file) {
    const std::wstring_view folder = the_file.Folder_Name.View();
    if (folder.empty()) return the_file.File_Name.View() == Not_In_Scan_Name;
    // No folder a volume lists begins with '<': one comparison tells almost every record.
    return folder.size() > Not_In_Scan_Name.size() && folder[1] == L'<' &&
           folder.substr(1, Not_In_Scan_Name.size()) == Not_In_Scan_Name &&
           (folder.size() == Not_In_Scan_Name.size() + 1 || folder[Not_In_Scan_Name.size() + 1] == L'\\');
}

// What the record adds to its folder's size and to the totals.
inline File_Size Counted_Size_Of(const File_Information& the_file, bool on_disk = false) {
    if (the_file.Is_Shared || (!on_disk && Is_Not_In_Scan(the_file))) return File_Size{};
    return Size_Of(the_file, on_disk);
}

struct File_List_Traits {
    static constexpr const char* Name = "WORK.FILE_LIST";
};
using File_List = Definite_Element::List<File_Information, File_List_Traits>;

// The records by place in the list (0 for the first), for work that shares them out among
// threads or looks a few places ahead.
std::vector<const File_Information*> Places_Of(const File_List& the_records);

// What a walk has found so far, and where it is.
struct Walk_Progress {
    std::uint64_t Objects = 0;  // records made
    File_Size Size{};           // of the files among them, as the totals line counts it
    std::wstring Folder;        // the folder being walked, its full path
};

struct Walk_Request {
    std::wstring Root;                // an existing folder, without trailing backslashes
    bool Owners_And_Streams = false;  // NTFS on the NT family
    int Lookup_Threads = 1;           // the walking thread included; 1 looks up in turn
    const std::atomic<bool>* Is_Wanted = nullptr;  // cleared to stop the walk
    // Told of every folder that could not be listed, with the platform's error; may be empty.
    std::function<void(const std::wstring& path, unsigned long error)> Report_Unreadable;
    // Told, from a thread of its own, what has been found every interval while the walk
    // runs, so that a slow listing never holds the report up; may be empty. The last report
    // is made before the walk returns.
    std::function<void(const Walk_Progress& progress)> Report_Progress;
    std::chrono::milliseconds Progress_Interval{250};
    // Told once, before the walk, when the volume's table could not be read for lack of
    // rights only: an administrator's search would read it instead.
    std::function<void()> Report_Table_Refused = nullptr;
};

// Appends the records of everything below the root to the list, each folder's contents
// before the folder, in the order the file system lists them; returns the root's size, each
// object counted once. A
// stop is noticed between two entries: what was recorded until then stays, with the sums
// of what was recorded.
File_Size Walk(const Walk_Request& request, File_List& into);

// A root the volume's table does not lead to by names alone, such as one reached through a
// junction.
QUARRIX_FAILURE(Root_Not_In_Table, "WORK.ROOT_NOT_IN_TABLE");

// The records a walk of the root would append, in the same order, read instead from the
// master file table of the NTFS volume the root lies on, in one sequential pass. Fails with
// a Windows::Mft failure or Root_Not_In_Table before appending anything when the volume
// cannot be read raw or its table is damaged; the caller walks then. A stop fails with
// Windows::Mft::Stopped while the table is read, and afterwards is noticed between two
// entries as in a walk.
// At a volume's root, the volume's own files (as hidden system records below the folder
// Not_In_Scan_Name) go into the list given.
File_Size Read_Master_File_Table(const Walk_Request& request, File_List& into,
                                 File_List* volume_files = nullptr);
// The records of the root from its volume's master file table when the request asks for
// owners and streams (NTFS on the NT family) and the table reads whole; else by the walk.
// Returns why the walk was used (empty when the table was not tried); none when the table
// was read, or a stop ended its reading.
std::optional<std::string> Read_Table_Or_Walk(const Walk_Request& request, File_List& into,
                                              File_List* volume_files = nullptr);
// The same from a table already read, for the folder at a path from the volume's root. The
// records take the table's names: it is spent afterwards.
File_Size Records_From_Table(Windows::Mft::Table&& table, const std::wstring& relative_root,
                             const Walk_Request& request, File_List& into);

// Appends those records when the root is a volume's root; the volume's own files come from
// the table read, if it was read.
void Account_For_Volume(const std::wstring& root, const Windows::Files::Volume_Space& space,
                        File_List&& volume_files, File_List& records);

bool Is_Existing_Folder(const std::wstring& path);
std::wstring Without_Trailing_Backslashes(std::wstring path);

}  // namespace Work
