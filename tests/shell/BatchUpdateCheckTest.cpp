// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a batch run that outlasts the first automatic update tick, with a newer version on offer: it ends by itself and asks nothing.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "net/HttpPeers.h"
#include "support/DemoPrefix.h"
#include "support/Needs.h"
#include "support/ProgramCopy.h"

namespace {
// libfaketime runs the program's clock, its timers included, this many times faster than ours:
// its first update tick, two minutes after the start, comes after four of our seconds.
constexpr int Speed = 30;
constexpr int FirstTick = 120;  // s, on the program's clock
}

TEST(BatchUpdateCheck, ARunLongerThanTheFirstTickEndsByItselfAndAsksNothing)
{
    VASKIMO_NEED_PROGRAM("faketime", "faketime");
    const QByteArray info = "[UpdateInfo]\r\nVersion=99.0.0.0\r\nBlacklist=Release 1\r\n"
                            "UpdateURL=http://127.0.0.1/Vaskimo-99.exe\r\nDetails=A newer Vaskimo\r\n";
    HttpPeers::TScriptedServer server([&info](HttpPeers::TConnection &c, int, HttpPeers::TScriptedServer &peer) {
        if (!peer.ReadAndRecord(c).isEmpty())
            c.Send("HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(info.size()) + "\r\n\r\n" + info);
    });

    QTemporaryDir dir;
    const QString exe = TestSupport::CopyProgram(dir.path(), VASKIMO_EXE);
    ASSERT_FALSE(exe.isEmpty());
    const QString prefix = dir.filePath("prefix");
    ASSERT_EQ(TestSupport::CopyDemoPrefix(prefix), 0);
    // Equal sparse files whose comparison takes the run far past the first tick.
    ASSERT_TRUE(TestSupport::AddEqualSparseFiles(prefix, "4G"));
    QFile ini(dir.filePath("Options.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\r\nLanguage index=0\r\n[Update]\r\nAutomatic update=1\r\nAlways connected to the Internet=1\r\n"
              "Update address=" + server.Url("/Vaskimo.upd").toLatin1() + "\r\n");
    ini.close();

    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH"));
    env.insert("HOME", dir.path());
    env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
    env.insert("WINEPREFIX", prefix);
    QProcess run;
    run.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    run.start("faketime", {"-m", "-f", QStringLiteral("+0 x%1").arg(Speed), exe, "-dup", "-exit"});
    ASSERT_TRUE(run.waitForStarted(5000));
    if (!run.waitForFinished(180000)) {
        run.kill();
        run.waitForFinished(5000);
        FAIL() << "the run did not end: a window or a question waits for nobody (the server was asked "
               << server.Requests().size() << " times)";
    }
    const qint64 programSeconds = clock.elapsed() * Speed / 1000;
    const QByteArray err = run.readAllStandardError();
    EXPECT_EQ(run.exitCode(), 0) << err.constData();
    EXPECT_TRUE(err.isEmpty()) << err.constData();
    EXPECT_TRUE(server.Requests().isEmpty()) << "checked for an update during the batch run";
    QFile log(dir.filePath("Vaskimo.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.contains("Found 4 files!")) << text.constData();
    EXPECT_TRUE(text.endsWith("All done exiting!\r\n")) << text.constData();
    EXPECT_GT(programSeconds, 2 * FirstTick) << "the run was too short to meet the first update tick";
}
