// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the one-instance lock between processes: held, refused, and freed by a killed holder.
#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

namespace {
// Started as a child: take the lock, say so, and wait to be killed.
int HoldLock()
{
    TSingleInstance lock(QStringLiteral("Vaskimo"), qEnvironmentVariable("VASKIMO_TEST_HOLD_LOCK"));
    std::printf(lock.AlreadyRunning() ? "busy\n" : "held\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}
} // namespace

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstDies)
{
    if (qEnvironmentVariableIsSet("VASKIMO_TEST_HOLD_LOCK"))
        std::exit(HoldLock());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VASKIMO_TEST_HOLD_LOCK", dir.path());
    holder.setProcessEnvironment(env);
    holder.start(QCoreApplication::applicationFilePath(),
                 {"--gtest_filter=SingleInstance.SecondHolderIsRefusedUntilTheFirstDies"});
    ASSERT_TRUE(holder.waitForStarted(5000));
    // gtest speaks first; the holder's own word is "held" or "busy".
    QByteArray word;
    while (word != "held" && word != "busy") {
        while (!holder.canReadLine())
            ASSERT_TRUE(holder.waitForReadyRead(10000));
        word = holder.readLine().trimmed();
    }
    ASSERT_EQ(word, "held");

    {
        TSingleInstance second(QStringLiteral("Vaskimo"), dir.path());
        EXPECT_TRUE(second.AlreadyRunning());
        EXPECT_TRUE(second.Error().isEmpty());
    }
    // Killed without any chance to clean up: the lock file stays, the lock does not.
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(dir.filePath("Vaskimo.lock")));
    TSingleInstance third(QStringLiteral("Vaskimo"), dir.path());
    EXPECT_FALSE(third.AlreadyRunning());
    TSingleInstance fourth(QStringLiteral("Vaskimo"), dir.path());
    EXPECT_TRUE(fourth.AlreadyRunning()) << "a second lock in the same process is refused as well";
}

TEST(SingleInstance, FolderThatIsNotOursDoesNotBlockTheStart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("link");
    ASSERT_TRUE(QFile::link(dir.path(), link));
    TSingleInstance lock(QStringLiteral("Vaskimo"), link);
    EXPECT_FALSE(lock.AlreadyRunning());
    EXPECT_FALSE(lock.Error().isEmpty()) << "a symlinked lock folder is refused";
}
