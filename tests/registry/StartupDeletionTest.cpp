// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the startup manager's delete of one found entry of each kind, with its undo folder and file, without a window.
#include "registry/StartupThds.h"

#include "registry/UndoFiles.h"
#include "support/Needs.h"
#include "support/PrefixBuilder.h"
#include "support/SmallDisk.h"

#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WinEnvironment.h"
#include "platform/WinePrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using TestSupport::THive;
using TestSupport::TPrefixBuilder;
using StartupDelete::TOutcome;
using StartupDelete::TResult;

namespace {

const QString RunKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString Winlogon = QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
const QString ShellList = QStringLiteral("explorer.exe,zeta.exe,alpha.exe");
const QString RunList = QStringLiteral("notepad;missing.exe");

class StartupDeletionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        B.AddProfile();
        B.AddString(THive::User, RunKey, "Good", "C:\\windows\\notepad.exe");
        B.AddString(THive::System, Winlogon, "Shell", ShellList);
        Prefix = B.MakeCurrent();
        UserStartup = TWinEnvironment(Prefix).SpecialFolder("Startup");
        B.AddFile(UserStartup + "\\run.bat", "@echo");
        B.AddFile("C:\\windows\\win.ini", "[windows]\r\nrun=" + RunList.toLatin1() + "\r\n");
        Prefix->ReloadDrives();
        How.Undo.FolderHost = Program.filePath("Undo/Startup");
        How.Undo.UniqueName = [](const QString &folder, const QString &name) {
            return QFileInfo::exists(folder + name) ? folder + "(1)" + name : folder + name;
        };
        How.Undo.Header = [] { return QStringLiteral("REGEDIT4\r\n\r\n; header"); };
        How.Date = "1/2/2026";
        How.Time = "3:04:05 PM";
        How.Prefix = Prefix;
    }

    // As the scanner reports them; a description with characters no file name holds.
    TStartupRecord Value() const
    {
        TStartupRecord r;
        r.Description = "Good: <tool>";
        r.Location = "HKEY_CURRENT_USER\\" + RunKey;
        r.ValueName = r.Item = "Good";
        r.Data = "C:\\windows\\notepad.exe";
        r.Kind = 0;
        return r;
    }
    TStartupRecord ListItem() const
    {
        TStartupRecord r;
        r.Description = r.Data = r.Item = "zeta.exe";
        r.Location = "HKEY_LOCAL_MACHINE\\" + Winlogon;
        r.ValueName = "Shell";
        r.Kind = 1;
        return r;
    }
    TStartupRecord IniItem() const
    {
        TStartupRecord r;
        r.Description = r.Item = "notepad";
        r.Location = "C:\\windows\\win.ini";
        r.ValueName = "windows";
        r.Data = "run";
        r.Delimiter = u';';
        r.Kind = 3;
        return r;
    }

    struct TDone {
        TResult Result;
        QString Reason, UndoFile;
    };
    static StartupDelete::TRecordDone Collect(QList<TDone> *into)
    {
        return [into](const TOutcome &o, const QString &undoFile) { into->append({o.Result, o.Reason, undoFile}); };
    }
    // What onDone got, in order.
    QList<TDone> Delete(const TStartupRecord &record)
    {
        QList<TDone> outcomes;
        StartupDelete::DeleteRecord(record, How, Collect(&outcomes));
        return outcomes;
    }

    bool ValueThere() const
    {
        TRegistry registry(TRootKey::CurrentUser, Prefix);
        return registry.OpenKeyReadOnly("\\" + RunKey) && registry.ValueExists("Good");
    }
    QString Shell() const
    {
        TRegistry registry(TRootKey::LocalMachine, Prefix);
        return registry.OpenKeyReadOnly("\\" + Winlogon) ? registry.ReadString("Shell") : QString();
    }
    QString Run() const { return TIniFile(B.HostPath("C:\\windows\\win.ini")).ReadString("windows", "run", "x"); }

    void ExpectNothingDeleted() const
    {
        EXPECT_TRUE(ValueThere());
        EXPECT_EQ(Shell(), ShellList);
        EXPECT_EQ(Run(), RunList);
    }

    TPrefixBuilder B;
    std::shared_ptr<TWinePrefix> Prefix;
    QString UserStartup;
    QTemporaryDir Program;
    StartupDelete::TRecordDelete How;
};

