#include "autotune/TuningRegisters.h"

#include "link/FrameProtocol.h"
#include "settings/FuncP.h"

const QString kTuningReadBody = QStringLiteral(
    "DRR,32,0102,0614,0301,0302,0303,0310,0311,0312,0313,0314,0315,0316,0317,0318,0320,"
    "0321,0322,0323,0324,0325,0326,0327,0328,0330,0331,0332,0333,0334,0335,0336,0337,0614");
const QString kTuningStopBody = QStringLiteral("DWS,01,0306,0000");
const QString kTuningPollBody = QStringLiteral("DRS,01,0306");

QString tuningStartBody(int choiceIndex)
{
    return QStringLiteral("DWS,01,0306,") + PadLeft(QString::number(choiceIndex + 1), QStringLiteral("0"), 4);
}

QString tuningTickBody(int atStep, int choiceIndex)
{
    switch (atStep) {
    case WritingStart:
        return tuningStartBody(choiceIndex);
    case Polling:
        return kTuningPollBody;
    default:
        return {};
    }
}

int tuningWordValue(const QByteArray& frame, int k)
{
    const QString word = ReplyWord(frame, k);
    if (word.size() != 4)
        return BadHexValue;
    return HexWordToInt(word);
}

QString placeDecimalPoint(const QString& value, const QString& dot)
{
    if (!(dot > QStringLiteral("0")))
        return value;
    bool ok = false;
    const int places = dot.toInt(&ok);
    if (!ok || places < 1 || places > kMaxDot)
        return value;
    // Digits shorter than Dot get leading zeros after the point, so 5 with
    // Dot 3 reads .005 and -5 reads -.005 rather than .5 and .-5.
    const bool negative = value.startsWith(QLatin1Char('-'));
    QString digits = negative ? value.mid(1) : value;
    if (digits.size() < places)
        digits = digits.rightJustified(places, QLatin1Char('0'));
    digits.insert(digits.size() - places, QLatin1Char('.'));
    return negative ? QLatin1Char('-') + digits : digits;
}

TuningSettings decodeTuningSettings(const QByteArray& frame)
{
    TuningSettings s;
    const auto value = [&](int k) { return QString::number(tuningWordValue(frame, k)); };
    s.zone = tuningWordValue(frame, 1) == 0 ? QStringLiteral("OFF") : QStringLiteral("ON");
    // A Dot no controller shows (7FFF would pad a value to 32,768 digits) is
    // a bad word.
    const int dot = tuningWordValue(frame, 2);
    s.dot = QString::number(dot > kMaxDot ? BadHexValue : dot);
    s.sv1 = placeDecimalPoint(value(3), s.dot);
    s.sv2 = placeDecimalPoint(value(4), s.dot);
    s.sv3 = placeDecimalPoint(value(5), s.dot);
    s.atm = tuningWordValue(frame, 6) == 0 ? QStringLiteral("STD") : QStringLiteral("LOW");
    for (int k = 7; k <= 32; ++k) {
        const int col = k <= 15 ? 1 : k <= 24 ? 2 : 3;
        const int row = k <= 15 ? k - 6 : k <= 24 ? k - 15 : k - 24;
        s.grid[std::size_t(col)][std::size_t(row)] = value(k);
    }
    return s;
}
