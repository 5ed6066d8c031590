#include "work-types.hpp"

#include <algorithm>
#include <unordered_map>

namespace Work::Types {

std::wstring Type_Of(std::wstring_view the_name) {
    const std::size_t dot = the_name.rfind(L'.');
    if (dot == std::wstring_view::npos || dot == 0 || dot + 1 == the_name.size()) return std::wstring(No_Extension);
    std::wstring type(the_name.substr(dot + 1));
    bool is_ascii = true;
    for (wchar_t& unit : type) {
        if (unit >= L'A' && unit <= L'Z') unit += L'a' - L'A';
        else if (unit >= 0x80) is_ascii = false;
    }
    // The platform's case mapping only where plain ASCII does not do: for every file, it made
    // the map's colouring by type three times slower.
    if (!is_ascii) CharLowerBuffW(type.data(), static_cast<DWORD>(type.size()));
    return type;
}

std::vector<Type_Statistics> Types_Below(const File_List& the_records, const Selection& the_selection,
                                        std::wstring_view the_display_root) {
    Selection below = the_selection;
    below.Options[Selection_Option::SUBFOLDERS] = true;
    const bool on_disk = the_selection.Options[Selection_Option::ON_DISK];
    std::vector<Type_Statistics> types;
    std::unordered_map<std::wstring, std::size_t> places;
    for (auto at = First(the_records); Has_Element(at); at = Next(at)) {
        const File_Information& file = Element_At(at);
        if (file.Is_Folder || !To_Be_Displayed(file, below, the_display_root)) continue;
        const auto [place, is_new] = places.try_emplace(Type_Of(file.File_Name.View()), types.size());
        if (is_new) types.emplace_back().Type = place->first;
        Type_Statistics& type = types[place->second];
        ++type.Files;
        type.Size = Unsigned::Saturated_Sum(type.Size, Counted_Size_Of(file, on_disk));
        const File_Size size = Size_Of(file, on_disk);
        if (type.Largest.empty() || type.Largest_Size < size) {
            type.Largest = file.File_Name.String();
            type.Largest_Size = size;
        }
    }
    std::sort(types.begin(), types.end(), [](const Type_Statistics& one, const Type_Statistics& other) {
        if (!(one.Size == other.Size)) return other.Size < one.Size;
        return one.Type < other.Type;
    });
    return types;
}

COLORREF Colour_Of_Rank(std::size_t the_rank) {
    // Dark enough to read as text on white, and apart in hue.
    static constexpr COLORREF colours[Coloured_Types] = {
        RGB(31, 119, 180), RGB(230, 110, 0),  RGB(44, 160, 44),  RGB(214, 39, 40),
        RGB(148, 103, 189), RGB(140, 86, 75), RGB(210, 80, 170), RGB(160, 160, 20),
        RGB(20, 160, 180),  RGB(57, 59, 121), RGB(99, 121, 57),  RGB(132, 60, 57)};
    return the_rank < Coloured_Types ? colours[the_rank] : Other_Colour;
}

}  // namespace Work::Types
