// The main window: its class, creation and end on the display thread, the message loop and
// window procedure, the running of other threads' work on the display thread, pages and tabs,
// the status line, message boxes, and start-up and shut-down of the framework.
#include <algorithm>

#include "gui-internal.hpp"
#include "log.hpp"
#include "wide_text.hpp"

namespace Gui {

COLORREF Black, Gray, Brown, Red, Olive, Orange, Yellow, Green, Cyan, Blue, Magenta;

}  // namespace Gui

namespace Gui::Internal {

namespace {

std::unique_ptr<Framework> the_framework;

}  // namespace

Framework& State() {
    if (!the_framework) throw Program_Error("the GUI framework is not initialised");
    return *the_framework;
}

bool Is_Initialised() { return the_framework != nullptr; }

// ---- Work run on the display thread ----

LRESULT Run_On_Display(const Display_Job& the_job) {
    HWND window = State().Private_Window;
    if (!window) return 0;
    return Send_Message_Wide(window, Run_Message, Owned_By_Sender, reinterpret_cast<LPARAM>(&the_job));
}

void Run_On_Display_Later(Display_Job the_job, Delivery the_delivery) {
    HWND window = State().Private_Window;
    if (!window) return;
    auto job = std::make_unique<Display_Job>(std::move(the_job));
    auto l_param = reinterpret_cast<LPARAM>(job.get());
    BOOL is_handed_over = the_delivery == Delivery::Posted
                              ? PostMessageW(window, Run_Message, Owned_By_Display, l_param)
                              : SendNotifyMessageW(window, Run_Message, Owned_By_Display, l_param);
    if (is_handed_over) job.release();
}

LRESULT Run_Display_Job(WPARAM w_param, LPARAM l_param) {
    if (w_param == Owned_By_Display) {
        const std::unique_ptr<Display_Job> job(reinterpret_cast<Display_Job*>(l_param));
        return (*job)();
    }
    return (*reinterpret_cast<const Display_Job*>(l_param))();
}

namespace {

// ---- Windows of the main window ----

void Register_Class(const std::string& class_name, WNDPROC the_callback, HICON the_icon) {
    Framework& state = State();
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = the_callback;
    window_class.hInstance = state.Our_Instance;
    window_class.hIcon = the_icon;
    window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_SCROLLBAR + 1);
    window_class.lpszClassName = class_name.c_str();
    RegisterClassA(&window_class);
}

void Unregister_Class(const std::string& class_name) {
    UnregisterClassA(class_name.c_str(), State().Our_Instance);
}

void Create_Window(const Start_Parameters& the_parameters) {
    Framework& state = State();
    HWND window = CreateWindowExA(
        the_parameters.Always_Topmost ? WS_EX_TOPMOST : 0, state.The_Application_Class_Name.c_str(),
        state.The_Application_Name.c_str(), WS_OVERLAPPEDWINDOW, the_parameters.X, the_parameters.Y,
        the_parameters.Width, the_parameters.Height, nullptr, state.The_Menu_Bar, state.Our_Instance,
        nullptr);
    state.Private_Window = window;
}

HWND Create_Status_Line(HWND the_parent) {
    return CreateWindowExW(0, L"msctls_statusbar32", L"", 0x50800010, 0, 0, 0, 0, the_parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id_Status_Bar)),
                           State().Our_Instance, nullptr);
}

HWND Create_Tabs(HWND the_parent) {
    return CreateWindowExW(0, L"SysTabControl32", L"", 0x44000000, 0, 0, 0, 0, the_parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id_Tabs)),
                           State().Our_Instance, nullptr);
}

void Start_Main_Window() {
    Framework& state = State();
    const Start_Parameters& parameters = state.Start_Data;
    state.The_Application_Name = parameters.Name;
    HICON icon = parameters.Icon_Name.empty()
                     ? nullptr
                     : LoadIconA(state.Our_Instance, parameters.Icon_Name.c_str());
    state.The_Application_Class_Name = parameters.Name;
    Register_Class(state.The_Application_Class_Name, Mainwindowproc, icon);
    Create_Window(parameters);
    // Within the start meeting, so that Create fails with the reason.
    if (!state.Private_Window) throw Main_Window_Creation_Failure();
}

