// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TTurhaIkkuna, the unnecessary-file finder window, and its result model.
#pragma once

#include "files/FileColumns.h"
#include "platform/DriveMap.h"
#include "shell/Batch.h"
#include "shell/Main.h"
#include "shell/ReportModel.h"
#include "shell/Settings.h"
#include "shell/ToolWindow.h"

#include <QDateTime>
#include <QHash>
#include <QStringList>

class QCheckBox;
class QLabel;
class QLineEdit;
class QStatusBar;
class QTimer;
class QTreeView;
class TDiskListView;
class TEtsiTurhat;
class TOVBitBtn;

struct TUnnecessaryRecord {
    QString Path;  // folder (with trailing "\") + name
    QString SizeText;
    qint64 Size = 0;
    QString TypeName;
    QString DateText;
    QString AttrText;
    QString FileVersion;
    QString ProductVersion;
    QIcon Icon;  // asked for when the row is first drawn
    bool IconKnown = false;
    // Not None: met by the search but with no Windows path naming it; shown with the reason,
    // never selectable.
    TNameFault Fault = TNameFault::None;
    bool Skipped() const { return Fault != TNameFault::None; }
};

class TUnnecessaryModel : public TReportModel
{
    Q_OBJECT
public:
    explicit TUnnecessaryModel(QList<TUnnecessaryRecord *> *records, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // The captions stay as built: the language file does not reach this list's columns.

private:
    QList<TUnnecessaryRecord *> *FRecords;
    friend class TTurhaIkkuna;
};

// The special folders the window offers, as Windows paths ('' when unknown).
struct TUnnSpecialFolders {
    QString Temp, Cache, History, Cookies, OfficeRecent;
    // From the current prefix: its %TEMP% (never the host's /tmp) and its shell folders.
    static TUnnSpecialFolders Find();
};

class TTurhaIkkuna : public TToolWindow, public TBatchTool
{
    Q_OBJECT
public:
    // programFolder: where "Options.ini" and "BlackLst.vkb" are; empty: the main window's folder.
    explicit TTurhaIkkuna(QWidget *parent = nullptr, const QString &programFolder = {});
    ~TTurhaIkkuna() override;

    void StartBatch(const QString &batchSwitch) override;

    // The settings in use: the main window's, or the window's own without one.
    TSettings &Options();

    // Components (names as in the form).
    TDiskListView *DiskList = nullptr;
    QCheckBox *Normal = nullptr, *Extra = nullptr;
    QCheckBox *TempDirectories = nullptr, *TemporaryInternet = nullptr, *History = nullptr, *Cookies = nullptr,
              *OfficeRecent = nullptr, *CustomDirectories = nullptr;
    QLineEdit *edtSkip = nullptr, *edtFind = nullptr;
    TOVBitBtn *btnFind = nullptr, *btnStop = nullptr, *btnDelete = nullptr, *btnDeleteAll = nullptr,
              *btnSelectAll = nullptr, *btnPrint = nullptr, *btnSave = nullptr, *btnClose = nullptr;
    QTreeView *FileList = nullptr;
    QLabel *lblStatus = nullptr, *lblTotal = nullptr;
    QStatusBar *StatusBar = nullptr;
    QWidget *OptionsPanel = nullptr;
    QTimer *Parami = nullptr;

    // The predefined mask sets.
    static const QString NormalTypes, ExtraTypes;

    // Test access.
    const QList<TUnnecessaryRecord *> &Records() const { return FRecords; }
    QStringList MaskList() const { return FMaskList; }
    QStringList CustomList() const { return FCustomList; }
    QStringList SkipList() const { return FSkipList; }
    qint64 TotalSize() const { return FTotalSize; }
    bool Scanning() const { return FScanning; }
    void SetSpecialFolders(const TUnnSpecialFolders &folders);

public slots:
    void btnFindClick();
    void btnStopClick();
    void btnDeleteClick();
    void btnDeleteAllClick();
    void btnSelectAllClick();
    void btnPrintClick();
    void btnSaveClick();
    void NormalClick();
    void DiskListChange();
    void FileListColumnClick(int column);
    void ParamiTimer();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void ReadKeys(const TIniFile &ini) override;
    void WriteKeys(TIniFile &ini) override;
    bool SearchRunning() const override;
    void StopSearch() override;
    void Closing() override;

private:
    void FormCreate();
    void FormDestroy();
    void ShowFolder(const QString &folder);
    void AddFound(const QString &name, const QString &folder, qint64 size, const QString &dateText,
                  const QString &attrText);
    void ShowFound(const QList<TUnnecessaryRecord *> &records);
    void AddSkipped(const QString &name, const QString &folder, qint64 size, TNameFault fault);
    int FileCount() const;  // the rows that are files to delete
    QString HostPathOfFile(const QString &path);  // '' when the folder cannot be mapped
    bool FileExists(const QString &path);
    void SearchDone();
    void SearchAborted();
    void AfterDelete(bool aborted);
    void UpdateAfterSearch();
    void UpdateDeleteButton();
    void SortRecords();
    void ShowTotal();
    QString ReadBlacklistUnnecessary(bool *ok) const;
    QStringList SelectedRows() const;
    void OpenSelected();

    QString FProgramFolder;
    TSettings FOwnSettings;
    QList<TUnnecessaryRecord *> FRecords;
    TUnnecessaryModel *FModel = nullptr;
    qint64 FTotalSize = 0;
    bool FScanning = false;
    bool FAborted = false;
    QString FCaptionBase;
    bool FFirstShow = true;
    TEtsiTurhat *FWorker = nullptr;
    QStringList FSkipList, FMaskList, FCustomList, FDeleteList;
    TUnnSpecialFolders FFolders;
    QHash<QString, QString> FTypeNames;  // extension -> type name, for one search
    std::pair<QString, QString> FHostFolder;  // the folder of the last file mapped, and its host path
    TLongestTexts FLongest{7};  // the found texts that can be each column's widest
    FileColumns::TRowGroups<TUnnecessaryRecord> FFound{
        this, [this](const QList<TUnnecessaryRecord *> &records) { ShowFound(records); }};
};
