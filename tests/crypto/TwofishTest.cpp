// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Twofish against its designers' published known-answer values; CBC and CFB-8 behaviour.
#include "crypto/CryptTools.h"
#include "crypto/Twofish.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <cstring>

namespace {

QByteArray Hex(const char *text) { return QByteArray::fromHex(text); }
const std::uint8_t *Bytes(const QByteArray &a) { return reinterpret_cast<const std::uint8_t *>(a.constData()); }

QByteArray Block(const QByteArray &key, const QByteArray &in, bool decrypt)
{
    TTwofishContext context;
    TwofishInit(context, key.constData(), std::size_t(key.size()));
    QByteArray out(16, '\0');
    auto *o = reinterpret_cast<std::uint8_t *>(out.data());
    decrypt ? TwofishDecryptBlock(context, Bytes(in), o) : TwofishEncryptBlock(context, Bytes(in), o);
    return out;
}
QByteArray Encrypt(const QByteArray &key, const QByteArray &plain) { return Block(key, plain, false); }
QByteArray Decrypt(const QByteArray &key, const QByteArray &cipher) { return Block(key, cipher, true); }

const struct {
    const char *name;
    const char *key, *plain, *cipher;
} kKnownAnswers[] = {
    {"128-bit zero key", "00000000000000000000000000000000", "00000000000000000000000000000000",
     "9F589F5CF6122C32B6BFEC2F2AE8C35A"},
    {"128-bit table I=2", "00000000000000000000000000000000", "9F589F5CF6122C32B6BFEC2F2AE8C35A",
     "D491DB16E7B1C39E86CB086B789F5419"},
    {"128-bit table I=3", "9F589F5CF6122C32B6BFEC2F2AE8C35A", "D491DB16E7B1C39E86CB086B789F5419",
     "019F9809DE1711858FAAC3A3BA20FBC3"},
    {"192-bit key", "0123456789ABCDEFFEDCBA98765432100011223344556677", "00000000000000000000000000000000",
     "CFD1D2E5A9BE9CDF501F13B892BD2248"},
    {"192-bit zero key", "000000000000000000000000000000000000000000000000", "00000000000000000000000000000000",
     "EFA71F788965BD4453F860178FC19101"},
    {"256-bit key", "0123456789ABCDEFFEDCBA987654321000112233445566778899AABBCCDDEEFF",
     "00000000000000000000000000000000", "37527BE0052334B89F0CFCCAE87CFA20"},
    {"256-bit zero key", "0000000000000000000000000000000000000000000000000000000000000000",
     "00000000000000000000000000000000", "57FF739D4DC92C1BD7FC01700CC8216F"},
};

TEST(Twofish, PublishedKnownAnswersBothWays)
{
    for (const auto &c : kKnownAnswers) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Encrypt(Hex(c.key), Hex(c.plain)).toHex().toUpper(), QByteArray(c.cipher));
        EXPECT_EQ(Decrypt(Hex(c.key), Hex(c.cipher)).toHex().toUpper(), QByteArray(c.plain));
    }
}

// The designers' iterated table: each step's key is the previous plain text followed by the start
// of the previous key, its plain text the previous cipher text; the 49th cipher text is published.
TEST(Twofish, IteratedTablesEndAtThePublishedValues)
{
    const struct {
        int keyBytes;
        const char *last;
    } tables[] = {
        {16, "5D9D4EEFFA9151575524F115815A12E0"},
        {24, "E75449212BEEF9F4A390BD860A640941"},
        {32, "37FE26FF1CF66175F5DDF4C33B97A205"},
    };
    for (const auto &t : tables) {
        SCOPED_TRACE(t.keyBytes * 8);
        QByteArray key(t.keyBytes, '\0');
        QByteArray plain(16, '\0');
        QByteArray cipher;
        for (int i = 1; i <= 49; ++i) {
            cipher = Encrypt(key, plain);
            EXPECT_EQ(Decrypt(key, cipher), plain);
            key = (plain + key).left(t.keyBytes);
            plain = cipher;
        }
        EXPECT_EQ(cipher.toHex().toUpper(), QByteArray(t.last));
    }
}

