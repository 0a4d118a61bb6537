#include "review/RecordSeries.h"

#include "review/WorkbookCell.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();
constexpr int kStampLength = 15; // YYYYMMDD/HHNNSS

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                             1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

int digits(const char* p, int n)
{
    int v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 10 + (p[i] - '0');
    return v;
}

// The value texts the monitoring window writes: [-]d{1,3}(,ddd)*[.d+] in the
// regional separators, exact for up to 18 digits. Reads from p and returns
// where the number stops (at the first byte that belongs to none), or
// nullptr when what it read is no such number.
const char* plainNumber(const char* p, const char* end, char thousands, char decimal, double& value)
{
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+'))
        negative = *p++ == '-';
    quint64 mantissa = 0;
    int count = 0, group = -1, firstGroup = 0;
    for (; p < end; ++p) {
        const char c = *p;
        if (digit(c)) {
            mantissa = mantissa * 10 + quint64(c - '0');
            ++count;
            if (group >= 0)
                ++group;
            else
                ++firstGroup;
        } else if (c == thousands && thousands != decimal) {
            if (group >= 0 ? group != 3 : (firstGroup < 1 || firstGroup > 3))
                return nullptr;
            group = 0;
        } else {
            break;
        }
    }
    if (group >= 0 && group != 3)
        return nullptr;
    int fraction = 0;
    if (p < end && *p == decimal) {
        for (++p; p < end && digit(*p); ++p, ++fraction, ++count)
            mantissa = mantissa * 10 + quint64(*p - '0');
    }
    if (count == 0 || count > 18)
        return nullptr;
    const double v = double(mantissa) / kPow10[fraction];
    value = negative ? -v : v;
    return p;
}

// How value fields read: the plain form of the monitoring window's texts in
// place (no copy, no allocation), else anything a workbook reads as a number.
class ValueReader {
public:
    explicit ValueReader(const Regional& regional) : m_regional(regional)
    {
        const char16_t thousands = regional.thousands.unicode(), decimal = regional.decimal.unicode();
        m_plain = thousands < 0x80 && decimal < 0x80;
        m_thousands = char(thousands);
        m_decimal = char(decimal);
    }

    // The whole of a field as a number.
    [[nodiscard]] std::optional<double> field(QByteArrayView field) const
    {
        const char* end = field.data() + field.size();
        double v;
        if (m_plain && plainNumber(field.data(), end, m_thousands, m_decimal, v) == end)
            return v;
        return typed(field);
    }

    // The field that starts at p and runs to the next ';' or the line's end;
    // `next` becomes that ';', or nullptr at the line's end.
    [[nodiscard]] std::optional<double> next(const char* p, const char* lineEnd, const char*& next) const
    {
        double v;
        const char* stop = m_plain ? plainNumber(p, lineEnd, m_thousands, m_decimal, v) : nullptr;
        if (stop && (stop == lineEnd || *stop == ';')) {
            next = stop < lineEnd ? stop : nullptr;
            return v;
        }
        next = static_cast<const char*>(std::memchr(p, ';', size_t(lineEnd - p)));
        return typed(QByteArrayView(p, next ? next : lineEnd));
    }

private:
    [[nodiscard]] std::optional<double> typed(QByteArrayView field) const
    {
        const CellValue cell = isAscii(field) ? interpretTyped(field.data(), field.size(), m_regional)
                                              : interpretTyped(decodeAnsi(field), m_regional);
        if (cell.kind != CellValue::Kind::Number)
            return std::nullopt;
        return cell.number;
    }

    const Regional& m_regional;
    bool m_plain = false;
    char m_thousands = 0;
    char m_decimal = 0;
};

// A sample line's value fields, from the separator after its stamp (nullptr:
// the line has no more fields), into row r of each channel: NaN where a field
// is empty, missing or does not read as a number.
void readValues(const ValueReader& reader, const char* sep, const char* lineEnd, const std::vector<float*>& out,
                qsizetype r, LineCounts& counts)
{
    for (float* channel : out) {
        float& value = channel[r];
        if (!sep) {
            value = kNaNf; // missing: the line is shorter
            ++counts.emptyValues;
            continue;
        }
        const char* p = sep + 1;
        if (p == lineEnd || *p == ';') {
            value = kNaNf;
            ++counts.emptyValues;
            sep = p < lineEnd ? p : nullptr;
            continue;
        }
        const std::optional<double> read = reader.next(p, lineEnd, sep);
        if (!read)
            ++counts.badValues;
        value = read ? float(*read) : kNaNf;
    }
}

