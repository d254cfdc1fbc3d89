// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the deletion thread over a fake file layer that fails chosen deletes, and over real trees.
#include "shell/FileDelThds.h"

#include "platform/DriveMap.h"
#include "files/DeepTree.h"
#include "support/BindMount.h"
#include "support/DeletionLayers.h"
#include "support/SmallDisk.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using TFakeLayer = TestSupport::TMemoryDeletionLayer;

struct TRunResult {
    QList<QPair<int, int>> Progress;
    int Total = -1;
    bool Ended = false;
    QHash<QString, QString> Reasons;  // why the entries that stayed were left
};

TRunResult RunDeletion(const QStringList &files, bool forceRetry, std::shared_ptr<TDeletionFileLayer> layer,
               const std::function<void(TFileDeletionThread *)> &beforeStart = {}, bool permanent = true)
{
    TRunResult result;
    QObject owner;
    QEventLoop loop;
    auto *thread = new TFileDeletionThread(
        &owner, files, [&result](int done, int total) { result.Progress.append({done, total}); }, permanent,
        forceRetry, layer);
    thread->SetOnTerminate([&](TSharedThd *sender) {
        result.Total = static_cast<TFileDeletionThread *>(sender)->Total();
        result.Reasons = static_cast<TFileDeletionThread *>(sender)->EntryReasons();
        result.Ended = true;
        loop.quit();
    });
    if (beforeStart)
        beforeStart(thread);
    thread->Resume();
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return result;
}

