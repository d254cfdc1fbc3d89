// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TUndoIkkuna, the undo manager window: the undo files as a tree, their entries with states, restore.
#pragma once

#include "registry/UndoManager.h"
#include "registry/UndoThds.h"
#include "shell/ReportModel.h"
#include "shell/ToolWindow.h"

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class TOVBitBtn;
class TWinePrefix;
struct TSettings;

namespace Ui {
class TUndoIkkuna;
}

// The entry list's model over the window's entries; the row's image is the entry's state, the sort
// column is drawn on 0xF7F7F7.
class TUndoModel final : public TReportModel
{
    Q_OBJECT
public:
    explicit TUndoModel(QList<TUndoEntry *> *entries, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void Repaint();  // states changed

private:
    QList<TUndoEntry *> *FEntries;
    QIcon FStateIcons[3];  // 2 green "v", 3 yellow "-", 4 red "x"
};

// What the window needs of the program around it. FromMainWindow() takes it from PaaIkkuna; tests
// give their own.
struct TUndoHost {
    QString ProgramFolder;          // host folder of Options.ini
    TSettings *Settings = nullptr;  // the three undo folders
    UndoManager::TListFiles ListFiles;     // empty: the file listing service
    UndoManager::THostPath HostPath;       // empty: the current prefix's drives
    std::function<bool(const QString &hostPath)> DeleteFile;  // empty: removes the file for good
    std::function<void()> Closed;   // clears the main window's FUndoOpen
    std::shared_ptr<TWinePrefix> Prefix;  // nullptr: TWinePrefix::Current()

    static TUndoHost FromMainWindow();
};

class TUndoIkkuna final : public TToolWindow
{
    Q_OBJECT

public:
    explicit TUndoIkkuna(QWidget *parent = nullptr, TUndoHost host = TUndoHost::FromMainWindow());
    ~TUndoIkkuna() override;

    // Test access.
    QTreeWidget *PuuNakyy() const;
    QTreeView *EntryList() const;
    TUndoModel *Model() const { return FModel; }
    // A file is being read in the background.
    bool Loading() const { return FLoader != nullptr; }
    QProgressBar *ProgressBar() const { return FBar; }
    const QList<TUndoEntry *> &Entries() const { return FEntries; }
    TOVBitBtn *Button(const QString &objectName) const;
    QString StatusText() const;
    // The path and kind a tree node stands for.
    static QString NodePath(const QTreeWidgetItem *node);
    static TUndoNodeKind NodeKind(const QTreeWidgetItem *node);

public slots:
    void Refresh();
    void PuuNakyyChange();
    void btnUndoClick();
    void btnUndoAllClick();
    void btnRefreshClick();
    void btnStopClick();
    void btnSelectAllClick();
    void btnPrintClick();
    void btnSaveClick();
    void btnDeleteClick();
    void btnCloseClick();
    void EntryListColumnClick(int column);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool SearchRunning() const override { return Loading(); }
    void StopSearch() override;
    void Closing() override;

private:
    void FreeEntries();
    void FitTree();
    void UpdateButtons();
    void SetStatus(const QString &text);
    void SortEntries();
    void StartLoading(const QString &hostPath, TUndoNodeKind kind);
    void StopLoading();
    void LoadEnded(TUndoLoader *loader);
    void LoadProgress(TUndoLoader *loader, int done, int total);
    QString HostPathOf(const QString &path) const;
    QTreeWidgetItem *SelectedNode() const;
    QList<QTreeWidgetItem *> AllNodes() const;

    std::unique_ptr<Ui::TUndoIkkuna> ui;
    TUndoHost FHost;
    QList<TUndoEntry *> FEntries;
    TUndoModel *FModel = nullptr;
    QLabel *FStatusLabel = nullptr;
    QProgressBar *FBar = nullptr;
    TUndoLoader *FLoader = nullptr;
    TSharedThd *FSorter = nullptr;  // a long list's sort on its way
    TUndoFileStamp FShown;  // the file the list shows (or stopped reading); activations keep it
    int FTreeWanted = 0;  // the tree's width its nodes asked for when the divider was last set
    bool FFirstShow = true;
};

// Registers the window with the main window's tool factory (TToolKind::Undo).
void RegisterUndoManager();
