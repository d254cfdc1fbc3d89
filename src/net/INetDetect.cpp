// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TINetDetect: interface snapshot at creation, host-name polls on a worker thread.
#include "INetDetect.h"

#include <QMetaObject>

#include <arpa/inet.h>
#include <climits>
#include <ifaddrs.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

QString DottedText(const in_addr &address)
{
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address, text, sizeof text))
        return {};
    return QString::fromLatin1(text);
}

std::optional<QStringList> SystemInterfaceAddresses()
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::nullopt;
    QStringList addresses;
    for (const ifaddrs *item = list; item; item = item->ifa_next) {
        if (item->ifa_addr && item->ifa_addr->sa_family == AF_INET)
            addresses << DottedText(reinterpret_cast<const sockaddr_in *>(item->ifa_addr)->sin_addr);
    }
    freeifaddrs(list);
    return addresses;
}

QString SystemHostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return QString::fromLocal8Bit(name);
}

std::optional<QStringList> SystemResolveHost(const QString &host)
{
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    addrinfo *found = nullptr;
    if (getaddrinfo(host.toLocal8Bit().constData(), nullptr, &hints, &found) != 0)
        return std::nullopt;
    QStringList addresses;
    for (const addrinfo *item = found; item; item = item->ai_next) {
        if (item->ai_family != AF_INET)
            continue;
        const QString text = DottedText(reinterpret_cast<const sockaddr_in *>(item->ai_addr)->sin_addr);
        if (!addresses.contains(text))
            addresses << text;
    }
    freeaddrinfo(found);
    return addresses;
}

}  // namespace

TINetSources TINetSources::System()
{
    return {SystemInterfaceAddresses, SystemHostName, SystemResolveHost};
}

// The worker may finish after the detector is gone; it posts only while Owner is set, and the
// destructor clears Owner under the same lock. A result already posted dies with the detector's
// pending events.
struct TINetDetect::TReplyGate
{
    std::mutex Lock;
    TINetDetect *Owner = nullptr;
};

TINetDetect::TINetDetect(QObject *owner, TINetSources sources)
    : QObject(owner), FSources(std::move(sources)), FGate(std::make_shared<TReplyGate>())
{
    FGate->Owner = this;
    FTimer.setInterval(int(FDispatchInterval));
    connect(&FTimer, &QTimer::timeout, this, &TINetDetect::PollTimer);
    TakeSnapshot();
    PollTimer();
}

TINetDetect::~TINetDetect()
{
    std::lock_guard lock(FGate->Lock);
    FGate->Owner = nullptr;
    FEnabled = false;
}

void TINetDetect::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    if (!FEnabled)
        FTimer.stop();
    else if (!FPolling)
        FTimer.start();
}

void TINetDetect::SetDispatchInterval(quint32 value)
{
    if (value == FDispatchInterval)
        return;
    FDispatchInterval = value;
    FTimer.setInterval(int(qMin<quint32>(value, INT_MAX)));
}

void TINetDetect::TakeSnapshot()
{
    if (FSources.HostName)
        FHostName = FSources.HostName();
    const std::optional<QStringList> addresses =
        FSources.InterfaceAddresses ? FSources.InterfaceAddresses() : std::nullopt;
    FSnapshot = addresses.value_or(QStringList());
}

void TINetDetect::PollTimer()
{
    if (FPolling)
        return;
    FTimer.stop();
    FPolling = true;
    std::thread([hostName = FSources.HostName, resolve = FSources.ResolveHost, gate = FGate] {
        TPollResult result;
        if (hostName)
            result.HostName = hostName();
        if (!result.HostName.isEmpty() && resolve)
            result.Addresses = resolve(result.HostName);
        std::lock_guard lock(gate->Lock);
        if (TINetDetect *owner = gate->Owner)
            QMetaObject::invokeMethod(owner, [owner, result] { owner->PollDone(result); }, Qt::QueuedConnection);
    }).detach();
}

void TINetDetect::PollDone(const TPollResult &result)
{
    FPolling = false;
    if (!result.HostName.isEmpty())
        FHostName = result.HostName;
    if (result.Addresses) {
        QString found;
        for (const QString &address : *result.Addresses) {
            // Debian names the own host 127.0.1.1 in /etc/hosts: a loopback address is never a link.
            if (address.startsWith(QLatin1String("127.")))
                continue;
            if (!FSnapshot.contains(address)) {
                found = address;
                break;
            }
        }
        FCurrentIP = found;
        const bool online = !found.isEmpty();
        if (online != FOnline) {
            FOnline = online;
            // A detector that is switched off reports nothing: the owner arms its timers from
            // OnChanged, and a disabled detector must not arm them behind the settings' back.
            if (FEnabled && OnChanged)
                OnChanged(this);
        }
    }
    if (FEnabled)
        FTimer.start();
}
