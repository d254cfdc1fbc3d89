// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the program's name and version, and where its own and its shipped files are.
#include "platform/ProgramInfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(ProgramInfo, NameIsTheLockAndProductName)
{
    EXPECT_EQ(ProgramInfo::Name(), QStringLiteral("Vaskimo"));
    EXPECT_FALSE(ProgramInfo::Version().isEmpty());
}

namespace {
void Touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}
mode_t Mode(const QString &path)
{
    struct stat st {};
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}
} // namespace

TEST(ProgramInfo, FoldersBesideTheProgram)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString t = tmp.path();
    Touch(t + "/build/BlackLst.vkb");
    Touch(t + "/build/vaskimo");
    QDir().mkpath(t + "/unpacked/Languages");
    QDir().mkpath(t + "/usr/bin");
    QDir().mkpath(t + "/usr/share/vaskimo");
    QDir().mkpath(t + "/bare/bin");
    const struct {
        const char *name;
        QString exe, configHome, own, shipped;
        bool perUser;
    } cases[] = {
        {"build folder", t + "/build", t + "/cfg", t + "/build/", t + "/build/", false},
        {"unpacked copy with its languages", t + "/unpacked/", "", t + "/unpacked/", t + "/unpacked/", false},
        {"installed", t + "/usr/bin", t + "/cfg", t + "/cfg/vaskimo/", t + "/usr/share/vaskimo/", true},
        {"installed, XDG_CONFIG_HOME unset", t + "/usr/bin", "", t + "/home/.config/vaskimo/", t + "/usr/share/vaskimo/", true},
        {"a relative XDG_CONFIG_HOME is ignored", t + "/usr/bin", "cfg", t + "/home/.config/vaskimo/",
         t + "/usr/share/vaskimo/", true},
        {"nothing shipped anywhere", t + "/bare/bin", t + "/cfg", t + "/cfg/vaskimo/", t + "/bare/bin/", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TProgramFolders f = ProgramInfo::DecideFolders(c.exe, c.configHome, t + "/home");
        EXPECT_EQ(f.Own, c.own);
        EXPECT_EQ(f.Shipped, c.shipped);
        EXPECT_EQ(f.PerUser, c.perUser);
    }
    EXPECT_FALSE(QFileInfo::exists(t + "/cfg")) << "deciding makes nothing";
}

TEST(ProgramInfo, PerUserFolderIsMadePrivate)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString home = tmp.filePath("home");
    QDir().mkpath(home);
    const TProgramFolders folders = ProgramInfo::DecideFolders(tmp.filePath("usr/bin"), {}, home);
    QString error;
    ASSERT_TRUE(ProgramInfo::MakeOwnFolder(folders, &error)) << error.toStdString();
    EXPECT_EQ(Mode(home + "/.config"), 0700u);
    EXPECT_EQ(Mode(home + "/.config/vaskimo"), 0700u);

    // A folder the user made keeps its mode.
    chmod(QFile::encodeName(home + "/.config/vaskimo").constData(), 0750);
    EXPECT_TRUE(ProgramInfo::MakeOwnFolder(folders, &error));
    EXPECT_EQ(Mode(home + "/.config/vaskimo"), 0750u);

    // A file where the folder should be.
    const QString blocked = tmp.filePath("blocked");
    Touch(blocked + "/.config");
    const TProgramFolders cannot = ProgramInfo::DecideFolders(tmp.filePath("usr/bin"), {}, blocked);
    EXPECT_FALSE(ProgramInfo::MakeOwnFolder(cannot, &error));
    EXPECT_TRUE(error.contains(blocked + "/.config")) << error.toStdString();
}

TEST(ProgramInfo, ShippedFilesAreReadUnlessTheOwnFolderHasTheirs)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString own = tmp.filePath("own") + '/', shipped = tmp.filePath("shipped") + '/',
                  other = tmp.filePath("other") + '/';
    QDir().mkpath(own);
    QDir().mkpath(other);
    Touch(shipped + "BlackLst.vkb");
    Touch(shipped + "Helps/VKEnglish.chm");
    ProgramInfo::SetFolders({own, shipped, true});
    EXPECT_EQ(ProgramInfo::ShippedFile(own, "BlackLst.vkb"), shipped + "BlackLst.vkb");
    EXPECT_EQ(ProgramInfo::ShippedFile(tmp.filePath("own"), "Helps"), shipped + "Helps");
    // Nothing shipped under that name: the own folder's place, where a user would put it.
    EXPECT_EQ(ProgramInfo::ShippedFile(own, "Languages"), own + "Languages");
    // A folder some code was handed that is not the program's own never reads the shipped files.
    EXPECT_EQ(ProgramInfo::ShippedFile(other, "BlackLst.vkb"), other + "BlackLst.vkb");
    // A downloaded blacklist lands in the own folder and wins.
    Touch(own + "BlackLst.vkb");
    EXPECT_EQ(ProgramInfo::ShippedFile(own, "BlackLst.vkb"), own + "BlackLst.vkb");
    ProgramInfo::SetFolders({});
}
