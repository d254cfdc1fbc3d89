// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window's creation, its buttons and hint panel, the tool launcher and the batch run.
#include "shell/Main.h"

#include "platform/CodePage.h"
#include "platform/ProgramInfo.h"
#include "platform/WinEnvironment.h"
#include "platform/Registry.h"
#include "platform/WinFiles.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/JpegImage.h"
#include "shell/MainImpl.h"
#include "shell/MessageBoxes.h"
#include "shell/SafeFormat.h"
#include "shell/Options.h"
#include "shell/Services.h"
#include "shell/Settings.h"
#include "shell/ToolWindow.h"
#include "shell/SettingsUi.h"
#include "shell/StopSignals.h"

#include "ui_Main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCloseEvent>
#include <QCollator>
#include <QDesktopServices>
#include <QDialog>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <exception>

TPaaIkkuna *PaaIkkuna = nullptr;

// The pictures live in a static library: their registration must be pulled in by hand.
static void InitMainResources() { Q_INIT_RESOURCE(Main); }

namespace {

QHash<TToolKind, TToolFactory> &Factories()
{
    static QHash<TToolKind, TToolFactory> factories;
    return factories;
}

TStartHooks &Hooks()
{
    static TStartHooks hooks;
    return hooks;
}

const QString kRunKey = QStringLiteral("\\Software\\MicroSoft\\Windows\\CurrentVersion\\Run");
const QString kRunValue = QStringLiteral("Orvendal Vaskimo");
const QString kMakerAddress = QStringLiteral("http://www.orvendal.fi/");

struct THint {
    const char *Button;
    const char *TitleId, *Title;
    const char *BodyId, *Body;
};

const THint kHints[] = {
    {"btnRegistry", "M001MF", "Clean registry", "M002MF",
     "Finds invalid entries (entries pointing nowhere) from the registry. This speeds up your computer, but this is "
     "rather dangerous so please see undo-options or keep a backup of your registry!"},
    {"btnAddRemove", "M003MF", "Add/remove cleaner", "M004MF",
     "Lists contents of the Windows' \"add/remove program\" list. And then let's you delete all false entries. Saves "
     "your nerves after an uncomplete uninstallation!"},
    {"btnDuplicates", "M005MF", "Search for duplicate files", "M006MF",
     "Finds duplicate files, deleting them will free disk space. You might want to delete those files in to the "
     "recycle bin (see options) because you maybe miss them later! Be extremely careful, this is not recommended for "
     "beginners!"},
    {"btnUnnecessary", "M007MF", "Search for unnecessary files", "M008MF",
     "Finds all kinds of unnecessary files like backups, temporary files, Internet cookie files etc. Deleting them "
     "will free disk space and speed up some programs' starting."},
    {"btnStart", "M009MF", "Clean invalid shortcuts", "M010MF",
     "When you delete a program manually usually its shortcut remains in the start menu. This can still happen even "
     "if you are using uninstallation program! This cleans all the unnecessary shortcuts!"},
    {"btnSpaceUsage", "M011MF", "Space usage", "M012MF", "Shows some interesting information about your disk space usage."},
    {"btnUpdate", "M013MF", "Check for updates", "M014MF",
     "Checks the Web for updates to Vaskimo and to the black list. Updating the black list provides fixes for newly "
     "found problems. Recommended to use at least once a month."},
    {"btnOptions", "M015MF", "Options", "M016MF",
     "Important options like search settings, language, undo etc. Please set these to the way you like before you do "
     "anything else!"},
    {"btnAbout", "M017MF", "About", "M018MF", "Shows some intresting information about Vaskimo. Please check it out!"},
    {"btnHelp", "M019MF", "Help", "M020MF",
     "Opens Vaskimo's help, there you can find useful stuff such as FAQ, help and tips how to use these tools. Please "
     "read it if you haven't already done so!"},
    {"btnClose", "M021MF", "Close", "M022MF", "Simple procedure which will prevent Vaskimo from doing good to your computer."},
    {"btnUndo", "M023MF", "Undo", "M024MF",
     "Browse your undo files, restore deletions back to the registry. Undo your wrong moves!"},
    {"btnStartup", "M025MF", "Startup", "M026MF",
     "Manage programs starting at startup, you might be surprised! You might even catch a virus BEFORE it gets "
     "serious..."},
    {"btnCache", "M027MF", "IE temp internet files", "M028MF",
     "Clear Internet Explorer temporary files with just one click, no need to list the files with the unnecessary "
     "file finder!"},
    {"btnHistory", "M029MF", "IE history", "M030MF",
     "Clear Internet Explorer history with just one click, no need to list the files with the unnecessary file "
     "finder!"},
    {"btnMRU", "M031MF", "Most Recently Used", "M032MF",
     "Clear the start menu's most recently used list, to protect your privacy!"},
    {"btnCookies", "M033MF", "IE cookies", "M034MF",
     "Clear Internet Explorer cookies with just one click, no need to list the files with the unnecessary file "
     "finder!"},
};

QString FriendlyTipsTitle() { return LangMessage(QStringLiteral("M035MF"), QStringLiteral("Friendly tips")); }
QString FriendlyTipsBody()
{
    return LangMessage(
        QStringLiteral("M036MF"),
        QStringLiteral("To keep your computer clean, you should scan the registry and the hard disks for unnecessary "
                       "entries at least once per week. Always uninstall programs with Windows' (or Vaskimo's) "
                       "add/remove software utility! Otherwise your registry and start menu gets dirty soon. Try "
                       "Vaskimo's add/remove and start menu utilies to fix that.\r\rAnd one last thing; your actions "
                       "are always undoable with a help from the undo-tool and Windows' recycle bin!"));
}

// A label breaks lines at "\n" only; the messages break them with CR (LF).
QString LabelText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

bool IsKept(TToolKind kind)
{
    return kind != TToolKind::Update && kind != TToolKind::Options && kind != TToolKind::About;
}

// Walked from the last entry to the first: empty or missing folders go, every entry ends in "\",
// and an entry whose "\" form is already there simply goes.
void CleanFolderList(QStringList &list)
{
    for (qsizetype i = list.size() - 1; i >= 0; --i) {
        const QString entry = list.at(i);
        if (entry.isEmpty() || !WinFiles::DirectoryExists(entry)) {
            list.removeAt(i);
            continue;
        }
        if (!entry.endsWith(u'\\')) {
            list.removeAt(i);
            const QString slashed = entry + u'\\';
            if (!list.contains(slashed, Qt::CaseInsensitive))
                list.append(slashed);
        }
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(list.begin(), list.end(), [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    list.erase(std::unique(list.begin(), list.end(),
                           [&](const QString &a, const QString &b) { return collator.compare(a, b) == 0; }),
               list.end());
}

void Complain(const QString &text) { std::fprintf(stderr, "Vaskimo: %s\n", qPrintable(text)); }

QString ProcessCommandLine(const QStringList &arguments)
{
    QStringList parts;
    for (const QString &a : arguments)
        parts << (a.contains(u' ') || a.isEmpty() ? u'"' + a + u'"' : a);
    return parts.join(u' ');
}

} // namespace

TPaaIkkuna::TPaaIkkuna(const QString &programFolder, QWidget *parent)
    : QMainWindow(parent), d(std::make_unique<TImpl>())
{
    PaaIkkuna = this;
    InitMainResources();
    // Every window the program opens shows its icon, at the size its title bar or task bar asks.
    QIcon icon(QStringLiteral(":/main/pictures/Vaskimo.png"));
    icon.addFile(QStringLiteral(":/main/pictures/Vaskimo48.png"));
    QApplication::setWindowIcon(icon);
    ToolWindow::KeepWindowsOnScreen();
    d->ProgramFolder = programFolder.endsWith(u'/') ? programFolder : programFolder + u'/';
    d->Ui = std::make_unique<Ui::TPaaIkkuna>();
    d->Ui->setupUi(this);
    setObjectName(QStringLiteral("PaaIkkuna"));
    setWindowTitle(ProgramInfo::Title());
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowMinimizeButtonHint) &
                   ~Qt::WindowMaximizeButtonHint);
    d->Ui->btnClose->SetCancel(true);
    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, &TPaaIkkuna::btnHelpClick);
    for (const THint &hint : kHints) {
        TOVBitBtn *button = findChild<TOVBitBtn *>(QLatin1String(hint.Button));
        connect(button, &TOVBitBtn::OnMouseEnter, this, [this, hint] {
            d->Ui->Label3->setText(LangMessage(QLatin1String(hint.TitleId), QLatin1String(hint.Title)));
            d->Ui->Label4->setText(LabelText(LangMessage(QLatin1String(hint.BodyId), QLatin1String(hint.Body))));
        });
        connect(button, &TOVBitBtn::OnMouseExit, this, &TPaaIkkuna::btnRegistryMouseExit);
    }
    const struct { TOVBitBtn *button; void (TPaaIkkuna::*handler)(); } clicks[] = {
        {d->Ui->btnRegistry, &TPaaIkkuna::btnRegistryClick}, {d->Ui->btnAddRemove, &TPaaIkkuna::btnAddRemoveClick},
        {d->Ui->btnDuplicates, &TPaaIkkuna::btnDuplicatesClick}, {d->Ui->btnUnnecessary, &TPaaIkkuna::btnUnnecessaryClick},
        {d->Ui->btnStart, &TPaaIkkuna::btnStartClick}, {d->Ui->btnSpaceUsage, &TPaaIkkuna::btnSpaceUsageClick},
        {d->Ui->btnUndo, &TPaaIkkuna::btnUndoClick}, {d->Ui->btnUpdate, &TPaaIkkuna::btnUpdateClick},
        {d->Ui->btnOptions, &TPaaIkkuna::btnOptionsClick}, {d->Ui->btnAbout, &TPaaIkkuna::btnAboutClick},
        {d->Ui->btnHelp, &TPaaIkkuna::btnHelpClick}, {d->Ui->btnClose, &TPaaIkkuna::btnCloseClick},
        {d->Ui->btnStartup, &TPaaIkkuna::btnStartupClick}, {d->Ui->btnCache, &TPaaIkkuna::btnCacheClick},
        {d->Ui->btnHistory, &TPaaIkkuna::btnHistoryClick}, {d->Ui->btnMRU, &TPaaIkkuna::btnMRUClick},
        {d->Ui->btnCookies, &TPaaIkkuna::btnCookiesClick},
    };
    for (const auto &c : clicks)
        connect(c.button, &QPushButton::clicked, this, c.handler);
    d->Ui->Label5->installEventFilter(this);
    d->Ui->Label6->installEventFilter(this);
    CreateTray();
    d->Parami = new QTimer(this);
    d->Parami->setSingleShot(true);
    d->Parami->setInterval(1);
    connect(d->Parami, &QTimer::timeout, this, &TPaaIkkuna::ParamiTimer);
    d->Paivitys = new QTimer(this);
    d->Paivitys->setInterval(120000);
    connect(d->Paivitys, &QTimer::timeout, this, &TPaaIkkuna::PaivitysTimer);
    FormCreate();
}

