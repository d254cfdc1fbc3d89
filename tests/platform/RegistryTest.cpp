// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the hive files and the registry accessor: fidelity, lookups, links, write guards, threads.
#include "support/Needs.h"
#include "support/PrefixBuilder.h"
#include "support/WineTools.h"
#include "platform/DriveMap.h"
#include "platform/HiveFile.h"
#include "platform/Registry.h"
#include "platform/WinePrefix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <map>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace TestSupport;

void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << '{' << l.join(QStringLiteral(", ")).toStdString() << '}';
}

namespace {

QByteArray Utf16(const QString &s)
{
    QByteArray out;
    for (QChar c : s) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}

// Every form Wine writes, as Wine writes it.
QByteArray FixtureHive()
{
    QByteArray t = "WINE REGISTRY Version 2\n"
                   ";; All keys relative to \\\\Machine\n"
                   "\n"
                   "#arch=win64\n"
                   "\n"
                   "[Software\\\\Classes\\\\.txt] 1700000000\n"
                   "#time=1da1b2c3d4e5f60\n"
                   "@=\"txtfile\"\n"
                   "\"Content Type\"=\"text/plain\"\n"
                   "\n"
                   "[Software\\\\Classes\\\\txtfile\\\\shell\\\\open\\\\command] 1700000000\n"
                   "#time=1da1b2c3d4e5f60\n"
                   "@=str(2):\"%SystemRoot%\\\\system32\\\\notepad.exe \\\"%1\\\"\"\n"
                   "\n"
                   "[Software\\\\Escapes] 1700000001\n"
                   "#time=1da1b2c3d4e5f61\n"
                   "\"quote\"=\"say \\\"hi\\\"\"\n"
                   "\"path\"=\"C:\\\\Program Files\\\\x.exe\"\n"
                   "\"controls\"=\"a\\nb\\tc\\r\\0d\"\n"
                   "\"hexNextToDigit\"=\"\\x00e4a\"\n"
                   "\"hexShort\"=\"\\xe4-\\x263a\"\n"
                   "\"p\\xe4\\xe4\"=\"name with umlauts\"\n"
                   "\"expand\"=str(2):\"%SystemRoot%\\\\system32\"\n"
                   "\"multi\"=str(7):\"one\\0two\\0\"\n"
                   "\"number\"=dword:0000002a\n"
                   "\"bytes\"=hex:01,02,ff\n"
                   "\"long\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,\\\n"
                   "  00,5c,00,73,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,00,00\n"
                   "\"qword\"=hex(b):2a,00,00,00,00,00,00,00\n"
                   "this line is no value but survives\n"
                   ";; nor is this one\n"
                   "\n";
    t += "[Software\\\\Link] 1700000002\n"
         "#time=1da1b2c3d4e5f62\n"
         "#class=\"LinkClass\"\n"
         "#link\n";
    t += HiveText::FormatValue(QStringLiteral("SymbolicLinkValue"), 6,
                               Utf16(QStringLiteral("\\Registry\\Machine\\Software\\Target")));
    t += "\n"
         "[Software\\\\Target\\\\Sub] 1700000003\n"
         "#time=1da1b2c3d4e5f63\n"
         "\"v\"=\"in target\"\n"
         "\n"
         "[Software\\\\Utf8 \xc3\xa4] 1700000003\n"
         "\"raw \xc3\xb6\"=\"\xe2\x82\xac\"\n"
         "\n"
         "[Software\\\\Wine\\\\Drives] 1700000004\n"
         "#time=1da1b2c3d4e5f64\n"
         "\"d:\"=\"cdrom\"\n";
    return t;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The hive file rewritten behind the accessors' back, as a Wine program ending would.
void ChangeAsWineWould(const QString &hive, const QByteArray &from, const QByteArray &to)
{
    QByteArray text = ReadAll(hive);
    ASSERT_TRUE(text.contains(from)) << from.toStdString();
    text.replace(from, to);
    QFile f(hive);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(text), text.size());
}

QStringList Lines(const QByteArray &text)
{
    return QString::fromUtf8(text).split(QLatin1Char('\n'));
}

// Lines of a that b lacks (each line counted once per occurrence).
QStringList Missing(QStringList a, const QStringList &b)
{
    for (const QString &l : b)
        a.removeOne(l);
    return a;
}

class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Builder.SetHiveText(THive::System, FixtureHive());
        Builder.AddString(THive::User, QStringLiteral("Software\\Classes\\.txt"), QStringLiteral("Content Type"),
                          QStringLiteral("text/user"));
        Builder.AddString(THive::User, QStringLiteral("Software\\Classes\\.only"), QString(), QStringLiteral("user only"));
        Builder.AddString(THive::UserDefault, QStringLiteral("Control Panel\\Desktop"), QStringLiteral("Wallpaper"),
                          QStringLiteral("none"));
        Prefix = Builder.MakeCurrent();
    }

    TPrefixBuilder Builder;
    std::shared_ptr<TWinePrefix> Prefix;
};

}  // namespace

TEST(HiveFileTest, LoadAndSaveGiveTheSameBytes)
{
    const QByteArray text = FixtureHive();
    THiveFile hive(QString(), QStringLiteral("\\Machine"));
    ASSERT_TRUE(hive.LoadText(text));
    EXPECT_EQ(hive.SaveText(), text);
    // Saving twice must not drift either (offsets move to the new text).
    EXPECT_EQ(hive.SaveText(), text);
}

