// The searcher thread and the one place that composes a search: the options read once,
// the view prepared, the walk, the rows shown. It owns the results and the busy state.
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "log.hpp"
#include "work-internal.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

File_List Results;
std::wstring Results_Root;
bool Results_Are_Ntfs = false;
File_Time Results_Made{};
std::wstring Results_Scan;  // the scan file they were read from, if any
bool Results_Hold_Sizes_On_Disk = true;
std::optional<Files::Volume_Space> Results_Volume_Space;
int Lookup_Thread_Count = 16;

// The busy state is one transition at a time, taken under the guard by the start/stop
// button, the searcher's end of a request and the termination alike: a press can never
// land between the end of a walk and the end of its busy state.
enum class Phase { Idle, Searching, Stopping };
std::mutex Phase_Guard;
std::atomic<Phase> The_Phase = Phase::Idle;
std::atomic<bool> Is_Wanted = false;  // the walk's stop flag
bool Is_Ending = false;    // under the guard

// Freeing a million records takes tens of milliseconds: the window goes on while this
// thread frees the results that new ones replaced. Searches and opened scans replace
// results from the searcher's thread and the window's.
std::mutex Releaser_Guard;
std::thread Releaser;

void Join_Releaser() {
    std::lock_guard lock(Releaser_Guard);
    if (Releaser.joinable()) Releaser.join();
}

}  // namespace

void Release_In_Background(File_List&& the_records) {
    std::lock_guard lock(Releaser_Guard);
    if (Releaser.joinable()) Releaser.join();
    if (Is_Empty(the_records)) return;
    Releaser = std::thread([records = std::move(the_records)]() mutable { Clear(records); });
}

namespace {

enum class Request { Start, Quit };

// The meeting place of the searcher and its callers: a caller waits until the searcher
// is ready for a request and has taken it.
class Request_Entry {
public:
    void Call(Request request) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return has_ended_ || (is_accepting_ && !offered_); });
        if (has_ended_) throw Tasking_Error("Work.Searcher has ended");
        offered_ = request;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !offered_; });
    }

    Request Accept() {
        std::unique_lock<std::mutex> lock(mutex_);
        is_accepting_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return offered_.has_value(); });
        Request request = *offered_;
        offered_.reset();
        is_accepting_ = false;
        changed_.notify_all();
        return request;
    }

    void End() {
        std::lock_guard<std::mutex> lock(mutex_);
        has_ended_ = true;
        changed_.notify_all();
    }

    void Reopen() {
        std::lock_guard<std::mutex> lock(mutex_);
        has_ended_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool is_accepting_ = false;
    bool has_ended_ = false;
    std::optional<Request> offered_;
};

Request_Entry Searcher_Entry;
std::thread Searcher_Thread;

std::string Narrow(const std::wstring& text) { return Wide_Text::Narrowed(text); }

void Log_Unreadable(const std::wstring& the_path, unsigned long the_error) {
    Log::Write("Cannot read " + Narrow(the_path) + ": error " + std::to_string(the_error));
}

// "1,234,567": a count the eye takes in at a glance while it grows.
std::string Grouped_Image(std::uint64_t the_count) {
    const std::string digits = std::to_string(the_count);
    std::string image;
    for (std::size_t position = 0; position < digits.size(); ++position) {
        if (position > 0 && (digits.size() - position) % 3 == 0) image += ',';
        image += digits[position];
    }
    return image;
}

// "Searching... 123,456 objects, 12GB: C:\Users\ann", in the totals line's size image.
void Show_Progress(const Walk_Progress& the_progress) {
    const std::string count = Grouped_Image(the_progress.Objects) +
                              (the_progress.Objects == 1 ? " object, " : " objects, ");
    Gui::Set_Status_Line(Wide_Text::Widened("Searching... " + count + Inline_Image_Of(the_progress.Size) + ": ") +
                         the_progress.Folder);
}

std::string Options_Image(const Selection& the_selection) {
    std::string image;
    constexpr const char* Letters = "RASDUFTHY";  // in the options' order
    for (std::size_t position = 0; position < Selection_Option_Count; ++position)
        if (the_selection.Options.Is_On[position]) image += Letters[position];
    return image + " min " + std::to_string(the_selection.Size_Threshold.Value());
}

