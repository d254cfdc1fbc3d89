// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TStartIkkuna, the invalid-shortcut cleaner window: the search tree, the details and deletion.
//
// The search runs on the GUI thread and lets pending events through between its steps; Stop and
// closing the window set FStopRequested, which the search polls.
#pragma once

#include "files/ShortcutScan.h"
#include "shell/Main.h"
#include "shell/PathLabel.h"
#include "shell/ToolWindow.h"

#include <QHash>
#include <QIcon>
#include <QStringList>

#include <functional>

class QLabel;
class QLineEdit;
class QStatusBar;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TOVBitBtn;
struct TBatchState;
struct TSettings;

// What the window needs of the program around it. FromMainWindow() takes it from PaaIkkuna; tests
// give their own.
struct TStartHost {
    QString ProgramFolder;          // host folder of Options.ini
    TSettings *Settings = nullptr;  // [Shortcuts] and the look
    TBatchState *Batch = nullptr;   // batch fields and the log
    std::function<QString()> TimeStamp;
    // The deletion service; runs onDone(aborted) before it returns.
    std::function<void(const QStringList &files, bool permanent, std::function<void(bool aborted)> onDone)> DeleteFiles;
    std::function<void()> Closed;   // clears the main window's FShortcutsOpen

    static TStartHost FromMainWindow();
};

class TStartIkkuna final : public TToolWindow, public TBatchTool
{
    Q_OBJECT

public:
    explicit TStartIkkuna(QWidget *parent = nullptr, TStartHost host = TStartHost::FromMainWindow());
    ~TStartIkkuna() override;

    void StartBatch(const QString &batchSwitch) override;

    // Components (names as in the form).
    QTreeWidget *PuuNakyy = nullptr;
    QLineEdit *edtSkipFolder = nullptr;
    TOVBitBtn *btnFind = nullptr, *btnStop = nullptr, *btnDelete = nullptr, *btnDeleteAll = nullptr,
              *btnClose = nullptr;
    QLabel *Tahti = nullptr;
    TPathLabel *Tiedosto = nullptr, *Path = nullptr, *WorkDir = nullptr, *Args = nullptr, *Desc = nullptr,
               *IconPath = nullptr, *IconIndex = nullptr;
    QStatusBar *StatusBar = nullptr;
    QLabel *lblStatus = nullptr;  // the status bar's text
    QTimer *Parami = nullptr;

    // Test access.
    QStringList Roots() const { return FRoots; }
    const TShortcutTree &Tree() const { return FTree; }
    int ShortcutCount() const { return FShortcutCount; }
    bool Searching() const { return FSearching; }
    // The node an item of PuuNakyy stands for.
    TShortcutNode *NodeOf(const QTreeWidgetItem *item) const;
    QTreeWidgetItem *ItemOf(const TShortcutNode *node) const { return FItems.value(node); }

public slots:
    void btnFindClick();
    void btnStopClick();
    void btnDeleteClick();
    void btnDeleteAllClick();
    void btnCloseClick();
    void PuuNakyyChange();
    void ParamiTimer();

protected:
    void showEvent(QShowEvent *event) override;
    void ReadKeys(const TIniFile &ini) override;
    void WriteKeys(TIniFile &ini) override;
    // Closing is always allowed; a running search ends at its next poll.
    bool SearchRunning() const override { return FSearching; }
    void StopSearch() override { btnStopClick(); }
    void Closing() override;

private:
    void FormCreate();
    void FormDestroy();
    void LoadRoots();
    bool Poll();
    void AddItems(const QList<TShortcutNode *> &nodes);
    void ShowMarks();
    QString ShownText(const TShortcutNode *node) const;
    void ClearTree();
    TShortcutOptions Options() const;
    bool DeleteNow(const QStringList &files, const QStringList &folders);

    TStartHost FHost;
    QStringList FRoots;
    QStringList FShellFolders;
    bool FRootsLoaded = false;
    bool FStopRequested = false;
    bool FSearching = false;
    int FShortcutCount = 0;
    TShortcutTree FTree;
    QHash<const TShortcutNode *, QTreeWidgetItem *> FItems;
    QIcon FImages[3];  // KuvaLista: 0 invalid shell link, 1 folder, 2 Internet shortcut
    QString FBatchSwitch;
};
