// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "vaskimo -unn -exit" against find listing the same *.tmp files, and "-delunn" against
// find deleting them, on a tree the benchmark builds.
//
// bench_unnecessary [files [matches [rounds]]] [--delete] [--recycle] [--empty]
//   (defaults 60000 files of which 20000 are *.tmp, 5 rounds; --empty: files of 0 bytes, for
//   trees of a million files)
//
// Builds the tree in a temporary folder (sizes 64 bytes to 16 KB, 100 files a folder, two levels)
// and a copy of the demo prefix whose C: is that tree. Then, alternating: the built program as a
// process with its default masks, and find -type f -name '*.tmp' -printf '%s %T@\n'. With
// --delete each run gets a fresh copy of the tree (copying is not timed): "-delunn -exit"
// deleting for good ("Deleting method" 0) against find -delete; with --recycle the program moves
// the files to the Trash of a temporary home against gio trash of the same files.
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDirIterator>

#include <cstring>

namespace {

int CountMatches(const QString &root)
{
    int n = 0;
    QDirIterator it(root, {QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

bool CopyTree(const QString &from, const QString &to)
{
    QDir(to).removeRecursively();
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), from, to}) == 0;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool deleting = args.removeAll(QStringLiteral("--delete")) > 0;
    const bool recycle = args.removeAll(QStringLiteral("--recycle")) > 0;
    const bool empty = args.removeAll(QStringLiteral("--empty")) > 0;
    const int files = args.size() > 0 ? args.at(0).toInt() : 60000;
    const int matches = args.size() > 1 ? args.at(1).toInt() : 20000;
    const int rounds = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 5;

    QTemporaryDir temp;
    const QString source = temp.filePath(QStringLiteral("tree"));
    const QString work = temp.filePath(QStringLiteral("work"));
    const QString home = temp.filePath(QStringLiteral("home"));
    QElapsedTimer build;
    build.start();
    const int written = Bench::BuildFileTree(source, files, matches, empty);
    if (written < 0) {
        std::fprintf(stderr, "cannot write the tree below %s\n", qPrintable(source));
        return 1;
    }
    std::printf("tree: %d files, %d of them *.tmp (built in %.1f s)\n", files, written, double(build.elapsed()) / 1000);

    const QString prefix = temp.filePath(QStringLiteral("prefix"));
    if (!Bench::MakePrefix(prefix, deleting ? work : source)) {
        std::fprintf(stderr, "cannot make the prefix\n");
        return 1;
    }
    Bench::TProgram program(prefix);
    program.WriteOptions(QByteArray("[Unnecessary files]\r\nDeleting method=") + (recycle ? "1" : "0") + "\r\n");
    program.Env.insert(QStringLiteral("XDG_DATA_HOME"), home);
    QProcessEnvironment peerEnv = QProcessEnvironment::systemEnvironment();
    peerEnv.insert(QStringLiteral("XDG_DATA_HOME"), home);

    const QString pattern = QStringLiteral("*.tmp");
    QList<double> ours, peer;
    QString found;
    const QString expected = QStringLiteral("Found %1 unnecessary files!%2").arg(written).arg(deleting ? " Deleting..." : "");
    if (!deleting) {
        program.Run({QStringLiteral("-unn"), QStringLiteral("-exit")});  // warms the page cache
        Bench::RunPeer(QStringLiteral("find"), {source, QStringLiteral("-type"), QStringLiteral("f")});
    }
    for (int round = 0; round < rounds; ++round) {
        if (deleting) {
            QDir(home).removeRecursively();
            CopyTree(source, work);
            ours.append(program.Run({QStringLiteral("-delunn"), QStringLiteral("-exit")}, &found));
            if (CountMatches(work) != 0)
                std::fprintf(stderr, "round %d: the program left *.tmp files\n", round + 1);
            QDir(home).removeRecursively();
            CopyTree(source, work);
            peer.append(recycle ? Bench::RunPeer(QStringLiteral("sh"),
                                                 {QStringLiteral("-c"),
                                                  QStringLiteral("find \"$0\" -type f -name '*.tmp' -exec gio trash {} +"), work},
                                                 peerEnv)
                                : Bench::RunPeer(QStringLiteral("find"), {work, QStringLiteral("-type"), QStringLiteral("f"),
                                                                          QStringLiteral("-name"), pattern,
                                                                          QStringLiteral("-delete")}));
            if (CountMatches(work) != 0)
                std::fprintf(stderr, "round %d: the peer left *.tmp files\n", round + 1);
        } else {
            ours.append(program.Run({QStringLiteral("-unn"), QStringLiteral("-exit")}, &found));
            peer.append(Bench::RunPeer(QStringLiteral("find"),
                                       {source, QStringLiteral("-type"), QStringLiteral("f"), QStringLiteral("-name"),
                                        pattern, QStringLiteral("-printf"), QStringLiteral("%s %T@\\n")}));
        }
        if (found != expected)
            std::fprintf(stderr, "round %d: the log says \"%s\", not \"%s\"\n", round + 1, qPrintable(found),
                         qPrintable(expected));
    }
    const char *ourName = deleting ? "-delunn" : "-unn";
    const char *peerName = deleting ? (recycle ? "gio trash" : "find -delete") : "find";
    Bench::PrintRounds(ourName, ours, peerName, peer);
    Bench::PrintRatios(qPrintable(QStringLiteral("%1 / %2").arg(QLatin1String(ourName), QLatin1String(peerName))), ours, peer);
    const double o = Bench::Median(ours), p = Bench::Median(peer);
    std::printf("bench_unnecessary: %d files, %d *.tmp, %s; medians of %d alternating rounds: vaskimo %s %.3f s, "
                "%s %.3f s; ratio %.2f\n",
                files, written, deleting ? (recycle ? "to the Trash" : "deleted for good") : "listed", rounds, ourName,
                o, peerName, p, p > 0 ? o / p : 0.0);
    return 0;
}
