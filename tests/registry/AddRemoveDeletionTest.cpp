// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the add/remove list's delete of an entry's whole key after its undo file, without a window.
#include "registry/LisaaPoistaThds.h"

#include "registry/UndoFiles.h"
#include "support/Needs.h"
#include "support/PrefixBuilder.h"
#include "support/SmallDisk.h"
#include "support/WineTools.h"

#include "platform/Registry.h"
#include "platform/WinePrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using AddRemove::TDeleteOutcome;
using AddRemove::TDeleteResult;
using TestSupport::THive;
using TestSupport::TPrefixBuilder;

namespace {

const QString Uninstall = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");

class AddRemoveDeletionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        B.AddString(THive::System, Uninstall + "Beta", "DisplayName", "Beta: Gone");
        B.AddString(THive::System, Uninstall + "Beta", "UninstallString", "C:\\Gone\\uninst.exe");
        B.AddDword(THive::System, Uninstall + "Beta", "size", 0xFFFFFFFE);
        B.AddString(THive::System, Uninstall + "Beta\\Sub", "Inner", "x");
        B.AddString(THive::System, Uninstall + "Alpha", "DisplayName", "Alpha Tool");
        B.AddString(THive::System, Uninstall + "Alpha", "Odd", QString::fromUtf8("\u03a9mega"));
        Prefix = B.MakeCurrent();
        Undo.FolderHost = Program.filePath("Undo/AddRemove");
        Undo.UniqueName = [](const QString &folder, const QString &name) {
            return QFileInfo::exists(folder + name) ? folder + "(1)" + name : folder + name;
        };
        Undo.Header = [] { return QStringLiteral("REGEDIT4\r\n\r\n; header"); };
    }

    // As the scanner reports them: the key path with its "\" at the end.
    static TAddRemoveRecord Entry(const QString &name, const QString &key)
    {
        TAddRemoveRecord r;
        r.Name = name;
        r.Root = TRootKey::LocalMachine;
        r.KeyPath = Uninstall + key + u'\\';
        return r;
    }

    bool KeyThere(const QString &key) const
    {
        TRegistry registry(TRootKey::LocalMachine, Prefix);
        return registry.KeyExists(u'\\' + Uninstall + key);
    }
    QStringList FilesIn(const QString &folder) const { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }

    TPrefixBuilder B;
    std::shared_ptr<TWinePrefix> Prefix;
    QTemporaryDir Program;
    UndoFiles::TUndoPlan Undo;
};

TEST_F(AddRemoveDeletionTest, TheWholeKeyGoesAfterItsUndoFileInAFolderMadeForIt)
{
    const TDeleteOutcome outcome = AddRemove::DeleteEntry(Entry("Beta: Gone", "Beta"), Undo, Prefix);
    EXPECT_EQ(outcome.Result, TDeleteResult::Deleted) << outcome.Reason.toStdString();
    EXPECT_EQ(outcome.UndoFile, Undo.FolderHost + "/Beta  Gone.reg");
    EXPECT_FALSE(KeyThere("Beta"));
    EXPECT_TRUE(KeyThere("Alpha"));

    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(outcome.UndoFile, &lines));
    EXPECT_EQ(lines.mid(0, 3), (QStringList{"REGEDIT4", "", "; header"}));
    QStringList read;
    for (const TUndoEntry &e : UndoFiles::ReadRegLines(lines))
        read.append(e.Key.section(u'\\', 5) + u'|' + e.ValueName);
    EXPECT_EQ(read, (QStringList{"Beta|DisplayName", "Beta|size", "Beta|UninstallString", "Beta\\Sub|Inner"}));
}

TEST_F(AddRemoveDeletionTest, ATakenNameGetsAFreeOneAndTheOldFileStays)
{
    ASSERT_TRUE(QDir().mkpath(Undo.FolderHost));
    QFile old(Undo.FolderHost + "/Beta.reg");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("earlier");
    old.close();
    const TDeleteOutcome outcome = AddRemove::DeleteEntry(Entry("Beta", "Beta"), Undo, Prefix);
    EXPECT_EQ(outcome.Result, TDeleteResult::Deleted);
    EXPECT_EQ(outcome.UndoFile, Undo.FolderHost + "/(1)Beta.reg");
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "earlier");
}

