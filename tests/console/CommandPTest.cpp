#include "console/CommandP.h"
#include "link/ComComboBoxP.h"
#include "link/ComPort.h"
#include "link/LinkStatusBarP.h"
#include "link/ReplyAssembler.h"
#include "link/SetupP.h"
#include "settings/IntervalTimer.h"
#include "settings/KeloError.h"
#include "sim/SimServer.h"
#include "tests/link/PtyPair.h"
#include "tests/support/Files.h"
#include "tests/support/HeldBoxes.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

// STX + content + CR LF.
QByteArray frame(const QByteArray& content)
{
    return '\x02' + content + "\r\n";
}

QString sentLine(const QByteArray& content)
{
    return QStringLiteral("[송신]=> <STX>") + QString::fromLatin1(content);
}

QString receivedLine(const QByteArray& content)
{
    return QStringLiteral("[수신]=> <STX>") + QString::fromLatin1(content);
}

// A generous guard for bytes crossing a pseudo-terminal, not a measurement.
constexpr int kGuardMs = 5000;

// The console as the operator sees it, found by the components' names.
struct Console {
    std::unique_ptr<TCommandF> window;

    template <typename T>
    T* get(const char* name) const
    {
        T* child = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QComboBox* cxCmbSel() const { return get<QComboBox>("cxCmbSel"); }
    QLineEdit* edtUnit() const { return get<QLineEdit>("edtUnit"); }
    QLineEdit* edtSend() const { return get<QLineEdit>("edtSend"); }
    QPushButton* butSend() const { return get<QPushButton>("butSend"); }
    QPushButton* butSetup() const { return get<QPushButton>("butSetup"); }
    QCheckBox* chbAll() const { return get<QCheckBox>("chbAll"); }
    QListWidget* clsbAll() const { return get<QListWidget>("clsbAll"); }
    QPlainTextEdit* memo() const { return get<QPlainTextEdit>("Memo1"); }
    IntervalTimer* timer() const { return get<IntervalTimer>("Timer1"); }
    TComPort* port() const { return get<TComPort>("ComPort1"); }
    LinkStatusBar* statusBar() const { return get<LinkStatusBar>("StatusBar1"); }
    QString panel(int n) const { return statusBar()->panelText(n); }
    QString text(const char* label) const { return get<QLabel>(label)->text(); }

    QStringList log() const
    {
        const QString all = memo()->toPlainText();
        return all.isEmpty() ? QStringList() : all.split(QLatin1Char('\n'));
    }
    void tick(std::initializer_list<int> addresses) const
    {
        for (int a : addresses)
            clsbAll()->item(a - 1)->setCheckState(Qt::Checked);
    }
    void select(const QString& code) const
    {
        for (int i = 0; i < cxCmbSel()->count(); ++i)
            if (cxCmbSel()->itemText(i).startsWith(code))
                cxCmbSel()->setCurrentIndex(i);
    }
    void startContinuous() const
    {
        chbAll()->setChecked(true);
        window->butSendClick();
    }
};

struct ConsoleFixture : ::testing::Test {
    ProgramDir dir;
    ScriptedDialogs dialogs;
    AppContext context{dialogs};

    void writeIni(const QString& port, const QByteArray& delay = "200")
    {
        writeBytes(dir.mainIni(), "[ComPort1]\r\nPort=" + port.toLocal8Bit() + "\r\n[Delay]\r\nTime=" + delay + "\r\n");
    }
    Console open()
    {
        Console c{std::make_unique<TCommandF>(context)};
        c.window->show();
        return c;
    }
};

// The console on a pseudo-terminal whose far end the test reads and writes.
struct PtyConsoleFixture : ConsoleFixture {
    PtyPair line;
    Console console;

    void SetUp() override
    {
        ASSERT_TRUE(line.isOpen());
        writeIni(line.slavePath());
        console = open();
        ASSERT_TRUE(console.port()->Connected());
        ASSERT_TRUE(dialogs.messages.empty());
    }
    // What the console has put on the line, once `size` bytes have come.
    QByteArray onLine(qsizetype size) { return line.read(size, kGuardMs); }
    // The frames `ticks` timer ticks put on the line, by address.
    QStringList tickAddresses(int ticks)
    {
        QStringList addresses;
        for (int i = 0; i < ticks; ++i) {
            console.window->Timer1Timer();
            const QByteArray sent = line.readAvailable();
            addresses << (sent.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(sent.mid(1, 2)));
        }
        return addresses;
    }
};

} // namespace

