#include "start_up.hpp"

#include "gui.hpp"
#include "log.hpp"
#include "registry.hpp"
#include "windows-registry.hpp"

namespace Start_Up {

void Platform() {
    Windows::Registry::Initialise();
    Registry::Initialise();
    Log::Initialise();
}

void Gui() { ::Gui::Initialise(); }

}  // namespace Start_Up
