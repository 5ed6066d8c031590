// The checksum of scan files: CRC-32 as zlib computes it, by tables eight bytes a step or by
// carry-less multiplication where the processor has it, and the sum of two pieces from each
// one's. Portable to any x86-64 compiler; no state but constant tables.
#include <array>
#include <cstring>
#include <immintrin.h>

#include "work-scan_file-format.hpp"

namespace Work::Scan_File {

namespace {

using Crc_Table = std::array<std::array<std::uint32_t, 256>, 8>;

// Eight tables, so that the sum advances eight bytes a step.
constexpr Crc_Table Crc_Tables() {
    Crc_Table tables{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        tables[0][byte] = crc;
    }
    for (std::size_t table = 1; table < 8; ++table)
        for (std::size_t byte = 0; byte < 256; ++byte)
            tables[table][byte] =
                (tables[table - 1][byte] >> 8) ^ tables[0][tables[table - 1][byte] & 0xFF];
    return tables;
}
constexpr Crc_Table Crc = Crc_Tables();

// The running sum (not inverted) advanced over the bytes, eight at a time.
std::uint32_t Table_Crc(const std::uint8_t* next, std::size_t left, std::uint32_t crc) {
    for (; left >= 8; left -= 8, next += 8) {
        std::uint32_t low;
        std::uint32_t high;
        std::memcpy(&low, next, 4);
        std::memcpy(&high, next + 4, 4);
        low ^= crc;
        crc = Crc[7][low & 0xFF] ^ Crc[6][(low >> 8) & 0xFF] ^ Crc[5][(low >> 16) & 0xFF] ^
              Crc[4][low >> 24] ^ Crc[3][high & 0xFF] ^ Crc[2][(high >> 8) & 0xFF] ^
              Crc[1][(high >> 16) & 0xFF] ^ Crc[0][high >> 24];
    }
    for (; left > 0; --left, ++next) crc = (crc >> 8) ^ Crc[0][(crc ^ *next) & 0xFF];
    return crc;
}

// The same by carry-less multiplication, 64 bytes a step, on processors that have it: a
// scan's checksum then costs a small share of writing or reading it. The constants are the
// published ones for this polynomial (bit-reflected powers of x modulo it, and the pair of
// Barrett's reduction). Wants a multiple of 16 bytes, at least 64.
#define QUARRIX_CARRY_LESS __attribute__((target("pclmul,sse4.1")))

QUARRIX_CARRY_LESS __m128i Block_At(const std::uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The block moved forward by the distance the constants stand for, added into another.
QUARRIX_CARRY_LESS __m128i Folded(__m128i block, __m128i constants, __m128i into) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(block, constants, 0x00), _mm_clmulepi64_si128(block, constants, 0x11)),
        into);
}

QUARRIX_CARRY_LESS std::uint32_t Folded_Crc(const std::uint8_t* next, std::size_t length,
                                                                 std::uint32_t crc) {
    const __m128i four_blocks = _mm_set_epi64x(0x01C6E41596, 0x0154442BD4);
    const __m128i one_block = _mm_set_epi64x(0x00CCAA009E, 0x01751997D0);
    const __m128i x64 = _mm_set_epi64x(0, 0x0163CD6124);
    const __m128i barrett = _mm_set_epi64x(0x01F7011641, 0x01DB710641);
    const __m128i low_32_bits = _mm_setr_epi32(~0, 0, ~0, 0);

    __m128i x1 = _mm_xor_si128(Block_At(next), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Block_At(next + 16);
    __m128i x3 = Block_At(next + 32);
    __m128i x4 = Block_At(next + 48);
    next += 64;
    length -= 64;
    for (; length >= 64; length -= 64, next += 64) {
        x1 = Folded(x1, four_blocks, Block_At(next));
        x2 = Folded(x2, four_blocks, Block_At(next + 16));
        x3 = Folded(x3, four_blocks, Block_At(next + 32));
        x4 = Folded(x4, four_blocks, Block_At(next + 48));
    }
    x1 = Folded(x1, one_block, x2);
    x1 = Folded(x1, one_block, x3);
    x1 = Folded(x1, one_block, x4);
    for (; length >= 16; length -= 16, next += 16) x1 = Folded(x1, one_block, Block_At(next));

    // 128 bits to 64, then Barrett's reduction to 32.
    x2 = _mm_clmulepi64_si128(x1, one_block, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low_32_bits), x64, 0x00), x2);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, low_32_bits), barrett, 0x10);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, low_32_bits), barrett, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, x2), 1));
}

// Two polynomials' product modulo the CRC's, both bit-reflected as the sums are.
std::uint32_t Product_Modulo(std::uint32_t one, std::uint32_t other) {
    std::uint32_t product = 0;
    for (std::uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
        if (one & bit) product ^= other;
        other = (other & 1) ? (other >> 1) ^ 0xEDB88320u : other >> 1;
    }
    return product;
}

// x^(8 * length) modulo the polynomial: what a sum is multiplied by over that many bytes.
std::uint32_t Shift_Over(std::uint64_t length) {
    std::uint32_t power = 1u << 31;  // x^0
    std::uint32_t square = 1u << 23;  // x^8
    for (; length != 0; length >>= 1) {
        if (length & 1) power = Product_Modulo(square, power);
        square = Product_Modulo(square, square);
    }
    return power;
}

}  // namespace

// The sum (as zlib gives it, 0 for nothing) of bytes before, continued over these.
std::uint32_t Crc_32_After(std::uint32_t the_crc, std::string_view the_bytes) {
    static const bool has_carry_less_multiply =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    std::uint32_t crc = ~the_crc;
    const auto* next = reinterpret_cast<const std::uint8_t*>(the_bytes.data());
    std::size_t left = the_bytes.size();
    if (has_carry_less_multiply && left >= 64) {
        const std::size_t folded = left & ~std::size_t{15};
        crc = Folded_Crc(next, folded, crc);
        next += folded;
        left -= folded;
    }
    return ~Table_Crc(next, left, crc);
}

std::uint32_t Crc_32_Of(std::string_view the_bytes) { return Crc_32_After(0, the_bytes); }

// The sum of two pieces one after the other, from the sum of each: a body's sum is made as
// it is written, and its header's, written before it, only once the body's length is known.
std::uint32_t Crc_32_Of_Both(std::uint32_t first, std::uint32_t second, std::uint64_t second_length) {
    return Product_Modulo(Shift_Over(second_length), first) ^ second;
}

}  // namespace Work::Scan_File