TEST(FileDeletionThread, SetAsideAndRetryRules)
{
    const struct {
        const char *name;
        QStringList files, locked, failDelete;
        bool forceRetry;
        QList<QStringList> expectedCalls;
        QStringList left;
        int finalDone;  // set-aside entries that are never retried stay undone
    } cases[] = {
        {"contents before their folder", {"C:\\d\\", "C:\\d\\a", "C:\\d\\b"}, {}, {}, false,
         {{"C:\\d\\b", "C:\\d\\a", "C:\\d\\"}}, {}, 3},
        {"locked file never handed over without force", {"C:\\a", "C:\\b"}, {"C:\\b"}, {}, false,
         {{"C:\\a"}}, {"C:\\b"}, 1},
        {"locked file tried alone at the end with force", {"C:\\a", "C:\\b"}, {"C:\\b"}, {"C:\\b"}, true,
         {{"C:\\a"}, {"C:\\b"}}, {"C:\\b"}, 2},
        {"failing batch sets one entry aside and goes on", {"C:\\a", "C:\\b", "C:\\c"}, {}, {"C:\\b"}, false,
         {{"C:\\c", "C:\\b", "C:\\a"}, {"C:\\a"}}, {"C:\\b"}, 2},
        {"set-aside entry retried with force", {"C:\\a", "C:\\b", "C:\\c"}, {}, {"C:\\b"}, true,
         {{"C:\\c", "C:\\b", "C:\\a"}, {"C:\\a"}, {"C:\\b"}}, {"C:\\b"}, 3},
        {"failing batch of one gives the entry up", {"C:\\a"}, {}, {"C:\\a"}, true, {{"C:\\a"}}, {"C:\\a"}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto layer = std::make_shared<TFakeLayer>();
        for (const QString &f : c.files) {
            layer->Existing.insert(f);
            if (f.endsWith('\\'))
                layer->Folders.insert(f);
        }
        layer->Locked = QSet<QString>(c.locked.begin(), c.locked.end());
        layer->FailDelete = QSet<QString>(c.failDelete.begin(), c.failDelete.end());
        const TRunResult result = RunDeletion(c.files, c.forceRetry, layer);
        ASSERT_TRUE(result.Ended);
        EXPECT_EQ(layer->Calls, c.expectedCalls);
        QStringList left(layer->Existing.begin(), layer->Existing.end());
        left.sort();
        EXPECT_EQ(left, c.left);
        ASSERT_FALSE(result.Progress.isEmpty());
        EXPECT_EQ(result.Progress.last(), qMakePair(c.finalDone, int(c.files.size())));
    }
}

TEST(FileDeletionThread, EmptyMissingAndDuplicateEntriesCountOnce)
{
    auto layer = std::make_shared<TFakeLayer>();
    layer->Existing = {"C:\\a"};
    const TRunResult empty = RunDeletion({}, true, layer);
    ASSERT_TRUE(empty.Ended);
    EXPECT_EQ(empty.Total, 0);
    EXPECT_TRUE(layer->Calls.isEmpty());

    const TRunResult mixed = RunDeletion({"C:\\a", "C:\\a", "", "C:\\gone", "c:\\GONE"}, false, layer);
    ASSERT_TRUE(mixed.Ended);
    EXPECT_EQ(mixed.Total, 3);  // C:\a, the empty entry and C:\gone in either spelling
    EXPECT_EQ(layer->Calls, QList<QStringList>({{"C:\\a"}}));
    EXPECT_EQ(mixed.Progress.last(), qMakePair(3, 3));
}

TEST(FileDeletionThread, SuccessfulBatchThatLeavesAFileEnds)
{
    auto layer = std::make_shared<TFakeLayer>();
    layer->Existing = {"C:\\a", "C:\\stays"};
    layer->Survives = {"C:\\stays"};
    const TRunResult result = RunDeletion({"C:\\a", "C:\\stays"}, true, layer);
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(layer->Calls.size(), 1);
    EXPECT_TRUE(layer->Existing.contains("C:\\stays"));
}

TEST(FileDeletionThread, AbortStopsBeforeTheNextBatchOrRetry)
{
    {
        SCOPED_TRACE("aborted before the start");
        auto layer = std::make_shared<TFakeLayer>();
        layer->Existing = {"C:\\a"};
        const TRunResult result = RunDeletion({"C:\\a"}, true, layer, [](TFileDeletionThread *t) { t->Terminate(); });
        ASSERT_TRUE(result.Ended);
        EXPECT_TRUE(layer->Calls.isEmpty());
    }
    {
        SCOPED_TRACE("aborted during the retries");
        auto layer = std::make_shared<TFakeLayer>();
        layer->Existing = {"C:\\a", "C:\\x", "C:\\y"};
        layer->Locked = {"C:\\x", "C:\\y"};
        TFileDeletionThread *running = nullptr;
        layer->OnDelete = [&layer, &running] {
            if (layer->Calls.size() == 1)  // the first retry: the user presses Abort now
                running->Terminate();
        };
        const TRunResult result =
            RunDeletion({"C:\\a", "C:\\x", "C:\\y"}, true, layer, [&running](TFileDeletionThread *t) { running = t; });
        ASSERT_TRUE(result.Ended);
        EXPECT_EQ(layer->Calls, QList<QStringList>({{"C:\\a"}, {"C:\\x"}}));
    }
}

QStringList Entries(int count)
{
    QStringList entries;
    for (int i = 0; i < count; ++i)
        entries.append(QStringLiteral("C:\\f%1").arg(i, 5, 10, QChar('0')));
    return entries;
}

TEST(FileDeletionThread, AStopLeavesTheRestWithItsReason)
{
    auto layer = std::make_shared<TFakeLayer>();
    QStringList files;
    for (int i = 0; i < TFileDeletionThread::FirstBatch + 5; ++i)
        files << QStringLiteral("C:\\f%1").arg(i, 2, 10, QLatin1Char('0'));
    layer->Existing = QSet<QString>(files.begin(), files.end());
    TFileDeletionThread *running = nullptr;
    layer->OnDelete = [&running] { running->Terminate(); };
    const TRunResult result = RunDeletion(files, false, layer, [&running](TFileDeletionThread *t) { running = t; });
    ASSERT_TRUE(result.Ended);
    // The first batch ran to its end; what it did not hold was never tried.
    ASSERT_EQ(layer->Existing.size(), 5);
    EXPECT_EQ(result.Reasons.size(), 5);
    for (const QString &entry : std::as_const(layer->Existing))
        EXPECT_EQ(result.Reasons.value(entry), "the deletion was stopped before it") << entry.toStdString();
}

TEST(FileDeletionThread, BatchesGrowAndTheProgressFollowsEachOne)
{
    const QStringList files = Entries(5000);
    auto layer = std::make_shared<TFakeLayer>();
    layer->Existing = QSet<QString>(files.begin(), files.end());
    const TRunResult result = RunDeletion(files, false, layer);
    ASSERT_TRUE(result.Ended);
    EXPECT_TRUE(layer->Existing.isEmpty());
    // Fast deletes: 16 entries first, then batches that grow (16, 32, 64 ... when nothing else
    // holds the machine up), every entry once, last first.
    QList<int> sizes;
    QStringList handed;
    for (const QStringList &call : std::as_const(layer->Calls)) {
        sizes.append(int(call.size()));
        handed += call;
    }
    ASSERT_FALSE(sizes.isEmpty());
    EXPECT_EQ(sizes.first(), TFileDeletionThread::FirstBatch);
    EXPECT_LT(sizes.size(), 5000 / 100) << "the batches never grew";
    QStringList descending = files;
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(handed, descending);
    // The bar stands at what the batches so far deleted.
    QList<int> expectedDone{0};
    for (int size : sizes)
        expectedDone.append(expectedDone.last() + size);
    QList<int> done;
    for (const auto &[d, total] : result.Progress) {
        EXPECT_EQ(total, 5000);
        if (done.isEmpty() || done.last() != d)
            done.append(d);
    }
    EXPECT_EQ(done, expectedDone);
}

TEST(FileDeletionThread, SlowBatchesShrinkAndAnAbortEndsTheNextOne)
{
    {
        SCOPED_TRACE("a slow disk");
        const QStringList files = Entries(40);
        auto layer = std::make_shared<TFakeLayer>();
        layer->Existing = QSet<QString>(files.begin(), files.end());
        layer->OnDelete = [&layer] {
            if (layer->Calls.isEmpty())
                std::this_thread::sleep_for(std::chrono::milliseconds(3 * TFileDeletionThread::BatchTime));
        };
        ASSERT_TRUE(RunDeletion(files, false, layer).Ended);
        ASSERT_GE(layer->Calls.size(), 2);
        EXPECT_EQ(layer->Calls.at(0).size(), TFileDeletionThread::FirstBatch);
        EXPECT_EQ(layer->Calls.at(1).size(), TFileDeletionThread::FirstBatch / 2);
    }
    {
        SCOPED_TRACE("Abort during the second batch");
        const QStringList files = Entries(1000);
        auto layer = std::make_shared<TFakeLayer>();
        layer->Existing = QSet<QString>(files.begin(), files.end());
        TFileDeletionThread *running = nullptr;
        layer->OnDelete = [&layer, &running] {
            if (layer->Calls.size() == 1)
                running->Terminate();
        };
        const TRunResult result =
            RunDeletion(files, true, layer, [&running](TFileDeletionThread *t) { running = t; });
        ASSERT_TRUE(result.Ended);
        ASSERT_EQ(layer->Calls.size(), 2);
        EXPECT_EQ(layer->Existing.size(), 1000 - layer->Calls.at(0).size() - layer->Calls.at(1).size());
    }
}

// A real tree behind a drive map whose C: is a temporary folder.
class HostDeletion : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Drive = Temp.path() + "/prefix/drive_c";
        QDir().mkpath(Drive);
        QDir().mkpath(Temp.path() + "/prefix/dosdevices");
        QFile::link("../drive_c", Temp.path() + "/prefix/dosdevices/c:");
        QFile::link("/", Temp.path() + "/prefix/dosdevices/z:");
        Drives = TDriveMap::FromFolder(Temp.path() + "/prefix/dosdevices", Temp.path() + "/prefix");
        TrashHome = Temp.path() + "/home/.local/share/Trash";
    }
    void Write(const QString &relative, const QByteArray &data = "x")
    {
        const QString path = Drive + "/" + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    bool Exists(const QString &relative) const
    {
        return QFileInfo(Drive + "/" + relative).exists() || QFileInfo(Drive + "/" + relative).isSymLink();
    }
    QTemporaryDir Temp;
    QString Drive, TrashHome;
    TDriveMap Drives;
};