TEST_F(StartupDeletionTest, EachKindGoesAfterItsUndoFileInAFolderMadeForIt)
{
    const QString folder = How.Undo.FolderHost + u'/';
    const struct {
        const char *name;
        TStartupRecord record;
        QString file;
        std::function<bool()> gone;
        QString firstLine;
        int vkuKind;  // -1: a REG file
    } cases[] = {
        {"whole value", Value(), folder + "Good   tool.reg", [&] { return !ValueThere(); }, "REGEDIT4", -1},
        {"registry list item", ListItem(), folder + "zeta.exe.vku", [&] { return Shell() == "explorer.exe,alpha.exe"; },
         "This is Orvendal Vaskimo undo file. This contains information about deleted items. Generated on 1/2/2026 @ 3:04:05 PM.", 2},
        {"win.ini item", IniItem(), folder + "notepad.vku", [&] { return Run() == "missing.exe"; }, {}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<TDone> outcomes = Delete(c.record);
        ASSERT_EQ(outcomes.size(), 1);
        EXPECT_EQ(outcomes.at(0).Result, TResult::Deleted) << outcomes.at(0).Reason.toStdString();
        EXPECT_EQ(outcomes.at(0).UndoFile, c.file);
        EXPECT_TRUE(c.gone());
        QStringList lines;
        ASSERT_TRUE(UndoFiles::ReadLines(c.file, &lines));
        if (!c.firstLine.isEmpty()) {
            EXPECT_EQ(lines.value(0), c.firstLine);
        }
        const QList<TUndoEntry> entries = c.vkuKind < 0 ? UndoFiles::ReadRegLines(lines) : UndoFiles::ReadVkuLines(lines);
        ASSERT_EQ(entries.size(), 1);
        EXPECT_EQ(entries.at(0).Kind, c.vkuKind < 0 ? 0 : c.vkuKind);
        EXPECT_EQ(entries.at(0).Data, c.vkuKind < 0 ? c.record.Data : c.record.Item);
    }
}

TEST_F(StartupDeletionTest, ATakenNameGetsAFreeOneAndTheOldFileStays)
{
    ASSERT_TRUE(QDir().mkpath(How.Undo.FolderHost));
    const QString taken = How.Undo.FolderHost + "/zeta.exe.vku";
    QFile old(taken);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("earlier");
    old.close();
    const QList<TDone> outcomes = Delete(ListItem());
    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes.at(0).Result, TResult::Deleted);
    EXPECT_EQ(outcomes.at(0).UndoFile, How.Undo.FolderHost + "/(1)zeta.exe.vku");
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "earlier");
}

TEST_F(StartupDeletionTest, WithoutUndoEachKindGoesAndNoFolderIsMade)
{
    How.Undo.Write = false;
    for (const TStartupRecord &record : {Value(), ListItem(), IniItem()}) {
        SCOPED_TRACE(record.Description.toStdString());
        const QList<TDone> outcomes = Delete(record);
        ASSERT_EQ(outcomes.size(), 1);
        EXPECT_EQ(outcomes.at(0).Result, TResult::Deleted);
        EXPECT_TRUE(outcomes.at(0).UndoFile.isEmpty());
    }
    EXPECT_FALSE(ValueThere());
    EXPECT_EQ(Shell(), "explorer.exe,alpha.exe");
    EXPECT_EQ(Run(), "missing.exe");
    EXPECT_FALSE(QFileInfo::exists(Program.filePath("Undo")));
}

