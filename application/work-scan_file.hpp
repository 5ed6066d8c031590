#pragma once
// Scan files: the records of one walk with its root, kept beyond the window, so that a scan
// can be shown, reported or compared later without touching the disk. The format is laid
// out in docs/scan-file-format.md.

#include <cstdint>
#include <string>
#include <string_view>

#include "strings.hpp"
#include "work-walk.hpp"

namespace Work::Scan_File {

QUARRIX_FAILURE(Not_A_Scan, "WORK.SCAN_FILE.NOT_A_SCAN");
QUARRIX_FAILURE(Truncated_Scan, "WORK.SCAN_FILE.TRUNCATED_SCAN");
QUARRIX_FAILURE(Newer_Version, "WORK.SCAN_FILE.NEWER_VERSION");
QUARRIX_FAILURE(Bad_Checksum, "WORK.SCAN_FILE.BAD_CHECKSUM");
// The checksum holds but the contents contradict themselves: written by something else.
QUARRIX_FAILURE(Inconsistent_Scan, "WORK.SCAN_FILE.INCONSISTENT_SCAN");

inline constexpr std::uint32_t Format_Version = 1;
inline constexpr const wchar_t* Extension = L"qscan";

// What a scan says about itself.
struct Description {
    std::wstring Root;  // as searched, without trailing backslashes
    bool Is_Ntfs = false;  // owners and streams were looked up
    File_Time Made{};  // when the walk began, UTC
};

struct Scan {
    Description About;
    File_List Records;
};

// The file's bytes for the records, and the scan those bytes hold; Scan_Of raises one of
// the failures above for bytes that are not a whole scan of a version it knows.
std::string Bytes_Of(const Description& the_description, const File_List& the_records);
Scan Scan_Of(std::string_view the_bytes);

// Save replaces the file only once the whole scan is written (Windows::Files::Write_Failure
// otherwise); Load raises Windows::Files::Read_Failure or one of the failures above.
void Save(const std::wstring& path, const Description& the_description,
          const File_List& the_records);
Scan Load(const std::wstring& path);

// CRC-32 as zlib computes it, which lets any tool check a scan.
std::uint32_t Crc_32_Of(std::string_view the_bytes);

}  // namespace Work::Scan_File