TEST(HiveFileTest, ValuesDecodeAsWineReadsThem)
{
    THiveFile hive(QString(), QStringLiteral("\\Machine"));
    ASSERT_TRUE(hive.LoadText(FixtureHive()));
    THiveKey *key = THiveFile::Child(THiveFile::Child(hive.Root(), QStringLiteral("software")), QStringLiteral("ESCAPES"));
    ASSERT_NE(key, nullptr);
    const struct {
        const char *name;
        QString value;
        quint32 type;
    } cases[] = {
        {"quote", QStringLiteral("say \"hi\""), 1},
        {"path", QStringLiteral("C:\\Program Files\\x.exe"), 1},
        {"controls", QStringLiteral("a\nb\tc\r") + QChar(0) + QStringLiteral("d"), 1},
        {"hexNextToDigit", QString(QChar(0xe4)) + QStringLiteral("a"), 1},
        {"hexShort", QString(QChar(0xe4)) + QStringLiteral("-") + QChar(0x263a), 1},
        {"expand", QStringLiteral("%SystemRoot%\\system32"), 2},
        {"multi", QStringLiteral("one") + QChar(0) + QStringLiteral("two") + QChar(0), 7},
        {"long", QStringLiteral("%SystemRoot%\\system32"), 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const THiveValue *v = THiveFile::FindValue(key, QString::fromLatin1(c.name));
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->Type, c.type);
        EXPECT_EQ(hive.ValueString(*v), c.value);
    }
    EXPECT_NE(THiveFile::FindValue(key, QStringLiteral("P") + QChar(0xc4) + QChar(0xc4)), nullptr);
    EXPECT_EQ(hive.ValueBytes(*THiveFile::FindValue(key, QStringLiteral("bytes"))), QByteArray("\x01\x02\xff", 3));
    EXPECT_EQ(hive.ValueBytes(*THiveFile::FindValue(key, QStringLiteral("qword"))), QByteArray("\x2a\0\0\0\0\0\0\0", 8));
}

TEST(HiveFileTest, EscapesRoundTripThroughWinesRules)
{
    const QString samples[] = {
        QStringLiteral("plain"),
        QString(QChar(0xe4)) + QStringLiteral("1f"),       // \x00e4 before a hex digit
        QString(QChar(0xe4)) + QStringLiteral("g"),        // \xe4 otherwise
        QString(QChar(1)) + QStringLiteral("7") + QChar(2),  // octal: three digits before a digit
        QStringLiteral("back\\slash \"quoted\" [br]"),
        QString::fromUtf8("Con \xec\x9e\x90\xeb\xb0\xb1 \xf0\x9f\x98\x80"),  // outside the BMP too
    };
    for (const QString &s : samples) {
        SCOPED_TRACE(s.toStdString());
        const QByteArray escaped = HiveText::Escape(s, "\"") + "\"";
        for (char c : escaped)
            EXPECT_LT(uchar(c), 128);
        int pos = 0;
        QString back;
        ASSERT_TRUE(HiveText::Unescape(escaped, pos, '"', &back));
        EXPECT_EQ(back, s);
    }
}

TEST(HiveFileTest, HexLinesBreakAsWineBreaksThem)
{
    QByteArray data;
    for (int i = 0; i < 60; ++i)
        data.append(char(i));
    const QByteArray text = HiveText::FormatValue(QStringLiteral("Blob"), 3, data);
    const QList<QByteArray> lines = text.split('\n');
    // "Blob"=hex: is 11 columns; a line is broken after the comma that passes column 76.
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("\"Blob\"=hex:00,01,"));
    EXPECT_EQ(lines[0].size(), 11 + 22 * 3 + 1);
    EXPECT_TRUE(lines[1].startsWith("  16,17,"));
    EXPECT_EQ(lines[1].size(), 2 + 25 * 3 + 1);
}

// Damage that Wine never writes, read as Wine's loader reads it (HiveWineTest holds the same
// against Wine itself): numbers as strtoul() reads them, cut to their field.
TEST(HiveFileTest, DamagedLinesReadAsDamage)
{
    const QByteArray text = "WINE REGISTRY Version 2\n"
                            "\n[Software\\\\Cut\\\n"
                            "[Software\\\\Times] 99999999999999999999\n"
                            "#time=123456789abcdef0123\n"
                            "\"kept\"=\"x\"\n"
                            "\"hexRun\"=hex:0123456789abcdef0123\n"
                            "\"wideDword\"=dword:123456789\n"
                            "\"wideType\"=hex(123456789):01\n"
                            "\"short\"=hex:1,2\n";
    THiveFile hive(QString(), QStringLiteral("\\Machine"));
    ASSERT_TRUE(hive.LoadText(text));
    // A key line that ends in "\" is that line alone: the next key keeps its own name.
    const THiveKey *software = THiveFile::Child(hive.Root(), QStringLiteral("Software"));
    ASSERT_NE(software, nullptr);
    ASSERT_EQ(software->Children.size(), 1u);
    const THiveKey *key = software->Children.front();
    EXPECT_EQ(key->Name, QStringLiteral("Times"));
    // A time past any FILETIME is no time.
    EXPECT_FALSE(key->HasTime);
    const struct {
        const char *name;
        quint32 type;
        QByteArray bytes;
    } values[] = {
        {"kept", 1, HiveText::Utf16(QStringLiteral("x"), true)},
        {"hexRun", 0, {}},  // a byte past 0xff: the loader keeps the value, as REG_NONE with no data
        {"wideDword", 4, QByteArray("\x89\x67\x45\x23", 4)},
        {"wideType", 0x23456789, QByteArray("\x01", 1)},
        {"short", 3, QByteArray("\x01\x02", 2)},
    };
    ASSERT_EQ(key->Values.size(), std::size(values));
    for (size_t i = 0; i < std::size(values); ++i) {
        SCOPED_TRACE(values[i].name);
        EXPECT_EQ(key->Values[i].Name, QString::fromLatin1(values[i].name));
        EXPECT_EQ(key->Values[i].Type, values[i].type);
        EXPECT_EQ(hive.ValueBytes(key->Values[i]), values[i].bytes);
    }
    EXPECT_EQ(hive.SaveText(), text);
}