// The day of the last stamp read, so most stamps need no calendar work.
struct StampReader {
    int day = -1;
    qint64 dayStart = 0;
    bool dayUniform = false; // no change of UTC offset within the day

    double key(QByteArrayView field);
};

double StampReader::key(QByteArrayView field)
{
    const char* p = field.data();
    bool plain = field.size() == kStampLength && !digit(p[8]);
    for (int i = 0; plain && i < kStampLength; ++i)
        plain = i == 8 || digit(p[i]);
    if (plain) {
        const int d = digits(p, 8);
        const int h = digits(p + 9, 2), m = digits(p + 11, 2), s = digits(p + 13, 2);
        if (d == day && dayUniform && h < 24 && m < 60 && s < 60)
            return double(dayStart + h * 3600 + m * 60 + s);
    }
    const std::optional<QDateTime> stamp = readRecordStamp(field);
    if (!stamp)
        return kNaN;
    const QDate date = stamp->date();
    const QDateTime midnight = date.startOfDay();
    day = date.year() * 10000 + date.month() * 100 + date.day();
    dayStart = midnight.toSecsSinceEpoch();
    // A day with a change of clock (summer time) takes the slow way for each stamp.
    dayUniform = midnight.offsetFromUtc() == date.addDays(1).startOfDay().offsetFromUtc()
        && date.addDays(1).startOfDay().toSecsSinceEpoch() - dayStart == 86400;
    return double(stamp->toSecsSinceEpoch());
}

} // namespace

bool isRecordStamp(QByteArrayView field)
{
    const char* p = field.data();
    if (field.size() != kStampLength || digit(p[8]))
        return false;
    for (int i = 0; i < kStampLength; ++i)
        if (i != 8 && !digit(p[i]))
            return false;
    return QDate::isValid(digits(p, 4), digits(p + 4, 2), digits(p + 6, 2))
        && QTime::isValid(digits(p + 9, 2), digits(p + 11, 2), digits(p + 13, 2));
}

std::optional<QDateTime> readRecordStamp(QByteArrayView field)
{
    if (!isRecordStamp(field))
        return std::nullopt;
    const char* p = field.data();
    return QDateTime(QDate(digits(p, 4), digits(p + 4, 2), digits(p + 6, 2)),
                     QTime(digits(p + 9, 2), digits(p + 11, 2), digits(p + 13, 2)));
}

bool appendPlainNumber(QByteArray& out, QByteArrayView field, const Regional& regional)
{
    const char16_t th = regional.thousands.unicode(), dec = regional.decimal.unicode();
    if (th >= 0x80 || dec >= 0x80 || field.isEmpty())
        return false;
    const char* p = field.data();
    const char* end = p + field.size();
    double value;
    if (plainNumber(p, end, char(th), char(dec), value) != end)
        return false;
    // The same digits without groups, leading zeros or trailing fraction zeros.
    char text[48];
    int n = 0;
    if (*p == '-' || *p == '+')
        ++p;
    if (value < 0)
        text[n++] = '-';
    bool leading = true;
    for (; p < end && *p != char(dec); ++p) {
        if (*p == char(th) || (leading && *p == '0'))
            continue;
        leading = false;
        text[n++] = *p;
    }
    if (leading)
        text[n++] = '0';
    if (p < end) {
        const char* last = end;
        while (last > p + 1 && last[-1] == '0')
            --last;
        if (last > p + 1) {
            text[n++] = '.';
            for (++p; p < last; ++p)
                text[n++] = *p;
        }
    }
    out.append(text, n);
    return true;
}

std::optional<double> readRecordValue(QByteArrayView field, const Regional& regional)
{
    if (field.isEmpty())
        return std::nullopt;
    return ValueReader(regional).field(field);
}

void RecordSeries::reset(int channels, double intervalSeconds, const Regional& regional)
{
    m_keys = {};
    m_channels = std::vector<Channel>(size_t(std::max(channels, 0)));
    m_regional = regional;
    m_gap = std::max(2.0, 2.0 * (std::isfinite(intervalSeconds) ? intervalSeconds : 0.0));
    m_counts = {};
}

