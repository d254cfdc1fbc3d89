// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the startup locations, the scanner's findings, command resolution and the deletes with undo files.
#include "registry/StartupThds.h"

#include "registry/UndoFiles.h"
#include "registry/UndoManager.h"
#include "support/Needs.h"
#include "support/PrefixBuilder.h"
#include "support/WineTools.h"

#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WinEnvironment.h"
#include "platform/WinePrefix.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "WaitFor.h"

using TestSupport::THive;
using TestSupport::TPrefixBuilder;

namespace {

const QString RunKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString RunOnceKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
const QString Winlogon = QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");

void Put16(QByteArray &b, quint32 v) { b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
void Put32(QByteArray &b, quint32 v) { Put16(b, v & 0xFFFF); Put16(b, v >> 16); }

// A shell link holding only link information with a local base path.
QByteArray LinkTo(const QByteArray &target)
{
    QByteArray link = QByteArray::fromHex("4C0000000114020000000000C000000000000046"
                                          "02000000" "20000000"
                                          "D0E9EEF21515C901" "D0E9EEF21515C901" "D0E9EEF21515C901"
                                          "00000000" "00000000" "01000000" "0000" "0000" "00000000" "00000000");
    QByteArray volume;
    Put32(volume, 0x11);
    Put32(volume, 3);
    Put32(volume, 0x307A8A81);
    Put32(volume, 0x10);
    volume.append('\0');
    const quint32 volumeAt = 0x1C, baseAt = volumeAt + volume.size(), suffixAt = baseAt + target.size() + 1;
    QByteArray info;
    Put32(info, suffixAt + 1);
    Put32(info, 0x1C);
    Put32(info, 1);
    Put32(info, volumeAt);
    Put32(info, baseAt);
    Put32(info, 0);
    Put32(info, suffixAt);
    link += info + volume + target + '\0' + '\0';
    Put32(link, 0);
    return link;
}

struct TFound {
    QString Item, Location, ValueName, Data;
    int Kind = 0, Category = 0;
    QChar Delimiter;
};

struct TScan {
    QList<TFound> Found;
    QList<int> Totals;
    QList<int> Positions;
    int Ended = 0;
    int ErrorCode = 0;
};

TScan RunScanner(quint8 mode, const TStartupLocations &locations, const std::shared_ptr<TWinePrefix> &prefix)
{
    QObject owner;
    TScan scan;
    auto *scanner = new TStartupInspector(
        &owner, mode,
        [&](const QString &item, const QString &location, const QString &valueName, const QString &data, quint8 kind,
            int category, QChar delimiter) {
            scan.Found.append({item, location, valueName, data, kind, category, delimiter});
        },
        [&](int position, int) { scan.Positions.append(position); }, [&](int total) { scan.Totals.append(total); },
        locations.Folders, locations.Registry, locations.Ini, prefix);
    scanner->SetOnTerminate([&](TSharedThd *sender) {
        scan.ErrorCode = sender->ErrorCode();
        ++scan.Ended;
    });
    scanner->Resume();
    EXPECT_TRUE(WaitFor([&] { return scan.Ended == 1; }));
    return scan;
}

const TFound *FindItem(const TScan &scan, const QString &item)
{
    for (const TFound &f : scan.Found)
        if (f.Item == item)
            return &f;
    return nullptr;
}

class StartupThdsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        B.AddProfile();
        B.AddFile("C:\\windows\\notepad.exe", "MZ");
        B.AddFile("C:\\windows\\system32\\shell32.dll", "MZ");
        B.AddFile("C:\\Program Files\\Tool\\tool.exe", "MZ");
        B.AddString(THive::User, RunKey, "Good", "C:\\windows\\notepad.exe");
        B.AddString(THive::User, RunKey, "Gone", "\"C:\\Gone\\x.exe\" /s");
        B.AddBinary(THive::User, RunKey, "Bytes", QByteArray("\x01\x02", 2));
        B.AddDword(THive::User, RunKey, "Number", 7);
        B.AddString(THive::User, RunKey, "Empty", "");
        B.AddExpandString(THive::User, RunKey, "Expand", "%SystemRoot%\\notepad.exe");
        B.AddString(THive::System, RunOnceKey, "Once", "rundll32.exe shell32.dll,Control_RunDLL");
        // A list value of a number type ahead of the Shell list must not end the scan.
        B.AddDword(THive::System, Winlogon, "Userinit", 1);
        B.AddString(THive::System, Winlogon, "Shell", "explorer.exe,C:\\Gone\\b.exe,\"C:\\Program Files\\Tool\\tool.exe\"");
        B.AddKey(THive::System, "Software\\Wine\\Drives");
        Prefix = B.MakeCurrent();

        const TWinEnvironment environment(Prefix);
        UserStartup = environment.SpecialFolder("Startup");
        CommonStartup = environment.SpecialFolder("Common Startup");
        B.AddFile(UserStartup + "\\run.bat", "@echo");
        B.AddFile(UserStartup + "\\desktop.ini", "[x]");
        B.AddFile(UserStartup + "\\tool.lnk", LinkTo("C:\\Program Files\\Tool\\tool.exe"));
        B.AddFile(CommonStartup + "\\DESKTOP.INI", "[x]");
        B.AddFile(CommonStartup + "\\all.cmd", "@echo");
        B.AddFolder(CommonStartup + "\\Sub");
        B.AddFile("C:\\windows\\win.ini", "[windows]\r\nrun=C:\\windows\\notepad.exe;missing.exe\r\nload=\r\n");
        Prefix->ReloadDrives();
        BuildStartupLocations(&Locations, "C:\\windows", Prefix);
    }

