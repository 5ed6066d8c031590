// The fast read one click away, driven on the real window with a stand-in for the volume's
// raw open that the platform refuses for lack of rights: the status line's note of its own
// beside the unchanged totals, the button that hands the program to the shell to run as
// administrator searching the same root with the options saved first, and a refusal that
// changes nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "temporary_tree.hpp"
#include "windows-mft.hpp"
#include "work_window.hpp"

using namespace Work_Window;

namespace {

std::atomic<int> refused_opens{0};
DWORD open_error = ERROR_ACCESS_DENIED;

HANDLE Refuse(const std::wstring&) {
    ++refused_opens;
    SetLastError(open_error);
    return INVALID_HANDLE_VALUE;
}

std::vector<Work::Shell::Request> handed_over;
bool shell_takes_it = false;
LSTATUS saved_files_option = ERROR_FILE_NOT_FOUND;
std::string settings_key;

bool Record(const Work::Shell::Request& the_request) {
    handed_over.push_back(the_request);
    DWORD value = 0;
    DWORD size = sizeof value;
    saved_files_option = RegGetValueA(HKEY_CURRENT_USER, (settings_key + "\\Selection").c_str(), "Files",
                                      RRF_RT_REG_DWORD, nullptr, &value, &size);
    if (value != 1) saved_files_option = ERROR_INVALID_DATA;
    return shell_takes_it;
}

class Elevation : public Work_Window_Test {
protected:
    void TearDown() override {
        Windows::Mft::Set_Raw_Opener(nullptr);
        Work::Shell::Set_Handler(nullptr);
        Work_Window_Test::TearDown();
    }
};

HWND Status_Bar() { return GetDlgItem(Gui::Main_Window(), 50); }

// The part beside the totals that tells administrators, whichever other parts there are.
std::wstring Note() {
    const auto parts = static_cast<int>(SendMessageW(Status_Bar(), SB_GETPARTS, 0, 0));
    for (int part = 1; part < parts; ++part) {
        std::wstring text(LOWORD(SendMessageW(Status_Bar(), SB_GETTEXTLENGTHW, part, 0)) + 1, L'\0');
        SendMessageW(Status_Bar(), SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text.data()));
        text.resize(text.find(L'\0'));
        if (text.find(L"administrator") != std::wstring::npos) return text;
    }
    return L"";
}

HWND Administrator_Button() { return FindWindowExW(Status_Bar(), nullptr, L"Button", L"Run as administrator"); }

void Press_Administrator_Button() {
    SendMessageW(Status_Bar(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Administrator_Button()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(Administrator_Button()));
    Wait_For_Actions();
}

std::wstring This_Program() {
    std::vector<wchar_t> path(32768);
    return std::wstring(path.data(), GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
}

}  // namespace

TEST_F(Elevation, A_Table_Refused_For_Rights_Offers_To_Run_As_Administrator_On_The_Same_Root) {
    Temporary_Tree tree;
    tree.Make_File(L"a.txt", 10);
    Windows::Mft::Set_Raw_Opener(Refuse);
    Work::Shell::Set_Handler(Record);
    settings_key = Settings_Key();
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Search(tree.Root());
    ASSERT_GT(refused_opens.load(), 0) << "the table's read was tried through the stand-in";
    EXPECT_EQ(Status_Line().rfind("1 file and 0 folders. Total size=", 0), 0u) << Status_Line();
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return Note().find(L"administrator") != std::wstring::npos; }));
    ASSERT_TRUE(Administrator_Button());
    EXPECT_TRUE(IsWindowVisible(Administrator_Button()));

    // Refused by the user or unavailable: nothing changes.
    Press_Administrator_Button();
    ASSERT_EQ(handed_over.size(), 1u);
    EXPECT_EQ(handed_over[0].The_Verb, Work::Shell::Verb::Run_Elevated);
    EXPECT_EQ(handed_over[0].Path, This_Program());
    EXPECT_EQ(handed_over[0].Parameters, L"\"" + tree.Root() + L"\"");
    EXPECT_EQ(saved_files_option, ERROR_SUCCESS) << "the options are saved before the program is handed over";
    EXPECT_TRUE(Gui::Main_Window());
    EXPECT_NE(Note().find(L"administrator"), std::wstring::npos);

    // A table that fails for any other reason is walked without the note.
    open_error = ERROR_FILE_NOT_FOUND;
    Search(tree.Root());
    EXPECT_TRUE(Gui_Driver::Wait_Until([] { return Note().empty(); }));
    EXPECT_FALSE(Administrator_Button() && IsWindowVisible(Administrator_Button()));
    EXPECT_EQ(Status_Line().rfind("1 file and 0 folders. Total size=", 0), 0u) << Status_Line();

    // Taken by the shell: the elevated program searches, this one goes.
    open_error = ERROR_ACCESS_DENIED;
    Search(tree.Root());
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return Administrator_Button() && IsWindowVisible(Administrator_Button()); }));
    shell_takes_it = true;
    SendMessageW(Status_Bar(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Administrator_Button()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(Administrator_Button()));
    EXPECT_TRUE(Gui_Driver::Wait_Until([] { return Gui::Main_Window() == nullptr; }, 20000));
    EXPECT_EQ(handed_over.size(), 2u);
}
