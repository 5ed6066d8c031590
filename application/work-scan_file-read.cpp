// Scan files read: the header and checksum checked over the bytes as they lie, then runs of
// chunks decoded on several threads, or records gone through one by one.
#include <algorithm>
#include <cstring>
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

std::uint64_t Unzigzag(std::uint64_t value) { return (value >> 1) ^ (0 - (value & 1)); }

std::uint64_t Fixed_At(std::string_view bytes, std::size_t at, int byte_count) {
    std::uint64_t value = 0;
    for (int byte = byte_count - 1; byte >= 0; --byte)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + byte]);
    return value;
}

struct Header {
    std::uint32_t Version;
    std::uint32_t Flags;
    File_Time Made;
    std::uint64_t Record_Count;
    std::uint64_t Body_Length;
};

// The header of bytes that hold a whole scan of a known version, its checksum checked.
Header Checked_Header(std::string_view bytes) {
    if (bytes.size() < Magic.size() || bytes.substr(0, Magic.size()) != Magic) {
        if (bytes.size() < Magic.size() && Magic.substr(0, bytes.size()) == bytes && !bytes.empty())
            throw Truncated_Scan("the file ends inside its header");
        throw Not_A_Scan("the file does not begin as a scan does");
    }
    if (bytes.size() < Header_Size) throw Truncated_Scan("the file ends inside its header");
    const auto version = static_cast<std::uint32_t>(Fixed_At(bytes, 8, 4));
    if (version > Format_Version)
        throw Newer_Version("the scan is of format " + std::to_string(version) +
                            "; this version reads up to " + std::to_string(Format_Version));
    if (version == 0) throw Not_A_Scan("format 0 does not exist");
    const Header header{version, static_cast<std::uint32_t>(Fixed_At(bytes, 12, 4)),
                        Time_Of(Fixed_At(bytes, 16, 8)), Fixed_At(bytes, 24, 8),
                        Fixed_At(bytes, 32, 8)};
    const std::uint64_t available = bytes.size() - Header_Size;
    if (header.Body_Length > available || available - header.Body_Length < Checksum_Size)
        throw Truncated_Scan("the file holds " + std::to_string(bytes.size()) +
                             " bytes of the " +
                             std::to_string(Header_Size + header.Body_Length + Checksum_Size) +
                             " its header announces");
    const std::size_t checked_length = Header_Size + header.Body_Length;
    if (bytes.size() != checked_length + Checksum_Size)
        throw Inconsistent_Scan("bytes follow the checksum");
    if (Fixed_At(bytes, checked_length, 4) != Crc_32_Of(bytes.substr(0, checked_length)))
        throw Bad_Checksum("the contents do not match their checksum: the file is damaged");
    if ((header.Flags & ~Known_Header_Flags) != 0) throw Inconsistent_Scan("header flags the format does not define");
    return header;
}

