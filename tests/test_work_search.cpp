#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "searching.hpp"
#include "substitute_stream_query.hpp"
#include "temporary_tree.hpp"
#include "work.hpp"

using Work::File_Information;
using Searching::Path_Of;
using Searching::Records;
using Searching::Search;
using Work::Selection_Option;

namespace {

const auto* const Environment =
    testing::AddGlobalTestEnvironment(new Searching::Application_Environment);

std::size_t Index_Of(const std::vector<File_Information>& records, const std::wstring& path) {
    for (std::size_t index = 0; index < records.size(); ++index)
        if (Path_Of(records[index]) == path) return index;
    ADD_FAILURE() << "no record for " << testing::PrintToString(path);
    return records.size();
}

const File_Information& Record_Of(const std::vector<File_Information>& records,
                                  const std::wstring& path) {
    static const File_Information none;
    std::size_t index = Index_Of(records, path);
    return index < records.size() ? records[index] : none;
}

class Search_Test : public testing::Test {
protected:
    // \top, \a\middle, \a\b\deep, \a\b\empty folder.
    void SetUp() override {
        tree.Make_File(L"top", 10);
        tree.Make_Folder(L"a\\b\\empty");
        tree.Make_File(L"a\\middle", 200);
        tree.Make_File(L"a\\b\\deep", 3000);
    }
    Temporary_Tree tree;
};

}  // namespace

TEST_F(Search_Test, RecordsContentsBeforeTheirFolder) {
    ASSERT_TRUE(Search(tree.Root()));
    auto records = Records();
    ASSERT_EQ(records.size(), 6u);
    std::set<std::wstring> paths;
    for (const auto& record : records) paths.insert(Path_Of(record));
    EXPECT_EQ(paths, (std::set<std::wstring>{L"\\top", L"\\a", L"\\a\\middle", L"\\a\\b",
                                             L"\\a\\b\\deep", L"\\a\\b\\empty"}));
    EXPECT_LT(Index_Of(records, L"\\a\\b\\deep"), Index_Of(records, L"\\a\\b"));
    EXPECT_LT(Index_Of(records, L"\\a\\b\\empty"), Index_Of(records, L"\\a\\b"));
    EXPECT_LT(Index_Of(records, L"\\a\\b"), Index_Of(records, L"\\a"));
    EXPECT_LT(Index_Of(records, L"\\a\\middle"), Index_Of(records, L"\\a"));

    EXPECT_EQ(Record_Of(records, L"\\top").Folder_Name, L"");
    EXPECT_EQ(Record_Of(records, L"\\a").Folder_Name, L"");
    EXPECT_EQ(Record_Of(records, L"\\a\\b\\deep").Folder_Name, L"\\a\\b");

    EXPECT_EQ(Record_Of(records, L"\\a").Object_Size.Value(), 3200u);
    EXPECT_EQ(Record_Of(records, L"\\a\\b").Object_Size.Value(), 3000u);
    EXPECT_EQ(Record_Of(records, L"\\a\\b\\empty").Object_Size.Value(), 0u);
    EXPECT_EQ(Record_Of(records, L"\\top").Object_Size.Value(), 10u);
    EXPECT_TRUE(Record_Of(records, L"\\a").Is_Folder);
    EXPECT_FALSE(Record_Of(records, L"\\top").Is_Folder);
    EXPECT_NE(Record_Of(records, L"\\top").Last_Accessed.dwHighDateTime, 0u);

    // Wine reports NTFS, so owners are looked up, files and folders alike.
    EXPECT_TRUE(Work::Searching_Ntfs());
    EXPECT_NE(Record_Of(records, L"\\top").Owner, nullptr);
    EXPECT_EQ(Record_Of(records, L"\\a").Owner, Record_Of(records, L"\\top").Owner);
    EXPECT_EQ(Work::Search_Root(), tree.Root());
    EXPECT_EQ(Work::Testing::Display_Root(), L"");
}

TEST_F(Search_Test, TrailingBackslashesAreIgnored) {
    ASSERT_TRUE(Search(tree.Root() + L"\\\\\\"));
    EXPECT_EQ(Work::Search_Root(), tree.Root());
    auto records = Records();
    EXPECT_EQ(records.size(), 6u);
    EXPECT_EQ(Record_Of(records, L"\\a\\b\\deep").Folder_Name, L"\\a\\b");
}

