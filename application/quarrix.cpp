// The main procedure: starts the packages in dependency order, builds the user interface and
// waits until the window has closed and the program's threads have ended.
#include <windows.h>

#include <exception>

#include "gui.hpp"
#include "strings.hpp"
#include "work.hpp"

namespace {

void Report(const std::string& the_failure) {
    if (Gui::Main_Window()) {
        Gui::Message_Box(the_failure, true);
    } else {
        MessageBoxA(nullptr, the_failure.c_str(), "Quarrix", MB_OK | MB_ICONHAND);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        Work::Start_Packages();
    } catch (const std::exception& failure) {
        Report(Information_Of(failure));
        return 1;
    }
    try {
        Work::Create_User_Interface();
    } catch (const std::exception& failure) {
        Report(Information_Of(failure));
        Work::Shut_Down(true);
        return 1;
    }
    Work::Shut_Down();
    return 0;
}
