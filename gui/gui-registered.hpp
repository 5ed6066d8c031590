#pragma once
// Keeps the main window's placement and the list-view column widths in the registry: the
// application creates its window and adds its columns through here instead of through Gui.
//
// Locking: every operation takes Registry::Exclusive_Use() first and this layer's own guard
// second, so a caller may already hold Exclusive_Use (a recursive lock) when it calls one.
// The operations wait on the display thread meanwhile, which therefore never takes
// Exclusive_Use itself.

#include <string>
#include <vector>

#include "definite_element-list.hpp"
#include "gui.hpp"
#include "registry.hpp"

namespace Gui::Registered {

// One registered column.
struct List_View_Element {
    List_View Gui_List_View;
    int Column_Number = 0;  // 1-based position in its list view
    int List_View_Id = 0;   // 1 for the first list view given a column, 2 for the next, ...
    std::string Column_Title;
};

struct List_View_Data_Traits {
    static constexpr const char* Name = "GUI.REGISTERED.LIST_VIEW_DATA";
};
// References to records that live until the program ends.
using List_View_Data = Definite_Element::List<List_View_Element*, List_View_Data_Traits>;

// The columns whose widths are saved at close, in the order they were added.
extern List_View_Data List_Views;
extern int Last_List_View_Id;

// No columns registered, no termination handler.
void Initialise();

// Defines the application's registry key (from the company and the application name), reads
// the stored placement ("Metrics") with the given values as defaults, and creates the main
// window titled "<application name> <version>"; the metrics are saved at close, before the
// termination handler runs; a registered column that is not in its view then keeps the width
// stored for it. A stored placement with a non-positive size, or one entirely off the screen,
// gives way to the given values.
void Create(Registry::Company company, const std::string& application_name,
            const std::string& version, Action_Routine termination_handler, int width,
            int height, int x_position, int y_position, const std::string& icon_name,
            bool always_topmost);

// Adds a column whose width is the stored one for (list view, title), else the_width; a
// negative stored width counts as none.
void Add_Column(const List_View& the_list_view, const std::string& the_title, int the_width,
                Justification the_justification);

struct Column {
    std::string Title;
    int Width;  // the default, for a column without a stored width
    Justification Way;
};

// Removes every column of the view from the 1-based position on and adds the given ones with
// their stored widths, as one step: the widths saved at close are those of a view either
// before or after the change. Positions below 1 are a Constraint_Error.
void Replace_Columns_From(const List_View& the_list_view, int first_replaced,
                          const std::vector<Column>& the_columns);

// The registry value name of a column: "LV 1: Size".
std::string Value_Name_Of(int list_view_id, const std::string& the_title);

// The window title made of the application name and version: "Quarrix 1.0".
std::string Title_Of(const std::string& application_name, const std::string& version);

}  // namespace Gui::Registered
