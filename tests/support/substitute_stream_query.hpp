#pragma once
// A stand-in for NtQueryInformationFile that reports scripted stream records, since Wine
// does not report a file's data streams.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "windows-files.hpp"

struct Scripted_Stream {
    std::wstring Name;
    std::uint64_t Size = 0;
};

// The records as the platform lays them out: each on a quadword boundary, each one's
// distance to the next filled in, 0 on the last.
std::vector<unsigned char> Stream_Buffer_Of(const std::vector<Scripted_Stream>& streams);

// Puts the stand-in in place for its lifetime. Each query copies Buffer (or, when
// Buffer_For is set, what it gives for the queried file's path) into the caller's buffer
// and returns Status; On_Query runs first, if set. Queries may come from several threads.
class Substitute_Stream_Query {
public:
    Substitute_Stream_Query();
    ~Substitute_Stream_Query();
    Substitute_Stream_Query(const Substitute_Stream_Query&) = delete;
    Substitute_Stream_Query& operator=(const Substitute_Stream_Query&) = delete;

    static inline std::vector<unsigned char> Buffer;
    static inline std::int32_t Status = 0;
    static inline std::atomic<int> Calls = 0;
    static inline std::function<void()> On_Query;
    static inline std::function<std::vector<unsigned char>(const std::wstring& path)> Buffer_For;

private:
    Windows::Files::Query_Information_File saved_;
};
