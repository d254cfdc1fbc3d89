// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Windows file queries over a drive map, host folder listings, wildcards, DOS time, free space.
#include "WinFiles.h"

#include <QFile>

#include <algorithm>
#include <optional>
#include <vector>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Wine keeps the DOS attributes that Unix has no bit for in this extended attribute, as text
// such as "0x22"; only hidden and system are taken from it (read-only and archive come from
// the mode).
quint32 DosAttribFromXattr(const char *path, bool *unsupported = nullptr)
{
    char buffer[64];
    const ssize_t n = ::getxattr(path, "user.DOSATTRIB", buffer, sizeof buffer - 1);
    if (n < 0) {
        if (unsupported && (errno == ENOTSUP || errno == EOPNOTSUPP))
            *unsupported = true;
        return 0;
    }
    buffer[n] = 0;
    const char *p = buffer;
    while (*p == ' ')
        ++p;
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        base = 16;
    }
    quint32 value = 0;
    bool any = false;
    for (; *p; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9')
            digit = *p - '0';
        else if (base == 16 && *p >= 'a' && *p <= 'f')
            digit = *p - 'a' + 10;
        else if (base == 16 && *p >= 'A' && *p <= 'F')
            digit = *p - 'A' + 10;
        else
            break;
        value = value * base + digit;
        any = true;
    }
    return any ? value & (FileAttr::Hidden | FileAttr::System) : 0;
}

quint32 AttributesFromStat(const struct stat &st, const QString &name)
{
    quint32 attr = 0;
    if (S_ISDIR(st.st_mode))
        attr |= FileAttr::Directory;
    else if (S_ISREG(st.st_mode))
        attr |= FileAttr::Archive;
    if (!(st.st_mode & S_IWUSR))
        attr |= FileAttr::ReadOnly;
    if (name.startsWith(u'.') && name != u"." && name != u"..")
        attr |= FileAttr::Hidden;
    return attr;
}

