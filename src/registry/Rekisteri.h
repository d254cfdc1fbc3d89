// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TRegistryIkkuna, the registry cleaner window: find invalid values, delete them with undo data.
#pragma once

#include "platform/SortedStringList.h"
#include "registry/RegistryDeletion.h"
#include "shell/Main.h"
#include "shell/LongestTexts.h"
#include "shell/ReportModel.h"
#include "shell/ToolWindow.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QStatusBar;
class QTimer;
class QTreeView;
class TEtsiRekisteri;
class TOVBitBtn;
class TRegistryDeletion;
class TSharedThd;
class TWinePrefix;
struct TBatchState;
struct TSettings;

namespace Ui {
class TRegistryIkkuna;
}


// The list's model over the window's records; the sort column is drawn on 0xF7F7F7.
class TRegistryModel final : public TReportModel
{
    Q_OBJECT
public:
    explicit TRegistryModel(QList<TRegistryRecord *> *records, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Shows the records appended since the last call (the view follows a search in batches).
    void ShowAppended();

protected:
    void Changed() override;

private:
    QList<TRegistryRecord *> *FRecords;
    int FShown = 0;  // records the view knows of
};

// What the window needs of the program around it. FromMainWindow() takes it from PaaIkkuna; tests
// give their own.
struct TRegistryHost {
    QString ProgramFolder;            // host folder: Options.ini and BlackLst.vkb
    TSettings *Settings = nullptr;    // [Registry] undo and confirmation settings
    TBatchState *Batch = nullptr;     // batch fields and the log
    std::function<QString()> UndoHeader;
    std::function<QString()> TimeStamp;
    std::function<QString(const QString &folder, const QString &fileName)> UniqueFileName;
    std::function<void()> Closed;     // clears the main window's FRegistryOpen
    std::shared_ptr<TWinePrefix> Prefix;  // nullptr: TWinePrefix::Current()

    static TRegistryHost FromMainWindow();
};

class TRegistryIkkuna final : public TToolWindow, public TBatchTool
{
    Q_OBJECT

public:
    explicit TRegistryIkkuna(QWidget *parent = nullptr, TRegistryHost host = TRegistryHost::FromMainWindow());
    ~TRegistryIkkuna() override;

    void StartBatch(const QString &batchSwitch) override;

    // Asks where to save undo text that could not be saved (a host path); empty = cancelled.
    // Replaced by tests.
    using TSaveDialog = std::function<QString(QWidget *parent)>;
    void SetSaveDialog(TSaveDialog dialog) { FSaveDialog = std::move(dialog); }

    // Test access.
    bool Scanning() const { return FScanning; }
    bool Deleting() const { return FDeletion != nullptr; }
    const QList<TRegistryRecord *> &Records() const { return FRecords; }
    QTreeView *EntryList() const;
    TRegistryModel *Model() const { return FModel; }
    QLineEdit *SkipEdit() const;
    TOVBitBtn *Button(const QString &objectName) const;
    QProgressBar *ProgressBar() const { return FBar; }
    QString StatusText() const;
    QString UndoFileName() const { return FCleanup.UndoFileName(); }

public slots:
    void btnFindClick();
    void btnStopClick();
    void btnDeleteClick();
    void btnDeleteAllClick();
    void btnSelectAllClick();
    void btnPrintClick();
    void btnSaveClick();
    void btnCloseClick();
    void EntryListColumnClick(int column);

protected:
    void showEvent(QShowEvent *event) override;
    void ReadKeys(const TIniFile &ini) override;
    void WriteKeys(TIniFile &ini) override;
    bool SearchRunning() const override { return Busy(); }
    void StopSearch() override { btnStopClick(); }
    void Closing() override;

private:
    // Scanner callbacks, on this window's thread.
    void ScanProgressStep(int position, int total);
    void ScanProgressAddTotal(int total);
    void AddFoundEntry(const QString &root, const QString &key, const QDateTime &modified,
                       const QString &valueName, const QString &data);
    void AddScanThread(TEtsiRekisteri *child);
    void ScanFinished(TSharedThd *sender);
    void ScanAborted(TSharedThd *sender);
    void ScanEnded(TSharedThd *sender, bool aborted);
    void StartScanner(TEtsiRekisteri *scanner);

    void UpdateButtons();
    // Sorts the list (a long one on a worker), then runs then.
    void SortRecords(const std::function<void()> &then = {});
    void SearchEnded(bool aborted);
    void ShowFound();
    void ShowResultStatus(bool aborted);
    void SetStatus(const QString &text);
    bool Busy() const { return FScanning || FDeletion || FSorter; }
    // Starts deleting the rows in the background; false when nothing was started.
    bool DeleteRecords(bool allRows);
    void DeletionEnded(TRegistryDeletion *deletion);
    void ShowOutcome(const TRegistryDeletion::TOutcome &outcome);
    void FinishBatchDelete();
    // The undo text could not be staged for target: asks where else to stage it until that works
    // or the user gives up (a batch run logs it and gives up).
    bool RescueUndo(QString target, QString error, const QStringList &lines, QString *staged, QString *chosen);
    QString ModifiedText(const QDateTime &time) const;
    void LogLines(const QStringList &lines);
    void CloseSoon();
    // The hives the search could not read, each with the reason.
    QStringList UnreadHives() const;

    std::unique_ptr<Ui::TRegistryIkkuna> ui;
    TRegistryHost FHost;
    QList<TRegistryRecord *> FRecords;
    TRegistryModel *FModel = nullptr;
    QProgressBar *FBar = nullptr;
    QLabel *FStatusLabel = nullptr;
    QTimer *FParami = nullptr;
    QTimer *FShowFound = nullptr;  // shows found records in batches during a search
    TLongestTexts FLongest{5};  // the found texts that can be each column's widest
    QList<TEtsiRekisteri *> FThreads;
    int FRunning = 0;
    int FReported = 0;
    bool FScanning = false;
    bool FStopRequested = false;
    bool FFirstShow = true;
    bool FBatchPending = false;
    QString FBatchSwitch;
    TSortedStringList FSkipList;
    TRegistryDeletion *FDeletion = nullptr;
    TSharedThd *FSorter = nullptr;
    QList<int> FDeletingRows;  // the rows of the running deletion, in its order
    bool FCloseAfterDelete = false;
    TRegistryCleanup FCleanup;  // the undo text of this program run
    TSaveDialog FSaveDialog;
    TUserLocale FLocale;  // the prefix's date and time formats
};

// Registers the window with the main window's tool factory (TToolKind::Registry).
void RegisterRegistryCleaner();
