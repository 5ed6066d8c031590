#include "windows-files.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <charconv>
#include <memory>

#include "wide_text.hpp"
#include "windows.hpp"

namespace Windows::Files {

Query_Information_File Nt_Query_Information_File = nullptr;

namespace {

// The platform's own NtQueryInformationFile, which tests do not substitute.
Query_Information_File Platform_Query = nullptr;
constexpr std::int32_t File_Internal_Information_Class = 6;
constexpr std::int32_t File_Standard_Information_Class = 5;
constexpr std::int32_t File_Compression_Information_Class = 28;
// Set once the platform's query has said it does not know the stream class (Wine says so
// for every file); asking again costs a request to the platform and tells nothing new.
std::atomic<bool> Platform_Reports_No_Streams = false;

}  // namespace

void Initialise() {
    Nt_Query_Information_File = nullptr;
    Platform_Query = nullptr;
    Platform_Reports_No_Streams = false;
    if (!Windows::Is_Nt()) return;
    HMODULE nt_dll = GetModuleHandleA("NtDll.dll");
    if (nt_dll == nullptr) return;
    // Through void(*)() so the compiler accepts the change of signature as intended.
    auto entry = reinterpret_cast<void (*)()>(GetProcAddress(nt_dll, "NtQueryInformationFile"));
    Nt_Query_Information_File = reinterpret_cast<Query_Information_File>(entry);
    Platform_Query = Nt_Query_Information_File;
}

// ---------------------------------------------------------------- long paths

namespace {

constexpr std::wstring_view Long_Prefix = L"\\\\?\\";
constexpr std::wstring_view Device_Prefix = L"\\\\.\\";
constexpr std::wstring_view Long_Network_Prefix = L"\\\\?\\UNC\\";

std::optional<std::wstring> Full_Path_Of(const std::wstring& path) {
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::nullopt;
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return std::nullopt;
    full.resize(length);
    return full;
}

}  // namespace

std::wstring Long_Path_Form(const std::wstring& path) {
    if (path.starts_with(Long_Prefix) || path.starts_with(Device_Prefix)) return path;
    const std::optional<std::wstring> full = Full_Path_Of(path);
    if (!full) return path;
    if (full->starts_with(L"\\\\"))
        return std::wstring(Long_Network_Prefix).append(*full, 2, std::wstring::npos);
    return std::wstring(Long_Prefix) + *full;
}

// ---------------------------------------------------------------- object tests and names

bool Bits_Are_Set_In(std::uint32_t word, std::uint32_t mask) { return (word & mask) == mask; }

bool Is_Directory(std::uint32_t attribute) {
    return Bits_Are_Set_In(attribute, FILE_ATTRIBUTE_DIRECTORY);
}
bool Is_Directory(const Find_Record& record) { return Is_Directory(record.dwFileAttributes); }
bool Is_Hidden(const Find_Record& record) {
    return Bits_Are_Set_In(record.dwFileAttributes, FILE_ATTRIBUTE_HIDDEN);
}
bool Is_System(const Find_Record& record) {
    return Bits_Are_Set_In(record.dwFileAttributes, FILE_ATTRIBUTE_SYSTEM);
}
bool Is_Compressed(const Find_Record& record) {
    return Bits_Are_Set_In(record.dwFileAttributes, FILE_ATTRIBUTE_COMPRESSED);
}
bool Is_Reparse_Point(const Find_Record& record) {
    return Bits_Are_Set_In(record.dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT);
}

File_Size File_Size_Of(const Find_Record& record) {
    return Unsigned::Quadword_Of(record.nFileSizeHigh, record.nFileSizeLow);
}

std::wstring_view Filename_Of(const Find_Record& record) {
    constexpr std::size_t field_length = sizeof record.cFileName / sizeof record.cFileName[0];
    std::size_t length = 0;
    while (length < field_length && record.cFileName[length] != L'\0') ++length;
    return std::wstring_view(record.cFileName, length);
}

bool Is_Special_Directory(std::wstring_view name) { return name == L"." || name == L".."; }

// ---------------------------------------------------------------- data streams

namespace {

using Unique_Handle = Windows::Unique<HANDLE, CloseHandle>;

constexpr std::size_t Stream_Buffer_Size = sizeof(File_Stream_Information);
constexpr std::size_t Stream_Header_Size = offsetof(File_Stream_Information, Name);
// The platform aligns each record after the first on a quadword boundary.
constexpr std::int32_t Stream_Record_Alignment = 8;

// The header fields of one stream record, read without regard to alignment.
struct Stream_Header {
    std::int32_t Next_Entry;
    std::int32_t Name_Length;
    std::uint64_t Size;
    std::uint64_t Allocation;
};

// The record at an offset in the buffer, if its header and its name lie wholly inside it.
bool Record_Fits(const unsigned char* buffer, std::size_t offset, Stream_Header& header) {
    if (offset + Stream_Header_Size > Stream_Buffer_Size) return false;
    const unsigned char* record = buffer + offset;
    std::memcpy(&header.Next_Entry, record + offsetof(File_Stream_Information, Next_Entry), 4);
    std::memcpy(&header.Name_Length, record + offsetof(File_Stream_Information, Name_Length), 4);
    std::memcpy(&header.Size, record + offsetof(File_Stream_Information, Size), 8);
    std::memcpy(&header.Allocation, record + offsetof(File_Stream_Information, Allocation), 8);
    if (header.Name_Length < 0) return false;
    return offset + Stream_Header_Size + static_cast<std::size_t>(header.Name_Length) <=
           Stream_Buffer_Size;
}

// A byte position advanced by a record's distance to the next one.
std::size_t operator+(std::size_t offset, const Stream_Header& record) {
    return offset + static_cast<std::size_t>(record.Next_Entry);
}

Unique_Handle Opened(const std::wstring& filename, DWORD access, DWORD flags = 0) {
    HANDLE opened = CreateFileW(Long_Path_Form(filename).c_str(), access,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    return Unique_Handle(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
}

std::optional<std::uint64_t> Index_In(HANDLE file) {
    if (Platform_Query) {
        std::uint64_t index = 0;
        Io_Status_Block status{};
        if (Platform_Query(file, &status, &index, sizeof index, File_Internal_Information_Class) >= 0)
            return index;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) return std::nullopt;
    return (std::uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
}

constexpr std::int32_t Status_Not_Implemented = std::int32_t(0xC0000002);
constexpr std::int32_t Status_Invalid_Info_Class = std::int32_t(0xC0000003);

void Iterate_Streams_In(HANDLE file, const Stream_Routine& process) {
    const Query_Information_File query = Nt_Query_Information_File;
    const bool is_platform_query = query == Platform_Query;
    if (query == nullptr || (is_platform_query && Platform_Reports_No_Streams)) return;
    alignas(8) unsigned char buffer[Stream_Buffer_Size]{};
    Io_Status_Block status{};
    std::int32_t result =
        query(file, &status, buffer, Stream_Buffer_Size, File_Stream_Information_Class);
    if (is_platform_query &&
        (result == Status_Not_Implemented || result == Status_Invalid_Info_Class))
        Platform_Reports_No_Streams = true;
    Stream_Header record;
    if (result < 0 || !Record_Fits(buffer, 0, record) || record.Next_Entry == 0) return;
    std::size_t offset = 0;
    for (;;) {
        std::wstring name(record.Name_Length / 2, L'\0');
        std::memcpy(name.data(), buffer + offset + Stream_Header_Size, name.size() * 2);
        process(name, Unsigned::Quadword::From(record.Size), Unsigned::Quadword::From(record.Allocation));
        // A distance that goes backwards, misaligned or out of the buffer ends the list.
        if (record.Next_Entry <= 0 || record.Next_Entry % Stream_Record_Alignment != 0) return;
        offset = offset + record;
        if (!Record_Fits(buffer, offset, record)) return;
    }
}

// Compressed and sparse data take less than their allocation, which the compression query
// tells; for other data the allocation is what it takes.
std::optional<File_Size> Size_On_Disk_Of(HANDLE file, std::uint32_t attribute) {
    if (Is_Held_Elsewhere(attribute)) return Zero_Length;
    if (!Platform_Query) return std::nullopt;
    Io_Status_Block status{};
    if (Bits_Are_Set_In(attribute, FILE_ATTRIBUTE_COMPRESSED) ||
        Bits_Are_Set_In(attribute, FILE_ATTRIBUTE_SPARSE_FILE)) {
        alignas(8) std::uint8_t compression[16]{};
        if (Platform_Query(file, &status, compression, sizeof compression,
                           File_Compression_Information_Class) >= 0) {
            std::uint64_t size;
            std::memcpy(&size, compression, sizeof size);
            return Unsigned::Quadword::From(size);
        }
    }
    alignas(8) std::uint8_t standard[24]{};
    if (Platform_Query(file, &status, standard, sizeof standard, File_Standard_Information_Class) < 0)
        return std::nullopt;
    std::uint64_t allocation;
    std::memcpy(&allocation, standard, sizeof allocation);
    return Unsigned::Quadword::From(allocation);
}

}  // namespace

bool Is_Held_Elsewhere(std::uint32_t attribute) {
    constexpr std::uint32_t recall_on_open = 0x00040000, recall_on_data_access = 0x00400000;
    return (attribute & (FILE_ATTRIBUTE_OFFLINE | recall_on_open | recall_on_data_access)) != 0;
}

void Iterate_Streams_Of(const std::wstring& filename, const Stream_Routine& process) {
    if (Nt_Query_Information_File == nullptr) return;
    if (Unique_Handle file = Opened(filename, GENERIC_READ)) Iterate_Streams_In(file.get(), process);
}

std::optional<std::uint64_t> File_Index_Of(const std::wstring& path) {
    Unique_Handle file = Opened(path, FILE_READ_ATTRIBUTES);
    if (!file) return std::nullopt;
    return Index_In(file.get());
}

std::optional<File_Identity> File_Identity_Of(const std::wstring& path) {
    Unique_Handle file = Opened(path, FILE_READ_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !GetFileInformationByHandle(file.get(), &information)) return std::nullopt;
    return File_Identity{information.dwVolumeSerialNumber,
                         (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

// ---------------------------------------------------------------- times

File_Time The_Time_Now() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    File_Time result{};
    SystemTimeToFileTime(&now, &result);
    return result;
}

bool Is_Earlier(const File_Time& the_time, const File_Time& than_time) {
    return CompareFileTime(&the_time, &than_time) < 0;
}

bool Is_Later(const File_Time& the_time, const File_Time& than_time) {
    return CompareFileTime(&the_time, &than_time) > 0;
}

namespace {

using Formatter = int(WINAPI*)(LCID, DWORD, const SYSTEMTIME*, LPCWSTR, LPWSTR, int);

// In 16-bit text, since month names and day-period markers need not be ASCII; the counts the
// platform returns include the terminating NUL.
std::wstring Formatted(Formatter format, const SYSTEMTIME& fields) {
    const int needed = format(LOCALE_USER_DEFAULT, 0, &fields, nullptr, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring image(static_cast<std::size_t>(needed), L'\0');
    const int count = format(LOCALE_USER_DEFAULT, 0, &fields, nullptr, image.data(), needed);
    image.resize(count > 0 ? static_cast<std::size_t>(count - 1) : 0);
    return image;
}

}  // namespace

std::wstring Image_Of(const File_Time& the_time) {
    if (the_time.dwLowDateTime == 0 && the_time.dwHighDateTime == 0) return {};
    File_Time local{};
    SYSTEMTIME fields{};
    if (!FileTimeToLocalFileTime(&the_time, &local) || !FileTimeToSystemTime(&local, &fields))
        return L" ";
    return Formatted(GetDateFormatW, fields) + L" " + Formatted(GetTimeFormatW, fields);
}

// ---------------------------------------------------------------- sizes

namespace {

std::string Unsigned_Image(std::uint64_t value) {
    std::string image(" ");
    image += Unsigned::Image_Of(Unsigned::Quadword::From(value));
    return image;
}

}  // namespace

std::string Image_Of(File_Size the_size) {
    const std::uint64_t mega = (the_size / 1'000'000).Value();
    const std::uint64_t low = the_size.Least_Significant;
    if (mega <= 1000) {
        if (low < 10'000) return Unsigned_Image(low);
        if (low < 10'000'000) return Unsigned_Image((low + 500) / 1000) + "KB";
        return Unsigned_Image((low + 500'000) / 1'000'000) + "MB";
    }
    if (mega < 10'000) return Unsigned_Image(mega) + "MB";
    if (mega <= 10'000'000) return Unsigned_Image((mega + 500) / 1000) + "GB";
    return Unsigned_Image((mega + 500'000) / 1'000'000) + "TB";
}

namespace {

bool Is_Blank(char character) { return character == ' ' || character == '\t'; }
bool Is_Digit(char character) { return character >= '0' && character <= '9'; }

std::size_t Digits_From(const std::string& text, std::size_t position) {
    while (position < text.size() && Is_Digit(text[position])) ++position;
    return position;
}

// Digits, then an optional point with digits, then an optional exponent: the only literal
// forms accepted, whatever the locale (no "inf", "nan", hexadecimal or grouping).
bool Is_Real_Literal(const std::string& text) {
    std::size_t position = 0;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) ++position;
    std::size_t after = Digits_From(text, position);
    if (after == position) return false;
    position = after;
    if (position < text.size() && text[position] == '.') {
        after = Digits_From(text, position + 1);
        if (after == position + 1) return false;
        position = after;
    }
    if (position < text.size() && (text[position] == 'e' || text[position] == 'E')) {
        ++position;
        if (position < text.size() && (text[position] == '+' || text[position] == '-'))
            ++position;
        after = Digits_From(text, position);
        if (after == position) return false;
        position = after;
    }
    return position == text.size();
}

double Multiplier_Of(char unit) {
    switch (unit) {
        case 'K': case 'k': return 1e3;
        case 'M': case 'm': return 1e6;
        case 'G': case 'g': return 1e9;
        case 'T': case 't': return 1e12;
        default: return 1.0;
    }
}

}  // namespace

File_Size Size_From(const std::string& the_size) {
    std::string text = the_size;
    if (text.size() > 1 && (text.back() == 'B' || text.back() == 'b')) text.pop_back();
    double multiplier = 1.0;
    if (text.size() > 1) {
        multiplier = Multiplier_Of(text.back());
        if (multiplier != 1.0) text.pop_back();
    }
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && Is_Blank(text[first])) ++first;
    while (last > first && Is_Blank(text[last - 1])) --last;
    text = text.substr(first, last - first);
    if (!Is_Real_Literal(text)) return Zero_Length;

    const char* start = text.data();
    if (*start == '+') ++start;  // from_chars takes no plus sign
    // A byte count is taken exactly: through a double, counts above 2**53 would round.
    if (multiplier == 1.0) {
        std::uint64_t bytes = 0;
        auto [end, error] = std::from_chars(start, text.data() + text.size(), bytes);
        if (error == std::errc() && end == text.data() + text.size())
            return Unsigned::Quadword::From(bytes);
    }
    double value = 0.0;
    auto [end, error] = std::from_chars(start, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return Zero_Length;
    const double count = std::floor(value * multiplier + 0.5);
    constexpr double two_to_the_64 = 18446744073709551616.0;
    if (!(count >= 0.0) || count >= two_to_the_64) return Zero_Length;  // NaN fails too
    const auto whole = static_cast<std::uint64_t>(count);
    return Unsigned::Quadword_Of(static_cast<Unsigned::Longword>(whole / 4294967296ULL),
                                 static_cast<Unsigned::Longword>(whole % 4294967296ULL));
}

// ---------------------------------------------------------------- owners and streams

Owner_And_Streams Owner_And_Streams_Of(const std::wstring& filename, const Find_Record& entry) {
    Owner_And_Streams result;
    // A junction or link is asked of itself: what it leads to may lie anywhere, or nowhere.
    const bool is_link = Is_Reparse_Point(entry);
    Unique_Handle file = Opened(filename, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                is_link ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    if (!file) {
        // Asked by name, the platform would follow the link.
        if (!is_link) result.The_Owner = Owner_Of(filename);
        return result;
    }
    result.The_Owner = Owner_Of(file.get());
    result.File_Index = Index_In(file.get());
    if (Is_Directory(entry)) return result;
    Iterate_Streams_In(file.get(), [&result](const std::wstring& name, File_Size size, File_Size size_on_disk) {
        result.Streams.push_back({name, size, size_on_disk});
    });
    result.Size_On_Disk = Size_On_Disk_Of(file.get(), entry.dwFileAttributes);
    return result;
}

void Ask_Again_For_Streams() { Platform_Reports_No_Streams = false; }

// ---------------------------------------------------------------- other queries

File_Attributes Attributes_For(const std::wstring& name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Long_Path_Form(name).c_str(), GetFileExInfoStandard, &data))
        throw File_Not_Found(Wide_Text::Utf8_Of(name));
    return {data.dwFileAttributes, data.ftCreationTime, data.ftLastAccessTime,
            data.ftLastWriteTime, Unsigned::Quadword_Of(data.nFileSizeHigh, data.nFileSizeLow)};
}

std::wstring Current_Directory() {
    // The directory may change between the two calls: then ask again for the new size.
    for (;;) {
        const DWORD needed = GetCurrentDirectoryW(0, nullptr);
        if (needed == 0) return {};
        std::wstring directory(needed, L'\0');
        const DWORD length = GetCurrentDirectoryW(needed, directory.data());
        if (length == 0) return {};
        if (length < needed) {
            directory.resize(length);
            return directory;
        }
    }
}

void Rename_File(const std::string& existing_name, const std::string& new_name) {
    if (!MoveFileExA(existing_name.c_str(), new_name.c_str(), MOVEFILE_REPLACE_EXISTING))
        throw File_Not_Found(existing_name + " -> " + new_name);
}

// ---------------------------------------------------------------- whole files

namespace {

std::string Failure_Text(const std::wstring& path, const char* what) {
    return Wide_Text::Utf8_Of(path) + ": " + what + ", error " + std::to_string(GetLastError());
}

// One call moves at most this much, well inside a DWORD.
constexpr std::size_t Transfer_Size = std::size_t{1} << 30;

// Written at the file pointer, in calls of at most Transfer_Size.
void Write_All(HANDLE file, std::string_view contents, const std::wstring& path) {
    while (!contents.empty()) {
        const DWORD length = static_cast<DWORD>(std::min(contents.size(), Transfer_Size));
        DWORD written = 0;
        if (!WriteFile(file, contents.data(), length, &written, nullptr) || written != length)
            throw Write_Failure(Failure_Text(path, "cannot write"));
        contents.remove_prefix(length);
    }
}

void Move_To(HANDLE file, std::uint64_t at, const std::wstring& path) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(at);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN))
        throw Write_Failure(Failure_Text(path, "cannot seek"));
}

}  // namespace

// The temporary file beside the target goes when the write does not complete. It is made
// new, never over a file that has its name, which may be the user's: the process and a count
// tell this program's writers apart, and a name that is taken is passed over.
Replacement::Replacement(const std::wstring& target) : target_(target) {
    static std::atomic<std::uint32_t> replacements_made = 0;
    constexpr int Names_Tried = 100;
    const std::wstring stem = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-";
    for (int attempt = 0; attempt < Names_Tried; ++attempt) {
        path_ = stem + std::to_wstring(++replacements_made) + L".partial";
        handle_.reset(CreateFileW(Long_Path_Form(path_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (handle_.get() != INVALID_HANDLE_VALUE) return;
        handle_.release();
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    throw Write_Failure(Failure_Text(path_, "cannot create the temporary file"));
}

Replacement::~Replacement() {
    handle_.reset();
    if (!is_kept_) DeleteFileW(Long_Path_Form(path_).c_str());
}

void Replacement::Append(std::string_view bytes) {
    Write_All(handle_.get(), bytes, path_);
    size_ += bytes.size();
}

void Replacement::Overwrite(std::uint64_t at, std::string_view bytes) {
    if (at > size_ || bytes.size() > size_ - at) throw Constraint_Error("an overwrite past the end");
    Move_To(handle_.get(), at, path_);
    Write_All(handle_.get(), bytes, path_);
    Move_To(handle_.get(), size_, path_);
}

void Replacement::Commit() {
    if (!FlushFileBuffers(handle_.get())) throw Write_Failure(Failure_Text(path_, "cannot flush"));
    handle_.reset();
    if (!MoveFileExW(Long_Path_Form(path_).c_str(), Long_Path_Form(target_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw Write_Failure(Failure_Text(target_, "cannot replace"));
    is_kept_ = true;
}

std::string Contents_Of(const std::wstring& path) {
    Unique_Handle file(CreateFileW(Long_Path_Form(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        throw Read_Failure(Failure_Text(path, "cannot open"));
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) throw Read_Failure(Failure_Text(path, "cannot size"));
    std::string contents(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < contents.size()) {
        const DWORD length = static_cast<DWORD>(std::min(contents.size() - done, Transfer_Size));
        DWORD read = 0;
        if (!ReadFile(file.get(), contents.data() + done, length, &read, nullptr))
            throw Read_Failure(Failure_Text(path, "cannot read"));
        if (read == 0) break;  // shortened meanwhile
        done += read;
    }
    contents.resize(done);
    return contents;
}

void Replace_Contents(const std::wstring& path, std::string_view contents) {
    Replacement replacement(path);
    replacement.Append(contents);
    replacement.Commit();
}

}  // namespace Windows::Files
