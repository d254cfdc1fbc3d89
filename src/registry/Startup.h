// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TStartupIkkuna, the startup manager: lists what starts with the prefix, by category, and deletes entries with undo files.
#pragma once

#include "registry/StartupThds.h"
#include "shell/Main.h"
#include "shell/ReportModel.h"
#include "shell/ToolWindow.h"

#include <QCollator>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLabel;
class QPrinter;
class QProgressBar;
class QSplitter;
class QStatusBar;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class TOVBitBtn;
class TSharedThd;
class TWinePrefix;
struct TSettings;

struct TCategoryData {
    bool HasEntries = false;  // the node or a node below it holds entries
    QList<TStartupRecord *> Items;
};

class TStartupModel final : public TReportModel
{
    Q_OBJECT
public:
    TStartupModel(QList<TStartupRecord *> *records, const QList<QIcon> *images, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    QList<TStartupRecord *> *FRecords;
    const QList<QIcon> *FImages;
};

// What the window needs of the program around it; FromMainWindow() takes it from PaaIkkuna.
struct TStartupHost {
    QString ProgramFolder;          // host folder of Options.ini; the default undo folder's parent
    TSettings *Settings = nullptr;  // [Startup] undo, confirmation and deleting method
    std::function<QString()> UndoHeader;
    // The date and time as the undo header gives them (user's short date, long time).
    std::function<QPair<QString, QString>()> UndoDateTime;
    std::function<QString(const QString &folder, const QString &fileName)> UniqueFileName;
    // Deletes files (Windows paths) on the deletion thread; onDone runs on the GUI thread.
    std::function<void(const QStringList &files, bool permanent, std::function<void(bool aborted)> onDone)> DeleteFiles;
    std::function<void()> Closed;  // clears the main window's FStartupOpen
    std::shared_ptr<TWinePrefix> Prefix;  // nullptr: TWinePrefix::Current()

    static TStartupHost FromMainWindow();
};

class TStartupIkkuna final : public TToolWindow
{
    Q_OBJECT

public:
    static constexpr int CategoryCount = 12;

    explicit TStartupIkkuna(QWidget *parent = nullptr, TStartupHost host = TStartupHost::FromMainWindow());
    ~TStartupIkkuna() override;

    // Test access.
    bool Scanning() const { return FScanning; }
    const QList<TStartupRecord *> &Records() const { return FVisible; }
    TStartupModel *Model() const { return FModel; }
    QTreeView *FileList() const { return FFileList; }
    QTreeWidget *Categories() const { return FCategories; }
    TOVBitBtn *Button(const QString &objectName) const;
    QProgressBar *ProgressBar() const { return FBar; }
    QString StatusText() const;
    bool CategoryHasEntries(int index) const { return FCategoryData[index].HasEntries; }
    const TStartupLocations &Locations() const { return FLocations; }
    int ImageCount() const { return int(FImages.size()); }

    // Replaced by tests: the print dialog (false = cancelled) and the save dialog (empty = cancelled).
    void SetPrintDialog(std::function<bool(QWidget *, QPrinter &)> dialog) { FPrintDialog = std::move(dialog); }
    void SetSaveDialog(std::function<QString(QWidget *)> dialog) { FSaveDialog = std::move(dialog); }

public slots:
    void btnFindClick();
    void btnStopClick();
    void btnDeleteClick();
    void btnPrintClick();
    void btnSaveClick();
    void btnCloseClick();
    void FileListColumnClick(int column);
    void trvCategoriesChange();

protected:
    void showEvent(QShowEvent *event) override;
    bool SearchRunning() const override;
    void StopSearch() override { btnStopClick(); }
    void Closing() override;

private:
    void AddStartupItem(const QString &item, const QString &location, const QString &valueName, const QString &data,
                        quint8 kind, int categoryIndex, QChar delimiter);
    void ScanProgress(int position, int total);
    void ScanTotal(int total);
    void ScanDone(TSharedThd *sender);

    void BuildTree();
    void FitCategories();
    void BuildImages();
    int IconFor(const QString &path);
    void ClearCategories();
    void ShowCategory(int index);
    void RepaintTree();
    void RemoveRecord(TStartupRecord *record);
    void SortVisible();
    int CompareRecords(const TStartupRecord &a, const TStartupRecord &b) const;
    void UpdateButtons();
    void ShowCount();
    QString UndoFolderHost() const;
    int SelectedCategory() const;

    TStartupHost FHost;
    TStartupLocations FLocations;
    TCategoryData FCategoryData[CategoryCount];
    QTreeWidgetItem *FNodes[CategoryCount] = {};
    QList<TStartupRecord *> FVisible;
    QList<QIcon> FImages;
    QStringList FIconKeys;   // sorted type keys
    QList<int> FIconIndexes; // the image of each key, at the same position
    QList<TStartupInspector *> FThreads;
    int FRunning = 0;
    int FReported = 0;
    bool FScanning = false;
    bool FFirstShow = true;
    QString FWindowsFolder, FSystemFolder;
    std::unique_ptr<TStartupResolver> FResolver;
    QCollator FCollator;

    TStartupModel *FModel = nullptr;
    QTreeView *FFileList = nullptr;
    QTreeWidget *FCategories = nullptr;
    QSplitter *FSplitter = nullptr;
    QStatusBar *FStatusBar = nullptr;
    QProgressBar *FBar = nullptr;
    QLabel *FStatusLabel = nullptr;
    TOVBitBtn *btnFind = nullptr, *btnStop = nullptr, *btnDelete = nullptr, *btnPrint = nullptr, *btnSave = nullptr,
              *btnClose = nullptr;
    std::function<bool(QWidget *, QPrinter &)> FPrintDialog;
    std::function<QString(QWidget *)> FSaveDialog;
};

// Registers the window with the main window's tool factory (TToolKind::Startup).
void RegisterStartupManager();
