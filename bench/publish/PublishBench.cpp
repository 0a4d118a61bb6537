// kelo_publish_bench [seconds]
//
// 1. Latency: single-channel samples every 5 ms; time from publishSample to a
//    subscriber's receipt (QoS 0 subscription, same machine), median and p99.
// 2. Sustained: 1,000 channels sampled every second for the given seconds
//    (default 30): time per publishSample call, and time until the last of
//    the 1,000 messages reached the subscriber.
// 3. Headroom: 1,000 channels ten times a second for 10 s.
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

// Receives everything under a topic filter and notes when each value arrived.
class Receiver {
public:
    explicit Receiver(quint16 port)
    {
        mosquitto_lib_init();
        m_mosq = mosquitto_new("kelo-bench-sub", true, this);
        mosquitto_message_callback_set(m_mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
            static_cast<Receiver*>(self)->received(m);
        });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Receiver*>(self)->m_subscribed = true;
        });
        mosquitto_connect(m_mosq, "127.0.0.1", port, 60);
        mosquitto_subscribe(m_mosq, nullptr, "bench/+/+", 0);
        mosquitto_loop_start(m_mosq);
        (void)QTest::qWaitFor([this] { return m_subscribed.load(); }, 10000);
    }
    ~Receiver()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    void reset(std::size_t expected)
    {
        std::lock_guard lock(m_mutex);
        m_arrivals.assign(expected, 0);
        m_count = 0;
    }
    [[nodiscard]] std::size_t count() const { return m_count.load(); }
    [[nodiscard]] std::vector<qint64> arrivals()
    {
        std::lock_guard lock(m_mutex);
        return m_arrivals;
    }

private:
    void received(const mosquitto_message* m)
    {
        const qint64 at = nowNs();
        const QByteArray payload(static_cast<const char*>(m->payload), m->payloadlen);
        const qsizetype v = payload.indexOf("\"value\":");
        const long long seq = v < 0 ? -1 : std::atoll(payload.constData() + v + 8);
        std::lock_guard lock(m_mutex);
        if (seq >= 0 && std::size_t(seq) < m_arrivals.size() && m_arrivals[std::size_t(seq)] == 0) {
            m_arrivals[std::size_t(seq)] = at;
            ++m_count;
        }
    }

    mosquitto* m_mosq = nullptr;
    std::atomic<bool> m_subscribed{false};
    std::mutex m_mutex;
    std::vector<qint64> m_arrivals;
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

QList<PublishedChannel> channelSet(int count)
{
    QList<PublishedChannel> channels;
    for (int c = 0; c < count; ++c)
        channels.append({QStringLiteral("%1").arg(c / 100 + 1, 2, 10, QLatin1Char('0')),
                         QStringLiteral("%1").arg(c % 100, 4, 10, QLatin1Char('0')), QStringLiteral("Zone %1").arg(c),
                         "1", 0.0, "0.0", true});
    return channels;
}

