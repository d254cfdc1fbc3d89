// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the space-usage window offscreen: choose a folder, scan, read the list and the pie, move, save, print.
#include "files/Charts.h"

#include "DeepTree.h"

#include "files/FolderTree.h"
#include "files/PieChart.h"
#include "platform/IniFile.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/MessageBoxes.h"
#include "support/MessageBoxCatcher.h"
#include "shell/Settings.h"
#include "support/PrefixBuilder.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QtEndian>

#include <gtest/gtest.h>

using TestSupport::TPrefixBuilder;

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QStringList RowNames(const TKaavioIkkuna &w)
{
    QStringList names;
    for (const TKaavioRow &r : w.Model()->Rows)
        names << r.Name;
    return names;
}

const TKaavioRow *Row(const TKaavioIkkuna &w, const QString &name)
{
    for (const TKaavioRow &r : w.Model()->Rows)
        if (r.Name == name)
            return &r;
    return nullptr;
}

int RowIndex(const TKaavioIkkuna &w, const QString &name)
{
    for (int i = 0; i < w.Model()->Rows.size(); ++i)
        if (w.Model()->Rows.at(i).Name == name)
            return i;
    return -1;
}

void DoubleClickRow(TKaavioIkkuna &w, const QString &name)
{
    const int row = RowIndex(w, name);
    ASSERT_GE(row, 0) << name.toStdString();
    const QModelIndex index = w.Model()->index(row, 1);
    w.Lista->setCurrentIndex(index);
    const QRect rect = w.Lista->visualRect(index);
    w.Lista->scrollTo(index);
    QTest::mouseClick(w.Lista->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(w.Lista->viewport(), Qt::LeftButton, {}, rect.center());
}

// A point of the chart inside slice i, found by the chart's own hit test.
QPoint PointInSlice(const TPieChart &chart, int slice)
{
    for (int y = 0; y < chart.height(); y += 2)
        for (int x = 0; x < chart.width(); x += 2)
            if (chart.SliceAt(QPoint(x, y)) == slice)
                return QPoint(x, y);
    return QPoint(-1, -1);
}

class SpaceUsageWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        FB.AddFile("C:\\data\\a.bin", QByteArray(1536, 'a'));
        FB.AddFile("C:\\data\\b.txt", QByteArray(100, 'b'));
        FB.AddFile("C:\\data\\sub\\c.dat", QByteArray(10, 'c'));
        FB.AddFolder("C:\\data\\empty");
        // A linked folder is no part of the tree.
        QFile::link(FB.HostPath("C:\\data\\sub"), FB.HostPath("C:\\data\\again"));
        FB.MakeCurrent();
        ASSERT_TRUE(FProgram.isValid());
        FHost.ProgramFolder = FProgram.path() + "/";
        FHost.Settings = &FSettings;
        FHost.Closed = [this] { ++FClosed; };
    }

    std::unique_ptr<TKaavioIkkuna> Open()
    {
        auto w = std::make_unique<TKaavioIkkuna>(nullptr, FHost);
        w->resize(800, 600);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        QCoreApplication::processEvents();  // the first activation, which the showing posted
        return w;
    }

    void Scan(TKaavioIkkuna &w, const QString &folder)
    {
        ASSERT_TRUE(w.Hakemisto->SetPath(folder));
        w.btnFind->click();  // the scan runs inside the click
        ASSERT_FALSE(w.Scanning());
    }

    TPrefixBuilder FB;
    QTemporaryDir FProgram;
    TSettings FSettings;
    TKaavioHost FHost;
    int FClosed = 0;
};

