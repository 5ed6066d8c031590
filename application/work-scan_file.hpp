#pragma once
// Scan files: the records of one walk with its root, kept beyond the window, so that a scan
// can be shown, reported or compared later without touching the disk. The format is laid
// out in docs/scan-file-format.md.

#include <cstdint>
#include <optional>
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

inline constexpr std::uint32_t Format_Version = 3;
inline constexpr const wchar_t* Extension = L"qscan";

// What a scan says about itself.
struct Description {
    std::wstring Root;  // as searched, without trailing backslashes
    bool Is_Ntfs = false;  // owners and streams were looked up
    File_Time Made{};  // when the walk began, UTC
    bool Has_Sizes_On_Disk = true;  // false for a scan of a format before 3
    std::optional<Windows::Files::Volume_Space> Volume;  // of the root, when known
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

    // A run of whole chunks, which a reader of its own can decode beside the others.
    struct Part {
        const char* From;
        const char* To;
        std::uint64_t Records;
    };
    // The records not read yet in about that many parts of about as many records each:
    // fewer when there are fewer chunks, one for a scan of format 1.
    std::vector<Part> Parts(std::size_t the_count) const;
    Record_Reader(const Record_Reader& the_whole, const Part& the_part);

    const Description& About() const { return about_; }
    bool Next();  // to the next record; false after the last

    std::wstring_view Folder_Name() const { return folders_[folder_].View(); }
    std::wstring_view File_Name() const { return Decoded(name_, name_text_); }
    bool Has_Name(std::wstring_view the_name) const;  // as File_Name() == the_name, sooner
    std::wstring_view Stream_Name() const { return Decoded(stream_, stream_text_); }
    bool Is_Folder() const;
    bool Is_Shared() const;
    File_Size Object_Size() const { return size_; }
    File_Size Size_On_Disk() const { return size_on_disk_; }
    bool Has_Size_On_Disk() const { return about_.Has_Sizes_On_Disk; }
    Windows::Files::Owner Owner() const { return owner_; }
    File_Information Record();  // the record as a scan holds it
    void Fill(File_Information& the_record);  // the same into a record that is still empty

private:
    // A text as the bytes hold it: a byte a unit, or two.
    struct Text_Field {
        const std::uint8_t* Units = nullptr;
        std::size_t Length = 0;
        bool Is_Narrow = true;
    };
    static std::wstring_view Decoded(const Text_Field& the_field, std::wstring& into);
    Wide_Text::Shared Shared_Text(const Text_Field& the_field);
    std::uint8_t Byte();
    std::uint64_t Number();
    std::uint64_t Longer_Number();
    Text_Field Field();
    void Text(std::wstring& into);
    std::basic_string_view<std::uint8_t> Raw(std::uint64_t length);
    void Need(std::uint64_t length) const;
    void Start_Reading();
    void Start_Chunk();
    void Read_Folder();
    void Read_Owner();
    void Read_Volume();

    std::uint32_t version_ = Format_Version;
    const char* next_ = nullptr;
    const char* end_ = nullptr;    // of the records
    const char* limit_ = nullptr;  // of what may be read now: the chunk's end, or the records'
    Description about_;
    std::uint64_t count_ = 0;
    std::uint64_t read_ = 0;
    std::uint64_t left_in_chunk_ = 0;
    // Of every chunk read so far: a text once given out stays where it is while the reader
    // lives, so a comparison may know a folder by its address.
    std::vector<Windows::Files::Owner> owners_;
    std::vector<Wide_Text::Shared_Copies> folders_;
    std::size_t chunk_owners_ = 0;   // those before the chunk
    std::size_t chunk_folders_ = 0;
    std::size_t folder_ = 0;
    Text_Field name_;
    Text_Field stream_;
    // The record's names, decoded when asked for.
    mutable std::wstring name_text_;
    mutable std::wstring stream_text_;
    std::wstring text_;  // the root's, a new folder's or owner's name
    Wide_Text::Shared_Batch names_;  // the records' names, made together
    Windows::Files::Owner owner_ = nullptr;
    std::uint8_t flags_ = 0;
    File_Size size_{};
    File_Size size_on_disk_{};
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
