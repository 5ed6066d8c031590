// Input a user or a damaged profile can give the program: roots that name no folder, numbers
// that are no numbers, and settings of the wrong type or size. The program runs on, says what
// went wrong, and keeps what it could read.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "log.hpp"
#include "registry.hpp"
#include "temporary_tree.hpp"
#include "wide_text.hpp"
#include "work_window.hpp"

using namespace Work_Window;
using Work::Selection_Option;

namespace {

class Hostile_Input : public Work_Window_Test {};

std::uint64_t Value_Of(const FILETIME& the_time) {
    return (std::uint64_t{the_time.dwHighDateTime} << 32) | the_time.dwLowDateTime;
}

// A drive letter no volume answers to.
std::wstring Missing_Drive() {
    DWORD drives = GetLogicalDrives();
    for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter)
        if (!(drives & (1u << (letter - L'A')))) return std::wstring(1, letter) + L":\\nowhere";
    return L"";
}

void Store(const std::string& key, const std::string& name, DWORD type, const void* data,
           DWORD size) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(handle);
}

void Store_Text(const std::string& key, const std::string& name, const std::string& text) {
    Store(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void Store_Number(const std::string& key, const std::string& name, DWORD number) {
    Store(key, name, REG_DWORD, &number, sizeof number);
}

struct Stored {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    std::string Text() const { return {data.begin(), std::find(data.begin(), data.end(), 0)}; }
    long long Number() const {
        if (type != REG_DWORD || data.size() != 4) return -1;
        return *reinterpret_cast<const DWORD*>(data.data());
    }
};

Stored Stored_Value(const std::string& key, const std::string& name) {
    Stored value;
    DWORD size = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                     &value.type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    value.data.resize(size);
    RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                 &value.type, value.data.data(), &size);
    value.data.resize(size);
    return value;
}

bool Totals_Shown() { return Status_Line().find("Total size=") != std::string::npos; }

}  // namespace

TEST_F(Hostile_Input, RootsThatNameNoFolderAreReportedAndTheNextSearchWorks) {
    Temporary_Tree tree;
    tree.Make_File(L"a.txt", 10);
    tree.Make_Folder(L"sub");
    tree.Make_File(L"sub\\b.txt", 20);
    Open_Window();
    Show(Selection_Tab);
    Tick(Work::Controls().Display_Files);
    Tick(Work::Controls().Visit_Folders);
    Search(tree.Root());
    ASSERT_EQ(Status_Line().substr(0, Status_Line().find('.')), "2 files and 0 folders");

    const std::vector<std::wstring> roots = {L"",
                                             L"\\\\\\",
                                             L"\\",
                                             tree.Path_Of(L"a.txt"),
                                             tree.Path_Of(L"a.txt\\"),
                                             Missing_Drive(),
                                             L"\\\\nosuchhost\\share",
                                             L"\\\\?\\",
                                             L"C:\\con\\aux",
                                             std::wstring(2000, L'x')};
    for (const std::wstring& root : roots) {
        SCOPED_TRACE(testing::PrintToString(root.substr(0, 40)));
        const std::string before = Last_Message();
        Search(root);
        const std::string message = Last_Message();
        const bool reported = Status_Line() == "Root directory not found" ||
                              (message != before && message.rfind("Exception", 0) == 0 &&
                               message.size() > std::string("Exception").size());
        EXPECT_TRUE(reported) << Status_Line() << " / " << message;
        EXPECT_TRUE(IsWindowEnabled(Gui::Window_Of(Work::Controls().Start_Stop_Button)));
        // The rows of the previous search still show where they are.
        if (Row_Count(Work::Controls().File_List_View) > 0) {
            EXPECT_EQ(Cell(Work::Controls().File_List_View, 0, 1).substr(0, tree.Root().size()), tree.Root());
        }

        Search(tree.Root());
        EXPECT_EQ(Status_Line().substr(0, Status_Line().find('.')), "2 files and 0 folders");
        EXPECT_EQ(Row_Count(Work::Controls().File_List_View), 2);
        EXPECT_EQ(Cell(Work::Controls().File_List_View, 0, 1).substr(0, tree.Root().size()), tree.Root());
    }
}

