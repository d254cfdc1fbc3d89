// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the options window: filled from the settings and read back through its real controls, Cancel, enabling rules, questions, pickers.
#include "shell/Options.h"

#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/MessageBoxes.h"
#include "shell/Settings.h"
#include "shell/SettingsUi.h"
#include "support/MessageBoxCatcher.h"
#include "support/PrefixBuilder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TSettings SampleSettings()
{
    TSettings s;
    SetProgramFolderDefaults(s, "Z:\\opt\\vaskimo\\");
    s.FUserFont = ScreenIconFont();
    s.FLanguage = "Default (English)";
    s.FUndoLevels = 42;
    s.FProxyServer = "proxy.example";
    s.FProxyPort = 40000;
    s.FProxyPassword = "s3cret";
    s.FUnnCustomDirs = {"C:\\Temp", "D:\\Junk"};
    s.FBackgroundIndex = 1;
    s.FBackgroundFile = "C:\\Pictures\\sky.bmp";
    s.FBackgroundStyle = 2;
    s.FTimedWeekdays = {false, true, false, true, false, false, true};
    s.FTimedDayOfMonth = 30;
    s.FTimedTimeOfDay = "23:45";
    s.FDupSameName = true;
    s.FChartCompressed = true;
    return s;
}

class OptionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
    }
    void TearDown() override
    {
        Options::SetFolderPicker({});
        Options::SetPicturePicker({});
        Options::SetFontPicker({});
    }
    // Clicks a control as the user does: its page first, then the mouse on it.
    void Click(TOptionsIkkuna &w, const char *name)
    {
        QWidget *control = w.Control<QWidget>(name);
        ASSERT_NE(control, nullptr) << name;
        for (int i = 0; i < w.Asetukset->count(); ++i)
            if (w.Asetukset->widget(i)->isAncestorOf(control))
                w.Asetukset->setCurrentIndex(i);
        const QPoint where = qobject_cast<QAbstractButton *>(control) && !qobject_cast<QPushButton *>(control)
                                 ? QPoint(6, control->height() / 2)
                                 : control->rect().center();
        QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, where);
    }
    bool Enabled(TOptionsIkkuna &w, const char *name) { return w.Control<QWidget>(name)->isEnabled(); }
    bool IsChecked(TOptionsIkkuna &w, const char *name) { return w.Control<QAbstractButton>(name)->isChecked(); }
    void Show(TOptionsIkkuna &w)
    {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }

    QTemporaryDir Dir;
    TestSupport::TBoxes Boxes;  // the questions asked, and the answer they get
};

TEST_F(OptionsTest, OkWithoutChangesKeepsEverySetting)
{
    const TSettings original = SampleSettings();
    TSettings s = original;
    TOptionsIkkuna w(nullptr, s, true, Dir.path(), true);
    EXPECT_EQ(w.windowTitle(), "Options");
    EXPECT_EQ(w.Asetukset->count(), 11);
    Show(w);
    QTest::mouseClick(w.Ok, Qt::LeftButton);
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_TRUE(s == original) << "a round trip through the controls changed a setting";
    EXPECT_TRUE(w.RunAtStartup());
    EXPECT_TRUE(Boxes.Shown.isEmpty());
}

TEST_F(OptionsTest, ClickedControlsComeBackOnOk)
{
    const TSettings original = SampleSettings();
    TSettings s = original;
    TOptionsIkkuna w(nullptr, s, false, Dir.path(), true);
    Show(w);
    Click(w, "HideTray");
    Click(w, "SkipEmpty");
    Click(w, "DuplicateDelete");
    Click(w, "Uncompressed");
    Click(w, "Tuesday");  // disabled: no weekly task
    Click(w, "ListExtra");
    w.Control<QSpinBox>("UndoLevelsUpDown")->setValue(7);
    w.Control<QLineEdit>("Proxy")->setText("other.proxy");
    EXPECT_EQ(s, original) << "nothing goes back before OK";
    QTest::mouseClick(w.Ok, Qt::LeftButton);

    TSettings expected = original;
    expected.FHideToTray = !original.FHideToTray;
    expected.FDupSkipEmpty = !original.FDupSkipEmpty;
    expected.FDupRecycle = false;
    expected.FChartCompressed = false;
    expected.FAddRemoveListExtra = !original.FAddRemoveListExtra;
    expected.FUndoLevels = 7;
    expected.FProxyServer = "other.proxy";
    EXPECT_TRUE(s == expected);
    EXPECT_EQ(s.FHideToTray, expected.FHideToTray);
    EXPECT_EQ(s.FDupRecycle, false);
}

