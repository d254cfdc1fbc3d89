// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the unnecessary-file window offscreen: masks, custom folders, Find, sort, Delete, "-delunn".
#include "files/Unnecessary.h"

#include "files/DiskList.h"
#include "platform/DriveMap.h"
#include "platform/IniFile.h"
#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/FileDelThds.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/MessageBoxes.h"
#include "shell/SafeFormat.h"
#include "support/DemoPrefix.h"
#include "support/DeletionLayers.h"
#include "support/ListColumns.h"
#include "support/PrefixBuilder.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using TestSupport::ExpectColumnsFitInside;
using TestSupport::ExpectEveryCellWhole;
using TestSupport::TPrefixBuilder;

// Readable failure output.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QStringList Split(const QString &commaText) { return commaText.split(',', Qt::SkipEmptyParts); }

[[nodiscard]] bool WaitIdle(TTurhaIkkuna &w)
{
    for (int i = 0; i < 1000 && w.Scanning(); ++i)
        QTest::qWait(10);
    return !w.Scanning();
}

QStringList Paths(const TTurhaIkkuna &w)
{
    QStringList paths;
    for (const TUnnecessaryRecord *r : w.Records())
        paths.append(r->Path);
    return paths;
}

QStringList Types(const TTurhaIkkuna &w)
{
    QStringList types;
    for (const TUnnecessaryRecord *r : w.Records())
        types.append(r->TypeName);
    return types;
}

using TestSupport::TScopedHandlers;

class UnnecessaryWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Builder.AddFile("C:\\Temp\\a.tmp", "12345");
        Builder.AddFile("C:\\Temp\\b.bak", "1");
        Builder.AddFile("C:\\keep\\c.txt", "1");
        Builder.AddFile("C:\\keep\\d.log", "1");
        Builder.AddString(TestSupport::THive::System, "Software\\Classes\\.bak", "", "bakfile");
        Builder.AddString(TestSupport::THive::System, "Software\\Classes\\bakfile", "", "Backup copy");
        Builder.MakeCurrent();
    }
    TPrefixBuilder Builder;
    QTemporaryDir Program;
};

TEST_F(UnnecessaryWindow, MaskListsFromTheSetsAndTheFindBox)
{
    const struct {
        const char *name;
        bool normal, extra;
        const char *find;
        QStringList expected;
    } cases[] = {
        {"normal only", true, false, "", Split(TTurhaIkkuna::NormalTypes)},
        {"both sets", true, true, "", Split(TTurhaIkkuna::NormalTypes) + Split(TTurhaIkkuna::ExtraTypes)},
        {"normal and find, *.tmp once", true, false, "*.log, *.tmp", Split(TTurhaIkkuna::NormalTypes) + QStringList{"*.log"}},
        {"no set: the user's first mask stays", false, false, "*.log,*.aaa", {"*.aaa", "*.log"}},
        {"trailing comma in the Find box", false, false, "*.log,", {"*.log"}},
    };
    TTurhaIkkuna w(nullptr, Program.path());
    w.show();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        w.Normal->setChecked(c.normal);
        w.Extra->setChecked(c.extra);
        w.edtFind->setText(c.find);
        ASSERT_TRUE(w.btnFind->isEnabled());
        QTest::mouseClick(w.btnFind, Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(w));
        QStringList expected = c.expected;
        expected.sort(Qt::CaseInsensitive);
        QStringList got = w.MaskList();
        got.sort(Qt::CaseInsensitive);
        EXPECT_EQ(got, expected);
    }
}

