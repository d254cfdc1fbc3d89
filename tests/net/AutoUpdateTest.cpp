// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the automatic update check: its decision tables and the check driven through a scripted update window.
#include "net/AutoUpdate.h"

#include "registry/WaitFor.h"
#include "support/MessageBoxCatcher.h"

#include "net/HttpPeers.h"
#include "net/HttpProt.h"
#include "net/INetDetect.h"
#include "net/UpdateInfo.h"
#include "platform/IniFile.h"
#include "shell/Main.h"
#include "shell/Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

using namespace AutoUpdate;
using TestSupport::TBoxes;

namespace {

const QDate Today(2026, 12, 10);

TEST(AutoUpdateTest, DecisionTables)
{
    const struct { const char *name; QDate last; bool always, online, due; } due[] = {
        {"yesterday, always connected", Today.addDays(-1), true, false, true},
        {"yesterday, online", Today.addDays(-1), false, true, true},
        {"yesterday, offline", Today.addDays(-1), false, false, false},
        {"today", Today, true, true, false},
        {"a date in the future", Today.addDays(3), true, true, false},
        {"long ago", QDate(2001, 1, 1), true, false, true},
    };
    for (const auto &c : due) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckDue(Today, c.last, c.always, c.online), c.due);
    }

    const struct { int result; bool autoBlacklist; TOutcome outcome; int countAfter; } outcomes[] = {
        {1, true, TOutcome::Failed, 6},          {2, true, TOutcome::Nothing, 0},
        {3, true, TOutcome::AskProgram, 5},      {4, true, TOutcome::DownloadBlacklist, 5},
        {4, false, TOutcome::AskBlacklist, 5},   {5, false, TOutcome::AskBoth, 5},
        {0, true, TOutcome::Nothing, 0},         {7, true, TOutcome::Nothing, 0},
    };
    for (const auto &c : outcomes) {
        SCOPED_TRACE(c.result);
        EXPECT_EQ(OutcomeFor(c.result, c.autoBlacklist), c.outcome);
        EXPECT_EQ(ErrorCountAfter(5, c.result), c.countAfter);
    }
    EXPECT_FALSE(AsksReset(9));
    EXPECT_TRUE(AsksReset(10));
    EXPECT_TRUE(AsksReset(11));

    EXPECT_EQ(RearmAfter(Today, Today.addDays(-1), true), TRearm::Nothing);
    EXPECT_EQ(RearmAfter(Today, Today, true), TRearm::DailyTimer);
    EXPECT_EQ(RearmAfter(Today, Today, false), TRearm::DailyDetector);
    EXPECT_EQ(RearmAfter(Today, Today.addDays(1), false), TRearm::DailyDetector);

    EXPECT_TRUE(TickRunsCheck(false, false, false));
    EXPECT_TRUE(TickRunsCheck(true, true, false));
    EXPECT_FALSE(TickRunsCheck(true, false, false));
    EXPECT_FALSE(TickRunsCheck(false, false, true));
    EXPECT_FALSE(TickRunsCheck(true, true, true));
    EXPECT_EQ(FirstInterval, 120000);
    EXPECT_EQ(RetryInterval, 10000);
    EXPECT_EQ(DailyInterval, 86400000);
}

TEST(AutoUpdateTest, LastCheckedKeys)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Options.ini"));
    {
        const TIniFile ini(path);
        EXPECT_EQ(ReadLastChecked(ini, Today), Today.addDays(-1));
        EXPECT_EQ(ReadErrorCount(ini), 0);
    }
    {
        TIniFile ini(path);
        WriteLastChecked(ini, Today);
        WriteErrorCount(ini, 4);
        ASSERT_TRUE(ini.UpdateFile());
    }
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Update", "Last checked", ""), QStringLiteral("2026-12-10"));
    EXPECT_EQ(ReadLastChecked(ini, Today.addDays(1)), Today);
    EXPECT_EQ(ReadErrorCount(ini), 4);
    TIniFile garbled(path);
    garbled.WriteString("Update", "Last checked", "10/12/26");
    EXPECT_EQ(ReadLastChecked(garbled, Today), Today.addDays(-1));
    garbled.WriteString("Update", "Last checked", "2099-01-01");  // a clock that was wrong once
    EXPECT_EQ(ReadLastChecked(garbled, Today), Today.addDays(-1));
}

