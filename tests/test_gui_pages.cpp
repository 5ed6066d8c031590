// Pages, layout and the simple controls of a real main window.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include <richedit.h>

#include "gui_driver.hpp"
#include "wide_text.hpp"

using namespace Gui_Driver;

namespace {

std::atomic<int> edit_runs{0}, check_runs{0}, combo_runs{0}, page_runs{0};
std::atomic<void*> tree_clicked{nullptr};

void Edit_Action() { ++edit_runs; }
void Check_Action() { ++check_runs; }
void Combo_Action() { ++combo_runs; }
void Page_Action() { ++page_runs; }
void Tree_Click(void* the_information) { tree_clicked = the_information; }
std::string No_Text(int, void*) { return {}; }

class Pages : public Window_Test {};

constexpr int Controls_Built = 40;
std::atomic<int> controls_made{0};
std::atomic<int> made_at_termination{-1};
void Note_Termination() { made_at_termination = controls_made.load(); }

bool Is_Visible(const Gui::Child& the_control) { return IsWindowVisible(Gui::Window_Of(the_control)); }

}  // namespace

TEST_F(Pages, ControlsAreLaidOutByDisplayPriority) {
    Start();
    Gui::Page page = Gui::Add_Page("Only");
    Gui::List_View list = Gui::Create(page, No_Text, nullptr, nullptr, nullptr, true);
    Gui::Check_Box check = Gui::Create(page, "Tick", nullptr);
    Gui::Plain_Edit_Box first_edit = Gui::Create(page, "The first of the boxes:", "1", nullptr);
    Gui::Button back = Gui::Create(page, "Back", nullptr, 100);
    Gui::Plain_Edit_Box second_edit = Gui::Create(page, "Second:", "2", nullptr);
    Gui::Button search = Gui::Create(page, "Search", nullptr, 100);
    ASSERT_TRUE(Wait_Until([&] { return Is_Visible(list); }));

    RECT client{};
    GetClientRect(Gui::Main_Window(), &client);
    RECT back_place = Position_Of(back), search_place = Position_Of(search);
    EXPECT_EQ(back_place.top, 0) << "buttons first, no tab row with one page";
    EXPECT_EQ(back_place.left, 0);
    EXPECT_EQ(search_place.right, client.right) << "the last button sits against the right edge";
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(Gui::Main_Window(), 51)));
    int first = Position_Of(first_edit).top, second = Position_Of(second_edit).top;
    int tick = Position_Of(check).top, rows = Position_Of(list).top;
    EXPECT_LT(back_place.top, first);
    EXPECT_LT(first, second) << "equal priorities keep the order of creation";
    EXPECT_LT(second, tick);
    EXPECT_LT(tick, rows);
    RECT status{};
    GetWindowRect(GetDlgItem(Gui::Main_Window(), 50), &status);
    EXPECT_EQ(Position_Of(list).bottom, client.bottom - (status.bottom - status.top))
        << "the list view takes the rest above the status line";
    EXPECT_GT(Position_Of(first_edit).left, 0) << "the label sits left of its box";

    // Shrunk: rows that no longer fit get no height, boxes without room get no width.
    SetWindowPos(Gui::Main_Window(), nullptr, 0, 0, 160, 130, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(Wait_Until([&] {
        RECT place = Position_Of(check);
        return place.bottom == place.top;
    }));
    RECT box = Position_Of(first_edit);
    EXPECT_EQ(box.right - box.left, 0);
    EXPECT_EQ(Position_Of(list).bottom - Position_Of(list).top, 0);
    int x, y, width, height;
    Gui::Get_Window_Metrics(x, y, width, height);
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 130);
    EXPECT_FALSE(Gui::Application_Is_Minimized());
    EXPECT_FALSE(Gui::Application_Is_Maximized());
}

