// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: MD5 (RFC 1321 test suite) and CRC-32 (IEEE 802.3 check value) over blocks and files.
#include "files/Crc32.h"
#include "files/md5.h"
#include "support/Pattern.h"

#include <QBuffer>
#include <QtEndian>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

namespace {

QString Md5Hex(const QByteArray &data)
{
    TMD5Context context;
    MD5Init(context);
    MD5Update(context, data.constData(), std::size_t(data.size()));
    TMD5Digest digest;
    MD5Final(digest, context);
    return MD5DigestToHex(digest);
}

QByteArray Pattern(qsizetype size) { return TestSupport::XorShiftBytes(size, 2463534242u); }

// The textbook byte-at-a-time register, to hold the table-folding code to.
quint32 BytewiseCrc(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFF;
    for (char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

}  // namespace

TEST(Md5, Rfc1321TestSuite)
{
    const struct { const char *input, *digest; } cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(Md5Hex(c.input), QLatin1String(c.digest));
    }
}

TEST(Md5, UpdatesInPiecesEqualOneUpdate)
{
    const QByteArray data = Pattern(300);
    for (qsizetype split : {0, 1, 55, 56, 63, 64, 65, 128, 299}) {
        SCOPED_TRACE(split);
        TMD5Context context;
        MD5Init(context);
        MD5Update(context, data.constData(), std::size_t(split));
        MD5Update(context, data.constData() + split, std::size_t(data.size() - split));
        TMD5Digest digest;
        MD5Final(digest, context);
        EXPECT_EQ(MD5DigestToHex(digest), Md5Hex(data));
    }
}

TEST(Md5, FilesAroundTheBlockSize)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (qsizetype size : {0, 4095, 4096, 4097, 3 * 4096}) {
        SCOPED_TRACE(size);
        const QByteArray data = Pattern(size);
        const QString name = dir.filePath(QString::number(size));
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
        file.close();
        const QString expected = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex().toUpper());
        EXPECT_EQ(MD5DigestToHex(MD5File(name)), expected);
        EXPECT_EQ(Crc32Final(Crc32Update(Crc32Start, data.constData(), std::size_t(size))), BytewiseCrc(data));
    }
}

TEST(Md5, StreamKeepsItsPosition)
{
    QByteArray data = Pattern(5000);
    QBuffer buffer(&data);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    buffer.seek(1234);
    const TMD5Digest digest = MD5Stream(buffer);
    EXPECT_EQ(buffer.pos(), 1234);
    EXPECT_EQ(MD5DigestToHex(digest), Md5Hex(data));
}

TEST(Md5, MissingFileRaises)
{
    EXPECT_THROW(MD5File(QStringLiteral("/nonexistent/vaskimo/file")), std::runtime_error);
}

TEST(Md5, DigestsEqual)
{
    TMD5Digest a{}, b{};
    EXPECT_TRUE(MD5DigestsEqual(a, b));
    b[15] = 1;
    EXPECT_FALSE(MD5DigestsEqual(a, b));
}

TEST(Crc32, CheckValues)
{
    const struct { const char *input; quint32 crc; } cases[] = {
        {"", 0},
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(Crc32Final(Crc32Update(Crc32Start, c.input, std::strlen(c.input))), c.crc);
    }
}

TEST(Crc32, PiecesEqualOneUpdate)
{
    const QByteArray data = Pattern(4097);
    for (qsizetype split : {1, 7, 8, 9, 4095, 4096}) {
        SCOPED_TRACE(split);
        quint32 crc = Crc32Update(Crc32Start, data.constData(), std::size_t(split));
        crc = Crc32Update(crc, data.constData() + split, std::size_t(data.size() - split));
        EXPECT_EQ(Crc32Final(crc), BytewiseCrc(data));
    }
}

// Lengths and start offsets around the 16- and 64-byte lanes of the folding code and its
// threshold, each split once so that a register that is not the start value enters the fold.
TEST(Crc32, EveryLengthAndAlignmentMatchesTheBytewiseRegister)
{
    const QByteArray data = Pattern(4096 + 64);
    for (qsizetype offset : {0, 1, 3, 8, 15})
        for (qsizetype length = 0; length <= 4096; length += length < 600 ? 1 : 97) {
            const QByteArray piece = data.mid(offset, length);
            const qsizetype split = length / 3;
            quint32 crc = Crc32Update(Crc32Start, piece.constData(), std::size_t(split));
            crc = Crc32Update(crc, piece.constData() + split, std::size_t(length - split));
            ASSERT_EQ(Crc32Final(crc), BytewiseCrc(piece)) << "offset " << offset << ", length " << length;
        }
}

// gzip's trailer carries the CRC-32 of what it packed.
TEST(Crc32, LargeBufferMatchesGzip)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray data = Pattern((8 << 20) + 13);
    QFile file(dir.filePath(QStringLiteral("data")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(data), data.size());
    file.close();
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-1c"), file.fileName()});
    ASSERT_TRUE(gzip.waitForFinished(60000)) << "gzip: " << qPrintable(gzip.errorString());
    const QByteArray packed = gzip.readAllStandardOutput();
    ASSERT_EQ(gzip.exitCode(), 0);
    ASSERT_GE(packed.size(), 8);
    const quint32 expected = qFromLittleEndian<quint32>(packed.constData() + packed.size() - 8);
    EXPECT_EQ(Crc32Final(Crc32Update(Crc32Start, data.constData(), std::size_t(data.size()))), expected);
}
