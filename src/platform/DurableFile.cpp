// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: checked, synced, atomic file writes (temporary file, fsync, rename, folder fsync).
#include "platform/DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString &path) { return QFile::encodeName(path); }

QString FolderOf(const QString &path)
{
    const QString folder = QFileInfo(path).path();
    return folder.isEmpty() ? QStringLiteral(".") : folder;
}

// Writes to a link go to what it leads to, so that the link itself survives the rename. "../x" is
// read as the kernel reads it, from the real folder the link lies in: QFileInfo::symLinkTarget()
// drops ".." by the letters and names another file when that folder is reached through a link.
QString ResolvedTarget(const QString &target)
{
    QString path = target;
    int hops = 0;
    for (; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(Native(path).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(Native(path).constData(), buffer, sizeof buffer);
        if (n <= 0 || n >= ssize_t(sizeof buffer))
            break;
        const QString next = QFile::decodeName(QByteArray(buffer, n));
        path = next.startsWith(u'/') ? next : FolderOf(path) + u'/' + next;
    }
    char real[PATH_MAX];
    if (hops == 0 || !::realpath(Native(FolderOf(path)).constData(), real))
        return path;
    const QString folder = QFile::decodeName(real);
    return (folder == u"/" ? QString() : folder) + u'/' + QFileInfo(path).fileName();
}

// A hidden name beside the target that no other writer uses; kept within one folder entry.
QString TemporaryName(const QString &target)
{
    const QFileInfo info(target);
    const QString tag = QStringLiteral(".vk-%1").arg(QRandomGenerator::global()->generate64() & 0xffffffffffULL, 10, 36,
                                                    QLatin1Char('0'));
    QString name = info.fileName();
    while (!name.isEmpty() && Native("." + name + tag).size() > NAME_MAX)
        name.chop(1);
    return FolderOf(target) + "/." + name + tag;
}

bool WriteAll(int fd, const char *data, qsizetype size, int *err)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *err = errno;
            return false;
        }
        if (n == 0) {
            *err = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

// Claims the target's name for the finished temporary file without ever replacing an existing file.
bool RenameNoReplace(const QString &from, const QString &to, int *err)
{
    if (::renameat2(AT_FDCWD, Native(from).constData(), AT_FDCWD, Native(to).constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        *err = errno;
        return false;
    }
    // File systems without RENAME_NOREPLACE: a hard link fails on an existing name just the same.
    if (::link(Native(from).constData(), Native(to).constData()) == 0) {
        ::unlink(Native(from).constData());
        return true;
    }
    *err = errno;
    return false;
}

// 0, or the errno of the folder's open or fsync.
int SyncFolderErrno(const QString &folder)
{
    const int fd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // Some file systems cannot sync a folder (EINVAL); their renames are as durable as they get.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    const int err = synced ? 0 : errno;
    ::close(fd);
    return err;
}

}  // namespace

// A name being claimed is never a link's: a link there, even a dangling one, is a name taken.
TDurableFile::TDurableFile(const QString &target, TMode mode, mode_t newFileMode)
    : FTarget(mode == TMode::CreateNew ? target : ResolvedTarget(target)), FMode(mode), FNewFileMode(newFileMode)
{
}

TDurableFile::~TDurableFile()
{
    Cancel();
}

bool TDurableFile::Fail(int err)
{
    if (FErrno == 0) {
        FErrno = err;
        FError = DurableFile::ReasonText(err);
    }
    Cancel();
    return false;
}

bool TDurableFile::Open()
{
    Cancel();
    FErrno = 0;
    FError.clear();
    FWritten = 0;
    struct stat old;
    const bool exists = ::lstat(Native(FTarget).constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return Fail(errno);  // a link loop or a folder that cannot be searched: never guess
    if (exists && FMode == TMode::CreateNew)
        return Fail(EEXIST);
    if (exists && !S_ISREG(old.st_mode))
        return Fail(S_ISDIR(old.st_mode) ? EISDIR : S_ISLNK(old.st_mode) ? ELOOP : EINVAL);
    for (int attempt = 0; attempt < 100 && FFd < 0; ++attempt) {
        FTemporary = TemporaryName(FTarget);
        FFd = ::open(Native(FTemporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                     exists || FExactMode != mode_t(-1) ? 0600 : FNewFileMode);
        if (FFd < 0 && errno != EEXIST) {
            const int err = errno;
            FTemporary.clear();
            return Fail(err);
        }
    }
    if (FFd < 0) {
        FTemporary.clear();
        return Fail(EEXIST);
    }
    // The replacement is the same file to everyone who could read or write the old one.
    mode_t mode = FExactMode != mode_t(-1) ? FExactMode : exists ? old.st_mode & 07777 : mode_t(-1);
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(FFd, old.st_uid, old.st_gid) != 0)
        mode &= ~mode_t(S_ISUID | S_ISGID);  // only root may give a file away; never set-id bits to another owner
    if (mode != mode_t(-1) && ::fchmod(FFd, mode) != 0)
        return Fail(errno);
    return true;
}

bool TDurableFile::Write(const char *data, qsizetype size)
{
    if (FFd < 0)
        return FErrno == 0 ? Fail(EBADF) : false;
    int err = 0;
    if (!WriteAll(FFd, data, size, &err))
        return Fail(err);
    FWritten += size;
    return true;
}

bool TDurableFile::Commit()
{
    if (FFd < 0)
        return FErrno == 0 ? Fail(EBADF) : false;
    // Delayed write errors (a full disk under a cache, an I/O error) surface here, not in write().
    // EINVAL: a file system that cannot sync at all; what write() took is all it will ever hold.
    if (FSync && ::fsync(FFd) != 0 && errno != EINVAL)
        return Fail(errno);
    const int fd = FFd;
    FFd = -1;
    if (::close(fd) != 0)
        return Fail(errno);
    int err = 0;
    if (FMode == TMode::CreateNew) {
        if (!RenameNoReplace(FTemporary, FTarget, &err))
            return Fail(err);
    } else if (::rename(Native(FTemporary).constData(), Native(FTarget).constData()) != 0) {
        return Fail(errno);
    }
    FTemporary.clear();
    err = FSync ? SyncFolderErrno(FolderOf(FTarget)) : 0;
    if (err != 0) {
        // The new content is in place and complete; only its survival of a power cut is in doubt.
        FErrno = err;
        FError = DurableFile::ReasonText(err);
        return false;
    }
    return true;
}

void TDurableFile::Cancel()
{
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
    if (!FTemporary.isEmpty()) {
        ::unlink(Native(FTemporary).constData());
        FTemporary.clear();
    }
}

namespace DurableFile {

bool Write(const QString &target, const QByteArray &bytes, QString *error, TDurableFile::TMode mode, mode_t newFileMode)
{
    TDurableFile file(target, mode, newFileMode);
    if (file.Open() && file.Write(bytes) && file.Commit())
        return true;
    if (error)
        *error = file.ErrorString();
    return false;
}

bool Rename(const QString &from, const QString &to, QString *error)
{
    if (::rename(Native(from).constData(), Native(to).constData()) != 0) {
        if (error)
            *error = ReasonText(errno);
        return false;
    }
    if (!SyncFolder(FolderOf(to), error))
        return false;
    return FolderOf(from) == FolderOf(to) || SyncFolder(FolderOf(from), error);
}

bool SyncFolder(const QString &folder, QString *error)
{
    const int err = SyncFolderErrno(folder);
    if (err != 0 && error)
        *error = ReasonText(err);
    return err == 0;
}

bool SyncFileSystem(const QString &folder, QString *error)
{
    const int fd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // The writers checked their own writes; syncfs adds the errors of the write-back (Linux 5.8 on).
    const int err = fd < 0 ? errno : ::syncfs(fd) == 0 ? 0 : errno;
    if (fd >= 0)
        ::close(fd);
    if (err != 0 && error)
        *error = ReasonText(err);
    return err == 0;
}

QString ReasonText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

}  // namespace DurableFile
