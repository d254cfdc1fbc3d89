// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of TBuffer, the send queue's chunk: sizes, filling, taking out, growing.
#include "net/WSockBuf.h"

#include <gtest/gtest.h>

#include <QByteArray>

TEST(WSockBufTest, SizeZeroOrLessHoldsOneFrame)
{
    for (int size : {0, -5}) {
        SCOPED_TRACE(size);
        TBuffer b(size);
        EXPECT_EQ(b.Capacity(), 1514);
        const QByteArray data(2000, 'x');
        EXPECT_EQ(b.Append(data.constData(), 2000), 1514);
        EXPECT_EQ(b.Append(data.constData(), 2000), 0);
        EXPECT_EQ(b.WrittenCount(), 1514);
    }
}

TEST(WSockBufTest, TakingTheLastByteRewindsTheStorage)
{
    TBuffer b(8);
    EXPECT_EQ(b.Append("abcdef", 6), 6);
    EXPECT_EQ(b.TakeOut(4), 4);
    int len = -1;
    const char *p = b.PeekData(len);
    ASSERT_EQ(len, 2);
    EXPECT_EQ(QByteArray(p, len), "ef");
    // Only two bytes of room are left at the end until the buffer empties.
    EXPECT_EQ(b.Append("ghij", 4), 2);
    EXPECT_EQ(b.TakeOut(100), 4);
    EXPECT_EQ(b.PeekData(len), nullptr);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(b.WrittenCount(), 0);
    EXPECT_EQ(b.TakenCount(), 0);
    EXPECT_EQ(b.Append("12345678", 8), 8);
    EXPECT_EQ(QByteArray(b.Storage(), 8), "12345678");
}

TEST(WSockBufTest, OddArgumentsChangeNothing)
{
    TBuffer b(4);
    EXPECT_EQ(b.Append(nullptr, 3), 0);
    EXPECT_EQ(b.Append("ab", 0), 0);
    EXPECT_EQ(b.Append("ab", -1), 0);
    EXPECT_EQ(b.TakeOut(-1), 0);
    EXPECT_EQ(b.TakeOut(1), 0);
    EXPECT_EQ(b.WrittenCount(), 0);
}

TEST(WSockBufTest, SetCapacityKeepsHeldBytesAndRefusesToCutThem)
{
    TBuffer b(4);
    b.Append("abcd", 4);
    b.TakeOut(1);
    EXPECT_FALSE(b.SetCapacity(3));
    EXPECT_EQ(b.Capacity(), 4);
    EXPECT_TRUE(b.SetCapacity(10));
    EXPECT_EQ(b.Capacity(), 10);
    int len = 0;
    const char *p = b.PeekData(len);
    EXPECT_EQ(QByteArray(p, len), "bcd");
    EXPECT_EQ(b.Append("efghijk", 7), 6);

    TBuffer empty(4);
    EXPECT_TRUE(empty.SetCapacity(0));
    EXPECT_EQ(empty.Capacity(), 1514);
    EXPECT_TRUE(empty.SetCapacity(1514));
}