// Hex data that asks for one more line where the next key begins takes that key line as data, as
// Wine's loader does: the values after it are the first key's. A new value goes after them, and
// the text read again reads the same.
TEST(HiveFileTest, HexDataCutShortByAKeyLineTakesThatLine)
{
    const QByteArray text = "WINE REGISTRY Version 2\n"
                            "\n[Software\\\\A] 1700000000\n"
                            "#time=1da1b2c3d4e5f60\n"
                            "\"v\"=hex:01,02,\\\n"
                            "[Software\\\\B] 1700000000\n"
                            "\"w\"=dword:00000001\n";
    THiveFile hive(QString(), QStringLiteral("\\Machine"));
    ASSERT_TRUE(hive.LoadText(text));
    const THiveKey *software = THiveFile::Child(hive.Root(), QStringLiteral("Software"));
    THiveKey *a = THiveFile::Child(software, QStringLiteral("A"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(THiveFile::Child(software, QStringLiteral("B")), nullptr);
    const THiveValue *v = THiveFile::FindValue(a, QStringLiteral("v"));
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->Malformed);
    EXPECT_EQ(v->Type, 0u);
    EXPECT_TRUE(hive.ValueBytes(*v).isEmpty());
    ASSERT_NE(THiveFile::FindValue(a, QStringLiteral("w")), nullptr);

    hive.SetValue(a, QStringLiteral("New"), 4, QByteArray("\x07\0\0\0", 4));
    const QByteArray saved = hive.SaveText();
    EXPECT_TRUE(saved.contains("\"v\"=hex:01,02,\\\n[Software\\\\B] 1700000000\n\"w\"=dword:00000001\n\"New\"=dword:00000007\n"))
        << saved.constData();
    THiveFile again{QString(), QString()};
    ASSERT_TRUE(again.LoadText(saved));
    const THiveKey *reread = THiveFile::Child(THiveFile::Child(again.Root(), QStringLiteral("Software")), QStringLiteral("A"));
    ASSERT_NE(reread, nullptr);
    QStringList names;
    for (const THiveValue &value : reread->Values)
        names << value.Name;
    EXPECT_EQ(names, QStringList({"v", "w", "New"}));
}

TEST_F(RegistryTest, LookupsIgnoreCaseAndKeepIt)
{
    TRegistry reg(TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(QStringLiteral("\\SOFTWARE\\escapes\\")));
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("SOFTWARE\\escapes"));
    EXPECT_EQ(reg.ReadString(QStringLiteral("QUOTE")), QStringLiteral("say \"hi\""));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Number")), 42u);
    EXPECT_EQ(reg.ReadMultiString(QStringLiteral("multi")), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(reg.GetDataType(QStringLiteral("expand")), TRegDataType::ExpandString);
    EXPECT_EQ(reg.GetDataType(QStringLiteral("bytes")), TRegDataType::Binary);
    EXPECT_EQ(reg.GetDataType(QStringLiteral("qword")), TRegDataType::Other);
    EXPECT_EQ(reg.GetDataType(QStringLiteral("nothing")), TRegDataType::None);
    EXPECT_EQ(reg.ReadBinaryData(QStringLiteral("qword")).size(), 8);
    const QStringList names = reg.GetValueNames();
    ASSERT_GE(names.size(), 3);
    EXPECT_EQ(names.mid(0, 3), (QStringList{QStringLiteral("quote"), QStringLiteral("path"), QStringLiteral("controls")}));
    EXPECT_EQ(reg.LastWriteTime(), HiveText::FromFileTime(0x1da1b2c3d4e5f61ULL));

    ASSERT_TRUE(reg.OpenKeyReadOnly(QStringLiteral("\\")));
    EXPECT_EQ(reg.CurrentPath(), QString());
    ASSERT_TRUE(reg.OpenKeyReadOnly(QStringLiteral("software")));
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("\\software"));
    EXPECT_EQ(reg.GetKeyNames(), (QStringList{QStringLiteral("Classes"), QStringLiteral("Escapes"), QStringLiteral("Link"),
                                              QStringLiteral("Target"), QString::fromUtf8("Utf8 \xc3\xa4"),
                                              QStringLiteral("Wine")}));
}

TEST(FixedKeyPaths, A64BitPrefixAddsTheWow6432NodeTwinOfMachineSoftwareKeysOnly)
{
    using TestSupport::THive;
    TestSupport::TPrefixBuilder win64;
    const auto prefix64 = win64.MakeCurrent();
    TestSupport::TPrefixBuilder win32;
    for (THive hive : {THive::System, THive::User, THive::UserDefault})
        win32.SetHiveText(hive, "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n");
    const auto prefix32 = win32.MakeCurrent();
    const QString run = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    const QString twin = QStringLiteral("Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    const struct {
        const char *Row;
        TRootKey Root;
        QString Path;
        QStringList Win64;
    } cases[] = {
        {"machine software key", TRootKey::LocalMachine, run, {run, twin}},
        {"leading backslash, upper case", TRootKey::LocalMachine, "\\SOFTWARE\\X", {"SOFTWARE\\X", "SOFTWARE\\Wow6432Node\\X"}},
        {"a twin already", TRootKey::LocalMachine, twin, {twin}},
        {"classes are shared", TRootKey::LocalMachine, "Software\\Classes\\CLSID", {"Software\\Classes\\CLSID"}},
        {"not below Software", TRootKey::LocalMachine, "System\\CurrentControlSet", {"System\\CurrentControlSet"}},
        {"Software itself", TRootKey::LocalMachine, "Software", {"Software"}},
        {"the user's keys are shared", TRootKey::CurrentUser, run, {run}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        EXPECT_EQ(FixedKeyPaths(c.Root, c.Path, prefix64), c.Win64);
        EXPECT_EQ(FixedKeyPaths(c.Root, c.Path, prefix32), QStringList{c.Win64.constFirst()});
    }
}

TEST_F(RegistryTest, RawUtf8AndDeletedTreesReadBack)
{
    TRegistry reg(TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(QString::fromUtf8("\\software\\UTF8 \xc3\x84")));
    EXPECT_EQ(reg.ReadString(QString::fromUtf8("RAW \xc3\x96")), QString::fromUtf8("\xe2\x82\xac"));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software"), false));
    ASSERT_TRUE(reg.DeleteKey(QStringLiteral("Classes")));
    EXPECT_FALSE(reg.KeyExists(QStringLiteral("\\Software\\Classes\\txtfile\\shell\\open\\command")));
    EXPECT_FALSE(reg.DeleteKey(QStringLiteral("Classes")));
    const QByteArray after = ReadAll(Builder.HivePath(THive::System));
    EXPECT_EQ(after.indexOf("Classes"), -1);
    EXPECT_NE(after.indexOf("[Software\\\\Escapes] 1700000001\n"), -1);  // untouched
}

TEST_F(RegistryTest, DriveTypesComeFromWinesDrivesKey)
{
    Builder.AddFolder(QStringLiteral("C:\\cd"));
    Builder.Link(QLatin1Char('d'), Builder.DriveC() + QStringLiteral("/cd"));
    Prefix->ReloadDrives();
    EXPECT_EQ(Prefix->Drives().DriveType(QLatin1Char('D')), TDriveType::CdRom);
    EXPECT_EQ(Prefix->Drives().DriveType(QLatin1Char('C')), TDriveType::Fixed);
    EXPECT_EQ(Prefix->Drives().DriveType(QLatin1Char('Z')), TDriveType::Remote);
}

TEST_F(RegistryTest, MismatchedOrMissingReadsThrow)
{
    TRegistry reg(TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(QStringLiteral("\\Software\\Escapes")));
    const struct {
        const char *name;
        std::function<void()> read;
    } cases[] = {
        {"dword as string", [&] { reg.ReadString(QStringLiteral("number")); }},
        {"string as dword", [&] { reg.ReadInteger(QStringLiteral("quote")); }},
        {"multi as string", [&] { reg.ReadString(QStringLiteral("multi")); }},
        {"binary as string", [&] { reg.ReadString(QStringLiteral("bytes")); }},
        {"string as binary", [&] { reg.ReadBinaryData(QStringLiteral("path")); }},
        {"missing", [&] { reg.ReadString(QStringLiteral("absent")); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(c.read(), ERegistryException);
    }
}

TEST_F(RegistryTest, SubkeysEnumerateInWindowsOrder)
{
    TRegistry reg(TRootKey::CurrentUser);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Order"), true));
    for (const char *name : {"b", "_under", "ABC", "a1", "Zed"})
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Order\\") + QLatin1String(name), true));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Order"), false));
    // Upper-cased ordinal order, as wineserver keeps it: "_" sorts after the letters.
    const QStringList expected{QStringLiteral("a1"), QStringLiteral("ABC"), QStringLiteral("b"), QStringLiteral("Zed"),
                               QStringLiteral("_under")};
    EXPECT_EQ(reg.GetKeyNames(), expected);
    // The same after a fresh load of the file.
    TRegistry again(TRootKey::CurrentUser, std::make_shared<TWinePrefix>(Builder.Folder()));
    ASSERT_TRUE(again.OpenKeyReadOnly(QStringLiteral("\\Software\\Order")));
    EXPECT_EQ(again.GetKeyNames(), expected);
}

