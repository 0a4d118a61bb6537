#pragma once
#include "review/SampleTable.h"

#include <QDateTime>
#include <limits>
#include <optional>
#include <vector>

// One point of a drawn trace: time in seconds since the epoch and value.
struct ChartPoint {
    double key;
    double value;
    friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

struct RangeStats {
    static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    qint64 count = 0; // values that read as numbers
    double min = kNone;
    double mean = kNone;
    double max = kNone;
};

// A sample line's "YYYYMMDD/HHNNSS" stamp (any one character between date
// and time) as local date and time; nothing when it does not read as one.
[[nodiscard]] std::optional<QDateTime> readRecordStamp(QByteArrayView field);
// A value field as the table shows it, as a number: an empty field is 0 (the
// table shows "0"); digit groups and decimal in the regional notation, or
// anything a workbook reads as a number. Nothing when it does not read.
[[nodiscard]] std::optional<double> readRecordValue(QByteArrayView field, const Regional& regional);

// The samples of a record as numbers, one entry per table row, for the chart:
// each row's time (seconds since the epoch) and each channel's value (NaN
// where the field does not read as a number, so the trace has a gap there).
// Blocks of rows keep their minimum, maximum and sum, so a trace can be
// reduced to its extremes per pixel column, and a range's statistics found,
// without visiting every sample.
class RecordSeries {
public:
    static constexpr qint64 kBlock = 64;

    // `intervalSeconds`: the set's sampling interval; stamps further apart
    // than two intervals (and at least two seconds, the stamps' resolution)
    // leave a gap.
    void reset(int channels, double intervalSeconds, const Regional& regional);
    void reserve(qint64 rows);
    // Appends every row of a chunk whose field 0 is the stamp and fields 1..
    // the channels (the chunk the table receives next).
    void append(const RowChunk& chunk);

    [[nodiscard]] int channels() const { return int(m_channels.size()); }
    [[nodiscard]] qint64 rows() const { return qint64(m_keys.size()); }
    [[nodiscard]] double key(qint64 row) const { return m_keys[size_t(row)]; }
    [[nodiscard]] double value(int channel, qint64 row) const { return m_channels[size_t(channel)].values[size_t(row)]; }
    [[nodiscard]] double gapSeconds() const { return m_gap; }
    // Fields that did not read as numbers; lines whose stamp did not read.
    [[nodiscard]] qint64 badValues() const { return m_badValues; }
    [[nodiscard]] qint64 badStamps() const { return m_badStamps; }
    [[nodiscard]] qsizetype memoryBytes() const;

    // Rows with from <= key <= to, as [first, end).
    [[nodiscard]] std::pair<qint64, qint64> rowsIn(double from, double to) const;
    // The row whose time is nearest to `key`; -1 when there are no rows.
    [[nodiscard]] qint64 nearestRow(double key) const;
    [[nodiscard]] RangeStats stats(int channel, qint64 first, qint64 end) const;

    // Rows of the time range [from, to] (and one beyond each end) grouped by
    // the pixel column of `columns` they fall into: returns the first row of
    // each non-empty column and, last, the end row. When the range holds few
    // rows, each row is a column of its own.
    [[nodiscard]] std::vector<qint64> pixelColumns(double from, double to, int columns) const;
    // A channel's trace over those columns, values times `scale`: a single row
    // as it is; a column of many rows as its minimum and maximum (in the
    // order they come), so no spike is lost; a NaN point where stamps jump
    // or a column has no number, which breaks the line.
    [[nodiscard]] std::vector<ChartPoint> tracePoints(int channel, const std::vector<qint64>& columns,
                                                      double scale = 1.0) const;

private:
    struct Block {
        float min;
        float max;
        double sum;
        qint32 count;
    };
    struct Channel {
        std::vector<float> values;
        std::vector<Block> blocks;
    };

    [[nodiscard]] double stampKey(QByteArrayView field);
    [[nodiscard]] bool jumpsBefore(qint64 row) const { return m_keys[size_t(row)] - m_keys[size_t(row - 1)] > m_gap; }

    std::vector<double> m_keys;
    std::vector<Channel> m_channels;
    Regional m_regional;
    double m_gap = 2.0;
    qint64 m_badValues = 0;
    qint64 m_badStamps = 0;
    // The day of the last stamp read, so most stamps need no calendar work.
    int m_day = -1;
    qint64 m_dayStart = 0;
    bool m_dayUniform = false; // no change of UTC offset within the day
};
