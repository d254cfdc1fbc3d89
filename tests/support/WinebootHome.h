// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a case on a wineboot prefix whose profile links lead into a home of the case's own, with git and trash-cli as judges.
//
// Usage:
//   class MyTest : public TestSupport::TWinebootHomeTest {};
//   TEST_F(MyTest, X) { MakeRepository(Desktop + "/repo"); ... program.Run({...}, Env); EXPECT_EQ(GitStatus(...), ""); }
#pragma once

#include "support/Needs.h"
#include "support/RunProcess.h"
#include "support/TrashCli.h"
#include "support/WineTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace TestSupport {

inline QStringList SortedList(const QSet<QString> &set)
{
    QStringList list = set.values();
    list.sort();
    return list;
}

// What find lists below the folders with the tests given (links not followed).
inline QSet<QString> FindBelow(const QStringList &folders, const QStringList &tests)
{
    QProcess find;
    find.start(QStringLiteral("find"), QStringList{QStringLiteral("-P")} + folders + tests);
    find.waitForFinished(60000);
    QSet<QString> paths;
    for (const QByteArray &line : find.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            paths.insert(QFile::decodeName(line));
    return paths;
}

// Every file below the folders.
inline QSet<QString> FilesBelow(const QStringList &folders)
{
    return FindBelow(folders, {QStringLiteral("-type"), QStringLiteral("f")});
}

class TWinebootHomeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VASKIMO_NEED_WINE();
        QString why;
        ASSERT_TRUE(Dir.isValid());
        const QString home = Dir.filePath(QStringLiteral("home"));
        Prefix = Dir.filePath(QStringLiteral("prefix"));
        ASSERT_TRUE(QDir().mkpath(home));
        ASSERT_TRUE(TWinebootPrefix::Shared().CopyWithHome(Prefix, home, &why)) << why.toStdString();
        Home = QFileInfo(home).canonicalFilePath();
        Env = WineEnvironment(Prefix, Home);
        QStringList users = QDir(Prefix + QStringLiteral("/drive_c/users")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        users.removeAll(QStringLiteral("Public"));
        ASSERT_EQ(users.size(), 1) << users.join(u',').toStdString();
        User = users.first();
        // As wineboot links it for a home without a Desktop folder: the profile's Desktop is the home.
        const QString desktop = Prefix + QStringLiteral("/drive_c/users/") + User + QStringLiteral("/Desktop");
        ASSERT_TRUE(QFileInfo(desktop).isSymLink());
        Desktop = QFileInfo(desktop).symLinkTarget();
        ASSERT_TRUE(QDir().mkpath(Desktop));
        Desktop = QFileInfo(Desktop).canonicalFilePath();
    }
    void TearDown() override
    {
        if (!Prefix.isEmpty())
            RemoveServerFolder(Prefix);
    }

    static void Write(const QString &path, const QByteArray &bytes = "data\n")
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()) << path.toStdString();
    }
    void Git(const QString &repo, const QStringList &args, QByteArray *out = nullptr)
    {
        QByteArray ignored;
        QByteArray &text = out ? *out : ignored;
        ASSERT_TRUE(RunToEnd(QStringLiteral("git"),
                             QStringList{"-c", "user.name=Test", "-c", "user.email=test@example.com", "-C", repo} + args, Env, 30000,
                             &text))
            << repo.toStdString() << ": git " << args.join(u' ').toStdString() << ": " << text.toStdString();
    }
    QByteArray GitStatus(const QString &repo)
    {
        QByteArray out;
        Git(repo, {QStringLiteral("status"), QStringLiteral("--porcelain")}, &out);
        return out;
    }
    // A repository with README committed.
    void MakeRepository(const QString &repo)
    {
        Write(repo + QStringLiteral("/README"), "kept\n");
        Git(repo, {QStringLiteral("init"), QStringLiteral("-q")});
        Git(repo, {QStringLiteral("add"), QStringLiteral("README")});
        Git(repo, {QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("first")});
    }

    // What the trashes hold of this case's own folders.
    QSet<QString> TrashList()
    {
        return TestSupport::TrashList(Env, {Dir.path(), QFileInfo(Dir.path()).canonicalFilePath()});
    }
    void TrashRestore(const QString &path) { ASSERT_TRUE(TestSupport::TrashRestore(path, Env)) << path.toStdString(); }

    // An unattended run of program with options as its Options.ini: it ends with exitCode, its log
    // holds logLine, it prints exactly printed, and the options it was given are still stored as
    // they were written (a run never rewrites a choice it did not change).
    void ExpectRun(TProgramCopy &program, const QStringList &args, const QByteArray &options, int exitCode,
                   const QByteArray &logLine, const QByteArray &printed)
    {
        program.WriteOptions(options);
        QByteArray out;
        program.Run(args, Env, &out, 120000);
        EXPECT_EQ(program.ExitCode(), exitCode) << out.toStdString();
        const QByteArray log = program.Log();
        EXPECT_TRUE(log.contains(logLine + "\r\n")) << log.constData();
        EXPECT_EQ(QString::fromUtf8(out), QString::fromUtf8(printed));
        const QByteArray stored = ReadFileBytes(program.FilePath(QStringLiteral("Options.ini")));
        EXPECT_TRUE(stored.contains(options)) << stored.constData();
    }

    QTemporaryDir Dir;
    QString Home, Prefix, User, Desktop;  // Desktop: the host folder the profile's Desktop leads to
    QProcessEnvironment Env;               // Wine's, with HOME and the XDG folders in Home
};

}  // namespace TestSupport
