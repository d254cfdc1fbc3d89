// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the registry cleaner window: search with scanner threads, list, sort, delete with undo.
#include "Rekisteri.h"

#include "ui_Rekisteri.h"

#include "platform/HiveFile.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WinePrefix.h"
#include "registry/Blacklist.h"
#include "registry/RegistryDeletion.h"
#include "registry/RekisteriThds.h"
#include "registry/UndoFiles.h"
#include "shell/BackgroundJob.h"
#include "shell/Batch.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/Listing.h"
#include "shell/LocaleSort.h"
#include "shell/MessageBoxes.h"
#include "shell/LongestTexts.h"
#include "shell/ReportColumns.h"
#include "shell/SafeFormat.h"
#include "shell/Settings.h"
#include "shell/SettingsUi.h"
#include "shell/ToolWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace {
const QString Section = QStringLiteral("Registry");
constexpr int ScanRoots = 3;


// The list's order on a column: the texts in the user's locale ignoring case; "Modified" by the
// time as shown, to the second, so that rows that read alike keep their order.
void SortRecordList(QList<TRegistryRecord *> &records, int column, bool forward)
{
    if (column == 2) {
        LocaleSort::ByNumber(records, [](const TRegistryRecord *r) {
            return r->ModifiedTime.isValid() ? r->ModifiedTime.toSecsSinceEpoch() : 0;
        }, forward);
        return;
    }
    LocaleSort::ByText(records, [column](const TRegistryRecord *r) -> const QString & {
        switch (column) {
        case 0: return r->Root;
        case 1: return r->Key;
        case 3: return r->ValueName;
        default: return r->Data;
        }
    }, forward);
}
}

// ---- model

TRegistryModel::TRegistryModel(QList<TRegistryRecord *> *records, QObject *parent)
    : TReportModel({QStringLiteral("Root"), QStringLiteral("Registry key"), QStringLiteral("Modified"),
                    QStringLiteral("String value"), QStringLiteral("File/path reference")},
                   4, parent),
      FRecords(records)
{
}

int TRegistryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FShown;
}

QVariant TRegistryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= FShown)
        return {};
    const TRegistryRecord &r = *FRecords->at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case 0: return r.Root;
        case 1: return r.Key;
        case 2: return r.Modified;
        case 3: return r.ValueName;
        case 4: return r.Data;
        }
        return {};
    case Qt::BackgroundRole:
        return SortColumnBackground(index.column());
    default:
        return {};
    }
}

void TRegistryModel::Changed()
{
    FShown = int(FRecords->size());
}

void TRegistryModel::ShowAppended()
{
    const int count = int(FRecords->size());
    if (count <= FShown)
        return;
    beginInsertRows({}, FShown, count - 1);
    FShown = count;
    endInsertRows();
}

// ---- host

TRegistryHost TRegistryHost::FromMainWindow()
{
    TRegistryHost host;
    TPaaIkkuna *main = PaaIkkuna;
    if (!main)
        return host;
    host.ProgramFolder = main->ProgramFolder();
    host.Settings = &main->Settings();
    host.Batch = main;
    host.UndoHeader = [main] { return main->UndoHeader(); };
    host.TimeStamp = [main] { return main->TimeStamp(); };
    host.UniqueFileName = [main](const QString &folder, const QString &name) { return main->UniqueFileName(folder, name); };
    host.Closed = [main] { main->FRegistryOpen = false; };
    return host;
}

// ---- window

