// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the space-usage window: folder choice, the scan, the pie and the size list, moving in the tree, saving.
#include "files/Charts.h"

#include "files/FolderTree.h"
#include "files/PieChart.h"
#include "files/TypeNames.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/WinFiles.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/Listing.h"
#include "shell/Main.h"
#include "shell/MessageBoxes.h"
#include "shell/ReportColumns.h"
#include "shell/SafeFormat.h"
#include "shell/Settings.h"
#include "shell/SettingsUi.h"
#include "shell/ToolWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QString Section = QStringLiteral("Space usage");

constexpr double Divisors[] = {1, 1024, 1048576, 1073741824, 1};
constexpr int Decimals[] = {0, 1, 3, 5, 0};
constexpr int CountUnit = 4;

// white, aqua, green, fuchsia, blue, yellow, lime, red; as 0x00BBGGRR
constexpr quint32 SliceCycle[] = {0xFFFFFF, 0xFFFF00, 0x008000, 0xFF00FF, 0xFF0000, 0x00FFFF, 0x00FF00, 0x0000FF};
constexpr quint32 FreeSpaceColour = 0x800000;  // navy

QString Msg(const char *id, const char *english)
{
    return LangMessage(QString::fromLatin1(id), QString::fromUtf8(english));
}

}  // namespace

// ---- model

TKaavioModel::TKaavioModel(QObject *parent)
    : TReportModel({QStringLiteral("Size"), QStringLiteral("Name")}, 0, parent)
{
}

int TKaavioModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(Rows.size());
}

QVariant TKaavioModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= Rows.size())
        return {};
    const TKaavioRow &r = Rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? r.Caption : r.Name;
    case Qt::DecorationRole:
        if (index.column() == 0 && !r.Icon.isNull())
            return r.Icon;
        return {};
    case Qt::ForegroundRole: {
        TColor colour = Colors::clBlack;
        if (ColourCoded && r.Data && !r.Colour.isEmpty() && StringToColor(r.Colour, &colour)
            && colour == Colors::clWhite)
            colour = Colors::clBlack;
        return ColorRefToQColor(quint32(ColourCoded && r.Data ? colour : Colors::clBlack));
    }
    case Qt::BackgroundRole:
        return SortColumnBackground(index.column());
    case Qt::TextAlignmentRole:
        return index.column() == 0 ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    default:
        return {};
    }
}

QVariant TKaavioModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DecorationRole && section >= 0 && section < columnCount()
        && section == SortColumn() && !SortImage.isNull())
        return SortImage;
    return TReportModel::headerData(section, orientation, role);
}

// ---- host

TKaavioHost TKaavioHost::FromMainWindow()
{
    TKaavioHost host;
    TPaaIkkuna *main = PaaIkkuna;
    if (!main)
        return host;
    host.ProgramFolder = main->ProgramFolder();
    host.Settings = &main->Settings();
    host.Closed = [main] { main->FSpaceUsageOpen = false; };
    return host;
}

// ---- window

TKaavioIkkuna::TKaavioIkkuna(QWidget *parent, TKaavioHost host)
    : TToolWindow(parent, {.Section = Section,
                           .SortColumn = 0,
                           .LastSortColumn = 1,
                           .Look = host.Settings,
                           .MinimizesWithMain = true,
                           .SearchClose = TSearchClose::StopsAndCloses}),
      FHost(std::move(host))
{
    FormCreate();
}

TKaavioIkkuna::~TKaavioIkkuna()
{
    FormDestroy();
}

const TSettings &TKaavioIkkuna::Options() const
{
    static const TSettings defaults;
    return FHost.Settings ? *FHost.Settings : defaults;
}

