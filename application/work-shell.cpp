// What the user does with a found object: it is handed to the shell, through one seam that
// tests record, to open, show in Explorer or show the properties of; its path is copied; a
// folder is searched. Nothing here changes an object.
#include <objbase.h>
#include <shellapi.h>

#include <atomic>

#include "work-internal.hpp"

namespace Work {

namespace {

std::atomic<Shell::Handler> The_Handler{nullptr};

bool Execute_In_Shell(const Shell::Request& the_request) {
    const Gui::Apartment apartment;
    SHELLEXECUTEINFOW execution{};
    execution.cbSize = sizeof execution;
    execution.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execution.hwnd = Gui::Main_Window();
    execution.nShow = SW_SHOWNORMAL;
    execution.lpFile = the_request.Path.c_str();
    std::wstring parameters = the_request.Parameters;
    switch (the_request.The_Verb) {
    case Shell::Verb::Open: break;  // the object's default action
    case Shell::Verb::Show_In_Explorer:
        execution.lpFile = L"explorer.exe";
        parameters = L"/select,\"" + the_request.Path + L"\"";
        break;
    case Shell::Verb::Properties:
        execution.fMask |= SEE_MASK_INVOKEIDLIST;
        execution.fMask &= ~static_cast<ULONG>(SEE_MASK_FLAG_NO_UI);
        execution.lpVerb = L"properties";
        break;
    case Shell::Verb::Run_Elevated: execution.lpVerb = L"runas"; break;
    }
    if (!parameters.empty()) execution.lpParameters = parameters.c_str();
    return ShellExecuteExW(&execution) != FALSE;
}

void Search_Folder(const std::wstring& the_path) {
    if (Searcher_Is_Busy()) return;
    Gui::Set(Controls().Search_Root_Box, the_path);
    Stop_Start_Request();
}

}  // namespace

namespace Shell {

bool Hand_Over(const Request& the_request) {
    if (Handler handler = The_Handler) return handler(the_request);
    return Execute_In_Shell(the_request);
}

void Set_Handler(Handler the_handler) { The_Handler = the_handler; }

}  // namespace Shell

std::wstring Full_Path_Of(const File_Information& the_file) {
    return Search_Root() + the_file.Folder_Name.String() + L'\\' + the_file.File_Name.String();
}

void Offer_Object_Menu(const std::wstring& the_path, bool is_folder) {
    std::vector<std::wstring> items{L"Open", L"Open in Explorer", L"Copy path", L"Properties"};
    if (is_folder) items.push_back(L"Search this folder");
    switch (Gui::Choose_From_Menu(items)) {
    case 1: Shell::Hand_Over({Shell::Verb::Open, the_path, L""}); break;
    case 2: Shell::Hand_Over({Shell::Verb::Show_In_Explorer, the_path, L""}); break;
    case 3: Gui::Copy_To_Clipboard(the_path); break;
    case 4: Shell::Hand_Over({Shell::Verb::Properties, the_path, L""}); break;
    case 5: Search_Folder(the_path); break;
    default: break;
    }
}

void File_Menu_Routine(void* the_file) {
    if (Searcher_Is_Busy()) return;
    const File_Information& file = *static_cast<const File_Information*>(the_file);
    Offer_Object_Menu(Full_Path_Of(file), file.Is_Folder);
}

void Search_Again_Request() {
    if (Searcher_Is_Busy() || Search_Root().empty()) return;
    Search_Folder(Search_Root());
}

}  // namespace Work
