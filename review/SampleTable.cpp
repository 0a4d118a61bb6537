#include "review/SampleTable.h"

#include <QStringDecoder>
#include <algorithm>
#include <cstring>

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

namespace {

bool isTrailByte(unsigned char c)
{
    return (c >= 0x41 && c <= 0x5A) || (c >= 0x61 && c <= 0x7A) || (c >= 0x81 && c <= 0xFE);
}

} // namespace

QString decodeAnsi(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    // Only whole two-byte sequences reach the decoder, so it never holds a
    // byte over to the next field; every byte that starts no sequence becomes
    // U+FFFD, and so does a sequence the code page leaves unassigned (which
    // the decoder gives as SUB).
    // Windows code page 949 (ICU's "CP949" is IBM's table, without the extended Hangul).
    thread_local QStringDecoder decoder("windows-949");
    QString text;
    text.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype j = i;
        if (p[i] < 0x80) {
            while (j < n && p[j] < 0x80)
                ++j;
            text += QLatin1StringView(bytes.data() + i, j - i);
        } else if (p[i] >= 0x81 && p[i] <= 0xFE && i + 1 < n && isTrailByte(p[i + 1])) {
            while (j + 1 < n && p[j] >= 0x81 && p[j] <= 0xFE && isTrailByte(p[j + 1]))
                j += 2;
            QString pairs = decoder.isValid() ? decoder.decode(bytes.sliced(i, j - i)) : QString();
            pairs.replace(QChar(0x1A), QChar(0xFFFD));
            text += pairs.isEmpty() ? QString((j - i) / 2, QChar(0xFFFD)) : pairs;
        } else {
            text += QChar(0xFFFD);
            j = i + 1;
        }
        i = j;
    }
    return text;
}

QString groupedCount(qint64 n, const Regional& regional)
{
    QString digits = QString::number(n < 0 ? -n : n);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, regional.thousands);
    return n < 0 ? QLatin1Char('-') + digits : digits;
}

RowChunk scanSampleLines(QByteArray bytes, qsizetype from, qsizetype to)
{
    RowChunk chunk;
    const char* data = bytes.constData();
    from = std::clamp<qsizetype>(from, 0, bytes.size());
    to = std::clamp<qsizetype>(to, from, bytes.size());
    qsizetype p = from;
    while (p < to) {
        const char* lf = static_cast<const char*>(std::memchr(data + p, '\n', size_t(to - p)));
        const qsizetype next = lf ? lf - data + 1 : to;
        const qsizetype length = next - p - (lf ? 1 : 0);
        // A CR before the LF ends the line with it; a lone CR at the end is text.
        if (length > 1 || (length == 1 && (data[p] != '\r' || !lf)))
            chunk.starts.push_back(quint32(p));
        p = next;
    }
    if (to < bytes.size())
        bytes.truncate(to);
    chunk.bytes = std::move(bytes);
    return chunk;
}

SampleTable::SampleTable()
{
    clear();
}

void SampleTable::clear()
{
    m_chunks.clear();
    m_firstRow.clear();
    m_rows = 0;
    m_headers = QStringList{QStringLiteral("Date/Time"), QStringLiteral("Caption")};
    m_fieldColumns = 2;
    m_loaded = false;
}

void SampleTable::setChannels(const QStringList& captions, const Regional& regional)
{
    clear();
    m_regional = regional;
    m_headers = QStringList{QStringLiteral("Date/Time")};
    if (captions.isEmpty())
        m_headers << QStringLiteral("Caption");
    else
        m_headers << captions;
    m_fieldColumns = int(m_headers.size());
    m_headers << QStringLiteral("횟수");
    m_loaded = true;
}

void SampleTable::append(RowChunk&& chunk)
{
    if (chunk.rows() == 0)
        return;
    m_firstRow.push_back(m_rows);
    m_rows += chunk.rows();
    m_chunks.push_back(std::move(chunk));
}

QByteArrayView SampleTable::line(qint64 row) const
{
    if (row < 0 || row >= m_rows)
        return {};
    const auto it = std::upper_bound(m_firstRow.begin(), m_firstRow.end(), row) - 1;
    return m_chunks[size_t(it - m_firstRow.begin())].line(row - *it);
}

QByteArrayView SampleTable::field(qint64 row, int column) const
{
    if (row < 0 || row >= m_rows || column < 0 || column >= m_fieldColumns)
        return {};
    return RowChunk::fieldOf(line(row), column);
}

void SampleTable::fields(qint64 row, std::vector<QByteArrayView>& out) const
{
    out.assign(size_t(m_fieldColumns), QByteArrayView());
    const QByteArrayView text = line(row);
    const char* p = text.data();
    const char* end = p + text.size();
    for (int c = 0; c < m_fieldColumns && p; ++c) {
        const char* sep = static_cast<const char*>(std::memchr(p, ';', size_t(end - p)));
        out[size_t(c)] = QByteArrayView(p, sep ? sep : end);
        p = sep ? sep + 1 : nullptr;
    }
}

QString SampleTable::cell(qint64 row, int column, qsizetype maxBytes) const
{
    if (row < 0 || row >= m_rows || column < 0 || column >= columnCount())
        return {};
    if (column == countColumn())
        return groupedCount(row + 1, m_regional);
    QByteArrayView bytes = field(row, column);
    if (bytes.isEmpty())
        return column == 0 ? QString() : QStringLiteral("0");
    if (maxBytes >= 0 && bytes.size() > maxBytes)
        return decodeAnsi(bytes.first(maxBytes)) + QChar(0x2026);
    return decodeAnsi(bytes);
}

qsizetype SampleTable::memoryBytes() const
{
    qsizetype total = 0;
    for (const RowChunk& c : m_chunks)
        total += c.memoryBytes();
    return total;
}
