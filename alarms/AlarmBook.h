#pragma once
#include "alarms/AlarmTypes.h"

#include <QObject>
#include <vector>

// The alarm states of one run: fed the channels' values at every sample and
// the system conditions as they change, it raises, returns and acknowledges
// alarms and says every change once. It never waits, asks or shows anything;
// the window, kelorec and the publisher each render the changes their own way.
class AlarmBook : public QObject {
    Q_OBJECT
public:
    explicit AlarmBook(QObject* parent = nullptr);

    // A new set's limits; every alarm starts normal.
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

Q_SIGNALS:
    void changed(const AlarmTransition& transition);

private:
    AlarmSettings m_settings;
    QStringList m_captions;
    // (the implementation adds its own state here)
};
