// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: waits, processing events, until a condition holds (the registry tests' worker threads report through events).
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>

#include <functional>

[[nodiscard]] inline bool WaitFor(const std::function<bool()> &condition, int ms = 20000)
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

// Waits while busy() holds until position() has shown three different values (a bar that moves);
// false when the work ended first or the time ran out.
[[nodiscard]] inline bool WaitForProgress(const std::function<int()> &position, const std::function<bool()> &busy, int ms = 120000)
{
    QList<int> seen;
    return WaitFor([&] {
        const int now = position();
        if (now >= 0 && !seen.contains(now))
            seen.append(now);
        return seen.size() >= 3 || !busy();
    }, ms) && busy();
}
