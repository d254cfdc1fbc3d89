// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the command-line batch routine and its log "Vaskimo.log", kept apart from the windows so it can be tested.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TWinePrefix;

// The batch fields of the main window; tool windows read and write them through PaaIkkuna.
//
// A tool that cannot do all it was asked in a batch run calls Fail with one short line: what was
// kept and why, naming the file where there is one ("3 entries were kept: Cannot write
// \"/p/system.reg\": No space left on device"). Fail writes the line into the log at once; the run
// then ends with 1, and when it has ended standard error gets each reason once, after the switch
// that was running ("Vaskimo: -delreg: 3 entries were kept: ..."). A tool whose log block already
// says it in the words the log has always used calls KeepFailure instead. Nothing else is needed:
// an error message box during a batch run counts as a failure too.
struct TBatchState {
    bool FBatchMode = false;     // a batch run is in progress: no questions, log lines instead of boxes
    QString FBatchSwitch;        // the tool switch being run ("-reg", "-delreg", "-unn", "-delunn", "-dup", "-delsho")
    bool FAutoClose = false;     // "-s" was given
    bool FBatchAborted = false;  // the user stopped a tool: the remaining switches are skipped
    bool FBatchFailed = false;   // a tool could not do all it was asked: the run ends with 1
    QStringList FLog;            // the log lines
    QString FRunningItem;        // the switch being run, browser switches too
    QStringList FFailures;       // for standard error once the run has ended: "switch: reason", each once
    QString FStopReason;         // a stop from outside the tools ("stopped by SIGTERM"); empty: the user stopped it

    void Fail(const QString &reason);
    void KeepFailure(const QString &reason);
};

// The user's date and time formats (HKCU\Control Panel\International), Windows pictures.
struct TUserLocale {
    QString ShortDate = QStringLiteral("M/d/yyyy");
    QString LongTime = QStringLiteral("h:mm:ss tt");
    QString AM = QStringLiteral("AM");
    QString PM = QStringLiteral("PM");
    QString Thousand = QStringLiteral(",");  // sThousand
    QString Decimal = QStringLiteral(".");   // sDecimal

    // The prefix's (nullptr: the current one); missing values keep the defaults.
    static TUserLocale FromRegistry(std::shared_ptr<TWinePrefix> prefix = nullptr);
    QString Date(const QDate &date) const;
    QString Time(const QTime &time) const;
    QString Stamp(const QDateTime &when) const;  // "date, time"
    // A file's or key's time as the lists show it: "date time", the date alone at midnight.
    QString DateTime(const QDateTime &when) const;
    QString DateTime(const QDate &date, const QTime &time) const;
    // That text read back (for sorting by it); invalid when it is not in these formats.
    QDateTime ReadDateTime(const QString &text) const;
};

// What the batch routine asks of the program around it.
struct TBatchActions {
    // Opens the tool window for a tool switch and returns when it has closed; false when this
    // build has no such tool (the switch then counts as unrecognised). May throw std::exception.
    std::function<bool(const QString &toolSwitch)> RunTool;
    // "-ccache", "-ccookies", "-chistory", "-cmru". May throw std::exception.
    std::function<void(const QString &browserSwitch)> ClearBrowser;
    std::function<QString()> TimeStamp;
    // Why no switch can run on this machine (the folder is no Wine prefix), empty when they can.
    std::function<QString()> Refusal;
    std::function<void()> Terminate;  // "-exit" after a finished run
    int CodePage = 1252;              // the log is 8-bit text in the prefix's ANSI code page
};

struct TBatchOutcome {
    bool LogSaved = false;
    QString SaveError;       // why the log could not be saved (the caller shows it)
    bool NothingRun = false; // the log could not be written, or the machine refused, before the first switch
    QString Refusal;         // why no switch could run (no Wine prefix); also in the log and the failures
    bool ToolFailed = false; // a switch ended with an error (the log says which)
    bool ExitAsked = false;  // "-exit" was among the switches
    bool Terminated = false;
};

// What an unattended run ends with, for cron and scripts.
namespace ExitCode {
constexpr int Done = 0;            // the run finished and its log was saved
constexpr int Stopped = 1;         // a tool was stopped or failed, or could not delete all it found (the log says which)
constexpr int NotRun = 2;          // nothing ran: the log cannot be written, no Wine prefix, or no lock to be had
constexpr int LogNotWritten = NotRun;
constexpr int NeedsDisplay = 3;    // no display, and the command line holds nothing to run without one
constexpr int AlreadyRunning = 4;  // another instance runs: this one did nothing
constexpr int Signal(int number) { return 128 + number; }  // as a shell reports a process ended by a signal
}

// How the program goes on after its batch run.
struct TBatchEnd {
    bool Ends = false;
    int Code = ExitCode::Done;
};

namespace Batch {
// Switch text lower-cased and split as comma text, sorted by character codes, duplicates dropped.
QStringList SplitSwitches(const QString &switches);
// A tool or browser switch among the parameters (as the routine splits them): work that needs no user.
bool HasBatchWork(const QStringList &parameters);
// "-s" or "/s" among the parameters, case ignored.
bool HasTraySwitch(const QStringList &parameters);
// The items of the parameters (each split as comma text and quoted again where it needs) joined
// with ", ": what ParamiTimer hands to the routine.
QString JoinParameters(const QStringList &parameters);
bool IsToolSwitch(const QString &item);
// The items of the parameters (split as the routine splits them, spelt as given) that the program
// does not know: neither a batch switch nor "-s", "/s", "-exit", "-startup", "-debug", "/debug".
QStringList UnknownSwitches(const QStringList &parameters);
// "vaskimo --help": the switches, what each does, where the files go (ownFolder) and the exit codes.
QString Usage(const QString &ownFolder);
bool IsBrowserSwitch(const QString &item);

// The whole run. commandLine: the process's command line as the start block gives it.
TBatchOutcome Run(TBatchState &state, const QString &switches, const QString &commandLine,
                  const QString &logFile, const TBatchActions &actions);

// Whether a file can be made in the log's folder; false with *error ("Cannot write ...") when not.
bool CanWriteLog(const QString &path, QString *error);
// aborted: a tool was stopped (FBatchAborted); alwaysEnds: nobody can close the window (no
// display); signal: the signal that stopped the run, 0 none. A run ends when "-exit" was carried
// out, when it was stopped by a signal, when nobody can close the window, and when "-exit" was
// asked for but the log could not be written or nothing could run; a tool that the user stopped
// keeps the window open.
TBatchEnd EndOfRun(const TBatchOutcome &outcome, bool aborted, bool alwaysEnds, int signal);

// One line per entry, each ended by CR LF; the old file stays whole when the new one cannot be written.
bool SaveLog(const QStringList &lines, const QString &path, QString *error, int codePage = 1252);
}
