// The selection options through the real "Selection" page: exclusions, time boxes,
// thresholds, and their settings in the registry.
#include <gtest/gtest.h>

#include "gui-registered.hpp"
#include "registry.hpp"
#include "work_window.hpp"

using namespace Work_Window;
using Work::Selection_Option;

namespace {

class Options : public Work_Window_Test {};

std::uint64_t Value_Of(const FILETIME& the_time) {
    return (std::uint64_t{the_time.dwHighDateTime} << 32) | the_time.dwLowDateTime;
}

bool Is_On(Selection_Option the_option) { return Work::Selection_In_Force().Options[the_option]; }

Work::File_Information File_Accessed_At(std::uint64_t the_time) {
    Work::File_Information file;
    file.File_Name = L"f";
    file.Last_Accessed = {static_cast<DWORD>(the_time), static_cast<DWORD>(the_time >> 32)};
    return file;
}

}  // namespace

TEST_F(Options, AFirstStartShowsTheDefaults) {
    Open_Window();
    for (bool is_on : Work::Testing::Selection_To_Change().Options.Is_On) EXPECT_FALSE(is_on);
    EXPECT_EQ(Gui::Contents_Of(Work::Controls().Recently_Accessed), "5");
    EXPECT_EQ(Gui::Contents_Of(Work::Controls().Untouched), "90");
    EXPECT_EQ(Gui::Contents_Of(Work::Controls().Minimum_Size_Box), "0");
    for (const Gui::Check_Box* box :
         {&Work::Controls().Visit_Folders, &Work::Controls().Display_Folders, &Work::Controls().Display_Files,
          &Work::Controls().Display_Full_Size, &Work::Controls().Display_Streams, &Work::Controls().Display_Hidden,
          &Work::Controls().Display_System})
        EXPECT_FALSE(Gui::Is_Checked(*box));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Recently_Accessed));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Untouched));
    EXPECT_FALSE(IsWindowEnabled(Gui::Window_Of(Work::Controls().Back_Button)));
    EXPECT_TRUE(IsWindowEnabled(Gui::Window_Of(Work::Controls().Start_Stop_Button)));
    HWND tabs = GetDlgItem(Gui::Main_Window(), 51);
    EXPECT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 5) << "the NT family has Accounts";
    EXPECT_FALSE(Work::Selection_Has_Changed());
}

TEST_F(Options, TickingOneOfTheExclusiveBoxesUnticksTheOthers) {
    Open_Window();
    Show(Selection_Tab);
    Gui::Set(Work::Controls().Untouched);
    Gui::Set(Work::Controls().Display_Folders);
    Tick(Work::Controls().Recently_Accessed);
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Recently_Accessed));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Untouched));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Display_Folders));

    Gui::Set(Work::Controls().Display_Folders);
    Tick(Work::Controls().Untouched);
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Untouched));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Recently_Accessed));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Display_Folders));

    Gui::Set(Work::Controls().Recently_Accessed);
    Tick(Work::Controls().Display_Folders);
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Display_Folders));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Recently_Accessed));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Untouched));

    // Unticking excludes nothing.
    Gui::Set(Work::Controls().Untouched);
    Tick(Work::Controls().Display_Folders, false);
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Untouched));
    Gui::Set(Work::Controls().Display_Folders);
    Tick(Work::Controls().Untouched, false);
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Display_Folders));
}

TEST_F(Options, TimeBoxesWithoutANaturalNumberAreUntickedAndFilterNothing) {
    Open_Window();
    const FILETIME earlier_threshold{1, 2};
    for (const char* text : {"abc", "-5", "+5", " 5", "5 ", "", "-0", "99999999999", "1e3"}) {
        Work::Testing::Selection_To_Change().Just_Recently = earlier_threshold;
        Type(Work::Controls().Recently_Accessed, text);
        Gui::Set(Work::Controls().Recently_Accessed);
        Work::Determine_Options();
        EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Recently_Accessed)) << text;
        EXPECT_FALSE(Is_On(Selection_Option::NEWLY_TOUCHED)) << text;
        EXPECT_EQ(Value_Of(Work::Selection_In_Force().Just_Recently), Value_Of(earlier_threshold)) << text;

        Type(Work::Controls().Untouched, text);
        Gui::Set(Work::Controls().Untouched);
        Work::Determine_Options();
        EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Untouched)) << text;
        EXPECT_FALSE(Is_On(Selection_Option::AGED)) << text;
    }
    // 10,683,999 days times 201 no longer fits 32 bits; one day fewer does.
    Type(Work::Controls().Untouched, "10683999");
    Gui::Set(Work::Controls().Untouched);
    Work::Determine_Options();
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Untouched));
    Type(Work::Controls().Untouched, "10683998");
    Gui::Set(Work::Controls().Untouched);
    Work::Determine_Options();
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Untouched));
    EXPECT_TRUE(Is_On(Selection_Option::AGED));
    EXPECT_EQ(Work::Selection_In_Force().Ages_Ago.dwHighDateTime, 0u) << "more days than since 1601";

    // An old file passes whatever the filters hold now that they are off.
    EXPECT_FALSE(Is_On(Selection_Option::NEWLY_TOUCHED));
    Work::Testing::Selection_To_Change().Options[Selection_Option::FILES] = true;
    Work::Testing::Selection_To_Change().Options[Selection_Option::AGED] = false;
    EXPECT_TRUE(Work::To_Be_Displayed(File_Accessed_At(1), Work::Selection_In_Force(), Work::Display_Root()));
}

