#include "windows-mft-volume.hpp"

#include <algorithm>
#include <atomic>
#include <limits>

#include "unsigned.hpp"

namespace Windows::Mft {

namespace {

// The boot sector's layout, as the format's public documentation gives it.
constexpr std::size_t Boot_Sector_Read = 4096;  // a whole sector on any disk
constexpr std::size_t Boot_Oem_Name = 0x03, Boot_Bytes_Per_Sector = 0x0B,
                      Boot_Sectors_Per_Cluster = 0x0D, Boot_Total_Sectors = 0x28,
                      Boot_Mft_Cluster = 0x30, Boot_Clusters_Per_Record = 0x40;

// Far beyond any real stream read whole here ($UpCase, $SDS), near enough to stop garbage.
constexpr std::uint64_t Largest_Whole_Stream = std::uint64_t(1) << 31;

bool Is_Power_Of_Two(std::uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

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

namespace {

// Read only, and never in anyone's way: the volume stays in use while it is read.
HANDLE Open_Raw(const std::wstring& the_device) {
    return CreateFileW(the_device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

std::atomic<Raw_Opener> The_Opener{nullptr};

}  // namespace

void Set_Raw_Opener(Raw_Opener the_opener) { The_Opener = the_opener; }

Volume_File::Volume_File(const std::wstring& path) {
    const Raw_Opener opener = The_Opener;
    HANDLE opened = opener ? opener(path) : Open_Raw(path);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const std::string reason = Wide_Text::Utf8_Of(path) + ": error " + std::to_string(error);
        if (error == ERROR_ACCESS_DENIED) throw Volume_Access_Denied(reason);
        throw Unreadable_Volume(reason);
    }
    handle_.reset(opened);
}

void Volume_File::Read(std::uint64_t offset, std::uint8_t* into, std::size_t length) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_.get(), position, nullptr, FILE_BEGIN))
        throw Unreadable_Volume("cannot seek: error " + std::to_string(GetLastError()));
    while (length > 0) {
        DWORD got = 0;
        const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(length, Read_Block));
        if (!ReadFile(handle_.get(), into, asked, &got, nullptr))
            throw Unreadable_Volume("cannot read: error " + std::to_string(GetLastError()));
        if (got == 0) throw Damaged_Volume("the volume ends before its own structures do");
        into += got;
        length -= got;
    }
}

Geometry Geometry_Of(Volume_File& volume) {
    std::vector<std::uint8_t> boot_sector(Boot_Sector_Read);
    volume.Read(0, boot_sector.data(), boot_sector.size());
    const Bytes boot(boot_sector.data(), boot_sector.size());
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
    // Every size read later is bounded by the volume's: the device must hold all of it.
    std::vector<std::uint8_t> last_sector(static_cast<std::size_t>(sector));
    try {
        volume.Read(geometry.Volume_Size() - sector, last_sector.data(), last_sector.size());
    } catch (const Unreadable_Volume&) {
        throw Damaged_Volume("the device holds less than the boot sector claims");
    }
    return geometry;
}

std::vector<Run> Runs_Of(const Bytes& attribute, std::uint64_t cluster_count) {
    std::uint64_t vcn = attribute.At<std::uint64_t>(Attribute_Lowest_Vcn);
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
        Run run{vcn, length, std::nullopt};
        if (offset_size > 0) {
            lcn += static_cast<std::int64_t>(Integer_At(attribute, offset, offset_size, true));
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

}  // namespace Windows::Mft
