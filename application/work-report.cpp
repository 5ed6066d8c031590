// Reports as CSV and JSON. Texts are converted from UTF-16 here, so that a name with a
// unit the conversion cannot carry (an unpaired surrogate) still shows where it is.
#include "work-report.hpp"

#include <cstdio>

namespace Work::Report {

namespace Files = Windows::Files;

namespace {

enum class Cell_Kind { Name, Folder, Owner, Stream, Size, Size_On_Disk, Time, Change, Type };

std::vector<Cell_Kind> Cells_Of(const Columns& the_columns) {
    std::vector<Cell_Kind> cells{Cell_Kind::Name, Cell_Kind::Folder};
    if (the_columns.Owner) cells.push_back(Cell_Kind::Owner);
    if (the_columns.Stream) cells.push_back(Cell_Kind::Stream);
    cells.push_back(Cell_Kind::Size);
    cells.push_back(Cell_Kind::Size_On_Disk);
    cells.push_back(Cell_Kind::Time);
    if (the_columns.Change) cells.push_back(Cell_Kind::Change);
    cells.push_back(Cell_Kind::Type);
    return cells;
}

// UTF-8 of UTF-16; an unpaired surrogate becomes U+FFFD, or its \u escape in JSON.
void Append_Utf8(std::string& into, std::wstring_view text, bool for_json) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        std::uint32_t code = static_cast<std::uint16_t>(text[at]);
        const bool is_high = code >= 0xD800 && code < 0xDC00;
        const bool is_low = code >= 0xDC00 && code < 0xE000;
        if (is_high && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint16_t>(text[++at]) - 0xDC00);
        } else if (is_high || is_low) {
            if (for_json) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(code));
                into += escape;
                continue;
            }
            code = 0xFFFD;
        }
        if (code < 0x80) {
            into += static_cast<char>(code);
        } else if (code < 0x800) {
            into += static_cast<char>(0xC0 | code >> 6);
            into += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            into += static_cast<char>(0xE0 | code >> 12);
            into += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            into += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            into += static_cast<char>(0xF0 | code >> 18);
            into += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            into += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            into += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
}

std::string Utf8_Of(std::wstring_view text) {
    std::string utf8;
    Append_Utf8(utf8, text, false);
    return utf8;
}

// "file", "folder", "stream", "gone file", "shared file" (another path of an object met
// before, whose size adds to no sum)...
std::string Type_Of(const Row& the_row) {
    const File_Information& file = *the_row.File;
    std::string type = file.Is_Folder ? "folder" : file.Is_Stream ? "stream" : "file";
    if (file.Is_Shared) type = "shared " + type;
    if (the_row.Change && the_row.Change->Is_Gone) type = "gone " + type;
    return type;
}

// A cell's text, and whether JSON writes it as a number.
struct Cell {
    std::string Text;
    bool Is_Number = false;
};

// An unknown size on disk (a scan made before they were kept) is empty, null in JSON.
Cell Cell_Of(const Row& the_row, Cell_Kind the_kind, const std::wstring& the_root, bool on_disk) {
    const File_Information& file = *the_row.File;
    switch (the_kind) {
    case Cell_Kind::Name: return {Utf8_Of(file.File_Name)};
    case Cell_Kind::Folder: return {Utf8_Of(the_root + file.Folder_Name)};
    case Cell_Kind::Owner: return {Utf8_Of(Files::Image_Of(file.Owner))};
    case Cell_Kind::Stream: return {Utf8_Of(file.Stream_Name)};
    case Cell_Kind::Size: return {std::to_string(file.Object_Size.Value()), true};
    case Cell_Kind::Size_On_Disk:
        if (!file.Has_Size_On_Disk) return {};
        return {std::to_string(file.Size_On_Disk.Value()), true};
    case Cell_Kind::Time: return {Iso_8601_Of(file.Last_Accessed)};
    case Cell_Kind::Change:
        if (!the_row.Change || the_row.Change->Is_New) return {"new"};
        return {std::to_string(the_row.Change->Bytes_Of(on_disk)), true};
    case Cell_Kind::Type: return {Type_Of(the_row)};
    }
    return {};
}

// RFC 4180: a field with a comma, a quote or a line break is quoted, its quotes doubled.
void Append_Csv_Field(std::string& into, const std::string& the_field) {
    if (the_field.find_first_of(",\"\r\n") == std::string::npos) {
        into += the_field;
        return;
    }
    into += '"';
    for (char character : the_field) {
        if (character == '"') into += '"';
        into += character;
    }
    into += '"';
}

