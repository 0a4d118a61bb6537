// The poll tick, the replies and what they show, on a pseudo-terminal.
#include "MonitoringWindowFixture.h"

#include "sim/SimServer.h"
#include "sim/SimRegisters.h"

#include <QLabel>
#include <cmath>

using Polling = MonitoringWindowTest;

TEST_F(Polling, RequestsGoToTheChannelsInTurnWithAddressAndRegisterAsStored)
{
    open();
    load(threeChannelSet());
    start();
    std::vector<QByteArray> sent;
    for (int i = 0; i < 5; ++i)
        sent.push_back(tick());
    const std::vector<QByteArray> expected = {request("01"), request("02"), request("03"), request("01"),
                                              request("02")};
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(request("01").toHex(' '), "02 30 31 44 52 53 2c 30 31 2c 30 30 30 31 0d 0a");

    // Hand-edited address and register go out exactly as they stand.
    window->bbtStartClick();
    load("T;1000\r\n7;A;12;0;100;0;255\r\n");
    start();
    EXPECT_EQ(tick(), kStx + "7DRS,01,12\r\n");
}

TEST_F(Polling, ASilentChannelKeepsItsValueForThreeRequestsAndIsZeroedAtThe4th7th10th)
{
    SimServer::Options options;
    options.addresses = {1, 2, 3};
    SimServer server(options);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    std::vector<std::pair<QByteArray, QByteArray>> exchanges;
    QObject::connect(&server, &SimServer::exchanged,
                     [&](const QByteArray& req, const QByteArray& rep) { exchanges.emplace_back(req, rep); });
    portAt(server.port().devicePath());
    open();
    load(threeChannelSet());
    start();

    const auto simTick = [&] {
        const auto before = rx->count();
        const std::size_t asked = exchanges.size();
        window->Timer1Timer();
        if (!waitFor([&] { return exchanges.size() > asked; }))
            return;
        const QByteArray answered = exchanges.back().second;
        if (!answered.isEmpty())
            waitFor([&] {
                const ReplyAssembler& a = programAssembler(ReceivingWindow::Monitoring);
                return rx->count() > before && a.RxState() == ReplyAssembler::Idle && a.RxBuf() == answered;
            });
    };

    for (int i = 0; i < 3; ++i)
        simTick();
    const QString last = value(2);
    ASSERT_FALSE(last.isEmpty());
    ASSERT_FALSE(value(1).isEmpty());
    EXPECT_EQ(exchanges[1].first, request("02"));

    server.faults().silent.insert(2);
    std::vector<int> zeroedAt;
    for (int k = 1; k <= 10; ++k) {
        simTick(); // channel 1
        const int pointsBefore = chart()->pointCount(1);
        simTick(); // channel 2, its k-th unanswered request
        if (chart()->pointCount(1) > pointsBefore) {
            EXPECT_EQ(chart()->point(1, chart()->pointCount(1) - 1).y(), 0);
            zeroedAt.push_back(k);
        }
        if (k < 4)
            EXPECT_EQ(value(2), last) << k;
        else
            EXPECT_EQ(value(2), "0") << k;
        simTick(); // channel 3
    }
    EXPECT_EQ(zeroedAt, (std::vector<int>{4, 7, 10}));
    EXPECT_EQ(window->poll().MissCount(2), 1);
    EXPECT_EQ(window->poll().MissCount(1), 0);

    // Its first answer brings the value back and clears the count.
    server.faults().silent.clear();
    simTick();
    simTick();
    EXPECT_NE(value(2), "0");
    EXPECT_EQ(window->poll().MissCount(2), 0);
}

TEST_F(Polling, ALateReplyFromAnotherAddressOrBeforeAnyRequestChangesNoChannel)
{
    open();
    load(threeChannelSet());
    window->spbViewClick();
    answer(reply("01", "OK", "0064"));       // nothing asked yet
    EXPECT_EQ(value(1), "");
    start();
    const std::vector<double> before = points(0);
    EXPECT_EQ(tick(), request("01"));
    answer(reply("01", "OK", "0064"));
    EXPECT_EQ(value(1), "10.0");
    EXPECT_EQ(tick(), request("02"));
    answer(reply("01", "OK", "0200"));       // channel 1's controller, too late
    EXPECT_EQ(value(1), "10.0");
    EXPECT_EQ(value(2), "");
    EXPECT_EQ(window->poll().MissCount(2), 1);
    EXPECT_EQ(chart()->pointCount(0), int(before.size()) + 1);
    EXPECT_EQ(chart()->pointCount(1), 0);
    // It is still logged.
    EXPECT_TRUE(logLines().contains("[수신]=> <STX>01DRS,OK,0200")) << logLines().join("|").toStdString();
    EXPECT_EQ(panel(0), "대기중");
}

