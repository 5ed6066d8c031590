// The action queue and the shut-down sequence, driven through a real main window.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gui_driver.hpp"
#include "semaphore.hpp"
#include "work.hpp"

using namespace Gui_Driver;

namespace {

std::mutex events_guard;
std::vector<std::string> events;
void Note(const std::string& the_event) {
    std::lock_guard lock(events_guard);
    events.push_back(the_event);
}
std::vector<std::string> Events() {
    std::lock_guard lock(events_guard);
    return events;
}

Semaphore::Binary action_started;
Semaphore::Binary action_may_end;
std::atomic<int> runs{0};

void Slow_Action() {
    ++runs;
    action_started.Signal();
    action_may_end.Wait();
    Note("action ended");
}
void Quick_Action() { ++runs; }
void Failing_Action() { throw Gui::Sequence_Error("from the action"); }
std::atomic<bool> held_failure_has_started{false};
void Held_Failing_Action() {
    held_failure_has_started = true;
    action_may_end.Wait();
    Failing_Action();
}
void Termination() { Note(IsWindow(Gui::Main_Window()) ? "termination, window there" : "termination, no window"); }

std::vector<std::string> reports;
void Collect(const std::string& the_message, bool) { reports.push_back(the_message); }

class Actions : public Window_Test {};

}  // namespace

TEST(Actions_Without_Window, NullHandlesDoNothingAndCreateFailsWithoutAName) {
    EXPECT_THROW(Gui::Execute(Quick_Action), Program_Error) << "before the framework is initialised";
    Work::Start_Gui();
    Gui::Set_Status_Line("nowhere");
    Gui::List_View none;
    Gui::Add_Data(none, &runs);
    EXPECT_EQ(Gui::Number_Of_Rows_Of(none), 0);
    EXPECT_EQ(Gui::Contents_Of(Gui::Plain_Edit_Box()), "");
    EXPECT_EQ(Gui::Add_Page("Nowhere"), nullptr);
    EXPECT_THROW(Gui::Remove_From(none, 0), Constraint_Error);
    // A window class needs a name: the display thread fails and Create reports it.
    EXPECT_THROW(Gui::Create("", nullptr, 0, 0, 0, 0, "", false), Tasking_Error);
    EXPECT_THROW(Gui::Create("again", nullptr, 0, 0, 0, 0, "", false), Gui::Sequence_Error);
    Gui::Wait_For_End();
}

// A main window that cannot be made (a class needs a name) fails the start: Create reports
// why instead of waiting for ever, and the framework's threads end.
TEST(Actions_Without_Window, AStartThatFailsReachesCreateWithItsReason) {
    Work::Start_Gui();
    std::atomic<bool> has_returned{false};
    std::string failure;
    std::thread creator([&] {
        try {
            Gui::Create("", nullptr, 0, 0, 0, 0, "", false);
        } catch (const Tasking_Error& error) {
            failure = error.Information();
        }
        Gui::Wait_For_End();
        has_returned = true;
    });
    if (!Wait_Until([&] { return has_returned.load(); }, 10000)) {
        ADD_FAILURE() << "Create still waits for the display thread";
        std::_Exit(1);  // the waiting thread cannot be ended otherwise
    }
    creator.join();
    EXPECT_NE(failure.find("TASKING_ERROR"), std::string::npos) << failure;
    EXPECT_NE(failure.find("GUI.MAIN_WINDOW_CREATION_FAILURE"), std::string::npos) << failure;
    EXPECT_EQ(Gui::Main_Window(), nullptr);
}

TEST_F(Actions, PressesWhileAnActionRunsAreDropped) {
    Start();
    Gui::Page page = Gui::Add_Page("Only");
    Gui::Button slow = Gui::Create(page, "Slow", Slow_Action, 100);
    Gui::Button quick = Gui::Create(page, "Quick", Quick_Action, 100);
    Click(slow);
    action_started.Wait();
    Click(slow);
    Click(quick);
    action_may_end.Signal();
    ASSERT_TRUE(Wait_Until([] { return !Events().empty(); }));
    EXPECT_EQ(runs, 1);
    // Once the routine has returned the queue accepts again.
    EXPECT_TRUE(Wait_Until([&] {
        Click(quick);
        return runs >= 2;
    }));
}

TEST_F(Actions, CloseWhileAnActionRunsWaitsForItThenTerminates) {
    Start(Termination);
    Gui::Page page = Gui::Add_Page("Only");
    Gui::Button slow = Gui::Create(page, "Slow", Slow_Action, 100);
    Click(slow);
    action_started.Wait();
    HWND window = Gui::Main_Window();
    Close_Window();
    Close_Window();  // a second close while shutting down changes nothing
    Sleep(100);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(Events().empty());
    action_may_end.Signal();
    Gui::Wait_For_End();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Events(), (std::vector<std::string>{"action ended", "termination, window there"}));
    EXPECT_EQ(runs, 1);
}

TEST_F(Actions, CloseWhileIdleEndsEverything) {
    Start(Termination);
    EXPECT_THROW(Gui::Create("again", nullptr, 0, 0, 0, 0, "", false), Gui::Sequence_Error);
    HWND window = Gui::Main_Window();
    Gui::Close();
    Gui::Wait_For_End();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Gui::Main_Window(), nullptr);
    EXPECT_EQ(Events(), (std::vector<std::string>{"termination, window there"}));
    Gui::Close();  // after the end: nothing to close
}

TEST_F(Actions, AFailingActionIsShownAndTheHandlerGoesOn) {
    Start(Termination);
    Gui::Page page = Gui::Add_Page("Only");
    Gui::Button failing = Gui::Create(page, "Fail", Failing_Action, 100);
    Gui::Button quick = Gui::Create(page, "Quick", Quick_Action, 100);
    Gui::Button held_failing = Gui::Create(page, "Held", Held_Failing_Action, 100);
    Click(failing);
    EXPECT_EQ(Dismiss_Message_Box(), "GUI.SEQUENCE_ERROR: from the action");
    EXPECT_TRUE(Wait_Until([&] {
        Click(quick);
        return runs >= 1;  // a second click may land once the first has run
    }));
    Gui::Set_Message_Reporter(Collect);
    // A quick action may still be running, and a click meanwhile is dropped: this one is
    // clicked until it runs, and while it is held every further click is dropped.
    EXPECT_TRUE(Wait_Until([&] {
        Click(held_failing);
        return held_failure_has_started.load();
    }));
    action_may_end.Signal();
    Close_Window();
    Gui::Wait_For_End();
    EXPECT_EQ(Events(), (std::vector<std::string>{"termination, window there"}));
    EXPECT_EQ(reports, (std::vector<std::string>{"GUI.SEQUENCE_ERROR: from the action"}));
}

TEST_F(Actions, CallbackAndClicksFromOtherThreadsGoThroughTheQueue) {
    Start();
    Gui::Set_Callback_Routine(Quick_Action);
    Gui::Request_Callback();
    ASSERT_TRUE(Wait_Until([] { return runs == 1; }));
    static std::atomic<void*> clicked{nullptr};
    int information = 7;
    Gui::Execute([](void* the_information) { clicked = the_information; }, &information);
    EXPECT_TRUE(Wait_Until([&] { return clicked == &information; }));
}
