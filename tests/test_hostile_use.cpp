// The real program under a restless user: a search started and stopped fifty times at
// random moments, clicks on headers, rows and "Back" while a walk runs, and the window
// closed during a walk, twice over. Every wait is bounded; the program must neither crash,
// hang nor grow.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "gui_driver.hpp"
#include "program_run.hpp"
#include "registry_keys.hpp"

namespace {

using Gui_Driver::Wait_Until;
namespace fs = std::filesystem;

const char* const Selection_Key = "Software\\Vornhale\\Quarrix\\Selection";

// The program is built beside the tests' folder.
std::wstring Program_Path() {
    std::wstring own(32768, L'\0');
    own.resize(GetModuleFileNameW(nullptr, own.data(), static_cast<DWORD>(own.size())));
    return (fs::path(own).parent_path().parent_path() / L"quarrix.exe").wstring();
}

// Committed private memory of another process, region by region: under Wine the process
// counters stay flat whatever the heap does.
std::uint64_t Private_Bytes_Of(HANDLE process) {
    std::uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (char* address = nullptr;
         VirtualQueryEx(process, address, &region, sizeof region) == sizeof region;
         address = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return total;
}

class Program : public Program_Run {
public:
    Program() : Program_Run(Program_Path(), fs::temp_directory_path().wstring()) {}

    // The main window once its last control exists.
    bool Open() {
        if (!Was_Started() || !Wait_Until([&] { return (window_ = Find_Window(L"")) != nullptr; }, 30000))
            return false;
        return Wait_Until([&] { return Control(L"Button", L"Display System Files") != nullptr; }, 30000);
    }
    HWND Window() const { return window_; }

    HWND Control(const std::wstring& class_name, const std::wstring& text) const {
        struct Search {
            std::wstring class_name, text;
            HWND found = nullptr;
        } search{class_name, text};
        EnumChildWindows(window_, [](HWND window, LPARAM parameter) -> BOOL {
            auto& search = *reinterpret_cast<Search*>(parameter);
            wchar_t name[100] = {};
            GetClassNameW(window, name, 100);
            if (search.class_name != name || (!search.text.empty() && Text_Of(window) != search.text))
                return TRUE;
            search.found = window;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    HWND Button(const std::wstring& text) const { return Control(L"Button", text); }
    // The start/stop button, whatever its caption.
    HWND Start_Stop() {
        if (!start_stop_) start_stop_ = Button(L"Search");
        return start_stop_;
    }
    HWND Box_After(const std::wstring& label_text) const {
        HWND label = Control(L"Static", label_text);
        return label ? GetDlgItem(window_, GetDlgCtrlID(label) + 1) : nullptr;
    }
    HWND List() const { return Control(L"SysListView32", L""); }
    std::wstring Status() const { return Text_Of(Control(L"msctls_statusbar32", L"")); }
    void Clear_Status() const {
        SendMessageW(Control(L"msctls_statusbar32", L""), SB_SETTEXTW, 0,
                     reinterpret_cast<LPARAM>(L""));
    }

    void Press(HWND button) const { SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr); }
    bool Is_Idle() { return IsWindowEnabled(Start_Stop()) && Text_Of(Start_Stop()) == L"Search"; }
    bool Is_Walking() { return Text_Of(Start_Stop()) == L"Stop"; }

    // A press on the window with the mouse, in the window's client coordinates.
    static void Click_At(HWND window, int x, int y, bool is_double = false) {
        LPARAM point = MAKELPARAM(x, y);
        SendMessageTimeoutW(window, is_double ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON, point,
                            SMTO_ABORTIFHUNG, 5000, nullptr);
        SendMessageTimeoutW(window, WM_LBUTTONUP, 0, point, SMTO_ABORTIFHUNG, 5000, nullptr);
    }

    // Searches to the end and returns the totals line.
    // The press is served a moment later, and a repaint may bring the old totals back: the
    // walk is over once it has been seen to run, or the totals have changed.
    std::wstring Search_To_The_End(int milliseconds = 120000) {
        const std::wstring before = Status();
        Clear_Status();
        Press(Start_Stop());
        std::wstring line;
        bool has_run = false;
        Wait_Until([&] {
            has_run = has_run || Is_Walking();
            line = Status();
            return (has_run || line != before) && line.find(L"Total size=") != std::wstring::npos &&
                   Is_Idle();
        }, milliseconds);
        return line;
    }

private:
    HWND window_ = nullptr;
    HWND start_stop_ = nullptr;
};

// 100 folders of 200 empty files each, made once for all tests of this run.
const std::wstring& Big_Tree() {
    static const std::wstring root = [] {
        fs::path path = fs::temp_directory_path() / ("quarrix_hostile_" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(path);
        for (int folder = 0; folder < 100; ++folder) {
            fs::path inner = path / ("f" + std::to_string(folder));
            fs::create_directories(inner);
            for (int file = 0; file < 200; ++file) {
                HANDLE made = CreateFileW((inner / ("file" + std::to_string(file))).c_str(), GENERIC_WRITE, 0,
                                          nullptr, CREATE_NEW, 0, nullptr);
                if (made != INVALID_HANDLE_VALUE) CloseHandle(made);
            }
        }
        return path.wstring();
    }();
    return root;
}

const char* const Application_Key = "Software\\Vornhale\\Quarrix";

// Each test starts from the program's defaults and leaves no options behind, for the next
// test or for a run of the program in the same prefix.
class Hostile_Use : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(Program_Path())) GTEST_SKIP() << "the program is not built";
        Registry_Keys::Remove(HKEY_CURRENT_USER, Application_Key);
    }
    void TearDown() override { Registry_Keys::Remove(HKEY_CURRENT_USER, Application_Key); }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(fs::temp_directory_path() / ("quarrix_hostile_" + std::to_string(GetCurrentProcessId())),
                       ignored);
    }
};

}  // namespace

