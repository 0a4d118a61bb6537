// What a run does while nobody is at the window: boxes held open for a stretch
// of clock time, kept-back lines, test mode, replies cut short.
#include "MonitoringWindowFixture.h"

#include "review/WorkbookCell.h"
#include "settings/AnsiText.h"
#include "tests/support/HeldBoxes.h"
#include "monitoring/MonitoringEngine.h"
#include "monitoring/ValueFormat.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

class UnattendedRun : public MonitoringWindowTest {
protected:
    // Lets the window's own timers run (poll 40 ms, sampling 50 ms); every
    // sampling tick moves the clock on by one second.
    void runTimers()
    {
        child<IntervalTimer>("Timer1")->blockSignals(false);
        child<IntervalTimer>("tmSampling")->blockSignals(false);
        polls = std::make_unique<QSignalSpy>(child<IntervalTimer>("Timer1"), &IntervalTimer::timeout);
        samples = std::make_unique<QSignalSpy>(child<IntervalTimer>("tmSampling"), &IntervalTimer::timeout);
        connect(child<IntervalTimer>("tmSampling"), [this] { now = now.addSecs(1); });
    }
    void connect(IntervalTimer* timer, const std::function<void()>& f)
    {
        QObject::connect(timer, &IntervalTimer::timeout, window.get(), f);
    }
    // The operator is away: a box stays open until both timers have ticked
    // `ticks` more times.
    void holdBoxesFor(int ticks)
    {
        held = std::make_unique<HeldBoxes>(dialogs, [this, ticks](const QString&) {
            return HeldBoxes::moreSignals({polls.get(), samples.get()}, ticks);
        });
    }
    [[nodiscard]] int heldBoxes() const { return held ? held->held : 0; }
    [[nodiscard]] QList<QByteArray> recordLines(const QString& path) const
    {
        QList<QByteArray> lines = readBytes(path).split('\n');
        lines.removeLast();
        for (QByteArray& l : lines)
            l.chop(1);
        return lines;
    }
    // Every sample line's stamp is one second after the one before.
    static void expectNoGap(const QList<QByteArray>& lines)
    {
        for (qsizetype i = 2; i < lines.size(); ++i) {
            const auto t0 = QDateTime::fromString(QString::fromLatin1(lines[i - 1].left(15)), "yyyyMMdd/HHmmss");
            const auto t1 = QDateTime::fromString(QString::fromLatin1(lines[i].left(15)), "yyyyMMdd/HHmmss");
            EXPECT_EQ(t0.secsTo(t1), 1) << "line " << i + 1 << ": " << lines[i].toStdString();
        }
    }

    std::unique_ptr<QSignalSpy> polls, samples;
    std::unique_ptr<HeldBoxes> held;
};

TEST_F(UnattendedRun, ARecordFolderDeletedWhileTheBoxWaitsLosesNoLine)
{
    portAt(line.slavePath(), "40");
    open();
    load(threeChannelSet("Line A", "50"));
    start();
    runTimers();
    holdBoxesFor(6);
    ASSERT_TRUE(waitFor([&] { return samples->count() >= 2; }));
    ASSERT_TRUE(QDir(MonitorDir()).removeRecursively());
    ASSERT_TRUE(waitFor([&] { return heldBoxes() == 1; }));
    EXPECT_EQ(panel(0), "기록불량");
    const int kept = window->engine().unwrittenLines();
    EXPECT_GE(kept, 6) << "every tick of the held box kept its line";
    ASSERT_TRUE(QDir().mkpath(MonitorDir()));
    ASSERT_TRUE(waitFor([&] { return window->engine().unwrittenLines() == 0; }));
    window->bbtStartClick();
    const QList<QByteArray> lines = recordLines(recordPath());
    ASSERT_GE(lines.size(), kept + 2);
    EXPECT_EQ(lines[0], "set.khd");
    expectNoGap(lines);
    EXPECT_EQ(panel(0), "대기중");
    EXPECT_EQ(dialogs.errors.size(), 1);
}

