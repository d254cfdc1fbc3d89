// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the duplicate finder window offscreen: Find, the sets and their colours, Delete, the log, "-dup".
#include "files/Duplicate.h"

#include "files/DiskList.h"
#include "shell/Buttons.h"
#include "shell/FileDelThds.h"
#include "shell/MessageBoxes.h"
#include "support/DeletionLayers.h"
#include "support/ListColumns.h"
#include "support/PrefixBuilder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using TestSupport::TPrefixBuilder;

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using TestSupport::TScopedHandlers;

[[nodiscard]] bool WaitIdle(TKaksoisIkkuna &w)
{
    for (int i = 0; i < 2000 && w.Searching(); ++i)
        QTest::qWait(5);
    return !w.Searching();
}

// The reopen offer of the last list, as the first showing makes it: the log is read on a worker,
// then offered. False when the reading did not end.
[[nodiscard]] bool OfferOldList(TKaksoisIkkuna &w)
{
    w.FormActivate();
    for (int i = 0; i < 6000 && w.ReadingOldList(); ++i)
        QTest::qWait(5);
    return !w.ReadingOldList();
}

// The list as the user reads it: "#" for a header row, else the path; one entry per row.
QStringList Listed(const TKaksoisIkkuna &w)
{
    QStringList rows;
    for (const TDuplicateRow *r : w.Rows())
        rows << (r->IsHeader ? QStringLiteral("#%1").arg(r->SetNumber) : r->Path);
    return rows;
}

void SelectPaths(TKaksoisIkkuna &w, const QStringList &paths)
{
    w.FileList->clearSelection();
    for (int i = 0; i < w.Rows().size(); ++i)
        if (paths.contains(w.Rows().at(i)->Path))
            w.FileList->selectionModel()->select(w.FileList->model()->index(i, 0),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QStringList Temporaries(const QString &base)
{
    const QFileInfo info(base);
    return info.absoluteDir().entryList({info.fileName() + QStringLiteral(".*")}, QDir::Files);
}

class DuplicateWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Builder.AddFile("C:\\dups\\a1.bin", "alpha alpha");
        Builder.AddFile("C:\\dups\\sub\\a2.bin", "alpha alpha");
        Builder.AddFile("C:\\dups\\b1.txt", "bravo-bravo-bravo");
        Builder.AddFile("C:\\dups\\b2.txt", "bravo-bravo-bravo");
        Builder.AddFile("C:\\dups\\other\\b3.txt", "bravo-bravo-bravo");
        Builder.AddFile("C:\\dups\\single.txt", "only one of me");
        Builder.AddFile("C:\\dups\\same-size.txt", "bravo-bravo-BRAVO");
        Builder.MakeCurrent();
    }

    void Configure(TKaksoisIkkuna &w)
    {
        TSettings &o = w.Options();
        o.FDupSameDate = false;  // the copies were written at different seconds
        o.FDupSameSize = o.FDupSameCRC = o.FDupSameMD5 = true;
        o.FDupRecycle = false;
        o.FForceTryDelete = false;
        for (int i = 0; i < w.DiskList->topLevelItemCount(); ++i)
            w.DiskList->topLevelItem(i)->setSelected(w.DiskList->Drives.at(i) == u'C');
        w.DiskList->SetFolder(int(w.DiskList->Drives.indexOf(u'C')), QStringLiteral("\\dups"));
    }

    QStringList FirstSearch(TKaksoisIkkuna &w)
    {
        Configure(w);
        w.show();
        QTest::mouseClick(w.btnFind, Qt::LeftButton);
        EXPECT_TRUE(WaitIdle(w));
        return Listed(w);
    }

    // "-dup" as the main window starts it; false when the window did not close itself.
    [[nodiscard]] bool RunBatch(TKaksoisIkkuna &w)
    {
        Configure(w);
        w.BatchState().FBatchMode = true;
        w.BatchState().FBatchSwitch = "-dup";
        w.show();
        w.StartBatch("-dup");
        for (int i = 0; i < 2000 && w.isVisible(); ++i)
            QTest::qWait(5);
        return !w.isVisible();
    }

    TPrefixBuilder Builder;
    QTemporaryDir Program;
};

