#include "WorkbookXml.h"
#include "review/RecordReader.h"
#include "review/WorkbookExport.h"
#include "settings/AnsiText.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class WorkbookExportTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SampleTable table;

    void load(const QStringList& captions, const QByteArray& samples)
    {
        const QString path = dir.filePath(QStringLiteral("source.kmr"));
        writeBytes(path, "furnace.khd\r\n" + samples);
        table.setChannels(captions, Regional::plain());
        readAllSamples(path, table);
    }

    XmlWorkbook exportAndRead(const QString& title = QStringLiteral("Furnace A"), ExportOptions options = {})
    {
        return readWorkbook(exportWorkbook(table, title, Regional::plain(), dir.path(), "run.kmr", options));
    }

    [[nodiscard]] QStringList workbooks() const
    {
        return QDir(dir.path()).entryList({QStringLiteral("*.xlsx")}, QDir::Files, QDir::Name);
    }
};

QByteArray samples(int count)
{
    QByteArray bytes;
    for (int i = 1; i <= count; ++i)
        bytes += "20240105/1430" + QByteArray::number(10 + i) + ";" + QByteArray::number(i) + ".5;\r\n";
    return bytes;
}

} // namespace

TEST_F(WorkbookExportTest, SheetHasTitleHeaderRowAndBorderedSamples)
{
    load({"Zone 1"}, "20240105/143023;123.4;\r\n20240105/143024;1,205;\r\n20240105/143025;;\r\n");
    const XmlWorkbook book = exportAndRead();
    ASSERT_EQ(book.sheets.size(), 1u);
    const XmlSheet& sheet = book.sheets[0];
    EXPECT_EQ(sheet.merged, QStringList{"A1:C1"});
    EXPECT_EQ(sheet.rows, 5);
    EXPECT_TRUE(book.definedNames.value("_xlnm.Print_Area#0").endsWith("$A$1:$C$5"));

    const XmlCell title = sheet.cells.value("A1");
    EXPECT_EQ(title.value, "Furnace A");
    EXPECT_EQ(title.font, QStringLiteral("휴먼옛체"));
    EXPECT_TRUE(title.bold);
    EXPECT_EQ(title.size, 14);
    EXPECT_EQ(title.align, "center");
    EXPECT_EQ(sheet.rowHeights.value(1), 20.25);

    const QStringList headers{"Date/Time", "Zone 1", "횟수"};
    for (int c = 0; c < 3; ++c) {
        const XmlCell h = sheet.cells.value(columnLetters(c + 1) + "2");
        EXPECT_EQ(h.value, headers[c]);
        EXPECT_EQ(h.fill, "FF00DCE1"); // red 0, green 220, blue 225
        EXPECT_EQ(h.align, "center");
        EXPECT_EQ(h.font, QStringLiteral("굴림체"));
        EXPECT_EQ(h.size, 9);
        EXPECT_EQ(h.border, "thin");
    }
    // Column A text, channel values numbers, "0" for the empty field, grouped counts.
    const std::vector<std::tuple<QString, QString, QString, QString>> cells{
        {"A3", "inlineStr", "20240105/143023", "General"},
        {"B3", "n", "123.4", "General"},
        {"C3", "n", "1", "#,##0"},
        {"B4", "n", "1205", "#,##0"},
        {"B5", "n", "0", "General"},
        {"C5", "n", "3", "#,##0"},
    };
    for (const auto& [ref, type, value, format] : cells) {
        const XmlCell cell = sheet.cells.value(ref);
        EXPECT_EQ(cell.type, type) << ref.toStdString();
        EXPECT_EQ(cell.value, value) << ref.toStdString();
        EXPECT_EQ(cell.numberFormat, format) << ref.toStdString();
        EXPECT_EQ(cell.font, QStringLiteral("굴림체")) << ref.toStdString();
        EXPECT_EQ(cell.border, "thin") << ref.toStdString();
    }
    EXPECT_FALSE(sheet.cells.contains("D3"));
    EXPECT_GT(sheet.columnWidths.value(1), sheet.columnWidths.value(2)); // fitted: time stamps are longest
    EXPECT_EQ(sheet.defaultRowHeight, 12);
}

