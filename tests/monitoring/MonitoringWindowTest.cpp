// Opening, loading channel sets, Start, Stop and closing of the monitoring window.
#include "MonitoringWindowFixture.h"
#include "tests/support/ShownImage.h"

#include "link/SetupP.h"
#include "settings/KeloError.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QLineEdit>
#include <QTimer>

#include <QImage>

using Opening = MonitoringWindowTest;

TEST_F(Opening, ShowsThePortPanelsAndTheTestControlsOnlyForTheSwitch73)
{
    struct Case {
        QByteArray temp;      // empty: no [Temp] section
        bool shown;
    };
    for (const Case& c : {Case{{}, false}, Case{"73", true}, Case{"72", false}}) {
        portAt(line.slavePath(), "200", c.temp);
        open();
        SCOPED_TRACE(c.temp.toStdString());
        EXPECT_EQ(child<QCheckBox>("chbRandom")->isHidden(), !c.shown);
        EXPECT_EQ(child<QToolButton>("spbView")->isHidden(), !c.shown);
        EXPECT_EQ(panel(0), "대기중");
        EXPECT_EQ(panel(1), line.slavePath());
        EXPECT_EQ(panel(2), "9600,None,8,1");
        EXPECT_EQ(panel(3), "200");
        EXPECT_EQ(panel(4), "=> Stop");
        EXPECT_FALSE(startButton()->isEnabled());
        EXPECT_EQ(startButton()->text(), "Start");
        EXPECT_EQ(window->windowTitle(), "모니터링화면");
        EXPECT_TRUE(child<QPushButton>("butOpen")->isEnabled());
        EXPECT_TRUE(dialogs.messages.empty());
        window.reset();
    }
    EXPECT_TRUE(readBytes(dir.mainIni()).contains("[Temp]\r\nValue=72\r\n"));
    writeBytes(dir.mainIni(), "[ComPort1]\r\nPort=" + line.slavePath().toUtf8() + "\r\n");
    open();
    EXPECT_TRUE(readBytes(dir.mainIni()).contains("[Temp]\r\nValue=0\r\n"));
}

TEST_F(Opening, APortThatCannotBeOpenedIsReportedAndTheWindowStaysUsable)
{
    portAt(dir.file("no-such-tty"));
    open();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text.section('\n', 0, 0), "통신 불량");
    EXPECT_EQ(dialogs.messages[0].caption, "경고");
    EXPECT_EQ(dialogs.messages[0].style, 16);
    EXPECT_EQ(panel(0), "ERROR");
    load(threeChannelSet());
    EXPECT_TRUE(startButton()->isEnabled());
}

using Loading = MonitoringWindowTest;

TEST_F(Loading, FillsTheChannelListTheValueTableAndTheChart)
{
    open();
    const QString path = load(threeChannelSet());
    EXPECT_EQ(window->SetPath(), path);
    const char* expected[4][8] = {
        {"NO", "Color", "Addr", "Caption", "Reg", "Dot", "Max", "Min"},
        {"1", "", "01", "Zone 1", "0001", "1", "1200", "-100"},
        {"2", "", "02", "Zone 2", "0001", "0", "100", "0"},
        {"3", "", "03", "Zone 3", "0001", "1", "100", "0"},
    };
    ASSERT_EQ(list()->rowCount(), 4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 8; ++c)
            EXPECT_EQ(list()->text(r, c), QString::fromUtf8(expected[r][c])) << r << "," << c;
    ASSERT_EQ(values()->columnCount(), 4);
    EXPECT_EQ(values()->rowCount(), 2);
    EXPECT_EQ(values()->text(0, 0), "일-시");
    EXPECT_EQ(values()->text(0, 2), "Zone 2");
    EXPECT_EQ(value(1), "");
    ASSERT_EQ(chart()->traceCount(), 3);
    EXPECT_EQ(chart()->traceTitle(2), "Zone 3");
    EXPECT_EQ(chart()->traceColor(0), QColor(255, 0, 0));
    EXPECT_EQ(chart()->traceColor(1), QColor(0, 255, 0));
    EXPECT_EQ(chart()->traceColor(2), QColor(0, 0, 255));
    EXPECT_EQ(chart()->pointCount(0), 0);
    EXPECT_TRUE(chart()->isTitleVisible());
    EXPECT_EQ(chart()->title(), "Line A");
    EXPECT_EQ(panel(4), "[set.khd]");
    EXPECT_EQ(child<IntervalTimer>("tmSampling")->interval(), 1000);
    EXPECT_TRUE(startButton()->isEnabled());

    load(threeChannelSet("", "500"), "untitled.khd");
    EXPECT_FALSE(chart()->isTitleVisible());
    EXPECT_EQ(panel(4), "[untitled.khd]");
    EXPECT_EQ(child<IntervalTimer>("tmSampling")->interval(), 500);
    EXPECT_EQ(dialogs.openRequests.back().filter, "설정파일|*.khd");
    EXPECT_EQ(dialogs.openRequests.back().startDir, MonitorDir());
}

