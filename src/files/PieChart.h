// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TPieChart, a titled pie with per-slice colours and labels: painting, hit-testing, BMP/EMF/WMF, printing.
//
// The chart lays itself out as a TPicture (Metafile.h) and draws that one picture everywhere: on
// screen, into a bitmap, into the metafile writers and on a printer, so the saved files show what
// the window shows.
#pragma once

#include "files/Metafile.h"

#include <QList>
#include <QStringList>
#include <QWidget>

class QPainter;
class QPrinter;

struct TPieSlice {
    double Value = 0;
    QString Label;            // drawn beside the slice; blank: none
    quint32 Colour = 0xFFFFFF;  // COLORREF 0x00BBGGRR
};

// The pie series: the slices in order, counter-clockwise from three o'clock.
class TPieSeries
{
public:
    void Clear() { Slices.clear(); }
    void Add(double value, const QString &label, quint32 colour) { Slices.append({value, label, colour}); }
    int Count() const { return int(Slices.size()); }
    QList<TPieSlice> Slices;
};

class TPieChart : public QWidget
{
    Q_OBJECT
    // The title's lines (what a language file sets through Title.Text.CommaText).
    Q_PROPERTY(QStringList TitleLines READ TitleLines WRITE SetTitleLines)
public:
    explicit TPieChart(QWidget *parent = nullptr);

    TPieSeries Series1;

    QStringList TitleLines() const { return FTitle; }
    void SetTitleLines(const QStringList &lines);
    void SetTitle(const QString &title) { SetTitleLines({title}); }
    // Font of the title and the slice labels.
    void SetChartFont(const QFont &font);
    // Call after changing Series1.
    void Changed();

    // Start and span of each slice in 16ths of a degree. Starts are rounded from the running sum,
    // so the spans add up to the whole circle (5760) whenever the total is above zero. A total of
    // zero gives empty slices.
    static QList<QPair<int, int>> SliceAngles(const QList<double> &values);

    // The slice under a point of the widget, -1 for none.
    int SliceAt(const QPoint &pos) const;

    // Slices too thin to span a pixel are left out; the ground is never a slice's colour.
    TPicture Picture(const QSize &size) const;
    static void Render(const TPicture &picture, QPainter &painter);

    // The chart at its current size (or 400 x 300 when not laid out). False with *error when the
    // file cannot be written; an old file is then left as it was.
    bool SaveBitmap(const QString &fileName, QString *error) const;
    bool SaveEmf(const QString &fileName, QString *error) const;
    bool SaveWmf(const QString &fileName, int codePage, QString *error) const;
    // Scaled into the page; false when the printer cannot start.
    bool Print(QPrinter &printer) const;

signals:
    void MouseMoved(const QPoint &pos);
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    struct TLayout {
        QRect Pie;
        QList<QPair<int, int>> Angles;
    };
    TLayout Layout(const QSize &size) const;
    QSize PictureSize() const;
    QStringList FTitle;
    QFont FFont;
};

// COLORREF (0x00BBGGRR) to a QColor and back.
QColor ColorRefToQColor(quint32 colour);
