// List views over application records: texts, sorting, clicks and many rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <span>
#include <vector>

#include "gui_driver.hpp"

using namespace Gui_Driver;

namespace {

struct Record {
    std::string Name;
    int Size;
    int Group;
};

std::vector<Record> records = {{"b", 3, 1}, {"a", 1, 2}, {"c", 2, 1}, {"d", 2, 2}};

std::string Record_Text(int for_details, void* with_information) {
    const Record& record = *static_cast<Record*>(with_information);
    switch (for_details) {
    case 0: return record.Name;
    case 1: return std::to_string(record.Size);
    default: return std::to_string(record.Group);
    }
}

std::wstring Long_Text(int for_details, void*) {
    return for_details == 0 ? std::wstring(300, L'w') : L"";
}

COLORREF Record_Color(void* for_information) {
    return static_cast<Record*>(for_information)->Group == 1 ? Gui::Red : Gui::Blue;
}

template <typename Value>
Gui::Comparison Compare(const Value& first, const Value& second) {
    return first < second ? Gui::Comparison::Less : second < first ? Gui::Comparison::Greater : Gui::Comparison::Equal;
}

Gui::Comparison Record_Order(int for_column, void* first_information, void* second_information) {
    const Record& first = *static_cast<Record*>(first_information);
    const Record& second = *static_cast<Record*>(second_information);
    switch (for_column) {
    case 0: return Compare(first.Name, second.Name);
    case 1: return Compare(first.Size, second.Size);
    default: return Compare(first.Group, second.Group);
    }
}

std::atomic<void*> clicked{nullptr};
std::atomic<int> clicks{0};
void Record_Click(void* on_information) {
    clicked = on_information;
    ++clicks;
}

class List_Views : public Window_Test {
protected:
    Gui::List_View Make_View(Gui::Sort_Routine the_sort_routine = Record_Order) {
        Start();
        Gui::Page page = Gui::Add_Page("Records");
        Gui::List_View view = Gui::Create(page, Record_Text, Record_Color, the_sort_routine, Record_Click, true);
        Gui::Add_Column(view, "Name", 80, Gui::Justification::Left);
        Gui::Add_Column(view, "Size", 60, Gui::Justification::Right);
        Gui::Add_Column(view, "Group", 60, Gui::Justification::Center);
        for (Record& record : records) Gui::Add_Data(view, &record);
        HWND window = Gui::Window_Of(view);
        Wait_Until([&] { return SendMessageW(window, LVM_GETITEMCOUNT, 0, 0) == 4; });
        return view;
    }
};

std::wstring Cell(const Gui::List_View& the_view, int the_row, int the_column) {
    std::vector<wchar_t> buffer(400);
    LVITEMW item{};
    item.iSubItem = the_column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    SendMessageW(Gui::Window_Of(the_view), LVM_GETITEMTEXTW, the_row, reinterpret_cast<LPARAM>(&item));
    return buffer.data();
}

std::wstring Names(const Gui::List_View& the_view) {
    std::wstring names;
    for (int row = 0; row < Gui::Number_Of_Rows_Of(the_view); ++row) names += Cell(the_view, row, 0);
    return names;
}

// Returns as soon as the display thread has taken the click; the sort runs on.
void Click_Header_Only(const Gui::List_View& the_view, int the_column) {
    NMLISTVIEW click{};
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = the_column;
    Notify(the_view, click.hdr);
}

void Click_Header(const Gui::List_View& the_view, int the_column) {
    Click_Header_Only(the_view, the_column);
    ASSERT_TRUE(Wait_Until([&] { return !Gui::Is_Sorting(the_view); }));
}

// A comparison that takes its time while held, and notes whether it ran after the rows were
// removed.
std::atomic<bool> is_held{false};
std::atomic<int> comparisons{0};
std::atomic<bool> rows_are_removed{false};
std::atomic<int> late_comparisons{0};

Gui::Comparison Slow_Order(int for_column, void* first_information, void* second_information) {
    ++comparisons;
    if (rows_are_removed) ++late_comparisons;
    if (is_held) Sleep(10);
    return Record_Order(for_column, first_information, second_information);
}

std::vector<Record> Many_Records(int the_count, int the_first) {
    std::vector<Record> result;
    for (int index = the_first; index < the_first + the_count; ++index) {
        std::string name(1, 'r');
        name += std::to_string(1000 + index);
        result.push_back({name, index * 13 % 11, index * 7 % 5});
    }
    return result;
}

std::vector<std::wstring> Name_List(const Gui::List_View& the_view) {
    std::vector<std::wstring> names;
    for (int row = 0; row < Gui::Number_Of_Rows_Of(the_view); ++row) names.push_back(Cell(the_view, row, 0));
    return names;
}

// What a stable sort of the rows in the order given yields.
std::vector<std::wstring> Sorted_Names(std::vector<Record*> rows, int the_column, bool is_ascending) {
    std::stable_sort(rows.begin(), rows.end(), [&](Record* first, Record* second) {
        Gui::Comparison result = Record_Order(the_column, first, second);
        return result == (is_ascending ? Gui::Comparison::Less : Gui::Comparison::Greater);
    });
    std::vector<std::wstring> names;
    for (Record* record : rows) names.push_back(std::wstring(record->Name.begin(), record->Name.end()));
    return names;
}

std::vector<Record*> Addresses_Of(std::vector<Record>& the_records) {
    std::vector<Record*> result;
    for (Record& record : the_records) result.push_back(&record);
    return result;
}

bool Comparing_Has_Begun() {
    return Wait_Until([] { return comparisons > 0; });
}

}  // namespace

