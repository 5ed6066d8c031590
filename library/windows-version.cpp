#include "windows-version.hpp"

#include <windows.h>

#include <cstring>
#include <vector>

#include "unsigned.hpp"

namespace Windows::Version {

namespace {

// U.S. English, code page 1252.
constexpr Unsigned::Longword Language_And_Code_Page = 0x040904E4;
constexpr std::size_t Maximum_Value_Length = 1000;

// Grows the buffer until the whole name fits: a long path is no failure.
std::string File_Name_Of(HMODULE module) {
    std::vector<char> buffer(300);
    for (;;) {
        DWORD length = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) throw No_Module_Information("no file name for the module");
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::string File_Name_Of_Module(const std::string& module_name) {
    if (module_name.empty()) return File_Name_Of(nullptr);
    HMODULE module = GetModuleHandleA(module_name.c_str());
    if (module == nullptr) throw Unknown_Module(module_name);
    return File_Name_Of(module);
}

std::string Value_Of(const std::string& file_name, const std::string& value_name) {
    std::string path =
        "\\StringFileInfo\\" + Unsigned::Hex_Image_Of(Language_And_Code_Page) + "\\" + value_name;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file_name.c_str(), &ignored);
    if (size == 0) throw No_Version_Info(file_name);
    std::vector<char> information(size);
    if (!GetFileVersionInfoA(file_name.c_str(), 0, size, information.data())) {
        throw No_Version_Info(file_name);
    }
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(information.data(), path.c_str(), &value, &length) || value == nullptr) {
        throw No_Version_Info(file_name + ": " + path);
    }
    const char* text = static_cast<const char*>(value);
    std::string result(text, strnlen(text, length));
    if (result.size() > Maximum_Value_Length) throw Constraint_Error(path + " is too long");
    return result;
}

}  // namespace

std::string Product_Name(const std::string& module_name) {
    return Value_Of(File_Name_Of_Module(module_name), "ProductName");
}

std::string Product_Version(const std::string& module_name) {
    return Value_Of(File_Name_Of_Module(module_name), "ProductVersion");
}

}  // namespace Windows::Version
