// The real program, started as a child process and driven from outside the way a user would:
// a root typed into "Look in:", buttons pressed, boxes ticked, pages switched, a folder row
// double-clicked, the window closed; then started again to find what it kept. Under Wine the
// system it reports can be chosen per program, which reaches the 98/Me and refused paths.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "gui_driver.hpp"
#include "program_run.hpp"
#include "temporary_tree.hpp"

namespace {

using Gui_Driver::Wait_Until;
namespace fs = std::filesystem;

const char* const Application_Key = "Software\\Vornhale\\Quarrix";
const char* const Wine_Version_Key = "Software\\Wine\\AppDefaults\\quarrix.exe";

std::wstring Program_Path() {
    std::string path = QUARRIX_EXE;
    if (!path.empty() && path.front() == '/') path = "Z:" + path;  // Wine's drive for the Linux root
    std::replace(path.begin(), path.end(), '/', '\\');
    return {path.begin(), path.end()};
}

bool Runs_Under_Wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void Remove_Key(const char* path) {
    RegDeleteTreeA(HKEY_CURRENT_USER, path);
    RegDeleteKeyA(HKEY_CURRENT_USER, path);
}

void Set_String(const char* path, const char* name, const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

// -1 when the value cannot be read.
long long Stored_Number(const std::string& path, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return -1;
    }
    return value;
}

// A folder tree of the test's own, removed when the test ends.
class Tree {
public:
    explicit Tree(const std::string& name) {
        root_ = fs::temp_directory_path() / (name + "_" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~Tree() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    void File(const std::wstring& relative, std::size_t size) const {
        fs::path path = root_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << std::string(size, 'q');
    }
    std::wstring Root() const { return root_.wstring(); }

private:
    fs::path root_;
};

std::string Narrow(const std::wstring& text) { return {text.begin(), text.end()}; }

// Memory inside the program, for the messages whose parameters point at structures.
class Remote_Memory {
public:
    Remote_Memory(HANDLE process, std::size_t size)
        : process_(process), address_(static_cast<char*>(VirtualAllocEx(process, nullptr, size,
                                                                        MEM_COMMIT | MEM_RESERVE,
                                                                        PAGE_READWRITE))) {}
    Remote_Memory(const Remote_Memory&) = delete;
    Remote_Memory& operator=(const Remote_Memory&) = delete;
    ~Remote_Memory() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    char* At(std::size_t offset) const { return address_ + offset; }
    void Write(std::size_t offset, const void* data, std::size_t size) const {
        WriteProcessMemory(process_, At(offset), data, size, nullptr);
    }
    void Read(std::size_t offset, void* data, std::size_t size) const {
        ReadProcessMemory(process_, At(offset), data, size, nullptr);
    }

private:
    HANDLE process_;
    char* address_;
};

// One run of quarrix.exe and the user's hands on its window.
class Program : public Program_Run {
public:
    explicit Program(const std::wstring& current_directory)
        : Program_Run(Program_Path(), current_directory) {}

    // The main window, once its last control exists: the window shows before its pages are built.
    HWND Window() {
        if (window_) return window_;
        HWND window = nullptr;
        Wait_Until([&] { return (window = Find_Window(L"")) != nullptr; }, 30000);
        window_ = window;
        if (window && !Wait_Until([&] { return Button(L"Display System Files") != nullptr; }, 30000)) {
            window_ = nullptr;
        }
        return window_;
    }

    // Controls, found by their class and text; ids follow creation order, a box's label first.
    std::vector<HWND> Controls(const std::wstring& class_name) {
        struct Search {
            std::wstring class_name;
            std::vector<HWND> found;
        } search{class_name, {}};
        EnumChildWindows(Window(), [](HWND window, LPARAM parameter) -> BOOL {
            auto& search = *reinterpret_cast<Search*>(parameter);
            wchar_t name[100] = {};
            GetClassNameW(window, name, 100);
            if (search.class_name == name) search.found.push_back(window);
            return TRUE;
        }, reinterpret_cast<LPARAM>(&search));
        std::sort(search.found.begin(), search.found.end(),
                  [](HWND a, HWND b) { return GetDlgCtrlID(a) < GetDlgCtrlID(b); });
        return search.found;
    }
    HWND Control(const std::wstring& class_name, const std::wstring& text) {
        for (HWND control : Controls(class_name)) {
            if (Text_Of(control) == text) return control;
        }
        return nullptr;
    }
    HWND Button(const std::wstring& text) { return Control(L"Button", text); }
    // The edit box that follows its label or tick box.
    HWND Box(const std::wstring& title) {
        HWND label = Control(L"Static", title);
        if (!label) label = Button(title);
        return label ? GetDlgItem(Window(), GetDlgCtrlID(label) + 1) : nullptr;
    }
    HWND List(int index) {
        std::vector<HWND> lists = Controls(L"SysListView32");
        return index < static_cast<int>(lists.size()) ? lists[index] : nullptr;
    }
    HWND Tabs() { return GetDlgItem(Window(), 51); }
    std::wstring Status() {
        std::vector<HWND> bars = Controls(L"msctls_statusbar32");
        return bars.empty() ? L"" : Text_Of(bars.front());
    }

    void Type(HWND box, const std::wstring& text) {
        SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void Press(const std::wstring& button) { SendMessageW(Button(button), BM_CLICK, 0, 0); }
    bool Is_Ticked(const std::wstring& box) { return SendMessageW(Button(box), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void Tick(const std::wstring& box, bool is_ticked) {
        if (Is_Ticked(box) != is_ticked) Press(box);
        EXPECT_TRUE(Wait_Until([&] { return Is_Ticked(box) == is_ticked; })) << Narrow(box);
    }

    int Page_Count() { return static_cast<int>(SendMessageW(Tabs(), TCM_GETITEMCOUNT, 0, 0)); }
    // A mouse press on the page's tab: the tab control tells the window itself.
    void Show_Page(int index) {
        Remote_Memory memory(Process(), sizeof(RECT));
        SendMessageW(Tabs(), TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(memory.At(0)));
        RECT tab{};
        memory.Read(0, &tab, sizeof tab);
        LPARAM point = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
        SendMessageW(Tabs(), WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageW(Tabs(), WM_LBUTTONUP, 0, point);
        EXPECT_TRUE(Wait_Until([&] { return SendMessageW(Tabs(), TCM_GETCURSEL, 0, 0) == index; }))
            << "page " << index;
    }

    int Row_Count(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring Cell(HWND list, int row, int column) {
        constexpr int Characters = 300;
        Remote_Memory memory(Process(), sizeof(LVITEMW) + Characters * sizeof(wchar_t));
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = reinterpret_cast<wchar_t*>(memory.At(sizeof(LVITEMW)));
        item.cchTextMax = Characters;
        memory.Write(0, &item, sizeof item);
        auto length = SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(memory.At(0)));
        std::wstring text(Characters, L'\0');
        memory.Read(sizeof(LVITEMW), text.data(), Characters * sizeof(wchar_t));
        text.resize(std::min<std::size_t>(length, Characters));
        return text;
    }
    std::set<std::string> Names(HWND list) {
        std::set<std::string> names;
        for (int row = 0; row < Row_Count(list); ++row) names.insert(Narrow(Cell(list, row, 0)));
        return names;
    }
    int Row_Named(HWND list, const std::wstring& name) {
        for (int row = 0; row < Row_Count(list); ++row) {
            if (Cell(list, row, 0) == name) return row;
        }
        return -1;
    }
    // A double click on the row's label; the list view tells its window itself (a notification
    // sent from outside would not reach it: Wine does not carry WM_NOTIFY between processes).
    void Double_Click(HWND list, int row) {
        Remote_Memory memory(Process(), sizeof(RECT));
        RECT label{LVIR_LABEL, 0, 0, 0};
        memory.Write(0, &label, sizeof label);
        SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(memory.At(0)));
        memory.Read(0, &label, sizeof label);
        LPARAM point = MAKELPARAM(label.left + 5, (label.top + label.bottom) / 2);
        SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    }

    // Waits for the totals line of a finished display and returns it.
    std::string Totals(int milliseconds = 30000) {
        std::string line;
        Wait_Until([&] {
            line = Narrow(Status());
            return line.find("Total size=") != std::string::npos;
        }, milliseconds);
        return line;
    }
    // After an action that displays again: waits for the totals to come back, then reads them.
    std::string Totals_After(const std::function<void()>& action) {
        HWND bar = Controls(L"msctls_statusbar32").front();
        SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
        action();
        return Totals();
    }

    void Close() { PostMessageW(Window(), WM_CLOSE, 0, 0); }

private:
    HWND window_ = nullptr;
};

class Program_Test : public testing::Test {
protected:
    void SetUp() override {
        Remove_Key(Application_Key);
        Remove_Key(Wine_Version_Key);
    }
    void TearDown() override {
        Remove_Key(Application_Key);
        Remove_Key(Wine_Version_Key);
    }
    static std::string Selection_Key() { return std::string(Application_Key) + "\\Selection"; }
};

TEST_F(Program_Test, A_Search_Its_Pages_And_What_The_Next_Start_Restores) {
    Tree tree("quarrix_program");
    tree.File(L"a.txt", 100);
    tree.File(L"sub\\b.dat", 3000);
    tree.File(L"sub\\deeper\\c.txt", 10);
    tree.File(L"second\\d.txt", 20);
    const std::wstring root = tree.Root();
    RECT placed{40, 50, 740, 550};
    std::wstring size_box_text;
    {
        Program quarrix(fs::temp_directory_path().wstring());
        ASSERT_TRUE(quarrix.Was_Started());
        ASSERT_TRUE(quarrix.Window());
        // A first start: the defaults.
        EXPECT_EQ(quarrix.Page_Count(), 5);
        EXPECT_FALSE(IsWindowEnabled(quarrix.Button(L"Back")));
        EXPECT_EQ(Text_Of(quarrix.Box(L"Accessed within last (minutes)")), L"5");
        EXPECT_EQ(Text_Of(quarrix.Box(L"Not accessed since (days)")), L"90");
        EXPECT_EQ(Text_Of(quarrix.Box(L"Display only objects larger than")), L"0");
        EXPECT_FALSE(quarrix.Is_Ticked(L"Display files"));
        EXPECT_TRUE(quarrix.Button(L"Display Alternate Data Streams"));

        quarrix.Show_Page(3);
        quarrix.Tick(L"Display files", true);
        quarrix.Tick(L"Display folders", true);
        // The changed selection is shown at once, from the empty results.
        std::string totals = quarrix.Totals_After([&] { quarrix.Show_Page(0); });
        EXPECT_EQ(totals.substr(0, totals.find('.')), "0 files and 0 folders");
        quarrix.Type(quarrix.Box(L"Look in:"), root);
        totals = quarrix.Totals_After([&] { quarrix.Press(L"Search"); });
        EXPECT_EQ(totals.substr(0, totals.find('=') + 1), "1 file and 2 folders. Total size=");
        HWND files = quarrix.List(0);
        EXPECT_EQ(quarrix.Names(files), (std::set<std::string>{"a.txt", "sub", "second"}));
        EXPECT_EQ(Text_Of(quarrix.Button(L"Search")), L"Search");

        // Down into a folder and back.
        int sub = quarrix.Row_Named(files, L"sub");
        ASSERT_GE(sub, 0);
        totals = quarrix.Totals_After([&] { quarrix.Double_Click(files, sub); });
        EXPECT_EQ(totals.substr(0, totals.find('.')), "1 file and 1 folder");
        EXPECT_EQ(quarrix.Names(files), (std::set<std::string>{"b.dat", "deeper"}));
        EXPECT_EQ(Text_Of(quarrix.Box(L"Look in:")), root + L"\\sub");
        EXPECT_TRUE(Wait_Until([&] { return IsWindowEnabled(quarrix.Button(L"Back")); }));
        totals = quarrix.Totals_After([&] { quarrix.Press(L"Back"); });
        EXPECT_EQ(quarrix.Names(files), (std::set<std::string>{"a.txt", "sub", "second"}));
        EXPECT_EQ(Text_Of(quarrix.Box(L"Look in:")), root);
        EXPECT_TRUE(Wait_Until([&] { return !IsWindowEnabled(quarrix.Button(L"Back")); }));

        // Other options: shown again from memory when the "Display" page comes back.
        quarrix.Show_Page(3);
        quarrix.Tick(L"Display folders", false);
        quarrix.Tick(L"Include subfolders", true);
        quarrix.Tick(L"Display sizes in full", true);
        totals = quarrix.Totals_After([&] { quarrix.Show_Page(0); });
        EXPECT_EQ(totals.substr(0, totals.find('.')), "4 files and 0 folders");
        EXPECT_EQ(quarrix.Names(files), (std::set<std::string>{"a.txt", "b.dat", "c.txt", "d.txt"}));
        int a = quarrix.Row_Named(files, L"a.txt");
        EXPECT_EQ(quarrix.Cell(files, a, 3), L"100");  // Name, In Folder, Owner, Size
        EXPECT_EQ(quarrix.Cell(files, a, 1), root);

        quarrix.Show_Page(3);
        quarrix.Type(quarrix.Box(L"Display only objects larger than"), L"50");
        totals = quarrix.Totals_After([&] { quarrix.Show_Page(0); });
        EXPECT_EQ(quarrix.Names(files), (std::set<std::string>{"a.txt", "b.dat"}));
        size_box_text = Text_Of(quarrix.Box(L"Display only objects larger than"));

        quarrix.Show_Page(4);
        HWND accounts = quarrix.List(1);
        EXPECT_GE(quarrix.Row_Count(accounts), 1);
        quarrix.Show_Page(0);

        // The user's own layout, then the close box.
        SendMessageW(files, LVM_SETCOLUMNWIDTH, 0, 177);
        SetWindowPos(quarrix.Window(), nullptr, placed.left, placed.top, placed.right - placed.left,
                     placed.bottom - placed.top, SWP_NOZORDER);
        quarrix.Close();
        ASSERT_TRUE(quarrix.Has_Ended(15000));
        EXPECT_EQ(quarrix.Exit_Code(), 0u);
    }
    EXPECT_EQ(Stored_Number(Selection_Key(), "Subfolders"), 1);
    EXPECT_EQ(Stored_Number(Selection_Key(), "Folders"), 0);
    EXPECT_EQ(Stored_Number(std::string(Application_Key) + "\\Metrics", "LV 1: Name"), 177);

    Program again(fs::temp_directory_path().wstring());
    ASSERT_TRUE(again.Window());
    RECT window{};
    GetWindowRect(again.Window(), &window);
    EXPECT_EQ(window.left, placed.left);
    EXPECT_EQ(window.top, placed.top);
    EXPECT_EQ(window.right - window.left, placed.right - placed.left);
    EXPECT_EQ(window.bottom - window.top, placed.bottom - placed.top);
    EXPECT_EQ(SendMessageW(again.List(0), LVM_GETCOLUMNWIDTH, 0, 0), 177);
    EXPECT_TRUE(again.Is_Ticked(L"Include subfolders"));
    EXPECT_TRUE(again.Is_Ticked(L"Display files"));
    EXPECT_TRUE(again.Is_Ticked(L"Display sizes in full"));
    EXPECT_FALSE(again.Is_Ticked(L"Display folders"));
    EXPECT_FALSE(again.Is_Ticked(L"Display Hidden Files"));
    EXPECT_EQ(Text_Of(again.Box(L"Display only objects larger than")), size_box_text);
    again.Close();
    ASSERT_TRUE(again.Has_Ended(15000));
    EXPECT_EQ(again.Exit_Code(), 0u);
}

TEST_F(Program_Test, Closing_During_A_Search_Saves_The_Options_And_Ends_The_Walk) {
    Tree tree("quarrix_big");
    // Big enough that a walk takes clearly longer than a program's exit under Wine (2 s).
    for (int folder = 0; folder < 300; ++folder) {
        for (int file = 0; file < 100; ++file) {
            tree.File(L"f" + std::to_wstring(folder) + L"\\file" + std::to_wstring(file) + L".txt", 10);
        }
    }
    const std::wstring log = (fs::temp_directory_path() / L"quarrix_closing.log").wstring();
    fs::remove(log);
    Set_String(Application_Key, "Log", Narrow(log));
    Program quarrix(fs::temp_directory_path().wstring());
    ASSERT_TRUE(quarrix.Window());
    quarrix.Show_Page(3);
    quarrix.Tick(L"Display files", true);
    quarrix.Tick(L"Include subfolders", true);
    quarrix.Totals_After([&] { quarrix.Show_Page(0); });
    quarrix.Type(quarrix.Box(L"Look in:"), tree.Root());

    std::string totals = quarrix.Totals_After([&] { quarrix.Press(L"Search"); });
    EXPECT_EQ(totals.substr(0, totals.find('.')), "30000 files and 0 folders");

    HWND bar = quarrix.Controls(L"msctls_statusbar32").front();
    SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
    quarrix.Press(L"Search");
    ASSERT_TRUE(Wait_Until([&] { return quarrix.Button(L"Stop") != nullptr; }));
    quarrix.Close();
    bool displayed = false;
    Wait_Until([&] {
        if (Narrow(Text_Of(bar)).find("Total size=") != std::string::npos) displayed = true;
        return quarrix.Has_Ended(0);
    }, 30000);
    ASSERT_TRUE(quarrix.Has_Ended(0));
    EXPECT_FALSE(displayed);
    // The second walk was stopped part of the way, not finished before the end.
    std::string last_search;
    {
        std::ifstream file{fs::path(log)};
        for (std::string line; std::getline(file, line);)
            if (line.find("Search ") != std::string::npos) last_search = line.substr(line.find("=> ") + 3);
    }
    fs::remove(log);
    EXPECT_EQ(last_search.rfind("Search stopped: ", 0), 0u) << last_search;
    EXPECT_EQ(quarrix.Exit_Code(), 0u);
    EXPECT_EQ(Stored_Number(Selection_Key(), "Files"), 1);
    EXPECT_EQ(Stored_Number(Selection_Key(), "Subfolders"), 1);
}

TEST_F(Program_Test, Windows_98_And_Me_Have_Neither_Accounts_Nor_Streams) {
    if (!Runs_Under_Wine()) GTEST_SKIP() << "the reported system is chosen through Wine";
    for (const char* system : {"win98", "winme"}) {
        SCOPED_TRACE(system);
        Set_String(Wine_Version_Key, "Version", system);
        Program quarrix(fs::temp_directory_path().wstring());
        ASSERT_TRUE(quarrix.Window());
        EXPECT_EQ(quarrix.Page_Count(), 4) << "Display, Map, Types, Selection";
        EXPECT_TRUE(quarrix.Button(L"Display Hidden Files"));
        EXPECT_FALSE(quarrix.Button(L"Display Alternate Data Streams"));
        EXPECT_EQ(quarrix.Controls(L"SysListView32").size(), 2u) << "the files and the types: no accounts";
        quarrix.Close();
        ASSERT_TRUE(quarrix.Has_Ended(15000));
        EXPECT_EQ(quarrix.Exit_Code(), 0u);
    }
}

TEST_F(Program_Test, Windows_95_Is_Refused) {
    if (!Runs_Under_Wine()) GTEST_SKIP() << "the reported system is chosen through Wine";
    Set_String(Wine_Version_Key, "Version", "win95");
    Program quarrix(fs::temp_directory_path().wstring());
    ASSERT_TRUE(quarrix.Was_Started());
    HWND box = nullptr;
    ASSERT_TRUE(Wait_Until([&] { return (box = quarrix.Find_Window(L"#32770")) != nullptr; }, 30000));
    EXPECT_EQ(Text_Of(GetDlgItem(box, 0xFFFF)), L"This program only executes under Windows NT/2000/Xp or Win98/Me");
    Wait_Until([&] {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return quarrix.Has_Ended(100);
    }, 15000);
    ASSERT_TRUE(quarrix.Has_Ended(0));
    EXPECT_EQ(quarrix.Exit_Code(), 0u);
}

}  // namespace

TEST_F(Program_Test, A_Start_Folder_Outside_Latin_1_Is_Searched_From_The_Box) {
    Tree tree("quarrix_\u20ac\u0434\u0438\u0440\u65e5\u672c");
    tree.File(L"\u0444\u0430\u0439\u043b.txt", 123);
    ASSERT_NE(GetFileAttributesW((tree.Root() + L"\\\u0444\u0430\u0439\u043b.txt").c_str()),
              INVALID_FILE_ATTRIBUTES);
    Program quarrix(tree.Root());
    ASSERT_TRUE(quarrix.Window());
    EXPECT_EQ(Text_Of(quarrix.Box(L"Look in:")), tree.Root());
    quarrix.Show_Page(3);
    quarrix.Tick(L"Display files", true);
    quarrix.Totals_After([&] { quarrix.Show_Page(0); });  // the refresh, before the press
    const std::string totals = quarrix.Totals_After([&] { quarrix.Press(L"Search"); });
    EXPECT_EQ(totals.substr(0, totals.find('.')), "1 file and 0 folders") << totals;
    EXPECT_EQ(quarrix.Cell(quarrix.List(0), 0, 0), L"\u0444\u0430\u0439\u043b.txt");
    quarrix.Close();
    EXPECT_TRUE(quarrix.Has_Ended(30000));
}

TEST_F(Program_Test, A_Root_Of_Any_Length_Is_Searched_Through_The_Button) {
    Tree tree("quarrix_long");
    std::wstring relative;
    for (int level = 0; level < 6; ++level) relative += L"\\" + std::wstring(70, L'a' + level);
    const std::wstring root = tree.Root() + relative;
    ASSERT_GT(root.size(), 400u);
    std::wstring host_relative = relative;
    std::replace(host_relative.begin(), host_relative.end(), L'\\', L'/');
    const std::wstring host_root = Host_Path_Of(tree.Root()) + host_relative;
    ASSERT_TRUE(Run_Host_Command(L"/bin/mkdir -p " + host_root));
    ASSERT_TRUE(Run_Host_Command(L"/usr/bin/truncate -s 4321 " + host_root + L"/f"));
    Program quarrix(fs::temp_directory_path().wstring());
    ASSERT_TRUE(quarrix.Window());
    quarrix.Show_Page(3);
    quarrix.Tick(L"Display files", true);
    quarrix.Totals_After([&] { quarrix.Show_Page(0); });
    quarrix.Type(quarrix.Box(L"Look in:"), root);
    const std::string totals = quarrix.Totals_After([&] { quarrix.Press(L"Search"); });
    EXPECT_NE(totals.find("Total size= 4321"), std::string::npos) << totals;
    quarrix.Close();
    EXPECT_TRUE(quarrix.Has_Ended(30000));
}

TEST_F(Program_Test, A_Close_At_Any_Moment_Of_Start_Up_Ends_The_Program_Cleanly) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        Program quarrix(fs::temp_directory_path().wstring());
        ASSERT_TRUE(quarrix.Was_Started());
        HWND window = nullptr;
        ASSERT_TRUE(Wait_Until([&] { return (window = quarrix.Find_Window(L"")) != nullptr; }, 30000));
        // From as soon as the window shows to after its last control is made.
        Sleep(attempt * 15);
        PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(quarrix.Has_Ended(30000)) << "attempt " << attempt << ": the program hangs";
        EXPECT_EQ(quarrix.Exit_Code(), 0u) << "attempt " << attempt;
        EXPECT_EQ(quarrix.Find_Window(L"#32770"), nullptr) << "attempt " << attempt;
    }
}

TEST_F(Program_Test, The_Log_Records_The_Run_Its_Searches_And_Rotates_At_Its_Limit) {
    Tree tree("quarrix_logged");
    tree.File(L"a.txt", 5);
    const std::wstring log = (fs::temp_directory_path() / L"quarrix_program.log").wstring();
    const std::wstring secondary = (fs::temp_directory_path() / L"quarrix_program_2.log").wstring();
    Set_String(Application_Key, "Log", Narrow(log));
    {
        Program quarrix(fs::temp_directory_path().wstring());
        ASSERT_TRUE(quarrix.Window());
        quarrix.Type(quarrix.Box(L"Look in:"), tree.Root() + L"\\missing");
        EXPECT_TRUE(Wait_Until([&] {
            quarrix.Press(L"Search");
            return Wait_Until([&] { return quarrix.Status() == L"Root directory not found"; }, 1000);
        }, 20000));
        quarrix.Type(quarrix.Box(L"Look in:"), tree.Root());
        quarrix.Totals_After([&] { quarrix.Press(L"Search"); });
        quarrix.Close();
        ASSERT_TRUE(quarrix.Has_Ended(30000));
    }
    std::vector<std::string> texts;
    {
        std::ifstream file{fs::path(log)};
        for (std::string line; std::getline(file, line);) texts.push_back(line.substr(line.find("=> ") + 3));
    }
    ASSERT_GE(texts.size(), 5u);
    EXPECT_EQ(texts[0].rfind("Quarrix 1.0 started on NT ", 0), 0u) << texts[0];
    EXPECT_EQ(texts[1], "Root directory not found: " + Narrow(tree.Root()) + "\\missing");
    EXPECT_EQ(texts[2].rfind("Search of " + Narrow(tree.Root()) + " with ", 0), 0u) << texts[2];
    EXPECT_EQ(texts[3].rfind("Search ended: 1 records in ", 0), 0u) << texts[3];
    EXPECT_EQ(texts.back(), "Quarrix ended");

    // With a limit of one record, the second record rotates to the "_2" file.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Application_Key, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const DWORD limit = 1;
    RegSetValueExA(key, "Log Limit", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&limit), sizeof limit);
    RegCloseKey(key);
    {
        Program quarrix(fs::temp_directory_path().wstring());
        ASSERT_TRUE(quarrix.Window());
        quarrix.Close();
        ASSERT_TRUE(quarrix.Has_Ended(30000));
    }
    EXPECT_TRUE(fs::exists(secondary)) << [&] {
        std::ifstream current{fs::path(log)};
        return std::string(std::istreambuf_iterator<char>(current), {});
    }();
    fs::remove(log);
    fs::remove(secondary);
}
