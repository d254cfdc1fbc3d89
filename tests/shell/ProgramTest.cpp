// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the program itself, run as a process: one instance at a time, a killed one leaves no lock,
// and unattended runs that always end, with an exit code, a quiet standard error and a log.
#include <QCollator>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/DemoPrefix.h"
#include "support/PrefixBuilder.h"
#include "support/ProcessWait.h"
#include "support/ProgramCopy.h"
#include "support/RunProcess.h"

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using TestSupport::WaitUntil;

namespace {
constexpr int RunTimeout = 60000;

struct TProgramCopy {
    QTemporaryDir Dir;
    QString Exe;
    QProcessEnvironment Env;
    TProgramCopy()
    {
        // A copy, so that Options.ini and Vaskimo.log land beside it and not in the build.
        Exe = TestSupport::CopyProgram(Dir.path(), VASKIMO_EXE);
        if (TestSupport::CopyDemoPrefix(Dir.filePath("prefix")) != 0)
            Exe.clear();
        Env = QProcessEnvironment::systemEnvironment();
        Env.insert("XDG_RUNTIME_DIR", Dir.filePath("run"));
        Env.insert("WINEPREFIX", Dir.filePath("prefix"));
        Env.remove("DISPLAY");
        Env.remove("WAYLAND_DISPLAY");
    }
    void Start(QProcess &p, const QStringList &args, bool offscreen)
    {
        QProcessEnvironment env = Env;
        if (offscreen)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        else
            env.remove("QT_QPA_PLATFORM");
        p.setProcessEnvironment(env);
        p.start(Exe, args);
    }
    QString LockPath() const { return Dir.filePath("run/Vaskimo.lock"); }
    QByteArray Log() const
    {
        QFile log(Dir.filePath("Vaskimo.log"));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }
    QStringList Temporaries() const { return QDir(Dir.path()).entryList({"Duplicat.tmp*"}, QDir::Files); }
};

// True once some process holds an exclusive flock on path (as a running Vaskimo does on its lock).
bool LockHeld(const QString &path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

// One case's world: the program copy, its environment, and the helper processes it needs.
struct TStage {
    TProgramCopy Program;
    QProcessEnvironment Env;
    QStringList Wrapper;  // runs the program through another command (setpriv)
    std::function<void(QProcess &)> WhileRunning;
    std::vector<std::unique_ptr<QProcess>> Helpers;
    QByteArray Err;  // the run's standard error
    TStage()
    {
        Env = Program.Env;
        Env.remove("QT_QPA_PLATFORM");
    }
    ~TStage()
    {
        for (auto &helper : Helpers) {
            helper->kill();
            helper->waitForFinished(5000);
        }
    }
    QProcess *Helper()
    {
        Helpers.push_back(std::make_unique<QProcess>());
        return Helpers.back().get();
    }
};

// Xvfb on a display number it picks itself, reachable only through its local socket.
void StartXvfb(TStage &stage)
{
    QByteArray why;
    const QString display = TestSupport::StartXvfb(*stage.Helper(), &why);
    ASSERT_FALSE(display.isEmpty()) << why.constData();
    stage.Env.insert("DISPLAY", display);
}

// The copy's own Vaskimo, main window open on the offscreen platform, holding the lock.
void HoldLock(TStage &stage)
{
    QProcess *holder = stage.Helper();
    QProcessEnvironment env = stage.Env;
    env.insert("QT_QPA_PLATFORM", "offscreen");
    holder->setProcessEnvironment(env);
    holder->start(stage.Program.Exe, {});
    ASSERT_TRUE(holder->waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] { return LockHeld(stage.Program.LockPath()); }, 20000)) << "the first instance took no lock";
}

// The program folder belongs to root and the program runs as nobody, as a user runs a system-wide
// copy; a folder of its own cannot be made in that HOME either.
void Unwritable(TStage &stage)
{
    const QString folder = stage.Program.Dir.path();
    chmod(QFile::encodeName(folder).constData(), 0755);
    QDir(folder).mkdir("home");
    stage.Env.insert("HOME", stage.Program.Dir.filePath("home"));
    stage.Env.remove("XDG_CONFIG_HOME");
    if (getuid() != 0) {
        chmod(QFile::encodeName(folder).constData(), 0555);
        chmod(QFile::encodeName(stage.Program.Dir.filePath("home")).constData(), 0555);
        return;
    }
    const passwd *nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    // nobody's own lock folder.
    const QByteArray run = QFile::encodeName(stage.Program.Dir.filePath("run"));
    ASSERT_EQ(chown(run.constData(), nobody->pw_uid, nobody->pw_gid), 0);
    stage.Wrapper = TestSupport::AsNobody();
}

