// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the prefix's drive letters (dosdevices links) and Windows <-> host path mapping.
#include "DriveMap.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <mutex>
#include <shared_mutex>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsSeparator(QChar c) { return c == u'\\' || c == u'/'; }

bool IsAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

QString JoinHost(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool StatPath(const QString &hostPath, struct stat *st, int *error = nullptr)
{
    const QByteArray native = QFile::encodeName(hostPath);
    if (::stat(native.constData(), st) == 0)
        return true;
    if (error)
        *error = errno;
    return false;
}

QString RealPath(const QString &hostPath)
{
    const QByteArray native = QFile::encodeName(hostPath);
    char buffer[PATH_MAX];
    if (!::realpath(native.constData(), buffer))
        return {};
    return QFile::decodeName(buffer);
}

bool IsBelowOrEqual(const QString &path, const QString &folder)
{
    if (folder == u"/")
        return true;
    return path == folder || path.startsWith(folder + u'/');
}

TDriveType TypeFromWineName(const QString &wineType, bool *known)
{
    const QString t = wineType.trimmed().toLower();
    *known = true;
    if (t == u"hd")
        return TDriveType::Fixed;
    if (t == u"cdrom")
        return TDriveType::CdRom;
    if (t == u"floppy")
        return TDriveType::Removable;
    if (t == u"network")
        return TDriveType::Remote;
    *known = false;
    return TDriveType::NoRootDir;
}

}  // namespace

// Listings of host folders, keyed by folder, for the case-insensitive step of ToHost. An entry is
// good while the folder's identity and mtime are those it was listed with, so a file made or
// removed during a session is seen at the next lookup.
struct TDriveMap::TListingCache {
    struct TListing {
        dev_t Device = 0;
        ino_t Inode = 0;
        struct timespec MTime = {};
        QHash<QString, QStringList> ByFolded;  // case-folded name -> host names in name order
        qsizetype Count = 0;
    };

    enum class TFind { Found, NotFound, Unreadable };

    std::shared_mutex Lock;
    QHash<QString, TListing> Folders;
    qsizetype Names = 0;  // held by all listings together
    // A scan of a whole drive must not keep every folder of it.
    static constexpr qsizetype MaxFolders = 4096;
    static constexpr qsizetype MaxNames = 1 << 20;

    static bool SameStamp(const TListing &l, const struct stat &st)
    {
        return l.Device == st.st_dev && l.Inode == st.st_ino && l.MTime.tv_sec == st.st_mtim.tv_sec
            && l.MTime.tv_nsec == st.st_mtim.tv_nsec;
    }

    // The names in folder equal to name ignoring case, in name order.
    TFind Candidates(const QString &folder, const QString &name, QStringList *names)
    {
        struct stat st;
        if (!StatPath(folder, &st) || !S_ISDIR(st.st_mode))
            return TFind::Unreadable;
        const QString folded = name.toCaseFolded();
        {
            std::shared_lock reader(Lock);
            const auto it = Folders.constFind(folder);
            if (it != Folders.constEnd() && SameStamp(*it, st)) {
                *names = it->ByFolded.value(folded);
                return names->isEmpty() ? TFind::NotFound : TFind::Found;
            }
        }
        TListing listing;
        listing.Device = st.st_dev;
        listing.Inode = st.st_ino;
        listing.MTime = st.st_mtim;
        DIR *dir = ::opendir(QFile::encodeName(folder).constData());
        if (!dir)
            return TFind::Unreadable;
        QStringList all;
        while (const dirent *e = ::readdir(dir)) {
            const char *n = e->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                continue;
            all.append(QFile::decodeName(n));
        }
        ::closedir(dir);
        std::sort(all.begin(), all.end());
        for (const QString &n : std::as_const(all))
            listing.ByFolded[n.toCaseFolded()].append(n);
        *names = listing.ByFolded.value(folded);
        {
            std::unique_lock writer(Lock);
            if (Folders.size() >= MaxFolders || Names + all.size() > MaxNames) {
                Folders.clear();
                Names = 0;
            }
            const auto old = Folders.constFind(folder);
            if (old != Folders.constEnd())
                Names -= old->Count;
            listing.Count = all.size();
            Names += listing.Count;
            Folders.insert(folder, std::move(listing));
        }
        return names->isEmpty() ? TFind::NotFound : TFind::Found;
    }
};

