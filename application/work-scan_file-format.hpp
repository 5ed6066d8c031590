#pragma once
// Scan files as bytes: the layout's constants, the header and its checksum, numbers and
// texts, and the walk through chunks and records that yields each record's fields as the
// bytes hold them. Portable C++: no platform header, no thread, no state of its own; bytes
// that are not a whole scan raise one of the failures below.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "strings.hpp"

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

inline constexpr std::uint32_t Format_Version = 3;

namespace Layout {

inline constexpr std::string_view Magic{"QRXSCAN\x1A", 8};
inline constexpr std::size_t Header_Size = 40;
inline constexpr std::size_t Checksum_Size = 4;
inline constexpr std::uint32_t Ntfs_Flag = 1;
inline constexpr std::uint32_t Sizes_On_Disk_Flag = 2;  // format 3 on
inline constexpr std::uint32_t Known_Header_Flags = Ntfs_Flag | Sizes_On_Disk_Flag;
inline constexpr std::uint32_t Format_Without_Chunks = 1;
inline constexpr std::uint32_t First_Format_On_Disk = 3;
// The longest text a scan may hold, in UTF-16 units.
inline constexpr std::uint64_t Most_Text_Units = 0x7FFFFFFF;

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

}  // namespace Layout

// CRC-32 as zlib computes it, which lets any tool check a scan.
std::uint32_t Crc_32_Of(std::string_view the_bytes);
// The sum of bytes before, continued over these.
std::uint32_t Crc_32_After(std::uint32_t the_crc, std::string_view the_bytes);
// The sum of two pieces one after the other, from the sum of each.
std::uint32_t Crc_32_Of_Both(std::uint32_t first, std::uint32_t second, std::uint64_t second_length);

struct Header {
    std::uint32_t Version;
    std::uint32_t Flags;
    std::uint64_t Made;  // 100 ns since 1601, UTC
    std::uint64_t Record_Count;
    std::uint64_t Body_Length;
};

// The header of bytes that hold a whole scan of a known version, its checksum checked.
Header Checked_Header(std::string_view bytes);

// A text as the bytes hold it: a byte a unit, or two (little-endian UTF-16).
struct Text_Field {
    const std::uint8_t* Units = nullptr;
    std::size_t Length = 0;
    bool Is_Narrow = true;
};

// One record's fields. Folders and owners are numbered by first use in the walk (owners
// from 1, 0 for none); a record that uses one first also holds its text.
struct Record_Fields {
    std::uint8_t Flags = 0;
    std::size_t Folder = 0;
    bool Is_New_Folder = false;
    Text_Field Folder_Text;
    std::size_t Owner = 0;
    bool Is_New_Owner = false;
    std::basic_string_view<std::uint8_t> Owner_Sid;
    Text_Field Owner_Name;
    Text_Field Name;
    Text_Field Stream;  // empty unless the record is a stream's
    std::uint64_t Size = 0;
    std::uint64_t Size_On_Disk = 0;  // 0 in formats before 3
    std::uint64_t Time = 0;  // last access, 100 ns since 1601
};

// The records of a scan one after the other, chunk by chunk; the bytes must outlast it.
class Record_Walk {
public:
    explicit Record_Walk(std::string_view the_bytes);  // the header, the root and the volume

    // A run of whole chunks, which a walk of its own can go through beside the others.
    struct Part {
        const char* From;
        const char* To;
        std::uint64_t Records;
    };
    // The records not read yet in about that many parts of about as many records each:
    // fewer when there are fewer chunks, one for a scan of format 1.
    std::vector<Part> Parts(std::size_t the_count) const;
    Record_Walk(const Record_Walk& the_whole, const Part& the_part);

    const Header& Head() const { return header_; }
    const Text_Field& Root() const { return root_; }
    std::uint64_t Volume_Total() const { return volume_total_; }  // 0 when unknown
    std::uint64_t Volume_Free() const { return volume_free_; }

    bool Next(Record_Fields& into);  // false after the last record

private:
    void Start_Reading();
    void Start_Chunk();
    void Read_Folder(Record_Fields& into);
    void Read_Owner(Record_Fields& into);

    void Need(std::uint64_t length) const {
        if (length > static_cast<std::uint64_t>(limit_ - next_)) Throw_Past_End();
    }
    [[noreturn]] static void Throw_Past_End();
    std::uint8_t Byte() {
        Need(1);
        return static_cast<std::uint8_t>(*next_++);
    }
    std::uint64_t Number() {
        // Most numbers take a byte.
        if (next_ != limit_ && static_cast<std::uint8_t>(*next_) < 0x80) return static_cast<std::uint8_t>(*next_++);
        return Longer_Number();
    }
    std::uint64_t Longer_Number();
    Text_Field Field();
    std::basic_string_view<std::uint8_t> Raw(std::uint64_t length);

    Header header_{};
    Text_Field root_;
    std::uint64_t volume_total_ = 0;
    std::uint64_t volume_free_ = 0;
    const char* next_ = nullptr;
    const char* end_ = nullptr;    // of the records
    const char* limit_ = nullptr;  // of what may be read now: the chunk's end, or the records'
    std::uint64_t read_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t left_in_chunk_ = 0;
    std::size_t folders_ = 0;  // met so far
    std::size_t owners_ = 0;
    std::size_t chunk_folders_ = 0;  // those before the chunk
    std::size_t chunk_owners_ = 0;
    std::uint64_t time_ = 0;
};

}  // namespace Work::Scan_File
