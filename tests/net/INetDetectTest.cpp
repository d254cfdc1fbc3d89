// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of TINetDetect over injected address sources: new addresses, failed look-ups, the timer.
#include "net/INetDetect.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// The machine as the detector sees it; the resolver runs on the detector's worker thread.
struct TFakeNet
{
    std::mutex Lock;
    std::optional<QStringList> Interfaces = QStringList{"127.0.0.1", "192.168.1.5"};
    QString Host = "box";
    std::optional<QStringList> Resolved = QStringList{"192.168.1.5"};
    int Resolves = 0;
    bool Hold = false;  // keeps the resolver waiting until cleared
    std::condition_variable Released;

    void SetResolved(std::optional<QStringList> addresses)
    {
        std::lock_guard lock(Lock);
        Resolved = std::move(addresses);
    }
    int ResolveCount()
    {
        std::lock_guard lock(Lock);
        return Resolves;
    }
};

TINetSources FakeSources(const std::shared_ptr<TFakeNet> &net)
{
    TINetSources sources;
    sources.InterfaceAddresses = [net] {
        std::lock_guard lock(net->Lock);
        return net->Interfaces;
    };
    sources.HostName = [net] {
        std::lock_guard lock(net->Lock);
        return net->Host;
    };
    sources.ResolveHost = [net](const QString &host) -> std::optional<QStringList> {
        std::unique_lock lock(net->Lock);
        net->Released.wait(lock, [&] { return !net->Hold; });
        ++net->Resolves;
        if (host != net->Host)
            return std::nullopt;
        return net->Resolved;
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
    static bool WaitIdle(TINetDetect &detector)
    {
        return QTest::qWaitFor([&] { return !detector.Polling(); }, 5000);
    }
    // Lets the enabled detector poll at least `count` more times.
    bool WaitPolls(TINetDetect &detector, int count)
    {
        const int target = Net->ResolveCount() + count;
        return QTest::qWaitFor([&] { return Net->ResolveCount() >= target && !detector.Polling(); }, 5000);
    }
};

TEST_F(TDetectorFixture, AddressesKnownAtStartKeepItOffline)
{
    Net->SetResolved(QStringList{"192.168.1.5", "127.0.0.1"});
    auto detector = Create();
    EXPECT_EQ(detector->AddressCount(), 2);
    EXPECT_EQ(detector->HostName(), "box");
    detector->SetDispatchInterval(5);
    detector->SetEnabled(true);
    ASSERT_TRUE(WaitPolls(*detector, 4));
    EXPECT_FALSE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), QString());
    EXPECT_EQ(Changes, 0);
}

TEST_F(TDetectorFixture, NewAddressGoesOnlineAndItsLossOffline)
{
    auto detector = Create();
    detector->SetDispatchInterval(5);
    detector->SetEnabled(true);
    ASSERT_TRUE(WaitPolls(*detector, 1));
    EXPECT_FALSE(detector->Online());

    // A dial-up link: the host name now also resolves to an address no interface had at start.
    Net->SetResolved(QStringList{"192.168.1.5", "10.1.2.3"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Changes == 1; }, 5000));
    EXPECT_TRUE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), "10.1.2.3");  // the first address outside the snapshot
    ASSERT_TRUE(WaitPolls(*detector, 3));
    EXPECT_EQ(Changes, 1) << "staying online fires nothing";

    Net->SetResolved(QStringList{"192.168.1.5"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Changes == 2; }, 5000));
    EXPECT_FALSE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), QString());
}

TEST_F(TDetectorFixture, FirstNewAddressInResolverOrderIsCurrent)
{
    Net->SetResolved(QStringList{"192.168.1.5", "10.0.0.7", "10.0.0.8"});
    auto detector = Create();
    ASSERT_TRUE(WaitIdle(*detector));
    EXPECT_TRUE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), "10.0.0.7");
}

TEST_F(TDetectorFixture, CreationPollSetsOnlineWithoutAnEvent)
{
    Net->SetResolved(QStringList{"10.9.9.9"});
    auto detector = Create();
    ASSERT_TRUE(WaitIdle(*detector));
    EXPECT_TRUE(detector->Online());
    EXPECT_EQ(Changes, 0);
}

