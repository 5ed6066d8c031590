#include "gui.hpp"

#include <richedit.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "semaphore.hpp"
#include "wide_text.hpp"
#include "windows.hpp"

namespace Gui {

COLORREF Black, Gray, Brown, Red, Olive, Orange, Yellow, Green, Cyan, Blue, Magenta;

namespace {

enum Kind : std::uint8_t {
    Button_Kind,
    Progress_Bar_Kind,
    Track_Bar_Kind,
    Edit_Box_Kind,
    Check_Box_Kind,
    Combo_Box_Kind,
    Label_Kind,
    List_View_Kind,
    Tree_View_Kind,
    Rich_Edit_Kind
};
constexpr int Number_Of_Kinds = 10;
constexpr std::array<int, Number_Of_Kinds> Display_Priority = {10, 20, 30, 40, 50, 40, 60, 70, 70, 70};

constexpr int Id_Status_Bar = 50;
constexpr int Id_Tabs = 51;
constexpr int First_Menu_Id = 1000;

constexpr UINT Create_Child_Message = 0x853;
constexpr UINT Callback_Message = 0x854;
constexpr UINT Destroy_Message = 0x855;
// Further private messages: work that must run on the display thread.
constexpr UINT Add_Page_Message = 0x856;
constexpr UINT Update_Row_Count_Message = 0x857;
constexpr UINT Sort_Message = 0x858;
constexpr UINT Sorted_Message = 0x859;
constexpr UINT Status_Text_Message = 0x85A;  // its text is the display thread's to free

constexpr int Vertical_Raster = 30;
constexpr int Third_Raster = 10;
constexpr int Text_Buffer_Size = 250;
constexpr int Minimum_Control_Width = 100;

// The rows of a list view in display order. The display thread reads them while painting;
// any thread may append, so every access holds the guard.
struct Row_Storage {
    std::mutex Guard;
    std::vector<void*> Information;
    bool Count_Update_Is_Posted = false;
};

struct Sort_Order {
    int Column = 0;
    Direction Way = Direction::Ascending;
};

// Sorts a copy of a list view's rows on a thread of its own, so that the display thread
// keeps painting and answering with the old order; the sorted copy replaces the rows when it
// is complete. A later request replaces a running one. Any change other than an append stops
// the worker first: the rows' owner frees their records right after removing them.
class Row_Sorter {
public:
    Row_Sorter() = default;
    Row_Sorter(const Row_Sorter&) = delete;
    Row_Sorter& operator=(const Row_Sorter&) = delete;
    ~Row_Sorter() { End(); }

    // Returns the request's ticket for Wait_For; 0 once ended.
    std::uint64_t Start(Child_Information& the_view, Sort_Order the_order);
    // Runs the change while no worker reads the rows. When the change answers true, a sort
    // left unfinished starts again on the changed rows; otherwise it counts as done.
    void Change_Rows(Child_Information& the_view, const std::function<bool()>& the_change);
    void Wait_For(std::uint64_t the_ticket);
    bool Is_Busy();
    std::exception_ptr Take_Failure();
    void End();  // for good; releases every waiter

private:
    void Halt();
    void Launch(Child_Information& the_view);
    void Run(Child_Information& the_view, Sort_Order the_order, std::uint64_t the_ticket,
             HWND notified_window);
    void Finish(std::uint64_t the_ticket, std::exception_ptr the_failure);

    std::mutex control_;  // held by the one thread that starts, changes or ends
    std::thread worker_;
    std::atomic<bool> is_cancelled_{false};
    std::mutex state_guard_;
    std::condition_variable finished_changed_;
    Sort_Order order_;
    std::uint64_t requested_ = 0;
    std::uint64_t finished_ = 0;
    bool is_ended_ = false;
    std::exception_ptr failure_;
};

}  // namespace

struct Child_Information {
    HWND The_Handle = nullptr;
    Kind The_Kind = Button_Kind;
    Page Parent_Page = nullptr;
    std::wstring Initial_Title;
    int The_Title_Size = 0;
    int The_Window_Id = 0;
    Child_Information* Next_Sibling = nullptr;
    Child_Information* Buddy_Child = nullptr;
    bool Is_Buddy = false;
    bool Action_Is_Wide = false;
    Action_Routine The_Action_Routine = nullptr;
    Click_Routine Qualified_Action_Routine = nullptr;
    void* User_Information = nullptr;
    Text_Handler The_Text_Handler = nullptr;
    Wide_Text_Handler The_Wide_Text_Handler = nullptr;
    Color_Handler The_Color_Routine = nullptr;
    int Number_Of_Columns = 0;
    Sort_Routine The_Sort_Routine = nullptr;
    int The_Sort_Column = 0;
    Direction The_Sort_Direction = Direction::Ascending;
    Click_Routine The_Click_Routine = nullptr;
    Semaphore::Binary For_Completion;
    bool Is_Password = false;
    bool Use_Proportional_Font = true;
    Combo_Style The_Style;
    bool Word_Wrapping = true;
    Row_Storage Rows;
    Row_Sorter Sorter;  // after the rows: it ends before they go
    std::wstring Cell_Text;  // the last cell text handed to the control
};

struct Page_Information {
    HWND The_Handle = nullptr;
    int Nr_Of_Children = 0;
    int Nr_Of_Buddies = 0;
    std::array<int, Number_Of_Kinds> Population{};
    Child_Information* First_Child = nullptr;
    int Total_Button_Width = 0;
    int Last_Button_Width = 0;
    Page Parent = nullptr;
    Page_Style The_Style;
    bool Has_Cancel_Button = false;
    Action_Routine Termination_Routine = nullptr;
    Child_Information* Keyboard_Focus = nullptr;
    Action_Routine The_Action = nullptr;
    std::string The_Title;
    std::vector<std::unique_ptr<Child_Information>> Children;  // owns them, creation order
};

namespace {

// ---- Hand-offs between the framework's threads ----

// A meeting of two threads: the caller waits until the acceptor has run the meeting's body.
// An acceptor that ends without accepting abandons it; its callers get a tasking failure.
class Rendezvous {
public:
    void Call() {
        std::unique_lock lock(mutex_);
        if (is_abandoned_) throw Tasking_Error(reason_);
        is_called_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return is_done_ || is_abandoned_; });
        if (!is_done_) throw Tasking_Error(reason_);
    }

    template <typename Body>
    void Accept(Body body) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return is_called_; });
        }
        body();
        std::lock_guard lock(mutex_);
        is_done_ = true;
        changed_.notify_all();
    }

    void Abandon(const std::string& reason) {
        std::lock_guard lock(mutex_);
        is_abandoned_ = true;
        reason_ = reason;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool is_called_ = false;
    bool is_done_ = false;
    bool is_abandoned_ = false;
    std::string reason_;
};

// The termination thread's first hand-off. It is taken once; a later close request finds it
// taken and is ignored, so a second WM_CLOSE never blocks the display thread.
class Close_Request {
public:
    enum Reason { None, Close, Abandon };

    void Offer(Reason the_reason) {
        std::lock_guard lock(mutex_);
        if (reason_ != None) return;
        reason_ = the_reason;
        changed_.notify_all();
    }

    Reason Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return reason_ != None; });
        return reason_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    Reason reason_ = None;
};

// ---- The one-slot action queue ----

struct Request {
    Action_Routine Action = nullptr;
    Click_Routine Click = nullptr;
    void* Information = nullptr;
};

class Action_Queue {
public:
    void Put(Action_Routine the_routine) { Store({the_routine, nullptr, nullptr}); }
    void Put(Click_Routine the_routine, void* the_information) {
        Store({nullptr, the_routine, the_information});
    }

    Request Get() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return is_pending_; });
        is_pending_ = false;
        return next_;
    }

    // Once finishing, the queue accepts nothing more: the finish request cannot be
    // overwritten by a request arriving between a routine's end and the next Get.
    void Finish() {
        std::lock_guard lock(mutex_);
        next_ = {};
        is_pending_ = true;
        is_enabled_ = false;
        is_finishing_ = true;
        changed_.notify_all();
    }

    void Enable() {
        std::lock_guard lock(mutex_);
        if (!is_finishing_) is_enabled_ = true;
    }

