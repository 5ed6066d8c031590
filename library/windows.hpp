#pragma once
// Which family of the platform the program runs on, which thread is calling, and the owner
// of any platform handle.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

namespace Windows {

bool Is_Nt();     // NT platform, major version 4 or higher
bool Is_Win98();  // 9x platform, version 4.10 or higher (98 and Me)
std::uint32_t Current_Thread_Id();
// The system as it reports itself, for the log: "NT 6.1 (build 7601)".
std::string System_Image();

// Owns a platform handle and gives it back with its own release call when it goes:
// Unique<HANDLE, CloseHandle>, Unique<HANDLE, FindClose>, Unique<HMODULE, FreeLibrary>.
template <auto Release>
struct Handle_Closer {
    template <typename Handle>
    void operator()(Handle handle) const noexcept {
        Release(handle);
    }
};
template <typename Handle, auto Release>
using Unique = std::unique_ptr<std::remove_pointer_t<Handle>, Handle_Closer<Release>>;

// An entry point that older systems lack, looked up at run time: null where the module or
// the entry is missing.
template <typename Function>
Function Procedure(HMODULE the_module, const char* the_name) {
    if (!the_module) return nullptr;
    // Through void(*)() so the compiler accepts the change of signature as intended.
    auto entry = reinterpret_cast<void (*)()>(GetProcAddress(the_module, the_name));
    return reinterpret_cast<Function>(entry);
}

}  // namespace Windows