void Create_Status_Line_And_Tabs() {
    Framework& state = State();
    state.The_Status_Line = Create_Status_Line(state.Private_Window);
    if (!state.The_Status_Line) throw Status_Line_Creation_Failure();
    state.The_Tabs = Create_Tabs(state.Private_Window);
    if (!state.The_Tabs) throw Tab_Creation_Failure();
}

void Dispatch() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) == 1) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void Release_Main_Window() {
    Framework& state = State();
    state.Is_Active = false;
    if (state.Private_Window) DestroyWindow(state.Private_Window);
    state.Private_Window = nullptr;
    state.The_Status_Line = nullptr;
    Unregister_Class(state.The_Application_Class_Name);
    state.Rich_Edit_Dll.reset();
}

void Run_Display() {
    Framework& state = State();
    try {
        state.Start.Accept(Start_Main_Window);
        Create_Status_Line_And_Tabs();
    } catch (const std::exception& error) {
        state.Ready.Abandon(Information_Of(error));
        Release_Main_Window();
        return;
    }
    state.Ready.Accept([] {});
    ShowWindow(state.Private_Window, SW_SHOW);
    UpdateWindow(state.Private_Window);
    Dispatch();
    Release_Main_Window();
}

void Note_Private_Window_Metrics(HWND the_window) {
    Framework& state = State();
    RECT rectangle{};
    if (!GetWindowRect(the_window, &rectangle)) return;
    std::lock_guard lock(state.Rectangle_Guard);
    state.The_Private_Window_Rectangle = rectangle;
}

// ---- Pages and commands ----

void Show_Page(Page the_page, int the_command) {
    if (!the_page) return;
    for (Child_Information* child = the_page->First_Child; child; child = child->Next_Sibling) {
        ShowWindow(child->The_Handle, the_command);
    }
}

void Make_Visible(Page the_page) { Show_Page(the_page, SW_SHOW); }
void Make_Invisible(Page the_page) { Show_Page(the_page, SW_HIDE); }

void Add_Page_On_Display(std::unique_ptr<Page_Information>& the_holder) {
    Framework& state = State();
    Page page = the_holder.get();
    state.Pages.push_back(std::move(the_holder));
    ++state.Nr_Of_Pages;
    if (state.Nr_Of_Pages == 1) state.Current_Page = page;
    std::string title = page->The_Title;
    TCITEMA item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = title.data();
    item.lParam = reinterpret_cast<LPARAM>(page);
    Send_Message(state.The_Tabs, TCM_INSERTITEMA, state.Nr_Of_Pages, reinterpret_cast<LPARAM>(&item));
    if (state.Nr_Of_Pages <= 2) Redraw_Main_Window();
}

void Page_Change() {
    Framework& state = State();
    if (!state.Is_Active) return;
    LRESULT index = Send_Message(state.The_Tabs, TCM_GETCURSEL, 0, 0);
    if (index < 0) return;
    TCITEMA item{};
    item.mask = TCIF_PARAM;
    if (!Send_Message(state.The_Tabs, TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&item))) return;
    Page page = reinterpret_cast<Page>(item.lParam);
    if (!page) return;
    Make_Invisible(state.Current_Page);
    state.Current_Page = page;
    Make_Visible(page);
    Redraw_Main_Window();
    if (page->The_Action) Execute(page->The_Action);
}

Child_Information* Child_With_Id(int the_id) {
    Page page = State().Current_Page;
    if (!page) return nullptr;
    for (Child_Information* child = page->First_Child; child; child = child->Next_Sibling) {
        if (child->The_Window_Id == the_id) return child;
    }
    return nullptr;
}

bool Calls_For_Routine(const Child_Information& the_child, int the_notification) {
    switch (the_child.The_Kind) {
    case Combo_Box_Kind: return the_notification == CBN_SELCHANGE || the_notification == CBN_KILLFOCUS;
    case Edit_Box_Kind: return the_notification == EN_KILLFOCUS;
    default: return true;
    }
}

