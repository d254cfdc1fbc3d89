// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: reading "Vaskimo.upd", comparing versions, and the download and blacklist install steps.
#include "net/UpdateInfo.h"

#include "platform/DriveMap.h"
#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtEndian>

#include <algorithm>

#include <cstdio>

#include <unistd.h>

namespace UpdateInfo {

namespace {

TRename &RenameSeam()
{
    static TRename rename;
    return rename;
}

bool RenameOver(const QString &from, const QString &to)
{
    if (RenameSeam())
        return RenameSeam()(from, to);
    // rename(2) replaces the target in one step; QFile::rename would refuse an existing target.
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

std::optional<quint32> ParseDecimal(const QString &text)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    if (!ok || value > 0xFFFFFFFFull)
        return std::nullopt;
    return quint32(value);
}

} // namespace

TUpdateInfo ReadUpdateInfo(const QString &hostFile)
{
    const TIniFile ini(hostFile);
    const QString section = QStringLiteral("UpdateInfo");
    TUpdateInfo info;
    info.Version = ini.ReadString(section, QStringLiteral("Version"), NotAvailable);
    info.UpdateURL = ini.ReadString(section, QStringLiteral("UpdateURL"), NotAvailable);
    info.ReadmeURL = ini.ReadString(section, QStringLiteral("ReadmeURL"), NotAvailable);
    info.Details = ini.ReadString(section, QStringLiteral("Details"), NotAvailable);
    info.Blacklist = ini.ReadString(section, QStringLiteral("Blacklist"), NotAvailable);
    info.BlackDownloadURL = ini.ReadString(section, QStringLiteral("BlackDownloadURL"), NotAvailable);
    return info;
}

std::optional<TVersion> ParseProgramVersion(const QString &text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() > 4)
        return std::nullopt;
    TVersion v = {0, 0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const std::optional<quint32> n = ParseDecimal(parts.at(i));
        if (!n)
            return std::nullopt;
        v[size_t(i)] = *n;
    }
    return v;
}

std::optional<quint32> ParseRelease(const QString &text)
{
    const QString word = QStringLiteral("Release ");
    if (!text.startsWith(word, Qt::CaseInsensitive))
        return std::nullopt;
    return ParseDecimal(text.mid(word.size()).trimmed());
}

QString BlacklistVersion(const QString &hostFile)
{
    const TIniFile ini(hostFile);
    return ini.ReadString(QStringLiteral("General"), QStringLiteral("Version"), QStringLiteral("Release 0"));
}

TComparison CompareVersions(const QString &current, const QString &available, const QString &currentBlacklist,
                            const QString &availableBlacklist)
{
    TComparison c;
    if (const std::optional<quint32> offered = ParseRelease(availableBlacklist))
        c.NewBlacklist = ParseRelease(currentBlacklist).value_or(0) < *offered;
    const std::optional<TVersion> offered = ParseProgramVersion(available);
    const std::optional<TVersion> running = ParseProgramVersion(current);
    if (offered)
        c.NewProgram = running.value_or(TVersion{0, 0, 0, 0}) < *offered;
    return c;
}

int ResultFor(const TComparison &c)
{
    if (c.NewProgram && c.NewBlacklist)
        return urBoth;
    if (c.NewProgram)
        return urNewProgram;
    if (c.NewBlacklist)
        return urNewBlacklist;
    return urNothingNew;
}

QString DownloadFileName(const QString &url)
{
    QString path = url;
    path.replace(u'/', u'\\');
    const qsizetype cut = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u':'));
    const QString name = path.mid(cut + 1);
    if (!TDriveMap::IsWindowsName(name))
        return QString();
    bool onlyDots = true;
    for (QChar c : name)
        onlyDots = onlyDots && c == u'.';
    if (onlyDots)
        return QString();
    for (const QString &own : {QStringLiteral("Options.ini"), BlacklistFileName, BlacklistTempName, InfoFileName,
                               QStringLiteral("Vaskimo.log"), QStringLiteral("vaskimo")})
        if (name.compare(own, Qt::CaseInsensitive) == 0)
            return QString();
    return name;
}

bool DownloadToFile(const QString &hostFile, const TFetch &fetch, QString *error, const TFileCheck &check)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo target(hostFile);
    QTemporaryFile file(target.absolutePath() + u'/' + target.fileName() + QStringLiteral(".XXXXXX"));
    if (!file.open())
        return fail(file.errorString());
    QString why;
    if (!fetch || !fetch(&file, &why))
        return fail(why);
    if (!file.flush() || ::fsync(file.handle()) != 0)
        return fail(file.errorString());
    if (check) {
        why = check(file);
        if (!why.isEmpty())
            return fail(why);
    }
    file.setPermissions(target.exists() ? target.permissions()
                                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                              | QFileDevice::ReadOther);
    // rename(2) replaces the target in one step; QFile::rename would refuse an existing target.
    if (std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(hostFile).constData()) != 0)
        return fail(QStringLiteral("\"%1\" could not be replaced.").arg(hostFile));
    file.setAutoRemove(false);
    return true;
}

QString WindowsProgramProblem(QIODevice &file)
{
    if (!file.seek(0))
        return QStringLiteral("The download cannot be read back.");
    const QByteArray head = file.read(64);
    if (head.trimmed().startsWith('<'))
        return QStringLiteral("The download is a web page, not a Windows program.");
    if (head.size() < 64 || !head.startsWith("MZ"))
        return QStringLiteral("The download is not a Windows program.");
    const quint32 peOffset = qFromLittleEndian<quint32>(head.constData() + 0x3C);
    if (!file.seek(peOffset) || file.read(4) != QByteArray("PE\0\0", 4))
        return QStringLiteral("The download is not a Windows program (no PE signature).");
    return {};
}

TBlacklistInstall InstallBlacklist(const QString &programFolder, const TFetch &fetch, QString *error)
{
    const QString temp = programFolder + BlacklistTempName;
    const QString blacklist = programFolder + BlacklistFileName;
    // Without the program's folder the files would land in whatever folder is current.
    if (!QDir::isAbsolutePath(programFolder)) {
        if (error)
            *error = QStringLiteral("No program folder.");
        return TBlacklistInstall::DownloadFailed;
    }
    QFile::remove(temp);  // left by an earlier run that ended half-way
    if (!DownloadToFile(temp, fetch, error))
        return TBlacklistInstall::DownloadFailed;
    // A captive portal's page or a server's error text is no blacklist: the cleaners would lose
    // their skip lists and the next check would offer the same release again.
    if (!ParseRelease(TIniFile(temp).ReadString(QStringLiteral("General"), QStringLiteral("Version"), QString()))) {
        QFile::remove(temp);
        if (error)
            *error = QStringLiteral("The downloaded file is no blacklist.");
        return TBlacklistInstall::NotABlacklist;
    }
    if (!RenameOver(temp, blacklist)) {
        QFile::remove(temp);
        if (error)
            *error = QStringLiteral("\"%1\" could not be replaced.").arg(blacklist);
        return TBlacklistInstall::ReplaceFailed;
    }
    return TBlacklistInstall::Installed;
}

void SetRenameForTests(TRename rename) { RenameSeam() = std::move(rename); }

} // namespace UpdateInfo
