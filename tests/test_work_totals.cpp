// The totals line and the Accounts page count each byte of a real walk once, whatever is
// shown: a shown folder keeps only what no shown object inside it has taken. du is the
// oracle of the bytes there are.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "temporary_tree.hpp"
#include "wide_text.hpp"
#include "work_window.hpp"

using namespace Work_Window;
namespace Files = Windows::Files;

namespace {

class Totals : public Work_Window_Test {};

// The bytes below a folder as du counts them, less the sizes folders have of their own
// there, which a walk on Windows does not see; or the same of the blocks they take.
std::uint64_t Du_Bytes_Of(const std::wstring& the_root, bool of_blocks = false) {
    const std::wstring oracle = the_root + L".du";
    EXPECT_TRUE(Run_Host_Python(
        "import subprocess, sys\n"
        "blocks = sys.argv[3] == 'blocks'\n"
        "du = int(subprocess.run(['du', '-sB1' if blocks else '-sb', sys.argv[1]], check=True,\n"
        "         capture_output=True, text=True).stdout.split()[0])\n"
        "own = subprocess.run(['find', sys.argv[1], '-type', 'd', '-printf', '%b\\n' if blocks else '%s\\n'],\n"
        "         check=True, capture_output=True, text=True).stdout.split()\n"
        "open(sys.argv[2], 'w').write(str(du - sum(map(int, own)) * (512 if blocks else 1)))\n",
        Host_Path_Of(the_root) + L" " + Host_Path_Of(oracle) + (of_blocks ? L" blocks" : L" bytes")));
    std::uint64_t bytes = 0;
    EXPECT_TRUE(std::ifstream(std::filesystem::path(oracle)) >> bytes);
    DeleteFileW(oracle.c_str());
    return bytes;
}

std::wstring Usage_Of(const std::wstring& the_owner) {
    const Gui::List_View& accounts = Work::Controls().Account_List_View;
    const int row = Row_Named(accounts, the_owner);
    return row < 0 ? L"(no row)" : Cell(accounts, row, 2);
}

// The Accounts page shows sizes abbreviated, whatever the options.
std::wstring Usage(std::uint64_t the_bytes) {
    return Wide_Text::Widened(Files::Image_Of(Files::File_Size::From(the_bytes)));
}

}  // namespace

// top.bin 100 mine; a\ theirs, holding x.bin 1000 theirs, .h 500 mine (hidden), and b\ mine,
// holding y.bin 10 mine and z.bin 5 theirs.
TEST_F(Totals, EachByteCountsOnceForTheInnermostShownObjectThatHoldsIt) {
    Temporary_Tree tree;
    if (Host_Path_Of(tree.Root()).empty()) GTEST_SKIP() << "no host system here";
    tree.Make_File(L"top.bin", 100);
    tree.Make_File(L"a\\x.bin", 1000);
    tree.Make_File(L"a\\.h", 500);
    tree.Make_File(L"a\\b\\y.bin", 10);
    tree.Make_File(L"a\\b\\z.bin", 5);
    if (!Give_To_Another_User(tree.Path_Of(L"a")) || !Give_To_Another_User(tree.Path_Of(L"a\\x.bin")) ||
        !Give_To_Another_User(tree.Path_Of(L"a\\b\\z.bin")))
        GTEST_SKIP() << "no second owner can be made here";
    const std::uint64_t du = Du_Bytes_Of(tree.Root());
    ASSERT_EQ(du, 1615u);
    const std::wstring mine = Files::Image_Of(Files::Owner_Of(tree.Path_Of(L"top.bin")));
    const std::wstring theirs = Files::Image_Of(Files::Owner_Of(tree.Path_Of(L"a")));
    ASSERT_NE(mine, theirs);
    ASSERT_TRUE(GetFileAttributesW(tree.Path_Of(L"a\\.h").c_str()) & FILE_ATTRIBUTE_HIDDEN) << "Wine hides dot files";

    // Everything shown at once, the natural choice for a report of everything. The hidden
    // file is inside a: its bytes are a's, and a is theirs.
    Open_Window();
    for (const Gui::Check_Box* box : {&Work::Controls().Display_Files, &Work::Controls().Display_Folders,
                                      &Work::Controls().Visit_Folders, &Work::Controls().Display_Full_Size})
        Gui::Set(*box);
    Search(tree.Root());
    EXPECT_EQ(Status_Line(), "4 files and 2 folders. Total size=" + std::to_string(du));
    Show(Accounts_Tab);
    EXPECT_EQ(Usage_Of(mine), Usage(100 + 10));
    EXPECT_EQ(Usage_Of(theirs), Usage(1000 + 500 + 5));

    // The hidden file shown takes its bytes from a.
    Show(Selection_Tab);
    Tick(Work::Controls().Display_Hidden);
    Show(Display_Tab);
    EXPECT_EQ(Status_Line(), "5 files and 2 folders. Total size=" + std::to_string(du));
    Show(Accounts_Tab);
    EXPECT_EQ(Usage_Of(mine), Usage(100 + 500 + 10));
    EXPECT_EQ(Usage_Of(theirs), Usage(1000 + 5));

    // Without subfolders nothing shown lies inside anything shown: a holds all of its own.
    Show(Selection_Tab);
    Tick(Work::Controls().Visit_Folders, false);
    Show(Display_Tab);
    EXPECT_EQ(Status_Line(), "1 file and 1 folder. Total size=" + std::to_string(du));
    Show(Accounts_Tab);
    EXPECT_EQ(Usage_Of(mine), Usage(100));
    EXPECT_EQ(Usage_Of(theirs), Usage(1515));
}

