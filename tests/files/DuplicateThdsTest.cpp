// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the duplicate finder's stages: key lines, chunks, merge, grouping, stops, fdupes parity.
#include "files/Crc32.h"
#include "files/DuplicateThds.h"
#include "files/md5.h"
#include "support/Pattern.h"
#include "support/SmallDisk.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QMutex>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/xattr.h>

#include <algorithm>
#include <map>
#include <set>

#include <unistd.h>

using namespace Duplicate;

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// Drive D: is the fixture folder; chosen host paths read as unreadable or as cut short.
class TFixtureLayer : public TFileLayer
{
public:
    explicit TFixtureLayer(QString root) : Root(std::move(root)) {}
    QString HostRoot(QChar letter) const override { return letter.toUpper() == u'D' ? Root : QString(); }
    TPathMapping ToHost(const QString &windowsPath) const override
    {
        return {TPathState::Resolved, HostPathOf(Root, windowsPath)};
    }
    QList<TSearchRec> ListFolder(const QString &hostFolder, QList<TSearchRec> *faulted,
                                 const HostFiles::TListNeeds &needs) const override
    {
        if (OnList)
            OnList(hostFolder);
        return TFileLayer::ListFolder(hostFolder, faulted, needs);
    }
    std::unique_ptr<QIODevice> OpenRead(const QString &hostPath) const override
    {
        const QString relative = QDir(Root).relativeFilePath(hostPath);
        if (Unreadable.contains(relative))
            return nullptr;
        if (ChangedAfter.contains(relative)) {
            QMutexLocker lock(&Mutex);
            if (++Opens[relative] > ChangedAfter.value(relative).first) {
                auto buffer = std::make_unique<QBuffer>();
                buffer->setData(ChangedAfter.value(relative).second);
                buffer->open(QIODevice::ReadOnly);
                return buffer;
            }
        }
        if (CutShort.contains(relative)) {
            QFile file(hostPath);
            file.open(QIODevice::ReadOnly);
            auto buffer = std::make_unique<QBuffer>();
            buffer->setData(file.read(CutShort.value(relative)));
            buffer->open(QIODevice::ReadOnly);
            return buffer;
        }
        return TFileLayer::OpenRead(hostPath);
    }

    QString Root;
    QSet<QString> Unreadable;         // relative paths
    QMap<QString, qint64> CutShort;   // relative path -> bytes it still gives
    QMap<QString, QPair<int, QByteArray>> ChangedAfter;  // path -> opens before it reads as these bytes
    mutable QMutex Mutex;
    mutable QMap<QString, int> Opens;
    std::function<void(const QString &)> OnList;
};

QByteArray Pattern(qsizetype size, quint32 seed)
{
    return TestSupport::XorShiftBytes(size, seed * 2654435761u + 1);
}

void WriteFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(data);
}

QStringList ReadLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void WriteLines(const QString &path, const QStringList &lines)
{
    QByteArray data;
    for (const QString &line : lines)
        data += line.toUtf8() + "\r\n";
    WriteFile(path, data);
}

// The files beside base whose names show they are the finder's temporaries.
QStringList Temporaries(const QString &base)
{
    const QFileInfo info(base);
    return info.absoluteDir().entryList({info.fileName() + QStringLiteral(".*")}, QDir::Files);
}

using TSets = std::set<std::set<QString>>;

// Runs scan, merge and comparison one after the other, as the window chains them.
struct TPipeline {
    QObject Owner;
    std::vector<TFoundFile> Found;
    qint64 FilesFound = -1;
    QString Error;
    QStringList Chunks;

    void Run(const QString &base, const TScanRequest &scan, const TCompareRequest &compare,
             std::shared_ptr<const TFileLayer> layer)
    {
        QEventLoop loop;
        auto *scanner = new TScanFilThd(&Owner, base, {}, {}, scan, layer);
        scanner->SetOnTerminate([&, layer](TSharedThd *thread) {
            auto *s = static_cast<TScanFilThd *>(thread);
            FilesFound = s->Count64();
            Chunks = s->ChunkFiles();
            if (s->ErrorCode() < 0 || FilesFound == 0) {
                Error = s->ErrorText();
                loop.quit();
                return;
            }
            auto *merge = new TMergeThd(&Owner, base, {}, {}, Chunks);
            merge->SetOnTerminate([&, layer](TSharedThd *m) {
                if (m->ErrorCode() < 0) {
                    Error = m->ErrorText();
                    loop.quit();
                    return;
                }
                auto *dupes = new TDupesThd(&Owner, base, {}, {}, compare,
                                            [&](const TFoundFile &f) { Found.push_back(f); }, layer);
                dupes->SetOnTerminate([&](TSharedThd *d) {
                    Error = d->ErrorText();
                    loop.quit();
                });
                dupes->Resume();
            });
            merge->Resume();
        });
        scanner->Resume();
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
    }

    // Sets as relative paths with "/", the form fdupes prints below the root.
    TSets Sets() const
    {
        std::map<qint64, std::set<QString>> bySet;
        for (const TFoundFile &f : Found) {
            QString path = f.Folder.mid(3) + u'\\' + f.Name;
            if (path.startsWith(u'\\'))
                path.remove(0, 1);
            bySet[f.SetNumber].insert(path.replace(u'\\', u'/'));
        }
        TSets sets;
        for (const auto &[number, files] : bySet)
            sets.insert(files);
        return sets;
    }
};

