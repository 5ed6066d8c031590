// Where to look, driven on the real window: "Browse..." opens the system's folder picker and
// puts the folder chosen in "Look in:"; the list beside it offers the drives with their
// label, size and free space and the last roots searched, kept in the registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry.hpp"
#include "temporary_tree.hpp"
#include "wide_text.hpp"
#include "work_window.hpp"

using namespace Work_Window;

namespace {

class Roots : public Work_Window_Test {};

HWND Root_List() { return Gui::Window_Of(Work::Controls().Root_List); }

std::vector<std::wstring> Choices() {
    std::vector<std::wstring> choices;
    const auto count = static_cast<int>(SendMessageW(Root_List(), CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        std::wstring text(static_cast<std::size_t>(SendMessageW(Root_List(), CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
        SendMessageW(Root_List(), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
        text.resize(text.find(L'\0'));
        choices.push_back(text);
    }
    return choices;
}

int Choice_Starting(const std::wstring& the_start) {
    const std::vector<std::wstring> choices = Choices();
    for (std::size_t index = 0; index < choices.size(); ++index)
        if (choices[index].rfind(the_start, 0) == 0) return static_cast<int>(index);
    return -1;
}

std::string Kept_Root(int the_place) {
    auto registry = Registry::Exclusive_Use();
    Registry::Define("\\Roots");
    return Registry::Value_Of(std::to_string(the_place), "");
}

HWND Visible_Dialog() {
    HWND found = nullptr;
    EnumWindows([](HWND window, LPARAM found) -> BOOL {
        wchar_t name[32] = {};
        GetClassNameW(window, name, 32);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId() || std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The picker's box for a name, the only edit box that is not part of its address bar.
HWND Name_Box_Of(HWND the_dialog) {
    HWND found = nullptr;
    EnumChildWindows(the_dialog, [](HWND window, LPARAM found) -> BOOL {
        wchar_t name[32] = {};
        GetClassNameW(window, name, 32);
        if (std::wstring(name) == L"Edit" && IsWindowVisible(window)) *reinterpret_cast<HWND*>(found) = window;
        return TRUE;
    }, reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace

TEST_F(Roots, The_List_Offers_The_Drives_And_The_Roots_Kept_And_Puts_A_Choice_In_The_Box) {
    Temporary_Tree tree;
    {
        auto registry = Registry::Exclusive_Use();
        Registry::Define("\\Roots");
        Registry::Set("1", "Z:\\earlier");
    }
    Open_Window();
    // Wine's prefix has its C: drive and Z: for the host's root, both fixed.
    for (const std::wstring& drive : {std::wstring(L"C:\\"), std::wstring(L"Z:\\")}) {
        const int index = Choice_Starting(drive);
        ASSERT_GE(index, 0) << Wide_Text::Narrowed(drive);
        EXPECT_NE(Choices()[index].find(L" free)"), std::wstring::npos) << Wide_Text::Narrowed(Choices()[index]);
    }
    EXPECT_EQ(Choices().back(), L"Z:\\earlier");

    SendMessageW(Root_List(), CB_SETCURSEL, Choice_Starting(L"Z:\\"), 0);
    Gui_Driver::Command(Work::Controls().Root_List, CBN_SELCHANGE);
    Wait_For_Actions();
    EXPECT_EQ(Gui::Wide_Contents_Of(Work::Controls().Search_Root_Box), L"Z:\\");
    EXPECT_EQ(Gui::Selected_Ordinal(Work::Controls().Root_List), 0) << "the list is a menu of places";

    Search(tree.Root());
    EXPECT_EQ(Wide_Text::From_Utf8(Kept_Root(1)), tree.Root());
    EXPECT_EQ(Kept_Root(2), "Z:\\earlier");
    const std::vector<std::wstring> choices = Choices();
    ASSERT_GE(choices.size(), 2u);
    EXPECT_EQ(choices[choices.size() - 2], tree.Root());
    EXPECT_EQ(choices.back(), L"Z:\\earlier");
}

TEST_F(Roots, Browse_Puts_The_Folder_Picked_In_The_Box) {
    Temporary_Tree tree;
    tree.Make_Folder(L"picked");
    Open_Window();
    Gui_Driver::Click(Work::Controls().Browse_Button);
    HWND dialog = nullptr;
    ASSERT_TRUE(Gui_Driver::Wait_Until([&] { return (dialog = Visible_Dialog()) != nullptr; }, 20000));
    HWND name_box = nullptr;
    ASSERT_TRUE(Gui_Driver::Wait_Until([&] { return (name_box = Name_Box_Of(dialog)) != nullptr; }));
    SendMessageW(name_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(tree.Path_Of(L"picked").c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    Wait_For_Actions();
    EXPECT_EQ(Gui::Wide_Contents_Of(Work::Controls().Search_Root_Box), tree.Path_Of(L"picked"));
}
