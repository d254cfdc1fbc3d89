// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TRegistryIkkuna, the registry cleaner window: find invalid values, delete them with undo data.
#pragma once

#include "platform/SortedStringList.h"
#include "shell/Main.h"
#include "shell/ReportModel.h"

#include <QCollator>
#include <QDateTime>
#include <QDialog>
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
class TSharedThd;
class TWinePrefix;
struct TBatchState;
struct TSettings;

namespace Ui {
class TRegistryIkkuna;
}

// One found value; owned by the window's record list.
struct TRegistryRecord {
    QString Root;
    QString Key;
    QString Modified;       // as shown
    QDateTime ModifiedTime; // as stored: the "Modified" column sorts by this
    QString ValueName;
    QString Data;
    int ImageIndex = 2;
};

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

class TRegistryIkkuna final : public QDialog, public TBatchTool
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
    const QList<TRegistryRecord *> &Records() const { return FRecords; }
    QTreeView *EntryList() const;
    TRegistryModel *Model() const { return FModel; }
    QLineEdit *SkipEdit() const;
    TOVBitBtn *Button(const QString &objectName) const;
    QProgressBar *ProgressBar() const { return FBar; }
    QString StatusText() const;
    QString UndoFileName() const { return FUndoFileName; }
    int SortColumn() const { return FSortColumn; }
    bool SortForward() const { return FSortForward; }

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
    void closeEvent(QCloseEvent *event) override;
    void reject() override;
    void paintEvent(QPaintEvent *event) override;

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
    void SortRecords();
    int CompareRecords(const TRegistryRecord &a, const TRegistryRecord &b) const;
    void ShowResultStatus(bool aborted);
    void SetStatus(const QString &text);
    void DeleteRecords(bool allRows);
    // A delete run's undo text: written whole under a staged name first (asking for another place
    // when it cannot be), put in place by CommitUndo only once the run may delete.
    bool StageUndo(const QStringList &lines);
    bool CommitUndo(QString *why);
    void DiscardStagedUndo();
    QString UndoFolderHost() const;
    QString ModifiedText(const QDateTime &time) const;
    void LogLines(const QStringList &lines);
    bool BatchRun() const;
    void ReadSection();
    void WriteSection();
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
    int FLongest[5] = {0, 0, 0, 0, 0};  // characters of the longest text measured per column
    QList<TEtsiRekisteri *> FThreads;
    int FRunning = 0;
    int FReported = 0;
    bool FScanning = false;
    bool FStopRequested = false;
    bool FFirstShow = true;
    bool FBatchPending = false;
    QString FBatchSwitch;
    TSortedStringList FSkipList;
    QStringList FUndoLines;   // the whole undo text of this program run
    QString FUndoFileName;    // host path; empty until the first undo line
    QString FStaged;          // the staged undo text of the run under way
    QString FStagedFolder;    // the folder a first undo file is rotated in
    QString FStagedTarget;    // a file the user chose for the staged text
    QString FUndoError;       // why the staged text could not be written
    int FSortColumn = 4;
    bool FSortForward = true;
    QCollator FCollator;
    TSaveDialog FSaveDialog;
    TUserLocale FLocale;  // the prefix's date and time formats
};

// Registers the window with the main window's tool factory (TToolKind::Registry).
void RegisterRegistryCleaner();
