// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the unnecessary-file finder window: masks, special folders, the scan, the list, deletion.
#include "files/Unnecessary.h"

#include "files/DiskList.h"
#include "files/FileColumns.h"
#include "files/TypeNames.h"
#include "files/UnnecessaryThds.h"
#include "platform/ProgramInfo.h"
#include "platform/CommaText.h"
#include "platform/DriveMap.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WinEnvironment.h"
#include "platform/SortedStringList.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"
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

#include <QCheckBox>
#include <QCloseEvent>
#include <QCollator>
#include <QDesktopServices>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

const QString TTurhaIkkuna::NormalTypes = QStringLiteral(
    "*.tmp,~*.*,*.~*,*.?~?,*.aps,*.bak,*.bk?,*.bsc,*.dmp,*.ilk,*.pch,*.rws,*.sbr,backup*.wbk,*.$$$,*.ncb,*.~mp,*.old,"
    "*.da0,*.chk");
const QString TTurhaIkkuna::ExtraTypes = QStringLiteral("*.fts,*.gid,*.mtx,*.nch,*.ftg,*.$db,*.db$");

namespace {

const QString Section = QStringLiteral("Unnecessary files");

QString HostPathOf(const QString &windowsPath)
{
    const std::shared_ptr<TWinePrefix> prefix = TWinePrefix::Current();
    if (!prefix)
        return {};
    const TPathMapping m = prefix->Drives().ToHost(windowsPath);
    return m.State == TPathState::Resolved ? m.HostPath : QString();
}

QString ExistingFolder(const QString &windowsPath)
{
    return !windowsPath.isEmpty() && WinFiles::DirectoryExists(windowsPath) ? windowsPath : QString();
}

} // namespace

TUnnSpecialFolders TUnnSpecialFolders::Find()
{
    TUnnSpecialFolders f;
    const TWinEnvironment env;
    // The prefix's %TEMP%: the host's /tmp belongs to every program on the machine.
    QString temp = env.TempFolder();
    while (temp.size() > 3 && temp.endsWith('\\'))
        temp.chop(1);
    f.Temp = ExistingFolder(temp);
    // A prefix whose %TEMP% is mapped onto the host's shared temporary folder would hand every
    // other program's files to the scan.
    const QString hostTemp = QFileInfo(HostPathOf(f.Temp)).canonicalFilePath();
    for (const QString &shared : {QStringLiteral("/tmp"), QStringLiteral("/var/tmp"), QDir::tempPath()})
        if (!hostTemp.isEmpty() && hostTemp == QFileInfo(shared).canonicalFilePath())
            f.Temp.clear();
    f.Cache = ExistingFolder(env.SpecialFolder("Cache"));
    f.History = ExistingFolder(env.SpecialFolder("History"));
    f.Cookies = ExistingFolder(env.SpecialFolder("Cookies"));
    TRegistry shell(TRootKey::CurrentUser);
    if (shell.OpenKeyReadOnly("Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")) {
        const QString appData = shell.ReadString("AppData");
        if (!appData.isEmpty())
            f.OfficeRecent = ExistingFolder(appData + "\\Microsoft\\Office\\Recent");
    }
    return f;
}

// ---- model

TUnnecessaryModel::TUnnecessaryModel(QList<TUnnecessaryRecord *> *records, QObject *parent)
    : TReportModel(FileColumns::Captions(), 1, parent),
      FRecords(records)
{
}

Qt::ItemFlags TUnnecessaryModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = TReportModel::flags(index);
    if (index.isValid() && index.row() < FRecords->size() && FRecords->at(index.row())
        && FRecords->at(index.row())->Skipped())
        flags &= ~Qt::ItemIsSelectable;
    return flags;
}

int TUnnecessaryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FRecords->size());
}

QVariant TUnnecessaryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= FRecords->size() || !FRecords->at(index.row()))
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    TUnnecessaryRecord *r = FRecords->at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return FileColumns::Text(*r, index.column());
    case Qt::DecorationRole:
        if (index.column() != 0)
            break;
        // Only the rows drawn need an icon: asking for one per found file costs more than the search.
        if (!r->IconKnown && !r->Skipped()) {
            const QString host = HostPathOf(r->Path);
            static QFileIconProvider icons;
            if (!host.isEmpty())
                r->Icon = icons.icon(QFileInfo(host));
            r->IconKnown = true;
        }
        return r->Icon;
    case Qt::TextAlignmentRole:
        return FileColumns::Alignment(index.column());
    case Qt::BackgroundRole:
        return SortColumnBackground(index.column());
    }
    return {};
}

