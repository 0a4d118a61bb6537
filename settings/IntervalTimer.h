#pragma once
#include <QObject>
#include <QTimer>

// A timer with an enabled flag apart from its interval, as the windows use
// them: it fires every interval while enabled, and never when the interval
// is 0 or less (enabled or not).
class IntervalTimer : public QObject {
    Q_OBJECT
public:
    explicit IntervalTimer(QObject* parent = nullptr, int intervalMs = 1000);

    void setInterval(int ms);
    [[nodiscard]] int interval() const { return m_interval; }
    void setEnabled(bool enabled);
    [[nodiscard]] bool isEnabled() const { return m_enabled; }
    // True when ticks are actually being delivered.
    [[nodiscard]] bool isFiring() const { return m_timer.isActive(); }

Q_SIGNALS:
    void timeout();

private:
    void apply();

    QTimer m_timer;
    int m_interval;
    bool m_enabled = false;
};
