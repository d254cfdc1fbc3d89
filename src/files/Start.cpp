// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the invalid-shortcut cleaner window: roots, the search on the GUI thread, the tree, details, deletion, -delsho.
#include "files/Start.h"

#include "platform/CommaText.h"
#include "platform/IniFile.h"
#include "platform/WinFiles.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/MessageBoxes.h"
#include "shell/PathLabel.h"
#include "shell/SafeFormat.h"
#include "shell/Settings.h"
#include "shell/SettingsUi.h"
#include "shell/ToolWindow.h"
#include "shell/Tulosta.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString Section = QStringLiteral("Shortcuts");
constexpr int kNodeRole = Qt::UserRole + 1;

QString Na() { return LangMessage(QStringLiteral("M075DI"), QStringLiteral("N/A")); }

} // namespace

TStartHost TStartHost::FromMainWindow()
{
    TStartHost host;
    TPaaIkkuna *main = PaaIkkuna;
    if (!main)
        return host;
    host.ProgramFolder = main->ProgramFolder();
    host.Settings = &main->Settings();
    host.Batch = main;
    host.TimeStamp = [main] { return main->TimeStamp(); };
    host.DeleteFiles = [main](const QStringList &files, bool permanent, std::function<void(bool)> onDone) {
        main->DeleteFilesThreaded(files, permanent, std::move(onDone));
    };
    host.Closed = [main] { main->FShortcutsOpen = false; };
    return host;
}

TStartIkkuna::TStartIkkuna(QWidget *parent, TStartHost host)
    : TToolWindow(parent, {.Section = Section,
                           .Look = host.Settings,
                           .LookFont = false,
                           .MinimizesWithMain = true,
                           .SearchClose = TSearchClose::StopsAndCloses,
                           .Batch = host.Batch,
                           .TimeStamp = host.TimeStamp}),
      FHost(std::move(host))
{
    if (!FHost.ProgramFolder.isEmpty() && !FHost.ProgramFolder.endsWith(u'/'))
        FHost.ProgramFolder += u'/';
    FormCreate();
}

TStartIkkuna::~TStartIkkuna()
{
    FormDestroy();
}

