// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the pie chart: slice angles that add up to the circle, hit-testing, labels and the bitmap.
#include "files/PieChart.h"
#include "support/SmallDisk.h"

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

// The share of the pie's pixels that each colour fills (only pixels of exactly one of colours
// count), and the colour in the corner.
struct TColourShares {
    QList<double> Shares;
    QColor Corner;
};

TColourShares SharesOf(const QImage &image, const QList<QColor> &colours)
{
    TColourShares result;
    QList<qint64> counts(colours.size(), 0);
    qint64 total = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const qsizetype i = colours.indexOf(image.pixelColor(x, y).toRgb());
            if (i >= 0) {
                ++counts[i];
                ++total;
            }
        }
    for (qint64 c : counts)
        result.Shares << (total ? double(c) / double(total) : 0);
    result.Corner = image.pixelColor(1, 1).toRgb();
    return result;
}

bool Convert(const QString &program, const QStringList &args, std::string *why)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    *why = (program + ' ' + args.join(' ')).toStdString() + ": " + p.readAll().toStdString();
    return ok;
}

TEST(PieChart, SliceAnglesRoundToTheWholeCircle)
{
    using TAngles = QList<QPair<int, int>>;
    const struct {
        const char *name;
        QList<double> values;
        TAngles expected;  // start, span in 16ths of degrees
    } rows[] = {
        {"one slice", {42}, {{0, 5760}}},
        {"halves", {1, 1}, {{0, 2880}, {2880, 2880}}},
        {"thirds", {1, 1, 1}, {{0, 1920}, {1920, 1920}, {3840, 1920}}},
        {"sevenths round from the running sum", {1, 1, 1, 1, 1, 1, 1},
         {{0, 823}, {823, 823}, {1646, 823}, {2469, 822}, {3291, 823}, {4114, 823}, {4937, 823}}},
        {"zero between", {1, 0, 3}, {{0, 1440}, {1440, 0}, {1440, 4320}}},
        {"all zero", {0, 0}, {{0, 0}, {0, 0}}},
        {"tiny next to huge", {1, 1e12}, {{0, 0}, {0, 5760}}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        const TAngles angles = TPieChart::SliceAngles(r.values);
        EXPECT_EQ(angles, r.expected);
        int sum = 0;
        for (const auto &a : angles)
            sum += a.second;
        EXPECT_EQ(sum, r.values.size() && (r.values.first() > 0 || r.values.last() > 0) ? 5760 : 0);
    }
}

TEST(PieChart, HitTestFindsTheSliceUnderThePoint)
{
    TPieChart chart;
    chart.resize(400, 300);
    chart.Series1.Add(1, "east 25%", 0x0000FF);   // 0..90 degrees: upper right
    chart.Series1.Add(3, "rest 75%", 0x00FF00);   // 90..360
    const TPicture picture = chart.Picture(chart.size());
    QRect pie;
    for (const TPictureItem &item : picture.Items)
        if (item.Kind == TPictureItem::Pie)
            pie = item.Box;
    ASSERT_FALSE(pie.isEmpty());
    const QPoint c = pie.center();
    const int r = pie.width() / 2;
    EXPECT_EQ(chart.SliceAt(c + QPoint(r / 2, -r / 2)), 0);
    EXPECT_EQ(chart.SliceAt(c + QPoint(-r / 2, -r / 2)), 1);
    EXPECT_EQ(chart.SliceAt(c + QPoint(r / 2, r / 2)), 1);
    EXPECT_EQ(chart.SliceAt(c + QPoint(r + 5, 0)), -1);
    EXPECT_EQ(chart.SliceAt(QPoint(0, 0)), -1);
}

TEST(PieChart, PictureHoldsTitleSlicesAndOnlyRealLabels)
{
    TPieChart chart;
    chart.resize(400, 300);
    chart.SetTitle("C:\\data\\ Space usage");
    chart.Series1.Add(5, " ", 0xFFFFFF);
    chart.Series1.Add(95, "rest 95%", 0xFFFF00);
    chart.Series1.Add(0, " ", 0x008000);
    const TPicture p = chart.Picture(chart.size());
    QStringList texts;
    int pies = 0, lines = 0;
    for (const TPictureItem &item : p.Items) {
        if (item.Kind == TPictureItem::Text)
            texts << item.Str;
        pies += item.Kind == TPictureItem::Pie;
        lines += item.Kind == TPictureItem::Line;
    }
    EXPECT_EQ(texts, QStringList({"C:\\data\\ Space usage", "rest 95%"}));
    EXPECT_EQ(pies, 2);  // an empty slice draws nothing
    EXPECT_EQ(lines, 1);
    for (const TPictureItem &item : p.Items) {
        if (item.Kind == TPictureItem::Text) {
            EXPECT_EQ(item.Advances.size(), item.Str.size());
        }
    }
}

TEST(PieChart, SlicesThinnerThanAPixelAreLeftOutOfThePicture)
{
    using TSpans = QList<QPair<quint32, int>>;  // colour, span in 16ths of degrees
    const struct {
        const char *name;
        QList<double> values;
        TSpans expected;
    } rows[] = {
        {"halves", {1, 1}, {{0x0000FF, 2880}, {0x00FF00, 2880}}},
        {"a sliver after the rest", {99.99, 0.01}, {{0x0000FF, 5760}}},
        {"a sliver before the rest", {0.01, 99.99}, {{0x00FF00, 5760}}},
        {"two slivers between", {50, 0.01, 0.01, 50}, {{0x0000FF, 2879}, {0xFFFFFF, 2879}}},
    };
    const quint32 colours[] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        TPieChart chart;
        chart.resize(400, 300);
        for (qsizetype i = 0; i < r.values.size(); ++i)
            chart.Series1.Add(r.values.at(i), " ", colours[i]);
        TSpans spans;
        for (const TPictureItem &item : chart.Picture(chart.size()).Items)
            if (item.Kind == TPictureItem::Pie)
                spans << qMakePair(item.Fill, item.SpanAngle);
        EXPECT_EQ(spans, r.expected);
    }
}

