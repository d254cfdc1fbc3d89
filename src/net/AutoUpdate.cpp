// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the automatic update check: its decisions and the object that drives the timer, the detector and the update window.
#include "net/AutoUpdate.h"

#include "net/INetDetect.h"
#include "net/Update.h"
#include "platform/IniFile.h"
#include "shell/IniLang.h"
#include "shell/Main.h"
#include "shell/MessageBoxes.h"
#include "shell/SafeFormat.h"
#include "shell/Settings.h"

#include <QApplication>
#include <QTimer>

namespace AutoUpdate {

namespace {
const QString Section = QStringLiteral("Update");
const QString LastCheckedKey = QStringLiteral("Last checked");
const QString ErrorCountKey = QStringLiteral("Error type 1 count");
const QString DateFormat = QStringLiteral("yyyy-MM-dd");
} // namespace

QDate ReadLastChecked(const TIniFile &ini, const QDate &today)
{
    const QDate day = QDate::fromString(ini.ReadString(Section, LastCheckedKey, QString()).trimmed(), DateFormat);
    // A day after today was written under a wrong clock: kept, it would stop the checks until then.
    return day.isValid() && day <= today ? day : today.addDays(-1);
}

void WriteLastChecked(TIniFile &ini, const QDate &day) { ini.WriteString(Section, LastCheckedKey, day.toString(DateFormat)); }

int ReadErrorCount(const TIniFile &ini) { return std::max(0, ini.ReadInteger(Section, ErrorCountKey, 0)); }

void WriteErrorCount(TIniFile &ini, int count) { ini.WriteInteger(Section, ErrorCountKey, count); }

bool TickRunsCheck(bool applicationActive, bool hiddenToTray, bool batchRunning)
{
    return !batchRunning && (!applicationActive || hiddenToTray);
}

bool CheckDue(const QDate &today, const QDate &lastChecked, bool alwaysConnected, bool online)
{
    return today > lastChecked && (alwaysConnected || online);
}

TOutcome OutcomeFor(int updateResult, bool autoBlacklist)
{
    switch (updateResult) {
    case 1:
        return TOutcome::Failed;
    case 3:
        return TOutcome::AskProgram;
    case 4:
        return autoBlacklist ? TOutcome::DownloadBlacklist : TOutcome::AskBlacklist;
    case 5:
        return TOutcome::AskBoth;
    default:
        return TOutcome::Nothing;
    }
}

int ErrorCountAfter(int count, int updateResult)
{
    if (updateResult == 1)
        return count + 1;
    if (updateResult >= 3 && updateResult <= 5)
        return count;
    return 0;
}

bool AsksReset(int count) { return count >= FailuresBeforeAsking; }

TRearm RearmAfter(const QDate &today, const QDate &lastChecked, bool alwaysConnected)
{
    if (lastChecked < today)
        return TRearm::Nothing;
    return alwaysConnected ? TRearm::DailyTimer : TRearm::DailyDetector;
}

} // namespace AutoUpdate

using namespace AutoUpdate;

TAutoUpdate::TAutoUpdate(TAutoUpdateHost host, QObject *parent) : TAutoUpdate(std::move(host), TINetSources::System(), parent) {}

TAutoUpdate::TAutoUpdate(TAutoUpdateHost host, const TINetSources &detectorSources, QObject *parent)
    : QObject(parent), FHost(std::move(host))
{
    if (!FHost.Today)
        FHost.Today = [] { return QDate::currentDate(); };
    FPaivitys = new QTimer(this);
    FPaivitys->setObjectName(QStringLiteral("Paivitys"));
    FPaivitys->setInterval(FirstInterval);
    connect(FPaivitys, &QTimer::timeout, this, &TAutoUpdate::PaivitysTimer);
    FInternetti = new TINetDetect(this, detectorSources);
    FInternetti->setObjectName(QStringLiteral("Internetti"));
    FInternetti->SetDispatchInterval(DetectorInterval);
    FInternetti->OnChanged = [this](QObject *) { InternettiChanged(); };
    Arm();
}

TAutoUpdate::~TAutoUpdate() = default;

