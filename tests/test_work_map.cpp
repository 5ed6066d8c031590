// What the user sees of a walk and of its map, read off the real window: the status line as
// the walk goes, the map's pixels as the screen shows them, and the mouse on the map.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "registry.hpp"
#include "temporary_tree.hpp"
#include "wide_text.hpp"
#include "work-map_colours.hpp"
#include "work-scan_file.hpp"
#include "work_window.hpp"

using namespace Work_Window;

namespace {

class Map : public Work_Window_Test {};

// Every text the status line is given, as it is given, and when.
struct Status_Text {
    std::wstring Text;
    ULONGLONG Milliseconds = 0;
    bool operator==(const wchar_t* the_text) const { return Text == the_text; }
};

class Status_Line_Recorder {
public:
    Status_Line_Recorder() : window_(GetDlgItem(Gui::Main_Window(), 50)) {
        the_recorder = this;
        previous_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure)));
    }
    ~Status_Line_Recorder() {
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        the_recorder = nullptr;
    }
    std::vector<Status_Text> Texts() {
        std::lock_guard lock(guard_);
        return texts_;
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
        Status_Line_Recorder& recorder = *the_recorder;
        if (message == SB_SETTEXTW && LOBYTE(LOWORD(w_param)) == 0) {  // the first part
            std::lock_guard lock(recorder.guard_);
            recorder.texts_.push_back({reinterpret_cast<const wchar_t*>(l_param), GetTickCount64()});
        }
        return CallWindowProcW(recorder.previous_, window, message, w_param, l_param);
    }

    static inline Status_Line_Recorder* the_recorder = nullptr;
    HWND window_;
    WNDPROC previous_ = nullptr;
    std::mutex guard_;
    std::vector<Status_Text> texts_;
};

// Runs the check on the display thread as the file list receives the message, while
// whoever sent it waits: what the rows and the map rely on at that moment stays still.
class File_List_Watcher {
public:
    File_List_Watcher(UINT the_message, std::function<void(WPARAM)> the_check)
        : window_(Gui::Window_Of(Work::Controls().File_List_View)),
          message_(the_message),
          check_(std::move(the_check)) {
        the_watcher = this;
        previous_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure)));
    }
    ~File_List_Watcher() {
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        the_watcher = nullptr;
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
        File_List_Watcher& watcher = *the_watcher;
        if (message == watcher.message_) watcher.check_(w_param);
        return CallWindowProcW(watcher.previous_, window, message, w_param, l_param);
    }

    static inline File_List_Watcher* the_watcher = nullptr;
    HWND window_;
    UINT message_;
    std::function<void(WPARAM)> check_;
    WNDPROC previous_ = nullptr;
};

void Show_Everything_Below() {
    for (const Gui::Check_Box* box :
         {&Work::Controls().Visit_Folders, &Work::Controls().Display_Folders, &Work::Controls().Display_Files})
        Gui::Set(*box);
}

// root\big.bin holds half the bytes; root\sub holds the other half in three files.
void Make_Half_And_Half(const Temporary_Tree& tree) {
    tree.Make_File(L"big.bin", 60000);
    for (const wchar_t* name : {L"sub\\one.bin", L"sub\\two.bin", L"sub\\three.bin"}) tree.Make_File(name, 20000);
}

// The map as the screen shows it, one 0x00RRGGBB value a pixel, row by row.
struct Screen_Pixels {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;
};

Screen_Pixels Read_Screen(HWND the_window) {
    RECT place{};
    GetWindowRect(the_window, &place);
    Screen_Pixels screen{place.right - place.left, place.bottom - place.top, {}};
    HDC desktop = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(desktop);
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), screen.Width, -screen.Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(desktop, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, screen.Width, screen.Height, desktop, place.left, place.top, SRCCOPY);
    GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    screen.Pixels.assign(first, first + std::size_t(screen.Width) * screen.Height);
    for (std::uint32_t& pixel : screen.Pixels) pixel &= 0xFFFFFF;
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, desktop);
    return screen;
}

