#pragma once
// What the user chose to see, as one value, and the filter that applies it to a record:
// nothing here reads a control, so a change of options needs no second walk.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "work-walk.hpp"

namespace Work {

enum class Selection_Option : std::size_t {
    NEWLY_TOUCHED,
    AGED,
    SUBFOLDERS,
    FOLDERS,
    FULL_SIZE,
    FILES,
    STREAMS,
    HIDDEN,
    SYSTEM,
    ON_DISK,  // sums, filters, the map and changes count the size on disk
    NAMES     // files and streams are shown only when their names match the patterns
};
inline constexpr std::size_t Selection_Option_Count = 11;

// Wildcard patterns of names as the shell takes them, separated by ';': '*' stands for any
// run of characters, '?' for any one; letters compare without case.
class Name_Patterns {
public:
    Name_Patterns() = default;
    explicit Name_Patterns(std::wstring_view the_text);
    const std::wstring& Text() const { return text_; }
    // True when there is no pattern at all.
    bool Matches(std::wstring_view the_name) const;

private:
    std::wstring text_;
    std::vector<std::wstring> patterns_;  // in upper case
};

struct Option_Set {
    std::array<bool, Selection_Option_Count> Is_On{};
    bool& operator[](Selection_Option option) { return Is_On[static_cast<std::size_t>(option)]; }
    bool operator[](Selection_Option option) const {
        return Is_On[static_cast<std::size_t>(option)];
    }
};

struct Selection {
    Option_Set Options;
    File_Size Size_Threshold{};  // smaller objects are not shown
    File_Time Ages_Ago{};        // "not accessed since": last access at or before this
    File_Time Just_Recently{};   // "accessed within": last access at or after this
    Name_Patterns Names;         // with NAMES on
};

// Whether the record is shown with the selection while the display root (in the form of
// Folder_Name) is the folder shown.
bool To_Be_Displayed(const File_Information& the_file, const Selection& the_selection,
                     std::wstring_view display_root);

File_Time Minutes_Before_Now(int the_minutes);
// A "day" here is 201 units of the time's upper half (86,328.8 s); Constraint_Error when
// the days times 201 exceeds a 32-bit integer.
File_Time Days_Before_Now(int the_days);
// The decimal natural number the text holds, digits only; empty when it holds none.
std::optional<int> Natural_From(const std::string& the_text);

}  // namespace Work
