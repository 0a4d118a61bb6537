#pragma once
#include "sim/SimBus.h"
#include "sim/SimFaults.h"
#include "sim/SimPort.h"

#include "link/ReplyAssembler.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class QSocketNotifier;

// Serves a bus of simulated controllers on a port: reads request frames as
// they arrive, answers them, and writes the replies, shaped by the fault
// switches. Everything runs on the thread's event loop; the clock (monotonic
// milliseconds) can be replaced so the plants and the reply schedule follow a
// clock a test turns by hand.
class SimServer : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<qint64()>;

    struct Options {
        SimPort::Options port;
        QList<int> addresses;
        SimFaults faults;
        qint64 tuningMs = SimController::kDefaultTuningMs;
        Clock clock;   // empty: time since the server was made
    };

    explicit SimServer(Options options, QObject* parent = nullptr);
    ~SimServer() override;

    // Opens the port and starts serving; false with a message in error.
    bool start(QString* error);
    // Closes the port (removing its link) and drops what was not yet sent.
    void stop();

    [[nodiscard]] SimBus& bus() { return m_bus; }
    [[nodiscard]] SimFaults& faults() { return m_options.faults; }
    [[nodiscard]] const SimPort& port() const { return m_port; }
    [[nodiscard]] bool vanished() const { return m_vanished; }
    // Bytes written to the line since the server was made, and bytes that
    // are still to go (waiting for their time, or held back to be joined).
    [[nodiscard]] qint64 bytesWritten() const { return m_bytesWritten; }
    [[nodiscard]] qsizetype bytesQueued() const;

public slots:
    // Reads what waits at the port and answers every complete request in it.
    void readInput();
    // Writes the queued output whose time has come.
    void writeDue();
    // The port disappears: the program's side hangs up, the link goes away.
    // It comes back after faults().vanishForMs, or at reappear().
    void vanish();
    // Opens a new port at the same link; false when that fails (tried again later).
    bool reappear();

signals:
    // One request taken off the line and what was made of it (empty: no reply).
    void exchanged(const QByteArray& request, const QByteArray& reply);
    void vanishedNow();
    void reappeared(const QString& devicePath);
    void problem(const QString& text);

private:
    struct Outgoing {
        qint64 due;
        QByteArray bytes;
    };

    qint64 startClock();
    [[nodiscard]] qint64 now() const { return m_options.clock(); }
    [[nodiscard]] bool every(int n) const { return n > 0 && m_replies % n == 0; }
    void serve();
    void handle(const QByteArray& request);
    void enqueue(qint64 due, const QByteArray& bytes);
    void schedule();
    void armVanish();

    Options m_options;
    QElapsedTimer m_elapsed;
    SimBus m_bus;
    SimPort m_port;
    std::unique_ptr<QSocketNotifier> m_notifier;
    ReplyAssembler m_framer;
    QList<Outgoing> m_out;
    QByteArray m_held;
    qint64 m_replies = 0;
    qint64 m_bytesWritten = 0;
    bool m_vanished = false;
    QTimer m_outTimer;
    QTimer m_vanishTimer;
};
