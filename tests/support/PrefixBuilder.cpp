// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a small Wine prefix in a temporary folder for tests.
#include "PrefixBuilder.h"

#include "platform/HiveFile.h"
#include "platform/WinePrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace TestSupport {

namespace {
const char *const HiveNames[3] = {"system.reg", "user.reg", "userdef.reg"};
const char *const RelativeTo[3] = {"\\\\Machine", "\\\\User\\\\S-1-5-21-0-0-0-1000", "\\\\User\\\\.Default"};
constexpr qint64 FixedTime = 1700000000;  // the key-line time of every built key
}

QByteArray HiveEscape(const QString &text)
{
    return HiveText::Escape(text, "\"");
}

TPrefixBuilder::TPrefixBuilder(bool withDrives)
{
    if (withDrives) {
        QDir(FDir.path()).mkpath(QStringLiteral("dosdevices"));
        QDir(FDir.path()).mkpath(QStringLiteral("drive_c/windows/system32"));
        Link(QLatin1Char('c'), QStringLiteral("../drive_c"));
        Link(QLatin1Char('z'), QStringLiteral("/"));
    }
}

TPrefixBuilder::~TPrefixBuilder()
{
    if (FInstalled)
        TWinePrefix::SetCurrent(FPrevious);
}

QString TPrefixBuilder::Folder() const
{
    return FDir.path();
}

QString TPrefixBuilder::DriveC() const
{
    return FDir.path() + QStringLiteral("/drive_c");
}

QString TPrefixBuilder::HivePath(THive hive) const
{
    return FDir.path() + QLatin1Char('/') + QLatin1String(HiveNames[int(hive)]);
}

QString TPrefixBuilder::UserName() const
{
    return TWinePrefix(FDir.path()).UserName();
}

TPrefixBuilder::THiveText &TPrefixBuilder::Text(THive hive)
{
    THiveText &t = FHives[int(hive)];
    t.Used = true;
    return t;
}

void TPrefixBuilder::AddKey(THive hive, const QString &path, const QByteArray &valueLines)
{
    THiveText &t = Text(hive);
    for (auto &k : t.Keys)
        if (k.first.compare(path, Qt::CaseInsensitive) == 0) {
            k.second += valueLines;
            return;
        }
    t.Keys.append({path, valueLines});
}

void TPrefixBuilder::AddString(THive hive, const QString &path, const QString &name, const QString &value)
{
    AddKey(hive, path, HiveText::FormatStringValue(name, 1, value));
}

void TPrefixBuilder::AddExpandString(THive hive, const QString &path, const QString &name, const QString &value)
{
    AddKey(hive, path, HiveText::FormatStringValue(name, 2, value));
}

void TPrefixBuilder::AddDword(THive hive, const QString &path, const QString &name, quint32 value)
{
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = char((value >> (8 * i)) & 0xFF);
    AddKey(hive, path, HiveText::FormatValue(name, 4, data));
}

void TPrefixBuilder::AddBinary(THive hive, const QString &path, const QString &name, const QByteArray &value)
{
    AddKey(hive, path, HiveText::FormatValue(name, 3, value));
}

void TPrefixBuilder::AddLink(THive hive, const QString &path, const QString &target)
{
    AddKey(hive, path, "#link\n" + HiveText::FormatValue(QStringLiteral("SymbolicLinkValue"), 6, HiveText::Utf16(target, false)));
}

void TPrefixBuilder::SetHiveText(THive hive, const QByteArray &text)
{
    THiveText &t = Text(hive);
    t.Raw = true;
    t.RawText = text;
    t.Keys.clear();
}

void TPrefixBuilder::Link(QChar letter, const QString &target)
{
    QDir(FDir.path()).mkpath(QStringLiteral("dosdevices"));
    const QString link = FDir.path() + QStringLiteral("/dosdevices/") + letter.toLower() + QLatin1Char(':');
    QFile::remove(link);
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) != 0)
        qWarning("TPrefixBuilder: cannot make the link %s", qPrintable(link));
}

void TPrefixBuilder::Unlink(QChar letter)
{
    QFile::remove(FDir.path() + QStringLiteral("/dosdevices/") + letter.toLower() + QLatin1Char(':'));
}

QString TPrefixBuilder::HostPath(const QString &windowsPath) const
{
    QString p = windowsPath;
    if (p.size() >= 2 && p[1] == QLatin1Char(':') && p[0].toLower() == QLatin1Char('c')) {
        p = p.mid(2);
        p.replace(QLatin1Char('\\'), QLatin1Char('/'));
        while (p.endsWith(QLatin1Char('/')))
            p.chop(1);
        return DriveC() + (p.startsWith(QLatin1Char('/')) || p.isEmpty() ? p : QLatin1Char('/') + p);
    }
    return windowsPath;
}