qint64 MTimeOf(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

quint32 PackFileDate(QDate date, QTime time)
{
    if (date.year() < 1980)
        return (1u << 5 | 1u) << 16;
    if (date.year() > 2107)
        return ((127u << 9 | 12u << 5 | 31u) << 16) | (23u << 11 | 59u << 5 | 29u);
    const quint32 d = quint32(date.year() - 1980) << 9 | quint32(date.month()) << 5 | quint32(date.day());
    const quint32 tm = quint32(time.hour()) << 11 | quint32(time.minute()) << 5 | quint32(time.second() / 2);
    return d << 16 | tm;
}

bool IsPrintableAscii(const char *name)
{
    for (; *name; ++name)
        if (uchar(*name) < 0x20 || uchar(*name) >= 0x7F)
            return false;
    return true;
}

// Printable ASCII (the name as it is shown) folded into folded, which keeps its buffer from name
// to name; false for any other name.
bool FoldAscii(const char *name, QString &folded)
{
    const std::size_t length = std::strlen(name);
    folded.resize(qsizetype(length));
    QChar *out = folded.data();
    for (std::size_t i = 0; i < length; ++i) {
        const uchar c = uchar(name[i]);
        if (c < 0x20 || c >= 0x7F)
            return false;
        out[i] = QChar(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return true;
}

// QString::compare(b, Qt::CaseInsensitive), with ASCII folded in place: sorting a listing asked
// the full case folding for every character of every comparison.
int CompareIgnoringCase(const QString &a, const QString &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const QChar *p = a.constData(), *q = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = p[i].unicode(), y = q[i].unicode();
        if (x >= 0x80 || y >= 0x80)
            return a.compare(b, Qt::CaseInsensitive);
        x = x >= u'A' && x <= u'Z' ? char16_t(x + 32) : x;
        y = y >= u'A' && y <= u'Z' ? char16_t(y + 32) : y;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// A NUL would cut the path short in the system call: it would name another file.
bool UsableHostPath(const QString &path) { return !path.isEmpty() && !path.contains(QChar(0)); }

bool ValidFileNameBytes(const char *name, const QString &decoded)
{
    for (const char *p = name; *p; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return QFile::encodeName(decoded) == name;
    return true;
}

}  // namespace

bool MatchesMask(const QString &name, const QString &mask)
{
    return TFileMask(mask).Matches(name);
}

// The mask as FindFirstFile hands it to the file system: '?' becomes "one character, or none at a
// dot or at the end", '*' before '.' "anything up to the last dot", '.' before '*', '?' or the
// end "a dot, or the end of the name".
TFileMask::TFileMask(const QString &mask)
{
    FEmpty = mask.isEmpty();
    FAll = mask == u"*" || mask == u"*.*";
    const QString folded = mask.toCaseFolded();
    if (folded.size() > 2 && folded.startsWith(u"*.")
        && std::none_of(folded.cbegin() + 2, folded.cend(), [](QChar c) { return c == u'*' || c == u'?' || c == u'.'; }))
        FSuffix = folded.mid(1);
    FTokens.reserve(std::size_t(folded.size()));
    for (qsizetype i = 0; i < folded.size(); ++i) {
        const QChar c = folded[i];
        const QChar next = i + 1 < folded.size() ? folded[i + 1] : QChar();
        if (c == u'?')
            FTokens.push_back({TOp::DosQm, c});
        else if (c == u'*')
            FTokens.push_back({next == u'.' ? TOp::DosStar : TOp::Star, c});
        else if (c == u'.' && (next.isNull() || next == u'*' || next == u'?'))
            FTokens.push_back({TOp::DosDot, c});
        else
            FTokens.push_back({TOp::Char, c});
    }
    QString run;
    for (std::size_t i = 0; i <= FTokens.size(); ++i) {
        if (i < FTokens.size() && FTokens[i].Op == TOp::Char) {
            run += FTokens[i].C;
            continue;
        }
        if (run.size() == qsizetype(i))
            FHead = run;
        if (i == FTokens.size())
            FTail = run;
        if (run.size() > FInner.size())
            FInner = run;
        run.clear();
    }
}

bool TFileMask::MatchesFolded(QStringView s) const
{
    if (FEmpty)
        return false;
    if (FAll)
        return true;
    if (!FSuffix.isEmpty())
        return s.endsWith(FSuffix);
    if (!s.startsWith(FHead) || !s.endsWith(FTail) || !s.contains(FInner))
        return false;
    const qsizetype length = s.size();
    const qsizetype lastDot = s.lastIndexOf(u'.');
    // reach[j]: the tokens so far can consume exactly the first j characters.
    thread_local std::vector<char> reach, next;
    reach.assign(std::size_t(length + 1), 0);
    next.resize(std::size_t(length + 1));
    reach[0] = 1;
    for (const TToken &t : FTokens) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (qsizetype j = 0; j <= length; ++j) {
            if (!reach[j])
                continue;
            switch (t.Op) {
            case TOp::Char:
                if (j < length && s[j] == t.C)
                    next[j + 1] = 1;
                break;
            case TOp::Star:
                for (qsizetype k = j; k <= length; ++k)
                    next[k] = 1;
                break;
            case TOp::DosStar: {
                const qsizetype end = lastDot >= j ? lastDot : length;
                for (qsizetype k = j; k <= end; ++k)
                    next[k] = 1;
                break;
            }
            case TOp::DosQm:
                if (j < length && s[j] != u'.')
                    next[j + 1] = 1;
                else
                    next[j] = 1;
                break;
            case TOp::DosDot:
                if (j < length && s[j] == u'.')
                    next[j + 1] = 1;
                else if (j == length)
                    next[j] = 1;
                break;
            }
        }
        for (char r : next)
            any = any || r;
        if (!any)
            return false;
        reach.swap(next);
    }
    return reach[length] != 0;
}

quint32 DateTimeToFileDate(const QDateTime &local)
{
    if (!local.isValid())
        return 0;
    const QDateTime t = local.toLocalTime();
    return PackFileDate(t.date(), t.time());
}

quint32 FileDateOf(qint64 msecs)
{
    const TLocalTime t = LocalTimeOf(msecs);
    return t.Date.isValid() ? PackFileDate(t.Date, t.Time) : DateTimeToFileDate(QDateTime::fromMSecsSinceEpoch(msecs));
}

TLocalTime LocalTimeOf(qint64 msecs)
{
    const qint64 seconds = msecs >= 0 ? msecs / 1000 : (msecs - 999) / 1000;
    const time_t clock = time_t(seconds);
    struct tm local;
    if (qint64(clock) != seconds || !::localtime_r(&clock, &local)) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(msecs);
        return {t.date(), t.time()};
    }
    return {QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
            QTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), int(msecs - seconds * 1000))};
}

