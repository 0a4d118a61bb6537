#pragma once
#include "settings/Regional.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <limits>
#include <vector>

// Sample lines of a record file as read: the file's bytes and, per line, where
// it starts and ends and where its first separators lie. Cells are decoded
// only when asked for, so a large file costs little more than its own size.
struct RowChunk {
    static constexpr quint32 kNoMark = std::numeric_limits<quint32>::max();
    static constexpr quint16 kNoSep = std::numeric_limits<quint16>::max();
    // Lines shorter than this keep their separators as two-byte offsets.
    static constexpr qsizetype kNarrowLine = kNoSep;

    QByteArray bytes;
    // Per row: line start and line end (without CR LF).
    std::vector<quint32> lines;
    // Per row `fields` positions of its first ";": offsets from the line
    // start (kNoSep when the line has fewer) while every line of the chunk is
    // shorter than kNarrowLine, which is nearly always and halves the marks;
    // otherwise positions in `bytes` in `wideSeps` (kNoMark when missing).
    std::vector<quint16> seps;
    std::vector<quint32> wideSeps;
    bool wideMarks = false;
    int fields = 0;

    [[nodiscard]] qsizetype rows() const { return qsizetype(lines.size()) / 2; }
    [[nodiscard]] bool wide() const { return wideMarks; }
    // The raw bytes of field `column` (0 = Date/Time) of row `row`; empty
    // when the line has fewer fields or the column was not marked.
    [[nodiscard]] QByteArrayView field(qsizetype row, int column) const
    {
        if (column < 0 || column > fields)
            return {};
        const quint32 lineStart = lines[size_t(2 * row)], lineEnd = lines[size_t(2 * row + 1)];
        quint32 start = lineStart, end = lineEnd;
        const size_t at = size_t(row) * size_t(fields) + size_t(column);
        if (wide()) {
            if (column > 0) {
                if (wideSeps[at - 1] == kNoMark)
                    return {};
                start = wideSeps[at - 1] + 1;
            }
            if (column < fields && wideSeps[at] != kNoMark)
                end = wideSeps[at];
        } else {
            if (column > 0) {
                if (seps[at - 1] == kNoSep)
                    return {};
                start = lineStart + seps[at - 1] + 1u;
            }
            if (column < fields && seps[at] != kNoSep)
                end = lineStart + seps[at];
        }
        return QByteArrayView(bytes.constData() + start, qsizetype(end - start));
    }
    [[nodiscard]] qsizetype memoryBytes() const
    {
        return bytes.capacity() + qsizetype(lines.capacity() * sizeof(quint32) + seps.capacity() * sizeof(quint16)
                                            + wideSeps.capacity() * sizeof(quint32));
    }
};

// Cuts bytes[from, to) into sample lines (ending at LF or CR LF; a lone CR
// stays in the line) and marks the first `fields` separators of each, so its
// first `fields` fields (and what follows) can be found. Empty lines carry no
// sample and are left out.
[[nodiscard]] RowChunk scanSampleLines(QByteArray bytes, qsizetype from, qsizetype to, int fields);

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
    // The raw bytes of a field column (0 = Date/Time); empty when missing.
    [[nodiscard]] QByteArrayView field(qint64 row, int column) const;

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