TEST_F(SpaceUsageWindow, ScanListsTheFolderAndItsTotals)
{
    auto w = Open();
    Scan(*w, "C:\\data");
    EXPECT_EQ(w->Path(), "C:\\data\\");
    EXPECT_EQ(w->CurrentList(), w->RootList());
    QStringList names = RowNames(*w);
    names.sort();
    EXPECT_EQ(names, QStringList({"\\empty", "\\sub", "a.bin", "b.txt"}));
    EXPECT_EQ(Row(*w, "a.bin")->Caption, "1,536");
    EXPECT_EQ(Row(*w, "\\sub")->Caption, " 10");
    EXPECT_EQ(Row(*w, "\\empty")->Caption, "  0");
    EXPECT_EQ(w->PanelText(0), "Bytes: 1,646");
    EXPECT_EQ(w->PanelText(1), "Files: 3");
    EXPECT_EQ(w->PanelText(2), "Folders: 2");
    EXPECT_EQ(w->PanelText(3), "C:\\data\\...");
    EXPECT_EQ(w->windowTitle(), "C:\\data\\ - Space usage");
    EXPECT_EQ(w->PathLabel->text(), "Max path: 17");
    EXPECT_EQ(w->PathLabel->toolTip(), "Maximum characters in file name was 17 characters, it was C:\\data\\sub\\c.dat");
    EXPECT_FALSE(w->btnUp->isEnabled());
    EXPECT_TRUE(w->btnFind->isEnabled());
    EXPECT_FALSE(w->btnStop->isEnabled());
    // Sorted by size, ascending.
    EXPECT_EQ(w->Model()->Rows.constFirst().Name, "\\empty");
    EXPECT_EQ(w->Model()->Rows.constLast().Name, "a.bin");
    EXPECT_EQ(w->Model()->data(w->Model()->index(0, 0), Qt::BackgroundRole).value<QColor>(), QColor(0xF7F7F7));
    EXPECT_FALSE(w->Model()->data(w->Model()->index(0, 1), Qt::BackgroundRole).isValid());
    // The list's hint: the selected row's caption and name, from the caption's first blank on.
    w->Lista->setCurrentIndex(w->Model()->index(RowIndex(*w, "b.txt"), 0));
    EXPECT_EQ(w->Lista->toolTip(), "b.txt");
    w->Lista->setCurrentIndex(w->Model()->index(RowIndex(*w, "\\sub"), 0));
    EXPECT_EQ(w->Lista->toolTip(), "10  \\sub");
}

TEST_F(SpaceUsageWindow, FoldersPastTheHostsPathLimitAreReported)
{
    const QString deep = FB.HostPath("C:\\data\\sub");
    const DeepTree::TRemoveAtEnd cleanup{deep};
    ASSERT_TRUE(DeepTree::Make(deep, QByteArray(200, 'n'), 25, 10));
    TestSupport::TBoxes boxes;
    auto w = Open();
    Scan(*w, "C:\\data");
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_EQ(boxes.Kinds.constFirst(), TMessageKind::Information);
    EXPECT_TRUE(boxes.Shown.constFirst().startsWith("1 folder(s) could not be read and count with what could be read "
                                                    "of them. The first is C:\\data\\sub\\nnn"))
        << boxes.Shown.constFirst().toStdString();
    EXPECT_TRUE(boxes.Shown.constFirst().endsWith(": its path is longer than the system allows"))
        << boxes.Shown.constFirst().toStdString();
    EXPECT_EQ(w->RootList()->SkippedFolders.size(), 1);
}

TEST_F(SpaceUsageWindow, MovingDownAndUpWithoutScanning)
{
    auto w = Open();
    Scan(*w, "C:\\data");
    TFolderList *root = w->CurrentList();
    // Files made after the scan stay unseen: moving in the tree reads no disk.
    FB.AddFile("C:\\data\\sub\\late.txt", "x");

    DoubleClickRow(*w, "\\sub");
    ASSERT_NE(w->CurrentList(), root);
    EXPECT_EQ(w->CurrentList()->Path, "C:\\data\\sub\\");
    EXPECT_EQ(RowNames(*w).size(), 2);  // ".." and c.dat
    EXPECT_TRUE(w->btnUp->isEnabled());
    EXPECT_EQ(w->windowTitle(), "C:\\data\\sub\\ - Space usage");

    DoubleClickRow(*w, "c.dat");  // a file row shows the folder above
    EXPECT_EQ(w->CurrentList(), root);

    DoubleClickRow(*w, "\\sub");
    DoubleClickRow(*w, "..");
    EXPECT_EQ(w->CurrentList(), root);

    DoubleClickRow(*w, "\\sub");
    w->btnUp->click();
    EXPECT_EQ(w->CurrentList(), root);
    EXPECT_FALSE(w->btnUp->isEnabled());
    w->btnUpClick();  // Up at the root does nothing
    EXPECT_EQ(w->CurrentList(), root);

    DoubleClickRow(*w, "\\empty");
    EXPECT_EQ(RowNames(*w), QStringList({".."}));
}

