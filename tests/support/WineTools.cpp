// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Wine itself for tests: wineboot, reg, regedit, a held wineserver and the program as a process.
#include "support/WineTools.h"

#include "support/ProgramCopy.h"
#include "support/RunProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <poll.h>
#include <sys/personality.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <pwd.h>
#include <unistd.h>

namespace TestSupport {

namespace {
const QString WineDir = QStringLiteral("/usr/lib/wine");

// Where Debian's Wine makes the prefix's server folder: TMPDIR, else /tmp.
QString ServerFolder(const QString &prefix, const QString &tmpDir)
{
    const QString name = QString::fromLocal8Bit(ReadFileBytes(QDir(prefix).filePath(QStringLiteral("wineserver"))).trimmed());
    if (!name.startsWith(QStringLiteral("wine-")) || name.contains(u'/'))
        return {};
    return (tmpDir.isEmpty() ? QStringLiteral("/tmp") : tmpDir) + u'/' + name;
}
}

QString Wine64()
{
    return WineDir + QStringLiteral("/wine64");
}

QString WineServerProgram()
{
    return WineDir + QStringLiteral("/wineserver");
}

bool WineInstalled(QString *why)
{
    for (const QString &program : {Wine64(), WineServerProgram()})
        if (!QFileInfo(program).isExecutable()) {
            *why = QStringLiteral("Wine is not installed (no %1)").arg(program);
            return false;
        }
    return true;
}

QProcessEnvironment WineEnvironment(const QString &prefix)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), prefix);
    env.insert(QStringLiteral("WINEARCH"), QStringLiteral("win64"));
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all,err+virtual"));
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("winemenubuilder.exe=d"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

QProcessEnvironment WineEnvironment(const QString &prefix, const QString &home)
{
    QProcessEnvironment env = WineEnvironment(prefix);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    return env;
}

// Debian's Wine has no preloader to reserve the fixed addresses of a Windows process first: wine64
// maps the shared user data at 0x7ffe0000 only once the C library has set up its heap, and the
// kernel puts a program's heap anywhere in the GiB above its image (wine64's ends at 0x7d005000).
// About one Wine process start in 7,700 finds its heap there and ends at once ("failed to map the
// shared user data"; a program that start.exe runs for "wine64 reg" then fails with "ShellExecuteEx
// failed: Internal error."). Without randomization the heap follows the image, 47 MiB below; the
// processes Wine starts inherit that. Where the system refuses, the run goes on as before.
int RunWine(const QStringList &args, const QProcessEnvironment &env, int timeoutMs, QByteArray *out,
            const QString &workingFolder)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingFolder.isEmpty())
        p.setWorkingDirectory(workingFolder);
    p.setChildProcessModifier([] {
        const int current = ::personality(0xffffffff);
        if (current != -1)
            ::personality(static_cast<unsigned long>(current) | ADDR_NO_RANDOMIZE);
    });
    return RunToExit(p, Wine64(), args, timeoutMs, out);
}

bool WaitForWineserver(const QString &prefix)
{
    QByteArray out;
    return RunToEnd(WineServerProgram(), {QStringLiteral("-w")}, WineEnvironment(prefix), 60000, &out);
}

namespace {

// The programs one after the other under one server held for all. Debian's wineserver wrapper
// gives a server that a Wine program starts no idle time (-p0): it shuts down as that program
// ends, and the next program, started meanwhile, gives up after some five seconds ("a wine server
// seems to be running, but I cannot connect to it"), which a shutdown on a loaded machine outlasts.
bool RunWithHeldServer(const QString &prefix, const QList<QStringList> &commands, int timeoutMs, QByteArray *output)
{
    QByteArray all;
    TWineServer server;
    QString why;
    bool ok = server.Start(prefix, &why);
    if (!ok)
        all = why.toLocal8Bit();
    for (const QStringList &args : commands) {
        if (!ok)
            break;
        QByteArray out;
        const int code = RunWine(args, WineEnvironment(prefix), timeoutMs, &out);
        ok = code == 0;
        if (!ok)
            all += QStringLiteral("wine64 %1 (exit code %2):\n").arg(args.join(u' ')).arg(code).toLocal8Bit();
        all += out;
    }
    ok = server.Stop() && ok;
    if (output)
        *output = all;
    return ok;
}

}  // namespace

bool Reg(const QString &prefix, const QList<QStringList> &commands, QByteArray *output)
{
    QList<QStringList> programs;
    for (const QStringList &args : commands)
        programs.append(QStringList{QStringLiteral("reg")} + args);
    return RunWithHeldServer(prefix, programs, 60000, output);
}

bool WinePrograms(const QString &prefix, const QList<QStringList> &commands, QByteArray *output)
{
    return RunWithHeldServer(prefix, commands, 120000, output);
}

bool RegeditImport(const QString &prefix, const QString &hostFile, QByteArray *output, int timeoutMs)
{
    const QString windowsPath = QStringLiteral("Z:") + QString(hostFile).replace(u'/', u'\\');
    return RunWithHeldServer(prefix, {{QStringLiteral("regedit"), QStringLiteral("/S"), windowsPath}}, timeoutMs, output);
}

