// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the SHA-1 digest of FIPS 180-1.
#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

struct TSHA1Context {
    std::uint32_t Hash[5];
    std::uint32_t LenHi;  // message length in bits, high and low halves
    std::uint32_t LenLo;
    std::uint8_t Buffer[64];
    std::uint32_t Index;  // bytes waiting in Buffer
};

void SHA1Init(TSHA1Context &context);
void SHA1Update(TSHA1Context &context, const void *data, std::size_t length);
// Writes the 20-byte digest (each word most significant byte first) and wipes the context.
void SHA1Final(TSHA1Context &context, std::uint8_t digest[20]);

// The digest of data in one call.
QByteArray SHA1Digest(const QByteArray &data);