TEST_F(Options, ThresholdsFollowTheClockAndTheOddDay) {
    Open_Window();
    Gui::Set(Work::Controls().Display_Files);

    // Zero days: the threshold is now, and anything accessed before passes.
    const std::uint64_t before = Value_Of(Windows::Files::The_Time_Now());
    Type(Work::Controls().Untouched, "0");
    Gui::Set(Work::Controls().Untouched);
    Work::Determine_Options();
    const std::uint64_t after = Value_Of(Windows::Files::The_Time_Now());
    ASSERT_TRUE(Is_On(Selection_Option::AGED));
    EXPECT_GE(Value_Of(Work::Selection_In_Force().Ages_Ago), before);
    EXPECT_LE(Value_Of(Work::Selection_In_Force().Ages_Ago), after);
    EXPECT_TRUE(Work::To_Be_Displayed(File_Accessed_At(before - 1), Work::Selection_In_Force(), Work::Display_Root()));
    EXPECT_FALSE(Work::To_Be_Displayed(File_Accessed_At(after + 10'000'000), Work::Selection_In_Force(), Work::Display_Root()));

    // 90 days: the upper half is reduced by 90 x 201, the lower half kept.
    const FILETIME now = Windows::Files::The_Time_Now();
    const FILETIME threshold = Work::Days_Before_Now(90);
    EXPECT_LE(threshold.dwLowDateTime - now.dwLowDateTime, 10'000'000u) << "the lower half is now's";
    EXPECT_NEAR(static_cast<double>(threshold.dwHighDateTime),
                static_cast<double>(now.dwHighDateTime - 90 * 201), 1.0);
    EXPECT_THROW(Work::Days_Before_Now(10'683'999), Constraint_Error);

    // More minutes than since 1601: threshold 0, nothing is too old.
    Gui::Clear(Work::Controls().Untouched);
    Type(Work::Controls().Recently_Accessed, "2000000000");
    Gui::Set(Work::Controls().Recently_Accessed);
    Work::Determine_Options();
    ASSERT_TRUE(Is_On(Selection_Option::NEWLY_TOUCHED));
    EXPECT_EQ(Value_Of(Work::Selection_In_Force().Just_Recently), 0u);
    EXPECT_TRUE(Work::To_Be_Displayed(File_Accessed_At(0), Work::Selection_In_Force(), Work::Display_Root()));

    // Five minutes: five minutes' worth of 100 ns before now.
    Type(Work::Controls().Recently_Accessed, "5");
    const std::uint64_t start = Value_Of(Windows::Files::The_Time_Now());
    Work::Determine_Options();
    const std::uint64_t end = Value_Of(Windows::Files::The_Time_Now());
    EXPECT_GE(Value_Of(Work::Selection_In_Force().Just_Recently), start - 3'000'000'000u);
    EXPECT_LE(Value_Of(Work::Selection_In_Force().Just_Recently), end - 3'000'000'000u);
    EXPECT_FALSE(Work::To_Be_Displayed(File_Accessed_At(start - 3'100'000'000u), Work::Selection_In_Force(), Work::Display_Root()));
    EXPECT_TRUE(Work::To_Be_Displayed(File_Accessed_At(end), Work::Selection_In_Force(), Work::Display_Root()));
}

TEST_F(Options, OnlyTicksAndTheMinimumSizeCountAsAChange) {
    Open_Window();
    Work::Determine_Options();
    EXPECT_FALSE(Work::Selection_Has_Changed());
    Gui::Set(Work::Controls().Display_Hidden);
    EXPECT_TRUE(Work::Selection_Has_Changed());
    Work::Determine_Options();
    EXPECT_FALSE(Work::Selection_Has_Changed());
    Gui::Set(Work::Controls().Recently_Accessed);
    EXPECT_TRUE(Work::Selection_Has_Changed());
    Work::Determine_Options();
    Type(Work::Controls().Recently_Accessed, "17");
    EXPECT_FALSE(Work::Selection_Has_Changed()) << "a new number in a ticked box";
    Type(Work::Controls().Minimum_Size_Box, "1K");
    EXPECT_TRUE(Work::Selection_Has_Changed());
    Type(Work::Controls().Minimum_Size_Box, "0");
    EXPECT_FALSE(Work::Selection_Has_Changed());
}

TEST_F(Options, SavedOptionsComeBackAtTheNextStart) {
    Open_Window();
    Gui::Set(Work::Controls().Visit_Folders);
    Gui::Set(Work::Controls().Display_Files);
    Gui::Set(Work::Controls().Untouched);
    Gui::Set(Work::Controls().Display_Streams);
    Gui::Set(Work::Controls().Display_System);
    Type(Work::Controls().Recently_Accessed, "17");
    Type(Work::Controls().Untouched, "30");
    Type(Work::Controls().Minimum_Size_Box, "2K");
    Gui::Set(Work::Controls().Count_On_Disk);
    Gui::Set(Work::Controls().Name_Filter);
    Gui::Set(Work::Controls().Name_Filter, L"*.iso; \u00c4?*");
    Gui::Close();  // the termination handler saves
    Gui::Wait_For_End();

    const Work::Option_Set saved = Work::Testing::Selection_To_Change().Options;
    Work::Testing::Selection_To_Change().Options = {};
    Work::Get_Options_From_Registery();
    EXPECT_EQ(Work::Testing::Selection_To_Change().Options.Is_On, saved.Is_On);
    using enum Selection_Option;
    for (Selection_Option on : {SUBFOLDERS, FILES, AGED, STREAMS, SYSTEM, ON_DISK, NAMES}) EXPECT_TRUE(Is_On(on));
    EXPECT_EQ(Work::Selection_In_Force().Names.Text(), L"*.iso; \u00c4?*");
    EXPECT_TRUE(Work::Selection_In_Force().Names.Matches(L"\u00e4b.txt")) << "letters beyond ASCII without case";
    for (Selection_Option off : {NEWLY_TOUCHED, FOLDERS, FULL_SIZE, HIDDEN})
        EXPECT_FALSE(Is_On(off));
    Registry::Define("\\Selection");
    EXPECT_EQ(Registry::Value_Of("Within", "5"), "17");
    EXPECT_EQ(Registry::Value_Of("Since", "90"), "30");
    EXPECT_EQ(Registry::Value_Of("Min_Size", "0"), "2K");
    EXPECT_TRUE(Registry::Value_Of("Full Size", true) == false) << "stored under its legible name";
}

TEST_F(Options, LoadedOptionsTickOnlyOneOfTheExclusiveBoxes) {
    Registry::Define("\\Selection");
    Registry::Set("Newly Touched", true);
    Registry::Set("Aged", true);
    Registry::Set("Hidden", true);
    Open_Window();
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Recently_Accessed));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Untouched));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Display_Folders));
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Display_Hidden));
    EXPECT_TRUE(Work::Selection_Has_Changed()) << "Aged is loaded but not ticked";
}

