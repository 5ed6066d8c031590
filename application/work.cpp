#include "work.hpp"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "wide_text.hpp"
#include "windows.hpp"

namespace Work {

namespace Files = Windows::Files;

Option_Set Selected_Options;
File_Size Size_Threshold;
File_Time Ages_Ago;
File_Time Just_Recently;

File_List Known_Files;
std::wstring Search_Root;
std::wstring Display_Root;
bool Searching_Ntfs = false;
std::atomic<bool> Search_In_Progress = false;
std::atomic<bool> Has_Been_Terminated = false;
bool Is_Windows_Nt = false;

Gui::Button Start_Stop_Button;
Gui::Plain_Edit_Box Search_Root_Box;
Gui::List_View File_List_View;

// Completed with the selection options.
void Determine_Options() {}

// Completed with the result display.
void Adjust_Gui() {}
void Display() {}

// ---------------------------------------------------------------- the walk

namespace {

struct Find_Closer {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
using Find_Handle = std::unique_ptr<void, Find_Closer>;

// The listing of one folder: every entry's records, and the folder's accumulated size.
class Folder_Scan {
public:
    explicit Folder_Scan(std::wstring the_folder) : the_folder_(std::move(the_folder)) {}

    File_Size Run() {
        Find_Files(Search_Root + the_folder_ + L"\\*.*");
        return folder_size_;
    }

private:
    // An unreadable folder contributes nothing.
    void Find_Files(const std::wstring& pattern) {
        Files::Find_Record entry{};
        HANDLE found = FindFirstFileW(pattern.c_str(), &entry);
        if (found == INVALID_HANDLE_VALUE) return;
        Find_Handle listing(found);
        do Process_File(entry);
        while (FindNextFileW(listing.get(), &entry));
    }

    void Process_File(const Files::Find_Record& entry) {
        // Once stopped, the rest of every listing is run through without work.
        if (!Search_In_Progress) return;
        entry_ = &entry;
        object_size_ = Files::Zero_Length;
        owner_ = nullptr;
        has_streams_ = false;
        const std::wstring filename = Files::Filename_Of(entry);
        const std::wstring full_filename = Search_Root + the_folder_ + L'\\' + filename;
        if (!Files::Is_Directory(entry)) {
            if (Searching_Ntfs) {
                owner_ = Files::Owner_Of(full_filename);
                Iterate_Streams_Of(full_filename);
            }
            if (!has_streams_) object_size_ = Files::File_Size_Of(entry);
        } else {
            if (Files::Is_Special_Directory(filename)) return;
            if (Searching_Ntfs) owner_ = Files::Owner_Of(full_filename);
            // A junction or link may lead back up the tree: recorded, never entered.
            if (!Files::Is_Reparse_Point(entry))
                object_size_ = Scan(the_folder_ + L'\\' + filename);
        }
        Save_Information(object_size_, std::wstring());
        folder_size_ += object_size_;
    }

    void Iterate_Streams_Of(const std::wstring& full_filename) {
        Files::Iterate_Streams_Of(full_filename, [this](const std::wstring& name, File_Size size) {
            Process_Stream(name, size);
        });
    }

    // The file's own record, saved after its streams, carries their sum.
    void Process_Stream(const std::wstring& name, File_Size size) {
        has_streams_ = true;
        Save_Information(size, name);
        object_size_ += size;
    }

    void Save_Information(File_Size object_size, const std::wstring& stream_name) {
        const Files::Find_Record& entry = *entry_;
        Append(File_Information{.File_Name = Files::Filename_Of(entry),
                                .Folder_Name = the_folder_,
                                .Owner = owner_,
                                .Stream_Name = stream_name,
                                .Object_Size = object_size,
                                .Last_Accessed = entry.ftLastAccessTime,
                                .Is_Folder = Files::Is_Directory(entry),
                                .Is_Stream = !stream_name.empty(),
                                .Is_Compressed = Files::Is_Compressed(entry),
                                .Is_System = Files::Is_System(entry),
                                .Is_Hidden = Files::Is_Hidden(entry),
                                .Has_Streams = has_streams_},
               Known_Files);
    }

