#pragma once
// Helpers on growable 16-bit strings (paths, names, stream names).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "strings.hpp"

namespace Wide_Text {

// A text of 2^31 units or more: longer than any a shared text can hold.
QUARRIX_FAILURE(Text_Too_Long, "WIDE_TEXT.TEXT_TOO_LONG");

// An immutable 16-bit string in a single block that its copies share: eight bytes where it
// is held, so a record stays small and a folder's path is stored once for all its records.
class Shared {
public:
    Shared() noexcept = default;
    Shared(std::wstring_view text);
    Shared(const std::wstring& text) : Shared(std::wstring_view(text)) {}
    Shared(const wchar_t* text) : Shared(std::wstring_view(text)) {}
    // The empty text, the most common, costs no call to copy or drop.
    Shared(const Shared& other) noexcept : block_(other.block_) {
        if (block_) Add_Reference();
    }
    Shared(Shared&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    Shared& operator=(Shared other) noexcept {
        std::swap(block_, other.block_);
        return *this;
    }
    ~Shared() {
        if (block_) Release();
    }

    std::wstring_view View() const noexcept {
        return block_ ? std::wstring_view(block_->Characters(), block_->Unit_Count()) : std::wstring_view();
    }
    operator std::wstring_view() const noexcept { return View(); }
    std::wstring String() const { return std::wstring(View()); }
    std::size_t size() const noexcept { return block_ ? block_->Unit_Count() : 0; }
    bool empty() const noexcept { return size() == 0; }
    wchar_t operator[](std::size_t index) const noexcept { return View()[index]; }
    // Text_Too_Long past that: the length shares its word with the mark of a batch's text.
    static constexpr std::size_t Most_Units = 0x7FFFFFFF;

    friend bool operator==(const Shared& left, const Shared& right) noexcept {
        return left.View() == right.View();
    }
    friend bool operator==(const Shared& left, std::wstring_view right) noexcept {
        return left.View() == right;
    }
    friend bool operator==(const Shared& left, const std::wstring& right) noexcept {
        return left.View() == right;
    }
    friend bool operator==(const Shared& left, const wchar_t* right) noexcept {
        return left.View() == std::wstring_view(right);
    }
    friend std::wstring operator+(const Shared& left, std::wstring_view right) {
        return left.String().append(right);
    }
    friend std::wstring operator+(const Shared& left, wchar_t right) {
        return left.String() + right;
    }
    friend std::wstring operator+(std::wstring left, const Shared& right) {
        return left.append(right.View());
    }
    friend std::wstring operator+(const wchar_t* left, const Shared& right) {
        return std::wstring(left).append(right.View());
    }
    // Test failures show the text.
    friend std::ostream& operator<<(std::ostream& stream, const Shared& text);

private:
    friend class Shared_Batch;
    friend class Shared_Copies;
    // A text of a batch counts its references in the batch's count; its own field then holds
    // its distance from the batch's start, and its length has the top bit set.
    struct Block {
        std::atomic<std::uint32_t> References;
        std::uint32_t Length;
        static constexpr std::uint32_t In_Batch = Most_Units + 1;
        // The characters follow the header in the same allocation.
        wchar_t* Characters() { return reinterpret_cast<wchar_t*>(this + 1); }
        std::uint32_t Unit_Count() const { return Length & ~In_Batch; }
        bool Is_In_Batch() const { return (Length & In_Batch) != 0; }
    };
    explicit Shared(Block* the_block) noexcept : block_(the_block) {}
    // The length as a block holds it; Text_Too_Long for one that would read as In_Batch.
    static std::uint32_t Length_Of(std::size_t the_units);
    void Add_Reference() const noexcept;
    void Release() noexcept;
    Block* block_ = nullptr;  // null for the empty string
};

// Texts made one after another into one allocation with one count of references, for many
// texts made together that mostly go together (a scan's names): a million of them cost a
// few hundred allocations rather than a million. The allocation lasts while any of its
// texts does.
class Shared_Batch {
public:
    Shared_Batch() = default;
    Shared_Batch(const Shared_Batch&) = delete;
    Shared_Batch& operator=(const Shared_Batch&) = delete;
    ~Shared_Batch();

    Shared Text(std::wstring_view text);
    Shared Text_Of_Bytes(std::basic_string_view<std::uint8_t> units);  // a unit a byte
    // Units of two bytes each, least significant first, as a volume stores names.
    Shared Text_Of_Little_Endian(const std::uint8_t* bytes, std::size_t units);

private:
    friend class Shared;
    struct Batch;
    static Batch* Batch_Of(Shared::Block* the_block) noexcept;
    static void Release(Batch* the_batch, std::uint64_t the_references = 1) noexcept;
    static std::size_t Block_Bytes_For(std::size_t the_units);
    template <typename Fill>
    Shared Made(std::size_t units, Fill fill);
    template <typename Unit>
    Shared Made_Of(std::basic_string_view<Unit> text);
    void Start_Batch();
    void Release_Batch() noexcept;
    Batch* batch_ = nullptr;
    std::size_t used_ = 0;  // bytes, the batch's header included
    std::uint64_t made_ = 0;  // texts in the batch
};

// One text and its copies, made many at a time, as a folder's name for each of its records.
// The text starts with a reference for every copy it could give and gives back the unused
// ones when it goes: a copy then costs no atomic operation, and may outlast its maker.
class Shared_Copies {
public:
    explicit Shared_Copies(std::wstring_view text);
    Shared_Copies(Shared_Copies&& other) noexcept : text_(std::move(other.text_)), made_(other.made_) {}
    Shared_Copies& operator=(Shared_Copies&&) = delete;
    ~Shared_Copies();

    Shared Copy();
    std::wstring_view View() const noexcept { return text_.View(); }

private:
    static constexpr std::uint32_t Copies_Counted_Ahead = 1u << 30;
    Shared text_;
    std::uint32_t made_ = 0;
};

// A unit of a text stored two bytes a unit, least significant first, as volumes and scan
// files store names.
inline wchar_t Little_Endian_Unit(const std::uint8_t* bytes, std::size_t index) {
    return static_cast<wchar_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

enum class Direction { Forward, Backward };

constexpr std::size_t Not_Found = std::wstring::npos;

void Truncate(std::wstring& the_string, std::size_t to_length);
std::wstring Truncation_Of(const std::wstring& the_string, std::size_t to_length);
bool Is_Equal(std::wstring_view left, std::wstring_view right, bool case_sensitive);
bool Is_Null(const std::wstring& the_string);
// Position (0-based) of the character, searching from a position in a direction; Not_Found
// when absent. Backward from Not_Found searches from the end.
std::size_t Location_Of(wchar_t the_character, const std::wstring& in_string,
                        std::size_t from = Not_Found, Direction direction = Direction::Backward);

// Where 8-bit text (window titles, registry values) meets 16-bit text: through the ANSI
// code page both ways, the one the platform's 8-bit calls use.
std::wstring Widened(const std::string& ansi);
std::string Narrowed(const std::wstring& utf16);  // characters outside the code page become '?'
std::string Utf8_Of(const std::wstring& utf16);
std::wstring From_Utf8(const std::string& utf8);

}  // namespace Wide_Text
