// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the folder-size tree over a small fixture tree: totals, cluster slack, links, stop, unreadable folders.
#include "files/FileInfo.h"

#include "DeepTree.h"
#include "support/PrefixBuilder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <fcntl.h>

#include <gtest/gtest.h>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

constexpr qint64 SparseSize = 5LL * 1024 * 1024 * 1024;

void MakeFile(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    if (size > 0 && size < 1 << 20) {
        f.write(QByteArray(size, 'x'));
    } else if (size > 0) {
        ASSERT_TRUE(f.resize(size));  // sparse: no blocks behind it
    }
}

QStringList Names(const TFolderList &list)
{
    QStringList names;
    for (int i = 0; i < list.Count(); ++i)
        names << list.Name(i);
    return names;
}

TFolderList *Sub(const TFolderList &list, const QString &name)
{
    for (int i = 0; i < list.Count(); ++i)
        if (list.Name(i) == name)
            return list.Data(i)->SubList;
    return nullptr;
}

const TFolderData *Item(const TFolderList &list, const QString &name)
{
    for (int i = 0; i < list.Count(); ++i)
        if (list.Name(i) == name)
            return list.Data(i);
    return nullptr;
}

class FolderTreeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        const QString r = FDir.path();
        MakeFile(r + "/a.txt", 1);
        MakeFile(r + "/b.bin", 4096);
        MakeFile(r + "/empty.dat", 0);
        MakeFile(r + "/sub/c.txt", 5000);
        MakeFile(r + "/sub/deep/d.txt", 10);
        QDir().mkpath(r + "/emptydir");
        MakeFile(r + "/big.sparse", SparseSize);
        // A link to a folder of the tree: counting it would count sub twice.
        ASSERT_TRUE(QFile::link(r + "/sub", r + "/link"));
        ASSERT_TRUE(QFile::link(r + "/a.txt", r + "/filelink"));
    }
    QTemporaryDir FDir;
};

TEST_F(FolderTreeTest, TotalsOfTheWholeTreeAndEachLevel)
{
    TFolderList root(nullptr, "C:\\t\\", FDir.path());
    bool stop = false;
    QStringList progress;
    root.Scan(stop, false, 4096, [&progress](const QString &t) { progress << t; });

    EXPECT_EQ(Names(root), QStringList({"a.txt", "b.bin", "big.sparse", "empty.dat", "\\emptydir", "\\sub"}));
    EXPECT_EQ(progress, QStringList({"C:\\t\\...", "C:\\t\\emptydir\\...", "C:\\t\\sub\\...", "C:\\t\\sub\\deep\\..."}));
    const TExtended size = 1 + 4096 + 0 + 5000 + 10 + TExtended(SparseSize);
    EXPECT_EQ(root.TotalSize, size);
    EXPECT_EQ(root.TotalAllocated, 4096 + 4096 + 0 + 8192 + 4096 + TExtended(SparseSize));
    EXPECT_EQ(root.TotalSlack, root.TotalAllocated - root.TotalSize);
    EXPECT_EQ(root.FileCount, 6);
    EXPECT_EQ(root.FolderCount, 3);
    EXPECT_EQ(root.LongestPath, "C:\\t\\sub\\deep\\d.txt");
    EXPECT_EQ(root.LongestPathLength, 19);
    EXPECT_EQ(Item(root, "big.sparse")->Size, TExtended(SparseSize));

    const struct {
        const char *name;
        TExtended allocated, slack;
    } files[] = {{"a.txt", 4096, 4095}, {"b.bin", 4096, 0}, {"empty.dat", 0, 0}};
    for (const auto &f : files) {
        SCOPED_TRACE(f.name);
        const TFolderData *d = Item(root, f.name);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->Allocated, f.allocated);
        EXPECT_EQ(d->Slack, f.slack);
        EXPECT_EQ(d->FileCount, 1);
        EXPECT_EQ(d->Owner, &root);
        EXPECT_EQ(d->SubList, nullptr);
    }

    TFolderList *sub = Sub(root, "\\sub");
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->Path, "C:\\t\\sub\\");
    EXPECT_EQ(sub->Parent, &root);
    EXPECT_EQ(Names(*sub), QStringList({"..", "c.txt", "\\deep"}));
    EXPECT_EQ(sub->TotalSize, 5010);
    EXPECT_EQ(sub->FileCount, 2);
    EXPECT_EQ(sub->FolderCount, 1);
    const TFolderData *subItem = Item(root, "\\sub");
    EXPECT_EQ(subItem->Size, 5010);
    EXPECT_EQ(subItem->Allocated, 8192 + 4096);
    EXPECT_EQ(subItem->FileCount, 2);

    const TFolderData *up = sub->Data(0);
    EXPECT_EQ(up->Size, 0);
    EXPECT_EQ(up->FileCount, 0);
    EXPECT_EQ(up->SubList, nullptr);
    EXPECT_EQ(up->Owner, sub);
    EXPECT_EQ(GetParentList(up), &root);
    EXPECT_EQ(GetParentList(Item(root, "a.txt")), nullptr);

    TFolderList *empty = Sub(root, "\\emptydir");
    ASSERT_TRUE(empty);
    EXPECT_EQ(Names(*empty), QStringList({".."}));
    EXPECT_EQ(Item(root, "\\emptydir")->Size, 0);
    EXPECT_EQ(Item(root, "\\emptydir")->FileCount, 0);
}

