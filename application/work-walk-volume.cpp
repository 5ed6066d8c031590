// What a volume's used space holds beyond the scan of its root. The used space less what the
// scan found on disk is shown as a folder of its own, so that the bytes at the root add up
// to what the volume says it uses: the volume's own files where its table was read, and the
// rest, which no listing shows.
#include "work-walk.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

const std::wstring Not_In_Scan_Folder = std::wstring(L"\\") + Not_In_Scan_Name;

File_Size Difference_Or_None(File_Size more, File_Size less) {
    return more.Value() > less.Value() ? File_Size::From(more.Value() - less.Value()) : File_Size();
}

// What the records directly in a folder add to its sums.
struct Sums {
    File_Size Logical;
    File_Size On_Disk;
};
Sums Sums_Of_Folder(const File_List& records, std::wstring_view folder) {
    Sums sums{};
    for (auto at = First(records); Has_Element(at); at = Next(at)) {
        const File_Information& record = Element_At(at);
        // A file's streams are summed in its own record.
        if (record.Is_Stream || record.Folder_Name.View() != folder) continue;
        sums.Logical = Unsigned::Saturated_Sum(sums.Logical, Counted_Size_Of(record, false));
        sums.On_Disk = Unsigned::Saturated_Sum(sums.On_Disk, Counted_Size_Of(record, true));
    }
    return sums;
}

File_Information Record_Of(std::wstring_view folder, const wchar_t* name, Sums sizes, bool is_folder) {
    return File_Information{.File_Name = Wide_Text::Shared(name),
                            .Folder_Name = Wide_Text::Shared(folder),
                            .Object_Size = sizes.Logical,
                            .Size_On_Disk = sizes.On_Disk,
                            .Is_Folder = is_folder,
                            .Has_Size_On_Disk = true};
}

}  // namespace

bool Is_Not_In_Scan(const File_Information& the_file) {
    const std::wstring_view folder = the_file.Folder_Name.View();
    if (folder.empty()) return the_file.File_Name.View() == Not_In_Scan_Name;
    return folder.starts_with(Not_In_Scan_Folder) &&
           (folder.size() == Not_In_Scan_Folder.size() || folder[Not_In_Scan_Folder.size()] == L'\\');
}

void Account_For_Volume(const std::wstring& root, const Files::Volume_Space& space, File_List&& volume_files,
                        File_List& records) {
    if (!Files::Is_Volume_Root(root)) return;
    const File_Size scanned = Sums_Of_Folder(records, {}).On_Disk;
    const Sums own_files = Sums_Of_Folder(volume_files, Not_In_Scan_Folder);
    const File_Size rest = Difference_Or_None(Difference_Or_None(space.Used(), scanned), own_files.On_Disk);
    Attach(volume_files, records, Definite_Element::Place::At_Back);
    Append(Record_Of(Not_In_Scan_Folder, Rest_Of_Volume_Name, {File_Size(), rest}, false), records);
    Append(Record_Of({}, Not_In_Scan_Name,
                     {own_files.Logical, Unsigned::Saturated_Sum(own_files.On_Disk, rest)}, true),
           records);
}

}  // namespace Work
