// The trend chart: what its axes, traces and tools show.
#include "widgets/TrendChart.h"

#include <QAction>
#include <QApplication>
#include <QRegularExpression>
#include <QTest>
#include <QWheelEvent>
#include <QToolBar>
#include <gtest/gtest.h>
#include <qcustomplot.h>

namespace {

const QDateTime kStart(QDate(2024, 1, 5), QTime(14, 30, 22));

double at(double seconds)
{
    return TrendChart::timeKey(kStart) + seconds;
}

QAction* tool(const TrendChart& chart, const char* name)
{
    QAction* action = chart.toolBar()->findChild<QAction*>(QLatin1String(name));
    EXPECT_NE(action, nullptr) << name;
    return action;
}

} // namespace

TEST(TrendChart, TimeLabelsUseTheRegionalMonthNames)
{
    EXPECT_EQ(TrendChart::timeLabel(kStart, Regional::plain()), "5 Jan 14:30:22");
    EXPECT_EQ(TrendChart::timeLabel(QDateTime(QDate(2024, 11, 25), QTime(9, 5, 7)), Regional::plain()),
              "25 Nov 09:05:07");
    Regional korean = Regional::fromLocale(QLocale(QLocale::Korean, QLocale::SouthKorea));
    EXPECT_EQ(TrendChart::timeLabel(kStart, korean), QString::fromUtf8("5 1월 14:30:22"));

    Regional own = Regional::plain();
    own.shortMonths[0] = "Jnr";
    TrendChart chart(own);
    chart.resize(800, 400);
    chart.addTrace("A", Qt::red);
    chart.addPoint(0, kStart, 0);
    chart.replotNow();
    const QVector<QString> labels = chart.plot()->xAxis->tickVectorLabels();
    ASSERT_FALSE(labels.isEmpty());
    const QRegularExpression shape(QStringLiteral("^5 Jnr 14:3\\d:\\d\\d$"));
    for (const QString& label : labels)
        EXPECT_TRUE(shape.match(label).hasMatch()) << label.toStdString();
}

TEST(TrendChart, TheTimeAxisStartsAtTheFirstPointAndFollowsTheNewest)
{
    TrendChart chart(Regional::plain());
    chart.addTrace("A", Qt::red);
    chart.addTrace("B", Qt::blue);
    chart.resetTimeAxis();
    chart.addPoint(0, at(0), 0);
    chart.addPoint(1, at(0), 0);
    EXPECT_EQ(chart.timeRange(), std::make_pair(at(0), at(86.4)));
    chart.addPoint(0, at(80), 50);
    EXPECT_EQ(chart.timeRange(), std::make_pair(at(0), at(86.4)));
    chart.addPoint(1, at(100), 50);
    EXPECT_DOUBLE_EQ(chart.timeRange().first, at(100) - 86.4);
    EXPECT_DOUBLE_EQ(chart.timeRange().second, at(100));
    EXPECT_EQ(chart.pointCount(0), 2);
    EXPECT_EQ(chart.point(1, 1), QPointF(at(100), 50));

    // A new axis for a new run starts at its first point again.
    chart.clearPoints();
    EXPECT_EQ(chart.pointCount(0), 0);
    chart.resetTimeAxis();
    chart.addPoint(0, at(5000), 0);
    EXPECT_EQ(chart.timeRange(), std::make_pair(at(5000), at(5086.4)));
}

TEST(TrendChart, ThePercentAxisWidensToEveryValue)
{
    TrendChart chart(Regional::plain());
    chart.addTrace("A", Qt::red);
    EXPECT_EQ(chart.valueRange(), std::make_pair(0.0, 100.0));
    EXPECT_EQ(chart.plot()->yAxis->label(), "%");
    const struct {
        double value;
        double lower, upper;
    } steps[] = {{50, 0, 100}, {100, 0, 100}, {130, 0, 130}, {-20, -20, 130}, {120, -20, 130}, {-5, -20, 130}};
    double t = 0;
    for (const auto& s : steps) {
        chart.addPoint(0, at(t++), s.value);
        EXPECT_EQ(chart.valueRange(), std::make_pair(s.lower, s.upper)) << s.value;
    }
    chart.clearPoints();
    EXPECT_EQ(chart.valueRange(), std::make_pair(0.0, 100.0));
}

TEST(TrendChart, TracesTitleAndLegendShowWhatTheyWereGiven)
{
    TrendChart chart(Regional::plain());
    EXPECT_EQ(chart.addTrace("Zone 1", QColor(255, 0, 0)), 0);
    EXPECT_EQ(chart.addTrace("Zone 2", QColor(0, 0, 255)), 1);
    EXPECT_EQ(chart.traceTitle(1), "Zone 2");
    EXPECT_EQ(chart.traceColor(1), QColor(0, 0, 255));
    EXPECT_TRUE(chart.plot()->legend->visible());
    EXPECT_EQ(chart.plot()->legend->itemCount(), 2);
    chart.setTitle("Furnace");
    EXPECT_FALSE(chart.isTitleVisible());
    chart.setTitleVisible(true);
    chart.setTitleVisible(true);
    EXPECT_EQ(chart.plot()->plotLayout()->rowCount(), 2);
    EXPECT_EQ(chart.title(), "Furnace");
    chart.setTitleVisible(false);
    EXPECT_EQ(chart.plot()->plotLayout()->rowCount(), 1);
    chart.removeAllTraces();
    EXPECT_EQ(chart.traceCount(), 0);
    EXPECT_EQ(chart.plot()->legend->itemCount(), 0);
    chart.addPoint(0, at(0), 1);   // no trace: nothing happens
}