TEST_F(PtyConsoleFixture, ShowsItsComponentsAndTheLinkInTheStatusBar)
{
    const Console& c = console;
    EXPECT_EQ(c.window->windowTitle(), "코멘드통신");
    EXPECT_EQ(c.text("Label1"), "코멘드 선택:");
    EXPECT_EQ(c.text("Label5"), "송신 =>");
    EXPECT_EQ(c.text("Label3"), "STX+");
    EXPECT_EQ(c.text("Label2"), "+");
    EXPECT_EQ(c.text("Label4"), "+CR+LF");
    EXPECT_EQ(c.text("Label6"), "연속통신");
    EXPECT_EQ(c.butSend()->text(), "Send");
    EXPECT_EQ(c.butSetup()->text(), "통신설정");
    EXPECT_EQ(c.get<QPushButton>("butExit")->text(), "종료");
    QStringList commands;
    for (int i = 0; i < c.cxCmbSel()->count(); ++i)
        commands << c.cxCmbSel()->itemText(i);
    EXPECT_EQ(commands, (QStringList{"WHO => 자기 정보 표시", "DRS => D Register 연속 Read",
                                     "DRR => D Register Random Read", "DWS => D Register 연속 Write",
                                     "DWR => D Register Random Write", "DMS => D Register Monitoring Set",
                                     "DMC => D Register Monitoring Call"}));
    EXPECT_EQ(c.cxCmbSel()->currentIndex(), 0);
    EXPECT_EQ(c.text("labTxt"), "Frame => STX + ADDR + WHO + CR + LF");
    EXPECT_EQ(c.edtSend()->text(), "WHO");
    EXPECT_EQ(c.edtUnit()->text(), "01");
    EXPECT_EQ(c.edtUnit()->maxLength(), 2);
    EXPECT_EQ(c.edtUnit()->palette().color(QPalette::Base), QColor(Qt::red));
    EXPECT_EQ(c.edtUnit()->palette().color(QPalette::Text), QColor(Qt::yellow));
    EXPECT_TRUE(c.edtUnit()->font().bold());
    EXPECT_EQ(c.memo()->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(c.memo()->palette().color(QPalette::Text), QColor(Qt::yellow));
    EXPECT_EQ(c.memo()->toolTip(), "더블클릭하면 지워져요...^^");
    EXPECT_FALSE(c.chbAll()->isChecked());
    ASSERT_EQ(c.clsbAll()->count(), 31);
    for (int i = 0; i < 31; ++i) {
        EXPECT_EQ(c.clsbAll()->item(i)->text(), QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0')));
        EXPECT_EQ(c.clsbAll()->item(i)->checkState(), Qt::Unchecked);
    }
    EXPECT_TRUE(c.log().isEmpty());
    EXPECT_EQ(c.panel(0), "대기중");
    EXPECT_EQ(c.panel(1), line.slavePath());
    EXPECT_EQ(c.panel(2), "9600,None,8,1");
    EXPECT_EQ(c.panel(3), "200");
    EXPECT_FALSE(c.timer()->isEnabled());
    EXPECT_TRUE(c.butSetup()->isEnabled());
}

TEST_F(ConsoleFixture, StatusBarReadsTheDesignTextsBeforeShowing)
{
    TCommandF w(context);
    EXPECT_EQ(w.findChild<LinkStatusBar*>("StatusBar1")->panelText(0), "통신불량");
    EXPECT_EQ(w.findChild<QLabel*>("labTxt")->text(), "Frame => ");
    EXPECT_EQ(w.findChild<QLabel*>("labByte")->text(), "Bytes =>");
}

TEST_F(PtyConsoleFixture, SelectingACommandFillsItsTemplateAndResetsTheAddress)
{
    struct Case {
        const char* code;
        const char* frame;
        const char* bytes;
        const char* body;
    };
    const Case cases[] = {
        {"DRS", "Frame => STX+ADDR+DRS+,+읽을갯수+,+시작주소+CR+LF",
         "Bytes =>  1 +  2 + 3 +1+   2    +1+   4    + 1+ 1", "DRS,02,0001"},
        {"DRR", "Frame => STX+ADDR+DRR+,+읽을갯수+,+주소+,+주소...+CR+LF",
         "Bytes =>  1 +  2 + 3 +1+   2    +1+ 4  +1+ 4     + 1+ 1", "DRR,03,0001,0005,0002"},
        {"DWS", "Frame => STX+ADDR+DWS+,+갯수+,+시작주소+,+Data1+,+Data2...+CR+LF",
         "Bytes =>  1 +  2 + 3 +1+ 2  +1+   4    +1+  4  +1+  4  ...+ 1+ 1", "DWS,02,0301,0050,0060"},
        {"DWR", "Frame => STX+ADDR+DWR+,+갯수+,+주소1+,+Data1+,+주소2+,+Data2...+CR+LF",
         "Bytes =>  1 +  2 + 3 +1+ 2  +1+  4  +1+  4  +1+  4  +1+  4  ...+ 1+ 1",
         "DWR,02,0301,0050,0303,0060"},
        {"DMS", "Frame => STX+ADDR+DMS+,+갯수+,+주소1+,+주소2...+CR+LF",
         "Bytes =>  1 +  2 + 3 +1+ 2  +1+  4  +1+  4  ...+ 1+ 1", "DMS,03,0001,0002,0003"},
        {"DMC", "Frame => STX + ADDR + DMC + CR + LF", "Bytes =>  1  +  2   +  3  + 1  + 1", "DMC"},
        {"WHO", "Frame => STX + ADDR + WHO + CR + LF", "Bytes =>  1  +  2   +  3  + 1  + 1", "WHO"},
    };
    for (const Case& c : cases) {
        console.edtUnit()->setText("17");
        console.select(QString::fromLatin1(c.code));
        EXPECT_EQ(console.text("labTxt"), QString::fromUtf8(c.frame)) << c.code;
        EXPECT_EQ(console.text("labByte"), QString::fromUtf8(c.bytes)) << c.code;
        EXPECT_EQ(console.edtSend()->text(), QString::fromLatin1(c.body)) << c.code;
        EXPECT_EQ(console.edtUnit()->text(), "01") << c.code;
    }
    // Choosing the shown command again is a selection too.
    console.edtUnit()->setText("09");
    emit console.cxCmbSel()->activated(console.cxCmbSel()->currentIndex());
    EXPECT_EQ(console.edtUnit()->text(), "01");
}

TEST_F(PtyConsoleFixture, SingleSendPutsTheFrameOnTheLineAndLogsIt)
{
    struct Case {
        QString unit;
        QString body;
        QByteArray content;
    };
    const Case cases[] = {
        {"1", "DRS,02,0001", "01DRS,02,0001"},
        {" 7", "WHO", "07WHO"},
        {"A", "WHO", "0AWHO"},
        {"31", "DWR,02,0301,0050,0303,0060", "31DWR,02,0301,0050,0303,0060"},
        {"", "DMC", "00DMC"},
    };
    QStringList expectedLog;
    for (const Case& c : cases) {
        console.edtUnit()->setText(c.unit);
        console.edtSend()->setText(c.body);
        console.window->butSendClick();
        EXPECT_EQ(onLine(frame(c.content).size()), frame(c.content));
        expectedLog << sentLine(c.content);
    }
    EXPECT_EQ(console.log(), expectedLog);
    EXPECT_TRUE(line.readAvailable().isEmpty());
}

TEST_F(PtyConsoleFixture, TypedBodyTurnsUpperCaseAndEnterKeysSendIt)
{
    QApplication::setActiveWindow(console.window.get());
    console.edtUnit()->setFocus();
    console.edtUnit()->clear();
    QTest::keyClicks(console.edtUnit(), "123");   // the third character does not fit
    EXPECT_EQ(console.edtUnit()->text(), "12");
    QTest::keyClick(console.edtUnit(), Qt::Key_Return);
    EXPECT_TRUE(console.edtSend()->hasFocus());
    EXPECT_TRUE(line.readAvailable().isEmpty()) << "Enter in the address sends nothing";
    console.edtSend()->clear();
    QTest::keyClicks(console.edtSend(), "drs,01,0306");
    EXPECT_EQ(console.edtSend()->text(), "DRS,01,0306");
    QTest::keyClick(console.edtSend(), Qt::Key_Return);
    EXPECT_EQ(onLine(frame("12DRS,01,0306").size()), frame("12DRS,01,0306"));
    EXPECT_EQ(console.log(), QStringList{sentLine("12DRS,01,0306")});
    QTest::keyClick(console.edtSend(), Qt::Key_Escape);
    EXPECT_TRUE(console.window->isVisible()) << "Escape does not close the console";
}

TEST_F(PtyConsoleFixture, ContinuousModeVisitsTheTickedAddressesInAscendingOrder)
{
    console.tick({7, 3});
    console.startContinuous();
    EXPECT_EQ(console.butSend()->text(), "Stop");
    EXPECT_TRUE(console.timer()->isEnabled());
    EXPECT_EQ(console.timer()->interval(), 200);
    EXPECT_FALSE(console.butSetup()->isEnabled());
    EXPECT_EQ(tickAddresses(4), (QStringList{"03", "07", "03", "07"}));
    // 05 ticked mid-run joins from the next pass on.
    console.tick({5});
    EXPECT_EQ(tickAddresses(4), (QStringList{"03", "05", "07", "03"}));
    // The body is read at each tick.
    console.edtSend()->setText("DRS,01,0306");
    console.window->Timer1Timer();
    EXPECT_EQ(onLine(frame("05DRS,01,0306").size()), frame("05DRS,01,0306"));
    EXPECT_EQ(console.log().last(), sentLine("05DRS,01,0306"));
    EXPECT_EQ(console.log().size(), 9);
}

TEST_F(PtyConsoleFixture, ContinuousModeWithOneOrNoAddressTicked)
{
    console.startContinuous();
    EXPECT_EQ(tickAddresses(3), (QStringList{"-", "-", "-"}));
    EXPECT_TRUE(console.timer()->isEnabled()) << "the timer keeps running with nothing ticked";
    EXPECT_TRUE(console.log().isEmpty());
    console.tick({31});
    EXPECT_EQ(tickAddresses(3), (QStringList{"31", "31", "31"}));
}

TEST_F(PtyConsoleFixture, UncheckingChbAllStopsAtTheNextTickWithoutSending)
{
    console.tick({2});
    console.startContinuous();
    EXPECT_EQ(tickAddresses(1), QStringList{"02"});
    console.chbAll()->setChecked(false);
    EXPECT_EQ(console.butSend()->text(), "Send");
    EXPECT_TRUE(console.timer()->isEnabled());
    EXPECT_EQ(tickAddresses(1), QStringList{"-"});
    EXPECT_FALSE(console.timer()->isEnabled());
    EXPECT_TRUE(console.butSetup()->isEnabled());
    EXPECT_EQ(console.butSend()->text(), "Send");
}

TEST_F(PtyConsoleFixture, CaptionsAndStatesFollowTheCheckBoxAndTheButton)
{
    struct Step {
        const char* action;
        const char* caption;
        bool running;
    };
    const Step steps[] = {
        {"label", "Start", false}, {"send", "Stop", true},  {"send", "Start", false},
        {"send", "Stop", true},    {"box", "Send", true},   {"tick", "Send", false},
        {"box", "Start", false},   {"label", "Send", false},
    };
    for (const Step& s : steps) {
        const QByteArray action = s.action;
        if (action == "label")
            QTest::mouseClick(console.get<QLabel>("Label6"), Qt::LeftButton);
        else if (action == "box")
            console.chbAll()->click();
        else if (action == "send")
            QTest::mouseClick(console.butSend(), Qt::LeftButton);
        else
            console.window->Timer1Timer();
        EXPECT_EQ(console.butSend()->text(), s.caption) << s.action;
        EXPECT_EQ(console.timer()->isEnabled(), s.running) << s.action;
        EXPECT_EQ(console.butSetup()->isEnabled(), !s.running) << s.action;
    }
    EXPECT_TRUE(line.readAvailable().isEmpty());
}

TEST_F(ConsoleFixture, DelayThatIsNoNumberStopsTheStartWithTheConversionError)
{
    PtyPair line;
    writeIni(line.slavePath(), "abc");
    Console c = open();
    EXPECT_EQ(c.panel(3), "abc");
    c.chbAll()->setChecked(true);
    try {
        c.window->butSendClick();
        FAIL() << "continuous mode started with the delay abc";
    } catch (const KeloError& error) {
        EXPECT_EQ(error.text(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(c.butSend()->text(), "Stop");
    EXPECT_FALSE(c.timer()->isEnabled());
    EXPECT_TRUE(c.butSetup()->isEnabled());
}

TEST_F(PtyConsoleFixture, ReplyInPiecesShowsReceivingUntilItsLineFeed)
{
    line.write("\x02" "01DRS,OK");
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.panel(0) == "수신중"; }, kGuardMs));
    line.write(",0064\r");
    const ReplyAssembler& assembler = programAssembler(ReceivingWindow::Console);
    ASSERT_TRUE(QTest::qWaitFor([&] { return assembler.RxBuf().endsWith('\r'); }, kGuardMs));
    EXPECT_EQ(console.panel(0), "수신중");
    EXPECT_TRUE(console.log().isEmpty());
    line.write("\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !console.log().isEmpty(); }, kGuardMs));
    EXPECT_EQ(console.log(), QStringList{receivedLine("01DRS,OK,0064")});
    EXPECT_EQ(console.panel(0), "대기중");
    // Two replies in one piece are both logged, whatever they say.
    line.write(frame("02DRS,NG") + frame("03WHO,OK"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.log().size() == 3; }, kGuardMs));
    EXPECT_EQ(console.log().mid(1), (QStringList{receivedLine("02DRS,NG"), receivedLine("03WHO,OK")}));
}

// Noise and stray line ends between replies must neither vanish nor break
// the log's lines; the hex switch shows every byte of each frame.
TEST_F(PtyConsoleFixture, ControlBytesInRepliesAreMarkedAndTheHexSwitchShowsEveryByte)
{
    line.write("\x1b\x02" "01DRS,O\rK,00\x7f" "64\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !console.log().isEmpty(); }, kGuardMs));
    ASSERT_EQ(console.log().size(), 1);
    EXPECT_TRUE(console.log()[0].startsWith(QStringLiteral("[수신]=> ")));
    EXPECT_TRUE(console.log()[0].endsWith(QStringLiteral("<STX>01DRS,O<CR>K,00<7F>64"))) << console.log()[0].toStdString();

    console.get<QCheckBox>("chbHex")->setChecked(true);
    console.edtSend()->setText(QStringLiteral("WHO"));
    console.window->butSendClick();
    EXPECT_EQ(console.log().last(), QStringLiteral("[송신]=> 02 30 31 57 48 4F 0D 0A"));
    EXPECT_EQ(line.readAvailable(), frame("01WHO"));
    QTest::mouseClick(console.get<QPushButton>("butClearLog"), Qt::LeftButton);
    EXPECT_TRUE(console.log().isEmpty());
}

TEST_F(PtyConsoleFixture, LogKeepsItsNewestThousandLinesAndDoubleClickClearsIt)
{
    // Continuous mode at 200 ms passes 1000 lines every 100 s: the log must
    // drop its oldest line, not empty itself.
    for (int i = 1; i <= 1000; ++i) {
        console.edtSend()->setText(QStringLiteral("DRS,01,%1").arg(i, 4, 10, QLatin1Char('0')));
        console.window->butSendClick();
        if (i % 100 == 0)
            (void)line.readAvailable();
    }
    ASSERT_EQ(console.log().size(), 1000);
    console.edtSend()->setText(QStringLiteral("DRS,01,1001"));
    console.window->butSendClick();
    const QStringList log = console.log();
    ASSERT_EQ(log.size(), 1000);
    EXPECT_EQ(log.first(), sentLine("01DRS,01,0002"));
    EXPECT_EQ(log.last(), sentLine("01DRS,01,1001"));
    EXPECT_TRUE(line.readAvailable().endsWith(frame("01DRS,01,1001"))) << "the frame went out";
    QTest::mouseDClick(console.memo()->viewport(), Qt::LeftButton);
    EXPECT_TRUE(console.log().isEmpty());
}

TEST_F(ConsoleFixture, ReopenedConsoleShowsAnEmptyLogAndReadsMainIniAgain)
{
    PtyPair line;
    writeIni(line.slavePath());
    {
        Console first = open();
        first.window->butSendClick();
        ASSERT_EQ(first.log().size(), 1);
        first.window->butExitClick();
        EXPECT_FALSE(first.window->isVisible());
    }
    EXPECT_FALSE(line.slaveHeldByThisProcess()) << "the port goes with the window";
    writeBytes(dir.mainIni(), "[ComPort1]\r\nPort=" + line.slavePath().toLocal8Bit()
                                  + "\r\nBaudRate=19200\r\nStopBits=2\r\n[Delay]\r\nTime=350\r\n");
    Console second = open();
    EXPECT_TRUE(second.log().isEmpty());
    EXPECT_EQ(second.panel(2), "19200,None,8,2");
    EXPECT_EQ(second.panel(3), "350");
    EXPECT_EQ(line.line().speed, 19200);
    EXPECT_EQ(line.line().stopBits, 2);
}

TEST_F(PtyConsoleFixture, SetupButtonClosesThePortAroundTheDialogAndReopensIt)
{
    bool sawDialog = false;
    bool portHeldDuringDialog = true;
    QTimer::singleShot(0, [&] {
        auto* setup = qobject_cast<TSetupF*>(QApplication::activeModalWidget());
        ASSERT_NE(setup, nullptr);
        sawDialog = true;
        portHeldDuringDialog = line.slaveHeldByThisProcess() || console.port()->Connected();
        setup->findChild<TComComboBox*>("ComComboBox2")->setText("19200");
        setup->findChild<QLineEdit*>("edtSec")->setText("500");
        setup->butSaveClick();
    });
    console.window->butSetupClick();
    EXPECT_TRUE(sawDialog);
    EXPECT_FALSE(portHeldDuringDialog);
    EXPECT_TRUE(console.port()->Connected());
    EXPECT_EQ(console.panel(0), "대기중");
    EXPECT_EQ(console.panel(2), "19200,None,8,1");
    EXPECT_EQ(console.panel(3), "500");
    EXPECT_EQ(line.line().speed, 19200);
    console.window->butSendClick();
    EXPECT_EQ(onLine(frame("01WHO").size()), frame("01WHO"));
    // The next run takes its interval from the new delay.
    console.startContinuous();
    EXPECT_EQ(console.timer()->interval(), 500);
}

TEST_F(ConsoleFixture, WhoSentToTheSimulatorIsAnsweredAndLogged)
{
    SimServer::Options options;
    options.addresses = {1, 2};
    SimServer sim(options);
    QString error;
    ASSERT_TRUE(sim.start(&error)) << error.toStdString();
    QSignalSpy exchanged(&sim, &SimServer::exchanged);
    writeIni(sim.port().devicePath());
    Console c = open();
    ASSERT_TRUE(c.port()->Connected());
    c.edtUnit()->setText("2");
    c.window->butSendClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.log().size() == 2; }, kGuardMs));
    ASSERT_EQ(exchanged.size(), 1);
    EXPECT_EQ(exchanged.at(0).at(0).toByteArray(), frame("02WHO"));
    const QByteArray reply = exchanged.at(0).at(1).toByteArray();
    EXPECT_TRUE(reply.startsWith("\x02" "02WHO,OK")) << reply.constData();
    EXPECT_EQ(c.log(), (QStringList{sentLine("02WHO"), receivedLine(reply.chopped(2).mid(1))}));
    EXPECT_EQ(c.panel(0), "대기중");
}

