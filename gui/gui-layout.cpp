// The layout of the current page in the main window: which row each control takes, the
// deferred batch that moves them, and the text measurements the rows are sized by.
#include <algorithm>

#include "gui-internal.hpp"

namespace Gui::Internal {

namespace {

constexpr int Vertical_Raster = 30;
constexpr int Third_Raster = 10;
constexpr int Minimum_Control_Width = 100;

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
            if (child->Is_Buddy || child->Is_Companion) continue;
            switch (child->The_Kind) {
            case Button_Kind: Place_Button(*child); break;
            case List_View_Kind:
            case Tree_View_Kind:
            case Rich_Edit_Kind:
            case Picture_Kind: Place_Large(*child); break;
            default: Place_In_Row(*child); break;
            }
        }
    }

private:
    int Width() const { return area_.right - area_.left; }
    int Count(Kind the_kind) const { return page_.Population[the_kind]; }
    int Large_Controls() const {
        return Count(List_View_Kind) + Count(Tree_View_Kind) + Count(Rich_Edit_Kind) + Count(Picture_Kind);
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
        int room = area_.right - x - Companions_Width(the_child);
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
        Place_Companions(the_child, x + std::max(width, 0), top, fits);
    }

    static int Companions_Width(const Child_Information& the_child) {
        int width = 0;
        for (const Child_Information* companion : the_child.Companions) width += companion->The_Title_Size;
        return width;
    }

    void Place_Companions(const Child_Information& the_child, int x, int top, bool fits) {
        for (const Child_Information* companion : the_child.Companions) {
            const int height = companion->The_Kind == Combo_Box_Kind ? 200 : box_height_;
            Move(*companion, x, top, companion->The_Title_Size, fits ? height : 0);
            x += companion->The_Title_Size;
        }
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

}  // namespace

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

void Arrange_Status_Parts() {
    HWND status_line = State().The_Status_Line;
    if (!status_line) return;
    const std::vector<std::wstring>& texts = State().Status_Parts;
    RECT client{};
    GetClientRect(status_line, &client);
    // Each part's right edge: the last reaches the end, the first takes what the others leave.
    std::vector<int> edges(texts.size() + 1, -1);
    int right = client.right;
    for (std::size_t part = texts.size(); part >= 1; --part) {
        if (part < texts.size()) edges[part] = right;
        constexpr int padding = 24;  // the part's borders, and the size grip on the last
        if (!texts[part - 1].empty()) right -= Text_Width_In(status_line, texts[part - 1]) + padding;
    }
    if (!texts.empty()) edges[0] = std::max(0, right);
    SendMessageW(status_line, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    for (std::size_t part = 0; part < texts.size(); ++part)
        SendMessageW(status_line, SB_SETTEXTW, part + 1, reinterpret_cast<LPARAM>(texts[part].c_str()));
    Lay_Out_Status_Note_Anew();
}

}  // namespace Gui::Internal