const QStringList FoundSets = {
    "#1", "C:\\dups\\a1.bin", "C:\\dups\\sub\\a2.bin",
    "#2", "C:\\dups\\b1.txt", "C:\\dups\\b2.txt", "C:\\dups\\other\\b3.txt",
};

}  // namespace

TEST_F(DuplicateWindow, FindListsEachSetUnderItsHeader)
{
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    EXPECT_EQ(FirstSearch(w), FoundSets);
    EXPECT_EQ(w.lblFileListCaption->text(), "Ready, duplicates found...");
    EXPECT_EQ(w.GroupCount(), 2);
    EXPECT_EQ(w.TotalBytes(), 2 * 11 + 3 * 17);
    EXPECT_EQ(w.Panels[2]->text(), "Files: 5");
    EXPECT_EQ(w.Panels[3]->text(), "Groups: 2");
    EXPECT_TRUE(w.Aika->text().startsWith("Started - "));
    EXPECT_TRUE(w.Aika->text().contains(", Finished - "));
    EXPECT_TRUE(w.windowTitle().startsWith("Duplicate files *.* - C:\\dups")) << "title: [" << w.windowTitle().toStdString() << "]";

    // Every second set, its header included, on light grey; each file shows its own set's digests.
    const QAbstractItemModel *model = w.FileList->model();
    const QColor grey(0xF7, 0xF7, 0xF7);
    for (int row = 0; row < model->rowCount(); ++row) {
        SCOPED_TRACE(row);
        const bool second = w.Rows().at(row)->SetNumber == 2;
        EXPECT_EQ(model->data(model->index(row, 3), Qt::BackgroundRole).value<QColor>() == grey, second);
    }
    const QString md5Bravo = QString::fromLatin1(
        QCryptographicHash::hash("bravo-bravo-bravo", QCryptographicHash::Md5).toHex().toUpper());
    EXPECT_EQ(model->data(model->index(5, 8)).toString(), md5Bravo);
    EXPECT_NE(model->data(model->index(1, 8)).toString(), md5Bravo);
    EXPECT_EQ(model->data(model->index(0, 8)).toString(), QString());  // header rows have no digest
    EXPECT_TRUE(QFileInfo::exists(w.LogFileName()));
    EXPECT_TRUE(Temporaries(w.BaseName()).isEmpty());
    EXPECT_TRUE(handlers.Shown.isEmpty());
}

TEST_F(DuplicateWindow, ManySetsJoinTheListInGroupsInTheirOrder)
{
    // 400 sets of two files, each set of its own size, so the sets come in size order after the
    // fixture's two small ones.
    QStringList expected = FoundSets;
    QHash<QString, int> sizes{{"C:\\dups\\a1.bin", 11}, {"C:\\dups\\sub\\a2.bin", 11}, {"C:\\dups\\b1.txt", 17},
                              {"C:\\dups\\b2.txt", 17}, {"C:\\dups\\other\\b3.txt", 17}};
    for (int i = 0; i < 400; ++i) {
        expected << QStringLiteral("#%1").arg(i + 3);
        for (const char *copy : {"a", "b"}) {
            const QString path = QStringLiteral("C:\\dups\\many\\s%1-%2.dat").arg(i, 3, 10, QChar('0')).arg(copy);
            Builder.AddFile(path, QByteArray(100 + i, char('a' + i % 26)));
            expected << path;
            sizes.insert(path, 100 + i);
        }
    }
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    QSignalSpy inserts(w.FileList->model(), &QAbstractItemModel::rowsInserted);
    EXPECT_EQ(FirstSearch(w), expected);
    // The view shows the same rows.
    const QAbstractItemModel *model = w.FileList->model();
    ASSERT_EQ(model->rowCount(), expected.size());
    for (int row = 0; row < model->rowCount(); ++row) {
        SCOPED_TRACE(row);
        const bool header = expected.at(row).startsWith('#');
        EXPECT_EQ(model->data(model->index(row, 0)).toString(), header ? "Duplicate files..." : expected.at(row));
        if (!header) {
            EXPECT_EQ(model->data(model->index(row, 1)).toString(), QString::number(sizes.value(expected.at(row))));
        }
    }
    EXPECT_LE(inserts.count() * 20, model->rowCount()) << inserts.count() << " insertions";
    EXPECT_EQ(w.Panels[2]->text(), "Files: 805");
    EXPECT_EQ(w.Panels[3]->text(), "Groups: 402");
    EXPECT_TRUE(handlers.Shown.isEmpty());
}