TEST_F(HostDeletion, RefusesEntriesThatNameNoSingleObject)
{
    THostDeletionLayer layer(Drives, TrashHome);
    Write("Temp/a.tmp");
    // Win32 reads "Temp." as "Temp" and "a.tmp " as "a.tmp": never the file the entry spells.
    Write("Temp./a.tmp");
    Write("Temp/a.tmp ");
    const struct { const char *name, *entry; } refused[] = {
        {"empty", ""},           {"relative", "Temp\\a.tmp"},      {"drive relative", "C:Temp\\a.tmp"},
        {"drive root", "C:\\"},  {"drive letter", "C:"},           {"host root", "Z:\\"},
        {"UNC", "\\\\server\\share\\a.tmp"}, {"dot dot", "C:\\Temp\\..\\Temp\\a.tmp"},
        {"missing", "C:\\Temp\\b.tmp"}, {"folder with a trailing dot", "C:\\Temp.\\a.tmp"},
        {"name with a trailing blank", "C:\\Temp\\a.tmp "}, {"dot", "C:\\Temp\\.\\a.tmp"},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(layer.Resolve(QString::fromUtf8(c.entry)).isEmpty());
    }
    EXPECT_EQ(layer.Resolve("C:\\Temp\\a.tmp"), QFileInfo(Drive).canonicalFilePath() + "/Temp/a.tmp");
}

