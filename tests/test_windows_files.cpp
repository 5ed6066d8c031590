#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "substitute_stream_query.hpp"
#include "temporary_tree.hpp"
#include "wide_text.hpp"
#include "windows-files.hpp"
#include "windows.hpp"
#include "work-scan_file.hpp"

using namespace Windows::Files;

namespace {

File_Size Size_Of(std::uint64_t value) { return Unsigned::Quadword::From(value); }

File_Time Time_Of(std::uint64_t value) {
    return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

std::uint64_t Value_Of(const File_Time& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

struct Reported_Stream {
    std::wstring Name;
    std::uint64_t Size;
    bool operator==(const Reported_Stream&) const = default;
};

std::vector<Reported_Stream> Streams_Of(const std::wstring& filename) {
    std::vector<Reported_Stream> reported;
    Iterate_Streams_Of(filename, [&](const std::wstring& name, File_Size size, File_Size) {
        reported.push_back({name, size.Value()});
    });
    return reported;
}

// Runs one test of this program in a child process, which starts with caches of its own,
// with one environment variable set for it; false when the child could not be started or
// did not end in time.
bool Run_Test_In_Child(const std::wstring& the_test, const wchar_t* the_variable, const std::wstring& the_value,
                       DWORD the_milliseconds) {
    std::wstring program(256, L'\0');
    while (GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())) == program.size())
        program.resize(program.size() * 2);
    program.resize(wcslen(program.c_str()));
    std::wstring command = L"\"" + program + L"\" --gtest_filter=" + the_test;
    SetEnvironmentVariableW(the_variable, the_value.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const bool started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &child);
    SetEnvironmentVariableW(the_variable, nullptr);
    if (!started) return false;
    const bool has_ended = WaitForSingleObject(child.hProcess, the_milliseconds) == WAIT_OBJECT_0;
    if (!has_ended) TerminateProcess(child.hProcess, 1);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return has_ended;
}

}  // namespace

TEST(Files, FindRecordNamesAndSizes) {
    Find_Record record{};
    record.nFileSizeHigh = 2;
    record.nFileSizeLow = 5;
    EXPECT_EQ(File_Size_Of(record).Value(), (std::uint64_t{2} << 32) + 5);

    std::wcscpy(record.cFileName, L"name.txt");
    EXPECT_EQ(Filename_Of(record), L"name.txt");
    // A name filling the whole field has no NUL: it ends with the field.
    std::fill(std::begin(record.cFileName), std::end(record.cFileName), L'x');
    EXPECT_EQ(Filename_Of(record), std::wstring(260, L'x'));

    EXPECT_TRUE(Is_Special_Directory(L"."));
    EXPECT_TRUE(Is_Special_Directory(L".."));
    EXPECT_FALSE(Is_Special_Directory(L"..."));
    EXPECT_FALSE(Is_Special_Directory(L".a"));
    EXPECT_FALSE(Is_Special_Directory(L""));
}

TEST(Files, LongPathForms) {
    EXPECT_EQ(Long_Path_Form(L"C:\\data\\x"), L"\\\\?\\C:\\data\\x");
    EXPECT_EQ(Long_Path_Form(L"\\\\server\\share\\x"), L"\\\\?\\UNC\\server\\share\\x");
    // The long form is taken literally, so what the short form would resolve is resolved first.
    EXPECT_EQ(Long_Path_Form(L"C:/data/../x"), L"\\\\?\\C:\\x");
    EXPECT_EQ(Long_Path_Form(L"C:\\"), L"\\\\?\\C:\\");
    std::wstring current(32768, L'\0');
    current.resize(GetCurrentDirectoryW(32768, current.data()));
    EXPECT_EQ(Long_Path_Form(L"a\\b"), L"\\\\?\\" + current + L"\\a\\b");
    // Already long, or a device: as it is.
    EXPECT_EQ(Long_Path_Form(L"\\\\?\\C:\\a\\..\\b"), L"\\\\?\\C:\\a\\..\\b");
    EXPECT_EQ(Long_Path_Form(L"\\\\.\\pipe\\x"), L"\\\\.\\pipe\\x");
    EXPECT_EQ(Long_Path_Form(L""), L"");
}

TEST(Files, SizeImagesAtEveryBoundary) {
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(0)), " 0");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(9'999)), " 9999");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(10'000)), " 10KB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(10'499)), " 10KB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(10'500)), " 11KB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(9'999'499)), " 9999KB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(9'999'500)), " 10000KB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(10'000'000)), " 10MB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(1'000'999'999)), " 1001MB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(1'001'000'000)), " 1001MB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(9'999'999'999)), " 9999MB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(10'000'000'000)), " 10GB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(10'499'999'999)), " 10GB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(10'500'000'000)), " 11GB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(10'000'000'000'000)), " 10000GB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(10'000'001'000'000)), " 10TB");
    EXPECT_EQ(Windows::Files::Image_Of(Size_Of(UINT64_MAX)), " 18446744TB");
}

