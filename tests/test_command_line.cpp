// The real quarrix.exe run without a window, as a scheduled task runs it: scans saved and
// reported, a comparison with grown, shrunk, new and gone objects, the reports read back
// by Python's csv and json modules, and the exit code of each kind of failure.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "compared_tree.hpp"
#include "temporary_tree.hpp"
#include "wide_text.hpp"
#include "windows-files.hpp"
#include "work-scan_file.hpp"

namespace {

struct Run_Result {
    DWORD Exit_Code = 9999;
    std::string Output;  // what it said on the console
};

// Runs quarrix.exe with the arguments, its console output into a file, and waits for it.
Run_Result Quarrix(const std::wstring& the_arguments, const Temporary_Tree& the_tree) {
    const std::wstring output_path = the_tree.Path_Of(L"console.txt");
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE output = CreateFileW(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherited, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + Wide_Text::Widened(QUARRIX_EXE) + L"\" " + the_arguments;
    Run_Result result;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       the_tree.Root().c_str(), &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, 120'000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 9998);
        GetExitCodeProcess(process.hProcess, &result.Exit_Code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(output);
    std::ifstream file(std::filesystem::path(output_path), std::ios::binary);
    result.Output.assign(std::istreambuf_iterator<char>(file), {});
    return result;
}

std::wstring Quoted(const std::wstring& the_path) { return L"\"" + the_path + L"\""; }

// The report as Python's own parser reads it, one line a row: the name, the folder below
// the root, the size, the type and the change, sorted; then "owner|files|usage|change",
// sorted too.
constexpr const char* Normaliser = R"PYTHON(
import csv, json, sys
path, out = sys.argv[1], sys.argv[3]
root = open(sys.argv[2], encoding='utf-8').read()
lines = []
if path.endswith('.json'):
    report = json.load(open(path, encoding='utf-8'))
    assert report['root'] == root, (report['root'], root)
    rows, owners = report['rows'], report['owners']
    assert all(isinstance(row['Size'], int) for row in rows)
else:
    with open(path, encoding='utf-8-sig', newline='') as file:
        table = list(csv.reader(file))
    blank = table.index([]) if [] in table else len(table)
    titles = table[0]
    rows = [dict(zip(titles, row)) for row in table[1:blank]]
    assert all(len(row) == len(titles) for row in table[1:blank])
    owners = [dict(zip(table[blank + 1], row)) for row in table[blank + 2:]]
for row in rows:
    folder = row['In Folder']
    assert folder.startswith(root), folder
    lines.append('|'.join([row['Name'], folder[len(root):], str(row['Size']), row['Type'],
                           str(row.get('Change', '-'))]))
lines.sort()
lines += sorted('owner|%s|%s|%s|%s' % (owner['Owner'], owner['Nr of files'], owner['Usage'],
                                       owner.get('Change', '-')) for owner in owners)
open(out, 'w', encoding='utf-8').write('\n'.join(lines) + '\n')
)PYTHON";

std::vector<std::string> Read_Back(const Temporary_Tree& the_tree, const std::wstring& the_report,
                                   const std::wstring& the_root) {
    const std::wstring out = the_tree.Path_Of(L"normalised.txt");
    const std::wstring root_file = the_tree.Path_Of(L"root.txt");
    DeleteFileW(out.c_str());
    Windows::Files::Replace_Contents(root_file, Wide_Text::Utf8_Of(the_root));
    EXPECT_TRUE(Run_Host_Python(Normaliser, Host_Path_Of(the_report) + L" " + Host_Path_Of(root_file) +
                                                L" " + Host_Path_Of(out)))
        << "Python could not read the report back";
    std::vector<std::string> lines;
    std::ifstream file(std::filesystem::path(out), std::ios::binary);
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

std::string Owner_Of(const std::wstring& the_path) {
    return Wide_Text::Utf8_Of(Windows::Files::Image_Of(Windows::Files::Owner_Of(the_path)));
}

class Command_Line : public testing::Test {
protected:
    void SetUp() override {
        root = tree.Path_Of(L"root");
        Make_Tree_Of_Last_Month(tree);
        tree.Make_File(L"root\\Comma, \u00e9\U0001F600.txt", 7);
        tree.Make_File(L"root\\theirs\\their.bin", 11);
        has_other_owner = Give_To_Another_User(tree.Path_Of(L"root\\theirs\\their.bin"));
    }

    Temporary_Tree tree;
    std::wstring root;
    bool has_other_owner = false;
};

}  // namespace

TEST_F(Command_Line, AReportOfAComparisonReadsBackWithEveryChange) {
    const std::wstring older = tree.Path_Of(L"older.qscan");
    const Run_Result saved = Quarrix(L"/save " + Quoted(older) + L" " + Quoted(root), tree);
    ASSERT_EQ(saved.Exit_Code, 0u) << saved.Output;
    EXPECT_NE(saved.Output.find("Scan saved as"), std::string::npos) << saved.Output;

    ASSERT_NO_FATAL_FAILURE(Change_Tree_Since_Last_Month(tree));

    const std::wstring flags = L" /files /folders /subfolders";
    const std::wstring csv = tree.Path_Of(L"report.csv");
    const Run_Result reported = Quarrix(L"/report " + Quoted(csv) + L" " + root + L"\\" +
                                            L" /compare " + Quoted(older) + flags, tree);
    ASSERT_EQ(reported.Exit_Code, 0u) << reported.Output;
    std::vector<std::string> lines = Read_Back(tree, csv, root);
    const std::string mine = Owner_Of(tree.Path_Of(L"root\\grows.txt"));
    std::vector<std::string> expected = {
        "Comma, \xC3\xA9\xF0\x9F\x98\x80.txt||7|file|0",
        "goes.bin|\\sub|30|gone file|-30",
        "grows.txt||1100|file|1000",
        "inside.bin|\\old|9|gone file|-9",
        "new.bin|\\sub|5|file|new",
        "old||9|gone folder|-9",
        "shrinks.txt||200|file|-300",
        "stays.bin|\\sub|40|file|0",
        "sub||45|folder|-25",
        "their.bin|\\theirs|11|file|0",
        "theirs||11|folder|0",
    };
    std::sort(expected.begin(), expected.end());
    // Each byte counts once, to the innermost shown object that holds it: these folders hold
    // nothing of their own, so an owner's usage is the bytes of its files, and its change
    // those now less those then; gone objects count in the change alone.
    const std::string change = std::to_string((7 + 1100 + 200 + 40 + 5) - (7 + 100 + 500 + 40 + 30 + 9));
    if (has_other_owner) {
        expected.push_back("owner|" + mine + "|7|1352|" + change);
        expected.push_back("owner|" + Owner_Of(tree.Path_Of(L"root\\theirs\\their.bin")) + "|1|11|0");
    } else {
        expected.push_back("owner|" + mine + "|8|1363|" + change);
    }
    std::sort(expected.begin() + 11, expected.end());
    EXPECT_EQ(lines, expected);

    // The same as JSON, from a saved scan instead of a walk, reads back the same rows.
    const std::wstring newer = tree.Path_Of(L"newer.qscan");
    ASSERT_EQ(Quarrix(L"/save " + Quoted(newer) + L" " + Quoted(root), tree).Exit_Code, 0u);
    const std::wstring json = tree.Path_Of(L"report.json");
    const Run_Result from_scan = Quarrix(L"/report " + Quoted(json) + L" /open " + Quoted(newer) +
                                             L" /compare " + Quoted(older) + flags, tree);
    ASSERT_EQ(from_scan.Exit_Code, 0u) << from_scan.Output;
    EXPECT_EQ(Read_Back(tree, json, root), lines);

    // Counted on disk, files that grew or shrank within one block have not changed.
    const std::wstring on_disk = tree.Path_Of(L"on-disk.csv");
    ASSERT_EQ(Quarrix(L"/report " + Quoted(on_disk) + L" /open " + Quoted(newer) + L" /compare " +
                          Quoted(older) + flags + L" /ondisk", tree).Exit_Code, 0u);
    const std::vector<std::string> counted = Read_Back(tree, on_disk, root);
    for (const char* unchanged : {"grows.txt||1100|file|0", "shrinks.txt||200|file|0"})
        EXPECT_NE(std::find(counted.begin(), counted.end(), unchanged), counted.end()) << unchanged;
}

// A file given to another owner between two scans: its bytes leave the one and reach the
// other, and the owner left with nothing keeps a row for what it lost.
TEST_F(Command_Line, AFileThatChangedOwnerMovesItsBytesBetweenTheOwnersChanges) {
    if (!has_other_owner) GTEST_SKIP() << "no second owner can be made here";
    const std::wstring moved = tree.Path_Of(L"moved");
    tree.Make_File(L"moved\\given.bin", 1000);
    tree.Make_File(L"moved\\theirs.bin", 10);
    ASSERT_TRUE(Give_To_Another_User(tree.Path_Of(L"moved\\theirs.bin")));
    const std::string mine = Owner_Of(tree.Path_Of(L"moved\\given.bin"));
    const std::string theirs = Owner_Of(tree.Path_Of(L"moved\\theirs.bin"));
    const std::wstring older = tree.Path_Of(L"before.qscan");
    ASSERT_EQ(Quarrix(L"/save " + Quoted(older) + L" " + Quoted(moved), tree).Exit_Code, 0u);
    ASSERT_TRUE(Give_To_Another_User(tree.Path_Of(L"moved\\given.bin")));

    const std::wstring csv = tree.Path_Of(L"owners.csv");
    const Run_Result reported = Quarrix(L"/report " + Quoted(csv) + L" " + Quoted(moved) + L" /compare " +
                                            Quoted(older) + L" /files", tree);
    ASSERT_EQ(reported.Exit_Code, 0u) << reported.Output;
    std::vector<std::string> lines = Read_Back(tree, csv, moved);
    std::vector<std::string> owners(std::find_if(lines.begin(), lines.end(),
                                                 [](const std::string& line) { return line.starts_with("owner|"); }),
                                    lines.end());
    std::vector<std::string> expected{"owner|" + theirs + "|2|1010|1000", "owner|" + mine + "|0|0|-1000"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(owners, expected);
}

TEST_F(Command_Line, EachKindOfFailureHasItsExitCodeAndLeavesTheReportAsItWas) {
    const Run_Result help = Quarrix(L"/?", tree);
    EXPECT_EQ(help.Exit_Code, 0u);
    EXPECT_NE(help.Output.find("Exit codes"), std::string::npos) << help.Output;

    const std::wstring report = tree.Path_Of(L"report.csv");
    Windows::Files::Replace_Contents(report, "kept");
    const Run_Result unknown = Quarrix(L"/report " + Quoted(report) + L" " + Quoted(root) + L" /bogus", tree);
    EXPECT_EQ(unknown.Exit_Code, 1u);
    EXPECT_NE(unknown.Output.find("unknown switch /bogus"), std::string::npos) << unknown.Output;
    EXPECT_EQ(Quarrix(L"/report " + Quoted(tree.Path_Of(L"report.txt")) + L" " + Quoted(root), tree).Exit_Code, 1u);
    EXPECT_EQ(Quarrix(L"/report " + Quoted(report) + L" " + Quoted(root) + L" /folders /since 3", tree).Exit_Code, 1u);
    // More days than a time goes back would switch the filter off unsaid.
    const Run_Result too_long_ago =
        Quarrix(L"/report " + Quoted(report) + L" " + Quoted(root) + L" /since 99999999", tree);
    EXPECT_EQ(too_long_ago.Exit_Code, 1u);
    EXPECT_NE(too_long_ago.Output.find("/since 99999999"), std::string::npos) << too_long_ago.Output;

    const Run_Result missing = Quarrix(L"/report " + Quoted(report) + L" " + Quoted(tree.Path_Of(L"none")), tree);
    EXPECT_EQ(missing.Exit_Code, 2u);
    EXPECT_NE(missing.Output.find("ROOT_NOT_FOUND"), std::string::npos) << missing.Output;

    const std::wstring damaged = tree.Path_Of(L"damaged.qscan");
    Windows::Files::Replace_Contents(damaged, "QRXSCAN\x1A but not much else");
    const Run_Result unreadable = Quarrix(L"/report " + Quoted(report) + L" /open " + Quoted(damaged), tree);
    EXPECT_EQ(unreadable.Exit_Code, 3u);
    EXPECT_NE(unreadable.Output.find("TRUNCATED_SCAN"), std::string::npos) << unreadable.Output;
    EXPECT_EQ(Quarrix(L"/report " + Quoted(report) + L" /open " + Quoted(tree.Path_Of(L"none.qscan")), tree).Exit_Code, 3u);

    const Run_Result unwritable = Quarrix(L"/report " + Quoted(tree.Path_Of(L"no\\such\\folder.csv")) + L" " + Quoted(root), tree);
    EXPECT_EQ(unwritable.Exit_Code, 4u);
    EXPECT_NE(unwritable.Output.find("WRITE_FAILURE"), std::string::npos) << unwritable.Output;

    const std::wstring other_root = tree.Path_Of(L"other.qscan");
    ASSERT_EQ(Quarrix(L"/save " + Quoted(other_root) + L" " + Quoted(root + L"\\sub"), tree).Exit_Code, 0u);
    EXPECT_EQ(Quarrix(L"/report " + Quoted(report) + L" " + Quoted(root) + L" /compare " + Quoted(other_root), tree).Exit_Code, 5u);

    std::ifstream kept(std::filesystem::path(report), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
}

// Times as Python's csv and json modules read them back: ISO 8601 to the last one a time can
// hold, the years past 9999 in the expanded form. The column is the last access, and is
// titled so, whatever the volume.
TEST_F(Command_Line, EveryTimeIsReportedInIso8601UnderItsTrueTitle) {
    const std::vector<std::pair<std::uint64_t, std::string>> times = {
        {0, ""},
        {2650467743990000000, "9999-12-31T23:59:59Z"},
        {2650467744000000000, "+010000-01-01T00:00:00Z"},
        {0x7FFFFFFFFFFFFFFF, "+030828-09-14T02:48:05Z"},
        {0x8000000000000000, "+030828-09-14T02:48:05Z"},
        {0xFFFFFFFFFFFFFFFF, "+060056-05-28T05:36:10Z"}};
    Work::File_List records;
    std::string expected = "Name,In Folder,Size,Size on disk,Last Accessed,Type\n";
    for (std::size_t index = 0; index < times.size(); ++index) {
        const std::uint64_t ticks = times[index].first;
        Append(Work::File_Information{.File_Name = L"t" + std::to_wstring(index),
                                      .Folder_Name = {},
                                      .Owner = nullptr,
                                      .Stream_Name = {},
                                      .Object_Size = {},
                                      .Last_Accessed = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}},
               records);
        expected += "t" + std::to_string(index) + "|" + times[index].second + "\n";
    }
    const std::wstring scan = tree.Path_Of(L"times.qscan");
    Work::Scan_File::Save(scan, {root, false, Windows::Files::The_Time_Now(), true, {}}, records);

    constexpr const char* Times_Of = R"PYTHON(
import csv, json, sys
with open(sys.argv[1], encoding='utf-8-sig', newline='') as file:
    table = list(csv.reader(file))
report = json.load(open(sys.argv[2], encoding='utf-8'))
assert report['columns'] == table[0], (report['columns'], table[0])
assert [[row[title] for title in table[0]] for row in report['rows']] == [
    [int(cell) if title in ('Size', 'Size on disk') else cell for title, cell in zip(table[0], row)] for row in table[1:]]
lines = [','.join(table[0])] + sorted(row[0] + '|' + row[4] for row in table[1:])
open(sys.argv[3], 'w', encoding='utf-8').write('\n'.join(lines) + '\n')
)PYTHON";
    const std::wstring csv = tree.Path_Of(L"times.csv");
    const std::wstring json = tree.Path_Of(L"times.json");
    for (const std::wstring& report : {csv, json}) {
        const Run_Result reported =
            Quarrix(L"/report " + Quoted(report) + L" /open " + Quoted(scan) + L" /files", tree);
        ASSERT_EQ(reported.Exit_Code, 0u) << reported.Output;
    }
    const std::wstring out = tree.Path_Of(L"times.txt");
    ASSERT_TRUE(Run_Host_Python(Times_Of, Host_Path_Of(csv) + L" " + Host_Path_Of(json) + L" " + Host_Path_Of(out)));
    std::ifstream file(std::filesystem::path(out), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), expected);
}

// Sizes on disk are the blocks the host's file system counts (du), per file and per folder:
// a file of a few bytes takes a whole block, a sparse file only what it holds. Counted on
// disk, the owners' usage is the files' blocks.
TEST_F(Command_Line, SizesOnDiskAreTheBlocksDuCounts) {
    const std::wstring sparse = tree.Path_Of(L"root\\sub\\sparse.vhd");
    ASSERT_TRUE(Run_Host_Command(L"/usr/bin/truncate -s 100M " + Host_Path_Of(sparse)));
    ASSERT_TRUE(Run_Host_Command(L"/bin/dd if=/dev/zero bs=1M count=1 seek=5 conv=notrunc status=none of=" +
                                 Host_Path_Of(sparse)));
    const std::wstring csv = tree.Path_Of(L"disk.csv");
    const std::wstring counted = tree.Path_Of(L"counted.csv");
    for (const auto& [report, flags] : {std::pair{csv, L" /files /folders /subfolders"},
                                        std::pair{counted, L" /files /subfolders /ondisk"}}) {
        const Run_Result reported = Quarrix(L"/report " + Quoted(report) + L" " + Quoted(root) + flags, tree);
        ASSERT_EQ(reported.Exit_Code, 0u) << reported.Output;
    }
    constexpr const char* Against_Du = R"PYTHON(
import csv, os, subprocess, sys
report, counted, root, host_root = sys.argv[1:5]
du = {}
for line in subprocess.run(['du', '-B1', '-a', host_root], capture_output=True, text=True, check=True).stdout.splitlines():
    size, path = line.split('\t', 1)
    du[path] = int(size)
files = {path: size for path, size in du.items() if not os.path.isdir(path)}
def rows_of(path):
    with open(path, encoding='utf-8-sig', newline='') as file:
        table = list(csv.reader(file))
    blank = table.index([]) if [] in table else len(table)
    return [dict(zip(table[0], row)) for row in table[1:blank]], [dict(zip(table[blank + 1], row)) for row in table[blank + 2:]]
rows, _ = rows_of(report)
checked = 0
for row in rows:
    path = host_root + row['In Folder'][len(root):].replace('\\', '/') + '/' + row['Name']
    if row['Type'] == 'folder':
        wanted = sum(size for each, size in files.items() if each.startswith(path + '/'))
    else:
        wanted = files[path]
    assert int(row['Size on disk']) == wanted, (path, row['Size on disk'], wanted)
    checked += 1
assert checked >= 8, checked
assert any(int(row['Size']) == 100 * 2**20 and int(row['Size on disk']) == 2**20 for row in rows)
_, owners = rows_of(counted)
assert sum(int(owner['Usage']) for owner in owners) == sum(files.values()), (owners, sum(files.values()))
)PYTHON";
    // Inside the host shell's double quotes: single ones keep the backslashes.
    const auto quoted = [](const std::wstring& text) { return L"'" + text + L"'"; };
    EXPECT_TRUE(Run_Host_Python(Against_Du, quoted(Host_Path_Of(csv)) + L" " + quoted(Host_Path_Of(counted)) + L" " +
                                                quoted(root) + L" " + quoted(Host_Path_Of(root))));
}

