// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TKaavioIkkuna, the space-usage window: a folder's entries as a pie chart and a size list.
//
// The scan fills the folder-size tree (FileInfo.h) on the GUI thread, processing pending events
// once per folder; afterwards the window moves down into subfolders and up again from the tree
// in memory.
#pragma once

#include "files/FileInfo.h"
#include "shell/ReportModel.h"
#include "shell/ToolWindow.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QStringList>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QPrinter;
class QStatusBar;
class QTimer;
class QTreeView;
class QTreeWidgetItem;
class TOVBitBtn;
class TPieChart;
class TShellComboBox;
class TShellTreeView;
struct TSettings;

// An object reference with an extended value (the legend's entries).
struct TObjectAndDouble {
    TFolderData *Object = nullptr;
    TExtended Value = 0;
};
// A string list whose objects are TObjectAndDouble.
class TStringListWithDouble
{
public:
    void Clear() { FItems.clear(); }
    void Add(const QString &s, TFolderData *object, TExtended value) { FItems.append({s, {object, value}}); }
    int Count() const { return int(FItems.size()); }
    const QString &String(int i) const { return FItems.at(i).first; }
    const TObjectAndDouble &Object(int i) const { return FItems.at(i).second; }

private:
    QList<QPair<QString, TObjectAndDouble>> FItems;
};

// One row of the list: caption (the value text), name, and the entry it stands for.
struct TKaavioRow {
    QString Caption;
    QString Name;
    TFolderData *Data = nullptr;  // nullptr for the waiting row
    QIcon Icon;
    QString Colour;  // the slice colour's name, the row's text colour with a colour-coded legend
    TExtended Value = 0;  // what the caption shows, for sorting
};

class TKaavioModel final : public TReportModel
{
    Q_OBJECT
public:
    explicit TKaavioModel(QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QList<TKaavioRow> Rows;
    QIcon SortImage;        // the sort column's header image
    bool ColourCoded = false;
};

// What the window needs of the program around it; tests give their own.
struct TKaavioHost {
    QString ProgramFolder;          // host folder of Options.ini; empty: no settings file
    TSettings *Settings = nullptr;  // the options of the space-usage page and the colours; null: defaults
    std::function<void()> Closed;   // clears the main window's FSpaceUsageOpen
    static TKaavioHost FromMainWindow();
};

class TKaavioIkkuna final : public TToolWindow
{
    Q_OBJECT
public:
    explicit TKaavioIkkuna(QWidget *parent = nullptr, TKaavioHost host = TKaavioHost::FromMainWindow());
    ~TKaavioIkkuna() override;

    // The picture save dialog: returns the chosen host path (empty: cancelled) and may call
    // TallennaTypeChange as the user picks filters. Replaced by tests.
    using TSaveDialog = std::function<QString(TKaavioIkkuna *window)>;
    void SetSaveDialog(TSaveDialog dialog) { FSaveDialog = std::move(dialog); }
    // The print dialog over printer; false when cancelled. Default: the main window's.
    using TPrintDialog = std::function<bool(QWidget *parent, QPrinter &printer)>;
    void SetPrintDialog(TPrintDialog dialog) { FPrintDialog = std::move(dialog); }

    // Components (names as in the form).
    TShellTreeView *Hakemisto = nullptr;
    TShellComboBox *Asema = nullptr;
    TPieChart *Kaavio = nullptr;
    QTreeView *Lista = nullptr;
    QComboBox *Units = nullptr;
    QLabel *ItemiLabel = nullptr, *PathLabel = nullptr, *VolumeLabel = nullptr;
    TOVBitBtn *btnFind = nullptr, *btnStop = nullptr, *btnUp = nullptr, *btnPrint = nullptr, *btnSave = nullptr,
              *btnClose = nullptr;
    QStatusBar *StatusBar = nullptr;
    QTimer *Timer2 = nullptr;

    // Test access.
    bool Scanning() const { return FScanning; }
    QString Path() const { return FPath; }
    TFolderList *CurrentList() const { return FCurrentList; }
    TFolderList *RootList() const { return FRootList.get(); }
    TKaavioModel *Model() const { return FModel; }
    QString PanelText(int panel) const;
    const QStringList &SliceColours() const { return FSliceColours; }
    const QStringList &ValueTexts() const { return FValueTexts; }
    QString DefaultExtension() const { return FDefaultExt; }

    static QString ValueText(TExtended value, int unit);

public slots:
    void Scan_tree();
    void Display_list(TFolderList *list);
    void Handle_double_click(TFolderData *data);
    void UnitsChange();
    void btnFindClick();
    void btnStopClick();
    void btnUpClick();
    void btnPrintClick();
    void btnSaveClick();
    void btnCloseClick();
    void TallennaTypeChange(int filterIndex);  // 1 .. 4, as the filter list counts
    void KaavioKuvaMouseMove(const QPoint &pos);
    void KaavioKuvaDblClick();
    void HakemistoChange();
    void HakemistoDblClick();
    void HakemistoCollapsing(QTreeWidgetItem *item);
    void AsemaChange();
    void ListaColumnClick(int column);
    void ListaSelectItem();
    void ListaDblClick();
    void Timer2Timer();

protected:
    void showEvent(QShowEvent *event) override;
    void ReadKeys(const TIniFile &ini) override;
    void WriteKeys(TIniFile &ini) override;
    // During a scan Stop is pressed; the window then closes and the scan unwinds at its next entry.
    bool SearchRunning() const override { return FScanning; }
    void StopSearch() override { btnStopClick(); }
    void Closing() override;

private:
    void FormCreate();
    void FormActivate();
    void FormDestroy();
    int ListaCompare(const TKaavioRow &a, const TKaavioRow &b) const;
    void SortRows();
    void SetPanel(int panel, const QString &text);
    void SetScanControls(bool scanning);
    void SetChartTitle(const QString &title);
    QIcon RowIcon(const TFolderList *list, const QString &name);
    bool IsDriveRoot() const { return FPath.size() == 3; }
    qint64 DriveFreeBytes() const;
    const TSettings &Options() const;

    TKaavioHost FHost;
    TKaavioModel *FModel = nullptr;
    QList<QIcon> ListaImages;  // 0 descending, 1 ascending, 2 folder
    QString FPath;
    QString FCaptionBase;
    // Shared with a running scan, so that a window destroyed inside the scan's event processing
    // leaves the walk its tree and its stop flag until it unwinds.
    std::shared_ptr<TFolderList> FRootList;
    TFolderList *FCurrentList = nullptr;
    TFolderData *FFreeSpaceData = nullptr;  // the free-space entry of the root, while it exists
    bool FScanning = false;
    std::shared_ptr<bool> FStopFlag = std::make_shared<bool>(false);
    bool FFirstShow = true;
    bool FActivated = false;
    bool FUseCompressed = false;
    bool FShowFreeSpace = true;
    int FUnit = 0;
    QStringList FValueTexts, FLowerNames, FSliceColours, FRowColours;
    TStringListWithDouble FLegendItems;
    TExtended FValueSum = 0;
    TExtended FPieTotal = 0;
    QStringList FIconKeys;
    QList<QIcon> FIconIndexes;
    QHash<QString, QString> FTypeNames;  // extension -> the shell's type name
    QString FProgressText;
    QPoint FMousePos;
    QString FDefaultExt = QStringLiteral("bmp");
    QString FPrinterTitle;
    TSaveDialog FSaveDialog;
    TPrintDialog FPrintDialog;
    QList<QLabel *> FPanels;
};

// Registers the window with the main window's tool factory (TToolKind::SpaceUsage).
void RegisterSpaceUsage();
