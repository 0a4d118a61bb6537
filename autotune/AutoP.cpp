#include "autotune/AutoP.h"

#include "autotune/TuningRegisters.h"
#include "link/ComPort.h"
#include "link/FrameProtocol.h"
#include "link/LinkStatusBarP.h"
#include "link/ReplyAssembler.h"
#include "settings/FuncP.h"
#include "settings/IntervalTimer.h"
#include "settings/KeloError.h"
#include "widgets/AppContext.h"
#include "widgets/ApplicationTitle.h"
#include "widgets/ColumnGrid.h"
#include "widgets/EscapeKeeper.h"
#include "widgets/Fonts.h"
#include "widgets/LampSwitch.h"
#include "widgets/RadioGroup.h"
#include "widgets/ShadowLabel.h"
#include "widgets/SpinEdit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

int TAutoF::AtStep = ReadingSettings;
QString TAutoF::TxStr;

namespace {

const QString kRowTitles[] = {QStringLiteral("P"), QStringLiteral("I"), QStringLiteral("D"),
                              QStringLiteral("MR"), QStringLiteral("Pc"), QStringLiteral("Ic"),
                              QStringLiteral("Dc"), QStringLiteral("DB"), QStringLiteral("RP")};
const QString kColTitles[] = {QStringLiteral("PID"), QStringLiteral("#1"), QStringLiteral("#2"),
                              QStringLiteral("#3")};

QLabel* valuePanel(const char* name, QWidget* parent)
{
    auto* p = new QLabel(parent);
    p->setObjectName(QLatin1String(name));
    p->setAlignment(Qt::AlignCenter);
    p->setMinimumSize(90, 22);
    p->setStyleSheet(QStringLiteral("background-color: navy; color: red; font-weight: bold;"));
    return p;
}

} // namespace

