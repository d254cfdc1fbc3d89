// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the built program copied as an unpacked copy, for the tests that run it as a process.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace TestSupport {

// Copies the built program (VASKIMO_EXE) into folder with the blacklist the build puts beside it:
// a writable folder holding the program's files stays its own, so its settings, log and undo
// files land there. The executable's path; empty when a copy failed.
inline QString CopyProgram(const QString &folder)
{
    const QString exe = QDir(folder).filePath(QStringLiteral("vaskimo"));
    const QString blacklist = QFileInfo(QStringLiteral(VASKIMO_EXE)).absolutePath() + QStringLiteral("/BlackLst.vkb");
    if (!QFile::copy(QStringLiteral(VASKIMO_EXE), exe)
        || !QFile::copy(blacklist, QDir(folder).filePath(QStringLiteral("BlackLst.vkb"))))
        return {};
    QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner);
    return exe;
}

}  // namespace TestSupport