// A chart saved over an older picture on a full disk: the older picture stays, the reason is given.
TEST(PieChart, EachFormatOnAFullDiskKeepsTheOldPictureAndSaysWhy)
{
    TestSupport::TSmallDisk disk(QStringLiteral("512k"));
    VASKIMO_NEED_DISK(disk);
    TPieChart chart;
    chart.resize(300, 200);
    chart.Series1.Add(1, "a", 0x0000FF);
    chart.Series1.Add(2, "b", 0xFF0000);
    const struct {
        const char *Name;
        std::function<bool(const QString &, QString *)> Save;
    } formats[] = {
        {"chart.bmp", [&](const QString &f, QString *e) { return chart.SaveBitmap(f, e); }},
        {"chart.emf", [&](const QString &f, QString *e) { return chart.SaveEmf(f, e); }},
        {"chart.wmf", [&](const QString &f, QString *e) { return chart.SaveWmf(f, 1252, e); }},
    };
    for (const auto &format : formats) {
        const QString file = disk.Path() + u'/' + QLatin1String(format.Name);
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("older picture");
        old.close();
    }
    ASSERT_TRUE(disk.Fill());
    for (const auto &format : formats) {
        SCOPED_TRACE(format.Name);
        const QString file = disk.Path() + u'/' + QLatin1String(format.Name);
        QString error;
        EXPECT_FALSE(format.Save(file, &error));
        EXPECT_EQ(error, "No space left on device");
        QFile kept(file);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "older picture");
    }
}

