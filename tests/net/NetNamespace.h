// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: runs tests of the calling test binary again inside network, mount and host-name namespaces of their own, for machines the tests cannot make otherwise (offline, or with a link that comes and goes).
//
// Usage, in a test:
//   if (TestNetns::Inside()) { ...the test proper, as root in the namespace...; return; }
//   const TestNetns::TRun run = TestNetns::RunAgainInside("ip link set lo up", "Suite.Test");
//   if (run.Skipped) VASKIMO_MISSING(run.Why);   // support/Needs.h
//   EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
// The host name inside is "vaskimo-netns", which /etc/hosts maps to 127.0.1.1 alone (as Debian does),
// and /etc/resolv.conf names only 127.0.0.1, so a name look-up never leaves the namespace.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <unistd.h>

namespace TestNetns {

inline constexpr char HostName[] = "vaskimo-netns";

inline bool Inside() { return qEnvironmentVariableIsSet("VASKIMO_TEST_IN_NETNS"); }

struct TRun {
    bool Skipped = false;  // this machine cannot make the namespace: Why says so
    QString Why;
    int ExitCode = -1;
    QString Output;
};

// setup: shell commands run inside before the tests (ip ...); a failing one skips the test.
inline TRun RunAgainInside(const QString &setup, const QString &gtestFilter)
{
    TRun run;
    if (::geteuid() != 0) {
        run.Skipped = true;
        run.Why = QStringLiteral("namespaces of the test's own need root (CI runs as root)");
        return run;
    }
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty()) {
        run.Skipped = true;
        run.Why = QStringLiteral("unshare (util-linux) or ip (iproute2) is not installed");
        return run;
    }
    QTemporaryDir dir;
    auto write = [&](const QString &name, const QByteArray &text) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    };
    write(QStringLiteral("hosts"), QByteArray("127.0.0.1 localhost\n127.0.1.1 ") + HostName + "\n::1 localhost\n");
    write(QStringLiteral("resolv.conf"), "nameserver 127.0.0.1\n");
    // Exit 77: a step before the tests proper failed, so this machine cannot make the namespace.
    const QString script = QStringLiteral(
                               "{ hostname %1 && mount --bind '%2/hosts' /etc/hosts && mount --bind '%2/resolv.conf' "
                               "/etc/resolv.conf && %3; } >&2 || { echo 'the namespace could not be set up' >&2; exit 77; }\n"
                               "exec '%4' --gtest_filter='%5'\n")
                               .arg(QLatin1String(HostName), dir.path(), setup,
                                    QCoreApplication::applicationFilePath(), gtestFilter);
    QProcess inside;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VASKIMO_TEST_IN_NETNS"), QStringLiteral("1"));
    inside.setProcessEnvironment(environment);
    inside.setProcessChannelMode(QProcess::MergedChannels);
    inside.start(unshare, {"--net", "--mount", "--uts", "--", "sh", "-c", script});
    if (!inside.waitForFinished(60000)) {
        inside.kill();
        inside.waitForFinished(5000);
        run.Output = QStringLiteral("the tests inside the namespace did not end");
        return run;
    }
    run.Output = QString::fromLocal8Bit(inside.readAll());
    run.ExitCode = inside.exitCode();
    if (run.ExitCode == 77 || run.Output.contains(QLatin1String("unshare failed"))) {
        run.Skipped = true;
        run.Why = QStringLiteral("no namespace here: ") + run.Output;
    }
    return run;
}

} // namespace TestNetns