TEST_F(UnnecessaryWindow, CustomFoldersAndSpecialFolders)
{
    TTurhaIkkuna w(nullptr, Program.path());
    w.Options().FUnnCustomDirs = {"C:\\Work", "C:\\Build"};
    TUnnSpecialFolders folders;
    folders.Temp = "C:\\Temp";
    folders.Cookies = "C:\\Cookies";
    folders.History = "C:\\History";
    w.SetSpecialFolders(folders);
    w.show();
    EXPECT_FALSE(w.TemporaryInternet->isEnabled());
    EXPECT_FALSE(w.OfficeRecent->isEnabled());
    const struct {
        const char *name;
        bool custom, temp, cookies, history;
        QStringList expected;
    } cases[] = {
        {"only Temp directories: no drive walk masks needed", false, true, false, false, {"C:\\Temp:*.*"}},
        {"cookies take *.txt", false, false, true, true, {"C:\\Cookies:*.txt", "C:\\History:*.*"}},
        {"custom directories first item kept", true, false, false, false, {"C:\\Build:*.*", "C:\\Work:*.*"}},
        {"everything", true, true, true, false,
         {"C:\\Build:*.*", "C:\\Cookies:*.txt", "C:\\Temp:*.*", "C:\\Work:*.*"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        w.Normal->setChecked(false);
        w.Extra->setChecked(false);
        w.edtFind->clear();
        w.CustomDirectories->setChecked(c.custom);
        w.TempDirectories->setChecked(c.temp);
        w.Cookies->setChecked(c.cookies);
        w.History->setChecked(c.history);
        w.NormalClick();
        ASSERT_TRUE(w.btnFind->isEnabled());
        QTest::mouseClick(w.btnFind, Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(w));
        EXPECT_TRUE(w.MaskList().isEmpty());
        EXPECT_EQ(w.CustomList(), c.expected);
    }
    // Only Temp directories: just the temporary folder is searched.
    w.CustomDirectories->setChecked(false);
    w.Cookies->setChecked(false);
    w.History->setChecked(false);
    w.TempDirectories->setChecked(true);
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(w));
    QStringList found = Paths(w);
    found.sort();
    EXPECT_EQ(found, QStringList({"C:\\Temp\\a.tmp", "C:\\Temp\\b.bak"}));
}

TEST_F(UnnecessaryWindow, LanguageFileTranslatesTheColumnCaptions)
{
    QDir(Program.path()).mkpath("Languages");
    QFile language(Program.path() + "/Languages/Suomi.txt");
    ASSERT_TRUE(language.open(QIODevice::WriteOnly));
    language.write("[TurhaIkkuna]\r\nTurhaIkkuna.FileList.columns.items[0].caption=Nimi\r\n"
                   "TurhaIkkuna.FileList.columns.items[1].caption=Kansio\r\n");
    language.close();
    ASSERT_TRUE(OpenLanguageFile(Program.path(), "Suomi"));
    TTurhaIkkuna w(nullptr, Program.path());
    TranslateForms(&w);
    CloseLanguageFile();
    EXPECT_EQ(w.FileList->model()->headerData(0, Qt::Horizontal).toString(), "Nimi");
    EXPECT_EQ(w.FileList->model()->headerData(1, Qt::Horizontal).toString(), "Kansio");
}

TEST_F(UnnecessaryWindow, FindListsTotalsAndStates)
{
    TTurhaIkkuna w(nullptr, Program.path());
    w.show();
    EXPECT_EQ(w.lblStatus->text(), "Idle!");
    EXPECT_FALSE(w.btnDelete->isEnabled());
    w.Normal->setChecked(true);
    w.edtSkip->setText("temp,");
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(w));
    EXPECT_EQ(w.SkipList(), QStringList({"temp"}));
    EXPECT_TRUE(w.Records().isEmpty());
    EXPECT_EQ(w.lblStatus->text(), "No unnecessary files found!");
    EXPECT_TRUE(w.lblTotal->text().isEmpty());

    w.edtSkip->clear();
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(w));
    EXPECT_EQ(w.Records().size(), 2);
    EXPECT_EQ(w.lblStatus->text(), "Total of 2 unnecessary file(s) found!");
    EXPECT_EQ(w.lblTotal->text(), "1 KB");  // 6 bytes round up
    EXPECT_TRUE(w.btnDeleteAll->isEnabled());
    EXPECT_FALSE(w.btnDelete->isEnabled());
    EXPECT_EQ(w.FileList->model()->rowCount(), 2);
    EXPECT_EQ(w.FileList->model()->headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(Paths(w).indexOf("C:\\Temp\\b.bak"), Types(w).indexOf("Backup copy"));

    // The blacklist's list joins the Skip box.
    QFile blacklist(Program.path() + "/BlackLst.vkb");
    ASSERT_TRUE(blacklist.open(QIODevice::WriteOnly));
    blacklist.write("[General]\r\nVersion=Release 1\r\nUnnecessary=,\"b.bak\",\"index.dat\"\r\n");
    blacklist.close();
    w.edtSkip->setText("nothing");
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(w));
    EXPECT_EQ(w.SkipList(), QStringList({"b.bak", "index.dat", "nothing"}));
    EXPECT_EQ(Paths(w), QStringList({"C:\\Temp\\a.tmp"}));
}

