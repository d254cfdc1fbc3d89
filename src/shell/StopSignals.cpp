// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the self-pipe behind TStopSignals.
#include "shell/StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int Pipe[2] = {-1, -1};

void OnSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // Non-blocking: a full pipe already holds a stop request.
    [[maybe_unused]] const ssize_t n = write(Pipe[1], &number, 1);
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
    action.sa_flags = SA_RESTART | SA_RESETHAND;
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
