// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the add/remove window: list, judge, uninstall through Wine, delete with a whole-key undo file, edit values.
#include "LisaaPoista.h"

#include "ui_LisaaPoista.h"

#include "platform/DriveMap.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"
#include "registry/LisaaPoistaThds.h"
#include "registry/UndoFiles.h"
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
#include <QComboBox>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStatusBar>

#include <algorithm>

namespace {
const QString Section = QStringLiteral("Add/remove");
const QStringList TypeNames = {QStringLiteral("String value"), QStringLiteral("Expandable string value"),
                               QStringLiteral("DWORD value"), QStringLiteral("Binary value")};
enum { TypeString, TypeExpand, TypeDword, TypeBinary };

// The status images 3 to 6: a green tick, a yellow dash, a red cross, a purple plus.
QIcon StatusIcon(int image)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen;
    pen.setWidthF(2.5);
    pen.setCapStyle(Qt::RoundCap);
    switch (image) {
    case 3:
        pen.setColor(QColor(0, 160, 0));
        p.setPen(pen);
        p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(7, 12), QPointF(13, 4)}));
        break;
    case 4:
        pen.setColor(QColor(220, 180, 0));
        p.setPen(pen);
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case 5:
        pen.setColor(QColor(210, 0, 0));
        p.setPen(pen);
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    default:
        pen.setColor(QColor(140, 0, 170));
        p.setPen(pen);
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    }
    return QIcon(pixmap);
}
}

// ---- model

TAddRemoveModel::TAddRemoveModel(QList<TAddRemoveRecord *> *records, const QList<QIcon> *images, QObject *parent)
    : TReportModel({QStringLiteral("Name"), QString()}, 0, parent), FRecords(records), FImages(images)
{
}

int TAddRemoveModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FRecords->size());
}

QVariant TAddRemoveModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= FRecords->size())
        return {};
    const TAddRemoveRecord &r = *FRecords->at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? QVariant(r.Name) : QVariant();
    case Qt::DecorationRole: {
        const int image = index.column() == 0 ? r.IconIndex : r.StatusImage;
        return image >= 0 && image < FImages->size() ? QVariant(FImages->at(image)) : QVariant();
    }
    case StatusRole:
        return r.StatusImage;
    case Qt::TextAlignmentRole:
        return index.column() == 1 ? QVariant(Qt::AlignCenter) : QVariant();
    case Qt::BackgroundRole:
        return SortColumnBackground(index.column());
    default:
        return {};
    }
}

void TAddRemoveModel::Append(TAddRemoveRecord *record)
{
    const int row = int(FRecords->size());
    beginInsertRows({}, row, row);
    FRecords->append(record);
    endInsertRows();
}

// ---- host

TAddRemoveHost TAddRemoveHost::FromMainWindow()
{
    TAddRemoveHost host;
    host.FindWine = &DefaultFindWine;
    host.StartProcess = &DefaultStartProcess;
    TPaaIkkuna *main = PaaIkkuna;
    if (!main)
        return host;
    host.ProgramFolder = main->ProgramFolder();
    host.Settings = &main->Settings();
    host.UndoHeader = [main] { return main->UndoHeader(); };
    host.UniqueFileName = [main](const QString &folder, const QString &name) { return main->UniqueFileName(folder, name); };
    host.Closed = [main] { main->FAddRemoveOpen = false; };
    return host;
}

QString TAddRemoveHost::DefaultFindWine()
{
    return QStandardPaths::findExecutable(QStringLiteral("wine"));
}

bool TAddRemoveHost::DefaultStartProcess(const QString &program, const QStringList &arguments,
                                         const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(environment);
    return process.startDetached();
}

// ---- window

