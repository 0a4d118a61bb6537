#include "sim/SimFaults.h"

#include "sim/AddressList.h"

#include <QStringList>
#include <cstdlib>

double SimRamp::valueAt(qint64 sinceStartMs) const
{
    const qint64 t = sinceStartMs - afterMs;
    if (t <= 0)
        return from;
    const double span = to - from;
    const double rampMs = perSecond > 0 ? std::abs(span) / perSecond * 1000.0 : 0.0;
    const double step = perSecond > 0 ? (span < 0 ? -1.0 : 1.0) * perSecond * double(t) / 1000.0 : span;
    if (t < rampMs)
        return from + step;
    if (t < rampMs + holdMs)
        return to;
    const double back = double(t) - rampMs - holdMs;
    if (back < rampMs)
        return to - (span < 0 ? -1.0 : 1.0) * perSecond * back / 1000.0;
    return from;
}

std::optional<SimRamp> parseSimRamp(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 5 && parts.size() != 6)
        return std::nullopt;
    const auto addresses = parseAddressList(parts[0]);
    if (!addresses || addresses->isEmpty())
        return std::nullopt;
    int n[5] = {0, 0, 0, 0, 0};
    for (qsizetype i = 1; i < parts.size(); ++i) {
        bool ok = false;
        n[i - 1] = parts[i].toInt(&ok);
        // from and to are register words; the times and rate are not negative.
        if (!ok || (i <= 2 && (n[i - 1] < -32768 || n[i - 1] > 32767)) || (i > 2 && n[i - 1] < 0))
            return std::nullopt;
    }
    SimRamp r;
    r.addresses = QSet<int>(addresses->begin(), addresses->end());
    r.from = n[0];
    r.to = n[1];
    r.perSecond = n[2];
    r.holdMs = n[3];
    r.afterMs = n[4];
    return r;
}
