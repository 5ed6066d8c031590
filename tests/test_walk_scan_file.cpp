// Scan files: a walk of a real tree saved and read back whole, and every kind of damaged
// file refused with its own failure. Linked without any window, as the format needs none.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "substitute_stream_query.hpp"
#include "temporary_tree.hpp"
#include "walking.hpp"
#include "wide_text.hpp"
#include "windows-files.hpp"
#include "work-scan_file.hpp"

namespace Files = Windows::Files;
namespace Scan_File = Work::Scan_File;
using Work::File_Information;

namespace {

// Every field, owners by their SID and name so that the comparison says nothing of where
// the entries sit in memory.
std::wstring Image_Of(const File_Information& record) {
    std::wstring sid;
    for (std::uint8_t byte : Files::Sid_Bytes_Of(record.Owner)) sid += std::to_wstring(byte) + L".";
    return record.Folder_Name + L"|" + record.File_Name + L"|" + record.Stream_Name + L"|" +
           std::to_wstring(record.Object_Size.Value()) + L"|" +
           (record.Has_Size_On_Disk ? std::to_wstring(record.Size_On_Disk.Value()) : L"?") + L"|" +
           std::to_wstring(record.Last_Accessed.dwHighDateTime) + L"." +
           std::to_wstring(record.Last_Accessed.dwLowDateTime) + L"|" + sid + L"|" +
           Files::Image_Of(record.Owner) + L"|" + std::to_wstring(record.Is_Folder) +
           std::to_wstring(record.Is_Stream) + std::to_wstring(record.Is_Compressed) +
           std::to_wstring(record.Is_System) + std::to_wstring(record.Is_Hidden) +
           std::to_wstring(record.Has_Streams) + std::to_wstring(record.Is_Shared);
}

// CRC-32 a bit at a time, the textbook way: the oracle of the scan's faster checksum.
std::uint32_t Bitwise_Crc_Of(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char byte : bytes) {
        crc ^= static_cast<std::uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

std::vector<std::wstring> Images_Of(const Work::File_List& records) {
    std::vector<std::wstring> images;
    for (auto at = First(records); Has_Element(at); at = Next(at)) images.push_back(Image_Of(Element_At(at)));
    return images;
}

// A SID no account of this machine has: the scan alone names it.
Files::Owner Foreign_Owner() {
    const std::uint8_t sid[] = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0,
                                2, 0, 0, 0, 3, 0, 0, 0, 0x9A, 0x10, 0, 0};
    return Files::Owner_With_Sid({sid, sizeof sid}, L"Gr\u00fcn \U0001F600");
}

// The bytes of a scan with its checksum made anew: contents that contradict themselves.
std::string Summed_Again(std::string bytes) {
    const std::uint32_t crc = Scan_File::Crc_32_Of(std::string_view(bytes).substr(0, bytes.size() - 4));
    for (int byte = 0; byte < 4; ++byte) bytes[bytes.size() - 4 + byte] = static_cast<char>(crc >> (8 * byte));
    return bytes;
}

// A walk of a tree with odd names, two owners and streams, and records no walk here can
// make (flags the host cannot set, extreme sizes and times) appended to it.
class Scan_File_Test : public testing::Test {
protected:
    void SetUp() override {
        tree.Make_File(L"plain.txt", 10);
        tree.Make_File(L"\U0001F4BE disk \u00e9t\u00e9\\\u4e2d\u6587", 300);
        tree.Make_File(std::wstring(255, L'n'), 255);
        std::wstring deep;
        for (int level = 0; level < 5; ++level) deep += std::wstring(70, wchar_t(L'a' + level)) + L"\\";
        tree.Make_File(deep + L"deep", 7);
        tree.Make_File(L"other\\theirs", 11);
        Run_Host_Command(L"/bin/chown -R nobody " + Host_Path_Of(tree.Path_Of(L"other")));
        query.Buffer_For = [](const std::wstring& path) {
            if (path.ends_with(L"plain.txt"))
                return Stream_Buffer_Of({{L"::$DATA", 10}, {L":Zone.Identifier:$DATA", 26},
                                         {L":\u00fcber:$DATA", 5}});
            return Stream_Buffer_Of({{L"::$DATA", 1}});
        };
        EXPECT_TRUE(Walking::Search(tree.Root(), 4));
        records = Walking::Walked();
        Append(File_Information{.File_Name = L"odd",
                                .Folder_Name = L"\\synthetic",
                                .Owner = Foreign_Owner(),
                                .Stream_Name = {},
                                .Object_Size = Files::File_Size::From(~std::uint64_t{0}),
                                .Size_On_Disk = Files::File_Size::From(~std::uint64_t{0} - 1),
                                .Last_Accessed = {0xFFFFFFFF, 0x7FFFFFFF},
                                .Is_Compressed = true,
                                .Is_System = true,
                                .Is_Hidden = true,
                                .Has_Streams = false,
                                .Is_Shared = true,
                                .Has_Size_On_Disk = true},
               records);
        Append(File_Information{.File_Name = L"synthetic",
                                .Folder_Name = {},
                                .Owner = nullptr,
                                .Stream_Name = {},
                                .Is_Folder = true,
                                .Is_Hidden = true,
                                .Has_Size_On_Disk = true},
               records);
        description = {tree.Root(), true, Files::The_Time_Now(), true,
                       Files::Volume_Space{Files::File_Size::From(~std::uint64_t{0}), Files::File_Size::From(12345)}};
    }