TEST_F(Polling, RepliesAreScaledByDotShownAndPlottedAsPercentOfTheRange)
{
    struct Case {
        const char* dot;
        const char* max;
        const char* min;
        const char* word;
        const char* cell;     // "" : the cell stays empty
        double percent;       // NAN: no new chart point
    };
    const Case cases[] = {
        {"1", "100", "0", "0064", "10.0", 10},
        {"1", "1200", "-100", "04D2", "123.4", 123.4 / 1300 * 100},
        {"0", "1200", "-100", "04D2", "1,234", 1234.0 / 1300 * 100},
        {"1", "1200", "-100", "FFF6", "-1.0", -1.0 / 1300 * 100},
        {"2", "100", "0", "7FFF", "327.67", 327.67},
        {"0", "100", "0", "8000", "-32,768", -32768},
        {"4", "100", "0", "303A", "1.235", 1.2346},
        {"1", "0", "0", "0064", "10.0", NAN},
        {"1", "100", "0", "04d2", "", NAN},
    };
    open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word + std::string(" Dot ") + c.dot);
        window->bbtStartClick(); // Stop, when running
        load(QByteArray("T;1000\r\n01;A;0001;") + c.dot + ";" + c.max + ";" + c.min + ";255\r\n");
        start();
        ASSERT_EQ(tick(), request("01"));
        ASSERT_EQ(tick(), request("01"));
        EXPECT_EQ(window->poll().MissCount(1), 2);
        answer(reply("01", "OK", c.word));
        EXPECT_EQ(value(1), QString::fromLatin1(c.cell));
        EXPECT_EQ(window->poll().MissCount(1), 0);   // even a bad word counts as an answer
        const std::vector<double> v = points(0);
        if (std::isnan(c.percent)) {
            EXPECT_EQ(v.size(), 0u);
        } else {
            ASSERT_EQ(v.size(), 1u);
            EXPECT_NEAR(v[0], c.percent, 1e-9);
            EXPECT_EQ(chart()->point(0, 0).x(), TrendChart::timeKey(now));
        }
    }
}

// A run's trend must not start with a line up from 0: each channel's trace
// begins at its first measurement, and the miss rule's 0 draws nothing for a
// channel that has never answered.
TEST_F(Polling, EachTraceBeginsAtItsChannelsFirstMeasurement)
{
    open();
    load(threeChannelSet());
    start();
    for (int cycle = 1; cycle <= 4; ++cycle) {
        EXPECT_EQ(tick(), request("01"));
        if (cycle >= 3) {
            now = now.addSecs(1);
            answer(reply("01", "OK", "0064"));
        }
        (void)tick();   // channel 2 never answers: zeroed at its fourth request
        (void)tick();
    }
    EXPECT_EQ(value(2), "0");
    ASSERT_EQ(points(0).size(), 2u);
    EXPECT_NEAR(points(0)[0], 10.0 / 1300 * 100, 1e-9);
    EXPECT_EQ(chart()->point(0, 0).x(), TrendChart::timeKey(now.addSecs(-1)));
    EXPECT_EQ(points(1), std::vector<double>{});
    EXPECT_EQ(points(2), std::vector<double>{});
}

TEST_F(Polling, AReplySplitOverTwoNotificationsShowsReceivingUntilItIsComplete)
{
    open();
    load("T;1000\r\n01;A;0001;1;100;0;255\r\n");
    start();
    (void)tick();
    const auto before = rx->count();
    line.write(kStx + "01DRS,O");
    waitFor([&] { return rx->count() > before; });
    EXPECT_EQ(panel(0), "수신중");
    EXPECT_EQ(value(1), "");
    EXPECT_EQ(chart()->pointCount(0), 0);
    answer("K,0064\r\n", kStx + "01DRS,OK,0064\r\n");
    EXPECT_EQ(value(1), "10.0");
    EXPECT_EQ(points(0), (std::vector<double>{10}));
    EXPECT_EQ(panel(0), "대기중");
}

