// Scan files: a fixed header, a body of variable-length fields in chunks, a CRC-32 over
// both. Names of plain ASCII take a byte a character, each folder's name is written once a
// chunk, and times are differences from the record before, so a scan takes less than its
// records in memory.
#include "work-scan_file.hpp"

#include <algorithm>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "windows-files.hpp"
#include "work-scan_file-layout.hpp"

namespace Work::Scan_File {

namespace Files = Windows::Files;
using namespace Layout;

namespace {

// Each chunk stands alone, so that chunks are written and read on several threads at once.
constexpr std::uint64_t Records_Per_Chunk = 65536;

// Bytes are encoded a piece at a time into a buffer kept in the cache, and each piece is
// summed and handed to the sink (a file, or a chunk's string) as it fills. Every field
// makes room for its largest form first, so bytes are then put without a check of
// capacity each.
constexpr std::size_t Piece_Size = std::size_t{1} << 20;

std::unique_ptr<char[]> New_Piece() { return std::make_unique_for_overwrite<char[]>(Piece_Size); }

template <typename Sink>
class Writer {
public:
    // The buffer, of Piece_Size at least, may come from a writer before.
    explicit Writer(Sink& the_sink, std::unique_ptr<char[]> the_buffer = New_Piece())
        : sink_(the_sink), bytes_(std::move(the_buffer)) {}
    std::unique_ptr<char[]> Buffer() && { return std::move(bytes_); }

    void Fixed(std::uint64_t value, int byte_count) {
        char* next = Room_For(8);
        for (int byte = 0; byte < byte_count; ++byte) next[byte] = static_cast<char>(value >> (8 * byte));
        used_ += byte_count;
    }
    void Number(std::uint64_t value) {
        char* next = Room_For(10);
        std::size_t length = 0;
        while (value >= 0x80) {
            next[length++] = static_cast<char>(value | 0x80);
            value >>= 7;
        }
        next[length++] = static_cast<char>(value);
        used_ += length;
    }
    // Written narrow at once, and again wide if a unit turns out not to be ASCII: the length
    // before it takes as many bytes either way, as only its lowest bit differs.
    void Text(std::wstring_view text) {
        Room_For(10 + 2 * text.size());
        const std::size_t length_at = used_;
        Number(std::uint64_t{text.size()} << 1);
        char* next = bytes_.get() + used_;
        wchar_t all_bits = 0;
        for (std::size_t unit = 0; unit < text.size(); ++unit) {
            next[unit] = static_cast<char>(text[unit]);
            all_bits |= text[unit];
        }
        if (all_bits < 0x80) {
            used_ += text.size();
            return;
        }
        bytes_[length_at] |= 1;  // the length's lowest bit, in its first byte
        for (std::size_t unit = 0; unit < text.size(); ++unit) {
            next[2 * unit] = static_cast<char>(text[unit]);
            next[2 * unit + 1] = static_cast<char>(text[unit] >> 8);
        }
        used_ += 2 * text.size();
    }
    void Raw(std::basic_string_view<std::uint8_t> data) {
        std::memcpy(Room_For(data.size()), data.data(), data.size());
        used_ += data.size();
    }
    // Bytes already summed elsewhere, handed over as they are.
    void Summed(std::string_view bytes, std::uint32_t crc) {
        Hand_Over();
        crc_ = Crc_32_Of_Both(crc_, crc, bytes.size());
        length_ += bytes.size();
        sink_.Append(bytes);
    }
    void Hand_Over() {
        const std::string_view piece(bytes_.get(), used_);
        crc_ = Crc_32_After(crc_, piece);
        length_ += used_;
        used_ = 0;
        sink_.Append(piece);
    }
    // Of everything handed over.
    std::uint32_t Crc() const { return crc_; }
    std::uint64_t Length() const { return length_; }

private:
    char* Room_For(std::size_t length) {
        if (used_ + length > capacity_) {
            Hand_Over();
            if (length > capacity_) {
                bytes_ = std::make_unique_for_overwrite<char[]>(length);
                capacity_ = length;
            }
        }
        return bytes_.get() + used_;
    }
    Sink& sink_;
    std::unique_ptr<char[]> bytes_;
    std::size_t capacity_ = Piece_Size;
    std::size_t used_ = 0;
    std::uint32_t crc_ = 0;
    std::uint64_t length_ = 0;
};

// The bytes of a scan in memory, for Bytes_Of.
struct String_Sink {
    std::string Bytes;
    void Append(std::string_view bytes) { Bytes.append(bytes); }
    void Overwrite(std::uint64_t at, std::string_view bytes) {
        Bytes.replace(static_cast<std::size_t>(at), bytes.size(), bytes);
    }
};

std::uint64_t Value_Of(const File_Time& the_time) {
    return std::uint64_t{the_time.dwHighDateTime} << 32 | the_time.dwLowDateTime;
}

// Signed differences as small unsigned numbers: 0, -1, 1, -2 ... become 0, 1, 2, 3 ...
std::uint64_t Zigzag(std::uint64_t difference) {
    return (difference << 1) ^ (0 - (difference >> 63));
}

std::uint8_t Flags_Of(const File_Information& the_file) {
    return (the_file.Is_Folder ? Folder : 0) | (the_file.Is_Stream ? Stream : 0) |
           (the_file.Is_Compressed ? Compressed : 0) | (the_file.Is_System ? System : 0) |
           (the_file.Is_Hidden ? Hidden : 0) | (the_file.Has_Streams ? Has_Streams : 0) |
           (the_file.Is_Shared ? Shared : 0);
}

// Numbers given in order of first use, from the first: what comes again is found by
// hashing, as a domain's file server has tens of thousands of owners, and the records of
// one folder come together.
template <typename Key>
class First_Use_Numbers {
public:
    explicit First_Use_Numbers(std::uint64_t the_first) : first_(the_first) {}

