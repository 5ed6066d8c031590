// Display and navigation over the records of a real walk of a temporary tree: columns,
// totals, colours, sorting, drill-down and "Back", refresh, and the owners' accounts.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "registry.hpp"
#include "substitute_stream_query.hpp"
#include "temporary_tree.hpp"
#include "wide_text.hpp"
#include "work_window.hpp"

using namespace Work_Window;
using Work::Logical_Column;
namespace Files = Windows::Files;

namespace {

// root\a.txt (10), b.txt (20), n.txt (7, owned by another user when that can be arranged),
// root\ab\x.bin (100), root\ab\deep\y.bin (1000), root\abc\z.bin (5).
class Tree {
public:
    Tree() {
        const std::string name = "qx_" + std::string(testing::UnitTest::GetInstance()
                                                         ->current_test_info()->name()) +
                                 "_" + std::to_string(GetCurrentProcessId());
        unix_root_ = "/tmp/" + name;
        root_ = L"Z:\\tmp\\" + Wide_Text::Widened(name);
        Remove(root_);
        Make_Folder(L"");
        Make_File(L"\\a.txt", 10);
        Make_File(L"\\b.txt", 20);
        Make_File(L"\\n.txt", 7);
        Make_Folder(L"\\ab");
        Make_File(L"\\ab\\x.bin", 100);
        Make_Folder(L"\\ab\\deep");
        Make_File(L"\\ab\\deep\\y.bin", 1000);
        Make_Folder(L"\\abc");
        Make_File(L"\\abc\\z.bin", 5);
        has_second_owner_ = Give_Away(L"\\n.txt");
    }
    ~Tree() { Remove(root_); }

    const std::wstring& Root() const { return root_; }
    std::wstring Path(const std::wstring& relative) const { return root_ + relative; }
    bool Has_Second_Owner() const { return has_second_owner_; }

    void Set_Access_Time(const std::wstring& relative, std::uint64_t the_time) const {
        HANDLE file = CreateFileW(Path(relative).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME access{static_cast<DWORD>(the_time), static_cast<DWORD>(the_time >> 32)};
        EXPECT_TRUE(SetFileTime(file, nullptr, &access, nullptr));
        CloseHandle(file);
    }

private:
    void Make_Folder(const std::wstring& relative) {
        ASSERT_TRUE(CreateDirectoryW(Path(relative).c_str(), nullptr));
    }
    void Make_File(const std::wstring& relative, DWORD size) {
        HANDLE file = CreateFileW(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        std::vector<char> bytes(size, 'q');
        DWORD written = 0;
        WriteFile(file, bytes.data(), size, &written, nullptr);
        CloseHandle(file);
    }
    // A file of any other Linux user has an owner of its own under Wine.
    bool Give_Away(const std::wstring& relative) {
        std::string command = "chown nobody " + unix_root_ + Wide_Text::Utf8_Of(relative);
        for (char& character : command)
            if (character == '\\') character = '/';
        STARTUPINFOA start{};
        start.cb = sizeof start;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA("Z:\\bin\\chown", command.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, nullptr, &start, &process))
            return false;
        // A Unix process's handle cannot be waited for: its effect is.
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return Gui_Driver::Wait_Until([&] {
            return Files::Owner_Of(Path(relative)) != Files::Owner_Of(Path(L"\\a.txt"));
        });
    }
    static void Remove(const std::wstring& path) {
        WIN32_FIND_DATAW entry{};
        HANDLE found = FindFirstFileW((path + L"\\*").c_str(), &entry);
        if (found != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") continue;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(path + L"\\" + name);
                else DeleteFileW((path + L"\\" + name).c_str());
            } while (FindNextFileW(found, &entry));
            FindClose(found);
        }
        RemoveDirectoryW(path.c_str());
    }

