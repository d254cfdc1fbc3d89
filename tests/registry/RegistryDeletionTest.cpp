// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the registry cleaner's delete transaction without its window: real hives,
// the undo text of a program run, Stop, the undo rescue and the batch log.
#include "registry/RegistryDeletion.h"

#include "support/PrefixBuilder.h"

#include "platform/Registry.h"
#include "platform/WinePrefix.h"
#include "registry/UndoFiles.h"
#include "shell/Batch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using TestSupport::THive;
using TestSupport::TPrefixBuilder;

namespace {

class RegistryDeletionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Builder.AddString(THive::System, "Software\\Alpha", "Path", "C:\\Gone\\b.exe");
        Builder.AddString(THive::System, "Software\\Beta", "", "C:\\Gone\\a.dll");
        Builder.AddString(THive::System, "Software\\Gamma", "Fixed", "C:\\windows\\now.exe");
        Builder.AddString(THive::System, "Software\\Delta", "Ok", "C:\\windows");
        Builder.AddString(THive::User, "Software\\Cyr", "Path", QString::fromUtf8("C:\\Gone\\\u0416.exe"));
        Builder.MakeCurrent();
        Config.ProgramFolder = Program.path();
        Config.Header = QStringLiteral("REGEDIT4\r\n\r\n; undo");
        Config.Prefix = Builder.Prefix();
    }

    void TearDown() override
    {
        qDeleteAll(Records);
        qDeleteAll(Gone);
    }

    TRegistryRecord *Add(const QString &root, const QString &key, const QString &name, const QString &data)
    {
        auto *record = new TRegistryRecord{root, key, QString(), {}, name, data};
        Records.append(record);
        return record;
    }

    QList<int> AllRows() const
    {
        QList<int> rows;
        for (int row = int(Records.size()) - 1; row >= 0; --row)
            rows.append(row);
        return rows;
    }

    // The value as a fresh load of the hive files shows it; empty when it is gone.
    QString OnDisk(TRootKey root, const QString &key, const QString &name) const
    {
        TRegistry r(root, std::make_shared<TWinePrefix>(Builder.Folder()));
        return r.OpenKeyReadOnly(key) && r.ValueExists(name) ? r.ReadString(name) : QString();
    }

    static QStringList UndoValues(const QString &file)
    {
        QStringList lines, values;
        if (UndoFiles::ReadLines(file, &lines))
            for (const TUndoEntry &e : UndoFiles::ReadRegLines(lines))
                values.append(e.Key + u'|' + e.ValueName + u'|' + e.Data);
        values.sort();
        return values;
    }

    QByteArray HiveBytes(THive hive) const
    {
        QFile f(Builder.HivePath(hive));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir Program;
    TPrefixBuilder Builder;
    TRegistryCleanup::TConfig Config;
    TRegistryCleanup Cleanup;
    QList<TRegistryRecord *> Records;
    QList<TRegistryRecord *> Gone;
};