TEST_F(OptionsTest, CancelAndEscapeChangeNothing)
{
    for (bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Esc" : "Cancel button");
        const TSettings original = SampleSettings();
        TSettings s = original;
        TOptionsIkkuna w(nullptr, s, false, Dir.path(), true);
        Show(w);
        Click(w, "HideTray");
        Click(w, "UseProxy");
        w.Control<QLineEdit>("UndoHakemisto")->setText("C:\\Elsewhere\\");
        if (escape)
            QTest::keyClick(&w, Qt::Key_Escape);
        else
            QTest::mouseClick(w.Cancel, Qt::LeftButton);
        EXPECT_EQ(w.result(), QDialog::Rejected);
        EXPECT_FALSE(w.isVisible());
        EXPECT_TRUE(s == original);
    }
}

TEST_F(OptionsTest, CheckBoxesEnableTheirControls)
{
    const struct {
        const char *name;
        const char *source;
        bool inverted;
        std::initializer_list<const char *> controls;
    } cases[] = {
        {"undo", "Undo", false, {"UndoLevelsUpDown", "Label1", "Label3", "UndoHakemisto", "HaeHak"}},
        {"add/remove undo", "UndoLisaaPoista", false, {"Label16", "LisaaPoistaUndoHakemisto", "GetHakemisto"}},
        {"startup undo", "StartupUndo", false, {"Label15", "StartupUndoHakemisto", "HaeStartupHak"}},
        {"proxy", "UseProxy", false,
         {"Label7", "Proxy", "Label8", "ProxyPortUpDown", "Label17", "ProxyUsername", "Label18", "ProxyPassword"}},
        {"automatic update", "AutoUpdate", false, {"AlwaysConnected", "AutomateBlacklist"}},
        {"no background", "NoBG", true, {"Label2", "Label12", "BackGround", "AvaaButton", "BGStyle"}},
    };
    TSettings s = SampleSettings();
    TOptionsIkkuna w(nullptr, s, false, Dir.path(), true);
    Show(w);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (int round = 0; round < 2; ++round) {
            Click(w, c.source);
            const bool expected = IsChecked(w, c.source) != c.inverted;
            for (const char *control : c.controls)
                EXPECT_EQ(Enabled(w, control), expected) << control << " after click " << round;
        }
    }
}

TEST_F(OptionsTest, LastDuplicateCriterionCannotBeCleared)
{
    TSettings s = SampleSettings();
    s.FDupSameDate = false;
    s.FDupSameName = false;
    s.FDupSameSize = true;
    TOptionsIkkuna w(nullptr, s, false, Dir.path(), true);
    Show(w);
    EXPECT_FALSE(Enabled(w, "SameSize"));
    EXPECT_TRUE(Enabled(w, "SameCRC"));
    EXPECT_TRUE(Enabled(w, "SameMD5"));
    Click(w, "SameSize");
    EXPECT_TRUE(IsChecked(w, "SameSize")) << "a disabled box does not take the click";

    Click(w, "SameDate");
    EXPECT_TRUE(Enabled(w, "SameSize"));
    EXPECT_TRUE(Enabled(w, "SameDate"));
    Click(w, "SameSize");
    EXPECT_FALSE(IsChecked(w, "SameSize"));
    EXPECT_FALSE(Enabled(w, "SameDate")) << "now date is the last one";
    EXPECT_FALSE(Enabled(w, "SameCRC"));
    EXPECT_FALSE(Enabled(w, "SameMD5"));

    // A file that clears all three would make every file a duplicate: size stays.
    TSettings none = SampleSettings();
    none.FDupSameDate = none.FDupSameName = none.FDupSameSize = false;
    TOptionsIkkuna w2(nullptr, none, false, Dir.path(), true);
    EXPECT_TRUE(IsChecked(w2, "SameSize"));
    EXPECT_FALSE(Enabled(w2, "SameSize"));
}