TEST_F(FolderTreeTest, ClusterOneAllocatesTheSize)
{
    TFolderList root(nullptr, "C:\\t\\", FDir.path());
    bool stop = false;
    root.Scan(stop, false, 1, {});
    EXPECT_EQ(root.TotalAllocated, root.TotalSize);
    EXPECT_EQ(root.TotalSlack, 0);
}

TEST_F(FolderTreeTest, ResetReleasesTheOldTreeAndARescanGivesTheSameTotals)
{
    TFolderList root(nullptr, ".");
    bool stop = false;
    root.Reset("C:\\t\\", FDir.path());
    root.Scan(stop, false, 4096, {});
    const TExtended first = root.TotalSize;
    root.Reset("C:\\t\\", FDir.path());
    EXPECT_EQ(root.Count(), 0);
    root.Scan(stop, false, 4096, {});
    EXPECT_EQ(root.TotalSize, first);
    EXPECT_EQ(root.Count(), 6);
}

TEST(FolderTree, StopInADeepFolderEndsEveryLevelAfterItsEntry)
{
    QTemporaryDir dir;
    for (const char *f : {"a/a1/x1", "a/a1/x2", "a/a1/x3", "a/a2/y", "b/z", "c"})
        MakeFile(dir.path() + "/" + f, 1);
    TFolderList root(nullptr, "C:\\s\\", dir.path());
    bool stop = false;
    root.Scan(stop, false, 1, [&stop](const QString &t) {
        if (t == "C:\\s\\a\\a1\\...")
            stop = true;
    });
    EXPECT_EQ(Names(root), QStringList({"\\a"}));
    TFolderList *a = Sub(root, "\\a");
    ASSERT_TRUE(a);
    EXPECT_EQ(Names(*a), QStringList({"..", "\\a1"}));
    EXPECT_EQ(Names(*Sub(*a, "\\a1")), QStringList({"..", "x1"}));
    // The partial tree's totals cover what was enumerated.
    EXPECT_EQ(root.TotalSize, 1);
    EXPECT_EQ(root.FileCount, 1);
    EXPECT_EQ(root.FolderCount, 2);
}

// A file layer of our own: names and sizes without a disk.
struct TFakeFolder {
    QList<TSearchRec> Entries;
};

// Folders named in unreadable cannot be read, as the host says with EACCES.
TFolderFiles FakeFiles(QHash<QString, QList<TSearchRec>> folders, QHash<QString, qint64> compressed,
                       QSet<QString> unreadable = {})
{
    TFolderFiles f;
    f.ListFolder = [folders, unreadable](const QString &host, bool, int *error) {
        *error = unreadable.contains(host) ? EACCES : 0;
        return folders.value(host);
    };
    f.CompressedSize = [compressed](const QString &host, qint64 *size) {
        if (!compressed.contains(host))
            return false;
        *size = compressed.value(host);
        return true;
    };
    return f;
}

