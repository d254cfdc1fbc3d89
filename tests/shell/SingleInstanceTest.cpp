// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the one-instance lock between processes: held, refused, and freed by a killed holder.
#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// A lock in a folder that someone else could reach is no lock: the program must not run on it.
TEST(SingleInstance, OnlyTheUsersOwnPrivateFolderHoldsTheLock)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("link"), wide = dir.filePath("wide"), others = dir.filePath("others");
    ASSERT_TRUE(QDir().mkdir(wide) && QDir().mkdir(others) && QFile::link(wide, link));
    ASSERT_EQ(chmod(QFile::encodeName(wide).constData(), 0777), 0);
    const passwd *nobody = getpwnam("nobody");
    const bool root = getuid() == 0 && nobody;
    if (root) {
        ASSERT_EQ(chown(QFile::encodeName(others).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    const QString fallback = QStringLiteral("/tmp/vaskimo-%1").arg(getuid());
    const struct {
        const char *name;
        QString runtime;       // XDG_RUNTIME_DIR
        QString folder;        // where the lock goes
    } folders[] = {
        {"unset", "", fallback},
        {"shared /tmp", "/tmp", fallback},
        {"a symbolic link", link, fallback},
        {"open to others", wide, fallback},
        {"our own", dir.path(), dir.path()},
    };
    for (const auto &f : folders) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(TSingleInstance::FolderFor(f.runtime), f.folder);
    }

    const struct {
        const char *name;
        QString folder;
        bool locked;
    } locks[] = {
        {"a symbolic link", link, false},
        {"another user's", others, !root},
        {"our own, open to others: made private", wide, true},
    };
    for (const auto &l : locks) {
        SCOPED_TRACE(l.name);
        TSingleInstance lock(QStringLiteral("Vaskimo"), l.folder);
        EXPECT_FALSE(lock.AlreadyRunning());
        EXPECT_EQ(lock.Error().isEmpty(), l.locked) << qPrintable(lock.Error());
    }
    EXPECT_EQ(QFileInfo(wide).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther), 0);
}
