// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the program's own name and version, fixed when it is built, and the folders beside it.
#pragma once

#include <QString>

namespace ProgramInfo {
QString Name();     // "Vaskimo": also the single-instance lock name and the product name
// The one program version, from the build: four numbers as a version resource gives them
// ("2.1.0.0"). The title, About, the splash, the update check and the help log all show it.
QString Version();
QString Title();  // "Vaskimo 2.1 by Orvendal": the application and main-window title
}

// The folders "beside the program". A build folder or an unpacked copy, writable and holding the
// program's files, keeps everything beside the executable. An installed program (bin/vaskimo, its
// read-only files in share/vaskimo/) writes to a per-user folder and reads what it ships from
// where it was installed.
struct TProgramFolders {
    // Ends in "/". What the program writes: "Options.ini", "Vaskimo.log", "Undo/", "Duplicat.log",
    // "HHDebug.txt", a downloaded "BlackLst.vkb".
    QString Own;
    // Ends in "/". What it ships: "Languages/", "Helps/", the default "BlackLst.vkb".
    QString Shipped;
    bool PerUser = false;  // Own is $XDG_CONFIG_HOME/vaskimo or ~/.config/vaskimo
};

namespace ProgramInfo {
// The one decision. executableFolder: the running program's folder; configHome: $XDG_CONFIG_HOME
// (ignored unless absolute, as the XDG base-directory rules say); home: the user's home folder.
TProgramFolders DecideFolders(const QString &executableFolder, const QString &configHome, const QString &home);
// Makes a per-user Own folder that is missing, and its missing parents, 0700. False with *error.
bool MakeOwnFolder(const TProgramFolders &folders, QString *error);

// The folders this process decided on at start; code that is handed a folder keeps using it, so
// tests that set none see only their own.
void SetFolders(const TProgramFolders &folders);
// A shipped file or folder (name: "BlackLst.vkb", "Languages", "Helps") as read from folder: the
// one in folder when it is there, else, when folder is this process's own folder, the shipped
// one when that is there, else the one in folder. A downloaded blacklist thus wins over the
// shipped one.
QString ShippedFile(const QString &folder, const QString &name);
}
