#include "link/ComComboBoxP.h"
#include "link/ComPort.h"
#include "link/LinkStatusBarP.h"
#include "link/PortErrors.h"
#include "link/PortNames.h"
#include "settings/FuncP.h"
#include "settings/KeloError.h"
#include "tests/link/PtyPair.h"
#include "tests/link/QtPrinters.h"
#include "tests/support/EventWait.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"

#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A window as the console and the monitoring window hold the link: its port
// ComPort1 and its status bar StatusBar1.
struct LinkWindow {
    ProgramDir dir;
    ScriptedDialogs dialogs;
    AppContext context{dialogs};
    QWidget window;
    TComPort* port = new TComPort(&window);
    LinkStatusBar* bar;

    explicit LinkWindow(LinkStatusBar::Design design = LinkStatusBar::Design::Console)
        : bar(new LinkStatusBar(design, &window))
    {
        port->setObjectName("ComPort1");
    }

    bool open() { return OpenComPort(&window, *port, *bar, context); }
    QStringList panels() const
    {
        QStringList texts;
        for (int i = 0; i < LinkStatusBar::kPanelCount; ++i)
            texts << bar->panelText(i);
        return texts;
    }
    void writeIni(const QByteArray& bytes) const { writeBytes(dir.mainIni(), bytes); }
};

const QByteArray kFreshIni = "[ComPort1]\r\nPort=COM1\r\nBaudRate=9600\r\nParity=None\r\nDataBits=8\r\n"
                             "StopBits=1\r\nFlowControl=fcCustom\r\n[Delay]\r\nTime=200\r\n";

void expectOneOpenFailureBox(const ScriptedDialogs& dialogs, size_t count = 1)
{
    ASSERT_EQ(dialogs.messages.size(), count);
    for (const ScriptedDialogs::Message& m : dialogs.messages) {
        EXPECT_EQ(m.text.section('\n', 0, 0), QStringLiteral("통신 불량"));
        EXPECT_TRUE(m.text.section('\n', 1).startsWith(QStringLiteral("Unable to open com port (win error code: ")))
            << m.text.toStdString();
        EXPECT_EQ(m.caption, QStringLiteral("경고"));
        EXPECT_EQ(m.style, 16);
    }
}

} // namespace

TEST(OpenComPort, FreshMainIniGetsItsDefaultsInOrder)
{
    LinkWindow w;
    EXPECT_FALSE(w.open()); // no COM1 on this machine
    EXPECT_EQ(readBytes(w.dir.mainIni()), kFreshIni);
    EXPECT_EQ(w.panels(), QStringList({"ERROR", "COM1", "9600,None,8,1", "200", ""}));
    expectOneOpenFailureBox(w.dialogs);
    EXPECT_EQ(w.port->settings().Port, "COM1");
    EXPECT_FALSE(w.port->Connected());
}

TEST(OpenComPort, OpensTheConfiguredDeviceAtItsSettings)
{
    struct Case {
        const char* name;
        QByteArray keys;
        QString panel2;
        int speed;
        bool crtscts;
    };
    const Case cases[] = {
        {"defaults", "", "9600,None,8,1", 9600, false},
        {"unknown rate shown as stored, line at 9600", "BaudRate=9601\r\n", "9601,None,8,1", 9600, false},
        {"custom rate", "BaudRate=custom\r\nCustomBaudRate=1000\r\n", "custom,None,8,1", 1000, false},
        {"custom without its rate", "BaudRate=CUSTOM\r\n", "CUSTOM,None,8,1", 9600, false},
        {"Hardware flow", "FlowControl=Hardware\r\n", "9600,None,8,1", 9600, true},
        {"texts as stored", "BaudRate=19200\r\nParity=even\r\nDataBits=7\r\nStopBits=2\r\n", "19200,even,7,2",
         19200, false},
    };
    for (const Case& c : cases) {
        PtyPair pty;
        LinkWindow w;
        w.writeIni("[ComPort1]\r\nPort=" + pty.slavePath().toLatin1() + "\r\n" + c.keys + "[Delay]\r\nTime=50\r\n");
        EXPECT_TRUE(w.open()) << c.name;
        EXPECT_EQ(w.panels(), QStringList({"대기중", pty.slavePath(), c.panel2, "50", ""})) << c.name;
        EXPECT_TRUE(w.dialogs.messages.empty()) << c.name;
        EXPECT_EQ(pty.line().speed, c.speed) << c.name;
        EXPECT_EQ(pty.line().crtscts, c.crtscts) << c.name;
        // RTS toggles whatever the stored flow control was.
        EXPECT_EQ(w.port->settings().FlowControl.ControlRTS, rtsToggle) << c.name;
        EXPECT_TRUE(w.port->Connected()) << c.name;
        EXPECT_EQ(w.port->SendText(QByteArray("\x02" "01WHO\r\n")), 8) << c.name;
        EXPECT_EQ(pty.read(8), "\x02" "01WHO\r\n") << c.name;
    }
}

