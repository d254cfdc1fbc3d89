// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the options exchange over a fixture dialog with the settings table's controls; colours and fonts.
#include "shell/SettingsUi.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

template <typename T>
T *Add(QWidget *parent, const QString &name)
{
    auto *w = new T(parent);
    w->setObjectName(name);
    return w;
}

// The options window's controls, by the names of the settings table.
struct TOptionsFixture {
    QDialog Dialog;

    TOptionsFixture()
    {
        for (const char *name :
             {"ShowSplash", "HideTray", "ForceTryDelete", "NoBG", "AutoUpdate", "AutomateBlacklist", "AlwaysConnected",
              "UseProxy", "Undo", "RegistryConfirm", "SameDate", "SameName", "SameSize", "SameCRC", "SameMD5",
              "SkipEmpty", "SkipSYSBCKUP", "SkipDesktop", "DuplicateConfirm", "IgnoreHidden", "IgnoreReadOnly",
              "IgnoreSystem", "IgnoreEmpty", "UnnecessaryConfirm", "UnnecessaryRecurse", "RemovableFile",
              "NetworkFile", "InternetAddress", "EmptyFolder", "StartConfirm", "StartSkipDesktop", "LegendColor",
              "StartAuto", "ShowFreeDisk", "RegistryCheck", "TempCheck", "CacheCheck", "CookiesCheck",
              "HistoryCheck", "MRUCheck", "DeleteAll", "CloseOnReady", "Daily", "Weekly", "Monday", "Tuesday",
              "Wednesday", "Thursday", "Friday", "Saturnday", "Sunday", "Monthly", "TimeDay", "Idle",
              "UndoLisaaPoista", "ListExtra", "Confirm", "StartupUndo", "StartupConfirm"})
            Add<QCheckBox>(&Dialog, QString::fromLatin1(name));
        // Each pair on its own parent, as on the tab pages, so that they are exclusive only in pairs.
        for (const char *pair : {"DuplicateRecycle DuplicateDelete", "UnnecessaryRecycle UnnecessaryDelete",
                                 "StartRecycle StartDelete", "Compressed Uncompressed", "StartupRecycle StartupDelete"}) {
            auto *page = new QWidget(&Dialog);
            for (const QString &name : QString::fromLatin1(pair).split(u' '))
                Add<QRadioButton>(page, name);
        }
        for (const char *name : {"ProxyPortUpDown", "PortUpDown", "UndoLevelsUpDown", "IdleEditUpDown"})
            Add<QSpinBox>(&Dialog, QString::fromLatin1(name));
        for (const char *name : {"Proxy", "ProxyUsername", "ProxyPassword", "Address", "SaveTo", "UndoHakemisto",
                                 "LisaaPoistaUndoHakemisto", "StartupUndoHakemisto"})
            Add<QLineEdit>(&Dialog, QString::fromLatin1(name));
        Add<QTimeEdit>(&Dialog, QStringLiteral("TimeEdit"));
        Add<QComboBox>(&Dialog, QStringLiteral("BGStyle"))->addItems({"Tile", "Center", "Stretch"});
        auto *month = Add<QComboBox>(&Dialog, QStringLiteral("MonthBox"));
        for (int day = 1; day <= 31; ++day)
            month->addItem(QString::number(day));
        Add<QComboBox>(&Dialog, QStringLiteral("BackGround"));
        FillColorCombo(Add<QComboBox>(&Dialog, QStringLiteral("BGColor")));
        auto *language = Add<QComboBox>(&Dialog, QStringLiteral("Language"));
        language->addItems({"Default (English)", "Suomi", "Svenska"});
        Add<QListWidget>(&Dialog, QStringLiteral("CustomDir"));
    }

    template <typename T>
    T *Get(const char *name) { return Dialog.findChild<T *>(QString::fromLatin1(name)); }
};