// Each owner's usage split by last access sums to it, and a file read again moves its bytes
// to the band of its new access.
TEST_F(Command_Line, AnOwnersUsageSplitsByLastAccess) {
    const std::wstring aged = tree.Path_Of(L"aged");
    tree.Make_File(L"aged\\now.bin", 1000);
    tree.Make_File(L"aged\\two-years.bin", 2000);
    tree.Make_File(L"aged\\ten-years.bin", 4000);
    for (const auto& [name, when] : {std::pair{L"two-years.bin", L"2 years ago"}, std::pair{L"ten-years.bin", L"10 years ago"}})
        ASSERT_TRUE(Run_Host_Command(L"/usr/bin/touch -a -d '" + std::wstring(when) + L"' " + Host_Path_Of(aged + L"\\" + name)));
    constexpr const char* Bands = R"PYTHON(
import csv, sys
with open(sys.argv[1], encoding='utf-8-sig', newline='') as file:
    table = list(csv.reader(file))
blank = table.index([])
owners = [dict(zip(table[blank + 1], row)) for row in table[blank + 2:]]
assert len(owners) == 1, owners
bands = ['Used < 1 month', '1-12 months', '1-3 years', 'Older']
owner = owners[0]
assert sum(int(owner[band]) for band in bands) == int(owner['Usage']), owner
open(sys.argv[2], 'w').write(' '.join(owner[band] for band in bands))
)PYTHON";
    const auto bands_of_report = [&] {
        const std::wstring csv = tree.Path_Of(L"aged.csv"), out = tree.Path_Of(L"bands.txt");
        const Run_Result reported = Quarrix(L"/report " + Quoted(csv) + L" " + Quoted(aged) + L" /files", tree);
        EXPECT_EQ(reported.Exit_Code, 0u) << reported.Output;
        EXPECT_TRUE(Run_Host_Python(Bands, Host_Path_Of(csv) + L" " + Host_Path_Of(out)));
        std::ifstream file{std::filesystem::path(out)};
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    EXPECT_EQ(bands_of_report(), "1000 0 2000 4000");
    ASSERT_TRUE(Run_Host_Command(L"/usr/bin/touch -a -d '6 months ago' " + Host_Path_Of(aged + L"\\now.bin")));
    EXPECT_EQ(bands_of_report(), "0 1000 2000 4000");
}

