// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: CRC-32 of IEEE 802.3 (reflected polynomial EDB88320, the zlib and PKZIP check).
#include "Crc32.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VASKIMO_CRC_CLMUL 1
#endif

namespace {

// Table[0] is the classic byte table; Table[k] advances a byte by k further zero bytes, so eight
// bytes are folded per step ("slicing by 8") with the same result as the byte-at-a-time loop.
using TCrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr TCrcTables MakeTables()
{
    TCrcTables t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (std::uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < 8; ++k)
            t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
    return t;
}

constexpr TCrcTables Tables = MakeTables();

std::uint32_t TableUpdate(std::uint32_t crc, const std::uint8_t *p, std::size_t count)
{
    while (count >= 8) {
        std::uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        if constexpr (std::endian::native == std::endian::big) {
            lo = __builtin_bswap32(lo);
            hi = __builtin_bswap32(hi);
        }
        lo ^= crc;
        crc = Tables[7][lo & 0xFF] ^ Tables[6][(lo >> 8) & 0xFF] ^ Tables[5][(lo >> 16) & 0xFF]
              ^ Tables[4][lo >> 24] ^ Tables[3][hi & 0xFF] ^ Tables[2][(hi >> 8) & 0xFF]
              ^ Tables[1][(hi >> 16) & 0xFF] ^ Tables[0][hi >> 24];
        p += 8;
        count -= 8;
    }
    while (count--)
        crc = Tables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

#ifdef VASKIMO_CRC_CLMUL
// Carry-less multiplication folds 16-byte lanes forward over the data: a lane V followed by D
// bits is replaced by V * x^D mod P, which has the same remainder, so the register of the last
// lane holds what the whole message leaves and the tables finish it. A 64-bit half a of a lane,
// reflected as the data is, times a constant c gives x * a * c, hence the exponents one below
// D and D + 64; a remainder of degree 31 sits in the upper 32 bits of its reflected half.
constexpr std::uint64_t FoldConstant(int exponent)
{
    std::uint64_t r = 1;  // x^exponent mod P, P = x^32 + 04C11DB7, natural bit order
    for (int k = 0; k < exponent; ++k) {
        r <<= 1;
        if (r & (std::uint64_t(1) << 32))
            r ^= 0x104C11DB7u;
    }
    std::uint32_t reflected = 0;
    for (int b = 0; b < 32; ++b)
        if (r & (std::uint64_t(1) << b))
            reflected |= 1u << (31 - b);
    return std::uint64_t(reflected) << 32;
}

// The low half of a lane holds the earlier bits, so it takes the larger exponent.
template <int Bits>
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i lane)
{
    constexpr std::uint64_t Early = FoldConstant(Bits + 63), Late = FoldConstant(Bits - 1);
    const __m128i k = _mm_set_epi64x(std::int64_t(Late), std::int64_t(Early));
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t FoldingUpdate(std::uint32_t crc, const std::uint8_t *p,
                                                                     std::size_t count)
{
    const auto load = [](const std::uint8_t *at) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at)); };
    // The register joins the message as its first 32 bits: the tables then start from zero.
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(crc)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    count -= 64;
    for (; count >= 64; p += 64, count -= 64) {
        x0 = _mm_xor_si128(Fold<512>(x0), load(p));
        x1 = _mm_xor_si128(Fold<512>(x1), load(p + 16));
        x2 = _mm_xor_si128(Fold<512>(x2), load(p + 32));
        x3 = _mm_xor_si128(Fold<512>(x3), load(p + 48));
    }
    x1 = _mm_xor_si128(Fold<128>(x0), x1);
    x2 = _mm_xor_si128(Fold<128>(x1), x2);
    x3 = _mm_xor_si128(Fold<128>(x2), x3);
    for (; count >= 16; p += 16, count -= 16)
        x3 = _mm_xor_si128(Fold<128>(x3), load(p));
    alignas(16) std::uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i *>(last), x3);
    return TableUpdate(TableUpdate(0, last, sizeof last), p, count);
}

const bool CanFold = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
#endif

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const void *data, std::size_t count)
{
    const auto *p = static_cast<const std::uint8_t *>(data);
#ifdef VASKIMO_CRC_CLMUL
    if (count >= 256 && CanFold)
        return FoldingUpdate(crc, p, count);
#endif
    return TableUpdate(crc, p, count);
}