// The total of what was found is read whole at the window's default size, however long the
// number and whatever the prefix separates its thousands with.
TEST_F(UnnecessaryWindow, TheTotalIsReadWholeAtTheDefaultSize)
{
    // 12,345,678 KB with the fixture's two small files, in a sparse file that takes no disk space.
    QFile huge(Builder.AddFile("C:\\big\\huge.tmp", ""));
    ASSERT_TRUE(huge.open(QIODevice::ReadWrite));
    ASSERT_TRUE(huge.resize(12345678LL * 1024 - 6));
    huge.close();
    const TNumberSeparators before = NumberSeparators();
    const struct {
        const char *thousand, *total;
    } cases[] = {
        {",", "12,345,678 KB"},
        {".", "12.345.678 KB"},
        {"\u2019", "12\u2019345\u2019678 KB"},
        {"  ", "12  345  678 KB"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.total);
        SetNumberSeparators({QString::fromUtf8(c.thousand), QStringLiteral(",")});
        TTurhaIkkuna w(nullptr, Program.path());
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.btnFind, Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(w));
        EXPECT_EQ(w.lblTotal->text(), QString::fromUtf8(c.total));
        // Once the window has laid itself out again for the new text.
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.lblTotal->width() >= w.lblTotal->sizeHint().width(); }, 2000));
        const QRect shown(w.lblTotal->mapTo(&w, QPoint(0, 0)), w.lblTotal->size());
        EXPECT_GE(shown.width(), w.lblTotal->fontMetrics().horizontalAdvance(w.lblTotal->text()));
        EXPECT_GE(shown.width(), w.lblTotal->sizeHint().width());
        EXPECT_TRUE(w.rect().contains(shown)) << shown.x() << "+" << shown.width() << " in " << w.width();
    }
    SetNumberSeparators(before);
}

TEST_F(UnnecessaryWindow, ManyFoundFilesJoinTheListInGroupsWithEveryRow)
{
    // More files than one hand-over of the scanner holds, in five folders, beside files that
    // match no mask.
    struct TRow {
        QString Path, Size, Type;
    };
    QList<TRow> expected;
    qint64 total = 0;
    const QDateTime stamp(QDate(2020, 6, 15), QTime(10, 20, 31));
    for (int f = 0; f < 5; ++f) {
        for (int i = 0; i < 300; ++i) {
            const bool bak = i % 3 == 0;
            const QString path = QStringLiteral("C:\\Junk\\%1\\f%2.%3").arg(QChar('A' + f)).arg(i, 4, 10, QChar('0'))
                                     .arg(bak ? "bak" : "tmp");
            const int size = (f * 300 + i) * 37 % 900 + 1;
            QFile file(Builder.AddFile(path, QByteArray(size, 'x')));
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.setFileTime(stamp, QFileDevice::FileModificationTime));
            expected.append({path, QString::number(size), bak ? "Backup copy" : QString()});
            total += size;
            if (i % 10 == 0)
                Builder.AddFile(QStringLiteral("C:\\Junk\\%1\\x%2.dat").arg(QChar('A' + f)).arg(i), "1");
        }
    }
    TTurhaIkkuna w(nullptr, Program.path());
    w.show();
    w.Normal->setChecked(false);
    w.edtFind->setText("*.tmp,*.bak");
    w.edtSkip->setText("\\Temp\\");
    QAbstractItemModel *model = w.FileList->model();
    QSignalSpy inserts(model, &QAbstractItemModel::rowsInserted);
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(w));
    ASSERT_EQ(model->rowCount(), expected.size());
    EXPECT_LE(inserts.count() * 50, expected.size()) << inserts.count() << " insertions";
    EXPECT_EQ(w.TotalSize(), total);
    EXPECT_EQ(w.lblStatus->text(), "Total of 1,500 unnecessary file(s) found!");

    w.FileListColumnClick(0);
    // The prefix's formats: it sets none, so the user's defaults (M/d/yyyy, h:mm:ss tt).
    const QString modified = "6/15/2020 10:20:30 AM";
    for (int row = 0; row < model->rowCount(); ++row) {
        SCOPED_TRACE(row);
        const auto cell = [&](int column) { return model->data(model->index(row, column)).toString(); };
        const TRow &e = expected.at(row);
        EXPECT_EQ(cell(0), e.Path);
        EXPECT_EQ(cell(1), e.Size);
        if (!e.Type.isEmpty()) {
            EXPECT_EQ(cell(2), e.Type);
        }
        EXPECT_EQ(cell(3), modified);
        EXPECT_EQ(cell(4), "A");
        if (HasFailure())
            break;
    }
    // In a list wide enough, every cell is read whole, the rows beyond those measured too.
    ExpectColumnsFitInside(w.FileList);
    w.resize(3000, w.height());
    QCoreApplication::processEvents();
    ExpectEveryCellWhole(w.FileList);
}