// The strip below the map that names its colours: a line of the dialog font.
int Legend_Strip_Height(HWND the_picture) {
    HDC context = GetDC(the_picture);
    const HGDIOBJ previous = SelectObject(context, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics{};
    GetTextMetricsW(context, &metrics);
    SelectObject(context, previous);
    ReleaseDC(the_picture, context);
    return metrics.tmHeight + 6;
}

// A tile's fill: its colour mixed with white, as the map paints it.
std::uint32_t Fill_Of(COLORREF the_colour) {
    const auto mix = [](unsigned channel) { return (channel * 80 + 255 * (256 - 80)) / 256; };
    return (mix(GetRValue(the_colour)) << 16) | (mix(GetGValue(the_colour)) << 8) | mix(GetBValue(the_colour));
}

long long Pixels_Of(const Screen_Pixels& the_screen, std::uint32_t the_pixel) {
    return std::count(the_screen.Pixels.begin(), the_screen.Pixels.end(), the_pixel);
}

// The largest area of one colour, as the bounding box of its 4-connected pixels: the
// names written inside a rectangle do not split it.
long long Largest_Area_Of_One_Colour(const Screen_Pixels& screen) {
    std::vector<bool> seen(screen.Pixels.size());
    std::vector<int> pending;
    long long largest = 0;
    for (int start = 0; start < int(screen.Pixels.size()); ++start) {
        if (seen[start]) continue;
        const std::uint32_t colour = screen.Pixels[start];
        int left = screen.Width, right = -1, top = screen.Height, bottom = -1;
        pending.assign(1, start);
        seen[start] = true;
        while (!pending.empty()) {
            const int at = pending.back();
            pending.pop_back();
            const int x = at % screen.Width, y = at / screen.Width;
            left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
            for (const int next : {x > 0 ? at - 1 : -1, x + 1 < screen.Width ? at + 1 : -1, at - screen.Width,
                                   at + screen.Width}) {
                if (next < 0 || next >= int(screen.Pixels.size()) || seen[next] || screen.Pixels[next] != colour)
                    continue;
                seen[next] = true;
                pending.push_back(next);
            }
        }
        largest = std::max(largest, (long long)(right - left + 1) * (bottom - top + 1));
    }
    return largest;
}

// A point of the map over which the status line names the object, as the mouse finds it.
std::optional<POINT> Point_Naming(const std::string& the_name) {
    HWND picture = Gui::Window_Of(Work::Controls().Map_Picture);
    RECT client{};
    GetClientRect(picture, &client);
    for (int y = 8; y < client.bottom; y += 16)
        for (int x = 8; x < client.right; x += 16) {
            SendMessageW(picture, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
            if (Status_Line().find(the_name) != std::string::npos) return POINT{x, y};
        }
    return std::nullopt;
}

void Press_On_Map(POINT the_point) {
    SendMessageW(Gui::Window_Of(Work::Controls().Map_Picture), WM_LBUTTONDOWN, MK_LBUTTON,
                 MAKELPARAM(the_point.x, the_point.y));
    Wait_For_Actions();
}

// Read while the Display page shows: the hidden view gives no texts.
std::vector<std::wstring> Sorted_Names() {
    std::vector<std::wstring> names;
    for (int row = 0; row < Row_Count(Work::Controls().File_List_View); ++row)
        names.push_back(Cell(Work::Controls().File_List_View, row, 0));
    std::sort(names.begin(), names.end());
    return names;
}

bool Is_Enabled(const Gui::Child& the_control) { return IsWindowEnabled(Gui::Window_Of(the_control)); }

}  // namespace

// A walk slow enough to be watched: 30,000 files, owners looked up one at a time. The status line tells
// the count growing and where the walk is, then the totals.
TEST_F(Map, TheWalksProgressIsShownInOrderAndEndsWithTheTotals) {
    Temporary_Tree tree;
    const std::string script =
        "import os, sys\n"
        "for folder in range(100):\n"
        "    path = os.path.join(sys.argv[1], 'f%d' % folder)\n"
        "    os.mkdir(path)\n"
        "    for file in range(300):\n"
        "        with open(os.path.join(path, str(file)), 'wb') as made: made.write(b'0123456789')\n";
    if (!Run_Host_Python(script, Host_Path_Of(tree.Root()))) GTEST_SKIP() << "the tree is made by the host";
    Open_Window();
    Show_Everything_Below();
    Gui::Clear(Work::Controls().Display_Folders);
    Work::Set_Lookup_Threads(1);
    Status_Line_Recorder recorder;
    // One look-up thread makes a walk of several seconds, longer still on a busy machine.
    Search(tree.Root(), 180000);
    Work::Set_Lookup_Threads(16);

    const std::wregex progress(L"Searching\\.\\.\\. ([0-9,]+) objects?, ([0-9]+)(KB)?: (.*)");
    const std::vector<Status_Text> texts = recorder.Texts();
    auto line = std::find(texts.begin(), texts.end(), L"Searching...");
    ASSERT_NE(line, texts.end());
    long long last_count = -1;
    int progress_lines = 0;
    // The times are when the lines were seen: a busy machine may delay one and then show the
    // next at once, so the rates are asked of the whole run, not of each pair.
    int late_lines = 0;
    ULONGLONG last_time = line->Milliseconds;
    ULONGLONG first_time = 0;
    for (++line; line != texts.end(); ++line) {
        std::wsmatch match;
        if (*line == L"Searching...") continue;
        if (!std::regex_match(line->Text, match, progress)) break;
        std::wstring digits = match[1];
        std::erase(digits, L',');
        const long long count = std::stoll(digits);
        EXPECT_GE(count, last_count) << "the count only grows";
        EXPECT_LE(count, 30100);
        // Ten bytes a file; the folders among the objects add nothing.
        const long long bytes = std::stoll(match[2].str()) * (match[3].matched ? 1000 : 1);
        EXPECT_LE(bytes, 10 * count + 500);
        EXPECT_GE(bytes, 10 * (count - 100) - 500);
        EXPECT_EQ(match[4].str().rfind(tree.Root(), 0), 0u) << Wide_Text::Narrowed(match[4].str());
        if (line->Milliseconds - last_time > 1000u) ++late_lines;
        if (progress_lines == 0) first_time = line->Milliseconds;
        last_count = count;
        last_time = line->Milliseconds;
        ++progress_lines;
    }
    EXPECT_GE(progress_lines, 2);
    EXPECT_LE(late_lines * 4, progress_lines) << "a line at least every second, as a rule";
    EXPECT_LE(static_cast<ULONGLONG>(progress_lines - 1) * 100, last_time - first_time + 100)
        << "at most ten lines a second";
    ASSERT_NE(line, texts.end());
    const std::vector<Status_Text> rest(line, texts.end());
    for (const Status_Text& text : rest)
        EXPECT_EQ(text.Text.find(L"objects,"), std::wstring::npos) << "no progress after the walk";
    EXPECT_EQ(Wide_Text::Narrowed(rest.back().Text), "30000 files and 0 folders. Total size= 300KB");
}

TEST_F(Map, AFileOfHalfTheBytesTakesHalfTheMapOnTheScreen) {
    Temporary_Tree tree;
    Make_Half_And_Half(tree);
    Open_Window();
    Show_Everything_Below();
    Search(tree.Root());
    Show(Map_Tab);
    HWND picture = Gui::Window_Of(Work::Controls().Map_Picture);
    RECT client{};
    GetClientRect(picture, &client);
    const double map_area = double(client.right) * (client.bottom - Legend_Strip_Height(picture));
    ASSERT_GT(map_area, 10000);
    double share = 0;
    // Laid out on its own thread, then drawn: the screen shows it soon.
    Gui_Driver::Wait_Until([&] {
        share = Largest_Area_Of_One_Colour(Read_Screen(picture)) / map_area;
        return share > 0.4 && share < 0.6;
    });
    EXPECT_NEAR(share, 0.5, 0.03) << "big.bin's rectangle, read off the screen";
}

TEST_F(Map, AClickOnAFolderOpensItAndOnAFileSelectsItsRow) {
    Temporary_Tree tree;
    Make_Half_And_Half(tree);
    Open_Window();
    Show_Everything_Below();
    Search(tree.Root());
    Show(Map_Tab);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return Point_Naming("two.bin").has_value(); }));
    // The mouse leaves the map: the line tells the results again.
    SendMessageW(Gui::Window_Of(Work::Controls().Map_Picture), WM_MOUSELEAVE, 0, 0);
    EXPECT_TRUE(Gui_Driver::Wait_Until([] { return Status_Line().find("Total size=") != std::string::npos; }))
        << Status_Line();

    Press_On_Map(*Point_Naming("two.bin"));  // inside sub: sub opens
    EXPECT_EQ(Gui::Wide_Contents_Of(Work::Controls().Search_Root_Box), tree.Root() + L"\\sub");
    Show(Display_Tab);
    EXPECT_EQ(Sorted_Names(), (std::vector<std::wstring>{L"one.bin", L"three.bin", L"two.bin"}));
    Show(Map_Tab);
    EXPECT_TRUE(Is_Enabled(Work::Controls().Back_Button));
    EXPECT_TRUE(Is_Enabled(Work::Controls().Map_Back_Button));
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return Point_Naming("three.bin").has_value(); }))
        << "the map shows the opened folder";
    EXPECT_FALSE(Point_Naming("big.bin"));

    Press(Work::Controls().Map_Back_Button);
    EXPECT_EQ(Gui::Wide_Contents_Of(Work::Controls().Search_Root_Box), tree.Root());
    EXPECT_FALSE(Is_Enabled(Work::Controls().Map_Back_Button));
    EXPECT_FALSE(Is_Enabled(Work::Controls().Back_Button));

    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return Point_Naming("big.bin").has_value(); }));
    Press_On_Map(*Point_Naming("big.bin"));
    EXPECT_EQ(Gui::Wide_Contents_Of(Work::Controls().Search_Root_Box), tree.Root()) << "a file opens nothing";
    Show(Display_Tab);
    HWND view = Gui::Window_Of(Work::Controls().File_List_View);
    const int selected = static_cast<int>(SendMessageW(view, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    ASSERT_GE(selected, 0);
    EXPECT_EQ(Cell(Work::Controls().File_List_View, selected, 0), L"big.bin");
    EXPECT_EQ(SendMessageW(view, LVM_GETSELECTEDCOUNT, 0, 0), 1);
}

// A path of 16,000 characters, as NTFS allows: eight thousand folders deep. The map lays it
// out and names the file, and a search after it goes on.
TEST_F(Map, AFileEightThousandFoldersDeepIsLaidOutAndNamed) {
    Temporary_Tree tree;
    std::wstring folder;
    for (int level = 0; level < 8000; ++level) folder += L"\\a";
    Work::File_List records;
    Append(Work::File_Information{.File_Name = L"deep.bin",
                                  .Folder_Name = folder,
                                  .Owner = nullptr,
                                  .Stream_Name = {},
                                  .Object_Size = Windows::Files::File_Size::From(5000)},
           records);
    const std::wstring scan = tree.Path_Of(L"deep.qscan");
    Work::Scan_File::Save(scan, {tree.Root(), false, Windows::Files::The_Time_Now(), true, {}}, records);
    Open_Window();
    Show_Everything_Below();
    Work::Open_Scan(scan);
    ASSERT_EQ(Last_Message(), "");
    Show(Map_Tab);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return Work::Testing::Map_Is_Laid_Out(); }));
    ASSERT_TRUE(Point_Naming("deep.bin").has_value());
    Gui::Redraw(Work::Controls().Map_Picture);
    UpdateWindow(Gui::Window_Of(Work::Controls().Map_Picture));
    EXPECT_EQ(Status_Line().rfind(Wide_Text::Narrowed(tree.Root() + folder + L"\\deep.bin: "), 0), 0u);

    tree.Make_File(L"plain.txt", 200000);
    Search(tree.Root());
    Show(Map_Tab);
    EXPECT_TRUE(Gui_Driver::Wait_Until([] { return Point_Naming("plain.txt").has_value(); }));
}

