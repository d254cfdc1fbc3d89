// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the checked writer on real file systems: a full tmpfs, a read-only mount, links, modes.
#include "platform/DurableFile.h"
#include "support/Needs.h"
#include "support/SmallDisk.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void Put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

mode_t ModeOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

}  // namespace

TEST(DurableFile, ReplacesKeepsModeWritesThroughLinksAndClaimsNewNames)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("system.reg");
    Put(target, "old");
    ::chmod(QFile::encodeName(target).constData(), 0640);
    QString why;
    ASSERT_TRUE(DurableFile::Write(target, "new text", &why)) << qPrintable(why);
    EXPECT_EQ(ReadAll(target), "new text");
    EXPECT_EQ(ModeOf(target), mode_t(0640));

    // A new file gets the mode asked for (less the umask).
    const QString secret = dir.filePath("Options.ini");
    ASSERT_TRUE(DurableFile::Write(secret, "[General]\r\n", &why, TDurableFile::TMode::Replace, 0600));
    EXPECT_EQ(ModeOf(secret), mode_t(0600));

    // A link stays a link; what it leads to gets the bytes.
    const QString link = dir.filePath("link.reg");
    ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(DurableFile::Write(link, "through the link", &why));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadAll(target), "through the link");

    // A name claimed by someone else is never replaced.
    EXPECT_FALSE(DurableFile::Write(target, "claim", &why, TDurableFile::TMode::CreateNew));
    EXPECT_EQ(why, "File exists");
    EXPECT_EQ(ReadAll(target), "through the link");
    ASSERT_TRUE(DurableFile::Write(dir.filePath("fresh.trashinfo"), "info", &why, TDurableFile::TMode::CreateNew));
    EXPECT_EQ(ReadAll(dir.filePath("fresh.trashinfo")), "info");
    // Claiming a name never writes through a link, even one that leads nowhere yet.
    const QString planted = dir.filePath("planted.trashinfo");
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), planted));
    EXPECT_FALSE(DurableFile::Write(planted, "info", &why, TDurableFile::TMode::CreateNew));
    EXPECT_EQ(why, "File exists");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("elsewhere")));

    // A link that leads to itself is refused with its reason, and stays.
    const QString loop = dir.filePath("loop.reg");
    ASSERT_TRUE(QFile::link(loop, loop));
    EXPECT_FALSE(DurableFile::Write(loop, "x", &why));
    EXPECT_EQ(why, "Too many levels of symbolic links");
    EXPECT_TRUE(QFileInfo(loop).isSymLink());

    EXPECT_EQ(Entries(dir.path()).size(), 6) << qPrintable(Entries(dir.path()).join(' '));
}

// A relative link is read as the system reads it: "../x" from a folder reached through a link
// means the parent of the real folder, not the folder above the link's name.
TEST(DurableFile, RelativeLinkLeadsWhereTheSystemLeads)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("real/sub")));
    ASSERT_TRUE(QFile::link("real/sub", dir.filePath("alias")));
    Put(dir.filePath("real/Options.ini"), "old");
    ASSERT_TRUE(QFile::link("../Options.ini", dir.filePath("alias/Options.ini")));
    ASSERT_EQ(ReadAll(dir.filePath("alias/Options.ini")), "old");

    QString why;
    ASSERT_TRUE(DurableFile::Write(dir.filePath("alias/Options.ini"), "new", &why)) << qPrintable(why);
    EXPECT_EQ(ReadAll(dir.filePath("real/Options.ini")), "new");
    EXPECT_TRUE(QFileInfo(dir.filePath("real/sub/Options.ini")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("Options.ini")));
    TDurableFile file(dir.filePath("alias/Options.ini"));
    EXPECT_EQ(file.TargetPath(), QFileInfo(dir.filePath("real/Options.ini")).canonicalFilePath());
}

// Root saving a user's file (a cron run over the user's prefix) leaves it the user's, also when
// the file must get an exact mode: else the user could no longer read his own settings.
TEST(DurableFile, ReplacementKeepsTheOwner)
{
    VASKIMO_NEED(::geteuid() == 0, "needs root: only root can give a file to another owner");
    QTemporaryDir dir;
    const uid_t nobody = 65534;
    for (const bool exact : {false, true}) {
        SCOPED_TRACE(exact ? "exact mode" : "kept mode");
        const QString target = dir.filePath(exact ? "Options.ini" : "user.reg");
        Put(target, "old");
        ASSERT_EQ(::chown(QFile::encodeName(target).constData(), nobody, nobody), 0);
        ::chmod(QFile::encodeName(target).constData(), 0644);
        TDurableFile file(target);
        if (exact)
            file.SetExactMode(0600);
        ASSERT_TRUE(file.Open() && file.Write("new") && file.Commit()) << qPrintable(file.ErrorString());
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
        EXPECT_EQ(st.st_uid, nobody);
        EXPECT_EQ(st.st_gid, nobody);
        EXPECT_EQ(st.st_mode & 07777, exact ? mode_t(0600) : mode_t(0644));
    }
}

// The fault this writer exists for: on a full disk the old file must stay whole, and the caller must
// hear the system's reason. Small files are the ones Qt's own buffered save gets wrong.
TEST(DurableFile, FullDiskKeepsTheOldFileAndSaysWhy)
{
    TestSupport::TSmallDisk disk(QStringLiteral("1m"));
    VASKIMO_NEED_DISK(disk);
    const QString target = disk.Path() + "/user.reg";
    const QByteArray old = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21\n";
    Put(target, old);
    ASSERT_TRUE(disk.Fill());

    for (const qsizetype size : {qsizetype(100), qsizetype(8 * 1024), qsizetype(64 * 1024), qsizetype(3 * 1024 * 1024)}) {
        QString why;
        EXPECT_FALSE(DurableFile::Write(target, QByteArray(size, 'x'), &why)) << size;
        EXPECT_EQ(why, "No space left on device") << size;
        EXPECT_EQ(ReadAll(target), old) << size;
    }
    // The streaming form fails the same way, at the write or at the commit, never silently.
    TDurableFile file(target);
    const bool done = file.Open() && file.Write(QByteArray(4096, 'y')) && file.Commit();
    EXPECT_FALSE(done);
    EXPECT_EQ(file.ErrorString(), "No space left on device");
    EXPECT_EQ(ReadAll(target), old);
    EXPECT_EQ(Entries(disk.Path()).filter(".vk-").size(), 0) << qPrintable(Entries(disk.Path()).join(' '));

    disk.Unfill();
    QString why;
    EXPECT_TRUE(DurableFile::Write(target, "room again", &why)) << qPrintable(why);
    EXPECT_EQ(ReadAll(target), "room again");
}

TEST(DurableFile, ReadOnlyFileSystemIsRefusedWithItsReason)
{
    TestSupport::TSmallDisk disk(QStringLiteral("1m"));
    VASKIMO_NEED_DISK(disk);
    const QString target = disk.Path() + "/win.ini";
    Put(target, "[windows]\r\nload=x.exe\r\n");
    ASSERT_TRUE(disk.SetReadOnly(true));
    QString why;
    EXPECT_FALSE(DurableFile::Write(target, "[windows]\r\n", &why));
    EXPECT_EQ(why, "Read-only file system");
    EXPECT_EQ(ReadAll(target), "[windows]\r\nload=x.exe\r\n");
    EXPECT_FALSE(DurableFile::Rename(target, disk.Path() + "/moved", &why));
    EXPECT_EQ(why, "Read-only file system");
    ASSERT_TRUE(disk.SetReadOnly(false));
}