TSets Fdupes(const QString &root)
{
    QProcess fdupes;
    fdupes.start(QStringLiteral("fdupes"), {QStringLiteral("-r"), root});
    if (!fdupes.waitForFinished(60000))
        return {};
    TSets sets;
    std::set<QString> current;
    for (const QString &line : QString::fromUtf8(fdupes.readAllStandardOutput()).split(u'\n')) {
        if (line.isEmpty()) {
            if (!current.empty())
                sets.insert(current);
            current.clear();
        } else {
            current.insert(QDir(root).relativeFilePath(line));
        }
    }
    if (!current.empty())
        sets.insert(current);
    return sets;
}

std::string Describe(const TSets &sets)
{
    std::string text;
    for (const auto &set : sets) {
        text += "{";
        for (const QString &file : set)
            text += " " + file.toStdString();
        text += " }\n";
    }
    return text;
}

QString Crc(const QByteArray &data)
{
    return QString::number(Crc32Final(Crc32Update(Crc32Start, data.constData(), std::size_t(data.size()))));
}

QString Md5(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex().toUpper());
}

}  // namespace

// --- key lines -------------------------------------------------------------------------------

TEST(KeyLine, LayoutForEachSizeAndDateChoice)
{
    TKeyFields fields;
    fields.Name = QStringLiteral("readme.txt");
    fields.Folder = QStringLiteral("C:\\Docs");
    fields.Size = 298;
    fields.Date = 0x3A2B1C4D;
    fields.Attr = 0x20;
    const struct { const char *name; bool size, date; const char *line; } cases[] = {
        {"size and date", true, true, "000000000000012A3A2B1C4Dreadme.txt?C:\\Docs*00000020"},
        {"size only", true, false, "000000000000012Areadme.txt?C:\\Docs*3A2B1C4D00000020"},
        {"date only", false, true, "3A2B1C4Dreadme.txt?C:\\Docs*000000000000012A00000020"},
        {"neither", false, false, "readme.txt?C:\\Docs*000000000000012A3A2B1C4D00000020"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString line = MakeKeyLine(fields, c.size, c.date);
        EXPECT_EQ(line, QLatin1String(c.line));
        for (qint64 size : {qint64(0), qint64(298), qint64(0xFFFFFFFF), qint64(0x10000012A), qint64(1) << 62}) {
            TKeyFields sized = fields;
            sized.Size = size;
            TKeyFields back;
            ASSERT_TRUE(ParseKeyLine(MakeKeyLine(sized, c.size, c.date), c.size, c.date, back)) << size;
            EXPECT_EQ(back.Size, size);
            EXPECT_EQ(back.Name, fields.Name);
            EXPECT_EQ(back.Folder, fields.Folder);
            EXPECT_EQ(back.Date, fields.Date);
            EXPECT_EQ(back.Attr, fields.Attr);
        }
    }
    TKeyFields back;
    EXPECT_FALSE(ParseKeyLine(u"readme.txt?C:\\Docs*0020", false, false, back));
    EXPECT_FALSE(ParseKeyLine(u"000000000000012Areadme.txt?C:\\Docs*3A2B1C4D0000002G", true, false, back));
}

TEST(KeyLine, GroupKeyAndOrder)
{
    const QString line = QStringLiteral("000000000000012A3A2B1C4Dreadme.txt?C:\\Docs*00000020");
    EXPECT_EQ(GroupKeyLength(line, true, true, true), 35);
    EXPECT_EQ(GroupKeyLength(line, false, true, true), 24);
    EXPECT_EQ(GroupKeyLength(line, false, true, false), 16);
    EXPECT_EQ(GroupKeyLength(u"readme.txt?C:\\Docs*x", true, false, false), 11);

    // Lines that differ in case only stay neighbours, in one fixed order.
    QStringList lines{QStringLiteral("b?D:*1"), QStringLiteral("A?D:*2"), QStringLiteral("B?D:*1"),
                      QStringLiteral("a?D:*2"), QStringLiteral("\u00C9?D:*1"), QStringLiteral("\u00E9?D:*1")};
    std::sort(lines.begin(), lines.end(), [](const QString &a, const QString &b) { return CompareKeyLines(a, b) < 0; });
    EXPECT_EQ(lines, (QStringList{QStringLiteral("A?D:*2"), QStringLiteral("a?D:*2"), QStringLiteral("B?D:*1"),
                                  QStringLiteral("b?D:*1"), QStringLiteral("\u00C9?D:*1"), QStringLiteral("\u00E9?D:*1")}));
}

TEST(KeyLine, AttributeAndChunkNames)
{
    EXPECT_EQ(AttrText(0x27), QStringLiteral("R H S A"));
    EXPECT_EQ(AttrText(0x20), QStringLiteral("A"));
    EXPECT_EQ(AttrText(0x10), QString());
    EXPECT_EQ(ChunkName(QStringLiteral("/p/Duplicat.tmp"), 0), QStringLiteral("/p/Duplicat.tmp.000"));
    EXPECT_EQ(ChunkName(QStringLiteral("/p/Duplicat.tmp"), 1000), QStringLiteral("/p/Duplicat.tmp.1000"));
}

// --- scan ------------------------------------------------------------------------------------

TEST(Scan, ChunksAroundTheChunkSize)
{
    const struct { const char *name; int chunk, files, chunks; } cases[] = {
        {"N-1", 4, 3, 1}, {"N", 4, 4, 1}, {"N+1", 4, 5, 2},
        {"4096-1", 4096, 4095, 1}, {"4096", 4096, 4096, 1}, {"4096+1", 4096, 4097, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString root = dir.filePath(QStringLiteral("tree"));
        QDir().mkpath(root);
        for (int i = 0; i < c.files; ++i)
            WriteFile(root + QStringLiteral("/f%1.txt").arg(i), QByteArray::number(i % 7));
        const QString base = dir.filePath(QStringLiteral("Duplicat.tmp"));
        TScanRequest request;
        request.Folders = {QStringLiteral("D:")};
        request.ChunkLines = c.chunk;
        TPipeline run;
        auto layer = std::make_shared<TFixtureLayer>(root);
        QEventLoop loop;
        auto *scan = new TScanFilThd(&run.Owner, base, {}, {}, request, layer);
        scan->SetOnTerminate([&](TSharedThd *t) {
            run.FilesFound = static_cast<TScanFilThd *>(t)->Count64();
            run.Chunks = static_cast<TScanFilThd *>(t)->ChunkFiles();
            loop.quit();
        });
        scan->Resume();
        loop.exec();
        EXPECT_EQ(run.FilesFound, c.files);
        ASSERT_EQ(run.Chunks.size(), c.chunks);
        qsizetype lines = 0;
        for (const QString &chunk : run.Chunks) {
            const QStringList chunkLines = ReadLines(chunk);
            EXPECT_LE(chunkLines.size(), c.chunk);
            EXPECT_TRUE(std::is_sorted(chunkLines.begin(), chunkLines.end(),
                                       [](const QString &a, const QString &b) { return CompareKeyLines(a, b) < 0; }));
            lines += chunkLines.size();
        }
        EXPECT_EQ(lines, c.files);
        EXPECT_EQ(Temporaries(base).size(), c.chunks);
    }
}

TEST(Scan, OneLinePerPhysicalFile)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    WriteFile(root + QStringLiteral("/a.txt"), "same");
    WriteFile(root + QStringLiteral("/b.txt"), "same");
    WriteFile(root + QStringLiteral("/sub/c.txt"), "same");
    ASSERT_EQ(::link(QFile::encodeName(root + QStringLiteral("/a.txt")).constData(),
                     QFile::encodeName(root + QStringLiteral("/sub/hard.txt")).constData()), 0);
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/sub"), root + QStringLiteral("/linked")));
    ::mkfifo(QFile::encodeName(root + QStringLiteral("/pipe.txt")).constData(), 0600);
    const QString base = dir.filePath(QStringLiteral("Duplicat.tmp"));

    // Two masks that both match, a chunk boundary after every line, and a chosen folder that
    // lies inside another chosen one.
    TScanRequest request;
    request.Folders = {QStringLiteral("D:"), QStringLiteral("D:\\sub")};
    request.Masks = {QStringLiteral("*.*"), QStringLiteral("*.txt")};
    request.ChunkLines = 1;
    TCompareRequest compare;
    compare.SameCRC = true;
    TPipeline run;
    run.Run(base, request, compare, std::make_shared<TFixtureLayer>(root));
    EXPECT_EQ(run.Error, QString());
    EXPECT_EQ(run.FilesFound, 3);  // a (= hard), b, sub/c; no link, no pipe
    const TSets sets = run.Sets();
    ASSERT_EQ(sets.size(), 1u) << Describe(sets);
    EXPECT_EQ(sets.begin()->size(), 3u) << Describe(sets);
    EXPECT_TRUE(Temporaries(base).isEmpty());
}

// Hidden folders hold a repository's objects, keys and settings: never offered as duplicates,
// while a hidden file in a folder the scan walks is a file like any other.
TEST(Scan, HiddenFoldersAreNeverWalked)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    for (const char *name : {"a.txt", ".b.txt", "sub/c.txt", ".git/objects/d.txt", ".ssh/e.txt", "Wine hid this/f.txt"})
        WriteFile(root + u'/' + QLatin1String(name), "same");
    const QByteArray hidden = "0x12";
    const bool attributes = ::setxattr(QFile::encodeName(root + QStringLiteral("/Wine hid this")).constData(), "user.DOSATTRIB",
                                       hidden.constData(), std::size_t(hidden.size()), 0) == 0;
    TScanRequest request;
    request.Folders = {QStringLiteral("D:")};
    TCompareRequest compare;
    compare.SameCRC = true;
    TPipeline run;
    run.Run(dir.filePath(QStringLiteral("Duplicat.tmp")), request, compare, std::make_shared<TFixtureLayer>(root));
    EXPECT_EQ(run.Error, QString());
    EXPECT_EQ(run.FilesFound, attributes ? 3 : 4);
}