TEST_F(List_Views, HeaderClicksAlternateTheDirectionForAllColumns) {
    Gui::List_View view = Make_View();
    EXPECT_EQ(Names(view), L"bacd");
    Click_Header(view, 0);
    EXPECT_EQ(Names(view), L"abcd");
    Click_Header(view, 0);
    EXPECT_EQ(Names(view), L"dcba");
    Click_Header(view, 0);
    EXPECT_EQ(Names(view), L"abcd");
    Gui::Sort(view, 3, Gui::Direction::Descending);
    EXPECT_EQ(Names(view), L"adbc") << "by group, ties keep the previous order";
    Click_Header(view, 1);  // the direction turned: ascending by size
    EXPECT_EQ(Names(view), L"adcb");
    EXPECT_EQ(Cell(view, 3, 1), L"3");
    EXPECT_THROW(Gui::Sort(view, 0, Gui::Direction::Ascending), Constraint_Error);
    EXPECT_FALSE(GetWindowLongW(Gui::Window_Of(view), GWL_STYLE) & LVS_NOSORTHEADER);
}

class Slow_Sorts : public List_Views {
protected:
    void SetUp() override {
        List_Views::SetUp();
        is_held = false;
        comparisons = 0;
        rows_are_removed = false;
        late_comparisons = 0;
    }

    Gui::List_View Make_Slow_View(std::vector<Record>& the_records) {
        Gui::List_View view = Make_View(Slow_Order);
        Gui::Remove_All_From(view);
        Fill(view, the_records);
        return view;
    }

    static void Fill(const Gui::List_View& the_view, std::vector<Record>& the_records) {
        for (Record& record : the_records) Gui::Add_Data(the_view, &record);
        HWND window = Gui::Window_Of(the_view);
        int count = Gui::Number_Of_Rows_Of(the_view);
        ASSERT_TRUE(Wait_Until([&] { return SendMessageW(window, LVM_GETITEMCOUNT, 0, 0) == count; }));
    }

    static void Hold_And_Click(const Gui::List_View& the_view, int the_column) {
        comparisons = 0;
        is_held = true;
        Click_Header_Only(the_view, the_column);
        ASSERT_TRUE(Comparing_Has_Begun());
    }

