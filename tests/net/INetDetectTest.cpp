// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of TINetDetect: which addresses mean online, the polls over injected sources, and the real system sources in a network namespace of their own.
#include "net/INetDetect.h"

#include "NetNamespace.h"
#include "support/Needs.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <unistd.h>

namespace {

TEST(INetDetectTest, NetworkAddressTable)
{
    const struct { const char *address; bool network; } cases[] = {
        {"10.0.0.2", true},        {"192.168.1.5", true},     {"203.0.113.9", true},
        {"127.0.0.1", false},      {"127.0.1.1", false},      {"169.254.3.4", false},
        {"0.0.0.0", false},        {"2001:db8::1", true},     {"fd00::2", true},
        {"::1", false},            {"::", false},             {"fe80::1", false},
        {"febf::1", false},        {"::ffff:10.1.1.1", true}, {"::ffff:127.0.0.1", false},
        {"", false},               {"eth0", false},           {"10.0.0", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(IsNetworkAddress(QLatin1String(c.address)), c.network);
    }
}

// The machine as the detector sees it; the sources run on the detector's worker thread.
struct TFakeNet
{
    std::mutex Lock;
    std::optional<QStringList> Interfaces = QStringList{"fe80::1"};
    QString Host = "box";
    int Polls = 0;
    bool Hold = false;  // keeps the interface query waiting until cleared
    std::condition_variable Released;

    void SetInterfaces(std::optional<QStringList> addresses)
    {
        std::lock_guard lock(Lock);
        Interfaces = std::move(addresses);
    }
    int PollCount()
    {
        std::lock_guard lock(Lock);
        return Polls;
    }
};

TINetSources FakeSources(const std::shared_ptr<TFakeNet> &net)
{
    TINetSources sources;
    sources.InterfaceAddresses = [net] {
        std::unique_lock lock(net->Lock);
        net->Released.wait(lock, [&] { return !net->Hold; });
        ++net->Polls;
        return net->Interfaces;
    };
    sources.HostName = [net] {
        std::lock_guard lock(net->Lock);
        return net->Host;
    };
    return sources;
}

struct TDetectorFixture : ::testing::Test
{
    std::shared_ptr<TFakeNet> Net = std::make_shared<TFakeNet>();
    int Changes = 0;

    std::unique_ptr<TINetDetect> Create()
    {
        auto detector = std::make_unique<TINetDetect>(nullptr, FakeSources(Net));
        detector->OnChanged = [this, d = detector.get()](QObject *sender) {
            EXPECT_EQ(sender, d);
            ++Changes;
        };
        return detector;
    }
    [[nodiscard]] static bool WaitIdle(TINetDetect &detector)
    {
        return QTest::qWaitFor([&] { return !detector.Polling(); }, 5000);
    }
    // Lets the enabled detector poll at least `count` more times.
    [[nodiscard]] bool WaitPolls(TINetDetect &detector, int count)
    {
        const int target = Net->PollCount() + count;
        return QTest::qWaitFor([&] { return Net->PollCount() >= target && !detector.Polling(); }, 5000);
    }
};

TEST_F(TDetectorFixture, OnlyLoopbackAndLinkLocalStayOffline)
{
    Net->SetInterfaces(QStringList{"169.254.7.7", "fe80::1", "127.0.1.1"});
    auto detector = Create();
    EXPECT_EQ(detector->HostName(), "box");
    detector->SetDispatchInterval(5);
    detector->SetEnabled(true);
    ASSERT_TRUE(WaitPolls(*detector, 4));
    EXPECT_EQ(detector->AddressCount(), 3);
    EXPECT_FALSE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), QString());
    EXPECT_EQ(Changes, 0);
}

TEST_F(TDetectorFixture, AnAddressThatComesAndGoesIsSeenAtEachPoll)
{
    auto detector = Create();
    detector->SetDispatchInterval(5);
    detector->SetEnabled(true);
    ASSERT_TRUE(WaitPolls(*detector, 1));
    EXPECT_FALSE(detector->Online());

    // The cable is plugged in, or the access point answers.
    Net->SetInterfaces(QStringList{"fe80::1", "10.1.2.3"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Changes == 1; }, 5000));
    EXPECT_TRUE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), "10.1.2.3");
    ASSERT_TRUE(WaitPolls(*detector, 3));
    EXPECT_EQ(Changes, 1) << "staying online fires nothing";

    Net->SetInterfaces(QStringList{"fe80::1"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Changes == 2; }, 5000));
    EXPECT_FALSE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), QString());
}

