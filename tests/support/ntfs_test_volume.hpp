#pragma once
// The NTFS volume the tests make with ntfs-3g (support/ntfs_volume.py, kept between runs
// while that script is unchanged), and a drive letter that shows it to the program.

#include <string>

namespace Ntfs_Test_Volume {

// Makes the volume when needed: empty once it is ready; "skip: " and why where this machine
// cannot make one (no FUSE device, no host system); else why making it failed.
std::string Made();
const std::wstring& Folder();  // where the volume and the tests' files about it are
const std::wstring& Image();
bool Run_Script(const std::wstring& arguments);  // the script's command line after its name

// The volume mounted read-only as drive N:, whose raw device is the image given (the
// volume's own, or a damaged copy of it); gone again with the object.
class Drive {
public:
    explicit Drive(const std::wstring& raw_image);
    ~Drive();
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    bool Is_Ready() const { return is_ready_; }
    static constexpr const wchar_t* Root = L"N:\\";

private:
    std::wstring links_;  // the host's path of the drive's links, "n:" and "n::"
    std::wstring mounted_;
    bool is_ready_ = false;
};

}  // namespace Ntfs_Test_Volume
