// List views: their rows in the framework's keeping, the cell texts, colours and columns the
// control asks for or is given, its notifications, and the background sort of its rows.
#include <algorithm>
#include <utility>

#include "gui-internal.hpp"
#include "wide_text.hpp"

namespace Gui::Internal {

using Wide_Text::Widened;

void* Row_Information(Child_Information& the_view, int the_index) {
    std::lock_guard lock(the_view.Rows.Guard);
    if (the_index < 0 || static_cast<std::size_t>(the_index) >= the_view.Rows.Information.size()) {
        return nullptr;
    }
    return the_view.Rows.Information[the_index];
}

namespace {

LRESULT Update_Row_Count(Child_Information& the_view) {
    std::size_t count;
    {
        std::lock_guard lock(the_view.Rows.Guard);
        the_view.Rows.Count_Update_Is_Posted = false;
        count = the_view.Rows.Information.size();
    }
    Send_Message_Wide(the_view.The_Handle, LVM_SETITEMCOUNT, count,
                      LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    return 0;
}

// ---- The background sort ----

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

LRESULT Show_Sorted_Rows(Child_Information& the_view) {
    InvalidateRect(the_view.The_Handle, nullptr, FALSE);
    if (std::exception_ptr failure = the_view.Sorter.Take_Failure()) std::rethrow_exception(failure);
    return 0;
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

}  // namespace

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
    worker_ = std::thread(&Row_Sorter::Run, this, std::ref(the_view), order, ticket);
}

void Row_Sorter::Run(Child_Information& the_view, Sort_Order the_order, std::uint64_t the_ticket) {
    std::exception_ptr failure;
    try {
        Sort_Copy_Of_Rows(the_view, the_order, is_cancelled_);
    } catch (const Sort_Cancelled&) {
        return;
    } catch (...) {
        failure = std::current_exception();  // reported by the display thread
    }
    Finish(the_ticket, failure);
    Run_On_Display_Later([&the_view] { return Show_Sorted_Rows(the_view); }, Delivery::Posted);
}

void Row_Sorter::Finish(std::uint64_t the_ticket, std::exception_ptr the_failure) {
    std::lock_guard lock(state_guard_);
    finished_ = std::max(finished_, the_ticket);
    if (the_failure) failure_ = the_failure;
    finished_changed_.notify_all();
}

void End_Sorts() {
    for (const auto& page : State().Pages) {
        for (const auto& child : page->Children) {
            if (child->The_Kind == List_View_Kind) child->Sorter.End();
        }
    }
}

// ---- Notifications ----

std::wstring Text_Of(const Child_Information& the_view, int the_column, void* the_information) {
    if (!the_information) return {};
    if (the_view.Action_Is_Wide) return the_view.The_Wide_Text_Handler(the_column, the_information);
    return Widened(the_view.The_Text_Handler(the_column, the_information));
}

namespace {

void Give_Cell_Text(Child_Information& the_view, LVITEMW& the_item) {
    if (!(the_item.mask & LVIF_TEXT)) return;
    the_view.Cell_Text = Text_Of(the_view, the_item.iSubItem, Row_Information(the_view, the_item.iItem));
    the_item.pszText = the_view.Cell_Text.data();
}

bool Is_Typed_In(const std::wstring& the_text, const std::wstring& the_typed, bool is_beginning) {
    if (the_text.size() < the_typed.size()) return false;
    if (!is_beginning && the_text.size() != the_typed.size()) return false;
    int length = static_cast<int>(the_typed.size());
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, the_text.data(), length,
                          the_typed.data(), length) == CSTR_EQUAL;
}

// Typing in the view: the first row from the start row on, going round past the last, whose
// first column begins with the typed text (or is it, for a whole-text search), in any case,
// as Explorer finds it. The control then selects and shows that row; -1 finds none.
LRESULT Find_Row(Child_Information& the_view, const NMLVFINDITEMW& the_search) {
    const LVFINDINFOW& wanted = the_search.lvfi;
    if (!(wanted.flags & (LVFI_STRING | LVFI_PARTIAL)) || !wanted.psz || !*wanted.psz) return -1;
    const std::wstring typed = wanted.psz;
    const bool is_beginning = (wanted.flags & LVFI_PARTIAL) != 0;
    int count;
    {
        std::lock_guard lock(the_view.Rows.Guard);
        count = static_cast<int>(the_view.Rows.Information.size());
    }
    int start = the_search.iStart >= 0 && the_search.iStart < count ? the_search.iStart : 0;
    for (int step = 0; step < count; ++step) {
        int row = (start + step) % count;
        void* information = Row_Information(the_view, row);
        if (information && Is_Typed_In(Text_Of(the_view, 0, information), typed, is_beginning)) return row;
    }
    return -1;
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

}  // namespace

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
    case LVN_ODFINDITEMW: return Find_Row(the_view, reinterpret_cast<NMLVFINDITEMW&>(the_header));
    default: return 0;
    }
}

namespace {

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

void Change_Gridlines(const List_View& the_list_view, bool are_shown) {
    HWND window = Handle_Of(the_list_view);
    if (!window || !State().Is_Active) return;
    LRESULT style = Send_Message_Wide(window, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    style = are_shown ? style | LVS_EX_GRIDLINES : style & ~LVS_EX_GRIDLINES;
    Send_Message_Wide(window, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style);
}

}  // namespace

}  // namespace Gui::Internal

namespace Gui {

using namespace Internal;

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
    HWND window = Handle_Of(the_list_view);
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
    HWND window = Handle_Of(the_list_view);
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
    if (HWND window = Handle_Of(the_list_view)) {
        Send_Message_Wide(window, LVM_SETCOLUMNWIDTH, column, Make_Long(the_new_width, 0));
    }
}