// Deleted, already gone and changed values leave the list; a key that does not open and a value
// whose undo line would lose characters stay, and so does everything not asked for. The next run
// of the program run goes on in the same undo file.
TEST_F(RegistryDeletionTest, ARunDeletesWithUndoAndTheNextGoesOnInTheSameFile)
{
    Add("HKEY_LOCAL_MACHINE", "Software\\Alpha", "Path", "C:\\Gone\\b.exe");
    Add("HKEY_LOCAL_MACHINE", "Software\\Beta", "", "C:\\Gone\\a.dll");
    Add("HKEY_LOCAL_MACHINE", "Software\\Gamma", "Fixed", "C:\\Gone\\then.exe");
    Add("HKEY_LOCAL_MACHINE", "Software\\Delta", "Went", "C:\\Gone\\w.exe");
    TRegistryRecord *noKey = Add("HKEY_LOCAL_MACHINE", "Software\\NoSuchKey", "P", "C:\\Gone\\n.exe");
    TRegistryRecord *lossy = Add("HKEY_CURRENT_USER", "Software\\Cyr", "Path", QString::fromUtf8("C:\\Gone\\\u0416.exe"));
    TRegistryRecord *notAsked = Add("HKEY_LOCAL_MACHINE", "Software\\Delta", "Ok", "C:\\windows");

    QList<int> rows = AllRows();
    rows.removeFirst();  // the last record is not deleted
    const RegistryDeletion::TOutcome outcome = Cleanup.Delete(Config, Records, rows, false, {}, &Gone);

    EXPECT_FALSE(outcome.Stopped);
    EXPECT_EQ(outcome.Changed, 1);
    EXPECT_EQ(outcome.Failures, 1);
    EXPECT_EQ(outcome.Lossy, 1);
    EXPECT_EQ(Records, QList<TRegistryRecord *>({noKey, lossy, notAsked}));
    EXPECT_EQ(Gone.size(), 4);
    EXPECT_EQ(OnDisk(TRootKey::LocalMachine, "\\Software\\Alpha", "Path"), QString());
    EXPECT_EQ(OnDisk(TRootKey::LocalMachine, "\\Software\\Beta", ""), QString());
    EXPECT_EQ(OnDisk(TRootKey::LocalMachine, "\\Software\\Gamma", "Fixed"), "C:\\windows\\now.exe");
    EXPECT_EQ(OnDisk(TRootKey::LocalMachine, "\\Software\\Delta", "Ok"), "C:\\windows");
    EXPECT_FALSE(OnDisk(TRootKey::CurrentUser, "\\Software\\Cyr", "Path").isEmpty());

    const QString file = Program.filePath("Undo/VKUndo01.reg");
    EXPECT_EQ(Cleanup.UndoFileName(), file);
    EXPECT_EQ(UndoValues(file), QStringList({"Software\\Alpha|Path|C:\\Gone\\b.exe", "Software\\Beta||C:\\Gone\\a.dll",
                                             "Software\\Delta|Went|C:\\Gone\\w.exe"}));
    EXPECT_EQ(Cleanup.UndoLines().constFirst(), Config.Header);

    // The next run: the same file, the earlier lines kept, no second numbered file.
    qDeleteAll(std::exchange(Gone, {}));
    Add("HKEY_LOCAL_MACHINE", "Software\\Delta", "Ok", "C:\\windows");
    Cleanup.Delete(Config, Records, {int(Records.size()) - 1}, false, {}, &Gone);
    EXPECT_EQ(Cleanup.UndoFileName(), file);
    EXPECT_EQ(UndoValues(file).size(), 4);
    EXPECT_TRUE(UndoValues(file).contains("Software\\Delta|Ok|C:\\windows"));
    EXPECT_FALSE(QFileInfo::exists(Program.filePath("Undo/VKUndo02.reg")));
    EXPECT_EQ(OnDisk(TRootKey::LocalMachine, "\\Software\\Delta", "Ok"), QString());
}

// A Stop asked before the first row or just before the hives are written keeps everything.
TEST_F(RegistryDeletionTest, StopBeforeTheWriteKeepsEverything)
{
    Add("HKEY_LOCAL_MACHINE", "Software\\Alpha", "Path", "C:\\Gone\\b.exe");
    Add("HKEY_LOCAL_MACHINE", "Software\\Beta", "", "C:\\Gone\\a.dll");
    const QByteArray before = HiveBytes(THive::System);
    for (int stopAt : {1, 3}) {
        SCOPED_TRACE(stopAt);
        int asked = 0;
        RegistryDeletion::THooks hooks;
        hooks.Stopped = [&] { return ++asked >= stopAt; };
        const QList<TRegistryRecord *> records = Records;
        const RegistryDeletion::TOutcome outcome = Cleanup.Delete(Config, Records, AllRows(), false, hooks, &Gone);
        EXPECT_EQ(asked, stopAt);
        EXPECT_TRUE(outcome.Stopped);
        EXPECT_EQ(Records, records);
        EXPECT_TRUE(Gone.isEmpty());
        EXPECT_EQ(HiveBytes(THive::System), before);
        EXPECT_TRUE(QDir(Program.filePath("Undo")).entryList(QDir::Files | QDir::Hidden).isEmpty());
        EXPECT_TRUE(Cleanup.UndoFileName().isEmpty());
    }
}

