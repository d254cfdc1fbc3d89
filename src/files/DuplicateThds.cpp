// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the duplicate finder's three worker stages: scan into sorted chunks, merge, compare.
#include "DuplicateThds.h"

#include "Crc32.h"
#include "DuplicateContents.h"
#include "md5.h"

#include "platform/DurableFile.h"

#include <QDateTime>
#include <QFile>
#include <QMutexLocker>
#include <QSemaphore>
#include <QWaitCondition>

#include <algorithm>
#include <exception>
#include <cerrno>
#include <cstring>
#include <queue>
#include <stdexcept>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Duplicate {

namespace {

bool StatPath(const QString &hostPath, bool follow, struct stat &st)
{
    const QByteArray native = QFile::encodeName(hostPath);
    return (follow ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) == 0;
}

void RemoveFile(const QString &name)
{
    if (QFile::exists(name) && !QFile::remove(name))
        Fail(QStringLiteral("Cannot delete file %1.").arg(name));
}

}  // namespace

// --- stage base ------------------------------------------------------------------------------

TStageThd::TStageThd(QObject *owner, const QString &baseName, TProgressEvent onProgress, TStatusEvent onStatus)
    : TSharedThd(owner), BaseName(baseName), OnProgress(std::move(onProgress)), OnStatus(std::move(onStatus))
{
}

int TStageThd::HelperThreads()
{
    // Walking, reading and hashing wait on the disk as much as on the processor: a few at once.
    return std::clamp(QThread::idealThreadCount() - 1, 1, 3);
}

void TStageThd::RunOnWorkers(int helpers, const std::function<void()> &drain)
{
    if (!FPool) {
        FPool = std::make_unique<QThreadPool>();
        FPool->setMaxThreadCount(HelperThreads());
    }
    QSemaphore done;
    for (int h = 0; h < helpers; ++h)
        FPool->start([&] {
            drain();
            done.release();
        });
    drain();
    done.acquire(helpers);
}

void TStageThd::DoProgress()
{
    if (OnProgress)
        Synchronize([this] { OnProgress(GetCount(), ProgressKind); });
}

void TStageThd::DoStatus()
{
    if (OnStatus) {
        const QString text = StatusText;
        Synchronize([this, &text] { OnStatus(text); });
    }
}

void TStageThd::DoWork()
{
    const auto finish = [this](bool completed) {
        try {
            Finish(completed);
        } catch (const std::exception &) {
            // the temporaries that could not be removed are removed before the next search
        }
    };
    try {
        Work();
    } catch (...) {
        finish(false);
        throw;
    }
    finish(!Terminated());
}

// --- stage 1: scan ---------------------------------------------------------------------------

struct TScanFilThd::TFolderItem {
    QString Folder, HostFolder;  // Windows spelling, host path
    quint64 Device = 0;
};

struct TScanFilThd::TWalk {
    struct TFileId {
        quint64 Device, Inode;
        bool operator==(const TFileId &) const = default;
    };
    struct TFileIdHash {
        std::size_t operator()(const TFileId &id) const noexcept
        {
            return std::hash<quint64>()(id.Inode * 0x9E3779B97F4A7C15ull ^ id.Device);
        }
    };
    std::vector<TFolderItem> Roots;

    QMutex Mutex;  // everything below
    QWaitCondition Changed;
    std::vector<TFolderItem> Queue;
    int Busy = 0;
    std::exception_ptr Error;
    std::unordered_set<TFileId, TFileIdHash> Folders, LinkedFiles;

    bool FirstVisit(std::unordered_set<TFileId, TFileIdHash> &seen, quint64 device, quint64 inode)
    {
        QMutexLocker lock(&Mutex);
        return seen.insert({device, inode}).second;
    }
    bool FirstVisit(std::unordered_set<TFileId, TFileIdHash> &seen, const struct stat &st)
    {
        return FirstVisit(seen, quint64(st.st_dev), quint64(st.st_ino));
    }
};

