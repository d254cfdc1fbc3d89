// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the undo manager window: tree of undo files, entry list with states, restore, delete, listing.
#include "Undo.h"

#include "ui_Undo.h"

#include "platform/IniFile.h"
#include "shell/BackgroundJob.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/Listing.h"
#include "shell/Main.h"
#include "shell/MessageBoxes.h"
#include "shell/ReportColumns.h"
#include "shell/SafeFormat.h"
#include "shell/Services.h"
#include "shell/Settings.h"
#include "shell/SettingsUi.h"
#include "shell/ToolWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QItemSelectionModel>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <algorithm>

namespace {
const QString Section = QStringLiteral("Undo");
constexpr int PathRole = Qt::UserRole;
constexpr int KindRole = Qt::UserRole + 1;

QIcon StateIcon(const QColor &colour, const QString &mark)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colour.darker(150));
    painter.setBrush(colour);
    painter.drawEllipse(1, 1, 14, 14);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, mark);
    return QIcon(pixmap);
}
}

// ---- model

TUndoModel::TUndoModel(QList<TUndoEntry *> *entries, QObject *parent)
    : TReportModel({QStringLiteral("Root/Source file"), QStringLiteral("Registry key/Section"), QStringLiteral("Name"),
                    QStringLiteral("Data")},
                   3, parent),
      FEntries(entries)
{
    FStateIcons[0] = StateIcon(QColor(0x30, 0xC0, 0x30), QStringLiteral("v"));
    FStateIcons[1] = StateIcon(QColor(0xF0, 0xD0, 0x20), QStringLiteral("-"));
    FStateIcons[2] = StateIcon(QColor(0xE0, 0x30, 0x30), QStringLiteral("x"));
}

int TUndoModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FEntries->size());
}

QVariant TUndoModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= FEntries->size())
        return {};
    const TUndoEntry &e = *FEntries->at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case 0: return e.Root;
        case 1: return e.Key;
        case 2: return e.ValueName;
        case 3: return e.Data;
        }
        return {};
    case Qt::DecorationRole:
        if (index.column() == 0 && e.State >= 2 && e.State <= 4)
            return FStateIcons[e.State - 2];
        return {};
    case Qt::BackgroundRole:
        return SortColumnBackground(index.column());
    default:
        return {};
    }
}

void TUndoModel::Repaint()
{
    if (!FEntries->isEmpty())
        emit dataChanged(index(0, 0), index(int(FEntries->size()) - 1, 3));
}

// ---- host

TUndoHost TUndoHost::FromMainWindow()
{
    TUndoHost host;
    TPaaIkkuna *main = PaaIkkuna;
    if (!main)
        return host;
    host.ProgramFolder = main->ProgramFolder();
    host.Settings = &main->Settings();
    host.ListFiles = [main](const QString &folder, const QString &mask) { return main->ListFiles(folder, mask, false, false); };
    host.HostPath = [](const QString &path) { return Services::HostPath(path); };
    host.Closed = [main] { main->FUndoOpen = false; };
    return host;
}

// ---- window

