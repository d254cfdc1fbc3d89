// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a real, small tmpfs for tests of full-disk and read-only failures (needs root, as in CI).
//
// Failures injected through our own file layer prove nothing about what the kernel and Qt do on a
// full disk; a real tmpfs filled with dd does. The mount is undone by the destructor, so a failing
// test leaves nothing mounted.
#pragma once

#include "support/Needs.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

namespace TestSupport {

class TSmallDisk
{
public:
    // sizeText as mount's size= option: "2m", "512k".
    explicit TSmallDisk(const QString &sizeText = QStringLiteral("2m"))
    {
        if (!FHolder.isValid()) {
            FWhy = QStringLiteral("no temporary folder");
            return;
        }
        FPath = FHolder.path() + "/disk";
        QDir().mkpath(FPath);
        const QByteArray options = "size=" + sizeText.toLatin1() + ",mode=0777";
        if (::mount("vaskimo-test", QFile::encodeName(FPath).constData(), "tmpfs", 0, options.constData()) != 0) {
            FWhy = QStringLiteral("mounting a tmpfs needs root (CAP_SYS_ADMIN): %1").arg(QString::fromLocal8Bit(strerror(errno)));
            return;
        }
        FMounted = true;
    }
    ~TSmallDisk() { Unmount(); }
    TSmallDisk(const TSmallDisk &) = delete;
    TSmallDisk &operator=(const TSmallDisk &) = delete;

    bool IsMounted() const { return FMounted; }
    // Why the disk could not be mounted, for the test's skip or failure message.
    const QString &Why() const { return FWhy; }
    const QString &Path() const { return FPath; }

    // Fills what is left with dd itself, so the next write meets ENOSPC as a user's would.
    bool Fill()
    {
        QProcess dd;
        dd.start(QStringLiteral("dd"), {QStringLiteral("if=/dev/zero"), "of=" + FPath + "/.filler-" + QString::number(FFills++),
                                        QStringLiteral("bs=4k")});
        return dd.waitForFinished(60000) && dd.exitCode() != 0;  // dd ends with 1 at "No space left on device"
    }

    // Gives room back (removes what Fill made).
    void Unfill()
    {
        for (int n = 0; n < FFills; ++n)
            QFile::remove(FPath + "/.filler-" + QString::number(n));
        FFills = 0;
    }

    // Makes the mount read-only, or writable again.
    bool SetReadOnly(bool readOnly)
    {
        const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return ::mount("vaskimo-test", QFile::encodeName(FPath).constData(), "tmpfs", flags, nullptr) == 0;
    }

    void Unmount()
    {
        if (FMounted) {
            // A program still running there would keep it busy: detach it anyway.
            if (::umount2(QFile::encodeName(FPath).constData(), 0) != 0)
                ::umount2(QFile::encodeName(FPath).constData(), MNT_DETACH);
            FMounted = false;
        }
    }

private:
    QTemporaryDir FHolder;
    QString FPath;
    QString FWhy;
    bool FMounted = false;
    int FFills = 0;
};

}  // namespace TestSupport

// A test that needs the small disk skips where the machine cannot mount one, except where skips
// fail (CI runs as root): a skipped failure test would hide the fault it is there for.
#define VASKIMO_NEED_DISK(disk) VASKIMO_NEED((disk).IsMounted(), (disk).Why())
