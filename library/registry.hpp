#pragma once
// The application's own settings key, "Software\<company>\<application>" under the current
// user, with values read against defaults: a value that cannot be read is written with its
// default, so the key fills itself on first use.

#include <mutex>
#include <string>

namespace Registry {

enum class Company { Harrowgen = 0, Vornhale = 1 };

// Company Vornhale, no application name.
void Initialise();

// The current key is one for the process: a thread holds this across a Define of a topic and
// the reads and writes that follow it, so that another thread's Define cannot redirect them.
std::unique_lock<std::recursive_mutex> Exclusive_Use();

// Sets the company and application the key path is made of.
void Define(Company company, const std::string& application_name);
// Creates or opens the application key followed directly by the topic ("" or "\Sub") and
// makes it current; lets Key_Creation_Failure and Key_Not_Found through.
void Define(const std::string& topic);

// Write into the current key; Booleans are stored as REG_DWORD 0 or 1.
void Set(const std::string& name, const std::string& value);
void Set(const std::string& name, const char* value);
void Set(const std::string& name, int value);
void Set(const std::string& name, bool value);

// The stored value, or on any read failure the default, which is then stored.
std::string Value_Of(const std::string& name, const std::string& default_value);
std::string Value_Of(const std::string& name, const char* default_value);
int Value_Of(const std::string& name, int default_value);
bool Value_Of(const std::string& name, bool default_value);

std::string Company_Name();
std::string Registry_Key();  // "Software\Vornhale\Quarrix" for this program

}  // namespace Registry
