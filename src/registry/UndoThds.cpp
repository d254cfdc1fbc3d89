// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the undo manager's loading worker: read, check, sort, with progress and Stop.
#include "UndoThds.h"

#include <QElapsedTimer>
#include <QFileInfo>

TUndoFileStamp TUndoFileStamp::Of(const QString &hostPath)
{
    const QFileInfo info(hostPath);
    TUndoFileStamp stamp;
    stamp.HostPath = hostPath;
    if (info.isFile()) {
        stamp.Size = info.size();
        stamp.Modified = info.lastModified();
    }
    return stamp;
}

TUndoLoader::TUndoLoader(QObject *owner, TInput input, TProgressHandler onProgress)
    : TSharedThd(owner), FInput(std::move(input)), FOnProgress(std::move(onProgress))
{
}

TUndoLoader::~TUndoLoader()
{
    qDeleteAll(FEntries);
}

QList<TUndoEntry *> TUndoLoader::TakeEntries()
{
    return std::exchange(FEntries, {});
}

void TUndoLoader::DoWork()
{
    // A report at most every 40 ms: the bar moves, the window's thread is not flooded.
    QElapsedTimer sinceReport;
    sinceReport.start();
    const UndoManager::TLoadProgress progress = [this, &sinceReport](qint64 done, qint64 total) {
        if (Terminated())
            return false;
        if (FOnProgress && (sinceReport.elapsed() >= 40 || done == total)) {
            sinceReport.restart();
            Post([handler = FOnProgress, sender = this, done = int(done), total = int(total)] {
                handler(sender, done, total);
            });
        }
        return true;
    };
    UndoManager::TLoadResult result =
        UndoManager::LoadFile(FInput.HostPath, FInput.Kind, FInput.Prefix, FInput.HostPathOf, progress);
    FStamp = TUndoFileStamp::Of(FInput.HostPath);
    FStopped = result.Stopped || Terminated();
    if (FStopped)
        return;
    FEntries.reserve(result.Entries.size());
    for (TUndoEntry &entry : result.Entries) {
        FLongest.Add(0, entry.Root);
        FLongest.Add(1, entry.Key);
        FLongest.Add(2, entry.ValueName);
        FLongest.Add(3, entry.Data);
        FEntries.append(new TUndoEntry(std::move(entry)));
    }
    UndoManager::SortEntries(FEntries, FInput.SortColumn, FInput.SortForward);
}