TUndoIkkuna::TUndoIkkuna(QWidget *parent, TUndoHost host)
    : TToolWindow(parent, {.Section = Section,
                           .SortColumn = 3,
                           .LastSortColumn = 3,
                           .Look = host.Settings,
                           .SearchClose = TSearchClose::StopsAndCloses}),
      ui(std::make_unique<Ui::TUndoIkkuna>()), FHost(std::move(host))
{
    ui->setupUi(this);
    setProperty("HelpContext", 17);
    if (!FHost.HostPath) {
        const std::shared_ptr<TWinePrefix> prefix = FHost.Prefix;
        FHost.HostPath = [prefix](const QString &path) { return UndoManager::HostPathIn(path, prefix); };
    }
    FModel = new TUndoModel(&FEntries, this);
    ui->EntryList->setModel(FModel);
    ui->EntryList->header()->setSectionsClickable(true);
    ui->EntryList->header()->setSortIndicatorShown(true);
    ui->EntryList->header()->setStretchLastSection(true);
    ui->Splitter->setStretchFactor(0, 1);
    ui->Splitter->setStretchFactor(1, 3);
    ui->Splitter->setSizes({200, 640});
    ui->PuuNakyy->setTextElideMode(Qt::ElideLeft);
    ReportColumns::Fit(ui->EntryList);

    FStatusLabel = new QLabel(ui->StatusBar);
    FStatusLabel->setObjectName(QStringLiteral("StatusText"));
    FBar = new QProgressBar(ui->StatusBar);
    FBar->setTextVisible(false);
    FBar->setMaximumHeight(ui->StatusBar->sizeHint().height() - 2);
    FBar->hide();
    ui->StatusBar->addWidget(FBar, 1);
    ui->StatusBar->addWidget(FStatusLabel, 1);

    connect(ui->btnUndo, &QPushButton::clicked, this, &TUndoIkkuna::btnUndoClick);
    connect(ui->btnUndoAll, &QPushButton::clicked, this, &TUndoIkkuna::btnUndoAllClick);
    connect(ui->btnRefresh, &QPushButton::clicked, this, &TUndoIkkuna::btnRefreshClick);
    connect(ui->btnStop, &QPushButton::clicked, this, &TUndoIkkuna::btnStopClick);
    connect(ui->btnSelectAll, &QPushButton::clicked, this, &TUndoIkkuna::btnSelectAllClick);
    connect(ui->btnPrint, &QPushButton::clicked, this, &TUndoIkkuna::btnPrintClick);
    connect(ui->btnSave, &QPushButton::clicked, this, &TUndoIkkuna::btnSaveClick);
    connect(ui->btnDelete, &QPushButton::clicked, this, &TUndoIkkuna::btnDeleteClick);
    connect(ui->btnClose, &QPushButton::clicked, this, &TUndoIkkuna::btnCloseClick);
    connect(ui->PuuNakyy, &QTreeWidget::itemSelectionChanged, this, &TUndoIkkuna::PuuNakyyChange);
    connect(ui->EntryList->header(), &QHeaderView::sectionClicked, this, &TUndoIkkuna::EntryListColumnClick);
    connect(ui->EntryList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TUndoIkkuna::UpdateButtons);
    connect(FModel, &QAbstractItemModel::modelReset, this, &TUndoIkkuna::UpdateButtons);

    ReadSection(FHost.ProgramFolder);
    ShowSort(ui->EntryList, FModel);
    UpdateButtons();
}

TUndoIkkuna::~TUndoIkkuna()
{
    TSharedThd::StopAndWaitFor(this);
    FLoader = nullptr;
    FSorter = nullptr;
    WriteSection(FHost.ProgramFolder);
    FreeEntries();
}

QTreeWidget *TUndoIkkuna::PuuNakyy() const { return ui->PuuNakyy; }
QTreeView *TUndoIkkuna::EntryList() const { return ui->EntryList; }
QString TUndoIkkuna::StatusText() const { return FStatusLabel->text(); }

TOVBitBtn *TUndoIkkuna::Button(const QString &objectName) const
{
    return findChild<TOVBitBtn *>(objectName);
}

QString TUndoIkkuna::NodePath(const QTreeWidgetItem *node)
{
    return node ? node->data(0, PathRole).toString() : QString();
}

TUndoNodeKind TUndoIkkuna::NodeKind(const QTreeWidgetItem *node)
{
    return node ? TUndoNodeKind(node->data(0, KindRole).toInt()) : TUndoNodeKind::Folder;
}

bool TUndoIkkuna::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && ui->btnRefresh->isEnabled())
        Refresh();
    return QDialog::event(event);
}

void TUndoIkkuna::showEvent(QShowEvent *event)
{
    TToolWindow::showEvent(event);
    if (FFirstShow) {
        FFirstShow = false;
        TranslateForms(this);
    }
}

void TUndoIkkuna::StopSearch()
{
    // A load left running could write its rebuilt text over a file another tool writes next.
    StopLoading();
    FShown = {};
}

void TUndoIkkuna::Closing()
{
    if (FHost.Closed)
        FHost.Closed();
}

void TUndoIkkuna::SetStatus(const QString &text)
{
    FStatusLabel->setText(text);
}

QString TUndoIkkuna::HostPathOf(const QString &path) const
{
    return FHost.HostPath(path);
}

QTreeWidgetItem *TUndoIkkuna::SelectedNode() const
{
    const QList<QTreeWidgetItem *> selected = ui->PuuNakyy->selectedItems();
    return selected.isEmpty() ? nullptr : selected.constFirst();
}

QList<QTreeWidgetItem *> TUndoIkkuna::AllNodes() const
{
    QList<QTreeWidgetItem *> nodes;
    for (QTreeWidgetItemIterator it(ui->PuuNakyy); *it; ++it)
        nodes.append(*it);
    return nodes;
}

