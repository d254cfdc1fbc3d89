// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the pie chart: layout as one picture, QPainter drawing, hit-testing, saving and printing.
#include "files/PieChart.h"

#include "platform/DurableFile.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>

#include <cmath>
#include <numbers>

namespace {

constexpr int FullCircle = 5760;  // all angles are in 16ths of degrees
constexpr int LeaderLength = 10;

// Pictures are measured in pixels: the font is given its size in pixels at 96 per inch.
int PixelHeight(const QFont &font)
{
    if (font.pixelSize() > 0)
        return font.pixelSize();
    if (font.pointSizeF() > 0)
        return int(std::lround(font.pointSizeF() * 96.0 / 72.0));
    return 12;
}

QFont PixelFont(const QFont &font)
{
    QFont f(font);
    f.setPixelSize(PixelHeight(font));
    return f;
}

// The button face of the windows, unless a slice has that colour: no slice is ever drawn in the
// colour of the ground it stands on.
quint32 BackgroundFor(const QList<TPieSlice> &slices)
{
    for (const quint32 candidate : {0xF0F0F0u, 0xFFFFFFu, 0xC0C0C0u, 0x808080u}) {
        bool used = false;
        for (const TPieSlice &s : slices)
            used = used || s.Colour == candidate;
        if (!used)
            return candidate;
    }
    return 0xF0F0F0;
}

}  // namespace

