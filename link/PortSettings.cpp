#include "link/PortSettings.h"

#include "settings/Convert.h"

TFlowControl TComFlowControl::composite() const
{
    if (ControlRTS == rtsHandshake && OutCTSFlow && !XonXoffIn && !XonXoffOut)
        return fcHardware;
    if (ControlRTS == rtsDisable && !OutCTSFlow && XonXoffIn && XonXoffOut)
        return fcSoftware;
    if (ControlRTS == rtsDisable && !OutCTSFlow && !XonXoffIn && !XonXoffOut)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::setComposite(TFlowControl value)
{
    switch (value) {
    case fcHardware:
        ControlRTS = rtsHandshake;
        OutCTSFlow = true;
        XonXoffIn = XonXoffOut = false;
        break;
    case fcSoftware:
        ControlRTS = rtsDisable;
        OutCTSFlow = false;
        XonXoffIn = XonXoffOut = true;
        break;
    case fcNone:
        ControlRTS = rtsDisable;
        OutCTSFlow = false;
        XonXoffIn = XonXoffOut = false;
        break;
    case fcCustom:
        break;
    }
}

int TComPortSettings::bitsPerSecond() const
{
    return BaudRate == brCustom ? CustomBaudRate : BaudRateNumber(BaudRate);
}

double TComPortSettings::bitsPerCharacter() const
{
    const double stop = StopBits == sbOneStopBit ? 1.0 : StopBits == sbOne5StopBits ? 1.5 : 2.0;
    return 1 + dataBitCount() + (Parity == prNone ? 0 : 1) + stop;
}

double TComPortSettings::exchangeMillis(int requestBytes, int replyBytes) const
{
    const int rate = bitsPerSecond();
    if (rate <= 0)
        return 0;
    return (requestBytes + replyBytes) * bitsPerCharacter() * 1000.0 / rate;
}

int parseCustomBaudRate(const QString& stored)
{
    const QString text = stored.trimmed();
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        bool ok = false;
        const int value = text.mid(2).toInt(&ok, 16);
        return ok ? value : 9600;
    }
    return parseInt32(text).value_or(9600);
}

const QStringList& BaudRateTexts()
{
    static const QStringList texts{
        QStringLiteral("Custom"), QStringLiteral("110"), QStringLiteral("300"),
        QStringLiteral("600"), QStringLiteral("1200"), QStringLiteral("2400"),
        QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("14400"),
        QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("56000"),
        QStringLiteral("57600"), QStringLiteral("115200"), QStringLiteral("128000"),
        QStringLiteral("256000")};
    return texts;
}

const QStringList& StopBitsTexts()
{
    static const QStringList texts{QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
    return texts;
}

const QStringList& DataBitsTexts()
{
    static const QStringList texts{QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"),
                                   QStringLiteral("8")};
    return texts;
}

const QStringList& ParityTexts()
{
    static const QStringList texts{QStringLiteral("None"), QStringLiteral("Odd"),
                                   QStringLiteral("Even"), QStringLiteral("Mark"),
                                   QStringLiteral("Space")};
    return texts;
}

const QStringList& FlowControlTexts()
{
    static const QStringList texts{QStringLiteral("Hardware"), QStringLiteral("Software"),
                                   QStringLiteral("None"), QStringLiteral("Custom")};
    return texts;
}

namespace {

int indexOf(const QStringList& texts, const QString& text)
{
    for (qsizetype i = 0; i < texts.size(); ++i)
        if (texts.at(i).compare(text, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

template <typename Enum>
Enum fromText(const QStringList& texts, const QString& text, Enum fallback)
{
    const int i = indexOf(texts, text);
    return i < 0 ? fallback : Enum(i);
}

} // namespace

QString BaudRateToStr(TBaudRate value) { return BaudRateTexts().value(int(value)); }
QString StopBitsToStr(TStopBits value) { return StopBitsTexts().value(int(value)); }
QString DataBitsToStr(TDataBits value) { return DataBitsTexts().value(int(value)); }
QString ParityToStr(TParityBits value) { return ParityTexts().value(int(value)); }
QString FlowControlToStr(TFlowControl value) { return FlowControlTexts().value(int(value)); }

TBaudRate StrToBaudRate(const QString& text) { return fromText(BaudRateTexts(), text, br9600); }
TStopBits StrToStopBits(const QString& text) { return fromText(StopBitsTexts(), text, sbOneStopBit); }
TDataBits StrToDataBits(const QString& text) { return fromText(DataBitsTexts(), text, dbEight); }
TParityBits StrToParity(const QString& text) { return fromText(ParityTexts(), text, prNone); }
TFlowControl StrToFlowControl(const QString& text)
{
    return fromText(FlowControlTexts(), text, fcCustom);
}

int BaudRateNumber(TBaudRate value)
{
    return value == brCustom ? 0 : BaudRateTexts().value(int(value)).toInt();
}
