// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: SHA-1 against the FIPS 180-1 examples, fed whole and in pieces.
#include "crypto/Sha1.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

QByteArray Hex(const QByteArray &digest) { return digest.toHex().toUpper(); }

TEST(Sha1, FipsExamples)
{
    const struct {
        const char *name;
        QByteArray message;
        const char *digest;
    } cases[] = {
        {"abc", "abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
        {"448-bit message", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
        {"a million a", QByteArray(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
        {"empty", "", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Hex(SHA1Digest(c.message)), QByteArray(c.digest));
    }
}

TEST(Sha1, PiecesAcrossBlockEdgesGiveTheSameDigest)
{
    QByteArray message;
    for (int i = 0; i < 300; ++i)
        message += char(i);
    const QByteArray whole = SHA1Digest(message);
    for (int piece : {1, 3, 55, 56, 63, 64, 65}) {
        SCOPED_TRACE(piece);
        TSHA1Context context;
        SHA1Init(context);
        for (qsizetype at = 0; at < message.size(); at += piece)
            SHA1Update(context, message.constData() + at, std::size_t(std::min<qsizetype>(piece, message.size() - at)));
        std::uint8_t digest[20];
        SHA1Final(context, digest);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(digest), 20), whole);
        const TSHA1Context zero{};
        EXPECT_EQ(std::memcmp(&context, &zero, sizeof context), 0);  // finishing wipes the context
    }
    // Padding edges: 55 bytes fit one block, 56 need two.
    EXPECT_EQ(Hex(SHA1Digest(QByteArray(55, 'a'))), QByteArray("C1C8BBDC22796E28C0E15163D20899B65621D65A"));
    EXPECT_EQ(Hex(SHA1Digest(QByteArray(56, 'a'))), QByteArray("C2DB330F6083854C99D4B5BFB6E8F29F201BE699"));
}

}  // namespace