private:
    void Store(const Request& the_request) {
        std::lock_guard lock(mutex_);
        if (!is_enabled_) return;
        next_ = the_request;
        is_pending_ = true;
        is_enabled_ = false;
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    Request next_;
    bool is_enabled_ = true;
    bool is_pending_ = false;
    bool is_finishing_ = false;
};

using Library_Handle = Windows::Unique<HMODULE, FreeLibrary>;

struct Start_Parameters {
    std::string Name;
    int Width = 0;
    int Height = 0;
    int X = 0;
    int Y = 0;
    std::string Icon_Name;
    bool Always_Topmost = false;
};

struct Framework {
    std::atomic<HWND> Private_Window{nullptr};
    HWND The_Tabs = nullptr;
    std::atomic<HWND> The_Status_Line{nullptr};
    std::atomic<int> The_Next_Child_Id{100};
    HMENU The_Menu_Bar = nullptr;
    Page Current_Page = nullptr;
    int Nr_Of_Pages = 0;
    Child_Information* Active_Child = nullptr;
    std::atomic<bool> Is_Active{false};
    std::mutex Rectangle_Guard;
    RECT The_Private_Window_Rectangle{};
    std::string The_Application_Name;
    std::string The_Application_Class_Name;
    Action_Routine The_Termination_Routine = nullptr;
    std::atomic<Action_Routine> The_Callback_Routine{nullptr};
    std::atomic<Message_Reporter> The_Reporter{nullptr};
    Library_Handle Rich_Edit_Dll;
    const wchar_t* Rich_Edit_Class = L"RichEdit20W";
    HINSTANCE Our_Instance = nullptr;
    std::vector<std::unique_ptr<Page_Information>> Pages;

    Action_Queue Action;
    Start_Parameters Start_Data;
    Rendezvous Start;
    Rendezvous Ready;
    Close_Request Close_Requested;
    Rendezvous Handler_Stopped;
    bool Was_Created = false;
    std::thread The_Action_Handler;
    std::thread Main_Display;
    std::thread Termination_Handler;

    ~Framework() {
        if (Is_Active && Private_Window) Close();
        Wait_For_End();
    }
};

std::unique_ptr<Framework> the_framework;

Framework& State() {
    if (!the_framework) throw Program_Error("the GUI framework is not initialised");
    return *the_framework;
}

bool Is_Initialised() { return the_framework != nullptr; }

LRESULT Send_Message(HWND the_window, UINT the_message, WPARAM w_param, LPARAM l_param) {
    return SendMessageA(the_window, the_message, w_param, l_param);
}

LRESULT Send_Message_Wide(HWND the_window, UINT the_message, WPARAM w_param, LPARAM l_param) {
    return SendMessageW(the_window, the_message, w_param, l_param);
}

LPARAM Make_Long(int low_half, int high_half) {
    return static_cast<LPARAM>(MAKELONG(low_half, high_half));
}

using Wide_Text::Widened;

void Report(const std::exception& the_error) { Message_Box(Information_Of(the_error), true); }

template <typename Work>
void Run_Reporting(Work the_work) {
    try {
        the_work();
    } catch (const std::exception& error) {
        Report(error);
    } catch (...) {
        Message_Box("UNKNOWN FAILURE", true);
    }
}

HWND Handle_Of(const Child& the_control) {
    return the_control.Is_Null() ? nullptr : the_control.Information()->The_Handle;
}

int Zero_Based(int the_ordinal) {
    if (the_ordinal < 1) throw Constraint_Error("ordinal below 1");
    return the_ordinal - 1;
}

// ---- Action handler and termination threads ----

void Run_Action_Handler() {
    Framework& state = State();
    for (;;) {
        Request request = state.Action.Get();
        if (request.Click) {
            Run_Reporting([&] { request.Click(request.Information); });
        } else if (request.Action) {
            Run_Reporting(request.Action);
        } else {
            state.Handler_Stopped.Accept([] {});
            return;
        }
        // A failed routine is reported and the handler goes on serving, so that a later
        // close still finds it to take the finish request.
        state.Action.Enable();
    }
}

void Run_Termination_Handler() {
    Framework& state = State();
    Close_Request::Reason reason = state.Close_Requested.Wait();
    Run_Reporting([&] {
        state.Action.Finish();
        if (state.Was_Created) state.Handler_Stopped.Call();
        if (reason == Close_Request::Close && state.The_Termination_Routine) {
            state.The_Termination_Routine();
        }
    });
    if (reason == Close_Request::Close) Send_Message(state.Private_Window, Destroy_Message, 0, 0);
}

// ---- Windows of the main window ----

LRESULT CALLBACK Mainwindowproc(HWND, UINT, WPARAM, LPARAM);

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
}

