#include "start_up.hpp"

#include "gui.hpp"

namespace Start_Up {

void Platform() {}

void Gui() { ::Gui::Initialise(); }

}  // namespace Start_Up