TEST(Scan, SkipRules)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    WriteFile(root + QStringLiteral("/keep.txt"), "x");
    WriteFile(root + QStringLiteral("/MyTempFile.txt"), "x");
    WriteFile(root + QStringLiteral("/Temp/inside.txt"), "x");
    WriteFile(root + QStringLiteral("/Recycled/binned.txt"), "x");
    WriteFile(root + QStringLiteral("/Recycle Bin/kept.txt"), "x");
    WriteFile(root + QStringLiteral("/shell/Desktop.ini"), "x");
    WriteFile(root + QStringLiteral("/shell/hidden.txt"), "x");
    WriteFile(root + QStringLiteral("/empty.txt"), "");
    const QString base = dir.filePath(QStringLiteral("Duplicat.tmp"));
    TScanRequest request;
    request.Folders = {QStringLiteral("D:\\")};
    request.SameName = true;
    request.SkipList = {QStringLiteral("temp"), QString()};  // the empty entry skips nothing
    request.SkipDesktopIni = true;
    request.SkipEmpty = true;
    TPipeline run;
    run.Run(base, request, {}, std::make_shared<TFixtureLayer>(root));
    EXPECT_EQ(run.FilesFound, 2);  // keep.txt and Recycle Bin\kept.txt
}

// --- merge -----------------------------------------------------------------------------------

