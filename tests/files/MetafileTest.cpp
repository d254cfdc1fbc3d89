// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the EMF and WMF writers, read back by small record walkers of their published formats.
#include "files/Metafile.h"

#include <QSet>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

quint32 U32(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }
qint32 I32(const QByteArray &b, qsizetype at) { return qFromLittleEndian<qint32>(b.constData() + at); }
quint16 U16(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); }
qint16 I16(const QByteArray &b, qsizetype at) { return qFromLittleEndian<qint16>(b.constData() + at); }

TPicture SamplePicture()
{
    TPicture p;
    p.Size = QSize(300, 200);
    p.Font.Name = "Sans";
    p.Font.PixelHeight = 12;
    TPictureItem pie;
    pie.Kind = TPictureItem::Pie;
    pie.Box = QRect(50, 40, 120, 120);
    pie.StartAngle = 0;
    pie.SpanAngle = 1440;  // a quarter
    pie.Fill = 0x00FFFF;
    p.Items << pie;
    pie.StartAngle = 1440;
    pie.SpanAngle = 4320;
    pie.Fill = 0x800000;
    p.Items << pie;
    TPictureItem line;
    line.Kind = TPictureItem::Line;
    line.From = QPoint(110, 40);
    line.To = QPoint(110, 20);
    p.Items << line;
    TPictureItem text;
    text.Kind = TPictureItem::Text;
    text.At = QPoint(100, 5);
    text.Str = QString::fromUtf8("docs 25% é");
    text.Advances = {7, 7, 7, 7, 4, 7, 7, 9, 4, 7};
    p.Items << text;
    return p;
}

struct TEmfRecord {
    quint32 Type, Size;
    qsizetype At;
};

// Walks the records as a reader must: each size a multiple of 4, inside the file, EOF last.
QList<TEmfRecord> WalkEmf(const QByteArray &b)
{
    QList<TEmfRecord> records;
    qsizetype at = 0;
    while (at + 8 <= b.size()) {
        const TEmfRecord r{U32(b, at), U32(b, at + 4), at};
        EXPECT_GE(r.Size, 8u);
        EXPECT_EQ(r.Size % 4, 0u);
        EXPECT_LE(at + qsizetype(r.Size), b.size());
        if (r.Size < 8 || at + qsizetype(r.Size) > b.size())
            break;
        records << r;
        at += r.Size;
        if (r.Type == 14)
            break;
    }
    EXPECT_EQ(at, b.size()) << "bytes after EMR_EOF";
    return records;
}

TEST(Emf, HeaderAndRecordsParseBack)
{
    const QByteArray b = Metafile::WriteEmf(SamplePicture());
    const QList<TEmfRecord> records = WalkEmf(b);
    ASSERT_GE(records.size(), 3);
    // EMR_HEADER
    EXPECT_EQ(records.first().Type, 1u);
    EXPECT_GE(records.first().Size, 88u);
    EXPECT_EQ(U32(b, 40), 0x464D4520u);  // " EMF"
    EXPECT_EQ(U32(b, 44), 0x00010000u);
    EXPECT_EQ(U32(b, 48), quint32(b.size()));
    EXPECT_EQ(U32(b, 52), quint32(records.size()));
    const quint16 handles = U16(b, 56);
    EXPECT_EQ(I32(b, 16), 299);  // Bounds right, inclusive
    EXPECT_EQ(I32(b, 20), 199);
    EXPECT_EQ(I32(b, 72), 300);  // reference device in pixels
    // EMR_EOF
    const TEmfRecord eof = records.last();
    EXPECT_EQ(eof.Type, 14u);
    EXPECT_EQ(eof.Size, 20u);
    EXPECT_EQ(U32(b, eof.At + 16), 20u);

    int pies = 0, texts = 0;
    QSet<quint32> created;
    for (const TEmfRecord &r : records) {
        switch (r.Type) {
        case 47: {  // EMR_PIE: box, then the radials' points
            ++pies;
            EXPECT_EQ(r.Size, 40u);
            EXPECT_EQ(I32(b, r.At + 8), 50);
            EXPECT_EQ(I32(b, r.At + 12), 40);
            EXPECT_EQ(I32(b, r.At + 16), 170);
            EXPECT_EQ(I32(b, r.At + 20), 160);
            if (pies == 1) {
                // A quarter from three o'clock counter-clockwise: right middle to top middle.
                EXPECT_EQ(QPoint(I32(b, r.At + 24), I32(b, r.At + 28)), QPoint(170, 100));
                EXPECT_EQ(QPoint(I32(b, r.At + 32), I32(b, r.At + 36)), QPoint(110, 40));
            }
            break;
        }
        case 84: {  // EMR_EXTTEXTOUTW
            ++texts;
            const quint32 chars = U32(b, r.At + 44);
            const quint32 offString = U32(b, r.At + 48);
            const quint32 offDx = U32(b, r.At + 72);
            ASSERT_LE(offString + chars * 2, r.Size);
            ASSERT_LE(offDx + chars * 4, r.Size);
            QString s;
            for (quint32 i = 0; i < chars; ++i)
                s += QChar(U16(b, r.At + offString + 2 * i));
            EXPECT_EQ(s, QString::fromUtf8("docs 25% é"));
            EXPECT_EQ(I32(b, r.At + offDx + 4 * 9), 7);
            break;
        }
        case 38: case 39: case 82:  // pens, brushes, fonts: their handle within the table
            created << U32(b, r.At + 8);
            EXPECT_LT(U32(b, r.At + 8), handles);
            EXPECT_GT(U32(b, r.At + 8), 0u);
            break;
        }
    }
    EXPECT_EQ(pies, 2);
    EXPECT_EQ(texts, 1);
    EXPECT_FALSE(created.isEmpty());
}