TEST_F(Loading, AHandEditedSetWithABadFieldIsRefusedAndTheEarlierSetStays)
{
    open();
    load(threeChannelSet());
    struct Case {
        QByteArray bytes;
        const char* named;
    };
    const Case cases[] = {
        {"T;1000\r\n01;A;0001;1;1200;-100;255\r\n02;B;0001;1;1,200;-100;255\r\n", "3번째 줄의 Max 값 '1,200'"},
        {"T;fast\r\n01;A;0001;1;1200;-100;255\r\n", "1번째 줄의 Sampling 값 'fast'"},
        {"T;1000\r\n01;A;0001;one;1200;-100;255\r\n", "2번째 줄의 Dot 값 'one'"},
        {"T;1000\r\n01;A;0001;1;1200;-100;blue\r\n", "2번째 줄의 Color 값 'blue'"},
        {"T;1000\r\n", "채널 줄이 없습니다"},
        {"T;1000\r\n01;A;0001;1;1200;-100;255\r\n\r\n", "3번째 줄이 비어 있습니다"},
    };
    for (const Case& c : cases) {
        dialogs.clear();
        const QString path = load(c.bytes, "hand.khd");
        SCOPED_TRACE(c.bytes.toStdString());
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_TRUE(dialogs.messages[0].text.contains(path)) << dialogs.messages[0].text.toStdString();
        EXPECT_TRUE(dialogs.messages[0].text.contains(QString::fromUtf8(c.named)))
            << dialogs.messages[0].text.toStdString();
        EXPECT_EQ(list()->text(3, 3), "Zone 3");
        EXPECT_EQ(values()->columnCount(), 4);
        EXPECT_EQ(chart()->traceCount(), 3);
        EXPECT_EQ(panel(4), "[set.khd]");
        EXPECT_TRUE(startButton()->isEnabled());
    }
    EXPECT_TRUE(window->LoadChannelSet(MonitorDir() + "/set.khd"));
    EXPECT_FALSE(window->LoadChannelSet(MonitorDir() + "/hand.khd"));
    EXPECT_EQ(list()->text(3, 3), "Zone 3");
}

TEST_F(Loading, ANameThatIsNoFileEmptiesTheListAndKeepsStartDisabled)
{
    open();
    load(threeChannelSet());
    dialogs.openNames.push_back(MonitorDir() + "/gone.khd");
    window->butOpenClick();
    EXPECT_EQ(list()->rowCount(), 2);
    EXPECT_EQ(list()->text(1, 0), "");
    EXPECT_EQ(chart()->traceCount(), 0);
    EXPECT_FALSE(startButton()->isEnabled());
    window->bbtStartClick();
    EXPECT_TRUE(dialogs.saveRequests.empty());
    EXPECT_FALSE(window->LoadChannelSet(MonitorDir() + "/gone.khd"));

    dialogs.openNames.push_back(QString());   // cancelled: nothing changes
    load(threeChannelSet());
    window->butOpenClick();
    EXPECT_EQ(list()->rowCount(), 4);
}