    const std::wstring the_folder_;
    File_Size folder_size_{};
    // The entry being processed.
    const Files::Find_Record* entry_ = nullptr;
    File_Size object_size_{};
    Files::Owner owner_ = nullptr;
    bool has_streams_ = false;
};

bool Is_Existing_Folder(const std::wstring& path) {
    try {
        return Files::Is_Directory(Files::Attributes_For(path).Attribute);
    } catch (const Files::File_Not_Found&) {
        return false;
    }
}

}  // namespace

File_Size Scan(const std::wstring& the_folder) { return Folder_Scan(the_folder).Run(); }

bool Search(const std::wstring& root) {
    Search_Root = root;
    if (!Is_Existing_Folder(root)) return false;
    while (!Search_Root.empty() && Search_Root.back() == L'\\') Search_Root.pop_back();
    // Nothing left would make the walk list the current drive's root instead.
    if (Search_Root.empty()) throw Constraint_Error("a root of backslashes names no folder");
    Searching_Ntfs = Is_Windows_Nt && Files::Volume_Is_Ntfs(Search_Root);
    Determine_Options();
    Adjust_Gui();
    // The view refers to the records: it is emptied before they go.
    Gui::Remove_All_From(File_List_View);
    Display_Root.clear();
    Clear(Known_Files);
    Gui::Set_Status_Line("Searching...");
    Scan(std::wstring());
    if (Search_In_Progress) Display();
    return true;
}

// ---------------------------------------------------------------- the display filter

namespace {

bool Is_On(Selection_Option option) { return Selected_Options[option]; }

bool Passes_Kind(const File_Information& the_file) {
    if (the_file.Is_Folder) return Is_On(Selection_Option::FOLDERS);
    if (the_file.Is_Stream) return Is_On(Selection_Option::STREAMS);
    // A file whose streams are shown is shown through them.
    return Is_On(Selection_Option::FILES) &&
           !(the_file.Has_Streams && Is_On(Selection_Option::STREAMS));
}

bool Passes_Position(const File_Information& the_file) {
    if (!Is_On(Selection_Option::SUBFOLDERS))
        return Wide_Text::Is_Equal(the_file.Folder_Name, Display_Root, false);
    if (Wide_Text::Is_Null(Display_Root)) return true;
    return the_file.Folder_Name.size() >= Display_Root.size() &&
           Wide_Text::Is_Equal(Wide_Text::Truncation_Of(the_file.Folder_Name, Display_Root.size()),
                               Display_Root, false);
}

bool Passes_Age(const File_Information& the_file) {
    if (the_file.Is_Folder) return true;
    if (Is_On(Selection_Option::NEWLY_TOUCHED))
        return !Files::Is_Earlier(the_file.Last_Accessed, Just_Recently);
    if (Is_On(Selection_Option::AGED)) return !Files::Is_Later(the_file.Last_Accessed, Ages_Ago);
    return true;
}

}  // namespace

bool To_Be_Displayed(const File_Information& the_file) {
    return Passes_Kind(the_file) && Passes_Position(the_file) &&
           !(the_file.Is_Hidden && !Is_On(Selection_Option::HIDDEN)) &&
           !(the_file.Is_System && !Is_On(Selection_Option::SYSTEM)) &&
           !(the_file.Object_Size < Size_Threshold) && Passes_Age(the_file);
}

// ---------------------------------------------------------------- the searcher thread

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

// A failure caused by what was typed is reported, and the searcher goes on serving.
void Serve_Start_Request() {
    Gui::Set_Status_Line("Searching...");
    try {
        if (!Search(Gui::Wide_Contents_Of(Search_Root_Box)))
            Gui::Set_Status_Line("Root directory not found");
        else if (!Search_In_Progress)
            Gui::Set_Status_Line("Search aborted by user");
    } catch (const std::exception& error) {
        Gui::Message_Box("Exception" + Information_Of(error), true);
    }
}

void Searcher_Body() {
    while (Searcher_Entry.Accept() == Request::Start) {
        Serve_Start_Request();
        if (Has_Been_Terminated) break;
        Search_In_Progress = false;
        Gui::Set_Text(Start_Stop_Button, "Search");
        Gui::Enable(Start_Stop_Button);
    }
    Searcher_Entry.End();
}

}  // namespace

namespace Searcher {
void Start() { Searcher_Entry.Call(Request::Start); }
void Quit() { Searcher_Entry.Call(Request::Quit); }
}  // namespace Searcher

void Stop_Start_Request() {
    const bool is_to_start = !Search_In_Progress;
    Search_In_Progress = is_to_start;
    if (is_to_start) {
        Gui::Set_Text(Start_Stop_Button, "Stop");
        Searcher::Start();
    } else {
        // Enabled again by the searcher once the walk has wound down.
        Gui::Disable(Start_Stop_Button);
    }
}

void Initialise() {
    Selected_Options = {};
    Size_Threshold = Files::Zero_Length;
    Ages_Ago = {};
    Just_Recently = {};
    Clear(Known_Files);
    Search_Root.clear();
    Display_Root.clear();
    Searching_Ntfs = false;
    Search_In_Progress = false;
    Has_Been_Terminated = false;
    Is_Windows_Nt = Windows::Is_Nt();
    if (Searcher_Thread.joinable()) return;
    Searcher_Entry.Reopen();
    Searcher_Thread = std::thread(Searcher_Body);
}

void Join_Searcher() {
    if (Searcher_Thread.joinable()) Searcher_Thread.join();
}

}  // namespace Work