QByteArray ReadFileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// ---- wineboot

const TWinebootPrefix &TWinebootPrefix::Shared()
{
    static const TWinebootPrefix prefix;
    return prefix;
}

TWinebootPrefix::TWinebootPrefix()
{
    QString why;
    if (!WineInstalled(&why)) {
        FError = why;
        return;
    }
    FDir = std::make_unique<QTemporaryDir>();
    FFolder = FDir->filePath(QStringLiteral("prefix"));
    FHome = QFileInfo(WineEnvironment(FFolder).value(QStringLiteral("HOME"), QDir::homePath())).canonicalFilePath();
    QByteArray out;
    if (RunWine({QStringLiteral("wineboot"), QStringLiteral("-i")}, WineEnvironment(FFolder), 180000, &out) != 0
        || !WaitForWineserver(FFolder)) {
        FError = QStringLiteral("wineboot did not make a prefix: ") + QString::fromLocal8Bit(out);
        return;
    }
    for (const char *hive : {"system.reg", "user.reg", "userdef.reg"})
        if (!QFileInfo(QDir(FFolder).filePath(QString::fromLatin1(hive))).isFile())
            FError = QStringLiteral("wineboot wrote no %1").arg(QString::fromLatin1(hive));
}

TWinebootPrefix::~TWinebootPrefix()
{
    if (!FFolder.isEmpty() && WaitForWineserver(FFolder))
        RemoveServerFolder(FFolder);
}

bool TWinebootPrefix::CopyTo(const QString &folder, QString *error) const
{
    if (!FError.isEmpty()) {
        *error = FError;
        return false;
    }
    QByteArray out;
    QDir().mkpath(folder);
    if (!RunToEnd(QStringLiteral("cp"), {QStringLiteral("-al"), FFolder + QStringLiteral("/."), folder},
                 QProcessEnvironment::systemEnvironment(), 60000, &out)) {
        *error = QStringLiteral("cp -al: ") + QString::fromLocal8Bit(out);
        return false;
    }
    // Files that tests or Wine change are copies of their own; the server folder is the copy's own.
    QFile::remove(QDir(folder).filePath(QStringLiteral("wineserver")));
    const QStringList own = {QStringLiteral("system.reg"), QStringLiteral("user.reg"), QStringLiteral("userdef.reg"),
                             QStringLiteral(".update-timestamp"), QStringLiteral("drive_c/windows/win.ini"),
                             QStringLiteral("drive_c/windows/system.ini")};
    for (const QString &name : own) {
        const QString target = QDir(folder).filePath(name);
        const QString source = QDir(FFolder).filePath(name);
        if (!QFileInfo::exists(source))
            continue;
        QFile::remove(target);
        if (!QFile::copy(source, target)) {
            *error = QStringLiteral("cannot copy %1").arg(name);
            return false;
        }
        QFile::setPermissions(target, QFile::permissions(source) | QFileDevice::WriteOwner);
    }
    return true;
}