    Temporary_Tree tree;
    Substitute_Stream_Query query;
    Work::File_List records;
    Scan_File::Description description;
};

}  // namespace

TEST_F(Scan_File_Test, ASavedScanReadsBackRecordForRecord) {
    const std::wstring path = tree.Path_Of(L"saved.qscan");
    Scan_File::Save(path, description, records);
    const Scan_File::Scan scan = Scan_File::Load(path);

    EXPECT_EQ(scan.About.Root, description.Root);
    EXPECT_TRUE(scan.About.Is_Ntfs);
    EXPECT_EQ(scan.About.Made.dwHighDateTime, description.Made.dwHighDateTime);
    EXPECT_EQ(scan.About.Made.dwLowDateTime, description.Made.dwLowDateTime);
    ASSERT_TRUE(scan.About.Volume);
    EXPECT_EQ(scan.About.Volume->Total.Value(), ~std::uint64_t{0});
    EXPECT_EQ(scan.About.Volume->Free.Value(), 12345u);
    const std::vector<std::wstring> before = Images_Of(records);
    const std::vector<std::wstring> after = Images_Of(scan.Records);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t index = 0; index < before.size(); ++index) EXPECT_EQ(after[index], before[index]);

    // What the walk found is in the scan: streams, two owners, the long and odd names.
    std::vector<Files::Owner> owners;
    int streams = 0;
    for (auto at = First(scan.Records); Has_Element(at); at = Next(at)) {
        const File_Information& record = Element_At(at);
        streams += record.Is_Stream;
        if (record.Owner && std::find(owners.begin(), owners.end(), record.Owner) == owners.end())
            owners.push_back(record.Owner);
    }
    EXPECT_EQ(streams, 3);
    EXPECT_GE(owners.size(), 2u);
    EXPECT_EQ(Files::Image_Of(Element_At(scan.Records, Length_Of(scan.Records) - 1).Owner), L"Gr\u00fcn \U0001F600");

    // Smaller than the records' texts alone take in memory.
    std::size_t text_bytes = 0;
    for (auto at = First(records); Has_Element(at); at = Next(at))
        text_bytes += 2 * (Element_At(at).File_Name.size() + Element_At(at).Stream_Name.size());
    EXPECT_LT(Scan_File::Bytes_Of(description, records).size(),
              text_bytes + sizeof(File_Information) * Length_Of(records));
}

