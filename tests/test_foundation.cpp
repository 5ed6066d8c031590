#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "semaphore.hpp"
#include "strings.hpp"
#include "unsigned.hpp"
#include "wide_text.hpp"

using namespace Unsigned;

// Every allocation of this program comes through here, so a test can tell what is still held.
namespace {
std::atomic<long> Live_Allocations{0};
}
void* operator new(std::size_t size) {
    void* block = HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    ++Live_Allocations;
    return block;
}
void operator delete(void* block) noexcept {
    if (block == nullptr) return;
    --Live_Allocations;
    HeapFree(GetProcessHeap(), 0, block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

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
    EXPECT_TRUE(Quadword_Of(0x7FFFFFFF, 0xFFFFFFFF) < Quadword_Of(0x80000000, 0)) << "unsigned, not signed";
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

// Texts made in batches, and copies of one text, count their references ahead of time: each
// must still last exactly as long as its last holder, whichever goes first and on whichever
// thread, and all their memory must go with the last.
TEST(Shared_Texts, BatchesAndCopiesLastAsLongAsTheirLastHolder) {
    const long before = Live_Allocations;
    std::vector<std::pair<std::wstring, Wide_Text::Shared>> texts;
    {
        Wide_Text::Shared_Batch batch;
        Wide_Text::Shared_Copies folder(L"\\some\\folder");
        for (int index = 0; index < 100000; ++index) {
            const std::wstring name = L"name " + std::to_wstring(index);
            texts.emplace_back(name, batch.Text(name));
            texts.emplace_back(L"bytes", batch.Text_Of_Bytes({reinterpret_cast<const std::uint8_t*>("bytes"), 5}));
            if (index % 50 == 0) texts.emplace_back(L"\\some\\folder", folder.Copy());
        }
        texts.emplace_back(std::wstring(20000, L'x'), batch.Text(std::wstring(20000, L'x')));  // too long for a batch
    }
    // Half the texts go; memory freed too early would now be taken by others.
    std::vector<std::pair<std::wstring, Wide_Text::Shared>> kept;
    for (std::size_t index = 0; index < texts.size(); ++index)
        if (index % 4 < 2) kept.push_back(std::move(texts[index]));
    std::vector<std::pair<std::wstring, Wide_Text::Shared>>().swap(texts);
    {
        const std::vector<std::wstring> others(20000, std::wstring(40, L'o'));
        for (const auto& [expected, text] : kept) ASSERT_EQ(text, expected);
    }
    // The rest go on another thread, as replaced results do.
    std::thread([dropped = std::move(kept)]() mutable { dropped.clear(); }).join();
    EXPECT_EQ(Live_Allocations, before);
}
