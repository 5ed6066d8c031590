// Searches of a drive on a real NTFS volume: from its master file table when that reads
// whole, else by the walk, never a mixture. What Wine shows through the drive tells them
// apart: it reports every file as merely archived and owned by the Linux user, where the
// table has the hidden flag and the owners the volume stores.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "ntfs_test_volume.hpp"
#include "searching.hpp"
#include "temporary_tree.hpp"
#include "walking.hpp"
#include "work.hpp"

using Searching::Path_Of;
using Walking::Record_Of;
using Work::File_Information;

namespace {

const auto* const Environment =
    testing::AddGlobalTestEnvironment(new Searching::Application_Environment);

std::vector<std::wstring> Images_Of(const std::vector<File_Information>& records) {
    std::vector<std::wstring> images;
    // What the volume holds beyond the scan comes of a search alone.
    for (const File_Information& record : records)
        if (!Work::Is_Not_In_Scan(record)) images.push_back(Path_Of(record) + L" " + std::to_wstring(record.Object_Size.Value()) +
                         (record.Is_Hidden ? L" hidden" : L""));
    return images;
}

class Ntfs_Search_Test : public testing::Test {
protected:
    static void SetUpTestSuite() { state_ = Ntfs_Test_Volume::Made(); }
    void SetUp() override {
        if (state_.starts_with("skip: ")) GTEST_SKIP() << state_.substr(6);
        ASSERT_EQ(state_, "") << "the NTFS test volume";
    }

    static std::vector<File_Information> Walked(const std::wstring& root) {
        std::atomic<bool> wanted = true;
        Work::File_List records;
        Work::Walk({.Root = root,
                    .Owners_And_Streams = true,
                    .Is_Wanted = &wanted,
                    .Report_Unreadable = {},
                    .Report_Progress = nullptr},
                   records);
        return Elements_Of(records, 1).Elements;
    }

    static inline std::string state_;
};

}  // namespace

TEST_F(Ntfs_Search_Test, ASearchReadsTheTableOfAVolumeThatOpensRaw) {
    const Ntfs_Test_Volume::Drive drive(Ntfs_Test_Volume::Image());
    ASSERT_TRUE(drive.Is_Ready());
    ASSERT_TRUE(Searching::Search(L"N:\\flags"));
    const std::vector<File_Information> records = Searching::Records();
    ASSERT_NE(Record_Of(records, L"\\hidden"), nullptr);
    EXPECT_TRUE(Record_Of(records, L"\\hidden")->Is_Hidden);
    EXPECT_TRUE(Record_Of(records, L"\\packed\\squeezed")->Is_Compressed);
    // The walk through the drive agrees on everything the platform shows there.
    std::vector<File_Information> walked = Walked(L"N:\\flags");
    for (File_Information& record : walked) record.Is_Hidden = Path_Of(record) == L"\\hidden";
    EXPECT_EQ(Images_Of(records), Images_Of(walked));

    ASSERT_TRUE(Searching::Search(L"N:\\owners"));
    const File_Information* stored = Record_Of(Searching::Records(), L"\\acl0");
    ASSERT_NE(stored, nullptr);
    ASSERT_NE(stored->Owner, nullptr);
    EXPECT_NE(stored->Owner, Record_Of(Searching::Records(), L"\\acl1")->Owner);
    EXPECT_NE(stored->Owner, Record_Of(Searching::Records(), L"\\mapped0")->Owner);
}

TEST_F(Ntfs_Search_Test, ADamagedTableGivesTheWalkAlone) {
    const std::wstring damaged = Ntfs_Test_Volume::Folder() + L"\\damaged-search.img";
    ASSERT_TRUE(Ntfs_Test_Volume::Run_Script(L"damage " + Host_Path_Of(Ntfs_Test_Volume::Image()) +
                                             L" attribute-length " + Host_Path_Of(damaged)));
    {
        const Ntfs_Test_Volume::Drive drive(damaged);
        ASSERT_TRUE(drive.Is_Ready());
        ASSERT_TRUE(Searching::Search(L"N:\\"));
        const std::vector<File_Information> records = Searching::Records();
        EXPECT_EQ(Images_Of(records), Images_Of(Walked(L"N:")));
        ASSERT_NE(Record_Of(records, L"\\flags\\hidden"), nullptr);
        EXPECT_FALSE(Record_Of(records, L"\\flags\\hidden")->Is_Hidden);
    }
    DeleteFileW(damaged.c_str());
}

// A table whose read fails in a way its reader does not foresee (here a claim of four
// thousand million records, more than memory holds) gives the walk all the same.
TEST_F(Ntfs_Search_Test, AnyFailureOfTheTableGivesTheWalk) {
    const std::wstring crafted = Ntfs_Test_Volume::Folder() + L"\\crafted-search.img";
    ASSERT_TRUE(Ntfs_Test_Volume::Run_Script(L"craft overclaimed " + Host_Path_Of(crafted)));
    {
        const Ntfs_Test_Volume::Drive drive(crafted);
        ASSERT_TRUE(drive.Is_Ready());
        ASSERT_TRUE(Searching::Search(L"N:\\"));
        EXPECT_EQ(Images_Of(Searching::Records()), Images_Of(Walked(L"N:")));
    }
    DeleteFileW(crafted.c_str());
}
