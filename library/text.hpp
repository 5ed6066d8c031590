#pragma once
// Helpers on growable 8-bit strings (window titles, registry names and values).

#include <string>

namespace Text {

void Truncate(std::string& the_string, std::size_t to_length);
std::string Truncation_Of(const std::string& the_string, std::size_t to_length);
bool Is_Equal(const std::string& left, const std::string& right, bool case_sensitive);
bool Is_Null(const std::string& the_string);
// Latin-1 narrowing of a 16-bit text; characters above 0xFF become '?'.
std::string Narrowed(const std::wstring& the_string);

}  // namespace Text