TLocalTime FileDateFields(quint32 fileDate)
{
    const quint32 d = fileDate >> 16;
    const quint32 tm = fileDate & 0xFFFF;
    const QDate date(int(d >> 9) + 1980, int(d >> 5 & 15), int(d & 31));
    const QTime time(int(tm >> 11), int(tm >> 5 & 63), int(tm & 31) * 2);
    if (!date.isValid() || !time.isValid())
        return {};
    return {date, time};
}

QDateTime FileDateToDateTime(quint32 fileDate)
{
    const TLocalTime t = FileDateFields(fileDate);
    return t.Date.isValid() ? QDateTime(t.Date, t.Time) : QDateTime();
}

namespace WinFiles {

bool FileExists(const QString &path, const TDriveMap &drives)
{
    const TPathMapping m = drives.ToHost(path);
    if (m.State == TPathState::CannotTell)
        return true;
    const quint32 attr = m.State == TPathState::Resolved ? HostFiles::Attributes(m.HostPath) : FileAttr::Invalid;
    return attr != FileAttr::Invalid && !(attr & FileAttr::Directory);
}

bool DirectoryExists(const QString &path, const TDriveMap &drives)
{
    const TPathMapping m = drives.ToHost(path);
    if (m.State == TPathState::CannotTell)
        return true;
    struct stat st;
    return m.State == TPathState::Resolved && ::stat(QFile::encodeName(m.HostPath).constData(), &st) == 0
        && S_ISDIR(st.st_mode);
}

quint32 FileGetAttr(const QString &path, const TDriveMap &drives)
{
    const TPathMapping m = drives.ToHost(path);
    if (m.State == TPathState::CannotTell)
        return FileAttr::Archive;
    return m.State == TPathState::Resolved ? HostFiles::Attributes(m.HostPath) : FileAttr::Invalid;
}

QList<TSearchRec> FindFiles(const QString &folder, const QString &mask, const TDriveMap &drives,
                            QList<TSearchRec> *faulted)
{
    const TPathMapping m = drives.ToHost(folder);
    if (m.State != TPathState::Resolved || mask.isEmpty())
        return {};
    const TFileMask compiled(mask);
    const bool all = mask == u"*" || mask == u"*.*";
    HostFiles::TListNeeds needs;
    if (!all)
        needs.KeepFile = [&compiled](QStringView folded) { return compiled.MatchesFolded(folded); };
    QList<TSearchRec> entries = HostFiles::ListFolder(m.HostPath, faulted, needs);
    if (!all) {
        const auto unmatched = [&compiled](const TSearchRec &r) { return !compiled.Matches(r.Name); };
        entries.removeIf(unmatched);
        if (faulted)
            faulted->removeIf(unmatched);
    }
    return entries;
}

}  // namespace WinFiles