void TUndoIkkuna::FreeEntries()
{
    // A sort on its way works on these entries: it is dropped first.
    if (FSorter)
        std::exchange(FSorter, nullptr)->StopAndWait();
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FEntries); });
    // An empty list, or one whose file is on its way, still reads its captions whole.
    ReportColumns::Fit(ui->EntryList);
}

void TUndoIkkuna::FitTree()
{
    // The tree takes what its widest node needs, up to a quarter of the room: the list's columns
    // need the rest. A folder node cut then shows its whole path in its tooltip. Only a change of
    // what the nodes need moves the divider, so an activation keeps where the user dragged it.
    QTreeWidget *tree = ui->PuuNakyy;
    if (tree->topLevelItemCount() == 0)
        return;
    int wanted = static_cast<const QAbstractItemView *>(tree)->sizeHintForColumn(0) + 2 * tree->frameWidth();
    if (tree->verticalScrollBar()->isVisible())
        wanted += tree->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, tree);
    const int all = ui->Splitter->width() - ui->Splitter->handleWidth();
    if (wanted == FTreeWanted || all <= 0)
        return;
    FTreeWanted = wanted;
    const int width = std::min(wanted, all / 4);
    ui->Splitter->setSizes({width, all - width});
}

void TUndoIkkuna::UpdateButtons()
{
    ui->btnStop->setEnabled(Loading());
    // Entries a sort on its way reads are not written meanwhile.
    const bool has = !FEntries.isEmpty() && !FSorter;
    ui->btnPrint->setEnabled(has);
    ui->btnSave->setEnabled(has);
    ui->btnSelectAll->setEnabled(has);
    ui->btnUndoAll->setEnabled(has);
    const QItemSelectionModel *selection = ui->EntryList->selectionModel();
    ui->btnUndo->setEnabled(has && selection && selection->hasSelection());
    ui->btnDelete->setEnabled(!Loading() && NodeKind(SelectedNode()) == TUndoNodeKind::RegFile);
}

// ---- tree

void TUndoIkkuna::Refresh()
{
    const QStringList files =
        UndoManager::CollectFiles(UndoManager::TUndoFolders::FromSettings(FHost.Settings, FHost.ProgramFolder), FHost.ListFiles);

    const QList<QTreeWidgetItem *> before = AllNodes();
    const qsizetype position = before.indexOf(SelectedNode());

    QTreeWidgetItem *chosen = nullptr;
    {
        const QSignalBlocker blocker(ui->PuuNakyy);
        ui->PuuNakyy->clear();
        const QIcon folderIcon = [this] {
            QIcon icon = style()->standardIcon(QStyle::SP_DirClosedIcon);
            icon.addPixmap(style()->standardPixmap(QStyle::SP_DirOpenIcon), QIcon::Selected);
            return icon;
        }();
        const QIcon regIcon = style()->standardIcon(QStyle::SP_FileIcon);
        const QIcon listIcon = style()->standardIcon(QStyle::SP_FileDialogContentsView);
        QTreeWidgetItem *firstFile = nullptr;
        // One node for each undo folder, named by its whole path (cut at the front when narrow),
        // with its files below: the files stay in sight whatever the folder's depth.
        for (const QString &path : files) {
            const QChar separator = path.startsWith(u'/') ? u'/' : u'\\';
            const qsizetype cut = path.lastIndexOf(separator);
            const QString folderPath = path.left(cut + 1);
            QTreeWidgetItem *parent = nullptr;
            for (int i = 0; i < ui->PuuNakyy->topLevelItemCount() && !parent; ++i) {
                QTreeWidgetItem *folder = ui->PuuNakyy->topLevelItem(i);
                const Qt::CaseSensitivity cs = separator == u'/' ? Qt::CaseSensitive : Qt::CaseInsensitive;
                if (NodePath(folder).compare(folderPath, cs) == 0 && NodeKind(folder) == TUndoNodeKind::Folder)
                    parent = folder;
            }
            if (!parent && cut >= 0) {
                parent = new QTreeWidgetItem(ui->PuuNakyy);
                const QString text = cut > 0 ? path.left(cut) : folderPath;
                parent->setText(0, text);
                parent->setToolTip(0, text);
                parent->setIcon(0, folderIcon);
                parent->setData(0, PathRole, folderPath);
                parent->setData(0, KindRole, int(TUndoNodeKind::Folder));
            }
            const QString fileName = path.mid(cut + 1);
            const qsizetype dot = fileName.lastIndexOf(u'.');
            auto *node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(ui->PuuNakyy);
            const TUndoNodeKind kind = UndoManager::FileKind(path);
            node->setText(0, dot > 0 ? fileName.left(dot) : fileName);
            node->setIcon(0, kind == TUndoNodeKind::ListItemFile ? listIcon : regIcon);
            node->setData(0, PathRole, path);
            node->setData(0, KindRole, int(kind));
            if (!firstFile)
                firstFile = node;
        }
        ui->PuuNakyy->expandAll();
        if (position >= 0) {
            const QList<QTreeWidgetItem *> after = AllNodes();
            if (position < after.size())
                chosen = after.at(position);
        } else {
            chosen = firstFile;
        }
        if (chosen)
            ui->PuuNakyy->setCurrentItem(chosen);
    }
    FitTree();
    PuuNakyyChange();
}

