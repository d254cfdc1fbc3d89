// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TDiskListView, the list of the prefix's drives with multi-selection.
#pragma once

#include <QList>
#include <QTreeWidget>

class TDriveMap;

class TDiskListView : public QTreeWidget
{
    Q_OBJECT
    Q_PROPERTY(bool SelectLocalDrives MEMBER SelectLocalDrives)
public:
    explicit TDiskListView(QWidget *parent = nullptr);

    // Rebuilds the rows from the current prefix's drives (or from drives), in letter order; fixed
    // drives are selected when SelectLocalDrives is set. The host's "/" (Z:) is never fixed.
    void FillDrives();
    void FillDrives(const TDriveMap &drives);

    // For each selected row in row order "\"C:\"" or "\"D:\Data\"" (the row's folder), joined by
    // ","; '' when nothing is selected.
    QString SelectedDrives() const;

    // The row's folder below the drive root, beginning with "\" ('' for the whole drive).
    void SetFolder(int row, const QString &folder);
    QString Folder(int row) const;

    QList<QChar> Drives;  // the letter of each row
    bool SelectLocalDrives = true;
};