TEST_F(HostDeletion, TwoSpellingsMergeButCaseTwinsStayApart)
{
    THostDeletionLayer layer(Drives, TrashHome);
    Write("Temp/a.tmp");
    Write("Temp/Twin.tmp", "upper");
    Write("Temp/twin.tmp", "lower");
    const QString host = QFileInfo(Drive).canonicalFilePath();
    EXPECT_EQ(layer.Resolve("c:\\temp\\A.TMP"), layer.Resolve("C:\\Temp\\a.tmp"));
    EXPECT_EQ(layer.Resolve("Z:" + QString(host).replace('/', '\\') + "\\Temp\\a.tmp"),
              layer.Resolve("C:\\Temp\\a.tmp"));
    EXPECT_NE(layer.Resolve("C:\\Temp\\Twin.tmp"), layer.Resolve("C:\\Temp\\twin.tmp"));

    FileDeletion::SetLayer(std::make_shared<THostDeletionLayer>(Drives, TrashHome));
    const TRunResult result = RunDeletion(
        {"C:\\Temp\\twin.tmp", "C:\\Temp\\Twin.tmp", "c:\\temp\\A.TMP", "C:\\Temp\\a.tmp"}, false, nullptr);
    FileDeletion::SetLayer(nullptr);
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(result.Total, 3);
    EXPECT_FALSE(Exists("Temp/twin.tmp"));
    EXPECT_FALSE(Exists("Temp/Twin.tmp"));
    EXPECT_FALSE(Exists("Temp/a.tmp"));
}

TEST_F(HostDeletion, PermanentDeleteOfARealTree)
{
    Write("Tree/sub/deeper/file.txt");
    Write("Tree/sub/.dotfile");
    Write("Tree/NOEXT");
    Write("Tree/.hiddenfolder/x");
    Write("Keep/keep.txt");
    QDir().mkpath(Temp.path() + "/outside");
    QFile out(Temp.path() + "/outside/target.txt");
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.close();
    ASSERT_TRUE(QFile::link(Temp.path() + "/outside", Drive + "/Tree/sub/linked"));
    ASSERT_TRUE(QFile::link(Temp.path() + "/outside", Drive + "/alsolinked"));

    auto layer = std::make_shared<THostDeletionLayer>(Drives, TrashHome);
    const TRunResult result =
        RunDeletion({"C:\\Tree\\", "C:\\Tree\\sub\\", "C:\\Tree\\NOEXT", "C:\\alsolinked"}, false, layer);
    ASSERT_TRUE(result.Ended);
    EXPECT_FALSE(Exists("Tree"));
    EXPECT_FALSE(Exists("alsolinked"));
    EXPECT_TRUE(Exists("Keep/keep.txt"));
    EXPECT_TRUE(QFileInfo::exists(Temp.path() + "/outside/target.txt"));
    EXPECT_FALSE(QFileInfo::exists(TrashHome));
}