// ---- window

TTurhaIkkuna::TTurhaIkkuna(QWidget *parent, const QString &programFolder)
    : TToolWindow(parent, {.Section = Section,
                           .Size = TSizeKeys::Always,
                           .SortColumn = 1,
                           .LastSortColumn = 6,
                           .Look = PaaIkkuna ? &PaaIkkuna->Settings() : nullptr,
                           .LookFont = false,
                           .Batch = PaaIkkuna})
{
    FProgramFolder = programFolder.isEmpty() && PaaIkkuna ? PaaIkkuna->ProgramFolder() : programFolder;
    if (!FProgramFolder.isEmpty() && !FProgramFolder.endsWith('/'))
        FProgramFolder += '/';
    if (PaaIkkuna)
        FOwnSettings = PaaIkkuna->Settings();
    FormCreate();
}

TTurhaIkkuna::~TTurhaIkkuna()
{
    TSharedThd::StopAndWaitFor(this);
    FormDestroy();
}

TSettings &TTurhaIkkuna::Options()
{
    return PaaIkkuna ? PaaIkkuna->Settings() : FOwnSettings;
}

void TTurhaIkkuna::FormCreate()
{
    setObjectName("TurhaIkkuna");
    setProperty("HelpContext", 7);
    FCaptionBase = QStringLiteral("Unnecessary files");
    setWindowTitle(FCaptionBase);
    resize(640, 520);

    OptionsPanel = new QWidget(this);
    OptionsPanel->setObjectName("OptionsPanel");
    auto *options = new QGridLayout(OptionsPanel);
    DiskList = new TDiskListView(OptionsPanel);
    options->addWidget(DiskList, 0, 0, 6, 1);
    auto box = [this, options](QCheckBox *&b, const char *name, const QString &caption, int row, int col) {
        b = new QCheckBox(caption, OptionsPanel);
        b->setObjectName(name);
        options->addWidget(b, row, col);
        connect(b, &QCheckBox::clicked, this, &TTurhaIkkuna::NormalClick);
    };
    box(Normal, "Normal", "&Normal types", 0, 1);
    box(Extra, "Extra", "E&xtra types", 1, 1);
    box(TempDirectories, "TempDirectories", "Temp di&rectories", 0, 2);
    box(TemporaryInternet, "TemporaryInternet", "Temp Int&ernet files", 1, 2);
    box(History, "History", "Browser &history", 2, 2);
    box(Cookies, "Cookies", "Browser c&ookies", 3, 2);
    box(OfficeRecent, "OfficeRecent", "&MS Office recent", 4, 2);
    box(CustomDirectories, "CustomDirectories", "C&ustom directories", 5, 2);
    auto *findLabel = new QLabel("F&ind:", OptionsPanel);
    findLabel->setObjectName("lblFind");
    edtFind = new QLineEdit(OptionsPanel);
    edtFind->setObjectName("edtFind");
    auto *skipLabel = new QLabel("S&kip:", OptionsPanel);
    skipLabel->setObjectName("lblSkip");
    edtSkip = new QLineEdit(OptionsPanel);
    edtSkip->setObjectName("edtSkip");
    SetHoldsUserData(edtFind);
    SetHoldsUserData(edtSkip);
    findLabel->setBuddy(edtFind);
    skipLabel->setBuddy(edtSkip);
    options->addWidget(findLabel, 2, 1);
    options->addWidget(edtFind, 3, 1);
    options->addWidget(skipLabel, 4, 1);
    options->addWidget(edtSkip, 5, 1);
    connect(edtFind, &QLineEdit::textChanged, this, &TTurhaIkkuna::NormalClick);

    btnFind = NewToolButton(this, "btnFind", "&Find");
    btnStop = NewToolButton(this, "btnStop", "S&top");
    btnDelete = NewToolButton(this, "btnDelete", "&Delete");
    btnDeleteAll = NewToolButton(this, "btnDeleteAll", "Delete &all");
    btnSelectAll = NewToolButton(this, "btnSelectAll", "Se&lect all");
    btnPrint = NewToolButton(this, "btnPrint", "&Print");
    btnSave = NewToolButton(this, "btnSave", "&Save");
    btnClose = NewToolButton(this, "btnClose", "&Close");
    btnStop->setEnabled(false);

    FModel = new TUnnecessaryModel(&FRecords, this);
    FileList = new QTreeView(this);
    FileList->setObjectName("FileList");
    FileList->setModel(FModel);
    FileList->setRootIsDecorated(false);
    FileList->setUniformRowHeights(true);
    FileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FileList->header()->setSectionsClickable(true);
    FileList->header()->setSortIndicatorShown(true);

    lblStatus = new QLabel("Idle!", this);
    lblStatus->setObjectName("lblStatus");
    lblTotal = new QLabel(this);
    lblTotal->setObjectName("lblTotal");
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName("StatusBar");
    StatusBar->setSizeGripEnabled(false);
    Parami = new QTimer(this);
    Parami->setObjectName("Parami");
    Parami->setSingleShot(true);
    Parami->setInterval(1);

    auto *top = new QHBoxLayout;
    top->addWidget(OptionsPanel, 1);
    auto *findButtons = new QVBoxLayout;
    findButtons->addWidget(btnFind);
    findButtons->addWidget(btnStop);
    findButtons->addStretch();
    top->addLayout(findButtons);
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(lblStatus, 1);
    statusRow->addWidget(lblTotal);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (TOVBitBtn *b : {btnDelete, btnDeleteAll, btnSelectAll, btnPrint, btnSave, btnClose})
        buttons->addWidget(b);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(statusRow);
    layout->addWidget(FileList, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar);

    for (QWidget *w : {static_cast<QWidget *>(btnDelete), static_cast<QWidget *>(btnSelectAll),
                       static_cast<QWidget *>(btnDeleteAll), static_cast<QWidget *>(btnPrint),
                       static_cast<QWidget *>(btnSave)})
        w->setEnabled(false);

    connect(btnFind, &QAbstractButton::clicked, this, &TTurhaIkkuna::btnFindClick);
    connect(btnStop, &QAbstractButton::clicked, this, &TTurhaIkkuna::btnStopClick);
    connect(btnDelete, &QAbstractButton::clicked, this, &TTurhaIkkuna::btnDeleteClick);
    connect(btnDeleteAll, &QAbstractButton::clicked, this, &TTurhaIkkuna::btnDeleteAllClick);
    connect(btnSelectAll, &QAbstractButton::clicked, this, &TTurhaIkkuna::btnSelectAllClick);
    connect(btnPrint, &QAbstractButton::clicked, this, &TTurhaIkkuna::btnPrintClick);
    connect(btnSave, &QAbstractButton::clicked, this, &TTurhaIkkuna::btnSaveClick);
    connect(btnClose, &QAbstractButton::clicked, this, &QDialog::close);
    connect(Parami, &QTimer::timeout, this, &TTurhaIkkuna::ParamiTimer);
    connect(DiskList, &QTreeWidget::itemSelectionChanged, this, &TTurhaIkkuna::DiskListChange);
    connect(FileList->header(), &QHeaderView::sectionClicked, this, &TTurhaIkkuna::FileListColumnClick);
    connect(FileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TTurhaIkkuna::UpdateDeleteButton);
    connect(FileList, &QAbstractItemView::doubleClicked, this, &TTurhaIkkuna::OpenSelected);
    FileList->installEventFilter(this);

    {
        const QSignalBlocker block(DiskList);
        DiskList->FillDrives();
    }
    ReadSection(FProgramFolder);
    FModel->SetSortColumn(FSortColumn);
    SetSpecialFolders(TUnnSpecialFolders::Find());
}

