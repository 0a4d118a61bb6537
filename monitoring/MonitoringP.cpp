#include "monitoring/MonitoringP.h"

#include "link/ComPort.h"
#include "link/ComPortSender.h"
#include "link/FrameProtocol.h"
#include "link/LinkStatusBarP.h"
#include "link/PortErrors.h"
#include "link/ReplyAssembler.h"
#include "link/SetupP.h"
#include "monitoring/BusBudget.h"
#include "monitoring/ChannelSetCheck.h"
#include "monitoring/MinputP.h"
#include "monitoring/MonitoringEngine.h"
#include "monitoring/PollTiming.h"
#include "monitoring/RecordFile.h"
#include "publish/MqttAlarmFeed.h"
#include "publish/MqttEngineFeed.h"
#include "publish/MqttPublisher.h"
#include "publish/MqttSettings.h"
#include "settings/AnsiText.h"
#include "settings/Convert.h"
#include "settings/FuncP.h"
#include "settings/IntervalTimer.h"
#include "settings/KeloError.h"
#include "widgets/AppContext.h"
#include "widgets/Colors.h"
#include "widgets/ApplicationTitle.h"
#include "widgets/ColumnGrid.h"
#include "widgets/ModalRun.h"
#include "widgets/TrendChart.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace {

const QString kStart = QStringLiteral("Start");
const QString kStop = QStringLiteral("Stop");
const QString& kReceiving = LinkStateText::Receiving;
const QString& kIdle = LinkStateText::Idle;
const QString& kSendFailed = LinkStateText::Error;
const QString kRecordFailed = QStringLiteral("기록불량");
constexpr int kValueRow = 1;

} // namespace

TMonitoringF::TMonitoringF(AppContext& context, QWidget* parent)
    : QDialog(parent), m_context(context)
{
    buildLayout();
    // Both are children of the window and go with it; nothing deletes them by hand.
    m_sender = new ComPortSender(*ComPort1, this);
    m_engine = new MonitoringEngine(*m_sender, programAssembler(ReceivingWindow::Monitoring), m_context.clock,
                                    m_context.regional, m_context.steady, this);
    m_busCounts = new QLabel(StatusBar1);
    m_busCounts->setObjectName(QStringLiteral("labBusCounts"));
    m_busCounts->setHidden(true);
    StatusBar1->addPermanentWidget(m_busCounts);
    connectEngine();
    buildAlarms();
}

void TMonitoringF::connectEngine()
{
    MonitoringEngine* e = m_engine;
    connect(e, &MonitoringEngine::valueChanged, this, &TMonitoringF::setValueCell);
    connect(e, &MonitoringEngine::percentMeasured, this, &TMonitoringF::plot);
    // A channel zeroed by the miss rule shows its "0" in grey until it answers.
    connect(e, &MonitoringEngine::channelLost, this,
            [this](int c) { acGrd2->setTextColor(kValueRow, c, QColor(Qt::gray)); });
    connect(e, &MonitoringEngine::channelAnswering, this,
            [this](int c) { acGrd2->setTextColor(kValueRow, c, QColor()); });
    connect(e, &MonitoringEngine::sampleStamped, this, [this](const QDateTime&, const QString& stamp) {
        acGrd2->setText(kValueRow, 0, stamp);
    });
    connect(e, &MonitoringEngine::requestSent, this, [this](int, const QByteArray& frame) {
        if (logShowing())
            log(TrafficLogLine(TrafficDirection::Sent, frame));
    });
    connect(e, &MonitoringEngine::replyReceived, this, [this](const QByteArray& frame) {
        if (logShowing())
            log(TrafficLogLine(TrafficDirection::Received, frame));
    });
    // Ticks held back by a reply still awaited, and replies that answer no
    // request, are counted in the status bar and shown in the traffic log.
    connect(e, &MonitoringEngine::pollSkipped, this, [this](int awaited) {
        if (logShowing())
            log(QStringLiteral("[건너뜀] %1번 채널의 응답을 기다리는 중").arg(awaited));
        showBusCounts();
    });
    connect(e, &MonitoringEngine::replyDropped, this, [this](const QByteArray& frame) {
        if (logShowing())
            log(QStringLiteral("[버림]=> ") + fromAnsi(frame.chopped(frame.endsWith("\r\n") ? 2 : 0)));
        showBusCounts();
    });
    // Said once a run, in the status bar: no box comes up while monitoring runs.
    connect(e, &MonitoringEngine::repliesSlowerThanPoll, this, [this](qint64 responseMs, int delayMs) {
        m_slowReplies = QStringLiteral("응답 %1 ms > 폴링 주기 %2 ms").arg(responseMs).arg(delayMs);
        showBusCounts();
    });
    connect(e, &MonitoringEngine::sendFailed, this, &TMonitoringF::reportSendFailure);
    connect(e, &MonitoringEngine::recordFailed, this, &TMonitoringF::reportRecordFailure);
    connect(e, &MonitoringEngine::recordRecovered, this, [this] { showLinkState(kIdle); });
    connect(e, &MonitoringEngine::receiveStopped, this, &TMonitoringF::reopenAfterReceiveStop);
}