QColor ColorRefToQColor(quint32 colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

TPieChart::TPieChart(QWidget *parent) : QWidget(parent), FFont(font())
{
    setMouseTracking(true);
    setMinimumSize(120, 100);
}

void TPieChart::SetTitleLines(const QStringList &lines)
{
    FTitle = lines;
    update();
}

void TPieChart::SetChartFont(const QFont &font)
{
    FFont = font;
    update();
}

void TPieChart::Changed()
{
    update();
}

QList<QPair<int, int>> TPieChart::SliceAngles(const QList<double> &values)
{
    QList<QPair<int, int>> angles;
    double total = 0;
    for (double v : values)
        total += qMax(0.0, v);
    double running = 0;
    int start = 0;
    for (double v : values) {
        running += qMax(0.0, v);
        const int end = total > 0 ? int(std::lround(running / total * FullCircle)) : 0;
        angles.append({start, end - start});
        start = end;
    }
    return angles;
}

TPieChart::TLayout TPieChart::Layout(const QSize &size) const
{
    TLayout l;
    const QFontMetrics fm(PixelFont(FFont));
    int top = 4 + int(FTitle.size()) * fm.height() + 4;
    int labelWidth = 0;
    for (const TPieSlice &s : Series1.Slices)
        if (!s.Label.trimmed().isEmpty())
            labelWidth = qMax(labelWidth, fm.horizontalAdvance(s.Label));
    const int margin = LeaderLength + 4;
    const int areaH = size.height() - top - 4;
    const int radius = qMax(8, qMin(areaH / 2 - fm.height() - margin, size.width() / 2 - labelWidth - margin - 4));
    const QPoint centre(size.width() / 2, top + areaH / 2);
    l.Pie = QRect(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QList<double> values;
    for (const TPieSlice &s : Series1.Slices)
        values.append(s.Value);
    l.Angles = SliceAngles(values);
    return l;
}

TPicture TPieChart::Picture(const QSize &size) const
{
    TPicture p;
    p.Size = size;
    p.Background = BackgroundFor(Series1.Slices);
    p.Font.Name = FFont.family();
    const QFontMetrics fm(PixelFont(FFont));
    p.Font.PixelHeight = PixelHeight(FFont);
    p.Font.Weight = FFont.bold() ? 700 : 400;
    p.Font.Italic = FFont.italic();
    p.Font.Underline = FFont.underline();
    p.Font.StrikeOut = FFont.strikeOut();

    auto text = [&fm, &p](const QString &s, const QPoint &at) {
        TPictureItem t;
        t.Kind = TPictureItem::Text;
        t.Str = s;
        t.At = at;
        for (QChar c : s)
            t.Advances.append(fm.horizontalAdvance(c));
        p.Items.append(t);
    };
    int y = 4;
    for (const QString &line : FTitle) {
        text(line, QPoint((size.width() - fm.horizontalAdvance(line)) / 2, y));
        y += fm.height();
    }

    const TLayout l = Layout(size);
    for (int i = 0; i < Series1.Count(); ++i) {
        auto [start, span] = l.Angles.at(i);
        if (span <= 0)
            continue;
        // Metafiles give a pie by the points where its radials meet the ellipse: when both fall on
        // one pixel, GDI and libwmf draw the whole ellipse. Such a slice is too thin to show, or
        // (its rest too thin) the whole pie.
        if (span < FullCircle
            && Metafile::RadialPoint(l.Pie, start) == Metafile::RadialPoint(l.Pie, start + span)) {
            if (2 * span < FullCircle)
                continue;
            span = FullCircle;
        }
        TPictureItem pie;
        pie.Kind = TPictureItem::Pie;
        pie.Box = l.Pie;
        pie.StartAngle = start;
        pie.SpanAngle = span;
        pie.Fill = Series1.Slices.at(i).Colour;
        p.Items.append(pie);
    }
    const QPointF centre = QRectF(l.Pie).center();
    const double r = l.Pie.width() / 2.0;
    for (int i = 0; i < Series1.Count(); ++i) {
        const TPieSlice &s = Series1.Slices.at(i);
        const auto [start, span] = l.Angles.at(i);
        if (span <= 0 || s.Label.trimmed().isEmpty())
            continue;
        const double a = (start + span / 2.0) / 16.0 * std::numbers::pi / 180.0;
        const double c = std::cos(a), sn = std::sin(a);
        TPictureItem line;
        line.Kind = TPictureItem::Line;
        line.From = QPoint(int(std::lround(centre.x() + r * c)), int(std::lround(centre.y() - r * sn)));
        line.To = QPoint(int(std::lround(centre.x() + (r + LeaderLength) * c)),
                         int(std::lround(centre.y() - (r + LeaderLength) * sn)));
        p.Items.append(line);
        const int w = fm.horizontalAdvance(s.Label);
        const int x = c >= 0 ? line.To.x() + 2 : line.To.x() - 2 - w;
        const int ty = sn >= 0 ? line.To.y() - fm.height() + fm.height() / 3 : line.To.y() - fm.height() / 3;
        text(s.Label, QPoint(x, ty));
    }
    return p;
}

void TPieChart::Render(const TPicture &picture, QPainter &painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillRect(QRect(QPoint(0, 0), picture.Size), ColorRefToQColor(picture.Background));
    QFont font(picture.Font.Name);
    font.setPixelSize(qMax(1, picture.Font.PixelHeight));
    font.setBold(picture.Font.Weight >= 600);
    font.setItalic(picture.Font.Italic);
    font.setUnderline(picture.Font.Underline);
    font.setStrikeOut(picture.Font.StrikeOut);
    painter.setFont(font);
    for (const TPictureItem &item : picture.Items) {
        painter.setPen(item.NoPen ? QPen(Qt::NoPen) : QPen(ColorRefToQColor(item.Pen)));
        painter.setBrush(item.NoFill ? QBrush(Qt::NoBrush) : QBrush(ColorRefToQColor(item.Fill)));
        switch (item.Kind) {
        case TPictureItem::Rectangle:
            painter.drawRect(item.Box);
            break;
        case TPictureItem::Pie:
            painter.drawPie(item.Box, item.StartAngle, item.SpanAngle);
            break;
        case TPictureItem::Line:
            painter.drawLine(item.From, item.To);
            break;
        case TPictureItem::Text:
            painter.drawText(QPoint(item.At.x(), item.At.y() + painter.fontMetrics().ascent()), item.Str);
            break;
        }
    }
    painter.restore();
}

int TPieChart::SliceAt(const QPoint &pos) const
{
    const TLayout l = Layout(size());
    const QPointF centre = QRectF(l.Pie).center();
    const double dx = pos.x() - centre.x(), dy = centre.y() - pos.y();
    const double r = l.Pie.width() / 2.0;
    if (dx * dx + dy * dy > r * r)
        return -1;
    double deg = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
    if (deg < 0)
        deg += 360;
    const double a16 = deg * 16;
    for (int i = 0; i < l.Angles.size(); ++i) {
        const auto [start, span] = l.Angles.at(i);
        if (span > 0 && a16 >= start && a16 < start + span)
            return i;
    }
    return -1;
}

QSize TPieChart::PictureSize() const
{
    return width() >= 50 && height() >= 50 && testAttribute(Qt::WA_WState_Created) ? size() : QSize(400, 300);
}

void TPieChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Render(Picture(size()), painter);
}

void TPieChart::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
    emit MouseMoved(event->position().toPoint());
}

void TPieChart::mouseDoubleClickEvent(QMouseEvent *event)
{
    QWidget::mouseDoubleClickEvent(event);
    emit MouseMoved(event->position().toPoint());
    emit DoubleClicked();
}

bool TPieChart::SaveBitmap(const QString &fileName, QString *error) const
{
    const TPicture picture = Picture(PictureSize());
    QImage image(picture.Size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        Render(picture, painter);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "BMP")) {
        if (error)
            *error = QStringLiteral("The picture could not be made");
        return false;
    }
    return DurableFile::Write(fileName, bytes, error);
}

bool TPieChart::SaveEmf(const QString &fileName, QString *error) const
{
    return DurableFile::Write(fileName, Metafile::WriteEmf(Picture(PictureSize())), error);
}

bool TPieChart::SaveWmf(const QString &fileName, int codePage, QString *error) const
{
    return DurableFile::Write(fileName, Metafile::WriteWmf(Picture(PictureSize()), codePage), error);
}

bool TPieChart::Print(QPrinter &printer) const
{
    const TPicture picture = Picture(PictureSize());
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const double scale = qMin(page.width() / picture.Size.width(), page.height() / picture.Size.height());
    painter.translate((page.width() - picture.Size.width() * scale) / 2, 0);
    painter.scale(scale, scale);
    Render(picture, painter);
    return painter.end();
}
