#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "substitute_stream_query.hpp"
#include "temporary_tree.hpp"
#include "walking.hpp"
#include "wide_text.hpp"
#include "work-scan_file.hpp"
#include "work-walk.hpp"

using Work::File_Information;
using Walking::Path_Of;
using Walking::Record_Of;
using Walking::Records;
using Walking::Search;

namespace {

// Everything a record holds, as one text, so that two walks compare record by record. The
// host updates a folder's last access when a walk lists it, so that is left out for folders.
std::wstring Image_Of(const File_Information& record) {
    std::wstring image = Path_Of(record) + L" size=" + std::to_wstring(record.Object_Size.Value()) +
                         L" owner=" + std::to_wstring(reinterpret_cast<std::uintptr_t>(record.Owner));
    if (!record.Is_Folder)
        image += L" accessed=" + std::to_wstring(record.Last_Accessed.dwHighDateTime) + L"." +
                 std::to_wstring(record.Last_Accessed.dwLowDateTime);
    image += std::wstring(L" flags=") + (record.Is_Folder ? L"F" : L"-") +
             (record.Is_Stream ? L"S" : L"-") + (record.Is_Compressed ? L"C" : L"-") +
             (record.Is_System ? L"Y" : L"-") + (record.Is_Hidden ? L"H" : L"-") +
             (record.Has_Streams ? L"M" : L"-");
    return image;
}

std::vector<std::wstring> Record_Images() {
    std::vector<std::wstring> images;
    for (auto position = First(Walking::Walked()); Has_Element(position); position = Next(position))
        images.push_back(Image_Of(Element_At(position)));
    return images;
}

bool Ends_With(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::wstring Digits(int number) { return std::to_wstring(number); }

// A tree that gives a walk with look-up threads every chance to differ from one that looks
// up one entry after the other: more entries in a folder than are looked up together,
// streams on some files only, two owners, and a folder that can no longer be listed when
// the walk reaches it.
class Walk_Test : public testing::Test {
protected:
    void SetUp() override {
        tree.Make_File(L"top", 5);
        for (int index = 0; index < 1100; ++index)
            tree.Make_File(L"many\\file" + Digits(index), static_cast<std::uintmax_t>(index));
        tree.Make_File(L"x\\y\\z\\deep", 77);
        tree.Make_File(L"other\\theirs1", 11);
        tree.Make_File(L"other\\theirs2", 12);
        tree.Make_Folder(L"other\\sub");
        other_owner_ = Run_Host_Command(L"/bin/chown -R nobody " + Host_Path_Of(tree.Path_Of(L"other")));
        tree.Make_File(L"p\\first", 1);
    }

    // Once "p\first" is looked at, "p\gone" is a file: the folder listed a moment ago can
    // no longer be read.
    void Arm_Query() {
        tree.Make_File(L"p\\gone\\inside", 1000);
        query.Buffer_For = [this](const std::wstring& path) {
            if (Ends_With(path, L"\\p\\first")) {
                DeleteFileW(tree.Path_Of(L"p\\gone\\inside").c_str());
                RemoveDirectoryW(tree.Path_Of(L"p\\gone").c_str());
                tree.Make_File(L"p\\gone", 0);
            }
            if (Ends_With(path, L"3"))
                return Stream_Buffer_Of({{L"::$DATA", 3}, {L":extra:$DATA", 30}});
            return Stream_Buffer_Of({{L"::$DATA", 1}});
        };
    }

    void Disarm_Query() {
        query.Buffer_For = nullptr;
        DeleteFileW(tree.Path_Of(L"p\\gone").c_str());
    }

    std::vector<std::wstring> Walk(int lookup_threads) {
        Arm_Query();
        EXPECT_TRUE(Search(tree.Root(), lookup_threads));
        Disarm_Query();
        return Record_Images();
    }

    Temporary_Tree tree;
    Substitute_Stream_Query query;
    bool other_owner_ = false;
};

}  // namespace

TEST_F(Walk_Test, LookupThreadsGiveTheRecordsOfALookupOneByOne) {
    Walk(1);  // the walk itself touches the folders once
    const std::vector<std::wstring> one_by_one = Walk(1);
    const std::vector<File_Information> records = Records();
    // The folder that became a file is reported, by its path below the root as typed.
    ASSERT_EQ(Walking::Unreadable().size(), 1u);
    EXPECT_EQ(Walking::Unreadable()[0].Path, tree.Root() + L"\\p\\gone");
    EXPECT_NE(Walking::Unreadable()[0].Error, 0u);
    for (int threads : {2, 8, 16}) {
        const std::vector<std::wstring> together = Walk(threads);
        ASSERT_EQ(together.size(), one_by_one.size()) << threads << " threads";
        for (std::size_t index = 0; index < together.size(); ++index)
            EXPECT_EQ(together[index], one_by_one[index]) << threads << " threads, record " << index;
    }

    // What the walks agree on is what the tree holds.
    ASSERT_NE(Record_Of(records, L"\\many"), nullptr);
    EXPECT_EQ(Record_Of(records, L"\\many\\file13:extra:$DATA")->Object_Size.Value(), 30u);
    EXPECT_EQ(Record_Of(records, L"\\many\\file13")->Object_Size.Value(), 33u);
    EXPECT_TRUE(Record_Of(records, L"\\many\\file13")->Has_Streams);
    EXPECT_EQ(Record_Of(records, L"\\many\\file12")->Object_Size.Value(), 12u);
    EXPECT_EQ(Record_Of(records, L"\\p\\gone")->Object_Size.Value(), 0u);
    EXPECT_TRUE(Record_Of(records, L"\\p\\gone")->Is_Folder);
    EXPECT_EQ(Record_Of(records, L"\\x")->Object_Size.Value(), 77u);
    if (other_owner_) {
        EXPECT_NE(Record_Of(records, L"\\other\\theirs1")->Owner, Record_Of(records, L"\\top")->Owner);
        EXPECT_NE(Record_Of(records, L"\\other\\theirs1")->Owner, nullptr);
    }
}

TEST_F(Walk_Test, AStopRecordsALookedUpPrefixAndItsFolders) {
    Walk(1);
    const std::vector<std::wstring> complete = Walk(8);
    // Stop while some file is being looked at.
    Arm_Query();
    Substitute_Stream_Query::Calls = 0;
    query.On_Query = [] {
        if (Substitute_Stream_Query::Calls == 20) Walking::Stop();
    };
    ASSERT_TRUE(Search(tree.Root(), 8));
    Disarm_Query();
    const std::vector<File_Information> records = Records();
    ASSERT_FALSE(records.empty());
    // Files of one folder, exactly as the complete walk has them first, then the folders
    // they are in, each with the sum of what was recorded below it.
    std::size_t files = 0;
    while (files < records.size() && !records[files].Is_Folder) ++files;
    ASSERT_GT(files, 0u);
    ASSERT_LT(files, 1100u);
    std::uint64_t recorded = 0;
    for (std::size_t index = 0; index < files; ++index) {
        EXPECT_EQ(Image_Of(records[index]), complete[index]);
        if (!records[index].Is_Stream) recorded += records[index].Object_Size.Value();
    }
    ASSERT_EQ(records.size(), files + 1);
    EXPECT_EQ(records[files].Object_Size.Value(), recorded);
    EXPECT_EQ(records[0].Folder_Name, L"\\" + records[files].File_Name);
}

TEST(Walk, FileThatGoesBeforeItsLookUpIsStillRecorded) {
    Temporary_Tree tree;
    tree.Make_File(L"a", 1);
    tree.Make_File(L"b", 2);
    tree.Make_File(L"c", 3);
    Substitute_Stream_Query query;
    query.Buffer_For = [&tree](const std::wstring& path) {
        for (const wchar_t* name : {L"a", L"b", L"c"})
            if (Ends_With(path, std::wstring(L"\\") + name))
                for (const wchar_t* other : {L"a", L"b", L"c"})
                    if (other != name) DeleteFileW(tree.Path_Of(other).c_str());
        return Stream_Buffer_Of({{L"::$DATA", 9}});
    };
    ASSERT_TRUE(Search(tree.Root(), 1));
    const std::vector<File_Information> records = Records();
    ASSERT_EQ(records.size(), 3u);
    // The first one looked at has its owner; the others went before they were looked at.
    EXPECT_NE(records[0].Owner, nullptr);
    EXPECT_EQ(records[1].Owner, nullptr);
    EXPECT_EQ(records[2].Owner, nullptr);
    EXPECT_EQ(records[1].Object_Size.Value() + records[2].Object_Size.Value() +
                  records[0].Object_Size.Value(),
              6u);
}

TEST(Walk, PathsLongerThanTheShortFormAllows) {
    Temporary_Tree tree;
    const std::wstring host_root = Host_Path_Of(tree.Root());
    if (host_root.empty()) GTEST_SKIP() << "no host system here";
    const std::wstring part(70, L'p');
    std::wstring relative;
    for (int level = 0; level < 5; ++level) relative += L"\\" + part + Digits(level);
    std::wstring host_relative = relative;
    for (wchar_t& character : host_relative)
        if (character == L'\\') character = L'/';
    ASSERT_TRUE(Run_Host_Command(L"/bin/mkdir -p " + host_root + host_relative));
    ASSERT_TRUE(Run_Host_Command(L"/usr/bin/truncate -s 1234 " + host_root + host_relative + L"/deep"));
    ASSERT_GT(tree.Root().size() + relative.size(), 300u);

    ASSERT_TRUE(Search(tree.Root(), 8));
    std::vector<File_Information> records = Records();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(Path_Of(records[0]), relative + L"\\deep");
    EXPECT_EQ(records[0].Object_Size.Value(), 1234u);
    EXPECT_NE(records[0].Owner, nullptr);
    EXPECT_EQ(records[5].Object_Size.Value(), 1234u);

    // Walked from a root of that length.
    const std::wstring deep_root = tree.Root() + relative;
    ASSERT_TRUE(Search(deep_root, 1));
    records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Object_Size.Value(), 1234u);
}