// The port no longer announces replies: the panel and the log say so, and
// the port is opened again once the handler that stopped it has returned.
void TMonitoringF::reopenAfterReceiveStop(const QString& reason)
{
    showLinkState(kSendFailed);
    if (logShowing())
        log(QStringLiteral("[수신 중단] %1 — 포트를 다시 엽니다").arg(reason));
    QTimer::singleShot(0, this, [this] {
        try {
            ComPort1->ClosePort();
        } catch (const KeloError&) {
            // The device is released either way; the open below says what is wrong.
        }
        try {
            ComPort1->OpenPort();
            showLinkState(kIdle);
        } catch (const KeloError& error) {
            postErrorBox(QStringLiteral("통신 불량\n") + error.text());
        }
    });
}

const PollCycle& TMonitoringF::poll() const
{
    return m_engine->poll();
}

TMonitoringF::~TMonitoringF()
{
    m_mqttAlarms.reset(); // it publishes through the publisher
    m_publisher.reset(); // says "offline" while the engine it listens to still exists
}

// Publishing is set up when the window opens and, if it could not be then,
// again at each Start. Returns what keeps [MQTT] from publishing, or "".
QString TMonitoringF::startPublishing()
{
    if (m_publisher)
        return {};
    const MqttSettings settings = readMqttSettings(MainIniPath());
    if (!settings.isSet())
        return {};
    try {
        m_publisher = std::make_unique<MqttPublisher>(settings, this);
    } catch (const KeloError& error) {
        m_publisherRefusal = QStringLiteral("MQTT: ") + error.text();
        updateHeadingTip();
        return error.text();
    }
    feedPublisher(*m_engine, *m_publisher);
    m_mqttAlarms = std::make_unique<MqttAlarmFeed>(alarmFeed(), *m_publisher);
    followBrokerForAlarms(); // the broker counts for the broker alarm only during a run
    connect(m_publisher.get(), &MqttPublisher::stateChanged, this, &TMonitoringF::updateHeadingTip);
    connect(m_publisher.get(), &MqttPublisher::stateChanged, this, &TMonitoringF::followBrokerForAlarms);
    updateHeadingTip();
    m_publisher->start();
    return {};
}

// A setting or a set that cannot be published is said once, in a box that
// does not hold up the run: the run records without publishing.
void TMonitoringF::beginPublishedRun()
{
    QString problem = startPublishing();
    if (problem.isEmpty() && m_publisher) {
        const ChannelSet set = publishedSet(*m_engine, m_title, m_sampling);
        problem = m_publisher->beginRun(set);
        if (problem.isEmpty())
            m_mqttAlarms->beginRun(set);
    }
    if (!problem.isEmpty())
        postErrorBox(problem + QStringLiteral("\n이번 실행은 MQTT로 게시하지 않고 기록만 합니다."));
    updateHeadingTip();
}

// The value table's heading tells how often each channel is read, and the
// broker's state when the window publishes.
void TMonitoringF::updateHeadingTip()
{
    QStringList lines;
    if (channelCount() > 0) {
        if (const auto delay = parseInt32(StatusBar1->panelText(3)))
            lines << BusBudget{channelCount(), *delay, m_sampling}.refreshText();
    }
    if (m_publisher)
        lines << m_publisher->toolTipText();
    else if (!m_publisherRefusal.isEmpty())
        lines << m_publisherRefusal;
    Label2->setToolTip(lines.join(QLatin1Char('\n')));
}

