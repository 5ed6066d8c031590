// A scan file through the format's walk, whole and in parts as the reader's threads take it.
// The body's length and the checksum are set to match the bytes first, so that the fuzzer
// spends its time past them; inputs whose last byte is odd are taken exactly as they are, so
// that the header's own checks are fuzzed too.
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "work-scan_file-format.hpp"

namespace {

using namespace Work::Scan_File;

void Write_Le(std::string& bytes, std::size_t at, std::uint64_t value, int length) {
    for (int index = 0; index < length; ++index) bytes[at + index] = char(value >> (8 * index));
}

bool Lies_In(std::string_view outer, const std::uint8_t* data, std::size_t length) {
    const auto* begin = reinterpret_cast<const std::uint8_t*>(outer.data());
    return data >= begin && length <= outer.size() && std::size_t(data - begin) <= outer.size() - length;
}

void Check_Text(std::string_view bytes, const Text_Field& text) {
    if (text.Length != 0) FUZZ_REQUIRE(Lies_In(bytes, text.Units, text.Is_Narrow ? text.Length : 2 * text.Length));
}

struct Kept {
    std::uint8_t Flags;
    std::uint64_t Size, Size_On_Disk, Time;
    bool operator==(const Kept&) const = default;
};

// A walk's records, with every number in range and every text inside the bytes.
std::vector<Kept> Walked(std::string_view bytes, Record_Walk& walk) {
    std::vector<Kept> records;
    std::size_t folders = 0, owners = 0;
    Record_Fields fields;
    while (walk.Next(fields)) {
        if (fields.Is_New_Folder) {
            FUZZ_REQUIRE(fields.Folder == folders);
            ++folders;
            Check_Text(bytes, fields.Folder_Text);
        }
        FUZZ_REQUIRE(fields.Folder < folders);
        if (fields.Is_New_Owner) {
            FUZZ_REQUIRE(fields.Owner == ++owners);
            FUZZ_REQUIRE(Lies_In(bytes, fields.Owner_Sid.data(), fields.Owner_Sid.size()));
            Check_Text(bytes, fields.Owner_Name);
        }
        FUZZ_REQUIRE(fields.Owner <= owners);
        FUZZ_REQUIRE((fields.Flags & ~Layout::Known_Record_Flags) == 0);
        Check_Text(bytes, fields.Name);
        Check_Text(bytes, fields.Stream);
        records.push_back({fields.Flags, fields.Size, fields.Size_On_Disk, fields.Time});
    }
    return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Layout;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (size >= Header_Size + Checksum_Size && (data[size - 1] & 1) == 0) {
        const std::size_t body = size - Header_Size - Checksum_Size;
        Write_Le(bytes, 32, body, 8);
        Write_Le(bytes, Header_Size + body, Crc_32_Of(std::string_view(bytes).substr(0, Header_Size + body)), 4);
    }
    try {
        Record_Walk whole(bytes);
        const Header& header = whole.Head();
        FUZZ_REQUIRE(header.Version >= 1 && header.Version <= Format_Version);
        FUZZ_REQUIRE(whole.Volume_Free() <= whole.Volume_Total());
        Check_Text(bytes, whole.Root());
        // The parts the reader's threads decode hold the same records as one walk through all.
        std::vector<Kept> parted;
        for (const Record_Walk::Part& part : whole.Parts(3)) {
            Record_Walk walk(whole, part);
            for (const Kept& record : Walked(bytes, walk)) parted.push_back(record);
        }
        Record_Walk again(bytes);
        const std::vector<Kept> records = Walked(bytes, again);
        FUZZ_REQUIRE(records.size() == header.Record_Count);
        FUZZ_REQUIRE(records == parted);
    } catch (const Unreadable_Scan&) {
    }
    return 0;
}