TEST_F(WorkbookExportTest, CellsAreWhatTheTypedTextMakes)
{
    load({"a", "b", "c", "d", "e"},
         "20240105143023;-1.0;abc;=1+1;12,34;" + toAnsi(QStringLiteral("온도")) + ";\r\n;0.123;1e3;12%;;a\x01z;\r\n");
    const XmlSheet sheet = exportAndRead().sheets.at(0);
    const std::vector<std::tuple<QString, QString, QString>> cells{
        {"A3", "inlineStr", "20240105143023"}, // digits only, still text
        {"B3", "n", "-1"},
        {"C3", "inlineStr", "abc"},
        {"D3", "inlineStr", "=1+1"},           // never a formula
        {"E3", "inlineStr", "12,34"},
        {"F3", "inlineStr", QStringLiteral("온도")},
        {"A4", "blank", ""},                  // empty time stamp: bordered, empty
        {"B4", "n", "0.123"},
        {"C4", "n", "1000"},
        {"D4", "n", "0.12"},
        {"E4", "n", "0"},
    };
    for (const auto& [ref, type, value] : cells) {
        EXPECT_EQ(sheet.cells.value(ref).type, type) << ref.toStdString();
        EXPECT_EQ(sheet.cells.value(ref).value, value) << ref.toStdString();
    }
    EXPECT_EQ(sheet.cells.value("A4").border, "thin");
    EXPECT_EQ(sheet.cells.value("C4").numberFormat, "0.00E+00");
    EXPECT_EQ(sheet.cells.value("D4").numberFormat, "0%");
    EXPECT_EQ(sheet.cells.value("F4").type, "inlineStr"); // a control character still makes a valid sheet
}

TEST_F(WorkbookExportTest, RowsBeyondASheetContinueOnFurtherSheets)
{
    load({"Zone 1"}, samples(7));
    ExportOptions options;
    options.sheetRowLimit = 5; // title, header and three samples
    const XmlWorkbook book = exportAndRead(QStringLiteral("Furnace A"), options);
    ASSERT_EQ(book.sheets.size(), 3u);
    EXPECT_EQ(book.sheetNames, (QStringList{"Sheet1", "Sheet2", "Sheet3"}));
    const std::vector<int> rows{5, 5, 3};
    int sample = 1;
    for (size_t s = 0; s < book.sheets.size(); ++s) {
        const XmlSheet& sheet = book.sheets[s];
        EXPECT_EQ(sheet.rows, rows[s]);
        EXPECT_EQ(sheet.cells.value("A1").value, "Furnace A");
        EXPECT_EQ(sheet.merged, QStringList{"A1:C1"});
        EXPECT_EQ(sheet.cells.value("B2").value, "Zone 1");
        for (int r = 3; r <= rows[s]; ++r, ++sample)
            EXPECT_EQ(sheet.cells.value(QStringLiteral("C%1").arg(r)).value, QString::number(sample));
    }
    EXPECT_EQ(sample, 8); // every sample, once
    EXPECT_TRUE(book.definedNames.value("_xlnm.Print_Area#2").endsWith("$A$1:$C$3"));
}

TEST_F(WorkbookExportTest, TooMuchForASheetIsRefusedBeforeAnythingIsWritten)
{
    const QByteArray korean = toAnsi(QString(20000, QChar(0xC628)));
    const std::vector<std::tuple<QByteArray, bool, QString>> cases{
        {QByteArray(32767, 'x'), true, ""},
        {QByteArray(32768, 'x'), false, "2번째 데이터의 B열"},
        {QByteArray(40000, '0') + "7", true, ""},   // a number, however long
        {korean, true, ""},                         // 40,000 bytes but 20,000 characters
        {korean + korean, false, "2번째 데이터의 B열"},
    };
    for (const auto& [cell, fits, where] : cases) {
        load({"a"}, "t;1;\r\nt;" + cell + ";\r\n");
        for (const QString& old : workbooks())
            QFile::remove(dir.filePath(old));
        if (fits) {
            EXPECT_NO_THROW((void)exportWorkbook(table, "T", Regional::plain(), dir.path(), "run.kmr"));
            continue;
        }
        try {
            (void)exportWorkbook(table, "T", Regional::plain(), dir.path(), "run.kmr");
            ADD_FAILURE() << "accepted " << cell.size() << " bytes";
        } catch (const KeloError& e) {
            EXPECT_TRUE(e.text().contains(where)) << e.text().toStdString();
            EXPECT_TRUE(e.text().contains("32,767")) << e.text().toStdString();
        }
        EXPECT_TRUE(workbooks().isEmpty());
    }

    QStringList captions;
    for (int i = 0; i < 16383; ++i)
        captions << QString::number(i);
    load(captions, "t;1;\r\n");
    EXPECT_THROW((void)exportWorkbook(table, "T", Regional::plain(), dir.path(), "run.kmr"), KeloError);
    EXPECT_TRUE(workbooks().isEmpty());
}

