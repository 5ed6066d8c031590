#pragma once
// Registry keys of a test's own, named after the running test so that tests run in
// parallel processes never share one, and removed again when the test ends.

#include <windows.h>

#include <string>

namespace Registry_Keys {

// "Quarrix_Test_<suite>_<test>": unique per test.
std::string Test_Application_Name();

// Deletes the key and its subkeys; the registry's current key is first put back on the
// user's root so no open handle refers into the tree.
void Remove(HKEY root, const std::string& path);

}  // namespace Registry_Keys
