// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Twofish after its designers' paper: the q permutations, MDS and RS matrices, full keying.
#include "crypto/Twofish.h"

#include "crypto/CryptTools.h"

#include <QString>

#include <array>
#include <cstring>

namespace {

using TByteTable = std::array<std::uint8_t, 256>;
using TWordTable = std::array<std::uint32_t, 256>;

// The 4-bit tables t0..t3 of the permutations q0 and q1.
constexpr std::uint8_t kQ0Nibbles[4][16] = {
    {0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
    {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
    {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
    {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA},
};
constexpr std::uint8_t kQ1Nibbles[4][16] = {
    {0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
    {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
    {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
    {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA},
};

constexpr std::uint8_t Ror4(std::uint8_t x) { return std::uint8_t(((x >> 1) | (x << 3)) & 0xF); }

constexpr TByteTable MakeQ(const std::uint8_t (&t)[4][16])
{
    TByteTable q{};
    for (int x = 0; x < 256; ++x) {
        std::uint8_t a = std::uint8_t(x >> 4), b = std::uint8_t(x & 0xF);
        for (int stage = 0; stage < 2; ++stage) {
            const std::uint8_t a1 = a ^ b;
            const std::uint8_t b1 = std::uint8_t(a ^ Ror4(b) ^ ((a << 3) & 0xF));
            a = t[2 * stage][a1];
            b = t[2 * stage + 1][b1];
        }
        q[x] = std::uint8_t((b << 4) | a);
    }
    return q;
}

constexpr TByteTable kQ0 = MakeQ(kQ0Nibbles);
constexpr TByteTable kQ1 = MakeQ(kQ1Nibbles);

// Multiplication in GF(2^8) modulo the given primitive polynomial.
constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b, unsigned polynomial)
{
    unsigned x = a, result = 0;
    for (; b; b >>= 1) {
        if (b & 1)
            result ^= x;
        x <<= 1;
        if (x & 0x100)
            x ^= polynomial;
    }
    return std::uint8_t(result);
}

constexpr unsigned kMdsPolynomial = 0x169;  // x^8 + x^6 + x^5 + x^3 + 1
constexpr unsigned kRsPolynomial = 0x14D;   // x^8 + x^6 + x^3 + x^2 + 1

constexpr std::uint8_t kMds[4][4] = {
    {0x01, 0xEF, 0x5B, 0x5B},
    {0x5B, 0xEF, 0xEF, 0x01},
    {0xEF, 0x5B, 0x01, 0xEF},
    {0xEF, 0x01, 0xEF, 0x5B},
};

constexpr std::uint8_t kRs[4][8] = {
    {0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
    {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
    {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
    {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03},
};

// Column j of the MDS matrix applied to the last permutation of byte j (q1, q0, q1, q0).
constexpr TWordTable MakeMdsTable(int column)
{
    TWordTable table{};
    const TByteTable &q = (column % 2 == 0) ? kQ1 : kQ0;
    for (int x = 0; x < 256; ++x) {
        std::uint32_t word = 0;
        for (int row = 0; row < 4; ++row)
            word |= std::uint32_t(GfMul(q[x], kMds[row][column], kMdsPolynomial)) << (8 * row);
        table[x] = word;
    }
    return table;
}

constexpr std::array<TWordTable, 4> kMdsTables = {MakeMdsTable(0), MakeMdsTable(1), MakeMdsTable(2), MakeMdsTable(3)};

// The permutations byte j passes through before the MDS table, keyed by the words L[0..k-1].
std::uint8_t Chain(int j, std::uint8_t y, const std::uint32_t *L, int k)
{
    auto l = [&](int i) { return std::uint8_t(L[i] >> (8 * j)); };
    if (k == 4)
        y = ((j == 0 || j == 3) ? kQ1 : kQ0)[y] ^ l(3);
    if (k >= 3)
        y = (j <= 1 ? kQ1 : kQ0)[y] ^ l(2);
    y = ((j % 2 == 0) ? kQ0 : kQ1)[y] ^ l(1);
    y = (j <= 1 ? kQ0 : kQ1)[y] ^ l(0);
    return y;
}

std::uint32_t H(std::uint32_t x, const std::uint32_t *L, int k)
{
    std::uint32_t result = 0;
    for (int j = 0; j < 4; ++j)
        result ^= kMdsTables[j][Chain(j, std::uint8_t(x >> (8 * j)), L, k)];
    return result;
}

std::uint32_t G(const TTwofishContext &c, std::uint32_t x)
{
    return c.SBox[0][x & 0xFF] ^ c.SBox[1][(x >> 8) & 0xFF] ^ c.SBox[2][(x >> 16) & 0xFF] ^ c.SBox[3][x >> 24];
}

std::uint32_t LoadWord(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

void StoreWord(std::uint32_t w, std::uint8_t *p)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(w >> (8 * i));
}

}  // namespace

void TwofishInit(TTwofishContext &context, const void *key, std::size_t keyLength, const std::uint8_t *iv)
{
    if (keyLength < 1 || keyLength > 32) {
        throw ECryptoError(QStringLiteral("Key (password) has to be between 1 and 32 bytes.\r"
                                          "If you want to use a longer password please check\r"
                                          "\"Use Hash of password\" in the password dialog."));
    }
    std::memset(&context, 0, sizeof context);
    std::uint8_t keyBytes[32] = {};
    std::memcpy(keyBytes, key, keyLength);
    const int k = keyLength <= 16 ? 2 : keyLength <= 24 ? 3 : 4;
    context.KeySize = 64 * k;

    std::uint32_t even[4] = {}, odd[4] = {}, s[4] = {};
    for (int i = 0; i < k; ++i) {
        even[i] = LoadWord(keyBytes + 8 * i);
        odd[i] = LoadWord(keyBytes + 8 * i + 4);
        std::uint32_t word = 0;
        for (int row = 0; row < 4; ++row) {
            std::uint8_t v = 0;
            for (int col = 0; col < 8; ++col)
                v ^= GfMul(kRs[row][col], keyBytes[8 * i + col], kRsPolynomial);
            word |= std::uint32_t(v) << (8 * row);
        }
        s[k - 1 - i] = word;  // the S words are taken in reverse order
    }

    constexpr std::uint32_t rho = 0x01010101;
    for (std::uint32_t i = 0; i < 20; ++i) {
        const std::uint32_t a = H(2 * i * rho, even, k);
        const std::uint32_t b = RotL32(H((2 * i + 1) * rho, odd, k), 8);
        context.SubKeys[2 * i] = a + b;
        context.SubKeys[2 * i + 1] = RotL32(a + 2 * b, 9);
    }
    for (int j = 0; j < 4; ++j) {
        for (int x = 0; x < 256; ++x)
            context.SBox[j][x] = kMdsTables[j][Chain(j, std::uint8_t(x), s, k)];
    }
    if (iv)
        std::memcpy(context.IV, iv, 16);
    std::memcpy(context.LastChain, context.IV, 16);
    Burn(keyBytes, sizeof keyBytes);
    Burn(even, sizeof even);
    Burn(odd, sizeof odd);
    Burn(s, sizeof s);
}

void TwofishEncryptBlock(const TTwofishContext &context, const std::uint8_t in[16], std::uint8_t out[16])
{
    const std::uint32_t *K = context.SubKeys;
    std::uint32_t a = LoadWord(in) ^ K[0], b = LoadWord(in + 4) ^ K[1];
    std::uint32_t c = LoadWord(in + 8) ^ K[2], d = LoadWord(in + 12) ^ K[3];
    for (int r = 0; r < 16; ++r) {
        const std::uint32_t t0 = G(context, a);
        const std::uint32_t t1 = G(context, RotL32(b, 8));
        c = RotR32(c ^ (t0 + t1 + K[2 * r + 8]), 1);
        d = RotL32(d, 1) ^ (t0 + 2 * t1 + K[2 * r + 9]);
        std::swap(a, c);
        std::swap(b, d);
    }
    StoreWord(c ^ K[4], out);
    StoreWord(d ^ K[5], out + 4);
    StoreWord(a ^ K[6], out + 8);
    StoreWord(b ^ K[7], out + 12);
}

void TwofishDecryptBlock(const TTwofishContext &context, const std::uint8_t in[16], std::uint8_t out[16])
{
    const std::uint32_t *K = context.SubKeys;
    std::uint32_t c = LoadWord(in) ^ K[4], d = LoadWord(in + 4) ^ K[5];
    std::uint32_t a = LoadWord(in + 8) ^ K[6], b = LoadWord(in + 12) ^ K[7];
    for (int r = 15; r >= 0; --r) {
        std::swap(a, c);
        std::swap(b, d);
        const std::uint32_t t0 = G(context, a);
        const std::uint32_t t1 = G(context, RotL32(b, 8));
        c = RotL32(c, 1) ^ (t0 + t1 + K[2 * r + 8]);
        d = RotR32(d ^ (t0 + 2 * t1 + K[2 * r + 9]), 1);
    }
    StoreWord(a ^ K[0], out);
    StoreWord(b ^ K[1], out + 4);
    StoreWord(c ^ K[2], out + 8);
    StoreWord(d ^ K[3], out + 12);
}

void TwofishEncryptCBC(TTwofishContext &context, const std::uint8_t in[16], std::uint8_t out[16])
{
    std::uint8_t block[16];
    XorBlock(in, context.LastChain, block, 16);
    TwofishEncryptBlock(context, block, block);
    std::memcpy(out, block, 16);
    std::memcpy(context.LastChain, block, 16);
    Burn(block, sizeof block);
}

void TwofishReset(TTwofishContext &context)
{
    std::memcpy(context.LastChain, context.IV, 16);
}

namespace {

void Cfb8(TTwofishContext &context, const void *source, void *destination, std::size_t length, bool decrypt)
{
    const auto *src = static_cast<const std::uint8_t *>(source);
    auto *dst = static_cast<std::uint8_t *>(destination);
    std::uint8_t keystream[16];
    for (std::size_t i = 0; i < length; ++i) {
        TwofishEncryptBlock(context, context.LastChain, keystream);
        const std::uint8_t in = src[i];  // read first: source and destination may be one buffer
        const std::uint8_t out = in ^ keystream[0];
        std::memmove(context.LastChain, context.LastChain + 1, 15);
        context.LastChain[15] = decrypt ? in : out;
        dst[i] = out;
    }
    Burn(keystream, sizeof keystream);
}

}  // namespace

void TwofishEncryptCFB8(TTwofishContext &context, const void *source, void *destination, std::size_t length)
{
    Cfb8(context, source, destination, length, false);
}

void TwofishDecryptCFB8(TTwofishContext &context, const void *source, void *destination, std::size_t length)
{
    Cfb8(context, source, destination, length, true);
}

void TwofishBurn(TTwofishContext &context)
{
    Burn(&context, sizeof context);
}
