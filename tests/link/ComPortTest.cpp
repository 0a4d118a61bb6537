#include "link/ComPort.h"
#include "link/FrameProtocol.h"
#include "link/LineTermios.h"
#include "link/ReplyAssembler.h"
#include "settings/KeloError.h"
#include "tests/link/PtyPair.h"
#include "tests/link/QtPrinters.h"
#include "tests/support/EventWait.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>

namespace {

struct OpenLine {
    PtyPair pty;
    TComPort port;

    explicit OpenLine(const TComPortSettings& settings = {})
    {
        port.setObjectName("ComPort1");
        port.settings() = settings;
        port.settings().Port = pty.slavePath();
        port.OpenPort();
    }
};

// Writes may take 100 ms, however many bytes.
TComPortSettings writeBound100ms()
{
    TComPortSettings settings;
    settings.Timeouts.WriteTotalConstant = 100;
    settings.Timeouts.WriteTotalMultiplier = 0;
    return settings;
}

QString errorText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const KeloError& error) {
        return error.text();
    }
    return {};
}

// A window's receive handler: one ReadText per notification, with its Count.
struct Receiver {
    TComPort& port;
    ReplyAssembler assembler;
    QList<int> counts;
    QList<QByteArray> reads;
    QList<QByteArray> frames;

    explicit Receiver(TComPort& p) : port(p)
    {
        QObject::connect(&port, &TComPort::OnRxChar, [this](QObject* sender, int count) {
            EXPECT_EQ(sender, &port);
            counts.append(count);
            const QByteArray bytes = port.ReadText(count);
            reads.append(bytes);
            frames += assembler.Feed(bytes);
        });
    }
};

// Runs the event loop until the receiver has seen n notifications.
bool waitForReads(Receiver& receiver, int n)
{
    return QTest::qWaitFor([&] { return receiver.reads.size() >= n; }, 5000);
}

} // namespace

// A port error as the operator reads it: the wording, the code and the
// system's description of the code.
QString described(const char* text, int code)
{
    return QStringLiteral("%1 (win error code: %2): %3")
        .arg(QLatin1String(text))
        .arg(code)
        .arg(QString::fromLocal8Bit(std::strerror(code)));
}

TEST(ComPort, SendTextPutsTheFrameOnTheLine)
{
    OpenLine line;
    const QByteArray frame = BuildRequest("5", "WHO");
    EXPECT_EQ(line.port.SendText(frame), 8);
    EXPECT_EQ(line.pty.read(8), QByteArray::fromHex("02303557484F0D0A"));
    EXPECT_EQ(line.port.SendText(QByteArray()), 0);
    EXPECT_EQ(line.port.SendText(QStringLiteral("\x02" "01DRS,01,0306\r\n")), 16);
    EXPECT_EQ(line.pty.read(16), "\x02" "01DRS,01,0306\r\n");
    EXPECT_EQ(line.pty.readAvailable(), "");
}

