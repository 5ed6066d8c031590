#include "work-walk.hpp"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "windows.hpp"
#include "work-walk-threads.hpp"

namespace Work {

namespace Files = Windows::Files;
using Walking::Lookup_Crew;
using Walking::Progress_Watch;

namespace {

using Find_Handle = Windows::Unique<HANDLE, FindClose>;

// The entries of one folder in the order the file system lists them.
class Folder_Listing {
public:
    // False when the listing is exhausted, or the folder cannot be read; then the error is
    // kept, none for a listing that simply ended. The folder (its platform path with the
    // trailing backslash) is read at the first call only. The handle goes as soon as the
    // listing ends, so that a deep walk holds none for folders whose entries are all listed.
    bool Next(const std::wstring& folder, Files::Find_Record& entry) {
        if (has_ended_) return false;
        if (found_) return Took(FindNextFileW(found_.get(), &entry));
        // Without short names, which the platform would otherwise make up for every entry,
        // and in large batches.
        HANDLE found = FindFirstFileExW((folder + L"*.*").c_str(), FindExInfoBasic, &entry,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (found == INVALID_HANDLE_VALUE) return Took(false);
        found_.reset(found);
        return true;
    }

    unsigned long Error() const { return error_; }

private:
    bool Took(bool has_entry) {
        if (has_entry) return true;
        const DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND) error_ = error;
        has_ended_ = true;
        found_.reset();
        return false;
    }

    unsigned long error_ = 0;
    bool has_ended_ = false;
    Find_Handle found_;
};

struct Lookup {
    bool Was_Begun = false;  // before the walk was stopped
    Files::Owner_And_Streams Result;
};

// Where an object was first met, to be opened again should another show its file index.
// A file index names an object on its volume only. Under Wine the host's symbolic links
// and mounts lead to other file systems, whose inode numbers are the indices; on Windows
// a network share may hold another volume. The volume costs several times the rest of a
// look-up to ask for, so it is asked only when an index is met again, and once an object.
class Asked_Volume {
public:
    // None when it cannot be told.
    template <typename Path_Maker>
    const std::optional<std::uint32_t>& Of(std::uint64_t the_index, const Path_Maker& path_of) {
        if (is_asked_) return volume_;
        is_asked_ = true;
        const std::optional<Files::File_Identity> identity = Files::File_Identity_Of(path_of());
        if (identity && identity->Index == the_index) volume_ = identity->Volume;
        return volume_;
    }

private:
    bool is_asked_ = false;
    std::optional<std::uint32_t> volume_;
};

// Objects whose volumes cannot be told are taken for one, as by their index alone.
bool Are_On_One_Volume(const std::optional<std::uint32_t>& one, const std::optional<std::uint32_t>& other) {
    return !one || !other || *one == *other;
}

struct Met_Object {
    Wide_Text::Shared Folder_Name;  // relative to the root; the object's own for a folder
    Wide_Text::Shared File_Name;    // empty for a folder
    Asked_Volume Volume;
};

// A folder on the way down, by its file index and the length of its platform path.
struct Ancestor {
    std::uint64_t Index;
    std::size_t Path_Length;
    Asked_Volume Volume;
};

struct Object_Sizes {
    File_Size Logical;
    File_Size On_Disk;
    Object_Sizes& operator+=(const Object_Sizes& other) {
        Logical = Unsigned::Saturated_Sum(Logical, other.Logical);
        On_Disk = Unsigned::Saturated_Sum(On_Disk, other.On_Disk);
        return *this;
    }
};

// Entries are listed this many at a time, then looked up together and recorded in listing
// order, so that memory stays bounded in a folder of any size.
constexpr std::size_t Listing_Chunk = 1024;

// One folder on the way from the root down to the one being walked.
struct Folder_Frame {
    Folder_Frame(Wide_Text::Shared folder_name, std::size_t path_length, bool is_ancestor,
                 bool is_shared)
        : Folder_Name(std::move(folder_name)),
          Path_Length(path_length),
          Is_Ancestor(is_ancestor),
          Is_Shared(is_shared) {}

