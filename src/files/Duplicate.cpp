// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TKaksoisIkkuna, the duplicate-file finder window, its list of sets and its log.
#include "files/Duplicate.h"

#include "files/DiskList.h"
#include "files/DuplicateLog.h"
#include "files/FileColumns.h"
#include "files/TypeNames.h"
#include "platform/CodePage.h"
#include "platform/CommaText.h"
#include "platform/DriveMap.h"
#include "platform/DurableFile.h"
#include "platform/IniFile.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"
#include "shell/BackgroundJob.h"
#include "shell/Buttons.h"
#include "shell/DeletionReasons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/Listing.h"
#include "shell/MessageBoxes.h"
#include "shell/ReportColumns.h"
#include "shell/SafeFormat.h"
#include "shell/Services.h"
#include "shell/SettingsUi.h"
#include "shell/ToolWindow.h"
#include "shell/Tulosta.h"

#include <QCloseEvent>
#include <QColor>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <map>

using namespace Duplicate;

namespace {

const QString Section = QStringLiteral("Duplicate files");
const QString LogTitle = QStringLiteral("Duplicate files log by Orvendal Vaskimo");

QString SizeText(qint64 size) { return GroupedNumber(double(size)); }

}  // namespace

// ---- model

TDuplicateModel::TDuplicateModel(QList<TDuplicateRow *> *rows, std::function<void(TDuplicateRow &row)> fillDetails,
                                 QObject *parent)
    : TReportModel(FileColumns::Captions() + QStringList{"CRC", "MD5"}, -1, parent),
      FRows(rows), FFillDetails(std::move(fillDetails))
{
}

int TDuplicateModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(FRows->size()); }

QVariant TDuplicateModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= FRows->size())
        return {};
    TDuplicateRow *r = FRows->at(index.row());
    const bool details = (role == Qt::DisplayRole && (index.column() == 5 || index.column() == 6))
                      || (role == Qt::DecorationRole && index.column() == 0);
    if (details && !r->DetailsKnown && !r->IsHeader) {
        if (FFillDetails)
            FFillDetails(*r);
        r->DetailsKnown = true;
    }
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case 7: return r->CRCText;
        case 8: return r->MD5Text;
        }
        return FileColumns::Text(*r, index.column());
    case Qt::DecorationRole:
        if (index.column() == 0 && !r->IsHeader)
            return r->Icon;
        break;
    case Qt::TextAlignmentRole:
        return FileColumns::Alignment(index.column());
    case Qt::BackgroundRole:
        // Every second set, header row included, on light grey.
        if (r->SetNumber % 2 == 0)
            return ShadeColour();
        break;
    }
    return {};
}

Qt::ItemFlags TDuplicateModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = TReportModel::flags(index);
    // What has no Windows path of its own is shown, never offered for deletion.
    if (index.isValid() && index.row() < FRows->size() && FRows->at(index.row())->Skipped)
        flags &= ~Qt::ItemIsSelectable;
    return flags;
}

// ---- window

TKaksoisIkkuna::TKaksoisIkkuna(QWidget *parent, const QString &programFolder,
                               std::shared_ptr<const TFileLayer> layer)
    : TToolWindow(parent, {.Section = Section,
                           .Size = TSizeKeys::Always,
                           .Look = PaaIkkuna ? &PaaIkkuna->Settings() : nullptr,
                           .Batch = PaaIkkuna}),
      FLayer(layer ? std::move(layer) : DefaultFileLayer())
{
    FProgramFolder = programFolder.isEmpty() && PaaIkkuna ? PaaIkkuna->ProgramFolder() : programFolder;
    if (!FProgramFolder.isEmpty() && !FProgramFolder.endsWith(u'/'))
        FProgramFolder += u'/';
    if (PaaIkkuna)
        FOwnSettings = PaaIkkuna->Settings();
    FormCreate();
}

TKaksoisIkkuna::~TKaksoisIkkuna()
{
    TSharedThd::StopAndWaitFor(this);  // no stage outlives the window
    FormDestroy();
}

TSettings &TKaksoisIkkuna::Options() { return PaaIkkuna ? PaaIkkuna->Settings() : FOwnSettings; }

