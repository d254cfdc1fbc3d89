// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "-unn" and "-delunn" run by the built program on a wineboot prefix whose profile links lead into a real home.
//
// The home holds what a user keeps there: a git repository, keys in .ssh and .gnupg, settings in
// .config, a cache; files in all of them match the masks. git, trash-list and trash-restore judge.
#include "support/BindMount.h"
#include "support/SmallDisk.h"
#include "support/WinebootHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using namespace TestSupport;

class UnnecessaryOnAWinebootPrefix : public TWinebootHomeTest
{
};

TEST_F(UnnecessaryOnAWinebootPrefix, DelunnNeverWalksHiddenFoldersNorLinksOutOfTheChosenFolder)
{
    VASKIMO_NEED_TRASH_CLI();
    // The home behind the profile's Desktop.
    MakeRepository(Desktop + "/repo");
    for (const char *name : {".ssh/id_ed25519", ".ssh/id_ed25519.pub", ".gnupg/private-keys-v1.d/0123ABCD.key",
                             ".config/app/settings.bak", ".cache/thumbnails/c.tmp", "notes.bak", ".notes.bak",
                             "Music/song.tmp"})
        Write(Desktop + '/' + name);
    // In C: a repository with a temporary file inside its .git, a folder Wine hides, a link out.
    const QString src = Prefix + "/drive_c/src";
    MakeRepository(src + "/proj");
    for (const char *name : {"proj/.git/objects/pack.tmp", "proj/.cache/c.tmp", "proj/old.bak", ".hidden.tmp",
                             "Hidden Stuff/h.tmp"})
        Write(src + '/' + name);
    Write(Dir.filePath("elsewhere/e.tmp"));
    ASSERT_TRUE(QFile::link(Dir.filePath("elsewhere"), src + "/outside"));
    QByteArray out;
    ASSERT_TRUE(WinePrograms(Prefix, {{"attrib", "+h", "C:\\src\\Hidden Stuff"}}, &out)) << out.toStdString();

    const QString desktopFolder = "C:\\users\\" + User + "\\Desktop";
    const struct {
        const char *name;
        bool customDesktop;  // else the drive C: with the Normal masks
        bool skipHiddenFiles;
        bool recycle;
        QStringList removed;  // below the home or below C:\src
    } cases[] = {
        {"Desktop, hidden files skipped, to the trash", true, true, true,
         {Desktop + "/repo/README", Desktop + "/notes.bak", Desktop + "/Music/song.tmp"}},
        {"Desktop, hidden files taken, for good", true, false, false,
         {Desktop + "/repo/README", Desktop + "/notes.bak", Desktop + "/Music/song.tmp", Desktop + "/.notes.bak"}},
        {"C:, hidden files taken, to the trash", false, false, true, {src + "/proj/old.bak", src + "/.hidden.tmp"}},
        {"C:, hidden files skipped, for good", false, true, false, {src + "/proj/old.bak"}},
    };
    // Each case on the same files: what a run took is copied back before the next.
    const QString copies = Dir.filePath("copies");
    ASSERT_TRUE(QDir().mkpath(copies));
    ASSERT_TRUE(RunToEnd("cp", {"-a", Desktop, src, copies}, Env, 60000, &out)) << out.toStdString();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList walked = {Desktop, src};
        const QSet<QString> before = FilesBelow(walked);

        TProgramCopy program(VASKIMO_EXE);
        QByteArray options = "[Unnecessary files]\r\nNormal=" + QByteArray(c.customDesktop ? "0" : "1")
                           + "\r\nExtra=0\r\nSelected disk C=" + QByteArray(c.customDesktop ? "0" : "1")
                           + "\r\nSelected disk Z=0\r\nSearch custom directories=" + QByteArray(c.customDesktop ? "1" : "0")
                           + "\r\nCustom directories=\"" + desktopFolder.toUtf8() + "\"\r\nHidden files="
                           + QByteArray(c.skipHiddenFiles ? "1" : "0") + "\r\nDeleting method=" + QByteArray(c.recycle ? "1" : "0")
                           + "\r\nConfirm unnecessary changes=0\r\nRecurse subdirectories=1\r\n";
        program.WriteOptions(options);
        EXPECT_TRUE(program.Run({"-delunn", "-exit"}, Env, &out, 120000)) << program.ExitCode() << ": " << out.toStdString();
        const QByteArray log = program.Log();
        EXPECT_TRUE(log.contains("Found " + QByteArray::number(c.removed.size()) + " unnecessary files! Deleting...")) << log.constData();
        EXPECT_FALSE(log.contains("failed")) << log.constData();

        const QSet<QString> removed = before - FilesBelow(walked);
        EXPECT_EQ(SortedList(removed), SortedList(QSet<QString>(c.removed.begin(), c.removed.end())));
        EXPECT_EQ(SortedList(TrashList()), c.recycle ? SortedList(removed) : QStringList());
        if (c.customDesktop) {
            EXPECT_EQ(GitStatus(Desktop + "/repo"), " D README\n");
            if (c.recycle) {
                TrashRestore(Desktop + "/repo/README");
                EXPECT_EQ(GitStatus(Desktop + "/repo"), "");
            }
        } else {
            EXPECT_EQ(GitStatus(src + "/proj"), "?? .cache/\n");
        }

        // Back to the files of the start, with an empty trash.
        ASSERT_TRUE(RunToEnd("rm", {"-rf", Desktop + "/.local/share/Trash"}, Env, 30000, &out));
        for (const QString &path : c.removed) {
            const QString from = path.startsWith(Desktop) ? copies + "/" + QFileInfo(Desktop).fileName() + path.mid(Desktop.size())
                                                          : copies + "/src" + path.mid(src.size());
            QFile::remove(path);
            ASSERT_TRUE(QFile::copy(from, path)) << from.toStdString();
        }
    }
}

