// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: writers of pictures as [MS-EMF] enhanced metafiles and [MS-WMF] placeable metafiles.
#include "files/Metafile.h"

#include "platform/CodePage.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <numbers>

namespace {

class TBytes
{
public:
    QByteArray Data;
    void U8(quint8 v) { Data.append(char(v)); }
    void U16(quint16 v)
    {
        char b[2];
        qToLittleEndian(v, b);
        Data.append(b, 2);
    }
    void I16(int v) { U16(quint16(qint16(qBound(-32768, v, 32767)))); }
    void U32(quint32 v)
    {
        char b[4];
        qToLittleEndian(v, b);
        Data.append(b, 4);
    }
    void I32(qint32 v) { U32(quint32(v)); }
    void F32(float v)
    {
        quint32 bits;
        std::memcpy(&bits, &v, 4);
        U32(bits);
    }
    void Rect(const QRect &r)  // RECTL: left, top, right, bottom
    {
        I32(r.left());
        I32(r.top());
        I32(r.left() + r.width());
        I32(r.top() + r.height());
    }
    void Pad(int alignment)
    {
        while (Data.size() % alignment)
            Data.append('\0');
    }
    void PutU32(qsizetype at, quint32 v) { qToLittleEndian(v, Data.data() + at); }
    void PutU16(qsizetype at, quint16 v) { qToLittleEndian(v, Data.data() + at); }
};

QList<int> Advances(const TPictureItem &item, int pixelHeight)
{
    QList<int> dx = item.Advances;
    const int fallback = qMax(1, pixelHeight / 2);
    while (dx.size() < item.Str.size())
        dx.append(fallback);
    dx.resize(item.Str.size());
    return dx;
}

// What both formats draw: the background as a rectangle without an outline, then the items.
QList<TPictureItem> ItemsOnBackground(const TPicture &picture, int width, int height)
{
    TPictureItem background;
    background.Box = QRect(0, 0, width, height);
    background.Fill = picture.Background;
    background.NoPen = true;
    QList<TPictureItem> items = picture.Items;
    items.prepend(background);
    return items;
}

// ---- EMF

namespace Emr {
constexpr quint32 Header = 1, Eof = 14, SetBkMode = 18, SetTextAlign = 22, SetTextColor = 24, MoveToEx = 27,
                  SelectObject = 37, CreatePen = 38, CreateBrushIndirect = 39, DeleteObject = 40, Rectangle = 43,
                  Pie = 47, LineTo = 54, ExtCreateFontIndirectW = 82, ExtTextOutW = 84;
constexpr quint32 NullBrush = 0x80000005, NullPen = 0x80000008;  // stock objects
}

class TEmfWriter
{
public:
    TBytes B;
    quint32 Records = 0;

    // Begins a record; End() fills in its size.
    qsizetype Begin(quint32 type)
    {
        const qsizetype at = B.Data.size();
        B.U32(type);
        B.U32(0);
        ++Records;
        return at;
    }
    void End(qsizetype at)
    {
        B.Pad(4);
        B.PutU32(at + 4, quint32(B.Data.size() - at));
    }
    void Simple(quint32 type, quint32 value)
    {
        const qsizetype at = Begin(type);
        B.U32(value);
        End(at);
    }
};

void EmfFaceName(TBytes &b, const QString &name)
{
    const QString face = name.left(31);
    for (int i = 0; i < 32; ++i)
        b.U16(i < face.size() ? face.at(i).unicode() : 0);
}

// META_ record functions
namespace Meta {
constexpr quint16 Eof = 0x0000, SetBkMode = 0x0102, SetWindowOrg = 0x020B, SetWindowExt = 0x020C,
                  SetTextColor = 0x0209, SetTextAlign = 0x012E, SelectObject = 0x012D, DeleteObject = 0x01F0,
                  CreatePenIndirect = 0x02FA, CreateFontIndirect = 0x02FB, CreateBrushIndirect = 0x02FC,
                  Rectangle = 0x041B, Pie = 0x081A, MoveTo = 0x0214, LineTo = 0x0213, TextOut = 0x0521;
}

}  // namespace