TEST_F(DuplicateWindow, EveryColumnFitsItsTexts)
{
    // A type name longer than a column is wide at first: the prefix's own class of ".bin".
    const QString binType = "Raw binary data of the duplicate finder's test";
    Builder.AddString(TestSupport::THive::System, "Software\\Classes\\.bin", "", "testbinfile");
    Builder.AddString(TestSupport::THive::System, "Software\\Classes\\testbinfile", "", binType);
    Builder.MakeCurrent();
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    ASSERT_EQ(FirstSearch(w), FoundSets);
    QCoreApplication::processEvents();

    const QAbstractItemModel *model = w.FileList->model();
    int bins = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (w.Rows().at(row)->Path.endsWith(".bin")) {
            ++bins;
            EXPECT_EQ(model->data(model->index(row, 2)).toString(), binType);
        }
    }
    EXPECT_GT(bins, 0);
    TestSupport::ExpectColumnsFitInside(w.FileList);
    // Wide enough, the list shows every cell whole.
    w.resize(3000, w.height());
    QCoreApplication::processEvents();
    TestSupport::ExpectEveryCellWhole(w.FileList);
}

TEST_F(DuplicateWindow, NothingFoundSkipsTheLaterStages)
{
    TKaksoisIkkuna w(nullptr, Program.path());
    Configure(w);
    w.edtFileMask->setText("*.none");
    w.show();
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(w));
    EXPECT_TRUE(w.Rows().isEmpty());
    EXPECT_EQ(w.lblFileListCaption->text(), "Ready, duplicates were not found...");
    EXPECT_FALSE(QFileInfo::exists(w.LogFileName()));
    EXPECT_FALSE(w.btnSave->isEnabled());
}

