// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the unnecessary-file scan: masks per folder, filters, and the custom-folder rules.
#include "files/UnnecessaryThds.h"

#include "platform/CommaText.h"
#include "platform/SortedStringList.h"
#include "platform/WinFiles.h"

#include <QHash>
#include <QMutex>
#include <QScopeGuard>
#include <QSet>
#include <QThreadPool>
#include <QWaitCondition>

#include <algorithm>

namespace {

QStringList SortedCopy(const QStringList &items)
{
    TSortedStringList sorted(TSortedStringList::TDuplicates::Accept);
    sorted.AddStrings(items);
    return sorted.Items();
}

bool IsRecycleBin(const QString &folder)
{
    const QString part = folder.mid(1, 10).toUpper();
    return part == ":\\RECYCLED" || part == ":\\RECYCLER";
}

// A subfolder belongs to a custom folder when it is that folder or lies below it. A bare substring
// test would also hand C:\Temporary to the custom entry C:\Temp, and nothing would search it.
bool IsAtOrBelow(const QString &subpath, const QString &folder)
{
    QString base = folder;
    while (base.endsWith('\\'))
        base.chop(1);
    if (base.isEmpty())
        return false;
    return subpath.compare(base, Qt::CaseInsensitive) == 0
        || subpath.startsWith(base + '\\', Qt::CaseInsensitive);
}

} // namespace

// Listing a folder (a look at each subfolder and at each file a mask takes) is most of the walk:
// the folders the walk will enter next are listed ahead on a few pool threads, deepest first as
// the walk goes. The walk still takes every listing in its own order, so what it reports and
// when is unchanged.
class TEtsiTurhat::TListings
{
public:
    using TMasks = std::shared_ptr<const std::vector<TFileMask>>;

    TListings() : FState(std::make_shared<TState>())
    {
        FPool.setMaxThreadCount(std::clamp(QThread::idealThreadCount() - 1, 1, 3));
    }
    ~TListings()
    {
        FPool.clear();
        FPool.waitForDone();
    }

    // folder: a Windows folder ending in "", at hostFolder; depth: how deep the walk is below
    // its root. Of the files, only those masks take are listed.
    void ListAhead(const QString &folder, const QString &hostFolder, const TMasks &masks, int depth)
    {
        QMutexLocker lock(&FState->Mutex);
        if (FState->Ready.size() >= MaxAhead || FState->Ready.contains(folder))
            return;
        auto slot = std::make_shared<TSlot>();
        slot->Masks = masks;
        FState->Ready.insert(folder, slot);
        lock.unlock();
        FPool.start([state = FState, slot, hostFolder] {
            QList<TSearchRec> faulted;
            QList<TSearchRec> listing = List(hostFolder, slot->Masks, &faulted);
            QMutexLocker done(&state->Mutex);
            slot->Listing = std::move(listing);
            slot->Faulted = std::move(faulted);
            slot->Done = true;
            state->Changed.wakeAll();
        }, depth);
    }

    // The folder's entries; those with no Windows path of their own in *faulted.
    QList<TSearchRec> Take(const QString &folder, const QString &hostFolder, const TMasks &masks,
                           QList<TSearchRec> *faulted)
    {
        QMutexLocker lock(&FState->Mutex);
        const std::shared_ptr<TSlot> slot = FState->Ready.take(folder);
        if (slot) {
            while (!slot->Done)
                FState->Changed.wait(&FState->Mutex);
            // A listing made for other masks (the drive walk's, of a custom folder) holds other files.
            if (slot->Masks == masks) {
                *faulted = std::move(slot->Faulted);
                return std::move(slot->Listing);
            }
        }
        lock.unlock();
        return List(hostFolder, masks, faulted);
    }

private:
    static QList<TSearchRec> List(const QString &hostFolder, const TMasks &masks, QList<TSearchRec> *faulted)
    {
        HostFiles::TListNeeds needs;
        needs.KeepFile = [masks](QStringView folded) {
            return std::any_of(masks->cbegin(), masks->cend(), [&](const TFileMask &mask) { return mask.MatchesFolded(folded); });
        };
        return hostFolder.isEmpty() ? QList<TSearchRec>() : HostFiles::ListFolder(hostFolder, faulted, needs);
    }

    static constexpr qsizetype MaxAhead = 256;
    struct TSlot {
        bool Done = false;
        TMasks Masks;
        QList<TSearchRec> Listing, Faulted;
    };
    struct TState {
        QMutex Mutex;
        QWaitCondition Changed;
        QHash<QString, std::shared_ptr<TSlot>> Ready;
    };
    std::shared_ptr<TState> FState;
    QThreadPool FPool;
};

