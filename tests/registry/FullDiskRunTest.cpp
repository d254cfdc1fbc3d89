// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "-delreg -exit" as a process with the prefix, or the program's own folder, on a real full tmpfs.
#include "support/BindMount.h"
#include "support/DemoPrefix.h"
#include "support/HiveCompare.h"
#include "support/RunProcess.h"
#include "support/SmallDisk.h"
#include "support/WineTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace {

using namespace TestSupport;

constexpr int RunTimeout = 120000;

// The hives of from on the disk, everything else of the prefix reached through links: a wineboot
// prefix is far larger than its hives, and only the hives are written.
bool HivesOnDisk(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    const QDir source(from);
    for (const QString &name : source.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        const bool hive = std::find(std::begin(HiveNames), std::end(HiveNames), name.toStdString()) != std::end(HiveNames);
        const bool ok = hive ? QFile::copy(source.filePath(name), to + u'/' + name)
                        : name == u"dosdevices"
                            ? QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), source.filePath(name), to}) == 0
                            : QFile::link(source.filePath(name), to + u'/' + name);
        if (!ok)
            return false;
    }
    return true;
}

// Standard error and the log must both name the hive and the system's reason.
void ExpectHiveReason(const QByteArray &said, const QByteArray &log, const QString &hive)
{
    const QByteArray reason = "Cannot save \"" + QFile::encodeName(hive) + "\": No space left on device";
    EXPECT_TRUE(said.contains("Vaskimo: -delreg: ") && said.contains(reason)) << said.toStdString();
    EXPECT_TRUE(log.contains(reason)) << log.toStdString();
}

}  // namespace

// The prefix's disk is full: no hive may lose a byte (they became 0 bytes), and the run says which
// hive and why, ending with 1.
TEST(FullDiskRun, APrefixOnAFullDiskKeepsEveryHiveAndSaysWhy)
{
    QString why;
    const bool wine = WineInstalled(&why);
    const struct {
        const char *Name;
        bool NeedsWine;
        QStringList StaleHives;  // the hives that hold values the run wants to delete
    } prefixes[] = {
        {"the demo prefix", false, {"system.reg", "user.reg"}},
        {"a wineboot prefix", true, {"system.reg", "user.reg"}},
    };
    for (const auto &c : prefixes) {
        SCOPED_TRACE(c.Name);
        if (c.NeedsWine)
            VASKIMO_NEED(wine, why);
        QTemporaryDir work;
        const QString source = work.filePath("prefix");
        if (c.NeedsWine) {
            const TWinebootPrefix &fresh = TWinebootPrefix::Shared();
            ASSERT_TRUE(fresh.Error().isEmpty()) << fresh.Error().toStdString();
            ASSERT_TRUE(fresh.CopyTo(source, &why)) << why.toStdString();
            QByteArray out;
            ASSERT_TRUE(Reg(source, {{"add", "HKCU\\Software\\VkFull", "/v", "Tool", "/d", "C:\\VkGone\\tool.exe", "/f"},
                                     {"add", "HKLM\\Software\\VkFull", "/v", "Library", "/d", "C:\\VkGone\\lib.dll", "/f"}},
                            &out))
                << out.toStdString();
        } else {
            ASSERT_EQ(CopyDemoPrefix(source), 0);
        }
        TSmallDisk disk(QStringLiteral("8m"));
        VASKIMO_NEED_DISK(disk);
        const QString prefix = disk.Path() + "/prefix";
        ASSERT_TRUE(HivesOnDisk(source, prefix));
        const QHash<QString, QByteArray> before = HiveTexts(prefix);
        ASSERT_TRUE(disk.Fill());

        TProgramCopy program(QStringLiteral(VASKIMO_EXE), QStringLiteral(VASKIMO_BLACKLIST));
        QByteArray said;
        program.Run({"-delreg", "-exit"}, prefix, &said, RunTimeout);
        EXPECT_EQ(program.ExitCode(), 1) << said.toStdString();
        const QHash<QString, QByteArray> after = HiveTexts(prefix);
        for (const char *hive : HiveNames)
            EXPECT_TRUE(after.value(hive) == before.value(hive)) << hive << " changed";
        for (const QString &hive : c.StaleHives)
            ExpectHiveReason(said, program.Log(), prefix + u'/' + hive);
        EXPECT_EQ(QDir(prefix).entryList({".*.vk-*"}, QDir::Files | QDir::Hidden), QStringList()) << "temporary files left";
        if (c.NeedsWine) {
            EXPECT_TRUE(WaitForWineserver(source)) << "the wineserver of the source prefix did not end";
        }
    }
}

