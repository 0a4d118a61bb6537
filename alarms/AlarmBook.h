#pragma once
#include "alarms/AlarmTypes.h"

#include <QObject>
#include <QStringList>
#include <vector>

// The alarm states of one run: fed the channels' values at every sample and
// the system conditions as they change, it raises, returns and acknowledges
// alarms and says every change once. It never waits, asks or shows anything;
// the window, kelorec and the publisher each render the changes their own way.
class AlarmBook : public QObject {
    Q_OBJECT
public:
    explicit AlarmBook(QObject* parent = nullptr);

    // A new set's limits; every channel's alarm starts normal (the link,
    // record and broker alarms belong to the run, not the set, and stay).
    void setSettings(const AlarmSettings& settings, const QStringList& captions);
    [[nodiscard]] const AlarmSettings& settings() const { return m_settings; }

    // One sample: value[i] is channel i + 1's value, none while it has none;
    // lost[i] is whether the miss rule has zeroed it. `steadyMs` is a clock
    // that never steps, for the on-delays.
    void evaluate(const QDateTime& time, qint64 steadyMs, const std::vector<std::optional<double>>& values,
                  const std::vector<bool>& lost);
    // A system condition came or went (ChannelLost names its channel).
    void setCondition(AlarmKey key, bool holds, const QDateTime& time, const QString& detail = {});

    void acknowledge(AlarmKey key, const QDateTime& time);
    void acknowledgeAll(const QDateTime& time);

    // The alarms not Normal, newest change first.
    [[nodiscard]] QList<AlarmTransition> listed() const;
    [[nodiscard]] AlarmState state(AlarmKey key) const;
    [[nodiscard]] int unacknowledged() const;
    // The latest change of an alarm (its state Normal and no time when it
    // never changed).
    [[nodiscard]] AlarmTransition last(AlarmKey key) const;
    // The caption of channel c (from 1) as setSettings was given it.
    [[nodiscard]] QString caption(int channel) const;
    [[nodiscard]] int channelCount() const { return int(m_lost.size()); }

Q_SIGNALS:
    void changed(const AlarmTransition& transition);

private:
    AlarmSettings m_settings;
    QStringList m_captions;

    struct Entry {
        AlarmState state = AlarmState::Normal;
        qint64 conditionSince = -1; // steady ms the limit condition began to hold, -1: it does not
        quint64 order = 0;          // of the latest change, for newest-first
        AlarmTransition last;
    };
    [[nodiscard]] Entry* entry(AlarmKey key);
    [[nodiscard]] const Entry* entry(AlarmKey key) const;
    void move(Entry& e, AlarmKey key, AlarmState state, const QDateTime& time);
    void evaluateLimit(Entry& e, AlarmKey key, const ChannelAlarmDef& def, double value, qint64 steadyMs,
                       const QDateTime& time);

    std::vector<Entry> m_limits; // channel c: High at 2(c-1), Low at 2(c-1)+1
    std::vector<Entry> m_lost;   // channel c's ChannelLost at c-1
    Entry m_link, m_record, m_broker;
    quint64 m_order = 0;
};
