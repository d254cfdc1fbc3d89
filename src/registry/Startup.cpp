// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the startup manager window: three scanners, a category tree over the found entries, sorting and deleting.
#include "registry/Startup.h"
#include "registry/UndoFiles.h"

#include "platform/DriveMap.h"
#include "platform/IniFile.h"
#include "platform/WinEnvironment.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"
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
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeDatabase>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const QString Section = QStringLiteral("Startup");
// Wider than designed for Windows' 8-point font: the tree and all five columns need it here.
constexpr int DefaultWidth = 800, DefaultHeight = 563;
constexpr int ScannerCount = 3;
constexpr int MissingImage = 13;

// Parent of each category node, in the tree's own order.
constexpr int ParentOf[TStartupIkkuna::CategoryCount] = {-1, 0, 1, 1, 0, 4, 5, 5, 4, 8, 8, 0};

QIcon PaintedIcon(const std::function<void(QPainter &)> &paint)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    return QIcon(pixmap);
}

QString HostOf(const QString &path, const std::shared_ptr<TWinePrefix> &prefix)
{
    if (path.startsWith(u'/'))
        return path;
    const TPathMapping m = WinFiles::DrivesOf(prefix).ToHost(path);
    return m.State == TPathState::Resolved || m.State == TPathState::Missing ? m.HostPath : QString();
}
}

// ---- model

TStartupModel::TStartupModel(QList<TStartupRecord *> *records, const QList<QIcon> *images, QObject *parent)
    : TReportModel({QStringLiteral("Program"), QStringLiteral("File"), QStringLiteral("Physical location"),
                    QStringLiteral("Value"), QStringLiteral("Data")},
                   0, parent),
      FRecords(records), FImages(images)
{
}

int TStartupModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FRecords->size());
}

QVariant TStartupModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= FRecords->size())
        return {};
    const TStartupRecord &r = *FRecords->at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case 0: return r.Description;
        case 1: return r.Path;
        case 2: return r.Location;
        case 3: return r.ValueName;
        case 4: return r.Data;
        }
        return {};
    case Qt::DecorationRole: {
        const int image = index.column() == 0 ? r.IconIndex : index.column() == 1 ? r.State : -1;
        if (image >= 0 && image < FImages->size())
            return FImages->at(image);
        return {};
    }
    case Qt::UserRole:  // the image index, for tests and listings
        return index.column() == 0 ? r.IconIndex : index.column() == 1 ? r.State : -1;
    case Qt::BackgroundRole:
        return SortColumnBackground(index.column());
    default:
        return {};
    }
}

// ---- host

TStartupHost TStartupHost::FromMainWindow()
{
    TStartupHost host;
    TPaaIkkuna *main = PaaIkkuna;
    if (!main)
        return host;
    host.ProgramFolder = main->ProgramFolder();
    host.Settings = &main->Settings();
    host.UndoHeader = [main] { return main->UndoHeader(); };
    host.UniqueFileName = [main](const QString &folder, const QString &name) { return main->UniqueFileName(folder, name); };
    host.DeleteFiles = [main](const QStringList &files, bool permanent, std::function<void(bool)> onDone) {
        main->DeleteFilesThreaded(files, permanent, std::move(onDone));
    };
    host.Closed = [main] { main->FStartupOpen = false; };
    return host;
}

// ---- window