TLisaaPoistaIkkuna::TLisaaPoistaIkkuna(QWidget *parent, TAddRemoveHost host)
    : TToolWindow(parent, {.Section = Section,
                           .SortColumn = 0,
                           .LastSortColumn = 1,
                           .Look = host.Settings,
                           .MinimizesWithMain = true}),
      ui(std::make_unique<Ui::TLisaaPoistaIkkuna>()), FHost(std::move(host))
{
    ui->setupUi(this);
    setProperty("HelpContext", 5);
    if (!FHost.FindWine)
        FHost.FindWine = &TAddRemoveHost::DefaultFindWine;
    if (!FHost.StartProcess)
        FHost.StartProcess = &TAddRemoveHost::DefaultStartProcess;
    FCollator.setCaseSensitivity(Qt::CaseInsensitive);

    // 0 and 1 are the header's sort arrows (the header draws its own), 2 the default program image.
    FImages = {QIcon(), QIcon(), QFileIconProvider().icon(QFileIconProvider::File)};
    for (int image = 3; image <= 6; ++image)
        FImages.append(StatusIcon(image));

    FModel = new TAddRemoveModel(&FRecords, &FImages, this);
    ui->FileList->setModel(FModel);
    QHeaderView *header = ui->FileList->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setStretchLastSection(false);
    header->resizeSection(0, 300);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->resizeSection(1, 28);

    FBar = new QProgressBar(ui->StatusBar);
    FBar->setTextVisible(false);
    FBar->setMaximumHeight(ui->StatusBar->sizeHint().height() - 2);
    FBar->hide();
    ui->StatusBar->addWidget(FBar, 1);

    connect(ui->btnFind, &QPushButton::clicked, this, &TLisaaPoistaIkkuna::btnFindClick);
    connect(ui->btnStop, &QPushButton::clicked, this, &TLisaaPoistaIkkuna::btnStopClick);
    connect(ui->btnDelete, &QPushButton::clicked, this, &TLisaaPoistaIkkuna::btnDeleteClick);
    connect(ui->btnUninstall, &QPushButton::clicked, this, &TLisaaPoistaIkkuna::btnUninstallClick);
    connect(ui->btnPrint, &QPushButton::clicked, this, &TLisaaPoistaIkkuna::btnPrintClick);
    connect(ui->btnSave, &QPushButton::clicked, this, &TLisaaPoistaIkkuna::btnSaveClick);
    connect(ui->btnClose, &QPushButton::clicked, this, &TLisaaPoistaIkkuna::btnCloseClick);
    connect(ui->btnUpdate, &QPushButton::clicked, this, &TLisaaPoistaIkkuna::btnUpdateClick);
    connect(header, &QHeaderView::sectionClicked, this, &TLisaaPoistaIkkuna::FileListColumnClick);
    connect(ui->FileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TLisaaPoistaIkkuna::FileListSelectItem);
    connect(FModel, &QAbstractItemModel::modelReset, this, &TLisaaPoistaIkkuna::UpdateButtons);
    connect(ui->Values, &QListWidget::currentItemChanged, this, [this] {
        if (!FFilling)
            ShowValue();
    });
    connect(ui->Values, &QListWidget::itemClicked, this, &TLisaaPoistaIkkuna::ShowValue);
    connect(ui->Properties, &QLineEdit::textEdited, this, &TLisaaPoistaIkkuna::PropertiesChange);
    connect(ui->RegType, &QComboBox::activated, this, &TLisaaPoistaIkkuna::RegTypeChange);
    ui->btnFind->setDefault(true);
    SetHoldsUserData(ui->Properties);

    ReadSection(FHost.ProgramFolder);
    ShowSort(ui->FileList, FModel);
    EnableEditor(false);
    UpdateButtons();
}

TLisaaPoistaIkkuna::~TLisaaPoistaIkkuna()
{
    TSharedThd::StopAndWaitFor(this);
    FThread = nullptr;
    WriteSection(FHost.ProgramFolder);
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRecords); });
}

QTreeView *TLisaaPoistaIkkuna::FileList() const { return ui->FileList; }
QListWidget *TLisaaPoistaIkkuna::Values() const { return ui->Values; }
QComboBox *TLisaaPoistaIkkuna::RegType() const { return ui->RegType; }
QLineEdit *TLisaaPoistaIkkuna::Properties() const { return ui->Properties; }

TOVBitBtn *TLisaaPoistaIkkuna::Button(const QString &objectName) const
{
    return findChild<TOVBitBtn *>(objectName);
}

void TLisaaPoistaIkkuna::showEvent(QShowEvent *event)
{
    TToolWindow::showEvent(event);
    if (FFirstShow) {
        FFirstShow = false;
        TranslateForms(this);
        btnFindClick();
    }
}

bool TLisaaPoistaIkkuna::SearchRunning() const { return ui->btnStop->isEnabled(); }

void TLisaaPoistaIkkuna::Closing()
{
    if (FHost.Closed)
        FHost.Closed();
}