TEST_F(Scan_File_Test, DamagedFilesAreRefusedEachWithItsOwnFailure) {
    const std::string bytes = Scan_File::Bytes_Of(description, records);
    EXPECT_EQ(Scan_File::Crc_32_Of("123456789"), 0xCBF43926u);  // the standard check value
    // Every length and alignment around the sum's blocks of 16 and 64 bytes.
    const std::string_view body(bytes);
    for (std::size_t start : {std::size_t{0}, std::size_t{1}, std::size_t{7}})
        for (std::size_t length = 0; length <= 200 && start + length <= body.size(); ++length)
            ASSERT_EQ(Scan_File::Crc_32_Of(body.substr(start, length)),
                      Bitwise_Crc_Of(body.substr(start, length))) << start << " " << length;
    EXPECT_EQ(Scan_File::Crc_32_Of(body), Bitwise_Crc_Of(body));

    EXPECT_THROW(Scan_File::Scan_Of("Name,Size\r\nfile,1\r\n"), Scan_File::Not_A_Scan);
    EXPECT_THROW(Scan_File::Scan_Of(""), Scan_File::Not_A_Scan);
    for (std::size_t length : {std::size_t{3}, std::size_t{20}, bytes.size() / 2, bytes.size() - 1})
        EXPECT_THROW(Scan_File::Scan_Of(bytes.substr(0, length)), Scan_File::Truncated_Scan) << length;
    std::string newer = bytes;
    newer[8] = Scan_File::Format_Version + 1;
    EXPECT_THROW(Scan_File::Scan_Of(newer), Scan_File::Newer_Version);
    for (std::size_t at : {std::size_t{16}, std::size_t{45}, bytes.size() / 2, bytes.size() - 1}) {
        std::string damaged = bytes;
        damaged[at] ^= 0x04;
        EXPECT_THROW(Scan_File::Scan_Of(damaged), Scan_File::Bad_Checksum) << at;
    }
    EXPECT_THROW(Scan_File::Scan_Of(bytes + "x"), Scan_File::Inconsistent_Scan);
    // What the format calls damage, though summed: a header flag it does not define, and a
    // byte of 0x80 or more in a text of a byte a unit.
    for (const auto& [at, flag] : {std::pair{12, 0x04}, std::pair{15, 0x80}}) {
        std::string flagged = bytes;
        flagged[at] |= flag;
        EXPECT_THROW(Scan_File::Scan_Of(Summed_Again(flagged)), Scan_File::Inconsistent_Scan) << at;
    }
    for (const std::string& name : {std::string("odd"), std::string("theirs"), std::string("plain.txt"), std::string(255, 'n')}) {
        for (const std::size_t unit : {std::size_t{0}, name.size() - 1}) {
            std::string high = bytes;
            ASSERT_NE(high.find(name), std::string::npos) << name;
            high[high.find(name) + unit] = '\xF0';
            const std::string summed = Summed_Again(high);
            EXPECT_THROW(Scan_File::Scan_Of(summed), Scan_File::Inconsistent_Scan) << name << " " << unit;
            EXPECT_THROW({
                Scan_File::Record_Reader reader(summed);
                while (reader.Next()) {}
            }, Scan_File::Inconsistent_Scan) << "also to a reader that decodes no name";
        }
    }

    // From a file too, and a file that is not there.
    const std::wstring path = tree.Path_Of(L"cut.qscan");
    Files::Replace_Contents(path, bytes.substr(0, bytes.size() - 10));
    EXPECT_THROW(Scan_File::Load(path), Scan_File::Truncated_Scan);
    EXPECT_THROW(Scan_File::Load(tree.Path_Of(L"absent.qscan")), Files::Read_Failure);
}

TEST_F(Scan_File_Test, ASaveThatCannotCompleteKeepsTheFileThatWasThere) {
    const std::wstring path = tree.Path_Of(L"kept.qscan");
    Scan_File::Save(path, description, records);
    Work::File_List fewer = records;
    Remove_Last(fewer);
    {
        // Held open without leave to delete it: the new scan cannot take its place.
        HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        EXPECT_THROW(Scan_File::Save(path, description, fewer), Files::Write_Failure);
        CloseHandle(holder);
    }
    EXPECT_EQ(Length_Of(Scan_File::Load(path).Records), Length_Of(records));
    // No temporary file stays behind.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(tree.Path_Of(L"*.partial").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);

    // A save into a folder that does not exist leaves nothing either.
    EXPECT_THROW(Scan_File::Save(tree.Path_Of(L"none\\x.qscan"), description, records),
                 Files::Write_Failure);
}

