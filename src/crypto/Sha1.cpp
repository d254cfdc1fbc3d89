// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: SHA-1: 80 rounds over 64-byte blocks, the message schedule wiped after every block.
#include "crypto/Sha1.h"

#include "crypto/CryptTools.h"

#include <algorithm>
#include <cstring>

namespace {

void Compress(TSHA1Context &c)
{
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
        w[i] = (std::uint32_t(c.Buffer[4 * i]) << 24) | (std::uint32_t(c.Buffer[4 * i + 1]) << 16)
               | (std::uint32_t(c.Buffer[4 * i + 2]) << 8) | std::uint32_t(c.Buffer[4 * i + 3]);
    }
    for (int i = 16; i < 80; ++i)
        w[i] = RotL32(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

    std::uint32_t a = c.Hash[0], b = c.Hash[1], d = c.Hash[3], e = c.Hash[4];
    std::uint32_t cc = c.Hash[2];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & cc) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ cc ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & cc) | (b & d) | (cc & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ cc ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t t = RotL32(a, 5) + f + e + k + w[i];
        e = d;
        d = cc;
        cc = RotL32(b, 30);
        b = a;
        a = t;
    }
    c.Hash[0] += a;
    c.Hash[1] += b;
    c.Hash[2] += cc;
    c.Hash[3] += d;
    c.Hash[4] += e;
    Burn(w, sizeof w);
    Burn(c.Buffer, sizeof c.Buffer);
    c.Index = 0;
}

}  // namespace

void SHA1Init(TSHA1Context &context)
{
    std::memset(&context, 0, sizeof context);
    context.Hash[0] = 0x67452301;
    context.Hash[1] = 0xEFCDAB89;
    context.Hash[2] = 0x98BADCFE;
    context.Hash[3] = 0x10325476;
    context.Hash[4] = 0xC3D2E1F0;
}

void SHA1Update(TSHA1Context &context, const void *data, std::size_t length)
{
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    // The bit count in two halves with carry.
    const std::uint64_t bits = std::uint64_t(length) << 3;
    const std::uint32_t low = context.LenLo + std::uint32_t(bits);
    context.LenHi += std::uint32_t(bits >> 32) + (low < context.LenLo ? 1 : 0);
    context.LenLo = low;
    while (length > 0) {
        const std::size_t take = std::min<std::size_t>(length, 64 - context.Index);
        std::memcpy(context.Buffer + context.Index, bytes, take);
        context.Index += std::uint32_t(take);
        bytes += take;
        length -= take;
        if (context.Index == 64)
            Compress(context);
    }
}

void SHA1Final(TSHA1Context &context, std::uint8_t digest[20])
{
    const std::uint32_t hi = context.LenHi;
    const std::uint32_t lo = context.LenLo;
    context.Buffer[context.Index++] = 0x80;
    if (context.Index > 56) {
        std::memset(context.Buffer + context.Index, 0, 64 - context.Index);
        Compress(context);
    }
    std::memset(context.Buffer + context.Index, 0, 56 - context.Index);
    for (int i = 0; i < 4; ++i) {
        context.Buffer[56 + i] = std::uint8_t(hi >> (24 - 8 * i));
        context.Buffer[60 + i] = std::uint8_t(lo >> (24 - 8 * i));
    }
    Compress(context);
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = std::uint8_t(context.Hash[i] >> (24 - 8 * j));
    }
    Burn(&context, sizeof context);
}

QByteArray SHA1Digest(const QByteArray &data)
{
    TSHA1Context context;
    SHA1Init(context);
    SHA1Update(context, data.constData(), std::size_t(data.size()));
    QByteArray digest(20, '\0');
    SHA1Final(context, reinterpret_cast<std::uint8_t *>(digest.data()));
    return digest;
}