void TKaksoisIkkuna::FormCreate()
{
    setObjectName("KaksoisIkkuna");
    setProperty("HelpContext", 6);
    setWindowTitle(FWindowCaption);
    resize(680, 540);
    FBaseName = FProgramFolder + QStringLiteral("Duplicat.tmp");

    DiskList = new TDiskListView(this);
    DiskList->setObjectName("DiskList");
    DiskList->ShowFolders();
    edtFileMask = new QLineEdit(this);
    edtFileMask->setObjectName("edtFileMask");
    edtSkip = new QLineEdit(this);
    edtSkip->setObjectName("edtSkip");
    SetHoldsUserData(edtFileMask);
    SetHoldsUserData(edtSkip);
    auto *maskLabel = new QLabel("File &mask:", this);
    maskLabel->setObjectName("lblFileMask");
    auto *skipLabel = new QLabel("Folders to &ignore:", this);
    skipLabel->setObjectName("lblSkip");
    maskLabel->setBuddy(edtFileMask);
    skipLabel->setBuddy(edtSkip);

    btnFolder = NewToolButton(this, "btnFolder", "Choose f&older...");
    btnFolder->setToolTip("Search a folder of the selected drive instead of the whole drive");
    btnFolder->setMinimumWidth(btnFolder->fontMetrics().size(Qt::TextShowMnemonic, btnFolder->text()).width() + 24);
    btnFind = NewToolButton(this, "btnFind", "&Find");
    btnStop = NewToolButton(this, "btnStop", "S&top");
    btnDelete = NewToolButton(this, "btnDelete", "&Delete");
    btnPrint = NewToolButton(this, "btnPrint", "&Print");
    btnSave = NewToolButton(this, "btnSave", "&Save");
    btnClose = NewToolButton(this, "btnClose", "&Close");

    FModel = new TDuplicateModel(&FRows, [this](TDuplicateRow &row) { FillDetails(row); }, this);
    FileList = new QTreeView(this);
    FileList->setObjectName("FileList");
    FileList->setModel(FModel);
    FileList->setRootIsDecorated(false);
    FileList->setUniformRowHeights(true);
    FileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Fitting the columns measures only the rows in sight, whose versions are read to be drawn
    // anyway; more would read them all. The other columns' widest texts are gathered as they come.
    FileList->header()->setResizeContentsPrecision(0);

    auto *statusLabel = new QLabel("Status:", this);
    statusLabel->setObjectName("lblStatus");
    lblFileListCaption = new QLabel(this);
    lblFileListCaption->setObjectName("lblFileListCaption");
    auto *timeLabel = new QLabel("Time:", this);
    timeLabel->setObjectName("lblTime");
    Aika = new QLabel(this);
    Aika->setObjectName("Aika");

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName("StatusBar");
    StatusBar->setSizeGripEnabled(false);
    Progress = new QProgressBar(StatusBar);
    Progress->setObjectName("ProgressBar");
    Progress->setTextVisible(false);
    Progress->setMaximum(128);
    Progress->setFixedWidth(150);
    Progress->hide();
    StatusBar->addWidget(Progress);
    const int widths[5] = {150, 130, 110, 110, 50};
    for (int i = 0; i < 5; ++i) {
        Panels[i] = new QLabel(StatusBar);
        Panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i));
        Panels[i]->setMinimumWidth(widths[i]);
        StatusBar->addWidget(Panels[i], i == 4 ? 1 : 0);
    }
    Parami = new QTimer(this);
    Parami->setObjectName("Parami");
    Parami->setSingleShot(true);
    Parami->setInterval(1);

    auto *top = new QGridLayout;
    auto *drives = new QVBoxLayout;
    drives->addWidget(DiskList, 1);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(btnFolder);
    folderRow->addStretch();
    drives->addLayout(folderRow);
    top->addLayout(drives, 0, 0, 5, 1);
    top->addWidget(maskLabel, 0, 1);
    top->addWidget(edtFileMask, 1, 1);
    top->addWidget(skipLabel, 2, 1);
    top->addWidget(edtSkip, 3, 1);
    auto *findButtons = new QVBoxLayout;
    findButtons->addWidget(btnFind);
    findButtons->addWidget(btnStop);
    findButtons->addStretch();
    top->addLayout(findButtons, 0, 2, 5, 1);
    top->setRowStretch(4, 1);
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(statusLabel);
    statusRow->addWidget(lblFileListCaption, 1);
    statusRow->addWidget(timeLabel);
    statusRow->addWidget(Aika, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (TOVBitBtn *b : {btnDelete, btnPrint, btnSave, btnClose})
        buttons->addWidget(b);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(statusRow);
    layout->addWidget(FileList, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar);

    connect(btnFind, &QAbstractButton::clicked, this, &TKaksoisIkkuna::btnFindClick);
    connect(btnStop, &QAbstractButton::clicked, this, &TKaksoisIkkuna::btnStopClick);
    connect(btnDelete, &QAbstractButton::clicked, this, &TKaksoisIkkuna::btnDeleteClick);
    connect(btnPrint, &QAbstractButton::clicked, this, &TKaksoisIkkuna::btnPrintClick);
    connect(btnSave, &QAbstractButton::clicked, this, &TKaksoisIkkuna::btnSaveClick);
    connect(btnClose, &QAbstractButton::clicked, this, &QDialog::close);
    connect(Parami, &QTimer::timeout, this, &TKaksoisIkkuna::ParamiTimer);
    connect(edtFileMask, &QLineEdit::textChanged, this, &TKaksoisIkkuna::edtFileMaskChange);
    connect(DiskList, &QTreeWidget::itemSelectionChanged, this, &TKaksoisIkkuna::DiskListChange);
    connect(DiskList, &QTreeWidget::itemDoubleClicked, this, &TKaksoisIkkuna::DiskListDblClick);
    connect(btnFolder, &QAbstractButton::clicked, this, &TKaksoisIkkuna::DiskListDblClick);
    connect(FileList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TKaksoisIkkuna::FileListChange);
    connect(FileList, &QAbstractItemView::doubleClicked, this, &TKaksoisIkkuna::FileListDblClick);

    {
        const QSignalBlocker block(DiskList);
        DiskList->FillDrives();
    }
    ReadSection(FProgramFolder);
    DiskListChange();
    UpdateButtons();
}