TEST_F(TDetectorFixture, CurrentIPPrefersIPv4InInterfaceOrder)
{
    const struct { QStringList interfaces; const char *current; } cases[] = {
        {{"fe80::1", "2001:db8::5", "10.0.0.7", "10.0.0.8"}, "10.0.0.7"},
        {{"fe80::1", "2001:db8::5", "fd00::9"}, "2001:db8::5"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.current);
        Net->SetInterfaces(c.interfaces);
        auto detector = Create();
        ASSERT_TRUE(WaitIdle(*detector));
        EXPECT_TRUE(detector->Online());
        EXPECT_EQ(detector->CurrentIP(), QLatin1String(c.current));
    }
}

TEST_F(TDetectorFixture, CreationPollSetsOnlineWithoutAnEvent)
{
    Net->SetInterfaces(QStringList{"10.9.9.9"});
    auto detector = Create();
    ASSERT_TRUE(WaitIdle(*detector));
    EXPECT_TRUE(detector->Online());
    EXPECT_EQ(Changes, 0);
}

TEST_F(TDetectorFixture, NoInterfaceListLeavesTheStateAndKeepsPolling)
{
    Net->SetInterfaces(std::nullopt);
    auto fresh = Create();
    ASSERT_TRUE(WaitIdle(*fresh));
    EXPECT_FALSE(fresh->Online());
    EXPECT_EQ(fresh->AddressCount(), 0);

    Net->SetInterfaces(QStringList{"10.0.0.1"});
    auto detector = Create();
    ASSERT_TRUE(WaitIdle(*detector));
    ASSERT_TRUE(detector->Online());
    Net->SetInterfaces(std::nullopt);
    detector->SetDispatchInterval(5);
    detector->SetEnabled(true);
    ASSERT_TRUE(WaitPolls(*detector, 3));
    EXPECT_TRUE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), "10.0.0.1");
    EXPECT_EQ(Changes, 0);
    EXPECT_TRUE(detector->Timer().isActive());
}

TEST_F(TDetectorFixture, EnabledSwitchesPolling)
{
    auto detector = Create();
    ASSERT_TRUE(WaitIdle(*detector));
    EXPECT_FALSE(detector->Enabled());
    EXPECT_FALSE(detector->Timer().isActive()) << "a detector that is not enabled does not poll";
    detector->SetEnabled(false);
    EXPECT_FALSE(detector->Timer().isActive());

    detector->SetDispatchInterval(5);
    detector->SetEnabled(true);
    EXPECT_TRUE(detector->Timer().isActive());
    ASSERT_TRUE(WaitPolls(*detector, 2));

    detector->SetEnabled(false);
    ASSERT_TRUE(WaitIdle(*detector));
    EXPECT_FALSE(detector->Timer().isActive());
    const int polls = Net->PollCount();
    // Another detector on the same interval polls three times meanwhile: the switched-off one, none.
    const auto otherNet = std::make_shared<TFakeNet>();
    TINetDetect other(nullptr, FakeSources(otherNet));
    other.SetDispatchInterval(5);
    other.SetEnabled(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return otherNet->PollCount() >= 1 + 3; }, 5000));
    EXPECT_EQ(Net->PollCount(), polls);
}

TEST_F(TDetectorFixture, ChangeWhileDisabledIsStoredSilently)
{
    auto detector = Create();
    ASSERT_TRUE(WaitIdle(*detector));
    Net->SetInterfaces(QStringList{"10.4.4.4"});
    detector->PollTimer();
    ASSERT_TRUE(WaitIdle(*detector));
    EXPECT_TRUE(detector->Online());
    EXPECT_EQ(Changes, 0);
}

TEST_F(TDetectorFixture, DispatchIntervalBecomesTheTimerInterval)
{
    auto detector = Create();
    EXPECT_EQ(detector->DispatchInterval(), 1000u);
    EXPECT_EQ(detector->Timer().interval(), 1000);
    detector->SetDispatchInterval(10000);
    EXPECT_EQ(detector->Timer().interval(), 10000);
    detector->SetDispatchInterval(86400000);
    EXPECT_EQ(detector->DispatchInterval(), 86400000u);
    EXPECT_EQ(detector->Timer().interval(), 86400000);
    detector->SetDispatchInterval(0xFFFFFFFFu);
    EXPECT_EQ(detector->DispatchInterval(), 0xFFFFFFFFu);
    EXPECT_GT(detector->Timer().interval(), 0) << "a huge interval is clamped, never negative";
}

