#pragma once
// Keeps the main window's placement and the list-view column widths in the registry: the
// application creates its window and adds its columns through here instead of through Gui.

#include <string>

#include "gui.hpp"
#include "registry.hpp"

namespace Gui::Registered {

// Defines the application's registry key, reads the stored placement ("Metrics") with the
// given values as defaults, and creates the main window; the metrics are saved at close,
// before the termination handler runs.
void Create(Registry::Company company, const std::string& application_name,
            const std::string& version, Action_Routine termination_handler, int width,
            int height, int x_position, int y_position, const std::string& icon_name,
            bool always_topmost);

// Adds a column whose width is the stored one for (list view, title), else the_width.
void Add_Column(const List_View& the_list_view, const std::string& the_title, int the_width,
                Justification the_justification);

}  // namespace Gui::Registered
