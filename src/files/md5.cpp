// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: MD5 message digest (RFC 1321) and the whole-file digest routines over it.
#include "md5.h"

#include <QFile>

#include <bit>
#include <cstring>
#include <stdexcept>

namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (z & (x ^ y)); }
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

// b is the word the step before computed: what does not wait for it is added first.
template <std::uint32_t (*Fn)(std::uint32_t, std::uint32_t, std::uint32_t)>
inline void Step(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
                 int s, std::uint32_t t)
{
    a = b + Rotl((a + x + t) + Fn(b, c, d), s);
}

// G's two halves share no bit, so G is their sum, and the half without b goes in early.
template <>
inline void Step<G>(std::uint32_t &a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
                    int s, std::uint32_t t)
{
    a = b + Rotl((a + x + t + (c & ~d)) + (b & d), s);
}

// The four rounds of RFC 1321 3.4, written out so that every shift and word index is a constant.
inline __attribute__((always_inline)) void TransformBlock(std::uint32_t state[4], const std::uint8_t block[64])
{
    std::uint32_t x[16];
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(x, block, 64);
    } else {
        for (int i = 0; i < 16; ++i)
            x[i] = std::uint32_t(block[4 * i]) | std::uint32_t(block[4 * i + 1]) << 8
                   | std::uint32_t(block[4 * i + 2]) << 16 | std::uint32_t(block[4 * i + 3]) << 24;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    Step<F>(a, b, c, d, x[0], 7, 0xd76aa478);   Step<F>(d, a, b, c, x[1], 12, 0xe8c7b756);
    Step<F>(c, d, a, b, x[2], 17, 0x242070db);  Step<F>(b, c, d, a, x[3], 22, 0xc1bdceee);
    Step<F>(a, b, c, d, x[4], 7, 0xf57c0faf);   Step<F>(d, a, b, c, x[5], 12, 0x4787c62a);
    Step<F>(c, d, a, b, x[6], 17, 0xa8304613);  Step<F>(b, c, d, a, x[7], 22, 0xfd469501);
    Step<F>(a, b, c, d, x[8], 7, 0x698098d8);   Step<F>(d, a, b, c, x[9], 12, 0x8b44f7af);
    Step<F>(c, d, a, b, x[10], 17, 0xffff5bb1); Step<F>(b, c, d, a, x[11], 22, 0x895cd7be);
    Step<F>(a, b, c, d, x[12], 7, 0x6b901122);  Step<F>(d, a, b, c, x[13], 12, 0xfd987193);
    Step<F>(c, d, a, b, x[14], 17, 0xa679438e); Step<F>(b, c, d, a, x[15], 22, 0x49b40821);

    Step<G>(a, b, c, d, x[1], 5, 0xf61e2562);   Step<G>(d, a, b, c, x[6], 9, 0xc040b340);
    Step<G>(c, d, a, b, x[11], 14, 0x265e5a51); Step<G>(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    Step<G>(a, b, c, d, x[5], 5, 0xd62f105d);   Step<G>(d, a, b, c, x[10], 9, 0x02441453);
    Step<G>(c, d, a, b, x[15], 14, 0xd8a1e681); Step<G>(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    Step<G>(a, b, c, d, x[9], 5, 0x21e1cde6);   Step<G>(d, a, b, c, x[14], 9, 0xc33707d6);
    Step<G>(c, d, a, b, x[3], 14, 0xf4d50d87);  Step<G>(b, c, d, a, x[8], 20, 0x455a14ed);
    Step<G>(a, b, c, d, x[13], 5, 0xa9e3e905);  Step<G>(d, a, b, c, x[2], 9, 0xfcefa3f8);
    Step<G>(c, d, a, b, x[7], 14, 0x676f02d9);  Step<G>(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    Step<H>(a, b, c, d, x[5], 4, 0xfffa3942);   Step<H>(d, a, b, c, x[8], 11, 0x8771f681);
    Step<H>(c, d, a, b, x[11], 16, 0x6d9d6122); Step<H>(b, c, d, a, x[14], 23, 0xfde5380c);
    Step<H>(a, b, c, d, x[1], 4, 0xa4beea44);   Step<H>(d, a, b, c, x[4], 11, 0x4bdecfa9);
    Step<H>(c, d, a, b, x[7], 16, 0xf6bb4b60);  Step<H>(b, c, d, a, x[10], 23, 0xbebfbc70);
    Step<H>(a, b, c, d, x[13], 4, 0x289b7ec6);  Step<H>(d, a, b, c, x[0], 11, 0xeaa127fa);
    Step<H>(c, d, a, b, x[3], 16, 0xd4ef3085);  Step<H>(b, c, d, a, x[6], 23, 0x04881d05);
    Step<H>(a, b, c, d, x[9], 4, 0xd9d4d039);   Step<H>(d, a, b, c, x[12], 11, 0xe6db99e5);
    Step<H>(c, d, a, b, x[15], 16, 0x1fa27cf8); Step<H>(b, c, d, a, x[2], 23, 0xc4ac5665);

    Step<I>(a, b, c, d, x[0], 6, 0xf4292244);   Step<I>(d, a, b, c, x[7], 10, 0x432aff97);
    Step<I>(c, d, a, b, x[14], 15, 0xab9423a7); Step<I>(b, c, d, a, x[5], 21, 0xfc93a039);
    Step<I>(a, b, c, d, x[12], 6, 0x655b59c3);  Step<I>(d, a, b, c, x[3], 10, 0x8f0ccc92);
    Step<I>(c, d, a, b, x[10], 15, 0xffeff47d); Step<I>(b, c, d, a, x[1], 21, 0x85845dd1);
    Step<I>(a, b, c, d, x[8], 6, 0x6fa87e4f);   Step<I>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    Step<I>(c, d, a, b, x[6], 15, 0xa3014314);  Step<I>(b, c, d, a, x[13], 21, 0x4e0811a1);
    Step<I>(a, b, c, d, x[4], 6, 0xf7537e82);   Step<I>(d, a, b, c, x[11], 10, 0xbd3af235);
    Step<I>(c, d, a, b, x[2], 15, 0x2ad7d2bb);  Step<I>(b, c, d, a, x[9], 21, 0xeb86d391);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

// The state stays in registers from block to block.
void Transform(std::uint32_t state[4], const std::uint8_t *blocks, std::size_t count)
{
    std::uint32_t local[4] = {state[0], state[1], state[2], state[3]};
    for (std::size_t i = 0; i < count; ++i)
        TransformBlock(local, blocks + 64 * i);
    std::memcpy(state, local, sizeof local);
}

}  // namespace

void MD5Init(TMD5Context &context)
{
    context.Count[0] = context.Count[1] = 0;
    context.State[0] = 0x67452301;
    context.State[1] = 0xefcdab89;
    context.State[2] = 0x98badcfe;
    context.State[3] = 0x10325476;
}

void MD5Update(TMD5Context &context, const void *data, std::size_t count)
{
    const auto *input = static_cast<const std::uint8_t *>(data);
    std::size_t index = (context.Count[0] >> 3) & 0x3f;

    const std::uint64_t bits = (std::uint64_t(context.Count[1]) << 32 | context.Count[0])
                               + (std::uint64_t(count) << 3);
    context.Count[0] = std::uint32_t(bits);
    context.Count[1] = std::uint32_t(bits >> 32);

    std::size_t i = 0;
    const std::size_t partLen = 64 - index;
    if (count >= partLen) {
        std::memcpy(&context.Buffer[index], input, partLen);
        Transform(context.State, context.Buffer, 1);
        const std::size_t blocks = (count - partLen) / 64;
        Transform(context.State, &input[partLen], blocks);
        i = partLen + 64 * blocks;
        index = 0;
    }
    std::memcpy(&context.Buffer[index], &input[i], count - i);
}

void MD5Final(TMD5Digest &digest, TMD5Context &context)
{
    std::uint8_t bits[8];
    for (int i = 0; i < 4; ++i) {
        bits[i] = std::uint8_t(context.Count[0] >> (8 * i));
        bits[i + 4] = std::uint8_t(context.Count[1] >> (8 * i));
    }
    static const std::uint8_t padding[64] = {0x80};
    const std::size_t index = (context.Count[0] >> 3) & 0x3f;
    const std::size_t padLen = index < 56 ? 56 - index : 120 - index;
    MD5Update(context, padding, padLen);
    MD5Update(context, bits, 8);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = std::uint8_t(context.State[i] >> (8 * j));
    std::memset(&context, 0, sizeof context);
}

TMD5Digest MD5Stream(QIODevice &stream)
{
    struct TRestore {
        QIODevice &Device;
        qint64 Position;
        ~TRestore() { Device.seek(Position); }
    } restore{stream, stream.pos()};

    TMD5Context context;
    MD5Init(context);
    stream.seek(0);
    const qint64 size = stream.size();
    qint64 total = 0;
    char block[4096];
    while (total < size) {
        const qint64 got = stream.read(block, sizeof block);
        if (got <= 0)
            break;
        MD5Update(context, block, std::size_t(got));
        total += got;
    }
    TMD5Digest digest;
    MD5Final(digest, context);
    return digest;
}

TMD5Digest MD5File(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot open file %1. %2")
                                     .arg(fileName, file.errorString())
                                     .toStdString());
    return MD5Stream(file);
}

QString MD5DigestToHex(const TMD5Digest &digest)
{
    static const char hex[] = "0123456789ABCDEF";
    QString text(32, QChar(u'0'));
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = QLatin1Char(hex[digest[i] >> 4]);
        text[2 * i + 1] = QLatin1Char(hex[digest[i] & 15]);
    }
    return text;
}

bool MD5DigestsEqual(const TMD5Digest &a, const TMD5Digest &b)
{
    return std::memcmp(a.data(), b.data(), a.size()) == 0;
}