void TPaaIkkuna::FormCreate()
{
    TSettings &s = d->Settings;
    // 1. The header template of registry undo files.
    FUndoHeader = QStringLiteral("REGEDIT4\r\n\r\n; This REG-file is generated by Orvendal Vaskimo\r\n"
                                 "; This contains UNDO-information for the entries deleted. Double click this file\r\n"
                                 "; in Windows Explorer to add these entries back to registry.\r\n"
                                 "; Generated on %s @ %s.");
    // 2. The maker lines.
    const int year = std::max(2006, QDate::currentDate().year());
    d->Ui->Label5->setText(QStringLiteral("Copyright \u00A9 1997-%1 Orvendal").arg(year));
    d->Ui->Label6->setText(QStringLiteral("Vaskimo is free software, 1997-%1").arg(year));
    d->Ui->Label5->setToolTip(kMakerAddress);
    // 3-4. Batch and window-open flags start cleared, the log empty (member initialisers).
    // 7. Auto-start.
    FRunAtStartup = ReadRunAtStartup();
    // 8-11. The settings.
    SetProgramFolderDefaults(s, WindowsProgramFolder());
    s.FWidth = width();
    s.FHeight = height();
    s.FUserFont = ScreenIconFont();
    ReadSettings(s, SettingsFilePath(d->ProgramFolder));
    // Numbers are written with the prefix's separators, as its dates are.
    {
        const TUserLocale locale = TUserLocale::FromRegistry();
        SetNumberSeparators({locale.Thousand, locale.Decimal});
    }
    resize(s.FWidth, s.FHeight);
    QWidget *splash = nullptr;
    if (s.FShowSplash && Hooks().ShowSplash) {
        try {
            splash = Hooks().ShowSplash();
        } catch (const std::exception &) {
            splash = nullptr;
        }
    }
    // 12. The user font.
    ApplyFont();
    // 13-14. The browser folders.
    CollectBrowserFolders();
    d->Ui->btnCache->setEnabled(!FCacheFolders.isEmpty());
    d->Ui->btnCookies->setEnabled(!FCookieFolders.isEmpty());
    d->Ui->btnHistory->setEnabled(!FHistoryFolders.isEmpty());
    // 15. Tray menu check marks.
    d->StartVaskimoonstartup1->setChecked(FRunAtStartup);
    d->Hidetothetrayonclose1->setChecked(s.FHideToTray);
    // 16-17. The background.
    d->BuiltIn = QImage(QStringLiteral(":/main/pictures/Tausta.png"));
    ApplyBackground();
    // 18. First run: the language chooser, its choice stored at once.
    if (s.FFirstRun && Hooks().ChooseLanguage) {
        delete splash;
        splash = nullptr;
        int index = 0;
        QString language;
        if (Hooks().ChooseLanguage(this, &index, &language)) {
            s.FLanguageIndex = index;
            s.FLanguage = language;
            QString error;
            if (!WriteLanguageChoice(s, SettingsFilePath(d->ProgramFolder), &error))
                ToolWindow::SettingsNotSaved(error);
        }
    }
    // 19. The help file.
    const QString helps = HelpsFolder();
    const QStringList helpFiles = {helps + "VK" + s.FLanguage + ".chm", helps + "VK" + s.FLanguage + ".hlp",
                                   helps + "VKEnglish.chm"};
    FHelpFile = helps + QStringLiteral("VKEnglish.hlp");
    for (const QString &f : helpFiles) {
        if (QFileInfo(f).isFile()) {
            FHelpFile = f;
            break;
        }
    }
    // 20. Translation.
    if (s.FLanguageIndex != 0) {
        OpenLanguageFile(d->ProgramFolder, s.FLanguage);
        TranslateForms(this);
        setWindowTitle(ProgramInfo::Title());  // a language file's caption would carry another version
    }
    // 21. Every prefix is an NT one.
    FWinNT = true;
    // 22. The hint panel.
    btnRegistryMouseExit();
    // 23. The splash window goes.
    delete splash;
    // 24. The update timer (the connection detector counts as offline until it reports).
    d->Paivitys->setInterval(120000);
    ApplyTimers();
}

