// The "Map" page: the records the Display page shows, as rectangles in proportion to their
// sizes. The layout runs on a thread of its own, once per change of records or of size;
// the display thread draws its tiles into the picture's bitmap and answers the mouse.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "log.hpp"
#include "registry.hpp"
#include "work-internal.hpp"
#include "work-map.hpp"
#include "work-map_colours.hpp"

namespace Work {

namespace Files = Windows::Files;
using Map_Colours::Colouring;

namespace {

// The shown records and their layout. Records are only read here: whoever frees them
// forgets the map first, and that waits for a layout in progress.
class Map_State {
public:
    Map_State() = default;
    Map_State(const Map_State&) = delete;
    Map_State& operator=(const Map_State&) = delete;
    ~Map_State() { End(); }

    void Start() {
        std::lock_guard lock(mutex_);
        if (!worker_.joinable()) {
            is_ending_ = false;
            worker_ = std::thread([this] { Serve(); });
        }
    }

    void End() {
        {
            std::lock_guard lock(mutex_);
            is_ending_ = true;
        }
        changed_.notify_all();
        if (worker_.joinable()) worker_.join();
    }

    void Show(std::vector<const File_Information*> the_records, const std::wstring& the_folder, bool on_disk) {
        {
            std::lock_guard lock(mutex_);
            records_ = std::move(the_records);
            folder_ = the_folder;
            on_disk_ = on_disk;
            selection_ = Selection_In_Force();
            has_records_ = true;
            ++generation_;
        }
        Gui::Redraw(Controls().Map_Picture);
    }

    void Forget() {
        {
            std::unique_lock lock(mutex_);
            records_.clear();
            has_records_ = false;
            ++generation_;
            changed_.wait(lock, [this] { return !is_laying_out_; });
            laid_out_ = {};
            hovered_ = nullptr;
        }
        Gui::Redraw(Controls().Map_Picture);
    }

    // Display thread: the tiles of the current records at this size, or a request for them.
    template <typename Drawing>
    void Draw(const Map::Box& the_area, Drawing&& the_drawing) {
        std::lock_guard lock(mutex_);
        if (!has_records_) return the_drawing(nullptr, L"The map shows the results of a search");
        if (laid_out_.Generation != generation_ || laid_out_.Area != the_area) {
            wanted_area_ = the_area;
            is_wanted_ = true;
            changed_.notify_all();
            return the_drawing(nullptr, L"Laying out...");
        }
        if (laid_out_.Has_Failed) return the_drawing(nullptr, L"The map could not be laid out");
        if (laid_out_.Tiles.empty()) return the_drawing(nullptr, L"The shown objects take no space");
        the_drawing(&laid_out_, L"");
    }

    // The tile under the point, with the map it belongs to, while the lock is held.
    template <typename Use>
    void At(int x, int y, Use&& the_use) {
        std::lock_guard lock(mutex_);
        if (laid_out_.Generation != generation_) return;
        if (const Map::Tile* tile = Map::Tile_At(laid_out_.Tiles, x, y)) the_use(laid_out_, *tile);
    }

    bool Is_Laid_Out() {
        std::lock_guard lock(mutex_);
        return has_records_ && laid_out_.Generation == generation_;
    }

    // Display thread: true when the mouse moved onto another tile.
    bool Hover(int x, int y) {
        std::lock_guard lock(mutex_);
        const Map::Tile* tile = Map::Tile_At(laid_out_.Tiles, x, y);
        if (tile == hovered_) return false;
        hovered_ = tile;
        return true;
    }

    void Colour_By(Colouring the_mode) {
        {
            std::lock_guard lock(mutex_);
            if (colouring_ == the_mode) return;
            colouring_ = the_mode;
            ++generation_;
        }
        Gui::Redraw(Controls().Map_Picture);
    }

    Colouring Colouring_In_Force() {
        std::lock_guard lock(mutex_);
        return colouring_;
    }

