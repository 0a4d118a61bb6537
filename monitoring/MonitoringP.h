#pragma once
#include "alarms/AlarmTypes.h"
#include "monitoring/ChannelSet.h"
#include "monitoring/PollCycle.h"

#include <QDialog>
#include <memory>

class AlarmBook;
class AlarmFeed;
class AlarmListPanel;
class AlarmSound;
class ColumnGrid;
class ComPortSender;
class IntervalTimer;
class MonitoringEngine;
class MqttAlarmFeed;
class MqttPublisher;
class LinkStatusBar;
class QCheckBox;
class QLabel;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTimer;
class QToolButton;
class ReplyAssembler;
class TComPort;
class TrendChart;
struct AppContext;

// The monitoring window "모니터링화면": loads a channel set, polls its
// channels one per tick over ComPort1, shows the latest values in the value
// table acGrd2 and the trend chart iPlot1, and appends one sample line per
// sampling tick to the record file chosen at Start.
class TMonitoringF : public QDialog {
    Q_OBJECT
public:
    enum class ClearMode { WholeDisplay, ChannelsAndTraces };
    // The traffic log keeps only its newest lines: at a 50 ms poll cycle it
    // gains 144,000 lines an hour, some 800 bytes each in the editor.
    static constexpr int kTrafficLogLines = 10000;

    TMonitoringF(AppContext& context, QWidget* parent = nullptr);
    ~TMonitoringF() override;

    // Loads the set at path; false when no file is there or the set is
    // refused (with a message naming the file, line and field), and then
    // nothing changes.
    bool LoadChannelSet(const QString& path);
    void ClearDisplay(ClearMode mode);
    // Fills status panels 0 to 3 from Main.ini and opens ComPort1.
    void OpenComPort();

    [[nodiscard]] const QString& SetPath() const { return m_setPath; }
    [[nodiscard]] const QString& HeaderName() const { return m_headerName; }
    [[nodiscard]] const QString& RecordPath() const { return m_recordPath; }
    [[nodiscard]] const PollCycle& poll() const;
    [[nodiscard]] MonitoringEngine& engine() { return *m_engine; }
    [[nodiscard]] AlarmBook& alarmBook() { return *m_alarmBook; }
    [[nodiscard]] AlarmFeed& alarmFeed() { return *m_alarmFeed; }
    [[nodiscard]] AlarmListPanel& alarmPanel() { return *m_alarmPanel; }
    // The fill of channel c's value cell as painted now (invalid: none),
    // and whether flashing cells are in their strong phase.
    [[nodiscard]] QColor valueCellFill(int channel) const;
    [[nodiscard]] bool alarmFlashOn() const { return m_alarmFlashOn; }

public Q_SLOTS:
    void FormShow();
    // Whether the window may close: not while monitoring runs, and only
    // after a question while sample lines are still waiting to be written.
    bool FormCloseQuery();
    void bbtStartClick();
    void butOpenClick();
    void butSetupClick();
    void spbInputClick();
    void spbViewClick();
    void Timer1Timer();
    void tmSamplingTimer();
    void ComPort1RxChar(QObject* Sender, int Count);
    bool acGrd1DrawCell(QPainter& painter, const QRect& rect, int row, int col);
    bool acGrd2DrawCell(QPainter& painter, const QRect& rect, int row, int col);

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Columns of the channel list acGrd1; the colour value is held, not shown.
    enum ChannelColumn { colNo, colColor, colAddr, colCaption, colReg, colDot, colMax, colMin, colColorValue,
                         channelColumns };

