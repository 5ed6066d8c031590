// The Selection page's options: the selection in force, read from the controls in one
// place, the mutually exclusive ticks, and the options' life in the registry.
#include <array>
#include <optional>
#include <string>

#include "registry.hpp"
#include "work-internal.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

Selection In_Force;
// Ticks are saved only once they were loaded, and texts only from boxes that exist: a
// start that failed early must not overwrite the stored options with empty ones.
bool Options_Were_Loaded = false;

constexpr const char* Literal_Of[Selection_Option_Count] = {
    "NEWLY_TOUCHED", "AGED", "SUBFOLDERS", "FOLDERS", "FULL_SIZE",
    "FILES", "STREAMS", "HIDDEN", "SYSTEM", "ON_DISK", "NAMES"};

std::string Registry_Name_Of(std::size_t the_position) {
    return Strings::Legible_Of(Literal_Of[the_position]);
}

// The plain check box that sets each option; the time and name boxes are read apart.
const Gui::Check_Box* Check_Box_For(Selection_Option the_option) {
    const Window_Controls& controls = Controls();
    switch (the_option) {
    case Selection_Option::SUBFOLDERS: return &controls.Visit_Folders;
    case Selection_Option::FOLDERS: return &controls.Display_Folders;
    case Selection_Option::FULL_SIZE: return &controls.Display_Full_Size;
    case Selection_Option::FILES: return &controls.Display_Files;
    case Selection_Option::STREAMS: return &controls.Display_Streams;
    case Selection_Option::HIDDEN: return &controls.Display_Hidden;
    case Selection_Option::SYSTEM: return &controls.Display_System;
    case Selection_Option::ON_DISK: return &controls.Count_On_Disk;
    default: return nullptr;
    }
}

constexpr Selection_Option Check_Box_Options[] = {
    Selection_Option::SUBFOLDERS, Selection_Option::FOLDERS, Selection_Option::FILES,
    Selection_Option::FULL_SIZE,  Selection_Option::STREAMS, Selection_Option::HIDDEN,
    Selection_Option::SYSTEM, Selection_Option::ON_DISK};

// False when the box holds no natural number: it is unticked then.
bool Took_Recently(Selection& the_selection) {
    const Gui::Checked_Edit_Box& box = Controls().Recently_Accessed;
    if (const std::optional<int> minutes = Natural_From(Gui::Contents_Of(box))) {
        the_selection.Just_Recently = Minutes_Before_Now(*minutes);
        return true;
    }
    Gui::Clear(box);
    return false;
}

bool Took_Ages_Ago(Selection& the_selection) {
    const Gui::Checked_Edit_Box& box = Controls().Untouched;
    try {
        if (const std::optional<int> days = Natural_From(Gui::Contents_Of(box))) {
            the_selection.Ages_Ago = Days_Before_Now(*days);
            return true;
        }
    } catch (const Constraint_Error&) {
        // Too many days for the upper half: as good as no number.
    }
    Gui::Clear(box);
    return false;
}

template <typename Control>
std::optional<bool> Tick_Of(const Control& the_control) {
    if (the_control.Is_Null()) return std::nullopt;
    return Gui::Is_Checked(the_control);
}

// True when the option has a control of its own on this system.
bool Has_Control(Selection_Option the_option) {
    switch (the_option) {
    case Selection_Option::NEWLY_TOUCHED: return !Controls().Recently_Accessed.Is_Null();
    case Selection_Option::AGED: return !Controls().Untouched.Is_Null();
    case Selection_Option::NAMES: return !Controls().Name_Filter.Is_Null();
    default: return !Check_Box_For(the_option)->Is_Null();
    }
}

}  // namespace

// ---------------------------------------------------------------- the page as shown

Selection_Page_Reading Read_Selection_Page() {
    Selection_Page_Reading reading;
    reading[Selection_Option::NEWLY_TOUCHED] = Tick_Of(Controls().Recently_Accessed);
    reading[Selection_Option::AGED] = Tick_Of(Controls().Untouched);
    for (Selection_Option option : Check_Box_Options) {
        if (option == Selection_Option::STREAMS && !Is_Windows_Nt()) continue;
        reading[option] = Tick_Of(*Check_Box_For(option));
    }
    if (!Controls().Minimum_Size_Box.Is_Null())
        reading.Size_Text = Gui::Contents_Of(Controls().Minimum_Size_Box);
    if (!Controls().Name_Filter.Is_Null()) {
        reading[Selection_Option::NAMES] = Gui::Is_Checked(Controls().Name_Filter);
        reading.Names_Text = Gui::Wide_Contents_Of(Controls().Name_Filter);
    }
    return reading;
}

bool Ticks_Differ(const Selection_Page_Reading& the_reading) {
    for (std::size_t position = 0; position < Selection_Option_Count; ++position)
        if (the_reading.Tick[position] && *the_reading.Tick[position] != In_Force.Options.Is_On[position])
            return true;
    return false;
}

bool Size_Differs(const Selection_Page_Reading& the_reading) {
    return the_reading.Size_Text && !(Files::Size_From(*the_reading.Size_Text) == In_Force.Size_Threshold);
}

bool Names_Differ(const Selection_Page_Reading& the_reading) {
    return the_reading.Names_Text && *the_reading.Names_Text != In_Force.Names.Text();
}

