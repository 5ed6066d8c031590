// The display: filling, refreshing and sorting the file list view with a million records,
// and whether the window keeps answering meanwhile.
//   bench_display <100,000-file root> <1,000,000-entry root> <file of another owner>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "gui.hpp"
#include "windows-files.hpp"
#include "work-platform.hpp"
#include "work.hpp"

namespace {

using Rows = std::vector<void*>;

void Start_Up() {
    Work::Start_Platform();
    Bench::Open_Window();
}

// As the button's action routine runs it; returns once the searcher has finished.
double Search_Through_The_Searcher(const std::wstring& root) {
    Gui::Set(Work::Controls().Search_Root_Box, root);
    Bench::Stopwatch watch;
    Work::Stop_Start_Request();
    while (Work::Searcher_Is_Busy()) Sleep(5);
    return watch.Seconds();
}

// The records as an NTFS walk gives them, without an NTFS walk of a million files: a tenth
// belongs to the other owner, as in the generated trees.
void Give_Owners(const std::wstring& root, const std::wstring& other_owners_file) {
    const Windows::Files::Owner mine = Windows::Files::Owner_Of(root);
    const Windows::Files::Owner other = Windows::Files::Owner_Of(other_owners_file);
    if (!mine || !other || mine == other) Bench::Note("the two owners could not be told apart");
    int index = 0;
    for (auto position = First(Work::Testing::Results_To_Change()); Has_Element(position);
         position = Next(position))
        Element_At(position).Owner = index++ % 10 == 9 ? other : mine;
    Work::Testing::Set_Searching_Ntfs(true);
}

// The filter alone over the same list: what any display must at least do.
double Filter_Loop(int& passed) {
    passed = 0;
    Bench::Stopwatch watch;
    for (auto position = First(Work::Known_Files()); Has_Element(position); position = Next(position))
        if (Work::To_Be_Displayed(Element_At(position), Work::Selection_In_Force(), Work::Display_Root())) ++passed;
    return watch.Seconds();
}

Rows Passing_Rows() {
    Rows rows;
    for (auto position = First(Work::Known_Files()); Has_Element(position); position = Next(position))
        if (Work::To_Be_Displayed(Element_At(position), Work::Selection_In_Force(), Work::Display_Root())) rows.push_back(const_cast<Work::File_Information*>(&Element_At(position)));
    return rows;
}

// The row count the control has been told, once the display thread has caught up.
int Rows_In_Control() {
    return static_cast<int>(
        SendMessageW(Gui::Window_Of(Work::Controls().File_List_View), LVM_GETITEMCOUNT, 0, 0));
}

void Wait_For_Control(int rows) {
    for (int waited = 0; Rows_In_Control() != rows && waited < 10000; waited += 5) Sleep(5);
}

// Each figure is the median of several rounds, for the display and its baseline alike.
constexpr int Rounds = 5;

Bench::Samples Timed_Filter_Loop(int& passed) {
    return Bench::Rounds_Of(Rounds, [&] { return Filter_Loop(passed); });
}

void Measure_Display() {
    Work::Adjust_Gui();
    double shown = 0;
    const Bench::Samples display = Bench::Rounds_Of(Rounds, [&] {
        Gui::Remove_All_From(Work::Controls().File_List_View);
        Wait_For_Control(0);
        Bench::Stopwatch watch;
        Work::Display();
        const double seconds = watch.Seconds();
        Wait_For_Control(Gui::Number_Of_Rows_Of(Work::Controls().File_List_View));
        shown = std::max(shown, watch.Seconds());
        return seconds;
    });
    int passed = 0;
    const Bench::Samples loop = Timed_Filter_Loop(passed);
    const int records = Length_Of(Work::Known_Files());
    Bench::Note("display: " + std::to_string(passed) + " of " + std::to_string(records) +
                " records pass; " + std::to_string(Gui::Number_Of_Rows_Of(Work::Controls().File_List_View)) +
                " rows; control has them after at most " + Bench::Fixed(shown, 3) + " s");
    const double ratio = display.Median() / loop.Median();
    Bench::Report("4 display (" + std::to_string(passed) + " rows)", display.Image(3),
                  loop.Image(3) + " (filter loop)", ratio, "<= 3", ratio <= 3);
}

void Measure_Refresh() {
    int round = 0;
    const Bench::Samples refresh = Bench::Rounds_Of(Rounds, [&] {
        // A change of options that keeps every record shown.
        if (round++ % 2 == 0) Gui::Clear(Work::Controls().Display_Full_Size);
        else Gui::Set(Work::Controls().Display_Full_Size);
        Bench::Stopwatch watch;
        Work::Refresh_Display();
        const double seconds = watch.Seconds();
        Wait_For_Control(Gui::Number_Of_Rows_Of(Work::Controls().File_List_View));
        return seconds;
    });
    int passed = 0;
    const Bench::Samples loop = Timed_Filter_Loop(passed);
    if (Gui::Number_Of_Rows_Of(Work::Controls().File_List_View) != passed)
        Bench::Note("refresh showed " + std::to_string(Gui::Number_Of_Rows_Of(Work::Controls().File_List_View)) +
                    " rows of " + std::to_string(passed));
    const double ratio = refresh.Median() / loop.Median();
    Bench::Report("4 refresh after option change", refresh.Image(3), loop.Image(3) + " (filter loop)", ratio,
                  "<= 3", ratio <= 3);
}

// The view sorts stably in its current direction, which turns after every sort; the
// baseline does the same to its own copy of the rows.
double Direct_Sort(Rows& rows, int column, bool is_ascending) {
    Bench::Stopwatch watch;
    std::stable_sort(rows.begin(), rows.end(), [column, is_ascending](void* one, void* other) {
        const Gui::Comparison result = Work::File_Sort_Routine(column, one, other);
        const int order = result == Gui::Comparison::Less ? -1 : result == Gui::Comparison::Greater;
        return (is_ascending ? order : -order) < 0;
    });
    return watch.Seconds();
}

double Header_Click(int column) {
    HWND view = Gui::Window_Of(Work::Controls().File_List_View);
    NMLISTVIEW click{};
    click.hdr.hwndFrom = view;
    click.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(view));
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    Bench::Stopwatch watch;
    SendMessageW(Gui::Main_Window(), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
    // The click starts the sort in the background: it counts until the new order is shown.
    while (Gui::Is_Sorting(Work::Controls().File_List_View)) Sleep(1);
    return watch.Seconds();
}

const char* Title_Of(Work::Logical_Column column) {
    switch (column) {
    case Work::Logical_Column::Name: return "Name";
    case Work::Logical_Column::In_Folder: return "In Folder";
    case Work::Logical_Column::Owner: return "Owner";
    case Work::Logical_Column::Stream: return "Stream";
    case Work::Logical_Column::Size: return "Size";
    case Work::Logical_Column::Size_On_Disk: return "Size on disk";
    case Work::Logical_Column::Last_Accessed: return "Last Accessed";
    case Work::Logical_Column::Change: return "Change";
    }
    return "?";
}

// Probed during the clicks only: the baseline's own sorts leave the window free.
Bench::Probe_Statistics Measure_Sorts(Bench::Prober& prober) {
    Bench::Probe_Statistics probes;
    Rows rows = Passing_Rows();
    bool is_ascending = true;
    const int columns = Gui::Number_Of_Columns_Of(Work::Controls().File_List_View);
    for (int column = 0; column < columns; ++column) {
        // Each sort once before and once after the click on the same starting order, so
        // that neither side alone gets the records warm in the cache.
        Rows before = rows;
        const double direct_before = Direct_Sort(before, column, is_ascending);
        prober.Begin();
        const double click = Header_Click(column);
        // Let a probe sent near the end of the sort come back.
        Sleep(100);
        probes.Add(prober.End());
        const double direct_after = Direct_Sort(rows, column, is_ascending);
        const double direct = std::min(direct_before, direct_after);
        Bench::Note("sort column " + std::to_string(column) + ": stable_sort " +
                    Bench::Fixed(direct_before, 3) + " s before the click, " +
                    Bench::Fixed(direct_after, 3) + " s after");
        is_ascending = !is_ascending;
        Bench::Report(std::string("5 sort by ") + Title_Of(Work::Column_Of(column)) + " (" +
                          std::to_string(rows.size()) + " rows)",
                      Bench::Fixed(click, 3) + " s", Bench::Fixed(direct, 3) + " s (stable_sort)",
                      click / direct, "<= 3", click / direct <= 3);
    }
    return probes;
}

void Report_Probes(const std::string& figure, const Bench::Probe_Statistics& probes,
                   const Bench::Probe_Statistics& idle) {
    const double share = probes.Share_In_Time();
    Bench::Report(figure,
                  Bench::Fixed(100 * share, 1) + " % of " + std::to_string(probes.Sent) +
                      " (slowest " + Bench::Fixed(probes.Slowest_Milliseconds, 0) + " ms)",
                  Bench::Fixed(100 * idle.Share_In_Time(), 1) + " % idle",
                  idle.Share_In_Time() > 0 ? share / idle.Share_In_Time() : 0, ">= 99 %",
                  share >= 0.99);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_display <small root> <large root> <other owner's file>\n");
        return 2;
    }
    Start_Up();
    const std::wstring small_root = Bench::Windows_Path_Of(argv[1]);
    const std::wstring large_root = Bench::Windows_Path_Of(argv[2]);
    Bench::Show_Everything();
    Bench::Prober prober(Gui::Main_Window());

