#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

// The controllers' ASCII frame protocol: STX + address + body + CR LF.
// Frames are bytes as they travel on the line; bodies and addresses are text
// (code page 949, though the protocol itself uses ASCII only).

inline constexpr char kStx = '\x02';
inline constexpr char kCr = '\x0D';
inline constexpr char kLf = '\x0A';

// STX + PadLeft(address, "0", 2) + body + CR LF. The address is a station
// number in decimal or a text the operator typed; a longer text goes out whole.
[[nodiscard]] QByteArray BuildRequest(const QString& address, const QString& body);
[[nodiscard]] QByteArray BuildRequest(int address, const QString& body);

// STX + content + CR LF, for any frame (the simulator builds its replies so).
[[nodiscard]] QByteArray BuildFrame(const QByteArray& content);
// The bytes between the leading STX and the closing CR LF of a frame.
[[nodiscard]] QByteArray FrameContent(const QByteArray& frame);

// True when characters 8 and 9 of the frame (from 1, at the STX) are "OK".
[[nodiscard]] bool ReplyOk(const QByteArray& frame);
// The four characters of data word k (from 1) at position 11 + 5(k-1);
// shorter or empty when the frame ends earlier.
[[nodiscard]] QString ReplyWord(const QByteArray& frame, int k);

enum class TrafficDirection { Sent, Received };
// "[송신]=> " or "[수신]=> " + the frame without its closing CR LF, every
// control or non-ASCII byte made visible (see VisibleFrameText).
[[nodiscard]] QString TrafficLogLine(TrafficDirection direction, const QByteArray& frame);
// The same prefix + every byte of the frame, CR LF included, as hex pairs.
[[nodiscard]] QString TrafficHexLine(TrafficDirection direction, const QByteArray& frame);
// The bytes as text a log line can hold: STX, CR and LF as <STX>, <CR>, <LF>,
// any other byte below 0x20 or above 0x7E as <xx> in hex, the rest as is.
[[nodiscard]] QString VisibleFrameText(const QByteArray& bytes);

// One command of the protocol as the console offers it.
struct ProtocolCommand {
    QString code;         // "DRS"
    QString consoleText;  // "DRS => D Register 연속 Read"
    QString exampleBody;  // "DRS,02,0001"
};

// The seven commands in the console's order: WHO, DRS, DRR, DWS, DWR, DMS, DMC.
[[nodiscard]] const QList<ProtocolCommand>& ProtocolCommands();