    std::string unix_root_;
    std::wstring root_;
    bool has_second_owner_ = false;
};

class Results : public Work_Window_Test {};

std::wstring Size_Cell(std::uint64_t the_size) {
    return Wide_Text::Widened(Files::Image_Of(Unsigned::Quadword::From(the_size)));
}

std::string Totals(int files, int folders, std::uint64_t size) {
    return Work::Image_Of(files, "file") + " and " + Work::Image_Of(folders, "folder") +
           ". Total size=" + Work::Image_Of(Unsigned::Quadword::From(size));
}

std::vector<std::wstring> Column(const Gui::List_View& the_view, int the_column) {
    std::vector<std::wstring> cells;
    for (int row = 0; row < Row_Count(the_view); ++row) cells.push_back(Cell(the_view, row, the_column));
    return cells;
}

std::vector<std::wstring> Names() { return Column(Work::Controls().File_List_View, 0); }

std::vector<std::wstring> Sorted(std::vector<std::wstring> cells) {
    std::sort(cells.begin(), cells.end());
    return cells;
}

Work::File_Information& Record_Named(const std::wstring& the_name) {
    for (auto position = First(Work::Known_Files()); Has_Element(position); position = Next(position))
        if (Element_At(position).File_Name == the_name) return Element_At(position);
    throw Constraint_Error("no such record");
}

bool Back_Is_Enabled() { return IsWindowEnabled(Gui::Window_Of(Work::Controls().Back_Button)); }

// Changes a box on the "Selection" page, then shows "Display", which refreshes.
void Change_And_Refresh(const Gui::Check_Box& the_box, bool is_ticked) {
    if (is_ticked) Gui::Set(the_box);
    else Gui::Clear(the_box);
    Show(Display_Tab);
}

}  // namespace

TEST_F(Results, ColumnsFollowTheVolumeAndTheStreamsOption) {
    Open_Window();
    const Gui::List_View& view = Work::Controls().File_List_View;
    Work::Testing::Set_Searching_Ntfs(false);
    Work::Adjust_Gui();
    ASSERT_EQ(Gui::Number_Of_Columns_Of(view), 5);
    EXPECT_EQ(Column_Title(view, 2), L"Size");
    EXPECT_EQ(Column_Title(view, 3), L"Size on disk");
    EXPECT_EQ(Column_Title(view, 4), L"Date Modified");
    EXPECT_FALSE(Work::Owner_Is_Displayed());
    EXPECT_EQ(Work::Column_Of(2), Logical_Column::Size);
    EXPECT_EQ(Work::Column_Of(3), Logical_Column::Size_On_Disk);
    EXPECT_EQ(Work::Column_Of(4), Logical_Column::Last_Accessed);

    Work::Testing::Set_Searching_Ntfs(true);
    Work::Adjust_Gui();
    ASSERT_EQ(Gui::Number_Of_Columns_Of(view), 6);
    std::vector<std::wstring> titles;
    for (int column = 0; column < 6; ++column) titles.push_back(Column_Title(view, column));
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"Name", L"In Folder", L"Owner", L"Size",
                                                  L"Size on disk", L"Last Accessed"}));
    EXPECT_EQ(Work::Column_Of(2), Logical_Column::Owner);
    EXPECT_EQ(Work::Column_Of(3), Logical_Column::Size);

    // The same columns again: the width the user gave one stays.
    Gui::Set_Width(view, 4, 123);
    Work::Adjust_Gui();
    EXPECT_EQ(Gui::Width_Of(view, 4), 123);

    Work::Testing::Selection_To_Change().Options[Work::Selection_Option::STREAMS] = true;
    Work::Adjust_Gui();
    ASSERT_EQ(Gui::Number_Of_Columns_Of(view), 7);
    EXPECT_EQ(Column_Title(view, 3), L"Stream");
    EXPECT_EQ(Column_Title(view, 6), L"Last Accessed");
    EXPECT_EQ(Work::Column_Of(3), Logical_Column::Stream);
    EXPECT_EQ(Work::Column_Of(6), Logical_Column::Last_Accessed);

    Work::Testing::Set_Searching_Ntfs(false);
    Work::Adjust_Gui();
    EXPECT_EQ(Gui::Number_Of_Columns_Of(view), 5) << "the optional columns go again";
    EXPECT_EQ(Column_Title(view, 4), L"Date Modified");
}