TEST_F(DuplicateWindow, DeleteDropsSetsLeftWithOneFile)
{
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    ASSERT_EQ(FirstSearch(w), FoundSets);

    // A header row alone never enables Delete.
    w.FileList->selectionModel()->select(w.FileList->model()->index(0, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_FALSE(w.btnDelete->isEnabled());

    // One of three: the set stays with two. The one-time warning comes after the question.
    SelectPaths(w, {"C:\\dups\\b1.txt"});
    ASSERT_TRUE(w.btnDelete->isEnabled());
    QTest::mouseClick(w.btnDelete, Qt::LeftButton);
    ASSERT_EQ(handlers.Shown.size(), 2);
    EXPECT_EQ(handlers.Shown.at(0), "Are you sure you want to delete 1 file(s)?");
    EXPECT_TRUE(handlers.Shown.at(1).startsWith("WARNING! You'll get this message only once!"));
    EXPECT_FALSE(w.FirstDeletion());
    EXPECT_FALSE(QFileInfo::exists(Builder.HostPath("C:\\dups\\b1.txt")));
    EXPECT_EQ(Listed(w), QStringList({"#1", "C:\\dups\\a1.bin", "C:\\dups\\sub\\a2.bin", "#2", "C:\\dups\\b2.txt",
                                      "C:\\dups\\other\\b3.txt"}));

    // One of two, header selected too: the whole set goes, the other set becomes number 1.
    handlers.Shown.clear();
    SelectPaths(w, {"C:\\dups\\sub\\a2.bin"});
    w.FileList->selectionModel()->select(w.FileList->model()->index(0, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(w.FileList, Qt::Key_Delete);
    ASSERT_EQ(handlers.Shown.size(), 1);
    EXPECT_EQ(handlers.Shown.at(0), "Are you sure you want to delete 1 file(s)?");
    EXPECT_EQ(Listed(w), QStringList({"#1", "C:\\dups\\b2.txt", "C:\\dups\\other\\b3.txt"}));
    EXPECT_EQ(w.GroupCount(), 1);
    EXPECT_EQ(w.Panels[3]->text(), "Groups: 1");
    EXPECT_TRUE(QFileInfo::exists(Builder.HostPath("C:\\dups\\a1.bin")));

    // The log follows: a reopened list offers no last copy.
    TKaksoisIkkuna again(nullptr, Program.path());
    again.show();
    ASSERT_TRUE(OfferOldList(again));
    EXPECT_EQ(Listed(again), QStringList({"#1", "C:\\dups\\b2.txt", "C:\\dups\\other\\b3.txt"}));
}

// Names a Windows path cannot hold as they are: Win32 reads "b." as "b" and "c " as "c".
TEST_F(DuplicateWindow, NamesWithNoWindowsPathAreShownSkippedAndNeverDeleted)
{
    const QString tree = Builder.DriveC() + "/dupt/";
    const QMap<QString, QByteArray> files = {
        {"b/a.txt", "the one and only"},  {"b./a.txt", "copy"}, {"c", "unique too"}, {"c ", "copy"},
        {"e:f", "copy"},                   {"g\\h", "copy"},   {"x.txt", "copy"}, {"y.txt", "copy"},
    };
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(tree + it.key()).path()));
        QFile f(tree + it.key());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(it.value()) == it.value().size());
    }
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    Configure(w);
    w.DiskList->SetFolder(int(w.DiskList->Drives.indexOf(u'C')), QStringLiteral("\\dupt"));
    w.show();
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(w));
    EXPECT_EQ(Listed(w), QStringList({"#1", "C:\\dupt\\x.txt", "C:\\dupt\\y.txt", "#2", "C:\\dupt\\b.\\",
                                      "C:\\dupt\\c ", "C:\\dupt\\e:f", "C:\\dupt\\g\\h"}));
    ASSERT_EQ(w.Rows().size(), 8);
    EXPECT_EQ(w.Rows().at(3)->Path, "Skipped files...");
    EXPECT_EQ(w.Rows().at(4)->TypeName, "Skipped: its name ends in a dot or a blank, which Windows drops");
    EXPECT_EQ(w.Rows().at(6)->TypeName, "Skipped: its name holds a character Windows cannot hold");
    EXPECT_EQ(w.Panels[2]->text(), "Files: 2");
    EXPECT_EQ(w.GroupCount(), 1);

    // Everything selected: only the set's file goes, through the real deletion service.
    w.FileList->selectAll();
    SelectPaths(w, {"C:\\dupt\\y.txt", "C:\\dupt\\b.\\", "C:\\dupt\\c ", "C:\\dupt\\e:f", "C:\\dupt\\g\\h"});
    ASSERT_TRUE(w.btnDelete->isEnabled());
    QTest::mouseClick(w.btnDelete, Qt::LeftButton);
    ASSERT_EQ(handlers.Shown.size(), 2);
    EXPECT_EQ(handlers.Shown.at(0), "Are you sure you want to delete 1 file(s)?");
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_EQ(QFileInfo::exists(tree + it.key()), it.key() != "y.txt");
    }
    // The set is gone with its last copy but one; what was skipped stays listed, and no log names it.
    EXPECT_EQ(Listed(w), QStringList({"#1", "C:\\dupt\\b.\\", "C:\\dupt\\c ", "C:\\dupt\\e:f", "C:\\dupt\\g\\h"}));
    EXPECT_FALSE(QFileInfo::exists(w.LogFileName()));
}

TEST_F(DuplicateWindow, ReopenedLogDropsChangedAndMissingFiles)
{
    {
        TScopedHandlers handlers;
        TKaksoisIkkuna w(nullptr, Program.path());
        ASSERT_EQ(FirstSearch(w), FoundSets);
    }
    QFile::remove(Builder.HostPath("C:\\dups\\a1.bin"));
    {
        QFile changed(Builder.HostPath("C:\\dups\\b1.txt"));
        ASSERT_TRUE(changed.open(QIODevice::Append));
        changed.write("!");
    }
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    w.show();
    ASSERT_TRUE(OfferOldList(w));
    ASSERT_EQ(handlers.Shown.size(), 2);
    EXPECT_TRUE(handlers.Shown.at(0).startsWith("An existing list of duplicates found, created on "));
    EXPECT_EQ(handlers.Shown.at(1), "2 file(s) of the old list were left out: they are gone, or no longer the files "
                                    "that were compared.");
    EXPECT_EQ(Listed(w), QStringList({"#1", "C:\\dups\\b2.txt", "C:\\dups\\other\\b3.txt"}));
    EXPECT_EQ(w.lblFileListCaption->text(), "Ready, old list loaded...");
    EXPECT_EQ(w.TotalBytes(), 2 * 17);
    // Offered once per run.
    w.FormActivate();
    EXPECT_EQ(handlers.Shown.size(), 2);

    QFile log(w.LogFileName());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(log.readAll()).split("\r\n");
    ASSERT_GE(lines.size(), 4 + 14);
    EXPECT_EQ(lines.at(0), "Duplicate files log by Orvendal Vaskimo");
    EXPECT_EQ(lines.at(2), "1");
    EXPECT_EQ(lines.at(3), "3");
    EXPECT_EQ(lines.at(4), "C:\\dups\\b2.txt");
    EXPECT_EQ(lines.at(5), "17");
    EXPECT_EQ(lines.at(10), "1");
}

