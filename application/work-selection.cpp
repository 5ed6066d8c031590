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
               !(Size_Of(the_file, Is_On(Selection_Option::ON_DISK)) < selection_.Size_Threshold) && Passes_Age(the_file);
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

File_Size Size_Of(const File_Time& the_time) {
    return Unsigned::Quadword_Of(the_time.dwHighDateTime, the_time.dwLowDateTime);
}

File_Time Time_Of(File_Size the_size) {
    return File_Time{the_size.Least_Significant, the_size.Most_Significant};
}

}  // namespace

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
