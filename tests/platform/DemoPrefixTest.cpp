// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the demo prefix under examples/ stays what its README promises: Wine hives, drives, stale data.
#include "platform/DriveMap.h"
#include "platform/HiveFile.h"
#include "platform/LnkReader.h"
#include "platform/WinFiles.h"

#include <QCryptographicHash>
#include <QFile>

#include <gtest/gtest.h>

#include "FileFixtures.h"

namespace {

const QString Demo = QStringLiteral(VASKIMO_FIXTURES "/../../examples/demo-prefix");

QByteArray Content(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(DemoPrefix, HivesLoadAndSaveUnchanged)
{
    const struct { const char *file, *relativeTo; } hives[] = {
        {"system.reg", "\\Machine"},
        {"user.reg", "\\User\\S-1-5-21-0-0-0-1000"},
        {"userdef.reg", "\\User\\.Default"},
    };
    for (const auto &h : hives) {
        SCOPED_TRACE(h.file);
        THiveFile hive(Demo + u'/' + h.file, h.relativeTo);
        QString error;
        ASSERT_TRUE(hive.Load(&error)) << error.toStdString();
        EXPECT_EQ(hive.HeaderRelativeTo(), h.relativeTo);
        EXPECT_EQ(hive.SaveText(), Content(Demo + u'/' + h.file));
    }
}

// The shell folders and TEMP must exist, or the registry cleaner would report them as stale too.
TEST(DemoPrefix, ProfileFoldersExist)
{
    const TDriveMap drives = TDriveMap::FromFolder(Demo + "/dosdevices", Demo);
    THiveFile user(Demo + "/user.reg", "\\User\\S-1-5-21-0-0-0-1000");
    ASSERT_TRUE(user.Load());
    const char *const keys[][6] = {
        {"Software", "Microsoft", "Windows", "CurrentVersion", "Explorer", "Shell Folders"},
        {"Software", "Microsoft", "Windows", "CurrentVersion", "Explorer", "User Shell Folders"},
        {"Environment"},
    };
    int checked = 0;
    for (const auto &path : keys) {
        THiveKey *key = user.Root();
        for (const char *name : path)
            if (name && key)
                key = THiveFile::Child(key, QString::fromLatin1(name));
        ASSERT_NE(key, nullptr);
        for (const THiveValue &v : key->Values) {
            const QString folder = user.ValueString(v);
            SCOPED_TRACE(folder.toStdString());
            EXPECT_TRUE(WinFiles::DirectoryExists(folder, drives));
            ++checked;
        }
    }
    EXPECT_EQ(checked, 18);
}

TEST(DemoPrefix, DrivesAndWhatTheToolsFind)
{
    const TDriveMap drives = TDriveMap::FromFolder(Demo + "/dosdevices", Demo, {{'C', "hd"}});
    EXPECT_EQ(drives.DriveType('C'), TDriveType::Fixed);
    EXPECT_EQ(drives.DriveType('Z'), TDriveType::Remote);

    const struct { const char *path; bool exists; } files[] = {
        {"C:\\DemoApp\\gone.exe", false},
        {"C:\\DemoApp\\uninstall.exe", false},
        {"C:\\OldTool\\plugin.dll", false},
        {"C:\\users\\demo\\Documents\\old-report.doc", false},
        {"C:\\Tools\\viewer.exe", true},
        {"C:\\users\\demo\\Documents\\notes.txt", true},
        {"C:\\users\\demo\\Documents\\manual.txt", true},
        {"C:\\windows\\system32\\kernel32.dll", true},
    };
    for (const auto &f : files) {
        SCOPED_TRACE(f.path);
        EXPECT_EQ(WinFiles::FileExists(f.path, drives), f.exists);
    }
    EXPECT_EQ(WinFiles::FindFiles("C:\\users\\demo\\Temp", "*.tmp", drives).size(), 2);
    EXPECT_EQ(WinFiles::FindFiles("C:\\Tools", "*.bak", drives).size(), 1);

    const QByteArray manual = Content(Demo + "/drive_c/users/demo/Documents/manual.txt");
    EXPECT_GT(manual.size(), 1024);
    EXPECT_EQ(Content(Demo + "/drive_c/Tools/manual-copy.txt"), manual);

    TShellLink link;
    ASSERT_TRUE(LnkReader::ReadFile(Demo + "/drive_c/users/demo/Desktop/DemoApp.lnk", &link));
    EXPECT_EQ(link.TargetPath(), "C:\\DemoApp\\gone.exe");
    EXPECT_EQ(link.WorkingDir, "C:\\DemoApp");
    ASSERT_TRUE(LnkReader::ReadFile(Demo + "/drive_c/users/demo/AppData/Roaming/Microsoft/Windows/Recent/notes.txt.lnk",
                                    &link));
    EXPECT_TRUE(WinFiles::FileExists(link.TargetPath(), drives));
}

}  // namespace
