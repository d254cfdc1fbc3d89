// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the command-line batch routine, the user's date and time pictures, and the log file.
#include "shell/Batch.h"

#include "platform/CodePage.h"
#include "platform/CommaText.h"
#include "platform/DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <algorithm>
#include <exception>

namespace {

// Windows date and time pictures: runs of one letter, '...' quoted literals.
QString FormatPicture(const QString &picture, const QDate *date, const QTime *time, const TUserLocale &locale)
{
    static const char *const shortDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const longDays[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
    static const char *const shortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char *const longMonths[] = {"January", "February", "March", "April", "May", "June", "July",
                                             "August", "September", "October", "November", "December"};
    QString out;
    const qsizetype n = picture.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = picture.at(i);
        if (c == u'\'') {
            qsizetype j = i + 1;
            while (j < n && picture.at(j) != u'\'')
                out += picture.at(j++);
            i = j + 1;
            continue;
        }
        qsizetype run = 1;
        while (i + run < n && picture.at(i + run) == c)
            ++run;
        auto num = [&](int v, int width) { out += QStringLiteral("%1").arg(v, width, 10, QLatin1Char('0')); };
        bool used = true;
        if (date && c == u'd') {
            if (run <= 2) num(date->day(), int(run));
            else out += QLatin1String(run == 3 ? shortDays[date->dayOfWeek() - 1] : longDays[date->dayOfWeek() - 1]);
        } else if (date && c == u'M') {
            if (run <= 2) num(date->month(), int(run));
            else out += QLatin1String(run == 3 ? shortMonths[date->month() - 1] : longMonths[date->month() - 1]);
        } else if (date && c == u'y') {
            if (run <= 2) num(date->year() % 100, run == 1 ? 1 : 2);
            else num(date->year(), 4);
        } else if (date && c == u'g') {
            out += QStringLiteral("A.D.");
        } else if (time && c == u'h') {
            const int h = time->hour() % 12;
            num(h == 0 ? 12 : h, int(std::min<qsizetype>(run, 2)));
        } else if (time && c == u'H') {
            num(time->hour(), int(std::min<qsizetype>(run, 2)));
        } else if (time && c == u'm') {
            num(time->minute(), int(std::min<qsizetype>(run, 2)));
        } else if (time && c == u's') {
            num(time->second(), int(std::min<qsizetype>(run, 2)));
        } else if (time && c == u't') {
            const QString marker = time->hour() < 12 ? locale.AM : locale.PM;
            out += run == 1 ? marker.left(1) : marker;
        } else {
            used = false;
        }
        if (!used)
            out += QString(run, c);
        i += run;
    }
    return out;
}

// The same picture for Qt's reader: Windows' "y" and "t" differ, the rest reads alike (the
// markers "AM" and "PM" stand for the user's own ones).
QString ReadingPicture(const QString &picture)
{
    QString out;
    const qsizetype n = picture.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = picture.at(i);
        if (c == u'\'') {
            const qsizetype end = picture.indexOf(u'\'', i + 1);
            const qsizetype stop = end < 0 ? n : end + 1;
            out += picture.mid(i, stop - i);
            i = stop;
            continue;
        }
        qsizetype run = 1;
        while (i + run < n && picture.at(i + run) == c)
            ++run;
        if (c == u'y')
            out += run <= 2 ? QStringLiteral("yy") : QStringLiteral("yyyy");
        else if (c == u't')
            out += QStringLiteral("AP");
        else if (c == u'g')
            out += QStringLiteral("'A.D.'");
        else if (QStringLiteral("dMhHms").contains(c))
            out += QString(std::min<qsizetype>(run, c == u'd' || c == u'M' ? 4 : 2), c);
        else
            out += QString(run, c);
        i += run;
    }
    return out;
}

const char *const kToolSwitches[] = {"-reg", "-delreg", "-unn", "-delunn", "-dup", "-delsho"};
const char *const kBrowserSwitches[] = {"-ccache", "-ccookies", "-chistory", "-cmru"};

QString BrowserText(const QString &item)
{
    if (item == u"-ccache") return QStringLiteral("Clearing browser cache");
    if (item == u"-ccookies") return QStringLiteral("Clearing browser cookies");
    if (item == u"-chistory") return QStringLiteral("Clearing browser history");
    return QStringLiteral("Clearing Most Recently Used list");
}

} // namespace

