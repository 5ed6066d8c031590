#pragma once
// Reports: rows of the file list, as CSV (RFC 4180, UTF-8 with a byte-order mark, so that
// spreadsheet programs read non-ASCII names) or as JSON, with the file list's columns, full
// sizes in bytes and times in ISO 8601 UTC. The command line's reports and the window's
// export write the same.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "work-compare.hpp"
#include "work-credit.hpp"
#include "work-selection.hpp"
#include "work-walk.hpp"

namespace Work::Report {

// Which of the file list's optional columns the rows have.
struct Columns {
    bool Owner = false;     // the volume had owners
    bool Stream = false;    // ... and streams are shown
    bool Change = false;    // compared with an older scan
    bool On_Disk = false;   // sizes on disk are counted: changes and owners' totals
};
Columns Columns_For(bool is_ntfs, const Selection& the_selection);
// The titles in order: Name, In Folder, [Owner], [Stream], Size, Size on disk, Last
// Accessed, [Change], Type. The time is the last access whatever the volume, and a report says so.
std::vector<std::string> Titles_Of(const Columns& the_columns);

// One row, with its change when compared with an older scan.
struct Row {
    const File_Information* File = nullptr;
    std::optional<Compare::Change> Change;
};

// Their change is written when the columns have one.
using Owner_Total = Credit::Owner_Total;
// The known owners of the rows, in order of first appearance, totalled as the Accounts
// page totals them: each byte once, to the innermost row that holds it; gone rows count in
// the change alone.
std::vector<Owner_Total> Owner_Totals_Of(const std::vector<Row>& the_rows, bool on_disk);

struct Contents {
    std::wstring Root;
    bool Is_Ntfs = false;
    File_Time Made{};
    Columns The_Columns;
    std::vector<Row> Rows;
    std::vector<Owner_Total> Owners;  // none in an export
};

// The rows, then, after an empty line, the owners' totals when there are any.
std::string Csv_Of(const Contents& the_contents);
// {"root", "made", "ntfs", "columns", "rows": [{title: value}], "owners": [...]}.
std::string Json_Of(const Contents& the_contents);

// "2026-12-09T09:30:00Z", past the year 9999 "+030828-09-14T02:48:05Z"; empty for the
// unknown time.
std::string Iso_8601_Of(const File_Time& the_time);

}  // namespace Work::Report
