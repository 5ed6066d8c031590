// Scans in the window: the results saved as a scan file, a scan file shown in their place,
// the results compared with an older scan, and the rows shown exported; the standard
// dialogs in front of each.
#include <memory>

#include "log.hpp"
#include "work-internal.hpp"
#include "work-report.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

constexpr const wchar_t* Scan_Type = L"Quarrix scans";

std::unique_ptr<Compare::Changes> The_Comparison;
std::wstring Compared_Scan;
File_Time Compared_Time{};
std::wstring Scan_To_Open;  // given on the command line

std::string Narrow(const std::wstring& text) { return Wide_Text::Narrowed(text); }

std::wstring Name_Of(const std::wstring& path) {
    const std::size_t last = path.find_last_of(L"\\/");
    return last == std::wstring::npos ? path : path.substr(last + 1);
}

// The scan and its time, as the title and the status line name it.
std::wstring Scan_Image() {
    return Name_Of(Opened_Scan()) + L", scan of " + Files::Image_Of(Results_Time());
}

std::wstring Comparison_Image() {
    return L"compared with " + Name_Of(Compared_Scan) + L" of " + Files::Image_Of(Compared_Time);
}

Report::Row Row_Of(const File_Information& the_file) {
    Report::Row row{&the_file, std::nullopt};
    if (The_Comparison) row.Change = The_Comparison->Of(the_file);
    return row;
}

// "usr share.qscan" for the root Z:\usr\share: a name that says what was searched.
std::wstring Suggested_Name(const wchar_t* the_extension) {
    std::wstring name = Search_Root();
    for (wchar_t& character : name)
        if (character == L'\\' || character == L':' || character == L'/') character = L' ';
    const std::size_t first = name.find_first_not_of(L' ');
    name = first == std::wstring::npos ? L"scan" : name.substr(first);
    return name + L"." + the_extension;
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
    std::wstring note = Opened_Scan().empty() ? L"" : Scan_Image();
    if (The_Comparison) note += (note.empty() ? L"" : L", ") + Comparison_Image();
    return Narrow(note);
}

const Compare::Changes* Comparison() { return The_Comparison.get(); }

void End_Comparison() {
    The_Comparison.reset();
    Compared_Scan.clear();
}

void Compare_With(const std::wstring& path) {
    if (Refused_While_Busy("compare")) return;
    if (Search_Root().empty()) {
        Gui::Message_Box("There is nothing to compare yet: search or open a scan first.", true);
        return;
    }
    std::unique_ptr<Compare::Changes> comparison;
    Scan_File::Description older;
    try {
        const std::string bytes = Files::Contents_Of(path);
        Scan_File::Record_Reader reader(bytes);
        older = reader.About();
        if (!Compare::Is_Same_Root(older.Root, Search_Root())) {
            Gui::Message_Box(Narrow(path) + " is a scan of " + Narrow(older.Root) +
                                 ", the results shown are of " + Narrow(Search_Root()) +
                                 ": only scans of the same folder can be compared.",
                             true);
            return;
        }
        comparison = std::make_unique<Compare::Changes>(Known_Files(), reader);
    } catch (const std::exception& failure) {
        Report_Failure("compare with", path, failure);
        return;
    }
    // The rows may refer to the gone records of a comparison before, and the rows and the
    // map take their colours from it.
    Gui::Remove_All_From(Controls().File_List_View);
    Forget_Map();
    The_Comparison = std::move(comparison);
    Compared_Scan = path;
    Compared_Time = older.Made;
    Log::Write("Compared with " + Narrow(path));
    Adjust_Gui();
    Show_Passing_Records();
}

void Compare_Request() {
    if (Refused_While_Busy("compare")) return;
    if (const auto path = Gui::File_To_Open(Scan_Type, Scan_File::Extension)) Compare_With(*path);
}

void Export_Rows(const std::wstring& path) {
    Report::Contents contents{.Root = Search_Root(),
                              .Is_Ntfs = Searching_Ntfs(),
                              .Made = Results_Time(),
                              .The_Columns = Report::Columns_For(Searching_Ntfs(), Selection_In_Force()),
                              .Rows = {},
                              .Owners = {}};
    contents.The_Columns.Change = The_Comparison != nullptr;
    for (void* row : Gui::Rows_Of(Controls().File_List_View))
        contents.Rows.push_back(Row_Of(*static_cast<const File_Information*>(row)));
    try {
        Files::Replace_Contents(path, Report::Csv_Of(contents));
    } catch (const std::exception& failure) {
        Report_Failure("export to", path, failure);
        return;
    }
    Gui::Set_Status_Line(Image_Of(static_cast<int>(contents.Rows.size()), "row") + " exported to " + Narrow(path));
}

void Export_Request() {
    if (Refused_While_Busy("export")) return;
    if (const auto path = Gui::File_To_Save(L"CSV files", L"csv", Suggested_Name(L"csv"))) Export_Rows(*path);
}

void Save_Scan(const std::wstring& path) {
    if (Refused_While_Busy("save the scan")) return;
    if (Search_Root().empty()) {
        Gui::Message_Box("There is no scan to save yet: search first.", true);
        return;
    }
    try {
        Scan_File::Save(path, {Search_Root(), Searching_Ntfs(), Results_Time(), Results_Have_Sizes_On_Disk(), Results_Volume()}, Known_Files());
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
    File_List replaced = Take_Results(std::move(scan), path);
    Adjust_Gui();
    Gui::Set(Controls().Search_Root_Box, Search_Root());
    Gui::Disable(Controls().Back_Button);
    Gui::Set_Title_Detail(Scan_Image());
    Display();
    Release_In_Background(std::move(replaced));
}

void Save_Scan_Request() {
    if (Refused_While_Busy("save the scan")) return;
    if (const auto path = Gui::File_To_Save(Scan_Type, Scan_File::Extension, Suggested_Name(Scan_File::Extension)))
        Save_Scan(*path);
}

void Start_Opening(const std::wstring& path) {
    Scan_To_Open = path;
    Gui::Execute([] { Open_Scan(Scan_To_Open); });
}

void Open_Scan_Request() {
    if (Refused_While_Busy("open a scan")) return;
    if (const auto path = Gui::File_To_Open(Scan_Type, Scan_File::Extension)) Open_Scan(*path);
}

}  // namespace Work
