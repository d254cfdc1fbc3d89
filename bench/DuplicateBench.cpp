// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: our duplicate search (size + CRC + MD5) against jdupes -r and fdupes -r on the same tree.
//
// bench_duplicate [files | large | equal] [rounds] [--library] [--tree folder] [--half]
//                 [--copies n] [--gib g] [--cold] [--no-md5]
//   (defaults 60000 files, 5 rounds; equal: 3 copies of 2 GiB)
//
// Builds a tree of small files (a few thousand duplicate sets, many equal sizes, groups that share
// their first 4 KB but differ later; with --half, half the files are duplicates, in pairs) or, with "large", of 96 files of 4 to 16 MB of which half
// are duplicates and a quarter equal in size and first 4 KB to another file. Then, alternating:
// the built program as a process ("vaskimo -dup -exit" on a copy of the demo prefix whose C: is
// the tree, criteria size, CRC and MD5), jdupes -r and fdupes -r. With --library our search runs
// the three stages in this process instead (BENCH_STAGES=1 prints when scan and merge ended).
// --tree builds the tree in folder, or reuses the one an earlier run built there. "equal" builds
// n equal files of g GiB of random bytes (real blocks on the disk: a sparse file would read as
// zeros without touching it) and removes them at the end. --cold writes the tree's files out and
// drops them from the page cache before every run of every tool, so each reads the disk.
// --no-md5 leaves the MD5 out of our criteria (size and CRC): the MD5 of a set is one digest over
// all its bytes in order, which no number of threads shortens.
#include "BenchSupport.h"
#include "files/DuplicateThds.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

using namespace Duplicate;

namespace {

class TBenchLayer : public TFileLayer
{
public:
    explicit TBenchLayer(QString root) : Root(std::move(root)) {}
    QString HostRoot(QChar letter) const override { return letter.toUpper() == u'D' ? Root : QString(); }
    TPathMapping ToHost(const QString &windowsPath) const override
    {
        return {TPathState::Resolved, HostPathOf(Root, windowsPath)};
    }
    QString Root;
};

struct TTreeStats {
    int Files = 0, Sets = 0, Decoys = 0;
};

TTreeStats BuildTree(const QString &root, int files, bool half)
{
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> sizeOf(64, 24 * 1024);
    TTreeStats stats;
    const int folders = std::max(1, files / 100);
    QByteArray data;
    const auto fill = [&](qsizetype size, quint32 seed) {
        data.resize(size);
        std::mt19937 bytes(seed);
        for (qsizetype i = 0; i < size; i += 4) {
            const quint32 word = bytes();
            std::memcpy(data.data() + i, &word, std::size_t(std::min<qsizetype>(4, size - i)));
        }
    };
    const auto write = [&](int index) {
        const QString folder = root + QStringLiteral("/d%1/s%2").arg(index % folders).arg(index % 7);
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/file%1.bin").arg(index));
        if (file.open(QIODevice::WriteOnly))
            file.write(data);
        ++stats.Files;
    };
    int index = 0;
    for (int draw = 0; stats.Files < files; ++draw) {
        const int kind = half ? (draw % 3 == 2 ? 0 : 19) : int(random() % 20);
        const qsizetype size = sizeOf(random);
        fill(size, random());
        if (kind < 3) {  // a duplicate set of two to four copies
            const int copies = half ? 2 : 2 + int(random() % 3);
            for (int c = 0; c < copies; ++c)
                write(index++);
            ++stats.Sets;
        } else if (kind == 3 && size > 8192) {  // equal size and first 4 KB, different later bytes
            for (int c = 0; c < 3; ++c) {
                data[size - 1 - c] = char(data[size - 1 - c] ^ (c + 1));
                write(index++);
            }
            ++stats.Decoys;
        } else {
            write(index++);
        }
    }
    return stats;
}

// Large files: sets of two or three copies, files alone, and files equal in size and first 4 KB
// to another but different in their last bytes, so that only reading them whole tells them apart.
TTreeStats BuildLargeTree(const QString &root)
{
    std::mt19937 random(20261211);
    std::uniform_int_distribution<qint64> sizeOf(4 << 20, 16 << 20);
    TTreeStats stats;
    int index = 0;
    const auto path = [&](int i) {
        const QString folder = root + QStringLiteral("/d%1").arg(i % 6);
        QDir().mkpath(folder);
        return folder + QStringLiteral("/big%1.bin").arg(i);
    };
    while (stats.Files < 96) {
        const int kind = int(random() % 4);
        const qint64 size = sizeOf(random);
        const quint32 seed = random();
        if (kind < 2) {  // a set of two or three copies
            const int copies = 2 + int(random() % 2);
            for (int c = 0; c < copies; ++c, ++stats.Files)
                Bench::WriteFile(path(index++), size, seed);
            ++stats.Sets;
        } else if (kind == 2) {  // equal size and start, another end
            for (int c = 0; c < 2; ++c, ++stats.Files) {
                const QString name = path(index++);
                Bench::WriteFile(name, size, seed);
                QFile f(name);
                if (f.open(QIODevice::ReadWrite) && f.seek(size - 1))
                    f.write(QByteArray(1, char(c + 1)));
            }
            ++stats.Decoys;
        } else {
            Bench::WriteFile(path(index++), size, seed);
            ++stats.Files;
        }
    }
    return stats;
}

// copies files of gib GiB each, equal byte for byte: one written from random bytes, the others
// copied from it block by block.
TTreeStats BuildEqualTree(const QString &root, int copies, int gib)
{
    TTreeStats stats;
    QDir().mkpath(root + QStringLiteral("/a"));
    QDir().mkpath(root + QStringLiteral("/b"));
    const QString first = root + QStringLiteral("/a/equal0.bin");
    if (!Bench::WriteFile(first, qint64(gib) << 30, 20261212))
        return stats;
    stats.Files = 1;
    for (int c = 1; c < copies; ++c) {
        QFile in(first), out(root + QStringLiteral("/%1/equal%2.bin").arg(QLatin1Char(c % 2 ? 'b' : 'a')).arg(c));
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            return stats;
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qint64 n; (n = in.read(block.data(), block.size())) > 0;)
            if (out.write(block.constData(), n) != n)
                return stats;
        ++stats.Files;
    }
    stats.Sets = copies > 1 ? 1 : 0;
    return stats;
}

