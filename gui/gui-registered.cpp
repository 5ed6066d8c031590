// The registered layer: column widths and the window placement kept in the registry.
#include "gui-registered.hpp"

#include <algorithm>
#include <deque>
#include <exception>
#include <mutex>

namespace Gui::Registered {

List_View_Data List_Views;
int Last_List_View_Id = 0;

namespace {

const std::string Metrics_Topic = "\\Metrics";

// The records List_Views refers to; a deque never moves what it holds.
std::deque<List_View_Element> the_elements;
Action_Routine the_termination_handler = nullptr;
// Columns are added from the action and searcher threads, and saved from the termination
// thread.
std::mutex the_guard;

// The registry's lock first, then the layer's guard: the order of a caller that already
// holds the registry when it adds a column.
struct Layer_Lock {
    std::unique_lock<std::recursive_mutex> registry = Registry::Exclusive_Use();
    std::lock_guard<std::mutex> own{the_guard};
};

struct Placement {
    int X, Y, Width, Height;
};

bool Is_Default_Position(int coordinate) { return coordinate == static_cast<int>(CW_USEDEFAULT); }

RECT Virtual_Screen() {
    int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
            top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

// Whether a window placed so shows at least part of itself on some screen.
bool Is_On_Screen(const Placement& the_placement) {
    if (Is_Default_Position(the_placement.X) || Is_Default_Position(the_placement.Y)) return true;
    RECT screen = Virtual_Screen();
    // A size of 0 is the system's choice: the corner at least must be on the screen.
    int width = std::max(the_placement.Width, 1);
    int height = std::max(the_placement.Height, 1);
    RECT window{the_placement.X, the_placement.Y, the_placement.X + width,
                the_placement.Y + height};
    RECT common{};
    return IntersectRect(&common, &window, &screen) != 0;
}

// The stored placement, or where it cannot be right (a window of no or negative size, or one
// off every screen, as after a change of monitors) the application's own, stored instead.
Placement Stored_Placement(const Placement& the_default) {
    auto registry = Registry::Exclusive_Use();
    Registry::Define(Metrics_Topic);
    Placement stored{};
    stored.Y = Registry::Value_Of("Y-Position", the_default.Y);
    stored.X = Registry::Value_Of("X-Position", the_default.X);
    stored.Height = Registry::Value_Of("Height", the_default.Height);
    stored.Width = Registry::Value_Of("Width", the_default.Width);
    if (stored.Width <= 0 || stored.Height <= 0) {
        stored.Width = the_default.Width;
        stored.Height = the_default.Height;
        Registry::Set("Width", stored.Width);
        Registry::Set("Height", stored.Height);
    }
    if (!Is_On_Screen(stored)) {
        stored.X = the_default.X;
        stored.Y = the_default.Y;
        Registry::Set("X-Position", stored.X);
        Registry::Set("Y-Position", stored.Y);
    }
    return stored;
}

int Identifier_Of(const List_View& the_list_view) {
    for (auto position = First(List_Views); Has_Element(position); position = Next(position)) {
        const List_View_Element& element = *Element_At(position);
        if (element.Gui_List_View.Information() == the_list_view.Information()) {
            return element.List_View_Id;
        }
    }
    return ++Last_List_View_Id;
}

// Columns are only ever added at the end, so a registered column of this list view at or
// beyond the new one's position has been removed since: forgetting it keeps its stored width
// from being overwritten by whatever column holds that position at close.
void Forget_Removed_Columns(const List_View& the_list_view, int from_column) {
    List_View_Data kept;
    for (auto position = First(List_Views); Has_Element(position); position = Next(position)) {
        List_View_Element* element = Element_At(position);
        if (element->Gui_List_View.Information() != the_list_view.Information() ||
            element->Column_Number < from_column) {
            Append(element, kept);
        }
    }
    List_Views = std::move(kept);
}

int Stored_Width(const std::string& the_name, int the_default) {
    auto registry = Registry::Exclusive_Use();
    Registry::Define(Metrics_Topic);
    int width = Registry::Value_Of(the_name, the_default);
    if (width >= 0) return width;
    // A negative width would fail every start: it counts as no width at all.
    Registry::Set(the_name, the_default);
    return the_default;
}

void Save_Metrics() {
    Layer_Lock lock;
    if (Application_Is_Minimized() || Application_Is_Maximized()) return;
    Registry::Define(Metrics_Topic);
    Placement window{};
    Get_Window_Metrics(window.X, window.Y, window.Width, window.Height);
    Registry::Set("X-Position", window.X);
    Registry::Set("Y-Position", window.Y);
    Registry::Set("Width", window.Width);
    Registry::Set("Height", window.Height);
    for (auto position = First(List_Views); Has_Element(position); position = Next(position)) {
        const List_View_Element& element = *Element_At(position);
        // A column removed and not yet added again keeps the width stored for it: the view
        // would answer 0 for it.
        if (element.Column_Number > Number_Of_Columns_Of(element.Gui_List_View)) continue;
        Registry::Set(Value_Name_Of(element.List_View_Id, element.Column_Title),
                      Width_Of(element.Gui_List_View, element.Column_Number));
    }
}

// Under the layer's lock.
void Add_Registered_Column(const List_View& the_list_view, const std::string& the_title,
                           int the_width, Justification the_justification) {
    List_View_Element element{the_list_view, Number_Of_Columns_Of(the_list_view) + 1, 0,
                              the_title};
    element.List_View_Id = Identifier_Of(the_list_view);
    Forget_Removed_Columns(the_list_view, element.Column_Number);
    the_elements.push_back(element);
    Append(&the_elements.back(), List_Views);
    int width = Stored_Width(Value_Name_Of(element.List_View_Id, the_title), the_width);
    Gui::Add_Column(the_list_view, the_title, width, the_justification);
}

// Run at termination. The application's handler runs even when saving failed: it is what
// ends the application's own threads.
void Close() {
    std::exception_ptr failure;
    try {
        Save_Metrics();
    } catch (...) {
        failure = std::current_exception();
    }
    if (the_termination_handler) the_termination_handler();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace

void Initialise() {
    Layer_Lock lock;
    Clear(List_Views);
    the_elements.clear();
    Last_List_View_Id = 0;
    the_termination_handler = nullptr;
}

std::string Value_Name_Of(int list_view_id, const std::string& the_title) {
    return "LV " + std::to_string(list_view_id) + ": " + the_title;
}

std::string Title_Of(const std::string& application_name, const std::string& version) {
    return version.empty() ? application_name : application_name + " " + version;
}

void Create(Registry::Company company, const std::string& application_name,
            const std::string& version, Action_Routine termination_handler, int width,
            int height, int x_position, int y_position, const std::string& icon_name,
            bool always_topmost) {
    Placement placement{};
    {
        Layer_Lock lock;
        Registry::Define(company, application_name);
        the_termination_handler = termination_handler;
        placement = Stored_Placement({x_position, y_position, width, height});
    }
    Gui::Create(Title_Of(application_name, version), Close, placement.Width, placement.Height,
                placement.X, placement.Y, icon_name, always_topmost);
}

void Add_Column(const List_View& the_list_view, const std::string& the_title, int the_width,
                Justification the_justification) {
    Layer_Lock lock;
    Add_Registered_Column(the_list_view, the_title, the_width, the_justification);
}

void Replace_Columns_From(const List_View& the_list_view, int first_replaced,
                          const std::vector<Column>& the_columns) {
    if (first_replaced < 1) throw Constraint_Error("column below 1");
    Layer_Lock lock;
    for (int count = Number_Of_Columns_Of(the_list_view); count >= first_replaced; --count) {
        Remove_Last_Column(the_list_view);
        if (Number_Of_Columns_Of(the_list_view) == count) break;  // the window is gone
    }
    Forget_Removed_Columns(the_list_view, first_replaced);
    for (const Column& column : the_columns) {
        Add_Registered_Column(the_list_view, column.Title, column.Width, column.Way);
    }
}

}  // namespace Gui::Registered