TEST_F(SpaceUsageWindow, UnitsAndValueTexts)
{
    const struct {
        const char *name;
        TExtended value;
        int unit;
        const char *text;
    } rows[] = {
        {"bytes padded", 7, 0, "  7"}, {"KB", 1536, 1, "1.5"}, {"MB", 1048576, 2, "1.000"},
        {"GB five decimals", 1073741824, 3, "1.00000"}, {"count", 7, 4, "  7"}, {"large bytes", 5368709120.0L, 0, "5,368,709,120"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(TKaavioIkkuna::ValueText(r.value, r.unit), r.text);
    }

    auto w = Open();
    Scan(*w, "C:\\data");
    w->Units->setCurrentIndex(1);
    EXPECT_EQ(Row(*w, "a.bin")->Caption, "1.5");
    w->Units->setCurrentIndex(4);
    EXPECT_EQ(Row(*w, "\\sub")->Caption, "  1");
    EXPECT_EQ(Row(*w, "a.bin")->Caption, "  1");
}

TEST_F(SpaceUsageWindow, SliceLabelsColoursAndPercentages)
{
    // 5 % of the whole is unlabelled, 6 % labelled; nine entries bring white round again.
    FB.AddFile("C:\\pct\\five", QByteArray(5, 'x'));
    FB.AddFile("C:\\pct\\rest", QByteArray(95, 'x'));
    FB.AddFile("C:\\pct6\\six", QByteArray(6, 'x'));
    FB.AddFile("C:\\pct6\\rest", QByteArray(94, 'x'));
    for (int i = 1; i <= 9; ++i)
        FB.AddFile(QString("C:\\nine\\f%1").arg(i), QByteArray(i, 'x'));
    auto w = Open();

    Scan(*w, "C:\\pct");
    ASSERT_EQ(w->Kaavio->Series1.Count(), 2);
    EXPECT_EQ(w->Kaavio->Series1.Slices.at(0).Label, " ");
    EXPECT_EQ(w->Kaavio->Series1.Slices.at(1).Label, "rest 95%");

    Scan(*w, "C:\\pct6");
    EXPECT_EQ(w->Kaavio->Series1.Slices.at(0).Label, "rest 94%");
    EXPECT_EQ(w->Kaavio->Series1.Slices.at(1).Label, "six 6%");

    Scan(*w, "C:\\nine");
    EXPECT_EQ(w->SliceColours(), QStringList({"clWhite", "clAqua", "clGreen", "clFuchsia", "clBlue", "clYellow", "clLime",
                                              "clRed", "clWhite"}));
    int spans = 0;
    for (const auto &[start, span] : TPieChart::SliceAngles({1, 2, 3, 4, 5, 6, 7, 8, 9}))
        spans += span;
    EXPECT_EQ(spans, 5760);

    // Hovering a slice names it with its share; double-clicking a folder's slice opens it.
    Scan(*w, "C:\\data");
    const int subSlice = w->CurrentList()->IndexOf(Row(*w, "\\sub")->Data);
    const QPoint inSub = PointInSlice(*w->Kaavio, subSlice);
    ASSERT_GE(inSub.x(), 0) << "the slice of \\sub is too thin to find";
    QTest::mouseMove(w->Kaavio, inSub);
    w->KaavioKuvaMouseMove(inSub);
    EXPECT_EQ(w->ItemiLabel->text(), "\\sub 10 (1%)");
    QTest::mouseDClick(w->Kaavio, Qt::LeftButton, {}, inSub);
    EXPECT_EQ(w->CurrentList()->Path, "C:\\data\\sub\\");
    w->KaavioKuvaMouseMove(QPoint(0, 0));
    EXPECT_EQ(w->ItemiLabel->text(), "");
}

TEST_F(SpaceUsageWindow, EmptyFolderHasNoSharesToDivide)
{
    FB.AddFolder("C:\\void\\inner");
    auto w = Open();
    Scan(*w, "C:\\void");
    ASSERT_EQ(w->Kaavio->Series1.Count(), 1);
    EXPECT_EQ(w->Kaavio->Series1.Slices.at(0).Label, " ");
    for (const auto &[start, span] : TPieChart::SliceAngles({0}))
        EXPECT_EQ(span, 0);
    w->Units->setCurrentIndex(4);  // Count in a folder without files
    EXPECT_EQ(w->Kaavio->Series1.Slices.at(0).Label, " ");
}

TEST_F(SpaceUsageWindow, DriveRootShowsItsFreeSpace)
{
    QTemporaryDir drive;
    QFile f(drive.path() + "/one.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("12345");
    f.close();
    FB.Link('d', drive.path());
    FB.MakeCurrent();
    auto w = Open();
    w->Hakemisto->FillDrives();
    Scan(*w, "D:\\");
    TFolderList *root = w->RootList();
    ASSERT_EQ(root->Count(), 2);
    EXPECT_EQ(root->Name(0), "(D: free space)");
    EXPECT_EQ(w->SliceColours().value(0), "clNavy");
    // The pie names the drive as the list does.
    ASSERT_FALSE(w->Kaavio->Series1.Slices.isEmpty());
    EXPECT_TRUE(w->Kaavio->Series1.Slices[0].Label.startsWith("(D: free space) "))
        << w->Kaavio->Series1.Slices[0].Label.toStdString();
    EXPECT_EQ(root->TotalSize, 5);
    EXPECT_EQ(root->FileCount, 1);
    EXPECT_EQ(w->PanelText(0), "Bytes: 5");
    EXPECT_EQ(w->PanelText(1), "Files: 1");
    w->Units->setCurrentIndex(4);
    EXPECT_EQ(w->ValueTexts().value(0), "1");  // counted as one file in the pie and the list
    EXPECT_EQ(Row(*w, "(D: free space)")->Caption, "  1");
}

TEST_F(SpaceUsageWindow, SharesBelowADriveRootLeaveTheFreeSpaceOut)
{
    QTemporaryDir drive;
    QDir(drive.path()).mkpath("inner");
    for (const auto &[name, size] : {std::pair{"/inner/small", 5}, std::pair{"/inner/large", 15}}) {
        QFile f(drive.path() + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    }
    FB.Link('d', drive.path());
    FB.MakeCurrent();
    auto w = Open();
    w->Hakemisto->FillDrives();
    Scan(*w, "D:\\");
    DoubleClickRow(*w, "\\inner");
    ASSERT_EQ(w->CurrentList()->Path, "D:\\inner\\");
    const int large = w->CurrentList()->IndexOf(Row(*w, "large")->Data);
    const QPoint at = PointInSlice(*w->Kaavio, large);
    ASSERT_GE(at.x(), 0);
    w->KaavioKuvaMouseMove(at);
    EXPECT_EQ(w->ItemiLabel->text(), "large 15 (75%)");
}

TEST_F(SpaceUsageWindow, DoubleClickOnASliceOpensThatEntry)
{
    // Row texts that merely contain the slice's name ("\ab" holds "b") are other entries.
    FB.AddFile("C:\\dbl\\b", QByteArray(50, 'x'));
    FB.AddFile("C:\\dbl\\ab\\inside", QByteArray(50, 'x'));
    auto w = Open();
    Scan(*w, "C:\\dbl");
    w->ListaColumnClick(1);  // by name: "\ab" comes first
    ASSERT_EQ(RowNames(*w).constFirst(), "\\ab");
    TFolderList *root = w->CurrentList();
    const QPoint onB = PointInSlice(*w->Kaavio, root->IndexOf(Row(*w, "b")->Data));
    ASSERT_GE(onB.x(), 0);
    QTest::mouseDClick(w->Kaavio, Qt::LeftButton, {}, onB);
    EXPECT_EQ(w->CurrentList(), root);  // a file at the root has no folder above to show
    const QPoint onAb = PointInSlice(*w->Kaavio, root->IndexOf(Row(*w, "\\ab")->Data));
    QTest::mouseDClick(w->Kaavio, Qt::LeftButton, {}, onAb);
    EXPECT_EQ(w->CurrentList()->Path, "C:\\dbl\\ab\\");
}

TEST_F(SpaceUsageWindow, SortByEitherColumn)
{
    auto w = Open();
    Scan(*w, "C:\\data");
    QTest::mouseClick(w->Lista->header()->viewport(), Qt::LeftButton, {},
                      QPoint(w->Lista->header()->sectionViewportPosition(1) + 5, 5));
    EXPECT_EQ(w->SortColumn(), 1);
    EXPECT_TRUE(w->SortForward());
    EXPECT_EQ(RowNames(*w), QStringList({"\\empty", "\\sub", "a.bin", "b.txt"}));
    w->ListaColumnClick(1);
    EXPECT_FALSE(w->SortForward());
    EXPECT_EQ(RowNames(*w), QStringList({"b.txt", "a.bin", "\\sub", "\\empty"}));
    w->ListaColumnClick(0);
    EXPECT_TRUE(w->SortForward());
    EXPECT_EQ(RowNames(*w).constLast(), "a.bin");
}

TEST_F(SpaceUsageWindow, ColourCodedLegend)
{
    FSettings.FChartLegendColors = true;
    auto w = Open();
    Scan(*w, "C:\\data");
    for (int i = 0; i < w->Model()->Rows.size(); ++i) {
        const TKaavioRow &r = w->Model()->Rows.at(i);
        SCOPED_TRACE(r.Name.toStdString());
        TColor expected = Colors::clBlack;
        ASSERT_TRUE(StringToColor(r.Colour, &expected));
        if (expected == Colors::clWhite)
            expected = Colors::clBlack;  // white text would vanish
        EXPECT_EQ(w->Model()->data(w->Model()->index(i, 1), Qt::ForegroundRole).value<QColor>(),
                  ColorRefToQColor(quint32(expected)));
    }
    EXPECT_EQ(Row(*w, "a.bin")->Colour, w->SliceColours().at(w->CurrentList()->IndexOf(Row(*w, "a.bin")->Data)));
}

TEST_F(SpaceUsageWindow, StopDuringTheScanLeavesAPartialTree)
{
    auto w = Open();
    ASSERT_TRUE(w->Hakemisto->SetPath("C:\\data"));
    bool stopEnabled = false;
    QTimer::singleShot(0, w.get(), [&] {
        stopEnabled = w->btnStop->isEnabled() && !w->btnFind->isEnabled() && !w->Hakemisto->isEnabled();
        EXPECT_EQ(RowNames(*w), QStringList({"Please wait, loading list..."}));
        EXPECT_EQ(w->PanelText(0), "Scanning...");
        w->Units->setCurrentIndex(1);  // no list to show yet: nothing may point into the growing tree
        w->btnStop->click();
    });
    w->btnFind->click();
    EXPECT_TRUE(stopEnabled);
    EXPECT_FALSE(w->Scanning());
    EXPECT_EQ(w->RootList()->Count(), 1);  // the first entry, then the stop
    EXPECT_TRUE(w->btnFind->isEnabled());
    EXPECT_FALSE(w->btnStop->isEnabled());

    // A new scan after moving down releases the old tree; the new one shows in the new unit.
    Scan(*w, "C:\\data");
    DoubleClickRow(*w, "\\sub");
    QTimer::singleShot(0, w.get(), [&] { w->Units->setCurrentIndex(0); });
    Scan(*w, "C:\\data");
    EXPECT_EQ(w->CurrentList(), w->RootList());
    EXPECT_EQ(Row(*w, "a.bin")->Caption, "1,536");
}

TEST_F(SpaceUsageWindow, ClosingOrDestroyingDuringTheScan)
{
    auto w = Open();
    ASSERT_TRUE(w->Hakemisto->SetPath("C:\\data"));
    QTimer::singleShot(0, w.get(), [&] { w->close(); });  // Stop is pressed, then the window closes
    w->btnFind->click();
    EXPECT_FALSE(w->Scanning());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(FClosed, 1);
    EXPECT_LT(w->RootList()->Count(), 4);

    // Deleted from inside the scan's event processing: the walk unwinds on its own tree.
    FB.AddFile("C:\\data\\sub\\more\\m.txt", "m");
    w = Open();
    ASSERT_TRUE(w->Hakemisto->SetPath("C:\\data"));
    QTimer::singleShot(0, [&] { w.reset(); });
    TKaavioIkkuna *raw = w.get();
    raw->btnFindClick();
    EXPECT_EQ(w, nullptr);
}

TEST_F(SpaceUsageWindow, SaveTheChartByExtension)
{
    QTemporaryDir out;
    auto w = Open();
    Scan(*w, "C:\\data");
    QString target;
    QStringList titlesSeen;
    w->SetSaveDialog([&](TKaavioIkkuna *) { return target; });

    target = out.path() + "/chart.BMP";
    w->btnSave->click();
    QImage image(target, "BMP");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), w->Kaavio->size());
    // The title names the folder while saving, and is the caption again afterwards.
    EXPECT_EQ(w->Kaavio->TitleLines(), QStringList({"Space usage"}));
    // Somewhere a slice's colour: aqua or green (the white one is ".." or the first entry).
    bool coloured = false;
    for (int y = 0; y < image.height() && !coloured; y += 3)
        for (int x = 0; x < image.width() && !coloured; x += 3)
            coloured = image.pixelColor(x, y) == QColor(0, 255, 255) || image.pixelColor(x, y) == QColor(0, 128, 0);
    EXPECT_TRUE(coloured);

    target = out.path() + "/chart.emf";
    w->btnSave->click();
    QFile emf(target);
    ASSERT_TRUE(emf.open(QIODevice::ReadOnly));
    const QByteArray e = emf.readAll();
    ASSERT_GT(e.size(), 100);
    EXPECT_EQ(qFromLittleEndian<quint32>(e.constData()), 1u);
    EXPECT_EQ(qFromLittleEndian<quint32>(e.constData() + 40), 0x464D4520u);
    EXPECT_EQ(qFromLittleEndian<quint32>(e.constData() + 48), quint32(e.size()));
    // The title text went into the picture: UTF-16 "C:\data\ Space usage".
    const QString title = "C:\\data\\ Space usage";
    EXPECT_TRUE(e.contains(QByteArray(reinterpret_cast<const char *>(title.utf16()), title.size() * 2)));

    target = out.path() + "/chart.wmf";
    w->btnSave->click();
    QFile wmf(target);
    ASSERT_TRUE(wmf.open(QIODevice::ReadOnly));
    const QByteArray m = wmf.readAll();
    EXPECT_EQ(qFromLittleEndian<quint32>(m.constData()), 0x9AC6CDD7u);
    EXPECT_TRUE(m.contains("C:\\data\\ Space usage"));

    target = out.path() + "/chart.png";
    w->btnSave->click();
    EXPECT_FALSE(QFile::exists(target));

    // A file that cannot be written is reported.
    QStringList errors;
    MessageBoxes::SetHandler([&errors](QWidget *, TMessageKind kind, const QString &text) {
        if (kind == TMessageKind::Error)
            errors << text;
        return true;
    });
    target = out.path() + "/missing/chart.bmp";
    w->btnSave->click();
    MessageBoxes::SetHandler({});
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith("Cannot create file \"" + target + "\"."));

    const struct {
        int filter;
        const char *ext;
    } filters[] = {{1, "bmp"}, {2, "emf"}, {3, "wmf"}, {4, "bmp"}};
    for (const auto &f : filters) {
        w->TallennaTypeChange(f.filter);
        EXPECT_EQ(w->DefaultExtension(), f.ext);
    }
}

