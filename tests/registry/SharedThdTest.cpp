// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the scanner thread base: errors, reports on the owner's thread, stop and teardown.
#include "shell/SharedThd.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include "WaitFor.h"

#include <stdexcept>

namespace {


// Reports Count numbers, each after Gate allows it (when given), then optionally throws. Waiting
// (once it asks Gate for the first number) and Reporting (before each report) are released so that a
// test can wait for the worker to be there.
class TCounter final : public TSharedThd
{
public:
    TCounter(QObject *owner, int count, std::function<void(int)> onReport, QSemaphore *gate = nullptr,
             bool fail = false)
        : TSharedThd(owner), FCount(count), FOnReport(std::move(onReport)), FGate(gate), FFail(fail)
    {
    }
    QSemaphore Waiting;
    QSemaphore Reporting;

protected:
    void DoWork() override
    {
        for (int i = 0; i < FCount && !Terminated(); ++i) {
            if (FGate) {
                if (i == 0)
                    Waiting.release();
                while (!FGate->tryAcquire(1, 10))
                    if (Terminated())
                        return;
            }
            if (Terminated())
                return;
            FPending = i;
            Reporting.release();
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

// True once the worker has deleted itself (deleteLater, after OnTerminate): it can run nothing more.
[[nodiscard]] bool Gone(const QPointer<TCounter> &worker)
{
    return WaitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return worker.isNull();
    });
}

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
    QPointer<TCounter> alive = worker;
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return terminated > 0; }));
    ASSERT_TRUE(Gone(alive));
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
    QPointer<TCounter> alive = worker;
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return terminated > 0; }));
    ASSERT_TRUE(Gone(alive));
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
    QPointer<TCounter> alive = worker;
    worker->Resume();
    ASSERT_TRUE(worker->Waiting.tryAcquire(1, 10000)) << "the worker did not start";
    worker->SetOnTerminate([&](TSharedThd *) { ++aborted; });
    worker->Terminate();
    ASSERT_TRUE(WaitFor([&] { return aborted > 0; }));
    ASSERT_TRUE(Gone(alive));
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(aborted, 1);
}

TEST(SharedThd, DestroyedOwnerStopsAndWaitsForItsWorkers)
{
    int reports = 0, terminated = 0;
    QSemaphore gate;
    QList<QPointer<TCounter>> workers;
    {
        QObject owner;
        for (int i = 0; i < 3; ++i) {
            auto *worker = new TCounter(&owner, 1000000, [&](int) { ++reports; }, &gate);
            worker->SetOnTerminate([&](TSharedThd *) { ++terminated; });
            worker->Resume();
            workers.append(worker);
        }
        gate.release(6);
        // Let some reports pass, leaving workers blocked inside Synchronize and waiting on the gate.
        ASSERT_TRUE(WaitFor([&] { return reports >= 3; }));
        TSharedThd::StopAndWaitFor(&owner);
        for (const QPointer<TCounter> &worker : workers)
            EXPECT_TRUE(worker.isNull()) << "a worker outlived the stop";
    }
    // With every worker gone nothing can be posted any more: what is queued is all there is.
    const int reportsAtTeardown = reports;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(terminated, 0);
    EXPECT_EQ(reports, reportsAtTeardown);
}

TEST(SharedThd, OwnerDestroyedWithoutExplicitStopStillEndsWorkers)
{
    int terminated = 0, reports = 0;
    QSemaphore gate;
    QPointer<TCounter> kept;
    {
        QObject owner;
        auto *worker = new TCounter(&owner, 10, [&](int) { ++reports; }, &gate);
        kept = worker;
        worker->SetOnTerminate([&](TSharedThd *) { ++terminated; });
        worker->Resume();
        gate.release(1);
        // The owner never runs events here: the worker's first report waits for it until it is gone.
        ASSERT_TRUE(worker->Reporting.tryAcquire(1, 10000)) << "the worker did not reach its first report";
    }
    EXPECT_TRUE(kept.isNull()) << "the worker outlived its owner";
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(terminated, 0);
    EXPECT_EQ(reports, 0);
}

}  // namespace
