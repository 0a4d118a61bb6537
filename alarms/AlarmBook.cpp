#include "alarms/AlarmBook.h"

#include "alarms/AlarmText.h"

#include <algorithm>

AlarmBook::AlarmBook(QObject* parent) : QObject(parent)
{
    m_link.last.key = {0, AlarmKind::LinkLost};
    m_record.last.key = {0, AlarmKind::RecordFailing};
    m_broker.last.key = {0, AlarmKind::BrokerAway};
}

void AlarmBook::setSettings(const AlarmSettings& settings, const QStringList& captions)
{
    m_settings = settings;
    m_captions = captions;
    const qsizetype n = std::max(settings.channels.size(), captions.size());
    m_limits.assign(size_t(2 * n), Entry{});
    m_lost.assign(size_t(n), Entry{});
    for (qsizetype c = 1; c <= n; ++c) {
        m_limits[size_t(2 * (c - 1))].last.key = {int(c), AlarmKind::High};
        m_limits[size_t(2 * (c - 1) + 1)].last.key = {int(c), AlarmKind::Low};
        m_lost[size_t(c - 1)].last.key = {int(c), AlarmKind::ChannelLost};
    }
}

AlarmBook::Entry* AlarmBook::entry(AlarmKey key)
{
    return const_cast<Entry*>(std::as_const(*this).entry(key));
}

const AlarmBook::Entry* AlarmBook::entry(AlarmKey key) const
{
    const auto c = size_t(key.channel);
    switch (key.kind) {
    case AlarmKind::High:
    case AlarmKind::Low:
        if (key.channel < 1 || c > m_lost.size())
            return nullptr;
        return &m_limits[2 * (c - 1) + (key.kind == AlarmKind::Low ? 1 : 0)];
    case AlarmKind::ChannelLost:
        return key.channel < 1 || c > m_lost.size() ? nullptr : &m_lost[c - 1];
    case AlarmKind::LinkLost:
        return &m_link;
    case AlarmKind::RecordFailing:
        return &m_record;
    case AlarmKind::BrokerAway:
        return &m_broker;
    }
    return nullptr;
}

void AlarmBook::move(Entry& e, AlarmKey key, AlarmState state, const QDateTime& time)
{
    e.state = state;
    e.order = ++m_order;
    e.last.time = time;
    e.last.key = key;
    e.last.state = state;
    Q_EMIT changed(e.last);
}

void AlarmBook::evaluateLimit(Entry& e, AlarmKey key, const ChannelAlarmDef& def, double value, qint64 steadyMs,
                              const QDateTime& time)
{
    const bool high = key.kind == AlarmKind::High;
    const double limit = high ? *def.high : *def.low;
    if (isActive(e.state)) {
        // Back only past the deadband, so a value hovering at the limit
        // does not chatter.
        const bool back = high ? value < limit - def.hysteresis : value > limit + def.hysteresis;
        if (!back)
            return;
        e.conditionSince = -1;
        e.last.value = value;
        e.last.limit = limit;
        e.last.priority = def.priority;
        move(e, key, e.state == AlarmState::ActiveAcked ? AlarmState::Normal : AlarmState::ReturnedUnacked, time);
        return;
    }
    const bool holds = high ? value > limit : value < limit;
    if (!holds) {
        e.conditionSince = -1;
        return;
    }
    if (e.conditionSince < 0)
        e.conditionSince = steadyMs;
    if (steadyMs - e.conditionSince < qint64(def.onDelaySeconds) * 1000)
        return;
    e.last.value = value;
    e.last.limit = limit;
    e.last.priority = def.priority;
    e.last.detail.clear();
    move(e, key, AlarmState::ActiveUnacked, time);
}