void Append_Csv_Line(std::string& into, const std::vector<std::string>& the_fields) {
    for (std::size_t field = 0; field < the_fields.size(); ++field) {
        if (field > 0) into += ',';
        Append_Csv_Field(into, the_fields[field]);
    }
    into += "\r\n";
}

void Append_Json_String(std::string& into, std::string_view the_utf8) {
    into += '"';
    for (char character : the_utf8) {
        switch (character) {
        case '"': into += "\\\""; break;
        case '\\': into += "\\\\"; break;
        case '\n': into += "\\n"; break;
        case '\r': into += "\\r"; break;
        case '\t': into += "\\t"; break;
        default:
            if (static_cast<unsigned char>(character) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(character));
                into += escape;
            } else {
                into += character;
            }
        }
    }
    into += '"';
}

// A JSON string of a UTF-16 text: unpaired surrogates keep their own escapes.
void Append_Json_Text(std::string& into, std::wstring_view the_text) {
    into += '"';
    std::size_t plain = 0;
    for (std::size_t at = 0; at <= the_text.size(); ++at) {
        const bool is_special = at < the_text.size() &&
                                (the_text[at] < 0x20 || the_text[at] == L'"' || the_text[at] == L'\\');
        if (at < the_text.size() && !is_special) continue;
        Append_Utf8(into, the_text.substr(plain, at - plain), true);
        if (is_special) {
            std::string escaped;
            Append_Json_String(escaped, std::string(1, static_cast<char>(the_text[at])));
            into += escaped.substr(1, escaped.size() - 2);
        }
        plain = at + 1;
    }
    into += '"';
}

std::vector<std::string> Owner_Titles(bool with_change) {
    std::vector<std::string> titles{"Owner", "Nr of files", "Usage"};
    titles.insert(titles.end(), std::begin(Credit::Age_Band_Titles), std::end(Credit::Age_Band_Titles));
    if (with_change) titles.push_back("Change");
    return titles;
}

}  // namespace

Columns Columns_For(bool is_ntfs, const Selection& the_selection) {
    return {.Owner = is_ntfs,
            .Stream = is_ntfs && the_selection.Options[Selection_Option::STREAMS],
            .On_Disk = the_selection.Options[Selection_Option::ON_DISK]};
}

std::vector<std::string> Titles_Of(const Columns& the_columns) {
    std::vector<std::string> titles;
    for (Cell_Kind kind : Cells_Of(the_columns)) {
        switch (kind) {
        case Cell_Kind::Name: titles.push_back("Name"); break;
        case Cell_Kind::Folder: titles.push_back("In Folder"); break;
        case Cell_Kind::Owner: titles.push_back("Owner"); break;
        case Cell_Kind::Stream: titles.push_back("Stream"); break;
        case Cell_Kind::Size: titles.push_back("Size"); break;
        case Cell_Kind::Size_On_Disk: titles.push_back("Size on disk"); break;
        case Cell_Kind::Time: titles.push_back("Last Accessed"); break;
        case Cell_Kind::Change: titles.push_back("Change"); break;
        case Cell_Kind::Type: titles.push_back("Type"); break;
        }
    }
    return titles;
}

std::vector<Owner_Total> Owner_Totals_Of(const std::vector<Row>& the_rows, bool on_disk) {
    Credit::Ledger ledger(true, on_disk);
    for (const Row& row : the_rows) ledger.Add(*row.File, row.Change ? &*row.Change : nullptr);
    return ledger.Close().Owners;
}

std::string Csv_Of(const Contents& the_contents) {
    std::string csv = "\xEF\xBB\xBF";
    Append_Csv_Line(csv, Titles_Of(the_contents.The_Columns));
    const std::vector<Cell_Kind> kinds = Cells_Of(the_contents.The_Columns);
    std::vector<std::string> fields(kinds.size());
    for (const Row& row : the_contents.Rows) {
        for (std::size_t cell = 0; cell < kinds.size(); ++cell)
            fields[cell] = Cell_Of(row, kinds[cell], the_contents.Root, the_contents.The_Columns.On_Disk).Text;
        Append_Csv_Line(csv, fields);
    }
    if (the_contents.Owners.empty()) return csv;
    csv += "\r\n";
    const bool with_change = the_contents.The_Columns.Change;
    Append_Csv_Line(csv, Owner_Titles(with_change));
    for (const Owner_Total& owner : the_contents.Owners) {
        std::vector<std::string> line{Utf8_Of(Files::Image_Of(owner.Owner)), std::to_string(owner.Files),
                                      std::to_string(owner.Usage.Value())};
        for (const File_Size part : owner.By_Age) line.push_back(std::to_string(part.Value()));
        if (with_change) line.push_back(std::to_string(owner.Change));
        Append_Csv_Line(csv, line);
    }
    return csv;
}