    struct Laid_Out {
        std::uint64_t Generation = 0;
        Map::Box Area;
        Map::Tree Tree;
        std::vector<Map::Tile> Tiles;
        Map_Colours::Palette Colours;
        bool Has_Failed = false;
    };

private:
    void Serve() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return is_ending_ || is_wanted_; });
            if (is_ending_) return;
            is_wanted_ = false;
            Laid_Out next{.Generation = generation_, .Area = wanted_area_, .Tree = {}, .Tiles = {}, .Colours = {}};
            is_laying_out_ = true;
            const std::optional<std::string> failure = Lay_Out(lock, next);
            is_laying_out_ = false;
            changed_.notify_all();
            if (next.Generation != generation_) continue;
            laid_out_ = std::move(next);
            hovered_ = nullptr;
            lock.unlock();
            if (failure) Report_Failure(*failure);
            Gui::Redraw(Controls().Map_Picture);
            lock.lock();
        }
    }

    // Laid out outside the lock, which is held again on return. A layout that fails leaves
    // the map saying so, rather than waiting for ever, and the thread goes on serving.
    std::optional<std::string> Lay_Out(std::unique_lock<std::mutex>& lock, Laid_Out& next) {
        try {
            const std::vector<const File_Information*> records = records_;
            const std::wstring folder = folder_;
            const bool on_disk = on_disk_;
            const Selection selection = selection_;
            const Colouring colouring = colouring_;
            lock.unlock();
            next.Tree = Map::Tree_Of(records, folder, on_disk);
            next.Tiles = Map::Layout(next.Tree, next.Area);
            next.Colours = Map_Colours::Palette_Of(next.Tree, colouring, Known_Files(), selection, folder);
            lock.lock();
            return std::nullopt;
        } catch (const std::exception& error) {
            if (!lock.owns_lock()) lock.lock();
            next.Tree = {};
            next.Tiles = {};
            next.Has_Failed = true;
            return Information_Of(error);
        }
    }

    static void Report_Failure(const std::string& the_failure) {
        Log::Write("Map failed: " + the_failure);
        Gui::Message_Box("Exception" + the_failure, true);
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<const File_Information*> records_;
    std::wstring folder_;
    bool on_disk_ = false;
    Selection selection_;
    Colouring colouring_ = Colouring::Kind;
    bool has_records_ = false;
    std::uint64_t generation_ = 0;
    bool is_wanted_ = false;
    Map::Box wanted_area_;
    bool is_laying_out_ = false;
    bool is_ending_ = false;
    Laid_Out laid_out_;
    const Map::Tile* hovered_ = nullptr;
    std::thread worker_;
};

Map_State The_Map;

// ---- Drawing ----

using Pixel = std::uint32_t;  // 0x00RRGGBB, as a 32-bit bitmap holds it

Pixel Pixel_Of(COLORREF the_color) {
    return (Pixel{GetRValue(the_color)} << 16) | (Pixel{GetGValue(the_color)} << 8) | GetBValue(the_color);
}

// The colour mixed with white: a share of 0 is white, 256 the colour itself.
Pixel Tint(COLORREF the_color, unsigned the_share) {
    auto mix = [&](unsigned channel) { return (channel * the_share + 255 * (256 - the_share)) / 256; };
    return Pixel_Of(RGB(mix(GetRValue(the_color)), mix(GetGValue(the_color)), mix(GetBValue(the_color))));
}

COLORREF Color_Of(const Map_State::Laid_Out& the_map, const Map::Tile& the_tile) {
    if (the_tile.Is_Merged) return Gui::Gray;
    if (!the_map.Colours.Of_Node.empty()) return the_map.Colours.Of_Node[the_tile.Node];
    const Map::Node& node = the_map.Tree.Nodes[the_tile.Node];
    if (node.Record) return File_Color_Handler(const_cast<File_Information*>(node.Record));
    return node.Is_Folder() ? Gui::Red : Gui::Black;
}

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), pixels_(std::size_t(width) * height) {}

    void Fill(const Map::Box& the_box, Pixel the_pixel) {
        for (int y = the_box.Top; y < the_box.Bottom; ++y)
            std::fill_n(pixels_.begin() + std::ptrdiff_t(y) * width_ + the_box.Left, the_box.Right - the_box.Left,
                        the_pixel);
    }

    // Light above and left, dark below and right: neighbours of one colour stay apart.
    void Bevel(const Map::Box& the_box, Pixel the_light, Pixel the_dark) {
        Fill({the_box.Left, the_box.Top, the_box.Right, the_box.Top + 1}, the_light);
        Fill({the_box.Left, the_box.Top, the_box.Left + 1, the_box.Bottom}, the_light);
        Fill({the_box.Left, the_box.Bottom - 1, the_box.Right, the_box.Bottom}, the_dark);
        Fill({the_box.Right - 1, the_box.Top, the_box.Right, the_box.Bottom}, the_dark);
    }

    void Frame(const Map::Box& the_box, Pixel the_pixel) { Bevel(the_box, the_pixel, the_pixel); }

    void Copy_To(HDC the_context) const {
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = width_;
        format.bmiHeader.biHeight = -height_;  // top row first
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(the_context, 0, 0, width_, height_, 0, 0, 0, height_, pixels_.data(), &format,
                          DIB_RGB_COLORS);
    }

