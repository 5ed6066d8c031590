#include "work.hpp"

#include <algorithm>
#include <charconv>
#include <exception>
#include <functional>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "gui-registered.hpp"
#include "log.hpp"
#include "registry.hpp"
#include "wide_text.hpp"
#include "windows-version.hpp"
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

// ---------------------------------------------------------------- the walk

int Lookup_Threads = 16;

namespace {

using Find_Handle = Windows::Unique<HANDLE, FindClose>;

// The entries of one folder in the order the file system lists them.
class Folder_Listing {
public:
    explicit Folder_Listing(std::wstring pattern) : pattern_(std::move(pattern)) {}

    // False when the listing is exhausted, or the folder cannot be read.
    bool Next(Files::Find_Record& entry) {
        if (listing_) return FindNextFileW(listing_.get(), &entry);
        if (has_started_) return false;
        has_started_ = true;
        // Without short names, which the platform would otherwise make up for every entry,
        // and in large batches.
        HANDLE found = FindFirstFileExW(pattern_.c_str(), FindExInfoBasic, &entry,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (found == INVALID_HANDLE_VALUE) return false;
        listing_.reset(found);
        return true;
    }

private:
    const std::wstring pattern_;
    bool has_started_ = false;
    Find_Handle listing_;
};

// Threads that run one job over a range of indices together, the calling thread with them.
// Owner and stream look-ups mostly wait on the platform, so several at once pay even on
// few processors.
class Lookup_Crew {
public:
    using Job = std::function<void(std::size_t index)>;

    explicit Lookup_Crew(int threads) {
        for (int count = 1; count < threads; ++count) helpers_.emplace_back([this] { Serve(); });
    }

    ~Lookup_Crew() {
        {
            std::lock_guard lock(mutex_);
            is_ending_ = true;
        }
        work_is_offered_.notify_all();
        for (std::thread& helper : helpers_) helper.join();
    }

    // Returns when the job has run for every index below the count; a job's failure is
    // raised here, once all have ended.
    void Run(std::size_t count, const Job& job) {
        {
            std::lock_guard lock(mutex_);
            job_ = &job;
            count_ = count;
            next_ = 0;
            unfinished_ = count;
            failure_ = nullptr;
            ++generation_;
        }
        work_is_offered_.notify_all();
        Take_Part();
        std::unique_lock lock(mutex_);
        all_are_done_.wait(lock, [this] { return unfinished_ == 0; });
        job_ = nullptr;
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    void Serve() {
        std::uint64_t served = 0;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                work_is_offered_.wait(lock, [&] { return is_ending_ || generation_ != served; });
                if (is_ending_) return;
                served = generation_;
            }
            Take_Part();
        }
    }

