#include "windows-mft.hpp"

#include <windows.h>

#include <algorithm>
#include <future>
#include <limits>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "windows-mft-volume.hpp"

namespace Windows::Mft {

namespace {

// Names are many: their texts are made together, in batches.
Wide_Text::Shared Text_Of(const Units& units, Wide_Text::Shared_Batch& into) {
    return into.Text_Of_Little_Endian(units.Data, units.Count);
}

// The owners of the descriptors met so far: on a volume whose files keep their own
// descriptors, every file names one of a few owners, and the shared cache has a lock.
class Owner_Cache {
public:
    Files::Owner Owner_Of(const Bytes& descriptor) {
        const std::span<const std::uint8_t> sid = Owner_Sid_In(descriptor);
        if (sid.empty()) return nullptr;
        for (const Known& known : known_)
            if (std::ranges::equal(known.Sid, sid)) return known.Owner;
        const Files::Owner owner = Files::Owner_With_Sid({sid.data(), sid.size()});
        if (known_.size() < Most_Known) known_.push_back({{sid.begin(), sid.end()}, owner});
        return owner;
    }

private:
    static constexpr std::size_t Most_Known = 64;
    struct Known {
        std::vector<std::uint8_t> Sid;
        Files::Owner Owner;
    };
    std::vector<Known> known_;
};

}  // namespace

// ---------------------------------------------------------------- the table

std::span<const Name> Table::Names_In(Record_Number folder) const {
    return const_cast<Table&>(*this).Names_In(folder);
}

std::span<Name> Table::Names_In(Record_Number folder) {
    if (folder >= objects_.size()) return {};
    return std::span<Name>(names_).subspan(name_starts_[folder],
                                           name_starts_[folder + 1] - name_starts_[folder]);
}

std::span<const Stream> Table::Named_Streams_Of(const Object& object) const {
    return std::span<const Stream>(streams_).subspan(object.First_Stream, object.Stream_Count);
}

const Name* Table::Entry_Named(Record_Number folder, std::wstring_view name) const {
    for (const Name& entry : Names_In(folder))
        if (Compare(entry.Text, name) == 0) return &entry;
    return nullptr;
}

int Table::Compare(std::wstring_view left, std::wstring_view right) const {
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t index = 0; index < common; ++index) {
        const char16_t upper_left = upcase_[static_cast<std::uint16_t>(left[index])];
        const char16_t upper_right = upcase_[static_cast<std::uint16_t>(right[index])];
        if (upper_left != upper_right) return upper_left < upper_right ? -1 : 1;
    }
    return left.size() < right.size() ? -1 : left.size() > right.size() ? 1 : 0;
}

// ---------------------------------------------------------------- reading

// One pass over the $MFT, then the pieces gathered by record put together.
class Table_Reader {
public:
    Table_Reader(const std::wstring& volume, bool with_owners, const std::atomic<bool>& is_wanted)
        : volume_path_(volume), volume_(volume), with_owners_(with_owners), is_wanted_(is_wanted) {}

    Table Read() {
        geometry_ = Geometry_Of(volume_);
        Read_Own_Runs();
        Read_Records();
        Put_Together();
        return std::move(table_);
    }

private:
    // A name or stream seen in some record, kept if its object turns out to be in use under
    // the sequence number the record gave.
    struct Found_Name {
        Name Entry;
        std::uint16_t Object_Sequence;
    };
    struct Found_Descriptor {
        Record_Number Object;
        std::uint16_t Object_Sequence;
        std::vector<std::uint8_t> Resident;
        Run_Pieces Runs;
    };
    struct Found_Stream {
        Record_Number Object;
        Stream Entry;  // the unnamed stream has no name
        std::uint16_t Object_Sequence;
    };
    // A piece of $UpCase's or $Secure:$SDS's runs, found by whichever stretch holds it.
    struct Found_Piece {
        Record_Number Object;
        std::uint16_t Object_Sequence;
        Run_Pieces Runs;  // the size only when it is the first piece
        bool Is_First;
    };
    // What one stretch of the table holds, gathered by the thread that reads it. Parts lie a
    // cache line apart: two threads writing next to each other would slow each other down.
    struct alignas(64) Part {
        std::vector<Name> Names;  // of base records, in record order
        std::vector<Found_Name> Extension_Names;
        std::vector<Found_Stream> Streams;
        std::vector<Found_Descriptor> Descriptors;
        std::vector<Found_Piece> Pieces_Read_Whole;
        Wide_Text::Shared_Batch Texts;
        Owner_Cache Owners;
        bool Has_Folders_Of_Several_Names = false;
    };