TRegistryIkkuna::TRegistryIkkuna(QWidget *parent, TRegistryHost host)
    : TToolWindow(parent, {.Section = Section,
                           .SortColumn = 4,
                           .LastSortColumn = 4,
                           .Look = host.Settings,
                           .Batch = host.Batch}),
      ui(std::make_unique<Ui::TRegistryIkkuna>()), FHost(std::move(host))
{
    ui->setupUi(this);
    setProperty("HelpContext", 13);
    FModel = new TRegistryModel(&FRecords, this);
    ui->EntryList->setModel(FModel);
    ui->EntryList->header()->setSectionsClickable(true);
    ui->EntryList->header()->setSortIndicatorShown(true);
    ui->EntryList->header()->setStretchLastSection(true);
    SetHoldsUserData(ui->Skip);

    FBar = new QProgressBar(ui->StatusBar);
    FBar->setTextVisible(false);
    FBar->setMaximumHeight(ui->StatusBar->sizeHint().height() - 2);
    FBar->hide();
    ui->StatusBar->addWidget(FBar, 1);
    FStatusLabel = new QLabel(ui->StatusBar);
    FStatusLabel->setObjectName(QStringLiteral("StatusText"));
    ui->StatusBar->addWidget(FStatusLabel, 2);

    FShowFound = new QTimer(this);
    FShowFound->setSingleShot(true);
    FShowFound->setInterval(100);
    connect(FShowFound, &QTimer::timeout, this, &TRegistryIkkuna::ShowFound);

    FParami = new QTimer(this);
    FParami->setObjectName(QStringLiteral("Parami"));
    FParami->setSingleShot(true);
    FParami->setInterval(1);

    connect(ui->btnFind, &QPushButton::clicked, this, &TRegistryIkkuna::btnFindClick);
    connect(ui->btnStop, &QPushButton::clicked, this, &TRegistryIkkuna::btnStopClick);
    connect(ui->btnDelete, &QPushButton::clicked, this, &TRegistryIkkuna::btnDeleteClick);
    connect(ui->btnDeleteAll, &QPushButton::clicked, this, &TRegistryIkkuna::btnDeleteAllClick);
    connect(ui->btnSelectAll, &QPushButton::clicked, this, &TRegistryIkkuna::btnSelectAllClick);
    connect(ui->btnPrint, &QPushButton::clicked, this, &TRegistryIkkuna::btnPrintClick);
    connect(ui->btnSave, &QPushButton::clicked, this, &TRegistryIkkuna::btnSaveClick);
    connect(ui->btnClose, &QPushButton::clicked, this, &TRegistryIkkuna::btnCloseClick);
    connect(ui->EntryList->header(), &QHeaderView::sectionClicked, this, &TRegistryIkkuna::EntryListColumnClick);
    connect(ui->EntryList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TRegistryIkkuna::UpdateButtons);
    connect(FModel, &QAbstractItemModel::modelReset, this, &TRegistryIkkuna::UpdateButtons);
    connect(FModel, &QAbstractItemModel::rowsInserted, this, &TRegistryIkkuna::UpdateButtons);

    FSaveDialog = [](QWidget *owner) {
        QFileDialog dialog(owner);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("reg"));
        dialog.setNameFilters({QStringLiteral("REG file (*.reg)"), QStringLiteral("All files (*)")});
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };

    FLocale = TUserLocale::FromRegistry();
    ReadSection(FHost.ProgramFolder);
    ShowSort(ui->EntryList, FModel);
    UpdateButtons();
}

TRegistryIkkuna::~TRegistryIkkuna()
{
    // No scanner outlives its window: stop them and wait, before any member goes.
    TSharedThd::StopAndWaitFor(this);
    FThreads.clear();
    FDeletion = nullptr;
    FSorter = nullptr;
    WriteSection(FHost.ProgramFolder);
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRecords); });
}

QTreeView *TRegistryIkkuna::EntryList() const { return ui->EntryList; }
QLineEdit *TRegistryIkkuna::SkipEdit() const { return ui->Skip; }
QString TRegistryIkkuna::StatusText() const { return FStatusLabel->text(); }

TOVBitBtn *TRegistryIkkuna::Button(const QString &objectName) const
{
    return findChild<TOVBitBtn *>(objectName);
}

void TRegistryIkkuna::ReadKeys(const TIniFile &ini)
{
    ReadSize(ini);
    ui->Skip->setText(ini.ReadString(Section, QStringLiteral("Skip"), ui->Skip->text()));
    ReadSort(ini);
}

void TRegistryIkkuna::WriteKeys(TIniFile &ini)
{
    WriteSize(ini);
    ini.WriteString(Section, QStringLiteral("Skip"), ui->Skip->text());
    WriteSort(ini);
}

void TRegistryIkkuna::showEvent(QShowEvent *event)
{
    TToolWindow::showEvent(event);
    if (FFirstShow) {
        FFirstShow = false;
        TranslateForms(this);
    }
}

void TRegistryIkkuna::Closing()
{
    if (FHost.Closed)
        FHost.Closed();
}

void TRegistryIkkuna::LogLines(const QStringList &lines)
{
    if (FHost.Batch)
        FHost.Batch->FLog.append(lines);
}

QString TRegistryIkkuna::ModifiedText(const QDateTime &time) const
{
    return time.isValid() ? FLocale.DateTime(time) : QString();
}