// The update window as the check drives it: what each press returns, and what it was asked to do.
struct TScript {
    int CheckResult = 2;
    int BlacklistResult = 4;
    int Checks = 0, BlacklistPresses = 0, Shown = 0, Created = 0;
    std::function<void()> DuringCheck;
};

class TScriptedRun final : public TUpdateRun
{
public:
    explicit TScriptedRun(TScript *script) : FScript(script) { ++FScript->Created; }
    int Check() override
    {
        ++FScript->Checks;
        if (FScript->DuringCheck)
            FScript->DuringCheck();
        return FScript->CheckResult;
    }
    int DownloadBlacklist() override
    {
        ++FScript->BlacklistPresses;
        return FScript->BlacklistResult;
    }
    void ShowModal() override { ++FScript->Shown; }

private:
    TScript *FScript;
};

// A machine whose interfaces hold what Interfaces holds (a link-local address alone: offline).
// The detector polls on threads of its own that may outlive the test: they share the state.
struct TNetwork {
    struct TState {
        std::mutex Lock;
        QStringList Interfaces = {QStringLiteral("fe80::1")};
    };
    std::shared_ptr<TState> State = std::make_shared<TState>();
    void Set(const QStringList &interfaces)
    {
        std::lock_guard<std::mutex> guard(State->Lock);
        State->Interfaces = interfaces;
    }
    TINetSources Sources() const
    {
        TINetSources s;
        s.InterfaceAddresses = [state = State] {
            std::lock_guard<std::mutex> guard(state->Lock);
            return std::optional<QStringList>(state->Interfaces);
        };
        s.HostName = [] { return QStringLiteral("pc"); };
        return s;
    }
};

class AutoUpdateCheck : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Settings.FAutoUpdate = true;
        Settings.FAlwaysConnected = true;
        Folder = Program.path() + u'/';
    }

    std::unique_ptr<TAutoUpdate> Updater()
    {
        TAutoUpdateHost host;
        host.ProgramFolder = Folder;
        host.Settings = &Settings;
        host.ApplicationActive = [this] { return Active; };
        host.HiddenToTray = [this] { return Hidden; };
        host.BatchRunning = [this] { return Batch; };
        host.Today = [this] { return Day; };
        host.CreateUpdateWindow = [this](QWidget *) { return std::make_unique<TScriptedRun>(&Script); };
        return std::make_unique<TAutoUpdate>(host, Network.Sources());
    }

    TIniFile Ini() const { return TIniFile(SettingsFilePath(Folder)); }

    QTemporaryDir Program;
    QString Folder;
    TSettings Settings;
    TScript Script;
    TNetwork Network;
    QDate Day = Today;
    bool Active = false, Hidden = false, Batch = false;
};

} // namespace