void TPaaIkkuna::ApplyFont()
{
    const QFont userFont = ToQFont(d->Settings.FUserFont);
    setFont(userFont);
    QFont titleFont = userFont;
    titleFont.setBold(true);
    d->Ui->Label1->setFont(titleFont);
    d->Ui->Label3->setFont(titleFont);
}

void TPaaIkkuna::ApplyTimers()
{
    if (UpdateTimerEnabled(d->Settings, false)) {
        if (!d->Paivitys->isActive())
            d->Paivitys->start();
    } else {
        d->Paivitys->stop();
    }
}

TPaaIkkuna::~TPaaIkkuna()
{
    // The kept tool windows go first, while they can still reach the main window and its settings.
    for (QPointer<QDialog> &tool : d->Kept)
        delete tool.data();
    d->Kept.clear();
    QString error;
    if (!WriteWindowSize(width(), height(), SettingsFilePath(d->ProgramFolder), &error))
        ToolWindow::SettingsNotSaved(error);
    if (d->Tray)
        d->Tray->hide();
    if (PaaIkkuna == this)
        PaaIkkuna = nullptr;
}

QString TPaaIkkuna::HelpsFolder() const
{
    return ProgramInfo::ShippedFile(d->ProgramFolder, QStringLiteral("Helps")) + u'/';
}

