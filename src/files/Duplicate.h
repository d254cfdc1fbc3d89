// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TKaksoisIkkuna, the duplicate-file finder window, its list of sets and its log.
#pragma once

#include "files/DuplicateLog.h"
#include "files/DuplicateThds.h"
#include "files/FileColumns.h"
#include "shell/Batch.h"
#include "shell/Main.h"
#include "shell/ReportModel.h"
#include "shell/Settings.h"
#include "shell/ToolWindow.h"

#include <QIcon>
#include <QPointer>
#include <QStringList>
#include <QTime>

class QLabel;
class QLineEdit;
class QProgressBar;
class QStatusBar;
class QTimer;
class QTreeView;
class TDiskListView;
class TOVBitBtn;

struct TDuplicateRow {
    bool IsHeader = false;
    // A file (or folder) the search met and cannot offer, below the sets under a header of its own.
    bool Skipped = false;
    bool IsFile() const { return !IsHeader && !Skipped; }  // a duplicate, to delete or keep
    QString Path;  // folder + "\" + name; the header caption for a header row
    QString SizeText;
    qint64 Size = 0;
    QString TypeName;
    QString DateText, AttrText;
    QString FileVersion, ProductVersion;
    QString CRCText, MD5Text;
    int SetNumber = 0;
    QIcon Icon;
    // Icon and version strings are looked up when the row is first shown (or listed): a search
    // can find tens of thousands of files, and each lookup reads the file.
    bool DetailsKnown = false;
};

// Every second set is shaded instead of the sort column.
class TDuplicateModel : public TReportModel
{
    Q_OBJECT
public:
    // fillDetails(row) looks up the row's icon and version strings.
    TDuplicateModel(QList<TDuplicateRow *> *rows, std::function<void(TDuplicateRow &row)> fillDetails,
                    QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QList<TDuplicateRow *> *FRows;
    std::function<void(TDuplicateRow &row)> FFillDetails;
};

class TKaksoisIkkuna : public TToolWindow, public TBatchTool
{
    Q_OBJECT
public:
    // programFolder: where "Options.ini", "Duplicat.log" and the temporary chunks live (a host
    // folder); empty: the main window's folder. layer: the file access of the search stages.
    explicit TKaksoisIkkuna(QWidget *parent = nullptr, const QString &programFolder = {},
                            std::shared_ptr<const Duplicate::TFileLayer> layer = {});
    ~TKaksoisIkkuna() override;

    void StartBatch(const QString &batchSwitch) override;

    // The folder dialog: the chosen host folder, empty when cancelled. Replaced by tests.
    using TFolderPicker = std::function<QString(QWidget *parent, const QString &title, const QString &root)>;
    void SetFolderPicker(TFolderPicker picker) { FFolderPicker = std::move(picker); }

    TSettings &Options();

    // Components (names as in the form).
    TDiskListView *DiskList = nullptr;
    QLineEdit *edtFileMask = nullptr, *edtSkip = nullptr;
    TOVBitBtn *btnFolder = nullptr;  // the drive list's double click, as a button
    TOVBitBtn *btnFind = nullptr, *btnStop = nullptr, *btnDelete = nullptr, *btnPrint = nullptr,
              *btnSave = nullptr, *btnClose = nullptr;
    QTreeView *FileList = nullptr;
    QLabel *lblFileListCaption = nullptr, *Aika = nullptr;
    QStatusBar *StatusBar = nullptr;
    QLabel *Panels[5] = {};
    QProgressBar *Progress = nullptr;
    QTimer *Parami = nullptr;

