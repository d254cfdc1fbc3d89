// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the scanner thread base: errors, reports on the owner's thread, stop and teardown.
#include "shell/SharedThd.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include "WaitFor.h"

#include <stdexcept>

namespace {


// Reports Count numbers, each after Gate allows it (when given), then optionally throws.
class TCounter final : public TSharedThd
{
public:
    TCounter(QObject *owner, int count, std::function<void(int)> onReport, QSemaphore *gate = nullptr,
             bool fail = false)
        : TSharedThd(owner), FCount(count), FOnReport(std::move(onReport)), FGate(gate), FFail(fail)
    {
    }
    QThread *ReportThread = nullptr;

protected:
    void DoWork() override
    {
        for (int i = 0; i < FCount && !Terminated(); ++i) {
            if (FGate) {
                while (!FGate->tryAcquire(1, 10))
                    if (Terminated())
                        return;
            }
            if (Terminated())
                return;
            FPending = i;
            Synchronize([this] { FOnReport(FPending); });
        }
        if (FFail)
            throw std::runtime_error("hive unreadable");
    }

private:
    int FCount;
    int FPending = 0;
    std::function<void(int)> FOnReport;
    QSemaphore *FGate;
    bool FFail;
};

TEST(SharedThd, ReportsRunOnOwnerThreadInOrderThenTerminateOnce)
{
    QObject owner;
    QList<int> seen;
    bool allOnOwnerThread = true;
    int terminated = 0;
    auto *worker = new TCounter(&owner, 50, [&](int n) {
        seen.append(n);
        allOnOwnerThread = allOnOwnerThread && QThread::currentThread() == owner.thread();
    });
    worker->SetOnTerminate([&](TSharedThd *sender) {
        EXPECT_EQ(sender->ErrorCode(), 0);
        EXPECT_TRUE(sender->ErrorText().isEmpty());
        ++terminated;
    });
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return terminated > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(terminated, 1);
    ASSERT_EQ(seen.size(), 50);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(seen[i], i);
    EXPECT_TRUE(allOnOwnerThread);
}

TEST(SharedThd, ExceptionIsKeptAndCompletionStillRunsOnce)
{
    QObject owner;
    int terminated = 0;
    int code = 0;
    QString text;
    auto *worker = new TCounter(&owner, 1, [](int) {}, nullptr, true);
    worker->SetOnTerminate([&](TSharedThd *sender) {
        code = sender->ErrorCode();
        text = sender->ErrorText();
        ++terminated;
    });
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return terminated > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(text, "hive unreadable");
}

TEST(SharedThd, StoppedBeforeFirstReportDeliversNoneAndRunsAbortHandler)
{
    QObject owner;
    QSemaphore gate;
    int reports = 0, finished = 0, aborted = 0;
    auto *worker = new TCounter(&owner, 5, [&](int) { ++reports; }, &gate);
    worker->SetOnTerminate([&](TSharedThd *) { ++finished; });
    worker->Resume();
    QThread::msleep(20);
    worker->SetOnTerminate([&](TSharedThd *) { ++aborted; });
    worker->Terminate();
    ASSERT_TRUE(WaitFor([&] { return aborted > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(aborted, 1);
}

TEST(SharedThd, DestroyedOwnerStopsAndWaitsForItsWorkers)
{
    int reports = 0, terminated = 0;
    QSemaphore gate;
    {
        QObject owner;
        for (int i = 0; i < 3; ++i) {
            auto *worker = new TCounter(&owner, 1000000, [&](int) { ++reports; }, &gate);
            worker->SetOnTerminate([&](TSharedThd *) { ++terminated; });
            worker->Resume();
        }
        gate.release(6);
        // Let some reports pass, leaving workers blocked inside Synchronize and waiting on the gate.
        WaitFor([&] { return reports >= 3; }, 2000);
        TSharedThd::StopAndWaitFor(&owner);
    }
    const int reportsAtTeardown = reports;
    QCoreApplication::processEvents();
    QThread::msleep(20);
    QCoreApplication::processEvents();
    EXPECT_EQ(terminated, 0);
    EXPECT_EQ(reports, reportsAtTeardown);
}

TEST(SharedThd, OwnerDestroyedWithoutExplicitStopStillEndsWorkers)
{
    int terminated = 0;
    QSemaphore gate;
    {
        QObject owner;
        auto *worker = new TCounter(&owner, 10, [](int) {}, &gate);
        worker->SetOnTerminate([&](TSharedThd *) { ++terminated; });
        worker->Resume();
        gate.release(1);
        QThread::msleep(20);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(terminated, 0);
}

}  // namespace
