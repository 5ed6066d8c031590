#pragma once
// An optional, size-limited text log. Whether it is kept, and where, comes from the
// registry; without a configured file every write is dropped. Writing never raises.

#include <cstdint>
#include <string>

namespace Log {

// No log open.
void Initialise();

// Reads "Log" and "Log Limit" from "Software\Vornhale\<project>" (current user first, then
// the machine) and starts a new, empty log file. Leaves the registry root at the current user.
void Open(const std::string& project_name);

// Appends one record, rotating to the "_2" file first when the limit is reached.
void Write(const std::string& text);

// The thread field of a record: four hex digits, eight when the identifier needs them.
std::string Thread_Image_Of(std::uint32_t thread_id);

}  // namespace Log
