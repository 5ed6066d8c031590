// Pictures: controls the application draws into an off-screen bitmap on the display thread,
// drawn again only when told or resized, and copied to the screen on every other paint, so
// that a picture of a million rectangles repaints as fast as one copy.
#include <windowsx.h>

#include "gui-internal.hpp"

namespace Gui::Internal {

namespace {

Child_Information* Picture_Of(HWND the_window) {
    return reinterpret_cast<Child_Information*>(GetWindowLongPtrW(the_window, GWLP_USERDATA));
}

// A bitmap of the new size is drawn whole; a failed allocation leaves the picture blank.
void Draw_If_Stale(Child_Information& the_picture, HDC the_screen, int width, int height) {
    Picture_Surface& surface = the_picture.Surface;
    if (!surface.Context || surface.Width != width || surface.Height != height) {
        surface.Context.reset();
        surface.Image.reset(CreateCompatibleBitmap(the_screen, std::max(width, 1), std::max(height, 1)));
        surface.Context.reset(CreateCompatibleDC(the_screen));
        if (!surface.Image || !surface.Context) return;
        SelectObject(surface.Context.get(), surface.Image.get());
        surface.Width = width;
        surface.Height = height;
        the_picture.Picture_Is_Stale = true;
    }
    if (the_picture.Picture_Is_Stale.exchange(false) && the_picture.The_Draw_Routine)
        the_picture.The_Draw_Routine(surface.Context.get(), width, height);
}

class Paint_Session {
public:
    explicit Paint_Session(HWND the_window) : window_(the_window), context_(BeginPaint(the_window, &paint_)) {}
    Paint_Session(const Paint_Session&) = delete;
    Paint_Session& operator=(const Paint_Session&) = delete;
    ~Paint_Session() { EndPaint(window_, &paint_); }
    HDC Context() const { return context_; }
    const RECT& Area() const { return paint_.rcPaint; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC context_;
};

void Paint(HWND the_window, Child_Information& the_picture) {
    const Paint_Session session(the_window);
    RECT client{};
    GetClientRect(the_window, &client);
    Draw_If_Stale(the_picture, session.Context(), client.right, client.bottom);
    if (!the_picture.Surface.Context) return;
    const RECT& area = session.Area();
    BitBlt(session.Context(), area.left, area.top, area.right - area.left, area.bottom - area.top,
           the_picture.Surface.Context.get(), area.left, area.top, SRCCOPY);
}

void Run_Press_Routine(void* the_picture) {
    const Child_Information& picture = *static_cast<const Child_Information*>(the_picture);
    const LPARAM point = picture.Pressed_Point;
    if (picture.The_Press_Routine) picture.The_Press_Routine(GET_X_LPARAM(point), GET_Y_LPARAM(point));
}

void Run_Menu_Routine(void* the_picture) {
    const Child_Information& picture = *static_cast<const Child_Information*>(the_picture);
    const LPARAM point = picture.Menu_Point;
    if (picture.The_Menu_Point_Routine) picture.The_Menu_Point_Routine(GET_X_LPARAM(point), GET_Y_LPARAM(point));
}

// A menu asked for from the keyboard opens at the picture's corner.
void Ask_For_Menu(HWND the_window, Child_Information& the_picture, LPARAM the_point) {
    if (!the_picture.The_Menu_Point_Routine) return;
    POINT point{GET_X_LPARAM(the_point), GET_Y_LPARAM(the_point)};
    if (point.x == -1 && point.y == -1) {
        point = {0, 0};
        ClientToScreen(the_window, &point);
    }
    Note_Menu_Point(point);
    POINT inside = point;
    ScreenToClient(the_window, &inside);
    the_picture.Menu_Point = MAKELPARAM(inside.x, inside.y);
    Execute(Run_Menu_Routine, &the_picture);
}

LRESULT Handle_Picture_Message(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(l_param);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    Child_Information* picture = Picture_Of(window);
    if (!picture) return DefWindowProcW(window, message, w_param, l_param);
    switch (message) {
    case WM_ERASEBKGND: return 1;  // the bitmap covers every pixel
    case WM_PAINT: Paint(window, *picture); return 0;
    case WM_MOUSEMOVE:
        if (!picture->Is_Told_Of_Leaving) {
            TRACKMOUSEEVENT leaving{sizeof leaving, TME_LEAVE, window, 0};
            picture->Is_Told_Of_Leaving = TrackMouseEvent(&leaving);
        }
        if (picture->The_Hover_Routine) picture->The_Hover_Routine(GET_X_LPARAM(l_param), GET_Y_LPARAM(l_param));
        return 0;
    case WM_MOUSELEAVE:
        picture->Is_Told_Of_Leaving = false;
        if (picture->The_Hover_Routine) picture->The_Hover_Routine(-1, -1);
        return 0;
    case WM_LBUTTONDOWN:
        picture->Pressed_Point = l_param;
        if (picture->The_Press_Routine) Execute(Run_Press_Routine, picture);
        return 0;
    case WM_CONTEXTMENU: Ask_For_Menu(window, *picture, l_param); return 0;
    default: return DefWindowProcW(window, message, w_param, l_param);
    }
}

LRESULT CALLBACK Picture_Procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    LRESULT result = 0;
    Run_Reporting([&] { result = Handle_Picture_Message(window, message, w_param, l_param); });
    return result;
}

}  // namespace

void Register_Picture_Class() {
    WNDCLASSW picture_class{};
    picture_class.lpfnWndProc = Picture_Procedure;
    picture_class.hInstance = State().Our_Instance;
    picture_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    picture_class.lpszClassName = Picture_Class;
    RegisterClassW(&picture_class);
}

}  // namespace Gui::Internal

namespace Gui {

using namespace Internal;

Picture Create(Page the_page, Draw_Routine the_draw_routine, Point_Routine the_hover_routine,
               Point_Routine the_press_routine) {
    auto child = New_Child(Picture_Kind, L"", 0);
    child->The_Draw_Routine = the_draw_routine;
    child->The_Hover_Routine = the_hover_routine;
    child->The_Press_Routine = the_press_routine;
    return Picture(Create_Through_Display(the_page, std::move(child)));
}

void Redraw(const Picture& the_picture) {
    if (the_picture.Is_Null()) return;
    the_picture.Information()->Picture_Is_Stale = true;
    InvalidateRect(the_picture.Information()->The_Handle, nullptr, FALSE);
}

void Set_Menu_Routine(const Picture& the_picture, Point_Routine the_routine) {
    if (the_picture.Is_Null()) return;
    Child_Information& picture = *the_picture.Information();
    Run_On_Display([&] {
        picture.The_Menu_Point_Routine = the_routine;
        return LRESULT{0};
    });
}

}  // namespace Gui
