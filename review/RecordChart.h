#pragma once
#include "alarms/AlarmTypes.h"
#include "review/RecordSeries.h"

#include <QColor>
#include <QWidget>
#include <memory>
#include <vector>

struct AppContext;
class CsvExport;
class QAction;
class QCPGraph;
class QCPItemRect;
class QCPItemStraightLine;
class QCustomPlot;
class QLabel;
class QProgressBar;
class QSplitter;
class QTableWidget;
class QTimer;
class QToolBar;
class RecordReader;

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
// range on view. A click sets cursor A, Shift+click cursor B; the list then
// gives each channel's change between them and its rate per minute.
// A second record of the same set can be laid over it, aligned by the time
// since each record's start. Exports the picture (PNG, PDF, with a title
// line, on white when chosen) and the data (CSV, written on a thread of its
// own while a bar shows the progress).
class RecordChart : public QWidget {
    Q_OBJECT
public:
    // Columns of the channel list.
    enum Column { ColChannel, ColCursor, ColMin, ColMean, ColMax, ColDelta, ColRate, ColCount };

    // Channels drawn at most; a set of more draws its first ones (as the
    // monitoring window takes no more).
    static constexpr int kMaxChannels = 1000;

    explicit RecordChart(AppContext& context, QWidget* parent = nullptr);
    ~RecordChart() override;

    void clear();
    // Shows a loaded record; `series` and `table` stay alive and unchanged
    // until the next clear() or setRecord(). `setChannels`: the channels of
    // the set, of which the series holds the first kMaxChannels at most.
    void setRecord(const RecordSeries& series, const SampleTable& table, std::vector<RecordChannel> channels,
                   const QString& recordPath, qsizetype setChannels = 0);
    // The set's title (for the pictures' title line) and its file's name
    // (a record to compare must name the same).
    void setSetInfo(const QString& title, const QString& headerFileName);

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
    void hideCursor();
    [[nodiscard]] qint64 markedRow() const { return m_markedRow; }
    // Cursor B (-1 to remove it); Δ and rate columns read from A to B.
    void setSecondRow(qint64 row);
    [[nodiscard]] qint64 secondRow() const { return m_secondRow; }
    // The drawn points of a channel's trace (after the last replot).
    [[nodiscard]] std::vector<ChartPoint> drawnPoints(int channel) const;

    bool savePicture(const QString& path); // PNG or PDF by the name's ending
    // Starts a CSV export of the whole record or of the shown channels in the
    // time range on view; a failure is reported in a box when it ends.
    void startCsv(const QString& path, bool shownRangeOnly);
    [[nodiscard]] bool csvRunning() const { return bool(m_csv); }
    void finishCsv(); // waits for a running CSV export and reports it (tools and tests)

    // Lays a record of the same set over this one (read on threads of its
    // own); false with the reason when it cannot be.
    bool startComparison(const QString& path, QString* why);
    void finishComparison(); // waits for it (tools and tests)
    void clearComparison();
    [[nodiscard]] const RecordSeries* comparison() const { return m_overlay.get(); }

