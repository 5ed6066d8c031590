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
#include "work-scan_file-format.hpp"
#include "work-walk.hpp"

namespace Work::Scan_File {

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

// The file's bytes for the records, and the scan those bytes hold; Scan_Of raises an
// Unreadable_Scan for bytes that are not a whole scan of a version it knows.
std::string Bytes_Of(const Description& the_description, const File_List& the_records);
Scan Scan_Of(std::string_view the_bytes);

// A scan's records one after the other, seen through views that last until the next one: a
// comparison goes through a million older records and keeps only the few it shows. The
// bytes must outlast the reader.
class Record_Reader {
public:
    explicit Record_Reader(std::string_view the_bytes);  // the failures of Scan_Of

    // A run of whole chunks, which a reader of its own can decode beside the others.
    using Part = Record_Walk::Part;
    // The records not read yet in about that many parts of about as many records each:
    // fewer when there are fewer chunks, one for a scan of format 1.
    std::vector<Part> Parts(std::size_t the_count) const { return walk_.Parts(the_count); }
    Record_Reader(const Record_Reader& the_whole, const Part& the_part);

    const Description& About() const { return about_; }
    bool Next();  // to the next record; false after the last

    std::wstring_view Folder_Name() const { return folders_[fields_.Folder].View(); }
    std::wstring_view File_Name() const { return Decoded(fields_.Name, name_text_); }
    bool Has_Name(std::wstring_view the_name) const;  // as File_Name() == the_name, sooner
    std::wstring_view Stream_Name() const { return Decoded(fields_.Stream, stream_text_); }
    bool Is_Folder() const;
    bool Is_Shared() const;
    File_Size Object_Size() const { return File_Size::From(fields_.Size); }
    File_Size Size_On_Disk() const { return File_Size::From(fields_.Size_On_Disk); }
    bool Has_Size_On_Disk() const { return about_.Has_Sizes_On_Disk; }
    Windows::Files::Owner Owner() const { return owner_; }
    File_Information Record();  // the record as a scan holds it
    void Fill(File_Information& the_record);  // the same into a record that is still empty

private:
    static std::wstring_view Decoded(const Text_Field& the_field, std::wstring& into);
    Wide_Text::Shared Shared_Text(const Text_Field& the_field);

    Record_Walk walk_;
    Record_Fields fields_;
    Description about_;
    // Of every chunk read so far: a text once given out stays where it is while the reader
    // lives, so a comparison may know a folder by its address.
    std::vector<Windows::Files::Owner> owners_;
    std::vector<Wide_Text::Shared_Copies> folders_;
    // The record's names, decoded when asked for.
    mutable std::wstring name_text_;
    mutable std::wstring stream_text_;
    std::wstring text_;  // a new folder's or owner's name
    Wide_Text::Shared_Batch names_;  // the records' names, made together
    Windows::Files::Owner owner_ = nullptr;
};

// Save replaces the file only once the whole scan is written (Windows::Files::Write_Failure
// otherwise); Load raises Windows::Files::Read_Failure or an Unreadable_Scan.
void Save(const std::wstring& path, const Description& the_description,
          const File_List& the_records);
Scan Load(const std::wstring& path);

}  // namespace Work::Scan_File
