#include "unsigned.hpp"

namespace Unsigned {

Longword Longword_Of(Quadword value) {
    if (value.Most_Significant != 0) throw Range_Error("value does not fit 32 bits");
    return value.Least_Significant;
}

std::string Image_Of(Quadword value) {
    std::uint64_t rest = value.Value();
    if (rest == 0) return "0";
    char digits[30];
    int first = sizeof digits;
    while (rest != 0) {
        digits[--first] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    }
    return std::string(digits + first, digits + sizeof digits);
}

char Digit_Of(Byte value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    if (value > 15) throw Constraint_Error("hexadecimal digit out of range");
    return digits[value];
}

std::string Hex_Image_Of(Byte value) {
    return {Digit_Of(static_cast<Byte>(value >> 4)), Digit_Of(static_cast<Byte>(value & 0xF))};
}

std::string Hex_Image_Of(Word value) {
    return Hex_Image_Of(static_cast<Byte>(value >> 8)) + Hex_Image_Of(static_cast<Byte>(value));
}

std::string Hex_Image_Of(Longword value) {
    return Hex_Image_Of(static_cast<Word>(value >> 16)) + Hex_Image_Of(static_cast<Word>(value));
}

}  // namespace Unsigned
