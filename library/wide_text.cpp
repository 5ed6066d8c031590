#include "wide_text.hpp"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace Wide_Text {

struct Shared_Batch::Batch {
    static constexpr std::size_t Size = 256 * 1024;
    // Its texts', and the maker's while it adds to it. A batch starts with a reference for
    // every text it could hold, and its maker gives back those it did not make when it moves
    // on: making a text then costs no atomic operation.
    std::atomic<std::uint64_t> References;
    static constexpr std::uint64_t Most_Texts = Size / sizeof(Shared::Block);
};

Shared_Batch::Batch* Shared_Batch::Batch_Of(Shared::Block* the_block) noexcept {
    const std::uint32_t distance = the_block->References.load(std::memory_order_relaxed);
    return reinterpret_cast<Batch*>(reinterpret_cast<char*>(the_block) - distance);
}

void Shared_Batch::Release(Batch* the_batch, std::uint64_t the_references) noexcept {
    if (the_batch->References.fetch_sub(the_references, std::memory_order_acq_rel) == the_references) {
        the_batch->~Batch();
        ::operator delete(the_batch);
    }
}

std::size_t Shared_Batch::Block_Bytes_For(std::size_t the_units) {
    constexpr std::size_t alignment = alignof(Shared::Block);
    return (sizeof(Shared::Block) + the_units * sizeof(wchar_t) + alignment - 1) / alignment * alignment;
}

std::uint32_t Shared::Length_Of(std::size_t the_units) {
    if (the_units > Most_Units)
        throw Text_Too_Long("a text of " + std::to_string(the_units) + " units; at most " + std::to_string(Most_Units));
    return static_cast<std::uint32_t>(the_units);
}

Shared::Shared(std::wstring_view text) {
    if (text.empty()) return;
    const std::uint32_t length = Length_Of(text.size());
    void* storage = ::operator new(sizeof(Block) + text.size() * sizeof(wchar_t));
    block_ = ::new (storage) Block{{1}, length};
    std::memcpy(block_->Characters(), text.data(), text.size() * sizeof(wchar_t));
}

void Shared::Add_Reference() const noexcept {
    if (block_->Is_In_Batch()) Shared_Batch::Batch_Of(block_)->References.fetch_add(1, std::memory_order_relaxed);
    else block_->References.fetch_add(1, std::memory_order_relaxed);
}

void Shared::Release() noexcept {
    if (block_->Is_In_Batch()) {
        Shared_Batch::Release(Shared_Batch::Batch_Of(block_));
    } else if (block_->References.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        block_->~Block();
        ::operator delete(block_);
    }
}


Shared_Batch::~Shared_Batch() { Release_Batch(); }

void Shared_Batch::Release_Batch() noexcept {
    if (batch_) Release(batch_, 1 + Batch::Most_Texts - made_);
    batch_ = nullptr;
}

void Shared_Batch::Start_Batch() {
    void* storage = ::operator new(Batch::Size);
    Release_Batch();
    batch_ = ::new (storage) Batch{{1 + Batch::Most_Texts}};
    used_ = sizeof(Batch);
    made_ = 0;
}

// A text of that many units, which fill writes.
template <typename Fill>
Shared Shared_Batch::Made(std::size_t units, Fill fill) {
    if (units == 0) return Shared();
    const std::size_t bytes = Block_Bytes_For(units);
    // A long text would leave much of a batch unused: it takes a block of its own.
    if (bytes > Batch::Size / 16) {
        Shared::Length_Of(units);  // refused before its units are made
        std::wstring text(units, L'\0');
        fill(text.data());
        return Shared(text);
    }
    if (!batch_ || used_ + bytes > Batch::Size) Start_Batch();
    auto* block = ::new (reinterpret_cast<char*>(batch_) + used_)
        Shared::Block{{static_cast<std::uint32_t>(used_)}, static_cast<std::uint32_t>(units) | Shared::Block::In_Batch};
    fill(block->Characters());
    used_ += bytes;
    ++made_;
    return Shared(block);
}

template <typename Unit>
Shared Shared_Batch::Made_Of(std::basic_string_view<Unit> text) {
    return Made(text.size(), [text](wchar_t* into) { std::copy(text.begin(), text.end(), into); });
}

Shared Shared_Batch::Text(std::wstring_view text) { return Made_Of(text); }
Shared Shared_Batch::Text_Of_Bytes(std::basic_string_view<std::uint8_t> units) { return Made_Of(units); }

Shared Shared_Batch::Text_Of_Little_Endian(const std::uint8_t* bytes, std::size_t units) {
    return Made(units, [bytes, units](wchar_t* into) {
        for (std::size_t unit = 0; unit < units; ++unit) into[unit] = Little_Endian_Unit(bytes, unit);
    });
}

Shared_Copies::Shared_Copies(std::wstring_view text) : text_(text) {
    if (text_.block_) text_.block_->References.fetch_add(Copies_Counted_Ahead, std::memory_order_relaxed);
}

Shared_Copies::~Shared_Copies() {
    // Its own reference stays until text_ goes, so this never frees the text.
    if (text_.block_) text_.block_->References.fetch_sub(Copies_Counted_Ahead - made_, std::memory_order_release);
}

Shared Shared_Copies::Copy() {
    if (!text_.block_ || made_ == Copies_Counted_Ahead) return text_;
    ++made_;
    return Shared(text_.block_);
}

std::ostream& operator<<(std::ostream& stream, const Shared& text) {
    return stream << Utf8_Of(text.String());
}

void Truncate(std::wstring& the_string, std::size_t to_length) {
    if (to_length < the_string.size()) the_string.resize(to_length);
}

std::wstring Truncation_Of(const std::wstring& the_string, std::size_t to_length) {
    return the_string.substr(0, to_length);
}

// Letter case is folded the way the file system folds it: by the platform's upper-case table.
static wchar_t Folded(wchar_t character) {
    return static_cast<wchar_t>(reinterpret_cast<std::uintptr_t>(
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<std::uintptr_t>(character)))));
}

bool Is_Equal(std::wstring_view left, std::wstring_view right, bool case_sensitive) {
    if (left.size() != right.size()) return false;
    if (case_sensitive) return left == right;
    for (std::size_t index = 0; index < left.size(); ++index)
        if (left[index] != right[index] && Folded(left[index]) != Folded(right[index]))
            return false;
    return true;
}

bool Is_Null(const std::wstring& the_string) { return the_string.empty(); }

std::size_t Location_Of(wchar_t the_character, const std::wstring& in_string, std::size_t from,
                        Direction direction) {
    return direction == Direction::Backward ? in_string.rfind(the_character, from)
                                            : in_string.find(the_character, from == Not_Found ? 0 : from);
}

namespace {

std::string Narrowed_In(UINT code_page, const std::wstring& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(code_page, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(code_page, 0, text.data(), length, result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring Widened_From(UINT code_page, const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
    std::wstring result(size, L'\0');
    MultiByteToWideChar(code_page, 0, text.data(), length, result.data(), size);
    return result;
}

}  // namespace

std::wstring Widened(const std::string& ansi) { return Widened_From(CP_ACP, ansi); }
std::string Narrowed(const std::wstring& utf16) { return Narrowed_In(CP_ACP, utf16); }
std::string Utf8_Of(const std::wstring& utf16) { return Narrowed_In(CP_UTF8, utf16); }
std::wstring From_Utf8(const std::string& utf8) { return Widened_From(CP_UTF8, utf8); }

}  // namespace Wide_Text
