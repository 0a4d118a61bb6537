#include "widgets/ApplicationTitle.h"
#include "WorkbookXml.h"
#include "monitoring/ChannelSet.h"
#include "monitoring/RecordFile.h"
#include "review/DataViewP.h"
#include "review/RecordChart.h"
#include "review/SampleModel.h"
#include "settings/AnsiText.h"
#include "settings/FuncP.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"
#include "tests/support/HeldBoxes.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <qcustomplot.h>
#include <gtest/gtest.h>

namespace {

const QByteArray kSet = "Furnace A;1000\r\n01;Zone 1;0001;1;1200;-100;255\r\n02;Zone 2;0002;0;1200;-100;65280\r\n";

class DataViewTest : public ::testing::Test {
protected:
    ProgramDir program;
    QTemporaryDir temp; // the temp folder workbooks go to
    QByteArray oldTemp = qgetenv("TMPDIR");
    ScriptedDialogs dialogs;
    QList<QUrl> opened;
    bool openerWorks = true;
    std::function<void()> openerFailed; // what the opener calls when it ends with a failure
    AppContext context{dialogs, systemClock(), Regional::plain(), [](const QUrl&) { return false; },
                       [this](const QString& path, std::function<void()> failed) {
                           opened << QUrl::fromLocalFile(path);
                           openerFailed = std::move(failed);
                           return openerWorks;
                       }};
    std::unique_ptr<TDataViewF> view;

    void SetUp() override
    {
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        QDir(program.path()).mkdir("Monitor");
        view = std::make_unique<TDataViewF>(context);
        view->show();
    }
    void TearDown() override { qputenv("TMPDIR", oldTemp); }

    QString monitor(const QString& name) const { return QDir(MonitorDir()).filePath(name); }

    // Writes a record file (and the set file) and opens it through the dialog.
    void open(const QByteArray& record, const QByteArray& set = kSet, const QString& setName = "furnace.khd")
    {
        if (!set.isNull())
            writeBytes(monitor(setName), set);
        writeBytes(monitor("run.kmr"), record);
        dialogs.openNames.push_back(monitor("run.kmr"));
        view->bbtOpenClick();
        view->finishPendingWork();
    }

    template <typename T> T* part(const char* name) const { return view->findChild<T*>(name); }
    QString label(const char* name) const { return part<QLabel>(name)->text(); }
    bool excelEnabled() const { return part<QPushButton>("bbtExcel")->isEnabled(); }
    QAbstractItemModel* grid() const { return part<QTableView>("sg1")->model(); }
    QStringList headers() const
    {
        QStringList h;
        for (int c = 0; c < grid()->columnCount(); ++c)
            h << grid()->headerData(c, Qt::Horizontal).toString();
        return h;
    }
    QStringList row(int r) const
    {
        QStringList cells;
        for (int c = 0; c < grid()->columnCount(); ++c)
            cells << grid()->index(r, c).data().toString();
        return cells;
    }
    QStringList listed() const
    {
        QStringList items;
        for (int i = 0; i < part<QListWidget>("lsbHd")->count(); ++i)
            items << part<QListWidget>("lsbHd")->item(i)->text();
        return items;
    }
    void expectEmptyView() const
    {
        EXPECT_EQ(headers(), (QStringList{"Date/Time", "Caption"}));
        EXPECT_EQ(grid()->rowCount(), 1);
        EXPECT_EQ(row(0), (QStringList{"", ""}));
        EXPECT_TRUE(listed().isEmpty());
        EXPECT_FALSE(excelEnabled());
    }
    QStringList workbooks() const { return QDir(temp.path()).entryList({"*.xlsx"}, QDir::Files, QDir::Name); }
};

} // namespace

TEST_F(DataViewTest, ShowsTheEmptyViewAtFirst)
{
    EXPECT_EQ(view->windowTitle(), QStringLiteral("데이터조회및엑셀전환"));
    EXPECT_EQ(part<QPushButton>("bbtOpen")->text(), QStringLiteral("불러오기"));
    EXPECT_EQ(part<QPushButton>("bbtExit")->text(), QStringLiteral("종료"));
    EXPECT_EQ(label("Label1"), QStringLiteral(" 헤더파일내용"));
    EXPECT_EQ(label("Label2"), QStringLiteral(" 데이터파일내용"));
    EXPECT_EQ(label("labCnt1"), QStringLiteral("0건"));
    EXPECT_EQ(label("labCnt2"), QStringLiteral("0건"));
    expectEmptyView();
}

