#pragma once
// What the map's colours tell: the kind of each object (as the file list colours it), its
// type, its age by last access, or its owner; and the legend that names each colour.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "work-map.hpp"
#include "work-selection.hpp"

namespace Work::Map_Colours {

enum class Colouring { Kind, Type, Age, Owner };
inline constexpr const char* Colouring_Names[] = {"kind", "type", "age", "owner"};

struct Legend_Entry {
    COLORREF Colour;
    std::wstring Text;
};

// The colours of one tree's nodes in one colouring; none for Kind, whose colours are the
// file list's.
struct Palette {
    Colouring Mode = Colouring::Kind;
    std::vector<COLORREF> Of_Node;
    std::vector<Legend_Entry> Legend;
};

// Types are ranked as the Types page ranks them, below the shown folder.
Palette Palette_Of(const Map::Tree& the_tree, Colouring the_mode, const File_List& the_records,
                   const Selection& the_selection, const std::wstring& the_shown_folder);

// What the colour of the node says: "type jpg", "accessed < 1 month", "owner X"; empty for Kind.
std::wstring Meaning_Of(const Map::Tree& the_tree, std::uint32_t the_node, Colouring the_mode);

}  // namespace Work::Map_Colours
