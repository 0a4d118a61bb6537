#include "review/RecordReader.h"
#include "settings/AnsiText.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class RecordReaderTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    QString write(const QByteArray& bytes)
    {
        const QString path = dir.filePath(QStringLiteral("run.kmr"));
        writeBytes(path, bytes);
        return path;
    }

    // The table as the grid shows it: one list of cell texts per row.
    std::vector<QStringList> rowsOf(const QByteArray& bytes, const QStringList& captions,
                                    qsizetype piece = ReadOptions::kPieceBytes,
                                    qsizetype maxLine = ReadOptions::kMaxLine)
    {
        SampleTable table;
        table.setChannels(captions, Regional::plain());
        readAllSamples(write(bytes), table, {3, piece, maxLine});
        std::vector<QStringList> rows;
        for (qint64 r = 0; r < table.sampleCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < table.columnCount(); ++c)
                cells << table.cell(r, c);
            rows.push_back(cells);
        }
        return rows;
    }
};

const QStringList kThree{"Zone 1", "Zone 2", "Zone 3"};

} // namespace

TEST_F(RecordReaderTest, HeaderNameIsTheTextAfterTheLastSeparator)
{
    const std::vector<std::pair<QString, QString>> table{
        {"furnace.khd", "furnace.khd"},
        {"C:\\data\\furnace.khd", "furnace.khd"},
        {"../../x.khd", "x.khd"},
        {"a/b\\c:d.khd", "d.khd"},
        {"D:furnace.khd", "furnace.khd"},
        {"sub/", ""},
        {"", ""},
    };
    for (const auto& [line, name] : table)
        EXPECT_EQ(headerNameOf(line), name) << line.toStdString();
    for (const QString bad : {"", ".", "..", "a\x01" "b"})
        EXPECT_FALSE(isPlainFileName(bad)) << bad.toStdString();
    for (const QString good : {"x.khd", "...", "온도.khd"})
        EXPECT_TRUE(isPlainFileName(good)) << good.toStdString();
}

TEST_F(RecordReaderTest, HeaderLineIsLineOneWithoutItsLineEnd)
{
    EXPECT_EQ(readRecordHeaderLine(write("furnace.khd\r\n2024;1;\r\n")), "furnace.khd");
    EXPECT_EQ(readRecordHeaderLine(write(toAnsi(QStringLiteral("온도.khd")) + "\n")), QStringLiteral("온도.khd"));
    EXPECT_EQ(readRecordHeaderLine(write("torn.khd")), "torn.khd");
    EXPECT_EQ(readRecordHeaderLine(write("")), "");
    EXPECT_THROW((void)readRecordHeaderLine(dir.filePath("missing.kmr")), KeloError);
    EXPECT_THROW((void)readRecordHeaderLine(dir.path()), KeloError);
}

TEST_F(RecordReaderTest, SampleLinesBecomeRowsAsWritten)
{
    const auto rows = rowsOf("furnace.khd\r\n"
                             "20240105/143023;123.4;1,205;0;\r\n"
                             "20240105/143024;7;\r\n"                 // fewer fields, trailing ";"
                             "20240105/143025;7;8\r\n"                // fewer fields, no trailing ";"
                             "20240105/143026;1;2;3;4;5;\r\n"         // fields beyond the channels
                             ";5;6;7;\r\n"                            // empty first field: a row of its own
                             "\r\n"                                   // blank line: no sample
                             "20240105/143027;;x\ry;3;\r\n"           // a lone CR stays in its field
                             "20240105/143028;9",                     // torn last line
                             kThree);
    const std::vector<QStringList> expected{
        {"20240105/143023", "123.4", "1,205", "0", "1"},
        {"20240105/143024", "7", "0", "0", "2"},
        {"20240105/143025", "7", "8", "0", "3"},
        {"20240105/143026", "1", "2", "3", "4"},
        {"", "5", "6", "7", "5"},
        {"20240105/143027", "0", "x\ry", "3", "6"},
        {"20240105/143028", "9", "0", "0", "7"},
    };
    EXPECT_EQ(rows, expected);
}

