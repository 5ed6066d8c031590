#pragma once
// What the fuzz targets share: invariants that abort with their reason, and the parsing of
// one record's attributes as the table read takes them.

#include <cstdio>
#include <cstdlib>

#include "windows-mft-format.hpp"

#define FUZZ_REQUIRE(condition)                                                     \
    do {                                                                            \
        if (!(condition)) {                                                         \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition,       \
                         __FILE__, __LINE__);                                       \
            std::abort();                                                           \
        }                                                                           \
    } while (false)

namespace Fuzz {

using namespace Windows::Mft;

inline bool Lies_In(const Bytes& outer, const std::uint8_t* data, std::size_t length) {
    return data >= outer.Data() && length <= outer.Size() &&
           std::size_t(data - outer.Data()) <= outer.Size() - length;
}

// Every run checked to lie on the volume, one after the other from the attribute's first VCN.
inline void Check_Runs(const std::vector<Run>& runs, std::uint64_t first_vcn, std::uint64_t clusters) {
    std::uint64_t vcn = first_vcn;
    for (const Run& run : runs) {
        FUZZ_REQUIRE(run.First_Vcn == vcn && run.Length > 0 && run.Length <= clusters);
        if (run.Lcn) FUZZ_REQUIRE(*run.Lcn <= clusters - run.Length);
        vcn += run.Length;
    }
}

// One attribute through every parser that applies to its type, as the table read calls them.
inline void Take_Attribute(std::uint32_t type, const Bytes& attribute, Record_Number owner,
                           const Geometry& geometry) {
    const Units name = Name_Of(attribute);
    FUZZ_REQUIRE(Lies_In(attribute, name.Data, 2 * std::size_t(name.Count)));
    if (!Is_Resident(attribute)) {
        Run_Pieces pieces;
        pieces.Take(attribute, geometry.Cluster_Count);
        Check_Runs(pieces.Runs, attribute.At<std::uint64_t>(Attribute_Lowest_Vcn), geometry.Cluster_Count);
        if (type == Data) {
            if (const auto sizes = Sizes_Of(attribute, owner < First_User_Record, geometry))
                FUZZ_REQUIRE(sizes->On_Disk <= geometry.Volume_Size());
        }
        return;
    }
    const Bytes value = Value_Of(attribute);
    FUZZ_REQUIRE(Lies_In(attribute, value.Data(), value.Size()));
    if (type == Standard_Information) {
        Standard_Fields_Of(value);
    } else if (type == File_Name) {
        const File_Name_Fields fields = File_Name_Fields_Of(value);
        FUZZ_REQUIRE(fields.Parent <= Reference_Record_Mask);
        FUZZ_REQUIRE(Lies_In(value, fields.Text.Data, 2 * std::size_t(fields.Text.Count)));
    } else if (type == Security_Descriptor) {
        const auto sid = Owner_Sid_In(value);
        if (!sid.empty()) FUZZ_REQUIRE(Lies_In(value, sid.data(), sid.size()));
    } else if (type == Attribute_List) {
        Each_List_Entry(value, [](std::uint32_t, Record_Number record) {
            FUZZ_REQUIRE(record <= Reference_Record_Mask);
        });
    }
}

// A record's header and attributes; the header when it is in use.
inline std::optional<Record_Header> Take_Record(std::uint8_t* data, std::size_t size, Record_Number number,
                                                const Geometry& geometry) {
    const std::optional<Record_Header> header = Header_Of(data, size, number);
    if (!header) return header;
    FUZZ_REQUIRE(header->Owner <= Reference_Record_Mask);
    if (header->Is_Base()) FUZZ_REQUIRE(header->Owner == number);
    Each_Attribute(data, size, number, [&](std::uint32_t type, const Bytes& attribute) {
        FUZZ_REQUIRE(Lies_In(Bytes(data, size), attribute.Data(), attribute.Size()));
        Take_Attribute(type, attribute, header->Owner, geometry);
    });
    return header;
}

}  // namespace Fuzz
