// A list view's own messages, taken before the control: the text an empty view shows, its
// keys, its menu and the copy of its rows; and the menus and clipboard they use.
#include <windowsx.h>

#include <cstring>
#include <mutex>

#include "gui-internal.hpp"

namespace Gui::Internal {

namespace {

constexpr const wchar_t* View_Property = L"Quarrix.List_View";
std::atomic<Menu_Chooser> The_Chooser{nullptr};
std::mutex Menu_Point_Guard;
POINT The_Menu_Point{};

Child_Information* View_Of(HWND the_window) {
    return static_cast<Child_Information*>(GetPropW(the_window, View_Property));
}

int Row_Count_Of(HWND the_window) { return static_cast<int>(Send_Message_Wide(the_window, LVM_GETITEMCOUNT, 0, 0)); }

// The row keys and the menu act on: the focused one when it is selected, else the first
// selected; -1 for none.
int Acted_On_Row(HWND the_window) {
    const auto focused = static_cast<int>(Send_Message_Wide(the_window, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (focused >= 0 && (Send_Message_Wide(the_window, LVM_GETITEMSTATE, focused, LVIS_SELECTED) & LVIS_SELECTED))
        return focused;
    return static_cast<int>(Send_Message_Wide(the_window, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

class Window_Drawing {
public:
    explicit Window_Drawing(HWND the_window) : window_(the_window), context_(GetDC(the_window)) {}
    Window_Drawing(const Window_Drawing&) = delete;
    Window_Drawing& operator=(const Window_Drawing&) = delete;
    ~Window_Drawing() { ReleaseDC(window_, context_); }
    HDC Context() const { return context_; }

private:
    HWND window_;
    HDC context_;
};

// Below the column titles, in the control's font and the colour of text that is not there.
void Paint_Empty_Text(HWND the_window, const Child_Information& the_view) {
    if (the_view.Empty_Text.empty() || Row_Count_Of(the_window) > 0) return;
    RECT area{};
    GetClientRect(the_window, &area);
    auto header = reinterpret_cast<HWND>(Send_Message_Wide(the_window, LVM_GETHEADER, 0, 0));
    RECT titles{};
    if (header && IsWindowVisible(header) && GetWindowRect(header, &titles)) area.top += titles.bottom - titles.top;
    const Window_Drawing drawing(the_window);
    HDC context = drawing.Context();
    const auto font = reinterpret_cast<HFONT>(Send_Message_Wide(the_window, WM_GETFONT, 0, 0));
    const HGDIOBJ old_font = font ? SelectObject(context, font) : nullptr;
    TEXTMETRICW metrics{};
    GetTextMetricsW(context, &metrics);
    InflateRect(&area, -metrics.tmHeight, -metrics.tmHeight);
    SetBkMode(context, TRANSPARENT);
    SetTextColor(context, GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(context, the_view.Empty_Text.c_str(), -1, &area, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    if (old_font) SelectObject(context, old_font);
}

// A cell's text on one line of the copy: tabs and line ends would start other cells or rows.
std::wstring One_Cell(std::wstring the_text) {
    for (wchar_t& character : the_text)
        if (character == L'\t' || character == L'\r' || character == L'\n') character = L' ';
    return the_text;
}

std::wstring Title_Of(HWND the_window, int the_column) {
    std::vector<wchar_t> title(512);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = title.data();
    column.cchTextMax = static_cast<int>(title.size());
    if (!Send_Message_Wide(the_window, LVM_GETCOLUMNW, the_column, reinterpret_cast<LPARAM>(&column))) return {};
    return title.data();
}

// On the display thread.
std::wstring Selected_Text_Of(Child_Information& the_view) {
    HWND window = the_view.The_Handle;
    auto header = reinterpret_cast<HWND>(Send_Message_Wide(window, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(Send_Message_Wide(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    std::wstring text;
    auto add_line = [&](auto cell_of) {
        for (int column = 0; column < columns; ++column) {
            if (column > 0) text += L'\t';
            text += One_Cell(cell_of(column));
        }
        text += L"\r\n";
    };
    add_line([&](int column) { return Title_Of(window, column); });
    for (auto row = static_cast<int>(Send_Message_Wide(window, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
         row >= 0; row = static_cast<int>(Send_Message_Wide(window, LVM_GETNEXTITEM, row, LVNI_SELECTED))) {
        void* information = Row_Information(the_view, row);
        add_line([&](int column) { return Text_Of(the_view, column, information); });
    }
    return text;
}

void Put_On_Clipboard(const std::wstring& the_text) {
    if (!OpenClipboard(State().Private_Window)) return;
    struct Closer {
        ~Closer() { CloseClipboard(); }
    } closer;
    EmptyClipboard();
    const std::size_t bytes = (the_text.size() + 1) * sizeof(wchar_t);
    Windows::Unique<HGLOBAL, GlobalFree> memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return;
    void* place = GlobalLock(memory.get());
    if (!place) return;
    std::memcpy(place, the_text.c_str(), bytes);
    GlobalUnlock(memory.get());
    if (SetClipboardData(CF_UNICODETEXT, memory.get())) static_cast<void>(memory.release());  // the clipboard's now
}

void Open_Menu(HWND the_window, Child_Information& the_view, LPARAM the_point) {
    const int row = Acted_On_Row(the_window);
    void* information = Row_Information(the_view, row);
    if (!information) return;
    POINT point{GET_X_LPARAM(the_point), GET_Y_LPARAM(the_point)};
    if (point.x == -1 && point.y == -1) {  // from the keyboard: at the row
        RECT label{LVIR_LABEL, 0, 0, 0};
        Send_Message_Wide(the_window, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&label));
        point = {label.left, label.bottom};
        ClientToScreen(the_window, &point);
    }
    Note_Menu_Point(point);
    Execute(the_view.The_Keys.Menu, information);
}

bool Run_If_Set(Action_Routine the_routine) {
    if (the_routine) Execute(the_routine);
    return the_routine != nullptr;
}

// True when the message is taken here and the control never sees it.
bool Take_Message(HWND the_window, Child_Information& the_view, UINT message, WPARAM w_param, LPARAM l_param) {
    const List_View_Keys& keys = the_view.The_Keys;
    switch (message) {
    case WM_KEYDOWN:
        if (w_param == VK_BACK) return Run_If_Set(keys.Back);
        if (w_param == VK_F5) return Run_If_Set(keys.Refresh);
        if (w_param == VK_RETURN && the_view.The_Click_Routine) {
            if (void* information = Row_Information(the_view, Acted_On_Row(the_window)))
                Execute(the_view.The_Click_Routine, information);
            return true;
        }
        return false;
    case WM_SYSKEYDOWN:
        // Shift+F10 as the menu key, taken here so that it never also opens the menu bar.
        if (w_param == VK_F10 && GetKeyState(VK_SHIFT) < 0 && keys.Menu) {
            Open_Menu(the_window, the_view, MAKELPARAM(-1, -1));
            return true;
        }
        return w_param == VK_LEFT && Run_If_Set(keys.Back);
    case WM_CHAR:
        if (w_param != 0x03) return false;  // Ctrl+C
        Put_On_Clipboard(Selected_Text_Of(the_view));
        return true;
    case WM_CONTEXTMENU:
        if (!keys.Menu) return false;
        Open_Menu(the_window, the_view, l_param);
        return true;
    case WM_SIZE: InvalidateRect(the_window, nullptr, TRUE); return false;  // the text is centred
    default: return false;
    }
}

LRESULT CALLBACK List_View_Procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    Child_Information* view = View_Of(window);
    if (!view) return DefWindowProcW(window, message, w_param, l_param);
    const WNDPROC control = view->Control_Procedure;
    bool is_taken = false;
    Run_Reporting([&] { is_taken = Take_Message(window, *view, message, w_param, l_param); });
    if (message == WM_NCDESTROY) RemovePropW(window, View_Property);
    if (is_taken) return 0;
    const LRESULT result = CallWindowProcW(control, window, message, w_param, l_param);
    if (message == WM_PAINT) Run_Reporting([&] { Paint_Empty_Text(window, *view); });
    return result;
}

LRESULT Track_Menu(const std::vector<std::wstring>& the_items) {
    Windows::Unique<HMENU, DestroyMenu> menu(CreatePopupMenu());
    if (!menu) return 0;
    for (std::size_t item = 0; item < the_items.size(); ++item)
        AppendMenuW(menu.get(), MF_STRING, item + 1, the_items[item].c_str());
    POINT point;
    {
        std::lock_guard lock(Menu_Point_Guard);
        point = The_Menu_Point;
    }
    HWND owner = State().Private_Window;
    SetForegroundWindow(owner);
    return TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, point.x, point.y, 0,
                          owner, nullptr);
}

}  // namespace

void Take_List_View_Messages(Child_Information& the_view) {
    SetPropW(the_view.The_Handle, View_Property, &the_view);
    the_view.Control_Procedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        the_view.The_Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(List_View_Procedure)));
}

void Note_Menu_Point(POINT the_point) {
    std::lock_guard lock(Menu_Point_Guard);
    The_Menu_Point = the_point;
}

}  // namespace Gui::Internal

namespace Gui {

using namespace Internal;

void Set_Keys(const List_View& the_list_view, const List_View_Keys& the_keys) {
    if (!Handle_Of(the_list_view)) return;
    Child_Information& view = *the_list_view.Information();
    Run_On_Display([&] {
        view.The_Keys = the_keys;
        return LRESULT{0};
    });
}

void Set_Empty_Text(const List_View& the_list_view, const std::wstring& the_text) {
    HWND window = Handle_Of(the_list_view);
    if (!window) return;
    Child_Information& view = *the_list_view.Information();
    Run_On_Display([&] {
        if (view.Empty_Text != the_text) {
            view.Empty_Text = the_text;
            InvalidateRect(window, nullptr, TRUE);
        }
        return LRESULT{0};
    });
}

std::wstring Empty_Text_Of(const List_View& the_list_view) {
    if (!Handle_Of(the_list_view)) return {};
    std::wstring text;
    Run_On_Display([&] {
        text = the_list_view.Information()->Empty_Text;
        return LRESULT{0};
    });
    return text;
}

std::wstring Selected_Rows_Text(const List_View& the_list_view) {
    if (!Handle_Of(the_list_view)) return {};
    std::wstring text;
    Run_On_Display([&] {
        text = Selected_Text_Of(*the_list_view.Information());
        return LRESULT{0};
    });
    return text;
}

void Copy_To_Clipboard(const std::wstring& the_text) {
    if (!Is_Initialised()) return;
    Run_On_Display([&] {
        Put_On_Clipboard(the_text);
        return LRESULT{0};
    });
}

int Choose_From_Menu(const std::vector<std::wstring>& the_items) {
    if (!Is_Initialised()) return 0;
    if (Menu_Chooser chooser = The_Chooser) return chooser(the_items);
    return static_cast<int>(Run_On_Display([&] { return Track_Menu(the_items); }));
}

void Set_Menu_Chooser(Menu_Chooser the_chooser) { The_Chooser = the_chooser; }

}  // namespace Gui
