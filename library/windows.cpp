#include "windows.hpp"

#include <windows.h>

#include <string>

namespace Windows {

// Asked afresh on every call: the size field is that of OSVERSIONINFOA (148).
static OSVERSIONINFOA Version_Information() {
    OSVERSIONINFOA information{};
    information.dwOSVersionInfoSize = sizeof information;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&information);
#pragma GCC diagnostic pop
    return information;
}

bool Is_Nt() {
    OSVERSIONINFOA information = Version_Information();
    return information.dwPlatformId == VER_PLATFORM_WIN32_NT && information.dwMajorVersion >= 4;
}

bool Is_Win98() {
    OSVERSIONINFOA information = Version_Information();
    return information.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS &&
           information.dwMajorVersion == 4 && information.dwMinorVersion >= 10;
}

std::uint32_t Current_Thread_Id() { return GetCurrentThreadId(); }

std::string System_Image() {
    OSVERSIONINFOA information = Version_Information();
    const char* family = information.dwPlatformId == VER_PLATFORM_WIN32_NT ? "NT " : "9x ";
    return family + std::to_string(information.dwMajorVersion) + "." +
           std::to_string(information.dwMinorVersion) + " (build " +
           std::to_string(information.dwBuildNumber & 0xFFFF) + ")";
}

}  // namespace Windows
