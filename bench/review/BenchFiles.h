#pragma once
#include "settings/FuncP.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <ctime>

// A record file as the monitoring window writes it: line 1 the header name,
// then `lines` samples of `channels` values, written in pieces so that making
// it does not raise the peak memory being measured.
inline qint64 writeBenchRecord(const QString& path, qint64 lines, int channels)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    file.write("bench.khd\r\n");
    static const char* const values[] = {"123.4", "1,205", "0", "-1.0", "1,234.5", "87", "0.123", "-5", "999.9", "12"};
    QByteArray block;
    for (qint64 i = 0; i < lines; ++i) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "20240105/%06lld;", (long long)(i % 240000));
        block += stamp;
        for (int c = 0; c < channels; ++c) {
            block += values[(i + c) % 10];
            block += ';';
        }
        block += "\r\n";
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
    return file.size();
}

inline QByteArray benchSet(int channels)
{
    // Colours as R + 256·G + 65536·B, one per channel in turn.
    static const int colours[] = {255, 65280, 16711680, 65535, 16776960, 16711935, 33023, 8454016, 16744576, 12632256};
    QByteArray set = "Bench;1000\r\n";
    for (int c = 1; c <= channels; ++c)
        set += "01;CH" + QByteArray::number(c) + ";0001;1;1200;-100;" + QByteArray::number(colours[(c - 1) % 10])
            + "\r\n";
    return set;
}

// Resident memory in bytes: the current size, or the peak since the last reset.
inline qint64 residentBytes(const char* field /* "VmRSS:" or "VmHWM:" */)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

// Starts a new peak measurement (Linux: "5" resets the peak resident size).
inline void resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// CPU time of the process in seconds (the machine may be shared, so wall time
// alone says little).
inline double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

inline constexpr double kMonthSpike = 5000.0;

// Consecutive stamps one second apart from 2024-01-01 00:00:00; eight
// channels wander between 5 and 95 with one decimal ("57.3"), two around
// 1,100 as whole numbers ("1,205"); one spike in the middle of channel 3.
// Lines [outageFrom, outageTo) are left out, as when the run was stopped.
inline qint64 writeMonthRecord(const QString& path, qint64 lines, int channels, qint64 outageFrom = -1,
                               qint64 outageTo = -1)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    file.write("bench.khd\r\n");
    QByteArray block;
    QDateTime day(QDate(2024, 1, 1), QTime(0, 0));
    QByteArray dayText = day.toString(QStringLiteral("yyyyMMdd")).toLatin1();
    for (qint64 i = 0; i < lines; ++i) {
        const qint64 second = i % 86400;
        if (i > 0 && second == 0) {
            day = day.addDays(1);
            dayText = day.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        }
        if (i >= outageFrom && i < outageTo)
            continue;
        char text[48];
        std::snprintf(text, sizeof text, "%s/%02d%02d%02d;", dayText.constData(), int(second / 3600),
                      int(second / 60 % 60), int(second % 60));
        block += text;
        for (int c = 0; c < channels; ++c) {
            const double wave = std::sin(double(i) / 5400.0 + c) + double((i * 7 + c * 13) % 10) / 100.0;
            if (c == 2 && i == lines / 2 + 17) {
                std::snprintf(text, sizeof text, "%d.0;", int(kMonthSpike));
            } else if (c == 0 || c == 5) {
                const int v = int(std::lround(1100 + 300 * wave));
                if (v >= 1000)
                    std::snprintf(text, sizeof text, "%d,%03d;", v / 1000, v % 1000);
                else
                    std::snprintf(text, sizeof text, "%d;", v);
            } else {
                const int tenths = int(std::lround((50 + 45 * wave) * 10));
                std::snprintf(text, sizeof text, "%d.%d;", tenths / 10, tenths % 10);
            }
            block += text;
        }
        block += "\r\n";
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
    return file.size();
}

// Makes `folder` the program folder with a set of `channels` channels in
// Monitor/bench.khd; the path of a record file named `recordName` beside it,
// or "" when the set cannot be written.
inline QString prepareBenchFolder(const QString& folder, int channels, const QString& recordName)
{
    SetProgramPath(folder);
    QDir(folder).mkdir(QStringLiteral("Monitor"));
    QFile set(QDir(MonitorDir()).filePath(QStringLiteral("bench.khd")));
    if (!set.open(QIODevice::WriteOnly) || set.write(benchSet(channels)) < 0)
        return {};
    return QDir(MonitorDir()).filePath(recordName);
}