// An undo folder that cannot be made: the rescue is asked with the reason, and the run deletes
// only when it stages the text elsewhere; a batch run's rescue logs and gives up, and the run's
// failures name the reason.
TEST_F(RegistryDeletionTest, UndoThatCannotBeStagedDeletesOnlyWhenTheRescueStagesItElsewhere)
{
    QFile blocker(Program.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Config.UndoFolder = Program.filePath("blocker/Undo");
    Add("HKEY_LOCAL_MACHINE", "Software\\Alpha", "Path", "C:\\Gone\\b.exe");
    Add("HKEY_LOCAL_MACHINE", "Software\\Beta", "", "C:\\Gone\\a.dll");
    const QByteArray before = HiveBytes(THive::System);

    TBatchState batch;
    batch.FBatchMode = true;
    RegistryDeletion::THooks hooks;
    hooks.Rescue = RegistryDeletion::BatchRescue(&batch, [] { return QStringLiteral("stamp"); });
    RegistryDeletion::TOutcome outcome = Cleanup.Delete(Config, Records, AllRows(), true, hooks, &Gone);
    RegistryDeletion::LogBatchOutcome(batch, outcome, QStringLiteral("stamp"));
    EXPECT_EQ(Records.size(), 2);
    EXPECT_EQ(HiveBytes(THive::System), before);
    EXPECT_EQ(batch.FLog.mid(0, 2), QStringList({"stamp", "Can't save undo data, nothing was deleted!"}));
    EXPECT_TRUE(batch.FBatchFailed);
    ASSERT_EQ(batch.FFailures.size(), 1);
    EXPECT_TRUE(batch.FFailures[0].startsWith("2 entries were kept: Can't create the folder ")) << batch.FFailures[0].toStdString();

    const QString mine = Program.filePath("mine.reg");
    QStringList targets;
    hooks.Rescue = [&](const QString &target, const QString &error, const QStringList &lines, QString *staged,
                       QString *chosen) {
        targets.append(target);
        EXPECT_FALSE(error.isEmpty());
        if (targets.size() == 1)
            return false;
        *chosen = mine;
        *staged = UndoFiles::StagedFileName(Program.path());
        return UndoFiles::SaveUndoText(*staged, lines, nullptr);
    };
    outcome = Cleanup.Delete(Config, Records, AllRows(), false, hooks, &Gone);
    EXPECT_EQ(Records.size(), 2);
    EXPECT_EQ(HiveBytes(THive::System), before);
    outcome = Cleanup.Delete(Config, Records, AllRows(), false, hooks, &Gone);
    ASSERT_EQ(targets.size(), 2);
    EXPECT_EQ(targets[0], UndoFiles::NumberedFileName(Config.UndoFolder, 1));
    EXPECT_TRUE(Records.isEmpty());
    EXPECT_EQ(Cleanup.UndoFileName(), mine);
    EXPECT_EQ(UndoValues(mine).size(), 2);
    EXPECT_EQ(OnDisk(TRootKey::LocalMachine, "\\Software\\Alpha", "Path"), QString());
}

TEST(RegistryDeletionBatch, EndedRunsLogAndFailAsTheyShould)
{
    RegistryDeletion::TOutcome stopped;
    stopped.Stopped = true;
    RegistryDeletion::TOutcome changed;
    changed.Changed = 2;
    RegistryDeletion::TOutcome lossy;
    lossy.Lossy = 1;
    RegistryDeletion::TOutcome refused;
    refused.Failures = 3;
    refused.Reasons = {{"Close the Wine programs", 2}, {"No space", 1}};
    RegistryDeletion::TOutcome unexplained;
    unexplained.Failures = 1;
    const struct {
        const char *name;
        RegistryDeletion::TOutcome outcome;
        QStringList log;
        QStringList failures;
        bool aborted;
    } cases[] = {
        {"stopped", stopped, {"t", "Aborted by user!"}, {}, true},
        {"changed values are no failure", changed, {"t", "2 entries were kept: their data has changed since the search!"}, {}, false},
        {"lossy", lossy, {"t", "1 entries were not deleted: their undo data holds characters that the undo file cannot store!"},
         {"-delreg: 1 entries were not deleted: their undo data holds characters that the undo file cannot store!"}, false},
        {"refused, each reason once", refused, {"t", "Vaskimo failed to delete 3 entries!", "Close the Wine programs", "No space"},
         {"-delreg: 2 entries were kept: Close the Wine programs", "-delreg: 1 entries were kept: No space"}, false},
        {"refused without a reason", unexplained, {"t", "Vaskimo failed to delete 1 entries!"},
         {"-delreg: Vaskimo failed to delete 1 entries!"}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TBatchState batch;
        batch.FBatchMode = true;
        batch.FRunningItem = QStringLiteral("-delreg");
        RegistryDeletion::LogBatchOutcome(batch, c.outcome, QStringLiteral("t"));
        EXPECT_EQ(batch.FLog, c.log);
        EXPECT_EQ(batch.FFailures, c.failures);
        EXPECT_EQ(batch.FBatchFailed, !c.failures.isEmpty());
        EXPECT_EQ(batch.FBatchAborted, c.aborted);
        EXPECT_EQ(batch.FBatchMode, !c.aborted);
    }
}

}  // namespace