// A log of many thousand files is read on a worker once the window shows: the first showing goes
// on at once with a busy bar in place of the status and Find off, the window is painted while the
// files are looked at, and the offer comes when the reading ends. A window closed or destroyed
// meanwhile neither asks nor waits for ever.
TEST_F(DuplicateWindow, ABigLogIsReadAfterTheWindowShows)
{
    {
        TScopedHandlers handlers;
        TKaksoisIkkuna w(nullptr, Program.path());
        ASSERT_EQ(FirstSearch(w), FoundSets);
    }
    // The two found sets over and over: title, date, sets, rows, then seven lines a file.
    QFile log(Program.filePath("Duplicat.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(log.readAll()).split("\r\n");
    log.close();
    QList<QStringList> files;
    for (qsizetype i = 4; i + 7 <= lines.size(); i += 7)
        files << lines.mid(i, 7);
    ASSERT_EQ(files.size(), 5);
    constexpr int Copies = 12000;
    QStringList big = {lines.at(0), lines.at(1), QString::number(2 * Copies), QString::number(7 * Copies)};
    for (int copy = 0; copy < Copies; ++copy)
        for (QStringList file : std::as_const(files)) {
            file[6] = QString::number(file[6].toInt() + 2 * copy);
            big << file;
        }
    ASSERT_TRUE(log.open(QIODevice::WriteOnly | QIODevice::Truncate));
    log.write((big.join("\r\n") + "\r\n").toLatin1());
    log.close();

    {
        TScopedHandlers handlers;
        TKaksoisIkkuna destroyed(nullptr, Program.path());
        destroyed.show();
        destroyed.FormActivate();
        EXPECT_TRUE(destroyed.ReadingOldList());
    }
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    struct TPaints : QObject {
        int Count = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            Count += event->type() == QEvent::Paint;
            return false;
        }
    } paints;
    w.installEventFilter(&paints);
    w.show();
    w.FormActivate();
    EXPECT_TRUE(w.ReadingOldList());
    EXPECT_TRUE(handlers.Shown.isEmpty()) << "asked before the window could be painted";
    EXPECT_TRUE(w.Progress->isVisibleTo(&w));
    EXPECT_EQ(w.lblFileListCaption->text(), "Loading old list...");
    EXPECT_FALSE(w.btnFind->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints.Count > 0 || !w.ReadingOldList(); }));
    EXPECT_GT(paints.Count, 0) << "the window was not painted while the log was read";

    // Closed while reading: no question to a hidden window; the next showing offers the list.
    w.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.ReadingOldList(); }, 60000));
    EXPECT_TRUE(handlers.Shown.isEmpty());
    w.show();
    ASSERT_TRUE(OfferOldList(w));
    ASSERT_EQ(handlers.Shown.size(), 1);
    EXPECT_TRUE(handlers.Shown.at(0).startsWith("An existing list of duplicates found, created on "));
    EXPECT_EQ(w.Rows().size(), 7 * Copies);
    EXPECT_EQ(w.lblFileListCaption->text(), "Ready, old list loaded...");
    EXPECT_FALSE(w.Progress->isVisibleTo(&w));
    EXPECT_TRUE(w.btnFind->isEnabled());
}

