// The monitoring window's alarms: limits read beside the set, the value
// cells coloured while a channel is in alarm, the alarm list panel, the
// count of unacknowledged alarms and the tone. Nothing here opens a box or
// touches a timer of the run.
#include "monitoring/MonitoringP.h"

#include "alarms/AlarmBook.h"
#include "alarms/AlarmFeed.h"
#include "alarms/AlarmFile.h"
#include "alarms/AlarmListPanel.h"
#include "alarms/AlarmSound.h"
#include "alarms/AlarmWords.h"
#include "link/LinkStatusBarP.h"
#include "monitoring/MonitoringEngine.h"
#include "publish/MqttPublisher.h"
#include "settings/Convert.h"
#include "widgets/AppContext.h"
#include "widgets/ColumnGrid.h"

#include <QLabel>
#include <QPainter>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kValueRow = 1;
constexpr int kFlashMs = 500;

} // namespace

void TMonitoringF::buildAlarms()
{
    m_alarmBook = new AlarmBook(this);
    m_alarmBook->setObjectName(QStringLiteral("AlarmBook"));
    m_alarmFeed = new AlarmFeed(*m_engine, *m_alarmBook, m_context.clock, m_context.steady, this);

    // The list lies under the chart and the channel list, its height the operator's.
    m_alarmPanel = new AlarmListPanel(this);
    m_alarmPanel->hide();
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("cxSplitterAlarms"));
    split->setChildrenCollapsible(false);
    delete layout()->replaceWidget(cxSplitter1, split); // the old item is the caller's
    split->addWidget(cxSplitter1);
    split->addWidget(m_alarmPanel);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({1000, 170});

    spbAlarms = new QToolButton(StatusBar1);
    spbAlarms->setObjectName(QStringLiteral("spbAlarms"));
    spbAlarms->setText(QStringLiteral("경보 목록"));
    spbAlarms->setToolTip(QStringLiteral("경보 목록을 보이거나 숨깁니다"));
    spbAlarms->setCheckable(true);
    spbAlarms->setAutoRaise(true);
    labAlarmCount = new QLabel(StatusBar1);
    labAlarmCount->setObjectName(QStringLiteral("labAlarmCount"));
    labAlarmCount->setAccessibleName(QStringLiteral("미확인 경보 수"));
    labAlarmCount->setMargin(2);
    StatusBar1->addPermanentWidget(labAlarmCount);
    StatusBar1->addPermanentWidget(spbAlarms);
    connect(spbAlarms, &QToolButton::toggled, m_alarmPanel, &QWidget::setVisible);

    m_alarmSound = new AlarmSound(this);
    m_alarmSound->setObjectName(QStringLiteral("sndAlarm"));
    QToolButton* mute = m_alarmPanel->muteSwitch();
    mute->setChecked(AlarmSound::muted());
    connect(mute, &QToolButton::toggled, this, [](bool on) { AlarmSound::setMuted(on); });
    connect(m_alarmSound, &AlarmSound::mutedChanged, mute, &QToolButton::setChecked);

    m_alarmView = new QTimer(this);
    m_alarmView->setSingleShot(true);
    m_alarmView->setInterval(0);
    connect(m_alarmView, &QTimer::timeout, this, &TMonitoringF::showAlarmView);
    m_alarmFlash = new QTimer(this);
    m_alarmFlash->setObjectName(QStringLiteral("tmAlarmFlash"));
    m_alarmFlash->setInterval(kFlashMs);
    connect(m_alarmFlash, &QTimer::timeout, this, [this] {
        m_alarmFlashOn = !m_alarmFlashOn;
        acGrd2->viewport()->update();
    });

    connect(m_alarmBook, &AlarmBook::changed, this, [this](const AlarmTransition& t) {
        // A new alarm brings the list into view; the operator may hide it again.
        if (t.state == AlarmState::ActiveUnacked && !spbAlarms->isChecked())
            spbAlarms->setChecked(true);
        scheduleAlarmView();
    });
    connect(m_alarmPanel, &AlarmListPanel::acknowledgeRequested, this,
            [this](AlarmKey key) { m_alarmBook->acknowledge(key, m_context.clock()); });
    connect(m_alarmPanel, &AlarmListPanel::acknowledgeAllRequested, this,
            [this] { m_alarmBook->acknowledgeAll(m_context.clock()); });
    connect(m_alarmFeed, &AlarmFeed::logFailed, this, [this](const QString& reason) {
        m_alarmLogProblem = QStringLiteral("경보 기록 파일에 쓰지 못했습니다: ") + reason;
        showAlarmView();
    });
    connect(m_alarmFeed, &AlarmFeed::logRecovered, this, [this] {
        m_alarmLogProblem.clear();
        showAlarmView();
    });

    acGrd2->setDrawCell([this](QPainter& painter, const QRect& rect, int row, int col) {
        return acGrd2DrawCell(painter, rect, row, col);
    });
    showAlarmView();
}

