// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: trash-cli as the judge of the freedesktop.org Trash: what trash-list lists, what trash-restore puts back.
#pragma once

#include "support/Needs.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QString>

#include <gtest/gtest.h>

namespace TestSupport {

inline bool HaveTrashCli()
{
    return QFileInfo(QStringLiteral("/usr/bin/trash-list")).isExecutable();
}

#define VASKIMO_NEED_TRASH_CLI() VASKIMO_NEED(TestSupport::HaveTrashCli(), "trash-cli is not installed (Debian package trash-cli)")

// The original paths below the folders that the user's trashes hold (the home trash of env's
// XDG_DATA_HOME and the trash at the top of every mount), as trash-list lists them. The mounts and
// trashes of tests running beside this one are listed too, and trash-list says on standard error
// why it skipped a trash: neither is ours to judge.
inline QSet<QString> TrashList(const QProcessEnvironment &env, const QStringList &below)
{
    QProcess list;
    list.setProcessEnvironment(env);
    list.start(QStringLiteral("trash-list"), {});
    const bool ended = list.waitForStarted(10000) && list.waitForFinished(30000);
    const QByteArray out = list.readAllStandardOutput();
    EXPECT_TRUE(ended && list.exitStatus() == QProcess::NormalExit && list.exitCode() == 0)
        << "trash-list: " << list.readAllStandardError().toStdString();
    // "2026-12-11 04:43:20 /the/original/path"
    static const QRegularExpression item(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d (/.*)$"));
    QSet<QString> paths;
    for (const QByteArray &line : out.split('\n')) {
        const QRegularExpressionMatch m = item.match(QFile::decodeName(line));
        if (!m.hasMatch())
            continue;
        const QString path = m.captured(1);
        for (const QString &folder : below)
            if (path.startsWith(folder + u'/'))
                paths.insert(path);
    }
    return paths;
}

// trash-restore run in the file's folder, answering with the first item it offers; true when
// the file is back.
inline bool TrashRestore(const QString &path, const QProcessEnvironment &env)
{
    QProcess restore;
    restore.setProcessEnvironment(env);
    restore.setWorkingDirectory(QFileInfo(path).path());
    restore.setProcessChannelMode(QProcess::MergedChannels);
    restore.start(QStringLiteral("trash-restore"), {});
    if (!restore.waitForStarted(10000))
        return false;
    restore.write("0\n");
    restore.closeWriteChannel();
    return restore.waitForFinished(30000) && QFileInfo::exists(path);
}

}  // namespace TestSupport
