// The main procedure: without arguments, or with a root to search at once, it starts the
// packages in dependency order, builds the user interface and waits until the window has
// closed and the program's threads have ended; with /save, /report or /? it runs without a
// window and ends with the exit code of what it did.
#include <windows.h>

#include <exception>

#include "gui.hpp"
#include "strings.hpp"
#include "work-command_line.hpp"
#include "work.hpp"

namespace {

namespace Command_Line = Work::Command_Line;

void Report(const std::string& the_failure) {
    if (Gui::Main_Window()) {
        Gui::Message_Box(the_failure, true);
    } else {
        MessageBoxA(nullptr, the_failure.c_str(), "Quarrix", MB_OK | MB_ICONHAND);
    }
}

int Run_Window(const Command_Line::Command& the_command) {
    try {
        Work::Start_Packages();
    } catch (const std::exception& failure) {
        Report(Information_Of(failure));
        return 1;
    }
    try {
        Work::Create_User_Interface();
        if (the_command.The_Mode == Command_Line::Mode::Window_Searching)
            Work::Start_Search_Of(the_command.Root);
        if (the_command.The_Mode == Command_Line::Mode::Window_Opening)
            Work::Start_Opening(the_command.Root);
    } catch (const std::exception& failure) {
        Report(Information_Of(failure));
        Work::Shut_Down(true);
        return 1;
    }
    Work::Shut_Down();
    return 0;
}

// Outside the window, every failure, a failed start included, goes to the console.
int Run_Without_Window(const std::vector<std::wstring>& the_arguments) {
    try {
        Work::Start_Without_Window();
    } catch (const std::exception& failure) {
        Report(Information_Of(failure));
        return Command_Line::Other_Failure;
    }
    try {
        return Command_Line::Run_Without_Window(Command_Line::Command_Of(the_arguments));
    } catch (const Command_Line::Usage_Error& error) {
        return Command_Line::Refuse(error);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::vector<std::wstring> arguments = Command_Line::Arguments_Of(GetCommandLineW());
    Command_Line::Command command;
    try {
        command = Command_Line::Command_Of(arguments);
    } catch (const Command_Line::Usage_Error&) {
        return Run_Without_Window(arguments);
    }
    if (command.The_Mode == Command_Line::Mode::Window ||
        command.The_Mode == Command_Line::Mode::Window_Searching ||
        command.The_Mode == Command_Line::Mode::Window_Opening)
        return Run_Window(command);
    return Run_Without_Window(arguments);
}