TEST_F(Results, AWalkIsShownWithItsTotalsAndRefreshedWithoutWalkingAgain) {
    Tree tree;
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Search(tree.Root() + L"\\\\");
    EXPECT_EQ(Work::Search_Root(), tree.Root());
    EXPECT_EQ(Sorted(Names()), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"n.txt"}));
    EXPECT_EQ(Status_Line(), Totals(3, 0, 37));
    EXPECT_EQ(Gui::Contents_Of(Work::Controls().Minimum_Size_Box), " 0") << "rewritten normalised";

    const int row = Row_Named(Work::Controls().File_List_View, L"a.txt");
    const Work::File_Information& a = Record_Named(L"a.txt");
    EXPECT_EQ(Cell(Work::Controls().File_List_View, row, 1), tree.Root());
    EXPECT_EQ(Cell(Work::Controls().File_List_View, row, 2), Files::Image_Of(Files::Owner_Of(tree.Path(L"\\a.txt"))));
    EXPECT_FALSE(Cell(Work::Controls().File_List_View, row, 2).empty());
    EXPECT_EQ(Cell(Work::Controls().File_List_View, row, 3), Size_Cell(10));
    EXPECT_EQ(Cell(Work::Controls().File_List_View, row, 5), Files::Image_Of(a.Last_Accessed));

    // Nothing changed: a refresh leaves everything as it is.
    Gui::Set_Status_Line("untouched");
    Show(Display_Tab);
    EXPECT_EQ(Status_Line(), "untouched");

    // The options change; the records of the walk are shown again, gone files included.
    ASSERT_TRUE(DeleteFileW(tree.Path(L"\\a.txt").c_str()));
    Change_And_Refresh(Work::Controls().Display_Folders, true);
    EXPECT_EQ(Row_Count(Work::Controls().File_List_View), 5);
    EXPECT_EQ(Status_Line(), Totals(3, 2, 37 + 1100 + 5));
    Change_And_Refresh(Work::Controls().Display_Full_Size, true);
    EXPECT_EQ(Status_Line(), "3 files and 2 folders. Total size=1142");
    EXPECT_EQ(Cell(Work::Controls().File_List_View, Row_Named(Work::Controls().File_List_View, L"ab"), 3), L"1100");

    Gui::Clear(Work::Controls().Display_Folders);
    Type(Work::Controls().Minimum_Size_Box, "20");
    Show(Display_Tab);
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"b.txt"});
    EXPECT_EQ(Status_Line(), "1 file and 0 folders. Total size=20");
    Type(Work::Controls().Minimum_Size_Box, "21");
    Show(Display_Tab);
    EXPECT_EQ(Status_Line(), "0 files and 0 folders. Total size=0");
}

TEST_F(Results, FoldersAreRedEvenWhenCompressed) {
    Tree tree;
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Search(tree.Root());
    Work::File_Information& folder = Record_Named(L"ab");
    Work::File_Information& file = Record_Named(L"a.txt");
    EXPECT_EQ(Work::File_Color_Handler(&folder), Gui::Red);
    EXPECT_EQ(Work::File_Color_Handler(&file), Gui::Black);
    folder.Is_Compressed = true;
    file.Is_Compressed = true;
    EXPECT_EQ(Work::File_Color_Handler(&folder), Gui::Red);
    EXPECT_EQ(Work::File_Color_Handler(&file), Gui::Blue);
    file.Has_Streams = true;
    EXPECT_EQ(Work::File_Color_Handler(&file), Gui::Green);
}