TEST_F(DataViewTest, OpensARecordFileWithItsHeaderFile)
{
    open("furnace.khd\r\n20240105/143023;123.4;1,205;\r\n20240105/143024;123.5;1,206;\r\n20240105/143025;;;\r\n");
    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    EXPECT_EQ(dialogs.openRequests[0].filter, QStringLiteral("모니터링파일(*.kmr)|*.kmr"));
    EXPECT_EQ(dialogs.openRequests[0].startDir, MonitorDir());
    EXPECT_EQ(listed(), (QStringList{"헤더 파일명 : furnace.khd", "데이터파일명: run.kmr", "타이틀명: Furnace A",
                                     "저장시간: 1000 msec", "[Dot] Caption: [1] Zone 1", "[Dot] Caption: [0] Zone 2"}));
    EXPECT_EQ(headers(), (QStringList{"Date/Time", "Zone 1", "Zone 2", "횟수"}));
    ASSERT_EQ(grid()->rowCount(), 3);
    EXPECT_EQ(row(0), (QStringList{"20240105/143023", "123.4", "1,205", "1"}));
    EXPECT_EQ(row(2), (QStringList{"20240105/143025", "0", "0", "3"}));
    EXPECT_EQ(grid()->headerData(1, Qt::Vertical).toString(), "20240105/143024"); // the fixed first column
    EXPECT_EQ(grid()->index(0, 1).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    EXPECT_EQ(label("labCnt1"), QStringLiteral("2건"));
    EXPECT_EQ(label("labCnt2"), QStringLiteral("3건"));
    EXPECT_TRUE(excelEnabled());
    EXPECT_EQ(part<QProgressBar>("ProgressBar1")->maximum(), 3);
    EXPECT_EQ(part<QProgressBar>("ProgressBar1")->value(), 0);
    EXPECT_EQ(view->SetTitle, "Furnace A");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(DataViewTest, HeaderFileIsOnlyLookedForInTheRecordFilesFolder)
{
    QDir(MonitorDir()).mkdir("sub");
    writeBytes(monitor("sub/furnace.khd"), kSet);
    writeBytes(QDir(program.path()).filePath("up.khd"), kSet);
    QDir(MonitorDir()).mkdir("folder.khd");
    const std::vector<std::pair<QByteArray, QString>> table{
        {"sub/furnace.khd", "furnace.khd"},
        {"..\\up.khd", "up.khd"},
        {"../up.khd", "up.khd"},
        {"C:..", ".."},
        {".", "."},
        {"", ""},
        {"folder.khd", "folder.khd"},
    };
    for (const auto& [line, shown] : table) {
        dialogs.clear();
        open(line + "\r\n20240105/143023;1;2;\r\n", QByteArray());
        ASSERT_EQ(dialogs.messages.size(), 1u) << line.toStdString();
        EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("헤더파일이 없습니다.\r\n") + shown);
        EXPECT_EQ(dialogs.messages[0].caption, applicationTitle());
        EXPECT_EQ(dialogs.messages[0].style, 0);
        expectEmptyView();
    }
}

TEST_F(DataViewTest, EdgeCasesOfTheSampleLines)
{
    // Only line 1: the channel columns and "횟수" over one empty row.
    open("furnace.khd\r\n");
    EXPECT_EQ(headers(), (QStringList{"Date/Time", "Zone 1", "Zone 2", "횟수"}));
    EXPECT_EQ(row(0), (QStringList{"", "", "", ""}));
    EXPECT_EQ(label("labCnt2"), QStringLiteral("0건"));
    EXPECT_FALSE(excelEnabled());

    // A sample line with an empty first field keeps its own row; a blank line is no sample.
    open("furnace.khd\r\n20240105/143023;1;\r\n;2;3;\r\n\r\n20240105/143025;4;5;\r\n");
    ASSERT_EQ(grid()->rowCount(), 3);
    EXPECT_EQ(row(0), (QStringList{"20240105/143023", "1", "0", "1"}));
    EXPECT_EQ(row(1), (QStringList{"", "2", "3", "2"}));
    EXPECT_EQ(row(2), (QStringList{"20240105/143025", "4", "5", "3"}));
    EXPECT_EQ(label("labCnt2"), QStringLiteral("3건"));

    // A first sample line with an empty first field still enables the export.
    open("furnace.khd\r\n;7;8;\r\n");
    EXPECT_TRUE(excelEnabled());

    // A set without channels keeps "Caption", filled from field 2.
    open("furnace.khd\r\n20240105/143023;9;\r\n", "Bare;500\r\n");
    EXPECT_EQ(headers(), (QStringList{"Date/Time", "Caption", "횟수"}));
    EXPECT_EQ(row(0), (QStringList{"20240105/143023", "9", "1"}));
    EXPECT_EQ(label("labCnt1"), QStringLiteral("0건"));
}

TEST_F(DataViewTest, CountsAreGroupedAndLargeFilesLoadBesideTheWindow)
{
    QByteArray record = "furnace.khd\r\n";
    for (int i = 1; i <= 1234; ++i)
        record += "20240105/143023;" + QByteArray::number(i) + ";0;\r\n";
    open(record);
    EXPECT_EQ(label("labCnt2"), QStringLiteral("1,234건"));
    EXPECT_EQ(row(1233).last(), "1,234");

    // A large file is read on other threads while the window goes on.
    record = "furnace.khd\r\n";
    while (record.size() < 5 * 1024 * 1024)
        record += "20240105/143023;123.4;1,205;\r\n";
    writeBytes(monitor("run.kmr"), record);
    dialogs.openNames.push_back(monitor("run.kmr"));
    view->bbtOpenClick();
    EXPECT_TRUE(view->busy());
    EXPECT_EQ(label("labCnt2"), QStringLiteral("1,234건")); // the old count until the file is read
    EXPECT_FALSE(excelEnabled());
    view->finishPendingWork();
    const int rows = int((record.size() - 13) / 30);
    EXPECT_EQ(grid()->rowCount(), rows);
    EXPECT_EQ(part<QProgressBar>("ProgressBar1")->maximum(), rows);
    EXPECT_TRUE(excelEnabled());
}

TEST_F(DataViewTest, UnreadableRecordFileGoesToTheErrorReport)
{
    dialogs.openNames.push_back(monitor("gone.kmr"));
    EXPECT_THROW(view->bbtOpenClick(), KeloError);
    expectEmptyView();
}

TEST_F(DataViewTest, CancelledSecondOpenLeavesAnEmptyViewAndTheOldCounts)
{
    open("furnace.khd\r\n20240105/143023;1;2;\r\n");
    view->bbtOpenClick(); // no scripted name: cancelled
    expectEmptyView();
    EXPECT_EQ(label("labCnt1"), QStringLiteral("2건"));
    EXPECT_EQ(label("labCnt2"), QStringLiteral("1건"));
}

TEST_F(DataViewTest, HostileRecordFileShowsWhatItCan)
{
    QByteArray record = "furnace.khd\r\n20240105/143023;1;2;\r\n";
    for (int i = 0; i < 50000; ++i)
        record += char((i * 7919) % 256);
    record += "\r\n\xb0\xff;\x81;\r\n" + QByteArray(10 * 1024 * 1024, 'Z') + ";3;\r\n20240105/1430";
    open(record);
    EXPECT_EQ(row(0), (QStringList{"20240105/143023", "1", "2", "1"}));
    const int last = grid()->rowCount() - 1;
    EXPECT_EQ(row(last).first(), "20240105/1430");
    EXPECT_EQ(row(last - 1).at(1), "3");
    EXPECT_LE(row(last - 1).at(0).size(), 1100); // the 10 MB field is shown cut
    EXPECT_TRUE(excelEnabled());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(DataViewTest, ExportAsksThenMakesANewWorkbookEachTime)
{
    open("furnace.khd\r\n20240105/143023;123.4;1,205;\r\n20240105/143024;123.5;1,206;\r\n");
    view->bbtExcelClick(); // answered No
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("엑셀변환을 하시겠습니까?"));
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("확인"));
    EXPECT_EQ(dialogs.messages[0].style, 36);
    EXPECT_TRUE(workbooks().isEmpty());

    auto* bar = part<QProgressBar>("ProgressBar1");
    QList<int> shown;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { shown << v; });
    for (int i = 0; i < 2; ++i) {
        shown.clear();
        dialogs.answers.push_back(MsgResult::Yes);
        view->bbtExcelClick();
        view->finishPendingWork();
        // The bar starts from 0 on every export (it was left full by the first).
        EXPECT_EQ(shown, (i == 0 ? QList<int>{2} : QList<int>{0, 2})) << "export " << i;
    }
    EXPECT_EQ(workbooks(), (QStringList{"run (2).xlsx", "run.xlsx"}));
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QDir(temp.path()).filePath("run.xlsx")));
    EXPECT_EQ(dialogs.messages.size(), 3u); // the questions only
    const XmlSheet sheet = readWorkbook(opened[0].toLocalFile()).sheets.at(0);
    EXPECT_EQ(sheet.cells.value("A1").value, "Furnace A");
    EXPECT_EQ(sheet.cells.value("C4").value, "1206");
    EXPECT_EQ(sheet.merged, QStringList{"A1:D1"});
}

