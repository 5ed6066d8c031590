// The command line and the runs without a window. Everything said goes to the console the
// program was started from: its standard handles when it has them, else the parent's
// console, attached.
#include "work-command_line.hpp"

#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <cwctype>

#include "log.hpp"
#include "windows.hpp"
#include "work-compare.hpp"
#include "work-internal.hpp"
#include "work-report.hpp"
#include "work-scan_file.hpp"
#include "work.hpp"

namespace Work::Command_Line {

namespace Files = Windows::Files;

namespace {

using Unique_Handle = Windows::Unique<HANDLE, CloseHandle>;

// The console's output: texts end in a line break; a real console is written in UTF-16, a
// redirected handle in UTF-8.
class Console {
public:
    Console() {
        handle_ = GetStdHandle(STD_ERROR_HANDLE);
        if (Is_Usable(handle_)) return;
        handle_ = GetStdHandle(STD_OUTPUT_HANDLE);
        if (Is_Usable(handle_)) return;
        if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
        owned_.reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
        handle_ = owned_.get();
        // The shell has shown its prompt already: start on a line of our own.
        Say("");
    }

    void Say(const std::string& the_text) const {
        Log::Write(the_text);
        if (!Is_Usable(handle_)) return;
        const std::string line = the_text + "\r\n";
        DWORD mode = 0;
        DWORD written = 0;
        if (GetConsoleMode(handle_, &mode)) {
            const std::wstring wide = Wide_Text::From_Utf8(line);
            WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        } else {
            WriteFile(handle_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        }
    }

private:
    static bool Is_Usable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    HANDLE handle_ = nullptr;
    Unique_Handle owned_;
};

const Console& The_Console() {
    static const Console console;
    return console;
}

std::string Utf8(const std::wstring& text) { return Wide_Text::Utf8_Of(text); }

std::wstring Lower(std::wstring text) {
    for (wchar_t& character : text) character = static_cast<wchar_t>(std::towlower(character));
    return text;
}

bool Ends_With(const std::wstring& text, const std::wstring& end) {
    const std::wstring lower = Lower(text);
    return lower.size() >= end.size() && lower.compare(lower.size() - end.size(), end.size(), end) == 0;
}

bool Is_Switch(const std::wstring& argument) {
    return argument.size() > 1 && (argument[0] == L'/' || argument[0] == L'-');
}

// ---------------------------------------------------------------- parsing

// Reads the arguments one after the other.
class Argument_Reader {
public:
    explicit Argument_Reader(const std::vector<std::wstring>& the_arguments) : arguments_(the_arguments) {}
    bool Has_More() const { return next_ < arguments_.size(); }
    std::wstring Next() { return arguments_[next_++]; }
    std::wstring Value_For(const std::wstring& the_switch) {
        if (!Has_More())
            throw Usage_Error(Utf8(the_switch) + " needs a value");
        return Next();
    }

private:
    const std::vector<std::wstring>& arguments_;
    std::size_t next_ = 0;
};

struct Option_Switch {
    const wchar_t* Name;
    Selection_Option Option;
};
constexpr Option_Switch Option_Switches[] = {
    {L"/files", Selection_Option::FILES},         {L"/folders", Selection_Option::FOLDERS},
    {L"/subfolders", Selection_Option::SUBFOLDERS}, {L"/streams", Selection_Option::STREAMS},
    {L"/hidden", Selection_Option::HIDDEN},       {L"/system", Selection_Option::SYSTEM},
    {L"/ondisk", Selection_Option::ON_DISK}};

// Days further back than a time can go would switch the filter off: said, not ignored.
void Check_Day_Count(int the_days) {
    try {
        Days_Before_Now(the_days);
    } catch (const Constraint_Error&) {
        throw Usage_Error("/since " + std::to_string(the_days) + " goes back too many days");
    }
}

// The selection switches seen so far; any one replaces the saved options as a whole.
struct Selection_Switches {
    bool Any = false;
    Selection Chosen;
    std::string Minutes;
    std::string Days;