void TStartIkkuna::FormCreate()
{
    setObjectName(QStringLiteral("StartIkkuna"));
    setProperty("HelpContext", 8);
    setWindowTitle(QStringLiteral("Clean invalid shortcuts"));
    resize(720, 460);

    FImages[0] = style()->standardIcon(QStyle::SP_FileLinkIcon);
    FImages[1] = style()->standardIcon(QStyle::SP_DirIcon);
    FImages[2] = style()->standardIcon(QStyle::SP_DriveNetIcon);

    PuuNakyy = new QTreeWidget(this);
    PuuNakyy->setObjectName(QStringLiteral("PuuNakyy"));
    PuuNakyy->setHeaderHidden(true);
    PuuNakyy->setColumnCount(1);
    PuuNakyy->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PuuNakyy->setSelectionMode(QAbstractItemView::SingleSelection);
    PuuNakyy->setTextElideMode(Qt::ElideMiddle);  // a whole-path top node keeps its drive and its name

    auto *details = new QGridLayout;
    const struct { const char *name, *caption; TPathLabel **value; const char *valueName; } rows[] = {
        {"lblFile", "File:", &Tiedosto, "Tiedosto"},       {"lblPath", "Target:", &Path, "Path"},
        {"lblWorkDir", "Start in:", &WorkDir, "WorkDir"},  {"lblArgs", "Parameters:", &Args, "Args"},
        {"lblDesc", "Comments:", &Desc, "Desc"},           {"lblIconPath", "Icon path:", &IconPath, "IconPath"},
        {"lblIconIndex", "Icon index:", &IconIndex, "IconIndex"}};
    int row = 0;
    for (const auto &r : rows) {
        auto *caption = new QLabel(QLatin1String(r.caption), this);
        caption->setObjectName(QLatin1String(r.name));
        *r.value = new TPathLabel(this);
        (*r.value)->setObjectName(QLatin1String(r.valueName));
        details->addWidget(caption, row, 0, Qt::AlignTop);
        details->addWidget(*r.value, row, 1, Qt::AlignTop);
        ++row;
    }
    Tahti = new QLabel(QStringLiteral("* means empty folder or that the folder contains only invalid shortcuts. Can be safely deleted!"), this);
    Tahti->setObjectName(QStringLiteral("Tahti"));
    Tahti->setWordWrap(true);
    details->addWidget(Tahti, row++, 0, 1, 2);
    auto *skipLabel = new QLabel(QStringLiteral("S&kip:"), this);
    skipLabel->setObjectName(QStringLiteral("lblSkip"));
    edtSkipFolder = new QLineEdit(this);
    edtSkipFolder->setObjectName(QStringLiteral("edtSkipFolder"));
    SetHoldsUserData(edtSkipFolder);
    skipLabel->setBuddy(edtSkipFolder);
    details->addWidget(skipLabel, row, 0);
    details->addWidget(edtSkipFolder, row++, 1);
    details->setRowStretch(row, 1);

    btnFind = NewToolButton(this, "btnFind", QStringLiteral("&Find"));
    btnStop = NewToolButton(this, "btnStop", QStringLiteral("S&top"));
    btnDelete = NewToolButton(this, "btnDelete", QStringLiteral("&Delete"));
    btnDeleteAll = NewToolButton(this, "btnDeleteAll", QStringLiteral("Delete &all"));
    btnClose = NewToolButton(this, "btnClose", QStringLiteral("&Close"));
    btnFind->setDefault(true);
    btnClose->SetCancel(true);
    btnStop->setEnabled(false);
    btnDelete->setEnabled(false);
    btnDeleteAll->setEnabled(false);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    StatusBar->addWidget(lblStatus, 1);

    Parami = new QTimer(this);
    Parami->setObjectName(QStringLiteral("Parami"));
    Parami->setSingleShot(true);
    Parami->setInterval(1);

    auto *middle = new QHBoxLayout;
    middle->addWidget(PuuNakyy, 1);
    middle->addLayout(details, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (TOVBitBtn *b : {btnFind, btnStop, btnDelete, btnDeleteAll, btnClose})
        buttons->addWidget(b);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar);

    connect(btnFind, &QAbstractButton::clicked, this, &TStartIkkuna::btnFindClick);
    connect(btnStop, &QAbstractButton::clicked, this, &TStartIkkuna::btnStopClick);
    connect(btnDelete, &QAbstractButton::clicked, this, &TStartIkkuna::btnDeleteClick);
    connect(btnDeleteAll, &QAbstractButton::clicked, this, &TStartIkkuna::btnDeleteAllClick);
    connect(btnClose, &QAbstractButton::clicked, this, &TStartIkkuna::btnCloseClick);
    connect(PuuNakyy, &QTreeWidget::itemSelectionChanged, this, &TStartIkkuna::PuuNakyyChange);
    connect(Parami, &QTimer::timeout, this, &TStartIkkuna::ParamiTimer);

    ReadSection(FHost.ProgramFolder);
}

void TStartIkkuna::ReadKeys(const TIniFile &ini)
{
    ReadSize(ini);
    edtSkipFolder->setText(ini.ReadString(Section, QStringLiteral("Skip"), edtSkipFolder->text()));
}

void TStartIkkuna::WriteKeys(TIniFile &ini)
{
    WriteSize(ini);
    ini.WriteString(Section, QStringLiteral("Skip"), edtSkipFolder->text());
}

void TStartIkkuna::FormDestroy()
{
    WriteSection(FHost.ProgramFolder);
    FItems.clear();
    FTree.Clear();
}