void TLisaaPoistaIkkuna::UpdateButtons()
{
    const bool rows = !FRecords.isEmpty();
    const bool selected = SelectedRow() >= 0;
    ui->btnStop->setEnabled(FScanning);
    ui->btnFind->setEnabled(!FScanning);
    ui->FileList->setEnabled(!FScanning);
    ui->btnPrint->setEnabled(rows && !FScanning);
    ui->btnSave->setEnabled(rows && !FScanning);
    ui->btnDelete->setEnabled(selected && !FScanning);
    ui->btnUninstall->setEnabled(selected && !FScanning);
    FBar->setVisible(FScanning);
}

// ---- search

void TLisaaPoistaIkkuna::btnFindClick()
{
    if (FScanning)
        return;
    FScanning = true;
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRecords); });
    FImages = FImages.mid(0, 7);
    FFilling = true;
    ui->Values->clear();
    FFilling = false;
    ShowValue();
    FBar->setRange(0, 0);
    FBar->setValue(0);
    UpdateButtons();
    const bool extra = FHost.Settings ? FHost.Settings->FAddRemoveListExtra : false;
    FThread = new TFindAddRemoveThd(
        this, extra,
        [this](const QString &name, const QString &icon, TRootKey root, const QString &key, const QString &command,
               const QString &location, int judgement, bool isExtra) {
            AddEntry(name, icon, root, key, command, location, judgement, isExtra);
        },
        [this](int position, int total) { ScanProgress(position, total); }, FHost.Prefix);
    FThread->SetOnTerminate([this](TSharedThd *sender) { ScanDone(sender); });
    FThread->Resume();
}

void TLisaaPoistaIkkuna::btnStopClick()
{
    if (FThread) {
        FThread->SetOnTerminate([this](TSharedThd *sender) { ScanDone(sender); });
        FThread->Terminate();
    }
}

void TLisaaPoistaIkkuna::ScanProgress(int position, int total)
{
    FBar->setMaximum(total);
    FBar->setValue(position);
}

void TLisaaPoistaIkkuna::ScanDone(TSharedThd * /*sender*/)
{
    FThread = nullptr;
    FScanning = false;
    SortRecords();
    ReportColumns::Fit(ui->FileList);
    UpdateButtons();
}

QString TLisaaPoistaIkkuna::HostPath(const QString &windowsPath) const
{
    const TPathMapping m = WinFiles::DrivesOf(FHost.Prefix).ToHost(windowsPath);
    return m.State == TPathState::Resolved ? m.HostPath : QString();
}

bool TLisaaPoistaIkkuna::AddIcon(TAddRemoveRecord *record, const QString &windowsFile)
{
    const QString host = HostPath(windowsFile);
    if (host.isEmpty() || !QFileInfo(host).isFile())
        return false;
    // Without an icon theme (no desktop) the provider may have nothing better than the file image.
    QIcon icon = QFileIconProvider().icon(QFileInfo(host));
    if (icon.isNull())
        icon = FImages.at(2);
    FImages.append(icon);
    record->IconIndex = int(FImages.size()) - 1;
    record->IconFile = windowsFile;
    return true;
}

void TLisaaPoistaIkkuna::AddEntry(const QString &name, const QString &icon, TRootKey root, const QString &keyPath,
                                  const QString &uninstallString, const QString &installLocation, int judgement,
                                  bool extra)
{
    auto *record = new TAddRemoveRecord;
    record->Name = name;
    record->Root = root;
    record->KeyPath = keyPath;
    record->UninstallString = uninstallString;
    record->StatusImage = extra ? 6 : 3 + qBound(0, judgement, 2);
    if (!icon.isEmpty()) {
        const qsizetype comma = icon.indexOf(u',');
        if (comma >= 0) {
            // The icon's number in the file picks nothing here: the shell's icon of the file is used.
            AddIcon(record, icon.left(comma));
        } else if (!AddIcon(record, icon)) {
            QString file = icon;
            const qsizetype open = icon.indexOf(u'"');
            if (open >= 0) {
                const qsizetype close = icon.indexOf(u'"', open + 1);
                file = close < 0 ? icon.mid(open + 1) : icon.mid(open + 1, close - open - 1);
            }
            if (!WinFiles::FileExists(file, FHost.Prefix) && !installLocation.isEmpty())
                file = installLocation + (installLocation.endsWith(u'"') ? QString() : QStringLiteral("\\")) + icon;
            AddIcon(record, file);
        }
    }
    FModel->Append(record);
    QHeaderView *header = ui->FileList->header();
    const int wanted = QFontMetrics(ui->FileList->font()).horizontalAdvance(name) + 32;
    if (header->sectionSize(0) < wanted)
        header->resizeSection(0, wanted);
}