// The same, but nobody has a home: the run's files go to its per-user folder there.
void UnwritableWithHome(TStage &stage)
{
    ASSERT_NO_FATAL_FAILURE(Unwritable(stage));
    const QString home = stage.Program.Dir.filePath("home");
    if (getuid() != 0) {
        chmod(QFile::encodeName(home).constData(), 0700);
        return;
    }
    const passwd *nobody = getpwnam("nobody");
    ASSERT_EQ(chown(QFile::encodeName(home).constData(), nobody->pw_uid, nobody->pw_gid), 0);
}

// The demo prefix as root made it, run as nobody: its unnecessary files may be read, not deleted.
void PrefixNotTheUsers(TStage &stage)
{
    const QString prefix = stage.Program.Dir.filePath("prefix");
    if (getuid() != 0) {
        ASSERT_EQ(QProcess::execute("chmod", {"-R", "a-w", prefix + "/drive_c"}), 0);
    }
    ASSERT_NO_FATAL_FAILURE(UnwritableWithHome(stage));
}

// A scan slow enough to interrupt: two equal 64 GiB sparse files on C: for the duplicate finder
// to read through; the signal comes once its temporary chunk files exist, so that their removal
// is what the run shows.
void SlowDuplicateScan(TStage &stage, int signal)
{
    const QString prefix = stage.Program.Dir.filePath("prefix");
    ASSERT_TRUE(TestSupport::AddEqualSparseFiles(prefix, "64G"));
    TProgramCopy *program = &stage.Program;
    stage.WhileRunning = [program, signal](QProcess &p) {
        ASSERT_TRUE(WaitUntil([&] { return !program->Temporaries().isEmpty() || p.state() != QProcess::Running; },
                              RunTimeout))
            << "the scan made no temporary chunk file";
        ASSERT_EQ(p.state(), QProcess::Running) << "the scan ended before the signal";
        kill(pid_t(p.processId()), signal);
    };
}

void InLocale(TStage &stage, const char *locale)
{
    stage.Env.insert("LANG", locale);
    for (const char *name : {"LC_ALL", "LC_COLLATE", "LANGUAGE"})
        stage.Env.remove(name);
}

qsizetype LineAt(const QByteArray &log, const char *line) { return log.indexOf(QByteArray("\r\n") + line + "\r\n"); }
} // namespace

TEST(Program, OneInstanceAndUnattendedRuns)
{
    TProgramCopy program;
    ASSERT_FALSE(program.Exe.isEmpty());

    QProcess first;
    program.Start(first, {}, true);
    ASSERT_TRUE(first.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] { return LockHeld(program.LockPath()); }, 20000));

    QProcess second;
    program.Start(second, {"-ccache", "-exit"}, false);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 4);
    EXPECT_FALSE(QFile::exists(program.Dir.filePath("Vaskimo.log"))) << "the second instance ran its switches";

    first.kill();
    ASSERT_TRUE(first.waitForFinished(5000));

    // No display and no platform named: a batch run goes offscreen, runs and ends.
    QProcess third;
    program.Start(third, {"-ccache", "-exit"}, false);
    ASSERT_TRUE(third.waitForFinished(20000));
    EXPECT_EQ(third.exitCode(), 0);
    const QByteArray text = program.Log();
    EXPECT_TRUE(text.startsWith("Vaskimo started on ")) << text.constData();
    EXPECT_TRUE(text.endsWith("-exit\r\nAll done exiting!\r\n")) << text.constData();
}

