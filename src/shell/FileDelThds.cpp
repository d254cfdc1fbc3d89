// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the deletion thread's batches, set-aside entries and retries, and the host file layer.
#include "shell/FileDelThds.h"

#include "platform/DriveMap.h"
#include "platform/DurableFile.h"
#include "platform/Trash.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray Native(const QString &path) { return QFile::encodeName(path); }

bool Lstat(const QString &path, struct stat *st) { return ::lstat(Native(path).constData(), st) == 0; }

// The first place a removal failed, and why.
struct TRemoveFailure {
    QString Reason;
    bool Note(const QByteArray &path, const QString &why)
    {
        if (Reason.isEmpty())
            Reason = QFile::decodeName(path) + QStringLiteral(": ") + why;
        return false;
    }
    bool NoteErrno(const QByteArray &path) { return Note(path, DurableFile::ReasonText(errno)); }
};

// The names in a folder, "." and ".." left out; the folder's own descriptor stays open and unmoved.
bool ReadNames(int folderFd, std::vector<std::string> *names)
{
    const int fd = ::dup(folderFd);
    DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::rewinddir(dir);
    errno = 0;
    while (const dirent *e = ::readdir(dir)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names->push_back(n);
    }
    const bool read = errno == 0;
    ::closedir(dir);
    return read;
}

// One folder on the way down: how it was entered, and what of it is still to remove.
struct TFolderFrame {
    std::string Name;  // in its parent
    QByteArray Path;   // its host path, for the reason
    dev_t Device;
    ino_t Inode;
    int Fd;            // -1 while closed to keep the descriptors in bounds
    std::vector<std::string> Names;
    std::size_t Next = 0;
    bool Ok = true;    // everything below went
};

// Descriptors a removal keeps open at most, however deep the tree: a tree deeper than the
// process's open-file limit must go as well as a flat one.
constexpr std::size_t MaxOpenFolders = 16;

// Opens name below parentFd as a folder without following a link; -1 unless it is the folder
// fstatat saw (nothing swapped in between).
int OpenFolder(int parentFd, const char *name, const struct stat &seen)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_dev != seen.st_dev || st.st_ino != seen.st_ino)) {
        ::close(fd);
        errno = ESTALE;
        return -1;
    }
    return fd;
}

const QString OtherFileSystem = QStringLiteral("another file system is mounted there");

// Removes name below parentFd (path: its host path, for the reason in failure): links and files
// are unlinked, folders emptied first. Never follows a link and never enters a folder on another
// file system than device, nor a bind mount of a folder from elsewhere on it. Walks without
// recursion, with a bounded number of open folders: a closed one is found again through ".." of
// its child, and only when it is still the very folder that was entered.
bool RemoveAt(int parentFd, const char *name, dev_t device, const QByteArray &path, TRemoveFailure &failure)
{
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || failure.NoteErrno(path);
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(parentFd, name, 0) == 0 || errno == ENOENT || failure.NoteErrno(path);
    if (st.st_dev != device)
        return failure.Note(path, OtherFileSystem);
    std::vector<TFolderFrame> frames;
    std::size_t open = 0;
    const auto enter = [&](int atFd, const std::string &entry, const struct stat &seen, const QByteArray &entryPath) {
        const int fd = OpenFolder(atFd, entry.c_str(), seen);
        if (fd < 0)
            return failure.NoteErrno(entryPath);
        TFolderFrame frame{entry, entryPath, seen.st_dev, seen.st_ino, fd, {}, 0, true};
        if (!ReadNames(fd, &frame.Names)) {
            failure.NoteErrno(entryPath);
            ::close(fd);
            return false;
        }
        frames.push_back(std::move(frame));
        if (++open > MaxOpenFolders) {
            for (TFolderFrame &f : frames)
                if (f.Fd >= 0) {
                    ::close(f.Fd);
                    f.Fd = -1;
                    --open;
                    break;
                }
        }
        return true;
    };
    if (!enter(parentFd, name, st, path))
        return false;
    bool lost = false;  // a closed folder could not be found again: stop, keep the rest
    while (!frames.empty()) {
        TFolderFrame &top = frames.back();
        if (!lost && top.Next < top.Names.size()) {
            const std::string entry = top.Names[top.Next++];
            const QByteArray entryPath = top.Path + '/' + QByteArray::fromStdString(entry);
            struct stat child;
            bool mountRoot = false;
            if (!HostFiles::StatEntry(top.Fd, entry.c_str(), &child, &mountRoot)) {
                top.Ok = (errno == ENOENT || failure.NoteErrno(entryPath)) && top.Ok;
            } else if (!S_ISDIR(child.st_mode)) {
                top.Ok = (::unlinkat(top.Fd, entry.c_str(), 0) == 0 || errno == ENOENT || failure.NoteErrno(entryPath)) && top.Ok;
            } else if (child.st_dev != device || mountRoot) {
                top.Ok = failure.Note(entryPath, OtherFileSystem);
            } else if (!enter(top.Fd, entry, child, entryPath)) {
                top.Ok = false;
            }
            continue;
        }
        // The folder is as empty as it gets: remove it from its parent.
        const TFolderFrame done = std::move(frames.back());
        frames.pop_back();
        int at = parentFd;
        if (!frames.empty()) {
            TFolderFrame &parent = frames.back();
            if (parent.Fd < 0 && !lost && done.Fd >= 0) {
                struct stat expected {};
                expected.st_dev = parent.Device;
                expected.st_ino = parent.Inode;
                parent.Fd = OpenFolder(done.Fd, "..", expected);
                open += parent.Fd >= 0 ? 1 : 0;
            }
            if (!lost && parent.Fd < 0)
                failure.Note(parent.Path, QStringLiteral("the folder was moved while it was being emptied"));
            lost = lost || parent.Fd < 0;
            at = parent.Fd;
        }
        if (done.Fd >= 0) {
            ::close(done.Fd);
            --open;
        }
        const bool removed =
            done.Ok && !lost && (::unlinkat(at, done.Name.c_str(), AT_REMOVEDIR) == 0 || failure.NoteErrno(done.Path));
        if (frames.empty())
            return removed;
        frames.back().Ok = frames.back().Ok && removed;
    }
    return false;
}

