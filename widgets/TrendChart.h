#pragma once
#include "settings/Regional.h"

#include <QColor>
#include <QDateTime>
#include <QPointF>
#include <QWidget>
#include <optional>
#include <utility>

class QAction;
class QCPGraph;
class QCPLayoutGrid;
class QCPRange;
class QCPTextElement;
class QCustomPlot;
class QToolBar;

// A trend chart of one trace per channel over a time axis, drawn with
// QCustomPlot. Points are added at the local time they are taken (x in
// seconds since the epoch). While live, the time axis follows the newest
// point at its right edge with a span of 0.001 day; the "%" axis starts at
// 0..100 and widens to take every value until the operator zooms or drags it.
// The wheel zooms the time axis over the plot and the value axis over the
// value axis; dragging pans, a right-button rectangle zooms into it. The tool
// bar zooms the time axis, fits the value axis to what is visible, shows the
// whole history (and lets the value axis widen again), and goes back to live;
// moving the time axis away from the newest point stops following until
// "실시간".
//
// Replots are queued, so adding a point costs only the append and a range
// check; a burst of points is drawn once, and a hidden chart not at all.
class TrendChart : public QWidget {
    Q_OBJECT
public:
    static constexpr double kDefaultSpanSeconds = 86.4; // 0.001 day

    explicit TrendChart(const Regional& regional, QWidget* parent = nullptr);
    ~TrendChart() override;

    // Traces, numbered from 0 in the order they were added.
    void removeAllTraces();
    int addTrace(const QString& title, const QColor& color);
    [[nodiscard]] int traceCount() const;
    [[nodiscard]] QString traceTitle(int trace) const;
    [[nodiscard]] QColor traceColor(int trace) const;

    void setTitle(const QString& text);
    void setTitleVisible(bool visible);
    [[nodiscard]] QString title() const;
    [[nodiscard]] bool isTitleVisible() const { return m_titleShown; }

    // Removes every point of every trace; the "%" axis returns to 0..100.
    void clearPoints();
    // A new time axis: live, default span, starting at the first point added.
    void resetTimeAxis();
    void addPoint(int trace, const QDateTime& time, double value);
    void addPoint(int trace, double key, double value);

    // The chart's data, as the operator sees it.
    [[nodiscard]] int pointCount(int trace) const;
    [[nodiscard]] QPointF point(int trace, int index) const; // (key, value)
    [[nodiscard]] std::pair<double, double> timeRange() const;
    [[nodiscard]] std::pair<double, double> valueRange() const;
    [[nodiscard]] bool isLive() const { return m_live; }
    // True while the value axis widens to every value (until the operator zooms it).
    [[nodiscard]] bool isValueAxisFollowing() const { return m_valueFollows; }
    [[nodiscard]] double liveSpan() const { return m_span; }

    // "d mmm hh:nn:ss" with the regional month names, e.g. "5 Jan 14:30:22".
    [[nodiscard]] static QString timeLabel(const QDateTime& time, const Regional& regional);
    [[nodiscard]] static double timeKey(const QDateTime& time);

    [[nodiscard]] QCustomPlot* plot() const { return m_plot; }
    [[nodiscard]] QToolBar* toolBar() const { return m_tools; }

public Q_SLOTS:
    void zoomIn();
    void zoomOut();
    void fitAll();     // the whole history; the value axis widens again
    void fitValues();  // the value axis to the points in the time range shown
    void goLive();     // back to the newest point at the default span
    void replotNow();  // draws at once (the chart otherwise draws when idle)

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setTimeRange(double lower, double upper);
    void followNewest(double key);
    void zoomBy(double factor);
    void onTimeRangeChanged();
    void onValueRangeChanged();
    void setValueRange(double lower, double upper);
    void updateTools();
    [[nodiscard]] QCPGraph* graph(int trace) const;
    // The span of every trace's keys, or of their values (within `inKeys` when given).
    [[nodiscard]] std::optional<QCPRange> dataSpan(bool keys, const QCPRange* inKeys = nullptr) const;
    [[nodiscard]] double newestKey() const;
    void queueReplot();

    Regional m_regional;
    QCustomPlot* m_plot;
    QToolBar* m_tools;
    QAction* m_liveAction;
    QCPLayoutGrid* m_body;
    QCPTextElement* m_title;
    bool m_titleShown = false;
    bool m_live = true;
    bool m_axisFresh = true;
    bool m_settingRange = false;
    bool m_settingValues = false;
    bool m_valueFollows = true;
    double m_span = kDefaultSpanSeconds;
    double m_newest = 0;
    bool m_hasPoints = false;
};