void TRegistryIkkuna::StartBatch(const QString &batchSwitch)
{
    FBatchSwitch = batchSwitch;
    if (batchSwitch != QStringLiteral("-reg") && batchSwitch != QStringLiteral("-delreg"))
        return;
    const QString stamp = FHost.TimeStamp ? FHost.TimeStamp() : QString();
    LogLines({QString(), stamp, batchSwitch, QStringLiteral("Started searching invalid registry entries")});
    btnFindClick();
}

void TRegistryIkkuna::SetStatus(const QString &text)
{
    FStatusLabel->setText(text);
}

void TRegistryIkkuna::UpdateButtons()
{
    const int count = int(FRecords.size());
    const bool idle = !Busy();
    const bool several = idle && count >= 2;
    ui->btnSelectAll->setEnabled(several);
    ui->btnDeleteAll->setEnabled(several);
    ui->btnPrint->setEnabled(several);
    ui->btnSave->setEnabled(several);
    ui->btnStop->setEnabled(!idle);
    ui->btnFind->setEnabled(idle);
    const bool selected = ui->EntryList->selectionModel() && ui->EntryList->selectionModel()->hasSelection();
    ui->btnDelete->setEnabled(idle && count > 0 && selected);
    if (!FDeletion && (sender() == nullptr || sender() == ui->btnFind)) {
        FBar->hide();
        FBar->setToolTip(QString());
    }
}

// ---- search

void TRegistryIkkuna::btnFindClick()
{
    if (Busy())
        return;
    FSkipList = Blacklist::SkipList(ui->Skip->text(), Blacklist::KeyText(FHost.ProgramFolder, QStringLiteral("Registry")));
    FScanning = true;
    FStopRequested = false;
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRecords); });
    FLongest = TLongestTexts(5);
    FThreads.clear();
    FRunning = 0;
    FReported = 0;
    FBar->setRange(0, 0);
    FBar->setValue(0);
    FBar->hide();
    FBar->setToolTip(QString());
    UpdateButtons();
    SetStatus(LangMessage(QStringLiteral("M103KI"), QStringLiteral("Scanning...")));

    auto found = [this](const QString &root, const QString &key, const QDateTime &modified, const QString &name,
                        const QString &data) { AddFoundEntry(root, key, modified, name, data); };
    auto progress = [this](int position, int total) { ScanProgressStep(position, total); };
    auto total = [this](int t) { ScanProgressAddTotal(t); };
    auto split = [this](TEtsiRekisteri *child) { AddScanThread(child); };
    const struct {
        TRootKey Root;
        const char *Path;
        int Parts;
    } roots[] = {{TRootKey::LocalMachine, "\\Software", 2}, {TRootKey::CurrentUser, "\\", 1}, {TRootKey::Users, "\\", 1}};
    for (const auto &r : roots)
        StartScanner(new TEtsiRekisteri(this, FSkipList, found, progress, total, r.Root, QString::fromLatin1(r.Path),
                                        r.Parts, 1, split, FHost.Prefix));
}

void TRegistryIkkuna::StartScanner(TEtsiRekisteri *scanner)
{
    FThreads.append(scanner);
    if (FStopRequested) {
        scanner->SetOnTerminate([this](TSharedThd *sender) { ScanAborted(sender); });
        scanner->Terminate();
    } else {
        scanner->SetOnTerminate([this](TSharedThd *sender) { ScanFinished(sender); });
    }
    ++FRunning;
    scanner->Resume();
}

void TRegistryIkkuna::AddScanThread(TEtsiRekisteri *child)
{
    StartScanner(child);
}

void TRegistryIkkuna::btnStopClick()
{
    if (FDeletion) {
        FDeletion->Terminate();
        return;
    }
    FStopRequested = true;
    for (TEtsiRekisteri *scanner : std::as_const(FThreads)) {
        scanner->SetOnTerminate([this](TSharedThd *sender) { ScanAborted(sender); });
        scanner->Terminate();
    }
}

void TRegistryIkkuna::ScanProgressStep(int position, int /*total*/)
{
    FBar->setValue(FBar->value() + 1);
    FBar->setToolTip(SafeFormat(LangMessage(QStringLiteral("M049RI"), QStringLiteral("%d of %d")), TFormatArg::Count(position), TFormatArg::Count(FBar->maximum())));
}

void TRegistryIkkuna::ScanProgressAddTotal(int total)
{
    ++FReported;
    FBar->setMaximum(FBar->maximum() + total);
    if (FReported == ScanRoots)
        FBar->show();
}