// ---- sorting

void TLisaaPoistaIkkuna::SortRecords()
{
    TAddRemoveRecord *selected = SelectedRecord();
    FModel->Reset([this] {
        std::stable_sort(FRecords.begin(), FRecords.end(), [this](const TAddRemoveRecord *a, const TAddRemoveRecord *b) {
            int result = FSortColumn == 0 ? FCollator.compare(a->Name, b->Name)
                                          : (a->StatusImage < b->StatusImage ? -1 : (a->StatusImage > b->StatusImage ? 1 : 0));
            if (!FSortForward)
                result = -result;
            return result < 0;
        });
    });
    const qsizetype row = FRecords.indexOf(selected);
    if (selected && row >= 0)
        ui->FileList->setCurrentIndex(FModel->index(int(row), 0));
    else
        FileListSelectItem();
}

void TLisaaPoistaIkkuna::FileListColumnClick(int column)
{
    TurnSort(column);
    ShowSort(ui->FileList, FModel);
    SortRecords();
}

// ---- selection and the value editor

int TLisaaPoistaIkkuna::SelectedRow() const
{
    const QItemSelectionModel *selection = ui->FileList->selectionModel();
    if (!selection)
        return -1;
    const QModelIndexList rows = selection->selectedRows();
    if (rows.isEmpty() || rows.constFirst().row() >= FRecords.size())
        return -1;
    return rows.constFirst().row();
}

TAddRemoveRecord *TLisaaPoistaIkkuna::SelectedRecord() const
{
    const int row = SelectedRow();
    return row < 0 ? nullptr : FRecords.at(row);
}

void TLisaaPoistaIkkuna::FileListSelectItem()
{
    FFilling = true;
    ui->Values->clear();
    if (const TAddRemoveRecord *record = SelectedRecord()) {
        // Looking at an entry never writes: a key that has gone shows no values.
        TRegistry registry(record->Root, FHost.Prefix);
        if (registry.OpenKeyReadOnly(AddRemove::OpenablePath(record->KeyPath))) {
            QStringList names = registry.GetValueNames();
            std::stable_sort(names.begin(), names.end(),
                             [this](const QString &a, const QString &b) { return FCollator.compare(a, b) < 0; });
            ui->Values->addItems(names);
        }
    }
    FFilling = false;
    ShowValue();
    UpdateButtons();
}

void TLisaaPoistaIkkuna::EnableEditor(bool enabled)
{
    ui->Properties->setEnabled(enabled);
    ui->RegType->setEnabled(enabled);
    if (!enabled) {
        ui->Properties->clear();
        ui->RegType->setCurrentIndex(-1);
    }
    ui->Properties->setModified(false);
    ui->btnUpdate->setEnabled(false);
}

QString TLisaaPoistaIkkuna::BinaryText(const QByteArray &bytes)
{
    QString out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += QStringLiteral(", ");
            if (i % 25 == 1 && i > 1)
                out += u'\\';
        }
        out += QStringLiteral("%1").arg(quint8(bytes[i]), 2, 16, QChar(u'0')).toUpper();
    }
    return out;
}

bool TLisaaPoistaIkkuna::ParseBinaryText(const QString &text, QByteArray *bytes)
{
    QString digits = text;
    digits.remove(u',');
    digits.remove(u' ');
    digits.remove(u'\\');
    bytes->clear();
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2) {
        bool ok = false;
        const uint b = digits.mid(i, 2).toUInt(&ok, 16);
        if (!ok || digits.at(i) == u'+' || digits.at(i) == u'-') {
            bytes->clear();
            return false;
        }
        bytes->append(char(b));
    }
    return true;
}