TEST_F(AddRemoveDeletionTest, WithoutUndoTheKeyGoesAndNoFolderIsMade)
{
    Undo.Write = false;
    const TDeleteOutcome outcome = AddRemove::DeleteEntry(Entry("Beta: Gone", "Beta"), Undo, Prefix);
    EXPECT_EQ(outcome.Result, TDeleteResult::Deleted);
    EXPECT_TRUE(outcome.UndoFile.isEmpty());
    EXPECT_FALSE(KeyThere("Beta"));
    EXPECT_FALSE(QFileInfo::exists(Program.filePath("Undo")));
}

// Nothing goes without its undo file, and the message names the file that could not be written.
TEST_F(AddRemoveDeletionTest, NoUndoFileDeletesNothing)
{
    QFile blocker(Program.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString blocked = Program.filePath("blocker/Undo");
    const struct {
        const char *name;
        QString folder;
        TAddRemoveRecord entry;
        QString file;
        const char *reason;
    } cases[] = {
        {"no folder", {}, Entry("Beta: Gone", "Beta"), "Beta  Gone.reg", ""},
        {"folder below a file", blocked, Entry("Beta: Gone", "Beta"), blocked + "/Beta  Gone.reg", ""},
        {"a value the code page cannot hold", Undo.FolderHost, Entry("Alpha Tool", "Alpha"),
         Undo.FolderHost + "/Alpha Tool.reg", "holds characters that the undo file cannot store"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Undo.FolderHost = c.folder;
        const TDeleteOutcome outcome = AddRemove::DeleteEntry(c.entry, Undo, Prefix);
        EXPECT_EQ(outcome.Result, TDeleteResult::UndoFailed);
        EXPECT_EQ(outcome.UndoFile, c.file);
        EXPECT_TRUE(outcome.Reason.contains(QString::fromLatin1(c.reason))) << outcome.Reason.toStdString();
        EXPECT_TRUE(KeyThere(c.entry.KeyPath.section(u'\\', 5, 5)));
    }
    EXPECT_EQ(FilesIn(Program.filePath("Undo/AddRemove")), QStringList());
}

// The undo folder on a real, full tmpfs: the system's reason, the key kept, no undo file left.
TEST_F(AddRemoveDeletionTest, AFullDiskForTheUndoFileDeletesNothingAndSaysWhy)
{
    TestSupport::TSmallDisk disk(QStringLiteral("512k"));
    VASKIMO_NEED_DISK(disk);
    Undo.FolderHost = disk.Path() + "/Undo";
    ASSERT_TRUE(QDir().mkpath(Undo.FolderHost));
    ASSERT_TRUE(disk.Fill());
    const TDeleteOutcome outcome = AddRemove::DeleteEntry(Entry("Beta: Gone", "Beta"), Undo, Prefix);
    EXPECT_EQ(outcome.Result, TDeleteResult::UndoFailed);
    EXPECT_TRUE(outcome.Reason.contains("No space left on device")) << outcome.Reason.toStdString();
    EXPECT_EQ(outcome.UndoFile, Undo.FolderHost + "/Beta  Gone.reg");
    EXPECT_TRUE(KeyThere("Beta"));
    EXPECT_EQ(FilesIn(Undo.FolderHost), QStringList());
}

// A delete the write guard refuses under a real wineserver says why and takes its undo file back:
// the undo manager would offer a key that never went.
TEST_F(AddRemoveDeletionTest, ADeleteRefusedWhileWineRunsSaysWhyAndLeavesNoUndoFile)
{
    VASKIMO_NEED_WINE();
    QString error;
    TestSupport::TWineServer server;
    ASSERT_TRUE(server.Start(B.Folder(), &error)) << error.toStdString();
    const TDeleteOutcome outcome = AddRemove::DeleteEntry(Entry("Beta: Gone", "Beta"), Undo, Prefix);
    ASSERT_TRUE(server.Stop());
    EXPECT_EQ(outcome.Result, TDeleteResult::NotDeleted);
    EXPECT_TRUE(outcome.Reason.contains("Close the Wine programs")) << outcome.Reason.toStdString();
    EXPECT_EQ(FilesIn(Undo.FolderHost), QStringList());
    EXPECT_TRUE(KeyThere("Beta"));
}

}  // namespace
