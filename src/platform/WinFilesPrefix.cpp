// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the Windows file queries over a prefix's drive map (the current prefix by default).
#include "WinFiles.h"

#include "WinePrefix.h"

#include <QFile>

#include <climits>
#include <cstdlib>

namespace {

QString RealPath(const QString &hostPath)
{
    char buffer[PATH_MAX];
    const QByteArray native = QFile::encodeName(hostPath);
    if (native.isEmpty() || native.contains('\0') || !::realpath(native.constData(), buffer))
        return {};
    return QFile::decodeName(buffer);
}

}  // namespace

namespace WinFiles {

const TDriveMap &DrivesOf(const std::shared_ptr<TWinePrefix> &prefix)
{
    const std::shared_ptr<TWinePrefix> p = prefix ? prefix : TWinePrefix::Current();
    if (p)
        return p->Drives();
    static const TDriveMap hostOnly = TDriveMap::FromFolder(QString(), QString());
    return hostOnly;
}

bool InsidePrefix(const QString &path, const std::shared_ptr<TWinePrefix> &prefixIn)
{
    const std::shared_ptr<TWinePrefix> prefix = prefixIn ? prefixIn : TWinePrefix::Current();
    if (!prefix)
        return false;
    const TPathMapping m = DrivesOf(prefix).ToHost(path);
    if (m.State != TPathState::Resolved)
        return false;
    const QString real = RealPath(m.HostPath), folder = RealPath(prefix->Folder());
    return !real.isEmpty() && !folder.isEmpty() && real != folder && real.startsWith(folder + u'/');
}

QString LinkedFolderTarget(const QString &path, const TDriveMap &drives)
{
    const TPathMapping m = drives.ToHost(path);
    if (m.State != TPathState::Resolved || path.size() < 2)
        return {};
    const QString root = RealPath(drives.HostRoot(path.at(0)));
    const QString real = RealPath(m.HostPath);
    if (root.isEmpty() || real.isEmpty() || root == u"/" || real == root || real.startsWith(root + u'/'))
        return {};
    return real;
}

QString LinkedFolderTarget(const QString &path, const std::shared_ptr<TWinePrefix> &prefix)
{
    return LinkedFolderTarget(path, DrivesOf(prefix));
}

QString ShownFolder(const QString &path, const TDriveMap &drives)
{
    const QString target = LinkedFolderTarget(path, drives);
    return target.isEmpty() ? path : path + QStringLiteral(" \u2192 ") + target;
}

QString ShownFolder(const QString &path, const std::shared_ptr<TWinePrefix> &prefix)
{
    return ShownFolder(path, DrivesOf(prefix));
}

bool FileExists(const QString &path, const std::shared_ptr<TWinePrefix> &prefix)
{
    return FileExists(path, DrivesOf(prefix));
}

bool DirectoryExists(const QString &path, const std::shared_ptr<TWinePrefix> &prefix)
{
    return DirectoryExists(path, DrivesOf(prefix));
}

quint32 FileGetAttr(const QString &path, const std::shared_ptr<TWinePrefix> &prefix)
{
    return FileGetAttr(path, DrivesOf(prefix));
}

QList<TSearchRec> FindFiles(const QString &folder, const QString &mask, const std::shared_ptr<TWinePrefix> &prefix,
                            QList<TSearchRec> *faulted)
{
    return FindFiles(folder, mask, DrivesOf(prefix), faulted);
}

}  // namespace WinFiles