void TKaksoisIkkuna::ReadKeys(const TIniFile &ini)
{
    ReadSize(ini);
    edtSkip->setText(ini.ReadString(Section, "Folders to ignore", ""));
    {
        const QSignalBlocker block(edtFileMask);
        edtFileMask->setText(ini.ReadString(Section, "File mask", "*.*"));
    }
    FFirstDeletion = ini.ReadBool(Section, "First deletion", true);
    const QSignalBlocker block(DiskList);
    DiskList->ReadSelection(ini, Section, true);
}

void TKaksoisIkkuna::WriteKeys(TIniFile &ini)
{
    ini.WriteString(Section, "Folders to ignore", edtSkip->text());
    ini.WriteString(Section, "File mask", edtFileMask->text());
    ini.WriteBool(Section, "First deletion", FFirstDeletion);
    WriteSize(ini);
    DiskList->WriteSelection(ini, Section, true);
}

void TKaksoisIkkuna::FormDestroy()
{
    WriteSection(FProgramFolder);
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRows); });
}

void TKaksoisIkkuna::showEvent(QShowEvent *event)
{
    TToolWindow::showEvent(event);
    if (FFirstShow) {
        FFirstShow = false;
        const TSettings &o = Options();
        setWindowTitle(FWindowCaption);
        TranslateWindow(this, o.FLanguageIndex, o.FLanguage, FProgramFolder);
        FWindowCaption = windowTitle();
        FHeaderCaption = FWindowCaption + QStringLiteral("...");
    }
    edtFileMaskChange();
    if (!BatchState().FBatchMode)
        QTimer::singleShot(0, this, &TKaksoisIkkuna::FormActivate);
}

void TKaksoisIkkuna::FormActivate()
{
    if (FOfferOldList && !BatchState().FBatchMode && !FSearching && !FOldListReader && QFileInfo::exists(LogFileName())) {
        FOfferOldList = false;
        ReadOldListInBackground();
        return;
    }
    FOfferOldList = false;
    UpdateButtons();
}

void TKaksoisIkkuna::ReadOldListInBackground()
{
    // A big log names tens of thousands of files, each looked at on disk: read on the main thread,
    // it kept the window from being painted at all.
    const TOldListSource source{LogFileName(), AnsiCodePage(), LangMessage("M075DI", "N/A"),
                                TUserLocale::FromRegistry(), FLayer};
    auto list = std::make_shared<TOldList>();
    const QString caption = lblFileListCaption->text();
    btnFind->setEnabled(false);
    lblFileListCaption->setText(LangMessage("M080DI", "Loading old list..."));
    Progress->setRange(0, 0);
    Panels[0]->hide();
    Progress->show();
    auto *reader = new TBackgroundJob(this, [source, list] { *list = ReadOldList(source); });
    FOldListReader = reader;
    reader->SetOnTerminate([this, list, caption](TSharedThd *) {
        FOldListReader = nullptr;
        Progress->hide();
        Progress->setRange(0, 1);
        Panels[0]->show();
        lblFileListCaption->setText(caption);
        // Closed meanwhile: the offer waits for the next showing.
        if (!isVisible()) {
            FOfferOldList = true;
            return;
        }
        // A list whose files are not these (one made on another prefix, or all deleted since) is
        // not offered, and stays as it is.
        if (HasSets(*list) && !FSearching
            && MessageBoxes::Confirm(this, SafeFormat(LangMessage("M079DI", "An existing list of duplicates found, "
                                                                            "created on %s. Do you wish to open it?"),
                                                      list->Created)))
            LoadLog(*list);
        UpdateButtons();
    });
    reader->Resume();
}

void TKaksoisIkkuna::StartBatch(const QString &batchSwitch)
{
    if (batchSwitch != u"-dup")
        return;
    FOfferOldList = false;
    FBatchRun = true;
    LogLines({QStringLiteral("-dup"), QStringLiteral("Started searching duplicate files")}, true);
    for (const QString &reason : DiskList->MissingChoices())
        BatchState().Fail(reason);
    if (btnFind->isEnabled()) {
        btnFind->click();
        return;
    }
    // Nothing to search is no search that found nothing: the run says so and ends with 1.
    BatchState().Fail(DiskList->selectedItems().isEmpty() ? QStringLiteral("Nothing was searched: no drive or folder is chosen")
                                                          : QStringLiteral("Nothing was searched: no file mask is given"));
    FBatchRun = false;
    Parami->start();
}

QString TKaksoisIkkuna::TimeText() const { return TUserLocale::FromRegistry().Time(QTime::currentTime()); }

QString TKaksoisIkkuna::HostPath(const QString &windowsPath) const { return HostPathIn(*FLayer, windowsPath); }

QString TKaksoisIkkuna::HostPathIn(const Duplicate::TFileLayer &layer, const QString &windowsPath)
{
    if (windowsPath.size() < 2 || windowsPath[1] != u':')
        return {};
    const QString root = layer.HostRoot(windowsPath[0].toUpper());
    return root.isEmpty() ? QString() : HostPathOf(root, windowsPath);
}

// ---- search