namespace Metafile {

QPoint RadialPoint(const QRect &box, int angle16)
{
    const double a = angle16 / 16.0 * std::numbers::pi / 180.0;
    const double cx = box.left() + box.width() / 2.0, cy = box.top() + box.height() / 2.0;
    return QPoint(int(std::lround(cx + box.width() / 2.0 * std::cos(a))),
                  int(std::lround(cy - box.height() / 2.0 * std::sin(a))));
}

QByteArray WriteEmf(const TPicture &picture)
{
    TEmfWriter w;
    const int width = qMax(1, picture.Size.width()), height = qMax(1, picture.Size.height());
    // 96 pixels per inch: one pixel is 2540 / 96 hundredths of a millimetre.
    const qint32 frameW = qint32(std::lround((width - 1) * 2540.0 / 96.0));
    const qint32 frameH = qint32(std::lround((height - 1) * 2540.0 / 96.0));
    const qint32 mmW = qint32(std::lround(width * 25.4 / 96.0)), mmH = qint32(std::lround(height * 25.4 / 96.0));

    const qsizetype header = w.Begin(Emr::Header);
    w.B.Rect(QRect(0, 0, width - 1, height - 1));  // Bounds, inclusive
    w.B.Rect(QRect(0, 0, frameW, frameH));          // Frame, inclusive, in 0.01 mm
    w.B.U32(0x464D4520);  // " EMF"
    w.B.U32(0x00010000);
    const qsizetype bytesAt = w.B.Data.size();
    w.B.U32(0);  // Bytes
    w.B.U32(0);  // Records
    const qsizetype handlesAt = w.B.Data.size();
    w.B.U16(0);  // Handles
    w.B.U16(0);
    w.B.U32(0);  // nDescription
    w.B.U32(0);  // offDescription
    w.B.U32(0);  // nPalEntries
    w.B.I32(width);  // Device, pixels of the reference device
    w.B.I32(height);
    w.B.I32(mmW);  // Millimeters
    w.B.I32(mmH);
    w.B.U32(0);  // cbPixelFormat
    w.B.U32(0);  // offPixelFormat
    w.B.U32(0);  // bOpenGL
    w.B.U32(quint32(mmW * 1000));  // MicrometersX
    w.B.U32(quint32(mmH * 1000));
    w.End(header);

    w.Simple(Emr::SetBkMode, 1);     // TRANSPARENT
    w.Simple(Emr::SetTextAlign, 0);  // TA_TOP | TA_LEFT

    // Handle 0 is reserved; each step creates its objects in slots 1 and 2 and deletes them again.
    // A solid brush or pen in slot index, selected; a null one is the stock object.
    auto object = [&w](quint32 type, quint32 index, bool none, quint32 nullStock, const QList<quint32> &fields) {
        if (none) {
            w.Simple(Emr::SelectObject, nullStock);
            return false;
        }
        const qsizetype at = w.Begin(type);
        w.B.U32(index);
        for (quint32 v : fields)
            w.B.U32(v);
        w.End(at);
        w.Simple(Emr::SelectObject, index);
        return true;
    };
    auto brush = [&object](quint32 index, const TPictureItem &item) {  // LogBrush: BS_SOLID, colour, hatch
        return object(Emr::CreateBrushIndirect, index, item.NoFill, Emr::NullBrush, {0, item.Fill, 0});
    };
    auto pen = [&object](quint32 index, const TPictureItem &item) {  // LogPen: PS_SOLID, width 1 (x, y), colour
        return object(Emr::CreatePen, index, item.NoPen, Emr::NullPen, {0, 1, 0, item.Pen});
    };
    auto release = [&w](quint32 index, bool created, quint32 stock) {
        if (!created)
            return;
        w.Simple(Emr::SelectObject, stock);
        w.Simple(Emr::DeleteObject, index);
    };
    constexpr quint32 WhiteBrush = 0x80000000, BlackPen = 0x80000007, SystemFont = 0x8000000D;

    const QList<TPictureItem> items = ItemsOnBackground(picture, width, height);

    bool fontMade = false;
    for (const TPictureItem &item : items) {
        switch (item.Kind) {
        case TPictureItem::Rectangle:
        case TPictureItem::Pie: {
            const bool b = brush(1, item);
            const bool p = pen(2, item);
            const qsizetype at = w.Begin(item.Kind == TPictureItem::Pie ? Emr::Pie : Emr::Rectangle);
            w.B.Rect(item.Box);
            if (item.Kind == TPictureItem::Pie) {
                const int end = item.SpanAngle >= 5760 ? item.StartAngle : item.StartAngle + item.SpanAngle;
                const QPoint s = RadialPoint(item.Box, item.StartAngle), e = RadialPoint(item.Box, end);
                w.B.I32(s.x());
                w.B.I32(s.y());
                w.B.I32(e.x());
                w.B.I32(e.y());
            }
            w.End(at);
            release(1, b, WhiteBrush);
            release(2, p, BlackPen);
            break;
        }
        case TPictureItem::Line: {
            const bool p = pen(2, item);
            qsizetype at = w.Begin(Emr::MoveToEx);
            w.B.I32(item.From.x());
            w.B.I32(item.From.y());
            w.End(at);
            at = w.Begin(Emr::LineTo);
            w.B.I32(item.To.x());
            w.B.I32(item.To.y());
            w.End(at);
            release(2, p, BlackPen);
            break;
        }
        case TPictureItem::Text: {
            if (item.Str.isEmpty())
                break;
            if (!fontMade) {
                const TPictureFont &f = picture.Font;
                const qsizetype at = w.Begin(Emr::ExtCreateFontIndirectW);
                w.B.U32(3);
                w.B.I32(-f.PixelHeight);  // negative: the character height, not the cell's
                w.B.I32(0);
                w.B.I32(0);
                w.B.I32(0);
                w.B.I32(f.Weight);
                w.B.U8(f.Italic);
                w.B.U8(f.Underline);
                w.B.U8(f.StrikeOut);
                w.B.U8(f.CharSet);
                w.B.U8(0);  // OUT_DEFAULT_PRECIS
                w.B.U8(0);  // CLIP_DEFAULT_PRECIS
                w.B.U8(0);  // DEFAULT_QUALITY
                w.B.U8(0);  // DEFAULT_PITCH | FF_DONTCARE
                EmfFaceName(w.B, f.Name);
                w.End(at);
                w.Simple(Emr::SelectObject, 3);
                fontMade = true;
            }
            w.Simple(Emr::SetTextColor, item.Pen);
            const QList<int> dx = Advances(item, picture.Font.PixelHeight);
            int textWidth = 0;
            for (int d : dx)
                textWidth += d;
            const QRect bounds(item.At, QSize(qMax(1, textWidth), qMax(1, picture.Font.PixelHeight * 5 / 4)));
            const qsizetype at = w.Begin(Emr::ExtTextOutW);
            w.B.Rect(bounds);
            w.B.U32(1);  // GM_COMPATIBLE, with the scale from pixels to 0.01 mm
            w.B.F32(2540.0f / 96.0f);
            w.B.F32(2540.0f / 96.0f);
            w.B.I32(item.At.x());  // EmrText: Reference
            w.B.I32(item.At.y());
            w.B.U32(quint32(item.Str.size()));
            constexpr quint32 fixedPart = 8 + 16 + 12 + 40;
            const quint32 stringBytes = quint32((item.Str.size() * 2 + 3) / 4 * 4);
            w.B.U32(fixedPart);  // offString
            w.B.U32(0);          // Options
            w.B.I32(0);          // Rectangle (none: no clipping nor opaquing)
            w.B.I32(0);
            w.B.I32(0);
            w.B.I32(0);
            w.B.U32(fixedPart + stringBytes);  // offDx
            for (QChar c : item.Str)
                w.B.U16(c.unicode());
            w.B.Pad(4);
            for (int d : dx)
                w.B.I32(d);
            w.End(at);
            break;
        }
        }
    }
    if (fontMade) {
        w.Simple(Emr::SelectObject, SystemFont);
        w.Simple(Emr::DeleteObject, 3);
    }

    const qsizetype eof = w.Begin(Emr::Eof);
    w.B.U32(0);   // nPalEntries
    w.B.U32(16);  // offPalEntries
    w.B.U32(20);  // SizeLast
    w.End(eof);

    w.B.PutU32(bytesAt, quint32(w.B.Data.size()));
    w.B.PutU32(bytesAt + 4, w.Records);
    w.B.PutU16(handlesAt, fontMade ? 4 : 3);
    return w.B.Data;
}

QByteArray WriteWmf(const TPicture &picture, int codePage)
{
    const int width = qMax(1, picture.Size.width()), height = qMax(1, picture.Size.height());

    TBytes p;  // the placeable header
    p.U32(0x9AC6CDD7);
    p.U16(0);
    p.I16(0);
    p.I16(0);
    p.I16(width);
    p.I16(height);
    p.U16(96);  // units per inch: one unit is one pixel
    p.U32(0);
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= qFromLittleEndian<quint16>(p.Data.constData() + 2 * i);
    p.U16(checksum);

    TBytes r;  // the records after META_HEADER
    quint32 maxRecord = 3;
    auto record = [&r, &maxRecord](quint16 function, const QList<int> &params, const QByteArray &raw = {}) {
        const quint32 words = 3 + quint32(params.size()) + quint32((raw.size() + 1) / 2);
        r.U32(words);
        r.U16(function);
        for (int v : params)
            r.U16(quint16(qBound(-32768, v, 65535)));  // coordinates are signed, colour words unsigned
        r.Data.append(raw);
        r.Pad(2);
        maxRecord = qMax(maxRecord, words);
    };
    auto colorRef = [](quint32 c) { return QList<int>{int(c & 0xFFFF), int(c >> 16)}; };

    // WMF has no stock objects to select: a "null" pen or brush is one more object. Each step
    // creates its objects in the lowest free slots and deletes them, so slots 0 and 1 are reused.
    auto makeBrush = [&](const TPictureItem &item) {
        QList<int> params{item.NoFill ? 1 : 0};  // BS_NULL : BS_SOLID
        params += colorRef(item.Fill);
        params.append(0);
        record(Meta::CreateBrushIndirect, params);
    };
    auto makePen = [&](const TPictureItem &item) {
        QList<int> params{item.NoPen ? 5 : 0, 1, 0};  // PS_NULL : PS_SOLID, width 1
        params += colorRef(item.Pen);
        record(Meta::CreatePenIndirect, params);
    };

    record(Meta::SetWindowOrg, {0, 0});
    record(Meta::SetWindowExt, {height, width});
    record(Meta::SetBkMode, {1});  // TRANSPARENT
    record(Meta::SetTextAlign, {0});

    // The font lives in slot 2 for the whole picture, once there is text.
    bool hasText = false;
    for (const TPictureItem &item : picture.Items)
        hasText = hasText || (item.Kind == TPictureItem::Text && !item.Str.isEmpty());
    if (hasText) {
        const TPictureFont &f = picture.Font;
        QByteArray face = EncodeAnsi(f.Name.left(31), codePage);
        face.resize(32, '\0');
        QByteArray raw;
        raw.append(char(f.Italic));
        raw.append(char(f.Underline));
        raw.append(char(f.StrikeOut));
        raw.append(char(f.CharSet));
        raw.append(4, '\0');  // precisions, quality, pitch and family
        raw.append(face);
        record(Meta::CreateFontIndirect, {-f.PixelHeight, 0, 0, 0, f.Weight}, raw);
    }
    // Slot order: with the font made first it holds slot 0, brushes and pens slots 1 and 2.
    const int fontSlot = 0, brushSlot = hasText ? 1 : 0, penSlot = hasText ? 2 : 1;
    if (hasText)
        record(Meta::SelectObject, {fontSlot});

    const QList<TPictureItem> items = ItemsOnBackground(picture, width, height);

    for (const TPictureItem &item : items) {
        switch (item.Kind) {
        case TPictureItem::Rectangle:
        case TPictureItem::Pie: {
            makeBrush(item);
            record(Meta::SelectObject, {brushSlot});
            makePen(item);
            record(Meta::SelectObject, {penSlot});
            const QRect &b = item.Box;
            const int right = b.left() + b.width(), bottom = b.top() + b.height();
            if (item.Kind == TPictureItem::Pie) {
                const int end = item.SpanAngle >= 5760 ? item.StartAngle : item.StartAngle + item.SpanAngle;
                const QPoint s = Metafile::RadialPoint(b, item.StartAngle), e = Metafile::RadialPoint(b, end);
                record(Meta::Pie, {e.y(), e.x(), s.y(), s.x(), bottom, right, b.top(), b.left()});
            } else {
                record(Meta::Rectangle, {bottom, right, b.top(), b.left()});
            }
            record(Meta::DeleteObject, {brushSlot});
            record(Meta::DeleteObject, {penSlot});
            break;
        }
        case TPictureItem::Line: {
            TPictureItem hollow = item;
            hollow.NoFill = true;
            makeBrush(hollow);  // a null brush keeps the slot numbering of the other steps
            record(Meta::SelectObject, {brushSlot});
            makePen(item);
            record(Meta::SelectObject, {penSlot});
            record(Meta::MoveTo, {item.From.y(), item.From.x()});
            record(Meta::LineTo, {item.To.y(), item.To.x()});
            record(Meta::DeleteObject, {brushSlot});
            record(Meta::DeleteObject, {penSlot});
            break;
        }
        case TPictureItem::Text: {
            if (item.Str.isEmpty())
                break;
            record(Meta::SetTextColor, colorRef(item.Pen));
            const QByteArray text = EncodeAnsi(item.Str, codePage);
            TBytes raw;
            raw.U16(quint16(text.size()));
            raw.Data.append(text);
            raw.Pad(2);
            raw.I16(item.At.y());
            raw.I16(item.At.x());
            record(Meta::TextOut, {}, raw.Data);
            break;
        }
        }
    }
    if (hasText)
        record(Meta::DeleteObject, {fontSlot});
    record(Meta::Eof, {});

    TBytes h;  // META_HEADER
    const quint32 totalWords = 9 + quint32(r.Data.size() / 2);
    h.U16(1);  // MEMORYMETAFILE
    h.U16(9);
    h.U16(0x0300);
    h.U32(totalWords);
    h.U16(hasText ? 3 : 2);  // objects at once
    h.U32(maxRecord);
    h.U16(0);
    return p.Data + h.Data + r.Data;
}

}  // namespace Metafile
