// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the shell folder tree and drive combo over the prefix's drive map.
//
// The tree's root stands for the computer; below it each drive and, filled when a node is first
// expanded, its folders as the host lists them (never a symlinked folder, never another file
// system). Paths are Windows paths: "C:\" for a drive, "C:\users\me" for a folder.
#pragma once

#include "platform/DriveMap.h"

#include <QComboBox>
#include <QTreeWidget>

class TShellTreeView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit TShellTreeView(QWidget *parent = nullptr);

    // Rebuilds the drives from the current prefix (or from drives); the selection goes.
    void FillDrives();
    void FillDrives(const TDriveMap &drives);

    QTreeWidgetItem *RootItem() const { return topLevelItem(0); }
    // The selected folder's path; empty when the root or nothing is selected.
    QString SelectedPath() const;
    // Selects the folder of path (components matched ignoring case), expanding what leads to it;
    // false, and the selection unchanged, when the tree holds no such folder.
    bool SetPath(const QString &path);
    static QString PathOf(const QTreeWidgetItem *item);

signals:
    void PathChanged();  // the selected folder changed

private:
    void Populate(QTreeWidgetItem *item);
    QTreeWidgetItem *AddFolder(QTreeWidgetItem *parent, const QString &text, const QString &path,
                               const QString &hostPath);
    TDriveMap FDrives;
};

// The drive box: one item per drive ("C:\"); choosing one selects that drive in the tree, and the
// tree's selection shows its drive here.
class TShellComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit TShellComboBox(QWidget *parent = nullptr);
    void SetTree(TShellTreeView *tree);
    void FillDrives(const TDriveMap &drives);

private:
    void FollowTree();
    TShellTreeView *FTree = nullptr;
};
