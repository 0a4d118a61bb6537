#include "tests/autotune/AutoTuningFixture.h"

#include "sim/SimServer.h"
#include "tests/support/HeldBoxes.h"

#include <QTimer>
#include <algorithm>
#include <utility>
#include <vector>

namespace {

class AutoTuningSim : public AutoTuningTest {
protected:
    // The simulator serves addresses 3 and 4; its tuning run lasts 1.2 s.
    void serve(const SimFaults& faults = {})
    {
        SimServer::Options options;
        options.addresses = {3, 4};
        options.tuningMs = 1200;
        options.faults = faults;
        server = std::make_unique<SimServer>(options);
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
        QObject::connect(server.get(), &SimServer::exchanged,
                         [this](const QByteArray& req, const QByteArray& rep) { exchanges.emplace_back(req, rep); });
        portAt(server->port().devicePath());
    }

    // The requests the simulator took, without STX and CR LF.
    [[nodiscard]] std::vector<QByteArray> requests() const
    {
        std::vector<QByteArray> r;
        for (const auto& e : exchanges) {
            EXPECT_TRUE(e.first.startsWith('\x02') && e.first.endsWith("\r\n")) << e.first.toStdString();
            r.push_back(e.first.mid(1).chopped(2));
        }
        return r;
    }

    [[nodiscard]] std::size_t polls(const QByteArray& addr) const
    {
        const auto r = requests();
        return std::size_t(std::count(r.begin(), r.end(), addr + "DRS,01,0306"));
    }

    std::unique_ptr<SimServer> server;
    std::vector<std::pair<QByteArray, QByteArray>> exchanges;
};

} // namespace

TEST_F(AutoTuningSim, WholeTuningRunEndsOnTheControllersReportAndReadsTheNewParameters)
{
    serve();
    open(false);  // the window's own timers pace the run
    address(3);
    window->spbReadClick();
    ASSERT_TRUE(waitFor([&] { return !panel("PanZone").isEmpty(); }));
    EXPECT_EQ(panel("PanZone"), QStringLiteral("ON"));
    EXPECT_EQ(panel("PanDot"), QStringLiteral("1"));
    EXPECT_EQ(panel("PanSv1"), QStringLiteral("300.0"));
    EXPECT_EQ(panel("PanSv2"), QStringLiteral("310.0"));
    EXPECT_EQ(panel("PanSv3"), QStringLiteral("320.0"));
    EXPECT_EQ(panel("PanATM"), QStringLiteral("STD"));
    const QString factoryP = grid()->text(1, 2);
    EXPECT_EQ(factoryP, QStringLiteral("50"));

    select(1);  // tunes PID set #2
    clickSwitch();
    EXPECT_TRUE(startSwitch()->lampOn());
    ASSERT_TRUE(waitFor([&] { return !messageShown(); }, 15000));
    EXPECT_FALSE(startSwitch()->lampOn());
    EXPECT_EQ(startSwitch()->text(), QStringLiteral("시작"));
    EXPECT_FALSE(tmBatOn());
    ASSERT_TRUE(waitFor([&] { return !tmSendOn() && grid()->text(1, 2) != factoryP; }));

    const std::vector<QByteArray> sent = requests();
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent.front(), "03" + kReadBody);
    EXPECT_EQ(sent[1], QByteArray("03DWS,01,0306,0002"));
    EXPECT_EQ(sent.back(), "03" + kReadBody);
    // Between the start and the final read only polls of register 0306, and
    // enough of them for a 1.2 s run at 300 ms.
    for (std::size_t i = 2; i + 1 < sent.size(); ++i)
        EXPECT_EQ(sent[i], QByteArray("03DRS,01,0306")) << i;
    EXPECT_GE(sent.size() - 3, 3u);
    EXPECT_EQ(exchanges[exchanges.size() - 2].second.mid(1), QByteArray("03DRS,OK,0000\r\n"));
    // Set #2 has new parameters; sets #1 and #3 keep the factory ones.
    EXPECT_EQ(grid()->text(1, 1), QStringLiteral("50"));
    EXPECT_EQ(grid()->text(1, 3), QStringLiteral("50"));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(AutoTuningSim, SilentControllerGetsFourSendingsThenCommunicationFailure)
{
    SimFaults faults;
    faults.silent = {3};
    serve(faults);
    open(false);
    address(3);
    window->spbReadClick();
    ASSERT_TRUE(waitFor([&] { return !dialogs.messages.empty(); }, 8000));
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("통신불량")});
    EXPECT_EQ(requests(), std::vector<QByteArray>(4, "03" + kReadBody));
    EXPECT_FALSE(tmSendOn());
    EXPECT_FALSE(tmBatOn());
}