    TPrefixBuilder B;
    std::shared_ptr<TWinePrefix> Prefix;
    QString UserStartup, CommonStartup;
    TStartupLocations Locations;
};

TEST_F(StartupThdsTest, LocationTable)
{
    // A 64-bit prefix: each of the twelve machine locations below SOFTWARE is followed by its
    // Wow6432Node twin, which keeps the value read and the kind.
    ASSERT_EQ(Locations.Registry.size(), 23 + 12);
    EXPECT_EQ(Locations.Registry.at(0).ValueName, "StartupPrograms");
    EXPECT_EQ(Locations.Registry.at(1).KeyPath, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
    EXPECT_EQ(Locations.Registry.at(2).KeyPath, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
    EXPECT_EQ(Locations.Registry.at(2).ValueName, "AppSetup");
    EXPECT_EQ(Locations.Registry.at(5).KeyPath, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System");
    EXPECT_EQ(Locations.Registry.at(5).RootKey, TRootKey::CurrentUser);
    EXPECT_EQ(Locations.Registry.at(19).KeyPath, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(Locations.Registry.at(20).KeyPath, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(Locations.Registry.at(20).RootKey, TRootKey::LocalMachine);
    EXPECT_TRUE(Locations.Registry.at(24).RunOnce);
    EXPECT_EQ(Locations.Registry.at(34).RootKey, TRootKey::CurrentUser);
    ASSERT_EQ(Locations.Folders.size(), 2);
    EXPECT_EQ(Locations.Folders.at(0).Folder, UserStartup + "\\");
    EXPECT_FALSE(Locations.Folders.at(0).Common);
    EXPECT_TRUE(Locations.Folders.at(1).Common);
    ASSERT_EQ(Locations.Ini.size(), 2);
    EXPECT_EQ(Locations.Ini.at(0).FileName, "C:\\windows\\win.ini");
    EXPECT_EQ(Locations.Ini.at(0).Key, "Run");
    EXPECT_EQ(Locations.Ini.at(1).Key, "Load");
    EXPECT_EQ(Locations.Ini.at(1).Delimiter, u';');
}

TEST_F(StartupThdsTest, MissingStartupFolderAddsNoLocation)
{
    QDir(B.HostPath(CommonStartup)).removeRecursively();
    TStartupLocations locations;
    BuildStartupLocations(&locations, "C:\\windows", Prefix);
    ASSERT_EQ(locations.Folders.size(), 1);
    EXPECT_FALSE(locations.Folders.at(0).Common);
}

TEST_F(StartupThdsTest, RegistryFindings)
{
    const TScan scan = RunScanner(0, Locations, Prefix);
    EXPECT_EQ(scan.ErrorCode, 0);
    EXPECT_EQ(scan.Totals, QList<int>{35});
    ASSERT_EQ(scan.Positions.size(), 35);
    EXPECT_EQ(scan.Positions.last(), 35);

    const QString hkcuRun = "HKEY_CURRENT_USER\\" + RunKey;
    const QString hklmOnce = "HKEY_LOCAL_MACHINE\\" + RunOnceKey;
    const QString hklmWinlogon = "HKEY_LOCAL_MACHINE\\" + Winlogon;
    const struct {
        const char *name;
        QString item, location, valueName;
        int kind, category;
    } cases[] = {
        {"string value", "C:\\windows\\notepad.exe", hkcuRun, "Good", 0, 6},
        {"quoted command", "\"C:\\Gone\\x.exe\" /s", hkcuRun, "Gone", 0, 6},
        {"expandable string", "%SystemRoot%\\notepad.exe", hkcuRun, "Expand", 0, 6},
        {"run once", "rundll32.exe shell32.dll,Control_RunDLL", hklmOnce, "Once", 0, 10},
        {"first list item", "explorer.exe", hklmWinlogon, "Shell", 1, 9},
        {"second list item", "C:\\Gone\\b.exe", hklmWinlogon, "Shell", 1, 9},
        {"quoted list item, as written", "\"C:\\Program Files\\Tool\\tool.exe\"", hklmWinlogon, "Shell", 1, 9},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TFound *f = FindItem(scan, c.item);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->Location, c.location);
        EXPECT_EQ(f->ValueName, c.valueName);
        EXPECT_EQ(f->Data, c.item);
        EXPECT_EQ(f->Kind, c.kind);
        EXPECT_EQ(f->Category, c.category);
        EXPECT_EQ(f->Delimiter, u',');
    }
    // Byte arrays, numbers and empty strings are no commands.
    EXPECT_EQ(scan.Found.size(), 7);
}

TEST_F(StartupThdsTest, FolderAndIniFindings)
{
    const TScan folders = RunScanner(2, Locations, Prefix);
    EXPECT_EQ(folders.Totals, QList<int>{2});
    QStringList items;
    for (const TFound &f : folders.Found) {
        items.append(f.Item);
        EXPECT_EQ(f.Kind, 2);
        EXPECT_EQ(f.Location, f.Item);
        EXPECT_TRUE(f.ValueName.isEmpty());
        EXPECT_EQ(f.Category, f.Item.startsWith(CommonStartup) ? 3 : 2);
    }
    items.sort();
    QStringList expected = {UserStartup + "\\run.bat", UserStartup + "\\tool.lnk", CommonStartup + "\\all.cmd"};
    expected.sort();
    EXPECT_EQ(items, expected);  // no desktop.ini in any case, no folders

    const TScan ini = RunScanner(3, Locations, Prefix);
    EXPECT_EQ(ini.Totals, QList<int>{2});
    EXPECT_EQ(ini.Positions, (QList<int>{1, 2}));
    ASSERT_EQ(ini.Found.size(), 2);
    for (const TFound &f : ini.Found) {
        EXPECT_EQ(f.Kind, 3);
        EXPECT_EQ(f.Location, "C:\\windows\\win.ini");
        EXPECT_EQ(f.ValueName, "Windows");
        EXPECT_EQ(f.Data, "Run");
        EXPECT_EQ(f.Category, 11);
        EXPECT_EQ(f.Delimiter, u';');
    }
    EXPECT_EQ(ini.Found.at(0).Item, "C:\\windows\\notepad.exe");
    EXPECT_EQ(ini.Found.at(1).Item, "missing.exe");
}

TEST_F(StartupThdsTest, MissingIniFileAndOtherModesGiveNothing)
{
    QFile::remove(B.HostPath("C:\\windows\\win.ini"));
    const TScan ini = RunScanner(3, Locations, Prefix);
    EXPECT_TRUE(ini.Found.isEmpty());
    EXPECT_EQ(ini.Positions.size(), 2);
    const TScan other = RunScanner(7, Locations, Prefix);
    EXPECT_TRUE(other.Found.isEmpty());
    EXPECT_TRUE(other.Totals.isEmpty());
}

TEST_F(StartupThdsTest, ListSplitting)
{
    const struct {
        const char *Row, *Text;
        QChar Delimiter;
        QStringList Items;
    } cases[] = {
        {"two items", "a.exe,b.exe", u',', {"a.exe", "b.exe"}},
        {"blanks are the item's own", "C:\\Program Files\\x.exe /s", u',', {"C:\\Program Files\\x.exe /s"}},
        {"quotes kept, the delimiter inside them no cut", "\"C:\\a,b\\x.exe\" /s, c.exe", u',', {"\"C:\\a,b\\x.exe\" /s", "c.exe"}},
        {"empty pieces are no items", ",a;b,,", u',', {"a;b"}},
        {"another delimiter", "a; b", u';', {"a", "b"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        EXPECT_EQ(SplitStartupList(QString::fromUtf8(c.Text), c.Delimiter), c.Items);
    }
}

// Each item goes with one delimiter, every other character stays, and the removed text goes back
// where it was.
TEST_F(StartupThdsTest, ListItemOutAndBackIn)
{
    const struct {
        const char *Row, *Text, *Item;
        QChar Delimiter;
        const char *Rest;
        int Position;
    } cases[] = {
        {"last item", "C:\\windows\\system32\\userinit.exe,C:\\Program Files\\Internet Explorer\\iexplore.exe,C:\\gone\\evil.exe",
         "C:\\gone\\evil.exe", u',', "C:\\windows\\system32\\userinit.exe,C:\\Program Files\\Internet Explorer\\iexplore.exe", 2},
        {"first item with blanks after it", "first.exe,  second.exe, third.exe", "first.exe", u',', "second.exe, third.exe", 0},
        {"middle item in quotes", "a.exe;\"C:\\x;y\\t.exe\" /s ;b.exe", "\"C:\\x;y\\t.exe\" /s", u';', "a.exe;b.exe", 1},
        {"the only item", "alone.exe", "alone.exe", u',', "", 0},
        {"empty pieces stay", "one.exe,,two.exe", "two.exe", u',', "one.exe,", 2},
        {"found ignoring case", "A.EXE,b.exe", "a.exe", u',', "b.exe", 0},
        {"the first of two", "x.exe,y.exe,x.exe", "x.exe", u',', "y.exe,x.exe", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        const QString text = QString::fromUtf8(c.Text);
        QString rest, removed;
        int position = -1;
        ASSERT_TRUE(RemoveStartupListItem(text, QString::fromUtf8(c.Item), c.Delimiter, &rest, &position, &removed));
        EXPECT_EQ(rest, QString::fromUtf8(c.Rest));
        EXPECT_EQ(position, c.Position);
        EXPECT_EQ(InsertStartupListItem(rest, removed, position, c.Delimiter), text);
    }
    QString rest, removed;
    int position = -1;
    EXPECT_FALSE(RemoveStartupListItem("a.exe,b.exe", "a", u',', &rest, &position, &removed));
    // The list changed meanwhile: the item goes after its neighbours that are left, or last.
    EXPECT_EQ(InsertStartupListItem("a.exe", ",c.exe", 2, u','), "a.exe,c.exe");
    EXPECT_EQ(InsertStartupListItem("", "x.exe, ", 0, u','), "x.exe");
}

TEST_F(StartupThdsTest, ResolutionTable)
{
    const TStartupResolver resolver("C:\\windows", "C:\\windows\\system32", Prefix);
    const struct {
        const char *name;
        QString item;
        int kind;
        QString path;
        int state;
        QString description;
    } cases[] = {
        {"existing file", "C:\\windows\\notepad.exe", 0, "C:\\windows\\notepad.exe", 2, "Value"},
        {"switch after path", "C:\\Program Files\\Tool\\tool.exe /min", 0, "C:\\Program Files\\Tool\\tool.exe", 2, "Value"},
        {"text before drive", "start C:\\windows\\notepad.exe", 1, "C:\\windows\\notepad.exe", 2, "start C:\\windows\\notepad.exe"},
        {"dll runner", "rundll32.exe shell32.dll,Control_RunDLL", 0, "C:\\windows\\system32\\shell32.dll", 2, "Value"},
        {"bare name", "notepad", 3, "C:\\windows\\notepad.exe", 2, "notepad"},
        {"expanded variable", "%SystemRoot%\\notepad.exe", 0, "C:\\windows\\notepad.exe", 2, "Value"},
        {"missing on a drive", "\"C:\\Gone\\x.exe\" /s", 0, "C:\\Gone\\x.exe", 4, "Value"},
        {"no drive, nothing found", "nothing_here", 1, "nothing_here", 3, "nothing_here"},
        {"shortcut", "C:\\users\\" + B.UserName() + "\\x.lnk", 2, "C:\\Program Files\\Tool\\tool.exe", 2, "x.lnk"},
    };
    B.AddFile("C:\\users\\" + B.UserName() + "\\x.lnk", LinkTo("C:\\Program Files\\Tool\\tool.exe"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TStartupCommand command = resolver.Resolve(c.item, c.kind == 2 ? QString() : "Value", c.kind);
        EXPECT_EQ(command.Path, c.path);
        EXPECT_EQ(command.State, c.state);
        EXPECT_EQ(command.Exists, c.state == 2);
        EXPECT_EQ(command.Description, c.description);
    }
}

TEST_F(StartupThdsTest, WineShortcutsInTheStartupFolder)
{
    // Written by Wine's own shell-link object: the ID list names the target in Unicode, the link
    // information holds its 8-bit form with "?" for the snowman.
    const QString fixtures = QStringLiteral(VASKIMO_FIXTURES);
    QFile wineLink(fixtures + "/wine-snowman.lnk");
    ASSERT_TRUE(wineLink.open(QIODevice::ReadOnly));
    const QByteArray written = wineLink.readAll();
    // The same link without its ID list (flag 0x1, then the list's size and bytes from offset
    // 0x4C): the lossy 8-bit path is all that is left of the target.
    ASSERT_EQ(quint8(written.at(0x14)) & 0x1, 0x1);
    const int idListEnd = 0x4C + 2 + (quint8(written.at(0x4C)) | quint8(written.at(0x4D)) << 8);
    QByteArray lossyOnly = written.left(0x4C) + written.mid(idListEnd);
    lossyOnly[0x14] = char(quint8(lossyOnly.at(0x14)) & ~0x1);

    const QString snowman = QString::fromUtf8("C:\\Ünïcødé\\☃ gone.exe");
    B.AddFile(snowman, "MZ");
    QFile missingLink(fixtures + "/wine-snowman-missing.lnk");
    ASSERT_TRUE(missingLink.open(QIODevice::ReadOnly));
    const struct {
        const char *name;
        QByteArray bytes;
        QString path;
        int state;
    } cases[] = {
        {"Unicode target that exists", written, snowman, 2},
        {"target known only with a lost character", lossyOnly, QString::fromUtf8("C:\\Ünïcødé\\? gone.exe"), 2},
        {"Unicode target that is missing", missingLink.readAll(), QString::fromUtf8("C:\\Ünïcødé\\gone\\☃ never.exe"), 4},
    };
    const TStartupResolver resolver("C:\\windows", "C:\\windows\\system32", Prefix);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString link = UserStartup + "\\app.lnk";
        B.AddFile(link, c.bytes);
        const TStartupCommand command = resolver.Resolve(link, QString(), 2);
        EXPECT_EQ(command.Path, c.path);
        EXPECT_EQ(command.State, c.state);
        EXPECT_EQ(command.Exists, c.state == 2);
        EXPECT_EQ(command.Description, "app.lnk");
    }
}

// ---- deletes

class StartupDeleteTest : public StartupThdsTest
{
protected:
    QString UndoPath(const QString &name) const { return QDir(Undo.path()).filePath(name); }
    QTemporaryDir Undo;
};

TEST_F(StartupDeleteTest, WholeValueWithUndoReadsBack)
{
    const QString header = "REGEDIT4\r\n\r\n; header";
    const QString location = "HKEY_CURRENT_USER\\" + RunKey;
    const StartupDelete::TOutcome outcome = StartupDelete::DeleteRegValue(location, "Good", header, UndoPath("a.reg"), Prefix);
    EXPECT_EQ(outcome.Result, StartupDelete::TResult::Deleted);
    TRegistry registry(TRootKey::CurrentUser, Prefix);
    ASSERT_TRUE(registry.OpenKeyReadOnly("\\" + RunKey));
    EXPECT_FALSE(registry.ValueExists("Good"));

    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(UndoPath("a.reg"), &lines));
    EXPECT_EQ(lines.mid(lines.size() - 2), (QStringList{"[" + location + "]", "\"Good\"=\"C:\\\\windows\\\\notepad.exe\""}));
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.at(0).Root, "HKEY_CURRENT_USER");
    EXPECT_EQ(entries.at(0).Key, RunKey);
    EXPECT_EQ(entries.at(0).ValueName, "Good");
    EXPECT_EQ(entries.at(0).Data, "C:\\windows\\notepad.exe");
}

TEST_F(StartupDeleteTest, ExpandableValueKeepsItsTypeInTheUndoFile)
{
    const QString location = "HKEY_CURRENT_USER\\" + RunKey;
    ASSERT_EQ(StartupDelete::DeleteRegValue(location, "Expand", "REGEDIT4", UndoPath("e.reg"), Prefix).Result,
              StartupDelete::TResult::Deleted);
    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(UndoPath("e.reg"), &lines));
    EXPECT_TRUE(lines.last().startsWith("\"Expand\"=hex(2):25,53,79"));
}

TEST_F(StartupDeleteTest, LongBinaryValueIsBrokenIntoLinesRegeditReads)
{
    QByteArray sixty;
    for (int i = 0; i < 60; ++i)
        sixty.append(char(i * 3));
    const QString location = "HKEY_CURRENT_USER\\Software\\VkBinary";
    {
        TRegistry registry(TRootKey::CurrentUser, Prefix);
        ASSERT_TRUE(registry.OpenKey("\\Software\\VkBinary", true));
        registry.WriteBinaryData("Blob", sixty);
    }
    ASSERT_EQ(StartupDelete::DeleteRegValue(location, "Blob", "REGEDIT4", UndoPath("b.reg"), Prefix).Result,
              StartupDelete::TResult::Deleted);
    QFile file(UndoPath("b.reg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // After the bytes 25 and 50: "\", the line ends, the next one is indented; never "\" inside a line.
    EXPECT_TRUE(bytes.contains(",4B,\\\r\n  4E,")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains(",96,\\\r\n  99,")) << bytes.toStdString();
    EXPECT_EQ(bytes.count("\\\r\n  "), 2);
    EXPECT_EQ(bytes.count('\\'), 4);  // the key line's two and the two marks

    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(UndoPath("b.reg"), &lines));
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.at(0).ValueName, "Blob");
    EXPECT_EQ(int(entries.at(0).Type), int(TRegDataType::Binary));
    EXPECT_EQ(entries.at(0).Bytes, sixty);
    EXPECT_EQ(UndoManager::EntryState(entries.at(0)), 4);
    {
        TRegistry registry(TRootKey::CurrentUser, Prefix);
        ASSERT_TRUE(registry.OpenKey("\\Software\\VkBinary", false));
        registry.WriteBinaryData("Blob", sixty);
    }
    EXPECT_EQ(UndoManager::EntryState(entries.at(0)), 2);
}

TEST_F(StartupDeleteTest, DefaultValueIsWrittenWithTheQuotedEmptyName)
{
    B.AddString(THive::User, RunKey, "", "C:\\windows\\notepad.exe");
    Prefix = B.MakeCurrent();
    ASSERT_EQ(StartupDelete::DeleteRegValue("HKEY_CURRENT_USER\\" + RunKey, "", "REGEDIT4", UndoPath("d.reg"), Prefix).Result,
              StartupDelete::TResult::Deleted);
    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(UndoPath("d.reg"), &lines));
    EXPECT_EQ(lines.last(), "\"\"=\"C:\\\\windows\\\\notepad.exe\"");
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries.at(0).ValueName.isEmpty());
}

TEST_F(StartupDeleteTest, EscapedNameAndQuotedCommandReadBack)
{
    const QString name = "My \"App\"\\1";
    const QString command = "\"C:\\windows\\notepad.exe\" /s";
    B.AddString(THive::User, RunKey, name, command);
    Prefix = B.MakeCurrent();
    ASSERT_EQ(StartupDelete::DeleteRegValue("HKEY_CURRENT_USER\\" + RunKey, name, "REGEDIT4", UndoPath("q.reg"), Prefix).Result,
              StartupDelete::TResult::Deleted);
    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(UndoPath("q.reg"), &lines));
    EXPECT_EQ(lines.last(), R"("My \"App\"\\1"="\"C:\\windows\\notepad.exe\" /s")");
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.at(0).ValueName, name);
    EXPECT_EQ(entries.at(0).Data, command);
}

