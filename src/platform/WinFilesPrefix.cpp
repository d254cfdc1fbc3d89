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

QList<TSearchRec> FindFiles(const QString &folder, const QString &mask, const std::shared_ptr<TWinePrefix> &prefix)
{
    return FindFiles(folder, mask, DrivesOf(prefix));
}

}  // namespace WinFiles
