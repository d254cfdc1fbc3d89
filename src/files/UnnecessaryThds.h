// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TEtsiTurhat, the unnecessary-file finder's scanner thread (drive walk, custom walk).
#pragma once

#include "platform/WinFiles.h"
#include "shell/Batch.h"
#include "shell/SharedThd.h"

#include <QElapsedTimer>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class TWinePrefix;

class TEtsiTurhat : public TSharedThd
{
    Q_OBJECT
public:
    using TFolderHandler = std::function<void(const QString &folder)>;
    using TFoundHandler = std::function<void(const QString &name, const QString &folder, qint64 size,
                                             const QString &dateText, const QString &attrText)>;
    // A file the masks match, or a folder the walk would enter, that has no Windows path naming it:
    // name as a list shows it, a folder's with a trailing "\".
    using TSkippedHandler = std::function<void(const QString &name, const QString &folder, qint64 size, TNameFault fault)>;

    // owner runs the handlers. The lists are copied and sorted (ignoring case). customEntries hold
    // "folder:masks", masks as comma text; drives is TDiskListView::SelectedDrives() text.
    // Reports reach the owner in their order, several in one call on its thread (see ReportLimit),
    // all before the termination handler; the walk does not wait for them.
    TEtsiTurhat(QObject *owner, const QStringList &skipList, TFolderHandler onFolder, TFoundHandler onFound,
                quint32 attrSkipMask, const QStringList &masks, const QStringList &customEntries,
                const QString &drives, bool recurseCustom, bool skipEmpty,
                std::shared_ptr<TWinePrefix> prefix = nullptr);
    ~TEtsiTurhat() override;
    // Before the thread starts; without it the skipped entries are not reported.
    void SetOnSkipped(TSkippedHandler onSkipped) { FOnSkipped = std::move(onSkipped); }

    // "R H A": the attribute letters of read-only, hidden, system and archive that are set.
    static QString AttrText(quint32 attr);
    // The local date in the short format and the time in the long format, both the user's (the
    // prefix's); no time at midnight.
    static QString DateText(const TLocalTime &local, const TUserLocale &locale);
    // The folder part of a custom entry: the text before its last ":" that is not the drive's.
    static QString CustomFolder(const QString &entry);
    static QString CustomMasks(const QString &entry);

    // One call on the owner's thread hands over what was found within this time, or this many reports.
    static constexpr qint64 ReportInterval = 100;  // milliseconds
    static constexpr std::size_t ReportLimit = 1024;

protected:
    void DoWork() override;

private:
    class TListings;
    struct TReport {
        QString Name;  // empty: the folder Folder was entered
        QString Folder;
        qint64 Size = 0;
        QString DateText, AttrText;
        TNameFault Fault = TNameFault::None;  // not None: skipped
    };
    void WalkFolder(QString folder, const QString &hostFolder, const QStringList &masks, bool custom, bool filesHere,
                    bool recurse);
    void Compile(const QStringList &masks);
    bool ReportFaulted(const QString &folder, const QList<TSearchRec> &faulted, bool filesHere, bool recurse);
    bool Skipped(const QString &path) const;
    // Queues a report; false once the owner can take no more (the walk ends).
    bool Report(TReport report);
    bool HandOver();

    QStringList FSkipList;
    TFolderHandler FOnFolder;
    TFoundHandler FOnFound;
    TSkippedHandler FOnSkipped;
    quint32 FAttrSkipMask = 0;
    QStringList FMasks;
    QStringList FCustomEntries;
    QString FDrives;
    bool FRecurseCustom = false;
    bool FSkipEmpty = false;
    QSet<QString> FReported;  // host paths of the files reported so far
    std::shared_ptr<TWinePrefix> FPrefix;
    std::unique_ptr<TListings> FListings;
    std::vector<TReport> FReports;  // not handed over yet
    QStringList FCompiledFrom;       // the masks FCompiled was read from
    std::shared_ptr<const std::vector<TFileMask>> FCompiled;
    QElapsedTimer FSinceHandOver;
    TUserLocale FLocale;
};
