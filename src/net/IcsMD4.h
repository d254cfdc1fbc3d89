// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the MD4 message digest of RFC 1320 (the NT password hash of NTLM).
#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

// Raised by MD4Update and MD4Final on a context that MD4Init has not prepared.
class MD4Exception : public std::runtime_error
{
public:
    MD4Exception() : std::runtime_error("MD4 not initialized") {}
};

struct TMD4Context
{
    std::uint32_t State[4] = {};
    std::uint32_t Count[2] = {};  // bits processed, low word first
    std::uint8_t Buffer[64] = {};
    std::uint32_t BufferLen = 0;
    bool Initialized = false;
};

void MD4Init(TMD4Context &Context);
void MD4Update(TMD4Context &Context, const void *Buffer, std::size_t Length);
void MD4UpdateString(TMD4Context &Context, const QByteArray &Text);
// Writes the 16-byte digest and clears the context: MD4Init again before reusing it.
void MD4Final(TMD4Context &Context, std::uint8_t Digest[16]);
// The 16-byte digest of Text.
QByteArray MD4String(const QByteArray &Text);
