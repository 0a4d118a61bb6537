// kelo_publish_bench [seconds [latency|drain]]
//
// Against a real mosquitto on 127.0.0.1 (default configuration but for the
// listener and a large per-client queue), with a libmosquitto (C) subscriber
// on the same machine:
// 1. Latency at 1,000 channels: one tick a second for the given seconds
//    (default 30); from the tick (the payload's "time" and the call) to the
//    arrival of the tick's last message: median, p99, max, with a subscriber
//    at QoS 0 and one at QoS 1 (as a historian takes it).
// 2. Headroom: 1,000 channels ten times a second for 10 s.
// 3. Drain: 120,000 messages queued while the broker is away; from the
//    publisher's reconnect until the subscriber (a persistent QoS 1 session,
//    so it misses nothing while the broker is away) has them all.
// 4. A full queue: the memory of kMaxQueuedMessages messages of a 30-channel
//    set while the broker is away, and the call time of a 30-channel sample.
#include "TestBroker.h"
#include "publish/MqttPublisher.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mosquitto.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Receives the values under a prefix and notes, per seq, how many arrived and when the last one did.
class Receiver {
public:
    Receiver(quint16 port, const QByteArray& filter, int qos, const QByteArray& persistentId = {})
    {
        mosquitto_lib_init();
        m_mosq = persistentId.isEmpty() ? mosquitto_new(nullptr, true, this)
                                        : mosquitto_new(persistentId.constData(), false, this);
        mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
        mosquitto_message_callback_set(m_mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
            static_cast<Receiver*>(self)->received(m);
        });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Receiver*>(self)->m_subscribed = true;
        });
        mosquitto_connect(m_mosq, "127.0.0.1", port, 60);
        mosquitto_subscribe(m_mosq, nullptr, filter.constData(), qos);
        mosquitto_loop_start(m_mosq);
        (void)QTest::qWaitFor([this] { return m_subscribed.load(); }, 10000);
    }
    ~Receiver()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    void reset()
    {
        std::lock_guard lock(m_mutex);
        m_ticks.clear();
        m_count = 0;
    }
    [[nodiscard]] std::size_t count() const { return m_count.load(); }
    struct Tick {
        int messages = 0;
        qint64 lastNs = 0;     // steady clock
        qint64 lastWallMs = 0; // wall clock, against the payload's time
        qint64 payloadMs = 0;
    };
    [[nodiscard]] std::map<qint64, Tick> ticks()
    {
        std::lock_guard lock(m_mutex);
        return m_ticks;
    }

private:
    void received(const mosquitto_message* m)
    {
        const qint64 at = nowNs();
        const qint64 wall = QDateTime::currentMSecsSinceEpoch();
        const QByteArray payload(static_cast<const char*>(m->payload), m->payloadlen);
        const qsizetype s = payload.indexOf("\"seq\":");
        const qint64 seq = s < 0 ? -1 : std::atoll(payload.constData() + s + 6);
        std::lock_guard lock(m_mutex);
        Tick& t = m_ticks[seq];
        if (t.messages++ == 0)
            t.payloadMs = QDateTime::fromString(QString::fromLatin1(payload.mid(9, payload.indexOf('"', 9) - 9)), Qt::ISODateWithMs)
                              .toMSecsSinceEpoch();
        t.lastNs = at;
        t.lastWallMs = wall;
        ++m_count;
    }

    mosquitto* m_mosq = nullptr;
    std::atomic<bool> m_subscribed{false};
    std::mutex m_mutex;
    std::map<qint64, Tick> m_ticks;
    std::atomic<std::size_t> m_count{0};
};

struct Summary {
    double median, p99, max;
};

Summary summarize(std::vector<double> values)
{
    if (values.empty())
        return {0, 0, 0};
    std::sort(values.begin(), values.end());
    auto at = [&](double q) { return values[std::min(values.size() - 1, std::size_t(q * double(values.size())))]; };
    return {at(0.5), at(0.99), values.back()};
}

