#include "windows-mft-volume.hpp"

#include <algorithm>
#include <atomic>
#include <cwchar>

namespace Windows::Mft {

namespace {

// Read only, and never in anyone's way: the volume stays in use while it is read.
HANDLE Open_Raw(const std::wstring& the_device) {
    return CreateFileW(the_device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

std::atomic<Raw_Opener> The_Opener{nullptr};

}  // namespace

void Set_Raw_Opener(Raw_Opener the_opener) { The_Opener = the_opener; }

Volume_File::Volume_File(const std::wstring& path) {
    const Raw_Opener opener = The_Opener;
    HANDLE opened = opener ? opener(path) : Open_Raw(path);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const std::string reason = Wide_Text::Utf8_Of(path) + ": error " + std::to_string(error);
        if (error == ERROR_ACCESS_DENIED) throw Volume_Access_Denied(reason);
        throw Unreadable_Volume(reason);
    }
    handle_.reset(opened);
}

void Volume_File::Read(std::uint64_t offset, std::uint8_t* into, std::size_t length) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_.get(), position, nullptr, FILE_BEGIN))
        throw Unreadable_Volume("cannot seek: error " + std::to_string(GetLastError()));
    while (length > 0) {
        DWORD got = 0;
        const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(length, Read_Block));
        if (!ReadFile(handle_.get(), into, asked, &got, nullptr))
            throw Unreadable_Volume("cannot read: error " + std::to_string(GetLastError()));
        if (got == 0) throw Damaged_Volume("the volume ends before its own structures do");
        into += got;
        length -= got;
    }
}

std::optional<Volume_Location> Volume_Location_Of(const std::wstring& path) {
    std::wstring full = Files::Long_Path_Form(path);
    constexpr std::wstring_view long_prefix = L"\\\\?\\";
    if (full.starts_with(L"\\\\?\\UNC\\") || !full.starts_with(long_prefix)) return std::nullopt;
    full.erase(0, long_prefix.size());
    std::wstring volume_path(full.size() + 2, L'\0');
    if (!GetVolumePathNameW(full.c_str(), volume_path.data(),
                            static_cast<DWORD>(volume_path.size())))
        return std::nullopt;
    volume_path.resize(std::wcslen(volume_path.c_str()));
    if (volume_path.empty() || volume_path.back() != L'\\') volume_path.push_back(L'\\');
    if (GetDriveTypeW(volume_path.c_str()) == DRIVE_REMOTE) return std::nullopt;
    Volume_Location location;
    std::wstring relative =
        full.size() > volume_path.size() ? full.substr(volume_path.size()) : L"";
    while (!relative.empty() && relative.back() == L'\\') relative.pop_back();
    location.Relative_Path = relative;
    if (volume_path.size() == 3 && volume_path[1] == L':') {
        location.Device = L"\\\\.\\" + volume_path.substr(0, 2);
        return location;
    }
    // A volume mounted in a folder: its own name, less the trailing backslash, opens it.
    constexpr DWORD volume_name_length = 64;  // "\\?\Volume{GUID}\" and more
    std::wstring volume_name(volume_name_length, L'\0');
    if (!GetVolumeNameForVolumeMountPointW(volume_path.c_str(), volume_name.data(),
                                           volume_name_length))
        return std::nullopt;
    volume_name.resize(std::wcslen(volume_name.c_str()));
    while (!volume_name.empty() && volume_name.back() == L'\\') volume_name.pop_back();
    location.Device = volume_name;
    return location;
}

}  // namespace Windows::Mft