// The display thread builds the rows' folders and the map's paths from the root: the old
// rows are gone before a search changes it.
TEST_F(Map, ASearchEmptiesTheRowsBeforeItChangesTheirRoot) {
    Temporary_Tree first;
    Temporary_Tree second;
    Make_Half_And_Half(first);
    second.Make_File(L"other.bin", 1000);
    Open_Window();
    Show_Everything_Below();
    Search(first.Root());
    std::vector<std::wstring> roots_when_emptied;
    {
        const File_List_Watcher watcher(LVM_SETITEMCOUNT, [&](WPARAM the_count) {
            if (the_count == 0) roots_when_emptied.push_back(Work::Search_Root());
        });
        Search(second.Root());
    }
    ASSERT_FALSE(roots_when_emptied.empty());
    EXPECT_EQ(roots_when_emptied.front(), first.Root());
    EXPECT_EQ(Work::Search_Root(), second.Root());
}

// The map's colours come from the comparison: the map is emptied before another replaces
// it, as the rows are.
TEST_F(Map, AComparisonIsReplacedOnlyOnceTheMapIsEmptied) {
    Temporary_Tree tree;
    Make_Half_And_Half(tree);
    Open_Window();
    Show_Everything_Below();
    Search(tree.Root());
    Work::Save_Scan(tree.Path_Of(L"older.qscan"));
    Show(Map_Tab);
    ASSERT_TRUE(Gui_Driver::Wait_Until([] { return Work::Testing::Map_Is_Laid_Out(); }));
    // The change column comes once the comparison is in place.
    int columns_added = 0;
    bool map_was_laid_out = false;
    {
        const File_List_Watcher watcher(LVM_INSERTCOLUMNW, [&](WPARAM) {
            ++columns_added;
            map_was_laid_out = map_was_laid_out || Work::Testing::Map_Is_Laid_Out();
        });
        Work::Compare_With(tree.Path_Of(L"older.qscan"));
    }
    EXPECT_EQ(Last_Message(), "");
    ASSERT_GT(columns_added, 0);
    EXPECT_FALSE(map_was_laid_out);
    EXPECT_TRUE(Gui_Driver::Wait_Until([] { return Point_Naming("big.bin").has_value(); }));
}