TEST(OpenComPort, MissingOrHeldDeviceShowsOneBoxAndErrorAndTriesAgainWhenReopened)
{
    PtyPair pty;
    TComPort holder;
    holder.settings().Port = pty.slavePath();
    holder.OpenPort();
    const QByteArray ports[] = {"ttyKeloMissing", pty.slavePath().toLatin1()};
    for (const QByteArray& port : ports) {
        LinkWindow w(LinkStatusBar::Design::Monitoring);
        w.writeIni("[ComPort1]\r\nPort=" + port + "\r\n");
        EXPECT_FALSE(w.open()) << port.toStdString();
        expectOneOpenFailureBox(w.dialogs);
        EXPECT_EQ(w.bar->panelText(0), "ERROR");
        EXPECT_EQ(w.bar->panelText(1), QString::fromLatin1(port));
        EXPECT_EQ(w.bar->panelText(4), "=> Stop");
        // The settings button closes (nothing to close) and opens again: a new try.
        w.port->ClosePort();
        EXPECT_FALSE(w.open());
        expectOneOpenFailureBox(w.dialogs, 2);
    }
    // Once the holder lets go, the same window's next try succeeds.
    LinkWindow w;
    w.writeIni("[ComPort1]\r\nPort=" + pty.slavePath().toLatin1() + "\r\n");
    EXPECT_FALSE(w.open());
    holder.ClosePort();
    EXPECT_TRUE(w.open());
    EXPECT_EQ(w.bar->panelText(0), "대기중");
}

TEST(OpenComPort, UnwritableSettingsFileTravelsOnAndLeavesThePortClosed)
{
    LinkWindow w;
    ASSERT_TRUE(QDir().mkpath(w.dir.mainIni())); // a folder where the file should be
    try {
        w.open();
        FAIL() << "no error";
    } catch (const KeloError& error) {
        EXPECT_EQ(error.text(), "Unable to write to " + w.dir.mainIni());
    }
    EXPECT_FALSE(w.port->Connected());
    EXPECT_TRUE(w.dialogs.messages.empty());
}

TEST(OpenComPort, PanelZeroFollowsALostAndReturnedDevice)
{
    VanishingDevice device;
    LinkWindow w;
    w.writeIni("[ComPort1]\r\nPort=" + device.path().toLocal8Bit() + "\r\n");
    ASSERT_TRUE(w.open());
    w.open(); // reopened around the settings dialog: still one watch
    QSignalSpy lost(w.port, &TComPort::linkLost);
    device.vanish();
    ASSERT_TRUE(lost.wait(5000));
    EXPECT_EQ(w.bar->panelText(0), "ERROR");
    EXPECT_TRUE(w.dialogs.messages.empty()) << "the loss shows in the panel, not in a box per error";
    device.comeBack();
    w.port->retryOpen();
    EXPECT_EQ(w.bar->panelText(0), "대기중");
}