QString TPaaIkkuna::WindowsProgramFolder() const
{
    const QString windows = WinFiles::DrivesOf().ToWindows(d->ProgramFolder);
    if (windows.isEmpty())
        return d->ProgramFolder;
    return windows.endsWith(u'\\') ? windows : windows + u'\\';
}

void TPaaIkkuna::CollectBrowserFolders()
{
    FCacheFolders.clear();
    FCookieFolders.clear();
    FHistoryFolders.clear();
    const struct { const char *value; QStringList *list; } folders[] = {
        {"Cookies", &FCookieFolders}, {"Cache", &FCacheFolders}, {"History", &FHistoryFolders}};
    try {
        TRegistry reg(TRootKey::CurrentUser);
        if (reg.OpenKeyReadOnly(QStringLiteral("\\Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"))) {
            for (const auto &f : folders)
                if (reg.ValueExists(QLatin1String(f.value)))
                    f.list->append(reg.ReadString(QLatin1String(f.value)));
        }
    } catch (const std::exception &) {
    }
    // The shell's own idea of the three folders (CSIDL_COOKIES, _INTERNET_CACHE, _HISTORY).
    try {
        const TWinEnvironment environment;
        for (const auto &f : folders) {
            const QString longPath = LongPathName(environment.SpecialFolder(QLatin1String(f.value)));
            if (!longPath.isEmpty())
                f.list->append(longPath);
        }
    } catch (const std::exception &) {
    }
    for (const auto &f : folders)
        CleanFolderList(*f.list);
}

void TPaaIkkuna::ApplyBackground()
{
    const TSettings &s = d->Settings;
    d->Tausta = d->BuiltIn;
    switch (BackgroundAction(s)) {
    case TBackgroundAction::LoadFile: {
        QString why;
        const QImage picture = JpegImage::LoadPicture(Services::HostPath(s.FBackgroundFile), &why);
        if (!picture.isNull())
            d->Tausta = picture;
        else if (!why.isEmpty())
            MessageBoxes::Error(this, why + QStringLiteral(" The built-in picture is shown instead."));
        break;
    }
    case TBackgroundAction::RestoreBuiltIn:
        break;
    case TBackgroundAction::Clear:
        d->Tausta = QImage();
        break;
    }
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(s.FBackgroundColor, pal));
    setPalette(pal);
    setAutoFillBackground(true);
    update();
}

void TPaaIkkuna::RegisterTool(TToolKind kind, TToolFactory factory) { Factories().insert(kind, std::move(factory)); }
void TPaaIkkuna::SetStartHooks(TStartHooks hooks) { Hooks() = std::move(hooks); }

QString TPaaIkkuna::ProgramFolder() const { return d->ProgramFolder; }
TSettings &TPaaIkkuna::Settings() { return d->Settings; }
const TSettings &TPaaIkkuna::Settings() const { return d->Settings; }