TEST_F(Hostile_Input, NumbersThatAreNoNumbersChangeNothingForTheWorse) {
    Temporary_Tree tree;
    tree.Make_File(L"small", 10);
    tree.Make_File(L"large", 5000);
    Open_Window();
    Show(Selection_Tab);
    Tick(Work::Controls().Display_Files);
    Search(tree.Root());

    // Minimum sizes: no text may fail the display, and what is in force is what the box
    // is read as.
    for (const std::wstring& text :
         {std::wstring(L"1e400"), std::wstring(L"-5"), std::wstring(L"NaN"),
          std::wstring(L"\uFF15"), std::wstring(L"inf"), std::wstring(L"0x10"),
          std::wstring(249, L'9'), std::wstring(300, L'7'),
          std::wstring(L"1") + std::wstring(248, L' '), std::wstring(L"4K")}) {
        SCOPED_TRACE(testing::PrintToString(text.substr(0, 20)));
        Show(Selection_Tab);
        Gui::Set(Work::Controls().Minimum_Size_Box, text);
        Show(Display_Tab);
        EXPECT_TRUE(Totals_Shown()) << Status_Line() << " / " << Last_Message();
        const std::uint64_t threshold = Work::Selection_In_Force().Size_Threshold.Value();
        EXPECT_EQ(Windows::Files::Size_From(Gui::Contents_Of(Work::Controls().Minimum_Size_Box)).Value(),
                  threshold);
        EXPECT_EQ(Row_Count(Work::Controls().File_List_View), (threshold <= 10) + (threshold <= 5000));
        EXPECT_FALSE(Work::Selection_Has_Changed());
    }
    Gui::Set(Work::Controls().Minimum_Size_Box, L"0");

    // Time boxes: a text that is not a natural number in range unticks its box and leaves
    // the threshold in force; one that is read as a number filters by it.
    struct Time_Box {
        const Gui::Checked_Edit_Box* box;
        Selection_Option option;
        const FILETIME* threshold;
        std::vector<std::wstring> out_of_range;
    };
    const Time_Box boxes[] = {
        {&Work::Controls().Recently_Accessed, Selection_Option::NEWLY_TOUCHED, &Work::Selection_In_Force().Just_Recently,
         {L"99999999999", L"-5", L"", L"5.0", L"2147483648"}},
        {&Work::Controls().Untouched, Selection_Option::AGED, &Work::Selection_In_Force().Ages_Ago,
         {L"99999999999", L"-5", L"", L"5.0", L"10684355"}}};
    for (const Time_Box& time_box : boxes) {
        std::vector<std::wstring> texts = time_box.out_of_range;
        for (const wchar_t* doubtful : {L"+5", L" 5 ", L"-0", L"\uFF15", L"0005"})
            texts.push_back(doubtful);
        for (const std::wstring& text : texts) {
            SCOPED_TRACE(testing::PrintToString(text));
            Show(Selection_Tab);
            Gui::Set(*time_box.box, text);
            Tick(*time_box.box);
            const std::uint64_t before = Value_Of(*time_box.threshold);
            Show(Display_Tab);
            const bool is_ticked = Gui::Is_Checked(*time_box.box);
            EXPECT_EQ(Work::Testing::Selection_To_Change().Options[time_box.option], is_ticked);
            if (!is_ticked) {
                EXPECT_EQ(Value_Of(*time_box.threshold), before);
            }
            if (std::find(time_box.out_of_range.begin(), time_box.out_of_range.end(), text) !=
                time_box.out_of_range.end()) {
                EXPECT_FALSE(is_ticked);
            }
            EXPECT_TRUE(Totals_Shown()) << Status_Line();
            // Both files were touched just now: either filter lets them through or hides both.
            const int rows = Row_Count(Work::Controls().File_List_View);
            EXPECT_TRUE(rows == 2 || (is_ticked && rows == 0)) << rows;
        }
    }
}