TSearchRec Rec(const QString &folder, const QString &name, qint64 size, quint32 attr = FileAttr::Archive)
{
    TSearchRec r;
    r.Name = name;
    r.Size = size;
    r.Attr = attr;
    r.HostPath = folder + "/" + name;
    return r;
}

TEST(FolderTree, UnreadableFolderIsListedEmptyAndSkippedWithTheReason)
{
    const QHash<QString, QList<TSearchRec>> folders{
        {"/r", {Rec("/r", "f", 10), Rec("/r", "locked", 0, FileAttr::Directory)}}};
    TFolderList root(nullptr, "C:\\r\\", "/r");
    bool stop = false;
    root.Scan(stop, false, 1, {}, FakeFiles(folders, {}, {"/r/locked"}));
    EXPECT_EQ(Names(root), QStringList({"f", "\\locked"}));
    EXPECT_EQ(Names(*Sub(root, "\\locked")), QStringList({".."}));
    EXPECT_EQ(root.TotalSize, 10);
    EXPECT_EQ(root.FolderCount, 1);
    EXPECT_EQ(root.SkippedFolders, (QList<TFolderList::TSkipped>{{"C:\\r\\locked\\", "Permission denied"}}));
}

TEST(FolderTree, CompressedSizes)
{
    const qint64 huge = 6LL * 1024 * 1024 * 1024 + 7;  // beyond 32 bits: never cut to its low word
    const QHash<QString, QList<TSearchRec>> folders{{"/r",
                                                     {Rec("/r", "packed", 9000, FileAttr::Archive | FileAttrCompressed),
                                                      Rec("/r", "failing", 300, FileAttr::Archive | FileAttrCompressed),
                                                      Rec("/r", "plain", 500),
                                                      Rec("/r", "hugepacked", 8LL << 30, FileAttr::Archive | FileAttrCompressed)}}};
    const QHash<QString, qint64> onDisk{{"/r/packed", 4096}, {"/r/plain", 0}, {"/r/hugepacked", huge}};
    const struct {
        const char *name;
        bool useCompressed;
        TExtended packed, failing, plain, hugepacked;
    } rows[] = {
        {"option on", true, 4096, 300, 500, TExtended(huge)},
        {"option off", false, 9000, 300, 500, TExtended(8LL << 30)},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TFolderList root(nullptr, "C:\\r\\", "/r");
        bool stop = false;
        root.Scan(stop, row.useCompressed, 1, {}, FakeFiles(folders, onDisk));
        EXPECT_EQ(Item(root, "packed")->Size, row.packed);
        EXPECT_EQ(Item(root, "failing")->Size, row.failing);
        EXPECT_EQ(Item(root, "plain")->Size, row.plain);
        EXPECT_EQ(Item(root, "hugepacked")->Size, row.hugepacked);
    }
}

TEST(FolderTree, TotalsStayExactBeyondADouble)
{
    const qint64 big = 1LL << 53;
    const QHash<QString, QList<TSearchRec>> folders{
        {"/r", {Rec("/r", "big", big), Rec("/r", "one", 1), Rec("/r", "d", 0, FileAttr::Directory)}},
        {"/r/d", {Rec("/r/d", "one", 1)}}};
    TFolderList root(nullptr, "C:\\r\\", "/r");
    bool stop = false;
    root.Scan(stop, false, 1, {}, FakeFiles(folders, {}));
    EXPECT_EQ(root.TotalSize, TExtended(big) + 2);
    EXPECT_NE(double(root.TotalSize), double(big) + 1);
}