TAutoF::TAutoF(AppContext& context, QWidget* parent)
    : QDialog(parent)
    , m_context(context)
{
    setWindowTitle(QStringLiteral("Auto Turing"));
    setFont(gulimche(9));
    keepOpenOnEscape(this);

    m_rxLabel1 = new ShadowLabel(QStringLiteral("온도조절계 설정값"), this);
    m_rxLabel1->setObjectName(QStringLiteral("RxLabel1"));

    auto* values = new QGridLayout;
    const char* labelNames[] = {"labZone", "Label1", "Label2", "Label3", "Label4", "Label5"};
    const QString labelTexts[] = {QStringLiteral("Zone:"), QStringLiteral("Dot:"), QStringLiteral("SV1:"),
                                  QStringLiteral("SV2:"), QStringLiteral("SV3:"), QStringLiteral("AT M:")};
    m_panZone = valuePanel("PanZone", this);
    m_panDot = valuePanel("PanDot", this);
    m_panSv1 = valuePanel("PanSv1", this);
    m_panSv2 = valuePanel("PanSv2", this);
    m_panSv3 = valuePanel("PanSv3", this);
    m_panATM = valuePanel("PanATM", this);
    QLabel* panels[] = {m_panZone, m_panDot, m_panSv1, m_panSv2, m_panSv3, m_panATM};
    for (int i = 0; i < 6; ++i) {
        auto* l = new QLabel(labelTexts[i], this);
        l->setObjectName(QLatin1String(labelNames[i]));
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        values->addWidget(l, i, 0);
        values->addWidget(panels[i], i, 1);
    }

    m_spbRead = new QPushButton(QStringLiteral("설정값 읽어오기"), this);
    m_spbRead->setObjectName(QStringLiteral("spbRead"));
    m_spbRead->setFlat(true);
    // No button is pressed by Enter: Enter in Adr must not send a read.
    m_spbRead->setAutoDefault(false);
    connect(m_spbRead, &QPushButton::clicked, this, &TAutoF::spbReadClick);

    m_sg1 = new ColumnGrid(this);
    m_sg1->setObjectName(QStringLiteral("sg1"));
    m_sg1->setAccessibleName(QStringLiteral("PID 설정값"));
    m_sg1->setColumnCount(4);
    m_sg1->setRowCount(10);
    m_sg1->setDefaultRowHeight(20);
    m_sg1->setFixedHeight(10 * 20 + 2 * m_sg1->frameWidth() + 2);
    m_sg1->setDrawCell([this](QPainter& painter, const QRect& rect, int row, int col) {
        // Every cell's text centred across the cell, 4 pixels below its top.
        if (m_sg1->isFixed(row, col))
            painter.fillRect(rect, m_sg1->fixedColor());
        else
            painter.fillRect(rect, Qt::white);
        const QRect textRect(rect.left(), rect.top() + 4, rect.width(), rect.height() - 4);
        painter.setPen(Qt::black);
        painter.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop, m_sg1->text(row, col));
        return true;
    });

    m_rdgSel = new RadioGroup(QStringLiteral("Turing선택"),
                              {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("Auto")},
                              2, this);
    m_rdgSel->setObjectName(QStringLiteral("rdgSel"));
    m_rdgSel->setItemIndex(0);

    auto* adrLabel = new QLabel(QStringLiteral("Adr"), this);
    m_avSEdtAdr = new SpinEdit(1, 99, this);
    m_avSEdtAdr->setObjectName(QStringLiteral("avSEdtAdr"));
    adrLabel->setBuddy(m_avSEdtAdr);
    connect(m_avSEdtAdr, &SpinEdit::valueChanged, this, &TAutoF::clearReadings);

    m_ledButStart = new LampSwitch(QStringLiteral("시작"), this);
    m_ledButStart->setObjectName(QStringLiteral("ledButStart"));
    m_ledButStart->setAutoDefault(false);
    connect(m_ledButStart, &QPushButton::clicked, this, &TAutoF::ledButStartClick);

    m_spbExit = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("종료"), this);
    m_spbExit->setObjectName(QStringLiteral("spbExit"));
    m_spbExit->setAutoDefault(false);
    connect(m_spbExit, &QPushButton::clicked, this, &TAutoF::spbExitClick);

    // After a run lost to the line: the controller may still be tuning.
    m_labStillTuning = new QLabel(this);
    m_labStillTuning->setObjectName(QStringLiteral("labStillTuning"));
    m_labStillTuning->setWordWrap(true);
    m_labStillTuning->setStyleSheet(QStringLiteral("color: maroon; font-weight: bold;"));
    m_butStopTuning = new QPushButton(QStringLiteral("중지"), this);
    m_butStopTuning->setObjectName(QStringLiteral("butStopTuning"));
    m_butStopTuning->setAutoDefault(false);
    m_butStopTuning->setAccessibleName(QStringLiteral("중지: 조절계에 Auto Tuning 정지 명령 보내기"));
    connect(m_butStopTuning, &QPushButton::clicked, this, &TAutoF::butStopTuningClick);

    m_panMessage = new QLabel(QStringLiteral("처리 중 입니다."), this);
    m_panMessage->setObjectName(QStringLiteral("PanMessage"));
    m_panMessage->setAlignment(Qt::AlignCenter);
    m_panMessage->setStyleSheet(QStringLiteral("background-color: maroon; color: lime; font-weight: bold;"));
    m_panMessage->setFixedSize(220, 50);
    m_panMessage->hide();

    m_comPort1 = new TComPort(this);
    m_comPort1->setObjectName(QStringLiteral("ComPort1"));
    connect(m_comPort1, &TComPort::OnRxChar, this, &TAutoF::ComPort1RxChar);

    m_tmBat = new IntervalTimer(this, 300);
    m_tmBat->setObjectName(QStringLiteral("tmBat"));
    connect(m_tmBat, &IntervalTimer::timeout, this, &TAutoF::tmBatTimer);
    m_tmSend = new IntervalTimer(this, 1000);
    m_tmSend->setObjectName(QStringLiteral("tmSend"));
    connect(m_tmSend, &IntervalTimer::timeout, this, &TAutoF::tmSendTimer);

    auto* left = new QVBoxLayout;
    left->addWidget(m_rxLabel1);
    left->addLayout(values);
    left->addWidget(m_spbRead);
    left->addStretch();

    auto* adr = new QHBoxLayout;
    adr->addWidget(adrLabel);
    adr->addWidget(m_avSEdtAdr);
    auto* right = new QVBoxLayout;
    right->addWidget(m_sg1);
    right->addWidget(m_rdgSel);
    right->addLayout(adr);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_ledButStart);
    buttons->addWidget(m_spbExit);
    right->addLayout(buttons);
    auto* stillTuning = new QHBoxLayout;
    stillTuning->addWidget(m_labStillTuning, 1);
    stillTuning->addWidget(m_butStopTuning);
    right->addLayout(stillTuning);
    showStillTuning(false);

    auto* top = new QHBoxLayout(this);
    top->addLayout(left);
    top->addLayout(right, 1);
    setFixedSize(560, 420);
    m_panMessage->move((width() - m_panMessage->width()) / 2, (height() - m_panMessage->height()) / 2);
    m_panMessage->raise();
}

