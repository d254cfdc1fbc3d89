// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the registry cleaner's delete transaction: undo lines, one delete run, progress and Stop.
#include "RegistryDeletion.h"

#include "platform/DurableFile.h"
#include "platform/Registry.h"
#include "registry/UndoFiles.h"
#include "shell/Batch.h"
#include "shell/IniLang.h"
#include "shell/SafeFormat.h"
#include "shell/Settings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {
TRootKey RootFromName(const QString &name)
{
    const TRootKey root = RootKeyFromText(name);
    return root == TRootKey::None ? TRootKey::LocalMachine : root;
}

QElapsedTimer &Clock()
{
    thread_local QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock;
}

using namespace RegistryDeletion;

struct TPending {
    int Row;
    bool Present;
    QStringList Lines;  // "", key line, value line
    quint32 Type = 1;   // the type number of the value the lines hold
};

class TRun
{
public:
    TRun(const TInput &input, const THooks &hooks) : FInput(input), FHooks(hooks) { FOutcome.Undo = FInput.Undo; }
    TOutcome Run();

private:
    bool Stopped() const { return FHooks.Stopped && FHooks.Stopped(); }
    void Report(int done, bool force = false);
    bool StageUndo(const QStringList &lines);
    bool CommitUndo(QString *why);
    void DiscardStagedUndo();

    const TInput &FInput;
    const THooks &FHooks;
    TOutcome FOutcome;
    QString FStaged;        // the staged undo text of the run
    QString FStagedFolder;  // the folder a first undo file is rotated in
    QString FStagedTarget;  // a file the user chose for the staged text
    QString FUndoError;     // why the staged text could not be written
    int FTotal = 0;
    qint64 FLastReport = -1;
};

void TRun::Report(int done, bool force)
{
    // At most every 40 ms: the bar moves, the window's thread is not flooded.
    const qint64 now = Clock().elapsed();
    if (!FHooks.Progress || (!force && FLastReport >= 0 && now - FLastReport < 40))
        return;
    FLastReport = now;
    FHooks.Progress(done, FTotal);
}

bool TRun::StageUndo(const QStringList &lines)
{
    QString error;
    FUndoError.clear();
    QString target = FOutcome.Undo.FileName;
    if (target.isEmpty()) {
        FStagedFolder = FInput.Undo.FolderHost;
        target = FStagedFolder.isEmpty() ? QStringLiteral("VKUndo01.reg") : UndoFiles::NumberedFileName(FStagedFolder, 1);
        if (!FStagedFolder.isEmpty() && !QDir().mkpath(FStagedFolder))
            error = QStringLiteral("Can't create the folder %1").arg(FStagedFolder);
        else if (!FStagedFolder.isEmpty())
            FStaged = UndoFiles::StagedFileName(FStagedFolder);
    } else {
        FStaged = UndoFiles::StagedFileName(QFileInfo(target).absolutePath());
    }
    if (!FStaged.isEmpty()) {
        if (UndoFiles::SaveUndoText(FStaged, lines, &error))
            return true;
        error = QStringLiteral("Can't save %1: %2").arg(target, error);
    }
    DiscardStagedUndo();
    if (FInput.Unattended)
        FUndoError = error;
    QString staged, chosen;
    if (!FHooks.Rescue || !FHooks.Rescue(target, error, lines, &staged, &chosen))
        return false;
    FStaged = staged;
    FStagedTarget = chosen;  // the rest of this program run's undo text goes there too
    return true;
}

bool TRun::CommitUndo(QString *why)
{
    QString target = !FStagedTarget.isEmpty() ? FStagedTarget : FOutcome.Undo.FileName;
    bool done = false;
    if (target.isEmpty()) {
        target = UndoFiles::RotateNumberedFiles(FStagedFolder, FInput.Undo.Levels, FStaged, FInput.Undo.UniqueName, why);
        done = !target.isEmpty();
    } else {
        done = DurableFile::Rename(FStaged, target, why);
        if (!done)
            *why = QStringLiteral("Can't rename %1 to %2: %3").arg(FStaged, target, *why);
    }
    DiscardStagedUndo();
    if (!done) {
        FOutcome.UndoNotPut = true;
        return false;
    }
    FOutcome.Undo.FileName = target;
    return true;
}

