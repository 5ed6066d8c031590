#pragma once
// The application: one walk of the folder tree below a root records every file, folder and
// data stream; what is shown of them is chosen afterwards by the user's options, so a
// change of options needs no second walk.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "definite_element-list.hpp"
#include "gui.hpp"
#include "wide_text.hpp"
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

// Reads the selection controls into the options in force.
void Determine_Options();
// True when the controls' ticks or the minimum size differ from what is in force; a new
// number in a ticked time box is not a change.
bool Selection_Has_Changed();
// The time thresholds from their boxes; a box whose text is not a natural number (or too
// large a one) is unticked and its threshold left as it was.
void Set_Recently();
void Set_Ages_Ago();
File_Time Minutes_Before_Now(int the_minutes);
// A "day" here is 201 units of the time's upper half (86,328.8 s); Constraint_Error when
// the days times 201 exceeds a 32-bit integer.
File_Time Days_Before_Now(int the_days);
// The decimal natural number the text holds, digits only; empty when it holds none.
std::optional<int> Natural_From(const std::string& the_text);

// Ticks the box when the option is on.
void Set(const Gui::Check_Box& the_box, Selection_Option the_option);

// At most one of the two time filters and the display of folders is ticked at a time.
void Recent_Request();
void Untouched_Request();
void Display_Folder_Request();

void Get_Options_From_Registery();
void Save_Options_To_Registery();

// The option controls on the "Selection" page; null until the window is built.
extern Gui::Checked_Edit_Box Recently_Accessed;
extern Gui::Checked_Edit_Box Untouched;
extern Gui::Check_Box Visit_Folders;
extern Gui::Check_Box Display_Folders;
extern Gui::Check_Box Display_Full_Size;
extern Gui::Check_Box Display_Files;
extern Gui::Check_Box Display_Streams;  // NT family only
extern Gui::Check_Box Display_Hidden;
extern Gui::Check_Box Display_System;
extern Gui::Plain_Edit_Box Minimum_Size_Box;  // "Display only objects larger than"

// ---------------------------------------------------------------- search results

// A million of these are held after a walk of a whole disk: the texts are shared blocks,
// and the records of one folder share its name.
struct File_Information {
    Wide_Text::Shared File_Name;    // no path
    Wide_Text::Shared Folder_Name;  // relative to the root: empty, or "\a\b"
    Windows::Files::Owner Owner = nullptr;  // looked up on NTFS only
    Wide_Text::Shared Stream_Name;  // empty for files and folders
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
// How many threads look up owners and streams during a walk on NTFS, the searcher
// included; with 1 they are looked up one object after the other.
extern int Lookup_Threads;
extern std::wstring Display_Root;  // the folder shown, in the form of Folder_Name
extern bool Searching_Ntfs;
extern std::atomic<bool> Search_In_Progress;  // cleared to stop a walk
extern std::atomic<bool> Has_Been_Terminated;
extern bool Is_Windows_Nt;

// The controls the search reads and resets; null until the window is built.
extern Gui::Button Start_Stop_Button;
extern Gui::Plain_Edit_Box Search_Root_Box;
extern Gui::List_View File_List_View;

void Initialise();     // version data, state, the searcher thread, the log
void Join_Searcher();  // waits for the searcher thread to end

// One complete search from a root; False when the root is not an existing folder, and then
// the previous results stay. Runs on the searcher thread.
bool Search(const std::wstring& root);
// The walk of one folder (relative to the root, empty for the root itself): appends the
// records of everything below it and returns its accumulated size.
File_Size Scan(const std::wstring& the_folder);

bool To_Be_Displayed(const File_Information& the_file);


// The start/stop button's action routine.
void Stop_Start_Request();

// The searcher thread's two requests. Each waits until the searcher takes it; both raise
// Tasking_Error once the thread has ended.
namespace Searcher {
void Start();
void Quit();
}  // namespace Searcher

// ---------------------------------------------------------------- owner accounting

struct Account_Information {
    Windows::Files::Owner Owner = nullptr;  // accounts are told apart by this reference
    std::int32_t Nr_Of_Files = 0;
    File_Size Disk_Usage{};
};

struct Account_List_Traits {
    static constexpr const char* Name = "WORK.ACCOUNT_LIST";
};
using Account_List = Definite_Element::List<Account_Information, Account_List_Traits>;

// Every owner met since the start, in order of first appearance; never cleared, so the
// account view's rows keep referring to their elements.
extern Account_List Known_Accounts;
extern Gui::List_View Account_List_View;

// Adds a displayed record to its owner's totals; a record of an unknown owner counts
// nowhere. A new owner with a name gets a row.
void Add_To_Object_Owner(const File_Information& the_file);
void Zero_Account(Account_Information& the_account);
void Zero_Account_Totals(Account_List& the_list);

std::wstring Account_Text_Handler(int for_column, void* the_account);
Gui::Comparison Account_Sort_Routine(int for_column, void* first, void* second);

Gui::Comparison Comparison_Of(std::int32_t first, std::int32_t second);
Gui::Comparison Comparison_Of(File_Size first, File_Size second);  // unsigned
// Equal only for the same owner; two different owners never compare equal.
Gui::Comparison Comparison_Of(Windows::Files::Owner first, Windows::Files::Owner second);
Gui::Comparison Comparison_Of(std::wstring_view first, std::wstring_view second);
Gui::Comparison Comparison_Of(const File_Time& first, const File_Time& second);

// ---------------------------------------------------------------- result display

enum class Logical_Column { Name, In_Folder, Owner, Stream, Size, Last_Accessed };

extern bool Owner_Is_Displayed;
extern bool Streams_Are_Displayed;

// The logical column shown at a view position, given which optional columns exist.
Logical_Column Column_Of(int the_position);

// Rebuilds the optional columns for the current search and options.
void Adjust_Gui();
// Shows the records that pass the options, totals their owners, writes the totals line.
void Display();

// In full when "Display sizes in full" is on, else abbreviated.
std::string Image_Of(File_Size the_size);
std::string Image_Of(int the_count, const std::string& the_unit);  // "0 files", "1 file"

std::wstring File_Text_Handler(int for_column, void* the_file);
COLORREF File_Color_Handler(void* the_file);
Gui::Comparison File_Sort_Routine(int for_column, void* first, void* second);
void File_Click_Routine(void* the_file);
void Back_Request();
void Refresh_Display();

// True from a start request until the searcher has finished with it: navigation and
// refresh are ignored meanwhile, since no display may run during a walk.
extern std::atomic<bool> Searcher_Is_Busy;

// ---------------------------------------------------------------- start-up and end

extern std::string Application_Name;
extern std::string Version;

extern Gui::Page Display_Page;
extern Gui::Page Selection_Page;
extern Gui::Page Account_Page;  // NT family only
extern Gui::Button Back_Button;

// Builds the main window, its pages and controls, and sets the saved options into them.
void Create_User_Interface();
// The main window's termination handler: saves the options, ends the searcher.
void Termination();

}  // namespace Work