void TStartIkkuna::LoadRoots()
{
    const bool skipDesktop = FHost.Settings && FHost.Settings->FShortcutSkipDesktop;
    FRoots = ShortcutScan::Roots(skipDesktop);
    FShellFolders = ShortcutScan::ShellFolders();
}

void TStartIkkuna::showEvent(QShowEvent *event)
{
    TToolWindow::showEvent(event);
    if (const TSettings *s = FHost.Settings) {
        const QFont user = ToQFont(s->FUserFont);
        for (QLabel *label : std::initializer_list<QLabel *>{Tahti, Tiedosto, Path, WorkDir, Args, Desc, IconPath, IconIndex}) {
            QFont font = label->font();
            font.setFamily(user.family());
            if (user.pointSize() > 0)
                font.setPointSize(user.pointSize());
            label->setFont(font);
        }
    }
    if (!FRootsLoaded) {
        FRootsLoaded = true;
        LoadRoots();
        FStopRequested = false;
        if (FHost.Settings)
            TranslateWindow(this, FHost.Settings->FLanguageIndex, FHost.Settings->FLanguage, FHost.ProgramFolder);
        else
            TranslateForms(this);
    }
}

void TStartIkkuna::StartBatch(const QString &batchSwitch)
{
    FBatchSwitch = batchSwitch;
    if (batchSwitch != QStringLiteral("-delsho") || !BatchRun())
        return;
    LogLines({batchSwitch, QStringLiteral("Started searching invalid shortcuts")}, true);
    btnFindClick();
}

TShortcutOptions TStartIkkuna::Options() const
{
    TShortcutOptions o;
    if (const TSettings *s = FHost.Settings) {
        o.IgnoreRemovable = s->FShortcutRemovable;
        o.IgnoreNetwork = s->FShortcutNetwork;
        o.IgnoreInternet = s->FShortcutInternet;
        o.IgnoreEmptyFolders = s->FShortcutEmptyFolders;
    }
    o.SkipList = CommaTextToList(edtSkipFolder->text());
    o.SkipList.removeAll(QString());
    return o;
}

bool TStartIkkuna::Poll()
{
    QCoreApplication::processEvents();
    return FStopRequested;
}

TShortcutNode *TStartIkkuna::NodeOf(const QTreeWidgetItem *item) const
{
    return item ? reinterpret_cast<TShortcutNode *>(item->data(0, kNodeRole).value<quintptr>()) : nullptr;
}

void TStartIkkuna::AddItems(const QList<TShortcutNode *> &nodes)
{
    for (TShortcutNode *node : nodes) {
        QTreeWidgetItem *parent = node->Parent ? FItems.value(node->Parent) : nullptr;
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(PuuNakyy);
        item->setText(0, node->DisplayText());
        item->setToolTip(0, node->Record.Path);
        const int image = node->Kind == TShortcutKind::Folder ? 1 : node->Kind == TShortcutKind::Internet ? 2 : 0;
        item->setIcon(0, FImages[image]);
        item->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
        FItems.insert(node, item);
    }
}

void TStartIkkuna::ShowMarks()
{
    for (auto it = FItems.constBegin(); it != FItems.constEnd(); ++it)
        it.value()->setText(0, ShownText(it.key()));
}

// The start menus of the user and of all users both sit under a folder "Windows" in today's
// layout: top-level folders of one name are told apart by their whole path.
QString TStartIkkuna::ShownText(const TShortcutNode *node) const
{
    if (node->Parent)
        return node->DisplayText();
    int sameName = 0;
    for (const auto &top : FTree.TopLevel())
        sameName += top->Text.compare(node->Text, Qt::CaseInsensitive) == 0;
    if (sameName < 2)
        return node->DisplayText();
    QString path = node->Record.Path;
    if (path.endsWith(u'\\'))
        path.chop(1);
    return node->Marked ? path + QStringLiteral(" *") : path;
}

void TStartIkkuna::ClearTree()
{
    const QSignalBlocker block(PuuNakyy);
    PuuNakyy->clear();
    FItems.clear();
    FTree.Clear();
    PuuNakyyChange();
}

