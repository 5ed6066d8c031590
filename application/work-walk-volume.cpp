// What a volume's used space holds beyond the scan of its root. The used space less what the
// scan found on disk is shown as a folder of its own, so that the bytes on disk at the root
// add up to what the volume says it uses: the volume's own files where its table was read,
// and the rest, which no listing shows.
#include "work-walk.hpp"

namespace Work {

namespace Files = Windows::Files;

namespace {

File_Size Difference_Or_None(File_Size more, File_Size less) {
    return more.Value() > less.Value() ? File_Size::From(more.Value() - less.Value()) : File_Size();
}

// What the records directly in a folder add to its size on disk.
File_Size On_Disk_In(const File_List& records, std::wstring_view folder) {
    File_Size sum{};
    for (auto at = First(records); Has_Element(at); at = Next(at)) {
        const File_Information& record = Element_At(at);
        // A file's streams are summed in its own record.
        if (record.Is_Stream || record.Folder_Name.View() != folder) continue;
        sum = Unsigned::Saturated_Sum(sum, Counted_Size_Of(record, true));
    }
    return sum;
}

// Space on disk alone: no size a listing would show.
File_Information Record_Of(std::wstring_view folder, std::wstring_view name, File_Size size_on_disk,
                           bool is_folder) {
    return File_Information{.File_Name = Wide_Text::Shared(name),
                            .Folder_Name = Wide_Text::Shared(folder),
                            .Owner = nullptr,
                            .Stream_Name = {},
                            .Object_Size = {},
                            .Size_On_Disk = size_on_disk,
                            .Last_Accessed = {},
                            .Is_Folder = is_folder,
                            .Has_Size_On_Disk = true};
}

}  // namespace

void Account_For_Volume(const std::wstring& root, const Files::Volume_Space& space, File_List&& volume_files,
                        File_List& records) {
    if (!Files::Is_Volume_Root(root)) return;
    const std::wstring folder = std::wstring(L"\\").append(Not_In_Scan_Name);
    const File_Size scanned = On_Disk_In(records, {});
    const File_Size own_files = On_Disk_In(volume_files, folder);
    const File_Size rest = Difference_Or_None(Difference_Or_None(space.Used(), scanned), own_files);
    Attach(volume_files, records, Definite_Element::Place::At_Back);
    Append(Record_Of(folder, Rest_Of_Volume_Name, rest, false), records);
    Append(Record_Of({}, Not_In_Scan_Name, Unsigned::Saturated_Sum(own_files, rest), true), records);
}

}  // namespace Work