QString TPaaIkkuna::UndoHeader() const
{
    const TUserLocale locale = TUserLocale::FromRegistry();
    const QDateTime now = QDateTime::currentDateTime();
    QString header = FUndoHeader;
    const QString date = locale.Date(now.date());
    const qsizetype first = header.indexOf(QStringLiteral("%s"));
    if (first < 0)
        return header;
    header.replace(first, 2, date);
    // Searched after the date, so a date picture holding "%s" cannot take the time's place.
    const qsizetype second = header.indexOf(QStringLiteral("%s"), first + date.size());
    if (second >= 0)
        header.replace(second, 2, locale.Time(now.time()));
    return header;
}

QString TPaaIkkuna::TimeStamp() const { return TUserLocale::FromRegistry().Stamp(QDateTime::currentDateTime()); }
void TPaaIkkuna::AddLogLine(const QString &line) { FLog << TimeStamp() << line; }
void TPaaIkkuna::AddLogBlock(const QStringList &lines, bool leadingEmptyLine)
{
    if (leadingEmptyLine)
        FLog << QString();
    FLog << TimeStamp() << lines;
}

TRootKey TPaaIkkuna::RootKeyFromName(const QString &rootName) const { return Services::RootKeyFromName(rootName); }
QString TPaaIkkuna::LongPathName(const QString &path) const { return Services::LongPathName(path); }
QString TPaaIkkuna::UniqueFileName(const QString &folder, const QString &fileName) const
{
    return Services::UniqueFileName(folder, fileName);
}
QString TPaaIkkuna::VersionInfoString(const QString &fileName, const QString &name) const
{
    return Services::VersionInfoString(fileName, name);
}
QString TPaaIkkuna::ProgramVersion() const { return ProgramInfo::Version(); }
bool TPaaIkkuna::ReadShellLink(const QString &linkFile, TShellLinkInfo &info) const
{
    return Services::ReadShellLink(linkFile, info);
}
bool TPaaIkkuna::IsFolderEmpty(const QString &folder) const { return Services::IsFolderEmpty(folder); }
QString TPaaIkkuna::ListFiles(const QString &folder, const QString &mask, bool bareNames, bool skipDesktopIni) const
{
    return Services::ListFiles(folder, mask, bareNames, skipDesktopIni);
}
QString TPaaIkkuna::ListFolderTree(const QString &folder, bool skipDesktopIniFolders) const
{
    return Services::ListFolderTree(folder, skipDesktopIniFolders);
}

// ---- tools

bool TPaaIkkuna::HasTool(TToolKind kind) const { return Factories().contains(kind); }

int TPaaIkkuna::OpenTool(TToolKind kind) { return OpenToolFor(kind, QString()); }

int TPaaIkkuna::OpenToolFor(TToolKind kind, const QString &batchSwitch)
{
    const TToolFactory factory = Factories().value(kind);
    if (!factory) {
        MessageBoxes::Information(this, QStringLiteral("This tool is not part of this build of Vaskimo yet."));
        return -1;
    }
    bool *flags[] = {&FRegistryOpen, &FDuplicatesOpen, &FUnnecessaryOpen, &FShortcutsOpen,
                     &FSpaceUsageOpen, &FAddRemoveOpen, &FUndoOpen, &FStartupOpen};
    const TToolKind order[] = {TToolKind::Registry, TToolKind::Duplicates, TToolKind::Unnecessary, TToolKind::Shortcuts,
                               TToolKind::SpaceUsage, TToolKind::AddRemove, TToolKind::Undo, TToolKind::Startup};
    if (!IsKept(kind)) {
        QDialog *dialog = factory(this);
        if (!dialog)
            return -1;
        const int result = RunModal(dialog, batchSwitch);
        delete dialog;
        return result;
    }
    QPointer<QDialog> &dialog = d->Kept[kind];
    if (!dialog)
        dialog = factory(this);
    if (!dialog)
        return -1;
    for (int i = 0; i < 8; ++i)
        if (order[i] == kind)
            *flags[i] = true;
    return RunModal(dialog, batchSwitch);
}

int TPaaIkkuna::RunModal(QDialog *dialog, const QString &batchSwitch)
{
    QPointer<QDialog> guard(dialog);
    if (!batchSwitch.isEmpty()) {
        if (TBatchTool *tool = dynamic_cast<TBatchTool *>(dialog))
            QTimer::singleShot(0, dialog, [tool, batchSwitch] { tool->StartBatch(batchSwitch); });
    }
    d->Modal.append(dialog);
    int result = QDialog::Rejected;
    for (;;) {
        result = dialog->exec();
        if (!guard || !d->HiddenTools.contains(dialog))
            break;
        // Hidden to the tray: the run goes on until "Restore", or ends if the tool finishes meanwhile.
        QEventLoop loop;
        bool finished = false;
        const auto done = connect(dialog, &QDialog::finished, &loop, [&] {
            finished = true;
            loop.quit();
        });
        d->RestoreLoops.append(&loop);
        loop.exec();
        d->RestoreLoops.removeAll(&loop);
        disconnect(done);
        if (!guard)
            break;
        d->HiddenTools.remove(dialog);
        if (finished) {
            result = dialog->result();
            break;
        }
    }
    d->Modal.removeAll(guard.data());
    d->Modal.removeAll(nullptr);
    if (guard)
        d->HiddenTools.remove(dialog);
    return result;
}

