#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "windows-version.hpp"

namespace Version = Windows::Version;

namespace {

struct Module_Release {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Loaded_Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, Module_Release>;

}  // namespace

TEST(Version, TheProgramReadsItsOwnResource) {
    EXPECT_EQ(Version::Product_Name(""), "Quarrix");
    EXPECT_EQ(Version::Product_Version(""), "1.0");
    EXPECT_EQ(Version::Product_Name("test_version.exe"), "Quarrix");
}

TEST(Version, OnlyUsEnglishStringsCount) {
    Loaded_Module german(LoadLibraryA("german_only.dll"));
    ASSERT_TRUE(german) << GetLastError();
    EXPECT_THROW(Version::Product_Name("german_only.dll"), Version::No_Version_Info);
    EXPECT_THROW(Version::Product_Version("german_only"), Version::No_Version_Info);
}

TEST(Version, ModulesThatAreNotLoadedAreUnknown) {
    EXPECT_THROW(Version::Product_Name("german_only.dll"), Version::Unknown_Module);
    EXPECT_THROW(Version::Product_Version("no_such_module.dll"), Version::Unknown_Module);
}