TEST_F(TDetectorFixture, FailedLookUpLeavesTheStateAndKeepsPolling)
{
    Net->SetResolved(QStringList{"10.0.0.1"});
    auto detector = Create();
    ASSERT_TRUE(WaitIdle(*detector));
    ASSERT_TRUE(detector->Online());

    Net->SetResolved(std::nullopt);
    detector->SetDispatchInterval(5);
    detector->SetEnabled(true);
    ASSERT_TRUE(WaitPolls(*detector, 3));
    EXPECT_TRUE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), "10.0.0.1");
    EXPECT_EQ(Changes, 0);
    EXPECT_TRUE(detector->Timer().isActive());
}

TEST_F(TDetectorFixture, NoInterfaceListMeansEveryAddressIsNew)
{
    {
        std::lock_guard lock(Net->Lock);
        Net->Interfaces = std::nullopt;
    }
    Net->SetResolved(QStringList{"192.168.1.5"});
    auto detector = Create();
    EXPECT_EQ(detector->AddressCount(), 0);
    ASSERT_TRUE(WaitIdle(*detector));
    EXPECT_TRUE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), "192.168.1.5");
}

TEST_F(TDetectorFixture, LoopbackNamesAreNoLink)
{
    Net->SetResolved(QStringList{"127.0.1.1", "127.0.0.1", "192.168.1.5"});
    auto detector = Create();
    ASSERT_TRUE(WaitIdle(*detector));
    EXPECT_FALSE(detector->Online());
    Net->SetResolved(QStringList{"127.0.1.1", "10.2.2.2"});
    detector->PollTimer();
    ASSERT_TRUE(WaitIdle(*detector));
    EXPECT_TRUE(detector->Online());
    EXPECT_EQ(detector->CurrentIP(), "10.2.2.2");
}

TEST_F(TDetectorFixture, SnapshotIsNotRefreshed)
{
    auto detector = Create();
    ASSERT_TRUE(WaitIdle(*detector));
    {
        std::lock_guard lock(Net->Lock);
        Net->Interfaces = QStringList{"10.0.0.2"};
    }
    Net->SetResolved(QStringList{"10.0.0.2"});
    detector->SetDispatchInterval(5);
    detector->SetEnabled(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Changes == 1; }, 5000));
    EXPECT_EQ(detector->AddressCount(), 2);
    EXPECT_EQ(detector->CurrentIP(), "10.0.0.2");
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
    const int polls = Net->ResolveCount();
    QTest::qWait(50);
    EXPECT_EQ(Net->ResolveCount(), polls);
}

TEST_F(TDetectorFixture, ChangeWhileDisabledIsStoredSilently)
{
    auto detector = Create();
    ASSERT_TRUE(WaitIdle(*detector));
    Net->SetResolved(QStringList{"10.4.4.4"});
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
    }
    auto detector = Create();
    EXPECT_TRUE(detector->Polling());
    detector.reset();
    {
        std::lock_guard lock(Net->Lock);
        Net->Hold = false;
    }
    Net->Released.notify_all();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Net->ResolveCount() == 1; }, 5000));
    QTest::qWait(20);  // the worker's late result must find no detector to call
    EXPECT_EQ(Changes, 0);
}

TEST(TINetSourcesTest, SystemSourcesSeeTheLoopback)
{
    const TINetSources sources = TINetSources::System();
    const std::optional<QStringList> interfaces = sources.InterfaceAddresses();
    ASSERT_TRUE(interfaces.has_value());
    EXPECT_TRUE(interfaces->contains("127.0.0.1")) << interfaces->join(' ').toStdString();
    EXPECT_FALSE(sources.HostName().isEmpty());
    const std::optional<QStringList> local = sources.ResolveHost("localhost");
    ASSERT_TRUE(local.has_value());
    EXPECT_TRUE(local->contains("127.0.0.1"));
}

}  // namespace
