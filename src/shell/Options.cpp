// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the options window: its pages, which controls enable which, the pickers and the scheduling questions.
#include "shell/Options.h"

#include "platform/DriveMap.h"
#include "platform/ProgramInfo.h"
#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/LanguageChooser.h"
#include "shell/MessageBoxes.h"
#include "shell/Settings.h"
#include "shell/SettingsUi.h"

#include "ui_Options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QSet>
#include <QTabBar>
#include <QTimeEdit>


namespace {

Options::TFolderPicker &FolderPicker()
{
    static Options::TFolderPicker picker;
    return picker;
}
Options::TPicturePicker &PicturePicker()
{
    static Options::TPicturePicker picker;
    return picker;
}
Options::TFontPicker &FontPicker()
{
    static Options::TFontPicker picker;
    return picker;
}

std::optional<QString> RealFolderPicker(QWidget *parent, const QString &title)
{
    const QString host = QFileDialog::getExistingDirectory(parent, title);
    if (host.isEmpty())
        return std::nullopt;
    const QString windows = TWinePrefix::Current()->Drives().ToWindows(host);
    return windows.isEmpty() ? host : windows;
}

std::optional<QString> RealPicturePicker(QWidget *parent, const QString &title)
{
    const QString host = QFileDialog::getOpenFileName(
        parent, title, QString(), QStringLiteral("Pictures (*.bmp *.jpg *.jpeg *.png *.gif);;All files (*)"));
    if (host.isEmpty())
        return std::nullopt;
    const QString windows = TWinePrefix::Current()->Drives().ToWindows(host);
    return windows.isEmpty() ? host : windows;
}

std::optional<QFont> RealFontPicker(QWidget *parent, const QFont &initial)
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, parent);
    return ok ? std::optional<QFont>(font) : std::nullopt;
}

const char *const TaskBoxes[] = {"RegistryCheck", "TempCheck", "CacheCheck", "CookiesCheck", "HistoryCheck", "MRUCheck"};
const char *const DayBoxes[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturnday", "Sunday"};

int AltKeyOf(const QString &caption)
{
    const QKeySequence key = QKeySequence::mnemonic(caption);
    return key.isEmpty() ? 0 : key[0].toCombined();
}

// The day boxes show the locale's short day names, known only at run time. Each box that still
// shows its name takes the first of its letters that no control in sight with its page has as its
// Alt key, and none when every letter is taken; a language file's own text is left as it is.
void MarkDayBoxes(const QWidget *window, const QTabWidget *pages, const QWidget *page)
{
    const auto inSight = [&](const QWidget *w) { return page->isAncestorOf(w) || !pages->isAncestorOf(w); };
    QSet<int> taken;
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>())
        if (inSight(button))
            taken.insert(AltKeyOf(button->text()));
    for (const QLabel *label : window->findChildren<QLabel *>())
        if (label->buddy() && inSight(label))
            taken.insert(AltKeyOf(label->text()));
    const QLocale locale;
    for (int d = 0; d < 7; ++d) {
        auto *box = window->findChild<QCheckBox *>(QLatin1String(DayBoxes[d]));
        const QString name = locale.dayName(d + 1, QLocale::ShortFormat);
        if (!box || box->text() != name)
            continue;
        for (qsizetype i = 0; i < name.size(); ++i) {
            const QString marked = name.left(i) + u'&' + name.mid(i);
            if (!name[i].isLetterOrNumber() || taken.contains(AltKeyOf(marked)))
                continue;
            taken.insert(AltKeyOf(marked));
            box->setText(marked);
            break;
        }
    }
}

} // namespace

void Options::SetFolderPicker(TFolderPicker picker) { FolderPicker() = std::move(picker); }
void Options::SetPicturePicker(TPicturePicker picker) { PicturePicker() = std::move(picker); }
void Options::SetFontPicker(TFontPicker picker) { FontPicker() = std::move(picker); }