TEST(OpenComPort, ReceiveHandlerFailureIsShownOnce)
{
    PtyPair pty;
    LinkWindow w;
    w.writeIni("[ComPort1]\r\nPort=" + pty.slavePath().toLatin1() + "\r\n");
    ASSERT_TRUE(w.open());
    w.port->ClosePort();
    ASSERT_TRUE(w.open());
    QObject::connect(w.port, &TComPort::OnRxChar, [](QObject*, int) { throw KeloError("disk full"); });
    QSignalSpy stopped(w.port, &TComPort::receiveStopped);
    pty.write("x");
    ASSERT_TRUE(stopped.wait(5000));
    EXPECT_TRUE(w.dialogs.errors.isEmpty()) << "the box waits for the port's handler to return";
    ASSERT_TRUE(waitUntil([&] { return !w.dialogs.errors.isEmpty(); }));
    EXPECT_EQ(w.dialogs.errors, QStringList{"disk full"});
}

TEST(OpenComPortShort, LoadsAndOpensWithoutWritingOrPanels)
{
    {
        ProgramDir dir;
        ScriptedDialogs dialogs;
        AppContext context{dialogs};
        TComPort port;
        port.setObjectName("ComPort1");
        EXPECT_FALSE(OpenComPortShort(nullptr, port, context));
        EXPECT_FALSE(QFile::exists(dir.mainIni())) << "writes no defaults";
        expectOneOpenFailureBox(dialogs);
    }
    PtyPair pty;
    ProgramDir dir;
    const QByteArray ini = "[ComPort1]\r\nPort=" + pty.slavePath().toLatin1() + "\r\nBaudRate=4800\r\n";
    writeBytes(dir.mainIni(), ini);
    ScriptedDialogs dialogs;
    AppContext context{dialogs};
    TComPort port;
    port.setObjectName("ComPort1");
    port.settings().FlowControl.setComposite(fcHardware);
    EXPECT_TRUE(OpenComPortShort(nullptr, port, context));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(readBytes(dir.mainIni()), ini);
    EXPECT_EQ(pty.line().speed, 4800);
    EXPECT_EQ(port.settings().FlowControl.ControlRTS, rtsToggle);
    EXPECT_TRUE(pty.line().crtscts) << "a key missing from Main.ini leaves the object's value";
}

TEST(LinkStatusBar, DesignTextsAndPanelLayout)
{
    QWidget window;
    LinkStatusBar console(LinkStatusBar::Design::Console, &window);
    LinkStatusBar monitoring(LinkStatusBar::Design::Monitoring, &window);
    EXPECT_EQ(console.objectName(), "StatusBar1");
    const QStringList consoleTexts{"통신불량", "COM1", "9600,N,8,1", "200", ""};
    const QStringList monitoringTexts{"대기중", "COM1", "9600,N,8,1", "200", "=> Stop"};
    const int widths[] = {70, 70, 100, 50, 50};
    for (int i = 0; i < LinkStatusBar::kPanelCount; ++i) {
        EXPECT_EQ(console.panelText(i), consoleTexts.at(i)) << i;
        EXPECT_EQ(monitoring.panelText(i), monitoringTexts.at(i)) << i;
        EXPECT_EQ(console.panel(i)->minimumWidth(), widths[i]) << i;
        EXPECT_EQ(console.panel(i)->alignment().testFlag(Qt::AlignHCenter), i < 4) << i;
        EXPECT_EQ(console.panel(i)->frameShape() == QFrame::NoFrame, i == 4) << i;
    }
}

