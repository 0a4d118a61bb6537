// Record files (.kmr) of the data viewer: arbitrary bytes on /dev/shm, read
// with fuzzed block sizes and line limits, shown through the sample table.
//
// Input: byte 0 picks the field count, byte 1 the block size (0: the default),
// byte 2 the line limit (0: the default); the rest is the file.
//
// Checked: reading a block at a time gives the rows of reading the whole file
// at once, except that a line past the limit may be cut to exactly the limit;
// no block holds more than a block and a line; the header name holds no
// separator and ends line 1; every cell decodes.
#include "fuzz/FuzzInput.h"
#include "review/RecordReader.h"
#include "review/SampleTable.h"
#include "settings/KeloError.h"

#include <cstdint>
#include <vector>

namespace {

struct Row {
    QByteArray line;
    std::vector<quint32> seps; // relative to the line start, kNoMark kept
    bool operator==(const Row&) const = default;
};

void collect(const RowChunk& chunk, std::vector<Row>& rows)
{
    for (qsizetype r = 0; r < chunk.rows(); ++r) {
        const quint32 start = chunk.lines[size_t(2 * r)], end = chunk.lines[size_t(2 * r + 1)];
        FUZZ_CHECK(start <= end && end <= quint32(chunk.bytes.size()), "line marks lie in the chunk");
        Row row{chunk.bytes.mid(start, end - start), {}};
        // Separator k is found as the byte before field k + 1.
        for (int k = 1; k <= chunk.fields; ++k) {
            const QByteArrayView f = chunk.field(r, k);
            const qsizetype sep = f.data() ? f.data() - 1 - chunk.bytes.constData() : -1;
            FUZZ_CHECK(sep < 0 || (sep >= qsizetype(start) && sep < qsizetype(end) && chunk.bytes[sep] == ';'),
                       "separator marks point at ';' in the line");
            row.seps.push_back(sep < 0 ? RowChunk::kNoMark : quint32(sep - start));
        }
        rows.push_back(std::move(row));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int fields = data[0] % 10;
    const QByteArray file(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));
    // At most about 64 blocks per input, so a run stays fast. Inputs are far
    // smaller than the default block, which therefore reads the whole file at
    // once; a block just past the file size does the same without faulting in
    // 2 MiB of fresh pages on every run.
    const qsizetype block = data[1] == 0 ? std::min(RecordReader::kDefaultBlock, file.size() + 1)
                                         : std::max<qsizetype>(data[1], file.size() / 64 + 1);
    const qsizetype maxLine = data[2] == 0 ? RecordReader::kMaxLine : qsizetype(data[2]);

    const QString path = fuzzScratchFile("run.kmr");
    fuzzWriteFile(path, file.constData(), size_t(file.size()));

    const QString header = readRecordHeaderLine(path);
    const QString name = headerNameOf(header);
    FUZZ_CHECK(header.endsWith(name), "the header name ends line 1");
    FUZZ_CHECK(!name.contains(u'/') && !name.contains(u'\\') && !name.contains(u':'), "the header name is bare");
    if (isPlainFileName(name))
        FUZZ_CHECK(name != u"." && name != u".." && !name.isEmpty(), "a plain name names a file");

    std::vector<Row> expected;
    const qsizetype firstLf = file.indexOf('\n');
    if (firstLf >= 0)
        collect(scanSampleLines(file, firstLf + 1, file.size(), fields), expected);

    SampleTable table;
    QStringList captions;
    for (int c = 1; c < fields; ++c)
        captions << QStringLiteral("Zone %1").arg(c);
    table.setChannels(captions, Regional::plain());
    const bool tableFits = table.fieldColumns() == fields;

    std::vector<Row> got;
    RecordReader reader(path, fields, block, maxLine);
    FUZZ_CHECK(reader.fileSize() == file.size(), "file size");
    for (int guard = 0; !reader.atEnd(); ++guard) {
        FUZZ_CHECK(guard <= file.size() + 2, "reading ends");
        RowChunk chunk = reader.readBlock();
        FUZZ_CHECK(chunk.bytes.size() <= block + maxLine, "a block holds at most a block and a line");
        collect(chunk, got);
        if (tableFits)
            table.append(std::move(chunk));
    }
    FUZZ_CHECK(reader.bytesRead() == file.size(), "every byte is read");

    FUZZ_CHECK(got.size() == expected.size(), "block reading gives the rows of whole reading");
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] == expected[i])
            continue;
        FUZZ_CHECK(expected[i].line.size() > maxLine && got[i].line == expected[i].line.left(maxLine),
                   "a row differs only when its line passed the limit, cut there");
    }

    if (tableFits) {
        FUZZ_CHECK(table.sampleCount() == qint64(got.size()), "the table holds every row");
        for (qint64 r = 0; r < std::min<qint64>(table.sampleCount(), 64); ++r)
            for (int c = 0; c < table.columnCount(); ++c) {
                (void)table.cell(r, c);
                (void)table.cell(r, c, data[0] % 7);
            }
    }
    return 0;
}
