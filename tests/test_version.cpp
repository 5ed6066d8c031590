#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

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

TEST(Version, LongModuleFileNamesAreReadWhole) {
    char temporary[1024];
    GetTempPathA(sizeof temporary, temporary);
    std::string folder = std::string(temporary) + "quarrix_long_module";
    std::string path = folder;
    while (path.size() < 400) path += "\\a_rather_long_folder_name_for_the_module";
    std::filesystem::create_directories(path);
    char own_name[1024];
    GetModuleFileNameA(nullptr, own_name, sizeof own_name);
    std::string copy = path + "\\version_copy.exe";
    std::filesystem::copy_file(own_name, copy, std::filesystem::copy_options::overwrite_existing);
    // Names this long need the long form for the wide calls.
    auto long_form = [](const std::string& name) {
        return L"\\\\?\\" + std::filesystem::path(name).wstring();
    };
    {
        Loaded_Module module(LoadLibraryW(long_form(copy).c_str()));
        ASSERT_TRUE(module) << GetLastError();
        EXPECT_EQ(Version::Product_Name("version_copy.exe"), "Quarrix");
    }
    // Taken down from the inside out.
    EXPECT_TRUE(DeleteFileW(long_form(copy).c_str())) << GetLastError();
    for (; path.size() > folder.size(); path.resize(path.find_last_of('\\'))) {
        EXPECT_TRUE(RemoveDirectoryW(long_form(path).c_str())) << GetLastError();
    }
    RemoveDirectoryA(folder.c_str());
    EXPECT_FALSE(std::filesystem::exists(folder));
}
