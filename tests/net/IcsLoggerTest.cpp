// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of TIcsLogger: destinations, stamps, file options, failures and concurrent writers.
#include "net/IcsLogger.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <thread>
#include <vector>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(IcsLoggerTest, FileOptionsAppendOrTruncateOnTheFirstWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    const struct {
        const char *name;
        TLogFileOption option;
        QByteArray expected;
    } cases[] = {
        {"append", lfoAppend, "old\r\none\r\ntwo\r\n"},
        {"overwrite", lfoOverwrite, "one\r\ntwo\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(path, "old\r\n");
        TIcsLogger logger;
        logger.SetLogFileOption(c.option);
        logger.SetLogFileName(path);
        logger.SetLogOptions({loDestFile});
        logger.WriteLog(nullptr, loWsockInfo, "one");
        logger.WriteLog(nullptr, loWsockInfo, "two");
        EXPECT_EQ(ReadAll(path), c.expected);
    }
}

TEST(IcsLoggerTest, MissingFileIsCreated)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("new.log");
    TIcsLogger logger;
    logger.SetLogFileName(path);
    logger.SetLogOptions({loDestFile});
    logger.WriteLog(nullptr, loWsockErr, QString::fromUtf8("ääkkönen"));
    EXPECT_EQ(ReadAll(path), QString::fromUtf8("ääkkönen\r\n").toUtf8());
}

TEST(IcsLoggerTest, EmptyFileNameRaisesAndWritesNothing)
{
    TIcsLogger logger;
    logger.SetLogOptions({loDestFile});
    try {
        logger.WriteLog(nullptr, loWsockInfo, "x");
        FAIL() << "no exception";
    } catch (const ELoggerException &e) {
        EXPECT_EQ(e.Message(), "File name empty");
    }
}

TEST(IcsLoggerTest, UnopenableFileRaisesItsFailure)
{
    QTemporaryDir dir;
    TIcsLogger logger;
    logger.SetLogFileName(dir.filePath("no/such/folder/log.txt"));
    logger.SetLogOptions({loDestFile});
    EXPECT_THROW(logger.WriteLog(nullptr, loWsockInfo, "x"), ELoggerException);
}

TEST(IcsLoggerTest, EmptyOptionsWriteNowhere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    TIcsLogger logger;
    int events = 0;
    logger.SetOnIcsLogEvent([&](QObject *, TLogOption, const QString &) { ++events; });
    logger.SetLogFileName(path);
    logger.WriteLog(nullptr, loWsockInfo, "x");
    EXPECT_EQ(events, 0);
    EXPECT_FALSE(QFile::exists(path));
}

TEST(IcsLoggerTest, EventGetsSenderOptionAndStampedText)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    TIcsLogger logger;
    QObject sender;
    QObject *gotSender = nullptr;
    TLogOption gotOption = loDestEvent;
    QString gotMsg;
    logger.SetOnIcsLogEvent([&](QObject *s, TLogOption o, const QString &m) {
        gotSender = s;
        gotOption = o;
        gotMsg = m;
    });
    logger.SetLogFileName(path);
    logger.SetLogOptions({loDestEvent, loDestFile, loAddStamp});
    logger.WriteLog(&sender, loWsockDump, "hello");
    EXPECT_EQ(gotSender, &sender);
    EXPECT_EQ(gotOption, loWsockDump);
    const QRegularExpression stamped(R"(^\d\d:\d\d:\d\d:\d\d\d hello$)");
    EXPECT_TRUE(stamped.match(gotMsg).hasMatch()) << gotMsg.toStdString();
    const QString line = QString::fromUtf8(ReadAll(path));
    ASSERT_TRUE(line.endsWith("\r\n"));
    EXPECT_TRUE(stamped.match(line.chopped(2)).hasMatch()) << line.toStdString();
}

TEST(IcsLoggerTest, NewFileNameSwitchesFilesAndAnEqualOneKeepsTheFile)
{
    QTemporaryDir dir;
    const QString a = dir.filePath("a.log");
    const QString b = dir.filePath("b.log");
    TIcsLogger logger;
    logger.SetLogOptions({loDestFile});
    logger.SetLogFileOption(lfoOverwrite);
    logger.SetLogFileName(a);
    logger.WriteLog(nullptr, loWsockInfo, "1");
    logger.SetLogFileName(a);  // same name: the open file stays open, nothing truncated
    logger.WriteLog(nullptr, loWsockInfo, "2");
    logger.SetLogFileName(b);
    logger.WriteLog(nullptr, loWsockInfo, "3");
    EXPECT_EQ(ReadAll(a), "1\r\n2\r\n");
    EXPECT_EQ(ReadAll(b), "3\r\n");
}

TEST(IcsLoggerTest, LinesOfConcurrentWritersNeverInterleave)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    TIcsLogger logger;
    logger.SetLogFileName(path);
    logger.SetLogOptions({loDestFile});
    const QString line = QString(200, QLatin1Char('x'));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i)
                logger.WriteLog(nullptr, loWsockInfo, QString::number(t) + line);
        });
    for (auto &t : threads)
        t.join();
    const QList<QByteArray> lines = ReadAll(path).split('\n');
    ASSERT_EQ(lines.size(), 801);
    for (int i = 0; i < 800; ++i)
        ASSERT_EQ(lines[i].size(), 202) << i;
}

TEST(IcsLoggerTest, FileHeldByOneLoggerIsDeniedToAnother)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    TIcsLogger first;
    TIcsLogger second;
    for (TIcsLogger *l : {&first, &second}) {
        l->SetLogFileName(path);
        l->SetLogOptions({loDestFile});
    }
    first.WriteLog(nullptr, loWsockInfo, "first");
    EXPECT_THROW(second.WriteLog(nullptr, loWsockInfo, "second"), ELoggerException);
    first.CloseLogStream();
    second.WriteLog(nullptr, loWsockInfo, "second");
    EXPECT_EQ(ReadAll(path), "first\r\nsecond\r\n");
}
