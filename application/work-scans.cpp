// Scans in the window: the results saved as a scan file, and a scan file shown in their
// place, with the standard dialogs in front of both.
#include "log.hpp"
#include "work-internal.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

constexpr const wchar_t* Scan_Type = L"Quarrix scans";

std::string Narrow(const std::wstring& text) { return Wide_Text::Narrowed(text); }

std::wstring Name_Of(const std::wstring& path) {
    const std::size_t last = path.find_last_of(L"\\/");
    return last == std::wstring::npos ? path : path.substr(last + 1);
}

// The scan and its time, as the title and the status line name it.
std::wstring Scan_Image() {
    return Name_Of(Opened_Scan()) + L", scan of " + Files::Image_Of(Results_Time());
}

// "usr share.qscan" for the root Z:\usr\share: a name that says what was searched.
std::wstring Suggested_Name() {
    std::wstring name = Search_Root();
    for (wchar_t& character : name)
        if (character == L'\\' || character == L':' || character == L'/') character = L' ';
    const std::size_t first = name.find_first_not_of(L' ');
    name = first == std::wstring::npos ? L"scan" : name.substr(first);
    return name + L"." + Scan_File::Extension;
}

bool Refused_While_Busy(const std::string& the_action) {
    if (!Searcher_Is_Busy()) return false;
    Gui::Message_Box("A search is running: " + the_action + " once it has ended or is stopped.",
                     true);
    return true;
}

void Report_Failure(const std::string& the_action, const std::wstring& path,
                    const std::exception& failure) {
    Gui::Message_Box("Cannot " + the_action + " " + Narrow(path) + ":\n" + Information_Of(failure),
                     true);
}

}  // namespace

std::string Scan_Note() {
    if (Opened_Scan().empty()) return {};
    return Narrow(Scan_Image());
}

void Save_Scan(const std::wstring& path) {
    if (Refused_While_Busy("save the scan")) return;
    if (Search_Root().empty()) {
        Gui::Message_Box("There is no scan to save yet: search first.", true);
        return;
    }
    try {
        Scan_File::Save(path, {Search_Root(), Searching_Ntfs(), Results_Time()}, Known_Files());
    } catch (const std::exception& failure) {
        Report_Failure("save the scan as", path, failure);
        return;
    }
    Log::Write("Scan saved: " + Narrow(path));
    Gui::Set_Status_Line("Scan saved as " + Narrow(path));
}

void Open_Scan(const std::wstring& path) {
    if (Refused_While_Busy("open a scan")) return;
    Scan_File::Scan scan;
    try {
        scan = Scan_File::Load(path);
    } catch (const std::exception& failure) {
        Report_Failure("open the scan", path, failure);
        return;
    }
    Log::Write("Scan opened: " + Narrow(path) + ", " + std::to_string(Length_Of(scan.Records)) +
               " records of " + Narrow(scan.About.Root));
    Determine_Options();
    Take_Results(std::move(scan), path);
    Adjust_Gui();
    Gui::Set(Controls().Search_Root_Box, Search_Root());
    Gui::Disable(Controls().Back_Button);
    Gui::Set_Title_Detail(Scan_Image());
    Display();
}

void Save_Scan_Request() {
    if (Refused_While_Busy("save the scan")) return;
    if (const auto path = Gui::File_To_Save(Scan_Type, Scan_File::Extension, Suggested_Name()))
        Save_Scan(*path);
}

void Open_Scan_Request() {
    if (Refused_While_Busy("open a scan")) return;
    if (const auto path = Gui::File_To_Open(Scan_Type, Scan_File::Extension)) Open_Scan(*path);
}

}  // namespace Work
