// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what the file-tool benchmarks share: the program run as a process on a prefix whose C:
// is a tree the benchmark built, peers run on the same tree, and medians of alternating runs.
#pragma once

#include "support/ProgramCopy.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace Bench {

inline double Median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

// Wall time of one run of a peer, its output thrown away (as a terminal would show it, not
// stored); -1 when it failed.
inline double RunPeer(const QString &program, const QStringList &args, const QProcessEnvironment &env = {})
{
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    p.start(program, args);
    if (!p.waitForFinished(3600 * 1000) || p.exitStatus() != QProcess::NormalExit) {
        std::fprintf(stderr, "%s did not run\n", qPrintable(program));
        return -1;
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

// A copy of the demo prefix (its hives) in which C: is the folder `drive` and no other drive
// exists, so that the program searches exactly the benchmark's tree.
inline bool MakePrefix(const QString &prefix, const QString &drive)
{
    QDir().mkpath(prefix + QStringLiteral("/dosdevices"));
    for (const char *hive : {"system.reg", "user.reg", "userdef.reg"}) {
        QFile::remove(prefix + u'/' + QLatin1String(hive));
        if (!QFile::copy(QStringLiteral(VASKIMO_DEMO_PREFIX "/") + QLatin1String(hive), prefix + u'/' + QLatin1String(hive)))
            return false;
    }
    QFile::remove(prefix + QStringLiteral("/dosdevices/c:"));
    return QFile::link(drive, prefix + QStringLiteral("/dosdevices/c:"));
}

// The built program, copied with the build's blacklist into a folder of its own, which makes it
// a program folder: "Options.ini", "Vaskimo.log" and "Duplicat.log" land there (and a per-user
// folder, should it take one, is in that folder too); run unattended on the offscreen platform.
class TProgram
{
public:
    explicit TProgram(const QString &prefix)
    {
        Exe = TestSupport::CopyProgram(Dir.path(), QStringLiteral(VASKIMO_EXE));
        Env = QProcessEnvironment::systemEnvironment();
        Env.insert(QStringLiteral("WINEPREFIX"), prefix);
        Env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Dir.filePath(QStringLiteral("run")));
        Env.insert(QStringLiteral("XDG_CONFIG_HOME"), Dir.filePath(QStringLiteral("config")));
        Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        Env.remove(QStringLiteral("DISPLAY"));
        Env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }
    void WriteOptions(const QByteArray &ini)
    {
        QFile f(Dir.filePath(QStringLiteral("Options.ini")));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(ini);
    }
    // Wall time of one run; -1 when it failed. *found: the last log line starting with "Found ".
    double Run(const QStringList &args, QString *found = nullptr)
    {
        QFile::remove(Dir.filePath(QStringLiteral("Vaskimo.log")));
        QProcess p;
        p.setProcessEnvironment(Env);
        p.setWorkingDirectory(Dir.path());
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        p.start(Exe, args);
        if (!p.waitForFinished(3600 * 1000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            std::fprintf(stderr, "vaskimo %s did not run\n", qPrintable(args.join(u' ')));
            return -1;
        }
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (found) {
            found->clear();
            QFile log(Dir.filePath(QStringLiteral("Vaskimo.log")));
            if (log.open(QIODevice::ReadOnly))
                for (const QByteArray &line : log.readAll().split('\n'))
                    if (line.startsWith("Found "))
                        *found = QString::fromLatin1(line.trimmed());
        }
        return seconds;
    }
    QTemporaryDir Dir;
    QString Exe;
    QProcessEnvironment Env;
};

// Writes size bytes of a pattern drawn from seed (the same seed gives the same bytes).
inline bool WriteFile(const QString &path, qint64 size, quint32 seed)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    std::mt19937 bytes(seed);
    QByteArray block(1 << 16, Qt::Uninitialized);
    qint64 left = size;
    while (left > 0) {
        for (qsizetype i = 0; i < block.size(); i += 4) {
            const quint32 word = bytes();
            std::memcpy(block.data() + i, &word, 4);
        }
        const qint64 n = std::min<qint64>(left, block.size());
        if (f.write(block.constData(), n) != n)
            return false;
        left -= n;
    }
    return true;
}

// A tree of files of 64 bytes to 16 KB (empty with empty set), 100 a folder, in folders of
// 3,000: root/dN/sM/fileK.dat, of which matches, spread evenly, are named fileK.tmp. Returns
// how many are *.tmp.
inline int BuildFileTree(const QString &root, int files, int matches, bool empty = false)
{
    std::mt19937 random(20261210);
    std::uniform_int_distribution<qint64> sizeOf(64, 16 * 1024);
    const int every = std::max(1, files / std::max(1, matches));
    int written = 0;
    for (int i = 0; i < files; ++i) {
        const QString folder = root + QStringLiteral("/d%1/s%2").arg(i / 3000).arg(i / 100);
        if (i % 100 == 0)
            QDir().mkpath(folder);
        const bool match = matches > 0 && i % every == 0 && written < matches;
        written += match ? 1 : 0;
        const QString name = folder + QStringLiteral("/file%1.%2").arg(i).arg(match ? "tmp" : "dat");
        const qint64 size = sizeOf(random);
        if (empty) {
            QFile f(name);
            if (!f.open(QIODevice::WriteOnly))
                return -1;
        } else if (!WriteFile(name, size, quint32(i))) {
            return -1;
        }
    }
    return written;
}

inline void PrintRounds(const char *ours, const QList<double> &our, const char *peer, const QList<double> &their)
{
    for (qsizetype i = 0; i < our.size() && i < their.size(); ++i)
        std::printf("  round %lld: %s %.3f s, %s %.3f s, ratio %.2f\n", (long long)i + 1, ours, our.at(i), peer,
                    their.at(i), their.at(i) > 0 ? our.at(i) / their.at(i) : 0.0);
}

// Processor seconds (user and system) this process, or its ended children, have used so far:
// steadier than wall time on a loaded machine, to see where a difference comes from.
inline double ProcessorSeconds(int who = RUSAGE_SELF)
{
    struct rusage usage {};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// min, median and max over the rounds of ours / theirs, each round's pair taken together.
inline void PrintRatios(const char *what, const QList<double> &our, const QList<double> &their)
{
    QList<double> ratios;
    for (qsizetype i = 0; i < our.size() && i < their.size(); ++i)
        if (our.at(i) > 0 && their.at(i) > 0)
            ratios << our.at(i) / their.at(i);
    if (ratios.isEmpty()) {
        std::printf("  %s: no round gave a ratio\n", what);
        return;
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("  %s: ratio min %.2f, median %.2f, max %.2f over %lld rounds\n", what, ratios.first(), Median(ratios),
                ratios.last(), (long long)ratios.size());
}

// Writes the files below root to the disk and drops them from the page cache, so that the next
// reader reads the disk (a cold run). Only these files: the page cache of other jobs stays.
inline void DropFromCache(const QString &root)
{
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const int fd = ::open(QFile::encodeName(it.next()).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

}  // namespace Bench
