// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TEtsiTurhat, the unnecessary-file finder's scanner thread (drive walk, custom walk).
#pragma once

#include "shell/SharedThd.h"

#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>

class TWinePrefix;

class TEtsiTurhat : public TSharedThd
{
    Q_OBJECT
public:
    using TFolderHandler = std::function<void(const QString &folder)>;
    using TFoundHandler = std::function<void(const QString &name, const QString &folder, qint64 size,
                                             const QString &dateText, const QString &attrText)>;

    // owner runs the handlers. The lists are copied and sorted (ignoring case). customEntries hold
    // "folder:masks", masks as comma text; drives is TDiskListView::SelectedDrives() text.
    TEtsiTurhat(QObject *owner, const QStringList &skipList, TFolderHandler onFolder, TFoundHandler onFound,
                quint32 attrSkipMask, const QStringList &masks, const QStringList &customEntries,
                const QString &drives, bool recurseCustom, bool skipEmpty,
                std::shared_ptr<TWinePrefix> prefix = nullptr);

    // "R H A": the attribute letters of read-only, hidden, system and archive that are set.
    static QString AttrText(quint32 attr);
    // The local date in the short format and the time in the long format; no time at midnight.
    static QString DateText(const QDateTime &local);
    // The folder part of a custom entry: the text before its last ":" that is not the drive's.
    static QString CustomFolder(const QString &entry);
    static QString CustomMasks(const QString &entry);

protected:
    void DoWork() override;

private:
    void WalkFolder(QString folder, const QStringList &masks, bool custom, bool filesHere, bool recurse);
    bool Skipped(const QString &path) const;

    QStringList FSkipList;
    TFolderHandler FOnFolder;
    TFoundHandler FOnFound;
    quint32 FAttrSkipMask = 0;
    QStringList FMasks;
    QStringList FCustomEntries;
    QString FDrives;
    bool FRecurseCustom = false;
    bool FSkipEmpty = false;
    QSet<QString> FReported;  // host paths of the files reported so far
    std::shared_ptr<TWinePrefix> FPrefix;
};
