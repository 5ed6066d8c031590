// A note at the status line's right end, in a part of its own beside the others, with a
// button when it offers an action; the other parts keep their texts and share the room left.
#include "gui-internal.hpp"

namespace Gui::Internal {

int Text_Width_In(HWND the_window, const std::wstring& the_text) {
    HDC context = GetDC(the_window);
    const auto font = reinterpret_cast<HFONT>(Send_Message_Wide(the_window, WM_GETFONT, 0, 0));
    const HGDIOBJ old_font = font ? SelectObject(context, font) : nullptr;
    SIZE size{};
    GetTextExtentPoint32W(context, the_text.c_str(), static_cast<int>(the_text.size()), &size);
    if (old_font) SelectObject(context, old_font);
    ReleaseDC(the_window, context);
    return size.cx;
}

namespace {

constexpr int Id_Note_Button = 52;
constexpr int Note_Padding = 16;  // the part's borders and a little air, at 96 DPI
constexpr int Shield_Room = 24;   // the shield a button for administrators shows

// The display thread's.
struct Status_Note {
    std::wstring Text;
    std::wstring Button_Text;
    Action_Routine Action = nullptr;
    HWND Button = nullptr;
    WNDPROC Bar_Procedure = nullptr;
    bool Has_Part = false;
};
Status_Note The_Note;


std::vector<int> Part_Edges_Of(HWND the_bar) {
    const auto count = static_cast<int>(Send_Message_Wide(the_bar, SB_GETPARTS, 0, 0));
    std::vector<int> edges(static_cast<std::size_t>(std::max(count, 0)));
    if (count > 0) Send_Message_Wide(the_bar, SB_GETPARTS, count, reinterpret_cast<LPARAM>(edges.data()));
    return edges;
}

// The bar hands its button's press to the action queue.
LRESULT CALLBACK Bar_Procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    if (message == WM_COMMAND && LOWORD(w_param) == Id_Note_Button) {
        if (The_Note.Action) Execute(The_Note.Action);
        return 0;
    }
    return CallWindowProcW(The_Note.Bar_Procedure, window, message, w_param, l_param);
}

HWND Note_Button(HWND the_bar) {
    if (The_Note.Button) return The_Note.Button;
    SetWindowLongPtrW(the_bar, GWL_STYLE, GetWindowLongPtrW(the_bar, GWL_STYLE) | WS_CLIPCHILDREN);
    The_Note.Bar_Procedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(the_bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Bar_Procedure)));
    The_Note.Button = CreateWindowExW(0, L"Button", L"", WS_CHILD | BS_PUSHBUTTON, 0, 0, 0, 0, the_bar,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id_Note_Button)),
                                      State().Our_Instance, nullptr);
    Send_Message_Wide(The_Note.Button, WM_SETFONT, Send_Message_Wide(the_bar, WM_GETFONT, 0, 0), FALSE);
    return The_Note.Button;
}

void Remove_Note_Part(HWND the_bar) {
    if (The_Note.Button) ShowWindow(The_Note.Button, SW_HIDE);
    if (!The_Note.Has_Part) return;
    std::vector<int> edges = Part_Edges_Of(the_bar);
    if (edges.size() > 1) edges.pop_back();
    edges.back() = -1;
    Send_Message_Wide(the_bar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    The_Note.Has_Part = false;
}

void Place_Button(HWND the_bar, int the_part, int the_width) {
    HWND button = Note_Button(the_bar);
    SetWindowTextW(button, The_Note.Button_Text.c_str());
    Send_Message_Wide(button, BCM_SETSHIELD, 0, TRUE);
    RECT part{};
    Send_Message_Wide(the_bar, SB_GETRECT, the_part, reinterpret_cast<LPARAM>(&part));
    SetWindowPos(button, HWND_TOP, part.right - the_width, part.top, the_width, part.bottom - part.top,
                 SWP_SHOWWINDOW);
}

}  // namespace

void Lay_Out_Status_Note() {
    HWND bar = State().The_Status_Line;
    if (!bar) return;
    if (The_Note.Text.empty()) {
        Remove_Note_Part(bar);
        return;
    }
    std::vector<int> edges = Part_Edges_Of(bar);
    if (The_Note.Has_Part && edges.size() > 1) edges.pop_back();
    const int button_width = The_Note.Action ? Text_Width_In(bar, The_Note.Button_Text) + Note_Padding + Shield_Room : 0;
    const int note_width = Text_Width_In(bar, The_Note.Text) + Note_Padding + button_width;
    RECT client{};
    GetClientRect(bar, &client);
    const int note_left = std::max<int>(0, client.right - note_width - GetSystemMetrics(SM_CXVSCROLL));
    for (int& edge : edges)
        if (edge < 0 || edge > note_left) edge = note_left;
    edges.push_back(-1);
    Send_Message_Wide(bar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    The_Note.Has_Part = true;
    const int part = static_cast<int>(edges.size()) - 1;
    Send_Message_Wide(bar, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(The_Note.Text.c_str()));
    if (The_Note.Action) Place_Button(bar, part, button_width);
    else if (The_Note.Button) ShowWindow(The_Note.Button, SW_HIDE);
}

void Lay_Out_Status_Note_Anew() {
    The_Note.Has_Part = false;
    Lay_Out_Status_Note();
}

}  // namespace Gui::Internal

namespace Gui {

using namespace Internal;

void Set_Status_Note(const std::wstring& the_note, const std::wstring& the_button, Action_Routine the_action) {
    if (!Is_Initialised() || !Main_Window()) return;
    Run_On_Display_Later(
        [the_note, the_button, the_action] {
            The_Note.Text = the_note;
            The_Note.Button_Text = the_button;
            The_Note.Action = the_action;
            Lay_Out_Status_Note();
            return LRESULT{0};
        },
        Delivery::Sent_Unwaited);
}

}  // namespace Gui