Selection Selection_Of(Selection_Page_Reading the_reading, bool with_size) {
    Selection selection = In_Force;
    std::optional<bool>& recent = the_reading[Selection_Option::NEWLY_TOUCHED];
    if (recent == true) recent = Took_Recently(selection);
    std::optional<bool>& aged = the_reading[Selection_Option::AGED];
    if (aged == true) aged = Took_Ages_Ago(selection);
    for (std::size_t position = 0; position < Selection_Option_Count; ++position)
        if (the_reading.Tick[position]) selection.Options.Is_On[position] = *the_reading.Tick[position];
    if (with_size && the_reading.Size_Text)
        selection.Size_Threshold = Files::Size_From(*the_reading.Size_Text);
    if (the_reading.Names_Text) selection.Names = Name_Patterns(*the_reading.Names_Text);
    return selection;
}

const Selection& Selection_In_Force() { return In_Force; }
void Put_In_Force(const Selection& the_selection) { In_Force = the_selection; }
Selection& Testing::Selection_To_Change() { return In_Force; }

void Determine_Options() { In_Force = Selection_Of(Read_Selection_Page(), false); }

bool Selection_Has_Changed() {
    const Selection_Page_Reading reading = Read_Selection_Page();
    return Size_Differs(reading) || Ticks_Differ(reading) || Names_Differ(reading);
}

void Set_Recently() { Took_Recently(In_Force); }
void Set_Ages_Ago() { Took_Ages_Ago(In_Force); }

// ---------------------------------------------------------------- exclusive ticks

void Recent_Request() {
    const Window_Controls& controls = Controls();
    if (!Gui::Is_Checked(controls.Recently_Accessed)) return;
    Gui::Clear(controls.Untouched);
    Gui::Clear(controls.Display_Folders);
}

void Untouched_Request() {
    const Window_Controls& controls = Controls();
    if (!Gui::Is_Checked(controls.Untouched)) return;
    Gui::Clear(controls.Recently_Accessed);
    Gui::Clear(controls.Display_Folders);
}

void Display_Folder_Request() {
    const Window_Controls& controls = Controls();
    if (!Gui::Is_Checked(controls.Display_Folders)) return;
    Gui::Clear(controls.Recently_Accessed);
    Gui::Clear(controls.Untouched);
}

// ---------------------------------------------------------------- the registry

void Get_Options_From_Registery() {
    auto registry = Registry::Exclusive_Use();
    Registry::Define(Setting::Selection_Topic);
    for (std::size_t position = 0; position < Selection_Option_Count; ++position)
        In_Force.Options.Is_On[position] = Registry::Value_Of(Registry_Name_Of(position), false);
    In_Force.Names = Name_Patterns(Wide_Text::From_Utf8(Registry::Value_Of(Setting::Name_Patterns, "")));
    Options_Were_Loaded = true;
}

Selection Saved_Selection() {
    auto registry = Registry::Exclusive_Use();
    Registry::Define(Setting::Selection_Topic);
    Selection selection;
    for (std::size_t position = 0; position < Selection_Option_Count; ++position)
        selection.Options.Is_On[position] = Registry::Value_Of(Registry_Name_Of(position), false);
    selection.Size_Threshold = Files::Size_From(Registry::Value_Of(Setting::Min_Size, "0"));
    selection.Names = Name_Patterns(Wide_Text::From_Utf8(Registry::Value_Of(Setting::Name_Patterns, "")));
    Take_Time_Thresholds(selection, Registry::Value_Of(Setting::Within, "5"),
                         Registry::Value_Of(Setting::Since, "90"));
    return selection;
}

void Take_Time_Thresholds(Selection& the_selection, const std::string& the_minutes,
                          const std::string& the_days) {
    Option_Set& options = the_selection.Options;
    // As the page allows: folders, or one time filter.
    if (options[Selection_Option::FOLDERS]) options[Selection_Option::NEWLY_TOUCHED] = false;
    if (options[Selection_Option::FOLDERS] || options[Selection_Option::NEWLY_TOUCHED])
        options[Selection_Option::AGED] = false;
    if (options[Selection_Option::NEWLY_TOUCHED]) {
        const std::optional<int> minutes = Natural_From(the_minutes);
        if (minutes) the_selection.Just_Recently = Minutes_Before_Now(*minutes);
        options[Selection_Option::NEWLY_TOUCHED] = minutes.has_value();
    }
    if (options[Selection_Option::AGED]) {
        std::optional<int> days = Natural_From(the_days);
        try {
            if (days) the_selection.Ages_Ago = Days_Before_Now(*days);
        } catch (const Constraint_Error&) {
            days.reset();  // too many days for the upper half: as good as no number
        }
        options[Selection_Option::AGED] = days.has_value();
    }
}

void Save_Options_To_Registery() {
    if (!Options_Were_Loaded) return;
    const Window_Controls& controls = Controls();
    auto registry = Registry::Exclusive_Use();
    Registry::Define(Setting::Selection_Topic);
    auto save_text = [](const char* the_name, const Gui::Edit_Box& the_box) {
        if (!the_box.Is_Null()) Registry::Set(the_name, Gui::Contents_Of(the_box));
    };
    save_text(Setting::Within, controls.Recently_Accessed);
    save_text(Setting::Since, controls.Untouched);
    save_text(Setting::Min_Size, controls.Minimum_Size_Box);
    if (!controls.Name_Filter.Is_Null())
        Registry::Set(Setting::Name_Patterns, Wide_Text::Utf8_Of(Gui::Wide_Contents_Of(controls.Name_Filter)));
    Determine_Options();
    for (std::size_t position = 0; position < Selection_Option_Count; ++position) {
        const auto option = static_cast<Selection_Option>(position);
        if (Has_Control(option)) Registry::Set(Registry_Name_Of(position), In_Force.Options[option]);
    }
}

}  // namespace Work
