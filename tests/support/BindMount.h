// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a real bind mount for tests (needs root, as in CI), undone by its destructor.
//
// A bind mount of a folder of the same file system gives the same device number on both sides:
// only the mount table tells the two apart, which is what the tests of walks and of the trash need.
#pragma once

#include "support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

namespace TestSupport {

class TBindMount
{
public:
    // Mounts source on target: folders (both made when missing), or a file on a file (an empty one
    // made when missing).
    TBindMount(const QString &source, const QString &target) : FTarget(target)
    {
        if (QFileInfo(source).isFile()) {
            if (!QFileInfo::exists(target)) {
                QFile file(target);
                file.open(QIODevice::WriteOnly);
            }
        } else {
            QDir().mkpath(source);
            QDir().mkpath(target);
        }
        if (::mount(QFile::encodeName(source).constData(), QFile::encodeName(target).constData(), nullptr, MS_BIND,
                    nullptr) != 0) {
            FWhy = QStringLiteral("mount --bind failed (it needs root): %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        FMounted = true;
    }
    ~TBindMount()
    {
        if (FMounted && ::umount2(QFile::encodeName(FTarget).constData(), 0) != 0)
            ::umount2(QFile::encodeName(FTarget).constData(), MNT_DETACH);
    }
    TBindMount(const TBindMount &) = delete;
    TBindMount &operator=(const TBindMount &) = delete;

    bool IsMounted() const { return FMounted; }
    // Makes the mount read-only (the folder below stays as it was), as a read-only medium is.
    bool SetReadOnly()
    {
        return ::mount(nullptr, QFile::encodeName(FTarget).constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    const QString &Why() const { return FWhy; }

private:
    QString FTarget;
    QString FWhy;
    bool FMounted = false;
};

}  // namespace TestSupport

// A skip where the machine cannot mount, never in CI (the rule of the small disk's tests).
#define VASKIMO_NEED_MOUNT(mount) VASKIMO_NEED_DISK(mount)