void TKaksoisIkkuna::btnFindClick()
{
    if (FSearching)
        return;
    for (TOVBitBtn *b : {btnDelete, btnPrint, btnSave})
        b->setEnabled(false);
    FFreshList = true;
    Aika->setText(SafeFormat(LangMessage("M084DI", "Started - %s"), TimeText()));
    const TSettings &o = Options();
    FFolders = CommaTextToList(DiskList->SelectedDrives());
    FMasks = CommaTextToList(edtFileMask->text());
    FSkipList = CommaTextToList(edtSkip->text());
    if (o.FDupSkipSysBckup)
        FSkipList.prepend(QStringLiteral("SysBCKUp"));

    FTotalBytes = FGroupCount = FTotalFiles = 0;
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRows); });
    FLongest = TLongestTexts(9);
    FSearching = true;
    ShowCounts();
    Panels[0]->hide();
    Progress->show();
    Progress->setMaximum(128);
    Progress->setValue(0);
    lblFileListCaption->setText(LangMessage("M085DI", "Searching files..."));
    UpdateButtons();

    TScanRequest request;
    request.Folders = FFolders;
    request.SameName = o.FDupSameName;
    request.SameSize = o.FDupSameSize;
    request.SameDate = o.FDupSameDate;
    request.Masks = FMasks;
    request.SkipList = FSkipList;
    request.SkipDesktopIni = o.FDupSkipDesktopIni;
    request.SkipEmpty = o.FDupSkipEmpty;
    auto *scan = new TScanFilThd(this, FBaseName, {}, [this](const QString &t) { PaivitaNimiTiedot(t); }, request, FLayer);
    FCurrentThread = scan;
    scan->SetOnTerminate([this](TSharedThd *t) { ScannausTehty(t); });
    scan->Resume();
}

void TKaksoisIkkuna::PaivitaNimiTiedot(const QString &text) { Panels[4]->setText(text); }

void TKaksoisIkkuna::ScannausTehty(TSharedThd *thread)
{
    if (thread->ErrorCode() < 0) {
        VirheTehty(QStringLiteral("scanning"), thread->ErrorText());
        return;
    }
    FTotalFiles = static_cast<TScanFilThd *>(thread)->Count64();
    FSkipped = static_cast<TScanFilThd *>(thread)->SkippedEntries();
    if (FTotalFiles > 0)
        YhdistaTiedostot(static_cast<TScanFilThd *>(thread)->ChunkFiles());
    else
        DuplikaatitLoydetty(nullptr);
}

void TKaksoisIkkuna::YhdistaTiedostot(const QStringList &chunks)
{
    Progress->setMaximum(int(std::min<qint64>(FTotalFiles, INT_MAX)));
    Progress->setValue(0);
    lblFileListCaption->setText(LangMessage("M078DI", "Preparing file list..."));
    Panels[4]->clear();
    // The scan's own list of chunks: a count derived from the files found could name one too many.
    auto *merge = new TMergeThd(this, FBaseName, {}, {}, chunks);
    FCurrentThread = merge;
    merge->SetOnTerminate([this](TSharedThd *t) { YhdistaminenTehty(t); });
    merge->Resume();
}

void TKaksoisIkkuna::YhdistaminenTehty(TSharedThd *thread)
{
    if (thread->ErrorCode() < 0) {
        VirheTehty(QStringLiteral("sorting"), thread->ErrorText());
        return;
    }
    Progress->setValue(0);
    PaikallistaDuplikaatit();
}

void TKaksoisIkkuna::PaikallistaDuplikaatit()
{
    lblFileListCaption->setText(LangMessage("M077DI", "Looking for duplicates..."));
    FStartTime = QTime::currentTime();
    const TSettings &o = Options();
    TCompareRequest request;
    request.SameName = o.FDupSameName;
    request.SameSize = o.FDupSameSize;
    request.SameDate = o.FDupSameDate;
    request.SameCRC = o.FDupSameCRC;
    request.SameMD5 = o.FDupSameMD5;
    request.Locale = TUserLocale::FromRegistry();
    auto *dupes = new TDupesThd(this, FBaseName, [this](int position, bool) { DuplikaattiValTiedot(position); }, {},
                                request, [this](const TFoundFile &f) { DuplikaattiTiedot(f); }, FLayer);
    FCurrentThread = dupes;
    dupes->SetOnTerminate([this](TSharedThd *t) { DuplikaatitLoydetty(t); });
    dupes->Resume();
}

void TKaksoisIkkuna::DuplikaattiValTiedot(int position)
{
    if (position <= 0)
        return;
    const double perLine = double(FStartTime.msecsTo(QTime::currentTime())) / position;
    const qint64 remaining = qint64(double(std::max<qint64>(0, FTotalFiles - position)) * perLine) / 1000;
    Panels[4]->setText(SafeFormat(LangMessage("M076DI", "Time estimated to completion: %d minute(s) %d second(s)"),
                                  int(remaining / 60 % 60), int(remaining % 60)));
    Progress->setValue(position);
    Progress->setToolTip(SafeFormat(LangMessage("M049RI", "%d of %d"), TFormatArg::Count(position), TFormatArg::Count(FTotalFiles)));
}