    static void Release(const Gui::List_View& the_view) {
        is_held = false;
        ASSERT_TRUE(Wait_Until([&] { return !Gui::Is_Sorting(the_view); }, 20000));
    }
};

TEST_F(Slow_Sorts, TheWindowAnswersWhileASortRunsAndRowsAddedMeanwhileAreSortedIn) {
    std::vector<Record> first = Many_Records(200, 0);
    std::vector<Record> later = Many_Records(60, 200);
    Gui::List_View view = Make_Slow_View(first);
    std::vector<std::wstring> before = Name_List(view);

    Hold_And_Click(view, 2);
    EXPECT_TRUE(Gui::Is_Sorting(view));
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutW(Gui::Main_Window(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer));
    EXPECT_EQ(Name_List(view), before) << "the old order shows until the new one is complete";
    Fill(view, later);
    EXPECT_TRUE(Gui::Is_Sorting(view));
    Release(view);

    std::vector<Record*> all = Addresses_Of(first);
    for (Record* record : Addresses_Of(later)) all.push_back(record);
    EXPECT_EQ(Name_List(view), Sorted_Names(all, 2, true));
}

TEST_F(Slow_Sorts, RemovingRowsStopsTheSortBeforeReturning) {
    std::vector<Record> rows = Many_Records(200, 0);
    Gui::List_View view = Make_Slow_View(rows);
    Hold_And_Click(view, 1);
    Gui::Remove_All_From(view);
    rows_are_removed = true;
    Sleep(100);
    EXPECT_EQ(late_comparisons, 0) << "the worker read a record after its row was removed";
    EXPECT_FALSE(Gui::Is_Sorting(view));
    EXPECT_EQ(SendMessageW(Gui::Window_Of(view), LVM_GETITEMCOUNT, 0, 0), 0);
    rows_are_removed = false;

    // Removing one row restarts the sort over the rest; the direction had turned already.
    Fill(view, rows);
    Hold_And_Click(view, 0);
    Gui::Remove_From(view, 1);
    EXPECT_TRUE(Gui::Is_Sorting(view));
    Release(view);
    std::vector<Record*> rest = Addresses_Of(rows);
    rest.erase(rest.begin());
    EXPECT_EQ(Name_List(view), Sorted_Names(rest, 0, false));

    // A sort still running when the window closes ends with the framework's threads.
    Hold_And_Click(view, 1);
    Gui::Close();
    Gui::Wait_For_End();
    int seen = comparisons;
    Sleep(100);
    EXPECT_EQ(comparisons, seen);
    EXPECT_FALSE(Gui::Is_Sorting(view));
}

TEST_F(Slow_Sorts, TheLaterOfTwoQuickClicksWinsAndSortWaitsForItsOrder) {
    std::vector<Record> rows = Many_Records(200, 0);
    Gui::List_View view = Make_Slow_View(rows);
    Hold_And_Click(view, 0);
    Click_Header_Only(view, 0);
    Release(view);
    EXPECT_EQ(Name_List(view), Sorted_Names(Addresses_Of(rows), 0, false)) << "as if both ran in turn";
    Click_Header(view, 0);
    EXPECT_EQ(Name_List(view), Sorted_Names(Addresses_Of(rows), 0, true));

    is_held = true;
    std::thread releaser([] {
        Sleep(300);
        is_held = false;
    });
    Gui::Sort(view, 3, Gui::Direction::Descending);
    std::vector<std::wstring> sorted = Name_List(view);
    releaser.join();
    EXPECT_EQ(sorted, Sorted_Names(Addresses_Of(rows), 2, false));
}

std::mutex report_guard;
std::vector<std::string> reports;
void Collect_Report(const std::string& the_message, bool) {
    std::lock_guard lock(report_guard);
    reports.push_back(the_message);
}