TEST_F(WorkbookExportTest, EachExportIsANewFileNamedAfterTheRecordFile)
{
    load({"a"}, samples(2));
    for (int i = 0; i < 3; ++i)
        (void)exportWorkbook(table, "T", Regional::plain(), dir.path(), "run.kmr");
    EXPECT_EQ(workbooks(), (QStringList{"run (2).xlsx", "run (3).xlsx", "run.xlsx"}));
    {
        // Abandoned half way (the window closed): no file is left behind.
        WorkbookExport job(table, "T", Regional::plain(), dir.path(), "run.kmr");
        while (job.phase() != WorkbookExport::Phase::Writing)
            job.step(1);
        job.step(1);
        EXPECT_TRUE(QFile::exists(job.path()));
    }
    EXPECT_EQ(workbooks().size(), 3);
    EXPECT_THROW((void)exportWorkbook(table, "T", Regional::plain(), dir.filePath("gone"), "run.kmr"), KeloError);
}

TEST_F(WorkbookExportTest, ABackgroundCloseGivesTheSameWorkbookAndADroppedOneLeavesNoFile)
{
    load({"a", "b"}, samples(300));
    ExportOptions background;
    background.closeInBackground = true;
    const auto runUntilClosing = [&](WorkbookExport& job) {
        while (job.phase() != WorkbookExport::Phase::Closing)
            ASSERT_NE(job.step(64), WorkbookExport::Phase::Failed) << job.failure().toStdString();
    };
    QString kept;
    {
        WorkbookExport job(table, "T", Regional::plain(), dir.path(), "run.kmr", background);
        runUntilClosing(job);
        ASSERT_TRUE(QTest::qWaitFor([&] { return job.step(64) == WorkbookExport::Phase::Done; }, 10000));
        kept = job.path();
    }
    const QString inForeground = exportWorkbook(table, "T", Regional::plain(), dir.path(), "run.kmr");
    EXPECT_EQ(readWorkbook(kept).sheets.at(0).cells, readWorkbook(inForeground).sheets.at(0).cells);

    // The window closed while the workbook was being zipped.
    QString dropped;
    {
        WorkbookExport job(table, "T", Regional::plain(), dir.path(), "run.kmr", background);
        runUntilClosing(job);
        dropped = job.path();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(dropped); }, 10000));
    EXPECT_EQ(workbooks().size(), 2);
}

TEST_F(WorkbookExportTest, SheetXmlStaysWellFormed)
{
    load({QStringLiteral("온도<&>")}, "t;a\x01\x1f<b>&\"c\";\r\n");
    const QString path = exportWorkbook(table, "<T&>", Regional::plain(), dir.path(), "run.kmr");
    for (const QString entry : {"xl/worksheets/sheet1.xml", "xl/workbook.xml", "xl/styles.xml"}) {
        QXmlStreamReader xml(unzipEntry(path, entry));
        while (!xml.atEnd())
            xml.readNext();
        EXPECT_FALSE(xml.hasError()) << entry.toStdString() << ": " << xml.errorString().toStdString();
    }
    const XmlSheet sheet = readWorkbook(path).sheets.at(0);
    EXPECT_EQ(sheet.cells.value("A1").value, "<T&>");
    EXPECT_EQ(sheet.cells.value("B2").value, QStringLiteral("온도<&>"));
}
