// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the help hook, the debug switch and "HHDebug.txt", topic addresses and the xchm start.
#include "ChmBuilder.h"
#include "help/hh_funcs.h"
#include "support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

using TestSupport::TChmBuilder;

namespace {

QString ReadText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QStringLiteral("<missing>");
}

void Touch(const QString &path, const QByteArray &data = "old")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// The help module started for a program in a temporary folder, with a recording engine and
// message seam; undone at the end of each test.
class HelpModule : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        ASSERT_TRUE(FTemp.isValid());
        FProgram = FDir.filePath(QStringLiteral("vaskimo"));
        FHelpFile = FDir.filePath(QStringLiteral("VKEnglish.chm"));
        ASSERT_TRUE(TChmBuilder::Sample().Save(FHelpFile));
        HHFuncs::SetMessageHandler([this](const QString &text) { FMessages << text; });
        HH::RegisterEngine({[this](const QString &address, quint32 command, quintptr data) -> QObject * {
                                FCalls << QStringLiteral("%1|%2|%3").arg(address).arg(command).arg(data);
                                return command == HH_HELP_CONTEXT ? &FWindow : nullptr;
                            },
                            [this](QObject *window) { FForeground << window; }});
    }
    void TearDown() override
    {
        HHFuncs::End();
        while (HH::Loaded())
            HH::Unload();
        HH::RegisterEngine({});
        HHFuncs::SetMessageHandler({});
        HHFuncs::SetViewerSearchPath({});
        AppHelp::SetHandler({});
    }
    void Start(const QStringList &extraArguments = {}, bool load = true)
    {
        if (load)
            HH::Load();
        HHFuncs::Start({FProgram, QStringList{FProgram} + extraArguments, FTemp.path(), {}});
    }
    QString LogPath() const { return FDir.filePath(QStringLiteral("HHDebug.txt")); }

    QTemporaryDir FDir, FTemp;
    QString FProgram, FHelpFile;
    QStringList FMessages, FCalls;
    QList<QObject *> FForeground;
    QObject FWindow;
};

} // namespace

TEST_F(HelpModule, DebugSwitchComesFromTheFileOrTheArguments)
{
    struct TRow { const char *name; bool debugFile; QStringList arguments; bool on; };
    const TRow rows[] = {
        {"nothing", false, {}, false},
        {"file beside the program", true, {}, true},
        {"slash switch", false, {"-s", "/debug"}, true},
        {"dash switch in capitals", false, {"-DEBUG"}, true},
        {"bare word", false, {"debug"}, false},
        {"longer switch", false, {"-debugger"}, false},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        const QString marker = FDir.filePath(QStringLiteral("debug.debug"));
        QFile::remove(marker);
        if (row.debugFile)
            Touch(marker, "");
        EXPECT_EQ(HHFuncs::DebugSwitch(FDir.path(), QStringList{FProgram} + row.arguments), row.on);
    }
    // The program's own path is not a switch.
    EXPECT_FALSE(HHFuncs::DebugSwitch(QString(), {QStringLiteral("-debug")}));
}

TEST_F(HelpModule, WithoutDebugNoLogIsWrittenAndTheOldOneIsGone)
{
    Touch(LogPath());
    Start();
    ASSERT_NE(HHFuncs::DLog(), nullptr);
    EXPECT_FALSE(HHFuncs::Info().DebugMode);
    EXPECT_EQ(HHFuncs::DLog()->Path(), LogPath());
    EXPECT_FALSE(QFileInfo::exists(LogPath()));
    AppHelp::HelpContext(13);
    HHFuncs::DLog()->Log(QStringLiteral("anything"));
    EXPECT_FALSE(QFileInfo::exists(LogPath()));
}

