// The main procedure: starts the packages in dependency order, builds the user interface and
// waits until the window has closed and the program's threads have ended.
#include <windows.h>

#include <exception>

#include "gui-registered.hpp"
#include "gui.hpp"
#include "log.hpp"
#include "registry.hpp"
#include "strings.hpp"
#include "windows-files.hpp"
#include "windows-registry.hpp"
#include "work.hpp"

namespace {

void Start_Packages() {
    Windows::Files::Initialise();
    Windows::Registry::Initialise();
    Registry::Initialise();
    Log::Initialise();
    Gui::Initialise();
    Gui::Registered::Initialise();
    Work::Initialise();
}

void Report(const std::string& the_failure) {
    if (Gui::Main_Window()) {
        Gui::Message_Box(the_failure, true);
    } else {
        MessageBoxA(nullptr, the_failure.c_str(), "Quarrix", MB_OK | MB_ICONHAND);
    }
}

// After a failed start the window, if it came up, is closed the usual way; without one the
// termination handler never runs, so the searcher is told to quit here.
void Wind_Down() {
    Gui::Close();
    Gui::Wait_For_End();
    if (!Work::Has_Been_Terminated) {
        Work::Has_Been_Terminated = true;
        try {
            Work::Searcher::Quit();
        } catch (const Tasking_Error&) {
            // It has ended already.
        }
    }
    Work::Join_Searcher();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        Start_Packages();
    } catch (const std::exception& failure) {
        Report(Information_Of(failure));
        return 1;
    }
    try {
        Work::Create_User_Interface();
    } catch (const std::exception& failure) {
        Report(Information_Of(failure));
        Wind_Down();
        return 1;
    }
    Gui::Wait_For_End();
    Work::Join_Searcher();
    return 0;
}
