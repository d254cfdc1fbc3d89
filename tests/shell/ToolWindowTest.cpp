// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of what the tool windows share: the report-list model base, the frame and its rules.
#include "platform/IniFile.h"
#include "shell/ReportColumns.h"
#include "shell/ReportModel.h"
#include "shell/ToolWindow.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString Section = QStringLiteral("Tool");

// Rows are a count; Changed() takes the count the change left, as the registry list does.
class TCountModel : public TReportModel
{
public:
    TCountModel() : TReportModel({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}, 1) {}
    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : FShown; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        return role == Qt::BackgroundRole ? SortColumnBackground(index.column()) : QVariant();
    }
    int Pending = 0;

protected:
    void Changed() override { FShown = Pending; }

private:
    int FShown = 0;
};

// A tool window with a key of its own before the size and one between the size and the sort, as
// the duplicate and unnecessary-file finders place theirs.
class TProbeWindow : public TToolWindow
{
public:
    explicit TProbeWindow(TSearchClose searchClose = TSearchClose::Stops)
        : TToolWindow(nullptr, {.Section = Section, .SortColumn = 2, .LastSortColumn = 3, .SearchClose = searchClose})
    {
    }
    using TToolWindow::ReadSection;
    using TToolWindow::TurnSort;
    using TToolWindow::WriteSection;
    QString First = QStringLiteral("first"), Middle = QStringLiteral("middle");
    bool Searching = false;
    int Stops = 0, Closings = 0;

protected:
    void ReadKeys(const TIniFile &ini) override
    {
        First = ini.ReadString(Section, "First", First);
        ReadSize(ini);
        Middle = ini.ReadString(Section, "Middle", Middle);
        ReadSort(ini);
    }
    void WriteKeys(TIniFile &ini) override
    {
        ini.WriteString(Section, "First", First);
        WriteSize(ini);
        ini.WriteString(Section, "Middle", Middle);
        WriteSort(ini);
    }
    bool SearchRunning() const override { return Searching; }
    void StopSearch() override
    {
        ++Stops;
        Searching = false;
    }
    void Closing() override { ++Closings; }
};

}  // namespace

TEST(ToolWindowFrame, TheSectionIsWrittenInTheWindowsOrderAndReadBackByTheNext)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    {
        TIniFile other(folder + "Options.ini", 1252);
        other.WriteString("General", "Kept", "yes");
        ASSERT_TRUE(other.UpdateFile());
    }
    {
        TProbeWindow first;
        first.resize(321, 234);
        first.TurnSort(1);
        first.TurnSort(1);
        first.First = "one";
        first.Middle = "two";
        first.WriteSection(folder);
    }
    QFile file(folder + "Options.ini");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[General]\r\nKept=yes\r\n\r\n[Tool]\r\nFirst=one\r\nMaximized=0\r\nWidth=321\r\n"
                                         "Height=234\r\nMiddle=two\r\nSort forward=0\r\nSort by column=1\r\n"));

    TProbeWindow next;
    next.resize(100, 80);
    next.ReadSection(folder);
    EXPECT_EQ(next.size(), QSize(321, 234));
    EXPECT_EQ(next.SortColumn(), 1);
    EXPECT_FALSE(next.SortForward());
    EXPECT_EQ(next.First, "one");
    EXPECT_EQ(next.Middle, "two");
}

TEST(ToolWindowFrame, WithoutAFolderEveryKeyHasItsDefaultAndNothingIsWritten)
{
    QTemporaryDir dir;
    {
        TIniFile stray(dir.path() + "/Options.ini", 1252);
        stray.WriteString("Tool", "Sort by column", "0");
        stray.WriteString("Tool", "First", "stray");
        ASSERT_TRUE(stray.UpdateFile());
    }
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    TProbeWindow window;
    window.resize(200, 150);
    window.ReadSection(QString());
    window.First = "changed";
    window.WriteSection(QString());
    QDir::setCurrent(before);
    EXPECT_EQ(window.First, "changed");
    EXPECT_EQ(window.SortColumn(), 2) << "no file of the current folder is read";
    EXPECT_EQ(window.size(), QSize(200, 150));
    const TIniFile stray(dir.path() + "/Options.ini", 1252);
    EXPECT_EQ(stray.ReadString("Tool", "First", ""), "stray") << "nor written";
}

