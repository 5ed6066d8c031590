// The results as the user sees them: the file list's columns, texts, colours and sorts,
// the totals line, drill-down, "Back", and the refresh after a change of options.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "gui-registered.hpp"
#include "log.hpp"
#include "work-credit.hpp"
#include "work-internal.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

std::wstring Shown_Folder;  // the display root
bool Owner_Column_Is_Shown = false;
bool Stream_Column_Is_Shown = false;
bool Change_Column_Is_Shown = false;
std::mutex Results_Line_Guard;  // the map's hover reads the line on the display thread
std::string Results_Line;

bool Is_On(Selection_Option the_option) { return Selection_In_Force().Options[the_option]; }

bool Counts_On_Disk() { return Is_On(Selection_Option::ON_DISK); }

// What sorting by "Change" orders by: a new object grew by its whole size.
std::int64_t Growth_Of(const File_Information& the_file, const Compare::Change& the_change) {
    if (!the_change.Is_New) return the_change.Bytes_Of(Counts_On_Disk());
    return Unsigned::Saturated_Signed(Size_Of(the_file, Counts_On_Disk()).Value());
}

// The totals line: the shown rows counted, and the bytes credited to them.
class Counts {
public:
    void Add(const File_Information& the_file) {
        if (the_file.Is_Folder) ++folders_;
        else ++files_;
    }

    std::string Image(File_Size the_size) const {
        return Image_Of(files_, "file") + " and " + Image_Of(folders_, "folder") +
               ". Total size=" + Work::Image_Of(the_size);
    }

private:
    int files_ = 0;
    int folders_ = 0;
};

void Add_To_Accounts(const std::vector<Credit::Owner_Total>& the_owners) {
    for (const Credit::Owner_Total& owner : the_owners)
        Add_To_Account(owner.Owner, static_cast<std::int32_t>(owner.Files), owner.Usage, owner.Change, owner.By_Age);
}

// Rows handed to the view a batch at a time: its lock is taken, and its row count posted,
// once a batch rather than once a row.
class Row_Batch {
public:
    explicit Row_Batch(const Gui::List_View& the_view) : view_(the_view) {
        rows_.reserve(Batch_Size);
    }
    // The view holds untyped references; its handlers only read through them.
    void Add(const File_Information& the_file) {
        rows_.push_back(const_cast<File_Information*>(&the_file));
        if (rows_.size() == Batch_Size) Hand_Over();
    }
    void Hand_Over() {
        Gui::Add_Data(view_, rows_);
        count_ += rows_.size();
        rows_.clear();
    }
    std::size_t Count() const { return count_ + rows_.size(); }

private:
    std::size_t count_ = 0;
    static constexpr std::size_t Batch_Size = 65536;
    const Gui::List_View& view_;
    std::vector<void*> rows_;
};

// The box is rewritten in the normalised form of what it was read as. Without the box
// the threshold stays.
void Take_Size_Threshold(const std::optional<std::string>& the_text) {
    if (!the_text) return;
    Selection selection = Selection_In_Force();
    selection.Size_Threshold = Files::Size_From(*the_text);
    Put_In_Force(selection);
    Gui::Set(Controls().Minimum_Size_Box, Wide_Text::Widened(Threshold_Text_Of(selection.Size_Threshold)));
}

Compare::Change Change_Of(const File_Information& the_file) {
    return Comparison() ? Comparison()->Of(the_file) : Compare::Change{};
}

// An empty list tells why, in the list: the status line keeps the totals.
std::wstring Why_Nothing_Is_Shown() {
    if (!Is_On(Selection_Option::FILES) && !Is_On(Selection_Option::FOLDERS) && !Is_On(Selection_Option::STREAMS))
        return L"No kind of object is ticked for display: tick \"Display files\" or \"Display folders\" "
               L"on the Selection page.";
    return L"Nothing in this folder passes the options of the Selection page.";
}

const File_Information& File_At(void* the_file) {
    return *static_cast<const File_Information*>(the_file);
}

// The rows refer to the records: the view is emptied before it is filled again.
void Show_Display_Root() {
    Gui::Set(Controls().Search_Root_Box, Search_Root() + Shown_Folder);
    Gui::Remove_All_From(Controls().File_List_View);
    Display();
}