QString Options::FontDescription(const QFont &font)
{
    const int size = font.pointSize() > 0 ? font.pointSize() : qRound(font.pointSizeF());
    QString text = font.family() + QStringLiteral(", ") + QString::number(size) + QStringLiteral("pt");
    if (font.bold())
        text += QStringLiteral(", Bold");
    if (font.italic())
        text += QStringLiteral(", Italic");
    if (font.underline())
        text += QStringLiteral(", Underline");
    if (font.strikeOut())
        text += QStringLiteral(", Strike out");
    return text;
}

TOptionsIkkuna::TOptionsIkkuna(QWidget *parent, bool winNT) : QDialog(parent)
{
    FormCreate(winNT);
    MarkDayBoxes(this, Asetukset, ui->SchedulingSheet);
}

TOptionsIkkuna::~TOptionsIkkuna() = default;

TOptionsIkkuna::TOptionsIkkuna(QWidget *parent, TSettings &settings, bool runAtStartup, const QString &programFolder,
                               bool winNT)
    : QDialog(parent), FBound(&settings)
{
    FormCreate(winNT);
    if (settings.FLanguageIndex != 0)
        TranslateWindow(this, settings.FLanguageIndex, settings.FLanguage, programFolder);
    MarkDayBoxes(this, Asetukset, ui->SchedulingSheet);
    FillFrom(settings, runAtStartup, programFolder);
}

void TOptionsIkkuna::FormCreate(bool winNT)
{
    ui = std::make_unique<Ui::TOptionsIkkuna>();
    ui->setupUi(this);
    setProperty("HelpContext", 10);
    FOptionsShown = false;
    Asetukset = ui->Asetukset;
    Reunus = ui->Reunus;
    Ok = ui->Ok;
    Cancel = ui->Cancel;
    FontLabel = ui->FontLabel;
    LangDir = ui->LangDir;

    QCheckBox *days[] = {ui->Monday, ui->Tuesday, ui->Wednesday, ui->Thursday, ui->Friday, ui->Saturnday, ui->Sunday};
    const QLocale locale;
    for (int d = 0; d < 7; ++d) {
        days[d]->setText(locale.dayName(d + 1, QLocale::ShortFormat));
        days[d]->setToolTip(locale.dayName(d + 1, QLocale::LongFormat));
    }
    ui->TimeEdit->setTime(QTime(0, 0));
    FillColorCombo(ui->BGColor);
    SetHoldsUserData(ui->ProxyUsername);
    // Only the NT family keeps compressed sizes.
    ui->MeasureGroup->setEnabled(winNT);
    ui->Compressed->setEnabled(winNT);
    ui->Uncompressed->setEnabled(winNT);
    Cancel->SetCancel(true);
    Asetukset->tabBar()->hide();
    connect(ui->PageList, &QListWidget::currentRowChanged, Asetukset, &QTabWidget::setCurrentIndex);
    connect(Asetukset, &QTabWidget::currentChanged, ui->PageList, [this](int page) { ui->PageList->setCurrentRow(page); });
    connect(Ok, &QPushButton::clicked, this, &TOptionsIkkuna::accept);
    connect(Cancel, &QPushButton::clicked, this, &TOptionsIkkuna::reject);

    // User clicks only: filling the controls must not run the handlers (or ask anything).
    const struct {
        const char *Name;
        void (TOptionsIkkuna::*Handler)();
    } clicks[] = {
        {"SameDate", &TOptionsIkkuna::SameSizeClick},         {"SameName", &TOptionsIkkuna::SameSizeClick},
        {"SameSize", &TOptionsIkkuna::SameSizeClick},         {"Undo", &TOptionsIkkuna::UndoClick},
        {"UndoLisaaPoista", &TOptionsIkkuna::UndoLisaaPoistaClick},
        {"StartupUndo", &TOptionsIkkuna::StartupUndoClick},   {"UseProxy", &TOptionsIkkuna::UseProxyClick},
        {"AutoUpdate", &TOptionsIkkuna::AutoUpdateClick},     {"NoBG", &TOptionsIkkuna::NoBGClick},
        {"AvaaButton", &TOptionsIkkuna::AvaaButtonClick},     {"btnFont", &TOptionsIkkuna::btnFontClick},
        {"HaeHak", &TOptionsIkkuna::HaeHakClick},             {"GetHakemisto", &TOptionsIkkuna::GetHakemistoClick},
        {"HaeStartupHak", &TOptionsIkkuna::HaeStartupHakClick}, {"BrowseButton", &TOptionsIkkuna::BrowseButtonClick},
        {"btnAddCustomDir", &TOptionsIkkuna::btnAddCustomDirClick},
        {"btnRemoveCustomDir", &TOptionsIkkuna::btnRemoveCustomDirClick},
        {"RegistryCheck", &TOptionsIkkuna::RegistryCheckClick}, {"TempCheck", &TOptionsIkkuna::RegistryCheckClick},
        {"CacheCheck", &TOptionsIkkuna::RegistryCheckClick},  {"CookiesCheck", &TOptionsIkkuna::RegistryCheckClick},
        {"HistoryCheck", &TOptionsIkkuna::RegistryCheckClick}, {"MRUCheck", &TOptionsIkkuna::RegistryCheckClick},
        {"Daily", &TOptionsIkkuna::WeeklyClick},              {"Weekly", &TOptionsIkkuna::WeeklyClick},
        {"Monthly", &TOptionsIkkuna::WeeklyClick},            {"Start", &TOptionsIkkuna::TimeDayClick},
        {"TimeDay", &TOptionsIkkuna::TimeDayClick},           {"Idle", &TOptionsIkkuna::TimeDayClick},
    };
    for (const auto &c : clicks)
        if (auto *button = Control<QAbstractButton>(c.Name))
            connect(button, &QAbstractButton::clicked, this, c.Handler);
    auto *dirs = Control<QListWidget>("CustomDir");
    connect(dirs, &QListWidget::itemSelectionChanged, this, &TOptionsIkkuna::CustomDirClick);
    connect(dirs, &QListWidget::itemEntered, this, &TOptionsIkkuna::CustomDirMouseMove);
    RunEnablingRules();
    ShowPageList();
}