// At Start, a set whose channels are read less often than they are recorded
// is said once, beside the heading, without a box that would hold up the run.
void TMonitoringF::showBusBudget(bool atStart)
{
    updateHeadingTip();
    if (!atStart) {
        labBusBudget->clear();
        labBusBudget->hide();
        return;
    }
    // The interval the run polls at, after any raise to the line's exchange time.
    const QString notice = BusBudget{channelCount(), Timer1->interval(), m_sampling}.repeatNotice();
    labBusBudget->setText(notice);
    labBusBudget->setVisible(!notice.isEmpty());
}

// ---- state -----------------------------------------------------------------

bool TMonitoringF::running() const
{
    return bbtStart->text() == kStop;
}

bool TMonitoringF::testMode() const
{
    return chbRandom->isChecked();
}

bool TMonitoringF::logShowing() const
{
    return acGrd1->isHidden();
}

int TMonitoringF::channelCount() const
{
    return m_engine->channelCount();
}

QString TMonitoringF::channelText(int channel, int column) const
{
    return acGrd1->text(channel, column);
}

ChannelDef TMonitoringF::channel(int c) const
{
    return {channelText(c, colAddr), channelText(c, colCaption), channelText(c, colReg), channelText(c, colDot),
            channelText(c, colMax),  channelText(c, colMin),     channelText(c, colColorValue)};
}

QString TMonitoringF::noticeCaption() const
{
    return applicationTitle();
}

void TMonitoringF::updateStartEnabled()
{
    bbtStart->setEnabled(running() || !acGrd1->text(1, colNo).isEmpty());
}

void TMonitoringF::setIdleControls(bool idle)
{
    butOpen->setEnabled(idle);
    butSetup->setEnabled(idle);
    spbInput->setEnabled(idle);
}

// ---- opening and closing ---------------------------------------------------

void TMonitoringF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_shown)
        FormShow();
}

void TMonitoringF::FormShow()
{
    m_shown = true;
    ClearDisplay(ClearMode::WholeDisplay);
    OpenComPort();
    const bool testControls = IniReadOrWrite(true, MainIniPath(), QStringLiteral("Temp"), QStringLiteral("Value"),
                                             QStringLiteral("0"))
        == QLatin1String("73");
    chbRandom->setVisible(testControls);
    spbView->setVisible(testControls);
    (void)startPublishing(); // a bad setting is said at Start
}

void TMonitoringF::OpenComPort()
{
    ::OpenComPort(this, *ComPort1, *StatusBar1, m_context);
    updateHeadingTip(); // the poll delay may have changed
}

bool TMonitoringF::FormCloseQuery()
{
    if (running()) {
        m_context.dialogs.MsgBox(this, QStringLiteral("먼저 모니터링을 종료하세요"), noticeCaption(), MsgStyle::Ok);
        return false;
    }
    // The disk may have room again since the last tick or Stop: try every
    // run's lines, the last run's included, before asking to drop them.
    if (m_engine->flushUnwritten())
        return true;
    const int left = m_engine->unwrittenLines();
    const QStringList files = m_engine->unwrittenFiles();
    const QString question = QStringLiteral("기록 파일에 쓰지 못한 측정값 %1줄이 남아 있습니다.\n%2\n"
                                            "창을 닫으면 이 값들은 버려집니다. 그래도 닫으시겠습니까?")
                                 .arg(left)
                                 .arg(files.join(QLatin1Char('\n')));
    return m_context.dialogs.MsgBox(this, question, QStringLiteral("확인"), MsgStyle::YesNoQuestion)
        == MsgResult::Yes;
}

void TMonitoringF::reject()
{
    if (FormCloseQuery())
        QDialog::reject();
}

// ---- channel sets ----------------------------------------------------------

void TMonitoringF::ClearDisplay(ClearMode mode)
{
    iPlot1->removeAllTraces();
    iPlot1->setTitleVisible(false);
    acGrd1->clearRows(1);
    acGrd1->setRowCount(2);
    m_engine->setChannels({}, m_headerName);
    if (mode == ClearMode::WholeDisplay) {
        acGrd2->clearRows(1);
        acGrd2->setRowCount(2);
        acGrd2->setColumnCount(2);
    }
    updateStartEnabled();
}

bool TMonitoringF::readForLoading(const QString& path, ChannelSet& set)
{
    try {
        set = readMonitoringChannelSet(path);
        return true;
    } catch (const KeloError& error) {
        m_context.dialogs.MsgBox(this, error.text(), noticeCaption(), MsgStyle::Ok);
        return false;
    }
}