    void buildLayout();
    // Alarms (MonitoringAlarmsP.cpp).
    struct CellAlarm {
        AlarmState state = AlarmState::Normal;
        AlarmPriority priority = AlarmPriority::Alarm;
    };
    void buildAlarms();
    void applyAlarmSettings(const ChannelSet& set, const QString& path);
    void followBrokerForAlarms();
    void scheduleAlarmView();
    void showAlarmView();
    [[nodiscard]] CellAlarm cellAlarm(int channel) const;
    void Start();
    void Stop();
    [[nodiscard]] bool running() const;
    [[nodiscard]] bool testMode() const;
    [[nodiscard]] bool logShowing() const;
    [[nodiscard]] int channelCount() const;
    [[nodiscard]] QString channelText(int channel, int column) const;
    [[nodiscard]] ChannelDef channel(int channel) const;
    void applyChannelSet(const ChannelSet& set, const QString& path);
    [[nodiscard]] bool readForLoading(const QString& path, ChannelSet& set);
    void updateStartEnabled();
    void setIdleControls(bool idle);
    [[nodiscard]] QString chooseRecordPath();
    void connectEngine();
    // Publishes live values when Main.ini's [MQTT] Url names a broker; its
    // state shows in the tool tip of the value table's heading.
    [[nodiscard]] QString startPublishing();
    void beginPublishedRun();
    void updateHeadingTip();
    // The refresh time in the heading's tip; at Start, also a notice when
    // records would repeat old values.
    void showBusBudget(bool atStart);
    void setValueCell(int channel, const QString& text);
    void plot(int channel, double value);
    void log(const QString& line);
    void showLinkState(const QString& text);
    void reportSendFailure(const QString& text);
    void reopenAfterReceiveStop(const QString& reason);
    // The poll interval for a run: the one asked for in panel 3, raised to
    // the time an exchange takes on the line, and said so in a box that
    // waits for the handler to return.
    [[nodiscard]] int runPollDelay(int asked);
    void showBusCounts();
    void reportRecordFailure(const QString& text);
    // Shows an error box once the running handler has returned, so the
    // timers keep their rhythm while the box waits for the operator.
    void postErrorBox(const QString& text);
    // A notice that waits for the handler to return, so no timer stops for it.
    void postNoticeBox(const QString& text);
    [[nodiscard]] QString noticeCaption() const;

    AppContext& m_context;

    // Components, named as the window documents them.
    QToolButton* bbtStart = nullptr;
    QPushButton* butOpen = nullptr;
    QPushButton* butSetup = nullptr;
    QPushButton* butExit = nullptr;
    QToolButton* spbInput = nullptr;
    QToolButton* spbView = nullptr;
    QCheckBox* chbRandom = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* labBusBudget = nullptr;
    QSplitter* cxSplitter1 = nullptr;
    ColumnGrid* acGrd1 = nullptr;
    ColumnGrid* acGrd2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    TrendChart* iPlot1 = nullptr;
    LinkStatusBar* StatusBar1 = nullptr;
    IntervalTimer* Timer1 = nullptr;
    IntervalTimer* tmSampling = nullptr;
    TComPort* ComPort1 = nullptr;
    QToolButton* spbAlarms = nullptr;     // shows and hides the alarm list
    QLabel* labAlarmCount = nullptr;      // unacknowledged alarms

    QString m_title;
    int m_sampling = 0;
    QString m_setPath;
    QString m_headerName;
    QString m_recordPath;
    ComPortSender* m_sender = nullptr;
    MonitoringEngine* m_engine = nullptr;
    std::unique_ptr<MqttPublisher> m_publisher;
    std::unique_ptr<MqttAlarmFeed> m_mqttAlarms; // the alarms' states at the broker
    QString m_publisherRefusal;
    bool m_sendFailureShown = false;             // in the current run
    QLabel* m_busCounts = nullptr;               // skipped ticks and dropped replies
    QString m_slowReplies;                       // replies slower than the poll interval, this run
    bool m_shown = false;

    AlarmBook* m_alarmBook = nullptr;
    AlarmFeed* m_alarmFeed = nullptr;
    AlarmListPanel* m_alarmPanel = nullptr;
    AlarmSound* m_alarmSound = nullptr;
    QTimer* m_alarmFlash = nullptr;       // flashes unacknowledged alarms' cells
    bool m_alarmFlashOn = true;
    QTimer* m_alarmView = nullptr;        // redraws the alarms once after their changes
    QString m_alarmFileProblem;           // the set's alarm file could not be taken
    QString m_alarmLogProblem;            // the run's alarm log cannot be written
};
