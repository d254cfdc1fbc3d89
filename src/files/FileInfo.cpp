// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the folder-size tree: scan, totals, cluster rounding and the volume's facts.
#include "files/FileInfo.h"

#include "platform/DriveMap.h"
#include "platform/DurableFile.h"
#include "platform/WinePrefix.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <climits>
#include <cmath>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

TFolderData::TFolderData(qint32 fileCount, TFolderList *subList, TFolderList *owner, TExtended allocated,
                         TExtended size)
    : Size(size), Allocated(allocated), Slack(allocated - size), FileCount(fileCount), Owner(owner), SubList(subList)
{
}

TFolderData::~TFolderData()
{
    delete SubList;
}

TFolderList *GetParentList(const TFolderData *data)
{
    return data && data->Owner ? data->Owner->Parent : nullptr;
}

double RoundToCluster(quint64 clusterSize, TExtended bytes)
{
    if (clusterSize <= 1)
        return double(bytes);
    const TExtended cluster = TExtended(clusterSize);
    return double(std::floor((bytes + cluster - 1) / cluster) * cluster);
}

namespace {

constexpr long BtrfsMagic = 0x9123683E;

// Only btrfs keeps a per-file compression flag; elsewhere no file needs opening to ask.
bool FolderMayHoldCompressedFiles(const QString &hostFolder)
{
    struct statfs fs;
    return ::statfs(QFile::encodeName(hostFolder).constData(), &fs) == 0 && fs.f_type == BtrfsMagic;
}

bool IsCompressedFile(const QString &hostPath)
{
    const int fd = ::open(QFile::encodeName(hostPath).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    const bool compressed = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_COMPR_FL);
    ::close(fd);
    return compressed;
}

}  // namespace

TFolderFiles TFolderFiles::Host()
{
    TFolderFiles files;
    files.ListFolder = [](const QString &hostFolder, bool wantCompressed, int *error) {
        // Space usage counts what the disk holds: names Windows cannot spell take room too. Sizes
        // are all it needs: no attribute is read.
        HostFiles::TListNeeds needs;
        needs.FileAttributes = needs.FolderAttributes = false;
        QList<TSearchRec> faulted;
        QList<TSearchRec> entries = HostFiles::ListFolder(hostFolder, &faulted, needs, error);
        if (!faulted.isEmpty()) {
            entries += faulted;
            std::sort(entries.begin(), entries.end(), [](const TSearchRec &a, const TSearchRec &b) {
                const int c = a.Name.compare(b.Name, Qt::CaseInsensitive);
                return c != 0 ? c < 0 : a.Name < b.Name;
            });
        }
        if (wantCompressed && FolderMayHoldCompressedFiles(hostFolder))
            for (TSearchRec &e : entries)
                if (!(e.Attr & FileAttr::Directory) && !e.HostPath.isEmpty() && IsCompressedFile(e.HostPath))
                    e.Attr |= FileAttrCompressed;
        return entries;
    };
    files.CompressedSize = [](const QString &hostPath, qint64 *size) {
        struct stat st;
        if (::lstat(QFile::encodeName(hostPath).constData(), &st) != 0)
            return false;
        *size = qint64(st.st_blocks) * 512;  // st_blocks counts 512-byte units whatever the block size
        return true;
    };
    return files;
}

TFolderList::TFolderList(TFolderList *parent, const QString &path, const QString &hostPath)
    : Path(path), Parent(parent), FHostPath(hostPath)
{
}

TFolderList::~TFolderList()
{
    Clear();
}

void TFolderList::Clear()
{
    for (qsizetype i = FObjects.size() - 1; i >= 0; --i)
        delete FObjects.at(i);
    FObjects.clear();
    FNames.clear();
}

int TFolderList::IndexOf(const TFolderData *data) const
{
    return int(FObjects.indexOf(data));
}

void TFolderList::AddObject(const QString &name, TFolderData *data)
{
    FNames.append(name);
    FObjects.append(data);
}

void TFolderList::Reset(const QString &path, const QString &hostPath)
{
    Clear();
    Path = path;
    FHostPath = hostPath;
}

void TFolderList::AddFile(const QString &name, TExtended allocated, TExtended size)
{
    AddObject(name, new TFolderData(1, nullptr, this, allocated, size));
    TotalSize += size;
    TotalAllocated += allocated;
    TotalSlack += allocated - size;
    FileCount += 1;
}

void TFolderList::Scan(const bool &stopFlag, bool useCompressed, quint64 clusterSize, const TProgress &progress,
                       const TFolderFiles &files)
{
    TSeenFiles seen;
    ScanFolder(stopFlag, useCompressed, clusterSize, progress, files, seen);
}