TEST(Walk, FolderMountedBelowItselfIsRecordedButNotEntered) {
    Temporary_Tree tree;
    tree.Make_File(L"a\\file", 10);
    tree.Make_Folder(L"a\\again");
    const std::wstring host_root = Host_Path_Of(tree.Root());
    const std::wstring host_mount = host_root + L"/a/again";
    if (host_root.empty() || !Run_Host_Command(L"/bin/mount --bind " + host_root + L" " + host_mount))
        GTEST_SKIP() << "no mounts here";
    // Gone before the tree is removed, which would otherwise walk into it.
    const Host_Command_At_Exit unmount(L"/bin/umount " + host_mount);
    for (int threads : {1, 8}) {
        ASSERT_TRUE(Search(tree.Root(), threads));
        const std::vector<File_Information> records = Records();
        ASSERT_EQ(records.size(), 3u) << threads << " threads";
        ASSERT_NE(Record_Of(records, L"\\a\\again"), nullptr);
        EXPECT_TRUE(Record_Of(records, L"\\a\\again")->Is_Folder);
        EXPECT_EQ(Record_Of(records, L"\\a\\again")->Object_Size.Value(), 0u);
        EXPECT_EQ(Record_Of(records, L"\\a")->Object_Size.Value(), 10u);
    }
}

