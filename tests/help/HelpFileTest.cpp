// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the shipped help file read back by Debian's libchm tools, the CHM writer's large listings, and vkchm's refusals.
#include "HelpTopics.h"
#include "help/ChmFile.h"
#include "help/ChmWriter.h"
#include "support/RunProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using TestSupport::HelpTopics;
using TestSupport::RunToEnd;

namespace {

const QString HelpFile = QStringLiteral(VASKIMO_HELP_FILE);
const QString HelpSource = QStringLiteral(HELP_SOURCE);

QByteArray Content(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Every file under a folder by its path there ("sub/a.htm").
QMap<QString, QByteArray> FilesUnder(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), Content(path));
    }
    return files;
}

// extract_chmLib (libchm-bin) writes every object of the archive into a folder.
bool Extract(const QString &chm, const QString &folder, QByteArray *out)
{
    QDir().mkpath(folder);
    return RunToEnd(QStringLiteral("extract_chmLib"), {chm, folder}, QProcessEnvironment::systemEnvironment(), 60000, out);
}

quint32 Le32(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }
quint16 Le16(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); }

TEST(ShippedHelp, LiesBesideTheProgramWhereTheMainWindowLooks)
{
    EXPECT_EQ(HelpFile, QFileInfo(QStringLiteral(VASKIMO_EXE)).path() + QStringLiteral("/Helps/VKEnglish.chm"));
    EXPECT_TRUE(QFileInfo(HelpFile).isFile());
}

