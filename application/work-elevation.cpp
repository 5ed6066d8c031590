// The fast read one click away: where a search walked the folders because the volume's table
// could not be opened for lack of rights, a note of its own in the status line says so, with
// a button that starts the program again as administrator searching the same root, the
// options saved first. Where the elevation is refused or unavailable, nothing changes.
#include <atomic>
#include <vector>

#include "work-internal.hpp"

namespace Work {

namespace {

std::atomic<bool> Table_Was_Refused{false};

std::wstring Program_Path() {
    std::vector<wchar_t> path(512);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return std::wstring(path.data(), length);
        path.resize(path.size() * 2);
    }
}

// One argument, as the command line reads it back: a backslash before the closing quote is
// doubled, and a drive alone names its root.
std::wstring Argument_Of(std::wstring the_root) {
    if (!the_root.empty() && the_root.back() == L':') the_root += L'\\';
    std::wstring argument = L"\"" + the_root;
    if (!the_root.empty() && the_root.back() == L'\\') argument += L'\\';
    return argument + L"\"";
}

}  // namespace

void Note_Table_Refused() { Table_Was_Refused = true; }

void Forget_Table_Refusal() { Table_Was_Refused = false; }

void Show_Elevation_Note() {
    if (Table_Was_Refused.exchange(false))
        Gui::Set_Status_Note(L"Folders walked: as administrator, Quarrix reads the volume's table instead, "
                             L"many times faster",
                             L"Run as administrator", Run_As_Administrator_Request);
    else
        Gui::Set_Status_Note(L"");
}

void Run_As_Administrator_Request() {
    if (Searcher_Is_Busy() || Search_Root().empty()) return;
    Save_Options_To_Registery();
    if (Shell::Hand_Over({Shell::Verb::Run_Elevated, Program_Path(), Argument_Of(Search_Root())})) Gui::Close();
}

}  // namespace Work
