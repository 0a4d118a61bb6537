// What bringing the record to the disk costs: 1,000 channels sampled every
// 100 ms, the file synced so that no line waits more than a second. Each
// append is timed; those that synced are reported apart from those that did
// not, against plain appends of the same lines with the sync left out.
//   kelo_recorder_sync_bench [folder on the disk to measure, default: temp] [seconds, default 20]
#include "monitoring/RecordFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kChannels = 1000;
constexpr int kSamplingMs = 100;

struct Figures {
    std::vector<double> ms;
    void print(const char* name)
    {
        if (ms.empty()) {
            std::printf("%-28s none\n", name);
            return;
        }
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double v : ms)
            sum += v;
        std::printf("%-28s n=%-5zu mean %7.3f ms  p50 %7.3f  p99 %7.3f  max %7.3f\n", name, ms.size(),
                    sum / double(ms.size()), ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)],
                    ms.back());
    }
};

QByteArray line(int k)
{
    QStringList fields{QStringLiteral("20261210/0100%1").arg(k % 60, 2, 10, QLatin1Char('0'))};
    for (int c = 0; c < kChannels; ++c)
        fields << QStringLiteral("1,%1.5").arg(200 + (c + k) % 700);
    return sampleLine(fields);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const int ticks = seconds * 1000 / kSamplingMs;
    std::printf("%d channels, a line of %lld bytes every %d ms, %d lines, in %s\n", kChannels,
                static_cast<long long>(line(0).size()), kSamplingMs, ticks, qPrintable(folder));

    Figures synced, unsynced, plain;
    RecordFile record(folder + QStringLiteral("/sync_bench.kmr"), QStringLiteral("bench.khd"),
                      RecordFile::Naming::Replace);
    record.create();
    QFile same(folder + QStringLiteral("/plain_bench.kmr"));
    for (int k = 0; k < ticks; ++k) {
        const QByteArray bytes = line(k);
        QElapsedTimer t;
        t.start();
        QString error;
        if (!record.append(bytes, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        const double ms = double(t.nsecsElapsed()) / 1e6;
        (record.lastAppendSynced() ? synced : unsynced).ms.push_back(ms);
        // The same line the way it went before: open, append, close.
        t.restart();
        if (!same.open(QIODevice::WriteOnly | QIODevice::Append) || same.write(bytes) != bytes.size())
            return 1;
        same.close();
        plain.ms.push_back(double(t.nsecsElapsed()) / 1e6);
        QThread::msleep(kSamplingMs);
    }
    synced.print("append + sync");
    unsynced.print("append, sync not yet due");
    plain.print("append, never synced");
    std::printf("syncs: %zu in %d s\n", synced.ms.size(), seconds);
    QFile::remove(record.path());
    QFile::remove(same.fileName());
    return 0;
}