void TOptionsIkkuna::FillFrom(const TSettings &settings, bool runAtStartup, const QString &programFolder)
{
    const QString folder = QDir::toNativeSeparators(ProgramInfo::ShippedFile(programFolder, QStringLiteral("Languages")) + u'/');
    LangDir->setText(folder);
    LangDir->setToolTip(folder);
    FillLanguageCombo(Control<QComboBox>("Language"), programFolder, LanguageFlags::DefaultFlag(),
                      LanguageFlags::UnknownFlag());
    FillOptionControls(this, settings);
    Control<QAbstractButton>("Start")->setChecked(runAtStartup);
    ShowFontText();
    RunEnablingRules();
    ShowPageList();  // the captions may have been translated
}

void TOptionsIkkuna::ReadInto(TSettings &settings) const { ReadOptionControls(this, settings); }

bool TOptionsIkkuna::RunAtStartup() const { return Checked("Start"); }

void TOptionsIkkuna::RunEnablingRules()
{
    SameSizeClick();
    UndoClick();
    UndoLisaaPoistaClick();
    StartupUndoClick();
    UseProxyClick();
    AutoUpdateClick();
    NoBGClick();
    CustomDirClick();
    SchedulingRules();
}

void TOptionsIkkuna::accept()
{
    if (FBound)
        ReadInto(*FBound);
    QDialog::accept();
}

void TOptionsIkkuna::showEvent(QShowEvent *event)
{
    FOptionsShown = true;
    ShowPageList();
    QDialog::showEvent(event);
}

// Eleven tabs do not fit any width a dialog may take: the pages are chosen in a list of their
// captions, wide enough for the longest (again when a translation may have changed them).
void TOptionsIkkuna::ShowPageList()
{
    QListWidget *list = ui->PageList;
    const QSignalBlocker blocker(list);
    list->setSpacing(2);
    list->clear();
    int widest = 0;
    for (int page = 0; page < Asetukset->count(); ++page) {
        QString caption = Asetukset->tabText(page);
        caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
        caption.remove(u'&');
        caption.replace(u'\x01', u'&');
        list->addItem(caption);
        widest = qMax(widest, list->fontMetrics().horizontalAdvance(caption));
    }
    list->setFixedWidth(widest + 2 * list->frameWidth() + 24);
    list->setCurrentRow(Asetukset->currentIndex());
}