void AlarmBook::evaluate(const QDateTime& time, qint64 steadyMs, const std::vector<std::optional<double>>& values,
                         const std::vector<bool>& lost)
{
    const size_t n = std::min(values.size(), m_lost.size());
    for (size_t i = 0; i < n; ++i) {
        const int c = int(i + 1);
        const bool isLost = i < lost.size() && lost[i];
        if (isLost != isActive(m_lost[i].state))
            setCondition({c, AlarmKind::ChannelLost}, isLost, time);
        if (qsizetype(i) >= m_settings.channels.size())
            continue;
        const ChannelAlarmDef& def = m_settings.channels[qsizetype(i)];
        if (!def.any())
            continue;
        Entry& hi = m_limits[2 * i];
        Entry& lo = m_limits[2 * i + 1];
        // A lost channel's zero, or no value yet, is no measurement: its
        // alarms hold their state and the on-delay starts afresh.
        if (isLost || !values[i]) {
            hi.conditionSince = lo.conditionSince = -1;
            continue;
        }
        const double v = *values[i];
        if (def.high)
            evaluateLimit(hi, {c, AlarmKind::High}, def, v, steadyMs, time);
        if (def.low)
            evaluateLimit(lo, {c, AlarmKind::Low}, def, v, steadyMs, time);
    }
}

void AlarmBook::setCondition(AlarmKey key, bool holds, const QDateTime& time, const QString& detail)
{
    if (isLimitAlarm(key.kind))
        return; // limits come from the values only
    Entry* e = entry(key);
    if (!e || holds == isActive(e->state))
        return;
    if (!holds && e->state != AlarmState::ActiveUnacked && e->state != AlarmState::ActiveAcked)
        return;
    e->last.value.reset();
    e->last.limit.reset();
    e->last.priority = AlarmPriority::Alarm; // system alarms are all 경보
    if (!detail.isEmpty() || holds)
        e->last.detail = detail;
    if (holds)
        move(*e, key, AlarmState::ActiveUnacked, time);
    else
        move(*e, key, e->state == AlarmState::ActiveAcked ? AlarmState::Normal : AlarmState::ReturnedUnacked, time);
}

void AlarmBook::acknowledge(AlarmKey key, const QDateTime& time)
{
    Entry* e = entry(key);
    if (!e)
        return;
    if (e->state == AlarmState::ActiveUnacked)
        move(*e, key, AlarmState::ActiveAcked, time);
    else if (e->state == AlarmState::ReturnedUnacked)
        move(*e, key, AlarmState::Normal, time);
}

void AlarmBook::acknowledgeAll(const QDateTime& time)
{
    // Oldest first, so the newest acknowledgement ends up on top.
    QList<AlarmTransition> all = listed();
    std::reverse(all.begin(), all.end());
    for (const AlarmTransition& t : all)
        acknowledge(t.key, time);
}

QList<AlarmTransition> AlarmBook::listed() const
{
    std::vector<const Entry*> out;
    const auto take = [&out](const Entry& e) {
        if (e.state != AlarmState::Normal)
            out.push_back(&e);
    };
    for (const Entry& e : m_limits)
        take(e);
    for (const Entry& e : m_lost)
        take(e);
    take(m_link);
    take(m_record);
    take(m_broker);
    std::sort(out.begin(), out.end(), [](const Entry* a, const Entry* b) { return a->order > b->order; });
    QList<AlarmTransition> list;
    list.reserve(qsizetype(out.size()));
    for (const Entry* e : out)
        list.append(e->last);
    return list;
}

AlarmState AlarmBook::state(AlarmKey key) const
{
    const Entry* e = entry(key);
    return e ? e->state : AlarmState::Normal;
}

AlarmTransition AlarmBook::last(AlarmKey key) const
{
    const Entry* e = entry(key);
    if (e)
        return e->last;
    AlarmTransition t;
    t.key = key;
    return t;
}

int AlarmBook::unacknowledged() const
{
    int n = 0;
    for (const Entry& e : m_limits)
        n += isUnacknowledged(e.state);
    for (const Entry& e : m_lost)
        n += isUnacknowledged(e.state);
    n += isUnacknowledged(m_link.state) + isUnacknowledged(m_record.state) + isUnacknowledged(m_broker.state);
    return n;
}

QString AlarmBook::caption(int channel) const
{
    return channel >= 1 && channel <= m_captions.size() ? m_captions[channel - 1] : QString();
}