TEST_F(HelpModule, DebugLogHasTheHeaderAndTheHookLines)
{
    Touch(LogPath());
    Start({QStringLiteral("-debug"), QStringLiteral("two words")});
    const QString header = ReadText(LogPath());
    EXPECT_FALSE(header.contains(QLatin1String("old")));
    const QStringList lines = header.split(QStringLiteral("\r\n"));
    ASSERT_GT(lines.size(), 25);
    EXPECT_EQ(lines.at(0), QString(80, u'='));
    EXPECT_EQ(lines.at(1), QStringLiteral("Log File:             \t") + LogPath());
    EXPECT_TRUE(lines.at(3).startsWith(QLatin1String("Operating System:      \t")));
    EXPECT_TRUE(header.contains(QStringLiteral("Cmdline Param(s) =  \t-debug | two words\r\n")));
    EXPECT_TRUE(header.contains(QStringLiteral("Actual CmdLine =  \t") + FProgram + QStringLiteral(" -debug \"two words\"\r\n")));
    EXPECT_TRUE(header.contains(QStringLiteral("_ModuleDir =        \t") + FDir.path() + QStringLiteral("\r\n")));
    EXPECT_TRUE(header.contains(QStringLiteral("_hhInstalled =      \tYES\r\n")));
    EXPECT_TRUE(header.contains(QStringLiteral("_ieVerStr =         \t") + HH::BrowserVersion().Text));
    EXPECT_TRUE(header.contains(QStringLiteral("_ieFriendlyVerStr = \tQt ") + QString::fromLatin1(qVersion())));
    EXPECT_TRUE(header.contains(QStringLiteral("_hhVerStr =         \t") + HH::EngineVersion().Text));
    EXPECT_TRUE(header.contains(QStringLiteral("\r\n") + QString(80, u'-') + QStringLiteral("\r\n")));

    {
        THookHelpSystem hook(FHelpFile, QString(), 0);
        AppHelp::HelpContext(13);
    }
    const QString log = ReadText(LogPath()).mid(header.size());
    const QStringList expected = {
        QStringLiteral("THookHelpSystem.Create(\"%1\",\"\", 0)").arg(FHelpFile),
        QStringLiteral("THookHelpSystem.HelpHook(1 (HELP_CONTEXT), 13)"),
        QStringLiteral("HHHelpContext(\"%1\", 13, \"\", 0)").arg(FHelpFile),
        QStringLiteral("ShowContext(\"%1\", 13)").arg(FHelpFile),
        QStringLiteral("  returned - 0"),
        QStringLiteral("THookHelpSystem.Destroy"),
    };
    const QStringList got = log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(got.size(), expected.size()) << log.toStdString();
    for (qsizetype i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(expected.at(i).toStdString());
        // time stamp, three blanks, then the text
        EXPECT_TRUE(got.at(i).endsWith(QStringLiteral("   ") + expected.at(i))) << got.at(i).toStdString();
        EXPECT_FALSE(got.at(i).startsWith(u' '));
    }
}

TEST_F(HelpModule, LogLinesSeparatorsAndUnformattedText)
{
    const QString path = FDir.filePath(QStringLiteral("own.txt"));
    TDLogFile log(path, true, true, false);
    log.Log(QStringLiteral("-"));
    log.Log(QStringLiteral("="));
    log.Log(QStringLiteral("!plain %s"), {QStringLiteral("x")});
    log.Log(QStringLiteral("-dash"));
    log.Log(QStringLiteral("100% sure"));  // no arguments: not a format
    TDLogFile noStamp(FDir.filePath(QStringLiteral("plain.txt")), true, false, false);
    noStamp.Log(QStringLiteral("as is"));
    const QStringList lines = ReadText(path).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.at(0), QString(80, u'-'));
    EXPECT_EQ(lines.at(1), QString(80, u'='));
    EXPECT_EQ(lines.at(2), QStringLiteral("plain x"));
    EXPECT_EQ(lines.at(3), QStringLiteral("dash"));
    EXPECT_TRUE(lines.at(4).endsWith(QLatin1String("   100% sure")));
    EXPECT_EQ(ReadText(FDir.filePath(QStringLiteral("plain.txt"))), QStringLiteral("as is\r\n"));
    // An appending log keeps what is there.
    TDLogFile again(path, true, false, false, true);
    again.Log(QStringLiteral("more"));
    EXPECT_TRUE(ReadText(path).endsWith(QLatin1String("sure\r\nmore\r\n")));
}

