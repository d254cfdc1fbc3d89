// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: times the registry cleaner's scan of the three roots of a generated prefix (2 MB system.reg).
#include "platform/Registry.h"
#include "platform/WinePrefix.h"
#include "registry/RekisteriThds.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QByteArray KeyBlock(const QByteArray &path, const QList<QByteArray> &values)
{
    QByteArray block = "\n[" + path + "] 1700000000\n#time=1d9a1b2c3d4e5f6\n";
    for (const QByteArray &v : values)
        block += v + "\n";
    return block;
}

// Classes, CLSIDs, services and uninstall keys of the kind wineboot writes, with paths that exist
// (under system32) and paths that do not.
QByteArray MachineHive(int targetBytes)
{
    QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
    int n = 0;
    while (text.size() < targetBytes) {
        const QByteArray id = QByteArray::number(n).rightJustified(8, '0');
        const QByteArray clsid = "{" + id + "-0000-0000-C000-000000000046}";
        const QByteArray dll = (n % 5 == 0 ? "gone" : "lib") + QByteArray::number(n % 400) + ".dll";
        text += KeyBlock("Software\\\\Classes\\\\CLSID\\\\" + clsid, {"@=\"Object " + id + "\""});
        text += KeyBlock("Software\\\\Classes\\\\CLSID\\\\" + clsid + "\\\\InprocServer32",
                         {"@=\"C:\\\\windows\\\\system32\\\\" + dll + "\"", "\"ThreadingModel\"=\"Both\""});
        if (n % 4 == 0)
            text += KeyBlock("Software\\\\Classes\\\\." + id + "\\\\DefaultIcon",
                             {"@=str(2):\"%SystemRoot%\\\\system32\\\\shell32.dll,-" + QByteArray::number(n) + "\""});
        if (n % 10 == 0)
            text += KeyBlock("Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\App" + id,
                             {"\"DisplayName\"=\"App " + id + "\"", "\"InstallLocation\"=\"C:\\\\Apps\\\\App" + id + "\"",
                              "\"EstimatedSize\"=dword:00001000"});
        if (n % 7 == 0)
            text += KeyBlock("System\\\\CurrentControlSet\\\\Services\\\\Svc" + id,
                             {"\"ImagePath\"=\"C:\\\\windows\\\\system32\\\\drivers\\\\svc" + id + ".sys\"", "\"Start\"=dword:00000003"});
        ++n;
    }
    return text;
}

QByteArray UserHive(const char *relative, int keys)
{
    QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to " + QByteArray(relative) + "\n\n#arch=win64\n";
    for (int n = 0; n < keys; ++n)
        text += KeyBlock("Software\\\\Vendor" + QByteArray::number(n % 20) + "\\\\App" + QByteArray::number(n),
                         {"\"LastFile\"=\"C:\\\\users\\\\me\\\\Documents\\\\file" + QByteArray::number(n) + ".txt\"",
                          "\"Window\"=hex:01,02,03,04"});
    return text;
}

void Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString prefixFolder = dir.filePath("prefix");
    QDir().mkpath(prefixFolder + "/dosdevices");
    QDir().mkpath(prefixFolder + "/drive_c/windows/system32/drivers");
    QDir().mkpath(prefixFolder + "/drive_c/users/me/Documents");
    QFile::link("../drive_c", prefixFolder + "/dosdevices/c:");
    QFile::link("/", prefixFolder + "/dosdevices/z:");
    for (int i = 0; i < 400; ++i)
        Write(prefixFolder + QStringLiteral("/drive_c/windows/system32/lib%1.dll").arg(i), "x");
    Write(prefixFolder + "/drive_c/windows/system32/shell32.dll", "x");
    const QByteArray system = MachineHive(2 * 1024 * 1024);
    Write(prefixFolder + "/system.reg", system);
    Write(prefixFolder + "/user.reg", UserHive("\\\\User\\\\S-1-5-21-0-0-0-1000", 1500));
    Write(prefixFolder + "/userdef.reg", UserHive("\\\\User\\\\.Default", 300));

    QElapsedTimer timer;
    timer.start();
    auto prefix = std::make_shared<TWinePrefix>(prefixFolder);
    TWinePrefix::SetCurrent(prefix);
    {
        TRegistry warm(TRootKey::LocalMachine, prefix);  // loading the hives is part of the first Find
        warm.OpenKeyReadOnly("\\Software");
        TRegistry user(TRootKey::CurrentUser, prefix);
        user.OpenKeyReadOnly("\\");
        TRegistry users(TRootKey::Users, prefix);
        users.OpenKeyReadOnly("\\");
    }
    const qint64 loadMs = timer.elapsed();

    QObject owner;
    int running = 0, found = 0, steps = 0, total = 0;
    std::function<void(TEtsiRekisteri *)> start = [&](TEtsiRekisteri *worker) {
        ++running;
        worker->SetOnTerminate([&](TSharedThd *) { --running; });
        worker->Resume();
    };
    const TSortedStringList skips;
    auto onFound = [&](const QString &, const QString &, const QDateTime &, const QString &, const QString &) { ++found; };
    auto onProgress = [&](int, int) { ++steps; };
    auto onTotal = [&](int t) { total += t; };
    auto onSplit = [&](TEtsiRekisteri *child) { start(child); };
    timer.restart();
    start(new TEtsiRekisteri(&owner, skips, onFound, onProgress, onTotal, TRootKey::LocalMachine, "\\Software", 2, 1, onSplit, prefix));
    start(new TEtsiRekisteri(&owner, skips, onFound, onProgress, onTotal, TRootKey::CurrentUser, "\\", 1, 1, onSplit, prefix));
    start(new TEtsiRekisteri(&owner, skips, onFound, onProgress, onTotal, TRootKey::Users, "\\", 1, 1, onSplit, prefix));
    while (running > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 scanMs = timer.elapsed();

    std::printf("bench_registry: system.reg %lld bytes; hives loaded in %lld ms\n", qint64(system.size()), loadMs);
    std::printf("bench_registry: scan of HKLM\\Software (2 parts), HKCU and HKU: %lld ms, %d invalid values, %d of %d steps\n",
                scanMs, found, steps, total);
    std::printf("bench_registry: load + scan %lld ms (goal: under 1000 ms)\n", loadMs + scanMs);

    // Deleting found values: each delete rewrites its hive (atomically), as "Delete all" does.
    timer.restart();
    TRegistry machine(TRootKey::LocalMachine, prefix);
    int deleted = 0;
    for (int n = 0; n < 2000 && deleted < 200; n += 5) {
        const QString key = QStringLiteral("\\Software\\Classes\\CLSID\\{%1-0000-0000-C000-000000000046}\\InprocServer32")
                                .arg(n, 8, 10, QChar(u'0'));
        if (machine.OpenKey(key, false) && machine.DeleteValue(QString()))
            ++deleted;
    }
    std::printf("bench_registry: %d deletes from system.reg in %lld ms\n", deleted, timer.elapsed());
    return 0;
}
