// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the registry cleaner's delete transaction over its records (values, undo text, which
// records go), the worker that runs it away from the window's thread, and its batch log.
#pragma once

#include "registry/UndoFiles.h"
#include "shell/SharedThd.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TWinePrefix;
struct TBatchState;
struct TSettings;

// One found value; owned by the registry cleaner's record list.
struct TRegistryRecord {
    QString Root;
    QString Key;
    QString Modified;       // as shown
    QDateTime ModifiedTime; // as stored
    QString ValueName;
    QString Data;           // as found; gives the undo line of a value that is gone already
    int ImageIndex = 2;
};

// Where this program run's undo text goes; TRegistryCleanup keeps it between runs.
struct TUndoTarget {
    QString FileName;    // host path; empty until the run's first undo file was made
    QString FolderHost;  // the undo folder on the host; empty when it cannot be found
    int Levels = 10;
    UndoFiles::TUniqueName UniqueName;  // safe to call from any thread
    QString Header;      // the first line of a new undo text
    QStringList Lines;   // the whole undo text of this program run so far
};

namespace RegistryDeletion {

struct TInput {
    // The rows to delete; the list owns them and changes none of them until the run has ended.
    QList<const TRegistryRecord *> Rows;
    bool WriteUndo = true;
    bool Unattended = false;  // no box tells why the undo text could not be saved: the refusals do
    TUndoTarget Undo;
    std::shared_ptr<TWinePrefix> Prefix;
};
struct TKept {
    QString Reason;
    int Count = 0;
};
struct TOutcome {
    QList<bool> Removed;  // per row: the value is gone now, or changed since the search, and leaves the list
    int Changed = 0;      // rows whose value a Wine program changed since the search: the value stays
    int Failures = 0;     // rows whose key does not open or whose value could not be deleted
    int Lossy = 0;        // rows kept because their undo line would lose characters
    QList<TKept> Reasons; // why deletes failed, each once (a running wineserver, each hive that cannot be saved)
    bool Stopped = false;  // Stop came before anything was deleted: nothing was, every row stays
    bool UndoNotPut = false;  // the staged undo text could not be put in place: nothing was deleted
    TUndoTarget Undo;      // the undo text as saved, and its file
};
// The undo text could not be staged for target (error says why): stages it where the user
// chooses (*staged, for the file *chosen), or gives up (false).
using TUndoRescue = std::function<bool(const QString &target, const QString &error, const QStringList &lines,
                                       QString *staged, QString *chosen)>;

// What a run asks of whoever runs it; each may be empty.
struct THooks {
    std::function<bool()> Stopped;  // true once Stop was asked
    TUndoRescue Rescue;
    std::function<void(int done, int total)> Progress;  // at most every 40 ms, and at each stage
};

// The whole delete on the calling thread: reads each row's value and its undo line, stages the
// undo text, deletes every present value in one write run (each hive written once) after the undo
// text is in place, and takes the lines of values that stayed out of the undo file again.
// The undo text is written whole under a staged name first (Rescue asked for another place when
// it cannot be), and put in place only once the run may delete: a run that deletes nothing leaves
// every earlier undo file as it was.
TOutcome Run(const TInput &input, const THooks &hooks = {});

// A batch run's undo rescue: logs that nothing was deleted, and gives up.
TUndoRescue BatchRescue(TBatchState *batch, std::function<QString()> timeStamp);
// The texts, boxes and log lines alike, for rows kept because their data changed, or because their
// undo lines would lose characters.
QString ChangedText(int count);
QString LossyText(int count);
// A batch run's log lines and failures for an ended run (a stopped one stops the batch run).
void LogBatchOutcome(TBatchState &batch, const TOutcome &outcome, const QString &stamp);

}  // namespace RegistryDeletion

// The registry cleaner's deletes of one program run over its record list: each run's undo text
// goes on from the one before, in the same file. The window and its batch run delete through it.
class TRegistryCleanup
{
public:
    // What a run takes from the settings, read again for each run.
    struct TConfig {
        bool WriteUndo = true;
        QString UndoFolder;     // the setting: a Windows or host path, empty for the default
        QString ProgramFolder;  // host folder; the default undo folder's parent
        int Levels = 10;
        UndoFiles::TUniqueName UniqueName;  // safe to call from any thread
        QString Header;         // the first line of a new undo text; empty: "REGEDIT4"
        std::shared_ptr<TWinePrefix> Prefix;

        // [Registry] "Create undo file on delete", "Save undo files to", "Undo levels"; the
        // defaults without settings.
        static TConfig FromSettings(const TSettings *settings, const QString &programFolder);
    };

    // The input of a run that deletes rows (indexes into records, in the order they go).
    RegistryDeletion::TInput Input(const TConfig &config, const QList<TRegistryRecord *> &records, const QList<int> &rows,
                                   bool unattended) const;
    // An ended run: its undo text is kept for the next, and the records it removed leave records
    // (rows as given to Input; records unchanged since). Returns them for the caller to free.
    QList<TRegistryRecord *> Finish(const RegistryDeletion::TOutcome &outcome, const QList<int> &rows,
                                    QList<TRegistryRecord *> &records);
    // Input, Run and Finish on the calling thread; *gone gets the removed records.
    RegistryDeletion::TOutcome Delete(const TConfig &config, QList<TRegistryRecord *> &records, const QList<int> &rows,
                                      bool unattended, const RegistryDeletion::THooks &hooks,
                                      QList<TRegistryRecord *> *gone);

    // The host path of this program run's undo file; empty until the first was made.
    const QString &UndoFileName() const { return FFileName; }
    const QStringList &UndoLines() const { return FLines; }

private:
    QString FFileName;
    QStringList FLines;
};

// The transaction on a worker thread, with progress and Stop.
class TRegistryDeletion final : public TSharedThd
{
    Q_OBJECT
public:
    using TInput = RegistryDeletion::TInput;
    using TKept = RegistryDeletion::TKept;
    using TOutcome = RegistryDeletion::TOutcome;
    // Runs on the owner's thread.
    using TUndoRescue = RegistryDeletion::TUndoRescue;
    // On the owner's thread: how far the run has come; sender only tells runs apart.
    using TProgressHandler = std::function<void(TRegistryDeletion *sender, int done, int total)>;

    TRegistryDeletion(QObject *owner, TInput input, TUndoRescue rescue, TProgressHandler onProgress);

    // Once ended, on the owner's thread.
    const TOutcome &Outcome() const { return FOutcome; }

protected:
    void DoWork() override;

private:
    const TInput FInput;
    const TUndoRescue FRescue;
    const TProgressHandler FOnProgress;
    TOutcome FOutcome;
};
