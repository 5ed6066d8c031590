#pragma once
// The framework's private records, shared by its parts: control kinds, the records of
// controls and pages, the framework's state with the hand-offs between its threads, and the
// helpers the parts call in one another.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gui.hpp"
#include "semaphore.hpp"
#include "windows.hpp"

namespace Gui::Internal {

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
    Rich_Edit_Kind,
    Picture_Kind
};
constexpr int Number_Of_Kinds = 11;
constexpr std::array<int, Number_Of_Kinds> Display_Priority = {10, 20, 30, 40, 50, 40, 60, 70, 70, 70, 70};
constexpr const wchar_t* Picture_Class = L"Quarrix.Picture";

constexpr int Id_Status_Bar = 50;
constexpr int Id_Tabs = 51;
constexpr int First_Menu_Id = 1000;

// The main window's private messages.
constexpr UINT Run_Message = WM_APP;           // lParam: a Display_Job; wParam: a Job_Owner
constexpr UINT Callback_Message = WM_APP + 1;  // hands the callback routine to the action queue
constexpr UINT Destroy_Message = WM_APP + 2;   // destroys the main window now

// ---- List-view rows and their background sort ----

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
    void Run(Child_Information& the_view, Sort_Order the_order, std::uint64_t the_ticket);
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

// A picture's off-screen bitmap, drawn by the application and copied on every paint. Only
// the display thread touches it.
struct Picture_Surface {
    Windows::Unique<HBITMAP, DeleteObject> Image;
    Windows::Unique<HDC, DeleteDC> Context;  // after the image: it goes first, letting it go
    int Width = 0;
    int Height = 0;
};

}  // namespace Gui::Internal

namespace Gui {

struct Child_Information {
    HWND The_Handle = nullptr;
    Internal::Kind The_Kind = Internal::Button_Kind;
    Page Parent_Page = nullptr;
    std::wstring Initial_Title;
    int The_Title_Size = 0;
    int The_Window_Id = 0;
    Child_Information* Next_Sibling = nullptr;
    Child_Information* Buddy_Child = nullptr;
    bool Is_Buddy = false;
    // Buttons and lists placed at the right end of this control's row, and the mark of one.
    std::vector<Child_Information*> Companions;
    bool Is_Companion = false;
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
    Internal::Row_Storage Rows;
    Internal::Row_Sorter Sorter;  // after the rows: it ends before they go
    std::wstring Cell_Text;  // the last cell text handed to the control
    Draw_Routine The_Draw_Routine = nullptr;
    Point_Routine The_Hover_Routine = nullptr;
    Point_Routine The_Press_Routine = nullptr;
    std::atomic<bool> Picture_Is_Stale{true};
    std::atomic<LPARAM> Pressed_Point{0};  // of the last press, for the action handler
    bool Is_Told_Of_Leaving = false;       // the display thread's: the platform will say
    Internal::Picture_Surface Surface;
    std::atomic<LPARAM> Menu_Point{0};  // a picture's, of the last menu asked for
    Point_Routine The_Menu_Point_Routine = nullptr;
    // A list view's: the control's own procedure, behind the framework's; why it is empty
    // (the display thread's); the routines of its keys and menu.
    WNDPROC Control_Procedure = nullptr;
    std::wstring Empty_Text;
    List_View_Keys The_Keys;
};

struct Page_Information {
    HWND The_Handle = nullptr;
    int Nr_Of_Children = 0;
    int Nr_Of_Buddies = 0;
    std::array<int, Internal::Number_Of_Kinds> Population{};
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

}  // namespace Gui

namespace Gui::Internal {

// ---- Hand-offs between the framework's threads ----

// A meeting of two threads: the caller waits until the acceptor has run the meeting's body.
// A body that fails, or an acceptor that ends without accepting, abandons the meeting: its
// callers get a tasking failure with the reason, and the body's failure goes on out of Accept.
class Rendezvous {
public:
    void Call();
    void Accept(const std::function<void()>& the_body);
    void Abandon(const std::string& reason);

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
    void Offer(Reason the_reason);
    Reason Wait();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    Reason reason_ = None;
};

struct Request {
    Action_Routine Action = nullptr;
    Click_Routine Click = nullptr;
    void* Information = nullptr;
};

// The one-slot action queue: a request is taken only while none is pending or running.
class Action_Queue {
public:
    void Put(Action_Routine the_routine);
    void Put(Click_Routine the_routine, void* the_information);
    Request Get();
    // Once finishing, the queue accepts nothing more: the finish request cannot be
    // overwritten by a request arriving between a routine's end and the next Get.
    void Finish();
    void Enable();

private:
    void Store(const Request& the_request);

