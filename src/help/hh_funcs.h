// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the help hook THookHelpSystem, the stand-alone viewer start, the diagnostic log TDLogFile and the help module's start data.
//
// Host types: 0 our HTML Help engine (hh.h), 1 and 2 the stand-alone viewer, which on this
// system is xchm for both (started through QProcess with an argument list, never a shell).
#pragma once

#include "help/hh.h"
#include "shell/SafeFormat.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

constexpr quint16 HELP_CONTEXT = 1;
constexpr quint16 HELP_QUIT = 2;
constexpr quint16 HELP_INDEX = 3;
constexpr quint16 HELP_CONTENTS = 3;
constexpr quint16 HELP_HELPONHELP = 4;
constexpr quint16 HELP_SETINDEX = 5;
constexpr quint16 HELP_SETCONTENTS = 5;
constexpr quint16 HELP_CONTEXTPOPUP = 8;
constexpr quint16 HELP_FORCEFILE = 9;
constexpr quint16 HELP_CONTEXTMENU = 10;
constexpr quint16 HELP_FINDER = 11;
constexpr quint16 HELP_WM_HELP = 12;
constexpr quint16 HELP_SETPOPUP_POS = 13;
constexpr quint16 HELP_KEY = 257;
constexpr quint16 HELP_COMMAND = 258;
constexpr quint16 HELP_PARTIALKEY = 261;
constexpr quint16 HELP_MULTIKEY = 513;
constexpr quint16 HELP_SETWINPOS = 515;

// The application's help handler, as the program's help requests reach it.
namespace AppHelp {
// Returns what the request returns; callHelp true lets the application's own help handling go on
// (there is none beyond the handler: such a request does nothing).
using THandler = std::function<bool(quint16 command, qintptr data, bool &callHelp)>;
THandler SetHandler(THandler handler);  // returns the previous one
THandler Handler();
bool HelpCommand(quint16 command, qintptr data);
bool HelpContext(qintptr context);
}

class TDLogFile
{
public:
    // path empty: the log folder + "/HHDebug.txt". Clears an old file's read-only state and, unless
    // appending, deletes it; in debug mode with the header on, writes the header.
    explicit TDLogFile(const QString &path, bool debugMode, bool timeStamp = true, bool header = true,
                       bool append = false);
    ~TDLogFile();

    QString Path() const { return FPath; }
    bool DebugMode() const { return FDebugMode; }

    // Only in debug mode. Without arguments the text is written as it is; "-" and "=" become
    // separator lines, a leading "!" is dropped and such lines get no time stamp. Each line is
    // appended whole or not at all; the first line that cannot be is reported on standard error.
    void Log(const QString &text, const QList<TFormatArg> &args = {});
    // Shown in a message box always, written in debug mode.
    void Error(const QString &text, const QList<TFormatArg> &args = {});
    void WriteHeader();

private:
    QString FPath;
    bool FDebugMode;
    bool FTimeStamp;
    bool FHeader;
    bool FAppend;
    int FCodePage;
    bool FWriteFailed = false;
};

// What the help module gathers at start.
struct THHModuleInfo {
    QString ModulePath, ModuleDir, ModuleName;  // host paths, folders without a trailing "/"
    QString RunDir;                             // folder of the first command-line argument
    QStringList Arguments;                      // the whole command line, program first
    QString LogDir;
    bool DebugMode = false;
    TFileVersion HHVersion, IEVersion;
    bool HHInstalled = false, IEInstalled = false;
    QString HHFriendlyVersion, IEFriendlyVersion;
};

namespace HHFuncs {
struct TStartInput {
    QString ModulePath;     // the program file
    QStringList Arguments;  // program first
    QString TempFolder;     // empty: the system's
    QString ProgramFolder;  // where "debug.debug" and "HHDebug.txt" are; empty: the program file's folder
};
// Once at program start (after HH::Load) and once at its end.
void Start(const TStartInput &input);
void End();
const THHModuleInfo &Info();
TDLogFile *DLog();  // nullptr outside Start/End

// "debug.debug" in the program folder, or "/debug" or "-debug" among the arguments (after the program).
bool DebugSwitch(const QString &programFolder, const QStringList &arguments);
// The module folder when a file can be created in it, else the temporary folder.
QString LogFolder(const QString &moduleDir, const QString &tempFolder);

// "1 (HELP_CONTEXT)"
QString CommandName(quint16 command);
// prefixKind 1 "mk:@MSITStore:", 2 "ms-its:", else none.
QString TopicAddress(const QString &helpFile, const QString &topic, const QString &windowDefinition, int prefixKind);

// ShowContext's results beyond "shown" (0), "HTML Help not installed" (1) and "no viewer" (2, 3):
// what is wrong with the help file itself.
enum THelpFileError { HelpFileMissing = 4, HelpFileUnreadable = 5, HelpFileNotChm = 6, HelpFileWithoutPages = 7 };

int HHHelpContext(const QString &helpFile, qintptr context, const QString &windowDefinition, int hostType);
int ShowContext(const QString &address, qintptr context, int hostType);
// helpFile names the file in the help file's messages.
void HHShowError(int code, const QString &helpFile = {});
QString ErrorText(int code, const QString &helpFile = {});

// The stand-alone viewer: xchm on the search path (empty: PATH).
void SetViewerSearchPath(const QStringList &folders);
QString ViewerProgram();
// Starts program with arguments, detached; a failure is shown (and logged in debug mode).
bool ShellExecute(const QString &program, const QStringList &arguments);
QString ShellErrorText(int lastError);

// Where the help module's message boxes go; help_ui sets the program's message boxes. Without a
// handler messages go to the warning log.
using TMessageHandler = std::function<void(const QString &text)>;
TMessageHandler SetMessageHandler(TMessageHandler handler);
void ShowMessage(const QString &text);
}

class THookHelpSystem
{
public:
    using TContextHandler = std::function<int(qintptr context)>;
    using TPopupHandler = std::function<int(qintptr context, QPoint position)>;

    THookHelpSystem(const QString &helpFile, const QString &windowDefinition, quint8 hostType);
    ~THookHelpSystem();
    THookHelpSystem(const THookHelpSystem &) = delete;
    THookHelpSystem &operator=(const THookHelpSystem &) = delete;

    bool HelpHook(quint16 command, qintptr data, bool &callHelp);
    int ShowHelpContext(qintptr context);

    QString FHelpFile;
    QString FWinDef;
    quint8 FHostType;
    bool FChainDo = false;
    TContextHandler FOnHelpContext;
    TPopupHandler FOnHelpPopup;
    QPoint FPopupPos;

private:
    AppHelp::THandler FPrevHandler;
};
