// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the daily automatic update check: when it runs, what its outcome leads to, failure counting and re-arming.
//
// The decisions are plain functions (tested as tables); TAutoUpdate drives them with its own
// update timer and connection detector and an update window that is never shown for the check.
#pragma once

#include <QDate>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTimer;
class QWidget;
class TIniFile;
class TINetDetect;
struct TINetSources;
struct TSettings;

namespace AutoUpdate {

constexpr int FirstInterval = 120000;   // two minutes after arming
constexpr int RetryInterval = 10000;    // after the first tick, while the user works in the program
constexpr int DailyInterval = 86400000; // once a check has run that day
constexpr int DetectorInterval = 10000; // the detector's polling before a check
constexpr int FailuresBeforeAsking = 10;

// [Update] "Last checked", written as "yyyy-MM-dd"; a missing or unreadable value, or a day after
// today, is yesterday.
QDate ReadLastChecked(const TIniFile &ini, const QDate &today);
void WriteLastChecked(TIniFile &ini, const QDate &day);
// [Update] "Error type 1 count", default 0.
int ReadErrorCount(const TIniFile &ini);
void WriteErrorCount(TIniFile &ini, int count);

// A tick of the update timer checks only while the user is not working in the program, and never
// during a batch run, where nobody could answer its questions.
bool TickRunsCheck(bool applicationActive, bool hiddenToTray, bool batchRunning);
// Due once a day, and only with a connection (known or assumed).
bool CheckDue(const QDate &today, const QDate &lastChecked, bool alwaysConnected, bool online);

enum class TOutcome {
    Nothing,            // 2 (or anything unknown): the failure count goes back to 0
    AskProgram,         // 3: "M038MF", Yes shows the update window
    DownloadBlacklist,  // 4 with automatic blacklist update: press the blacklist button
    AskBlacklist,       // 4 without: "M040MF", Yes shows the update window
    AskBoth,            // 5: "M041MF", Yes shows the update window
    Failed,             // 1: counted
};
TOutcome OutcomeFor(int updateResult, bool autoBlacklist);
// The failure count after an outcome: 1 adds one, 3 to 5 keep it, anything else makes it 0.
int ErrorCountAfter(int count, int updateResult);
// From the tenth failure in a row on, every further failure asks whether to reset the count.
bool AsksReset(int count);

enum class TRearm {
    Nothing,       // no check was due and none ran today: leave the timer and the detector alone
    DailyTimer,    // "always connected": the update timer ticks again in 24 hours
    DailyDetector, // the detector polls every 24 hours, and the timer ticks again in 24 hours
};
TRearm RearmAfter(const QDate &today, const QDate &lastChecked, bool alwaysConnected);

} // namespace AutoUpdate

// One update window for one check; the real one is TUpdateIkkuna, tests give their own.
class TUpdateRun
{
public:
    virtual ~TUpdateRun() = default;
    virtual int Check() = 0;              // presses Check; the window's result code
    virtual int DownloadBlacklist() = 0;  // presses Blacklist; the window's result code
    virtual void ShowModal() = 0;
};

struct TAutoUpdateHost {
    QString ProgramFolder;  // host folder ending in "/": "Options.ini"
    TSettings *Settings = nullptr;
    QWidget *Parent = nullptr;  // of the message boxes and the update window
    std::function<bool()> ApplicationActive;
    std::function<bool()> HiddenToTray;
    std::function<bool()> BatchRunning;
    std::function<QDate()> Today;
    std::function<std::unique_ptr<TUpdateRun>(QWidget *parent)> CreateUpdateWindow;
    // The main window starts its own update timer when "always connected" is set (and calls
    // CheckUpdateResult through its hook); this object then only adds the detector's timer and the
    // daily re-arming.
    bool MainWindowArmsTimer = false;

    // From PaaIkkuna, with the real update window.
    static TAutoUpdateHost FromMainWindow();
};

class TAutoUpdate : public QObject
{
    Q_OBJECT
public:
    // detectorSources: where the connection detector looks (tests give their own).
    explicit TAutoUpdate(TAutoUpdateHost host, QObject *parent = nullptr);
    TAutoUpdate(TAutoUpdateHost host, const TINetSources &detectorSources, QObject *parent = nullptr);
    ~TAutoUpdate() override;

    // At start-up and after the options window closed with OK: the timer runs when automatic update
    // is on and the machine is (or is taken to be) online; the detector when automatic update is on
    // and "always connected" is off.
    void Arm();

    void PaivitysTimer();     // the update timer's tick
    void InternettiChanged(); // the detector's change: the timer runs exactly while online
    void CheckUpdateResult(); // the check and its outcome
    // The program is ending: a check that runs now asks nothing and shows nothing more, and none starts.
    void Quit();

    // The main window's hooks: the check, and the arming after the options window closed with OK,
    // of the TAutoUpdate that is a child of PaaIkkuna (nothing when there is none).
    static void CheckFromMainWindow();
    static void ArmFromMainWindow();
    static void QuitFromMainWindow();

    // Test access.
    QTimer *Paivitys() const { return FPaivitys; }
    TINetDetect *Internetti() const { return FInternetti; }
    bool Checking() const { return FChecking; }

private:
    void Outcome(TUpdateRun *window, int result, int *errorCount);
    void Rearm(const QDate &today, const QDate &lastChecked);

    TAutoUpdateHost FHost;
    QTimer *FPaivitys = nullptr;
    TINetDetect *FInternetti = nullptr;
    bool FChecking = false;
    bool FQuitting = false;
};
