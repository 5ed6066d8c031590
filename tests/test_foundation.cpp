#include <gtest/gtest.h>

#include <thread>

#include "semaphore.hpp"
#include "strings.hpp"
#include "unsigned.hpp"

using namespace Unsigned;

TEST(Unsigned, DecimalImagesAtTheLimits) {
    EXPECT_EQ(Image_Of(Quadword_Of(0)), "0");
    EXPECT_EQ(Image_Of(Quadword_Of(10)), "10");
    EXPECT_EQ(Image_Of(Quadword_Of(0xFFFFFFFF, 0xFFFFFFFF)), "18446744073709551615");
}

TEST(Unsigned, HexImages) {
    EXPECT_EQ(Hex_Image_Of(Byte{10}), "0A");
    EXPECT_EQ(Hex_Image_Of(Word{0x1234}), "1234");
    EXPECT_EQ(Hex_Image_Of(Longword{1}), "00000001");
    EXPECT_EQ(Hex_Image_Of(Longword{0xDEADBEEF}), "DEADBEEF");
    EXPECT_THROW(Digit_Of(16), Constraint_Error);
}

TEST(Unsigned, NarrowingAndWrapAround) {
    EXPECT_THROW(Longword_Of(Quadword_Of(1, 0)), Range_Error);
    EXPECT_EQ(Least_Significant_Longword_Of(Quadword_Of(1, 5)), 5u);
    Quadword all_ones = Quadword_Of(0xFFFFFFFF, 0xFFFFFFFF);
    EXPECT_TRUE(Is_Zero(all_ones + Quadword_Of(1)));
    EXPECT_EQ(Quadword_Of(0) - Quadword_Of(1), all_ones);
    EXPECT_EQ(Image_Of(Product_Of(0xFFFFFFFF, 0xFFFFFFFF)), "18446744065119617025");
    EXPECT_EQ(Image_Of(Quadword_Of(0, 1234567) / 1000), "1234");
}

TEST(Unsigned, OrderComparesHighHalvesFirst) {
    EXPECT_TRUE(Quadword_Of(0, 0xFFFFFFFF) < Quadword_Of(1, 0));
    EXPECT_FALSE(Quadword_Of(1, 0) < Quadword_Of(0, 0xFFFFFFFF));
    EXPECT_TRUE(Quadword_Of(1, 0) > Quadword_Of(0, 0xFFFFFFFF));
    EXPECT_FALSE(Quadword_Of(3) < Quadword_Of(3));
}

TEST(Strings, LegibleOf) {
    EXPECT_EQ(Strings::Legible_Of("__FILE__NAME_"), "File Name");
    EXPECT_EQ(Strings::Legible_Of("look in"), "Look In");
    EXPECT_EQ(Strings::Legible_Of("A"), "A");
    EXPECT_EQ(Strings::Legible_Of("aBC_dEF"), "Abc Def");
    EXPECT_EQ(Strings::Legible_Of("_"), "");
    EXPECT_EQ(Strings::Legible_Of(""), "");
    EXPECT_EQ(Strings::Legible_Of("NEWLY_TOUCHED"), "Newly Touched");
}

TEST(Failure, NameAndMessageInTheInformation) {
    Range_Error error("too big");
    EXPECT_EQ(error.Name(), "UNSIGNED.RANGE_ERROR");
    EXPECT_EQ(error.Information(), "UNSIGNED.RANGE_ERROR: too big");
    EXPECT_EQ(Information_Of(Constraint_Error()), "CONSTRAINT_ERROR");
}

TEST(Semaphore, SignalsDoNotCount) {
    Semaphore::Binary semaphore;
    semaphore.Signal();
    semaphore.Signal();
    semaphore.Wait();  // returns at once
    bool released = false;
    std::thread waiter([&] {
        semaphore.Wait();
        released = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(released);
    semaphore.Signal();
    waiter.join();
    EXPECT_TRUE(released);
}
