#include "review/RecordChart.h"

#include "review/RecordCsv.h"
#include "settings/FuncP.h"
#include "widgets/AppContext.h"
#include "widgets/ChartNavigation.h"
#include "widgets/Fonts.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QSaveFile>
#include <QSplitter>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace {

const QColor kCursorColour(235, 235, 240);
const QColor kMarkColour(255, 210, 0);
constexpr double kShortestSpan = 10.0; // seconds on view at the most

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
      m_list(new QTableWidget(this)), m_cursorLabel(new QLabel(this)), m_note(new QLabel(this))
{
    m_tools->setObjectName(QStringLiteral("tlbChart"));
    m_tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const auto addTool = [this](const char* name, const QString& text, const QString& tip, void (RecordChart::*slot)()) {
        QAction* action = m_tools->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setToolTip(tip);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    addTool("actFitAll", QStringLiteral("전체"), QStringLiteral("기록 전체 보기"), &RecordChart::fitAll);
    addTool("actFitValue", QStringLiteral("값축맞춤"),
            QStringLiteral("보이는 구간의 값에 값축 맞추기 (값축 위에서 휠: 값축 확대/축소)"), &RecordChart::fitValues);
    m_percentAction = m_tools->addAction(QStringLiteral("%"));
    m_percentAction->setObjectName(QStringLiteral("actPercent"));
    m_percentAction->setToolTip(QStringLiteral("값 ÷ (Max + |Min|) × 100 으로 보기 (모니터링 화면의 눈금)"));
    m_percentAction->setCheckable(true);
    connect(m_percentAction, &QAction::toggled, this, &RecordChart::setPercent);
    m_tools->addSeparator();
    addTool("actPng", QStringLiteral("PNG 저장"), QStringLiteral("차트를 PNG 그림으로 저장"), &RecordChart::savePngClick);
    addTool("actPdf", QStringLiteral("PDF 저장"), QStringLiteral("차트를 PDF 문서로 저장"), &RecordChart::savePdfClick);
    addTool("actCsvAll", QStringLiteral("CSV(전체)"), QStringLiteral("기록 전체를 CSV 파일로 저장"),
            &RecordChart::saveCsvAllClick);
    addTool("actCsvShown", QStringLiteral("CSV(보이는 구간)"), QStringLiteral("보이는 시간 구간만 CSV 파일로 저장"),
            &RecordChart::saveCsvShownClick);

    m_plot->setObjectName(QStringLiteral("plotRecord"));
    m_plot->setBackground(kChartBackground);
    m_plot->setNotAntialiasedElements(QCP::aeAll);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->axisRect()->setBackground(kChartBackground);
    m_plot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    m_plot->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat(QStringLiteral("yyyy-MM-dd\nHH:mm:ss"));
    ticker->setTickCount(6);
    m_plot->xAxis->setTicker(ticker);
    styleChartAxis(m_plot->xAxis);
    styleChartAxis(m_plot->yAxis);
    m_plot->legend->setVisible(true);
    m_plot->legend->setBrush(QColor(40, 42, 50, 220));
    m_plot->legend->setBorderPen(QPen(kChartGrid));
    m_plot->legend->setTextColor(kChartForeground);
    m_plot->legend->setFont(gulimche(9));
    m_plot->legend->setSelectableParts(QCPLegend::spNone);
    m_plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    new ChartNavigation(m_plot);
    m_cursorLine = verticalLine(m_plot, QPen(kCursorColour, 1, Qt::DashLine));
    m_markLine = verticalLine(m_plot, QPen(kMarkColour, 1));
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

    m_list->setObjectName(QStringLiteral("sgChannels"));
    m_list->setColumnCount(ColCount);
    m_list->setHorizontalHeaderLabels({QStringLiteral("채널"), QStringLiteral("커서"), QStringLiteral("최소"),
                                       QStringLiteral("평균"), QStringLiteral("최대")});
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(18);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->horizontalHeader()->setSectionResizeMode(ColChannel, QHeaderView::Stretch);
    for (int c = ColCursor; c < ColCount; ++c)
        m_list->setColumnWidth(c, 62);
    connect(m_list, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_updatingList && item->column() == ColChannel)
            setChannelShown(item->row(), item->checkState() == Qt::Checked);
    });

    m_cursorLabel->setObjectName(QStringLiteral("labCursor"));
    m_note->setObjectName(QStringLiteral("labNote"));
    m_note->setWordWrap(true);
    m_note->setStyleSheet(QStringLiteral("color: maroon;"));

    auto* side = new QWidget(this);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(2, 0, 0, 0);
    sideLayout->addWidget(m_cursorLabel);
    sideLayout->addWidget(m_list, 1);
    sideLayout->addWidget(m_note);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_plot);
    splitter->addWidget(side);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({620, 330});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tools);
    layout->addWidget(splitter, 1);
    clear();
}

