#include "work_window.hpp"

#include <atomic>
#include <mutex>
#include <vector>

#include "registry.hpp"
#include "registry_keys.hpp"
#include "work.hpp"
#include "wide_text.hpp"

namespace Work_Window {

namespace {

std::string settings_name;

std::mutex message_guard;
std::string last_message;

void Note_Message(const std::string& the_message, bool) {
    std::lock_guard lock(message_guard);
    last_message = the_message;
}

// Finds the buddy tick of a checked box: it is made just before the box.
HWND Tick_Window_Of(const Gui::Checked_Edit_Box& the_box) {
    return GetDlgItem(Gui::Main_Window(), GetDlgCtrlID(Gui::Window_Of(the_box)) - 1);
}

void Click_Window(HWND the_window) {
    SendMessageA(Gui::Main_Window(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(the_window), BN_CLICKED),
                 reinterpret_cast<LPARAM>(the_window));
}

std::atomic<bool> actions_done{false};
void Note_Actions_Done() { actions_done = true; }

}  // namespace

void Work_Window_Test::SetUp() {
    Work::Start_Gui();
    settings_name = Registry_Keys::Test_Application_Name();
    Work::Start_Application(settings_name);
    Registry::Define(Registry::Company::Vornhale, settings_name);
    Gui::Set_Message_Reporter(Note_Message);
}

void Work_Window_Test::TearDown() {
    Gui::Close();
    Gui::Wait_For_End();
    Work::Shut_Down();
    Registry_Keys::Remove(HKEY_CURRENT_USER, Settings_Key());
}

void Work_Window_Test::Open_Window() { Work::Create_User_Interface(); }

std::string Work_Window_Test::Settings_Key() { return "Software\\Vornhale\\" + settings_name; }

std::string Last_Message() {
    std::lock_guard lock(message_guard);
    return last_message;
}

// The queue drops a request while a routine runs: offered again until it gets in.
void Wait_For_Actions() {
    actions_done = false;
    ASSERT_TRUE(Gui_Driver::Wait_Until([] {
        Gui::Execute(Note_Actions_Done);
        return Gui_Driver::Wait_Until([] { return actions_done.load(); }, 100);
    }, 20000));
}

void Tick(const Gui::Check_Box& the_box, bool is_ticked) {
    if (is_ticked) Gui::Set(the_box);
    else Gui::Clear(the_box);
    Click_Window(Gui::Window_Of(the_box));
    Wait_For_Actions();
}

void Tick(const Gui::Checked_Edit_Box& the_box, bool is_ticked) {
    if (is_ticked) Gui::Set(the_box);
    else Gui::Clear(the_box);
    Click_Window(Tick_Window_Of(the_box));
    Wait_For_Actions();
}

void Type(const Gui::Edit_Box& the_box, const std::string& the_text) {
    Gui::Set(the_box, Wide_Text::Widened(the_text));
}

void Press(const Gui::Button& the_button) {
    Gui_Driver::Click(the_button);
    Wait_For_Actions();
}

void Show(Tab the_tab) {
    Gui_Driver::Select_Tab(the_tab);
    Wait_For_Actions();
}

void Search(const std::wstring& the_root, int the_milliseconds) {
    Show(Display_Tab);
    Gui::Set(Work::Controls().Search_Root_Box, the_root);
    Press(Work::Controls().Start_Stop_Button);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return !Work::Searcher_Is_Busy(); }, the_milliseconds));
}

std::string Status_Line(int the_part) {
    HWND status_line = GetDlgItem(Gui::Main_Window(), 50);
    // Room for a line of any length, a path of 32,767 characters among them.
    const std::size_t length = LOWORD(SendMessageA(status_line, SB_GETTEXTLENGTHA, the_part, 0));
    std::vector<char> text(4 * length + 1);
    SendMessageA(status_line, SB_GETTEXTA, the_part, reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

namespace {

// Rows reach the control through the display thread's queue.
void Settle(const Gui::List_View& the_view) {
    Gui_Driver::Wait_Until([&] {
        return SendMessageW(Gui::Window_Of(the_view), LVM_GETITEMCOUNT, 0, 0) ==
               Gui::Number_Of_Rows_Of(the_view);
    });
}

}  // namespace

std::wstring Cell(const Gui::List_View& the_view, int the_row, int the_column) {
    Settle(the_view);
    std::vector<wchar_t> buffer(400);
    LVITEMW item{};
    item.iSubItem = the_column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    SendMessageW(Gui::Window_Of(the_view), LVM_GETITEMTEXTW, the_row,
                 reinterpret_cast<LPARAM>(&item));
    return buffer.data();
}

std::wstring Column_Title(const Gui::List_View& the_view, int the_column) {
    std::vector<wchar_t> buffer(100);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = buffer.data();
    column.cchTextMax = static_cast<int>(buffer.size());
    if (!SendMessageW(Gui::Window_Of(the_view), LVM_GETCOLUMNW, the_column,
                      reinterpret_cast<LPARAM>(&column)))
        return L"(none)";
    return buffer.data();
}

int Row_Count(const Gui::List_View& the_view) { return Gui::Number_Of_Rows_Of(the_view); }

void Double_Click(const Gui::List_View& the_view, int the_row) {
    NMITEMACTIVATE click{};
    click.hdr.code = NM_DBLCLK;
    click.iItem = the_row;
    Gui_Driver::Notify(the_view, click.hdr);
    Wait_For_Actions();
}

int Row_Named(const Gui::List_View& the_view, const std::wstring& the_name) {
    for (int row = 0; row < Row_Count(the_view); ++row)
        if (Cell(the_view, row, 0) == the_name) return row;
    return -1;
}

}  // namespace Work_Window
