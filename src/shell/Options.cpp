// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the options window: its pages, which controls enable which, the pickers and the scheduling questions.
#include "shell/Options.h"

#include "platform/DriveMap.h"
#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/LanguageChooser.h"
#include "shell/MessageBoxes.h"
#include "shell/Settings.h"
#include "shell/SettingsUi.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <string>

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

// Builds one page: a column of rows, each a widget or a caption with its control.
class TPage
{
public:
    TPage(QTabWidget *tabs, const char *name, const QString &caption)
    {
        Widget = new QWidget(tabs);
        Widget->setObjectName(QString::fromLatin1(name));
        Layout = new QGridLayout(Widget);
        tabs->addTab(Widget, caption);
    }
    ~TPage() { Layout->setRowStretch(Layout->rowCount(), 1); }

    template <class T>
    T *Add(T *widget, const char *name)
    {
        widget->setObjectName(QString::fromLatin1(name));
        Layout->addWidget(widget, Layout->rowCount(), 0, 1, 3);
        return widget;
    }
    QCheckBox *Check(const char *name, const QString &caption) { return Add(new QCheckBox(caption, Widget), name); }
    // A caption label, the control and an optional button on one row.
    template <class T>
    T *Row(const char *labelName, const QString &caption, T *control, const char *name, QWidget *button = nullptr)
    {
        const int row = Layout->rowCount();
        auto *label = new QLabel(caption, Widget);
        label->setObjectName(QString::fromLatin1(labelName));
        control->setObjectName(QString::fromLatin1(name));
        Layout->addWidget(label, row, 0);
        Layout->addWidget(control, row, 1, 1, button ? 1 : 2);
        if (button)
            Layout->addWidget(button, row, 2);
        return control;
    }
    // The pair of deleting-method radio buttons in their own group (first = recycle bin).
    void Deleting(const char *recycle, const char *remove)
    {
        auto *group = Add(new QGroupBox(QStringLiteral("Deleting method"), Widget), (std::string(recycle) + "Group").c_str());
        auto *box = new QVBoxLayout(group);
        auto *a = new QRadioButton(QStringLiteral("Move to the recycle bin"), group);
        a->setObjectName(QString::fromLatin1(recycle));
        auto *b = new QRadioButton(QStringLiteral("Delete permanently"), group);
        b->setObjectName(QString::fromLatin1(remove));
        box->addWidget(a);
        box->addWidget(b);
    }
    QWidget *Widget;
    QGridLayout *Layout;
};

TOVSpeedButton *BrowseButton(QWidget *parent, const char *name)
{
    auto *b = new TOVSpeedButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(QStringLiteral("..."));
    b->setToolTip(QStringLiteral("Browse for folder..."));
    return b;
}

QSpinBox *Spin(QWidget *parent, int min, int max)
{
    auto *s = new QSpinBox(parent);
    s->setRange(min, max);
    return s;
}

const char *const TaskBoxes[] = {"RegistryCheck", "TempCheck", "CacheCheck", "CookiesCheck", "HistoryCheck", "MRUCheck"};
const char *const DayBoxes[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturnday", "Sunday"};

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
}

TOptionsIkkuna::TOptionsIkkuna(QWidget *parent, TSettings &settings, bool runAtStartup, const QString &programFolder,
                               bool winNT)
    : QDialog(parent), FBound(&settings)
{
    FormCreate(winNT);
    if (settings.FLanguageIndex != 0)
        TranslateWindow(this, settings.FLanguageIndex, settings.FLanguage, programFolder);
    FillFrom(settings, runAtStartup, programFolder);
}