TEST(TComComboBox, PropertyFillsTheListAndTextSelects)
{
    struct Case {
        TComProperty property;
        QStringList items;
    };
    const Case cases[] = {
        {cpNone, {}},
        {cpBaudRate, BaudRateTexts()},
        {cpDataBits, {"5", "6", "7", "8"}},
        {cpStopBits, {"1", "1.5", "2"}},
        {cpParity, {"None", "Odd", "Even", "Mark", "Space"}},
        {cpFlowControl, {"Hardware", "Software", "None", "Custom"}},
    };
    for (const Case& c : cases) {
        TComComboBox box;
        box.setComProperty(c.property);
        QStringList items;
        for (int i = 0; i < box.count(); ++i)
            items << box.itemText(i);
        EXPECT_EQ(items, c.items) << c.property;
        EXPECT_EQ(box.Text(), c.items.value(0)) << c.property;
        EXPECT_FALSE(box.isEditable());
    }
    TComComboBox parity;
    parity.setComProperty(cpParity);
    parity.setText("mArK");
    EXPECT_EQ(parity.Text(), "Mark");
    parity.setText("Sometimes");
    EXPECT_EQ(parity.Text(), "Mark");
    parity.setComProperty(cpNone);
    EXPECT_EQ(parity.Text(), "");
    EXPECT_EQ(BaudRateTexts().size(), 16);
}

TEST(PortNames, ConfiguredDeviceIsListedAndNamesSortWithoutCase)
{
    EXPECT_EQ(SortPortNames({"COM2", "COM10", "com1", "COM1"}), QStringList({"com1", "COM10", "COM2"}));
    EXPECT_EQ(SortPortNames({"ttyUSB1", "ttyS0", "ttyACM0"}), QStringList({"ttyACM0", "ttyS0", "ttyUSB1"}));

    PtyPair pty;
    EXPECT_TRUE(ListPortNames(pty.slavePath()).contains(pty.slavePath()));
    EXPECT_FALSE(ListPortNames({}, "/dev/kelo-no-such-device").contains("/dev/kelo-no-such-device"));
    EXPECT_FALSE(ListPortNames({}, "/etc/hostname").contains("/etc/hostname")) << "not a device";
    const QStringList names = ListPortNames(pty.slavePath());
    EXPECT_EQ(SortPortNames(names), names);

    ProgramDir dir;
    writeBytes(dir.mainIni(), "[ComPort1]\r\nPort=" + pty.slavePath().toLatin1() + "\r\n");
    TComComboBox box;
    box.setComProperty(cpPort);
    box.setText(pty.slavePath());
    EXPECT_EQ(box.Text(), pty.slavePath()) << "a pseudo-terminal can be chosen and kept";
    EXPECT_EQ(readBytes(dir.mainIni()), "[ComPort1]\r\nPort=" + pty.slavePath().toLatin1() + "\r\n");
}

TEST(OpenComPort, PanelsGiveTheirWholeTextAsATip)
{
    LinkWindow w;
    w.writeIni("[ComPort1]\r\nPort=/dev/kelo-no-such-ttyUSB0\r\nBaudRate=115200\r\nParity=Space\r\nDataBits=8\r\n"
               "StopBits=1.5\r\n[Delay]\r\nTime=200\r\n");
    EXPECT_FALSE(w.open());
    EXPECT_EQ(w.bar->panelText(1), "/dev/kelo-no-such-ttyUSB0");
    EXPECT_EQ(w.bar->panel(1)->toolTip(), "/dev/kelo-no-such-ttyUSB0");
    EXPECT_EQ(w.bar->panel(2)->toolTip(), "115200,Space,8,1.5");
    EXPECT_EQ(w.bar->panel(0)->toolTip(), "ERROR");
}

TEST(PortErrors, RefusedPermissionNamesTheDialoutGroup)
{
    const QString denied = PortErrorText(PortFailure::Open, EACCES);
    EXPECT_TRUE(denied.startsWith("Unable to open com port (win error code: 13): ")) << denied.toStdString();
    const QString advice = PortOpenAdvice(denied, EACCES);
    EXPECT_TRUE(advice.startsWith(denied + "\n"));
    EXPECT_TRUE(advice.contains("dialout")) << advice.toStdString();
    const QString missing = PortErrorText(PortFailure::Open, ENOENT);
    EXPECT_EQ(PortOpenAdvice(missing, ENOENT), missing);
    EXPECT_EQ(PortErrorText(PortFailure::LoadSettings, 5), "Failed to load settings");
}