// "Back" is on the Display page and on the Map page alike.
void Enable_Back(bool is_enabled) {
    for (const Gui::Button* button : {&Controls().Back_Button, &Controls().Map_Back_Button}) {
        if (is_enabled) Gui::Enable(*button);
        else Gui::Disable(*button);
    }
}

std::optional<std::string> Minimum_Size_Text() {
    if (Controls().Minimum_Size_Box.Is_Null()) return std::nullopt;
    return Gui::Contents_Of(Controls().Minimum_Size_Box);
}

}  // namespace

const std::wstring& Display_Root() { return Shown_Folder; }
std::wstring& Testing::Display_Root() { return Shown_Folder; }
bool Owner_Is_Displayed() { return Owner_Column_Is_Shown; }

Logical_Column Column_Of(int the_position) {
    int column = the_position;
    if (!Owner_Column_Is_Shown && column >= 2) ++column;
    if (!Stream_Column_Is_Shown && column >= 3) ++column;
    return static_cast<Logical_Column>(column);
}

void Adjust_Gui() {
    const Gui::List_View& view = Controls().File_List_View;
    const bool owner_is_wanted = Searching_Ntfs();
    const bool streams_are_wanted = Searching_Ntfs() && Is_On(Selection_Option::STREAMS);
    const bool change_is_wanted = Comparison() != nullptr;
    Adjust_Account_Columns(change_is_wanted);
    // Rebuilt columns take their stored widths again, losing the user's since the start.
    if (Gui::Number_Of_Columns_Of(view) == 5 + owner_is_wanted + streams_are_wanted + change_is_wanted &&
        Owner_Column_Is_Shown == owner_is_wanted && Stream_Column_Is_Shown == streams_are_wanted &&
        Change_Column_Is_Shown == change_is_wanted)
        return;
    // Removed and added again in one step: a close meanwhile never saves a missing column.
    std::vector<Gui::Registered::Column> columns;
    if (owner_is_wanted) columns.push_back({"Owner", 90, Gui::Justification::Left});
    if (streams_are_wanted) columns.push_back({"Stream", 90, Gui::Justification::Left});
    columns.push_back({"Size", 75, Gui::Justification::Right});
    columns.push_back({"Size on disk", 75, Gui::Justification::Right});
    columns.push_back({"Last Accessed", 140, Gui::Justification::Left});
    if (change_is_wanted) columns.push_back({"Change", 75, Gui::Justification::Right});
    Gui::Registered::Replace_Columns_From(view, 3, columns);
    Owner_Column_Is_Shown = owner_is_wanted;
    Stream_Column_Is_Shown = streams_are_wanted;
    Change_Column_Is_Shown = change_is_wanted;
    // Only the title changes: the column still shows the last access.
    if (!Searching_Ntfs()) Gui::Set_Title(view, 5, "Date Modified");
}

std::string Image_Of(File_Size the_size) {
    if (Is_On(Selection_Option::FULL_SIZE)) return Unsigned::Image_Of(the_size);
    return Files::Image_Of(the_size);
}

std::string Inline_Image_Of(File_Size the_size) {
    std::string image = Work::Image_Of(the_size);
    image.erase(0, image.find_first_not_of(' '));
    return image;
}

std::string Change_Image_Of(std::int64_t the_bytes) {
    if (the_bytes == 0) return "0";
    const std::uint64_t magnitude = the_bytes < 0 ? 0 - static_cast<std::uint64_t>(the_bytes)
                                                  : static_cast<std::uint64_t>(the_bytes);
    std::string image(the_bytes < 0 ? "-" : "+");
    return image.append(Inline_Image_Of(File_Size::From(magnitude)));
}

std::string Volume_Image(const std::wstring& the_root, const Files::Volume_Space& the_space) {
    std::wstring volume = Files::Volume_Root_Of(the_root + L'\\');
    if (volume.ends_with(L'\\')) volume.pop_back();
    return Wide_Text::Narrowed(volume) + " " + Inline_Image_Of(the_space.Total) + ", " +
           Inline_Image_Of(the_space.Used()) + " used, " + Inline_Image_Of(the_space.Free) + " free";
}

