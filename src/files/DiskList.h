// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TDiskListView, the list of the prefix's drives with multi-selection.
#pragma once

#include "platform/DriveMap.h"

#include <QList>
#include <QTreeWidget>

class TIniFile;

class TDiskListView : public QTreeWidget
{
    Q_OBJECT
    Q_PROPERTY(bool SelectLocalDrives MEMBER SelectLocalDrives)
public:
    explicit TDiskListView(QWidget *parent = nullptr);

    // Rebuilds the rows from the current prefix's drives (or from drives), in letter order; fixed
    // drives other than Z: are selected when SelectLocalDrives is set. The host's "/" is never fixed.
    void FillDrives();
    void FillDrives(const TDriveMap &drives);

    // The user's last choice from the section: "Selected disk <letter>" (and with folders
    // "Selected disk <letter> dir"). Without any stored choice the preselection stays. A stored
    // choice selects only the drive of its letter, Z: and remote drives too, and nothing when no
    // drive has that letter (the older keys by row number name no drive).
    void ReadSelection(const TIniFile &ini, const QString &section, bool withFolders);
    // Writes every row's choice by its letter and removes the keys by row number; the choice of a
    // letter that has no drive now stays as it was stored.
    void WriteSelection(TIniFile &ini, const QString &section, bool withFolders) const;
    // Z: and remote drives: the whole host, another machine. Never preselected.
    bool SelectedOnlyByClick(int row) const;
    // What the choice names that is not there to search, one sentence each: a stored drive that
    // no longer exists, a chosen folder that is missing.
    QStringList MissingChoices() const;

    // For each selected row in row order "\"C:\"" or "\"D:\Data\"" (the row's folder), joined by
    // ","; '' when nothing is selected.
    QString SelectedDrives() const;

    // The row's folder below the drive root, beginning with "\" ('' for the whole drive). A folder
    // that a link leads out of its drive is shown with the host folder it leads to.
    void SetFolder(int row, const QString &folder);
    // Shows each row's folder in a second column "Folder" (the lists that search folders).
    void ShowFolders();
    QString Folder(int row) const;

    QList<QChar> Drives;  // the letter of each row
    bool SelectLocalDrives = true;

private:
    TDriveMap FDriveMap;
    QList<QChar> FMissingDrives;  // stored as chosen, without a drive now
};
