// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: DES known answers (FIPS 81's example, the NBS validation sets, classic worked examples) both ways.
#include "net/IcsDES.h"

#include <QByteArray>

#include <gtest/gtest.h>

namespace {

const struct {
    const char *name, *key, *plain, *cipher;
} kVectors[] = {
    {"FIPS 81 ECB example \"Now is t\"", "0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},
    {"worked example", "133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
    {"cipher text of zeros", "0e329232ea6d0d73", "8787878787878787", "0000000000000000"},
    {"zero key, zero block", "0000000000000000", "0000000000000000", "8ca64de9c1b123a7"},
    {"parity bits ignored", "0101010101010101", "0000000000000000", "8ca64de9c1b123a7"},
    {"all ones", "ffffffffffffffff", "ffffffffffffffff", "7359b2163e4edc58"},
    {"NBS variable plaintext 1", "0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
    {"NBS variable plaintext 2", "0101010101010101", "4000000000000000", "dd7f121ca5015619"},
    {"NBS variable plaintext 3", "0101010101010101", "2000000000000000", "2e8653104f3834ea"},
    {"NBS variable plaintext 4", "0101010101010101", "1000000000000000", "4bd388ff6cd81d4f"},
    {"NBS variable key 1", "8001010101010101", "0000000000000000", "95a8d72813daa94d"},
    {"NBS variable key 2", "4001010101010101", "0000000000000000", "0eec1487dd8c26d5"},
    {"NBS variable key 3", "2001010101010101", "0000000000000000", "7ad16ffb79c45926"},
    {"NBS substitution table 1", "7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b"},
    {"NBS substitution table 2", "0131d9619dc1376e", "5cd54ca83def57da", "7a389d10354bd271"},
    {"NBS substitution table 3", "07a1133e4a0b2686", "0248d43806f67172", "868ebb51cab4599a"},
    {"NBS substitution table 4", "3849674c2602319e", "51454b582ddf440a", "7178876e01f19b2a"},
    {"mixed 1", "3000000000000000", "1000000000000001", "958e6e627a05557b"},
    {"mixed 2", "1111111111111111", "1111111111111111", "f40379ab9e0ec533"},
    {"mixed 3", "0123456789abcdef", "1111111111111111", "17668dfc7292532d"},
    {"mixed 4", "1111111111111111", "0123456789abcdef", "8a5ae1f81ab8f2dd"},
    {"mixed 5", "fedcba9876543210", "0123456789abcdef", "ed39d950fa74bcc4"},
};

QByteArray Des(const QByteArray &key, const QByteArray &input, bool encrypt)
{
    std::uint8_t out[8];
    DesBlock(reinterpret_cast<const std::uint8_t *>(input.constData()), out,
             reinterpret_cast<const std::uint8_t *>(key.constData()), encrypt);
    return QByteArray(reinterpret_cast<const char *>(out), 8);
}

TEST(DES, KnownAnswersBothWays)
{
    for (const auto &v : kVectors) {
        SCOPED_TRACE(v.name);
        const QByteArray key = QByteArray::fromHex(v.key), plain = QByteArray::fromHex(v.plain),
                         cipher = QByteArray::fromHex(v.cipher);
        EXPECT_EQ(Des(key, plain, true).toHex(), QByteArray(v.cipher));
        EXPECT_EQ(Des(key, cipher, false).toHex(), QByteArray(v.plain));
    }
}

TEST(DES, OutputMayBeTheInput)
{
    const QByteArray key = QByteArray::fromHex("133457799bbcdff1");
    std::uint8_t block[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
    DesBlock(block, block, reinterpret_cast<const std::uint8_t *>(key.constData()), true);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(block), 8).toHex(), QByteArray("85e813540f0ab405"));
}

}  // namespace
