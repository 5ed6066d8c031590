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

// What the library cannot reach (paths beyond the short form) the host removes.
void Remove_Tree(const std::wstring& root) {
    std::error_code ignored;
    // Read-only, hidden and system files are removed like any other.
    for (std::filesystem::recursive_directory_iterator entry(root, ignored), end;
         !ignored && entry != end; entry.increment(ignored))
        SetFileAttributesW(entry->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    try {
        std::filesystem::remove_all(root, ignored);
    } catch (const std::filesystem::filesystem_error&) {
    }
    const std::wstring host_root = Host_Path_Of(root);
    if (std::filesystem::exists(root, ignored) && !host_root.empty())
        Run_Host_Command(L"/bin/rm -rf " + host_root);
}

}  // namespace

Temporary_Tree::Temporary_Tree() {
    root_ = Temporary_Folder() + L"\\quarrix-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++Trees_Made);
    Remove_Tree(root_);
    std::filesystem::create_directories(root_);
}

Temporary_Tree::~Temporary_Tree() { Remove_Tree(root_); }

void Temporary_Tree::Make_Folder(const std::wstring& relative) const {
    std::filesystem::create_directories(Path_Of(relative));
}

void Temporary_Tree::Make_File(const std::wstring& relative, std::uintmax_t size) const {
    const std::filesystem::path path(Path_Of(relative));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    std::string block(4096, 'q');
    for (std::uintmax_t left = size; left > 0;) {
        std::size_t part = left < block.size() ? static_cast<std::size_t>(left) : block.size();
        file.write(block.data(), static_cast<std::streamsize>(part));
        left -= part;
    }
}

bool Run_Host_Command(const std::wstring& command) {
    static std::atomic<int> commands_run = 0;
    const std::wstring status_file = Temporary_Folder() + L"\\quarrix-host-" +
                                     std::to_wstring(GetCurrentProcessId()) + L"-" +
                                     std::to_wstring(++commands_run);
    const std::wstring host_status_file = Host_Path_Of(status_file);
    if (host_status_file.empty()) return false;
    DeleteFileW(status_file.c_str());
    // Under load, Wine's start now and then finds no program to start ("File not found."),
    // and says so by its own exit status: the command never ran, so it is started again.
    const std::wstring start =
        L"start /unix /bin/sh -c \"" + command + L"; echo $? >" + host_status_file + L"\"";
    for (int attempt = 0; attempt < 3 && _wsystem(start.c_str()) != 0; ++attempt) Sleep(100);
    // Wine's start neither waits for a host program nor passes on its exit status: the
    // status file says when it has ended, and how.
    for (int waited = 0; waited < 60'000; waited += 10) {
        int status = -1;
        if (std::ifstream(std::filesystem::path(status_file)) >> status) {
            DeleteFileW(status_file.c_str());
            return status == 0;
        }
        Sleep(10);
    }
    return false;
}

namespace {

// A file beside the trees, for what passes between the tests and the host.
std::wstring Exchange_File(const wchar_t* kind) {
    static std::atomic<int> files_made = 0;
    return Temporary_Folder() + L"\\quarrix-" + kind + L"-" + std::to_wstring(GetCurrentProcessId()) +
           L"-" + std::to_wstring(++files_made);
}

}  // namespace

bool Run_Host_Python(const std::string& script, const std::wstring& arguments) {
    const std::wstring script_file = Exchange_File(L"script") + L".py";
    const std::wstring host_script_file = Host_Path_Of(script_file);
    if (host_script_file.empty()) return false;
    std::ofstream(std::filesystem::path(script_file), std::ios::binary) << script;
    const bool ran = Run_Host_Command(L"/usr/bin/python3 " + host_script_file + L" " + arguments);
    DeleteFileW(script_file.c_str());
    return ran;
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