TEST_F(Search_Test, RootThatIsNoFolderKeepsThePreviousResults) {
    ASSERT_TRUE(Search(tree.Root()));
    Work::Testing::Display_Root() = L"\\a";
    EXPECT_FALSE(Search(tree.Path_Of(L"absent")));
    EXPECT_FALSE(Search(tree.Path_Of(L"top")));
    EXPECT_FALSE(Search(L""));
    EXPECT_EQ(Records().size(), 6u);
    EXPECT_EQ(Work::Testing::Display_Root(), L"\\a");

    // Nothing but backslashes would walk the current drive's root: a failure instead.
    EXPECT_THROW(Search(L"\\"), Constraint_Error);
    EXPECT_EQ(Records().size(), 6u);
}

TEST_F(Search_Test, HiddenAndSystemAttributes) {
    ASSERT_TRUE(SetFileAttributesW(tree.Path_Of(L"top").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(tree.Path_Of(L"a\\middle").c_str(), FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(Search(tree.Root()));
    auto records = Records();
    EXPECT_TRUE(Record_Of(records, L"\\top").Is_Hidden);
    EXPECT_FALSE(Record_Of(records, L"\\top").Is_System);
    EXPECT_TRUE(Record_Of(records, L"\\a\\middle").Is_System);
    EXPECT_FALSE(Record_Of(records, L"\\a\\middle").Is_Hidden);
    EXPECT_FALSE(Record_Of(records, L"\\a\\b\\deep").Is_Hidden);
}

TEST_F(Search_Test, TwoOwners) {
    if (!Give_To_Another_User(tree.Path_Of(L"a\\middle"))) GTEST_SKIP() << "no host chown here";
    ASSERT_TRUE(Search(tree.Root()));
    auto records = Records();
    Windows::Files::Owner mine = Record_Of(records, L"\\top").Owner;
    Windows::Files::Owner other = Record_Of(records, L"\\a\\middle").Owner;
    ASSERT_NE(mine, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(mine, other);
    EXPECT_EQ(Windows::Files::Image_Of(other), L"ANONYMOUS LOGON");
    EXPECT_EQ(Record_Of(records, L"\\a\\b\\deep").Owner, mine);
}

TEST_F(Search_Test, LinksAreRecordedButNotEntered) {
    // A link back to the root would otherwise be walked without end.
    const std::wstring host_root = Host_Path_Of(tree.Root());
    const std::wstring host_link = host_root + L"/a/loop";
    if (host_root.empty() || !Run_Host_Command(L"/bin/ln -s " + host_root + L" " + host_link))
        GTEST_SKIP() << "no host links here";
    // Gone before the tree is removed, which would follow it.
    const Host_Command_At_Exit remover(L"/bin/rm " + host_link);
    ASSERT_TRUE(Search(tree.Root()));
    auto records = Records();
    EXPECT_EQ(records.size(), 7u);
    EXPECT_TRUE(Record_Of(records, L"\\a\\loop").Is_Folder);
    EXPECT_EQ(Record_Of(records, L"\\a\\loop").Object_Size.Value(), 0u);
    EXPECT_EQ(Record_Of(records, L"\\a").Object_Size.Value(), 3200u);
}

TEST_F(Search_Test, StreamsAreRecordedBeforeTheirFile) {
    Substitute_Stream_Query query;
    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}, {L":note:$DATA", 7}});
    ASSERT_TRUE(Search(tree.Root()));
    auto records = Records();
    // Every file now has these two streams; the folder sums include them.
    EXPECT_EQ(records.size(), 12u);
    std::size_t unnamed = Index_Of(records, L"\\top::$DATA");
    std::size_t named = Index_Of(records, L"\\top:note:$DATA");
    std::size_t file = Index_Of(records, L"\\top");
    EXPECT_EQ(named, unnamed + 1);
    EXPECT_EQ(file, named + 1);
    EXPECT_EQ(records[unnamed].Stream_Name, L"::$DATA");
    EXPECT_EQ(records[unnamed].File_Name, L"top");
    EXPECT_TRUE(records[unnamed].Is_Stream && records[unnamed].Has_Streams);
    EXPECT_EQ(records[named].Object_Size.Value(), 7u);
    EXPECT_FALSE(records[file].Is_Stream);
    EXPECT_TRUE(records[file].Has_Streams);
    EXPECT_EQ(records[file].Object_Size.Value(), 17u);
    EXPECT_EQ(records[file].Last_Accessed.dwLowDateTime, records[named].Last_Accessed.dwLowDateTime);
    EXPECT_EQ(Record_Of(records, L"\\a").Object_Size.Value(), 34u);

    // Only the unnamed stream: the file stands alone with its listing size.
    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 999}});
    ASSERT_TRUE(Search(tree.Root()));
    records = Records();
    EXPECT_EQ(records.size(), 6u);
    EXPECT_FALSE(Record_Of(records, L"\\top").Has_Streams);
    EXPECT_EQ(Record_Of(records, L"\\top").Object_Size.Value(), 10u);

    // A failing query: the same.
    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}, {L":note:$DATA", 7}});
    query.Status = static_cast<std::int32_t>(0xC0000002);
    ASSERT_TRUE(Search(tree.Root()));
    EXPECT_EQ(Records().size(), 6u);
}