TEST_F(Results, EveryColumnSorts) {
    Tree tree;
    // Distinct access times, oldest first: y, a, z, n, b, x.
    const std::uint64_t base = 130'000'000'000'000'000ull;
    const wchar_t* by_age[] = {L"\\ab\\deep\\y.bin", L"\\a.txt", L"\\abc\\z.bin",
                               L"\\n.txt", L"\\b.txt", L"\\ab\\x.bin"};
    for (std::uint64_t age = 0; age < 6; ++age)
        tree.Set_Access_Time(by_age[age], base + age * 10'000'000'000ull);
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Gui::Set(Work::Controls().Display_Folders);
    Gui::Set(Work::Controls().Visit_Folders);
    Gui::Set(Work::Controls().Display_Full_Size);
    Search(tree.Root());
    const Gui::List_View& view = Work::Controls().File_List_View;
    ASSERT_EQ(Row_Count(view), 9);

    Gui::Sort(view, 1, Gui::Direction::Ascending);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a.txt", L"ab", L"abc", L"b.txt", L"deep",
                                                   L"n.txt", L"x.bin", L"y.bin", L"z.bin"}));
    Gui::Sort(view, 1, Gui::Direction::Descending);
    EXPECT_EQ(Names().front(), L"z.bin");
    for (int column : {2, 3}) {
        Gui::Sort(view, column, Gui::Direction::Ascending);
        const std::vector<std::wstring> cells = Column(view, column - 1);
        EXPECT_EQ(cells, Sorted(cells)) << "column " << column;
    }
    Gui::Sort(view, 2, Gui::Direction::Descending);
    EXPECT_EQ(Cell(view, 0, 1), tree.Path(L"\\abc"));
    Gui::Sort(view, 4, Gui::Direction::Ascending);
    std::vector<unsigned long long> sizes;
    for (const std::wstring& cell : Column(view, 3)) sizes.push_back(std::stoull(cell));
    EXPECT_TRUE(std::is_sorted(sizes.begin(), sizes.end()));
    EXPECT_EQ(sizes.back(), 1100u);

    Change_And_Refresh(Work::Controls().Display_Folders, false);
    ASSERT_EQ(Row_Count(view), 6);
    Gui::Sort(view, 6, Gui::Direction::Ascending);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"y.bin", L"a.txt", L"z.bin", L"n.txt",
                                                   L"b.txt", L"x.bin"}));
    Gui::Sort(view, 6, Gui::Direction::Descending);
    EXPECT_EQ(Names().front(), L"x.bin");
}