TEST(Merge, UnionOfChunksInOrder)
{
    for (int chunks : {1, 2, 3, 5}) {
        SCOPED_TRACE(chunks);
        QTemporaryDir dir;
        const QString base = dir.filePath(QStringLiteral("Duplicat.tmp"));
        QStringList all, names;
        for (int c = 0; c < chunks; ++c) {
            QStringList lines;
            for (int i = 0; i < 50 + 17 * c; ++i) {
                TKeyFields f;
                f.Name = (i % 3 ? QStringLiteral("File%1.txt") : QStringLiteral("file%1.TXT")).arg((i * 7 + c) % 40);
                f.Folder = QStringLiteral("D:\\c%1").arg(c);
                f.Size = (i * 31 + c) % 9;
                lines << MakeKeyLine(f, true, false);
            }
            std::sort(lines.begin(), lines.end(), [](const QString &a, const QString &b) { return CompareKeyLines(a, b) < 0; });
            names << ChunkName(base, c);
            WriteLines(names.last(), lines);
            all += lines;
        }
        WriteLines(ChunkName(base, 9), {QStringLiteral("stale?D:*00000000000000000000000000000000")});
        names.removeAll(QString());
        std::sort(all.begin(), all.end(), [](const QString &a, const QString &b) { return CompareKeyLines(a, b) < 0; });

        QObject owner;
        QEventLoop loop;
        int error = 1;
        auto *merge = new TMergeThd(&owner, base, {}, {}, names);
        merge->SetOnTerminate([&](TSharedThd *t) { error = t->ErrorCode(); loop.quit(); });
        merge->Resume();
        loop.exec();
        EXPECT_EQ(error, 0);
        EXPECT_EQ(ReadLines(ChunkName(base, 0)), all);
        EXPECT_EQ(Temporaries(base), (QStringList{QStringLiteral("Duplicat.tmp.000"), QStringLiteral("Duplicat.tmp.009")}));
    }
}

TEST(Merge, MissingChunkIsAnError)
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("Duplicat.tmp"));
    WriteLines(ChunkName(base, 0), {QStringLiteral("a?D:*1")});
    QObject owner;
    QEventLoop loop;
    int error = 0;
    QString text;
    auto *merge = new TMergeThd(&owner, base, {}, {}, {ChunkName(base, 0), ChunkName(base, 1)});
    merge->SetOnTerminate([&](TSharedThd *t) { error = t->ErrorCode(); text = t->ErrorText(); loop.quit(); });
    merge->Resume();
    loop.exec();
    EXPECT_EQ(error, -1);
    EXPECT_TRUE(text.contains(QStringLiteral("Duplicat.tmp.001"))) << text.toStdString();
    EXPECT_TRUE(Temporaries(base).isEmpty());
}

// --- stops -----------------------------------------------------------------------------------

