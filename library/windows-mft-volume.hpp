#pragma once
// A volume's bytes as the master file table's reader takes them, for its own files only:
// ranges read through a bounds check, the read-only handle, the boot sector's geometry, and
// streams read by their data runs. Nothing read from the volume is trusted unchecked.

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "windows-mft.hpp"
#include "windows.hpp"

namespace Windows::Mft {

// The on-disk layout of an attribute's header, as the format's public documentation gives it.
constexpr std::size_t Attribute_Length = 0x04, Attribute_Non_Resident = 0x08,
                      Attribute_Name_Length = 0x09, Attribute_Name_Offset = 0x0A,
                      Attribute_Flags = 0x0C, Attribute_Value_Length = 0x10,
                      Attribute_Value_Offset = 0x14, Attribute_Lowest_Vcn = 0x10,
                      Attribute_Runs_Offset = 0x20, Attribute_Allocated_Size = 0x28,
                      Attribute_Data_Size = 0x30, Non_Resident_Header_Size = 0x40,
                      Attribute_Compressed_Size = 0x40, Packed_Header_Size = 0x48,
                      Resident_Header_Size = 0x18;
constexpr std::uint16_t Attribute_Compressed = 0x00FF, Attribute_Sparse = 0x8000;

constexpr std::size_t Read_Block = 1 << 20;

// A range of bytes read from the volume; every field is taken through a bounds check, and a
// field outside the range means the structure holding it is damaged.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Size() const { return size_; }
    const std::uint8_t* Data() const { return data_; }
    bool Holds(std::size_t offset, std::size_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }

    template <typename Field>
    Field At(std::size_t offset) const {
        Check(offset, sizeof(Field));
        Field field;
        std::memcpy(&field, data_ + offset, sizeof field);
        return field;
    }

    Bytes Part(std::size_t offset, std::size_t length) const {
        Check(offset, length);
        return Bytes(data_ + offset, length);
    }

    // Names on a volume count their characters in one byte; a million of them are made
    // together, in batches.
    Wide_Text::Shared Text(std::size_t offset, std::uint8_t characters, Wide_Text::Shared_Batch& into) const {
        Check(offset, characters * 2);
        return into.Text_Of_Little_Endian(data_ + offset, characters);
    }

private:
    void Check(std::size_t offset, std::size_t length) const {
        if (!Holds(offset, length)) [[unlikely]] Throw_Outside();
    }
    [[noreturn, gnu::noinline, gnu::cold]] static void Throw_Outside() {
        throw Damaged_Volume("a field lies outside its structure");
    }

    const std::uint8_t* data_;
    std::size_t size_;
};

// Little-endian integer of 1 to 8 bytes, as data runs store them; signed when asked.
std::uint64_t Integer_At(const Bytes& bytes, std::size_t offset, std::size_t length,
                         bool is_signed);

class Volume_File {
public:
    explicit Volume_File(const std::wstring& path);
    // Offsets and lengths are whole sectors, which a device handle requires.
    void Read(std::uint64_t offset, std::uint8_t* into, std::size_t length);

private:
    Windows::Unique<HANDLE, CloseHandle> handle_;
};

struct Geometry {
    std::uint64_t Cluster_Size = 0;
    std::uint64_t Cluster_Count = 0;
    std::uint64_t Mft_Offset = 0;
    std::size_t Record_Size = 0;

    std::uint64_t Volume_Size() const { return Cluster_Count * Cluster_Size; }
};

// From the boot sector, once the device is found to hold as many sectors as it claims.
Geometry Geometry_Of(Volume_File& volume);

struct Run {
    std::uint64_t First_Vcn;
    std::uint64_t Length;              // clusters
    std::optional<std::uint64_t> Lcn;  // none for a sparse run
};

// The runs of a non-resident attribute, each checked to lie on the volume.
std::vector<Run> Runs_Of(const Bytes& attribute, std::uint64_t cluster_count);

// Pieces of one attribute's runs, from the base record and its extensions in any order.
struct Run_Pieces {
    std::vector<Run> Runs;
    std::uint64_t Data_Size = 0;

    std::uint64_t Clusters() const;
    // No run sparse, and all of them together no larger than the volume.
    bool Is_Allocated_Within(std::uint64_t cluster_count) const;
    void Add(std::vector<Run> more);
};

// Bytes of a stream from its runs, the part that lies on the volume; sparse runs read as zeros.
class Stream_Reader {
public:
    Stream_Reader(Volume_File& volume, const Geometry& geometry, const Run_Pieces& stream)
        : volume_(volume), geometry_(geometry), stream_(stream) {}

    // Moves to a byte of the stream, which its runs must reach.
    void Seek(std::uint64_t position);
    // Fills the buffer from the stream's current position; the count read, 0 at its end.
    std::size_t Next(std::uint8_t* buffer, std::size_t length);
    std::vector<std::uint8_t> Whole();

private:
    Volume_File& volume_;
    const Geometry& geometry_;
    const Run_Pieces& stream_;
    std::size_t run_ = 0;
    std::uint64_t in_run_ = 0;
    std::uint64_t expected_vcn_ = 0;
};

}  // namespace Windows::Mft