TEST_F(Polling, ARefusalZeroesOnlyWhenItAnswersTheThirdUnansweredRequest)
{
    open();
    load("T;1000\r\n01;A;0001;1;100;0;255\r\n");
    start();
    (void)tick();
    answer(reply("01", "OK", "0064"));
    (void)tick();
    (void)tick();
    answer(reply("01", "NG"));
    EXPECT_EQ(value(1), "10.0");
    EXPECT_EQ(window->poll().MissCount(1), 2);
    EXPECT_EQ(points(0), (std::vector<double>{10}));
    (void)tick();
    answer(reply("01", "NG"));
    EXPECT_EQ(value(1), "0");
    EXPECT_EQ(points(0), (std::vector<double>{10, 0}));
    EXPECT_EQ(window->poll().MissCount(1), 0);
}

TEST_F(Polling, TestModeSendsNothingAndFillsEachCellOncePerSamplingTick)
{
    portAt(line.slavePath(), "200", "73");
    open();
    load(threeChannelSet());
    child<QCheckBox>("chbRandom")->setChecked(true);
    start();
    EXPECT_FALSE(QFileInfo::exists(recordPath()));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(tick(), QByteArray());
    EXPECT_EQ(value(1), "");       // no sampling tick yet: the table is not filled
    for (int t = 0; t < 3; ++t) {
        ASSERT_EQ(chart()->pointCount(t), 1);
        const double v = chart()->point(t, 0).y();
        EXPECT_TRUE(v >= 0 && v < 100 && v == std::floor(v)) << v;
    }
    now = now.addSecs(1);
    window->tmSamplingTimer();
    EXPECT_EQ(value(0), "20240105/143023");
    for (int i = 0; i < 3; ++i)
        (void)tick();
    QStringList filled;
    for (int c = 1; c <= 3; ++c) {
        filled << value(c);
        bool whole = false;
        const int v = value(c).toInt(&whole);
        EXPECT_TRUE(whole && v >= 0 && v < 100) << value(c).toStdString();
        EXPECT_EQ(chart()->point(c - 1, 1).y(), v);
    }
    for (int i = 0; i < 6; ++i)
        (void)tick();
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(value(c), filled[c - 1]);   // unchanged until the next sampling tick
    EXPECT_EQ(chart()->pointCount(0), 4);
    EXPECT_FALSE(QFileInfo::exists(recordPath()));
}

TEST_F(Polling, TheMemoLogsTrafficOnlyWhileItIsShown)
{
    portAt(line.slavePath(), "200", "73");
    open();
    load(threeChannelSet());
    start();
    (void)tick();
    answer(reply("01", "OK", "0064"));
    window->spbViewClick();
    EXPECT_TRUE(list()->isHidden());
    EXPECT_FALSE(memo()->isHidden());
    EXPECT_EQ(logLines(), QStringList());
    (void)tick();
    answer(reply("02", "OK", "0001"));
    EXPECT_EQ(logLines(), (QStringList{"[송신]=> <STX>02DRS,01,0001",
                                       "[수신]=> <STX>02DRS,OK,0001"}));
    window->spbViewClick();
    EXPECT_FALSE(list()->isHidden());
    EXPECT_TRUE(memo()->isHidden());
    (void)tick();
    EXPECT_EQ(logLines().size(), 2);
    window->spbViewClick();                    // shown again: emptied
    EXPECT_EQ(logLines(), QStringList());
}

TEST_F(Polling, SendFailuresAreShownOnceARunAndPollingGoesOn)
{
    portAt(dir.file("no-such-tty"));
    open();
    dialogs.clear();
    load(threeChannelSet());
    start();
    for (int i = 0; i < 4; ++i)
        window->Timer1Timer();
    showPostedBoxes();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("WriteFile function failed")) << dialogs.errors[0].toStdString();
    EXPECT_EQ(panel(0), "ERROR");
    EXPECT_EQ(window->poll().PollIdx(), 2);
    EXPECT_EQ(window->poll().LastPolled(), 1);
    EXPECT_EQ(window->poll().MissCount(1), 2);
    window->bbtStartClick();
    start();
    window->Timer1Timer();
    showPostedBoxes();
    EXPECT_EQ(dialogs.errors.size(), 2);   // a new run reports its first failure again
}