// A scan made elsewhere may name an account otherwise than this machine does: its records
// keep the saved name, but a live search names the owners it meets as the platform does.
TEST(Walk, ALiveSearchNamesOwnersAsThePlatformDoesAfterAScanNamedThemOtherwise) {
    Temporary_Tree tree;
    tree.Make_File(L"mine", 3);
    // The file's owner as the platform gives it, without the owner cache.
    alignas(8) std::uint8_t descriptor[256]{};
    DWORD needed = 0;
    ASSERT_TRUE(GetFileSecurityW(tree.Path_Of(L"mine").c_str(), OWNER_SECURITY_INFORMATION, descriptor,
                                 sizeof descriptor, &needed));
    PSID sid = nullptr;
    BOOL is_defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &sid, &is_defaulted));
    wchar_t name[256]{};
    wchar_t domain[256]{};
    DWORD name_length = 256;
    DWORD domain_length = 256;
    SID_NAME_USE use;
    ASSERT_TRUE(LookupAccountSidW(nullptr, sid, name, &name_length, domain, &domain_length, &use));
    ASSERT_NE(std::wstring(name), L"Saved Elsewhere");

    Work::File_List saved;
    const auto* sid_bytes = static_cast<const std::uint8_t*>(sid);
    Append(File_Information{.File_Name = L"theirs",
                            .Folder_Name = {},
                            .Owner = Windows::Files::Owner_With_Sid({sid_bytes, GetLengthSid(sid)}, L"Saved Elsewhere"),
                            .Stream_Name = {}},
           saved);
    const std::wstring scan_path = tree.Path_Of(L"elsewhere.qscan");
    Work::Scan_File::Save(scan_path, {L"D:\\Elsewhere", true, Windows::Files::The_Time_Now(), true, {}}, saved);
    const Work::Scan_File::Scan scan = Work::Scan_File::Load(scan_path);
    ASSERT_EQ(Length_Of(scan.Records), 1);
    EXPECT_EQ(Windows::Files::Image_Of(Element_At(First(scan.Records)).Owner), L"Saved Elsewhere");

    ASSERT_TRUE(Search(tree.Root(), 1));
    const std::vector<File_Information> records = Records();
    const File_Information* mine = Record_Of(records, L"\\mine");
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(Windows::Files::Image_Of(mine->Owner), name);
    EXPECT_EQ(Windows::Files::Image_Of(Element_At(First(scan.Records)).Owner), L"Saved Elsewhere");
}

