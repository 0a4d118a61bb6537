#include "widgets/ChartNavigation.h"

#include "widgets/Fonts.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>
#include <qcustomplot.h>

void styleChartAxis(QCPAxis* axis)
{
    axis->setBasePen(QPen(kChartForeground));
    axis->setTickPen(QPen(kChartForeground));
    axis->setSubTickPen(QPen(kChartForeground));
    axis->setTickLabelColor(kChartForeground);
    axis->setLabelColor(kChartForeground);
    axis->setTickLabelFont(gulim(9));
    axis->setLabelFont(gulim(9));
    axis->grid()->setPen(QPen(kChartGrid, 1, Qt::DotLine));
    axis->grid()->setZeroLinePen(QPen(kChartGrid, 1, Qt::SolidLine));
}

ChartNavigation::ChartNavigation(QCustomPlot* plot) : QObject(plot), m_plot(plot)
{
    plot->installEventFilter(this);
    plot->selectionRect()->setPen(QPen(QColor(255, 255, 255, 200), 1, Qt::DashLine));
    plot->selectionRect()->setBrush(QColor(255, 255, 255, 30));
    // A rectangle zoom is armed only for the one drag that asked for it; it is
    // disarmed after the plot has zoomed (which unhooks the zoom).
    const auto disarm = [this] { m_plot->setSelectionRectMode(QCP::srmNone); };
    connect(plot->selectionRect(), &QCPSelectionRect::accepted, this, disarm, Qt::QueuedConnection);
    connect(plot->selectionRect(), &QCPSelectionRect::canceled, this, disarm, Qt::QueuedConnection);
}

QCPAxis* ChartNavigation::wheelAt(const QPointF& pos, double notches)
{
    QCPAxisRect* rect = m_plot->axisRect();
    const QRect inner = rect->rect();
    QCPAxis* axis = nullptr;
    if (inner.contains(pos.toPoint()))
        axis = rect->axis(QCPAxis::atBottom);
    else if (pos.x() < inner.left() && pos.y() >= inner.top() && pos.y() <= inner.bottom())
        axis = rect->axis(QCPAxis::atLeft);
    if (!axis)
        return nullptr;
    const double factor = std::pow(kWheelStep, notches);
    const double centre = axis->orientation() == Qt::Horizontal ? axis->pixelToCoord(pos.x())
                                                                : axis->pixelToCoord(pos.y());
    axis->scaleRange(factor, centre);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
    return axis;
}

void ChartNavigation::fitAxis(QCPAxis* axis, double lo, double hi)
{
    if (!std::isfinite(lo) || !std::isfinite(hi))
        return;
    const double margin = hi > lo ? (hi - lo) * 0.05 : std::max(1.0, std::abs(hi) * 0.05);
    axis->setRange(lo - margin, hi + margin);
}

bool ChartNavigation::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_plot)
        return false;
    if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        wheelAt(wheel->position(), wheel->angleDelta().y() / 120.0);
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        auto* press = static_cast<QMouseEvent*>(event);
        const bool rectangle = press->button() == Qt::RightButton
            || (press->button() == Qt::LeftButton && press->modifiers().testFlag(Qt::ControlModifier));
        m_plot->setSelectionRectMode(rectangle ? QCP::srmZoom : QCP::srmNone);
    }
    return false;
}