TEST_F(SpaceUsageWindow, PrintToPdf)
{
    QTemporaryDir out;
    auto w = Open();
    Scan(*w, "C:\\data");
    const QString pdf = out.path() + "/chart.pdf";
    QString docName;
    w->SetPrintDialog([&](QWidget *, QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    });
    w->btnPrint->click();
    EXPECT_GT(QFileInfo(pdf).size(), 500);
    EXPECT_EQ(w->Kaavio->TitleLines(), QStringList({"Space usage"}));
}

TEST_F(SpaceUsageWindow, SettingsAndClosing)
{
    {
        auto w = Open();
        Scan(*w, "C:\\data");
        w->Units->setCurrentIndex(2);
        w->ListaColumnClick(1);
        w->ListaColumnClick(1);
        w->btnClose->click();
        EXPECT_EQ(FClosed, 1);
        EXPECT_FALSE(w->isVisible());
    }
    const TIniFile ini(FProgram.path() + "/Options.ini");
    EXPECT_EQ(ini.ReadInteger("Space usage", "Units", -1), 2);
    EXPECT_EQ(ini.ReadInteger("Space usage", "Sort by column", -1), 1);
    EXPECT_EQ(ini.ReadBool("Space usage", "Sort forward", true), false);
    auto again = Open();
    EXPECT_EQ(again->Units->currentIndex(), 2);
    EXPECT_EQ(again->SortColumn(), 1);
    EXPECT_FALSE(again->SortForward());
}