void TTurhaIkkuna::ReadKeys(const TIniFile &ini)
{
    ReadSize(ini);
    edtSkip->setText(ini.ReadString(Section, "Skip", ""));
    {
        const QSignalBlocker block(edtFind);
        edtFind->setText(ini.ReadString(Section, "Find", ""));
    }
    ReadSort(ini);
    Normal->setChecked(ini.ReadBool(Section, "Normal", true));
    Extra->setChecked(ini.ReadBool(Section, "Extra", false));
    TempDirectories->setChecked(ini.ReadBool(Section, "Temp directories", false));
    TemporaryInternet->setChecked(ini.ReadBool(Section, "Temp Internet files", false));
    History->setChecked(ini.ReadBool(Section, "Browser history", false));
    Cookies->setChecked(ini.ReadBool(Section, "Browser cookies", false));
    OfficeRecent->setChecked(ini.ReadBool(Section, "Office recent", false));
    CustomDirectories->setChecked(ini.ReadBool(Section, "Search custom directories", false));
    const QSignalBlocker block(DiskList);
    DiskList->ReadSelection(ini, Section, false);
}

void TTurhaIkkuna::WriteKeys(TIniFile &ini)
{
    WriteSize(ini);
    ini.WriteString(Section, "Skip", edtSkip->text());
    ini.WriteString(Section, "Find", edtFind->text());
    WriteSort(ini);
    ini.WriteBool(Section, "Normal", Normal->isChecked());
    ini.WriteBool(Section, "Extra", Extra->isChecked());
    ini.WriteBool(Section, "Temp directories", TempDirectories->isChecked());
    ini.WriteBool(Section, "Temp Internet files", TemporaryInternet->isChecked());
    ini.WriteBool(Section, "Browser history", History->isChecked());
    ini.WriteBool(Section, "Browser cookies", Cookies->isChecked());
    ini.WriteBool(Section, "Office recent", OfficeRecent->isChecked());
    ini.WriteBool(Section, "Search custom directories", CustomDirectories->isChecked());
    DiskList->WriteSelection(ini, Section, false);
}

