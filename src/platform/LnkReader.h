// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a bounds-checked reader of Windows shell links (.lnk), after Microsoft's published [MS-SHLLINK] format.
#pragma once

#include <QByteArray>
#include <QString>

// What a shell link tells the tools; every text is at most 259 characters (a MAX_PATH buffer).
struct TShellLinkInfo {
    QString Target;
    QString WorkingDirectory;
    QString Arguments;
    QString Description;
    QString IconLocation;
    int IconIndex = 0;
};

// The fields of one link file as stored.
struct TShellLink {
    quint32 LinkFlags = 0;
    quint32 FileAttributes = 0;
    int IconIndex = 0;
    quint32 ShowCommand = 1;
    QString IdListPath;     // the file-system path the item ID list names, empty for virtual objects
    QString LocalBasePath;  // from the link information
    QString NetName;        // the share of a network target ("\\server\share")
    QString CommonPathSuffix;
    QString Name;           // description
    QString RelativePath;
    QString WorkingDir;
    QString Arguments;
    QString IconLocation;
    QString EnvironmentTarget;  // the environment-variable block's target

    // The target path as the shell gives it with UNC priority: the network path when the link
    // has one, else the local path, else the path of the ID list; empty when the link has none.
    QString TargetPath() const;
};

namespace LnkReader {
// False for anything that is no shell link or is cut short; never reads out of bounds.
// ansiCodePage: the code page of 8-bit strings (1252 unless the prefix says otherwise).
bool Parse(const QByteArray &data, TShellLink *link, int ansiCodePage = 1252);
bool ReadFile(const QString &hostPath, TShellLink *link, int ansiCodePage = 1252);
// The shell-link read as the tools use it: false (info untouched) without a target path.
bool ReadShellLinkInfo(const QString &hostPath, TShellLinkInfo &info, int ansiCodePage = 1252);
}
