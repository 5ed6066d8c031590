// The registered layer through a real window: widths and placement read at start, written at
// a normal close, kept at a close while maximised; stored values that cannot be right.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "gui-registered.hpp"
#include "gui_driver.hpp"
#include "registry.hpp"
#include "registry_keys.hpp"
#include "work.hpp"
#include "windows-registry.hpp"

namespace {

std::atomic<int> termination_calls{0};
void Count_Termination() { ++termination_calls; }

std::vector<std::string> reported;
void Record_Report(const std::string& the_message, bool) { reported.push_back(the_message); }

bool window_was_started = false;

class Registered_Test : public testing::Test {
protected:
    void SetUp() override {
        if (window_was_started) GTEST_SKIP() << "the framework runs once per process";
        name_ = Registry_Keys::Test_Application_Name();
        Registry_Keys::Remove(HKEY_CURRENT_USER, Key());
        Work::Start_Gui();
    }
    void TearDown() override {
        if (!window_was_started) return;
        Gui::Close();
        Gui::Wait_For_End();
        Registry_Keys::Remove(HKEY_CURRENT_USER, Key());
    }

    std::string Key() const { return "Software\\Vornhale\\" + name_; }

    // Values written before the window exists, as a previous run would have left them.
    void Store(const std::string& value_name, int value) {
        Windows::Registry::Create_Key(Key() + "\\Metrics");
        Windows::Registry::Create_Entry(value_name, static_cast<std::uint32_t>(value));
    }
    int Stored(const std::string& value_name) {
        Windows::Registry::Set_Current_Key(Key() + "\\Metrics");
        return static_cast<int>(Windows::Registry::Number_Of(value_name));
    }

    void Start(int width = 500, int height = 400, int x = 20, int y = 30) {
        window_was_started = true;
        Gui::Registered::Create(Registry::Company::Vornhale, name_, "2.5", Count_Termination,
                                width, height, x, y, "", false);
        Gui::Set_Message_Reporter(Record_Report);
        page_ = Gui::Add_Page("Display");
        first_ = Gui::Create(page_, Text, nullptr, nullptr, nullptr, true);
        second_ = Gui::Create(page_, Text, nullptr, nullptr, nullptr, true);
    }

    void Close() {
        Gui_Driver::Close_Window();
        Gui::Wait_For_End();
        EXPECT_EQ(termination_calls, 1);
        EXPECT_TRUE(reported.empty()) << reported.front();
    }

    static std::string Text(int, void*) { return ""; }

    std::string name_;
    Gui::Page page_ = nullptr;
    Gui::List_View first_, second_;
};

TEST(Registered_Names, Value_Names_And_Title) {
    EXPECT_EQ(Gui::Registered::Value_Name_Of(1, "Size"), "LV 1: Size");
    EXPECT_EQ(Gui::Registered::Value_Name_Of(12, "In Folder"), "LV 12: In Folder");
    EXPECT_EQ(Gui::Registered::Title_Of("Quarrix", "1.0"), "Quarrix 1.0");
    EXPECT_EQ(Gui::Registered::Title_Of("Quarrix", ""), "Quarrix");
}

TEST_F(Registered_Test, First_Run_Uses_Defaults_And_A_Normal_Close_Saves_Everything) {
    Start();
    HWND window = Gui::Main_Window();
    char title[100] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, (name_ + " 2.5").c_str());
    RECT placed{};
    GetWindowRect(window, &placed);
    EXPECT_EQ(placed.left, 20);
    EXPECT_EQ(placed.top, 30);
    EXPECT_EQ(placed.right - placed.left, 500);

    Gui::Registered::Add_Column(first_, "Name", 140, Gui::Justification::Left);
    Gui::Registered::Add_Column(first_, "Size", 75, Gui::Justification::Right);
    Gui::Registered::Add_Column(second_, "Size", 60, Gui::Justification::Right);
    EXPECT_EQ(Gui::Width_Of(first_, 1), 140);
    EXPECT_EQ(Gui::Width_Of(first_, 2), 75);
    EXPECT_EQ(Gui::Width_Of(second_, 1), 60);
    EXPECT_EQ(Gui::Registered::Last_List_View_Id, 2);
    EXPECT_EQ(Length_Of(Gui::Registered::List_Views), 3);
    // The defaults fill the key on first use.
    EXPECT_EQ(Stored("LV 1: Size"), 75);
    EXPECT_EQ(Stored("LV 2: Size"), 60);

    Gui::Set_Width(first_, 2, 123);
    Gui::Set_Width(second_, 1, 45);
    SetWindowPos(window, nullptr, 60, 70, 520, 410, SWP_NOZORDER);
    Close();

