// The master file table reader on a real NTFS volume made by ntfs-3g for the test run, read
// back by libfsntfs as the oracle, and listed by the walk through ntfs-3g's mount for what
// the platform shows there (names, order, sizes: Wine shows neither owners nor streams).
#include <gtest/gtest.h>

#include <windows.h>
// After the platform's main header, which it needs.
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ntfs_test_volume.hpp"
#include "temporary_tree.hpp"
#include "walking.hpp"
#include "wide_text.hpp"
#include "work-walk.hpp"

namespace Mft = Windows::Mft;
using Work::File_Information;

namespace {

std::atomic<bool> Wanted = true;

const std::wstring& Folder = Ntfs_Test_Volume::Folder();
const std::wstring& Image = Ntfs_Test_Volume::Image();
using Ntfs_Test_Volume::Run_Script;

std::string Contents_Of(const std::wstring& path) {
    std::ifstream file{std::filesystem::path(path)};
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::wstring Sid_Image(Windows::Files::Owner owner) {
    if (owner == nullptr) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(const_cast<std::uint8_t*>(owner->Nt_Sid), &text)) return L"?";
    std::wstring image(text);
    LocalFree(text);
    return image;
}

Work::Walk_Request Request(bool owners_and_streams, const std::wstring& root = L"") {
    return {.Root = root,
            .Owners_And_Streams = owners_and_streams,
            .Is_Wanted = &Wanted,
            .Report_Unreadable = {},
            .Report_Progress = nullptr};
}

std::vector<File_Information> Records_Below(const Mft::Table& table, const std::wstring& root,
                                            bool owners_and_streams = true) {
    Work::File_List records;
    Work::Records_From_Table(Mft::Table(table), root, Request(owners_and_streams), records);
    return Elements_Of(records, 1).Elements;
}

// One line a record, as the oracle script writes its own.
std::string Line_Of(const File_Information& record) {
    const FILETIME& time = record.Last_Accessed;
    const std::uint64_t ticks = (std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const std::wstring flags =
        std::wstring(record.Is_Folder ? L"F" : L"-") + (record.Is_Stream ? L"S" : L"-") +
        (record.Is_Compressed ? L"C" : L"-") + (record.Is_System ? L"Y" : L"-") +
        (record.Is_Hidden ? L"H" : L"-") + (record.Has_Streams ? L"M" : L"-") +
        (record.Is_Shared ? L"=" : L"-");
    return Wide_Text::Utf8_Of(
        Walking::Path_Of(record) + L"\t" + std::to_wstring(record.Object_Size.Value()) + L"\t" +
        std::to_wstring(record.Size_On_Disk.Value()) + L"\t" + Sid_Image(record.Owner) + L"\t" + std::to_wstring(ticks) + L"\t" + flags);
}

std::vector<std::wstring> Paths_And_Sizes(const std::vector<File_Information>& records,
                                          const std::wstring& leaving_out) {
    std::vector<std::wstring> lines;
    for (const File_Information& record : records) {
        const std::wstring path = Walking::Path_Of(record);
        if (path.starts_with(leaving_out)) continue;
        lines.push_back(path + (record.Is_Folder ? L" folder " : L" ") +
                        std::to_wstring(record.Object_Size.Value()));
    }
    return lines;
}

class Ntfs_Volume_Test : public testing::Test {
protected:
    static void SetUpTestSuite() { state_ = Ntfs_Test_Volume::Made(); }

    void SetUp() override {
        if (state_.starts_with("skip: ")) GTEST_SKIP() << state_.substr(6);
        ASSERT_EQ(state_, "") << "the NTFS test volume";
    }

    static Mft::Table Table_Of(const std::wstring& image) {
        return Mft::Read_Table(image, true, Wanted);
    }

    static inline std::string state_;
};

}  // namespace

// The oracle's verdict on the records, written one line each as it writes its own.
::testing::AssertionResult Libfsntfs_Agrees(const std::vector<File_Information>& records,
                                            const std::wstring& oracle_root) {
    const std::wstring records_file = Folder + L"\\records.txt";
    const std::wstring report_file = Folder + L"\\report.txt";
    {
        std::ofstream out{std::filesystem::path(records_file), std::ios::binary};
        for (const File_Information& record : records) out << Line_Of(record) << '\n';
    }
    if (Run_Script(L"expect " + Host_Path_Of(Image) + L" " + oracle_root + L" " +
                   Host_Path_Of(records_file) + L" " + Host_Path_Of(report_file)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << Contents_Of(report_file);
}

TEST_F(Ntfs_Volume_Test, RecordsAreWhatLibfsntfsReads) {
    const Mft::Table table = Table_Of(Image);
    // The whole volume, and a root below it named in other case than on the volume.
    for (const auto& [root, oracle_root] : {std::pair<std::wstring, std::wstring>{L"", L"/"},
                                            {L"LINKS", L"/links"},
                                            {L"flags\\packed", L"/flags/packed"}}) {
        EXPECT_TRUE(Libfsntfs_Agrees(Records_Below(table, root), oracle_root))
            << "root \"" << Wide_Text::Utf8_Of(root) << "\"";
    }
}

// True when the read fails, having read nothing, in a way the searcher walks after.
bool Leaves_It_To_The_Walk(const std::wstring& root) {
    Work::File_List records;
    try {
        Work::Read_Master_File_Table(Request(true, root), records);
    } catch (const Work::Root_Not_In_Table&) {
        return Length_Of(records) == 0;
    } catch (const Mft::Unreadable_Volume&) {
        return Length_Of(records) == 0;
    }
    return false;
}

std::vector<File_Information> Elements(const Work::File_List& records) {
    return Elements_Of(records, 1).Elements;
}

TEST_F(Ntfs_Volume_Test, RecordsAreWhatTheWalkListsOnTheVolumesDrive) {
    const Ntfs_Test_Volume::Drive drive(Image);
    ASSERT_TRUE(drive.Is_Ready());
    Work::File_List walked, read;
    // The walk tells hard links apart by looking files up; the table knows them anyway.
    Work::Walk(Request(true, L"N:"), walked);
    Work::Read_Master_File_Table(Request(false, L"N:"), read);
    // The platform follows junctions and links there: they are compared with libfsntfs.
    const std::vector<std::wstring> listed = Paths_And_Sizes(Elements(walked), L"\\reparse");
    const std::vector<std::wstring> read_lines = Paths_And_Sizes(Elements(read), L"\\reparse");
    ASSERT_GT(read_lines.size(), 3000u);
    ASSERT_EQ(listed.size(), read_lines.size());
    for (std::size_t index = 0; index < read_lines.size(); ++index)
        ASSERT_EQ(listed[index], read_lines[index]) << "record " << index;
    // Sizes on disk as the platform tells them, of data outside its file's record: the
    // host gives data inside a record a block of its own.
    const std::vector<File_Information> walked_records = Elements(walked);
    const std::vector<File_Information> read_records = Elements(read);
    int compared = 0;
    for (std::size_t index = 0; index < read_records.size(); ++index) {
        const File_Information& record = read_records[index];
        if (record.Is_Folder || record.Size_On_Disk.Value() == 0) continue;
        const auto walked_record = std::find_if(walked_records.begin(), walked_records.end(), [&](const File_Information& each) {
            return Walking::Path_Of(each) == Walking::Path_Of(record);
        });
        ASSERT_NE(walked_record, walked_records.end());
        EXPECT_EQ(walked_record->Size_On_Disk.Value(), record.Size_On_Disk.Value()) << Wide_Text::Utf8_Of(Walking::Path_Of(record));
        ++compared;
    }
    EXPECT_GT(compared, 40);

    // A root below, typed in other case; one reached through a junction, where the table
    // cannot follow (the platform may even put it on another volume): nothing is read.
    Work::File_List below;
    Work::Read_Master_File_Table(Request(true, L"N:\\PLAIN\\Nested"), below);
    EXPECT_EQ(Paths_And_Sizes(Elements(below), L"?"),
              Paths_And_Sizes(Records_Below(Table_Of(Image), L"plain\\nested"), L"?"));
    EXPECT_TRUE(Leaves_It_To_The_Walk(L"N:\\reparse\\junction"));
}

// At the volume's root, its used space less what the scan holds on disk is a folder of its
// own, holding the volume's own files as libfsntfs reads them and the rest.
TEST_F(Ntfs_Volume_Test, WhatTheScanDoesNotHoldMakesUpTheVolumesUsedSpace) {
    const Ntfs_Test_Volume::Drive drive(Image);
    ASSERT_TRUE(drive.Is_Ready());
    Work::File_List records, volume_files;
    ASSERT_EQ(Work::Read_Table_Or_Walk(Request(true, L"N:"), records, &volume_files), std::nullopt);
    EXPECT_TRUE(Libfsntfs_Agrees(Elements(volume_files), L"volume-files"));

    const std::wstring used_file = Folder + L"\\used.txt";
    ASSERT_TRUE(Run_Script(L"used " + Host_Path_Of(Image) + L" " + Host_Path_Of(used_file)));
    const std::uint64_t used = std::stoull(Contents_Of(used_file));
    const std::optional<Windows::Files::Volume_Space> space = Windows::Files::Volume_Space_Of(L"N:\\");
    ASSERT_TRUE(space);
    EXPECT_EQ(space->Used().Value(), used);

    std::uint64_t scanned = 0, own_files = 0;
    for (const File_Information& record : Elements(records))
        if (record.Folder_Name.empty() && !record.Is_Stream) scanned += Work::Counted_Size_Of(record, true).Value();
    for (const File_Information& record : Elements(volume_files))
        if (record.Folder_Name == L"\\<not in this scan>" && !record.Is_Stream) own_files += Work::Counted_Size_Of(record, true).Value();
    ASSERT_GT(own_files, 2'000'000u);  // $LogFile alone
    ASSERT_GE(used, scanned + own_files);
    Work::Account_For_Volume(L"N:", *space, std::move(volume_files), records);
    const std::vector<File_Information> accounted = Elements(records);
    ASSERT_GE(accounted.size(), 2u);
    const File_Information& rest = accounted[accounted.size() - 2];
    const File_Information& row = accounted.back();
    EXPECT_EQ(Walking::Path_Of(row), L"\\<not in this scan>");
    EXPECT_TRUE(row.Is_Folder);
    EXPECT_EQ(row.Size_On_Disk.Value(), used - scanned);
    EXPECT_EQ(Work::Counted_Size_Of(row).Value() + Work::Counted_Size_Of(rest).Value(), 0u) << "space on disk alone";
    EXPECT_EQ(Walking::Path_Of(rest), L"\\<not in this scan>\\shadow copies, other system data and folders that could not be read");
    EXPECT_EQ(rest.Size_On_Disk.Value(), used - scanned - own_files);
    EXPECT_TRUE(Work::Is_Not_In_Scan(row) && Work::Is_Not_In_Scan(rest) && !Work::Is_Not_In_Scan(accounted.front()));
}

TEST_F(Ntfs_Volume_Test, DamageFailsTheReadOrLeavesOnlyTheReadableRecords) {
    const std::vector<File_Information> whole = Records_Below(Table_Of(Image), L"");
    const std::wstring copy = Folder + L"\\damaged.img";
    for (const wchar_t* kind : {L"truncated", L"fixup", L"attribute-length"}) {
        ASSERT_TRUE(Run_Script(std::wstring(L"damage ") + Host_Path_Of(Image) + L" " + kind + L" " +
                               Host_Path_Of(copy)));
        EXPECT_THROW(Table_Of(copy), Mft::Damaged_Volume) << Wide_Text::Utf8_Of(kind);
    }
    // A folder named as a child of its own child, of itself, or of a record not in use, is no
    // longer below the root; nothing else changes but the sums above it.
    const std::wstring lost = L"\\plain\\nested";
    for (const wchar_t* kind : {L"loop", L"self", L"no-parent"}) {
        ASSERT_TRUE(Run_Script(std::wstring(L"damage ") + Host_Path_Of(Image) + L" " + kind + L" " +
                               Host_Path_Of(copy)));
        const std::vector<File_Information> records = Records_Below(Table_Of(copy), L"");
        std::vector<std::wstring> paths, expected_paths;
        for (const File_Information& record : records) paths.push_back(Walking::Path_Of(record));
        for (const File_Information& record : whole)
            if (!Walking::Path_Of(record).starts_with(lost))
                expected_paths.push_back(Walking::Path_Of(record));
        EXPECT_EQ(paths, expected_paths) << Wide_Text::Utf8_Of(kind);
    }
    DeleteFileW(copy.c_str());
}

// Bytes of the table's first records overwritten at random, round after round: each read
// ends, with the records or with one of the failures the searcher walks after.
TEST_F(Ntfs_Volume_Test, RandomDamageEndsInRecordsOrAFailure) {
    const std::wstring copy = Folder + L"\\random-damage.img";
    ASSERT_TRUE(CopyFileW(Image.c_str(), copy.c_str(), FALSE));
    std::fstream volume{std::filesystem::path(copy),
                        std::ios::in | std::ios::out | std::ios::binary};
    std::vector<char> boot(512);
    volume.read(boot.data(), boot.size());
    std::uint64_t mft_cluster = 0;
    std::memcpy(&mft_cluster, boot.data() + 0x30, 8);
    const std::uint64_t cluster =
        std::uint64_t(std::uint8_t(boot[0x0B]) | std::uint8_t(boot[0x0C]) << 8) *
        std::uint8_t(boot[0x0D]);
    const std::streamoff first_records = static_cast<std::streamoff>(mft_cluster * cluster);
    std::vector<char> original(200 * 1024);
    volume.seekg(first_records);
    volume.read(original.data(), original.size());
    std::mt19937 random(14);
    int failures = 0;
    for (int round = 0; round < 150; ++round) {
        std::vector<char> damaged = original;
        for (int count = 1 + random() % 8; count > 0; --count)
            damaged[random() % damaged.size()] = static_cast<char>(random());
        volume.seekp(first_records);
        volume.write(damaged.data(), damaged.size());
        volume.flush();
        try {
            Records_Below(Table_Of(copy), L"");
        } catch (const Failure&) {
            ++failures;
        }
    }
    volume.close();
    DeleteFileW(copy.c_str());
    EXPECT_GT(failures, 0);
    EXPECT_LT(failures, 150);
}

TEST_F(Ntfs_Volume_Test, AVolumeOfAnotherKindOrAStopEndsTheRead) {
    const std::wstring other = Folder + L"\\not-ntfs.img";
    std::ofstream{std::filesystem::path(other), std::ios::binary} << std::string(65536, 'x');
    EXPECT_THROW(Table_Of(other), Mft::Not_Ntfs);
    EXPECT_THROW(Table_Of(Folder + L"\\absent.img"), Mft::Unreadable_Volume);
    DeleteFileW(other.c_str());
    Wanted = false;
    EXPECT_THROW(Table_Of(Image), Mft::Stopped);
    Wanted = true;
}

namespace {

// A small fresh volume made hostile in one way (the script's crafts); empty when it cannot be.
std::wstring Crafted(const std::wstring& kind) {
    const std::wstring image = Folder + L"\\crafted-" + kind + L".img";
    return Run_Script(L"craft " + kind + L" " + Host_Path_Of(image)) ? image : L"";
}

// Path, size and owner of each record: what two volumes made alike share.
std::vector<std::wstring> Lines_Below(const Mft::Table& table) {
    std::vector<std::wstring> lines;
    for (const File_Information& record : Records_Below(table, L""))
        lines.push_back(Walking::Path_Of(record) + L" " +
                        std::to_wstring(record.Object_Size.Value()) + L" " + Sid_Image(record.Owner));
    return lines;
}

}  // namespace

// More than the device holds, claimed by a boot sector larger than the device (four thousand
// million records), by sparse runs of the table's own, or by sparse runs of $Secure's stream
// (128 MiB on a volume of 16): damage, found before anything is made for it.
TEST_F(Ntfs_Volume_Test, WhatClaimsMoreThanTheVolumeHoldsIsDamage) {
    for (const wchar_t* kind : {L"overclaimed", L"sparse-table", L"sparse-secure"}) {
        const std::wstring image = Crafted(kind);
        ASSERT_FALSE(image.empty()) << Wide_Text::Utf8_Of(kind);
        EXPECT_THROW(Table_Of(image), Mft::Damaged_Volume) << Wide_Text::Utf8_Of(kind);
        DeleteFileW(image.c_str());
    }
}

// Every record of a volume naming the next as an extension of the table, many times over:
// the read ends, and a stop ends it at once.
TEST_F(Ntfs_Volume_Test, ATableOfChainedExtensionsEndsAndStops) {
    const std::wstring image = Crafted(L"chained-table");
    ASSERT_FALSE(image.empty());
    Wanted = false;
    EXPECT_THROW(Table_Of(image), Mft::Stopped);
    Wanted = true;
    // Whether the chain reads as a table or as damage, the read ends.
    try {
        Table_Of(image);
    } catch (const Failure&) {
    }
    DeleteFileW(image.c_str());
}

// A piece of $Secure's or $UpCase's stream in a record that now belongs to no such object is
// left out, as any other object's is: the volume reads as if it were not there.
TEST_F(Ntfs_Volume_Test, PiecesOfTheVolumesOwnFilesInStaleRecordsAreLeftOut) {
    const std::wstring sound = Crafted(L"sound");
    ASSERT_FALSE(sound.empty());
    const std::vector<std::wstring> expected = Lines_Below(Table_Of(sound));
    ASSERT_EQ(expected.size(), 1u);
    for (const wchar_t* kind : {L"stale-secure", L"stale-upcase"}) {
        const std::wstring image = Crafted(kind);
        ASSERT_FALSE(image.empty()) << Wide_Text::Utf8_Of(kind);
        try {
            EXPECT_EQ(Lines_Below(Table_Of(image)), expected) << Wide_Text::Utf8_Of(kind);
        } catch (const Failure& failure) {
            ADD_FAILURE() << Wide_Text::Utf8_Of(kind) << ": " << failure.what();
        }
        DeleteFileW(image.c_str());
    }
    DeleteFileW(sound.c_str());
}

// A stream larger than its allocation, an allocation larger than the volume, sparse files
// whose sizes add up past what 64 bits hold: no volume holds these, the read fails.
TEST_F(Ntfs_Volume_Test, SizesNoVolumeCanHoldAreDamage) {
    for (const wchar_t* kind : {L"beyond-allocation", L"beyond-volume", L"sparse-giants"}) {
        const std::wstring image = Crafted(kind);
        ASSERT_FALSE(image.empty()) << Wide_Text::Utf8_Of(kind);
        EXPECT_THROW(Records_Below(Table_Of(image), L""), Mft::Damaged_Volume)
            << Wide_Text::Utf8_Of(kind);
        DeleteFileW(image.c_str());
    }
}
