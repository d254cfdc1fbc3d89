// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: one function run on a worker for a window (a long list's sort), with the worker
// conventions of TSharedThd.
#pragma once

#include "shell/SharedThd.h"

#include <QList>

#include <functional>
#include <memory>

class TBackgroundJob final : public TSharedThd
{
    Q_OBJECT
public:
    // work runs on the worker and touches nothing the owner changes meanwhile.
    TBackgroundJob(QObject *owner, std::function<void()> work) : TSharedThd(owner), FWork(std::move(work)) {}

    // Rows from which a window sorts its list on a worker; a shorter list sorts at once.
    static constexpr qsizetype BackgroundRows = 20000;

protected:
    void DoWork() override { FWork(); }

private:
    const std::function<void()> FWork;
};

namespace BackgroundJob {
// Sorts a copy of list with sort, on a worker when it is long, then gives the sorted copy to done on
// owner's thread with the worker that sorted it (nullptr when it sorted at once, before returning).
// Returns that worker, or nullptr. A window keeps the worker and drops a done whose worker is not
// its latest.
template <class T>
TSharedThd *SortList(QObject *owner, QList<T> list, std::function<void(QList<T> &)> sort,
                     std::function<void(TSharedThd *sorter, QList<T> &sorted)> done)
{
    auto order = std::make_shared<QList<T>>(std::move(list));
    if (order->size() < TBackgroundJob::BackgroundRows) {
        sort(*order);
        done(nullptr, *order);
        return nullptr;
    }
    auto *job = new TBackgroundJob(owner, [order, sort] { sort(*order); });
    job->SetOnTerminate([order, done](TSharedThd *sorter) { done(sorter, *order); });
    job->Resume();
    return job;
}
}  // namespace BackgroundJob