TEST_F(OptionsTest, SchedulingAsksAboutAutoStartOnlyWhenShown)
{
    TSettings s = SampleSettings();
    s.FTimedRegistry = true;  // a task, and no auto-start: the question, but not while filling
    TOptionsIkkuna w(nullptr, s, false, Dir.path(), true);
    EXPECT_FALSE(w.OptionsShown());
    w.RunEnablingRules();
    Show(w);
    EXPECT_TRUE(Boxes.Shown.isEmpty());
    EXPECT_TRUE(Enabled(w, "CloseOnReady"));

    // Unchecking the only task: auto-start is off already, nothing to ask.
    Click(w, "RegistryCheck");
    EXPECT_TRUE(Boxes.Shown.isEmpty());
    EXPECT_FALSE(Enabled(w, "CloseOnReady"));
    EXPECT_FALSE(Enabled(w, "DeleteAll"));
    EXPECT_FALSE(Enabled(w, "Daily"));
    EXPECT_FALSE(Enabled(w, "TimeEdit"));

    Click(w, "RegistryCheck");
    ASSERT_EQ(Boxes.Shown.size(), 1) << "once per click";
    EXPECT_TRUE(Boxes.Shown[0].startsWith("Scheduling is enabled but Vaskimo is not set to start"));
    EXPECT_TRUE(IsChecked(w, "Start"));

    Boxes.Shown.clear();
    Boxes.Answer = false;
    Click(w, "RegistryCheck");
    ASSERT_EQ(Boxes.Shown.size(), 1);
    EXPECT_TRUE(Boxes.Shown[0].startsWith("Scheduling is disabled but Vaskimo is set to start"));
    EXPECT_TRUE(IsChecked(w, "Start")) << "No keeps it";
}

TEST_F(OptionsTest, PeriodAndTimeChoicesEnableTheirControls)
{
    TSettings s = SampleSettings();
    s.FTimedCache = true;
    s.FTimedDaily = true;
    s.FTimedWeekly = false;
    s.FTimedAtTime = false;
    s.FTimedIdle = true;
    TOptionsIkkuna w(nullptr, s, true, Dir.path(), true);
    Show(w);
    EXPECT_FALSE(Enabled(w, "Monday"));
    EXPECT_FALSE(Enabled(w, "MonthBox"));
    Click(w, "Weekly");
    EXPECT_TRUE(Enabled(w, "Monday"));
    EXPECT_TRUE(Enabled(w, "Sunday"));
    EXPECT_FALSE(Enabled(w, "MonthBox"));
    Click(w, "Monthly");
    EXPECT_FALSE(Enabled(w, "Monday"));
    EXPECT_TRUE(Enabled(w, "MonthBox"));
    EXPECT_TRUE(Enabled(w, "IdleEditUpDown"));
    EXPECT_FALSE(Enabled(w, "TimeEdit"));
    Click(w, "TimeDay");
    EXPECT_TRUE(Enabled(w, "TimeEdit"));
    EXPECT_FALSE(Enabled(w, "IdleEditUpDown"));
    EXPECT_TRUE(Boxes.Shown.isEmpty()) << "auto-start is on and a task is chosen";

    const QLocale locale;
    EXPECT_EQ(w.Control<QCheckBox>("Monday")->text().remove(u'&'), locale.dayName(1, QLocale::ShortFormat));
    EXPECT_EQ(w.Control<QCheckBox>("Saturnday")->toolTip(), locale.dayName(6, QLocale::LongFormat));
}