TEST(Twofish, KeyLengthsChooseTheKeySize)
{
    const struct {
        std::size_t length;
        int bits;
    } cases[] = {{1, 128}, {16, 128}, {17, 192}, {20, 192}, {24, 192}, {25, 256}, {32, 256}};
    const QByteArray key(32, '\x5A');
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        TTwofishContext context;
        TwofishInit(context, key.constData(), c.length);
        EXPECT_EQ(context.KeySize, c.bits);
    }
    // A short key is padded with zero bytes: 20 bytes act as the 24-byte key ending in four zeros.
    QByteArray padded = key.left(20) + QByteArray(4, '\0');
    const QByteArray plain(16, '\x11');
    EXPECT_EQ(Encrypt(key.left(20), plain), Encrypt(padded, plain));
}

TEST(Twofish, RejectsKeysOutsideOneTo32Bytes)
{
    const char key[33] = {};
    for (std::size_t length : {std::size_t(0), std::size_t(33)}) {
        SCOPED_TRACE(length);
        TTwofishContext context;
        try {
            TwofishInit(context, key, length);
            ADD_FAILURE() << "no error";
        } catch (const ECryptoError &e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Key (password) has to be between 1 and 32 bytes.\rIf you want to use "
                                                  "a longer password please check\r\"Use Hash of password\" in the password dialog."));
        }
    }
}

TEST(Twofish, CbcChainsThroughTheFeedbackRegisterAndResetRestartsIt)
{
    const QByteArray key = Hex("0123456789ABCDEFFEDCBA9876543210");
    const QByteArray iv = Hex("000102030405060708090A0B0C0D0E0F");
    const QByteArray p1 = Hex("00112233445566778899AABBCCDDEEFF"), p2 = Hex("FFEEDDCCBBAA99887766554433221100");
    TTwofishContext context;
    TwofishInit(context, key.constData(), std::size_t(key.size()), Bytes(iv));
    std::uint8_t c1[16], c2[16], again[16];
    TwofishEncryptCBC(context, Bytes(p1), c1);
    EXPECT_EQ(std::memcmp(context.LastChain, c1, 16), 0);
    TwofishEncryptCBC(context, Bytes(p2), c2);

    std::uint8_t x[16];
    XorBlock(Bytes(p1), Bytes(iv), x, 16);
    TwofishEncryptBlock(context, x, x);
    EXPECT_EQ(std::memcmp(x, c1, 16), 0);
    XorBlock(Bytes(p2), c1, x, 16);
    TwofishEncryptBlock(context, x, x);
    EXPECT_EQ(std::memcmp(x, c2, 16), 0);

    TwofishReset(context);
    TwofishEncryptCBC(context, Bytes(p1), again);
    EXPECT_EQ(std::memcmp(again, c1, 16), 0);
}

TEST(Twofish, Cfb8RoundTripsInPlaceForEveryLength)
{
    const QByteArray key = Hex("00112233445566778899AABBCCDDEEFF0011223344");
    const QByteArray iv = Hex("F0E1D2C3B4A5968778695A4B3C2D1E0F");
    for (int length : {0, 1, 15, 16, 17, 100}) {
        SCOPED_TRACE(length);
        QByteArray plain(length, '\0');
        for (int i = 0; i < length; ++i)
            plain[i] = char(i * 7 + 3);
        TTwofishContext context;
        TwofishInit(context, key.constData(), std::size_t(key.size()), Bytes(iv));
        QByteArray cipher(length, '\0');
        TwofishEncryptCFB8(context, plain.constData(), cipher.data(), std::size_t(length));
        // The first byte is the plain byte xor the first byte of E(iv).
        if (length > 0) {
            std::uint8_t e[16];
            TwofishEncryptBlock(context, Bytes(iv), e);
            EXPECT_EQ(std::uint8_t(cipher[0]), std::uint8_t(plain[0] ^ e[0]));
            EXPECT_NE(cipher, plain);
        }
        TwofishReset(context);
        QByteArray buffer = cipher;
        TwofishDecryptCFB8(context, buffer.constData(), buffer.data(), std::size_t(length));
        EXPECT_EQ(buffer, plain);
        TwofishReset(context);
        buffer = plain;
        TwofishEncryptCFB8(context, buffer.constData(), buffer.data(), std::size_t(length));
        EXPECT_EQ(buffer, cipher);
    }
}

TEST(Twofish, BurnZeroesTheContext)
{
    TTwofishContext context;
    TwofishInit(context, "key", 3);
    TwofishBurn(context);
    const TTwofishContext zero{};
    EXPECT_EQ(std::memcmp(&context, &zero, sizeof context), 0);
}

}  // namespace
