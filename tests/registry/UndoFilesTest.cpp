// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the undo file lines, bytes, rotation and readers.
#include "registry/UndoFiles.h"
#include "registry/UndoManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/PrefixBuilder.h"
#include "support/SmallDisk.h"

namespace {

QByteArray Bytes(int count)
{
    QByteArray b;
    for (int i = 0; i < count; ++i)
        b.append(char(i * 7 + 1));
    return b;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A binary line as earlier versions wrote it: the "\" marks in the same line.
QString OneLineBinary(const QString &name, const QByteArray &bytes)
{
    return UndoFiles::BinaryLine(name, bytes).replace(QStringLiteral("\\\r\n  "), QStringLiteral("\\"));
}

TEST(UndoFiles, ValueLinesAreGolden)
{
    const struct {
        const char *name;
        QString line;
        const char *expected;
    } cases[] = {
        {"string with backslashes", UndoFiles::StringLine("Path", "C:\\Program Files\\x.exe"),
         R"("Path"="C:\\Program Files\\x.exe")"},
        {"quotes in name and data are escaped, = is not", UndoFiles::StringLine("a=\"b", "say \"hi\""),
         R"("a=\"b"="say \"hi\"")"},
        {"name with a backslash", UndoFiles::StringLine("Back\\slash", "x"), R"("Back\\slash"="x")"},
        {"name that names a folder", UndoFiles::StringLine("C:\\Program Files\\App\\", ""),
         R"("C:\\Program Files\\App\\"="")"},
        {"default value", UndoFiles::StringLine("", "C:\\x.dll"), R"(@="C:\\x.dll")"},
        {"default value with a quoted command", UndoFiles::StringLine("", "\"C:\\a b\\x.exe\" /s"),
         R"(@="\"C:\\a b\\x.exe\" /s")"},
        {"number with an escaped name", UndoFiles::DwordLine("a\\\"b", 1), R"("a\\\"b"=dword:00000001)"},
        {"binary with an escaped name", UndoFiles::BinaryLine("\\", QByteArray("\x01", 1)), R"("\\"=hex:01)"},
        {"quad word with an escaped name", UndoFiles::TypedLine("\"", 11, QByteArray::fromHex("cb04fb711f010000")),
         R"("\""=hex(b):CB,04,FB,71,1F,01,00,00)"},
        {"number 0", UndoFiles::DwordLine("n", 0), R"("n"=dword:00000000)"},
        {"number FFFFFFFF", UndoFiles::DwordLine("n", 0xFFFFFFFFu), R"("n"=dword:FFFFFFFF)"},
        {"number default value", UndoFiles::DwordLine("", 0x2A), R"(@=dword:0000002A)"},
        {"binary of 0 bytes", UndoFiles::BinaryLine("b", {}), R"("b"=hex:)"},
        {"binary of 1 byte", UndoFiles::BinaryLine("b", QByteArray("\xAB", 1)), R"("b"=hex:AB)"},
        {"no type, no bytes", UndoFiles::TypedLine("o", 0, {}), R"("o"=hex(0):)"},
        {"key line", UndoFiles::KeyLine("HKEY_CURRENT_USER", "\\Software\\Foo"), R"([HKEY_CURRENT_USER\Software\Foo])"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.line, QString::fromUtf8(c.expected));
    }
}

TEST(UndoFiles, BinaryLineBreaksAfterTheMarksOfBytes25And50)
{
    const struct {
        int count;
        int breaks;
    } cases[] = {{25, 0}, {26, 0}, {27, 1}, {51, 1}, {52, 2}, {60, 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.count);
        const QString line = UndoFiles::BinaryLine("b", Bytes(c.count));
        EXPECT_EQ(line.count(u'\\'), c.breaks);
        EXPECT_EQ(line.count(QStringLiteral("\\\r\n  ")), c.breaks);  // regedit drops a "\" inside a line
        EXPECT_EQ(line.count(u'\n'), c.breaks);
        EXPECT_EQ(line.count(u','), c.count - 1);
    }
    QString expand;
    ASSERT_TRUE(UndoFiles::ExpandLine("", "C:\\A folder name longer than 26\\x.dll", &expand));
    EXPECT_TRUE(expand.startsWith("@=hex(2):43,3A,5C,41,20,66,"));
    EXPECT_TRUE(expand.endsWith(",64,6C,6C,00"));
    EXPECT_FALSE(expand.mid(3).contains(u'\\'));
    EXPECT_FALSE(expand.contains(u'\n'));
    ASSERT_TRUE(UndoFiles::ExpandLine("%A%\\\"", "x", &expand));
    EXPECT_EQ(expand, R"("%A%\\\""=hex(2):78,00)");
    const QString hex = UndoFiles::HexText(Bytes(60));
    const QStringList parts = hex.split(u',');
    EXPECT_EQ(parts.at(26), "\\\r\n  B7");  // the comma after byte 25: "\", the line ends, the next is indented
    EXPECT_EQ(parts.at(51), "\\\r\n  66");
    EXPECT_EQ(parts.at(25), "B0");
}

TEST(UndoFiles, SixtyByteBinaryFileBytesAreGolden)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("x.reg");
    QString error;
    ASSERT_TRUE(UndoFiles::SaveUndoText(path, {"REGEDIT4", UndoFiles::KeyLine("HKEY_CURRENT_USER", "K"),
                                               UndoFiles::BinaryLine("Bin", Bytes(60))},
                                        &error))
        << error.toStdString();
    const QByteArray expected =
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n"
        "\"Bin\"=hex:01,08,0F,16,1D,24,2B,32,39,40,47,4E,55,5C,63,6A,71,78,7F,86,8D,94,9B,A2,A9,B0,\\\r\n"
        "  B7,BE,C5,CC,D3,DA,E1,E8,EF,F6,FD,04,0B,12,19,20,27,2E,35,3C,43,4A,51,58,5F,\\\r\n"
        "  66,6D,74,7B,82,89,90,97,9E\r\n";
    EXPECT_EQ(ReadAll(path), expected);
    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(path, &lines));
    EXPECT_EQ(lines.size(), 5);
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.at(0).Bytes, Bytes(60));
    EXPECT_EQ(int(entries.at(0).Type), int(TRegDataType::Binary));
}