TEST_F(Options, LoadedFoldersWinOverBothTimeBoxes) {
    Registry::Define("\\Selection");
    Registry::Set("Folders", true);
    Registry::Set("Newly Touched", true);
    Registry::Set("Aged", true);
    Open_Window();
    EXPECT_TRUE(Gui::Is_Checked(Work::Controls().Display_Folders));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Recently_Accessed));
    EXPECT_FALSE(Gui::Is_Checked(Work::Controls().Untouched));
}

TEST_F(Options, AStartThatFailsBeforeTheControlsExistKeepsTheSavedOptions) {
    Registry::Define("\\Selection");
    Registry::Set("Within", "42");
    Registry::Set("Min_Size", "7K");
    Registry::Set("Files", true);
    // The window came up, then the start failed before the options were loaded or any
    // control made: the close that follows saves nothing.
    Gui::Registered::Create(Registry::Company::Vornhale, Work::Application_Name(), Work::Version(),
                            Work::Termination, 0, 0, CW_USEDEFAULT, CW_USEDEFAULT, "", false);
    Work::Shut_Down(true);
    Registry::Define("\\Selection");
    EXPECT_EQ(Registry::Value_Of("Within", "5"), "42");
    EXPECT_EQ(Registry::Value_Of("Min_Size", "0"), "7K");
    EXPECT_TRUE(Registry::Value_Of("Files", false));
}