    // Test access.
    const QList<TDuplicateRow *> &Rows() const { return FRows; }
    qint64 TotalBytes() const { return FTotalBytes; }
    qint64 GroupCount() const { return FGroupCount; }
    bool Searching() const { return FSearching; }
    bool ReadingOldList() const { return FOldListReader != nullptr; }
    bool FirstDeletion() const { return FFirstDeletion; }
    QString LogFileName() const { return FProgramFolder + QStringLiteral("Duplicat.log"); }
    QString BaseName() const { return FBaseName; }

public slots:
    void btnFindClick();
    void btnStopClick();
    void btnDeleteClick();
    void btnPrintClick();
    void btnSaveClick();
    void edtFileMaskChange();
    void DiskListChange();
    void DiskListDblClick();
    void FileListChange();
    void FileListDblClick();
    void ParamiTimer();
    // The reopen offer of "Duplicat.log" (once per program run, never in batch mode).
    void FormActivate();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void ReadKeys(const TIniFile &ini) override;
    void WriteKeys(TIniFile &ini) override;
    bool SearchRunning() const override;
    void StopSearch() override;
    void Closing() override;

private:
    void FormCreate();
    void FormDestroy();
    void PaivitaCaptioni();
    void PaivitaNimiTiedot(const QString &text);
    void ScannausTehty(TSharedThd *thread);
    void YhdistaTiedostot(const QStringList &chunks);
    void YhdistaminenTehty(TSharedThd *thread);
    void PaikallistaDuplikaatit();
    void DuplikaattiValTiedot(int position);
    void DuplikaattiTiedot(const Duplicate::TFoundFile &file);
    void ShowFound(const QList<TDuplicateRow *> &rows);
    void ShowSkipped();
    void FillDetails(TDuplicateRow &row);
    void DuplikaatitLoydetty(TSharedThd *thread);
    void VirheTehty(const QString &stage, const QString &message);
    void KeskeytysTehty();
    void UpdateButtons();
    // How many sets the rows hold every file of.
    int SetsLosingEveryCopy(const QList<int> &rows) const;
    void AfterDelete();
    void DropSmallSets();
    void ShowCounts();
    void FitColumns();
    void WriteLog();
    void ReportLogFailure(const QString &error);
    // The log's files that are still the files compared, and how many are not.
    using TOldList = Duplicate::TOldLog;
    // What reading the log needs, copied for a worker.
    struct TOldListSource {
        QString LogFile;
        int CodePage;
        QString NotAvailable;  // the language's "N/A"
        TUserLocale Locale;
        std::shared_ptr<const Duplicate::TFileLayer> Layer;
    };
    static TOldList ReadOldList(const TOldListSource &source);
    // Reads the log on a worker with a busy bar, then offers it.
    void ReadOldListInBackground();
    static bool HasSets(const TOldList &list);  // a set keeps two files or more
    void LoadLog(const TOldList &list);
    QString HostPath(const QString &windowsPath) const;
    static QString HostPathIn(const Duplicate::TFileLayer &layer, const QString &windowsPath);
    QString TimeText() const;
    QList<int> SelectedRows() const;
    bool DeleteAllowed() const;

    QString FProgramFolder;
    QString FBaseName;
    QHash<QString, QString> FTypeNames;  // by extension
    TFolderPicker FFolderPicker;
    std::shared_ptr<const Duplicate::TFileLayer> FLayer;
    TSettings FOwnSettings;
    QList<TDuplicateRow *> FRows;
    QList<Duplicate::TSkippedEntry> FSkipped;  // what the last scan skipped, listed after the sets
    TDuplicateModel *FModel = nullptr;
    QString FHeaderCaption = QStringLiteral("Duplicate files...");
    QString FWindowCaption = QStringLiteral("Duplicate files");
    QStringList FMasks, FSkipList, FFolders;
    QPointer<TSharedThd> FCurrentThread;
    QObject *FOldListReader = nullptr;  // while the log is read
    QTime FStartTime;
    qint64 FTotalBytes = 0, FGroupCount = 0, FTotalFiles = 0;
    bool FSearching = false;
    bool FOfferOldList = true;
    bool FFirstDeletion = true;
    bool FFreshList = true;
    bool FFirstShow = true;
    bool FBatchRun = false;
    TLongestTexts FLongest{9};  // the texts that can be each column's widest
    bool FFitWaits = false;     // a fitting of the columns to versions just read is on its way
    // Rows join the list a group at a time (one synchronised report of the comparison, or a log).
    FileColumns::TRowGroups<TDuplicateRow> FFound{this, [this](const QList<TDuplicateRow *> &rows) { ShowFound(rows); }};
};
