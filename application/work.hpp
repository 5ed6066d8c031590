#pragma once
// The application: one walk of the folder tree below a root records every file, folder and
// data stream; what is shown of them is chosen afterwards by the user's options, so a
// change of options needs no second walk. The walk and the filter (work-walk.hpp,
// work-selection.hpp) know nothing of the window; the rest of the package composes them
// with it.

#include <cstdint>
#include <string>

#include "definite_element-list.hpp"
#include "gui.hpp"
#include "work-compare.hpp"
#include "work-credit.hpp"
#include "work-selection.hpp"
#include "work-walk.hpp"

namespace Work {

// ---------------------------------------------------------------- start-up and end

// The packages' start-up in dependency order, the window not yet built: the platform, the
// GUI framework, then this package (version data, state, the searcher thread, the log).
void Start_Packages();
void Start_Gui();          // the second step alone, after the platform
// The third step alone; its searcher runs until Shut_Down. With a name, the settings, the
// log and the window title go by it instead of the product's name (tests run that way).
void Start_Application(const std::string& the_name = "");
// A start for a run without a window: the platform, the version data, the log, and the
// settings' key, without the GUI framework or the searcher.
void Start_Without_Window();
// Builds the main window, its pages and controls, and sets the saved options into them.
void Create_User_Interface();
// The main window's termination handler: saves the options, ends the searcher.
void Termination();
// Waits until the window has closed (closing it first when start-up failed) and every
// thread of the program has ended.
void Shut_Down(bool after_failed_start = false);

const std::string& Application_Name();
const std::string& Version();

bool Is_Windows_Nt();
// Tests tell the package it runs on the other family.
void Pretend_Windows_Nt(bool is_nt);

// The window's controls; null until the window is built.
struct Window_Controls {
    Gui::Page Display_Page = nullptr;
    Gui::Page Map_Page = nullptr;
    Gui::Plain_Combo_Box Map_Colouring_Box;
    Gui::Page Types_Page = nullptr;
    Gui::List_View Types_List_View;
    Gui::Page Selection_Page = nullptr;
    Gui::Page Account_Page = nullptr;  // NT family only
    Gui::Button Back_Button;
    Gui::Button Map_Back_Button;  // the same "Back" on the Map page
    Gui::Picture Map_Picture;
    Gui::Button Start_Stop_Button;
    Gui::Button Open_Scan_Button;
    Gui::Button Save_Scan_Button;
    Gui::Button Export_Button;
    Gui::Button Compare_Button;
    Gui::Plain_Edit_Box Search_Root_Box;  // "Look in:"
    Gui::Button Browse_Button;            // beside it
    Gui::Plain_Combo_Box Root_List;       // the drives and the last roots searched, beside it
    Gui::List_View File_List_View;
    Gui::List_View Account_List_View;  // NT family only
    Gui::Checked_Edit_Box Recently_Accessed;
    Gui::Checked_Edit_Box Untouched;
    Gui::Check_Box Visit_Folders;
    Gui::Check_Box Display_Folders;
    Gui::Check_Box Display_Full_Size;
    Gui::Check_Box Display_Files;
    Gui::Check_Box Display_Streams;  // NT family only
    Gui::Check_Box Display_Hidden;
    Gui::Check_Box Display_System;
    Gui::Check_Box Count_On_Disk;
    Gui::Checked_Edit_Box Name_Filter;
    Gui::Plain_Edit_Box Minimum_Size_Box;  // "Display only objects larger than"
};
const Window_Controls& Controls();

// ---------------------------------------------------------------- selection options

// The options the shown results were filtered with.
const Selection& Selection_In_Force();
void Put_In_Force(const Selection& the_selection);

// Reads the selection controls into the options in force: ticks, and the time thresholds
// of ticked time boxes. A ticked box whose text is not a natural number (or too large a
// one) is unticked and its filter is off.
void Determine_Options();
// True when the controls' ticks or the minimum size differ from what is in force; a new
// number in a ticked time box is not a change.
bool Selection_Has_Changed();
// The time thresholds from their boxes, as Determine_Options takes them.
void Set_Recently();
void Set_Ages_Ago();

// At most one of the two time filters and the display of folders is ticked at a time.
void Recent_Request();
void Untouched_Request();
void Display_Folder_Request();

// Loads the ticks before the controls are made; the texts come with the controls.
void Get_Options_From_Registery();
// Saves only what was loaded into controls that exist.
void Save_Options_To_Registery();
// The options as the window saved them last, for a run without a window: the ticks, the
// minimum size, and each ticked time filter's threshold from its saved text.
Selection Saved_Selection();
// The thresholds of the ticked time filters, from their texts as the boxes hold them; a
// filter whose text is not a natural number is off, as are filters the page would not
// allow together (folders, or one time filter).
void Take_Time_Thresholds(Selection& the_selection, const std::string& the_minutes,
                          const std::string& the_days);

// The registry's names of the option values, each spelled once.
namespace Setting {
inline constexpr const char* Selection_Topic = "\\Selection";
inline constexpr const char* Within = "Within";
inline constexpr const char* Since = "Since";
inline constexpr const char* Min_Size = "Min_Size";
inline constexpr const char* Name_Patterns = "Name_Patterns";  // UTF-8
inline constexpr const char* Map_Colouring = "Map_Colouring";   // kind, type, age or owner
}  // namespace Setting

// ---------------------------------------------------------------- searches

// How many threads look up owners and streams during a walk on NTFS, the searcher
// included; with 1 they are looked up one object after the other.
int Lookup_Threads();
void Set_Lookup_Threads(int the_count);

// The results of the last search, written only by the searcher while no view refers to
// them.
const File_List& Known_Files();
const std::wstring& Search_Root();  // as typed, without trailing backslashes
bool Searching_Ntfs();

// When the walk of the results began, and the scan file they were read from (empty when
// they were walked here).
const File_Time& Results_Time();
const std::wstring& Opened_Scan();
// Whether the results hold sizes on disk (a scan of an older format does not), and the
// space of their root's volume when it is known.
bool Results_Have_Sizes_On_Disk();
const std::optional<Windows::Files::Volume_Space>& Results_Volume();

// One complete search from a root, as the searcher runs it: the options read, the view
// prepared, the walk, the rows shown. False when the root is not an existing folder, and
// then the previous results stay. Stops early when Stop is asked for meanwhile.
bool Search(const std::wstring& root);

// "Browse..." and the list of drives and roots beside "Look in:"; the list is filled anew
// with the drives and the roots the registry keeps, and a searched root is kept first.
void Browse_Request();
void Root_Choice_Request();
void Fill_Root_List();
void Remember_Root(const std::wstring& the_root);

// The start/stop button's action routine.
void Stop_Start_Request();
// "Look in:" set to the root and a search of it queued, as typing it and pressing "Search"
// would do.
void Start_Search_Of(const std::wstring& the_root);
// True from a start request until the searcher has finished with it and the button shows
// "Search" again: navigation and refresh are ignored meanwhile.
bool Searcher_Is_Busy();
// True while a walk is wanted: from a start until it ends or is stopped.
bool Search_Is_Wanted();
// As the button's Stop: the walk in progress ends at the next entry.
void Stop_Search();
// True once the program is ending: the searcher serves no more requests.
bool Has_Been_Terminated();
void Join_Searcher();  // waits for the searcher thread, and the freeing of results it replaced, to end

// The searcher thread's two requests. Each waits until the searcher takes it; both raise
// Tasking_Error once the thread has ended.
namespace Searcher {
void Start();
void Quit();
}  // namespace Searcher

// ---------------------------------------------------------------- scan files

// The results saved as a scan file, and a scan file's records shown as if just walked,
// its volume's columns and all. Each tells in a message box why it failed; the results
// shown then stay as they were. Neither runs while a search does.
void Save_Scan(const std::wstring& path);
void Open_Scan(const std::wstring& path);
// The buttons' action routines: a standard dialog, then the above.
void Save_Scan_Request();
void Open_Scan_Request();
// Open_Scan queued for the action handler, as "Open scan..." would run it.
void Start_Opening(const std::wstring& path);
// Which scan the results come from and when it was made, for the status line; empty for
// results walked here.
std::string Scan_Note();

// The rows the file list shows, in their order, written as CSV with the columns and formats
// of the command line's reports; a failure is told in a message box.
void Export_Rows(const std::wstring& path);
void Export_Request();

// The results compared with an older scan of the same root: the file list gains a "Change"
// column and the gone objects as grey rows, the Accounts page the change per owner. A scan
// of another root is refused with a message. A new search or scan ends the comparison.
void Compare_With(const std::wstring& path);
void Compare_Request();
// The comparison in force; null when none.
const Compare::Changes* Comparison();

// ---------------------------------------------------------------- owner accounting

struct Account_Information {
    Windows::Files::Owner Owner = nullptr;  // accounts are told apart by this reference
    std::int32_t Nr_Of_Files = 0;
    File_Size Disk_Usage{};
    std::int64_t Change = 0;  // against the older scan compared with
    Credit::Usage_By_Age By_Age{};  // the usage by last access
};

struct Account_List_Traits {
    static constexpr const char* Name = "WORK.ACCOUNT_LIST";
};
using Account_List = Definite_Element::List<Account_Information, Account_List_Traits>;

// Every owner met since the start, in order of first appearance; never cleared, so the
// account view's rows keep referring to their elements.
const Account_List& Known_Accounts();

// Adds a displayed record to its owner's totals; a record of an unknown owner counts
// nowhere. A new owner with a name gets a row.
void Add_To_Object_Owner(const File_Information& the_file);
// Adds one owner's totals of a display; shown rows are repainted once all are added.
void Add_To_Account(Windows::Files::Owner the_owner, std::int32_t the_files, File_Size the_usage,
                    std::int64_t the_change = 0, const Credit::Usage_By_Age& the_usage_by_age = {});
void Zero_Account_Totals();
// The Accounts page has a "Change" column while a comparison is in force.
void Adjust_Account_Columns(bool with_change);
void Repaint_Accounts();

// The map's colouring: the choice on the Map page, kept in the registry.
void Map_Colouring_Request();
void Take_Saved_Map_Colouring();

// The Types page: shown anew with the page, and with every display while it is shown.
void Show_Types();
void Types_Page_Request();
// The shown records' totals back in the status line, if the types' were there.
void Leave_Types_Totals();
std::wstring Type_Text_Handler(int for_column, void* the_type);
COLORREF Type_Color_Handler(void* the_type);
Gui::Comparison Type_Sort_Routine(int for_column, void* first, void* second);

std::wstring Account_Text_Handler(int for_column, void* the_account);
Gui::Comparison Account_Sort_Routine(int for_column, void* first, void* second);

// Orders as <=> does; owners by their names, and two different owners never equal.
template <typename Value>
Gui::Comparison Comparison_Of(const Value& first, const Value& second) {
    const auto order = first <=> second;
    if (order < 0) return Gui::Comparison::Less;
    if (order > 0) return Gui::Comparison::Greater;
    return Gui::Comparison::Equal;
}
Gui::Comparison Comparison_Of(Windows::Files::Owner first, Windows::Files::Owner second);
Gui::Comparison Comparison_Of(const File_Time& first, const File_Time& second);

// ---------------------------------------------------------------- result display

enum class Logical_Column { Name, In_Folder, Owner, Stream, Size, Size_On_Disk, Last_Accessed, Change };

// The folder shown, in the form of Folder_Name.
const std::wstring& Display_Root();
bool Owner_Is_Displayed();

// The logical column shown at a view position, given which optional columns exist.
Logical_Column Column_Of(int the_position);

// Rebuilds the optional columns for the results, the options and the comparison in force.
void Adjust_Gui();
// Shows the records that pass the options, totals their owners, writes the totals line.
void Display();

// In full when "Display sizes in full" is on, else abbreviated.
std::string Image_Of(File_Size the_size);
std::string Image_Of(int the_count, const std::string& the_unit);  // "0 files", "1 file"
// "+12KB", "-300", "0", or "new", sizes as Image_Of shows them.
std::string Change_Image_Of(std::int64_t the_bytes);  // "+12KB", "-3MB", "0"
// The minimum size box's text for a threshold: one that reads back as the same threshold.
std::string Threshold_Text_Of(File_Size the_threshold);

std::wstring File_Text_Handler(int for_column, void* the_file);
COLORREF File_Color_Handler(void* the_file);
Gui::Comparison File_Sort_Routine(int for_column, void* first, void* second);
void File_Click_Routine(void* the_file);
// Shows a folder below the root (in Folder_Name's form), as a click on its row does.
void Open_Folder(const std::wstring& the_folder);
void Back_Request();
void Refresh_Display();

// ---------------------------------------------------------------- the shell

// The objects found are handed to the shell, never changed here. Every hand-over passes
// through Shell::Hand_Over, which tests replace to record what would be handed over.
namespace Shell {
enum class Verb {
    Open,              // the object's default action
    Show_In_Explorer,  // its folder, with the object selected
    Properties,        // the shell's property sheet
    Run_Elevated       // the program at Path with Parameters, as administrator
};
struct Request {
    Verb The_Verb;
    std::wstring Path;
    std::wstring Parameters;
};
using Handler = bool (*)(const Request& the_request);
bool Hand_Over(const Request& the_request);  // true when the shell took it
void Set_Handler(Handler the_handler);       // null restores the shell
}  // namespace Shell

std::wstring Full_Path_Of(const File_Information& the_file);  // the root, its folder and its name
// The object's menu: open, open in Explorer, copy its path, properties, and for a folder,
// search it. On the action handler.
void Offer_Object_Menu(const std::wstring& the_path, bool is_folder);
void File_Menu_Routine(void* the_file);
// F5: the root of the results searched again.
void Search_Again_Request();

// A search that walked because its volume's table was refused for lack of rights is noted,
// and once shown, the status line's note offers to run as administrator; the button's
// routine saves the options and hands the program to the shell to run elevated, searching the
// same root, and closes this window once the shell took it.
void Note_Table_Refused();
void Forget_Table_Refusal();
void Show_Elevation_Note();
void Run_As_Administrator_Request();

// ---------------------------------------------------------------- the map

// The picture's routines on the Map page: drawing and hovering on the display thread, a
// press on the action handler.
void Map_Draw_Handler(HDC into, int width, int height);
void Map_Hover_Routine(int x, int y);
void Map_Press_Routine(int x, int y);
void Map_Menu_Routine(int x, int y);  // the menu of the object under the point

// ---------------------------------------------------------------- for tests and benchmarks

// States a real run reaches only through a walk or a window, set directly.
namespace Testing {
Selection& Selection_To_Change();  // the selection in force
std::wstring& Display_Root();  // the folder shown
File_List& Results_To_Change();
void Set_Searching_Ntfs(bool is_ntfs);
void Set_Searcher_Busy(bool is_busy);
void Want_Search();  // as a start does, for Search called directly
bool Map_Is_Laid_Out();  // the map's tiles are those of the records shown now
}  // namespace Testing

}  // namespace Work