ChannelSet channelSet(int count)
{
    ChannelSet set{QStringLiteral("Bench"), QStringLiteral("1000"), {}};
    for (int c = 0; c < count; ++c)
        set.channels.append({QStringLiteral("%1").arg(c / 100 + 1, 2, 10, QLatin1Char('0')), QStringLiteral("Zone %1").arg(c),
                             QStringLiteral("%1").arg(c % 100, 4, 10, QLatin1Char('0')), "1", "1200", "0", "255"});
    return set;
}

QList<SampleValue> values(int count, int tick)
{
    QList<SampleValue> v;
    for (int c = 0; c < count; ++c) {
        const double value = 100.0 + (tick + c) % 900 / 10.0;
        v.append({value, QString::number(value, 'f', 1)});
    }
    return v;
}

// `samples` ticks of `channels` channels every `periodMs`, to a subscriber at qos.
void sustained(const TestBroker& broker, int channels, int periodMs, int samples, int qos)
{
    static int run = 0;
    const QString prefix = QStringLiteral("bench%1").arg(++run); // no retained values of an earlier run
    Receiver receiver(broker.port(), (prefix + "/+/+").toUtf8(), qos);
    MqttPublisher publisher(MqttSettings{broker.url(prefix), {}, {}, {}, {}, {}});
    publisher.start();
    (void)QTest::qWaitFor([&] { return publisher.state() == MqttPublisher::State::Connected; }, 10000);
    (void)publisher.beginRun(channelSet(channels));
    std::vector<double> callUs, ackedMs;
    std::vector<qint64> calledAt;
    qint64 maxQueued = 0;
    const auto start = Clock::now() + std::chrono::milliseconds(300);
    for (int s = 0; s < samples; ++s) {
        // Waiting for the tick, note when the broker has acknowledged the last one.
        const auto at = start + std::chrono::milliseconds(qint64(s) * periodMs);
        const qint64 target = publisher.counters().delivered + publisher.counters().queued + publisher.counters().inFlight;
        bool acked = s == 0;
        while (Clock::now() < at) {
            if (!acked && publisher.counters().delivered >= target) {
                ackedMs.push_back(double(nowNs() - calledAt.back()) / 1e6);
                acked = true;
            }
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const QList<SampleValue> v = values(channels, s);
        const qint64 t0 = nowNs();
        publisher.publishSample(QDateTime::currentDateTime(), v);
        callUs.push_back(double(nowNs() - t0) / 1e3);
        calledAt.push_back(t0);
        maxQueued = std::max(maxQueued, publisher.counters().queued);
    }
    const std::size_t expected = std::size_t(channels) * std::size_t(samples);
    (void)QTest::qWaitFor([&] { return receiver.count() >= expected; }, 60000);
    std::vector<double> fromCall, fromTime;
    for (const auto& [seq, tick] : receiver.ticks()) {
        if (seq < 1 || seq > samples || tick.messages < channels)
            continue;
        fromCall.push_back(double(tick.lastNs - calledAt[std::size_t(seq - 1)]) / 1e6);
        fromTime.push_back(double(tick.lastWallMs - tick.payloadMs));
    }
    const Summary call = summarize(callUs), done = summarize(fromCall), stamped = summarize(fromTime),
                  acked = summarize(ackedMs);
    std::printf("  %d channels every %d ms, %d ticks, subscriber at QoS %d: received %zu of %zu, complete ticks %zu, "
                "dropped %lld, most queued %lld\n",
                channels, periodMs, samples, qos, receiver.count(), expected, fromCall.size(),
                publisher.counters().dropped, maxQueued);
    std::printf("  publishSample call: median %.0f us, p99 %.0f us, max %.0f us\n", call.median, call.p99, call.max);
    std::printf("  tick's last message acknowledged by the broker, from the call: median %.1f ms, p99 %.1f ms\n",
                acked.median, acked.p99);
    std::printf("  tick's last message received, from the call: median %.1f ms, p99 %.1f ms, max %.1f ms\n",
                done.median, done.p99, done.max);
    std::printf("  ... from the payload's time (ms clock): median %.0f ms, p99 %.0f ms, max %.0f ms\n", stamped.median,
                stamped.p99, stamped.max);
}

// An outage's backlog: the broker goes away, 120,000 values queue up, the
// broker comes back. From the publisher's reconnect to the subscriber (a
// persistent session, so it misses nothing while the broker is away) having
// them all.
void drain(int qos)
{
    constexpr int kChannels = 1000;
    const int ticks = int(MqttPublisher::kMaxQueuedMessages / kChannels);
    TestBroker::Options options;
    options.persistence = true;
    TestBroker broker(options);
    if (!broker.start()) {
        std::printf("  %s\n", qPrintable(broker.error()));
        return;
    }
    Receiver receiver(broker.port(), "drain/+/+", qos, QByteArray("kelo-drain-") + QByteArray::number(qos));
    // Room for the values and the run's list and state before them.
    MqttPublisher publisher(MqttEndpoint::fromSettings({broker.url("drain"), {}, {}, {}, {}, {}}), nullptr,
                            MqttPublisher::kMaxQueuedMessages + 2);
    publisher.start();
    (void)publisher.beginRun(channelSet(kChannels));
    (void)QTest::qWaitFor([&] { return publisher.state() == MqttPublisher::State::Connected; }, 10000);
    QTest::qWait(500);
    receiver.reset();
    broker.stop();
    (void)QTest::qWaitFor([&] { return publisher.state() == MqttPublisher::State::Away; }, 10000);
    for (int s = 0; s < ticks; ++s)
        publisher.publishSample(QDateTime::currentDateTime(), values(kChannels, s));
    const qint64 queued = publisher.counters().queued;
    const qint64 t0 = nowNs();
    if (!broker.start()) {
        std::printf("  %s\n", qPrintable(broker.error()));
        return;
    }
    (void)QTest::qWaitFor([&] { return publisher.state() == MqttPublisher::State::Connected; }, 60000);
    const qint64 t1 = nowNs();
    const std::size_t expected = std::size_t(ticks) * kChannels;
    (void)QTest::qWaitFor([&] { return receiver.count() >= expected; }, 120000);
    const double drained = double(nowNs() - t1) / 1e9;
    std::printf("  %lld messages queued in an outage, subscriber at QoS %d: reconnected %.2f s after the broker's "
                "return, then all %zu received in %.2f s (%.0f a second), dropped %lld\n",
                queued, qos, double(t1 - t0) / 1e9, receiver.count(), drained, double(receiver.count()) / drained,
                publisher.counters().dropped);
}

long residentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;
}