// The set's limits from the alarm file beside it. A file that cannot be
// read leaves the set with the system alarms, said in the list's heading
// and the status bar, never in a box.
void TMonitoringF::applyAlarmSettings(const ChannelSet& set, const QString& path)
{
    const AlarmFileRead read = readAlarmFile(alarmFilePath(path), set);
    m_alarmFileProblem = read.problem;
    m_alarmFeed->setSettings(read.settings);
    QStringList captions;
    QList<int> decimals;
    for (const ChannelDef& c : set.channels) {
        captions << c.Caption;
        decimals << parseInt32(c.Dot).value_or(0);
    }
    m_alarmPanel->setChannels(captions, decimals);
    if (!m_alarmFileProblem.isEmpty())
        spbAlarms->setChecked(true);
    showAlarmView();
}

// Publishing's broker, for the broker alarm: away for a minute while a run publishes.
void TMonitoringF::followBrokerForAlarms()
{
    const bool publishing = m_publisher && running();
    m_alarmFeed->setPublishing(publishing);
    if (publishing)
        m_alarmFeed->setBrokerConnected(m_publisher->state() == MqttPublisher::State::Connected);
}

// Many alarms may change in one tick: the window redraws once after it. A
// timer, not a posted call: a box opened from a posted call (the record
// failure's) runs its own loop, and posted calls made meanwhile would wait
// for the box to close; timers keep running under it.
void TMonitoringF::scheduleAlarmView()
{
    if (!m_alarmView->isActive())
        m_alarmView->start();
}

void TMonitoringF::showAlarmView()
{
    m_alarmPanel->showAlarms(m_alarmBook->listed());
    QStringList problems;
    for (const QString& p : {m_alarmFileProblem, m_alarmLogProblem})
        if (!p.isEmpty())
            problems << p;
    m_alarmPanel->setProblem(problems.join(QLatin1Char('\n')));

    const int unacked = m_alarmBook->unacknowledged();
    labAlarmCount->setText(QStringLiteral("미확인 경보 %1").arg(unacked));
    labAlarmCount->setStyleSheet(unacked > 0 ? QStringLiteral("background: #d81010; color: white; font-weight: bold;")
                                             : QString());
    labAlarmCount->setToolTip(problems.join(QLatin1Char('\n')));
    spbAlarms->setText(problems.isEmpty() ? QStringLiteral("경보 목록") : QStringLiteral("경보 목록 (!)"));
    m_alarmSound->setWanted(unacked > 0);
    if (unacked > 0 && !m_alarmFlash->isActive()) {
        m_alarmFlashOn = true;
        m_alarmFlash->start();
    } else if (unacked == 0) {
        m_alarmFlash->stop();
        m_alarmFlashOn = true;
    }
    acGrd2->viewport()->update();
}

TMonitoringF::CellAlarm TMonitoringF::cellAlarm(int channel) const
{
    // The channel's worst alarm: active before returned, 경보 before 주의.
    CellAlarm look;
    const ChannelAlarmDef def = m_alarmBook->settings().channels.value(channel - 1);
    const std::pair<AlarmKind, AlarmPriority> kinds[] = {{AlarmKind::ChannelLost, AlarmPriority::Alarm},
                                                         {AlarmKind::High, def.priority},
                                                         {AlarmKind::Low, def.priority}};
    auto rank = [](const CellAlarm& l) {
        if (l.state == AlarmState::Normal)
            return 0;
        return (active(l.state) ? 4 : 1) + (l.priority == AlarmPriority::Alarm ? 2 : 0)
            + (unacknowledged(l.state) ? 1 : 0);
    };
    for (const auto& [kind, priority] : kinds) {
        const CellAlarm candidate{m_alarmBook->state({channel, kind}), priority};
        if (rank(candidate) > rank(look))
            look = candidate;
    }
    return look;
}

// The fill a value cell has now: an active alarm in its priority's colour,
// flashing to a pale tint while unacknowledged; a returned alarm not yet
// acknowledged flashes pale; none without an alarm.
QColor TMonitoringF::valueCellFill(int channel) const
{
    const CellAlarm look = cellAlarm(channel);
    const QColor strong = priorityColor(look.priority);
    const auto tint = [](int c) { return 255 - (255 - c) * 35 / 100; };
    const QColor pale(tint(strong.red()), tint(strong.green()), tint(strong.blue()));
    switch (look.state) {
    case AlarmState::ActiveUnacked:
        return m_alarmFlashOn ? strong : pale;
    case AlarmState::ActiveAcked:
        return strong;
    case AlarmState::ReturnedUnacked:
        return m_alarmFlashOn ? pale : QColor();
    case AlarmState::Normal:
        break;
    }
    return {};
}

bool TMonitoringF::acGrd2DrawCell(QPainter& painter, const QRect& rect, int row, int col)
{
    if (row != kValueRow || col < 1 || col > channelCount())
        return false;
    const QColor fill = valueCellFill(col);
    if (!fill.isValid())
        return false;
    painter.fillRect(rect, fill);
    // White on the strong red, black on amber and the pale tints.
    const bool dark = fill.lightness() < 110;
    QColor text = acGrd2->textColor(row, col);
    if (!text.isValid() || dark)
        text = dark ? QColor(Qt::white) : QColor(Qt::black);
    painter.setPen(text);
    QFont bold = acGrd2->font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignCenter, acGrd2->text(row, col));
    painter.setPen(QColor(192, 192, 192));
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());
    return true;
}