// Counted on disk, the totals line, the Accounts page and the map follow the blocks du
// counts; the size line's second part tells them either way, with the volume's space.
TEST_F(Totals, CountedOnDiskEveryTotalIsTheBlocksTaken) {
    Temporary_Tree tree;
    if (Host_Path_Of(tree.Root()).empty()) GTEST_SKIP() << "no host system here";
    tree.Make_File(L"top.bin", 100);
    tree.Make_File(L"a\\x.bin", 5000);
    tree.Make_File(L"a\\y.bin", 1);
    const std::uint64_t bytes = Du_Bytes_Of(tree.Root());
    const std::uint64_t blocks = Du_Bytes_Of(tree.Root(), true);
    ASSERT_EQ(bytes, 5101u);
    ASSERT_GT(blocks, bytes);

    Open_Window();
    for (const Gui::Check_Box* box : {&Work::Controls().Display_Files, &Work::Controls().Display_Folders,
                                      &Work::Controls().Visit_Folders, &Work::Controls().Display_Full_Size})
        Gui::Set(*box);
    Search(tree.Root());
    EXPECT_EQ(Status_Line(), "3 files and 1 folder. Total size=" + std::to_string(bytes));
    const std::string on_disk = "On disk " + std::to_string(blocks) + " of " + Wide_Text::Narrowed(tree.Root().substr(0, 2)) + " ";
    EXPECT_EQ(Status_Line(1).substr(0, on_disk.size()), on_disk) << Status_Line(1);
    EXPECT_NE(Status_Line(1).find(" used, "), std::string::npos) << Status_Line(1);
    const Gui::List_View& view = Work::Controls().File_List_View;
    EXPECT_EQ(Cell(view, Row_Named(view, L"top.bin"), 4), Cell(view, Row_Named(view, L"y.bin"), 4))
        << "a byte takes a block, as a hundred do";

    Show(Selection_Tab);
    Tick(Work::Controls().Count_On_Disk);
    Show(Display_Tab);
    EXPECT_EQ(Status_Line(), "3 files and 1 folder. Total size=" + std::to_string(blocks));
    Show(Accounts_Tab);
    const std::wstring mine = Files::Image_Of(Files::Owner_Of(tree.Path_Of(L"top.bin")));
    EXPECT_EQ(Usage_Of(mine), Usage(blocks));
}