TEST_F(UnnecessaryWindow, SortBySizeUses64BitSizes)
{
    const qint64 gb = 1024LL * 1024 * 1024;
    for (const auto &[name, size] : {std::pair<const char *, qint64>{"C:\\big\\five.tmp", 5 * gb},
                                     {"C:\\big\\three.tmp", 3 * gb},
                                     {"C:\\big\\small.tmp", 10}}) {
        QFile f(Builder.AddFile(name, ""));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(size));  // sparse: takes no disk space
    }
    TTurhaIkkuna w(nullptr, Program.path());
    w.show();
    w.Normal->setChecked(false);
    w.edtFind->setText("*.tmp");
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(w));
    w.FileListColumnClick(0);  // away from Size, then back: ascending
    w.FileListColumnClick(1);
    EXPECT_EQ(Paths(w), QStringList({"C:\\Temp\\a.tmp", "C:\\big\\small.tmp", "C:\\big\\three.tmp", "C:\\big\\five.tmp"}));
    w.FileListColumnClick(1);
    EXPECT_EQ(Paths(w).first(), "C:\\big\\five.tmp");
    EXPECT_EQ(w.FileList->model()->data(w.FileList->model()->index(0, 1), Qt::BackgroundRole).value<QColor>(),
              QColor(0xF7, 0xF7, 0xF7));
}

TEST_F(UnnecessaryWindow, SortByModifiedUsesTheDates)
{
    const struct { const char *path; QDateTime when; } files[] = {
        {"C:\\dates\\new.tmp", QDateTime(QDate(2021, 3, 4), QTime(10, 0, 0))},
        {"C:\\dates\\old.tmp", QDateTime(QDate(2001, 12, 30), QTime(23, 59, 58))},
        {"C:\\dates\\mid.tmp", QDateTime(QDate(2011, 1, 2), QTime(0, 0, 0))},
    };
    for (const auto &f : files) {
        QFile file(Builder.AddFile(f.path, "x"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(f.when, QFileDevice::FileModificationTime));
    }
    TTurhaIkkuna w(nullptr, Program.path());
    w.show();
    w.Normal->setChecked(false);
    w.edtFind->setText("*.tmp");
    w.edtSkip->setText("\\temp\\");
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(w));
    w.FileListColumnClick(3);
    EXPECT_EQ(Paths(w), QStringList({"C:\\dates\\old.tmp", "C:\\dates\\mid.tmp", "C:\\dates\\new.tmp"}));
}