TAutoF::~TAutoF()
{
    m_tmBat->setEnabled(false);
    m_tmSend->setEnabled(false);
    try {
        m_comPort1->ClosePort();
    } catch (...) {
        // The device is released even when the discard fails.
    }
}

void TAutoF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        FormShow();
    }
}

void TAutoF::FormShow()
{
    m_shown = true;
    InitGrid();
    OpenComPort();
}

void TAutoF::InitGrid()
{
    for (int r = 0; r < m_sg1->rowCount(); ++r)
        for (int c = 0; c < m_sg1->columnCount(); ++c)
            m_sg1->setText(r, c, QString());
    for (int c = 0; c < 4; ++c)
        m_sg1->setText(0, c, kColTitles[c]);
    for (int r = 1; r <= 9; ++r)
        m_sg1->setText(r, 0, kRowTitles[r - 1]);
}

void TAutoF::OpenComPort()
{
    OpenComPortShort(this, *m_comPort1, m_context);
}

QString TAutoF::paddedAddress() const
{
    return PadLeft(QString::number(m_avSEdtAdr->value()), QStringLiteral("0"), 2);
}

void TAutoF::spbReadClick()
{
    AtStep = ReadingSettings;
    m_readAddress = paddedAddress();
    TxStr = m_readAddress + kTuningReadBody;
    tmSendTimer();
}

void TAutoF::clearReadings()
{
    // The shown values belong to the controller they were read from.
    for (QLabel* panel : {m_panZone, m_panDot, m_panSv1, m_panSv2, m_panSv3, m_panATM})
        panel->clear();
    for (int r = 1; r < m_sg1->rowCount(); ++r)
        for (int c = 1; c < m_sg1->columnCount(); ++c)
            m_sg1->setText(r, c, QString());
}

void TAutoF::tmSendTimer()
{
    if (!m_tmSend->isEnabled()) {
        m_sendAttempts = 0;
        m_tmSend->setEnabled(true);
    }
    if (m_sendAttempts >= 4) {
        m_tmBat->setEnabled(false);
        m_tmSend->setEnabled(false);
        if (AtStep == WritingStop) {
            stopUnconfirmed(m_refusals > 0 ? QStringLiteral("정지 명령을 거부했습니다")
                                           : QStringLiteral("정지 명령에 응답이 없습니다"));
            return;
        }
        // Nothing polls any more, so the window is idle again; the
        // controller may have taken the start and still be tuning.
        if (AtStep == WritingStart || AtStep == Polling) {
            showTuning(false);
            showStillTuning(true);
        }
        notice(QStringLiteral("통신불량"));
        return;
    }
    // Counted before sending, so a port that cannot send still gives up
    // after four attempts.
    ++m_sendAttempts;
    try {
        m_comPort1->SendText(QByteArray(1, kStx) + TxStr.toLatin1() + kCr + kLf);
    } catch (const KeloError&) {
        // A port that is not open fails every attempt alike: the first one
        // reports it, the resends wait quietly for "통신불량".
        if (m_sendAttempts == 1)
            throw;
    }
}