TEST(Stop, EachStageLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    for (int i = 0; i < 6; ++i)
        WriteFile(root + QStringLiteral("/f%1").arg(i), "x");
    WriteFile(root + QStringLiteral("/z/last"), "x");
    const QString base = dir.filePath(QStringLiteral("Duplicat.tmp"));
    QObject owner;

    {
        SCOPED_TRACE("scan");
        auto layer = std::make_shared<TFixtureLayer>(root);
        TScanRequest request;
        request.Folders = {QStringLiteral("D:")};
        request.ChunkLines = 1;
        QEventLoop loop;
        bool wroteChunks = false;
        auto *scan = new TScanFilThd(&owner, base, {}, {}, request, layer);
        layer->OnList = [&](const QString &folder) {
            if (folder.endsWith(QStringLiteral("/z"))) {
                wroteChunks = !Temporaries(base).isEmpty();
                scan->Terminate();
            }
        };
        scan->SetOnTerminate([&](TSharedThd *) { loop.quit(); });
        scan->Resume();
        loop.exec();
        EXPECT_TRUE(wroteChunks);
        EXPECT_TRUE(Temporaries(base).isEmpty()) << Temporaries(base).join(u' ').toStdString();
    }
    {
        SCOPED_TRACE("merge");
        QStringList names;
        for (int c = 0; c < 5; ++c) {
            QStringList lines;
            for (int i = 0; i < 3000; ++i)
                lines << QStringLiteral("%1?D:*%2").arg(i, 6, 10, QLatin1Char('0')).arg(c);
            names << ChunkName(base, c);
            WriteLines(names.last(), lines);
        }
        QEventLoop loop;
        TMergeThd *merge = nullptr;
        merge = new TMergeThd(&owner, base, [&](int, bool) { merge->Terminate(); }, {}, names);
        merge->SetOnTerminate([&](TSharedThd *) { loop.quit(); });
        merge->Resume();
        loop.exec();
        EXPECT_TRUE(Temporaries(base).isEmpty()) << Temporaries(base).join(u' ').toStdString();
    }
    {
        SCOPED_TRACE("comparison");
        QStringList lines;
        for (int i = 0; i < 200; ++i)
            lines << QStringLiteral("%1?D:*00000000000000010000000000000020").arg(i % 50, 4, 10, QLatin1Char('0'));
        std::sort(lines.begin(), lines.end());
        WriteLines(ChunkName(base, 0), lines);
        QEventLoop loop;
        TDupesThd *dupes = nullptr;
        TCompareRequest compare;
        compare.SameName = true;
        compare.SameSize = false;
        compare.SameCRC = false;
        int found = 0;
        dupes = new TDupesThd(&owner, base, [&](int, bool) { dupes->Terminate(); }, {}, compare,
                              [&](const TFoundFile &) { ++found; }, std::make_shared<TFixtureLayer>(root));
        dupes->SetOnTerminate([&](TSharedThd *) { loop.quit(); });
        dupes->Resume();
        loop.exec();
        EXPECT_LT(found, 200);
        EXPECT_TRUE(Temporaries(base).isEmpty());
    }
}

TEST(Stop, DestroyingTheOwnerStopsAndWaits)
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("Duplicat.tmp"));
    QStringList lines;
    for (int i = 0; i < 20000; ++i)
        lines << QStringLiteral("%1?D:*00000000000000010000000000000020").arg(i / 2, 6, 10, QLatin1Char('0'));
    WriteLines(ChunkName(base, 0), lines);
    // An owner that takes every call its worker sends and runs none: the first report waits for good.
    class TDeafOwner : public QObject
    {
    public:
        int Calls = 0;

    protected:
        bool event(QEvent *e) override
        {
            if (e->type() != QEvent::MetaCall)
                return QObject::event(e);
            ++Calls;
            return true;
        }
    };
    auto owner = std::make_unique<TDeafOwner>();
    TCompareRequest compare;
    compare.SameName = true;
    compare.SameSize = false;
    compare.SameCRC = false;
    auto *dupes = new TDupesThd(owner.get(), base, [](int, bool) {}, {}, compare, {},
                                std::make_shared<TFixtureLayer>(dir.path()));
    QPointer<TDupesThd> worker = dupes;
    dupes->Resume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return owner->Calls > 0; }, 20000)) << "the worker sent no report";
    owner.reset();
    EXPECT_TRUE(worker.isNull()) << "the worker outlived its owner";
    EXPECT_TRUE(Temporaries(base).isEmpty());
}

// --- comparison ------------------------------------------------------------------------------

TEST(Compare, SizesAbove4GiBGroupByTheirWholeSize)
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("Duplicat.tmp"));
    QStringList lines;
    const qint64 sizes[] = {0x100000000, 0x100000000, 0x200000000, 0x12A, 0x100000000};
    for (int i = 0; i < 5; ++i) {
        TKeyFields f;
        f.Name = QStringLiteral("f%1").arg(i);
        f.Folder = QStringLiteral("D:");
        f.Size = sizes[i];
        f.Date = 0x3A2B1C4D;
        lines << MakeKeyLine(f, true, false);
    }
    std::sort(lines.begin(), lines.end(), [](const QString &a, const QString &b) { return CompareKeyLines(a, b) < 0; });
    WriteLines(ChunkName(base, 0), lines);
    QObject owner;
    QEventLoop loop;
    std::vector<TFoundFile> found;
    TCompareRequest compare;
    compare.SameCRC = false;
    auto *dupes = new TDupesThd(&owner, base, {}, {}, compare, [&](const TFoundFile &f) { found.push_back(f); },
                                std::make_shared<TFixtureLayer>(dir.path()));
    dupes->SetOnTerminate([&](TSharedThd *) { loop.quit(); });
    dupes->Resume();
    loop.exec();
    ASSERT_EQ(found.size(), 3u);
    for (const TFoundFile &f : found) {
        EXPECT_EQ(f.Size, 0x100000000);
        EXPECT_EQ(f.SetNumber, 1);
        EXPECT_EQ(f.CRCText, QString());
        EXPECT_EQ(f.MD5Text, QString());
        EXPECT_EQ(f.AttrText, QString());
    }
}

class FixtureTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Root = Dir.filePath(QStringLiteral("tree"));
        Base = Dir.filePath(QStringLiteral("Duplicat.tmp"));
        const QByteArray p1 = Pattern(5000, 1), p2 = Pattern(700, 2), q = Pattern(4096, 3);
        const QByteArray r1 = Pattern(4904, 4), r2 = Pattern(4904, 5);
        Contents = {
            {"a/dup1.bin", p1}, {"b/dup1copy.bin", p1}, {"c/Dup1.BIN", p1},
            {"a/same4k_1.dat", q + r1}, {"b/same4k_2.dat", q + r2}, {"b/same4k_3.dat", q + r1},
            {"c/same4k_4.dat", q + r2}, {"a/same4k_5.dat", q + Pattern(4904, 6)},
            {"empty1", ""}, {"sub/empty2", ""}, {"sub/deep/.hidden_empty", ""},
            {"case/Foo.txt", "hello case"}, {"case/foo.txt", "hello case"},
            {"accent/caf\u00e9.txt", "accented"}, {"accent/CAF\u00c9.txt", "accented"},
            {"accent/cafe.txt", "accentex"},
            {"unread/u1.bin", p2}, {"unread/u2.bin", p2}, {"unread/u3.bin", p2},
            {"cut/t1.bin", p1 + "x"}, {"cut/t2.bin", p1 + "x"},
            {"single.bin", Pattern(123, 7)},
        };
        for (const auto &[name, data] : Contents)
            WriteFile(Root + u'/' + QString::fromUtf8(name), data);
        Layer = std::make_shared<TFixtureLayer>(Root);
        Layer->Unreadable = {QStringLiteral("unread/u1.bin"), QStringLiteral("unread/u2.bin")};
        Layer->CutShort = {{QStringLiteral("cut/t1.bin"), 4500}, {QStringLiteral("cut/t2.bin"), 4500}};
    }

    TSets Expected() const
    {
        return {
            {QStringLiteral("a/dup1.bin"), QStringLiteral("b/dup1copy.bin"), QStringLiteral("c/Dup1.BIN")},
            {QStringLiteral("a/same4k_1.dat"), QStringLiteral("b/same4k_3.dat")},
            {QStringLiteral("b/same4k_2.dat"), QStringLiteral("c/same4k_4.dat")},
            {QStringLiteral("empty1"), QStringLiteral("sub/empty2"), QStringLiteral("sub/deep/.hidden_empty")},
            {QStringLiteral("case/Foo.txt"), QStringLiteral("case/foo.txt")},
            {QStringLiteral("accent/caf\u00e9.txt"), QStringLiteral("accent/CAF\u00c9.txt")},
        };
    }

    QTemporaryDir Dir;
    QString Root, Base;
    std::map<std::string, QByteArray> Contents;
    std::shared_ptr<TFixtureLayer> Layer;
};

