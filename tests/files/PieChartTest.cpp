// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the pie chart: slice angles that add up to the circle, hit-testing, labels and the bitmap.
#include "files/PieChart.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

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
    EXPECT_EQ(image.pixelColor(2, 2), QColor(255, 255, 255));
    EXPECT_FALSE(chart.SaveBitmap(dir.path() + "/no/such/folder/pie.bmp", &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
