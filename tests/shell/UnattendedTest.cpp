// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: unattended runs as cron starts them (only PATH and HOME), as root and as nobody, each in a /tmp of its
// own: dead displays, no prefix, failures on standard error, the lock's fallback folder, a stop at the first question.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/DemoPrefix.h"
#include "support/Needs.h"
#include "support/ProcessWait.h"
#include "support/ProgramCopy.h"
#include "support/RunProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using TestSupport::WaitUntil;

namespace {

constexpr int RunTimeout = 60000;

// Makes /tmp private to one process and whoever joins its mount namespace, keeping the case's own
// folder (itself in /tmp) where it was: /tmp/vaskimo-<uid> is then this case's alone, however many
// runs of the suite share the machine.
const char *const PrivateTmp = R"(set -e
stage=$1
mkdir -p "$stage/tmp"
chmod 1777 "$stage/tmp"
case "$stage" in /tmp/*)
    mkdir -p "$stage/tmp/${stage#/tmp/}"
    mount --bind "$stage" "$stage/tmp/${stage#/tmp/}" ;;
esac
mount --rbind "$stage/tmp" /tmp
echo ready
exec sleep 600
)";

// One case: the program copy on the demo prefix, a home, the cron environment, the namespace.
struct TCronCase {
    QTemporaryDir Dir;
    bool Nobody = false;
    uid_t Uid = 0;
    gid_t Gid = 0;
    QString Exe;
    QProcessEnvironment Env;
    QProcess Namespace;
    std::vector<std::unique_ptr<QProcess>> Helpers;
    QByteArray Err;  // the run's standard error

    ~TCronCase()
    {
        for (auto &helper : Helpers) {
            helper->kill();
            helper->waitForFinished(5000);
        }
        Namespace.kill();
        Namespace.waitForFinished(5000);
    }
    QString Path(const QString &name) const { return Dir.filePath(name); }
    QString Home() const { return Path(Nobody ? "nobody-home" : "root-home"); }
    // Where the run's log and its duplicate list go: beside the program for root, whose folder
    // it is; nobody's own per-user folder otherwise.
    QString Own() const { return Nobody ? Home() + "/.config/vaskimo" : Dir.path(); }
    QByteArray Log() const
    {
        QFile log(Own() + "/Vaskimo.log");
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }
    void GiveToUser(const QString &path) const { ASSERT_EQ(chown(QFile::encodeName(path).constData(), Uid, Gid), 0); }

    void Prepare(bool nobody)
    {
        Nobody = nobody;
        if (nobody) {
            const passwd *user = getpwnam("nobody");
            ASSERT_NE(user, nullptr);
            Uid = user->pw_uid;
            Gid = user->pw_gid;
        }
        ASSERT_EQ(chmod(QFile::encodeName(Dir.path()).constData(), 0755), 0);
        Exe = TestSupport::CopyProgram(Dir.path(), VASKIMO_EXE);
        ASSERT_FALSE(Exe.isEmpty());
        ASSERT_EQ(TestSupport::CopyDemoPrefix(Path("prefix")), 0);
        ASSERT_TRUE(QDir().mkpath(Home()));
        ASSERT_NO_FATAL_FAILURE(GiveToUser(Home()));
        Env.insert("PATH", "/usr/bin:/bin");
        Env.insert("HOME", Home());
        Env.insert("WINEPREFIX", Path("prefix"));
        Namespace.start("unshare", {"--mount", "--propagation", "private", "--", "sh", "-c", PrivateTmp, "sh", Dir.path()});
        ASSERT_TRUE(Namespace.waitForStarted(5000));
        ASSERT_TRUE(WaitUntil([&] { return Namespace.canReadLine() || Namespace.state() != QProcess::Running
                                          || (Namespace.waitForReadyRead(100), false); }, 15000));
        ASSERT_EQ(Namespace.readLine(), "ready\n") << Namespace.readAllStandardError().constData();
    }
    // The words that run program as this case's user inside its namespace.
    QStringList Command(const QString &program, const QStringList &args) const
    {
        QStringList words{"--mount=/proc/" + QString::number(Namespace.processId()) + "/ns/mnt", "--"};
        if (Nobody)
            words << TestSupport::AsNobody();
        return words << program << args;
    }
    void Start(QProcess &p, const QString &program, const QStringList &args, const QProcessEnvironment &env) const
    {
        p.setProcessEnvironment(env);
        p.start("nsenter", Command(program, args));
    }
    // /tmp as the program sees it: a path inside the case's private /tmp.
    QString Tmp(const QString &name) const { return Path("tmp/" + name); }
    QString LockFolder() const { return QStringLiteral("/tmp/vaskimo-%1").arg(Uid); }

    // Another instance of the same user, its window open offscreen, holding the lock.
    void HoldLock(const QProcessEnvironment &env)
    {
        Helpers.push_back(std::make_unique<QProcess>());
        QProcessEnvironment holderEnv = env;
        holderEnv.insert("QT_QPA_PLATFORM", "offscreen");
        Start(*Helpers.back(), Exe, {}, holderEnv);
        ASSERT_TRUE(Helpers.back()->waitForStarted(5000));
        const QByteArray lock = QFile::encodeName(Tmp(QStringLiteral("vaskimo-%1/Vaskimo.lock").arg(Uid)));
        ASSERT_TRUE(WaitUntil([&] {
            const int fd = open(lock.constData(), O_RDONLY | O_CLOEXEC);
            const bool held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            if (fd >= 0)
                close(fd);
            return held;
        }, 20000)) << "the first instance took no lock in " << qPrintable(LockFolder());
    }
};

using TCheck = std::function<void(TCronCase &, const QByteArray &log)>;

const TCheck AllDone = [](TCronCase &, const QByteArray &log) {
    EXPECT_TRUE(log.endsWith("-exit\r\nAll done exiting!\r\n")) << log.constData();
};
const TCheck NothingRan = [](TCronCase &, const QByteArray &log) { EXPECT_TRUE(log.isEmpty()) << log.constData(); };

// Named on standard error and in the log, and no switch ran.
TCheck RefusedFor(const char *folder, const char *what)
{
    return [folder, what](TCronCase &c, const QByteArray &log) {
        const QByteArray reason = "There is no Wine prefix in \"" + QFile::encodeName(c.Path(folder)) + "\": " + what + ".";
        EXPECT_TRUE(c.Err.startsWith("Vaskimo: " + reason)) << c.Err.constData();
        EXPECT_EQ(c.Err.count('\n'), 1) << c.Err.constData();
        EXPECT_TRUE(log.contains("\r\n" + reason)) << log.constData();
        for (const char *work : {"Started searching", "Clearing", "All done exiting!"})
            EXPECT_FALSE(log.contains(work)) << log.constData();
    };
}

std::function<void(TCronCase &)> Prefix(const char *name, const std::function<void(const QString &)> &make)
{
    return [name, make](TCronCase &c) {
        if (make)
            make(c.Path(name));
        if (*name)
            c.Env.insert("WINEPREFIX", c.Path(name));
        else
            c.Env.remove("WINEPREFIX");
    };
}

// Two equal 64 GiB sparse files on C:: a comparison that a signal meets while it runs.
void SlowScan(TCronCase &c)
{
    ASSERT_TRUE(TestSupport::AddEqualSparseFiles(c.Path("prefix"), "64G"));
}

// A socket file that a compositor left when it died: there, but nobody listens.
void StaleWaylandSocket(TCronCase &c)
{
    const QByteArray path = QFile::encodeName(c.Path("wayland-stale"));
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    close(fd);
    c.Env.insert("WAYLAND_DISPLAY", QString::fromLocal8Bit(path));
}

// Xvfb on a display number it picks itself, reached through its abstract socket from any /tmp.
void StartXvfb(TCronCase &c)
{
    c.Helpers.push_back(std::make_unique<QProcess>());
    QByteArray why;
    const QString display = TestSupport::StartXvfb(*c.Helpers.back(), &why);
    ASSERT_FALSE(display.isEmpty()) << why.constData();
    c.Env.insert("DISPLAY", display);
}

enum class TWho { Both, Root, Nobody };

struct TRow {
    const char *name;
    TWho who;
    QStringList command;                       // the program's arguments; "timeout N" first to run it under GNU timeout
    std::function<void(TCronCase &)> prepare;
    std::function<void(TCronCase &, QProcess &)> whileRunning;
    int code;
    const char *stderrIs;                      // the whole of standard error; nullptr: the check looks at it
    TCheck check;
};

void RunRow(const TRow &row, bool nobody)
{
    TCronCase c;
    ASSERT_NO_FATAL_FAILURE(c.Prepare(nobody));
    if (row.prepare) {
        ASSERT_NO_FATAL_FAILURE(row.prepare(c));
    }
    QStringList args = row.command;
    QString program = c.Exe;
    if (args.value(0) == "timeout") {
        program = "timeout";
        args.insert(2, c.Exe);
        args.removeFirst();
    }
    QProcess run;
    c.Start(run, program, args, c.Env);
    ASSERT_TRUE(run.waitForStarted(5000));
    if (row.whileRunning) {
        ASSERT_NO_FATAL_FAILURE(row.whileRunning(c, run));
    }
    if (!run.waitForFinished(RunTimeout)) {
        run.kill();
        run.waitForFinished(5000);
        FAIL() << "the run did not end within " << RunTimeout / 1000 << " s";
    }
    c.Err += run.readAllStandardError();
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit) << c.Err.constData();
    EXPECT_EQ(run.exitCode(), row.code) << c.Err.constData();
    if (row.stderrIs) {
        EXPECT_EQ(c.Err.toStdString(), std::string(row.stderrIs));
    }
    if (row.check)
        row.check(c, c.Log());
}

// Waits until standard error holds text, then sends signal.
std::function<void(TCronCase &, QProcess &)> SignalAfter(const char *text, int signal)
{
    return [text, signal](TCronCase &c, QProcess &run) {
        ASSERT_TRUE(WaitUntil([&] {
            run.waitForReadyRead(50);
            c.Err += run.readAllStandardError();
            return c.Err.contains(text) || run.state() != QProcess::Running;
        }, 30000)) << c.Err.constData();
        ASSERT_EQ(run.state(), QProcess::Running) << c.Err.constData();
        // nsenter and setpriv become the program (they exec it): the signal goes to it.
        kill(pid_t(run.processId()), signal);
    };
}

const TRow Rows[] = {
    // A leftover display must not abort a run, nor leave Qt's complaint on standard error.
    {"a Wayland display that is gone", TWho::Both, {"-reg", "-exit"},
     [](TCronCase &c) { c.Env.insert("WAYLAND_DISPLAY", "wayland-0"); }, nullptr, 0, "", AllDone},
    {"a Wayland socket nobody listens on, and an X display that is gone", TWho::Both, {"-reg", "-exit"},
     [](TCronCase &c) {
         StaleWaylandSocket(c);
         c.Env.insert("DISPLAY", ":64999");
         c.Env.insert("XDG_SESSION_TYPE", "wayland");
     },
     nullptr, 0, "", AllDone},
    // A folder that is no Wine prefix: named, and nothing runs.
    {"no Wine prefix: a mistyped WINEPREFIX", TWho::Both, {"-reg", "-exit"}, Prefix("prefx", nullptr), nullptr, 2,
     nullptr, RefusedFor("prefx", "the folder does not exist")},
    {"no Wine prefix: an empty folder", TWho::Both, {"-ccache", "-exit"},
     Prefix("empty", [](const QString &p) { QDir().mkdir(p); }), nullptr, 2, nullptr,
     RefusedFor("empty", "it holds neither system.reg nor user.reg")},
    {"no Wine prefix: a file", TWho::Root, {"-dup", "-exit"},
     Prefix("file", [](const QString &p) { QFile f(p); f.open(QIODevice::WriteOnly); }), nullptr, 2, nullptr,
     RefusedFor("file", "it is not a folder")},
    {"no Wine prefix: no WINEPREFIX and no ~/.wine", TWho::Both, {"-unn", "-exit"}, Prefix("", nullptr), nullptr, 2,
     nullptr, [](TCronCase &c, const QByteArray &log) {
         RefusedFor(c.Nobody ? "nobody-home/.wine" : "root-home/.wine", "the folder does not exist")(c, log);
     }},
    {"no Wine prefix: the window says so at start", TWho::Root, {},
     [](TCronCase &c) {
         Prefix("prefx", nullptr)(c);
         c.Env.insert("QT_QPA_PLATFORM", "offscreen");
     },
     SignalAfter("There is no Wine prefix", SIGTERM), 128 + SIGTERM, nullptr,
     [](TCronCase &c, const QByteArray &) {
         EXPECT_TRUE(c.Err.contains("Vaskimo: There is no Wine prefix in \"" + QFile::encodeName(c.Path("prefx"))))
             << c.Err.constData();
     }},
    // Every failure on standard error, one line per reason, and the same in the log.
    {"deletions refused: the files are not the user's", TWho::Nobody, {"-delunn", "-exit"}, nullptr, nullptr, 1, nullptr,
     [](TCronCase &c, const QByteArray &log) {
         const QList<QByteArray> lines = c.Err.trimmed().split('\n');
         EXPECT_EQ(lines.size(), 5) << c.Err.constData();
         for (const QByteArray &line : lines) {
             EXPECT_TRUE(line.startsWith("Vaskimo: -delunn: C:\\") && line.endsWith(": Permission denied")) << line.constData();
             EXPECT_TRUE(log.contains(line.mid(18) + "\r\n")) << line.constData() << "\n" << log.constData();
         }
         EXPECT_TRUE(c.Err.contains("Vaskimo: -delunn: C:\\Tools\\viewer.bak: ")) << c.Err.constData();
         EXPECT_TRUE(log.contains("\r\nVaskimo failed to delete 5 of the selected file(s)! File(s) maybe in use.\r\n"))
             << log.constData();
         EXPECT_TRUE(QFile::exists(c.Path("prefix/drive_c/Tools/viewer.bak")));
     }},
    {"a search stopped by SIGTERM", TWho::Both, {"-dup", "-exit"}, SlowScan,
     [](TCronCase &c, QProcess &run) {
         ASSERT_TRUE(WaitUntil([&] { return !QDir(c.Own()).entryList({"Duplicat.tmp*"}, QDir::Files).isEmpty(); }, 20000));
         SignalAfter("", SIGTERM)(c, run);
     },
     128 + SIGTERM, "Vaskimo: -dup: stopped by SIGTERM\n",
     [](TCronCase &c, const QByteArray &log) {
         EXPECT_TRUE(log.contains(": stopped by SIGTERM\r\n")) << log.constData();
         EXPECT_TRUE(QDir(c.Own()).entryList({"Duplicat.tmp*"}, QDir::Files).isEmpty());
     }},
    {"-dup: Duplicat.log cannot be written", TWho::Both, {"-dup", "-exit"},
     [](TCronCase &c) {
         ASSERT_TRUE(QDir().mkpath(c.Own() + "/Duplicat.log"));
         if (c.Nobody) {
             for (const QString &folder : {c.Home() + "/.config", c.Own(), c.Own() + "/Duplicat.log"})
                 ASSERT_NO_FATAL_FAILURE(c.GiveToUser(folder));
         }
     },
     nullptr, 1, nullptr,
     [](TCronCase &c, const QByteArray &log) {
         const QByteArray reason = "Cannot write \"" + QFile::encodeName(c.Own() + "/Duplicat.log") + '"';
         EXPECT_TRUE(c.Err.startsWith("Vaskimo: -dup: " + reason)) << c.Err.constData();
         EXPECT_EQ(c.Err.count('\n'), 1) << c.Err.constData();
         EXPECT_TRUE(log.contains("\r\n" + reason)) << log.constData();
         EXPECT_TRUE(log.endsWith("All done exiting!\r\n")) << log.constData();
     }},
    // The lock: never skipped, in /tmp/vaskimo-<uid> when there is no private runtime folder.
    {"lock: XDG_RUNTIME_DIR is /tmp, and another instance runs", TWho::Both, {"-reg", "-exit"},
     [](TCronCase &c) {
         c.Env.insert("XDG_RUNTIME_DIR", "/tmp");
         c.HoldLock(c.Env);
     },
     nullptr, 4, nullptr,
     [](TCronCase &c, const QByteArray &log) {
         EXPECT_TRUE(c.Err.contains("another Vaskimo is running (it holds " + QFile::encodeName(c.LockFolder())
                                    + "/Vaskimo.lock)")) << c.Err.constData();
         NothingRan(c, log);
     }},
    {"lock: no XDG_RUNTIME_DIR, and another instance runs", TWho::Both, {"-ccache", "-exit"},
     [](TCronCase &c) { c.HoldLock(c.Env); }, nullptr, 4, nullptr,
     [](TCronCase &c, const QByteArray &log) {
         EXPECT_TRUE(c.Err.contains("another Vaskimo is running")) << c.Err.constData();
         NothingRan(c, log);
     }},
    {"lock: /tmp/vaskimo-<uid> belongs to someone else", TWho::Both, {"-reg", "-exit"},
     [](TCronCase &c) {
         const QString folder = c.Tmp(QStringLiteral("vaskimo-%1").arg(c.Uid));
         ASSERT_TRUE(QDir().mkdir(folder));
         const passwd *other = getpwnam(c.Nobody ? "root" : "nobody");
         ASSERT_EQ(chown(QFile::encodeName(folder).constData(), other->pw_uid, other->pw_gid), 0);
     },
     nullptr, 2, nullptr,
     [](TCronCase &c, const QByteArray &log) {
         EXPECT_EQ(c.Err, "Vaskimo: cannot take the one-instance lock: " + QFile::encodeName(c.LockFolder())
                              + " is not a folder of this user. Nothing ran.\n");
         NothingRan(c, log);
     }},
    // The first run's language chooser, under a display, stopped by GNU timeout.
    {"SIGTERM while the first run's language chooser is open", TWho::Both, {"timeout", "4"}, StartXvfb, nullptr,
     124, nullptr, [](TCronCase &c, const QByteArray &) {
         EXPECT_FALSE(QFile::exists(c.Own() + "/Vaskimo.log"));
     }},
};

class Unattended : public ::testing::TestWithParam<bool>
{
};

} // namespace

TEST_P(Unattended, AsCronRunsIt)
{
    VASKIMO_NEED(getuid() == 0, "needs root: a mount namespace of its own, and setpriv to become nobody");
    const bool nobody = GetParam();
    for (const TRow &row : Rows) {
        if ((row.who == TWho::Root && nobody) || (row.who == TWho::Nobody && !nobody))
            continue;
        SCOPED_TRACE(row.name);
        RunRow(row, nobody);
    }
}

INSTANTIATE_TEST_SUITE_P(, Unattended, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "AsNobody" : "AsRoot"; });