// A line that does not fit on the disk leaves no torn line in the log, and says so once.
TEST_F(HelpModule, ALogLineThatDoesNotFitLeavesTheLogWholeAndIsReportedOnce)
{
    TestSupport::TSmallDisk disk(QStringLiteral("512k"));
    VASKIMO_NEED_DISK(disk);
    const QString path = disk.Path() + QStringLiteral("/HHDebug.txt");
    TDLogFile log(path, true, false, false);
    log.Log(QStringLiteral("first"));
    ASSERT_TRUE(disk.Fill());
    const QString caught = FDir.filePath(QStringLiteral("stderr.txt"));
    const int saved = ::dup(2);
    const int into = ::open(QFile::encodeName(caught).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(into, 2);
    log.Log(QString(20000, u'x'));  // more than the room left in the file's last page
    log.Log(QString(20000, u'y'));
    ::dup2(saved, 2);
    ::close(into);
    ::close(saved);
    EXPECT_EQ(ReadText(path), QStringLiteral("first\r\n"));
    EXPECT_EQ(ReadText(caught),
              QStringLiteral("Vaskimo: cannot write the help log %1: No space left on device\n").arg(path));
}

TEST_F(HelpModule, LogInAFolderThatIsNotThereGoesToTheTemporaryFolder)
{
    Start({QStringLiteral("-debug")});
    TDLogFile log(FDir.filePath(QStringLiteral("no/such/folder/HHDebug.txt")), true, false, false);
    EXPECT_EQ(log.Path(), FTemp.filePath(QStringLiteral("HHDebug.txt")));
    log.Error(QStringLiteral("Bad %d"), {7});
    EXPECT_EQ(FMessages, QStringList{QStringLiteral("Bad 7")});
    EXPECT_EQ(ReadText(log.Path()), QStringLiteral("Bad 7\r\n"));
    EXPECT_EQ(HHFuncs::LogFolder(FDir.filePath(QStringLiteral("gone")), FTemp.path()), FTemp.path());
    EXPECT_EQ(HHFuncs::LogFolder(FDir.path(), FTemp.path()), FDir.path());
    EXPECT_FALSE(QFileInfo::exists(FDir.filePath(QStringLiteral("$_Temp_$.$$$"))));
}

TEST(HelpAddress, TopicAddressesAndCommandNames)
{
    struct TRow { const char *name, *file, *topic, *window; int prefix; const char *address; };
    const TRow rows[] = {
        {"topic and window", "C:\\Help\\A.chm", "a\\b.htm", "main", 0, "C:\\Help\\A.chm::/a/b.htm>main"},
        {"no topic", "C:\\Help\\A.chm", "", "", 0, "C:\\Help\\A.chm"},
        {"encoded blanks trimmed", "%20/h/My%20Help.chm ", "/x.htm%20", "", 0, "/h/My Help.chm::/x.htm"},
        {"topic alone", "", "x.htm", "", 0, "/x.htm"},
        {"store prefix", "/h/A.chm", "", "w", 1, "mk:@MSITStore:/h/A.chm>w"},
        {"its prefix", "/h/A.chm", "t.htm", "", 2, "ms-its:/h/A.chm::/t.htm"},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(HHFuncs::TopicAddress(QString::fromLatin1(row.file), QString::fromLatin1(row.topic),
                                        QString::fromLatin1(row.window), row.prefix),
                  QString::fromLatin1(row.address));
    }
    EXPECT_EQ(HHFuncs::CommandName(HELP_CONTEXT), QStringLiteral("1 (HELP_CONTEXT)"));
    EXPECT_EQ(HHFuncs::CommandName(3), QStringLiteral("3 (HELP_INDEX or HELP_CONTENTS)"));
    EXPECT_EQ(HHFuncs::CommandName(515), QStringLiteral("515 (HELP_SETWINPOS)"));
    EXPECT_EQ(HHFuncs::CommandName(6), QStringLiteral("6 (?\?)"));
}

TEST_F(HelpModule, ContextGoesToTheEngineWithoutAMessage)
{
    Start();
    bool previousCalled = false;
    AppHelp::SetHandler([&](quint16, qintptr, bool &) { return previousCalled = true; });
    {
        THookHelpSystem hook(FHelpFile, QString(), 0);
        EXPECT_TRUE(AppHelp::HelpContext(13));
        EXPECT_EQ(FCalls, QStringList{FHelpFile + QStringLiteral("|15|13")});
        EXPECT_EQ(FForeground, QList<QObject *>{&FWindow});
        EXPECT_TRUE(FMessages.isEmpty());
        EXPECT_FALSE(previousCalled);

        // Other commands are left to the application's own help.
        bool callHelp = false;
        EXPECT_TRUE(hook.HelpHook(HELP_KEY, 0, callHelp));
        EXPECT_TRUE(callHelp);

        // The popup handler gets the last position.
        QPoint at;
        hook.FOnHelpPopup = [&](qintptr, QPoint p) { at = p; return 0; };
        EXPECT_TRUE(AppHelp::HelpCommand(HELP_SETPOPUP_POS, (qintptr(40) << 16) | 0xFFF6));
        EXPECT_TRUE(AppHelp::HelpCommand(HELP_CONTEXTPOPUP, 17));
        EXPECT_EQ(at, QPoint(-10, 40));

        hook.FChainDo = true;
        AppHelp::HelpContext(5);
        EXPECT_TRUE(previousCalled);
    }
    // Destroying closes the help windows and gives the previous handler back.
    EXPECT_EQ(FCalls.last(), QStringLiteral("|18|0"));
    previousCalled = false;
    AppHelp::HelpContext(1);
    EXPECT_TRUE(previousCalled);
}

// Only a missing engine is "not installed"; a help file that cannot show a page says what is wrong with it.
TEST_F(HelpModule, NotInstalledMissingOrBrokenFilesSayWhatIsWrong)
{
    const QString broken = FDir.filePath(QStringLiteral("broken.chm"));
    Touch(broken, QByteArray("ITSF\x03\0\0\0", 8));
    const QString pageless = FDir.filePath(QStringLiteral("pageless.chm"));
    ASSERT_TRUE(TChmBuilder().Add(QStringLiteral("/help.css"), "p { }").Save(pageless));
    const QString missing = FDir.filePath(QStringLiteral("VKSuomi.chm"));
    // Opening a pipe for reading waits for a writer that never comes.
    const QString pipe = FDir.filePath(QStringLiteral("pipe.chm"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    struct TRow { const char *name; bool load; QString file; int code; QString message; };
    const TRow rows[] = {
        {"engine not loaded", false, FHelpFile, 1, "MS Html Help is not installed on this PC."},
        {"help file missing", true, missing, 4, "The help file \"" + missing + "\" does not exist."},
        {"help file a folder", true, FDir.path(), 5, "The help file \"" + FDir.path() + "\" cannot be read: it is a folder."},
        {"help file a pipe", true, pipe, 5, "The help file \"" + pipe + "\" cannot be read: it is no regular file."},
        {"help file broken", true, broken, 6,
         "The help file \"" + broken + "\" is damaged: it cannot be read as compiled HTML Help."},
        {"help file without a page", true, pageless, 7, "The help file \"" + pageless + "\" is damaged: it holds no help page."},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        FMessages.clear();
        FCalls.clear();
        Start({}, row.load);
        THookHelpSystem hook(row.file, QString(), 0);
        EXPECT_EQ(hook.ShowHelpContext(13), row.code);
        EXPECT_EQ(FMessages, QStringList{row.message});
        EXPECT_TRUE(FCalls.filter(QStringLiteral("|15|")).isEmpty());
        HHFuncs::End();
        while (HH::Loaded())
            HH::Unload();
    }
    HHFuncs::HHShowError(0);
    HHFuncs::HHShowError(9);
    EXPECT_EQ(FMessages.last(), QStringLiteral("Unknown error returned by HHHelpContext"));
}

TEST_F(HelpModule, StandAloneViewerIsXchmWithAnArgumentList)
{
    Start();
    QTemporaryDir bin;
    HHFuncs::SetViewerSearchPath({bin.path()});
    for (int hostType : {1, 2}) {
        SCOPED_TRACE(hostType);
        FMessages.clear();
        THookHelpSystem hook(FHelpFile, QStringLiteral("main"), quint8(hostType));
        EXPECT_EQ(hook.ShowHelpContext(13), hostType == 1 ? 2 : 3);
        ASSERT_EQ(FMessages.size(), 1);
        EXPECT_TRUE(FMessages.first().contains(QLatin1String("xchm")));
    }

    // A stand-in viewer that writes down its arguments, one a line.
    const QString out = bin.filePath(QStringLiteral("args.txt"));
    const QString viewer = bin.filePath(QStringLiteral("xchm"));
    Touch(viewer, QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1.part'\nmv '%1.part' '%1'\n")
                      .arg(out)
                      .toUtf8());
    QFile::setPermissions(viewer, QFile::permissions(viewer) | QFileDevice::ExeOwner);
    ASSERT_EQ(HHFuncs::ViewerProgram(), viewer);

    // A help file whose name needs quoting in a shell reaches xchm as one argument.
    const QString odd = FDir.filePath(QStringLiteral("My Help; $(rm -rf x).chm"));
    ASSERT_TRUE(QFile::copy(FHelpFile, odd));
    struct TRow { const char *name; int hostType; qintptr context; QStringList arguments; };
    const TRow rows[] = {
        {"mapped context", 1, 13, {QStringLiteral("--contextid=13"), odd}},
        {"with the store prefix", 2, 17, {QStringLiteral("--contextid=17"), odd}},
        {"unmapped context opens the book", 1, 0, {odd}},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        FMessages.clear();
        QFile::remove(out);
        THookHelpSystem hook(odd, QStringLiteral("main"), quint8(row.hostType));
        EXPECT_EQ(hook.ShowHelpContext(row.context), 0);
        EXPECT_TRUE(FMessages.isEmpty());
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(out); }, 10000)) << "the viewer did not start";
        EXPECT_EQ(ReadText(out), row.arguments.join(u'\n') + u'\n');
    }
}