void TLisaaPoistaIkkuna::ShowValue()
{
    QListWidgetItem *item = ui->Values->currentItem();
    const TAddRemoveRecord *record = SelectedRecord();
    bool shown = false;
    if (item && record && item->isSelected()) {
        TRegistry registry(record->Root, FHost.Prefix);
        const QString name = item->text();
        bool gone = true;
        if (!registry.OpenKeyReadOnly(AddRemove::OpenablePath(record->KeyPath))) {
            MessageBoxes::Error(this, LangMessage(QStringLiteral("M062LI"), QStringLiteral("Failed to open the key!")));
        } else if (!registry.ValueExists(name)) {
            MessageBoxes::Error(this, LangMessage(QStringLiteral("M061LI"), QStringLiteral("Value doesn't exist!")));
        } else {
            gone = false;
            try {
                shown = true;
                switch (registry.GetDataType(name)) {
                case TRegDataType::String:
                    ui->RegType->setCurrentIndex(TypeString);
                    ui->Properties->setText(registry.ReadString(name));
                    break;
                case TRegDataType::ExpandString:
                    ui->RegType->setCurrentIndex(TypeExpand);
                    ui->Properties->setText(registry.ReadString(name));
                    break;
                case TRegDataType::Integer:
                    ui->RegType->setCurrentIndex(TypeDword);
                    ui->Properties->setText(QString::number(qint32(registry.ReadInteger(name))));
                    break;
                case TRegDataType::Binary:
                    ui->RegType->setCurrentIndex(TypeBinary);
                    ui->Properties->setText(BinaryText(registry.ReadBinaryData(name)));
                    break;
                default:
                    // A multi-string or another type has no form here: an Update would rewrite it
                    // with the previous value's type and text.
                    shown = false;
                    break;
                }
            } catch (const ERegistryException &) {
                shown = false;
            }
        }
        if (gone) {
            FFilling = true;
            ui->Values->setCurrentItem(nullptr);
            ui->Values->clearSelection();
            FFilling = false;
        }
    }
    EnableEditor(shown);
}

void TLisaaPoistaIkkuna::PropertiesChange()
{
    ui->btnUpdate->setEnabled(ui->Properties->isModified());
}

void TLisaaPoistaIkkuna::RegTypeChange()
{
    ui->Properties->setModified(true);
    ui->btnUpdate->setEnabled(true);
}

void TLisaaPoistaIkkuna::btnUpdateClick()
{
    const TAddRemoveRecord *record = SelectedRecord();
    const QListWidgetItem *item = ui->Values->currentItem();
    if (!record || !item)
        return;
    TRegistry registry(record->Root, FHost.Prefix);
    if (!registry.OpenKey(AddRemove::OpenablePath(record->KeyPath), true)) {
        MessageBoxes::Error(this, LangMessage(QStringLiteral("M062LI"), QStringLiteral("Failed to open the key!")));
        return;
    }
    const QString name = item->text();
    const QString text = ui->Properties->text();
    bool written = false;
    QString reason;
    try {
        switch (ui->RegType->currentIndex()) {
        case TypeString:
            registry.WriteString(name, text);
            written = true;
            break;
        case TypeExpand:
            registry.WriteExpandString(name, text);
            written = true;
            break;
        case TypeDword: {
            bool ok = false;
            const QString number = text.trimmed();
            quint32 value = quint32(number.toInt(&ok));
            if (!ok)
                value = number.toUInt(&ok);
            if (ok) {
                registry.WriteInteger(name, value);
                written = true;
            } else {
                reason = QStringLiteral("\"%1\" is no decimal number of 32 bits").arg(number);
            }
            break;
        }
        case TypeBinary: {
            QByteArray bytes;
            if (ParseBinaryText(text, &bytes)) {
                registry.WriteBinaryData(name, bytes);
                written = true;
            } else {
                reason = QStringLiteral("\"%1\" is no list of hexadecimal bytes").arg(text);
            }
            break;
        }
        default:
            break;
        }
    } catch (const ERegistryException &e) {
        written = false;
        reason = e.Message();
    }
    if (!written) {
        // The edit stays as typed and "Update" stays on: nothing was written.
        MessageBoxes::Error(this, LangMessage(QStringLiteral("M063LI"), QStringLiteral("Invalid data or write error!"))
                                      + (reason.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + reason));
        return;
    }
    registry.CloseKey();
    ui->btnUpdate->setEnabled(false);
    ui->Properties->setModified(false);
}

// ---- buttons

void TLisaaPoistaIkkuna::btnPrintClick()
{
    QPrinter printer;
    if (!Listing::RunPrintDialog(this, printer))
        return;
    PrintListView(ui->FileList, QStringLiteral("Add/remove program listing"), printer, this);
}

void TLisaaPoistaIkkuna::btnSaveClick()
{
    const QString file = Listing::RunSaveDialog(this);
    if (!file.isEmpty())
        SaveListViewHtml(ui->FileList, file, QStringLiteral("Add/remove program listing"), this);
}

void TLisaaPoistaIkkuna::btnCloseClick()
{
    close();
}