TEST(UndoFiles, SavedFileBytesAreGolden)
{
    QTemporaryDir dir;
    const QString header =
        "REGEDIT4\r\n\r\n; This REG-file is generated by Orvendal Vaskimo\r\n; This contains UNDO-information for the "
        "entries deleted. Double click this file\r\n; in Windows Explorer to add these entries back to registry.\r\n; "
        "Generated on 1/2/2026 @ 3:04:05 PM.";
    const QStringList lines = {header, "", UndoFiles::KeyLine("HKEY_LOCAL_MACHINE", "Software\\A"),
                               UndoFiles::StringLine("", "C:\\Gone\\x.exe"), "",
                               UndoFiles::KeyLine("HKEY_LOCAL_MACHINE", "Software\\A"),
                               UndoFiles::StringLine(QString::fromUtf8("C:\\Old\\\xc3\xa9.dll"), "")};
    const QString path = dir.filePath("VKUndo01.reg");
    QString error;
    ASSERT_TRUE(UndoFiles::SaveUndoText(path, lines, &error)) << error.toStdString();
    const QByteArray expected =
        "REGEDIT4\r\n\r\n; This REG-file is generated by Orvendal Vaskimo\r\n; This contains UNDO-information for the "
        "entries deleted. Double click this file\r\n; in Windows Explorer to add these entries back to registry.\r\n; "
        "Generated on 1/2/2026 @ 3:04:05 PM.\r\n"
        "\r\n[HKEY_LOCAL_MACHINE\\Software\\A]\r\n@=\"C:\\\\Gone\\\\x.exe\"\r\n"
        "\r\n[HKEY_LOCAL_MACHINE\\Software\\A]\r\n\"C:\\\\Old\\\\\xe9.dll\"=\"\"\r\n";
    EXPECT_EQ(ReadAll(path), expected);
}