void TUndoIkkuna::PuuNakyyChange()
{
    QTreeWidgetItem *node = SelectedNode();
    const TUndoNodeKind kind = NodeKind(node);
    if (!node || kind == TUndoNodeKind::Folder) {
        StopLoading();
        FShown = {};
        FreeEntries();
        UpdateButtons();
        SetStatus(QString());
        return;
    }
    const QString hostPath = HostPathOf(NodePath(node));
    // An activation finds the file shown or on its way, unless it changed since.
    if (FLoader ? FLoader->Input().HostPath == hostPath : TUndoFileStamp::Of(hostPath) == FShown)
        return;
    StartLoading(hostPath, kind);
}

void TUndoIkkuna::StartLoading(const QString &hostPath, TUndoNodeKind kind)
{
    StopLoading();
    FreeEntries();
    TUndoLoader::TInput input;
    input.HostPath = hostPath;
    input.Kind = kind;
    input.Prefix = FHost.Prefix;
    input.HostPathOf = FHost.HostPath;
    input.SortColumn = FSortColumn;
    input.SortForward = FSortForward;
    FLoader = new TUndoLoader(this, std::move(input), [this](TUndoLoader *sender, int done, int total) {
        LoadProgress(sender, done, total);
    });
    TUndoLoader *loader = FLoader;
    loader->SetOnTerminate([this](TSharedThd *sender) { LoadEnded(static_cast<TUndoLoader *>(sender)); });
    FBar->setRange(0, 0);
    FBar->setValue(0);
    FBar->setToolTip(QString());
    FBar->show();
    SetStatus(LangMessage(QStringLiteral("M150UI"), QStringLiteral("Reading the undo file...")));
    UpdateButtons();
    loader->Resume();
}

void TUndoIkkuna::StopLoading()
{
    if (!FLoader)
        return;
    TUndoLoader *loader = std::exchange(FLoader, nullptr);
    loader->StopAndWait();
    FBar->hide();
    UpdateButtons();
}

void TUndoIkkuna::LoadProgress(TUndoLoader *loader, int done, int total)
{
    if (loader != FLoader)
        return;
    FBar->setRange(0, total);
    FBar->setValue(done);
}

void TUndoIkkuna::LoadEnded(TUndoLoader *loader)
{
    if (loader != FLoader)
        return;
    FLoader = nullptr;
    FBar->hide();
    FShown = loader->Stamp();
    if (loader->Stopped()) {
        UpdateButtons();
        SetStatus(LangMessage(QStringLiteral("M151UI"), QStringLiteral("Aborted! No entries loaded!")));
        return;
    }
    QList<TUndoEntry *> entries = loader->TakeEntries();
    FModel->Reset([&] { FEntries = std::move(entries); });
    ReportColumns::Fit(ui->EntryList, loader->Longest());
    UpdateButtons();
    SetStatus(SafeFormat(LangMessage(QStringLiteral("M117UI"), QStringLiteral("Contains %d entries!")), TFormatArg::Count(FEntries.size())));
}

// ---- sorting

void TUndoIkkuna::SortEntries()
{
    FSorter = nullptr;  // a sort still on its way is dropped
    FSorter = BackgroundJob::SortList<TUndoEntry *>(
        this, FEntries,
        [column = FSortColumn, forward = FSortForward](auto &list) { UndoManager::SortEntries(list, column, forward); },
        [this](TSharedThd *sorter, QList<TUndoEntry *> &sorted) {
            if (sorter != FSorter)
                return;
            FSorter = nullptr;
            FModel->Reset([&] { FEntries = sorted; });
            UpdateButtons();
        });
    UpdateButtons();
}