void TAutoUpdate::Arm()
{
    const TSettings *s = FHost.Settings;
    const bool on = s && s->FAutoUpdate;
    const bool timerHere = s && (s->FAlwaysConnected ? !FHost.MainWindowArmsTimer : FInternetti->Online());
    if (on && timerHere) {
        if (!FPaivitys->isActive())
            FPaivitys->start();
    } else {
        FPaivitys->stop();
    }
    FInternetti->SetEnabled(on && !s->FAlwaysConnected);
}

void TAutoUpdate::InternettiChanged()
{
    const bool on = FHost.Settings && FHost.Settings->FAutoUpdate;
    if (on && FInternetti->Online()) {
        if (!FPaivitys->isActive())
            FPaivitys->start();
    } else {
        FPaivitys->stop();
    }
}

void TAutoUpdate::PaivitysTimer()
{
    FPaivitys->setInterval(RetryInterval);
    if (!FHost.Settings || !FHost.Settings->FAutoUpdate) {
        FPaivitys->stop();  // switched off in the options since the timer was armed
        return;
    }
    const bool active = FHost.ApplicationActive ? FHost.ApplicationActive() : false;
    const bool hidden = FHost.HiddenToTray ? FHost.HiddenToTray() : false;
    const bool batch = FHost.BatchRunning ? FHost.BatchRunning() : false;
    if (TickRunsCheck(active, hidden, batch)) {
        FPaivitys->stop();
        CheckUpdateResult();
    }
}

void TAutoUpdate::CheckUpdateResult()
{
    // The check pumps events while it waits: a second tick (the main window's timer and this one)
    // must not start a second check meanwhile.
    if (FChecking || FQuitting || !FHost.Settings)
        return;
    FChecking = true;
    const TSettings &s = *FHost.Settings;
    const QString iniPath = SettingsFilePath(FHost.ProgramFolder);
    const QDate today = FHost.Today();
    QDate lastChecked;
    int errorCount = 0;
    {
        const TIniFile ini(iniPath);
        lastChecked = ReadLastChecked(ini, today);
        errorCount = ReadErrorCount(ini);
    }
    if (CheckDue(today, lastChecked, s.FAlwaysConnected, FInternetti->Online())) {
        // Stored before the check, so that a failed check (or a crash during it) counts for the day.
        lastChecked = today;
        {
            TIniFile ini(iniPath);
            WriteLastChecked(ini, today);
            ini.UpdateFile();
        }
        std::unique_ptr<TUpdateRun> window;
        try {
            if (FHost.CreateUpdateWindow)
                window = FHost.CreateUpdateWindow(FHost.Parent);
            const int result = window ? window->Check() : 1;
            // Cut short by the program's end: no question, and no failure to count.
            if (!FQuitting)
                Outcome(window.get(), result, &errorCount);
        } catch (...) {
            // The count and the day are still written, and the window released.
        }
        // Opened anew: the options window or a tool window may have written the file meanwhile.
        TIniFile ini(iniPath);
        WriteErrorCount(ini, errorCount);
        ini.UpdateFile();
    }
    if (!FQuitting)
        Rearm(today, lastChecked);
    FChecking = false;
}

void TAutoUpdate::Outcome(TUpdateRun *window, int result, int *errorCount)
{
    QWidget *parent = FHost.Parent;
    switch (OutcomeFor(result, FHost.Settings->FAutoBlacklist)) {
    case TOutcome::AskProgram:
        if (MessageBoxes::Confirm(parent, LangMessage(QStringLiteral("M038MF"),
                                                      QStringLiteral("A newer version of Vaskimo detected! Click yes if you "
                                                                     "want to know more or download it. No to be reminded later."))))
            window->ShowModal();
        break;
    case TOutcome::DownloadBlacklist:
        if (window->DownloadBlacklist() == 1)
            MessageBoxes::Information(parent, LangMessage(QStringLiteral("M039MF"),
                                                          QStringLiteral("A newer version of Vaskimo's blacklist detected. "
                                                                         "Download attempt failed! Please download the file "
                                                                         "manually.")));
        break;
    case TOutcome::AskBlacklist:
        if (MessageBoxes::Confirm(parent, LangMessage(QStringLiteral("M040MF"),
                                                      QStringLiteral("A newer version of Vaskimo's blacklist detected! Click "
                                                                     "yes if you want to know more or download it. No to be "
                                                                     "reminded later."))))
            window->ShowModal();
        break;
    case TOutcome::AskBoth:
        if (MessageBoxes::Confirm(
                parent, LangMessage(QStringLiteral("M041MF"),
                                    QStringLiteral("A newer version of Vaskimo and blaclist detected! I recommend that you get "
                                                   "the program update, it will update the blacklist too. Click yes if you want "
                                                   "to know more or download it. No to be reminded later."))))
            window->ShowModal();
        break;
    case TOutcome::Failed:
    case TOutcome::Nothing:
        break;
    }
    *errorCount = ErrorCountAfter(*errorCount, result);
    if (result == 1 && AsksReset(*errorCount)) {
        const QString text = SafeFormat(
            LangMessage(QStringLiteral("M042MF"),
                        QStringLiteral("The automatic update check has failed %d times in a row! Please check the update "
                                       "settings in the options, or look for updates on Orvendal's web pages. Reset the "
                                       "error counter?")),
            *errorCount);
        if (MessageBoxes::Confirm(parent, text))
            *errorCount = 0;
    }
}

