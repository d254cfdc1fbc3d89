// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Wine itself for tests: a wineboot prefix made once per test binary, reg and regedit, a held wineserver, the built program as a process.
//
// Usage:
//   VASKIMO_NEED_WINE();                                        // support/Needs.h
//   const TWinebootPrefix &fresh = TWinebootPrefix::Shared();   // wineboot -i, once per binary
//   fresh.CopyTo(folder);                                       // one copy per case (drive_c hard-linked)
//   Reg(folder, {{"add", "HKCU\\Software\\X", "/v", "v", "/d", "C:\\gone.exe", "/f"}});
//   TWineServer server; server.Start(folder);  ...  server.Stop();   // wineserver -p, then -k
//   TProgramCopy program(VASKIMO_EXE); program.Run({"-delreg", "-exit"}, folder);
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace TestSupport {

// Debian's "wine" wrapper wants the 32-bit loader; the 64-bit one runs on its own.
QString Wine64();
QString WineServerProgram();
// False (with the reason) when Wine is not installed here.
bool WineInstalled(QString *why);

// WINEPREFIX=prefix, a 64-bit prefix, no display, no Wine debug output but the errors of its memory
// set-up (the ones that end a Wine process before it runs anything).
QProcessEnvironment WineEnvironment(const QString &prefix);
// The same for a user whose home is home (HOME and the XDG folders below it: config, data, cache).
QProcessEnvironment WineEnvironment(const QString &prefix, const QString &home);

// Wine's loader with args ({"reg", "query", key}) in env: its exit code, as RunToExit. Neither it nor
// the Wine processes it starts get a randomized address space (see the .cpp for why).
int RunWine(const QStringList &args, const QProcessEnvironment &env, int timeoutMs, QByteArray *out,
            const QString &workingFolder = {});

// "wine reg ..." in the prefix, one command after the other (it stops at the first that fails),
// all under one wineserver held for them; the server has ended and written the hives when it returns.
// A command that fails is named in *output, with its exit code, before what Wine printed.
bool Reg(const QString &prefix, const QList<QStringList> &commands, QByteArray *output = nullptr);
// Wine programs in the prefix ({"attrib", "+h", "C:\\x"}), one after the other under one held server, likewise.
bool WinePrograms(const QString &prefix, const QList<QStringList> &commands, QByteArray *output = nullptr);
// "wine regedit /S" of a host file, likewise.
bool RegeditImport(const QString &prefix, const QString &hostFile, QByteArray *output = nullptr, int timeoutMs = 60000);
// "wineserver -w": waits until the prefix's server has ended and written its hives.
[[nodiscard]] bool WaitForWineserver(const QString &prefix);

// A prefix made by wineboot, once per test binary.
class TWinebootPrefix
{
public:
    static const TWinebootPrefix &Shared();
    QString Folder() const { return FFolder; }
    QString Error() const { return FError; }  // why wineboot did not make it; empty when it did
    // A copy for one case: the hives, win.ini, system.ini and the top-level files copied, the rest of
    // drive_c hard-linked (tests must replace files there, never write into them). The copy has its
    // own wineserver folder.
    bool CopyTo(const QString &folder, QString *error) const;
    // The same, with the profile's links into the home (Desktop, Documents ... as wineboot made
    // them for a home without those folders) leading into home instead.
    bool CopyWithHome(const QString &folder, const QString &home, QString *error) const;

private:
    TWinebootPrefix();
    ~TWinebootPrefix();
    std::unique_ptr<QTemporaryDir> FDir;
    QString FFolder;
    QString FHome;  // the home wineboot linked the profile into
    QString FError;
};

// A wineserver held for a prefix ("wineserver -f -p"), as a Wine program holds it.
class TWineServer
{
public:
    ~TWineServer();
    // Starts the server and waits until it greets a client on its socket (found under tmpDir, else
    // /tmp, through the prefix's file "wineserver"): only then do its signals end it cleanly. Fails
    // when another server holds the prefix.
    // tmpDir: the TMPDIR the server is started with; empty for the one of the tests.
    bool Start(const QString &prefix, QString *error, const QString &tmpDir = {});
    // SIGINT, the signal "wineserver -k" sends first: the server writes its hives and exits. It gets
    // a minute for that; -k would send SIGKILL after ten seconds, too soon on a loaded machine.
    bool Stop();
    // The server dies without a word (SIGKILL): its socket stays behind.
    void Crash();
    QString SocketPath() const { return FSocket; }

private:
    QString FPrefix;
    QString FTmpDir;
    QString FSocket;
    std::unique_ptr<QProcess> FProcess;
};

// True when a connection to the Unix socket at path is accepted.
bool UnixSocketAccepts(const QString &path);
// Removes the folder wine-XXXXXX that Debian's Wine made for the prefix under tmpDir (empty: /tmp),
// once no server of the prefix answers in it (Wine leaves it behind).
void RemoveServerFolder(const QString &prefix, const QString &tmpDir = {});

// The built program copied into a temporary folder of its own, with the shipped blacklist: its
// Options.ini, Vaskimo.log and Undo folder land there.
class TProgramCopy
{
public:
    // blacklist: empty for the one the build puts beside exe.
    explicit TProgramCopy(const QString &exe, const QString &blacklist = {});
    QString Folder() const { return FDir.path(); }
    QString FilePath(const QString &name) const { return FDir.filePath(name); }
    // Runs it with args on prefix (offscreen, no display); false when it does not end in time or fails.
    bool Run(const QStringList &args, const QString &prefix, QByteArray *output = nullptr, int timeoutMs = 60000);
    // The same in an environment of the caller's (WineEnvironment with a home of its own, say).
    bool Run(const QStringList &args, const QProcessEnvironment &env, QByteArray *output = nullptr, int timeoutMs = 60000);
    // The same as the user "nobody" (setpriv; only root can), who owns the program's folder and may
    // read, not write, what root made. False with the reason when that cannot be arranged.
    bool RunAsNobody(const QStringList &args, const QString &prefix, QByteArray *output);
    QByteArray Log() const;  // Vaskimo.log
    int ExitCode() const { return FExitCode; }  // the last run's; -1 when it timed out or died
    void WriteOptions(const QByteArray &text);  // Options.ini

private:
    bool RunProgram(const QStringList &command, QProcessEnvironment env, QByteArray *output, int timeoutMs);
    QTemporaryDir FDir;
    int FExitCode = -1;
    QString FExe;
};

// Lets every user pass through the folders above path (temporary folders are their owner's only).
void OpenFoldersAbove(const QString &path);

QByteArray ReadFileBytes(const QString &path);

}  // namespace TestSupport
