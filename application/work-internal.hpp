#pragma once
// What the package's own files share and nothing outside needs.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "work-scan_file.hpp"
#include "work.hpp"

namespace Work {

// The Selection page as it stands, each control read once, since every reading waits on
// the display thread. An option without a control (streams off the NT family, or no
// window at all) has no tick, and stays as it is.
struct Selection_Page_Reading {
    std::array<std::optional<bool>, Selection_Option_Count> Tick;
    std::optional<std::string> Size_Text;  // none without the box
    std::optional<std::wstring> Names_Text;
    std::optional<bool>& operator[](Selection_Option option) {
        return Tick[static_cast<std::size_t>(option)];
    }
};
Selection_Page_Reading Read_Selection_Page();
bool Ticks_Differ(const Selection_Page_Reading& the_reading);
bool Size_Differs(const Selection_Page_Reading& the_reading);
bool Names_Differ(const Selection_Page_Reading& the_reading);
// The selection in force with the reading taken over, the time thresholds of ticked boxes
// taken from their texts; the minimum size too when asked for.
Selection Selection_Of(Selection_Page_Reading the_reading, bool with_size);

// The size image without the blank the abbreviated one begins with, for use within a text.
std::string Inline_Image_Of(File_Size the_size);
// "C: 256GB, 180GB used, 76GB free" for a root on C:.
std::string Volume_Image(const std::wstring& the_root, const Windows::Files::Volume_Space& the_space);
std::string On_Disk_Line(File_Size the_shown_size);

// The results' owner, the searcher, forgets them; the views are emptied first.
void Forget_Results();
// The comparison refers to the results: it goes before they do.
void End_Comparison();
// The records of a scan file replace the results, as a search's would; the results they
// replace are the caller's, to release once the new ones are shown.
[[nodiscard]] File_List Take_Results(Scan_File::Scan&& the_scan, const std::wstring& the_path);
void Release_In_Background(File_List&& the_records);
// The views refer to the records: emptied before the records go.
void Empty_File_View();
// Shows the records that pass the selection in force, without reading any control.
void Show_Passing_Records();

// The map's records: the shown ones, handed over by every display, and forgotten before
// the records go. Its layout thread lives as long as the searcher.
void Show_On_Map(std::vector<const File_Information*> the_records);
// The status line of the last display: the totals of the results shown. Safe from any thread.
std::string Shown_Results_Line();
void Forget_Map();
void Start_Map();
void End_Map();

// The searcher thread's life: started with the package, ended with the program, or by the
// termination handler while a walk may still run.
void Start_Searcher();
void End_Searcher();

}  // namespace Work