    struct Number {
        std::uint64_t Value;
        bool Is_New;
    };
    Number Of(Key the_key) {
        if (!numbers_.empty() && the_key == last_) return {last_number_, false};
        const auto [entry, is_new] = numbers_.try_emplace(the_key, first_ + numbers_.size());
        last_ = the_key;
        last_number_ = entry->second;
        return {last_number_, is_new};
    }

private:
    const std::uint64_t first_;
    std::unordered_map<Key, std::uint64_t> numbers_;
    Key last_{};
    std::uint64_t last_number_ = 0;
};

// Owners are numbered from 1 in order of first appearance, 0 being the unknown owner; the
// number one past the highest so far introduces a new owner, written there.
class Owner_Numbers {
public:
    template <typename Out>
    void Write(Files::Owner the_owner, Out& into) {
        if (the_owner == nullptr) return into.Number(0);
        const auto number = numbers_.Of(the_owner);
        into.Number(number.Value);
        if (!number.Is_New) return;
        into.Number(Files::Sid_Bytes_Of(the_owner).size());
        into.Raw(Files::Sid_Bytes_Of(the_owner));
        into.Text(Files::Image_Of(the_owner));
    }

private:
    First_Use_Numbers<Files::Owner> numbers_{1};
};

// A folder's number is given at its first use, where its name is written: the records of
// one folder share one text, so its address names it.
class Folder_Numbers {
public:
    template <typename Out>
    void Write(const Wide_Text::Shared& the_folder, Out& into) {
        const std::wstring_view name = the_folder.View();
        const auto number = numbers_.Of(name.data());
        into.Number(number.Value);
        if (number.Is_New) into.Text(name);
    }

private:
    First_Use_Numbers<const wchar_t*> numbers_{0};
};

}  // namespace


namespace {

std::string Header_Of(const Description& the_description, std::uint64_t the_record_count,
                      std::uint64_t the_body_length) {
    std::string header(Magic);
    auto fixed = [&header](std::uint64_t value, int byte_count) {
        for (int byte = 0; byte < byte_count; ++byte) header.push_back(static_cast<char>(value >> (8 * byte)));
    };
    fixed(Format_Version, 4);
    fixed((the_description.Is_Ntfs ? Ntfs_Flag : 0) | (the_description.Has_Sizes_On_Disk ? Sizes_On_Disk_Flag : 0), 4);
    fixed(Value_Of(the_description.Made), 8);
    fixed(the_record_count, 8);
    fixed(the_body_length, 8);
    return header;
}

// Where a chunk is encoded: handed on from chunk to chunk, so that a save takes new memory
// for the first few chunks only.
struct Chunk_Storage {
    std::unique_ptr<char[]> Piece = New_Piece();
    std::string Bytes;
};

struct Encoded_Chunk {
    std::uint64_t Records = 0;
    std::uint32_t Crc = 0;
    Chunk_Storage Storage;  // its bytes
};

// A chunk's records, numbered afresh: folders from 0, owners from 1, times from 0.
Encoded_Chunk Chunk_Of(std::span<const File_Information* const> the_records, Chunk_Storage the_storage) {
    String_Sink bytes{std::move(the_storage.Bytes)};
    bytes.Bytes.clear();
    Writer out(bytes, std::move(the_storage.Piece));
    Owner_Numbers owners;
    Folder_Numbers folders;
    std::uint64_t previous_time = 0;
    for (const File_Information* record : the_records) {
        const File_Information& file = *record;
        out.Fixed(Flags_Of(file), 1);
        folders.Write(file.Folder_Name, out);
        out.Text(file.File_Name);
        owners.Write(file.Owner, out);
        if (file.Is_Stream) out.Text(file.Stream_Name);
        out.Number(file.Object_Size.Value());
        out.Number(file.Size_On_Disk.Value());
        const std::uint64_t time = Value_Of(file.Last_Accessed);
        out.Number(Zigzag(time - previous_time));
        previous_time = time;
    }
    out.Hand_Over();
    const std::uint32_t crc = out.Crc();
    return {the_records.size(), crc, {std::move(out).Buffer(), std::move(bytes.Bytes)}};
}

// One worker's chunks on their way to the writer, in order and two at most, and their
// storage on its way back for the worker's next chunks. On a cache line of its own: the
// worker and the writer both write to it for every chunk.
class alignas(64) Chunk_Channel {
public:
    void Put(Encoded_Chunk the_chunk) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return done_.size() < 2 || is_closed_; });
        done_.push_back(std::move(the_chunk));
        changed_.notify_all();
    }
    // The next chunk; the worker's failure, if it failed.
    Encoded_Chunk Get() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !done_.empty() || failure_; });
        if (done_.empty()) std::rethrow_exception(failure_);
        Encoded_Chunk chunk = std::move(done_.front());
        done_.pop_front();
        changed_.notify_all();
        return chunk;
    }
    void Give_Back(Chunk_Storage the_storage) {
        std::lock_guard lock(mutex_);
        spare_.push_back(std::move(the_storage));
    }
    Chunk_Storage Storage() {
        std::lock_guard lock(mutex_);
        if (spare_.empty()) return {};
        Chunk_Storage storage = std::move(spare_.back());
        spare_.pop_back();
        return storage;
    }
    void Fail(std::exception_ptr the_failure) {
        std::lock_guard lock(mutex_);
        failure_ = the_failure;
        changed_.notify_all();
    }
    // The writer has failed: the worker stops at its next chunk.
    void Close() {
        std::lock_guard lock(mutex_);
        is_closed_ = true;
        changed_.notify_all();
    }
    bool Is_Closed() {
        std::lock_guard lock(mutex_);
        return is_closed_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Encoded_Chunk> done_;
    std::vector<Chunk_Storage> spare_;
    std::exception_ptr failure_;
    bool is_closed_ = false;
};

