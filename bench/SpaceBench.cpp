// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the space-usage window's folder-size tree against du -sb on the same tree.
//
// bench_space [files [rounds]] [--empty]   (defaults 60000 files, 5 rounds)
//
// Builds the tree of the unnecessary-file benchmark (100 files a folder, folders of 3,000; with
// --empty the files are empty, for trees of a million files) and then, alternating: the scan the
// space-usage window makes (in this process, the way the window runs it, cluster rounding on),
// and du -sb. The tree must count every file.
#include "BenchSupport.h"
#include "files/FileInfo.h"

#include <QCoreApplication>

namespace {

double RunTree(const QString &root, TExtended &total, qint32 &files)
{
    TFolderList list(nullptr, QStringLiteral("C:\\"), root);
    const bool stop = false;
    qint64 cluster = 1;
    HostFiles::DiskFreeSpace(root, nullptr, nullptr, &cluster);
    QElapsedTimer timer;
    timer.start();
    list.Scan(stop, false, quint64(cluster), [](const QString &) {});
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
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
    const int files = args.size() > 0 ? std::max(1, args.at(0).toInt()) : 60000;
    const int rounds = args.size() > 1 ? std::max(1, args.at(1).toInt()) : 5;

    QTemporaryDir temp;
    const QString root = temp.filePath(QStringLiteral("tree"));
    QElapsedTimer build;
    build.start();
    if (Bench::BuildFileTree(root, files, 0, empty) < 0) {
        std::fprintf(stderr, "cannot write the tree below %s\n", qPrintable(root));
        return 1;
    }
    std::printf("tree: %d files%s (built in %.1f s)\n", files, empty ? ", empty" : "", double(build.elapsed()) / 1000);

    const auto runDu = [&](qint64 &bytes) {
        QProcess du;
        QElapsedTimer timer;
        timer.start();
        du.start(QStringLiteral("du"), {QStringLiteral("-sb"), root});
        du.waitForFinished(-1);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        bytes = QString::fromLatin1(du.readAllStandardOutput()).section(u'\t', 0, 0).toLongLong();
        return seconds;
    };
    TExtended total = 0;
    qint32 found = 0;
    qint64 duBytes = 0;
    RunTree(root, total, found);  // warms the page cache for both
    runDu(duBytes);
    QList<double> ours, peer;
    for (int round = 0; round < rounds; ++round) {
        ours.append(RunTree(root, total, found));
        peer.append(runDu(duBytes));
    }
    // du counts the folders' own sizes too; the tree counts files only.
    std::printf("bench_space: %d files; medians of %d alternating rounds: folder-size tree %.3f s (%d files, "
                "%.0f bytes), du -sb %.3f s (%lld bytes with its folders)\n",
                files, rounds, Bench::Median(ours), found, double(total), Bench::Median(peer), (long long)duBytes);
    if (found != files)
        std::printf("  (the tree counted %d files, not %d)\n", found, files);
    Bench::PrintRounds("tree", ours, "du -sb", peer);
    Bench::PrintRatios("tree / du -sb", ours, peer);
    return 0;
}
