// Trees a walk meets in the wild: a folder it may not list, a folder of 200,000 files, names
// outside the Basic Multilingual Plane, names Windows cannot spell, names of the greatest
// length, hidden and system objects. Every object the platform lists is recorded once, with
// what the platform says of it, and the tree is as it was afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "gui_driver.hpp"
#include "searching.hpp"
#include "temporary_tree.hpp"
#include "windows-files.hpp"
#include "work.hpp"

using Work::File_Information;
using Searching::Search;
using Work::Selection_Option;

namespace {

const auto* const Environment =
    testing::AddGlobalTestEnvironment(new Searching::Application_Environment);


// What the platform lists of a tree, keyed by the path relative to the root; asked in long
// form, which reaches names the short form cannot (a trailing dot, a device name).
struct Listed {
    std::uint64_t Size = 0;
    std::uint64_t Written = 0;
    DWORD Attributes = 0;
    bool operator==(const Listed&) const = default;
};
using Listing = std::map<std::wstring, Listed>;

void List_Into(Listing& listing, const std::wstring& root, const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    HANDLE found = FindFirstFileW(
        (Windows::Files::Long_Path_Form(root) + folder + L"\\*").c_str(), &entry);
    if (found == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        listing[path] = {(std::uint64_t{entry.nFileSizeHigh} << 32) | entry.nFileSizeLow,
                         (std::uint64_t{entry.ftLastWriteTime.dwHighDateTime} << 32) |
                             entry.ftLastWriteTime.dwLowDateTime,
                         entry.dwFileAttributes};
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) List_Into(listing, root, path);
    } while (FindNextFileW(found, &entry));
    FindClose(found);
}

Listing Listing_Of(const std::wstring& root) {
    Listing listing;
    List_Into(listing, root, L"");
    return listing;
}

std::map<std::wstring, File_Information> Records_By_Path() {
    std::map<std::wstring, File_Information> records;
    for (auto position = First(Work::Known_Files()); Has_Element(position); position = Next(position)) {
        const File_Information& record = Element_At(position);
        const std::wstring path = record.Folder_Name + L"\\" + record.File_Name;
        EXPECT_TRUE(records.emplace(path, record).second) << "twice: " << testing::PrintToString(path);
    }
    return records;
}