TEST_F(StartupDeleteTest, ListItemGoesAloneAndAVkuFileKeepsItsPlace)
{
    const QString location = "HKEY_LOCAL_MACHINE\\" + Winlogon;
    const StartupDelete::TOutcome outcome = StartupDelete::DeleteRegListItem(
        location, "Shell", "c:\\gone\\B.EXE", u',', "1/2/2026", "3:04:05 PM", UndoPath("s.vku"), Prefix);
    EXPECT_EQ(outcome.Result, StartupDelete::TResult::Deleted);
    TRegistry registry(TRootKey::LocalMachine, Prefix);
    ASSERT_TRUE(registry.OpenKeyReadOnly("\\" + Winlogon));
    EXPECT_EQ(registry.ReadString("Shell"), "explorer.exe,\"C:\\Program Files\\Tool\\tool.exe\"");

    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(UndoPath("s.vku"), &lines));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.at(0), "This is Orvendal Vaskimo undo file. This contains information about deleted items. "
                           "Generated on 1/2/2026 @ 3:04:05 PM.");
    EXPECT_EQ(lines.at(1), "REG-data");
    const QList<TUndoEntry> entries = UndoFiles::ReadVkuLines(lines);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.at(0).Kind, 2);
    EXPECT_EQ(entries.at(0).Root, "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(entries.at(0).Key, Winlogon);
    EXPECT_EQ(entries.at(0).ValueName, "Shell");
    EXPECT_EQ(entries.at(0).Data, "c:\\gone\\B.EXE");
    EXPECT_EQ(entries.at(0).Delimiter, u',');
    EXPECT_EQ(entries.at(0).Position, 1);
    EXPECT_EQ(entries.at(0).Removed, ",C:\\Gone\\b.exe");
    EXPECT_EQ(lines.at(2), "=\"HKEY_LOCAL_MACHINE\\" + Winlogon + "\",\"Shell\",\"c:\\gone\\B.EXE\",\",\",\"1\",\",C:\\Gone\\b.exe\"");
}