TEST(ToolWindowFrame, ACloseDuringASearchStopsItAndClosesOnlyWhenTheWindowSaysSo)
{
    using TSearchClose = TToolWindow::TSearchClose;
    struct TCase {
        const char *name;
        TSearchClose mode;
        bool searching;
        bool escape;  // Esc (reject) instead of the close button
        bool closes;
        int stops;
    } cases[] = {
        {"idle", TSearchClose::Stops, false, false, true, 0},
        {"idle, Esc", TSearchClose::Stops, false, true, true, 0},
        {"searching: stops instead", TSearchClose::Stops, true, false, false, 1},
        {"searching, Esc: stops instead", TSearchClose::Stops, true, true, false, 1},
        {"searching: stops and closes", TSearchClose::StopsAndCloses, true, false, true, 1},
        {"searching, Esc: stops and closes", TSearchClose::StopsAndCloses, true, true, true, 1},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        TProbeWindow window(c.mode);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.Searching = c.searching;
        if (c.escape)
            QTest::keyClick(&window, Qt::Key_Escape);
        else
            window.close();
        EXPECT_EQ(window.isVisible(), !c.closes);
        EXPECT_EQ(window.Stops, c.stops);
        EXPECT_EQ(window.Closings, c.closes ? 1 : 0) << "the host hears of a close that happened, and only of it";
    }
}

TEST(ReportModel, CaptionsAreTheColumnsAndOnlyTheirsCanBeReplaced)
{
    TCountModel model;
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "B");
    QSignalSpy changed(&model, &QAbstractItemModel::headerDataChanged);
    EXPECT_TRUE(model.setHeaderData(1, Qt::Horizontal, QStringLiteral("Bee"), Qt::DisplayRole));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Bee");
    EXPECT_EQ(changed.size(), 1);
    struct TCase {
        const char *name;
        int section;
        Qt::Orientation orientation;
        int role;
    } cases[] = {
        {"before the first", -1, Qt::Horizontal, Qt::DisplayRole},
        {"past the last", 3, Qt::Horizontal, Qt::DisplayRole},
        {"vertical", 0, Qt::Vertical, Qt::DisplayRole},
        {"edit role", 0, Qt::Horizontal, Qt::EditRole},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(model.setHeaderData(c.section, c.orientation, QStringLiteral("x"), c.role));
        EXPECT_FALSE(model.headerData(c.section, c.orientation, c.role).isValid());
    }
    EXPECT_EQ(changed.size(), 1);
    EXPECT_EQ(model.columnCount(), 3);
}

TEST(ReportModel, ShadesTheSortColumnAndResetsAfterTheChange)
{
    TCountModel model;
    model.Pending = 2;
    int rowsSeenAtReset = -1;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { rowsSeenAtReset = model.rowCount(); });
    bool changeRan = false;
    model.Reset([&] { changeRan = true; });
    EXPECT_TRUE(changeRan);
    EXPECT_EQ(rowsSeenAtReset, 2) << "the view hears of the reset after Changed()";

    EXPECT_EQ(model.index(0, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(0xF7, 0xF7, 0xF7));
    EXPECT_FALSE(model.index(0, 0).data(Qt::BackgroundRole).isValid());
    model.SetSortColumn(2);
    EXPECT_EQ(model.SortColumn(), 2);
    EXPECT_FALSE(model.index(0, 1).data(Qt::BackgroundRole).isValid());
    EXPECT_TRUE(model.index(1, 2).data(Qt::BackgroundRole).isValid());
}

TEST(ToolWindow, ASearchIsStoppedInsteadOfClosing)
{
    int stops = 0;
    QCloseEvent searching;
    EXPECT_TRUE(ToolWindow::StopInsteadOfClose(true, [&] { ++stops; }, &searching));
    EXPECT_FALSE(searching.isAccepted());
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(ToolWindow::StopInsteadOfClose(true, [&] { ++stops; }));  // reject(): no event
    EXPECT_EQ(stops, 2);

    QCloseEvent idle;
    EXPECT_FALSE(ToolWindow::StopInsteadOfClose(false, [&] { ++stops; }, &idle));
    EXPECT_TRUE(idle.isAccepted());
    EXPECT_EQ(stops, 2);
}

TEST(ToolWindow, SizeIsKeptOnlyWhenNotMaximized)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/Options.ini";
    {
        TIniFile ini(path, 1252);
        ini.WriteInteger(Section, "Width", 111);
        ini.WriteInteger(Section, "Height", 99);
        QDialog maximized;
        maximized.resize(500, 400);
        maximized.setWindowState(Qt::WindowMaximized);
        ToolWindow::WriteGeometry(&maximized, ini, Section);
        EXPECT_EQ(ini.ReadString(Section, "Maximized", ""), "1");
        EXPECT_EQ(ini.ReadInteger(Section, "Width", 0), 111) << "a maximized window keeps the normal size";
        EXPECT_EQ(ini.ReadInteger(Section, "Height", 0), 99);

        QDialog normal;
        normal.resize(320, 240);
        ToolWindow::WriteGeometry(&normal, ini, Section);
        EXPECT_EQ(ini.ReadString(Section, "Maximized", ""), "0");
        EXPECT_EQ(ini.ReadInteger(Section, "Width", 0), 320);
        EXPECT_EQ(ini.ReadInteger(Section, "Height", 0), 240);
        ini.WriteBool(Section, "Maximized", true);
        ASSERT_TRUE(ini.UpdateFile());
    }
    const TIniFile ini(path, 1252);
    QDialog read;
    ToolWindow::ReadGeometry(&read, ini, Section);
    EXPECT_EQ(read.size(), QSize(320, 240));
    EXPECT_TRUE(read.isMaximized());

    const TIniFile empty(dir.path() + "/None.ini", 1252);
    QDialog fresh;
    fresh.resize(300, 200);
    ToolWindow::ReadGeometry(&fresh, empty, Section);
    EXPECT_EQ(fresh.size(), QSize(300, 200)) << "no keys: the window's own size";
    EXPECT_FALSE(fresh.isMaximized());
}