void TStartIkkuna::btnFindClick()
{
    if (FSearching)
        return;
    if (!FRootsLoaded) {
        FRootsLoaded = true;
        LoadRoots();
    }
    FSearching = true;
    FStopRequested = false;
    FShortcutCount = 0;
    lblStatus->setText(LangMessage(QStringLiteral("M099SI"), QStringLiteral("Searching for invalid shortcuts...")));
    btnFind->setEnabled(false);
    btnStop->setEnabled(true);
    btnDelete->setEnabled(false);
    btnDeleteAll->setEnabled(false);
    ClearTree();
    const TShortcutOptions options = Options();
    const QString na = Na();
    QPointer<TStartIkkuna> alive(this);
    const auto poll = [this, alive] { return !alive || Poll(); };
    // The roots and the shell's own folders are never listed, empty or not.
    const QStringList neverListed = FRoots + FShellFolders;

    for (const QString &root : FRoots) {
        if (FStopRequested)
            break;
        const QStringList candidates = ShortcutScan::Collect(root, options, poll);
        if (!alive)
            return;
        for (const QString &candidate : candidates) {
            if (poll())
                break;
            TShortcutRecord record;
            TShortcutKind kind = TShortcutKind::Folder;
            if (!ShortcutScan::Judge(candidate, neverListed, options, &record, &kind, na))
                continue;
            if (kind != TShortcutKind::Folder)
                ++FShortcutCount;
            AddItems(FTree.Place(candidate, root, kind, record, na));
        }
        if (!alive)
            return;
    }
    FTree.Mark(FRoots, FShellFolders);
    ShowMarks();
    PuuNakyy->expandAll();

    FSearching = false;
    btnFind->setEnabled(true);
    btnStop->setEnabled(false);
    btnDeleteAll->setEnabled(PuuNakyy->topLevelItemCount() > 0);
    PuuNakyyChange();
    // The folders found are the ones that may go; the folders above them only hold the tree.
    const int folders = int(FTree.AllMarkedFolders().size());
    const QList<TFormatArg> counts = {TFormatArg::Count(folders + FShortcutCount), TFormatArg::Count(folders), TFormatArg::Count(FShortcutCount)};
    if (FStopRequested)
        lblStatus->setText(SafeFormat(LangMessage(QStringLiteral("M100SI"),
                                                  QStringLiteral("Aborted! Total of %d (%d folder(s), %d shortcut(s)) items found.")),
                                      counts));
    else
        lblStatus->setText(SafeFormat(LangMessage(QStringLiteral("M101SI"),
                                                  QStringLiteral("Done! Total of %d (%d folder(s), %d shortcut(s)) items found.")),
                                      counts));

    if (!BatchRun() || FBatchSwitch != QStringLiteral("-delsho"))
        return;
    if (FStopRequested) {
        FHost.Batch->FBatchMode = false;
        FHost.Batch->FBatchAborted = true;
        LogLines({QStringLiteral("Aborted by user!")}, false);
        if (FHost.Batch->FAutoClose)
            Parami->start();
        return;
    }
    LogLines({QStringLiteral("Found ") + QString::number(FShortcutCount) + QStringLiteral(" invalid shortcuts! Deleting...")},
             false);
    if (btnDeleteAll->isEnabled())
        btnDeleteAllClick();
    FBatchSwitch.clear();
    close();
}

void TStartIkkuna::btnStopClick()
{
    FStopRequested = true;
}

void TStartIkkuna::PuuNakyyChange()
{
    const QList<QTreeWidgetItem *> selected = PuuNakyy->selectedItems();
    const TShortcutNode *node = selected.isEmpty() ? nullptr : NodeOf(selected.first());
    btnDelete->setEnabled(node && !btnStop->isEnabled());
    const QString texts[] = {node ? node->Record.Path : QString(),       node ? node->Record.Target : QString(),
                             node ? node->Record.StartIn : QString(),    node ? node->Record.Parameters : QString(),
                             node ? node->Record.Comments : QString(),   node ? node->Record.IconPath : QString(),
                             node ? node->Record.IconIndex : QString()};
    TPathLabel *labels[] = {Tiedosto, Path, WorkDir, Args, Desc, IconPath, IconIndex};
    for (int i = 0; i < 7; ++i)
        labels[i]->SetPath(texts[i]);
}