void Process_Message_From_Child(WPARAM w_param) {
    int id = LOWORD(w_param);
    int notification = HIWORD(w_param);
    if (id >= First_Menu_Id) return;  // the menu bar holds no items
    Child_Information* child = Child_With_Id(id);
    if (!child) return;
    State().Active_Child = child;
    if (!child->The_Action_Routine && !child->Qualified_Action_Routine) return;
    if (!Calls_For_Routine(*child, notification)) return;
    if (child->Qualified_Action_Routine) {
        Execute(child->Qualified_Action_Routine, child->User_Information);
    } else {
        Execute(child->The_Action_Routine);
    }
}

LRESULT Process_Notification_From_Child(LPARAM l_param) {
    auto header = reinterpret_cast<NMHDR*>(l_param);
    if (!header) return 0;
    if (header->idFrom == Id_Tabs) {
        if (header->code == static_cast<UINT>(TCN_SELCHANGE)) Page_Change();
        return 0;
    }
    Child_Information* child = Child_With_Id(static_cast<int>(header->idFrom));
    if (!child) return 0;
    State().Active_Child = child;
    if (child->The_Kind == List_View_Kind) return List_View_Notification(*child, *header);
    if (child->The_Kind == Tree_View_Kind) return Tree_View_Notification(*child, *header);
    return 0;
}

LRESULT Handle_Message(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    Framework& state = State();
    switch (message) {
    case WM_NOTIFY: return Process_Notification_From_Child(l_param);
    case Run_Message: return Run_Display_Job(w_param, l_param);
    case WM_MOVE: Note_Private_Window_Metrics(window); return 0;
    case WM_SIZE:
        Note_Private_Window_Metrics(window);
        Redraw_Main_Window();
        Lay_Out_Status_Note();
        return 0;
    case WM_COMMAND:
        Process_Message_From_Child(w_param);
        return DefWindowProcA(window, message, w_param, l_param);
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case Callback_Message:
        if (Action_Routine routine = state.The_Callback_Routine) Execute(routine);
        return 0;
    case WM_CLOSE: state.Close_Requested.Offer(Close_Request::Close); return 0;
    case Destroy_Message:
        state.Is_Active = false;
        return DefWindowProcA(window, WM_CLOSE, 0, 0);
    default: return DefWindowProcA(window, message, w_param, l_param);
    }
}

}  // namespace

// A failure while a message is handled is shown, the message answered with 0.
LRESULT CALLBACK Mainwindowproc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    LRESULT result = 0;
    Run_Reporting([&] { result = Handle_Message(window, message, w_param, l_param); });
    return result;
}

}  // namespace Gui::Internal

