// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the batch routine over fake tools: order, dropped and repeated switches, abort, failures, the log bytes.
#include "shell/Batch.h"
#include "support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

struct TFakeProgram {
    QStringList Ran;            // tool and browser switches in the order they ran
    QString AbortOn;            // this tool "is stopped by the user"
    QString FailOn;             // this switch throws
    QStringList Missing;        // tools this build lacks
    QStringList Reasons;        // what every tool reports through Fail, twice over
    bool Terminated = false;
    int Clock = 0;
    TBatchState *State = nullptr;

    TBatchActions Actions()
    {
        TBatchActions a;
        a.RunTool = [this](const QString &sw) {
            if (Missing.contains(sw)) return false;
            Ran << sw;
            EXPECT_EQ(State->FBatchSwitch, sw);
            EXPECT_TRUE(State->FBatchMode);
            if (sw == FailOn) throw std::runtime_error("Access denied");
            if (sw == "-dup" && FailOn == "odd") throw 42;
            State->FLog << QString() << Stamp() << sw << QStringLiteral("Started searching");
            for (int i = 0; i < 2; ++i)
                for (const QString &reason : Reasons)
                    State->Fail(reason);
            if (sw == AbortOn) {
                State->FBatchAborted = true;
                State->FBatchMode = false;
                State->FLog << Stamp() << QStringLiteral("Aborted by user!");
            }
            return true;
        };
        a.ClearBrowser = [this](const QString &sw) {
            Ran << sw;
            if (sw == FailOn) throw std::runtime_error("Disk full");
        };
        a.TimeStamp = [this] { return Stamp(); };
        a.Terminate = [this] { Terminated = true; };
        return a;
    }
    QString Stamp() { return QStringLiteral("1/2/2026, 3:04:%1 PM").arg(Clock++, 2, 10, QLatin1Char('0')); }
};

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// One run's world: a folder for the log, the batch fields and the fake program around them.
class BatchRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Program.State = &State;
    }
    QTemporaryDir Dir;
    const QString LogFile = Dir.filePath("Vaskimo.log");
    TBatchState State;
    TFakeProgram Program;
};

} // namespace