double RunOurs(const QString &root, const QString &base, bool md5, qint64 &sets, qint64 &files)
{
    QObject owner;
    QEventLoop loop;
    auto layer = std::make_shared<TBenchLayer>(root);
    TScanRequest scan;
    scan.Folders = {QStringLiteral("D:")};
    scan.SameSize = true;
    TCompareRequest compare;
    compare.SameSize = compare.SameCRC = true;
    compare.SameMD5 = md5;
    sets = files = 0;
    qint64 lastSet = 0;
    QString error;
    QElapsedTimer timer;
    timer.start();
    auto *scanner = new TScanFilThd(&owner, base, {}, {}, scan, layer);
    scanner->SetOnTerminate([&](TSharedThd *s) {
        if (qEnvironmentVariableIsSet("BENCH_STAGES"))
            std::fprintf(stderr, "  scan %.3f s\n", double(timer.nsecsElapsed()) / 1e9);
        if (s->ErrorCode() < 0 || static_cast<TScanFilThd *>(s)->Count64() == 0) {
            error = s->ErrorText();
            loop.quit();
            return;
        }
        auto *merge = new TMergeThd(&owner, base, {}, {}, static_cast<TScanFilThd *>(s)->ChunkFiles());
        merge->SetOnTerminate([&](TSharedThd *m) {
            if (qEnvironmentVariableIsSet("BENCH_STAGES"))
                std::fprintf(stderr, "  merge %.3f s\n", double(timer.nsecsElapsed()) / 1e9);
            if (m->ErrorCode() < 0) {
                error = m->ErrorText();
                loop.quit();
                return;
            }
            auto *dupes = new TDupesThd(&owner, base, [](int, bool) {}, {}, compare,
                                        [&](const TFoundFile &f) {
                                            ++files;
                                            if (f.SetNumber != lastSet)
                                                ++sets, lastSet = f.SetNumber;
                                        },
                                        layer);
            dupes->SetOnTerminate([&](TSharedThd *d) {
                error = d->ErrorText();
                loop.quit();
            });
            dupes->Resume();
        });
        merge->Resume();
    });
    scanner->Resume();
    loop.exec();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!error.isEmpty())
        std::fprintf(stderr, "our search failed: %s\n", qPrintable(error));
    return seconds;
}

