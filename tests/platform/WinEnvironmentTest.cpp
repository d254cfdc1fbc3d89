// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of %VAR% expansion and the Windows, temporary and shell folders of a prefix.
#include "support/PrefixBuilder.h"
#include "platform/WinEnvironment.h"
#include "platform/WinePrefix.h"

#include <gtest/gtest.h>

using namespace TestSupport;

namespace {
const QString ShellFolders = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
const QString UserShellFolders =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");
}

TEST(WinEnvironmentTest, ExpandsFromThePrefixAlone)
{
    TPrefixBuilder b;
    b.AddProfile();
    b.AddString(THive::User, QStringLiteral("Environment"), QStringLiteral("MyTool"), QStringLiteral("%ProgramFiles%\\Tool"));
    b.AddExpandString(THive::User, QStringLiteral("Environment"), QStringLiteral("ToolHome"),
                      QStringLiteral("%ProgramFiles%\\Tool"));
    auto prefix = b.MakeCurrent();
    qputenv("VASKIMO_HOST_ONLY", "host");
    qputenv("TEMP", "/host/tmp");
    const QString profile = QStringLiteral("C:\\users\\") + b.UserName();
    const TWinEnvironment env;
    const struct {
        const char *name;
        QString text, expected;
    } cases[] = {
        {"SystemRoot", QStringLiteral("%SystemRoot%\\system32"), QStringLiteral("C:\\windows\\system32")},
        {"windir any case", QStringLiteral("%WINDIR%"), QStringLiteral("C:\\windows")},
        {"profile", QStringLiteral("%USERPROFILE%\\x"), profile + QStringLiteral("\\x")},
        {"appdata", QStringLiteral("%APPDATA%"), profile + QStringLiteral("\\AppData\\Roaming")},
        {"local appdata", QStringLiteral("%LocalAppData%"), profile + QStringLiteral("\\AppData\\Local")},
        {"program files", QStringLiteral("%ProgramFiles%"), QStringLiteral("C:\\Program Files")},
        {"user TEMP over system TEMP", QStringLiteral("%TEMP%"), profile + QStringLiteral("\\AppData\\Local\\Temp")},
        {"system value", QStringLiteral("%ComSpec%"), QStringLiteral("C:\\windows\\system32\\cmd.exe")},
        {"plain string kept unexpanded", QStringLiteral("%MyTool%"), QStringLiteral("%ProgramFiles%\\Tool")},
        {"expandable string expanded", QStringLiteral("%ToolHome%"), QStringLiteral("C:\\Program Files\\Tool")},
        {"host variable unknown", QStringLiteral("%VASKIMO_HOST_ONLY%"), QStringLiteral("%VASKIMO_HOST_ONLY%")},
        {"unknown stays", QStringLiteral("a%NOPE%b"), QStringLiteral("a%NOPE%b")},
        {"lone percent", QStringLiteral("100% sure"), QStringLiteral("100% sure")},
        {"two in a row", QStringLiteral("%SystemDrive%%HOMEPATH%"), profile},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(env.Expand(c.text).toStdString(), c.expected.toStdString());
    }
    EXPECT_EQ(env.WindowsFolder(), QStringLiteral("C:\\windows"));
    EXPECT_EQ(env.SystemFolder(), QStringLiteral("C:\\windows\\system32"));
    EXPECT_EQ(env.TempFolder(), profile + QStringLiteral("\\AppData\\Local\\Temp\\"));
    EXPECT_EQ(WinEnvironment::TempFolder(), env.TempFolder());
    qunsetenv("VASKIMO_HOST_ONLY");
    qunsetenv("TEMP");
}

TEST(WinEnvironmentTest, SpecialFoldersPreferUserShellFolders)
{
    TPrefixBuilder b;
    b.AddExpandString(THive::User, UserShellFolders, QStringLiteral("Cookies"), QStringLiteral("%APPDATA%\\Cookies2"));
    b.AddString(THive::User, ShellFolders, QStringLiteral("Cookies"), QStringLiteral("C:\\stale"));
    b.AddString(THive::User, ShellFolders, QStringLiteral("History"), QStringLiteral("C:\\only\\shown\\"));
    b.AddString(THive::System, ShellFolders, QStringLiteral("Common Startup"), QStringLiteral("C:\\ProgramData\\Startup"));
    b.MakeCurrent();
    const QString profile = QStringLiteral("C:\\users\\") + b.UserName();
    const TWinEnvironment env;
    const struct {
        const char *name;
        QString expected;
    } cases[] = {
        {"Cookies", profile + QStringLiteral("\\AppData\\Roaming\\Cookies2")},
        {"History", QStringLiteral("C:\\only\\shown")},
        {"Common Startup", QStringLiteral("C:\\ProgramData\\Startup")},
        {"Cache", profile + QStringLiteral("\\AppData\\Local\\Microsoft\\Windows\\INetCache")},
        {"Recent", profile + QStringLiteral("\\AppData\\Roaming\\Microsoft\\Windows\\Recent")},
        {"Personal", profile + QStringLiteral("\\Documents")},
        {"No Such Folder", QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(env.SpecialFolder(QString::fromLatin1(c.name)).toStdString(), c.expected.toStdString());
    }
}

TEST(WinEnvironmentTest, EmptyPrefixStillHasWinesDefaults)
{
    QTemporaryDir dir;
    auto prefix = std::make_shared<TWinePrefix>(dir.path() + QStringLiteral("/none"));
    const TWinEnvironment env(prefix);
    EXPECT_EQ(env.Expand(QStringLiteral("%SystemRoot%")), QStringLiteral("C:\\windows"));
    EXPECT_EQ(env.TempFolder(), QStringLiteral("C:\\users\\") + prefix->UserName() + QStringLiteral("\\AppData\\Local\\Temp\\"));
}