void RecordChart::clear()
{
    m_series = nullptr;
    m_table = nullptr;
    m_channels.clear();
    m_shown.clear();
    m_plot->clearGraphs();
    m_list->setRowCount(0);
    m_cursorLine->setVisible(false);
    m_markLine->setVisible(false);
    m_markedRow = m_cursorRow = -1;
    m_cursorLabel->setText(QStringLiteral("커서: -"));
    m_note->clear();
    m_note->hide();
    const double now = QCPAxisTickerDateTime::dateTimeToKey(QDateTime::currentDateTime());
    m_plot->xAxis->setRange(now - 3600, now);
    m_plot->yAxis->setRange(0, 100);
    m_dirty = true;
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void RecordChart::setRecord(const RecordSeries& series, const SampleTable& table, std::vector<RecordChannel> channels,
                            const QString& recordFileName, qsizetype setChannels)
{
    clear();
    m_series = &series;
    m_table = &table;
    m_channels = std::move(channels);
    m_channels.resize(size_t(series.channels()));
    m_shown.assign(m_channels.size(), true);
    m_recordName = recordFileName;

    m_updatingList = true;
    m_list->setRowCount(int(m_channels.size()));
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
        m_list->setItem(int(c), ColChannel, item);
        for (int col = ColCursor; col < ColCount; ++col) {
            auto* cell = new QTableWidgetItem;
            cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_list->setItem(int(c), col, cell);
        }
    }
    m_updatingList = false;

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
    fitAll();
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
    m_updatingList = true;
    m_list->item(channel, ColChannel)->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
    m_updatingList = false;
    updateLegendLook(channel);
    m_dirty = true;
    updateStatistics();
    showCursorValues();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

bool RecordChart::isChannelShown(int channel) const
{
    return channel >= 0 && channel < int(m_shown.size()) && m_shown[size_t(channel)];
}

void RecordChart::updateLegendLook(int channel)
{
    if (QCPPlottableLegendItem* item = m_plot->legend->itemWithPlottable(m_plot->graph(channel)))
        item->setTextColor(m_shown[size_t(channel)] ? kChartForeground : QColor(110, 110, 118));
}

void RecordChart::setPercent(bool percent)
{
    if (percent == m_percent)
        return;
    m_percent = percent;
    m_percentAction->setChecked(percent);
    m_plot->yAxis->setLabel(percent ? QStringLiteral("%") : QString());
    m_dirty = true;
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
    for (int c = 0; c < int(m_channels.size()); ++c) {
        const RangeStats s = shownStats(c);
        const double scale = scaleOf(c);
        if (s.count == 0 || !std::isfinite(scale))
            continue;
        lo = std::min({lo, s.min * scale, s.max * scale});
        hi = std::max({hi, s.min * scale, s.max * scale});
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
    return text.replace(QLatin1Char('.'), m_context.regional.decimal);
}

void RecordChart::updateStatistics()
{
    for (int c = 0; c < m_list->rowCount(); ++c) {
        const RangeStats s = shownStats(c);
        m_list->item(c, ColMin)->setText(number(s.min));
        m_list->item(c, ColMean)->setText(number(s.mean));
        m_list->item(c, ColMax)->setText(number(s.max));
    }
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
    m_cursorLabel->setText(QStringLiteral("커서: ") + m_table->cell(row, 0) + QStringLiteral("  (")
                           + groupedCount(row + 1, m_context.regional) + QStringLiteral("번째)"));
    showCursorValues();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
    return row;
}

void RecordChart::showCursorValues()
{
    // The values as the table shows them, for the shown channels.
    for (int c = 0; c < m_list->rowCount(); ++c)
        m_list->item(c, ColCursor)
            ->setText(isChannelShown(c) && m_cursorRow >= 0 ? m_table->cell(m_cursorRow, c + 1, 64) : QString());
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
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void RecordChart::pickAt(const QPointF& pos)
{
    if (!m_series || !m_plot->axisRect()->rect().contains(pos.toPoint())
        || (m_plot->legend->visible() && m_plot->legend->selectTest(pos, false) >= 0))
        return; // outside the plot, or on the legend (which shows and hides)
    const qint64 row = moveCursorTo(m_plot->xAxis->pixelToCoord(pos.x()));
    if (row < 0)
        return;
    markRow(row);
    Q_EMIT rowPicked(row);
}

bool RecordChart::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_plot) {
        // Date-and-time labels are about 80 pixels wide with room between them: as many as fit side by side.
        if (event->type() == QEvent::Resize)
            m_plot->xAxis->ticker()->setTickCount(std::max(2, m_plot->width() / 110));
        if (event->type() == QEvent::MouseButtonPress)
            m_pressPos = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* release = static_cast<QMouseEvent*>(event);
            // A click, not the end of a drag: the table goes to that time.
            if (release->button() == Qt::LeftButton && !release->modifiers().testFlag(Qt::ControlModifier)
                && (release->position().toPoint() - m_pressPos).manhattanLength() <= 3)
                pickAt(release->position());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void RecordChart::replotNow()
{
    m_plot->replot(QCustomPlot::rpImmediateRefresh);
}

QString RecordChart::askSaveName(const QString& filter, const QString& suffix)
{
    FileDialogRequest request;
    request.filter = filter;
    request.startDir = MonitorDir();
    request.proposedName = QFileInfo(m_recordName).completeBaseName() + suffix;
    request.confirmOverwrite = true;
    QString path = m_context.dialogs.saveFileName(this, request);
    if (!path.isEmpty() && !path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    return path;
}

bool RecordChart::savePicture(const QString& path)
{
    // Written beside the target and renamed, so a failed save leaves no half file.
    const QString part = path + QStringLiteral(".part");
    const bool pdf = path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
    const bool written = pdf ? m_plot->savePdf(part, 0, 0, QCP::epAllowCosmetic, QStringLiteral("kelomon"), m_recordName)
                             : m_plot->savePng(part);
    m_dirty = true;
    if (!written) {
        QFile::remove(part);
        return false;
    }
    QFile::remove(path);
    if (!QFile::rename(part, path)) {
        QFile::remove(part);
        return false;
    }
    return true;
}

bool RecordChart::saveCsv(const QString& path, bool shownRangeOnly, QString* error)
{
    if (!m_table)
        return false;
    const auto [first, end] = shownRangeOnly ? shownRows() : std::pair<qint64, qint64>(0, m_table->sampleCount());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && writeRecordCsv(file, *m_table, first, end, m_context.regional)
        && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    file.cancelWriting();
    return false;
}

void RecordChart::savePngClick()
{
    const QString path = askSaveName(QStringLiteral("PNG 그림(*.png)|*.png"), QStringLiteral(".png"));
    if (!path.isEmpty() && !savePicture(path))
        m_context.dialogs.MsgBox(this, QStringLiteral("그림을 저장하지 못했습니다.\r\n") + path, QStringLiteral("경고"),
                                 MsgStyle::OkError);
}

void RecordChart::savePdfClick()
{
    const QString path = askSaveName(QStringLiteral("PDF 문서(*.pdf)|*.pdf"), QStringLiteral(".pdf"));
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
    const QString path = askSaveName(QStringLiteral("CSV 파일(*.csv)|*.csv"), QStringLiteral(".csv"));
    QString error;
    if (!path.isEmpty() && !saveCsv(path, shownRangeOnly, &error))
        m_context.dialogs.MsgBox(this, QStringLiteral("CSV 파일을 저장하지 못했습니다.\r\n%1\r\n%2").arg(path, error),
                                 QStringLiteral("경고"), MsgStyle::OkError);
}