TEST(Files, SizeFromText) {
    EXPECT_EQ(Size_From("0").Value(), 0u);
    EXPECT_EQ(Size_From("250").Value(), 250u);
    EXPECT_EQ(Size_From("1.5K").Value(), 1500u);
    EXPECT_EQ(Size_From("10KB").Value(), 10'000u);
    EXPECT_EQ(Size_From("10kb").Value(), 10'000u);
    EXPECT_EQ(Size_From("2m").Value(), 2'000'000u);
    File_Size three_gigabytes = Size_From("3GB");
    EXPECT_EQ(three_gigabytes.Most_Significant, 0u);
    EXPECT_EQ(three_gigabytes.Least_Significant, 3'000'000'000u);
    EXPECT_EQ(Size_From("5TB").Value(), 5'000'000'000'000u);
    EXPECT_EQ(Size_From("5t").Value(), 5'000'000'000'000u);
    EXPECT_EQ(Size_From("1e3").Value(), 1000u);
    EXPECT_EQ(Size_From(" 7 ").Value(), 7u);
    EXPECT_EQ(Size_From("0.5").Value(), 1u);  // half up
    EXPECT_EQ(Size_From("0.4").Value(), 0u);
    EXPECT_EQ(Size_From("18446744073709549568").Value(), 18446744073709549568u);

    for (const char* bad : {"", "B", "K", "KB", "12x", "x12", "-5", "-1K", "1,5K", "1.", ".5",
                            "0x10", "nan", "inf", "1e", "1 2", "18446744073709551616", "1e30",
                            "20000000T"})
        EXPECT_EQ(Size_From(bad).Value(), 0u) << '"' << bad << '"';
}

TEST(Files, TimesAndTheirImages) {
    FILETIME before;
    GetSystemTimeAsFileTime(&before);
    File_Time now = The_Time_Now();
    FILETIME after;
    GetSystemTimeAsFileTime(&after);
    // The system time has millisecond resolution.
    EXPECT_GE(Value_Of(now) + 10'000, Value_Of(before));
    EXPECT_LE(Value_Of(now), Value_Of(after));

    EXPECT_TRUE(Is_Earlier(Time_Of(1), Time_Of(2)));
    EXPECT_FALSE(Is_Earlier(Time_Of(2), Time_Of(2)));
    EXPECT_FALSE(Is_Later(Time_Of(2), Time_Of(2)));
    EXPECT_TRUE(Is_Later(Time_Of(std::uint64_t{1} << 32), Time_Of(0xFFFFFFFF)));

    EXPECT_EQ(Image_Of(File_Time{}), L"");
    // 2001-07-15 12:00 UTC: whatever the locale, the year shows and date and time are apart.
    SYSTEMTIME fields{2001, 7, 0, 15, 12, 0, 0, 0};
    File_Time moment;
    ASSERT_TRUE(SystemTimeToFileTime(&fields, &moment));
    std::wstring image = Image_Of(moment);
    EXPECT_NE(image.find(L"2001"), std::wstring::npos) << Wide_Text::Utf8_Of(image);
    EXPECT_NE(image.find(L' '), std::wstring::npos) << Wide_Text::Utf8_Of(image);
    EXPECT_NE(image.front(), L' ') << Wide_Text::Utf8_Of(image);
    EXPECT_NE(image.back(), L' ') << Wide_Text::Utf8_Of(image);
    EXPECT_EQ(image.find(L'\0'), std::wstring::npos);
}

TEST(Files, AttributesOfRealObjects) {
    Temporary_Tree tree;
    tree.Make_File(L"file.bin", 12'345);
    tree.Make_Folder(L"folder");
    File_Attributes file = Attributes_For(tree.Path_Of(L"file.bin"));
    EXPECT_FALSE(Is_Directory(file.Attribute));
    EXPECT_EQ(file.Size.Value(), 12'345u);
    EXPECT_NE(Value_Of(file.Last_Write_Time), 0u);
    EXPECT_TRUE(Is_Directory(Attributes_For(tree.Path_Of(L"folder")).Attribute));
    EXPECT_THROW(Attributes_For(tree.Path_Of(L"absent")), File_Not_Found);
    EXPECT_THROW(Attributes_For(L""), File_Not_Found);
}

TEST(Files, OwnersAreCachedOncePerAccount) {
    Temporary_Tree tree;
    tree.Make_File(L"mine_1", 1);
    tree.Make_File(L"mine_2", 1);
    tree.Make_File(L"other", 1);
    Owner mine = Owner_Of(tree.Path_Of(L"mine_1"));
    ASSERT_FALSE(Is_Unknown(mine));
    EXPECT_FALSE(Image_Of(mine).empty());
    EXPECT_EQ(Image_Of(mine).find(L'\\'), std::wstring::npos) << "no domain in front";
    EXPECT_EQ(Owner_Of(tree.Path_Of(L"mine_2")), mine);
    EXPECT_EQ(Owner_Of(tree.Path_Of(L"mine_1")), mine);

    Owner unknown = Owner_Of(tree.Path_Of(L"absent"));
    EXPECT_TRUE(Is_Unknown(unknown));
    EXPECT_EQ(Image_Of(unknown), L"");

    if (!Give_To_Another_User(tree.Path_Of(L"other"))) GTEST_SKIP() << "no host chown here";
    Owner other = Owner_Of(tree.Path_Of(L"other"));
    ASSERT_FALSE(Is_Unknown(other));
    EXPECT_NE(other, mine);
    EXPECT_EQ(Image_Of(other), L"ANONYMOUS LOGON");
    EXPECT_EQ(Owner_Of(tree.Path_Of(L"mine_2")), mine);
    EXPECT_EQ(Owner_Of(tree.Path_Of(L"other")), other);
}

namespace {

constexpr int Owner_Count = 100'000;

// S-1-5-21-1111-2222-3333-RID: accounts of one domain, as a file server has them.
std::basic_string<std::uint8_t> Domain_Sid_Bytes(std::uint32_t rid) {
    std::basic_string<std::uint8_t> bytes{1, 5, 0, 0, 0, 0, 0, 5};
    for (std::uint32_t part : {21u, 1111u, 2222u, 3333u, rid})
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(part >> shift));
    return bytes;
}

}  // namespace

// Run in a child process, whose owner cache is empty: every owner of the scan is new to it.
TEST(Files, OpenTheScanOfManyOwners) {
    const char* scan = std::getenv("QUARRIX_MANY_OWNERS_SCAN");
    if (!scan) GTEST_SKIP() << "only as the child of AScanOfAHundredThousandOwnersOpens";
    const auto start = std::chrono::steady_clock::now();
    const Work::Scan_File::Scan opened = Work::Scan_File::Load(Wide_Text::From_Utf8(scan));
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    std::set<Owner> owners;
    bool names_hold = true;
    std::uint32_t rid = 0;
    for (auto at = First(opened.Records); Has_Element(at); at = Next(at), ++rid) {
        owners.insert(Element_At(at).Owner);
        names_hold = names_hold && Image_Of(Element_At(at).Owner) == L"user" + std::to_wstring(rid);
    }
    std::ofstream(std::string(scan) + ".result") << owners.size() << " " << names_hold << " " << taken.count();
}

// A domain file server has tens of thousands of accounts: the owners of a scan are found by
// their SIDs at once, not by a search through every one met before, which took minutes.
TEST(Files, AScanOfAHundredThousandOwnersOpens) {
    Temporary_Tree tree;
    Work::File_List records;
    for (std::uint32_t rid = 0; rid < Owner_Count; ++rid) {
        const std::basic_string<std::uint8_t> sid = Domain_Sid_Bytes(rid);
        Append(Work::File_Information{.File_Name = L"f" + std::to_wstring(rid),
                                      .Folder_Name = {},
                                      .Owner = Owner_With_Sid({sid.data(), sid.size()}, L"user" + std::to_wstring(rid)),
                                      .Stream_Name = {}},
               records);
    }
    const std::wstring scan = tree.Path_Of(L"owners.qscan");
    Work::Scan_File::Save(scan, {tree.Root(), true, The_Time_Now(), true, {}}, records);

    ASSERT_TRUE(Run_Test_In_Child(L"Files.OpenTheScanOfManyOwners", L"QUARRIX_MANY_OWNERS_SCAN", scan, 60'000));

    std::size_t owners = 0;
    bool names_hold = false;
    double seconds = 1e9;
    std::ifstream(std::filesystem::path(scan + L".result")) >> owners >> names_hold >> seconds;
    EXPECT_EQ(owners, static_cast<std::size_t>(Owner_Count));
    EXPECT_TRUE(names_hold) << "each record keeps its owner's saved name";
    RecordProperty("seconds_to_open", std::to_string(seconds));
}

TEST(Files, VolumeTypes) {
    Temporary_Tree tree;
    // Wine reports NTFS for every drive on an ordinary Linux file system.
    EXPECT_TRUE(Volume_Is_Ntfs(tree.Root()));
    EXPECT_TRUE(Volume_Is_Ntfs(tree.Root() + L"\\"));
    EXPECT_TRUE(Volume_Is_Ntfs(L"C:\\"));  // root with its backslash already there
    EXPECT_TRUE(Volume_Is_Ntfs(L"C:"));
    EXPECT_TRUE(Volume_Is_Ntfs(L"C:\\\\\\"));
    EXPECT_FALSE(Volume_Is_Ntfs(L""));
    EXPECT_FALSE(Volume_Is_Ntfs(L"C"));
    EXPECT_FALSE(Volume_Is_Ntfs(L"relative\\path"));
}

TEST(Files, CurrentDirectoryAndRename) {
    std::wstring current = Current_Directory();
    ASSERT_FALSE(current.empty());
    EXPECT_TRUE(Is_Directory(Attributes_For(current).Attribute));

    Temporary_Tree tree;
    tree.Make_File(L"old.log", 3);
    tree.Make_File(L"new.log", 7);
    std::string old_name = Wide_Text::Utf8_Of(tree.Path_Of(L"old.log"));
    std::string new_name = Wide_Text::Utf8_Of(tree.Path_Of(L"new.log"));
    Rename_File(old_name, new_name);  // replaces the existing one
    EXPECT_THROW(Attributes_For(tree.Path_Of(L"old.log")), File_Not_Found);
    EXPECT_EQ(Attributes_For(tree.Path_Of(L"new.log")).Size.Value(), 3u);
    EXPECT_THROW(Rename_File(old_name, new_name), File_Not_Found);
}

// The temporary file's name may be one of the user's files: a replacement neither writes nor
// removes that file, whether it completes or not, and two replacements of one target at once
// each have their own.
TEST(Files, AReplacementLeavesFilesOfOtherNamesAlone) {
    Temporary_Tree tree;
    const std::wstring target = tree.Path_Of(L"report.csv");
    const std::wstring users = target + L"." + std::to_wstring(GetCurrentProcessId()) + L".partial";
    Replace_Contents(users, "the user's own");

    Replace_Contents(target, "written");
    EXPECT_EQ(Contents_Of(target), "written");
    EXPECT_EQ(Contents_Of(users), "the user's own");
    {
        Replacement abandoned(target);
        abandoned.Append("half");
    }
    EXPECT_EQ(Contents_Of(target), "written");
    EXPECT_EQ(Contents_Of(users), "the user's own");
    {
        Replacement first(target);
        Replacement second(target);
        first.Append("first");
        second.Append("second");
        second.Commit();
        first.Commit();
    }
    EXPECT_EQ(Contents_Of(target), "first");
    std::set<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(tree.Root()))
        names.insert(entry.path().filename().wstring());
    EXPECT_EQ(names, (std::set<std::wstring>{L"report.csv", std::filesystem::path(users).filename().wstring()}));
}

TEST(Files, StreamQueryIsResolvedOnTheNtFamily) {
    EXPECT_EQ(Nt_Query_Information_File != nullptr, Windows::Is_Nt());
}

TEST(Files, StreamsReportedInBufferOrder) {
    Temporary_Tree tree;
    tree.Make_File(L"file", 10);
    Substitute_Stream_Query query;

    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}, {L":extra:$DATA", 5}});
    EXPECT_EQ(Streams_Of(tree.Path_Of(L"file")),
              (std::vector<Reported_Stream>{{L"::$DATA", 10}, {L":extra:$DATA", 5}}));

    // Only the unnamed stream: nothing to report.
    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}});
    EXPECT_TRUE(Streams_Of(tree.Path_Of(L"file")).empty());

    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}, {L":extra:$DATA", 5}});
    query.Status = static_cast<std::int32_t>(0xC0000002);  // STATUS_INVALID_INFO_CLASS
    EXPECT_TRUE(Streams_Of(tree.Path_Of(L"file")).empty());

    query.Status = 0;
    int calls = query.Calls;
    EXPECT_TRUE(Streams_Of(tree.Path_Of(L"absent")).empty());
    EXPECT_EQ(query.Calls, calls) << "a file that cannot be opened is not queried";
}