TEST(Batch, SwitchTable)
{
    const struct {
        const char *name;
        const char *switches;
        QStringList ran;
        bool log;
        bool terminated;
        bool autoClose;
    } cases[] = {
        {"sorted order", "-unn, -reg, -ccache", {"-ccache", "-reg", "-unn"}, true, false, false},
        {"-reg dropped by -delreg", "-reg, -delreg", {"-delreg"}, true, false, false},
        {"-unn dropped by -delunn", "-delunn -unn", {"-delunn"}, true, false, false},
        {"capitals", "-DELREG", {"-delreg"}, true, false, false},
        {"one switch counted once", "-reg, -reg, -REG", {"-reg"}, true, false, false},
        {"all known switches", "-unn -reg -dup -delunn -delsho -delreg -cmru -chistory -ccookies -ccache",
         {"-ccache", "-ccookies", "-chistory", "-cmru", "-delreg", "-delsho", "-delunn"}, true, false, false},
        {"-s alone", "-s", {}, false, false, true},
        {"-exit alone", "-exit", {}, false, false, false},
        {"-s and -exit", "-s, -exit", {}, false, false, true},
        {"auto-start line", "-s, -startup", {}, true, false, true},
        {"/s is no batch switch", "/s", {}, true, false, false},
        {"-exit after the work", "-ccache, -exit", {"-ccache"}, true, true, false},
        {"-exit cancelled by an abort", "-reg, -unn, -exit, -ccache", {"-ccache", "-reg"}, true, false, false},
        {"a tool this build lacks", "-dup, -exit", {}, true, true, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString logFile = dir.filePath("Vaskimo.log");
        TBatchState state;
        TFakeProgram program;
        program.State = &state;
        program.AbortOn = "-reg";
        if (QByteArray(c.name) != "-exit cancelled by an abort") program.AbortOn.clear();
        program.Missing = {"-dup"};
        const TBatchOutcome outcome = Batch::Run(state, c.switches, "/opt/vaskimo/vaskimo " + QString(c.switches),
                                                 logFile, program.Actions());
        EXPECT_EQ(program.Ran, c.ran);
        EXPECT_EQ(QFile::exists(logFile), c.log);
        EXPECT_EQ(outcome.LogSaved, c.log);
        EXPECT_EQ(program.Terminated, c.terminated);
        EXPECT_EQ(outcome.Terminated, c.terminated);
        EXPECT_EQ(state.FAutoClose, c.autoClose);
        EXPECT_FALSE(state.FBatchMode);
    }
}

TEST_F(BatchRun, GoldenLog)
{
    const TBatchOutcome outcome =
        Batch::Run(State, "-exit, -ccache, -reg", "\"C:\\Program Files\\Vaskimo\\Vaskimo.exe\" -reg -ccache -exit",
                   LogFile, Program.Actions());
    ASSERT_TRUE(outcome.Terminated);
    const QByteArray expected =
        "Vaskimo started on 1/2/2026, 3:04:00 PM\r\n"
        "\"C:\\Program Files\\Vaskimo\\Vaskimo.exe\" -reg -ccache -exit\r\n"
        "\r\n"
        "1/2/2026, 3:04:01 PM\r\n"
        "-ccache\r\n"
        "Clearing browser cache\r\n"
        "\r\n"
        "1/2/2026, 3:04:02 PM\r\n"
        "-reg\r\n"
        "Started searching\r\n"
        "\r\n"
        "1/2/2026, 3:04:03 PM\r\n"
        "-exit\r\n"
        "All done exiting!\r\n";
    EXPECT_EQ(ReadAll(LogFile), expected);

    // The auto-start run replaces the log with its start block alone.
    TBatchState again;
    Program.Clock = 0;
    Program.State = &again;
    Batch::Run(again, "-s, -startup", "vaskimo -s -startup", LogFile, Program.Actions());
    EXPECT_EQ(ReadAll(LogFile), QByteArray("Vaskimo started on 1/2/2026, 3:04:00 PM\r\nvaskimo -s -startup\r\n"));

    // "-s" alone keeps the previous log.
    TBatchState quiet;
    quiet.FLog << "left from before";
    Batch::Run(quiet, "-s", "vaskimo -s", LogFile, Program.Actions());
    EXPECT_EQ(ReadAll(LogFile), QByteArray("Vaskimo started on 1/2/2026, 3:04:00 PM\r\nvaskimo -s -startup\r\n"));
    EXPECT_TRUE(quiet.FLog.isEmpty());
}

TEST(Batch, FailuresAreLoggedAndTheLogIsSaved)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString logFile = dir.filePath("Vaskimo.log");
    {
        TBatchState state;
        TFakeProgram program;
        program.State = &state;
        program.FailOn = "-delreg";
        Batch::Run(state, "-delreg -unn -exit", "vaskimo", logFile, program.Actions());
        EXPECT_EQ(program.Ran, QStringList({"-delreg"})) << "the run ends at the failure";
        const QByteArray log = ReadAll(logFile);
        EXPECT_TRUE(log.contains("1/2/2026, 3:04:01 PM: -delreg: Access denied\r\n")) << log.constData();
        EXPECT_FALSE(state.FBatchMode);
    }
    {
        TBatchState state;
        TFakeProgram program;
        program.State = &state;
        program.FailOn = "odd";
        Batch::Run(state, "-dup -reg", "vaskimo", logFile, program.Actions());
        EXPECT_TRUE(ReadAll(logFile).contains(": -dup: unknown error\r\n"));
        EXPECT_EQ(program.Ran, QStringList({"-dup"}));
    }
    {
        // A log that cannot be written is reported, and "-exit" is not carried out.
        TBatchState state;
        TFakeProgram program;
        program.State = &state;
        const TBatchOutcome outcome = Batch::Run(state, "-ccache -exit", "vaskimo",
                                                 dir.filePath("no/such/folder/Vaskimo.log"), program.Actions());
        EXPECT_FALSE(outcome.LogSaved);
        EXPECT_TRUE(outcome.SaveError.contains("no/such/folder/Vaskimo.log")) << qPrintable(outcome.SaveError);
        EXPECT_FALSE(program.Terminated);
        EXPECT_TRUE(program.Ran.isEmpty()) << "a run whose log cannot be written must not start";
        EXPECT_TRUE(outcome.NothingRun);
    }
}