bool TMonitoringF::LoadChannelSet(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return false;
    ChannelSet set;
    if (!readForLoading(path, set))
        return false;
    applyChannelSet(set, path);
    return true;
}

void TMonitoringF::applyChannelSet(const ChannelSet& set, const QString& path)
{
    ClearDisplay(ClearMode::WholeDisplay);
    const int n = int(set.channels.size());
    acGrd1->setRowCount(n + 1);
    for (int r = 1; r <= n; ++r) {
        const ChannelDef& c = set.channels[r - 1];
        const QString texts[channelColumns] = {QString::number(r), QString(), c.Addr, c.Caption, c.Reg,
                                               c.Dot, c.Max, c.Min, c.Color};
        for (int col = 0; col < channelColumns; ++col)
            acGrd1->setText(r, col, texts[col]);
    }

    m_title = set.Title;
    m_sampling = parseInt32(set.Sampling).value_or(0); // checked when read
    m_headerName = QFileInfo(path).fileName();
    StatusBar1->setPanelText(4, QLatin1Char('[') + m_headerName + QLatin1Char(']'));
    iPlot1->setTitle(m_title);
    iPlot1->setTitleVisible(!m_title.isEmpty());
    tmSampling->setInterval(m_sampling);
    m_engine->setChannels(set.channels, m_headerName);
    m_engine->setSamplingInterval(m_sampling);
    applyAlarmSettings(set, path);
    showBusBudget(false);

    acGrd2->setColumnCount(n + 1);
    for (int c = 1; c <= n; ++c) {
        const ChannelDef& def = set.channels[c - 1];
        acGrd2->setText(0, c, def.Caption);
        acGrd2->setColumnWidth(c, 80);
        iPlot1->addTrace(def.Caption, colorFromValue(parseInt32(def.Color).value_or(0)));
    }
    updateStartEnabled();
}

void TMonitoringF::butOpenClick()
{
    const QString name = m_context.dialogs.openFileName(
        this, FileDialogRequest{QStringLiteral("설정파일|*.khd"), MonitorDir(), QString(), false});
    if (name.isEmpty())
        return;
    // A set that cannot be used is refused before anything is cleared, so the
    // window keeps the set it had.
    ChannelSet set;
    const bool exists = QFileInfo(name).isFile();
    if (exists && !readForLoading(name, set))
        return;
    m_setPath = name;
    ClearDisplay(ClearMode::ChannelsAndTraces);
    if (exists)
        applyChannelSet(set, name);
}

void TMonitoringF::butSetupClick()
{
    if (running())
        return; // communication settings change only outside a run
    if (ComPort1->Connected())
        ComPort1->ClosePort();
    try {
        runModal<TSetupF>(m_context, this);
    } catch (...) {
        OpenComPort();
        throw;
    }
    OpenComPort();
}

void TMonitoringF::spbInputClick()
{
    if (running())
        return;
    auto editor = std::make_unique<TMinputF>(m_context, this);
    if (!acGrd1->text(1, colNo).isEmpty())
        editor->findChild<QLabel*>(QStringLiteral("PanFile"))->setText(QLatin1Char('[') + m_setPath + QLatin1Char(']'));
    // The editor hands back only a file it opened or saved; that becomes the
    // current set, also when the editor ended by an error.
    const auto adoptHandBack = [&] {
        if (const QString name = editor->SaveDialogFileName(); !name.isEmpty())
            m_setPath = name;
        editor.reset();
    };
    try {
        editor->exec();
    } catch (...) {
        adoptHandBack();
        throw;
    }
    adoptHandBack();
    if (!m_setPath.isEmpty())
        LoadChannelSet(m_setPath);
}

// ---- start and stop --------------------------------------------------------

void TMonitoringF::bbtStartClick()
{
    if (running())
        Stop();
    else
        Start();
}