TEST_F(UnattendedRun, APulledControllerWhileTheBoxWaitsIsZeroedNotRecordedAsItsLastValue)
{
    VanishingDevice device;
    portAt(device.path(), "40");
    open();
    load(threeChannelSet("Line A", "50"));
    start();
    (void)tick();
    device.pty().write(reply("01", "OK", "04D2"));
    ASSERT_TRUE(waitFor([&] { return value(1) == "123.4"; }));
    runTimers();
    holdBoxesFor(12); // at least three requests to every channel
    QSignalSpy lost(port(), &TComPort::linkLost);
    device.vanish();
    ASSERT_TRUE(waitFor([&] { return heldBoxes() == 1; }));
    window->bbtStartClick();
    const QList<QByteArray> lines = recordLines(recordPath());
    ASSERT_GE(lines.size(), 13);
    expectNoGap(lines);
    EXPECT_EQ(lines.last().mid(16), "0;0;0;") << "silent channels are zeroed while the box waits";
    EXPECT_EQ(value(1), "0");
}

// The line's output is held (as by a flow-control stop): no request can
// leave, yet both timers keep their rhythm and no sample line is missed.
TEST_F(UnattendedRun, AStalledLineHoldsUpNeitherTimer)
{
    portAt(line.slavePath(), "40");
    open();
    load(threeChannelSet("Line A", "50"));
    const int held = ::open(QFile::encodeName(line.slavePath()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::tcflow(held, TCOOFF), 0);
    start();
    runTimers();
    ASSERT_TRUE(waitFor([&] { return samples->count() >= 12; }));
    window->bbtStartClick();
    ::tcflow(held, TCOON);
    ::close(held);
    const QList<QByteArray> lines = recordLines(recordPath());
    ASSERT_GE(lines.size(), 13);
    expectNoGap(lines);
    EXPECT_EQ(panel(0), "ERROR") << "the request that could not leave is said";
}

// The port stopped announcing replies: the panel, the log and a box say so,
// the box waits while the timers keep their rhythm, and the port is opened
// again, so the next reply reaches its cell.
TEST_F(UnattendedRun, AStoppedReceiveIsShownWhileTheRunGoesOnAndThePortOpensAgain)
{
    portAt(line.slavePath(), "40");
    open();
    load(threeChannelSet("Line A", "50"));
    start();
    window->spbViewClick();
    runTimers();
    holdBoxesFor(6);
    Q_EMIT port()->receiveStopped(QStringLiteral("ReadFile function failed"));
    EXPECT_EQ(panel(0), "ERROR");
    ASSERT_TRUE(waitFor([&] { return heldBoxes() == 1; }));
    EXPECT_EQ(dialogs.errors, QStringList{"ReadFile function failed"});
    EXPECT_EQ(logLines().filter("[수신 중단] ReadFile function failed — 포트를 다시 엽니다").size(), 1);
    window->bbtStartClick();
    expectNoGap(recordLines(recordPath()));
    (void)line.readAvailable();
    QByteArray sent;
    ASSERT_TRUE(waitFor([&] { return !(sent = tick()).isEmpty(); })); // once the last request has timed out
    const int c = sent.mid(1, 2).toInt();
    answer(reply(sent.mid(1, 2), "OK", "04D2"));
    EXPECT_EQ(value(c), c == 2 ? "1,234" : "123.4");
}

// Run 1 lost its folder; the operator stops, restores it, loads another set
// and starts again on the same file.
TEST_F(UnattendedRun, KeptBackLinesNeverLandUnderAnotherRunsHeader)
{
    // The second run starts live, or in test mode switched off at once.
    const std::pair<int, bool> cases[] = {{MsgResult::Yes, false}, {MsgResult::No, false}, {MsgResult::Yes, true}};
    for (const auto& [answer, testFirst] : cases) {
        SCOPED_TRACE(answer + 10 * testFirst);
        open();
        load(threeChannelSet());
        start();
        window->tmSamplingTimer();
        ASSERT_TRUE(QDir(MonitorDir()).removeRecursively());
        window->tmSamplingTimer();
        window->tmSamplingTimer();
        window->bbtStartClick();
        ASSERT_TRUE(QDir().mkpath(MonitorDir()));
        load("Two;1000\r\n01;A;0001;0;100;0;255\r\n02;B;0001;0;100;0;255\r\n", "two.khd");
        dialogs.clear();
        dialogs.answers.push_back(answer);
        child<QCheckBox>("chbRandom")->setChecked(testFirst);
        start();
        child<QCheckBox>("chbRandom")->setChecked(false);
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("이전 측정값 2줄"))) << dialogs.messages[0].text.toStdString();
        if (answer == MsgResult::Yes) {
            window->tmSamplingTimer();
            EXPECT_EQ(readBytes(recordPath()), "two.khd\r\n20240105/143022;0;0;\r\n");
            EXPECT_EQ(window->engine().unwrittenLines(), 0);
        } else {
            EXPECT_EQ(startButton()->text(), "Start") << "a refusal asks for another name; none given";
            EXPECT_EQ(window->engine().unwrittenLines(), 2);
            EXPECT_FALSE(QFileInfo::exists(recordPath()));
        }
        window.reset();
    }
}