bool TWinebootPrefix::CopyWithHome(const QString &folder, const QString &home, QString *error) const
{
    if (!CopyTo(folder, error))
        return false;
    QDirIterator users(QDir(folder).filePath(QStringLiteral("drive_c/users")), QDir::Dirs | QDir::NoDotAndDotDot);
    while (users.hasNext()) {
        QDirIterator entries(users.next(), QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        while (entries.hasNext()) {
            const QString link = entries.next();
            const QString target = QFileInfo(link).symLinkTarget();
            if (target.isEmpty() || FHome.isEmpty() || (target != FHome && !target.startsWith(FHome + u'/')))
                continue;
            const QString moved = home + target.mid(FHome.size());
            if (!QFile::remove(link) || !QFile::link(moved, link)) {
                *error = QStringLiteral("cannot point %1 at %2").arg(link, moved);
                return false;
            }
        }
    }
    return true;
}

// ---- wineserver

namespace {
// A connected socket, else -1.
int ConnectUnix(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (name.isEmpty() || name.size() >= qsizetype(sizeof(address.sun_path)))
        return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The socket accepts as soon as wineserver listens, before it sets up its signal handlers and
// loads the registry: a SIGINT then makes it exit(1) without writing the hives. It greets a
// client (the protocol version) only from its main loop, when both are done.
bool ServerGreets(const QString &socket, int timeoutMs)
{
    const int fd = ConnectUnix(socket);
    if (fd < 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    int ready;
    do
        ready = ::poll(&p, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    ::close(fd);
    return ready > 0 && (p.revents & POLLIN);
}
}  // namespace

bool UnixSocketAccepts(const QString &path)
{
    const int fd = ConnectUnix(path);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

void RemoveServerFolder(const QString &prefix, const QString &tmpDir)
{
    const QString folder = ServerFolder(prefix, tmpDir);
    if (folder.isEmpty())
        return;
    QDirIterator it(folder, {QStringLiteral("server-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext())
        if (UnixSocketAccepts(it.next() + QStringLiteral("/socket")))
            return;
    QDir(folder).removeRecursively();
}

TWineServer::~TWineServer()
{
    if (FProcess && FProcess->state() != QProcess::NotRunning)
        Stop();
    if (!FPrefix.isEmpty())
        RemoveServerFolder(FPrefix, FTmpDir);
}

bool TWineServer::Start(const QString &prefix, QString *error, const QString &tmpDir)
{
    FPrefix = prefix;
    FTmpDir = tmpDir;
    FProcess = std::make_unique<QProcess>();
    QProcessEnvironment env = WineEnvironment(prefix);
    if (!tmpDir.isEmpty())
        env.insert(QStringLiteral("TMPDIR"), tmpDir);
    FProcess->setProcessEnvironment(env);
    FProcess->setProcessChannelMode(QProcess::MergedChannels);
    FProcess->start(WineServerProgram(), {QStringLiteral("-f"), QStringLiteral("-p")});
    if (!FProcess->waitForStarted(10000)) {
        *error = FProcess->errorString();
        return false;
    }
    // Where the server really is: the folder named in the prefix, any server-<dev>-<ino> below it.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000) {
        if (FProcess->state() == QProcess::NotRunning) {
            *error = QStringLiteral("wineserver ended (another one holds the prefix?): ") + QString::fromLocal8Bit(FProcess->readAll());
            return false;
        }
        const QString folder = ServerFolder(prefix, tmpDir);
        if (!folder.isEmpty()) {
            QDirIterator it(folder, {QStringLiteral("server-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
            while (it.hasNext()) {
                const QString socket = it.next() + QStringLiteral("/socket");
                if (UnixSocketAccepts(socket)) {
                    FSocket = socket;
                    if (ServerGreets(socket, 60000))
                        return true;
                    *error = QStringLiteral("wineserver accepted a connection but sent nothing within a minute");
                    return false;
                }
            }
        }
        QThread::msleep(20);
    }
    *error = QStringLiteral("wineserver's socket did not appear");
    return false;
}

bool TWineServer::Stop()
{
    if (!FProcess || FProcess->state() == QProcess::NotRunning)
        return false;  // it never started, or it ended before it was told to
    ::kill(pid_t(FProcess->processId()), SIGINT);
    if (FProcess->waitForFinished(60000))
        return FProcess->exitStatus() == QProcess::NormalExit && FProcess->exitCode() == 0;
    FProcess->kill();
    FProcess->waitForFinished(10000);
    return false;
}

void TWineServer::Crash()
{
    if (!FProcess)
        return;
    FProcess->kill();
    FProcess->waitForFinished(10000);
}

// ---- the program

TProgramCopy::TProgramCopy(const QString &exe, const QString &blacklist)
    : FExe(CopyProgram(FDir.path(), exe, blacklist))
{
}

bool TProgramCopy::Run(const QStringList &args, const QString &prefix, QByteArray *output, int timeoutMs)
{
    return RunProgram(QStringList{FExe} + args, WineEnvironment(prefix), output, timeoutMs);
}

bool TProgramCopy::Run(const QStringList &args, const QProcessEnvironment &env, QByteArray *output, int timeoutMs)
{
    return RunProgram(QStringList{FExe} + args, env, output, timeoutMs);
}

bool TProgramCopy::RunProgram(const QStringList &command, QProcessEnvironment env, QByteArray *output, int timeoutMs)
{
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FDir.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QByteArray out;
    FExitCode = RunToExit(command.first(), command.mid(1), env, timeoutMs, &out);
    if (output)
        *output = out;
    return FExitCode == 0;
}

bool TProgramCopy::RunAsNobody(const QStringList &args, const QString &prefix, QByteArray *output)
{
    const passwd *nobody = ::getpwnam("nobody");
    if (::getuid() != 0 || !nobody) {
        *output = "only root can run the program as nobody";
        FExitCode = -1;
        return false;
    }
    OpenFoldersAbove(FDir.path());
    OpenFoldersAbove(prefix);
    QDirIterator it(FDir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    ::chown(QFile::encodeName(FDir.path()).constData(), nobody->pw_uid, nobody->pw_gid);
    while (it.hasNext())
        ::chown(QFile::encodeName(it.next()).constData(), nobody->pw_uid, nobody->pw_gid);
    return RunProgram(AsNobody() + QStringList{FExe} + args, WineEnvironment(prefix), output, 60000);
}

void OpenFoldersAbove(const QString &path)
{
    for (QDir dir(QFileInfo(path).absoluteFilePath()); !dir.isRoot(); dir.setPath(QFileInfo(dir.path()).path())) {
        struct stat st;
        if (::stat(QFile::encodeName(dir.path()).constData(), &st) == 0 && (st.st_mode & 0005) != 0005)
            ::chmod(QFile::encodeName(dir.path()).constData(), (st.st_mode & 07777) | 0005);
    }
}

QByteArray TProgramCopy::Log() const
{
    return ReadFileBytes(FDir.filePath(QStringLiteral("Vaskimo.log")));
}

void TProgramCopy::WriteOptions(const QByteArray &text)
{
    QFile f(FDir.filePath(QStringLiteral("Options.ini")));
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
}

}  // namespace TestSupport