TEST_F(Pages, TabsSwitchPagesAndRunThePageAction) {
    Start();
    Gui::Page first = Gui::Add_Page("First");
    Gui::Button on_first = Gui::Create(first, "One", nullptr, 100);
    Gui::Page second = Gui::Add_Page("Second", Gui::Default_Page_Style, Page_Action);
    Gui::Check_Box on_second = Gui::Create(second, "Two", Check_Action);
    ASSERT_TRUE(Wait_Until([&] { return Is_Visible(on_first); }));
    HWND tabs = GetDlgItem(Gui::Main_Window(), 51);
    EXPECT_TRUE(IsWindowVisible(tabs)) << "two pages show the tab row";
    EXPECT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_GT(Position_Of(on_first).top, 0) << "controls sit below the tabs";
    EXPECT_FALSE(Is_Visible(on_second));

    Select_Tab(1);
    EXPECT_TRUE(Is_Visible(on_second));
    EXPECT_FALSE(Is_Visible(on_first));
    EXPECT_TRUE(Wait_Until([] { return page_runs == 1; }));
    Select_Tab(0);
    EXPECT_TRUE(Is_Visible(on_first));
    Click(on_second);  // not on the current page: ignored
    Select_Tab(1);
    EXPECT_TRUE(Wait_Until([] { return page_runs == 2; }));
    SendMessageA(Gui::Window_Of(on_second), BM_CLICK, 0, 0);
    EXPECT_TRUE(Wait_Until([] { return check_runs == 1; }));
    EXPECT_TRUE(Gui::Is_Checked(on_second));
    Gui::Clear(on_second);
    EXPECT_FALSE(Gui::Is_Checked(on_second));
}

TEST_F(Pages, BoxesCallTheirRoutinesOnlyWhenTheyShould) {
    Start();
    Gui::Page page = Gui::Add_Page("Only");
    Gui::Checked_Edit_Box since = Gui::Create_Checked(page, "Not accessed since (days)", "90", Edit_Action, false, 50);
    Gui::Plain_Combo_Box choice = Gui::Create(page, "Choice:", Combo_Action, Gui::Default_Combo_Style);
    Gui::Plain_Edit_Box secret = Gui::Create(page, "Secret:", "", nullptr, true);
    Command(since, EN_CHANGE);
    Command(choice, CBN_DROPDOWN);
    Sleep(100);
    EXPECT_EQ(edit_runs, 0) << "a key stroke is not the end of the entry";
    EXPECT_EQ(combo_runs, 0);
    Command(since, EN_KILLFOCUS);
    EXPECT_TRUE(Wait_Until([] { return edit_runs == 1; }));
    Command(choice, CBN_SELCHANGE);
    EXPECT_TRUE(Wait_Until([] { return combo_runs == 1; }));
    Command(choice, CBN_KILLFOCUS);
    EXPECT_TRUE(Wait_Until([] { return combo_runs == 2; }));

    EXPECT_EQ(Gui::Contents_Of(since), "90");
    EXPECT_FALSE(Gui::Is_Checked(since));
    Gui::Set(since);
    EXPECT_TRUE(Gui::Is_Checked(since)) << "the tick is the buddy's, not the text's";
    EXPECT_EQ(Gui::Contents_Of(since), "90");
    EXPECT_EQ(Position_Of(since).right - Position_Of(since).left, 50);
    Gui::Set_Text(since, std::string(300, 'x'));
    EXPECT_EQ(Gui::Contents_Of(since), std::string(300, 'x')) << "a text is read whole";
    Gui::Set(since, L"\u00e9t\u00e9 \u0100");
    EXPECT_EQ(Gui::Wide_Contents_Of(since), L"\u00e9t\u00e9 \u0100");
    // A long path typed into a box comes back whole, in either form.
    std::wstring long_path = L"C:\\";
    while (long_path.size() < 450) long_path += L"\u00e9l\u00e9ment\\";
    Gui::Set(since, long_path);
    EXPECT_EQ(Gui::Wide_Contents_Of(since), long_path);
    EXPECT_EQ(Gui::Contents_Of(since), Wide_Text::Narrowed(long_path));
    Gui::Set(since, L"");
    EXPECT_EQ(Gui::Wide_Contents_Of(since), L"");
    EXPECT_TRUE(GetWindowLongA(Gui::Window_Of(secret), GWL_STYLE) & ES_PASSWORD);

    Gui::Add_Choice(choice, "Alpha");
    Gui::Add_Choice(choice, "Beta");
    Gui::Add_Choice(choice, std::string(420, 'c'));
    Gui::Select(choice, 2);
    EXPECT_EQ(Gui::Contents_Of(choice), "Beta");
    Gui::Select(choice, 3);
    EXPECT_EQ(Gui::Contents_Of(choice), std::string(420, 'c'));
    Gui::Disable(since);
    EXPECT_FALSE(IsWindowEnabled(Gui::Window_Of(since)));
    Gui::Enable(since);
    EXPECT_TRUE(IsWindowEnabled(Gui::Window_Of(since)));

    // The line is set without waiting, yet every reading after it sees the new text.
    for (int line = 0; line < 50; ++line) {
        const std::string text = "Ready " + std::to_string(line);
        Gui::Set_Status_Line(text);
        char status[50] = {};
        SendMessageA(GetDlgItem(Gui::Main_Window(), 50), SB_GETTEXTA, 0,
                     reinterpret_cast<LPARAM>(status));
        ASSERT_EQ(std::string(status), text);
    }
}