TEST_F(TDetectorFixture, DetectorDestroyedDuringAPollIsNotCalledBack)
{
    {
        std::lock_guard lock(Net->Lock);
        Net->Hold = true;
        Net->Interfaces = QStringList{"10.5.5.5"};
    }
    auto detector = Create();
    EXPECT_TRUE(detector->Polling());
    detector.reset();
    {
        std::lock_guard lock(Net->Lock);
        Net->Hold = false;
    }
    Net->Released.notify_all();
    // The worker holds the sources, and with them the fake machine, until it has ended: its late
    // result found no detector to call.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Net.use_count() == 1; }, 5000));
    EXPECT_EQ(Net->PollCount(), 1);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Changes, 0);
}

TEST(TINetSourcesTest, SystemSourcesLeaveTheLoopbackOut)
{
    const TINetSources sources = TINetSources::System();
    const std::optional<QStringList> interfaces = sources.InterfaceAddresses();
    ASSERT_TRUE(interfaces.has_value());
    EXPECT_FALSE(interfaces->contains("127.0.0.1")) << interfaces->join(' ').toStdString();
    EXPECT_FALSE(interfaces->contains("::1")) << interfaces->join(' ').toStdString();
    EXPECT_FALSE(sources.HostName().isEmpty());
}

// ---- the real machine: a network namespace of the test's own ----------------------------------

QStringList Resolve(const QString &host)
{
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    QStringList addresses;
    if (getaddrinfo(host.toLatin1().constData(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo *item = found; item; item = item->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void *raw = item->ai_family == AF_INET
            ? static_cast<const void *>(&reinterpret_cast<const sockaddr_in *>(item->ai_addr)->sin_addr)
            : static_cast<const void *>(&reinterpret_cast<const sockaddr_in6 *>(item->ai_addr)->sin6_addr);
        if (inet_ntop(item->ai_family, raw, text, sizeof text))
            addresses << QString::fromLatin1(text);
    }
    freeaddrinfo(found);
    return addresses;
}

bool Ip(const QStringList &arguments)
{
    return QProcess::execute(QStandardPaths::findExecutable(QStringLiteral("ip")), arguments) == 0;
}

// Runs inside the namespace: lo and a veth pair vk0/vk1 are up, and the own name is 127.0.1.1 only,
// as on a Debian machine.
void RunInsideTheNamespace()
{
    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    ASSERT_EQ(QString::fromLatin1(name), QLatin1String(TestNetns::HostName));
    ASSERT_EQ(Resolve(QLatin1String(TestNetns::HostName)), QStringList{"127.0.1.1"}) << "the own name must lead to loopback only";

    // The system's own sources, counted.
    auto polls = std::make_shared<std::atomic<int>>(0);
    TINetSources sources = TINetSources::System();
    sources.InterfaceAddresses = [polls, system = sources.InterfaceAddresses] {
        auto addresses = system();
        ++*polls;
        return addresses;
    };
    TINetDetect detector(nullptr, sources);
    int changes = 0;
    detector.OnChanged = [&](QObject *) { ++changes; };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !detector.Polling(); }, 5000));
    EXPECT_FALSE(detector.Online()) << "a link without an address of its own is no connection";
    detector.SetDispatchInterval(20);
    detector.SetEnabled(true);
    auto waitPolls = [&](int n) {
        const int target = *polls + n;
        return QTest::qWaitFor([&] { return *polls >= target && !detector.Polling(); }, 5000);
    };

    ASSERT_TRUE(Ip({"addr", "add", "10.77.0.2/24", "dev", "vk0"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return detector.Online(); }, 5000));
    EXPECT_EQ(detector.CurrentIP(), "10.77.0.2");
    EXPECT_EQ(changes, 1);

    ASSERT_TRUE(Ip({"addr", "del", "10.77.0.2/24", "dev", "vk0"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !detector.Online(); }, 5000));
    EXPECT_EQ(changes, 2);

    // An address on a link that is down is no connection either.
    ASSERT_TRUE(Ip({"link", "set", "vk0", "down"}));
    ASSERT_TRUE(Ip({"addr", "add", "10.77.0.2/24", "dev", "vk0"}));
    ASSERT_TRUE(waitPolls(3));
    EXPECT_FALSE(detector.Online());
    ASSERT_TRUE(Ip({"link", "set", "vk0", "up"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return detector.Online(); }, 5000));
    EXPECT_EQ(changes, 3);
}

TEST(INetDetectNamespaceTest, OwnNameOnLoopbackAndALinkThatComesUp)
{
    if (TestNetns::Inside()) {
        RunInsideTheNamespace();
        return;
    }
    const TestNetns::TRun run = TestNetns::RunAgainInside(
        "ip link set lo up && ip link add vk0 type veth peer name vk1 && ip link set vk0 up && ip link set vk1 up",
        "INetDetectNamespaceTest.*");
    if (run.Skipped)
        VASKIMO_MISSING(run.Why);
    EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
}

}  // namespace