TEST(Search, StopEndsTheWalkAtOnce) {
    // Looked up one entry after the other; the walk with several look-up threads is held
    // to the same records elsewhere.
    struct One_By_One {
        const int saved = Work::Lookup_Threads();
        One_By_One() { Work::Set_Lookup_Threads(1); }
        ~One_By_One() { Work::Set_Lookup_Threads(saved); }
    } one_by_one;
    Temporary_Tree tree;
    tree.Make_Folder(L"d");
    tree.Make_Folder(L"e");
    for (int index = 0; index < 40; ++index) {
        tree.Make_File(L"d\\" + std::to_wstring(index), 1);
        tree.Make_File(L"e\\" + std::to_wstring(index), 1);
    }
    // The user presses Stop while the first file met is being looked at.
    Substitute_Stream_Query query;
    query.Status = static_cast<std::int32_t>(0xC0000002);
    query.On_Query = [] {
        if (Substitute_Stream_Query::Calls == 1) Work::Stop_Search();
    };
    Work::Testing::Want_Search();
    ASSERT_TRUE(Work::Search(tree.Root()));
    EXPECT_FALSE(Work::Search_Is_Wanted());
    EXPECT_EQ(query.Calls, 1);
    // That file, then the folder it was in: nothing else was processed.
    auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_FALSE(records[0].Is_Folder);
    EXPECT_TRUE(records[1].Is_Folder);
    EXPECT_EQ(records[0].Folder_Name, L"\\" + records[1].File_Name);
    EXPECT_EQ(records[1].Object_Size.Value(), 1u);
}

namespace {

bool Wait_Until_Idle() {
    for (int tries = 0; tries < 500 && Work::Search_Is_Wanted(); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !Work::Search_Is_Wanted();
}

}  // namespace

TEST(Searcher, ServesRequestsUntilQuit) {
    // Without a window the "Look in:" box is empty: no root, no walk.
    Work::Stop_Start_Request();
    EXPECT_TRUE(Wait_Until_Idle());
    Work::Stop_Start_Request();
    EXPECT_TRUE(Wait_Until_Idle());

    Work::Shut_Down();
    EXPECT_THROW(Work::Searcher::Start(), Tasking_Error);
    Work::Start_Application(Searching::Test_Name());
    Work::Stop_Start_Request();
    EXPECT_TRUE(Wait_Until_Idle());
}

TEST(Search, ALongRootIsSearchedAndShownAsTyped) {
    Temporary_Tree tree;
    const std::wstring host_root = Host_Path_Of(tree.Root());
    if (host_root.empty()) GTEST_SKIP() << "no host system here";
    const std::wstring part(70, L'p');
    std::wstring relative;
    for (int level = 0; level < 5; ++level) relative += L"\\" + part + std::to_wstring(level);
    std::wstring host_relative = relative;
    for (wchar_t& character : host_relative)
        if (character == L'\\') character = L'/';
    ASSERT_TRUE(Run_Host_Command(L"/bin/mkdir -p " + host_root + host_relative));
    ASSERT_TRUE(Run_Host_Command(L"/usr/bin/truncate -s 1234 " + host_root + host_relative + L"/deep"));
    const std::wstring deep_root = tree.Root() + relative;
    ASSERT_TRUE(Search(deep_root, 1));
    EXPECT_EQ(Work::Search_Root(), deep_root);
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].Object_Size.Value(), 1234u);
}

// ---------------------------------------------------------------- display filter

