#include "review/RecordChart.h"

#include "review/RecordCsv.h"
#include "review/RecordReader.h"
#include "settings/FuncP.h"
#include "widgets/AppContext.h"
#include "widgets/ChartNavigation.h"
#include "widgets/Fonts.h"
#include "widgets/KeyboardReach.h"
#include "settings/KeloError.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QDir>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cmath>
#include <qcustomplot.h>

namespace {

const QColor kCursorColour(235, 235, 240);
const QColor kMarkColour(255, 210, 0);
const QColor kSecondColour(0, 200, 255);
constexpr double kShortestSpan = 10.0; // seconds on view at the most
constexpr int kCsvScale = 1000;
constexpr int kLegendEntryWidth = 130; // pixels per legend column

// Time labels spaced by their width: the date-time ticker asks for fewer
// ticks until the step leaves room for a whole label between two ticks, at
// whatever width the axis has (on screen or in an exported picture).
class SpacedTimeTicker : public QCPAxisTickerDateTime {
public:
    explicit SpacedTimeTicker(QCPAxis* axis) : m_axis(axis)
    {
        setDateTimeFormat(QStringLiteral("yyyy-MM-dd\nHH:mm:ss"));
    }

protected:
    double getTickStep(const QCPRange& range) override
    {
        const QFontMetricsF metrics(m_axis->tickLabelFont());
        const double label = metrics.horizontalAdvance(QStringLiteral("0000-00-00")) + 3 * metrics.averageCharWidth();
        // Ticks are made before the layout: the width the axis rect is about
        // to get, from the plot's size (set at once on a resize or an export).
        const QCPAxisRect* rect = m_axis->axisRect();
        const QMargins margins = rect->margins();
        const double pixels = std::max(1, m_axis->parentPlot()->viewport().width() - margins.left() - margins.right());
        const double least = range.size() * label / pixels; // seconds a label takes
        double step = 0;
        for (int count = std::max(2, int(pixels / label) + 1); count >= 1; --count) {
            setTickCount(count);
            step = QCPAxisTickerDateTime::getTickStep(range);
            if (step >= least)
                return step;
        }
        return std::max(step, least);
    }

private:
    QCPAxis* m_axis;
};

struct Scheme {
    QColor background, foreground, grid, legend;
};
const Scheme kDark{kChartBackground, kChartForeground, kChartGrid, QColor(40, 42, 50)};
const Scheme kLight{Qt::white, QColor(30, 30, 30), QColor(200, 200, 200), Qt::white};

void applyScheme(QCustomPlot* plot, const Scheme& scheme)
{
    plot->setBackground(scheme.background);
    plot->axisRect()->setBackground(scheme.background);
    for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) {
        axis->setBasePen(QPen(scheme.foreground));
        axis->setTickPen(QPen(scheme.foreground));
        axis->setSubTickPen(QPen(scheme.foreground));
        axis->setTickLabelColor(scheme.foreground);
        axis->setLabelColor(scheme.foreground);
        axis->grid()->setPen(QPen(scheme.grid, 1, Qt::DotLine));
        axis->grid()->setZeroLinePen(QPen(scheme.grid, 1, Qt::SolidLine));
    }
    plot->legend->setBrush(scheme.legend);
    plot->legend->setBorderPen(QPen(scheme.grid));
    plot->legend->setTextColor(scheme.foreground);
}

// A trace of the compared record: the channel's colour, paler towards the background.
QColor paler(const QColor& colour, const QColor& background)
{
    return QColor((colour.red() + background.red()) / 2, (colour.green() + background.green()) / 2,
                  (colour.blue() + background.blue()) / 2);
}

QString duration(double seconds)
{
    const qint64 s = qint64(std::llround(std::abs(seconds)));
    return QStringLiteral("%1%2:%3:%4")
        .arg(seconds < 0 ? QStringLiteral("-") : QString())
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QPixmap swatch(const QColor& colour)
{
    QPixmap p(12, 12);
    p.fill(colour);
    return p;
}

QCPItemStraightLine* verticalLine(QCustomPlot* plot, const QPen& pen)
{
    auto* line = new QCPItemStraightLine(plot);
    line->setPen(pen);
    line->setSelectable(false);
    line->setVisible(false);
    return line;
}

void placeAt(QCPItemStraightLine* line, double key)
{
    line->point1->setCoords(key, 0);
    line->point2->setCoords(key, 1);
    line->setVisible(true);
}

} // namespace

