// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "vaskimo -delsho -exit" over a desktop that is a home of many files, against
// find -xtype l (the dangling links of the same tree) on it.
//
// bench_shortcut [files [rounds]]   (defaults 200000 files, 5 rounds)
//
// Builds, as C:\users\demo\Desktop of a copy of the demo prefix, a home of empty files 50 a
// folder three levels deep, one in a thousand a valid shortcut (to a file beside it) and one in a
// thousand a dangling symbolic link. Nothing is invalid, so every run walks the same tree (the
// first, untimed run finds one that is put in the last folder). Then, alternating: the built
// program as a process, and find -xtype l.
#include "BenchSupport.h"
#include "files/LnkBuilder.h"

#include <QCoreApplication>

namespace {

// Returns the number of shortcuts written, -1 when the tree cannot be written.
int BuildHome(const QString &desktop, int files)
{
    int links = 0;
    for (int i = 0; i < files; ++i) {
        const QString relative = QStringLiteral("p%1/q%2/r%3").arg(i / 5000).arg(i / 500).arg(i / 50);
        const QString folder = desktop + u'/' + relative;
        if (i % 50 == 0 && !QDir().mkpath(folder))
            return -1;
        if (i % 1000 == 1) {
            const QString target = QStringLiteral("C:\\users\\demo\\Desktop\\%1\\doc%2.txt")
                                       .arg(QString(relative).replace(u'/', u'\\'))
                                       .arg(i - 1);
            QFile f(folder + QStringLiteral("/link%1.lnk").arg(i));
            if (!f.open(QIODevice::WriteOnly) || f.write(LnkBuilder::WithLinkInfo({target, {}, {}, {}, {}})) < 0)
                return -1;
            ++links;
        } else if (i % 1000 == 2) {
            if (!QFile::link(folder + QStringLiteral("/gone%1").arg(i), folder + QStringLiteral("/dangling%1").arg(i)))
                return -1;
        } else {
            QFile f(folder + QStringLiteral("/doc%1.txt").arg(i));
            if (!f.open(QIODevice::WriteOnly))
                return -1;
        }
    }
    return links;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const int files = args.size() > 0 ? std::max(1, args.at(0).toInt()) : 200000;
    const int rounds = args.size() > 1 ? std::max(1, args.at(1).toInt()) : 5;

    QTemporaryDir temp;
    const QString drive = temp.filePath(QStringLiteral("drive_c"));
    const QString desktop = drive + QStringLiteral("/users/demo/Desktop");
    QElapsedTimer build;
    build.start();
    const int links = BuildHome(desktop, files);
    if (links < 0) {
        std::fprintf(stderr, "cannot write the tree below %s\n", qPrintable(desktop));
        return 1;
    }
    std::printf("home: %d entries, %d of them valid shortcuts (built in %.1f s)\n", files, links,
                double(build.elapsed()) / 1000);
    const QString prefix = temp.filePath(QStringLiteral("prefix"));
    if (!Bench::MakePrefix(prefix, drive)) {
        std::fprintf(stderr, "cannot make the prefix\n");
        return 1;
    }
    Bench::TProgram program(prefix);
    program.WriteOptions("[Shortcuts]\r\nDeleting method=0\r\n");
    const QStringList ourArgs{QStringLiteral("-delsho"), QStringLiteral("-exit")};
    const QStringList findArgs{desktop, QStringLiteral("-xtype"), QStringLiteral("l")};
    // The first run, which warms the page cache for both, must find one invalid shortcut in the
    // last folder the tree has: it shows the walk reaches the whole tree.
    const QString last = QStringLiteral("p%1/q%2/r%3").arg((files - 1) / 5000).arg((files - 1) / 500).arg((files - 1) / 50);
    QFile stale(desktop + u'/' + last + QStringLiteral("/stale.lnk"));
    if (!stale.open(QIODevice::WriteOnly)
        || stale.write(LnkBuilder::WithLinkInfo({QStringLiteral("C:\\users\\demo\\gone.txt"), {}, {}, {}, {}})) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(stale.fileName()));
        return 1;
    }
    stale.close();
    QString found;
    program.Run(ourArgs, &found);
    QFile::remove(stale.fileName());
    if (found != QStringLiteral("Found 1 invalid shortcuts! Deleting...")) {
        std::fprintf(stderr, "the first run did not find the invalid shortcut %s: the log says \"%s\"\n",
                     qPrintable(stale.fileName()), qPrintable(found));
        return 1;
    }
    Bench::RunPeer(QStringLiteral("find"), findArgs);
    QList<double> ours, peer;
    for (int round = 0; round < rounds; ++round) {
        ours.append(program.Run(ourArgs, &found));
        peer.append(Bench::RunPeer(QStringLiteral("find"), findArgs));
        if (found != QStringLiteral("Found 0 invalid shortcuts! Deleting..."))
            std::fprintf(stderr, "round %d: the log says \"%s\"\n", round + 1, qPrintable(found));
    }
    Bench::PrintRounds("-delsho", ours, "find -xtype l", peer);
    Bench::PrintRatios("-delsho / find -xtype l", ours, peer);
    std::printf("bench_shortcut: %d entries; medians of %d alternating rounds: vaskimo -delsho %.3f s, "
                "find -xtype l %.3f s; ratio %.2f\n",
                files, rounds, Bench::Median(ours), Bench::Median(peer),
                Bench::Median(peer) > 0 ? Bench::Median(ours) / Bench::Median(peer) : 0.0);
    return 0;
}