TScanFilThd::TScanFilThd(QObject *owner, const QString &baseName, TProgressEvent onProgress,
                         TStatusEvent onStatus, TScanRequest request,
                         std::shared_ptr<const TFileLayer> layer)
    : TStageThd(owner, baseName, std::move(onProgress), std::move(onStatus)),
      FRequest(std::move(request)), FLayer(std::move(layer)), FWalk(std::make_unique<TWalk>())
{
    ProgressKind = false;
    FRequest.ChunkLines = std::max(1, FRequest.ChunkLines);
    for (const QString &entry : FRequest.SkipList)
        if (!entry.isEmpty())  // an empty entry would be part of every path and skip everything
            FLowerSkip << entry.toLower();
    FRequest.Masks.removeAll(QString());
    for (const QString &mask : FRequest.Masks)
        FMasks.emplace_back(mask);

    // The drive map is read here, on the creator's thread; the walk then spells every folder
    // from the host names below the drive's root, so HostPathOf can map it back directly.
    for (QString folder : FRequest.Folders) {
        folder = folder.trimmed();
        while (folder.endsWith(u'\\'))
            folder.chop(1);
        if (folder.size() < 2 || folder[1] != u':' || !folder[0].isLetter())
            continue;
        const QChar letter = folder[0].toUpper();
        const QString root = FLayer->HostRoot(letter);
        if (root.isEmpty())
            continue;
        QString host = root;
        if (folder.size() > 2) {
            const TPathMapping mapping = FLayer->ToHost(folder);
            if (mapping.State != TPathState::Resolved)
                continue;
            host = mapping.HostPath;
        }
        const qsizetype cut = root.endsWith(u'/') ? root.size() - 1 : root.size();
        if (!host.startsWith(root) || (host.size() > cut && host[cut] != u'/'))
            continue;
        QString relative = host.mid(cut);
        relative.replace(u'/', u'\\');
        FWalk->Roots.push_back({QString(letter) + u':' + relative, host, 0});
    }
}

TScanFilThd::~TScanFilThd() = default;

QStringList TScanFilThd::ChunkFiles() const
{
    QMutexLocker lock(&FChunkMutex);
    return FChunkFiles;
}