// What the user stored is what an unattended run searches: Z: too (never preselected, here a
// folder that holds the prefix, as a home does), and a run with nothing to search says so.
TEST_F(UnnecessaryOnAWinebootPrefix, UnnSearchesTheStoredDrivesAndSaysWhenThereIsNothingToSearch)
{
    Write(Dir.filePath("srv/data/x.tmp"));
    Write(Desktop + "/.cache/y.tmp");
    const QString z = Prefix + "/dosdevices/z:";
    ASSERT_TRUE(QFile::remove(z));
    ASSERT_TRUE(QFile::link(Dir.path(), z));
    const struct {
        const char *name;
        QByteArray drives;
        int exitCode;
        QByteArray logLine;
        QByteArray stderrText;
    } cases[] = {
        {"Z: stored", "Selected disk C=0\r\nSelected disk Z=1\r\n", 0, "Found 1 unnecessary files!", ""},
        {"nothing chosen", "Selected disk C=0\r\nSelected disk Z=0\r\n", 1,
         "Nothing was searched: no drive or folder is chosen",
         "Vaskimo: -unn: Nothing was searched: no drive or folder is chosen\n"},
        {"only a drive that is gone", "Selected disk D=1\r\n", 1, "The drive D: chosen to search does not exist",
         "Vaskimo: -unn: The drive D: chosen to search does not exist\n"
         "Vaskimo: -unn: Nothing was searched: no drive or folder is chosen\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TProgramCopy program(VASKIMO_EXE);
        ExpectRun(program, {"-unn", "-exit"}, "[Unnecessary files]\r\nNormal=1\r\n" + c.drives, c.exitCode, c.logLine,
                  c.stderrText);
        EXPECT_EQ(c.exitCode == 0, program.Log().contains("Found ")) << program.Log().constData();
    }
}

// A file that stays is named with the system's reason: here a full disk under its trash.
TEST_F(UnnecessaryOnAWinebootPrefix, DelunnNamesEachFileItKeptWithTheSystemsReason)
{
    TSmallDisk disk("1m");
    VASKIMO_NEED_DISK(disk);
    const QString folder = QFileInfo(disk.Path()).canonicalFilePath();
    Write(folder + "/old.bak");
    ASSERT_TRUE(disk.Fill());
    const QString windowsFolder = "Z:" + QString(folder).replace('/', '\\');
    const QByteArray kept = (windowsFolder + "\\old.bak: cannot create a trash info file in " + folder + "/.Trash-"
                             + QString::number(::getuid()) + ": No space left on device").toUtf8();
    TProgramCopy program(VASKIMO_EXE);
    ExpectRun(program, {"-delunn", "-exit"},
              "[Unnecessary files]\r\nSelected disk C=0\r\nSearch custom directories=1\r\nCustom directories=\""
                  + windowsFolder.toUtf8() + "\"\r\nDeleting method=1\r\nConfirm unnecessary changes=0\r\n",
              1, "Vaskimo failed to delete 1 of the selected file(s)! File(s) maybe in use.\r\n" + kept,
              "Vaskimo: -delunn: " + kept + "\n");
    EXPECT_TRUE(QFileInfo::exists(folder + "/old.bak"));
}

// A bind mount of the home's own file system: its files go to the trash at the top of that mount,
// as trash-put would take them, and trash-restore puts them back.
TEST_F(UnnecessaryOnAWinebootPrefix, DelunnTrashesFromABindMountIntoThatMountsTrash)
{
    VASKIMO_NEED_TRASH_CLI();
    const QString mounted = QFileInfo(Dir.path()).canonicalFilePath() + "/media";
    TBindMount mount(Dir.filePath("data"), mounted);
    VASKIMO_NEED_MOUNT(mount);
    Write(mounted + "/old.bak", "old");
    const QString windowsFolder = "Z:" + QString(mounted).replace('/', '\\');
    TProgramCopy program(VASKIMO_EXE);
    ExpectRun(program, {"-delunn", "-exit"},
              "[Unnecessary files]\r\nSelected disk C=0\r\nSearch custom directories=1\r\nCustom directories=\""
                  + windowsFolder.toUtf8() + "\"\r\nDeleting method=1\r\nConfirm unnecessary changes=0\r\n",
              0, "Found 1 unnecessary files! Deleting...", "");
    EXPECT_FALSE(QFileInfo::exists(mounted + "/old.bak"));
    EXPECT_TRUE(TrashList().contains(mounted + "/old.bak"));
    TrashRestore(mounted + "/old.bak");
}

}  // namespace
