// The map: its layout against the display it shows, its repaint against one copy of the
// picture, and whether the window keeps answering while a million records are laid out.
//   bench_map <1,000,000-entry root>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "gui.hpp"
#include "work-map.hpp"
#include "work-map_colours.hpp"
#include "work-platform.hpp"
#include "work-types.hpp"
#include "work.hpp"

namespace {

constexpr int Rounds = 3;
constexpr int Map_Tab = 1;

void Start_Up() {
    Work::Start_Platform();
    Bench::Open_Window();
}

void Search(const std::wstring& root) {
    Gui::Set(Work::Controls().Search_Root_Box, root);
    Work::Stop_Start_Request();
    while (Work::Searcher_Is_Busy()) Sleep(5);
}

void Show_Map_Page() {
    HWND tabs = GetDlgItem(Gui::Main_Window(), 51);
    SendMessageW(tabs, TCM_SETCURSEL, Map_Tab, 0);
    NMHDR change{tabs, 51, static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(Gui::Main_Window(), WM_NOTIFY, 51, reinterpret_cast<LPARAM>(&change));
}

void Wait_For_Map() {
    for (int waited = 0; !Work::Testing::Map_Is_Laid_Out() && waited < 120000; waited += 5) Sleep(5);
    // Drawn on the next paint.
    UpdateWindow(Gui::Window_Of(Work::Controls().Map_Picture));
}

std::vector<const Work::File_Information*> Shown_Records() {
    std::vector<const Work::File_Information*> shown;
    for (auto position = First(Work::Known_Files()); Has_Element(position); position = Next(position))
        if (Work::To_Be_Displayed(Element_At(position), Work::Selection_In_Force(), Work::Display_Root()))
            shown.push_back(&Element_At(position));
    return shown;
}

Bench::Samples Timed_Display() {
    return Bench::Rounds_Of(Rounds, [] {
        Gui::Remove_All_From(Work::Controls().File_List_View);
        Bench::Stopwatch watch;
        Work::Display();
        return watch.Seconds();
    });
}

void Measure_Layout(const RECT& client) {
    const std::vector<const Work::File_Information*> shown = Shown_Records();
    Bench::Samples grouping;
    std::size_t tiles = 0;
    const Bench::Samples layout = Bench::Rounds_Of(Rounds, [&] {
        Bench::Stopwatch watch;
        const Work::Map::Tree tree = Work::Map::Tree_Of(shown, Work::Display_Root());
        grouping.Add(watch.Seconds());
        tiles = Work::Map::Layout(tree, {0, 0, int(client.right), int(client.bottom)}).size();
        return watch.Seconds();
    });
    const Bench::Samples display = Timed_Display();
    Bench::Note("map: " + std::to_string(shown.size()) + " records in " + std::to_string(tiles) + " tiles of " +
                std::to_string(client.right) + "x" + std::to_string(client.bottom) + " pixels; grouping by folder " +
                grouping.Image(3) + " of it");
    const double ratio = layout.Median() / display.Median();
    Bench::Report("7 map layout (" + std::to_string(shown.size()) + " records)", layout.Image(3),
                  display.Image(3) + " (Work.Display)", ratio, "<= 3", ratio <= 3);
}

// The Types page's statistics and the map's colours of the same records, each against the
// display of them.
void Measure_Kinds_Of_Data() {
    const Bench::Samples display = Timed_Display();
    const Bench::Samples types = Bench::Rounds_Of(Rounds, [] {
        Bench::Stopwatch watch;
        Work::Types::Types_Below(Work::Known_Files(), Work::Selection_In_Force(), Work::Display_Root());
        return watch.Seconds();
    });
    const int records = Length_Of(Work::Known_Files());
    const double ratio = types.Median() / display.Median();
    Bench::Report("14 Types page (" + std::to_string(records) + " records)", types.Image(3),
                  display.Image(3) + " (Work.Display)", ratio, "<= 2", ratio <= 2);
    const std::vector<const Work::File_Information*> shown = Shown_Records();
    const Work::Map::Tree tree = Work::Map::Tree_Of(shown, Work::Display_Root());
    using Work::Map_Colours::Colouring;
    for (const Colouring mode : {Colouring::Type, Colouring::Age, Colouring::Owner}) {
        const Bench::Samples colours = Bench::Rounds_Of(Rounds, [&] {
            Bench::Stopwatch watch;
            Work::Map_Colours::Palette_Of(tree, mode, Work::Known_Files(), Work::Selection_In_Force(), Work::Display_Root());
            return watch.Seconds();
        });
        const double mode_ratio = colours.Median() / display.Median();
        Bench::Report(std::string("15 map coloured by ") + Work::Map_Colours::Colouring_Names[int(mode)],
                      colours.Image(3), display.Image(3) + " (Work.Display)", mode_ratio, "<= 2", mode_ratio <= 2);
    }
}

// The picture's own paint, timed where it runs: the display thread's WM_PAINT.
WNDPROC Picture_Procedure = nullptr;
Bench::Samples Paints;

LRESULT CALLBACK Timed_Picture(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    if (message != WM_PAINT) return CallWindowProcW(Picture_Procedure, window, message, w_param, l_param);
    Bench::Stopwatch watch;
    const LRESULT result = CallWindowProcW(Picture_Procedure, window, message, w_param, l_param);
    GdiFlush();
    Paints.Add(watch.Seconds());
    return result;
}

// A repaint of the unchanged map against a copy of a bitmap of the same size to the
// picture, each the median of many.
void Measure_Repaint(HWND picture, const RECT& client) {
    constexpr int Repaints = 50;
    Picture_Procedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(picture, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Timed_Picture)));
    Bench::Samples copies;
    HDC screen = GetDC(picture);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    for (int round = 0; round < Repaints; ++round) {
        RedrawWindow(picture, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        Bench::Stopwatch copied;
        BitBlt(screen, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        GdiFlush();
        copies.Add(copied.Seconds());
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(picture, screen);
    SetWindowLongPtrW(picture, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Picture_Procedure));
    const double repaint = Paints.Median(), copy = copies.Median();
    Bench::Report("7 map repaint, unchanged",
                  Bench::Fixed(repaint * 1000, 2) + " ms (" + Bench::Fixed(Paints.Fastest() * 1000, 2) + "-" +
                      Bench::Fixed(Paints.Slowest() * 1000, 2) + ")",
                  Bench::Fixed(copy * 1000, 2) + " ms (one BitBlt)", repaint / copy, "<= 2, < 16.7 ms",
                  repaint / copy <= 2 && repaint < 1.0 / 60);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_map <large root>\n");
        return 2;
    }
    Start_Up();
    Bench::Show_Everything();
    Bench::Prober prober(Gui::Main_Window());
    prober.Begin();
    Sleep(1000);
    const Bench::Probe_Statistics idle = prober.End();

    Work::Pretend_Windows_Nt(false);
    Search(Bench::Windows_Path_Of(argv[1]));
    // Shown, then resized time and again: every change of size is a new layout.
    prober.Begin();
    Show_Map_Page();
    Wait_For_Map();
    RECT window{};
    GetWindowRect(Gui::Main_Window(), &window);
    for (int round = 0; round < 10; ++round) {
        const int change = round % 2 ? 0 : 40;
        SetWindowPos(Gui::Main_Window(), nullptr, 0, 0, window.right - window.left + change,
                     window.bottom - window.top + change, SWP_NOMOVE | SWP_NOZORDER);
        Sleep(20);
        Wait_For_Map();
    }
    Sleep(100);
    const Bench::Probe_Statistics laying_out = prober.End();
    const double share = laying_out.Share_In_Time();
    Bench::Report("6 answers during map layout",
                  Bench::Fixed(100 * share, 1) + " % of " + std::to_string(laying_out.Sent) + " (slowest " +
                      Bench::Fixed(laying_out.Slowest_Milliseconds, 0) + " ms)",
                  Bench::Fixed(100 * idle.Share_In_Time(), 1) + " % idle",
                  idle.Share_In_Time() > 0 ? share / idle.Share_In_Time() : 0, ">= 99 %", share >= 0.99);

    HWND picture = Gui::Window_Of(Work::Controls().Map_Picture);
    RECT client{};
    GetClientRect(picture, &client);
    Measure_Repaint(picture, client);
    Measure_Layout(client);
    Measure_Kinds_Of_Data();
    std::fflush(stdout);
    ExitProcess(0);
}
