// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TINetDetect: polls of the interfaces' addresses on a worker thread.
#include "INetDetect.h"

#include <QMetaObject>

#include <algorithm>
#include <arpa/inet.h>
#include <climits>
#include <ifaddrs.h>
#include <mutex>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

bool IsNetworkIPv4(const unsigned char *b)
{
    const bool unspecified = !b[0] && !b[1] && !b[2] && !b[3];
    return !unspecified && b[0] != 127 && !(b[0] == 169 && b[1] == 254);
}

QString AddressText(const sockaddr *address)
{
    char text[INET6_ADDRSTRLEN] = {};
    const void *raw = address->sa_family == AF_INET
        ? static_cast<const void *>(&reinterpret_cast<const sockaddr_in *>(address)->sin_addr)
        : static_cast<const void *>(&reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr);
    if (!inet_ntop(address->sa_family, raw, text, sizeof text))
        return {};
    return QString::fromLatin1(text);
}

// Read anew at every poll: a link that comes up after the program started is what counts.
std::optional<QStringList> SystemInterfaceAddresses()
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::nullopt;
    QStringList addresses;
    for (const ifaddrs *item = list; item; item = item->ifa_next) {
        const bool running = (item->ifa_flags & IFF_UP) && (item->ifa_flags & IFF_RUNNING);
        if (!running || (item->ifa_flags & IFF_LOOPBACK) || !item->ifa_addr)
            continue;
        if (item->ifa_addr->sa_family == AF_INET || item->ifa_addr->sa_family == AF_INET6)
            addresses << AddressText(item->ifa_addr);
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

}  // namespace

TINetSources TINetSources::System()
{
    return {SystemInterfaceAddresses, SystemHostName};
}

bool IsNetworkAddress(const QString &address)
{
    const QByteArray text = address.toLatin1();
    unsigned char b[16] = {};
    if (inet_pton(AF_INET, text.constData(), b) == 1)
        return IsNetworkIPv4(b);
    if (inet_pton(AF_INET6, text.constData(), b) != 1)
        return false;
    static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::equal(mapped, mapped + 12, b))
        return IsNetworkIPv4(b + 12);
    const bool zeroHead = std::all_of(b, b + 15, [](unsigned char c) { return c == 0; });
    const bool unspecifiedOrLoopback = zeroHead && b[15] <= 1;
    const bool linkLocal = b[0] == 0xfe && (b[1] & 0xc0) == 0x80;
    return !unspecifiedOrLoopback && !linkLocal;
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
    if (FSources.HostName)
        FHostName = FSources.HostName();
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

void TINetDetect::PollTimer()
{
    if (FPolling)
        return;
    FTimer.stop();
    FPolling = true;
    std::thread([hostName = FSources.HostName, addresses = FSources.InterfaceAddresses, gate = FGate] {
        TPollResult result;
        if (hostName)
            result.HostName = hostName();
        if (addresses)
            result.Addresses = addresses();
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
        FAddresses = *result.Addresses;
        // The own host name says nothing here: Debian maps it to 127.0.1.1 whatever the links are.
        QString firstIPv4, firstIPv6;
        for (const QString &address : std::as_const(FAddresses)) {
            if (!IsNetworkAddress(address))
                continue;
            QString &first = address.contains(u':') ? firstIPv6 : firstIPv4;
            if (first.isEmpty())
                first = address;
        }
        const QString found = firstIPv4.isEmpty() ? firstIPv6 : firstIPv4;
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
