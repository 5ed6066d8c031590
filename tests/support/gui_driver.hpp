#pragma once
// Drives the framework's main window from a test thread the way Windows would: commands and
// notifications sent to the main window, close requests, message boxes found and dismissed.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "gui.hpp"

namespace Gui_Driver {

inline constexpr const char* Application_Name = "Quarrix Test";

// A window of its own for each test. The framework starts once per process, and CTest runs
// every test in a process of its own; a second window test in the same process is skipped.
class Window_Test : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static void Start(Gui::Action_Routine termination_routine = nullptr, int width = 640, int height = 480);
};

bool Wait_Until(const std::function<bool()>& condition, int milliseconds = 5000);

void Click(const Gui::Child& the_control);                        // BN_CLICKED
void Command(const Gui::Child& the_control, int the_notification);  // any WM_COMMAND
LRESULT Notify(const Gui::Child& the_control, NMHDR& the_header);   // WM_NOTIFY
void Select_Tab(int the_index);                                     // TCM_SETCURSEL + TCN_SELCHANGE
void Close_Window();                                                // WM_CLOSE, as the close box

RECT Position_Of(const Gui::Child& the_control);  // in the main window's client coordinates

// Waits for the framework's message box, returns its text and presses OK.
std::string Dismiss_Message_Box(int milliseconds = 5000);

}  // namespace Gui_Driver