// A delete the write guard refuses says why and leaves no undo file the undo manager would list.
TEST_F(StartupDeleteTest, ADeleteRefusedWhileWineRunsSaysWhyAndLeavesNoUndoFile)
{
    VASKIMO_NEED_WINE();
    QString error;
    TestSupport::TWineServer server;
    ASSERT_TRUE(server.Start(B.Folder(), &error)) << error.toStdString();
    const StartupDelete::TOutcome value =
        StartupDelete::DeleteRegValue("HKEY_CURRENT_USER\\" + RunKey, "Good", "REGEDIT4", UndoPath("a.reg"), Prefix);
    const StartupDelete::TOutcome item = StartupDelete::DeleteRegListItem(
        "HKEY_LOCAL_MACHINE\\" + Winlogon, "Shell", "C:\\Gone\\b.exe", u',', "d", "t", UndoPath("s.vku"), Prefix);
    ASSERT_TRUE(server.Stop());
    for (const StartupDelete::TOutcome &outcome : {value, item}) {
        EXPECT_EQ(outcome.Result, StartupDelete::TResult::NotDeleted);
        EXPECT_TRUE(outcome.Reason.contains("Close the Wine programs")) << outcome.Reason.toStdString();
    }
    EXPECT_EQ(QDir(Undo.path()).entryList(QDir::Files), QStringList());
    TRegistry registry(TRootKey::CurrentUser, Prefix);
    ASSERT_TRUE(registry.OpenKeyReadOnly("\\" + RunKey));
    EXPECT_TRUE(registry.ValueExists("Good"));
}

