// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the program's name and version, and the folders beside it: its own and the shipped one.
#include "platform/ProgramInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace ProgramInfo {
namespace {
QStringList VersionNumbers()
{
    QStringList parts = QStringLiteral(VASKIMO_VERSION).split(u'.');
    while (parts.size() < 4)
        parts << QStringLiteral("0");
    return parts.mid(0, 4);
}
}

QString Name() { return QStringLiteral("Vaskimo"); }
QString Version() { return VersionNumbers().join(u'.'); }
QString Title()
{
    return Name() + u' ' + VersionNumbers().mid(0, 2).join(u'.') + QStringLiteral(" by Orvendal");
}
}

namespace {
TProgramFolders &Decided()
{
    static TProgramFolders folders;
    return folders;
}

QString WithSlash(const QString &folder)
{
    const QString clean = QDir::cleanPath(folder);
    return clean.endsWith(u'/') ? clean : clean + u'/';
}

// A build folder holds the blacklist the build copies there; an unpacked copy holds its languages or help.
bool HoldsProgramFiles(const QString &folder)
{
    return QFileInfo(folder + QStringLiteral("BlackLst.vkb")).isFile() || QFileInfo(folder + QStringLiteral("Languages")).isDir()
           || QFileInfo(folder + QStringLiteral("Helps")).isDir();
}
} // namespace

namespace ProgramInfo {
TProgramFolders DecideFolders(const QString &executableFolder, const QString &configHome, const QString &home)
{
    TProgramFolders folders;
    const QString exe = WithSlash(executableFolder);
    const bool holds = HoldsProgramFiles(exe);
    // access() and not the mode bits: a read-only mount refuses even root.
    if (holds && access(QFile::encodeName(exe).constData(), W_OK) == 0) {
        folders.Own = folders.Shipped = exe;
        return folders;
    }
    const QString installed = WithSlash(exe + QStringLiteral(VASKIMO_SHARE_FROM_BIN));
    folders.Shipped = holds || !QFileInfo(installed).isDir() ? exe : installed;
    const QString config = QDir::isAbsolutePath(configHome) ? configHome : home + QStringLiteral("/.config");
    folders.Own = WithSlash(config + QStringLiteral("/vaskimo"));
    folders.PerUser = true;
    return folders;
}

bool MakeOwnFolder(const TProgramFolders &folders, QString *error)
{
    if (!folders.PerUser || QFileInfo(folders.Own).isDir())
        return true;
    QString path;
    for (const QString &part : QDir::cleanPath(folders.Own).split(u'/', Qt::SkipEmptyParts)) {
        path += u'/' + part;
        if (mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST) {
            if (error)
                *error = QStringLiteral("Cannot make the folder \"%1\": %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
    }
    if (!QFileInfo(folders.Own).isDir()) {
        if (error)
            *error = QStringLiteral("\"%1\" is no folder").arg(folders.Own);
        return false;
    }
    return true;
}

void SetFolders(const TProgramFolders &folders) { Decided() = folders; }

QString ShippedFile(const QString &folder, const QString &name)
{
    const QString own = WithSlash(folder) + name;
    if (QFileInfo::exists(own))
        return own;
    const TProgramFolders &decided = Decided();
    if (decided.Shipped.isEmpty() || decided.Own != WithSlash(folder))
        return own;
    const QString shipped = decided.Shipped + name;
    return QFileInfo::exists(shipped) ? shipped : own;
}
}
