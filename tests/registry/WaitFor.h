// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: waits, processing events, until a condition holds (the registry tests' worker threads report through events).
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

inline bool WaitFor(const std::function<bool()> &condition, int ms = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