TEST_F(DataViewTest, ExportFailuresSayWhatFailedAndWhereTheWorkbookIs)
{
    open("furnace.khd\r\n20240105/143023;1;2;\r\n");
    const auto exportOnce = [&] {
        dialogs.clear();
        opened.clear();
        dialogs.answers.push_back(MsgResult::Yes);
        view->bbtExcelClick();
        view->finishPendingWork();
        EXPECT_TRUE(excelEnabled());
        EXPECT_EQ(row(0), (QStringList{"20240105/143023", "1", "2", "1"}));
    };
    // Nothing can open the workbook: the documented message, then where it is.
    openerWorks = false;
    exportOnce();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    const QStringList lines = dialogs.messages[1].text.split("\r\n");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Excel Program Not Found.");
    EXPECT_EQ(QFileInfo(lines[1]).absolutePath(), QFileInfo(temp.path()).absoluteFilePath());
    EXPECT_EQ(readWorkbook(lines[1]).sheets.at(0).cells.value("A1").value, "Furnace A");
    EXPECT_EQ(dialogs.messages[1].caption, "Error");
    EXPECT_EQ(dialogs.messages[1].style, 64);

    // The opener starts, then fails: the operator learns where the workbook is.
    openerWorks = true;
    exportOnce();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(dialogs.messages.size(), 1u);
    openerFailed();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[1].text.endsWith(QDir(temp.path()).filePath("run (2).xlsx")))
        << dialogs.messages[1].text.toStdString();
    EXPECT_TRUE(QFileInfo::exists(opened[0].toLocalFile()));

    // A folder where no file can be made: its name and the reason.
    qputenv("TMPDIR", "/proc/self");
    exportOnce();
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[1].text.startsWith(QStringLiteral("엑셀 파일을 만들지 못했습니다.\r\n")));
    const QString told = dialogs.messages[1].text;
    EXPECT_TRUE(told.contains("/proc/") && told.contains("run.xlsx") && told.contains("No such file"))
        << told.toStdString();
    EXPECT_EQ(dialogs.messages[1].style, 16);

    // A temporary folder that is missing or a file: the workbook goes to one that exists.
    for (const QByteArray& tmp : {temp.filePath("missing").toLocal8Bit(), temp.filePath("run.xlsx").toLocal8Bit()}) {
        qputenv("TMPDIR", tmp);
        exportOnce();
        ASSERT_EQ(opened.size(), 1) << tmp.constData();
        const QFileInfo made(opened[0].toLocalFile());
        EXPECT_TRUE(made.isAbsolute() && made.isFile()) << made.filePath().toStdString();
        EXPECT_EQ(made.absolutePath(), QFileInfo(QStringLiteral("/tmp")).absoluteFilePath());
        QFile::remove(made.filePath());
    }
}

