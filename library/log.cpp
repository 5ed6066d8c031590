#include "log.hpp"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>

#include "unsigned.hpp"
#include "windows-files.hpp"
#include "windows-registry.hpp"
#include "windows.hpp"

namespace Log {

namespace {

namespace Reg = Windows::Registry;

// A value of the log configuration: the current user's, else the machine's.
template <typename Reader>
auto Configured(const std::string& key, Reader read) -> std::optional<decltype(read())> {
    for (Reg::Branch branch : {Reg::Branch::Current_User, Reg::Branch::Local_Machine}) {
        try {
            Reg::Define_Root(branch);
            Reg::Set_Current_Key(key);
            return read();
        } catch (const Failure&) {
        }
    }
    return std::nullopt;
}

// Seconds since local midnight, to the millisecond: "45296.125".
std::string Time_Stamp() {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_s(&local, &seconds);
    long long milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    long long since_midnight = local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec;
    char image[32];
    std::snprintf(image, sizeof image, "%lld.%03lld", since_midnight, milliseconds);
    return image;
}

// The log file and its rotation, one thread at a time; Close only serves Initialise.
class Guarded {
public:
    void Open(const std::string& project_name) {
        std::lock_guard lock(mutex_);
        Close_File();
        std::string key = "Software\\Vornhale\\" + project_name;
        name_ = Configured(key, [] { return Reg::Text_Of("Log"); }).value_or("");
        Determine_Maximum_File_Size(key);
        // Start-up goes on with the settings of the current user.
        try {
            Reg::Define_Root(Reg::Branch::Current_User);
        } catch (const Failure&) {
        }
        if (name_.empty()) return;
        if (maximum_records_ != 0) {
            secondary_name_ = Derive_Seconday_Filename_From(name_);
            Delete_File(secondary_name_);  // not a file of this run
        }
        Delete_File(name_);
        Create_File();
    }

    void Close() {
        std::lock_guard lock(mutex_);
        Close_File();
    }

    void Write(const std::string& text) {
        std::lock_guard lock(mutex_);
        if (!file_.is_open()) return;
        if (maximum_records_ != 0 && records_ >= maximum_records_) Rotate();
        if (!file_.is_open()) return;
        file_ << Time_Stamp() << " (" << Thread_Image_Of(Windows::Current_Thread_Id()) << ") => "
              << text << '\n';
        file_.flush();
        ++records_;
    }

private:
    void Close_File() {
        file_.close();
        name_.clear();
        secondary_name_.clear();
        maximum_records_ = 0;
        records_ = 0;
    }

    // A missing limit, and a limit of 0, mean no limit.
    void Determine_Maximum_File_Size(const std::string& key) {
        maximum_records_ = Configured(key, [] { return Reg::Number_Of("Log Limit"); }).value_or(0);
    }

    // "_2" before the extension's dot (the last one in the last path component), else
    // appended: "C:\Temp\quarrix.log" -> "C:\Temp\quarrix_2.log".
    static std::string Derive_Seconday_Filename_From(const std::string& name) {
        std::size_t last_separator = name.find_last_of("\\/");
        std::size_t dot = name.find_last_of('.');
        bool has_extension =
            dot != std::string::npos && (last_separator == std::string::npos || dot > last_separator);
        if (!has_extension) return name + "_2";
        return name.substr(0, dot) + "_2" + name.substr(dot);
    }

    static void Delete_File(const std::string& name) { DeleteFileA(name.c_str()); }

    // Leaves the file closed when it cannot be made; the program runs on without a log.
    void Create_File() {
        records_ = 0;
        Open_File();
    }

    void Open_File() {
        file_.clear();
        file_.open(name_, std::ios::out | std::ios::trunc);
        if (!file_.is_open()) file_.clear();
    }

    // A rename that fails (the "_2" file held open by another program) leaves the records
    // in the current file, and the rotation is tried again after another limit's worth.
    void Rotate() {
        file_.close();
        try {
            Windows::Files::Rename_File(name_, secondary_name_);
        } catch (const Failure&) {
            file_.clear();
            file_.open(name_, std::ios::out | std::ios::app);
            records_ = 0;
            return;
        }
        Create_File();
        if (!file_.is_open()) return;
        // The limit's decimal image, leading blank included.
        file_ << "The log file reached it's maximum size of" << ' ' << maximum_records_
              << " records" << '\n'
              << "These records are now stored in the file " << secondary_name_ << '\n';
    }

    std::mutex mutex_;
    std::ofstream file_;
    std::string name_;
    std::string secondary_name_;
    std::uint32_t maximum_records_ = 0;
    std::uint32_t records_ = 0;
};

Guarded& The_Log() {
    static Guarded log;
    return log;
}

}  // namespace

void Initialise() { The_Log().Close(); }

void Open(const std::string& project_name) {
    try {
        The_Log().Open(project_name);
    } catch (...) {
    }
}

void Write(const std::string& text) {
    try {
        The_Log().Write(text);
    } catch (...) {
    }
}

std::string Thread_Image_Of(std::uint32_t thread_id) {
    if (thread_id > 0xFFFF) return Unsigned::Hex_Image_Of(Unsigned::Longword{thread_id});
    return Unsigned::Hex_Image_Of(static_cast<Unsigned::Word>(thread_id));
}

}  // namespace Log
