#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log.hpp"
#include "registry.hpp"
#include "registry_keys.hpp"
#include "windows-registry.hpp"
#include "windows.hpp"

namespace {

const std::regex Record_Form(R"(^\d+\.\d{3} \([0-9A-F]{4}(?:[0-9A-F]{4})?\) => (.*)$)");

class Log_File : public testing::Test {
protected:
    void SetUp() override {
        project_ = Registry_Keys::Test_Application_Name();
        char temporary[1024];
        GetTempPathA(sizeof temporary, temporary);
        folder_ = std::string(temporary) + project_;
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override {
        Log::Initialise();
        Registry_Keys::Remove(HKEY_CURRENT_USER, Key());
        Registry_Keys::Remove(HKEY_LOCAL_MACHINE, Key());
        std::filesystem::remove_all(folder_);
    }

    std::string Key() const { return "Software\\Vornhale\\" + project_; }

    void Configure(const std::string& log_name, std::optional<DWORD> limit,
                   HKEY root = HKEY_CURRENT_USER) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root, Key().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Log", 0, REG_SZ, reinterpret_cast<const BYTE*>(log_name.c_str()),
                       static_cast<DWORD>(log_name.size() + 1));
        if (limit) {
            RegSetValueExA(key, "Log Limit", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*limit),
                           sizeof *limit);
        }
        RegCloseKey(key);
    }

    static std::vector<std::string> Lines_Of(const std::string& name) {
        std::vector<std::string> lines;
        std::ifstream file(name);
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        return lines;
    }

    // The texts of the records, checking that every line is a whole record.
    static std::vector<std::string> Texts_Of(const std::vector<std::string>& lines) {
        std::vector<std::string> texts;
        for (const std::string& line : lines) {
            std::smatch match;
            EXPECT_TRUE(std::regex_match(line, match, Record_Form)) << line;
            texts.push_back(match.size() > 1 ? match[1].str() : line);
        }
        return texts;
    }

    static std::vector<std::string> Rotation_Lines(int limit, const std::string& secondary) {
        return {"The log file reached it's maximum size of " + std::to_string(limit) + " records",
                "These records are now stored in the file " + secondary};
    }

    bool Folder_Is_Empty() const { return std::filesystem::is_empty(folder_); }

    std::string project_;
    std::string folder_;
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(Log_File, WithoutAConfiguredNameNothingIsWritten) {
    Log::Open(project_);
    Log::Write("dropped");
    EXPECT_TRUE(Folder_Is_Empty());

    Configure("", 3);
    Log::Open(project_);
    Log::Write("dropped");
    EXPECT_TRUE(Folder_Is_Empty());

    Configure("Z:\\no\\such\\folder\\quarrix.log", std::nullopt);
    Log::Open(project_);
    EXPECT_NO_THROW(Log::Write("dropped"));
}

TEST_F(Log_File, RecordsCarryTimeAndThread) {
    const std::string name = folder_ + "\\quarrix.log";
    std::ofstream(name) << "left over from before\n";
    Configure(name, std::nullopt);
    Log::Open(project_);
    Log::Write("first");
    Log::Write("");
    Lines lines = Lines_Of(name);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Texts_Of(lines), (Lines{"first", ""}));
    EXPECT_NE(lines[0].find("(" + Log::Thread_Image_Of(Windows::Current_Thread_Id()) + ")"),
              std::string::npos);

    EXPECT_EQ(Log::Thread_Image_Of(0xAB), "00AB");
    EXPECT_EQ(Log::Thread_Image_Of(0xFFFF), "FFFF");
    EXPECT_EQ(Log::Thread_Image_Of(0x12345), "00012345");
}

TEST_F(Log_File, TheFourthWriteOfThreeRotates) {
    const std::string name = folder_ + "\\quarrix.log";
    const std::string secondary = folder_ + "\\quarrix_2.log";
    std::ofstream(secondary) << "a previous run\n";
    Configure(name, 3);
    Log::Open(project_);
    EXPECT_FALSE(std::filesystem::exists(secondary));
    for (const char* text : {"one", "two", "three"}) Log::Write(text);
    EXPECT_EQ(Texts_Of(Lines_Of(name)), (Lines{"one", "two", "three"}));

    Log::Write("four");
    EXPECT_EQ(Texts_Of(Lines_Of(secondary)), (Lines{"one", "two", "three"}));
    Lines current = Lines_Of(name);
    ASSERT_EQ(current.size(), 3u);
    EXPECT_EQ(Lines(current.begin(), current.begin() + 2), Rotation_Lines(3, secondary));
    EXPECT_EQ(Texts_Of({current[2]}), Lines{"four"});

    // Only records count towards the limit, and the older secondary file is replaced.
    for (const char* text : {"five", "six", "seven"}) Log::Write(text);
    Lines previous = Lines_Of(secondary);
    ASSERT_EQ(previous.size(), 5u);
    EXPECT_EQ(Texts_Of(Lines(previous.begin() + 2, previous.end())), (Lines{"four", "five", "six"}));
    EXPECT_EQ(Texts_Of({Lines_Of(name).back()}), Lines{"seven"});
}