TEST(Emf, FullCircleHasEqualRadials)
{
    TPicture p;
    p.Size = QSize(100, 100);
    TPictureItem pie;
    pie.Kind = TPictureItem::Pie;
    pie.Box = QRect(0, 0, 100, 100);
    pie.StartAngle = 0;
    pie.SpanAngle = 5760;
    p.Items << pie;
    const QByteArray b = Metafile::WriteEmf(p);
    for (const TEmfRecord &r : WalkEmf(b)) {
        if (r.Type == 47) {
            EXPECT_EQ(QPoint(I32(b, r.At + 24), I32(b, r.At + 28)), QPoint(I32(b, r.At + 32), I32(b, r.At + 36)));
        }
    }
}

struct TWmfRecord {
    quint32 Words;
    quint16 Function;
    qsizetype At;
};

TEST(Wmf, PlaceableHeaderAndRecordsParseBack)
{
    const QByteArray b = Metafile::WriteWmf(SamplePicture(), 1252);
    ASSERT_GE(b.size(), 22 + 18);
    // Placeable header: key, box, units per inch, checksum of its first ten words.
    EXPECT_EQ(U32(b, 0), 0x9AC6CDD7u);
    EXPECT_EQ(I16(b, 10), 300);
    EXPECT_EQ(I16(b, 12), 200);
    quint16 sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= U16(b, 2 * i);
    EXPECT_EQ(U16(b, 20), sum);
    // META_HEADER
    const qsizetype h = 22;
    EXPECT_EQ(U16(b, h), 1);
    EXPECT_EQ(U16(b, h + 2), 9);
    EXPECT_EQ(U16(b, h + 4), 0x0300);
    EXPECT_EQ(qsizetype(U32(b, h + 6)) * 2, b.size() - 22);
    const quint16 objects = U16(b, h + 10);
    const quint32 maxRecord = U32(b, h + 12);

    QList<TWmfRecord> records;
    qsizetype at = h + 18;
    quint32 largest = 0;
    while (at + 6 <= b.size()) {
        const TWmfRecord r{U32(b, at), U16(b, at + 4), at};
        ASSERT_GE(r.Words, 3u);
        ASSERT_LE(at + qsizetype(r.Words) * 2, b.size());
        records << r;
        largest = qMax(largest, r.Words);
        at += qsizetype(r.Words) * 2;
        if (r.Function == 0)
            break;
    }
    EXPECT_EQ(at, b.size());
    ASSERT_FALSE(records.isEmpty());
    EXPECT_EQ(records.last().Function, 0);
    EXPECT_EQ(records.last().Words, 3u);
    EXPECT_EQ(maxRecord, largest);

    // The object table: each creation takes the lowest free slot, never beyond the header's count.
    QList<bool> used(objects, false);
    int pies = 0;
    QList<quint32> brushColours;
    for (const TWmfRecord &r : records) {
        const quint16 f = r.Function;
        if (f == 0x02FC && U16(b, r.At + 6) == 0)  // a solid brush: style, then its COLORREF
            brushColours << U32(b, r.At + 8);
        if (f == 0x02FA || f == 0x02FB || f == 0x02FC) {
            const qsizetype slot = used.indexOf(false);
            ASSERT_GE(slot, 0) << "more objects than the header says";
            used[slot] = true;
        } else if (f == 0x01F0) {
            const quint16 slot = U16(b, r.At + 6);
            ASSERT_LT(slot, objects);
            EXPECT_TRUE(used[slot]);
            used[slot] = false;
        } else if (f == 0x012D) {
            const quint16 slot = U16(b, r.At + 6);
            ASSERT_LT(slot, objects);
            EXPECT_TRUE(used[slot]);
        } else if (f == 0x081A) {
            ++pies;
            EXPECT_EQ(r.Words, 11u);
            // Parameters are in reverse order: radial 2, radial 1, then bottom, right, top, left.
            EXPECT_EQ(I16(b, r.At + 6 + 14), 50);
            EXPECT_EQ(I16(b, r.At + 6 + 12), 40);
        } else if (f == 0x0521) {
            const quint16 length = U16(b, r.At + 6);
            EXPECT_EQ(b.mid(r.At + 8, length), QByteArray("docs 25% \xE9"));
        }
    }
    EXPECT_EQ(pies, 2);
    EXPECT_EQ(brushColours, QList<quint32>({0xFFFFFF, 0x00FFFF, 0x800000}));  // background, the slices
    EXPECT_EQ(used.count(true), 0) << "every object deleted";
}

}  // namespace