TEST(UndoFiles, LossyCharacterFailsAndKeepsTheEarlierFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("VKUndo01.reg");
    Write(path, "earlier run\r\n");
    QString error;
    EXPECT_FALSE(UndoFiles::IsLossless(QString::fromUtf8("C:\\\xe6\x97\xa5\\x.dll")));
    EXPECT_TRUE(UndoFiles::IsLossless(QString::fromUtf8("C:\\\xc3\xa9\xe2\x82\xac\\x.dll")));  // é and € are in 1252
    EXPECT_FALSE(UndoFiles::SaveUndoText(path, {"REGEDIT4", QString::fromUtf8("\"v\"=\"C:\\\\\xe6\x97\xa5\"")}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadAll(path), "earlier run\r\n");
    QString line;
    EXPECT_FALSE(UndoFiles::ExpandLine("v", QString::fromUtf8("%X%\\\xe6\x97\xa5"), &line));
}

TEST(UndoFiles, FailedRewriteInMissingFolderChangesNothing)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(UndoFiles::SaveUndoText(dir.filePath("no/such/VKUndo01.reg"), {"REGEDIT4"}, &error));
    EXPECT_FALSE(QFile::exists(dir.filePath("no")));
}

// The undo text of a delete must be whole on disk before anything goes; on a full disk the caller
// hears the system's reason and an earlier file of this run keeps what it held.
TEST(UndoFiles, FullDiskKeepsTheEarlierFileAndSaysWhy)
{
    TestSupport::TSmallDisk disk(QStringLiteral("512k"));
    VASKIMO_NEED_DISK(disk);
    const QString path = disk.Path() + "/VKUndo01.reg";
    const QStringList first{"REGEDIT4", "", UndoFiles::KeyLine("HKEY_CURRENT_USER", "Software\\A"), UndoFiles::StringLine("v", "1")};
    QString error;
    ASSERT_TRUE(UndoFiles::SaveUndoText(path, first, &error)) << qPrintable(error);
    const QByteArray before = ReadAll(path);
    ASSERT_TRUE(disk.Fill());
    EXPECT_FALSE(UndoFiles::SaveUndoText(path, first + QStringList{UndoFiles::StringLine("w", "2")}, &error));
    EXPECT_EQ(error, "No space left on device");
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_FALSE(UndoFiles::SaveUndoText(disk.Path() + "/VKUndo02.reg", first, &error));
    EXPECT_FALSE(QFile::exists(disk.Path() + "/VKUndo02.reg"));
}

// What a folder holds: every name (hidden ones too) with its bytes; a folder's bytes are "<folder>".
QMap<QString, QByteArray> FolderContent(const QString &folder)
{
    QMap<QString, QByteArray> content;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        content.insert(info.fileName(), info.isDir() ? QByteArray("<folder>") : ReadAll(info.filePath()));
    return content;
}

