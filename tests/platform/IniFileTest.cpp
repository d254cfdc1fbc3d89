// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the INI engine: byte-faithful round trips, profile-style edits, reads, atomic saves.
#include "platform/IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    QString Path(const QString &name = QStringLiteral("Options.ini")) const { return FDir.filePath(name); }
    void Write(const QByteArray &bytes, const QString &name = QStringLiteral("Options.ini")) const
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray Read(const QString &name = QStringLiteral("Options.ini")) const
    {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir FDir;
};

const QByteArray kOptions =
    "; Vaskimo settings\r\n"
    "[general]\r\n"
    "Width=561\r\n"
    "  Height = 529  \r\n"
    "My own key=kept\r\n"
    "\r\n"
    "; proxy below\r\n"
    "[Update]\r\n"
    "Proxy server=proxy.example\r\n"
    "Custom directories=\"C:\\a b\\\",\"D:\\\"\r\n";

TEST_F(IniFileTest, ReadsIgnoringCaseAndTrimming)
{
    Write(kOptions);
    TIniFile ini(Path());
    EXPECT_TRUE(ini.ErrorString().isEmpty());
    EXPECT_EQ(ini.ReadInteger("General", "WIDTH", 0), 561);
    EXPECT_EQ(ini.ReadString("GENERAL", "height", ""), "529");
    EXPECT_EQ(ini.ReadString("update", "Custom directories", ""), "\"C:\\a b\\\",\"D:\\\"");
    EXPECT_EQ(ini.ReadString("General", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("Nowhere", "Width", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadSections(), QStringList({"general", "Update"}));
    EXPECT_EQ(ini.ReadSection("GENERAL"), QStringList({"Width", "Height", "My own key"}));
    EXPECT_TRUE(ini.SectionExists("UPDATE"));
    EXPECT_FALSE(ini.SectionExists("Registry"));
    EXPECT_TRUE(ini.ValueExists("general", "my own key"));
    EXPECT_FALSE(ini.ValueExists("general", "Proxy server"));
}

TEST_F(IniFileTest, UpdatingAKeyKeepsEveryOtherByte)
{
    Write(kOptions);
    TIniFile ini(Path());
    ini.WriteInteger("GENERAL", "height", 600);
    ini.WriteString("Update", "Proxy server", "other.example");
    ASSERT_TRUE(ini.UpdateFile()) << ini.ErrorString().toStdString();
    QByteArray expected = kOptions;
    expected.replace("  Height = 529  ", "  Height = 600");
    expected.replace("Proxy server=proxy.example", "Proxy server=other.example");
    EXPECT_EQ(Read(), expected);
}

TEST_F(IniFileTest, NewKeysGoToTheirSectionInOrderAndNewSectionsToTheEnd)
{
    Write(kOptions);
    TIniFile ini(Path());
    ini.WriteBool("General", "Show splashscreen", true);
    ini.WriteBool("General", "Hide to tray", false);
    ini.WriteString("Registry", "Save undo files to", "C:\\Undo\\");
    ini.WriteInteger("Registry", "Undo levels", 10);
    ini.WriteString("UPDATE", "Use proxy", "1");
    ASSERT_TRUE(ini.UpdateFile());
    const QByteArray expected =
        "; Vaskimo settings\r\n"
        "[general]\r\n"
        "Width=561\r\n"
        "  Height = 529  \r\n"
        "My own key=kept\r\n"
        "Show splashscreen=1\r\n"
        "Hide to tray=0\r\n"
        "\r\n"
        "; proxy below\r\n"
        "[Update]\r\n"
        "Proxy server=proxy.example\r\n"
        "Custom directories=\"C:\\a b\\\",\"D:\\\"\r\n"
        "Use proxy=1\r\n"
        "\r\n"
        "[Registry]\r\n"
        "Save undo files to=C:\\Undo\\\r\n"
        "Undo levels=10\r\n";
    EXPECT_EQ(Read(), expected);
}

TEST_F(IniFileTest, KeepsLineEndsAndGivesALastLineAnEndWhenLinesFollowIt)
{
    Write("[A]\nx=1\ny=2");
    {
        TIniFile ini(Path());
        ini.WriteString("A", "y", "3");
        ASSERT_TRUE(ini.UpdateFile());
    }
    EXPECT_EQ(Read(), "[A]\nx=1\ny=3");
    {
        TIniFile ini(Path());
        ini.WriteString("A", "z", "4");
        ASSERT_TRUE(ini.UpdateFile());
    }
    EXPECT_EQ(Read(), "[A]\nx=1\ny=3\r\nz=4\r\n");
}

TEST_F(IniFileTest, MissingFileIsEmptyAndCreatedByTheFirstSave)
{
    TIniFile ini(Path());
    EXPECT_TRUE(ini.ErrorString().isEmpty());
    EXPECT_TRUE(ini.ReadSections().isEmpty());
    EXPECT_EQ(ini.ReadInteger("General", "Language index", -69), -69);
    ini.WriteInteger("General", "Language index", 2);
    ini.WriteString("General", "Language", "Suomi");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(Read(), "[General]\r\nLanguage index=2\r\nLanguage=Suomi\r\n");
}

TEST_F(IniFileTest, DeleteKeyAndEraseSection)
{
    Write("[A]\r\nk=1\r\nK=2\r\nother=3\r\n[B]\r\n; note\r\nb=1\r\n[a]\r\nk=9\r\n");
    TIniFile ini(Path());
    ini.DeleteKey("a", "K");
    EXPECT_FALSE(ini.ValueExists("A", "k"));  // no duplicate comes to light later
    EXPECT_EQ(ini.ReadString("A", "other", ""), "3");
    ini.EraseSection("b");
    EXPECT_FALSE(ini.SectionExists("B"));
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(Read(), "[A]\r\nother=3\r\n[a]\r\n");
}

const struct {
    const char *name;
    const char *value;
    int expected;
} integerCases[] = {
    {"decimal", "42", 42},
    {"negative", "-69", -69},
    {"plus sign", "+7", 7},
    {"dollar hex", "$1F", 31},
    {"0x hex", "0x1f", 31},
    {"all bits hex", "$FFFFFFFF", -1},
    {"empty", "", 5},
    {"text", "abc", 5},
    {"trailing garbage", "12a", 5},
    {"inner blank", "1 2", 5},
    {"too large", "2147483648", 5},
    {"smallest", "-2147483648", INT32_MIN},
    {"hex too large", "$100000000", 5},
    {"sign only", "-", 5},
};

TEST_F(IniFileTest, ReadsIntegersAndBooleansAsTheClassLibraryDid)
{
    QByteArray text = "[N]\r\n";
    for (const auto &c : integerCases)
        text += QByteArray(c.name) + "=" + c.value + "\r\n";
    text += "t=2\r\nf=0\r\nbad=yes\r\n";
    Write(text);
    TIniFile ini(Path());
    for (const auto &c : integerCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ini.ReadInteger("N", c.name, 5), c.expected);
    }
    EXPECT_TRUE(ini.ReadBool("N", "t", false));
    EXPECT_FALSE(ini.ReadBool("N", "f", true));
    EXPECT_TRUE(ini.ReadBool("N", "bad", true));
    EXPECT_FALSE(ini.ReadBool("N", "missing", false));
}

TEST_F(IniFileTest, ValueIsOneLineSoNoWriteCanAddSections)
{
    TIniFile ini(Path());
    ini.WriteString("General", "Language", "x\r\n[Update]\r\nProxy server=evil");
    ASSERT_TRUE(ini.UpdateFile());
    TIniFile again(Path());
    EXPECT_FALSE(again.SectionExists("Update"));
    EXPECT_EQ(again.ReadString("General", "Language", ""), "x  [Update]  Proxy server=evil");
}

TEST_F(IniFileTest, EightBitTextIsInTheCodePageAndUntouchedLinesKeepTheirBytes)
{
    Write("[General]\r\nLanguage=Fran\xE7" "ais\r\nOdd=\x81\x8D\r\n");
    TIniFile ini(Path(), 1252);
    EXPECT_EQ(ini.ReadString("General", "Language", ""), QString::fromUtf8("Français"));
    ini.WriteString("General", "Font name", QString::fromUtf8("Sämpl"));
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(Read(), "[General]\r\nLanguage=Fran\xE7" "ais\r\nOdd=\x81\x8D\r\nFont name=S\xE4mpl\r\n");

    Write("[General]\r\nLanguage=\xD0\xF3\xF1\xF1\xEA\xE8\xE9\r\n", "cyrillic.ini");
    TIniFile cyrillic(Path("cyrillic.ini"), 1251);
    EXPECT_EQ(cyrillic.ReadString("General", "Language", ""), QString::fromUtf8("Русский"));
    cyrillic.WriteString("General", "Language", QString::fromUtf8("Ру"));
    ASSERT_TRUE(cyrillic.UpdateFile());
    EXPECT_EQ(Read("cyrillic.ini"), "[General]\r\nLanguage=\xD0\xF3\r\n");
}

TEST_F(IniFileTest, ByteOrderMarkFilesStayInTheirForm)
{
    Write("\xEF\xBB\xBF[Misc]\r\nM1=\xC3\xA4\r\n", "utf8.txt");
    TIniFile ini(Path("utf8.txt"));
    EXPECT_EQ(ini.ReadString("misc", "m1", ""), QString::fromUtf8("ä"));
    ini.WriteString("Misc", "M2", QString::fromUtf8("Ω"));
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(Read("utf8.txt"), "\xEF\xBB\xBF[Misc]\r\nM1=\xC3\xA4\r\nM2=\xCE\xA9\r\n");

    Write(QByteArray("\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0\xA9\x03", 18), "utf16.txt");
    TIniFile wide(Path("utf16.txt"));
    EXPECT_EQ(wide.ReadString("a", "K", ""), QString::fromUtf8("Ω"));
}

// Bytes that are no text of the file's encoding stay as they were; what a write adds is whole text.
TEST_F(IniFileTest, ByteOrderMarkFilesKeepBytesThatAreNoText)
{
    const struct {
        const char *name;
        QByteArray before, after;
    } cases[] = {
        {"UTF-8 line that is no UTF-8", "\xEF\xBB\xBF[Misc]\r\nM1=caf\xE9\r\n",
         "\xEF\xBB\xBF[Misc]\r\nM1=caf\xE9\r\nM2=x\r\n"},
        {"UTF-16 lone surrogate", QByteArray("\xFF\xFE[\0M\0i\0s\0c\0]\0\r\0\n\0k\0=\0\x00\xD8\r\0\n\0", 28),
         QByteArray("\xFF\xFE[\0M\0i\0s\0c\0]\0\r\0\n\0k\0=\0\x00\xD8\r\0\n\0M\0002\0=\0x\0\r\0\n\0", 40)},
        {"UTF-16 with an odd last byte", QByteArray("\xFF\xFE[\0M\0i\0s\0c\0]\0\r\0\n\0k\0=\0a\0!", 25),
         QByteArray("\xFF\xFE[\0M\0i\0s\0c\0]\0\r\0\n\0k\0=\0a\0\r\0\n\0M\0002\0=\0x\0\r\0\n\0!", 41)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.before, "odd.txt");
        TIniFile unchanged(Path("odd.txt"));
        QByteArray bytes;
        ASSERT_TRUE(unchanged.ToBytes(&bytes));
        EXPECT_EQ(bytes, c.before);
        TIniFile ini(Path("odd.txt"));
        ini.WriteString("Misc", "M2", "x");
        ASSERT_TRUE(ini.UpdateFile());
        EXPECT_EQ(Read("odd.txt"), c.after);
        EXPECT_EQ(TIniFile(Path("odd.txt")).ReadString("Misc", "M2", ""), "x");
    }
}

TEST_F(IniFileTest, SaveFailuresAreReportedAndUnencodableTextRefused)
{
    TIniFile missingFolder(FDir.filePath("no/such/folder/Options.ini"));
    missingFolder.WriteString("General", "a", "1");
    EXPECT_FALSE(missingFolder.UpdateFile());
    EXPECT_FALSE(missingFolder.ErrorString().isEmpty());

    Write("[General]\r\na=1\r\n");
    TIniFile ini(Path(), 1252);
    ini.WriteString("General", "b", QString::fromUtf8("日本"));
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_FALSE(ini.ErrorString().isEmpty());
    EXPECT_EQ(Read(), "[General]\r\na=1\r\n");  // the old file is untouched
}

TEST_F(IniFileTest, OwnerOnlyFilesAreWrittenWithMode0600)
{
    Write("[Update]\r\n");
    ASSERT_TRUE(QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                                  | QFileDevice::ReadOther));
    TIniFile ini(Path());
    ini.SetOwnerOnly(true);
    ini.WriteString("Update", "Proxy password", "secret");
    ASSERT_TRUE(ini.UpdateFile());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The same bytes in a file that others may read are written again, as the owner's alone.
    ASSERT_TRUE(QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    TIniFile again(Path());
    again.SetOwnerOnly(true);
    ASSERT_TRUE(again.UpdateFile());
    ASSERT_EQ(::stat(QFile::encodeName(Path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(IniFileTest, ASaveThatChangesNothingLeavesTheFileAsItWas)
{
    Write(kOptions);
    const auto inode = [this] {
        struct stat st {};
        return ::stat(QFile::encodeName(Path()).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    const ino_t before = inode();
    TIniFile ini(Path());
    ini.WriteString("general", "Width", "561");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(Read(), kOptions);
    ini.WriteString("general", "Width", "562");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_NE(inode(), before);
    EXPECT_TRUE(Read().contains("Width=562"));
}

}  // namespace
