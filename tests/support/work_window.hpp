#pragma once
// The application's own main window for a test, with settings under a key of the test's
// own, and the means to drive it as a user would: ticks, button presses, searches.

#include <gtest/gtest.h>

#include <string>

#include "gui_driver.hpp"
#include "work.hpp"

namespace Work_Window {

// The tabs in the order the application adds them.
enum Tab { Display_Tab = 0, Map_Tab = 1, Types_Tab = 2, Selection_Tab = 3, Accounts_Tab = 4 };

class Work_Window_Test : public testing::Test {
protected:
    void SetUp() override;     // starts the packages and names the settings after the test
    void TearDown() override;  // closes the window (saving the options) and removes the key
    static void Open_Window();  // Work::Create_User_Interface
    static std::string Settings_Key();  // "Software\Vornhale\<test>"
};

// Ticks or unticks a box and clicks it, and waits until its action has run.
void Tick(const Gui::Check_Box& the_box, bool is_ticked = true);
void Tick(const Gui::Checked_Edit_Box& the_box, bool is_ticked = true);
void Type(const Gui::Edit_Box& the_box, const std::string& the_text);
void Press(const Gui::Button& the_button);  // and waits until its action has run
void Show(Tab the_tab);                     // and waits until the page's action has run
void Wait_For_Actions();                    // until every action queued so far has run
std::string Last_Message();                 // the last message box's text, "" before any

// Types the root, presses "Search" and waits until the searcher is idle again.
void Search(const std::wstring& the_root, int the_milliseconds = 20000);

std::string Status_Line(int the_part = 0);
std::wstring Cell(const Gui::List_View& the_view, int the_row, int the_column);
std::wstring Column_Title(const Gui::List_View& the_view, int the_column);  // 0-based
int Row_Count(const Gui::List_View& the_view);
// Double-clicks a row, and waits until its click routine has run.
void Double_Click(const Gui::List_View& the_view, int the_row);
// The row whose first cell is the name, or -1.
int Row_Named(const Gui::List_View& the_view, const std::wstring& the_name);

}  // namespace Work_Window