TEST_F(RegistryTest, LinksAreFollowedByPathButNeverWalkedInto)
{
    TRegistry reg(TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(QStringLiteral("\\Software\\Link\\Sub")));
    EXPECT_EQ(reg.ReadString(QStringLiteral("v")), QStringLiteral("in target"));
    ASSERT_TRUE(reg.OpenKeyReadOnly(QStringLiteral("\\Software\\Link")));
    EXPECT_EQ(reg.GetKeyNames(), QStringList{QStringLiteral("Sub")});
    // A walker opens one name at a time below its current key: the link stays a leaf.
    ASSERT_TRUE(reg.OpenKeyReadOnly(QStringLiteral("\\Software")));
    EXPECT_TRUE(reg.GetKeyNames().contains(QStringLiteral("Link")));
    ASSERT_TRUE(reg.OpenKeyReadOnly(QStringLiteral("Link")));
    EXPECT_FALSE(reg.HasSubKeys());
    EXPECT_EQ(reg.GetValueNames(), QStringList{QStringLiteral("SymbolicLinkValue")});
}

TEST_F(RegistryTest, ClassesRootAndUsersMapOntoTheHives)
{
    TRegistry cr(TRootKey::ClassesRoot);
    ASSERT_TRUE(cr.OpenKeyReadOnly(QStringLiteral("\\.txt")));
    EXPECT_EQ(cr.ReadString(QStringLiteral("Content Type")), QStringLiteral("text/user"));  // HKCU over HKLM
    ASSERT_TRUE(cr.OpenKeyReadOnly(QStringLiteral("\\")));
    const QStringList names = cr.GetKeyNames();
    EXPECT_TRUE(names.contains(QStringLiteral(".only")));
    EXPECT_TRUE(names.contains(QStringLiteral("txtfile")));
    EXPECT_EQ(names.count(QStringLiteral(".txt")), 1);
    ASSERT_TRUE(cr.OpenKey(QStringLiteral("\\.new"), true));
    cr.WriteString(QString(), QStringLiteral("newfile"));
    TRegistry lm(TRootKey::LocalMachine);
    ASSERT_TRUE(lm.OpenKeyReadOnly(QStringLiteral("\\Software\\Classes\\.new")));
    EXPECT_EQ(lm.ReadString(QString()), QStringLiteral("newfile"));

    TRegistry users(TRootKey::Users);
    ASSERT_TRUE(users.OpenKeyReadOnly(QStringLiteral("\\")));
    EXPECT_EQ(users.GetKeyNames(), (QStringList{QStringLiteral(".Default"), QStringLiteral("S-1-5-21-0-0-0-1000")}));
    ASSERT_TRUE(users.OpenKeyReadOnly(QStringLiteral("\\.DEFAULT\\Control Panel\\Desktop")));
    EXPECT_EQ(users.ReadString(QStringLiteral("Wallpaper")), QStringLiteral("none"));
    ASSERT_TRUE(users.OpenKeyReadOnly(QStringLiteral("\\S-1-5-21-0-0-0-1000\\Software\\Classes\\.only")));
    EXPECT_EQ(users.ReadString(QString()), QStringLiteral("user only"));
}