    bool Take(const std::wstring& the_switch, Argument_Reader& the_reader) {
        for (const Option_Switch& option : Option_Switches) {
            if (the_switch != option.Name) continue;
            Chosen.Options[option.Option] = true;
            return Any = true;
        }
        if (the_switch == L"/name") {
            Chosen.Names = Name_Patterns(the_reader.Value_For(the_switch));
            Chosen.Options[Selection_Option::NAMES] = true;
            return Any = true;
        }
        if (the_switch == L"/min") {
            const std::string text = Wide_Text::Narrowed(the_reader.Value_For(the_switch));
            Chosen.Size_Threshold = Files::Size_From(text);
            if (Chosen.Size_Threshold.Value() == 0 && text.find_first_not_of("0 ") != std::string::npos)
                throw Usage_Error("/min takes a size such as 1500, 10K or 1.5M");
            return Any = true;
        }
        if (the_switch == L"/within" || the_switch == L"/since") {
            const std::string text = Wide_Text::Narrowed(the_reader.Value_For(the_switch));
            const std::optional<int> count = Natural_From(text);
            if (!count) throw Usage_Error(Utf8(the_switch) + " takes a whole number");
            const bool is_within = the_switch == L"/within";
            if (!is_within) Check_Day_Count(*count);
            (is_within ? Minutes : Days) = text;
            Chosen.Options[is_within ? Selection_Option::NEWLY_TOUCHED : Selection_Option::AGED] = true;
            return Any = true;
        }
        return false;
    }