void TTurhaIkkuna::SetSpecialFolders(const TUnnSpecialFolders &folders)
{
    FFolders = folders;
    const std::pair<QCheckBox *, QString> boxes[] = {{TempDirectories, folders.Temp},
                                                     {TemporaryInternet, folders.Cache},
                                                     {History, folders.History},
                                                     {Cookies, folders.Cookies},
                                                     {OfficeRecent, folders.OfficeRecent}};
    for (const auto &[box, folder] : boxes) {
        box->setToolTip(folder.isEmpty() ? QString() : WinFiles::ShownFolder(folder));
        box->setEnabled(!folder.isEmpty());
    }
    NormalClick();
}

void TTurhaIkkuna::FormDestroy()
{
    WriteSection(FProgramFolder);
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRecords); });
}

void TTurhaIkkuna::showEvent(QShowEvent *event)
{
    TToolWindow::showEvent(event);
    if (PaaIkkuna) {
        const TSettings &o = PaaIkkuna->Settings();
        for (QLabel *label : {lblStatus, lblTotal}) {
            QFont font = label->font();
            const QFont user = ToQFont(o.FUserFont);
            font.setFamily(user.family());
            font.setPointSize(user.pointSize() > 0 ? user.pointSize() : font.pointSize());
            label->setFont(font);
        }
    }
    CustomDirectories->setEnabled(!Options().FUnnCustomDirs.isEmpty());
    QStringList shown;
    for (const QString &folder : Options().FUnnCustomDirs)
        shown << WinFiles::ShownFolder(folder);
    CustomDirectories->setToolTip(shown.join(u'\n'));
    NormalClick();
    if (FFirstShow) {
        FFirstShow = false;
        if (LanguageFile()) {
            TranslateForms(this);
            FCaptionBase = windowTitle();
        }
        DiskListChange();
    }
}

void TTurhaIkkuna::StartBatch(const QString &batchSwitch)
{
    if (batchSwitch != "-unn" && batchSwitch != "-delunn")
        return;
    LogLines({batchSwitch, "Started searching unnecessary files"}, true);
    QStringList missing = DiskList->MissingChoices();
    if (CustomDirectories->isChecked())
        for (const QString &folder : Options().FUnnCustomDirs)
            if (!folder.isEmpty() && !WinFiles::DirectoryExists(folder))
                missing << QStringLiteral("The folder %1 chosen to search does not exist").arg(folder);
    for (const QString &reason : std::as_const(missing))
        BatchState().Fail(reason);
    if (btnFind->isEnabled())
        btnFind->click();
    if (FScanning)
        return;
    // Nothing to search with is no search that found nothing: the run says so and ends with 1, and
    // the window still closes, or the batch run would wait for ever.
    BatchState().Fail(DiskList->selectedItems().isEmpty() ? QStringLiteral("Nothing was searched: no drive or folder is chosen")
                                                          : QStringLiteral("Nothing was searched: no file types are chosen for the drives"));
    Parami->start();
}

QString TTurhaIkkuna::ReadBlacklistUnnecessary(bool *ok) const
{
    const QString path = ProgramInfo::ShippedFile(FProgramFolder, QStringLiteral("BlackLst.vkb"));
    *ok = true;
    if (!QFileInfo::exists(path))
        return {};
    TIniFile blacklist(path);
    if (!blacklist.ErrorString().isEmpty()) {
        *ok = false;
        return {};
    }
    return blacklist.ReadString("General", "Unnecessary", "");
}

