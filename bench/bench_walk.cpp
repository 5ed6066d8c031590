// The walk: Quarrix's folder walk against the bare walks a programmer would write.
//   bench_walk plain <linux root>   walk without owners and streams, and its memory
//   bench_walk ntfs <linux root>    walk with owners and streams
//   bench_walk progress <linux root>  walk with and without its progress told
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "gui.hpp"
#include "work-platform.hpp"
#include "work.hpp"

namespace {

struct Walk_Totals {
    std::uint64_t Entries = 0;
    std::uint64_t Bytes = 0;
};

struct Find_Closer {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
using Find_Handle = std::unique_ptr<void, Find_Closer>;

struct Handle_Closer {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Unique_Handle = std::unique_ptr<void, Handle_Closer>;

bool Is_Dot_Entry(const WIN32_FIND_DATAW& entry) {
    return entry.cFileName[0] == L'.' &&
           (entry.cFileName[1] == 0 || (entry.cFileName[1] == L'.' && entry.cFileName[2] == 0));
}

// What each entry costs beyond the listing itself.
using Entry_Work = void (*)(const std::wstring& path, bool is_folder);

void No_Work(const std::wstring&, bool) {}

using Query_Routine = LONG(WINAPI*)(HANDLE, void*, void*, ULONG, int);
Query_Routine Query_Information_File = nullptr;

// One call after the other, as the documentation describes them.
void Owner_And_Streams(const std::wstring& path, bool is_folder) {
    alignas(8) unsigned char descriptor[4096];
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION, descriptor, sizeof descriptor,
                     &needed);
    if (is_folder) return;
    HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return;
    Unique_Handle file(opened);
    alignas(8) static unsigned char streams[64 * 1024];
    struct {
        void* Status;
        ULONG_PTR Information;
    } io{};
    if (Query_Information_File) Query_Information_File(file.get(), &io, streams, sizeof streams, 22);
}

void Bare_Walk(const std::wstring& folder, Entry_Work work, Walk_Totals& totals) {
    WIN32_FIND_DATAW entry;
    HANDLE found = FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
    if (found == INVALID_HANDLE_VALUE) return;
    Find_Handle listing(found);
    do {
        if (Is_Dot_Entry(entry)) continue;
        ++totals.Entries;
        const bool is_folder = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        const std::wstring path = folder + L'\\' + entry.cFileName;
        work(path, is_folder);
        if (!is_folder)
            totals.Bytes += (std::uint64_t(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        else if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            Bare_Walk(path, work, totals);
    } while (FindNextFileW(listing.get(), &entry));
}

double Timed_Bare_Walk(const std::wstring& root, Entry_Work work, Walk_Totals& totals) {
    totals = {};
    Bench::Stopwatch watch;
    Bare_Walk(root, work, totals);
    return watch.Seconds();
}

double Timed_Quarrix_Walk(const std::wstring& root) {
    Work::Testing::Want_Search();
    Bench::Stopwatch watch;
    const bool found = Work::Search(root);
    const double seconds = watch.Seconds();
    Work::Stop_Search();
    if (!found) Bench::Note("Quarrix found no folder at the root");
    return seconds;
}

void Start_Up() {
    Work::Start_Platform();
    Work::Start_Gui();
    Gui::Set_Message_Reporter([](const std::string& message, bool) {
        std::printf("NOTE message box: %s\n", message.c_str());
    });
    Work::Start_Application();
    Query_Information_File = reinterpret_cast<Query_Routine>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                               "NtQueryInformationFile")));
}

std::string Rate(std::uint64_t entries, double seconds) {
    return Bench::Fixed(seconds, 2) + " s (" + Bench::Fixed(entries / seconds / 1000, 1) +
           "k/s)";
}

void Plain_Walk(const std::wstring& root) {
    // What Work offers for a walk without owners and streams: a system outside the NT family.
    Work::Pretend_Windows_Nt(false);
    Walk_Totals first, second;
    const double bare_first = Timed_Bare_Walk(root, No_Work, first);
    const std::uint64_t private_before = Bench::Private_Bytes();
    const std::uint64_t working_before = Bench::Working_Set_Bytes();
    const std::uint64_t committed_before = Bench::Committed_Private_Bytes();
    const double quarrix = Timed_Quarrix_Walk(root);
    const std::uint64_t counter_growth = Bench::Private_Bytes() - private_before;
    const std::uint64_t committed_growth = Bench::Committed_Private_Bytes() - committed_before;
    const bool counter_is_kept = counter_growth != 0;
    const std::uint64_t private_growth = counter_is_kept ? counter_growth : committed_growth;
    const std::uint64_t working_growth = Bench::Working_Set_Bytes() - working_before;
    const double bare_second = Timed_Bare_Walk(root, No_Work, second);
    const double bare = std::min(bare_first, bare_second);
    const int records = Length_Of(Work::Known_Files());
    Bench::Note("plain walk: bare " + Bench::Fixed(bare_first, 2) + " s and " +
                Bench::Fixed(bare_second, 2) + " s over " + std::to_string(first.Entries) +
                " entries, " + std::to_string(first.Bytes) + " bytes; Quarrix " +
                Bench::Fixed(quarrix, 2) + " s, " + std::to_string(records) + " records");
    Bench::Report("1 walk, no owners (" + std::to_string(first.Entries) + " entries)",
                  Rate(first.Entries, quarrix), Rate(first.Entries, bare), quarrix / bare,
                  "<= 1.3", quarrix / bare <= 1.3);
    const double per_record = records ? double(private_growth) / records : 0;
    Bench::Note("memory: PrivateUsage +" + std::to_string(counter_growth) +
                ", committed private regions +" + std::to_string(committed_growth) +
                ", working set +" +
                std::to_string(working_growth) + " (" +
                Bench::Fixed(records ? double(working_growth) / records : 0, 1) +
                " B/record); sizeof(File_Information) " +
                std::to_string(sizeof(Work::File_Information)));
    Bench::Report("3 memory per record (" + std::to_string(records) + " records)",
                  Bench::Fixed(per_record, 1) + (counter_is_kept ? " B" : " B (VirtualQuery)"),
                  std::to_string(sizeof(Work::File_Information)) + " B (record struct)",
                  per_record / sizeof(Work::File_Information), "<= 160 B",
                  records > 0 && per_record <= 160);
}

double Timed_Direct_Walk(const std::wstring& root, bool with_progress, std::uint64_t& reports) {
    std::atomic<bool> is_wanted = true;
    Work::File_List records;
    Work::Walk_Request request{.Root = root,
                               .Owners_And_Streams = false,
                               .Lookup_Threads = 1,
                               .Is_Wanted = &is_wanted,
                               .Report_Unreadable = nullptr,
                               .Report_Progress = nullptr};
    // What the searcher does with a report: its line, composed.
    std::wstring line;
    if (with_progress)
        request.Report_Progress = [&](const Work::Walk_Progress& progress) {
            line = L"Searching... " + std::to_wstring(progress.Objects) + L" objects, " +
                   std::to_wstring(progress.Size.Value()) + L": " + progress.Folder;
            ++reports;
        };
    Bench::Stopwatch watch;
    Work::Walk(request, records);
    return watch.Seconds();
}

// The same walk with and without its progress told, alternately, the median of each.
void Progress_Walk(const std::wstring& root) {
    Bench::Samples with, without;
    std::uint64_t reports = 0;
    for (int round = 0; round < 3; ++round) {
        without.Add(Timed_Direct_Walk(root, false, reports));
        with.Add(Timed_Direct_Walk(root, true, reports));
    }
    Bench::Note("progress: " + std::to_string(reports) + " reports over three walks");
    const double ratio = with.Median() / without.Median();
    Bench::Report("1 walk with progress, no owners", with.Image(2), without.Image(2) + " (progress off)", ratio,
                  "<= 1.03", ratio <= 1.03);
}

void Ntfs_Walk(const std::wstring& root) {
    Work::Pretend_Windows_Nt(true);
    Walk_Totals warm, totals;
    Timed_Bare_Walk(root, No_Work, warm);
    const double baseline = Timed_Bare_Walk(root, Owner_And_Streams, totals);
    const double quarrix = Timed_Quarrix_Walk(root);
    if (!Work::Searching_Ntfs()) Bench::Note("the volume was not taken for NTFS");
    Bench::Note("ntfs walk: one call at a time " + Bench::Fixed(baseline, 2) + " s, Quarrix " +
                Bench::Fixed(quarrix, 2) + " s, " + std::to_string(Length_Of(Work::Known_Files())) +
                " records");
    Bench::Report("2 walk, owners+streams (" + std::to_string(totals.Entries) + " entries)",
                  Rate(totals.Entries, quarrix), Rate(totals.Entries, baseline),
                  baseline / quarrix, ">= 2 (base/q)", baseline / quarrix >= 2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_walk plain|ntfs|progress <linux root>\n");
        return 2;
    }
    Start_Up();
    const std::string mode = argv[1];
    const std::wstring root = Bench::Windows_Path_Of(argv[2]);
    if (mode == "plain") Plain_Walk(root);
    else if (mode == "progress") Progress_Walk(root);
    else Ntfs_Walk(root);
    std::fflush(stdout);
    // The searcher thread waits for requests; the figures are out, so the process just ends.
    ExitProcess(0);
}
