#pragma once
// What the writer and the reader of scan files share: the layout's constants, the record's
// flags and the threads that share the work. Inside work-scan_file*.cpp only.

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <thread>

#include "work-walk.hpp"

namespace Work::Scan_File::Layout {

inline constexpr std::string_view Magic{"QRXSCAN\x1A", 8};
inline constexpr std::size_t Header_Size = 40;
inline constexpr std::size_t Checksum_Size = 4;
inline constexpr std::uint32_t Ntfs_Flag = 1;
inline constexpr std::uint32_t Sizes_On_Disk_Flag = 2;  // format 3 on
inline constexpr std::uint32_t Known_Header_Flags = Ntfs_Flag | Sizes_On_Disk_Flag;
inline constexpr std::uint32_t Format_Without_Chunks = 1;
inline constexpr std::uint32_t First_Format_On_Disk = 3;

// Threads that encode or decode chunks: as many as the processor runs at once.
inline std::size_t Worker_Count() {
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
}

// The record's flag bits, in the order the format lists them.
enum Record_Flag : std::uint8_t {
    Folder = 1,
    Stream = 2,
    Compressed = 4,
    System = 8,
    Hidden = 16,
    Has_Streams = 32,
    Shared = 64,
};
inline constexpr std::uint8_t Known_Record_Flags = 127;

inline File_Time Time_Of(std::uint64_t value) {
    return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

}  // namespace Work::Scan_File::Layout