void waitUntil(Clock::time_point at)
{
    while (Clock::now() < at) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// Samples of `channels` channels every `periodMs` for `samples` samples.
void sustained(MqttPublisher& publisher, Receiver& receiver, int channels, int periodMs, int samples)
{
    QList<PublishedChannel> set = channelSet(channels);
    receiver.reset(std::size_t(channels) * std::size_t(samples));
    std::vector<double> callUs, lastMs;
    std::vector<qint64> calledAt;
    qint64 maxQueued = 0;
    const auto start = Clock::now() + std::chrono::milliseconds(100);
    for (int s = 0; s < samples; ++s) {
        waitUntil(start + std::chrono::milliseconds(qint64(s) * periodMs));
        for (int c = 0; c < channels; ++c) {
            set[c].value = double(qint64(s) * channels + c);
            set[c].text = QString::number(*set[c].value);
        }
        const qint64 t0 = nowNs();
        publisher.publishSample(QDateTime::currentDateTime(), set);
        const qint64 t1 = nowNs();
        callUs.push_back(double(t1 - t0) / 1e3);
        calledAt.push_back(t0);
        maxQueued = std::max(maxQueued, publisher.counters().queued);
    }
    const std::size_t expected = std::size_t(channels) * std::size_t(samples);
    (void)QTest::qWaitFor([&] { return receiver.count() >= expected; }, 60000);
    const std::vector<qint64> arrivals = receiver.arrivals();
    for (int s = 0; s < samples; ++s) {
        qint64 last = 0;
        for (int c = 0; c < channels; ++c)
            last = std::max(last, arrivals[std::size_t(s) * std::size_t(channels) + std::size_t(c)]);
        if (last > 0)
            lastMs.push_back(double(last - calledAt[std::size_t(s)]) / 1e6);
    }
    const Summary call = summarize(callUs);
    const Summary done = summarize(lastMs);
    std::printf("  %d channels every %d ms, %d samples: received %zu of %zu, dropped %lld, most queued %lld\n",
                channels, periodMs, samples, receiver.count(), expected, publisher.counters().dropped, maxQueued);
    std::printf("  publishSample call: median %.0f us, p99 %.0f us, max %.0f us\n", call.median, call.p99, call.max);
    std::printf("  call to last of the sample's messages received: median %.1f ms, p99 %.1f ms, max %.1f ms\n",
                done.median, done.p99, done.max);
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
    MqttPublisher away(MqttEndpoint::fromSettings({QStringLiteral("mqtt://127.0.0.1:%1/bench").arg(TestBroker::freePort()), {}, {}, {}}));
    away.start();
    QList<PublishedChannel> set = channelSet(30);
    const long before = residentKb();
    std::vector<double> callUs;
    const int samples = int(MqttPublisher::kMaxQueuedMessages / 30);
    for (int s = 0; s < samples; ++s) {
        for (PublishedChannel& c : set) {
            c.value = 1234.5 + s;
            c.text = QString::number(*c.value, 'f', 1);
        }
        const qint64 t0 = nowNs();
        away.publishSample(QDateTime::currentDateTime(), set);
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
    TestBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(broker.error()));
        return 1;
    }
    Receiver receiver(broker.port());
    MqttPublisher publisher(MqttSettings{broker.url("bench"), {}, {}, {}});
    publisher.start();
    if (!QTest::qWaitFor([&] { return publisher.state() == MqttPublisher::State::Connected; }, 10000)) {
        std::fprintf(stderr, "no connection: %s\n", qPrintable(publisher.stateMessage()));
        return 1;
    }

    std::printf("Latency, one channel every 5 ms, 2000 samples:\n");
    {
        const int samples = 2000;
        receiver.reset(samples);
        QList<PublishedChannel> one = channelSet(1);
        std::vector<qint64> calledAt;
        const auto start = Clock::now() + std::chrono::milliseconds(50);
        for (int s = 0; s < samples; ++s) {
            waitUntil(start + std::chrono::milliseconds(5 * s));
            one[0].value = s;
            calledAt.push_back(nowNs());
            publisher.publishSample(QDateTime::currentDateTime(), one);
        }
        (void)QTest::qWaitFor([&] { return receiver.count() >= std::size_t(samples); }, 10000);
        const std::vector<qint64> arrivals = receiver.arrivals();
        std::vector<double> latencyMs;
        for (int s = 0; s < samples; ++s) {
            if (arrivals[std::size_t(s)] > 0)
                latencyMs.push_back(double(arrivals[std::size_t(s)] - calledAt[std::size_t(s)]) / 1e6);
        }
        const Summary l = summarize(latencyMs);
        std::printf("  received %zu of %d; call to receipt: median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                    latencyMs.size(), samples, l.median, l.p99, l.max);
    }

    std::printf("Sustained:\n");
    sustained(publisher, receiver, 1000, 1000, seconds);
    std::printf("Headroom:\n");
    sustained(publisher, receiver, 1000, 100, 100);
    std::printf("Broker away:\n");
    fullQueue();
    return 0;
}
