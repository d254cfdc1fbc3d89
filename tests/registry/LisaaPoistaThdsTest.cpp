// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the installed-programs scanner, the judgement table, the whole-key export and the uninstall arguments.
#include "registry/LisaaPoistaThds.h"

#include "registry/UndoFiles.h"
#include "registry/UndoManager.h"
#include "support/PrefixBuilder.h"

#include "platform/Registry.h"
#include "platform/WinePrefix.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "WaitFor.h"

using TestSupport::THive;
using TestSupport::TPrefixBuilder;

namespace {

const QString Uninstall = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");

struct TFoundEntry {
    QString Name, Icon;
    TRootKey Root = TRootKey::None;
    QString KeyPath, Command, Location;
    int Judgement = -1;
    bool Extra = false;
};

struct TScan {
    QList<TFoundEntry> Found;
    QList<QPair<int, int>> Progress;
};

TScan RunScan(bool listExtra, const std::shared_ptr<TWinePrefix> &prefix)
{
    QObject owner;
    TScan scan;
    bool ended = false;
    auto *worker = new TFindAddRemoveThd(
        &owner, listExtra,
        [&](const QString &name, const QString &icon, TRootKey root, const QString &key, const QString &command,
            const QString &location, int judgement, bool extra) {
            scan.Found.append({name, icon, root, key, command, location, judgement, extra});
        },
        [&](int position, int total) { scan.Progress.append({position, total}); }, prefix);
    worker->SetOnTerminate([&](TSharedThd *) { ended = true; });
    worker->Resume();
    EXPECT_TRUE(WaitFor([&] { return ended; }));
    return scan;
}

// The fixture machine: five uninstall entries of every shape, and the files some of them name.
void AddEntries(TPrefixBuilder &b)
{
    b.AddString(THive::System, Uninstall + "Valid", "DisplayName", "Valid App");
    b.AddString(THive::System, Uninstall + "Valid", "UninstallString", "\"C:\\Program Files\\Valid\\unins000.exe\" /SILENT");
    b.AddString(THive::System, Uninstall + "Valid", "DisplayIcon", "C:\\Program Files\\Valid\\app.exe,0");
    b.AddString(THive::System, Uninstall + "Valid", "InstallLocation", "C:\\Program Files\\Valid");
    b.AddString(THive::System, Uninstall + "Gone", "DisplayName", "Gone App");
    b.AddString(THive::System, Uninstall + "Gone", "UninstallString", "C:\\Program Files\\Gone\\uninst.exe");
    b.AddString(THive::System, Uninstall + "OnlyCommand", "UninstallString", "C:\\Program Files\\Gone\\x.exe");
    b.AddString(THive::System, Uninstall + "OnlyName", "DisplayName", "Name Only");
    b.AddString(THive::System, Uninstall + "Nested", "DisplayName", "Nested App");
    b.AddString(THive::System, Uninstall + "Nested", "UninstallString", "MsiExec.exe /X{1234-AB}");
    b.AddDword(THive::System, Uninstall + "Nested", "EstimatedSize", 0x1234);
    b.AddBinary(THive::System, Uninstall + "Nested\\Parts", "Blob", QByteArray("\x01\x02\xFE", 3));
    b.AddFile("C:\\Program Files\\Valid\\unins000.exe", "MZ");
    b.AddFile("C:\\Program Files\\Valid\\app.exe", "MZ");
}

TEST(FindAddRemoveThd, KeepsEntriesByTheirValuesAndReportsEach)
{
    TPrefixBuilder b;
    AddEntries(b);
    const auto prefix = b.MakeCurrent();

    const TScan plain = RunScan(false, prefix);
    QStringList names;
    for (const TFoundEntry &e : plain.Found)
        names.append(e.Name);
    EXPECT_EQ(names, (QStringList{"Gone App", "Nested App", "Valid App"}));
    // One progress call before each sub-key, counted from 0.
    EXPECT_EQ(plain.Progress, (QList<QPair<int, int>>{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}}));

