// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the current language file and the message lookup.
#include "shell/IniLang.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

class IniLangTest : public ::testing::Test
{
protected:
    QTemporaryDir FDir;

    void SetUp() override { ASSERT_TRUE(QDir(FDir.path()).mkpath(QStringLiteral("Languages"))); }
    void TearDown() override { CloseLanguageFile(); }

    void WriteLanguage(const QString &name, const QByteArray &text)
    {
        QFile f(FDir.filePath(QStringLiteral("Languages/") + name + QStringLiteral(".txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
};

TEST_F(IniLangTest, NoFileGivesTheEnglishTexts)
{
    EXPECT_EQ(LanguageFile(), nullptr);
    EXPECT_EQ(LangMessage(QStringLiteral("M052RI"), QStringLiteral("English")), QStringLiteral("English"));
    EXPECT_FALSE(OpenLanguageFile(FDir.path(), QStringLiteral("Missing")));
    EXPECT_EQ(LangMessage(QStringLiteral("M052RI"), QStringLiteral("English")), QStringLiteral("English"));
}

TEST_F(IniLangTest, MessagesFromMisc)
{
    WriteLanguage(QStringLiteral("Suomi"),
                  "[PaaIkkuna]\r\n"
                  "M002MF=not a message section\r\n"
                  "[misc]\r\n"
                  "M052RI=\r\n"
                  "M001MF=_!#Not Existing#!_\r\n"
                  "M003MF=Hei\r\n"
                  "M004MF=a*|*b\r\n"
                  "M005MF=*|*b\r\n"
                  "M006MF=a*|**|*b\r\n"
                  "M007MF=*|**|*b\r\n"
                  "M008MF=a*|*\r\n"
                  "M009MF=%d of %d*|*done\r\n"
                  "m010mf=lower-case key\r\n"
                  "M011MF=P\xe4iv\xe4\r\n");
    ASSERT_TRUE(OpenLanguageFile(FDir.path(), QStringLiteral("Suomi")));
    ASSERT_NE(LanguageFile(), nullptr);
    const struct {
        const char *name;
        const char *id;
        QString expected;
    } cases[] = {
        {"empty value is empty", "M052RI", QString()},
        {"the marker gives English", "M001MF", QStringLiteral("English")},
        {"missing key gives English", "M099MF", QStringLiteral("English")},
        {"other section is not Misc", "M002MF", QStringLiteral("English")},
        {"plain value", "M003MF", QStringLiteral("Hei")},
        {"line break", "M004MF", QStringLiteral("a\r\nb")},
        {"leading break", "M005MF", QStringLiteral("\r\nb")},
        {"empty piece inside", "M006MF", QStringLiteral("a\r\n\r\nb")},
        {"empty pieces first are dropped", "M007MF", QStringLiteral("\r\nb")},
        {"trailing break", "M008MF", QStringLiteral("a\r\n")},
        {"placeholders kept", "M009MF", QStringLiteral("%d of %d\r\ndone")},
        {"key ignores case", "M010MF", QStringLiteral("lower-case key")},
        {"8-bit text", "M011MF", QStringLiteral("P\u00e4iv\u00e4")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LangMessage(QString::fromLatin1(c.id), QStringLiteral("English")), c.expected);
    }
}

TEST_F(IniLangTest, EachOpeningReplacesTheCurrentFile)
{
    WriteLanguage(QStringLiteral("A"), "[Misc]\r\nM001MF=from A\r\n");
    WriteLanguage(QStringLiteral("B"), "[Misc]\r\nM001MF=from B\r\n");
    ASSERT_TRUE(OpenLanguageFile(FDir.path(), QStringLiteral("A")));
    EXPECT_EQ(LangMessage(QStringLiteral("M001MF"), QStringLiteral("E")), QStringLiteral("from A"));
    ASSERT_TRUE(OpenLanguageFile(FDir.path() + u'/', QStringLiteral("B")));
    EXPECT_EQ(LangMessage(QStringLiteral("M001MF"), QStringLiteral("E")), QStringLiteral("from B"));
    EXPECT_FALSE(OpenLanguageFile(FDir.path(), QStringLiteral("Default (English)")));
    EXPECT_EQ(LangMessage(QStringLiteral("M001MF"), QStringLiteral("E")), QStringLiteral("E"));
}

TEST_F(IniLangTest, FileNamesMatchIgnoringCase)
{
    ASSERT_TRUE(QDir(FDir.path()).rename(QStringLiteral("Languages"), QStringLiteral("LANGUAGES")));
    QFile f(FDir.filePath(QStringLiteral("LANGUAGES/suomi.TXT")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Misc]\r\nM001MF=Suomeksi\r\n");
    f.close();
    ASSERT_TRUE(OpenLanguageFile(FDir.path(), QStringLiteral("Suomi")));
    EXPECT_EQ(LangMessage(QStringLiteral("M001MF"), QStringLiteral("E")), QStringLiteral("Suomeksi"));
}

TEST_F(IniLangTest, TheLanguageNamesAFileInLanguagesOnly)
{
    QFile outside(FDir.filePath(QStringLiteral("Secret.txt")));
    ASSERT_TRUE(outside.open(QIODevice::WriteOnly));
    outside.write("[Misc]\r\nM001MF=outside\r\n");
    outside.close();
    for (const char *name : {"../Secret", "..\\Secret", "", ".."}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(OpenLanguageFile(FDir.path(), QString::fromLatin1(name)));
        EXPECT_EQ(LanguageFile(), nullptr);
    }
    ASSERT_TRUE(QDir(FDir.path()).mkpath(QStringLiteral("Languages/Folder.txt")));
    EXPECT_FALSE(OpenLanguageFile(FDir.path(), QStringLiteral("Folder")));
}

}  // namespace