namespace {

std::string Number_Bytes(std::uint64_t value) {
    std::string bytes;
    for (; value >= 0x80; value >>= 7) bytes.push_back(static_cast<char>(value | 0x80));
    bytes.push_back(static_cast<char>(value));
    return bytes;
}

void Append_Fixed(std::string& bytes, std::uint64_t value, int byte_count) {
    for (int byte = 0; byte < byte_count; ++byte) bytes.push_back(static_cast<char>(value >> (8 * byte)));
}

// A scan of one file in the root whose name is that many units of plain ASCII, made in place
// as the format lays it out: a name of billions of units is too large to be made twice.
// Format 2 knows no volume and no size on disk.
std::string Scan_Of_One_Name(std::size_t the_units, std::uint32_t the_format = Scan_File::Format_Version) {
    const bool is_on_disk = the_format >= 3;
    const std::string before = std::string(3, '\0') + Number_Bytes(std::uint64_t{the_units} << 1);
    // No owner, no bytes (5 on disk), accessed at 0.
    const std::string after = is_on_disk ? std::string("\0\0\5\0", 4) : std::string(3, '\0');
    const std::uint64_t chunk = before.size() + the_units + after.size();
    // The root's empty name, a volume of 9 bytes with 2 free.
    const std::string volume = is_on_disk ? std::string("\x09\x02", 2) : std::string();
    const std::string body_head = std::string(1, '\0') + volume + Number_Bytes(1) + Number_Bytes(chunk);
    std::string bytes("QRXSCAN\x1A", 8);
    bytes.reserve(40 + body_head.size() + chunk + 4);
    Append_Fixed(bytes, the_format, 4);
    Append_Fixed(bytes, is_on_disk ? 2 : 0, 4);
    Append_Fixed(bytes, 0, 8);
    Append_Fixed(bytes, 1, 8);
    Append_Fixed(bytes, body_head.size() + chunk, 8);
    bytes += body_head;
    bytes += before;
    bytes.append(the_units, 'n');
    bytes += after;
    Append_Fixed(bytes, 0, 4);
    return Summed_Again(std::move(bytes));
}

}  // namespace

// A text of 2^31 units or more would read as one of a batch: a scan that holds one is
// refused as damaged before any of it is made, and no shared text is made of one at all.
// A scan of format 2 opens with its sizes on disk unknown, and saved again keeps them so.
TEST(Scan_File_Formats, AScanOfFormatTwoOpensWithoutSizesOnDisk) {
    const Scan_File::Scan older = Scan_File::Scan_Of(Scan_Of_One_Name(3, 2));
    EXPECT_FALSE(older.About.Has_Sizes_On_Disk);
    EXPECT_FALSE(older.About.Volume);
    EXPECT_FALSE(Element_At(First(older.Records)).Has_Size_On_Disk);
    const Scan_File::Scan again = Scan_File::Scan_Of(Scan_File::Bytes_Of(older.About, older.Records));
    EXPECT_FALSE(again.About.Has_Sizes_On_Disk);
    EXPECT_FALSE(Element_At(First(again.Records)).Has_Size_On_Disk);

    const Scan_File::Scan newer = Scan_File::Scan_Of(Scan_Of_One_Name(3));
    ASSERT_TRUE(newer.About.Volume);
    EXPECT_EQ(newer.About.Volume->Used().Value(), 7u);
    EXPECT_TRUE(Element_At(First(newer.Records)).Has_Size_On_Disk);
    EXPECT_EQ(Element_At(First(newer.Records)).Size_On_Disk.Value(), 5u);
}

TEST(Scan_File_Texts, ATextOfTwoToTheThirtyFirstUnitsIsRefused) {
    EXPECT_EQ(Element_At(First(Scan_File::Scan_Of(Scan_Of_One_Name(3)).Records)).File_Name, L"nnn");
    constexpr std::size_t Too_Many = std::size_t{1} << 31;
    EXPECT_THROW(Scan_File::Scan_Of(Scan_Of_One_Name(Too_Many)), Scan_File::Inconsistent_Scan);

    // Committed but never touched: the text is refused before a unit of it is read.
    void* units = VirtualAlloc(nullptr, Too_Many * sizeof(wchar_t), MEM_RESERVE | MEM_COMMIT, PAGE_READONLY);
    ASSERT_NE(units, nullptr);
    EXPECT_THROW(Wide_Text::Shared(std::wstring_view(static_cast<const wchar_t*>(units), Too_Many)),
                 Wide_Text::Text_Too_Long);
    EXPECT_EQ(Wide_Text::Shared(std::wstring_view(static_cast<const wchar_t*>(units), 5)).size(), 5u);
    VirtualFree(units, 0, MEM_RELEASE);
}