TEST_F(OptionsTest, FolderPickersAddBackslashExceptForCustomFolders)
{
    QStringList titles;
    Options::SetFolderPicker([&](QWidget *, const QString &title) -> std::optional<QString> {
        titles << title;
        return QString("C:\\Undo");
    });
    TSettings s = SampleSettings();
    s.FUnnCustomDirs = {"A:\\one", "B:\\two", "C:\\three"};
    TOptionsIkkuna w(nullptr, s, false, Dir.path(), true);
    Show(w);
    const struct {
        const char *button, *edit;
    } pickers[] = {
        {"HaeHak", "UndoHakemisto"},
        {"GetHakemisto", "LisaaPoistaUndoHakemisto"},
        {"HaeStartupHak", "StartupUndoHakemisto"},
        {"BrowseButton", "SaveTo"},
    };
    for (const auto &p : pickers) {
        SCOPED_TRACE(p.button);
        Click(w, p.button);
        EXPECT_EQ(w.Control<QLineEdit>(p.edit)->text(), "C:\\Undo\\");
    }
    EXPECT_EQ(titles.value(0), "Select directory");

    auto *dirs = w.Control<QListWidget>("CustomDir");
    EXPECT_FALSE(Enabled(w, "btnRemoveCustomDir"));
    Click(w, "btnAddCustomDir");
    ASSERT_EQ(dirs->count(), 4);
    EXPECT_EQ(dirs->item(3)->text(), "C:\\Undo");
    dirs->item(0)->setSelected(true);
    dirs->item(2)->setSelected(true);
    EXPECT_TRUE(Enabled(w, "btnRemoveCustomDir"));
    Click(w, "btnRemoveCustomDir");
    ASSERT_EQ(dirs->count(), 2);
    EXPECT_EQ(dirs->item(0)->text(), "B:\\two");
    EXPECT_EQ(dirs->item(1)->text(), "C:\\Undo");
    EXPECT_FALSE(Enabled(w, "btnRemoveCustomDir"));

    Options::SetFolderPicker([](QWidget *, const QString &) { return std::optional<QString>(); });
    Click(w, "HaeHak");
    EXPECT_EQ(w.Control<QLineEdit>("UndoHakemisto")->text(), "C:\\Undo\\") << "cancelled: the edit keeps its text";

    QTest::mouseClick(w.Ok, Qt::LeftButton);
    EXPECT_EQ(s.FRegistryUndoDir, "C:\\Undo\\");
    EXPECT_EQ(s.FUnnCustomDirs, (QStringList{"B:\\two", "C:\\Undo"}));
}

// wineboot links the profile's Desktop into the home: a custom folder chosen there says so.
TEST_F(OptionsTest, CustomFolderLinkedIntoTheHomeShowsWhereItLeads)
{
    TestSupport::TPrefixBuilder b;
    const QString home = b.Folder() + "/home";
    ASSERT_TRUE(QDir().mkpath(home));
    ASSERT_TRUE(QFile::link(home, b.AddFolder("C:\\users\\me") + "/Desktop"));
    b.MakeCurrent();
    Options::SetFolderPicker([](QWidget *, const QString &) { return std::optional<QString>("C:\\users\\me\\Desktop"); });
    TSettings s = SampleSettings();
    s.FUnnCustomDirs = {"C:\\users\\me\\Desktop\\"};
    TOptionsIkkuna w(nullptr, s, false, Dir.path(), true);
    Show(w);
    Click(w, "btnAddCustomDir");
    auto *dirs = w.Control<QListWidget>("CustomDir");
    ASSERT_EQ(dirs->count(), 2);
    const QString real = QFileInfo(home).canonicalFilePath();
    EXPECT_EQ(dirs->item(0)->text(), "C:\\users\\me\\Desktop\\ \u2192 " + real);
    EXPECT_EQ(dirs->item(1)->text(), "C:\\users\\me\\Desktop \u2192 " + real);
    QTest::mouseClick(w.Ok, Qt::LeftButton);
    EXPECT_EQ(s.FUnnCustomDirs, (QStringList{"C:\\users\\me\\Desktop\\", "C:\\users\\me\\Desktop"}));
}