void TRegistryIkkuna::AddFoundEntry(const QString &root, const QString &key, const QDateTime &modified,
                                    const QString &valueName, const QString &data)
{
    auto *record = new TRegistryRecord;
    record->Root = root;
    record->Key = key;
    record->ModifiedTime = modified;
    record->Modified = ModifiedText(modified);
    record->ValueName = valueName;
    record->Data = data;
    const QString *texts[] = {&record->Root, &record->Key, &record->Modified, &record->ValueName, &record->Data};
    for (int column = 0; column < 5; ++column)
        FLongest.Add(column, *texts[column]);
    FRecords.append(record);
    if (!FShowFound->isActive())
        FShowFound->start();
}

void TRegistryIkkuna::ShowFound()
{
    FModel->ShowAppended();
    // Measuring every found text costs more than finding it: only those that can be the widest.
    QHeaderView *header = ui->EntryList->header();
    for (int column = 0; column < 5; ++column) {
        const int wanted = ReportColumns::ContentWidth(ui->EntryList, column, FLongest.Texts(column));
        if (header->sectionSize(column) < wanted)
            header->resizeSection(column, wanted);
    }
}

void TRegistryIkkuna::ScanFinished(TSharedThd *sender)
{
    ScanEnded(sender, false);
}

void TRegistryIkkuna::ScanAborted(TSharedThd *sender)
{
    ScanEnded(sender, true);
}

void TRegistryIkkuna::ScanEnded(TSharedThd *sender, bool aborted)
{
    FThreads.removeAll(static_cast<TEtsiRekisteri *>(sender));
    if (--FRunning > 0)
        return;
    aborted = aborted || FStopRequested;
    FShowFound->stop();
    FModel->ShowAppended();
    SortRecords([this, aborted] { SearchEnded(aborted); });
}

void TRegistryIkkuna::SearchEnded(bool aborted)
{
    ReportColumns::Fit(ui->EntryList, FLongest);
    ShowResultStatus(aborted);
    FScanning = false;
    UpdateButtons();
    FBar->hide();
    FBar->setToolTip(QString());
    const QStringList unread = UnreadHives();
    if (!BatchRun()) {
        if (!unread.isEmpty())
            MessageBoxes::Error(this, LangMessage(QStringLiteral("M138RI"), QStringLiteral("These registry files could "
                                                                                           "not be read; their keys were "
                                                                                           "not searched:"))
                                          + QStringLiteral("\r\n\r\n") + unread.join(QStringLiteral("\r\n")));
        return;
    }
    const QString stamp = FHost.TimeStamp ? FHost.TimeStamp() : QString();
    auto reportUnread = [&] {
        for (const QString &hive : unread)
            FHost.Batch->Fail(hive + QStringLiteral(": its keys were not searched"));
    };
    if (aborted) {
        FHost.Batch->FBatchMode = false;
        FHost.Batch->FBatchAborted = true;
        LogLines({stamp, QStringLiteral("Aborted by user!")});
        return;
    }
    const QString count = QString::number(FRecords.size());
    if (FBatchSwitch == QStringLiteral("-reg")) {
        LogLines({stamp, QStringLiteral("Found ") + count + QStringLiteral(" invalid entries!")});
        reportUnread();
        CloseSoon();
    } else if (FBatchSwitch == QStringLiteral("-delreg")) {
        LogLines({stamp, QStringLiteral("Found ") + count + QStringLiteral(" invalid entries! Deleting...")});
        reportUnread();
        // Delete all is offered only from two entries; a batch run deletes a single entry as well.
        FCloseAfterDelete = true;
        if (FRecords.isEmpty() || !DeleteRecords(true))
            FinishBatchDelete();
    }
}

QStringList TRegistryIkkuna::UnreadHives() const
{
    const std::shared_ptr<TWinePrefix> prefix = FHost.Prefix ? FHost.Prefix : TWinePrefix::Current();
    return prefix && prefix->Exists() ? prefix->Hives().LoadErrors() : QStringList();
}