TEtsiTurhat::TEtsiTurhat(QObject *owner, const QStringList &skipList, TFolderHandler onFolder, TFoundHandler onFound,
                         quint32 attrSkipMask, const QStringList &masks, const QStringList &customEntries,
                         const QString &drives, bool recurseCustom, bool skipEmpty,
                         std::shared_ptr<TWinePrefix> prefix)
    : TSharedThd(owner), FSkipList(SortedCopy(skipList)), FOnFolder(std::move(onFolder)), FOnFound(std::move(onFound)),
      FAttrSkipMask(attrSkipMask), FMasks(SortedCopy(masks)), FCustomEntries(SortedCopy(customEntries)),
      FDrives(drives), FRecurseCustom(recurseCustom), FSkipEmpty(skipEmpty), FPrefix(std::move(prefix)),
      FLocale(TUserLocale::FromRegistry(FPrefix))
{
    // An empty skip item (from "temp,") would occur in every path and skip everything.
    FSkipList.removeAll(QString());
    for (QString &item : FSkipList)
        item = item.toLower();
}

TEtsiTurhat::~TEtsiTurhat() = default;

QString TEtsiTurhat::AttrText(quint32 attr)
{
    QString text;
    if (attr & FileAttr::ReadOnly)
        text += " R";
    if (attr & FileAttr::Hidden)
        text += " H";
    if (attr & FileAttr::System)
        text += " S";
    if (attr & FileAttr::Archive)
        text += " A";
    return text.mid(1);
}

QString TEtsiTurhat::DateText(const TLocalTime &local, const TUserLocale &locale)
{
    // Asked for every file found: a time in the years a directory entry holds is cut to its
    // two-second steps without another pass through the time zone; one outside them takes the
    // entry's first or last time.
    if (local.Date.year() >= 1980 && local.Date.year() <= 2107)
        return locale.DateTime(local.Date, QTime(local.Time.hour(), local.Time.minute(), local.Time.second() & ~1));
    const QDateTime t = FileDateToDateTime(DateTimeToFileDate(QDateTime(local.Date, local.Time)));
    return locale.DateTime(t.date(), t.time());
}

QString TEtsiTurhat::CustomFolder(const QString &entry)
{
    const qsizetype colon = entry.lastIndexOf(':');
    return colon > 1 ? entry.left(colon) : entry;
}

QString TEtsiTurhat::CustomMasks(const QString &entry)
{
    const qsizetype colon = entry.lastIndexOf(':');
    return colon > 1 ? entry.mid(colon + 1) : QString();
}

void TEtsiTurhat::DoWork()
{
    if (Terminated())
        return;
    FListings = std::make_unique<TListings>();
    // Only the roots are mapped through the drives: every folder below is a host entry.
    const TDriveMap &drives = WinFiles::DrivesOf(FPrefix);
    const auto hostOf = [&drives](const QString &folder) {
        const TPathMapping m = drives.ToHost(folder);
        return m.State == TPathState::Resolved ? m.HostPath : QString();
    };
    const auto listingsDone = qScopeGuard([this] { FListings.reset(); });
    FSinceHandOver.start();
    if (!FMasks.isEmpty()) {
        for (const QString &drive : CommaTextToList(FDrives)) {
            if (Terminated())
                return;
            if (drive.isEmpty())
                continue;
            const QString root = drive.left(1) + ":\\";
            WalkFolder(root, hostOf(root), FMasks, false, true, true);
        }
    }
    for (const QString &entry : std::as_const(FCustomEntries)) {
        if (Terminated())
            return;
        const QStringList masks = CommaTextToList(CustomMasks(entry));
        WalkFolder(CustomFolder(entry), hostOf(CustomFolder(entry)), masks, true, true, FRecurseCustom);
    }
    // What a stop interrupted is never reported.
    if (!Terminated())
        HandOver();
}

// One synchronised call per file kept the walk waiting for the window at every file: the reports
// wait here and go over together, a few times a second, without the walk waiting.
bool TEtsiTurhat::Report(TReport report)
{
    FReports.push_back(std::move(report));
    if (FReports.size() < ReportLimit && FSinceHandOver.elapsed() < ReportInterval)
        return true;
    return HandOver();
}

bool TEtsiTurhat::HandOver()
{
    FSinceHandOver.restart();
    if (FReports.empty())
        return true;
    // The walk goes on while the window lists what it found (and draws itself).
    const bool posted = Post([onFolder = FOnFolder, onFound = FOnFound, onSkipped = FOnSkipped,
                              reports = std::move(FReports)] {
        for (const TReport &r : reports) {
            if (r.Name.isEmpty()) {
                if (onFolder)
                    onFolder(r.Folder);
            } else if (r.Fault != TNameFault::None) {
                if (onSkipped)
                    onSkipped(r.Name, r.Folder, r.Size, r.Fault);
            } else if (onFound) {
                onFound(r.Name, r.Folder, r.Size, r.DateText, r.AttrText);
            }
        }
    });
    FReports.clear();
    return posted;
}

