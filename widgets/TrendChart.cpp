#include "widgets/TrendChart.h"

#include "widgets/ChartNavigation.h"
#include "widgets/Fonts.h"
#include "widgets/KeyboardReach.h"

#include <QToolBar>
#include <algorithm>
#include <QVBoxLayout>
#include <cmath>
#include <qcustomplot.h>

namespace {

const QColor& kBackground = kChartBackground;
const QColor& kForeground = kChartForeground;
const QColor& kGrid = kChartGrid;

constexpr double kMinSpanSeconds = 1.0;
constexpr double kMaxSpanSeconds = 400.0 * 86400.0;

// Time labels with the operator's month names, whatever Qt's locale says.
class RegionalTimeTicker : public QCPAxisTickerDateTime {
public:
    explicit RegionalTimeTicker(const Regional& regional) : m_regional(regional) { setTickCount(4); }

protected:
    QString getTickLabel(double tick, const QLocale&, QChar, int) override
    {
        return TrendChart::timeLabel(keyToDateTime(tick), m_regional);
    }

private:
    Regional m_regional;
};

} // namespace

TrendChart::TrendChart(const Regional& regional, QWidget* parent)
    : QWidget(parent), m_regional(regional), m_plot(new QCustomPlot(this)), m_tools(new QToolBar(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tools);
    layout->addWidget(m_plot, 1);

    m_tools->setIconSize(QSize(16, 16));
    m_tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const auto addTool = [this](const char* name, const QString& text, const QString& tip, void (TrendChart::*slot)()) {
        QAction* action = m_tools->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setToolTip(tip);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    addTool("actZoomIn", QStringLiteral("확대"), QStringLiteral("시간축 확대 (마우스 휠)"), &TrendChart::zoomIn);
    addTool("actZoomOut", QStringLiteral("축소"), QStringLiteral("시간축 축소 (마우스 휠)"), &TrendChart::zoomOut);
    addTool("actFitAll", QStringLiteral("전체"), QStringLiteral("처음부터 끝까지 보기 (값축은 다시 모든 값을 담음)"),
            &TrendChart::fitAll);
    addTool("actFitValue", QStringLiteral("값축맞춤"), QStringLiteral("보이는 구간의 값에 값축 맞추기 (값축 위에서 휠: 값축 확대/축소)"),
            &TrendChart::fitValues);
    m_liveAction = addTool("actLive", QStringLiteral("실시간"),
                           QStringLiteral("최신값을 따라가기 (끌어서 옮기면 멈춤)"), &TrendChart::goLive);
    m_liveAction->setCheckable(true);
    makeToolBarReachable(m_tools, QStringLiteral("추세 차트"));
    m_plot->setAccessibleName(QStringLiteral("추세 차트"));

    m_plot->setBackground(kBackground);
    m_plot->setNotAntialiasedElements(QCP::aeAll);
    m_plot->setNoAntialiasingOnDrag(true);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    QCPAxisRect* rect = m_plot->axisRect();
    rect->setBackground(kBackground);
    rect->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    rect->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    new ChartNavigation(m_plot);

    m_plot->xAxis->setTicker(QSharedPointer<RegionalTimeTicker>::create(m_regional));
    styleChartAxis(m_plot->xAxis);
    styleChartAxis(m_plot->yAxis);
    m_plot->yAxis->setLabel(QStringLiteral("%"));
    m_plot->yAxis->setRange(0, 100);

    // Legend beside the axis rect, so it never hides the newest points.
    m_body = new QCPLayoutGrid;
    m_plot->plotLayout()->take(rect);
    m_plot->plotLayout()->addElement(0, 0, m_body);
    m_body->addElement(0, 0, rect);
    rect->insetLayout()->take(m_plot->legend);
    // The legend keeps its rows together at the top of its column.
    auto* legendColumn = new QCPLayoutGrid;
    m_body->addElement(0, 1, legendColumn);
    m_body->setColumnStretchFactor(1, 0.001);
    legendColumn->addElement(0, 0, m_plot->legend);
    legendColumn->addElement(1, 0, new QCPLayoutElement(m_plot));
    legendColumn->setRowStretchFactor(0, 0.001);
    legendColumn->setRowStretchFactor(1, 1);
    legendColumn->setMargins(QMargins(0, 0, 6, 0));
    legendColumn->setRowSpacing(0);
    m_plot->legend->setVisible(true);
    m_plot->legend->setBrush(QColor(40, 42, 50));
    m_plot->legend->setBorderPen(QPen(kGrid));
    m_plot->legend->setTextColor(kForeground);
    m_plot->legend->setFont(gulimche(9));
    m_plot->legend->setSelectableParts(QCPLegend::spNone);
    m_plot->legend->setMargins(QMargins(6, 4, 6, 4));
    m_plot->plotLayout()->simplify();

    QFont titleFont = gulimche(11);
    titleFont.setBold(true);
    m_title = new QCPTextElement(m_plot, QString(), titleFont);
    m_title->setTextColor(Qt::white);
    m_title->setSelectable(false);

    connect(m_plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &TrendChart::onTimeRangeChanged);
    connect(m_plot->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &TrendChart::onValueRangeChanged);
    resetTimeAxis();
}

TrendChart::~TrendChart()
{
    if (!m_titleShown)
        delete m_title;
}

QString TrendChart::timeLabel(const QDateTime& time, const Regional& regional)
{
    const int month = time.date().month();
    const QString name = month >= 1 && month <= regional.shortMonths.size()
        ? regional.shortMonths.at(month - 1)
        : Regional::plain().shortMonths.value(month - 1);
    return QString::number(time.date().day()) + QLatin1Char(' ') + name + QLatin1Char(' ')
        + time.toString(QStringLiteral("HH:mm:ss"));
}

double TrendChart::timeKey(const QDateTime& time)
{
    return QCPAxisTickerDateTime::dateTimeToKey(time);
}

void TrendChart::removeAllTraces()
{
    m_plot->clearGraphs();
    m_hasPoints = false;
    queueReplot();
}

int TrendChart::addTrace(const QString& title, const QColor& color)
{
    QCPGraph* g = m_plot->addGraph();
    g->setName(title);
    g->setPen(QPen(color, 1));
    g->setLineStyle(QCPGraph::lsLine);
    g->setAdaptiveSampling(true);
    g->setSelectable(QCP::stNone);
    queueReplot();
    return m_plot->graphCount() - 1;
}

int TrendChart::traceCount() const
{
    return m_plot->graphCount();
}

QCPGraph* TrendChart::graph(int trace) const
{
    return trace >= 0 && trace < m_plot->graphCount() ? m_plot->graph(trace) : nullptr;
}

QString TrendChart::traceTitle(int trace) const
{
    const QCPGraph* g = graph(trace);
    return g ? g->name() : QString();
}

QColor TrendChart::traceColor(int trace) const
{
    const QCPGraph* g = graph(trace);
    return g ? g->pen().color() : QColor();
}

void TrendChart::setTitle(const QString& text)
{
    m_title->setText(text);
    queueReplot();
}

QString TrendChart::title() const
{
    return m_title->text();
}

void TrendChart::setTitleVisible(bool visible)
{
    if (visible == m_titleShown)
        return;
    QCPLayoutGrid* layout = m_plot->plotLayout();
    if (visible) {
        layout->insertRow(0);
        layout->addElement(0, 0, m_title);
    } else {
        layout->take(m_title);
        layout->simplify();
    }
    m_titleShown = visible;
    queueReplot();
}

void TrendChart::clearPoints()
{
    for (int i = 0; i < m_plot->graphCount(); ++i)
        m_plot->graph(i)->data()->clear();
    m_hasPoints = false;
    m_valueFollows = true;
    setValueRange(0, 100);
    queueReplot();
}

void TrendChart::resetTimeAxis()
{
    m_live = true;
    m_axisFresh = true;
    m_span = kDefaultSpanSeconds;
    // Until the first point, the axis shows one span ending now.
    const double now = timeKey(QDateTime::currentDateTime());
    setTimeRange(now - m_span, now);
    updateTools();
}

void TrendChart::addPoint(int trace, const QDateTime& time, double value)
{
    addPoint(trace, timeKey(time), value);
}

void TrendChart::addPoint(int trace, double key, double value)
{
    QCPGraph* g = graph(trace);
    if (!g || !std::isfinite(key) || !std::isfinite(value))
        return;
    g->addData(key, value);
    if (!m_hasPoints || key > m_newest)
        m_newest = key;
    m_hasPoints = true;

    const QCPRange y = m_plot->yAxis->range();
    if (m_valueFollows && value > y.upper)
        setValueRange(y.lower, value);
    else if (m_valueFollows && value < y.lower)
        setValueRange(value, y.upper);

    if (m_live)
        followNewest(key);
    queueReplot();
}

void TrendChart::followNewest(double key)
{
    const QCPRange r = m_plot->xAxis->range();
    if (m_axisFresh) {
        // A new axis starts at its first point.
        m_axisFresh = false;
        setTimeRange(key, key + m_span);
        return;
    }
    if (key > r.upper)
        setTimeRange(key - m_span, key);
}

int TrendChart::pointCount(int trace) const
{
    const QCPGraph* g = graph(trace);
    return g ? g->data()->size() : 0;
}

QPointF TrendChart::point(int trace, int index) const
{
    const QCPGraph* g = graph(trace);
    if (!g || index < 0 || index >= g->data()->size())
        return {};
    const auto it = g->data()->at(index);
    return {it->key, it->value};
}

std::pair<double, double> TrendChart::timeRange() const
{
    const QCPRange r = m_plot->xAxis->range();
    return {r.lower, r.upper};
}

std::pair<double, double> TrendChart::valueRange() const
{
    const QCPRange r = m_plot->yAxis->range();
    return {r.lower, r.upper};
}

double TrendChart::newestKey() const
{
    return m_hasPoints ? m_newest : m_plot->xAxis->range().upper;
}

void TrendChart::setTimeRange(double lower, double upper)
{
    m_settingRange = true;
    m_plot->xAxis->setRange(lower, upper);
    m_settingRange = false;
}

void TrendChart::setValueRange(double lower, double upper)
{
    m_settingValues = true;
    m_plot->yAxis->setRange(lower, upper);
    m_settingValues = false;
}

void TrendChart::onValueRangeChanged()
{
    // The operator zoomed or dragged the value axis: it stays where it was put.
    if (!m_settingValues)
        m_valueFollows = false;
}

std::optional<QCPRange> TrendChart::dataSpan(bool keys, const QCPRange* inKeys) const
{
    std::optional<QCPRange> span;
    for (int i = 0; i < m_plot->graphCount(); ++i) {
        bool found = false;
        const QCPGraph* g = m_plot->graph(i);
        const QCPRange r = keys ? g->getKeyRange(found) : g->getValueRange(found, QCP::sdBoth, inKeys ? *inKeys : QCPRange());
        if (found)
            span = span ? QCPRange(std::min(span->lower, r.lower), std::max(span->upper, r.upper)) : r;
    }
    return span;
}

void TrendChart::fitValues()
{
    const QCPRange onView = m_plot->xAxis->range();
    const std::optional<QCPRange> shown = dataSpan(false, &onView);
    if (!shown)
        return;
    ChartNavigation::fitAxis(m_plot->yAxis, shown->lower, shown->upper); // a manual range: it no longer widens
    queueReplot();
}

void TrendChart::onTimeRangeChanged()
{
    if (m_settingRange || !m_live)
        return;
    // The operator dragged or turned the wheel: stop following.
    m_live = false;
    updateTools();
}

void TrendChart::zoomBy(double factor)
{
    const QCPRange r = m_plot->xAxis->range();
    if (m_live) {
        m_span = std::clamp(m_span * factor, kMinSpanSeconds, kMaxSpanSeconds);
        const double right = m_axisFresh ? r.upper : newestKey();
        setTimeRange(right - m_span, right);
    } else {
        const double size = std::clamp(r.size() * factor, kMinSpanSeconds, kMaxSpanSeconds);
        setTimeRange(r.center() - size / 2, r.center() + size / 2);
    }
    queueReplot();
}

void TrendChart::zoomIn()
{
    zoomBy(0.5);
}

void TrendChart::zoomOut()
{
    zoomBy(2.0);
}

void TrendChart::fitAll()
{
    const std::optional<QCPRange> keys = dataSpan(true);
    if (!keys)
        return;
    m_live = false;
    setTimeRange(keys->lower, std::max(keys->upper, keys->lower + kMinSpanSeconds));
    // The whole history on the documented "%" axis: 0..100 widened to every value.
    const QCPRange values = dataSpan(false).value_or(QCPRange(0, 100));
    setValueRange(std::min(0.0, values.lower), std::max(100.0, values.upper));
    m_valueFollows = true;
    updateTools();
    queueReplot();
}

void TrendChart::goLive()
{
    m_live = true;
    m_span = kDefaultSpanSeconds;
    if (m_hasPoints) {
        m_axisFresh = false;
        setTimeRange(m_newest - m_span, m_newest);
    }
    updateTools();
    queueReplot();
}

void TrendChart::replotNow()
{
    m_plot->replot(QCustomPlot::rpImmediateRefresh);
}

void TrendChart::updateTools()
{
    m_liveAction->setChecked(m_live);
}

void TrendChart::queueReplot()
{
    // A chart nobody sees is drawn when it is shown.
    if (isVisible())
        m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendChart::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}
