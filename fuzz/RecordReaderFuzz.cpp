// Record files (.kmr) of the data viewer: arbitrary bytes on /dev/shm, read
// in fuzzed pieces with fuzzed line limits, shown through the sample table.
//
// Input: byte 0 picks the field count, byte 1 the piece size (0: the default),
// byte 2 the line limit (0: the default); the rest is the file.
//
// Checked: reading in pieces on several threads gives the rows of reading the
// whole file at once, except that a line past the limit may be cut to exactly
// the limit; the header name holds no separator and ends line 1; every cell
// decodes.
#include "fuzz/FuzzInput.h"
#include "review/RecordReader.h"
#include "review/SampleTable.h"
#include "settings/KeloError.h"

#include <cstdint>
#include <vector>

namespace {

void collect(const RowChunk& chunk, std::vector<QByteArray>& rows)
{
    for (qsizetype r = 0; r < chunk.rows(); ++r) {
        const QByteArrayView line = chunk.line(r);
        FUZZ_CHECK(!line.isEmpty() && line.data() >= chunk.bytes.constData()
                       && line.data() + line.size() <= chunk.bytes.constData() + chunk.bytes.size(),
                   "a row is a line in the chunk");
        rows.push_back(line.toByteArray());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int fields = data[0] % 10;
    const QByteArray file(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));
    const qsizetype piece = data[1] == 0 ? ReadOptions::kPieceBytes : std::max<qsizetype>(data[1], file.size() / 64 + 1);
    const qsizetype maxLine = data[2] == 0 ? ReadOptions::kMaxLine : qsizetype(data[2]);

    const QString path = fuzzScratchFile("run.kmr");
    fuzzWriteFile(path, file.constData(), size_t(file.size()));

    const QString header = readRecordHeaderLine(path);
    const QString name = headerNameOf(header);
    FUZZ_CHECK(header.endsWith(name), "the header name ends line 1");
    FUZZ_CHECK(!name.contains(u'/') && !name.contains(u'\\') && !name.contains(u':'), "the header name is bare");
    if (isPlainFileName(name))
        FUZZ_CHECK(name != u"." && name != u".." && !name.isEmpty(), "a plain name names a file");

    std::vector<QByteArray> expected;
    const qsizetype firstLf = file.indexOf('\n');
    if (firstLf >= 0)
        collect(scanSampleLines(file, firstLf + 1, file.size()), expected);

    SampleTable table;
    QStringList captions;
    for (int c = 1; c < fields; ++c)
        captions << QStringLiteral("Zone %1").arg(c);
    table.setChannels(captions, Regional::plain());

    RecordReader reader(path, std::max(fields - 1, 0), 1.0, Regional::plain(),
                        {3, piece, maxLine});
    reader.run();
    FUZZ_CHECK(reader.failure().isEmpty() && !reader.outOfMemory(), "the file is read");
    std::vector<QByteArray> got;
    for (RowChunk& chunk : reader.takeRows()) {
        collect(chunk, got);
        table.append(std::move(chunk));
    }
    FUZZ_CHECK(reader.takeSeries().rows() == qint64(got.size()), "a number row per table row");

    FUZZ_CHECK(got.size() == expected.size(), "reading in pieces gives the rows of whole reading");
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] == expected[i])
            continue;
        FUZZ_CHECK(expected[i].size() > maxLine && expected[i].startsWith(got[i]),
                   "a row differs only when its line passed the limit, cut there");
    }

    FUZZ_CHECK(table.sampleCount() == qint64(got.size()), "the table holds every row");
    for (qint64 r = 0; r < std::min<qint64>(table.sampleCount(), 64); ++r)
        for (int c = 0; c < table.columnCount(); ++c) {
            (void)table.cell(r, c);
            (void)table.cell(r, c, data[0] % 7);
        }
    return 0;
}
