// An attribute list's value: each entry's type and the record holding it.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Windows::Mft;
    constexpr std::size_t smallest_entry = 0x1A;
    std::size_t entries = 0;
    try {
        Each_List_Entry(Bytes(data, size), [&](std::uint32_t, Record_Number record) {
            FUZZ_REQUIRE(record <= Reference_Record_Mask);
            ++entries;
        });
        FUZZ_REQUIRE(entries <= size / smallest_entry);
    } catch (const Damaged_Volume&) {
    }
    return 0;
}
