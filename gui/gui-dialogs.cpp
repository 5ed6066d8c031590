// The standard file dialogs and the main window's title.
#include "gui-internal.hpp"

#include <commdlg.h>

#include "wide_text.hpp"

namespace Gui {

namespace {

// The longest path the platform takes, in characters, with its terminating null.
constexpr std::size_t Longest_Path = 32768;

std::atomic<File_Chooser> The_Chooser{nullptr};

// "Quarrix scans (*.qscan)\0*.qscan\0All files\0*.*\0\0"
std::wstring Filter_Of(const std::wstring& the_type, const std::wstring& the_extension) {
    const std::wstring pattern = L"*." + the_extension;
    std::wstring filter = the_type + L" (" + pattern + L")";
    filter += L'\0';
    filter += pattern;
    filter += L'\0';
    filter += L"All files";
    filter += L'\0';
    filter += L"*.*";
    filter += L'\0';
    return filter;
}

std::optional<std::wstring> File_Chosen(bool to_save, const std::wstring& the_type,
                                        const std::wstring& the_extension,
                                        const std::wstring& the_suggestion) {
    if (File_Chooser chooser = The_Chooser) return chooser(to_save, the_extension);
    const std::wstring filter = Filter_Of(the_type, the_extension);
    std::wstring path = the_suggestion;
    path.resize(Longest_Path, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Main_Window();
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrDefExt = the_extension.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                   (to_save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (!(to_save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return std::nullopt;
    path.resize(path.find(L'\0'));
    return path;
}

}  // namespace

void Set_Title_Detail(const std::wstring& the_detail) {
    HWND window = Main_Window();
    if (!window) return;
    std::wstring title = Wide_Text::Widened(Internal::State().The_Application_Name);
    if (!the_detail.empty()) title += L" - " + the_detail;
    SetWindowTextW(window, title.c_str());
}

std::optional<std::wstring> File_To_Open(const std::wstring& the_type, const std::wstring& the_extension) {
    return File_Chosen(false, the_type, the_extension, L"");
}

std::optional<std::wstring> File_To_Save(const std::wstring& the_type, const std::wstring& the_extension,
                                         const std::wstring& the_suggestion) {
    return File_Chosen(true, the_type, the_extension, the_suggestion);
}

void Set_File_Chooser(File_Chooser the_chooser) { The_Chooser = the_chooser; }

}  // namespace Gui
