// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: moving items into the freedesktop.org Trash with their .trashinfo files.
#include "platform/Trash.h"

#include "platform/DurableFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString &path) { return QFile::encodeName(path); }

bool Lstat(const QString &path, struct stat *st) { return ::lstat(Native(path).constData(), st) == 0; }

// The folder with mode, and what is missing above it as an ordinary folder; errno tells why when it
// fails.
bool MakeFolder(const QString &path, mode_t mode)
{
    struct stat st;
    if (Lstat(path, &st)) {
        errno = ENOTDIR;
        return S_ISDIR(st.st_mode);
    }
    const QString above = QFileInfo(path).absolutePath();
    if (above != path && !Lstat(above, &st) && !MakeFolder(above, 0777))
        return false;
    if (::mkdir(Native(path).constData(), mode) == 0)
        return true;
    const int why = errno;
    if (Lstat(path, &st) && S_ISDIR(st.st_mode))
        return true;
    errno = why;
    return false;
}

bool MakePrivateFolder(const QString &path) { return MakeFolder(path, 0700); }

bool PrepareTrash(const QString &trash)
{
    return MakePrivateFolder(trash) && MakePrivateFolder(trash + "/files") && MakePrivateFolder(trash + "/info");
}

// A mount point as /proc/self/mountinfo writes it: blanks, tabs, newlines and backslashes as
// three octal digits after a backslash.
QByteArray UnescapeMountPoint(const QByteArray &field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QByteArray digits = field.mid(i + 1, 3);
        if (field[i] == '\\' && digits.size() == 3 && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
            out += char(digits.toInt(nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// Every mount point of this process's mount table, in its order: a later one on the same point
// covers an earlier one.
QList<QByteArray> MountPoints()
{
    QList<QByteArray> points;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return points;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4)
            points << UnescapeMountPoint(fields.at(4));
    }
    return points;
}

// The mount that holds realPath (no link on its way): the longest mount point that is the path
// or a folder above it. A bind mount of a folder of the same file system has the device of that
// file system, so only the mount table tells where it begins.
QString MountPointOf(const QString &realPath, const QList<QByteArray> &points)
{
    const QByteArray path = Native(realPath);
    QByteArray best = "/";
    for (const QByteArray &point : points) {
        const bool holds = point == "/" || path == point || path.startsWith(point + '/');
        if (holds && point.size() >= best.size())
            best = point;
    }
    return QFile::decodeName(best);
}

// Without a mount table: the highest folder above path on its device.
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

// The real path of path, or of the nearest folder above it that exists, with the rest as written.
QString RealPathOrAbove(const QString &path)
{
    QString head = path, rest;
    while (true) {
        const QString real = QFileInfo(head).canonicalFilePath();
        if (!real.isEmpty())
            return rest.isEmpty() ? real : QDir::cleanPath(real + u'/' + rest);
        if (head == u"/")
            return path;
        rest = rest.isEmpty() ? QFileInfo(head).fileName() : QFileInfo(head).fileName() + u'/' + rest;
        head = QFileInfo(head).path();
    }
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
// claims its name only once it is whole, and never replaces one that appeared meanwhile.
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
        file.LeaveSyncToCaller();  // the batch's infos are made durable together, before any item moves
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

bool TTrash::Claim(const QString &hostPath, TClaim *claim, QString *error) const
{
    if (!QDir::isAbsolutePath(hostPath))
        return Fail(error, QStringLiteral("not an absolute path: %1").arg(hostPath));
    const QString path = QDir::cleanPath(hostPath);
    if (path == "/")
        return Fail(error, QStringLiteral("the root folder cannot be trashed"));
    struct stat item;
    if (!Lstat(path, &item))
        return Fail(error, QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));

    // The trash of the mount the item lies on, as the mount table gives it: the home trash takes
    // what lives on its own mount, and nothing else may take that (a home trash that cannot be
    // made is a failure, not a reason to use another folder); an item on another mount goes to
    // the trash at that mount's top. A bind mount of the home's own file system is another mount:
    // no rename crosses it.
    if (!FMountPoints)
        FMountPoints = MountPoints();
    const QList<QByteArray> &points = *FMountPoints;
    const QString parent = RealPathOrAbove(QFileInfo(path).path());
    const QString home = RealPathOrAbove(FHome);
    struct stat homeStat;
    QString existing = FHome;
    while (!Lstat(existing, &homeStat) && existing != "/")
        existing = QFileInfo(existing).path();
    const bool sameDevice = homeStat.st_dev == item.st_dev;
    const QString top = points.isEmpty() ? TopDir(parent, item.st_dev) : MountPointOf(parent, points);
    const bool inHome = sameDevice && (points.isEmpty() || MountPointOf(home, points) == top);
    QString trash = FHome;
    if (inHome) {
        if (!PrepareTrash(trash))
            return Fail(error, QStringLiteral("cannot make the trash folder %1: %2").arg(trash, DurableFile::ReasonText(errno)));
    } else {
        // The administrator's shared .Trash (sticky, no link) when it takes the user's folder;
        // else, as trash-cli does, the user's own .Trash-$uid.
        const QString uid = QString::number(::getuid());
        const QString topPrefix = top == "/" ? QString() : top;
        struct stat shared;
        trash = topPrefix + "/.Trash/" + uid;
        if (!Lstat(topPrefix + "/.Trash", &shared) || !S_ISDIR(shared.st_mode) || !(shared.st_mode & S_ISVTX)
            || !PrepareTrash(trash))
            trash = topPrefix + "/.Trash-" + uid;
        if (!PrepareTrash(trash))
            return Fail(error, QStringLiteral("no trash folder can be made at the top of the mount %1 that holds %2: %3")
                                   .arg(top, path, DurableFile::ReasonText(errno)));
    }
    struct stat trashStat;
    if (!Lstat(trash, &trashStat) || trashStat.st_dev != item.st_dev)
        return Fail(error, QStringLiteral("no trash folder on the file system of %1").arg(path));
    if (path == trash || path.startsWith(trash + "/"))
        return Fail(error, QStringLiteral("%1 is inside the trash").arg(path));

    // In a trash at the top of a mount the path is kept relative to that top, so the entry still
    // restores when the medium is mounted elsewhere.
    const QString original = parent + u'/' + QFileInfo(path).fileName();
    const QString kept = inHome ? original : original.mid(top == "/" ? 1 : top.size() + 1);
    const QByteArray info = "[Trash Info]\nPath=" + Native(kept).toPercentEncoding("/") + "\nDeletionDate="
                            + QDateTime::currentDateTime().toString("yyyy-MM-ddThh:mm:ss").toLatin1() + "\n";
    QString name, why;
    if (!WriteInfo(trash, QFileInfo(path).fileName(), info, &name, &why))
        return Fail(error, QStringLiteral("cannot create a trash info file in %1: %2").arg(trash, why));
    *claim = {path, trash, name};
    return true;
}

bool TTrash::MoveToTrash(const QString &hostPath, QString *error) const
{
    int moved = 0;
    return MoveToTrash(QStringList{hostPath}, &moved, error);
}

bool TTrash::MoveToTrash(const QStringList &hostPaths, int *moved, QString *error) const
{
    *moved = 0;
    QList<TClaim> claims;
    QString failure;
    for (const QString &path : hostPaths) {
        TClaim claim;
        if (!Claim(path, &claim, &failure))
            break;
        claims.append(claim);
    }
    const auto dropInfos = [&claims](qsizetype from) {
        for (qsizetype i = from; i < claims.size(); ++i)
            ::unlink(Native(claims[i].Trash + "/info/" + claims[i].Name + ".trashinfo").constData());
    };
    // An item moves only once its info is on disk: a power cut must never leave an item in files/
    // that no info names. One sync for each file system makes the whole batch durable.
    QStringList synced;
    for (const TClaim &claim : std::as_const(claims)) {
        if (synced.contains(claim.Trash))
            continue;
        QString why;
        if (!DurableFile::SyncFileSystem(claim.Trash + "/info", &why)) {
            dropInfos(0);
            return Fail(error, QStringLiteral("cannot write the trash info files in %1: %2").arg(claim.Trash, why));
        }
        synced << claim.Trash;
    }
    for (qsizetype i = 0; i < claims.size(); ++i) {
        const TClaim &claim = claims[i];
        if (::rename(Native(claim.Path).constData(), Native(claim.Trash + "/files/" + claim.Name).constData()) != 0) {
            const int err = errno;
            dropInfos(i);
            return Fail(error, QStringLiteral("%1: %2").arg(claim.Path, DurableFile::ReasonText(err)));
        }
        ++*moved;
    }
    for (const QString &trash : std::as_const(synced))
        DurableFile::SyncFolder(trash + "/files");
    return failure.isEmpty() || Fail(error, failure);
}
