// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the duplicate finder's three worker stages: scan into sorted chunks, merge, compare.
//
// The scan writes one key line per physical file into sorted chunk files BaseName.000, .001 ...;
// the merge joins them into BaseName.000; the comparison reads that file, groups runs of equal
// keys and confirms sets by contents. All three order and group lines with CompareKeyLines, so a
// run of equal keys is never split by a different collation between stages. The walk and the file
// reads run on the stage's thread and a few pool threads; every report reaches the owner in order.
#pragma once

#include "DuplicateFiles.h"
#include "DuplicateKeys.h"

#include "platform/WinFiles.h"
#include "shell/SharedThd.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QIODevice;

namespace Duplicate {

constexpr int ChunkLines = 4096;        // key lines per sorted chunk file

// --- stage base ------------------------------------------------------------------------------

using TProgressEvent = std::function<void(int position, bool kind)>;
using TStatusEvent = std::function<void(const QString &text)>;

// A stage on the program's one worker base: the worker waits for progress, and hands found files
// and status texts over without waiting. Finish runs on the worker thread after the work, also
// after a stop or an error, before OnTerminate.
class TStageThd : public TSharedThd
{
    Q_OBJECT
public:
    int GetCount() const { return int(std::uint32_t(Count)); }
    qint64 Count64() const { return Count; }

protected:
    TStageThd(QObject *owner, const QString &baseName, TProgressEvent onProgress, TStatusEvent onStatus);

    virtual void Work() = 0;
    virtual void Finish(bool completed) = 0;
    // Runs drain on this thread and on up to helpers pool threads at once, and waits for all.
    void RunOnWorkers(int helpers, const std::function<void()> &drain);
    static int HelperThreads();
    void DoProgress();
    void DoStatus();

    QString BaseName;
    bool ProgressKind = false;
    qint64 Count = 0;
    QString StatusText;
    TProgressEvent OnProgress;
    TStatusEvent OnStatus;

private:
    void DoWork() final;

    std::unique_ptr<QThreadPool> FPool;
};

// --- stage 1: scan ---------------------------------------------------------------------------

struct TScanRequest {
    QStringList Folders;  // Windows folders: "C:", "D:\Data"
    bool SameName = false, SameSize = true, SameDate = false;
    QStringList Masks{QStringLiteral("*.*")};
    QStringList SkipList;
    bool SkipDesktopIni = false;
    bool SkipEmpty = false;
    int ChunkLines = Duplicate::ChunkLines;
};

// A file or folder the walk met and cannot offer: it has no Windows path that names it.
struct TSkippedEntry {
    QString Path;    // Windows folder, "\", the name as a list shows it; a folder ends in "\"
    TNameFault Fault = TNameFault::None;
    qint64 Size = 0;
};

class TScanFilThd final : public TStageThd
{
    Q_OBJECT
public:
    TScanFilThd(QObject *owner, const QString &baseName, TProgressEvent onProgress,
                TStatusEvent onStatus, TScanRequest request,
                std::shared_ptr<const TFileLayer> layer = DefaultFileLayer());
    ~TScanFilThd() override;

    // Chunk files written, in write order: the input of the merge.
    QStringList ChunkFiles() const;
    // What matched the masks (or would have been walked) but was skipped, by path.
    QList<TSkippedEntry> SkippedEntries() const;

protected:
    void Work() override;
    void Finish(bool completed) override;

private:
    struct TWalk;
    struct TFolderItem;
    void WalkFolders();
    void WalkFolder(const TFolderItem &item, std::vector<TFolderItem> &subfolders,
                    std::vector<QString> &lines);
    void SkipFaulted(const QString &folder, const QList<TSearchRec> &faulted);
    void AddLines(std::vector<QString> &lines);
    void ReportFolder(const QString &folder);
    bool Skipped(const QString &lowerText) const;
    void SaveChunk(std::vector<QString> lines);

    TScanRequest FRequest;
    std::shared_ptr<const TFileLayer> FLayer;
    QStringList FLowerSkip;
    std::vector<TFileMask> FMasks;
    std::unique_ptr<TWalk> FWalk;
    mutable QMutex FChunkMutex;  // FLines, FChunkIndex, FChunkFiles, FSkipped, Count
    std::vector<QString> FLines;
    qint64 FChunkIndex = 0;
    QStringList FChunkFiles;
    QList<TSkippedEntry> FSkipped;
    std::atomic<qint64> FLastStatus{-1};
};

// --- stage 2: merge --------------------------------------------------------------------------

class TMergeThd final : public TStageThd
{
    Q_OBJECT
public:
    // chunkFiles: the scan's own list; files of other runs are never read.
    TMergeThd(QObject *owner, const QString &baseName, TProgressEvent onProgress,
              TStatusEvent onStatus, QStringList chunkFiles);

    static constexpr int MaxOpenInputs = 256;

protected:
    void Work() override;
    void Finish(bool completed) override;

private:
    bool MergeFiles(const QStringList &inputs, const QString &target);

    QStringList FChunks;
    QStringList FTouched;  // every temporary this stage read or wrote
};

// --- stage 3: comparison ---------------------------------------------------------------------

struct TFoundFile {
    QString Name, Folder;
    qint64 Size = 0;
    QString DateText, AttrText, CRCText, MD5Text;
    qint64 SetNumber = 0;
};
using TFoundEvent = std::function<void(const TFoundFile &file)>;

struct TCompareRequest {
    bool SameName = false, SameSize = true, SameDate = false, SameCRC = true, SameMD5 = false;
    TUserLocale Locale;  // for the date texts; read on the creator's thread
};

// Groups runs of equal keys; with CRC or MD5 chosen (and equal sizes), splits each group by the
// quick signature of its first 4 KB, then settles the digests: a file that cannot be read, or is
// no longer its scanned size, is equal to nothing; files equal byte for byte share one digest.
class TDupesThd final : public TStageThd
{
    Q_OBJECT
public:
    TDupesThd(QObject *owner, const QString &baseName, TProgressEvent onProgress,
              TStatusEvent onStatus, TCompareRequest request, TFoundEvent onFound,
              std::shared_ptr<const TFileLayer> layer = DefaultFileLayer());

protected:
    void Work() override;
    void Finish(bool completed) override;

private:
    struct TCandidate;
    void HandleGroup(std::vector<QString> &group);
    void ProcessBatch();
    void CompareGroup(std::vector<TCandidate *> &candidates);
    bool ReadSignature(TCandidate &candidate, bool keepSmallFile);
    void ReadOwnDigests(TCandidate &candidate);
    void SettleFiles(std::vector<TCandidate *> &files, bool wholeRun);
    void ReportSet(const std::vector<QString> &lines, const QString &crcText,
                   const QString &md5Text);
    void FlushFound();
    // Runs work(0) ... work(count - 1) on this thread and the pool's, a helper for every perHelper
    // items; stops early after a stop.
    void ParallelFor(std::size_t count, const std::function<void(std::size_t)> &work, std::size_t perHelper = 8);

    TCompareRequest FRequest;
    TFoundEvent OnFound;
    std::shared_ptr<const TFileLayer> FLayer;
    qint64 SetNumber = 1;
    QString FRoots[26];  // host root of each drive letter, read on the creator's thread
    std::vector<std::vector<QString>> FBatch;  // key groups waiting for their file reads
    std::size_t FBatchLines = 0;
    std::vector<TFoundFile> FFound;  // reported sets not yet handed to the owner
    qint64 FLastProgress = -1;
};

}  // namespace Duplicate