// A folder that holds a mount is emptied only of its own: what another file system holds there,
// or a bind mount of a folder from elsewhere on the same one, stays, and the folder is kept with
// the reason.
TEST_F(HostDeletion, PermanentDeleteNeverEntersAMount)
{
    TestSupport::TSmallDisk disk("512k");
    VASKIMO_NEED_DISK(disk);
    const QString elsewhere = Temp.path() + "/elsewhere";
    QDir().mkpath(elsewhere + "/folder");
    for (const QString &path : {disk.Path() + "/theirs.txt", elsewhere + "/folder/mine.txt"}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    }
    const struct { const char *name, *tree; QString source; } cases[] = {
        {"another file system", "Media", disk.Path()},
        {"a bind mount of the same file system", "Bound", elsewhere},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString tree = QString::fromLatin1(c.tree);
        Write(tree + "/own.tmp");
        TestSupport::TBindMount mount(c.source, Drive + "/" + tree + "/sub/mnt");
        VASKIMO_NEED_MOUNT(mount);
        const QString entry = "C:\\" + tree + "\\";
        const TRunResult result = RunDeletion({entry}, false, std::make_shared<THostDeletionLayer>(Drives, TrashHome));
        ASSERT_TRUE(result.Ended);
        EXPECT_FALSE(Exists(tree + "/own.tmp"));
        EXPECT_TRUE(Exists(tree + "/sub/mnt"));
        EXPECT_EQ(result.Reasons.value(entry),
                  QFileInfo(Drive).canonicalFilePath() + "/" + tree + "/sub/mnt: another file system is mounted there");
    }
    EXPECT_TRUE(QFileInfo::exists(disk.Path() + "/theirs.txt"));
    EXPECT_TRUE(QFileInfo::exists(elsewhere + "/folder/mine.txt"));
}

// One descriptor per level would run out long before a tree this deep is gone; its paths are also
// longer than any path the system takes.
TEST_F(HostDeletion, PermanentDeleteOfATreeDeeperThanTheOpenFileLimit)
{
    constexpr int Levels = 300;
    constexpr rlim_t Limit = 256;
    const QString tree = Drive + "/Deep";
    QDir().mkpath(tree);
    const DeepTree::TRemoveAtEnd cleanup{tree};
    ASSERT_TRUE(DeepTree::Make(tree, QByteArray(20, 'd'), Levels, 10));
    Write("Keep/keep.txt");

    // A child process under the lowered limit, so the test binary keeps its own.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const struct rlimit lowered{Limit, Limit};
        THostDeletionLayer layer(Drives, TrashHome);
        const QString host = layer.Resolve("C:\\Deep");
        ::_exit(::setrlimit(RLIMIT_NOFILE, &lowered) != 0 ? 3 : host.isEmpty() ? 4 : layer.Delete({host}, true) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(Exists("Deep"));
    EXPECT_TRUE(Exists("Keep/keep.txt"));
}

TEST_F(HostDeletion, RecycleBinDeleteGoesToTheTrash)
{
    Write("Temp/a.tmp", "aaa");
    Write("Temp/Folder/inner.bak");
    QDir().mkpath(Temp.path() + "/outside");
    ASSERT_TRUE(QFile::link(Temp.path() + "/outside", Drive + "/Temp/link"));
    auto layer = std::make_shared<THostDeletionLayer>(Drives, TrashHome);
    const TRunResult result =
        RunDeletion({"C:\\Temp\\a.tmp", "C:\\Temp\\Folder\\", "C:\\Temp\\link"}, false, layer, {}, false);
    ASSERT_TRUE(result.Ended);
    EXPECT_FALSE(Exists("Temp/a.tmp"));
    EXPECT_FALSE(Exists("Temp/Folder"));
    EXPECT_TRUE(QFileInfo::exists(TrashHome + "/files/a.tmp"));
    EXPECT_TRUE(QFileInfo::exists(TrashHome + "/files/Folder/inner.bak"));
    EXPECT_TRUE(QFileInfo(TrashHome + "/files/link").isSymLink());
    EXPECT_TRUE(QFileInfo::exists(Temp.path() + "/outside"));
    for (const char *name : {"a.tmp", "Folder", "link"}) {
        SCOPED_TRACE(name);
        QFile info(TrashHome + "/info/" + name + ".trashinfo");
        ASSERT_TRUE(info.open(QIODevice::ReadOnly));
        const QByteArray text = info.readAll();
        const QString original = QFileInfo(Drive).canonicalFilePath() + "/Temp/" + name;
        EXPECT_TRUE(text.contains("Path=" + QFile::encodeName(original).toPercentEncoding("/") + "\n"));
        // Restoring is moving the item back to Path=.
        ASSERT_TRUE(QFile::rename(TrashHome + "/files/" + name, original));
    }
    QFile back(Drive + "/Temp/a.tmp");
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), "aaa");
}