TEST_F(DataViewTest, OpensWhatTheMonitoringWindowRecords)
{
    const QString setName = QStringLiteral("열처리로.khd");
    writeChannelSetFile(monitor(setName), {QStringLiteral("열처리로 A"), "1000",
                                           {{"01", QStringLiteral("1구역"), "0001", "1", "1200", "-100", "255"},
                                            {"02", QStringLiteral("압력"), "0002", "0", "5000", "0", "65280"}}});
    RecordFile record(monitor("run.kmr"), setName);
    record.create();
    const QDateTime start(QDate(2024, 1, 5), QTime(14, 30, 23));
    for (int i = 0; i < 3; ++i) {
        QString error;
        ASSERT_TRUE(record.append(sampleLine({sampleStamp(start.addSecs(i), '/'), "123.4", "1,205"}), &error));
    }
    dialogs.openNames.push_back(monitor("run.kmr"));
    view->bbtOpenClick();
    EXPECT_EQ(listed().first(), QStringLiteral("헤더 파일명 : 열처리로.khd"));
    EXPECT_EQ(headers(), (QStringList{"Date/Time", QStringLiteral("1구역"), QStringLiteral("압력"), "횟수"}));
    EXPECT_EQ(row(2), (QStringList{"20240105/143025", "123.4", "1,205", "3"}));

    dialogs.answers.push_back(MsgResult::Yes);
    view->setSheetRowLimit(4); // two samples a sheet
    view->bbtExcelClick();
    view->finishPendingWork();
    ASSERT_EQ(opened.size(), 1);
    const XmlWorkbook book = readWorkbook(opened[0].toLocalFile());
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(book.sheets[1].cells.value("A3").value, "20240105/143025");
    view->setSheetRowLimit(ExportOptions::kSheetRows);
    dialogs.answers.push_back(MsgResult::Yes);
    view->bbtExcelClick();
    view->finishPendingWork();
    ASSERT_EQ(opened.size(), 2);
    const XmlSheet sheet = readWorkbook(opened[1].toLocalFile()).sheets.at(0);
    EXPECT_EQ(sheet.cells.value("A1").value, QStringLiteral("열처리로 A"));
    EXPECT_EQ(sheet.cells.value("A5").value, "20240105/143025");
    EXPECT_EQ(sheet.cells.value("C5").value, "1205");
    EXPECT_EQ(sheet.cells.value("D5").value, "3");
}

TEST_F(DataViewTest, ExitClosesTheWindow)
{
    open("furnace.khd\r\n20240105/143023;1;2;\r\n");
    view->bbtExitClick();
    EXPECT_FALSE(view->isVisible());
    EXPECT_FALSE(view->busy());
}