void TRegistryIkkuna::CloseSoon()
{
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TRegistryIkkuna::ShowResultStatus(bool aborted)
{
    const int count = int(FRecords.size());
    if (aborted)
        SetStatus(count ? SafeFormat(LangMessage(QStringLiteral("M051RI"), QStringLiteral("Aborted! Found %d invalid entries!")), TFormatArg::Count(count))
                        : LangMessage(QStringLiteral("M050RI"), QStringLiteral("Aborted! No invalid entries found!")));
    else
        SetStatus(count ? SafeFormat(LangMessage(QStringLiteral("M053RI"), QStringLiteral("Found %d invalid entries!")), TFormatArg::Count(count))
                        : LangMessage(QStringLiteral("M052RI"), QStringLiteral("No invalid entries found!")));
}

// ---- sorting

void TRegistryIkkuna::SortRecords(const std::function<void()> &then)
{
    FSorter = nullptr;  // a sort still on its way is dropped
    FSorter = BackgroundJob::SortList<TRegistryRecord *>(
        this, FRecords, [column = FSortColumn, forward = FSortForward](auto &list) { SortRecordList(list, column, forward); },
        [this, then](TSharedThd *sorter, QList<TRegistryRecord *> &sorted) {
            if (sorter != FSorter)
                return;
            FSorter = nullptr;
            // A search may have found more meanwhile: they follow, as found.
            FModel->Reset([&] { FRecords = sorted + FRecords.mid(sorted.size()); });
            if (then)
                then();
            UpdateButtons();
        });
    UpdateButtons();
}

void TRegistryIkkuna::EntryListColumnClick(int column)
{
    if (FSorter || FDeletion) {
        // The order a deletion's rows were taken in, or a sort on its way, stays.
        ShowSort(ui->EntryList, FModel);
        return;
    }
    TurnSort(column);
    ShowSort(ui->EntryList, FModel);
    SortRecords();
}

// ---- buttons

void TRegistryIkkuna::btnSelectAllClick()
{
    ui->EntryList->selectAll();
}

void TRegistryIkkuna::btnDeleteClick()
{
    if (!Busy())
        DeleteRecords(false);
}

void TRegistryIkkuna::btnDeleteAllClick()
{
    if (!Busy())
        DeleteRecords(true);
}

void TRegistryIkkuna::btnPrintClick()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    PrintListView(ui->EntryList, QStringLiteral("Invalid entries listing"), printer, this);
}

