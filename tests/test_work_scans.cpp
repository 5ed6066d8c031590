// Scans in the window: a walk saved, its tree deleted, the scan opened and shown as the walk
// was, with navigation and options working from the scan alone; scans that cannot be
// opened leave the results shown as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "temporary_tree.hpp"
#include "windows-files.hpp"
#include "work-scan_file.hpp"
#include "work_window.hpp"

using namespace Work_Window;
namespace Files = Windows::Files;

namespace {

class Scans : public Work_Window_Test {};

const Gui::List_View& Files_View() { return Work::Controls().File_List_View; }

// Every cell of every row, rows sorted, so that two displays compare whatever their order.
std::vector<std::wstring> Rows_Of(const Gui::List_View& the_view) {
    std::vector<std::wstring> rows;
    for (int row = 0; row < Row_Count(the_view); ++row) {
        std::wstring line;
        for (int column = 0; column < Gui::Number_Of_Columns_Of(the_view); ++column)
            line += Cell(the_view, row, column) + L"|";
        rows.push_back(line);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::wstring Window_Title() {
    std::wstring title(256, L'\0');
    title.resize(GetWindowTextW(Gui::Main_Window(), title.data(), static_cast<int>(title.size())));
    return title;
}

std::string Totals_Part(const std::string& the_status) { return the_status.substr(0, the_status.find(" - ")); }

}  // namespace

TEST_F(Scans, AnOpenedScanIsShownAsTheWalkWasWithoutTheDisk) {
    std::wstring scan_path;
    std::vector<std::wstring> walked_rows, walked_accounts, walked_deep_rows;
    std::string walked_status;
    {
        Temporary_Tree tree;
        tree.Make_File(L"a.txt", 10);
        tree.Make_File(L"sub\\b.bin", 200);
        tree.Make_File(L"sub\\deep\\c.bin", 3000);
        Open_Window();
        Gui::Set(Work::Controls().Display_Folders);
        Search(tree.Root());
        walked_rows = Rows_Of(Files_View());
        walked_status = Status_Line();
        walked_accounts = Rows_Of(Work::Controls().Account_List_View);
        Double_Click(Files_View(), Row_Named(Files_View(), L"sub"));
        walked_deep_rows = Rows_Of(Files_View());
        Press(Work::Controls().Back_Button);
        scan_path = tree.Root() + L".qscan";
        Work::Save_Scan(scan_path);
        EXPECT_EQ(Last_Message(), "");
    }
    // The tree is gone; another search shows something else.
    Temporary_Tree other;
    other.Make_File(L"other.txt", 1);
    Search(other.Root());
    ASSERT_NE(Rows_Of(Files_View()), walked_rows);

    Work::Open_Scan(scan_path);
    EXPECT_EQ(Last_Message(), "");
    EXPECT_EQ(Rows_Of(Files_View()), walked_rows);
    EXPECT_EQ(Rows_Of(Work::Controls().Account_List_View), walked_accounts);
    EXPECT_EQ(Totals_Part(Status_Line()), walked_status);
    const std::string scan_name = Wide_Text::Narrowed(scan_path.substr(scan_path.rfind(L'\\') + 1));
    EXPECT_NE(Status_Line().find(scan_name + ", scan of "), std::string::npos) << Status_Line();
    EXPECT_NE(Window_Title().find(Wide_Text::Widened(scan_name)), std::wstring::npos);
    EXPECT_EQ(Gui::Wide_Contents_Of(Work::Controls().Search_Root_Box), Work::Search_Root());
    Double_Click(Files_View(), Row_Named(Files_View(), L"sub"));
    EXPECT_EQ(Rows_Of(Files_View()), walked_deep_rows);
    Press(Work::Controls().Back_Button);
    Gui::Clear(Work::Controls().Display_Folders);
    Gui::Set(Work::Controls().Display_Files);
    Show(Display_Tab);
    EXPECT_GE(Row_Named(Files_View(), L"a.txt"), 0) << "files, from the scan";
    EXPECT_LT(Row_Named(Files_View(), L"sub"), 0);

    // A new search replaces the scan, and the title is the program's again.
    Search(other.Root());
    EXPECT_EQ(Window_Title().find(L" - "), std::wstring::npos);
    EXPECT_EQ(Status_Line().find("scan of"), std::string::npos);
    DeleteFileW(scan_path.c_str());
}

TEST_F(Scans, ScansThatCannotBeOpenedLeaveTheResultsShown) {
    Temporary_Tree tree;
    tree.Make_File(L"kept.txt", 10);
    Open_Window();
    Search(tree.Root());
    const std::vector<std::wstring> rows = Rows_Of(Files_View());
    const std::string status = Status_Line();
    const std::string bytes = Work::Scan_File::Bytes_Of({tree.Root(), true, {}}, Work::Known_Files());
    std::string newer = bytes;
    newer[8] = 9;
    std::string damaged = bytes;
    damaged[damaged.size() / 2] ^= 1;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"not a scan at all", "NOT_A_SCAN"},
        {bytes.substr(0, bytes.size() - 3), "TRUNCATED_SCAN"},
        {newer, "NEWER_VERSION"},
        {damaged, "BAD_CHECKSUM"}};
    for (const auto& [contents, failure] : cases) {
        Files::Replace_Contents(tree.Path_Of(L"bad.qscan"), contents);
        Work::Open_Scan(tree.Path_Of(L"bad.qscan"));
        EXPECT_NE(Last_Message().find(failure), std::string::npos) << Last_Message();
        EXPECT_EQ(Rows_Of(Files_View()), rows) << failure;
        EXPECT_EQ(Status_Line(), status) << failure;
        EXPECT_EQ(Work::Search_Root(), tree.Root());
    }
    Work::Open_Scan(tree.Path_Of(L"absent.qscan"));
    EXPECT_NE(Last_Message().find("READ_FAILURE"), std::string::npos) << Last_Message();
    EXPECT_EQ(Rows_Of(Files_View()), rows);

    // A scan of a volume without owners has the columns such a walk has.
    Work::Scan_File::Save(tree.Path_Of(L"plain.qscan"), {tree.Root(), false, {}}, Work::Known_Files());
    Work::Open_Scan(tree.Path_Of(L"plain.qscan"));
    ASSERT_EQ(Gui::Number_Of_Columns_Of(Files_View()), 4);
    EXPECT_EQ(Column_Title(Files_View(), 3), L"Date Modified");
}