TEST_F(SpaceUsageWindow, AutomaticScanOnShowAndOnSelection)
{
    FSettings.FChartAutoScan = true;
    FB.AddFile("C:\\other\\x.txt", "xyz");
    auto w = Open();  // the tree starts at C:\, scanned at the first activation
    EXPECT_EQ(w->Path(), "C:\\");
    ASSERT_TRUE(w->Hakemisto->SetPath("C:\\other"));
    EXPECT_EQ(w->Path(), "C:\\other\\");
    EXPECT_EQ(RowNames(*w), QStringList({"x.txt"}));
}

TEST_F(SpaceUsageWindow, TreeRootStaysOpenAndDriveComboFollows)
{
    // As the profile's Desktop links into the home: offered as the link it is, with where it leads.
    const QString outside = FB.Folder() + "/home";
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QFile::link(outside, FB.HostPath("C:\\data\\Desktop")));
    auto w = Open();
    QTreeWidgetItem *root = w->Hakemisto->RootItem();
    ASSERT_TRUE(root);
    w->Hakemisto->collapseItem(root);
    EXPECT_TRUE(root->isExpanded());
    ASSERT_TRUE(w->Hakemisto->SetPath("c:\\DATA\\Sub"));
    EXPECT_EQ(w->Hakemisto->SelectedPath(), "C:\\data\\sub");
    EXPECT_EQ(w->Asema->currentText(), "C:\\");
    EXPECT_FALSE(w->Hakemisto->SetPath("C:\\data\\again"));  // the linked folder is not offered
    EXPECT_FALSE(w->Hakemisto->SetPath("C:\\nothere"));
    EXPECT_EQ(w->Hakemisto->SelectedPath(), "C:\\data\\sub");
    ASSERT_TRUE(w->Hakemisto->SetPath("C:\\data\\Desktop"));
    EXPECT_EQ(w->Hakemisto->currentItem()->text(0), "Desktop \u2192 " + QFileInfo(outside).canonicalFilePath());
}

