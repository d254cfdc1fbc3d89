// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "-delreg" on prefixes made by wineboot: a running wineserver, a crashed one, refused runs and the undo files, a fresh prefix.
#include "support/HiveCompare.h"
#include "support/WinePrefixTest.h"
#include "support/WineTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace TestSupport;

const QString UserKey = QStringLiteral("HKCU\\Software\\VkSafety");
const QString MachineKey = QStringLiteral("HKLM\\Software\\VkSafety");

class WineSafetyTest : public TWinePrefixTest
{
protected:
    // Two values naming files that are gone, one per hive, and one that names a folder that exists.
    void PlantStaleValues()
    {
        QByteArray out;
        ASSERT_TRUE(Reg(Prefix, {{"add", UserKey, "/v", "Tool", "/d", "C:\\VkGone\\tool.exe", "/f"},
                                 {"add", MachineKey, "/v", "Library", "/d", "C:\\VkGone\\lib.dll", "/f"},
                                 {"add", UserKey, "/v", "Kept", "/d", "C:\\windows", "/f"}},
                        &out))
            << out.toStdString();
    }

    // What "wine reg query" says of the key: false when Wine finds no such key.
    bool Query(const QString &key, QByteArray *out) { return Reg(Prefix, {{"query", key}}, out); }

    // Every hive's text change since before: the value lines removed, per hive file.
    static QHash<QString, QList<QByteArray>> RemovedLines(const QHash<QString, QByteArray> &before,
                                                          const QHash<QString, QByteArray> &after)
    {
        QHash<QString, QList<QByteArray>> removed;
        for (const char *name : HiveNames) {
            SCOPED_TRACE(name);
            TTextChange change;
            std::string diff;
            EXPECT_TRUE(OnlyValuesChanged(before.value(name), after.value(name), &change, &diff)) << diff;
            EXPECT_TRUE(change.Added.isEmpty());
            const QList<QByteArray> keys = change.Removed.keys();
            EXPECT_EQ(change.Timed, QSet<QByteArray>(keys.begin(), keys.end()));
            for (const QList<QByteArray> &lines : std::as_const(change.Removed))
                removed[QString::fromLatin1(name)] += lines;
        }
        return removed;
    }

    // exitCode 1: a run that could not delete all it found. said: what it printed. tmpDir: the
    // TMPDIR the program runs with.
    QByteArray DelReg(int exitCode = 0, QByteArray *said = nullptr, const QString &tmpDir = {})
    {
        QByteArray out;
        QProcessEnvironment env = WineEnvironment(Prefix);
        if (!tmpDir.isEmpty())
            env.insert(QStringLiteral("TMPDIR"), tmpDir);
        Program.Run({QStringLiteral("-delreg"), QStringLiteral("-exit")}, env, &out);
        EXPECT_EQ(Program.ExitCode(), exitCode) << out.toStdString();
        if (said)
            *said = out;
        const QByteArray log = Program.Log();
        EXPECT_TRUE(log.endsWith("All done exiting!\r\n")) << log.toStdString();
        return log;
    }

    QString UndoFile(int n) const { return Program.FilePath(QStringLiteral("Undo/VKUndo0%1.reg").arg(n)); }

    // Three undo files of earlier runs, with the levels kept at three.
    QList<QByteArray> PlantEarlierUndoFiles()
    {
        Program.WriteOptions("[Registry]\r\nUndo levels=3\r\n");
        QDir().mkpath(Program.FilePath(QStringLiteral("Undo")));
        const QList<QByteArray> earlier = {"REGEDIT4\r\n\r\n; the first\r\n", "REGEDIT4\r\n\r\n; the second\r\n",
                                           "REGEDIT4\r\n\r\n; the third\r\n"};
        for (int n = 1; n <= 3; ++n) {
            QFile f(UndoFile(n));
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(earlier[n - 1]);
        }
        return earlier;
    }

