#pragma once
// The GUI framework: one main window with pages of controls, a display thread that owns
// every window, a one-slot action queue served by the action-handler thread, and list
// views driven by application callbacks.
//
// Every operation on a control whose handle is null (never created) does nothing and
// returns the type's default, so application logic can run without a window.

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "strings.hpp"

namespace Gui {

QUARRIX_FAILURE(Sequence_Error, "GUI.SEQUENCE_ERROR");
QUARRIX_FAILURE(Action_Routine_Is_Defined, "GUI.ACTION_ROUTINE_IS_DEFINED");
QUARRIX_FAILURE(Main_Window_Creation_Failure, "GUI.MAIN_WINDOW_CREATION_FAILURE");
QUARRIX_FAILURE(Status_Line_Creation_Failure, "GUI.STATUS_LINE_CREATION_FAILURE");
QUARRIX_FAILURE(Tab_Creation_Failure, "GUI.TAB_CREATION_FAILURE");
QUARRIX_FAILURE(Control_Creation_Failure, "GUI.CONTROL_CREATION_FAILURE");

struct Child_Information;
struct Page_Information;

using Action_Routine = void (*)();
using Click_Routine = void (*)(void* information);

// Opaque handles to a control's record.
class Child {
public:
    Child() = default;
    explicit Child(Child_Information* information) : information_(information) {}
    Child_Information* Information() const { return information_; }
    bool Is_Null() const { return information_ == nullptr; }

private:
    Child_Information* information_ = nullptr;
};
class Button : public Child { using Child::Child; };
class Check_Box : public Child { using Child::Child; };
class Edit_Box : public Child { using Child::Child; };
class Plain_Edit_Box : public Edit_Box { using Edit_Box::Edit_Box; };
class Checked_Edit_Box : public Edit_Box { using Edit_Box::Edit_Box; };
class Combo_Box : public Child { using Child::Child; };
class Plain_Combo_Box : public Combo_Box { using Combo_Box::Combo_Box; };
class Checked_Combo_Box : public Combo_Box { using Combo_Box::Combo_Box; };
class Track_Bar : public Child { using Child::Child; };
class Progress_Bar : public Child { using Child::Child; };
class Rich_Edit : public Child { using Child::Child; };
class Tree_View : public Child { using Child::Child; };
class List_View : public Child { using Child::Child; };
class Picture : public Child { using Child::Child; };

using Page = Page_Information*;

// ---- Start-up, main window and shut-down ----

void Initialise();  // menu, termination thread, action queue, common controls, colours

// Starts the display and action-handler threads; returns once the main window, its status
// line and its tab control exist. A width or height of 0 means the system's default.
void Create(const std::string& application_name, Action_Routine termination_routine,
            int window_width, int window_height, int window_x_position, int window_y_position,
            const std::string& icon_name, bool always_topmost);

// The application has built its window. A close asked for before (the user's close box) is
// served only from now on, so that no control is still being added when the termination
// routine runs and the window goes. Close and Wait_For_End say so as well: a start that failed
// and closes still ends, and whoever waits for the end has built all it will.
void Start_Up_Complete();

// Waits until the framework's threads have ended: after the window was closed, or at once
// when the window was never created.
void Wait_For_End();

void Close();  // as if the user clicked the close box
void Get_Window_Metrics(int& x_position, int& y_position, int& window_width, int& window_height);
bool Application_Is_Minimized();
bool Application_Is_Maximized();
HWND Main_Window();  // null before Create and after the window was destroyed

void Message_Box(const std::string& the_message, bool is_exclamation);
// Tests replace the modal box by their own reporter; null restores the box.
using Message_Reporter = void (*)(const std::string& the_message, bool is_exclamation);
void Set_Message_Reporter(Message_Reporter the_reporter);

// The main window's title: the application's name, then the detail after a dash when there
// is one.
void Set_Title_Detail(const std::wstring& the_detail);

// The standard Open and Save dialogs over the main window, for files of one type, named as
// in "Quarrix scans" with the extension "qscan"; none when the user cancels. Save asks
// before replacing a file and adds the extension to a name typed without one.
std::optional<std::wstring> File_To_Open(const std::wstring& the_type, const std::wstring& the_extension);
std::optional<std::wstring> File_To_Save(const std::wstring& the_type, const std::wstring& the_extension,
                                         const std::wstring& the_suggestion);
// The system's folder picker over the main window, opened at the folder; none when the user
// cancels. Where the picker of today's systems is missing, the older folder browser.
std::optional<std::wstring> Folder_To_Open(const std::wstring& the_start);
// Tests answer the dialogs themselves; null restores the dialogs.
using File_Chooser = std::optional<std::wstring> (*)(bool to_save, const std::wstring& the_extension);
void Set_File_Chooser(File_Chooser the_chooser);

// ---- Action queue ----

void Execute(Action_Routine the_routine);
void Execute(Click_Routine the_routine, void* the_information);
// The routine run when Request_Callback is called from any thread.
void Set_Callback_Routine(Action_Routine the_routine);
void Request_Callback();

// ---- Pages and status line ----

struct Page_Style {
    bool Equal_Buttons = false;     // buttons share the row in equal widths
    bool Buttons_Fill_Page = false;  // button height grows with the space left
};
inline constexpr Page_Style Default_Page_Style{};

Page Add_Page(const std::string& the_title, Page_Style the_style = Default_Page_Style,
              Action_Routine the_action = nullptr);
void Set_Keyboard_Focus(Page the_page, const Child& the_control);
bool Is_Shown(Page the_page);  // the page whose tab is selected

// A COM apartment on the calling thread while the object lives, for the shell's objects and
// dialogs; one already there is used as it is.
class Apartment {
public:
    Apartment();
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment();

private:
    bool is_own_;
};
void Set_Status_Line(const std::string& the_text);
void Set_Status_Line(const std::wstring& the_text);
// Further parts of the status line, to the right of the first, each as wide as its text;
// an empty text removes the part's room. Parts are numbered from 1.
void Set_Status_Line_Part(int the_part, const std::wstring& the_text);
// A note in a part of its own at the status line's right end, beside the line's text, which
// stays as it is; with a button for administrators when an action is given. An empty note
// removes the part. From any thread.
void Set_Status_Note(const std::wstring& the_note, const std::wstring& the_button = L"",
                     Action_Routine the_action = nullptr);

void Enable(const Child& the_control);
void Disable(const Child& the_control);

// ---- Simple controls ----

struct Combo_Style {
    bool Is_Editable = false;  // the user may type a value of his own
    bool Is_Sorted = false;
};
inline constexpr Combo_Style Default_Combo_Style{};

Button Create(Page the_page, const std::string& the_text, Action_Routine the_action_routine,
              int the_button_size);
Progress_Bar Create(Page the_page);
Track_Bar Create(Page the_page, const std::string& the_title);
// A literal title would otherwise convert to the rich edit's bool before it became a string.
inline Track_Bar Create(Page the_page, const char* the_title) {
    return Create(the_page, std::string(the_title));
}
Check_Box Create(Page the_page, const std::string& the_title, Action_Routine the_action_routine);
// A size of 0 takes the room left; a negative title size fits the title.
Plain_Edit_Box Create(Page the_page, const std::string& the_title, const std::string& initial_text,
                      Action_Routine the_action_routine, bool is_password = false,
                      int the_size = 0, int the_title_size = -1);
Plain_Edit_Box Create_Wide(Page the_page, const std::wstring& the_title,
                           const std::wstring& initial_text, Action_Routine the_action_routine,
                           bool is_password = false, int the_size = 0, int the_title_size = -1);
Checked_Edit_Box Create_Checked(Page the_page, const std::string& the_title,
                                const std::string& initial_text,
                                Action_Routine the_action_routine, bool is_password = false,
                                int the_size = 0, int the_title_size = -1);
Plain_Combo_Box Create(Page the_page, const std::string& the_title,
                       Action_Routine the_action_routine, Combo_Style the_style,
                       int the_size = 0, int the_title_size = -1);
Checked_Combo_Box Create_Checked(Page the_page, const std::string& the_title,
                                 Action_Routine the_action_routine, Combo_Style the_style,
                                 int the_size = 0, int the_title_size = -1);
Tree_View Create(Page the_page, Click_Routine the_click_routine);
Rich_Edit Create(Page the_page, bool word_wrapping);

void Set_Text(const Child& the_control, const std::string& the_text);  // button, edit box
void Set(const Edit_Box& the_box, const std::wstring& the_text);
std::string Contents_Of(const Edit_Box& the_box);        // the whole text, however long
std::wstring Wide_Contents_Of(const Edit_Box& the_box);  // the whole text, however long

void Set(const Check_Box& the_box);
void Clear(const Check_Box& the_box);
bool Is_Checked(const Check_Box& the_box);
void Set(const Checked_Edit_Box& the_box);  // its check box
void Clear(const Checked_Edit_Box& the_box);
bool Is_Checked(const Checked_Edit_Box& the_box);
void Set(const Checked_Combo_Box& the_box);
void Clear(const Checked_Combo_Box& the_box);
bool Is_Checked(const Checked_Combo_Box& the_box);

// A button, or a drop-down list of choices, at the right end of the box's row, of the width
// given; the box keeps the rest of the row.
Button Create_Beside(const Edit_Box& the_box, const std::string& the_text, Action_Routine the_action_routine,
                     int the_width);
Plain_Combo_Box Create_List_Beside(const Edit_Box& the_box, Action_Routine the_action_routine, int the_width);

void Add_Choice(const Combo_Box& the_box, const std::string& the_choice);
void Add_Wide_Choice(const Combo_Box& the_box, const std::wstring& the_choice);
void Remove_All_Choices(const Combo_Box& the_box);
int Selected_Ordinal(const Combo_Box& the_box);  // 1-based; 0 for none
void Clear_Selection(const Combo_Box& the_box);
void Select(const Combo_Box& the_box, int the_ordinal);  // 1-based
std::string Contents_Of(const Combo_Box& the_box);       // the whole text, however long

void Define_Range(const Progress_Bar& the_bar, int the_extent, int the_step);
void Report_Progress(const Progress_Bar& the_bar, int the_extent);
void Increment_Progress(const Progress_Bar& the_bar);
void Set_Color(const Progress_Bar& the_bar, COLORREF the_color);

void Define_Range(const Track_Bar& the_bar, int the_extent);
void Define_Tic_Frequency(const Track_Bar& the_bar, int the_frequency);
void Set_Position(const Track_Bar& the_bar, int the_position);

void Append_To(const Rich_Edit& the_edit, const std::string& the_text, COLORREF the_color);
void Append_Line_To(const Rich_Edit& the_edit, const std::string& the_text, COLORREF the_color);
void Append_Wide_To(const Rich_Edit& the_edit, const std::wstring& the_text, COLORREF the_color);
void Append_Wide_Line_To(const Rich_Edit& the_edit, const std::wstring& the_text,
                         COLORREF the_color);
void Clear(const Rich_Edit& the_edit);

using Tree_Item = HTREEITEM;
inline const Tree_Item Root_Item = TVI_ROOT;
enum class Position { First, Last, Sorted };
Tree_Item Add_Item(const Tree_View& the_tree, const std::string& the_title, Tree_Item the_parent,
                   Position the_position, void* the_information);
Tree_Item Add_Item(const Tree_View& the_tree, const std::string& the_title, Tree_Item the_parent,
                   Tree_Item after_item, void* the_information);
Tree_Item Add_Wide_Item(const Tree_View& the_tree, const std::wstring& the_title,
                        Tree_Item the_parent, Tree_Item after_item, void* the_information);
void Rename_Item(const Tree_View& the_tree, Tree_Item the_item, const std::string& the_title);
void Rename_Wide_Item(const Tree_View& the_tree, Tree_Item the_item, const std::wstring& the_title);

// ---- List views ----

enum class Comparison { Less, Equal, Greater };
enum class Justification { Left, Center, Right };
enum class Direction { Ascending, Descending };

using Text_Handler = std::string (*)(int for_details, void* with_information);
using Wide_Text_Handler = std::wstring (*)(int for_details, void* with_information);
using Color_Handler = COLORREF (*)(void* for_information);
using Sort_Routine = Comparison (*)(int for_column, void* first_information,
                                    void* second_information);

extern COLORREF Black, Gray, Brown, Red, Olive, Orange, Yellow, Green, Cyan, Blue, Magenta;

List_View Create(Page the_page, Text_Handler the_text_handler, Color_Handler the_color_handler,
                 Sort_Routine the_sort_routine, Click_Routine the_click_routine,
                 bool use_proportional_font);
List_View Create(Page the_page, Wide_Text_Handler the_text_handler,
                 Color_Handler the_color_handler, Sort_Routine the_sort_routine,
                 Click_Routine the_click_routine, bool use_proportional_font);

void Add_Column(const List_View& the_list_view, const std::string& the_title, int the_width,
                Justification the_justification);
void Remove_Last_Column(const List_View& the_list_view);
int Number_Of_Columns_Of(const List_View& the_list_view);
void Set_Width(const List_View& the_list_view, int the_column, int the_new_width);  // 1-based
int Width_Of(const List_View& the_list_view, int the_column);                       // 1-based
void Set_Title(const List_View& the_list_view, int the_column, const std::string& the_title);

void Add_Data(const List_View& the_list_view, void* the_information);
// Several rows at once, in order, as if added one after the other.
void Add_Data(const List_View& the_list_view, std::span<void* const> the_information);
int Number_Of_Rows_Of(const List_View& the_list_view);
// The rows' information in the order shown.
std::vector<void*> Rows_Of(const List_View& the_list_view);
void Reserve_Space_For(const List_View& the_list_view, int amount);
void Remove_From(const List_View& the_list_view, int item_ordinal);  // 1-based, display order
void Remove_All_From(const List_View& the_list_view);
void Notify_Item_Update(const List_View& the_list_view, int item_ordinal);  // 1-based
// Every row shown is painted again soon, its texts asked for afresh; from any thread, at
// the cost of one call however many rows there are.
void Repaint_Rows(const List_View& the_list_view);
void Make_Last_Visible_In(const List_View& the_list_view);
// Selects the row of the information alone and scrolls it into view; false when no row has it.
bool Select_Row_Of(const List_View& the_list_view, const void* the_information);
int Visible_Region_Of(const List_View& the_list_view);
void Add_Gridlines(const List_View& the_list_view);
void Remove_Gridlines(const List_View& the_list_view);
// Returns once the rows are in the new order. A header click sorts in the background: the
// view shows the old order until the new one is complete.
void Sort(const List_View& the_list_view, int the_column, Direction the_direction);  // 1-based
bool Is_Sorting(const List_View& the_list_view);  // a requested order is not yet shown

// What a list view's keys and menu do besides a double click, each run on the action
// handler: Enter runs the click routine on the focused row; Backspace and Alt+Left go back;
// F5 refreshes; the menu key, Shift+F10 and the right button run the menu routine on the
// focused row. Ctrl+C copies the selected rows with the column titles, tab-separated.
struct List_View_Keys {
    Action_Routine Back = nullptr;
    Action_Routine Refresh = nullptr;
    Click_Routine Menu = nullptr;
};
void Set_Keys(const List_View& the_list_view, const List_View_Keys& the_keys);
// The text an empty list view shows instead of rows; removing its rows removes it.
void Set_Empty_Text(const List_View& the_list_view, const std::wstring& the_text);
std::wstring Empty_Text_Of(const List_View& the_list_view);
// The selected rows as Ctrl+C copies them: the titles, then a line a row, cells split by tabs.
std::wstring Selected_Rows_Text(const List_View& the_list_view);

void Copy_To_Clipboard(const std::wstring& the_text);
// A menu of the items where the user last asked for one; the 1-based item chosen, 0 for none.
int Choose_From_Menu(const std::vector<std::wstring>& the_items);
// Tests choose themselves; null restores the menu.
using Menu_Chooser = int (*)(const std::vector<std::wstring>& the_items);
void Set_Menu_Chooser(Menu_Chooser the_chooser);

// ---- Pictures ----

// Draws the whole picture into the context, on the display thread.
using Draw_Routine = void (*)(HDC into, int width, int height);
using Point_Routine = void (*)(int x, int y);  // in the picture's own pixels

// A picture the application draws into an off-screen bitmap: drawn when first shown, after
// Redraw and after a change of size, and only copied to the screen on any other paint. The
// hover routine runs on the display thread as the mouse moves over it, and once with (-1, -1)
// when the mouse leaves it; the press routine runs on the action handler after a click of
// the left button.
Picture Create(Page the_page, Draw_Routine the_draw_routine, Point_Routine the_hover_routine,
               Point_Routine the_press_routine);
void Redraw(const Picture& the_picture);  // from any thread; the picture is drawn again soon
// The routine run on the action handler, with the point, when a menu is asked for over it.
void Set_Menu_Routine(const Picture& the_picture, Point_Routine the_routine);

// The control's window, for the registered layer and for tests; null for a null handle.
HWND Window_Of(const Child& the_control);

}  // namespace Gui