TEST(UndoFiles, RotationKeepsLevelsFilesAndPutsTheStagedTextFirst)
{
    const struct {
        const char *name;
        int levels;
        QList<int> before;
        QList<QPair<int, int>> after;  // file number -> old number whose content it holds
    } cases[] = {
        {"one level replaces 01", 1, {1}, {}},
        {"three levels", 3, {1, 2, 3}, {{2, 1}, {3, 2}}},
        {"three levels with a gap", 3, {1, 3}, {{2, 1}}},
        {"an empty folder", 3, {}, {}},
        {"ten levels", 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {{2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 6}, {8, 7}, {9, 8}, {10, 9}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString folder = dir.filePath("Undo");
        QDir().mkpath(folder);
        for (int n : c.before)
            Write(UndoFiles::NumberedFileName(folder, n), QByteArray::number(n));
        const QString staged = UndoFiles::StagedFileName(folder);
        Write(staged, "new");
        QString error;
        const QString fresh = UndoFiles::RotateNumberedFiles(folder, c.levels, staged, {}, &error);
        EXPECT_EQ(fresh, UndoFiles::NumberedFileName(folder, 1)) << error.toStdString();
        QMap<QString, QByteArray> expected{{"VKUndo01.reg", "new"}};
        for (const auto &[number, old] : c.after)
            expected.insert(QFileInfo(UndoFiles::NumberedFileName(folder, number)).fileName(), QByteArray::number(old));
        EXPECT_EQ(FolderContent(folder), expected);
    }
}

// A rename that fails half-way (a folder where a file should go) is undone: no old file is lost.
TEST(UndoFiles, ARotationThatCannotCompleteLeavesEveryOldFile)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("Undo");
    QDir().mkpath(folder);
    for (int n : {1, 2, 4})
        Write(UndoFiles::NumberedFileName(folder, n), QByteArray::number(n));
    QDir().mkpath(UndoFiles::NumberedFileName(folder, 3) + "/inside");
    const QString staged = UndoFiles::StagedFileName(folder);
    Write(staged, "new");
    const QMap<QString, QByteArray> before = FolderContent(folder);
    QString error;
    EXPECT_TRUE(UndoFiles::RotateNumberedFiles(folder, 4, staged, {}, &error).isEmpty());
    EXPECT_TRUE(error.contains("VKUndo03.reg")) << error.toStdString();
    EXPECT_EQ(FolderContent(folder), before);
    // No staged text: nothing to put in place, nothing moves.
    QFile::remove(staged);
    EXPECT_TRUE(UndoFiles::RotateNumberedFiles(folder, 4, staged, {}, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(UndoFiles, RotationNames)
{
    QTemporaryDir dir;
    EXPECT_TRUE(UndoFiles::NumberedFileName(dir.path(), 9).endsWith("/VKUndo09.reg"));
    EXPECT_TRUE(UndoFiles::NumberedFileName(dir.path() + "/", 10).endsWith("/VKUndo10.reg"));
    // The staged text is nothing a lister of undo files takes for one.
    const QString staged = UndoFiles::StagedFileName(dir.path());
    Write(staged, "new");
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.reg", "*.vku", "VKUndo*"}, QDir::Files).isEmpty());
    // A folder named VKUndo01.reg stays; the new file takes a unique name.
    QDir().mkpath(UndoFiles::NumberedFileName(dir.path(), 1));
    QString error;
    const QString fresh = UndoFiles::RotateNumberedFiles(dir.path(), 1, staged, [](const QString &folder, const QString &) {
        return folder + "VKUndo01(1).reg";
    }, &error);
    EXPECT_EQ(fresh, dir.filePath("VKUndo01(1).reg")) << error.toStdString();
    EXPECT_EQ(ReadAll(fresh), "new");
}

TEST(UndoFiles, UndoFolderSettingToHostFolder)
{
    TestSupport::TPrefixBuilder b;
    b.AddFolder("C:\\windows\\Undo Here");
    b.Link(QLatin1Char('d'), b.Folder() + "/no such folder");
    const auto prefix = b.MakeCurrent();
    const QString c = b.DriveC();
    const QString program = "/opt/vaskimo";
    const struct {
        const char *setting;
        QString host;
    } cases[] = {
        {"C:\\WINDOWS\\undo here\\", c + "/windows/Undo Here"},
        {"C:/Windows/Undo Here", c + "/windows/Undo Here"},
        {"c:\\windows\\Vaskimo Undo\\", c + "/windows/Vaskimo Undo"},
        {"C:\\Windows\\New\\Deeper", c + "/windows/New/Deeper"},
        {"/srv/undo/", "/srv/undo/"},
        {"Z:\\srv\\undo\\", "/srv/undo"},
        {"", program + "/Undo"},
        {"Undo\\", ""},
        {"undo/", ""},
        {"\\\\server\\share\\Undo", ""},
        {"C:Undo", ""},
        {"Q:\\Undo", ""},
        {"D:\\Undo", ""},
        {"C:\\PROGRA~1\\Undo", ""},
    };
    for (const auto &t : cases)
        EXPECT_EQ(UndoFiles::UndoFolderHost(t.setting, program, prefix), t.host) << t.setting;
    EXPECT_EQ(UndoFiles::UndoFolderHost("", QString(), prefix), QString());
    // No prefix given: the current one's drives.
    EXPECT_EQ(UndoFiles::UndoFolderHost("C:\\Windows", program), c + "/windows");
}

TEST(UndoFiles, ReaderGivesBackEveryWrittenValue)
{
    const QByteArray binary = Bytes(60);
    QString expandLine;
    ASSERT_TRUE(UndoFiles::ExpandLine("Ex", "%SystemRoot%\\gone.dll", &expandLine));
    const QStringList lines = {
        "REGEDIT4", "", "; comment \"=x", "",
        UndoFiles::KeyLine("HKEY_CURRENT_USER", "Software\\A=B"),
        UndoFiles::StringLine("Path", "C:\\Program Files\\x.exe"),
        UndoFiles::StringLine("a=b", "c=d"),
        UndoFiles::StringLine("", "C:\\Gone\\"),
        UndoFiles::StringLine("Looks like number", "dword:00000001"),
        UndoFiles::StringLine("Looks like hex", "hex:01,02"),
        UndoFiles::DwordLine("Zero", 0),
        UndoFiles::DwordLine("Max", 0xFFFFFFFFu),
        UndoFiles::BinaryLine("Bin", binary),
        UndoFiles::BinaryLine("Empty", {}),
        expandLine,
        "", UndoFiles::KeyLine("HKEY_LOCAL_MACHINE", "Software\\B"),
        UndoFiles::StringLine("C:\\Old\\x.dll", ""),
    };
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    ASSERT_EQ(entries.size(), 11);
    const struct {
        const char *root, *key, *name;
        TRegDataType type;
        const char *data;
    } expected[] = {
        {"HKEY_CURRENT_USER", "Software\\A=B", "Path", TRegDataType::String, "C:\\Program Files\\x.exe"},
        {"HKEY_CURRENT_USER", "Software\\A=B", "a=b", TRegDataType::String, "c=d"},
        {"HKEY_CURRENT_USER", "Software\\A=B", "", TRegDataType::String, "C:\\Gone\\"},
        {"HKEY_CURRENT_USER", "Software\\A=B", "Looks like number", TRegDataType::String, "dword:00000001"},
        {"HKEY_CURRENT_USER", "Software\\A=B", "Looks like hex", TRegDataType::String, "hex:01,02"},
        {"HKEY_CURRENT_USER", "Software\\A=B", "Zero", TRegDataType::Integer, "dword:00000000"},
        {"HKEY_CURRENT_USER", "Software\\A=B", "Max", TRegDataType::Integer, "dword:FFFFFFFF"},
        {"HKEY_CURRENT_USER", "Software\\A=B", "Bin", TRegDataType::Binary, nullptr},
        {"HKEY_CURRENT_USER", "Software\\A=B", "Empty", TRegDataType::Binary, "hex:"},
        {"HKEY_CURRENT_USER", "Software\\A=B", "Ex", TRegDataType::ExpandString, "%SystemRoot%\\gone.dll"},
        {"HKEY_LOCAL_MACHINE", "Software\\B", "C:\\Old\\x.dll", TRegDataType::String, ""},
    };
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(expected[i].name);
        const TUndoEntry &e = entries.at(i);
        EXPECT_EQ(e.Root, expected[i].root);
        EXPECT_EQ(e.Key, expected[i].key);
        EXPECT_EQ(e.ValueName, expected[i].name);
        EXPECT_EQ(int(e.Type), int(expected[i].type));
        EXPECT_EQ(e.Kind, 0);
        if (expected[i].data) {
            EXPECT_EQ(e.Data, expected[i].data);
        }
    }
    EXPECT_EQ(entries.at(5).Number, 0u);
    EXPECT_EQ(entries.at(6).Number, 0xFFFFFFFFu);
    EXPECT_EQ(entries.at(7).Bytes, binary);
    EXPECT_EQ(entries.at(7).Data, "hex:" + UndoFiles::UnbrokenHex(UndoFiles::HexText(binary)));
    EXPECT_FALSE(entries.at(7).Data.contains(u'\\'));
    EXPECT_TRUE(entries.at(8).Bytes.isEmpty());
}

TEST(UndoFiles, EarlierOneLineBinaryReadsAsTheBrokenForm)
{
    const struct {
        const char *name;
        QStringList lines;
    } cases[] = {
        {"one line with in-line marks (earlier files)", {OneLineBinary("Bin", Bytes(60))}},
        {"broken lines as in the file", UndoFiles::BinaryLine("Bin", Bytes(60)).split("\r\n")},
        {"broken form held in one string", {UndoFiles::BinaryLine("Bin", Bytes(60))}},
        {"continued with a tab, lower-case digits",
         UndoFiles::BinaryLine("Bin", Bytes(60)).toLower().replace("\"bin\"", "\"Bin\"").replace("\r\n  ", "\r\n\t").split("\r\n")},
    };
    const QString golden = "hex:" + UndoFiles::UnbrokenHex(UndoFiles::HexText(Bytes(60)));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<TUndoEntry> entries =
            UndoFiles::ReadRegLines(QStringList{"[HKEY_CURRENT_USER\\K]"} + c.lines + QStringList{"\"After\"=\"x\""});
        ASSERT_EQ(entries.size(), 2);
        EXPECT_EQ(entries.at(0).ValueName, "Bin");
        EXPECT_EQ(int(entries.at(0).Type), int(TRegDataType::Binary));
        EXPECT_EQ(entries.at(0).Bytes, Bytes(60));
        EXPECT_EQ(entries.at(0).Data.compare(golden, Qt::CaseInsensitive), 0) << entries.at(0).Data.toStdString();
        EXPECT_EQ(entries.at(1).ValueName, "After");
    }
}

TEST(UndoFiles, ReaderUnescapesNamesAndDataAndReadsEarlierFilesAsBefore)
{
    const struct {
        const char *name;
        const char *line;
        const char *valueName, *data;
    } cases[] = {
        {"escaped backslash in a name", R"("Back\\slash"="x")", "Back\\slash", "x"},
        {"escaped quotes in name and data", R"("a=\"b"="say \"hi\"")", "a=\"b", "say \"hi\""},
        {"name and data of one quote", R"("\""="\"")", "\"", "\""},
        {"escaped name that ends in a backslash", R"("C:\\App\\"="")", "C:\\App\\", ""},
        {"escaped quote and = in a name", R"("\"=\\"="d")", "\"=\\", "d"},
        {"unknown escape in data keeps its backslash", R"("v"="a\s")", "v", "a\\s"},
        {"line breaks in data, as Wine's regedit writes them", R"("v"="a\nb\r\nc")", "v", "a\nb\r\nc"},
        {"unknown escape in a name keeps the name as it stands", R"("Back\slash"="x")", "Back\\slash", "x"},
        // Lines of files written before names were escaped read as they always did.
        {"earlier file: name with backslashes", R"("C:\Old\x.dll"="")", "C:\\Old\\x.dll", ""},
        {"earlier file: a name's \\n and \\r stand", R"("C:\new\readme.txt"="")", "C:\\new\\readme.txt", ""},
        {"earlier file: name that ends in a backslash", R"("C:\Program Files\App\"="")", "C:\\Program Files\\App\\", ""},
        {"earlier file: short name that ends in a backslash", R"("Dir\"="C:\\x")", "Dir\\", "C:\\x"},
        {"earlier file: UNC name", R"("\\server\share"="1")", "\\\\server\\share", "1"},
        {"earlier file: quotes unescaped", R"("a="b"="say "hi"")", "a=\"b", "say \"hi\""},
        {"earlier file: data that ends in a backslash", R"(@="C:\\dir\\")", "", "C:\\dir\\"},
        {"earlier file: data with a quote after a backslash", R"("v"="\\"")", "v", "\\\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<TUndoEntry> entries = UndoFiles::ReadRegLines({"[HKEY_CURRENT_USER\\K]", QString::fromUtf8(c.line)});
        ASSERT_EQ(entries.size(), 1);
        EXPECT_EQ(entries.at(0).ValueName, QString::fromUtf8(c.valueName));
        EXPECT_EQ(entries.at(0).Data, QString::fromUtf8(c.data));
        EXPECT_EQ(int(entries.at(0).Type), int(TRegDataType::String));
    }
}

