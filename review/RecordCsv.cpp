#include "review/RecordCsv.h"

#include "review/RecordSeries.h"

#include <charconv>

QByteArray csvField(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
        return utf8;
    utf8.replace("\"", "\"\"");
    return '"' + utf8 + '"';
}

bool writeRecordCsv(QIODevice& out, const SampleTable& table, qint64 first, qint64 end, const Regional& regional)
{
    QByteArray buffer = "\xEF\xBB\xBF";
    const int fields = table.fieldColumns();
    for (int c = 0; c < fields; ++c) {
        if (c > 0)
            buffer += ',';
        buffer += csvField(table.header(c));
    }
    buffer += "\r\n";
    first = std::clamp<qint64>(first, 0, table.sampleCount());
    end = std::clamp<qint64>(end, first, table.sampleCount());
    char number[32];
    for (qint64 r = first; r < end; ++r) {
        const QByteArrayView stamp = table.field(r, 0);
        if (readRecordStamp(stamp)) { // YYYYMMDD/HHNNSS -> YYYY-MM-DDTHH:NN:SS
            const char* p = stamp.data();
            const char iso[] = {p[0], p[1], p[2], p[3], '-', p[4], p[5], '-', p[6], p[7], 'T',
                                p[9], p[10], ':', p[11], p[12], ':', p[13], p[14]};
            buffer.append(iso, sizeof iso);
        }
        for (int c = 1; c < fields; ++c) {
            buffer += ',';
            if (const std::optional<double> v = readRecordValue(table.field(r, c), regional)) {
                const auto [ptr, ec] = std::to_chars(number, number + sizeof number, *v);
                buffer.append(number, ec == std::errc() ? ptr - number : 0);
            }
        }
        buffer += "\r\n";
        if (buffer.size() > (1 << 20)) {
            if (out.write(buffer) != buffer.size())
                return false;
            buffer.clear();
        }
    }
    return out.write(buffer) == buffer.size();
}
