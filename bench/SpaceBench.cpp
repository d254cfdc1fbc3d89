// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the space-usage window's folder-size tree against du -sb on the same tree.
//
// bench_space [files [rounds]] [--empty] [--tree folder]   (defaults 60000 files, 5 rounds)
//
// Builds the tree of the unnecessary-file benchmark (100 files a folder, folders of 3,000; with
// --empty the files are empty, for trees of a million files) and then, alternating: the scan the
// space-usage window makes (in this process, the way the window runs it, cluster rounding on),
// and du -sb. The tree must count every file. --tree builds the tree in folder, or reuses the one
// an earlier run built there.
#include "BenchSupport.h"
#include "files/FileInfo.h"

#include <QCoreApplication>

namespace {

double RunTree(const QString &root, TExtended &total, qint32 &files, double &processor)
{
    TFolderList list(nullptr, QStringLiteral("C:\\"), root);
    const bool stop = false;
    qint64 cluster = 1;
    HostFiles::DiskFreeSpace(root, nullptr, nullptr, &cluster);
    QElapsedTimer timer;
    const double before = Bench::ProcessorSeconds();
    timer.start();
    list.Scan(stop, false, quint64(cluster), [](const QString &) {});
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    processor = Bench::ProcessorSeconds() - before;
    total = list.TotalSize;
    files = list.FileCount;
    return seconds;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool empty = args.removeAll(QStringLiteral("--empty")) > 0;
    QString treeFolder;
    if (const qsizetype at = args.indexOf(QStringLiteral("--tree")); at >= 0 && at + 1 < args.size()) {
        treeFolder = args.at(at + 1);
        args.remove(at, 2);
    }
    const int files = args.size() > 0 ? std::max(1, args.at(0).toInt()) : 60000;
    const int rounds = args.size() > 1 ? std::max(1, args.at(1).toInt()) : 5;

    QTemporaryDir temp;
    const QString root = (treeFolder.isEmpty() ? temp.path() : treeFolder) + QStringLiteral("/tree");
    QElapsedTimer build;
    build.start();
    if (QDir(root).exists()) {
        std::printf("tree: reused %s\n", qPrintable(root));
    } else if (Bench::BuildFileTree(root, files, 0, empty) < 0) {
        std::fprintf(stderr, "cannot write the tree below %s\n", qPrintable(root));
        return 1;
    } else {
        std::printf("tree: %d files%s (built in %.1f s)\n", files, empty ? ", empty" : "", double(build.elapsed()) / 1000);
    }

    const auto runDu = [&](qint64 &bytes, double &processor) {
        QProcess du;
        QElapsedTimer timer;
        const double before = Bench::ProcessorSeconds(RUSAGE_CHILDREN);
        timer.start();
        du.start(QStringLiteral("du"), {QStringLiteral("-sb"), root});
        du.waitForFinished(-1);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        processor = Bench::ProcessorSeconds(RUSAGE_CHILDREN) - before;
        bytes = QString::fromLatin1(du.readAllStandardOutput()).section(u'\t', 0, 0).toLongLong();
        return seconds;
    };
    TExtended total = 0;
    qint32 found = 0;
    qint64 duBytes = 0;
    double processor = 0;
    RunTree(root, total, found, processor);  // warms the page cache for both
    runDu(duBytes, processor);
    QList<double> ours, peer, ourProcessor, peerProcessor;
    for (int round = 0; round < rounds; ++round) {
        ours.append(RunTree(root, total, found, processor));
        ourProcessor.append(processor);
        peer.append(runDu(duBytes, processor));
        peerProcessor.append(processor);
    }
    // du counts the folders' own sizes too; the tree counts files only.
    std::printf("bench_space: %d files; medians of %d alternating rounds: folder-size tree %.3f s (%d files, "
                "%.0f bytes), du -sb %.3f s (%lld bytes with its folders)\n",
                files, rounds, Bench::Median(ours), found, double(total), Bench::Median(peer), (long long)duBytes);
    if (found != files)
        std::printf("  (the tree counted %d files, not %d)\n", found, files);
    Bench::PrintRounds("tree", ours, "du -sb", peer);
    Bench::PrintRatios("tree / du -sb", ours, peer);
    std::printf("  processor time (user and system), medians: tree %.3f s, du -sb %.3f s\n", Bench::Median(ourProcessor),
                Bench::Median(peerProcessor));
    Bench::PrintRatios("processor time, tree / du -sb", ourProcessor, peerProcessor);
    return 0;
}