void TRun::DiscardStagedUndo()
{
    if (!FStaged.isEmpty() && QFileInfo(FStaged).isFile())
        QFile::remove(FStaged);
    FStaged.clear();
    FStagedTarget.clear();
}

TOutcome TRun::Run()
{
    const QList<const TRegistryRecord *> &rows = FInput.Rows;
    const int count = int(rows.size());
    // Reading each value and its undo line is most of the work; the undo file and the hives' one
    // write the rest.
    FTotal = count + count / 2 + 2;
    FOutcome.Removed = QList<bool>(count, false);
    Report(0, true);

    QList<TPending> pending;
    for (int i = 0; i < count; ++i) {
        if (Stopped()) {
            FOutcome.Stopped = true;
            return FOutcome;
        }
        Report(i);
        const TRegistryRecord &row = *rows.at(i);
        TRegistry registry(RootFromName(row.Root), FInput.Prefix);
        if (!registry.OpenKeyReadOnly(u'\\' + row.Key)) {
            ++FOutcome.Failures;
            continue;
        }
        TPending p{i, registry.ValueExists(row.ValueName), {}};
        if (p.Present) {
            // A Wine program may have fixed the value since the search: it is no longer what was found.
            const TRegDataType type = registry.GetDataType(row.ValueName);
            if ((type != TRegDataType::String && type != TRegDataType::ExpandString)
                || registry.ReadString(row.ValueName) != row.Data) {
                FOutcome.Removed[i] = true;
                ++FOutcome.Changed;
                continue;
            }
            p.Type = registry.GetTypeNumber(row.ValueName);
        }
        if (FInput.WriteUndo) {
            QString valueLine;
            bool ok = p.Present ? UndoFiles::LiveValueLine(registry, row.ValueName, &valueLine)
                                : UndoFiles::IsStorableName(row.ValueName)
                                      && UndoFiles::IsLossless(valueLine = UndoFiles::StringLine(row.ValueName, row.Data));
            const QString keyLine = UndoFiles::KeyLine(row.Root, row.Key);
            ok = ok && UndoFiles::IsLossless(keyLine);
            if (!ok) {
                // Undo data that cannot be written without loss: the value stays.
                ++FOutcome.Lossy;
                continue;
            }
            p.Lines = {QString(), keyLine, valueLine};
        }
        pending.append(p);
    }
    Report(count, true);

    // One delete run for all present values: each hive is written once, and the undo text is saved
    // before the first of them, only when a value is really about to go.
    QList<TValueDeletion> deletions;
    QList<const TPending *> deletionOf;
    QStringList goneLines;  // values gone before the run still get their lines
    for (const TPending &p : std::as_const(pending)) {
        if (!p.Present) {
            FOutcome.Removed[p.Row] = true;
            goneLines.append(p.Lines);
            continue;
        }
        const TRegistryRecord &row = *rows.at(p.Row);
        TValueDeletion d;
        d.Root = RootFromName(row.Root);
        d.KeyPath = row.Key;
        d.ValueName = row.ValueName;
        d.CheckData = true;
        d.ExpectedType = p.Type;
        d.ExpectedText = row.Data;
        deletions.append(d);
        deletionOf.append(&p);
    }
    const QStringList undoBefore = FInput.Undo.Lines;
    auto undoText = [&](const QList<int> &indexes) {
        QStringList text = undoBefore;
        if (text.isEmpty())
            text.append(FInput.Undo.Header.isEmpty() ? QStringLiteral("REGEDIT4") : FInput.Undo.Header);
        text.append(goneLines);
        for (int i : indexes)
            text.append(deletionOf.at(i)->Lines);
        return text;
    };
    QList<int> written;  // the values whose lines the saved undo text holds
    QStringList staged;
    QList<int> stagedFor;
    TRegistry::DeleteValues(deletions, [&](const QList<int> &going) {
        // The last moment a Stop keeps everything.
        if (Stopped()) {
            FOutcome.Stopped = true;
            return false;
        }
        if (!FInput.WriteUndo)
            return true;
        staged = undoText(going);
        stagedFor = going;
        const bool ready = StageUndo(staged);
        if (ready)
            Report(count + count / 4 + 1, true);
        return ready;
    }, FInput.Prefix, [&](QString *why) {
        if (!FInput.WriteUndo)
            return true;
        if (!CommitUndo(why))
            return false;
        FOutcome.Undo.Lines = staged;
        written = stagedFor;
        return true;
    });
    DiscardStagedUndo();
    if (FOutcome.Stopped) {
        FOutcome.Removed.fill(false);
        FOutcome.Failures = 0;
        FOutcome.Lossy = 0;
        FOutcome.Changed = 0;
        return FOutcome;
    }

    QList<bool> inUndo(deletions.size(), false);
    for (int i : std::as_const(written))
        inUndo[i] = true;
    bool keptAfterUndo = false;
    for (int i = 0; i < deletions.size(); ++i) {
        const TValueDeletion &d = deletions.at(i);
        if (d.Result == TValueDeletion::TResult::Changed) {
            FOutcome.Removed[deletionOf.at(i)->Row] = true;
            ++FOutcome.Changed;
            keptAfterUndo = keptAfterUndo || inUndo[i];
            continue;
        }
        if (d.Result != TValueDeletion::TResult::Refused) {
            FOutcome.Removed[deletionOf.at(i)->Row] = true;
            continue;
        }
        ++FOutcome.Failures;
        const QString why = d.Error.isEmpty() ? FUndoError : d.Error;
        const auto same = std::find_if(FOutcome.Reasons.begin(), FOutcome.Reasons.end(),
                                       [&why](const TKept &k) { return k.Reason == why; });
        if (same != FOutcome.Reasons.end())
            ++same->Count;
        else if (!why.isEmpty())
            FOutcome.Reasons.append({why, 1});
        keptAfterUndo = keptAfterUndo || inUndo[i];
    }
    if (keptAfterUndo) {
        // A hive that could not be written keeps its values, and so does a value changed at the
        // last moment: their lines leave the undo text again.
        written.removeIf([&](int i) {
            return deletions.at(i).Result == TValueDeletion::TResult::Refused
                   || deletions.at(i).Result == TValueDeletion::TResult::Changed;
        });
        const QStringList text = undoText(written);
        QString error;
        if (UndoFiles::SaveUndoText(FOutcome.Undo.FileName, text, &error))
            FOutcome.Undo.Lines = text;
    }
    Report(FTotal, true);
    return FOutcome;
}

}  // namespace