TEST_F(UnattendedRun, TestModeTouchesNoFileUntilItIsSwitchedOff)
{
    portAt(line.slavePath(), "200", "73");
    open();
    load(threeChannelSet());
    writeBytes(recordPath(), "other.khd\r\n20230101/000000;1;2;3;\r\n");
    child<QCheckBox>("chbRandom")->setChecked(true);
    start();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(dialogs.saveRequests.back().confirmOverwrite);
    for (int i = 0; i < 3; ++i)
        window->Timer1Timer();
    window->tmSamplingTimer();
    window->Timer1Timer();
    EXPECT_EQ(readBytes(recordPath()), "other.khd\r\n20230101/000000;1;2;3;\r\n");

    child<QCheckBox>("chbRandom")->setChecked(false);
    EXPECT_EQ(tick(), request("02"));
    EXPECT_EQ(readBytes(recordPath()), "set.khd\r\n");
    answer(reply("02", "OK", "0064"));
    window->tmSamplingTimer();
    EXPECT_EQ(readBytes(recordPath()), "set.khd\r\n20240105/143022;0;100;0;\r\n")
        << "test values are no measurements";
}

TEST_F(UnattendedRun, AReplyWithoutAWholeDataWordIsNoMeasurement)
{
    open();
    load(threeChannelSet());
    start();
    (void)tick();
    answer(reply("01", "OK", "0064"));
    const auto plotted = points(0).size();
    for (const QByteArray& cut : {QByteArray("\x02" "01DRS,OK,64\r\n"), QByteArray("\x02" "01DRS,OK\r\n"),
                                  QByteArray("\x02" "01DRS,OK,\r\n"), QByteArray("\x02" "01DRS,OK,064,\r\n")}) {
        SCOPED_TRACE(cut.toStdString());
        answer(cut);
        EXPECT_EQ(value(1), "10.0");
        EXPECT_EQ(points(0).size(), plotted);
    }
}

TEST_F(UnattendedRun, ASetFileNameTheRecordCannotHoldIsRefusedAtStart)
{
    open();
    load(threeChannelSet(), QStringLiteral("café.khd"));
    dialogs.saveNames.push_back(recordPath());
    window->bbtStartClick();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("café.khd")));
    EXPECT_TRUE(dialogs.saveRequests.empty());
    EXPECT_EQ(startButton()->text(), "Start");
}

// Separators a code page 949 file cannot hold (no-break spaces, Arabic) are
// written as ones it can, and the viewer's export reads the same number back.
TEST(RegionalSeparators, RecordedValuesStayCodePage949AndReadBackAsNumbers)
{
    struct Case { const char* locale; double value; };
    for (const Case& c : {Case{"sv_SE", 1234.5}, Case{"fr_FR", -12345.25}, Case{"ru_RU", 1234.5},
                          Case{"ar_EG", 1234.5}, Case{"de_DE", 1234.5}, Case{"ko_KR", 1234.5}}) {
        SCOPED_TRACE(c.locale);
        const Regional r = Regional::fromLocale(QLocale(QString::fromLatin1(c.locale)));
        const QString text = formatValue(c.value, ValueFormat::Decimal, r);
        EXPECT_TRUE(representableInAnsi(text)) << text.toStdString();
        const CellValue cell = interpretTyped(fromAnsi(toAnsi(text)), r);
        ASSERT_EQ(cell.kind, CellValue::Kind::Number) << text.toStdString();
        EXPECT_DOUBLE_EQ(cell.number, c.value);
    }
}

TEST_F(UnattendedRun, AChannelZeroedByTheMissRuleIsGreyUntilItAnswers)
{
    open();
    load(threeChannelSet());
    start();
    for (int cycle = 0; cycle < 4; ++cycle)
        for (int c = 1; c <= 3; ++c)
            (void)tick();               // nobody answers: the 4th request zeroes
    EXPECT_EQ(value(1), "0");
    EXPECT_EQ(values()->textColor(1, 1), QColor(Qt::gray));
    (void)tick();
    EXPECT_EQ(tick(), request("02"));
    answer(reply("02", "OK", "0000")); // a real 0 °C is not grey
    EXPECT_EQ(value(2), "0");
    EXPECT_FALSE(values()->textColor(1, 2).isValid());
}
