// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the registry cleaner window: search with scanner threads, list, sort, delete with undo.
#include "Rekisteri.h"

#include "ui_Rekisteri.h"

#include "platform/DriveMap.h"
#include "platform/DurableFile.h"
#include "platform/HiveFile.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WinePrefix.h"
#include "registry/Blacklist.h"
#include "registry/RekisteriThds.h"
#include "registry/UndoFiles.h"
#include "shell/Batch.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/Listing.h"
#include "shell/MessageBoxes.h"
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

TRootKey RootFromName(const QString &name)
{
    const TRootKey root = RootKeyFromText(name);
    return root == TRootKey::None ? TRootKey::LocalMachine : root;
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
    : QDialog(parent), ui(std::make_unique<Ui::TRegistryIkkuna>()), FHost(std::move(host))
{
    ui->setupUi(this);
    setProperty("HelpContext", 13);
    FCollator.setCaseSensitivity(Qt::CaseInsensitive);
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
    connect(FShowFound, &QTimer::timeout, FModel, &TRegistryModel::ShowAppended);

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
    ReadSection();
    ToolWindow::ShowSort(ui->EntryList, FModel, FSortColumn, FSortForward);
    UpdateButtons();
}

TRegistryIkkuna::~TRegistryIkkuna()
{
    // No scanner outlives its window: stop them and wait, before any member goes.
    TSharedThd::StopAndWaitFor(this);
    FThreads.clear();
    WriteSection();
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRecords); });
}

QTreeView *TRegistryIkkuna::EntryList() const { return ui->EntryList; }
QLineEdit *TRegistryIkkuna::SkipEdit() const { return ui->Skip; }
QString TRegistryIkkuna::StatusText() const { return FStatusLabel->text(); }

TOVBitBtn *TRegistryIkkuna::Button(const QString &objectName) const
{
    return findChild<TOVBitBtn *>(objectName);
}

void TRegistryIkkuna::ReadSection()
{
    if (FHost.ProgramFolder.isEmpty())
        return;
    const TIniFile ini(SettingsFilePath(FHost.ProgramFolder));
    ToolWindow::ReadGeometry(this, ini, Section);
    ui->Skip->setText(ini.ReadString(Section, QStringLiteral("Skip"), ui->Skip->text()));
    ToolWindow::ReadSort(ini, Section, 4, 4, FSortColumn, FSortForward);
}

void TRegistryIkkuna::WriteSection()
{
    if (FHost.ProgramFolder.isEmpty())
        return;
    TIniFile ini(SettingsFilePath(FHost.ProgramFolder));
    ToolWindow::WriteGeometry(this, ini, Section);
    ini.WriteString(Section, QStringLiteral("Skip"), ui->Skip->text());
    ToolWindow::WriteSort(ini, Section, FSortColumn, FSortForward);
    ini.UpdateFile();  // errors writing Options.ini are ignored
}

void TRegistryIkkuna::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    ToolWindow::ApplyLook(this, FHost.Settings);
    if (FFirstShow) {
        FFirstShow = false;
        TranslateForms(this);
    }
}

void TRegistryIkkuna::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    ToolWindow::PaintMainBackground(this);
}

void TRegistryIkkuna::closeEvent(QCloseEvent *event)
{
    if (ToolWindow::StopInsteadOfClose(FScanning, [this] { btnStopClick(); }, event))
        return;
    QDialog::closeEvent(event);  // runs reject(), which tells the main window
}

void TRegistryIkkuna::reject()
{
    if (ToolWindow::StopInsteadOfClose(FScanning, [this] { btnStopClick(); }))
        return;
    if (FHost.Closed)
        FHost.Closed();
    QDialog::reject();
}

bool TRegistryIkkuna::BatchRun() const
{
    return FHost.Batch && FHost.Batch->FBatchMode;
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
    const bool several = !FScanning && count >= 2;
    ui->btnSelectAll->setEnabled(several);
    ui->btnDeleteAll->setEnabled(several);
    ui->btnPrint->setEnabled(several);
    ui->btnSave->setEnabled(several);
    ui->btnStop->setEnabled(FScanning);
    ui->btnFind->setEnabled(!FScanning);
    const bool selected = ui->EntryList->selectionModel() && ui->EntryList->selectionModel()->hasSelection();
    ui->btnDelete->setEnabled(!FScanning && count > 0 && selected);
    if (sender() == nullptr || sender() == ui->btnFind) {
        FBar->hide();
        FBar->setToolTip(QString());
    }
}

