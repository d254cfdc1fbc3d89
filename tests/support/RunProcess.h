// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: runs a program (Wine, git, the built program) to its end with a time-out, for tests.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace TestSupport {

// The command words that run a program as the user nobody (only root can): put them before it.
inline QStringList AsNobody()
{
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
            QStringLiteral("--clear-groups")};
}

// The program's exit code; -1 when it does not start, does not end within timeoutMs (it is then
// killed) or dies of a signal. *out gets what it printed on both channels.
// p: set up by the caller (environment, channels, folder); it is started here.
inline int RunToExit(QProcess &p, const QString &program, const QStringList &args, int timeoutMs, QByteArray *out)
{
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        *out = p.errorString().toUtf8();
        return -1;
    }
    const bool ended = p.waitForFinished(timeoutMs);
    if (!ended) {
        p.kill();
        p.waitForFinished(5000);
        *out = "timed out: " + p.readAll();
        return -1;
    }
    *out = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The same in env (both channels merged), in workingFolder when one is given.
inline int RunToExit(const QString &program, const QStringList &args, const QProcessEnvironment &env, int timeoutMs,
                     QByteArray *out, const QString &workingFolder = QString())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingFolder.isEmpty())
        p.setWorkingDirectory(workingFolder);
    return RunToExit(p, program, args, timeoutMs, out);
}

// True when the program ends with 0 in time.
inline bool RunToEnd(const QString &program, const QStringList &args, const QProcessEnvironment &env, int timeoutMs,
                     QByteArray *out, const QString &workingFolder = QString())
{
    return RunToExit(program, args, env, timeoutMs, out, workingFolder) == 0;
}

}  // namespace TestSupport