TEST_F(ConsoleFixture, PortThatCannotOpenIsReportedOnceAndEverySingleSendFails)
{
    writeIni(dir.file("no-such-device"));
    Console c = open();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text.section('\n', 0, 0), "통신 불량");
    EXPECT_EQ(dialogs.messages[0].caption, "경고");
    EXPECT_EQ(dialogs.messages[0].style, 16);
    EXPECT_EQ(c.panel(0), "ERROR");
    for (int i = 0; i < 2; ++i) {
        try {
            c.window->butSendClick();
            FAIL() << "a send on a closed port succeeded";
        } catch (const KeloError& error) {
            EXPECT_TRUE(error.text().startsWith("WriteFile function failed")) << error.text().toStdString();
        }
    }
    EXPECT_TRUE(c.log().isEmpty());
}

TEST_F(ConsoleFixture, ContinuousFailuresShowOneErrorBoxPerRunAndTheRestInThePanel)
{
    writeIni(dir.file("no-such-device"));
    Console c = open();
    c.tick({1, 2});
    c.startContinuous();
    for (int i = 0; i < 5; ++i)
        c.window->Timer1Timer();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << "the box opens once the tick has returned";
    QCoreApplication::processEvents();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("WriteFile function failed"));
    EXPECT_EQ(c.panel(0), "ERROR");
    EXPECT_TRUE(c.timer()->isEnabled());
    EXPECT_TRUE(c.log().isEmpty());
    c.window->butSendClick();   // stop
    c.window->butSendClick();   // a new run
    c.window->Timer1Timer();
    c.window->Timer1Timer();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.errors.size(), 2);
}

