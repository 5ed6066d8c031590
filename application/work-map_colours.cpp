#include "work-map_colours.hpp"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "work-internal.hpp"
#include "work-types.hpp"

namespace Work::Map_Colours {

namespace Files = Windows::Files;

namespace {

// A sequential scale, light and warm for what was read lately, dark for what nobody has
// touched for years.
constexpr std::size_t Age_Bands = 6;
constexpr COLORREF Age_Colours[Age_Bands] = {RGB(240, 210, 30), RGB(122, 200, 81), RGB(34, 168, 132),
                                             RGB(42, 120, 142), RGB(65, 68, 135),  RGB(68, 1, 84)};
constexpr const wchar_t* Age_Texts[Age_Bands] = {L"< 1 week",  L"< 1 month", L"< 6 months",
                                                 L"< 1 year", L"< 3 years", L"older"};
constexpr std::uint64_t Day = 24ull * 60 * 60 * 10'000'000;
constexpr std::uint64_t Band_Ends[Age_Bands - 1] = {7 * Day, 30 * Day, 182 * Day, 365 * Day, 3 * 365 * Day};
constexpr std::size_t Coloured_Owners = 8;

std::uint64_t Ticks_Of(const File_Time& the_time) {
    return (std::uint64_t{the_time.dwHighDateTime} << 32) | the_time.dwLowDateTime;
}

std::size_t Age_Band_Of(const File_Time& the_access, std::uint64_t the_now) {
    const std::uint64_t access = Ticks_Of(the_access);
    if (access == 0) return Age_Bands - 1;
    const std::uint64_t age = the_now > access ? the_now - access : 0;
    std::size_t band = 0;
    while (band < Age_Bands - 1 && age >= Band_Ends[band]) ++band;
    return band;
}

bool Is_File_Node(const Map::Node& the_node) { return the_node.Record && !the_node.Record->Is_Folder; }

Palette By_Type(const Map::Tree& the_tree, const File_List& the_records, const Selection& the_selection,
                const std::wstring& the_shown_folder) {
    Palette palette{.Mode = Colouring::Type, .Of_Node = std::vector<COLORREF>(the_tree.Nodes.size(), Types::Other_Colour), .Legend = {}};
    const std::vector<Types::Type_Statistics> types = Types::Types_Below(the_records, the_selection, the_shown_folder);
    std::unordered_map<std::wstring, std::size_t> ranks;
    for (std::size_t rank = 0; rank < std::min(types.size(), Types::Coloured_Types); ++rank) {
        ranks.emplace(types[rank].Type, rank);
        palette.Legend.push_back({Types::Colour_Of_Rank(rank), types[rank].Type});
    }
    if (types.size() > Types::Coloured_Types) palette.Legend.push_back({Types::Other_Colour, L"other types"});
    for (std::size_t node = 0; node < the_tree.Nodes.size(); ++node) {
        if (!Is_File_Node(the_tree.Nodes[node])) continue;
        const auto found = ranks.find(Types::Type_Of(the_tree.Nodes[node].Record->File_Name.View()));
        if (found != ranks.end()) palette.Of_Node[node] = Types::Colour_Of_Rank(found->second);
    }
    return palette;
}

Palette By_Age(const Map::Tree& the_tree) {
    Palette palette{.Mode = Colouring::Age, .Of_Node = std::vector<COLORREF>(the_tree.Nodes.size(), Types::Other_Colour), .Legend = {}};
    const std::uint64_t now = Ticks_Of(Files::The_Time_Now());
    for (std::size_t band = 0; band < Age_Bands; ++band) palette.Legend.push_back({Age_Colours[band], Age_Texts[band]});
    for (std::size_t node = 0; node < the_tree.Nodes.size(); ++node)
        if (const File_Information* record = the_tree.Nodes[node].Record)
            palette.Of_Node[node] = Age_Colours[Age_Band_Of(record->Last_Accessed, now)];
    return palette;
}

Palette By_Owner(const Map::Tree& the_tree) {
    Palette palette{.Mode = Colouring::Owner, .Of_Node = std::vector<COLORREF>(the_tree.Nodes.size(), Types::Other_Colour), .Legend = {}};
    std::unordered_map<Files::Owner, std::uint64_t> sizes;
    for (const Map::Node& node : the_tree.Nodes)
        if (Is_File_Node(node)) sizes[node.Record->Owner] += node.Size;
    std::vector<std::pair<Files::Owner, std::uint64_t>> owners(sizes.begin(), sizes.end());
    std::sort(owners.begin(), owners.end(), [](const auto& one, const auto& other) {
        return one.second != other.second ? one.second > other.second : Files::Image_Of(one.first) < Files::Image_Of(other.first);
    });
    std::unordered_map<Files::Owner, COLORREF> colours;
    for (std::size_t rank = 0; rank < std::min(owners.size(), Coloured_Owners); ++rank) {
        colours.emplace(owners[rank].first, Types::Colour_Of_Rank(rank));
        const std::wstring& name = Files::Image_Of(owners[rank].first);
        palette.Legend.push_back({Types::Colour_Of_Rank(rank), name.empty() ? L"(unknown)" : name});
    }
    if (owners.size() > Coloured_Owners) palette.Legend.push_back({Types::Other_Colour, L"other owners"});
    for (std::size_t node = 0; node < the_tree.Nodes.size(); ++node) {
        if (!Is_File_Node(the_tree.Nodes[node])) continue;
        if (const auto found = colours.find(the_tree.Nodes[node].Record->Owner); found != colours.end())
            palette.Of_Node[node] = found->second;
    }
    return palette;
}

}  // namespace

Palette Palette_Of(const Map::Tree& the_tree, Colouring the_mode, const File_List& the_records,
                   const Selection& the_selection, const std::wstring& the_shown_folder) {
    switch (the_mode) {
    case Colouring::Type: return By_Type(the_tree, the_records, the_selection, the_shown_folder);
    case Colouring::Age: return By_Age(the_tree);
    case Colouring::Owner: return By_Owner(the_tree);
    case Colouring::Kind: break;
    }
    return {.Mode = Colouring::Kind,
            .Of_Node = {},
            .Legend = {{Gui::Red, L"folder"}, {Gui::Black, L"file"}, {Gui::Green, L"file with streams"},
                       {Gui::Blue, L"compressed"}}};
}

std::wstring Meaning_Of(const Map::Tree& the_tree, std::uint32_t the_node, Colouring the_mode) {
    const File_Information* record = the_tree.Nodes[the_node].Record;
    if (!record) return {};
    switch (the_mode) {
    case Colouring::Type: return record->Is_Folder ? L"" : L"type " + Types::Type_Of(record->File_Name.View());
    case Colouring::Age:
        return std::wstring(L"accessed ") + Age_Texts[Age_Band_Of(record->Last_Accessed, Ticks_Of(Files::The_Time_Now()))];
    case Colouring::Owner: return L"owner " + (Files::Is_Unknown(record->Owner) ? L"(unknown)" : Files::Image_Of(record->Owner));
    case Colouring::Kind: break;
    }
    return {};
}

}  // namespace Work::Map_Colours