TDriveMap::TDriveMap() : FCache(std::make_shared<TListingCache>()) {}

TDriveMap TDriveMap::FromFolder(const QString &dosdevicesFolder, const QString &prefixFolder,
                                const QHash<QChar, QString> &wineTypes)
{
    TDriveMap map;
    const QByteArray nativeFolder = QFile::encodeName(dosdevicesFolder);
    DIR *dir = dosdevicesFolder.isEmpty() ? nullptr : ::opendir(nativeFolder.constData());
    if (!dir) {
        map.FDrives.append({u'Z', QStringLiteral("/"), TDriveType::Remote});
        map.RecordRootIds();
        return map;
    }
    QString prefix = RealPath(prefixFolder);
    if (prefix.isEmpty() && !prefixFolder.isEmpty())
        prefix = QDir::cleanPath(QDir(prefixFolder).absolutePath());
    const QString linkBase = QDir::cleanPath(QDir(dosdevicesFolder).absolutePath());

    while (const dirent *e = ::readdir(dir)) {
        const QString name = QFile::decodeName(e->d_name);
        // "c:" is a drive; "c::" and "com1" are devices.
        if (name.size() != 2 || name[1] != u':' || !IsAsciiLetter(name[0]))
            continue;
        TDrive drive;
        drive.Letter = name[0].toUpper();
        const QString entry = linkBase + u'/' + name;
        const QString real = RealPath(entry);
        struct stat st;
        if (!real.isEmpty() && StatPath(real, &st) && S_ISDIR(st.st_mode)) {
            drive.HostRoot = real;
            bool known = false;
            QString wineType = wineTypes.value(drive.Letter);
            if (wineType.isEmpty())
                wineType = wineTypes.value(drive.Letter.toLower());
            drive.Type = TypeFromWineName(wineType, &known);
            const bool inside = !prefix.isEmpty() && real != prefix && IsBelowOrEqual(real, prefix);
            // "/" or $HOME: scanning it means scanning the whole host and the prefix again, so it
            // is never a fixed drive, not even when the registry calls it "hd".
            const bool holdsPrefix = !inside && (real == u"/" || (!prefix.isEmpty() && IsBelowOrEqual(prefix, real)));
            if (holdsPrefix && (!known || drive.Type == TDriveType::Fixed))
                drive.Type = TDriveType::Remote;
            else if (!known)
                drive.Type = TDriveType::Fixed;
        } else {
            const QString target = QFile::symLinkTarget(entry);
            drive.HostRoot = target.isEmpty() ? QString() : QDir::cleanPath(target);
            drive.Type = TDriveType::NoRootDir;
        }
        map.FDrives.append(drive);
    }
    ::closedir(dir);
    std::sort(map.FDrives.begin(), map.FDrives.end(),
              [](const TDrive &a, const TDrive &b) { return a.Letter < b.Letter; });
    // Two links spelled "c:" and "C:" would give the letter twice; the first (upper case) wins.
    map.FDrives.erase(std::unique(map.FDrives.begin(), map.FDrives.end(),
                                  [](const TDrive &a, const TDrive &b) { return a.Letter == b.Letter; }),
                      map.FDrives.end());
    map.RecordRootIds();
    return map;
}

void TDriveMap::RecordRootIds()
{
    FRootIds.clear();
    for (const TDrive &d : std::as_const(FDrives)) {
        struct stat st;
        TRootId id;
        if (d.Type != TDriveType::NoRootDir && StatPath(d.HostRoot, &st)) {
            id.Device = st.st_dev;
            id.Inode = st.st_ino;
        }
        FRootIds.append(id);
    }
}

QList<TDrive> TDriveMap::Drives() const { return FDrives; }