void Create_Status_Line_And_Tabs() {
    Framework& state = State();
    if (!state.Private_Window) throw Main_Window_Creation_Failure();
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

// ---- Layout ----

// One DeferWindowPos batch, committed when it goes.
class Deferred_Positions {
public:
    explicit Deferred_Positions(int the_count) : batch_(BeginDeferWindowPos(the_count)) {}
    Deferred_Positions(const Deferred_Positions&) = delete;
    Deferred_Positions& operator=(const Deferred_Positions&) = delete;
    ~Deferred_Positions() {
        if (batch_) EndDeferWindowPos(batch_);
    }
    void Move(HWND the_window, HWND insert_after, int x, int y, int width, int height, UINT flags) {
        if (batch_ && the_window) {
            batch_ = DeferWindowPos(batch_, the_window, insert_after, x, y, std::max(width, 0),
                                    std::max(height, 0), flags);
        }
    }

private:
    HDWP batch_;
};

// Releases a window's device context when it goes.
class Window_Context {
public:
    explicit Window_Context(HWND the_window) : window_(the_window), context_(GetDC(the_window)) {}
    Window_Context(const Window_Context&) = delete;
    Window_Context& operator=(const Window_Context&) = delete;
    ~Window_Context() { ReleaseDC(window_, context_); }
    int Width_Of(const std::wstring& the_text) const {
        SIZE size{};
        GetTextExtentPoint32W(context_, the_text.c_str(), static_cast<int>(the_text.size()), &size);
        return size.cx;
    }
    int Height_Of_Text() const {
        SIZE size{};
        GetTextExtentPoint32A(context_, "X", 1, &size);
        return size.cy;
    }

private:
    HWND window_;
    HDC context_;
};

class Page_Layout {
public:
    Page_Layout(const Page_Information& the_page, const RECT& the_area, const Window_Context& context,
                Deferred_Positions& batch)
        : page_(the_page), area_(the_area), context_(context), batch_(batch), y_(the_area.top),
          box_height_(context.Height_Of_Text() + 8) {
        button_height_ = Button_Height();
    }

    void Place_All() {
        for (Child_Information* child = page_.First_Child; child; child = child->Next_Sibling) {
            if (child->Is_Buddy) continue;
            switch (child->The_Kind) {
            case Button_Kind: Place_Button(*child); break;
            case List_View_Kind:
            case Tree_View_Kind:
            case Rich_Edit_Kind: Place_Large(*child); break;
            default: Place_In_Row(*child); break;
            }
        }
    }

private:
    int Width() const { return area_.right - area_.left; }
    int Count(Kind the_kind) const { return page_.Population[the_kind]; }
    int Large_Controls() const {
        return Count(List_View_Kind) + Count(Tree_View_Kind) + Count(Rich_Edit_Kind);
    }

    int Button_Height() const {
        if (Count(Button_Kind) == 0) return 0;
        int height = std::max(box_height_, Vertical_Raster);
        if (!page_.The_Style.Buttons_Fill_Page) return height;
        // The buttons share the height left by the rows with the large controls.
        int rows = Count(Progress_Bar_Kind) + Count(Track_Bar_Kind) + Count(Edit_Box_Kind) +
                   Count(Check_Box_Kind) + Count(Combo_Box_Kind);
        int left = (area_.bottom - area_.top) - rows * Vertical_Raster;
        return std::max(height, left / (Large_Controls() + 1));
    }

    void Move(const Child_Information& the_child, int x, int y, int width, int height) {
        // A control's old pixels would otherwise be copied to its new place and kept as
        // valid: a list header showed whatever had been drawn there before.
        batch_.Move(the_child.The_Handle, HWND_TOP, x, y, width, height, SWP_SHOWWINDOW | SWP_NOCOPYBITS);
    }

    void Place_Button(const Child_Information& the_button) {
        ++buttons_placed_;
        int count = Count(Button_Kind);
        bool is_last = buttons_placed_ == count;
        int width = page_.The_Style.Equal_Buttons ? Width() / count : the_button.The_Title_Size;
        int last_width = page_.The_Style.Equal_Buttons ? Width() / count : page_.Last_Button_Width;
        int height = y_ + button_height_ > area_.bottom ? 0 : button_height_;
        if (is_last) {
            Move(the_button, area_.right - width, y_, width, height);
            y_ += button_height_;
            return;
        }
        if (button_x_ + width > area_.right - last_width) width = 0;
        Move(the_button, area_.left + button_x_, y_, width, height);
        button_x_ += width;
    }

    int Buddy_Width(const Child_Information& the_buddy) const {
        if (the_buddy.The_Title_Size >= 0) return the_buddy.The_Title_Size;
        int width = context_.Width_Of(the_buddy.Initial_Title) + 3;
        return the_buddy.The_Kind == Check_Box_Kind ? width + 20 : width;
    }

    void Place_In_Row(const Child_Information& the_child) {
        int row_top = y_;
        y_ += Vertical_Raster;
        bool fits = row_top + Vertical_Raster <= area_.bottom;
        int top = row_top;
        int height = box_height_;
        if (box_height_ < Vertical_Raster) top += (Vertical_Raster - box_height_) / 2;
        if (the_child.The_Kind == Progress_Bar_Kind) {
            top = row_top + Third_Raster;
            height = Third_Raster;
        } else if (the_child.The_Kind == Track_Bar_Kind) {
            top = row_top;
            height = Vertical_Raster;
        }
        int x = area_.left;
        if (const Child_Information* buddy = the_child.Buddy_Child) {
            int buddy_width = std::min(Buddy_Width(*buddy), Width());
            Move(*buddy, x, top, buddy_width, fits ? box_height_ : 0);
            x += buddy_width;
        }
        int room = area_.right - x;
        int width = the_child.The_Title_Size > 0 && the_child.The_Title_Size < room
                        ? the_child.The_Title_Size
                        : room;
        if (room < Minimum_Control_Width) width = 0;
        if (the_child.The_Kind == Combo_Box_Kind) {
            width -= 6;
            height = 200;  // the drop-down list
        } else if (the_child.The_Kind == Check_Box_Kind) {
            width -= 2;
        }
        Move(the_child, x, top, width, fits ? height : 0);
    }

    void Place_Large(const Child_Information& the_child) {
        if (large_share_ < 0) large_share_ = std::max(0L, area_.bottom - y_) / Large_Controls();
        Move(the_child, area_.left, y_, Width(), large_share_);
        y_ += large_share_;
    }

    const Page_Information& page_;
    RECT area_;
    const Window_Context& context_;
    Deferred_Positions& batch_;
    int y_;
    int box_height_;
    int button_height_ = 0;
    int buttons_placed_ = 0;
    int button_x_ = 0;
    int large_share_ = -1;
};

void Redraw_Main_Window() {
    Framework& state = State();
    HWND window = state.Private_Window;
    HWND status_line = state.The_Status_Line;
    if (!state.Is_Active || !window || !status_line) return;
    RECT status{};
    GetWindowRect(status_line, &status);
    int status_height = status.bottom - status.top;
    RECT client{};
    GetClientRect(window, &client);
    int client_height = client.bottom;
    client.bottom = std::max(client.top, client.bottom - status_height);
    Page page = state.Current_Page;
    Deferred_Positions batch(page ? page->Nr_Of_Children + 2 : 1);
    if (page) {
        RECT area = client;
        if (state.Nr_Of_Pages >= 2) {
            Send_Message(state.The_Tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
            batch.Move(state.The_Tabs, nullptr, 0, 0, client.right, client.bottom,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_SHOWWINDOW);
        }
        Window_Context context(window);
        Page_Layout(*page, area, context, batch).Place_All();
        if (page->Keyboard_Focus) SetFocus(page->Keyboard_Focus->The_Handle);
    }
    batch.Move(status_line, nullptr, 0, client_height - status_height, client.right, status_height,
               SWP_NOZORDER);
}

// ---- Pages and children (display thread) ----

DWORD Style_Of(const Child_Information& the_child) {
    switch (the_child.The_Kind) {
    case Button_Kind: return WS_TABSTOP | BS_PUSHBUTTON;
    case Progress_Bar_Kind: return PBS_SMOOTH;
    case Track_Bar_Kind: return WS_TABSTOP | TBS_HORZ | TBS_AUTOTICKS;
    case Edit_Box_Kind:
        return WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | (the_child.Is_Password ? ES_PASSWORD : 0);
    case Check_Box_Kind: return WS_TABSTOP | BS_AUTOCHECKBOX;
    case Combo_Box_Kind:
        return WS_TABSTOP | WS_VSCROLL | (the_child.The_Style.Is_Editable ? CBS_DROPDOWN : CBS_DROPDOWNLIST) |
               (the_child.The_Style.Is_Sorted ? CBS_SORT : 0);
    case Label_Kind: return SS_LEFT | SS_CENTERIMAGE;
    case List_View_Kind:
        // Rows live in the framework; the control only shows them.
        return WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS |
               (the_child.The_Sort_Routine ? 0 : LVS_NOSORTHEADER);
    case Tree_View_Kind:
        return WS_BORDER | WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
               TVS_SHOWSELALWAYS;
    case Rich_Edit_Kind:
        return WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
               (the_child.Word_Wrapping ? 0 : WS_HSCROLL | ES_AUTOHSCROLL);
    }
    return 0;
}

const wchar_t* Class_Of(Kind the_kind) {
    switch (the_kind) {
    case Button_Kind:
    case Check_Box_Kind: return L"Button";
    case Progress_Bar_Kind: return L"msctls_progress32";
    case Track_Bar_Kind: return L"msctls_trackbar32";
    case Edit_Box_Kind: return L"Edit";
    case Combo_Box_Kind: return L"Combobox";
    case Label_Kind: return L"Static";
    case List_View_Kind: return L"SysListView32";
    case Tree_View_Kind: return L"SysTreeView32";
    case Rich_Edit_Kind: return State().Rich_Edit_Class;
    }
    return L"Static";
}

// RichEd32 provides the rich-edit 2.0 class on Windows; where it does not (Wine), the class
// comes from riched20 itself.
void Load_Rich_Edit_Library() {
    Framework& state = State();
    if (state.Rich_Edit_Dll) return;
    WNDCLASSW probe{};
    state.Rich_Edit_Dll.reset(LoadLibraryA("RichEd32.DLL"));
    if (GetClassInfoW(nullptr, L"RichEdit20W", &probe)) return;
    if (Library_Handle version_2{LoadLibraryA("riched20.dll")}) state.Rich_Edit_Dll = std::move(version_2);
}

void Set_Unicode_For(HWND the_window) { Send_Message_Wide(the_window, CCM_SETUNICODEFORMAT, TRUE, 0); }

void Set_Fixed_Font_For(HWND the_window) {
    Send_Message(the_window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(SYSTEM_FIXED_FONT)), TRUE);
}

void Prepare_Control(Child_Information& the_child) {
    if (the_child.The_Kind == List_View_Kind) Set_Unicode_For(the_child.The_Handle);
    if (!the_child.Use_Proportional_Font) Set_Fixed_Font_For(the_child.The_Handle);
    if (the_child.The_Kind == Rich_Edit_Kind) {
        Send_Message(the_child.The_Handle, EM_EXLIMITTEXT, 0, 10000000);
        if (!the_child.Word_Wrapping) Send_Message(the_child.The_Handle, EM_SETTARGETDEVICE, 0, 1);
    }
}

void Link_Into(Page_Information& the_page, Child_Information* the_child) {
    Child_Information*& first = the_page.First_Child;
    if (!first) {
        first = the_child;
    } else if (first->The_Kind > the_child->The_Kind) {
        the_child->Next_Sibling = first;
        first = the_child;
    } else {
        int priority = Display_Priority[the_child->The_Kind];
        Child_Information* place = first;
        while (place->Next_Sibling && priority >= Display_Priority[place->Next_Sibling->The_Kind]) {
            place = place->Next_Sibling;
        }
        the_child->Next_Sibling = place->Next_Sibling;
        place->Next_Sibling = the_child;
    }
}

// Answers 1 when the window was made, 2 when it could not be; the caller always runs after
// the semaphore was signalled.
LRESULT Create_Child(Page the_page, std::unique_ptr<Child_Information>& the_holder) {
    Framework& state = State();
    Child_Information& child = *the_holder;
    struct Signal_On_Exit {
        Semaphore::Binary& semaphore;
        ~Signal_On_Exit() { semaphore.Signal(); }
    } signal{child.For_Completion};
    if (child.The_Kind == Rich_Edit_Kind) Load_Rich_Edit_Library();
    child.The_Handle = CreateWindowExW(
        0, Class_Of(child.The_Kind), child.Initial_Title.c_str(), WS_CHILD | Style_Of(child), 0, 0, 0,
        0, state.Private_Window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(child.The_Window_Id)),
        state.Our_Instance, nullptr);
    if (!child.The_Handle) return 2;
    Prepare_Control(child);
    Link_Into(*the_page, &child);
    ++the_page->Nr_Of_Children;
    if (child.Is_Buddy) {
        ++the_page->Nr_Of_Buddies;
    } else {
        ++the_page->Population[child.The_Kind];
    }
    the_page->Children.push_back(std::move(the_holder));
    if (the_page == state.Current_Page) Redraw_Main_Window();
    return 1;
}

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

