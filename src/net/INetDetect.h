// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TINetDetect, the connection detector: online when the own host name resolves to an address
// that no network interface had when the detector was created.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

// Where the detector gets its addresses from. The real sources ask the system; tests put in their own
// to make a new address appear. HostName and ResolveHost run on a worker thread (a slow resolver must
// not freeze the window), so they must be safe to call from there.
struct TINetSources
{
    std::function<std::optional<QStringList>()> InterfaceAddresses;  // dotted IPv4 texts; nullopt: no list
    std::function<QString()> HostName;                                // empty: no name
    std::function<std::optional<QStringList>(const QString &host)> ResolveHost;  // nullopt: did not resolve

    static TINetSources System();
};

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
    QString CurrentIP() const { return FCurrentIP; }
    QString HostName() const { return FHostName; }
    int AddressCount() const { return int(FSnapshot.size()); }

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

    void TakeSnapshot();
    void PollDone(const TPollResult &result);

    TINetSources FSources;
    bool FEnabled = false;
    quint32 FDispatchInterval = 1000;
    bool FOnline = false;
    QString FCurrentIP;
    QString FHostName;
    QStringList FSnapshot;
    QTimer FTimer;
    bool FPolling = false;
    std::shared_ptr<TReplyGate> FGate;
};