// Coloured by type, the type that holds three fifths of the bytes takes three fifths of
// the coloured area; coloured by age, the file nobody has read for ten years takes its own
// share in the oldest colour. The choice comes back at the next start.
TEST_F(Map, ColouredByTypeOrAgeEachColourTakesItsShareOfTheMap) {
    Temporary_Tree tree;
    tree.Make_File(L"a\\one.iso", 300000);
    tree.Make_File(L"b\\two.iso", 300000);
    for (const wchar_t* name : {L"c1.txt", L"a\\c2.txt", L"b\\c3.txt", L"d\\c4.txt"}) tree.Make_File(name, 100000);
    ASSERT_TRUE(Run_Host_Command(L"/usr/bin/touch -a -d '10 years ago' " + Host_Path_Of(tree.Path_Of(L"b\\two.iso"))));
    Open_Window();
    Show_Everything_Below();
    Search(tree.Root());
    Show(Map_Tab);
    HWND picture = Gui::Window_Of(Work::Controls().Map_Picture);
    const auto share_of = [&](const char* the_colouring, COLORREF the_part, std::initializer_list<COLORREF> the_whole) {
        Gui::Select(Work::Controls().Map_Colouring_Box, 1 + int(std::find_if(std::begin(Work::Map_Colours::Colouring_Names), std::end(Work::Map_Colours::Colouring_Names), [&](const char* name) {
                                                                   return std::string(name) == the_colouring;
                                                               }) - std::begin(Work::Map_Colours::Colouring_Names)));
        Work::Map_Colouring_Request();
        double share = 0;
        Gui_Driver::Wait_Until([&] {
            const Screen_Pixels screen = Read_Screen(picture);
            long long whole = 0;
            for (COLORREF colour : the_whole) whole += Pixels_Of(screen, Fill_Of(colour));
            share = whole ? double(Pixels_Of(screen, Fill_Of(the_part))) / whole : 0;
            return Work::Testing::Map_Is_Laid_Out() && share > 0;
        });
        return share;
    };
    const COLORREF iso = RGB(31, 119, 180), txt = RGB(230, 110, 0);  // the two largest types
    EXPECT_NEAR(share_of("type", iso, {iso, txt}), 0.6, 0.05);
    const COLORREF old = RGB(68, 1, 84), recent = RGB(240, 210, 30);  // older than three years, within a week
    EXPECT_NEAR(share_of("age", old, {old, recent}), 0.3, 0.05);

    Gui::Close();
    Gui::Wait_For_End();
    Registry::Define("\\Selection");
    EXPECT_EQ(Registry::Value_Of("Map_Colouring", "kind"), "age");
}