void TKaksoisIkkuna::DuplikaattiTiedot(const TFoundFile &f)
{
    if (f.SetNumber != FGroupCount) {
        auto *header = new TDuplicateRow;
        header->IsHeader = true;
        header->Path = FHeaderCaption;
        header->SetNumber = int(f.SetNumber);
        FFound.Add(header);
    }
    FGroupCount = std::max(FGroupCount, f.SetNumber);

    auto *r = new TDuplicateRow;
    r->Path = f.Folder + u'\\' + f.Name;
    r->Size = f.Size;
    r->SizeText = SizeText(f.Size);
    r->DateText = f.DateText;
    r->AttrText = f.AttrText;
    const QString na = LangMessage("M075DI", "N/A");
    r->CRCText = f.CRCText.isEmpty() ? na : f.CRCText;
    r->MD5Text = f.MD5Text.isEmpty() ? na : f.MD5Text;
    r->SetNumber = int(f.SetNumber);
    FFound.Add(r);
    FTotalBytes += f.Size;
}

void TKaksoisIkkuna::ShowFound(const QList<TDuplicateRow *> &rows)
{
    for (TDuplicateRow *r : rows)
        if (!r->IsHeader)
            r->TypeName = TypeNames::Of(r->Path, &FTypeNames);
    // The version columns are fitted when the versions are read.
    FileColumns::AddLongest(FLongest, rows, {0, 1, 2, 3, 4, 7, 8}, [](const TDuplicateRow &r, int column) {
        return column == 7 ? r.CRCText : column == 8 ? r.MD5Text : FileColumns::Text(r, column).toString();
    });
    FModel->AppendRows(int(rows.size()), [&] { FRows.append(rows); });
    FitColumns();
    ShowCounts();
}

void TKaksoisIkkuna::ShowSkipped()
{
    if (FSkipped.isEmpty())
        return;
    QList<TDuplicateRow *> rows;
    auto *header = new TDuplicateRow;
    header->IsHeader = header->Skipped = true;
    header->Path = QStringLiteral("Skipped files...");
    rows << header;
    for (const TSkippedEntry &e : std::as_const(FSkipped)) {
        auto *r = new TDuplicateRow;
        r->Skipped = r->DetailsKnown = true;
        r->Path = e.Path;
        r->Size = e.Size;
        r->SizeText = e.Path.endsWith(u'\\') ? QString() : SizeText(e.Size);
        r->TypeName = QStringLiteral("Skipped: ") + TDriveMap::NameFaultText(e.Fault);
        rows << r;
    }
    for (TDuplicateRow *r : std::as_const(rows))
        r->SetNumber = int(FGroupCount) + 1;
    FileColumns::AddLongest(FLongest, rows, {0, 1, 2},
                            [](const TDuplicateRow &r, int column) { return FileColumns::Text(r, column).toString(); });
    FModel->AppendRows(int(rows.size()), [&] { FRows.append(rows); });
    FitColumns();
    if (FBatchRun) {
        QStringList lines;
        for (const TSkippedEntry &e : std::as_const(FSkipped))
            lines << QStringLiteral("Skipped %1: %2").arg(e.Path, TDriveMap::NameFaultText(e.Fault));
        LogLines(lines, false);
    }
    FSkipped.clear();
}

void TKaksoisIkkuna::FillDetails(TDuplicateRow &r)
{
    const QString host = HostPath(r.Path);
    if (host.isEmpty())
        return;
    static QFileIconProvider icons;
    r.Icon = icons.icon(QFileInfo(host));
    // Smaller than the header an image starts with: no version to read.
    if (r.Size >= 64) {
        const QStringList versions = Services::VersionInfoStrings(host, {"FileVersion", "ProductVersion"});
        r.FileVersion = versions.at(0);
        r.ProductVersion = versions.at(1);
    }
    if (r.FileVersion.isEmpty() && r.ProductVersion.isEmpty())
        return;
    FLongest.Add(5, r.FileVersion);
    FLongest.Add(6, r.ProductVersion);
    // Asked for while the list is drawn or measured: the columns are fitted once that is over,
    // once for all the rows drawn.
    if (!std::exchange(FFitWaits, true))
        QMetaObject::invokeMethod(this, [this] {
            FFitWaits = false;
            FitColumns();
        }, Qt::QueuedConnection);
}

void TKaksoisIkkuna::FitColumns()
{
    ReportColumns::Fit(FileList, FLongest);
}

void TKaksoisIkkuna::ShowCounts()
{
    qint64 files = 0;
    for (const TDuplicateRow *r : std::as_const(FRows))
        files += r->IsFile() ? 1 : 0;
    Panels[1]->setText(SafeFormat(LangMessage("M074DI", "Bytes: %.0n"), double(FTotalBytes)));
    Panels[2]->setText(SafeFormat(LangMessage("M073DI", "Files: %.0n"), double(files)));
    Panels[3]->setText(SafeFormat(LangMessage("M082DI", "Groups: %.0n"), double(FGroupCount)));
}

void TKaksoisIkkuna::DuplikaatitLoydetty(TSharedThd *thread)
{
    FFound.Flush();
    if (thread && thread->ErrorCode() < 0) {
        VirheTehty(QStringLiteral("comparing"), thread->ErrorText());
        return;
    }
    const qint64 files = std::count_if(FRows.cbegin(), FRows.cend(), [](const TDuplicateRow *r) { return r->IsFile(); });
    Panels[4]->clear();
    Progress->setValue(0);
    Progress->hide();
    Panels[0]->show();
    Panels[0]->setText(LangMessage("M069DI", "Done!"));
    FCurrentThread = nullptr;
    lblFileListCaption->setText(files == 0 ? LangMessage("M071DI", "Ready, duplicates were not found...")
                                                : LangMessage("M070DI", "Ready, duplicates found..."));
    Aika->setText(Aika->text() + SafeFormat(LangMessage("M072DI", ", Finished - %s"), TimeText()));
    FSearching = false;
    WriteLog();
    if (FBatchRun)
        LogLines({QStringLiteral("Found %1 files!").arg(files)}, false);
    ShowSkipped();
    ShowCounts();
    UpdateButtons();
    if (FBatchRun) {
        FBatchRun = false;
        Parami->start();
    }
}