TEST_F(Results, DrillingDownAndGoingBack) {
    Tree tree;
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Gui::Set(Work::Controls().Display_Folders);
    Search(tree.Root());
    const Gui::List_View& view = Work::Controls().File_List_View;
    ASSERT_EQ(Row_Count(view), 5);

    Double_Click(view, Row_Named(view, L"a.txt"));
    EXPECT_EQ(Work::Testing::Display_Root(), L"") << "a file row leads nowhere";
    EXPECT_FALSE(Back_Is_Enabled());

    Double_Click(view, Row_Named(view, L"ab"));
    EXPECT_EQ(Work::Testing::Display_Root(), L"\\ab");
    EXPECT_EQ(Gui::Wide_Contents_Of(Work::Controls().Search_Root_Box), tree.Path(L"\\ab"));
    EXPECT_EQ(Sorted(Names()), (std::vector<std::wstring>{L"deep", L"x.bin"}));
    EXPECT_EQ(Status_Line(), Totals(1, 1, 1100));
    EXPECT_TRUE(Back_Is_Enabled());

    Double_Click(view, Row_Named(view, L"deep"));
    EXPECT_EQ(Work::Testing::Display_Root(), L"\\ab\\deep");
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"y.bin"});

    Press(Work::Controls().Back_Button);
    EXPECT_EQ(Work::Testing::Display_Root(), L"\\ab");
    EXPECT_EQ(Sorted(Names()), (std::vector<std::wstring>{L"deep", L"x.bin"}));
    EXPECT_TRUE(Back_Is_Enabled());
    Press(Work::Controls().Back_Button);
    EXPECT_EQ(Work::Testing::Display_Root(), L"");
    EXPECT_EQ(Gui::Wide_Contents_Of(Work::Controls().Search_Root_Box), tree.Root());
    EXPECT_EQ(Row_Count(view), 5);
    EXPECT_FALSE(Back_Is_Enabled());

    // With subfolders, "\ab" holds what is below it, but not the look-alike "\abc".
    Change_And_Refresh(Work::Controls().Visit_Folders, true);
    EXPECT_EQ(Row_Count(view), 9);
    Double_Click(view, Row_Named(view, L"ab"));
    EXPECT_EQ(Sorted(Names()), (std::vector<std::wstring>{L"deep", L"x.bin", L"y.bin"}));
    EXPECT_EQ(Status_Line(), Totals(2, 1, 100 + 1000)) << "y.bin's bytes are deep's, counted once";

    // No display while the searcher is at work: navigation is ignored.
    Work::Testing::Set_Searcher_Busy(true);
    Press(Work::Controls().Back_Button);
    Double_Click(view, Row_Named(view, L"deep"));
    Change_And_Refresh(Work::Controls().Display_Hidden, true);
    EXPECT_EQ(Work::Testing::Display_Root(), L"\\ab");
    EXPECT_EQ(Row_Count(view), 3);
    Work::Testing::Set_Searcher_Busy(false);
}

TEST_F(Results, AccountsTotalWhatIsShown) {
    Tree tree;
    if (!tree.Has_Second_Owner()) GTEST_SKIP() << "no second owner can be made here";
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Search(tree.Root());
    const Gui::List_View& accounts = Work::Controls().Account_List_View;
    const std::wstring mine = Files::Image_Of(Files::Owner_Of(tree.Path(L"\\a.txt")));
    const std::wstring other = Files::Image_Of(Files::Owner_Of(tree.Path(L"\\n.txt")));
    Show(Accounts_Tab);
    ASSERT_EQ(Row_Count(accounts), 2);
    const int my_row = Row_Named(accounts, mine);
    const int other_row = Row_Named(accounts, other);
    ASSERT_GE(my_row, 0);
    ASSERT_GE(other_row, 0);
    EXPECT_EQ(Cell(accounts, my_row, 1), L" 2");
    EXPECT_EQ(Cell(accounts, my_row, 2), Size_Cell(30));
    EXPECT_EQ(Cell(accounts, other_row, 1), L" 1");
    EXPECT_EQ(Cell(accounts, other_row, 2), Size_Cell(7));

    // The other owner's file is no longer shown: its row stays, with zeros.
    Type(Work::Controls().Minimum_Size_Box, "8");
    Show(Display_Tab);
    Show(Accounts_Tab);
    ASSERT_EQ(Row_Count(accounts), 2);
    EXPECT_EQ(Cell(accounts, other_row, 1), L" 0");
    EXPECT_EQ(Cell(accounts, other_row, 2), Size_Cell(0));
    EXPECT_EQ(Cell(accounts, my_row, 1), L" 2");

    // An unknown owner counts nowhere.
    Work::File_Information unknown = Record_Named(L"b.txt");
    unknown.Owner = nullptr;
    Work::Add_To_Object_Owner(unknown);
    EXPECT_EQ(Length_Of(Work::Known_Accounts()), 2);
    EXPECT_EQ(Cell(accounts, my_row, 1), L" 2");

    // Sorted by name, the owners compare by their images; by count, numerically.
    EXPECT_EQ(Work::Comparison_Of(Files::Owner_Of(tree.Path(L"\\a.txt")), nullptr),
              Gui::Comparison::Greater) << "a longer image is greater";
    Gui::Sort(accounts, 2, Gui::Direction::Descending);
    EXPECT_EQ(Cell(accounts, 0, 0), mine);
}

