// Comparisons of records as two walks give them, in the same order or not: every object's
// change is the same whichever way its older record is found.
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <string>
#include <vector>

#include "work-compare.hpp"
#include "work-scan_file.hpp"

using Work::File_Information;
using Work::File_List;
namespace Compare = Work::Compare;

namespace {

File_Information Record(const wchar_t* folder, const wchar_t* name, std::uint64_t size, bool is_folder = false) {
    File_Information record;
    record.Folder_Name = folder;
    record.File_Name = name;
    record.Object_Size = Work::File_Size::From(size);
    record.Is_Folder = is_folder;
    return record;
}

// The changes against the older records as a scan file holds them.
struct Comparison {
    Comparison(const File_List& now, const File_List& then)
        : bytes(Work::Scan_File::Bytes_Of({L"Z:\\root", false, {}, true, {}}, then)), reader(bytes), changes(now, reader) {}
    std::string bytes;
    Work::Scan_File::Record_Reader reader;
    Compare::Changes changes;
};

std::wstring Path_Of(const File_Information& record) { return record.Folder_Name + L"\\" + record.File_Name; }

// Each path's change as text: "+5", "new", "gone -9".
std::map<std::wstring, std::wstring> Changes_Of(const File_List& now, const File_List& then) {
    const Comparison comparison(now, then);
    const Compare::Changes& changes = comparison.changes;
    std::map<std::wstring, std::wstring> result;
    auto add = [&](const File_Information& record) {
        const Compare::Change change = changes.Of(record);
        result[Path_Of(record) + (record.Is_Folder ? L"\\" : L"")] =
            change.Is_New ? L"new" : (change.Is_Gone ? L"gone " : L"") + std::to_wstring(change.Bytes);
    };
    for (auto at = First(now); Has_Element(at); at = Next(at)) add(Element_At(at));
    for (const File_Information* gone : changes.Gone()) add(*gone);
    return result;
}

}  // namespace

TEST(Compare, ChangesDoNotDependOnTheOrderOfTheWalks) {
    File_List then, now, now_reversed;
    for (int index = 0; index < 40; ++index) {
        const std::wstring name = L"f" + std::to_wstring(index);
        Append(Record(L"\\a", name.c_str(), 100 + index), then);
        // Every fifth file grew by its number, every seventh has gone, a few are new.
        if (index % 7 == 3) continue;
        Append(Record(L"\\a", name.c_str(), 100 + index + (index % 5 == 0 ? index : 0)), now);
    }
    Append(Record(L"\\a", L"fresh", 5), now);
    Append(Record(L"\\b", L"f1", 1), now);  // the same name in another folder is another object
    Append(Record(L"", L"a", 4000, true), then);
    Append(Record(L"", L"a", 4100, true), now);
    Append(Record(L"\\a", L"f1", 0, true), now);  // a folder of a file's name is another object
    const std::vector<File_Information> records = Elements_Of(now, 1).Elements;
    for (auto record = records.rbegin(); record != records.rend(); ++record) Append(*record, now_reversed);

    const std::map<std::wstring, std::wstring> in_order = Changes_Of(now, then);
    EXPECT_EQ(Changes_Of(now_reversed, then), in_order);
    EXPECT_EQ(in_order.at(L"\\a\\f15"), L"15");
    EXPECT_EQ(in_order.at(L"\\a\\f11"), L"0");
    EXPECT_EQ(in_order.at(L"\\a\\f3"), L"gone -103");
    EXPECT_EQ(in_order.at(L"\\a\\fresh"), L"new");
    EXPECT_EQ(in_order.at(L"\\b\\f1"), L"new");
    EXPECT_EQ(in_order.at(L"\\a\\f1\\"), L"new");
    EXPECT_EQ(in_order.at(L"\\a\\"), L"100");
    EXPECT_EQ(in_order.size(), 40u + 3u + 1u);
}

TEST(Compare, AnObjectMetBeforeByAnotherPathChangesNoSum) {
    File_List then, now;
    Append(Record(L"", L"link", 70), then);
    Append(Record(L"", L"grown link", 10), then);
    File_Information link = Record(L"", L"link", 70);
    link.Is_Shared = true;  // now a hard link to an object counted elsewhere
    Append(link, now);
    File_Information grown = Record(L"", L"grown link", 30);
    grown.Is_Shared = true;
    Append(grown, now);
    File_Information fresh = Record(L"", L"fresh link", 5);
    fresh.Is_Shared = true;
    Append(fresh, now);
    const Comparison comparison(now, then);
    const Compare::Changes& changes = comparison.changes;
    const auto at = First(now);
    const File_Information& first = Element_At(at);
    const File_Information& second = Element_At(Next(at));
    const File_Information& third = Element_At(Next(Next(at)));
    // The rows show the sizes' differences; the sums lose what no longer counts.
    EXPECT_EQ(changes.Of(first).Bytes, 0);
    EXPECT_EQ(changes.Of(first).Counted, -70);
    EXPECT_EQ(changes.Of(second).Bytes, 20);
    EXPECT_EQ(changes.Of(second).Counted, -10);
    EXPECT_TRUE(changes.Of(third).Is_New);
    EXPECT_EQ(changes.Of(third).Counted, 0);
}

// A large older scan is met in two halves at once. Every change must come out as it would
// in one pass: whatever grew, went or came, also where the two walks part near the seam
// between the halves (runs of records that moved to the end, all along).
TEST(Compare, ALargeScanGivesTheChangesOfOnePass) {
    File_List then, now;
    std::map<std::wstring, std::wstring> expected;
    std::vector<File_Information> moved;
    constexpr int Files = 200000;
    for (int index = 0; index < Files; ++index) {
        const std::wstring folder = L"\\d" + std::to_wstring(index / 1000);
        const std::wstring name = L"f" + std::to_wstring(index);
        const std::uint64_t size = 1000 + index % 977;
        Append(Record(folder.c_str(), name.c_str(), size), then);
        const std::wstring path = folder + L"\\" + name;
        if (index % 100 == 42) {
            expected[path] = L"gone -" + std::to_wstring(size);
            continue;
        }
        const std::uint64_t grown = index % 10 == 3 ? index % 7 + 1 : 0;
        expected[path] = std::to_wstring(grown);
        File_Information record = Record(folder.c_str(), name.c_str(), size + grown);
        if (index % 25000 > 24900) moved.push_back(record);
        else Append(record, now);
        if (index % 5000 == 1) {
            Append(Record(folder.c_str(), (name + L"new").c_str(), 1), now);
            expected[path + L"new"] = L"new";
        }
    }
    for (const File_Information& record : moved) Append(record, now);
    EXPECT_EQ(Changes_Of(now, then), expected);
}

// Sizes of 2^63 bytes or more, as a damaged scan or a sparse file gives them: a change keeps
// its sign, at the largest that fits, rather than wrap round to the other.
TEST(Compare, ChangesOfHugeSizesKeepTheirSigns) {
    constexpr std::uint64_t Huge = ~std::uint64_t{0};
    File_List then, now;
    Append(Record(L"", L"grew", 0), then);
    Append(Record(L"", L"grew", Huge), now);
    Append(Record(L"", L"shrank", Huge), then);
    Append(Record(L"", L"shrank", 1), now);
    Append(Record(L"", L"gone", Huge), then);
    const std::wstring largest = std::to_wstring(std::numeric_limits<std::int64_t>::max());
    const std::map<std::wstring, std::wstring> expected{
        {L"\\grew", largest}, {L"\\shrank", L"-" + largest}, {L"\\gone", L"gone -" + largest}};
    EXPECT_EQ(Changes_Of(now, then), expected);
}
