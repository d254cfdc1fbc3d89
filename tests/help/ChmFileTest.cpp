// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the CHM reader over files the test writer makes: objects, default topic, context map, damaged files.
#include "ChmBuilder.h"
#include "help/ChmFile.h"
#include "support/RunProcess.h"

#include <QDir>
#include <QScopeGuard>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

using TestSupport::TChmBuilder;

class ChmFileTest : public ::testing::Test
{
protected:
    QString Write(const TChmBuilder &builder, const QString &name = QStringLiteral("VKEnglish.chm"))
    {
        const QString path = FDir.filePath(name);
        EXPECT_TRUE(builder.Save(path));
        return path;
    }
    QTemporaryDir FDir;
};

TEST_F(ChmFileTest, ReadsPagesPicturesAndTheProjectData)
{
    TChmFile chm(Write(TChmBuilder::Sample()));
    ASSERT_TRUE(chm.IsOpen());
    EXPECT_EQ(chm.Title(), QStringLiteral("Vaskimo Help"));
    EXPECT_EQ(chm.DefaultTopic(), QStringLiteral("/index.htm"));
    const auto page = chm.Read(QStringLiteral("undo.htm"));
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(*page, QByteArray("<html><body><p>Undo files</p></body></html>"));
    const auto png = chm.Read(QStringLiteral("/pictures/dot.png"));
    ASSERT_TRUE(png.has_value());
    EXPECT_TRUE(png->startsWith("\x89PNG"));
    EXPECT_TRUE(chm.Objects().contains(QStringLiteral("/tools/registry.htm")));
    EXPECT_FALSE(chm.Read(QStringLiteral("/missing.htm")).has_value());
}

TEST_F(ChmFileTest, ContextNumbersMapToTopics)
{
    TChmFile chm(Write(TChmBuilder::Sample()));
    ASSERT_TRUE(chm.IsOpen());
    struct TRow { const char *name; quint32 context; const char *topic; };
    const TRow rows[] = {
        {"mapped in a folder", 13, "/tools/registry.htm"},
        {"mapped", 17, "/undo.htm"},
        {"unmapped", 0, ""},
        {"unmapped high", 0xFFFFFFFF, ""},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(chm.ContextTopic(row.context), QString::fromLatin1(row.topic));
    }
}

TEST_F(ChmFileTest, ManyFilesStillListInOneChunk)
{
    TChmBuilder b;
    for (int i = 0; i < 40; ++i)
        b.Add(QStringLiteral("/p%1.htm").arg(i, 2, 10, QLatin1Char('0')), QByteArray::number(i));
    TChmFile chm(Write(b));
    ASSERT_TRUE(chm.IsOpen());
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE(i);
        const auto data = chm.Read(QStringLiteral("/p%1.htm").arg(i, 2, 10, QLatin1Char('0')));
        ASSERT_TRUE(data.has_value());
        EXPECT_EQ(*data, QByteArray::number(i));
    }
    // No #SYSTEM: the first page is the default topic.
    EXPECT_EQ(chm.DefaultTopic(), QStringLiteral("/p00.htm"));
}

