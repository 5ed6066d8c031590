// The standard file and folder dialogs and the main window's title.
#include "gui-internal.hpp"

#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

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

template <typename Interface>
class Com_Held {
public:
    Com_Held() = default;
    Com_Held(const Com_Held&) = delete;
    Com_Held& operator=(const Com_Held&) = delete;
    ~Com_Held() {
        if (pointer_) pointer_->Release();
    }
    Interface** Place() { return &pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

private:
    Interface* pointer_ = nullptr;
};

using Task_Memory = std::unique_ptr<wchar_t, Windows::Handle_Closer<CoTaskMemFree>>;

struct Item_Dialog_Answer {
    bool Exists = false;  // the system has the dialog
    std::optional<std::wstring> Folder;
};

// The picker of Windows Vista and later, opened at the start folder when it exists.
Item_Dialog_Answer Folder_From_Item_Dialog(const std::wstring& the_start) {
    Com_Held<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                reinterpret_cast<void**>(dialog.Place()))))
        return {};
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    using Item_From_Name = HRESULT(WINAPI*)(PCWSTR, IBindCtx*, REFIID, void**);
    const auto item_from_name = Windows::Procedure<Item_From_Name>(GetModuleHandleW(L"shell32.dll"),
                                                                   "SHCreateItemFromParsingName");
    Com_Held<IShellItem> start;
    if (item_from_name && !the_start.empty() &&
        SUCCEEDED(item_from_name(the_start.c_str(), nullptr, IID_IShellItem, reinterpret_cast<void**>(start.Place()))))
        dialog->SetFolder(start.operator->());
    if (FAILED(dialog->Show(Main_Window()))) return {true, std::nullopt};
    Com_Held<IShellItem> chosen;
    if (FAILED(dialog->GetResult(chosen.Place()))) return {true, std::nullopt};
    wchar_t* name = nullptr;
    if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &name)) || !name) return {true, std::nullopt};
    const Task_Memory held(name);
    return {true, std::wstring(name)};
}

// The folder browser of the older systems.
std::optional<std::wstring> Folder_From_Browser() {
    BROWSEINFOW browse{};
    browse.hwndOwner = Main_Window();
    browse.lpszTitle = L"Look in:";
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    const std::unique_ptr<ITEMIDLIST, Windows::Handle_Closer<CoTaskMemFree>> list(SHBrowseForFolderW(&browse));
    if (!list) return std::nullopt;
    std::wstring path(Longest_Path, L'\0');
    if (!SHGetPathFromIDListW(list.get(), path.data())) return std::nullopt;
    path.resize(path.find(L'\0'));
    return path;
}

}  // namespace

std::optional<std::wstring> Folder_To_Open(const std::wstring& the_start) {
    const Apartment apartment;
    Item_Dialog_Answer answer = Folder_From_Item_Dialog(the_start);
    if (answer.Exists) return answer.Folder;
    return Folder_From_Browser();
}

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

Apartment::Apartment() : is_own_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}

Apartment::~Apartment() {
    if (is_own_) CoUninitialize();
}

}  // namespace Gui