void TOptionsIkkuna::Enable(std::initializer_list<const char *> names, bool enabled)
{
    for (const char *name : names)
        if (QWidget *w = Control<QWidget>(name))
            w->setEnabled(enabled);
}

bool TOptionsIkkuna::Checked(const char *name) const
{
    const auto *button = Control<QAbstractButton>(name);
    return button && button->isChecked();
}

void TOptionsIkkuna::SameSizeClick()
{
    const char *criteria[] = {"SameDate", "SameSize", "SameName"};
    int checked = 0;
    for (const char *name : criteria)
        checked += Checked(name) ? 1 : 0;
    // A settings file with no criterion at all would make every file a duplicate of every other.
    if (checked == 0) {
        Control<QAbstractButton>("SameSize")->setChecked(true);
        checked = 1;
    }
    Enable({"SameDate", "SameSize", "SameName"}, true);
    if (checked == 1)
        for (const char *name : criteria)
            if (Checked(name))
                Enable({name}, false);
    Enable({"SameCRC", "SameMD5"}, Checked("SameSize"));
}

void TOptionsIkkuna::UndoClick()
{
    Enable({"UndoLevels", "UndoLevelsUpDown", "Label1", "Label3", "UndoHakemisto", "HaeHak"}, Checked("Undo"));
}

void TOptionsIkkuna::UndoLisaaPoistaClick()
{
    Enable({"Label16", "LisaaPoistaUndoHakemisto", "GetHakemisto"}, Checked("UndoLisaaPoista"));
}

void TOptionsIkkuna::StartupUndoClick()
{
    Enable({"Label15", "StartupUndoHakemisto", "HaeStartupHak"}, Checked("StartupUndo"));
}

void TOptionsIkkuna::UseProxyClick()
{
    Enable({"Label7", "Proxy", "Label8", "ProxyPort", "ProxyPortUpDown", "Label17", "ProxyUsername", "Label18",
            "ProxyPassword"},
           Checked("UseProxy"));
}

void TOptionsIkkuna::AutoUpdateClick() { Enable({"AlwaysConnected", "AutomateBlacklist"}, Checked("AutoUpdate")); }

void TOptionsIkkuna::NoBGClick()
{
    Enable({"Label2", "Label12", "BackGround", "AvaaButton", "BGStyle"}, !Checked("NoBG"));
}

void TOptionsIkkuna::CustomDirClick()
{
    Enable({"btnRemoveCustomDir"}, !Control<QListWidget>("CustomDir")->selectedItems().isEmpty());
}

void TOptionsIkkuna::CustomDirMouseMove(QListWidgetItem *item)
{
    Control<QListWidget>("CustomDir")->setToolTip(item ? item->text() : QString());
}

void TOptionsIkkuna::SchedulingRules()
{
    bool chosen = false;
    for (const char *name : TaskBoxes)
        chosen = chosen || Checked(name);
    Enable({"CloseOnReady", "DeleteAll"}, chosen);
    const bool follow = Control<QWidget>("CloseOnReady")->isEnabled();
    Enable({"Daily", "Weekly", "Monthly", "TimeDay", "Idle"}, follow);
    // WeeklyClick
    const bool weekly = Checked("Weekly") && Control<QWidget>("Weekly")->isEnabled();
    for (const char *day : DayBoxes)
        Enable({day}, weekly);
    Enable({"MonthBox"}, Checked("Monthly") && Control<QWidget>("Monthly")->isEnabled());
    // TimeDayClick
    Enable({"TimeEdit"}, Checked("TimeDay") && Control<QWidget>("TimeDay")->isEnabled());
    Enable({"IdleEdit"}, Checked("Idle") && Control<QWidget>("Idle")->isEnabled());
    Enable({"IdleEditUpDown"}, Checked("Idle") && Control<QWidget>("TimeDay")->isEnabled());
}