void TPaaIkkuna::btnRegistryClick() { OpenTool(TToolKind::Registry); }
void TPaaIkkuna::btnAddRemoveClick() { OpenTool(TToolKind::AddRemove); }
void TPaaIkkuna::btnDuplicatesClick() { OpenTool(TToolKind::Duplicates); }
void TPaaIkkuna::btnUnnecessaryClick() { OpenTool(TToolKind::Unnecessary); }
void TPaaIkkuna::btnStartClick() { OpenTool(TToolKind::Shortcuts); }
void TPaaIkkuna::btnSpaceUsageClick() { OpenTool(TToolKind::SpaceUsage); }
void TPaaIkkuna::btnUndoClick() { OpenTool(TToolKind::Undo); }
void TPaaIkkuna::btnUpdateClick() { OpenTool(TToolKind::Update); }
void TPaaIkkuna::btnOptionsClick()
{
    const TToolFactory factory = Factories().value(TToolKind::Options);
    if (!factory) {
        MessageBoxes::Information(this, QStringLiteral("This tool is not part of this build of Vaskimo yet."));
        return;
    }
    TSettings &s = d->Settings;
    std::unique_ptr<QDialog> dialog(factory(this));
    if (!dialog)
        return;
    if (s.FLanguageIndex != 0) {
        OpenLanguageFile(d->ProgramFolder, s.FLanguage);
        TranslateForms(dialog.get());
    }
    auto *options = qobject_cast<TOptionsIkkuna *>(dialog.get());
    QAbstractButton *start = nullptr;
    if (options) {
        options->FillFrom(s, FRunAtStartup, d->ProgramFolder);
    } else {
        // Any other dialog with the controls' names.
        const QString languages = d->ProgramFolder + QStringLiteral("Languages/");
        if (auto *langDir = dialog->findChild<QLabel *>(QStringLiteral("LangDir"))) {
            langDir->setText(languages);
            langDir->setToolTip(languages);
        }
        if (auto *language = dialog->findChild<QComboBox *>(QStringLiteral("Language")); language && language->count() == 0)
            FillLanguageCombo(language, d->ProgramFolder, windowIcon(), QIcon());
        FillOptionControls(dialog.get(), s);
        start = dialog->findChild<QAbstractButton *>(QStringLiteral("Start"));
        if (start)
            start->setChecked(FRunAtStartup);
    }

    if (RunModal(dialog.get(), QString()) == QDialog::Accepted) {
        TSettings now = s;
        bool runAtStartup = FRunAtStartup;
        if (options) {
            options->ReadInto(now);
            runAtStartup = options->RunAtStartup();
        } else {
            ReadOptionControls(dialog.get(), now);
            if (start)
                runAtStartup = start->isChecked();
        }
        const TLanguageChange change = LanguageChangeAfterOptions(s, now);
        s = now;
        if (change == TLanguageChange::Translate) {
            OpenLanguageFile(d->ProgramFolder, s.FLanguage);
            TranslateForms(this);
            setWindowTitle(ProgramInfo::Title());
        } else if (change == TLanguageChange::NeedsRestart) {
            MessageBoxes::Information(this, QStringLiteral("You need to restart Vaskimo so that the changes take effect..."));
        }
        // Saved before anything is applied: a value the file could not take is applied as stored.
        QString error;
        QStringList kept;
        if (!WriteSettings(s, SettingsFilePath(d->ProgramFolder), &error, &kept)) {
            MessageBoxes::Error(this, error);
        } else {
            if (!kept.isEmpty()) {
                RestoreKeptSettings(s, SettingsFilePath(d->ProgramFolder), kept);
                MessageBoxes::Error(this, SafeFormat(LangMessage(QStringLiteral("M139OI"),
                                                                 QStringLiteral("These settings hold characters that the code page of the "
                                                                                "Wine prefix cannot store, and keep their saved values: %s. "
                                                                                "Every other setting was saved.")),
                                                     u'"' + kept.join(QStringLiteral("\", \"")) + u'"'));
            }
            if (runAtStartup != FRunAtStartup && !SetRunAtStartup(runAtStartup, &error))
                MessageBoxes::Error(this, error);
        }
        ApplyBackground();
        ApplyTimers();
        if (Hooks().OptionsApplied)
            Hooks().OptionsApplied();
        ApplyFont();
        d->StartVaskimoonstartup1->setChecked(FRunAtStartup);
        d->Hidetothetrayonclose1->setChecked(s.FHideToTray);
    }
    update();
}

