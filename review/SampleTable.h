#pragma once
#include "settings/Regional.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstring>
#include <vector>

// Sample lines of a record file as read: the file's bytes and where each line
// starts. A line ends at the next LF (a CR before it is not part of the line)
// or at the end of the bytes; its fields are found when asked for, so a large
// file costs little more than its own size.
struct RowChunk {
    QByteArray bytes;
    std::vector<quint32> starts;

    [[nodiscard]] qsizetype rows() const { return qsizetype(starts.size()); }
    [[nodiscard]] QByteArrayView line(qsizetype row) const
    {
        const char* begin = bytes.constData() + starts[size_t(row)];
        const char* end = bytes.constData() + bytes.size();
        if (const void* lf = std::memchr(begin, '\n', size_t(end - begin))) {
            end = static_cast<const char*>(lf);
            if (end > begin && end[-1] == '\r')
                --end;
        }
        return QByteArrayView(begin, end - begin);
    }
    // The raw bytes of field `column` (0 = Date/Time) of row `row`: the text
    // between its column-th ";" and the next (or the line end). A view
    // without data when the line has fewer fields.
    [[nodiscard]] QByteArrayView field(qsizetype row, int column) const
    {
        return fieldOf(line(row), column);
    }
    static QByteArrayView fieldOf(QByteArrayView line, int column)
    {
        const char* p = line.data();
        if (!p)
            return {};
        const char* end = p + line.size();
        for (int k = 0; k < column; ++k) {
            const void* sep = std::memchr(p, ';', size_t(end - p));
            if (!sep)
                return {};
            p = static_cast<const char*>(sep) + 1;
        }
        const void* sep = std::memchr(p, ';', size_t(end - p));
        return QByteArrayView(p, sep ? static_cast<const char*>(sep) : end);
    }
    [[nodiscard]] qsizetype memoryBytes() const
    {
        return bytes.capacity() + qsizetype(starts.capacity() * sizeof(quint32));
    }
};

// Cuts bytes[from, to) into sample lines (ending at LF or CR LF; a lone CR
// stays in the line). Empty lines carry no sample and are left out.
[[nodiscard]] RowChunk scanSampleLines(QByteArray bytes, qsizetype from, qsizetype to);

// "#,##0" with the regional thousands separator.
[[nodiscard]] QString groupedCount(qint64 n, const Regional& regional);

// The sample grid: "Date/Time", one column per channel (at least one, titled
// "Caption" when the set has none) and, once a file is loaded, "횟수".
class SampleTable {
public:
    SampleTable();

    // The empty view: "Date/Time" and "Caption", no rows, no count column.
    void clear();
    // The layout of a loaded file: the channels' captions, then "횟수".
    void setChannels(const QStringList& captions, const Regional& regional);
    void append(RowChunk&& chunk);

    [[nodiscard]] bool loaded() const { return m_loaded; }
    [[nodiscard]] int columnCount() const { return int(m_headers.size()); }
    [[nodiscard]] QString header(int column) const { return m_headers.value(column); }
    [[nodiscard]] const QStringList& headers() const { return m_headers; }
    [[nodiscard]] qint64 sampleCount() const { return m_rows; }
    // Date/Time plus the channel columns: the fields a sample line supplies.
    [[nodiscard]] int fieldColumns() const { return m_fieldColumns; }
    [[nodiscard]] int countColumn() const { return m_loaded ? m_fieldColumns : -1; }

    // The grid text of a cell: the field as written, "0" for an empty or
    // missing channel field, the row number with digit grouping in "횟수".
    // `maxBytes` >= 0 decodes only that many bytes of a long field.
    [[nodiscard]] QString cell(qint64 row, int column, qsizetype maxBytes = -1) const;
    // The raw bytes of a field column (0 = Date/Time); without data when missing.
    [[nodiscard]] QByteArrayView field(qint64 row, int column) const;
    // A sample line as written, without its line end.
    [[nodiscard]] QByteArrayView line(qint64 row) const;
    // The field columns of a row at once (one pass over the line); missing
    // fields are views without data.
    void fields(qint64 row, std::vector<QByteArrayView>& out) const;

    [[nodiscard]] qsizetype memoryBytes() const;

private:
    std::vector<RowChunk> m_chunks;
    std::vector<qint64> m_firstRow; // first table row of each chunk
    qint64 m_rows = 0;
    QStringList m_headers;
    int m_fieldColumns = 2;
    bool m_loaded = false;
    Regional m_regional;
};

// Code page 949 bytes as text; ASCII takes a fast path, invalid bytes give U+FFFD.
[[nodiscard]] QString decodeAnsi(QByteArrayView bytes);
[[nodiscard]] bool isAscii(QByteArrayView bytes);
