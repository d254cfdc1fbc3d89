// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: MD4 after RFC 1320.
#include "net/IcsMD4.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t Rol(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
constexpr std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); }
constexpr std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (x & z) | (y & z); }
constexpr std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }

void Transform(std::uint32_t State[4], const std::uint8_t Block[64])
{
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = std::uint32_t(Block[4 * i]) | std::uint32_t(Block[4 * i + 1]) << 8
               | std::uint32_t(Block[4 * i + 2]) << 16 | std::uint32_t(Block[4 * i + 3]) << 24;
    std::uint32_t a = State[0], b = State[1], c = State[2], d = State[3];

    // Round 1: [abcd k s] a = (a + F(b,c,d) + X[k]) <<< s
    static const int s1[4] = {3, 7, 11, 19};
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t t = Rol(a + F(b, c, d) + x[i], s1[i % 4]);
        a = d; d = c; c = b; b = t;
    }
    // Round 2: a = (a + G(b,c,d) + X[k] + 5A827999) <<< s, k running down the columns
    static const int s2[4] = {3, 5, 9, 13};
    static const int k2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t t = Rol(a + G(b, c, d) + x[k2[i]] + 0x5A827999u, s2[i % 4]);
        a = d; d = c; c = b; b = t;
    }
    // Round 3: a = (a + H(b,c,d) + X[k] + 6ED9EBA1) <<< s, k in bit-reversed order
    static const int s3[4] = {3, 9, 11, 15};
    static const int k3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t t = Rol(a + H(b, c, d) + x[k3[i]] + 0x6ED9EBA1u, s3[i % 4]);
        a = d; d = c; c = b; b = t;
    }
    State[0] += a;
    State[1] += b;
    State[2] += c;
    State[3] += d;
}

void RequireInitialized(const TMD4Context &Context)
{
    if (!Context.Initialized)
        throw MD4Exception();
}

}  // namespace

void MD4Init(TMD4Context &Context)
{
    Context = TMD4Context{};
    Context.State[0] = 0x67452301u;
    Context.State[1] = 0xEFCDAB89u;
    Context.State[2] = 0x98BADCFEu;
    Context.State[3] = 0x10325476u;
    Context.Initialized = true;
}

void MD4Update(TMD4Context &Context, const void *Buffer, std::size_t Length)
{
    RequireInitialized(Context);
    const std::uint64_t bits = (std::uint64_t(Context.Count[1]) << 32 | Context.Count[0]) + std::uint64_t(Length) * 8;
    Context.Count[0] = std::uint32_t(bits);
    Context.Count[1] = std::uint32_t(bits >> 32);
    const auto *in = static_cast<const std::uint8_t *>(Buffer);
    while (Length > 0) {
        const std::size_t take = std::min<std::size_t>(Length, 64 - Context.BufferLen);
        std::memcpy(Context.Buffer + Context.BufferLen, in, take);
        Context.BufferLen += std::uint32_t(take);
        in += take;
        Length -= take;
        if (Context.BufferLen == 64) {
            Transform(Context.State, Context.Buffer);
            Context.BufferLen = 0;
        }
    }
}

void MD4UpdateString(TMD4Context &Context, const QByteArray &Text)
{
    MD4Update(Context, Text.constData(), std::size_t(Text.size()));
}

void MD4Final(TMD4Context &Context, std::uint8_t Digest[16])
{
    RequireInitialized(Context);
    std::uint8_t length[8];
    for (int i = 0; i < 4; ++i) {
        length[i] = std::uint8_t(Context.Count[0] >> (8 * i));
        length[4 + i] = std::uint8_t(Context.Count[1] >> (8 * i));
    }
    // Pad with one 1 bit and zeros to 56 bytes modulo 64, then the 64-bit length.
    static const std::uint8_t padding[64] = {0x80};
    const std::size_t padLength = Context.BufferLen < 56 ? 56 - Context.BufferLen : 120 - Context.BufferLen;
    MD4Update(Context, padding, padLength);
    MD4Update(Context, length, 8);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            Digest[4 * i + j] = std::uint8_t(Context.State[i] >> (8 * j));
    Context = TMD4Context{};
}

QByteArray MD4String(const QByteArray &Text)
{
    TMD4Context context;
    MD4Init(context);
    MD4UpdateString(context, Text);
    std::uint8_t digest[16];
    MD4Final(context, digest);
    return QByteArray(reinterpret_cast<const char *>(digest), 16);
}
