#include "program_run.hpp"

std::wstring Text_Of(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return L"";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        5000, &copied);
    text.resize(copied);
    return text;
}

Program_Run::Program_Run(const std::wstring& program, const std::wstring& current_directory) {
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              current_directory.c_str(), &startup, &process_);
}

Program_Run::~Program_Run() {
    if (!started_) return;
    if (!Has_Ended(0)) {
        if (HWND window = Find_Window(L"")) PostMessageW(window, WM_CLOSE, 0, 0);
        if (!Has_Ended(15000)) TerminateProcess(process_.hProcess, 99);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

bool Program_Run::Has_Ended(int milliseconds) const {
    return WaitForSingleObject(process_.hProcess, milliseconds) == WAIT_OBJECT_0;
}

DWORD Program_Run::Exit_Code() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

HWND Program_Run::Find_Window(const std::wstring& class_name) const {
    struct Search {
        DWORD process;
        std::wstring class_name;
        HWND found = nullptr;
    } search{process_.dwProcessId, class_name.empty() ? Main_Window_Title : class_name};
    EnumWindows([](HWND window, LPARAM parameter) -> BOOL {
        auto& search = *reinterpret_cast<Search*>(parameter);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t name[100] = {};
        GetClassNameW(window, name, 100);
        if (owner != search.process || search.class_name != name || !IsWindowVisible(window))
            return TRUE;
        search.found = window;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
