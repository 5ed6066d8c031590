// Scans: saving a million records, opening them into the file list, the file's size against
// the records' memory, and a comparison of two such scans.
//   bench_scans <1,000,000-entry root> <file of another owner> <folder for the scan files>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench_support.hpp"
#include "gui.hpp"
#include "windows-files.hpp"
#include "work-platform.hpp"
#include "work-scan_file.hpp"
#include "work.hpp"

namespace {

namespace Files = Windows::Files;
namespace Scan_File = Work::Scan_File;

constexpr int Rounds = 3;

void Start_Up() {
    Work::Start_Platform();
    Bench::Open_Window();
    Bench::Show_Everything();
}

void Walk(const std::wstring& root, const std::wstring& other_owners_file) {
    // A walk without owners, which a million files under Wine can afford; owners are given
    // afterwards, a tenth to the other one, as an NTFS walk of the generated tree has them.
    Work::Pretend_Windows_Nt(false);
    Gui::Set(Work::Controls().Search_Root_Box, root);
    Work::Stop_Start_Request();
    while (Work::Searcher_Is_Busy()) Sleep(5);
    const Files::Owner mine = Files::Owner_Of(root);
    const Files::Owner other = Files::Owner_Of(other_owners_file);
    int index = 0;
    for (auto at = First(Work::Testing::Results_To_Change()); Has_Element(at); at = Next(at))
        Element_At(at).Owner = index++ % 10 == 9 ? other : mine;
    Work::Pretend_Windows_Nt(true);
    Work::Testing::Set_Searching_Ntfs(true);
}

Scan_File::Description Description() {
    return {Work::Search_Root(), Work::Searching_Ntfs(), Work::Results_Time()};
}

// Each round from a program at rest, as a user's action finds it: what the round before
// left to finish on another thread (freeing replaced results) has finished.
template <typename Action>
double Fastest(Action action) {
    double fastest = 1e9;
    for (int round = 0; round < Rounds; ++round) {
        Sleep(300);
        Bench::Stopwatch watch;
        action();
        fastest = std::min(fastest, watch.Seconds());
    }
    return fastest;
}

// One WriteFile of a prepared buffer into a new file.
void Write_Once(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The rows shown again from the records in place, as a refresh shows them.
double Display() {
    return Fastest([] {
        Gui::Remove_All_From(Work::Controls().File_List_View);
        Work::Display();
    });
}

void Measure_Save(const std::wstring& scan) {
    const int records = Length_Of(Work::Known_Files());
    const double save = Fastest([&] { Work::Save_Scan(scan); });
    const std::string bytes = Scan_File::Bytes_Of(Description(), Work::Known_Files());
    const std::wstring plain = scan + L".plain";
    const double write = Fastest([&] { Write_Once(plain, bytes); });
    DeleteFileW(plain.c_str());
    // What any safe save costs: the same bytes to a temporary file, flushed, renamed over.
    const double safe_write = Fastest([&] { Files::Replace_Contents(plain, bytes); });
    DeleteFileW(plain.c_str());
    const double checksum = Fastest([&] { Scan_File::Crc_32_Of(bytes); });
    Bench::Note("save: the prepared bytes written safely (temporary file, flush, rename) " + Bench::Fixed(safe_write, 3) +
                " s, their checksum " + Bench::Fixed(checksum, 3) + " s, of " + Bench::Fixed(save, 3) + " s");
    Bench::Report("8 save scan (" + std::to_string(records) + " records)", Bench::Fixed(save, 3) + " s",
                  Bench::Fixed(write, 3) + " s (one WriteFile)", save / write, "<= 2", save / write <= 2);
}

void Measure_Open(const std::wstring& scan) {
    const int records = Length_Of(Work::Known_Files());
    const double open = Fastest([&] { Work::Open_Scan(scan); });
    const double read = Fastest([&] { Files::Contents_Of(scan); });
    const std::string bytes = Files::Contents_Of(scan);
    const double decode = Fastest([&] { Scan_File::Scan_Of(bytes); });
    const double display = Display();
    const double baseline = read + display;
    Bench::Note("open: reading " + Bench::Fixed(read, 3) + " s, the records made from the bytes (and freed) " +
                Bench::Fixed(decode, 3) + " s, display " + Bench::Fixed(display, 3) + " s");
    Bench::Report("9 open scan and show (" + std::to_string(records) + " records)", Bench::Fixed(open, 3) + " s",
                  Bench::Fixed(baseline, 3) + " s (read + display)", open / baseline, "<= 2",
                  open / baseline <= 2);
}

void Measure_Size(const std::wstring& scan) {
    const std::string bytes = Files::Contents_Of(scan);
    const std::uint64_t private_before = Bench::Private_Bytes();
    const std::uint64_t committed_before = Bench::Committed_Private_Bytes();
    const Scan_File::Scan loaded = Scan_File::Scan_Of(bytes);
    const std::uint64_t counter_growth = Bench::Private_Bytes() - private_before;
    const std::uint64_t growth = counter_growth != 0 ? counter_growth : Bench::Committed_Private_Bytes() - committed_before;
    const double records = Length_Of(loaded.Records);
    const double file_per_record = bytes.size() / records;
    const double memory_per_record = growth / records;
    Bench::Report("10 scan file size (" + std::to_string(bytes.size()) + " bytes)",
                  Bench::Fixed(file_per_record, 1) + " B/record",
                  Bench::Fixed(memory_per_record, 1) + " B/record in memory",
                  file_per_record / memory_per_record, "<= 1", file_per_record <= memory_per_record);
}

// The older scan: a tenth of the files a little smaller then, a hundredth not there yet.
void Save_Older(const std::wstring& older) {
    Work::File_List records;
    int index = 0;
    for (auto at = First(Work::Known_Files()); Has_Element(at); at = Next(at), ++index) {
        Work::File_Information record = Element_At(at);
        if (!record.Is_Folder && index % 100 == 7) continue;
        if (!record.Is_Folder && index % 10 == 3 && record.Object_Size.Value() > 0)
            record.Object_Size = Files::File_Size::From(record.Object_Size.Value() - 1);
        Append(std::move(record), records);
    }
    Scan_File::Save(older, Description(), records);
}

void Measure_Compare(const std::wstring& older) {
    const int records = Length_Of(Work::Known_Files());
    const double display = Display();
    double compare = 1e9;
    for (int round = 0; round < Rounds; ++round) {
        Gui::Remove_All_From(Work::Controls().File_List_View);
        Sleep(300);
        Bench::Stopwatch watch;
        Work::Compare_With(older);
        compare = std::min(compare, watch.Seconds());
    }
    const double read = Fastest([&] { Files::Contents_Of(older); });
    const std::string bytes = Files::Contents_Of(older);
    const double changes = Fastest([&] {
        Scan_File::Record_Reader reader(bytes);
        const Work::Compare::Changes compared(Work::Known_Files(), reader);
    });
    Bench::Note("compare: reading the older scan's bytes " + Bench::Fixed(read, 3) + " s, the changes " +
                Bench::Fixed(changes, 3) + " s, of " + Bench::Fixed(compare, 3) + " s");
    Bench::Report("11 compare two scans (" + std::to_string(records) + " records)", Bench::Fixed(compare, 3) + " s",
                  Bench::Fixed(display, 3) + " s (display)", compare / display, "<= 3", compare / display <= 3);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_scans <linux root> <file of another owner> <folder for scans>\n");
        return 2;
    }
    Start_Up();
    Walk(Bench::Windows_Path_Of(argv[1]), Bench::Windows_Path_Of(argv[2]));
    const std::wstring folder = Bench::Windows_Path_Of(argv[3]);
    const std::wstring scan = folder + L"\\bench.qscan";
    const std::wstring older = folder + L"\\bench-older.qscan";
    Scan_File::Save(scan, Description(), Work::Known_Files());
    // Before any other scan is read and freed: the heap then has no space to reuse.
    Measure_Size(scan);
    Measure_Save(scan);
    Save_Older(older);
    Measure_Open(scan);
    Measure_Compare(older);
    DeleteFileW(scan.c_str());
    DeleteFileW(older.c_str());
    std::fflush(stdout);
    // The searcher thread waits for requests; the figures are out, so the process just ends.
    ExitProcess(0);
}