// What the walk would have reported or entered, had it a Windows path: a folder with no Windows
// path is never entered, as every path below it would name another file.
bool TEtsiTurhat::ReportFaulted(const QString &folder, const QList<TSearchRec> &faulted, bool filesHere, bool recurse)
{
    for (const TSearchRec &rec : faulted) {
        if (Terminated())
            return false;
        const bool isFolder = rec.Attr & FileAttr::Directory;
        if (isFolder ? !recurse || rec.IsHiddenFolder() : !filesHere)
            continue;
        if (Skipped(folder + rec.Name))
            continue;
        if (!isFolder) {
            if (rec.Attr & FAttrSkipMask)
                continue;
            if (rec.Size == 0 && FSkipEmpty)
                continue;
            const QString folded = rec.Name.toCaseFolded();
            if (std::none_of(FCompiled->cbegin(), FCompiled->cend(), [&](const TFileMask &mask) { return mask.MatchesFolded(folded); }))
                continue;
        }
        // Nested custom folders meet one entry twice.
        const QString seen = rec.HostPath.isEmpty() ? (folder + rec.Name).toCaseFolded() : rec.HostPath;
        if (FReported.contains(seen))
            continue;
        FReported.insert(seen);
        TReport report{isFolder ? rec.Name + u'\\' : rec.Name, folder, rec.Size, {}, {}};
        report.Fault = rec.Fault;
        if (!Report(std::move(report)))
            return false;
    }
    return true;
}

bool TEtsiTurhat::Skipped(const QString &path) const
{
    const QString lower = path.toLower();
    for (const QString &item : FSkipList)
        if (lower.contains(item))
            return true;
    return false;
}

void TEtsiTurhat::Compile(const QStringList &masks)
{
    if (FCompiled && masks == FCompiledFrom)
        return;
    FCompiledFrom = masks;
    auto compiled = std::make_shared<std::vector<TFileMask>>();
    for (const QString &mask : masks)
        compiled->emplace_back(mask);
    FCompiled = std::move(compiled);
}

void TEtsiTurhat::WalkFolder(QString folder, const QString &hostFolder, const QStringList &masks, bool custom,
                             bool filesHere, bool recurse)
{
    if (Terminated() || IsRecycleBin(folder))
        return;
    TReport entered;
    entered.Folder = folder;
    if (!Report(std::move(entered)))
        return;
    if (!folder.endsWith('\\'))
        folder += '\\';
    if (!filesHere && !recurse)
        return;
    // One listing serves every mask and the subfolders: the result is that of one enumeration per
    // mask, in mask order, without reading a big folder thirty times.
    Compile(masks);
    QList<TSearchRec> faulted;
    const QList<TSearchRec> listing = FListings->Take(folder, hostFolder, FCompiled, &faulted);
    if (!ReportFaulted(folder, faulted, filesHere, recurse))
        return;
    const int depth = int(folder.count('\\'));
    if (recurse)
        for (const TSearchRec &rec : listing)
            if ((rec.Attr & FileAttr::Directory) && !rec.IsHiddenFolder() && rec.Name != "." && rec.Name != ".."
                && !IsRecycleBin(folder + rec.Name) && !Skipped(folder + rec.Name))
                FListings->ListAhead(folder + rec.Name + '\\', rec.HostPath, FCompiled, depth);

    if (filesHere) {
        QList<QString> folded;
        folded.reserve(listing.size());
        for (const TSearchRec &rec : listing)
            folded.append(rec.Attr & FileAttr::Directory ? QString() : rec.Name.toCaseFolded());
        for (const TFileMask &mask : *FCompiled) {
            for (qsizetype i = 0; i < listing.size(); ++i) {
                const TSearchRec &rec = listing.at(i);
                if (Terminated())
                    return;
                if (!mask.MatchesFolded(folded.at(i)))
                    continue;
                if (rec.Attr & FileAttr::Directory)
                    continue;
                if (rec.Attr & FAttrSkipMask)
                    continue;
                if (rec.Size == 0 && FSkipEmpty)
                    continue;
                if (rec.Name == "." || rec.Name == "..")
                    continue;
                if (Skipped(folder + rec.Name))
                    continue;
                // One row per file: a file that two masks match, or that two nested custom folders
                // both reach, is reported once. On a case-sensitive drive two names that differ only
                // in case are two files, so the host path decides.
                const QString seen = rec.HostPath.isEmpty() ? (folder + rec.Name).toCaseFolded() : rec.HostPath;
                if (FReported.contains(seen))
                    continue;
                FReported.insert(seen);
                if (!Report({rec.Name, folder, rec.Size, DateText(LocalTimeOf(rec.MTime), FLocale), AttrText(rec.Attr)}))
                    return;
            }
        }
    }

    if (!recurse)
        return;
    for (const TSearchRec &rec : listing) {
        if (Terminated())
            return;
        if (!(rec.Attr & FileAttr::Directory) || rec.IsHiddenFolder() || rec.Name == "." || rec.Name == "..")
            continue;
        const QString subpath = folder + rec.Name;
        if (Skipped(subpath))
            continue;
        if (!custom && !FCustomEntries.isEmpty()) {
            bool matched = false;
            for (const QString &entry : std::as_const(FCustomEntries)) {
                const QString customFolder = CustomFolder(entry);
                if (!IsAtOrBelow(subpath, customFolder))
                    continue;
                matched = true;
                if (!FRecurseCustom)
                    WalkFolder(subpath, rec.HostPath, masks, false, subpath.size() > customFolder.size() + 1, true);
            }
            if (!matched)
                WalkFolder(subpath, rec.HostPath, masks, false, true, true);
        } else {
            WalkFolder(subpath, rec.HostPath, masks, custom, true, true);
        }
    }
}
