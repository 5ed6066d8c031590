// Scans in the window: a walk saved, its tree deleted, the scan opened and shown as the walk
// was, with navigation and options working from the scan alone; scans that cannot be
// opened leave the results shown as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "compared_tree.hpp"
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
std::vector<std::wstring> Texts_Of_Rows(const Gui::List_View& the_view) {
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
        walked_rows = Texts_Of_Rows(Files_View());
        walked_status = Status_Line();
        walked_accounts = Texts_Of_Rows(Work::Controls().Account_List_View);
        Double_Click(Files_View(), Row_Named(Files_View(), L"sub"));
        walked_deep_rows = Texts_Of_Rows(Files_View());
        Press(Work::Controls().Back_Button);
        scan_path = tree.Root() + L".qscan";
        Work::Save_Scan(scan_path);
        EXPECT_EQ(Last_Message(), "");
    }
    // The tree is gone; another search shows something else.
    Temporary_Tree other;
    other.Make_File(L"other.txt", 1);
    Search(other.Root());
    ASSERT_NE(Texts_Of_Rows(Files_View()), walked_rows);

    Work::Open_Scan(scan_path);
    EXPECT_EQ(Last_Message(), "");
    EXPECT_EQ(Texts_Of_Rows(Files_View()), walked_rows);
    EXPECT_EQ(Texts_Of_Rows(Work::Controls().Account_List_View), walked_accounts);
    EXPECT_EQ(Totals_Part(Status_Line()), walked_status);
    const std::string scan_name = Wide_Text::Narrowed(scan_path.substr(scan_path.rfind(L'\\') + 1));
    EXPECT_NE(Status_Line().find(scan_name + ", scan of "), std::string::npos) << Status_Line();
    EXPECT_NE(Window_Title().find(Wide_Text::Widened(scan_name)), std::wstring::npos);
    EXPECT_EQ(Gui::Wide_Contents_Of(Work::Controls().Search_Root_Box), Work::Search_Root());
    Double_Click(Files_View(), Row_Named(Files_View(), L"sub"));
    EXPECT_EQ(Texts_Of_Rows(Files_View()), walked_deep_rows);
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
    const std::vector<std::wstring> rows = Texts_Of_Rows(Files_View());
    const std::string status = Status_Line();
    const std::string bytes = Work::Scan_File::Bytes_Of({tree.Root(), true, {}, true, {}}, Work::Known_Files());
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
        EXPECT_EQ(Texts_Of_Rows(Files_View()), rows) << failure;
        EXPECT_EQ(Status_Line(), status) << failure;
        EXPECT_EQ(Work::Search_Root(), tree.Root());
    }
    Work::Open_Scan(tree.Path_Of(L"absent.qscan"));
    EXPECT_NE(Last_Message().find("READ_FAILURE"), std::string::npos) << Last_Message();
    EXPECT_EQ(Texts_Of_Rows(Files_View()), rows);

    // A scan of a volume without owners has the columns such a walk has.
    Work::Scan_File::Save(tree.Path_Of(L"plain.qscan"), {tree.Root(), false, {}, true, {}}, Work::Known_Files());
    Work::Open_Scan(tree.Path_Of(L"plain.qscan"));
    ASSERT_EQ(Gui::Number_Of_Columns_Of(Files_View()), 5);
    EXPECT_EQ(Column_Title(Files_View(), 4), L"Date Modified");
}

namespace {

std::vector<std::wstring> Column_Cells(int the_column) {
    std::vector<std::wstring> cells;
    for (int row = 0; row < Row_Count(Files_View()); ++row) cells.push_back(Cell(Files_View(), row, the_column));
    return cells;
}

std::wstring Change_Of_Row(const std::wstring& the_name) {
    const int row = Row_Named(Files_View(), the_name);
    if (row < 0) return L"(no row)";
    return Cell(Files_View(), row, Gui::Number_Of_Columns_Of(Files_View()) - 1);
}

COLORREF Color_Of_Row(const std::wstring& the_name) {
    for (void* row : Gui::Rows_Of(Files_View()))
        if (static_cast<const Work::File_Information*>(row)->File_Name == the_name)
            return Work::File_Color_Handler(row);
    return CLR_INVALID;
}

// The exported file as Python's csv module reads it, one line a row, fields joined by "|",
// without the times.
constexpr const char* Csv_Reader = R"PYTHON(
import csv, sys
with open(sys.argv[1], encoding='utf-8-sig', newline='') as file:
    rows = list(csv.reader(file))
# Without the sizes on disk and the times, which are the host's to know.
assert rows[0][4:6] == ['Size on disk', 'Last Accessed']
open(sys.argv[2], 'w', encoding='utf-8').write('\n'.join('|'.join(row[:4] + row[6:]) for row in rows) + '\n')
)PYTHON";

}  // namespace