// The name filter takes the shell's wildcards without case, as Python's fnmatch does on
// names folded to lower case; folders are shown by their own tick.
TEST_F(Command_Line, TheNameFilterShowsTheFilesWhosePatternsMatch) {
    for (const wchar_t* name : {L"named\\a.iso", L"named\\B.ISO", L"named\\c.vhdx", L"named\\d.vhd", L"named\\e.bak.txt",
                                L"named\\f1.bak", L"named\\deep\\g.ISO", L"named\\h.isox", L"named\\.iso"})
        tree.Make_File(name, 10);
    const std::wstring csv = tree.Path_Of(L"named.csv");
    const std::wstring patterns = L"*.iso;*.vhd?; ?1.bak*";
    const Run_Result reported = Quarrix(L"/report " + Quoted(csv) + L" " + Quoted(tree.Path_Of(L"named")) +
                                            L" /files /folders /subfolders /hidden /name \"" + patterns + L"\"", tree);
    ASSERT_EQ(reported.Exit_Code, 0u) << reported.Output;
    constexpr const char* Matching = R"PYTHON(
import csv, fnmatch, os, sys
report, host_root, patterns = sys.argv[1:4]
with open(report, encoding='utf-8-sig', newline='') as file:
    rows = list(csv.reader(file))[1:]
shown = sorted(row[0] for row in rows if row and row[-1] == 'file')
folders = sorted(row[0] for row in rows if row and row[-1] == 'folder')
wanted = sorted(name for _, _, names in os.walk(host_root) for name in names
                if any(fnmatch.fnmatchcase(name.lower(), pattern.strip().lower()) for pattern in patterns.split(';')))
assert shown == wanted, (shown, wanted)
assert folders == ['deep'], folders
assert len(shown) == 6, shown
)PYTHON";
    EXPECT_TRUE(Run_Host_Python(Matching, Host_Path_Of(csv) + L" " + Host_Path_Of(tree.Path_Of(L"named")) + L" '" +
                                              patterns + L"'"));
}