TEST(FolderTree, EqualLengthsKeepTheFirstLongestPath)
{
    const QHash<QString, QList<TSearchRec>> folders{
        {"/r", {Rec("/r", "ab", 1), Rec("/r", "cd", 1), Rec("/r", "x", 0, FileAttr::Directory)}},
        {"/r/x", {Rec("/r/x", "e", 1)}}};  // "C:\r\x\e" is longer than "C:\r\ab"
    TFolderList root(nullptr, "C:\\r\\", "/r");
    bool stop = false;
    root.Scan(stop, false, 1, {}, FakeFiles(folders, {}));
    EXPECT_EQ(root.LongestPath, "C:\\r\\x\\e");
    TFolderList flat(nullptr, "C:\\r\\", "/r");
    QHash<QString, QList<TSearchRec>> two{{"/r", {Rec("/r", "ab", 1), Rec("/r", "cd", 1)}}};
    flat.Scan(stop, false, 1, {}, FakeFiles(two, {}));
    EXPECT_EQ(flat.LongestPath, "C:\\r\\ab");
}

// What a tool prints, as a number; -1 when it fails.
qint64 Number(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return -1;
    return p.readAllStandardOutput().split('\t').first().trimmed().toLongLong();
}

qint64 Sum(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    qint64 sum = 0;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
        sum += line.trimmed().toLongLong();
    return sum;
}

// What du -sb gives for the files below folder: du counts the folders' own sizes too, the tree
// counts files only. -1 when du fails.
qint64 DuOfFiles(const QString &folder)
{
    const qint64 du = Number("du", {"-sb", folder});
    return du < 0 ? -1 : du - Sum("find", {folder, "-type", "d", "-printf", "%s\n"});
}

TEST(FolderTree, HardLinksCountTheirBytesOnceAsDuDoes)
{
    QTemporaryDir dir;
    const QString r = dir.path();
    MakeFile(r + "/a.bin", 10000);
    MakeFile(r + "/d.bin", 4100);
    ASSERT_TRUE(QDir().mkpath(r + "/sub"));
    ASSERT_EQ(::link(QFile::encodeName(r + "/a.bin").constData(), QFile::encodeName(r + "/b.bin").constData()), 0);
    ASSERT_EQ(::link(QFile::encodeName(r + "/a.bin").constData(), QFile::encodeName(r + "/sub/c.bin").constData()), 0);
    const qint64 files = DuOfFiles(r);
    ASSERT_GT(files, 0);
    TFolderList root(nullptr, "C:\\t\\", r);
    const bool stop = false;
    root.Scan(stop, false, 1, {});
    EXPECT_EQ(qint64(root.TotalSize), files);
    EXPECT_EQ(qint64(root.TotalSize), 14100);
    EXPECT_EQ(root.FileCount, Sum("sh", {"-c", "find \"$0\" -type f | wc -l", r})) << "every name is a file";
}

// Names Windows cannot spell take room on the disk all the same: the tree counts them as du does,
// shown as they stand or escaped; a folder whose name is no text cannot be opened by name and is
// listed as skipped.
TEST(FolderTree, EveryFileCountsWhateverItsName)
{
    QTemporaryDir dir;
    const QString r = dir.path() + "/man3";
    struct TRemove {
        QString Path;
        ~TRemove() { QProcess::execute("rm", {"-rf", Path}); }
    } cleanup{r};
    const QByteArray native = QFile::encodeName(r);
    const struct {
        QByteArray name;
        qint64 size;
    } files[] = {
        {"Foo::Bar.3pm.gz", 1000}, {"back\\slash", 200}, {"new\nline", 300}, {"bad\xff\xfe.gz", 400},
        {"ok.txt", 50}, {"odd:dir/inner.txt", 70}, {"bad\xff" "dir/lost.txt", 90},
    };
    for (const auto &f : files) {
        const QByteArray path = native + '/' + f.name;
        const qsizetype slash = path.lastIndexOf('/');
        ::mkdir(path.left(slash).constData(), 0755);
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << path.constData();
        ASSERT_EQ(::ftruncate(fd, f.size), 0);
        ::close(fd);
    }
    const qint64 onDisk = DuOfFiles(r);
    ASSERT_GT(onDisk, 0);
    TFolderList root(nullptr, "C:\\t\\", r);
    const bool stop = false;
    root.Scan(stop, false, 1, {});
    EXPECT_EQ(qint64(root.TotalSize), onDisk - 90) << "all but the file of the folder that cannot be opened";
    // One character per file: a name may hold a line break.
    EXPECT_EQ(root.FileCount, Sum("sh", {"-c", "find \"$0\" -type f -printf x | wc -c", r}) - 1);
    EXPECT_EQ(Names(root), (QStringList{"back\\slash", "bad%FF%FE.gz", "\\bad%FFdir", "Foo::Bar.3pm.gz", "new%0Aline",
                                       "\\odd:dir", "ok.txt"}));
    ASSERT_EQ(root.SkippedFolders.size(), 1);
    EXPECT_EQ(root.SkippedFolders.constFirst().Path, "C:\\t\\bad%FFdir\\");
    EXPECT_EQ(root.SkippedFolders.constFirst().Reason, "its name is no text in the file-name encoding");
}