// ---- search

void TRegistryIkkuna::btnFindClick()
{
    if (FScanning)
        return;
    FSkipList = Blacklist::SkipList(ui->Skip->text(), Blacklist::KeyText(FHost.ProgramFolder, QStringLiteral("Registry")));
    FScanning = true;
    FStopRequested = false;
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRecords); });
    std::fill(std::begin(FLongest), std::end(FLongest), 0);
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
    FStopRequested = true;
    for (TEtsiRekisteri *scanner : std::as_const(FThreads)) {
        scanner->SetOnTerminate([this](TSharedThd *sender) { ScanAborted(sender); });
        scanner->Terminate();
    }
}

void TRegistryIkkuna::ScanProgressStep(int position, int /*total*/)
{
    FBar->setValue(FBar->value() + 1);
    FBar->setToolTip(SafeFormat(LangMessage(QStringLiteral("M049RI"), QStringLiteral("%d of %d")), position, FBar->maximum()));
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
    const QStringList texts = {record->Root, record->Key, record->Modified, record->ValueName, record->Data};
    QHeaderView *header = ui->EntryList->header();
    const QFontMetrics metrics(ui->EntryList->font());
    for (int column = 0; column < texts.size(); ++column) {
        // Measuring is costly; a text much shorter than the longest measured one cannot be wider.
        const int length = int(texts.at(column).size());
        if (length + 4 < FLongest[column])
            continue;
        FLongest[column] = qMax(FLongest[column], length);
        const int wanted = metrics.horizontalAdvance(texts.at(column)) + (column == 0 ? 32 : 16);
        if (header->sectionSize(column) < wanted)
            header->resizeSection(column, wanted);
    }
    FRecords.append(record);
    if (!FShowFound->isActive())
        FShowFound->start();
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
    SortRecords();
    ReportColumns::Fit(ui->EntryList);
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
        if (!FRecords.isEmpty())
            DeleteRecords(true);
        CloseSoon();
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
        SetStatus(count ? SafeFormat(LangMessage(QStringLiteral("M051RI"), QStringLiteral("Aborted! Found %d invalid entries!")), count)
                        : LangMessage(QStringLiteral("M050RI"), QStringLiteral("Aborted! No invalid entries found!")));
    else
        SetStatus(count ? SafeFormat(LangMessage(QStringLiteral("M053RI"), QStringLiteral("Found %d invalid entries!")), count)
                        : LangMessage(QStringLiteral("M052RI"), QStringLiteral("No invalid entries found!")));
}

// ---- sorting

int TRegistryIkkuna::CompareRecords(const TRegistryRecord &a, const TRegistryRecord &b) const
{
    int result = 0;
    switch (FSortColumn) {
    case 0: result = FCollator.compare(a.Root, b.Root); break;
    case 1: result = FCollator.compare(a.Key, b.Key); break;
    case 2: {
        // The stored times, not the shown text: differences in units of 0.864 seconds.
        const qint64 ta = a.ModifiedTime.isValid() ? a.ModifiedTime.toMSecsSinceEpoch() : 0;
        const qint64 tb = b.ModifiedTime.isValid() ? b.ModifiedTime.toMSecsSinceEpoch() : 0;
        const qint64 units = qRound64(double(ta - tb) / 864.0);
        result = units < 0 ? -1 : (units > 0 ? 1 : 0);
        break;
    }
    case 3: result = FCollator.compare(a.ValueName, b.ValueName); break;
    default: result = FCollator.compare(a.Data, b.Data); break;
    }
    return FSortForward ? result : -result;
}

void TRegistryIkkuna::SortRecords()
{
    FModel->Reset([this] {
        std::stable_sort(FRecords.begin(), FRecords.end(), [this](const TRegistryRecord *a, const TRegistryRecord *b) {
            return CompareRecords(*a, *b) < 0;
        });
    });
}