bool RemovePermanently(const QString &hostPath, QString *reason)
{
    TRemoveFailure failure;
    struct stat st;
    bool ok = false;
    if (!Lstat(hostPath, &st)) {
        failure.NoteErrno(Native(hostPath));
    } else {
        const QFileInfo info(hostPath);
        const int parent = ::open(Native(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (parent < 0) {
            failure.NoteErrno(Native(info.path()));
        } else {
            ok = RemoveAt(parent, Native(info.fileName()).constData(), st.st_dev, Native(hostPath), failure);
            ::close(parent);
        }
    }
    *reason = failure.Reason;
    return ok;
}

QMutex GLayerMutex;
std::shared_ptr<TDeletionFileLayer> &LayerSlot()
{
    static std::shared_ptr<TDeletionFileLayer> layer;
    return layer;
}

} // namespace

THostDeletionLayer::THostDeletionLayer(std::shared_ptr<TWinePrefix> prefix, QString trashHome)
    : FPrefix(std::move(prefix)), FTrashHome(std::move(trashHome))
{
}

THostDeletionLayer::THostDeletionLayer(const TDriveMap &drives, QString trashHome)
    : FDrives(drives), FTrashHome(std::move(trashHome))
{
}

QString THostDeletionLayer::Resolve(const QString &entry)
{
    static const QRegularExpression absolute(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    if (!absolute.match(entry).hasMatch())
        return {};
    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    QStringList parts = entry.mid(3).split(separators);
    if (parts.size() > 1 && parts.constLast().isEmpty())
        parts.removeLast();  // a folder written with its separator
    // Win32 folds empty names away: C:\t\\ (a host file named "\" shown in t) would be t itself.
    if (parts.contains(QString()))
        return {};
    // Win32 would read such a name as another one ("b." as "b"): it names no file for certain.
    for (const QString &part : parts)
        if (TDriveMap::NameFault(part) != TNameFault::None)
            return {};
    std::shared_ptr<TWinePrefix> prefix;
    if (!FDrives) {
        prefix = FPrefix ? FPrefix : TWinePrefix::Current();
        if (!prefix)
            return {};
    }
    const TDriveMap &drives = FDrives ? *FDrives : prefix->Drives();
    const TPathMapping mapping = drives.ToHost(entry);
    if (mapping.State != TPathState::Resolved)
        return {};
    // The folder holding the entry is taken for real (C:\x and Z:\...\drive_c\x are one object);
    // the entry itself never is, or a link would be replaced by its target.
    // The entries of one folder come together: its real path is looked up once for them.
    const QFileInfo host(QDir::cleanPath(mapping.HostPath));
    if (host.path() != FLastFolder.first)
        FLastFolder = {host.path(), QFileInfo(host.path()).canonicalFilePath()};
    const QString &parent = FLastFolder.second;
    if (parent.isEmpty() || host.fileName().isEmpty())
        return {};
    const QString key = (parent == "/" ? QString() : parent) + "/" + host.fileName();
    struct stat st;
    if (!Lstat(key, &st))
        return {};
    if (S_ISDIR(st.st_mode))
        for (const TDrive &drive : drives.Drives())
            if (QFileInfo(drive.HostRoot).canonicalFilePath() == key)
                return {};
    return key;
}

bool THostDeletionLayer::Exists(const QString &key)
{
    struct stat st;
    return Lstat(key, &st);
}

bool THostDeletionLayer::IsFolder(const QString &key)
{
    struct stat st;
    return Lstat(key, &st) && S_ISDIR(st.st_mode);
}

bool THostDeletionLayer::IsLocked(const QString &key)
{
    struct stat st;
    // Only regular files are opened: opening a device or a FIFO may have effects of its own.
    if (!Lstat(key, &st) || !S_ISREG(st.st_mode))
        return false;
    const int fd = ::open(Native(key).constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        FLastError = QStringLiteral("it cannot be opened for writing: ") + DurableFile::ReasonText(errno);
        return true;
    }
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool locked = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    if (locked)
        FLastError = QStringLiteral("another program holds a lock on it (process %1)").arg(lock.l_pid);
    return locked;
}

bool THostDeletionLayer::Delete(const QStringList &keys, bool permanent)
{
    for (const QString &key : keys) {
        if (key.isEmpty() || !QDir::isAbsolutePath(key) || QDir::cleanPath(key) == "/") {
            FLastError = QStringLiteral("no path that may be deleted");
            return false;
        }
    }
    // The key is the entry's own file: the reason need not name it again.
    const auto failed = [this](const QString &key, const QString &why) {
        FLastError = why.startsWith(key + QStringLiteral(": ")) ? why.mid(key.size() + 2) : why;
        return false;
    };
    if (!permanent) {
        // The whole batch at once: its trash infos become durable in one sync, not one per item.
        const TTrash trash(FTrashHome.isEmpty() ? TTrash::DefaultHome() : FTrashHome);
        int moved = 0;
        QString why;
        return trash.MoveToTrash(keys, &moved, &why) || failed(keys.value(moved), why);
    }
    for (const QString &key : keys) {
        QString why;
        if (!RemovePermanently(key, &why))
            return failed(key, why);
    }
    return true;
}

std::shared_ptr<TDeletionFileLayer> FileDeletion::Layer()
{
    QMutexLocker lock(&GLayerMutex);
    if (!LayerSlot())
        return std::make_shared<THostDeletionLayer>();
    return LayerSlot();
}

void FileDeletion::SetLayer(std::shared_ptr<TDeletionFileLayer> layer)
{
    QMutexLocker lock(&GLayerMutex);
    LayerSlot() = std::move(layer);
}

TFileDeletionThread::TFileDeletionThread(QObject *owner, const QStringList &files, TProgressHandler onProgress,
                                         bool permanent, bool forceRetry,
                                         std::shared_ptr<TDeletionFileLayer> layer)
    : TSharedThd(owner), FOnProgress(std::move(onProgress)), FPending(files), FPermanent(permanent),
      FForceRetry(forceRetry), FLayer(layer ? std::move(layer) : FileDeletion::Layer())
{
}

void TFileDeletionThread::DoWork()
{
    DeleteAll();
}

void TFileDeletionThread::DeleteAll()
{
    // Entries become keys here, on the worker: resolving touches the disk. An entry that names
    // nothing counts as done at once; spellings of it that differ in case count once.
    QSet<QString> keys;
    QSet<QString> nothing;
    FEntries = FPending;
    for (const QString &entry : std::as_const(FEntries)) {
        if (Terminated())
            return;
        const QString key = FLayer->Resolve(entry);
        if (key.isEmpty()) {
            nothing.insert(entry.toCaseFolded());
        } else {
            keys.insert(key);
            FKeyOf.insert(entry, key);
        }
    }
    FPending = QStringList(keys.begin(), keys.end());
    std::sort(FPending.begin(), FPending.end());
    FTotal = int(FPending.size() + nothing.size());
    ReportProgress();

    // What a stop leaves was never tried; anything the run tried and kept says why below.
    const auto noteStopped = qScopeGuard([this] {
        if (Terminated())
            for (const QString &key : std::as_const(FPending))
                FReasons.insert(key, QStringLiteral("the deletion was stopped before it"));
    });
    QElapsedTimer clock;
    while (!FPending.isEmpty() && !Terminated()) {
        const QStringList batch = BuildBatch();
        if (batch.isEmpty())
            continue;
        clock.start();
        const bool deleted = FLayer->Delete(batch, FPermanent);
        AdaptBatchSize(clock.elapsed());
        if (deleted) {
            // A batch that reports success is done with, even if an entry survived it: the caller's
            // existence check reports what is left. Keeping it would repeat the batch for ever.
            FPending.resize(FPending.size() - batch.size());
            ReportProgress();
            continue;
        }
        // The layer stopped at the first entry it could not delete: what it deleted before is
        // gone, the first that is still there is set aside (or given up, when it is the last).
        for (qsizetype i = FPending.size() - 1; i >= 0; --i) {
            if (!FLayer->Exists(FPending.at(i))) {
                FPending.removeAt(i);
                continue;
            }
            NoteReason(FPending.at(i), QStringLiteral("it could not be deleted"));
            if (FPending.size() == 1)
                FPending.clear();
            else
                SetAsideEntry(FPending.takeAt(i));
            break;
        }
        ReportProgress();
    }
    if (FForceRetry && !Terminated()) {
        for (const QString &key : std::as_const(FSetAside)) {
            if (Terminated())
                break;
            if (FLayer->Delete({key}, FPermanent))
                FReasons.remove(key);
            else
                NoteReason(key, QStringLiteral("it could not be deleted"));
            --FSetAsideCount;
            ReportProgress();
        }
    }
    ReportProgress();
}

// The entries at the end of FPending that go to the layer next, last first. They stay the tail of
// FPending until their delete has run: what vanished or is locked is taken out on the way.
QStringList TFileDeletionThread::BuildBatch()
{
    QStringList batch;
    for (qsizetype i = FPending.size() - 1; i >= 0 && batch.size() < FBatchSize; --i) {
        const QString key = FPending.at(i);
        if (!FLayer->Exists(key)) {
            FPending.removeAt(i);
        } else if (!FLayer->IsFolder(key) && FLayer->IsLocked(key)) {
            NoteReason(key, QStringLiteral("it is in use or read-only"));
            SetAsideEntry(key);
            FPending.removeAt(i);
        } else {
            batch.append(key);
        }
    }
    return batch;
}

// A batch should take about BatchTime: long enough that the progress reports between batches
// cost nothing, short enough that the bar moves and Abort is seen soon, on a fast disk or a slow one.
void TFileDeletionThread::AdaptBatchSize(qint64 milliseconds)
{
    if (milliseconds < BatchTime / 2)
        FBatchSize = std::min(FBatchSize * 2, MaxBatch);
    else if (milliseconds > BatchTime * 2)
        FBatchSize = std::max(FBatchSize / 2, 1);
}

void TFileDeletionThread::NoteReason(const QString &key, const QString &fallback)
{
    const QString why = FLayer->LastError();
    FReasons.insert(key, why.isEmpty() ? fallback : why);
}

QHash<QString, QString> TFileDeletionThread::EntryReasons() const
{
    QHash<QString, QString> reasons;
    for (auto it = FKeyOf.cbegin(); it != FKeyOf.cend(); ++it) {
        const auto reason = FReasons.constFind(it.value());
        if (reason != FReasons.cend())
            reasons.insert(it.key(), *reason);
    }
    return reasons;
}

void TFileDeletionThread::SetAsideEntry(const QString &key)
{
    const auto at = std::lower_bound(FSetAside.begin(), FSetAside.end(), key);
    if (at == FSetAside.end() || *at != key)
        FSetAside.insert(at, key);
    ++FSetAsideCount;
}

void TFileDeletionThread::ReportProgress()
{
    if (!FOnProgress)
        return;
    const int done = FTotal - int(FPending.size()) - FSetAsideCount;
    const int total = FTotal;
    Synchronize([this, done, total] { FOnProgress(done, total); });
}