    Folder_Listing Listing;
    const Wide_Text::Shared Folder_Name;  // relative to the root, as its records have it
    const std::size_t Path_Length;        // of its platform path, with the trailing backslash
    const bool Is_Ancestor;               // its file index is among the ancestors
    const bool Is_Shared;                 // reached before by another path
    bool Has_Listed_All = false;          // or the walk has stopped here
    // The listed entries not yet recorded: the walk's shared chunk, or, once a subfolder's
    // listing needs that, the folder's own copy of the rest, the subfolder's entry first.
    const Files::Find_Record* Entries = nullptr;
    std::size_t Next = 0;
    std::size_t Count = 0;
    std::vector<Files::Find_Record> Kept;
    std::vector<Lookup> Details;  // of the entries, when owners and streams are looked up
    Object_Sizes Size{};        // what its contents add to the sums: each object once
    Object_Sizes Shown_Size{};  // the sizes its contents' records show

    // The sizes its own record shows: a folder reached again shows what it holds.
    Object_Sizes Object_Size() const { return Is_Shared ? Shown_Size : Size; }
    void Add(Object_Sizes object_size, bool is_shared) {
        if (!is_shared) Size += object_size;
        Shown_Size += object_size;
    }
};

// One walk, depth first, without recursion: the frames of the folders from the root down to
// the one being walked, its platform path, one chunk for whichever folder is listing. A tree
// thousands of levels deep costs a frame a level and the entries still to record, no more.
class Tree_Walk {
public:
    Tree_Walk(const Walk_Request& request, File_List& into)
        : records_(into),
          platform_root_(Without_Trailing_Backslashes(Files::Long_Path_Form(request.Root + L'\\'))),
          root_(request.Root),
          is_wanted_(*request.Is_Wanted),
          report_unreadable_(request.Report_Unreadable),
          progress_(request),
          chunk_(std::make_unique_for_overwrite<Files::Find_Record[]>(Listing_Chunk)),
          cluster_size_(Files::Cluster_Size_Of(request.Root + L'\\')) {
        Files::Ask_Again_For_Streams();
        if (request.Owners_And_Streams) crew_.emplace(std::max(1, request.Lookup_Threads));
    }
    Tree_Walk(const Tree_Walk&) = delete;
    Tree_Walk& operator=(const Tree_Walk&) = delete;

    File_Size Run() {
        path_ = platform_root_ + L'\\';
        Push(Wide_Text::Shared(), Files::File_Index_Of(path_));
        for (;;) {
            Folder_Frame& frame = frames_.back();
            if (frame.Next == frame.Count && !Listed_A_Chunk(frame)) {
                const Object_Sizes size = frame.Object_Size();
                const bool is_shared = frame.Is_Shared;
                Pop();
                if (frames_.empty()) {
                    progress_.End();
                    return size.Logical;
                }
                Record_Entered_Folder(frames_.back(), size, is_shared);
            } else if (crew_ ? !Is_To_Go_On(frame.Details[frame.Next]) : !Is_To_Go_On()) {
                frame.Next = frame.Count;
                frame.Has_Listed_All = true;
            } else {
                Process_Entry(frame);
            }
        }
    }

private:
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

    bool Is_Ancestor(const std::optional<std::uint64_t>& folder, std::wstring_view filename) {
        if (!folder) return false;
        Asked_Volume candidate;
        for (Ancestor& ancestor : ancestors_) {
            if (ancestor.Index != *folder) continue;
            const auto& volume = candidate.Of(*folder, [&] { return std::wstring(path_).append(filename); });
            if (Are_On_One_Volume(volume, ancestor.Volume.Of(*folder, [&] { return path_.substr(0, ancestor.Path_Length); })))
                return true;
        }
        return false;
    }

    std::wstring Platform_Path_Of(const Met_Object& the_object) const {
        return platform_root_ + the_object.Folder_Name + L'\\' + the_object.File_Name;
    }

    // Hard links, and under Wine the host's symbolic links, which it follows, lead to one
    // object by several paths: only the first one met adds its size to the sums. Only the
    // walk with look-ups knows every object's index (its handle is open anyway), and only
    // there can an object be met twice: the walk without is for volumes without links.
    bool Is_Met_Before(const std::optional<std::uint64_t>& index, const Wide_Text::Shared& folder_name,
                       const Wide_Text::Shared& file_name) {
        if (!crew_ || !index) return false;
        Met_Object object{.Folder_Name = folder_name, .File_Name = file_name, .Volume = {}};
        const auto [first, last] = met_.equal_range(*index);
        for (auto met = first; met != last; ++met) {
            Met_Object& before = met->second;
            const auto& volume = object.Volume.Of(*index, [&] { return Platform_Path_Of(object); });
            if (Are_On_One_Volume(volume, before.Volume.Of(*index, [&] { return Platform_Path_Of(before); })))
                return true;
        }
        met_.emplace(*index, std::move(object));
        return false;
    }