private:
    int width_;
    int height_;
    std::vector<Pixel> pixels_;
};

constexpr int Smallest_Named_Width = 24;
constexpr int Smallest_Outlined = 8;

class Selected_Font {
public:
    explicit Selected_Font(HDC the_context)
        : context_(the_context), previous_(SelectObject(the_context, GetStockObject(DEFAULT_GUI_FONT))) {}
    Selected_Font(const Selected_Font&) = delete;
    Selected_Font& operator=(const Selected_Font&) = delete;
    ~Selected_Font() { SelectObject(context_, previous_); }

private:
    HDC context_;
    HGDIOBJ previous_;
};

// Tiles come in drawing order: a deeper one right after a tile lies inside it.
bool Has_Inner_Tiles(const std::vector<Map::Tile>& the_tiles, std::size_t the_index) {
    return the_index + 1 < the_tiles.size() && the_tiles[the_index + 1].Depth > the_tiles[the_index].Depth;
}

// Names go on tiles with nothing drawn inside them, where a line of text fits.
void Draw_Names(HDC the_context, const Map::Tree& the_tree, const std::vector<Map::Tile>& the_tiles) {
    const Selected_Font font(the_context);
    SetBkMode(the_context, TRANSPARENT);
    SetTextColor(the_context, RGB(0, 0, 0));
    TEXTMETRICW metrics{};
    GetTextMetricsW(the_context, &metrics);
    for (std::size_t index = 0; index < the_tiles.size(); ++index) {
        const Map::Tile& tile = the_tiles[index];
        if (tile.Is_Merged || tile.Node == 0 || Has_Inner_Tiles(the_tiles, index)) continue;
        if (tile.Area.Right - tile.Area.Left < Smallest_Named_Width ||
            tile.Area.Bottom - tile.Area.Top < metrics.tmHeight + 2)
            continue;
        const Map::Node& node = the_tree.Nodes[tile.Node];
        std::wstring name = node.Record ? node.Record->File_Name.String() + node.Record->Stream_Name.String()
                                        : node.Folder.String().substr(node.Folder.String().rfind(L'\\') + 1);
        RECT place{tile.Area.Left + 2, tile.Area.Top + 1, tile.Area.Right - 2, tile.Area.Bottom - 1};
        DrawTextW(the_context, name.c_str(), static_cast<int>(name.size()), &place,
                  DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_LEFT | DT_TOP);
    }
}

// The tile right after is inside this one and takes all of it: this one would be painted
// over. A folder thousands deep holding one object would cost a fill of it per level.
bool Is_Covered(const std::vector<Map::Tile>& the_tiles, std::size_t the_index) {
    return Has_Inner_Tiles(the_tiles, the_index) && the_tiles[the_index + 1].Area == the_tiles[the_index].Area;
}

void Draw_Tiles(HDC the_context, int width, int height, const Map_State::Laid_Out& the_map) {
    Canvas canvas(width, height);
    canvas.Fill({0, 0, width, height}, Pixel_Of(GetSysColor(COLOR_WINDOW)));
    for (std::size_t index = 0; index < the_map.Tiles.size(); ++index) {
        const Map::Tile& tile = the_map.Tiles[index];
        if ((tile.Node == 0 && !tile.Is_Merged) || Is_Covered(the_map.Tiles, index)) continue;
        const COLORREF color = Color_Of(the_map, tile);
        canvas.Fill(tile.Area, Tint(color, 80));
        canvas.Bevel(tile.Area, Tint(color, 32), Tint(color, 200));
    }
    // Folders outlined over their contents, so that what belongs together shows; a folder
    // of a few pixels would be all outline.
    for (const Map::Tile& tile : the_map.Tiles)
        if (tile.Node != 0 && !tile.Is_Merged && the_map.Tree.Nodes[tile.Node].Child_Count > 0 &&
            tile.Area.Right - tile.Area.Left >= Smallest_Outlined && tile.Area.Bottom - tile.Area.Top >= Smallest_Outlined)
            canvas.Frame(tile.Area, Tint(Gui::Red, 256));
    canvas.Copy_To(the_context);
    Draw_Names(the_context, the_map.Tree, the_map.Tiles);
}

