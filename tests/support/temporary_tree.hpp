#pragma once
// Real folder trees for tests, made in the user's temporary folder and removed afterwards.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

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
// Runs a Python script on the host with the given arguments (host paths, as a command
// line has them); False when it cannot be run or fails.
bool Run_Host_Python(const std::string& script, const std::wstring& arguments);
// Runs a host command when it goes out of scope, to undo what a test did on the host
// before the tree is removed.
class Host_Command_At_Exit {
public:
    explicit Host_Command_At_Exit(std::wstring command) : command_(std::move(command)) {}
    ~Host_Command_At_Exit() { Run_Host_Command(command_); }
    Host_Command_At_Exit(const Host_Command_At_Exit&) = delete;
    Host_Command_At_Exit& operator=(const Host_Command_At_Exit&) = delete;

private:
    const std::wstring command_;
};
// The host system's path of a Windows path, empty when there is no host system.
std::wstring Host_Path_Of(const std::wstring& path);
// Gives the file to the host's "nobody" account; False when that cannot be done here.
bool Give_To_Another_User(const std::wstring& path);
