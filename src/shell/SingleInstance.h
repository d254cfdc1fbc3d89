// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the one-instance rule: a per-user lock that the kernel releases when the process ends.
#pragma once

#include <QString>

// Holds an exclusive flock on <folder>/<name>.lock for the object's life. A process that dies
// (even by SIGKILL) loses the lock at once, so a stale file never blocks a later start.
class TSingleInstance
{
public:
    // folder empty: DefaultFolder(). A folder that is not this user's own real folder gives no
    // lock: someone else could hold it, or take it from under us.
    explicit TSingleInstance(const QString &name, const QString &folder = {});
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance &) = delete;
    TSingleInstance &operator=(const TSingleInstance &) = delete;

    // True when another process holds the lock.
    bool AlreadyRunning() const { return FAlreadyRunning; }
    // Why no lock could be taken at all (the program must then not run); empty when it was taken
    // or another process holds it.
    QString Error() const { return FError; }
    QString LockPath() const { return FPath; }

    // $XDG_RUNTIME_DIR when it is the user's own private folder (a real folder, the user's, open
    // to nobody else), else /tmp/vaskimo-<uid>.
    static QString DefaultFolder();
    static QString FolderFor(const QString &runtimeDir);

private:
    int FFd = -1;
    bool FAlreadyRunning = false;
    QString FPath;
    QString FError;
};