TEST_F(RegistryTest, AChangeRewritesOnlyItsLinesAndTimes)
{
    const QString file = Builder.HivePath(THive::System);
    const QByteArray before = ReadAll(file);
    TRegistry reg(TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Escapes"), false));
    ASSERT_TRUE(reg.DeleteValue(QStringLiteral("path")));
    reg.WriteString(QStringLiteral("added"), QStringLiteral("C:\\new"));
    const QByteArray after = ReadAll(file);
    const QStringList gone = Missing(Lines(before), Lines(after));
    const QStringList added = Missing(Lines(after), Lines(before));
    ASSERT_EQ(gone.size(), 3) << after.constData();
    EXPECT_EQ(gone[0], QStringLiteral("[Software\\\\Escapes] 1700000001"));
    EXPECT_EQ(gone[1], QStringLiteral("#time=1da1b2c3d4e5f61"));
    EXPECT_EQ(gone[2], QStringLiteral("\"path\"=\"C:\\\\Program Files\\\\x.exe\""));
    ASSERT_EQ(added.size(), 3) << after.constData();
    EXPECT_TRUE(added[0].startsWith(QStringLiteral("[Software\\\\Escapes] ")));
    EXPECT_TRUE(added[1].startsWith(QStringLiteral("#time=")));
    EXPECT_EQ(added[2], QStringLiteral("\"added\"=\"C:\\\\new\""));
    // The new value follows the key's last value, ahead of its other lines.
    EXPECT_LT(after.indexOf("\"added\""), after.indexOf("this line is no value"));
    EXPECT_GT(after.indexOf("\"added\""), after.indexOf("\"qword\""));
    EXPECT_EQ(QFileInfo(file).dir().entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("system")).size(), 1);
}

TEST_F(RegistryTest, NewKeysLandInWinesOrderAndKeepParents)
{
    TRegistry reg(TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Classes\\.aaa\\Deep"), true));
    reg.WriteInteger(QStringLiteral("n"), 7);
    const QByteArray after = ReadAll(Builder.HivePath(THive::System));
    const int at = after.indexOf("[Software\\\\Classes\\\\.aaa\\\\Deep] ");
    ASSERT_GE(at, 0);
    EXPECT_LT(at, after.indexOf("[Software\\\\Classes\\\\.txt]"));
    EXPECT_NE(after.indexOf("\"n\"=dword:00000007\n", at), -1);
    EXPECT_EQ(after.indexOf("[Software\\\\Classes\\\\.aaa] "), -1);  // Wine leaves out keys that are only paths
    // Deleting the only child keeps the parent as a key of its own.
    ASSERT_TRUE(reg.DeleteKey(QStringLiteral("\\Software\\Classes\\.aaa\\Deep")));
    TRegistry fresh(TRootKey::LocalMachine, std::make_shared<TWinePrefix>(Builder.Folder()));
    EXPECT_FALSE(fresh.KeyExists(QStringLiteral("\\Software\\Classes\\.aaa\\Deep")));
    EXPECT_TRUE(fresh.KeyExists(QStringLiteral("\\Software\\Classes\\.aaa")));
    EXPECT_TRUE(fresh.KeyExists(QStringLiteral("\\Software\\Classes\\.txt")));
}

// What Wine wrote since the hives were loaded is read again before a write and when a tool starts.
// Each check has the prefix to itself: another accessor would read the change first.
TEST_F(RegistryTest, AFileChangedOnDiskIsReadAgainBeforeWriting)
{
    const auto wineWrites = [&](const QByteArray &from, const QByteArray &to) { ChangeAsWineWould(Builder.HivePath(THive::System), from, to); };
    TRegistry reg(TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Escapes"), false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("number")), 42u);
    wineWrites("\"number\"=dword:0000002a", "\"number\"=dword:0000002b\n\"byWine\"=\"1\"");
    reg.WriteString(QStringLiteral("ours"), QStringLiteral("2"));
    const QByteArray after = ReadAll(Builder.HivePath(THive::System));
    EXPECT_NE(after.indexOf("\"byWine\"=\"1\""), -1) << "the write put back the hive as it was before Wine's change";
    EXPECT_NE(after.indexOf("\"ours\"=\"2\""), -1);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("number")), 43u);

    wineWrites("\"byWine\"=\"1\"", "\"byWine\"=\"again\"");
    TRegistry later(TRootKey::LocalMachine);
    ASSERT_TRUE(later.OpenKeyReadOnly(QStringLiteral("\\Software\\Escapes")));
    EXPECT_EQ(later.ReadString(QStringLiteral("byWine")), QStringLiteral("again"));
}

// The batch runs read what Wine wrote since the hives were loaded: a write keeps Wine's change, and
// a value Wine changed is no longer about to go (so the undo text never holds it).
TEST_F(RegistryTest, BatchRunsReadWhatWineWroteSinceTheHivesWereLoaded)
{
    const QString hive = Builder.HivePath(THive::System);
    {
        TRegistry reg(TRootKey::LocalMachine);
        ASSERT_TRUE(reg.OpenKeyReadOnly(QStringLiteral("\\Software\\Escapes")));
        ASSERT_EQ(reg.ReadInteger(QStringLiteral("number")), 42u);
    }
    ChangeAsWineWould(hive, "\"number\"=dword:0000002a", "\"number\"=dword:0000002b\n\"byWine\"=\"1\"");
    QList<TValueWrite> writes(1);
    writes[0].Root = TRootKey::LocalMachine;
    writes[0].KeyPath = QStringLiteral("Software\\Escapes");
    writes[0].ValueName = QStringLiteral("ours");
    writes[0].Data = TRegistry::StringData(QStringLiteral("2"));
    TRegistry::WriteValues(writes, Prefix);
    EXPECT_TRUE(writes[0].Written) << writes[0].Error.toStdString();
    QByteArray after = ReadAll(hive);
    EXPECT_TRUE(after.contains("\"byWine\"=\"1\"")) << "the write put back the hive as it was before Wine's change";
    EXPECT_TRUE(after.contains("\"ours\"=\"2\""));

    ChangeAsWineWould(hive, "\"path\"=\"C:\\\\Program Files\\\\x.exe\"", "\"path\"=\"C:\\\\windows\"");
    QList<TValueDeletion> values(2);
    for (int i = 0; i < 2; ++i) {
        values[i].Root = TRootKey::LocalMachine;
        values[i].KeyPath = QStringLiteral("Software\\Escapes");
        values[i].CheckData = true;
    }
    values[0].ValueName = QStringLiteral("path");
    values[0].ExpectedText = QStringLiteral("C:\\Program Files\\x.exe");
    values[1].ValueName = QStringLiteral("quote");
    values[1].ExpectedText = QStringLiteral("say \"hi\"");
    QList<int> going;
    TRegistry::DeleteValues(values, [&](const QList<int> &indexes) { going = indexes; return true; }, Prefix);
    EXPECT_EQ(going, QList<int>({1}));
    EXPECT_EQ(values[0].Result, TValueDeletion::TResult::Changed);
    EXPECT_EQ(values[1].Result, TValueDeletion::TResult::Deleted);
    after = ReadAll(hive);
    EXPECT_TRUE(after.contains("\"path\"=\"C:\\\\windows\"")) << after.toStdString();
    EXPECT_TRUE(after.contains("\"byWine\"=\"1\"") && !after.contains("\"quote\""));
}