TEST(ToolWindow, SortKeysReadBackWithinTheColumns)
{
    struct TCase {
        const char *name;
        const char *column;  // nullptr: no key
        const char *forward;
        int expectedColumn;
        bool expectedForward;
    } cases[] = {
        {"no keys: the default, forward", nullptr, nullptr, 2, true},
        {"a column and backward", "1", "0", 1, false},
        {"past the last column", "9", "1", 3, true},
        {"negative", "-4", "1", 0, true},
        {"not a number", "x", "1", 2, true},
    };
    QTemporaryDir dir;
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        TIniFile ini(dir.path() + "/Options.ini", 1252);
        if (c.column)
            ini.WriteString(Section, "Sort by column", c.column);
        if (c.forward)
            ini.WriteString(Section, "Sort forward", c.forward);
        int column = -1;
        bool forward = false;
        ToolWindow::ReadSort(ini, Section, 2, 3, column, forward);
        EXPECT_EQ(column, c.expectedColumn);
        EXPECT_EQ(forward, c.expectedForward);
    }

    TIniFile ini(dir.path() + "/Options.ini", 1252);
    ToolWindow::WriteSort(ini, Section, 3, false);
    EXPECT_EQ(ini.ReadSection(Section), QStringList({"Sort forward", "Sort by column"}));
    EXPECT_EQ(ini.ReadString(Section, "Sort forward", ""), "0");
    EXPECT_EQ(ini.ReadString(Section, "Sort by column", ""), "3");
}

TEST(ToolWindow, AClickTurnsTheOrderOrSortsForwardByAnotherColumn)
{
    int column = 1;
    bool forward = true;
    ToolWindow::TurnSort(1, column, forward);
    EXPECT_EQ(column, 1);
    EXPECT_FALSE(forward);
    ToolWindow::TurnSort(3, column, forward);
    EXPECT_EQ(column, 3);
    EXPECT_TRUE(forward);
}

TEST(ReportColumns, ShareKeepsNarrowColumnsAndSplitsTheRestAmongTheWideOnes)
{
    struct TCase {
        const char *name;
        QList<int> wanted, floors;
        int available;
        QList<int> expected;
    } cases[] = {
        {"all fit", {100, 200, 50}, {40, 40, 40}, 400, {100, 200, 50}},
        {"two wide ones share", {100, 400, 100, 300}, {50, 50, 50, 50}, 700, {100, 250, 100, 250}},
        {"the pixel left over goes to the first held back", {100, 400, 300}, {50, 50, 50}, 401, {100, 151, 150}},
        {"never below a floor", {300, 300}, {250, 50}, 400, {250, 150}},
        {"floors wider than the view stay", {300, 300}, {250, 250}, 400, {250, 250}},
        {"a floor above the wanted width does not widen", {30, 500}, {80, 80}, 300, {30, 270}},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReportColumns::Share(c.wanted, c.floors, c.available), c.expected);
    }
}

TEST(ReportColumns, AColumnWithoutTextGivesUpItsCaptionsRoomFirst)
{
    using TNeed = ReportColumns::TColumnNeed;
    struct TCase {
        const char *name;
        QList<TNeed> needs;
        int available;
        QList<int> expected;
    } cases[] = {
        {"all fit with their captions", {{50, 300, true}, {100, 10, false}}, 400, {300, 100}},
        {"the empty column shrinks, then takes back what is left",
         {{50, 300, true}, {100, 10, false}}, 330, {300, 30}},
        {"the texts share what the empty column leaves", {{50, 400, true}, {50, 400, true}, {100, 0, false}}, 420,
         {200, 200, 20}},
        {"a column with text keeps its caption", {{200, 50, true}, {50, 500, true}}, 300, {200, 100}},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReportColumns::Widths(c.needs, 20, c.available), c.expected);
    }
}
