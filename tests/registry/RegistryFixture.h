// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a small Wine prefix for the registry cleaner's tests: hives, drives and files in a temporary folder.
#pragma once

#include "platform/HiveFile.h"
#include "platform/WinePrefix.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <memory>

class TRegistryFixture
{
public:
    enum THive { System, User, UserDefault };

    TRegistryFixture()
    {
        QDir(Dir.path()).mkpath("prefix/drive_c/windows/system32");
        QDir(Dir.path()).mkpath("prefix/dosdevices");
        QDir(Dir.path()).mkpath("ddrive");
        QDir(Dir.path()).mkpath("program");
        QFile::link("../drive_c", PrefixFolder() + "/dosdevices/c:");
        QFile::link(Dir.filePath("ddrive"), PrefixFolder() + "/dosdevices/d:");
        QFile::link("/", PrefixFolder() + "/dosdevices/z:");
    }

    QString PrefixFolder() const { return Dir.filePath("prefix"); }
    QString ProgramFolder() const { return Dir.filePath("program"); }
    QString HiveFile(THive hive) const
    {
        static const char *names[] = {"system.reg", "user.reg", "userdef.reg"};
        return PrefixFolder() + "/" + names[hive];
    }

    // A file (or with a trailing "\" a folder) on C: or D:, e.g. "C:\windows\notepad.exe".
    void Create(const QString &windowsPath)
    {
        const QString root = windowsPath.at(0).toUpper() == u'D' ? Dir.filePath("ddrive") : PrefixFolder() + "/drive_c";
        QString rest = windowsPath.mid(3);
        rest.replace(u'\\', u'/');
        const QString host = root + "/" + rest;
        if (host.endsWith(u'/')) {
            QDir().mkpath(host);
            return;
        }
        QDir().mkpath(QFileInfo(host).path());
        QFile f(host);
        f.open(QIODevice::WriteOnly);
        f.write("x");
    }

    void String(THive hive, const QString &key, const QString &name, const QString &data, bool expandable = false)
    {
        QByteArray line = name.isEmpty() ? QByteArray("@=") : "\"" + HiveText::Escape(name, "\"") + "\"=";
        line += expandable ? "str(2):\"" : "\"";
        line += HiveText::Escape(data, "\"") + "\"\n";
        Keys[hive][key] += line;
    }
    void Dword(THive hive, const QString &key, const QString &name, quint32 number)
    {
        Keys[hive][key] += "\"" + HiveText::Escape(name, "\"") + "\"=dword:" + QByteArray::number(number, 16).rightJustified(8, '0') + "\n";
    }
    void Key(THive hive, const QString &key, qint64 unixTime = 1700000000) { Keys[hive][key]; Times[hive][key] = unixTime; }

    // Writes the hives and makes the prefix current.
    std::shared_ptr<TWinePrefix> Write()
    {
        static const char *relative[] = {"\\\\Machine", "\\\\User\\\\S-1-5-21-0-0-0-1000", "\\\\User\\\\.Default"};
        for (int h = 0; h < 3; ++h) {
            QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to " + QByteArray(relative[h]) + "\n\n#arch=win64\n";
            for (auto it = Keys[h].cbegin(); it != Keys[h].cend(); ++it) {
                const qint64 time = Times[h].value(it.key(), 1700000000);
                QString escapedKey = it.key();
                escapedKey.replace("\\", "\\\\");
                text += "\n[" + HiveText::Escape(it.key(), "[]").replace("\\", "\\\\") + "] " + QByteArray::number(time) + "\n";
                text += "#time=" + QByteArray::number(quint64(time + 11644473600LL) * 10000000ULL, 16) + "\n";
                text += it.value();
            }
            QFile f(HiveFile(THive(h)));
            f.open(QIODevice::WriteOnly);
            f.write(text);
        }
        auto prefix = std::make_shared<TWinePrefix>(PrefixFolder());
        TWinePrefix::SetCurrent(prefix);
        return prefix;
    }

    QTemporaryDir Dir;
    QMap<QString, QByteArray> Keys[3];
    QMap<QString, qint64> Times[3];
};
