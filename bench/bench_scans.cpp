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
    return {Work::Search_Root(), Work::Searching_Ntfs(), Work::Results_Time(), Work::Results_Have_Sizes_On_Disk(),
            Work::Results_Volume()};
}

// Each round from a program at rest, as a user's action finds it: what the round before
// left to finish on another thread (freeing replaced results) has finished.
template <typename Action>
Bench::Samples Timed(Action action) {
    return Bench::Rounds_Of(Rounds, [&] {
        Sleep(300);
        Bench::Stopwatch watch;
        action();
        return watch.Seconds();
    });
}

// The rows shown again from the records in place, as a refresh shows them.
Bench::Samples Display() {
    return Timed([] {
        Gui::Remove_All_From(Work::Controls().File_List_View);
        Work::Display();
    });
}

// Against what any safe save must do: the same bytes to a temporary file, flushed, renamed
// over the target.
void Measure_Save(const std::wstring& scan) {
    const int records = Length_Of(Work::Known_Files());
    const Bench::Samples save = Timed([&] { Work::Save_Scan(scan); });
    const std::string bytes = Scan_File::Bytes_Of(Description(), Work::Known_Files());
    const std::wstring plain = scan + L".plain";
    const Bench::Samples safe_write = Timed([&] { Files::Replace_Contents(plain, bytes); });
    DeleteFileW(plain.c_str());
    const Bench::Samples encode = Timed([&] { Scan_File::Bytes_Of(Description(), Work::Known_Files()); });
    Bench::Note("save: the bytes made in memory " + encode.Image(3) + ", of " + save.Image(3));
    const double ratio = save.Median() / safe_write.Median();
    Bench::Report("8 save scan (" + std::to_string(records) + " records)", save.Image(3),
                  safe_write.Image(3) + " (safe write)", ratio, "<= 1.5", ratio <= 1.5);
}

void Measure_Open(const std::wstring& scan) {
    const int records = Length_Of(Work::Known_Files());
    const Bench::Samples open = Timed([&] { Work::Open_Scan(scan); });
    const Bench::Samples read = Timed([&] { Files::Contents_Of(scan); });
    const std::string bytes = Files::Contents_Of(scan);
    const Bench::Samples decode = Timed([&] { Scan_File::Scan_Of(bytes); });
    const Bench::Samples display = Display();
    const double baseline = read.Median() + display.Median();
    Bench::Note("open: reading " + read.Image(3) + ", the records made from the bytes (and freed) " +
                decode.Image(3) + ", display " + display.Image(3));
    Bench::Report("9 open scan and show (" + std::to_string(records) + " records)", open.Image(3),
                  Bench::Fixed(baseline, 3) + " s (read + display)", open.Median() / baseline, "<= 2",
                  open.Median() / baseline <= 2);
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
    const Bench::Samples display = Display();
    const Bench::Samples compare = Bench::Rounds_Of(Rounds, [&] {
        Gui::Remove_All_From(Work::Controls().File_List_View);
        Sleep(300);
        Bench::Stopwatch watch;
        Work::Compare_With(older);
        return watch.Seconds();
    });
    const Bench::Samples read = Timed([&] { Files::Contents_Of(older); });
    const std::string bytes = Files::Contents_Of(older);
    const Bench::Samples changes = Timed([&] {
        Scan_File::Record_Reader reader(bytes);
        const Work::Compare::Changes compared(Work::Known_Files(), reader);
    });
    Bench::Note("compare: reading the older scan's bytes " + read.Image(3) + ", the changes " +
                changes.Image(3) + ", of " + compare.Image(3));
    const double ratio = compare.Median() / display.Median();
    Bench::Report("11 compare two scans (" + std::to_string(records) + " records)", compare.Image(3),
                  display.Image(3) + " (display)", ratio, "<= 3", ratio <= 3);
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