void TKaksoisIkkuna::VirheTehty(const QString &stage, const QString &message)
{
    FFound.Flush();
    FCurrentThread = nullptr;
    RemoveTemporaries(FBaseName);
    Progress->setValue(0);
    Progress->hide();
    Panels[0]->show();
    lblFileListCaption->setText(LangMessage("M064DI", "Error..."));
    Panels[4]->clear();
    Aika->setText(Aika->text() + SafeFormat(LangMessage("M065DI", ", Error - %s"), TimeText()));
    FSearching = false;
    UpdateButtons();
    if (FBatchRun) {
        FBatchRun = false;
        const QString text = QStringLiteral("Error during %1: %2").arg(stage, message);
        LogLines({text}, false);
        BatchState().KeepFailure(text);
        Parami->start();
    } else {
        MessageBoxes::Error(this, SafeFormat(LangMessage("M066DI", "Error during %s: %s"), stage, message));
    }
}

void TKaksoisIkkuna::btnStopClick()
{
    if (FCurrentThread) {
        FCurrentThread->SetOnTerminate([this](TSharedThd *) { KeskeytysTehty(); });
        FCurrentThread->Terminate();
    } else {
        KeskeytysTehty();
    }
}

void TKaksoisIkkuna::KeskeytysTehty()
{
    FFound.Flush();
    FCurrentThread = nullptr;
    RemoveTemporaries(FBaseName);  // a stage that ended just before the stop kept its output
    lblFileListCaption->setText(LangMessage("M067DI", "Aborted..."));
    Panels[4]->clear();
    Progress->hide();
    Panels[0]->show();
    Aika->setText(Aika->text() + SafeFormat(LangMessage("M068DI", ", Aborted - %s"), TimeText()));
    FSearching = false;
    WriteLog();  // the sets listed so far are whole sets
    UpdateButtons();
    if (FBatchRun) {
        FBatchRun = false;
        TBatchState &batch = BatchState();
        batch.FBatchMode = false;
        batch.FBatchAborted = true;
        LogLines({QStringLiteral("Aborted by user!")}, false);
    }
}

void TKaksoisIkkuna::ParamiTimer()
{
    Parami->stop();
    close();
}

// ---- buttons

void TKaksoisIkkuna::UpdateButtons()
{
    btnStop->setEnabled(FSearching);
    DiskList->setEnabled(!FSearching);
    if (FSearching) {
        for (TOVBitBtn *b : {btnFind, btnFolder, btnDelete, btnSave, btnPrint})
            b->setEnabled(false);
        return;
    }
    edtFileMaskChange();
    FileListChange();
    btnSave->setEnabled(!FRows.isEmpty());
    btnPrint->setEnabled(!FRows.isEmpty());
}

void TKaksoisIkkuna::edtFileMaskChange()
{
    btnFind->setEnabled(!DiskList->selectedItems().isEmpty() && !edtFileMask->text().isEmpty() && !FSearching
                        && !FOldListReader);
    btnFolder->setEnabled(DiskList->selectedItems().size() == 1 && !FSearching);
    PaivitaCaptioni();
}

void TKaksoisIkkuna::DiskListChange() { edtFileMaskChange(); }

void TKaksoisIkkuna::PaivitaCaptioni()
{
    QString caption = FWindowCaption + u' ' + edtFileMask->text() + QStringLiteral(" -");
    for (const QString &entry : CommaTextToList(DiskList->SelectedDrives()))
        caption += u' ' + entry;
    setWindowTitle(caption);
}

void TKaksoisIkkuna::DiskListDblClick()
{
    const QList<QTreeWidgetItem *> selected = DiskList->selectedItems();
    if (selected.size() != 1)
        return;
    const int row = DiskList->indexOfTopLevelItem(selected.first());
    if (row < 0 || row >= DiskList->Drives.size())
        return;
    const QChar letter = DiskList->Drives.at(row);
    const QString root = FLayer->HostRoot(letter);
    if (root.isEmpty())
        return;
    const QString title = LangMessage("M083DI", "Select directory");
    const QString chosen = FFolderPicker ? FFolderPicker(this, title, root)
                                         : QFileDialog::getExistingDirectory(this, title, root);
    if (chosen.isEmpty())
        return;
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    QString relative = QFileInfo(chosen).canonicalFilePath();
    if (!relative.startsWith(canonicalRoot))
        return;
    relative = relative.mid(canonicalRoot.endsWith(u'/') ? canonicalRoot.size() - 1 : canonicalRoot.size());
    relative.replace(u'/', u'\\');
    DiskList->SetFolder(row, relative == u"\\" ? QString() : relative);
    PaivitaCaptioni();
    DiskList->viewport()->update();
}

QList<int> TKaksoisIkkuna::SelectedRows() const
{
    return ToolWindow::SelectedRows(FileList);
}

