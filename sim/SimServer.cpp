#include "sim/SimServer.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

// What a noisy line leaves in front of a reply: stray bytes, then the start
// of a frame that breaks off where the real reply's STX begins.
QByteArray noise(const QByteArray& reply)
{
    return QByteArray("\xFF\x00#~\r\n", 6) + reply.left(3) + "DR";
}

} // namespace

SimServer::SimServer(Options options, QObject* parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_bus(m_options.addresses, startClock(), m_options.tuningMs),
      m_port(m_options.port)
{
    for (int a : m_bus.addresses())
        m_bus.controller(a)->setRamp(&m_options.faults.ramp, now());
    m_outTimer.setSingleShot(true);
    connect(&m_outTimer, &QTimer::timeout, this, &SimServer::writeDue);
    m_vanishTimer.setSingleShot(true);
    connect(&m_vanishTimer, &QTimer::timeout, this, [this] {
        if (m_vanished)
            reappear();
        else
            vanish();
    });
}

SimServer::~SimServer() { stop(); }

qint64 SimServer::startClock()
{
    m_elapsed.start();
    if (!m_options.clock)
        m_options.clock = [this] { return m_elapsed.elapsed(); };
    return m_options.clock();
}

bool SimServer::start(QString* error)
{
    m_vanished = false;
    if (!m_port.open(error))
        return false;
    serve();
    return true;
}

void SimServer::stop()
{
    m_vanishTimer.stop();
    m_outTimer.stop();
    m_notifier.reset();
    m_port.close();
    m_out.clear();
    m_held.clear();
}

void SimServer::serve()
{
    // Requests have the layout of replies (STX ... CR LF), so the program's
    // own assembler frames them; a request cut off by a vanished port is dropped.
    m_framer = ReplyAssembler{};
    m_notifier = std::make_unique<QSocketNotifier>(m_port.fd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SimServer::readInput);
    armVanish();
}

void SimServer::armVanish()
{
    if (m_options.faults.vanishEveryMs > 0)
        m_vanishTimer.start(m_options.faults.vanishEveryMs);
}

void SimServer::vanish()
{
    if (!m_port.isOpen())
        return;
    stop();
    m_vanished = true;
    emit vanishedNow();
    m_vanishTimer.start(std::max(0, m_options.faults.vanishForMs));
}

bool SimServer::reappear()
{
    QString error;
    if (!m_port.open(&error)) {
        emit problem(error);
        m_vanishTimer.start(1000);
        return false;
    }
    m_vanished = false;
    // Back early (SIGUSR1): the pending return must not take it away again.
    m_vanishTimer.stop();
    serve();
    emit reappeared(m_port.devicePath());
    return true;
}

void SimServer::readInput()
{
    if (!m_port.isOpen())
        return;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_port.fd(), buf, sizeof buf);
        if (n > 0) {
            for (const QByteArray& request : m_framer.Feed(QByteArray(buf, n)))
                handle(request);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        // A device that went away (a USB adapter pulled): try again later.
        emit problem(QStringLiteral("%1 was lost").arg(m_port.devicePath()));
        stop();
        m_vanished = true;
        m_vanishTimer.start(1000);
        return;
    }
}

void SimServer::handle(const QByteArray& request)
{
    const int address = SimBus::addressOf(request);
    const SimFaults& f = m_options.faults;
    std::optional<QByteArray> reply;
    if (!f.silent.contains(address))
        reply = m_bus.answer(request, now());
    if (!reply) {
        emit exchanged(request, {});
        return;
    }
    ++m_replies;
    if (every(f.refuseEvery))
        *reply = simReply(reply->mid(1, 2), request.mid(3, 3), "NG");
    emit exchanged(request, *reply);

    QByteArray bytes = *reply;
    if (every(f.garbageEvery))
        bytes.prepend(noise(*reply));
    if (!m_held.isEmpty()) {
        bytes.prepend(m_held);
        m_held.clear();
    } else if (every(f.joinEvery)) {
        m_held = bytes;
        return;
    }
    const qint64 wireBits = f.wireBaud > 0 ? (request.size() + bytes.size()) * 10 : 0;
    const qint64 wireMs = f.wireBaud > 0 ? (wireBits * 1000 + f.wireBaud - 1) / f.wireBaud : 0;
    const qint64 due = now() + wireMs + std::max(0, f.replyDelayMs)
        + (every(f.lateEvery) ? std::max(0, f.lateByMs) : 0);
    const int pieces = every(f.splitEvery) ? std::clamp(f.splitPieces, 1, int(bytes.size())) : 1;
    qsizetype from = 0;
    for (int i = 0; i < pieces; ++i) {
        const qsizetype to = bytes.size() * (i + 1) / pieces;
        enqueue(due + qint64(i) * f.splitGapMs, bytes.mid(from, to - from));
        from = to;
    }
    writeDue();
}

void SimServer::enqueue(qint64 due, const QByteArray& bytes)
{
    const auto at = std::upper_bound(m_out.begin(), m_out.end(), due,
                                     [](qint64 d, const Outgoing& o) { return d < o.due; });
    m_out.insert(at, Outgoing{due, bytes});
}

void SimServer::writeDue()
{
    const qint64 t = now();
    while (m_port.isOpen() && !m_out.isEmpty() && m_out.first().due <= t) {
        QByteArray& bytes = m_out.first().bytes;
        const ssize_t n = ::write(m_port.fd(), bytes.constData(), size_t(bytes.size()));
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR)
                m_out.clear();   // the port went bad; readInput notices and reopens
            break;
        }
        m_bytesWritten += n;
        bytes.remove(0, n);
        if (!bytes.isEmpty())
            break;   // the line is full: the rest goes out shortly
        m_out.removeFirst();
    }
    schedule();
}

qsizetype SimServer::bytesQueued() const
{
    qsizetype n = m_held.size();
    for (const Outgoing& o : m_out)
        n += o.bytes.size();
    return n;
}

void SimServer::schedule()
{
    if (m_out.isEmpty() || !m_port.isOpen()) {
        m_outTimer.stop();
        return;
    }
    // A reply that is due but did not fit is retried shortly, not in a spin.
    const qint64 wait = m_out.first().due - now();
    m_outTimer.start(int(wait > 0 ? std::min<qint64>(wait, 60000) : 10));
}
