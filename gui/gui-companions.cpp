// Controls beside an edit box: buttons and drop-down lists placed at the right end of its
// row, and the choices of such a list.
#include "gui-internal.hpp"
#include "wide_text.hpp"

namespace Gui {

using namespace Internal;
using Wide_Text::Widened;

namespace {

Child_Information* Companion_Of(const Edit_Box& the_box, std::unique_ptr<Child_Information> the_companion) {
    if (the_box.Is_Null() || !Is_Initialised()) return nullptr;
    Child_Information& box = *the_box.Information();
    the_companion->Is_Companion = true;
    Child_Information* companion = Create_Through_Display(box.Parent_Page, std::move(the_companion));
    if (!companion) return nullptr;
    Run_On_Display([&] {
        box.Companions.push_back(companion);
        Redraw_Main_Window();
        return LRESULT{0};
    });
    return companion;
}

}  // namespace

Button Create_Beside(const Edit_Box& the_box, const std::string& the_text, Action_Routine the_action_routine,
                     int the_width) {
    auto button = New_Child(Button_Kind, Widened(the_text), the_width);
    button->The_Action_Routine = the_action_routine;
    return Button(Companion_Of(the_box, std::move(button)));
}

Plain_Combo_Box Create_List_Beside(const Edit_Box& the_box, Action_Routine the_action_routine, int the_width) {
    auto list = New_Child(Combo_Box_Kind, L"", the_width);
    list->The_Action_Routine = the_action_routine;
    Plain_Combo_Box box(Companion_Of(the_box, std::move(list)));
    // The choices are wider than the box: the list shows them whole.
    if (HWND window = Handle_Of(box)) Send_Message_Wide(window, CB_SETDROPPEDWIDTH, 4 * the_width, 0);
    return box;
}

void Add_Wide_Choice(const Combo_Box& the_box, const std::wstring& the_choice) {
    if (HWND window = Handle_Of(the_box))
        Send_Message_Wide(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(the_choice.c_str()));
}

void Remove_All_Choices(const Combo_Box& the_box) {
    if (HWND window = Handle_Of(the_box)) Send_Message_Wide(window, CB_RESETCONTENT, 0, 0);
}

int Selected_Ordinal(const Combo_Box& the_box) {
    HWND window = Handle_Of(the_box);
    return window ? static_cast<int>(Send_Message_Wide(window, CB_GETCURSEL, 0, 0)) + 1 : 0;
}

void Clear_Selection(const Combo_Box& the_box) {
    if (HWND window = Handle_Of(the_box)) Send_Message_Wide(window, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

}  // namespace Gui