namespace {
// One line on standard error and in the log: a reason that spans lines (a message box's text) is
// joined into one.
QString OneLine(const QString &text)
{
    QStringList parts = text.split(QRegularExpression(QStringLiteral("[\\r\\n]+")), Qt::SkipEmptyParts);
    for (QString &part : parts)
        part = part.trimmed();
    parts.removeAll(QString());
    return parts.join(u' ');
}
} // namespace

void TBatchState::Fail(const QString &reason)
{
    FLog << OneLine(reason);
    KeepFailure(reason);
}

void TBatchState::KeepFailure(const QString &reason)
{
    FBatchFailed = true;
    const QString line = FRunningItem.isEmpty() ? OneLine(reason) : FRunningItem + QStringLiteral(": ") + OneLine(reason);
    if (!FFailures.contains(line))
        FFailures << line;
}

QString TUserLocale::Date(const QDate &date) const { return FormatPicture(ShortDate, &date, nullptr, *this); }
QString TUserLocale::Time(const QTime &time) const { return FormatPicture(LongTime, nullptr, &time, *this); }
QString TUserLocale::Stamp(const QDateTime &when) const
{
    return Date(when.date()) + QStringLiteral(", ") + Time(when.time());
}

QDateTime TUserLocale::ReadDateTime(const QString &text) const
{
    QString plain = text;
    if (!AM.isEmpty())
        plain.replace(AM, QStringLiteral("AM"));
    if (!PM.isEmpty())
        plain.replace(PM, QStringLiteral("PM"));
    const QLocale c = QLocale::c();
    const QString date = ReadingPicture(ShortDate);
    QDateTime when = c.toDateTime(plain, date + u' ' + ReadingPicture(LongTime));
    if (!when.isValid())
        when = QDateTime(c.toDate(plain, date), QTime(0, 0));
    return when;
}

QString TUserLocale::DateTime(const QDateTime &when) const { return DateTime(when.date(), when.time()); }

QString TUserLocale::DateTime(const QDate &date, const QTime &time) const
{
    if (time == QTime(0, 0))
        return Date(date);
    return Date(date) + u' ' + Time(time);
}