namespace {

const double kT0 = QDateTime(QDate(2024, 1, 5), QTime(14, 30, 23)).toSecsSinceEpoch();

QByteArray secondsRecord(const std::vector<std::pair<QByteArray, QByteArray>>& values)
{
    QByteArray record = "furnace.khd\r\n";
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(qint64(kT0));
    for (size_t i = 0; i < values.size(); ++i)
        record += t0.addSecs(qint64(i)).toString("yyyyMMdd/HHmmss").toLatin1() + ';' + values[i].first + ';'
            + values[i].second + ";\r\n";
    return record;
}

QStringList listColumn(const RecordChart& chart, int column)
{
    QStringList texts;
    for (int r = 0; r < chart.channelList()->rowCount(); ++r)
        texts << chart.channelList()->item(r, column)->text();
    return texts;
}

} // namespace

TEST_F(DataViewTest, ChartDrawsTheTableRowsAndCountsFieldsThatAreNoNumberOrEmpty)
{
    open(secondsRecord({{"123.4", "1,205"}, {"12x", "1,206"}, {"", ""}}));
    EXPECT_EQ(row(2), (QStringList{"20240105/143025", "0", "0", "3"})); // the table as before
    EXPECT_EQ(row(1), (QStringList{"20240105/143024", "12x", "1,206", "2"})); // the table as before
    RecordChart* chart = view->chart();
    ASSERT_EQ(chart->plot()->graphCount(), 2);
    EXPECT_EQ(chart->plot()->graph(0)->name(), "Zone 1");
    EXPECT_EQ(chart->plot()->graph(0)->pen().color(), QColor(255, 0, 0));
    EXPECT_EQ(chart->plot()->graph(1)->pen().color(), QColor(0, 255, 0));
    chart->replotNow();
    const std::vector<ChartPoint> zone1 = chart->drawnPoints(0);
    ASSERT_EQ(zone1.size(), 3u);
    EXPECT_EQ(zone1[0], (ChartPoint{kT0, float(123.4)}));
    EXPECT_TRUE(std::isnan(zone1[1].value)); // a gap, not a 0
    EXPECT_TRUE(std::isnan(zone1[2].value)); // empty: no dip to 0 either
    EXPECT_EQ(listColumn(*chart, RecordChart::ColMin), (QStringList{"123.4", "1205"}));
    EXPECT_EQ(chart->findChild<QLabel*>("labNote")->text(),
              QStringLiteral("숫자로 읽을 수 없는 값 1개는 차트에서 빈 곳으로 표시됩니다.\n"
                             "빈 값 2개도 차트에서 빈 곳으로 표시됩니다."));
    const auto [from, to] = chart->timeRange();
    EXPECT_TRUE(from <= kT0 && to >= kT0 + 2) << from - kT0 << " " << to - kT0;

    // A new file clears the chart first.
    dialogs.openNames.push_back("");
    view->bbtOpenClick();
    EXPECT_EQ(chart->plot()->graphCount(), 0);
    EXPECT_EQ(chart->channelList()->rowCount(), 0);
}