TEST_F(ChmFileTest, MissingAndDamagedFilesDoNotOpenOrMapNothing)
{
    EXPECT_FALSE(TChmFile(FDir.filePath(QStringLiteral("none.chm"))).IsOpen());
    EXPECT_FALSE(TChmFile(QString()).IsOpen());
    // A pipe would keep the reader waiting for a writer.
    const QString pipe = FDir.filePath(QStringLiteral("pipe.chm"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(TChmFile(pipe).IsOpen());

    const QByteArray good = TChmBuilder::Sample().Build();
    struct TRow { const char *name; QByteArray bytes; };
    const TRow rows[] = {
        {"empty", QByteArray()},
        {"text", QByteArray("this is not a help file")},
        {"header only", good.left(0x60)},
        {"cut in the directory", good.left(0x200)},
        {"cut in the content", good.left(good.size() - 40)},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = FDir.filePath(QStringLiteral("broken.chm"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(row.bytes);
        f.close();
        TChmFile chm(path);
        if (chm.IsOpen()) {
            // Whatever opens must still answer without reading past its data.
            chm.Read(QStringLiteral("/pictures/dot.png"));
            chm.ContextTopic(13);
            chm.DefaultTopic();
        }
    }
}

// Hand-made files (kept with the fuzz corpus) that made libchm loop for ever, allocate 4 GiB or
// more, divide by zero or write past a buffer: none of them opens. Their sound siblings, with an
// index chunk and a compressed section, still do.
TEST(ChmHostileFileTest, FilesThatWouldStopTheProgramAreNotOpened)
{
    const QString folder = QStringLiteral(VASKIMO_FIXTURES "/../fuzz/corpus/chm/");
    const struct {
        const char *name;
        bool opens;
    } files[] = {
        {"listing-chunk-names-itself-next.chm", false},
        {"index-chunk-names-itself.chm", false},
        {"chunk-size-of-4-gib.chm", false},
        {"reset-table-block-length-of-4-gib.chm", false},
        {"reset-table-block-length-of-1-tib.chm", false},
        {"lzx-window-of-zero.chm", false},
        {"lzx-control-data-of-unknown-version.chm", false},
        // libchm divides by the blocks between resets, and reads a block into a buffer its own size
        // and 6144 bytes: its own extract_chmLib dies on each of these.
        {"lzx-windows-per-reset-of-zero.chm", false},
        {"lzx-blocks-per-reset-wrap-to-zero.chm", false},
        {"lzx-control-data-listed-twice-in-other-case.chm", false},
        {"lzx-control-data-name-ending-in-nul.chm", false},
        {"lzx-block-longer-than-libchm-reads.chm", false},
        {"index-chunk.chm", true},
        {"compressed-section.chm", true},
    };
    for (const auto &f : files) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(QFile::exists(folder + QLatin1String(f.name)));
        TChmFile chm(folder + QLatin1String(f.name));
        EXPECT_EQ(chm.IsOpen(), f.opens);
        if (f.opens) {
            EXPECT_EQ(chm.Title(), QStringLiteral("T"));
            EXPECT_TRUE(chm.Objects().contains(QStringLiteral("/c.htm")));
        }
    }

    // A page whose name is no UTF-8 cannot be looked up: it is no default topic.
    TChmFile odd(folder + QStringLiteral("default-page-whose-name-is-no-utf8.chm"));
    ASSERT_TRUE(odd.IsOpen());
    EXPECT_EQ(odd.Objects().size(), 1);
    EXPECT_EQ(odd.DefaultTopic(), QString());
}

TEST_F(ChmFileTest, ContextMapWithOffsetsPastTheStringsIsIgnored)
{
    TChmBuilder b;
    b.Add(QStringLiteral("/a.htm"), "a");
    QByteArray ivb("\x10\x00\x00\x00" "\x01\x00\x00\x00" "\x01\x00\x00\x00" "\x02\x00\x00\x00" "\xFF\xFF\x00\x00", 20);
    b.Add(QStringLiteral("/#IVB"), ivb);
    b.Add(QStringLiteral("/#STRINGS"), QByteArray("\0a.htm", 6));  // no closing NUL
    TChmFile chm(Write(b));
    ASSERT_TRUE(chm.IsOpen());
    EXPECT_EQ(chm.ContextTopic(1), QStringLiteral("/a.htm"));
    EXPECT_EQ(chm.ContextTopic(2), QString());
}

// Every help file of the fuzz corpus that opens reads as Debian's extract_chmLib reads it: each
// object this reader lists is the file extract_chmLib writes for it, byte for byte, and one that
// cannot be read is one that extract_chmLib calls incomplete.
TEST(ChmHostileFileTest, WhatOpensReadsAsExtractChmLibReadsIt)
{
    const QDir corpus(QStringLiteral(VASKIMO_FIXTURES "/../fuzz/corpus/chm"));
    int compared = 0;
    for (const QString &name : corpus.entryList(QDir::Files, QDir::Name)) {
        SCOPED_TRACE(name.toStdString());
        TChmFile chm(corpus.filePath(name));
        if (!chm.IsOpen())
            continue;
        QTemporaryDir out;
        ASSERT_TRUE(out.isValid());
        QByteArray printed;
        ASSERT_TRUE(TestSupport::RunToEnd(QStringLiteral("extract_chmLib"), {corpus.filePath(name), out.path()},
                                          QProcessEnvironment::systemEnvironment(), 60000, &printed))
            << printed.toStdString();
        // A name that is no UTF-8 names no object this reader can look up (nor can Qt remove it).
        const auto removeAll = qScopeGuard([&] { std::filesystem::remove_all(QFile::encodeName(out.path()).toStdString()); });
        for (const QString &object : chm.Objects()) {
            SCOPED_TRACE(object.toStdString());
            if (object.contains(QChar::ReplacementCharacter))
                continue;
            QFile extracted(out.path() + object);
            ASSERT_TRUE(extracted.open(QIODevice::ReadOnly));
            const std::optional<QByteArray> read = chm.Read(object);
            const bool incomplete = printed.contains("incomplete file: " + object.toUtf8());
            EXPECT_EQ(read.has_value(), !incomplete) << printed.toStdString();
            if (read) {
                EXPECT_EQ(*read, extracted.readAll());
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 0);
}
