#include "publish/BusHealth.h"

#include "publish/MqttJson.h"

#include <algorithm>

namespace {
constexpr std::size_t kFineBins = std::size_t(BusHealth::kFineLimitMs) + 1;              // 0..1000 ms
constexpr std::size_t kSlowBins = std::size_t((BusHealth::kSlowLimitMs - BusHealth::kFineLimitMs) / BusHealth::kSlowStepMs);
constexpr std::size_t kBins = kFineBins + kSlowBins + 1;                                 // + one for longer
} // namespace

BusHealth::Station& BusHealth::station(const QString& addr)
{
    auto it = m_stations.find(addr);
    if (it == m_stations.end()) {
        it = m_stations.emplace(addr, Station{}).first;
        m_order.append(addr);
    }
    return it->second;
}

void BusHealth::request(const QString& addr)
{
    ++station(addr).figures.requests;
}

void BusHealth::reply(const QString& addr, bool ok, qint64 responseMs)
{
    Station& s = station(addr);
    ++(ok ? s.figures.okReplies : s.figures.refusals);
    addTime(s, std::max<qint64>(0, responseMs));
}

void BusHealth::miss(const QString& addr)
{
    ++station(addr).figures.misses;
}

void BusHealth::skipped(const QString& addr)
{
    ++station(addr).figures.skippedTicks;
}

void BusHealth::dropped(const QString& addr)
{
    ++station(addr).figures.droppedReplies;
}

std::size_t BusHealth::binOf(qint64 ms)
{
    if (ms <= kFineLimitMs)
        return std::size_t(ms);
    if (ms <= kSlowLimitMs)
        return kFineBins + std::size_t((ms - kFineLimitMs - 1) / kSlowStepMs);
    return kBins - 1;
}

qint64 BusHealth::binValue(std::size_t bin, qint64 maxMs)
{
    if (bin < kFineBins)
        return qint64(bin);
    if (bin < kBins - 1) // the middle of a coarse bin
        return kFineLimitMs + qint64(bin - kFineBins) * kSlowStepMs + kSlowStepMs / 2 + 1;
    return maxMs;
}

void BusHealth::addTime(Station& s, qint64 ms)
{
    if (s.bins.empty())
        s.bins.assign(kBins, 0);
    ++s.bins[binOf(ms)];
    ++s.timed;
    s.figures.lastMs = ms;
    s.figures.maxMs = std::max(ms, s.figures.maxMs.value_or(ms));

    // The lower median: the value at rank ceil(n/2).
    const qint64 rank = (s.timed + 1) / 2;
    qint64 seen = 0;
    for (std::size_t bin = 0; bin < s.bins.size(); ++bin) {
        seen += s.bins[bin];
        if (seen >= rank) {
            s.figures.medianMs = std::min(binValue(bin, *s.figures.maxMs), *s.figures.maxMs);
            break;
        }
    }
}

QStringList BusHealth::addresses() const
{
    return m_order;
}

BusHealth::Figures BusHealth::figures(const QString& addr) const
{
    auto it = m_stations.find(addr);
    return it == m_stations.end() ? Figures{} : it->second.figures;
}

QByteArray BusHealth::payload(const QString& addr, const QDateTime& time) const
{
    const Figures f = figures(addr);
    auto optional = [](const std::optional<qint64>& v) { return v ? QByteArray::number(*v) : QByteArray("null"); };
    QByteArray json;
    json.reserve(160);
    json += "{\"time\":";
    appendJsonString(json, isoTimeWithOffset(time));
    json += ",\"requests\":" + QByteArray::number(f.requests);
    json += ",\"ok\":" + QByteArray::number(f.okReplies);
    json += ",\"refusals\":" + QByteArray::number(f.refusals);
    json += ",\"misses\":" + QByteArray::number(f.misses);
    json += ",\"skipped\":" + QByteArray::number(f.skippedTicks);
    json += ",\"dropped\":" + QByteArray::number(f.droppedReplies);
    json += ",\"last_ms\":" + optional(f.lastMs);
    json += ",\"median_ms\":" + optional(f.medianMs);
    json += ",\"max_ms\":" + optional(f.maxMs);
    json += '}';
    return json;
}