namespace {

// A superuser lists every folder: the program runs without the capabilities that let it, as a
// scheduled task of an ordinary account does, with one folder's rights taken away meanwhile.
constexpr const char* Run_Without_Reading_Rights = R"PYTHON(
import os, subprocess, sys
program, console, locked, arguments = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
os.chmod(locked, 0)
with open(console + '.txt', 'w') as output:
    code = subprocess.run(['setpriv', '--bounding-set=-dac_override,-dac_read_search', '--', 'wine', program]
                          + arguments, stdout=output, stderr=subprocess.STDOUT).returncode
os.chmod(locked, 0o755)
open(console + '.code', 'w').write(str(code))
)PYTHON";

struct Denied_Run {
    int Exit_Code = -1;
    std::string Said;
};

// Quarrix run with the arguments while the folder cannot be listed; none when that cannot be
// done here.
std::optional<Denied_Run> Run_Denied(const Temporary_Tree& the_tree, const std::wstring& the_folder,
                                     const std::wstring& the_arguments) {
    const std::wstring console = the_tree.Path_Of(L"denied");
    DeleteFileW((console + L".code").c_str());
    if (!Run_Host_Python(Run_Without_Reading_Rights, Wide_Text::Widened(QUARRIX_EXE) + L" " +
                                                        Host_Path_Of(console) + L" " +
                                                        Host_Path_Of(the_folder) + L" " + the_arguments))
        return std::nullopt;
    Denied_Run run;
    std::ifstream(std::filesystem::path(console + L".code")) >> run.Exit_Code;
    std::ifstream said(std::filesystem::path(console + L".txt"), std::ios::binary);
    run.Said.assign(std::istreambuf_iterator<char>(said), {});
    return run;
}

