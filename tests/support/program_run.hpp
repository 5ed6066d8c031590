#pragma once
// One run of quarrix.exe as a child process, for the tests that drive the real program:
// started in a folder, closed the usual way at the end (ended by force if it will not go),
// and its top-level windows found.

#include <windows.h>

#include <string>

inline const wchar_t* const Main_Window_Title = L"Quarrix 1.0";

// A window's text, without waiting longer than 5 s on a program that does not answer.
std::wstring Text_Of(HWND window);

class Program_Run {
public:
    Program_Run(const std::wstring& program, const std::wstring& current_directory);
    ~Program_Run();
    Program_Run(const Program_Run&) = delete;
    Program_Run& operator=(const Program_Run&) = delete;

    bool Was_Started() const { return started_; }
    bool Has_Ended(int milliseconds) const;
    DWORD Exit_Code() const;
    HANDLE Process() const { return process_.hProcess; }
    // The program's visible top-level window of that class ("" for its main window).
    HWND Find_Window(const std::wstring& class_name) const;

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};