// The status line's second part: what the shown rows take on disk, and the volume around.
std::string On_Disk_Line(File_Size the_shown_size) {
    if (!Results_Have_Sizes_On_Disk())
        return Counts_On_Disk() ? "No sizes on disk in this scan: sizes counted instead"
                                : "No sizes on disk in this scan";
    std::string line = "On disk " + Inline_Image_Of(the_shown_size);
    if (Results_Volume()) line += " of " + Volume_Image(Search_Root(), *Results_Volume());
    return line;
}

std::string Image_Of(int the_count, const std::string& the_unit) {
    return std::to_string(the_count) + " " + the_unit + (the_count == 1 ? "" : "s");
}

// The abbreviated image rounds: where it would read back as another threshold, the box
// shows the byte count, so that refreshing, closing and starting again keep the threshold.
std::string Threshold_Text_Of(File_Size the_threshold) {
    const std::string image = Files::Image_Of(the_threshold);
    if (Files::Size_From(image) == the_threshold) return image;
    return Unsigned::Image_Of(the_threshold);
}

void Empty_File_View() {
    Gui::Remove_All_From(Controls().File_List_View);
    Shown_Folder.clear();
}

void Show_Passing_Records() {
    Zero_Account_Totals();
    const Selection& selection = Selection_In_Force();
    Counts counts;
    Credit::Ledger ledger(Is_On(Selection_Option::FOLDERS) && Is_On(Selection_Option::SUBFOLDERS),
                          Counts_On_Disk());
    Row_Batch rows(Controls().File_List_View);
    const Compare::Changes* comparison = Comparison();
    std::optional<Compare::Changes::In_Order> changes;
    if (comparison) changes.emplace(*comparison);
    // Room for every record, so that a million shown cost no growth; given back below when
    // a folder of a few is shown.
    std::vector<const File_Information*> shown;
    shown.reserve(static_cast<std::size_t>(Length_Of(Known_Files())));
    std::size_t place = 0;
    for (auto position = First(Known_Files()); Has_Element(position); position = Next(position), ++place) {
        const File_Information& the_file = Element_At(position);
        if (!To_Be_Displayed(the_file, selection, Shown_Folder)) continue;
        rows.Add(the_file);
        shown.push_back(&the_file);
        counts.Add(the_file);
        const Compare::Change change = changes ? changes->Of(place) : Compare::Change{};
        ledger.Add(the_file, changes ? &change : nullptr);
    }
    // What has gone since the older scan is shown after what is there, and counts only in
    // the changes.
    if (comparison)
        for (const File_Information* gone : comparison->Gone()) {
            if (!To_Be_Displayed(*gone, selection, Shown_Folder)) continue;
            rows.Add(*gone);
            const Compare::Change change = comparison->Of(*gone);
            ledger.Add(*gone, &change);
        }
    rows.Hand_Over();
    Gui::Set_Empty_Text(Controls().File_List_View, rows.Count() == 0 ? Why_Nothing_Is_Shown() : L"");
    if (shown.size() < shown.capacity() / 2) shown.shrink_to_fit();
    Show_On_Map(std::move(shown));
    const Credit::Totals credited = ledger.Close();
    if (Searching_Ntfs()) Add_To_Accounts(credited.Owners);
    Repaint_Accounts();
    const std::string note = Scan_Note();
    const std::string totals = counts.Image(credited.Size);
    const std::string status = note.empty() ? totals : totals + " - " + note;
    {
        std::lock_guard lock(Results_Line_Guard);
        Results_Line = status;
    }
    Gui::Set_Status_Line(status);
    if (Gui::Is_Shown(Controls().Types_Page)) Show_Types();
    const std::string on_disk = On_Disk_Line(credited.Size_On_Disk);
    Gui::Set_Status_Line_Part(1, Wide_Text::Widened(on_disk));
    Log::Write("Shown: " + status + "; " + on_disk);
}

std::string Shown_Results_Line() {
    std::lock_guard lock(Results_Line_Guard);
    return Results_Line;
}

void Display() {
    Gui::Set_Status_Line("Displaying...");
    Take_Size_Threshold(Minimum_Size_Text());
    Show_Passing_Records();
}

namespace {

// An object met before by another path is marked: its size adds to no total.
std::wstring Size_Text_Of(const File_Information& the_file, File_Size the_size) {
    std::wstring text = Wide_Text::Widened(Work::Image_Of(the_size));
    if (the_file.Is_Shared) text.push_back(L'=');
    return text;
}

std::wstring Change_Text_Of(const Compare::Change& the_change) {
    if (the_change.Is_New) return L"new";
    return Wide_Text::Widened(Change_Image_Of(the_change.Bytes_Of(Counts_On_Disk())));
}

}  // namespace