void TRegistryIkkuna::EntryListColumnClick(int column)
{
    ToolWindow::TurnSort(column, FSortColumn, FSortForward);
    ToolWindow::ShowSort(ui->EntryList, FModel, FSortColumn, FSortForward);
    SortRecords();
}

// ---- buttons

void TRegistryIkkuna::btnSelectAllClick()
{
    ui->EntryList->selectAll();
}

void TRegistryIkkuna::btnDeleteClick()
{
    if (!FScanning)
        DeleteRecords(false);
}

void TRegistryIkkuna::btnDeleteAllClick()
{
    if (!FScanning)
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

QString TRegistryIkkuna::UndoFolderHost() const
{
    const QString folder = FHost.Settings ? FHost.Settings->FRegistryUndoDir : QString();
    if (folder.isEmpty() || folder.startsWith(u'/'))
        return folder;
    if (folder.size() < 3 || folder.at(1) != u':' || folder.at(2) != u'\\')
        return {};
    const std::shared_ptr<TWinePrefix> prefix = FHost.Prefix ? FHost.Prefix : TWinePrefix::Current();
    if (!prefix)
        return {};
    QString host = prefix->Drives().HostRoot(folder.at(0).toUpper());
    if (host.isEmpty())
        return {};
    // Components matched exactly, else ignoring case; the missing rest is created as written.
    const QStringList parts = folder.mid(3).split(u'\\', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QDir dir(host);
        QString name = part;
        if (!dir.exists(part)) {
            const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
            for (const QString &entry : entries)
                if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                    name = entry;
                    break;
                }
        }
        host = host.endsWith(u'/') ? host + name : host + u'/' + name;
    }
    return host;
}

bool TRegistryIkkuna::StageUndo(const QStringList &lines)
{
    QString error;
    FUndoError.clear();
    QString target = FUndoFileName;
    if (target.isEmpty()) {
        FStagedFolder = UndoFolderHost();
        target = FStagedFolder.isEmpty() ? QStringLiteral("VKUndo01.reg") : UndoFiles::NumberedFileName(FStagedFolder, 1);
        if (!FStagedFolder.isEmpty() && !QDir().mkpath(FStagedFolder))
            error = QStringLiteral("Can't create the folder %1").arg(FStagedFolder);
        else if (!FStagedFolder.isEmpty())
            FStaged = UndoFiles::StagedFileName(FStagedFolder);
    } else {
        FStaged = UndoFiles::StagedFileName(QFileInfo(target).absolutePath());
    }
    if (!FStaged.isEmpty()) {
        if (UndoFiles::SaveUndoText(FStaged, lines, &error))
            return true;
        error = QStringLiteral("Can't save %1: %2").arg(target, error);
    }
    DiscardStagedUndo();
    if (BatchRun()) {
        LogLines({FHost.TimeStamp ? FHost.TimeStamp() : QString(),
                  QStringLiteral("Can't save undo data, nothing was deleted!")});
        FUndoError = error;
        return false;
    }
    for (;;) {
        // The system's reason under the message: "No space left on device" says what to free.
        MessageBoxes::Error(this, SafeFormat(LangMessage(QStringLiteral("M055RI"),
                                                         QStringLiteral("Vaskimo failed to save the undo data (%s) of the deleted "
                                                                        "items! You can try saving the undo file to location you specify!")),
                                             QDir::toNativeSeparators(target))
                                      + (error.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + error));
        const QString chosen = FSaveDialog ? FSaveDialog(this) : QString();
        if (chosen.isEmpty())
            return false;
        FStaged = UndoFiles::StagedFileName(QFileInfo(chosen).absolutePath());
        if (UndoFiles::SaveUndoText(FStaged, lines, &error)) {
            FStagedTarget = chosen;  // the rest of this program run's undo text goes there too
            return true;
        }
        target = chosen;
        error = QStringLiteral("Can't save %1: %2").arg(chosen, error);
        DiscardStagedUndo();
    }
}

