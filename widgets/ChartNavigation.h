#pragma once
#include <QObject>
#include <QPointF>

#include <QColor>

class QCustomPlot;
class QCPAxis;

// The charts' dark look: background, text and grid colours, and an axis in them.
inline const QColor kChartBackground(28, 30, 36);
inline const QColor kChartForeground(210, 210, 215);
inline const QColor kChartGrid(72, 74, 84);
void styleChartAxis(QCPAxis* axis);

// Mouse navigation shared by the charts. The wheel zooms the time axis around
// the pointer over the plot, and the value axis alone over the value axis;
// dragging pans both axes (the plot's own range drag, which the owner sets);
// dragging with the right button, or with Ctrl held, draws a rectangle and
// zooms into it.
class ChartNavigation : public QObject {
    Q_OBJECT
public:
    static constexpr double kWheelStep = 0.85; // span factor per wheel notch

    explicit ChartNavigation(QCustomPlot* plot);

    // What a wheel turn of `notches` (positive: away from the operator, in)
    // does at `pos`; the axis zoomed, or none when outside both.
    QCPAxis* wheelAt(const QPointF& pos, double notches);

    // A range around [lo, hi] with a margin, for fitting an axis to values.
    static void fitAxis(QCPAxis* axis, double lo, double hi);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QCustomPlot* m_plot;
};