void TPaaIkkuna::btnAboutClick() { OpenTool(TToolKind::About); }
void TPaaIkkuna::btnCloseClick() { close(); }
void TPaaIkkuna::btnStartupClick() { OpenTool(TToolKind::Startup); }

void TPaaIkkuna::btnHelpClick()
{
    const QString base = HelpsFolder() + QStringLiteral("VK") + d->Settings.FLanguage;
    for (const char *ext : {".htm", ".html", ".pdf"}) {
        const QString page = base + QLatin1String(ext);
        if (QFileInfo(page).isFile()) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(page));
            return;
        }
    }
    if (Hooks().ShowHelp)
        Hooks().ShowHelp(FHelpFile);
    else
        MessageBoxes::Information(this, QStringLiteral("No help file was found in \"%1\".").arg(HelpsFolder()));
}

void TPaaIkkuna::ClearBrowser(const QString &folders, int kind)
{
    if (Hooks().ClearBrowserData)
        Hooks().ClearBrowserData(folders, kind);
    else if (FBatchMode)
        FLog << TimeStamp() + QStringLiteral(": browser clearing is not part of this build");
    else
        MessageBoxes::Information(this, QStringLiteral("This tool is not part of this build of Vaskimo yet."));
}

void TPaaIkkuna::btnCacheClick() { ClearBrowser(ListToCommaTextQuoted(FCacheFolders), 0); }
void TPaaIkkuna::btnHistoryClick() { ClearBrowser(ListToCommaTextQuoted(FHistoryFolders), 1); }
void TPaaIkkuna::btnCookiesClick() { ClearBrowser(ListToCommaTextQuoted(FCookieFolders), 2); }
void TPaaIkkuna::btnMRUClick()
{
    if (Hooks().ClearRecentDocuments)
        Hooks().ClearRecentDocuments();
    else if (FBatchMode)
        FLog << TimeStamp() + QStringLiteral(": clearing the recent-documents list is not part of this build");
    else
        MessageBoxes::Information(this, QStringLiteral("This tool is not part of this build of Vaskimo yet."));
}

QString TPaaIkkuna::ListToCommaTextQuoted(const QStringList &folders)
{
    QStringList quoted;
    for (const QString &f : folders)
        quoted << u'"' + f + u'"';
    return quoted.join(u',');
}

void TPaaIkkuna::btnRegistryMouseExit()
{
    d->Ui->Label3->setText(FriendlyTipsTitle());
    d->Ui->Label4->setText(LabelText(FriendlyTipsBody()));
}

void TPaaIkkuna::Label5Click() { QDesktopServices::openUrl(QUrl(d->Ui->Label5->toolTip())); }

bool TPaaIkkuna::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == d->Ui->Label5 || watched == d->Ui->Label6) && event->type() == QEvent::MouseButtonRelease) {
        Label5Click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- start, timers, batch

void TPaaIkkuna::SetCommandLine(const QStringList &arguments) { d->CommandLine = arguments; }

void TPaaIkkuna::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!d->Shown) {
        d->Shown = true;
        d->Parami->start();
    }
}

void TPaaIkkuna::ParamiTimer()
{
    d->Parami->stop();
    const QStringList parameters = d->CommandLine.mid(1);
    if (!parameters.isEmpty() && Batch::HasTraySwitch(parameters)) {
        if (TrayAvailable()) {
            d->Tray->show();
            d->HiddenToTray = true;
            hide();
        } else {
            showMinimized();
        }
    }
    const QString switches = Batch::JoinParameters(parameters);
    if (!switches.isEmpty())
        TsiikaaParamssit(switches);
}

void TPaaIkkuna::PaivitysTimer()
{
    d->Paivitys->setInterval(10000);
    // Nobody may be asked anything during a batch run: the check waits for its end.
    if (d->InBatch)
        return;
    if (!isActiveWindow() || d->HiddenToTray) {
        d->Paivitys->stop();
        if (Hooks().AutoUpdateCheck)
            Hooks().AutoUpdateCheck();
    }
}

