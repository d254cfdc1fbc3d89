// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: SIGTERM and SIGINT (cron's time-outs, Ctrl-C) delivered as calls on the GUI thread.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// The handler only writes the signal's number to a pipe; a socket notifier reads it on the GUI
// thread, where the program can stop its work as Stop does. Each handler resets itself to the
// default action when it runs, so a second signal of the kind ends the process at once.
class TStopSignals : public QObject
{
public:
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