// Every kind of write through an accessor: false (with the reason) when refused.
void ExpectEveryWriteRefused(TRegistry &reg, const char *reason)
{
    try {
        reg.WriteString(QStringLiteral("x"), QStringLiteral("y"));
        ADD_FAILURE() << "the write went through";
    } catch (const ERegistryException &e) {
        EXPECT_TRUE(e.Message().contains(QString::fromLatin1(reason))) << e.what();
    }
    EXPECT_FALSE(reg.DeleteValue(QStringLiteral("path")));
    EXPECT_FALSE(reg.DeleteKey(QStringLiteral("\\Software\\Escapes")));
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("\\Software\\New"), true));
    EXPECT_TRUE(reg.LastError().contains(QString::fromLatin1(reason)));
}

TEST_F(RegistryTest, WritesAreRefusedWhileWineRuns)
{
    VASKIMO_NEED_WINE();
    QString why;
    const QByteArray before = ReadAll(Builder.HivePath(THive::System));
    TRegistry reg(TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Escapes"), false));
    TWineServer server;
    ASSERT_TRUE(server.Start(Builder.Folder(), &why)) << why.toStdString();
    EXPECT_TRUE(Prefix->ServerRunning());
    ExpectEveryWriteRefused(reg, "Close the Wine programs");
    EXPECT_EQ(ReadAll(Builder.HivePath(THive::System)), before);
    // Ended, the server has written the registry it held: the value is there to delete.
    ASSERT_TRUE(server.Stop());
    EXPECT_FALSE(Prefix->ServerRunning());
    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("path"))) << reg.LastError().toStdString();
}

// The last word is the guard's, after the undo text is written and before it is put in place: a
// Wine program that starts meanwhile keeps every value, and nothing is put in place.
TEST_F(RegistryTest, AServerStartedWhileTheUndoTextIsWrittenKeepsEveryValueAndCommitsNothing)
{
    VASKIMO_NEED_WINE();
    QString why;
    QList<TValueDeletion> values(1);
    values[0].Root = TRootKey::LocalMachine;
    values[0].KeyPath = QStringLiteral("Software\\Escapes");
    values[0].ValueName = QStringLiteral("path");
    TWineServer server;
    bool started = false, committed = false;
    TRegistry::DeleteValues(values, [&](const QList<int> &) { return started = server.Start(Builder.Folder(), &why); },
                            Prefix, [&](QString *) { return committed = true; });
    ASSERT_TRUE(started) << why.toStdString();
    EXPECT_FALSE(committed);
    EXPECT_EQ(values[0].Result, TValueDeletion::TResult::Refused);
    EXPECT_TRUE(values[0].Error.contains("Close the Wine programs")) << values[0].Error.toStdString();
    ASSERT_TRUE(server.Stop());
    EXPECT_TRUE(Reg(Builder.Folder(), {{"query", "HKLM\\Software\\Escapes", "/v", "path"}}));
}

// A value checked for its data goes only while it holds what the caller saw, also when a Wine
// program changes it while the undo text is written.
TEST_F(RegistryTest, AValueCheckedForItsDataStaysWhenWineChangesIt)
{
    VASKIMO_NEED_WINE();
    QList<TValueDeletion> values(3);
    const char *const names[] = {"path", "quote", "expand"};
    const char *const seen[] = {"C:\\Program Files\\x.exe", "say \"hi\"", "%SystemRoot%\\system32"};
    for (int i = 0; i < 3; ++i) {
        values[i].Root = TRootKey::LocalMachine;
        values[i].KeyPath = QStringLiteral("Software\\Escapes");
        values[i].ValueName = QString::fromLatin1(names[i]);
        values[i].CheckData = true;
        values[i].ExpectedType = i == 2 ? 2 : 1;
        values[i].ExpectedText = QString::fromLatin1(seen[i]);
    }
    values[1].ExpectedText = QStringLiteral("an older text");
    QByteArray out;
    bool changed = false;
    TRegistry::DeleteValues(values, [&](const QList<int> &going) {
        EXPECT_EQ(going, QList<int>({0, 2}));
        return changed = Reg(Builder.Folder(), {{"add", "HKLM\\Software\\Escapes", "/v", "path", "/d", "C:\\windows", "/f"}}, &out);
    }, Prefix);
    ASSERT_TRUE(changed) << out.toStdString();
    EXPECT_EQ(values[0].Result, TValueDeletion::TResult::Changed);
    EXPECT_EQ(values[1].Result, TValueDeletion::TResult::Changed);
    EXPECT_EQ(values[2].Result, TValueDeletion::TResult::Deleted);
    ASSERT_TRUE(Reg(Builder.Folder(), {{"query", "HKLM\\Software\\Escapes"}}, &out)) << out.toStdString();
    EXPECT_TRUE(out.contains("    path    REG_SZ    C:\\windows")) << out.toStdString();
    EXPECT_TRUE(out.contains("    quote    REG_SZ    say \"hi\"")) << out.toStdString();
    EXPECT_FALSE(out.contains("expand")) << out.toStdString();
}

// A server listening where upstream Wine's would: /tmp/.wine-<uid>/server-<device>-<inode>/socket of
// the prefix folder (the numbers in hexadecimal). Its socket file and folder go with it.
struct TUpstreamServer {
    QString Socket;
    sockaddr_un Address{};
    int Fd = -1;