namespace {

class Display_Filter : public testing::Test {
protected:
    void SetUp() override {
        Work::Testing::Selection_To_Change().Options = {};
        On(Selection_Option::FILES);
        On(Selection_Option::SUBFOLDERS);
        Work::Testing::Display_Root().clear();
        Work::Testing::Selection_To_Change().Size_Threshold = {};
        file.File_Name = L"f";
        file.Folder_Name = L"\\ab";
        file.Object_Size = Unsigned::Quadword_Of(100);
        file.Last_Accessed = {1000, 5};
    }
    void TearDown() override { Work::Testing::Selection_To_Change().Options = {}; }
    static void On(Selection_Option option) { Work::Testing::Selection_To_Change().Options[option] = true; }
    static void Off(Selection_Option option) { Work::Testing::Selection_To_Change().Options[option] = false; }
    File_Information file;
};

}  // namespace

TEST_F(Display_Filter, Kinds) {
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    Off(Selection_Option::FILES);
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));

    File_Information folder = file;
    folder.Is_Folder = true;
    EXPECT_FALSE(Work::To_Be_Displayed(folder, Work::Selection_In_Force(), Work::Display_Root()));
    On(Selection_Option::FOLDERS);
    EXPECT_TRUE(Work::To_Be_Displayed(folder, Work::Selection_In_Force(), Work::Display_Root()));

    File_Information stream = file;
    stream.Stream_Name = L":s:$DATA";
    stream.Is_Stream = stream.Has_Streams = true;
    EXPECT_FALSE(Work::To_Be_Displayed(stream, Work::Selection_In_Force(), Work::Display_Root()));
    On(Selection_Option::STREAMS);
    EXPECT_TRUE(Work::To_Be_Displayed(stream, Work::Selection_In_Force(), Work::Display_Root()));

    // A file with streams gives way to them when they are shown.
    On(Selection_Option::FILES);
    file.Has_Streams = true;
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    Off(Selection_Option::STREAMS);
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
}

TEST_F(Display_Filter, Positions) {
    Work::Testing::Display_Root() = L"\\AB";  // letter case does not count
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    file.Folder_Name = L"\\abc\\d";  // a sibling that merely shares the prefix
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    file.Folder_Name = L"\\ab\\d";
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    file.Folder_Name = L"\\a";
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    file.Folder_Name = L"";
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    Work::Testing::Display_Root().clear();
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));

    Off(Selection_Option::SUBFOLDERS);
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    file.Folder_Name = L"\\ab";
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    Work::Testing::Display_Root() = L"\\aB";
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    file.Folder_Name = L"\\ab\\c";
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
}

TEST_F(Display_Filter, HiddenSystemAndSize) {
    file.Is_Hidden = true;
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    On(Selection_Option::HIDDEN);
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    file.Is_System = true;
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    On(Selection_Option::SYSTEM);
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));

    Work::Testing::Selection_To_Change().Size_Threshold = Unsigned::Quadword_Of(100);
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    file.Object_Size = Unsigned::Quadword_Of(99);
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    Work::Testing::Selection_To_Change().Size_Threshold = Unsigned::Quadword_Of(1, 0);
    file.Object_Size = Unsigned::Quadword_Of(0, 0xFFFFFFFF);
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    file.Object_Size = Unsigned::Quadword_Of(1, 0);
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
}

TEST_F(Display_Filter, AccessTimes) {
    On(Selection_Option::NEWLY_TOUCHED);
    Work::Testing::Selection_To_Change().Just_Recently = file.Last_Accessed;  // at the threshold: passes
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    Work::Testing::Selection_To_Change().Just_Recently = {1001, 5};
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));

    File_Information folder = file;
    folder.Is_Folder = true;
    On(Selection_Option::FOLDERS);
    EXPECT_TRUE(Work::To_Be_Displayed(folder, Work::Selection_In_Force(), Work::Display_Root())) << "folders are never filtered by time";

    // The "accessed within" filter takes precedence over "not accessed since".
    On(Selection_Option::AGED);
    Work::Testing::Selection_To_Change().Ages_Ago = {0, 9};
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    Off(Selection_Option::NEWLY_TOUCHED);
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    Work::Testing::Selection_To_Change().Ages_Ago = file.Last_Accessed;
    EXPECT_TRUE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    Work::Testing::Selection_To_Change().Ages_Ago = {999, 5};
    EXPECT_FALSE(Work::To_Be_Displayed(file, Work::Selection_In_Force(), Work::Display_Root()));
    EXPECT_TRUE(Work::To_Be_Displayed(folder, Work::Selection_In_Force(), Work::Display_Root()));
}
