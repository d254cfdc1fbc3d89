// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: for tests that run programs as processes: waiting on a condition, and an Xvfb display of their own.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QThread>

#include <functional>

namespace TestSupport {

// Polls done every 50 ms (sleeping between: other processes do the work) until it holds; false
// when ms passed first.
[[nodiscard]] inline bool WaitUntil(const std::function<bool()> &done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

// Starts Xvfb in x on a display number it picks itself (-displayfd), reachable only through its
// local (and abstract) socket. The DISPLAY value (":N"); empty with *why when it did not start.
inline QString StartXvfb(QProcess &x, QByteArray *why)
{
    x.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                     QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                     QStringLiteral("1024x768x24")});
    if (!x.waitForStarted(5000)) {
        *why = "Xvfb (Debian's xvfb) does not start";
        return {};
    }
    QByteArray number;
    QDeadlineTimer deadline(15000);
    while (!number.contains('\n') && !deadline.hasExpired() && x.state() == QProcess::Running)
        if (x.waitForReadyRead(500))
            number += x.readAllStandardOutput();
    if (!number.contains('\n')) {
        *why = "Xvfb gave no display number: " + x.readAllStandardError();
        return {};
    }
    return u':' + QString::fromLatin1(number.trimmed());
}

}  // namespace TestSupport
