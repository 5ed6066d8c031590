// Scan files read: the records the format's walk yields made into the program's, runs of
// chunks decoded on several threads, or records gone through one by one.
#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "windows-files.hpp"
#include "work-scan_file-layout.hpp"
#include "work-scan_file.hpp"

namespace Work::Scan_File {

namespace Files = Windows::Files;
using namespace Layout;

namespace {

// Each thread's reader and list are its own, on its own stack: both are written for every
// record, and two threads writing to one cache line take turns.
File_List Decoded(const Record_Reader& the_whole, const Record_Reader::Part& the_part) {
    Record_Reader reader(the_whole, the_part);
    File_List records;
    // A record takes six bytes at least: a damaged count reserves no more than the bytes hold.
    constexpr std::uint64_t Smallest_Record_Size = 6;
    const auto bytes = static_cast<std::uint64_t>(the_part.To - the_part.From);
    Reserve(records, static_cast<std::size_t>(std::min(the_part.Records, bytes / Smallest_Record_Size)));
    while (reader.Next()) reader.Fill(Append_Default(records));
    return records;
}

}  // namespace

Scan Scan_Of(std::string_view the_bytes) {
    const Record_Reader whole(the_bytes);
    const std::vector<Record_Reader::Part> parts = whole.Parts(Worker_Count());
    std::vector<std::future<File_List>> decoding;
    for (std::size_t part = 1; part < parts.size(); ++part)
        decoding.push_back(std::async(std::launch::async, Decoded, std::cref(whole), std::cref(parts[part])));
    Scan scan{whole.About(), Decoded(whole, parts[0])};
    for (auto& part : decoding) {
        File_List records = part.get();
        Attach(records, scan.Records, Definite_Element::Place::At_Back);
    }
    return scan;
}

Record_Reader::Record_Reader(std::string_view the_bytes) : walk_(the_bytes) {
    const Header& header = walk_.Head();
    about_.Is_Ntfs = (header.Flags & Ntfs_Flag) != 0;
    about_.Made = Time_Of(header.Made);
    about_.Has_Sizes_On_Disk = (header.Flags & Sizes_On_Disk_Flag) != 0;
    about_.Root = Decoded(walk_.Root(), text_);
    if (walk_.Volume_Total() != 0)
        about_.Volume = Files::Volume_Space{File_Size::From(walk_.Volume_Total()),
                                            File_Size::From(walk_.Volume_Free())};
}

Record_Reader::Record_Reader(const Record_Reader& the_whole, const Part& the_part)
    : walk_(the_whole.walk_, the_part), about_(the_whole.about_) {}

bool Record_Reader::Next() {
    if (!walk_.Next(fields_)) return false;
    if (fields_.Is_New_Folder) folders_.emplace_back(Decoded(fields_.Folder_Text, text_));
    if (fields_.Is_New_Owner) {
        Decoded(fields_.Owner_Name, text_);
        const Files::Owner owner = Files::Owner_With_Sid(fields_.Owner_Sid, text_);
        if (owner == nullptr) throw Inconsistent_Scan("an owner is not a valid SID");
        owners_.push_back(owner);
    }
    owner_ = fields_.Owner == 0 ? nullptr : owners_[fields_.Owner - 1];
    return true;
}

bool Record_Reader::Is_Folder() const { return fields_.Flags & Folder; }
bool Record_Reader::Is_Shared() const { return fields_.Flags & Shared; }

File_Information Record_Reader::Record() {
    File_Information file;
    Fill(file);
    return file;
}

void Record_Reader::Fill(File_Information& file) {
    const std::uint8_t flags = fields_.Flags;
    file.Folder_Name = folders_[fields_.Folder].Copy();
    file.File_Name = Shared_Text(fields_.Name);
    file.Owner = owner_;
    if (flags & Stream) file.Stream_Name = Shared_Text(fields_.Stream);
    file.Object_Size = File_Size::From(fields_.Size);
    file.Size_On_Disk = File_Size::From(fields_.Size_On_Disk);
    file.Has_Size_On_Disk = about_.Has_Sizes_On_Disk;
    file.Last_Accessed = Time_Of(fields_.Time);
    file.Is_Folder = flags & Folder;
    file.Is_Stream = flags & Stream;
    file.Is_Compressed = flags & Compressed;
    file.Is_System = flags & System;
    file.Is_Hidden = flags & Hidden;
    file.Has_Streams = flags & Has_Streams;
    file.Is_Shared = flags & Shared;
}

// Into a buffer kept from record to record: a record's texts cost no allocation to read.
std::wstring_view Record_Reader::Decoded(const Text_Field& the_field, std::wstring& into) {
    into.resize(the_field.Length);
    const std::uint8_t* from = the_field.Units;
    if (the_field.Is_Narrow) {
        std::copy(from, from + the_field.Length, into.begin());
    } else {
        for (std::size_t unit = 0; unit < the_field.Length; ++unit) into[unit] = Wide_Text::Little_Endian_Unit(from, unit);
    }
    return into;
}

bool Record_Reader::Has_Name(std::wstring_view the_name) const {
    const Text_Field& name = fields_.Name;
    if (the_name.size() != name.Length) return false;
    const std::uint8_t* units = name.Units;
    if (name.Is_Narrow) return std::equal(the_name.begin(), the_name.end(), units);
    for (std::size_t unit = 0; unit < the_name.size(); ++unit)
        if (the_name[unit] != Wide_Text::Little_Endian_Unit(units, unit)) return false;
    return true;
}

// Names of plain ASCII, nearly all of them, go from the bytes to their text at once.
Wide_Text::Shared Record_Reader::Shared_Text(const Text_Field& the_field) {
    if (the_field.Is_Narrow) return names_.Text_Of_Bytes({the_field.Units, the_field.Length});
    return names_.Text_Of_Little_Endian(the_field.Units, the_field.Length);
}

Scan Load(const std::wstring& path) {
    return Scan_Of(Files::Contents_Of(path));
}

}  // namespace Work::Scan_File
