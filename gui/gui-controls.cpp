// Control windows: the records of new controls and their creation on the display thread,
// and the operations of the simple controls (buttons, check boxes, edit and combo boxes,
// bars, rich edits and tree views).
#include <richedit.h>

#include <algorithm>
#include <type_traits>
#include <utility>

#include "gui-internal.hpp"
#include "wide_text.hpp"

namespace Gui::Internal {

using Wide_Text::Widened;

LRESULT Send_Message(HWND the_window, UINT the_message, WPARAM w_param, LPARAM l_param) {
    return SendMessageA(the_window, the_message, w_param, l_param);
}

LRESULT Send_Message_Wide(HWND the_window, UINT the_message, WPARAM w_param, LPARAM l_param) {
    return SendMessageW(the_window, the_message, w_param, l_param);
}

LPARAM Make_Long(int low_half, int high_half) {
    return static_cast<LPARAM>(MAKELONG(low_half, high_half));
}

HWND Handle_Of(const Child& the_control) {
    return the_control.Is_Null() ? nullptr : the_control.Information()->The_Handle;
}

HWND Buddy_Handle_Of(const Child& the_control) {
    if (the_control.Is_Null() || !the_control.Information()->Buddy_Child) return nullptr;
    return the_control.Information()->Buddy_Child->The_Handle;
}

int Zero_Based(int the_ordinal) {
    if (the_ordinal < 1) throw Constraint_Error("ordinal below 1");
    return the_ordinal - 1;
}

namespace {

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
    case Picture_Kind: return 0;
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
    case Picture_Kind: return Picture_Class;
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
    if (the_child.The_Kind == List_View_Kind) {
        Set_Unicode_For(the_child.The_Handle);
        Take_List_View_Messages(the_child);
    }
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

}  // namespace

// The control's semaphore is signalled on every way out, the waiting caller released.
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
        state.Our_Instance, child.The_Kind == Picture_Kind ? &child : nullptr);  // a picture finds its record by it
    if (!child.The_Handle) return 2;
    Prepare_Control(child);
    Link_Into(*the_page, &child);
    ++the_page->Nr_Of_Children;
    if (child.Is_Buddy || child.Is_Companion) {
        ++the_page->Nr_Of_Buddies;
    } else {
        ++the_page->Population[child.The_Kind];
    }
    the_page->Children.push_back(std::move(the_holder));
    if (the_page == state.Current_Page) Redraw_Main_Window();
    return 1;
}

namespace {

void Process_Tree_View_Click(Child_Information& the_tree, LPARAM the_information) {
    if (the_tree.The_Click_Routine) {
        Execute(the_tree.The_Click_Routine, reinterpret_cast<void*>(the_information));
    }
}

}  // namespace

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
    if (!the_page || !state.Private_Window) return nullptr;
    Child_Information* child = the_child.get();
    child->Parent_Page = the_page;
    child->The_Window_Id = state.The_Next_Child_Id++;
    LRESULT result = Run_On_Display([&] { return Create_Child(the_page, the_child); });
    if (result == 0) throw Control_Creation_Failure("the main window is gone");
    child->For_Completion.Wait();
    if (result != 1) throw Control_Creation_Failure("the control's window could not be made");
    return child;
}

namespace {

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


Child_Information* Simple_Control(Page the_page, std::unique_ptr<Child_Information> the_child) {
    if (!Is_Initialised()) return nullptr;
    return Create_Through_Display(the_page, std::move(the_child));
}

void Set_Check(HWND the_box, bool is_checked) {
    if (the_box) Send_Message(the_box, BM_SETCHECK, is_checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Check_Of(HWND the_box) { return the_box && Send_Message(the_box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

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

// The whole text of an edit or combo box, however long.
template <typename Character>
std::basic_string<Character> Text_Of(HWND the_window) {
    if (!the_window) return {};
    constexpr bool is_wide = std::is_same_v<Character, wchar_t>;
    auto length_now = [&] {
        return static_cast<int>(is_wide ? SendMessageW(the_window, WM_GETTEXTLENGTH, 0, 0)
                                        : SendMessageA(the_window, WM_GETTEXTLENGTH, 0, 0));
    };
    int length = length_now();
    for (;;) {
        std::basic_string<Character> text(static_cast<std::size_t>(std::max(length, 0)) + 1, Character{});
        int read;
        if constexpr (is_wide) {
            read = GetWindowTextW(the_window, text.data(), static_cast<int>(text.size()));
        } else {
            read = GetWindowTextA(the_window, text.data(), static_cast<int>(text.size()));
        }
        // A text that grew between the two questions is asked for again.
        int grown = read < length ? length : length_now();
        if (grown <= length) {
            text.resize(static_cast<std::size_t>(std::max(read, 0)));
            return text;
        }
        length = grown;
    }
}

}  // namespace

}  // namespace Gui::Internal

namespace Gui {

using namespace Internal;

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

// A box that holds the text already is left alone: it keeps its caret, and costs no repaint
// (milliseconds under Wine, on every display).
void Set(const Edit_Box& the_box, const std::wstring& the_text) {
    HWND window = Handle_Of(the_box);
    if (window && Text_Of<wchar_t>(window) != the_text) SetWindowTextW(window, the_text.c_str());
}

std::string Contents_Of(const Edit_Box& the_box) { return Text_Of<char>(Handle_Of(the_box)); }
std::wstring Wide_Contents_Of(const Edit_Box& the_box) { return Text_Of<wchar_t>(Handle_Of(the_box)); }

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

std::string Contents_Of(const Combo_Box& the_box) { return Text_Of<char>(Handle_Of(the_box)); }

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

}  // namespace Gui
