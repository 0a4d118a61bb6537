// Scanning sample lines for a set of many channels: memory follows the lines
// that carry samples, not the line ends of the file.
#include "review/SampleTable.h"

#include <gtest/gtest.h>

TEST(SampleScanLimit, LineEndsOnlyWithAHundredThousandChannelsNeedNoMarksUpFront)
{
    // Once this reserved lines × channels marks: 40 GB for a 100 kB file.
    const QByteArray bytes(100000, '\n');
    const RowChunk chunk = scanSampleLines(bytes, 0, bytes.size(), 100001);
    EXPECT_EQ(chunk.rows(), 0);
    EXPECT_LE(chunk.marks.capacity(), size_t(bytes.size()) + size_t(chunk.stride));
}

TEST(SampleScanLimit, SampleLinesAmongEmptyOnesKeepTheirFields)
{
    const QByteArray bytes = QByteArray(5000, '\n') + "20240105/143022;1;2;\r\n" + QByteArray(5000, '\n')
        + "20240105/143023;3;\r\n";
    const RowChunk chunk = scanSampleLines(bytes, 0, bytes.size(), 1001);
    ASSERT_EQ(chunk.rows(), 2);
    const auto field = [&](qsizetype row, int k) {
        const quint32* m = chunk.marks.data() + row * chunk.stride;
        const quint32 begin = k == 0 ? m[0] : m[1 + k] + 1;
        const quint32 end = m[2 + k] == RowChunk::kNoMark ? m[1] : m[2 + k];
        return bytes.mid(begin, end - begin);
    };
    EXPECT_EQ(field(0, 0), "20240105/143022");
    EXPECT_EQ(field(0, 2), "2");
    EXPECT_EQ(field(1, 1), "3");
    EXPECT_EQ(chunk.marks[1 * chunk.stride + 2 + 3], RowChunk::kNoMark);
}
