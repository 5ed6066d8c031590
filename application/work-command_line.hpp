#pragma once
// The command line: no arguments opens the window as ever; a root alone opens it searching
// there; /save and /report run without a window, for scheduled tasks, and tell how they
// ended by their exit code.

#include <optional>
#include <string>
#include <vector>

#include "strings.hpp"
#include "work-selection.hpp"

namespace Work::Command_Line {

QUARRIX_FAILURE(Usage_Error, "WORK.COMMAND_LINE.USAGE_ERROR");
QUARRIX_FAILURE(Root_Not_Found, "WORK.COMMAND_LINE.ROOT_NOT_FOUND");
QUARRIX_FAILURE(Root_Not_Listed, "WORK.COMMAND_LINE.ROOT_NOT_LISTED");  // a folder, but denied
QUARRIX_FAILURE(Different_Roots, "WORK.COMMAND_LINE.DIFFERENT_ROOTS");

enum Exit_Code : int {
    Success = 0,
    Bad_Arguments = 1,
    Root_Missing = 2,     // or not listable
    Unreadable_Scan = 3,  // not a scan, damaged, newer, or not there
    Cannot_Write = 4,     // the report or the scan
    Scans_Differ = 5,     // compared with a scan of another root
    Other_Failure = 6,
};

// A scan file given alone is opened in the window, as a double click on it would.
enum class Mode { Window, Window_Searching, Window_Opening, Help, Save, Report };

struct Command {
    Mode The_Mode = Mode::Window;
    std::wstring Root;    // the folder to walk, or the scan to open in the window
    std::wstring Output;  // the scan or report to write
    std::wstring Scan;    // a report of this scan instead of a walk
    std::wstring Older;   // the scan to compare with
    std::optional<Selection> Options;  // given on the command line, else the saved ones
    bool Is_Json = false;
};

// The arguments after the program's name, split as the platform splits them.
std::vector<std::wstring> Arguments_Of(const wchar_t* the_command_line);
// Usage_Error with what is wrong.
Command Command_Of(const std::vector<std::wstring>& the_arguments);
const char* Usage();

// Runs a Help, Save or Report command without a window, telling its progress and failures
// on the console it was started from; returns the exit code.
int Run_Without_Window(const Command& the_command);
// For a command line that could not be understood: the reason and the usage, then the code.
int Refuse(const Usage_Error& the_error);

}  // namespace Work::Command_Line
