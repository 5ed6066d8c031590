#pragma once
// The application: one walk of the folder tree below a root records every file, folder and
// data stream; what is shown of them is chosen afterwards by the user's options, so a
// change of options needs no second walk.

#include <array>
#include <atomic>
#include <cstddef>
#include <string>

#include "definite_element-list.hpp"
#include "gui.hpp"
#include "windows-files.hpp"

namespace Work {

using Windows::Files::File_Size;
using Windows::Files::File_Time;

// ---------------------------------------------------------------- selection options

enum class Selection_Option : std::size_t {
    NEWLY_TOUCHED,
    AGED,
    SUBFOLDERS,
    FOLDERS,
    FULL_SIZE,
    FILES,
    STREAMS,
    HIDDEN,
    SYSTEM
};
inline constexpr std::size_t Selection_Option_Count = 9;

struct Option_Set {
    std::array<bool, Selection_Option_Count> Is_On{};
    bool& operator[](Selection_Option option) { return Is_On[static_cast<std::size_t>(option)]; }
    bool operator[](Selection_Option option) const {
        return Is_On[static_cast<std::size_t>(option)];
    }
};

extern Option_Set Selected_Options;
extern File_Size Size_Threshold;  // smaller objects are not shown
extern File_Time Ages_Ago;        // "not accessed since": last access at or before this
extern File_Time Just_Recently;   // "accessed within": last access at or after this

// Reads the selection controls into the options in force (completed with the options).
void Determine_Options();

// ---------------------------------------------------------------- search results

struct File_Information {
    std::wstring File_Name;    // no path
    std::wstring Folder_Name;  // relative to the root: empty, or "\a\b"
    Windows::Files::Owner Owner = nullptr;  // looked up on NTFS only
    std::wstring Stream_Name;  // empty for files and folders
    File_Size Object_Size{};   // a folder's is the sum of everything below it
    File_Time Last_Accessed{};
    bool Is_Folder = false;
    bool Is_Stream = false;
    bool Is_Compressed = false;
    bool Is_System = false;
    bool Is_Hidden = false;
    bool Has_Streams = false;  // the file's streams are recorded separately
};

struct File_List_Traits {
    static constexpr const char* Name = "WORK.FILE_LIST";
};
using File_List = Definite_Element::List<File_Information, File_List_Traits>;

// Written only by the searcher thread, while the file list view refers to none of it.
extern File_List Known_Files;
extern std::wstring Search_Root;   // as typed, without trailing backslashes
extern std::wstring Display_Root;  // the folder shown, in the form of Folder_Name
extern bool Searching_Ntfs;
extern std::atomic<bool> Search_In_Progress;  // cleared to stop a walk
extern std::atomic<bool> Has_Been_Terminated;
extern bool Is_Windows_Nt;

// The controls the search reads and resets; null until the window is built.
extern Gui::Button Start_Stop_Button;
extern Gui::Plain_Edit_Box Search_Root_Box;
extern Gui::List_View File_List_View;

void Initialise();     // sets the state and starts the searcher thread
void Join_Searcher();  // waits for the searcher thread to end

// One complete search from a root; False when the root is not an existing folder, and then
// the previous results stay. Runs on the searcher thread.
bool Search(const std::wstring& root);
// The walk of one folder (relative to the root, empty for the root itself): appends the
// records of everything below it and returns its accumulated size.
File_Size Scan(const std::wstring& the_folder);

bool To_Be_Displayed(const File_Information& the_file);

// Rebuilds the result columns, and shows the records that pass (completed with the display).
void Adjust_Gui();
void Display();

// The start/stop button's action routine.
void Stop_Start_Request();

// The searcher thread's two requests. Each waits until the searcher takes it; both raise
// Tasking_Error once the thread has ended.
namespace Searcher {
void Start();
void Quit();
}  // namespace Searcher

}  // namespace Work
