// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: files read side by side: the classes and digests each file has when read on its own.
#include "files/Crc32.h"
#include "files/DuplicateContents.h"
#include "support/Pattern.h"

#include <QBuffer>
#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <memory>

using namespace Duplicate;

namespace {

constexpr qsizetype Size = 3 * 512 * 1024 + 1000;  // several rounds whatever the block size

QByteArray Flipped(QByteArray data, qsizetype at)
{
    data[at] = char(data[at] ^ 0x5A);
    return data;
}

struct TFiles {
    std::vector<QByteArray> Contents;  // null: no device
    std::vector<std::unique_ptr<QBuffer>> Devices;

    std::vector<QIODevice *> Open()
    {
        Devices.clear();
        std::vector<QIODevice *> open;
        for (const QByteArray &data : Contents) {
            if (data.isNull()) {
                open.push_back(nullptr);
                continue;
            }
            auto buffer = std::make_unique<QBuffer>();
            buffer->setData(data);
            buffer->open(QIODevice::ReadOnly);
            open.push_back(buffer.get());
            Devices.push_back(std::move(buffer));
        }
        return open;
    }
};

}  // namespace

TEST(SideBySide, ClassesAndDigestsAreThoseOfEachFileReadOnItsOwn)
{
    const QByteArray a = TestSupport::XorShiftBytes(Size, 7), b = TestSupport::XorShiftBytes(Size, 8);
    TFiles files;
    files.Contents = {
        a.left(Size - 10),       // the first leader, cut short in the last round
        a + "x",                 // the next leader, longer than it was listed
        a, a,                    // a set
        Flipped(a, Size - 1), Flipped(a, Size - 1),  // a set that parts from it in the last byte
        Flipped(a, 0),           // alone from the first byte
        Flipped(a, Size / 2),    // alone from the middle
        QByteArray(),            // cannot be opened
        b, b,                    // a set of other bytes
    };
    const std::vector<bool> readable{false, false, true, true, true, true, true, true, false, true, true};
    const std::vector<bool> alone{false, false, false, false, false, false, true, true, false, false, false};  // of a's bytes

    const struct { const char *name; bool crc, md5; } digests[] = {
        {"CRC", true, false}, {"MD5", false, true}, {"CRC and MD5", true, true}};
    for (const auto &d : digests) {
        for (const bool threads : {false, true}) {
            for (const bool lones : {false, true}) {
                SCOPED_TRACE(testing::Message() << d.name << (threads ? ", threads" : ", inline")
                                                << (lones ? ", lones unread" : ""));
                TSideBySideRequest request;
                request.Size = Size;
                request.Crc = d.crc;
                request.Md5 = d.md5;
                request.LonesUnread = lones;
                request.DigestThreads = threads;
                const std::vector<TContentOutcome> outcomes = ReadSideBySide(files.Open(), request);
                ASSERT_EQ(outcomes.size(), files.Contents.size());
                for (std::size_t i = 0; i < outcomes.size(); ++i) {
                    SCOPED_TRACE(i);
                    const TContentOutcome &o = outcomes[i];
                    // Only the MD5 makes a file that parts from all others one that can join no set.
                    const bool settledAlone = lones && d.md5 && alone[i];
                    EXPECT_EQ(o.Alone, settledAlone);
                    ASSERT_EQ(o.Readable, readable[i] && !settledAlone);
                    if (!o.Readable)
                        continue;
                    const QByteArray &data = files.Contents[i];
                    EXPECT_EQ(o.HaveCrc, d.crc);
                    if (d.crc) {
                        EXPECT_EQ(o.Crc, Crc32Final(Crc32Update(Crc32Start, data.constData(), std::size_t(data.size()))));
                    }
                    EXPECT_EQ(o.HaveMd5, d.md5);
                    if (o.HaveMd5) {
                        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(o.Md5.data()), 16),
                                  QCryptographicHash::hash(data, QCryptographicHash::Md5));
                    }
                    for (std::size_t j = 0; j < outcomes.size(); ++j) {
                        if (outcomes[j].Readable) {
                            EXPECT_EQ(o.Class == outcomes[j].Class, data == files.Contents[j]) << "with " << j;
                        }
                    }
                }
            }
        }
    }
}

// Files that part are read no further once the MD5 decides; their ends are compared first.
TEST(SideBySide, FilesThatPartAreReadNoFurtherWhenTheMd5Decides)
{
    class TCountingBuffer final : public QBuffer
    {
    public:
        qint64 Read = 0;

    protected:
        qint64 readData(char *data, qint64 maxSize) override
        {
            const qint64 n = QBuffer::readData(data, maxSize);
            Read += std::max<qint64>(n, 0);
            return n;
        }
    };
    constexpr qsizetype Big = 8 << 20;
    const QByteArray a = TestSupport::XorShiftBytes(Big, 12);
    const struct {
        const char *name;
        qsizetype partAt;
        bool crc, md5, lones;
        qint64 mostRead;  // by each file, when it is settled alone; else it is read whole
    } cases[] = {
        {"part at the last byte, MD5", Big - 1, true, true, true, Big / 32},
        {"part in the middle, MD5 only", Big / 2, false, true, true, Big / 2 + (2 << 20)},
        {"part at the last byte, CRC only", Big - 1, true, false, true, 0},
        {"part at the last byte, more to compare elsewhere", Big - 1, true, true, false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<TCountingBuffer>> devices;
        std::vector<QIODevice *> open;
        for (const QByteArray &data : {a, Flipped(a, c.partAt)}) {
            devices.push_back(std::make_unique<TCountingBuffer>());
            devices.back()->setData(data);
            devices.back()->open(QIODevice::ReadOnly);
            open.push_back(devices.back().get());
        }
        TSideBySideRequest request;
        request.Size = Big;
        request.Crc = c.crc;
        request.Md5 = c.md5;
        request.LonesUnread = c.lones;
        const std::vector<TContentOutcome> outcomes = ReadSideBySide(open, request);
        for (std::size_t i = 0; i < 2; ++i) {
            SCOPED_TRACE(i);
            const bool alone = c.lones && c.md5;
            if (alone) {
                EXPECT_LE(devices[i]->Read, c.mostRead);
            } else {
                EXPECT_EQ(devices[i]->Read, Big);
            }
            EXPECT_EQ(outcomes[i].Alone, alone);
            EXPECT_EQ(outcomes[i].Readable, !alone);
            EXPECT_EQ(outcomes[i].HaveCrc, !alone && c.crc);
        }
        if (outcomes[0].Readable) {
            EXPECT_NE(outcomes[0].Class, outcomes[1].Class);
        }
    }
}

TEST(SideBySide, AStopLeavesNoFileSettled)
{
    const QByteArray a = TestSupport::XorShiftBytes(Size, 9);
    TFiles files;
    files.Contents = {a, a, a};
    for (const bool threads : {false, true}) {
        SCOPED_TRACE(threads ? "threads" : "inline");
        int polls = 0;
        TSideBySideRequest request;
        request.Size = Size;
        request.Crc = request.Md5 = true;
        request.DigestThreads = threads;
        request.Stop = [&] { return ++polls > 1; };
        const std::vector<TContentOutcome> outcomes = ReadSideBySide(files.Open(), request);
        ASSERT_EQ(outcomes.size(), 3u);
        for (const TContentOutcome &o : outcomes)
            EXPECT_FALSE(o.Readable);
        EXPECT_EQ(polls, 2);
    }
}
