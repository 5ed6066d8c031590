#include "wide_text.hpp"

#include <windows.h>

#include <cstring>
#include <new>

namespace Wide_Text {

struct Shared::Block {
    std::atomic<std::uint32_t> References;
    std::uint32_t Length;
    // The characters follow the header in the same allocation.
    wchar_t* Characters() { return reinterpret_cast<wchar_t*>(this + 1); }
};

Shared::Shared(std::wstring_view text) {
    if (text.empty()) return;
    void* storage = ::operator new(sizeof(Block) + text.size() * sizeof(wchar_t));
    block_ = ::new (storage) Block{{1}, static_cast<std::uint32_t>(text.size())};
    std::memcpy(block_->Characters(), text.data(), text.size() * sizeof(wchar_t));
}

Shared::Shared(const Shared& other) noexcept : block_(other.block_) {
    if (block_) block_->References.fetch_add(1, std::memory_order_relaxed);
}

Shared& Shared::operator=(Shared other) noexcept {
    std::swap(block_, other.block_);
    return *this;
}

Shared::~Shared() {
    if (block_ && block_->References.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        block_->~Block();
        ::operator delete(block_);
    }
}

std::wstring_view Shared::View() const noexcept {
    return block_ ? std::wstring_view(block_->Characters(), block_->Length) : std::wstring_view();
}

std::size_t Shared::size() const noexcept { return block_ ? block_->Length : 0; }

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