TEST_F(AutoUpdateCheck, OutcomeTable)
{
    const struct {
        const char *name;
        int result;
        bool autoBlacklist;
        int blacklistResult;
        bool answer;
        const char *message;  // the start of the one message shown, or nullptr
        int shown, blacklistPresses;
    } cases[] = {
        {"newer program, Yes", 3, true, 4, true, "A newer version of Vaskimo detected!", 1, 0},
        {"newer program, No", 3, true, 4, false, "A newer version of Vaskimo detected!", 0, 0},
        {"blacklist installed quietly", 4, true, 4, true, nullptr, 0, 1},
        {"blacklist download failed", 4, true, 1, true, "A newer version of Vaskimo's blacklist detected. Download attempt failed!", 0, 1},
        {"blacklist offered", 4, false, 4, true, "A newer version of Vaskimo's blacklist detected! Click yes", 1, 0},
        {"both", 5, true, 4, true, "A newer version of Vaskimo and blaclist detected!", 1, 0},
        {"nothing new", 2, true, 4, true, nullptr, 0, 0},
        {"one failure", 1, true, 4, true, nullptr, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Script = TScript{};
        Script.CheckResult = c.result;
        Script.BlacklistResult = c.blacklistResult;
        Settings.FAutoBlacklist = c.autoBlacklist;
        QFile::remove(SettingsFilePath(Folder));
        TBoxes boxes;
        boxes.Answer = c.answer;
        auto updater = Updater();
        updater->CheckUpdateResult();
        EXPECT_EQ(Script.Checks, 1);
        if (c.message) {
            ASSERT_EQ(boxes.Shown.size(), 1);
            EXPECT_TRUE(boxes.Shown[0].startsWith(QLatin1String(c.message))) << boxes.Shown[0].toStdString();
        } else {
            EXPECT_TRUE(boxes.Shown.isEmpty());
        }
        EXPECT_EQ(Script.Shown, c.shown);
        EXPECT_EQ(Script.BlacklistPresses, c.blacklistPresses);
        EXPECT_EQ(Ini().ReadString("Update", "Last checked", ""), QStringLiteral("2026-12-10"));
        EXPECT_EQ(Ini().ReadInteger("Update", "Error type 1 count", -1), c.result == 1 ? 1 : 0);
        // Re-armed for tomorrow.
        EXPECT_TRUE(updater->Paivitys()->isActive());
        EXPECT_EQ(updater->Paivitys()->interval(), DailyInterval);
        EXPECT_FALSE(updater->Internetti()->Enabled());
    }
}

TEST_F(AutoUpdateCheck, FailuresInARow)
{
    TBoxes boxes;
    boxes.Answer = false;
    Script.CheckResult = 1;
    {
        TIniFile ini = Ini();
        ini.WriteInteger("Update", "Error type 1 count", 8);
        ini.UpdateFile();
    }
    auto updater = Updater();
    updater->CheckUpdateResult();  // the ninth
    EXPECT_TRUE(boxes.Shown.isEmpty());
    Day = Day.addDays(1);
    updater->CheckUpdateResult();  // the tenth asks; No keeps the count
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown[0].contains(QLatin1String("10 times in a row"))) << boxes.Shown[0].toStdString();
    EXPECT_EQ(boxes.Kinds[0], TMessageKind::Confirmation);
    EXPECT_EQ(Ini().ReadInteger("Update", "Error type 1 count", -1), 10);
    Day = Day.addDays(1);
    boxes.Answer = true;
    updater->CheckUpdateResult();  // the eleventh asks again; Yes resets
    ASSERT_EQ(boxes.Shown.size(), 2);
    EXPECT_TRUE(boxes.Shown[1].contains(QLatin1String("11 times")));
    EXPECT_EQ(Ini().ReadInteger("Update", "Error type 1 count", -1), 0);
    // A newer program keeps the count; nothing new clears it.
    Script.CheckResult = 1;
    Day = Day.addDays(1);
    updater->CheckUpdateResult();
    Script.CheckResult = 3;
    boxes.Answer = false;
    Day = Day.addDays(1);
    updater->CheckUpdateResult();
    EXPECT_EQ(Ini().ReadInteger("Update", "Error type 1 count", -1), 1);
    Script.CheckResult = 2;
    Day = Day.addDays(1);
    updater->CheckUpdateResult();
    EXPECT_EQ(Ini().ReadInteger("Update", "Error type 1 count", -1), 0);
}

TEST_F(AutoUpdateCheck, OnceADay)
{
    auto updater = Updater();
    updater->CheckUpdateResult();
    updater->CheckUpdateResult();
    EXPECT_EQ(Script.Created, 1);
    EXPECT_EQ(Script.Checks, 1);
    EXPECT_TRUE(updater->Paivitys()->isActive());
    EXPECT_EQ(updater->Paivitys()->interval(), DailyInterval);
    Day = Day.addDays(1);
    updater->CheckUpdateResult();
    EXPECT_EQ(Script.Checks, 2);
}

TEST_F(AutoUpdateCheck, TheDayIsStoredBeforeTheCheckAndOtherWritesSurvive)
{
    QString lastCheckedDuring;
    Script.CheckResult = 1;
    Script.DuringCheck = [&] {
        lastCheckedDuring = Ini().ReadString("Update", "Last checked", "");
        // The options window saving while the check waits for the network.
        TIniFile ini = Ini();
        ini.WriteString("Update", "Proxy server", "proxy.lan");
        ini.UpdateFile();
    };
    auto updater = Updater();
    updater->CheckUpdateResult();
    EXPECT_EQ(lastCheckedDuring, QStringLiteral("2026-12-10"));
    EXPECT_EQ(Ini().ReadString("Update", "Proxy server", ""), QStringLiteral("proxy.lan"));
    EXPECT_EQ(Ini().ReadInteger("Update", "Error type 1 count", -1), 1);
}