// A failure caused by what was typed is reported, and the searcher goes on serving; a
// walk that failed half way is not shown as if it were whole.
void Serve_Start_Request() {
    Gui::Set_Status_Line("Searching...");
    try {
        const std::wstring root = Gui::Wide_Contents_Of(Controls().Search_Root_Box);
        if (!Search(root)) {
            Log::Write("Root directory not found: " + Narrow(root));
            Gui::Set_Status_Line("Root directory not found");
        } else if (!Is_Wanted) {
            Gui::Set_Status_Line("Search aborted by user");
        }
    } catch (const std::exception& error) {
        Forget_Results();
        Gui::Set_Status_Line("Search failed");
        Log::Write("Search failed: " + Information_Of(error));
        Gui::Message_Box("Exception" + Information_Of(error), true);
    }
}

// False once the program is ending: the searcher then serves no more requests.
bool Finish_Request() {
    std::lock_guard lock(Phase_Guard);
    if (Is_Ending) return false;
    Is_Wanted = false;
    Gui::Set_Text(Controls().Start_Stop_Button, "Search");
    Gui::Enable(Controls().Start_Stop_Button);
    The_Phase = Phase::Idle;
    return true;
}

void Searcher_Body() {
    while (Searcher_Entry.Accept() == Request::Start) {
        Serve_Start_Request();
        if (!Finish_Request()) break;
    }
    Searcher_Entry.End();
}

// The views and the comparison refer to the records: they go first.
File_List Replaced_Results() {
    Empty_File_View();
    Forget_Map();
    End_Comparison();
    return std::move(Results);
}

}  // namespace

int Lookup_Threads() { return Lookup_Thread_Count; }
void Set_Lookup_Threads(int the_count) { Lookup_Thread_Count = the_count; }

const File_List& Known_Files() { return Results; }
const std::wstring& Search_Root() { return Results_Root; }
bool Searching_Ntfs() { return Results_Are_Ntfs; }
const File_Time& Results_Time() { return Results_Made; }
const std::wstring& Opened_Scan() { return Results_Scan; }
bool Results_Have_Sizes_On_Disk() { return Results_Hold_Sizes_On_Disk; }
const std::optional<Files::Volume_Space>& Results_Volume() { return Results_Volume_Space; }

File_List Take_Results(Scan_File::Scan&& the_scan, const std::wstring& the_path) {
    File_List replaced = Replaced_Results();
    Results = std::move(the_scan.Records);
    Results_Root = std::move(the_scan.About.Root);
    // Owners have no page to be shown on outside the NT family.
    Results_Are_Ntfs = the_scan.About.Is_Ntfs && Is_Windows_Nt();
    Results_Made = the_scan.About.Made;
    Results_Hold_Sizes_On_Disk = the_scan.About.Has_Sizes_On_Disk;
    Results_Volume_Space = the_scan.About.Volume;
    Results_Scan = the_path;
    return replaced;
}

void Forget_Results() { Release_In_Background(Replaced_Results()); }