TEST_F(DataViewTest, ClickingTheChartSelectsTheRowAndASelectedRowIsMarked)
{
    open(secondsRecord({{"1", "10"}, {"2", "20"}, {"3", "30"}, {"4", "40"}, {"5", "50"}}));
    RecordChart* chart = view->chart();
    chart->replotNow();
    QCustomPlot* plot = chart->plot();
    auto* sg1 = part<QTableView>("sg1");
    const QPoint at(int(plot->xAxis->coordToPixel(kT0 + 3.2)), plot->axisRect()->bottom() - 5);
    QTest::mouseMove(plot, at);
    EXPECT_EQ(listColumn(*chart, RecordChart::ColCursor), (QStringList{"4", "40"}));
    EXPECT_TRUE(chart->findChild<QLabel*>("labCursor")->text().contains("20240105/143026"));
    QTest::mouseClick(plot, Qt::LeftButton, {}, at);
    EXPECT_EQ(sg1->selectionModel()->currentIndex().row(), 3);
    EXPECT_EQ(sg1->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(chart->markedRow(), 3);

    sg1->selectRow(1);
    EXPECT_EQ(chart->markedRow(), 1);
    // A row outside the time on view is brought into view.
    chart->setTimeRange(kT0 + 3.5, kT0 + 4.5);
    sg1->selectRow(0);
    EXPECT_EQ(chart->markedRow(), 0);
    EXPECT_LE(chart->timeRange().first, kT0);
    EXPECT_GE(chart->timeRange().second, kT0);
}

TEST_F(DataViewTest, HiddenChannelsLeaveTheFitAndStatisticsFollowTheView)
{
    open(secondsRecord({{"10", "1,000"}, {"20", "2,000"}, {"30", "3,000"}, {"40", "4,000"}}));
    RecordChart* chart = view->chart();
    chart->replotNow();
    EXPECT_EQ(listColumn(*chart, RecordChart::ColMin), (QStringList{"10", "1000"}));
    EXPECT_EQ(listColumn(*chart, RecordChart::ColMean), (QStringList{"25", "2500"}));
    EXPECT_EQ(listColumn(*chart, RecordChart::ColMax), (QStringList{"40", "4000"}));
    chart->setTimeRange(kT0 + 0.5, kT0 + 2.5);
    chart->replotNow();
    EXPECT_EQ(listColumn(*chart, RecordChart::ColMean), (QStringList{"25", "2500"}));
    EXPECT_EQ(listColumn(*chart, RecordChart::ColMin), (QStringList{"20", "2000"}));

    chart->moveCursorTo(kT0 + 1);
    EXPECT_EQ(listColumn(*chart, RecordChart::ColCursor), (QStringList{"20", "2,000"}));
    chart->channelList()->item(1, RecordChart::ColChannel)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(chart->isChannelShown(1));
    EXPECT_EQ(listColumn(*chart, RecordChart::ColCursor), (QStringList{"20", ""}));
    chart->fitAll();
    chart->replotNow();
    EXPECT_TRUE(chart->drawnPoints(1).empty());
    EXPECT_EQ(listColumn(*chart, RecordChart::ColMax), (QStringList{"40", ""}));
    const auto [lo, hi] = chart->valueRange();
    EXPECT_TRUE(lo <= 10 && hi >= 40 && hi < 100) << lo << " " << hi;

    // The legend shows it again.
    QCPAbstractLegendItem* entry = chart->plot()->legend->item(1);
    QTest::mouseClick(chart->plot(), Qt::LeftButton, {}, entry->outerRect().center());
    EXPECT_TRUE(chart->isChannelShown(1));
    EXPECT_EQ(chart->channelList()->item(1, RecordChart::ColChannel)->checkState(), Qt::Checked);
    EXPECT_EQ(chart->markedRow(), -1); // a click on the legend picks no row

    // "%": value / (Max + |Min|) x 100, as the monitoring window plots it.
    chart->toolBar()->findChild<QAction*>("actPercent")->trigger();
    chart->replotNow();
    EXPECT_FLOAT_EQ(float(chart->drawnPoints(0).front().value), float(10 * 100.0 / 1300.0));
    EXPECT_EQ(chart->plot()->yAxis->label(), "%");
    EXPECT_LT(chart->valueRange().second, 400);
}

TEST_F(DataViewTest, ChartExportsPicturesAndCsv)
{
    // A record outside the Monitor folder: the save dialogs start beside it.
    const QString elsewhere = program.path() + "/runs";
    QDir().mkpath(elsewhere);
    writeBytes(elsewhere + "/furnace.khd", kSet);
    writeBytes(elsewhere + "/run.kmr", secondsRecord({{"123.4", "1,205"}, {"abc", "1,206"}, {"-1.0", ""}}));
    dialogs.openNames.push_back(elsewhere + "/run.kmr");
    view->bbtOpenClick();
    view->finishPendingWork();
    RecordChart* chart = view->chart();
    chart->replotNow();
    dialogs.saveNames = {monitor("shot"), monitor("doc.PDF"), monitor("all.csv"), monitor("part.csv"),
                         program.path() + "/missing/x.csv"};
    QTest::mouseMove(chart->plot(), chart->plot()->axisRect()->center()); // a hover cursor on screen
    chart->savePngClick();
    chart->savePdfClick();
    chart->saveCsvAllClick();
    chart->finishCsv();
    chart->setTimeRange(kT0 + 0.5, kT0 + 1.5);
    chart->setChannelShown(0, false);
    chart->saveCsvShownClick();
    chart->finishCsv();
    ASSERT_EQ(dialogs.saveRequests.size(), 4u);
    EXPECT_EQ(dialogs.saveRequests[0].filter, QStringLiteral("PNG 그림(*.png)|*.png"));
    EXPECT_EQ(dialogs.saveRequests[0].proposedName, "run.png");
    EXPECT_EQ(dialogs.saveRequests[0].startDir, elsewhere);
    EXPECT_TRUE(dialogs.saveRequests[0].confirmOverwrite);
    EXPECT_EQ(dialogs.saveRequests[2].proposedName, "run.csv");
    EXPECT_EQ(dialogs.saveRequests[3].proposedName, QStringLiteral("run_구간.csv"));
    EXPECT_TRUE(readBytes(monitor("doc.PDF")).startsWith("%PDF"));
    // The picture for a report: on white, without the hover cursor.
    const QImage shot(monitor("shot.png"));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.pixelColor(2, shot.height() - 2), QColor(Qt::white));
    const int cursorX = int(chart->plot()->xAxis->coordToPixel(view->series().key(1)));
    int cursorPixels = 0;
    for (int y = 0; y < shot.height(); ++y)
        cursorPixels += shot.pixelColor(cursorX, y) == QColor(235, 235, 240);
    EXPECT_EQ(cursorPixels, 0);
    const QByteArray head = "\xEF\xBB\xBF" "Date/Time,Zone 1,Zone 2\r\n";
    EXPECT_EQ(readBytes(monitor("all.csv")),
              head + "2024-01-05T14:30:23,123.4,1205\r\n2024-01-05T14:30:24,,1206\r\n2024-01-05T14:30:25,-1,\r\n");
    // The range on view, and of it only the channels shown.
    EXPECT_EQ(readBytes(monitor("part.csv")), "\xEF\xBB\xBF" "Date/Time,Zone 2\r\n2024-01-05T14:30:24,1206\r\n");
    EXPECT_TRUE(dialogs.messages.empty());

    chart->saveCsvAllClick();
    chart->finishCsv();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("CSV 파일을 저장하지 못했습니다.\r\n")
                                                    + program.path() + "/missing/x.csv"));
    EXPECT_EQ(QDir(MonitorDir()).entryList({"*.part"}), QStringList{});
}