    // A period an alarm was active (raised until returned), in seconds since
    // the epoch; `to` is the record's end for one still active there.
    struct AlarmPeriod {
        AlarmKey key;
        AlarmPriority priority = AlarmPriority::Alarm;
        double from = 0;
        double to = 0;
    };
    [[nodiscard]] static QList<AlarmPeriod> alarmPeriods(const QList<AlarmTransition>& log, double end);
    // The set's limits, drawn as dashed lines in each channel's colour, and
    // the record's alarm log, its periods in alarm shaded (until clear()).
    void setAlarms(const AlarmSettings& settings, const QList<AlarmTransition>& log);
    // The limit lines drawn now: channel (from 0), limit value as drawn.
    [[nodiscard]] QList<std::pair<int, double>> limitLines() const;
    [[nodiscard]] const QList<AlarmPeriod>& shadedPeriods() const { return m_periods; }

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
    void cancelCsvClick();
    void secondCursorClick(); // cursor B in the middle of the view (and A before it when there is none)
    void compareClick();
    void setLegendShown(bool shown);

Q_SIGNALS:
    // The operator clicked the plot: the row nearest to the clicked time.
    void rowPicked(qint64 row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildTools();
    void buildCsvProgress();
    void buildPlot();
    void buildChannelList();
    void buildLabels();
    void layOut();
    QAction* addTool(const char* name, const QString& text, const QString& tip, void (RecordChart::*slot)());
    // A tool that is enabled only while a record is shown.
    QAction* addRecordTool(const char* name, const QString& text, const QString& tip, void (RecordChart::*slot)());
    QAction* addRecordSwitch(const char* name, const QString& text, const QString& tip, bool on);

    void rebuildTraces();
    void clearAlarmItems();
    void placeAlarmItems(); // after a channel is shown or hidden, or percent switched
    void updateStatistics();
    void showCursorValues();
    void showDeltas();
    void updateLegendLook(int channel);
    void pickAt(const QPointF& pos, bool second);
    void saveCsvClick(bool shownRangeOnly);
    void csvEnded();
    void comparisonRead();
    void setToolsEnabled(bool enabled);
    void setLightScheme(bool light);
    void placeLegend();
    void wrapLegend();
    [[nodiscard]] QString pictureTitle() const;
    [[nodiscard]] double scaleOf(int channel) const;
    [[nodiscard]] QString askSaveName(const QString& filter, const QString& proposedName, const QString& suffix);
    [[nodiscard]] QString number(double value) const;
    [[nodiscard]] QString stampText(qint64 row) const;

    AppContext& m_context;
    QToolBar* m_tools;
    QCustomPlot* m_plot;
    QTableWidget* m_list;
    QLabel* m_cursorLabel;
    QLabel* m_note;
    QLabel* m_deltaLabel;
    QSplitter* m_splitter;
    QProgressBar* m_csvProgress;
    QAction* m_csvProgressAction = nullptr;
    QAction* m_csvCancelAction = nullptr;
    QAction* m_percentAction = nullptr;
    QAction* m_legendAction = nullptr;
    QAction* m_lightAction = nullptr;
    QAction* m_compareAction = nullptr;
    std::vector<QAction*> m_recordActions; // enabled while a record is shown
    QTimer* m_csvTimer;
    std::unique_ptr<CsvExport> m_csv;
    QCPItemStraightLine* m_cursorLine;
    QCPItemStraightLine* m_markLine;
    QCPItemStraightLine* m_secondLine;
    const RecordSeries* m_series = nullptr;
    const SampleTable* m_table = nullptr;
    std::vector<RecordChannel> m_channels;
    std::vector<bool> m_shown;
    QString m_recordName;
    QString m_recordFolder;
    QString m_setTitle;
    QString m_headerName;
    bool m_percent = false;
    bool m_updatingList = false;
    qint64 m_markedRow = -1;
    qint64 m_secondRow = -1;
    qint64 m_cursorRow = -1;
    // The record laid over this one: its series, its name, the shift that
    // puts its start on this record's start, its traces and its legend entry.
    std::unique_ptr<RecordReader> m_overlayReader;
    std::unique_ptr<RecordSeries> m_overlay;
    QString m_overlayName;
    double m_overlayShift = 0;
    std::vector<QCPGraph*> m_overlayGraphs;
    QCPGraph* m_overlayEntry = nullptr;
    QPoint m_pressPos;
    // What the traces were last built for.
    double m_builtFrom = 0, m_builtTo = 0;
    int m_builtWidth = -1;
    bool m_dirty = true;
    // Alarm limits and periods (setAlarms).
    struct LimitLine {
        int channel;
        double limit;
        QCPItemStraightLine* line;
    };
    std::vector<LimitLine> m_limitLines;
    QList<AlarmPeriod> m_periods;
    std::vector<QCPItemRect*> m_periodRects;
};
