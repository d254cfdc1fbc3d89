// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: times trashing many files of one name into a fresh Trash, against GLib's "gio trash" on the same set.
//
// bench_trash [count] [rounds]: count files named "x" (default 10000), each in a folder of its
// own, go to an empty Trash (ours in batches of 256, as the deletion thread's grow to); rounds
// alternate ours and gio's (default 2 each).
#include "platform/Trash.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// count folders under root, each holding one file "x".
QStringList MakeFiles(const QString &root, int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString folder = QStringLiteral("%1/%2").arg(root).arg(i, 5, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        QFile f(folder + QStringLiteral("/x"));
        f.open(QIODevice::WriteOnly);
        f.write("x");
        files << f.fileName();
    }
    return files;
}

int Trashed(const QString &trash) { return int(QDir(trash + QStringLiteral("/info")).entryList(QDir::Files).size()); }

double Ours(const QString &work, int count)
{
    const QStringList files = MakeFiles(work + QStringLiteral("/files"), count);
    const QString home = work + QStringLiteral("/data/Trash");
    const TTrash trash(home);
    QElapsedTimer t;
    t.start();
    // In batches, as the deletion thread hands them over once they have grown.
    constexpr qsizetype Batch = 256;
    int failed = 0;
    for (qsizetype at = 0; at < files.size(); at += Batch) {
        const QStringList batch = files.mid(at, Batch);
        int moved = 0;
        if (!trash.MoveToTrash(batch, &moved))
            failed += int(batch.size()) - moved;
    }
    const double s = double(t.nsecsElapsed()) / 1e9;
    std::printf("  vaskimo: %8.2f s  (%d trashed, %d failed)\n", s, Trashed(home), failed);
    return s;
}

double Gio(const QString &gio, const QString &work, int count)
{
    const QStringList files = MakeFiles(work + QStringLiteral("/files"), count);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), work + QStringLiteral("/data"));
    QProcess p;
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(gio, QStringList{QStringLiteral("trash")} + files);
    p.waitForFinished(-1);
    const double s = double(t.nsecsElapsed()) / 1e9;
    std::printf("  gio:     %8.2f s  (%d trashed, exit %d)\n", s, Trashed(work + QStringLiteral("/data/Trash")), p.exitCode());
    return s;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    std::printf("trashing %d files named x into an empty Trash; %d rounds\n", count, rounds);
    double ours = 0, peer = 0;
    for (int r = 0; r < rounds; ++r) {
        {
            QTemporaryDir work;
            ours += Ours(work.path(), count);
        }
        if (!gio.isEmpty()) {
            QTemporaryDir work;
            peer += Gio(gio, work.path(), count);
        }
    }
    std::printf("vaskimo: %.2f s per run (%.0f files/s)\n", ours / rounds, count * rounds / ours);
    if (gio.isEmpty())
        std::printf("gio: not installed (Debian: libglib2.0-bin)\n");
    else
        std::printf("gio trash: %.2f s per run; gio / vaskimo = %.1f\n", peer / rounds, peer / ours);
    return 0;
}
