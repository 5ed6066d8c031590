#pragma once
// A thin layer over the platform registry with one process-wide current key on which
// every value operation acts. Values are 32-bit numbers (REG_DWORD) or strings (REG_SZ).

#include <cstdint>
#include <string>

#include "strings.hpp"

namespace Windows::Registry {

QUARRIX_FAILURE(Key_Not_Found, "WINDOWS.REGISTRY.KEY_NOT_FOUND");
QUARRIX_FAILURE(Key_Creation_Failure, "WINDOWS.REGISTRY.KEY_CREATION_FAILURE");
QUARRIX_FAILURE(Entry_Creation_Failure, "WINDOWS.REGISTRY.ENTRY_CREATION_FAILURE");
QUARRIX_FAILURE(Entry_Not_Found, "WINDOWS.REGISTRY.ENTRY_NOT_FOUND");
QUARRIX_FAILURE(Wrong_Type, "WINDOWS.REGISTRY.WRONG_TYPE");
QUARRIX_FAILURE(Overflow, "WINDOWS.REGISTRY.OVERFLOW");

// The two roots key paths are relative to; branch 0 and branch 1.
enum class Branch { Current_User = 0, Local_Machine = 1 };

// Strings are read into a buffer of this many bytes, the terminating NUL included.
inline constexpr std::size_t String_Buffer_Size = 250;

// Root HKEY_CURRENT_USER, current key the root itself.
void Initialise();

// Makes the branch the root and the root itself the current key.
void Define_Root(Branch branch);
// Opens an existing key; the current key is unchanged when that fails (Key_Not_Found).
void Set_Current_Key(const std::string& path);
// Creates or opens a key and makes it current (Key_Creation_Failure).
void Create_Key(const std::string& path);

// Writes into the current key, replacing any value of that name (Entry_Creation_Failure).
void Create_Entry(const std::string& name, std::uint32_t value);
void Create_Entry(const std::string& name, const std::string& value);

// Reads from the current key: Entry_Not_Found when it cannot be read, Wrong_Type when the
// stored type differs, and for strings Overflow when the value does not fit the buffer.
std::uint32_t Number_Of(const std::string& name);
std::string Text_Of(const std::string& name);

}  // namespace Windows::Registry