TEST_F(DuplicateWindow, ALogOfAnotherPrefixIsNeitherOfferedNorDeleted)
{
    {
        TScopedHandlers handlers;
        TKaksoisIkkuna w(nullptr, Program.path());
        ASSERT_EQ(FirstSearch(w), FoundSets);
    }
    const QString logFile = Program.filePath("Duplicat.log");
    QFile log(logFile);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray written = log.readAll();
    log.close();

    // The same program folder on another prefix: none of the listed files is there.
    TPrefixBuilder other;
    other.AddFile("C:\\dups\\unrelated.txt", "x");
    other.MakeCurrent();
    {
        TScopedHandlers handlers;
        TKaksoisIkkuna w(nullptr, Program.path());
        w.show();
        ASSERT_TRUE(OfferOldList(w));
        EXPECT_TRUE(handlers.Shown.isEmpty()) << "no offer of a list that cannot be shown";
        EXPECT_TRUE(w.Rows().isEmpty());
        EXPECT_NE(w.lblFileListCaption->text(), "Ready, old list loaded...");
    }
    ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << "the log is kept";
    EXPECT_EQ(log.readAll(), written);
    log.close();

    // Back on its own prefix it is offered and shown again.
    Builder.MakeCurrent();
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    w.show();
    ASSERT_TRUE(OfferOldList(w));
    EXPECT_EQ(handlers.Shown.size(), 1);
    EXPECT_EQ(Listed(w), FoundSets);
}

TEST_F(DuplicateWindow, AFolderIsChosenWithAButtonAndShownBesideItsDrive)
{
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    QString offeredRoot;
    QString answer = Builder.HostPath("C:\\dups\\sub");
    w.SetFolderPicker([&](QWidget *, const QString &title, const QString &root) {
        EXPECT_EQ(title, "Select directory");
        offeredRoot = root;
        return answer;
    });
    w.show();
    const int c = int(w.DiskList->Drives.indexOf(u'C'));
    ASSERT_GE(c, 0);
    for (int i = 0; i < w.DiskList->topLevelItemCount(); ++i)
        w.DiskList->topLevelItem(i)->setSelected(true);
    EXPECT_FALSE(w.btnFolder->isEnabled()) << "a folder belongs to one drive";
    for (int i = 0; i < w.DiskList->topLevelItemCount(); ++i)
        w.DiskList->topLevelItem(i)->setSelected(i == c);
    ASSERT_TRUE(w.btnFolder->isVisible());
    ASSERT_TRUE(w.btnFolder->isEnabled());
    QTest::mouseClick(w.btnFolder, Qt::LeftButton);
    EXPECT_EQ(QFileInfo(offeredRoot).canonicalFilePath(), QFileInfo(Builder.HostPath("C:\\")).canonicalFilePath());
    // In the window itself, not only in its title.
    EXPECT_EQ(w.DiskList->headerItem()->text(1), "Folder");
    EXPECT_EQ(w.DiskList->topLevelItem(c)->text(1), "\\dups\\sub");
    EXPECT_TRUE(w.windowTitle().endsWith("- C:\\dups\\sub")) << w.windowTitle().toStdString();
    EXPECT_EQ(w.DiskList->SelectedDrives(), "\"C:\\dups\\sub\"");

    // The drive root is the whole drive again; a folder elsewhere changes nothing.
    answer = Builder.HostPath("C:\\");
    QTest::mouseClick(w.btnFolder, Qt::LeftButton);
    EXPECT_EQ(w.DiskList->topLevelItem(c)->text(1), "");
    answer = Program.path();
    QTest::mouseClick(w.btnFolder, Qt::LeftButton);
    EXPECT_EQ(w.DiskList->topLevelItem(c)->text(1), "");
    EXPECT_TRUE(handlers.Shown.isEmpty());
}

TEST_F(DuplicateWindow, StopLeavesNoTemporaryFile)
{
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    Configure(w);
    w.show();
    QTest::mouseClick(w.btnFind, Qt::LeftButton);
    w.close();  // refused while searching: it presses Stop
    EXPECT_TRUE(w.isVisible());
    ASSERT_TRUE(WaitIdle(w));
    EXPECT_EQ(w.lblFileListCaption->text(), "Aborted...");
    EXPECT_TRUE(w.Aika->text().contains(", Aborted - "));
    EXPECT_TRUE(Temporaries(w.BaseName()).isEmpty());
}