// The probe before the run can still make an empty file on a full disk; the save itself fails, and
// the log of earlier runs must survive it whole.
TEST(Batch, ALogOnAFullDiskKeepsTheEarlierLogAndSaysWhy)
{
    TestSupport::TSmallDisk disk(QStringLiteral("512k"));
    VASKIMO_NEED_DISK(disk);
    const QString logFile = disk.Path() + "/Vaskimo.log";
    {
        QFile f(logFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier run\r\n");
    }
    ASSERT_TRUE(disk.Fill());
    TBatchState state;
    TFakeProgram program;
    program.State = &state;
    const TBatchOutcome outcome = Batch::Run(state, "-dup -exit", "vaskimo", logFile, program.Actions());
    EXPECT_FALSE(outcome.LogSaved);
    EXPECT_EQ(outcome.SaveError, QStringLiteral("Cannot write \"%1\": No space left on device").arg(logFile));
    EXPECT_EQ(ReadAll(logFile), QByteArray("earlier run\r\n"));
    EXPECT_EQ(Batch::EndOfRun(outcome, false, false, 0).Code, ExitCode::LogNotWritten);
}

TEST(Batch, SwitchOrderIgnoresTheUserCollation)
{
    // Czech collation puts "ch" after "h" (so "-chistory" after "-dup"); the switches keep one order.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::Czechia));
    EXPECT_EQ(Batch::SplitSwitches("-dup -chistory -CMRU -ccache"),
              QStringList({"-ccache", "-chistory", "-cmru", "-dup"}));
    QLocale::setDefault(previous);
}

TEST(Batch, UnknownSwitchesAreNamedAsGiven)
{
    EXPECT_EQ(Batch::UnknownSwitches({"-REG", "-s", "/S", "-startup", "-debug", "/Debug", "-exit", "-ccache,-cmru"}),
              QStringList());
    EXPECT_EQ(Batch::UnknownSwitches({"-reg,-Bogus", "--delreg", "/reg", "reg"}),
              QStringList({"-Bogus", "--delreg", "/reg", "reg"}));
}

TEST(Batch, BatchWorkOnTheCommandLine)
{
    const struct {
        const char *name;
        QStringList parameters;
        bool work;
    } cases[] = {
        {"auto-start line", {"-s", "-startup"}, false},
        {"-exit alone", {"-exit"}, false},
        {"help debug switch", {"-debug", "-exit"}, false},
        {"nothing", {}, false},
        {"a tool", {"-REG", "-exit"}, true},
        {"two switches in one argument", {"-reg,-unn"}, true},
        {"a browser switch", {"-s", "-cmru"}, true},
        {"a switch with a slash", {"/reg"}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Batch::HasBatchWork(c.parameters), c.work);
    }
}

TEST(Batch, UserDateAndTimePictures)
{
    const QDateTime when(QDate(2026, 3, 7), QTime(9, 5, 4));
    const struct {
        const char *name;
        const char *date, *time;
        const char *expected;
    } cases[] = {
        {"US defaults", "M/d/yyyy", "h:mm:ss tt", "3/7/2026, 9:05:04 AM"},
        {"Finnish", "d.M.yyyy", "H:mm:ss", "7.3.2026, 9:05:04"},
        {"two digits and quotes", "dd-MM-yy", "HH'h'mm", "07-03-26, 09h05"},
        {"names", "ddd d MMM yyyy", "hh:mm t", "Sat 7 Mar 2026, 09:05 A"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TUserLocale locale;
        locale.ShortDate = c.date;
        locale.LongTime = c.time;
        EXPECT_EQ(locale.Stamp(when), QString(c.expected));
    }
    TUserLocale pm;
    EXPECT_EQ(pm.Time(QTime(0, 1, 2)), "12:01:02 AM");
    EXPECT_EQ(pm.Time(QTime(13, 1, 2)), "1:01:02 PM");
}

TEST(Batch, ListTimesAndReadingThemBack)
{
    const struct {
        const char *name;
        const char *date, *time, *am, *pm;
        QDateTime when;
        const char *expected;
    } cases[] = {
        {"US defaults", "M/d/yyyy", "h:mm:ss tt", "AM", "PM", QDateTime(QDate(2026, 3, 7), QTime(21, 5, 4)),
         "3/7/2026 9:05:04 PM"},
        {"midnight: the date alone", "M/d/yyyy", "h:mm:ss tt", "AM", "PM", QDateTime(QDate(2026, 3, 7), QTime(0, 0)),
         "3/7/2026"},
        {"own markers", "yyyy-MM-dd", "hh:mm:ss tt", "ap.", "ip.", QDateTime(QDate(1999, 12, 31), QTime(0, 0, 2)),
         "1999-12-31 12:00:02 ap."},
        {"Finnish", "d.M.yyyy", "H:mm:ss", "", "", QDateTime(QDate(2026, 11, 17), QTime(13, 1, 2)), "17.11.2026 13:01:02"},
        {"names and quotes", "ddd d MMM yyyy", "HH'h'mm':'ss", "AM", "PM", QDateTime(QDate(2026, 3, 7), QTime(9, 5, 4)),
         "Sat 7 Mar 2026 09h05:04"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TUserLocale locale;
        locale.ShortDate = c.date;
        locale.LongTime = c.time;
        locale.AM = c.am;
        locale.PM = c.pm;
        EXPECT_EQ(locale.DateTime(c.when), QString(c.expected));
        EXPECT_EQ(locale.ReadDateTime(c.expected), c.when);
    }
    EXPECT_FALSE(TUserLocale().ReadDateTime("not a date").isValid());
}

TEST(Batch, TrayAndParameters)
{
    EXPECT_TRUE(Batch::HasTraySwitch({"-reg", "/S"}));
    EXPECT_TRUE(Batch::HasTraySwitch({"-s"}));
    EXPECT_FALSE(Batch::HasTraySwitch({"-startup", "s"}));
    EXPECT_EQ(Batch::JoinParameters({"-s", "-startup"}), "-s, -startup");
    // A quote one parameter leaves open keeps to that parameter.
    EXPECT_EQ(Batch::SplitSwitches(Batch::JoinParameters({"\"x", "-delreg"})), QStringList({"-delreg", "x"}));
}

TEST_F(BatchRun, EveryFailureReasonOnceForStandardErrorAndInTheLog)
{
    const auto run = [&](TFakeProgram &program, TBatchState &state, const QString &switches) {
        program.State = &state;
        return Batch::Run(state, switches, "vaskimo " + switches, LogFile, program.Actions());
    };
    const struct {
        const char *name;
        const char *switches;
        QStringList reasons;    // reported by every tool
        const char *abortOn, *failOn, *stopReason;
        QStringList failures;   // for standard error
        QStringList logged;     // lines of the log
        int code;
    } cases[] = {
        {"a clean run", "-reg -exit", {}, "", "", "", {}, {}, 0},
        {"each reason once, after its switch, on one line",
         "-reg -unn",
         {"\"/p/system.reg\" was kept:\r\nNo space left on device", "2 files were kept"},
         "", "", "",
         {"-reg: \"/p/system.reg\" was kept: No space left on device", "-reg: 2 files were kept",
          "-unn: \"/p/system.reg\" was kept: No space left on device", "-unn: 2 files were kept"},
         {"\"/p/system.reg\" was kept: No space left on device", "2 files were kept"},
         1},
        {"a tool that throws", "-ccache -reg", {}, "", "-ccache", "", {"-ccache: Disk full"},
         {"1/2/2026, 3:04:02 PM: -ccache: Disk full"}, 1},
        {"stopped by the user", "-reg -unn", {}, "-reg", "", "", {"-reg: Aborted by user!"}, {"Aborted by user!"}, 1},
        {"stopped by a signal", "-reg -unn", {}, "-reg", "", "stopped by SIGTERM", {"-reg: stopped by SIGTERM"}, {}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TBatchState state;
        TFakeProgram program;
        program.Reasons = c.reasons;
        program.AbortOn = c.abortOn;
        program.FailOn = c.failOn;
        state.FStopReason = c.stopReason;
        const TBatchOutcome outcome = run(program, state, c.switches);
        EXPECT_EQ(state.FFailures, c.failures);
        const QStringList log = QString::fromLatin1(ReadAll(LogFile)).split("\r\n");
        for (const QString &line : c.logged)
            EXPECT_TRUE(log.contains(line)) << qPrintable(line) << "\n" << qPrintable(log.join('\n'));
        EXPECT_EQ(Batch::EndOfRun(outcome, state.FBatchAborted, true, 0).Code, c.code);
    }
}

TEST_F(BatchRun, NoSwitchRunsWithoutAPrefix)
{
    TBatchActions actions = Program.Actions();
    actions.Refusal = [] { return QStringLiteral("There is no Wine prefix in \"/home/u/.wine\": the folder does not exist."); };
    const TBatchOutcome outcome = Batch::Run(State, "-ccache -reg -exit", "vaskimo -ccache -reg -exit", LogFile, actions);
    EXPECT_TRUE(Program.Ran.isEmpty());
    EXPECT_TRUE(outcome.NothingRun);
    EXPECT_FALSE(Program.Terminated) << "no exit block: the run did not do its work";
    EXPECT_EQ(State.FFailures, QStringList({actions.Refusal()}));
    EXPECT_EQ(ReadAll(LogFile), QByteArray("Vaskimo started on 1/2/2026, 3:04:00 PM\r\nvaskimo -ccache -reg -exit\r\n\r\n"
                                           "1/2/2026, 3:04:01 PM\r\nThere is no Wine prefix in \"/home/u/.wine\": "
                                           "the folder does not exist.\r\n"));
    const TBatchEnd end = Batch::EndOfRun(outcome, State.FBatchAborted, false, 0);
    EXPECT_EQ(end.Code, ExitCode::NotRun);
    EXPECT_TRUE(end.Ends) << "-exit was asked for and nothing can run";
    // The auto-start line has nothing to refuse: it runs no switch.
    TBatchState startup;
    Program.State = &startup;
    EXPECT_TRUE(Batch::Run(startup, "-s, -startup", "vaskimo -s -startup", LogFile, actions).Refusal.isEmpty());
}
