// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TRegistryDeletion, the registry cleaner's worker that deletes the chosen values with
// their undo lines, away from the window's thread, with progress and Stop.
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

// Where this program run's undo text goes; the window keeps it between runs.
struct TUndoTarget {
    QString FileName;    // host path; empty until the run's first undo file was made
    QString FolderHost;  // the undo folder on the host; empty when it cannot be found
    int Levels = 10;
    UndoFiles::TUniqueName UniqueName;  // safe to call from any thread
    QString Header;      // the first line of a new undo text
    QStringList Lines;   // the whole undo text of this program run so far
};

class TRegistryDeletion final : public TSharedThd
{
    Q_OBJECT
public:
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
    // What the owner's thread does when the undo text could not be staged for target (error says
    // why): stages it where the user chooses (*staged, for the file *chosen), or gives up (false).
    using TUndoRescue = std::function<bool(const QString &target, const QString &error, const QStringList &lines,
                                           QString *staged, QString *chosen)>;
    // On the owner's thread: how far the run has come; sender only tells runs apart.
    using TProgressHandler = std::function<void(TRegistryDeletion *sender, int done, int total)>;

    TRegistryDeletion(QObject *owner, TInput input, TUndoRescue rescue, TProgressHandler onProgress);

    // Once ended, on the owner's thread.
    const TOutcome &Outcome() const { return FOutcome; }

protected:
    void DoWork() override;

private:
    struct TPending;
    void Report(int done, bool force = false);
    // The run's undo text is written whole under a staged name first (asking for another place
    // when it cannot be), and put in place by CommitUndo only once the run may delete: a run that
    // deletes nothing leaves every earlier undo file as it was.
    bool StageUndo(const QStringList &lines);
    bool CommitUndo(QString *why);
    void DiscardStagedUndo();

    const TInput FInput;
    const TUndoRescue FRescue;
    const TProgressHandler FOnProgress;
    TOutcome FOutcome;
    QString FStaged;        // the staged undo text of the run
    QString FStagedFolder;  // the folder a first undo file is rotated in
    QString FStagedTarget;  // a file the user chose for the staged text
    QString FUndoError;     // why the staged text could not be written
    int FTotal = 0;
    qint64 FLastReport = -1;
};
