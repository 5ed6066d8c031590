// The real program as today's Windows takes it: its manifest in the executable, honoured by
// the loader (the common controls of version 6 in the running process, the DPI awareness
// reported), and the older systems it supports still running it.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gui_driver.hpp"
#include "program_run.hpp"
#include "windows.hpp"

namespace {

using Gui_Driver::Wait_Until;

const char* const Application_Key = "Software\\Vornhale\\Quarrix";
const char* const Wine_Version_Key = "Software\\Wine\\AppDefaults\\quarrix.exe";

std::wstring Program_Path() {
    std::string path = QUARRIX_EXE;
    if (!path.empty() && path.front() == '/') path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return {path.begin(), path.end()};
}

void Remove_Key(const char* path) {
    RegDeleteTreeA(HKEY_CURRENT_USER, path);
    RegDeleteKeyA(HKEY_CURRENT_USER, path);
}

// The main window once its last control exists.
HWND Main_Window_Of(const Program_Run& the_run) {
    HWND window = nullptr;
    Wait_Until([&] {
        window = the_run.Find_Window(L"");
        return window && FindWindowExW(window, nullptr, L"Button", L"Display System Files");
    }, 30000);
    return window;
}

std::wstring Module_Path_In(HANDLE the_process, const std::wstring& the_name) {
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    if (!EnumProcessModules(the_process, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                            &needed))
        return L"";
    modules.resize(std::min<std::size_t>(modules.size(), needed / sizeof(HMODULE)));
    for (HMODULE module : modules) {
        std::vector<wchar_t> path(32768);
        DWORD length = GetModuleFileNameExW(the_process, module, path.data(), static_cast<DWORD>(path.size()));
        std::wstring found(path.data(), length);
        std::wstring lower = found;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
        if (lower.size() >= the_name.size() && lower.compare(lower.size() - the_name.size(), the_name.size(), the_name) == 0)
            return found;
    }
    return L"";
}

// Whether the module is the common controls' side-by-side assembly of version 6: its path
// names it on Windows and under Wine alike, where the file's own version says 5.81.
bool Is_Version_6_Assembly(const std::wstring& the_path) {
    std::wstring lower = the_path;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
    return lower.find(L"\\winsxs\\") != std::wstring::npos &&
           lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.") != std::wstring::npos;
}

std::string Manifest_Of(const std::wstring& the_program) {
    HMODULE image = LoadLibraryExW(the_program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!image) return "";
    std::string text;
    if (HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        const char* bytes = static_cast<const char*>(LockResource(LoadResource(image, found)));
        if (bytes) text.assign(bytes, SizeofResource(image, found));
    }
    FreeLibrary(image);
    return text;
}

class Program_System_Test : public testing::Test {
protected:
    void SetUp() override {
        Remove_Key(Application_Key);
        Remove_Key(Wine_Version_Key);
    }
    void TearDown() override {
        Remove_Key(Application_Key);
        Remove_Key(Wine_Version_Key);
    }
};

TEST_F(Program_System_Test, The_Manifest_Is_In_The_Program_And_Honoured) {
    const std::string manifest = Manifest_Of(Program_Path());
    for (const char* entry : {"Microsoft.Windows.Common-Controls", "PerMonitorV2", "true/pm", "longPathAware",
                              "asInvoker", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(manifest.find(entry), std::string::npos) << entry;

    Program_Run quarrix(Program_Path(), std::filesystem::temp_directory_path().wstring());
    ASSERT_TRUE(Main_Window_Of(quarrix));
    // Without the manifest the loader gives the process the common controls of version 5.
    const std::wstring controls = Module_Path_In(quarrix.Process(), L"comctl32.dll");
    ASSERT_FALSE(controls.empty());
    EXPECT_TRUE(Is_Version_6_Assembly(controls)) << std::string(controls.begin(), controls.end());
}

// This test program carries the program's own resources, manifest included: what the loader
// makes of it is what it makes of the program's. (Wine reports per-monitor awareness of the
// first version for both of the manifest's forms.)
TEST_F(Program_System_Test, The_Process_Reports_Per_Monitor_Awareness) {
    HMODULE user = GetModuleHandleW(L"user32.dll");
    const auto thread_context = Windows::Procedure<HANDLE(WINAPI*)()>(user, "GetThreadDpiAwarenessContext");
    const auto awareness_of = Windows::Procedure<int(WINAPI*)(HANDLE)>(user, "GetAwarenessFromDpiAwarenessContext");
    if (!thread_context || !awareness_of) GTEST_SKIP() << "a system without per-monitor awareness";
    constexpr int Per_Monitor_Aware = 2;
    EXPECT_EQ(awareness_of(thread_context()), Per_Monitor_Aware);
    EXPECT_TRUE(IsProcessDPIAware());
    EXPECT_TRUE(Is_Version_6_Assembly(Module_Path_In(GetCurrentProcess(), L"comctl32.dll")));
}

TEST_F(Program_System_Test, The_Older_Systems_Still_Run_It) {
    for (const char* system : {"nt40", "winxp"}) {
        SCOPED_TRACE(system);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Wine_Version_Key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr), ERROR_SUCCESS);
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(system),
                       static_cast<DWORD>(strlen(system) + 1));
        RegCloseKey(key);
        Program_Run quarrix(Program_Path(), std::filesystem::temp_directory_path().wstring());
        HWND window = Main_Window_Of(quarrix);
        ASSERT_TRUE(window);
        PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(quarrix.Has_Ended(15000));
        EXPECT_EQ(quarrix.Exit_Code(), 0u);
    }
}

// Without a window the hint goes to the console, once. Wine refuses the raw open of its drive
// for the host's root for lack of rights, as Windows does to a user who is not an
// administrator; the drive of the prefix opens.
TEST_F(Program_System_Test, The_Console_Says_Once_That_An_Administrator_Would_Read_The_Table) {
    const std::wstring root = L"Z:\\tmp\\quarrix_console_" + std::to_wstring(GetCurrentProcessId());
    std::filesystem::create_directories(root);
    { std::ofstream(std::filesystem::path(root) / "a.txt") << "quarrix"; }
    const std::wstring output_path = root + L"\\console.txt";
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE output = CreateFileW(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + Program_Path() + L"\" /save \"" + root + L"\\a.qscan\" \"" + root + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, root.c_str(), &startup,
                               &process));
    WaitForSingleObject(process.hProcess, 120000);
    DWORD exit_code = 99;
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(output);
    std::string said;
    {
        std::ifstream file{std::filesystem::path(output_path), std::ios::binary};
        said.assign(std::istreambuf_iterator<char>(file), {});
    }
    std::filesystem::remove_all(root);
    EXPECT_EQ(exit_code, 0u) << said;
    const std::string hint = "run as administrator";
    const std::size_t first = said.find(hint);
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find(hint, first + 1), std::string::npos) << said;
}

}  // namespace