TEST_F(Polling, ALinkLostDuringARunIsShownOnceAndPollingResumesWhenItIsBack)
{
    VanishingDevice device;
    portAt(device.path());
    open();
    load(threeChannelSet());
    start();
    window->Timer1Timer();
    EXPECT_EQ(device.pty().read(16), request("01"));
    QSignalSpy lost(port(), &TComPort::linkLost);
    QSignalSpy resumed(port(), &TComPort::linkResumed);
    device.vanish();
    waitFor([&] { return lost.count() > 0; });
    for (int i = 0; i < 3; ++i)
        window->Timer1Timer();
    showPostedBoxes();
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(panel(0), "ERROR");

    device.comeBack();
    port()->retryOpen();
    waitFor([&] { return resumed.count() > 0; });
    EXPECT_EQ(panel(0), "대기중");
    window->Timer1Timer();
    EXPECT_EQ(device.pty().read(16), request("02"));   // channels 2, 3, 1 went by while lost
    EXPECT_EQ(dialogs.errors.size(), 1);
}

// A channel silent in the new run records "0", never the old run's value.
TEST_F(Polling, StartForgetsTheValuesOfThePreviousRun)
{
    open();
    load(threeChannelSet());
    start();
    (void)tick();
    window->bbtStartClick();
    answer(reply("01", "OK", "0065"));      // the request's reply, handled after Stop too
    EXPECT_EQ(value(1), "10.1");
    start("again.kmr");
    EXPECT_EQ(value(1), "");
    EXPECT_EQ(window->poll().MissCount(1), 0);
    EXPECT_EQ(points(0), std::vector<double>{});
    (void)tick();                           // channel 1 stays silent
    window->tmSamplingTimer();
    EXPECT_EQ(readBytes(recordPath("again.kmr")), "set.khd\r\n20240105/143022;0;0;0;\r\n");
    EXPECT_EQ(value(1), "0");
}

// One request at a time on the half-duplex line: a tick that finds the last
// request unanswered sends nothing until the reply is in or its time-out has
// passed, and a reply that answers no request is nobody's. Both are shown.
TEST_F(Polling, ARequestStillAwaitedHoldsTheNextTickAndAStrayReplyIsNobodys)
{
    portAt(line.slavePath(), "20");
    steadyHeld = true;
    open();
    load(threeChannelSet());
    window->spbViewClick();
    start();
    showPostedBoxes();
    ASSERT_EQ(dialogs.messageTexts().size(), 1);
    const QString notice = dialogs.messageTexts().front();
    EXPECT_TRUE(notice.contains("폴링 주기 20 ms는") && notice.contains("34 ms")) << notice.toStdString();
    EXPECT_EQ(child<IntervalTimer>("Timer1")->interval(), 34);

    EXPECT_EQ(tick(), request("01"));
    steadyMs += 100;
    EXPECT_EQ(tick(), "") << "the reply to 01 is still awaited";
    answer(reply("01", "OK", "04D2"));
    EXPECT_EQ(value(1), "123.4");
    EXPECT_EQ(tick(), request("02"));
    steadyMs += 499;
    EXPECT_EQ(tick(), "");
    steadyMs += 1;
    EXPECT_EQ(tick(), request("03")) << "02 timed out after 500 ms";
    answer(reply("02", "OK", "0063"));      // 02's late reply is not 03's
    EXPECT_EQ(value(3), "");
    answer(reply("03", "OK", "0064"));
    EXPECT_EQ(value(3), "10.0");
    answer(reply("01", "OK", "0001"));      // nothing is awaited
    EXPECT_EQ(value(1), "123.4");

    const QStringList log = logLines();
    EXPECT_EQ(log.filter("[건너뜀] 1번 채널의 응답을 기다리는 중").size(), 1) << log.join('\n').toStdString();
    EXPECT_EQ(log.filter(QString("[버림]=> ") + kStx + "02DRS,OK,0063").size(), 1);
    EXPECT_EQ(log.filter(QString("[버림]=> ") + kStx + "01DRS,OK,0001").size(), 1);
    QLabel* counts = child<QLabel>("labBusCounts");
    EXPECT_FALSE(counts->isHidden());
    EXPECT_TRUE(counts->text().startsWith("건너뜀 2 · 버림 2 · 응답 ")) << counts->text().toStdString();
    EXPECT_TRUE(counts->text().endsWith(" ms > 폴링 주기 34 ms")) << "said once: replies are slower than the cycle";
}
