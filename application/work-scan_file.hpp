#pragma once
// Scan files: the records of one walk with its root, kept beyond the window, so that a scan
// can be shown, reported or compared later without touching the disk. The format is laid
// out in docs/scan-file-format.md.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "strings.hpp"
#include "work-walk.hpp"

namespace Work::Scan_File {

// Every way in which a file is not a scan that can be read.
struct Unreadable_Scan : ::Failure {
    using ::Failure::Failure;
};
QUARRIX_FAILURE_OF(Unreadable_Scan, Not_A_Scan, "WORK.SCAN_FILE.NOT_A_SCAN");
QUARRIX_FAILURE_OF(Unreadable_Scan, Truncated_Scan, "WORK.SCAN_FILE.TRUNCATED_SCAN");
QUARRIX_FAILURE_OF(Unreadable_Scan, Newer_Version, "WORK.SCAN_FILE.NEWER_VERSION");
QUARRIX_FAILURE_OF(Unreadable_Scan, Bad_Checksum, "WORK.SCAN_FILE.BAD_CHECKSUM");
// The checksum holds but the contents contradict themselves: written by something else.
QUARRIX_FAILURE_OF(Unreadable_Scan, Inconsistent_Scan, "WORK.SCAN_FILE.INCONSISTENT_SCAN");

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

// A scan's records one after the other, seen through views that last until the next one: a
// comparison goes through a million older records and keeps only the few it shows. The
// bytes must outlast the reader.
class Record_Reader {
public:
    explicit Record_Reader(std::string_view the_bytes);  // the failures of Scan_Of
    const Description& About() const { return about_; }
    bool Next();  // to the next record; false after the last

    std::wstring_view Folder_Name() const { return folders_[folder_].View(); }
    std::wstring_view File_Name() const { return name_; }
    std::wstring_view Stream_Name() const { return stream_; }
    bool Is_Folder() const;
    bool Is_Shared() const;
    File_Size Object_Size() const { return size_; }
    File_Information Record();  // the record as a scan holds it
    std::uint64_t Record_Count() const { return count_; }
    std::uint64_t Body_Length() const { return static_cast<std::uint64_t>(end_ - body_); }

private:
    std::uint8_t Byte();
    std::uint64_t Number();
    void Text(std::wstring& into);
    std::basic_string_view<std::uint8_t> Raw(std::uint64_t length);
    void Need(std::uint64_t length) const;
    void Read_Folder();
    void Read_Owner();

    const char* body_ = nullptr;
    const char* next_ = nullptr;
    const char* end_ = nullptr;
    Description about_;
    std::uint64_t count_ = 0;
    std::uint64_t read_ = 0;
    std::vector<Windows::Files::Owner> owners_;
    std::vector<Wide_Text::Shared> folders_;
    std::size_t folder_ = 0;
    std::wstring name_;
    std::wstring stream_;
    std::wstring text_;  // a new folder's or owner's name
    Wide_Text::Shared_Batch names_;  // the records' names, made together
    Windows::Files::Owner owner_ = nullptr;
    std::uint8_t flags_ = 0;
    File_Size size_{};
    std::uint64_t time_ = 0;
};

// Save replaces the file only once the whole scan is written (Windows::Files::Write_Failure
// otherwise); Load raises Windows::Files::Read_Failure or one of the failures above.
void Save(const std::wstring& path, const Description& the_description,
          const File_List& the_records);
Scan Load(const std::wstring& path);

// CRC-32 as zlib computes it, which lets any tool check a scan.
std::uint32_t Crc_32_Of(std::string_view the_bytes);

}  // namespace Work::Scan_File