std::wstring Single_Quoted(const std::wstring& the_path) { return L"'" + the_path + L"'"; }

}  // namespace

TEST_F(Command_Line, ARootWhoseListingIsDeniedIsAFailureThatNamesIt) {
    const std::wstring locked = tree.Path_Of(L"root\\sub");
    const std::wstring scan = tree.Path_Of(L"denied.qscan");
    const std::wstring report = tree.Path_Of(L"denied.csv");
    if (Host_Path_Of(locked).empty()) GTEST_SKIP() << "no host system here";
    for (const std::wstring& mode : {L"/save " + Single_Quoted(scan), L"/report " + Single_Quoted(report)}) {
        SCOPED_TRACE(Wide_Text::Utf8_Of(mode));
        const std::optional<Denied_Run> run = Run_Denied(tree, locked, mode + L" " + Single_Quoted(locked));
        if (!run) GTEST_SKIP() << "the program cannot be run without reading rights here";
        EXPECT_EQ(run->Exit_Code, 2) << run->Said;
        EXPECT_NE(run->Said.find("ROOT_NOT_LISTED"), std::string::npos) << run->Said;
        EXPECT_NE(run->Said.find(Wide_Text::Utf8_Of(locked) + " cannot be listed"), std::string::npos) << run->Said;
    }
    EXPECT_EQ(GetFileAttributesW(scan.c_str()), INVALID_FILE_ATTRIBUTES) << "no scan is written";
    EXPECT_EQ(GetFileAttributesW(report.c_str()), INVALID_FILE_ATTRIBUTES) << "no report is written";

    // A folder below the root that cannot be listed is told of, and the scan is saved.
    const std::optional<Denied_Run> below =
        Run_Denied(tree, locked, L"/save " + Single_Quoted(scan) + L" " + Single_Quoted(root));
    ASSERT_TRUE(below);
    EXPECT_EQ(below->Exit_Code, 0) << below->Said;
    EXPECT_NE(below->Said.find("Cannot read " + Wide_Text::Utf8_Of(locked)), std::string::npos) << below->Said;
    EXPECT_NE(GetFileAttributesW(scan.c_str()), INVALID_FILE_ATTRIBUTES);
}

