#include "walking.hpp"

namespace Walking {

namespace {

Work::File_List walked;
std::atomic<bool> is_wanted = false;
std::vector<Unreadable_Folder> unreadable;

}  // namespace

bool Search(const std::wstring& root, int lookup_threads) {
    if (!Work::Is_Existing_Folder(root)) return false;
    Clear(walked);
    unreadable.clear();
    is_wanted = true;
    Work::Walk({.Root = Work::Without_Trailing_Backslashes(root),
                .Owners_And_Streams = true,
                .Lookup_Threads = lookup_threads,
                .Is_Wanted = &is_wanted,
                .Report_Unreadable =
                    [](const std::wstring& path, unsigned long error) {
                        unreadable.push_back({path, error});
                    },
                .Report_Progress = nullptr},
               walked);
    is_wanted = false;
    return true;
}

void Stop() { is_wanted = false; }

const std::vector<Unreadable_Folder>& Unreadable() { return unreadable; }

const Work::File_List& Walked() { return walked; }

std::vector<Work::File_Information> Records() { return Elements_Of(walked, 1).Elements; }

std::wstring Path_Of(const Work::File_Information& record) {
    return record.Folder_Name + L"\\" + record.File_Name + record.Stream_Name;
}

const Work::File_Information* Record_Of(const std::vector<Work::File_Information>& records,
                                        const std::wstring& path) {
    for (const Work::File_Information& record : records)
        if (Path_Of(record) == path) return &record;
    return nullptr;
}

}  // namespace Walking