TEST_F(Results, ClosingDuringAWalkSavesTheOptionsAndEndsTheSearcher) {
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Type(Work::Controls().Recently_Accessed, "42");
    Show(Display_Tab);
    // A tree large enough to be still walking when the window closes.
    Gui::Set(Work::Controls().Search_Root_Box, L"Z:\\usr");
    Press(Work::Controls().Start_Stop_Button);
    ASSERT_TRUE(Work::Search_Is_Wanted());
    Gui::Close();
    Gui::Wait_For_End();
    Work::Join_Searcher();  // ends by itself, without a quit request
    EXPECT_EQ(Row_Count(Work::Controls().File_List_View), 0) << "nothing displayed";
    EXPECT_TRUE(Work::Has_Been_Terminated());
    Registry::Define("\\Selection");
    EXPECT_EQ(Registry::Value_Of("Within", "5"), "42");
    EXPECT_TRUE(Registry::Value_Of("Files", false));
}

TEST_F(Results, AThresholdTheShortFormCannotHoldSurvivesRefreshCloseAndRestart) {
    Tree tree;
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Search(tree.Root());
    // 12,345 bytes is not " 12KB": the box keeps the byte count, and a return to the page
    // filters by the same threshold again; 12,000 is, and shows short.
    for (const auto& [typed, shown] : {std::pair{"12345", "12345"}, std::pair{"12000", " 12KB"},
                                       std::pair{"1.5K", " 1500"}}) {
        Type(Work::Controls().Minimum_Size_Box, typed);
        for (int round = 0; round < 2; ++round) {
            Show(Selection_Tab);
            Show(Display_Tab);
            EXPECT_EQ(Gui::Contents_Of(Work::Controls().Minimum_Size_Box), shown) << typed;
            EXPECT_EQ(Files::Image_Of(Work::Selection_In_Force().Size_Threshold),
                      Files::Image_Of(Files::Size_From(typed)));
            EXPECT_EQ(Work::Selection_In_Force().Size_Threshold.Value(),
                      Files::Size_From(typed).Value()) << typed << " round " << round;
        }
    }
    Type(Work::Controls().Minimum_Size_Box, "18446744073709551615");
    Show(Display_Tab);
    EXPECT_EQ(Work::Selection_In_Force().Size_Threshold.Value(), UINT64_MAX) << "taken exactly";
    Type(Work::Controls().Minimum_Size_Box, "12345");
    Show(Display_Tab);
    Gui::Close();
    Gui::Wait_For_End();
    Registry::Define("\\Selection");
    EXPECT_EQ(Registry::Value_Of("Min_Size", "0"), "12345") << "what the next start reads";
}

TEST_F(Results, AFailedWalkIsNotShownAndTheStatusLineSaysSo) {
    Tree tree;
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Gui::Set(Work::Controls().Visit_Folders);
    Search(tree.Root());
    ASSERT_GT(Row_Count(Work::Controls().File_List_View), 0);
    {
        // The platform fails half way through the walk.
        Substitute_Stream_Query query;
        query.On_Query = [] {
            if (Substitute_Stream_Query::Calls == 3) throw Constraint_Error("disk on fire");
        };
        Search(tree.Root());
    }
    EXPECT_EQ(Status_Line(), "Search failed");
    EXPECT_NE(Last_Message().find("disk on fire"), std::string::npos) << Last_Message();
    EXPECT_EQ(Row_Count(Work::Controls().File_List_View), 0);
    // Nothing partial comes back through a refresh or navigation.
    Gui::Clear(Work::Controls().Visit_Folders);
    Show(Display_Tab);
    EXPECT_EQ(Row_Count(Work::Controls().File_List_View), 0);
    EXPECT_EQ(Length_Of(Work::Known_Files()), 0);
    Search(tree.Root());
    EXPECT_GT(Row_Count(Work::Controls().File_List_View), 0) << "the next search shows again";
}