    // The folder whose platform path is path_ becomes the one being walked.
    void Push(Wide_Text::Shared folder_name, const std::optional<std::uint64_t>& index) {
        if (index) ancestors_.push_back({*index, path_.size(), {}});
        const bool is_shared = Is_Met_Before(index, folder_name, Wide_Text::Shared());
        frames_.emplace_back(std::move(folder_name), path_.size(), index.has_value(), is_shared);
        progress_.Entered(frames_.back().Folder_Name);
    }

    void Pop() {
        const Folder_Frame& frame = frames_.back();
        if (frame.Listing.Error() != 0 && report_unreadable_)
            report_unreadable_(root_ + frame.Folder_Name, frame.Listing.Error());
        if (frame.Is_Ancestor) ancestors_.pop_back();
        frames_.pop_back();
        if (frames_.empty()) return;
        path_.resize(frames_.back().Path_Length);
        progress_.Entered(frames_.back().Folder_Name);
    }

    // The folder's next chunk into the shared one, looked up; false when nothing is left.
    bool Listed_A_Chunk(Folder_Frame& frame) {
        if (frame.Has_Listed_All || !Is_To_Go_On()) return false;
        std::size_t count = 0;
        while (count < Listing_Chunk && frame.Listing.Next(path_, chunk_[count])) ++count;
        frame.Has_Listed_All = count < Listing_Chunk;
        frame.Entries = chunk_.get();
        frame.Next = 0;
        frame.Count = count;
        if (crew_) frame.Details = Looked_Up(count);
        return count > 0;
    }

    std::vector<Lookup> Looked_Up(std::size_t count) {
        std::vector<Lookup> details(count);
        crew_->Run(count, [&](std::size_t index) {
            if (!is_wanted_) return;
            details[index].Was_Begun = true;
            const Files::Find_Record& entry = chunk_[index];
            const std::wstring_view filename = Files::Filename_Of(entry);
            if (Files::Is_Special_Directory(filename)) return;
            details[index].Result =
                Files::Owner_And_Streams_Of(std::wstring(path_).append(filename), entry);
        });
        return details;
    }

    // A file's own record, saved after its streams, carries their sum. A junction or link, or
    // a folder that is one of its own ancestors, may lead back up the tree: such a folder is
    // recorded, never entered.
    void Process_Entry(Folder_Frame& frame) {
        const Files::Find_Record& entry = frame.Entries[frame.Next];
        const std::wstring_view filename = Files::Filename_Of(entry);
        const Files::Owner_And_Streams* details = crew_ ? &frame.Details[frame.Next].Result : nullptr;
        const Files::Owner owner = details ? details->The_Owner : nullptr;
        if (Files::Is_Directory(entry)) {
            if (Files::Is_Special_Directory(filename)) {
                ++frame.Next;
                return;
            }
            if (!Files::Is_Reparse_Point(entry)) {
                const std::optional<std::uint64_t> index =
                    details && details->File_Index
                        ? details->File_Index
                        : Files::File_Index_Of(std::wstring(path_).append(filename));
                if (!Is_Ancestor(index, filename)) return Enter(frame, filename, index);
            }
            Save_Information(frame, entry, Wide_Text::Shared(filename), owner, Object_Sizes(),
                             Wide_Text::Shared(), false, false);
            ++frame.Next;
            return;
        }
        const Wide_Text::Shared name(filename);
        const bool is_shared = details && Is_Met_Before(details->File_Index, frame.Folder_Name, name);
        Object_Sizes object_size{};
        bool has_streams = false;
        if (details) {
            for (const Files::Stream_Record& stream : details->Streams) {
                const Object_Sizes stream_size{stream.Size, Size_On_Disk_Of(entry, stream.Size, stream.Size_On_Disk)};
                Save_Information(frame, entry, name, owner, stream_size, stream.Name, true, is_shared);
                object_size += stream_size;
            }
            has_streams = !details->Streams.empty();
        }
        if (!has_streams) {
            const File_Size size = Files::File_Size_Of(entry);
            object_size = {size, Size_On_Disk_Of(entry, size, details ? details->Size_On_Disk : std::nullopt)};
        }
        Save_Information(frame, entry, name, owner, object_size, Wide_Text::Shared(), has_streams,
                         is_shared);
        frame.Add(object_size, is_shared);
        ++frame.Next;
    }