void TOptionsIkkuna::FormCreate(bool winNT)
{
    setObjectName("OptionsIkkuna");
    setWindowTitle("Options");
    FOptionsShown = false;

    Reunus = new QFrame(this);
    Reunus->setObjectName("Reunus");
    Reunus->setFrameShape(QFrame::NoFrame);
    Asetukset = new QTabWidget(Reunus);
    Asetukset->setObjectName("Asetukset");

    {
        TPage p(Asetukset, "GeneralSheet", QStringLiteral("General"));
        p.Check("ShowSplash", QStringLiteral("Show splashscreen"));
        p.Check("HideTray", QStringLiteral("Hide to the tray on close"));
        p.Check("Start", QStringLiteral("Start Vaskimo on Windows startup"));
        p.Check("ForceTryDelete", QStringLiteral("Force try delete"));
        p.Row("LanguageLabel", QStringLiteral("Language:"), new QComboBox(p.Widget), "Language");
        LangDir = p.Row("LangDirLabel", QStringLiteral("Language dir:"), new QLabel(p.Widget), "LangDir");
    }
    {
        TPage p(Asetukset, "AppearanceSheet", QStringLiteral("Appearance"));
        p.Check("NoBG", QStringLiteral("No background"));
        auto *open = new TOVBitBtn(QStringLiteral("O&pen"), p.Widget);
        open->setObjectName("AvaaButton");
        p.Row("Label2", QStringLiteral("Background image:"), new QComboBox(p.Widget), "BackGround", open)
            ->addItem(QStringLiteral("Default"));
        auto *style = p.Row("Label12", QStringLiteral("Background style:"), new QComboBox(p.Widget), "BGStyle");
        style->addItems({QStringLiteral("Tile"), QStringLiteral("Center"), QStringLiteral("Stretch")});
        FillColorCombo(p.Row("Label13", QStringLiteral("Background color:"), new QComboBox(p.Widget), "BGColor"));
        auto *font = new TOVBitBtn(QStringLiteral("&Font..."), p.Widget);
        font->setObjectName("btnFont");
        FontLabel = p.Row("Label14", QStringLiteral("Font:"), new QLabel(p.Widget), "FontLabel", font);
    }
    {
        TPage p(Asetukset, "SchedulingSheet", QStringLiteral("Scheduling"));
        p.Check("RegistryCheck", QStringLiteral("Clean registry"));
        p.Check("TempCheck", QStringLiteral("Clear temp directories"));
        p.Check("CacheCheck", QStringLiteral("Clear browser cache"));
        p.Check("CookiesCheck", QStringLiteral("Clear browser cookies"));
        p.Check("HistoryCheck", QStringLiteral("Clear browser history"));
        p.Check("MRUCheck", QStringLiteral("Clear MRU list"));
        p.Check("CloseOnReady", QStringLiteral("Close after work"));
        p.Check("DeleteAll", QStringLiteral("Delete all found items"));
        auto *when = p.Add(new QGroupBox(QStringLiteral("When"), p.Widget), "WhenGroup");
        auto *grid = new QGridLayout(when);
        const char *periods[] = {"Daily", "Weekly", "Monthly"};
        const QString periodCaptions[] = {QStringLiteral("Daily"), QStringLiteral("Weekly"), QStringLiteral("Monthly")};
        for (int i = 0; i < 3; ++i) {
            auto *r = new QRadioButton(periodCaptions[i], when);
            r->setObjectName(QString::fromLatin1(periods[i]));
            grid->addWidget(r, i, 0);
        }
        auto *days = new QHBoxLayout;
        const QLocale locale;
        for (int d = 0; d < 7; ++d) {
            auto *box = new QCheckBox(locale.dayName(d + 1, QLocale::ShortFormat), when);
            box->setObjectName(QString::fromLatin1(DayBoxes[d]));
            box->setToolTip(locale.dayName(d + 1, QLocale::LongFormat));
            days->addWidget(box);
        }
        grid->addLayout(days, 1, 1);
        auto *month = new QComboBox(when);
        month->setObjectName("MonthBox");
        for (int d = 1; d <= 31; ++d)
            month->addItem(QString::number(d));
        grid->addWidget(month, 2, 1);
        auto *at = p.Add(new QGroupBox(QStringLiteral("Start the work"), p.Widget), "AtGroup");
        auto *atGrid = new QGridLayout(at);
        auto *timeDay = new QRadioButton(QStringLiteral("At time:"), at);
        timeDay->setObjectName("TimeDay");
        auto *time = new QTimeEdit(QTime(0, 0), at);
        time->setObjectName("TimeEdit");
        time->setDisplayFormat(QStringLiteral("HH:mm"));
        auto *idle = new QRadioButton(QStringLiteral("When idle for (minutes):"), at);
        idle->setObjectName("Idle");
        auto *idleFor = Spin(at, 1, 1000);
        idleFor->setObjectName("IdleEditUpDown");
        idleFor->setValue(10);
        atGrid->addWidget(timeDay, 0, 0);
        atGrid->addWidget(time, 0, 1);
        atGrid->addWidget(idle, 1, 0);
        atGrid->addWidget(idleFor, 1, 1);
    }
    {
        TPage p(Asetukset, "UpdateSheet", QStringLiteral("Update"));
        p.Check("AutoUpdate", QStringLiteral("Check for updates automatically"));
        p.Check("AlwaysConnected", QStringLiteral("Always connected to the Internet"));
        p.Check("AutomateBlacklist", QStringLiteral("Update the blacklist automatically"));
        p.Row("Label9", QStringLiteral("Update address:"), new QLineEdit(p.Widget), "Address");
        p.Row("Label10", QStringLiteral("Save updates to:"), new QLineEdit(p.Widget), "SaveTo",
              BrowseButton(p.Widget, "BrowseButton"));
        p.Row("Label11", QStringLiteral("Port (0 as default port):"), Spin(p.Widget, 0, 65535), "PortUpDown");
        p.Check("UseProxy", QStringLiteral("Use proxy server for the connection"));
        p.Row("Label7", QStringLiteral("Proxy server:"), new QLineEdit(p.Widget), "Proxy");
        p.Row("Label8", QStringLiteral("Proxy port (0 as default port):"), Spin(p.Widget, 0, 65535), "ProxyPortUpDown");
        auto *user = p.Row("Label17", QStringLiteral("Proxy username:"), new QLineEdit(p.Widget), "ProxyUsername");
        SetHoldsUserData(user);
        p.Row("Label18", QStringLiteral("Proxy password:"), new TOVPassEdit(p.Widget), "ProxyPassword");
    }
    {
        TPage p(Asetukset, "RegistrySheet", QStringLiteral("Registry"));
        p.Check("Undo", QStringLiteral("Create undo file on delete"));
        p.Row("Label1", QStringLiteral("Undo levels:"), Spin(p.Widget, 1, 99), "UndoLevelsUpDown");
        p.Row("Label3", QStringLiteral("Save undo files to:"), new QLineEdit(p.Widget), "UndoHakemisto",
              BrowseButton(p.Widget, "HaeHak"));
        p.Check("RegistryConfirm", QStringLiteral("Confirm registry changes"));
    }
    {
        TPage p(Asetukset, "AddRemoveSheet", QStringLiteral("Add/remove"));
        p.Check("UndoLisaaPoista", QStringLiteral("Create undo file on delete"));
        p.Row("Label16", QStringLiteral("Save undo files to:"), new QLineEdit(p.Widget), "LisaaPoistaUndoHakemisto",
              BrowseButton(p.Widget, "GetHakemisto"));
        p.Check("ListExtra", QStringLiteral("List extra items"));
        p.Check("Confirm", QStringLiteral("Confirm deletions/uninstallations"));
    }
    {
        TPage p(Asetukset, "DuplicateSheet", QStringLiteral("Duplicate files"));
        p.Check("SameDate", QStringLiteral("Same date & time"));
        p.Check("SameName", QStringLiteral("Same name"));
        p.Check("SameSize", QStringLiteral("Same size"));
        p.Check("SameCRC", QStringLiteral("Same CRC"));
        p.Check("SameMD5", QStringLiteral("Same MD5"));
        p.Check("SkipEmpty", QStringLiteral("Skip empty files"));
        p.Check("SkipSYSBCKUP", QStringLiteral("Skip SYSBCKUP folder"));
        p.Check("SkipDesktop", QStringLiteral("Skip Desktop.ini folders"));
        p.Deleting("DuplicateRecycle", "DuplicateDelete");
        p.Check("DuplicateConfirm", QStringLiteral("Confirm duplicate changes"));
    }
    {
        TPage p(Asetukset, "UnnecessarySheet", QStringLiteral("Unnecessary files"));
        p.Check("IgnoreHidden", QStringLiteral("Skip hidden files"));
        p.Check("IgnoreReadOnly", QStringLiteral("Skip read-only files"));
        p.Check("IgnoreSystem", QStringLiteral("Skip system files"));
        p.Check("IgnoreEmpty", QStringLiteral("Skip empty files"));
        p.Check("UnnecessaryRecurse", QStringLiteral("Recurse subdirectories"));
        p.Deleting("UnnecessaryRecycle", "UnnecessaryDelete");
        p.Check("UnnecessaryConfirm", QStringLiteral("Confirm unnecessary changes"));
        auto *dirs = p.Add(new QListWidget(p.Widget), "CustomDir");
        dirs->setSelectionMode(QAbstractItemView::ExtendedSelection);
        dirs->setMouseTracking(true);
        auto *buttons = new QHBoxLayout;
        auto *add = new TOVBitBtn(QStringLiteral("&Add..."), p.Widget);
        add->setObjectName("btnAddCustomDir");
        auto *remove = new TOVBitBtn(QStringLiteral("&Remove"), p.Widget);
        remove->setObjectName("btnRemoveCustomDir");
        buttons->addWidget(add);
        buttons->addWidget(remove);
        buttons->addStretch(1);
        p.Layout->addLayout(buttons, p.Layout->rowCount(), 0, 1, 3);
    }
    {
        TPage p(Asetukset, "ShortcutsSheet", QStringLiteral("Shortcuts"));
        p.Check("RemovableFile", QStringLiteral("Files on removable medias"));
        p.Check("NetworkFile", QStringLiteral("Files on network drives"));
        p.Check("InternetAddress", QStringLiteral("Internet addresses"));
        p.Check("EmptyFolder", QStringLiteral("Empty folders"));
        p.Check("StartSkipDesktop", QStringLiteral("Skip desktop"));
        p.Deleting("StartRecycle", "StartDelete");
        p.Check("StartConfirm", QStringLiteral("Confirm shortcut changes"));
    }
    {
        TPage p(Asetukset, "SpaceUsageSheet", QStringLiteral("Space usage"));
        p.Check("LegendColor", QStringLiteral("Color-coded legend"));
        p.Check("StartAuto", QStringLiteral("Start scanning automatically"));
        p.Check("ShowFreeDisk", QStringLiteral("Show free disk space"));
        auto *measure = p.Add(new QGroupBox(QStringLiteral("Measure files by"), p.Widget), "MeasureGroup");
        auto *box = new QVBoxLayout(measure);
        auto *compressed = new QRadioButton(QStringLiteral("Compressed size"), measure);
        compressed->setObjectName("Compressed");
        auto *uncompressed = new QRadioButton(QStringLiteral("Uncompressed size"), measure);
        uncompressed->setObjectName("Uncompressed");
        box->addWidget(compressed);
        box->addWidget(uncompressed);
        // Only the NT family keeps compressed sizes.
        measure->setEnabled(winNT);
        compressed->setEnabled(winNT);
        uncompressed->setEnabled(winNT);
    }
    {
        TPage p(Asetukset, "StartupSheet", QStringLiteral("Startup"));
        p.Check("StartupUndo", QStringLiteral("Create undo file on delete"));
        p.Row("Label15", QStringLiteral("Undo directory:"), new QLineEdit(p.Widget), "StartupUndoHakemisto",
              BrowseButton(p.Widget, "HaeStartupHak"));
        p.Deleting("StartupRecycle", "StartupDelete");
        p.Check("StartupConfirm", QStringLiteral("Confirm deletions"));
    }

    Ok = new TOVBitBtn(QStringLiteral("&Ok"), Reunus);
    Ok->setObjectName("Ok");
    Ok->setDefault(true);
    Cancel = new TOVBitBtn(QStringLiteral("Cancel"), Reunus);
    Cancel->setObjectName("Cancel");
    Cancel->SetCancel(true);
    Cancel->setAutoDefault(false);
    connect(Ok, &QPushButton::clicked, this, &TOptionsIkkuna::accept);
    connect(Cancel, &QPushButton::clicked, this, &TOptionsIkkuna::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Ok);
    buttons->addWidget(Cancel);
    auto *inner = new QVBoxLayout(Reunus);
    inner->addWidget(Asetukset);
    inner->addLayout(buttons);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Reunus);

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
}

void TOptionsIkkuna::FillFrom(const TSettings &settings, bool runAtStartup, const QString &programFolder)
{
    const QString folder = QDir::toNativeSeparators(QDir(programFolder).filePath(QStringLiteral("Languages")) + u'/');
    LangDir->setText(folder);
    LangDir->setToolTip(folder);
    FillLanguageCombo(Control<QComboBox>("Language"), programFolder, LanguageFlags::DefaultFlag(),
                      LanguageFlags::UnknownFlag());
    FillOptionControls(this, settings);
    Control<QAbstractButton>("Start")->setChecked(runAtStartup);
    const QFont font = property("UserFont").value<QFont>();
    FontLabel->setText(Options::FontDescription(font));
    RunEnablingRules();
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
    QDialog::showEvent(event);
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
        Control<QListWidget>("CustomDir")->addItem(*folder);
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