TEST_F(AutoTuningSim, StopDuringTuningIsAcceptedAndTheControllerStopsTuning)
{
    serve();
    open(false);
    address(4);
    clickSwitch();
    ASSERT_TRUE(waitFor([&] {
        const auto r = requests();
        return std::count(r.begin(), r.end(), QByteArray("04DRS,01,0306")) >= 1;
    }));
    clickSwitch();
    EXPECT_TRUE(messageShown()) << "stopping until the controller confirms";
    ASSERT_TRUE(waitFor([&] { return !tmSendOn(); }));
    EXPECT_FALSE(messageShown());
    EXPECT_FALSE(startSwitch()->lampOn());
    EXPECT_EQ(requests().back(), QByteArray("04DWS,01,0306,0000"));
    EXPECT_EQ(exchanges.back().second.mid(1), QByteArray("04DWS,OK\r\n"));
    EXPECT_EQ(TAutoF::AtStep, 3);
    // Nothing more goes out once the stop is answered.
    const std::size_t after = exchanges.size();
    QDeadlineTimer quiet(700);
    while (!quiet.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(exchanges.size(), after);
    EXPECT_TRUE(dialogs.messages.empty());
}

// The operator tried to close the window during the run and went away: the
// refusal waits, the polls go on at their interval, and the end of the run is
// picked up and the new parameters read while the box is still open.
TEST_F(AutoTuningSim, RunEndsAndIsReadWhileTheCloseRefusalWaits)
{
    serve();
    open(false);
    address(3);
    window->spbReadClick();
    ASSERT_TRUE(waitFor([&] { return !panel("PanZone").isEmpty(); }));
    const QString factoryP = grid()->text(1, 1);
    clickSwitch();
    ASSERT_TRUE(waitFor([&] { return polls("03") >= 1; }));

    std::size_t pollsAtOpen = 0;
    HeldBoxes boxes(dialogs, [&](const QString&) {
        pollsAtOpen = polls("03");
        EXPECT_TRUE(messageShown());
        return std::function<bool()>([&] { return !messageShown() && !tmSendOn(); });
    });
    window->close();
    EXPECT_EQ(boxes.held, 1);
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("먼저 Turing을 종료하세요.")});
    EXPECT_TRUE(window->isVisible()) << "asked while the run was going on";
    EXPECT_GE(polls("03"), pollsAtOpen + 2) << "polls went on while the box waited";
    EXPECT_EQ(requests().back(), "03" + kReadBody);
    EXPECT_NE(grid()->text(1, 1), factoryP) << "the tuned set was read again";
    EXPECT_FALSE(startSwitch()->lampOn());
    EXPECT_EQ(startSwitch()->text(), QStringLiteral("시작"));
}

// The operator is away when "통신불량" comes: while its box waits, the window
// already shows what is true (idle, the stop offered) and sends nothing more.
TEST_F(AutoTuningSim, SilentStartIsIdleWhileTheFailureBoxWaitsAndSendsNothingMore)
{
    SimFaults faults;
    faults.silent = {3};
    serve(faults);
    open(false);
    address(3);
    QTimer clock;
    clock.start(300);
    QSignalSpy turns(&clock, &QTimer::timeout);
    std::size_t sentAtOpen = 0;
    HeldBoxes boxes(dialogs, [&](const QString& text) {
        EXPECT_EQ(text, QStringLiteral("통신불량"));
        sentAtOpen = requests().size();
        EXPECT_FALSE(messageShown());
        EXPECT_FALSE(startSwitch()->lampOn());
        EXPECT_EQ(startSwitch()->text(), QStringLiteral("시작"));
        EXPECT_TRUE(child<QLabel>("labStillTuning")->isVisibleTo(window.get()));
        return HeldBoxes::moreSignals({&turns}, 5);
    });
    clickSwitch();
    ASSERT_TRUE(waitFor([&] { return boxes.held == 1; }, 10000));
    EXPECT_EQ(requests(), std::vector<QByteArray>(4, "03DWS,01,0306,0001"));
    EXPECT_EQ(requests().size(), sentAtOpen);
    EXPECT_TRUE(readButton()->isEnabled());
}