// Large scans are written and read in chunks, on several threads: every record comes back in
// its place with its own folder and owner, whichever chunk it fell in, also to a reader
// that goes through them one by one.
TEST_F(Scan_File_Test, AScanOfManyChunksReadsBackInOrder) {
    const Files::Owner owners[] = {Foreign_Owner(), nullptr, Element_At(First(records)).Owner};
    Work::File_List many = records;
    for (int index = 0; index < 300000; ++index)
        Append(File_Information{.File_Name = L"f" + std::to_wstring(index) + (index % 1000 == 0 ? L"\u00e9" : L""),
                                .Folder_Name = L"\\d" + std::to_wstring(index / 7000),
                                .Owner = owners[index / 50000 % 3],
                                .Stream_Name = index % 9000 == 0 ? L":s:$DATA" : L"",
                                .Object_Size = Files::File_Size::From(index * 13ull),
                                .Size_On_Disk = Files::File_Size::From(index * 4096ull),
                                .Last_Accessed = {index * 7919u, 30000000},
                                .Is_Stream = index % 9000 == 0,
                                .Has_Size_On_Disk = true},
               many);
    const std::string bytes = Scan_File::Bytes_Of(description, many);
    const Scan_File::Scan scan = Scan_File::Scan_Of(bytes);
    EXPECT_EQ(Images_Of(scan.Records), Images_Of(many));

    Scan_File::Record_Reader reader(bytes);
    auto at = First(many);
    for (; reader.Next(); at = Next(at)) {
        ASSERT_TRUE(Has_Element(at));
        ASSERT_EQ(Image_Of(reader.Record()), Image_Of(Element_At(at)));
    }
    EXPECT_FALSE(Has_Element(at));

    // A header that counts one record more or less than the chunks hold.
    for (int change : {-1, 1}) {
        std::string miscounted = bytes;
        miscounted[24] = static_cast<char>(miscounted[24] + change);
        EXPECT_THROW(Scan_File::Scan_Of(Summed_Again(miscounted)), Scan_File::Inconsistent_Scan) << change;
    }
}

// Scans saved in the first format, before records went in chunks, still open, whole.
TEST_F(Scan_File_Test, AScanOfTheFirstFormatStillOpens) {
    const HRSRC found = FindResourceW(nullptr, L"format_1_scan", MAKEINTRESOURCEW(10));  // RT_RCDATA
    ASSERT_NE(found, nullptr);
    const std::string_view bytes(static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
                                 SizeofResource(nullptr, found));
    ASSERT_EQ(bytes[8], 1);
    const Scan_File::Scan scan = Scan_File::Scan_Of(bytes);
    const std::vector<std::wstring> images = Images_Of(scan.Records);
    ASSERT_EQ(images.size(), 17u);
    EXPECT_TRUE(scan.About.Is_Ntfs);
    EXPECT_TRUE(scan.About.Root.ends_with(L"\\quarrix-432-1"));
    EXPECT_EQ(images.back(), L"|synthetic||0|?|0.0|||1000100");
    EXPECT_EQ(Files::Image_Of(Element_At(scan.Records, 16).Owner), L"Gr\u00fcn \U0001F600");
    EXPECT_EQ(Length_Of(scan.Records), Length_Of(Scan_File::Scan_Of(Scan_File::Bytes_Of(scan.About, scan.Records)).Records));
    EXPECT_EQ(Images_Of(Scan_File::Scan_Of(Scan_File::Bytes_Of(scan.About, scan.Records)).Records), images);
    std::vector<std::wstring> streams;
    Scan_File::Record_Reader reader(bytes);
    while (reader.Next())
        if (!reader.Stream_Name().empty()) streams.emplace_back(reader.Stream_Name());
    EXPECT_EQ(streams, (std::vector<std::wstring>{L"::$DATA", L":Zone.Identifier:$DATA", L":\u00fcber:$DATA"}));
}