// The program's own folder is full: settings, log and undo files cannot be written. Nothing may be
// deleted without its undo file, Options.ini and the earlier log keep every byte, and the run says why.
TEST(FullDiskRun, AFullProgramFolderDeletesNothingAndKeepsTheSettings)
{
    QTemporaryDir work;
    const QString prefix = work.filePath("prefix");
    ASSERT_EQ(CopyDemoPrefix(prefix), 0);
    const QHash<QString, QByteArray> before = HiveTexts(prefix);

    TSmallDisk disk(QStringLiteral("8m"));
    VASKIMO_NEED_DISK(disk);
    const QString folder = disk.Path() + "/vaskimo";
    ASSERT_TRUE(QDir().mkpath(folder));
    // The executable is far larger than the disk: it is mounted in its place, so that the program
    // still takes the folder for its own.
    const QString exe = folder + "/vaskimo";
    TBindMount program(QStringLiteral(VASKIMO_EXE), exe);
    VASKIMO_NEED_MOUNT(program);
    ASSERT_TRUE(QFile::copy(QStringLiteral(VASKIMO_BLACKLIST), folder + "/BlackLst.vkb"));
    // A private runtime folder of its own, so the run takes its lock there and never meets another
    // test's run in the shared /tmp/vaskimo-<uid>/.
    ASSERT_TRUE(QDir(folder).mkdir("run"));
    ASSERT_TRUE(QFile::setPermissions(folder + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const QByteArray options = "[General]\r\nWidth=640\r\nHeight=480\r\nLanguage index=0\r\n"
                               "[Registry]\r\nUndo levels=5\r\nWidth=500\r\n";
    const QByteArray earlierLog = "Vaskimo started on 1/1/2026, 1:00:00 AM\r\nvaskimo -reg\r\n";
    for (const auto &[name, bytes] : {std::pair{"Options.ini", options}, std::pair{"Vaskimo.log", earlierLog}}) {
        QFile f(folder + u'/' + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    ASSERT_TRUE(disk.Fill());

    QProcessEnvironment env = WineEnvironment(prefix);
    env.insert("XDG_RUNTIME_DIR", folder + "/run");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QByteArray said;
    const int code = RunToExit(exe, {"-delreg", "-exit"}, env, RunTimeout, &said);
    EXPECT_NE(code, 0) << said.toStdString();
    EXPECT_NE(code, -1) << "the run must end by itself: " << said.toStdString();
    const QHash<QString, QByteArray> after = HiveTexts(prefix);
    for (const char *hive : HiveNames)
        EXPECT_TRUE(after.value(hive) == before.value(hive)) << hive << " changed: a value went without its undo data";
    EXPECT_EQ(ReadFileBytes(folder + "/Options.ini"), options);
    EXPECT_EQ(ReadFileBytes(folder + "/Vaskimo.log"), earlierLog);
    EXPECT_TRUE(said.contains("Can't save " + QFile::encodeName(folder) + "/Undo/VKUndo01.reg: No space left on device"))
        << said.toStdString();
    EXPECT_TRUE(said.contains("Cannot write \"" + QFile::encodeName(folder) + "/Vaskimo.log\": No space left on device"))
        << said.toStdString();
    EXPECT_TRUE(said.contains("Cannot write " + QFile::encodeName(folder) + "/Options.ini: No space left on device"))
        << said.toStdString();
}