// Wall time of one run; sets and files counted from the blank-line separated output.
double RunTool(const QString &tool, const QString &root, qint64 &sets, qint64 &files, bool cold)
{
    if (cold)
        Bench::DropFromCache(root);
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(tool, {QStringLiteral("-r"), root});
    process.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    sets = files = 0;
    bool inSet = false;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.isEmpty()) {
            inSet = false;
        } else {
            ++files;
            if (!inSet)
                ++sets;
            inSet = true;
        }
    }
    return seconds;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool library = args.removeAll(QStringLiteral("--library")) > 0;
    const bool half = args.removeAll(QStringLiteral("--half")) > 0;
    QString treeFolder;
    if (const qsizetype at = args.indexOf(QStringLiteral("--tree")); at >= 0 && at + 1 < args.size()) {
        treeFolder = args.at(at + 1);
        args.remove(at, 2);
    }
    const bool cold = args.removeAll(QStringLiteral("--cold")) > 0;
    const bool md5 = args.removeAll(QStringLiteral("--no-md5")) == 0;
    const auto option = [&](const QString &name, int fallback) {
        const qsizetype at = args.indexOf(name);
        if (at < 0 || at + 1 >= args.size())
            return fallback;
        const int value = std::max(1, args.at(at + 1).toInt());
        args.remove(at, 2);
        return value;
    };
    const int copies = option(QStringLiteral("--copies"), 3), gib = option(QStringLiteral("--gib"), 2);
    const bool large = !args.isEmpty() && args.first() == QStringLiteral("large");
    const bool equal = !args.isEmpty() && args.first() == QStringLiteral("equal");
    const int files = !args.isEmpty() && !large && !equal ? std::max(1, args.at(0).toInt()) : 60000;
    const int rounds = args.size() > 1 ? std::max(1, args.at(1).toInt()) : 5;

    QTemporaryDir temp;
    const QString work = treeFolder.isEmpty() ? temp.path() : treeFolder;
    const QString root = work + QStringLiteral("/tree");
    const QString base = temp.filePath(QStringLiteral("Duplicat.tmp"));
    QElapsedTimer build;
    build.start();
    TTreeStats stats;
    if (!QDir(root).exists()) {
        stats = equal ? BuildEqualTree(root, copies, gib) : large ? BuildLargeTree(root) : BuildTree(root, files, half);
        if (equal && stats.Files != copies) {
            std::fprintf(stderr, "cannot write %d files of %d GiB below %s\n", copies, gib, qPrintable(root));
            return 1;
        }
        std::printf("tree: %d files, %d duplicate sets, %d equal-size groups that differ late (built in %.1f s)\n",
                    stats.Files, stats.Sets, stats.Decoys, double(build.elapsed()) / 1000);
    } else {
        std::printf("tree: reused %s\n", qPrintable(root));
    }

    const QString prefix = temp.filePath(QStringLiteral("prefix"));
    if (!library && !Bench::MakePrefix(prefix, root)) {
        std::fprintf(stderr, "cannot make the prefix\n");
        return 1;
    }
    Bench::TProgram program(prefix);
    program.WriteOptions(QByteArray("[Duplicate files]\r\nSame date & time=0\r\nSame name=0\r\nSame size=1\r\nSame CRC=1\r\n"
                                    "Same MD5=")
                         + (md5 ? "1" : "0") + "\r\nSkip empty files=1\r\nFile mask=*.*\r\n");
    qint64 sets = 0, found = 0;
    const auto runOurs = [&] {
        if (cold)
            Bench::DropFromCache(root);
        if (library)
            return RunOurs(root, base, md5, sets, found);
        QString line;
        const double seconds = program.Run({QStringLiteral("-dup"), QStringLiteral("-exit")}, &line);
        found = line.section(u' ', 1, 1).toLongLong();
        sets = -1;
        return seconds;
    };
    QStringList peers;
    for (const QString &tool : {QStringLiteral("jdupes"), QStringLiteral("fdupes")})
        if (!QStandardPaths::findExecutable(tool).isEmpty())
            peers << tool;

    // Warm the page cache for everyone (a cold run reads the disk anyway), then alternate.
    QList<double> ours;
    QList<QList<double>> theirs(peers.size());
    QList<qint64> toolFiles(peers.size()), toolSets(peers.size());
    if (!cold) {
        runOurs();
        for (const QString &tool : peers)
            RunTool(tool, root, toolSets[0], toolFiles[0], cold);
    }
    // Processor time too: on a loaded machine our digest threads share one process's part of it.
    QList<double> ourProcessor;
    QList<QList<double>> theirProcessor(peers.size());
    const int ourUsage = library ? RUSAGE_SELF : RUSAGE_CHILDREN;
    for (int round = 0; round < rounds; ++round) {
        double before = Bench::ProcessorSeconds(ourUsage);
        ours.append(runOurs());
        ourProcessor.append(Bench::ProcessorSeconds(ourUsage) - before);
        for (qsizetype t = 0; t < peers.size(); ++t) {
            before = Bench::ProcessorSeconds(RUSAGE_CHILDREN);
            theirs[t].append(RunTool(peers.at(t), root, toolSets[t], toolFiles[t], cold));
            theirProcessor[t].append(Bench::ProcessorSeconds(RUSAGE_CHILDREN) - before);
        }
    }
    const double o = Bench::Median(ours);
    const QString what = equal ? QStringLiteral("%1 equal files of %2 GiB").arg(copies).arg(gib)
                         : large ? QStringLiteral("96 large files") : QStringLiteral("%1 files").arg(files);
    std::printf("bench_duplicate: %s, %s (%s), %s; medians of %d alternating rounds:\n", qPrintable(what),
                library ? "our three stages in this process" : "vaskimo -dup -exit", md5 ? "size, CRC, MD5" : "size, CRC",
                cold ? "cold (the tree dropped from the page cache before every run)" : "warm page cache", rounds);
    if (sets >= 0)
        std::printf("  vaskimo %8.3f s  %lld sets, %lld files\n", o, (long long)sets, (long long)found);
    else
        std::printf("  vaskimo %8.3f s  %lld files\n", o, (long long)found);
    for (qsizetype t = 0; t < peers.size(); ++t) {
        const double p = Bench::Median(theirs.at(t));
        std::printf("  %-7s %8.3f s  %lld sets, %lld files; ours / %s = %.2f\n", qPrintable(peers.at(t)), p,
                    (long long)toolSets.at(t), (long long)toolFiles.at(t), qPrintable(peers.at(t)), p > 0 ? o / p : 0.0);
        if (toolFiles.at(t) != found)
            std::printf("  (%s lists %lld files, we list %lld)\n", qPrintable(peers.at(t)), (long long)toolFiles.at(t),
                        (long long)found);
    }
    for (qsizetype t = 0; t < peers.size(); ++t)
        Bench::PrintRatios(qPrintable(QStringLiteral("ours / ") + peers.at(t)), ours, theirs.at(t));
    std::printf("  processor time (user and system), medians: vaskimo %.3f s", Bench::Median(ourProcessor));
    for (qsizetype t = 0; t < peers.size(); ++t)
        std::printf(", %s %.3f s", qPrintable(peers.at(t)), Bench::Median(theirProcessor.at(t)));
    std::printf("\n");
    for (qsizetype t = 0; t < peers.size(); ++t)
        Bench::PrintRatios(qPrintable(QStringLiteral("processor time, ours / ") + peers.at(t)), ourProcessor,
                           theirProcessor.at(t));
    for (int round = 0; round < rounds; ++round) {
        std::printf("  round %d: vaskimo %.3f s", round + 1, ours.at(round));
        for (qsizetype t = 0; t < peers.size(); ++t)
            std::printf(", %s %.3f s (ratio %.2f)", qPrintable(peers.at(t)), theirs.at(t).at(round),
                        ours.at(round) / theirs.at(t).at(round));
        std::printf("\n");
    }
    return 0;
}
