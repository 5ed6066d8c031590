#pragma once
// What the writer and the reader of scan files share beyond the bytes' format: the threads
// that share the work and the times' type. Inside work-scan_file*.cpp only.

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <thread>

#include "work-scan_file-format.hpp"
#include "work-walk.hpp"

namespace Work::Scan_File::Layout {

// Threads that encode or decode chunks: as many as the processor runs at once.
inline std::size_t Worker_Count() {
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
}

inline File_Time Time_Of(std::uint64_t value) {
    return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

}  // namespace Work::Scan_File::Layout