    // False with *why when the folder is there already or the socket cannot listen.
    bool Listen(const QString &prefix, int queue, std::string *why)
    {
        struct stat st;
        if (::stat(QFile::encodeName(prefix).constData(), &st) != 0)
            return *why = "no prefix folder", false;
        Address.sun_family = AF_UNIX;
        std::snprintf(Address.sun_path, sizeof Address.sun_path, "/tmp/.wine-%u/server-%llx-%llx/socket",
                      unsigned(::getuid()), (unsigned long long)st.st_dev, (unsigned long long)st.st_ino);
        Socket = QString::fromLatin1(Address.sun_path);
        const QString folder = QFileInfo(Socket).absolutePath();
        if (QFileInfo::exists(folder) || !QDir().mkpath(folder))
            return *why = "the server folder was there already, or cannot be made", false;
        Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (Fd < 0 || ::bind(Fd, reinterpret_cast<sockaddr *>(&Address), sizeof(Address)) != 0 || ::listen(Fd, queue) != 0)
            return *why = std::strerror(errno), false;
        return true;
    }
    void Stop()
    {
        if (Fd >= 0)
            ::close(Fd);
        Fd = -1;
    }
    ~TUpstreamServer()
    {
        Stop();
        if (!Socket.isEmpty()) {
            QFile::remove(Socket);
            QDir().rmdir(QFileInfo(Socket).absolutePath());
        }
    }
};

TEST_F(RegistryTest, AServerListeningInUpstreamWinesFolderRefusesWritesAndALeftSocketDoesNot)
{
    TUpstreamServer server;
    std::string why;
    ASSERT_TRUE(server.Listen(Builder.Folder(), 4, &why)) << why;
    TRegistry reg(TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Escapes"), false));
    ExpectEveryWriteRefused(reg, "Close the Wine programs");
    // The server is gone; its socket file stays, and nobody answers on it.
    server.Stop();
    EXPECT_TRUE(QFileInfo::exists(server.Socket));
    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("path"))) << reg.LastError().toStdString();
}

// A server that takes no connection now (stopped, or its queue full) still runs: the guard says
// so at once instead of waiting for it.
TEST_F(RegistryTest, AServerWhoseQueueIsFullIsSeenWithoutWaitingForIt)
{
    TUpstreamServer server;
    std::string why;
    ASSERT_TRUE(server.Listen(Builder.Folder(), 0, &why)) << why;
    // Clients that the server never accepts fill its queue.
    std::vector<int> clients;
    for (;;) {
        const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ASSERT_GE(client, 0);
        clients.push_back(client);
        if (::connect(client, reinterpret_cast<sockaddr *>(&server.Address), sizeof(server.Address)) != 0) {
            ASSERT_EQ(errno, EAGAIN) << std::strerror(errno);
            break;
        }
        ASSERT_LT(clients.size(), 100u);
    }
    std::promise<bool> running;
    std::future<bool> answer = running.get_future();
    std::thread asking([&] { running.set_value(Prefix->ServerRunning()); });
    const bool answered = answer.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    // A connect still waiting on the server ends when the server goes.
    server.Stop();
    asking.join();
    for (int client : clients)
        ::close(client);
    ASSERT_TRUE(answered) << "the guard waited for a server that takes no connection";
    EXPECT_TRUE(answer.get());
}

TEST(RegistryForeignFileTest, AFileThatIsNoWineHiveIsNeverRewritten)
{
    TPrefixBuilder b;
    const QByteArray foreign = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\X]\n\"a\"=\"b\"\n";
    b.SetHiveText(THive::System, foreign);
    b.MakeCurrent();
    TRegistry reg(TRootKey::LocalMachine);
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("\\Software\\New"), true));
    EXPECT_FALSE(reg.LastError().isEmpty());
    EXPECT_EQ(ReadAll(b.HivePath(THive::System)), foreign);
    // What was refused is not read back either.
    EXPECT_FALSE(reg.KeyExists(QStringLiteral("\\Software\\New")));
}

TEST(RegistryForeignFileTest, ALastLineWithoutLineEndTakesNewValuesCleanly)
{
    TPrefixBuilder b;
    b.SetHiveText(THive::User, "WINE REGISTRY Version 2\n\n[Software\\\\A] 1700000000\n\"x\"=\"1\"");
    b.MakeCurrent();
    TRegistry reg(TRootKey::CurrentUser);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\A"), false));
    reg.WriteString(QStringLiteral("y"), QStringLiteral("2"));
    TRegistry fresh(TRootKey::CurrentUser, std::make_shared<TWinePrefix>(b.Folder()));
    ASSERT_TRUE(fresh.OpenKeyReadOnly(QStringLiteral("\\Software\\A")));
    EXPECT_EQ(fresh.ReadString(QStringLiteral("x")), QStringLiteral("1"));
    EXPECT_EQ(fresh.ReadString(QStringLiteral("y")), QStringLiteral("2"));
}

TEST(RegistryForeignFileTest, AMissingHiveIsMadeInWinesFormAndAnUnsavableOneFails)
{
    TPrefixBuilder b;
    b.SetHiveText(THive::System, "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n");
    b.MakeCurrent();
    QFile::remove(b.HivePath(THive::User));
    TRegistry reg(TRootKey::CurrentUser);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\New"), true));
    reg.WriteInteger(QStringLiteral("n"), 1);
    const QByteArray made = ReadAll(b.HivePath(THive::User));
    EXPECT_TRUE(made.startsWith("WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
                                "\n#arch=win64\n\n[Software\\\\New] "))
        << made.constData();
    EXPECT_TRUE(made.endsWith("\"n\"=dword:00000001\n"));

    // A hive that cannot be saved: the write reports it and changes nothing in memory either.
    QFile::remove(b.HivePath(THive::User));
    ASSERT_TRUE(QDir().mkpath(b.HivePath(THive::User) + QStringLiteral("/blocker")));
    EXPECT_THROW(reg.WriteInteger(QStringLiteral("m"), 2), ERegistryException);
    EXPECT_FALSE(reg.LastError().isEmpty());
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("m")));
    const QStringList left = QDir(b.Folder()).entryList(QDir::Files | QDir::Hidden);
    for (const QString &f : left)
        EXPECT_TRUE(f.endsWith(QLatin1String(".reg"))) << f.toStdString();
}

