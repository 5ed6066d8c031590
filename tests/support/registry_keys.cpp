#include "registry_keys.hpp"

#include <gtest/gtest.h>

#include "windows-registry.hpp"

namespace Registry_Keys {

std::string Test_Application_Name() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return std::string("Quarrix_Test_") + test->test_suite_name() + "_" + test->name();
}

void Remove(HKEY root, const std::string& path) {
    Windows::Registry::Define_Root(Windows::Registry::Branch::Current_User);
    RegDeleteTreeA(root, path.c_str());
    RegDeleteKeyA(root, path.c_str());
}

}  // namespace Registry_Keys