TEST_F(UnnecessaryWindow, DeleteDropsGoneRowsAndReportsTheLockedOne)
{
    Builder.AddFile("C:\\Temp\\locked.tmp", "123");
    TScopedHandlers handlers;
    using TestSupport::TRefusingDeletionLayer;
    FileDeletion::SetLayer(std::make_shared<TRefusingDeletionLayer>(Program.path() + "/Trash", QStringList(),
                                                                    QStringList{"locked.tmp"}));
    TTurhaIkkuna w(nullptr, Program.path());
    w.Options().FUnnConfirm = true;
    w.Options().FForceTryDelete = false;
    w.show();
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(w));
    ASSERT_EQ(w.Records().size(), 3);
    QTest::mouseClick(w.btnSelectAll, Qt::LeftButton);
    ASSERT_TRUE(w.btnDelete->isEnabled());
    // The Delete key presses Delete; answering No keeps everything.
    handlers.Answer = false;
    QTest::keyClick(w.FileList, Qt::Key_Delete);
    ASSERT_EQ(handlers.Shown.size(), 1);
    EXPECT_EQ(w.Records().size(), 3);
    handlers.Shown.clear();
    handlers.Answer = true;
    QTest::mouseClick(w.btnDelete, Qt::LeftButton);
    ASSERT_EQ(handlers.Shown.size(), 2);
    EXPECT_EQ(handlers.Shown.at(0), "Are you sure you want to delete 3 file(s)?");
    EXPECT_EQ(handlers.Shown.at(1), "Vaskimo failed to delete 1 of the selected file(s)! File(s) maybe in use.\n\n"
                                    "C:\\Temp\\locked.tmp: it is in use or read-only");
    EXPECT_EQ(Paths(w), QStringList({"C:\\Temp\\locked.tmp"}));
    EXPECT_EQ(w.TotalSize(), 3);
    EXPECT_TRUE(QFileInfo::exists(Builder.HostPath("C:\\Temp\\locked.tmp")));
    EXPECT_FALSE(QFileInfo::exists(Builder.HostPath("C:\\Temp\\a.tmp")));
    EXPECT_TRUE(QFileInfo::exists(Program.path() + "/Trash/files/a.tmp"));  // "Deleting method" 1: recycle bin
    EXPECT_TRUE(QFileInfo::exists(Builder.HostPath("C:\\keep\\c.txt")));
}

TEST_F(UnnecessaryWindow, SettingsSurviveTheWindow)
{
    {
        TTurhaIkkuna w(nullptr, Program.path());
        w.Extra->setChecked(true);
        w.edtSkip->setText("skipme");
        w.FileListColumnClick(3);
    }
    TTurhaIkkuna again(nullptr, Program.path());
    EXPECT_TRUE(again.Extra->isChecked());
    EXPECT_EQ(again.edtSkip->text(), "skipme");
    QFile ini(Program.path() + "/Options.ini");
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    EXPECT_TRUE(text.contains("[Unnecessary files]"));
    EXPECT_TRUE(text.contains("Sort by column=3"));
    EXPECT_TRUE(text.contains("Selected disk C=1")) << "stored by drive letter";
}

TEST_F(UnnecessaryWindow, StopAndCloseDuringASearch)
{
    {
        SCOPED_TRACE("Stop right after Find");
        TTurhaIkkuna w(nullptr, Program.path());
        w.show();
        QTest::mouseClick(w.btnFind, Qt::LeftButton);
        ASSERT_TRUE(w.btnStop->isEnabled());
        QTest::mouseClick(w.btnStop, Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(w));
        EXPECT_TRUE(w.Records().isEmpty());
        EXPECT_EQ(w.lblStatus->text(), "Aborted! No unnecessary files found!");
        EXPECT_EQ(w.StatusBar->currentMessage(), "No unnecessary files found!");
        EXPECT_FALSE(w.btnStop->isEnabled());
        EXPECT_TRUE(w.btnFind->isEnabled());
    }
    {
        SCOPED_TRACE("closing a batch run during its search stops it");
        TTurhaIkkuna w(nullptr, Program.path());
        w.show();
        w.BatchState().FBatchMode = true;
        w.BatchState().FBatchSwitch = "-delunn";
        w.StartBatch("-delunn");
        ASSERT_TRUE(w.Scanning());
        EXPECT_FALSE(w.close());
        EXPECT_TRUE(w.isVisible());
        ASSERT_TRUE(WaitIdle(w));
        EXPECT_FALSE(w.BatchState().FBatchMode);
        EXPECT_TRUE(w.BatchState().FBatchAborted);
        EXPECT_EQ(w.BatchState().FLog.last(), "Aborted by user!");
        EXPECT_TRUE(QFileInfo::exists(Builder.HostPath("C:\\Temp\\a.tmp")));
    }
}