TEST_F(DataViewTest, ChartToolsFitTheStateAndTheUnitOnView)
{
    RecordChart* chart = view->chart();
    const auto tool = [chart](const char* name) { return chart->toolBar()->findChild<QAction*>(name); };
    const char* const tools[] = {"actFitAll", "actPercent", "actLegend", "actSecondCursor", "actCompare",
                                 "actPng", "actPdf", "actCsvAll", "actCsvShown"};
    for (const char* name : tools)
        EXPECT_FALSE(tool(name)->isEnabled()) << name << " before a record is shown";
    open(secondsRecord({{"13", "1,300"}, {"26", "2,600"}, {"39", "3,900"}}));
    for (const char* name : tools)
        EXPECT_TRUE(tool(name)->isEnabled()) << name;

    // A long name is elided in the middle and told in full in a tip.
    QTableWidgetItem* name = chart->channelList()->item(0, RecordChart::ColChannel);
    EXPECT_EQ(name->toolTip(), "Zone 1");
    EXPECT_EQ(chart->channelList()->textElideMode(), Qt::ElideMiddle);

    // Cursor, statistics and the change from A to B in the plot's unit ("%": of Max + |Min| = 1300).
    chart->replotNow();
    chart->moveCursorTo(kT0 + 1);
    chart->markRow(0);
    chart->setSecondRow(2);
    const struct {
        bool percent;
        QStringList cursor, min, delta, rate;
    } units[] = {{false, {"26", "2,600"}, {"13", "1300"}, {"26", "2600"}, {"780", "78000"}},
                 {true, {"2", "200"}, {"1", "100"}, {"2", "200"}, {"60", "6000"}}};
    for (const auto& u : units) {
        chart->setPercent(u.percent);
        chart->replotNow();
        EXPECT_EQ(listColumn(*chart, RecordChart::ColCursor), u.cursor) << u.percent;
        EXPECT_EQ(listColumn(*chart, RecordChart::ColMin), u.min) << u.percent;
        EXPECT_EQ(listColumn(*chart, RecordChart::ColDelta), u.delta) << u.percent;
        EXPECT_EQ(listColumn(*chart, RecordChart::ColRate), u.rate) << u.percent; // per minute over 2 s
    }
    EXPECT_EQ(chart->findChild<QLabel*>("labDelta")->text(),
              QStringLiteral("A: 20240105/143023   B: 20240105/143025   Δt: 0:00:02"));

    // Shift+click moves B; the cursor goes when the mouse leaves the plot.
    QCustomPlot* plot = chart->plot();
    const QPoint at(int(plot->xAxis->coordToPixel(kT0 + 1)), plot->axisRect()->center().y());
    QTest::mouseClick(plot, Qt::LeftButton, Qt::ShiftModifier, at);
    EXPECT_EQ(chart->secondRow(), 1);
    EXPECT_EQ(chart->markedRow(), 0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(plot, &leave);
    EXPECT_EQ(listColumn(*chart, RecordChart::ColCursor), (QStringList{"", ""}));
    EXPECT_EQ(chart->findChild<QLabel*>("labCursor")->text(), QStringLiteral("커서: -"));

    // The legend sits above the plot, not on it, and can be hidden.
    EXPECT_LE(plot->legend->outerRect().bottom(), plot->axisRect()->top());
    tool("actLegend")->trigger();
    chart->replotNow();
    EXPECT_FALSE(plot->legend->visible());
}

TEST_F(DataViewTest, TimeLabelsNeverOverlapAtAnyWidth)
{
    // A month: 30 days of one line an hour.
    QByteArray record = "furnace.khd\r\n";
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(qint64(kT0));
    for (int h = 0; h <= 30 * 24; ++h)
        record += t0.addSecs(h * 3600).toString("yyyyMMdd/HHmmss").toLatin1() + ";1;2;\r\n";
    open(record);
    QCustomPlot* plot = view->chart()->plot();
    const QFontMetrics metrics(plot->xAxis->tickLabelFont());
    const int label = metrics.horizontalAdvance("2024-01-05");
    for (int width : {1000, 1300, 1600, 2500}) {
        view->resize(width, 700);
        QApplication::processEvents();
        view->chart()->replotNow();
        const QVector<double> ticks = plot->xAxis->tickVector();
        ASSERT_GE(ticks.size(), 2) << width;
        for (int i = 1; i < ticks.size(); ++i)
            EXPECT_GT(plot->xAxis->coordToPixel(ticks[i]) - plot->xAxis->coordToPixel(ticks[i - 1]), label)
                << "at " << width << " px";
    }
}

TEST_F(DataViewTest, CsvExportRunsBesideTheWindowAndACancelLeavesNoFile)
{
    QByteArray record = "furnace.khd\r\n";
    while (record.size() < 6 * 1024 * 1024)
        record += "20240105/143023;123.4;1,205;\r\n";
    open(record);
    RecordChart* chart = view->chart();
    auto* bar = chart->findChild<QProgressBar*>("prgCsv");

    // A box opened while the export runs: the export goes on and ends meanwhile.
    HeldBoxes held(dialogs, [chart](const QString&) { return [chart] { return !chart->csvRunning(); }; });
    dialogs.saveNames = {monitor("all.csv")};
    chart->saveCsvAllClick();
    EXPECT_TRUE(chart->csvRunning());
    EXPECT_TRUE(chart->toolBar()->findChild<QAction*>("actCsvCancel")->isVisible());
    view->bbtExcelClick(); // asks, held open, then No
    EXPECT_EQ(held.held, 1);
    EXPECT_FALSE(chart->csvRunning());
    EXPECT_TRUE(readBytes(monitor("all.csv")).endsWith("2024-01-05T14:30:23,123.4,1205\r\n"));

    // Cancelled: nothing under the chosen name, no temporary file beside it, an older file kept.
    for (const QByteArray& before : {QByteArray(), QByteArray("older")}) {
        if (!before.isNull())
            writeBytes(monitor("part.csv"), before);
        dialogs.saveNames = {monitor("part.csv")};
        chart->saveCsvAllClick();
        chart->toolBar()->findChild<QAction*>("actCsvCancel")->trigger();
        EXPECT_TRUE(waitUntil([chart] { return !chart->csvRunning(); }));
        EXPECT_EQ(QFileInfo::exists(monitor("part.csv")), !before.isNull());
        if (!before.isNull())
            EXPECT_EQ(readBytes(monitor("part.csv")), before);
        EXPECT_EQ(QDir(MonitorDir()).entryList({"part.csv*"}).size(), before.isNull() ? 0 : 1);
    }
    EXPECT_FALSE(bar->isVisible());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(DataViewTest, ARecordOfTheSameSetIsLaidOverAlignedByItsStart)
{
    open(secondsRecord({{"10", "100"}, {"20", "200"}, {"30", "300"}}));
    RecordChart* chart = view->chart();
    // The good batch of the day before, one line shorter.
    QByteArray other = "furnace.khd\r\n";
    const QDateTime start = QDateTime::fromSecsSinceEpoch(qint64(kT0)).addDays(-1);
    for (int i = 0; i < 2; ++i)
        other += start.addSecs(i).toString("yyyyMMdd/HHmmss").toLatin1() + ";" + QByteArray::number(11 + i) + ";0;\r\n";
    writeBytes(monitor("good.kmr"), other);
    writeBytes(monitor("other.kmr"), "other.khd\r\n20240105/143023;1;2;\r\n");

    dialogs.openNames = {monitor("other.kmr"), monitor("good.kmr")};
    chart->compareClick(); // another set: refused
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("같은 헤더파일의 기록만 겹쳐 볼 수 있습니다.")));
    chart->compareClick();
    chart->finishComparison();
    ASSERT_NE(chart->comparison(), nullptr);
    chart->replotNow();
    QCustomPlot* plot = chart->plot();
    ASSERT_EQ(plot->graphCount(), 5); // two channels, their overlays, the overlay's legend entry
    for (int g = 0; g < plot->graphCount(); ++g) // the overlay's traces have no entries of their own
        EXPECT_EQ(plot->legend->hasItemWithPlottable(plot->graph(g)), g < 2 || g == 4) << g;
    EXPECT_EQ(plot->graph(4)->name(), QStringLiteral("비교: good.kmr (옅은 색, 시작 시각 맞춤)"));
    EXPECT_EQ(plot->graph(2)->pen().color(), QColor((255 + 28) / 2, 30 / 2, 36 / 2)); // Zone 1's red, paler
    std::vector<ChartPoint> overlay;
    for (const QCPGraphData& d : *plot->graph(2)->data())
        overlay.push_back({d.key, d.value});
    EXPECT_EQ(overlay, (std::vector<ChartPoint>{{kT0, 11}, {kT0 + 1, 12}}));
    chart->compareClick(); // off again
    EXPECT_EQ(plot->graphCount(), 2);
}
