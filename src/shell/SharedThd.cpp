// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the scanner thread base: one DoWork per thread, synchronised reports, one termination event.
#include "SharedThd.h"

#include <QMetaObject>
#include <mutex>
#include <QSet>

#include <exception>

namespace {
// Live workers; touched only on the owners' (GUI) thread, guarded all the same.
std::mutex GLiveMutex;
QSet<TSharedThd *> &LiveWorkers()
{
    static QSet<TSharedThd *> live;
    return live;
}
}

TSharedThd::TSharedThd(QObject *owner)
    : QThread(nullptr), FOwnerObject(owner), FOwner(owner), FChannel(std::make_shared<TSyncChannel>())
{
    {
        std::lock_guard lock(GLiveMutex);
        LiveWorkers().insert(this);
    }
    // finished is emitted in the worker thread; the object lives on the owner's thread, so this
    // connection is queued: the termination event arrives as an event, never inside the worker.
    connect(this, &QThread::finished, this, &TSharedThd::Finished, Qt::QueuedConnection);
    if (owner)
        connect(owner, &QObject::destroyed, this, [this] { StopAndWait(); }, Qt::DirectConnection);
}

TSharedThd::~TSharedThd()
{
    {
        std::lock_guard lock(GLiveMutex);
        LiveWorkers().remove(this);
    }
    // Only reached for a worker that never ran or has ended; a safety net for the rest.
    FTerminated = true;
    {
        std::lock_guard lock(FChannel->Mutex);
        FChannel->Detached = true;
    }
    FChannel->Done.notify_all();
    wait();
}

void TSharedThd::Resume()
{
    start();
}

void TSharedThd::run()
{
    try {
        DoWork();
    } catch (const std::exception &e) {
        FErrorText = QString::fromUtf8(e.what());
        FErrorCode = -1;
    }
}

bool TSharedThd::Synchronize(const std::function<void()> &call)
{
    const std::shared_ptr<TSyncChannel> channel = FChannel;
    const quint64 number = ++FSyncCount;
    std::unique_lock lock(channel->Mutex);
    // Detached is set under this lock before the owner goes away, so the owner is alive while we post.
    if (channel->Detached || !FOwnerObject)
        return false;
    const bool posted = QMetaObject::invokeMethod(
        FOwnerObject,
        [channel, call, number] {
            {
                std::lock_guard inner(channel->Mutex);
                if (channel->Detached)
                    return;
            }
            struct TDone {
                TSyncChannel *Channel;
                quint64 Number;
                ~TDone()
                {
                    {
                        std::lock_guard inner(Channel->Mutex);
                        Channel->Completed = Number;
                    }
                    Channel->Done.notify_all();
                }
            } done{channel.get(), number};
            call();
        },
        Qt::QueuedConnection);
    if (!posted)
        return false;
    channel->Done.wait(lock, [&] { return channel->Completed >= number || channel->Detached; });
    return channel->Completed >= number;
}

bool TSharedThd::Post(std::function<void()> call)
{
    const std::shared_ptr<TSyncChannel> channel = FChannel;
    std::lock_guard lock(channel->Mutex);
    if (channel->Detached || !FOwnerObject)
        return false;
    return QMetaObject::invokeMethod(
        FOwnerObject,
        [channel, call = std::move(call)] {
            {
                std::lock_guard inner(channel->Mutex);
                if (channel->Detached)
                    return;
            }
            call();
        },
        Qt::QueuedConnection);
}

void TSharedThd::Finished()
{
    wait();
    FInTerminate = true;
    if (FOnTerminate && FOwner) {
        const TTerminateHandler handler = FOnTerminate;
        handler(this);
    }
    FInTerminate = false;
    deleteLater();
}

void TSharedThd::StopAndWait()
{
    FTerminated = true;
    {
        std::lock_guard lock(FChannel->Mutex);
        FChannel->Detached = true;
    }
    FChannel->Done.notify_all();
    FOnTerminate = nullptr;
    wait();
    if (!FInTerminate)
        delete this;  // Finished() deletes it later when we are inside its handler
}

void TSharedThd::StopAndWaitFor(QObject *owner)
{
    QList<TSharedThd *> mine;
    {
        std::lock_guard lock(GLiveMutex);
        for (TSharedThd *worker : LiveWorkers())
            if (worker->FOwnerObject == owner)
                mine.append(worker);
    }
    for (TSharedThd *worker : mine)
        worker->StopAndWait();
}