bool Search(const std::wstring& root) {
    // The previous results stay, and their folders are still shown below their root.
    if (!Is_Existing_Folder(root)) return false;
    std::wstring trimmed_root = Without_Trailing_Backslashes(root);
    // Nothing left would make the walk list the current drive's root instead.
    if (trimmed_root.empty()) throw Constraint_Error("a root of backslashes names no folder");
    // Before the root, which the rows and the map read, and before the columns: a
    // comparison of the results before goes with them.
    Forget_Results();
    Results_Root = std::move(trimmed_root);
    Remember_Root(Results_Root);
    Results_Are_Ntfs = Is_Windows_Nt() && Files::Volume_Is_Ntfs(Results_Root);
    Results_Made = Files::The_Time_Now();
    Results_Hold_Sizes_On_Disk = true;
    Results_Volume_Space = Files::Volume_Space_Of(Results_Root + L'\\');
    Results_Scan.clear();
    Gui::Set_Title_Detail(L"");
    Determine_Options();
    Adjust_Gui();
    Gui::Set_Status_Line("Searching...");
    Log::Write("Search of " + Narrow(Results_Root) + " with " + Options_Image(Selection_In_Force()));
    const auto start = std::chrono::steady_clock::now();
    const Walk_Request request{.Root = Results_Root,
                               .Owners_And_Streams = Results_Are_Ntfs,
                               .Lookup_Threads = Lookup_Thread_Count,
                               .Is_Wanted = &Is_Wanted,
                               .Report_Unreadable = Log_Unreadable,
                               .Report_Progress = Show_Progress,
                               .Report_Table_Refused = Note_Table_Refused};
    Forget_Table_Refusal();
    File_List volume_files;
    const std::optional<std::string> why_walked = Read_Table_Or_Walk(request, Results, &volume_files);
    // The results before have had the walk's time to be freed: their thread goes now.
    Join_Releaser();
    const bool is_from_table = !why_walked;
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    Log::Write(std::string(Is_Wanted ? "Search ended: " : "Search stopped: ") +
               std::to_string(Length_Of(Results)) + " records in " +
               std::to_string(taken.count()) + " s" +
               (is_from_table         ? " from the master file table"
                : why_walked->empty() ? ""
                                      : "; walked, the master file table unread: " + *why_walked));
    if (!Is_Wanted) return true;
    if (Results_Volume_Space) {
        Account_For_Volume(Results_Root, *Results_Volume_Space, std::move(volume_files), Results);
        Log::Write("Volume of " + Narrow(Results_Root) + ": " + Volume_Image(Results_Root, *Results_Volume_Space));
    }
    if (is_from_table) Gui::Set_Status_Line("Read from the master file table");
    Display();
    Show_Elevation_Note();
    return true;
}

namespace Searcher {
void Start() { Searcher_Entry.Call(Request::Start); }
void Quit() { Searcher_Entry.Call(Request::Quit); }
}  // namespace Searcher

void Stop_Start_Request() {
    std::unique_lock lock(Phase_Guard);
    const Gui::Button& button = Controls().Start_Stop_Button;
    switch (The_Phase) {
    case Phase::Idle:
        if (Is_Ending) return;
        Is_Wanted = true;
        The_Phase = Phase::Searching;
        Gui::Set_Text(button, "Stop");
        lock.unlock();
        Searcher::Start();
        return;
    case Phase::Searching:
        Is_Wanted = false;
        The_Phase = Phase::Stopping;
        // Enabled again by the searcher once the walk has wound down.
        Gui::Disable(button);
        return;
    case Phase::Stopping: return;
    }
}

void Start_Search_Of(const std::wstring& the_root) {
    Gui::Set(Controls().Search_Root_Box, the_root);
    Gui::Execute(Stop_Start_Request);
}

bool Searcher_Is_Busy() { return The_Phase != Phase::Idle; }
bool Has_Been_Terminated() {
    std::lock_guard lock(Phase_Guard);
    return Is_Ending;
}
bool Search_Is_Wanted() { return Is_Wanted; }
void Stop_Search() { Is_Wanted = false; }

void Start_Searcher() {
    Clear(Results);
    Results_Root.clear();
    Results_Are_Ntfs = false;
    Results_Made = {};
    Results_Hold_Sizes_On_Disk = true;
    Results_Volume_Space.reset();
    Results_Scan.clear();
    Is_Wanted = false;
    The_Phase = Phase::Idle;
    Is_Ending = false;
    if (!Searcher_Thread.joinable()) {
        Searcher_Entry.Reopen();
        Searcher_Thread = std::thread(Searcher_Body);
    }
}

void End_Searcher() {
    bool must_quit;
    {
        std::lock_guard lock(Phase_Guard);
        Is_Ending = true;
        must_quit = The_Phase != Phase::Searching;
        if (!must_quit) The_Phase = Phase::Stopping;
        Is_Wanted = false;
    }
    if (must_quit) {
        try {
            Searcher::Quit();
        } catch (const Tasking_Error&) {
            // It has ended already, or a stopped walk was winding down and it ends by itself.
        }
    }
}

void Testing::Set_Searching_Ntfs(bool is_ntfs) { Results_Are_Ntfs = is_ntfs; }
void Testing::Set_Searcher_Busy(bool is_busy) { The_Phase = is_busy ? Phase::Searching : Phase::Idle; }
void Testing::Want_Search() { Is_Wanted = true; }
File_List& Testing::Results_To_Change() { return Results; }

void Join_Searcher() {
    if (Searcher_Thread.joinable()) Searcher_Thread.join();
    Join_Releaser();
}

}  // namespace Work