template <typename Word>
Word Word_At(const std::uint8_t* at) {
    Word word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// Every text of a byte a unit is checked, most of them short names: eight bytes a step, and
// the last step overlapping the one before rather than a byte at a time.
bool Is_Ascii(const std::uint8_t* units, std::size_t length) {
    if (length >= 8) {
        std::uint64_t all_bits = Word_At<std::uint64_t>(units + length - 8);
        for (std::size_t unit = 0; unit + 8 < length; unit += 8) all_bits |= Word_At<std::uint64_t>(units + unit);
        return (all_bits & 0x8080808080808080u) == 0;
    }
    if (length >= 4)
        return ((Word_At<std::uint32_t>(units) | Word_At<std::uint32_t>(units + length - 4)) & 0x80808080u) == 0;
    std::uint8_t all_bits = 0;
    for (std::size_t unit = 0; unit < length; ++unit) all_bits |= units[unit];
    return all_bits < 0x80;
}

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

Record_Reader::Record_Reader(std::string_view the_bytes) {
    const Header header = Checked_Header(the_bytes);
    version_ = header.Version;
    next_ = the_bytes.data() + Header_Size;
    end_ = limit_ = next_ + header.Body_Length;
    count_ = header.Record_Count;
    about_.Is_Ntfs = (header.Flags & Ntfs_Flag) != 0;
    about_.Made = header.Made;
    about_.Has_Sizes_On_Disk = (header.Flags & Sizes_On_Disk_Flag) != 0;
    Text(text_);
    about_.Root = text_;
    if (version_ >= First_Format_On_Disk) Read_Volume();
    else if (about_.Has_Sizes_On_Disk) throw Inconsistent_Scan("sizes on disk in a format that has none");
    Start_Reading();
}

Record_Reader::Record_Reader(const Record_Reader& the_whole, const Part& the_part)
    : version_(the_whole.version_),
      next_(the_part.From),
      end_(the_part.To),
      limit_(the_part.To),
      about_(the_whole.about_),
      count_(the_part.Records) {
    Start_Reading();
}

// The records of the first format are one chunk without a head; the chunks of later ones
// begin after an empty chunk, as it were.
void Record_Reader::Start_Reading() {
    if (version_ == Format_Without_Chunks) left_in_chunk_ = count_;
    else limit_ = next_;
}

std::vector<Record_Reader::Part> Record_Reader::Parts(std::size_t the_count) const {
    if (version_ == Format_Without_Chunks || read_ != 0) return {{next_, end_, count_ - read_}};
    // Each chunk's start and the records before it, then the end and all of them.
    std::vector<std::pair<const char*, std::uint64_t>> starts;
    Record_Reader scout(*this, {next_, end_, count_});
    while (scout.next_ != scout.end_) {
        starts.emplace_back(scout.next_, scout.read_);
        scout.Start_Chunk();
        scout.read_ += scout.left_in_chunk_;
        scout.next_ = scout.limit_;
    }
    if (scout.read_ != count_) throw Inconsistent_Scan("the chunks hold fewer records than the header says");
    starts.emplace_back(end_, count_);
    std::vector<Part> parts;
    for (std::size_t chunk = 0, part = 1; chunk + 1 < starts.size(); ++part) {
        const std::uint64_t ends_before = count_ * part / the_count;
        std::size_t past = chunk + 1;
        while (past + 1 < starts.size() && starts[past].second < ends_before) ++past;
        parts.push_back({starts[chunk].first, starts[past].first, starts[past].second - starts[chunk].second});
        chunk = past;
    }
    if (parts.empty()) parts.push_back({next_, end_, 0});
    return parts;
}

void Record_Reader::Start_Chunk() {
    limit_ = end_;
    const std::uint64_t records = Number();
    const std::uint64_t length = Number();
    if (records == 0 || records > count_ - read_)
        throw Inconsistent_Scan("a chunk holds other than the records the header leaves for it");
    Need(length);
    limit_ = next_ + length;
    left_in_chunk_ = records;
    chunk_folders_ = folders_.size();
    chunk_owners_ = owners_.size();
    time_ = 0;
}

bool Record_Reader::Next() {
    while (left_in_chunk_ == 0) {
        if (next_ != limit_) throw Inconsistent_Scan("bytes follow a chunk's last record");
        limit_ = end_;
        if (next_ == end_) {
            if (read_ != count_) throw Inconsistent_Scan("the scan holds fewer records than its header says");
            return false;
        }
        Start_Chunk();
    }
    --left_in_chunk_;
    ++read_;
    flags_ = Byte();
    if ((flags_ & ~Known_Record_Flags) != 0) throw Inconsistent_Scan("unknown record flags");
    Read_Folder();
    name_ = Field();
    Read_Owner();
    stream_ = flags_ & Stream ? Field() : Text_Field{};
    size_ = File_Size::From(Number());
    if (version_ >= First_Format_On_Disk) size_on_disk_ = File_Size::From(Number());
    time_ += Unzigzag(Number());
    return true;
}

bool Record_Reader::Is_Folder() const { return flags_ & Folder; }
bool Record_Reader::Is_Shared() const { return flags_ & Shared; }

File_Information Record_Reader::Record() {
    File_Information file;
    Fill(file);
    return file;
}

void Record_Reader::Fill(File_Information& file) {
    file.Folder_Name = folders_[folder_].Copy();
    file.File_Name = Shared_Text(name_);
    file.Owner = owner_;
    if (flags_ & Stream) file.Stream_Name = Shared_Text(stream_);
    file.Object_Size = size_;
    file.Size_On_Disk = size_on_disk_;
    file.Has_Size_On_Disk = about_.Has_Sizes_On_Disk;
    file.Last_Accessed = Time_Of(time_);
    file.Is_Folder = flags_ & Folder;
    file.Is_Stream = flags_ & Stream;
    file.Is_Compressed = flags_ & Compressed;
    file.Is_System = flags_ & System;
    file.Is_Hidden = flags_ & Hidden;
    file.Has_Streams = flags_ & Has_Streams;
    file.Is_Shared = flags_ & Shared;
}

// The volume's total and free space, both 0 when unknown.
void Record_Reader::Read_Volume() {
    const std::uint64_t total = Number();
    const std::uint64_t free = Number();
    if (free > total) throw Inconsistent_Scan("a volume with more free space than it holds");
    if (total != 0) about_.Volume = Files::Volume_Space{File_Size::From(total), File_Size::From(free)};
}

void Record_Reader::Need(std::uint64_t length) const {
    if (length > static_cast<std::uint64_t>(limit_ - next_))
        throw Inconsistent_Scan("a field runs past the end of its chunk");
}

std::uint8_t Record_Reader::Byte() {
    Need(1);
    return static_cast<std::uint8_t>(*next_++);
}

std::uint64_t Record_Reader::Number() {
    // Most numbers take a byte.
    if (next_ != limit_ && static_cast<std::uint8_t>(*next_) < 0x80) return static_cast<std::uint8_t>(*next_++);
    return Longer_Number();
}

std::uint64_t Record_Reader::Longer_Number() {
    // Most fields are far from the end, where the longest number fits without a check a byte.
    constexpr std::ptrdiff_t Longest_Number = 10;
    if (limit_ - next_ >= Longest_Number) {
        const auto* from = reinterpret_cast<const std::uint8_t*>(next_);
        std::uint64_t value = 0;
        for (int index = 0; index < Longest_Number; ++index) {
            value |= std::uint64_t{from[index] & 0x7Fu} << (7 * index);
            if (from[index] < 0x80) {
                if (index == Longest_Number - 1 && from[index] > 1) break;  // over 64 bits
                next_ += index + 1;
                return value;
            }
        }
        throw Inconsistent_Scan("a number runs over 64 bits");
    }
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        const std::uint8_t byte = Byte();
        if (shift == 63 && byte > 1) break;
        value |= std::uint64_t{byte & 0x7Fu} << shift;
        if (byte < 0x80) return value;
    }
    throw Inconsistent_Scan("a number runs over 64 bits");
}