TEST_F(Hostile_Use, FiftySearchesStoppedAtRandomKeepTheProgramAliveAndItsMemoryFlat) {
    const std::wstring root = Big_Tree();
    Program quarrix;
    ASSERT_TRUE(quarrix.Open());
    SendMessageW(quarrix.Box_After(L"Look in:"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(root.c_str()));

    auto started = std::chrono::steady_clock::now();
    std::wstring totals = quarrix.Search_To_The_End();
    ASSERT_NE(totals.find(L"Total size="), std::wstring::npos) << "a whole walk ends";
    const auto whole_walk = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    const int longest_wait = static_cast<int>(std::min<long long>(whole_walk.count(), 600));

    std::mt19937 random(20240611);
    std::uint64_t after_fifth = 0;
    for (int cycle = 1; cycle <= 50; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        quarrix.Press(quarrix.Start_Stop());
        ASSERT_TRUE(Wait_Until([&] { return quarrix.Is_Walking() || quarrix.Is_Idle(); }, 10000));
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % (longest_wait + 1)));
        if (quarrix.Is_Walking()) quarrix.Press(quarrix.Start_Stop());
        ASSERT_TRUE(Wait_Until([&] { return quarrix.Is_Idle(); }, static_cast<int>(whole_walk.count()) + 30000))
            << "the walk winds down";
        ASSERT_FALSE(quarrix.Has_Ended(0));
        ASSERT_EQ(quarrix.Find_Window(L"#32770"), nullptr) << "no message box";
        if (cycle == 5) after_fifth = Private_Bytes_Of(quarrix.Process());
    }
    const std::uint64_t after_fiftieth = Private_Bytes_Of(quarrix.Process());
    EXPECT_GT(after_fifth, 0u);
    EXPECT_LE(after_fiftieth, after_fifth + after_fifth / 10)
        << after_fifth << " bytes after the 5th cycle, " << after_fiftieth << " after the 50th";

    totals = quarrix.Search_To_The_End();
    EXPECT_NE(totals.find(L"Total size="), std::wstring::npos) << "a whole walk still ends";
    PostMessageW(quarrix.Window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(quarrix.Has_Ended(30000));
    EXPECT_EQ(quarrix.Exit_Code(), 0u);
}

TEST_F(Hostile_Use, ClicksDuringAWalkAndClosingTwiceDuringOne) {
    const std::wstring root = Big_Tree();
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Selection_Key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const DWORD on = 1;
    RegSetValueExA(key, "Folders", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
    RegCloseKey(key);
    Program quarrix;
    ASSERT_TRUE(quarrix.Open());
    // A first search, so that rows exist to be clicked when the next one starts.
    const std::wstring small_root = root + L"\\f1";
    SendMessageW(quarrix.Box_After(L"Look in:"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(root.c_str()));
    std::wstring totals = quarrix.Search_To_The_End();
    ASSERT_NE(totals.find(L"0 files and 100 folders"), std::wstring::npos) << std::string(totals.begin(), totals.end());

    HWND list = quarrix.List();
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    HWND back = quarrix.Button(L"Back");
    ASSERT_TRUE(header && back);
    // Clicks of every kind, as fast as they go, until the walk is over.
    for (int walk = 0; walk < 2; ++walk) {
        quarrix.Clear_Status();
        quarrix.Press(quarrix.Start_Stop());
        int clicks = 0;
        Wait_Until([&] {
            for (int column = 0; column < 6; ++column) Program::Click_At(header, 20 + 75 * column, 8);
            Program::Click_At(list, 20, 30, true);
            Program::Click_At(list, 20, 45, true);
            quarrix.Press(back);
            ++clicks;
            return quarrix.Is_Idle() && clicks > 3;
        }, 120000);
        ASSERT_TRUE(quarrix.Is_Idle());
        ASSERT_FALSE(quarrix.Has_Ended(0));
        EXPECT_EQ(quarrix.Find_Window(L"#32770"), nullptr) << "no message box";
    }
    // Back at the top, the results are whole.
    quarrix.Press(back);
    SendMessageW(quarrix.Box_After(L"Look in:"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(small_root.c_str()));
    totals = quarrix.Search_To_The_End();
    EXPECT_NE(totals.find(L"0 files and 0 folders"), std::wstring::npos) << std::string(totals.begin(), totals.end());
    SendMessageW(quarrix.Box_After(L"Look in:"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(root.c_str()));

    // The close box pressed twice while a walk runs: one orderly end, the options stored.
    quarrix.Press(quarrix.Start_Stop());
    ASSERT_TRUE(Wait_Until([&] { return quarrix.Is_Walking(); }, 10000));
    PostMessageW(quarrix.Window(), WM_CLOSE, 0, 0);
    PostMessageW(quarrix.Window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(quarrix.Has_Ended(30000)) << "no hang at close";
    EXPECT_EQ(quarrix.Exit_Code(), 0u);
    DWORD folders = 0;
    DWORD size = sizeof folders;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, Selection_Key, "Folders", RRF_RT_REG_DWORD, nullptr,
                           &folders, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(folders, 1u);
}

TEST_F(Hostile_Use, ClosingTwiceWhenIdleEndsTheProgramOnce) {
    Program quarrix;
    ASSERT_TRUE(quarrix.Open());
    PostMessageW(quarrix.Window(), WM_CLOSE, 0, 0);
    PostMessageW(quarrix.Window(), WM_CLOSE, 0, 0);
    SendMessageTimeoutW(quarrix.Window(), WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
    ASSERT_TRUE(quarrix.Has_Ended(30000));
    EXPECT_EQ(quarrix.Exit_Code(), 0u);
}
