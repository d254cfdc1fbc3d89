// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a folder tree deeper than the host's path limit (PATH_MAX), made and removed folder by folder.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DeepTree {

// levels nested folders below base, each named name and holding a file "f" of fileBytes bytes.
// Made through folder descriptors, as no path may name the deepest ones. False on any failure.
inline bool Make(const QString &base, const QByteArray &name, int levels, int fileBytes)
{
    int folder = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool ok = folder >= 0;
    for (int level = 0; ok && level < levels; ++level) {
        ok = ::mkdirat(folder, name.constData(), 0700) == 0;
        const int next = ok ? ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ::close(folder);
        folder = next;
        ok = ok && folder >= 0;
        const int file = ok ? ::openat(folder, "f", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600) : -1;
        ok = ok && file >= 0 && ::write(file, QByteArray(fileBytes, 'f').constData(), size_t(fileBytes)) == fileBytes;
        if (file >= 0)
            ::close(file);
    }
    if (folder >= 0)
        ::close(folder);
    return ok;
}

// rm walks by descriptors too; QDir::removeRecursively cannot reach past the limit.
inline void Remove(const QString &path)
{
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), QStringLiteral("--"), path});
}

// Removes the tree at the end of its scope, whatever the test did meanwhile.
struct TRemoveAtEnd {
    QString Path;
    ~TRemoveAtEnd() { Remove(Path); }
};

}  // namespace DeepTree