// ---- List views (display thread) ----

void* Row_Information(Child_Information& the_view, int the_index) {
    std::lock_guard lock(the_view.Rows.Guard);
    if (the_index < 0 || static_cast<std::size_t>(the_index) >= the_view.Rows.Information.size()) {
        return nullptr;
    }
    return the_view.Rows.Information[the_index];
}

void Update_Row_Count(Child_Information& the_view) {
    std::size_t count;
    {
        std::lock_guard lock(the_view.Rows.Guard);
        the_view.Rows.Count_Update_Is_Posted = false;
        count = the_view.Rows.Information.size();
    }
    Send_Message_Wide(the_view.The_Handle, LVM_SETITEMCOUNT, count,
                      LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

int Listview_Sort_Routine(void* first_information, void* second_information, Sort_Routine the_routine,
                          Sort_Order the_order) {
    Comparison result = the_routine(the_order.Column, first_information, second_information);
    int order = result == Comparison::Less ? -1 : result == Comparison::Greater ? 1 : 0;
    return the_order.Way == Direction::Ascending ? order : -order;
}

// Thrown out of the sort by the comparison once the sort is cancelled.
struct Sort_Cancelled {};

// Rows appended during the sort are sorted on their own and merged in; both steps are
// stable, so the order is the one a sort of all rows gives.
void Sort_Copy_Of_Rows(Child_Information& the_view, Sort_Order the_order, const std::atomic<bool>& is_cancelled) {
    Sort_Routine routine = the_view.The_Sort_Routine;
    auto is_before = [&](void* first, void* second) {
        if (is_cancelled) throw Sort_Cancelled();
        return Listview_Sort_Routine(first, second, routine, the_order) < 0;
    };
    Row_Storage& rows = the_view.Rows;
    std::vector<void*> sorted;
    {
        std::lock_guard lock(rows.Guard);
        sorted = rows.Information;
    }
    std::stable_sort(sorted.begin(), sorted.end(), is_before);
    for (;;) {
        auto middle = static_cast<std::ptrdiff_t>(sorted.size());
        {
            std::lock_guard lock(rows.Guard);
            if (rows.Information.size() == sorted.size()) {
                rows.Information.swap(sorted);
                return;
            }
            sorted.insert(sorted.end(), rows.Information.begin() + middle, rows.Information.end());
        }
        std::stable_sort(sorted.begin() + middle, sorted.end(), is_before);
        std::inplace_merge(sorted.begin(), sorted.begin() + middle, sorted.end(), is_before);
    }
}

std::uint64_t Row_Sorter::Start(Child_Information& the_view, Sort_Order the_order) {
    std::lock_guard control(control_);
    Halt();
    {
        std::lock_guard lock(state_guard_);
        if (is_ended_) return 0;
        order_ = the_order;
        ++requested_;
    }
    Launch(the_view);
    std::lock_guard lock(state_guard_);
    return requested_;
}

void Row_Sorter::Change_Rows(Child_Information& the_view, const std::function<bool()>& the_change) {
    std::lock_guard control(control_);
    Halt();
    bool must_resume = the_change();
    {
        std::lock_guard lock(state_guard_);
        if (finished_ == requested_ || is_ended_) return;
        if (!must_resume) {
            finished_ = requested_;
            finished_changed_.notify_all();
            return;
        }
    }
    Launch(the_view);
}

void Row_Sorter::Wait_For(std::uint64_t the_ticket) {
    std::unique_lock lock(state_guard_);
    finished_changed_.wait(lock, [&] { return finished_ >= the_ticket || is_ended_; });
}

bool Row_Sorter::Is_Busy() {
    std::lock_guard lock(state_guard_);
    return finished_ < requested_ && !is_ended_;
}

std::exception_ptr Row_Sorter::Take_Failure() {
    std::lock_guard lock(state_guard_);
    return std::exchange(failure_, nullptr);
}

void Row_Sorter::End() {
    std::lock_guard control(control_);
    Halt();
    std::lock_guard lock(state_guard_);
    is_ended_ = true;
    finished_changed_.notify_all();
}

// Returns once the worker no longer touches any row.
void Row_Sorter::Halt() {
    is_cancelled_ = true;
    if (worker_.joinable()) worker_.join();
    is_cancelled_ = false;
}

void Row_Sorter::Launch(Child_Information& the_view) {
    Sort_Order order;
    std::uint64_t ticket;
    {
        std::lock_guard lock(state_guard_);
        order = order_;
        ticket = requested_;
    }
    worker_ = std::thread(&Row_Sorter::Run, this, std::ref(the_view), order, ticket, State().Private_Window.load());
}

void Row_Sorter::Run(Child_Information& the_view, Sort_Order the_order, std::uint64_t the_ticket,
                     HWND notified_window) {
    std::exception_ptr failure;
    try {
        Sort_Copy_Of_Rows(the_view, the_order, is_cancelled_);
    } catch (const Sort_Cancelled&) {
        return;
    } catch (...) {
        failure = std::current_exception();  // reported by the display thread
    }
    Finish(the_ticket, failure);
    PostMessageW(notified_window, Sorted_Message, 0, reinterpret_cast<LPARAM>(&the_view));
}

void Row_Sorter::Finish(std::uint64_t the_ticket, std::exception_ptr the_failure) {
    std::lock_guard lock(state_guard_);
    finished_ = std::max(finished_, the_ticket);
    if (the_failure) failure_ = the_failure;
    finished_changed_.notify_all();
}

// Starts a sort in the current direction, then turns the direction for the next sort, as
// if every request ran to its end in turn. Returns the request's ticket, 0 for none.
std::uint64_t Request_Sort(Child_Information& the_view) {
    if (!the_view.The_Sort_Routine) return 0;
    std::uint64_t ticket = the_view.Sorter.Start(the_view, {the_view.The_Sort_Column, the_view.The_Sort_Direction});
    the_view.The_Sort_Direction = the_view.The_Sort_Direction == Direction::Ascending
                                      ? Direction::Descending
                                      : Direction::Ascending;
    return ticket;
}

void Show_Sorted_Rows(Child_Information& the_view) {
    InvalidateRect(the_view.The_Handle, nullptr, FALSE);
    if (std::exception_ptr failure = the_view.Sorter.Take_Failure()) std::rethrow_exception(failure);
}

// Every sort worker ends before the framework's threads count as ended.
void End_Sorts() {
    for (const auto& page : State().Pages) {
        for (const auto& child : page->Children) {
            if (child->The_Kind == List_View_Kind) child->Sorter.End();
        }
    }
}

void Give_Cell_Text(Child_Information& the_view, LVITEMW& the_item) {
    if (!(the_item.mask & LVIF_TEXT)) return;
    void* information = Row_Information(the_view, the_item.iItem);
    if (!information) {
        the_view.Cell_Text.clear();
    } else if (the_view.Action_Is_Wide) {
        the_view.Cell_Text = the_view.The_Wide_Text_Handler(the_item.iSubItem, information);
    } else {
        the_view.Cell_Text = Widened(the_view.The_Text_Handler(the_item.iSubItem, information));
    }
    the_item.pszText = the_view.Cell_Text.data();
}

LRESULT Custom_Draw(Child_Information& the_view, NMLVCUSTOMDRAW& the_draw) {
    if (!the_view.The_Color_Routine) return CDRF_DODEFAULT;
    if (the_draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (the_draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        if (void* information = Row_Information(the_view, static_cast<int>(the_draw.nmcd.dwItemSpec))) {
            the_draw.clrText = the_view.The_Color_Routine(information);
        }
    }
    return CDRF_DODEFAULT;
}

LRESULT List_View_Notification(Child_Information& the_view, NMHDR& the_header) {
    switch (the_header.code) {
    case LVN_GETDISPINFOW:
        Give_Cell_Text(the_view, reinterpret_cast<NMLVDISPINFOW&>(the_header).item);
        return 0;
    case LVN_COLUMNCLICK:
        if (the_view.The_Sort_Routine) {
            the_view.The_Sort_Column = reinterpret_cast<NMLISTVIEW&>(the_header).iSubItem;
            Request_Sort(the_view);
        }
        return 0;
    case NM_DBLCLK: {
        int item = reinterpret_cast<NMITEMACTIVATE&>(the_header).iItem;
        if (the_view.The_Click_Routine && item >= 0) {
            if (void* information = Row_Information(the_view, item)) {
                Execute(the_view.The_Click_Routine, information);
            }
        }
        return 0;
    }
    case NM_CUSTOMDRAW: return Custom_Draw(the_view, reinterpret_cast<NMLVCUSTOMDRAW&>(the_header));
    case LVN_ODFINDITEMW: return -1;
    default: return 0;
    }
}

void Process_Tree_View_Click(Child_Information& the_tree, LPARAM the_information) {
    if (the_tree.The_Click_Routine) {
        Execute(the_tree.The_Click_Routine, reinterpret_cast<void*>(the_information));
    }
}

LRESULT Tree_View_Notification(Child_Information& the_tree, NMHDR& the_header) {
    switch (the_header.code) {
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
        Process_Tree_View_Click(the_tree, reinterpret_cast<NMTREEVIEWW&>(the_header).itemNew.lParam);
        return 0;
    case NM_DBLCLK: {
        TVITEMA item{};
        item.mask = TVIF_PARAM | TVIF_HANDLE;
        item.hItem = reinterpret_cast<HTREEITEM>(Send_Message(the_tree.The_Handle, TVM_GETNEXTITEM, TVGN_CARET, 0));
        if (item.hItem && Send_Message(the_tree.The_Handle, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
            Process_Tree_View_Click(the_tree, item.lParam);
        }
        return 0;
    }
    default: return 0;
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
    case Create_Child_Message:
        return Create_Child(reinterpret_cast<Page>(w_param),
                            *reinterpret_cast<std::unique_ptr<Child_Information>*>(l_param));
    case Add_Page_Message:
        Add_Page_On_Display(*reinterpret_cast<std::unique_ptr<Page_Information>*>(l_param));
        return 0;
    case Update_Row_Count_Message:
        Update_Row_Count(*reinterpret_cast<Child_Information*>(l_param));
        return 0;
    case Sort_Message: {
        auto& view = *reinterpret_cast<Child_Information*>(l_param);
        view.The_Sort_Column = LOWORD(w_param);
        view.The_Sort_Direction = static_cast<Direction>(HIWORD(w_param));
        return static_cast<LRESULT>(Request_Sort(view));
    }
    case Sorted_Message:
        Show_Sorted_Rows(*reinterpret_cast<Child_Information*>(l_param));
        return 0;
    case Status_Text_Message: {
        const std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(l_param));
        if (HWND status_line = state.The_Status_Line)
            Send_Message(status_line, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text->c_str()));
        return 0;
    }
    case WM_MOVE: Note_Private_Window_Metrics(window); return 0;
    case WM_SIZE:
        Note_Private_Window_Metrics(window);
        Redraw_Main_Window();
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

LRESULT CALLBACK Mainwindowproc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    try {
        return Handle_Message(window, message, w_param, l_param);
    } catch (const std::exception& error) {
        Report(error);
    } catch (...) {
        Message_Box("UNKNOWN FAILURE", true);
    }
    return 0;
}

// ---- Control construction (calling thread) ----

std::unique_ptr<Child_Information> New_Child(Kind the_kind, const std::wstring& the_title, int the_size) {
    auto child = std::make_unique<Child_Information>();
    child->The_Kind = the_kind;
    child->Initial_Title = the_title;
    child->The_Title_Size = the_size;
    return child;
}

// The Create_Child hand-off: the display thread makes the window while this thread waits.
Child_Information* Create_Through_Display(Page the_page, std::unique_ptr<Child_Information> the_child) {
    Framework& state = State();
    HWND window = state.Private_Window;
    if (!the_page || !window) return nullptr;
    Child_Information* child = the_child.get();
    child->Parent_Page = the_page;
    child->The_Window_Id = state.The_Next_Child_Id++;
    LRESULT result = Send_Message(window, Create_Child_Message, reinterpret_cast<WPARAM>(the_page),
                                  reinterpret_cast<LPARAM>(&the_child));
    if (result == 0) throw Control_Creation_Failure("the main window is gone");
    child->For_Completion.Wait();
    if (result != 1) throw Control_Creation_Failure("the control's window could not be made");
    return child;
}

Child_Information* Buddy_For(const std::wstring& the_text, int the_text_size, Kind the_kind, Page the_page,
                             Action_Routine the_action_routine) {
    auto buddy = New_Child(the_kind, the_text, the_text_size);
    buddy->Is_Buddy = true;
    buddy->The_Action_Routine = the_action_routine;  // the tick of a checked box acts as the box
    return Create_Through_Display(the_page, std::move(buddy));
}

Child_Information* Create_With_Buddy(Page the_page, std::unique_ptr<Child_Information> the_child,
                                     const std::wstring& the_title, int the_title_size, Kind buddy_kind) {
    if (!the_page || !Is_Initialised() || !State().Private_Window) return nullptr;
    Child_Information* buddy = Buddy_For(the_title, the_title_size, buddy_kind, the_page,
                                         buddy_kind == Check_Box_Kind ? the_child->The_Action_Routine : nullptr);
    the_child->Buddy_Child = buddy;
    return Create_Through_Display(the_page, std::move(the_child));
}

Child_Information* Edit_Box_Record(Page the_page, const std::wstring& the_title, const std::wstring& initial_text,
                                   Action_Routine the_action_routine, bool is_password, int the_size,
                                   int the_title_size, Kind buddy_kind) {
    auto box = New_Child(Edit_Box_Kind, initial_text, the_size);
    box->The_Action_Routine = the_action_routine;
    box->Is_Password = is_password;
    return Create_With_Buddy(the_page, std::move(box), the_title, the_title_size, buddy_kind);
}

Child_Information* Combo_Box_Record(Page the_page, const std::string& the_title, Action_Routine the_action_routine,
                                    Combo_Style the_style, int the_size, int the_title_size, Kind buddy_kind) {
    auto box = New_Child(Combo_Box_Kind, L"", the_size);
    box->The_Action_Routine = the_action_routine;
    box->The_Style = the_style;
    return Create_With_Buddy(the_page, std::move(box), Widened(the_title), the_title_size, buddy_kind);
}

Child_Information* List_View_Record(Page the_page, Text_Handler the_text_handler,
                                    Wide_Text_Handler the_wide_text_handler, Color_Handler the_color_handler,
                                    Sort_Routine the_sort_routine, Click_Routine the_click_routine,
                                    bool use_proportional_font) {
    if (!Is_Initialised()) return nullptr;
    auto view = New_Child(List_View_Kind, L"", 0);
    view->Action_Is_Wide = the_wide_text_handler != nullptr;
    view->The_Text_Handler = the_text_handler;
    view->The_Wide_Text_Handler = the_wide_text_handler;
    view->The_Color_Routine = the_color_handler;
    view->The_Sort_Routine = the_sort_routine;
    view->The_Click_Routine = the_click_routine;
    view->Use_Proportional_Font = use_proportional_font;
    return Create_Through_Display(the_page, std::move(view));
}

Child_Information* Simple_Control(Page the_page, std::unique_ptr<Child_Information> the_child) {
    if (!Is_Initialised()) return nullptr;
    return Create_Through_Display(the_page, std::move(the_child));
}

void Set_Check(HWND the_box, bool is_checked) {
    if (the_box) Send_Message(the_box, BM_SETCHECK, is_checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Check_Of(HWND the_box) { return the_box && Send_Message(the_box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

HWND Buddy_Handle_Of(const Child& the_control) {
    if (the_control.Is_Null() || !the_control.Information()->Buddy_Child) return nullptr;
    return the_control.Information()->Buddy_Child->The_Handle;
}

void Append_Wide(HWND the_edit, const std::wstring& the_text, COLORREF the_color) {
    if (!the_edit) return;
    CHARRANGE range{0, -1};
    Send_Message_Wide(the_edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    Send_Message_Wide(the_edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    range.cpMin = range.cpMax;
    Send_Message_Wide(the_edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = the_color;
    Send_Message_Wide(the_edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    Send_Message_Wide(the_edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(the_text.c_str()));
}

HWND List_Handle_Of(const List_View& the_list_view) { return Handle_Of(the_list_view); }

}  // namespace

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
    Framework& state = State();
    if (Message_Reporter reporter = state.The_Reporter) {
        reporter(the_message, is_exclamation);
        return;
    }
    MessageBoxA(state.Private_Window, the_message.c_str(), state.The_Application_Name.c_str(),
                MB_OK | (is_exclamation ? MB_ICONHAND : MB_ICONINFORMATION));
}

void Set_Message_Reporter(Message_Reporter the_reporter) { State().The_Reporter = the_reporter; }

// ---- Action queue ----

void Execute(Action_Routine the_routine) { State().Action.Put(the_routine); }
void Execute(Click_Routine the_routine, void* the_information) { State().Action.Put(the_routine, the_information); }
void Set_Callback_Routine(Action_Routine the_routine) { State().The_Callback_Routine = the_routine; }

void Request_Callback() {
    if (HWND window = Main_Window()) PostMessageA(window, Callback_Message, 0, 0);
}

// ---- Pages and status line ----

Page Add_Page(const std::string& the_title, Page_Style the_style, Action_Routine the_action) {
    HWND window = Main_Window();
    if (!window) return nullptr;
    auto page = std::make_unique<Page_Information>();
    Page result = page.get();
    page->The_Title = the_title;
    page->The_Style = the_style;
    page->The_Action = the_action;
    Send_Message(window, Add_Page_Message, 0, reinterpret_cast<LPARAM>(&page));
    return page ? nullptr : result;  // still held here: the display thread never took it
}

void Set_Keyboard_Focus(Page the_page, const Child& the_control) {
    if (the_page) the_page->Keyboard_Focus = the_control.Information();
}

void Set_Status_Line(const std::string& the_text) {
    if (!Is_Initialised() || !State().The_Status_Line) return;
    HWND window = Main_Window();
    if (!window) return;
    // Not waited for, since the display thread may be painting; still it is taken before
    // any later request from this thread, a reading of the line included.
    auto text = std::make_unique<std::string>(the_text);
    if (SendNotifyMessageW(window, Status_Text_Message, 0, reinterpret_cast<LPARAM>(text.get())))
        text.release();
}

void Enable(const Child& the_control) {
    if (HWND window = Handle_Of(the_control)) EnableWindow(window, TRUE);
    if (HWND buddy = Buddy_Handle_Of(the_control)) EnableWindow(buddy, TRUE);
}

void Disable(const Child& the_control) {
    if (HWND window = Handle_Of(the_control)) EnableWindow(window, FALSE);
    if (HWND buddy = Buddy_Handle_Of(the_control)) EnableWindow(buddy, FALSE);
}

HWND Window_Of(const Child& the_control) { return Handle_Of(the_control); }

// ---- Simple controls ----

Button Create(Page the_page, const std::string& the_text, Action_Routine the_action_routine, int the_button_size) {
    auto button = New_Child(Button_Kind, Widened(the_text), the_button_size);
    button->The_Action_Routine = the_action_routine;
    Child_Information* child = Simple_Control(the_page, std::move(button));
    if (child) {
        // Only the display thread reads the widths, after the hand-off above.
        the_page->Total_Button_Width += the_button_size;
        the_page->Last_Button_Width = the_button_size;
    }
    return Button(child);
}

Progress_Bar Create(Page the_page) { return Progress_Bar(Simple_Control(the_page, New_Child(Progress_Bar_Kind, L"", 0))); }

Track_Bar Create(Page the_page, const std::string& the_title) {
    if (!Is_Initialised()) return Track_Bar();
    return Track_Bar(Create_With_Buddy(the_page, New_Child(Track_Bar_Kind, L"", 0), Widened(the_title), -1, Label_Kind));
}

Check_Box Create(Page the_page, const std::string& the_title, Action_Routine the_action_routine) {
    auto box = New_Child(Check_Box_Kind, Widened(the_title), 0);
    box->The_Action_Routine = the_action_routine;
    return Check_Box(Simple_Control(the_page, std::move(box)));
}

Plain_Edit_Box Create(Page the_page, const std::string& the_title, const std::string& initial_text,
                      Action_Routine the_action_routine, bool is_password, int the_size, int the_title_size) {
    return Create_Wide(the_page, Widened(the_title), Widened(initial_text), the_action_routine, is_password,
                       the_size, the_title_size);
}

Plain_Edit_Box Create_Wide(Page the_page, const std::wstring& the_title, const std::wstring& initial_text,
                           Action_Routine the_action_routine, bool is_password, int the_size, int the_title_size) {
    if (!Is_Initialised()) return Plain_Edit_Box();
    return Plain_Edit_Box(Edit_Box_Record(the_page, the_title, initial_text, the_action_routine, is_password,
                                          the_size, the_title_size, Label_Kind));
}

Checked_Edit_Box Create_Checked(Page the_page, const std::string& the_title, const std::string& initial_text,
                                Action_Routine the_action_routine, bool is_password, int the_size,
                                int the_title_size) {
    if (!Is_Initialised()) return Checked_Edit_Box();
    return Checked_Edit_Box(Edit_Box_Record(the_page, Widened(the_title), Widened(initial_text), the_action_routine,
                                            is_password, the_size, the_title_size, Check_Box_Kind));
}

Plain_Combo_Box Create(Page the_page, const std::string& the_title, Action_Routine the_action_routine,
                       Combo_Style the_style, int the_size, int the_title_size) {
    if (!Is_Initialised()) return Plain_Combo_Box();
    return Plain_Combo_Box(
        Combo_Box_Record(the_page, the_title, the_action_routine, the_style, the_size, the_title_size, Label_Kind));
}

Checked_Combo_Box Create_Checked(Page the_page, const std::string& the_title, Action_Routine the_action_routine,
                                 Combo_Style the_style, int the_size, int the_title_size) {
    if (!Is_Initialised()) return Checked_Combo_Box();
    return Checked_Combo_Box(Combo_Box_Record(the_page, the_title, the_action_routine, the_style, the_size,
                                              the_title_size, Check_Box_Kind));
}

Tree_View Create(Page the_page, Click_Routine the_click_routine) {
    auto tree = New_Child(Tree_View_Kind, L"", 0);
    tree->The_Click_Routine = the_click_routine;
    return Tree_View(Simple_Control(the_page, std::move(tree)));
}

Rich_Edit Create(Page the_page, bool word_wrapping) {
    auto edit = New_Child(Rich_Edit_Kind, L"", 0);
    edit->Word_Wrapping = word_wrapping;
    return Rich_Edit(Simple_Control(the_page, std::move(edit)));
}

void Set_Text(const Child& the_control, const std::string& the_text) {
    if (HWND window = Handle_Of(the_control)) SetWindowTextA(window, the_text.c_str());
}

void Set(const Edit_Box& the_box, const std::wstring& the_text) {
    if (HWND window = Handle_Of(the_box)) SetWindowTextW(window, the_text.c_str());
}

std::string Contents_Of(const Edit_Box& the_box) {
    HWND window = Handle_Of(the_box);
    if (!window) return {};
    std::array<char, Text_Buffer_Size> buffer{};
    int length = GetWindowTextA(window, buffer.data(), Text_Buffer_Size);
    return std::string(buffer.data(), std::max(length, 0));
}

std::wstring Wide_Contents_Of(const Edit_Box& the_box) {
    HWND window = Handle_Of(the_box);
    if (!window) return {};
    std::array<wchar_t, Text_Buffer_Size> buffer{};
    int length = GetWindowTextW(window, buffer.data(), Text_Buffer_Size);
    return std::wstring(buffer.data(), std::max(length, 0));
}

void Set(const Check_Box& the_box) { Set_Check(Handle_Of(the_box), true); }
void Clear(const Check_Box& the_box) { Set_Check(Handle_Of(the_box), false); }
bool Is_Checked(const Check_Box& the_box) { return Check_Of(Handle_Of(the_box)); }
void Set(const Checked_Edit_Box& the_box) { Set_Check(Buddy_Handle_Of(the_box), true); }
void Clear(const Checked_Edit_Box& the_box) { Set_Check(Buddy_Handle_Of(the_box), false); }
bool Is_Checked(const Checked_Edit_Box& the_box) { return Check_Of(Buddy_Handle_Of(the_box)); }
void Set(const Checked_Combo_Box& the_box) { Set_Check(Buddy_Handle_Of(the_box), true); }
void Clear(const Checked_Combo_Box& the_box) { Set_Check(Buddy_Handle_Of(the_box), false); }
bool Is_Checked(const Checked_Combo_Box& the_box) { return Check_Of(Buddy_Handle_Of(the_box)); }

void Add_Choice(const Combo_Box& the_box, const std::string& the_choice) {
    if (HWND window = Handle_Of(the_box)) Send_Message(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(the_choice.c_str()));
}

void Select(const Combo_Box& the_box, int the_ordinal) {
    int index = Zero_Based(the_ordinal);
    if (HWND window = Handle_Of(the_box)) Send_Message(window, CB_SETCURSEL, index, 0);
}

std::string Contents_Of(const Combo_Box& the_box) {
    HWND window = Handle_Of(the_box);
    if (!window) return {};
    std::array<char, Text_Buffer_Size> buffer{};
    int length = GetWindowTextA(window, buffer.data(), Text_Buffer_Size);
    return std::string(buffer.data(), std::max(length, 0));
}

void Define_Range(const Progress_Bar& the_bar, int the_extent, int the_step) {
    HWND window = Handle_Of(the_bar);
    if (!window) return;
    Send_Message(window, PBM_SETRANGE, 0, Make_Long(0, the_extent));
    Send_Message(window, PBM_SETSTEP, the_step, 0);
}

void Report_Progress(const Progress_Bar& the_bar, int the_extent) {
    if (HWND window = Handle_Of(the_bar)) Send_Message(window, PBM_SETPOS, the_extent, 0);
}

void Increment_Progress(const Progress_Bar& the_bar) {
    if (HWND window = Handle_Of(the_bar)) Send_Message(window, PBM_STEPIT, 0, 0);
}

void Set_Color(const Progress_Bar& the_bar, COLORREF the_color) {
    if (HWND window = Handle_Of(the_bar)) Send_Message(window, PBM_SETBARCOLOR, 0, the_color);
}

void Define_Range(const Track_Bar& the_bar, int the_extent) {
    if (HWND window = Handle_Of(the_bar)) Send_Message(window, TBM_SETRANGE, TRUE, Make_Long(0, the_extent));
}

void Define_Tic_Frequency(const Track_Bar& the_bar, int the_frequency) {
    if (HWND window = Handle_Of(the_bar)) Send_Message(window, TBM_SETTICFREQ, the_frequency, 0);
}

void Set_Position(const Track_Bar& the_bar, int the_position) {
    if (HWND window = Handle_Of(the_bar)) Send_Message(window, TBM_SETPOS, TRUE, the_position);
}

void Append_To(const Rich_Edit& the_edit, const std::string& the_text, COLORREF the_color) {
    Append_Wide(Handle_Of(the_edit), Widened(the_text), the_color);
}

void Append_Line_To(const Rich_Edit& the_edit, const std::string& the_text, COLORREF the_color) {
    Append_Wide(Handle_Of(the_edit), Widened(the_text) + L"\r\n", the_color);
}

void Append_Wide_To(const Rich_Edit& the_edit, const std::wstring& the_text, COLORREF the_color) {
    Append_Wide(Handle_Of(the_edit), the_text, the_color);
}

void Append_Wide_Line_To(const Rich_Edit& the_edit, const std::wstring& the_text, COLORREF the_color) {
    Append_Wide(Handle_Of(the_edit), the_text + L"\r\n", the_color);
}

void Clear(const Rich_Edit& the_edit) {
    HWND window = Handle_Of(the_edit);
    if (!window) return;
    CHARRANGE everything{0, -1};
    Send_Message_Wide(window, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&everything));
    Send_Message_Wide(window, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

Tree_Item Add_Item(const Tree_View& the_tree, const std::string& the_title, Tree_Item the_parent,
                   Position the_position, void* the_information) {
    Tree_Item after = the_position == Position::First ? TVI_FIRST
                      : the_position == Position::Last ? TVI_LAST
                                                       : TVI_SORT;
    return Add_Item(the_tree, the_title, the_parent, after, the_information);
}

// The 8-bit and 16-bit insertions differ only in their record, text and message.
template <typename Insertion, typename Title, typename Sender>
Tree_Item Insert_Tree_Item(const Tree_View& the_tree, Title title, Tree_Item the_parent,
                           Tree_Item after_item, void* the_information, UINT message,
                           Sender send) {
    HWND window = Handle_Of(the_tree);
    if (!window) return nullptr;
    Insertion insertion{};
    insertion.hParent = the_parent;
    insertion.hInsertAfter = after_item;
    insertion.item.mask = TVIF_TEXT | TVIF_PARAM;
    insertion.item.pszText = title.data();
    insertion.item.lParam = reinterpret_cast<LPARAM>(the_information);
    return reinterpret_cast<Tree_Item>(send(window, message, 0, reinterpret_cast<LPARAM>(&insertion)));
}

Tree_Item Add_Item(const Tree_View& the_tree, const std::string& the_title, Tree_Item the_parent,
                   Tree_Item after_item, void* the_information) {
    return Insert_Tree_Item<TVINSERTSTRUCTA>(the_tree, the_title, the_parent, after_item,
                                             the_information, TVM_INSERTITEMA, Send_Message);
}

Tree_Item Add_Wide_Item(const Tree_View& the_tree, const std::wstring& the_title, Tree_Item the_parent,
                        Tree_Item after_item, void* the_information) {
    return Insert_Tree_Item<TVINSERTSTRUCTW>(the_tree, the_title, the_parent, after_item,
                                             the_information, TVM_INSERTITEMW, Send_Message_Wide);
}

// The 8-bit and 16-bit renamings differ only in their record, text and message.
template <typename Item, typename Title, typename Sender>
void Set_Tree_Item_Text(const Tree_View& the_tree, Tree_Item the_item, Title title, UINT message,
                        Sender send) {
    HWND window = Handle_Of(the_tree);
    if (!window) return;
    Item item{};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = the_item;
    item.pszText = title.data();
    send(window, message, 0, reinterpret_cast<LPARAM>(&item));
}

void Rename_Item(const Tree_View& the_tree, Tree_Item the_item, const std::string& the_title) {
    Set_Tree_Item_Text<TVITEMA>(the_tree, the_item, the_title, TVM_SETITEMA, Send_Message);
}

void Rename_Wide_Item(const Tree_View& the_tree, Tree_Item the_item, const std::wstring& the_title) {
    Set_Tree_Item_Text<TVITEMW>(the_tree, the_item, the_title, TVM_SETITEMW, Send_Message_Wide);
}

// ---- List views ----

List_View Create(Page the_page, Text_Handler the_text_handler, Color_Handler the_color_handler,
                 Sort_Routine the_sort_routine, Click_Routine the_click_routine, bool use_proportional_font) {
    return List_View(List_View_Record(the_page, the_text_handler, nullptr, the_color_handler, the_sort_routine,
                                      the_click_routine, use_proportional_font));
}

List_View Create(Page the_page, Wide_Text_Handler the_text_handler, Color_Handler the_color_handler,
                 Sort_Routine the_sort_routine, Click_Routine the_click_routine, bool use_proportional_font) {
    return List_View(List_View_Record(the_page, nullptr, the_text_handler, the_color_handler, the_sort_routine,
                                      the_click_routine, use_proportional_font));
}

void Add_Column(const List_View& the_list_view, const std::string& the_title, int the_width,
                Justification the_justification) {
    HWND window = List_Handle_Of(the_list_view);
    if (!window) return;
    Child_Information& view = *the_list_view.Information();
    std::wstring title = Widened(the_title);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = the_justification == Justification::Left     ? LVCFMT_LEFT
                 : the_justification == Justification::Center ? LVCFMT_CENTER
                                                              : LVCFMT_RIGHT;
    column.cx = the_width;
    column.pszText = title.data();
    if (Send_Message_Wide(window, LVM_INSERTCOLUMNW, view.Number_Of_Columns, reinterpret_cast<LPARAM>(&column)) >= 0) {
        ++view.Number_Of_Columns;
    }
}

void Remove_Last_Column(const List_View& the_list_view) {
    HWND window = List_Handle_Of(the_list_view);
    if (!window || !State().Is_Active) return;
    Child_Information& view = *the_list_view.Information();
    if (view.Number_Of_Columns == 0) return;
    if (Send_Message_Wide(window, LVM_DELETECOLUMN, view.Number_Of_Columns - 1, 0)) --view.Number_Of_Columns;
}

int Number_Of_Columns_Of(const List_View& the_list_view) {
    return the_list_view.Is_Null() ? 0 : the_list_view.Information()->Number_Of_Columns;
}

void Set_Width(const List_View& the_list_view, int the_column, int the_new_width) {
    int column = Zero_Based(the_column);
    if (HWND window = List_Handle_Of(the_list_view)) {
        Send_Message_Wide(window, LVM_SETCOLUMNWIDTH, column, Make_Long(the_new_width, 0));
    }
}

int Width_Of(const List_View& the_list_view, int the_column) {
    int column = Zero_Based(the_column);
    HWND window = List_Handle_Of(the_list_view);
    return window ? static_cast<int>(Send_Message_Wide(window, LVM_GETCOLUMNWIDTH, column, 0)) : 0;
}

void Set_Title(const List_View& the_list_view, int the_column, const std::string& the_title) {
    int index = Zero_Based(the_column);
    HWND window = List_Handle_Of(the_list_view);
    if (!window) return;
    std::wstring title = Widened(the_title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = title.data();
    Send_Message_Wide(window, LVM_SETCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

// Appends without a message per row: the first append after a count update posts one
// request, and the display thread sets the count once for all rows appended meanwhile.
void Add_Data(const List_View& the_list_view, void* the_information) {
    Add_Data(the_list_view, std::span<void* const>(&the_information, 1));
}

void Add_Data(const List_View& the_list_view, std::span<void* const> the_information) {
    if (!List_Handle_Of(the_list_view) || the_information.empty()) return;
    Child_Information& view = *the_list_view.Information();
    bool must_post;
    {
        std::lock_guard lock(view.Rows.Guard);
        view.Rows.Information.insert(view.Rows.Information.end(), the_information.begin(),
                                     the_information.end());
        must_post = !view.Rows.Count_Update_Is_Posted;
        view.Rows.Count_Update_Is_Posted = true;
    }
    if (must_post) {
        PostMessageW(Main_Window(), Update_Row_Count_Message, 0, reinterpret_cast<LPARAM>(&view));
    }
}

int Number_Of_Rows_Of(const List_View& the_list_view) {
    if (the_list_view.Is_Null()) return 0;
    Row_Storage& rows = the_list_view.Information()->Rows;
    std::lock_guard lock(rows.Guard);
    return static_cast<int>(rows.Information.size());
}

void Reserve_Space_For(const List_View& the_list_view, int amount) {
    if (amount < 0) throw Constraint_Error("negative amount");
    if (!List_Handle_Of(the_list_view)) return;
    Row_Storage& rows = the_list_view.Information()->Rows;
    std::lock_guard lock(rows.Guard);
    rows.Information.reserve(static_cast<std::size_t>(amount));
}

// Takes effect before returning: once the count is set no paint asks for the removed row.
void Remove_From(const List_View& the_list_view, int item_ordinal) {
    auto index = static_cast<std::size_t>(Zero_Based(item_ordinal));
    HWND window = List_Handle_Of(the_list_view);
    if (!window) return;
    Child_Information& view = *the_list_view.Information();
    bool is_removed = false;
    std::size_t count = 0;
    view.Sorter.Change_Rows(view, [&] {
        std::lock_guard lock(view.Rows.Guard);
        std::vector<void*>& rows = view.Rows.Information;
        if (index >= rows.size()) return true;
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index));
        count = rows.size();
        is_removed = true;
        return true;
    });
    // Sent only now: the display thread may itself wait to start a sort meanwhile.
    if (is_removed) Send_Message_Wide(window, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL);
}

void Remove_All_From(const List_View& the_list_view) {
    HWND window = List_Handle_Of(the_list_view);
    if (!window) return;
    Child_Information& view = *the_list_view.Information();
    view.Sorter.Change_Rows(view, [&] {
        std::lock_guard lock(view.Rows.Guard);
        view.Rows.Information.clear();
        return false;  // no rows, nothing left to sort
    });
    // The rows are the view's own: a count of none removes them all at once, where deleting
    // them visits each in turn.
    Send_Message_Wide(window, LVM_SETITEMCOUNT, 0, 0);
}

void Notify_Item_Update(const List_View& the_list_view, int item_ordinal) {
    int index = Zero_Based(item_ordinal);
    if (HWND window = List_Handle_Of(the_list_view)) Send_Message_Wide(window, LVM_UPDATE, index, 0);
}

void Make_Last_Visible_In(const List_View& the_list_view) {
    HWND window = List_Handle_Of(the_list_view);
    if (!window) return;
    int count = Number_Of_Rows_Of(the_list_view);
    if (count == 0) return;
    // The control must know of every appended row before it can scroll to the last.
    Send_Message_Wide(Main_Window(), Update_Row_Count_Message, 0,
                      reinterpret_cast<LPARAM>(the_list_view.Information()));
    Send_Message_Wide(window, LVM_ENSUREVISIBLE, count - 1, FALSE);
}

int Visible_Region_Of(const List_View& the_list_view) {
    HWND window = List_Handle_Of(the_list_view);
    return window ? static_cast<int>(Send_Message_Wide(window, LVM_GETCOUNTPERPAGE, 0, 0)) : 0;
}

namespace {

void Change_Gridlines(const List_View& the_list_view, bool are_shown) {
    HWND window = List_Handle_Of(the_list_view);
    if (!window || !State().Is_Active) return;
    LRESULT style = Send_Message_Wide(window, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    style = are_shown ? style | LVS_EX_GRIDLINES : style & ~LVS_EX_GRIDLINES;
    Send_Message_Wide(window, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style);
}

}  // namespace

void Add_Gridlines(const List_View& the_list_view) { Change_Gridlines(the_list_view, true); }
void Remove_Gridlines(const List_View& the_list_view) { Change_Gridlines(the_list_view, false); }

void Sort(const List_View& the_list_view, int the_column, Direction the_direction) {
    int column = Zero_Based(the_column);
    if (!List_Handle_Of(the_list_view) || !the_list_view.Information()->The_Sort_Routine) return;
    Child_Information& view = *the_list_view.Information();
    LRESULT ticket = Send_Message_Wide(Main_Window(), Sort_Message,
                                       MAKEWPARAM(column, static_cast<int>(the_direction)),
                                       reinterpret_cast<LPARAM>(&view));
    if (ticket > 0) view.Sorter.Wait_For(static_cast<std::uint64_t>(ticket));
}

bool Is_Sorting(const List_View& the_list_view) {
    return !the_list_view.Is_Null() && the_list_view.Information()->Sorter.Is_Busy();
}

}  // namespace Gui