    Selection Result() {
        const Option_Set& options = Chosen.Options;
        if (options[Selection_Option::NEWLY_TOUCHED] + options[Selection_Option::AGED] +
                options[Selection_Option::FOLDERS] > 1)
            throw Usage_Error("/folders, /within and /since exclude one another, as on the Selection page");
        Take_Time_Thresholds(Chosen, Minutes, Days);
        return Chosen;
    }
};

void Read_Report_Target(Command& the_command, Argument_Reader& the_reader) {
    the_command.Output = the_reader.Value_For(L"/report");
    if (Ends_With(the_command.Output, L".json")) the_command.Is_Json = true;
    else if (!Ends_With(the_command.Output, L".csv"))
        throw Usage_Error("the report must be a .csv or a .json file");
}

// ---------------------------------------------------------------- running

Scan_File::Scan Walked(const std::wstring& the_root) {
    if (!Is_Existing_Folder(the_root)) throw Root_Not_Found(Utf8(the_root) + " is not an existing folder");
    std::wstring root = Without_Trailing_Backslashes(the_root);
    if (root.empty()) throw Root_Not_Found("a root of backslashes names no folder");
    Scan_File::Scan scan;
    scan.About = {root, Is_Windows_Nt() && Files::Volume_Is_Ntfs(root), Files::The_Time_Now(), true,
                  Files::Volume_Space_Of(root + L'\\')};
    The_Console().Say("Searching " + Utf8(root) + "...");
    const auto start = std::chrono::steady_clock::now();
    const std::atomic<bool> is_wanted = true;
    unsigned long root_error = 0;
    const Walk_Request request{
        .Root = root,
        .Owners_And_Streams = scan.About.Is_Ntfs,
        .Lookup_Threads = Lookup_Threads(),
        .Is_Wanted = &is_wanted,
        .Report_Unreadable =
            [&](const std::wstring& path, unsigned long error) {
                The_Console().Say("Cannot read " + Utf8(path) + ": error " + std::to_string(error));
                if (path == root) root_error = error;
            },
        // A line every few seconds tells a long walk is going on, without flooding the console.
        .Report_Progress =
            [](const Walk_Progress& progress) {
                The_Console().Say(std::to_string(progress.Objects) + " objects, " +
                                  std::to_string(progress.Size.Value()) + " bytes so far, in " +
                                  Utf8(progress.Folder));
            },
        .Progress_Interval = std::chrono::seconds(5),
        .Report_Table_Refused =
            [] {
                The_Console().Say("The folders are walked: run as administrator to have the volume's table read "
                                  "instead, many times faster.");
            }};
    File_List volume_files;
    const std::optional<std::string> why_walked = Read_Table_Or_Walk(request, scan.Records, &volume_files);
    // An empty scan of it would show everything as gone in a later comparison.
    if (root_error != 0)
        throw Root_Not_Listed(Utf8(root) + " cannot be listed: error " + std::to_string(root_error));
    if (scan.About.Volume) {
        Account_For_Volume(root, *scan.About.Volume, std::move(volume_files), scan.Records);
        The_Console().Say("Volume of " + Utf8(root) + ": " + Volume_Image(root, *scan.About.Volume));
    }
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    The_Console().Say(std::to_string(Length_Of(scan.Records)) + " objects found in " +
                      std::to_string(taken.count()) + " s" +
                      (!why_walked ? ", read from the master file table" : ""));
    return scan;
}

Scan_File::Scan Opened(const std::wstring& the_path) {
    Scan_File::Scan scan = Scan_File::Load(the_path);
    The_Console().Say("Opened " + Utf8(the_path) + ": " + std::to_string(Length_Of(scan.Records)) +
                      " objects below " + Utf8(scan.About.Root) + ", scanned " +
                      Report::Iso_8601_Of(scan.About.Made));
    return scan;
}

void Save(const Command& the_command) {
    const Scan_File::Scan scan = Walked(the_command.Root);
    Scan_File::Save(the_command.Output, scan.About, scan.Records);
    The_Console().Say("Scan saved as " + Utf8(the_command.Output));
}

// The rows a display of the whole tree shows, gone ones after the others when comparing.
std::vector<Report::Row> Rows_Of(const File_List& the_records, const Selection& the_selection,
                                 const Compare::Changes* the_changes) {
    std::vector<Report::Row> rows;
    auto add = [&](const File_Information& record) {
        if (!To_Be_Displayed(record, the_selection, L"")) return;
        Report::Row row{&record, std::nullopt};
        if (the_changes) row.Change = the_changes->Of(record);
        rows.push_back(row);
    };
    for (auto at = First(the_records); Has_Element(at); at = Next(at)) add(Element_At(at));
    if (the_changes)
        for (const File_Information* gone : the_changes->Gone()) add(*gone);
    return rows;
}

void Write_Report(const Command& the_command) {
    Scan_File::Scan scan = the_command.Scan.empty() ? Walked(the_command.Root) : Opened(the_command.Scan);
    std::optional<Compare::Changes> changes;
    if (!the_command.Older.empty()) {
        const std::string bytes = Files::Contents_Of(the_command.Older);
        Scan_File::Record_Reader older(bytes);
        if (!Compare::Is_Same_Root(older.About().Root, scan.About.Root))
            throw Different_Roots("the older scan is of " + Utf8(older.About().Root) + ", not of " +
                                  Utf8(scan.About.Root));
        changes.emplace(scan.Records, older);
        The_Console().Say("Compared with " + Utf8(the_command.Older) + ", scanned " +
                          Report::Iso_8601_Of(older.About().Made));
    }
    const Selection selection = the_command.Options.value_or(Saved_Selection());
    Report::Contents contents{.Root = scan.About.Root,
                              .Is_Ntfs = scan.About.Is_Ntfs,
                              .Made = scan.About.Made,
                              .The_Columns = Report::Columns_For(scan.About.Is_Ntfs, selection),
                              .Rows = Rows_Of(scan.Records, selection, changes ? &*changes : nullptr),
                              .Owners = {}};
    contents.The_Columns.Change = changes.has_value();
    contents.Owners = Report::Owner_Totals_Of(contents.Rows, contents.The_Columns.On_Disk);
    Files::Replace_Contents(the_command.Output,
                            the_command.Is_Json ? Report::Json_Of(contents) : Report::Csv_Of(contents));
    The_Console().Say("Report written to " + Utf8(the_command.Output) + ": " +
                      std::to_string(contents.Rows.size()) + " rows");
    if (contents.Rows.empty())
        The_Console().Say("No object passes the options: /files, /folders and /subfolders choose what a "
                          "report holds.");
}

int Failed(Exit_Code the_code, const std::exception& the_failure) {
    The_Console().Say("Quarrix: " + Information_Of(the_failure));
    return the_code;
}

}  // namespace

std::vector<std::wstring> Arguments_Of(const wchar_t* the_command_line) {
    int count = 0;
    std::unique_ptr<LPWSTR, Windows::Handle_Closer<LocalFree>> split(CommandLineToArgvW(the_command_line, &count));
    std::vector<std::wstring> arguments;
    for (int index = 1; split && index < count; ++index) arguments.emplace_back(split.get()[index]);
    return arguments;
}

Command Command_Of(const std::vector<std::wstring>& the_arguments) {
    Command command;
    Argument_Reader reader(the_arguments);
    Selection_Switches selection;
    while (reader.Has_More()) {
        const std::wstring argument = reader.Next();
        const std::wstring name = Lower(argument);
        if (!Is_Switch(argument)) {
            if (!command.Root.empty()) throw Usage_Error("more than one root: " + Utf8(argument));
            command.Root = argument;
        } else if (name == L"/?" || name == L"-?" || name == L"/help") {
            command.The_Mode = Mode::Help;
        } else if (name == L"/save" || name == L"/report") {
            if (command.The_Mode == Mode::Save || command.The_Mode == Mode::Report)
                throw Usage_Error("/save and /report go alone");
            command.The_Mode = name == L"/save" ? Mode::Save : Mode::Report;
            if (command.The_Mode == Mode::Save) command.Output = reader.Value_For(argument);
            else Read_Report_Target(command, reader);
        } else if (name == L"/open") {
            command.Scan = reader.Value_For(argument);
        } else if (name == L"/compare") {
            command.Older = reader.Value_For(argument);
        } else if (!selection.Take(name, reader)) {
            throw Usage_Error("unknown switch " + Utf8(argument));
        }
    }
    if (command.The_Mode == Mode::Help) return command;
    if (selection.Any) command.Options = selection.Result();
    const bool is_report = command.The_Mode == Mode::Report;
    if ((!command.Scan.empty() || !command.Older.empty() || selection.Any) && !is_report)
        throw Usage_Error("/open, /compare and the selection switches go with /report");
    if (is_report && command.Root.empty() == command.Scan.empty())
        throw Usage_Error("a report needs either a root or /open SCAN");
    if (command.The_Mode == Mode::Save && command.Root.empty()) throw Usage_Error("/save needs a root");
    if (command.The_Mode == Mode::Window && !command.Root.empty())
        command.The_Mode = Ends_With(command.Root, std::wstring(L".") + Scan_File::Extension) ? Mode::Window_Opening
                                                                                          : Mode::Window_Searching;
    return command;
}

const char* Usage() {
    return "Quarrix shows where the disk space goes.\r\n"
           "\r\n"
           "quarrix                 opens the window\r\n"
           "quarrix ROOT            opens the window and searches ROOT at once\r\n"
           "quarrix SCAN.qscan      opens the window showing the scan\r\n"
           "quarrix /save FILE.qscan ROOT\r\n"
           "                        searches ROOT and saves the scan, without a window\r\n"
           "quarrix /report FILE.csv|FILE.json (ROOT | /open SCAN.qscan) [/compare OLD.qscan]\r\n"
           "        [/files] [/folders] [/subfolders] [/streams] [/hidden] [/system]\r\n"
           "        [/ondisk] [/name PATTERNS] [/min SIZE] [/within MINUTES] [/since DAYS]\r\n"
           "                        writes what the Display page would show: one row per\r\n"
           "                        object with every column, sizes in bytes, times in UTC,\r\n"
           "                        then the owners' totals; with /compare, the change of\r\n"
           "                        every object and owner against the older scan of the\r\n"
           "                        same root. Without selection switches, the options the\r\n"
           "                        window saved last apply; any switch replaces them all:\r\n"
           "                        /files, /folders, /subfolders (include subfolders),\r\n"
           "                        /streams, /hidden, /system show those objects; /ondisk\r\n"
           "                        counts sizes on disk in sums and filters; /name only\r\n"
           "                        files whose names match one of the patterns (*.iso;*.vhd*);\r\n"
           "                        /min only\r\n"
           "                        objects larger than SIZE (1500, 10K, 1.5M); /within only\r\n"
           "                        those accessed within MINUTES; /since only those not\r\n"
           "                        accessed for DAYS. /folders, /within and /since exclude\r\n"
           "                        one another.\r\n"
           "\r\n"
           "Exit codes: 0 done, 1 bad arguments, 2 root not found or not listable, 3 scan\r\n"
           "unreadable (not a scan, damaged, of a newer version, or missing), 4 cannot write\r\n"
           "the report or scan, 5 the scans compared are of different roots, 6 any other failure.";
}

int Run_Without_Window(const Command& the_command) {
    try {
        switch (the_command.The_Mode) {
        case Mode::Help: The_Console().Say(Usage()); return Success;
        case Mode::Save: Save(the_command); return Success;
        case Mode::Report: Write_Report(the_command); return Success;
        default: throw Program_Error("a command for the window");
        }
    } catch (const Root_Not_Found& failure) {
        return Failed(Root_Missing, failure);
    } catch (const Root_Not_Listed& failure) {
        return Failed(Root_Missing, failure);
    } catch (const Different_Roots& failure) {
        return Failed(Scans_Differ, failure);
    } catch (const Files::Write_Failure& failure) {
        return Failed(Cannot_Write, failure);
    } catch (const Files::Read_Failure& failure) {
        return Failed(Unreadable_Scan, failure);
    } catch (const Scan_File::Unreadable_Scan& failure) {
        return Failed(Unreadable_Scan, failure);
    } catch (const std::exception& failure) {
        return Failed(Other_Failure, failure);
    }
}

int Refuse(const Usage_Error& the_error) {
    The_Console().Say("Quarrix: " + the_error.Message() + "\r\n\r\n" + Usage());
    return Bad_Arguments;
}

}  // namespace Work::Command_Line