TEST(PieChart, BitmapShowsTheSliceColours)
{
    QTemporaryDir dir;
    TPieChart chart;
    chart.resize(300, 200);
    chart.show();
    chart.Series1.Add(1, " ", 0x0000FF);  // red
    chart.Series1.Add(1, " ", 0xFF0000);  // blue
    QString error;
    const QString file = dir.path() + "/pie.bmp";
    ASSERT_TRUE(chart.SaveBitmap(file, &error)) << error.toStdString();
    const QImage image(file, "BMP");
    ASSERT_EQ(image.size(), QSize(300, 200));
    const TPicture p = chart.Picture(chart.size());
    QRect pie;
    for (const TPictureItem &item : p.Items)
        if (item.Kind == TPictureItem::Pie)
            pie = item.Box;
    const QPoint c = pie.center();
    EXPECT_EQ(image.pixelColor(c + QPoint(0, -pie.height() / 4)), QColor(255, 0, 0));  // upper half: first slice
    EXPECT_EQ(image.pixelColor(c + QPoint(0, pie.height() / 4)), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(2, 2), QColor(240, 240, 240)) << "the button face";
    EXPECT_FALSE(chart.SaveBitmap(dir.path() + "/no/such/folder/pie.bmp", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(PieChart, MetafilesReadByOtherToolsShowTheBitmapsSlices)
{
    // Read by libwmf (wmf2gd) and by libemf2svg (emf2svg-conv, drawn by librsvg's rsvg-convert).
    const QString wmf2gd = QStandardPaths::findExecutable("wmf2gd"), emf2svg = QStandardPaths::findExecutable("emf2svg-conv"),
                  rsvg = QStandardPaths::findExecutable("rsvg-convert");
    if (wmf2gd.isEmpty() || emf2svg.isEmpty() || rsvg.isEmpty())
        VASKIMO_MISSING("needs wmf2gd (libwmf-bin, with fonts-urw-base35), emf2svg-conv (emf2svg) and rsvg-convert (librsvg2-bin)");
    struct TSlice {
        double value;
        quint32 colour;
        QColor rgb;
    };
    const TSlice navy{0, 0x800000, QColor(0, 0, 128)}, white{0, 0xFFFFFF, QColor(255, 255, 255)},
        aqua{0, 0xFFFF00, QColor(0, 255, 255)}, green{0, 0x008000, QColor(0, 128, 0)}, red{0, 0x0000FF, QColor(255, 0, 0)};
    auto with = [](TSlice s, double value) {
        s.value = value;
        return s;
    };
    // libemf2svg draws every pie's arc as the shorter one: the EMF is read only where no slice
    // passes half the circle.
    const struct {
        const char *name;
        QList<TSlice> slices;
        QStringList read;
    } charts[] = {
        {"a drive root: free space, 28 % white, two slices far thinner than a pixel",
         {with(navy, 71.95), with(white, 28), with(green, 0.03), with(red, 0.02)},
         {"pie.bmp", "wmf.png"}},
        {"no slice past half", {with(navy, 45), with(white, 28), with(aqua, 26.95), with(green, 0.03), with(red, 0.02)},
         {"pie.bmp", "wmf.png", "emf.png"}},
    };
    for (const auto &c : charts) {
        SCOPED_TRACE(c.name);
        TPieChart chart;
        chart.resize(400, 300);
        QList<QColor> colours;
        QList<double> expected;
        double total = 0;
        for (const TSlice &s : c.slices)
            total += s.value;
        for (const TSlice &s : c.slices) {
            chart.Series1.Add(s.value, " ", s.colour);
            colours << s.rgb;
            expected << (s.value / total < 0.001 ? 0 : s.value / total);
        }
        QTemporaryDir dir;
        QString error;
        ASSERT_TRUE(chart.SaveBitmap(dir.filePath("pie.bmp"), &error)) << error.toStdString();
        ASSERT_TRUE(chart.SaveWmf(dir.filePath("pie.wmf"), 1252, &error)) << error.toStdString();
        ASSERT_TRUE(chart.SaveEmf(dir.filePath("pie.emf"), &error)) << error.toStdString();
        std::string why;
        ASSERT_TRUE(Convert(wmf2gd, {"-t", "png", "-o", dir.filePath("wmf.png"), dir.filePath("pie.wmf")}, &why)) << why;
        ASSERT_TRUE(Convert(emf2svg, {"-i", dir.filePath("pie.emf"), "-o", dir.filePath("emf.svg")}, &why)) << why;
        ASSERT_TRUE(Convert(rsvg, {"-o", dir.filePath("emf.png"), dir.filePath("emf.svg")}, &why)) << why;

        const TColourShares bitmap = SharesOf(QImage(dir.filePath("pie.bmp")), colours);
        for (const QString &file : c.read) {
            SCOPED_TRACE(file.toStdString());
            const QImage image(dir.filePath(file));
            ASSERT_FALSE(image.isNull());
            const TColourShares read = SharesOf(image, colours);
            EXPECT_FALSE(colours.contains(read.Corner)) << "a slice in the colour of the ground: " << read.Corner.name().toStdString();
            EXPECT_EQ(read.Corner, bitmap.Corner);
            for (qsizetype i = 0; i < colours.size(); ++i) {
                SCOPED_TRACE(colours.at(i).name().toStdString());
                EXPECT_NEAR(read.Shares.at(i), expected.at(i), 0.02);
                EXPECT_NEAR(read.Shares.at(i), bitmap.Shares.at(i), 0.02);
            }
        }
    }
}

}  // namespace
