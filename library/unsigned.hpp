#pragma once
// 64-bit unsigned quantities as two 32-bit halves, low half first like the platform's.

#include <cstdint>
#include <string>

#include "strings.hpp"

namespace Unsigned {

using Longword = std::uint32_t;
using Word = std::uint16_t;
using Byte = std::uint8_t;

QUARRIX_FAILURE(Range_Error, "UNSIGNED.RANGE_ERROR");

struct Quadword {
    Longword Least_Significant = 0;
    Longword Most_Significant = 0;

    constexpr std::uint64_t Value() const {
        return (std::uint64_t{Most_Significant} << 32) | Least_Significant;
    }
    static constexpr Quadword From(std::uint64_t value) {
        return {static_cast<Longword>(value), static_cast<Longword>(value >> 32)};
    }
};

constexpr Quadword Quadword_Of(Longword value) { return {value, 0}; }
constexpr Quadword Quadword_Of(Longword most_significant, Longword least_significant) {
    return {least_significant, most_significant};
}

Longword Longword_Of(Quadword value);  // raises Range_Error when the high half is not 0
constexpr Longword Least_Significant_Longword_Of(Quadword value) { return value.Least_Significant; }
constexpr Longword Longword_Of(std::int32_t value) { return static_cast<Longword>(value); }
constexpr std::int32_t To_Integer(Longword value) { return static_cast<std::int32_t>(value); }

// Sums and differences wrap modulo 2^64.
constexpr Quadword operator+(Quadword left, Quadword right) {
    return Quadword::From(left.Value() + right.Value());
}
constexpr Quadword operator-(Quadword left, Quadword right) {
    return Quadword::From(left.Value() - right.Value());
}
constexpr Quadword& operator+=(Quadword& left, Quadword right) { return left = left + right; }
// A sum of sizes past 2^64 comes only from damage or from sparse files no disk holds: it
// stays at the largest value rather than wrap round to a small one.
constexpr std::uint64_t Saturated_Sum(std::uint64_t left, std::uint64_t right) {
    return left > ~right ? ~std::uint64_t{0} : left + right;
}
constexpr Quadword Saturated_Sum(Quadword left, Quadword right) {
    return Quadword::From(Saturated_Sum(left.Value(), right.Value()));
}
// As a signed number for a change or a difference; 2^63 or more, which only such sizes
// give, as the largest signed number.
constexpr std::int64_t Saturated_Signed(std::uint64_t value) {
    return value > std::uint64_t{INT64_MAX} ? INT64_MAX : static_cast<std::int64_t>(value);
}
// The exact product of two 32-bit values.
constexpr Quadword Product_Of(Longword left, Longword right) {
    return Quadword::From(std::uint64_t{left} * right);
}
constexpr Quadword operator/(Quadword left, Longword right) {
    return Quadword::From(left.Value() / right);
}

// Ordered as the unsigned values they are: a size of 2^63 or more is the largest, not below 0.
constexpr bool operator<(Quadword left, Quadword right) { return left.Value() < right.Value(); }
constexpr bool operator>(Quadword left, Quadword right) { return right < left; }
constexpr bool operator==(Quadword left, Quadword right) {
    return left.Least_Significant == right.Least_Significant &&
           left.Most_Significant == right.Most_Significant;
}
constexpr bool Is_Zero(Quadword value) { return value.Value() == 0; }

std::string Image_Of(Quadword value);  // decimal, no sign, no blank
std::string Hex_Image_Of(Byte value);
std::string Hex_Image_Of(Word value);
std::string Hex_Image_Of(Longword value);
char Digit_Of(Byte value);  // 0 .. 15, else Constraint_Error

}  // namespace Unsigned