RecordChart::RecordChart(AppContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_tools(new QToolBar(this)), m_plot(new QCustomPlot(this)),
      m_list(new QTableWidget(this)), m_cursorLabel(new QLabel(this)), m_note(new QLabel(this)),
      m_deltaLabel(new QLabel(this)), m_splitter(new QSplitter(Qt::Horizontal, this)), m_csvProgress(nullptr),
      m_csvTimer(nullptr)
{
    buildTools();
    buildCsvProgress();
    makeToolBarReachable(m_tools, QStringLiteral("기록 차트"));
    buildPlot();
    buildChannelList();
    buildLabels();
    layOut();
    clear();
}

void RecordChart::buildTools()
{
    m_tools->setObjectName(QStringLiteral("tlbChart"));
    m_tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    addRecordTool("actFitAll", QStringLiteral("전체"), QStringLiteral("기록 전체 보기"), &RecordChart::fitAll);
    addRecordTool("actFitValue", QStringLiteral("값축맞춤"),
                  QStringLiteral("보이는 구간의 값에 값축 맞추기 (값축 위에서 휠: 값축 확대/축소)"), &RecordChart::fitValues);
    m_percentAction = addRecordSwitch("actPercent", QStringLiteral("%"),
                                      QStringLiteral("값 ÷ (Max + |Min|) × 100 으로 보기 (모니터링 화면의 눈금)"), false);
    connect(m_percentAction, &QAction::toggled, this, &RecordChart::setPercent);
    m_legendAction = addRecordSwitch("actLegend", QStringLiteral("범례"), QStringLiteral("범례 보이기/숨기기"), true);
    connect(m_legendAction, &QAction::toggled, this, &RecordChart::setLegendShown);
    addRecordTool("actSecondCursor", QStringLiteral("B 커서"),
                  QStringLiteral("두 번째 커서를 보이는 구간 가운데에 놓기 (Shift+클릭으로도 놓음): "
                                 "A(클릭)와 B 사이의 Δt, 변화량, 분당 변화율"),
                  &RecordChart::secondCursorClick);
    m_compareAction = addRecordTool("actCompare", QStringLiteral("비교 기록"),
                                    QStringLiteral("같은 헤더파일의 다른 기록을 시작 시각에 맞춰 겹쳐 보기 (다시 누르면 해제)"),
                                    &RecordChart::compareClick);
    m_tools->addSeparator();
    addRecordTool("actPng", QStringLiteral("PNG 저장"), QStringLiteral("차트를 PNG 그림으로 저장"), &RecordChart::savePngClick);
    addRecordTool("actPdf", QStringLiteral("PDF 저장"), QStringLiteral("차트를 PDF 문서로 저장"), &RecordChart::savePdfClick);
    m_lightAction = addRecordSwitch("actLight", QStringLiteral("흰 바탕 그림"),
                                    QStringLiteral("PNG/PDF를 인쇄하기 좋은 흰 바탕으로 저장"), true);
    addRecordTool("actCsvAll", QStringLiteral("CSV(전체)"), QStringLiteral("기록 전체를 CSV 파일로 저장"),
                  &RecordChart::saveCsvAllClick);
    addRecordTool("actCsvShown", QStringLiteral("CSV(보이는 구간)"),
                  QStringLiteral("보이는 시간 구간의 보이는 채널만 CSV 파일로 저장"), &RecordChart::saveCsvShownClick);
}

QAction* RecordChart::addTool(const char* name, const QString& text, const QString& tip, void (RecordChart::*slot)())
{
    QAction* action = m_tools->addAction(text);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(tip);
    connect(action, &QAction::triggered, this, slot);
    return action;
}

QAction* RecordChart::addRecordTool(const char* name, const QString& text, const QString& tip,
                                    void (RecordChart::*slot)())
{
    QAction* action = addTool(name, text, tip, slot);
    m_recordActions.push_back(action);
    return action;
}

QAction* RecordChart::addRecordSwitch(const char* name, const QString& text, const QString& tip, bool on)
{
    QAction* action = m_tools->addAction(text);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(tip);
    action->setCheckable(true);
    action->setChecked(on);
    m_recordActions.push_back(action);
    return action;
}

// The CSV export's progress and its cancel, shown while one runs.
void RecordChart::buildCsvProgress()
{
    m_csvProgress = new QProgressBar(m_tools);
    m_csvProgress->setObjectName(QStringLiteral("prgCsv"));
    m_csvProgress->setRange(0, kCsvScale);
    m_csvProgress->setMaximumWidth(140);
    m_csvProgress->setFormat(QStringLiteral("CSV %p%"));
    m_csvProgressAction = m_tools->addWidget(m_csvProgress);
    m_csvCancelAction = addTool("actCsvCancel", QStringLiteral("취소"), QStringLiteral("CSV 저장 취소"),
                                &RecordChart::cancelCsvClick);
    m_csvProgressAction->setVisible(false);
    m_csvCancelAction->setVisible(false);
    m_csvTimer = new QTimer(this);
    m_csvTimer->setInterval(50);
    connect(m_csvTimer, &QTimer::timeout, this, [this] {
        if (m_csv)
            m_csvProgress->setValue(m_csv->progress(kCsvScale));
    });
}

void RecordChart::buildPlot()
{
    m_plot->setObjectName(QStringLiteral("plotRecord"));
    m_plot->setAccessibleName(QStringLiteral("기록 차트"));
    m_plot->setBackground(kChartBackground);
    m_plot->setNotAntialiasedElements(QCP::aeAll);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->axisRect()->setBackground(kChartBackground);
    m_plot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    m_plot->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    m_plot->xAxis->setTicker(QSharedPointer<SpacedTimeTicker>::create(m_plot->xAxis));
    styleChartAxis(m_plot->xAxis);
    styleChartAxis(m_plot->yAxis);
    m_plot->legend->setVisible(true);
    m_plot->legend->setFont(gulimche(9));
    m_plot->legend->setSelectableParts(QCPLegend::spNone);
    // Above the plot in rows of entries, so it never covers the traces.
    m_plot->axisRect()->insetLayout()->take(m_plot->legend);
    m_plot->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    m_plot->legend->setMargins(QMargins(4, 2, 4, 2));
    placeLegend();
    applyScheme(m_plot, kDark);
    new ChartNavigation(m_plot);
    m_cursorLine = verticalLine(m_plot, QPen(kCursorColour, 1, Qt::DashLine));
    m_markLine = verticalLine(m_plot, QPen(kMarkColour, 1));
    m_secondLine = verticalLine(m_plot, QPen(kSecondColour, 1));
    m_plot->installEventFilter(this);
    m_plot->setMouseTracking(true);
    connect(m_plot, &QCustomPlot::afterLayout, this, &RecordChart::rebuildTraces);
    connect(m_plot, &QCustomPlot::mouseMove, this,
            [this](QMouseEvent* e) { moveCursorTo(m_plot->xAxis->pixelToCoord(e->position().x())); });
    connect(m_plot, &QCustomPlot::legendClick, this, [this](QCPLegend*, QCPAbstractLegendItem* item, QMouseEvent*) {
        if (auto* entry = qobject_cast<QCPPlottableLegendItem*>(item))
            for (int c = 0; c < m_plot->graphCount(); ++c)
                if (m_plot->graph(c) == entry->plottable())
                    setChannelShown(c, !isChannelShown(c));
    });
}

void RecordChart::buildChannelList()
{
    m_list->setObjectName(QStringLiteral("sgChannels"));
    m_list->setAccessibleName(QStringLiteral("채널 (보이기, 커서, 최소, 평균, 최대)"));
    m_list->setColumnCount(ColCount);
    m_list->setHorizontalHeaderLabels({QStringLiteral("채널"), QStringLiteral("커서"), QStringLiteral("최소"),
                                       QStringLiteral("평균"), QStringLiteral("최대"), QStringLiteral("Δ(B-A)"),
                                       QStringLiteral("Δ/분")});
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(18);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->horizontalHeader()->setSectionResizeMode(ColChannel, QHeaderView::Interactive);
    m_list->horizontalHeader()->setStretchLastSection(true);
    for (int c = ColCursor; c < ColCount; ++c)
        m_list->setColumnWidth(c, 62);
    connect(m_list, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_updatingList && item->column() == ColChannel)
            setChannelShown(item->row(), item->checkState() == Qt::Checked);
    });
}

