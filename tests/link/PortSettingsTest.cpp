#include "link/ComPort.h"
#include "link/PortSettings.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>
#include "tests/link/QtPrinters.h"

TEST(PortSettings, TextsConvertWithoutRegardToCaseAndFallBack)
{
    struct Case {
        QString text;
        TBaudRate baud;
        TStopBits stop;
        TDataBits data;
        TParityBits parity;
        TFlowControl flow;
    };
    const Case cases[] = {
        {"custom", brCustom, sbOneStopBit, dbEight, prNone, fcCustom},
        {"110", br110, sbOneStopBit, dbEight, prNone, fcCustom},
        {"256000", br256000, sbOneStopBit, dbEight, prNone, fcCustom},
        {"9601", br9600, sbOneStopBit, dbEight, prNone, fcCustom},
        {"1.5", br9600, sbOne5StopBits, dbEight, prNone, fcCustom},
        {"2", br9600, sbTwoStopBits, dbEight, prNone, fcCustom},
        {"5", br9600, sbOneStopBit, dbFive, prNone, fcCustom},
        {"7", br9600, sbOneStopBit, dbSeven, prNone, fcCustom},
        {"sPACE", br9600, sbOneStopBit, dbEight, prSpace, fcCustom},
        {"MARK", br9600, sbOneStopBit, dbEight, prMark, fcCustom},
        {"hardware", br9600, sbOneStopBit, dbEight, prNone, fcHardware},
        {"Software", br9600, sbOneStopBit, dbEight, prNone, fcSoftware},
        {"fcCustom", br9600, sbOneStopBit, dbEight, prNone, fcCustom},
        {"", br9600, sbOneStopBit, dbEight, prNone, fcCustom},
    };
    for (const Case& c : cases) {
        const std::string name = c.text.toStdString();
        EXPECT_EQ(StrToBaudRate(c.text), c.baud) << name;
        EXPECT_EQ(StrToStopBits(c.text), c.stop) << name;
        EXPECT_EQ(StrToDataBits(c.text), c.data) << name;
        EXPECT_EQ(StrToParity(c.text), c.parity) << name;
        EXPECT_EQ(StrToFlowControl(c.text), c.flow) << name;
    }
    EXPECT_EQ(StrToFlowControl("None"), fcNone);
    EXPECT_EQ(StrToParity("odd"), prOdd);
    EXPECT_EQ(StrToParity("Even"), prEven);
    EXPECT_EQ(BaudRateNumber(br14400), 14400);
    EXPECT_EQ(BaudRateToStr(br9600), "9600");
    EXPECT_EQ(FlowControlToStr(fcNone), "None");
}

TEST(PortSettings, CompositeFlowControlSetsAndReadsTheFlags)
{
    struct Flags {
        TRTSFlowControl rts;
        bool cts, xout, xin;
    };
    struct Case {
        TFlowControl set;
        Flags from;
        Flags expected;
    };
    const Flags mixed{rtsToggle, true, true, false};
    const Case cases[] = {
        {fcHardware, mixed, {rtsHandshake, true, false, false}},
        {fcSoftware, mixed, {rtsDisable, false, true, true}},
        {fcNone, mixed, {rtsDisable, false, false, false}},
        {fcCustom, mixed, mixed},
    };
    for (const Case& c : cases) {
        TComFlowControl flow;
        flow.ControlRTS = c.from.rts;
        flow.OutCTSFlow = c.from.cts;
        flow.XonXoffOut = c.from.xout;
        flow.XonXoffIn = c.from.xin;
        flow.setComposite(c.set);
        EXPECT_EQ(flow.ControlRTS, c.expected.rts) << c.set;
        EXPECT_EQ(flow.OutCTSFlow, c.expected.cts) << c.set;
        EXPECT_EQ(flow.XonXoffOut, c.expected.xout) << c.set;
        EXPECT_EQ(flow.XonXoffIn, c.expected.xin) << c.set;
        EXPECT_EQ(flow.composite(), c.set) << c.set;
    }
    TComFlowControl toggled;
    toggled.setComposite(fcHardware);
    toggled.ControlRTS = rtsToggle;
    EXPECT_EQ(toggled.composite(), fcCustom);
    TComFlowControl halfSoftware;
    halfSoftware.XonXoffIn = true;
    EXPECT_EQ(halfSoftware.composite(), fcCustom);
}

