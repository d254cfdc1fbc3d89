// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: CRC-32 of IEEE 802.3 (reflected polynomial EDB88320, the zlib and PKZIP check).
#pragma once

#include <cstddef>
#include <cstdint>

// The register starts at FFFFFFFF and the final check is its complement:
//   Crc32Final(Crc32Update(Crc32Start, data, n))
constexpr std::uint32_t Crc32Start = 0xFFFFFFFFu;
std::uint32_t Crc32Update(std::uint32_t crcRegister, const void *data, std::size_t count);
constexpr std::uint32_t Crc32Final(std::uint32_t crcRegister) { return ~crcRegister; }