void TTurhaIkkuna::btnFindClick()
{
    if (FScanning)
        return;
    bool ok = false;
    const QString blacklisted = ReadBlacklistUnnecessary(&ok);
    if (ok) {
        TSortedStringList skip;
        skip.AddStrings(CommaTextToList(edtSkip->text()));
        skip.AddStrings(CommaTextToList(blacklisted));
        skip.Remove(QString());
        FSkipList = skip.Items();
    }

    // The empty items that the old comma joins produced are dropped, and only they: with no set
    // checked, the first item is a mask of the user's.
    TSortedStringList masks;
    if (Normal->isChecked() && Normal->isEnabled())
        masks.AddStrings(CommaTextToList(NormalTypes));
    if (Extra->isChecked() && Extra->isEnabled())
        masks.AddStrings(CommaTextToList(ExtraTypes));
    if (!edtFind->text().isEmpty())
        masks.AddStrings(CommaTextToList(edtFind->text()));
    masks.Remove(QString());
    FMaskList = masks.Items();

    for (QWidget *w : {static_cast<QWidget *>(btnFind), static_cast<QWidget *>(btnDelete),
                       static_cast<QWidget *>(btnSelectAll), static_cast<QWidget *>(btnDeleteAll),
                       static_cast<QWidget *>(btnPrint), static_cast<QWidget *>(btnSave),
                       static_cast<QWidget *>(DiskList), OptionsPanel})
        w->setEnabled(false);
    btnStop->setEnabled(true);
    lblTotal->clear();
    lblStatus->setText(LangMessage("M093TI", "Searching for unnecessary files..."));
    FModel->Reset([this] { TPaaIkkuna::FreeRecordList(&FRecords); });
    FLongest = TLongestTexts(7);
    FTotalSize = 0;
    FTypeNames.clear();

    const TSettings &o = Options();
    quint32 attrMask = 0;
    if (o.FUnnSkipReadOnly)
        attrMask |= FileAttr::ReadOnly;
    if (o.FUnnSkipSystem)
        attrMask |= FileAttr::System;
    if (o.FUnnSkipHidden)
        attrMask |= FileAttr::Hidden;

    TSortedStringList custom(TSortedStringList::TDuplicates::Accept);
    if (CustomDirectories->isChecked() && !o.FUnnCustomDirs.isEmpty())
        for (const QString &dir : o.FUnnCustomDirs)
            if (!dir.isEmpty())
                custom.Add(dir + ":*.*");
    const std::tuple<QCheckBox *, QString, const char *> special[] = {
        {Cookies, FFolders.Cookies, ":*.txt"},
        {History, FFolders.History, ":*.*"},
        {TempDirectories, FFolders.Temp, ":*.*"},
        {TemporaryInternet, FFolders.Cache, ":*.*"},
        {OfficeRecent, FFolders.OfficeRecent, ":*.*"}};
    for (const auto &[box, folder, mask] : special)
        if (box->isChecked() && !folder.isEmpty())
            custom.Add(folder + mask);
    FCustomList = custom.Items();

    FScanning = true;
    FAborted = false;
    FWorker = new TEtsiTurhat(
        this, FSkipList, [this](const QString &folder) { ShowFolder(folder); },
        [this](const QString &name, const QString &folder, qint64 size, const QString &date, const QString &attr) {
            AddFound(name, folder, size, date, attr);
        },
        attrMask, FMaskList, FCustomList, DiskList->SelectedDrives(), o.FUnnRecurse, o.FUnnSkipEmpty);
    FWorker->SetOnSkipped([this](const QString &name, const QString &folder, qint64 size, TNameFault fault) {
        AddSkipped(name, folder, size, fault);
    });
    FWorker->SetOnTerminate([this](TSharedThd *) { SearchDone(); });
    FWorker->Resume();
}

void TTurhaIkkuna::btnStopClick()
{
    if (FWorker) {
        FWorker->SetOnTerminate([this](TSharedThd *) { SearchAborted(); });
        FWorker->Terminate();
    } else {
        SearchAborted();
    }
}

void TTurhaIkkuna::ShowFolder(const QString &folder)
{
    StatusBar->showMessage(folder);
}

void TTurhaIkkuna::AddFound(const QString &name, const QString &folder, qint64 size, const QString &dateText,
                            const QString &attrText)
{
    // A hand-over of the scanner holds many reports: the row waits for ShowFound, which does what
    // takes time once for the group.
    auto *r = new TUnnecessaryRecord;
    r->Path = folder + name;
    r->Size = size;
    r->DateText = dateText;
    r->AttrText = attrText;
    FFound.Add(r);
}