void TKaavioIkkuna::FormCreate()
{
    setObjectName(QStringLiteral("KaavioIkkuna"));
    setProperty("HelpContext", 9);
    FCaptionBase = QStringLiteral("Space usage");
    setWindowTitle(FCaptionBase);
    resize(720, 520);

    btnFind = NewToolButton(this, "btnFind", QStringLiteral("&Find"));
    btnStop = NewToolButton(this, "btnStop", QStringLiteral("S&top"));
    btnUp = NewToolButton(this, "btnUp", QStringLiteral("&Up"));
    btnPrint = NewToolButton(this, "btnPrint", QStringLiteral("&Print"));
    btnSave = NewToolButton(this, "btnSave", QStringLiteral("&Save"));
    btnClose = NewToolButton(this, "btnClose", QStringLiteral("&Close"));
    btnStop->setEnabled(false);
    btnUp->setEnabled(false);

    Asema = new TShellComboBox(this);
    Asema->setObjectName(QStringLiteral("Asema"));
    Hakemisto = new TShellTreeView(this);
    Hakemisto->setObjectName(QStringLiteral("Hakemisto"));
    const TDriveMap &drives = WinFiles::DrivesOf();
    Hakemisto->FillDrives(drives);
    Asema->FillDrives(drives);
    Asema->SetTree(Hakemisto);

    Kaavio = new TPieChart(this);
    Kaavio->setObjectName(QStringLiteral("Kaavio"));
    ItemiLabel = new QLabel(this);
    ItemiLabel->setObjectName(QStringLiteral("ItemiLabel"));
    PathLabel = new QLabel(this);
    PathLabel->setObjectName(QStringLiteral("PathLabel"));
    VolumeLabel = new QLabel(this);
    VolumeLabel->setObjectName(QStringLiteral("VolumeLabel"));
    VolumeLabel->hide();

    Units = new QComboBox(this);
    Units->setObjectName(QStringLiteral("Units"));
    Units->addItems({QStringLiteral("Bytes"), QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB"),
                     QStringLiteral("Count")});

    FModel = new TKaavioModel(this);
    Lista = new QTreeView(this);
    Lista->setObjectName(QStringLiteral("Lista"));
    Lista->setModel(FModel);
    Lista->setRootIsDecorated(false);
    Lista->setUniformRowHeights(true);
    Lista->setSelectionBehavior(QAbstractItemView::SelectRows);
    Lista->setSelectionMode(QAbstractItemView::SingleSelection);
    Lista->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Lista->header()->setSectionsClickable(true);
    Lista->header()->setStretchLastSection(true);
    Lista->setColumnWidth(0, 90);

    static const QFileIconProvider icons;
    ListaImages = {style()->standardIcon(QStyle::SP_ArrowDown), style()->standardIcon(QStyle::SP_ArrowUp),
                   icons.icon(QFileIconProvider::Folder)};

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        auto *panel = new QLabel(StatusBar);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        StatusBar->addWidget(panel, i == 3 ? 3 : 1);
        FPanels.append(panel);
    }

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(333);

    auto *left = new QVBoxLayout;
    left->addWidget(Asema);
    left->addWidget(Hakemisto, 1);
    auto *findRow = new QHBoxLayout;
    findRow->addWidget(btnFind);
    findRow->addWidget(btnStop);
    left->addLayout(findRow);
    auto *right = new QVBoxLayout;
    right->addWidget(Kaavio, 3);
    right->addWidget(ItemiLabel);
    right->addWidget(Lista, 2);
    auto *info = new QHBoxLayout;
    info->addWidget(Units);
    info->addWidget(btnUp);
    info->addWidget(PathLabel, 1);
    info->addWidget(VolumeLabel);
    right->addLayout(info);
    auto *body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addLayout(right, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (TOVBitBtn *b : {btnPrint, btnSave, btnClose})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar);

    connect(btnFind, &QAbstractButton::clicked, this, &TKaavioIkkuna::btnFindClick);
    connect(btnStop, &QAbstractButton::clicked, this, &TKaavioIkkuna::btnStopClick);
    connect(btnUp, &QAbstractButton::clicked, this, &TKaavioIkkuna::btnUpClick);
    connect(btnPrint, &QAbstractButton::clicked, this, &TKaavioIkkuna::btnPrintClick);
    connect(btnSave, &QAbstractButton::clicked, this, &TKaavioIkkuna::btnSaveClick);
    connect(btnClose, &QAbstractButton::clicked, this, &TKaavioIkkuna::btnCloseClick);
    connect(Units, &QComboBox::currentIndexChanged, this, &TKaavioIkkuna::UnitsChange);
    connect(Kaavio, &TPieChart::MouseMoved, this, &TKaavioIkkuna::KaavioKuvaMouseMove);
    connect(Kaavio, &TPieChart::DoubleClicked, this, &TKaavioIkkuna::KaavioKuvaDblClick);
    connect(Hakemisto, &QTreeWidget::itemDoubleClicked, this, &TKaavioIkkuna::HakemistoDblClick);
    connect(Hakemisto, &QTreeWidget::itemCollapsed, this, &TKaavioIkkuna::HakemistoCollapsing);
    connect(Asema, &QComboBox::activated, this, &TKaavioIkkuna::AsemaChange);
    connect(Lista->header(), &QHeaderView::sectionClicked, this, &TKaavioIkkuna::ListaColumnClick);
    connect(Lista->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TKaavioIkkuna::ListaSelectItem);
    connect(Lista, &QAbstractItemView::doubleClicked, this, &TKaavioIkkuna::ListaDblClick);
    connect(Timer2, &QTimer::timeout, this, &TKaavioIkkuna::Timer2Timer);

    FSaveDialog = [](TKaavioIkkuna *window) {
        QFileDialog dialog(window, QStringLiteral("Save chart"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        const QStringList filters{QStringLiteral("Bitmaps (*.bmp)"), QStringLiteral("Enhanced Metafiles (*.emf)"),
                                  QStringLiteral("Metafiles (*.wmf)"), QStringLiteral("All (*.bmp *.emf *.wmf)")};
        dialog.setNameFilters(filters);
        dialog.setDefaultSuffix(window->FDefaultExt);
        QObject::connect(&dialog, &QFileDialog::filterSelected, window, [&dialog, window, filters](const QString &f) {
            window->TallennaTypeChange(int(filters.indexOf(f)) + 1);
            dialog.setDefaultSuffix(window->FDefaultExt);
        });
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
    FPrintDialog = [](QWidget *owner, QPrinter &printer) { return Listing::RunPrintDialog(owner, printer); };

    FScanning = false;
    FFirstShow = true;
    Hakemisto->SetPath(QStringLiteral("c:\\"));  // no C: drive: nothing selected
    ItemiLabel->clear();
    PathLabel->clear();
    VolumeLabel->clear();
    FRootList = std::make_shared<TFolderList>(nullptr, QStringLiteral("."));
    SetChartTitle(FCaptionBase);

    ReadSection(FHost.ProgramFolder);
    FModel->SetSortColumn(FSortColumn);
    FModel->SortImage = ListaImages.at(FSortForward ? 1 : 0);
    UnitsChange();
}

void TKaavioIkkuna::ReadKeys(const TIniFile &ini)
{
    ReadSize(ini);
    {
        const QSignalBlocker block(Units);
        Units->setCurrentIndex(std::clamp(ini.ReadInteger(Section, QStringLiteral("Units"), 0), 0, 4));
    }
    ReadSort(ini);
}

void TKaavioIkkuna::WriteKeys(TIniFile &ini)
{
    WriteSize(ini);
    ini.WriteInteger(Section, QStringLiteral("Units"), FUnit);
    WriteSort(ini);
}

void TKaavioIkkuna::FormDestroy()
{
    *FStopFlag = true;
    Timer2->stop();
    WriteSection(FHost.ProgramFolder);
    FModel->Reset([this] { FModel->Rows.clear(); });
    FCurrentList = nullptr;
    FFreeSpaceData = nullptr;
    FRootList.reset();
}

void TKaavioIkkuna::showEvent(QShowEvent *event)
{
    TToolWindow::showEvent(event);
    const TSettings &o = Options();
    ItemiLabel->setFont(font());
    Kaavio->SetChartFont(font());
    if (FFirstShow) {
        if (LanguageFile()) {
            const int unit = Units->currentIndex();
            TranslateForms(this);
            FCaptionBase = windowTitle();
            const QSignalBlocker block(Units);
            Units->setCurrentIndex(unit);
        }
        FUseCompressed = o.FChartCompressed;
        FShowFreeSpace = o.FChartFreeSpace;
        connect(Hakemisto, &TShellTreeView::PathChanged, this, &TKaavioIkkuna::HakemistoChange, Qt::UniqueConnection);
        // The first activation follows the showing, once the modal loop runs.
        QTimer::singleShot(0, this, &TKaavioIkkuna::FormActivate);
    }
}

void TKaavioIkkuna::FormActivate()
{
    if (!FFirstShow)
        return;
    FFirstShow = false;
    const QString selected = Hakemisto->SelectedPath();
    if (Options().FChartAutoScan && !selected.isEmpty()) {
        FPath = selected;
        Scan_tree();
    }
}

void TKaavioIkkuna::Closing()
{
    if (FHost.Closed)
        FHost.Closed();
}

void TKaavioIkkuna::btnCloseClick()
{
    close();
}

QString TKaavioIkkuna::PanelText(int panel) const
{
    return panel >= 0 && panel < FPanels.size() ? FPanels.at(panel)->text() : QString();
}

void TKaavioIkkuna::SetPanel(int panel, const QString &text)
{
    FPanels.at(panel)->setText(text);
}

void TKaavioIkkuna::SetChartTitle(const QString &title)
{
    Kaavio->SetTitle(title);
}

void TKaavioIkkuna::SetScanControls(bool scanning)
{
    for (QWidget *w : {static_cast<QWidget *>(btnFind), static_cast<QWidget *>(btnPrint),
                       static_cast<QWidget *>(btnSave), static_cast<QWidget *>(Asema), static_cast<QWidget *>(Hakemisto)})
        w->setEnabled(!scanning);
    btnStop->setEnabled(scanning);
}

QString TKaavioIkkuna::ValueText(TExtended value, int unit)
{
    unit = std::clamp(unit, 0, 4);
    return GroupedNumber(double(value / TExtended(Divisors[unit])), Decimals[unit]).rightJustified(3, u' ');
}

qint64 TKaavioIkkuna::DriveFreeBytes() const
{
    return FFreeSpaceData ? qint64(FFreeSpaceData->Size) : 0;
}

// ---- scanning

void TKaavioIkkuna::Scan_tree()
{
    if (FScanning)
        return;
    Kaavio->Series1.Clear();
    Kaavio->Changed();
    // The old tree is released below: nothing may point into it any more.
    FCurrentList = nullptr;
    FFreeSpaceData = nullptr;
    FValueTexts.clear();
    FLowerNames.clear();
    FSliceColours.clear();
    FRowColours.clear();
    FLegendItems.Clear();
    FModel->Reset([this] {
        FModel->Rows.clear();
        FModel->Rows.append({QString(), Msg("M102KI", "Please wait, loading list..."), nullptr, QIcon(), QString()});
    });
    setWindowTitle(FCaptionBase);

    if (FPath.isEmpty())
        FPath = WinFiles::DrivesOf().ToWindows(QDir::currentPath());
    if (FPath.isEmpty())
        FPath = Hakemisto->SelectedPath();
    if (FPath.isEmpty()) {
        FModel->Reset([this] { FModel->Rows.clear(); });  // nothing to scan: no row waits for a list
        return;
    }
    if (!FPath.endsWith(u'\\'))
        FPath += u'\\';
    const QString root = FPath.left(3);
    const TVolumeInfo volume = QueryVolume(root);
    const quint64 clusterSize = volume.Known ? volume.ClusterSize : 1;
    const bool compression = volume.Known && volume.Compression;

    *FStopFlag = false;
    SetScanControls(true);
    btnUp->setEnabled(false);
    SetPanel(0, Msg("M103KI", "Scanning..."));
    SetPanel(1, QString());
    SetPanel(2, QString());
    PathLabel->clear();
    PathLabel->setToolTip(Msg("M104KI", "Maximum characters in file name"));
    Timer2->start();
    Lista->setToolTip(QString());

    FRootList->Reset(FPath);
    FScanning = true;
    if (IsDriveRoot() && FShowFreeSpace) {
        if (!FUseCompressed)
            FUseCompressed = Options().FChartCompressed;
        const TExtended free = TExtended(volume.FreeBytes);
        FRootList->AddFile(SafeFormat(Msg("M105KI", "(%s free space)"), FPath.left(2)), free, free);
        FFreeSpaceData = FRootList->Data(0);
    }
    if (compression) {
        VolumeLabel->setVisible(true);
        VolumeLabel->setText(FUseCompressed ? Msg("M106KI", "Compressed sizes") : Msg("M107KI", "Uncompressed sizes"));
        VolumeLabel->setStyleSheet(FUseCompressed ? QStringLiteral("color: blue") : QStringLiteral("color: black"));
    } else {
        VolumeLabel->setVisible(false);
    }

    const QPointer<TKaavioIkkuna> alive(this);
    const std::shared_ptr<TFolderList> tree = FRootList;
    const std::shared_ptr<bool> stop = FStopFlag;
    tree->Scan(*stop, FUseCompressed, clusterSize, [alive](const QString &text) {
        if (alive)
            alive->FProgressText = text;
    });
    if (!alive)
        return;

    Display_list(FRootList.get());
    FScanning = false;
    *FStopFlag = false;
    Timer2->stop();
    SetScanControls(false);
    const QList<TFolderList::TSkipped> skipped = FRootList->SkippedFolders;
    if (!skipped.isEmpty())
        MessageBoxes::Information(
            this, SafeFormat(Msg("M142KI", "%d folder(s) could not be read and count with what could be read of "
                                           "them. The first is %s: %s"),
                             {TFormatArg::Count(skipped.size()), skipped.constFirst().Path, skipped.constFirst().Reason}));
}

void TKaavioIkkuna::Timer2Timer()
{
    SetPanel(1, SafeFormat(Msg("M111KI", "Files: %1.n"), double(FRootList->FileCount)));
    SetPanel(2, SafeFormat(Msg("M112KI", "Folders: %1.n"), double(FRootList->FolderCount)));
    SetPanel(3, FProgressText);
}

void TKaavioIkkuna::btnFindClick()
{
    const QString selected = Hakemisto->SelectedPath();
    if (selected.isEmpty() || FScanning)
        return;
    FPath = selected;
    Scan_tree();
}

void TKaavioIkkuna::btnStopClick()
{
    *FStopFlag = true;
}

void TKaavioIkkuna::HakemistoChange()
{
    if (!Options().FChartAutoScan || FScanning)
        return;
    QString selected = Hakemisto->SelectedPath();
    if (selected.isEmpty())
        return;
    if (!selected.endsWith(u'\\'))
        selected += u'\\';
    if (selected.compare(FPath, Qt::CaseInsensitive) == 0)
        return;
    FPath = selected;
    Scan_tree();
}

void TKaavioIkkuna::HakemistoDblClick()
{
    btnFindClick();
}

void TKaavioIkkuna::HakemistoCollapsing(QTreeWidgetItem *item)
{
    if (item && item == Hakemisto->RootItem())
        Hakemisto->expandItem(item);
}

void TKaavioIkkuna::AsemaChange()
{
}

void TKaavioIkkuna::UnitsChange()
{
    FUnit = std::clamp(Units->currentIndex(), 0, 4);
    // While a scan runs there is no list to show: the tree is being built.
    if (!FScanning)
        Display_list(FCurrentList);
}

// ---- the list and the pie

QIcon TKaavioIkkuna::RowIcon(const TFolderList *list, const QString &name)
{
    if (name.startsWith(u'\\'))
        return ListaImages.at(2);
    static const QFileIconProvider icons;
    const QFileInfo file(list->HostPath().isEmpty() ? QString() : list->HostPath() + u'/' + name);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString ext = dot > 0 ? name.mid(dot).toLower() : QString();
    if (ext == u".exe" || ext == u".ico" || ext == u".cur" || ext == u".lnk")
        return icons.icon(file);
    // The type name of an extension is asked for once: a folder of many files of one kind
    // would otherwise read the classes of the registry for every row.
    const QString key = ext + u' ' + TypeNames::Of(name, &FTypeNames);
    const qsizetype at = FIconKeys.indexOf(key);
    if (at >= 0)
        return FIconIndexes.at(at);
    FIconKeys.append(key);
    FIconIndexes.append(icons.icon(file));
    return FIconIndexes.constLast();
}

void TKaavioIkkuna::Display_list(TFolderList *list)
{
    if (!list)
        return;
    FCurrentList = list;
    FValueTexts.clear();
    FLowerNames.clear();
    FSliceColours.clear();
    FRowColours.clear();
    FLegendItems.Clear();
    FValueSum = 0;

    const int count = list->Count();
    QList<TExtended> values;
    QStringList texts;
    TExtended total = 0;
    for (int i = 0; i < count; ++i) {
        const TFolderData *d = list->Data(i);
        const TExtended value = FUnit == CountUnit ? TExtended(d->FileCount) : d->Size;
        values.append(value);
        texts.append(ValueText(value, FUnit));
        FValueTexts.append(QString::number(qint64(value)));
        FLowerNames.append(list->Name(i).toLower());
        total += value;
    }

    PathLabel->setText(SafeFormat(Msg("M108KI", "Max path: %d"), TFormatArg::Count(list->LongestPathLength)));
    PathLabel->setToolTip(SafeFormat(Msg("M109KI", "Maximum characters in file name was %d characters, it was %s"),
                                     TFormatArg::Count(list->LongestPathLength), list->LongestPath));

    Kaavio->Series1.Clear();
    for (int i = 0; i < count; ++i) {
        const quint32 colour = list->Data(i) == FFreeSpaceData && FFreeSpaceData ? FreeSpaceColour : SliceCycle[i % 8];
        // An empty folder (or no files with unit Count) has no whole to take parts of.
        const TExtended percent = total > 0 ? values.at(i) / total * 100 : 0;
        const QString label = percent >= 6 ? list->Name(i) + u' ' + QString::number(std::llround(double(percent))) + u'%'
                                           : QStringLiteral(" ");
        Kaavio->Series1.Add(double(values.at(i)), label, colour);
        FSliceColours.append(ColorToString(TColor(colour)));
    }
    Kaavio->Changed();

    FModel->ColourCoded = Options().FChartLegendColors;
    FModel->Reset([&] {
        FModel->Rows.clear();
        for (int i = 0; i < count; ++i) {
            TKaavioRow row;
            row.Caption = texts.at(i);
            row.Name = list->Name(i);
            row.Data = list->Data(i);
            row.Value = values.at(i);
            row.Icon = RowIcon(list, row.Name);
            const qsizetype colourAt = FLowerNames.indexOf(row.Name.toLower());
            row.Colour = FSliceColours.value(colourAt >= 0 ? colourAt : 0);
            FModel->Rows.append(row);
            FRowColours.append(FSliceColours.at(i));
            FLegendItems.Add(row.Name, row.Data, values.at(i));
            FValueSum += values.at(i);
        }
    });
    SortRows();
    ReportColumns::Fit(Lista);

    SetPanel(0, SafeFormat(Msg("M110KI", "Bytes: %1.n"), double(list->TotalSize)));
    SetPanel(1, SafeFormat(Msg("M111KI", "Files: %1.n"), double(list->FileCount)));
    SetPanel(2, SafeFormat(Msg("M112KI", "Folders: %1.n"), double(list->FolderCount)));
    SetPanel(3, list->Path + QStringLiteral("..."));
    setWindowTitle(list->Path + QStringLiteral(" - ") + FCaptionBase);
    FPrinterTitle = windowTitle();
    btnUp->setEnabled(list->Parent != nullptr);

    // The free space belongs to the pie of the drive root only.
    FPieTotal = list->TotalSize;
    if (list == FRootList.get() && FFreeSpaceData)
        FPieTotal += FFreeSpaceData->Size;
}

int TKaavioIkkuna::ListaCompare(const TKaavioRow &a, const TKaavioRow &b) const
{
    int result = 0;
    if (FSortColumn == 0) {
        result = a.Value < b.Value ? -1 : a.Value > b.Value ? 1 : 0;
    } else {
        result = a.Name.compare(b.Name, Qt::CaseInsensitive);
    }
    return FSortForward ? result : -result;
}

void TKaavioIkkuna::SortRows()
{
    FModel->Reset([this] {
        FModel->SetSortColumn(FSortColumn);
        std::stable_sort(FModel->Rows.begin(), FModel->Rows.end(),
                         [this](const TKaavioRow &a, const TKaavioRow &b) { return ListaCompare(a, b) < 0; });
    });
}

void TKaavioIkkuna::ListaColumnClick(int column)
{
    TurnSort(column);
    FModel->SortImage = ListaImages.at(FSortForward ? 1 : 0);
    SortRows();
    emit FModel->headerDataChanged(Qt::Horizontal, 0, 1);
}

void TKaavioIkkuna::ListaSelectItem()
{
    const QModelIndex current = Lista->currentIndex();
    if (!current.isValid() || current.row() >= FModel->Rows.size())
        return;
    const TKaavioRow &row = FModel->Rows.at(current.row());
    const QString text = row.Caption + QStringLiteral("  ") + row.Name;
    const qsizetype blank = text.indexOf(u' ');
    Lista->setToolTip((blank >= 0 ? text.mid(blank) : text).trimmed());
}

void TKaavioIkkuna::ListaDblClick()
{
    const QModelIndex current = Lista->currentIndex();
    if (current.isValid() && current.row() < FModel->Rows.size())
        Handle_double_click(FModel->Rows.at(current.row()).Data);
}

void TKaavioIkkuna::Handle_double_click(TFolderData *data)
{
    if (!data)
        return;
    if (data->SubList) {
        Display_list(data->SubList);
        return;
    }
    if (TFolderList *parent = GetParentList(data))
        Display_list(parent);
}

void TKaavioIkkuna::btnUpClick()
{
    if (FModel->Rows.isEmpty())
        return;
    if (TFolderList *parent = GetParentList(FModel->Rows.constFirst().Data))
        Display_list(parent);
}

void TKaavioIkkuna::KaavioKuvaMouseMove(const QPoint &pos)
{
    FMousePos = pos;
    const int slice = FScanning ? -1 : Kaavio->SliceAt(pos);
    if (slice < 0 || slice >= FLowerNames.size()) {
        ItemiLabel->clear();
        return;
    }
    bool ok = false;
    const qint64 raw = FValueTexts.at(slice).toLongLong(&ok);
    const TExtended whole = FUnit == CountUnit ? FValueSum : FPieTotal;
    const qint64 percent = ok && whole > 0 ? std::llround(double(TExtended(raw) / whole * 100)) : 0;
    const QString name = FCurrentList && slice < FCurrentList->Count() ? FCurrentList->Name(slice) : FLowerNames.at(slice);
    ItemiLabel->setText(name + u' ' + ValueText(TExtended(raw), FUnit).trimmed() + QStringLiteral(" (")
                        + QString::number(percent) + QStringLiteral("%)"));
}

void TKaavioIkkuna::KaavioKuvaDblClick()
{
    if (FScanning || !FCurrentList)
        return;
    // The slice's own entry: matching names as text could open another entry whose row merely
    // contains the slice's name ("a" is inside "\data").
    const int slice = Kaavio->SliceAt(FMousePos);
    if (slice >= 0 && slice < FCurrentList->Count())
        Handle_double_click(FCurrentList->Data(slice));
}

// ---- saving and printing

void TKaavioIkkuna::TallennaTypeChange(int filterIndex)
{
    static const char *const extensions[] = {"bmp", "emf", "wmf", "bmp"};
    if (filterIndex >= 1 && filterIndex <= 4)
        FDefaultExt = QString::fromLatin1(extensions[filterIndex - 1]);
}

void TKaavioIkkuna::btnSaveClick()
{
    const QString fileName = FSaveDialog ? FSaveDialog(this) : QString();
    if (fileName.isEmpty())
        return;
    SetChartTitle(FPath + u' ' + FCaptionBase);
    const QString ext = QFileInfo(fileName).suffix().toLower();
    QString error;
    bool saved = true;
    if (ext == u"bmp")
        saved = Kaavio->SaveBitmap(fileName, &error);
    else if (ext == u"emf")
        saved = Kaavio->SaveEmf(fileName, &error);
    else if (ext == u"wmf")
        saved = Kaavio->SaveWmf(fileName, AnsiCodePage(), &error);
    SetChartTitle(FCaptionBase);
    if (!saved)
        MessageBoxes::Error(this, QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, error));
}

void TKaavioIkkuna::btnPrintClick()
{
    QPrinter printer;
    if (!FPrintDialog || !FPrintDialog(this, printer))
        return;
    printer.setDocName(FPrinterTitle.isEmpty() ? FCaptionBase : FPrinterTitle);
    SetChartTitle(FPath + u' ' + FCaptionBase);
    const bool printed = Kaavio->Print(printer);
    SetChartTitle(FCaptionBase);
    if (!printed)
        MessageBoxes::Error(this, QStringLiteral("The printer could not start printing \"%1\".").arg(printer.docName()));
}

void RegisterSpaceUsage()
{
    TPaaIkkuna::RegisterTool(TToolKind::SpaceUsage, [](QWidget *parent) { return new TKaavioIkkuna(parent); });
}