TEST(UndoFiles, EveryNameAndDataComesBackFromItsLine)
{
    const QString texts[] = {"plain", "Back\\slash", "\\", "\\\\", "\"", "\"=", "a\"=b", "\\\"=", "C:\\App\\",
                             "\\\\server\\share", "say \"hi\"", "ends in \\\"", "=\"\"="};
    for (const QString &name : texts) {
        for (const QString &data : texts) {
            SCOPED_TRACE(qPrintable(name + u'|' + data));
            QString expand;
            ASSERT_TRUE(UndoFiles::ExpandLine(name, data, &expand));
            const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(
                {"[HKEY_CURRENT_USER\\K]", UndoFiles::StringLine(name, data), UndoFiles::DwordLine(name, 7), expand});
            ASSERT_EQ(entries.size(), 3);
            for (const TUndoEntry &e : entries)
                EXPECT_EQ(e.ValueName, name);
            EXPECT_EQ(entries.at(0).Data, data);
            EXPECT_EQ(entries.at(1).Number, 7u);
            EXPECT_EQ(entries.at(2).Data, data);
        }
    }
}

// Data with line breaks stays on its one line; a name with one has no line that gives it back.
TEST(UndoFiles, LineBreaksInDataComeBackAndANameWithOneIsNotStorable)
{
    for (const QString &data : {QString("a\nb"), QString("\r\n"), QString("\\n"), QString("C:\\new\r\n\\\\r")}) {
        SCOPED_TRACE(qPrintable(data));
        const QString line = UndoFiles::StringLine("v", data);
        EXPECT_FALSE(line.contains(u'\n') || line.contains(u'\r'));
        const QList<TUndoEntry> entries = UndoFiles::ReadRegLines({"[HKEY_CURRENT_USER\\K]", line});
        ASSERT_EQ(entries.size(), 1);
        EXPECT_EQ(entries.at(0).Data, data);
        EXPECT_EQ(int(entries.at(0).Type), int(TRegDataType::String));
    }
    EXPECT_TRUE(UndoFiles::IsStorableName("C:\\new.dll"));
    EXPECT_FALSE(UndoFiles::IsStorableName("two\nlines"));
    EXPECT_FALSE(UndoFiles::IsStorableName("cr\r"));
}