TEST_F(AutoUpdateCheck, AWindowThatThrowsStillCountsTheDay)
{
    Script.DuringCheck = [] { throw std::runtime_error("no window"); };
    auto updater = Updater();
    updater->CheckUpdateResult();
    EXPECT_EQ(Ini().ReadString("Update", "Last checked", ""), QStringLiteral("2026-12-10"));
    EXPECT_FALSE(updater->Checking());
}

TEST_F(AutoUpdateCheck, TimerTicks)
{
    auto updater = Updater();
    QTimer *timer = updater->Paivitys();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), FirstInterval);
    const auto postponed = [&] {
        updater->PaivitysTimer();
        EXPECT_EQ(Script.Checks, 0);
        EXPECT_TRUE(timer->isActive());
        EXPECT_EQ(timer->interval(), RetryInterval);
    };
    // The user works in the program: postponed in 10-second steps.
    Active = true;
    postponed();
    // Hidden in the tray during a batch run: nobody could answer, so it waits for the run's end.
    Hidden = true;
    Batch = true;
    postponed();
    // Hidden in the tray: checks.
    Batch = false;
    updater->PaivitysTimer();
    EXPECT_EQ(Script.Checks, 1);
    EXPECT_EQ(timer->interval(), DailyInterval);
    // Automatic update switched off meanwhile: the next tick stops the timer and checks nothing.
    Settings.FAutoUpdate = false;
    Day = Day.addDays(1);
    updater->PaivitysTimer();
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(Script.Checks, 1);
}

