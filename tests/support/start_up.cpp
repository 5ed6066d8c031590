#include "start_up.hpp"

#include "gui-registered.hpp"
#include "gui.hpp"
#include "log.hpp"
#include "registry.hpp"
#include "windows-files.hpp"
#include "windows-registry.hpp"
#include "work.hpp"

namespace Start_Up {

void Platform() {
    Windows::Files::Initialise();
    Windows::Registry::Initialise();
    Registry::Initialise();
    Log::Initialise();
}

void Gui() {
    ::Gui::Initialise();
    ::Gui::Registered::Initialise();
}

void Application() { Work::Initialise(); }

void Shut_Down() {
    Work::Has_Been_Terminated = true;
    if (Work::Search_In_Progress) Work::Search_In_Progress = false;
    else {
        try {
            Work::Searcher::Quit();
        } catch (const Tasking_Error&) {
            // Already ended, through the window's termination.
        }
    }
    Work::Join_Searcher();
}

}  // namespace Start_Up