TEST_F(Pages, RichEditTreeViewAndBars) {
    Start();
    Gui::Page page = Gui::Add_Page("Only");
    Gui::Rich_Edit log = Gui::Create(page, false);
    Gui::Tree_View tree = Gui::Create(page, Tree_Click);
    Gui::Progress_Bar progress = Gui::Create(page);
    Gui::Track_Bar track = Gui::Create(page, "Level");
    ASSERT_NE(Gui::Window_Of(log), nullptr);

    Gui::Append_To(log, "first ", Gui::Red);
    HWND edit = Gui::Window_Of(log);
    CHARRANGE start{0, 1};
    SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));  // the user selects
    Gui::Append_Line_To(log, "second", Gui::Blue);
    Gui::Append_Wide_To(log, L"third", Gui::Green);
    std::vector<char> text(100);
    GetWindowTextA(edit, text.data(), 100);
    EXPECT_EQ(std::string(text.data()).substr(0, 12), "first second");
    EXPECT_NE(std::string(text.data()).find("third"), std::string::npos);
    Gui::Clear(log);
    EXPECT_EQ(GetWindowTextLengthA(edit), 0);

    int root_data = 1, child_data = 2;
    Gui::Tree_Item root = Gui::Add_Item(tree, "Root", Gui::Root_Item, Gui::Position::Last, &root_data);
    Gui::Tree_Item child = Gui::Add_Wide_Item(tree, L"Child", root, TVI_LAST, &child_data);
    ASSERT_NE(child, nullptr);
    Gui::Rename_Item(tree, child, "Renamed");
    char title[20] = {};
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = child;
    item.pszText = title;
    item.cchTextMax = 20;
    SendMessageA(Gui::Window_Of(tree), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(title, "Renamed");
    SendMessageA(Gui::Window_Of(tree), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child));
    EXPECT_TRUE(Wait_Until([&] { return tree_clicked == &child_data; }));

    Gui::Define_Range(progress, 200, 10);
    Gui::Report_Progress(progress, 50);
    Gui::Increment_Progress(progress);
    EXPECT_EQ(SendMessageA(Gui::Window_Of(progress), PBM_GETPOS, 0, 0), 60);
    EXPECT_EQ(SendMessageA(Gui::Window_Of(progress), PBM_GETRANGE, FALSE, 0), 200);
    Gui::Define_Range(track, 20);
    Gui::Set_Position(track, 5);
    EXPECT_EQ(SendMessageA(Gui::Window_Of(track), TBM_GETPOS, 0, 0), 5);
    EXPECT_EQ(SendMessageA(Gui::Window_Of(track), TBM_GETRANGEMAX, 0, 0), 20);
}

// The close box pressed while the application still adds controls: the close waits until
// the window is whole, the window answering meanwhile, and then ends it as usual.
TEST_F(Pages, ACloseWhileTheWindowIsBuiltIsServedOnceItIsWhole) {
    Start(Note_Termination);
    HWND window = Gui::Main_Window();
    Gui::Page page = Gui::Add_Page("Only");
    PostMessageA(window, WM_CLOSE, 0, 0);
    std::vector<Gui::Child> made;
    for (int control = 0; control < Controls_Built; ++control) {
        const std::string title = "Box " + std::to_string(control);
        ASSERT_NO_THROW(made.push_back(control % 2 ? Gui::Child(Gui::Create(page, title, nullptr))
                                                   : Gui::Child(Gui::Create(page, title, "", nullptr))));
        ++controls_made;
        if (control == Controls_Built / 2) Sleep(200);  // the close has long been handled
    }
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer));
    EXPECT_EQ(made_at_termination, -1) << "the termination routine ran during the start";
    for (const Gui::Child& control : made) EXPECT_TRUE(IsWindow(Gui::Window_Of(control)));

    Gui::Start_Up_Complete();
    ASSERT_TRUE(Wait_Until([&] { return !IsWindow(window); }, 10000));
    Gui::Wait_For_End();
    EXPECT_EQ(made_at_termination, Controls_Built);
}