    EXPECT_EQ(Stored("LV 1: Name"), 140);
    EXPECT_EQ(Stored("LV 1: Size"), 123);
    EXPECT_EQ(Stored("LV 2: Size"), 45);
    EXPECT_EQ(Stored("X-Position"), 60);
    EXPECT_EQ(Stored("Y-Position"), 70);
    EXPECT_EQ(Stored("Width"), 520);
    EXPECT_EQ(Stored("Height"), 410);
}

TEST_F(Registered_Test, The_Next_Run_Reads_What_Was_Stored) {
    Store("X-Position", 90);
    Store("Y-Position", 80);
    Store("Width", 600);
    Store("Height", 300);
    Store("LV 1: Size", 111);
    Store("LV 2: Size", 77);
    Start();
    RECT placed{};
    GetWindowRect(Gui::Main_Window(), &placed);
    EXPECT_EQ(placed.left, 90);
    EXPECT_EQ(placed.top, 80);
    EXPECT_EQ(placed.right - placed.left, 600);
    EXPECT_EQ(placed.bottom - placed.top, 300);
    Gui::Registered::Add_Column(first_, "Size", 75, Gui::Justification::Right);
    Gui::Registered::Add_Column(second_, "Size", 75, Gui::Justification::Right);
    EXPECT_EQ(Gui::Width_Of(first_, 1), 111);
    EXPECT_EQ(Gui::Width_Of(second_, 1), 77);
    Close();
}

TEST_F(Registered_Test, Stored_Values_That_Cannot_Be_Right_Give_The_Defaults) {
    Store("X-Position", -40000);  // off every screen
    Store("Y-Position", 50);
    Store("Width", -10);
    Store("Height", 300);
    Store("LV 1: Name", -5);
    Start(450, 350, 25, 35);
    RECT placed{};
    GetWindowRect(Gui::Main_Window(), &placed);
    EXPECT_EQ(placed.left, 25);
    EXPECT_EQ(placed.top, 35);
    EXPECT_EQ(placed.right - placed.left, 450);
    EXPECT_EQ(placed.bottom - placed.top, 350);
    Gui::Registered::Add_Column(first_, "Name", 140, Gui::Justification::Left);
    EXPECT_EQ(Gui::Width_Of(first_, 1), 140);
    EXPECT_EQ(Stored("LV 1: Name"), 140);
    EXPECT_EQ(Stored("Width"), 450);
    EXPECT_EQ(Stored("X-Position"), 25);
    Close();
}

TEST_F(Registered_Test, A_Close_While_Maximised_Keeps_The_Stored_Values) {
    Store("X-Position", 15);
    Store("Y-Position", 16);
    Store("Width", 470);
    Store("Height", 360);
    Start();
    Gui::Registered::Add_Column(first_, "Size", 75, Gui::Justification::Right);
    Gui::Set_Width(first_, 1, 200);
    ShowWindow(Gui::Main_Window(), SW_MAXIMIZE);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return Gui::Application_Is_Maximized(); }));
    Close();
    EXPECT_EQ(Stored("LV 1: Size"), 75);
    EXPECT_EQ(Stored("X-Position"), 15);
    EXPECT_EQ(Stored("Width"), 470);
    EXPECT_EQ(Stored("Height"), 360);
}

// The application rebuilds its optional columns per search: a column removed and not added
// again keeps its stored width instead of taking that of whatever column moved to its place.
TEST_F(Registered_Test, A_Removed_Column_Keeps_Its_Stored_Width) {
    Store("LV 1: Stream", 90);
    Start();
    for (const char* title : {"Name", "Owner", "Stream", "Size", "Last Accessed"}) {
        Gui::Registered::Add_Column(first_, title, 80, Gui::Justification::Left);
    }
    Gui::Registered::Add_Column(second_, "Name", 90, Gui::Justification::Left);
    Gui::Set_Width(first_, 4, 150);
    while (Gui::Number_Of_Columns_Of(first_) > 2) Gui::Remove_Last_Column(first_);
    Gui::Registered::Add_Column(first_, "Size", 80, Gui::Justification::Right);
    Gui::Registered::Add_Column(first_, "Last Accessed", 80, Gui::Justification::Left);
    EXPECT_EQ(Length_Of(Gui::Registered::List_Views), 5);
    Gui::Set_Width(first_, 3, 130);
    Gui::Set_Width(first_, 4, 140);
    Close();
    EXPECT_EQ(Stored("LV 1: Stream"), 90);
    EXPECT_EQ(Stored("LV 1: Size"), 130);
    EXPECT_EQ(Stored("LV 1: Last Accessed"), 140);
    EXPECT_EQ(Stored("LV 2: Name"), 90);
}