namespace HostFiles {

bool StatEntry(int folderFd, const char *name, struct stat *st, bool *mountRoot)
{
    struct statx sx;
    if (::statx(folderFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) != 0)
        return ::fstatat(folderFd, name, st, AT_SYMLINK_NOFOLLOW) == 0;
    *st = {};
    st->st_mode = sx.stx_mode;
    st->st_size = off_t(sx.stx_size);
    st->st_mtim.tv_sec = sx.stx_mtime.tv_sec;
    st->st_mtim.tv_nsec = sx.stx_mtime.tv_nsec;
    st->st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st->st_ino = ino_t(sx.stx_ino);
    st->st_nlink = nlink_t(sx.stx_nlink);
    *mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    return true;
}

QList<TSearchRec> ListFolder(const QString &hostFolder, QList<TSearchRec> *faulted, int *error)
{
    return ListFolder(hostFolder, faulted, TListNeeds(), error);
}

QList<TSearchRec> ListFolder(const QString &hostFolder, QList<TSearchRec> *faulted, const TListNeeds &needs, int *error)
{
    QList<TSearchRec> entries;
    int ignored = 0;
    int &why = error ? *error : ignored;
    why = 0;
    if (faulted)
        faulted->clear();
    if (needs.EntryCount)
        *needs.EntryCount = -1;
    if (!UsableHostPath(hostFolder)) {
        why = ENOENT;
        return entries;
    }
    const QByteArray native = QFile::encodeName(hostFolder);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        why = errno;
        return entries;
    }
    struct stat folderStat;
    DIR *dir = ::fstat(fd, &folderStat) == 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        why = errno;
        ::close(fd);
        return entries;
    }
    if (needs.EntryCount)
        *needs.EntryCount = 0;
    const QString base = hostFolder.endsWith(u'/') ? hostFolder : hostFolder + u'/';
    const QByteArray nativeBase = native.endsWith('/') ? native : native + '/';
    bool xattrUnsupported = false;
    QString folded;
    while (true) {
        errno = 0;
        const dirent *e = ::readdir(dir);
        if (!e) {
            why = errno;  // 0 at the end; else a folder that stopped being read part way
            break;
        }
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        if (needs.EntryCount)
            ++*needs.EntryCount;
        if (e->d_type != DT_UNKNOWN && e->d_type != DT_REG && e->d_type != DT_DIR)
            continue;  // links, FIFOs, devices, sockets
        if (e->d_type == DT_REG && !needs.Files)
            continue;
        // The name decides for most files, before anything is asked of the disk; most names are
        // plain ASCII, whose folding needs no new string.
        const bool ascii = needs.KeepFile ? FoldAscii(n, folded) : IsPrintableAscii(n);
        std::optional<bool> kept;
        const auto keepFile = [&](const QString &shown) {
            if (!kept)
                kept = needs.Files && (!needs.KeepFile || needs.KeepFile(ascii ? folded : (folded = shown.toCaseFolded())));
            return *kept;
        };
        if (ascii && e->d_type == DT_REG && needs.KeepFile && !keepFile({}))
            continue;
        const QString name = ascii ? QString::fromLatin1(n) : QFile::decodeName(n);
        const TNameFault fault = !ascii && !ValidFileNameBytes(n, name) ? TNameFault::NotText : TDriveMap::NameFault(name);
        if (fault != TNameFault::None && !faulted)
            continue;
        // A printable ASCII name is shown as it stands.
        const QString shown = fault == TNameFault::None || ascii ? name : ShownName(QByteArray(n));
        if (e->d_type == DT_REG && !keepFile(shown))
            continue;
        struct stat st;
        bool mountRoot = false;
        if (!StatEntry(fd, n, &st, &mountRoot))
            continue;
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            continue;
        if (st.st_dev != folderStat.st_dev || mountRoot)
            continue;  // a mount point: another file system, or a bind mount that leads elsewhere
        if (e->d_type == DT_UNKNOWN && S_ISREG(st.st_mode) && !keepFile(shown))
            continue;
        TSearchRec rec;
        rec.Fault = fault;
        rec.Name = shown;
        if (rec.Fault != TNameFault::NotText)
            rec.HostPath = base + name;
        rec.Attr = AttributesFromStat(st, name);
        if (!xattrUnsupported && (S_ISDIR(st.st_mode) ? needs.FolderAttributes : needs.FileAttributes))
            rec.Attr |= DosAttribFromXattr((nativeBase + n).constData(), &xattrUnsupported);
        rec.Size = S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
        rec.MTime = MTimeOf(st);
        rec.Device = quint64(st.st_dev);
        rec.Inode = quint64(st.st_ino);
        rec.Links = quint32(st.st_nlink);
        (rec.Fault == TNameFault::None ? entries : *faulted).append(std::move(rec));
    }
    ::closedir(dir);
    const auto byName = [](const TSearchRec &a, const TSearchRec &b) {
        const int c = CompareIgnoringCase(a.Name, b.Name);
        return c != 0 ? c < 0 : a.Name < b.Name;
    };
    std::sort(entries.begin(), entries.end(), byName);
    if (faulted)
        std::sort(faulted->begin(), faulted->end(), byName);
    return entries;
}

