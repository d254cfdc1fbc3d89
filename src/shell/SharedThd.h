// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the base of the scanner threads: runs DoWork once and reports back to its window.
//
// The convention every scanner shares with its window:
// - the window passes its handlers (its own methods, bound) to the worker's constructor; the worker
//   copies every list it gets and never touches the window otherwise;
// - a report goes through Synchronize: the call runs on the owner's thread, one at a time, while
//   the worker waits (a blocking queued call);
// - the window sets OnTerminate, then calls Resume. When DoWork has returned, OnTerminate runs once on
//   the owner's thread (a queued event) with the worker as sender; the worker then deletes itself;
// - Stop: the window points OnTerminate at its abort handler and calls Terminate; DoWork tests
//   Terminated() between items.
// A window that is destroyed calls StopAndWaitFor(this) first in its destructor: no thread outlives
// its window, and no handler runs once the window is gone.
#pragma once

#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class TSharedThd : public QThread
{
    Q_OBJECT

public:
    using TTerminateHandler = std::function<void(TSharedThd *sender)>;

    // owner: the window whose thread runs the synchronised calls and OnTerminate. The worker is
    // created suspended: nothing runs before Resume().
    explicit TSharedThd(QObject *owner);
    ~TSharedThd() override;

    QString ErrorText() const { return FErrorText; }  // message of the exception that ended DoWork
    int ErrorCode() const { return FErrorCode; }       // 0; -1 when DoWork ended with an exception

    QObject *Owner() const { return FOwner.data(); }
    void SetOnTerminate(TTerminateHandler handler) { FOnTerminate = std::move(handler); }
    void Resume();
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }

    // Terminates the worker, releases a pending Synchronize without running it, waits for the thread
    // and deletes the worker without running OnTerminate. Owner's thread only.
    void StopAndWait();
    // StopAndWait for every live worker of owner (a window's destructor calls it first).
    static void StopAndWaitFor(QObject *owner);

protected:
    // The worker's whole job; runs in the worker thread. An exception derived from std::exception
    // ends it and is kept in ErrorText/ErrorCode; OnTerminate still runs.
    virtual void DoWork() = 0;

    // Runs call on the owner's thread and waits until it has run. Returns false, without running it,
    // when the worker is being stopped for good (StopAndWait) or its owner is gone.
    bool Synchronize(const std::function<void()> &call);
    // Runs call on the owner's thread without waiting for it: posted calls run in order, before
    // OnTerminate, and never once the worker is stopped for good or its owner is gone. False when
    // it could not be posted. call must not use the worker object.
    bool Post(std::function<void()> call);

private:
    void run() final;
    void Finished();

    struct TSyncChannel {
        std::mutex Mutex;
        std::condition_variable Done;
        bool Detached = false;
        quint64 Completed = 0;  // number of the last synchronised call that has finished
    };

    QObject *const FOwnerObject;  // compared only; may be dangling once the owner is gone
    QPointer<QObject> FOwner;
    std::shared_ptr<TSyncChannel> FChannel;
    quint64 FSyncCount = 0;  // worker thread only
    TTerminateHandler FOnTerminate;
    bool FInTerminate = false;
    std::atomic<bool> FTerminated{false};
    QString FErrorText;
    int FErrorCode = 0;
};
