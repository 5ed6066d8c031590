// Where to look: "Browse..." beside "Look in:" opens the system's folder picker, and the list
// beside it offers the fixed and removable drives with their label, size and free space, and
// the last roots searched, which the registry keeps. A choice is put in the box.
#include <mutex>
#include <vector>

#include "registry.hpp"
#include "work-internal.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

constexpr const char* Roots_Topic = "\\Roots";
constexpr int Roots_Kept = 5;

std::mutex Listed_Guard;
std::vector<std::wstring> Listed;  // the paths of the list's choices, in order

std::wstring Lower(std::wstring the_text) {
    for (wchar_t& character : the_text) character = static_cast<wchar_t>(towlower(character));
    return the_text;
}

std::vector<std::wstring> Drives() {
    const DWORD length = GetLogicalDriveStringsW(0, nullptr);
    std::vector<wchar_t> names(length + 1, L'\0');
    if (length == 0 || GetLogicalDriveStringsW(length, names.data()) == 0) return {};
    std::vector<std::wstring> drives;
    for (const wchar_t* name = names.data(); *name; name += wcslen(name) + 1) {
        const UINT type = GetDriveTypeW(name);
        if (type == DRIVE_FIXED || type == DRIVE_REMOVABLE) drives.emplace_back(name);
    }
    return drives;
}

// "C:\  System  (120GB, 30GB free)"; a drive without a medium is named alone.
std::wstring Drive_Text(const std::wstring& the_drive) {
    std::wstring text = the_drive;
    std::vector<wchar_t> label(MAX_PATH + 1, L'\0');  // a volume label, never a path
    if (GetVolumeInformationW(the_drive.c_str(), label.data(), static_cast<DWORD>(label.size()), nullptr,
                              nullptr, nullptr, nullptr, 0) &&
        label[0])
        text += L"  " + std::wstring(label.data());
    ULARGE_INTEGER free{}, total{};
    if (GetDiskFreeSpaceExW(the_drive.c_str(), &free, &total, nullptr))
        text += L"  (" + Wide_Text::Widened(Inline_Image_Of(File_Size::From(total.QuadPart))) + L", " +
                Wide_Text::Widened(Inline_Image_Of(File_Size::From(free.QuadPart))) + L" free)";
    return text;
}

std::vector<std::wstring> Kept_Roots() {
    auto registry = Registry::Exclusive_Use();
    Registry::Define(Roots_Topic);
    std::vector<std::wstring> roots;
    for (int place = 1; place <= Roots_Kept; ++place) {
        const std::string root = Registry::Value_Of(std::to_string(place), "");
        if (!root.empty()) roots.push_back(Wide_Text::From_Utf8(root));
    }
    return roots;
}

void Keep_Roots(const std::vector<std::wstring>& the_roots) {
    auto registry = Registry::Exclusive_Use();
    Registry::Define(Roots_Topic);
    for (int place = 1; place <= Roots_Kept; ++place) {
        const std::size_t index = static_cast<std::size_t>(place - 1);
        Registry::Set(std::to_string(place), index < the_roots.size() ? Wide_Text::Utf8_Of(the_roots[index]) : "");
    }
}

}  // namespace

void Fill_Root_List() {
    const Gui::Plain_Combo_Box& list = Controls().Root_List;
    if (list.Is_Null()) return;
    std::vector<std::wstring> paths;
    std::vector<std::wstring> texts;
    for (const std::wstring& drive : Drives()) {
        paths.push_back(drive);
        texts.push_back(Drive_Text(drive));
    }
    for (const std::wstring& root : Kept_Roots()) {
        paths.push_back(root);
        texts.push_back(root);
    }
    std::lock_guard lock(Listed_Guard);
    Listed = std::move(paths);
    Gui::Remove_All_Choices(list);
    for (const std::wstring& text : texts) Gui::Add_Wide_Choice(list, text);
}

void Remember_Root(const std::wstring& the_root) {
    std::vector<std::wstring> roots{the_root};
    for (const std::wstring& root : Kept_Roots())
        if (Lower(root) != Lower(the_root) && roots.size() < Roots_Kept) roots.push_back(root);
    Keep_Roots(roots);
    Fill_Root_List();
}

void Browse_Request() {
    const Gui::Plain_Edit_Box& box = Controls().Search_Root_Box;
    if (const std::optional<std::wstring> folder = Gui::Folder_To_Open(Gui::Wide_Contents_Of(box)))
        Gui::Set(box, *folder);
}

// The list is a menu of places: once one is in the box, none stays chosen.
void Root_Choice_Request() {
    const Gui::Plain_Combo_Box& list = Controls().Root_List;
    const int ordinal = Gui::Selected_Ordinal(list);
    if (ordinal <= 0) return;
    std::wstring chosen;
    {
        std::lock_guard lock(Listed_Guard);
        if (static_cast<std::size_t>(ordinal) > Listed.size()) return;
        chosen = Listed[static_cast<std::size_t>(ordinal) - 1];
    }
    Gui::Set(Controls().Search_Root_Box, chosen);
    Gui::Clear_Selection(list);
}

}  // namespace Work
