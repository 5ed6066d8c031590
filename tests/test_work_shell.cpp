// What the user does with the found objects, driven on the real window: the menu of a row
// or a tile hands the object to the shell (recorded at the one seam every hand-over passes),
// copies its path or searches the folder; the keys open, go back, search again and copy the
// rows; and an empty list says why in the list itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temporary_tree.hpp"
#include "window_pixels.hpp"
#include "work_window.hpp"

using namespace Work_Window;

namespace {

class Shell_And_Keys : public Work_Window_Test {
protected:
    void TearDown() override {
        Gui::Set_Menu_Chooser(nullptr);
        Work::Shell::Set_Handler(nullptr);
        Work_Window_Test::TearDown();
    }
};

std::vector<std::wstring> offered;
int chosen = 0;
std::vector<Work::Shell::Request> handed_over;

int Choose(const std::vector<std::wstring>& the_items) {
    offered = the_items;
    return chosen;
}

bool Record(const Work::Shell::Request& the_request) {
    handed_over.push_back(the_request);
    return true;
}

HWND List() { return Gui::Window_Of(Work::Controls().File_List_View); }

// The ink drawn in the list below its column titles.
int Ink_Below_Titles() {
    const Window_Pixels pixels(List());
    RECT titles{};
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(List(), LVM_GETHEADER, 0, 0)), &titles);
    return pixels.Ink_In({2, titles.bottom - titles.top + 2, pixels.Width() - 2, pixels.Height() - 2});
}

void Select_Only(int the_row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(List(), LVM_SETITEMSTATE, the_row, reinterpret_cast<LPARAM>(&state));
}

// The menu asked for from the keyboard, answered with the item.
void Menu_Of_Selected_Row(int the_item) {
    chosen = the_item;
    offered.clear();
    SendMessageW(List(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List()), MAKELPARAM(-1, -1));
    Wait_For_Actions();
}

void Press_Key(UINT the_message, WPARAM the_key, LPARAM the_flags = 0) {
    SendMessageW(List(), the_message, the_key, the_flags | 1);
    Wait_For_Actions();
}

const std::vector<std::wstring> Folder_Menu{L"Open", L"Open in Explorer", L"Copy path", L"Properties",
                                            L"Search this folder"};

}  // namespace

TEST_F(Shell_And_Keys, An_Empty_List_Says_Why_In_The_List_And_The_Status_Line_Keeps_Its_Totals) {
    Temporary_Tree tree;
    tree.Make_File(L"a.txt", 10);
    tree.Make_File(L"sub\\b.txt", 20);
    Open_Window();
    const Gui::List_View& view = Work::Controls().File_List_View;
    EXPECT_EQ(Ink_Below_Titles(), 0) << "an empty list before any search is blank";

    Search(tree.Root());  // a new installation's options: nothing ticked
    EXPECT_EQ(Row_Count(view), 0);
    EXPECT_EQ(Status_Line(), "0 files and 0 folders. Total size= 0");
    const std::wstring why = Gui::Empty_Text_Of(view);
    EXPECT_NE(why.find(L"\"Display files\""), std::wstring::npos);
    EXPECT_NE(why.find(L"\"Display folders\""), std::wstring::npos);
    EXPECT_NE(why.find(L"Selection page"), std::wstring::npos);
    EXPECT_GT(Ink_Below_Titles(), 50) << "the reason is drawn in the list";

    Tick(Work::Controls().Display_Files);
    Show(Display_Tab);
    EXPECT_EQ(Row_Count(view), 1);
    EXPECT_EQ(Gui::Empty_Text_Of(view), L"");

    Type(Work::Controls().Minimum_Size_Box, "1000");
    Show(Display_Tab);
    EXPECT_EQ(Row_Count(view), 0);
    EXPECT_EQ(Status_Line(), "0 files and 0 folders. Total size= 0");
    EXPECT_EQ(Gui::Empty_Text_Of(view), L"Nothing in this folder passes the options of the Selection page.");
    EXPECT_GT(Ink_Below_Titles(), 50);
}