TEST(Files, APlatformWithoutStreamsIsRememberedForItsOwnQueryOnly) {
    Temporary_Tree tree;
    tree.Make_File(L"file", 10);
    // Wine does not know the stream class: asked twice, it reports nothing either time.
    EXPECT_TRUE(Streams_Of(tree.Path_Of(L"file")).empty());
    EXPECT_TRUE(Streams_Of(tree.Path_Of(L"file")).empty());
    Substitute_Stream_Query query;
    query.Status = static_cast<std::int32_t>(0xC0000002);
    EXPECT_TRUE(Streams_Of(tree.Path_Of(L"file")).empty());
    // A routine put in place of the platform's is asked every time, whatever it said before.
    query.Status = 0;
    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}, {L":extra:$DATA", 5}});
    EXPECT_EQ(Streams_Of(tree.Path_Of(L"file")),
              (std::vector<Reported_Stream>{{L"::$DATA", 10}, {L":extra:$DATA", 5}}));
    EXPECT_EQ(query.Calls, 2);
}

TEST(Files, StreamRecordsOutsideTheBufferEndTheReport) {
    Temporary_Tree tree;
    tree.Make_File(L"file", 10);
    Substitute_Stream_Query query;
    auto poke = [&](std::size_t offset, std::int32_t value) {
        query.Buffer.resize(sizeof(File_Stream_Information), 0);
        std::memcpy(query.Buffer.data() + offset, &value, 4);
    };
    const std::vector<Reported_Stream> first_only{{L"::$DATA", 10}};

    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}});
    poke(0, 2064);  // the next record's header would pass the end
    EXPECT_EQ(Streams_Of(tree.Path_Of(L"file")), first_only);

    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}, {L":x:$DATA", 1}});
    poke(0, -8);
    EXPECT_EQ(Streams_Of(tree.Path_Of(L"file")), first_only);

    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}, {L":x:$DATA", 1}});
    poke(0, 12);  // not on a quadword boundary
    EXPECT_EQ(Streams_Of(tree.Path_Of(L"file")), first_only);

    // The second record's name would run past the end of the buffer.
    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}, {L":x:$DATA", 1}});
    poke(0, 2040);
    poke(2044, 40);
    EXPECT_EQ(Streams_Of(tree.Path_Of(L"file")), first_only);

    // A first name longer than the buffer's 1024 characters: nothing is reported.
    query.Buffer = Stream_Buffer_Of({{L"::$DATA", 10}, {L":x:$DATA", 1}});
    poke(4, 2050);
    EXPECT_TRUE(Streams_Of(tree.Path_Of(L"file")).empty());
}

