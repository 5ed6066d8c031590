#pragma once
// Which family of the platform the program runs on, and which thread is calling.

#include <cstdint>

namespace Windows {

bool Is_Nt();     // NT platform, major version 4 or higher
bool Is_Win98();  // 9x platform, version 4.10 or higher (98 and Me)
std::uint32_t Current_Thread_Id();

}  // namespace Windows