TEST(ShippedHelp, LibchmReadsEveryPageBackAsWritten)
{
    QTemporaryDir dir;
    QByteArray out;
    ASSERT_TRUE(Extract(HelpFile, dir.path(), &out)) << out.constData();
    QMap<QString, QByteArray> extracted = FilesUnder(dir.path());
    for (const char *special : {"#SYSTEM", "#IVB", "#STRINGS"})
        EXPECT_TRUE(extracted.remove(QLatin1String(special))) << special;
    const QMap<QString, QByteArray> source = FilesUnder(HelpSource);
    EXPECT_EQ(extracted.keys(), source.keys());
    for (auto it = source.begin(); it != source.end(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_EQ(extracted.value(it.key()), it.value());
    }
    // One page per window, the command line and the undo files.
    for (const char *page : {"batch.htm", "undofiles.htm"})
        EXPECT_TRUE(source.contains(QLatin1String(page))) << page;
    for (const auto &topic : HelpTopics)
        EXPECT_TRUE(source.contains(QLatin1String(topic.Page))) << topic.Page;
}

TEST(ShippedHelp, ContextMapAndProjectDataAsLibchmReadsThem)
{
    QTemporaryDir dir;
    QByteArray out;
    ASSERT_TRUE(Extract(HelpFile, dir.path(), &out)) << out.constData();

    // #IVB: a byte count, then (context, offset into #STRINGS) pairs; #STRINGS: NUL-ended names.
    const QByteArray ivb = Content(dir.filePath("#IVB"));
    const QByteArray strings = Content(dir.filePath("#STRINGS"));
    ASSERT_GE(ivb.size(), 4);
    ASSERT_EQ(Le32(ivb, 0), quint32(ivb.size() - 4));
    QMap<quint32, QString> contexts;
    for (qsizetype at = 4; at + 8 <= ivb.size(); at += 8) {
        const quint32 offset = Le32(ivb, at + 4);
        ASSERT_LT(qsizetype(offset), strings.size());
        contexts.insert(Le32(ivb, at), QString::fromUtf8(strings.constData() + offset));
    }
    QMap<quint32, QString> expected;
    for (const auto &topic : HelpTopics)
        if (topic.Context != 0)
            expected.insert(topic.Context, QLatin1String(topic.Page));
    EXPECT_EQ(contexts, expected);

    // #SYSTEM: a version, then (code, length, data) entries.
    const QByteArray system = Content(dir.filePath("#SYSTEM"));
    QMap<quint16, QByteArray> entries;
    for (qsizetype at = 4; at + 4 <= system.size();) {
        const quint16 code = Le16(system, at), length = Le16(system, at + 2);
        entries.insert(code, system.mid(at + 4, length));
        at += 4 + length;
    }
    EXPECT_EQ(entries.value(0), QByteArray("contents.hhc", 13));
    EXPECT_EQ(entries.value(2), QByteArray("index.htm", 10));
    EXPECT_EQ(entries.value(3), QByteArray("Vaskimo Help", 13));
}

// Beyond one 4 KiB listing chunk the writer spreads the names over several, indexed by a PMGI
// chunk; libchm finds each name through that index.
TEST(ChmWriter, ManyFilesSpreadOverListingChunksReadBack)
{
    TChmWriter writer;
    QMap<QString, QByteArray> files;
    for (int i = 0; i < 700; ++i) {
        const QString name = QStringLiteral("/Section-%1/Page-with-a-rather-long-name-%2.htm").arg(i % 7).arg(i, 4, 10, QLatin1Char('0'));
        files.insert(name, QByteArray("page ") + QByteArray::number(i));
        writer.Add(name, files.value(name));
    }
    writer.Add(QStringLiteral("/a.htm"), "lower a").Add(QStringLiteral("/B.htm"), "upper B").Add(QStringLiteral("/c.htm"), "lower c");
    files.insert(QStringLiteral("/a.htm"), "lower a");
    files.insert(QStringLiteral("/B.htm"), "upper B");
    files.insert(QStringLiteral("/c.htm"), "lower c");
    QTemporaryDir dir;
    const QString chm = dir.filePath(QStringLiteral("big.chm"));
    ASSERT_TRUE(writer.Save(chm));
    EXPECT_GT(QFileInfo(chm).size(), 0x1000 * 10) << "more than one listing chunk";

    QByteArray listing;
    ASSERT_TRUE(RunToEnd(QStringLiteral("enum_chmLib"), {chm}, QProcessEnvironment::systemEnvironment(), 60000, &listing));
    QByteArray out;
    ASSERT_TRUE(Extract(chm, dir.filePath(QStringLiteral("out")), &out)) << out.left(2000).constData();
    const TChmFile reader(chm);
    ASSERT_TRUE(reader.IsOpen());
    for (auto it = files.begin(); it != files.end(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_TRUE(listing.contains(it.key().toUtf8() + '\n'));
        EXPECT_EQ(Content(dir.filePath(QStringLiteral("out")) + it.key()), it.value());
        EXPECT_EQ(reader.Read(it.key()).value_or("<missing>"), it.value());
    }
}

TEST(ChmWriter, NamesThatFitNoListingChunkGiveNoFile)
{
    TChmWriter writer;
    writer.Add(u'/' + QString(5000, u'x'), "too long a name");
    EXPECT_TRUE(writer.Build().isEmpty());
    QTemporaryDir dir;
    QString why;
    EXPECT_FALSE(writer.Save(dir.filePath(QStringLiteral("none.chm")), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("none.chm"))));
}

// vkchm, as the build runs it: help that would not work stops the build and says why.
TEST(Vkchm, RefusesHelpThatWouldNotWorkAndSaysWhy)
{
    struct TRow {
        const char *name;
        QMap<QString, QByteArray> files;
        QByteArray map;
        const char *message;  // empty: compiled
    };
    const QByteArray page = "<html><body><a href=\"b.htm#top\">b</a> <a href=\"http://example.org/\">web</a></body></html>";
    const TRow rows[] = {
        {"compiles", {{"a.htm", page}, {"b.htm", "<p>b</p>"}}, "# windows\n13 b.htm\n5 a.htm\n", ""},
        {"mapped topic missing", {{"a.htm", page}, {"b.htm", "b"}}, "13 c.htm\n", "map:1: topic c.htm is no file of the help"},
        {"context mapped twice", {{"a.htm", page}, {"b.htm", "b"}}, "13 a.htm\n13 b.htm\n", "map:2: context 13 is mapped twice"},
        {"not a map line", {{"a.htm", page}, {"b.htm", "b"}}, "thirteen a.htm\n", "map:1: \"thirteen a.htm\" is not \"NUMBER TOPIC\""},
        {"broken link", {{"a.htm", page}}, "", "a.htm: the link \"b.htm\" names no file of the help"},
        {"default topic missing", {{"b.htm", "b"}}, "", "--default a.htm is no file of the help"},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString pages = dir.filePath(QStringLiteral("pages"));
        QDir().mkpath(pages);
        for (auto it = row.files.begin(); it != row.files.end(); ++it) {
            QFile f(pages + u'/' + it.key());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(it.value());
        }
        QFile map(dir.filePath(QStringLiteral("map")));
        ASSERT_TRUE(map.open(QIODevice::WriteOnly));
        map.write(row.map);
        map.close();
        const QString chm = dir.filePath(QStringLiteral("out.chm"));
        QByteArray out;
        const bool compiled = RunToEnd(QStringLiteral(VKCHM_EXE),
                                       {"--title", "T", "--default", "a.htm", "--map", map.fileName(), "--output", chm, pages},
                                       QProcessEnvironment::systemEnvironment(), 60000, &out);
        if (!*row.message) {
            ASSERT_TRUE(compiled) << out.constData();
            const TChmFile reader(chm);
            EXPECT_EQ(reader.ContextTopic(13), QStringLiteral("/b.htm"));
            EXPECT_EQ(reader.ContextTopic(5), QStringLiteral("/a.htm"));
            EXPECT_EQ(reader.DefaultTopic(), QStringLiteral("/a.htm"));
            continue;
        }
        EXPECT_FALSE(compiled);
        EXPECT_TRUE(out.contains(row.message)) << out.constData();
        EXPECT_FALSE(QFile::exists(chm)) << "no file is left behind";
    }
}

} // namespace