TEST_F(UnnecessaryWindow, UnnBatchLogsAndClosesEvenWithNothingToSearch)
{
    const struct {
        const char *name;
        bool normal;
        const char *result;
        bool failed;
    } cases[] = {
        {"search", true, "Found 2 unnecessary files!", false},
        {"nothing to search with", false, "Nothing was searched: no file types are chosen for the drives", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TTurhaIkkuna w(nullptr, Program.path());
        w.show();
        w.Normal->setChecked(c.normal);
        w.NormalClick();
        w.BatchState().FBatchMode = true;
        w.BatchState().FBatchSwitch = "-unn";
        w.StartBatch("-unn");
        for (int i = 0; i < 1000 && w.isVisible(); ++i)
            QTest::qWait(10);
        EXPECT_FALSE(w.isVisible());
        const QStringList log = w.BatchState().FLog;
        ASSERT_EQ(log.size(), c.failed ? 5 : 6);
        EXPECT_EQ(log.at(2), "-unn");
        EXPECT_EQ(log.last(), c.result);
        EXPECT_EQ(w.BatchState().FBatchFailed, c.failed);
        EXPECT_TRUE(QFileInfo::exists(Builder.HostPath("C:\\Temp\\a.tmp")));
    }
}

// Win32 reads "b." as "b" and "c " as "c": such names are listed as skipped, and a run that was
// to delete them says it could not.
TEST_F(UnnecessaryWindow, DelunnSkipsNamesWithNoWindowsPathAndSaysSo)
{
    const QString tree = Builder.DriveC() + "/u/";
    const QStringList names = {"b/a.tmp", "b./a.tmp", "c/a.tmp", "c /a.tmp", "e:f.tmp", "g\\h.tmp"};
    for (const QString &name : names) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(tree + name).path()));
        QFile f(tree + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("x") == 1);
    }
    TScopedHandlers handlers;
    FileDeletion::SetLayer(std::make_shared<THostDeletionLayer>(nullptr, Program.path() + "/Trash"));
    TTurhaIkkuna w(nullptr, Program.path());
    w.show();
    w.BatchState().FBatchMode = true;
    w.BatchState().FBatchSwitch = "-delunn";
    w.StartBatch("-delunn");
    for (int i = 0; i < 1000 && w.isVisible(); ++i)
        QTest::qWait(10);
    ASSERT_FALSE(w.isVisible());

    const QStringList log = w.BatchState().FLog;
    const qsizetype found = log.indexOf("Found 4 unnecessary files! Deleting...");
    ASSERT_GE(found, 0) << log.join(" | ").toStdString();
    const QString dot = ": its name ends in a dot or a blank, which Windows drops";
    const QString character = ": its name holds a character Windows cannot hold";
    EXPECT_EQ(log.mid(found + 1, 4), QStringList({"Skipped C:\\u\\b.\\" + dot, "Skipped C:\\u\\c \\" + dot,
                                                  "Skipped C:\\u\\e:f.tmp" + character,
                                                  "Skipped C:\\u\\g\\h.tmp" + character}));
    EXPECT_TRUE(w.BatchState().FBatchFailed);
    EXPECT_TRUE(handlers.Shown.isEmpty());
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(QFileInfo::exists(tree + name), name != "b/a.tmp" && name != "c/a.tmp");
    }
    EXPECT_FALSE(QFileInfo::exists(Builder.HostPath("C:\\Temp\\a.tmp")));
    // The skipped rows stay, with the reason, and can never be chosen.
    ASSERT_EQ(w.Records().size(), 4);
    for (const TUnnecessaryRecord *r : w.Records()) {
        SCOPED_TRACE(r->Path.toStdString());
        EXPECT_TRUE(r->Skipped());
        EXPECT_TRUE(r->TypeName.startsWith("Skipped: its name "));
    }
    w.FileList->selectAll();
    EXPECT_FALSE(w.btnDelete->isEnabled());
    EXPECT_EQ(w.TotalSize(), 0);
}