    // The $MFT's own runs, from its first record (and those of its extensions the first
    // record's runs reach): the $MFT is fragmented on any volume that has grown.
    void Read_Own_Runs() {
        std::vector<std::uint8_t> record(geometry_.Record_Size);
        volume_.Read(geometry_.Mft_Offset, record.data(), record.size());
        Part bootstrap;
        Take_Own_Record(record, 0, bootstrap);
        // Indexed, not iterated: an extension may add more runs and name more extensions.
        for (std::size_t index = 0; index < mft_extensions_.size(); ++index) {
            if (!is_wanted_) throw Stopped();
            Read_Own_Record(mft_extensions_[index], record);
            Take_Own_Record(record, mft_extensions_[index], bootstrap);
        }
        is_bootstrapping_ = false;
    }

    void Read_Own_Record(Record_Number number, std::vector<std::uint8_t>& record) {
        Stream_Reader reader(volume_, geometry_, mft_);
        reader.Seek(number * geometry_.Record_Size);
        if (reader.Next(record.data(), record.size()) < record.size())
            throw Damaged_Volume("an extension of the master file table lies outside it");
    }

    // The table is never sparse and lies on its volume, which bounds what it can claim
    // before anything is made for its records.
    void Take_Own_Record(std::vector<std::uint8_t>& record, Record_Number number, Part& bootstrap) {
        Take_Record(record.data(), number, bootstrap);
        if (mft_.Runs.empty()) throw Damaged_Volume("the master file table has no runs");
        if (!mft_.Is_Allocated_Within(geometry_.Cluster_Count))
            throw Damaged_Volume("the master file table is sparse or larger than its volume");
    }