TEST_F(Loading, TheColorColumnIsPaintedInEachChannelsColour)
{
    open();
    window->show();
    auto swatch = [&](int row) {
        const QRect cell = list()->visualRect(list()->model()->index(row, 1));
        const QImage image = list()->viewport()->grab().toImage();
        return image.pixelColor(cell.center());
    };
    const QColor background = swatch(1);
    EXPECT_NE(background, QColor(255, 0, 0));   // no set: row 1 is not painted
    load(threeChannelSet());
    EXPECT_EQ(swatch(1), QColor(255, 0, 0));
    EXPECT_EQ(swatch(2), QColor(0, 255, 0));
    EXPECT_EQ(swatch(3), QColor(0, 0, 255));
    window->hide();
}

TEST_F(Loading, SingleChannelSwatchIsPaintedByEveryLoadNotOnlyWhenRowsChange)
{
    open();
    window->show();
    auto swatchShown = [&] {
        const QRect cell = list()->visualRect(list()->model()->index(1, 1));
        return shownImage(list()->viewport()).pixelColor(cell.center());
    };
    (void)swatchShown();
    load("Kiln;1000\r\n01;A;0001;0;100;0;255\r\n", "red.khd");
    EXPECT_EQ(swatchShown(), QColor(255, 0, 0));
    load("Kiln;1000\r\n01;A;0001;0;100;0;65280\r\n", "green.khd");
    EXPECT_EQ(swatchShown(), QColor(0, 255, 0));
    window->hide();
}

TEST_F(Loading, ValueTableKeepsItsTimeColumnAndHeadingsWhenScrolledSideways)
{
    open();
    QByteArray set = "Kiln;1000\r\n";
    for (int i = 1; i <= 30; ++i)
        set += "01;Zone " + QByteArray::number(i) + ";0001;0;100;0;255\r\n";
    load(set);
    window->show();
    ColumnGrid* table = values();
    (void)shownImage(table); // laid out and painted once
    table->horizontalScrollBar()->setValue(table->horizontalScrollBar()->maximum());
    ASSERT_GT(table->columnAt(0), 1) << "the table scrolled";
    const QImage shown = shownImage(table);
    const QHeaderView* times = table->verticalHeader();
    EXPECT_EQ(times->mapTo(table, QPoint(0, 0)).x(), table->frameWidth()) << "the time column stays at the left";
    EXPECT_EQ(shown.pixelColor(times->mapTo(table, QPoint(2, times->sectionViewportPosition(1) + 2))),
              table->fixedColor());
    const QHeaderView* headings = table->horizontalHeader();
    EXPECT_EQ(shown.pixelColor(headings->mapTo(table, QPoint(headings->sectionViewportPosition(30) + 2, 2))),
              table->fixedColor());
    EXPECT_EQ(table->text(0, 0), "일-시");
    window->hide();
}

TEST_F(Loading, EscClosesNeitherAStoppedWindowNorItsLoadedSet)
{
    open();
    window->show();
    load(threeChannelSet());
    QTest::keyClick(list(), Qt::Key_Escape);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(list()->rowCount(), 4);
    window->hide();
}

using Starting = MonitoringWindowTest;

