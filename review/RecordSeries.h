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
// Whether it reads as one, without the calendar work of the local time.
[[nodiscard]] bool isRecordStamp(QByteArrayView field);
// A value field as a number: digit groups and decimal in the regional
// notation, or anything a workbook reads as a number. Nothing when it does
// not read, and nothing for an empty field (no value was written).
[[nodiscard]] std::optional<double> readRecordValue(QByteArrayView field, const Regional& regional);

// Appends a value field in the plain form of the monitoring window's texts as
// a number's digits ("1,234.50" as 1234.5, "-0.0" as 0); false (and nothing
// appended) for any other text.
bool appendPlainNumber(QByteArray& out, QByteArrayView field, const Regional& regional);

// What a pass over sample lines met besides plain numbers.
struct LineCounts {
    qint64 badValues = 0;   // fields that do not read as numbers
    qint64 emptyValues = 0; // empty fields and the missing fields of short lines
    qint64 badStamps = 0;   // lines whose stamp does not read
    LineCounts& operator+=(const LineCounts& o)
    {
        badValues += o.badValues;
        emptyValues += o.emptyValues;
        badStamps += o.badStamps;
        return *this;
    }
};

// The samples of a record as numbers, one entry per table row, for the chart:
// each row's time (seconds since the epoch) and each channel's value (NaN
// where the field is empty, missing or does not read as a number, so the
// trace has a gap there).
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
    // Appends every row of a chunk whose field 0 is the stamp and fields 1..
    // the channels (the chunk the table receives next).
    void append(const RowChunk& chunk);

    // Filling in parallel: resize() to the rows to come, readRows() of
    // disjoint row ranges from any threads at once, then completeRows() for
    // the rows from `from` on (stamps made monotonic, block summaries; the
    // blocks of a channel range may again run on threads of their own).
    void resize(qint64 rows);
    // Chunk rows [first, end) go to series rows at + first ...
    [[nodiscard]] LineCounts readRows(const RowChunk& chunk, qint64 at, qsizetype first, qsizetype end);
    void fixKeys(qint64 from);
    void buildBlocks(int firstChannel, int endChannel, qint64 from);
    void addCounts(const LineCounts& counts) { m_counts += counts; }

    [[nodiscard]] int channels() const { return int(m_channels.size()); }
    [[nodiscard]] qint64 rows() const { return qint64(m_keys.size()); }
    [[nodiscard]] double key(qint64 row) const { return m_keys[size_t(row)]; }
    [[nodiscard]] double value(int channel, qint64 row) const { return m_channels[size_t(channel)].values[size_t(row)]; }
    [[nodiscard]] double gapSeconds() const { return m_gap; }
    // Fields that did not read as numbers; empty or missing fields; lines
    // whose stamp did not read.
    [[nodiscard]] qint64 badValues() const { return m_counts.badValues; }
    [[nodiscard]] qint64 emptyValues() const { return m_counts.emptyValues; }
    [[nodiscard]] qint64 badStamps() const { return m_counts.badStamps; }
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

    [[nodiscard]] bool jumpsBefore(qint64 row) const { return m_keys[size_t(row)] - m_keys[size_t(row - 1)] > m_gap; }

    std::vector<double> m_keys;
    std::vector<Channel> m_channels;
    Regional m_regional;
    double m_gap = 2.0;
    LineCounts m_counts;
};
