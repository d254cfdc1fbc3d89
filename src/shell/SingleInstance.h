// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the one-instance rule: a per-user lock that the kernel releases when the process ends.
#pragma once

#include <QString>

// Holds an exclusive flock on <folder>/<name>.lock for the object's life. A process that dies
// (even by SIGKILL) loses the lock at once, so a stale file never blocks a later start.
class TSingleInstance
{
public:
    // folder empty: $XDG_RUNTIME_DIR when it is a folder, else /tmp/vaskimo-<uid> (made 0700,
    // refused when it is not our own real folder).
    explicit TSingleInstance(const QString &name, const QString &folder = {});
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance &) = delete;
    TSingleInstance &operator=(const TSingleInstance &) = delete;

    // True when another process holds the lock. When the lock cannot be made at all (no usable
    // folder), the program runs rather than refusing to start: false then, with Error() set.
    bool AlreadyRunning() const { return FAlreadyRunning; }
    QString LockPath() const { return FPath; }
    QString Error() const { return FError; }

    static QString DefaultFolder();

private:
    int FFd = -1;
    bool FAlreadyRunning = false;
    QString FPath;
    QString FError;
};