void TUndoIkkuna::EntryListColumnClick(int column)
{
    if (FSorter || FLoader) {
        ShowSort(ui->EntryList, FModel);
        return;
    }
    TurnSort(column);
    ShowSort(ui->EntryList, FModel);
    SortEntries();
}

// ---- buttons

void TUndoIkkuna::btnUndoClick()
{
    QItemSelectionModel *selection = ui->EntryList->selectionModel();
    if (!selection->hasSelection())
        return;
    // No refresh on activation while entries are written (a message box gives the activation back).
    ui->btnRefresh->setEnabled(false);
    // From the bottom row up, all in one go: each hive is written once.
    QList<TUndoEntry *> chosen;
    QList<int> rows = ToolWindow::SelectedRows(ui->EntryList);
    std::reverse(rows.begin(), rows.end());
    for (int row : std::as_const(rows))
        chosen.append(FEntries.at(row));
    const UndoManager::TRestored restored = UndoManager::Restore(chosen, FHost.Prefix, FHost.HostPath);
    selection->clearSelection();
    FModel->Repaint();
    UpdateButtons();
    if (restored.Failures > 0) {
        QString text = SafeFormat(LangMessage(QStringLiteral("M115UI"),
                                              QStringLiteral("Vaskimo wasn't able to write all of the requested entries to "
                                                             "the registry. %d entries couldn't be writen!")),
                                  TFormatArg::Count(restored.Failures));
        if (!restored.Reason.isEmpty())
            text += QStringLiteral("\r\n\r\n") + restored.Reason;
        MessageBoxes::Error(this, text);
    }
    ui->btnRefresh->setEnabled(true);
}

void TUndoIkkuna::btnUndoAllClick()
{
    // One range for each run of missing rows: a selection of a range per row is slow to ask.
    QItemSelection missing;
    for (int row = 0; row < FEntries.size(); ++row) {
        if (FEntries.at(row)->State != 4)
            continue;
        const int first = row;
        while (row + 1 < FEntries.size() && FEntries.at(row + 1)->State == 4)
            ++row;
        missing.select(FModel->index(first, 0), FModel->index(row, 3));
    }
    ui->EntryList->selectionModel()->select(missing, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    btnUndoClick();
}

void TUndoIkkuna::btnRefreshClick()
{
    // A file read again, even when it looks unchanged: the registry may have changed.
    StopLoading();
    FShown = {};
    Refresh();
}

void TUndoIkkuna::btnStopClick()
{
    if (FLoader)
        FLoader->Terminate();
}

void TUndoIkkuna::btnSelectAllClick()
{
    ui->EntryList->selectAll();
}

void TUndoIkkuna::btnPrintClick()
{
    QPrinter printer;
    if (!Listing::RunPrintDialog(this, printer))
        return;
    PrintListView(ui->EntryList, QStringLiteral("Deleted entries listing"), printer, this);
}

void TUndoIkkuna::btnSaveClick()
{
    const QString fileName = Listing::RunSaveDialog(this);
    if (fileName.isEmpty())
        return;
    SaveListViewHtml(ui->EntryList, fileName, QStringLiteral("Deleted entries listing"), this);
}

void TUndoIkkuna::btnDeleteClick()
{
    QTreeWidgetItem *node = SelectedNode();
    if (!node || NodeKind(node) != TUndoNodeKind::RegFile)
        return;
    const QString path = NodePath(node);
    const QString host = HostPathOf(path);
    if (host.isEmpty() || !QFileInfo(host).isFile())
        return;
    // The tree is rebuilt only after the question and the deletion, never under them by an activation.
    ui->btnRefresh->setEnabled(false);
    if (!MessageBoxes::Confirm(this, SafeFormat(LangMessage(QStringLiteral("M116UI"),
                                                            QStringLiteral("Are you sure you want to delete file %s?")),
                                                path))) {
        ui->btnRefresh->setEnabled(true);
        return;
    }
    const bool deleted = FHost.DeleteFile ? FHost.DeleteFile(host) : QFile::remove(host);
    if (!deleted)
        MessageBoxes::Error(this, SafeFormat(LangMessage(QStringLiteral("M114SU"),
                                                         QStringLiteral("Vaskimo failed to delete the selected file %s! "
                                                                        "File maybe in use.")),
                                             path));
    ui->btnRefresh->setEnabled(true);
    Refresh();
}

void TUndoIkkuna::btnCloseClick()
{
    close();
}

void RegisterUndoManager()
{
    TPaaIkkuna::RegisterTool(TToolKind::Undo, [](QWidget *parent) -> QDialog * { return new TUndoIkkuna(parent); });
}
