// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a picture as GDI-like drawing steps, and its writers as Enhanced Metafile and Windows Metafile.
//
// Formats as Microsoft publishes them: [MS-EMF] (EMR_HEADER ... EMR_EOF, 32-bit records) and
// [MS-WMF] (the placeable header, META_HEADER, 16-bit records sized in words, META_EOF).
// Colours are COLORREFs (0x00BBGGRR); all angles are in 16ths of degrees, counter-clockwise from
// three o'clock, as QPainter::drawPie takes them.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

struct TPictureFont {
    QString Name;
    int PixelHeight = 13;  // character height (the em), in pixels
    int Weight = 400;      // 400 normal, 700 bold
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    quint8 CharSet = 1;    // DEFAULT_CHARSET
};

struct TPictureItem {
    enum TKind { Rectangle, Pie, Line, Text };
    TKind Kind = Rectangle;
    QRect Box;                 // Rectangle, Pie (the ellipse's box)
    int StartAngle = 0;        // Pie, 16ths of a degree
    int SpanAngle = 0;         // Pie, 16ths of a degree; 5760 is the whole ellipse
    QPoint From, To;           // Line
    QPoint At;                 // Text: its top-left corner
    QString Str;               // Text
    QList<int> Advances;       // Text: each character's advance in pixels (may be empty)
    quint32 Fill = 0xFFFFFF;   // Rectangle, Pie
    quint32 Pen = 0x000000;    // outline, line or text colour
    bool NoFill = false;
    bool NoPen = false;
};

struct TPicture {
    QSize Size;                      // pixels
    quint32 Background = 0xFFFFFF;
    TPictureFont Font;               // every Text item's font
    QList<TPictureItem> Items;
};

namespace Metafile {
// The two points where the pie's radials meet its ellipse (start, then end of the arc).
QPoint RadialPoint(const QRect &box, int angle16);

// An Enhanced Metafile of the picture at 96 pixels per inch.
QByteArray WriteEmf(const TPicture &picture);
// A placeable Windows Metafile; texts are 8-bit in codePage (characters it lacks become "?").
QByteArray WriteWmf(const TPicture &picture, int codePage = 1252);
}
