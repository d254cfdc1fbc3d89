// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what the Windows file API gave the tools, over the host file system of a prefix.
//
// Windows paths ("C:\users\x\Temp\a.tmp") are mapped through the prefix's drive map. Host walks
// never follow symlinked folders, never cross into another file system, and take only regular
// files and folders (never FIFOs, devices or sockets); host names that Windows cannot hold
// (\ : * ? " < > | and control characters) are skipped.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

class TWinePrefix;

namespace FileAttr {
constexpr quint32 ReadOnly = 0x01;
constexpr quint32 Hidden = 0x02;
constexpr quint32 System = 0x04;
constexpr quint32 VolumeId = 0x08;
constexpr quint32 Directory = 0x10;
constexpr quint32 Archive = 0x20;
constexpr quint32 Invalid = 0xFFFFFFFF;  // what an attribute read of a missing file gives
}

// One directory entry, as find-first/find-next gave it.
struct TSearchRec {
    QString Name;           // the host name of the entry
    quint32 Attr = 0;       // FileAttr bits
    qint64 Size = 0;        // 64-bit size; 0 for folders
    QDateTime Time;         // last write (mtime), local time
    QString HostPath;       // full host path of the entry
};

// Windows wildcard match ignoring case: '*' any run, '?' one character or none at the end of a
// name part; "*.*" matches names without a dot; "*.bk?" matches "x.bk".
bool MatchesMask(const QString &name, const QString &mask);

// DOS date-time (date in the high word) of a local time, and back.
quint32 DateTimeToFileDate(const QDateTime &local);
QDateTime FileDateToDateTime(quint32 fileDate);

namespace WinFiles {
// All take Windows paths and use prefix (nullptr: TWinePrefix::Current()).
// An unresolvable 8.3 component counts as existing ("cannot tell").
bool FileExists(const QString &path, const std::shared_ptr<TWinePrefix> &prefix = nullptr);
bool DirectoryExists(const QString &path, const std::shared_ptr<TWinePrefix> &prefix = nullptr);
quint32 FileGetAttr(const QString &path, const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// The entries of folder (a Windows path) whose names match mask, "." and ".." left out.
// An unreadable or missing folder gives an empty list.
QList<TSearchRec> FindFiles(const QString &folder, const QString &mask,
                            const std::shared_ptr<TWinePrefix> &prefix = nullptr);
}

namespace HostFiles {
// The same over host paths: one listing per folder; entries of a folder in name order.
QList<TSearchRec> ListFolder(const QString &hostFolder);
quint32 Attributes(const QString &hostPath);  // FileAttr::Invalid when missing
// Free bytes for the user, total bytes and the cluster (block) size of the file system holding
// hostPath; false when it cannot be read.
bool DiskFreeSpace(const QString &hostPath, qint64 *freeBytes, qint64 *totalBytes, qint64 *clusterSize);
}
