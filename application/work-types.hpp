#pragma once
// What kind of data the shown records hold: their file types, by the extension after the
// last dot, with their counts, sizes and largest files, and the colours that tell the
// largest types apart. Nothing here knows of a window.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "work-selection.hpp"

namespace Work::Types {

// "jpg" for "Photo.JPG" (in lower case, so that .JPG and .jpg are one), "gz" for
// "a.tar.gz"; No_Extension for a name without a dot after its first character, as the
// shell takes ".bashrc".
inline constexpr std::wstring_view No_Extension = L"(no extension)";
std::wstring Type_Of(std::wstring_view the_name);

struct Type_Statistics {
    std::wstring Type;
    std::int64_t Files = 0;
    File_Size Size{};  // as the selection counts it
    std::wstring Largest;  // the name of its largest file
    File_Size Largest_Size{};
};

// The types of the files and streams below the displayed folder, at any depth, that pass
// the selection (its "Include subfolders" aside); a stream counts under its file's type.
// Largest first, then by type.
std::vector<Type_Statistics> Types_Below(const File_List& the_records, const Selection& the_selection,
                                        std::wstring_view the_display_root);

// The colours of the largest types, well apart; the others share Other_Colour.
inline constexpr std::size_t Coloured_Types = 12;
inline constexpr COLORREF Other_Colour = RGB(128, 128, 128);
COLORREF Colour_Of_Rank(std::size_t the_rank);

}  // namespace Work::Types
