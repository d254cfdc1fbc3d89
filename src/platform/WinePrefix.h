// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the "PC" that Vaskimo tidies: one Wine prefix, its hives, drives and environment.
#pragma once

#include <QString>

#include <memory>

class THiveSet;   // the loaded hive files (Registry.cpp)
class TDriveMap;  // the dosdevices drive letters (DriveMap.h)

class TWinePrefix
{
public:
    // folder: the prefix folder; it need not exist (then the registry is empty, every write fails
    // with a message naming the folder, and the only drive is Z: = "/").
    explicit TWinePrefix(const QString &folder);
    ~TWinePrefix();

    // WINEPREFIX, else ~/.wine: Wine's own rule.
    static QString DefaultFolder();
    // The prefix every accessor uses when given none. Tests set their own fixture prefix here.
    static std::shared_ptr<TWinePrefix> Current();
    static void SetCurrent(std::shared_ptr<TWinePrefix> prefix);

    QString Folder() const;
    bool Exists() const;  // the folder holds system.reg or user.reg
    // Why the folder is no Wine prefix, naming it and what is wrong with it; empty when it is one.
    QString Absence() const;

    // The user's profile name as Wine makes it (the Linux user name).
    QString UserName() const;

    THiveSet &Hives();
    // The key of HKEY_USERS that is the same tree as HKEY_CURRENT_USER ("S-1-5-21-0-0-0-1000").
    QString UserSid();
    // A 64-bit prefix ("#arch=win64" in its hives): 32-bit programs write below HKLM\Software\Wow6432Node.
    bool IsWin64();
    const TDriveMap &Drives();  // built on first use; ReloadDrives() after changing dosdevices
    void ReloadDrives();

    // A message naming why writes are refused now, or empty when they may go ahead:
    // no prefix folder, or a wineserver of this prefix is running.
    QString WriteBlocker() const;
    // Where a wineserver of this prefix keeps its socket, server-<device hex>-<inode hex>/socket of
    // the prefix folder: under /tmp/.wine-<uid>/ (upstream Wine) and, when the prefix's file
    // "wineserver" names a folder (Debian's Wine), under $TMPDIR/<name>/ and /tmp/<name>/. Empty when
    // the folder does not exist.
    QStringList ServerSocketPaths() const;
    // A server runs when one of those sockets accepts a connection; a socket left behind by a
    // server that died refuses it.
    bool ServerRunning() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> d;
};
