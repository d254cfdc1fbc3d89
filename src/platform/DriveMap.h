// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the prefix's drive letters (dosdevices links) and Windows <-> host path mapping.
#pragma once

#include <QChar>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>

enum class TDriveType { NoRootDir, Removable, Fixed, Remote, CdRom };

struct TDrive {
    QChar Letter;          // upper case, 'A'..'Z'
    QString HostRoot;      // the link's target folder, absolute, no trailing '/' (except "/")
    TDriveType Type = TDriveType::NoRootDir;
};

// How a Windows path maps onto the host.
enum class TPathState {
    Resolved,    // HostPath names the object (or where it would be, component by component)
    Missing,     // some component does not exist: the path names nothing on the host
    CannotTell,  // an unresolvable 8.3 short name (PROGRA~1): cleaners treat it as existing
    NotLocal     // UNC, relative, drive-relative ("D:x") or a drive with no root
};

// Why a name met on the host has no Windows spelling that names it again: Win32 reads a path
// before any file system sees it, so such a path would name another file, or none.
enum class TNameFault : quint8 {
    None,
    Character,           // \ / : * ? " < > | or a control character
    TrailingDotOrBlank,  // Win32 drops a name's trailing dots and blanks
    NotText,             // no valid text in the file-name encoding
};

struct TPathMapping {
    TPathState State = TPathState::NotLocal;
    QString HostPath;  // with Resolved: the real host spelling of every component
};

class TDriveMap
{
public:
    TDriveMap();  // no drives
    // dosdevicesFolder: <prefix>/dosdevices; prefixFolder: decides "inside the prefix";
    // wineTypes: letter -> "hd", "cdrom", "floppy", "network" from HKLM\Software\Wine\Drives.
    // Without a type: inside the prefix Fixed, "/" or a folder holding the prefix Remote, any
    // other folder Fixed. "/" and folders holding the prefix are never Fixed, even as "hd".
    // A dangling link gives NoRootDir. With no dosdevices folder the only drive is Z: = "/".
    static TDriveMap FromFolder(const QString &dosdevicesFolder, const QString &prefixFolder,
                                const QHash<QChar, QString> &wineTypes = {});

    QList<TDrive> Drives() const;  // sorted by letter
    TDriveType DriveType(QChar letter) const;  // NoRootDir for an unknown letter
    QString HostRoot(QChar letter) const;      // empty for an unknown letter

    // Each component matched exactly, else ignoring case (the first match in name order).
    // "\" and "/" both separate; repeated separators, "." and ".." are folded ("C:\.." stays at the
    // root); names lose a trailing dot, the last name all trailing dots and blanks (as Win32 reads
    // a path); a trailing separator, "." or ".." asks for a folder; "C:" alone is the drive's root.
    // With Missing, HostPath is the resolved head followed by the rest as written, so callers can
    // still name where a new file would go.
    TPathMapping ToHost(const QString &windowsPath) const;
    // The longest matching drive target (the longest head of hostPath that is a drive's root
    // folder, compared by identity, so a link to the prefix still gives C:); Z: last. Empty when
    // no drive holds the path, or when a name below the drive root has a NameFault (the path
    // would name another file).
    QString ToWindows(const QString &hostPath) const;

    // An 8.3 short name such as PROGRA~1 or MICROS~2.DLL: a base of at most eight characters with
    // "~" and digits, an extension of at most three.
    static bool LooksLikeShortName(const QString &component);
    // True when name is not empty and holds none of the characters a Windows file name cannot
    // hold: \ / : * ? " < > | and control characters.
    static bool IsWindowsName(const QString &name);

    // What keeps name (a host name that is valid text) from being a Windows name of its own.
    static TNameFault NameFault(const QString &name);
    // The reason a skipped item is shown with.
    static QString NameFaultText(TNameFault fault);

    // Forget the cached folder listings (they also refresh themselves when a folder changes).
    void ClearCache() const;

private:
    struct TListingCache;
    struct TRootId {
        quint64 Device = 0, Inode = 0;
    };
    QList<TDrive> FDrives;
    QList<TRootId> FRootIds;  // device and inode of each drive's root, parallel to FDrives
    void RecordRootIds();
    // Shared by copies of the map: scanner threads of one scan look names up through one cache.
    std::shared_ptr<TListingCache> FCache;
};