bool TKaksoisIkkuna::DeleteAllowed() const
{
    const QList<int> rows = SelectedRows();
    int files = 0;
    for (int row : rows)
        files += FRows.at(row)->IsFile() ? 1 : 0;
    return !FSearching && files > 0 && (rows.size() > 1 || files == 1);
}

void TKaksoisIkkuna::FileListChange() { btnDelete->setEnabled(DeleteAllowed()); }

void TKaksoisIkkuna::FileListDblClick()
{
    const QModelIndex current = FileList->currentIndex();
    if (!current.isValid() || current.row() >= FRows.size() || !FRows.at(current.row())->IsFile())
        return;
    const QString host = HostPath(FRows.at(current.row())->Path);
    if (!host.isEmpty() && QFileInfo(host).isFile())
        QDesktopServices::openUrl(QUrl::fromLocalFile(host));
}

void TKaksoisIkkuna::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && btnDelete->isEnabled()) {
        btnDelete->click();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && FileList->hasFocus()) {
        FileListDblClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---- deletion

void TKaksoisIkkuna::btnDeleteClick()
{
    if (!DeleteAllowed())
        return;
    const QList<int> rows = SelectedRows();
    QStringList paths;
    for (int row : rows)
        if (FRows.at(row)->IsFile())
            paths << FRows.at(row)->Path;
    const TSettings &o = Options();
    if (o.FDupConfirm
        && !MessageBoxes::Confirm(this, SafeFormat(LangMessage("M086DI", "Are you sure you want to delete %d file(s)?"),
                                                   TFormatArg::Count(paths.size()))))
        return;
    if (FFirstDeletion) {
        FFirstDeletion = false;
        if (!MessageBoxes::Confirm(
                this, LangMessage("M001DI", "WARNING! You'll get this message only once! Are you absolutely sure what "
                                            "you are doing? Althought a very useful tool, this is also the only really "
                                            "dangerous tool in Vaskimo! Please refer to the help! Go ahead with the "
                                            "deletion?")))
            return;
    }
    // fdupes and jdupes always keep one file of a set: deleting every copy is asked for on its own,
    // whatever was answered before, and No keeps them all.
    const int lost = SetsLosingEveryCopy(rows);
    if (lost > 0
        && !MessageBoxes::Confirm(this, SafeFormat(LangMessage("M160DI", "The deletion would remove every copy of %d "
                                                                         "set(s) of duplicates: no file of them would "
                                                                         "be kept. Delete every copy of them?"),
                                                   TFormatArg::Count(lost))))
        return;
    // Header rows are never deleted.
    for (int row : rows)
        if (!FRows.at(row)->IsFile())
            FileList->selectionModel()->select(FModel->index(row, 0),
                                               QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    const auto done = [this](bool) { AfterDelete(); };
    if (PaaIkkuna)
        PaaIkkuna->DeleteFilesThreaded(paths, !o.FDupRecycle, done);
    else
        FileDeletion::DeleteFilesThreaded(this, paths, !o.FDupRecycle, o.FForceTryDelete, done);
}

int TKaksoisIkkuna::SetsLosingEveryCopy(const QList<int> &rows) const
{
    std::map<int, int> files, chosen;
    for (const TDuplicateRow *r : std::as_const(FRows))
        if (r->IsFile())
            ++files[r->SetNumber];
    for (int row : rows)
        if (FRows.at(row)->IsFile())
            ++chosen[FRows.at(row)->SetNumber];
    int lost = 0;
    for (const auto &[set, count] : chosen)
        lost += count == files[set] ? 1 : 0;
    return lost;
}

void TKaksoisIkkuna::AfterDelete()
{
    const QList<int> rows = SelectedRows();
    int failed = 0;
    QStringList left;
    FModel->Reset([&] {
        for (qsizetype k = rows.size() - 1; k >= 0; --k) {
            TDuplicateRow *r = FRows.at(rows.at(k));
            if (!r->IsFile())
                continue;
            if (QFileInfo::exists(HostPath(r->Path))) {
                ++failed;
                left.prepend(r->Path);
                continue;
            }
            FTotalBytes -= r->Size;
            delete r;
            FRows.removeAt(rows.at(k));
        }
        DropSmallSets();
    });
    // The log follows the list, so a reopened log never offers the last copy as a duplicate.
    WriteLog();
    if (failed > 0)
        MessageBoxes::Error(this, SafeFormat(LangMessage("M087DI", "Vaskimo failed to delete %d of the selected "
                                                                   "file(s)! File(s) maybe in use."),
                                             TFormatArg::Count(failed))
                                      + QStringLiteral("\n\n") + FileDeletion::KeptText(FileDeletion::KeptLines(left)));
    ShowCounts();
    UpdateButtons();
}

// Sets left with one file lose it and their header; the rest are numbered 1, 2, ... again so
// that every second set still has the other colour.
void TKaksoisIkkuna::DropSmallSets()
{
    std::map<int, int> files;
    for (const TDuplicateRow *r : std::as_const(FRows))
        if (r->IsFile())
            ++files[r->SetNumber];
    QList<TDuplicateRow *> kept, skipped;
    std::map<int, int> renumber;
    for (TDuplicateRow *r : std::as_const(FRows)) {
        if (r->Skipped) {
            skipped.append(r);
            continue;
        }
        if (files[r->SetNumber] < 2) {
            if (!r->IsHeader)
                FTotalBytes -= r->Size;
            delete r;
            continue;
        }
        const auto [at, added] = renumber.try_emplace(r->SetNumber, int(renumber.size()) + 1);
        r->SetNumber = at->second;
        kept.append(r);
    }
    for (TDuplicateRow *r : std::as_const(skipped))
        r->SetNumber = int(renumber.size()) + 1;
    FRows = kept + skipped;
    FGroupCount = qint64(renumber.size());
}

// ---- log

void TKaksoisIkkuna::WriteLog()
{
    if (FProgramFolder.isEmpty())
        return;
    // The skipped rows name no file: they are never logged.
    const qsizetype rows = std::count_if(FRows.cbegin(), FRows.cend(), [](const TDuplicateRow *r) { return !r->Skipped; });
    if (rows == 0) {
        QFile old(LogFileName());
        if (old.exists() && !old.remove())
            ReportLogFailure(QStringLiteral("Cannot delete \"%1\": %2").arg(LogFileName(), old.errorString()));
        return;
    }
    const TUserLocale locale = TUserLocale::FromRegistry();
    const QDateTime now = QDateTime::currentDateTime();
    QStringList lines{LogTitle, locale.Date(now.date()) + u' ' + locale.Time(now.time()),
                      QString::number(FGroupCount), QString::number(rows)};
    for (const TDuplicateRow *r : std::as_const(FRows)) {
        if (!r->IsFile())
            continue;
        lines << r->Path << QString::number(r->Size) << r->DateText << r->AttrText << r->CRCText << r->MD5Text
              << QString::number(r->SetNumber);
    }
    QString why;
    if (!DurableFile::Write(LogFileName(), LogBytes(lines, AnsiCodePage()), &why))
        ReportLogFailure(QStringLiteral("Cannot write \"%1\": %2").arg(LogFileName(), why));
}

// A list the log does not hold would be offered again next time as it was before this search.
void TKaksoisIkkuna::ReportLogFailure(const QString &error)
{
    if (FBatchRun || BatchState().FBatchMode) {
        LogLines({error}, false);
        BatchState().KeepFailure(error);
    } else {
        MessageBoxes::Error(this, error);
    }
}

TKaksoisIkkuna::TOldList TKaksoisIkkuna::ReadOldList(const TOldListSource &source)
{
    QFile file(source.LogFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return Duplicate::ReadOldLog(file.readAll(), source.CodePage, source.NotAvailable, source.Locale,
                                 [&source](const QString &path) { return HostPathIn(*source.Layer, path); });
}

bool TKaksoisIkkuna::HasSets(const TOldList &list)
{
    QHash<qint64, int> perSet;
    for (const TFoundFile &f : list.Files)
        if (++perSet[f.SetNumber] == 2)
            return true;
    return false;
}

void TKaksoisIkkuna::LoadLog(const TOldList &list)
{
    FFreshList = false;
    for (TOVBitBtn *b : {btnFind, btnStop, btnDelete, btnPrint, btnSave})
        b->setEnabled(false);
    lblFileListCaption->setText(LangMessage("M080DI", "Loading old list..."));
    FTotalBytes = FGroupCount = 0;
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRows); });
    FLongest = TLongestTexts(9);
    const int count = int(list.Files.size());
    Progress->setMaximum(std::max(1, count));
    Progress->setValue(0);
    Panels[0]->hide();
    Progress->show();
    for (int i = 0; i < count; ++i) {
        DuplikaattiTiedot(list.Files.at(i));
        Progress->setValue(i + 1);
        Progress->setToolTip(SafeFormat(LangMessage("M049RI", "%d of %d"), TFormatArg::Count(i + 1), TFormatArg::Count(count)));
    }
    FFound.Flush();
    FModel->Reset([this] { DropSmallSets(); });
    if (list.Dropped > 0)
        WriteLog();
    Progress->hide();
    Progress->setToolTip(QString());
    Panels[0]->show();
    lblFileListCaption->setText(LangMessage("M081DI", "Ready, old list loaded..."));
    ShowCounts();
    UpdateButtons();
    // What the list no longer holds is said, never left out in silence.
    if (list.Dropped > 0)
        MessageBoxes::Information(this, SafeFormat(LangMessage("M161DI", "%d file(s) of the old list were left out: they "
                                                                         "are gone, or no longer the files that were "
                                                                         "compared."),
                                                   TFormatArg::Count(list.Dropped)));
}

// ---- printing, saving, closing

void TKaksoisIkkuna::btnPrintClick()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        PrintListView(FileList, QStringLiteral("Duplicate files listing"), printer, this);
}

void TKaksoisIkkuna::btnSaveClick()
{
    const QString fileName = ToolWindow::ListingFileName(this);
    if (fileName.isEmpty())
        return;
    SaveListViewHtml(FileList, fileName, QStringLiteral("Duplicate files listing"), this);
}

bool TKaksoisIkkuna::SearchRunning() const { return btnStop->isEnabled(); }

void TKaksoisIkkuna::StopSearch() { btnStop->click(); }

void TKaksoisIkkuna::Closing()
{
    if (PaaIkkuna)
        PaaIkkuna->FDuplicatesOpen = false;
}