TDriveType TDriveMap::DriveType(QChar letter) const
{
    const QChar up = letter.toUpper();
    for (const TDrive &d : FDrives)
        if (d.Letter == up)
            return d.Type;
    return TDriveType::NoRootDir;
}

QString TDriveMap::HostRoot(QChar letter) const
{
    const QChar up = letter.toUpper();
    for (const TDrive &d : FDrives)
        if (d.Letter == up)
            return d.HostRoot;
    return {};
}

bool TDriveMap::LooksLikeShortName(const QString &component)
{
    const qsizetype dot = component.lastIndexOf(u'.');
    const QString base = dot < 0 ? component : component.left(dot);
    const qsizetype extLength = dot < 0 ? 0 : component.size() - dot - 1;
    if (base.isEmpty() || base.size() > 8 || extLength > 3 || base.contains(u'.'))
        return false;
    const qsizetype tilde = base.indexOf(u'~');
    if (tilde < 0 || tilde + 1 >= base.size())
        return false;
    for (qsizetype i = tilde + 1; i < base.size(); ++i)
        if (!base[i].isDigit())
            return false;
    return true;
}

bool TDriveMap::IsWindowsName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || u == u'\\' || u == u'/' || u == u':' || u == u'*' || u == u'?'
            || u == u'"' || u == u'<' || u == u'>' || u == u'|')
            return false;
    }
    return true;
}

TNameFault TDriveMap::NameFault(const QString &name)
{
    if (!IsWindowsName(name))
        return TNameFault::Character;
    if (name.endsWith(u'.') || name.endsWith(u' '))
        return TNameFault::TrailingDotOrBlank;
    return TNameFault::None;
}

QString TDriveMap::NameFaultText(TNameFault fault)
{
    switch (fault) {
    case TNameFault::None:
        break;
    case TNameFault::Character:
        return QStringLiteral("its name holds a character Windows cannot hold");
    case TNameFault::TrailingDotOrBlank:
        return QStringLiteral("its name ends in a dot or a blank, which Windows drops");
    case TNameFault::NotText:
        return QStringLiteral("its name is no valid text in the file-name encoding");
    }
    return {};
}

void TDriveMap::ClearCache() const
{
    std::unique_lock writer(FCache->Lock);
    FCache->Folders.clear();
    FCache->Names = 0;
}