namespace RegistryDeletion {

TOutcome Run(const TInput &input, const THooks &hooks)
{
    return TRun(input, hooks).Run();
}

TUndoRescue BatchRescue(TBatchState *batch, std::function<QString()> timeStamp)
{
    return [batch, timeStamp = std::move(timeStamp)](const QString &, const QString &, const QStringList &, QString *,
                                                     QString *) {
        if (batch)
            batch->FLog.append({timeStamp ? timeStamp() : QString(), QStringLiteral("Can't save undo data, nothing was deleted!")});
        return false;
    };
}

QString ChangedText(int count)
{
    return SafeFormat(LangMessage(QStringLiteral("M139RI"),
                                  QStringLiteral("%d entries were kept: their data has changed since the search!")),
                      count);
}

QString LossyText(int count)
{
    return SafeFormat(LangMessage(QStringLiteral("M137RI"), QStringLiteral("%d entries were not deleted: their undo data "
                                                                           "holds characters that the undo file cannot "
                                                                           "store!")),
                      TFormatArg::Count(count));
}

void LogBatchOutcome(TBatchState &batch, const TOutcome &outcome, const QString &stamp)
{
    if (outcome.Stopped) {
        batch.FBatchMode = false;
        batch.FBatchAborted = true;
        batch.FLog.append({stamp, QStringLiteral("Aborted by user!")});
        return;
    }
    if (outcome.UndoNotPut)
        batch.FLog.append({stamp, QStringLiteral("Can't save undo data, nothing was deleted!")});
    if (outcome.Changed > 0)
        batch.FLog.append({stamp, ChangedText(outcome.Changed)});
    if (outcome.Lossy > 0) {
        const QString text = LossyText(outcome.Lossy);
        batch.FLog.append({stamp, text});
        batch.KeepFailure(text);
    }
    if (outcome.Failures > 0) {
        const QString text = QStringLiteral("Vaskimo failed to delete ") + QString::number(outcome.Failures) + QStringLiteral(" entries!");
        batch.FLog.append({stamp, text});
        for (const TKept &kept : outcome.Reasons) {
            batch.FLog.append(kept.Reason);
            batch.KeepFailure(QStringLiteral("%1 entries were kept: %2").arg(kept.Count).arg(kept.Reason));
        }
        if (outcome.Reasons.isEmpty())
            batch.KeepFailure(text);
    }
}

}  // namespace RegistryDeletion

