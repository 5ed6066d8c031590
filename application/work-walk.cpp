#include "work-walk.hpp"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "windows.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

using Find_Handle = Windows::Unique<HANDLE, FindClose>;

// The entries of one folder in the order the file system lists them.
class Folder_Listing {
public:
    explicit Folder_Listing(std::wstring pattern) : pattern_(std::move(pattern)) {}

    // False when the listing is exhausted, or the folder cannot be read; then the error
    // is kept, none for a listing that simply ended.
    bool Next(Files::Find_Record& entry) {
        if (listing_) return Took(FindNextFileW(listing_.get(), &entry));
        if (has_started_) return false;
        has_started_ = true;
        // Without short names, which the platform would otherwise make up for every entry,
        // and in large batches.
        HANDLE found = FindFirstFileExW(pattern_.c_str(), FindExInfoBasic, &entry,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (found == INVALID_HANDLE_VALUE) return Took(false);
        listing_.reset(found);
        return true;
    }

    unsigned long Error() const { return error_; }

private:
    bool Took(bool has_entry) {
        if (!has_entry) {
            const DWORD error = GetLastError();
            if (error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND) error_ = error;
        }
        return has_entry;
    }

    unsigned long error_ = 0;
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

struct Lookup {
    bool Was_Begun = false;  // before the walk was stopped
    Files::Owner_And_Streams Result;
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

private:
    std::vector<std::unique_ptr<Files::Find_Record[]>> chunks_;
    std::size_t in_use_ = 0;
};

// The state of one walk, the walking thread's alone: the root in the form the platform
// takes at any length, the look-up crew (owners and streams only), the folders from the root
// down to the one being walked, and whether the walk has stopped.
class Walk_State {
public:
    Walk_State(const Walk_Request& request, File_List& into)
        : Platform_Root(Without_Trailing_Backslashes(Files::Long_Path_Form(request.Root + L'\\'))),
          Records(into),
          root_(request.Root),
          is_wanted_(*request.Is_Wanted),
          report_unreadable_(request.Report_Unreadable) {
        Files::Ask_Again_For_Streams();
        if (std::optional<std::uint64_t> root = Files::File_Index_Of(Platform_Root + L'\\'))
            ancestors_.push_back(*root);
        if (request.Owners_And_Streams) crew_.emplace(std::max(1, request.Lookup_Threads));
    }
    Walk_State(const Walk_State&) = delete;
    Walk_State& operator=(const Walk_State&) = delete;

    Lookup_Crew* Crew() { return crew_ ? &*crew_ : nullptr; }
    bool Is_Wanted() const { return is_wanted_; }
    void Report_Unreadable(const std::wstring& the_folder, unsigned long the_error) const {
        if (report_unreadable_) report_unreadable_(root_ + the_folder, the_error);
    }

    // A stop is noticed between two entries, as in a walk that looks up one entry after the
    // other: entries looked up ahead are recorded only up to the first whose look-up found
    // the walk stopped, and nothing is recorded after that anywhere in the tree.
    bool Is_To_Go_On() {
        if (!is_wanted_) has_stopped_ = true;
        return !has_stopped_;
    }
    bool Is_To_Go_On(const Lookup& the_lookup) {
        if (!the_lookup.Was_Begun) has_stopped_ = true;
        return !has_stopped_;
    }

    bool Is_Ancestor(const std::optional<std::uint64_t>& folder) const {
        return folder && std::find(ancestors_.begin(), ancestors_.end(), *folder) != ancestors_.end();
    }
    // A folder is among the ancestors while the walk is below it.
    void Enter(const std::optional<std::uint64_t>& folder) {
        entered_.push_back(folder.has_value());
        if (folder) ancestors_.push_back(*folder);
    }
    void Leave() {
        if (entered_.back()) ancestors_.pop_back();
        entered_.pop_back();
    }

    Chunk_Stack Chunks;
    const std::wstring Platform_Root;
    File_List& Records;

private:
    const std::wstring& root_;
    const std::atomic<bool>& is_wanted_;
    const std::function<void(const std::wstring&, unsigned long)>& report_unreadable_;
    bool has_stopped_ = false;
    std::vector<std::uint64_t> ancestors_;  // by file index, as far as they could be told
    std::vector<bool> entered_;
    std::optional<Lookup_Crew> crew_;
};

// The chunk of the folder being walked, while its walk lasts.
class Chunk_Lease {
public:
    explicit Chunk_Lease(Chunk_Stack& chunks) : chunks_(chunks), entries_(chunks.Push()) {}
    ~Chunk_Lease() { chunks_.Pop(); }
    Chunk_Lease(const Chunk_Lease&) = delete;
    Chunk_Lease& operator=(const Chunk_Lease&) = delete;
    Files::Find_Record* Entries() const { return entries_; }

private:
    Chunk_Stack& chunks_;
    Files::Find_Record* const entries_;
};

// The walk of one folder: every entry's records, and the folder's accumulated size.
class Folder_Scan {
public:
    Folder_Scan(Walk_State& walk, std::wstring the_folder)
        : walk_(walk),
          the_folder_(std::move(the_folder)),
          folder_name_(the_folder_),
          platform_folder_(walk.Platform_Root + the_folder_ + L'\\') {}

    File_Size Run() {
        Folder_Listing listing(platform_folder_ + L"*.*");
        const Chunk_Lease lease(walk_.Chunks);
        Lookup_Crew* const crew = walk_.Crew();
        Files::Find_Record* const chunk = lease.Entries();
        std::vector<Lookup> details;
        while (walk_.Is_To_Go_On()) {
            std::size_t count = 0;
            while (count < Listing_Chunk && listing.Next(chunk[count])) ++count;
            if (crew) details = Looked_Up(*crew, chunk, count);
            for (std::size_t index = 0; index < count; ++index) {
                if (crew ? !walk_.Is_To_Go_On(details[index]) : !walk_.Is_To_Go_On()) break;
                Process_File(chunk[index], crew ? &details[index].Result : nullptr);
            }
            if (count < Listing_Chunk) break;
        }
        if (listing.Error() != 0) walk_.Report_Unreadable(the_folder_, listing.Error());
        return folder_size_;
    }

private:
    std::wstring Platform_Path_Of(std::wstring_view filename) const {
        return std::wstring(platform_folder_).append(filename);
    }

    std::vector<Lookup> Looked_Up(Lookup_Crew& crew, const Files::Find_Record chunk[],
                                  std::size_t count) const {
        std::vector<Lookup> details(count);
        crew.Run(count, [&](std::size_t index) {
            if (!walk_.Is_Wanted()) return;
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
            if (!walk_.Is_Ancestor(index)) {
                walk_.Enter(index);
                object_size = Folder_Scan(walk_, (the_folder_ + L'\\').append(filename)).Run();
                walk_.Leave();
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
               walk_.Records);
    }

    Walk_State& walk_;
    const std::wstring the_folder_;
    const Wide_Text::Shared folder_name_;
    const std::wstring platform_folder_;  // with its trailing backslash
    File_Size folder_size_{};
};

}  // namespace

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

File_Size Walk(const Walk_Request& request, File_List& into) {
    Walk_State walk(request, into);
    return Folder_Scan(walk, std::wstring()).Run();
}

}  // namespace Work
