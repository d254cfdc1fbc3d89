// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the deletion thread TFileDeletionThread and the file layer it deletes through.
//
// Entries are Windows paths of files, or of folders written with a trailing backslash. The thread
// deletes them in batches through the file layer (the shell's file operation of old: recycle bin
// or permanent), sets aside the entries that are locked, and reports progress to its owner.
// Callers learn the outcome only by looking at which of their paths still exist afterwards.
#pragma once

#include "platform/DriveMap.h"
#include "shell/SharedThd.h"

#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class TWinePrefix;

// What the deletion needs of the file system. Keys are what Resolve makes of an entry; every other
// call takes a key.
class TDeletionFileLayer
{
public:
    virtual ~TDeletionFileLayer() = default;
    // The identity of an entry (two spellings of one object give one key; two objects never share
    // one), or empty when the entry names nothing or may not be deleted: empty, relative, UNC and
    // drive-root paths, and names Win32 reads as others (".", "..", a trailing dot or blank, a
    // character Windows cannot hold).
    virtual QString Resolve(const QString &entry) = 0;
    virtual bool Exists(const QString &key) = 0;    // as a file, folder or link (links are not followed)
    virtual bool IsFolder(const QString &key) = 0;  // a real folder, not a link to one
    // The file cannot be opened for reading and writing with no sharing (in use, read-only).
    virtual bool IsLocked(const QString &key) = 0;
    // The shell operation: deletes the keys in order (a folder with all it holds) and stops at the
    // first one that fails; false when one failed. Recycle-bin deletes never fall back to permanent.
    virtual bool Delete(const QStringList &keys, bool permanent) = 0;
    // Why the last Delete that failed, or the last IsLocked that said yes, left its entry: the
    // system's reason, naming the file inside a folder when that is what stayed. Empty when the
    // layer cannot tell.
    virtual QString LastError() const { return {}; }
};

// The real layer over a prefix's drives: permanent deletes never follow links and never cross into
// another file system; recycle-bin deletes go to the freedesktop.org Trash at trashHome.
class THostDeletionLayer : public TDeletionFileLayer
{
public:
    // prefix nullptr: TWinePrefix::Current() at each call; trashHome empty: TTrash::DefaultHome().
    explicit THostDeletionLayer(std::shared_ptr<TWinePrefix> prefix = nullptr, QString trashHome = {});
    // Over a fixed drive map (tests build one over a temporary folder).
    THostDeletionLayer(const TDriveMap &drives, QString trashHome);
    QString Resolve(const QString &entry) override;
    bool Exists(const QString &key) override;
    bool IsFolder(const QString &key) override;
    bool IsLocked(const QString &key) override;
    bool Delete(const QStringList &keys, bool permanent) override;
    QString LastError() const override { return FLastError; }

private:
    std::shared_ptr<TWinePrefix> FPrefix;
    std::optional<TDriveMap> FDrives;
    QString FTrashHome;
    std::pair<QString, QString> FLastFolder;  // the folder of the last entry resolved, and its real path
    QString FLastError;
};

namespace FileDeletion {
// The layer every deletion uses: the one set here, else a THostDeletionLayer over the current
// prefix and the default Trash. Tests set a fake or a layer with a temporary Trash home.
std::shared_ptr<TDeletionFileLayer> Layer();
void SetLayer(std::shared_ptr<TDeletionFileLayer> layer);  // nullptr restores the default
}

class TFileDeletionThread : public TSharedThd
{
    Q_OBJECT
public:
    using TProgressHandler = std::function<void(int done, int total)>;

    // owner: runs OnProgress and OnTerminate. The thread works on its own copy of files.
    TFileDeletionThread(QObject *owner, const QStringList &files, TProgressHandler onProgress, bool permanent,
                        bool forceRetry, std::shared_ptr<TDeletionFileLayer> layer = nullptr);

    int Total() const { return FTotal; }
    // After the run: why each entry that could not be deleted was left, by the entry as given.
    QHash<QString, QString> EntryReasons() const;

    // Batches start at FirstBatch entries and grow or shrink towards BatchTime milliseconds each.
    static constexpr int FirstBatch = 16;
    static constexpr int MaxBatch = 4096;
    static constexpr qint64 BatchTime = 100;

protected:
    void DoWork() override;  // DeleteAll

private:
    void DeleteAll();
    QStringList BuildBatch();
    void AdaptBatchSize(qint64 milliseconds);
    void SetAsideEntry(const QString &key);
    void NoteReason(const QString &key, const QString &fallback);
    void ReportProgress();

    TProgressHandler FOnProgress;
    QStringList FPending;  // keys, ascending; batches walk it from the end
    QStringList FEntries;  // as given
    QHash<QString, QString> FKeyOf;    // entry -> key
    QHash<QString, QString> FReasons;  // key -> why it is still there
    int FTotal = 0;
    bool FPermanent = false;
    QStringList FSetAside;  // keys, ascending
    bool FForceRetry = false;
    int FSetAsideCount = 0;
    int FBatchSize = FirstBatch;
    std::shared_ptr<TDeletionFileLayer> FLayer;
};
