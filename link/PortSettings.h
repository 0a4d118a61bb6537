#pragma once
#include <QString>
#include <QStringList>

// The settings of one serial port object, as a value: windows and the
// settings loader fill it, the port applies it when it opens.

enum TBaudRate {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000
};
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TRTSFlowControl { rtsDisable, rtsHandshake, rtsToggle };
// The composite flow control; fcCustom is any mix the other three are not.
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };

// Line events a port may wait for (bits of TComPortSettings::Events).
enum TComEvent : unsigned {
    evRxChar = 1u << 0, evTxEmpty = 1u << 1, evRxFlag = 1u << 2, evRing = 1u << 3,
    evBreak = 1u << 4, evCTS = 1u << 5, evDSR = 1u << 6, evError = 1u << 7,
    evRLSD = 1u << 8, evRx80Full = 1u << 9,
};
inline constexpr unsigned kAllComEvents = (1u << 10) - 1;

struct TComFlowControl {
    TRTSFlowControl ControlRTS = rtsDisable;
    bool OutCTSFlow = false;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    unsigned char XonChar = 17;
    unsigned char XoffChar = 19;

    // The composite value these flags read as.
    [[nodiscard]] TFlowControl composite() const;
    // Sets the flags of fcHardware, fcSoftware or fcNone; fcCustom changes nothing.
    void setComposite(TFlowControl value);
    bool operator==(const TComFlowControl&) const = default;
};

struct TComBuffer {
    int InputSize = 1024;
    int OutputSize = 1024;
    bool operator==(const TComBuffer&) const = default;
};

// Milliseconds. The read values (all bits set, 0, 0) mean "return at once with
// what is waiting"; a write is bounded by constant + multiplier * bytes.
struct TComTimeouts {
    quint32 ReadInterval = 0xFFFFFFFFu;
    quint32 ReadTotalMultiplier = 0;
    quint32 ReadTotalConstant = 0;
    quint32 WriteTotalMultiplier = 100;
    quint32 WriteTotalConstant = 1000;
    bool operator==(const TComTimeouts&) const = default;
};

struct TComPortSettings {
    QString Port = QStringLiteral("COM1");
    TBaudRate BaudRate = br9600;
    int CustomBaudRate = 9600;
    TDataBits DataBits = dbEight;
    TStopBits StopBits = sbOneStopBit;
    TParityBits Parity = prNone;     // Parity.Bits
    TComFlowControl FlowControl;
    TComBuffer Buffer;
    TComTimeouts Timeouts;
    unsigned Events = kAllComEvents;
    bool operator==(const TComPortSettings&) const = default;

    // Bits per second the line runs at: the baud-rate number, or
    // CustomBaudRate for brCustom.
    [[nodiscard]] int bitsPerSecond() const;
    [[nodiscard]] int dataBitCount() const { return 5 + int(DataBits); }
    // Bits one character takes on the line: start, data, parity and stop bits.
    [[nodiscard]] double bitsPerCharacter() const;
    // Milliseconds a request and its reply of the given sizes take on the line.
    [[nodiscard]] double exchangeMillis(int requestBytes, int replyBytes) const;
};

// The sizes of a monitoring poll: STX "01DRS,01,0001" CR LF, and
// STX "01DRS,OK,0064" CR LF in reply.
inline constexpr int kPollRequestBytes = 16;
inline constexpr int kPollReplyBytes = 16;

// "CustomBaudRate" as stored: decimal, or hexadecimal after "0x"; 9600 otherwise.
[[nodiscard]] int parseCustomBaudRate(const QString& stored);

// The texts of each setting, in the order the settings dialog lists them.
[[nodiscard]] const QStringList& BaudRateTexts();
[[nodiscard]] const QStringList& StopBitsTexts();
[[nodiscard]] const QStringList& DataBitsTexts();
[[nodiscard]] const QStringList& ParityTexts();
[[nodiscard]] const QStringList& FlowControlTexts();

[[nodiscard]] QString BaudRateToStr(TBaudRate value);
[[nodiscard]] QString StopBitsToStr(TStopBits value);
[[nodiscard]] QString DataBitsToStr(TDataBits value);
[[nodiscard]] QString ParityToStr(TParityBits value);
[[nodiscard]] QString FlowControlToStr(TFlowControl value);

// Text to value, without regard to letter case; a text in no row gives the
// fallback (br9600, sbOneStopBit, dbEight, prNone, fcCustom).
[[nodiscard]] TBaudRate StrToBaudRate(const QString& text);
[[nodiscard]] TStopBits StrToStopBits(const QString& text);
[[nodiscard]] TDataBits StrToDataBits(const QString& text);
[[nodiscard]] TParityBits StrToParity(const QString& text);
[[nodiscard]] TFlowControl StrToFlowControl(const QString& text);

// The number a baud-rate value stands for (0 for brCustom).
[[nodiscard]] int BaudRateNumber(TBaudRate value);