QStringList FolderLinks(const QString &hostFolder)
{
    QStringList names;
    if (!UsableHostPath(hostFolder))
        return names;
    const int fd = ::open(QFile::encodeName(hostFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
            continue;
        struct stat link, target;
        if (::fstatat(fd, e->d_name, &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode)
            || ::fstatat(fd, e->d_name, &target, 0) != 0 || !S_ISDIR(target.st_mode))
            continue;
        const QString name = QFile::decodeName(e->d_name);
        if (TDriveMap::NameFault(name) == TNameFault::None && ValidFileNameBytes(e->d_name, name))
            names << name;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

QString ShownName(const QByteArray &nativeName)
{
    QString shown;
    const auto escape = [&shown](uchar byte) { shown += QStringLiteral("%%1").arg(uint(byte), 2, 16, QChar(u'0')).toUpper(); };
    for (qsizetype i = 0; i < nativeName.size();) {
        const uchar c = uchar(nativeName[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F)
                escape(c);
            else
                shown += QLatin1Char(char(c));
            ++i;
            continue;
        }
        // One character of UTF-8, the file-name encoding, when these bytes are one.
        const qsizetype length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 1;
        const QByteArray piece = nativeName.mid(i, length);
        const QString decoded = QString::fromUtf8(piece);
        if (length > 1 && piece.size() == length && decoded.toUtf8() == piece
            && !decoded.contains(QChar::ReplacementCharacter)) {
            shown += decoded;
            i += length;
            continue;
        }
        escape(c);
        ++i;
    }
    return shown;
}

quint32 Attributes(const QString &hostPath)
{
    const QByteArray native = QFile::encodeName(hostPath);
    struct stat st;
    if (!UsableHostPath(hostPath) || ::stat(native.constData(), &st) != 0)
        return FileAttr::Invalid;
    const qsizetype slash = hostPath.lastIndexOf(u'/', hostPath.size() > 1 && hostPath.endsWith(u'/') ? -2 : -1);
    QString name = hostPath.mid(slash + 1);
    if (name.endsWith(u'/'))
        name.chop(1);
    return AttributesFromStat(st, name) | DosAttribFromXattr(native.constData());
}

bool DiskFreeSpace(const QString &hostPath, qint64 *freeBytes, qint64 *totalBytes, qint64 *clusterSize)
{
    struct statvfs vfs;
    if (!UsableHostPath(hostPath) || ::statvfs(QFile::encodeName(hostPath).constData(), &vfs) != 0)
        return false;
    const qint64 unit = vfs.f_frsize ? qint64(vfs.f_frsize) : qint64(vfs.f_bsize);
    if (freeBytes)
        *freeBytes = qint64(vfs.f_bavail) * unit;
    if (totalBytes)
        *totalBytes = qint64(vfs.f_blocks) * unit;
    if (clusterSize)
        *clusterSize = unit;
    return true;
}

int OpenRegularFile(const QString &hostPath, qint64 maxSize, qint64 *size)
{
    const QByteArray native = QFile::encodeName(hostPath);
    if (native.isEmpty() || native.contains('\0'))
        return -1;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxSize) {
        ::close(fd);
        return -1;
    }
    *size = qint64(st.st_size);
    return fd;
}

}  // namespace HostFiles