void RecordChart::buildLabels()
{
    m_cursorLabel->setObjectName(QStringLiteral("labCursor"));
    // Its text changes as the mouse moves: that must not move the plot.
    m_cursorLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_deltaLabel->setObjectName(QStringLiteral("labDelta"));
    m_deltaLabel->setWordWrap(true);
    m_note->setObjectName(QStringLiteral("labNote"));
    m_note->setWordWrap(true);
    m_note->setStyleSheet(QStringLiteral("color: maroon;"));
}

// The tool bar above; the plot and the channel list with its labels side by side.
void RecordChart::layOut()
{
    auto* side = new QWidget(this);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(2, 0, 0, 0);
    sideLayout->addWidget(m_cursorLabel);
    sideLayout->addWidget(m_deltaLabel);
    sideLayout->addWidget(m_list, 1);
    sideLayout->addWidget(m_note);
    // The plot and the channel list share the width; the handle is drawn so it can be found.
    m_splitter->setObjectName(QStringLiteral("splChart"));
    m_splitter->setHandleWidth(5);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStyleSheet(QStringLiteral("QSplitter::handle { background-color: gray; }"));
    m_splitter->addWidget(m_plot);
    m_splitter->addWidget(side);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setSizes({650, 350});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tools);
    layout->addWidget(m_splitter, 1);
}

RecordChart::~RecordChart()
{
    m_csv.reset();           // a running CSV export is stopped and leaves no file
    m_overlayReader.reset(); // a running read of a compared record is stopped
}

