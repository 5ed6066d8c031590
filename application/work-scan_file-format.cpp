// Scan files as bytes, portable: the header, the walk through chunks and records, numbers and
// texts (see work-scan_file-format.hpp).
#include "work-scan_file-format.hpp"

#include <algorithm>
#include <utility>

namespace Work::Scan_File {

using namespace Layout;

namespace {

std::uint64_t Unzigzag(std::uint64_t value) { return (value >> 1) ^ (0 - (value & 1)); }

std::uint64_t Fixed_At(std::string_view bytes, std::size_t at, int byte_count) {
    std::uint64_t value = 0;
    for (int byte = byte_count - 1; byte >= 0; --byte)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + byte]);
    return value;
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

}  // namespace

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
                        Fixed_At(bytes, 16, 8), Fixed_At(bytes, 24, 8), Fixed_At(bytes, 32, 8)};
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

Record_Walk::Record_Walk(std::string_view the_bytes) : header_(Checked_Header(the_bytes)) {
    next_ = the_bytes.data() + Header_Size;
    end_ = limit_ = next_ + header_.Body_Length;
    count_ = header_.Record_Count;
    root_ = Field();
    const bool has_sizes_on_disk = (header_.Flags & Sizes_On_Disk_Flag) != 0;
    if (header_.Version >= First_Format_On_Disk) {
        volume_total_ = Number();
        volume_free_ = Number();
        if (volume_free_ > volume_total_) throw Inconsistent_Scan("a volume with more free space than it holds");
    } else if (has_sizes_on_disk) {
        throw Inconsistent_Scan("sizes on disk in a format that has none");
    }
    Start_Reading();
}

Record_Walk::Record_Walk(const Record_Walk& the_whole, const Part& the_part)
    : header_(the_whole.header_),
      next_(the_part.From),
      end_(the_part.To),
      limit_(the_part.To),
      count_(the_part.Records) {
    Start_Reading();
}

// The records of the first format are one chunk without a head; the chunks of later ones
// begin after an empty chunk, as it were.
void Record_Walk::Start_Reading() {
    if (header_.Version == Format_Without_Chunks) left_in_chunk_ = count_;
    else limit_ = next_;
}

std::vector<Record_Walk::Part> Record_Walk::Parts(std::size_t the_count) const {
    if (header_.Version == Format_Without_Chunks || read_ != 0) return {{next_, end_, count_ - read_}};
    // Each chunk's start and the records before it, then the end and all of them.
    std::vector<std::pair<const char*, std::uint64_t>> starts;
    Record_Walk scout(*this, {next_, end_, count_});
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

void Record_Walk::Start_Chunk() {
    limit_ = end_;
    const std::uint64_t records = Number();
    const std::uint64_t length = Number();
    if (records == 0 || records > count_ - read_)
        throw Inconsistent_Scan("a chunk holds other than the records the header leaves for it");
    Need(length);
    limit_ = next_ + length;
    left_in_chunk_ = records;
    chunk_folders_ = folders_;
    chunk_owners_ = owners_;
    time_ = 0;
}

bool Record_Walk::Next(Record_Fields& into) {
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
    into.Flags = Byte();
    if ((into.Flags & ~Known_Record_Flags) != 0) throw Inconsistent_Scan("unknown record flags");
    Read_Folder(into);
    into.Name = Field();
    Read_Owner(into);
    into.Stream = into.Flags & Stream ? Field() : Text_Field{};
    into.Size = Number();
    into.Size_On_Disk = header_.Version >= First_Format_On_Disk ? Number() : 0;
    time_ += Unzigzag(Number());
    into.Time = time_;
    return true;
}

void Record_Walk::Read_Folder(Record_Fields& into) {
    const std::uint64_t folder = Number();
    const std::size_t known = folders_ - chunk_folders_;
    if (folder > known) throw Inconsistent_Scan("a folder number out of order");
    into.Is_New_Folder = folder == known;
    if (into.Is_New_Folder) {
        into.Folder_Text = Field();
        ++folders_;
    }
    into.Folder = chunk_folders_ + static_cast<std::size_t>(folder);
}

void Record_Walk::Read_Owner(Record_Fields& into) {
    const std::uint64_t owner = Number();
    const std::size_t known = owners_ - chunk_owners_;
    into.Is_New_Owner = false;
    if (owner == 0) {
        into.Owner = 0;
    } else if (owner <= known) {
        into.Owner = chunk_owners_ + static_cast<std::size_t>(owner);
    } else {
        if (owner > known + 1) throw Inconsistent_Scan("an owner number out of order");
        into.Is_New_Owner = true;
        into.Owner_Sid = Raw(Number());
        into.Owner_Name = Field();
        into.Owner = ++owners_;
    }
}

void Record_Walk::Throw_Past_End() { throw Inconsistent_Scan("a field runs past the end of its chunk"); }

std::uint64_t Record_Walk::Longer_Number() {
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

Text_Field Record_Walk::Field() {
    const std::uint64_t field = Number();
    if ((field >> 1) > Most_Text_Units) throw Inconsistent_Scan("a text longer than any text can be");
    const Text_Field text{reinterpret_cast<const std::uint8_t*>(next_), static_cast<std::size_t>(field >> 1),
                          (field & 1) == 0};
    const std::uint64_t bytes = text.Is_Narrow ? field >> 1 : field & ~std::uint64_t{1};
    Need(bytes);
    if (text.Is_Narrow && !Is_Ascii(text.Units, text.Length))
        throw Inconsistent_Scan("a text of a byte a unit holds a byte of 0x80 or more");
    next_ += bytes;
    return text;
}

std::basic_string_view<std::uint8_t> Record_Walk::Raw(std::uint64_t length) {
    Need(length);
    const auto* from = reinterpret_cast<const std::uint8_t*>(next_);
    next_ += length;
    return {from, static_cast<std::size_t>(length)};
}

}  // namespace Work::Scan_File
