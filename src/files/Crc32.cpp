// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: CRC-32 of IEEE 802.3 (reflected polynomial EDB88320, the zlib and PKZIP check).
#include "Crc32.h"

#include <array>
#include <bit>
#include <cstring>

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

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const void *data, std::size_t count)
{
    const auto *p = static_cast<const std::uint8_t *>(data);
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