void TOptionsIkkuna::AskAboutAutoStart()
{
    if (!FOptionsShown)
        return;
    bool chosen = false;
    for (const char *name : TaskBoxes)
        chosen = chosen || Checked(name);
    auto *start = Control<QAbstractButton>("Start");
    if (chosen && !start->isChecked()) {
        if (MessageBoxes::Confirm(this, LangMessage("M133OI", "Scheduling is enabled but Vaskimo is not set to start on "
                                                              "Windows startup. Would you like to set it now?")))
            start->setChecked(true);
    } else if (!chosen && start->isChecked()) {
        if (MessageBoxes::Confirm(this, LangMessage("M134OI", "Scheduling is disabled but Vaskimo is set to start on "
                                                              "Windows startup. Would you like to disable the auto-start now?")))
            start->setChecked(false);
    }
}

void TOptionsIkkuna::RegistryCheckClick()
{
    SchedulingRules();
    AskAboutAutoStart();
}

void TOptionsIkkuna::WeeklyClick()
{
    SchedulingRules();
    AskAboutAutoStart();
}

void TOptionsIkkuna::TimeDayClick()
{
    SchedulingRules();
    AskAboutAutoStart();
}

void TOptionsIkkuna::PickFolderInto(const char *editName)
{
    const Options::TFolderPicker picker = FolderPicker() ? FolderPicker() : RealFolderPicker;
    const std::optional<QString> folder = picker(this, LangMessage("M083DI", "Select directory"));
    if (!folder || folder->isEmpty())
        return;
    QString text = *folder;
    if (!text.endsWith(u'\\'))
        text += u'\\';
    Control<QLineEdit>(editName)->setText(text);
}

void TOptionsIkkuna::HaeHakClick() { PickFolderInto("UndoHakemisto"); }
void TOptionsIkkuna::GetHakemistoClick() { PickFolderInto("LisaaPoistaUndoHakemisto"); }
void TOptionsIkkuna::HaeStartupHakClick() { PickFolderInto("StartupUndoHakemisto"); }
void TOptionsIkkuna::BrowseButtonClick() { PickFolderInto("SaveTo"); }

void TOptionsIkkuna::btnAddCustomDirClick()
{
    const Options::TFolderPicker picker = FolderPicker() ? FolderPicker() : RealFolderPicker;
    const std::optional<QString> folder = picker(this, LangMessage("M083DI", "Select directory"));
    if (folder && !folder->isEmpty())
        AddCustomDirItem(Control<QListWidget>("CustomDir"), *folder);
}

void TOptionsIkkuna::btnRemoveCustomDirClick()
{
    auto *dirs = Control<QListWidget>("CustomDir");
    for (int i = dirs->count() - 1; i >= 0; --i)
        if (dirs->item(i)->isSelected())
            delete dirs->takeItem(i);
    CustomDirClick();
}

void TOptionsIkkuna::AvaaButtonClick()
{
    const Options::TPicturePicker picker = PicturePicker() ? PicturePicker() : RealPicturePicker;
    const std::optional<QString> file = picker(this, QStringLiteral("Open background image"));
    if (!file || file->isEmpty())
        return;
    auto *background = Control<QComboBox>("BackGround");
    background->addItem(*file);
    background->setCurrentIndex(background->count() - 1);
}

void TOptionsIkkuna::btnFontClick()
{
    const Options::TFontPicker picker = FontPicker() ? FontPicker() : RealFontPicker;
    const QVariant current = property("UserFont");
    const QFont initial = current.metaType() == QMetaType::fromType<QFont>() ? current.value<QFont>() : font();
    const std::optional<QFont> chosen = picker(this, initial);
    if (!chosen)
        return;
    setProperty("UserFont", *chosen);
    ShowFontText();
    setFont(*chosen);
}

void TOptionsIkkuna::ShowFontText()
{
    const QVariant current = property("UserFont");
    FontLabel->setText(Options::FontDescription(current.metaType() == QMetaType::fromType<QFont>() ? current.value<QFont>()
                                                                                                 : font()));
}
