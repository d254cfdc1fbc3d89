// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "Options.ini": defaults, bad values key by key, the first-run rule and round trips.
#include "shell/Settings.h"

#include "crypto/Encryption.h"
#include "support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

class SettingsTest : public ::testing::Test
{
protected:
    QTemporaryDir FDir;
    QString FPath = FDir.filePath(QStringLiteral("Options.ini"));

    void WriteFile(const QByteArray &text)
    {
        QFile f(FPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    QByteArray FileText()
    {
        QFile f(FPath);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }

    static TSettings Defaults()
    {
        TSettings s;
        SetProgramFolderDefaults(s, QStringLiteral("Z:\\opt\\vaskimo\\"));
        return s;
    }

    TSettings Read()
    {
        TSettings s = Defaults();
        EXPECT_TRUE(ReadSettings(s, FPath));
        return s;
    }

    // The key names of one section, in file order.
    QStringList KeysOf(const QByteArray &text, const QString &section)
    {
        QStringList keys;
        bool inside = false;
        for (const QByteArray &raw : text.split('\n')) {
            const QString line = QString::fromLatin1(raw).trimmed();
            if (line.startsWith(u'[')) {
                inside = line.compare(u'[' + section + u']', Qt::CaseInsensitive) == 0;
                continue;
            }
            if (inside && line.contains(u'=') && !line.startsWith(u';'))
                keys << line.section(u'=', 0, 0);
        }
        return keys;
    }
};

TEST_F(SettingsTest, NoFileGivesEveryDefaultAndTheFirstRun)
{
    const TSettings s = Read();
    TSettings expected = Defaults();
    expected.FFirstRun = true;
    EXPECT_TRUE(s == expected);
    EXPECT_EQ(s.FLanguageIndex, 0);
    EXPECT_EQ(s.FRegistryUndoDir, QStringLiteral("Z:\\opt\\vaskimo\\Undo\\"));
    EXPECT_EQ(s.FUpdateDir, QStringLiteral("Z:\\opt\\vaskimo\\"));
    EXPECT_EQ(s.FBackgroundColor, Colors::clBtnFace);
    EXPECT_EQ(s.FTimedTimeOfDay, QStringLiteral("00:00"));
    EXPECT_FALSE(QFile::exists(FPath)) << "reading never creates the file";
}

TEST_F(SettingsTest, FirstRunFollowsLanguageIndex)
{
    const struct {
        const char *name;
        QByteArray file;
        bool firstRun;
        int index;
    } cases[] = {
        {"key missing", "[General]\r\nLanguage=Suomi\r\n", true, 0},
        {"zero", "[General]\r\nLanguage index=0\r\n", false, 0},
        {"a language", "[General]\r\nLanguage index=3\r\n", false, 3},
        {"the marker itself", "[General]\r\nLanguage index=-69\r\n", true, -69},
        {"unreadable", "[General]\r\nLanguage index=abc\r\n", true, 0},
        {"other section", "[Update]\r\nLanguage index=2\r\n", true, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(c.file);
        const TSettings s = Read();
        EXPECT_EQ(s.FFirstRun, c.firstRun);
        EXPECT_EQ(s.FLanguageIndex, c.index);
    }
}

// Each bad value falls back to its own default and the keys after it are still read.
TEST_F(SettingsTest, BadValuesGiveTheirDefaultAndLaterKeysStillRead)
{
    WriteFile("[General]\r\n"
              "Background color=clNoSuchColour\r\n"
              "Disable background=0\r\n"
              "Language index=2\r\n"
              "Font name=Tahoma\r\n"
              "Font size=big\r\n"
              "Font bold=1\r\n"
              "Background style=7\r\n"
              "[Update]\r\n"
              "Proxy port=70000\r\n"
              "Port=40000\r\n"
              "Use proxy=yes\r\n"
              "Proxy username=me\r\n"
              "[Registry]\r\n"
              "Undo levels=abc\r\n"
              "Confirm registry changes=0\r\n"
              "[Timing]\r\n"
              "Day of the month=31\r\n"
              "Idle for=0\r\n"
              "Saturnday=1\r\n"
              "[Startup]\r\n"
              "Deleting method=0\r\n");
    const TSettings s = Read();
    EXPECT_EQ(s.FBackgroundColor, Colors::clBtnFace);
    EXPECT_FALSE(s.FNoBackground);
    EXPECT_EQ(s.FLanguageIndex, 2);
    EXPECT_EQ(s.FUserFont.Name, QStringLiteral("Tahoma"));
    EXPECT_EQ(s.FUserFont.Size, 8);
    EXPECT_TRUE(s.FUserFont.Bold);
    EXPECT_EQ(s.FBackgroundStyle, 0);
    EXPECT_EQ(s.FProxyPort, 0) << "over 65535";
    EXPECT_EQ(s.FPort, 40000) << "a port over 32767 is a port";
    EXPECT_FALSE(s.FUseProxy) << "unreadable boolean";
    EXPECT_EQ(s.FProxyUsername, QStringLiteral("me"));
    EXPECT_EQ(s.FUndoLevels, 10);
    EXPECT_FALSE(s.FRegistryConfirm);
    EXPECT_EQ(s.FTimedDayOfMonth, 0);
    EXPECT_EQ(s.FTimedIdleMinutes, 10);
    EXPECT_TRUE(s.FTimedWeekdays[Saturday]);
    EXPECT_FALSE(s.FStartupRecycle);
}

TEST_F(SettingsTest, AProxyPasswordThatIsNotBase64ReadsAsEmpty)
{
    WriteFile("[Update]\r\nProxy password=abc\r\nProxy username=me\r\n");
    const TSettings s = Read();
    EXPECT_EQ(s.FProxyPassword, QString());
    EXPECT_EQ(s.FProxyUsername, QStringLiteral("me"));
}

// One bad value per row; the key read after it must still be read.
TEST_F(SettingsTest, BadValueTable)
{
    const TSettings d = Defaults();
    const struct {
        const char *name;
        QByteArray file;
        std::function<bool(const TSettings &)> badIsDefault;
        std::function<bool(const TSettings &)> laterRead;
    } cases[] = {
        {"undo levels not a number", "[Registry]\r\nUndo levels=abc\r\nSave undo files to=C:\\U\\\r\n",
         [&](const TSettings &s) { return s.FUndoLevels == d.FUndoLevels; },
         [](const TSettings &s) { return s.FRegistryUndoDir == QStringLiteral("C:\\U\\"); }},
        {"undo levels out of range", "[Registry]\r\nUndo levels=0\r\nConfirm registry changes=0\r\n",
         [&](const TSettings &s) { return s.FUndoLevels == d.FUndoLevels; },
         [](const TSettings &s) { return !s.FRegistryConfirm; }},
        {"unknown colour", "[General]\r\nBackground color=clPink\r\nDisable background=0\r\nFont strikeout=1\r\n",
         [&](const TSettings &s) { return s.FBackgroundColor == d.FBackgroundColor; },
         [](const TSettings &s) { return !s.FNoBackground && s.FUserFont.StrikeOut; }},
        {"colour with a blank", "[General]\r\nBackground color=$00 F7F7F7\r\nLanguage=Suomi\r\n",
         [&](const TSettings &s) { return s.FBackgroundColor == d.FBackgroundColor; },
         [](const TSettings &s) { return s.FLanguage == QStringLiteral("Suomi"); }},
        {"proxy port negative", "[Update]\r\nProxy port=-1\r\nUse proxy=1\r\n",
         [&](const TSettings &s) { return s.FProxyPort == d.FProxyPort; },
         [](const TSettings &s) { return s.FUseProxy; }},
        {"proxy port too big for 32 bits", "[Update]\r\nProxy port=99999999999\r\nUse proxy=1\r\n",
         [&](const TSettings &s) { return s.FProxyPort == d.FProxyPort; },
         [](const TSettings &s) { return s.FUseProxy; }},
        {"background index negative", "[General]\r\nBackground index=-3\r\nBackground=C:\\b.bmp\r\n",
         [&](const TSettings &s) { return s.FBackgroundIndex == 0; },
         [](const TSettings &s) { return s.FBackgroundFile == QStringLiteral("C:\\b.bmp"); }},
        {"font size not a number", "[General]\r\nFont size=x\r\nFont bold=1\r\n[Registry]\r\nUndo levels=5\r\n",
         [&](const TSettings &s) { return s.FUserFont.Size == d.FUserFont.Size; },
         [](const TSettings &s) { return s.FUserFont.Bold && s.FUndoLevels == 5; }},
        {"day of the month past 31", "[Timing]\r\nDay of the month=40\r\nTime=1\r\n",
         [&](const TSettings &s) { return s.FTimedDayOfMonth == 0; },
         [](const TSettings &s) { return s.FTimedAtTime; }},
        {"no file", QByteArray(),
         [&](const TSettings &s) { TSettings e = d; e.FFirstRun = true; return s == e; },
         [](const TSettings &) { return true; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.file.isNull())
            QFile::remove(FPath);
        else
            WriteFile(c.file);
        const TSettings s = Read();
        EXPECT_TRUE(c.badIsDefault(s));
        EXPECT_TRUE(c.laterRead(s));
    }
}

TEST_F(SettingsTest, BooleansAreIntegersOtherThanZero)
{
    WriteFile("[Shortcuts]\r\nSkip desktop=2\r\nEmpty folders=-1\r\nInternet addresses=0\r\nFiles on network drives=\r\n");
    const TSettings s = Read();
    EXPECT_TRUE(s.FShortcutSkipDesktop);
    EXPECT_TRUE(s.FShortcutEmptyFolders);
    EXPECT_FALSE(s.FShortcutInternet);
    EXPECT_TRUE(s.FShortcutNetwork) << "empty value: the default";
}

TEST_F(SettingsTest, ColorsByNameOrHex)
{
    const struct {
        const char *name;
        const char *text;
        bool ok;
        TColor color;
    } cases[] = {
        {"system colour", "clBtnFace", true, Colors::clBtnFace},
        {"name ignores case", "CLRED", true, 0x0000FF},
        {"hex", "$00F7F7F7", true, 0xF7F7F7},
        {"hex lower case", "$00abcdef", true, 0xABCDEF},
        {"hex all bits", "$FFFFFFFF", true, -1},
        {"0x hex", "0x10", true, 0x10},
        {"decimal", "255", true, 255},
        {"unknown name", "clNoSuchColour", false, 0},
        {"empty", "", false, 0},
        {"dollar alone", "$", false, 0},
        {"nine hex digits", "$123456789", false, 0},
        {"not hex", "$00GG0000", false, 0},
        {"trailing junk", "12x", false, 0},
        {"signed hex", "$-1", false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TColor color = 12345;
        EXPECT_EQ(StringToColor(QString::fromLatin1(c.text), &color), c.ok);
        EXPECT_EQ(color, c.ok ? c.color : 12345);
    }
    EXPECT_EQ(ColorToString(Colors::clBtnFace), QStringLiteral("clBtnFace"));
    EXPECT_EQ(ColorToString(0xC0C0C0), QStringLiteral("clSilver"));
    EXPECT_EQ(ColorToString(0xF7F7F7), QStringLiteral("$00F7F7F7"));
    EXPECT_EQ(ColorToString(TColor(0x8000001F)), QStringLiteral("$8000001F"));
}

TEST_F(SettingsTest, WritingUnchangedKeepsTheFileAndAppendsMissingKeysInOrder)
{
    const QByteArray original =
        "; my settings, edited by hand\r\n"
        "[general]\r\n"
        "Language index=2\r\n"
        "; a comment inside\r\n"
        "My own key=keep me\r\n"
        "Language=Suomi\r\n"
        "Background color=clRed\r\n"
        "\r\n"
        "[Update]\r\n"
        "Port=8080\r\n"
        "[Registry]\r\n"
        "Maximized=1\r\n"
        "Undo levels=25\r\n"
        "[Somebody else]\r\n"
        "x=y\r\n";
    WriteFile(original);
    const TSettings s = Read();
    QString error;
    ASSERT_TRUE(WriteSettings(s, FPath, &error)) << error.toStdString();
    const QByteArray text = FileText();

    // Lines we did not write keep their bytes and place; there is one General section.
    EXPECT_TRUE(text.startsWith("; my settings, edited by hand\r\n[general]\r\nLanguage index=2\r\n; a comment inside\r\n"
                                "My own key=keep me\r\nLanguage=Suomi\r\nBackground color=clRed\r\n"));
    EXPECT_EQ(text.count("[general]"), 1);
    EXPECT_EQ(text.toLower().count("[general]"), 1);
    EXPECT_TRUE(text.contains("[Somebody else]\r\nx=y\r\n"));
    EXPECT_TRUE(text.contains("Maximized=1\r\n"));

    EXPECT_EQ(KeysOf(text, QStringLiteral("Update")),
              (QStringList{"Port", "Automatic update", "Automatic blacklist update", "Always connected to the Internet",
                           "Proxy server", "Proxy port", "Use proxy", "Proxy username", "Proxy password",
                           "Update address", "Save update directory"}));
    EXPECT_EQ(KeysOf(text, QStringLiteral("Registry")),
              (QStringList{"Maximized", "Undo levels", "Create undo file on delete", "Save undo files to",
                           "Confirm registry changes"}));
    EXPECT_EQ(KeysOf(text, QStringLiteral("Shortcuts")),
              (QStringList{"Files on removable medias", "Files on network drives", "Internet addresses",
                           "Empty folders", "Skip desktop", "Deleting method", "Confirm start changes"}));
    const QStringList timing = KeysOf(text, QStringLiteral("Timing"));
    EXPECT_EQ(timing.mid(10, 7), (QStringList{"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturnday", "Sunday"}));

    // New sections follow the existing ones, in the settings' order.
    QList<qsizetype> at;
    for (const char *section : {"[Somebody else]", "[Duplicate files]", "[Unnecessary files]", "[Shortcuts]",
                                "[Space usage]", "[Timing]", "[Add/remove]", "[Startup]"})
        at << text.indexOf(section);
    for (int i = 1; i < at.size(); ++i)
        EXPECT_LT(at[i - 1], at[i]) << i;

    // And reading it back gives the same settings; a second write changes no byte.
    TSettings again = Read();
    EXPECT_TRUE(again == s);
    ASSERT_TRUE(WriteSettings(again, FPath, &error));
    EXPECT_EQ(FileText(), text);
}

// The whole saved file, byte for byte, against files written by hand: one with every default, one
// where the values differ from their defaults and from their neighbours, so a key written from the
// wrong field or in the wrong place shows.
TEST_F(SettingsTest, ANewFileHoldsEveryKeyInItsPlace)
{
    const auto fixture = [](const char *name) {
        QFile f(QStringLiteral(VASKIMO_FIXTURES "/settings/") + QLatin1String(name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        return f.readAll();
    };

    ASSERT_TRUE(WriteSettings(Defaults(), FPath));
    EXPECT_EQ(FileText(), fixture("defaults.ini"));

    TSettings s = Defaults();
    s.FShowSplash = false;
    s.FHideToTray = true;
    s.FForceTryDelete = true;
    s.FBackgroundIndex = 1;
    s.FBackgroundFile = QStringLiteral("Z:\\home\\user\\tausta.bmp");
    s.FBackgroundStyle = 2;
    s.FBackgroundColor = 0xF7F7F7;
    s.FNoBackground = false;
    s.FLanguageIndex = 1;
    s.FLanguage = QStringLiteral("Suomi");
    s.FUserFont = {QStringLiteral("DejaVu Sans"), 11, true, false, true, false};
    s.FAutoUpdate = true;
    s.FAutoBlacklist = false;
    s.FAlwaysConnected = true;
    s.FProxyServer = QStringLiteral("proxy.example.org");
    s.FProxyPort = 3128;
    s.FUseProxy = true;
    s.FProxyUsername = QStringLiteral("jussi");
    s.FPort = 8080;
    s.FUpdateAddress = QStringLiteral("http://127.0.0.1:8080/Vaskimo.upd");
    s.FUpdateDir = QStringLiteral("Z:\\opt\\vaskimo\\updates\\");
    s.FRegistryUndo = false;
    s.FUndoLevels = 25;
    s.FRegistryUndoDir = QStringLiteral("C:\\undo\\registry\\");
    s.FRegistryConfirm = false;
    s.FDupSameDate = false;
    s.FDupSameName = true;
    s.FDupSameSize = false;
    s.FDupSameMD5 = false;
    s.FDupSkipEmpty = false;
    s.FDupFloppyMaster = false;
    s.FDupSkipSysBckup = true;
    s.FDupRecycle = false;
    s.FUnnSkipHidden = false;
    s.FUnnSkipSystem = true;
    s.FUnnRecycle = false;
    s.FUnnCustomDirs = {QStringLiteral("C:\\My Files"), QStringLiteral("D:\\x")};
    s.FUnnConfirm = false;
    s.FShortcutRemovable = false;
    s.FShortcutInternet = false;
    s.FShortcutEmptyFolders = true;
    s.FShortcutSkipDesktop = true;
    s.FShortcutRecycle = false;
    s.FShortcutConfirm = false;
    s.FChartLegendColors = true;
    s.FChartCompressed = true;
    s.FChartFreeSpace = false;
    s.FTimedRegistry = true;
    s.FTimedCache = true;
    s.FTimedHistory = true;
    s.FTimedDeleteAll = false;
    s.FTimedDaily = false;
    s.FTimedWeekly = true;
    s.FTimedWeekdays = {false, true, false, true, false, true, false};
    s.FTimedMonthly = true;
    s.FTimedDayOfMonth = 30;
    s.FTimedAtTime = true;
    s.FTimedTimeOfDay = QStringLiteral("23:45");
    s.FTimedIdle = false;
    s.FTimedIdleMinutes = 1000;
    s.FAddRemoveUndo = false;
    s.FAddRemoveListExtra = true;
    s.FAddRemoveConfirm = false;
    s.FAddRemoveUndoDir = QStringLiteral("C:\\undo\\programs\\");
    s.FStartupUndo = false;
    s.FStartupUndoDir = QStringLiteral("C:\\undo\\startup\\");
    s.FStartupConfirm = false;
    s.FStartupRecycle = false;
    ASSERT_TRUE(QFile::remove(FPath));
    ASSERT_TRUE(WriteSettings(s, FPath));
    EXPECT_EQ(FileText(), fixture("changed.ini"));

    WriteFile(fixture("changed.ini"));
    EXPECT_TRUE(Read() == s) << "every key reads back into its own field";
}

TEST_F(SettingsTest, ChangedValuesAreUpdatedInPlace)
{
    WriteFile("[General]\r\nHide to tray=0\r\nZ=1\r\n[Unnecessary files]\r\nCustom directories=\r\n");
    TSettings s = Read();
    s.FHideToTray = true;
    s.FBackgroundColor = 0xF7F7F7;
    s.FUnnCustomDirs = {QStringLiteral("C:\\My Files"), QStringLiteral("D:\\x")};
    s.FProxyPort = 65535;
    ASSERT_TRUE(WriteSettings(s, FPath));
    const QByteArray text = FileText();
    EXPECT_TRUE(text.startsWith("[General]\r\nHide to tray=1\r\nZ=1\r\n"));
    EXPECT_TRUE(text.contains("Background color=$00F7F7F7\r\n"));
    EXPECT_TRUE(text.contains("Custom directories=\"C:\\My Files\",D:\\x\r\n"));
    const TSettings back = Read();
    EXPECT_FALSE(back.FFirstRun) << "the full write stores the language index";
    s.FFirstRun = false;
    EXPECT_TRUE(back == s);
    EXPECT_EQ(back.FProxyPort, 65535);
}

TEST_F(SettingsTest, ANewFileIsReadableByItsOwnerOnly)
{
    TSettings s = Defaults();
    s.FProxyPassword = QStringLiteral("secret");
    ASSERT_TRUE(WriteSettings(s, FPath));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFileInfo(FPath).permissions() & others, QFile::Permissions());
    EXPECT_TRUE(QFileInfo(FPath).permissions() & QFile::ReadOwner);
    EXPECT_EQ(Read().FProxyPassword, QStringLiteral("secret"));
    EXPECT_FALSE(FileText().contains("secret")) << "the password is stored enciphered";
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Options.ini"}) << "no temporary left";
}

TEST_F(SettingsTest, AFileThatCannotBeReadIsNeverRewritten)
{
    // A folder in the file's place cannot be read as a file: a write must not replace it.
    ASSERT_TRUE(QDir(FDir.path()).mkdir(QStringLiteral("Options.ini")));
    TSettings s = Defaults();
    EXPECT_FALSE(ReadSettings(s, FPath));
    QString error;
    EXPECT_FALSE(WriteSettings(s, FPath, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(FPath).isDir());
}

// A text that the code page (1252 here) cannot hold keeps the value the file has; everything else is saved.
TEST_F(SettingsTest, ATextWithoutBytesInTheCodePageKeepsItsStoredValueAndTheRestIsSaved)
{
    const QString stored = ProxyPasswordToSetting(QStringLiteral("old"));
    const struct {
        const char *Row, *Key;
        std::function<void(TSettings &)> Change;
        QByteArray StoredLine;  // the key's line as it was, and stays
    } cases[] = {
        {"a folder name", "Custom directories", [](TSettings &s) { s.FUnnCustomDirs = {QStringLiteral("Z:\\home\\\u65E5\u672C")}; },
         "Custom directories=C:\\old\r\n"},
        {"a font name", "Font name", [](TSettings &s) { s.FUserFont.Name = QStringLiteral("\u03a9mega Sans"); }, "Font name=Tahoma\r\n"},
        {"the proxy password", "Proxy password", [](TSettings &s) { s.FProxyPassword = QStringLiteral("p\u03a9ss"); },
         "Proxy password=" + stored.toLatin1() + "\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        WriteFile("[General]\r\nLanguage index=1\r\nFont name=Tahoma\r\n[Update]\r\nProxy password=" + stored.toLatin1()
                  + "\r\n[Unnecessary files]\r\nCustom directories=C:\\old\r\n");
        TSettings s = Read();
        c.Change(s);
        s.FHideToTray = true;
        QString error;
        QStringList kept;
        ASSERT_TRUE(WriteSettings(s, FPath, &error, &kept)) << error.toStdString();
        EXPECT_EQ(kept, QStringList{QString::fromLatin1(c.Key)});
        const QByteArray text = FileText();
        EXPECT_TRUE(text.contains("\r\n" + c.StoredLine)) << text.toStdString();
        EXPECT_TRUE(text.contains("\r\nHide to tray=1\r\n")) << text.toStdString();
        const TSettings again = Read();
        EXPECT_TRUE(again.FHideToTray);
        EXPECT_EQ(again.FProxyPassword, c.Key == QByteArray("Proxy password") ? QStringLiteral("old") : s.FProxyPassword);
        TSettings session = s;
        RestoreKeptSettings(session, FPath, kept);
        EXPECT_EQ(session.FProxyPassword, again.FProxyPassword);
        EXPECT_EQ(session.FUserFont.Name, again.FUserFont.Name);
        EXPECT_EQ(session.FUnnCustomDirs, again.FUnnCustomDirs);
        EXPECT_TRUE(session.FHideToTray);
    }
}

// The fault users met: on a full disk a save left Options.ini with the window size alone.
TEST_F(SettingsTest, ASaveOnAFullDiskKeepsTheWholeOldFileAndSaysWhy)
{
    TestSupport::TSmallDisk disk(QStringLiteral("512k"));
    VASKIMO_NEED_DISK(disk);
    FPath = disk.Path() + QStringLiteral("/Options.ini");
    WriteFile("[General]\r\nLanguage index=1\r\nLanguage=Suomi\r\n[Registry]\r\nUndo levels=5\r\n");
    const QByteArray before = FileText();
    ASSERT_TRUE(disk.Fill());
    TSettings s = Read();
    s.FHideToTray = true;
    QString error;
    EXPECT_FALSE(WriteSettings(s, FPath, &error));
    EXPECT_EQ(error, QStringLiteral("Cannot write %1: No space left on device").arg(FPath));
    EXPECT_FALSE(WriteWindowSize(700, 500, FPath));
    EXPECT_FALSE(WriteHideToTray(s, FPath));
    EXPECT_FALSE(WriteLanguageChoice(s, FPath));
    EXPECT_EQ(FileText(), before);
}

TEST_F(SettingsTest, SingleKeyWritersTouchOnlyTheirKeys)
{
    WriteFile("[General]\r\nWidth=600\r\nLanguage index=-69\r\n");
    TSettings s = Read();
    EXPECT_TRUE(s.FFirstRun);
    s.FLanguageIndex = 1;
    s.FLanguage = QStringLiteral("Suomi");
    EXPECT_TRUE(WriteLanguageChoice(s, FPath));
    s.FHideToTray = true;
    EXPECT_TRUE(WriteHideToTray(s, FPath));
    EXPECT_TRUE(WriteWindowSize(700, 500, FPath));
    EXPECT_EQ(FileText(), QByteArray("[General]\r\nWidth=700\r\nLanguage index=1\r\nLanguage=Suomi\r\nHide to tray=1\r\nHeight=500\r\n"));
    const TSettings back = Read();
    EXPECT_FALSE(back.FFirstRun);
    EXPECT_EQ(back.FWidth, 700);
    EXPECT_EQ(back.FHeight, 500);
}

TEST_F(SettingsTest, FolderDefaultsTakeTheFoldersSeparator)
{
    TSettings s;
    SetProgramFolderDefaults(s, QStringLiteral("C:\\Program Files\\Vaskimo"));
    EXPECT_EQ(s.FUpdateDir, QStringLiteral("C:\\Program Files\\Vaskimo\\"));
    EXPECT_EQ(s.FStartupUndoDir, QStringLiteral("C:\\Program Files\\Vaskimo\\Undo\\"));
    SetProgramFolderDefaults(s, QStringLiteral("/opt/vaskimo/"));
    EXPECT_EQ(s.FAddRemoveUndoDir, QStringLiteral("/opt/vaskimo/Undo/"));
}

TEST_F(SettingsTest, WhatTheMainWindowDoesAfterTheOptions)
{
    TSettings old;
    old.FLanguageIndex = 2;
    old.FLanguage = QStringLiteral("Suomi");
    TSettings now = old;
    EXPECT_EQ(LanguageChangeAfterOptions(old, now), TLanguageChange::None);
    now.FLanguage = QStringLiteral("Svenska");
    EXPECT_EQ(LanguageChangeAfterOptions(old, now), TLanguageChange::Translate);
    now.FLanguageIndex = 0;
    now.FLanguage = QStringLiteral("Default (English)");
    EXPECT_EQ(LanguageChangeAfterOptions(old, now), TLanguageChange::NeedsRestart);

    const struct {
        const char *name;
        int index;
        bool disabled;
        TBackgroundAction action;
    } backgrounds[] = {
        {"own picture", 1, false, TBackgroundAction::LoadFile},
        {"built-in", 0, false, TBackgroundAction::RestoreBuiltIn},
        {"disabled", 1, true, TBackgroundAction::Clear},
        {"disabled built-in", 0, true, TBackgroundAction::Clear},
    };
    for (const auto &b : backgrounds) {
        SCOPED_TRACE(b.name);
        TSettings s;
        s.FBackgroundIndex = b.index;
        s.FNoBackground = b.disabled;
        EXPECT_EQ(BackgroundAction(s), b.action);
    }

    TSettings u;
    EXPECT_FALSE(UpdateTimerEnabled(u, true));
    EXPECT_FALSE(ConnectionDetectorEnabled(u));
    u.FAutoUpdate = true;
    EXPECT_FALSE(UpdateTimerEnabled(u, false));
    EXPECT_TRUE(UpdateTimerEnabled(u, true));
    EXPECT_TRUE(ConnectionDetectorEnabled(u));
    u.FAlwaysConnected = true;
    EXPECT_TRUE(UpdateTimerEnabled(u, false));
    EXPECT_FALSE(ConnectionDetectorEnabled(u));
}

}  // namespace