// Of two items that differ only in case, the one left never stands for the one deleted: each reads
// as missing after its delete and comes back through the undo manager.
TEST_F(StartupDeleteTest, ItemsDifferingOnlyInCaseEachComeBack)
{
    const QString list = "explorer.exe,A.exe,a.exe";
    for (const char *item : {"a.exe", "A.exe"}) {
        SCOPED_TRACE(item);
        {
            TRegistry registry(TRootKey::LocalMachine, Prefix);
            ASSERT_TRUE(registry.OpenKey("\\" + Winlogon, false));
            registry.WriteString("Shell", list);
        }
        const QString undo = UndoPath(QString::fromLatin1(item) + ".vku");
        ASSERT_EQ(StartupDelete::DeleteRegListItem("HKEY_LOCAL_MACHINE\\" + Winlogon, "Shell", item, u',', "d", "t", undo, Prefix).Result,
                  StartupDelete::TResult::Deleted);
        QStringList lines;
        ASSERT_TRUE(UndoFiles::ReadLines(undo, &lines));
        const QList<TUndoEntry> entries = UndoFiles::ReadVkuLines(lines);
        ASSERT_EQ(entries.size(), 1);
        EXPECT_EQ(UndoManager::EntryState(entries.at(0)), 4);
        QString error;
        ASSERT_TRUE(UndoManager::RestoreEntry(entries.at(0), Prefix, {}, &error)) << error.toStdString();
        TRegistry registry(TRootKey::LocalMachine, Prefix);
        ASSERT_TRUE(registry.OpenKeyReadOnly("\\" + Winlogon));
        EXPECT_EQ(registry.ReadString("Shell"), list);
        EXPECT_EQ(UndoManager::EntryState(entries.at(0)), 2);
    }
}

