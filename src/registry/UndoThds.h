// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TUndoLoader, the undo manager's worker that reads one undo file, checks its entries
// against the live registry and sorts them, away from the window's thread.
#pragma once

#include "registry/UndoManager.h"
#include "shell/LongestTexts.h"
#include "shell/SharedThd.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// What a file was when it was read: a file that still matches needs no new reading.
struct TUndoFileStamp {
    QString HostPath;
    qint64 Size = -1;
    QDateTime Modified;

    static TUndoFileStamp Of(const QString &hostPath);
    bool operator==(const TUndoFileStamp &other) const = default;
};

class TUndoLoader final : public TSharedThd
{
    Q_OBJECT
public:
    struct TInput {
        QString HostPath;
        TUndoNodeKind Kind = TUndoNodeKind::RegFile;
        std::shared_ptr<TWinePrefix> Prefix;
        UndoManager::THostPath HostPathOf;
        int SortColumn = 3;
        bool SortForward = true;
    };
    // On the owner's thread: how far the load has come (done of total); sender names the worker
    // only to be told apart from others, and is never to be used.
    using TProgressHandler = std::function<void(TUndoLoader *sender, int done, int total)>;

    TUndoLoader(QObject *owner, TInput input, TProgressHandler onProgress);
    ~TUndoLoader() override;

    // Once ended, on the owner's thread: the entries, sorted; the caller owns them.
    QList<TUndoEntry *> TakeEntries();
    bool Stopped() const { return FStopped; }
    // The texts that can be each column's widest (0 root, 1 key, 2 name, 3 data).
    const TLongestTexts &Longest() const { return FLongest; }
    // The file as it was after the load (a rebuilt file has been rewritten).
    const TUndoFileStamp &Stamp() const { return FStamp; }
    const TInput &Input() const { return FInput; }

protected:
    void DoWork() override;

private:
    const TInput FInput;
    const TProgressHandler FOnProgress;
    QList<TUndoEntry *> FEntries;
    TLongestTexts FLongest{4};
    TUndoFileStamp FStamp;
    bool FStopped = false;
};
