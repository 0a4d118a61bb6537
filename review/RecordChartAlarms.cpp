// The record chart's alarm limits and periods in alarm.
#include "review/RecordChart.h"

#include "alarms/AlarmWords.h"

#include <cmath>
#include <qcustomplot.h>

QList<RecordChart::AlarmPeriod> RecordChart::alarmPeriods(const QList<AlarmTransition>& log, double end)
{
    // Each alarm is active from its raise until it returns (to ReturnedUnacked
    // or straight to Normal); acknowledging it changes nothing here.
    QList<AlarmPeriod> periods;
    QList<std::pair<AlarmKey, qsizetype>> open; // alarm, its period in `periods`
    for (const AlarmTransition& t : log) {
        const double at = double(t.time.toMSecsSinceEpoch()) / 1000.0;
        auto it = std::find_if(open.begin(), open.end(), [&](const auto& o) { return o.first == t.key; });
        if (active(t.state)) {
            if (it == open.end()) {
                open.append({t.key, periods.size()});
                periods.append({t.key, t.priority, at, end});
            }
        } else if (it != open.end()) {
            periods[it->second].to = at;
            open.erase(it);
        }
    }
    return periods;
}

void RecordChart::clearAlarmItems()
{
    for (const LimitLine& l : m_limitLines)
        m_plot->removeItem(l.line);
    m_limitLines.clear();
    for (QCPItemRect* rect : m_periodRects)
        m_plot->removeItem(rect);
    m_periodRects.clear();
    m_periods.clear();
}

void RecordChart::setAlarms(const AlarmSettings& settings, const QList<AlarmTransition>& log)
{
    clearAlarmItems();
    if (!m_series)
        return;
    for (int c = 0; c < int(m_channels.size()) && c < settings.channels.size(); ++c) {
        const ChannelAlarmDef& def = settings.channels[c];
        for (const std::optional<double>& limit : {def.high, def.low}) {
            if (!limit)
                continue;
            auto* line = new QCPItemStraightLine(m_plot);
            line->setPen(QPen(m_channels[size_t(c)].color, 1.5, Qt::DashLine));
            line->setSelectable(false);
            line->setLayer(QStringLiteral("main"));
            m_limitLines.push_back({c, *limit, line});
        }
    }
    const double end = m_series->rows() > 0 ? m_series->key(m_series->rows() - 1) : 0;
    m_periods = alarmPeriods(log, end);
    for (const AlarmPeriod& p : m_periods) {
        auto* rect = new QCPItemRect(m_plot);
        QColor fill = priorityColor(p.priority);
        fill.setAlpha(28); // light enough to read the traces through overlapping periods
        rect->setBrush(fill);
        rect->setPen(Qt::NoPen);
        rect->setSelectable(false);
        rect->setLayer(QStringLiteral("background"));
        // Whole height of the plot, from raise to return on the time axis.
        rect->topLeft->setTypeX(QCPItemPosition::ptPlotCoords);
        rect->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
        rect->bottomRight->setTypeX(QCPItemPosition::ptPlotCoords);
        rect->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
        rect->topLeft->setCoords(p.from, 0);
        rect->bottomRight->setCoords(std::max(p.to, p.from), 1);
        m_periodRects.push_back(rect);
    }
    placeAlarmItems();
}

void RecordChart::placeAlarmItems()
{
    for (const LimitLine& l : m_limitLines) {
        const double scale = m_percent ? m_channels[size_t(l.channel)].percentScale : 1.0;
        const bool shown = isChannelShown(l.channel) && std::isfinite(scale);
        l.line->setVisible(shown);
        if (shown) {
            l.line->point1->setCoords(0, l.limit * scale);
            l.line->point2->setCoords(1, l.limit * scale);
        }
    }
    for (qsizetype i = 0; i < m_periods.size(); ++i) {
        // A channel's periods go with its trace; the system's always show.
        const int channel = m_periods[i].key.channel;
        m_periodRects[size_t(i)]->setVisible(channel <= 0 || isChannelShown(channel - 1));
    }
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

QList<std::pair<int, double>> RecordChart::limitLines() const
{
    QList<std::pair<int, double>> lines;
    for (const LimitLine& l : m_limitLines)
        if (l.line->visible())
            lines.append({l.channel, l.line->point1->coords().y()});
    return lines;
}
