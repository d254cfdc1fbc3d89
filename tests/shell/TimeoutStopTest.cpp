// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: GNU timeout itself stopping "-dup" runs at many moments: every log saved with its stop line, no chunk file left.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/DemoPrefix.h"
#include "support/ProgramCopy.h"

#include <memory>
#include <vector>

namespace {

// A program copy on the demo prefix with two equal 64 GiB sparse files on C:, whose comparison
// lasts far longer than any time-out here.
struct TSlowRun {
    QTemporaryDir Dir;
    QString Exe;
    QProcess Timeout;
    double Seconds = 0;

    bool Prepare()
    {
        Exe = TestSupport::CopyProgram(Dir.path(), VASKIMO_EXE);
        const QString prefix = Dir.filePath("prefix");
        if (Exe.isEmpty() || TestSupport::CopyDemoPrefix(prefix) != 0 || !TestSupport::AddEqualSparseFiles(prefix, "64G"))
            return false;
        QProcessEnvironment env;
        env.insert("PATH", qEnvironmentVariable("PATH"));
        env.insert("HOME", Dir.path());
        env.insert("XDG_RUNTIME_DIR", Dir.filePath("run"));
        env.insert("WINEPREFIX", prefix);
        Timeout.setProcessEnvironment(env);
        return true;
    }
    void Start(double seconds)
    {
        Seconds = seconds;
        Timeout.start("timeout", {QString::number(seconds, 'f', 2), Exe, "-dup", "-exit"});
    }
    QByteArray Log() const
    {
        QFile log(Dir.filePath("Vaskimo.log"));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }
    QStringList Temporaries() const { return QDir(Dir.path()).entryList({"Duplicat.tmp*"}, QDir::Files); }
};

} // namespace

// timeout sends SIGTERM to the program and then to its whole process group: two signals at once.
TEST(TimeoutStop, EveryRunStoppedByTimeoutKeepsItsLogAndLeavesNoChunks)
{
    ASSERT_FALSE(QStandardPaths::findExecutable("timeout").isEmpty()) << "GNU coreutils' timeout is missing";
    constexpr int Runs = 20, AtOnce = 5;
    int stoppedMidRun = 0;
    for (int first = 0; first < Runs; first += AtOnce) {
        std::vector<std::unique_ptr<TSlowRun>> runs;
        for (int i = first; i < first + AtOnce; ++i) {
            runs.push_back(std::make_unique<TSlowRun>());
            ASSERT_TRUE(runs.back()->Prepare());
            // From about when the search begins to well into it, so the signals meet every stage.
            runs.back()->Start(2.5 + 0.2 * i);
        }
        for (const auto &run : runs) {
            SCOPED_TRACE(QStringLiteral("timeout %1 s").arg(run->Seconds).toStdString());
            ASSERT_TRUE(run->Timeout.waitForFinished(120000)) << "the stopped run did not end";
            const QByteArray err = run->Timeout.readAllStandardError();
            EXPECT_EQ(run->Timeout.exitCode(), 124) << err.constData();
            EXPECT_TRUE(run->Temporaries().isEmpty()) << qPrintable(run->Temporaries().join(' '));
            // On a loaded machine the time may run out while the program still starts: it says so.
            if (err == "Vaskimo: stopped by SIGTERM before the run began; nothing ran\n")
                continue;
            ++stoppedMidRun;
            EXPECT_EQ(err.toStdString(), "Vaskimo: -dup: stopped by SIGTERM\n");
            const QByteArray log = run->Log();
            EXPECT_TRUE(log.contains(": stopped by SIGTERM\r\n")) << log.constData();
            EXPECT_TRUE(log.endsWith("\r\nAborted by user!\r\n")) << log.constData();
        }
    }
    EXPECT_GE(stoppedMidRun, Runs * 3 / 4) << "too few runs were stopped in their search to tell anything";
}