TEST_F(HostDeletion, TrashFailureNeverDeletesForGood)
{
    Write("Temp/a.tmp");
    // A file where the Trash folder should be: nothing can be trashed.
    QDir().mkpath(QFileInfo(TrashHome).path());
    QFile blocker(TrashHome);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto layer = std::make_shared<THostDeletionLayer>(Drives, TrashHome);
    const TRunResult result = RunDeletion({"C:\\Temp\\a.tmp"}, true, layer, {}, false);
    ASSERT_TRUE(result.Ended);
    EXPECT_TRUE(Exists("Temp/a.tmp"));
}

// Each entry kept is kept for a reason the system gave: a full disk under the trash, a medium
// that cannot be written, a trash folder that cannot be made.
TEST_F(HostDeletion, EachEntryKeptHasTheSystemsReason)
{
    TestSupport::TSmallDisk disk("1m");
    VASKIMO_NEED_DISK(disk);
    ASSERT_TRUE(QFile::link(disk.Path(), Drive + "/disk"));
    for (const char *name : {"disk/full.tmp", "disk/Folder/inner.tmp", "Temp/a.tmp"})
        Write(name);
    const QString blockedTrash = Temp.path() + "/blocked/Trash";
    QDir().mkpath(QFileInfo(blockedTrash).path());
    QFile blocker(blockedTrash);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString diskTrash = QFileInfo(disk.Path()).canonicalFilePath() + "/.Trash-" + QString::number(::getuid());

    ASSERT_TRUE(disk.Fill());
    TRunResult result = RunDeletion({"C:\\disk\\full.tmp"}, false, std::make_shared<THostDeletionLayer>(Drives, TrashHome), {}, false);
    EXPECT_EQ(result.Reasons.value("C:\\disk\\full.tmp"),
              "cannot create a trash info file in " + diskTrash + ": No space left on device");
    disk.Unfill();

    ASSERT_TRUE(disk.SetReadOnly(true));
    result = RunDeletion({"C:\\disk\\full.tmp", "C:\\disk\\Folder\\"}, false, std::make_shared<THostDeletionLayer>(Drives, TrashHome));
    EXPECT_EQ(result.Reasons.value("C:\\disk\\full.tmp"), "it cannot be opened for writing: Read-only file system");
    EXPECT_EQ(result.Reasons.value("C:\\disk\\Folder\\"),
              QFileInfo(disk.Path()).canonicalFilePath() + "/Folder/inner.tmp: Read-only file system");
    ASSERT_TRUE(disk.SetReadOnly(false));

    result = RunDeletion({"C:\\Temp\\a.tmp"}, false, std::make_shared<THostDeletionLayer>(Drives, blockedTrash), {}, false);
    EXPECT_EQ(result.Reasons.value("C:\\Temp\\a.tmp"), "cannot make the trash folder " + blockedTrash + ": Not a directory");
    EXPECT_TRUE(Exists("Temp/a.tmp"));
}

} // namespace
