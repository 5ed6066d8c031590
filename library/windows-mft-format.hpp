#pragma once
// NTFS as bytes: the boot sector's geometry, update-sequence fixups, record headers and their
// attributes, resident values and non-resident sizes, data runs and streams read by them,
// attribute lists, file names, standard information, security descriptors' owners, $SDS
// entries and the upper-case table. Portable C++: no platform header, no handle, no thread,
// no state of its own; every value comes from a bounds-checked range of bytes, and bytes no
// sound volume holds raise Damaged_Volume (or Not_Ntfs for a boot sector of another kind).

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "strings.hpp"

namespace Windows::Mft {

QUARRIX_FAILURE(Not_Ntfs, "WINDOWS.MFT.NOT_NTFS");
QUARRIX_FAILURE(Unreadable_Volume, "WINDOWS.MFT.UNREADABLE_VOLUME");
QUARRIX_FAILURE(Damaged_Volume, "WINDOWS.MFT.DAMAGED_VOLUME");

using Record_Number = std::uint64_t;
// Records below this one are the volume's own metadata files, which no listing shows.
inline constexpr Record_Number First_User_Record = 16;
// The volume stores sizes as signed 64-bit numbers: no size, nor any sum of sizes, is larger.
inline constexpr std::uint64_t Largest_Size = 0x7FFFFFFFFFFFFFFF;

// The on-disk layout, as the format's public documentation gives it; every offset is from
// the start of the structure named in its prefix.
inline constexpr std::size_t Attribute_Length = 0x04, Attribute_Non_Resident = 0x08,
                             Attribute_Name_Length = 0x09, Attribute_Name_Offset = 0x0A,
                             Attribute_Flags = 0x0C, Attribute_Value_Length = 0x10,
                             Attribute_Value_Offset = 0x14, Attribute_Lowest_Vcn = 0x10,
                             Attribute_Runs_Offset = 0x20, Attribute_Allocated_Size = 0x28,
                             Attribute_Data_Size = 0x30, Non_Resident_Header_Size = 0x40,
                             Attribute_Compressed_Size = 0x40, Packed_Header_Size = 0x48,
                             Resident_Header_Size = 0x18;
inline constexpr std::uint16_t Attribute_Compressed = 0x00FF, Attribute_Sparse = 0x8000;
inline constexpr std::uint32_t Standard_Information = 0x10, Attribute_List = 0x20,
                               File_Name = 0x30, Security_Descriptor = 0x50, Data = 0x80;
inline constexpr Record_Number Secure_File = 9, Upcase_File = 10;
inline constexpr std::size_t Upcase_Entries = 65536;
inline constexpr std::uint64_t Reference_Record_Mask = 0x0000FFFFFFFFFFFF;
inline constexpr std::size_t Reference_Sequence_Shift = 48;
inline constexpr std::uint64_t Largest_Descriptor = 1 << 16;  // what the platform allows
inline constexpr std::size_t Read_Block = 1 << 20;

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

    // Names on a volume count their UTF-16 units in one byte.
    const std::uint8_t* Units(std::size_t offset, std::uint8_t count) const {
        Check(offset, std::size_t(count) * 2);
        return data_ + offset;
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

// ---------------------------------------------------------------- the volume and its streams

// Where the volume's bytes come from: a device, an image, or memory.
class Volume_Source {
public:
    // Offsets and lengths are whole sectors, which a device requires.
    virtual void Read(std::uint64_t offset, std::uint8_t* into, std::size_t length) = 0;

protected:
    ~Volume_Source() = default;
};

struct Geometry {
    std::uint64_t Cluster_Size = 0;
    std::uint64_t Cluster_Count = 0;
    std::uint64_t Mft_Offset = 0;
    std::size_t Record_Size = 0;
    std::size_t Sector_Size = 0;

    std::uint64_t Volume_Size() const { return Cluster_Count * Cluster_Size; }
};

inline constexpr std::size_t Boot_Sector_Read = 4096;  // a whole sector on any disk
Geometry Geometry_Of_Boot_Sector(const Bytes& boot);
// From the boot sector, once the source is found to hold as many sectors as it claims.
Geometry Geometry_Of(Volume_Source& volume);

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
    // A non-resident attribute's runs; the first piece also gives the size.
    void Take(const Bytes& attribute, std::uint64_t cluster_count);
};

// Bytes of a stream from its runs, the part that lies on the volume; sparse runs read as zeros.
class Stream_Reader {
public:
    Stream_Reader(Volume_Source& volume, const Geometry& geometry, const Run_Pieces& stream)
        : volume_(volume), geometry_(geometry), stream_(stream) {}

