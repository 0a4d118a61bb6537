#pragma once
// A window's port against the simulator on a pseudo-terminal behind a link
// (so the device can vanish and come back at the same path). The simulator
// runs on a clock the test turns: each poll tick is given 200 ms of simulated
// time in 10 ms steps, and at each step the window takes in everything the
// simulator has written before the next step goes out, so a reply split into
// pieces reaches the window piece by piece.
#include "link/ComPort.h"
#include "sim/SimServer.h"
#include "tests/faults/PathOpens.h"
#include "tests/link/QtPrinters.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

class FaultLine {
public:
    static constexpr int kTickMs = 200;
    static constexpr int kStepMs = 10;

    // Starts the simulator for the addresses; returns the link the window opens.
    QString serve(const SimFaults& faults, const QList<int>& addresses)
    {
        SimServer::Options options;
        options.port.link = m_links.filePath(QStringLiteral("ttyKELO"));
        options.addresses = addresses;
        options.faults = faults;
        options.faults.vanishForMs = 600000; // the test brings it back
        options.clock = [this] { return simMs; };
        sim = std::make_unique<SimServer>(options);
        QString error;
        EXPECT_TRUE(sim->start(&error)) << error.toStdString();
        QObject::connect(sim.get(), &SimServer::exchanged,
                         [this] { ++requests; });
        return options.port.link;
    }

    // Follows the receive notifications of the window's port.
    void watch(TComPort* port)
    {
        notifications = std::make_unique<QSignalSpy>(port, &TComPort::OnRxChar);
        lost = std::make_unique<QSignalSpy>(port, &TComPort::linkLost);
        resumed = std::make_unique<QSignalSpy>(port, &TComPort::linkResumed);
    }

    // Bytes the window was told of (and read) in its receive notifications.
    [[nodiscard]] qint64 received() const
    {
        qint64 n = 0;
        for (const QList<QVariant>& call : *notifications)
            n += call.at(1).toInt();
        return n;
    }

    // One tick of the window (which sends a request unless the link is down)
    // and the 200 ms of line traffic after it.
    void tickAndDeliver(const std::function<void()>& windowTick)
    {
        const int asked = requests;
        windowTick();
        if (!sim->vanished())
            waitFor([&] { return requests > asked; });
        for (int t = 0; t < kTickMs; t += kStepMs) {
            sim->writeDue();
            waitFor([&] { return received() == sim->bytesWritten(); });
            simMs += kStepMs;
        }
    }

    // The device vanishes; checks that the program then idles: for two
    // seconds of real time no notifications, an event loop that wakes for its
    // timers only (one that spins on a dead descriptor wakes thousands of
    // times), and at most one reopen attempt a second.
    void vanish()
    {
        const auto lostBefore = lost->count();
        const auto resumedBefore = resumed->count();
        sim->vanish();
        waitFor([&] { return lost->count() == lostBefore + 1; });
        PathOpens attempts(sim->port().options().link);
        ASSERT_TRUE(attempts.watching());

        const auto before = notifications->count();
        int wakeups = 0;
        const auto counter = QObject::connect(QAbstractEventDispatcher::instance(),
                                              &QAbstractEventDispatcher::awake, [&] { ++wakeups; });
        QEventLoop loop;
        QTimer::singleShot(2200, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(counter);
        const int opens = attempts.take();

        EXPECT_EQ(notifications->count(), before) << "notifications while the device is gone";
        EXPECT_LE(wakeups, 100);
        EXPECT_GE(opens, 1) << "the port tries to reopen";
        EXPECT_LE(opens, 3) << "about one reopen attempt a second";
        EXPECT_EQ(lost->count(), lostBefore + 1);
        EXPECT_EQ(resumed->count(), resumedBefore);
        ::testing::Test::RecordProperty("wakeupsWhileDownIn2200ms", wakeups);
        ::testing::Test::RecordProperty("reopenAttemptsIn2200ms", opens);
    }

    // The device is back; the port's own reopen timer finds it again.
    void comeBack()
    {
        const auto before = resumed->count();
        ASSERT_TRUE(sim->reappear());
        waitFor([&] { return resumed->count() == before + 1; });
    }

    // Spins the event loop until the condition holds (a generous guard so a
    // lost byte fails the test instead of hanging it).
    static bool waitFor(const std::function<bool()>& done)
    {
        const bool got = QTest::qWaitFor(done, 10000);
        if (!got)
            ADD_FAILURE() << "the window did not get there";
        return got;
    }

    qint64 simMs = 1000;
    std::unique_ptr<SimServer> sim;
    int requests = 0;
    std::unique_ptr<QSignalSpy> notifications;
    std::unique_ptr<QSignalSpy> lost;
    std::unique_ptr<QSignalSpy> resumed;

private:
    QTemporaryDir m_links;
};
