#include "strings.hpp"

#include <cctype>
#include <typeinfo>

Failure::Failure(std::string qualified_name, const std::string& message)
    : std::runtime_error(message), name_(std::move(qualified_name)) {}

std::string Failure::Information() const {
    std::string message = what();
    return message.empty() ? name_ : name_ + ": " + message;
}

std::string Information_Of(const std::exception& error) {
    if (auto failure = dynamic_cast<const Failure*>(&error)) return failure->Information();
    if (dynamic_cast<const std::bad_alloc*>(&error)) return "STORAGE_ERROR";
    return std::string("UNEXPECTED FAILURE: ") + error.what();
}

namespace Strings {

std::string Legible_Of(const std::string& identifier) {
    std::string result;
    bool in_a_gap = true;
    for (char character : identifier) {
        if (character == '_') character = ' ';
        auto byte = static_cast<unsigned char>(character);
        if (character == ' ') {
            if (in_a_gap) continue;
            result += ' ';
            in_a_gap = true;
        } else {
            result += static_cast<char>(in_a_gap ? std::toupper(byte) : std::tolower(byte));
            in_a_gap = false;
        }
    }
    if (!result.empty() && result.back() == ' ') result.pop_back();
    return result;
}

}  // namespace Strings
