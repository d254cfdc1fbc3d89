// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: MD4 against RFC 1320's test suite and the padding boundaries, fed whole and in pieces; the initialised check.
#include "net/IcsMD4.h"

#include <gtest/gtest.h>

namespace {

const struct {
    const char *name;
    QByteArray data;
    const char *digest;
} kVectors[] = {
    {"RFC 1320: empty", "", "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {"RFC 1320: a", "a", "bde52cb31de33e46245e05fbdbd6fb24"},
    {"RFC 1320: abc", "abc", "a448017aaf21d8525fc10ae87aa6729d"},
    {"RFC 1320: message digest", "message digest", "d9130a8164549fe818874806e1c7014b"},
    {"RFC 1320: alphabet", "abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
    {"RFC 1320: letters and digits", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "043f8582f241db351ce627e153e7f0e4"},
    {"RFC 1320: eight times 1234567890",
     "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "e33b4ddc9c38f2199c3e7b164fcc0536"},
    // the padding needs a second block from 56 bytes modulo 64 on
    {"55 bytes", QByteArray(55, 'a'), "c889c81dd86c4d2e025778944ea02881"},
    {"56 bytes", QByteArray(56, 'a'), "d5f9a9e9257077a5f08b0b92f348b0ad"},
    {"57 bytes", QByteArray(57, 'a'), "872097e6f78e3b53f890459d03bc6fb7"},
    {"63 bytes", QByteArray(63, 'a'), "7ea3da77432d44c323671097d1348fc8"},
    {"64 bytes", QByteArray(64, 'a'), "52f5076fabd22680234a3fa9f9dc5732"},
    {"65 bytes", QByteArray(65, 'a'), "330e377bf231f3cacfecc2c182fe7e5b"},
    {"119 bytes", QByteArray(119, 'a'), "e65dd227ccef97fa1d34d70189120f76"},
    {"120 bytes", QByteArray(120, 'a'), "b03ddbd470b47c013e0c7ab2ddd763db"},
    {"128 bytes", QByteArray(128, 'a'), "cb4a20a561558e29460190c91dced59f"},
};

TEST(MD4, KnownDigests)
{
    for (const auto &v : kVectors) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(MD4String(v.data).toHex(), QByteArray(v.digest));
    }
}

TEST(MD4, SplitAtEveryOffsetGivesTheSameDigest)
{
    for (const auto &v : kVectors) {
        SCOPED_TRACE(v.name);
        for (qsizetype cut = 0; cut <= v.data.size(); ++cut) {
            TMD4Context context;
            MD4Init(context);
            MD4Update(context, v.data.constData(), std::size_t(cut));
            MD4UpdateString(context, v.data.mid(cut));
            std::uint8_t digest[16];
            MD4Final(context, digest);
            ASSERT_EQ(QByteArray(reinterpret_cast<const char *>(digest), 16).toHex(), QByteArray(v.digest)) << cut;
        }
    }
}

TEST(MD4, ContextMustBeInitialised)
{
    const auto expectUninitialised = [](const auto &call) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const MD4Exception &e) {
            EXPECT_STREQ(e.what(), "MD4 not initialized");
        }
    };
    std::uint8_t digest[16];
    TMD4Context fresh;
    expectUninitialised([&] { MD4UpdateString(fresh, "abc"); });
    expectUninitialised([&] { MD4Final(fresh, digest); });

    // Final clears the context: a second use needs MD4Init again.
    TMD4Context used;
    MD4Init(used);
    MD4UpdateString(used, "abc");
    MD4Final(used, digest);
    expectUninitialised([&] { MD4UpdateString(used, "abc"); });
    expectUninitialised([&] { MD4Final(used, digest); });
    MD4Init(used);
    MD4Final(used, digest);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(digest), 16).toHex(), QByteArray("31d6cfe0d16ae931b73c59d7e0c089c0"));
}

}  // namespace