TEST_F(StartupDeleteTest, IniItemWithUndoReadsBack)
{
    const QString host = B.HostPath("C:\\windows\\win.ini");
    const StartupDelete::TOutcome outcome = StartupDelete::DeleteIniListItem(
        "C:\\windows\\win.ini", host, "Windows", "Run", "missing.exe", u';', "d", "t", UndoPath("i.vku"));
    EXPECT_EQ(outcome.Result, StartupDelete::TResult::Deleted);
    EXPECT_EQ(TIniFile(host).ReadString("windows", "run", "x"), "C:\\windows\\notepad.exe");
    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(UndoPath("i.vku"), &lines));
    const QList<TUndoEntry> entries = UndoFiles::ReadVkuLines(lines);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.at(0).Kind, 1);
    EXPECT_EQ(entries.at(0).Root, "C:\\windows\\win.ini");
    EXPECT_EQ(entries.at(0).Key, "Windows");
    EXPECT_EQ(entries.at(0).ValueName, "Run");
    EXPECT_EQ(entries.at(0).Data, "missing.exe");
    EXPECT_EQ(entries.at(0).Delimiter, u';');
}

TEST_F(StartupDeleteTest, FailuresDeleteNothingAndWriteNoStrayUndoFile)
{
    // An undo "folder" that is a file: even root cannot write below it.
    QFile blocker(UndoPath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString unwritable = UndoPath("blocker/u.reg");
    const QString hkcuRun = "HKEY_CURRENT_USER\\" + RunKey;
    const QString hklmWinlogon = "HKEY_LOCAL_MACHINE\\" + Winlogon;
    const QString host = B.HostPath("C:\\windows\\win.ini");
    using StartupDelete::TResult;
    const struct {
        const char *name;
        std::function<StartupDelete::TOutcome()> run;
        TResult expected;
    } cases[] = {
        {"value, undo unwritable", [&] { return StartupDelete::DeleteRegValue(hkcuRun, "Good", "REGEDIT4", unwritable, Prefix); },
         TResult::UndoFailed},
        {"list item, undo unwritable",
         [&] { return StartupDelete::DeleteRegListItem(hklmWinlogon, "Shell", "explorer.exe", u',', "d", "t", unwritable, Prefix); },
         TResult::UndoFailed},
        {"ini item, undo unwritable",
         [&] { return StartupDelete::DeleteIniListItem("C:\\windows\\win.ini", host, "Windows", "Run", "missing.exe", u';', "d", "t", unwritable); },
         TResult::UndoFailed},
        {"key gone", [&] { return StartupDelete::DeleteRegValue(hkcuRun + "\\Nope", "Good", "REGEDIT4", UndoPath("k.reg"), Prefix); },
         TResult::KeyNotOpened},
        {"value gone", [&] { return StartupDelete::DeleteRegValue(hkcuRun, "Nope", "REGEDIT4", UndoPath("v.reg"), Prefix); },
         TResult::NotDeleted},
        {"item not in list",
         [&] { return StartupDelete::DeleteRegListItem(hklmWinlogon, "Shell", "nope.exe", u',', "d", "t", UndoPath("n.vku"), Prefix); },
         TResult::NotDeleted},
        {"ini key missing",
         [&] { return StartupDelete::DeleteIniListItem("C:\\windows\\win.ini", host, "Windows", "Load", "x", u';', "d", "t", UndoPath("l.vku")); },
         TResult::IniFailed},
        {"ini item missing",
         [&] { return StartupDelete::DeleteIniListItem("C:\\windows\\win.ini", host, "Windows", "Run", "x", u';', "d", "t", UndoPath("m.vku")); },
         TResult::IniFailed},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.run().Result, c.expected);
    }
    TRegistry user(TRootKey::CurrentUser, Prefix);
    ASSERT_TRUE(user.OpenKeyReadOnly("\\" + RunKey));
    EXPECT_TRUE(user.ValueExists("Good"));
    TRegistry machine(TRootKey::LocalMachine, Prefix);
    ASSERT_TRUE(machine.OpenKeyReadOnly("\\" + Winlogon));
    EXPECT_EQ(machine.ReadString("Shell"), "explorer.exe,C:\\Gone\\b.exe,\"C:\\Program Files\\Tool\\tool.exe\"");
    EXPECT_EQ(TIniFile(host).ReadString("windows", "run", "x"), "C:\\windows\\notepad.exe;missing.exe");
    EXPECT_EQ(QDir(Undo.path()).entryList(QDir::Files), QStringList{"blocker"});
}

}  // namespace
