#pragma once
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

class Recorder;

// Tells systemd how a recorder service is doing, through sd_notify:
// READY=1 once the run has started (set loaded, record file made, port
// tried); WATCHDOG=1 from the event loop at half of WatchdogSec=, so a
// recorder whose loop hangs is restarted; STATUS= with the last sample, the
// lines written and the state of the link and the broker, for
// `systemctl status`; STOPPING=1 when the run ends. Outside a service (no
// NOTIFY_SOCKET) nothing is sent.
class ServiceNotifier : public QObject {
    Q_OBJECT
public:
    using Log = std::function<void(const QString& line)>;

    // Listens to the recorder's engine, port and publisher; call after
    // Recorder::prepare().
    ServiceNotifier(Recorder& recorder, Log log, QObject* parent = nullptr);

    void ready();
    void stopping();
    // The text of STATUS=.
    [[nodiscard]] QString statusText() const;

private:
    void notify(const QString& state);
    void sendStatus(bool stateChanged);

    Recorder& m_recorder;
    Log m_log;
    QTimer m_watchdog;
    QElapsedTimer m_sinceStatus;
    QDateTime m_lastSample;
    qint64 m_samples = 0;
    bool m_failureLogged = false;
};
