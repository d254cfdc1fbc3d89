// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what the Windows file API gave the tools, over the host file system of a prefix.
//
// Windows paths ("C:\users\x\Temp\a.tmp") are mapped through the prefix's drive map. Host walks
// never follow symlinked folders, never cross into another mount (a bind mount of the same file
// system included), and take only regular files and folders (never FIFOs, devices or sockets);
// host names with no Windows spelling of their own (TNameFault) are kept apart, for the caller to
// show as skipped.
#pragma once

#include "platform/DriveMap.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include <sys/stat.h>

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
    qint64 MTime = 0;       // last write (mtime), milliseconds since the epoch
    QDateTime Time() const { return QDateTime::fromMSecsSinceEpoch(MTime); }  // local time
    QString HostPath;       // full host path of the entry
    quint64 Device = 0, Inode = 0;  // the object on the host, shared by its hard links
    quint32 Links = 1;              // names the object has (hard links)
    // A folder whose name starts with "." or that Wine marks hidden: the user's settings, keys and
    // a repository's own data. No cleaner walks into one, wherever its walk starts.
    bool IsHiddenFolder() const { return (Attr & FileAttr::Directory) && (Attr & FileAttr::Hidden); }
    // Not None: the entry has no Windows path. Name is then for showing only (control characters
    // and bytes that are no text as %XX), and HostPath is empty for a name that is no text.
    TNameFault Fault = TNameFault::None;
};

// Windows wildcard match ignoring case: '*' any run, '?' one character or none at the end of a
// name part; "*.*" matches names without a dot; "*.bk?" matches "x.bk".
// As FindFirstFile reads a mask: a '*' before a '.' stops at the name's last dot, a '.' before
// '*', '?' or the mask's end also matches the end of the name ("*." is "names without a dot"),
// and '?' never takes a '.'. An empty mask matches nothing.
bool MatchesMask(const QString &name, const QString &mask);

// A mask read once for matching many names, with MatchesMask's answers.
class TFileMask
{
public:
    explicit TFileMask(const QString &mask);
    bool Matches(const QString &name) const { return MatchesFolded(name.toCaseFolded()); }
    // foldedName: the name through QString::toCaseFolded().
    bool MatchesFolded(QStringView foldedName) const;

private:
    enum class TOp : quint8 { Char, Star, DosStar, DosQm, DosDot };
    struct TToken {
        TOp Op;
        QChar C;
    };
    bool FEmpty = false, FAll = false;
    QString FSuffix;  // "*.ext" with a plain ext: names ending in ".ext" match, and only they
    // Plain text every name that matches holds: at its start, at its end, and somewhere (the
    // longest run of plain characters). Most names fail one of them without the full match.
    QString FHead, FTail, FInner;
    std::vector<TToken> FTokens;
};

// DOS date-time (date in the high word) of a local time, and back. Two-second steps, the odd
// second dropped. Times before 1980 give 1980-01-01 00:00:00 and times after 2107 give
// 2107-12-31 23:59:58, so the stamp still orders like the time; an invalid time gives 0.
quint32 DateTimeToFileDate(const QDateTime &local);
// The same of a moment in milliseconds since the epoch, without a QDateTime.
quint32 FileDateOf(qint64 msecs);
// The local date and time of a moment in milliseconds since the epoch. QDateTime reads the time
// zone again at every conversion (a file read and a lock shared by all threads); this reads it
// once, as the C library's clock does, so listings and scans can take it per file.
struct TLocalTime {
    QDate Date;
    QTime Time;
};
TLocalTime LocalTimeOf(qint64 msecs);
// An invalid QDateTime when fileDate holds no real date and time (0, month 13, second 60 ...).
QDateTime FileDateToDateTime(quint32 fileDate);
// The same as the fields stand, without a pass through the time zone; both invalid when
// fileDate holds no real date and time.
TLocalTime FileDateFields(quint32 fileDate);