void RecordChart::clear()
{
    m_csv.reset();
    if (m_csvTimer)
        m_csvTimer->stop();
    m_csvProgressAction->setVisible(false);
    m_csvCancelAction->setVisible(false);
    clearComparison();
    m_series = nullptr;
    m_table = nullptr;
    m_channels.clear();
    m_shown.clear();
    m_plot->clearGraphs();
    m_list->setRowCount(0);
    m_cursorLine->setVisible(false);
    m_markLine->setVisible(false);
    m_secondLine->setVisible(false);
    clearAlarmItems();
    m_markedRow = m_cursorRow = m_secondRow = -1;
    m_cursorLabel->setText(QStringLiteral("커서: -"));
    m_deltaLabel->clear();
    m_deltaLabel->hide();
    m_list->setColumnHidden(ColDelta, true);
    m_list->setColumnHidden(ColRate, true);
    m_note->clear();
    m_note->hide();
    const double now = QCPAxisTickerDateTime::dateTimeToKey(QDateTime::currentDateTime());
    m_plot->xAxis->setRange(now - 3600, now);
    m_plot->yAxis->setRange(0, 100);
    m_dirty = true;
    setToolsEnabled(false);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void RecordChart::setToolsEnabled(bool enabled)
{
    for (QAction* action : m_recordActions)
        action->setEnabled(enabled);
}

void RecordChart::setSetInfo(const QString& title, const QString& headerFileName)
{
    m_setTitle = title;
    m_headerName = headerFileName;
}

void RecordChart::setRecord(const RecordSeries& series, const SampleTable& table, std::vector<RecordChannel> channels,
                            const QString& recordPath, qsizetype setChannels)
{
    clear();
    m_series = &series;
    m_table = &table;
    m_channels = std::move(channels);
    m_channels.resize(size_t(series.channels()));
    m_shown.assign(m_channels.size(), true);
    const QFileInfo record(recordPath);
    m_recordName = record.fileName();
    m_recordFolder = record.absolutePath();

    m_updatingList = true;
    m_list->setRowCount(int(m_channels.size()));
    int widest = 0;
    const QFontMetrics metrics(m_list->font());
    for (size_t c = 0; c < m_channels.size(); ++c) {
        const RecordChannel& ch = m_channels[c];
        QCPGraph* g = m_plot->addGraph();
        g->setName(ch.caption);
        g->setPen(QPen(ch.color, 1));
        g->setAdaptiveSampling(false); // the points are already one pair per pixel column
        g->setSelectable(QCP::stNone);
        auto* item = new QTableWidgetItem(QIcon(swatch(ch.color)), ch.caption);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setToolTip(ch.caption);
        m_list->setItem(int(c), ColChannel, item);
        widest = std::max(widest, metrics.horizontalAdvance(ch.caption));
        for (int col = ColCursor; col < ColCount; ++col) {
            auto* cell = new QTableWidgetItem;
            cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_list->setItem(int(c), col, cell);
        }
    }
    m_updatingList = false;
    // Room for the names (check box and swatch included), up to a point; the rest elides in the middle.
    m_list->setColumnWidth(ColChannel, std::clamp(widest + 56, 90, 240));

    QStringList notes;
    if (setChannels > series.channels())
        notes << QStringLiteral("채널이 %1개로, 차트에는 처음 %2개만 그립니다.")
                     .arg(groupedCount(setChannels, m_context.regional), groupedCount(series.channels(), m_context.regional));
    if (series.badValues() > 0)
        notes << QStringLiteral("숫자로 읽을 수 없는 값 %1개는 차트에서 빈 곳으로 표시됩니다.")
                     .arg(groupedCount(series.badValues(), m_context.regional));
    if (series.emptyValues() > 0)
        notes << QStringLiteral("빈 값 %1개도 차트에서 빈 곳으로 표시됩니다.")
                     .arg(groupedCount(series.emptyValues(), m_context.regional));
    if (series.badStamps() > 0)
        notes << QStringLiteral("일시를 읽을 수 없는 줄 %1개는 차트에 그리지 않습니다.")
                     .arg(groupedCount(series.badStamps(), m_context.regional));
    m_note->setText(notes.join(QLatin1Char('\n')));
    m_note->setVisible(!notes.isEmpty());
    setToolsEnabled(true);
    placeLegend();
    fitAll();
}

void RecordChart::placeLegend()
{
    QCPLayoutGrid* layout = m_plot->plotLayout();
    const bool placed = layout->hasElement(0, 0) && layout->element(0, 0) == m_plot->legend;
    const bool wanted = !m_legendAction || m_legendAction->isChecked();
    if (wanted && !placed) {
        layout->insertRow(0);
        layout->addElement(0, 0, m_plot->legend);
        layout->setRowStretchFactor(0, 0.001);
    } else if (!wanted && placed) {
        layout->take(m_plot->legend);
        layout->simplify();
    }
    m_plot->legend->setVisible(wanted);
    wrapLegend();
}

void RecordChart::wrapLegend()
{
    // As many entries to a row as the plot's width holds; the rest on further rows.
    const int perRow = std::max(1, m_plot->width() / kLegendEntryWidth);
    if (m_plot->legend->wrap() != perRow) {
        m_plot->legend->setWrap(perRow);
        m_plot->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
    }
}

void RecordChart::setLegendShown(bool shown)
{
    m_legendAction->setChecked(shown);
    placeLegend();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

double RecordChart::scaleOf(int channel) const
{
    return m_percent ? m_channels[size_t(channel)].percentScale : 1.0;
}

void RecordChart::setChannelShown(int channel, bool shown)
{
    if (channel < 0 || channel >= int(m_shown.size()) || m_shown[size_t(channel)] == shown)
        return;
    m_shown[size_t(channel)] = shown;
    m_plot->graph(channel)->setVisible(shown);
    if (size_t(channel) < m_overlayGraphs.size())
        m_overlayGraphs[size_t(channel)]->setVisible(shown);
    m_updatingList = true;
    m_list->item(channel, ColChannel)->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
    m_updatingList = false;
    updateLegendLook(channel);
    placeAlarmItems();
    m_dirty = true;
    updateStatistics();
    showCursorValues();
    showDeltas();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

bool RecordChart::isChannelShown(int channel) const
{
    return channel >= 0 && channel < int(m_shown.size()) && m_shown[size_t(channel)];
}

void RecordChart::updateLegendLook(int channel)
{
    if (QCPPlottableLegendItem* item = m_plot->legend->itemWithPlottable(m_plot->graph(channel)))
        item->setTextColor(m_shown[size_t(channel)] ? m_plot->legend->textColor() : QColor(128, 128, 128));
}

void RecordChart::setPercent(bool percent)
{
    if (percent == m_percent)
        return;
    m_percent = percent;
    m_percentAction->setChecked(percent);
    m_plot->yAxis->setLabel(percent ? QStringLiteral("%") : QString());
    placeAlarmItems();
    m_dirty = true;
    showCursorValues();
    showDeltas();
    fitValues();
}

std::pair<double, double> RecordChart::timeRange() const
{
    const QCPRange r = m_plot->xAxis->range();
    return {r.lower, r.upper};
}

void RecordChart::setTimeRange(double from, double to)
{
    m_plot->xAxis->setRange(from, to);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

std::pair<double, double> RecordChart::valueRange() const
{
    const QCPRange r = m_plot->yAxis->range();
    return {r.lower, r.upper};
}

std::pair<qint64, qint64> RecordChart::shownRows() const
{
    if (!m_series)
        return {0, 0};
    const QCPRange r = m_plot->xAxis->range();
    return m_series->rowsIn(r.lower, r.upper);
}

RangeStats RecordChart::shownStats(int channel) const
{
    if (!m_series || !isChannelShown(channel))
        return {};
    const auto [first, end] = shownRows();
    return m_series->stats(channel, first, end);
}

void RecordChart::fitAll()
{
    if (!m_series || m_series->rows() == 0)
        return;
    double from = m_series->key(0), to = m_series->key(m_series->rows() - 1);
    if (m_overlay && m_overlay->rows() > 0)
        to = std::max(to, m_overlay->key(m_overlay->rows() - 1) + m_overlayShift);
    if (to - from < kShortestSpan) {
        from -= kShortestSpan / 2;
        to += kShortestSpan / 2;
    }
    m_plot->xAxis->setRange(from, to);
    fitValues();
}

void RecordChart::fitValues()
{
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    const QCPRange r = m_plot->xAxis->range();
    for (int c = 0; c < int(m_channels.size()); ++c) {
        const double scale = scaleOf(c);
        if (!isChannelShown(c) || !std::isfinite(scale))
            continue;
        for (RangeStats s : {shownStats(c), RangeStats{}}) {
            if (m_overlay && s.count == 0 && c < m_overlay->channels()) {
                const auto [first, end] = m_overlay->rowsIn(r.lower - m_overlayShift, r.upper - m_overlayShift);
                s = m_overlay->stats(c, first, end);
            }
            if (s.count == 0)
                continue;
            lo = std::min({lo, s.min * scale, s.max * scale});
            hi = std::max({hi, s.min * scale, s.max * scale});
        }
    }
    ChartNavigation::fitAxis(m_plot->yAxis, lo, hi);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void RecordChart::rebuildTraces()
{
    if (!m_series)
        return;
    const QCPRange r = m_plot->xAxis->range();
    const int width = m_plot->axisRect()->width();
    if (!m_dirty && r.lower == m_builtFrom && r.upper == m_builtTo && width == m_builtWidth)
        return;
    m_dirty = false;
    m_builtFrom = r.lower;
    m_builtTo = r.upper;
    m_builtWidth = width;
    const std::vector<qint64> columns = m_series->pixelColumns(r.lower, r.upper, std::max(width, 1));
    QVector<QCPGraphData> data;
    for (int c = 0; c < int(m_channels.size()); ++c) {
        QCPGraph* g = m_plot->graph(c);
        data.clear();
        if (m_shown[size_t(c)] && std::isfinite(scaleOf(c)))
            for (const ChartPoint& p : m_series->tracePoints(c, columns, scaleOf(c)))
                data.append(QCPGraphData(p.key, p.value));
        g->data()->set(data, true);
    }
    if (m_overlay) {
        const std::vector<qint64> overlayColumns =
            m_overlay->pixelColumns(r.lower - m_overlayShift, r.upper - m_overlayShift, std::max(width, 1));
        for (size_t c = 0; c < m_overlayGraphs.size(); ++c) {
            data.clear();
            if (m_shown[c] && std::isfinite(scaleOf(int(c))))
                for (const ChartPoint& p : m_overlay->tracePoints(int(c), overlayColumns, scaleOf(int(c))))
                    data.append(QCPGraphData(p.key + m_overlayShift, p.value));
            m_overlayGraphs[c]->data()->set(data, true);
        }
    }
    updateStatistics();
}

std::vector<ChartPoint> RecordChart::drawnPoints(int channel) const
{
    std::vector<ChartPoint> points;
    if (channel < 0 || channel >= m_plot->graphCount())
        return points;
    for (const QCPGraphData& d : *m_plot->graph(channel)->data())
        points.push_back({d.key, d.value});
    return points;
}

QString RecordChart::number(double value) const
{
    if (!std::isfinite(value))
        return QString();
    QString text = QString::number(value, 'f', std::abs(value) >= 1000 ? 1 : 3);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text.replace(QLatin1Char('.'), m_context.regional.decimal);
}

void RecordChart::updateStatistics()
{
    // In the plot's unit: "%" when the plot shows per cent.
    for (int c = 0; c < m_list->rowCount(); ++c) {
        const RangeStats s = shownStats(c);
        const double scale = scaleOf(c);
        m_list->item(c, ColMin)->setText(number(s.min * scale));
        m_list->item(c, ColMean)->setText(number(s.mean * scale));
        m_list->item(c, ColMax)->setText(number(s.max * scale));
    }
}

QString RecordChart::stampText(qint64 row) const
{
    return m_table ? m_table->cell(row, 0, 64) : QString();
}

qint64 RecordChart::moveCursorTo(double key)
{
    if (!m_series || m_series->rows() == 0)
        return -1;
    const qint64 row = m_series->nearestRow(key);
    if (row == m_cursorRow)
        return row;
    m_cursorRow = row;
    placeAt(m_cursorLine, m_series->key(row));
    m_cursorLabel->setText(QStringLiteral("커서: ") + stampText(row) + QStringLiteral("  (")
                           + groupedCount(row + 1, m_context.regional) + QStringLiteral("번째)"));
    showCursorValues();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
    return row;
}

void RecordChart::hideCursor()
{
    if (m_cursorRow < 0 && !m_cursorLine->visible())
        return;
    m_cursorRow = -1;
    m_cursorLine->setVisible(false);
    m_cursorLabel->setText(QStringLiteral("커서: -"));
    showCursorValues();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void RecordChart::showCursorValues()
{
    // The values as the table shows them, or in per cent as the plot does, for the shown channels.
    for (int c = 0; c < m_list->rowCount(); ++c) {
        QString text;
        if (isChannelShown(c) && m_cursorRow >= 0)
            text = m_percent ? number(m_series->value(c, m_cursorRow) * scaleOf(c)) : m_table->cell(m_cursorRow, c + 1, 64);
        m_list->item(c, ColCursor)->setText(text);
    }
}

void RecordChart::showDeltas()
{
    const bool both = m_series && m_markedRow >= 0 && m_secondRow >= 0;
    const double dt = both ? m_series->key(m_secondRow) - m_series->key(m_markedRow) : 0;
    for (int c = 0; c < m_list->rowCount(); ++c) {
        QString delta, rate;
        if (both && isChannelShown(c)) {
            const double change = (m_series->value(c, m_secondRow) - m_series->value(c, m_markedRow)) * scaleOf(c);
            delta = number(change);
            if (dt != 0)
                rate = number(change / (dt / 60.0));
        }
        m_list->item(c, ColDelta)->setText(delta);
        m_list->item(c, ColRate)->setText(rate);
    }
    // The change columns only while cursor B is placed, so the list keeps its room otherwise.
    m_list->setColumnHidden(ColDelta, m_secondRow < 0);
    m_list->setColumnHidden(ColRate, m_secondRow < 0);
    if (m_secondRow < 0) {
        m_deltaLabel->hide();
        return;
    }
    m_deltaLabel->setText(both ? QStringLiteral("A: %1   B: %2   Δt: %3")
                                     .arg(stampText(m_markedRow), stampText(m_secondRow), duration(dt))
                               : QStringLiteral("B: %1   (클릭으로 A 커서를 놓으세요)").arg(stampText(m_secondRow)));
    m_deltaLabel->show();
}

void RecordChart::markRow(qint64 row)
{
    if (!m_series || row < 0 || row >= m_series->rows())
        return;
    m_markedRow = row;
    const double key = m_series->key(row);
    placeAt(m_markLine, key);
    const QCPRange r = m_plot->xAxis->range();
    if (!r.contains(key))
        m_plot->xAxis->setRange(key - r.size() / 2, key + r.size() / 2);
    showDeltas();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void RecordChart::setSecondRow(qint64 row)
{
    if (!m_series || row >= m_series->rows())
        row = -1;
    m_secondRow = std::max<qint64>(row, -1);
    if (m_secondRow >= 0)
        placeAt(m_secondLine, m_series->key(m_secondRow));
    else
        m_secondLine->setVisible(false);
    showDeltas();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void RecordChart::secondCursorClick()
{
    if (!m_series || m_series->rows() == 0)
        return;
    const QCPRange r = m_plot->xAxis->range();
    if (m_markedRow < 0)
        markRow(m_series->nearestRow(r.lower + r.size() / 3));
    setSecondRow(m_series->nearestRow(r.lower + r.size() * 2 / 3));
}

void RecordChart::pickAt(const QPointF& pos, bool second)
{
    if (!m_series || !m_plot->axisRect()->rect().contains(pos.toPoint()))
        return; // outside the plot (the legend lies outside it)
    const qint64 row = m_series->nearestRow(m_plot->xAxis->pixelToCoord(pos.x()));
    if (row < 0)
        return;
    if (second) {
        setSecondRow(row);
        return;
    }
    moveCursorTo(m_plot->xAxis->pixelToCoord(pos.x()));
    markRow(row);
    Q_EMIT rowPicked(row);
}

bool RecordChart::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_plot) {
        if (event->type() == QEvent::Resize)
            wrapLegend();
        if (event->type() == QEvent::Leave)
            hideCursor();
        if (event->type() == QEvent::MouseButtonPress)
            m_pressPos = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* release = static_cast<QMouseEvent*>(event);
            // A click, not the end of a drag: the table goes to that time (Shift: cursor B there).
            if (release->button() == Qt::LeftButton && !release->modifiers().testFlag(Qt::ControlModifier)
                && (release->position().toPoint() - m_pressPos).manhattanLength() <= 3)
                pickAt(release->position(), release->modifiers().testFlag(Qt::ShiftModifier));
        }
    }
    return QWidget::eventFilter(watched, event);
}

void RecordChart::replotNow()
{
    m_plot->replot(QCustomPlot::rpImmediateRefresh);
}

QString RecordChart::askSaveName(const QString& filter, const QString& proposedName, const QString& suffix)
{
    FileDialogRequest request;
    request.filter = filter;
    request.startDir = m_recordFolder.isEmpty() ? MonitorDir() : m_recordFolder;
    request.proposedName = proposedName + suffix;
    request.confirmOverwrite = true;
    QString path = m_context.dialogs.saveFileName(this, request);
    if (!path.isEmpty() && !path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    return path;
}

QString RecordChart::pictureTitle() const
{
    const QCPRange r = m_plot->xAxis->range();
    const auto at = [](double key) {
        return QCPAxisTickerDateTime::keyToDateTime(key).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    };
    QStringList parts;
    if (!m_setTitle.isEmpty())
        parts << m_setTitle;
    parts << m_recordName;
    if (m_overlay)
        parts << QStringLiteral("비교: ") + m_overlayName;
    parts << at(r.lower) + QStringLiteral(" ~ ") + at(r.upper);
    return parts.join(QStringLiteral("  —  "));
}

bool RecordChart::savePicture(const QString& path)
{
    // The picture for a report: a title line, no hover cursor, on white when chosen.
    const bool cursorShown = m_cursorLine->visible();
    m_cursorLine->setVisible(false);
    const bool light = m_lightAction->isChecked();
    if (light)
        applyScheme(m_plot, kLight);
    auto* title = new QCPTextElement(m_plot, pictureTitle(), gulim(10));
    title->setTextColor(light ? kLight.foreground : kDark.foreground);
    m_plot->plotLayout()->insertRow(0);
    m_plot->plotLayout()->addElement(0, 0, title);
    for (int c = 0; c < int(m_channels.size()); ++c)
        updateLegendLook(c);

    // Written beside the target and renamed, so a failed save leaves no half file.
    const QString part = path + QStringLiteral(".part");
    const bool pdf = path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
    const bool written = pdf ? m_plot->savePdf(part, 0, 0, QCP::epAllowCosmetic, QStringLiteral("kelomon"), m_recordName)
                             : m_plot->savePng(part);

    m_plot->plotLayout()->remove(title);
    m_plot->plotLayout()->simplify();
    if (light)
        applyScheme(m_plot, kDark);
    for (int c = 0; c < int(m_channels.size()); ++c)
        updateLegendLook(c);
    m_cursorLine->setVisible(cursorShown);
    m_dirty = true;
    m_plot->replot(QCustomPlot::rpQueuedReplot);
    if (!written) {
        QFile::remove(part);
        return false;
    }
    // rename(2) replaces the target in one step: the old picture stays
    // whole until the new one is complete, and stays if the rename fails.
    if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(part);
        return false;
    }
    return true;
}

void RecordChart::savePngClick()
{
    const QString path = askSaveName(QStringLiteral("PNG 그림(*.png)|*.png"), QFileInfo(m_recordName).completeBaseName(),
                                     QStringLiteral(".png"));
    if (!path.isEmpty() && !savePicture(path))
        m_context.dialogs.MsgBox(this, QStringLiteral("그림을 저장하지 못했습니다.\r\n") + path, QStringLiteral("경고"),
                                 MsgStyle::OkError);
}

void RecordChart::savePdfClick()
{
    const QString path = askSaveName(QStringLiteral("PDF 문서(*.pdf)|*.pdf"), QFileInfo(m_recordName).completeBaseName(),
                                     QStringLiteral(".pdf"));
    if (!path.isEmpty() && !savePicture(path))
        m_context.dialogs.MsgBox(this, QStringLiteral("PDF 문서를 저장하지 못했습니다.\r\n") + path,
                                 QStringLiteral("경고"), MsgStyle::OkError);
}

void RecordChart::saveCsvAllClick()
{
    saveCsvClick(false);
}

void RecordChart::saveCsvShownClick()
{
    saveCsvClick(true);
}

void RecordChart::saveCsvClick(bool shownRangeOnly)
{
    if (!m_table || m_csv)
        return;
    // The two exports propose different names, so the part does not replace the whole.
    const QString base = QFileInfo(m_recordName).completeBaseName();
    const QString path = askSaveName(QStringLiteral("CSV 파일(*.csv)|*.csv"),
                                     shownRangeOnly ? base + QStringLiteral("_구간") : base, QStringLiteral(".csv"));
    if (!path.isEmpty())
        startCsv(path, shownRangeOnly);
}

void RecordChart::startCsv(const QString& path, bool shownRangeOnly)
{
    if (!m_table || m_csv)
        return;
    CsvRows rows{0, m_table->sampleCount(), {}, true};
    if (shownRangeOnly) {
        std::tie(rows.first, rows.end) = shownRows();
        rows.allChannels = false;
        for (int c = 0; c < int(m_channels.size()); ++c)
            if (isChannelShown(c))
                rows.channels.push_back(c + 1);
    }
    m_csv = std::make_unique<CsvExport>(*m_table, path, rows, m_context.regional);
    m_csvProgress->setValue(0);
    m_csvProgressAction->setVisible(true);
    m_csvCancelAction->setVisible(true);
    for (QAction* action : m_recordActions)
        if (action->objectName().startsWith(QLatin1String("actCsv")))
            action->setEnabled(false);
    m_csvTimer->start();
    CsvExport* running = m_csv.get();
    QPointer<RecordChart> self(this);
    m_csv->start([self, running] {
        QMetaObject::invokeMethod(self, [self, running] {
            if (self && self->m_csv.get() == running)
                self->csvEnded();
        }, Qt::QueuedConnection);
    });
}

void RecordChart::cancelCsvClick()
{
    if (m_csv)
        m_csv->stop();
}

void RecordChart::finishCsv()
{
    if (m_csv)
        csvEnded();
}

void RecordChart::csvEnded()
{
    m_csv->wait();
    const CsvExport::Outcome outcome = m_csv->outcome();
    const QString path = m_csv->path(), why = m_csv->failure();
    m_csv.reset();
    m_csvTimer->stop();
    m_csvProgressAction->setVisible(false);
    m_csvCancelAction->setVisible(false);
    setToolsEnabled(m_table != nullptr);
    if (outcome == CsvExport::Outcome::Failed)
        m_context.dialogs.MsgBox(this, QStringLiteral("CSV 파일을 저장하지 못했습니다.\r\n%1\r\n%2").arg(path, why),
                                 QStringLiteral("경고"), MsgStyle::OkError);
}

void RecordChart::compareClick()
{
    if (m_overlay || m_overlayReader) {
        clearComparison();
        return;
    }
    FileDialogRequest request;
    request.filter = QStringLiteral("모니터링파일(*.kmr)|*.kmr");
    request.startDir = m_recordFolder.isEmpty() ? MonitorDir() : m_recordFolder;
    const QString path = m_context.dialogs.openFileName(this, request);
    QString why;
    if (!path.isEmpty() && !startComparison(path, &why))
        m_context.dialogs.MsgBox(this, why, QStringLiteral("경고"), MsgStyle::OkError);
}

bool RecordChart::startComparison(const QString& path, QString* why)
{
    if (!m_series || m_series->rows() == 0)
        return false;
    clearComparison();
    try {
        const QString header = headerNameOf(readRecordHeaderLine(path));
        if (header != m_headerName) {
            *why = QStringLiteral("같은 헤더파일의 기록만 겹쳐 볼 수 있습니다.\r\n%1: %2\r\n%3: %4")
                       .arg(m_recordName, m_headerName, QFileInfo(path).fileName(), header);
            return false;
        }
        m_overlayReader = std::make_unique<RecordReader>(path, int(m_channels.size()),
                                                         m_series->gapSeconds() / 2, m_context.regional);
    } catch (const KeloError& e) {
        *why = e.text();
        return false;
    }
    m_overlayName = QFileInfo(path).fileName();
    RecordReader* reader = m_overlayReader.get();
    QPointer<RecordChart> self(this);
    m_overlayReader->start([self, reader] {
        QMetaObject::invokeMethod(self, [self, reader] {
            if (self && self->m_overlayReader.get() == reader)
                self->comparisonRead();
        }, Qt::QueuedConnection);
    });
    return true;
}

void RecordChart::finishComparison()
{
    if (m_overlayReader)
        comparisonRead();
}

void RecordChart::comparisonRead()
{
    m_overlayReader->wait();
    const QString failure = m_overlayReader->failure();
    const bool outOfMemory = m_overlayReader->outOfMemory();
    auto overlay = std::make_unique<RecordSeries>(m_overlayReader->takeSeries());
    m_overlayReader.reset();
    if (outOfMemory || !failure.isEmpty() || overlay->rows() == 0) {
        m_context.dialogs.MsgBox(this, QStringLiteral("비교할 기록을 읽지 못했습니다.\r\n%1\r\n%2")
                                           .arg(m_overlayName, outOfMemory ? QStringLiteral("메모리 부족") : failure),
                                 QStringLiteral("경고"), MsgStyle::OkError);
        return;
    }
    m_overlay = std::move(overlay);
    // Aligned by the time since each record's start.
    m_overlayShift = m_series->key(0) - m_overlay->key(0);
    const QColor background = kDark.background;
    for (size_t c = 0; c < m_channels.size() && int(c) < m_overlay->channels(); ++c) {
        QCPGraph* g = m_plot->addGraph();
        g->setPen(QPen(paler(m_channels[c].color, background), 1));
        g->setAdaptiveSampling(false);
        g->setSelectable(QCP::stNone);
        g->setVisible(m_shown[c]);
        g->removeFromLegend();
        m_overlayGraphs.push_back(g);
    }
    // One legend entry for the compared record, in a paler grey.
    m_overlayEntry = m_plot->addGraph();
    m_overlayEntry->setName(QStringLiteral("비교: ") + m_overlayName + QStringLiteral(" (옅은 색, 시작 시각 맞춤)"));
    m_overlayEntry->setPen(QPen(paler(QColor(220, 220, 220), background), 2));
    m_overlayEntry->setSelectable(QCP::stNone);
    m_dirty = true;
    fitAll();
}

void RecordChart::clearComparison()
{
    m_overlayReader.reset();
    for (QCPGraph* g : m_overlayGraphs)
        m_plot->removeGraph(g);
    m_overlayGraphs.clear();
    if (m_overlayEntry)
        m_plot->removeGraph(m_overlayEntry);
    m_overlayEntry = nullptr;
    m_overlay.reset();
    m_overlayName.clear();
    m_dirty = true;
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}
