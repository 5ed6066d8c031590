#pragma once
// The GUI framework: one main window with pages of controls, a display thread that owns
// every window, a one-slot action queue served by the action-handler thread, and list
// views driven by application callbacks.
//
// Every operation on a control whose handle is null (never created) does nothing and
// returns the type's default, so application logic can run without a window.

#include <windows.h>

#include <string>

#include "strings.hpp"

namespace Gui {

struct Child_Information;
struct Page_Information;

using Action_Routine = void (*)();
using Click_Routine = void (*)(void* information);

// Opaque handles to a control's record.
class Child {
public:
    Child() = default;
    explicit Child(Child_Information* information) : information_(information) {}
    Child_Information* Information() const { return information_; }
    bool Is_Null() const { return information_ == nullptr; }

private:
    Child_Information* information_ = nullptr;
};
class Button : public Child { using Child::Child; };
class Check_Box : public Child { using Child::Child; };
class Edit_Box : public Child { using Child::Child; };
class Plain_Edit_Box : public Edit_Box { using Edit_Box::Edit_Box; };
class Checked_Edit_Box : public Edit_Box { using Edit_Box::Edit_Box; };
class List_View : public Child { using Child::Child; };

using Page = Page_Information*;

void Set_Status_Line(const std::string& the_text);
void Set_Text(const Child& the_control, const std::string& the_text);  // button, edit box
void Set(const Edit_Box& the_box, const std::wstring& the_text);
std::string Contents_Of(const Edit_Box& the_box);        // at most 250 characters
std::wstring Wide_Contents_Of(const Edit_Box& the_box);  // at most 250 characters
void Enable(const Child& the_control);
void Disable(const Child& the_control);
void Remove_All_From(const List_View& the_list_view);
void Message_Box(const std::string& the_message, bool is_exclamation);

}  // namespace Gui