void TTurhaIkkuna::AddSkipped(const QString &name, const QString &folder, qint64 size, TNameFault fault)
{
    auto *r = new TUnnecessaryRecord;
    r->Path = folder + name;
    r->Size = size;
    r->TypeName = QStringLiteral("Skipped: ") + TDriveMap::NameFaultText(fault);
    r->Fault = fault;
    r->IconKnown = true;
    FFound.Add(r);
}

int TTurhaIkkuna::FileCount() const
{
    return int(std::count_if(FRecords.cbegin(), FRecords.cend(), [](const TUnnecessaryRecord *r) { return !r->Skipped(); }));
}

void TTurhaIkkuna::ShowFound(const QList<TUnnecessaryRecord *> &records)
{
    for (TUnnecessaryRecord *r : records) {
        if (r->Skipped()) {
            if (!r->Path.endsWith(u'\\'))
                r->SizeText = GroupedNumber(double(r->Size));
            continue;
        }
        r->SizeText = GroupedNumber(double(r->Size));
        r->TypeName = TypeNames::Of(r->Path, &FTypeNames);
        // Smaller than the header an image starts with: no version to read.
        const QString host = r->Size >= 64 ? HostPathOfFile(r->Path) : QString();
        if (!host.isEmpty()) {
            const QStringList versions = Services::VersionInfoStrings(host, {"FileVersion", "ProductVersion"});
            r->FileVersion = versions.at(0);
            r->ProductVersion = versions.at(1);
        }
    }
    FileColumns::AddLongest(FLongest, records, {0, 1, 2, 3, 4, 5, 6},
                            [](const TUnnecessaryRecord &r, int column) { return FileColumns::Text(r, column).toString(); });
    FModel->AppendRows(int(records.size()), [&] { FRecords.append(records); });
    ReportColumns::Fit(FileList, FLongest);
    for (const TUnnecessaryRecord *r : records)
        FTotalSize += r->Skipped() ? 0 : r->Size;
    ShowTotal();
}

QString TTurhaIkkuna::HostPathOfFile(const QString &path)
{
    // A folder's files come together: its host path is looked up once for them.
    const qsizetype slash = path.lastIndexOf('\\');
    const QString folder = path.left(slash + 1);
    if (folder != FHostFolder.first)
        FHostFolder = {folder, HostPathOf(folder)};
    const QString &hostFolder = FHostFolder.second;
    if (hostFolder.isEmpty())
        return {};
    return hostFolder + (hostFolder.endsWith('/') ? "" : "/") + path.mid(slash + 1);
}

bool TTurhaIkkuna::FileExists(const QString &path)
{
    const QString host = HostPathOfFile(path);
    if (host.isEmpty())
        return WinFiles::FileExists(path);
    const quint32 attr = HostFiles::Attributes(host);
    return attr != FileAttr::Invalid && !(attr & FileAttr::Directory);
}

void TTurhaIkkuna::ShowTotal()
{
    lblTotal->setText(SafeFormat(LangMessage("M088TI", "%.0n KB"), {double((FTotalSize + 1023) / 1024)}));
}

void TTurhaIkkuna::UpdateAfterSearch()
{
    btnFind->setEnabled(!FScanning);
    DiskList->setEnabled(!FScanning);
    OptionsPanel->setEnabled(!FScanning);
    btnStop->setEnabled(FScanning);
    const int n = FileCount();
    const bool any = n > 0;
    if (any) {
        ShowTotal();
        lblStatus->setText(SafeFormat(FAborted ? LangMessage("M089TI", "Aborted! Total of %d unnecessary file(s) found!")
                                               : LangMessage("M090TI", "Total of %d unnecessary file(s) found!"),
                                      {TFormatArg::Count(n)}));
        StatusBar->showMessage(SafeFormat(LangMessage("M090TI", "Total of %d unnecessary file(s) found!"), {TFormatArg::Count(n)}));
    } else {
        lblStatus->setText(FAborted ? LangMessage("M091TI", "Aborted! No unnecessary files found!")
                                    : LangMessage("M092TI", "No unnecessary files found!"));
        StatusBar->showMessage(LangMessage("M092TI", "No unnecessary files found!"));
        lblTotal->clear();
    }
    for (TOVBitBtn *b : {btnSelectAll, btnDeleteAll})
        b->setEnabled(any);
    for (TOVBitBtn *b : {btnPrint, btnSave})
        b->setEnabled(!FRecords.isEmpty());
    if (!FScanning)
        NormalClick();
    UpdateDeleteButton();
}