TEST(ComPort, LineSettingsAsTheDeviceSeesThem)
{
    struct Case {
        const char* name;
        std::function<void(TComPortSettings&)> set;
        PtyPair::Line expected;
    };
    const auto line = [](int speed, int stop = 1) {
        PtyPair::Line l;
        l.speed = speed;
        l.stopBits = stop;
        l.xonChar = 17;
        l.xoffChar = 19;
        l.raw = true;
        return l;
    };
    const auto parity = [&](bool odd, bool mark) {
        PtyPair::Line l = line(9600);
        l.parOdd = odd;
        l.cmSpar = mark;
        return l;
    };
    PtyPair::Line hardware = line(9600);
    hardware.crtscts = true;
    PtyPair::Line software = line(9600);
    software.ixon = software.ixoff = true;
    PtyPair::Line otherChars = software;
    otherChars.xonChar = 0x31;
    otherChars.xoffChar = 0x33;
    const Case cases[] = {
        {"9600 8N1 by default", [](TComPortSettings&) {}, line(9600)},
        {"custom 1000", [](TComPortSettings& s) { s.BaudRate = brCustom; s.CustomBaudRate = 1000; }, line(1000)},
        {"14400 has no B constant", [](TComPortSettings& s) { s.BaudRate = br14400; }, line(14400)},
        {"115200", [](TComPortSettings& s) { s.BaudRate = br115200; }, line(115200)},
        {"110", [](TComPortSettings& s) { s.BaudRate = br110; }, line(110)},
        {"odd", [](TComPortSettings& s) { s.Parity = prOdd; }, parity(true, false)},
        {"even", [](TComPortSettings& s) { s.Parity = prEven; }, parity(false, false)},
        {"mark", [](TComPortSettings& s) { s.Parity = prMark; }, parity(true, true)},
        {"space", [](TComPortSettings& s) { s.Parity = prSpace; }, parity(false, true)},
        {"5 data bits 1.5 stop", [](TComPortSettings& s) { s.DataBits = dbFive; s.StopBits = sbOne5StopBits; },
         line(9600, 2)},
        {"2 stop", [](TComPortSettings& s) { s.StopBits = sbTwoStopBits; }, line(9600, 2)},
        {"Hardware", [](TComPortSettings& s) { s.FlowControl.setComposite(fcHardware); }, hardware},
        {"Hardware with RTS toggled",
         [](TComPortSettings& s) { s.FlowControl.setComposite(fcHardware); s.FlowControl.ControlRTS = rtsToggle; },
         hardware},
        {"Software", [](TComPortSettings& s) { s.FlowControl.setComposite(fcSoftware); }, software},
        {"XON/XOFF characters",
         [](TComPortSettings& s) {
             s.FlowControl.setComposite(fcSoftware);
             s.FlowControl.XonChar = 0x31;
             s.FlowControl.XoffChar = 0x33;
         },
         otherChars},
    };
    for (const Case& c : cases) {
        TComPortSettings settings;
        c.set(settings);
        OpenLine open(settings);
        const PtyPair::Line seen = open.pty.line();
        EXPECT_EQ(seen.speed, c.expected.speed) << c.name;
        EXPECT_EQ(seen.parOdd, c.expected.parOdd) << c.name;
        EXPECT_EQ(seen.cmSpar, c.expected.cmSpar) << c.name;
        EXPECT_EQ(seen.stopBits, c.expected.stopBits) << c.name;
        EXPECT_EQ(seen.crtscts, c.expected.crtscts) << c.name;
        EXPECT_EQ(seen.ixon, c.expected.ixon) << c.name;
        EXPECT_EQ(seen.ixoff, c.expected.ixoff) << c.name;
        EXPECT_EQ(seen.xonChar, c.expected.xonChar) << c.name;
        EXPECT_EQ(seen.xoffChar, c.expected.xoffChar) << c.name;
        EXPECT_TRUE(seen.raw) << c.name;
        // A pseudo-terminal has no modem lines; DTR and RTS were skipped.
        EXPECT_FALSE(open.port.hasModemLines()) << c.name;
    }
}

// What a pseudo-terminal cannot show: the data bits and parity asked of a UART.
TEST(ComPort, DataBitsAndParityAskedOfTheDriver)
{
    struct Case {
        TDataBits data;
        TParityBits parity;
        tcflag_t size;
        tcflag_t parityFlags;
    };
    const Case cases[] = {
        {dbFive, prNone, CS5, 0},
        {dbSix, prOdd, CS6, PARENB | PARODD},
        {dbSeven, prEven, CS7, PARENB},
        {dbEight, prMark, CS8, PARENB | PARODD | CMSPAR},
        {dbEight, prSpace, CS8, PARENB | CMSPAR},
    };
    for (const Case& c : cases) {
        TComPortSettings settings;
        settings.DataBits = c.data;
        settings.Parity = c.parity;
        termios before{};
        before.c_cflag = CS8 | PARENB | PARODD | CMSPAR | CSTOPB; // left over from another program
        before.c_iflag = INPCK | ISTRIP | IGNPAR | IXANY;
        const termios t = SerialLine::LineTermios(before, settings);
        EXPECT_EQ(t.c_cflag & CSIZE, c.size) << c.data;
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags) << c.parity;
        EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        // Binary line: no parity checking, stripping or replacement.
        EXPECT_EQ(t.c_iflag & (INPCK | ISTRIP | IGNPAR | PARMRK | IXANY), 0u);
        EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    }
}

TEST(ComPort, WriteHeldBackByTheFarEndStopsAtItsBoundAndCountsWhatWentOut)
{
    OpenLine line(writeBound100ms());
    // The far end reads nothing, so the line fills up and holds the rest back.
    const QByteArray big(4 << 20, 'x');
    const int written = line.port.SendText(big);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, big.size());
    // Exactly the counted bytes arrive, and nothing of the rest comes later.
    EXPECT_EQ(line.pty.read(written).size(), written);
    EXPECT_EQ(line.port.SendText(QByteArray("\x02" "01WHO\r\n")), 8);
    EXPECT_EQ(line.pty.read(9, 1000), "\x02" "01WHO\r\n");
}

