#pragma once
#include "review/RecordSeries.h"

#include <QColor>
#include <QWidget>
#include <vector>

struct AppContext;
class QAction;
class QCPItemStraightLine;
class QCustomPlot;
class QLabel;
class QTableWidget;
class QToolBar;

// A channel of the record as the chart draws it.
struct RecordChannel {
    QString caption;
    QColor color;
    double percentScale = RangeStats::kNone; // value x this = "%" of Max + |Min|; NaN: none
};

// The data viewer's chart of a record: one trace per channel over the
// stamps' time, drawn from the record's series reduced to the minimum and
// maximum of each pixel column. Channels are shown and hidden in the legend
// or the channel list beside the plot, which also gives each shown channel's
// value under the cursor and its minimum, mean and maximum over the time
// range on view. Exports the picture (PNG, PDF) and the data (CSV).
class RecordChart : public QWidget {
    Q_OBJECT
public:
    // Columns of the channel list.
    enum Column { ColChannel, ColCursor, ColMin, ColMean, ColMax, ColCount };

    // Channels drawn at most; a set of more draws its first ones (as the
    // monitoring window takes no more).
    static constexpr int kMaxChannels = 1000;

    explicit RecordChart(AppContext& context, QWidget* parent = nullptr);

    void clear();
    // Shows a loaded record; `series` and `table` stay alive and unchanged
    // until the next clear() or setRecord(). `setChannels`: the channels of
    // the set, of which the series holds the first kMaxChannels at most.
    void setRecord(const RecordSeries& series, const SampleTable& table, std::vector<RecordChannel> channels,
                   const QString& recordFileName, qsizetype setChannels = 0);

    void setChannelShown(int channel, bool shown);
    [[nodiscard]] bool isChannelShown(int channel) const;
    void setPercent(bool percent);
    [[nodiscard]] bool isPercent() const { return m_percent; }

    // The time range on view and moving it (seconds since the epoch).
    [[nodiscard]] std::pair<double, double> timeRange() const;
    void setTimeRange(double from, double to);
    [[nodiscard]] std::pair<double, double> valueRange() const;
    // Rows whose time lies in the range on view, as [first, end).
    [[nodiscard]] std::pair<qint64, qint64> shownRows() const;
    [[nodiscard]] RangeStats shownStats(int channel) const;

    // Points the cursor at the row nearest to a time: the list's cursor
    // column shows that row's values; returns the row (-1 without rows).
    qint64 moveCursorTo(double key);
    [[nodiscard]] qint64 markedRow() const { return m_markedRow; }
    // The drawn points of a channel's trace (after the last replot).
    [[nodiscard]] std::vector<ChartPoint> drawnPoints(int channel) const;

    bool savePicture(const QString& path); // PNG or PDF by the name's ending
    bool saveCsv(const QString& path, bool shownRangeOnly, QString* error = nullptr);

    [[nodiscard]] QCustomPlot* plot() const { return m_plot; }
    [[nodiscard]] QTableWidget* channelList() const { return m_list; }
    [[nodiscard]] QToolBar* toolBar() const { return m_tools; }

public Q_SLOTS:
    void fitAll();    // the whole record, the value axis fitted to it
    void fitValues(); // the value axis to the shown channels in the range on view
    // Marks a table row's time (from the table's selection), bringing it into view.
    void markRow(qint64 row);
    void replotNow();
    void savePngClick();
    void savePdfClick();
    void saveCsvAllClick();
    void saveCsvShownClick();

Q_SIGNALS:
    // The operator clicked the plot: the row nearest to the clicked time.
    void rowPicked(qint64 row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuildTraces();
    void updateStatistics();
    void showCursorValues();
    void updateLegendLook(int channel);
    void pickAt(const QPointF& pos);
    void saveCsvClick(bool shownRangeOnly);
    [[nodiscard]] double scaleOf(int channel) const;
    [[nodiscard]] QString askSaveName(const QString& filter, const QString& suffix);
    [[nodiscard]] QString number(double value) const;

    AppContext& m_context;
    QToolBar* m_tools;
    QCustomPlot* m_plot;
    QTableWidget* m_list;
    QLabel* m_cursorLabel;
    QLabel* m_note;
    QAction* m_percentAction = nullptr;
    QCPItemStraightLine* m_cursorLine;
    QCPItemStraightLine* m_markLine;
    const RecordSeries* m_series = nullptr;
    const SampleTable* m_table = nullptr;
    std::vector<RecordChannel> m_channels;
    std::vector<bool> m_shown;
    QString m_recordName;
    bool m_percent = false;
    bool m_updatingList = false;
    qint64 m_markedRow = -1;
    qint64 m_cursorRow = -1;
    QPoint m_pressPos;
    // What the traces were last built for.
    double m_builtFrom = 0, m_builtTo = 0;
    int m_builtWidth = -1;
    bool m_dirty = true;
};