TEST_F(Shell_And_Keys, The_Menu_Hands_The_Object_To_The_Shell_And_The_Keys_Act_As_Their_Buttons) {
    Temporary_Tree tree;
    tree.Make_File(L"a.txt", 10);
    tree.Make_File(L"sub\\b.txt", 20);
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Gui::Set(Work::Controls().Display_Folders);
    Search(tree.Root());
    const Gui::List_View& view = Work::Controls().File_List_View;
    ASSERT_EQ(Row_Count(view), 2);
    Gui::Set_Menu_Chooser(Choose);
    Work::Shell::Set_Handler(Record);
    handed_over.clear();

    const std::wstring folder = tree.Path_Of(L"sub");
    Select_Only(Row_Named(view, L"sub"));
    for (int item = 1; item <= 4; ++item) {
        Menu_Of_Selected_Row(item);
        EXPECT_EQ(offered, Folder_Menu);
    }
    using Work::Shell::Verb;
    ASSERT_EQ(handed_over.size(), 3u) << "copying the path hands nothing over";
    EXPECT_EQ(handed_over[0].The_Verb, Verb::Open);
    EXPECT_EQ(handed_over[1].The_Verb, Verb::Show_In_Explorer);
    EXPECT_EQ(handed_over[2].The_Verb, Verb::Properties);
    for (const Work::Shell::Request& request : handed_over) EXPECT_EQ(request.Path, folder);
    EXPECT_EQ(Clipboard_Text(), folder);

    // Shift+F10, with the Shift key down for the window's thread too.
    Select_Only(Row_Named(view, L"a.txt"));
    chosen = 2;
    const DWORD window_thread = GetWindowThreadProcessId(List(), nullptr);
    ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), window_thread, TRUE));
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(List(), WM_SYSKEYDOWN, VK_F10, 1);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    AttachThreadInput(GetCurrentThreadId(), window_thread, FALSE);
    Wait_For_Actions();
    EXPECT_EQ(offered, std::vector<std::wstring>(Folder_Menu.begin(), Folder_Menu.end() - 1)) << "a file is not searched";
    EXPECT_EQ(handed_over.back().Path, tree.Path_Of(L"a.txt"));

    // Ctrl+C: the titles and every selected row, as the list shows them, tab-separated.
    LVITEMW every{};
    every.state = every.stateMask = LVIS_SELECTED;
    SendMessageW(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&every));
    Press_Key(WM_CHAR, 0x03);
    std::wstring expected;
    const int columns = Gui::Number_Of_Columns_Of(view);
    for (int row = -1; row < Row_Count(view); ++row) {
        for (int column = 0; column < columns; ++column) {
            if (column > 0) expected += L'\t';
            expected += row < 0 ? Column_Title(view, column) : Cell(view, row, column);
        }
        expected += L"\r\n";
    }
    EXPECT_EQ(Clipboard_Text(), expected);

    // Enter opens a folder row as a double click does; Backspace and Alt+Left go back.
    Select_Only(Row_Named(view, L"sub"));
    Press_Key(WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(Work::Testing::Display_Root(), L"\\sub");
    Press_Key(WM_KEYDOWN, VK_BACK);
    EXPECT_EQ(Work::Testing::Display_Root(), L"");
    Select_Only(Row_Named(view, L"sub"));
    Press_Key(WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(Work::Testing::Display_Root(), L"\\sub");
    Press_Key(WM_SYSKEYDOWN, VK_LEFT, 1 << 29);  // with Alt
    EXPECT_EQ(Work::Testing::Display_Root(), L"");

    // F5 searches the root again, and finds what is new.
    tree.Make_File(L"c.txt", 30);
    Press_Key(WM_KEYDOWN, VK_F5);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return !Work::Searcher_Is_Busy(); }, 20000));
    EXPECT_EQ(Row_Count(view), 3);

    // "Search this folder" searches the folder.
    Select_Only(Row_Named(view, L"sub"));
    Menu_Of_Selected_Row(5);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return !Work::Searcher_Is_Busy(); }, 20000));
    EXPECT_EQ(Work::Search_Root(), folder);
    EXPECT_EQ(Row_Count(view), 1);
}

TEST_F(Shell_And_Keys, A_Tile_Of_The_Map_Has_The_Menu_Of_Its_Object) {
    Temporary_Tree tree;
    tree.Make_File(L"big.bin", 100000);
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);
    Search(tree.Root());
    Show(Map_Tab);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return Work::Testing::Map_Is_Laid_Out(); }));
    Gui::Set_Menu_Chooser(Choose);
    Work::Shell::Set_Handler(Record);
    handed_over.clear();
    chosen = 1;
    HWND map = Gui::Window_Of(Work::Controls().Map_Picture);
    RECT area{};
    GetWindowRect(map, &area);
    SendMessageW(map, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(map),
                 MAKELPARAM((area.left + area.right) / 2, (area.top + area.bottom) / 2));
    Wait_For_Actions();
    EXPECT_EQ(offered, std::vector<std::wstring>(Folder_Menu.begin(), Folder_Menu.end() - 1));
    ASSERT_EQ(handed_over.size(), 1u);
    EXPECT_EQ(handed_over[0].The_Verb, Work::Shell::Verb::Open);
    EXPECT_EQ(handed_over[0].Path, tree.Path_Of(L"big.bin"));
}