void TFolderList::ScanFolder(const bool &stopFlag, bool useCompressed, quint64 clusterSize, const TProgress &progress,
                             const TFolderFiles &files, TSeenFiles &seen)
{
    TotalSize = TotalAllocated = TotalSlack = 0;
    FileCount = FolderCount = 0;
    LongestPath.clear();
    LongestPathLength = 0;
    SkippedFolders.clear();
    if (progress)
        progress(Path + QStringLiteral("..."));
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    if (FHostPath.isEmpty())
        FHostPath = FolderHostPath(Path);
    if (FHostPath.isEmpty())
        return;  // a folder that cannot be enumerated stays empty; no error is reported

    int error = 0;
    const QList<TSearchRec> entries = files.ListFolder(FHostPath, useCompressed, &error);
    if (error != 0)
        SkippedFolders.append({Path, DurableFile::ReasonText(error)});
    for (const TSearchRec &e : entries) {
        if (e.Name == u"." || e.Name == u"..") {
            // never listed by the host layer; kept out should another layer give them
        } else if (!(e.Attr & FileAttr::Directory)) {
            TExtended size = TExtended(e.Size);
            qint64 onDisk = 0;
            if (useCompressed && (e.Attr & FileAttrCompressed) && files.CompressedSize && !e.HostPath.isEmpty()
                && files.CompressedSize(e.HostPath, &onDisk))
                size = TExtended(onDisk);
            if (e.Links > 1) {
                const QPair<quint64, quint64> identity(e.Device, e.Inode);
                if (seen.contains(identity))
                    size = 0;  // its bytes are counted at its first name
                else
                    seen.insert(identity);
            }
            const TExtended allocated = RoundToCluster(clusterSize, size);
            AddFile(e.Name, allocated, size);
            // The path is made only when it is the longest so far.
            if (Path.size() + e.Name.size() > LongestPathLength) {
                LongestPath = Path + e.Name;
                LongestPathLength = qint32(LongestPath.size());
            }
        } else {
            FolderCount += 1;
            auto *child = new TFolderList(this, Path + e.Name + u'\\', e.HostPath);
            child->AddObject(QStringLiteral(".."), new TFolderData(0, nullptr, child, 0, 0));
            auto *data = new TFolderData(0, child, this, TExtended(e.Size), TExtended(e.Size));
            if (e.HostPath.isEmpty())
                SkippedFolders.append({child->Path, QStringLiteral("its name is no text in the file-name encoding")});
            else if (QFile::encodeName(e.HostPath).size() >= PATH_MAX)
                SkippedFolders.append({child->Path, QStringLiteral("its path is longer than the system allows")});
            else
                child->ScanFolder(stopFlag, useCompressed, clusterSize, progress, files, seen);
            data->Size = child->TotalSize;
            data->Allocated = child->TotalAllocated;
            data->Slack = child->TotalSlack;
            data->FileCount = child->FileCount;
            AddObject(u'\\' + e.Name, data);
            TotalSize += child->TotalSize;
            TotalAllocated += child->TotalAllocated;
            TotalSlack += child->TotalSlack;
            FolderCount += child->FolderCount;
            FileCount += child->FileCount;
            SkippedFolders += child->SkippedFolders;
            if (child->LongestPathLength > LongestPathLength) {
                LongestPath = child->LongestPath;
                LongestPathLength = child->LongestPathLength;
            }
        }
        if (stopFlag)
            break;
    }
}

QString FolderHostPath(const QString &windowsPath)
{
    const std::shared_ptr<TWinePrefix> prefix = TWinePrefix::Current();
    const TDriveMap &drives = WinFiles::DrivesOf(prefix);
    const TPathMapping m = drives.ToHost(windowsPath);
    return m.State == TPathState::Resolved ? m.HostPath : QString();
}

TVolumeInfo QueryVolume(const QString &root)
{
    TVolumeInfo info;
    const QString host = FolderHostPath(root);
    if (host.isEmpty())
        return info;
    qint64 freeBytes = 0, totalBytes = 0, cluster = 0;
    if (!HostFiles::DiskFreeSpace(host, &freeBytes, &totalBytes, &cluster))
        return info;
    info.Known = true;
    info.FreeBytes = freeBytes;
    info.ClusterSize = cluster > 0 ? quint64(cluster) : 1;
    struct statfs fs;
    if (::statfs(QFile::encodeName(host).constData(), &fs) == 0) {
        info.Compression = fs.f_type == BtrfsMagic;
    }
    return info;
}