namespace WinFiles {
// All take Windows paths and use prefix (nullptr: TWinePrefix::Current()).
// An unresolvable 8.3 component counts as existing ("cannot tell").
bool FileExists(const QString &path, const std::shared_ptr<TWinePrefix> &prefix = nullptr);
bool DirectoryExists(const QString &path, const std::shared_ptr<TWinePrefix> &prefix = nullptr);
quint32 FileGetAttr(const QString &path, const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// The entries of folder (a Windows path) whose names match mask, "." and ".." left out.
// An unreadable or missing folder gives an empty list. Entries whose names have a NameFault are
// left out, or go to *faulted (matched against mask as they stand).
QList<TSearchRec> FindFiles(const QString &folder, const QString &mask,
                            const std::shared_ptr<TWinePrefix> &prefix = nullptr,
                            QList<TSearchRec> *faulted = nullptr);

// The drive map of prefix (nullptr: TWinePrefix::Current(); no prefix at all: only Z: = "/").
const TDriveMap &DrivesOf(const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// True when path names an existing object that really lies inside the prefix folder, every link
// on the way followed: a profile folder that wineboot linked into the user's home is outside.
// False without a prefix.
bool InsidePrefix(const QString &path, const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// The host folder that path (a Windows folder) really is when a link on its way leads out of its
// drive, as wineboot links the profile's Desktop, Documents and the like into the user's home;
// empty when the folder stays on its drive, is missing, or its drive is the whole host ("/").
QString LinkedFolderTarget(const QString &path, const TDriveMap &drives);
QString LinkedFolderTarget(const QString &path, const std::shared_ptr<TWinePrefix> &prefix = nullptr);
// How a folder is shown wherever the user picks or sees it: path, and for a link out of its drive
// " → " and the host folder it leads to ("C:\users\me\Desktop → /home/me").
QString ShownFolder(const QString &path, const TDriveMap &drives);
QString ShownFolder(const QString &path, const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// The same over a given drive map. With CannotTell, FileExists and DirectoryExists are true and
// FileGetAttr gives FileAttr::Archive (a plain file's word).
bool FileExists(const QString &path, const TDriveMap &drives);
bool DirectoryExists(const QString &path, const TDriveMap &drives);
quint32 FileGetAttr(const QString &path, const TDriveMap &drives);
QList<TSearchRec> FindFiles(const QString &folder, const QString &mask, const TDriveMap &drives,
                            QList<TSearchRec> *faulted = nullptr);
}

namespace HostFiles {
// The same over host paths: one listing per folder; entries of a folder in name order (ignoring
// case, then ordinal). hostFolder itself may be a link; inside it, symbolic links of every kind
// are left out: a linked folder is never entered, and a link to a file is no second copy of the
// file (the duplicate finder would offer deleting the original and keeping the link). Mount
// points (another file system, or a bind mount of this one), FIFOs, devices and sockets are left
// out too. Names with no Windows spelling of their own (TSearchRec::Fault) are left out of the
// list, or make up *faulted, in the same order. *error: 0, or the errno of a folder that could not
// be read (an empty list then says nothing of what the folder holds).
QList<TSearchRec> ListFolder(const QString &hostFolder, QList<TSearchRec> *faulted = nullptr, int *error = nullptr);
// What a walk needs of a listing. A file it does not keep is never looked at (a stat costs as
// much as the listing), and an attribute it does not need is not read.
struct TListNeeds {
    // Files are kept when this is true of their name, case-folded (as TFileMask::MatchesFolded
    // takes it; for a name with a NameFault, of the name shown). Null: every file.
    std::function<bool(QStringView foldedName)> KeepFile;
    bool Files = true;              // false: folders only
    bool FileAttributes = true;     // Wine's hidden and system bits of the files kept
    bool FolderAttributes = true;   // ... of the folders, which tell a hidden folder
    // Every entry but "." and "..", of whatever kind; -1 when the folder cannot be read.
    qsizetype *EntryCount = nullptr;
};
QList<TSearchRec> ListFolder(const QString &hostFolder, QList<TSearchRec> *faulted, const TListNeeds &needs,
                             int *error = nullptr);
// The entry name below the folder fd, links not followed. A bind mount of the same file system
// has the folder's device: only the kernel's mount-root flag (*mountRoot) tells it from a plain
// folder. False, with errno, when it cannot be read.
bool StatEntry(int folderFd, const char *name, struct stat *st, bool *mountRoot);
// A host name as a list shows it: text as it stands, control characters and bytes that are no
// text in the file-name encoding as %XX.
QString ShownName(const QByteArray &nativeName);
// The names of the symbolic links in hostFolder that lead to a folder, in name order: what
// ListFolder leaves out, for the places that show such a folder as the link it is.
QStringList FolderLinks(const QString &hostFolder);
// Follows links, as Windows sees the object a path reaches. FileAttr::Invalid when missing.
quint32 Attributes(const QString &hostPath);
// Free bytes for the user, total bytes and the cluster (block) size of the file system holding
// hostPath; false when it cannot be read.
bool DiskFreeSpace(const QString &hostPath, qint64 *freeBytes, qint64 *totalBytes, qint64 *clusterSize);
// A descriptor open for reading when hostPath is a regular file of at most maxSize bytes, its
// size in *size; -1 for anything else. The open never waits (a FIFO would wait for a writer for
// ever). The caller closes it.
int OpenRegularFile(const QString &hostPath, qint64 maxSize, qint64 *size);
}
