// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the folder-size tree: one list per folder with its entries and the totals of its subtree.
//
// A scan fills a folder's list and, recursively, the lists of all its subfolders in one pass;
// totals are added up on the way back from each subfolder, so moving up and down the tree later
// needs no disk access. Paths are Windows paths ("C:\data\"); the walk itself runs on the host
// folder they map to and never follows a symlinked folder nor crosses into another file system.
#pragma once

#include "platform/WinFiles.h"

#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// Sizes are extended floats so that totals beyond 32 bits (and beyond a double's 53 bits) stay exact.
using TExtended = long double;

class TFolderList;

// The size record of one entry of a TFolderList.
class TFolderData
{
public:
    TFolderData(qint32 fileCount, TFolderList *subList, TFolderList *owner, TExtended allocated, TExtended size);
    ~TFolderData();  // destroys SubList
    TFolderData(const TFolderData &) = delete;
    TFolderData &operator=(const TFolderData &) = delete;

    TExtended Size = 0;
    TExtended Allocated = 0;
    TExtended Slack = 0;
    qint32 FileCount = 0;
    TFolderList *Owner = nullptr;    // the list that holds this item; not owned
    TFolderList *SubList = nullptr;  // a subfolder's own list; owned
};

// The list one level up from the list that holds data (what ".." leads to); nullptr at the root.
TFolderList *GetParentList(const TFolderData *data);

// Bytes when clusterSize is 1 (or 0); else bytes rounded up to whole clusters.
double RoundToCluster(quint64 clusterSize, TExtended bytes);

// The compressed attribute as find-first/find-next report it.
constexpr quint32 FileAttrCompressed = 0x800;

// What the walk reads of the disk. Tests give their own to make folders unreadable.
struct TFolderFiles {
    // The entries of a host folder ("." and ".." left out), those whose names Windows cannot spell
    // too (with their Fault); *error 0, or the errno of a folder that could not be read. With
    // wantCompressed, files the file system keeps compressed carry FileAttrCompressed.
    std::function<QList<TSearchRec>(const QString &hostFolder, bool wantCompressed, int *error)> ListFolder;
    // The bytes a file occupies on disk; false when the query fails.
    std::function<bool(const QString &hostPath, qint64 *size)> CompressedSize;

    static TFolderFiles Host();  // HostFiles::ListFolder, the file's blocks on disk
};

// An unsorted list of entry names with their TFolderData; the list owns its data objects.
// Files are listed under their names, subfolders under "\" + name; a subfolder's list begins
// with "..", whose data has zero values and that subfolder's list as owner.
class TFolderList
{
public:
    // hostPath: where Path lies on the host; empty: mapped through the current prefix's drives
    // when the scan starts.
    TFolderList(TFolderList *parent, const QString &path, const QString &hostPath = {});
    ~TFolderList();
    TFolderList(const TFolderList &) = delete;
    TFolderList &operator=(const TFolderList &) = delete;

    QString Path;                   // ends in "\"
    TFolderList *Parent = nullptr;  // not owned; nullptr for the scanned root
    TExtended TotalSize = 0;
    TExtended TotalAllocated = 0;
    TExtended TotalSlack = 0;
    qint32 FileCount = 0;
    qint32 FolderCount = 0;  // folders in the subtree, not counting this one
    QString LongestPath;
    qint32 LongestPathLength = 0;
    // Folders of the subtree that were not read (or not to their end), each with the reason: the
    // host refused it, its host path is longer than the host allows, its name is no text. Each is
    // listed as a subfolder with what could be read of it; here by its path (ending in "\").
    struct TSkipped {
        QString Path;
        QString Reason;
        bool operator==(const TSkipped &) const = default;
    };
    QList<TSkipped> SkippedFolders;

    int Count() const { return int(FNames.size()); }
    const QString &Name(int i) const { return FNames.at(i); }
    TFolderData *Data(int i) const { return FObjects.at(i); }
    int IndexOf(const TFolderData *data) const;

    // Appends name with data (taking ownership of it).
    void AddObject(const QString &name, TFolderData *data);
    // Releases every item (and so every sub-list) and sets Path; hostPath as for the constructor.
    void Reset(const QString &path, const QString &hostPath = {});
    void AddFile(const QString &name, TExtended allocated, TExtended size);

    QString HostPath() const { return FHostPath; }

    using TProgress = std::function<void(const QString &text)>;
    // Fills the list (and every sub-list) from the disk: every file the walk meets counts, a name
    // Windows cannot spell as it is shown (escaped where it is no text). stopFlag is tested after every entry and
    // ends every level of the walk. Progress is called once per folder with Path + "...", and the
    // pending events of the user interface are then processed. A file with several hard links in
    // the tree counts its bytes once, at the first of its names that the walk meets.
    void Scan(const bool &stopFlag, bool useCompressed, quint64 clusterSize, const TProgress &progress,
              const TFolderFiles &files = TFolderFiles::Host());

private:
    using TSeenFiles = QSet<QPair<quint64, quint64>>;  // device and inode of files with hard links
    void ScanFolder(const bool &stopFlag, bool useCompressed, quint64 clusterSize, const TProgress &progress,
                    const TFolderFiles &files, TSeenFiles &seen);
    void Clear();
    QList<QString> FNames;
    QList<TFolderData *> FObjects;
    QString FHostPath;
};

// What the volume holding a folder tells about itself.
struct TVolumeInfo {
    bool Known = false;         // the volume could be queried
    quint64 ClusterSize = 1;    // 1 when it could not
    bool Compression = false;   // the file system keeps a compression flag per file (btrfs)
    qint64 FreeBytes = 0;
};
// root: a Windows drive root such as "C:\"; mapped through the current prefix.
TVolumeInfo QueryVolume(const QString &root);
// The host folder of a Windows path through the current prefix; empty when it names nothing.
QString FolderHostPath(const QString &windowsPath);