TEST(UndoFiles, ReadsFileBackThroughTheCodePage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("VKUndo01.reg");
    const QString data = QString::fromUtf8("C:\\Caf\xc3\xa9 \xe2\x82\xac\\x.exe");
    QString error;
    ASSERT_TRUE(UndoFiles::SaveUndoText(path, {"REGEDIT4", "", UndoFiles::KeyLine("HKEY_USERS", ".Default\\K"),
                                               UndoFiles::StringLine("v", data)}, &error));
    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(path, &lines));
    ASSERT_EQ(lines.size(), 4);
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.at(0).Root, "HKEY_USERS");
    EXPECT_EQ(entries.at(0).Key, ".Default\\K");
    EXPECT_EQ(entries.at(0).Data, data);
}

TEST(UndoFiles, BytesFollowThePrefixsCodePage)
{
    TestSupport::TPrefixBuilder b;
    b.AddString(TestSupport::THive::System, "System\\CurrentControlSet\\Control\\Nls\\CodePage", "ACP", "1251");
    b.MakeCurrent();
    const QString cyrillic = QString::fromUtf8("C:\\\xd0\x96\\x.dll");  // Ж is 0xC6 in 1251
    EXPECT_TRUE(UndoFiles::IsLossless(cyrillic));
    EXPECT_FALSE(UndoFiles::IsLossless(QString::fromUtf8("C:\\\xc3\xa9.dll")));  // é is not in 1251
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(UndoFiles::SaveUndoText(dir.filePath("u.reg"), {UndoFiles::StringLine("v", cyrillic)}, &error));
    EXPECT_EQ(ReadAll(dir.filePath("u.reg")), QByteArray("\"v\"=\"C:\\\\\xc6\\\\x.dll\"\r\n"));
    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(dir.filePath("u.reg"), &lines));
    EXPECT_EQ(UndoFiles::ReadRegLines(lines).value(0).Data, cyrillic);
}