TEST(FolderTree, FoldersPastTheHostsPathLimitAreReportedAsSkipped)
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/deep";
    ASSERT_TRUE(QDir().mkpath(base));
    const QByteArray name(200, 'n');
    const int levels = 25;
    const DeepTree::TRemoveAtEnd cleanup{base};
    ASSERT_TRUE(DeepTree::Make(base, name, levels, 100));
    ASSERT_EQ(Sum("sh", {"-c", "find \"$0\" -type f | wc -l", base}), levels) << "find reads the whole tree";
    // Level k's host path is base plus k times "/" and the name.
    int firstTooLong = 1;
    while (QFile::encodeName(base).size() + firstTooLong * (name.size() + 1) < PATH_MAX)
        ++firstTooLong;
    ASSERT_LE(firstTooLong, levels);
    QString skipped = "C:\\t\\";
    for (int k = 0; k < firstTooLong; ++k)
        skipped += QString::fromLatin1(name) + "\\";

    TFolderList root(nullptr, "C:\\t\\", base);
    const bool stop = false;
    root.Scan(stop, false, 1, {});
    ASSERT_EQ(root.SkippedFolders.size(), 1);
    EXPECT_EQ(root.SkippedFolders.constFirst().Path, skipped);
    EXPECT_EQ(root.SkippedFolders.constFirst().Reason, "its path is longer than the system allows");
    EXPECT_EQ(qint64(root.TotalSize), qint64(firstTooLong - 1) * 100) << "the files of every folder read";
    EXPECT_EQ(root.FolderCount, firstTooLong);
}

TEST(FolderTree, RoundToCluster)
{
    const struct {
        const char *name;
        quint64 cluster;
        TExtended bytes;
        double expected;
    } rows[] = {
        {"one byte", 4096, 1, 4096}, {"one cluster", 4096, 4096, 4096}, {"empty", 4096, 0, 0},
        {"just over", 4096, 4097, 8192}, {"cluster 1", 1, 12345, 12345}, {"beyond 32 bits", 4096, 5368709121.0L, 5368713216.0},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(RoundToCluster(r.cluster, r.bytes), r.expected);
    }
}

TEST(FolderTree, WindowsPathThroughThePrefix)
{
    TestSupport::TPrefixBuilder b;
    b.AddFile("C:\\Data\\one.txt", "12345");
    b.AddFile("C:\\Data\\Inner\\two.txt", "12");
    b.MakeCurrent();
    TFolderList root(nullptr, "c:\\data\\");  // spelt another way: matched ignoring case
    bool stop = false;
    root.Scan(stop, false, 1, {});
    EXPECT_EQ(root.TotalSize, 7);
    EXPECT_EQ(Names(root), QStringList({"\\Inner", "one.txt"}));
    EXPECT_EQ(Sub(root, "\\Inner")->Path, "c:\\data\\Inner\\");

    const TVolumeInfo volume = QueryVolume("C:\\");
    EXPECT_TRUE(volume.Known);
    EXPECT_GE(volume.ClusterSize, 1u);
    EXPECT_FALSE(QueryVolume("Q:\\").Known);
    EXPECT_EQ(QueryVolume("Q:\\").ClusterSize, 1u);
}

}  // namespace