bool TRegistryIkkuna::CommitUndo(QString *why)
{
    QString target = !FStagedTarget.isEmpty() ? FStagedTarget : FUndoFileName;
    bool done = false;
    if (target.isEmpty()) {
        target = UndoFiles::RotateNumberedFiles(FStagedFolder, FHost.Settings ? FHost.Settings->FUndoLevels : 10, FStaged,
                                                FHost.UniqueFileName, why);
        done = !target.isEmpty();
    } else {
        done = DurableFile::Rename(FStaged, target, why);
        if (!done)
            *why = QStringLiteral("Can't rename %1 to %2: %3").arg(FStaged, target, *why);
    }
    DiscardStagedUndo();
    if (!done) {
        if (BatchRun())
            LogLines({FHost.TimeStamp ? FHost.TimeStamp() : QString(),
                      QStringLiteral("Can't save undo data, nothing was deleted!")});
        return false;
    }
    FUndoFileName = target;
    return true;
}

void TRegistryIkkuna::DiscardStagedUndo()
{
    if (!FStaged.isEmpty() && QFileInfo(FStaged).isFile())
        QFile::remove(FStaged);
    FStaged.clear();
    FStagedTarget.clear();
}

void TRegistryIkkuna::DeleteRecords(bool allRows)
{
    if (allRows)
        ui->EntryList->selectAll();
    QList<int> rows = ToolWindow::SelectedRows(ui->EntryList);
    std::reverse(rows.begin(), rows.end());  // bottom to top
    if (rows.isEmpty())
        return;
    const bool confirm = FHost.Settings ? FHost.Settings->FRegistryConfirm : true;
    if (confirm && !BatchRun()
        && !MessageBoxes::Confirm(this, SafeFormat(LangMessage(QStringLiteral("M054RI"),
                                                               QStringLiteral("Are you sure you want to delete %d entries?")),
                                                   int(rows.size()))))
        return;
    const bool undo = FHost.Settings ? FHost.Settings->FRegistryUndo : true;
    const std::shared_ptr<TWinePrefix> prefix = FHost.Prefix;

    struct TPending {
        TRegistryRecord *Record;
        bool Present;
        QStringList Lines;  // "", key line, value line
    };
    QList<TPending> pending;
    int failures = 0, lossy = 0;
    struct TKept {
        QString Reason;
        int Count;
    };
    QList<TKept> reasons;  // why deletes failed, each once (a running wineserver, each hive that cannot be saved)
    QList<TRegistryRecord *> gone;
    for (int row : rows) {
        TRegistryRecord *record = FRecords.at(row);
        TRegistry registry(RootFromName(record->Root), prefix);
        if (!registry.OpenKeyReadOnly(u'\\' + record->Key)) {
            ++failures;
            continue;
        }
        TPending p{record, registry.ValueExists(record->ValueName), {}};
        if (undo) {
            QString valueLine;
            bool ok = p.Present ? UndoFiles::LiveValueLine(registry, record->ValueName, &valueLine)
                                : UndoFiles::IsStorableName(record->ValueName)
                                      && UndoFiles::IsLossless(valueLine = UndoFiles::StringLine(record->ValueName, record->Data));
            const QString keyLine = UndoFiles::KeyLine(record->Root, record->Key);
            ok = ok && UndoFiles::IsLossless(keyLine);
            if (!ok) {
                // Undo data that cannot be written without loss: the value stays.
                ++lossy;
                continue;
            }
            p.Lines = {QString(), keyLine, valueLine};
        }
        pending.append(p);
    }

    // One delete run for all present values: each hive is written once, and the undo text is saved
    // before the first of them, only when a value is really about to go.
    QList<TValueDeletion> deletions;
    QList<const TPending *> deletionOf;
    QStringList goneLines;  // values gone before the run still get their lines
    for (const TPending &p : std::as_const(pending)) {
        if (!p.Present) {
            gone.append(p.Record);
            goneLines.append(p.Lines);
            continue;
        }
        TValueDeletion d;
        d.Root = RootFromName(p.Record->Root);
        d.KeyPath = p.Record->Key;
        d.ValueName = p.Record->ValueName;
        deletions.append(d);
        deletionOf.append(&p);
    }
    const QStringList undoBefore = FUndoLines;
    auto undoText = [&](const QList<int> &indexes) {
        QStringList text = undoBefore;
        if (text.isEmpty())
            text.append(FHost.UndoHeader ? FHost.UndoHeader() : QStringLiteral("REGEDIT4"));
        text.append(goneLines);
        for (int i : indexes)
            text.append(deletionOf.at(i)->Lines);
        return text;
    };
    QList<int> written;  // the values whose lines the saved undo text holds
    QStringList staged;
    QList<int> stagedFor;
    // The undo text waits under a staged name until the guard has said its last word: a run that
    // deletes nothing leaves every earlier undo file as it was.
    TRegistry::DeleteValues(deletions, [&](const QList<int> &going) {
        if (!undo)
            return true;
        staged = undoText(going);
        stagedFor = going;
        return StageUndo(staged);
    }, prefix, [&](QString *why) {
        if (!undo)
            return true;
        if (!CommitUndo(why))
            return false;
        FUndoLines = staged;
        written = stagedFor;
        return true;
    });
    DiscardStagedUndo();

    bool refusedAfterUndo = false;
    for (int i = 0; i < deletions.size(); ++i) {
        const TValueDeletion &d = deletions.at(i);
        if (d.Result != TValueDeletion::TResult::Refused) {
            gone.append(deletionOf.at(i)->Record);
            continue;
        }
        ++failures;
        const QString why = d.Error.isEmpty() ? FUndoError : d.Error;
        const auto same = std::find_if(reasons.begin(), reasons.end(), [&why](const TKept &k) { return k.Reason == why; });
        if (same != reasons.end())
            ++same->Count;
        else if (!why.isEmpty())
            reasons.append({why, 1});
        refusedAfterUndo = refusedAfterUndo || written.contains(i);
    }
    if (refusedAfterUndo) {
        // A hive that could not be written keeps its values: their lines leave the undo text again.
        written.removeIf([&](int i) { return deletions.at(i).Result == TValueDeletion::TResult::Refused; });
        const QStringList text = undoText(written);
        QString error;
        if (UndoFiles::SaveUndoText(FUndoFileName, text, &error))
            FUndoLines = text;
    }

    FModel->Reset([&] {
        for (TRegistryRecord *record : std::as_const(gone)) {
            FRecords.removeOne(record);
            delete record;
        }
    });

    const QString stamp = FHost.TimeStamp ? FHost.TimeStamp() : QString();
    if (lossy > 0) {
        const QString text = SafeFormat(
            LangMessage(QStringLiteral("M137RI"), QStringLiteral("%d entries were not deleted: their undo data holds "
                                                                 "characters that the undo file cannot store!")),
            lossy);
        if (BatchRun()) {
            LogLines({stamp, text});
            FHost.Batch->KeepFailure(text);
        } else {
            MessageBoxes::Error(this, text);
        }
    }
    if (failures > 0) {
        if (BatchRun()) {
            const QString text = QStringLiteral("Vaskimo failed to delete ") + QString::number(failures) + QStringLiteral(" entries!");
            LogLines({stamp, text});
            for (const TKept &kept : std::as_const(reasons)) {
                LogLines({kept.Reason});
                FHost.Batch->KeepFailure(QStringLiteral("%1 entries were kept: %2").arg(kept.Count).arg(kept.Reason));
            }
            if (reasons.isEmpty())
                FHost.Batch->KeepFailure(text);
        } else {
            QString text = SafeFormat(LangMessage(QStringLiteral("M056RI"), QStringLiteral("Vaskimo failed to delete %d entries!")), failures);
            for (const TKept &kept : std::as_const(reasons))
                text += QStringLiteral("\r\n\r\n") + kept.Reason;
            MessageBoxes::Error(this, text);
        }
    }
    ShowResultStatus(false);
    UpdateButtons();
}

void RegisterRegistryCleaner()
{
    TPaaIkkuna::RegisterTool(TToolKind::Registry, [](QWidget *parent) -> QDialog * { return new TRegistryIkkuna(parent); });
}