TEST_F(HelpModule, FailedStartsAreShownWithTheirReason)
{
    Start();
    struct TRow { const char *name; QString program; const char *reason; };
    const QString plain = FDir.filePath(QStringLiteral("notexec"));
    Touch(plain);
    const TRow rows[] = {
        {"missing file", FDir.filePath(QStringLiteral("nothing")), "[Error:2] File Not Found"},
        {"missing folder", FDir.filePath(QStringLiteral("no/nothing")), "[Error:3] Path Not Found"},
        {"not a program", plain, "[Error:5] Access Denied"},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        FMessages.clear();
        EXPECT_FALSE(HHFuncs::ShellExecute(row.program, {QStringLiteral("-a"), QStringLiteral("b")}));
        EXPECT_EQ(FMessages, QStringList{QStringLiteral("Function ShellExecute(%1, -a b)\rReturned: %2")
                                             .arg(row.program, QLatin1String(row.reason))});
    }
    EXPECT_EQ(HHFuncs::ShellErrorText(1393), QStringLiteral("Corrupt File Or Disk"));
    EXPECT_EQ(HHFuncs::ShellErrorText(1151), QStringLiteral("Not A Windows Or MSDos Program"));
    EXPECT_EQ(HHFuncs::ShellErrorText(9999), QStringLiteral("General Failure"));
}
