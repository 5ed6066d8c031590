#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "registry.hpp"
#include "registry_keys.hpp"
#include "windows-registry.hpp"

namespace Reg = Windows::Registry;

namespace {

class Settings : public testing::Test {
protected:
    void SetUp() override {
        application_ = Registry_Keys::Test_Application_Name();
        Registry::Define(Registry::Company::Vornhale, application_);
    }
    void TearDown() override {
        Registry_Keys::Remove(HKEY_CURRENT_USER, Key());
        Registry_Keys::Remove(HKEY_LOCAL_MACHINE, Key());
        Registry::Initialise();
    }

    std::string Key() const { return "Software\\Vornhale\\" + application_; }

    // Read behind the package's back, straight from the platform.
    static bool Raw_Value(const std::string& key, const std::string& name, DWORD& type,
                          std::string& data, HKEY root = HKEY_CURRENT_USER) {
        char buffer[1024];
        DWORD size = sizeof buffer;
        if (RegGetValueA(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                         buffer, &size) != ERROR_SUCCESS) {
            return false;
        }
        data.assign(buffer, size);
        return true;
    }
    static DWORD Raw_Number(const std::string& key, const std::string& name) {
        DWORD type = 0;
        std::string data;
        EXPECT_TRUE(Raw_Value(key, name, type, data)) << name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
        DWORD number = 0;
        if (data.size() == sizeof number) std::memcpy(&number, data.data(), sizeof number);
        return number;
    }

    std::string application_;
};

}  // namespace

TEST_F(Settings, FirstUseCreatesTheKeyAndStoresTheDefaults) {
    EXPECT_EQ(Registry::Company_Name(), "Vornhale");
    EXPECT_EQ(Registry::Registry_Key(), Key());
    Registry::Define("\\Selection");
    EXPECT_EQ(Registry::Value_Of("Days", 10), 10);
    EXPECT_EQ(Raw_Number(Key() + "\\Selection", "Days"), 10u);
    EXPECT_EQ(Registry::Value_Of("Root", "C:\\"), "C:\\");
    EXPECT_TRUE(Registry::Value_Of("Hidden", true));
    EXPECT_EQ(Raw_Number(Key() + "\\Selection", "Hidden"), 1u);

    // Stored values win over the defaults from then on.
    Registry::Set("Days", 12);
    Registry::Set("Hidden", false);
    Registry::Define("\\Selection");
    EXPECT_EQ(Registry::Value_Of("Days", 10), 12);
    EXPECT_FALSE(Registry::Value_Of("Hidden", true));
    EXPECT_EQ(Raw_Number(Key() + "\\Selection", "Hidden"), 0u);
    EXPECT_EQ(Registry::Value_Of("Root", "D:\\"), "C:\\");

    // The empty topic is the application key itself.
    Registry::Define("");
    Registry::Set("Top", 1);
    EXPECT_EQ(Raw_Number(Key(), "Top"), 1u);

    Registry::Define(Registry::Company::Harrowgen, "Quarrix");
    EXPECT_EQ(Registry::Registry_Key(), "Software\\Harrowgen\\Quarrix");
}

TEST_F(Settings, UnreadableValuesAreReplacedByTheirDefaults) {
    Registry::Define("");
    Registry::Set("Number", "not a number");
    EXPECT_THROW(Reg::Number_Of("Number"), Reg::Wrong_Type);
    EXPECT_EQ(Registry::Value_Of("Number", 7), 7);
    EXPECT_EQ(Raw_Number(Key(), "Number"), 7u);

    Registry::Set("Text", 3);
    EXPECT_THROW(Reg::Text_Of("Text"), Reg::Wrong_Type);
    EXPECT_EQ(Registry::Value_Of("Text", "fallback"), "fallback");

    EXPECT_THROW(Reg::Number_Of("Missing"), Reg::Entry_Not_Found);
    EXPECT_THROW(Reg::Text_Of("Missing"), Reg::Entry_Not_Found);

    const std::string longest(249, 'k');
    Registry::Set("Kept", longest);
    EXPECT_EQ(Registry::Value_Of("Kept", "short"), longest);

    Registry::Set("Too Long", std::string(250, 'x'));
    EXPECT_THROW(Reg::Text_Of("Too Long"), Reg::Overflow);
    EXPECT_EQ(Registry::Value_Of("Too Long", "short"), "short");
    EXPECT_EQ(Reg::Text_Of("Too Long"), "short");
}

TEST_F(Settings, NegativeIntegersKeepTheirBits) {
    Registry::Define("");
    Registry::Set("Offset", -5);
    EXPECT_EQ(Raw_Number(Key(), "Offset"), 0xFFFFFFFBu);
    EXPECT_EQ(Registry::Value_Of("Offset", 0), -5);
    Registry::Set("Lowest", INT_MIN);
    EXPECT_EQ(Registry::Value_Of("Lowest", 0), INT_MIN);
}

TEST_F(Settings, BranchOneReadsMachineWideKeys) {
    HKEY machine_key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, Key().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &machine_key, nullptr),
              ERROR_SUCCESS);
    DWORD limit = 42;
    RegSetValueExA(machine_key, "Limit", 0, REG_DWORD, reinterpret_cast<BYTE*>(&limit), sizeof limit);
    RegCloseKey(machine_key);

    for (int round = 0; round < 3; ++round) {
        Reg::Define_Root(Reg::Branch::Local_Machine);
        Reg::Set_Current_Key(Key());
        EXPECT_EQ(Reg::Number_Of("Limit"), 42u);
        Reg::Define_Root(Reg::Branch::Current_User);
        EXPECT_THROW(Reg::Set_Current_Key(Key()), Reg::Key_Not_Found);
    }
    // The predefined roots are still usable after all that switching.
    Registry::Define("");
    Registry::Set("After", 1);
    EXPECT_EQ(Raw_Number(Key(), "After"), 1u);
}

TEST_F(Settings, FailedOpenLeavesTheCurrentKeyAlone) {
    Reg::Create_Key(Key());
    Reg::Create_Entry("Value", std::uint32_t{3});
    EXPECT_THROW(Reg::Set_Current_Key(Key() + "\\Missing"), Reg::Key_Not_Found);
    EXPECT_EQ(Reg::Number_Of("Value"), 3u);
    EXPECT_THROW(Reg::Create_Key(std::string(300, 'n')), Reg::Key_Creation_Failure);
    EXPECT_EQ(Reg::Number_Of("Value"), 3u);
}

TEST_F(Settings, ConcurrentUseNeverSeesAClosedKey) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&, thread] {
            for (std::uint32_t round = 0; round < 200; ++round) {
                try {
                    Reg::Create_Key(Key());
                    Reg::Create_Entry("Round", round);
                    Reg::Number_Of("Round");
                } catch (const Failure&) {
                    ++failures[thread];
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int count : failures) EXPECT_EQ(count, 0);
}