TEST(TrendChart, ZoomScrollFitAndBackToLive)
{
    TrendChart chart(Regional::plain());
    chart.addTrace("A", Qt::red);
    for (int s = 0; s <= 1000; s += 10)
        chart.addPoint(0, at(s), 10);
    EXPECT_TRUE(tool(chart, "actLive")->isChecked());

    // Zooming while live keeps the newest point at the right edge.
    tool(chart, "actZoomIn")->trigger();
    EXPECT_DOUBLE_EQ(chart.timeRange().second, at(1000));
    EXPECT_NEAR(chart.timeRange().second - chart.timeRange().first, 43.2, 1e-5);
    tool(chart, "actZoomOut")->trigger();
    tool(chart, "actZoomOut")->trigger();
    EXPECT_NEAR(chart.timeRange().second - chart.timeRange().first, 172.8, 1e-5);
    EXPECT_TRUE(chart.isLive());

    tool(chart, "actFitAll")->trigger();
    EXPECT_EQ(chart.timeRange(), std::make_pair(at(0), at(1000)));
    EXPECT_FALSE(chart.isLive());
    EXPECT_FALSE(tool(chart, "actLive")->isChecked());
    chart.addPoint(0, at(1010), 10);
    EXPECT_EQ(chart.timeRange(), std::make_pair(at(0), at(1000)));   // not following

    // Dragging (the axis moved by the mouse) stops following too.
    tool(chart, "actLive")->trigger();
    EXPECT_TRUE(chart.isLive());
    EXPECT_DOUBLE_EQ(chart.timeRange().second, at(1010));
    chart.plot()->xAxis->moveRange(-30);
    EXPECT_FALSE(chart.isLive());
    chart.addPoint(0, at(1020), 10);
    EXPECT_DOUBLE_EQ(chart.timeRange().second, at(980));
    tool(chart, "actLive")->trigger();
    EXPECT_DOUBLE_EQ(chart.timeRange().second, at(1020));
    EXPECT_NEAR(chart.timeRange().second - chart.timeRange().first, 86.4, 1e-5);

    const auto interactions = chart.plot()->interactions();
    EXPECT_TRUE(interactions.testFlag(QCP::iRangeDrag));
    EXPECT_TRUE(interactions.testFlag(QCP::iRangeZoom));
    EXPECT_FALSE(interactions.testFlag(QCP::iSelectPlottables));
}

TEST(TrendChart, TheValueAxisZoomsAndFitsAndStopsWideningUntilTheWholeHistory)
{
    TrendChart chart(Regional::plain());
    chart.resize(800, 400);
    chart.show();
    chart.addTrace("A", Qt::red);
    for (int s = 0; s <= 80; s += 10)
        chart.addPoint(0, at(s), 40 + s / 10);
    chart.addPoint(0, at(85), 300); // a spike widens the "%" axis
    EXPECT_EQ(chart.valueRange(), std::make_pair(0.0, 300.0));
    chart.replotNow();
    QCustomPlot* plot = chart.plot();
    const QRect inner = plot->axisRect()->rect();
    const auto wheel = [plot](QPoint pos, int notches) {
        QWheelEvent event(pos, plot->mapToGlobal(pos), {}, {0, 120 * notches}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &event);
    };

    // Over the value axis the wheel zooms the value axis alone.
    const auto time = chart.timeRange();
    wheel(QPoint(inner.left() - 10, inner.center().y()), 2);
    EXPECT_EQ(chart.timeRange(), time);
    EXPECT_LT(chart.valueRange().second - chart.valueRange().first, 300 * 0.75);
    EXPECT_FALSE(chart.isValueAxisFollowing());
    EXPECT_TRUE(chart.isLive());
    const auto zoomed = chart.valueRange();
    chart.addPoint(0, at(86), 500);
    EXPECT_EQ(chart.valueRange(), zoomed); // no longer widened

    // Over the plot it zooms the time axis, around the pointer.
    wheel(inner.center(), 1);
    EXPECT_EQ(chart.valueRange(), zoomed);
    EXPECT_NEAR(chart.timeRange().second - chart.timeRange().first, 86.4 * 0.85, 1e-3);

    // The value axis fitted to the points on view (the time axis back to live first).
    chart.toolBar()->findChild<QAction*>("actLive")->trigger();
    chart.plot()->xAxis->setRange(at(5), at(55));
    chart.toolBar()->findChild<QAction*>("actFitValue")->trigger();
    const auto [lo, hi] = chart.valueRange();
    EXPECT_TRUE(lo < 41 && lo > 35 && hi > 45 && hi < 50) << lo << " " << hi;

    // The whole history: everything on view, and the axis widens again.
    chart.toolBar()->findChild<QAction*>("actFitAll")->trigger();
    EXPECT_EQ(chart.valueRange(), std::make_pair(0.0, 500.0));
    EXPECT_TRUE(chart.isValueAxisFollowing());
    chart.addPoint(0, at(90), -20);
    EXPECT_EQ(chart.valueRange(), std::make_pair(-20.0, 500.0));

    // A rectangle drawn with the right button zooms into it.
    const QPoint from = inner.topLeft() + QPoint(inner.width() / 4, inner.height() / 4);
    const QPoint to = inner.center();
    QTest::mousePress(plot, Qt::RightButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, plot->mapToGlobal(to), Qt::NoButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    QTest::mouseRelease(plot, Qt::RightButton, {}, to);
    QCoreApplication::processEvents();
    EXPECT_NEAR(chart.valueRange().second, plot->yAxis->range().upper, 1e-9);
    EXPECT_LT(chart.valueRange().second - chart.valueRange().first, 520 * 0.6);
    EXPECT_LT(chart.timeRange().second - chart.timeRange().first, 90 * 0.6);
    EXPECT_FALSE(chart.isValueAxisFollowing());
    EXPECT_EQ(plot->selectionRectMode(), QCP::srmNone); // the next drag pans again
}