void TMonitoringF::Start()
{
    if (channelCount() == 0)
        return;
    // A sampling timer of 0 ms or less never fires: the run would record nothing.
    if (m_sampling <= 0) {
        m_context.dialogs.MsgBox(this,
                                 QStringLiteral("채널 세트 %1의 Sampling이 %2 msec입니다.\n"
                                                "Sampling이 1 msec 이상이어야 측정값을 기록할 수 있습니다.")
                                     .arg(m_headerName)
                                     .arg(m_sampling),
                                 noticeCaption(), MsgStyle::Ok);
        return;
    }
    const int askedDelay = StrToInt(StatusBar1->panelText(3));
    m_recordPath.clear();
    // Line 1 must name a set file the data viewer can find again.
    if (const QString refusal = unrecordableSetNameText(m_headerName); !refusal.isEmpty()) {
        m_context.dialogs.MsgBox(this, refusal, noticeCaption(), MsgStyle::Ok);
        return;
    }
    const QString path = chooseRecordPath();
    if (path.isEmpty())
        return;
    Timer1->setInterval(runPollDelay(askedDelay));
    m_engine->start(path, testMode());
    m_slowReplies.clear();
    showBusCounts();
    m_recordPath = path;
    beginPublishedRun();
    StatusBar1->setPanelText(4, StatusBar1->panelText(4) + QStringLiteral(" [") + QFileInfo(path).fileName()
                                    + QLatin1Char(']'));

    // Each trace begins at its channel's first measurement.
    iPlot1->clearPoints();
    iPlot1->resetTimeAxis();
    showBusBudget(true);

    m_sendFailureShown = false;
    bbtStart->setText(kStop);
    setIdleControls(false);
    Timer1->setEnabled(true);
    tmSampling->setEnabled(true);
    followBrokerForAlarms();
}

int TMonitoringF::runPollDelay(int asked)
{
    QList<ChannelDef> channels;
    for (int c = 1; c <= channelCount(); ++c)
        channels << m_engine->channel(c);
    const int exchange = pollExchangeMs(ComPort1->settings(), channels);
    // An interval of 0 or less keeps its meaning: the poll timer never fires.
    const int delay = asked > 0 ? std::max(asked, exchange) : asked;
    m_engine->setPollTiming(std::max(delay, 0), responseTimeoutMs(kDefaultResponseTimeoutMs, exchange));
    if (delay == asked)
        return asked;
    postNoticeBox(QStringLiteral("폴링 주기 %1 ms는 통신선에서 요청과 응답이 오가는 시간(%2 ms)보다 짧아, "
                                 "이번 측정은 %2 ms 주기로 폴링합니다.")
                      .arg(asked)
                      .arg(exchange));
    return exchange;
}

void TMonitoringF::showBusCounts()
{
    const qint64 skipped = m_engine->skippedTicks();
    const qint64 dropped = m_engine->droppedReplies();
    QString text = QStringLiteral("건너뜀 %1 · 버림 %2").arg(skipped).arg(dropped);
    if (!m_slowReplies.isEmpty())
        text += QStringLiteral(" · ") + m_slowReplies;
    m_busCounts->setText(text);
    m_busCounts->setToolTip(QStringLiteral("응답을 기다리느라 건너뛴 폴링 %1회, 요청 없이 도착해 버린 응답 %2개\n"
                                           "응답 대기 최대 %3 ms. 응답이 폴링 주기보다 늦으면 각 채널은 설정보다 "
                                           "드물게 읽힙니다.")
                                .arg(skipped)
                                .arg(dropped)
                                .arg(m_engine->responseTimeout()));
    m_busCounts->setHidden(skipped == 0 && dropped == 0 && m_slowReplies.isEmpty());
}

// The save dialog's choice, completed with ".kmr"; empty when the operator
// cancels. A test run writes nothing, so nothing is asked about replacing;
// lines still owed to the file are asked about in either mode.
QString TMonitoringF::chooseRecordPath()
{
    const bool test = testMode();
    FileDialogRequest request{QStringLiteral("모니터링파일(*.kmr)|*.kmr"), MonitorDir(),
                              proposedRecordName(m_title, m_context.clock()), !test};
    for (;;) {
        const QString chosen = m_context.dialogs.saveFileName(this, request);
        if (chosen.isEmpty())
            return {};
        const QString path = withExtension(chosen, QStringLiteral(".kmr"));
        request.startDir = QFileInfo(chosen).absolutePath();
        request.proposedName = QFileInfo(chosen).fileName();
        // The dialog asked about the name as typed; the completed name is ours to ask about.
        if (!test && path != chosen && QFileInfo::exists(path)) {
            const QString question = QStringLiteral("%1\n파일이 이미 있습니다. 바꾸시겠습니까?").arg(path);
            if (m_context.dialogs.MsgBox(this, question, QStringLiteral("확인"), MsgStyle::YesNoQuestion)
                != MsgResult::Yes)
                continue;
        }
        // Lines an earlier run still owes this file would be lost with it,
        // in test mode too: the file is made once test mode is switched off.
        if (const int owed = m_engine->unwrittenLines(path); owed > 0) {
            const QString question = QStringLiteral("%1\n이 파일에 아직 기록하지 못한 이전 측정값 %2줄이 있습니다.\n"
                                                    "파일을 바꾸면 이 값들은 버려집니다. 그래도 바꾸시겠습니까?")
                                         .arg(path)
                                         .arg(owed);
            // Yes: the engine drops them when the run starts on this file.
            if (m_context.dialogs.MsgBox(this, question, QStringLiteral("확인"), MsgStyle::YesNoQuestion)
                != MsgResult::Yes)
                continue;
        }
        return path;
    }
}

