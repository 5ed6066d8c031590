#include "text.hpp"

#include <cctype>

namespace Text {

void Truncate(std::string& the_string, std::size_t to_length) {
    if (to_length < the_string.size()) the_string.resize(to_length);
}

std::string Truncation_Of(const std::string& the_string, std::size_t to_length) {
    return the_string.substr(0, to_length);
}

bool Is_Equal(const std::string& left, const std::string& right, bool case_sensitive) {
    if (left.size() != right.size()) return false;
    for (std::size_t index = 0; index < left.size(); ++index) {
        auto a = static_cast<unsigned char>(left[index]);
        auto b = static_cast<unsigned char>(right[index]);
        if (case_sensitive ? a != b : std::toupper(a) != std::toupper(b)) return false;
    }
    return true;
}

bool Is_Null(const std::string& the_string) { return the_string.empty(); }

std::string Narrowed(const std::wstring& the_string) {
    std::string result(the_string.size(), '\0');
    for (std::size_t index = 0; index < the_string.size(); ++index)
        result[index] = the_string[index] <= 0xFF ? static_cast<char>(the_string[index]) : '?';
    return result;
}

}  // namespace Text