TEST_F(ConsoleFixture, ContinuousSendingResumesByItselfWhenTheLinkIsBack)
{
    QTemporaryDir links;
    SimServer::Options options;
    options.addresses = {3};
    options.port.link = links.filePath("kelo-line");
    options.faults.vanishForMs = 600000; // the test brings it back
    SimServer sim(options);
    QString error;
    ASSERT_TRUE(sim.start(&error)) << error.toStdString();
    QSignalSpy exchanged(&sim, &SimServer::exchanged);
    writeIni(options.port.link);
    Console c = open();
    ASSERT_TRUE(c.port()->Connected());
    c.tick({3});
    c.startContinuous();
    c.window->Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return exchanged.size() == 1; }, kGuardMs));

    QSignalSpy lost(c.port(), &TComPort::linkLost);
    sim.vanish();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost.size() == 1; }, kGuardMs));
    EXPECT_EQ(c.panel(0), "ERROR");
    for (int i = 0; i < 4; ++i)
        c.window->Timer1Timer();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.errors.size(), 1) << dialogs.errors.join(" | ").toStdString();
    EXPECT_EQ(c.panel(0), "ERROR");
    try {
        c.chbAll()->setChecked(false);
        c.window->butSendClick();
        FAIL() << "a single send on a lost link succeeded";
    } catch (const KeloError& error) {
        EXPECT_TRUE(error.text().startsWith("WriteFile function failed"));
    }
    c.chbAll()->setChecked(true);

    ASSERT_TRUE(sim.reappear());
    c.port()->retryOpen();
    ASSERT_FALSE(c.port()->LinkLost());
    EXPECT_EQ(c.panel(0), "대기중");
    c.window->Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return exchanged.size() == 2; }, kGuardMs));
    EXPECT_EQ(exchanged.at(1).at(0).toByteArray(), frame("03WHO"));
    EXPECT_EQ(dialogs.errors.size(), 1);
}

