// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the self-pipe behind TStopSignals.
#include "shell/StopSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {
int Pipe[2] = {-1, -1};
std::atomic<long long> FirstStop{0};  // CLOCK_MONOTONIC nanoseconds of the first stop signal, 0 none

long long Now()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec + 1;
}

void OnSignal(int signal)
{
    const int saved = errno;
    const long long now = Now();
    long long first = 0;
    if (FirstStop.compare_exchange_strong(first, now)) {
        const unsigned char number = static_cast<unsigned char>(signal);
        // Non-blocking: a full pipe already holds a stop request.
        [[maybe_unused]] const ssize_t n = write(Pipe[1], &number, 1);
    } else if (now - first >= TStopSignals::SameStop * 1000000LL) {
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(signal, &fallback, nullptr);
        raise(signal);  // delivered as soon as this handler returns
    }
    errno = saved;
}
} // namespace

void TStopSignals::Install()
{
    if (Pipe[0] >= 0 || pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

TStopSignals::TStopSignals(std::function<void(int)> onSignal, QObject *parent)
    : QObject(parent), FOnSignal(std::move(onSignal))
{
    if (Pipe[0] < 0)
        return;
    FNotifier = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TStopSignals::Read);
}

TStopSignals::~TStopSignals() = default;

void TStopSignals::Read()
{
    unsigned char number = 0;
    while (read(Pipe[0], &number, 1) == 1)
        if (FOnSignal)
            FOnSignal(number);
}

QString TStopSignals::Name(int signal)
{
    switch (signal) {
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGINT: return QStringLiteral("SIGINT");
    default: return QStringLiteral("signal %1").arg(signal);
    }
}
