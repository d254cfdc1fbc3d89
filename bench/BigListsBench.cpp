// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: how long the main thread's event loop goes unanswered while the registry cleaner finds
// and deletes many values and the undo manager loads their undo file.
//
// bench_big_lists [values [rounds]]   (defaults 400000, 3)
//
// Each round builds a prefix with `values` string values that name missing files, then, on the
// offscreen platform: the registry cleaner's Find and "Delete all" (with its undo file), the undo
// manager's first load of that file, and its window activated again. A 5 ms timer on the main
// thread measures the longest gap between its ticks during each; the goal is below 100 ms.
#include "registry/Rekisteri.h"
#include "registry/Undo.h"
#include "shell/Batch.h"
#include "shell/Buttons.h"
#include "shell/MessageBoxes.h"
#include "shell/Settings.h"
#include "support/BigRegistry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

using namespace TestSupport;

constexpr int LoopTimeoutMs = 900000;

// The longest time between two ticks of a 5 ms timer on this thread, less the 5 ms.
class TLoopGapMeter
{
public:
    TLoopGapMeter()
    {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            const double gap = FSince.nsecsElapsed() / 1000000.0 - 5;
            if (gap > FLongest) {
                FLongest = gap;
                FAt = FPhase.nsecsElapsed() / 1e9;
            }
            FSince.start();
        });
    }
    void Start()
    {
        FLongest = 0;
        FAt = 0;
        FPhase.start();
        FSince.start();
        FTimer.start();
    }
    double Stop()
    {
        FTimer.stop();
        const double last = FSince.nsecsElapsed() / 1000000.0 - 5;
        if (last > FLongest) {
            FLongest = last;
            FAt = FPhase.nsecsElapsed() / 1e9;
        }
        return FLongest;
    }
    // When the longest gap ended, in seconds from the start.
    double At() const { return FAt; }

private:
    QTimer FTimer;
    QElapsedTimer FSince, FPhase;
    double FLongest = 0, FAt = 0;
};

// Runs the event loop until done() holds; false on the time-out.
bool RunUntil(const std::function<bool()> &done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > LoopTimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

struct TPhase {
    const char *Name;
    QList<double> Seconds = {}, GapMs = {};
};

double Median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    const qsizetype n = v.size();
    return n == 0 ? 0 : n % 2 ? v.at(n / 2) : (v.at(n / 2 - 1) + v.at(n / 2)) / 2;
}

// Times one phase: started by start(), over when done() holds.
bool Measure(TPhase &phase, TLoopGapMeter &meter, const std::function<void()> &start, const std::function<bool()> &done)
{
    QElapsedTimer timer;
    timer.start();
    meter.Start();
    start();
    const bool ended = RunUntil(done);
    phase.GapMs.append(meter.Stop());
    phase.Seconds.append(double(timer.nsecsElapsed()) / 1e9);
    std::printf("  %-22s %8.2f s, longest gap %8.1f ms (ending %.2f s in)%s\n", phase.Name, phase.Seconds.last(),
                phase.GapMs.last(), meter.At(), ended ? "" : " (TIMED OUT)");
    std::fflush(stdout);
    return ended;
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int values = argc > 1 ? std::atoi(argv[1]) : 400000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    MessageBoxes::SetHandler([](QWidget *, TMessageKind, const QString &text) {
        std::fprintf(stderr, "bench_big_lists: message: %s\n", qPrintable(text));
        return true;
    });
    TPhase find{"registry Find"}, deleteAll{"registry Delete all"}, load{"undo manager load"},
        activate{"undo manager activated"};
    TLoopGapMeter meter;
    for (int round = 1; round <= rounds; ++round) {
        std::printf("round %d (%d values):\n", round, values);
        TPrefixBuilder builder;
        AddStaleValues(builder, values);
        builder.MakeCurrent();
        QTemporaryDir program;
        TSettings settings;
        settings.FRegistryUndoDir = program.filePath(QStringLiteral("Undo"));
        settings.FAddRemoveUndoDir = settings.FRegistryUndoDir;
        settings.FStartupUndoDir = settings.FRegistryUndoDir;
        settings.FRegistryConfirm = false;
        TBatchState batch;

        TRegistryHost host;
        host.ProgramFolder = program.path();
        host.Settings = &settings;
        host.Batch = &batch;
        host.UndoHeader = [] { return QStringLiteral("REGEDIT4"); };
        host.TimeStamp = [] { return QStringLiteral("1/2/2026, 3:04:05 PM"); };
        host.UniqueFileName = [](const QString &folder, const QString &name) { return folder + name + u'~'; };
        host.Prefix = builder.Prefix();
        auto cleaner = std::make_unique<TRegistryIkkuna>(nullptr, host);
        cleaner->show();
        bool ok = Measure(find, meter, [&] { cleaner->Button(QStringLiteral("btnFind"))->click(); },
                          [&] { return !cleaner->Scanning(); });
        const qsizetype found = cleaner->Records().size();
        ok = ok && Measure(deleteAll, meter, [&] { cleaner->Button(QStringLiteral("btnDeleteAll"))->click(); },
                           [&] { return !cleaner->Deleting(); });
        if (found != values || !cleaner->Records().isEmpty())
            std::fprintf(stderr, "bench_big_lists: found %lld, %lld left after Delete all\n", qint64(found),
                         qint64(cleaner->Records().size()));
        cleaner.reset();

        TUndoHost undoHost;
        undoHost.ProgramFolder = program.path();
        undoHost.Settings = &settings;
        undoHost.Prefix = builder.Prefix();
        auto undo = std::make_unique<TUndoIkkuna>(nullptr, undoHost);
        ok = ok && Measure(load, meter, [&] { undo->show(); undo->activateWindow(); undo->Refresh(); },
                           [&] { return !undo->Loading() && !undo->Entries().isEmpty(); });
        if (undo->Entries().size() != found)
            std::fprintf(stderr, "bench_big_lists: the undo manager shows %lld entries\n", qint64(undo->Entries().size()));
        ok = ok && Measure(activate, meter, [&] {
            QEvent deactivate(QEvent::WindowDeactivate), activation(QEvent::WindowActivate);
            QApplication::sendEvent(undo.get(), &deactivate);
            QApplication::sendEvent(undo.get(), &activation);
        }, [&] { return !undo->Loading(); });
        if (!ok)
            return 1;
    }
    std::printf("bench_big_lists: %d values, %d rounds; min / median / max\n", values, rounds);
    for (const TPhase *p : {&find, &deleteAll, &load, &activate})
        std::printf("  %-22s %7.2f / %7.2f / %7.2f s; longest gap %7.1f / %7.1f / %7.1f ms (goal: below 100)\n", p->Name,
                    *std::min_element(p->Seconds.begin(), p->Seconds.end()), Median(p->Seconds),
                    *std::max_element(p->Seconds.begin(), p->Seconds.end()),
                    *std::min_element(p->GapMs.begin(), p->GapMs.end()), Median(p->GapMs),
                    *std::max_element(p->GapMs.begin(), p->GapMs.end()));
    return 0;
}