// Waits for the threads' loops to end; loops that do not end in time are stuck in each
// other's locks, and the process ends rather than wait for them.
void Expect_Ended(const std::atomic<int>& ended, int the_count, const char* what) {
    if (Gui_Driver::Wait_Until([&] { return ended == the_count; }, 30000)) return;
    ADD_FAILURE() << what << " never ended: a deadlock";
    std::_Exit(1);
}

// The application adds columns while it holds the registry for its options; meanwhile the
// layer takes it for the widths, from another thread and at close.
TEST_F(Registered_Test, Columns_Added_While_The_Registry_Is_Held_Never_Deadlock) {
    Start();
    std::atomic<int> ended{0};
    auto holding_the_registry = [&](const Gui::List_View& the_view) {
        for (int round = 0; round < 150; ++round) {
            auto registry = Registry::Exclusive_Use();
            Registry::Define("\\Selection");
            Gui::Registered::Add_Column(the_view, "Held", 50, Gui::Justification::Left);
            Gui::Remove_Last_Column(the_view);
        }
        ++ended;
    };
    auto not_holding = [&] {
        for (int round = 0; round < 150; ++round) {
            Gui::Registered::Add_Column(second_, "Free", 50, Gui::Justification::Left);
            Gui::Remove_Last_Column(second_);
        }
        ++ended;
    };
    // Views are numbered as they first get a column: the first view is "LV 1" whichever
    // thread below would add a column first.
    Gui::Registered::Add_Column(first_, "Held", 50, Gui::Justification::Left);
    Gui::Remove_Last_Column(first_);
    std::thread first(holding_the_registry, first_), second(not_holding);
    Expect_Ended(ended, 2, "adding columns from two threads");
    first.join();
    second.join();

    // The close saves the widths while the registry is held for a column being added.
    Gui::Registered::Add_Column(first_, "Name", 140, Gui::Justification::Left);
    std::atomic<bool> has_begun{false};
    std::thread adder([&] {
        while (termination_calls == 0) {
            auto registry = Registry::Exclusive_Use();
            Gui::Registered::Add_Column(first_, "Held", 50, Gui::Justification::Left);
            Gui::Remove_Last_Column(first_);
            has_begun = true;
        }
        ++ended;
    });
    ASSERT_TRUE(Gui_Driver::Wait_Until([&] { return has_begun.load(); }));
    std::thread closer([&] {
        Close();
        ++ended;
    });
    Expect_Ended(ended, 4, "closing while columns are added");
    adder.join();
    closer.join();
    EXPECT_EQ(Stored("LV 1: Name"), 140);
}

// The application rebuilds its optional columns for each search; a close may land at any
// moment of it. A column not in its view at close keeps its stored width, and a view whose
// columns are replaced in one step is saved either before or after the step, never between.
TEST_F(Registered_Test, A_Close_During_A_Rebuild_Of_The_Columns_Never_Stores_A_Width_Of_0) {
    Store("LV 2: Owner", 95);
    Store("LV 2: Size", 85);
    Start();
    const std::vector<Gui::Registered::Column> optional = {
        {"Owner", 90, Gui::Justification::Left}, {"Stream", 90, Gui::Justification::Left},
        {"Size", 75, Gui::Justification::Right}, {"Last Accessed", 140, Gui::Justification::Left}};
    Gui::Registered::Add_Column(first_, "Name", 140, Gui::Justification::Left);
    Gui::Registered::Replace_Columns_From(first_, 2, optional);
    EXPECT_EQ(Gui::Number_Of_Columns_Of(first_), 5);
    EXPECT_THROW(Gui::Registered::Replace_Columns_From(first_, 0, optional), Constraint_Error);
    // The other view is rebuilt the old way, column by column, and the close comes between.
    Gui::Registered::Add_Column(second_, "Name", 140, Gui::Justification::Left);
    Gui::Registered::Add_Column(second_, "Owner", 90, Gui::Justification::Left);
    Gui::Registered::Add_Column(second_, "Size", 75, Gui::Justification::Right);
    Gui::Remove_Last_Column(second_);
    Gui::Remove_Last_Column(second_);

    std::atomic<int> rebuilds{0};
    std::thread rebuilder([&] {
        while (termination_calls == 0) {
            Gui::Registered::Replace_Columns_From(first_, 2, optional);
            ++rebuilds;
        }
    });
    ASSERT_TRUE(Gui_Driver::Wait_Until([&] { return rebuilds > 3; }));
    Close();
    rebuilder.join();
    for (const auto& column : optional) {
        EXPECT_GT(Stored("LV 1: " + column.Title), 0) << column.Title;
    }
    EXPECT_EQ(Stored("LV 1: Name"), 140);
    EXPECT_EQ(Stored("LV 2: Owner"), 95) << "removed before the close: its stored width stays";
    EXPECT_EQ(Stored("LV 2: Size"), 85);
    EXPECT_EQ(Stored("LV 2: Name"), 140);
}

}  // namespace