TPathMapping TDriveMap::ToHost(const QString &windowsPath) const
{
    TPathMapping result;
    const QString &p = windowsPath;
    if (p.size() < 2 || p[1] != u':' || !IsAsciiLetter(p[0]))
        return result;  // UNC, relative or no drive at all
    if (p.size() > 2 && !IsSeparator(p[2]))
        return result;  // drive-relative: "D:x"
    const QChar letter = p[0].toUpper();
    const TDrive *drive = nullptr;
    for (const TDrive &d : FDrives)
        if (d.Letter == letter)
            drive = &d;
    if (!drive || drive->Type == TDriveType::NoRootDir || drive->HostRoot.isEmpty())
        return result;

    QStringList parts;
    QString below = p.mid(2);
    below.replace(u'/', u'\\');
    // "C:\x\", "C:\x\." and "C:\x\y\.." name a folder: a file there is no match, as on Windows.
    bool mustBeFolder = below.endsWith(u'\\');
    for (const QString &c : below.split(u'\\', Qt::SkipEmptyParts)) {
        if (c == u".") {
            mustBeFolder = true;
            continue;
        }
        if (c == u"..") {
            mustBeFolder = true;
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        mustBeFolder = false;
        // Win32 drops a single trailing dot of a name ("C:\dir.\x" is "C:\dir\x").
        parts.append(c.endsWith(u'.') && !c.endsWith(u"..") ? c.chopped(1) : c);
    }
    mustBeFolder = mustBeFolder || below.endsWith(u'\\');
    // ... and every trailing dot and blank of the last name ("C:\x.exe. " is "C:\x.exe").
    if (!mustBeFolder && !parts.isEmpty()) {
        QString &lastName = parts.last();
        qsizetype keep = lastName.size();
        while (keep > 0 && (lastName[keep - 1] == u'.' || lastName[keep - 1] == u' '))
            --keep;
        if (keep > 0)
            lastName.truncate(keep);
    }

    QString current = drive->HostRoot;
    auto rest = [&](qsizetype from) {
        QString path = current;
        for (qsizetype i = from; i < parts.size(); ++i)
            path = JoinHost(path, parts[i]);
        return path;
    };

    // No Windows name holds "*", "?" or a NUL (which would also cut the host path short).
    for (qsizetype i = 0; i < parts.size(); ++i)
        if (!IsWindowsName(parts[i])) {
            result.State = TPathState::Missing;
            result.HostPath = rest(0);
            return result;
        }

    struct stat st;
    if (StatPath(rest(0), &st) && (!mustBeFolder || S_ISDIR(st.st_mode))) {
        result.State = TPathState::Resolved;
        result.HostPath = rest(0);
        return result;
    }

    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &name = parts[i];
        const bool last = i + 1 == parts.size() && !mustBeFolder;
        const QString exact = JoinHost(current, name);
        if (StatPath(exact, &st) && (last || S_ISDIR(st.st_mode))) {
            current = exact;
            continue;
        }
        QStringList names;
        const auto found = FCache->Candidates(current, name, &names);
        bool matched = false;
        for (const QString &candidate : std::as_const(names)) {
            const QString path = JoinHost(current, candidate);
            if (StatPath(path, &st) && (last || S_ISDIR(st.st_mode))) {
                current = path;
                matched = true;
                break;
            }
        }
        if (matched)
            continue;
        // A folder we may not read cannot prove that a name is missing.
        const bool unsure = found == TListingCache::TFind::Unreadable || LooksLikeShortName(name);
        result.State = unsure ? TPathState::CannotTell : TPathState::Missing;
        result.HostPath = rest(i);
        return result;
    }
    result.State = TPathState::Resolved;
    result.HostPath = current;
    return result;
}

QString TDriveMap::ToWindows(const QString &hostPath) const
{
    if (!QDir::isAbsolutePath(hostPath))
        return {};
    auto windowsPath = [](const TDrive &drive, const QString &below) -> QString {
        QString windows = QString(drive.Letter) + QStringLiteral(":\\");
        const QStringList names = below.split(u'/', Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (NameFault(names[i]) != TNameFault::None)
                return {};
            if (i)
                windows += u'\\';
            windows += names[i];
        }
        return windows;
    };
    // Of several letters on one folder, the first, Z: last.
    auto better = [](const TDrive *best, const TDrive &d) {
        return !best || (best->Letter == u'Z' && d.Letter != u'Z');
    };
    const QString clean = QDir::cleanPath(hostPath);

    // As Wine does: walk up the path as written and take the first head that is a drive's root.
    QString head = clean;
    while (true) {
        struct stat st;
        if (StatPath(head, &st)) {
            const TDrive *best = nullptr;
            for (qsizetype i = 0; i < FDrives.size(); ++i)
                if (FDrives[i].Type != TDriveType::NoRootDir && FRootIds[i].Device == quint64(st.st_dev)
                    && FRootIds[i].Inode == quint64(st.st_ino) && better(best, FDrives[i]))
                    best = &FDrives[i];
            if (best)
                return windowsPath(*best, clean.mid(head.size()));
        }
        if (head == u"/")
            break;
        const qsizetype slash = head.lastIndexOf(u'/');
        head = slash <= 0 ? QStringLiteral("/") : head.left(slash);
    }

    // No head exists any more: the longest drive target that spells the path.
    const TDrive *best = nullptr;
    for (const TDrive &d : FDrives) {
        if (d.Type == TDriveType::NoRootDir || d.HostRoot.isEmpty() || !IsBelowOrEqual(clean, d.HostRoot))
            continue;
        if (!best || d.HostRoot.size() > best->HostRoot.size()
            || (d.HostRoot.size() == best->HostRoot.size() && better(best, d)))
            best = &d;
    }
    if (!best)
        return {};
    return windowsPath(*best, best->HostRoot == u"/" ? clean : clean.mid(best->HostRoot.size()));
}
