// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the prefix's drive letters (dosdevices links) and Windows <-> host path mapping.
#pragma once

#include <QChar>
#include <QHash>
#include <QList>
#include <QString>

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

struct TPathMapping {
    TPathState State = TPathState::NotLocal;
    QString HostPath;  // with Resolved: the real host spelling of every component
};

class TDriveMap
{
public:
    TDriveMap() = default;
    // dosdevicesFolder: <prefix>/dosdevices; prefixFolder: decides "inside the prefix";
    // wineTypes: letter -> "hd", "cdrom", "floppy", "network" from HKLM\Software\Wine\Drives.
    // With no dosdevices folder the only drive is Z: = "/".
    static TDriveMap FromFolder(const QString &dosdevicesFolder, const QString &prefixFolder,
                                const QHash<QChar, QString> &wineTypes = {});

    QList<TDrive> Drives() const;  // sorted by letter
    TDriveType DriveType(QChar letter) const;  // NoRootDir for an unknown letter
    QString HostRoot(QChar letter) const;      // empty for an unknown letter

    // Each component matched exactly, else ignoring case (the first match in name order).
    TPathMapping ToHost(const QString &windowsPath) const;
    // The longest matching drive target; Z: last. Empty when no drive holds the path.
    QString ToWindows(const QString &hostPath) const;

private:
    QList<TDrive> FDrives;
};
