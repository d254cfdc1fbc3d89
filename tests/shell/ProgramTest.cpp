// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the program itself: one instance at a time, a killed one leaves no lock, batch runs need no display.
#include <QDir>
#include <QThread>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/PrefixBuilder.h"

#include <sys/stat.h>

namespace {
struct TProgramCopy {
    QTemporaryDir Dir;
    QString Exe;
    QProcessEnvironment Env;
    TProgramCopy()
    {
        // A copy, so that Options.ini and Vaskimo.log land beside it and not in the build.
        Exe = Dir.filePath("vaskimo");
        QFile::copy(VASKIMO_EXE, Exe);
        QFile::setPermissions(Exe, QFile::permissions(Exe) | QFileDevice::ExeOwner);
        QDir(Dir.path()).mkdir("run");
        chmod(QFile::encodeName(Dir.filePath("run")).constData(), 0700);
        Env = QProcessEnvironment::systemEnvironment();
        Env.insert("XDG_RUNTIME_DIR", Dir.filePath("run"));
        Env.insert("WINEPREFIX", Dir.filePath("no-prefix"));
        Env.remove("DISPLAY");
        Env.remove("WAYLAND_DISPLAY");
    }
    void Start(QProcess &p, const QStringList &args, bool offscreen)
    {
        QProcessEnvironment env = Env;
        if (offscreen)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        else
            env.remove("QT_QPA_PLATFORM");
        p.setProcessEnvironment(env);
        p.start(Exe, args);
    }
};
} // namespace

TEST(Program, OneInstanceAndUnattendedRuns)
{
    TProgramCopy program;
    ASSERT_TRUE(QFile::exists(program.Exe));

    QProcess first;
    program.Start(first, {}, true);
    ASSERT_TRUE(first.waitForStarted(5000));
    // Wait until the first one holds its lock (its lock file appears when it does).
    for (int i = 0; i < 100 && !QFile::exists(program.Dir.filePath("run/Vaskimo.lock")); ++i)
        QThread::msleep(50);
    QThread::msleep(300);

    QProcess second;
    program.Start(second, {"-ccache", "-exit"}, false);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(program.Dir.filePath("Vaskimo.log"))) << "the second instance ran its switches";

    first.kill();
    ASSERT_TRUE(first.waitForFinished(5000));

    // No display and no platform named: a batch run goes offscreen, runs and ends.
    QProcess third;
    program.Start(third, {"-ccache", "-exit"}, false);
    ASSERT_TRUE(third.waitForFinished(20000));
    EXPECT_EQ(third.exitCode(), 0);
    QFile log(program.Dir.filePath("Vaskimo.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.startsWith("Vaskimo started on ")) << text.constData();
    EXPECT_TRUE(text.endsWith("-exit\r\nAll done exiting!\r\n")) << text.constData();
}

TEST(Program, HiddenDelregRunCleansAndEnds)
{
    TestSupport::TPrefixBuilder prefix;
    prefix.AddString(TestSupport::THive::System, "Software\\Gone", "Path", "C:\\missing\\gone.dll");
    prefix.AddString(TestSupport::THive::System, "Software\\Kept", "Path", "C:\\windows\\system32");
    prefix.Write();
    TProgramCopy program;
    program.Env.insert("WINEPREFIX", prefix.Folder());
    QProcess run;
    program.Start(run, {"-s", "-delreg", "-exit"}, true);
    ASSERT_TRUE(run.waitForFinished(60000));
    EXPECT_EQ(run.exitCode(), 0);
    QFile log(program.Dir.filePath("Vaskimo.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_FALSE(text.contains("Aborted by user!")) << text.constData();
    EXPECT_TRUE(text.contains("-delreg\r\n")) << text.constData();
    EXPECT_TRUE(text.endsWith("All done exiting!\r\n")) << text.constData();
    QFile hive(prefix.HivePath(TestSupport::THive::System));
    ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
    const QByteArray system = hive.readAll();
    EXPECT_FALSE(system.contains("gone.dll"));
    EXPECT_TRUE(system.contains("system32"));
}
