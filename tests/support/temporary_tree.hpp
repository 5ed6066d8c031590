#pragma once
// Real folder trees for tests, made in the user's temporary folder and removed afterwards.

#include <cstdint>
#include <filesystem>
#include <string>

class Temporary_Tree {
public:
    Temporary_Tree();
    ~Temporary_Tree();
    Temporary_Tree(const Temporary_Tree&) = delete;
    Temporary_Tree& operator=(const Temporary_Tree&) = delete;

    // The tree's root as a wide path without a trailing backslash.
    const std::wstring& Root() const { return root_; }
    std::wstring Path_Of(const std::wstring& relative) const { return root_ + L"\\" + relative; }

    void Make_Folder(const std::wstring& relative) const;
    void Make_File(const std::wstring& relative, std::uintmax_t size) const;  // folders too

private:
    std::wstring root_;
};

// Runs a command of the host system under Wine (for what Win32 cannot do there, such as
// giving a file to another user); False when it cannot be run.
bool Run_Host_Command(const std::wstring& command);
// The host system's path of a Windows path, empty when there is no host system.
std::wstring Host_Path_Of(const std::wstring& path);
// Gives the file to the host's "nobody" account; False when that cannot be done here.
bool Give_To_Another_User(const std::wstring& path);