TEST(Program, UnattendedRunsEndWithACodeAndAQuietStandardError)
{
    // The Czech collation must really put "ch" after "d", or the locale rows would show nothing.
    QCollator czech{QLocale(QLocale::Czech, QLocale::Czechia)};
    ASSERT_GT(czech.compare(QStringLiteral("-chistory"), QStringLiteral("-dup")), 0);

    using TCheck = std::function<void(TStage &, const QByteArray &log)>;
    const TCheck noLog = [](TStage &stage, const QByteArray &log) {
        EXPECT_TRUE(log.isEmpty()) << log.constData();
        EXPECT_FALSE(QFile::exists(stage.Program.Dir.filePath("Options.ini")));
    };
    const TCheck historyBeforeDup = [](TStage &, const QByteArray &log) {
        ASSERT_GE(LineAt(log, "-chistory"), 0) << log.constData();
        EXPECT_LT(LineAt(log, "-chistory"), LineAt(log, "-dup")) << log.constData();
        EXPECT_TRUE(log.endsWith("All done exiting!\r\n")) << log.constData();
    };
    const auto stoppedBy = [](const char *signal) {
        return TCheck([signal](TStage &stage, const QByteArray &log) {
            EXPECT_TRUE(log.contains(QByteArray(": stopped by ") + signal + "\r\n")) << log.constData();
            EXPECT_TRUE(log.contains("\r\nAborted by user!\r\n")) << log.constData();
            EXPECT_FALSE(log.contains("All done exiting!")) << log.constData();
            EXPECT_TRUE(stage.Program.Temporaries().isEmpty()) << qPrintable(stage.Program.Temporaries().join(' '));
        });
    };
    const struct {
        const char *name;
        QStringList args;
        std::function<void(TStage &)> prepare;
        int code;
        const char *stderrHas;  // "": standard error stays empty
        TCheck check;
    } cases[] = {
        {"unwritable program folder", {"-reg", "-exit"}, Unwritable, 2, "Cannot", noLog},
        {"unwritable program folder, a home of its own", {"-reg", "-exit"}, UnwritableWithHome, 0, "",
         [](TStage &stage, const QByteArray &log) {
             EXPECT_TRUE(log.isEmpty()) << "written beside the program: " << log.constData();
             QFile own(stage.Program.Dir.filePath("home/.config/vaskimo/Vaskimo.log"));
             ASSERT_TRUE(own.open(QIODevice::ReadOnly));
             EXPECT_TRUE(own.readAll().endsWith("All done exiting!\r\n"));
         }},
        {"deletions refused", {"-delunn", "-exit"}, PrefixNotTheUsers, 1,
         "Vaskimo: -delunn: C:\\Tools\\viewer.bak: it cannot be opened for writing: Permission denied\n",
         [](TStage &stage, const QByteArray &) {
             QFile own(stage.Program.Dir.filePath("home/.config/vaskimo/Vaskimo.log"));
             ASSERT_TRUE(own.open(QIODevice::ReadOnly));
             const QByteArray log = own.readAll();
             EXPECT_TRUE(log.contains("Found 5 unnecessary files! Deleting...")) << log.constData();
             EXPECT_TRUE(log.contains("Vaskimo failed to delete 5 of the selected file(s)!")) << log.constData();
             EXPECT_TRUE(log.endsWith("All done exiting!\r\n")) << log.constData();
             EXPECT_TRUE(QFile::exists(stage.Program.Dir.filePath("prefix/drive_c/Tools/viewer.bak")));
             const QString trash = stage.Program.Dir.filePath("home/.local/share/Trash/files");
             EXPECT_TRUE(QDir(trash).isEmpty()) << "copies left in the Trash";
         }},
        {"first run under a display", {"-reg", "-exit"}, StartXvfb, 0, "",
         [](TStage &stage, const QByteArray &log) {
             EXPECT_TRUE(log.endsWith("-exit\r\nAll done exiting!\r\n")) << log.constData();
             // The language choice is left to the next start, which is then still a first run.
             QFile ini(stage.Program.Dir.filePath("Options.ini"));
             if (ini.open(QIODevice::ReadOnly)) {
                 EXPECT_FALSE(ini.readAll().contains("Language index"));
             }
         }},
        {"a display that cannot be reached", {"-reg", "-exit"},
         [](TStage &s) { s.Env.insert("DISPLAY", ":64999"); }, 0, "",
         [](TStage &, const QByteArray &log) { EXPECT_TRUE(log.endsWith("All done exiting!\r\n")) << log.constData(); }},
        {"no display: auto-start line", {"-s", "-startup"}, nullptr, 3, "no display", noLog},
        {"no display: -exit alone", {"-exit"}, nullptr, 3, "no display", noLog},
        {"no display: help debug switch", {"-debug", "-exit"}, nullptr, 3, "no display", noLog},
        {"no display: two switches in one argument", {"-reg,-unn"}, nullptr, 0, "",
         [](TStage &, const QByteArray &log) {
             EXPECT_GE(LineAt(log, "-reg"), 0) << log.constData();
             EXPECT_GE(LineAt(log, "-unn"), 0) << log.constData();
         }},
        {"no display: an unknown switch is named and still logged", {"-reg", "-Bogus", "-exit"}, nullptr, 0,
         "unknown switch \"-Bogus\"",
         [](TStage &, const QByteArray &log) {
             EXPECT_TRUE(log.contains(" -reg -Bogus -exit\r\n")) << log.constData();
             EXPECT_TRUE(log.endsWith("All done exiting!\r\n")) << log.constData();
         }},
        {"held lock: batch run", {"-ccache", "-exit"}, HoldLock, 4, "another Vaskimo is running", noLog},
        {"held lock: plain start",
         {"-s", "-startup"},
         [](TStage &stage) {
             HoldLock(stage);
             stage.Env.insert("QT_QPA_PLATFORM", "offscreen");
         },
         0, "", noLog},
        {"C.UTF-8 locale", {"-dup", "-chistory", "-exit"}, [](TStage &s) { InLocale(s, "C.UTF-8"); }, 0, "",
         historyBeforeDup},
        {"cs_CZ locale", {"-dup", "-chistory", "-exit"}, [](TStage &s) { InLocale(s, "cs_CZ.UTF-8"); }, 0, "",
         historyBeforeDup},
        {"SIGTERM mid-scan", {"-dup", "-exit"}, [](TStage &s) { SlowDuplicateScan(s, SIGTERM); }, 128 + SIGTERM,
         "Vaskimo: -dup: stopped by SIGTERM\n", stoppedBy("SIGTERM")},
        {"SIGINT mid-scan", {"-dup", "-exit"}, [](TStage &s) { SlowDuplicateScan(s, SIGINT); }, 128 + SIGINT,
         "Vaskimo: -dup: stopped by SIGINT\n", stoppedBy("SIGINT")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TStage stage;
        if (c.prepare) {
            ASSERT_NO_FATAL_FAILURE(c.prepare(stage));
        }
        QProcess run;
        run.setProcessEnvironment(stage.Env);
        if (stage.Wrapper.isEmpty())
            run.start(stage.Program.Exe, c.args);
        else
            run.start(stage.Wrapper.first(), stage.Wrapper.mid(1) + QStringList{stage.Program.Exe} + c.args);
        ASSERT_TRUE(run.waitForStarted(5000));
        if (stage.WhileRunning) {
            ASSERT_NO_FATAL_FAILURE(stage.WhileRunning(run));
        }
        if (!run.waitForFinished(RunTimeout)) {
            run.kill();
            run.waitForFinished(5000);
            ADD_FAILURE() << "the run did not end within " << RunTimeout / 1000 << " s";
            continue;
        }
        const QByteArray err = run.readAllStandardError();
        stage.Err = err;
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit) << err.constData();
        EXPECT_EQ(run.exitCode(), c.code) << err.constData();
        if (*c.stderrHas) {
            EXPECT_TRUE(err.contains(c.stderrHas)) << err.constData();
        } else if (c.code == 0) {
            EXPECT_TRUE(err.isEmpty()) << err.constData();
        }
        c.check(stage, stage.Program.Log());
    }
}

TEST(Program, HiddenDelregRunCleansAndEnds)
{
    TestSupport::TPrefixBuilder prefix;
    prefix.AddString(TestSupport::THive::System, "Software\\Gone", "Path", "C:\\missing\\gone.dll");
    prefix.AddString(TestSupport::THive::System, "Software\\Kept", "Path", "C:\\windows\\system32");
    prefix.Write();
    TProgramCopy program;
    program.Env.insert("WINEPREFIX", prefix.Folder());
    QProcess run;
    program.Start(run, {"-s", "-delreg", "-exit"}, true);
    ASSERT_TRUE(run.waitForFinished(60000));
    EXPECT_EQ(run.exitCode(), 0);
    const QByteArray text = program.Log();
    EXPECT_FALSE(text.contains("Aborted by user!")) << text.constData();
    EXPECT_TRUE(text.contains("-delreg\r\n")) << text.constData();
    EXPECT_TRUE(text.endsWith("All done exiting!\r\n")) << text.constData();
    QFile hive(prefix.HivePath(TestSupport::THive::System));
    ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
    const QByteArray system = hive.readAll();
    EXPECT_FALSE(system.contains("gone.dll"));
    EXPECT_TRUE(system.contains("system32"));
}