// ---- one program run's deletes

TRegistryCleanup::TConfig TRegistryCleanup::TConfig::FromSettings(const TSettings *settings, const QString &programFolder)
{
    TConfig config;
    config.ProgramFolder = programFolder;
    if (settings) {
        config.WriteUndo = settings->FRegistryUndo;
        config.UndoFolder = settings->FRegistryUndoDir;
        config.Levels = settings->FUndoLevels;
    }
    return config;
}

TInput TRegistryCleanup::Input(const TConfig &config, const QList<TRegistryRecord *> &records, const QList<int> &rows,
                               bool unattended) const
{
    TInput input;
    input.WriteUndo = config.WriteUndo;
    input.Unattended = unattended;
    input.Prefix = config.Prefix;
    input.Undo.FileName = FFileName;
    input.Undo.FolderHost = UndoFiles::UndoFolderHost(config.UndoFolder, config.ProgramFolder, config.Prefix);
    input.Undo.Levels = config.Levels;
    input.Undo.UniqueName = config.UniqueName;
    input.Undo.Header = config.Header.isEmpty() ? QStringLiteral("REGEDIT4") : config.Header;
    input.Undo.Lines = FLines;
    input.Rows.reserve(rows.size());
    for (int row : rows)
        input.Rows.append(records.at(row));
    return input;
}

QList<TRegistryRecord *> TRegistryCleanup::Finish(const TOutcome &outcome, const QList<int> &rows,
                                                  QList<TRegistryRecord *> &records)
{
    FFileName = outcome.Undo.FileName;
    FLines = outcome.Undo.Lines;
    QList<bool> goes(records.size(), false);
    for (int i = 0; i < rows.size(); ++i)
        if (outcome.Removed.value(i))
            goes[rows.at(i)] = true;
    QList<TRegistryRecord *> gone;
    if (!goes.contains(true))
        return gone;
    QList<TRegistryRecord *> kept;
    kept.reserve(records.size());
    for (qsizetype row = 0; row < records.size(); ++row)
        (goes.at(row) ? gone : kept).append(records.at(row));
    records = std::move(kept);
    return gone;
}

TOutcome TRegistryCleanup::Delete(const TConfig &config, QList<TRegistryRecord *> &records, const QList<int> &rows,
                                  bool unattended, const THooks &hooks, QList<TRegistryRecord *> *gone)
{
    const TOutcome outcome = RegistryDeletion::Run(Input(config, records, rows, unattended), hooks);
    const QList<TRegistryRecord *> removed = Finish(outcome, rows, records);
    if (gone)
        *gone = removed;
    return outcome;
}

// ---- the worker

TRegistryDeletion::TRegistryDeletion(QObject *owner, TInput input, TUndoRescue rescue, TProgressHandler onProgress)
    : TSharedThd(owner), FInput(std::move(input)), FRescue(std::move(rescue)), FOnProgress(std::move(onProgress))
{
    FOutcome.Undo = FInput.Undo;
}

void TRegistryDeletion::DoWork()
{
    THooks hooks;
    hooks.Stopped = [this] { return Terminated(); };
    if (FRescue)
        hooks.Rescue = [this](const QString &target, const QString &error, const QStringList &lines, QString *staged,
                              QString *chosen) {
            bool rescued = false;
            return Synchronize([&] { rescued = FRescue(target, error, lines, staged, chosen); }) && rescued;
        };
    if (FOnProgress)
        hooks.Progress = [this](int done, int total) {
            Post([handler = FOnProgress, sender = this, done, total] { handler(sender, done, total); });
        };
    FOutcome = RegistryDeletion::Run(FInput, hooks);
}
