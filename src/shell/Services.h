// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window's stateless services (root names, long and unique names, versions, links, listings).
//
// Paths are Windows paths ("C:\Undo\") mapped through the current prefix's drives, or host paths
// ("/opt/vaskimo/Undo/"); the separator a folder ends in is the one its entries are written with.
// No service follows a symlinked folder.
#pragma once

#include "platform/LnkReader.h"
#include "platform/Registry.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace Services {
// Windows path -> host path; empty when it names nothing on the host. Hosts paths pass unchanged.
using TPathMapper = std::function<QString(const QString &windowsPath)>;
void SetPathMapper(TPathMapper mapper);  // empty: the current prefix's drive map
QString HostPath(const QString &path);

// "HKEY_CURRENT_USER", "HKEY_USERS", "HKEY_CLASSES_ROOT" ignoring case; anything else HKEY_LOCAL_MACHINE.
TRootKey RootKeyFromName(const QString &rootName);

// findName(path) gives the name the file system reports for the last component of path, or ''
// when it does not exist. The default looks on the host.
using TFindName = std::function<QString(const QString &path)>;
QString LongPathName(const QString &path, const TFindName &findName = {});

QString UniqueFileName(const QString &folder, const QString &fileName);
QString VersionInfoString(const QString &fileName, const QString &name);
// The values of names (for example "FileVersion", "ProductVersion"), from one reading of the file.
QStringList VersionInfoStrings(const QString &fileName, const QStringList &names);
bool ReadShellLink(const QString &linkFile, TShellLinkInfo &info);
// False also when the folder cannot be listed: only a folder known to be empty is empty.
bool IsFolderEmpty(const QString &folder);
QString ListFiles(const QString &folder, const QString &mask, bool bareNames, bool skipDesktopIni);
QString ListFolderTree(const QString &folder, bool skipDesktopIniFolders);
}