// Every listed object is recorded once, with its listed size (a folder: the sum below it)
// and attributes, and nothing else is recorded; the search changed nothing on disk.
void Expect_Records_Match(const std::wstring& root, const Listing& before) {
    const auto records = Records_By_Path();
    EXPECT_EQ(records.size(), before.size());
    for (const auto& [path, listed] : before) {
        SCOPED_TRACE(testing::PrintToString(path));
        auto record = records.find(path);
        if (record == records.end()) {
            ADD_FAILURE() << "not recorded";
            continue;
        }
        const File_Information& file = record->second;
        EXPECT_EQ(file.File_Name.View().find(L'\\'), std::wstring::npos);
        EXPECT_EQ(file.Is_Folder, (listed.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        EXPECT_EQ(file.Is_Hidden, (listed.Attributes & FILE_ATTRIBUTE_HIDDEN) != 0);
        EXPECT_EQ(file.Is_System, (listed.Attributes & FILE_ATTRIBUTE_SYSTEM) != 0);
        std::uint64_t size = listed.Size;
        if (file.Is_Folder) {
            size = 0;
            for (const auto& [inner, inside] : before)
                if (inner.rfind(path + L"\\", 0) == 0 && !(inside.Attributes & FILE_ATTRIBUTE_DIRECTORY))
                    size += inside.Size;
        }
        EXPECT_EQ(file.Object_Size.Value(), size);
    }
    EXPECT_EQ(Listing_Of(root), before) << "the search changed the tree";
}

// Runs a Python script on the host, given the host path of a folder, and waits until it
// has written its mark of completion (the host command runs on its own).
bool Run_Python(const Temporary_Tree& tree, const std::string& script, const std::wstring& folder) {
    const std::wstring script_path = tree.Root() + L".py";
    const std::wstring mark = tree.Root() + L".done";
    std::ofstream(std::filesystem::path(script_path))
        << script << "open(sys.argv[2], 'w').close()\n";
    const std::wstring host_script = Host_Path_Of(script_path);
    const std::wstring host_folder = Host_Path_Of(folder);
    const std::wstring host_mark = Host_Path_Of(mark);
    const bool ran =
        !host_script.empty() && !host_folder.empty() && !host_mark.empty() &&
        Run_Host_Command(L"/usr/bin/python3 " + host_script + L" " + host_folder + L" " + host_mark) &&
        Gui_Driver::Wait_Until([&] { return GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES; },
                               120000);
    DeleteFileW(script_path.c_str());
    DeleteFileW(mark.c_str());
    return ran;
}

void Show_Everything() {
    Work::Testing::Selection_To_Change().Options = {};
    for (Selection_Option option : {Selection_Option::FILES, Selection_Option::FOLDERS,
                                    Selection_Option::SUBFOLDERS, Selection_Option::HIDDEN,
                                    Selection_Option::SYSTEM})
        Work::Testing::Selection_To_Change().Options[option] = true;
    Work::Testing::Selection_To_Change().Size_Threshold = {};
}

}  // namespace

TEST(Hostile_Trees, AFolderThatCannotBeListedCountsNothingAndTheWalkGoesOn) {
    Temporary_Tree tree;
    tree.Make_Folder(L"open");
    tree.Make_Folder(L"locked");
    tree.Make_File(L"open\\a", 10);
    tree.Make_File(L"locked\\b", 20);
    tree.Make_File(L"z", 30);
    const std::wstring locked = Host_Path_Of(tree.Path_Of(L"locked"));
    if (locked.empty() || !Run_Host_Command(L"/bin/chmod 000 " + locked))
        GTEST_SKIP() << "no host system to take the rights away";
    const Host_Command_At_Exit give_back(L"/bin/chmod 755 " + locked);
    // The host command runs on its own: its effect is waited for.
    const bool is_locked = Gui_Driver::Wait_Until([&] {
        WIN32_FIND_DATAW entry{};
        HANDLE listing = FindFirstFileW(tree.Path_Of(L"locked\\*").c_str(), &entry);
        if (listing == INVALID_HANDLE_VALUE) return true;
        FindClose(listing);
        return false;
    }, 3000);
    if (!is_locked) GTEST_SKIP() << "this user lists every folder (the host's superuser)";

    const Listing before = Listing_Of(tree.Root());
    ASSERT_TRUE(Search(tree.Root()));
    Expect_Records_Match(tree.Root(), before);
    const auto records = Records_By_Path();
    ASSERT_TRUE(records.count(L"\\locked"));
    EXPECT_EQ(records.at(L"\\locked").Object_Size.Value(), 0u);
    EXPECT_FALSE(records.count(L"\\locked\\b"));
    EXPECT_EQ(records.at(L"\\z").Object_Size.Value(), 30u);
}

// Owners are not looked up here (at 175 us a file that alone would take half a minute
// under Wine): the walk's bookkeeping is what is tried at this scale.
TEST(Hostile_Trees, TwoHundredThousandFilesInOneFolderAreAllRecorded) {
    constexpr int File_Count = 200'000;
    Temporary_Tree tree;
    tree.Make_Folder(L"many");
    tree.Make_File(L"beside", 5);
    const std::string script =
        "import os, sys\n"
        "for i in range(" + std::to_string(File_Count) + "):\n"
        "    open(os.path.join(sys.argv[1], 'f%06d' % i), 'w').close()\n"
        "open(os.path.join(sys.argv[1], 'f000007'), 'w').write('1234567')\n";
    if (!Run_Python(tree, script, tree.Path_Of(L"many"))) GTEST_SKIP() << "no host Python";
    const Host_Command_At_Exit remove(L"/bin/rm -rf " + Host_Path_Of(tree.Path_Of(L"many")));

    const bool is_nt = Work::Is_Windows_Nt();
    Work::Pretend_Windows_Nt(false);
    const bool found = Search(tree.Root());
    Work::Pretend_Windows_Nt(is_nt);
    ASSERT_TRUE(found);
    int in_folder = 0;
    int elsewhere = 0;
    std::uint64_t sizes = 0;
    for (auto position = First(Work::Known_Files()); Has_Element(position); position = Next(position)) {
        const File_Information& record = Element_At(position);
        if (record.Folder_Name == L"\\many") {
            ++in_folder;
            sizes += record.Object_Size.Value();
        } else {
            ++elsewhere;
        }
    }
    EXPECT_EQ(in_folder, File_Count);
    EXPECT_EQ(elsewhere, 2) << "the folder and the file beside it";
    EXPECT_EQ(sizes, 7u);

    Show_Everything();
    Work::Testing::Selection_To_Change().Options[Selection_Option::SUBFOLDERS] = false;
    Work::Testing::Display_Root().clear();
    int shown = 0;
    for (auto position = First(Work::Known_Files()); Has_Element(position); position = Next(position))
        shown += Work::To_Be_Displayed(Element_At(position), Work::Selection_In_Force(), Work::Display_Root());
    EXPECT_EQ(shown, 2) << "the root's own folder and file";
}

TEST(Hostile_Trees, OddNamesAreRecordedAsTheyAreListed) {
    Temporary_Tree tree;
    // Outside the Basic Multilingual Plane: surrogate pairs in names and in folder names.
    tree.Make_File(L"\U0001F600 smile.txt", 21);
    tree.Make_Folder(L"\U00010348");
    tree.Make_File(L"\U00010348\\\U0001D11E.dat", 22);
    // Names Windows cannot spell, made on the host; Wine lists them under names of its own.
    // Device names ("con", "nul.txt") are ordinary files to a walk that asks in long form.
    const std::string script =
        "import os, sys\n"
        "d = sys.argv[1]\n"
        "for i, n in enumerate(['a:b', 'star*', 'trail.', 'q?mark', 'lt<gt>',\n"
        "                       'pipe|', 'quote\"', 'space ',\n"
        "                       'con', 'nul.txt', 'aux.c', 'com1', 'lpt1.log']):\n"
        "    open(os.path.join(d, n), 'w').write('x' * (10 + i))\n"
        "os.mkdir(os.path.join(d, 'dir:x.'))\n"
        "open(os.path.join(d, 'dir:x.', 'in*side'), 'w').write('y' * 40)\n";
    Run_Python(tree, script, tree.Root());
    // Names like these trip the tree's own removal: the host removes them.
    struct Remove_On_Host {
        std::wstring path;
        std::wstring root;
        ~Remove_On_Host() {
            Run_Host_Command(L"/bin/rm -rf " + path);
            Gui_Driver::Wait_Until([&] { return GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES; },
                                   10000);
            CreateDirectoryW(root.c_str(), nullptr);
        }
    } remove{Host_Path_Of(tree.Root()), tree.Root()};

    const Listing before = Listing_Of(tree.Root());
    ASSERT_TRUE(Search(tree.Root()));
    Expect_Records_Match(tree.Root(), before);
    const auto records = Records_By_Path();
    ASSERT_TRUE(records.count(L"\\\U00010348\\\U0001D11E.dat"));
    EXPECT_EQ(records.at(L"\\\U00010348").Object_Size.Value(), 22u);
    const File_Information& smile = records.at(L"\\\U0001F600 smile.txt");
    EXPECT_EQ(Work::File_Text_Handler(0, const_cast<File_Information*>(&smile)),
              L"\U0001F600 smile.txt");
}

TEST(Hostile_Trees, NamesOfTheGreatestLengthAreRecorded) {
    // A short root, so that a name of 255 characters stays inside 300 for the whole path.
    const std::wstring root = L"C:\\qh" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    const std::wstring file_name = std::wstring(251, L'n') + L".txt";
    const std::wstring folder_name(255, L'd');
    struct Remove {
        std::vector<std::wstring> files, folders;
        ~Remove() {
            for (const auto& file : files) DeleteFileW(file.c_str());
            for (const auto& folder : folders) RemoveDirectoryW(folder.c_str());
        }
    } remove{{root + L"\\" + file_name},
             {root + L"\\" + folder_name, root}};
    {
        HANDLE file = CreateFileW((root + L"\\" + file_name).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << "the platform takes a 255-character name: " << GetLastError();
        DWORD written = 0;
        WriteFile(file, "255", 3, &written, nullptr);
        CloseHandle(file);
    }
    ASSERT_TRUE(CreateDirectoryW((root + L"\\" + folder_name).c_str(), nullptr));

    const Listing before = Listing_Of(root);
    ASSERT_EQ(before.size(), 2u);
    ASSERT_TRUE(Search(root));
    Expect_Records_Match(root, before);
    const auto records = Records_By_Path();
    ASSERT_TRUE(records.count(L"\\" + file_name));
    EXPECT_EQ(records.at(L"\\" + file_name).Object_Size.Value(), 3u);
}

TEST(Hostile_Trees, HiddenAndSystemObjectsAreRecordedWithTheirAttributes) {
    Temporary_Tree tree;
    tree.Make_File(L"plain", 1);
    tree.Make_File(L"hidden", 2);
    tree.Make_File(L"system", 3);
    tree.Make_File(L"both", 4);
    for (const wchar_t* folder : {L"hidden folder", L"system folder", L".dot folder"})
        tree.Make_Folder(folder);
    tree.Make_File(L"hidden folder\\inside", 5);
    tree.Make_File(L"system folder\\inside", 6);
    tree.Make_File(L".dot file", 7);
    tree.Make_File(L".dot folder\\inside", 8);
    SetFileAttributesW(tree.Path_Of(L"hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(tree.Path_Of(L"system").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW(tree.Path_Of(L"both").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(tree.Path_Of(L"hidden folder").c_str(),
                       FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(tree.Path_Of(L"system folder").c_str(),
                       FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM);

    const Listing before = Listing_Of(tree.Root());
    ASSERT_TRUE(Search(tree.Root()));
    Expect_Records_Match(tree.Root(), before);

    // Each kind is shown exactly when its option is on; the contents of a hidden folder
    // carry their own attributes.
    const auto records = Records_By_Path();
    Show_Everything();
    Work::Testing::Display_Root().clear();
    int hidden = 0;
    int system = 0;
    for (const auto& [path, record] : records) {
        SCOPED_TRACE(testing::PrintToString(path));
        hidden += record.Is_Hidden;
        system += record.Is_System;
        Work::Testing::Selection_To_Change().Options[Selection_Option::HIDDEN] = false;
        Work::Testing::Selection_To_Change().Options[Selection_Option::SYSTEM] = true;
        EXPECT_EQ(Work::To_Be_Displayed(record, Work::Selection_In_Force(), Work::Display_Root()), !record.Is_Hidden);
        Work::Testing::Selection_To_Change().Options[Selection_Option::HIDDEN] = true;
        Work::Testing::Selection_To_Change().Options[Selection_Option::SYSTEM] = false;
        EXPECT_EQ(Work::To_Be_Displayed(record, Work::Selection_In_Force(), Work::Display_Root()), !record.Is_System);
    }
    if (hidden == 0 || system == 0)
        GTEST_SKIP() << "this file system keeps no hidden or system attribute (hidden "
                     << hidden << ", system " << system << ")";
    EXPECT_FALSE(records.at(L"\\hidden folder\\inside").Is_Hidden);
}