    prober.Begin();
    Sleep(1000);
    const Bench::Probe_Statistics idle = prober.End();

    Work::Pretend_Windows_Nt(true);
    prober.Begin();
    const double small_walk = Search_Through_The_Searcher(small_root);
    const Bench::Probe_Statistics walking = prober.End();
    Bench::Note("searcher: walk and display of " + std::to_string(Length_Of(Work::Known_Files())) +
                " records with owners in " + Bench::Fixed(small_walk, 2) + " s");
    Report_Probes("6 answers during walk", walking, idle);

    Work::Pretend_Windows_Nt(false);
    const double large_walk = Search_Through_The_Searcher(large_root);
    Bench::Note("searcher: walk and display of " + std::to_string(Length_Of(Work::Known_Files())) +
                " records in " + Bench::Fixed(large_walk, 2) + " s");

    Gui::Remove_All_From(Work::Controls().File_List_View);
    Give_Owners(large_root, Bench::Windows_Path_Of(argv[3]));
    prober.Begin();
    Measure_Display();
    Measure_Refresh();
    const Bench::Probe_Statistics displaying = prober.End();
    Report_Probes("6 answers during display+refresh", displaying, idle);
    Report_Probes("6 answers during sorts", Measure_Sorts(prober), idle);
    std::fflush(stdout);
    ExitProcess(0);
}