QString TPrefixBuilder::AddFile(const QString &path, const QByteArray &content)
{
    const QString host = HostPath(path);
    QDir().mkpath(QFileInfo(host).absolutePath());
    QFile f(host);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qWarning("TPrefixBuilder: cannot write %s", qPrintable(host));
    return host;
}

QString TPrefixBuilder::AddFolder(const QString &path)
{
    const QString host = HostPath(path);
    QDir().mkpath(host);
    return host;
}

void TPrefixBuilder::AddProfile()
{
    const QString user = UserName();
    const QString shellKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");
    const QString shownKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    const QString profile = QStringLiteral("C:\\users\\") + user;
    const struct {
        const char *name, *below;
    } folders[] = {
        {"AppData", "AppData\\Roaming"},
        {"Cache", "AppData\\Local\\Microsoft\\Windows\\INetCache"},
        {"Cookies", "AppData\\Roaming\\Microsoft\\Windows\\Cookies"},
        {"Desktop", "Desktop"},
        {"Favorites", "Favorites"},
        {"History", "AppData\\Local\\Microsoft\\Windows\\History"},
        {"Local AppData", "AppData\\Local"},
        {"Personal", "Documents"},
        {"Programs", "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
        {"Recent", "AppData\\Roaming\\Microsoft\\Windows\\Recent"},
        {"Start Menu", "AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
        {"Startup", "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
        {"Templates", "AppData\\Roaming\\Microsoft\\Windows\\Templates"},
    };
    for (const auto &f : folders) {
        const QString below = QString::fromLatin1(f.below);
        AddExpandString(THive::User, shellKey, QString::fromLatin1(f.name), QStringLiteral("%USERPROFILE%\\") + below);
        AddString(THive::User, shownKey, QString::fromLatin1(f.name), profile + QLatin1Char('\\') + below);
        AddFolder(profile + QLatin1Char('\\') + below);
    }
    AddExpandString(THive::User, QStringLiteral("Environment"), QStringLiteral("TEMP"),
                    QStringLiteral("%USERPROFILE%\\AppData\\Local\\Temp"));
    AddExpandString(THive::User, QStringLiteral("Environment"), QStringLiteral("TMP"),
                    QStringLiteral("%USERPROFILE%\\AppData\\Local\\Temp"));
    AddFolder(profile + QStringLiteral("\\AppData\\Local\\Temp"));
    const QString env = QStringLiteral("System\\CurrentControlSet\\Control\\Session Manager\\Environment");
    AddString(THive::System, env, QStringLiteral("ComSpec"), QStringLiteral("C:\\windows\\system32\\cmd.exe"));
    AddExpandString(THive::System, env, QStringLiteral("PATH"),
                    QStringLiteral("%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\system32\\wbem"));
    AddExpandString(THive::System, env, QStringLiteral("TEMP"), QStringLiteral("%SystemRoot%\\TEMP"));
    AddExpandString(THive::System, env, QStringLiteral("TMP"), QStringLiteral("%SystemRoot%\\TEMP"));
    AddExpandString(THive::System, env, QStringLiteral("windir"), QStringLiteral("%SystemRoot%"));
    AddFolder(QStringLiteral("C:\\windows\\temp"));
    AddFolder(QStringLiteral("C:\\Program Files"));
}

void TPrefixBuilder::Write()
{
    for (int i = 0; i < 3; ++i) {
        const THiveText &t = FHives[i];
        QByteArray text;
        if (t.Raw) {
            text = t.RawText;
        } else {
            text = "WINE REGISTRY Version 2\n;; All keys relative to " + QByteArray(RelativeTo[i]) + "\n\n#arch=win64\n";
            for (const auto &k : t.Keys) {
                text += "\n[" + HiveText::Escape(k.first, "[]") + "] "
                        + QByteArray::number(FixedTime) + "\n";
                text += "#time=1d2b2fb5c69191c\n";
                text += k.second;
            }
        }
        QFile f(HivePath(THive(i)));
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            qWarning("TPrefixBuilder: cannot write %s", qPrintable(f.fileName()));
    }
}

std::shared_ptr<TWinePrefix> TPrefixBuilder::MakeCurrent()
{
    Write();
    if (!FInstalled) {
        FPrevious = TWinePrefix::Current();
        FInstalled = true;
    }
    FPrefix = std::make_shared<TWinePrefix>(FDir.path());
    TWinePrefix::SetCurrent(FPrefix);
    return FPrefix;
}

std::shared_ptr<TWinePrefix> TPrefixBuilder::Prefix() const
{
    return FPrefix;
}

}  // namespace TestSupport