// Every selection and metrics value damaged in its own way before the start: what can be
// read is used and kept, the rest falls back to the defaults, and the close stores sound
// values.
TEST_F(Hostile_Input, DamagedSettingsGiveDefaultsAndKeepWhatCanBeRead) {
    const std::string selection = Settings_Key() + "\\Selection";
    const std::string metrics = Settings_Key() + "\\Metrics";
    const BYTE binary[4] = {1, 0, 0, 0};
    const BYTE eight_bytes[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    Store_Number(selection, "Within", 7);
    Store(selection, "Since", REG_BINARY, binary, sizeof binary);
    Store_Text(selection, "Min_Size", std::string(300, '4'));
    Store_Text(selection, "Files", "1");
    Store_Number(selection, "Subfolders", 1);
    Store_Number(selection, "Hidden", 0xFFFFFFFF);
    Store(selection, "System", REG_BINARY, binary, sizeof binary);
    Store(selection, "Full Size", REG_DWORD, eight_bytes, sizeof eight_bytes);
    Store(selection, "Folders", REG_DWORD, binary, 2);
    Store_Text(metrics, "Width", "wide");
    Store_Number(metrics, "Height", static_cast<DWORD>(-5));
    Store(metrics, "X-Position", REG_BINARY, binary, sizeof binary);
    Store_Number(metrics, "Y-Position", 0x7FFFFFFF);
    Store_Number(metrics, "LV 1: Name", static_cast<DWORD>(-10));
    Store_Text(metrics, "LV 1: In Folder", "200");
    Store(metrics, "LV 2: Name", REG_DWORD, eight_bytes, sizeof eight_bytes);
    Store_Number(metrics, "LV 2: Usage", 123);
    Store_Number(metrics, "LV 2: Nr of files", 0x40000000);

    // A log that cannot be written: the program runs without one.
    Temporary_Tree tree;
    tree.Make_File(L"a.txt", 10);
    Store_Text(Settings_Key(), "Log", Wide_Text::Utf8_Of(tree.Root()) + "\\missing\\folder\\q.log");
    Store_Number(Settings_Key(), "Log Limit", 1);
    Log::Open(Registry::Registry_Key().substr(std::string("Software\\Vornhale\\").size()));
    Log::Write("nowhere to go");

    Open_Window();
    EXPECT_EQ(Gui::Contents_Of(Work::Controls().Recently_Accessed), "5");
    EXPECT_EQ(Gui::Contents_Of(Work::Controls().Untouched), "90");
    EXPECT_EQ(Gui::Contents_Of(Work::Controls().Minimum_Size_Box), "0");
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Visit_Folders));
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Display_Hidden));
    for (const Gui::Check_Box* box : {&Work::Controls().Display_Files, &Work::Controls().Display_System,
                                      &Work::Controls().Display_Full_Size, &Work::Controls().Display_Folders,
                                      &Work::Controls().Display_Streams})
        EXPECT_FALSE(Gui::Is_Checked(*box));
    RECT window{};
    GetWindowRect(Gui::Main_Window(), &window);
    EXPECT_GT(window.right - window.left, 100);
    EXPECT_GT(window.bottom - window.top, 100);
    RECT screen{0, 0, GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    RECT common{};
    EXPECT_TRUE(IntersectRect(&common, &window, &screen)) << "the window is on the screen";
    HWND files = Gui::Window_Of(Work::Controls().File_List_View);
    HWND accounts = Gui::Window_Of(Work::Controls().Account_List_View);
    EXPECT_EQ(SendMessageW(files, LVM_GETCOLUMNWIDTH, 0, 0), 140);
    EXPECT_EQ(SendMessageW(files, LVM_GETCOLUMNWIDTH, 1, 0), 200);
    EXPECT_EQ(SendMessageW(accounts, LVM_GETCOLUMNWIDTH, 0, 0), 90);
    EXPECT_EQ(SendMessageW(accounts, LVM_GETCOLUMNWIDTH, 2, 0), 123);
    // What could be read is not replaced.
    EXPECT_EQ(Stored_Value(selection, "Subfolders").Number(), 1);
    EXPECT_EQ(Stored_Value(metrics, "LV 2: Usage").Number(), 123);

    Show(Selection_Tab);
    Tick(Work::Controls().Display_Files);
    Search(tree.Root());
    EXPECT_EQ(Status_Line().substr(0, Status_Line().find('.')), "1 file and 0 folders");
    EXPECT_FALSE(std::filesystem::exists(tree.Path_Of(L"missing")));

    SendMessageW(files, LVM_SETCOLUMNWIDTH, 0, 150);
    Gui::Close();
    Gui::Wait_For_End();
    EXPECT_EQ(Stored_Value(selection, "Within").Text(), "5");
    EXPECT_EQ(Stored_Value(selection, "Within").type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Stored_Value(selection, "Since").Text(), "90");
    EXPECT_EQ(Windows::Files::Size_From(Stored_Value(selection, "Min_Size").Text()).Value(), 0u);
    EXPECT_EQ(Stored_Value(selection, "Files").Number(), 1);
    EXPECT_EQ(Stored_Value(selection, "Subfolders").Number(), 1);
    EXPECT_EQ(Stored_Value(selection, "Hidden").Number(), 1);
    EXPECT_EQ(Stored_Value(selection, "System").Number(), 0);
    EXPECT_EQ(Stored_Value(selection, "Full Size").Number(), 0);
    EXPECT_EQ(Stored_Value(metrics, "LV 1: Name").Number(), 150);
    EXPECT_EQ(Stored_Value(metrics, "LV 2: Usage").Number(), 123);
    EXPECT_GT(Stored_Value(metrics, "Width").Number(), 100);
    EXPECT_GT(Stored_Value(metrics, "Height").Number(), 100);
    EXPECT_LT(Stored_Value(metrics, "Y-Position").Number(), screen.bottom);
}

