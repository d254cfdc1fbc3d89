// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: wall time of our duplicate search (size + CRC + MD5) against jdupes and fdupes.
//
// Usage: bench_duplicate [files] [folder [reuse]]. Builds a tree of files (default 60,000) with a
// few thousand duplicate sets, many equal sizes and groups that share their first 4 KB but differ
// later, warms the page cache, then times each tool on the same tree (best of three runs).
// BENCH_STAGES=1 prints when our scan and merge ended; BENCH_OURS_ONLY=1 skips jdupes and fdupes.
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

TTreeStats BuildTree(const QString &root, int files)
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
    while (stats.Files < files) {
        const int kind = int(random() % 20);
        const qsizetype size = sizeOf(random);
        fill(size, random());
        if (kind < 3) {  // a duplicate set of two to four copies
            const int copies = 2 + int(random() % 3);
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

double RunOurs(const QString &root, const QString &base, qint64 &sets, qint64 &files)
{
    QObject owner;
    QEventLoop loop;
    auto layer = std::make_shared<TBenchLayer>(root);
    TScanRequest scan;
    scan.Folders = {QStringLiteral("D:")};
    scan.SameSize = true;
    TCompareRequest compare;
    compare.SameSize = compare.SameCRC = compare.SameMD5 = true;
    sets = files = 0;
    qint64 lastSet = 0;
    QString error;
    QElapsedTimer timer;
    timer.start();
    auto *scanner = new TScanFilThd(&owner, base, {}, {}, scan, layer);
    scanner->OnTerminate = [&](TSharedThd *s) {
        if (qEnvironmentVariableIsSet("BENCH_STAGES"))
            std::fprintf(stderr, "  scan %.3f s\n", double(timer.nsecsElapsed()) / 1e9);
        if (s->GetErrorCode() < 0 || s->Count64() == 0) {
            error = s->GetErrorText();
            loop.quit();
            return;
        }
        auto *merge = new TMergeThd(&owner, base, {}, {}, static_cast<TScanFilThd *>(s)->ChunkFiles());
        merge->OnTerminate = [&](TSharedThd *m) {
            if (qEnvironmentVariableIsSet("BENCH_STAGES"))
                std::fprintf(stderr, "  merge %.3f s\n", double(timer.nsecsElapsed()) / 1e9);
            if (m->GetErrorCode() < 0) {
                error = m->GetErrorText();
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
            dupes->OnTerminate = [&](TSharedThd *d) {
                error = d->GetErrorText();
                loop.quit();
            };
            dupes->Start();
        };
        merge->Start();
    };
    scanner->Start();
    loop.exec();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!error.isEmpty())
        std::fprintf(stderr, "our search failed: %s\n", qPrintable(error));
    return seconds;
}

// Wall time of one run; sets and files counted from the blank-line separated output.
double RunTool(const QString &tool, const QString &root, qint64 &sets, qint64 &files)
{
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
    const int files = argc > 1 ? std::max(1, atoi(argv[1])) : 60000;
    QTemporaryDir temp;
    const QString work = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temp.path();
    const QString root = work + QStringLiteral("/tree");
    const QString base = work + QStringLiteral("/Duplicat.tmp");

    QElapsedTimer build;
    build.start();
    // "reuse" as a third argument keeps a tree an earlier run built in the same folder.
    const bool reuse = argc > 3 && qstrcmp(argv[3], "reuse") == 0 && QDir(root).exists();
    TTreeStats stats;
    if (!reuse) {
        QDir(root).removeRecursively();
        stats = BuildTree(root, files);
    }
    std::printf("tree: %d files, %d duplicate sets, %d equal-first-4KB groups (built in %.1f s)\n",
                stats.Files, stats.Sets, stats.Decoys, double(build.elapsed()) / 1000);

    qint64 sets = 0, found = 0;
    RunOurs(root, base, sets, found);  // warms the page cache for every tool
    const int rounds = 3;
    double ours = 1e9;
    for (int i = 0; i < rounds; ++i)
        ours = std::min(ours, RunOurs(root, base, sets, found));
    std::printf("vaskimo   %8.3f s  %lld sets, %lld files\n", ours, (long long)sets, (long long)found);

    if (qEnvironmentVariableIsSet("BENCH_OURS_ONLY"))
        return 0;
    for (const QString &tool : {QStringLiteral("jdupes"), QStringLiteral("fdupes")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            std::printf("%-8s  not installed\n", qPrintable(tool));
            continue;
        }
        double best = 1e9;
        qint64 toolSets = 0, toolFiles = 0;
        for (int i = 0; i < rounds; ++i)
            best = std::min(best, RunTool(tool, root, toolSets, toolFiles));
        std::printf("%-8s  %8.3f s  %lld sets, %lld files; ours / %s = %.2f\n", qPrintable(tool), best,
                    (long long)toolSets, (long long)toolFiles, qPrintable(tool), ours / best);
    }
    return 0;
}