TEST_F(FixtureTree, ContentSetsForEachDigestChoice)
{
    const struct { const char *name; bool crc, md5; } cases[] = {
        {"size + CRC", true, false}, {"size + MD5", false, true}, {"size + CRC + MD5", true, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TScanRequest scan;
        scan.Folders = {QStringLiteral("D:")};
        scan.ChunkLines = 5;
        TCompareRequest compare;
        compare.SameCRC = c.crc;
        compare.SameMD5 = c.md5;
        TPipeline run;
        run.Run(Base, scan, compare, Layer);
        EXPECT_EQ(run.Error, QString());
        const TSets sets = run.Sets();
        EXPECT_EQ(sets, Expected()) << Describe(sets);
        EXPECT_TRUE(Temporaries(Base).isEmpty());

        // Each file shows the digests of its own set.
        std::set<qint64> numbers;
        for (const TFoundFile &f : run.Found) {
            numbers.insert(f.SetNumber);
            QString relative = f.Folder.mid(3) + u'/' + f.Name;
            relative.replace(u'\\', u'/');
            if (relative.startsWith(u'/'))
                relative.remove(0, 1);
            const QByteArray data = Contents.at(relative.toStdString());
            EXPECT_EQ(f.CRCText, c.crc ? Crc(data) : QString()) << relative.toStdString();
            EXPECT_EQ(f.MD5Text, c.md5 ? Md5(data) : QString()) << relative.toStdString();
            EXPECT_EQ(f.Size, data.size());
        }
        EXPECT_EQ(numbers, (std::set<qint64>{1, 2, 3, 4, 5, 6}));
    }
}

TEST_F(FixtureTree, SameAsFdupes)
{
    VASKIMO_NEED_PROGRAM("fdupes", "fdupes");
    // fdupes reads what the seam hides from us: without the hidden files, its sets are ours.
    Layer->CutShort.clear();
    TSets reference;
    for (std::set<QString> set : Fdupes(Root)) {
        for (const QString &hidden : Layer->Unreadable)
            set.erase(hidden);
        if (set.size() > 1)
            reference.insert(set);
    }
    TScanRequest scan;
    scan.Folders = {QStringLiteral("D:")};
    TCompareRequest compare;
    compare.SameCRC = true;
    compare.SameMD5 = true;
    TPipeline run;
    run.Run(Base, scan, compare, Layer);
    const TSets sets = run.Sets();
    EXPECT_EQ(sets, reference) << "ours:\n" << Describe(sets) << "fdupes:\n" << Describe(reference);
    TSets withCut = Expected();
    withCut.insert({QStringLiteral("cut/t1.bin"), QStringLiteral("cut/t2.bin")});
    EXPECT_EQ(sets, withCut) << Describe(sets);
}

TEST_F(FixtureTree, NamesOnlyReadsNoFile)
{
    TScanRequest scan;
    scan.Folders = {QStringLiteral("D:")};
    scan.SameName = true;
    scan.SameSize = false;
    TCompareRequest compare;
    compare.SameName = true;
    compare.SameSize = false;
    compare.SameCRC = true;  // content checks need equal sizes: without them nothing is read
    for (const auto &[name, data] : Contents)
        Layer->Unreadable.insert(QString::fromUtf8(name));
    TPipeline run;
    run.Run(Base, scan, compare, Layer);
    const TSets expected{
        {QStringLiteral("a/dup1.bin"), QStringLiteral("c/Dup1.BIN")},
        {QStringLiteral("case/Foo.txt"), QStringLiteral("case/foo.txt")},
        {QStringLiteral("accent/caf\u00e9.txt"), QStringLiteral("accent/CAF\u00c9.txt")},
    };
    EXPECT_EQ(run.Sets(), expected) << Describe(run.Sets());
}

TEST_F(FixtureTree, StaleChunksAreRemovedAndNeverMerged)
{
    TKeyFields ghost;
    ghost.Name = QStringLiteral("dup1.bin");
    ghost.Folder = QStringLiteral("D:\\ghost");
    ghost.Size = 5000;
    WriteLines(ChunkName(Base, 1), {MakeKeyLine(ghost, true, false)});
    WriteLines(ChunkName(Base, 12), {MakeKeyLine(ghost, true, false)});
    WriteLines(WorkFileName(Base), {MakeKeyLine(ghost, true, false)});
    TScanRequest scan;
    scan.Folders = {QStringLiteral("D:")};
    TCompareRequest compare;
    TPipeline run;
    run.Run(Base, scan, compare, Layer);
    EXPECT_EQ(run.Sets(), Expected()) << Describe(run.Sets());
    EXPECT_TRUE(Temporaries(Base).isEmpty()) << Temporaries(Base).join(u' ').toStdString();
}

TEST_F(FixtureTree, AFileThatChangesAfterItsSignatureLeavesItsSetAndIsReadOnce)
{
    // b/same4k_3.dat reads as other bytes of the same length from its second opening on: after its
    // signature, when its bytes are compared with a/same4k_1.dat's.
    QByteArray other = Contents.at("b/same4k_3.dat");
    other[8000] = char(other[8000] ^ 1);
    Layer->ChangedAfter.insert(QStringLiteral("b/same4k_3.dat"), {1, other});
    TScanRequest scan;
    scan.Folders = {QStringLiteral("D:")};
    TCompareRequest compare;
    compare.SameCRC = compare.SameMD5 = true;
    TPipeline run;
    run.Run(Base, scan, compare, Layer);
    TSets expected = Expected();
    expected.erase({QStringLiteral("a/same4k_1.dat"), QStringLiteral("b/same4k_3.dat")});
    EXPECT_EQ(run.Sets(), expected) << Describe(run.Sets());
    EXPECT_EQ(Layer->Opens.value(QStringLiteral("b/same4k_3.dat")), 2);  // its signature, then its bytes
}

TEST(Compare, LargeFilesAndLargeSets)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    const QString base = dir.filePath(QStringLiteral("Duplicat.tmp"));
    // Files of several read blocks that share their first 4 KB: one set of 40 (more than are
    // opened at once), one of 4, three files of their own; and runs of three with one set of two,
    // the third parting in the last byte (of a file large enough that its end is read first).
    const QByteArray head = Pattern(4096, 11);
    const auto body = [&](quint32 seed) { return head + Pattern(150000 - 4096, seed); };
    TSets expected;
    std::set<QString> forty, four, two;
    for (int i = 0; i < 40; ++i) {
        WriteFile(root + QStringLiteral("/forty/f%1.bin").arg(i), body(1));
        forty.insert(QStringLiteral("forty/f%1.bin").arg(i));
    }
    for (int i = 0; i < 4; ++i) {
        WriteFile(root + QStringLiteral("/four/f%1.bin").arg(i), body(2));
        four.insert(QStringLiteral("four/f%1.bin").arg(i));
    }
    for (int i = 0; i < 3; ++i)
        WriteFile(root + QStringLiteral("/own/f%1.bin").arg(i), body(3 + i));
    QByteArray last = head + Pattern(200000 - 4096, 9);
    WriteFile(root + QStringLiteral("/two/a.bin"), last);
    WriteFile(root + QStringLiteral("/two/b.bin"), last);
    last[199999] = char(last[199999] ^ 1);
    WriteFile(root + QStringLiteral("/two/c.bin"), last);
    two = {QStringLiteral("two/a.bin"), QStringLiteral("two/b.bin")};
    QByteArray tail = head + Pattern(3 << 20, 10);
    WriteFile(root + QStringLiteral("/tail/a.bin"), tail);
    WriteFile(root + QStringLiteral("/tail/b.bin"), tail);
    const QString tailMd5 = Md5(tail), tailCrc = Crc(tail);
    tail[tail.size() - 1] = char(tail.back() ^ 1);
    WriteFile(root + QStringLiteral("/tail/c.bin"), tail);
    expected = {forty, four, two, {QStringLiteral("tail/a.bin"), QStringLiteral("tail/b.bin")}};

    for (const bool crc : {true, false}) {
        SCOPED_TRACE(crc ? "CRC and MD5" : "MD5 only");
        TScanRequest scan;
        scan.Folders = {QStringLiteral("D:")};
        TCompareRequest compare;
        compare.SameCRC = crc;
        compare.SameMD5 = true;
        TPipeline run;
        run.Run(base, scan, compare, std::make_shared<TFixtureLayer>(root));
        EXPECT_EQ(run.Sets(), expected) << Describe(run.Sets());
        for (const TFoundFile &f : run.Found) {
            if (f.Folder.endsWith(QStringLiteral("tail"))) {
                EXPECT_EQ(f.MD5Text, tailMd5);
                EXPECT_EQ(f.CRCText, crc ? tailCrc : QString());
                continue;
            }
            const QByteArray data = f.Folder.endsWith(QStringLiteral("forty")) ? body(1)
                                    : f.Folder.endsWith(QStringLiteral("four")) ? body(2)
                                                                                 : head + Pattern(200000 - 4096, 9);
            EXPECT_EQ(f.MD5Text, Md5(data));
            EXPECT_EQ(f.CRCText, crc ? Crc(data) : QString());
        }
    }
}

