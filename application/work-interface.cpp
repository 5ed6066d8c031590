// Start-up and end: the packages started in dependency order, the main window built with
// its pages and controls, and the orderly end of the program's threads.
#include <string>

#include "gui-registered.hpp"
#include "log.hpp"
#include "registry.hpp"
#include "windows-version.hpp"
#include "windows.hpp"
#include "work-internal.hpp"
#include "work-platform.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

std::string The_Application_Name;
std::string The_Version;
bool Is_Nt = false;
Window_Controls The_Controls;

// Without a version resource (as in the tests) the program still runs, under its own name.
void Read_Version_Information() {
    try {
        The_Application_Name = Windows::Version::Product_Name("");
        The_Version = Windows::Version::Product_Version("");
    } catch (const Windows::Version::No_Version_Info&) {
        The_Application_Name = "Quarrix";
        The_Version.clear();
    }
}

constexpr Gui::Action_Routine No_Action = nullptr;
constexpr int Button_Size = 100;
constexpr int Time_Box_Size = 50;
constexpr int Size_Box_Size = 100;
constexpr int Names_Box_Size = 200;
constexpr int Browse_Size = 80;
constexpr int Root_List_Size = 160;

void Add_Display_Page() {
    The_Controls.Display_Page = Gui::Add_Page("Display", Gui::Default_Page_Style, Refresh_Display);
    The_Controls.Back_Button = Gui::Create(The_Controls.Display_Page, "Back", Back_Request, Button_Size);
    Gui::Disable(The_Controls.Back_Button);
    // "Search" stays last, at the row's right end.
    The_Controls.Open_Scan_Button = Gui::Create(The_Controls.Display_Page, "Open scan...", Open_Scan_Request, Button_Size);
    The_Controls.Save_Scan_Button = Gui::Create(The_Controls.Display_Page, "Save scan...", Save_Scan_Request, Button_Size);
    The_Controls.Compare_Button = Gui::Create(The_Controls.Display_Page, "Compare with...", Compare_Request, Button_Size);
    The_Controls.Export_Button = Gui::Create(The_Controls.Display_Page, "Export...", Export_Request, Button_Size);
    The_Controls.Start_Stop_Button = Gui::Create(The_Controls.Display_Page, "Search", Stop_Start_Request, Button_Size);
    The_Controls.Search_Root_Box = Gui::Create_Wide(The_Controls.Display_Page, L"Look in:", Files::Current_Directory(), No_Action);
    The_Controls.Browse_Button = Gui::Create_Beside(The_Controls.Search_Root_Box, "Browse...", Browse_Request, Browse_Size);
    The_Controls.Root_List = Gui::Create_List_Beside(The_Controls.Search_Root_Box, Root_Choice_Request, Root_List_Size);
    Fill_Root_List();
    The_Controls.File_List_View = Gui::Create(The_Controls.Display_Page, File_Text_Handler, File_Color_Handler,
                                 File_Sort_Routine, File_Click_Routine, true);
    Gui::Registered::Add_Column(The_Controls.File_List_View, "Name", 140, Gui::Justification::Left);
    Gui::Registered::Add_Column(The_Controls.File_List_View, "In Folder", 200, Gui::Justification::Left);
    Gui::Set_Keys(The_Controls.File_List_View, {Back_Request, Search_Again_Request, File_Menu_Routine});
}

// "Back" and the map below it.
void Add_Map_Page() {
    The_Controls.Map_Page = Gui::Add_Page("Map", Gui::Default_Page_Style, Refresh_Display);
    The_Controls.Map_Back_Button = Gui::Create(The_Controls.Map_Page, "Back", Back_Request, Button_Size);
    The_Controls.Map_Colouring_Box =
        Gui::Create(The_Controls.Map_Page, "Colour by", Map_Colouring_Request, Gui::Default_Combo_Style, 100);
    Take_Saved_Map_Colouring();
    if (Wide_Text::Is_Null(Display_Root())) Gui::Disable(The_Controls.Map_Back_Button);
    The_Controls.Map_Picture =
        Gui::Create(The_Controls.Map_Page, Map_Draw_Handler, Map_Hover_Routine, Map_Press_Routine);
    Gui::Set_Menu_Routine(The_Controls.Map_Picture, Map_Menu_Routine);
}

