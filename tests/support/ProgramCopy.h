// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the built program copied as an unpacked copy, for the tests that run it as a process.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <sys/stat.h>

namespace TestSupport {

// Copies the program exe into folder as "vaskimo" with a blacklist beside it (empty: the one the
// build puts beside exe), and makes the private folder "run" there for XDG_RUNTIME_DIR, where the
// copy keeps its single-instance lock. A writable folder holding the program's files stays its
// own, so its settings, log and undo files land there. The executable's path; empty when a copy
// failed.
inline QString CopyProgram(const QString &folder, const QString &exe, const QString &blacklist = {})
{
    const QDir dir(folder);
    const QString copy = dir.filePath(QStringLiteral("vaskimo"));
    const QString shipped =
        blacklist.isEmpty() ? QFileInfo(exe).absolutePath() + QStringLiteral("/BlackLst.vkb") : blacklist;
    if (!QFile::copy(exe, copy) || !QFile::copy(shipped, dir.filePath(QStringLiteral("BlackLst.vkb"))))
        return {};
    QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner);
    if (!dir.mkdir(QStringLiteral("run"))
        || ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("run"))).constData(), 0700) != 0)
        return {};
    return copy;
}

}  // namespace TestSupport
