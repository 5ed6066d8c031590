// Security descriptors: the first byte chooses one descriptor alone (even) or a $Secure:$SDS
// stream (odd), whose entries' owners are then taken as the owners' read takes them.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Windows::Mft;
    if (size == 0) return 0;
    const Bytes rest(data + 1, size - 1);
    try {
        if ((data[0] & 1) == 0) {
            const auto sid = Owner_Sid_In(rest);
            if (!sid.empty()) FUZZ_REQUIRE(Fuzz::Lies_In(rest, sid.data(), sid.size()) && sid.size() >= 8);
        } else {
            Each_Sds_Entry(rest, [&](std::uint32_t, const Bytes& descriptor) {
                FUZZ_REQUIRE(Fuzz::Lies_In(rest, descriptor.Data(), descriptor.Size()));
                const auto sid = Owner_Sid_In(descriptor);
                if (!sid.empty()) FUZZ_REQUIRE(Fuzz::Lies_In(descriptor, sid.data(), sid.size()));
            });
        }
    } catch (const Damaged_Volume&) {
    }
    return 0;
}
