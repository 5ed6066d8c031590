// The display filter: which records a selection shows below the displayed folder, and the
// time thresholds the selection holds.
#include "work-selection.hpp"

#include <charconv>
#include <cstdint>
#include <limits>

namespace Work {

namespace Files = Windows::Files;

namespace {

class Filter {
public:
    Filter(const Selection& the_selection, std::wstring_view display_root)
        : options_(the_selection.Options), selection_(the_selection), display_root_(display_root) {}

    bool Passes(const File_Information& the_file) const {
        return Passes_Kind(the_file) && Passes_Position(the_file) &&
               !(the_file.Is_Hidden && !Is_On(Selection_Option::HIDDEN)) &&
               !(the_file.Is_System && !Is_On(Selection_Option::SYSTEM)) &&
               !(Size_Of(the_file, Is_On(Selection_Option::ON_DISK)) < selection_.Size_Threshold) &&
               Passes_Age(the_file) && Passes_Name(the_file);
    }

private:
    bool Is_On(Selection_Option option) const { return options_[option]; }

    bool Passes_Kind(const File_Information& the_file) const {
        if (the_file.Is_Folder) return Is_On(Selection_Option::FOLDERS);
        if (the_file.Is_Stream) return Is_On(Selection_Option::STREAMS);
        // A file whose streams are shown is shown through them.
        return Is_On(Selection_Option::FILES) &&
               !(the_file.Has_Streams && Is_On(Selection_Option::STREAMS));
    }

    bool Passes_Position(const File_Information& the_file) const {
        if (!Is_On(Selection_Option::SUBFOLDERS))
            return Wide_Text::Is_Equal(the_file.Folder_Name, display_root_, false);
        if (display_root_.empty()) return true;
        // Inside the displayed folder, not merely named alike: "\ab" does not hold "\abc".
        const std::size_t length = display_root_.size();
        return the_file.Folder_Name.size() >= length &&
               Wide_Text::Is_Equal(the_file.Folder_Name.View().substr(0, length), display_root_,
                                   false) &&
               (the_file.Folder_Name.size() == length || the_file.Folder_Name[length] == L'\\');
    }

    // Folders are shown or not by their own tick: the patterns choose files and streams.
    bool Passes_Name(const File_Information& the_file) const {
        return the_file.Is_Folder || !Is_On(Selection_Option::NAMES) ||
               selection_.Names.Matches(the_file.File_Name.View());
    }

    bool Passes_Age(const File_Information& the_file) const {
        if (the_file.Is_Folder) return true;
        if (Is_On(Selection_Option::NEWLY_TOUCHED))
            return !Files::Is_Earlier(the_file.Last_Accessed, selection_.Just_Recently);
        if (Is_On(Selection_Option::AGED))
            return !Files::Is_Later(the_file.Last_Accessed, selection_.Ages_Ago);
        return true;
    }

    const Option_Set& options_;
    const Selection& selection_;
    const std::wstring_view display_root_;
};

wchar_t Upper_Case_Of(wchar_t the_unit) {
    if (the_unit < 128) return the_unit >= L'a' && the_unit <= L'z' ? the_unit - (L'a' - L'A') : the_unit;
    // One character in the low word is converted in place of a pointer.
    return static_cast<wchar_t>(reinterpret_cast<std::uintptr_t>(
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<std::uintptr_t>(the_unit)))));
}

// Without recursion: after a '*', a mismatch takes the star one unit further along the name.
bool Matches_Pattern(std::wstring_view the_pattern, std::wstring_view the_name) {
    std::size_t at = 0, in_name = 0;
    std::size_t star = std::wstring_view::npos, star_name = 0;
    while (in_name < the_name.size()) {
        if (at < the_pattern.size() && the_pattern[at] == L'*') {
            star = at++;
            star_name = in_name;
        } else if (at < the_pattern.size() &&
                   (the_pattern[at] == L'?' || the_pattern[at] == Upper_Case_Of(the_name[in_name]))) {
            ++at;
            ++in_name;
        } else if (star != std::wstring_view::npos) {
            at = star + 1;
            in_name = ++star_name;
        } else {
            return false;
        }
    }
    while (at < the_pattern.size() && the_pattern[at] == L'*') ++at;
    return at == the_pattern.size();
}

File_Size Size_Of(const File_Time& the_time) {
    return Unsigned::Quadword_Of(the_time.dwHighDateTime, the_time.dwLowDateTime);
}

File_Time Time_Of(File_Size the_size) {
    return File_Time{the_size.Least_Significant, the_size.Most_Significant};
}

}  // namespace

Name_Patterns::Name_Patterns(std::wstring_view the_text) : text_(the_text) {
    std::size_t start = 0;
    while (start <= the_text.size()) {
        std::size_t end = the_text.find(L';', start);
        if (end == std::wstring_view::npos) end = the_text.size();
        std::wstring pattern(the_text.substr(start, end - start));
        pattern.erase(0, pattern.find_first_not_of(L' '));
        pattern.erase(pattern.find_last_not_of(L' ') + 1);
        for (wchar_t& unit : pattern) unit = Upper_Case_Of(unit);
        if (!pattern.empty()) patterns_.push_back(std::move(pattern));
        start = end + 1;
    }
}

bool Name_Patterns::Matches(std::wstring_view the_name) const {
    if (patterns_.empty()) return true;
    for (const std::wstring& pattern : patterns_)
        if (Matches_Pattern(pattern, the_name)) return true;
    return false;
}

bool To_Be_Displayed(const File_Information& the_file, const Selection& the_selection,
                     std::wstring_view display_root) {
    return Filter(the_selection, display_root).Passes(the_file);
}

std::optional<int> Natural_From(const std::string& the_text) {
    if (the_text.empty()) return std::nullopt;
    for (char character : the_text)
        if (character < '0' || character > '9') return std::nullopt;
    int value = 0;
    const char* end = the_text.data() + the_text.size();
    const auto [stop, error] = std::from_chars(the_text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

File_Time Minutes_Before_Now(int the_minutes) {
    if (the_minutes < 0) throw Constraint_Error("minutes must be natural");
    const File_Size reduction =
        Unsigned::Product_Of(static_cast<Unsigned::Longword>(the_minutes), 600'000'000);
    const File_Size now = Size_Of(Files::The_Time_Now());
    if (now.Value() > reduction.Value()) return Time_Of(now - reduction);
    return File_Time{};
}

File_Time Days_Before_Now(int the_days) {
    if (the_days < 0) throw Constraint_Error("days must be natural");
    const std::int64_t reduction = std::int64_t{the_days} * 201;
    if (reduction > std::numeric_limits<std::int32_t>::max())
        throw Constraint_Error("too many days");
    File_Time now = Files::The_Time_Now();
    if (now.dwHighDateTime > reduction) now.dwHighDateTime -= static_cast<DWORD>(reduction);
    else now.dwHighDateTime = 0;
    return now;
}

}  // namespace Work
