#pragma once
// Helpers on growable 16-bit strings (paths, names, stream names).

#include <string>

namespace Wide_Text {

enum class Direction { Forward, Backward };

constexpr std::size_t Not_Found = std::wstring::npos;

void Truncate(std::wstring& the_string, std::size_t to_length);
std::wstring Truncation_Of(const std::wstring& the_string, std::size_t to_length);
bool Is_Equal(const std::wstring& left, const std::wstring& right, bool case_sensitive);
bool Is_Null(const std::wstring& the_string);
// Position (0-based) of the character, searching from a position in a direction; Not_Found
// when absent. Backward from Not_Found searches from the end.
std::size_t Location_Of(wchar_t the_character, const std::wstring& in_string,
                        std::size_t from = Not_Found, Direction direction = Direction::Backward);

std::wstring Widened(const std::string& latin_1);  // each byte becomes the same 16-bit code
std::string Utf8_Of(const std::wstring& utf16);
std::wstring From_Utf8(const std::string& utf8);

}  // namespace Wide_Text