// Every setting with a control moved away from its default.
TSettings Changed()
{
    TSettings s;
    s.FShowSplash = false; s.FHideToTray = true; s.FForceTryDelete = true; s.FNoBackground = false;
    s.FAutoUpdate = true; s.FAutoBlacklist = false; s.FAlwaysConnected = true; s.FUseProxy = true;
    s.FProxyServer = "proxy.lan"; s.FProxyPort = 40000; s.FPort = 65535; s.FProxyUsername = "me";
    s.FProxyPassword = "secret"; s.FUpdateAddress = "http://example.org/x.upd"; s.FUpdateDir = "C:\\Down\\";
    s.FBackgroundIndex = 1; s.FBackgroundFile = "C:\\pics\\bg.bmp"; s.FBackgroundStyle = 2;
    s.FBackgroundColor = 0xF7F7F7; s.FLanguageIndex = 2; s.FLanguage = "Svenska";
    s.FUserFont = {"Tahoma", 11, true, true, true, true};
    s.FRegistryUndo = false; s.FUndoLevels = 99; s.FRegistryUndoDir = "C:\\U1\\"; s.FRegistryConfirm = false;
    s.FDupSameDate = false; s.FDupSameName = true; s.FDupSameSize = false; s.FDupSameCRC = false;
    s.FDupSameMD5 = false; s.FDupSkipEmpty = false; s.FDupSkipSysBckup = true; s.FDupSkipDesktopIni = true;
    s.FDupRecycle = false; s.FDupConfirm = false;
    s.FUnnSkipHidden = false; s.FUnnSkipReadOnly = false; s.FUnnSkipSystem = true; s.FUnnSkipEmpty = true;
    s.FUnnRecycle = false; s.FUnnCustomDirs = {"C:\\Temp", "D:\\My files"}; s.FUnnConfirm = false; s.FUnnRecurse = false;
    s.FShortcutRemovable = false; s.FShortcutNetwork = false; s.FShortcutInternet = false;
    s.FShortcutEmptyFolders = true; s.FShortcutConfirm = false; s.FShortcutSkipDesktop = true; s.FShortcutRecycle = false;
    s.FChartLegendColors = true; s.FChartAutoScan = true; s.FChartCompressed = true; s.FChartFreeSpace = false;
    s.FTimedRegistry = true; s.FTimedTemp = true; s.FTimedCache = true; s.FTimedCookies = true;
    s.FTimedHistory = true; s.FTimedMRU = true; s.FTimedDeleteAll = false; s.FTimedCloseAfter = false;
    s.FTimedDaily = false; s.FTimedWeekly = true; s.FTimedWeekdays = {false, true, true, true, true, true, true};
    s.FTimedMonthly = true; s.FTimedDayOfMonth = 30; s.FTimedAtTime = true; s.FTimedTimeOfDay = "23:45";
    s.FTimedIdle = false; s.FTimedIdleMinutes = 1000;
    s.FAddRemoveUndo = false; s.FAddRemoveListExtra = true; s.FAddRemoveConfirm = false; s.FAddRemoveUndoDir = "C:\\U2\\";
    s.FStartupUndo = false; s.FStartupUndoDir = "C:\\U3\\"; s.FStartupConfirm = false; s.FStartupRecycle = false;
    return s;
}

TEST(SettingsUiTest, EverySettingWithAControlSurvivesFillAndReadBack)
{
    for (const bool changed : {true, false}) {
        SCOPED_TRACE(changed ? "changed settings" : "defaults");
        TOptionsFixture f;
        const TSettings in = changed ? Changed() : TSettings();
        FillOptionControls(&f.Dialog, in);
        TSettings out = changed ? TSettings() : Changed();
        out.FDupFloppyMaster = in.FDupFloppyMaster;
        ReadOptionControls(&f.Dialog, out);
        if (!changed) {
            // Item 0 of the language list is the built-in English.
            EXPECT_EQ(out.FLanguage, QStringLiteral("Default (English)"));
            out.FLanguage = in.FLanguage;
            EXPECT_EQ(out.FUserFont.Name, QFont().family());
            out.FUserFont = in.FUserFont;
            EXPECT_EQ(out.FBackgroundFile, Changed().FBackgroundFile) << "index 0 leaves the file name alone";
            out.FBackgroundFile = in.FBackgroundFile;
        }
        EXPECT_TRUE(out == in);
        EXPECT_EQ(out.FProxyPort, in.FProxyPort);
        EXPECT_EQ(out.FUnnCustomDirs, in.FUnnCustomDirs);
        EXPECT_EQ(out.FTimedTimeOfDay, in.FTimedTimeOfDay);
    }
}

