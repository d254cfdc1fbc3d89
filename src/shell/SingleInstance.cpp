// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the one-instance lock over flock(2).
#include "shell/SingleInstance.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool OwnPrivateFolder(const QByteArray &path)
{
    struct stat st {};
    return lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}
} // namespace

QString TSingleInstance::DefaultFolder() { return FolderFor(qEnvironmentVariable("XDG_RUNTIME_DIR")); }

QString TSingleInstance::FolderFor(const QString &runtimeDir)
{
    if (!runtimeDir.isEmpty() && OwnPrivateFolder(QFile::encodeName(runtimeDir)))
        return runtimeDir;
    return QStringLiteral("/tmp/vaskimo-%1").arg(getuid());
}

TSingleInstance::TSingleInstance(const QString &name, const QString &folder)
{
    const QString dir = folder.isEmpty() ? DefaultFolder() : folder;
    const QByteArray dirBytes = QFile::encodeName(dir);
    if (mkdir(dirBytes.constData(), 0700) != 0 && errno != EEXIST) {
        FError = QStringLiteral("Cannot create %1: %2").arg(dir, QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    // A shared /tmp: the folder must be our own real folder, or someone else could hold our lock.
    struct stat st {};
    if (lstat(dirBytes.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
        FError = QStringLiteral("%1 is not a folder of this user").arg(dir);
        return;
    }
    if ((st.st_mode & 077) != 0 && chmod(dirBytes.constData(), 0700) != 0) {
        FError = QStringLiteral("Cannot make %1 private: %2").arg(dir, QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    FPath = QDir(dir).filePath(name + QStringLiteral(".lock"));
    FFd = open(QFile::encodeName(FPath).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (FFd < 0) {
        FError = QStringLiteral("Cannot open %1: %2").arg(FPath, QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    int rc;
    do {
        rc = flock(FFd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno == EWOULDBLOCK)
            FAlreadyRunning = true;
        else
            FError = QStringLiteral("Cannot lock %1: %2").arg(FPath, QString::fromLocal8Bit(strerror(errno)));
        close(FFd);
        FFd = -1;
    }
}

TSingleInstance::~TSingleInstance()
{
    if (FFd >= 0)
        close(FFd);
}
