// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "-delreg" against "-reg" and against Wine's own "regedit /s" deleting the same values, on a wineboot prefix.
//
// bench_registry_delete [values [stale [rounds]]]   (defaults 50000, 5000, 3)
//
// Builds a prefix with wineboot, adds the values with regedit (half to HKCU, half to HKLM, one in
// values/stale naming a file that is gone), then runs, alternating and on the same hives each time:
// "vaskimo -reg -exit", "vaskimo -delreg -exit", and regedit /s of a REGEDIT4 file of "name"=- lines
// for the stale values with a held wineserver, timed until the server has written the hives.
#include "BenchSupport.h"
#include "support/HiveCompare.h"
#include "support/WineTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

using namespace TestSupport;

constexpr int ValuesPerKey = 10;
constexpr int RunTimeoutMs = 600000;

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray KeyName(int key)
{
    const QByteArray root = key % 2 ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
    return root + "\\Software\\VkBench\\Vendor" + QByteArray::number(key % 50) + "\\App" + QByteArray::number(key);
}

// The values (REGEDIT4), and the deletions of the stale ones.
void BuildRegFiles(int values, int stale, QByteArray *add, QByteArray *remove)
{
    *add = "REGEDIT4\r\n";
    *remove = "REGEDIT4\r\n";
    const int every = std::max(1, values / std::max(1, stale));
    int staleMade = 0;
    for (int v = 0; v < values; ++v) {
        const int key = v / ValuesPerKey;
        if (v % ValuesPerKey == 0)
            *add += "\r\n[" + KeyName(key) + "]\r\n";
        const QByteArray n = QByteArray::number(v);
        if (v % every == 0 && staleMade < stale) {
            ++staleMade;
            *add += "\"Stale" + n + "\"=\"C:\\\\VkGone\\\\Program" + n + "\\\\tool.exe\"\r\n";
            *remove += "\r\n[" + KeyName(key) + "]\r\n\"Stale" + n + "\"=-\r\n";
        } else if (v % 3 == 0) {
            *add += "\"Path" + n + "\"=\"C:\\\\windows\\\\system32\\\\notepad.exe\"\r\n";
        } else if (v % 3 == 1) {
            *add += "\"Folder" + n + "\"=\"C:\\\\windows\\\\system32\"\r\n";
        } else {
            *add += "\"Setting" + n + "\"=\"Value " + n + "\"\r\n";
        }
    }
}

bool CopyHives(const QString &from, const QString &to)
{
    for (const char *hive : HiveNames) {
        const QString target = QDir(to).filePath(QString::fromLatin1(hive));
        QFile::remove(target);
        if (!QFile::copy(QDir(from).filePath(QString::fromLatin1(hive)), target))
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int values = argc > 1 ? std::atoi(argv[1]) : 50000;
    const int stale = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    QString why;
    if (!WineInstalled(&why)) {
        std::fprintf(stderr, "bench_registry_delete: %s\n", qPrintable(why));
        return 1;
    }
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("prefix"));
    const QString master = dir.filePath(QStringLiteral("master"));
    QDir().mkpath(master);
    TProgramCopy program(QStringLiteral(VASKIMO_EXE));
    program.WriteOptions("[Registry]\r\nUndo levels=1\r\n");

    QByteArray add, remove;
    BuildRegFiles(values, stale, &add, &remove);
    const QString addFile = dir.filePath(QStringLiteral("add.reg")), removeFile = dir.filePath(QStringLiteral("remove.reg"));
    WriteFile(addFile, add);
    WriteFile(removeFile, remove);
    std::printf("bench_registry_delete: making the prefix (wineboot, then regedit adds %d values, %d stale)...\n", values, stale);
    std::fflush(stdout);
    QByteArray out;
    if (!TWinebootPrefix::Shared().CopyTo(prefix, &why)) {
        std::fprintf(stderr, "bench_registry_delete: %s\n", qPrintable(why));
        return 1;
    }
    if (!RegeditImport(prefix, addFile, &out, RunTimeoutMs) || !CopyHives(prefix, master)) {
        std::fprintf(stderr, "bench_registry_delete: regedit did not add the values: %s\n", out.constData());
        return 1;
    }
    std::printf("bench_registry_delete: system.reg %lld bytes, user.reg %lld bytes\n",
                qint64(QFileInfo(prefix + QStringLiteral("/system.reg")).size()),
                qint64(QFileInfo(prefix + QStringLiteral("/user.reg")).size()));

    QList<double> reg, delreg, regedit;
    auto timed = [&out](const std::function<bool()> &run, QList<double> *into) {
        QElapsedTimer timer;
        timer.start();
        const bool ok = run();
        into->append(double(timer.nsecsElapsed()) / 1e9);
        if (!ok)
            std::fprintf(stderr, "bench_registry_delete: a run failed: %s\n", out.constData());
        return ok;
    };
    for (int round = 1; round <= rounds; ++round) {
        bool ok = CopyHives(master, prefix);
        ok = ok && timed([&] { return program.Run({QStringLiteral("-reg"), QStringLiteral("-exit")}, prefix, &out, RunTimeoutMs); }, &reg);
        ok = ok && CopyHives(master, prefix);
        QDir(program.FilePath(QStringLiteral("Undo"))).removeRecursively();
        ok = ok && timed([&] { return program.Run({QStringLiteral("-delreg"), QStringLiteral("-exit")}, prefix, &out, RunTimeoutMs); }, &delreg);
        const QByteArray log = program.Log();
        if (!log.contains("Found " + QByteArray::number(stale) + " invalid entries! Deleting...") || log.contains("failed"))
            std::fprintf(stderr, "bench_registry_delete: the run did not find and delete %d values:\n%s\n", stale, log.right(600).constData());
        QFile::remove(program.FilePath(QStringLiteral("Vaskimo.log")));
        ok = ok && CopyHives(master, prefix);
        // regedit with a held server; the time runs until the server has written the hives and ended.
        ok = ok && timed([&] { return RegeditImport(prefix, removeFile, &out, RunTimeoutMs); }, &regedit);
        if (!ok)
            return 1;
        std::printf("round %d: -reg %.2f s, -delreg %.2f s, regedit /s %.2f s\n", round, reg.last(), delreg.last(), regedit.last());
        std::fflush(stdout);
    }
    const double r = Bench::Median(reg), d = Bench::Median(delreg), w = Bench::Median(regedit);
    std::printf("bench_registry_delete: %d values, %d stale; medians: -reg %.2f s, -delreg %.2f s, regedit /s %.2f s\n",
                values, stale, r, d, w);
    std::printf("bench_registry_delete: -delreg / -reg = %.2f (goal: at most 3); -delreg / regedit = %.2f\n", d / r, d / w);
    return 0;
}