TEST_F(Starting, ProposesTheRecordNameCompletesItAndWritesTheHeaderLine)
{
    open();
    load(threeChannelSet());
    start("first.KMR");
    ASSERT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs.saveRequests[0].proposedName, "Line A_20240105143022.kmr");
    EXPECT_EQ(dialogs.saveRequests[0].startDir, MonitorDir());
    EXPECT_EQ(dialogs.saveRequests[0].filter, "모니터링파일(*.kmr)|*.kmr");
    EXPECT_TRUE(dialogs.saveRequests[0].confirmOverwrite);
    EXPECT_EQ(window->RecordPath(), recordPath("first.KMR.kmr"));
    EXPECT_EQ(readBytes(recordPath("first.KMR.kmr")), "set.khd\r\n");
    EXPECT_EQ(startButton()->text(), "Stop");
    EXPECT_FALSE(child<QPushButton>("butOpen")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("butSetup")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("butExit")->isEnabled());
    EXPECT_EQ(child<IntervalTimer>("Timer1")->interval(), 200);
    EXPECT_TRUE(child<IntervalTimer>("Timer1")->isFiring());
    EXPECT_TRUE(child<IntervalTimer>("tmSampling")->isFiring());
    // The chart starts again empty: each trace begins at its first measurement.
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(points(t), std::vector<double>{});

    window->bbtStartClick();
    EXPECT_EQ(startButton()->text(), "Start");
    EXPECT_FALSE(child<IntervalTimer>("Timer1")->isEnabled());
    EXPECT_FALSE(child<IntervalTimer>("tmSampling")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("butOpen")->isEnabled());

    writeBytes(recordPath("second.kmr"), "old\r\n");
    start("second.kmr");
    EXPECT_EQ(readBytes(recordPath("second.kmr")), "set.khd\r\n");
    EXPECT_EQ(panel(4), "[set.khd] [first.KMR.kmr] [second.kmr]");
    window->bbtStartClick();

    load(threeChannelSet(""));
    start();
    EXPECT_EQ(dialogs.saveRequests.back().proposedName, "Test_20240105143022.kmr");
    EXPECT_EQ(panel(4), "[set.khd] [run.kmr]");
}

TEST_F(Starting, AnExistingCompletedNameIsOnlyReplacedAfterAskingAndNoReturnsToTheDialog)
{
    open();
    load(threeChannelSet());
    writeBytes(recordPath("keep.kmr"), "set.khd\r\nkept;\r\n");
    dialogs.saveNames = {MonitorDir() + "/keep", MonitorDir() + "/other"};
    dialogs.answers = {MsgResult::No};
    window->bbtStartClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].style, 36);
    EXPECT_EQ(dialogs.messages[0].caption, "확인");
    EXPECT_TRUE(dialogs.messages[0].text.contains(recordPath("keep.kmr")));
    ASSERT_EQ(dialogs.saveRequests.size(), 2u);
    EXPECT_EQ(dialogs.saveRequests[1].proposedName, "keep");
    EXPECT_EQ(readBytes(recordPath("keep.kmr")), "set.khd\r\nkept;\r\n");
    EXPECT_EQ(readBytes(recordPath("other.kmr")), "set.khd\r\n");
    window->bbtStartClick();

    dialogs.saveNames = {MonitorDir() + "/keep"};
    dialogs.answers = {MsgResult::Yes};
    window->bbtStartClick();
    EXPECT_EQ(readBytes(recordPath("keep.kmr")), "set.khd\r\n");
}

TEST_F(Starting, CancelABadPollIntervalOrAFileThatCannotBeMadeLeaveTheWindowReady)
{
    open();
    load(threeChannelSet());
    dialogs.saveNames = {QString()};
    window->bbtStartClick();
    EXPECT_EQ(startButton()->text(), "Start");
    EXPECT_EQ(panel(4), "[set.khd]");

    statusBar()->setPanelText(3, "2OO");
    try {
        window->bbtStartClick();
        ADD_FAILURE() << "started";
    } catch (const KeloError& e) {
        EXPECT_EQ(e.text(), "'2OO' is not a valid integer value");
    }
    EXPECT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(startButton()->text(), "Start");

    statusBar()->setPanelText(3, "200");
    EXPECT_THROW(start(dir.file("no-folder/run.kmr")), KeloError);
    EXPECT_EQ(startButton()->text(), "Start");
    EXPECT_TRUE(child<QPushButton>("butOpen")->isEnabled());
    EXPECT_FALSE(child<IntervalTimer>("Timer1")->isEnabled());
}

TEST_F(Starting, APollIntervalOfZeroNeverTicks)
{
    portAt(line.slavePath(), "0");
    open();
    load(threeChannelSet());
    start();
    EXPECT_EQ(startButton()->text(), "Stop");
    EXPECT_TRUE(child<IntervalTimer>("Timer1")->isEnabled());
    EXPECT_FALSE(child<IntervalTimer>("Timer1")->isFiring());
}

