// The Types page of a real walk against Python's own count of the same tree: extensions
// after the last dot without case, names with several dots, a leading dot or none, at any
// depth below the shown folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "temporary_tree.hpp"
#include "wide_text.hpp"
#include "work_window.hpp"

using namespace Work_Window;

namespace {

class Types : public Work_Window_Test {};

constexpr const char* Counted_Types = R"PYTHON(
import collections, os, sys
files, sizes = collections.Counter(), collections.Counter()
for folder, _, names in os.walk(sys.argv[1]):
    for name in names:
        dot = name.rfind('.')
        kind = '(no extension)' if dot <= 0 or dot == len(name) - 1 else name[dot + 1:].lower()
        files[kind] += 1
        sizes[kind] += os.path.getsize(os.path.join(folder, name))
lines = sorted('%s|%d|%d' % (kind, files[kind], sizes[kind]) for kind in files)
open(sys.argv[2], 'w', encoding='utf-8').write('\n'.join(lines) + '\n')
)PYTHON";

std::vector<std::string> Lines_Of(const std::wstring& the_path) {
    std::vector<std::string> lines;
    std::ifstream file{std::filesystem::path(the_path)};
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

std::string Trimmed(const std::wstring& the_cell) {
    std::string text = Wide_Text::Utf8_Of(the_cell);
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

}  // namespace

TEST_F(Types, EveryTypeBelowTheShownFolderIsCountedAsPythonCountsIt) {
    Temporary_Tree tree;
    if (Host_Path_Of(tree.Root()).empty()) GTEST_SKIP() << "no host system here";
    tree.Make_File(L"a.JPG", 100);
    tree.Make_File(L"b.jpg", 200);
    tree.Make_File(L"c.tar.gz", 300);
    tree.Make_File(L"d", 50);
    tree.Make_File(L".bashrc", 7);
    tree.Make_File(L"h.TXT", 20);
    tree.Make_File(L"sub\\f.Jpg", 1000);
    tree.Make_File(L"sub\\deep\\g.txt", 10);
    tree.Make_File(L"sub\\deep\\v1.2.Tar.GZ", 3);
    const std::wstring counted = tree.Root() + L".types";
    ASSERT_TRUE(Run_Host_Python(Counted_Types, Host_Path_Of(tree.Root()) + L" " + Host_Path_Of(counted)));

    Open_Window();
    for (const Gui::Check_Box* box : {&Work::Controls().Display_Files, &Work::Controls().Display_Hidden,
                                      &Work::Controls().Display_Full_Size})
        Gui::Set(*box);
    Search(tree.Root());
    const std::string file_totals = Status_Line();
    Show(Types_Tab);
    const Gui::List_View& view = Work::Controls().Types_List_View;
    std::vector<std::string> shown;
    for (int row = 0; row < Row_Count(view); ++row)
        shown.push_back(Wide_Text::Utf8_Of(Cell(view, row, 0)) + "|" + Trimmed(Cell(view, row, 2)) + "|" +
                        Trimmed(Cell(view, row, 3)));
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, Lines_Of(counted));
    EXPECT_EQ(Cell(view, 0, 0), L"jpg") << "the largest type first";
    EXPECT_EQ(Cell(view, 0, 5), L"f.Jpg");
    EXPECT_EQ(Cell(view, 0, 4), L"76.9%");  // 1300 of 1690
    EXPECT_EQ(Status_Line(), "9 files of 4 types. Total size=1690");

    Show(Display_Tab);
    EXPECT_EQ(Status_Line(), file_totals) << "the shown records' totals come back";
    DeleteFileW(counted.c_str());
}