TEST(UndoFiles, EntryStateAgainstTheLiveRegistry)
{
    TestSupport::TPrefixBuilder b;
    const QByteArray binary = Bytes(60);
    b.AddString(TestSupport::THive::System, "Software\\S", "Path", "C:\\Program Files\\x.exe");
    b.AddDword(TestSupport::THive::System, "Software\\S", "Max", 0xFFFFFFFFu);
    b.AddBinary(TestSupport::THive::System, "Software\\S", "Bin", binary);
    b.MakeCurrent();
    const QStringList lines = {
        UndoFiles::KeyLine("HKEY_LOCAL_MACHINE", "Software\\S"),
        UndoFiles::StringLine("Path", "c:\\program files\\X.EXE"),  // case ignored
        UndoFiles::StringLine("Path ", "C:\\Program Files\\x.exe"),  // no such value
        UndoFiles::DwordLine("Max", 0xFFFFFFFFu),
        UndoFiles::DwordLine("Max2", 1),
        UndoFiles::BinaryLine("Bin", binary),
        UndoFiles::BinaryLine("Bin", Bytes(59)),
        OneLineBinary("Bin", binary),    // files of earlier versions: the same value
        OneLineBinary("Bin", Bytes(59)),
        UndoFiles::KeyLine("HKEY_LOCAL_MACHINE", "Software\\Gone"),
        UndoFiles::StringLine("Path", "x"),
    };
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    ASSERT_EQ(entries.size(), 9);
    const int expected[] = {2, 4, 2, 4, 2, 3, 2, 3, 4};
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(UndoManager::EntryState(entries[i]), expected[i]);
    }
}

