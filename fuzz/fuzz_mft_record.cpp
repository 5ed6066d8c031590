// One master file table record as the table read meets it: update sequence, header, every
// attribute and what each holds. Damaged_Volume is the one way a record may be refused.
#include <vector>

#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Windows::Mft;
    // Records are 1 KB on nearly every volume, 4 KB on disks of 4 KB sectors.
    const std::size_t record_size = size > 1024 ? 4096 : 1024;
    std::vector<std::uint8_t> record(record_size);
    std::memcpy(record.data(), data, std::min(size, record_size));
    Geometry geometry;
    geometry.Cluster_Size = 4096;
    geometry.Cluster_Count = 1 << 20;
    geometry.Record_Size = record_size;
    try {
        Fuzz::Take_Record(record.data(), record.size(), 64, geometry);
    } catch (const Damaged_Volume&) {
    }
    return 0;
}