    const TScan extra = RunScan(true, prefix);
    ASSERT_EQ(extra.Found.size(), 5);
    const struct {
        const char *Row, *Name, *KeyName;
        int Judgement;
        bool Extra;
    } expected[] = {
        {"missing uninstaller", "Gone App", "Gone", 2, false},
        {"installer without its folder list", "Nested App", "Nested", 1, false},
        {"only a command: named by its key, extra", "OnlyCommand", "OnlyCommand", 2, true},
        {"only a name: listed, no extra item", "Name Only", "OnlyName", 1, false},
        {"valid", "Valid App", "Valid", 0, false},
    };
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(expected[i].Row);
        const TFoundEntry &e = extra.Found.at(i);
        EXPECT_EQ(e.Name, QString::fromUtf8(expected[i].Name));
        EXPECT_EQ(e.KeyPath, QStringLiteral("Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall\\")
                                 + QString::fromUtf8(expected[i].KeyName) + u'\\');
        EXPECT_EQ(e.Judgement, expected[i].Judgement);
        EXPECT_EQ(e.Extra, expected[i].Extra);
    }
    EXPECT_EQ(extra.Found.at(4).Icon, "C:\\Program Files\\Valid\\app.exe,0");
    EXPECT_EQ(extra.Found.at(4).Location, "C:\\Program Files\\Valid");
}

TEST(FindAddRemoveThd, NoUninstallKeyReportsNothing)
{
    TPrefixBuilder b;
    const auto prefix = b.MakeCurrent();
    const TScan scan = RunScan(true, prefix);
    EXPECT_TRUE(scan.Found.isEmpty());
    EXPECT_TRUE(scan.Progress.isEmpty());
}

