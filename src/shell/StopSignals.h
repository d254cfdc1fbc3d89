// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: SIGTERM and SIGINT (cron's time-outs, Ctrl-C) delivered as calls on the GUI thread.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// The handler only writes the signal's number to a pipe; a socket notifier reads it on the GUI
// thread, where the program can stop its work as Stop does. A SIGTERM or SIGINT within SameStop
// of the first belongs to the same stop (GNU timeout sends SIGTERM to the program and then to its
// whole process group) and is ignored; a later one ends the process at once, as it would have
// without a handler.
class TStopSignals : public QObject
{
public:
    static constexpr int SameStop = 3000;  // ms
    // Before QApplication: a signal that comes while the program starts is read when the event loop runs.
    static void Install();

    explicit TStopSignals(std::function<void(int signal)> onSignal, QObject *parent = nullptr);
    ~TStopSignals() override;

    // "SIGTERM", "SIGINT".
    static QString Name(int signal);

private:
    void Read();

    std::function<void(int)> FOnSignal;
    QSocketNotifier *FNotifier = nullptr;
};
