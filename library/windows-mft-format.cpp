// NTFS as bytes, portable: what each structure the table read meets holds, checked before it
// is trusted (see windows-mft-format.hpp).
#include "windows-mft-format.hpp"

#include <limits>

#include "unsigned.hpp"

namespace Windows::Mft {

namespace {

constexpr std::size_t Boot_Oem_Name = 0x03, Boot_Bytes_Per_Sector = 0x0B,
                      Boot_Sectors_Per_Cluster = 0x0D, Boot_Total_Sectors = 0x28,
                      Boot_Mft_Cluster = 0x30, Boot_Clusters_Per_Record = 0x40;

constexpr std::size_t Record_Update_Offset = 0x04, Record_Update_Count = 0x06,
                      Record_Sequence = 0x10, Record_Flags = 0x16, Record_Bytes_In_Use = 0x18,
                      Record_Base = 0x20, Record_Header_Size = 0x30;
constexpr std::uint16_t Record_In_Use = 0x0001, Record_Is_Folder = 0x0002;
constexpr std::size_t Fixup_Stride = 512;

constexpr std::size_t Information_Accessed = 0x18, Information_Attributes = 0x20,
                      Information_Security_Id = 0x34;
constexpr std::size_t Name_Parent = 0x00, Name_Length = 0x40, Name_Space = 0x41, Name_Text = 0x42;
constexpr std::uint8_t Dos_Name_Space = 2;

// Far beyond any real stream read whole here ($UpCase, $SDS), near enough to stop garbage.
constexpr std::uint64_t Largest_Whole_Stream = std::uint64_t(1) << 31;

bool Is_Power_Of_Two(std::uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

// Applies the update sequence: false when a sector's last two bytes do not carry the
// record's check value, which a torn or foreign write leaves.
bool Is_Fixed_Up(std::uint8_t* record, std::size_t size) {
    const Bytes bytes(record, size);
    const std::size_t offset = bytes.At<std::uint16_t>(Record_Update_Offset);
    const std::size_t count = bytes.At<std::uint16_t>(Record_Update_Count);
    if (count != size / Fixup_Stride + 1 || !bytes.Holds(offset, 2 * count)) return false;
    const auto check = bytes.At<std::uint16_t>(offset);
    for (std::size_t sector = 1; sector < count; ++sector) {
        const std::size_t end = sector * Fixup_Stride - 2;
        if (bytes.At<std::uint16_t>(end) != check) return false;
        std::memcpy(record + end, record + offset + 2 * sector, 2);
    }
    return true;
}

bool Is_Packed(const Bytes& attribute) {
    return (attribute.At<std::uint16_t>(Attribute_Flags) & (Attribute_Compressed | Attribute_Sparse)) != 0;
}

// Sizes no volume holds are damage: a stream larger than its allocation, or an allocation
// larger than the volume where neither sparse runs nor compression explain it.
void Check_Sizes(const Bytes& attribute, std::uint64_t size, const Geometry& geometry) {
    const auto allocated = attribute.At<std::uint64_t>(Attribute_Allocated_Size);
    if (size > allocated || allocated > Largest_Size ||
        (!Is_Packed(attribute) && allocated > geometry.Volume_Size()))
        throw Damaged_Volume("a stream of a size no volume holds");
}

// The bytes of the clusters the runs hold, or the allocation when they do not span it.
std::uint64_t Clusters_Held_By_Runs(const Bytes& attribute, std::uint64_t allocation,
                                    const Geometry& geometry) {
    std::uint64_t spanned = 0, held = 0;
    for (const Run& run : Runs_Of(attribute, geometry.Cluster_Count)) {
        spanned += run.Length;
        if (run.Lcn) held += run.Length;
    }
    return spanned * geometry.Cluster_Size == allocation ? held * geometry.Cluster_Size : allocation;
}

// Compressed and sparse attributes say how many clusters they hold; the others hold
// their whole allocation. Neither is more than the volume. The volume's own files may
// leave runs unallocated without saying so ($BadClus:$Bad spans the volume and holds only
// its bad clusters): theirs are counted from their runs where one piece holds them all.
std::uint64_t Size_On_Disk_Of(const Bytes& attribute, bool is_volume_file, const Geometry& geometry) {
    const bool is_packed = Is_Packed(attribute);
    std::uint64_t size = is_packed && attribute.Holds(0, Packed_Header_Size)
                             ? attribute.At<std::uint64_t>(Attribute_Compressed_Size)
                             : attribute.At<std::uint64_t>(Attribute_Allocated_Size);
    if (is_volume_file && !is_packed)
        size = std::min(size, Clusters_Held_By_Runs(attribute, size, geometry));
    if (size > geometry.Volume_Size()) throw Damaged_Volume("a stream takes more than its volume");
    return size;
}

}  // namespace

std::uint64_t Integer_At(const Bytes& bytes, std::size_t offset, std::size_t length,
                         bool is_signed) {
    const Bytes field = bytes.Part(offset, length);
    std::uint64_t value = 0;
    for (std::size_t index = length; index-- > 0;) value = (value << 8) | field.Data()[index];
    if (is_signed && length < 8 && (field.Data()[length - 1] & 0x80) != 0)
        value |= ~std::uint64_t(0) << (8 * length);
    return value;
}

// ---------------------------------------------------------------- the volume and its streams

Geometry Geometry_Of_Boot_Sector(const Bytes& boot) {
    if (std::memcmp(boot.Part(Boot_Oem_Name, 8).Data(), "NTFS    ", 8) != 0)
        throw Not_Ntfs("the boot sector names another file system");
    const std::uint64_t sector = boot.At<std::uint16_t>(Boot_Bytes_Per_Sector);
    const std::uint8_t per_cluster = boot.At<std::uint8_t>(Boot_Sectors_Per_Cluster);
    // Above 128 the count is a negative power of two: 2 ** (256 - value).
    const std::uint64_t sectors =
        per_cluster > 128 ? std::uint64_t(1) << std::min(256 - per_cluster, 16) : per_cluster;
    Geometry geometry;
    geometry.Cluster_Size = sector * sectors;
    if (!Is_Power_Of_Two(sector) || sector < 256 || sector > 4096 ||
        !Is_Power_Of_Two(geometry.Cluster_Size) || geometry.Cluster_Size > (std::uint64_t(1) << 21))
        throw Not_Ntfs("the boot sector's geometry is not NTFS's");
    geometry.Sector_Size = static_cast<std::size_t>(sector);
    geometry.Cluster_Count = boot.At<std::uint64_t>(Boot_Total_Sectors) / sectors;
    if (geometry.Cluster_Count > std::numeric_limits<std::uint64_t>::max() / geometry.Cluster_Size)
        throw Not_Ntfs("the boot sector's size is not NTFS's");
    const std::uint64_t mft_cluster = boot.At<std::uint64_t>(Boot_Mft_Cluster);
    const auto per_record = boot.At<std::int8_t>(Boot_Clusters_Per_Record);
    const std::uint64_t record_size = per_record > 0
                                          ? per_record * geometry.Cluster_Size
                                          : std::uint64_t(1) << std::min(-per_record, 31);
    if (!Is_Power_Of_Two(record_size) || record_size < 1024 || record_size > 65536 ||
        mft_cluster >= geometry.Cluster_Count)
        throw Not_Ntfs("the boot sector's master file table is not NTFS's");
    geometry.Record_Size = static_cast<std::size_t>(record_size);
    geometry.Mft_Offset = mft_cluster * geometry.Cluster_Size;
    return geometry;
}

Geometry Geometry_Of(Volume_Source& volume) {
    std::vector<std::uint8_t> boot_sector(Boot_Sector_Read);
    volume.Read(0, boot_sector.data(), boot_sector.size());
    const Geometry geometry = Geometry_Of_Boot_Sector(Bytes(boot_sector.data(), boot_sector.size()));
    // Every size read later is bounded by the volume's: the source must hold all of it.
    std::vector<std::uint8_t> last_sector(geometry.Sector_Size);
    try {
        volume.Read(geometry.Volume_Size() - geometry.Sector_Size, last_sector.data(),
                    last_sector.size());
    } catch (const Unreadable_Volume&) {
        throw Damaged_Volume("the device holds less than the boot sector claims");
    }
    return geometry;
}

std::vector<Run> Runs_Of(const Bytes& attribute, std::uint64_t cluster_count) {
    // VCNs are signed: a piece that starts or runs past the largest one wraps round, and its
    // runs would sort before those of the pieces it follows.
    std::uint64_t vcn = attribute.At<std::uint64_t>(Attribute_Lowest_Vcn);
    if (vcn > Largest_Size) throw Damaged_Volume("a data run past the largest stream");
    std::size_t offset = attribute.At<std::uint16_t>(Attribute_Runs_Offset);
    std::int64_t lcn = 0;
    std::vector<Run> runs;
    for (;;) {
        const std::uint8_t header = attribute.At<std::uint8_t>(offset++);
        if (header == 0) return runs;
        const std::size_t length_size = header & 0x0F, offset_size = header >> 4;
        if (length_size == 0 || length_size > 8 || offset_size > 8)
            throw Damaged_Volume("a data run of an impossible form");
        const std::uint64_t length = Integer_At(attribute, offset, length_size, false);
        offset += length_size;
        if (length == 0 || length > cluster_count) throw Damaged_Volume("a data run of no length");
        if (length > Largest_Size - vcn) throw Damaged_Volume("a data run past the largest stream");
        Run run{vcn, length, std::nullopt};
        if (offset_size > 0) {
            // The sum of offsets is checked before it is made: past the largest it is undefined.
            const auto step = static_cast<std::int64_t>(Integer_At(attribute, offset, offset_size, true));
            if (step > 0 && lcn > std::numeric_limits<std::int64_t>::max() - step)
                throw Damaged_Volume("a data run outside the volume");
            lcn += step;
            offset += offset_size;
            if (lcn < 0 || std::uint64_t(lcn) > cluster_count - length)
                throw Damaged_Volume("a data run outside the volume");
            run.Lcn = std::uint64_t(lcn);
        }
        runs.push_back(run);
        vcn += length;
    }
}

// Sparse runs may add up to any count: the sum stops at the largest.
std::uint64_t Run_Pieces::Clusters() const {
    std::uint64_t clusters = 0;
    for (const Run& run : Runs) clusters = Unsigned::Saturated_Sum(clusters, run.Length);
    return clusters;
}

bool Run_Pieces::Is_Allocated_Within(std::uint64_t cluster_count) const {
    return std::ranges::all_of(Runs, [](const Run& run) { return run.Lcn.has_value(); }) &&
           Clusters() <= cluster_count;
}

void Run_Pieces::Add(std::vector<Run> more) {
    Runs.insert(Runs.end(), more.begin(), more.end());
    std::sort(Runs.begin(), Runs.end(), [](const Run& left, const Run& right) {
        return left.First_Vcn < right.First_Vcn;
    });
}

void Run_Pieces::Take(const Bytes& attribute, std::uint64_t cluster_count) {
    if (!attribute.Holds(0, Non_Resident_Header_Size)) throw Damaged_Volume("a short attribute");
    if (attribute.At<std::uint64_t>(Attribute_Lowest_Vcn) == 0)
        Data_Size = attribute.At<std::uint64_t>(Attribute_Data_Size);
    Add(Runs_Of(attribute, cluster_count));
}

void Stream_Reader::Seek(std::uint64_t position) {
    run_ = 0;
    expected_vcn_ = 0;
    in_run_ = 0;
    while (run_ < stream_.Runs.size()) {
        const Run& run = stream_.Runs[run_];
        if (run.First_Vcn != expected_vcn_) throw Damaged_Volume("a stream's runs leave a gap");
        const std::uint64_t run_bytes = run.Length * geometry_.Cluster_Size;
        if (position < run_bytes) {
            in_run_ = position;
            return;
        }
        position -= run_bytes;
        expected_vcn_ += run.Length;
        ++run_;
    }
    throw Damaged_Volume("a position past a stream's runs");
}

std::size_t Stream_Reader::Next(std::uint8_t* buffer, std::size_t length) {
    std::size_t filled = 0;
    while (filled < length && run_ < stream_.Runs.size()) {
        const Run& run = stream_.Runs[run_];
        if (run.First_Vcn != expected_vcn_) throw Damaged_Volume("a stream's runs leave a gap");
        const std::uint64_t run_bytes = run.Length * geometry_.Cluster_Size;
        const std::size_t part = static_cast<std::size_t>(
            std::min<std::uint64_t>(run_bytes - in_run_, length - filled));
        if (run.Lcn)
            volume_.Read(*run.Lcn * geometry_.Cluster_Size + in_run_, buffer + filled, part);
        else
            std::memset(buffer + filled, 0, part);
        filled += part;
        in_run_ += part;
        if (in_run_ == run_bytes) {
            expected_vcn_ += run.Length;
            ++run_;
            in_run_ = 0;
        }
    }
    return filled;
}

std::vector<std::uint8_t> Stream_Reader::Whole() {
    // Checked before anything is allocated for it: the size is read from the volume.
    if (stream_.Data_Size > Largest_Whole_Stream || stream_.Data_Size > geometry_.Volume_Size())
        throw Damaged_Volume("a stream of impossible size");
    const std::uint64_t clusters =
        (stream_.Data_Size + geometry_.Cluster_Size - 1) / geometry_.Cluster_Size;
    if (clusters > stream_.Clusters()) throw Damaged_Volume("a stream longer than its runs");
    const std::uint64_t rounded = clusters * geometry_.Cluster_Size;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(rounded));
    if (Next(bytes.data(), bytes.size()) < stream_.Data_Size)
        throw Damaged_Volume("a stream longer than its runs");
    bytes.resize(static_cast<std::size_t>(stream_.Data_Size));
    return bytes;
}

// ---------------------------------------------------------------- records and attributes

std::optional<Record_Header> Header_Of(std::uint8_t* data, std::size_t size, Record_Number number) {
    const Bytes record(data, size);
    if (std::memcmp(record.Part(0, 4).Data(), "FILE", 4) != 0) return std::nullopt;
    const auto flags = record.At<std::uint16_t>(Record_Flags);
    if ((flags & Record_In_Use) == 0) return std::nullopt;
    if (!Is_Fixed_Up(data, size))
        throw Damaged_Volume("record " + std::to_string(number) + " fails its update sequence");
    const std::size_t used = record.At<std::uint32_t>(Record_Bytes_In_Use);
    if (used < Record_Header_Size || used > size)
        throw Damaged_Volume("record " + std::to_string(number) + " claims more than its size");
    const auto base = record.At<std::uint64_t>(Record_Base);
    Record_Header header{.Is_Folder = (flags & Record_Is_Folder) != 0,
                         .Base = base,
                         .Owner = base == 0 ? number : base & Reference_Record_Mask,
                         .Sequence = base == 0 ? record.At<std::uint16_t>(Record_Sequence)
                                               : std::uint16_t(base >> Reference_Sequence_Shift)};
    return header;
}

bool Is_Named(const Units& name, std::u16string_view text) {
    if (name.Count != text.size()) return false;
    for (std::size_t unit = 0; unit < text.size(); ++unit)
        if (name.Data[2 * unit] != (text[unit] & 0xFF) || name.Data[2 * unit + 1] != (text[unit] >> 8))
            return false;
    return true;
}

std::optional<Stream_Sizes> Sizes_Of(const Bytes& attribute, bool is_volume_file,
                                     const Geometry& geometry) {
    if (!attribute.Holds(0, Non_Resident_Header_Size)) throw Damaged_Volume("a short attribute");
    // Only the first piece of an attribute carries its sizes.
    if (attribute.At<std::uint64_t>(Attribute_Lowest_Vcn) != 0) return std::nullopt;
    const auto size = attribute.At<std::uint64_t>(Attribute_Data_Size);
    if (!is_volume_file) Check_Sizes(attribute, size, geometry);
    return Stream_Sizes{size, Size_On_Disk_Of(attribute, is_volume_file, geometry)};
}

Standard_Fields Standard_Fields_Of(const Bytes& value) {
    Standard_Fields fields{value.At<std::uint64_t>(Information_Accessed),
                           value.At<std::uint32_t>(Information_Attributes), std::nullopt};
    if (value.Holds(Information_Security_Id, 4))
        fields.Security_Id = value.At<std::uint32_t>(Information_Security_Id);
    return fields;
}

File_Name_Fields File_Name_Fields_Of(const Bytes& value) {
    const bool is_dos_only = value.At<std::uint8_t>(Name_Space) == Dos_Name_Space;
    const auto parent = value.At<std::uint64_t>(Name_Parent);
    const auto length = is_dos_only ? std::uint8_t(0) : value.At<std::uint8_t>(Name_Length);
    return {.Parent = parent & Reference_Record_Mask,
            .Parent_Sequence = std::uint16_t(parent >> Reference_Sequence_Shift),
            .Is_Dos_Only = is_dos_only,
            .Text = {value.Units(Name_Text, length), length}};
}

// ---------------------------------------------------------------- owners and names

std::span<const std::uint8_t> Owner_Sid_In(const Bytes& descriptor) {
    constexpr std::size_t owner_field = 4, sid_fixed_part = 8;
    if (!descriptor.Holds(0, owner_field + 4) || descriptor.At<std::uint8_t>(0) != 1) return {};
    const std::size_t offset = descriptor.At<std::uint32_t>(owner_field);
    if (offset == 0 || !descriptor.Holds(offset, sid_fixed_part)) return {};
    const std::size_t length =
        sid_fixed_part + 4 * std::size_t(descriptor.At<std::uint8_t>(offset + 1));
    if (!descriptor.Holds(offset, length)) return {};
    return {descriptor.Data() + offset, length};
}

std::vector<char16_t> Upcase_Table_Of(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != Upcase_Entries * 2) throw Damaged_Volume("the upper-case table is missing");
    std::vector<char16_t> table(Upcase_Entries);
    for (std::size_t index = 0; index < Upcase_Entries; ++index)
        table[index] = char16_t(bytes[2 * index] | bytes[2 * index + 1] << 8);
    return table;
}

}  // namespace Windows::Mft