void RecordSeries::resize(qint64 rows)
{
    const size_t n = size_t(std::max<qint64>(rows, 0));
    m_keys.resize(n);
    m_keys.shrink_to_fit();
    for (Channel& c : m_channels) {
        c.values.resize(n);
        c.values.shrink_to_fit();
    }
}

LineCounts RecordSeries::readRows(const RowChunk& chunk, qint64 at, qsizetype first, qsizetype end)
{
    LineCounts counts;
    StampReader stamps;
    const ValueReader reader(m_regional);
    std::vector<float*> out(m_channels.size());
    for (size_t c = 0; c < out.size(); ++c)
        out[c] = m_channels[c].values.data() + at;
    double* keys = m_keys.data() + at;
    for (qsizetype r = first; r < end; ++r) {
        const QByteArrayView line = chunk.line(r);
        const char* lineEnd = line.data() + line.size();
        const char* sep = static_cast<const char*>(std::memchr(line.data(), ';', size_t(line.size())));
        keys[r] = stamps.key(QByteArrayView(line.data(), sep ? sep : lineEnd));
        if (!std::isnan(keys[r])) {
            readValues(reader, sep, lineEnd, out, r, counts);
            continue;
        }
        // Kept as a row (the table lists it), drawn without values.
        ++counts.badStamps;
        for (float* channel : out)
            channel[r] = kNaNf;
    }
    return counts;
}

void RecordSeries::fixKeys(qint64 from)
{
    // Lines before the first readable stamp are drawn at its time, not at 1970.
    double first = 0.0;
    for (double key : m_keys)
        if (!std::isnan(key)) {
            first = key;
            break;
        }
    for (size_t r = size_t(std::max<qint64>(from, 0)); r < m_keys.size(); ++r) {
        const double previous = r > 0 ? m_keys[r - 1] : first;
        double& key = m_keys[r];
        if (std::isnan(key))
            key = previous; // at the time before it
        else if (r > 0 && key < previous)
            key = previous; // stamps going back (clock set back): drawn at the time reached
    }
}

void RecordSeries::buildBlocks(int firstChannel, int endChannel, qint64 from)
{
    const size_t rows = m_keys.size();
    for (int c = std::max(firstChannel, 0); c < std::min(endChannel, channels()); ++c) {
        Channel& ch = m_channels[size_t(c)];
        const size_t firstBlock = size_t(std::max<qint64>(from, 0)) / kBlock;
        ch.blocks.resize(std::min(ch.blocks.size(), firstBlock));
        ch.blocks.reserve((rows + kBlock - 1) / kBlock);
        for (size_t i = firstBlock * kBlock; i < rows; i += kBlock) {
            Block b{std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(), 0, 0};
            const size_t end = std::min(rows, i + size_t(kBlock));
            for (size_t j = i; j < end; ++j) {
                const float v = ch.values[j];
                if (std::isnan(v))
                    continue;
                b.min = std::min(b.min, v);
                b.max = std::max(b.max, v);
                b.sum += v;
                ++b.count;
            }
            ch.blocks.push_back(b);
        }
    }
}

void RecordSeries::append(const RowChunk& chunk)
{
    const qint64 base = rows();
    if (chunk.rows() == 0)
        return;
    m_keys.resize(size_t(base + chunk.rows()));
    for (Channel& c : m_channels)
        c.values.resize(m_keys.size());
    m_counts += readRows(chunk, base, 0, chunk.rows());
    fixKeys(base);
    buildBlocks(0, channels(), base);
}

qsizetype RecordSeries::memoryBytes() const
{
    qsizetype total = qsizetype(m_keys.capacity() * sizeof(double));
    for (const Channel& c : m_channels)
        total += qsizetype(c.values.capacity() * sizeof(float) + c.blocks.capacity() * sizeof(Block));
    return total;
}

std::pair<qint64, qint64> RecordSeries::rowsIn(double from, double to) const
{
    const auto first = std::lower_bound(m_keys.begin(), m_keys.end(), from);
    const auto end = std::upper_bound(first, m_keys.end(), to);
    return {first - m_keys.begin(), end - m_keys.begin()};
}