    void Enter(Folder_Frame& frame, std::wstring_view filename,
               const std::optional<std::uint64_t>& index) {
        // The subfolder lists into the shared chunk: the rest of this one is kept apart, once.
        if (frame.Entries == chunk_.get()) {
            frame.Kept.assign(frame.Entries + frame.Next, frame.Entries + frame.Count);
            if (crew_) frame.Details.erase(frame.Details.begin(), frame.Details.begin() + frame.Next);
            frame.Entries = frame.Kept.data();
            frame.Count -= frame.Next;
            frame.Next = 0;
        }
        Wide_Text::Shared folder_name((frame.Folder_Name + L'\\').append(filename));
        path_.append(filename).push_back(L'\\');
        Push(std::move(folder_name), index);
    }

    // The subfolder at the frame's next entry has been walked.
    void Record_Entered_Folder(Folder_Frame& frame, Object_Sizes size, bool is_shared) {
        const Files::Find_Record& entry = frame.Entries[frame.Next];
        const Files::Owner owner = crew_ ? frame.Details[frame.Next].Result.The_Owner : nullptr;
        Save_Information(frame, entry, Wide_Text::Shared(Files::Filename_Of(entry)), owner, size,
                         Wide_Text::Shared(), false, is_shared);
        frame.Add(size, is_shared);
        ++frame.Next;
    }

    // What the platform reported, or where it could not tell, the size in whole clusters.
    File_Size Size_On_Disk_Of(const Files::Find_Record& entry, File_Size size,
                              const std::optional<File_Size>& reported) const {
        if (Files::Is_Held_Elsewhere(entry.dwFileAttributes)) return File_Size();
        if (reported) return *reported;
        return cluster_size_ ? Files::Rounded_To_Clusters(size, *cluster_size_) : size;
    }

    void Save_Information(const Folder_Frame& frame, const Files::Find_Record& entry,
                          const Wide_Text::Shared& name, Files::Owner owner, Object_Sizes object_size,
                          const Wide_Text::Shared& stream_name, bool has_streams, bool is_shared) {
        // As the totals line counts: files once each, folders by their contents.
        const bool is_counted_file = !Files::Is_Directory(entry) && stream_name.empty() && !is_shared;
        progress_.Recorded(is_counted_file ? object_size.Logical : File_Size());
        Append(File_Information{.File_Name = name,
                                .Folder_Name = frame.Folder_Name,
                                .Owner = owner,
                                .Stream_Name = stream_name,
                                .Object_Size = object_size.Logical,
                                .Size_On_Disk = object_size.On_Disk,
                                .Last_Accessed = entry.ftLastAccessTime,
                                .Is_Folder = Files::Is_Directory(entry),
                                .Is_Stream = !stream_name.empty(),
                                .Is_Compressed = Files::Is_Compressed(entry),
                                .Is_System = Files::Is_System(entry),
                                .Is_Hidden = Files::Is_Hidden(entry),
                                .Has_Streams = has_streams,
                                .Is_Shared = is_shared,
                                .Has_Size_On_Disk = true},
               records_);
    }

    File_List& records_;
    // The root in the form the platform takes at any length, without its trailing backslash.
    const std::wstring platform_root_;
    const std::wstring& root_;
    const std::atomic<bool>& is_wanted_;
    const std::function<void(const std::wstring&, unsigned long)>& report_unreadable_;
    Progress_Watch progress_;
    const std::unique_ptr<Files::Find_Record[]> chunk_;
    std::optional<Lookup_Crew> crew_;
    const std::optional<std::uint64_t> cluster_size_;
    bool has_stopped_ = false;
    std::wstring path_;  // of the folder being walked, with its trailing backslash
    std::deque<Folder_Frame> frames_;
    std::vector<Ancestor> ancestors_;  // as far as their indices could be told
    std::unordered_multimap<std::uint64_t, Met_Object> met_;  // by file index, with look-ups
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
    return Tree_Walk(request, into).Run();
}

std::vector<const File_Information*> Places_Of(const File_List& the_records) {
    std::vector<const File_Information*> places;
    places.reserve(static_cast<std::size_t>(Length_Of(the_records)));
    for (auto at = First(the_records); Has_Element(at); at = Next(at)) {
        places.push_back(&Element_At(at));
        // Records lie mostly in list order in memory, and a walk of the links waits for
        // each: the ones a few links on are asked for ahead.
        __builtin_prefetch(reinterpret_cast<const char*>(places.back()) + 1024);
    }
    return places;
}

}  // namespace Work