Record_Reader::Text_Field Record_Reader::Field() {
    const std::uint64_t field = Number();
    if ((field >> 1) > Wide_Text::Shared::Most_Units) throw Inconsistent_Scan("a text longer than any text can be");
    const Text_Field text{reinterpret_cast<const std::uint8_t*>(next_), static_cast<std::size_t>(field >> 1),
                          (field & 1) == 0};
    const std::uint64_t bytes = text.Is_Narrow ? field >> 1 : field & ~std::uint64_t{1};
    Need(bytes);
    if (text.Is_Narrow && !Is_Ascii(text.Units, text.Length))
        throw Inconsistent_Scan("a text of a byte a unit holds a byte of 0x80 or more");
    next_ += bytes;
    return text;
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

void Record_Reader::Text(std::wstring& into) { Decoded(Field(), into); }

bool Record_Reader::Has_Name(std::wstring_view the_name) const {
    if (the_name.size() != name_.Length) return false;
    const std::uint8_t* units = name_.Units;
    if (name_.Is_Narrow) return std::equal(the_name.begin(), the_name.end(), units);
    for (std::size_t unit = 0; unit < the_name.size(); ++unit)
        if (the_name[unit] != Wide_Text::Little_Endian_Unit(units, unit)) return false;
    return true;
}

// Names of plain ASCII, nearly all of them, go from the bytes to their text at once.
Wide_Text::Shared Record_Reader::Shared_Text(const Text_Field& the_field) {
    if (the_field.Is_Narrow) return names_.Text_Of_Bytes({the_field.Units, the_field.Length});
    return names_.Text_Of_Little_Endian(the_field.Units, the_field.Length);
}

std::basic_string_view<std::uint8_t> Record_Reader::Raw(std::uint64_t length) {
    Need(length);
    const auto* from = reinterpret_cast<const std::uint8_t*>(next_);
    next_ += length;
    return {from, static_cast<std::size_t>(length)};
}

void Record_Reader::Read_Folder() {
    const std::uint64_t folder = Number();
    const std::size_t known = folders_.size() - chunk_folders_;
    if (folder > known) throw Inconsistent_Scan("a folder number out of order");
    if (folder == known) {
        Text(text_);
        folders_.emplace_back(std::wstring_view(text_));
    }
    folder_ = chunk_folders_ + static_cast<std::size_t>(folder);
}

void Record_Reader::Read_Owner() {
    const std::uint64_t owner = Number();
    const std::size_t known = owners_.size() - chunk_owners_;
    if (owner == 0) {
        owner_ = nullptr;
    } else if (owner <= known) {
        owner_ = owners_[chunk_owners_ + owner - 1];
    } else {
        if (owner > known + 1) throw Inconsistent_Scan("an owner number out of order");
        const auto sid = Raw(Number());
        Text(text_);
        owner_ = Files::Owner_With_Sid(sid, text_);
        if (owner_ == nullptr) throw Inconsistent_Scan("an owner is not a valid SID");
        owners_.push_back(owner_);
    }
}

Scan Load(const std::wstring& path) {
    return Scan_Of(Files::Contents_Of(path));
}

}  // namespace Work::Scan_File