TEST(Scan, AChunkThatCannotBeWrittenEndsTheScanWithItsError)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    for (int i = 0; i < 5; ++i)
        WriteFile(root + QStringLiteral("/f%1").arg(i), "x");
    const QString base = dir.filePath(QStringLiteral("missing/Duplicat.tmp"));
    TScanRequest request;
    request.Folders = {QStringLiteral("D:")};
    request.ChunkLines = 2;
    QObject owner;
    QEventLoop loop;
    int error = 0;
    QString text;
    QStringList chunks{QStringLiteral("not read")};
    auto *scan = new TScanFilThd(&owner, base, {}, {}, request, std::make_shared<TFixtureLayer>(root));
    scan->SetOnTerminate([&](TSharedThd *t) {
        error = t->ErrorCode();
        text = t->ErrorText();
        chunks = static_cast<TScanFilThd *>(t)->ChunkFiles();
        loop.quit();
    });
    scan->Resume();
    loop.exec();
    EXPECT_EQ(error, -1);
    EXPECT_TRUE(text.contains(QStringLiteral("Duplicat.tmp.000"))) << text.toStdString();
    EXPECT_TRUE(chunks.isEmpty());
}

// Chunks and the merge's output on a full disk: the stage ends with the file and the system's
// reason, and leaves no temporary file behind (neither a chunk nor a half-written one).
TEST(Stages, AFullDiskEndsTheStageWithTheReasonAndLeavesNothing)
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    for (int i = 0; i < 5; ++i)
        WriteFile(root + QStringLiteral("/f%1").arg(i), "x");
    for (const bool merge : {false, true}) {
        SCOPED_TRACE(merge ? "merge" : "scan");
        TestSupport::TSmallDisk disk(QStringLiteral("512k"));
        VASKIMO_NEED_DISK(disk);
        const QString base = disk.Path() + QStringLiteral("/Duplicat.tmp");
        QStringList chunks;
        if (merge) {
            for (int c = 0; c < 2; ++c) {
                chunks << ChunkName(base, c);
                WriteLines(chunks.last(), {QStringLiteral("f%1?D:*00000001").arg(c)});
            }
        }
        ASSERT_TRUE(disk.Fill());
        QObject owner;
        QEventLoop loop;
        int error = 0;
        QString text;
        TSharedThd *stage = nullptr;
        if (merge) {
            stage = new TMergeThd(&owner, base, {}, {}, chunks);
        } else {
            TScanRequest request;
            request.Folders = {QStringLiteral("D:")};
            request.ChunkLines = 2;
            stage = new TScanFilThd(&owner, base, {}, {}, request, std::make_shared<TFixtureLayer>(root));
        }
        stage->SetOnTerminate([&](TSharedThd *t) {
            error = t->ErrorCode();
            text = t->ErrorText();
            loop.quit();
        });
        stage->Resume();
        loop.exec();
        EXPECT_EQ(error, -1);
        EXPECT_TRUE(text.contains(merge ? QStringLiteral("Duplicat.tmp.$$$") : QStringLiteral("Duplicat.tmp.000")))
            << text.toStdString();
        EXPECT_TRUE(text.endsWith(QStringLiteral("No space left on device"))) << text.toStdString();
        disk.Unfill();
        EXPECT_EQ(QDir(disk.Path()).entryList(QDir::Files | QDir::Hidden), QStringList()) << "temporaries left";
    }
}
