// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TINetDetect, the connection detector: online while a network interface that is up holds an
// address beyond the machine itself (neither loopback nor link-local).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

// Where the detector gets its addresses from. The real sources ask the system; tests put in their own
// to make an address appear. Both run on a worker thread (a slow system call must not freeze the
// window), so they must be safe to call from there.
struct TINetSources
{
    // The addresses (dotted IPv4, IPv6 text) of the interfaces that are up and running, loopback
    // interfaces left out; nullopt when the system gives no list.
    std::function<std::optional<QStringList>()> InterfaceAddresses;
    std::function<QString()> HostName;  // empty: no name

    static TINetSources System();
};

// An address that reaches beyond the machine: not loopback (127.0.0.0/8, ::1), not link-local
// (169.254.0.0/16, fe80::/10, which a cable without a network also gives), not unspecified.
bool IsNetworkAddress(const QString &address);

class TINetDetect : public QObject
{
public:
    using TNotifyEvent = std::function<void(QObject *sender)>;

    explicit TINetDetect(QObject *owner = nullptr, TINetSources sources = TINetSources::System());
    ~TINetDetect() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    quint32 DispatchInterval() const { return FDispatchInterval; }
    void SetDispatchInterval(quint32 value);
    bool Online() const { return FOnline; }
    // The network address that made the machine online (an IPv4 one before an IPv6 one); empty offline.
    QString CurrentIP() const { return FCurrentIP; }
    QString HostName() const { return FHostName; }
    // The interface addresses of the last poll.
    int AddressCount() const { return int(FAddresses.size()); }

    // Fired on the owner's thread when a poll finds Online changed, and only while Enabled.
    TNotifyEvent OnChanged;

    // Starts one poll; the result arrives later through the event loop. Ignored while one runs.
    void PollTimer();
    bool Polling() const { return FPolling; }

    // The timer, for tests that check its interval and whether it runs.
    const QTimer &Timer() const { return FTimer; }

private:
    struct TPollResult
    {
        QString HostName;
        std::optional<QStringList> Addresses;
    };
    struct TReplyGate;  // lets a worker post its result only while the detector lives

    void PollDone(const TPollResult &result);

    TINetSources FSources;
    bool FEnabled = false;
    quint32 FDispatchInterval = 1000;
    bool FOnline = false;
    QString FCurrentIP;
    QString FHostName;
    QStringList FAddresses;
    QTimer FTimer;
    bool FPolling = false;
    std::shared_ptr<TReplyGate> FGate;
};