TEST_F(Starting, ASamplingOfZeroOrLessIsRefusedNamingTheSetAndTheValue)
{
    open();
    for (const char* sampling : {"0", "-5"}) {
        dialogs.clear();
        load(threeChannelSet("Line A", sampling), "never.khd");
        window->bbtStartClick();
        ASSERT_EQ(dialogs.messages.size(), 1u) << sampling;
        const QString text = dialogs.messages[0].text;
        EXPECT_TRUE(text.contains("never.khd") && text.contains(QStringLiteral("Sampling이 %1 msec").arg(sampling)))
            << text.toStdString();
        EXPECT_TRUE(dialogs.saveRequests.empty());
        EXPECT_EQ(startButton()->text(), "Start");
        EXPECT_FALSE(child<IntervalTimer>("Timer1")->isEnabled());
    }
}

// How often each channel is read shows in the heading's tip; at Start the
// window says, without a box, when records would repeat old values.
TEST_F(Starting, TheBusBudgetIsInTheHeadingsTipAndSaidOnceAtStartWithoutABox)
{
    struct Case {
        const char* delay;
        const char* sampling;
        const char* tip;     // in the tip of "모니터링값" after loading
        const char* notice;  // beside it after Start ("" : none)
    };
    const Case cases[] = {
        {"200", "1000", "채널 3개 × Delay 200 msec = 채널마다 600 msec에 한 번 읽음 (Sampling 1000 msec)", ""},
        {"200", "500", "채널마다 600 msec", "채널 3개 × Delay 200 msec = 600 msec마다 읽습니다. Sampling 500 msec보다 길어"},
        {"2147483647", "1000", "채널마다 6442450941 msec", "6442450941 msec마다 읽습니다"},
        {"0", "1000", "Delay 0 msec이면 채널을 읽지 않습니다", "채널을 읽지 않아"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delay + std::string(" / ") + c.sampling);
        portAt(line.slavePath(), c.delay);
        open();
        load(threeChannelSet("Line A", c.sampling));
        auto* heading = child<QLabel>("Label2");
        auto* notice = child<QLabel>("labBusBudget");
        EXPECT_TRUE(heading->toolTip().contains(QString::fromUtf8(c.tip))) << heading->toolTip().toStdString();
        EXPECT_TRUE(notice->isHidden());
        start();
        EXPECT_EQ(startButton()->text(), "Stop");
        EXPECT_TRUE(dialogs.messages.empty());
        EXPECT_EQ(notice->isVisibleTo(window.get()), *c.notice != 0);
        EXPECT_TRUE(notice->text().contains(QString::fromUtf8(c.notice))) << notice->text().toStdString();
        window->bbtStartClick();
    }
}

using Closing = MonitoringWindowTest;

TEST_F(Closing, IsRefusedWhileMonitoringRuns)
{
    open();
    load(threeChannelSet());
    start();
    EXPECT_FALSE(window->FormCloseQuery());
    window->reject();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, "먼저 모니터링을 종료하세요");
    EXPECT_EQ(dialogs.messages[0].style, 0);
    window->bbtStartClick();
    EXPECT_TRUE(window->FormCloseQuery());
}

using Settings = MonitoringWindowTest;

TEST_F(Settings, TheSetupButtonClosesThePortAroundTheDialogAndReopensItWithTheNewDelay)
{
    open();
    load(threeChannelSet());
    bool sawDialog = false;
    bool portHeld = true;
    QTimer::singleShot(0, [&] {
        auto* setup = qobject_cast<TSetupF*>(QApplication::activeModalWidget());
        ASSERT_NE(setup, nullptr);
        sawDialog = true;
        portHeld = line.slaveHeldByThisProcess() || port()->Connected();
        setup->findChild<QLineEdit*>("edtSec")->setText("350");
        setup->butSaveClick();
    });
    window->butSetupClick();
    EXPECT_TRUE(sawDialog);
    EXPECT_FALSE(portHeld);
    EXPECT_TRUE(port()->Connected());
    EXPECT_EQ(panel(0), "대기중");
    EXPECT_EQ(panel(3), "350");
    start();
    EXPECT_EQ(child<IntervalTimer>("Timer1")->interval(), 350);
    EXPECT_EQ(tick(), request("01"));
}