// The log's own settings, each unusable in another way: writing never fails and never
// makes a file anywhere but where it was told.
TEST(Hostile_Log_Settings, UnusableLogSettingsLeaveTheProgramWithoutALogOrWithASoundOne) {
    const std::string project = "Quarrix_Test_Hostile_Log";
    const std::string key = "Software\\Vornhale\\" + project;
    Temporary_Tree tree;
    const std::string folder = Wide_Text::Utf8_Of(tree.Root());
    auto lines_of = [](const std::string& name) {
        std::vector<std::string> lines;
        std::ifstream file(name);
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        return lines;
    };
    auto configure = [&](const std::string& name, DWORD limit) {
        RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
        Store_Text(key, "Log", name);
        Store_Number(key, "Log Limit", limit);
        Log::Open(project);
    };

    // A folder for a file, a name too long to read, a name of the wrong type.
    configure(folder, 0);
    Log::Write("into a folder");
    EXPECT_TRUE(std::filesystem::is_directory(tree.Root()));
    configure(folder + "\\" + std::string(300, 'l') + ".log", 0);
    Log::Write("too long a name");
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    Store_Number(key, "Log", 5);
    Log::Open(project);
    Log::Write("a number for a name");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.Root()), {}), 0);

    // No limit: one file.
    configure(folder + "\\zero.log", 0);
    for (int record = 0; record < 5; ++record) Log::Write("record " + std::to_string(record));
    EXPECT_EQ(lines_of(folder + "\\zero.log").size(), 5u);
    EXPECT_FALSE(std::filesystem::exists(folder + "\\zero_2.log"));

    // A limit of one record: every further record rotates, two files at most.
    configure(folder + "\\one.log", 1);
    for (int record = 0; record < 4; ++record) Log::Write("record " + std::to_string(record));
    const std::vector<std::string> current = lines_of(folder + "\\one.log");
    const std::vector<std::string> previous = lines_of(folder + "\\one_2.log");
    ASSERT_EQ(current.size(), 3u);
    ASSERT_EQ(previous.size(), 3u);
    EXPECT_EQ(current[0], "The log file reached it's maximum size of 1 records");
    EXPECT_NE(current[2].find("=> record 3"), std::string::npos);
    EXPECT_NE(previous[2].find("=> record 2"), std::string::npos);

    // A limit stored as text counts as none.
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    Store_Text(key, "Log", folder + "\\text.log");
    Store_Text(key, "Log Limit", "1");
    Log::Open(project);
    for (int record = 0; record < 3; ++record) Log::Write("record " + std::to_string(record));
    EXPECT_EQ(lines_of(folder + "\\text.log").size(), 3u);

    Log::Initialise();
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}