// The undo folder names no place, or one that cannot be made: nothing goes, and the message names
// the file that could not be written.
TEST_F(StartupDeletionTest, NoUndoFolderDeletesNothing)
{
    QFile blocker(Program.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString blocked = Program.filePath("blocker/Undo");
    const struct {
        const char *name;
        QString folder;
        TStartupRecord record;
        QString file;
    } cases[] = {
        {"value, no folder", {}, Value(), "Good: <tool>.reg"},
        {"list item, no folder", {}, ListItem(), "zeta.exe.vku"},
        {"ini item, no folder", {}, IniItem(), "notepad.vku"},
        {"value, folder below a file", blocked, Value(), blocked + "/Good   tool.reg"},
        {"list item, folder below a file", blocked, ListItem(), blocked + "/zeta.exe.vku"},
        {"ini item, folder below a file", blocked, IniItem(), blocked + "/notepad.vku"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        How.Undo.FolderHost = c.folder;
        const QList<TDone> outcomes = Delete(c.record);
        ASSERT_EQ(outcomes.size(), 1);
        EXPECT_EQ(outcomes.at(0).Result, TResult::UndoFailed);
        EXPECT_EQ(outcomes.at(0).UndoFile, c.file);
        ExpectNothingDeleted();
    }
}

// A key gone since the scan is found out before the undo folder is made.
TEST_F(StartupDeletionTest, AKeyGoneSinceTheScanMakesNoUndoFolder)
{
    TRegistry user(TRootKey::CurrentUser, Prefix);
    ASSERT_TRUE(user.DeleteKey("\\" + RunKey));
    TRegistry machine(TRootKey::LocalMachine, Prefix);
    ASSERT_TRUE(machine.DeleteKey("\\" + Winlogon));
    for (const TStartupRecord &record : {Value(), ListItem()}) {
        SCOPED_TRACE(record.Description.toStdString());
        const QList<TDone> outcomes = Delete(record);
        ASSERT_EQ(outcomes.size(), 1);
        EXPECT_EQ(outcomes.at(0).Result, TResult::KeyNotOpened);
    }
    EXPECT_FALSE(QFileInfo::exists(Program.filePath("Undo")));
}

// The undo folder on a real, full tmpfs: the system's reason, nothing deleted, no undo file left.
TEST_F(StartupDeletionTest, AFullDiskForTheUndoFileDeletesNothingAndSaysWhy)
{
    TestSupport::TSmallDisk disk(QStringLiteral("512k"));
    VASKIMO_NEED_DISK(disk);
    How.Undo.FolderHost = disk.Path() + "/Undo";
    ASSERT_TRUE(QDir().mkpath(How.Undo.FolderHost));
    ASSERT_TRUE(disk.Fill());
    for (const TStartupRecord &record : {Value(), ListItem(), IniItem()}) {
        SCOPED_TRACE(record.Description.toStdString());
        const QList<TDone> outcomes = Delete(record);
        ASSERT_EQ(outcomes.size(), 1);
        EXPECT_EQ(outcomes.at(0).Result, TResult::UndoFailed);
        EXPECT_TRUE(outcomes.at(0).Reason.contains("No space left on device")) << outcomes.at(0).Reason.toStdString();
        EXPECT_TRUE(outcomes.at(0).UndoFile.startsWith(How.Undo.FolderHost + u'/'));
    }
    ExpectNothingDeleted();
    EXPECT_EQ(QDir(How.Undo.FolderHost).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// A Startup-folder file goes on the deletion thread; its outcome is judged once that is done, by
// whether the file is still there then. It has no undo file.
TEST_F(StartupDeletionTest, AStartupFolderFileIsJudgedWhenTheDeletionThreadIsDone)
{
    TStartupRecord file;
    file.Description = "run.bat";
    file.Location = file.Item = UserStartup + "\\run.bat";
    file.Kind = 2;
    const QString host = B.HostPath(file.Location);
    for (const bool removes : {false, true}) {
        SCOPED_TRACE(removes ? "the file goes" : "the file stays");
        QStringList asked;
        bool permanent = false;
        std::function<void(bool)> done;
        How.Permanent = removes;
        How.DeleteFiles = [&](const QStringList &files, bool isPermanent, std::function<void(bool)> onDone) {
            asked = files;
            permanent = isPermanent;
            done = std::move(onDone);
        };
        QList<TDone> outcomes;
        StartupDelete::DeleteRecord(file, How, Collect(&outcomes));
        EXPECT_EQ(asked, QStringList{file.Location});
        EXPECT_EQ(permanent, removes);
        EXPECT_TRUE(outcomes.isEmpty());
        ASSERT_TRUE(done);
        if (removes) {
            ASSERT_TRUE(QFile::remove(host));
        }
        done(false);
        ASSERT_EQ(outcomes.size(), 1);
        EXPECT_EQ(outcomes.at(0).Result, removes ? TResult::Deleted : TResult::FileKept);
    }
    EXPECT_FALSE(QFileInfo::exists(Program.filePath("Undo")));

    How.DeleteFiles = nullptr;
    EXPECT_TRUE(Delete(file).isEmpty());
}

}  // namespace