    std::mutex mutex_;
    std::condition_variable changed_;
    Request next_;
    bool is_enabled_ = true;
    bool is_pending_ = false;
    bool is_finishing_ = false;
};

// ---- The framework's state ----

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
    std::vector<std::wstring> Status_Parts;  // from the second on; on the display thread
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
    Semaphore::Binary Start_Up_Is_Complete;  // a close is served only once it is signalled
    Rendezvous Handler_Stopped;
    bool Was_Created = false;
    std::thread The_Action_Handler;
    std::thread Main_Display;
    std::thread Termination_Handler;

    ~Framework() {
        if (Is_Active && Private_Window) Gui::Close();
        Gui::Wait_For_End();
    }
};

// Program_Error before Initialise.
Framework& State();
bool Is_Initialised();

// ---- Helpers ----

LRESULT Send_Message(HWND the_window, UINT the_message, WPARAM w_param, LPARAM l_param);
LRESULT Send_Message_Wide(HWND the_window, UINT the_message, WPARAM w_param, LPARAM l_param);
LPARAM Make_Long(int low_half, int high_half);
HWND Handle_Of(const Child& the_control);
HWND Buddy_Handle_Of(const Child& the_control);
int Zero_Based(int the_ordinal);  // Constraint_Error below 1

// Shows the failure being handled in the message box; only from inside a handler.
void Report_Current_Failure();

// Runs the work; a failure escaping it is shown instead of going on.
template <typename Work>
void Run_Reporting(Work&& the_work) {
    try {
        the_work();
    } catch (...) {
        Report_Current_Failure();
    }
}

// ---- Work run on the display thread ----

using Display_Job = std::function<LRESULT()>;
enum Job_Owner : WPARAM { Owned_By_Sender, Owned_By_Display };
enum class Delivery {
    Posted,        // after the sent messages, as any posted message
    Sent_Unwaited  // queued as a sent message: before any later request from the same thread
};

// Runs the job on the display thread, the caller waiting, and returns its result; 0 when
// the main window is gone or the job failed (the failure is shown).
LRESULT Run_On_Display(const Display_Job& the_job);
// Hands the job over without waiting; the display thread frees it once run.
void Run_On_Display_Later(Display_Job the_job, Delivery the_delivery);
// Runs a job the main window received.
LRESULT Run_Display_Job(WPARAM w_param, LPARAM l_param);

// ---- The parts' display-thread entries ----

LRESULT CALLBACK Mainwindowproc(HWND window, UINT message, WPARAM w_param, LPARAM l_param);
void Run_Action_Handler();
void Run_Termination_Handler();
void Redraw_Main_Window();
// The status line's parts given room for their texts, and the texts set; display thread.
void Arrange_Status_Parts();
// The width of a text in the control's own font, in pixels.
int Text_Width_In(HWND the_window, const std::wstring& the_text);
// The note's part again, after the other parts were set anew.
void Lay_Out_Status_Note_Anew();
void Lay_Out_Status_Note();  // after the status line has its new size
// Makes the control's window and links it into its page; answers 1 when the window was
// made, 2 when it could not be.
LRESULT Create_Child(Page the_page, std::unique_ptr<Child_Information>& the_holder);
std::unique_ptr<Child_Information> New_Child(Kind the_kind, const std::wstring& the_title, int the_size);
Child_Information* Create_Through_Display(Page the_page, std::unique_ptr<Child_Information> the_child);
LRESULT List_View_Notification(Child_Information& the_view, NMHDR& the_header);
void* Row_Information(Child_Information& the_view, int the_index);  // null outside the rows
std::wstring Text_Of(const Child_Information& the_view, int the_column, void* the_information);
LRESULT Tree_View_Notification(Child_Information& the_tree, NMHDR& the_header);
void Register_Picture_Class();
// The list view's messages pass through the framework first: keys, menu, the empty text.
void Take_List_View_Messages(Child_Information& the_view);
// Where the menu about to be chosen from opens, in screen coordinates.
void Note_Menu_Point(POINT the_point);
void End_Sorts();  // every sort worker ends before the framework's threads count as ended

}  // namespace Gui::Internal
