// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: trash-cli as the judge of the freedesktop.org Trash: what trash-list lists, what trash-restore puts back.
#pragma once

#include "support/Needs.h"
#include "support/RunProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QString>

#include <gtest/gtest.h>

namespace TestSupport {

inline bool HaveTrashCli()
{
    return QFileInfo(QStringLiteral("/usr/bin/trash-list")).isExecutable();
}

#define VASKIMO_NEED_TRASH_CLI() VASKIMO_NEED(TestSupport::HaveTrashCli(), "trash-cli is not installed (Debian package trash-cli)")

// The original paths of what the user's trashes hold (the home trash of env's XDG_DATA_HOME and
// the trash at the top of every mount), as trash-list lists them.
inline QSet<QString> TrashList(const QProcessEnvironment &env)
{
    QByteArray out;
    EXPECT_EQ(RunToExit(QStringLiteral("trash-list"), {}, env, 30000, &out), 0) << out.toStdString();
    QSet<QString> paths;
    for (const QByteArray &line : out.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() >= 3)
            paths.insert(QFile::decodeName(line.mid(fields.at(0).size() + fields.at(1).size() + 2)));
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