Gui::Comparison Failing_Order(int, void*, void*) { throw Constraint_Error("no order"); }

TEST_F(List_Views, AFailingSortRoutineIsReportedAndLeavesTheOrder) {
    Gui::List_View view = Make_View(Failing_Order);
    Gui::Set_Message_Reporter(Collect_Report);
    Gui::Sort(view, 1, Gui::Direction::Ascending);
    EXPECT_EQ(Names(view), L"bacd");
    EXPECT_TRUE(Wait_Until([] {
        std::lock_guard lock(report_guard);
        return !reports.empty();
    }));
    std::lock_guard lock(report_guard);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("no order"), std::string::npos) << reports[0];
}

TEST_F(List_Views, WithoutSortRoutineHeadersDoNotSort) {
    Gui::List_View view = Make_View(nullptr);
    EXPECT_TRUE(GetWindowLongW(Gui::Window_Of(view), GWL_STYLE) & LVS_NOSORTHEADER);
    HWND header = reinterpret_cast<HWND>(SendMessageW(Gui::Window_Of(view), LVM_GETHEADER, 0, 0));
    EXPECT_FALSE(GetWindowLongW(header, GWL_STYLE) & HDS_BUTTONS);
    Gui::Sort(view, 1, Gui::Direction::Ascending);
    Click_Header(view, 0);
    EXPECT_EQ(Names(view), L"bacd");
}