void TAutoF::ledButStartClick()
{
    if (!m_panMessage->isHidden()) {
        // Stop the run's controller, with a fresh attempt count even while a
        // poll is awaited. The window shows the stop as done only when the
        // controller confirms it.
        showStopping();
        sendStop();
        return;
    }
    // PanZone is cleared whenever the address changes, so it is a reading
    // of this address or empty.
    if (m_panZone->text() == QStringLiteral("OFF") && m_rdgSel->itemText() == QStringLiteral("Auto")) {
        showTuning(false);
        notice(QStringLiteral("Zone => OFF이므로 Turing 불가능"));
        return;
    }
    // The run belongs to this controller and this choice until it ends.
    m_runAddress = paddedAddress();
    m_runChoice = m_rdgSel->itemIndex();
    m_refusals = 0;
    m_stopUnconfirmed = false;
    showStillTuning(false);
    showTuning(true);
    AtStep = WritingStart;
    m_tmBat->setEnabled(true);
    tmBatTimer();
}

void TAutoF::sendStop()
{
    m_tmBat->setEnabled(false);
    AtStep = WritingStop;
    m_refusals = 0;
    TxStr = m_runAddress + kTuningStopBody;
    m_tmSend->setEnabled(false);
    tmSendTimer();
}

void TAutoF::butStopTuningClick()
{
    m_butStopTuning->setEnabled(false);
    sendStop();
}

void TAutoF::showStillTuning(bool shown)
{
    m_labStillTuning->setText(
        shown ? QStringLiteral("조절계(주소 %1)가 아직 Auto Tuning 중일 수 있습니다. 중지를 누르면 조절계에 정지 명령을 보냅니다.")
                    .arg(m_runAddress)
              : QString());
    m_labStillTuning->setVisible(shown);
    m_butStopTuning->setVisible(shown);
    m_butStopTuning->setEnabled(shown);
}

void TAutoF::showStopping()
{
    m_panMessage->setText(QStringLiteral("중지 중 입니다."));
    m_ledButStart->setLampOn(true);
    m_ledButStart->setEnabled(false);
}

void TAutoF::stopUnconfirmed(const QString& why)
{
    // A stop sent from the idle window after a lost run leaves it idle, with
    // the stop offered again.
    if (m_labStillTuning->isVisibleTo(this)) {
        m_butStopTuning->setEnabled(true);
        notice(QStringLiteral("조절계(주소 %1)가 %2. 조절계가 아직 Auto Tuning 중일 수 있습니다.")
                   .arg(m_runAddress, why));
        return;
    }
    // Back to the tuning state: the operator may send the stop again, or
    // close the window knowing the controller may still tune.
    m_stopUnconfirmed = true;
    showTuning(true);
    m_tmBat->setEnabled(false);
    notice(QStringLiteral("조절계(주소 %1)가 %2. 조절계가 아직 Auto Tuning 중일 수 있습니다.")
               .arg(m_runAddress, why));
}

void TAutoF::showTuning(bool inProgress)
{
    m_ledButStart->setText(inProgress ? QStringLiteral("중지") : QStringLiteral("시작"));
    m_ledButStart->setLampOn(inProgress);
    m_ledButStart->setEnabled(true);
    m_panMessage->setText(QStringLiteral("처리 중 입니다."));
    m_panMessage->setVisible(inProgress);
    // A settings read during tuning would leave the ticks without a request;
    // the address and the choice belong to the run.
    m_spbRead->setEnabled(!inProgress);
    m_avSEdtAdr->setEnabled(!inProgress);
    m_rdgSel->setEnabled(!inProgress);
}

void TAutoF::notice(const QString& text)
{
    // Opened where it is raised. A box raised in a tick or a reply comes
    // after the last sending, with both timers stopped, so it holds up
    // nothing; one raised from a click or a close leaves the timers running
    // (the polls of a run go on while it waits).
    m_context.dialogs.MsgBox(this, text, applicationTitle(), MsgStyle::Ok);
}

void TAutoF::tmBatTimer()
{
    if (m_tmSend->isEnabled())
        return;
    const QString body = tuningTickBody(AtStep, m_runChoice);
    // Reading and stopping have no tick request: such a tick sends nothing,
    // never a frame holding only the address.
    if (body.isEmpty())
        return;
    TxStr = m_runAddress + body;
    tmSendTimer();
}

