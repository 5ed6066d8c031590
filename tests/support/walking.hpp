#pragma once
// Walks as a search runs them, without a window, into a list of the tests' own.

#include <atomic>
#include <string>
#include <vector>

#include "work-walk.hpp"

namespace Walking {

// False, and nothing walked, when the root is not an existing folder. With a thread count,
// the owners and streams are looked up by that many threads.
bool Search(const std::wstring& root, int lookup_threads = 16);

// The folders the last search could not list, as it reported them.
struct Unreadable_Folder {
    std::wstring Path;
    unsigned long Error = 0;
};
const std::vector<Unreadable_Folder>& Unreadable();

// As Stop does: the walk in progress ends at the next entry.
void Stop();

const Work::File_List& Walked();
std::vector<Work::File_Information> Records();               // in the order of the walk
std::wstring Path_Of(const Work::File_Information& record);  // "\folder\name" and the stream
// The record of that path, or null.
const Work::File_Information* Record_Of(const std::vector<Work::File_Information>& records,
                                        const std::wstring& path);

}  // namespace Walking