namespace {

// What the program asks CreateFileW to open while a Recorded_Openings lasts: its entry in
// the program's import table leads here first.
struct Opening {
    std::wstring Path;
    DWORD Flags = 0;
};
std::mutex Openings_Guard;
std::vector<Opening> Openings;
decltype(&CreateFileW) Platform_Create_File = nullptr;

HANDLE WINAPI Recorded_Create_File(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE template_file) {
    {
        std::lock_guard lock(Openings_Guard);
        Openings.push_back({name, flags});
    }
    return Platform_Create_File(name, access, share, security, disposition, flags, template_file);
}

// This program's import table entry for a routine of kernel32; null when it has none.
void** Import_Entry_Of(const char* routine) {
    auto* const base = reinterpret_cast<std::uint8_t*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
        if (_stricmp(reinterpret_cast<const char*>(base + module->Name), "kernel32.dll") != 0) continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* entries = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++entries) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), routine) == 0)
                return reinterpret_cast<void**>(&entries->u1.Function);
        }
    }
    return nullptr;
}

class Recorded_Openings {
public:
    Recorded_Openings() : entry_(Import_Entry_Of("CreateFileW")) {
        Openings.clear();
        if (!entry_) return;
        Platform_Create_File = reinterpret_cast<decltype(&CreateFileW)>(*entry_);
        Replace(reinterpret_cast<void*>(&Recorded_Create_File));
    }
    ~Recorded_Openings() {
        if (entry_) Replace(reinterpret_cast<void*>(Platform_Create_File));
    }
    Recorded_Openings(const Recorded_Openings&) = delete;
    Recorded_Openings& operator=(const Recorded_Openings&) = delete;

    bool Is_In_Place() const { return entry_ != nullptr; }

private:
    void Replace(void* routine) {
        DWORD protection = 0;
        VirtualProtect(entry_, sizeof *entry_, PAGE_READWRITE, &protection);
        *entry_ = routine;
        VirtualProtect(entry_, sizeof *entry_, protection, &protection);
    }

    void** const entry_;
};

}  // namespace