TEST(SettingsUiTest, FillShowsTheTableFormsOfTheControls)
{
    TOptionsFixture f;
    TSettings s = Changed();
    s.FUndoLevels = 500;
    FillOptionControls(&f.Dialog, s);
    EXPECT_EQ(f.Get<QSpinBox>("ProxyPortUpDown")->value(), 40000);
    EXPECT_EQ(f.Get<QSpinBox>("UndoLevelsUpDown")->value(), 99) << "the up-down keeps its range";
    EXPECT_FALSE(f.Get<QRadioButton>("DuplicateRecycle")->isChecked());
    EXPECT_TRUE(f.Get<QRadioButton>("DuplicateDelete")->isChecked());
    auto *background = f.Get<QComboBox>("BackGround");
    ASSERT_EQ(background->count(), 2);
    EXPECT_EQ(background->itemText(0), QStringLiteral("Default"));
    EXPECT_EQ(background->currentText(), QStringLiteral("C:\\pics\\bg.bmp"));
    EXPECT_EQ(f.Get<QComboBox>("BGColor")->currentText(), QStringLiteral("#F7F7F7")) << "a colour outside the table is added";
    EXPECT_EQ(f.Get<QComboBox>("Language")->currentText(), QStringLiteral("Svenska"));
    EXPECT_EQ(f.Get<QComboBox>("MonthBox")->currentText(), QStringLiteral("31"));

    s.FBackgroundIndex = 0;
    s.FBackgroundColor = Colors::clBtnFace;
    s.FLanguageIndex = 0;
    FillOptionControls(&f.Dialog, s);
    EXPECT_EQ(background->count(), 1);
    EXPECT_EQ(f.Get<QComboBox>("BGColor")->currentText(), QStringLiteral("Button face"));
    EXPECT_EQ(f.Get<QComboBox>("Language")->currentIndex(), 0) << "index 0: English, whatever the name";
    // A colour of the file's own is shown as the user writes colours: red, green, blue.
    s.FBackgroundColor = 0x00336699;  // $00BBGGRR
    FillOptionControls(&f.Dialog, s);
    EXPECT_EQ(f.Get<QComboBox>("BGColor")->currentText(), QStringLiteral("#996633"));
    TSettings back;
    ReadOptionControls(&f.Dialog, back);
    EXPECT_EQ(back.FBackgroundColor, TColor(0x00336699));
}

TEST(SettingsUiTest, ADialogWithoutTheControlsLeavesTheSettings)
{
    QDialog empty;
    const TSettings in = Changed();
    FillOptionControls(&empty, in);
    TSettings out = in;
    ReadOptionControls(&empty, out);
    EXPECT_TRUE(out == in);
}

TEST(SettingsUiTest, LanguageListFromTheLanguagesFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Languages")));
    for (const char *file : {"Suomi.txt", "Svenska.txt", "notes.doc", "Broken.bmp", "Broken.txt"}) {
        QFile f(dir.filePath(QStringLiteral("Languages/") + QString::fromLatin1(file)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    QImage flag(32, 20, QImage::Format_RGB32);
    flag.fill(Qt::blue);
    ASSERT_TRUE(flag.save(dir.filePath(QStringLiteral("Languages/Suomi.bmp")), "BMP"));

    QPixmap english(16, 16), unknown(16, 16);
    english.fill(Qt::green);
    unknown.fill(Qt::red);
    QComboBox combo;
    FillLanguageCombo(&combo, dir.path(), QIcon(english), QIcon(unknown));
    ASSERT_EQ(combo.count(), 4);
    EXPECT_EQ(combo.itemText(0), QStringLiteral("Default (English)"));
    QStringList names;
    for (int i = 1; i < combo.count(); ++i)
        names << combo.itemText(i);
    names.sort();
    EXPECT_EQ(names, (QStringList{"Broken", "Suomi", "Svenska"}));
    auto colourOf = [&](const QString &name) {
        return combo.itemIcon(combo.findText(name)).pixmap(16, 16).toImage().pixelColor(8, 8);
    };
    EXPECT_EQ(colourOf(QStringLiteral("Default (English)")), QColor(Qt::green));
    EXPECT_EQ(colourOf(QStringLiteral("Suomi")), QColor(Qt::blue));
    EXPECT_EQ(colourOf(QStringLiteral("Svenska")), QColor(Qt::red)) << "no flag";
    EXPECT_EQ(colourOf(QStringLiteral("Broken")), QColor(Qt::red)) << "a flag that does not load";
}

TEST(SettingsUiTest, ColoursAndFonts)
{
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(1, 2, 3));
    palette.setColor(QPalette::Base, QColor(4, 5, 6));
    EXPECT_EQ(ToQColor(Colors::clBtnFace, palette), QColor(1, 2, 3));
    EXPECT_EQ(ToQColor(Colors::clWindow, palette), QColor(4, 5, 6));
    EXPECT_EQ(ToQColor(0x0000FF), QColor(255, 0, 0)) << "0x00BBGGRR";
    EXPECT_EQ(ToQColor(0xF7F7F7), QColor(0xF7, 0xF7, 0xF7));
    EXPECT_EQ(FromQColor(QColor(0x12, 0x34, 0x56)), 0x563412);

    const TFontSetting font{"Tahoma", 9, true, false, true, false};
    EXPECT_EQ(FromQFont(ToQFont(font)), font);
    EXPECT_FALSE(ScreenIconFont().Name.isEmpty());
    EXPECT_GT(ScreenIconFont().Size, 0);
}

}  // namespace