namespace {

TComPortSettings loadFrom(const QByteArray& ini, TComPortSettings start = {})
{
    ProgramDir dir;
    writeBytes(dir.mainIni(), ini);
    TComPort port;
    port.setObjectName("ComPort1");
    port.settings() = start;
    port.LoadPortSettings(dir.mainIni());
    EXPECT_EQ(readBytes(dir.mainIni()), ini) << "the loader never writes";
    return port.settings();
}

} // namespace

TEST(PortSettings, LoaderReadsTheObjectsSection)
{
    const TComPortSettings s = loadFrom("[Other]\r\nPort=ttyS9\r\n"
                                        "[comport1]\r\nport=ttyUSB0\r\nBaudRate=19200\r\nStopBits=2\r\n"
                                        "DataBits=7\r\nParity=Even\r\nFlowControl=Hardware\r\n");
    EXPECT_EQ(s.Port, "ttyUSB0");
    EXPECT_EQ(s.BaudRate, br19200);
    EXPECT_EQ(s.bitsPerSecond(), 19200);
    EXPECT_EQ(s.StopBits, sbTwoStopBits);
    EXPECT_EQ(s.DataBits, dbSeven);
    EXPECT_EQ(s.Parity, prEven);
    EXPECT_EQ(s.FlowControl.composite(), fcHardware);
}

TEST(PortSettings, LoaderKeepsCurrentValuesForMissingKeys)
{
    TComPortSettings start;
    start.Port = "ttyS1";
    start.BaudRate = br57600;
    start.Parity = prOdd;
    start.FlowControl.setComposite(fcSoftware);
    const TComPortSettings s = loadFrom("[ComPort1]\r\nDataBits=6\r\n", start);
    EXPECT_EQ(s.Port, "ttyS1");
    EXPECT_EQ(s.BaudRate, br57600);
    EXPECT_EQ(s.Parity, prOdd);
    EXPECT_EQ(s.DataBits, dbSix);
    EXPECT_EQ(s.FlowControl.composite(), fcSoftware);

    const TComPortSettings fresh = loadFrom("");
    EXPECT_EQ(fresh, TComPortSettings{});
    // "fcCustom" (and any unknown text) leaves the flags as they were.
    EXPECT_EQ(loadFrom("[ComPort1]\r\nFlowControl=fcCustom\r\n", start).FlowControl, start.FlowControl);
}

TEST(PortSettings, CustomBaudRateDecimalOrHexadecimal)
{
    struct Case {
        QByteArray stored;
        int bitsPerSecond;
    };
    const Case cases[] = {
        {"CustomBaudRate=1000\r\n", 1000},
        {"CustomBaudRate=0x3E8\r\n", 1000},
        {"CustomBaudRate=0X1c200\r\n", 115200},
        {"CustomBaudRate=fast\r\n", 9600},
        {"CustomBaudRate=0xZZ\r\n", 9600},
        {"", 9600},
    };
    for (const Case& c : cases) {
        const TComPortSettings s = loadFrom("[ComPort1]\r\nBaudRate=cUsToM\r\n" + c.stored);
        EXPECT_EQ(s.BaudRate, brCustom) << c.stored.toStdString();
        EXPECT_EQ(s.bitsPerSecond(), c.bitsPerSecond) << c.stored.toStdString();
    }
    // Without "Custom" the key is not read at all.
    TComPortSettings start;
    start.CustomBaudRate = 4321;
    EXPECT_EQ(loadFrom("[ComPort1]\r\nBaudRate=9600\r\nCustomBaudRate=1000\r\n", start).CustomBaudRate, 4321);
}