TEST_F(Log_File, ARotationThatCannotRenameKeepsWritingAndTriesAgain) {
    const std::string name = folder_ + "\\quarrix.log";
    const std::string secondary = folder_ + "\\quarrix_2.log";
    Configure(name, 2);
    Log::Open(project_);
    // Another program holds the "_2" file, sharing nothing: it cannot be replaced.
    HANDLE held = CreateFileA(secondary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    for (const char* text : {"one", "two", "three", "four"}) Log::Write(text);
    EXPECT_EQ(Texts_Of(Lines_Of(name)), (Lines{"one", "two", "three", "four"}));
    CloseHandle(held);

    Log::Write("five");
    EXPECT_EQ(Texts_Of(Lines_Of(secondary)), (Lines{"one", "two", "three", "four"}));
    const Lines current = Lines_Of(name);
    ASSERT_EQ(current.size(), 3u);
    EXPECT_EQ(Lines(current.begin(), current.begin() + 2), Rotation_Lines(2, secondary));
    EXPECT_EQ(Texts_Of({current[2]}), Lines{"five"});
}

TEST_F(Log_File, ANameWithoutExtensionGetsTheSuffixAppended) {
    std::filesystem::create_directories(folder_ + "\\logs.d");
    const std::string name = folder_ + "\\logs.d\\quarrix";
    Configure(name, 1);
    Log::Open(project_);
    Log::Write("a");
    Log::Write("b");
    Log::Write("c");
    Lines current = Lines_Of(name);
    ASSERT_EQ(current.size(), 3u);
    EXPECT_EQ(Lines(current.begin(), current.begin() + 2), Rotation_Lines(1, name + "_2"));
    EXPECT_EQ(Texts_Of({current[2]}), Lines{"c"});
    EXPECT_EQ(Texts_Of({Lines_Of(name + "_2").back()}), Lines{"b"});
}

TEST_F(Log_File, ALimitOfZeroIsNoLimit) {
    const std::string name = folder_ + "\\quarrix.log";
    Configure(name, 0);
    Log::Open(project_);
    for (int record = 0; record < 10; ++record) Log::Write(std::to_string(record));
    EXPECT_EQ(Lines_Of(name).size(), 10u);
    EXPECT_FALSE(std::filesystem::exists(folder_ + "\\quarrix_2.log"));
}

TEST_F(Log_File, MachineSettingsServeAndUserSettingsStayUsable) {
    const std::string name = folder_ + "\\machine.log";
    Configure(name, std::nullopt, HKEY_LOCAL_MACHINE);
    Log::Open(project_);
    Log::Write("from the machine's configuration");
    EXPECT_EQ(Lines_Of(name).size(), 1u);

    // The application's own settings, defined after the log was opened, go to the user.
    Registry::Define(Registry::Company::Vornhale, project_);
    Registry::Define("\\Selection");
    Registry::Set("Days", 4);
    DWORD days = 0;
    DWORD size = sizeof days;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, (Key() + "\\Selection").c_str(), "Days",
                           RRF_RT_REG_DWORD, nullptr, &days, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(days, 4u);
    Registry::Initialise();
}

TEST_F(Log_File, LinesFromSeveralThreadsStayWhole) {
    const std::string name = folder_ + "\\threads.log";
    Configure(name, std::nullopt);
    Log::Open(project_);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([thread] {
            for (int line = 0; line < 200; ++line) {
                Log::Write("thread " + std::to_string(thread) + " line " + std::to_string(line) +
                           std::string(40, 'x'));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    Lines texts = Texts_Of(Lines_Of(name));
    ASSERT_EQ(texts.size(), 800u);
    std::vector<int> next_line(4, 0);
    for (const std::string& text : texts) {
        int thread = text[7] - '0';
        ASSERT_TRUE(thread >= 0 && thread < 4) << text;
        EXPECT_EQ(text, "thread " + std::to_string(thread) + " line " +
                            std::to_string(next_line[thread]++) + std::string(40, 'x'));
    }
}