void Draw_Notice(HDC the_context, int width, int height, const std::wstring& the_notice) {
    RECT whole{0, 0, width, height};
    FillRect(the_context, &whole, GetSysColorBrush(COLOR_WINDOW));
    const Selected_Font font(the_context);
    SetBkMode(the_context, TRANSPARENT);
    SetTextColor(the_context, GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(the_context, the_notice.c_str(), static_cast<int>(the_notice.size()), &whole,
              DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
}

// ---- The mouse ----

std::wstring Path_Of(const Map::Node& the_node) {
    if (the_node.Record)
        return Search_Root() + the_node.Record->Folder_Name + L'\\' + the_node.Record->File_Name +
               the_node.Record->Stream_Name;
    return Search_Root() + the_node.Folder;
}

// A swatch and a name for each colour, in a strip below the map.
void Draw_Legend(HDC the_context, const RECT& the_strip, const std::vector<Map_Colours::Legend_Entry>& the_legend) {
    FillRect(the_context, &the_strip, GetSysColorBrush(COLOR_BTNFACE));
    const Selected_Font font(the_context);
    SetBkMode(the_context, TRANSPARENT);
    SetTextColor(the_context, GetSysColor(COLOR_BTNTEXT));
    const int side = the_strip.bottom - the_strip.top - 6;
    int x = the_strip.left + 4;
    for (const Map_Colours::Legend_Entry& entry : the_legend) {
        const RECT swatch{x, the_strip.top + 3, x + side, the_strip.top + 3 + side};
        const HBRUSH brush = CreateSolidBrush(entry.Colour);
        FillRect(the_context, &swatch, brush);
        DeleteObject(brush);
        RECT text{x + side + 4, the_strip.top, the_strip.right, the_strip.bottom};
        DrawTextW(the_context, entry.Text.c_str(), static_cast<int>(entry.Text.size()), &text,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_CALCRECT);
        text.top = the_strip.top;
        text.bottom = the_strip.bottom;
        DrawTextW(the_context, entry.Text.c_str(), static_cast<int>(entry.Text.size()), &text,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        x = text.right + 12;
    }
}

int Legend_Height(HDC the_context) {
    const Selected_Font font(the_context);
    TEXTMETRICW metrics{};
    GetTextMetricsW(the_context, &metrics);
    return metrics.tmHeight + 6;
}

std::wstring Description_Of(const Map_State::Laid_Out& the_map, const Map::Tile& the_tile) {
    const Map::Tree& the_tree = the_map.Tree;
    const Map::Node& node = the_tree.Nodes[the_tile.Node];
    if (the_tile.Is_Merged) return Path_Of(node) + L": objects too small to draw one by one";
    const File_Size size =
        node.Record ? Size_Of(*node.Record, Selection_In_Force().Options[Selection_Option::ON_DISK])
                    : File_Size::From(node.Size);
    std::wstring text = Path_Of(node) + L": " + Wide_Text::Widened(Inline_Image_Of(size));
    if (node.Record && node.Record->Is_Shared) text += L" (counted where first met)";
    if (node.Record && !Files::Is_Unknown(node.Record->Owner) && the_map.Colours.Mode != Colouring::Owner)
        text += L", owner " + Files::Image_Of(node.Record->Owner);
    if (const std::wstring meaning = Map_Colours::Meaning_Of(the_tree, the_tile.Node, the_map.Colours.Mode);
        !meaning.empty())
        text += L", " + meaning;
    return text;
}

// What a press acts on: the node's ancestor among the shown folder's own objects.
std::uint32_t Top_Level_Node_Of(const Map::Tree& the_tree, std::uint32_t the_node) {
    while (the_node != 0 && the_tree.Nodes[the_node].Parent != 0) the_node = the_tree.Nodes[the_node].Parent;
    return the_node;
}

}  // namespace

void Start_Map() { The_Map.Start(); }
void End_Map() { The_Map.End(); }
void Show_On_Map(std::vector<const File_Information*> the_records) { The_Map.Show(std::move(the_records), Display_Root(), Selection_In_Force().Options[Selection_Option::ON_DISK]);
}
void Forget_Map() { The_Map.Forget(); }
bool Testing::Map_Is_Laid_Out() { return The_Map.Is_Laid_Out(); }

void Map_Draw_Handler(HDC into, int width, int height) {
    const int strip = std::min(height, Legend_Height(into));
    const int map_height = height - strip;
    The_Map.Draw({0, 0, width, map_height}, [&](const Map_State::Laid_Out* the_map, const std::wstring& the_notice) {
        if (the_map) Draw_Tiles(into, width, map_height, *the_map);
        else Draw_Notice(into, width, map_height, the_notice);
        Draw_Legend(into, RECT{0, map_height, width, height},
                    the_map ? the_map->Colours.Legend : std::vector<Map_Colours::Legend_Entry>{});
    });
}

void Map_Colouring_Request() {
    const std::string chosen = Gui::Contents_Of(Controls().Map_Colouring_Box);
    for (std::size_t mode = 0; mode < std::size(Map_Colours::Colouring_Names); ++mode) {
        if (chosen != Map_Colours::Colouring_Names[mode]) continue;
        The_Map.Colour_By(static_cast<Colouring>(mode));
        auto registry = Registry::Exclusive_Use();
        Registry::Define(Setting::Selection_Topic);
        Registry::Set(Setting::Map_Colouring, chosen);
    }
}

void Take_Saved_Map_Colouring() {
    const Gui::Plain_Combo_Box& box = Controls().Map_Colouring_Box;
    for (const char* name : Map_Colours::Colouring_Names) Gui::Add_Choice(box, name);
    auto registry = Registry::Exclusive_Use();
    Registry::Define(Setting::Selection_Topic);
    const std::string saved = Registry::Value_Of(Setting::Map_Colouring, "kind");
    for (std::size_t mode = 0; mode < std::size(Map_Colours::Colouring_Names); ++mode) {
        if (saved != Map_Colours::Colouring_Names[mode]) continue;
        Gui::Select(box, static_cast<int>(mode) + 1);
        The_Map.Colour_By(static_cast<Colouring>(mode));
        return;
    }
    Gui::Select(box, 1);
    The_Map.Colour_By(Colouring::Kind);
}

void Map_Hover_Routine(int x, int y) {
    if (!The_Map.Hover(x, y)) return;
    bool is_on_a_tile = false;
    The_Map.At(x, y, [&](const Map_State::Laid_Out& the_map, const Map::Tile& the_tile) {
        is_on_a_tile = true;
        Gui::Set_Status_Line(Description_Of(the_map, the_tile));
    });
    // Off every tile the line tells the results again, unless a search tells its own, or the
    // mouse left because another page is shown, which tells its own.
    if (!is_on_a_tile && !Searcher_Is_Busy() && Gui::Is_Shown(Controls().Map_Page))
        Gui::Set_Status_Line(Shown_Results_Line());
}

// In a folder shown on the map: the folder opens, as a double click on its row does. On an
// object of the shown folder itself: its row is selected on the Display page.
void Map_Press_Routine(int x, int y) {
    if (Searcher_Is_Busy()) return;
    std::optional<std::wstring> folder_to_open;
    const File_Information* record_to_select = nullptr;
    The_Map.At(x, y, [&](const Map_State::Laid_Out& the_map, const Map::Tile& the_tile) {
        const Map::Tree& the_tree = the_map.Tree;
        const std::uint32_t node = Top_Level_Node_Of(the_tree, the_tile.Node);
        if (node == 0) return;
        if (the_tree.Nodes[node].Is_Folder()) folder_to_open = the_tree.Nodes[node].Folder.String();
        else record_to_select = the_tree.Nodes[node].Record;
    });
    if (folder_to_open) Open_Folder(*folder_to_open);
    else if (record_to_select) Gui::Select_Row_Of(Controls().File_List_View, record_to_select);
}

void Map_Menu_Routine(int x, int y) {
    if (Searcher_Is_Busy()) return;
    std::optional<std::wstring> path;
    bool is_folder = false;
    The_Map.At(x, y, [&](const Map_State::Laid_Out& the_map, const Map::Tile& the_tile) {
        const Map::Node& node = the_map.Tree.Nodes[the_tile.Node];
        if (node.Record) {
            path = Full_Path_Of(*node.Record);
            is_folder = node.Record->Is_Folder;
        } else if (!node.Folder.empty()) {
            path = Search_Root() + node.Folder.String();
            is_folder = true;
        }
    });
    if (path) Offer_Object_Menu(*path, is_folder);
}

}  // namespace Work