namespace {

// One file served through FUSE whose reads fail from an offset on, as those of a network or
// removable drive that goes away do. Returns once it is mounted; umount ends it.
constexpr const char* Failing_Drive = R"PYTHON(
import errno, os, stat, sys, fusepy
source, mount_point, failing_from = sys.argv[1], sys.argv[2], int(sys.argv[3])
name = os.path.basename(source)
data = open(source, 'rb').read()
class Failing(fusepy.Operations):
    def getattr(self, path, fh=None):
        if path == '/':
            return {'st_mode': stat.S_IFDIR | 0o755, 'st_nlink': 2}
        if path == '/' + name:
            return {'st_mode': stat.S_IFREG | 0o444, 'st_nlink': 1, 'st_size': len(data)}
        raise fusepy.FuseOSError(errno.ENOENT)
    def readdir(self, path, fh):
        return ['.', '..', name]
    def read(self, path, size, offset, fh):
        if offset + size > failing_from:
            raise fusepy.FuseOSError(errno.EIO)
        return data[offset:offset + size]
fusepy.FUSE(Failing(), mount_point, foreground=False, ro=True)
)PYTHON";

Work::File_Information Record_Of(const wchar_t* the_name, std::uint64_t the_size, Windows::Files::Owner the_owner) {
    return {.File_Name = the_name, .Folder_Name = {}, .Owner = the_owner, .Stream_Name = {},
            .Object_Size = Windows::Files::File_Size::From(the_size)};
}