void TAutoF::ComPort1RxChar(QObject*, int Count)
{
    const QByteArray bytes = m_comPort1->ReadText(Count);
    const QList<QByteArray> frames = programAssembler(ReceivingWindow::AutoTuning).Feed(bytes);
    for (const QByteArray& frame : frames) {
        // While stopping, only the stop's own answer counts: a poll's reply
        // that comes late must not pass for the controller confirming it.
        if (AtStep == WritingStop && frame.mid(3, 3) != "DWS")
            continue;
        if (ReplyOk(frame)) {
            m_tmSend->setEnabled(false);
            m_refusals = 0;
            HandleReply(frame);
        } else {
            HandleRefusal();
        }
    }
}

void TAutoF::HandleRefusal()
{
    ++m_refusals;
    switch (AtStep) {
    case WritingStop:
        // Sent again under the four-sendings rule: tmSend keeps its count.
        if (m_tmSend->isEnabled())
            tmSendTimer();
        return;
    case WritingStart:
    case Polling:
        // Sent again by the next tick, as long as the four-sendings span lasts.
        m_tmSend->setEnabled(false);
        if (m_refusals < 4 || !m_tmBat->isEnabled())
            return;
        m_tmBat->setEnabled(false);
        if (AtStep == WritingStart)
            showTuning(false);  // it never started
        notice(QStringLiteral("조절계(주소 %1)가 %2 요청을 거부합니다.")
                   .arg(m_runAddress,
                        AtStep == WritingStart ? QStringLiteral("Auto Tuning 시작") : QStringLiteral("상태 읽기")));
        return;
    default:
        m_tmSend->setEnabled(false);
        return;
    }
}

void TAutoF::HandleReply(const QByteArray& frame)
{
    switch (AtStep) {
    case ReadingSettings: {
        // A reply of the address read from, not of one chosen since.
        if (m_readAddress != paddedAddress())
            break;
        const TuningSettings s = decodeTuningSettings(frame);
        m_panZone->setText(s.zone);
        m_panDot->setText(s.dot);
        m_panSv1->setText(s.sv1);
        m_panSv2->setText(s.sv2);
        m_panSv3->setText(s.sv3);
        m_panATM->setText(s.atm);
        for (int c = 1; c <= 3; ++c)
            for (int r = 1; r <= 9; ++r)
                if (!s.grid[std::size_t(c)][std::size_t(r)].isEmpty())
                    m_sg1->setText(r, c, s.grid[std::size_t(c)][std::size_t(r)]);
        break;
    }
    case WritingStart:
        AtStep = Polling;
        break;
    case Polling:
        if (ReplyWord(frame, 1) == QStringLiteral("0000")) {
            m_tmBat->setEnabled(false);
            showTuning(false);
            spbReadClick();
        }
        break;
    case WritingStop:
        m_stopUnconfirmed = false;
        showTuning(false);
        showStillTuning(false);
        break;
    default:
        break;
    }
}

bool TAutoF::FormCloseQuery()
{
    if (m_panMessage->isHidden())
        return true;
    // After a stop the controller did not confirm, the operator may leave
    // (the controller may be gone), but is told what that means.
    if (m_stopUnconfirmed && m_ledButStart->isEnabled())
        return m_context.dialogs.MsgBox(this,
                                        QStringLiteral("조절계(주소 %1)가 아직 Auto Tuning 중일 수 있습니다."
                                                       " 그래도 닫으시겠습니까?")
                                            .arg(m_runAddress),
                                        QStringLiteral("확인"), MsgStyle::YesNoQuestion)
            == MsgResult::Yes;
    notice(QStringLiteral("먼저 Turing을 종료하세요."));
    return false;
}

void TAutoF::spbExitClick()
{
    close();
}

void TAutoF::closeEvent(QCloseEvent* event)
{
    // Asked once: the dialog's own close handling would ask again through reject().
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    QDialog::done(QDialog::Rejected);
}

void TAutoF::reject()
{
    if (FormCloseQuery())
        QDialog::reject();
}