qint64 RecordSeries::nearestRow(double key) const
{
    if (m_keys.empty())
        return -1;
    const qint64 after = std::lower_bound(m_keys.begin(), m_keys.end(), key) - m_keys.begin();
    if (after == 0)
        return 0;
    if (after == rows())
        return rows() - 1;
    return key - m_keys[size_t(after - 1)] <= m_keys[size_t(after)] - key ? after - 1 : after;
}

RangeStats RecordSeries::stats(int channel, qint64 first, qint64 end) const
{
    RangeStats s;
    if (channel < 0 || channel >= channels())
        return s;
    first = std::clamp<qint64>(first, 0, rows());
    end = std::clamp<qint64>(end, first, rows());
    const Channel& ch = m_channels[size_t(channel)];
    double lo = std::numeric_limits<double>::infinity(), hi = -lo, sum = 0;
    const auto take = [&](qint64 from, qint64 to) {
        for (qint64 i = from; i < to; ++i) {
            const float v = ch.values[size_t(i)];
            if (std::isnan(v))
                continue;
            lo = std::min<double>(lo, v);
            hi = std::max<double>(hi, v);
            sum += v;
            ++s.count;
        }
    };
    qint64 i = first;
    const qint64 headEnd = std::min(end, (first + kBlock - 1) / kBlock * kBlock);
    take(i, headEnd);
    for (i = headEnd; i + kBlock <= end; i += kBlock) {
        const Block& b = ch.blocks[size_t(i / kBlock)];
        if (b.count == 0)
            continue;
        lo = std::min<double>(lo, b.min);
        hi = std::max<double>(hi, b.max);
        sum += b.sum;
        s.count += b.count;
    }
    take(std::max(i, headEnd), end);
    if (s.count > 0) {
        s.min = lo;
        s.max = hi;
        s.mean = sum / double(s.count);
    }
    return s;
}

std::vector<qint64> RecordSeries::pixelColumns(double from, double to, int columns) const
{
    std::vector<qint64> starts;
    if (m_keys.empty() || !(to > from))
        return starts;
    auto [lo, hi] = rowsIn(from, to);
    lo = std::max<qint64>(0, lo - 1);
    hi = std::min(rows(), hi + 1);
    columns = std::max(columns, 1);
    if (hi - lo <= 2 * qint64(columns)) {
        starts.reserve(size_t(hi - lo + 1));
        for (qint64 r = lo; r <= hi; ++r)
            starts.push_back(r);
        return starts;
    }
    const double width = (to - from) / columns;
    starts.reserve(size_t(columns) + 3);
    for (qint64 j = lo; j < hi;) {
        starts.push_back(j);
        const double columnEnd = from + (std::floor((m_keys[size_t(j)] - from) / width) + 1) * width;
        j = std::max<qint64>(j + 1, std::lower_bound(m_keys.begin() + j + 1, m_keys.begin() + hi, columnEnd)
                                        - m_keys.begin());
    }
    starts.push_back(hi);
    return starts;
}

std::vector<ChartPoint> RecordSeries::tracePoints(int channel, const std::vector<qint64>& columns, double scale) const
{
    std::vector<ChartPoint> points;
    if (channel < 0 || channel >= channels() || columns.size() < 2)
        return points;
    const std::vector<float>& values = m_channels[size_t(channel)].values;
    points.reserve(columns.size() * 2 + 8);
    for (size_t c = 0; c + 1 < columns.size(); ++c) {
        const qint64 a = columns[c], b = columns[c + 1];
        if (a > 0 && c > 0 && jumpsBefore(a))
            points.push_back({(m_keys[size_t(a - 1)] + m_keys[size_t(a)]) / 2, kNaN});
        if (b - a == 1) {
            points.push_back({m_keys[size_t(a)], double(values[size_t(a)]) * scale});
            continue;
        }
        const double x = (m_keys[size_t(a)] + m_keys[size_t(b - 1)]) / 2;
        const RangeStats s = stats(channel, a, b);
        if (s.count == 0) {
            points.push_back({x, kNaN});
            continue;
        }
        const float first = values[size_t(a)], last = values[size_t(b - 1)];
        const bool falling = !std::isnan(first) && !std::isnan(last) && last < first;
        points.push_back({x, (falling ? s.max : s.min) * scale});
        if (s.max != s.min)
            points.push_back({x, (falling ? s.min : s.max) * scale});
    }
    return points;
}