// postText hands the frame over without waiting: the rest leaves from the
// event loop, one frame at a time, and what is left at the bound is dropped.
TEST(ComPort, PostedWriteLeavesFromTheEventLoopAndStopsAtItsBound)
{
    OpenLine line(writeBound100ms());
    const QByteArray big(4 << 20, 'x');
    const QByteArray frame("\x02" "01WHO\r\n");
    EXPECT_EQ(line.port.postText(big), big.size());
    EXPECT_TRUE(line.port.writing());
    EXPECT_EQ(line.port.postText(frame), 0) << "the frame before is still leaving";
    ASSERT_TRUE(waitUntil([&] { return !line.port.writing(); }));
    QByteArray arrived = line.pty.readAvailable();
    EXPECT_EQ(line.port.postText(frame), frame.size());
    ASSERT_TRUE(waitUntil([&] { return (arrived += line.pty.readAvailable()).endsWith(frame); }));
    EXPECT_LT(arrived.size(), big.size() + frame.size());
}

TEST(ComPort, ReplyInThreeNotificationsReachesTheAssemblerInThreeReads)
{
    OpenLine line;
    Receiver receiver(line.port);
    const QByteArray pieces[] = {"\x02" "01DR", "S,OK,00", "64\r\n"};
    for (int i = 0; i < 3; ++i) {
        line.pty.write(pieces[i]);
        ASSERT_TRUE(waitForReads(receiver, i + 1)) << i;
        EXPECT_EQ(receiver.frames.isEmpty(), i < 2) << i;
    }
    EXPECT_EQ(receiver.counts, QList<int>({5, 7, 4}));
    EXPECT_EQ(receiver.reads, QList<QByteArray>(std::begin(pieces), std::end(pieces)));
    EXPECT_EQ(receiver.frames, QList<QByteArray>{"\x02" "01DRS,OK,0064\r\n"});
}

TEST(ComPort, ReadTextTakesAtMostCountAndNeverWaits)
{
    OpenLine line;
    Receiver receiver(line.port);
    line.pty.write("\x02" "01WHO,OK\r\n");
    ASSERT_TRUE(waitForReads(receiver, 1));
    EXPECT_EQ(line.port.ReadText(100), "") << "nothing is waiting: back at once, empty";
    QObject::disconnect(&line.port, &TComPort::OnRxChar, nullptr, nullptr);
    QSignalSpy notified(&line.port, &TComPort::OnRxChar);
    line.pty.write("abcdef");
    ASSERT_TRUE(notified.wait(5000));
    EXPECT_EQ(notified.first().at(1).toInt(), 6);
    EXPECT_EQ(line.port.ReadText(4), "abcd");
    EXPECT_EQ(line.port.ReadText(10), "ef");
}

TEST(ComPort, ClosedPortRefusesTransfersAndCloseReleasesTheDevice)
{
    OpenLine line;
    EXPECT_TRUE(line.port.Connected());
    EXPECT_TRUE(line.pty.slaveHeldByThisProcess());
    line.port.OpenPort(); // already connected: nothing happens
    line.port.ClosePort();
    EXPECT_FALSE(line.port.Connected());
    EXPECT_FALSE(line.pty.slaveHeldByThisProcess());
    line.port.ClosePort(); // not connected: nothing happens
    EXPECT_EQ(errorText([&] { line.port.SendText(QByteArray("x")); }),
              described("WriteFile function failed", 9));
    EXPECT_EQ(errorText([&] { line.port.ReadText(1); }), described("ReadFile function failed", 9));
    EXPECT_EQ(line.pty.readAvailable(), "");
    line.port.OpenPort();
    EXPECT_EQ(line.port.SendText(QByteArray("again")), 5);
    EXPECT_EQ(line.pty.read(5), "again");
}

TEST(ComPort, OpenFailuresLeaveThePortClosed)
{
    TComPort port;
    port.settings().Port = "/dev/kelo-no-such-device";
    EXPECT_EQ(errorText([&] { port.OpenPort(); }), described("Unable to open com port", 2));
    EXPECT_FALSE(port.Connected());

    // A name that is not a path names a device under /dev.
    port.settings().Port = "kelo-no-such-tty";
    EXPECT_EQ(TComPort::devicePath(port.settings().Port), "/dev/kelo-no-such-tty");
    EXPECT_EQ(errorText([&] { port.OpenPort(); }), described("Unable to open com port", 2));

    // Held by another port object.
    OpenLine held;
    port.settings().Port = held.pty.slavePath();
    EXPECT_EQ(errorText([&] { port.OpenPort(); }), described("Unable to open com port", 16));
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(held.port.SendText(QByteArray("ok")), 2);
    EXPECT_EQ(held.pty.read(2), "ok");

    // Line parameters the device refuses.
    PtyPair pty;
    TComPort refused;
    refused.settings().Port = pty.slavePath();
    refused.settings().BaudRate = brCustom;
    refused.settings().CustomBaudRate = 0;
    EXPECT_EQ(errorText([&] { refused.OpenPort(); }), described("SetCommState function failed", 22));
    EXPECT_FALSE(refused.Connected());
    EXPECT_FALSE(pty.slaveHeldByThisProcess());
}