int Width_Of(const List_View& the_list_view, int the_column) {
    int column = Zero_Based(the_column);
    HWND window = Handle_Of(the_list_view);
    return window ? static_cast<int>(Send_Message_Wide(window, LVM_GETCOLUMNWIDTH, column, 0)) : 0;
}

void Set_Title(const List_View& the_list_view, int the_column, const std::string& the_title) {
    int index = Zero_Based(the_column);
    HWND window = Handle_Of(the_list_view);
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
    if (!Handle_Of(the_list_view) || the_information.empty()) return;
    Child_Information& view = *the_list_view.Information();
    bool must_post;
    {
        std::lock_guard lock(view.Rows.Guard);
        view.Rows.Information.insert(view.Rows.Information.end(), the_information.begin(),
                                     the_information.end());
        must_post = !view.Rows.Count_Update_Is_Posted;
        view.Rows.Count_Update_Is_Posted = true;
    }
    if (must_post) Run_On_Display_Later([&view] { return Update_Row_Count(view); }, Delivery::Posted);
}

int Number_Of_Rows_Of(const List_View& the_list_view) {
    if (the_list_view.Is_Null()) return 0;
    Row_Storage& rows = the_list_view.Information()->Rows;
    std::lock_guard lock(rows.Guard);
    return static_cast<int>(rows.Information.size());
}

std::vector<void*> Rows_Of(const List_View& the_list_view) {
    if (the_list_view.Is_Null()) return {};
    Row_Storage& rows = the_list_view.Information()->Rows;
    std::lock_guard lock(rows.Guard);
    return rows.Information;
}

void Reserve_Space_For(const List_View& the_list_view, int amount) {
    if (amount < 0) throw Constraint_Error("negative amount");
    if (!Handle_Of(the_list_view)) return;
    Row_Storage& rows = the_list_view.Information()->Rows;
    std::lock_guard lock(rows.Guard);
    rows.Information.reserve(static_cast<std::size_t>(amount));
}

// Takes effect before returning: once the count is set no paint asks for the removed row.
void Remove_From(const List_View& the_list_view, int item_ordinal) {
    auto index = static_cast<std::size_t>(Zero_Based(item_ordinal));
    HWND window = Handle_Of(the_list_view);
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
    HWND window = Handle_Of(the_list_view);
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
    Set_Empty_Text(the_list_view, L"");
}

void Notify_Item_Update(const List_View& the_list_view, int item_ordinal) {
    int index = Zero_Based(item_ordinal);
    if (HWND window = Handle_Of(the_list_view)) Send_Message_Wide(window, LVM_UPDATE, index, 0);
}

void Repaint_Rows(const List_View& the_list_view) {
    if (HWND window = Handle_Of(the_list_view)) InvalidateRect(window, nullptr, FALSE);
}

void Make_Last_Visible_In(const List_View& the_list_view) {
    HWND window = Handle_Of(the_list_view);
    if (!window) return;
    int count = Number_Of_Rows_Of(the_list_view);
    if (count == 0) return;
    // The control must know of every appended row before it can scroll to the last.
    Child_Information& view = *the_list_view.Information();
    Run_On_Display([&view] { return Update_Row_Count(view); });
    Send_Message_Wide(window, LVM_ENSUREVISIBLE, count - 1, FALSE);
}

bool Select_Row_Of(const List_View& the_list_view, const void* the_information) {
    HWND window = Handle_Of(the_list_view);
    if (!window) return false;
    Child_Information& view = *the_list_view.Information();
    LRESULT index = -1;
    {
        std::lock_guard lock(view.Rows.Guard);
        const std::vector<void*>& rows = view.Rows.Information;
        const auto found = std::find(rows.begin(), rows.end(), the_information);
        if (found != rows.end()) index = found - rows.begin();
    }
    if (index < 0) return false;
    Run_On_Display([&view] { return Update_Row_Count(view); });
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    Send_Message_Wide(window, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    LVITEMW chosen = none;
    chosen.state = LVIS_SELECTED | LVIS_FOCUSED;
    Send_Message_Wide(window, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&chosen));
    Send_Message_Wide(window, LVM_ENSUREVISIBLE, index, FALSE);
    return true;
}

int Visible_Region_Of(const List_View& the_list_view) {
    HWND window = Handle_Of(the_list_view);
    return window ? static_cast<int>(Send_Message_Wide(window, LVM_GETCOUNTPERPAGE, 0, 0)) : 0;
}

void Add_Gridlines(const List_View& the_list_view) { Change_Gridlines(the_list_view, true); }
void Remove_Gridlines(const List_View& the_list_view) { Change_Gridlines(the_list_view, false); }

void Sort(const List_View& the_list_view, int the_column, Direction the_direction) {
    int column = Zero_Based(the_column);
    if (!Handle_Of(the_list_view) || !the_list_view.Information()->The_Sort_Routine) return;
    Child_Information& view = *the_list_view.Information();
    LRESULT ticket = Run_On_Display([&] {
        view.The_Sort_Column = column;
        view.The_Sort_Direction = the_direction;
        return static_cast<LRESULT>(Request_Sort(view));
    });
    if (ticket > 0) view.Sorter.Wait_For(static_cast<std::uint64_t>(ticket));
}

bool Is_Sorting(const List_View& the_list_view) {
    return !the_list_view.Is_Null() && the_list_view.Information()->Sorter.Is_Busy();
}

}  // namespace Gui