    void Take_Part() {
        for (;;) {
            std::size_t index;
            {
                std::lock_guard lock(mutex_);
                if (job_ == nullptr || next_ >= count_) return;
                index = next_++;
            }
            std::exception_ptr failure;
            try {
                (*job_)(index);
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard lock(mutex_);
            if (failure && !failure_) failure_ = failure;
            if (--unfinished_ == 0) all_are_done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable work_is_offered_;
    std::condition_variable all_are_done_;
    const Job* job_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
    std::size_t unfinished_ = 0;
    std::uint64_t generation_ = 0;
    std::exception_ptr failure_;
    bool is_ending_ = false;
    std::vector<std::thread> helpers_;
};

// The state of the walk in progress; the searcher thread's alone.
std::wstring Platform_Root;  // the root in the form the platform takes at any length
Lookup_Crew* Crew = nullptr;  // on NTFS only
// The folders from the root down to the one being walked, as far as they could be told.
std::vector<std::uint64_t> Ancestors;  // by file index

// A stop is noticed between two entries, as in a walk that looks up one entry after the
// other: entries looked up ahead are recorded only up to the first whose look-up found
// the walk stopped, and nothing is recorded after that anywhere in the tree.
bool Has_Stopped = false;

struct Lookup {
    bool Was_Begun = false;  // before the walk was stopped
    Files::Owner_And_Streams Result;
};

bool Is_To_Go_On() {
    if (!Search_In_Progress) Has_Stopped = true;
    return !Has_Stopped;
}

bool Is_To_Go_On(const Lookup& the_lookup) {
    if (!the_lookup.Was_Begun) Has_Stopped = true;
    return !Has_Stopped;
}

bool Is_Ancestor(const std::optional<std::uint64_t>& folder) {
    return folder && std::find(Ancestors.begin(), Ancestors.end(), *folder) != Ancestors.end();
}

// Keeps a folder among the ancestors while the walk is below it.
class Ancestry {
public:
    explicit Ancestry(const std::optional<std::uint64_t>& folder)
        : is_known_(folder.has_value()) {
        if (is_known_) Ancestors.push_back(*folder);
    }
    ~Ancestry() {
        if (is_known_) Ancestors.pop_back();
    }
    Ancestry(const Ancestry&) = delete;
    Ancestry& operator=(const Ancestry&) = delete;

private:
    const bool is_known_;
};

// Entries are listed this many at a time, then looked up together and recorded in listing
// order, so that memory stays bounded in a folder of any size.
constexpr std::size_t Listing_Chunk = 1024;

// One listing chunk for each folder from the root down to the one being walked, kept for
// the next folder at the same depth: a fresh one is mapped and faulted in again, which
// costs more than listing the entries into it.
class Chunk_Stack {
public:
    Files::Find_Record* Push() {
        if (in_use_ == chunks_.size())
            chunks_.push_back(std::make_unique_for_overwrite<Files::Find_Record[]>(Listing_Chunk));
        return chunks_[in_use_++].get();
    }
    void Pop() noexcept { --in_use_; }
    void Release() noexcept {
        chunks_.clear();
        chunks_.shrink_to_fit();
        in_use_ = 0;
    }

private:
    std::vector<std::unique_ptr<Files::Find_Record[]>> chunks_;
    std::size_t in_use_ = 0;
};

Chunk_Stack Chunks;

// The chunk of the folder being walked, while its walk lasts.
class Chunk_Lease {
public:
    Chunk_Lease() : entries_(Chunks.Push()) {}
    ~Chunk_Lease() { Chunks.Pop(); }
    Chunk_Lease(const Chunk_Lease&) = delete;
    Chunk_Lease& operator=(const Chunk_Lease&) = delete;
    Files::Find_Record* Entries() const { return entries_; }

private:
    Files::Find_Record* const entries_;
};

// The walk of one folder: every entry's records, and the folder's accumulated size.
class Folder_Scan {
public:
    explicit Folder_Scan(std::wstring the_folder)
        : the_folder_(std::move(the_folder)),
          folder_name_(the_folder_),
          platform_folder_(Platform_Root + the_folder_ + L'\\') {}

    File_Size Run() {
        Folder_Listing listing(platform_folder_ + L"*.*");
        const Chunk_Lease lease;
        Files::Find_Record* const chunk = lease.Entries();
        std::vector<Lookup> details;
        while (Is_To_Go_On()) {
            std::size_t count = 0;
            while (count < Listing_Chunk && listing.Next(chunk[count])) ++count;
            if (Crew) details = Looked_Up(chunk, count);
            for (std::size_t index = 0; index < count; ++index) {
                if (Crew ? !Is_To_Go_On(details[index]) : !Is_To_Go_On()) break;
                Process_File(chunk[index], Crew ? &details[index].Result : nullptr);
            }
            if (count < Listing_Chunk) break;
        }
        return folder_size_;
    }

private:
    std::wstring Platform_Path_Of(std::wstring_view filename) const {
        return std::wstring(platform_folder_).append(filename);
    }

    std::vector<Lookup> Looked_Up(const Files::Find_Record chunk[],
                                  std::size_t count) const {
        std::vector<Lookup> details(count);
        Crew->Run(count, [&](std::size_t index) {
            if (!Search_In_Progress) return;
            details[index].Was_Begun = true;
            const std::wstring_view filename = Files::Filename_Of(chunk[index]);
            if (Files::Is_Special_Directory(filename)) return;
            details[index].Result = Files::Owner_And_Streams_Of(
                Platform_Path_Of(filename), Files::Is_Directory(chunk[index]));
        });
        return details;
    }

    // The file's own record, saved after its streams, carries their sum.
    void Process_File(const Files::Find_Record& entry, const Files::Owner_And_Streams* details) {
        const std::wstring_view filename = Files::Filename_Of(entry);
        if (Files::Is_Directory(entry) && Files::Is_Special_Directory(filename)) return;
        const Wide_Text::Shared name(filename);
        const Files::Owner owner = details ? details->The_Owner : nullptr;
        File_Size object_size{};
        bool has_streams = false;
        if (!Files::Is_Directory(entry)) {
            if (details) {
                for (const Files::Stream_Record& stream : details->Streams) {
                    Save_Information(entry, name, owner, stream.Size, stream.Name, true);
                    object_size += stream.Size;
                }
                has_streams = !details->Streams.empty();
            }
            if (!has_streams) object_size = Files::File_Size_Of(entry);
        } else if (!Files::Is_Reparse_Point(entry)) {
            // A junction or link, or a folder that is one of its own ancestors, may lead
            // back up the tree: such a folder is recorded, never entered.
            const std::optional<std::uint64_t> index =
                Files::File_Index_Of(Platform_Path_Of(filename));
            if (!Is_Ancestor(index)) {
                Ancestry below(index);
                object_size = Scan((the_folder_ + L'\\').append(filename));
            }
        }
        Save_Information(entry, name, owner, object_size, Wide_Text::Shared(), has_streams);
        folder_size_ += object_size;
    }

    void Save_Information(const Files::Find_Record& entry, const Wide_Text::Shared& name,
                          Files::Owner owner, File_Size object_size,
                          const Wide_Text::Shared& stream_name, bool has_streams) {
        Append(File_Information{.File_Name = name,
                                .Folder_Name = folder_name_,
                                .Owner = owner,
                                .Stream_Name = stream_name,
                                .Object_Size = object_size,
                                .Last_Accessed = entry.ftLastAccessTime,
                                .Is_Folder = Files::Is_Directory(entry),
                                .Is_Stream = !stream_name.empty(),
                                .Is_Compressed = Files::Is_Compressed(entry),
                                .Is_System = Files::Is_System(entry),
                                .Is_Hidden = Files::Is_Hidden(entry),
                                .Has_Streams = has_streams},
               Known_Files);
    }

    const std::wstring the_folder_;
    const Wide_Text::Shared folder_name_;
    const std::wstring platform_folder_;  // with its trailing backslash
    File_Size folder_size_{};
};

bool Is_Existing_Folder(const std::wstring& path) {
    try {
        return Files::Is_Directory(Files::Attributes_For(path).Attribute);
    } catch (const Files::File_Not_Found&) {
        return false;
    }
}

std::wstring Without_Trailing_Backslashes(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// The state of one walk from the root, with its look-up threads while it lasts.
class Walk_From_Root {
public:
    Walk_From_Root() {
        Platform_Root = Without_Trailing_Backslashes(Files::Long_Path_Form(Search_Root + L'\\'));
        Ancestors.clear();
        Has_Stopped = false;
        Files::Ask_Again_For_Streams();
        if (std::optional<std::uint64_t> root = Files::File_Index_Of(Platform_Root + L'\\'))
            Ancestors.push_back(*root);
        if (Searching_Ntfs) crew_.emplace(std::max(1, Lookup_Threads));
        Crew = crew_ ? &*crew_ : nullptr;
    }
    ~Walk_From_Root() {
        Crew = nullptr;
        Chunks.Release();
    }
    Walk_From_Root(const Walk_From_Root&) = delete;
    Walk_From_Root& operator=(const Walk_From_Root&) = delete;

private:
    std::optional<Lookup_Crew> crew_;
};

}  // namespace

File_Size Scan(const std::wstring& the_folder) { return Folder_Scan(the_folder).Run(); }

bool Search(const std::wstring& root) {
    // The previous results stay, and their folders are still shown below their root.
    if (!Is_Existing_Folder(root)) return false;
    std::wstring trimmed_root = Without_Trailing_Backslashes(root);
    // Nothing left would make the walk list the current drive's root instead.
    if (trimmed_root.empty()) throw Constraint_Error("a root of backslashes names no folder");
    Search_Root = std::move(trimmed_root);
    Searching_Ntfs = Is_Windows_Nt && Files::Volume_Is_Ntfs(Search_Root);
    Determine_Options();
    Adjust_Gui();
    // The view refers to the records: it is emptied before they go.
    Gui::Remove_All_From(File_List_View);
    Display_Root.clear();
    Clear(Known_Files);
    Gui::Set_Status_Line("Searching...");
    {
        Walk_From_Root walk;
        Scan(std::wstring());
    }
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
    // Inside the displayed folder, not merely named alike: "\ab" does not hold "\abc".
    const std::size_t length = Display_Root.size();
    return the_file.Folder_Name.size() >= length &&
           Wide_Text::Is_Equal(the_file.Folder_Name.View().substr(0, length), Display_Root,
                               false) &&
           (the_file.Folder_Name.size() == length || the_file.Folder_Name[length] == L'\\');
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
        Searcher_Is_Busy = false;
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
        Searcher_Is_Busy = true;
        Searcher::Start();
    } else {
        // Enabled again by the searcher once the walk has wound down.
        Gui::Disable(Start_Stop_Button);
    }
}

namespace {

// Without a version resource (as in the tests) the program still runs, under its own name.
void Read_Version_Information() {
    try {
        Application_Name = Windows::Version::Product_Name("");
        Version = Windows::Version::Product_Version("");
    } catch (const Windows::Version::No_Version_Info&) {
        Application_Name = "Quarrix";
        Version.clear();
    }
}

}  // namespace

void Initialise() {
    Read_Version_Information();
    Selected_Options = {};
    Size_Threshold = Files::Zero_Length;
    Ages_Ago = {};
    Just_Recently = {};
    Clear(Known_Files);
    Clear(Known_Accounts);
    Search_Root.clear();
    Display_Root.clear();
    Searching_Ntfs = false;
    Search_In_Progress = false;
    Has_Been_Terminated = false;
    Is_Windows_Nt = Windows::Is_Nt();
    if (!Searcher_Thread.joinable()) {
        Searcher_Entry.Reopen();
        Searcher_Thread = std::thread(Searcher_Body);
    }
    Log::Open(Application_Name);
}

void Join_Searcher() {
    if (Searcher_Thread.joinable()) Searcher_Thread.join();
}

// ---------------------------------------------------------------- selection options

Gui::Checked_Edit_Box Recently_Accessed;
Gui::Checked_Edit_Box Untouched;
Gui::Check_Box Visit_Folders;
Gui::Check_Box Display_Folders;
Gui::Check_Box Display_Full_Size;
Gui::Check_Box Display_Files;
Gui::Check_Box Display_Streams;
Gui::Check_Box Display_Hidden;
Gui::Check_Box Display_System;
Gui::Plain_Edit_Box Minimum_Size_Box;

namespace {

constexpr const char* Literal_Of[Selection_Option_Count] = {
    "NEWLY_TOUCHED", "AGED", "SUBFOLDERS", "FOLDERS", "FULL_SIZE",
    "FILES", "STREAMS", "HIDDEN", "SYSTEM"};

std::string Registry_Name_Of(std::size_t the_position) {
    return Strings::Legible_Of(Literal_Of[the_position]);
}

// The plain check box that sets each option; the two time boxes are read apart.
const Gui::Check_Box* Check_Box_For(Selection_Option the_option) {
    switch (the_option) {
    case Selection_Option::SUBFOLDERS: return &Visit_Folders;
    case Selection_Option::FOLDERS: return &Display_Folders;
    case Selection_Option::FULL_SIZE: return &Display_Full_Size;
    case Selection_Option::FILES: return &Display_Files;
    case Selection_Option::STREAMS: return &Display_Streams;
    case Selection_Option::HIDDEN: return &Display_Hidden;
    case Selection_Option::SYSTEM: return &Display_System;
    default: return nullptr;
    }
}

constexpr Selection_Option Check_Box_Options[] = {
    Selection_Option::SUBFOLDERS, Selection_Option::FOLDERS, Selection_Option::FILES,
    Selection_Option::FULL_SIZE,  Selection_Option::STREAMS, Selection_Option::HIDDEN,
    Selection_Option::SYSTEM};

File_Size Size_Of(const File_Time& the_time) {
    return Unsigned::Quadword_Of(the_time.dwHighDateTime, the_time.dwLowDateTime);
}

File_Time Time_Of(File_Size the_size) {
    return File_Time{the_size.Least_Significant, the_size.Most_Significant};
}

}  // namespace

std::optional<int> Natural_From(const std::string& the_text) {
    if (the_text.empty()) return std::nullopt;
    for (char character : the_text)
        if (character < '0' || character > '9') return std::nullopt;
    int value = 0;
    const char* end = the_text.data() + the_text.size();
    const auto [stop, error] = std::from_chars(the_text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

File_Time Minutes_Before_Now(int the_minutes) {
    if (the_minutes < 0) throw Constraint_Error("minutes must be natural");
    const File_Size reduction =
        Unsigned::Product_Of(static_cast<Unsigned::Longword>(the_minutes), 600'000'000);
    const File_Size now = Size_Of(Files::The_Time_Now());
    if (now.Value() > reduction.Value()) return Time_Of(now - reduction);
    return File_Time{};
}

File_Time Days_Before_Now(int the_days) {
    if (the_days < 0) throw Constraint_Error("days must be natural");
    const std::int64_t reduction = std::int64_t{the_days} * 201;
    if (reduction > std::numeric_limits<std::int32_t>::max())
        throw Constraint_Error("too many days");
    File_Time now = Files::The_Time_Now();
    if (now.dwHighDateTime > reduction) now.dwHighDateTime -= static_cast<DWORD>(reduction);
    else now.dwHighDateTime = 0;
    return now;
}

namespace {

// False when the box holds no natural number: it is unticked then.
bool Took_Recently() {
    if (const std::optional<int> minutes = Natural_From(Gui::Contents_Of(Recently_Accessed))) {
        Just_Recently = Minutes_Before_Now(*minutes);
        return true;
    }
    Gui::Clear(Recently_Accessed);
    return false;
}

bool Took_Ages_Ago() {
    try {
        if (const std::optional<int> days = Natural_From(Gui::Contents_Of(Untouched))) {
            Ages_Ago = Days_Before_Now(*days);
            return true;
        }
    } catch (const Constraint_Error&) {
        // Too many days for the upper half: as good as no number.
    }
    Gui::Clear(Untouched);
    return false;
}

// The ticks the option controls show, each read once, since every reading waits on the
// display thread. An option without a control (streams off the NT family, or no window
// at all) has none, and stays as it is.
struct Control_Ticks {
    std::array<std::optional<bool>, Selection_Option_Count> Tick;
    std::optional<bool>& operator[](Selection_Option option) {
        return Tick[static_cast<std::size_t>(option)];
    }
};

template <typename Control>
std::optional<bool> Tick_Of(const Control& the_control) {
    if (the_control.Is_Null()) return std::nullopt;
    return Gui::Is_Checked(the_control);
}

Control_Ticks Ticks_Shown() {
    Control_Ticks ticks;
    ticks[Selection_Option::NEWLY_TOUCHED] = Tick_Of(Recently_Accessed);
    ticks[Selection_Option::AGED] = Tick_Of(Untouched);
    for (Selection_Option option : Check_Box_Options) {
        if (option == Selection_Option::STREAMS && !Is_Windows_Nt) continue;
        ticks[option] = Tick_Of(*Check_Box_For(option));
    }
    return ticks;
}

bool Ticks_Differ(const Control_Ticks& ticks) {
    for (std::size_t position = 0; position < Selection_Option_Count; ++position)
        if (ticks.Tick[position] && *ticks.Tick[position] != Selected_Options.Is_On[position])
            return true;
    return false;
}

// None without the box.
std::optional<std::string> Minimum_Size_Text() {
    if (Minimum_Size_Box.Is_Null()) return std::nullopt;
    return Gui::Contents_Of(Minimum_Size_Box);
}

bool Size_Differs(const std::optional<std::string>& the_text) {
    return the_text && !(Files::Size_From(*the_text) == Size_Threshold);
}

// A ticked time box whose number cannot be taken is unticked, and its filter is off.
void Take_Over(Control_Ticks ticks) {
    if (ticks[Selection_Option::NEWLY_TOUCHED] == true)
        ticks[Selection_Option::NEWLY_TOUCHED] = Took_Recently();
    if (ticks[Selection_Option::AGED] == true) ticks[Selection_Option::AGED] = Took_Ages_Ago();
    for (std::size_t position = 0; position < Selection_Option_Count; ++position)
        if (ticks.Tick[position]) Selected_Options.Is_On[position] = *ticks.Tick[position];
}

}  // namespace

void Set_Recently() { Took_Recently(); }
void Set_Ages_Ago() { Took_Ages_Ago(); }

void Determine_Options() { Take_Over(Ticks_Shown()); }

bool Selection_Has_Changed() {
    return Size_Differs(Minimum_Size_Text()) || Ticks_Differ(Ticks_Shown());
}

void Set(const Gui::Check_Box& the_box, Selection_Option the_option) {
    if (Selected_Options[the_option]) Gui::Set(the_box);
}

void Recent_Request() {
    if (!Gui::Is_Checked(Recently_Accessed)) return;
    Gui::Clear(Untouched);
    Gui::Clear(Display_Folders);
}

void Untouched_Request() {
    if (!Gui::Is_Checked(Untouched)) return;
    Gui::Clear(Recently_Accessed);
    Gui::Clear(Display_Folders);
}

void Display_Folder_Request() {
    if (!Gui::Is_Checked(Display_Folders)) return;
    Gui::Clear(Recently_Accessed);
    Gui::Clear(Untouched);
}

void Get_Options_From_Registery() {
    auto registry = Registry::Exclusive_Use();
    Registry::Define("\\Selection");
    for (std::size_t position = 0; position < Selection_Option_Count; ++position)
        Selected_Options.Is_On[position] = Registry::Value_Of(Registry_Name_Of(position), false);
}

void Save_Options_To_Registery() {
    auto registry = Registry::Exclusive_Use();
    Registry::Define("\\Selection");
    Registry::Set("Within", Gui::Contents_Of(Recently_Accessed));
    Registry::Set("Since", Gui::Contents_Of(Untouched));
    Registry::Set("Min_Size", Gui::Contents_Of(Minimum_Size_Box));
    Determine_Options();
    for (std::size_t position = 0; position < Selection_Option_Count; ++position)
        Registry::Set(Registry_Name_Of(position), Selected_Options.Is_On[position]);
}

// ---------------------------------------------------------------- owner accounting

Account_List Known_Accounts;
Gui::List_View Account_List_View;

namespace {

void Add_To_Account(Files::Owner the_owner, std::int32_t the_files, File_Size the_usage) {
    auto update = [&](Account_Information& the_account, bool& is_done) {
        if (the_account.Owner != the_owner) return;
        the_account.Nr_Of_Files += the_files;
        the_account.Disk_Usage += the_usage;
        is_done = true;
    };
    try {
        Update_With(Known_Accounts, update);
        return;
    } catch (const Account_List::Not_Updated&) {
        // A new owner.
    }
    Append(Account_Information{the_owner, the_files, the_usage}, Known_Accounts);
    if (!Files::Image_Of(the_owner).empty())
        Gui::Add_Data(Account_List_View, &Last_Of(Known_Accounts));
}

}  // namespace

void Add_To_Object_Owner(const File_Information& the_file) {
    if (Files::Is_Unknown(the_file.Owner)) return;
    Add_To_Account(the_file.Owner, 1, the_file.Object_Size);
}

void Zero_Account(Account_Information& the_account) {
    the_account.Nr_Of_Files = 0;
    the_account.Disk_Usage = Files::Zero_Length;
}

void Zero_Account_Totals(Account_List& the_list) {
    for (auto position = First(the_list); Has_Element(position); position = Next(position))
        Zero_Account(Element_At(position));
}

std::wstring Account_Text_Handler(int for_column, void* the_account) {
    const Account_Information& account = *static_cast<const Account_Information*>(the_account);
    switch (for_column) {
    case 0: return Files::Image_Of(account.Owner);
    case 1: return L" " + std::to_wstring(account.Nr_Of_Files);
    case 2: return Wide_Text::Widened(Files::Image_Of(account.Disk_Usage));
    default: return {};
    }
}

Gui::Comparison Account_Sort_Routine(int for_column, void* first, void* second) {
    const Account_Information& one = *static_cast<const Account_Information*>(first);
    const Account_Information& other = *static_cast<const Account_Information*>(second);
    switch (for_column) {
    case 0: return Comparison_Of(one.Owner, other.Owner);
    case 1: return Comparison_Of(one.Nr_Of_Files, other.Nr_Of_Files);
    case 2: return Comparison_Of(one.Disk_Usage, other.Disk_Usage);
    default: return Gui::Comparison::Equal;
    }
}

Gui::Comparison Comparison_Of(std::int32_t first, std::int32_t second) {
    if (first == second) return Gui::Comparison::Equal;
    return first < second ? Gui::Comparison::Less : Gui::Comparison::Greater;
}

Gui::Comparison Comparison_Of(File_Size first, File_Size second) {
    if (first.Value() == second.Value()) return Gui::Comparison::Equal;
    return first.Value() < second.Value() ? Gui::Comparison::Less : Gui::Comparison::Greater;
}

Gui::Comparison Comparison_Of(Files::Owner first, Files::Owner second) {
    if (first == second) return Gui::Comparison::Equal;
    const std::wstring& one = Files::Image_Of(first);
    const std::wstring& other = Files::Image_Of(second);
    const std::size_t common = std::min(one.size(), other.size());
    for (std::size_t index = 0; index < common; ++index) {
        if (one[index] != other[index])
            return one[index] > other[index] ? Gui::Comparison::Greater : Gui::Comparison::Less;
    }
    return one.size() > other.size() ? Gui::Comparison::Greater : Gui::Comparison::Less;
}

Gui::Comparison Comparison_Of(std::wstring_view first, std::wstring_view second) {
    const int order = first.compare(second);
    if (order == 0) return Gui::Comparison::Equal;
    return order < 0 ? Gui::Comparison::Less : Gui::Comparison::Greater;
}

Gui::Comparison Comparison_Of(const File_Time& first, const File_Time& second) {
    if (Files::Is_Earlier(first, second)) return Gui::Comparison::Less;
    if (Files::Is_Later(first, second)) return Gui::Comparison::Greater;
    return Gui::Comparison::Equal;
}

// ---------------------------------------------------------------- result display

bool Owner_Is_Displayed = false;
bool Streams_Are_Displayed = false;
std::atomic<bool> Searcher_Is_Busy = false;

Logical_Column Column_Of(int the_position) {
    int column = the_position;
    if (!Owner_Is_Displayed && column >= 2) ++column;
    if (!Streams_Are_Displayed && column >= 3) ++column;
    return static_cast<Logical_Column>(column);
}

void Adjust_Gui() {
    const bool owner_is_wanted = Searching_Ntfs;
    const bool streams_are_wanted = Searching_Ntfs && Selected_Options[Selection_Option::STREAMS];
    // Rebuilt columns take their stored widths again, losing the user's since the start.
    if (Gui::Number_Of_Columns_Of(File_List_View) == 4 + owner_is_wanted + streams_are_wanted &&
        Owner_Is_Displayed == owner_is_wanted && Streams_Are_Displayed == streams_are_wanted)
        return;
    for (int columns = Gui::Number_Of_Columns_Of(File_List_View); columns > 2; --columns)
        Gui::Remove_Last_Column(File_List_View);
    Owner_Is_Displayed = false;
    Streams_Are_Displayed = false;
    if (Searching_Ntfs) {
        Gui::Registered::Add_Column(File_List_View, "Owner", 90, Gui::Justification::Left);
        Owner_Is_Displayed = true;
        if (Selected_Options[Selection_Option::STREAMS]) {
            Gui::Registered::Add_Column(File_List_View, "Stream", 90, Gui::Justification::Left);
            Streams_Are_Displayed = true;
        }
    }
    Gui::Registered::Add_Column(File_List_View, "Size", 75, Gui::Justification::Right);
    Gui::Registered::Add_Column(File_List_View, "Last Accessed", 140, Gui::Justification::Left);
    // Only the title changes: the column still shows the last access.
    if (!Searching_Ntfs) Gui::Set_Title(File_List_View, 4, "Date Modified");
}

std::string Image_Of(File_Size the_size) {
    if (Selected_Options[Selection_Option::FULL_SIZE]) return Unsigned::Image_Of(the_size);
    return Files::Image_Of(the_size);
}

std::string Image_Of(int the_count, const std::string& the_unit) {
    return std::to_string(the_count) + " " + the_unit + (the_count == 1 ? "" : "s");
}

namespace {

class Totals {
public:
    // Folders below the displayed one are inside their parents' sizes already.
    void Add(const File_Information& the_file) {
        if (the_file.Is_Folder) {
            ++folders_;
            if (the_file.Folder_Name.size() <= Display_Root.size()) size_ += the_file.Object_Size;
        } else {
            ++files_;
            size_ += the_file.Object_Size;
        }
    }

    std::string Image() const {
        return Image_Of(files_, "file") + " and " + Image_Of(folders_, "folder") +
               ". Total size=" + Work::Image_Of(size_);
    }

private:
    int files_ = 0;
    int folders_ = 0;
    File_Size size_{};
};

// The owners' totals of one display, gathered apart and then added to their accounts in
// order of first appearance, as record by record: a display meets few owners, many times.
class Owner_Tally {
public:
    void Add(const File_Information& the_file) {
        if (Files::Is_Unknown(the_file.Owner)) return;
        Tally& tally = Tally_Of(the_file.Owner);
        ++tally.Files;
        tally.Usage += the_file.Object_Size;
    }

    void Add_To_Accounts() const {
        for (const Tally& tally : tallies_) Add_To_Account(tally.Owner, tally.Files, tally.Usage);
    }

private:
    struct Tally {
        Files::Owner Owner;
        std::int32_t Files = 0;
        File_Size Usage{};
    };

    Tally& Tally_Of(Files::Owner the_owner) {
        if (last_ < tallies_.size() && tallies_[last_].Owner == the_owner) return tallies_[last_];
        for (last_ = 0; last_ < tallies_.size(); ++last_)
            if (tallies_[last_].Owner == the_owner) return tallies_[last_];
        return tallies_.emplace_back(Tally{the_owner});
    }

    std::vector<Tally> tallies_;
    std::size_t last_ = 0;
};

// Rows handed to the view a batch at a time: its lock is taken, and its row count posted,
// once a batch rather than once a row.
class Row_Batch {
public:
    explicit Row_Batch(const Gui::List_View& the_view) : view_(the_view) {
        rows_.reserve(Batch_Size);
    }
    void Add(File_Information& the_file) {
        rows_.push_back(&the_file);
        if (rows_.size() == Batch_Size) Hand_Over();
    }
    void Hand_Over() {
        Gui::Add_Data(view_, rows_);
        rows_.clear();
    }

private:
    static constexpr std::size_t Batch_Size = 65536;
    const Gui::List_View& view_;
    std::vector<void*> rows_;
};

// The box is rewritten in the normalised form of what it was read as. Without the box
// the threshold stays.
void Take_Size_Threshold(const std::optional<std::string>& the_text) {
    if (!the_text) return;
    Size_Threshold = Files::Size_From(*the_text);
    Gui::Set(Minimum_Size_Box, Wide_Text::Widened(Files::Image_Of(Size_Threshold)));
}

// Once the threshold is taken.
void Show_Passing_Records() {
    Zero_Account_Totals(Known_Accounts);
    Totals totals;
    Owner_Tally owners;
    Row_Batch rows(File_List_View);
    for (auto position = First(Known_Files); Has_Element(position); position = Next(position)) {
        File_Information& the_file = Element_At(position);
        if (!To_Be_Displayed(the_file)) continue;
        rows.Add(the_file);
        totals.Add(the_file);
        if (Searching_Ntfs) owners.Add(the_file);
    }
    rows.Hand_Over();
    owners.Add_To_Accounts();
    Gui::Set_Status_Line(totals.Image());
}

const File_Information& File_At(void* the_file) {
    return *static_cast<const File_Information*>(the_file);
}

// The rows refer to the records: the view is emptied before it is filled again.
void Show_Display_Root() {
    Gui::Set(Search_Root_Box, Search_Root + Display_Root);
    Gui::Remove_All_From(File_List_View);
    Display();
}

}  // namespace

void Display() {
    Gui::Set_Status_Line("Displaying...");
    Take_Size_Threshold(Minimum_Size_Text());
    Show_Passing_Records();
}

std::wstring File_Text_Handler(int for_column, void* the_file) {
    const File_Information& file = File_At(the_file);
    switch (Column_Of(for_column)) {
    case Logical_Column::Name: return file.File_Name.String();
    case Logical_Column::In_Folder: return Search_Root + file.Folder_Name;
    case Logical_Column::Owner: return Files::Image_Of(file.Owner);
    case Logical_Column::Stream: return file.Stream_Name.String();
    case Logical_Column::Size: return Wide_Text::Widened(Work::Image_Of(file.Object_Size));
    case Logical_Column::Last_Accessed:
        return Files::Image_Of(file.Last_Accessed);
    }
    return {};
}

COLORREF File_Color_Handler(void* the_file) {
    const File_Information& file = File_At(the_file);
    if (file.Is_Folder) return Gui::Red;
    if (file.Has_Streams) return Gui::Green;
    if (file.Is_Compressed) return Gui::Blue;
    return Gui::Black;
}

Gui::Comparison File_Sort_Routine(int for_column, void* first, void* second) {
    const File_Information& one = File_At(first);
    const File_Information& other = File_At(second);
    switch (Column_Of(for_column)) {
    case Logical_Column::Name: return Comparison_Of(one.File_Name, other.File_Name);
    case Logical_Column::In_Folder: return Comparison_Of(one.Folder_Name, other.Folder_Name);
    case Logical_Column::Owner: return Comparison_Of(one.Owner, other.Owner);
    case Logical_Column::Stream: return Gui::Comparison::Equal;
    case Logical_Column::Size: return Comparison_Of(one.Object_Size, other.Object_Size);
    case Logical_Column::Last_Accessed:
        return Comparison_Of(one.Last_Accessed, other.Last_Accessed);
    }
    return Gui::Comparison::Equal;
}

void File_Click_Routine(void* the_file) {
    if (Searcher_Is_Busy) return;
    const File_Information& file = File_At(the_file);
    if (!file.Is_Folder) return;
    Display_Root = file.Folder_Name + L'\\' + file.File_Name;
    Show_Display_Root();
    Gui::Enable(Back_Button);
}

void Back_Request() {
    if (Searcher_Is_Busy) return;
    const std::size_t last = Wide_Text::Location_Of(L'\\', Display_Root);
    if (last == Wide_Text::Not_Found) Display_Root.clear();
    else Wide_Text::Truncate(Display_Root, last);
    if (Wide_Text::Is_Null(Display_Root)) Gui::Disable(Back_Button);
    Show_Display_Root();
}

void Refresh_Display() {
    if (Searcher_Is_Busy) return;
    // Each control is read once, for the question and the options taken alike, and before
    // the emptied view is repainted: every reading waits for the display thread.
    const Control_Ticks ticks = Ticks_Shown();
    const std::optional<std::string> size_text = Minimum_Size_Text();
    if (!Size_Differs(size_text) && !Ticks_Differ(ticks)) return;
    Gui::Set_Status_Line("Displaying...");
    Take_Size_Threshold(size_text);
    Gui::Remove_All_From(File_List_View);
    Take_Over(ticks);
    Adjust_Gui();
    Show_Passing_Records();
}

// ---------------------------------------------------------------- start-up and end

std::string Application_Name;
std::string Version;

Gui::Page Display_Page = nullptr;
Gui::Page Selection_Page = nullptr;
Gui::Page Account_Page = nullptr;
Gui::Button Back_Button;

namespace {

constexpr Gui::Action_Routine No_Action = nullptr;
constexpr int Button_Size = 100;
constexpr int Time_Box_Size = 50;
constexpr int Size_Box_Size = 100;

void Add_Display_Page() {
    Display_Page = Gui::Add_Page("Display", Gui::Default_Page_Style, Refresh_Display);
    Back_Button = Gui::Create(Display_Page, "Back", Back_Request, Button_Size);
    Gui::Disable(Back_Button);
    Start_Stop_Button = Gui::Create(Display_Page, "Search", Stop_Start_Request, Button_Size);
    Search_Root_Box = Gui::Create_Wide(Display_Page, L"Look in:", Files::Current_Directory(), No_Action);
    File_List_View = Gui::Create(Display_Page, File_Text_Handler, File_Color_Handler,
                                 File_Sort_Routine, File_Click_Routine, true);
    Gui::Registered::Add_Column(File_List_View, "Name", 140, Gui::Justification::Left);
    Gui::Registered::Add_Column(File_List_View, "In Folder", 200, Gui::Justification::Left);
}

void Add_Account_Page() {
    Account_Page = Gui::Add_Page("Accounts");
    Account_List_View =
        Gui::Create(Account_Page, Account_Text_Handler, nullptr, Account_Sort_Routine, nullptr, true);
    Gui::Registered::Add_Column(Account_List_View, "Name", 90, Gui::Justification::Left);
    Gui::Registered::Add_Column(Account_List_View, "Nr of files", 75, Gui::Justification::Right);
    Gui::Registered::Add_Column(Account_List_View, "Usage", 75, Gui::Justification::Right);
}

// The loaded options may hold more than one of the mutually exclusive ones.
void Tick_One_Exclusive_Option() {
    if (Selected_Options[Selection_Option::FOLDERS]) Gui::Set(Display_Folders);
    else if (Selected_Options[Selection_Option::NEWLY_TOUCHED]) Gui::Set(Recently_Accessed);
    else if (Selected_Options[Selection_Option::AGED]) Gui::Set(Untouched);
}

Gui::Check_Box Option_Box(const std::string& the_title, Selection_Option the_option) {
    Gui::Check_Box box = Gui::Create(Selection_Page, the_title, No_Action);
    Set(box, the_option);
    return box;
}

void Add_Selection_Page() {
    auto registry = Registry::Exclusive_Use();
    Registry::Define("\\Selection");
    Selection_Page = Gui::Add_Page("Selection");
    Visit_Folders = Option_Box("Include subfolders", Selection_Option::SUBFOLDERS);
    Display_Folders = Gui::Create(Selection_Page, "Display folders", Display_Folder_Request);
    Display_Files = Option_Box("Display files", Selection_Option::FILES);
    Recently_Accessed =
        Gui::Create_Checked(Selection_Page, "Accessed within last (minutes)",
                            Registry::Value_Of("Within", "5"), Recent_Request, false, Time_Box_Size);
    Untouched = Gui::Create_Checked(Selection_Page, "Not accessed since (days)",
                                    Registry::Value_Of("Since", "90"), Untouched_Request, false,
                                    Time_Box_Size);
    Tick_One_Exclusive_Option();
    Minimum_Size_Box = Gui::Create(Selection_Page, "Display only objects larger than",
                                   Registry::Value_Of("Min_Size", "0"), No_Action, false,
                                   Size_Box_Size);
    Display_Full_Size = Option_Box("Display sizes in full", Selection_Option::FULL_SIZE);
    if (Is_Windows_Nt) {
        Display_Streams = Option_Box("Display Alternate Data Streams", Selection_Option::STREAMS);
        Add_Account_Page();
    }
    Display_Hidden = Option_Box("Display Hidden Files", Selection_Option::HIDDEN);
    Display_System = Option_Box("Display System Files", Selection_Option::SYSTEM);
}

}  // namespace

void Create_User_Interface() {
    Gui::Registered::Create(Registry::Company::Vornhale, Application_Name, Version, Termination,
                            0, 0, CW_USEDEFAULT, CW_USEDEFAULT, "MainIcon", false);
    Gui::Set_Status_Line(Application_Name + " from Vornhale - www.vornhale.com");
    Get_Options_From_Registery();
    Add_Display_Page();
    Add_Selection_Page();
    if (!Windows::Is_Nt() && !Windows::Is_Win98()) {
        Gui::Message_Box("This program only executes under Windows NT/2000/Xp or Win98/Me", true);
        Gui::Close();
    }
}

void Termination() {
    Has_Been_Terminated = true;
    Save_Options_To_Registery();
    if (!Search_In_Progress) {
        try {
            Searcher::Quit();
        } catch (const Tasking_Error&) {
            // A stopped walk was still winding down: the searcher has ended by itself.
        }
    }
    Search_In_Progress = false;
}

}  // namespace Work
