#include "temporary_tree.hpp"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

#include "wide_text.hpp"

namespace {

std::wstring Temporary_Folder() {
    DWORD length = GetTempPathW(0, nullptr);
    std::wstring folder(length, L'\0');
    folder.resize(GetTempPathW(length, folder.data()));
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

std::atomic<int> Trees_Made = 0;

}  // namespace

Temporary_Tree::Temporary_Tree() {
    root_ = Temporary_Folder() + L"\\quarrix-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++Trees_Made);
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
}

Temporary_Tree::~Temporary_Tree() {
    std::error_code ignored;
    // Read-only, hidden and system files are removed like any other.
    for (auto& entry : std::filesystem::recursive_directory_iterator(root_, ignored))
        SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(root_, ignored);
}

void Temporary_Tree::Make_Folder(const std::wstring& relative) const {
    std::filesystem::create_directories(Path_Of(relative));
}

void Temporary_Tree::Make_File(const std::wstring& relative, std::uintmax_t size) const {
    std::ofstream file(std::filesystem::path(Path_Of(relative)), std::ios::binary);
    std::string block(4096, 'q');
    for (std::uintmax_t left = size; left > 0;) {
        std::size_t part = left < block.size() ? static_cast<std::size_t>(left) : block.size();
        file.write(block.data(), static_cast<std::streamsize>(part));
        left -= part;
    }
}

bool Run_Host_Command(const std::wstring& command) {
    return _wsystem((L"start /wait /unix " + command).c_str()) == 0;
}

std::wstring Host_Path_Of(const std::wstring& path) {
    using Unix_Name_Of = char*(CDECL*)(const wchar_t*);
    auto entry = reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
    if (entry == nullptr) return {};
    char* name = reinterpret_cast<Unix_Name_Of>(entry)(path.c_str());
    if (name == nullptr) return {};
    std::wstring result = Wide_Text::From_Utf8(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool Give_To_Another_User(const std::wstring& path) {
    std::wstring host_path = Host_Path_Of(path);
    return !host_path.empty() && Run_Host_Command(L"/bin/chown nobody " + host_path);
}