TEST_F(DuplicateWindow, BatchRunLogsAndCloses)
{
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    ASSERT_TRUE(RunBatch(w)) << "the batch run did not end";
    const QStringList log = w.BatchState().FLog;
    ASSERT_EQ(log.size(), 6);
    EXPECT_EQ(log.at(0), "");
    EXPECT_EQ(log.at(2), "-dup");
    EXPECT_EQ(log.at(3), "Started searching duplicate files");
    EXPECT_EQ(log.at(5), "Found 5 files!");
    EXPECT_TRUE(handlers.Shown.isEmpty());
}

// A list that "Duplicat.log" cannot take is said, in a box or (unattended) in the log, and fails the run.
TEST_F(DuplicateWindow, ALogThatCannotBeWrittenIsReported)
{
    for (const bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "batch" : "window");
        TScopedHandlers handlers;
        QTemporaryDir program;
        ASSERT_TRUE(QDir(program.path()).mkdir("Duplicat.log"));  // a name the log cannot take
        TKaksoisIkkuna w(nullptr, program.path());
        const QString expected = QStringLiteral("Cannot write \"%1\": Is a directory").arg(w.LogFileName());
        if (batch) {
            ASSERT_TRUE(RunBatch(w)) << "the batch run did not end";
            EXPECT_TRUE(w.BatchState().FLog.contains(expected)) << w.BatchState().FLog.join(" | ").toStdString();
            EXPECT_TRUE(w.BatchState().FBatchFailed);
            EXPECT_EQ(w.BatchState().FFailures, QStringList{expected});
            EXPECT_TRUE(w.BatchState().FLog.contains("Found 5 files!"));
            EXPECT_TRUE(handlers.Shown.isEmpty());
        } else {
            EXPECT_EQ(FirstSearch(w), FoundSets);
            EXPECT_EQ(handlers.Shown, QStringList{expected});
        }
    }
}

TEST_F(DuplicateWindow, DupSwitchFromTheMainWindowRunsToTheEnd)
{
    TPaaIkkuna::RegisterTool(TToolKind::Duplicates, [this](QWidget *parent) {
        return new TKaksoisIkkuna(parent, Program.path());
    });
    {
        TPaaIkkuna window(Program.path());
        window.Settings().FDupSameDate = false;
        window.SetCommandLine({"/opt/vaskimo/vaskimo", "-s", "-dup"});
        window.TsiikaaParamssit("-s, -dup");  // auto-close ends the window after its work, not during it
        const QStringList log = window.FLog;
        EXPECT_TRUE(log.contains("-dup"));
        EXPECT_TRUE(log.contains("Started searching duplicate files"));
        EXPECT_TRUE(log.contains("Found 5 files!")) << log.join(" | ").toStdString();
        EXPECT_FALSE(log.contains("Aborted by user!"));
        EXPECT_FALSE(window.FBatchAborted);
    }
    TPaaIkkuna::RegisterTool(TToolKind::Duplicates, {});
}

// A name the code page cannot spell is logged in UTF-8, marked as Windows marks a UTF-8 text, and
// reads back to its own file: reopening loses no set.
TEST_F(DuplicateWindow, ReopenedLogKeepsNamesTheCodePageCannotHold)
{
    Builder.AddFile(QStringLiteral("C:\\dups\\\u03A91.txt"), "omega omega");
    Builder.AddFile(QStringLiteral("C:\\dups\\\u03A92.txt"), "omega omega");
    QStringList found;
    {
        TScopedHandlers handlers;
        TKaksoisIkkuna w(nullptr, Program.path());
        Configure(w);
        w.show();
        QTest::mouseClick(w.btnFind, Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(w));
        EXPECT_EQ(w.GroupCount(), 3);
        found = Listed(w);
    }
    QFile log(Program.path() + "/Duplicat.log");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray bytes = log.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF" "Duplicate files log by Orvendal Vaskimo\r\n"));
    EXPECT_TRUE(bytes.contains(QStringLiteral("C:\\dups\\\u03A91.txt\r\n").toUtf8()));
    TScopedHandlers handlers;
    TKaksoisIkkuna w(nullptr, Program.path());
    w.show();
    ASSERT_TRUE(OfferOldList(w));
    EXPECT_EQ(handlers.Shown.size(), 1) << handlers.Shown.join('|').toStdString();
    EXPECT_EQ(Listed(w), found);
    EXPECT_TRUE(found.contains(QStringLiteral("C:\\dups\\\u03A92.txt")));
}