std::wstring File_Text_Handler(int for_column, void* the_file) {
    const File_Information& file = File_At(the_file);
    switch (Column_Of(for_column)) {
    case Logical_Column::Name: return file.File_Name.String();
    case Logical_Column::In_Folder: return Search_Root() + file.Folder_Name;
    case Logical_Column::Owner: return Files::Image_Of(file.Owner);
    case Logical_Column::Stream: return file.Stream_Name.String();
    case Logical_Column::Size: return Size_Text_Of(file, file.Object_Size);
    case Logical_Column::Size_On_Disk:
        return file.Has_Size_On_Disk ? Size_Text_Of(file, file.Size_On_Disk) : std::wstring();
    case Logical_Column::Last_Accessed:
        return Files::Image_Of(file.Last_Accessed);
    case Logical_Column::Change: return Change_Text_Of(Change_Of(file));
    }
    return {};
}

COLORREF File_Color_Handler(void* the_file) {
    const File_Information& file = File_At(the_file);
    if (Change_Of(file).Is_Gone || Is_Not_In_Scan(file)) return Gui::Gray;
    if (file.Is_Folder) return Gui::Red;
    if (file.Has_Streams) return Gui::Green;
    if (file.Is_Compressed) return Gui::Blue;
    return Gui::Black;
}

Gui::Comparison File_Sort_Routine(int for_column, void* first, void* second) {
    const File_Information& one = File_At(first);
    const File_Information& other = File_At(second);
    switch (Column_Of(for_column)) {
    case Logical_Column::Name: return Comparison_Of(one.File_Name.View(), other.File_Name.View());
    case Logical_Column::In_Folder:
        return Comparison_Of(one.Folder_Name.View(), other.Folder_Name.View());
    case Logical_Column::Owner: return Comparison_Of(one.Owner, other.Owner);
    case Logical_Column::Stream: return Gui::Comparison::Equal;
    case Logical_Column::Size:
        return Comparison_Of(one.Object_Size.Value(), other.Object_Size.Value());
    case Logical_Column::Size_On_Disk:
        return Comparison_Of(one.Size_On_Disk.Value(), other.Size_On_Disk.Value());
    case Logical_Column::Last_Accessed:
        return Comparison_Of(one.Last_Accessed, other.Last_Accessed);
    case Logical_Column::Change:
        return Comparison_Of(Growth_Of(one, Change_Of(one)), Growth_Of(other, Change_Of(other)));
    }
    return Gui::Comparison::Equal;
}

void File_Click_Routine(void* the_file) {
    if (Searcher_Is_Busy()) return;
    const File_Information& file = File_At(the_file);
    if (!file.Is_Folder) return;
    Open_Folder(file.Folder_Name + L'\\' + file.File_Name);
}

void Open_Folder(const std::wstring& the_folder) {
    Shown_Folder = the_folder;
    Show_Display_Root();
    Enable_Back(true);
}

void Back_Request() {
    if (Searcher_Is_Busy()) return;
    const std::size_t last = Wide_Text::Location_Of(L'\\', Shown_Folder);
    if (last == Wide_Text::Not_Found) Shown_Folder.clear();
    else Wide_Text::Truncate(Shown_Folder, last);
    if (Wide_Text::Is_Null(Shown_Folder)) Enable_Back(false);
    Show_Display_Root();
}

void Refresh_Display() {
    if (Searcher_Is_Busy()) return;
    // Each control is read once, for the question and the options taken alike, and before
    // the emptied view is repainted: every reading waits for the display thread.
    const Selection_Page_Reading reading = Read_Selection_Page();
    if (!Size_Differs(reading) && !Ticks_Differ(reading) && !Names_Differ(reading)) return Leave_Types_Totals();
    Gui::Set_Status_Line("Displaying...");
    Take_Size_Threshold(reading.Size_Text);
    Gui::Remove_All_From(Controls().File_List_View);
    Put_In_Force(Selection_Of(reading, false));
    Adjust_Gui();
    Show_Passing_Records();
}

}  // namespace Work