TEST_F(Results, PressesAtTheEndOfWalksNeverShowRowsOfFreedRecords) {
    Tree tree;
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Gui::Set(Work::Controls().Visit_Folders);
    Search(tree.Root());
    const int rows = Row_Count(Work::Controls().File_List_View);
    ASSERT_EQ(rows, 6);
    // Small walks end quickly: presses, "Back" and page switches land in their last moments.
    for (int round = 0; round < 40; ++round) {
        Gui_Driver::Click(Work::Controls().Start_Stop_Button);
        Sleep(round % 7);
        Gui_Driver::Click(Work::Controls().Back_Button);
        Gui_Driver::Select_Tab(round % 2 ? Selection_Tab : Display_Tab);
    }
    Show(Display_Tab);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return !Work::Searcher_Is_Busy(); }, 20000));
    Wait_For_Actions();
    wchar_t caption[20] = {};
    GetWindowTextW(Gui::Window_Of(Work::Controls().Start_Stop_Button), caption, 20);
    EXPECT_EQ(std::wstring(caption), L"Search");
    EXPECT_TRUE(IsWindowEnabled(Gui::Window_Of(Work::Controls().Start_Stop_Button)));
    // The searcher still serves, and every row shows a record of its last walk.
    Search(tree.Root());
    ASSERT_EQ(Row_Count(Work::Controls().File_List_View), rows);
    EXPECT_EQ(Sorted(Names()), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"n.txt", L"x.bin",
                                                          L"y.bin", L"z.bin"}));
}

namespace {

// The pixels a window shows now.
std::vector<COLORREF> Pixels_Of(HWND the_window) {
    RECT area{};
    GetClientRect(the_window, &area);
    HDC screen = GetDC(the_window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, area.right, area.bottom);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, area.right, area.bottom, screen, 0, 0, SRCCOPY);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < area.bottom; y += 2)
        for (int x = 0; x < area.right; x += 2) pixels.push_back(GetPixel(memory, x, y));
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(the_window, screen);
    return pixels;
}

}  // namespace

TEST_F(Results, AccountRowsShownDuringASecondSearchShowItsTotals) {
    Tree tree;
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Search(tree.Root());
    Show(Accounts_Tab);
    const HWND accounts = Gui::Window_Of(Work::Controls().Account_List_View);
    const std::wstring mine = Files::Image_Of(Files::Owner_Of(tree.Path(L"\\a.txt")));
    const int row = Row_Named(Work::Controls().Account_List_View, mine);
    ASSERT_GE(row, 0);
    const std::wstring files_before = Cell(Work::Controls().Account_List_View, row, 1);
    Sleep(300);
    UpdateWindow(accounts);
    const std::vector<COLORREF> before = Pixels_Of(accounts);

    // One more file of the same owner, searched for while the Accounts page stays shown.
    const HANDLE file = CreateFileW(tree.Path(L"\\c.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    Gui::Execute(Work::Stop_Start_Request);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return Work::Searcher_Is_Busy(); }, 2000) ||
                Length_Of(Work::Known_Files()) > 0);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return !Work::Searcher_Is_Busy(); }, 20000));
    ASSERT_NE(Cell(Work::Controls().Account_List_View, row, 1), files_before);
    // The texts changed in place; the rows on the screen must follow.
    EXPECT_TRUE(Gui_Driver::Wait_Until([&] {
        UpdateWindow(accounts);
        return Pixels_Of(accounts) != before;
    }, 3000)) << "the account rows still show the first search's totals";
}