// The page after the map; its list made after the others, so that the stored widths of the
// lists made before it keep their names.
void Add_Types_Page() {
    The_Controls.Types_Page = Gui::Add_Page("Types", Gui::Default_Page_Style, Types_Page_Request);
}

void Add_Types_List() {
    The_Controls.Types_List_View = Gui::Create(The_Controls.Types_Page, Type_Text_Handler, Type_Color_Handler,
                                               Type_Sort_Routine, nullptr, true);
    const struct {
        const char* Title;
        int Width;
        Gui::Justification Way;
    } columns[] = {{"Type", 120, Gui::Justification::Left},   {"", 40, Gui::Justification::Left},
                   {"Files", 75, Gui::Justification::Right},  {"Size", 75, Gui::Justification::Right},
                   {"Share", 60, Gui::Justification::Right},  {"Largest", 200, Gui::Justification::Left}};
    for (const auto& column : columns)
        Gui::Registered::Add_Column(The_Controls.Types_List_View, column.Title, column.Width, column.Way);
}

void Add_Account_Page() {
    The_Controls.Account_Page = Gui::Add_Page("Accounts");
    The_Controls.Account_List_View = Gui::Create(
        The_Controls.Account_Page, Account_Text_Handler, nullptr, Account_Sort_Routine, nullptr, true);
    Gui::Registered::Add_Column(The_Controls.Account_List_View, "Name", 90, Gui::Justification::Left);
    Gui::Registered::Add_Column(The_Controls.Account_List_View, "Nr of files", 75, Gui::Justification::Right);
    Gui::Registered::Add_Column(The_Controls.Account_List_View, "Usage", 75, Gui::Justification::Right);
    for (const char* title : Credit::Age_Band_Titles)
        Gui::Registered::Add_Column(The_Controls.Account_List_View, title, 75, Gui::Justification::Right);
    Gui::Set_Keys(The_Controls.Account_List_View, {nullptr, Search_Again_Request, nullptr});
}

// The loaded options may hold more than one of the mutually exclusive ones.
void Tick_One_Exclusive_Option() {
    const Option_Set& options = Selection_In_Force().Options;
    if (options[Selection_Option::FOLDERS]) Gui::Set(The_Controls.Display_Folders);
    else if (options[Selection_Option::NEWLY_TOUCHED]) Gui::Set(The_Controls.Recently_Accessed);
    else if (options[Selection_Option::AGED]) Gui::Set(The_Controls.Untouched);
}

Gui::Check_Box Option_Box(const std::string& the_title, Selection_Option the_option) {
    Gui::Check_Box box = Gui::Create(The_Controls.Selection_Page, the_title, No_Action);
    if (Selection_In_Force().Options[the_option]) Gui::Set(box);
    return box;
}