namespace Batch {

QStringList SplitSwitches(const QString &switches)
{
    // By character codes, not the user's collation: under cs_CZ "ch" sorts after "d", and the
    // switches must run in one order on every machine.
    QStringList items = CommaTextToList(switches.toLower());
    items.removeAll(QString());
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    return items;
}

namespace {
bool AnyWork(const QStringList &items)
{
    return std::any_of(items.begin(), items.end(),
                       [](const QString &item) { return IsToolSwitch(item) || IsBrowserSwitch(item); });
}
} // namespace

bool HasBatchWork(const QStringList &parameters) { return AnyWork(SplitSwitches(JoinParameters(parameters))); }

bool HasTraySwitch(const QStringList &parameters)
{
    return std::any_of(parameters.begin(), parameters.end(), [](const QString &p) {
        return p.compare(u"-s", Qt::CaseInsensitive) == 0 || p.compare(u"/s", Qt::CaseInsensitive) == 0;
    });
}

QString JoinParameters(const QStringList &parameters)
{
    // Each parameter's own items, each quoted as it needs: a quote that one parameter leaves open
    // cannot take the next parameter's switches into its item.
    QStringList items;
    for (const QString &parameter : parameters)
        for (const QString &item : CommaTextToList(parameter))
            if (!item.isEmpty())
                items << ListToCommaText({item});
    return items.join(QStringLiteral(", "));
}

bool IsToolSwitch(const QString &item)
{
    return std::any_of(std::begin(kToolSwitches), std::end(kToolSwitches),
                       [&](const char *s) { return item == QLatin1String(s); });
}

QStringList UnknownSwitches(const QStringList &parameters)
{
    static const QStringList others = {QStringLiteral("-s"), QStringLiteral("/s"), QStringLiteral("-exit"),
                                       QStringLiteral("-startup"), QStringLiteral("-debug"), QStringLiteral("/debug")};
    QStringList unknown;
    for (const QString &parameter : parameters)
        for (const QString &item : CommaTextToList(parameter)) {
            const QString known = item.toLower();
            if (!item.isEmpty() && !IsToolSwitch(known) && !IsBrowserSwitch(known) && !others.contains(known))
                unknown << item;
        }
    return unknown;
}

QString Usage(const QString &ownFolder)
{
    return QStringLiteral(
               "Usage: vaskimo [switch...]\n"
               "Tidies the Wine prefix in WINEPREFIX (else ~/.wine). Without a switch it opens its window.\n"
               "\n"
               "Unattended runs (they need no display, and log to \"Vaskimo.log\"):\n"
               "  -reg        find invalid registry entries\n"
               "  -delreg     find invalid registry entries and delete them (undo files first)\n"
               "  -unn        find unnecessary files\n"
               "  -delunn     find unnecessary files and delete them\n"
               "  -dup        find duplicate files (list in \"Duplicat.log\")\n"
               "  -delsho     delete invalid shortcuts\n"
               "  -ccache     clear the browser cache\n"
               "  -ccookies   clear the browser cookies\n"
               "  -chistory   clear the browser history\n"
               "  -cmru       clear the recent-documents list\n"
               "  -exit       end after the run (a run without a display always ends)\n"
               "Switches run in alphabetical order (-ccache first, -unn last) whatever order they are given\n"
               "in; \"-reg,-unn\" gives two in one argument.\n"
               "\n"
               "Other switches:\n"
               "  -s          start hidden in the notification area\n"
               "  -debug      write the help's diagnostic log \"HHDebug.txt\"\n"
               "  --help      show this text\n"
               "  --version   show the version\n"
               "\n"
               "Settings, logs and undo files: %1\n"
               "\n"
               "Exit codes of an unattended run: 0 done; 1 a tool was stopped or failed, or could not\n"
               "delete all it found, or could not save what it found (standard error and the log say\n"
               "why); 2 nothing ran: the log cannot be written, or the folder is no Wine prefix;\n"
               "3 no display and no tool or browser switch; 4 another Vaskimo is running, nothing ran;\n"
               "130, 143 stopped by SIGINT, SIGTERM.\n")
        .arg(ownFolder);
}

bool IsBrowserSwitch(const QString &item)
{
    return std::any_of(std::begin(kBrowserSwitches), std::end(kBrowserSwitches),
                       [&](const char *s) { return item == QLatin1String(s); });
}

TBatchOutcome Run(TBatchState &state, const QString &switches, const QString &commandLine,
                  const QString &logFile, const TBatchActions &actions)
{
    TBatchOutcome outcome;
    auto stamp = [&] { return actions.TimeStamp ? actions.TimeStamp() : TUserLocale().Stamp(QDateTime::currentDateTime()); };
    state.FBatchMode = true;
    state.FAutoClose = false;
    state.FBatchSwitch.clear();
    state.FBatchFailed = false;
    state.FFailures.clear();
    state.FLog.clear();
    state.FRunningItem.clear();
    state.FFailures.clear();
    bool exitFlag = false;

    QStringList items = SplitSwitches(switches);
    if (items.contains(u"-reg") && items.contains(u"-delreg"))
        items.removeAll(QStringLiteral("-reg"));
    if (items.contains(u"-unn") && items.contains(u"-delunn"))
        items.removeAll(QStringLiteral("-unn"));
    if (items.contains(u"-s")) {
        state.FAutoClose = true;
        items.removeAll(QStringLiteral("-s"));
    }
    if (items.contains(u"-exit")) {
        exitFlag = true;
        outcome.ExitAsked = true;
        items.removeAll(QStringLiteral("-exit"));
    }

    // A run whose record cannot be kept does not start: found and deleted items would go unlogged.
    if (!items.isEmpty() && !CanWriteLog(logFile, &outcome.SaveError)) {
        outcome.NothingRun = true;
        state.FBatchMode = false;
        return outcome;
    }

    if (!items.isEmpty()) {
        state.FLog << QStringLiteral("Vaskimo started on ") + stamp();
        state.FLog << commandLine;
        outcome.Refusal = AnyWork(items) && actions.Refusal ? actions.Refusal() : QString();
        if (!outcome.Refusal.isEmpty()) {
            outcome.NothingRun = true;
            state.FLog << QString() << stamp();
            state.Fail(outcome.Refusal);
            items.clear();
            exitFlag = false;
        }
    }

    for (const QString &item : std::as_const(items)) {
        state.FRunningItem = item;
        try {
            if (IsBrowserSwitch(item)) {
                state.FLog << QString() << stamp() << item << BrowserText(item);
                if (actions.ClearBrowser)
                    actions.ClearBrowser(item);
            } else if (IsToolSwitch(item)) {
                state.FBatchSwitch = item;
                if (actions.RunTool)
                    actions.RunTool(item);
            }
        } catch (const std::exception &e) {
            // The rest of the run is given up, as a stopped tool would, but the log says why.
            const QString why = QString::fromLocal8Bit(e.what());
            state.FLog << stamp() + QStringLiteral(": ") + item + QStringLiteral(": ") + why;
            state.KeepFailure(why);
            outcome.ToolFailed = true;
            break;
        } catch (...) {
            state.FLog << stamp() + QStringLiteral(": ") + item + QStringLiteral(": unknown error");
            state.KeepFailure(QStringLiteral("unknown error"));
            outcome.ToolFailed = true;
            break;
        }
        if (state.FBatchAborted) {
            state.KeepFailure(state.FStopReason.isEmpty() ? QStringLiteral("Aborted by user!") : state.FStopReason);
            state.FBatchMode = false;
            exitFlag = false;
            break;
        }
    }

    // A run that could not delete what it found must not look like one that did to cron or a script.
    if (state.FBatchFailed)
        outcome.ToolFailed = true;

    if (!state.FLog.isEmpty()) {
        QString error;
        outcome.LogSaved = SaveLog(state.FLog, logFile, &error, actions.CodePage);
        if (!outcome.LogSaved) {
            outcome.SaveError = error;
            exitFlag = false;
        } else if (exitFlag) {
            state.FLog << QString() << stamp() << QStringLiteral("-exit") << QStringLiteral("All done exiting!");
            outcome.LogSaved = SaveLog(state.FLog, logFile, &error, actions.CodePage);
            if (!outcome.LogSaved) {
                outcome.SaveError = error;
            } else {
                outcome.Terminated = true;
                if (actions.Terminate)
                    actions.Terminate();
            }
        }
    }
    state.FBatchMode = false;
    return outcome;
}

TBatchEnd EndOfRun(const TBatchOutcome &outcome, bool aborted, bool alwaysEnds, int signal)
{
    TBatchEnd end;
    if (signal != 0)
        end.Code = ExitCode::Signal(signal);
    else if (!outcome.SaveError.isEmpty() || !outcome.Refusal.isEmpty())
        end.Code = ExitCode::NotRun;
    else if (aborted || outcome.ToolFailed)
        end.Code = ExitCode::Stopped;
    end.Ends = signal != 0 || alwaysEnds || outcome.Terminated || (outcome.ExitAsked && outcome.NothingRun)
               || (outcome.ExitAsked && !outcome.SaveError.isEmpty());
    return end;
}

bool CanWriteLog(const QString &path, QString *error)
{
    const QFileInfo info(path);
    QTemporaryFile probe(info.absolutePath() + QStringLiteral("/Vaskimo.XXXXXX"));
    if (!info.isDir() && probe.open())
        return true;
    if (error)
        *error = QStringLiteral("Cannot write \"%1\": %2")
                     .arg(path, info.isDir() ? QStringLiteral("it is a folder") : probe.errorString());
    return false;
}

bool SaveLog(const QStringList &lines, const QString &path, QString *error, int codePage)
{
    // One conversion for the whole text: a converter opened per line cost more than the writing
    // when a log holds tens of thousands of lines ("Duplicat.log").
    const QByteArray bytes = lines.isEmpty() ? QByteArray() : EncodeAnsi(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), codePage);
    QString why;
    if (DurableFile::Write(path, bytes, &why))
        return true;
    if (error)
        *error = QStringLiteral("Cannot write \"%1\": %2").arg(path, why);
    return false;
}

} // namespace Batch