// Chunks are encoded by a few workers, each taking every so many, and handed to take in
// order. Workers last the whole save: a thread costs about a millisecond to start.
template <typename Take>
void Each_Chunk_Encoded(const File_List& the_records, Take take) {
    const std::vector<const File_Information*> places = Places_Of(the_records);
    const std::span<const File_Information* const> all(places);
    const std::size_t chunks = (all.size() + Records_Per_Chunk - 1) / Records_Per_Chunk;
    const std::size_t workers = std::min(Worker_Count(), chunks);
    const auto chunk = [&](std::size_t index) {
        const std::size_t first = index * Records_Per_Chunk;
        return all.subspan(first, std::min<std::size_t>(Records_Per_Chunk, all.size() - first));
    };
    std::vector<Chunk_Channel> channels(workers);
    const auto work = [&](std::size_t worker) {
        Chunk_Channel& channel = channels[worker];
        try {
            for (std::size_t index = worker; index < chunks && !channel.Is_Closed(); index += workers)
                channel.Put(Chunk_Of(chunk(index), channel.Storage()));
        } catch (...) {
            channel.Fail(std::current_exception());
        }
    };
    std::vector<std::future<void>> working;
    for (std::size_t worker = 0; worker < workers; ++worker)
        working.push_back(std::async(std::launch::async, work, worker));
    try {
        for (std::size_t index = 0; index < chunks; ++index) {
            Chunk_Channel& channel = channels[index % workers];
            Encoded_Chunk encoded = channel.Get();
            take(encoded);
            channel.Give_Back(std::move(encoded.Storage));
        }
    } catch (...) {
        for (Chunk_Channel& channel : channels) channel.Close();
        throw;  // the workers are waited for as their futures go
    }
}

// The header's place is kept and it is written last, once the body's length is known.
template <typename Sink>
void Encode(const Description& the_description, const File_List& the_records, Sink& into) {
    into.Append(std::string(Header_Size, '\0'));
    Writer out(into);
    out.Text(the_description.Root);
    const auto volume = the_description.Volume.value_or(Files::Volume_Space{});
    out.Number(volume.Total.Value());
    out.Number(volume.Free.Value());
    Each_Chunk_Encoded(the_records, [&out](const Encoded_Chunk& chunk) {
        out.Number(chunk.Records);
        out.Number(chunk.Storage.Bytes.size());
        out.Summed(chunk.Storage.Bytes, chunk.Crc);
    });
    out.Hand_Over();
    const std::string header = Header_Of(the_description, Length_Of(the_records), out.Length());
    into.Overwrite(0, header);
    const std::uint32_t crc = Crc_32_Of_Both(Crc_32_Of(header), out.Crc(), out.Length());
    const char checksum[Checksum_Size] = {static_cast<char>(crc), static_cast<char>(crc >> 8),
                                          static_cast<char>(crc >> 16), static_cast<char>(crc >> 24)};
    into.Append({checksum, Checksum_Size});
}

}  // namespace

std::string Bytes_Of(const Description& the_description, const File_List& the_records) {
    String_Sink sink;
    Encode(the_description, the_records, sink);
    return std::move(sink.Bytes);
}

void Save(const std::wstring& path, const Description& the_description,
          const File_List& the_records) {
    Files::Replacement replacement(path);
    Encode(the_description, the_records, replacement);
    replacement.Commit();
}

}  // namespace Work::Scan_File