void fullQueue()
{
    MqttPublisher away(MqttEndpoint::fromSettings({QStringLiteral("mqtt://127.0.0.1:%1/bench").arg(TestBroker::freePort()), {}, {}, {}, {}, {}}));
    away.start();
    (void)away.beginRun(channelSet(30));
    const long before = residentKb();
    std::vector<double> callUs;
    const int samples = int(MqttPublisher::kMaxQueuedMessages / 30);
    for (int s = 0; s < samples; ++s) {
        const QList<SampleValue> v = values(30, s);
        const qint64 t0 = nowNs();
        away.publishSample(QDateTime::currentDateTime(), v);
        callUs.push_back(double(nowNs() - t0) / 1e3);
    }
    const long after = residentKb();
    const Summary call = summarize(callUs);
    std::printf("  %lld messages queued: resident memory +%.1f MiB (%.0f bytes a message)\n",
                away.counters().queued, double(after - before) / 1024.0,
                double(after - before) * 1024.0 / double(std::max<qint64>(1, away.counters().queued)));
    std::printf("  publishSample of 30 channels: median %.1f us, p99 %.1f us\n", call.median, call.p99);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    TestBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(broker.error()));
        return 1;
    }
    if (only.isEmpty()) {
        std::printf("Broker away:\n");
        fullQueue();
    }
    if (only.isEmpty() || only == "latency") {
        std::printf("Latency at 1,000 channels:\n");
        sustained(broker, 1000, 1000, seconds, 0);
        sustained(broker, 1000, 1000, seconds, 1);
    }
    if (only.isEmpty()) {
        std::printf("Headroom:\n");
        sustained(broker, 1000, 100, 100, 1);
    }
    if (only.isEmpty() || only == "drain") {
        std::printf("Drain of an outage's backlog:\n");
        drain(1);
    }
    return 0;
}