void TMonitoringF::Stop()
{
    bbtStart->setText(kStart);
    Timer1->setEnabled(false);
    tmSampling->setEnabled(false);
    setIdleControls(true);
    updateStartEnabled();
    m_engine->stop();
    if (m_publisher)
        m_publisher->endRun();
    followBrokerForAlarms();
}

// ---- the ticks and replies ------------------------------------------------

void TMonitoringF::Timer1Timer()
{
    m_engine->pollTick(testMode());
}

void TMonitoringF::tmSamplingTimer()
{
    m_engine->sampleTick(testMode());
}

void TMonitoringF::ComPort1RxChar(QObject* Sender, int Count)
{
    Q_UNUSED(Sender);
    const QByteArray bytes = ComPort1->ReadText(Count);
    showLinkState(kReceiving);
    if (m_engine->receive(bytes) == 0)
        return;
    const ReplyAssembler& assembler = programAssembler(ReceivingWindow::Monitoring);
    showLinkState(assembler.RxState() == ReplyAssembler::Idle ? kIdle : kReceiving);
}

void TMonitoringF::setValueCell(int channel, const QString& text)
{
    acGrd2->setText(kValueRow, channel, text);
}

void TMonitoringF::plot(int channel, double value)
{
    // The miss rule's 0 is no measurement: a channel that has not answered
    // since Start is not drawn up from 0.
    if (!testMode() && !m_engine->value(channel) && iPlot1->pointCount(channel - 1) == 0)
        return;
    iPlot1->addPoint(channel - 1, m_context.clock(), value);
}

// Panel 0 keeps saying "기록불량" for as long as lines are kept back.
void TMonitoringF::showLinkState(const QString& text)
{
    StatusBar1->setPanelText(0, m_engine->unwrittenLines() > 0 ? kRecordFailed : text);
}

void TMonitoringF::reportSendFailure(const QString& text)
{
    showLinkState(kSendFailed);
    if (m_sendFailureShown)
        return;
    m_sendFailureShown = true;
    postErrorBox(text);
}

void TMonitoringF::reportRecordFailure(const QString& text)
{
    showLinkState(kRecordFailed);
    postErrorBox(text + QStringLiteral("\n기록하지 못한 측정값은 보관했다가, 기록할 수 있게 되면 차례대로 기록합니다."));
}

void TMonitoringF::postErrorBox(const QString& text)
{
    QTimer::singleShot(0, this, [this, text] { m_context.dialogs.errorBox(this, text); });
}

void TMonitoringF::postNoticeBox(const QString& text)
{
    QTimer::singleShot(0, this, [this, text] { m_context.dialogs.MsgBox(this, text, noticeCaption(), MsgStyle::Ok); });
}

// ---- traffic log and channel list ------------------------------------------

void TMonitoringF::spbViewClick()
{
    const bool showLog = !acGrd1->isHidden();
    acGrd1->setHidden(showLog);
    if (showLog)
        Memo1->clear();
    Memo1->setHidden(!showLog);
}

void TMonitoringF::log(const QString& line)
{
    Memo1->appendPlainText(line);
}

bool TMonitoringF::acGrd1DrawCell(QPainter& painter, const QRect& rect, int row, int col)
{
    if (col != colColor || row < 1 || acGrd1->text(row, colNo).isEmpty())
        return false;
    const auto value = parseInt32(acGrd1->text(row, colColorValue));
    painter.fillRect(rect, value ? colorFromValue(*value) : palette().color(QPalette::Window));
    painter.drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, acGrd1->text(row, col));
    return true;
}