namespace {

// 2001-07-15 15:00 UTC, an afternoon wherever the machine's clock is set near UTC.
std::wstring Afternoon_Image() {
    SYSTEMTIME fields{2001, 7, 0, 15, 15, 0, 0, 0};
    File_Time moment;
    SystemTimeToFileTime(&fields, &moment);
    return Image_Of(moment);
}

}  // namespace

// Run in a child process, which reads the user's settings afresh.
TEST(Files, ImageInTheChildsLocale) {
    const char* output = std::getenv("QUARRIX_IMAGE_FILE");
    if (!output) GTEST_SKIP() << "only as the child of TimeImagesInALocaleBeyondAscii";
    std::ofstream(output, std::ios::binary) << Wide_Text::Utf8_Of(Afternoon_Image());
}

// A user whose afternoon is "\uc624\ud6c4", as in Korean: the marker is not in the ANSI code page.
TEST(Files, TimeImagesInALocaleBeyondAscii) {
    const wchar_t* const International = L"Control Panel\\International";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, International, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    wchar_t saved[80] = {};
    DWORD saved_size = sizeof saved;
    const bool had_marker = RegQueryValueExW(key, L"s2359", nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(saved), &saved_size) == ERROR_SUCCESS;
    const std::wstring marker = L"\uc624\ud6c4";
    RegSetValueExW(key, L"s2359", 0, REG_SZ, reinterpret_cast<const BYTE*>(marker.c_str()),
                   static_cast<DWORD>((marker.size() + 1) * sizeof(wchar_t)));

    Temporary_Tree tree;
    const std::wstring output = tree.Path_Of(L"image.txt");
    const bool started = Run_Test_In_Child(L"Files.ImageInTheChildsLocale", L"QUARRIX_IMAGE_FILE", output, 30'000);
    if (had_marker)
        RegSetValueExW(key, L"s2359", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved), saved_size);
    else
        RegDeleteValueW(key, L"s2359");
    RegCloseKey(key);
    ASSERT_TRUE(started);

    std::ifstream file{std::filesystem::path(output), std::ios::binary};
    const std::string image((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(Wide_Text::From_Utf8(image).find(marker), std::wstring::npos) << image;
}