bool TStartIkkuna::DeleteNow(const QStringList &files, const QStringList &folders)
{
    const bool permanent = !(FHost.Settings ? FHost.Settings->FShortcutRecycle : true);
    if (!files.isEmpty()) {
        const auto done = [](bool) {};
        if (FHost.DeleteFiles)
            FHost.DeleteFiles(files, permanent, done);
        else
            FileDeletion::DeleteFilesThreaded(this, files, permanent, FHost.Settings && FHost.Settings->FForceTryDelete,
                                              done);
    }
    bool ok = true;
    for (const QString &file : files)
        ok = ok && !WinFiles::FileExists(file);
    // Folders go only once they are empty, each checked right before its turn.
    return ShortcutScan::RemoveEmptyFolders(folders, permanent).isEmpty() && ok;
}

void TStartIkkuna::btnDeleteClick()
{
    const QList<QTreeWidgetItem *> selected = PuuNakyy->selectedItems();
    TShortcutNode *node = selected.isEmpty() ? nullptr : NodeOf(selected.first());
    if (!node || FSearching)
        return;
    const bool confirm = FHost.Settings ? FHost.Settings->FShortcutConfirm : true;
    if (confirm && !MessageBoxes::Confirm(this, SafeFormat(LangMessage(QStringLiteral("M097SI"),
                                                                       QStringLiteral("Are you sure you want to delete %s?")),
                                                           {ShownText(node)})))
        return;
    // A folder node takes its invalid shortcuts and the folders they leave empty, never a folder
    // that still holds anything else.
    const QString path = node->Record.Path;
    const bool ok = DeleteNow(TShortcutTree::ShortcutFiles(node), TShortcutTree::MarkedFolders(node));
    if (ok || BatchRun()) {
        delete FItems.value(node);
        FItems.remove(node);
        FTree.Remove(node);
    }
    if (!ok)
        MessageBoxes::Error(this, SafeFormat(LangMessage(QStringLiteral("M098SI"), QStringLiteral("Failed to delete file %s!")),
                                             {path}));
    btnFindClick();
}

void TStartIkkuna::btnDeleteAllClick()
{
    if (FSearching)
        return;
    const bool confirm = FHost.Settings ? FHost.Settings->FShortcutConfirm : true;
    if (confirm && !BatchRun()
        && !MessageBoxes::Confirm(this, LangMessage(QStringLiteral("M094SI"),
                                                    QStringLiteral("Are you sure you want to delete ALL invalid shortcuts and empty folders?"))))
        return;
    lblStatus->setText(LangMessage(QStringLiteral("M095SI"), QStringLiteral("Please wait, deleting invalid shortcuts...")));
    if (!DeleteNow(FTree.AllShortcutFiles(), FTree.AllMarkedFolders())) {
        if (BatchRun()) {
            const QString text = QStringLiteral("Vaskimo failed to delete some of the files/folders!");
            LogLines({text}, false);
            FHost.Batch->KeepFailure(text);
        } else {
            MessageBoxes::Error(this, LangMessage(QStringLiteral("M096SI"),
                                                  QStringLiteral("Vaskimo failed to delete some of the files/folders!")));
        }
    }
    if (!BatchRun())
        btnFindClick();
}

void TStartIkkuna::btnCloseClick()
{
    close();
}

void TStartIkkuna::ParamiTimer()
{
    Parami->stop();
    close();
}

void TStartIkkuna::Closing()
{
    if (FHost.Closed)
        FHost.Closed();
}