// A junction or symbolic link is looked up as itself, as the master file table reports it:
// what it leads to may lie on another volume, or nowhere. Wine lists a host's link to a
// folder as a reparse point, but opens what it leads to however it is asked, so what the
// walk asks for is what is seen.
TEST(Walk, ALinkIsLookedUpAsItselfNeverThroughWhatItLeadsTo) {
    Temporary_Tree tree;
    tree.Make_File(L"target\\inside", 5);
    tree.Make_File(L"walked\\plain", 3);
    const std::wstring host_root = Host_Path_Of(tree.Root());
    if (host_root.empty() || !Run_Host_Command(L"/bin/ln -s " + host_root + L"/target " + host_root + L"/walked/link"))
        GTEST_SKIP() << "no host links here";
    WIN32_FIND_DATAW listed{};
    const HANDLE listing = FindFirstFileW(tree.Path_Of(L"walked\\link").c_str(), &listed);
    ASSERT_NE(listing, INVALID_HANDLE_VALUE);
    FindClose(listing);
    if (!(listed.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "this platform lists the link as what it leads to";

    for (int threads : {1, 8}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        std::vector<File_Information> records;
        {
            const Recorded_Openings openings;
            ASSERT_TRUE(openings.Is_In_Place());
            ASSERT_TRUE(Search(tree.Path_Of(L"walked"), threads));
            records = Records();
        }
        ASSERT_NE(Record_Of(records, L"\\link"), nullptr);
        EXPECT_TRUE(Record_Of(records, L"\\link")->Is_Folder);
        EXPECT_EQ(Record_Of(records, L"\\link")->Object_Size.Value(), 0u) << "not entered";
        int link_openings = 0;
        for (const Opening& opening : Openings) {
            if (!Ends_With(opening.Path, L"\\link") && !Ends_With(opening.Path, L"\\link\\")) continue;
            ++link_openings;
            EXPECT_TRUE(opening.Flags & FILE_FLAG_OPEN_REPARSE_POINT) << Wide_Text::Utf8_Of(opening.Path);
        }
        EXPECT_GT(link_openings, 0) << "the link's owner is looked up";
    }
}

namespace {

std::uint64_t Committed_Private_Bytes() {
    std::uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (auto* address = static_cast<unsigned char*>(nullptr);
         VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<unsigned char*>(region.BaseAddress) + region.RegionSize)
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    return total;
}

}  // namespace

// Under Wine a path is resolved one component at a time, so that a walk takes time square in
// its depth (opening each folder of a chain 1,950 levels deep takes two minutes), and the
// host takes no path over 4,095 bytes: what a depth of thousands would show is measured at
// 400 levels instead, the stack in use and the memory committed when the deepest file is
// looked up. A walk that recursed, or kept a listing chunk for each level, would take
// hundreds of bytes of stack and 600 KB of memory a level.
TEST(Walk, DeepTreesAreWalkedInOrderInBoundedStackAndMemory) {
    Temporary_Tree tree;
    const std::wstring host_root = Host_Path_Of(tree.Root());
    if (host_root.empty()) GTEST_SKIP() << "no host system here";
    constexpr int levels = 400;
    // Every hundredth level also holds "a", listed before the way down, and "z", after it.
    const std::string script =
        "import os, sys\n"
        "folder = os.open(sys.argv[1], os.O_RDONLY)\n"
        "def make(name, size):\n"
        "    file = os.open(name, os.O_CREAT | os.O_WRONLY, dir_fd=folder)\n"
        "    os.ftruncate(file, size)\n"
        "    os.close(file)\n"
        "for level in range(int(sys.argv[2])):\n"
        "    if level % 100 == 0:\n"
        "        make('a', 1)\n"
        "        make('z', 2)\n"
        "    os.mkdir('d', dir_fd=folder)\n"
        "    below = os.open('d', os.O_RDONLY, dir_fd=folder)\n"
        "    os.close(folder)\n"
        "    folder = below\n"
        "make('deepest', 77)\n";
    // Deeper than the tests' own removal reaches: the host removes it.
    const Host_Command_At_Exit remove(L"/bin/rm -rf " + host_root + L"/d");
    ASSERT_TRUE(Run_Host_Python(script, host_root + L" " + Digits(levels)));

    // Contents depth first, each folder's own record after them, with their sum.
    std::vector<std::wstring> folders(1, L"");
    for (int level = 0; level < levels; ++level) folders.push_back(folders.back() + L"\\d");
    std::vector<std::wstring> expected;
    for (int level = 0; level < levels; level += 100) expected.push_back(folders[level] + L"\\a size=1");
    expected.push_back(folders[levels] + L"\\deepest size=77");
    std::uint64_t below = 77;
    for (int level = levels - 1; level >= 0; --level) {
        expected.push_back(folders[level] + L"\\d size=" + std::to_wstring(below));
        if (level % 100 == 0) {
            expected.push_back(folders[level] + L"\\z size=2");
            below += 3;
        }
    }

    for (int threads : {1, 8}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        // Measured when the deepest file is looked up: files are looked up in the walk's
        // order, every "a" before it, and with one thread on the walking thread.
        std::uint64_t growth = 0;
        std::uintptr_t stack_in_use = 0;
        const int deepest_lookup = (levels + 99) / 100 + 1;
        Substitute_Stream_Query query;
        const char stack_top = 0;
        const std::uint64_t before = Committed_Private_Bytes();
        query.On_Query = [&] {
            const char here = 0;
            if (Substitute_Stream_Query::Calls != deepest_lookup) return;
            growth = Committed_Private_Bytes() - before;
            stack_in_use = reinterpret_cast<std::uintptr_t>(&stack_top) - reinterpret_cast<std::uintptr_t>(&here);
        };
        ASSERT_TRUE(Search(tree.Root(), threads));
        EXPECT_TRUE(Walking::Unreadable().empty());
        const std::vector<File_Information> records = Records();
        std::vector<std::wstring> walked;
        for (const File_Information& record : records)
            walked.push_back(Path_Of(record) + L" size=" + std::to_wstring(record.Object_Size.Value()));
        ASSERT_EQ(walked.size(), expected.size());
        const auto differing = std::mismatch(walked.begin(), walked.end(), expected.begin());
        EXPECT_TRUE(differing.first == walked.end())
            << "record " << (differing.first - walked.begin()) << " is "
            << Wide_Text::Utf8_Of(*differing.first);
        // The deepest file's folder, and the root's folder with the sum of everything.
        EXPECT_EQ(records[(levels + 99) / 100].Folder_Name, folders[levels]);
        ASSERT_NE(Record_Of(records, L"\\d"), nullptr);
        EXPECT_EQ(Record_Of(records, L"\\d")->Object_Size.Value(), 77u + 3u * ((levels - 1) / 100));
        // Look-up threads bring stacks of their own.
        if (threads == 1) {
            EXPECT_NE(growth, 0u);
            EXPECT_LT(growth, static_cast<std::uint64_t>(levels) * 32 * 1024);
            EXPECT_LT(stack_in_use, 64u * 1024);
        }
    }
}
