// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: MD5 message digest (RFC 1321) and the whole-file digest routines over it.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

class QIODevice;

using TMD5Digest = std::array<std::uint8_t, 16>;

struct TMD5Context {
    std::uint32_t State[4];
    std::uint32_t Count[2];  // message length in bits, low word first
    std::uint8_t Buffer[64];
};

void MD5Init(TMD5Context &context);
void MD5Update(TMD5Context &context, const void *data, std::size_t count);
// Pads, writes the digest and zeroes the context.
void MD5Final(TMD5Digest &digest, TMD5Context &context);

// Reads the device from its start in 4,096-byte blocks until a read gives nothing or the bytes
// read reach its size; the device's position is restored afterwards, also when this throws.
TMD5Digest MD5Stream(QIODevice &stream);
// Throws std::runtime_error when the file cannot be opened for reading.
TMD5Digest MD5File(const QString &fileName);

QString MD5DigestToHex(const TMD5Digest &digest);  // 32 upper-case hex digits
bool MD5DigestsEqual(const TMD5Digest &a, const TMD5Digest &b);