    // The table in as many stretches as there are processors, up to a few, each read and
    // parsed by a thread of its own through a handle of its own: copying a block from the
    // cache costs as much as parsing it, and a block is parsed where it is still cached.
    void Read_Records() {
        const std::uint64_t count = mft_.Data_Size / geometry_.Record_Size;
        if (count < First_User_Record || count > std::numeric_limits<std::uint32_t>::max() ||
            mft_.Data_Size > mft_.Clusters() * geometry_.Cluster_Size)
            throw Damaged_Volume("a master file table of impossible size");
        table_.objects_.resize(static_cast<std::size_t>(count));
        parts_ = std::vector<Part>(std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1,
                                                           Most_Parts));
        // Stretches start on whole blocks, so that every read is of whole sectors.
        const std::uint64_t per_block = Read_Block / geometry_.Record_Size;
        const std::uint64_t blocks = (count + per_block - 1) / per_block;
        const std::uint64_t blocks_per_part = (blocks + parts_.size() - 1) / parts_.size();
        const auto first_of = [&](std::size_t part) {
            return std::min(count, part * blocks_per_part * per_block);
        };
        std::vector<std::future<void>> others;
        for (std::size_t part = 1; part < parts_.size(); ++part)
            others.push_back(std::async(std::launch::async, [this, part, &first_of] {
                Volume_File volume(volume_path_);
                Read_Part(volume, first_of(part), first_of(part + 1), parts_[part]);
            }));
        Read_Part(volume_, first_of(0), first_of(1), parts_[0]);
        for (std::future<void>& other : others) other.get();
    }

    // A failure in one stretch ends the others' reading early.
    void Read_Part(Volume_File& volume, Record_Number first, Record_Number last, Part& part) {
        if (first == last) return;
        std::fill(table_.objects_.begin() + first, table_.objects_.begin() + last, Object{});
        try {
            part.Names.reserve(static_cast<std::size_t>(last - first));
            Stream_Reader reader(volume, geometry_, mft_);
            reader.Seek(first * geometry_.Record_Size);
            std::vector<std::uint8_t> block(Read_Block);
            for (Record_Number number = first; number < last && !has_failed_;) {
                if (!is_wanted_) throw Stopped();
                const std::size_t length = reader.Next(
                    block.data(),
                    static_cast<std::size_t>(std::min<std::uint64_t>(
                        Read_Block, (last - number) * geometry_.Record_Size)));
                if (length < geometry_.Record_Size)
                    throw Damaged_Volume("the master file table is longer than its runs");
                for (std::size_t offset = 0; offset + geometry_.Record_Size <= length;
                     offset += geometry_.Record_Size)
                    Take_Record(block.data() + offset, number++, part);
            }
        } catch (...) {
            has_failed_ = true;
            throw;
        }
    }

    void Take_Record(std::uint8_t* data, Record_Number number, Part& part) {
        const std::size_t size = geometry_.Record_Size;
        const std::optional<Record_Header> header = Header_Of(data, size, number);
        if (!header) return;
        if (!is_bootstrapping_) {
            if (header->Owner >= table_.objects_.size())
                throw Damaged_Volume("record " + std::to_string(number) + " extends no record");
            if (header->Is_Base()) {
                Object& object = table_.objects_[number];
                object.Is_In_Use = true;
                object.Sequence = header->Sequence;
                if (header->Is_Folder) object.Attributes |= FILE_ATTRIBUTE_DIRECTORY;
            }
        }
        Each_Attribute(data, size, number, [&](std::uint32_t type, const Bytes& attribute) {
            Take_Attribute(type, attribute, header->Owner, header->Sequence, header->Is_Base(), part);
        });
    }

    void Take_Attribute(std::uint32_t type, const Bytes& attribute, Record_Number owner,
                        std::uint16_t sequence, bool is_base, Part& part) {
        const bool is_resident = Is_Resident(attribute);
        const Wide_Text::Shared name = Text_Of(Name_Of(attribute), part.Texts);
        if (is_bootstrapping_) {
            if (owner != 0) return;  // a record the $MFT's list names must extend the $MFT
            if (type == Data && name.empty() && !is_resident) mft_.Take(attribute, geometry_.Cluster_Count);
            if (type == Attribute_List) Take_Mft_Extensions(attribute);
            return;
        }
        if (type == Data)
            return Take_Data(attribute, name, is_resident, owner, sequence, is_base, part);
        if (type == Security_Descriptor && with_owners_ && !(is_resident && is_base))
            return Take_Descriptor_Elsewhere(attribute, is_resident, owner, sequence, part);
        if (!is_resident) return;
        const Bytes value = Value_Of(attribute);
        Object& object = table_.objects_[owner];
        if (type == Standard_Information && is_base) {
            const Standard_Fields fields = Standard_Fields_Of(value);
            object.Last_Accessed = File_Time_Of(fields.Accessed);
            object.Attributes = (object.Attributes & FILE_ATTRIBUTE_DIRECTORY) |
                                (fields.Attributes & ~FILE_ATTRIBUTE_DIRECTORY);
            if (fields.Security_Id) object.Security_Id = *fields.Security_Id;
        } else if (type == File_Name) {
            const File_Name_Fields fields = File_Name_Fields_Of(value);
            if (fields.Is_Dos_Only) return;
            Name entry{.Parent = fields.Parent,
                       .Object = owner,
                       .Text = Text_Of(fields.Text, part.Texts),
                       .Parent_Sequence = fields.Parent_Sequence};
            if (is_base) {
                part.Names.push_back(std::move(entry));
                if (Is_Folder_Named_Again(object)) part.Has_Folders_Of_Several_Names = true;
            } else {
                part.Extension_Names.push_back({std::move(entry), sequence});
            }
        } else if (type == Security_Descriptor && with_owners_) {
            object.Owner = part.Owners.Owner_Of(value);
        }
    }

    // A descriptor outside its object's own record, or outside any record, is read once the
    // object is known to be in use.
    void Take_Descriptor_Elsewhere(const Bytes& attribute, bool is_resident, Record_Number owner,
                                   std::uint16_t sequence, Part& part) {
        // Only the first piece carries the size; the platform keeps a descriptor in one.
        if (!is_resident && (!attribute.Holds(0, Non_Resident_Header_Size) ||
                             attribute.At<std::uint64_t>(Attribute_Lowest_Vcn) != 0))
            return;
        Found_Descriptor& found =
            part.Descriptors.emplace_back(Found_Descriptor{owner, sequence, {}, {}});
        if (is_resident) {
            const Bytes value = Value_Of(attribute);
            found.Resident.assign(value.Data(), value.Data() + value.Size());
        } else {
            found.Runs.Take(attribute, geometry_.Cluster_Count);
        }
    }

    void Take_Data(const Bytes& attribute, const Wide_Text::Shared& name, bool is_resident,
                   Record_Number owner, std::uint16_t sequence, bool is_base, Part& part) {
        if (!is_resident && ((owner == Upcase_File && name.empty()) ||
                             (owner == Secure_File && name == L"$SDS"))) {
            Found_Piece& piece = part.Pieces_Read_Whole.emplace_back(
                Found_Piece{owner, sequence, {}, false});
            piece.Runs.Take(attribute, geometry_.Cluster_Count);
            piece.Is_First = attribute.At<std::uint64_t>(Attribute_Lowest_Vcn) == 0;
        }
        Stream_Sizes sizes{0, 0};
        if (is_resident) {
            sizes.Data_Size = Value_Of(attribute).Size();
        } else if (const auto first = Sizes_Of(attribute, owner < First_User_Record, geometry_)) {
            sizes = *first;
        } else {
            return;
        }
        const Files::File_Size size = Files::File_Size::From(sizes.Data_Size);
        const Files::File_Size on_disk = Files::File_Size::From(sizes.On_Disk);
        // The object's own record needs no check that the object is the one it names.
        if (name.empty() && is_base) {
            table_.objects_[owner].Data_Size = size;
            table_.objects_[owner].Data_Size_On_Disk = on_disk;
            return;
        }
        const Wide_Text::Shared stream_name =
            name.empty() ? std::wstring() : L":" + name + L":$DATA";
        part.Streams.push_back({owner, {stream_name, size, on_disk}, sequence});
    }

    // The records of the $MFT's attribute list that hold pieces of its data.
    void Take_Mft_Extensions(const Bytes& attribute) {
        if (!Is_Resident(attribute))
            throw Damaged_Volume("the master file table's attribute list is not in its record");
        Each_List_Entry(Value_Of(attribute), [this](std::uint32_t type, Record_Number record) {
            if (type == Data && record != 0 && mft_extensions_met_.insert(record).second)
                mft_extensions_.push_back(record);
        });
    }

    static Files::File_Time File_Time_Of(std::uint64_t ticks) {
        return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    }

    bool Is_Current(Record_Number object, std::uint16_t sequence) const {
        return table_.objects_[object].Is_In_Use && table_.objects_[object].Sequence == sequence;
    }

    // Owners are found on a thread of their own: they fill other fields of the objects than
    // names and streams do.
    void Put_Together() {
        Gather_Pieces_Read_Whole();
        Read_Upcase();
        Count_Names_Of_Extensions();
        std::future<void> owners;
        if (with_owners_) owners = std::async(std::launch::async, [this] { Find_Owners(); });
        Put_Names_Together();
        Put_Streams_Together();
        if (owners.valid()) owners.get();
    }

    // The pieces of the files read whole whose records belong to them, as for any stream.
    void Gather_Pieces_Read_Whole() {
        for (Part& part : parts_) {
            for (Found_Piece& piece : part.Pieces_Read_Whole) {
                if (!Is_Current(piece.Object, piece.Object_Sequence)) continue;
                Run_Pieces& whole = piece.Object == Upcase_File ? upcase_ : sds_;
                if (piece.Is_First) whole.Data_Size = piece.Runs.Data_Size;
                whole.Add(std::move(piece.Runs.Runs));
            }
            part.Pieces_Read_Whole = {};
        }
    }

    void Read_Upcase() {
        if (upcase_.Data_Size != Upcase_Entries * 2)
            throw Damaged_Volume("the upper-case table is missing");
        table_.upcase_ = Upcase_Table_Of(Stream_Reader(volume_, geometry_, upcase_).Whole());
    }

    // In index order: by parent, each parent's names in the volume's collation, then in
    // exact case for names that differ only in it (POSIX names). Parents are counted out
    // first, so that only the names of one folder are compared with each other.
    void Put_Names_Together() {
        const std::size_t records = table_.objects_.size();
        std::vector<std::uint32_t>& starts = table_.name_starts_;
        starts.assign(records + 1, 0);
        Each_Name([&](const Name& name) {
            if (name.Parent < records) ++starts[name.Parent + 1];
        });
        for (std::size_t record = 0; record < records; ++record)
            starts[record + 1] += starts[record];
        table_.names_.resize(starts[records]);
        // Two halves by names, the second on a thread of its own: folders are independent. A
        // failure of either half is the read's, waited for and passed on.
        const std::size_t middle = static_cast<std::size_t>(
            std::upper_bound(starts.begin(), starts.end(), starts[records] / 2) - starts.begin() -
            1);
        std::future<void> second_half = std::async(
            std::launch::async, [this, middle, records] { Put_Folders_Together(middle, records); });
        Put_Folders_Together(0, middle);
        second_half.get();
        for (Part& part : parts_) {
            part.Names = {};
            part.Extension_Names = {};
        }
    }

    // The names in the folders from the first record to the last, gathered and sorted.
    void Put_Folders_Together(std::size_t first, std::size_t last) {
        auto& names = table_.names_;
        const std::vector<std::uint32_t>& starts = table_.name_starts_;
        std::vector<std::uint32_t> next(starts.begin() + first, starts.begin() + last);
        // Each place is made once, as the table's names were made unfilled.
        Each_Name([&](Name& name) {
            if (name.Parent >= first && name.Parent < last)
                std::construct_at(&names[next[name.Parent - first]++], std::move(name));
        });
        for (std::size_t record = first; record < last; ++record)
            Put_In_Order(names.data() + starts[record], names.data() + starts[record + 1]);
    }

    // Files made in name order, as a copy or an unpacked archive makes them, have their
    // records in that order too, often in a few runs (a folder's subfolders made before its
    // files): runs are merged, and only names in no order are sorted.
    void Put_In_Order(Name* begin, Name* end) const {
        const auto in_order = [this](const Name& left, const Name& right) {
            const int order = table_.Compare(left.Text, right.Text);
            return order != 0 ? order < 0 : left.Text.View() < right.Text.View();
        };
        auto in_order_until = std::is_sorted_until(begin, end, in_order);
        for (std::size_t runs = 1; in_order_until != end; ++runs) {
            if (runs == Most_Runs_Merged) return std::sort(begin, end, in_order);
            const auto run_end = std::is_sorted_until(in_order_until, end, in_order);
            std::inplace_merge(begin, in_order_until, run_end, in_order);
            in_order_until = run_end;
        }
    }

    // The names in extension records are counted once their objects are known to be in use;
    // the parts counted those in objects' own records.
    void Count_Names_Of_Extensions() {
        for (const Part& part : parts_) {
            if (part.Has_Folders_Of_Several_Names) table_.has_folders_of_several_names_ = true;
            for (const Found_Name& found : part.Extension_Names)
                if (Is_Current(found.Entry.Object, found.Object_Sequence) &&
                    Is_Folder_Named_Again(table_.objects_[found.Entry.Object]))
                    table_.has_folders_of_several_names_ = true;
        }
    }

    // Counts one more name of the object: true when it is a folder's second. An object's own
    // record is read by one thread only.
    static bool Is_Folder_Named_Again(Object& object) {
        if (object.Name_Count == 2) return false;
        return ++object.Name_Count == 2 && Files::Is_Directory(object.Attributes);
    }

    // The names of objects in use: the base records' in record order, then the others.
    template <typename Visit>
    void Each_Name(Visit visit) {
        for (Part& part : parts_)
            for (Name& name : part.Names) visit(name);
        for (Part& part : parts_)
            for (Found_Name& found : part.Extension_Names)
                if (Is_Current(found.Entry.Object, found.Object_Sequence)) visit(found.Entry);
    }

    void Put_Streams_Together() {
        std::vector<Found_Stream> named;
        for (Part& part : parts_) {
            for (Found_Stream& found : part.Streams) {
                if (!Is_Current(found.Object, found.Object_Sequence)) continue;
                if (found.Entry.Name.empty()) {
                    table_.objects_[found.Object].Data_Size = found.Entry.Size;
                    table_.objects_[found.Object].Data_Size_On_Disk = found.Entry.Size_On_Disk;
                } else
                    named.push_back(std::move(found));
            }
            part.Streams = {};
        }
        std::sort(named.begin(), named.end(),
                  [this](const Found_Stream& left, const Found_Stream& right) {
                      if (left.Object != right.Object) return left.Object < right.Object;
                      return table_.Compare(left.Entry.Name, right.Entry.Name) < 0;
                  });
        table_.streams_.reserve(named.size());
        for (Found_Stream& found : named) {
            Object& object = table_.objects_[found.Object];
            if (object.Stream_Count == 0)
                object.First_Stream = static_cast<std::uint32_t>(table_.streams_.size());
            ++object.Stream_Count;
            table_.streams_.push_back(std::move(found.Entry));
        }
    }

    void Find_Owners() {
        Read_Descriptors_Elsewhere();
        std::unordered_set<std::uint32_t> wanted;
        for (const Object& object : table_.objects_)
            if (object.Is_In_Use && object.Owner == nullptr && object.Security_Id != 0)
                wanted.insert(object.Security_Id);
        if (wanted.empty() || sds_.Runs.empty()) return;
        const std::unordered_map<std::uint32_t, Files::Owner> by_id = Shared_Owners(wanted);
        for (Object& object : table_.objects_) {
            if (!object.Is_In_Use || object.Owner != nullptr) continue;
            const auto found = by_id.find(object.Security_Id);
            if (found != by_id.end()) object.Owner = found->second;
        }
    }

    void Read_Descriptors_Elsewhere() {
        for (Part& part : parts_) {
            for (Found_Descriptor& found : part.Descriptors) Take_Descriptor(found);
            part.Descriptors = {};
        }
    }

    void Take_Descriptor(Found_Descriptor& found) {
        if (!Is_Current(found.Object, found.Object_Sequence)) return;
        if (found.Resident.empty()) {
            if (found.Runs.Data_Size > Largest_Descriptor)
                throw Damaged_Volume("a descriptor of impossible size");
            found.Resident = Stream_Reader(volume_, geometry_, found.Runs).Whole();
        }
        table_.objects_[found.Object].Owner =
            owners_.Owner_Of(Bytes(found.Resident.data(), found.Resident.size()));
    }

    // The owners of the wanted security ids, from $Secure:$SDS.
    std::unordered_map<std::uint32_t, Files::Owner> Shared_Owners(
        const std::unordered_set<std::uint32_t>& wanted) {
        const std::vector<std::uint8_t> sds = Stream_Reader(volume_, geometry_, sds_).Whole();
        std::unordered_map<std::uint32_t, Files::Owner> by_id;
        Each_Sds_Entry(Bytes(sds.data(), sds.size()), [&](std::uint32_t id, const Bytes& descriptor) {
            if (wanted.contains(id)) by_id.emplace(id, owners_.Owner_Of(descriptor));
        });
        return by_id;
    }

    static constexpr std::size_t Most_Parts = 4;
    static constexpr std::size_t Most_Runs_Merged = 8;

    const std::wstring volume_path_;
    Volume_File volume_;
    const bool with_owners_;
    const std::atomic<bool>& is_wanted_;
    Geometry geometry_;
    bool is_bootstrapping_ = true;
    Run_Pieces mft_;
    std::vector<Record_Number> mft_extensions_;  // in the order met
    std::unordered_set<Record_Number> mft_extensions_met_;
    Run_Pieces upcase_;
    Run_Pieces sds_;
    std::vector<Part> parts_;
    std::atomic<bool> has_failed_ = false;
    Owner_Cache owners_;  // for what is read once the parts are in
    Table table_;
};

Table Read_Table(const std::wstring& volume, bool with_owners, const std::atomic<bool>& is_wanted) {
    return Table_Reader(volume, with_owners, is_wanted).Read();
}

}  // namespace Windows::Mft