void TRegistryIkkuna::btnSaveClick()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("html"));
    dialog.setNameFilters({QStringLiteral("XHTML file (*.html *.htm)"), QStringLiteral("Text file (*.txt)")});
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        dialog.setDefaultSuffix(filter.startsWith(QStringLiteral("Text")) ? QStringLiteral("txt") : QStringLiteral("html"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    SaveListViewHtml(ui->EntryList, dialog.selectedFiles().constFirst(), QStringLiteral("Invalid entries listing"), this);
}

void TRegistryIkkuna::btnCloseClick()
{
    close();
}

// ---- delete

bool TRegistryIkkuna::RescueUndo(QString target, QString error, const QStringList &lines, QString *staged,
                                  QString *chosen)
{
    for (;;) {
        // The system's reason under the message: "No space left on device" says what to free.
        MessageBoxes::Error(this, SafeFormat(LangMessage(QStringLiteral("M055RI"),
                                                         QStringLiteral("Vaskimo failed to save the undo data (%s) of the deleted "
                                                                        "items! You can try saving the undo file to location you specify!")),
                                             QDir::toNativeSeparators(target))
                                      + (error.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + error));
        *chosen = FSaveDialog ? FSaveDialog(this) : QString();
        if (chosen->isEmpty())
            return false;
        *staged = UndoFiles::StagedFileName(QFileInfo(*chosen).absolutePath());
        if (UndoFiles::SaveUndoText(*staged, lines, &error))
            return true;
        if (QFileInfo(*staged).isFile())
            QFile::remove(*staged);
        target = *chosen;
        error = QStringLiteral("Can't save %1: %2").arg(*chosen, error);
    }
}

bool TRegistryIkkuna::DeleteRecords(bool allRows)
{
    if (FDeletion)
        return false;
    QList<int> rows;
    if (allRows) {
        ui->EntryList->selectAll();
        for (int row = 0; row < FRecords.size(); ++row)
            rows.append(row);
    } else {
        rows = ToolWindow::SelectedRows(ui->EntryList);
    }
    std::reverse(rows.begin(), rows.end());  // bottom to top
    if (rows.isEmpty())
        return false;
    const bool confirm = FHost.Settings ? FHost.Settings->FRegistryConfirm : true;
    if (confirm && !BatchRun()
        && !MessageBoxes::Confirm(this, SafeFormat(LangMessage(QStringLiteral("M054RI"),
                                                               QStringLiteral("Are you sure you want to delete %d entries?")),
                                                   TFormatArg::Count(rows.size()))))
        return false;

    TRegistryCleanup::TConfig config = TRegistryCleanup::TConfig::FromSettings(FHost.Settings, FHost.ProgramFolder);
    config.UniqueName = FHost.UniqueFileName;
    config.Header = FHost.UndoHeader ? FHost.UndoHeader() : QString();
    config.Prefix = FHost.Prefix;
    TRegistryDeletion::TInput input = FCleanup.Input(config, FRecords, rows, BatchRun());
    FDeletingRows = rows;
    FDeletion = new TRegistryDeletion(
        this, std::move(input),
        BatchRun() ? RegistryDeletion::BatchRescue(FHost.Batch, FHost.TimeStamp)
                   : [this](const QString &target, const QString &error, const QStringList &lines, QString *staged,
                            QString *chosen) { return RescueUndo(target, error, lines, staged, chosen); },
        [this](TRegistryDeletion *sender, int done, int total) {
            if (sender != FDeletion)
                return;
            FBar->setRange(0, total);
            FBar->setValue(done);
            FBar->setToolTip(SafeFormat(LangMessage(QStringLiteral("M049RI"), QStringLiteral("%d of %d")), TFormatArg::Count(done), TFormatArg::Count(total)));
        });
    FDeletion->SetOnTerminate([this](TSharedThd *sender) { DeletionEnded(static_cast<TRegistryDeletion *>(sender)); });
    FBar->setRange(0, 0);
    FBar->setValue(0);
    FBar->show();
    SetStatus(LangMessage(QStringLiteral("M152RI"), QStringLiteral("Deleting...")));
    UpdateButtons();
    FDeletion->Resume();
    return true;
}

void TRegistryIkkuna::DeletionEnded(TRegistryDeletion *deletion)
{
    if (deletion != FDeletion)
        return;
    FDeletion = nullptr;
    const TRegistryDeletion::TOutcome &outcome = deletion->Outcome();
    // The list has not changed since the run took its rows (nothing sorts or searches meanwhile).
    QList<TRegistryRecord *> kept = FRecords;
    const QList<TRegistryRecord *> gone = FCleanup.Finish(outcome, FDeletingRows, kept);
    FDeletingRows.clear();
    if (!gone.isEmpty()) {
        FModel->Reset([&] { FRecords = std::move(kept); });
        // Freeing a few hundred thousand rows takes a while of its own.
        (new TBackgroundJob(this, [gone] { qDeleteAll(gone); }))->Resume();
    }
    FBar->hide();
    FBar->setToolTip(QString());

    if (BatchRun())
        RegistryDeletion::LogBatchOutcome(*FHost.Batch, outcome, FHost.TimeStamp ? FHost.TimeStamp() : QString());
    if (outcome.Stopped) {
        SetStatus(LangMessage(QStringLiteral("M153RI"), QStringLiteral("Aborted! Nothing was deleted!")));
        UpdateButtons();
        FinishBatchDelete();
        return;
    }
    if (!BatchRun())
        ShowOutcome(outcome);
    ShowResultStatus(false);
    UpdateButtons();
    FinishBatchDelete();
}

void TRegistryIkkuna::ShowOutcome(const TRegistryDeletion::TOutcome &outcome)
{
    if (outcome.Changed > 0)
        MessageBoxes::Information(this, RegistryDeletion::ChangedText(outcome.Changed));
    if (outcome.Lossy > 0)
        MessageBoxes::Error(this, RegistryDeletion::LossyText(outcome.Lossy));
    if (outcome.Failures > 0) {
        QString text = SafeFormat(LangMessage(QStringLiteral("M056RI"), QStringLiteral("Vaskimo failed to delete %d entries!")),
                                  TFormatArg::Count(outcome.Failures));
        for (const TRegistryDeletion::TKept &kept : outcome.Reasons)
            text += QStringLiteral("\r\n\r\n") + kept.Reason;
        MessageBoxes::Error(this, text);
    }
}

void TRegistryIkkuna::FinishBatchDelete()
{
    if (std::exchange(FCloseAfterDelete, false))
        CloseSoon();
}

void RegisterRegistryCleaner()
{
    TPaaIkkuna::RegisterTool(TToolKind::Registry, [](QWidget *parent) -> QDialog * { return new TRegistryIkkuna(parent); });
}