TEST(SpecialFolders, TempIsThePrefixesNeverTheHosts)
{
    const struct {
        const char *name;
        const char *temp;
        const char *expected;
    } cases[] = {
        {"profile temp", "C:\\users\\me\\Temp", "C:\\users\\me\\Temp"},
        {"host /tmp through Z:", "Z:\\tmp", ""},
        {"missing folder", "C:\\nowhere", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TPrefixBuilder b;
        b.AddFolder("C:\\users\\me\\Temp");
        b.AddString(TestSupport::THive::User, "Environment", "TEMP", c.temp);
        b.MakeCurrent();
        EXPECT_EQ(TUnnSpecialFolders::Find().Temp, c.expected);
    }
}

TEST(DiskListView, RowsSelectionAndText)
{
    TPrefixBuilder b;
    QTemporaryDir media;
    b.Link('a', media.path());
    b.Link('d', media.path());
    b.AddKey(TestSupport::THive::System, "Software\\Wine\\Drives", "\"a:\"=\"floppy\"\n\"d:\"=\"cdrom\"\n");
    auto prefix = b.MakeCurrent();
    TDiskListView list;
    list.FillDrives();
    ASSERT_EQ(list.Drives, QList<QChar>({'A', 'C', 'D', 'Z'}));
    EXPECT_EQ(list.headerItem()->text(0), "Select drives");
    EXPECT_EQ(list.SelectedDrives(), "\"C:\"");  // Z: is the host's "/": never preselected
    list.topLevelItem(2)->setSelected(true);
    list.SetFolder(2, "\\Data");
    EXPECT_EQ(list.SelectedDrives(), "\"C:\",\"D:\\Data\"");
    list.SelectLocalDrives = false;
    list.FillDrives();
    EXPECT_EQ(list.SelectedDrives(), "");
}

TEST(DiskListView, ChoicesAreStoredByLetterAndReadBackAsStored)
{
    TPrefixBuilder b;
    QTemporaryDir media, share, data;
    b.Link('a', media.path());
    b.Link('d', media.path());
    b.Link('e', data.path());
    b.Link('n', share.path());
    b.AddKey(TestSupport::THive::System, "Software\\Wine\\Drives", "\"a:\"=\"floppy\"\n\"d:\"=\"cdrom\"\n\"n:\"=\"network\"\n");
    b.MakeCurrent();
    // Rows: A C D E N Z; Z: is the host's "/".
    const struct {
        const char *name;
        QByteArray stored;
        QString selected;
    } cases[] = {
        {"nothing stored: the fixed drives", "", "\"C:\",\"E:\""},
        {"by letter", "Selected disk C=0\nSelected disk D=1\nSelected disk D dir=\\Data\nSelected disk E=1\n",
         "\"D:\\Data\",\"E:\""},
        {"a drive that is gone selects nothing", "Selected disk F=1\n", ""},
        {"the older keys by row select nothing", "Selected disk 0=1\nSelected disk 1=1\nSelected disk 5=1\n", ""},
        {"Z: and network drives when stored", "Selected disk Z=1\nSelected disk Z dir=\\srv\nSelected disk N=1\nSelected disk C=0\n",
         "\"N:\",\"Z:\\srv\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        QFile file(folder.filePath("Options.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Duplicate files]\n" + c.stored);
        file.close();
        const TIniFile ini(folder.filePath("Options.ini"));
        TDiskListView list;
        list.FillDrives();
        ASSERT_EQ(list.Drives, QList<QChar>({'A', 'C', 'D', 'E', 'N', 'Z'}));
        list.ReadSelection(ini, "Duplicate files", true);
        EXPECT_EQ(list.SelectedDrives(), c.selected);
    }

    // Written back by letter, the keys by row gone, the choice of a drive that is gone kept; the user's
    // click on Z: is stored and read back.
    QTemporaryDir folder;
    {
        QFile file(folder.filePath("Options.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Unnecessary files]\nSelected disk 1=1\nSelected disk 1 dir=\\x\nSkip=keep\nSelected disk F=1\n");
    }
    TIniFile ini(folder.filePath("Options.ini"));
    TDiskListView list;
    list.FillDrives();
    list.topLevelItem(int(list.Drives.indexOf(u'Z')))->setSelected(true);
    list.WriteSelection(ini, "Unnecessary files", false);
    EXPECT_EQ(ini.ReadSection("Unnecessary files"),
              (QStringList{"Skip", "Selected disk F", "Selected disk A", "Selected disk C", "Selected disk D",
                           "Selected disk E", "Selected disk N", "Selected disk Z"}));
    EXPECT_TRUE(ini.ReadBool("Unnecessary files", "Selected disk Z", false));
    EXPECT_TRUE(ini.ReadBool("Unnecessary files", "Selected disk F", false));
    TDiskListView again;
    again.FillDrives();
    again.ReadSelection(ini, "Unnecessary files", false);
    EXPECT_EQ(again.SelectedDrives(), "\"C:\",\"E:\",\"Z:\"");
    EXPECT_EQ(again.MissingChoices(), QStringList{"The drive F: chosen to search does not exist"});
}

TEST(DemoPrefix, DelunnRemovesItsUnnecessaryFilesAndNothingElse)
{
    QTemporaryDir temp;
    const QString copy = temp.path() + "/demo";
    ASSERT_EQ(TestSupport::CopyDemoPrefix(copy), 0);
    auto listing = [&copy] {
        QStringList files;
        QDirIterator it(copy + "/drive_c", QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next().mid(copy.size()));
        files.sort();
        return files;
    };
    const QStringList before = listing();
    TWinePrefix::SetCurrent(std::make_shared<TWinePrefix>(copy));
    TScopedHandlers handlers;
    FileDeletion::SetLayer(std::make_shared<THostDeletionLayer>(nullptr, temp.path() + "/Trash"));
    QTemporaryDir program;
    {
        TTurhaIkkuna w(nullptr, program.path());
        w.BatchState().FBatchMode = true;
        w.BatchState().FBatchSwitch = "-delunn";
        w.show();
        w.StartBatch("-delunn");
        for (int i = 0; i < 1000 && w.isVisible(); ++i)
            QTest::qWait(10);
        EXPECT_FALSE(w.isVisible());
        const QStringList log = w.BatchState().FLog;
        ASSERT_EQ(log.size(), 6);
        EXPECT_EQ(log.at(0), "");
        EXPECT_TRUE(log.at(1).contains(", "));
        EXPECT_EQ(log.at(2), "-delunn");
        EXPECT_EQ(log.at(3), "Started searching unnecessary files");
        EXPECT_EQ(log.at(5), "Found 5 unnecessary files! Deleting...");
        EXPECT_TRUE(handlers.Shown.isEmpty());
    }
    TWinePrefix::SetCurrent(nullptr);
    QStringList removed = before;
    for (const QString &f : listing())
        removed.removeAll(f);
    EXPECT_EQ(removed, QStringList({"/drive_c/Tools/viewer.bak", "/drive_c/users/demo/Documents/notes.txt.bak",
                                    "/drive_c/users/demo/Temp/install.log.tmp", "/drive_c/users/demo/Temp/setup-1234.tmp",
                                    "/drive_c/windows/temp/~DF1A2B.tmp"}));
    EXPECT_EQ(listing().size(), before.size() - 5);
}

} // namespace

namespace {

TEST(DemoPrefix, DelunnThroughTheBatchRoutineWritesTheLog)
{
    QTemporaryDir temp;
    const QString copy = temp.path() + "/demo";
    ASSERT_EQ(TestSupport::CopyDemoPrefix(copy), 0);
    TWinePrefix::SetCurrent(std::make_shared<TWinePrefix>(copy));
    TScopedHandlers handlers;
    FileDeletion::SetLayer(std::make_shared<THostDeletionLayer>(nullptr, temp.path() + "/Trash"));
    QTemporaryDir program;
    {
        TPaaIkkuna main(program.path());
        TPaaIkkuna::RegisterTool(TToolKind::Unnecessary,
                                 [&program](QWidget *parent) { return new TTurhaIkkuna(parent, program.path()); });
        main.TsiikaaParamssit("-delunn");
        EXPECT_FALSE(main.FBatchAborted);
    }
    TWinePrefix::SetCurrent(nullptr);
    QFile log(program.path() + "/Vaskimo.log");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(log.readAll()).split("\r\n");
    EXPECT_TRUE(lines.contains("-delunn"));
    EXPECT_TRUE(lines.contains("Started searching unnecessary files"));
    EXPECT_TRUE(lines.contains("Found 5 unnecessary files! Deleting..."));
    EXPECT_FALSE(QFileInfo::exists(copy + "/drive_c/Tools/viewer.bak"));
    EXPECT_TRUE(QFileInfo::exists(copy + "/drive_c/Tools/viewer.exe"));
    EXPECT_TRUE(QFileInfo::exists(temp.path() + "/Trash/files/viewer.bak"));
}

} // namespace