void Add_Selection_Page() {
    auto registry = Registry::Exclusive_Use();
    Registry::Define(Setting::Selection_Topic);
    The_Controls.Selection_Page = Gui::Add_Page("Selection");
    The_Controls.Visit_Folders = Option_Box("Include subfolders", Selection_Option::SUBFOLDERS);
    The_Controls.Display_Folders = Gui::Create(The_Controls.Selection_Page, "Display folders", Display_Folder_Request);
    The_Controls.Display_Files = Option_Box("Display files", Selection_Option::FILES);
    The_Controls.Recently_Accessed =
        Gui::Create_Checked(The_Controls.Selection_Page, "Accessed within last (minutes)",
                            Registry::Value_Of(Setting::Within, "5"), Recent_Request, false, Time_Box_Size);
    The_Controls.Untouched = Gui::Create_Checked(The_Controls.Selection_Page, "Not accessed since (days)",
                                    Registry::Value_Of(Setting::Since, "90"), Untouched_Request, false,
                                    Time_Box_Size);
    Tick_One_Exclusive_Option();
    The_Controls.Minimum_Size_Box = Gui::Create(The_Controls.Selection_Page, "Display only objects larger than",
                                   Registry::Value_Of(Setting::Min_Size, "0"), No_Action, false,
                                   Size_Box_Size);
    The_Controls.Display_Full_Size = Option_Box("Display sizes in full", Selection_Option::FULL_SIZE);
    if (Is_Nt) {
        The_Controls.Display_Streams = Option_Box("Display Alternate Data Streams", Selection_Option::STREAMS);
        Add_Account_Page();
    }
    The_Controls.Display_Hidden = Option_Box("Display Hidden Files", Selection_Option::HIDDEN);
    The_Controls.Display_System = Option_Box("Display System Files", Selection_Option::SYSTEM);
    The_Controls.Count_On_Disk = Option_Box("Count size on disk", Selection_Option::ON_DISK);
    The_Controls.Name_Filter = Gui::Create_Checked(The_Controls.Selection_Page, "Display only names matching", "",
                                                   No_Action, false, Names_Box_Size);
    Gui::Set(The_Controls.Name_Filter, Wide_Text::From_Utf8(Registry::Value_Of(Setting::Name_Patterns, "")));
    if (Selection_In_Force().Options[Selection_Option::NAMES]) Gui::Set(The_Controls.Name_Filter);
}

}  // namespace

const std::string& Application_Name() { return The_Application_Name; }
const std::string& Version() { return The_Version; }

bool Is_Windows_Nt() { return Is_Nt; }
void Pretend_Windows_Nt(bool is_nt) { Is_Nt = is_nt; }

const Window_Controls& Controls() { return The_Controls; }

void Start_Gui() {
    Gui::Initialise();
    Gui::Registered::Initialise();
}

void Start_Application(const std::string& the_name) {
    Read_Version_Information();
    if (!the_name.empty()) The_Application_Name = the_name;
    Put_In_Force({});
    The_Controls = {};
    Is_Nt = Windows::Is_Nt();
    Start_Searcher();
    Start_Map();
    Log::Open(The_Application_Name);
    Log::Write(The_Application_Name + " " + The_Version + " started on " + Windows::System_Image());
}

void Start_Without_Window() {
    Start_Platform();
    Read_Version_Information();
    Is_Nt = Windows::Is_Nt();
    Registry::Define(Registry::Company::Vornhale, The_Application_Name);
    Log::Open(The_Application_Name);
    Log::Write(The_Application_Name + " " + The_Version + " started without a window on " +
               Windows::System_Image());
}

void Start_Packages() {
    Start_Platform();
    Start_Gui();
    Start_Application();
}

void Create_User_Interface() {
    Gui::Registered::Create(Registry::Company::Vornhale, The_Application_Name, The_Version,
                            Termination, 0, 0, CW_USEDEFAULT, CW_USEDEFAULT, "MainIcon", false);
    Gui::Set_Status_Line(The_Application_Name + " from Vornhale - www.vornhale.com");
    Get_Options_From_Registery();
    Add_Display_Page();
    Add_Map_Page();
    Add_Types_Page();
    Add_Selection_Page();
    Add_Types_List();
    if (!Windows::Is_Nt() && !Windows::Is_Win98()) {
        Gui::Message_Box("This program only executes under Windows NT/2000/Xp or Win98/Me", true);
        Gui::Close();
    }
    // A close asked for meanwhile is served from now on, with every control there to save.
    Gui::Start_Up_Complete();
}

void Termination() {
    Save_Options_To_Registery();
    End_Searcher();
}

void Shut_Down(bool after_failed_start) {
    // After a failed start the window, if it came up, is closed the usual way.
    if (after_failed_start) Gui::Close();
    Gui::Wait_For_End();
    // Without a window the termination handler never ran: the searcher is told here.
    End_Searcher();
    Join_Searcher();
    End_Map();
    Log::Write(The_Application_Name + " ended");
}

}  // namespace Work