QList<TSkippedEntry> TScanFilThd::SkippedEntries() const
{
    QMutexLocker lock(&FChunkMutex);
    QList<TSkippedEntry> skipped = FSkipped;
    std::sort(skipped.begin(), skipped.end(), [](const TSkippedEntry &a, const TSkippedEntry &b) {
        const int c = a.Path.compare(b.Path, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.Path < b.Path;
    });
    return skipped;
}

bool TScanFilThd::Skipped(const QString &lowerText) const
{
    for (const QString &entry : FLowerSkip)
        if (lowerText.contains(entry))
            return true;
    return false;
}

void TScanFilThd::Work()
{
    RemoveTemporaries(BaseName);
    for (TFolderItem root : FWalk->Roots) {
        struct stat st;
        if (!StatPath(root.HostFolder, true, st) || !S_ISDIR(st.st_mode) || !FWalk->FirstVisit(FWalk->Folders, st))
            continue;
        root.Device = quint64(st.st_dev);
        FWalk->Queue.push_back(root);
    }
    WalkFolders();
    if (Terminated())
        return;
    if (!FLines.empty())
        SaveChunk(std::move(FLines));
}

// Folders are taken from one queue by this thread and a few helpers; the key lines are sorted
// into chunks, so the order in which folders are walked changes no result.
void TScanFilThd::WalkFolders()
{
    TWalk &walk = *FWalk;
    std::reverse(walk.Queue.begin(), walk.Queue.end());
    RunOnWorkers(HelperThreads(), [&] {
        std::vector<TFolderItem> subfolders;
        std::vector<QString> lines;
        QMutexLocker lock(&walk.Mutex);
        while (true) {
            if (Terminated() || walk.Error)
                break;
            if (walk.Queue.empty()) {
                if (walk.Busy == 0)
                    break;
                walk.Changed.wait(&walk.Mutex, 20);
                continue;
            }
            const TFolderItem item = std::move(walk.Queue.back());
            walk.Queue.pop_back();
            ++walk.Busy;
            lock.unlock();
            try {
                WalkFolder(item, subfolders, lines);
                AddLines(lines);
            } catch (...) {
                lock.relock();
                walk.Error = std::current_exception();
                --walk.Busy;
                break;
            }
            lock.relock();
            --walk.Busy;
            // Depth first, children in name order: the next folder taken is the first child.
            walk.Queue.insert(walk.Queue.end(), std::make_move_iterator(subfolders.rbegin()),
                              std::make_move_iterator(subfolders.rend()));
            // This worker takes one of them itself; the rest may wake others. The end wakes all.
            if (walk.Queue.empty() && walk.Busy == 0)
                walk.Changed.wakeAll();
            else
                for (std::size_t k = 1; k < subfolders.size(); ++k)
                    walk.Changed.wakeOne();
            subfolders.clear();
        }
        walk.Changed.wakeAll();
    });
    if (walk.Error)
        std::rethrow_exception(walk.Error);
}

void TScanFilThd::ReportFolder(const QString &folder)
{
    // The status names the folder being searched; one report per 50 ms shows the same thing
    // without making the walk wait for the window at every folder.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 last = FLastStatus.load();
    if (last >= 0 && now - last < 50)
        return;
    if (!FLastStatus.compare_exchange_strong(last, now) || !OnStatus)
        return;
    Post([onStatus = OnStatus, folder] { onStatus(folder); });
}

void TScanFilThd::WalkFolder(const TFolderItem &item, std::vector<TFolderItem> &subfolders,
                             std::vector<QString> &lines)
{
    const QString &folder = item.Folder;
    if (Skipped(folder.toLower()))
        return;
    const QString bin = folder.mid(1, 10).toUpper();
    if (bin == QLatin1String(":\\RECYCLED") || bin == QLatin1String(":\\RECYCLER"))
        return;
    // Only the files a mask takes (and a desktop.ini that skips its folder) are looked at.
    HostFiles::TListNeeds needs;
    needs.KeepFile = [this](QStringView folded) {
        return (FRequest.SkipDesktopIni && folded == u"desktop.ini")
            || std::any_of(FMasks.cbegin(), FMasks.cend(), [&](const TFileMask &mask) { return mask.MatchesFolded(folded); });
    };
    QList<TSearchRec> faulted;
    const QList<TSearchRec> entries = FLayer->ListFolder(item.HostFolder, &faulted, needs);
    if (FRequest.SkipDesktopIni) {
        for (const TSearchRec &entry : entries)
            if (!(entry.Attr & FileAttr::Directory)
                && entry.Name.compare(QLatin1String("desktop.ini"), Qt::CaseInsensitive) == 0)
                return;
    }
    ReportFolder(folder);
    SkipFaulted(folder, faulted);

    // Entries the listing could not tell about are looked up relative to the folder: no path walk
    // per file.
    int dirFd = -1;
    const auto statEntry = [&](const TSearchRec &entry, struct stat &st) {
        if (dirFd < 0)
            dirFd = ::open(QFile::encodeName(item.HostFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        return dirFd >= 0
            && ::fstatat(dirFd, QFile::encodeName(entry.Name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    };
    for (TSearchRec entry : entries) {
        if (Terminated())
            break;
        // The listing's own look at the entry serves, when it has one: a second stat per file
        // costs as much as the listing.
        if (entry.Inode == 0) {
            struct stat st;
            const bool folder = entry.Attr & FileAttr::Directory;
            if (!statEntry(entry, st) || !(folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)))
                continue;
            entry.Size = folder ? 0 : qint64(st.st_size);
            entry.Device = quint64(st.st_dev);
            entry.Inode = quint64(st.st_ino);
            entry.Links = quint32(st.st_nlink);
        }
        if (entry.Attr & FileAttr::Directory) {
            if (!entry.IsHiddenFolder() && entry.Device == item.Device && FWalk->FirstVisit(FWalk->Folders, entry.Device, entry.Inode))
                subfolders.push_back({folder + u'\\' + entry.Name, entry.HostPath, item.Device});
            continue;
        }
        const QString folded = entry.Name.toCaseFolded();
        if (std::none_of(FMasks.cbegin(), FMasks.cend(), [&](const TFileMask &mask) { return mask.MatchesFolded(folded); }))
            continue;
        if (FRequest.SkipEmpty && entry.Size == 0)
            continue;
        if (!FLowerSkip.isEmpty() && Skipped(entry.Name.toLower()))
            continue;
        // Hard links are one file: never its own duplicate. (A folder is walked only once.)
        if (entry.Links > 1 && !FWalk->FirstVisit(FWalk->LinkedFiles, entry.Device, entry.Inode))
            continue;
        TKeyFields fields;
        fields.Name = entry.Name;
        fields.Folder = folder;
        fields.Size = entry.Size;
        fields.Date = FileDateOf(entry.MTime);
        fields.Attr = entry.Attr;
        if (FRequest.SkipEmpty && fields.Size == 0)
            continue;
        lines.push_back(MakeKeyLine(fields, FRequest.SameSize, FRequest.SameDate));
    }
    if (dirFd >= 0)
        ::close(dirFd);
}

// A folder with no Windows path is never walked: every path below it would name another file.
void TScanFilThd::SkipFaulted(const QString &folder, const QList<TSearchRec> &faulted)
{
    QList<TSkippedEntry> skipped;
    for (const TSearchRec &entry : faulted) {
        const bool isFolder = entry.Attr & FileAttr::Directory;
        if (entry.IsHiddenFolder())
            continue;
        if (!isFolder) {
            const QString folded = entry.Name.toCaseFolded();
            if (std::none_of(FMasks.cbegin(), FMasks.cend(), [&](const TFileMask &mask) { return mask.MatchesFolded(folded); }))
                continue;
            if (FRequest.SkipEmpty && entry.Size == 0)
                continue;
        }
        if (Skipped(entry.Name.toLower()))
            continue;
        skipped.append({folder + u'\\' + entry.Name + (isFolder ? QStringLiteral("\\") : QString()), entry.Fault,
                        entry.Size});
    }
    if (skipped.isEmpty())
        return;
    QMutexLocker lock(&FChunkMutex);
    FSkipped.append(skipped);
}

void TScanFilThd::AddLines(std::vector<QString> &lines)
{
    std::vector<std::vector<QString>> full;
    {
        QMutexLocker lock(&FChunkMutex);
        Count += qint64(lines.size());
        for (QString &line : lines) {
            FLines.push_back(std::move(line));
            if (FLines.size() >= std::size_t(FRequest.ChunkLines))
                full.push_back(std::exchange(FLines, {}));
        }
    }
    lines.clear();
    for (std::vector<QString> &chunk : full)
        SaveChunk(std::move(chunk));
}

void TScanFilThd::SaveChunk(std::vector<QString> lines)
{
    std::sort(lines.begin(), lines.end(),
              [](const QString &a, const QString &b) { return CompareKeyLines(a, b) < 0; });
    QString name;
    {
        QMutexLocker lock(&FChunkMutex);
        name = ChunkName(BaseName, FChunkIndex++);
        FChunkFiles << name;
    }
    TLineWriter writer(name);
    writer.Open();
    for (const QString &line : lines)
        writer.Write(line);
    writer.Close();
}

void TScanFilThd::Finish(bool completed)
{
    if (completed)
        return;
    QMutexLocker lock(&FChunkMutex);
    for (const QString &name : std::as_const(FChunkFiles))
        QFile::remove(name);
    FChunkFiles.clear();
}

// --- stage 2: merge --------------------------------------------------------------------------

TMergeThd::TMergeThd(QObject *owner, const QString &baseName, TProgressEvent onProgress,
                     TStatusEvent onStatus, QStringList chunkFiles)
    : TStageThd(owner, baseName, std::move(onProgress), std::move(onStatus)),
      FChunks(std::move(chunkFiles))
{
}

void TMergeThd::Work()
{
    FTouched = FChunks;
    const QString target = ChunkName(BaseName, 0);
    if (FChunks.isEmpty() || (FChunks.size() == 1 && FChunks.first() == target))
        return;

    // More chunks than can be open at once are merged in groups first, into fresh numbers.
    QStringList inputs = FChunks;
    qint64 next = FChunks.size();
    while (inputs.size() > MaxOpenInputs) {
        QStringList outputs;
        for (qsizetype at = 0; at < inputs.size(); at += MaxOpenInputs) {
            QString output;
            do
                output = ChunkName(BaseName, next++);
            while (FTouched.contains(output));
            FTouched << output;
            if (!MergeFiles(inputs.mid(at, MaxOpenInputs), output))
                return;
            outputs << output;
        }
        inputs = outputs;
    }
    MergeFiles(inputs, target);
}

bool TMergeThd::MergeFiles(const QStringList &inputs, const QString &target)
{
    const QString work = WorkFileName(BaseName);
    if (!FTouched.contains(work))
        FTouched << work;
    if (!FTouched.contains(target))
        FTouched << target;

    std::vector<std::unique_ptr<TLineReader>> readers;
    for (const QString &name : inputs) {
        readers.push_back(std::make_unique<TLineReader>(name));
        if (!readers.back()->Open())
            Fail(QStringLiteral("Cannot open file %1. %2").arg(name, readers.back()->ErrorString()));
    }
    TLineWriter writer(work);
    writer.Open();

    struct THead {
        QString Line;
        std::size_t Source;
    };
    // Equal lines leave in chunk order, so a merge of sorted chunks is a stable sort.
    const auto after = [](const THead &a, const THead &b) {
        const int c = CompareKeyLines(a.Line, b.Line);
        return c != 0 ? c > 0 : a.Source > b.Source;
    };
    std::priority_queue<THead, std::vector<THead>, decltype(after)> heads(after);
    const auto advance = [&](std::size_t source) {
        QString line;
        if (readers[source]->Next(line)) {
            heads.push({std::move(line), source});
            if (++Count % 4096 == 0)
                DoProgress();
        }
    };
    ProgressKind = true;
    for (std::size_t i = 0; i < readers.size(); ++i)
        advance(i);
    while (!heads.empty()) {
        if (Terminated())
            return false;
        THead head = heads.top();
        heads.pop();
        writer.Write(head.Line);
        advance(head.Source);
    }
    readers.clear();
    writer.Close();

    for (const QString &name : inputs)
        RemoveFile(name);
    if (::rename(QFile::encodeName(work).constData(), QFile::encodeName(target).constData()) != 0)
        Fail(QStringLiteral("Cannot rename file %1 to %2. %3").arg(work, target, DurableFile::ReasonText(errno)));
    return true;
}

void TMergeThd::Finish(bool completed)
{
    const QString target = ChunkName(BaseName, 0);
    for (const QString &name : std::as_const(FTouched))
        if (!(completed && name == target))
            QFile::remove(name);
}

// --- stage 3: comparison ---------------------------------------------------------------------

namespace {
constexpr std::size_t BatchLines = 4096;   // key lines whose files are read together
constexpr std::size_t FoundBatch = 256;    // reported files handed to the owner in one call
constexpr qint64 SignatureBytes = 4096;
constexpr std::size_t OpenAtOnce = 32;                  // files of a run read side by side
constexpr qint64 DigestThreadBytes = qint64(32) << 20;  // files this large digest beside their reads
}

struct TDupesThd::TCandidate {
    QString Line;
    TKeyFields Fields;
    QString HostPath;
    std::array<std::uint8_t, 16> Signature{};
    bool Readable = false;
    bool HaveCrc = false, HaveMd5 = false;
    QByteArray Whole;  // a small file's bytes, kept from the signature read for its digests
    std::uint32_t Crc = 0;
    TMD5Digest Md5{};
};

TDupesThd::TDupesThd(QObject *owner, const QString &baseName, TProgressEvent onProgress,
                     TStatusEvent onStatus, TCompareRequest request, TFoundEvent onFound,
                     std::shared_ptr<const TFileLayer> layer)
    : TStageThd(owner, baseName, std::move(onProgress), std::move(onStatus)), FRequest(request),
      OnFound(std::move(onFound)), FLayer(std::move(layer))
{
    ProgressKind = false;
    for (int i = 0; i < 26; ++i)
        FRoots[i] = FLayer->HostRoot(QChar(u'A' + i));
}

void TDupesThd::Work()
{
    const QString name = ChunkName(BaseName, 0);
    TLineReader reader(name);
    if (!reader.Open())
        Fail(QStringLiteral("Cannot open file %1. %2").arg(name, reader.ErrorString()));

    std::vector<QString> group;
    QString key;
    QString line;
    while (reader.Next(line)) {
        if (Terminated())
            return;
        const QStringView lineKey = QStringView(line).left(
            GroupKeyLength(line, FRequest.SameName, FRequest.SameSize, FRequest.SameDate));
        if (!group.empty() && lineKey.compare(key, Qt::CaseInsensitive) == 0) {
            group.push_back(line);
        } else {
            if (group.size() > 1)
                HandleGroup(group);
            group.clear();
            key = lineKey.toString();
            group.push_back(line);
        }
        // Every 32nd line, at most one report per 50 ms: the window shows the same progress
        // without the comparison waiting on it for every few files.
        if (++Count % 32 == 0) {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            if (FLastProgress < 0 || now - FLastProgress >= 50) {
                FLastProgress = now;
                FlushFound();
                DoProgress();
            }
        }
    }
    if (group.size() > 1 && !Terminated())
        HandleGroup(group);
    if (!Terminated())
        ProcessBatch();
    if (!Terminated())
        FlushFound();
}

void TDupesThd::HandleGroup(std::vector<QString> &group)
{
    // The same line twice would be one file listed as its own duplicate.
    group.erase(std::unique(group.begin(), group.end()), group.end());
    if (group.size() < 2)
        return;
    if (!((FRequest.SameCRC || FRequest.SameMD5) && FRequest.SameSize)) {
        ReportSet(group, QString(), QString());
        return;
    }
    FBatchLines += group.size();
    FBatch.push_back(std::move(group));
    if (FBatchLines >= BatchLines)
        ProcessBatch();
}

void TDupesThd::ProcessBatch()
{
    std::vector<std::vector<TCandidate>> groups;
    groups.reserve(FBatch.size());
    std::vector<TCandidate *> all;
    for (std::vector<QString> &lines : FBatch) {
        std::vector<TCandidate> &candidates = groups.emplace_back();
        candidates.reserve(lines.size());
        for (QString &line : lines) {
            TCandidate c;
            if (!ParseKeyLine(line, FRequest.SameSize, FRequest.SameDate, c.Fields))
                Fail(QStringLiteral("Invalid key line: %1").arg(line));
            const QChar letter = c.Fields.Folder.isEmpty() ? QChar() : c.Fields.Folder[0].toUpper();
            if (letter < u'A' || letter > u'Z' || FRoots[letter.unicode() - 'A'].isEmpty())
                continue;
            c.HostPath = HostPathOf(FRoots[letter.unicode() - 'A'], c.Fields.Folder + u'\\' + c.Fields.Name);
            c.Line = std::move(line);
            candidates.push_back(std::move(c));
        }
        for (TCandidate &c : candidates)
            all.push_back(&c);
    }
    FBatch.clear();
    FBatchLines = 0;

    // A small file is read whole with its signature; its bytes wait for the digests unless the
    // batch is so large (one huge key group) that they are hashed at once instead.
    const bool keep = all.size() <= 2 * BatchLines;
    ParallelFor(all.size(), [&](std::size_t i) { all[i]->Readable = ReadSignature(*all[i], keep); });
    if (Terminated())
        return;

    std::vector<std::vector<TCandidate *>> runs;
    for (std::vector<TCandidate> &candidates : groups) {
        // A file that cannot be read is equal to nothing, not even to another unreadable one.
        std::vector<TCandidate *> readable;
        for (TCandidate &c : candidates)
            if (c.Readable)
                readable.push_back(&c);
        std::stable_sort(readable.begin(), readable.end(), [](const TCandidate *a, const TCandidate *b) {
            return std::memcmp(a->Signature.data(), b->Signature.data(), a->Signature.size()) < 0;
        });
        for (std::size_t first = 0; first < readable.size();) {
            std::size_t end = first + 1;
            while (end < readable.size() && readable[end]->Signature == readable[first]->Signature)
                ++end;
            if (end - first > 1)
                runs.emplace_back(readable.begin() + qsizetype(first), readable.begin() + qsizetype(end));
            first = end;
        }
    }

    // Large files are read side by side, at most OpenAtOnce of a run at a time; the largest reads
    // start first, so that none of them begins when the others are done.
    struct TJob {
        std::vector<TCandidate *> Files;
        bool WholeRun = true;
        qint64 Bytes = 0;
    };
    std::vector<TJob> jobs;
    for (const std::vector<TCandidate *> &run : runs) {
        const qint64 size = run.front()->Fields.Size;
        const std::size_t step = size <= SignatureBytes ? run.size() : OpenAtOnce;
        for (std::size_t from = 0; from < run.size(); from += step) {
            TJob &job = jobs.emplace_back();
            job.Files.assign(run.begin() + qsizetype(from), run.begin() + qsizetype(std::min(run.size(), from + step)));
            job.WholeRun = job.Files.size() == run.size();
            job.Bytes = size * qint64(job.Files.size());
        }
    }
    std::stable_sort(jobs.begin(), jobs.end(), [](const TJob &a, const TJob &b) { return a.Bytes > b.Bytes; });
    ParallelFor(jobs.size(), [&](std::size_t i) { SettleFiles(jobs[i].Files, jobs[i].WholeRun); },
                jobs.empty() || jobs.front().Bytes < (qint64(1) << 20) ? 8 : 1);
    for (std::vector<TCandidate *> &run : runs) {
        if (Terminated())
            return;
        CompareGroup(run);
    }
}

void TDupesThd::ParallelFor(std::size_t count, const std::function<void(std::size_t)> &work, std::size_t perHelper)
{
    std::atomic<std::size_t> next{0};
    RunOnWorkers(int(std::min<std::size_t>(std::size_t(HelperThreads()), count / perHelper)), [&] {
        for (std::size_t i; !Terminated() && (i = next.fetch_add(1)) < count;)
            work(i);
    });
}

bool TDupesThd::ReadSignature(TCandidate &c, bool keepSmallFile)
{
    const std::unique_ptr<QIODevice> file = FLayer->OpenRead(c.HostPath);
    if (!file || !file->isOpen())
        return false;
    const qint64 size = c.Fields.Size;
    // A small file is read whole; one byte more tells whether it grew since the scan.
    const bool whole = size <= SignatureBytes;
    const qint64 wanted = whole ? size + 1 : SignatureBytes;
    char buffer[SignatureBytes + 1];
    qint64 got = 0;
    while (got < wanted) {
        const qint64 n = file->read(buffer + got, wanted - got);
        if (n <= 0)
            break;
        got += n;
    }
    if (got != (whole ? size : SignatureBytes))
        return false;
    // Byte k goes into signature byte k mod 16: sixteen bytes at a time, then the tail.
    std::uint64_t lanes[2] = {0, 0};
    qint64 k = 0;
    for (; k + 16 <= got; k += 16) {
        std::uint64_t block[2];
        std::memcpy(block, buffer + k, 16);
        lanes[0] ^= block[0];
        lanes[1] ^= block[1];
    }
    std::memcpy(c.Signature.data(), lanes, 16);
    for (; k < got; ++k)
        c.Signature[std::size_t(k % 16)] ^= std::uint8_t(buffer[k]);
    if (whole) {
        if (keepSmallFile) {
            c.Whole = QByteArray(buffer, got);
        } else {
            c.Crc = Crc32Final(Crc32Update(Crc32Start, buffer, std::size_t(got)));
            TMD5Context context;
            MD5Init(context);
            MD5Update(context, buffer, std::size_t(got));
            MD5Final(c.Md5, context);
            c.HaveCrc = c.HaveMd5 = true;
        }
    }
    return true;
}

// Digests from the bytes the signature read kept.
void TDupesThd::ReadOwnDigests(TCandidate &c)
{
    if (FRequest.SameCRC && !c.HaveCrc) {
        c.Crc = Crc32Final(Crc32Update(Crc32Start, c.Whole.constData(), std::size_t(c.Whole.size())));
        c.HaveCrc = true;
    }
    if (FRequest.SameMD5 && !c.HaveMd5) {
        TMD5Context context;
        MD5Init(context);
        MD5Update(context, c.Whole.constData(), std::size_t(c.Whole.size()));
        MD5Final(c.Md5, context);
        c.HaveMd5 = true;
    }
}

// Settles the digests of files of one size and signature. Large files are each read once, side by
// side: files equal byte for byte share the digests of their class, computed once.
void TDupesThd::SettleFiles(std::vector<TCandidate *> &files, bool wholeRun)
{
    const qint64 size = files.front()->Fields.Size;
    if (size <= SignatureBytes) {
        for (TCandidate *c : files)
            ReadOwnDigests(*c);
        return;
    }
    std::vector<std::unique_ptr<QIODevice>> devices;
    std::vector<QIODevice *> open;
    for (const TCandidate *c : files) {
        devices.push_back(FLayer->OpenRead(c->HostPath));
        open.push_back(devices.back().get());
    }
    TSideBySideRequest request;
    request.Size = size;
    request.Crc = FRequest.SameCRC;
    request.Md5 = FRequest.SameMD5;
    request.LonesUnread = wholeRun;
    request.DigestThreads = size >= DigestThreadBytes;
    request.Stop = [this] { return Terminated(); };
    const std::vector<TContentOutcome> outcomes = ReadSideBySide(open, request);
    for (std::size_t i = 0; i < files.size(); ++i) {
        TCandidate &c = *files[i];
        const TContentOutcome &o = outcomes[i];
        c.Readable = o.Readable;
        c.HaveCrc = o.HaveCrc;
        c.Crc = o.Crc;
        c.HaveMd5 = o.HaveMd5;
        c.Md5 = o.Md5;
    }
}

void TDupesThd::CompareGroup(std::vector<TCandidate *> &candidates)
{
    std::vector<bool> taken(candidates.size(), false);
    for (std::size_t i = 0; i + 1 < candidates.size(); ++i) {
        const TCandidate &a = *candidates[i];
        if (taken[i] || !a.Readable)
            continue;
        std::vector<QString> set{a.Line};
        for (std::size_t j = i + 1; j < candidates.size(); ++j) {
            const TCandidate &b = *candidates[j];
            if (taken[j] || !b.Readable)
                continue;
            if ((FRequest.SameCRC && (!a.HaveCrc || !b.HaveCrc || a.Crc != b.Crc))
                || (FRequest.SameMD5 && (!a.HaveMd5 || !b.HaveMd5 || !MD5DigestsEqual(a.Md5, b.Md5))))
                continue;
            taken[j] = true;
            set.push_back(b.Line);
        }
        if (set.size() < 2)
            continue;
        std::sort(set.begin(), set.end(),
                  [](const QString &x, const QString &y) { return CompareKeyLines(x, y) < 0; });
        ReportSet(set, FRequest.SameCRC ? QString::number(a.Crc) : QString(),
                  FRequest.SameMD5 ? MD5DigestToHex(a.Md5) : QString());
    }
}

void TDupesThd::ReportSet(const std::vector<QString> &lines, const QString &crcText,
                          const QString &md5Text)
{
    for (const QString &line : lines) {
        TKeyFields fields;
        if (!ParseKeyLine(line, FRequest.SameSize, FRequest.SameDate, fields))
            Fail(QStringLiteral("Invalid key line: %1").arg(line));
        TFoundFile file;
        file.Name = fields.Name;
        file.Folder = fields.Folder;
        file.Size = fields.Size;
        file.DateText = DateText(fields.Date, FRequest.Locale);
        file.AttrText = AttrText(fields.Attr);
        file.CRCText = crcText;
        file.MD5Text = md5Text;
        file.SetNumber = SetNumber;
        FFound.push_back(std::move(file));
    }
    ++SetNumber;
    if (FFound.size() >= FoundBatch)
        FlushFound();
}

void TDupesThd::FlushFound()
{
    // The comparison does not wait for the window to take the files: it goes on reading while the
    // window lists them (and draws itself).
    if (OnFound && !FFound.empty())
        Post([onFound = OnFound, found = std::move(FFound)] {
            for (const TFoundFile &file : found)
                onFound(file);
        });
    FFound.clear();
}

void TDupesThd::Finish(bool)
{
    QFile::remove(ChunkName(BaseName, 0));
}

}  // namespace Duplicate
