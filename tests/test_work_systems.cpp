// The window on the other systems Wine can report: 98 without the NT-only controls, and
// 95, which is refused. Each runs in a child process that Wine tells the other version.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "work_window.hpp"

using namespace Work_Window;

namespace {

class Systems : public Work_Window_Test {};

const char* Child_System() { return std::getenv("QUARRIX_CHILD_SYSTEM"); }

std::string Program_File() {
    std::vector<char> name(4096);
    GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
    return name.data();
}

std::string Defaults_Key() {
    const std::string program = Program_File();
    return "Software\\Wine\\AppDefaults\\" + program.substr(program.find_last_of('\\') + 1);
}

// Runs one child test with the reported system, and answers its exit code.
DWORD Run_As(const std::string& the_system, const std::string& the_test) {
    const std::string key = Defaults_Key();
    RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Version", REG_SZ, the_system.c_str(),
                    static_cast<DWORD>(the_system.size() + 1));
    SetEnvironmentVariableA("QUARRIX_CHILD_SYSTEM", the_system.c_str());
    std::string command = "\"";
    command += Program_File();
    command += "\" --gtest_filter=Systems.";
    command += the_test;
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    DWORD code = 99;
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &start, &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    SetEnvironmentVariableA("QUARRIX_CHILD_SYSTEM", nullptr);
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    return code;
}

int Tab_Count() {
    return static_cast<int>(SendMessageA(GetDlgItem(Gui::Main_Window(), 51), TCM_GETITEMCOUNT, 0, 0));
}

}  // namespace

// Both children in one test: the reported system is a setting of the executable.
TEST(Other_Systems, NinetyEightRunsWithoutStreamsAndNinetyFiveIsRefused) {
    if (Child_System()) GTEST_SKIP() << "the parent's test";
    EXPECT_EQ(Run_As("win98", "WithoutTheNtFamily"), 0u);
    EXPECT_EQ(Run_As("win95", "Refused"), 0u);
}

TEST_F(Systems, WithoutTheNtFamily) {
    if (!Child_System()) GTEST_SKIP() << "runs as a child";
    ASSERT_FALSE(Work::Is_Windows_Nt());
    Open_Window();
    EXPECT_EQ(Tab_Count(), 4) << "Display, Map, Types, Selection: no Accounts page";
    EXPECT_TRUE(Work::Controls().Display_Streams.Is_Null());
    EXPECT_TRUE(Work::Controls().Account_List_View.Is_Null());
    // Streams keep their value where there is no box for them.
    Work::Testing::Selection_To_Change().Options[Work::Selection_Option::STREAMS] = true;
    Work::Determine_Options();
    EXPECT_TRUE(Work::Testing::Selection_To_Change().Options[Work::Selection_Option::STREAMS]);
    EXPECT_FALSE(Work::Selection_Has_Changed());
    EXPECT_EQ(Last_Message(), "");
}

TEST_F(Systems, Refused) {
    if (!Child_System()) GTEST_SKIP() << "runs as a child";
    Open_Window();
    EXPECT_EQ(Last_Message(), "This program only executes under Windows NT/2000/Xp or Win98/Me");
    EXPECT_TRUE(Gui_Driver::Wait_Until([] { return Gui::Main_Window() == nullptr; }));
}