void TPaaIkkuna::TsiikaaParamssit(const QString &switches)
{
    // No box may wait for a user in a batch run: questions answer Yes, the rest goes to the log;
    // an error is a failure of the run.
    const MessageBoxes::THandler previous = MessageBoxes::SetHandler(
        [this](QWidget *, TMessageKind kind, const QString &text) {
            if (kind != TMessageKind::Confirmation)
                FLog << TimeStamp() + QStringLiteral(": ") + text;
            if (kind == TMessageKind::Error)
                KeepFailure(text);
            return true;
        });
    TBatchActions actions;
    actions.RunTool = [this](const QString &sw) {
        TToolKind kind = TToolKind::Registry;
        if (sw == u"-unn" || sw == u"-delunn")
            kind = TToolKind::Unnecessary;
        else if (sw == u"-dup")
            kind = TToolKind::Duplicates;
        else if (sw == u"-delsho")
            kind = TToolKind::Shortcuts;
        if (!HasTool(kind))
            return false;
        OpenToolFor(kind, sw);
        return true;
    };
    actions.ClearBrowser = [this](const QString &sw) {
        if (sw == u"-ccache")
            btnCacheClick();
        else if (sw == u"-ccookies")
            btnCookiesClick();
        else if (sw == u"-chistory")
            btnHistoryClick();
        else
            btnMRUClick();
    };
    actions.TimeStamp = [this] { return TimeStamp(); };
    actions.Refusal = Hooks().PrefixAbsence;
    actions.CodePage = AnsiCodePage();
    d->InBatch = true;
    d->BatchRan = true;
    TBatchOutcome outcome;
    try {
        outcome = Batch::Run(*this, switches, ProcessCommandLine(d->CommandLine), d->ProgramFolder + "Vaskimo.log",
                             actions);
    } catch (...) {
        FBatchMode = false;
        d->InBatch = false;
        MessageBoxes::SetHandler(previous);
        throw;
    }
    d->InBatch = false;
    MessageBoxes::SetHandler(previous);
    FinishBatch(outcome);
}

void TPaaIkkuna::FinishBatch(const TBatchOutcome &outcome)
{
    const TBatchEnd end = Batch::EndOfRun(outcome, FBatchAborted, d->EndAfterBatch, d->StopSignal);
    // Where cron and scripts look; the log holds the same lines.
    for (const QString &reason : std::as_const(FFailures))
        Complain(reason);
    if (!outcome.SaveError.isEmpty()) {
        // An unattended run reports where cron and scripts look; a user at the window sees a box.
        if (end.Ends)
            Complain(outcome.SaveError);
        else
            MessageBoxes::Error(this, outcome.SaveError);
    }
    if (!outcome.Refusal.isEmpty() && !end.Ends)
        MessageBoxes::Error(this, outcome.Refusal);
    if (end.Ends) {
        const int code = end.Code;
        QTimer::singleShot(0, this, [this, code] {
            close();
            QCoreApplication::exit(code);
        });
    }
}

void TPaaIkkuna::SetEndAfterBatch(bool always) { d->EndAfterBatch = always; }
bool TPaaIkkuna::BatchRunning() const { return d->InBatch; }

void TPaaIkkuna::StopForSignal(int signal)
{
    if (d->StopSignal != 0)
        return;
    d->StopSignal = signal;
    if (d->InBatch) {
        // The remaining switches are skipped as after a Stop; the log says why.
        FBatchAborted = true;
        FStopReason = QStringLiteral("stopped by ") + TStopSignals::Name(signal);
        FLog << TimeStamp() + QStringLiteral(": ") + FStopReason;
        KeepFailure(FStopReason);
    }
    d->Stopper = new QTimer(this);
    d->Stopper->setInterval(50);
    connect(d->Stopper, &QTimer::timeout, this, &TPaaIkkuna::StopNextWindow);
    d->Stopper->start();
    StopNextWindow();
}

// A tool window that searches refuses to close and stops its search instead, and the progress
// window's Esc presses Abort: so each tick asks the topmost modal window to go until none is left.
void TPaaIkkuna::StopNextWindow()
{
    if (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        return;
    }
    if (d->InBatch)
        return;  // the batch routine is between two switches; it ends the program itself
    d->Stopper->stop();
    const int code = ExitCode::Signal(d->StopSignal);
    // Stopped before its batch run could say so itself.
    if (!d->BatchRan && Batch::HasBatchWork(d->CommandLine.mid(1)))
        Complain(QStringLiteral("stopped by %1 before the run began; nothing ran").arg(TStopSignals::Name(d->StopSignal)));
    close();
    QCoreApplication::exit(code);
}

// ---- test access

QSystemTrayIcon *TPaaIkkuna::TrayIcon() const { return d->Tray; }
QMenu *TPaaIkkuna::TrayPopup() const { return d->TrayMenu; }
QLabel *TPaaIkkuna::HintTitle() const { return d->Ui->Label3; }
QLabel *TPaaIkkuna::HintBody() const { return d->Ui->Label4; }
TOVBitBtn *TPaaIkkuna::Button(const QString &objectName) const { return findChild<TOVBitBtn *>(objectName); }
bool TPaaIkkuna::HiddenToTray() const { return d->HiddenToTray; }

void TPaaIkkuna::paintEvent(QPaintEvent *event)
{
    QMainWindow::paintEvent(event);
    QPainter painter(this);
    PaintBackground(this, painter, false);
}

void TPaaIkkuna::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    // Closing the main window ends the program, also from the tray while the window is hidden,
    // and at once: a hidden update check or a download must not keep it (and its lock).
    if (event->isAccepted()) {
        if (Hooks().Quitting)
            Hooks().Quitting();
        QCoreApplication::quit();
    }
}