void TTurhaIkkuna::UpdateDeleteButton()
{
    btnDelete->setEnabled(!FScanning && FileList->selectionModel()->hasSelection());
}

void TTurhaIkkuna::SearchDone()
{
    FFound.Flush();
    FWorker = nullptr;
    FScanning = false;
    FAborted = false;
    UpdateAfterSearch();
    SortRecords();
    TBatchState &batch = BatchState();
    if (!batch.FBatchMode)
        return;
    const QString n = QString::number(FileCount());
    QStringList skipped;
    for (const TUnnecessaryRecord *r : std::as_const(FRecords))
        if (r->Skipped())
            skipped << QStringLiteral("Skipped %1: %2").arg(r->Path, TDriveMap::NameFaultText(r->Fault));
    if (batch.FBatchSwitch == "-unn") {
        LogLines(QStringList{"Found " + n + " unnecessary files!"} + skipped, false);
    } else if (batch.FBatchSwitch == "-delunn") {
        LogLines(QStringList{"Found " + n + " unnecessary files! Deleting..."} + skipped, false);
        // What was found but cannot be deleted: the run did not do all it was asked.
        if (!skipped.isEmpty())
            batch.FBatchFailed = true;
        if (btnDeleteAll->isEnabled())
            btnDeleteAll->click();
    }
    Parami->start();
}

void TTurhaIkkuna::SearchAborted()
{
    FFound.Flush();
    FWorker = nullptr;
    FScanning = false;
    FAborted = true;
    UpdateAfterSearch();
    SortRecords();
    TBatchState &batch = BatchState();
    if (batch.FBatchMode) {
        batch.FBatchMode = false;
        batch.FBatchAborted = true;
        LogLines({"Aborted by user!"}, false);
    }
}

void TTurhaIkkuna::ParamiTimer()
{
    Parami->stop();
    close();
}

void TTurhaIkkuna::NormalClick()
{
    bool enable = false;
    for (QCheckBox *b : {TempDirectories, TemporaryInternet, History, Cookies, OfficeRecent, CustomDirectories})
        enable = enable || (b->isChecked() && b->isEnabled());
    if (!enable && !DiskList->selectedItems().isEmpty())
        enable = !edtFind->text().isEmpty() || (Normal->isChecked() && Normal->isEnabled())
              || (Extra->isChecked() && Extra->isEnabled());
    btnFind->setEnabled(enable && !FScanning);
}

void TTurhaIkkuna::DiskListChange()
{
    QString caption = FCaptionBase;
    for (const QString &item : CommaTextToList(DiskList->SelectedDrives()))
        caption += " - " + item;
    setWindowTitle(caption);
    NormalClick();
}

