// The volume a path lies on: its root, its file system, its cluster size and its space.
#include <cwchar>

#include "windows-files.hpp"

namespace Windows::Files {

std::wstring Volume_Root_Of(const std::wstring& path) {
    int backslashes = path.compare(0, 2, L"\\\\") == 0 ? 2 : 1;
    std::wstring root = path + L'\\';
    for (std::size_t index = 2; index + 1 < path.size(); ++index) {
        if (path[index] == L'\\' && --backslashes == 0) {
            root = path.substr(0, index + 1);
            break;
        }
    }
    // A path that already ends in its root's backslash ("C:\") would get a second one.
    while (root.size() > 3 && root.ends_with(L"\\\\")) root.pop_back();
    return root;
}

bool Is_Volume_Root(const std::wstring& path) {
    if (path.size() < 2) return false;
    std::wstring with_backslash = path;
    while (with_backslash.ends_with(L'\\')) with_backslash.pop_back();
    with_backslash.push_back(L'\\');
    const std::wstring root = Volume_Root_Of(path);
    return CompareStringOrdinal(with_backslash.data(), static_cast<int>(with_backslash.size()), root.data(),
                                static_cast<int>(root.size()), TRUE) == CSTR_EQUAL;
}

bool Volume_Is_Ntfs(const std::wstring& path) {
    if (path.size() < 2) return false;
    constexpr DWORD name_length = 10;
    wchar_t file_system[name_length]{};
    if (!GetVolumeInformationW(Volume_Root_Of(path).c_str(), nullptr, 0, nullptr, nullptr,
                               nullptr, file_system, name_length))
        return false;
    return std::wcsncmp(file_system, L"NTFS", 4) == 0;
}

std::optional<std::uint64_t> Cluster_Size_Of(const std::wstring& path) {
    DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceW(Volume_Root_Of(path).c_str(), &sectors_per_cluster, &bytes_per_sector,
                           &free_clusters, &clusters))
        return std::nullopt;
    const std::uint64_t size = std::uint64_t{sectors_per_cluster} * bytes_per_sector;
    if (size == 0) return std::nullopt;
    return size;
}

std::optional<Volume_Space> Volume_Space_Of(const std::wstring& path) {
    ULARGE_INTEGER available{}, total{}, free{};
    if (!GetDiskFreeSpaceExW(Volume_Root_Of(path).c_str(), &available, &total, &free))
        return std::nullopt;
    if (free.QuadPart > total.QuadPart) return std::nullopt;
    return Volume_Space{.Total = File_Size::From(total.QuadPart), .Free = File_Size::From(free.QuadPart)};
}

File_Size Rounded_To_Clusters(File_Size the_size, std::uint64_t the_cluster_size) {
    const std::uint64_t size = the_size.Value();
    const std::uint64_t clusters = size / the_cluster_size + (size % the_cluster_size != 0);
    if (clusters > ~std::uint64_t{0} / the_cluster_size) return File_Size::From(~std::uint64_t{0});
    return File_Size::From(clusters * the_cluster_size);
}

}  // namespace Windows::Files