TEST_F(List_Views, DoubleClicksRowsAndColumns) {
    Gui::List_View view = Make_View();
    Click_Header(view, 0);
    NMITEMACTIVATE activate{};
    activate.hdr.code = NM_DBLCLK;
    activate.iItem = -1;
    Notify(view, activate.hdr);
    activate.iItem = 2;  // "c" in display order
    Notify(view, activate.hdr);
    EXPECT_TRUE(Wait_Until([] { return clicked == &records[2]; }));
    EXPECT_EQ(clicks, 1) << "the empty area below the rows calls nothing";

    Gui::Remove_From(view, 5);
    EXPECT_EQ(Gui::Number_Of_Rows_Of(view), 4);
    Gui::Remove_From(view, 1);
    EXPECT_EQ(Names(view), L"bcd");
    EXPECT_EQ(SendMessageW(Gui::Window_Of(view), LVM_GETITEMCOUNT, 0, 0), 3) << "in effect before returning";
    Gui::Notify_Item_Update(view, 1);
    EXPECT_THROW(Gui::Notify_Item_Update(view, 0), Constraint_Error);

    EXPECT_EQ(Gui::Number_Of_Columns_Of(view), 3);
    Gui::Set_Width(view, 2, 75);
    EXPECT_EQ(Gui::Width_Of(view, 2), 75);
    EXPECT_THROW(Gui::Width_Of(view, 0), Constraint_Error);
    Gui::Set_Title(view, 1, "Label");
    Gui::Remove_Last_Column(view);
    EXPECT_EQ(Gui::Number_Of_Columns_Of(view), 2);

    HWND window = Gui::Window_Of(view);
    Gui::Remove_Gridlines(view);
    EXPECT_FALSE(SendMessageW(window, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_GRIDLINES);
    Gui::Add_Gridlines(view);
    EXPECT_TRUE(SendMessageW(window, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_GRIDLINES);
    Gui::Remove_Gridlines(view);
    EXPECT_FALSE(SendMessageW(window, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_GRIDLINES);

    Gui::Remove_All_From(view);
    EXPECT_EQ(SendMessageW(window, LVM_GETITEMCOUNT, 0, 0), 0);
    Gui::Make_Last_Visible_In(view);  // nothing to show
    EXPECT_GT(Gui::Visible_Region_Of(view), 0);
}

TEST_F(List_Views, LongCellsAndAMillionRows) {
    Start();
    Gui::Page page = Gui::Add_Page("Rows");
    Gui::List_View view = Gui::Create(page, Long_Text, nullptr, nullptr, nullptr, false);
    Gui::Add_Column(view, "Text", 200, Gui::Justification::Left);
    Gui::Add_Column(view, "Empty", 50, Gui::Justification::Left);
    static int row_information = 0;
    Gui::Add_Data(view, &row_information);
    HWND window = Gui::Window_Of(view);
    ASSERT_TRUE(Wait_Until([&] { return SendMessageW(window, LVM_GETITEMCOUNT, 0, 0) == 1; }));
    EXPECT_EQ(Cell(view, 0, 0), std::wstring(300, L'w'));
    EXPECT_EQ(Cell(view, 0, 1), L"");

    // Another thread paints while this one appends.
    Gui::Reserve_Space_For(view, 1'000'001);
    EXPECT_THROW(Gui::Reserve_Space_For(view, -1), Constraint_Error);
    for (int row = 0; row < 1'000'000; ++row) Gui::Add_Data(view, &row_information);
    EXPECT_EQ(Gui::Number_Of_Rows_Of(view), 1'000'001);
    EXPECT_TRUE(Wait_Until([&] { return SendMessageW(window, LVM_GETITEMCOUNT, 0, 0) == 1'000'001; }));
    Gui::Make_Last_Visible_In(view);
    int top = static_cast<int>(SendMessageW(window, LVM_GETTOPINDEX, 0, 0));
    EXPECT_GE(top + Gui::Visible_Region_Of(view), 1'000'001);
    Gui::Remove_All_From(view);
    EXPECT_EQ(SendMessageW(window, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(List_Views, RowsHandedOverTogetherComeInOrderAndRemovalForgetsTheSelection) {
    Gui::List_View view = Make_View();
    HWND window = Gui::Window_Of(view);
    std::vector<Record> more = Many_Records(3, 0);
    std::vector<void*> rows{&more[2], &more[0], &more[1]};
    Gui::Add_Data(view, std::span<void* const>());
    Gui::Add_Data(view, rows);
    ASSERT_TRUE(Wait_Until([&] { return SendMessageW(window, LVM_GETITEMCOUNT, 0, 0) == 7; }));
    EXPECT_EQ(Names(view), L"bacdr1002r1000r1001");

    LVITEMW selected{};
    selected.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    selected.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(window, LVM_SETITEMSTATE, 5, reinterpret_cast<LPARAM>(&selected));
    ASSERT_EQ(SendMessageW(window, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    Gui::Remove_All_From(view);
    EXPECT_EQ(SendMessageW(window, LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(window, LVM_GETSELECTEDCOUNT, 0, 0), 0);
    Gui::Add_Data(view, rows);
    ASSERT_TRUE(Wait_Until([&] { return SendMessageW(window, LVM_GETITEMCOUNT, 0, 0) == 3; }));
    EXPECT_EQ(SendMessageW(window, LVM_GETSELECTEDCOUNT, 0, 0), 0) << "a new row is not selected";
    EXPECT_EQ(SendMessageW(window, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), -1);
    Gui::Remove_All_From(view);
}

namespace {

// Keys typed into the view, as the user types them: the message loop makes the characters,
// and the control asks the framework for the row. Posted to the view itself, since other
// programs on the same display may hold the keyboard focus meanwhile.
void Type_Into(HWND the_view, const std::wstring& the_keys) {
    for (wchar_t key : the_keys) {
        auto code = static_cast<UINT>(VkKeyScanW(key) & 0xFF);
        LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(code, MAPVK_VK_TO_VSC)) << 16;
        PostMessageW(the_view, WM_KEYDOWN, code, scan | 1);
        PostMessageW(the_view, WM_KEYUP, code, scan | 1 | (LPARAM{3} << 30));
    }
}

int Selected_Row(HWND the_view) {
    return static_cast<int>(SendMessageW(the_view, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// The row selected once the keys are typed, a pause after the last so the next keys begin a
// new search.
int Row_After_Typing(HWND the_view, const std::wstring& the_keys, int the_row_expected) {
    Type_Into(the_view, the_keys);
    Wait_Until([&] { return Selected_Row(the_view) == the_row_expected; }, 2000);
    Sleep(500);
    return Selected_Row(the_view);
}

std::vector<Record> named = {{"alpha", 1, 1}, {"Bravo", 2, 1}, {"cat", 3, 1},
                             {"beta", 4, 2}, {"Cherry", 5, 2}, {"bridge", 6, 2}};

}  // namespace

TEST_F(List_Views, TypingSelectsTheNextRowBeginningWithTheTypedText) {
    Start();
    Gui::Page page = Gui::Add_Page("Records");
    Gui::List_View view = Gui::Create(page, Record_Text, nullptr, Record_Order, nullptr, true);
    Gui::Add_Column(view, "Name", 80, Gui::Justification::Left);
    for (Record& record : named) Gui::Add_Data(view, &record);
    HWND window = Gui::Window_Of(view);
    ASSERT_TRUE(Wait_Until([&] { return SendMessageW(window, LVM_GETITEMCOUNT, 0, 0) == 6; }));
    Gui::Set_Keyboard_Focus(page, view);
    SetWindowPos(Gui::Main_Window(), nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);  // laid out anew
    ASSERT_EQ(Selected_Row(window), -1);

    EXPECT_EQ(Row_After_Typing(window, L"b", 1), 1) << "in any case";
    EXPECT_EQ(Row_After_Typing(window, L"b", 3), 3) << "the next one after the selected row";
    EXPECT_EQ(Row_After_Typing(window, L"b", 5), 5);
    EXPECT_EQ(Row_After_Typing(window, L"b", 1), 1) << "round past the last row";
    EXPECT_EQ(Row_After_Typing(window, L"ch", 4), 4) << "the whole typed text, not its first letter";
    EXPECT_EQ(Row_After_Typing(window, L"z", 4), 4) << "no row begins so: the selection stays";
    EXPECT_EQ(SendMessageW(window, LVM_GETSELECTEDCOUNT, 0, 0), 1);

    // The rows are taken in the view's order, the sorted one once sorted.
    Gui::Sort(view, 1, Gui::Direction::Descending);  // cat bridge beta alpha Cherry Bravo
    EXPECT_EQ(Row_After_Typing(window, L"a", 3), 3);
    EXPECT_EQ(Row_After_Typing(window, L"be", 2), 2);
}

// Builds a window to look at; with QUARRIX_SHOW_SECONDS set it stays that long.
TEST_F(List_Views, ShowsTwoPagesWithColouredRows) {
    Start(nullptr, 720, 420);
    Gui::Page display = Gui::Add_Page("Display");
    Gui::Create(display, "Back", nullptr, 100);
    Gui::Create(display, "Search", nullptr, 100);
    Gui::Create(display, "Look in:", "C:\\Data", nullptr);
    Gui::List_View view = Gui::Create(display, Record_Text, Record_Color, Record_Order, Record_Click, true);
    Gui::Add_Column(view, "Name", 140, Gui::Justification::Left);
    Gui::Add_Column(view, "Size", 100, Gui::Justification::Right);
    Gui::Add_Column(view, "Group", 100, Gui::Justification::Center);
    for (Record& record : records) Gui::Add_Data(view, &record);
    Gui::Page selection = Gui::Add_Page("Selection");
    Gui::Create(selection, "Include subfolders", nullptr);
    Gui::Create_Checked(selection, "Accessed within last (minutes)", "5", nullptr, false, 50);
    Gui::Set_Status_Line("4 objects shown");
    Click_Header(view, 0);
    EXPECT_EQ(Names(view), L"abcd");
    if (const char* seconds = std::getenv("QUARRIX_SHOW_SECONDS")) Sleep(1000 * std::atoi(seconds));
}