namespace Gui {

using namespace Internal;

// ---- Start-up, main window and shut-down ----

void Initialise() {
    if (the_framework) return;
    the_framework = std::make_unique<Framework>();
    Framework& state = *the_framework;
    state.Our_Instance = GetModuleHandleA(nullptr);
    state.The_Menu_Bar = CreateMenu();
    Black = RGB(0, 0, 0);
    Gray = RGB(128, 128, 128);
    Brown = RGB(128, 64, 64);
    Red = RGB(192, 0, 0);
    Olive = RGB(128, 128, 0);
    Orange = RGB(255, 128, 0);
    Yellow = RGB(192, 192, 0);
    Green = RGB(0, 192, 0);
    Cyan = RGB(0, 192, 192);
    Blue = RGB(0, 0, 192);
    Magenta = RGB(192, 0, 192);
    InitCommonControls();
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                 ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                                     ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    Register_Picture_Class();
    state.Termination_Handler = std::thread(Run_Termination_Handler);
}

void Create(const std::string& application_name, Action_Routine termination_routine, int window_width,
            int window_height, int window_x_position, int window_y_position, const std::string& icon_name,
            bool always_topmost) {
    Framework& state = State();
    if (state.Was_Created) throw Sequence_Error("the GUI is created once");
    state.Was_Created = true;
    state.The_Termination_Routine = termination_routine;
    state.Start_Data = {application_name,
                        window_width == 0 ? CW_USEDEFAULT : window_width,
                        window_height == 0 ? CW_USEDEFAULT : window_height,
                        window_x_position,
                        window_y_position,
                        icon_name,
                        always_topmost};
    state.The_Action_Handler = std::thread(Run_Action_Handler);
    state.Main_Display = std::thread(Run_Display);
    state.Is_Active = true;
    state.Start.Call();
    state.Ready.Call();
}

void Wait_For_End() {
    if (!Is_Initialised()) return;
    Start_Up_Complete();
    Framework& state = State();
    if (state.Main_Display.joinable()) state.Main_Display.join();
    End_Sorts();
    // Without a window no close will come: release the termination thread.
    state.Close_Requested.Offer(Close_Request::Abandon);
    if (state.Termination_Handler.joinable()) state.Termination_Handler.join();
    if (state.The_Action_Handler.joinable()) state.The_Action_Handler.join();
}

void Close() {
    if (!Is_Initialised()) return;
    Start_Up_Complete();
    if (HWND window = State().Private_Window) Send_Message(window, WM_CLOSE, 0, 0);
}

void Get_Window_Metrics(int& x_position, int& y_position, int& window_width, int& window_height) {
    Framework& state = State();
    std::lock_guard lock(state.Rectangle_Guard);
    const RECT& rectangle = state.The_Private_Window_Rectangle;
    x_position = rectangle.left;
    y_position = rectangle.top;
    window_width = rectangle.right - rectangle.left;
    window_height = rectangle.bottom - rectangle.top;
}

bool Application_Is_Minimized() { return Is_Initialised() && IsIconic(State().Private_Window); }
bool Application_Is_Maximized() { return Is_Initialised() && IsZoomed(State().Private_Window); }
HWND Main_Window() { return Is_Initialised() ? State().Private_Window.load() : nullptr; }

void Message_Box(const std::string& the_message, bool is_exclamation) {
    if (!Is_Initialised()) return;
    // What the user was told stays in the log for whoever looks back at the run.
    Log::Write("Message: " + the_message);
    Framework& state = State();
    if (Message_Reporter reporter = state.The_Reporter) {
        reporter(the_message, is_exclamation);
        return;
    }
    MessageBoxA(state.Private_Window, the_message.c_str(), state.The_Application_Name.c_str(),
                MB_OK | (is_exclamation ? MB_ICONHAND : MB_ICONINFORMATION));
}

void Set_Message_Reporter(Message_Reporter the_reporter) { State().The_Reporter = the_reporter; }

// ---- Pages and status line ----

Page Add_Page(const std::string& the_title, Page_Style the_style, Action_Routine the_action) {
    HWND window = Main_Window();
    if (!window) return nullptr;
    auto page = std::make_unique<Page_Information>();
    Page result = page.get();
    page->The_Title = the_title;
    page->The_Style = the_style;
    page->The_Action = the_action;
    Run_On_Display([&] {
        Add_Page_On_Display(page);
        return LRESULT{0};
    });
    return page ? nullptr : result;  // still held here: the display thread never took it
}

void Set_Keyboard_Focus(Page the_page, const Child& the_control) {
    if (the_page) the_page->Keyboard_Focus = the_control.Information();
}

void Set_Status_Line(const std::string& the_text) { Set_Status_Line(Wide_Text::Widened(the_text)); }

void Set_Status_Line(const std::wstring& the_text) {
    if (!Is_Initialised() || !State().The_Status_Line || !Main_Window()) return;
    // Not waited for, since the display thread may be painting; still it is taken before
    // any later request from this thread, a reading of the line included.
    Run_On_Display_Later(
        [the_text] {
            if (HWND status_line = State().The_Status_Line)
                Send_Message_Wide(status_line, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(the_text.c_str()));
            return LRESULT{0};
        },
        Delivery::Sent_Unwaited);
}

}  // namespace Gui
