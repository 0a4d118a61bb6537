#include "monitoring/ChannelValue.h"

#include "monitoring/ValueFormat.h"
#include "settings/Convert.h"
#include "settings/FuncP.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

double dotDivisor(const QString& dot)
{
    const int d = parseInt32(dot).value_or(0);
    // Beyond 10^308 a double is infinite; no 16-bit value survives that anyway.
    return d >= 1 ? std::pow(10.0, std::min(d, 308)) : 1.0;
}

std::optional<double> chartPercent(double value, const ChannelDef& channel)
{
    const auto max = parseInt32(channel.Max);
    const auto min = parseInt32(channel.Min);
    if (!max || !min)
        return std::nullopt;
    const qint64 range = qint64(*max) + std::llabs(qint64(*min));
    if (range == 0)
        return std::nullopt;
    return value / double(range) * 100.0;
}

std::optional<ChannelValue> decodeChannelWord(const QString& word, const ChannelDef& channel,
                                              const Regional& regional)
{
    const int raw = HexWordToInt(word);
    if (raw == BadHexValue)
        return std::nullopt;
    const double divisor = dotDivisor(channel.Dot);
    ChannelValue v;
    v.value = raw / divisor;
    v.cellText = formatValue(v.value, divisor == 1.0 ? ValueFormat::Whole : ValueFormat::Decimal, regional);
    v.percent = chartPercent(v.value, channel);
    return v;
}
