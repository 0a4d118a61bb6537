#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>
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
    QByteArray set = "Bench;1000\r\n";
    for (int c = 1; c <= channels; ++c)
        set += "01;CH" + QByteArray::number(c) + ";0001;1;1200;-100;255\r\n";
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