TEST(ComPort, VanishedDeviceIsReportedOnceReleasedAndResumesAtTheSamePath)
{
    VanishingDevice device;
    TComPort port;
    port.settings().Port = device.path();
    port.OpenPort();
    Receiver receiver(port);
    QSignalSpy lost(&port, &TComPort::linkLost);
    QSignalSpy resumed(&port, &TComPort::linkResumed);

    const QString gonePath = device.pty().slavePath();
    device.vanish();
    ASSERT_TRUE(lost.wait(5000));
    EXPECT_TRUE(lost.first().at(0).toString().startsWith("ReadFile function failed"));
    EXPECT_TRUE(port.LinkLost());
    EXPECT_TRUE(port.Connected());
    // Released: nothing is left to raise errors in a loop.
    EXPECT_FALSE(device.pty().slaveHeldByThisProcess()) << gonePath.toStdString();
    QTest::qWait(50);
    EXPECT_EQ(lost.count(), 1);
    // Sends while lost write nothing and raise nothing.
    EXPECT_EQ(port.SendText(QByteArray("lost")), 0);
    EXPECT_EQ(port.ReadText(10), "");

    // The device is not back yet: a reopen attempt keeps waiting.
    port.retryOpen();
    EXPECT_TRUE(port.LinkLost());
    EXPECT_EQ(resumed.count(), 0);

    device.comeBack();
    port.retryOpen();
    EXPECT_FALSE(port.LinkLost());
    EXPECT_EQ(resumed.count(), 1);
    EXPECT_EQ(lost.count(), 1);

    EXPECT_EQ(port.SendText(BuildRequest("1", "WHO")), 8);
    EXPECT_EQ(device.pty().read(8), "\x02" "01WHO\r\n");
    device.pty().write("\x02" "01WHO,OK\r\n");
    ASSERT_TRUE(waitForReads(receiver, 1));
    EXPECT_EQ(receiver.frames, QList<QByteArray>{"\x02" "01WHO,OK\r\n"});

    // Losing it again is reported again, once.
    device.vanish();
    ASSERT_TRUE(lost.wait(5000));
    EXPECT_EQ(lost.count(), 2);
    port.ClosePort();
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(port.LinkLost());
}

TEST(ComPort, ReopenTimerBringsTheLinkBackByItself)
{
    VanishingDevice device;
    TComPort port;
    port.settings().Port = device.path();
    port.OpenPort();
    QSignalSpy lost(&port, &TComPort::linkLost);
    QSignalSpy resumed(&port, &TComPort::linkResumed);
    device.vanish();
    ASSERT_TRUE(lost.wait(5000));
    device.comeBack();
    // Real reopening by the port's own once-a-second timer.
    ASSERT_TRUE(resumed.wait(5000));
    EXPECT_EQ(port.SendText(QByteArray("back")), 4);
    EXPECT_EQ(device.pty().read(4), "back");
}

TEST(ComPort, ErrorEscapingTheReceiveHandlerStopsNotificationsAndSaysWhy)
{
    OpenLine line;
    int calls = 0;
    QObject::connect(&line.port, &TComPort::OnRxChar, [&](QObject*, int) {
        ++calls;
        throw KeloError("handler failed");
    });
    QSignalSpy stopped(&line.port, &TComPort::receiveStopped);
    line.pty.write("x");
    ASSERT_TRUE(stopped.wait(5000));
    EXPECT_EQ(stopped.first().at(0).toString(), "handler failed");
    line.pty.write("y");
    QTest::qWait(50);
    EXPECT_EQ(calls, 1);
    // Sending goes on; closing and opening again resumes notifications.
    EXPECT_EQ(line.port.SendText(QByteArray("s")), 1);
    line.port.ClosePort();
    line.port.OpenPort();
    QObject::disconnect(&line.port, &TComPort::OnRxChar, nullptr, nullptr);
    QSignalSpy notified(&line.port, &TComPort::OnRxChar);
    line.pty.write("z");
    ASSERT_TRUE(notified.wait(5000));
}