    // Every file of the undo folder, hidden ones too, is one of the earlier ones as it was.
    void ExpectEarlierUndoFiles(const QList<QByteArray> &earlier)
    {
        for (int n = 1; n <= 3; ++n)
            EXPECT_EQ(ReadFileBytes(UndoFile(n)), earlier[n - 1]) << n;
        EXPECT_EQ(QDir(Program.FilePath(QStringLiteral("Undo"))).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    TProgramCopy Program{QStringLiteral(VASKIMO_EXE), QStringLiteral(VASKIMO_BLACKLIST)};
};

TEST_F(WineSafetyTest, DelregChangesNothingWhileTheWineserverRunsAndDeletesOnceItHasEnded)
{
    ASSERT_NO_FATAL_FAILURE(PlantStaleValues());
    const QHash<QString, QByteArray> before = HiveTexts(Prefix);
    TWineServer server;
    QString why;
    ASSERT_TRUE(server.Start(Prefix, &why)) << why.toStdString();

    QByteArray said;
    const QByteArray refused = DelReg(1, &said);
    EXPECT_TRUE(said.contains("Vaskimo: -delreg: 2 entries were kept: Wine programs are running in the prefix"))
        << said.toStdString();
    EXPECT_TRUE(refused.contains("Found 2 invalid entries! Deleting...")) << refused.toStdString();
    EXPECT_TRUE(refused.contains("Vaskimo failed to delete 2 entries!")) << refused.toStdString();
    EXPECT_TRUE(refused.contains("Close the Wine programs and try again.")) << refused.toStdString();
    EXPECT_TRUE(HiveTexts(Prefix) == before) << "a hive was written while Wine held it";
    EXPECT_FALSE(QFileInfo::exists(UndoFile(1))) << "an undo file for values that were not deleted";

    // Ended, the server writes the registry it held: the values are still there.
    ASSERT_TRUE(server.Stop());
    QByteArray out;
    ASSERT_TRUE(Query(UserKey, &out)) << out.toStdString();
    EXPECT_TRUE(out.contains("    Tool    REG_SZ    C:\\VkGone\\tool.exe")) << out.toStdString();

    const QHash<QString, QByteArray> beforeDelete = HiveTexts(Prefix);
    const QByteArray done = DelReg();
    EXPECT_FALSE(done.contains("failed to delete")) << done.toStdString();
    // Each hive lost its one value line, and nothing else but the times of that key changed (taken
    // before Wine runs again: it writes times of its own).
    const QHash<QString, QByteArray> after = HiveTexts(Prefix);
    ASSERT_TRUE(Reg(Prefix, {{"query", UserKey}, {"query", MachineKey}}, &out)) << out.toStdString();
    EXPECT_FALSE(out.contains("Tool")) << out.toStdString();
    EXPECT_TRUE(out.contains("    Kept    REG_SZ    C:\\windows")) << out.toStdString();
    EXPECT_FALSE(out.contains("Library")) << out.toStdString();
    const QHash<QString, QList<QByteArray>> removed = {{"user.reg", {"\"Tool\"=\"C:\\\\VkGone\\\\tool.exe\""}},
                                                       {"system.reg", {"\"Library\"=\"C:\\\\VkGone\\\\lib.dll\""}}};
    EXPECT_EQ(RemovedLines(beforeDelete, after), removed);
    EXPECT_TRUE(QFileInfo::exists(UndoFile(1)));
}

TEST_F(WineSafetyTest, ASocketLeftByACrashedWineserverBlocksNothing)
{
    ASSERT_NO_FATAL_FAILURE(PlantStaleValues());
    TWineServer server;
    QString why;
    ASSERT_TRUE(server.Start(Prefix, &why)) << why.toStdString();
    server.Crash();
    ASSERT_TRUE(QFileInfo::exists(server.SocketPath())) << "the dead server's socket stays";
    ASSERT_FALSE(UnixSocketAccepts(server.SocketPath()));

    const QByteArray log = DelReg();
    EXPECT_TRUE(log.contains("Found 2 invalid entries! Deleting...")) << log.toStdString();
    EXPECT_FALSE(log.contains("failed to delete")) << log.toStdString();
    QByteArray out;
    ASSERT_TRUE(Query(UserKey, &out)) << out.toStdString();
    EXPECT_FALSE(out.contains("Tool")) << out.toStdString();
}

// Debian's Wine makes its server folder under TMPDIR (libpam-tmpdir sets one per user).
TEST_F(WineSafetyTest, AServerUnderTmpdirBlocksDelregAndOneKilledThereBlocksNothing)
{
    ASSERT_NO_FATAL_FAILURE(PlantStaleValues());
    const QHash<QString, QByteArray> before = HiveTexts(Prefix);
    QTemporaryDir tmpDir;
    TWineServer server;
    QString why;
    ASSERT_TRUE(server.Start(Prefix, &why, tmpDir.path())) << why.toStdString();
    ASSERT_TRUE(server.SocketPath().startsWith(tmpDir.path())) << server.SocketPath().toStdString();

    QByteArray said;
    const QByteArray refused = DelReg(1, &said, tmpDir.path());
    EXPECT_TRUE(refused.contains("Close the Wine programs and try again.")) << refused.toStdString();
    EXPECT_TRUE(said.contains("Wine programs are running in the prefix")) << said.toStdString();
    EXPECT_TRUE(HiveTexts(Prefix) == before) << "a hive was written while Wine held it";

    server.Crash();
    ASSERT_TRUE(QFileInfo::exists(server.SocketPath())) << "the dead server's socket stays";
    const QByteArray log = DelReg(0, nullptr, tmpDir.path());
    EXPECT_FALSE(log.contains("failed to delete")) << log.toStdString();
    QByteArray out;
    ASSERT_TRUE(Query(UserKey, &out)) << out.toStdString();
    EXPECT_FALSE(out.contains("Tool")) << out.toStdString();
}

TEST_F(WineSafetyTest, RefusedRunsLeaveEveryUndoFileAsItWas)
{
    ASSERT_NO_FATAL_FAILURE(PlantStaleValues());
    const QList<QByteArray> earlier = PlantEarlierUndoFiles();
    TWineServer server;
    QString why;
    ASSERT_TRUE(server.Start(Prefix, &why)) << why.toStdString();
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        const QByteArray log = DelReg(1);
        EXPECT_TRUE(log.contains("Vaskimo failed to delete 2 entries!")) << log.toStdString();
    }
    ASSERT_TRUE(server.Stop());
    ExpectEarlierUndoFiles(earlier);

    // The same with hives that cannot be written: a user who may read the prefix, not write it.
    const QHash<QString, QByteArray> hives = HiveTexts(Prefix);
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        QByteArray out;
        Program.RunAsNobody({QStringLiteral("-delreg"), QStringLiteral("-exit")}, Prefix, &out);
        ASSERT_EQ(Program.ExitCode(), 1) << out.toStdString();
        const QByteArray log = Program.Log();
        EXPECT_TRUE(log.contains("Vaskimo failed to delete 2 entries!")) << log.toStdString();
        EXPECT_TRUE(log.contains("permission denied")) << log.toStdString();
    }
    EXPECT_TRUE(HiveTexts(Prefix) == hives);
    ExpectEarlierUndoFiles(earlier);

