// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: times the load and save of a ~2 MB hive, one value write, and a walk of it by four threads.
#include "platform/HiveFile.h"
#include "platform/Registry.h"
#include "platform/WinePrefix.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

QByteArray MakeHive(int targetBytes)
{
    QByteArray t = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
    QByteArray blob;
    for (int i = 0; i < 40; ++i)
        blob.append(char(i * 7));
    for (int n = 0; t.size() < targetBytes; ++n) {
        const QByteArray key = "Software\\\\Vendor" + QByteArray::number(n / 400) + "\\\\Product"
                               + QByteArray::number(n / 20) + "\\\\Key" + QByteArray::number(n);
        t += "\n[" + key + "] 1700000000\n#time=1da1b2c3d4e5f60\n";
        t += "\"Path\"=\"C:\\\\Program Files\\\\Vendor\\\\app" + QByteArray::number(n) + ".exe\"\n";
        t += "\"Install\"=str(2):\"%ProgramFiles%\\\\Vendor\\\\p\\xe4th" + QByteArray::number(n) + "\"\n";
        t += "\"Count\"=dword:" + QByteArray::number(n, 16).rightJustified(8, '0') + "\n";
        t += HiveText::FormatValue(QStringLiteral("Blob"), 3, blob);
    }
    return t;
}

double Ms(QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QByteArray text = MakeHive(2 * 1024 * 1024);
    {
        QFile f(dir.path() + QStringLiteral("/system.reg"));
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
    std::printf("hive: %lld bytes\n", static_cast<long long>(text.size()));

    THiveFile hive(dir.path() + QStringLiteral("/system.reg"), QStringLiteral("\\Machine"));
    QElapsedTimer t;
    t.start();
    hive.Load();
    std::printf("load: %.1f ms\n", Ms(t));
    t.restart();
    QString error;
    hive.Save(&error);
    std::printf("save unchanged: %.1f ms\n", Ms(t));

    auto prefix = std::make_shared<TWinePrefix>(dir.path());
    TRegistry reg(TRootKey::LocalMachine, prefix);
    reg.OpenKey(QStringLiteral("\\Software\\Vendor3\\Product70\\Key1400"), false);
    t.restart();
    reg.WriteString(QStringLiteral("Path"), QStringLiteral("C:\\changed"));
    std::printf("first write (load + change + save): %.1f ms\n", Ms(t));
    t.restart();
    reg.DeleteValue(QStringLiteral("Count"));
    std::printf("second write (change + save): %.1f ms\n", Ms(t));

    std::function<long(TRegistry &)> walk = [&](TRegistry &r) {
        long values = 0;
        const QString here = r.CurrentPath();
        for (const QString &v : r.GetValueNames())
            if (r.GetDataType(v) == TRegDataType::String || r.GetDataType(v) == TRegDataType::ExpandString) {
                r.ReadString(v);
                ++values;
            }
        for (const QString &name : r.GetKeyNames()) {
            if (r.OpenKeyReadOnly(name) && r.HasSubKeys())
                values += walk(r);
            else
                values += long(r.GetValueNames().size());
            r.OpenKeyReadOnly(QStringLiteral("\\") + (here.startsWith(QLatin1Char('\\')) ? here.mid(1) : here));
        }
        return values;
    };
    t.restart();
    std::vector<std::thread> threads;
    std::vector<long> counts(4);
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            TRegistry r(TRootKey::LocalMachine, prefix);
            r.OpenKeyReadOnly(QStringLiteral("\\"));
            counts[i] = walk(r);
        });
    for (auto &th : threads)
        th.join();
    std::printf("walk by 4 threads: %.1f ms (%ld values each)\n", Ms(t), counts[0]);
    return 0;
}