    // Moves to a byte of the stream, which its runs must reach.
    void Seek(std::uint64_t position);
    // Fills the buffer from the stream's current position; the count read, 0 at its end.
    std::size_t Next(std::uint8_t* buffer, std::size_t length);
    std::vector<std::uint8_t> Whole();

private:
    Volume_Source& volume_;
    const Geometry& geometry_;
    const Run_Pieces& stream_;
    std::size_t run_ = 0;
    std::uint64_t in_run_ = 0;
    std::uint64_t expected_vcn_ = 0;
};

// ---------------------------------------------------------------- records and attributes

struct Record_Header {
    bool Is_Folder;
    std::uint64_t Base;  // 0 for an object's own record
    Record_Number Owner;  // the object the record belongs to
    std::uint16_t Sequence;  // the owner's, as this record names it
    bool Is_Base() const { return Base == 0; }
};

// A record in use, its update sequence applied in place; none for a record never used,
// marked bad or free.
std::optional<Record_Header> Header_Of(std::uint8_t* record, std::size_t size, Record_Number number);

// The attributes of a record whose header was taken: each one's type and bytes, in order.
template <typename Take>
void Each_Attribute(const std::uint8_t* record, std::size_t size, Record_Number number, Take take);

inline bool Is_Resident(const Bytes& attribute) {
    return attribute.At<std::uint8_t>(Attribute_Non_Resident) == 0;
}
inline Bytes Value_Of(const Bytes& attribute) {
    return attribute.Part(attribute.At<std::uint16_t>(Attribute_Value_Offset),
                          attribute.At<std::uint32_t>(Attribute_Value_Length));
}
struct Units {
    const std::uint8_t* Data;  // little-endian UTF-16
    std::uint8_t Count;
    bool Empty() const { return Count == 0; }
};
inline Units Name_Of(const Bytes& attribute) {
    const auto count = attribute.At<std::uint8_t>(Attribute_Name_Length);
    return {attribute.Units(attribute.At<std::uint16_t>(Attribute_Name_Offset), count), count};
}
bool Is_Named(const Units& name, std::u16string_view text);

// Sizes of the first piece of a non-resident attribute; none for a later piece.
struct Stream_Sizes {
    std::uint64_t Data_Size;
    std::uint64_t On_Disk;
};
std::optional<Stream_Sizes> Sizes_Of(const Bytes& attribute, bool is_volume_file,
                                     const Geometry& geometry);

struct Standard_Fields {
    std::uint64_t Accessed;  // 100 ns since 1601
    std::uint32_t Attributes;
    std::optional<std::uint32_t> Security_Id;  // none in the short form of older volumes
};
Standard_Fields Standard_Fields_Of(const Bytes& value);

struct File_Name_Fields {
    Record_Number Parent;
    std::uint16_t Parent_Sequence;
    bool Is_Dos_Only;
    Units Text;
};
File_Name_Fields File_Name_Fields_Of(const Bytes& value);

// The entries of an attribute list: each one's attribute type and the record holding it.
template <typename Visit>
void Each_List_Entry(const Bytes& list, Visit visit);

// ---------------------------------------------------------------- owners and names

// The owner's SID in a self-relative security descriptor; empty when it names none or is
// damaged.
std::span<const std::uint8_t> Owner_Sid_In(const Bytes& descriptor);

// The entries of $Secure:$SDS, each one's security id and descriptor, the mirror blocks left out.
template <typename Visit>
void Each_Sds_Entry(const Bytes& sds, Visit visit);

// The volume's upper-case table from $UpCase's bytes.
std::vector<char16_t> Upcase_Table_Of(std::span<const std::uint8_t> bytes);

// ---------------------------------------------------------------- templates

template <typename Take>
void Each_Attribute(const std::uint8_t* record, std::size_t size, Record_Number number, Take take) {
    constexpr std::size_t first_attribute = 0x14, bytes_in_use = 0x18;
    constexpr std::uint32_t end_of_attributes = 0xFFFFFFFF;
    const Bytes whole(record, size);
    const Bytes in_use = whole.Part(0, whole.At<std::uint32_t>(bytes_in_use));
    std::size_t offset = whole.At<std::uint16_t>(first_attribute);
    for (;;) {
        const auto type = in_use.At<std::uint32_t>(offset);
        if (type == end_of_attributes) return;
        const std::size_t length = in_use.At<std::uint32_t>(offset + Attribute_Length);
        if (length < Resident_Header_Size || length % 8 != 0 || !in_use.Holds(offset, length))
            throw Damaged_Volume("record " + std::to_string(number) + " has an attribute past its end");
        take(type, in_use.Part(offset, length));
        offset += length;
    }
}

template <typename Visit>
void Each_List_Entry(const Bytes& list, Visit visit) {
    constexpr std::size_t entry_length = 0x04, entry_record = 0x10, entry_header = 0x1A;
    for (std::size_t offset = 0; offset + entry_header <= list.Size();) {
        const std::size_t length = list.At<std::uint16_t>(offset + entry_length);
        if (length < entry_header) throw Damaged_Volume("an attribute list entry of no length");
        visit(list.At<std::uint32_t>(offset),
              Record_Number(list.At<std::uint64_t>(offset + entry_record) & Reference_Record_Mask));
        offset += length;
    }
}

template <typename Visit>
void Each_Sds_Entry(const Bytes& sds, Visit visit) {
    // Written in blocks, each followed by its mirror copy; the rest of a block after its last
    // entry is unused.
    constexpr std::size_t block_size = 0x40000, header = 20, alignment = 16;
    for (std::size_t block = 0; block < sds.Size(); block += 2 * block_size) {
        const std::size_t end = std::min(sds.Size(), block + block_size);
        for (std::size_t offset = block; offset + header <= end;) {
            const auto id = sds.At<std::uint32_t>(offset + 4);
            const auto where = sds.At<std::uint64_t>(offset + 8);
            const std::size_t length = sds.At<std::uint32_t>(offset + 16);
            if (where != offset || length < header || length > end - offset) break;
            visit(id, sds.Part(offset + header, length - header));
            offset += (length + alignment - 1) / alignment * alignment;
        }
    }
}

}  // namespace Windows::Mft
