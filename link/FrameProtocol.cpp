#include "link/FrameProtocol.h"

#include "settings/AnsiText.h"
#include "settings/FuncP.h"

QByteArray BuildFrame(const QByteArray& content)
{
    QByteArray frame;
    frame.reserve(content.size() + 3);
    frame.append(kStx).append(content).append(kCr).append(kLf);
    return frame;
}

QByteArray FrameContent(const QByteArray& frame)
{
    QByteArray content = frame;
    if (content.startsWith(kStx))
        content.remove(0, 1);
    if (content.endsWith("\r\n"))
        content.chop(2);
    return content;
}

QByteArray BuildRequest(const QString& address, const QString& body)
{
    return BuildFrame(toAnsi(PadLeft(address, QStringLiteral("0"), 2) + body));
}

QByteArray BuildRequest(int address, const QString& body)
{
    return BuildRequest(QString::number(address), body);
}

bool ReplyOk(const QByteArray& frame)
{
    return frame.mid(7, 2) == "OK";
}

QString ReplyWord(const QByteArray& frame, int k)
{
    if (k < 1)
        return {};
    return QString::fromLatin1(frame.mid(10 + 5 * qsizetype(k - 1), 4));
}

namespace {

QString trafficPrefix(TrafficDirection direction)
{
    return direction == TrafficDirection::Sent ? QStringLiteral("[송신]=> ") : QStringLiteral("[수신]=> ");
}

} // namespace

QString VisibleFrameText(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0x02)
            text += QLatin1String("<STX>");
        else if (b == 0x0D)
            text += QLatin1String("<CR>");
        else if (b == 0x0A)
            text += QLatin1String("<LF>");
        else if (b < 0x20 || b > 0x7E)
            text += QStringLiteral("<%1>").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        else
            text += QLatin1Char(c);
    }
    return text;
}

QString TrafficLogLine(TrafficDirection direction, const QByteArray& frame)
{
    const QByteArray shown = frame.endsWith("\r\n") ? frame.first(frame.size() - 2) : frame;
    return trafficPrefix(direction) + VisibleFrameText(shown);
}

QString TrafficHexLine(TrafficDirection direction, const QByteArray& frame)
{
    return trafficPrefix(direction) + QString::fromLatin1(frame.toHex(' ').toUpper());
}

const QList<ProtocolCommand>& ProtocolCommands()
{
    static const QList<ProtocolCommand> commands{
        {QStringLiteral("WHO"), QStringLiteral("WHO => 자기 정보 표시"), QStringLiteral("WHO")},
        {QStringLiteral("DRS"), QStringLiteral("DRS => D Register 연속 Read"),
         QStringLiteral("DRS,02,0001")},
        {QStringLiteral("DRR"), QStringLiteral("DRR => D Register Random Read"),
         QStringLiteral("DRR,03,0001,0005,0002")},
        {QStringLiteral("DWS"), QStringLiteral("DWS => D Register 연속 Write"),
         QStringLiteral("DWS,02,0301,0050,0060")},
        {QStringLiteral("DWR"), QStringLiteral("DWR => D Register Random Write"),
         QStringLiteral("DWR,02,0301,0050,0303,0060")},
        {QStringLiteral("DMS"), QStringLiteral("DMS => D Register Monitoring Set"),
         QStringLiteral("DMS,03,0001,0002,0003")},
        {QStringLiteral("DMC"), QStringLiteral("DMC => D Register Monitoring Call"),
         QStringLiteral("DMC")},
    };
    return commands;
}
