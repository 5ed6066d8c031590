// A whole small volume through the table read's order: boot sector, the $MFT's own record
// and its extensions, every record, the upper-case table and $Secure:$SDS, each through the
// portable layer. The input is an image in extents: a sector number and a sector count (both
// 32-bit little-endian), then that many sectors of 512 bytes; the rest of the device, up to
// Device_Size, reads as zeros.
#include <map>
#include <set>
#include <vector>

#include "fuzz_support.hpp"

namespace {

using namespace Windows::Mft;

constexpr std::uint64_t Device_Size = 64 << 20;
constexpr std::size_t Sector = 512;

class Image final : public Volume_Source {
public:
    Image(const std::uint8_t* data, std::size_t size) {
        while (size >= 8) {
            std::uint32_t first, count;
            std::memcpy(&first, data, 4);
            std::memcpy(&count, data + 4, 4);
            data += 8;
            size -= 8;
            const std::size_t length = std::min<std::size_t>(std::size_t(count) * Sector, size / Sector * Sector);
            if (std::uint64_t(first) * Sector + length <= Device_Size) extents_[std::uint64_t(first) * Sector] = {data, length};
            data += length;
            size -= length;
        }
    }

    void Read(std::uint64_t offset, std::uint8_t* into, std::size_t length) override {
        if (offset > Device_Size || length > Device_Size - offset)
            throw Damaged_Volume("the volume ends before its own structures do");
        std::memset(into, 0, length);
        for (const auto& [start, extent] : extents_) {
            const std::uint64_t from = std::max(start, offset);
            const std::uint64_t to = std::min(start + extent.second, offset + length);
            if (from < to) std::memcpy(into + (from - offset), extent.first + (from - start), to - from);
        }
    }

private:
    std::map<std::uint64_t, std::pair<const std::uint8_t*, std::size_t>> extents_;
};

class Table_Read {
public:
    explicit Table_Read(Image& image) : image_(image), geometry_(Geometry_Of(image)) {}

    void Run() {
        Read_Own_Runs();
        Read_Records();
        Read_Whole_Streams();
    }

private:
    void Read_Own_Runs() {
        std::vector<std::uint8_t> record(geometry_.Record_Size);
        image_.Read(geometry_.Mft_Offset, record.data(), record.size());
        Take_Own_Record(record);
        for (std::size_t index = 0; index < extensions_.size(); ++index) {
            Stream_Reader reader(image_, geometry_, mft_);
            reader.Seek(extensions_[index] * geometry_.Record_Size);
            if (reader.Next(record.data(), record.size()) < record.size())
                throw Damaged_Volume("an extension of the master file table lies outside it");
            Take_Own_Record(record);
        }
    }

    void Take_Own_Record(std::vector<std::uint8_t>& record) {
        const auto header = Header_Of(record.data(), record.size(), 0);
        if (header && header->Owner == 0) {
            Each_Attribute(record.data(), record.size(), 0, [&](std::uint32_t type, const Bytes& attribute) {
                if (type == Data && Name_Of(attribute).Empty() && !Is_Resident(attribute))
                    mft_.Take(attribute, geometry_.Cluster_Count);
                if (type == Attribute_List) {
                    if (!Is_Resident(attribute)) throw Damaged_Volume("a list outside its record");
                    Each_List_Entry(Value_Of(attribute), [&](std::uint32_t entry_type, Record_Number number) {
                        if (entry_type == Data && number != 0 && met_.insert(number).second)
                            extensions_.push_back(number);
                    });
                }
            });
        }
        if (mft_.Runs.empty() || !mft_.Is_Allocated_Within(geometry_.Cluster_Count))
            throw Damaged_Volume("the master file table is sparse or larger than its volume");
    }

    void Read_Records() {
        const std::uint64_t count = mft_.Data_Size / geometry_.Record_Size;
        if (count < First_User_Record || mft_.Data_Size > mft_.Clusters() * geometry_.Cluster_Size)
            throw Damaged_Volume("a master file table of impossible size");
        // What a table of that many records costs the product is bounded by the device.
        FUZZ_REQUIRE(count * geometry_.Record_Size <= Device_Size);
        Stream_Reader reader(image_, geometry_, mft_);
        std::vector<std::uint8_t> block(Read_Block);
        for (Record_Number number = 0; number < count;) {
            const std::size_t length = reader.Next(
                block.data(), std::min<std::uint64_t>(Read_Block, (count - number) * geometry_.Record_Size));
            if (length < geometry_.Record_Size) throw Damaged_Volume("the table is longer than its runs");
            for (std::size_t offset = 0; offset + geometry_.Record_Size <= length; offset += geometry_.Record_Size)
                Take_Record(block.data() + offset, number++, count);
        }
    }

    void Take_Record(std::uint8_t* data, Record_Number number, std::uint64_t count) {
        FUZZ_REQUIRE(number < count);
        const auto header = Fuzz::Take_Record(data, geometry_.Record_Size, number, geometry_);
        if (!header) return;
        if (header->Owner >= count) throw Damaged_Volume("a record extends no record");
        if (header->Owner != Upcase_File && header->Owner != Secure_File) return;
        Each_Attribute(data, geometry_.Record_Size, number, [&](std::uint32_t type, const Bytes& attribute) {
            if (type != Data || Is_Resident(attribute)) return;
            const Units name = Name_Of(attribute);
            if (header->Owner == Upcase_File && name.Empty()) upcase_.Take(attribute, geometry_.Cluster_Count);
            if (header->Owner == Secure_File && Is_Named(name, u"$SDS")) sds_.Take(attribute, geometry_.Cluster_Count);
        });
    }

    void Read_Whole_Streams() {
        if (upcase_.Data_Size != Upcase_Entries * 2) throw Damaged_Volume("the upper-case table is missing");
        FUZZ_REQUIRE(Upcase_Table_Of(Stream_Reader(image_, geometry_, upcase_).Whole()).size() == Upcase_Entries);
        if (sds_.Runs.empty()) return;
        const std::vector<std::uint8_t> sds = Stream_Reader(image_, geometry_, sds_).Whole();
        FUZZ_REQUIRE(sds.size() == sds_.Data_Size);
        Each_Sds_Entry(Bytes(sds.data(), sds.size()), [](std::uint32_t, const Bytes& descriptor) {
            Owner_Sid_In(descriptor);
        });
    }

    Image& image_;
    const Geometry geometry_;
    Run_Pieces mft_;
    std::vector<Record_Number> extensions_;
    std::set<Record_Number> met_;
    Run_Pieces upcase_;
    Run_Pieces sds_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Image image(data, size);
    try {
        Table_Read(image).Run();
    } catch (const Not_Ntfs&) {
    } catch (const Damaged_Volume&) {
    }
    return 0;
}