TEST(JudgeUninstallEntry, Table)
{
    TPrefixBuilder b;
    b.AddFile("C:\\Program Files\\App\\uninst.exe", "MZ");
    b.AddFile("C:\\Program Files\\App\\DeIsL1.isu", "x");
    b.AddFile("C:\\windows\\IsUninst.exe", "MZ");
    b.AddFile("C:\\windows\\system32\\bare.exe", "MZ");
    b.AddFolder("C:\\Program Files\\Kept");
    b.AddFolder("C:\\Installer\\{AAAA-1111}\\");
    b.AddKey(THive::System, "Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders",
             "\"C:\\\\Installer\\\\{AAAA-1111}\\\\\"=\"\"\n\"C:\\\\Installer\\\\{BBBB-2222}\\\\\"=\"\"\n");
    const auto prefix = b.MakeCurrent();

    const struct {
        const char *Row, *Command, *Location;
        int Judgement;
    } cases[] = {
        {"both empty", "", "", 1},
        {"quoted program with switches", "\"C:\\Program Files\\App\\uninst.exe\" /S /LOG", "", 0},
        {"bare program in the system folder", "bare.exe /u", "", 0},
        {"program relative to the Windows folder", "IsUninst.exe", "", 0},
        {"every drive path there", "C:\\windows\\IsUninst.exe -f\"C:\\Program Files\\App\\DeIsL1.isu\"", "", 0},
        {"first path gone, last there", "C:\\gone\\a.exe C:\\Program Files\\App\\DeIsL1.isu", "", 1},
        {"last path gone", "C:\\Program Files\\App\\uninst.exe C:\\gone\\b.isu", "", 2},
        {"no file, no location", "C:\\gone\\uninst.exe", "", 2},
        {"no file, location there", "C:\\gone\\uninst.exe", "\"C:\\Program Files\\Kept\"", 1},
        {"no file, location gone", "C:\\gone\\uninst.exe", "C:\\gone", 2},
        {"only a location", "", "C:\\Program Files\\Kept", 1},
        {"installer, folder there", "MsiExec.exe /X{aaaa-1111}", "", 0},
        {"installer, folder gone", "MsiExec.exe /X{BBBB-2222}", "", 1},
        {"installer, no folder holds the code", "MsiExec.exe /I{CCCC-3333}", "", 1},
        {"installer without a product code", "msiexec.exe /x", "", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        EXPECT_EQ(TFindAddRemoveThd::JudgeUninstallEntry(QString::fromUtf8(c.Command), QString::fromUtf8(c.Location), prefix),
                  c.Judgement);
    }
}

TEST(JudgeUninstallEntry, DrivePaths)
{
    const struct {
        const char *Row, *Text;
        QStringList Paths;
    } cases[] = {
        {"none", "msiexec /x{1}", {}},
        {"one program", "C:\\a\\b.exe /x", {"C:\\a\\b.exe"}},
        {"program and a bare drive", "C:\\a\\b.exe /x D:\\c", {"C:\\a\\b.exe", "D:\\"}},
        {"glued to a switch", "C:\\w\\i.exe -fC:\\p q\\d.isu", {"C:\\w\\i.exe", "C:\\p q\\d.isu"}},
        {"colon without a letter", ":\\x C:\\y.txt", {"C:\\y.txt"}},
        {"short extension", "C:\\a.b", {"C:\\a.b"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        EXPECT_EQ(AddRemove::DrivePaths(QString::fromUtf8(c.Text)), c.Paths);
    }
}

TEST(ExportKeyText, GoldenBytesAndReadBack)
{
    TPrefixBuilder b;
    const QString key = Uninstall + "Export";
    b.AddKey(THive::System, key,
             "\"zeta\"=\"C:\\\\Program Files\\\\x.exe\"\n"
             "\"Alpha\"=dword:0000002a\n"
             "@=\"default\"\n");
    QByteArray sixty;
    for (int i = 0; i < 60; ++i)
        sixty.append(char(i));
    b.AddBinary(THive::System, key, "beta", sixty);
    b.AddKey(THive::System, key + "\\Empty");
    b.AddString(THive::System, key + "\\Empty\\leaf", "n", "v");
    b.AddString(THive::System, key + "\\b-sub", "Q", "say \"hi\"");
    b.AddString(THive::System, key + "\\b-sub", "C:\\a \"b\"", "1");
    const auto prefix = b.MakeCurrent();

    QStringList lines{QStringLiteral("HEADER")};
    QString error;
    ASSERT_TRUE(AddRemove::ExportKeyText(TRootKey::LocalMachine, key + u'\\', &lines, &error, prefix)) << error.toStdString();
    QTemporaryDir dir;
    const QString file = dir.filePath("Export.reg");
    ASSERT_TRUE(UndoFiles::SaveUndoText(file, lines, &error));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();

    QByteArray hex;
    for (int i = 0; i < 60; ++i) {
        if (i > 0)
            hex += i == 26 || i == 51 ? ",\\\r\n  " : ",";  // regedit reads a "\" only at a line's end
        hex += QByteArray::number(i, 16).rightJustified(2, '0').toUpper();
    }
    const QByteArray root = "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Export";
    const QByteArray expected = "HEADER\r\n" + root + "]\r\n"
                                "@=\"default\"\r\n"
                                "\"Alpha\"=dword:0000002A\r\n"
                                "\"beta\"=hex:" + hex + "\r\n"
                                "\"zeta\"=\"C:\\\\Program Files\\\\x.exe\"\r\n"
                                + root + "\\b-sub]\r\n"
                                "\"C:\\\\a \\\"b\\\"\"=\"1\"\r\n"
                                "\"Q\"=\"say \\\"hi\\\"\"\r\n"
                                + root + "\\Empty\\leaf]\r\n"
                                "\"n\"=\"v\"\r\n";
    EXPECT_EQ(bytes, expected);

    QStringList read;
    ASSERT_TRUE(UndoFiles::ReadLines(file, &read));
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(read);
    ASSERT_EQ(entries.size(), 7);
    EXPECT_EQ(entries.at(0).ValueName, "");
    EXPECT_EQ(entries.at(1).Type, TRegDataType::Integer);
    EXPECT_EQ(entries.at(1).Number, 42u);
    EXPECT_EQ(entries.at(2).Type, TRegDataType::Binary);
    EXPECT_EQ(entries.at(2).Bytes, sixty);
    EXPECT_EQ(entries.at(3).Data, "C:\\Program Files\\x.exe");
    EXPECT_EQ(entries.at(4).Key, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Export\\b-sub");
    EXPECT_EQ(entries.at(4).ValueName, "C:\\a \"b\"");
    EXPECT_EQ(entries.at(5).Data, "say \"hi\"");
    for (const TUndoEntry &e : entries) {
        SCOPED_TRACE(e.ValueName.toStdString());
        EXPECT_EQ(UndoManager::EntryState(e), 2);  // each one equal to the live value
    }
}

TEST(ExportKeyText, RefusesOnlyWhatTheCodePageCannotHold)
{
    TPrefixBuilder b;
    b.AddKey(THive::System, Uninstall + "Odd", "\"Type9\"=hex(9):01,02\n");
    b.AddString(THive::System, Uninstall + "Greek", "DisplayName", QString::fromUtf8("\u03a9mega"));
    b.AddKey(THive::System, Uninstall + "Multi", "\"List\"=str(7):\"a\\0b\\0\"\n");
    const auto prefix = b.MakeCurrent();
    QStringList lines;
    QString error;
    EXPECT_FALSE(AddRemove::ExportKeyText(TRootKey::LocalMachine, Uninstall + "Greek\\", &lines, &error, prefix));
    EXPECT_TRUE(error.contains("cannot store")) << error.toStdString();
    EXPECT_FALSE(AddRemove::ExportKeyText(TRootKey::LocalMachine, Uninstall + "Missing\\", &lines, &error, prefix));
    EXPECT_TRUE(lines.isEmpty());
    ASSERT_TRUE(AddRemove::ExportKeyText(TRootKey::LocalMachine, Uninstall + "Multi\\", &lines, &error, prefix));
    EXPECT_EQ(lines.constLast(), "\"List\"=hex(7):61,00,62,00,00");
    // Types the program does not edit go as regedit exports them, by their number.
    ASSERT_TRUE(AddRemove::ExportKeyText(TRootKey::LocalMachine, Uninstall + "Odd\\", &lines, &error, prefix));
    EXPECT_EQ(lines.constLast(), "\"Type9\"=hex(9):01,02");
}

TEST(UninstallCommand, WineArguments)
{
    TPrefixBuilder b;
    b.AddFile("C:\\Program Files\\App Dir\\uninst.exe", "MZ");
    const auto prefix = b.MakeCurrent();
    const struct {
        const char *Row, *Command;
        QStringList Arguments;
    } cases[] = {
        {"installer", "MsiExec.exe /X{1234}", {"MsiExec.exe", "/X{1234}"}},
        {"quoted program", "\"C:\\Program Files\\App Dir\\uninst.exe\" /S", {"C:\\Program Files\\App Dir\\uninst.exe", "/S"}},
        {"unquoted program with blanks", "C:\\Program Files\\App Dir\\uninst.exe /S",
         {"C:\\Program Files\\App Dir\\uninst.exe", "/S"}},
        {"quoted argument", "x.exe -f\"C:\\a b\\c.isu\"", {"x.exe", "-fC:\\a b\\c.isu"}},
        {"rundll32 goes to the shell", "rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 C:\\x.inf",
         {"start", "rundll32.exe", "setupapi.dll,InstallHinfSection", "DefaultUninstall", "132", "C:\\x.inf"}},
        {"RunDll32 in another case is a program", "RunDll32.exe a.dll,b", {"RunDll32.exe", "a.dll,b"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        EXPECT_EQ(AddRemove::WineArguments(QString::fromUtf8(c.Command), prefix), c.Arguments);
    }
}

// Wine reports a missing program only on standard error: the window must know before it runs Wine.
TEST(UninstallCommand, MissingProgram)
{
    TPrefixBuilder b;
    b.AddFile("C:\\Program Files\\App Dir\\uninst.exe", "MZ");
    b.AddFile("C:\\Tools\\remove.exe", "MZ");
    const auto prefix = b.MakeCurrent();
    const struct {
        const char *Row, *Command, *Missing;
    } cases[] = {
        {"there, quoted", "\"C:\\Program Files\\App Dir\\uninst.exe\" /S", ""},
        {"there, unquoted with blanks", "C:\\Program Files\\App Dir\\uninst.exe /S", ""},
        {"there in another case", "c:\\program files\\app dir\\UNINST.EXE", ""},
        {"there without its extension", "C:\\Tools\\remove /quiet", ""},
        {"gone, quoted", "\"C:\\Program Files\\Gone\\unins000.exe\" /SILENT", "C:\\Program Files\\Gone\\unins000.exe"},
        {"gone, unquoted with blanks", "C:\\Program Files\\Gone App\\uninst.exe /S", "C:\\Program Files\\Gone App\\uninst.exe"},
        {"gone, on a drive the prefix lacks", "Q:\\setup.exe -u", "Q:\\setup.exe"},
        {"Wine's own installer", "MsiExec.exe /X{1234}", ""},
        {"the shell's", "rundll32.exe advpack.dll,LaunchINFSection C:\\x.inf,Uninstall", ""},
        {"a short name the prefix cannot tell", "C:\\PROGRA~1\\Gone\\uninst.exe", ""},
        {"nothing", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        EXPECT_EQ(AddRemove::MissingProgram(QString::fromUtf8(c.Command), prefix), QString::fromUtf8(c.Missing));
    }
}

}  // namespace