Windows::Files::Owner Owner_Named(const wchar_t* the_name, std::uint8_t the_rid) {
    const std::uint8_t sid[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, the_rid, 2, 0, 0};
    return Windows::Files::Owner_With_Sid({sid, sizeof sid}, the_name);
}

}  // namespace

// Sizes are unsigned to the last bit: records of 2^63 bytes and more are reported with the
// others, and their owners' totals are their sums.
TEST(Command_Line_Scans, RecordsOfTwoToTheSixtyThirdBytesAndMoreAreReported) {
    Temporary_Tree tree;
    const std::wstring root = tree.Path_Of(L"root");
    const Windows::Files::Owner huge = Owner_Named(L"Huge", 0x20);
    Work::File_List records;
    Append(Record_Of(L"below", (std::uint64_t{1} << 63) - 1, huge), records);
    Append(Record_Of(L"half", std::uint64_t{1} << 63, huge), records);
    Append(Record_Of(L"most", ~std::uint64_t{0}, Owner_Named(L"Most", 0x21)), records);
    const std::wstring scan = tree.Path_Of(L"huge.qscan");
    Work::Scan_File::Save(scan, {root, true, Windows::Files::The_Time_Now(), true, {}}, records);

    const std::wstring csv = tree.Path_Of(L"report.csv");
    const Run_Result reported = Quarrix(L"/report " + Quoted(csv) + L" /open " + Quoted(scan) + L" /files", tree);
    ASSERT_EQ(reported.Exit_Code, 0u) << reported.Output;
    EXPECT_EQ(Read_Back(tree, csv, root), (std::vector<std::string>{
                                              "below||9223372036854775807|file|-",
                                              "half||9223372036854775808|file|-",
                                              "most||18446744073709551615|file|-",
                                              "owner|Huge|2|18446744073709551615|-",
                                              "owner|Most|1|18446744073709551615|-",
                                          }));
}