    // A run that deletes starts a new file; the oldest goes.
    DelReg();
    EXPECT_EQ(ReadFileBytes(UndoFile(2)), earlier[0]);
    EXPECT_EQ(ReadFileBytes(UndoFile(3)), earlier[1]);
    const QByteArray undo = ReadFileBytes(UndoFile(1));
    EXPECT_TRUE(undo.contains("\"Tool\"=\"C:\\\\VkGone\\\\tool.exe\"")) << undo.toStdString();
    EXPECT_TRUE(undo.contains("\"Library\"=\"C:\\\\VkGone\\\\lib.dll\"")) << undo.toStdString();
    EXPECT_EQ(QDir(Program.FilePath(QStringLiteral("Undo"))).entryList(QDir::Files).size(), 3);
}

// The undo header's time holds the prefix's AM/PM text, which has no byte in its code page (1252):
// the run deletes nothing, and no earlier undo file moves for it.
TEST_F(WineSafetyTest, AnUndoTextThatCannotBeWrittenKeepsEveryEarlierUndoFile)
{
    ASSERT_NO_FATAL_FAILURE(PlantStaleValues());
    const QString file = Dir.filePath(QStringLiteral("ampm.reg"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QString text = QStringLiteral("\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
                                            "[HKEY_CURRENT_USER\\Control Panel\\International]\r\n"
                                            "\"sTimeFormat\"=\"tt h:mm:ss\"\r\n\"s1159\"=\"\u5348\u524d\"\r\n"
                                            "\"s2359\"=\"\u5348\u5f8c\"\r\n");
        f.write(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    }
    QByteArray out;
    ASSERT_TRUE(RegeditImport(Prefix, file, &out)) << out.toStdString();
    const QList<QByteArray> earlier = PlantEarlierUndoFiles();
    const QHash<QString, QByteArray> before = HiveTexts(Prefix);

    QByteArray said;
    const QByteArray log = DelReg(1, &said);
    EXPECT_TRUE(log.contains("Can't save undo data, nothing was deleted!")) << log.toStdString();
    EXPECT_TRUE(said.contains("-delreg: 2 entries were kept: Can't save ")) << said.toStdString();
    EXPECT_TRUE(HiveTexts(Prefix) == before) << "a value went without its undo data";
    ExpectEarlierUndoFiles(earlier);
}

// A hive the search cannot read is named with the reason in the log and on standard error, and
// the run ends with 1; the other hives are searched as ever.
TEST_F(WineSafetyTest, AHiveThatIsNoWineHiveIsNamedAndTheRunEndsWithOne)
{
    ASSERT_NO_FATAL_FAILURE(PlantStaleValues());
    // Each hive holds one of the two stale values: the other one is still found.
    const char *const cases[] = {"system.reg", "user.reg"};
    const QHash<QString, QByteArray> planted = HiveTexts(Prefix);
    for (const char *hive : cases) {
        SCOPED_TRACE(hive);
        const QString path = QDir(Prefix).filePath(QString::fromLatin1(hive));
        for (const char *name : HiveNames) {
            QFile f(QDir(Prefix).filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            QByteArray text = planted.value(QString::fromLatin1(name));
            // A header whose first bytes were lost, and an export where the hive should be.
            if (QByteArray(name) == hive)
                text = QByteArray(hive) == "system.reg" ? QByteArray(16, '\0') + text.mid(16)
                                                          : QByteArray("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\VkSafety]\r\n"
                                                                       "\"Tool\"=\"C:\\\\VkGone\\\\tool.exe\"\r\n");
            f.write(text);
        }
        const QByteArray damaged = ReadFileBytes(path);
        QByteArray out;
        Program.Run({QStringLiteral("-reg"), QStringLiteral("-exit")}, Prefix, &out);
        EXPECT_EQ(Program.ExitCode(), 1) << out.toStdString();
        const QByteArray reason = "\"" + QFile::encodeName(path) + "\" is not a Wine registry file: its keys were not searched";
        EXPECT_TRUE(out.contains("Vaskimo: -reg: " + reason)) << out.toStdString();
        const QByteArray log = Program.Log();
        EXPECT_TRUE(log.contains("Found 1 invalid entries!\r\n" + reason + "\r\n")) << log.toStdString();
        EXPECT_EQ(ReadFileBytes(path), damaged);
    }
}

// The shipped blacklist skips Wine's own keys, not every key whose name starts like them.
TEST_F(WineSafetyTest, TheBlacklistSkipsWinesKeysAndNotTheirNamesakes)
{
    QByteArray out;
    ASSERT_TRUE(Reg(Prefix, {{"add", "HKCU\\Software\\Wine\\VkSkipped", "/v", "Tool", "/d", "C:\\VkGone\\wine.exe", "/f"},
                             {"add", "HKCU\\Software\\WineCellar", "/v", "Tool", "/d", "C:\\VkGone\\cellar.exe", "/f"},
                             {"add", "HKCU\\Software\\Winetricks", "/v", "Tool", "/d", "C:\\VkGone\\tricks.exe", "/f"},
                             {"add", "HKCU\\Software\\WinEdt 10", "/v", "Tool", "/d", "C:\\VkGone\\winedt.exe", "/f"}},
                    &out))
        << out.toStdString();
    QByteArray said;
    Program.Run({QStringLiteral("-reg"), QStringLiteral("-exit")}, Prefix, &said);
    EXPECT_EQ(Program.ExitCode(), 0) << said.toStdString();
    const QByteArray log = Program.Log();
    EXPECT_TRUE(log.contains("Found 3 invalid entries!")) << log.toStdString();
}

TEST_F(WineSafetyTest, AFreshPrefixLosesNothingWineMade)
{
    const QHash<QString, QByteArray> fresh = HiveTexts(Prefix);
    const QByteArray first = DelReg();
    EXPECT_TRUE(first.contains("Found 0 invalid entries!")) << first.toStdString();
    EXPECT_TRUE(HiveTexts(Prefix) == fresh) << "a value that wineboot wrote was deleted";

    // What Wine's menu builder records names its own links; a stale value of the user's is found once,
    // though HKEY_USERS shows the user's tree a second time.
    QByteArray out;
    ASSERT_TRUE(Reg(Prefix, {{"add", "HKCU\\Software\\Wine\\MenuFiles", "/v", "/root/.local/share/applications/wine/VkGone.desktop",
                              "/d", "C:\\users\\Public\\Desktop\\VkGone.lnk", "/f"},
                             {"add", UserKey, "/v", "Tool", "/d", "C:\\VkGone\\tool.exe", "/f"}},
                    &out))
        << out.toStdString();
    const QHash<QString, QByteArray> before = HiveTexts(Prefix);
    const QByteArray second = DelReg();
    EXPECT_TRUE(second.contains("Found 1 invalid entries! Deleting...")) << second.toStdString();
    const QHash<QString, QList<QByteArray>> removed = {{"user.reg", {"\"Tool\"=\"C:\\\\VkGone\\\\tool.exe\""}}};
    EXPECT_EQ(RemovedLines(before, HiveTexts(Prefix)), removed);
}

}  // namespace