// Nobody is at the console: the line goes, and comes back while the error box
// waits. The run's own timer keeps sending all along, in turn to every ticked
// address, and the box stays the only one.
TEST_F(ConsoleFixture, ContinuousSendingKeepsItsRhythmWhileTheErrorBoxWaits)
{
    QTemporaryDir links;
    SimServer::Options options;
    options.addresses = {3, 5};
    options.port.link = links.filePath("kelo-line");
    options.faults.vanishForMs = 600000; // the test brings it back
    SimServer sim(options);
    QString error;
    ASSERT_TRUE(sim.start(&error)) << error.toStdString();
    QSignalSpy exchanged(&sim, &SimServer::exchanged);
    writeIni(options.port.link, "50");
    Console c = open();
    ASSERT_TRUE(c.port()->Connected());
    c.tick({3, 5});
    c.startContinuous(); // the console's own timer paces the run
    ASSERT_TRUE(QTest::qWaitFor([&] { return exchanged.size() >= 2; }, kGuardMs));

    qsizetype openedAt = -1;
    HeldBoxes boxes(dialogs, [&](const QString&) {
        openedAt = exchanged.size();
        EXPECT_EQ(c.panel(0), "ERROR");
        EXPECT_TRUE(sim.reappear());
        return HeldBoxes::moreSignals({&exchanged}, 8);
    });
    sim.vanish();
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.held == 1; }, 3 * kGuardMs));

    ASSERT_GE(exchanged.size(), openedAt + 8);
    QByteArray previous;
    for (qsizetype i = openedAt; i < exchanged.size(); ++i) {
        const QByteArray request = exchanged.at(i).at(0).toByteArray();
        EXPECT_TRUE(request == frame("03WHO") || request == frame("05WHO")) << request.constData();
        EXPECT_NE(request, previous) << "frame " << i << " went to the same address twice";
        previous = request;
    }
    ASSERT_EQ(dialogs.errors.size(), 1) << dialogs.errors.join(" | ").toStdString();
    EXPECT_TRUE(dialogs.errors[0].startsWith("WriteFile function failed"));
    EXPECT_TRUE(c.timer()->isEnabled());
    EXPECT_EQ(c.butSend()->text(), "Stop");
}