TEST_F(RecordReaderTest, FilesWithoutSamplesGiveNoRows)
{
    for (const QByteArray bytes : {"", "furnace.khd", "furnace.khd\r\n", "furnace.khd\r\n\r\n\n"})
        EXPECT_TRUE(rowsOf(bytes, kThree).empty()) << bytes.toStdString();
}

TEST_F(RecordReaderTest, CodePage949TextAndInvalidBytes)
{
    const QByteArray korean = toAnsi(QStringLiteral("온도"));
    const auto rows = rowsOf("h.khd\r\n" + korean + ";\xff\xfe\x81;\xb0;\r\n", kThree);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], QStringLiteral("온도"));
    EXPECT_TRUE(rows[0][1].contains(QChar(0xFFFD)));
    EXPECT_EQ(rows[0][2], QString(QChar(0xFFFD))); // a lead byte cut off by ";"
    EXPECT_FALSE(rows[0][1].contains(QChar(0x1A)));
    EXPECT_EQ(rows[0][3], "0");
}

TEST_F(RecordReaderTest, ExtendedHangulAndBackslashReadAsWindowsCodePage949)
{
    // 똠 and 햏 exist only in the Windows table; a field must not turn them into U+FFFD.
    const auto rows = rowsOf("h.khd\r\n" + toAnsi(QStringLiteral("똠햏")) + ";a\\b;\x8c\x63\xc1\x64;\r\n", kThree);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], QStringLiteral("똠햏"));
    EXPECT_EQ(rows[0][1], QStringLiteral("a\\b"));
    EXPECT_EQ(rows[0][2], QStringLiteral("똠햏"));
}

TEST_F(RecordReaderTest, PieceBoundariesLoseNothing)
{
    QByteArray bytes = "a-rather-long-header-name.khd\r\n";
    for (int i = 0; i < 200; ++i)
        bytes += QByteArray::number(20240105) + "/" + QByteArray::number(100000 + i) + ";" + QByteArray::number(i * 7)
            + ";" + QByteArray(i % 13, 'x') + ";" + (i % 5 ? "\r\n" : "\n");
    bytes += "20240106/000000;torn";
    const auto whole = rowsOf(bytes, kThree);
    ASSERT_EQ(whole.size(), 201u);
    for (qsizetype piece : {1, 2, 3, 5, 16, 31, 1000})
        EXPECT_EQ(rowsOf(bytes, kThree, piece), whole) << "piece " << piece;
}

TEST_F(RecordReaderTest, HugeLinesOpenAndOverlongOnesAreCut)
{
    const QByteArray big(10 * 1024 * 1024, 'Z');
    const auto rows = rowsOf("h.khd\r\n" + big + "\r\nt;" + big + ";2;\r\nlast;1;\r\n", kThree);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0].size(), big.size());
    EXPECT_EQ(rows[1][1].size(), big.size());
    EXPECT_EQ(rows[1][2], "2");
    EXPECT_EQ(rows[2][0], "last");

    const auto cut = rowsOf("h.khd\r\n" + QByteArray(5000, 'Q') + ";1;\r\nnext;2;\r\n", kThree, 64, 100);
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0][0], QString(100, 'Q'));
    EXPECT_EQ(cut[1], (QStringList{"next", "2", "0", "0", "2"}));
}

TEST_F(RecordReaderTest, GarbageOpensWithoutACrash)
{
    QByteArray garbage = "h.khd\r\n";
    for (int i = 0; i < 100000; ++i)
        garbage += char((i * 7919) % 256);
    SampleTable table;
    table.setChannels(kThree, Regional::plain());
    readAllSamples(write(garbage), table);
    for (qint64 r = 0; r < table.sampleCount(); ++r)
        for (int c = 0; c < table.columnCount(); ++c)
            (void)table.cell(r, c);
    EXPECT_GT(table.sampleCount(), 0);
}