void TTurhaIkkuna::SortRecords()
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const int column = FSortColumn;
    const bool forward = FSortForward;
    auto text = [column](const TUnnecessaryRecord *r) -> const QString & {
        switch (column) {
        case 2: return r->TypeName;
        case 4: return r->AttrText;
        case 5: return r->FileVersion;
        case 6: return r->ProductVersion;
        default: return r->Path;
        }
    };
    // The dates are read back once each, in the prefix's formats they were written in.
    QHash<const TUnnecessaryRecord *, qint64> times;
    if (column == 3) {
        const TUserLocale locale = TUserLocale::FromRegistry();
        for (const TUnnecessaryRecord *r : std::as_const(FRecords)) {
            const QDateTime t = locale.ReadDateTime(r->DateText);
            times.insert(r, t.isValid() ? t.toMSecsSinceEpoch() : 0);
        }
    }
    auto compare = [&](const TUnnecessaryRecord *a, const TUnnecessaryRecord *b) -> qint64 {
        switch (column) {
        case 1: return a->Size < b->Size ? -1 : (a->Size > b->Size ? 1 : 0);
        case 3: {
            const qint64 ma = times.value(a), mb = times.value(b);
            return ma < mb ? -1 : (ma > mb ? 1 : 0);
        }
        default: return collator.compare(text(a), text(b));
        }
    };
    FModel->SetSortColumn(column);
    FModel->Reset([&] {
        std::stable_sort(FRecords.begin(), FRecords.end(), [&](const TUnnecessaryRecord *a, const TUnnecessaryRecord *b) {
            const qint64 c = compare(a, b);
            return forward ? c < 0 : c > 0;
        });
    });
    FileList->header()->setSortIndicator(column, forward ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TTurhaIkkuna::FileListColumnClick(int column)
{
    TurnSort(column);
    SortRecords();
}

QStringList TTurhaIkkuna::SelectedRows() const
{
    QStringList paths;
    for (int row : ToolWindow::SelectedRows(FileList))
        if (!FRecords.at(row)->Skipped())
            paths.append(FRecords.at(row)->Path);
    return paths;
}

void TTurhaIkkuna::btnSelectAllClick()
{
    FileList->selectAll();
    FileList->setFocus();
}

void TTurhaIkkuna::btnDeleteAllClick()
{
    btnSelectAllClick();
    btnDeleteClick();
}

void TTurhaIkkuna::btnDeleteClick()
{
    const int selected = int(SelectedRows().size());
    if (selected == 0)
        return;
    const TSettings &o = Options();
    if (o.FUnnConfirm && !BatchState().FBatchMode
        && !MessageBoxes::Confirm(this, SafeFormat(LangMessage("M086DI", "Are you sure you want to delete %d file(s)?"),
                                                   {TFormatArg::Count(selected)})))
        return;
    FDeleteList = SelectedRows();
    const auto done = [this](bool aborted) { AfterDelete(aborted); };
    if (PaaIkkuna)
        PaaIkkuna->DeleteFilesThreaded(FDeleteList, !o.FUnnRecycle, done);
    else
        FileDeletion::DeleteFilesThreaded(this, FDeleteList, !o.FUnnRecycle, o.FForceTryDelete, done);
}

void TTurhaIkkuna::AfterDelete(bool)
{
    FDeleteList.clear();
    const QList<int> rows = ToolWindow::SelectedRows(FileList);
    int failed = 0;
    QStringList left;
    FHostFolder = {};
    FModel->Reset([&] {
        QList<TUnnecessaryRecord *> kept;
        kept.reserve(FRecords.size());
        qsizetype selected = 0;  // the next of rows
        for (qsizetype i = 0; i < FRecords.size(); ++i) {
            TUnnecessaryRecord *r = FRecords.at(i);
            const bool chosen = selected < rows.size() && rows.at(selected) == i;
            selected += chosen ? 1 : 0;
            if (chosen && !FileExists(r->Path)) {
                FTotalSize -= r->Size;
                delete r;
                continue;
            }
            if (chosen) {
                ++failed;
                left << r->Path;
            }
            kept.append(r);
        }
        FRecords = kept;
    });
    if (failed > 0) {
        // Each file that stayed is named with the system's reason: "maybe in use" alone hid a full
        // disk, a trash that cannot be written and a stopped run.
        const QStringList reasons = FileDeletion::KeptLines(left);
        if (BatchState().FBatchMode) {
            LogLines({"Vaskimo failed to delete " + QString::number(failed)
                      + " of the selected file(s)! File(s) maybe in use."},
                     false);
            FileDeletion::ReportKept(BatchState(), reasons);
        } else {
            MessageBoxes::Error(this, SafeFormat(LangMessage("M087DI", "Vaskimo failed to delete %d of the selected "
                                                                       "file(s)! File(s) maybe in use."),
                                                 {TFormatArg::Count(failed)})
                                          + QStringLiteral("\n\n") + FileDeletion::KeptText(reasons));
        }
    }
    UpdateAfterSearch();
}

void TTurhaIkkuna::btnPrintClick()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        PrintListView(FileList, FCaptionBase, printer, this);
}

void TTurhaIkkuna::btnSaveClick()
{
    const QString fileName = ToolWindow::ListingFileName(this);
    if (fileName.isEmpty())
        return;
    SaveListViewHtml(FileList, fileName, FCaptionBase, this);
}

void TTurhaIkkuna::OpenSelected()
{
    const QModelIndex current = FileList->currentIndex();
    if (!current.isValid() || current.row() >= FRecords.size())
        return;
    const QString host = HostPathOf(FRecords.at(current.row())->Path);
    if (!host.isEmpty() && QFileInfo(host).isFile())
        QDesktopServices::openUrl(QUrl::fromLocalFile(host));
}

bool TTurhaIkkuna::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == FileList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Delete) {
            if (btnDelete->isEnabled())
                btnDelete->click();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OpenSelected();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TTurhaIkkuna::SearchRunning() const { return btnStop->isEnabled(); }

void TTurhaIkkuna::StopSearch() { btnStop->click(); }

void TTurhaIkkuna::Closing()
{
    if (PaaIkkuna)
        PaaIkkuna->FUnnecessaryOpen = false;
}