TEST_F(SpaceUsageWindow, TranslatedOnFirstShowKeepingTheUnit)
{
    ASSERT_TRUE(QDir(FProgram.path()).mkpath("Languages"));
    QFile f(FProgram.path() + "/Languages/Suomi.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[KaavioIkkuna]\r\n"
            "KaavioIkkuna.Caption=Levytila\r\n"
            "KaavioIkkuna.Units.items[0]=Tavut\r\n"
            "KaavioIkkuna.Kaavio.Title.Text.CommaText=Kaavio\r\n"
            "[Misc]\r\n"
            "M110KI=Tavuja: %1.n\r\n");
    f.close();
    ASSERT_TRUE(OpenLanguageFile(FProgram.path(), "Suomi"));
    {
        TIniFile ini(FProgram.path() + "/Options.ini");
        ini.WriteInteger("Space usage", "Units", 1);
        ini.UpdateFile();
    }
    auto w = Open();
    EXPECT_EQ(w->Units->currentIndex(), 1);
    EXPECT_EQ(w->Units->itemText(0), "Tavut");
    EXPECT_EQ(w->Kaavio->TitleLines(), QStringList({"Kaavio"}));
    Scan(*w, "C:\\data");
    EXPECT_EQ(w->windowTitle(), "C:\\data\\ - Levytila");
    EXPECT_EQ(w->PanelText(0), "Tavuja: 1,646");
    CloseLanguageFile();
}

}  // namespace
