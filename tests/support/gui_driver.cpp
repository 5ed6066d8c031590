#include "gui_driver.hpp"

#include <chrono>
#include <thread>
#include <vector>

#include "work.hpp"

namespace Gui_Driver {

namespace {
bool window_was_started = false;
}

void Window_Test::SetUp() {
    if (window_was_started) GTEST_SKIP() << "the framework runs once per process";
    Work::Start_Gui();
}

void Window_Test::TearDown() {
    if (!window_was_started) return;
    Gui::Close();
    Gui::Wait_For_End();
}

void Window_Test::Start(Gui::Action_Routine termination_routine, int width, int height) {
    window_was_started = true;
    Gui::Create(Application_Name, termination_routine, width, height, 10, 10, "", false);
}

bool Wait_Until(const std::function<bool()>& condition, int milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Command(const Gui::Child& the_control, int the_notification) {
    HWND control = Gui::Window_Of(the_control);
    SendMessageA(Gui::Main_Window(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), the_notification),
                 reinterpret_cast<LPARAM>(control));
}

void Click(const Gui::Child& the_control) { Command(the_control, BN_CLICKED); }

LRESULT Notify(const Gui::Child& the_control, NMHDR& the_header) {
    HWND control = Gui::Window_Of(the_control);
    the_header.hwndFrom = control;
    the_header.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control));
    return SendMessageA(Gui::Main_Window(), WM_NOTIFY, the_header.idFrom, reinterpret_cast<LPARAM>(&the_header));
}

void Select_Tab(int the_index) {
    HWND tabs = GetDlgItem(Gui::Main_Window(), 51);
    SendMessageA(tabs, TCM_SETCURSEL, the_index, 0);
    NMHDR header{tabs, 51, static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(Gui::Main_Window(), WM_NOTIFY, 51, reinterpret_cast<LPARAM>(&header));
}

void Close_Window() { SendMessageA(Gui::Main_Window(), WM_CLOSE, 0, 0); }

RECT Position_Of(const Gui::Child& the_control) {
    RECT rectangle{};
    GetWindowRect(Gui::Window_Of(the_control), &rectangle);
    MapWindowPoints(nullptr, Gui::Main_Window(), reinterpret_cast<POINT*>(&rectangle), 2);
    return rectangle;
}

std::string Dismiss_Message_Box(int milliseconds) {
    HWND box = nullptr;
    if (!Wait_Until([&] { box = FindWindowA("#32770", Application_Name);
            return box && IsWindowVisible(box); }, milliseconds)) {
        return "(no message box)";
    }
    std::vector<char> text(1000);
    GetDlgItemTextA(box, 0xFFFF, text.data(), static_cast<int>(text.size()));
    // A press that comes before the box runs its loop may be lost: press until it goes.
    Wait_Until([&] {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        Sleep(50);
        return !IsWindow(box);
    }, milliseconds);
    return text.data();
}

}  // namespace Gui_Driver
