// List views over application records: texts, sorting, clicks and many rows.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
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

void Click_Header(const Gui::List_View& the_view, int the_column) {
    NMLISTVIEW click{};
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = the_column;
    Notify(the_view, click.hdr);
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
    Gui::Add_Column(view, "Group", 100, Gui::Justification::Left);
    for (Record& record : records) Gui::Add_Data(view, &record);
    Gui::Page selection = Gui::Add_Page("Selection");
    Gui::Create(selection, "Include subfolders", nullptr);
    Gui::Create_Checked(selection, "Accessed within last (minutes)", "5", nullptr, false, 50);
    Gui::Set_Status_Line("4 objects shown");
    Click_Header(view, 0);
    EXPECT_EQ(Names(view), L"abcd");
    if (const char* seconds = std::getenv("QUARRIX_SHOW_SECONDS")) Sleep(1000 * std::atoi(seconds));
}
