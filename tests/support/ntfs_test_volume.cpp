#include "ntfs_test_volume.hpp"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "temporary_tree.hpp"
#include "wide_text.hpp"

namespace Ntfs_Test_Volume {

namespace {

std::wstring Folder_Of_This_Program() {
    std::wstring path(1024, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.rfind(L'\\'));
}

std::string Contents_Of(const std::wstring& path) {
    std::ifstream file{std::filesystem::path(path)};
    return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

const std::wstring& Folder() {
    static const std::wstring folder = Folder_Of_This_Program() + L"\\ntfs-volumes";
    return folder;
}

const std::wstring& Image() {
    static const std::wstring image = Folder() + L"\\volume.img";
    return image;
}

bool Run_Script(const std::wstring& arguments) {
    return Run_Host_Command(L"/usr/bin/python3 " + Wide_Text::From_Utf8(QUARRIX_NTFS_SCRIPT) +
                            L" " + arguments);
}

std::string Made() {
    std::filesystem::create_directories(std::filesystem::path(Folder()));
    if (Host_Path_Of(Folder()).empty()) return "skip: no host system here to make an NTFS volume";
    if (!Run_Script(L"make " + Host_Path_Of(Folder())))
        return "the NTFS test volume could not be made";
    const std::string status = Contents_Of(Folder() + L"\\status");
    return status == "ready" ? std::string() : status;
}

Drive::Drive(const std::wstring& raw_image) {
    // The platform names C: by its own link, ".../dosdevices/c:".
    std::wstring drive_c = Host_Path_Of(L"C:\\");
    while (!drive_c.empty() && drive_c.back() == L'/') drive_c.pop_back();
    links_ = drive_c.substr(0, drive_c.rfind(L'/')) + L"/n:";
    mounted_ = Folder() + L"\\mounted";
    std::filesystem::create_directories(std::filesystem::path(mounted_));
    // The platform sees new drive links at once; the mount is read-only, from the image.
    is_ready_ = Run_Script(L"mount " + Host_Path_Of(Image()) + L" " + Host_Path_Of(mounted_)) &&
                Run_Host_Command(L"/bin/ln -sfn " + Host_Path_Of(mounted_) + L" " + links_) &&
                Run_Host_Command(L"/bin/ln -sfn " + Host_Path_Of(raw_image) + L" " + links_ + L":");
}

Drive::~Drive() {
    Run_Host_Command(L"/bin/rm -f " + links_ + L" " + links_ + L":");
    Run_Host_Command(L"/bin/umount " + Host_Path_Of(mounted_));
}

}  // namespace Ntfs_Test_Volume