TEST_F(OptionsTest, PictureAndFontChoices)
{
    Options::SetPicturePicker([](QWidget *, const QString &title) -> std::optional<QString> {
        EXPECT_EQ(title, "Open background image");
        return QString("C:\\Pictures\\new.jpg");
    });
    QFont tahoma("Tahoma", 8);
    tahoma.setBold(true);
    Options::SetFontPicker([&](QWidget *, const QFont &) -> std::optional<QFont> { return tahoma; });
    TSettings s = SampleSettings();
    s.FNoBackground = false;
    TOptionsIkkuna w(nullptr, s, false, Dir.path(), true);
    Show(w);
    Click(w, "AvaaButton");
    auto *background = w.Control<QComboBox>("BackGround");
    EXPECT_EQ(background->itemText(0), "Default");
    EXPECT_EQ(background->currentText(), "C:\\Pictures\\new.jpg");
    Click(w, "btnFont");
    EXPECT_EQ(w.FontLabel->text(), "Tahoma, 8pt, Bold");
    EXPECT_EQ(w.font().family(), "Tahoma");
    QTest::mouseClick(w.Ok, Qt::LeftButton);
    EXPECT_EQ(s.FBackgroundIndex, 2);
    EXPECT_EQ(s.FBackgroundFile, "C:\\Pictures\\new.jpg");
    EXPECT_EQ(s.FUserFont.Name, "Tahoma");
    EXPECT_EQ(s.FUserFont.Size, 8);
    EXPECT_TRUE(s.FUserFont.Bold);

    QFont all("Arial", 12);
    all.setItalic(true);
    all.setUnderline(true);
    all.setStrikeOut(true);
    EXPECT_EQ(Options::FontDescription(all), "Arial, 12pt, Italic, Underline, Strike out");
}

TEST_F(OptionsTest, LanguageListAndCompressedChoice)
{
    ASSERT_TRUE(QDir().mkpath(Dir.filePath("Languages")));
    QFile file(Dir.filePath("Languages/Suomi.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    TSettings s = SampleSettings();
    TOptionsIkkuna w(nullptr, s, false, Dir.path(), false);
    EXPECT_EQ(w.LangDir->text(), QDir(Dir.path()).filePath("Languages") + "/");
    auto *language = w.Control<QComboBox>("Language");
    ASSERT_EQ(language->count(), 2);
    EXPECT_FALSE(Enabled(w, "Compressed")) << "not the NT family";
    EXPECT_FALSE(Enabled(w, "Uncompressed"));
    Show(w);
    language->setCurrentIndex(1);
    QTest::mouseClick(w.Ok, Qt::LeftButton);
    EXPECT_EQ(s.FLanguageIndex, 1);
    EXPECT_EQ(s.FLanguage, "Suomi");
}

TEST_F(OptionsTest, TranslatedFromTheLanguageInUse)
{
    ASSERT_TRUE(QDir().mkpath(Dir.filePath("Languages")));
    QFile file(Dir.filePath("Languages/Suomi.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[OptionsIkkuna]\r\nOptionsIkkuna.Caption=Asetukset\r\nOptionsIkkuna.HideTray.Caption=Piiloon\r\n"
               "OptionsIkkuna.GeneralSheet.Caption=Yleiset\r\nOptionsIkkuna.Proxy.Text=ei.tama\r\n"
               "OptionsIkkuna.DuplicateSheet.Caption=Kaksoiskappaleet && muut\r\n"
               "[Misc]\r\nM083DI=Valitse kansio\r\n");
    file.close();
    QString title;
    Options::SetFolderPicker([&](QWidget *, const QString &t) -> std::optional<QString> {
        title = t;
        return std::nullopt;
    });
    TSettings s = SampleSettings();
    s.FLanguageIndex = 1;
    s.FLanguage = "Suomi";
    TOptionsIkkuna w(nullptr, s, false, Dir.path(), true);
    EXPECT_EQ(w.windowTitle(), "Asetukset");
    EXPECT_EQ(w.Control<QCheckBox>("HideTray")->text(), "Piiloon");
    EXPECT_EQ(w.Asetukset->tabText(0), "Yleiset");
    // The pages are chosen by their translated captions, an "&&" read as one "&".
    auto *pages = w.Control<QListWidget>("PageList");
    ASSERT_TRUE(pages);
    ASSERT_EQ(pages->count(), 11);
    EXPECT_EQ(pages->item(0)->text(), "Yleiset");
    EXPECT_EQ(pages->item(6)->text(), "Kaksoiskappaleet & muut");
    EXPECT_EQ(pages->item(7)->text(), "Unnecessary files");
    EXPECT_EQ(w.Control<QLineEdit>("Proxy")->text(), "proxy.example") << "the settings' own text wins";
    EXPECT_EQ(w.Control<QComboBox>("Language")->currentText(), "Suomi");
    Show(w);
    Click(w, "HaeHak");
    EXPECT_EQ(title, "Valitse kansio");
    CloseLanguageFile();
}

} // namespace