TEST_F(Scans, AComparisonShowsEveryChangeAndExportsWhatIsShown) {
    Temporary_Tree tree;
    Make_Tree_Of_Last_Month(tree);
    const std::wstring root = tree.Path_Of(L"root");
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Gui::Set(Work::Controls().Display_Folders);
    Gui::Set(Work::Controls().Display_Full_Size);
    Search(root);
    const std::wstring older = tree.Path_Of(L"older.qscan");
    Work::Save_Scan(older);
    Work::Save_Scan(tree.Path_Of(L"other.qscan"));

    ASSERT_NO_FATAL_FAILURE(Change_Tree_Since_Last_Month(tree));
    Search(root);
    Work::Compare_With(older);
    EXPECT_EQ(Last_Message(), "");
    EXPECT_EQ(Column_Title(Files_View(), Gui::Number_Of_Columns_Of(Files_View()) - 1), L"Change");
    EXPECT_EQ(Change_Of_Row(L"grows.txt"), L"+1000");
    EXPECT_EQ(Change_Of_Row(L"shrinks.txt"), L"-300");
    EXPECT_EQ(Change_Of_Row(L"sub"), L"-25") << "45 now, 70 then";
    EXPECT_EQ(Change_Of_Row(L"old"), L"-9");
    EXPECT_EQ(Color_Of_Row(L"old"), Gui::Gray);
    EXPECT_EQ(Color_Of_Row(L"sub"), Gui::Red);
    EXPECT_NE(Status_Line().find("compared with older.qscan"), std::string::npos) << Status_Line();
    EXPECT_EQ(Status_Line().substr(0, Status_Line().find(" - ")),
              "2 files and 1 folder. Total size=1345") << "what has gone counts in the changes only";
    // The owner's change is the sum of the changes shown.
    const Gui::List_View& accounts = Work::Controls().Account_List_View;
    Show(Accounts_Tab);
    ASSERT_EQ(Gui::Number_Of_Columns_Of(accounts), 8);
    const std::wstring mine = Files::Image_Of(Files::Owner_Of(tree.Path_Of(L"root\\grows.txt")));
    EXPECT_EQ(Cell(accounts, Row_Named(accounts, mine), 7), L"+666");
    Show(Display_Tab);

    // Sorted by change, what grew most comes first.
    const int change_column = Gui::Number_Of_Columns_Of(Files_View());
    Gui::Sort(Files_View(), change_column, Gui::Direction::Descending);
    EXPECT_EQ(Column_Cells(0).front(), L"grows.txt");
    EXPECT_EQ(Column_Cells(0).back(), L"shrinks.txt");

    Double_Click(Files_View(), Row_Named(Files_View(), L"sub"));
    EXPECT_EQ(Change_Of_Row(L"new.bin"), L"new");
    EXPECT_EQ(Change_Of_Row(L"stays.bin"), L"0");
    EXPECT_EQ(Change_Of_Row(L"goes.bin"), L"-30");
    EXPECT_EQ(Color_Of_Row(L"goes.bin"), Gui::Gray);
    Press(Work::Controls().Back_Button);

    // Exported as shown: filtered by the minimum size, sorted by size.
    Type(Work::Controls().Minimum_Size_Box, "150");
    Show(Display_Tab);
    Gui::Sort(Files_View(), change_column - 3, Gui::Direction::Ascending);
    const std::wstring exported = tree.Path_Of(L"export.csv");
    Work::Export_Rows(exported);
    const std::wstring read_back = tree.Path_Of(L"read.txt");
    ASSERT_TRUE(Run_Host_Python(Csv_Reader, Host_Path_Of(exported) + L" " + Host_Path_Of(read_back)));
    std::ifstream file(std::filesystem::path(read_back), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    const std::string owner = Wide_Text::Utf8_Of(mine);
    const std::string folder = Wide_Text::Utf8_Of(root);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Name|In Folder|Owner|Size|Change|Type",
                         "shrinks.txt|" + folder + "|" + owner + "|200|-300|file",
                         "grows.txt|" + folder + "|" + owner + "|1100|1000|file"}));

    // A damaged scan leaves the comparison shown as it was.
    std::string damaged = Files::Contents_Of(older);
    damaged[damaged.size() - 20] ^= 2;
    Files::Replace_Contents(tree.Path_Of(L"damaged.qscan"), damaged);
    const Work::Compare::Changes* shown = Work::Comparison();
    const int rows = Row_Count(Files_View());
    Work::Compare_With(tree.Path_Of(L"damaged.qscan"));
    EXPECT_NE(Last_Message().find("BAD_CHECKSUM"), std::string::npos) << Last_Message();
    EXPECT_EQ(Work::Comparison(), shown);
    EXPECT_EQ(Row_Count(Files_View()), rows);

    // Only a scan of the same folder compares.
    Search(tree.Path_Of(L"root\\sub"));
    Work::Compare_With(tree.Path_Of(L"other.qscan"));
    EXPECT_NE(Last_Message().find("only scans of the same folder"), std::string::npos) << Last_Message();
    EXPECT_EQ(Work::Comparison(), nullptr);
}
