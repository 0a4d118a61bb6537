// The alarm book's work at one sample of 1,000 channels, each with a high
// and a low limit, a hysteresis and an on-delay:
//   Steady      every value inside its band: nothing changes (the usual sample)
//   Churn/N     N channels cross a limit and back every sample, each change
//               said to a listener (the window's list and the publisher)
//   Lost        every tenth channel lost by the miss rule
//   Flood       every channel's high alarm raised at once and written to
//               the alarm log (one write a line, one open of the file a
//               sample, synced at most once a second)
#include "alarms/AlarmBook.h"
#include "alarms/AlarmLog.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kChannels = 1000;

AlarmSettings limits(int delaySeconds)
{
    AlarmSettings s;
    for (int c = 0; c < kChannels; ++c) {
        ChannelAlarmDef d;
        d.high = 850.0 + c % 7;
        d.low = 100.0;
        d.hysteresis = 2.0;
        d.onDelaySeconds = delaySeconds;
        d.priority = c % 2 ? AlarmPriority::Alarm : AlarmPriority::Warning;
        s.channels.append(d);
    }
    return s;
}

QStringList captions()
{
    QStringList list;
    for (int c = 1; c <= kChannels; ++c)
        list << QStringLiteral("Zone %1").arg(c);
    return list;
}

void Steady(benchmark::State& state)
{
    AlarmBook book;
    book.setSettings(limits(5), captions());
    std::vector<std::optional<double>> values(kChannels, 500.0);
    const std::vector<bool> lost(kChannels, false);
    const QDateTime now = QDateTime::currentDateTime();
    qint64 ms = 0;
    for (auto _ : state) {
        book.evaluate(now, ms += 1000, values, lost);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Steady)->Unit(benchmark::kMicrosecond);

void Churn(benchmark::State& state)
{
    AlarmBook book;
    book.setSettings(limits(0), captions());
    qint64 said = 0;
    QObject::connect(&book, &AlarmBook::changed, [&said](const AlarmTransition& t) { said += t.key.channel; });
    std::vector<std::optional<double>> values(kChannels, 500.0);
    const std::vector<bool> lost(kChannels, false);
    const QDateTime now = QDateTime::currentDateTime();
    const int n = int(state.range(0));
    qint64 ms = 0;
    bool over = false;
    for (auto _ : state) {
        over = !over;
        for (int c = 0; c < n; ++c)
            values[size_t(c * (kChannels / n))] = over ? 900.0 : 500.0;
        book.evaluate(now, ms += 1000, values, lost);
        if (!over)
            book.acknowledgeAll(now);
    }
    benchmark::DoNotOptimize(said);
}
BENCHMARK(Churn)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

void Lost(benchmark::State& state)
{
    AlarmBook book;
    book.setSettings(limits(5), captions());
    std::vector<std::optional<double>> values(kChannels, 500.0);
    std::vector<bool> lost(kChannels, false);
    for (int c = 0; c < kChannels; c += 10) {
        values[size_t(c)].reset();
        lost[size_t(c)] = true;
    }
    const QDateTime now = QDateTime::currentDateTime();
    qint64 ms = 0;
    for (auto _ : state)
        book.evaluate(now, ms += 1000, values, lost);
}
BENCHMARK(Lost)->Unit(benchmark::kMicrosecond);

void Flood(benchmark::State& state)
{
    QTemporaryDir dir;
    AlarmLog log;
    log.setPath(dir.filePath("flood.alarms.csv"));
    const QStringList names = captions();
    AlarmBook book;
    book.setSettings(limits(0), names);
    QObject::connect(&book, &AlarmBook::changed,
                     [&](const AlarmTransition& t) { log.keep(t, names[t.key.channel - 1]); });
    std::vector<std::optional<double>> values(kChannels, 500.0);
    const std::vector<bool> lost(kChannels, false);
    const QDateTime now = QDateTime::currentDateTime();
    qint64 ms = 0;
    bool over = false;
    for (auto _ : state) {
        over = !over;
        std::fill(values.begin(), values.end(), over ? 900.0 : 500.0);
        book.evaluate(now, ms += 1000, values, lost);
        if (!over)
            book.acknowledgeAll(now);
        (void)log.retry(nullptr); // as the feed writes a sample's changes
    }
}
BENCHMARK(Flood)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the alarm log's sync timer
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
