// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the options window's exchange with the settings, and the settings' colours and font in Qt.
#include "shell/SettingsUi.h"

#include "platform/ProgramInfo.h"
#include "platform/WinFiles.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QSpinBox>
#include <QTimeEdit>

namespace {

struct TBoolControl {
    const char *Name;
    bool TSettings::*Field;
};

const TBoolControl CheckBoxes[] = {
    {"ShowSplash", &TSettings::FShowSplash},
    {"HideTray", &TSettings::FHideToTray},
    {"ForceTryDelete", &TSettings::FForceTryDelete},
    {"NoBG", &TSettings::FNoBackground},
    {"AutoUpdate", &TSettings::FAutoUpdate},
    {"AutomateBlacklist", &TSettings::FAutoBlacklist},
    {"AlwaysConnected", &TSettings::FAlwaysConnected},
    {"UseProxy", &TSettings::FUseProxy},
    {"Undo", &TSettings::FRegistryUndo},
    {"RegistryConfirm", &TSettings::FRegistryConfirm},
    {"SameDate", &TSettings::FDupSameDate},
    {"SameName", &TSettings::FDupSameName},
    {"SameSize", &TSettings::FDupSameSize},
    {"SameCRC", &TSettings::FDupSameCRC},
    {"SameMD5", &TSettings::FDupSameMD5},
    {"SkipEmpty", &TSettings::FDupSkipEmpty},
    {"SkipSYSBCKUP", &TSettings::FDupSkipSysBckup},
    {"SkipDesktop", &TSettings::FDupSkipDesktopIni},
    {"DuplicateConfirm", &TSettings::FDupConfirm},
    {"IgnoreHidden", &TSettings::FUnnSkipHidden},
    {"IgnoreReadOnly", &TSettings::FUnnSkipReadOnly},
    {"IgnoreSystem", &TSettings::FUnnSkipSystem},
    {"IgnoreEmpty", &TSettings::FUnnSkipEmpty},
    {"UnnecessaryConfirm", &TSettings::FUnnConfirm},
    {"UnnecessaryRecurse", &TSettings::FUnnRecurse},
    {"RemovableFile", &TSettings::FShortcutRemovable},
    {"NetworkFile", &TSettings::FShortcutNetwork},
    {"InternetAddress", &TSettings::FShortcutInternet},
    {"EmptyFolder", &TSettings::FShortcutEmptyFolders},
    {"StartConfirm", &TSettings::FShortcutConfirm},
    {"StartSkipDesktop", &TSettings::FShortcutSkipDesktop},
    {"LegendColor", &TSettings::FChartLegendColors},
    {"StartAuto", &TSettings::FChartAutoScan},
    {"ShowFreeDisk", &TSettings::FChartFreeSpace},
    {"RegistryCheck", &TSettings::FTimedRegistry},
    {"TempCheck", &TSettings::FTimedTemp},
    {"CacheCheck", &TSettings::FTimedCache},
    {"CookiesCheck", &TSettings::FTimedCookies},
    {"HistoryCheck", &TSettings::FTimedHistory},
    {"MRUCheck", &TSettings::FTimedMRU},
    {"DeleteAll", &TSettings::FTimedDeleteAll},
    {"CloseOnReady", &TSettings::FTimedCloseAfter},
    {"Daily", &TSettings::FTimedDaily},
    {"Weekly", &TSettings::FTimedWeekly},
    {"Monthly", &TSettings::FTimedMonthly},
    {"TimeDay", &TSettings::FTimedAtTime},
    {"Idle", &TSettings::FTimedIdle},
    {"UndoLisaaPoista", &TSettings::FAddRemoveUndo},
    {"ListExtra", &TSettings::FAddRemoveListExtra},
    {"Confirm", &TSettings::FAddRemoveConfirm},
    {"StartupUndo", &TSettings::FStartupUndo},
    {"StartupConfirm", &TSettings::FStartupConfirm},
};

const char *const DayBoxes[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturnday", "Sunday"};

struct TRadioPair {
    const char *First;   // checked = true
    const char *Second;
    bool TSettings::*Field;
};

const TRadioPair RadioPairs[] = {
    {"DuplicateRecycle", "DuplicateDelete", &TSettings::FDupRecycle},
    {"UnnecessaryRecycle", "UnnecessaryDelete", &TSettings::FUnnRecycle},
    {"StartRecycle", "StartDelete", &TSettings::FShortcutRecycle},
    {"Compressed", "Uncompressed", &TSettings::FChartCompressed},
    {"StartupRecycle", "StartupDelete", &TSettings::FStartupRecycle},
};

struct TSpinControl {
    const char *UpDown;
    const char *Edit;
    int TSettings::*Field;
    int Min, Max;
};

// Ports are 0..65535: an up-down of signed 16 bits would turn 40000 into a negative port.
const TSpinControl Spins[] = {
    {"ProxyPortUpDown", "ProxyPort", &TSettings::FProxyPort, 0, 65535},
    {"PortUpDown", "Port", &TSettings::FPort, 0, 65535},
    {"UndoLevelsUpDown", "UndoLevels", &TSettings::FUndoLevels, 1, 99},
    {"IdleEditUpDown", "IdleEdit", &TSettings::FTimedIdleMinutes, 1, 1000},
};

struct TTextControl {
    const char *Name;
    QString TSettings::*Field;
};

const TTextControl Edits[] = {
    {"Proxy", &TSettings::FProxyServer},
    {"ProxyUsername", &TSettings::FProxyUsername},
    {"ProxyPassword", &TSettings::FProxyPassword},
    {"Address", &TSettings::FUpdateAddress},
    {"SaveTo", &TSettings::FUpdateDir},
    {"UndoHakemisto", &TSettings::FRegistryUndoDir},
    {"LisaaPoistaUndoHakemisto", &TSettings::FAddRemoveUndoDir},
    {"StartupUndoHakemisto", &TSettings::FStartupUndoDir},
};

struct TIndexControl {
    const char *Name;
    int TSettings::*Field;
};

const TIndexControl IndexCombos[] = {
    {"BGStyle", &TSettings::FBackgroundStyle},
    {"MonthBox", &TSettings::FTimedDayOfMonth},
};

const QString EnglishItem = QStringLiteral("Default (English)");
const QString DefaultBackground = QStringLiteral("Default");

template <typename T>
T *Find(const QWidget *dialog, const char *name)
{
    return name ? dialog->findChild<T *>(QString::fromLatin1(name)) : nullptr;
}

QSpinBox *FindSpin(const QWidget *dialog, const TSpinControl &c)
{
    QSpinBox *spin = Find<QSpinBox>(dialog, c.UpDown);
    return spin ? spin : Find<QSpinBox>(dialog, c.Edit);
}

struct TSystemRole {
    int Index;
    QPalette::ColorGroup Group;
    QPalette::ColorRole Role;
};

const TSystemRole SystemRoles[] = {
    {0, QPalette::Active, QPalette::Mid},              {1, QPalette::Active, QPalette::Dark},
    {2, QPalette::Active, QPalette::Highlight},        {3, QPalette::Inactive, QPalette::Mid},
    {4, QPalette::Active, QPalette::Window},           {5, QPalette::Active, QPalette::Base},
    {6, QPalette::Active, QPalette::Shadow},           {7, QPalette::Active, QPalette::WindowText},
    {8, QPalette::Active, QPalette::Text},             {9, QPalette::Active, QPalette::HighlightedText},
    {10, QPalette::Active, QPalette::Window},          {11, QPalette::Inactive, QPalette::Window},
    {12, QPalette::Active, QPalette::Mid},             {13, QPalette::Active, QPalette::Highlight},
    {14, QPalette::Active, QPalette::HighlightedText}, {15, QPalette::Active, QPalette::Button},
    {16, QPalette::Active, QPalette::Dark},            {17, QPalette::Disabled, QPalette::Text},
    {18, QPalette::Active, QPalette::ButtonText},      {19, QPalette::Inactive, QPalette::WindowText},
    {20, QPalette::Active, QPalette::Light},           {21, QPalette::Active, QPalette::Shadow},
    {22, QPalette::Active, QPalette::Midlight},        {23, QPalette::Active, QPalette::ToolTipText},
    {24, QPalette::Active, QPalette::ToolTipBase},     {26, QPalette::Active, QPalette::Link},
    {27, QPalette::Active, QPalette::Highlight},       {28, QPalette::Inactive, QPalette::Highlight},
    {29, QPalette::Active, QPalette::Highlight},       {30, QPalette::Active, QPalette::Window},
};

// Every name of the standard table, in the order the colour list shows them, with the name the
// list shows (the stored one is the program's own, not for the user).
const struct {
    const char *Name, *Shown;
} StandardColors[] = {
    {"clBlack", "Black"}, {"clMaroon", "Maroon"}, {"clGreen", "Green"}, {"clOlive", "Olive"}, {"clNavy", "Navy"},
    {"clPurple", "Purple"}, {"clTeal", "Teal"}, {"clGray", "Gray"}, {"clSilver", "Silver"}, {"clRed", "Red"},
    {"clLime", "Lime"}, {"clYellow", "Yellow"}, {"clBlue", "Blue"}, {"clFuchsia", "Fuchsia"}, {"clAqua", "Aqua"},
    {"clWhite", "White"}, {"clMoneyGreen", "Money green"}, {"clSkyBlue", "Sky blue"}, {"clCream", "Cream"},
    {"clMedGray", "Medium gray"}, {"clActiveBorder", "Active border"}, {"clActiveCaption", "Active title bar"},
    {"clAppWorkSpace", "Application background"}, {"clBackground", "Desktop"}, {"clBtnFace", "Button face"},
    {"clBtnHighlight", "Button highlight"}, {"clBtnShadow", "Button shadow"}, {"clBtnText", "Button text"},
    {"clCaptionText", "Title bar text"}, {"clGradientActiveCaption", "Active title bar gradient"},
    {"clGradientInactiveCaption", "Inactive title bar gradient"}, {"clGrayText", "Disabled text"},
    {"clHighlight", "Selection"}, {"clHighlightText", "Selected text"}, {"clHotLight", "Link"},
    {"clInactiveBorder", "Inactive border"}, {"clInactiveCaption", "Inactive title bar"},
    {"clInactiveCaptionText", "Inactive title bar text"}, {"clInfoBk", "Tooltip"}, {"clInfoText", "Tooltip text"},
    {"clMenu", "Menu"}, {"clMenuBar", "Menu bar"}, {"clMenuHighlight", "Menu selection"}, {"clMenuText", "Menu text"},
    {"clScrollBar", "Scroll bar"}, {"cl3DDkShadow", "3D dark shadow"}, {"cl3DLight", "3D light"},
    {"clWindow", "Window"}, {"clWindowFrame", "Window frame"}, {"clWindowText", "Window text"},
};

QIcon Swatch(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

}  // namespace

QColor ToQColor(TColor color, const QPalette &palette)
{
    if (color == Colors::clNone)
        return QColor(Qt::transparent);
    if (color == Colors::clDefault)
        return palette.color(QPalette::Active, QPalette::Window);
    if (Colors::IsSystemColor(color)) {
        const int index = int(quint32(color) & 0xFF);
        for (const TSystemRole &r : SystemRoles)
            if (r.Index == index)
                return palette.color(r.Group, r.Role);
        return palette.color(QPalette::Active, QPalette::Window);
    }
    const quint32 v = quint32(color);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

TColor FromQColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return TColor(quint32(rgb.red()) | (quint32(rgb.green()) << 8) | (quint32(rgb.blue()) << 16));
}

QFont ToQFont(const TFontSetting &font)
{
    QFont f;
    if (!font.Name.isEmpty())
        f.setFamily(font.Name);
    if (font.Size > 0)
        f.setPointSize(font.Size);
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    f.setUnderline(font.Underline);
    f.setStrikeOut(font.StrikeOut);
    return f;
}

TFontSetting FromQFont(const QFont &font)
{
    TFontSetting f;
    f.Name = font.family();
    f.Size = font.pointSize() > 0 ? font.pointSize() : qRound(font.pointSizeF());
    f.Bold = font.bold();
    f.Italic = font.italic();
    f.Underline = font.underline();
    f.StrikeOut = font.strikeOut();
    return f;
}

TFontSetting ScreenIconFont()
{
    return FromQFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
}

void FillColorCombo(QComboBox *combo)
{
    combo->clear();
    for (const auto &named : StandardColors) {
        TColor color = 0;
        if (StringToColor(QString::fromLatin1(named.Name), &color))
            combo->addItem(Swatch(ToQColor(color, combo->palette())), QString::fromLatin1(named.Shown), int(color));
    }
}

void FillLanguageCombo(QComboBox *combo, const QString &programFolder, const QIcon &englishIcon, const QIcon &unknownIcon)
{
    combo->clear();
    const QDir folder(ProgramInfo::ShippedFile(programFolder, QStringLiteral("Languages")));
    const QStringList files = folder.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Unsorted);
    for (const QString &file : files) {
        const QString name = file.left(file.size() - 4);
        QIcon icon = unknownIcon;
        const QString flag = folder.filePath(name + QStringLiteral(".bmp"));
        if (QFileInfo(flag).isFile()) {
            QPixmap pixmap;
            if (pixmap.load(flag))
                icon = QIcon(pixmap.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
        combo->addItem(icon, name);
    }
    combo->insertItem(0, englishIcon, EnglishItem);
}

void FillOptionControls(QWidget *dialog, const TSettings &s)
{
    for (const TBoolControl &c : CheckBoxes)
        if (auto *box = Find<QAbstractButton>(dialog, c.Name))
            box->setChecked(s.*c.Field);
    for (int day = 0; day < 7; ++day)
        if (auto *box = Find<QAbstractButton>(dialog, DayBoxes[day]))
            box->setChecked(s.FTimedWeekdays[day]);
    for (const TRadioPair &c : RadioPairs) {
        if (auto *first = Find<QAbstractButton>(dialog, c.First))
            first->setChecked(s.*c.Field);
        if (auto *second = Find<QAbstractButton>(dialog, c.Second))
            second->setChecked(!(s.*c.Field));
    }
    for (const TSpinControl &c : Spins) {
        if (QSpinBox *spin = FindSpin(dialog, c)) {
            spin->setRange(c.Min, c.Max);
            spin->setValue(s.*c.Field);
        }
    }
    for (const TTextControl &c : Edits)
        if (auto *edit = Find<QLineEdit>(dialog, c.Name))
            edit->setText(s.*c.Field);
    if (auto *time = Find<QTimeEdit>(dialog, "TimeEdit"))
        time->setTime(QTime::fromString(s.FTimedTimeOfDay, QStringLiteral("hh:mm")));
    else if (auto *edit = Find<QLineEdit>(dialog, "TimeEdit"))
        edit->setText(s.FTimedTimeOfDay);
    for (const TIndexControl &c : IndexCombos)
        if (auto *combo = Find<QComboBox>(dialog, c.Name); combo && combo->count() > 0)
            combo->setCurrentIndex(qBound(0, s.*c.Field, combo->count() - 1));

    if (auto *background = Find<QComboBox>(dialog, "BackGround")) {
        background->clear();
        background->addItem(DefaultBackground);
        if (s.FBackgroundIndex != 0)
            background->addItem(s.FBackgroundFile);
        background->setCurrentIndex(background->count() - 1);
    }
    if (auto *color = Find<QComboBox>(dialog, "BGColor")) {
        int index = color->findData(int(s.FBackgroundColor));
        if (index < 0) {
            const QColor own = ToQColor(s.FBackgroundColor, color->palette());
            color->addItem(Swatch(own), own.name(QColor::HexRgb).toUpper(), int(s.FBackgroundColor));
            index = color->count() - 1;
        }
        color->setCurrentIndex(index);
    }
    if (auto *language = Find<QComboBox>(dialog, "Language")) {
        int index = s.FLanguageIndex != 0 ? language->findText(s.FLanguage, Qt::MatchExactly) : 0;
        language->setCurrentIndex(index < 0 ? 0 : index);
    }
    if (auto *dirs = Find<QListWidget>(dialog, "CustomDir")) {
        dirs->clear();
        for (const QString &folder : s.FUnnCustomDirs)
            AddCustomDirItem(dirs, folder);
    }
    dialog->setProperty("UserFont", ToQFont(s.FUserFont));
}

void AddCustomDirItem(QListWidget *list, const QString &folder)
{
    auto *item = new QListWidgetItem(WinFiles::ShownFolder(folder), list);
    item->setData(Qt::UserRole, folder);
}

void ReadOptionControls(const QWidget *dialog, TSettings &s)
{
    for (const TBoolControl &c : CheckBoxes)
        if (auto *box = Find<QAbstractButton>(dialog, c.Name))
            s.*c.Field = box->isChecked();
    for (int day = 0; day < 7; ++day)
        if (auto *box = Find<QAbstractButton>(dialog, DayBoxes[day]))
            s.FTimedWeekdays[day] = box->isChecked();
    for (const TRadioPair &c : RadioPairs)
        if (auto *first = Find<QAbstractButton>(dialog, c.First))
            s.*c.Field = first->isChecked();
    for (const TSpinControl &c : Spins)
        if (QSpinBox *spin = FindSpin(dialog, c))
            s.*c.Field = qBound(c.Min, spin->value(), c.Max);
    for (const TTextControl &c : Edits)
        if (auto *edit = Find<QLineEdit>(dialog, c.Name))
            s.*c.Field = edit->text();
    if (auto *time = Find<QTimeEdit>(dialog, "TimeEdit"))
        s.FTimedTimeOfDay = time->time().toString(QStringLiteral("hh:mm"));
    else if (auto *edit = Find<QLineEdit>(dialog, "TimeEdit"))
        s.FTimedTimeOfDay = edit->text();
    for (const TIndexControl &c : IndexCombos)
        if (auto *combo = Find<QComboBox>(dialog, c.Name); combo && combo->currentIndex() >= 0)
            s.*c.Field = combo->currentIndex();

    if (auto *background = Find<QComboBox>(dialog, "BackGround"); background && background->currentIndex() >= 0) {
        s.FBackgroundIndex = background->currentIndex();
        if (s.FBackgroundIndex != 0)
            s.FBackgroundFile = background->currentText();
    }
    if (auto *color = Find<QComboBox>(dialog, "BGColor"); color && color->currentData().isValid())
        s.FBackgroundColor = TColor(color->currentData().toInt());
    if (auto *language = Find<QComboBox>(dialog, "Language"); language && language->currentIndex() >= 0) {
        s.FLanguageIndex = language->currentIndex();
        s.FLanguage = language->currentText();
    }
    if (auto *dirs = Find<QListWidget>(dialog, "CustomDir")) {
        QStringList items;
        for (int i = 0; i < dirs->count(); ++i)
            items << dirs->item(i)->data(Qt::UserRole).toString();
        s.FUnnCustomDirs = items;
    }
    const QVariant font = dialog->property("UserFont");
    if (font.metaType() == QMetaType::fromType<QFont>())
        s.FUserFont = FromQFont(font.value<QFont>());
}