// A scan on a drive whose reads fail while it is read cannot be read: said so, not a crash.
TEST(Command_Line_Scans, AScanWhoseDriveFailsUnderItIsReportedUnreadable) {
    Temporary_Tree tree;
    if (Host_Path_Of(tree.Root()).empty()) GTEST_SKIP() << "no host system here to serve a failing drive";
    Work::File_List records;
    for (int index = 0; index < 20000; ++index)
        Append(Record_Of(std::to_wstring(index).c_str(), index, nullptr), records);
    const std::wstring scan = tree.Path_Of(L"whole.qscan");
    Work::Scan_File::Save(scan, {tree.Root(), false, Windows::Files::The_Time_Now(), true, {}}, records);
    ASSERT_GT(std::filesystem::file_size(std::filesystem::path(scan)), 100'000u);

    tree.Make_Folder(L"failing");
    const std::wstring drive = tree.Path_Of(L"failing");
    ASSERT_TRUE(Run_Host_Python(Failing_Drive, Host_Path_Of(scan) + L" " + Host_Path_Of(drive) + L" 65536"))
        << "serving the file through FUSE takes /dev/fuse and python3-fusepy";
    const Host_Command_At_Exit unmount(L"/bin/umount " + Host_Path_Of(drive));
    const std::wstring report = tree.Path_Of(L"report.csv");
    const Run_Result run = Quarrix(L"/report " + Quoted(report) + L" /open " + Quoted(drive + L"\\whole.qscan"), tree);
    EXPECT_EQ(run.Exit_Code, 3u) << run.Output;
    EXPECT_NE(run.Output.find("cannot read"), std::string::npos) << run.Output;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(report)));
}
