// A non-resident attribute's data runs: the first eight bytes give the attribute's first VCN,
// the next eight the volume's clusters, the rest are the runs.
#include <vector>

#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Windows::Mft;
    if (size < 16) return 0;
    std::vector<std::uint8_t> attribute(Non_Resident_Header_Size + size - 16);
    std::memcpy(attribute.data() + Attribute_Lowest_Vcn, data, 8);
    const std::uint16_t runs_offset = Non_Resident_Header_Size;
    std::memcpy(attribute.data() + Attribute_Runs_Offset, &runs_offset, 2);
    std::memcpy(attribute.data() + Non_Resident_Header_Size, data + 16, size - 16);
    std::uint64_t clusters;
    std::memcpy(&clusters, data + 8, 8);
    const Bytes bytes(attribute.data(), attribute.size());
    try {
        const std::vector<Run> runs = Runs_Of(bytes, clusters);
        std::uint64_t first_vcn;
        std::memcpy(&first_vcn, data, 8);
        Fuzz::Check_Runs(runs, first_vcn, clusters);
        // Each run takes two bytes at least.
        FUZZ_REQUIRE(runs.size() <= (size - 16) / 2);
        Run_Pieces pieces;
        pieces.Add(runs);
        if (pieces.Is_Allocated_Within(clusters)) FUZZ_REQUIRE(pieces.Clusters() <= clusters);
    } catch (const Damaged_Volume&) {
    }
    return 0;
}
