// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "-delreg" against "-reg" and against Wine's own "regedit /s" deleting the same values, on a wineboot prefix.
//
// bench_registry_delete [values [stale [rounds]]]   (defaults 50000, 5000, 3)
//
// Builds a prefix with wineboot, adds the values with regedit (half to HKCU, half to HKLM, one in
// values/stale naming a file that is gone), then runs, alternating and on the same hives each time:
// "vaskimo -reg -exit", "vaskimo -delreg -exit", and regedit /s of a REGEDIT4 file of "name"=- lines
// for the stale values with a held wineserver, timed until the server has written the hives.
#include <QCoreApplication>
#include <QFileInfo>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <sys/stat.h>

namespace {

const QString Wine64 = QStringLiteral("/usr/lib/wine/wine64");
const QString WineServer = QStringLiteral("/usr/lib/wine/wineserver");
const char *const Hives[] = {"system.reg", "user.reg", "userdef.reg"};
constexpr int ValuesPerKey = 10;

QProcessEnvironment Environment(const QString &prefix)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), prefix);
    env.insert(QStringLiteral("WINEARCH"), QStringLiteral("win64"));
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("winemenubuilder.exe=d"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

bool Run(const QString &program, const QStringList &args, const QProcessEnvironment &env, int timeoutMs = 600000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(timeoutMs)) {
        std::fprintf(stderr, "%s did not run: %s\n", qPrintable(program), p.readAll().constData());
        p.kill();
        p.waitForFinished(5000);
        return false;
    }
    if (p.exitCode() != 0)
        std::fprintf(stderr, "%s %s: exit %d: %s\n", qPrintable(program), qPrintable(args.join(u' ')), p.exitCode(),
                     p.readAll().constData());
    return p.exitCode() == 0;
}

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
    for (const char *hive : Hives) {
        const QString target = QDir(to).filePath(QString::fromLatin1(hive));
        QFile::remove(target);
        if (!QFile::copy(QDir(from).filePath(QString::fromLatin1(hive)), target))
            return false;
    }
    return true;
}

double Median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int values = argc > 1 ? std::atoi(argv[1]) : 50000;
    const int stale = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    if (!QFile::exists(Wine64)) {
        std::fprintf(stderr, "bench_registry_delete: Wine is not installed (%s)\n", qPrintable(Wine64));
        return 1;
    }
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("prefix"));
    const QString master = dir.filePath(QStringLiteral("master"));
    const QString program = dir.filePath(QStringLiteral("program"));
    QDir().mkpath(master);
    QDir().mkpath(program + QStringLiteral("/run"));
    ::chmod(QFile::encodeName(program + QStringLiteral("/run")).constData(), 0700);
    const QString exe = program + QStringLiteral("/vaskimo");
    if (!QFile::copy(QStringLiteral(VASKIMO_EXE), exe) || !QFile::copy(QStringLiteral(VASKIMO_BLACKLIST), program + QStringLiteral("/BlackLst.vkb")))
        return 1;
    QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner);
    WriteFile(program + QStringLiteral("/Options.ini"), "[Registry]\r\nUndo levels=1\r\n");

    const QProcessEnvironment env = Environment(prefix);
    QByteArray add, remove;
    BuildRegFiles(values, stale, &add, &remove);
    const QString addFile = dir.filePath(QStringLiteral("add.reg")), removeFile = dir.filePath(QStringLiteral("remove.reg"));
    WriteFile(addFile, add);
    WriteFile(removeFile, remove);
    std::printf("bench_registry_delete: making the prefix (wineboot, then regedit adds %d values, %d stale)...\n", values, stale);
    std::fflush(stdout);
    if (!Run(Wine64, {QStringLiteral("wineboot"), QStringLiteral("-i")}, env) || !Run(WineServer, {QStringLiteral("-w")}, env)
        || !Run(Wine64, {QStringLiteral("regedit"), QStringLiteral("/S"), QStringLiteral("Z:") + QString(addFile).replace(u'/', u'\\')}, env)
        || !Run(WineServer, {QStringLiteral("-w")}, env) || !CopyHives(prefix, master))
        return 1;
    std::printf("bench_registry_delete: system.reg %lld bytes, user.reg %lld bytes\n",
                qint64(QFileInfo(prefix + QStringLiteral("/system.reg")).size()),
                qint64(QFileInfo(prefix + QStringLiteral("/user.reg")).size()));

    QProcessEnvironment ours = env;
    ours.insert(QStringLiteral("XDG_RUNTIME_DIR"), program + QStringLiteral("/run"));
    QList<double> reg, delreg, regedit;
    auto timed = [](const std::function<bool()> &run, QList<double> *into) {
        QElapsedTimer timer;
        timer.start();
        const bool ok = run();
        into->append(double(timer.nsecsElapsed()) / 1e9);
        return ok;
    };
    for (int round = 1; round <= rounds; ++round) {
        bool ok = CopyHives(master, prefix);
        ok = ok && timed([&] { return Run(exe, {QStringLiteral("-reg"), QStringLiteral("-exit")}, ours); }, &reg);
        ok = ok && CopyHives(master, prefix);
        QDir(program + QStringLiteral("/Undo")).removeRecursively();
        ok = ok && timed([&] { return Run(exe, {QStringLiteral("-delreg"), QStringLiteral("-exit")}, ours); }, &delreg);
        const QByteArray log = [&] {
            QFile f(program + QStringLiteral("/Vaskimo.log"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        if (!log.contains("Found " + QByteArray::number(stale) + " invalid entries! Deleting...") || log.contains("failed"))
            std::fprintf(stderr, "bench_registry_delete: the run did not find and delete %d values:\n%s\n", stale, log.right(600).constData());
        QFile::remove(program + QStringLiteral("/Vaskimo.log"));
        ok = ok && CopyHives(master, prefix);
        // regedit with a held server; the time runs until the server has written the hives and ended.
        ok = ok && timed([&] {
            QProcess server;
            server.setProcessEnvironment(env);
            server.start(WineServer, {QStringLiteral("-f"), QStringLiteral("-p")});
            const bool imported = server.waitForStarted(10000)
                                  && Run(Wine64, {QStringLiteral("regedit"), QStringLiteral("/S"),
                                                  QStringLiteral("Z:") + QString(removeFile).replace(u'/', u'\\')}, env);
            Run(WineServer, {QStringLiteral("-k")}, env);
            server.waitForFinished(60000);
            return imported;
        }, &regedit);
        if (!ok)
            return 1;
        std::printf("round %d: -reg %.2f s, -delreg %.2f s, regedit /s %.2f s\n", round, reg.last(), delreg.last(), regedit.last());
        std::fflush(stdout);
    }
    const double r = Median(reg), d = Median(delreg), w = Median(regedit);
    std::printf("bench_registry_delete: %d values, %d stale; medians: -reg %.2f s, -delreg %.2f s, regedit /s %.2f s\n",
                values, stale, r, d, w);
    std::printf("bench_registry_delete: -delreg / -reg = %.2f (goal: at most 3); -delreg / regedit = %.2f\n", d / r, d / w);
    return 0;
}