// Random changes against a plain model: whatever the order of creations, writes and deletions,
// the file read afresh holds exactly the model, and reads back to the same bytes.
TEST(RegistryModelTest, RandomChangesMatchAModelAfterReloading)
{
    TPrefixBuilder b;
    b.AddString(THive::User, QStringLiteral("Software\\Keep"), QStringLiteral("k"), QStringLiteral("v"));
    b.MakeCurrent();
    QRandomGenerator rng(1234);
    const QStringList pool{QStringLiteral("a"), QStringLiteral("B"), QStringLiteral("c_"), QStringLiteral("_d")};
    std::map<QString, std::map<QString, QString>> model;  // folded key path -> folded name -> value
    model[QStringLiteral("SOFTWARE")];
    model[QStringLiteral("SOFTWARE\\KEEP")][QStringLiteral("K")] = QStringLiteral("v");
    TRegistry reg(TRootKey::CurrentUser);
    auto randomPath = [&] {
        QString p = QStringLiteral("Software");
        for (int d = 0, n = 1 + rng.bounded(3); d < n; ++d)
            p += QLatin1Char('\\') + pool[rng.bounded(pool.size())];
        return p;
    };
    auto check = [&](int step) {
        SCOPED_TRACE(step);
        auto fresh = std::make_shared<TWinePrefix>(b.Folder());
        std::map<QString, std::map<QString, QString>> seen;
        std::function<void(const QString &)> walk = [&](const QString &path) {
            TRegistry r(TRootKey::CurrentUser, fresh);
            ASSERT_TRUE(r.OpenKeyReadOnly(QStringLiteral("\\") + path));
            auto &values = seen[path.toUpper()];
            for (const QString &v : r.GetValueNames())
                values[v.toUpper()] = r.GetDataType(v) == TRegDataType::Integer ? QString::number(r.ReadInteger(v)) : r.ReadString(v);
            for (const QString &k : r.GetKeyNames())
                walk(path + QLatin1Char('\\') + k);
        };
        walk(QStringLiteral("Software"));
        EXPECT_TRUE(seen == model);
        THiveFile hive(b.HivePath(THive::User), QString());
        ASSERT_TRUE(hive.Load());
        const QByteArray disk = ReadAll(b.HivePath(THive::User));
        EXPECT_EQ(hive.SaveText(), disk);
    };
    for (int step = 0; step < 400; ++step) {
        const QString path = randomPath();
        const QString folded = path.toUpper();
        switch (rng.bounded(5)) {
        case 0:
        case 1: {
            ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\") + path, true));
            for (QString p = folded; p.contains(QLatin1Char('\\')); p = p.left(p.lastIndexOf(QLatin1Char('\\'))))
                model[p];
            const QString name = pool[rng.bounded(pool.size())];
            if (rng.bounded(2)) {
                const quint32 n = rng.generate();
                reg.WriteInteger(name, n);
                model[folded][name.toUpper()] = QString::number(n);
            } else {
                const QString text = QStringLiteral("C:\\x\\") + QString::number(step) + QChar(0xe4);
                reg.WriteString(name, text);
                model[folded][name.toUpper()] = text;
            }
            break;
        }
        case 2:
            if (reg.OpenKey(QStringLiteral("\\") + path, false)) {
                const QString name = pool[rng.bounded(pool.size())];
                EXPECT_EQ(reg.DeleteValue(name), model[folded].erase(name.toUpper()) == 1);
            }
            break;
        case 3:
            if (rng.bounded(3) == 0) {
                const bool had = model.count(folded) == 1;
                EXPECT_EQ(reg.DeleteKey(QStringLiteral("\\") + path), had);
                for (auto it = model.begin(); it != model.end();)
                    it = it->first == folded || it->first.startsWith(folded + QLatin1Char('\\')) ? model.erase(it) : std::next(it);
            }
            break;
        default:
            ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\") + path, true));
            for (QString p = folded; p.contains(QLatin1Char('\\')); p = p.left(p.lastIndexOf(QLatin1Char('\\'))))
                model[p];
        }
        if (step % 25 == 24)
            check(step);
        if (HasFatalFailure() || HasNonfatalFailure())
            return;
    }
}

TEST(RegistryNoPrefixTest, ReadsAreEmptyAndWritesNameTheFolder)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/absent");
    auto prefix = std::make_shared<TWinePrefix>(folder);
    EXPECT_FALSE(prefix->Exists());
    TRegistry reg(TRootKey::CurrentUser, prefix);
    EXPECT_FALSE(reg.OpenKeyReadOnly(QStringLiteral("\\Software")));
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("\\Software\\X"), true));
    EXPECT_TRUE(reg.LastError().contains(folder)) << reg.LastError().toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(RegistryTest, ReadOnlyAccessorsDoNotWrite)
{
    TRegistry reg(TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(QStringLiteral("\\Software\\Escapes")));
    EXPECT_THROW(reg.WriteInteger(QStringLiteral("n"), 1), ERegistryException);
    EXPECT_FALSE(reg.DeleteValue(QStringLiteral("path")));
    EXPECT_TRUE(reg.ValueExists(QStringLiteral("path")));
}

TEST_F(RegistryTest, ConcurrentReadersSeeTheWholeTree)
{
    std::function<int(TRegistry &)> walk = [&](TRegistry &reg) {
        int values = 0;
        const QString here = reg.CurrentPath();
        for (const QString &v : reg.GetValueNames()) {
            if (reg.GetDataType(v) == TRegDataType::String)
                reg.ReadString(v);
            ++values;
        }
        for (const QString &name : reg.GetKeyNames()) {
            if (reg.OpenKeyReadOnly(name))
                values += walk(reg);
            reg.OpenKeyReadOnly(QStringLiteral("\\") + (here.startsWith(QLatin1Char('\\')) ? here.mid(1) : here));
        }
        return values;
    };
    TRegistry one(TRootKey::LocalMachine);
    ASSERT_TRUE(one.OpenKeyReadOnly(QStringLiteral("\\")));
    const int expected = walk(one);
    EXPECT_GT(expected, 15);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int round = 0; round < 50; ++round) {
                TRegistry reg(TRootKey::LocalMachine);
                reg.OpenKeyReadOnly(QStringLiteral("\\"));
                if (walk(reg) != expected)
                    ++wrong;
            }
        });
    // A writer in another hive at the same time.
    TRegistry writer(TRootKey::CurrentUser);
    ASSERT_TRUE(writer.OpenKey(QStringLiteral("\\Software\\Busy"), true));
    for (int i = 0; i < 20; ++i)
        writer.WriteInteger(QStringLiteral("n"), quint32(i));
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}