std::string Json_Of(const Contents& the_contents) {
    std::string json = "{\"root\": ";
    Append_Json_Text(json, the_contents.Root);
    json += ", \"made\": \"" + Iso_8601_Of(the_contents.Made) + "\", \"ntfs\": ";
    json += the_contents.Is_Ntfs ? "true" : "false";
    const std::vector<std::string> titles = Titles_Of(the_contents.The_Columns);
    json += ", \"columns\": [";
    for (std::size_t title = 0; title < titles.size(); ++title) {
        if (title > 0) json += ", ";
        Append_Json_String(json, titles[title]);
    }
    json += "],\n\"rows\": [";
    const std::vector<Cell_Kind> kinds = Cells_Of(the_contents.The_Columns);
    for (std::size_t row = 0; row < the_contents.Rows.size(); ++row) {
        json += row == 0 ? "\n{" : ",\n{";
        for (std::size_t cell = 0; cell < kinds.size(); ++cell) {
            if (cell > 0) json += ", ";
            Append_Json_String(json, titles[cell]);
            json += ": ";
            const File_Information& file = *the_contents.Rows[row].File;
            switch (kinds[cell]) {
            case Cell_Kind::Name: Append_Json_Text(json, file.File_Name); break;
            case Cell_Kind::Folder: Append_Json_Text(json, the_contents.Root + file.Folder_Name); break;
            case Cell_Kind::Owner: Append_Json_Text(json, Files::Image_Of(file.Owner)); break;
            case Cell_Kind::Stream: Append_Json_Text(json, file.Stream_Name); break;
            default: {
                const Cell value = Cell_Of(the_contents.Rows[row], kinds[cell], the_contents.Root,
                                           the_contents.The_Columns.On_Disk);
                if (value.Is_Number) json += value.Text;
                else if (kinds[cell] == Cell_Kind::Size_On_Disk) json += "null";
                else Append_Json_String(json, value.Text);
            }
            }
        }
        json += "}";
    }
    json += "],\n\"owners\": [";
    for (std::size_t owner = 0; owner < the_contents.Owners.size(); ++owner) {
        const Owner_Total& total = the_contents.Owners[owner];
        json += owner == 0 ? "\n{\"Owner\": " : ",\n{\"Owner\": ";
        Append_Json_Text(json, Files::Image_Of(total.Owner));
        json += ", \"Nr of files\": " + std::to_string(total.Files) +
                ", \"Usage\": " + std::to_string(total.Usage.Value());
        for (std::size_t band = 0; band < Credit::Age_Band_Count; ++band)
            json += ", \"" + std::string(Credit::Age_Band_Titles[band]) + "\": " + std::to_string(total.By_Age[band].Value());
        if (the_contents.The_Columns.Change) json += ", \"Change\": " + std::to_string(total.Change);
        json += "}";
    }
    json += "]}\n";
    return json;
}

// The system converts times below 2^63 only, up to the year 30827. The calendar repeats
// every 400 years: a time is converted within its cycle, and the cycles before it added to
// the year.
constexpr std::uint64_t Ticks_Per_400_Years = 146097ULL * 24 * 60 * 60 * 10'000'000;

std::string Iso_8601_Of(const File_Time& the_time) {
    const std::uint64_t ticks = (std::uint64_t{the_time.dwHighDateTime} << 32) | the_time.dwLowDateTime;
    if (ticks == 0) return {};
    const std::uint64_t within_cycle = ticks % Ticks_Per_400_Years;
    const File_Time cycle_time{static_cast<DWORD>(within_cycle), static_cast<DWORD>(within_cycle >> 32)};
    SYSTEMTIME fields{};
    if (!FileTimeToSystemTime(&cycle_time, &fields)) return {};
    const unsigned long long year = fields.wYear + 400 * (ticks / Ticks_Per_400_Years);
    // Past 9999 the year takes the expanded form, with a sign and six digits.
    const bool is_expanded = year > 9999;
    char image[40];
    std::snprintf(image, sizeof image, "%s%0*llu-%02u-%02uT%02u:%02u:%02uZ", is_expanded ? "+" : "",
                  is_expanded ? 6 : 4, year, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                  fields.wSecond);
    return image;
}

}  // namespace Work::Report