TEST(UndoFiles, VkuReader)
{
    const struct {
        const char *name;
        QStringList lines;
        int count;
        int kind;
        const char *root, *key, *valueName, *data;
        char delimiter;
    } cases[] = {
        {"registry list item", {"This is Orvendal Vaskimo undo file.", "REG-data",
          R"(="HKEY_LOCAL_MACHINE\Software\Run","Items","C:\a b.exe",";")"}, 1, 2,
         "HKEY_LOCAL_MACHINE", "Software\\Run", "Items", "C:\\a b.exe", ';'},
        {"ini in lower case", {"header", "ini-data", R"(="C:\windows\win.ini","windows","load","x.exe",",")"}, 1, 1,
         "C:\\windows\\win.ini", "windows", "load", "x.exe", ','},
        {"no = line", {"header", "REG-data"}, 0, 0, "", "", "", "", ','},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<TUndoEntry> entries = UndoFiles::ReadVkuLines(c.lines);
        ASSERT_EQ(entries.size(), c.count);
        if (!c.count)
            continue;
        const TUndoEntry &e = entries.at(0);
        EXPECT_EQ(e.Kind, c.kind);
        EXPECT_EQ(e.Root, c.root);
        EXPECT_EQ(e.Key, c.key);
        EXPECT_EQ(e.ValueName, c.valueName);
        EXPECT_EQ(e.Data, c.data);
        EXPECT_EQ(e.Delimiter, QChar(c.delimiter));
        EXPECT_EQ(e.State, 4);
    }
}

}  // namespace