TStartupIkkuna::TStartupIkkuna(QWidget *parent, TStartupHost host)
    : TToolWindow(parent, {.Section = Section,
                           .Size = TSizeKeys::Always,
                           .SortColumn = 0,
                           .LastSortColumn = 4,
                           .Look = host.Settings,
                           .MinimizesWithMain = true}),
      FHost(std::move(host))
{
    setObjectName(QStringLiteral("StartupIkkuna"));
    setProperty("HelpContext", 16);
    setWindowTitle(QStringLiteral("Startup inspector"));
    FCollator.setCaseSensitivity(Qt::CaseInsensitive);
    if (!FHost.UndoDateTime) {
        FHost.UndoDateTime = [] {
            const TUserLocale locale = TUserLocale::FromRegistry();
            const QDateTime now = QDateTime::currentDateTime();
            return qMakePair(locale.Date(now.date()), locale.Time(now.time()));
        };
    }
    if (!FHost.UniqueFileName)
        FHost.UniqueFileName = [](const QString &folder, const QString &name) { return folder + name; };
    BuildImages();

    auto *layout = new QVBoxLayout(this);
    FSplitter = new QSplitter(Qt::Horizontal, this);
    FCategories = new QTreeWidget(FSplitter);
    FCategories->setObjectName(QStringLiteral("trvCategories"));
    FCategories->setHeaderHidden(true);
    FCategories->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FFileList = new QTreeView(FSplitter);
    FFileList->setObjectName(QStringLiteral("FileList"));
    FFileList->setRootIsDecorated(false);
    FFileList->setUniformRowHeights(true);
    FFileList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FFileList->setSelectionMode(QAbstractItemView::SingleSelection);
    FFileList->setToolTip(QStringLiteral("GREEN (v) = file does exist, YELLOW (-) = entry is suspicious or too difficult "
                                         "to interpret, RED (x) = file doesn't exist"));
    FModel = new TStartupModel(&FVisible, &FImages, this);
    FFileList->setModel(FModel);
    FFileList->header()->setSectionsClickable(true);
    FFileList->header()->setSortIndicatorShown(true);
    FFileList->header()->setStretchLastSection(true);
    FSplitter->setStretchFactor(1, 1);
    layout->addWidget(FSplitter, 1);

    auto *buttons = new QHBoxLayout;
    auto makeButton = [this, buttons](const char *name, const char *caption, const char *hint) {
        auto *button = new TOVBitBtn(QString::fromLatin1(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(QString::fromLatin1(hint));
        button->setAutoDefault(false);
        buttons->addWidget(button);
        return button;
    };
    btnFind = makeButton("btnFind", "&Find", "List programs starting at startup (ENTER)");
    btnStop = makeButton("btnStop", "S&top", "Stop");
    btnDelete = makeButton("btnDelete", "&Delete", "Delete selected");
    btnPrint = makeButton("btnPrint", "&Print", "Print the list");
    btnSave = makeButton("btnSave", "&Save", "Save the list");
    buttons->addStretch(1);
    btnClose = makeButton("btnClose", "&Close", "Close (ESC)");
    btnFind->setDefault(true);
    btnClose->SetCancel(true);
    layout->addLayout(buttons);

    FStatusBar = new QStatusBar(this);
    FStatusBar->setObjectName(QStringLiteral("StatusBar"));
    FStatusBar->setSizeGripEnabled(false);
    FBar = new QProgressBar(FStatusBar);
    FBar->setTextVisible(false);
    FBar->setMaximumHeight(FStatusBar->sizeHint().height() - 2);
    FBar->hide();
    FStatusBar->addWidget(FBar, 1);
    FStatusLabel = new QLabel(FStatusBar);
    FStatusLabel->setObjectName(QStringLiteral("StatusText"));
    FStatusBar->addWidget(FStatusLabel, 1);
    layout->addWidget(FStatusBar);

    connect(btnFind, &QPushButton::clicked, this, &TStartupIkkuna::btnFindClick);
    connect(btnStop, &QPushButton::clicked, this, &TStartupIkkuna::btnStopClick);
    connect(btnDelete, &QPushButton::clicked, this, &TStartupIkkuna::btnDeleteClick);
    connect(btnPrint, &QPushButton::clicked, this, &TStartupIkkuna::btnPrintClick);
    connect(btnSave, &QPushButton::clicked, this, &TStartupIkkuna::btnSaveClick);
    connect(btnClose, &QPushButton::clicked, this, &TStartupIkkuna::btnCloseClick);
    connect(FFileList->header(), &QHeaderView::sectionClicked, this, &TStartupIkkuna::FileListColumnClick);
    connect(FFileList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TStartupIkkuna::UpdateButtons);
    connect(FModel, &QAbstractItemModel::modelReset, this, &TStartupIkkuna::UpdateButtons);
    connect(FCategories, &QTreeWidget::currentItemChanged, this, &TStartupIkkuna::trvCategoriesChange);

    FPrintDialog = [](QWidget *owner, QPrinter &printer) { return Listing::RunPrintDialog(owner, printer); };
    FSaveDialog = [](QWidget *owner) { return Listing::RunSaveDialog(owner); };

    resize(DefaultWidth, DefaultHeight);
    ReadSection(FHost.ProgramFolder);
    ShowSort(FFileList, FModel);

    const TWinEnvironment environment(FHost.Prefix);
    FWindowsFolder = environment.WindowsFolder();
    FSystemFolder = environment.SystemFolder();
    FResolver = std::make_unique<TStartupResolver>(FWindowsFolder, FSystemFolder, FHost.Prefix);
    BuildStartupLocations(&FLocations, FWindowsFolder, FHost.Prefix);
    BuildTree();
    UpdateButtons();
}

TStartupIkkuna::~TStartupIkkuna()
{
    // No scanner outlives its window.
    TSharedThd::StopAndWaitFor(this);
    FThreads.clear();
    WriteSection(FHost.ProgramFolder);
    FModel->Reset([this] { FVisible.clear(); });
    for (TCategoryData &category : FCategoryData)
        TPaaIkkuna::FreeRecordList(&category.Items);
}

TOVBitBtn *TStartupIkkuna::Button(const QString &objectName) const
{
    return findChild<TOVBitBtn *>(objectName);
}

QString TStartupIkkuna::StatusText() const
{
    return FStatusLabel->text();
}

void TStartupIkkuna::BuildImages()
{
    QStyle *s = style();
    auto arrow = [](bool up) {
        return PaintedIcon([up](QPainter &p) {
            p.setBrush(Qt::gray);
            p.setPen(Qt::NoPen);
            const QPolygon triangle = up ? QPolygon({QPoint(8, 4), QPoint(13, 11), QPoint(3, 11)})
                                         : QPolygon({QPoint(3, 5), QPoint(13, 5), QPoint(8, 12)});
            p.drawPolygon(triangle);
        });
    };
    FImages = {
        arrow(false),  // 0 backward
        arrow(true),   // 1 forward
        PaintedIcon([](QPainter &p) {  // 2 green tick
            p.setPen(QPen(QColor(0, 160, 0), 2.5));
            p.drawPolyline(QPolygon({QPoint(3, 8), QPoint(7, 12), QPoint(13, 3)}));
        }),
        PaintedIcon([](QPainter &p) {  // 3 yellow dash
            p.setPen(QPen(QColor(220, 180, 0), 3));
            p.drawLine(3, 8, 13, 8);
        }),
        PaintedIcon([](QPainter &p) {  // 4 red cross
            p.setPen(QPen(QColor(200, 0, 0), 2.5));
            p.drawLine(3, 3, 13, 13);
            p.drawLine(13, 3, 3, 13);
        }),
        s->standardIcon(QStyle::SP_MediaPlay),          // 5 run always
        s->standardIcon(QStyle::SP_MediaSkipForward),   // 6 run once
        s->standardIcon(QStyle::SP_FileIcon),           // 7 INI files
        s->standardIcon(QStyle::SP_DriveHDIcon),        // 8 registry
        s->standardIcon(QStyle::SP_DirIcon),            // 9 start menu
        s->standardIcon(QStyle::SP_ComputerIcon),       // 10 all programs
        s->standardIcon(QStyle::SP_DirHomeIcon),        // 11 all users
        s->standardIcon(QStyle::SP_DesktopIcon),        // 12 current user
        s->standardIcon(QStyle::SP_MessageBoxWarning),  // 13 missing file
    };
}

void TStartupIkkuna::BuildTree()
{
    const struct {
        const char *Text;
        int Image;
    } nodes[CategoryCount] = {{"All programs", 10}, {"Start menu", 9}, {"Current user", 12}, {"All users", 11},
                              {"Registry", 8},      {"Current user", 12}, {"Run always", 5}, {"Run once", 6},
                              {"All users", 11},    {"Run always", 5},  {"Run once", 6},     {"Ini files", 7}};
    for (int i = 0; i < CategoryCount; ++i) {
        QTreeWidgetItem *item = ParentOf[i] < 0 ? new QTreeWidgetItem(FCategories) : new QTreeWidgetItem(FNodes[ParentOf[i]]);
        item->setText(0, QString::fromLatin1(nodes[i].Text));
        item->setIcon(0, FImages.at(nodes[i].Image));
        item->setData(0, Qt::UserRole, i);
        FNodes[i] = item;
    }
    FCategories->expandAll();
    RepaintTree();
}

void TStartupIkkuna::FitCategories()
{
    // The tree takes what its captions need, in the language and font shown; the list the rest.
    int tree = static_cast<const QAbstractItemView *>(FCategories)->sizeHintForColumn(0) + 2 * FCategories->frameWidth();
    if (FCategories->visualItemRect(FNodes[CategoryCount - 1]).bottom() >= FCategories->viewport()->height())
        tree += FCategories->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, FCategories);
    const int all = FSplitter->width() - FSplitter->handleWidth();
    if (tree < all / 2)
        FSplitter->setSizes({tree, all - tree});
}

void TStartupIkkuna::showEvent(QShowEvent *event)
{
    TToolWindow::showEvent(event);
    const TSettings *settings = FHost.Settings;
    if (FFirstShow) {
        FFirstShow = false;
        if (settings)
            TranslateWindow(this, settings->FLanguageIndex, settings->FLanguage, FHost.ProgramFolder);
        else
            TranslateForms(this);
        FitCategories();
        QMetaObject::invokeMethod(this, &TStartupIkkuna::btnFindClick, Qt::QueuedConnection);
    }
}

bool TStartupIkkuna::SearchRunning() const { return btnStop->isEnabled(); }

void TStartupIkkuna::Closing()
{
    if (FHost.Closed)
        FHost.Closed();
}

void TStartupIkkuna::btnCloseClick()
{
    close();
}

// ---- scanning

void TStartupIkkuna::UpdateButtons()
{
    const bool rows = !FVisible.isEmpty();
    const bool selected = FFileList->selectionModel() && FFileList->selectionModel()->hasSelection();
    btnFind->setEnabled(!FScanning);
    btnStop->setEnabled(FScanning);
    btnDelete->setEnabled(selected && !FScanning);
    btnPrint->setEnabled(rows && !FScanning);
    btnSave->setEnabled(rows && !FScanning);
    if (FScanning) {
        FStatusLabel->hide();
        FBar->setValue(0);
        FBar->show();
    } else {
        FBar->hide();
        FStatusLabel->show();
    }
}

void TStartupIkkuna::ClearCategories()
{
    FModel->Reset([this] { FVisible.clear(); });
    for (TCategoryData &category : FCategoryData) {
        category.HasEntries = false;
        TPaaIkkuna::FreeRecordList(&category.Items);
    }
}

void TStartupIkkuna::btnFindClick()
{
    if (FScanning)
        return;
    FScanning = true;
    ClearCategories();
    RepaintTree();
    UpdateButtons();
    FBar->setRange(0, 0);
    FBar->setValue(0);
    FBar->setToolTip(QString());
    FReported = 0;
    FRunning = 0;
    FThreads.clear();

    auto found = [this](const QString &item, const QString &location, const QString &valueName, const QString &data,
                        quint8 kind, int category, QChar delimiter) {
        AddStartupItem(item, location, valueName, data, kind, category, delimiter);
    };
    auto progress = [this](int position, int total) { ScanProgress(position, total); };
    auto total = [this](int t) { ScanTotal(t); };
    const quint8 modes[ScannerCount] = {0, 2, 3};
    for (quint8 mode : modes) {
        auto *scanner = new TStartupInspector(this, mode, found, progress, total, FLocations.Folders, FLocations.Registry,
                                              FLocations.Ini, FHost.Prefix);
        scanner->SetOnTerminate([this](TSharedThd *sender) { ScanDone(sender); });
        FThreads.append(scanner);
        ++FRunning;
        scanner->Resume();
    }
}

void TStartupIkkuna::btnStopClick()
{
    for (TStartupInspector *scanner : std::as_const(FThreads))
        scanner->Terminate();
}

void TStartupIkkuna::ScanProgress(int position, int /*total*/)
{
    FBar->setValue(FBar->value() + 1);
    FBar->setToolTip(SafeFormat(LangMessage(QStringLiteral("M049RI"), QStringLiteral("%d of %d")), TFormatArg::Count(position), TFormatArg::Count(FBar->maximum())));
}

void TStartupIkkuna::ScanTotal(int total)
{
    ++FReported;
    FBar->setMaximum(FBar->maximum() + total);
}

void TStartupIkkuna::ScanDone(TSharedThd *sender)
{
    FThreads.removeAll(static_cast<TStartupInspector *>(sender));
    if (--FRunning > 0)
        return;
    FScanning = false;
    const int selected = SelectedCategory();
    if (selected >= 0)
        ShowCategory(selected);
    else
        FCategories->setCurrentItem(FNodes[0]);  // its change handler shows it
    RepaintTree();
    UpdateButtons();
}

int TStartupIkkuna::IconFor(const QString &path)
{
    const QString host = HostOf(path, FHost.Prefix);
    static QFileIconProvider provider;
    const QFileInfo info(host);
    const QString ext = info.isFile() && !info.suffix().isEmpty() ? u'.' + info.suffix().toLower() : QString();
    if (ext == u".exe" || ext == u".ico" || ext == u".cur" || ext == u".lnk") {
        FImages.append(provider.icon(info));
        return int(FImages.size()) - 1;
    }
    static QMimeDatabase mimes;
    const QString key = mimes.mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment() + u' ' + ext;
    const auto at = std::lower_bound(FIconKeys.cbegin(), FIconKeys.cend(), key,
                                     [this](const QString &a, const QString &b) { return FCollator.compare(a, b) < 0; });
    const qsizetype position = at - FIconKeys.cbegin();
    if (at != FIconKeys.cend() && FCollator.compare(*at, key) == 0)
        return FIconIndexes.at(position);
    FImages.append(provider.icon(info));
    FIconKeys.insert(position, key);
    FIconIndexes.insert(position, int(FImages.size()) - 1);
    return int(FImages.size()) - 1;
}

void TStartupIkkuna::AddStartupItem(const QString &item, const QString &location, const QString &valueName,
                                    const QString &data, quint8 kind, int categoryIndex, QChar delimiter)
{
    if (categoryIndex < 0 || categoryIndex >= CategoryCount)
        return;
    const TStartupCommand command = FResolver->Resolve(item, valueName, kind);
    auto *record = new TStartupRecord;
    record->Description = command.Description;
    record->Path = command.Path;
    record->Location = location;
    record->ValueName = valueName;
    record->Data = data;
    record->Item = item;
    record->State = command.State;
    record->Delimiter = delimiter;
    record->Kind = kind;
    record->IconIndex = command.Exists ? IconFor(command.Path) : MissingImage;

    FCategoryData[categoryIndex].Items.append(record);
    for (int node = categoryIndex; node >= 0; node = ParentOf[node])
        FCategoryData[node].HasEntries = true;
}

// ---- categories

int TStartupIkkuna::SelectedCategory() const
{
    const QTreeWidgetItem *item = FCategories->currentItem();
    return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

void TStartupIkkuna::trvCategoriesChange()
{
    const int selected = SelectedCategory();
    if (selected >= 0)
        ShowCategory(selected);
}

void TStartupIkkuna::ShowCategory(int index)
{
    FModel->Reset([&] {
        FVisible.clear();
        // The node itself, then the nodes below it in tree order (indexes are in that order).
        for (int node = index; node < CategoryCount; ++node) {
            bool below = node == index;
            for (int up = ParentOf[node]; up >= 0 && !below; up = ParentOf[up])
                below = up == index;
            if (!below)
                continue;
            const QList<TStartupRecord *> &items = FCategoryData[node].Items;
            for (qsizetype i = items.size() - 1; i >= 0; --i)
                FVisible.append(items.at(i));
        }
        std::stable_sort(FVisible.begin(), FVisible.end(), [this](const TStartupRecord *a, const TStartupRecord *b) {
            return CompareRecords(*a, *b) < 0;
        });
    });
    ReportColumns::Fit(FFileList);
    ShowCount();
}

void TStartupIkkuna::ShowCount()
{
    FStatusLabel->setText(SafeFormat(LangMessage(QStringLiteral("M140SU"), QStringLiteral("Startup entries in this category: %d")),
                                     TFormatArg::Count(FVisible.size())));
}

void TStartupIkkuna::RepaintTree()
{
    const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
    for (int i = 0; i < CategoryCount; ++i)
        FNodes[i]->setForeground(0, FCategoryData[i].HasEntries ? palette().brush(QPalette::Text) : grey);
}

void TStartupIkkuna::RemoveRecord(TStartupRecord *record)
{
    FModel->Reset([&] { FVisible.removeOne(record); });
    for (TCategoryData &category : FCategoryData)
        category.Items.removeOne(record);
    // Entries live only in leaves; a node has entries when it or a node below it holds one.
    for (int node = CategoryCount - 1; node >= 0; --node)
        FCategoryData[node].HasEntries = !FCategoryData[node].Items.isEmpty();
    for (int node = CategoryCount - 1; node > 0; --node)
        if (FCategoryData[node].HasEntries)
            FCategoryData[ParentOf[node]].HasEntries = true;
    RepaintTree();
    delete record;
    ShowCount();
}

// ---- sorting

int TStartupIkkuna::CompareRecords(const TStartupRecord &a, const TStartupRecord &b) const
{
    int result = 0;
    switch (FSortColumn) {
    case 0: result = FCollator.compare(a.Description, b.Description); break;
    case 1: result = FCollator.compare(a.Path, b.Path); break;
    case 2: result = FCollator.compare(a.Location, b.Location); break;
    case 3: result = FCollator.compare(a.ValueName, b.ValueName); break;
    default: result = FCollator.compare(a.Data, b.Data); break;
    }
    return FSortForward ? result : -result;
}

void TStartupIkkuna::SortVisible()
{
    FModel->Reset([this] {
        std::stable_sort(FVisible.begin(), FVisible.end(), [this](const TStartupRecord *a, const TStartupRecord *b) {
            return CompareRecords(*a, *b) < 0;
        });
    });
}

void TStartupIkkuna::FileListColumnClick(int column)
{
    TurnSort(column);
    ShowSort(FFileList, FModel);
    SortVisible();
}

// ---- print and save

void TStartupIkkuna::btnPrintClick()
{
    QPrinter printer;
    if (!FPrintDialog || !FPrintDialog(this, printer))
        return;
    PrintListView(FFileList, QStringLiteral("Startup listing"), printer, this);
}

void TStartupIkkuna::btnSaveClick()
{
    const QString file = FSaveDialog ? FSaveDialog(this) : QString();
    if (file.isEmpty())
        return;
    SaveListViewHtml(FFileList, file, QStringLiteral("Startup listing"), this);
}

// ---- delete

QString TStartupIkkuna::UndoFolderHost() const
{
    return UndoFiles::UndoFolderHost(FHost.Settings ? FHost.Settings->FStartupUndoDir : QString(), FHost.ProgramFolder,
                                     FHost.Prefix);
}

void TStartupIkkuna::btnDeleteClick()
{
    if (FScanning)
        return;
    const QModelIndexList rows = FFileList->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.first().row() >= FVisible.size())
        return;
    TStartupRecord *record = FVisible.at(rows.first().row());
    const TSettings *settings = FHost.Settings;
    const bool confirm = settings ? settings->FStartupConfirm : true;
    const bool undo = settings ? settings->FStartupUndo : true;
    if (confirm && !MessageBoxes::Confirm(this, SafeFormat(LangMessage(QStringLiteral("M097SI"),
                                                                       QStringLiteral("Are you sure you want to delete %s?")),
                                                           record->Description)))
        return;

    const auto registryFailed = [this, record](const QString &reason) {
        MessageBoxes::Error(this, UndoFiles::RegistryDeleteFailedText(record->Description, reason));
    };
    // The system's reason goes under the message: "in use" is a guess, "No space left" is not.
    const auto withReason = [](QString text, const QString &reason) {
        if (!reason.isEmpty())
            text += QStringLiteral("\r\n\r\n") + reason;
        return text;
    };
    const auto fileFailed = [this, record, withReason](const QString &reason) {
        MessageBoxes::Error(this, withReason(SafeFormat(LangMessage(QStringLiteral("M114SU"),
                                                                    QStringLiteral("Vaskimo failed to delete the selected file %s! File maybe in use.")),
                                                        record->Location),
                                             reason));
    };
    const auto undoFailed = [this, withReason](const QString &file, const QString &reason) {
        MessageBoxes::Error(this, withReason(SafeFormat(LangMessage(QStringLiteral("M059LI"),
                                                                    QStringLiteral("Failed to write the undo-file (%s)! Nothing will be deleted!")),
                                                        QDir::toNativeSeparators(file)),
                                             reason.isEmpty() ? QString() : QStringLiteral("Cannot save \"%1\": %2").arg(file, reason)));
    };
    // As the registry cleaner says it for the same case.
    const auto undoLossy = [this] {
        MessageBoxes::Error(this, SafeFormat(LangMessage(QStringLiteral("M137RI"),
                                                         QStringLiteral("%d entries were not deleted: their undo data holds "
                                                                        "characters that the undo file cannot store!")),
                                             1));
    };

    const QPair<QString, QString> when = FHost.UndoDateTime();
    StartupDelete::TRecordDelete how;
    how.Undo.Write = undo;
    how.Undo.FolderHost = undo ? UndoFolderHost() : QString();
    how.Undo.UniqueName = FHost.UniqueFileName;
    how.Undo.Header = FHost.UndoHeader;
    how.Date = when.first;
    how.Time = when.second;
    how.Permanent = settings ? !settings->FStartupRecycle : false;
    how.DeleteFiles = FHost.DeleteFiles;
    how.Prefix = FHost.Prefix;
    StartupDelete::DeleteRecord(*record, how, [=, this](const StartupDelete::TOutcome &outcome, const QString &undoFile) {
        using StartupDelete::TResult;
        switch (outcome.Result) {
        case TResult::Deleted: RemoveRecord(record); break;
        case TResult::KeyNotOpened:
            MessageBoxes::Error(this, LangMessage(QStringLiteral("M062LI"), QStringLiteral("Failed to open the key!")));
            break;
        case TResult::UndoFailed: undoFailed(undoFile, outcome.Reason); break;
        case TResult::UndoLossy: undoLossy(); break;
        case TResult::NotDeleted: registryFailed(outcome.Reason); break;
        case TResult::IniFailed:
        case TResult::FileKept: fileFailed(outcome.Reason); break;
        }
    });
    UpdateButtons();
}

void RegisterStartupManager()
{
    TPaaIkkuna::RegisterTool(TToolKind::Startup, [](QWidget *parent) -> QDialog * { return new TStartupIkkuna(parent); });
}
