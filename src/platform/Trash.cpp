// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: moving items into the freedesktop.org Trash with their .trashinfo files.
#include "platform/Trash.h"

#include "platform/DurableFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString &path) { return QFile::encodeName(path); }

bool Lstat(const QString &path, struct stat *st) { return ::lstat(Native(path).constData(), st) == 0; }

bool MakePrivateFolder(const QString &path)
{
    struct stat st;
    if (Lstat(path, &st))
        return S_ISDIR(st.st_mode);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    return ::mkdir(Native(path).constData(), 0700) == 0 || (Lstat(path, &st) && S_ISDIR(st.st_mode));
}

bool PrepareTrash(const QString &trash)
{
    return MakePrivateFolder(trash) && MakePrivateFolder(trash + "/files") && MakePrivateFolder(trash + "/info");
}

// The mount point holding path: the highest ancestor on the same device.
QString TopDir(const QString &path, dev_t device)
{
    QString top = path;
    QString up = QFileInfo(path).path();
    while (up != top) {
        struct stat st;
        if (!Lstat(up, &st) || st.st_dev != device)
            break;
        top = up;
        up = QFileInfo(up).path();
    }
    return top;
}

// The longest name a folder entry may have, in bytes.
constexpr qsizetype MaxNameBytes = NAME_MAX;

// name with tag appended, its start shortened so that name + tag + ".trashinfo" is still one
// folder entry.
QString FittingName(const QString &name, const QString &tag)
{
    QString base = name;
    while (base.size() > 1 && Native(base + tag + QStringLiteral(".trashinfo")).size() > MaxNameBytes)
        base.chop(base.size() > 2 && base.back().isLowSurrogate() ? 2 : 1);
    return base + tag;
}

// Without a corresponding file or directory in files/, an existing .trashinfo is worthless,
// but someone may still be about to fill it: never reuse a name that either folder holds.
// The name itself, then name.2 to name.9 as other trash tools name them, then a random tag:
// however many items of one name the trash holds, a free name takes a few tries. The info file
// claims its name only once it is whole on disk, and never replaces one that appeared meanwhile.
bool WriteInfo(const QString &trash, const QString &name, const QByteArray &info, QString *chosen, QString *why)
{
    constexpr int Numbered = 9, Random = 64;
    for (int n = 1; n <= Numbered + Random; ++n) {
        const QString tag = n == 1 ? QString()
                          : n <= Numbered ? QStringLiteral(".%1").arg(n)
                                          : QStringLiteral(".%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const QString candidate = FittingName(name, tag);
        struct stat st;
        if (Lstat(trash + "/files/" + candidate, &st))
            continue;
        TDurableFile file(trash + "/info/" + candidate + ".trashinfo", TDurableFile::TMode::CreateNew, 0600);
        if (file.Open() && file.Write(info) && file.Commit()) {
            *chosen = candidate;
            return true;
        }
        if (file.Error() != EEXIST) {
            *why = file.ErrorString();
            return false;
        }
    }
    *why = DurableFile::ReasonText(EEXIST);
    return false;
}

bool Fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

TTrash::TTrash(const QString &home) : FHome(QDir::cleanPath(home)) {}

QString TTrash::DefaultHome()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + "/.local/share";
    return QDir::cleanPath(data + "/Trash");
}

bool TTrash::MoveToTrash(const QString &hostPath, QString *error) const
{
    if (!QDir::isAbsolutePath(hostPath))
        return Fail(error, QStringLiteral("not an absolute path: %1").arg(hostPath));
    const QString path = QDir::cleanPath(hostPath);
    if (path == "/")
        return Fail(error, QStringLiteral("the root folder cannot be trashed"));
    struct stat item;
    if (!Lstat(path, &item))
        return Fail(error, QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));

    // The home trash takes what lives on its file system, and nothing else may take that: a
    // home trash that cannot be made is a failure, not a reason to use another folder.
    QString trash = FHome;
    QString existing = FHome;
    struct stat homeStat;
    while (!Lstat(existing, &homeStat) && existing != "/")
        existing = QFileInfo(existing).path();
    struct stat trashStat;
    if (homeStat.st_dev == item.st_dev) {
        if (!PrepareTrash(trash))
            return Fail(error, QStringLiteral("cannot make the trash folder %1").arg(trash));
    } else {
        const QString top = TopDir(QFileInfo(path).path(), item.st_dev);
        const QString uid = QString::number(::getuid());
        struct stat shared;
        const QString sharedTrash = top + "/.Trash";
        if (Lstat(sharedTrash, &shared) && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX))
            trash = sharedTrash + "/" + uid;
        else
            trash = (top == "/" ? QString() : top) + "/.Trash-" + uid;
        if (!PrepareTrash(trash))
            return Fail(error, QStringLiteral("no trash folder on the file system of %1").arg(path));
    }
    if (!Lstat(trash, &trashStat) || trashStat.st_dev != item.st_dev)
        return Fail(error, QStringLiteral("no trash folder on the file system of %1").arg(path));
    if (path == trash || path.startsWith(trash + "/"))
        return Fail(error, QStringLiteral("%1 is inside the trash").arg(path));

    const QByteArray info = "[Trash Info]\nPath=" + Native(path).toPercentEncoding("/") + "\nDeletionDate="
                            + QDateTime::currentDateTime().toString("yyyy-MM-ddThh:mm:ss").toLatin1() + "\n";
    QString name, why;
    if (!WriteInfo(trash, QFileInfo(path).fileName(), info, &name, &why))
        return Fail(error, QStringLiteral("cannot create a trash info file in %1: %2").arg(trash, why));
    const QString infoPath = trash + "/info/" + name + ".trashinfo";
    if (::rename(Native(path).constData(), Native(trash + "/files/" + name).constData()) != 0) {
        const int err = errno;
        ::unlink(Native(infoPath).constData());
        return Fail(error, QStringLiteral("%1: %2").arg(path, DurableFile::ReasonText(err)));
    }
    return true;
}