TEST_F(AutoUpdateCheck, ArmingFollowsTheSettings)
{
    const struct { const char *name; bool autoUpdate, always, timer, detector; } cases[] = {
        {"off", false, true, false, false},
        {"always connected", true, true, true, false},
        {"through the detector, offline", true, false, false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Settings.FAutoUpdate = c.autoUpdate;
        Settings.FAlwaysConnected = c.always;
        auto updater = Updater();
        EXPECT_EQ(updater->Paivitys()->isActive(), c.timer);
        EXPECT_EQ(updater->Internetti()->Enabled(), c.detector);
    }
}

TEST_F(AutoUpdateCheck, TheDetectorStartsTheTimer)
{
    Settings.FAlwaysConnected = false;
    auto updater = Updater();
    EXPECT_EQ(updater->Internetti()->DispatchInterval(), quint32(DetectorInterval));
    ASSERT_TRUE(WaitFor([&] { return !updater->Internetti()->Polling(); }));
    // Offline: no check is due, nothing is re-armed.
    updater->CheckUpdateResult();
    EXPECT_EQ(Script.Checks, 0);
    EXPECT_FALSE(updater->Paivitys()->isActive());
    EXPECT_TRUE(updater->Internetti()->Enabled());
    Network.Set({QStringLiteral("fe80::1"), QStringLiteral("10.8.0.2")});
    updater->Internetti()->PollTimer();
    ASSERT_TRUE(WaitFor([&] { return updater->Internetti()->Online(); }));
    EXPECT_TRUE(updater->Paivitys()->isActive());
    EXPECT_EQ(updater->Paivitys()->interval(), FirstInterval);
    updater->PaivitysTimer();
    EXPECT_EQ(Script.Checks, 1);
    EXPECT_TRUE(updater->Internetti()->Enabled());
    EXPECT_EQ(updater->Internetti()->DispatchInterval(), quint32(DailyInterval));
    // A machine that stays online is checked again tomorrow all the same.
    EXPECT_TRUE(updater->Paivitys()->isActive());
    EXPECT_EQ(updater->Paivitys()->interval(), DailyInterval);
    // Going offline stops the timer.
    Network.Set({QStringLiteral("fe80::1")});
    updater->Internetti()->PollTimer();
    ASSERT_TRUE(WaitFor([&] { return !updater->Internetti()->Online(); }));
    EXPECT_FALSE(updater->Paivitys()->isActive());
}

// The lines main.cpp holds: the hook of the main window's update timer, and the object as the
// main window's child.
TEST(AutoUpdateMainWindowTest, TheMainWindowsTimerRunsTheCheck)
{
    QTemporaryDir dir;
    {
        TIniFile ini(SettingsFilePath(dir.path() + u'/'));
        ini.WriteInteger("General", "Language index", 0);
        ini.WriteBool("Update", "Automatic update", true);
        ini.WriteBool("Update", "Always connected to the Internet", true);
        ASSERT_TRUE(ini.UpdateFile());
    }
    TStartHooks hooks;
    hooks.AutoUpdateCheck = [] { TAutoUpdate::CheckFromMainWindow(); };
    TPaaIkkuna::SetStartHooks(hooks);
    TScript script;
    {
        TPaaIkkuna window(dir.path());
        TAutoUpdateHost host = TAutoUpdateHost::FromMainWindow();
        host.CreateUpdateWindow = [&script](QWidget *) { return std::make_unique<TScriptedRun>(&script); };
        auto *updater = new TAutoUpdate(host, &window);
        // The main window's own timer covers "always connected" until the first check.
        EXPECT_FALSE(updater->Paivitys()->isActive());
        window.PaivitysTimer();  // not the active window: checks
        EXPECT_EQ(script.Checks, 1);
        EXPECT_TRUE(updater->Paivitys()->isActive());
        EXPECT_EQ(updater->Paivitys()->interval(), DailyInterval);
        TAutoUpdate::ArmFromMainWindow();
        EXPECT_FALSE(updater->Internetti()->Enabled());
    }
    TPaaIkkuna::SetStartHooks({});
    const TIniFile ini(SettingsFilePath(dir.path() + u'/'));
    EXPECT_EQ(ini.ReadString("Update", "Last checked", ""), QDate::currentDate().toString("yyyy-MM-dd"));
}

// Closed while the hidden check waits for a server that never answers: the request ends at once,
// nothing is asked, and the failed check is not counted as one of the server's. The server holds
// the request until the check has ended, so only the client can have ended it; at once means long
// before its own time limit, the other way it could end (saving the settings on a loaded disk may
// take seconds, so the bound is not tighter).
TEST(AutoUpdateMainWindowTest, ClosingTheWindowEndsAHiddenCheckAtOnce)
{
    std::atomic<bool> release{false}, hungUp{false};
    HttpPeers::TScriptedServer silent([&](HttpPeers::TConnection &c, int, HttpPeers::TScriptedServer &server) {
        server.ReadAndRecord(c);
        while (!release && !hungUp)
            hungUp = c.WaitForClose(50);
    });
    QTemporaryDir dir;
    {
        TIniFile ini(SettingsFilePath(dir.path() + u'/'));
        ini.WriteInteger("General", "Language index", 0);
        ini.WriteBool("Update", "Automatic update", true);
        ini.WriteBool("Update", "Always connected to the Internet", true);
        ini.WriteString("Update", "Update address", silent.Url("/Vaskimo.upd"));
        ASSERT_TRUE(ini.UpdateFile());
    }
    // The lines main.cpp holds.
    TStartHooks hooks;
    hooks.Quitting = [] {
        TAutoUpdate::QuitFromMainWindow();
        THttpCli::AbortAll();
    };
    TPaaIkkuna::SetStartHooks(hooks);
    TBoxes boxes;
    qint64 closedAfter = -1, endedAfter = -1;
    {
        TPaaIkkuna window(dir.path());
        auto *updater = new TAutoUpdate(TAutoUpdateHost::FromMainWindow(), &window);
        QElapsedTimer clock;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (!silent.Requests().isEmpty() && closedAfter < 0) {
                closedAfter = clock.elapsed();
                window.close();
            }
        });
        closer.start(20);
        clock.start();
        updater->CheckUpdateResult();
        endedAfter = clock.elapsed();
        EXPECT_FALSE(updater->Paivitys()->isActive()) << "a check armed for a program that has ended";
    }
    const bool closedByTheClient = WaitFor([&] { return hungUp.load(); });
    release = true;
    EXPECT_TRUE(closedByTheClient) << "the connection stayed open after the check";
    TPaaIkkuna::SetStartHooks({});
    ASSERT_GE(closedAfter, 0) << "the check never reached the server";
    EXPECT_LT(endedAfter - closedAfter, UpdateInfo::TUpdateLimits().Info.MaxMilliseconds / 2)
        << "the request outlived the window by " << endedAfter - closedAfter << " ms";
    EXPECT_TRUE(boxes.Shown.isEmpty()) << qPrintable(boxes.Shown.join('\n'));
    const TIniFile ini(SettingsFilePath(dir.path() + u'/'));
    EXPECT_EQ(ReadErrorCount(ini), 0);
    EXPECT_EQ(ini.ReadString("Update", "Last checked", ""), QDate::currentDate().toString("yyyy-MM-dd"));
}