void TAutoUpdate::Quit()
{
    FQuitting = true;
    FPaivitys->stop();
    FInternetti->SetEnabled(false);
}

void TAutoUpdate::Rearm(const QDate &today, const QDate &lastChecked)
{
    const TSettings &s = *FHost.Settings;
    switch (RearmAfter(today, lastChecked, s.FAlwaysConnected)) {
    case TRearm::Nothing:
        return;
    case TRearm::DailyTimer:
        FInternetti->SetEnabled(false);
        break;
    case TRearm::DailyDetector:
        FInternetti->SetDispatchInterval(DailyInterval);
        FInternetti->SetEnabled(s.FAutoUpdate);
        break;
    }
    // Also with the detector: a machine that stays online never makes it report a change, and
    // would never be checked again in this run.
    FPaivitys->stop();
    FPaivitys->setInterval(DailyInterval);
    if (s.FAutoUpdate)
        FPaivitys->start();
}

namespace {

// The real update window, created without showing it.
class TUpdateWindowRun final : public TUpdateRun
{
public:
    explicit TUpdateWindowRun(QWidget *parent) : FWindow(std::make_unique<TUpdateIkkuna>(parent)) {}
    int Check() override
    {
        FWindow->btnCheckClick();
        return FWindow->FUpdateResult;
    }
    int DownloadBlacklist() override
    {
        FWindow->btnDownloadBlacklistClick();
        return FWindow->FUpdateResult;
    }
    void ShowModal() override { FWindow->exec(); }

private:
    std::unique_ptr<TUpdateIkkuna> FWindow;
};

} // namespace

void TAutoUpdate::CheckFromMainWindow()
{
    if (PaaIkkuna)
        if (TAutoUpdate *updater = PaaIkkuna->findChild<TAutoUpdate *>(QString(), Qt::FindDirectChildrenOnly))
            updater->CheckUpdateResult();
}

void TAutoUpdate::QuitFromMainWindow()
{
    if (PaaIkkuna)
        if (TAutoUpdate *updater = PaaIkkuna->findChild<TAutoUpdate *>(QString(), Qt::FindDirectChildrenOnly))
            updater->Quit();
}

void TAutoUpdate::ArmFromMainWindow()
{
    if (PaaIkkuna)
        if (TAutoUpdate *updater = PaaIkkuna->findChild<TAutoUpdate *>(QString(), Qt::FindDirectChildrenOnly))
            updater->Arm();
}

TAutoUpdateHost TAutoUpdateHost::FromMainWindow()
{
    TAutoUpdateHost host;
    TPaaIkkuna *main = PaaIkkuna;
    if (!main)
        return host;
    host.ProgramFolder = main->ProgramFolder();
    host.Settings = &main->Settings();
    host.Parent = main;
    // Any window of the program, a tool window too, means the user works in it.
    host.ApplicationActive = [] { return QApplication::activeWindow() != nullptr; };
    host.HiddenToTray = [main] { return main->HiddenToTray(); };
    host.BatchRunning = [main] { return main->BatchRunning(); };
    host.CreateUpdateWindow = [](QWidget *parent) { return std::make_unique<TUpdateWindowRun>(parent); };
    host.MainWindowArmsTimer = true;
    return host;
}