void TLisaaPoistaIkkuna::btnUninstallClick()
{
    const TAddRemoveRecord *record = SelectedRecord();
    if (!record || FScanning)
        return;
    const bool confirm = FHost.Settings ? FHost.Settings->FAddRemoveConfirm : true;
    if (confirm && !MessageBoxes::Confirm(this, SafeFormat(LangMessage(QStringLiteral("M057LI"),
                                                                         QStringLiteral("Are you sure you want to uninstall \"%s\"?")),
                                                             record->Name)))
        return;
    const QString wine = FHost.FindWine ? FHost.FindWine() : QString();
    if (wine.isEmpty()) {
        MessageBoxes::Error(this, SafeFormat(LangMessage(QStringLiteral("M064LI"),
                                                         QStringLiteral("Wine is not installed! Vaskimo runs the uninstaller "
                                                                        "of \"%s\" with the program \"wine\": install Wine and try again.")),
                                             record->Name));
        return;
    }
    const std::shared_ptr<TWinePrefix> prefix = FHost.Prefix ? FHost.Prefix : TWinePrefix::Current();
    // Wine would say so only on standard error, which a desktop user never sees.
    if (const QString missing = AddRemove::MissingProgram(record->UninstallString, prefix); !missing.isEmpty()) {
        MessageBoxes::Error(this, SafeFormat(LangMessage(QStringLiteral("M066LI"),
                                                         QStringLiteral("The uninstaller of \"%s\" is missing: \"%s\" is not "
                                                                        "there. The program may be gone already: delete its "
                                                                        "entry instead.")),
                                             record->Name, missing));
        return;
    }
    const QStringList arguments = AddRemove::WineArguments(record->UninstallString, prefix);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (prefix)
        environment.insert(QStringLiteral("WINEPREFIX"), prefix->Folder());
    if (arguments.isEmpty() || !FHost.StartProcess(wine, arguments, environment))
        MessageBoxes::Error(this, SafeFormat(LangMessage(QStringLiteral("M065LI"),
                                                         QStringLiteral("Vaskimo failed to start the uninstaller of \"%s\"!")),
                                             record->Name));
}

QString TLisaaPoistaIkkuna::UndoFolderHost() const
{
    return UndoFiles::UndoFolderHost(FHost.Settings ? FHost.Settings->FAddRemoveUndoDir : QString(), FHost.ProgramFolder,
                                     FHost.Prefix);
}

void TLisaaPoistaIkkuna::btnDeleteClick()
{
    const int row = SelectedRow();
    if (row < 0 || FScanning)
        return;
    TAddRemoveRecord *record = FRecords.at(row);
    const bool confirm = FHost.Settings ? FHost.Settings->FAddRemoveConfirm : true;
    if (confirm && !MessageBoxes::Confirm(this, SafeFormat(LangMessage(QStringLiteral("M058LI"),
                                                                         QStringLiteral("Are you sure you want to delete \"%s\"'s entries?")),
                                                             record->Name)))
        return;
    UndoFiles::TUndoPlan undo;
    undo.Write = FHost.Settings ? FHost.Settings->FAddRemoveUndo : true;
    undo.FolderHost = undo.Write ? UndoFolderHost() : QString();
    undo.UniqueName = FHost.UniqueFileName;
    undo.Header = FHost.UndoHeader;
    const AddRemove::TDeleteOutcome outcome = AddRemove::DeleteEntry(*record, undo, FHost.Prefix);
    if (outcome.Result == AddRemove::TDeleteResult::UndoFailed) {
        QString text = SafeFormat(LangMessage(QStringLiteral("M059LI"),
                                              QStringLiteral("Failed to write the undo-file (%s)! Nothing will be deleted!")),
                                  QDir::toNativeSeparators(outcome.UndoFile));
        if (!outcome.Reason.isEmpty())
            text += QStringLiteral("\r\n\r\n") + outcome.Reason;
        MessageBoxes::Error(this, text);
        return;
    }
    if (outcome.Result == AddRemove::TDeleteResult::NotDeleted) {
        MessageBoxes::Error(this, UndoFiles::RegistryDeleteFailedText(record->Name, outcome.Reason));
        return;
    }
    FModel->Reset([&] {
        FRecords.removeAt(row);
        delete record;
    });
    FileListSelectItem();
}

void RegisterAddRemove()
{
    TPaaIkkuna::RegisterTool(TToolKind::AddRemove, [](QWidget *parent) -> QDialog * { return new TLisaaPoistaIkkuna(parent); });
}