// Hard links, and the host's symbolic links, which Wine follows, lead to one object by
// several paths: each object adds its size once, as du counts it, and the rows of the
// others are marked. Which path comes first is the listing's order, so the test asks only
// that exactly one of them counts.
TEST_F(Results, AnObjectReachedBySeveralPathsCountsOnce) {
    Temporary_Tree tree;
    const std::wstring host_root = Host_Path_Of(tree.Root());
    if (host_root.empty()) GTEST_SKIP() << "no host system here";
    tree.Make_File(L"a\\big", 10000);
    tree.Make_File(L"a\\small", 300);
    tree.Make_File(L"d\\own", 77);
    tree.Make_Folder(L"b");
    // Gone before the tree is removed, which would follow them.
    const Host_Command_At_Exit unlink(L"/bin/rm -f " + host_root + L"/b/soft " + host_root + L"/c");
    ASSERT_TRUE(Run_Host_Command(L"/bin/ln " + host_root + L"/a/big " + host_root + L"/b/hard"));
    ASSERT_TRUE(Run_Host_Command(L"/bin/ln -s ../a/small " + host_root + L"/b/soft"));
    ASSERT_TRUE(Run_Host_Command(L"/bin/ln -s a " + host_root + L"/c"));
    // du counts each object once; folders and links have sizes of their own there, which the
    // walk does not see.
    const std::wstring oracle = tree.Root() + L".du";
    ASSERT_TRUE(Run_Host_Python(
        "import subprocess, sys\n"
        "du = int(subprocess.run(['du', '-sb', '--apparent-size', sys.argv[1]], check=True,\n"
        "         capture_output=True, text=True).stdout.split()[0])\n"
        "own = subprocess.run(['find', sys.argv[1], '(', '-type', 'd', '-o', '-type', 'l', ')',\n"
        "         '-printf', '%s\\n'], check=True, capture_output=True, text=True).stdout.split()\n"
        "open(sys.argv[2], 'w').write(str(du - sum(map(int, own))))\n",
        host_root + L" " + Host_Path_Of(oracle)));
    std::uint64_t du_total = 0;
    ASSERT_TRUE(std::ifstream(std::filesystem::path(oracle)) >> du_total);
    DeleteFileW(oracle.c_str());
    EXPECT_EQ(du_total, 10377u);

    Open_Window();
    Gui::Set(Work::Controls().Display_Folders);
    Gui::Set(Work::Controls().Display_Full_Size);
    Search(tree.Root());
    EXPECT_EQ(Status_Line(), "0 files and 4 folders. Total size=" + std::to_string(du_total));

    // One path of each object adds its size; the rows of the others show their size marked.
    auto counted_paths = [](std::initializer_list<std::wstring> paths) {
        int counted = 0;
        for (const Work::File_Information& record : Elements_Of(Work::Known_Files(), 1).Elements)
            for (const std::wstring& path : paths)
                if (record.Folder_Name + L"\\" + record.File_Name.String() == path &&
                    Work::Counted_Size_Of(record).Value() != 0)
                    ++counted;
        return counted;
    };
    EXPECT_EQ(counted_paths({L"\\a\\big", L"\\b\\hard", L"\\c\\big"}), 1);
    EXPECT_EQ(counted_paths({L"\\a\\small", L"\\b\\soft", L"\\c\\small"}), 1);
    // The link to a folder is either not entered or entered as the same folder.
    EXPECT_LE(counted_paths({L"\\a", L"\\c"}), 1);
    for (const Work::File_Information& record : Elements_Of(Work::Known_Files(), 1).Elements)
        if (record.Is_Shared && !record.Is_Folder) {
            EXPECT_EQ(Work::File_Text_Handler(3, const_cast<Work::File_Information*>(&record)),
                      std::to_wstring(record.Object_Size.Value()) + L"=");
        }

    // The owner's usage counts each object once too.
    Show(Accounts_Tab);
    const Gui::List_View& accounts = Work::Controls().Account_List_View;
    const int my_row = Row_Named(accounts, Files::Image_Of(Files::Owner_Of(tree.Path_Of(L"d\\own"))));
    ASSERT_GE(my_row, 0);
    EXPECT_EQ(Cell(accounts, my_row, 2), Size_Cell(du_total));
}
