// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the Wine prefix: its folder, hives, drive map, user name and the wineserver write guard.
#include "WinePrefix.h"

#include "DriveMap.h"
#include "HiveFile.h"
#include "LocalSocket.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <algorithm>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QMutex CurrentMutex;
std::shared_ptr<TWinePrefix> CurrentPrefix;
}

struct TWinePrefix::TImpl {
    QString Folder;
    THiveSet Hives;
    QMutex DrivesMutex;
    std::unique_ptr<TDriveMap> Drives;

    explicit TImpl(const QString &folder) : Folder(folder), Hives(folder) {}
};

TWinePrefix::TWinePrefix(const QString &folder)
    : d(std::make_unique<TImpl>(QDir::cleanPath(QDir(folder).absolutePath())))
{
}

TWinePrefix::~TWinePrefix() = default;

QString TWinePrefix::DefaultFolder()
{
    const QString env = qEnvironmentVariable("WINEPREFIX");
    if (!env.isEmpty())
        return QDir::cleanPath(QDir(env).absolutePath());
    return QDir::homePath() + QStringLiteral("/.wine");
}

std::shared_ptr<TWinePrefix> TWinePrefix::Current()
{
    QMutexLocker lock(&CurrentMutex);
    if (!CurrentPrefix)
        CurrentPrefix = std::make_shared<TWinePrefix>(DefaultFolder());
    return CurrentPrefix;
}

void TWinePrefix::SetCurrent(std::shared_ptr<TWinePrefix> prefix)
{
    QMutexLocker lock(&CurrentMutex);
    CurrentPrefix = std::move(prefix);
}

QString TWinePrefix::Folder() const
{
    return d->Folder;
}

bool TWinePrefix::Exists() const
{
    return QFileInfo::exists(d->Folder + QStringLiteral("/system.reg"))
           || QFileInfo::exists(d->Folder + QStringLiteral("/user.reg"));
}

QString TWinePrefix::Absence() const
{
    if (Exists())
        return QString();
    const QFileInfo folder(d->Folder);
    const QString what = !folder.exists() ? QStringLiteral("the folder does not exist")
                         : !folder.isDir() ? QStringLiteral("it is not a folder")
                                           : QStringLiteral("it holds neither system.reg nor user.reg");
    return QStringLiteral("There is no Wine prefix in \"%1\": %2. Set WINEPREFIX to the folder of a prefix "
                          "(wineboot makes one).")
        .arg(d->Folder, what);
}

QString TWinePrefix::UserName() const
{
    if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("wine") : user;
}

THiveSet &TWinePrefix::Hives()
{
    return d->Hives;
}

QString TWinePrefix::UserSid()
{
    d->Hives.EnsureLoaded();
    QReadLocker lock(&d->Hives.Lock());
    return d->Hives.UserSid();
}

bool TWinePrefix::IsWin64()
{
    d->Hives.EnsureLoaded();
    QReadLocker lock(&d->Hives.Lock());
    for (THiveId id : {THiveId::System, THiveId::User, THiveId::UserDefault})
        if (const QByteArray arch = d->Hives.Hive(id).Arch(); !arch.isEmpty())
            return arch == "win64";
    return false;
}

const TDriveMap &TWinePrefix::Drives()
{
    QMutexLocker lock(&d->DrivesMutex);
    if (!d->Drives) {
        QHash<QChar, QString> types;
        d->Hives.EnsureLoaded();
        {
            QReadLocker read(&d->Hives.Lock());
            THiveFile &hive = d->Hives.Hive(THiveId::System);
            THiveKey *key = hive.Root();
            for (const char *part : {"Software", "Wine", "Drives"})
                key = THiveFile::Child(key, QString::fromLatin1(part));
            if (key)
                for (const THiveValue &v : key->Values)
                    if (v.Name.size() == 2 && v.Name[1] == QLatin1Char(':') && v.Name[0].isLetter()
                        && (v.Type == 1 || v.Type == 2))
                        types.insert(v.Name[0].toUpper(), hive.ValueString(v).toLower());
        }
        d->Drives = std::make_unique<TDriveMap>(
            TDriveMap::FromFolder(d->Folder + QStringLiteral("/dosdevices"), d->Folder, types));
    }
    return *d->Drives;
}

void TWinePrefix::ReloadDrives()
{
    QMutexLocker lock(&d->DrivesMutex);
    d->Drives.reset();
}

QStringList TWinePrefix::ServerSocketPaths() const
{
    struct stat st;
    if (::stat(QFile::encodeName(d->Folder).constData(), &st) != 0)
        return {};
    const QString server = QStringLiteral("/server-%1-%2/socket")
                               .arg(qulonglong(st.st_dev), 0, 16)
                               .arg(qulonglong(st.st_ino), 0, 16);
    QStringList paths{QStringLiteral("/tmp/.wine-%1").arg(::getuid()) + server};
    // Debian's Wine makes its folder with mkdtemp ("wine-XXXXXX") under TMPDIR, else /tmp, and
    // writes the name into the prefix. A server started with another TMPDIR than ours is looked
    // for in /tmp as well.
    QFile named(d->Folder + QStringLiteral("/wineserver"));
    if (named.open(QIODevice::ReadOnly)) {
        const QString name = QFile::decodeName(named.read(256).trimmed());
        if (!name.isEmpty() && !name.contains(u'/') && name != QStringLiteral(".") && name != QStringLiteral("..")) {
            QStringList bases;
            const QString tmpDir = qEnvironmentVariable("TMPDIR");
            if (!tmpDir.isEmpty())
                bases.append(QDir::cleanPath(tmpDir));
            if (!bases.contains(QStringLiteral("/tmp")))
                bases.append(QStringLiteral("/tmp"));
            for (const QString &base : std::as_const(bases))
                paths.append(base + u'/' + name + server);
        }
    }
    return paths;
}

bool TWinePrefix::ServerRunning() const
{
    const QStringList paths = ServerSocketPaths();
    // A socket that cannot be told from a live server's counts as one.
    return std::any_of(paths.cbegin(), paths.cend(),
                       [](const QString &path) { return LocalSocket::Connect(path) != LocalSocket::TAnswer::Nobody; });
}

QString TWinePrefix::WriteBlocker() const
{
    if (!QFileInfo(d->Folder).isDir() || !Exists())
        return QStringLiteral("There is no Wine prefix in \"%1\": the registry cannot be changed.").arg(d->Folder);
    // Wine keeps the registry in the wineserver while one runs and writes its own copy over ours
    // when it ends: any write now would be lost, or would be the cause of a lost one.
    if (ServerRunning())
        return QStringLiteral("Wine programs are running in the prefix \"%1\". Close the Wine programs "
                              "and try again.")
            .arg(d->Folder);
    return QString();
}
