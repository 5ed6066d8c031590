#pragma once
// Text values from the version resource of the running program or of a loaded module,
// in U.S. English, code page 1252.

#include <string>

#include "strings.hpp"

namespace Windows::Version {

QUARRIX_FAILURE(No_Version_Info, "WINDOWS.VERSION.NO_VERSION_INFO");
QUARRIX_FAILURE(Unknown_Module, "WINDOWS.VERSION.UNKNOWN_MODULE");
QUARRIX_FAILURE(No_Module_Information, "WINDOWS.VERSION.NO_MODULE_INFORMATION");

// Of the named loaded module, or of the running program when the name is empty.
std::string Product_Name(const std::string& module_name);
std::string Product_Version(const std::string& module_name);

}  // namespace Windows::Version
