#include "console/CommandP.h"

#include "link/ComPort.h"
#include "link/FrameProtocol.h"
#include "link/LinkStatusBarP.h"
#include "link/PortErrors.h"
#include "link/ReplyAssembler.h"
#include "link/SetupP.h"
#include "settings/Convert.h"
#include "settings/IntervalTimer.h"
#include "settings/KeloError.h"
#include "widgets/AppContext.h"
#include "widgets/EscapeKeeper.h"
#include "widgets/Fonts.h"
#include "widgets/ModalRun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStylePainter>
#include <QTimer>
#include <QValidator>
#include <QVBoxLayout>
#include <cerrno>
#include <iterator>

namespace {

// Frame layout and the bytes of each of its fields, per command. The spaces
// in the byte line put each number under its field in the layout above it.
struct CommandLayout {
    const char* code;
    const char* frame;
    const char* bytes;
};
constexpr CommandLayout kLayouts[] = {
    {"WHO", "Frame => STX + ADDR + WHO + CR + LF", "Bytes =>  1  +  2   +  3  + 1  + 1"},
    {"DRS", "Frame => STX+ADDR+DRS+,+읽을갯수+,+시작주소+CR+LF",
     "Bytes =>  1 +  2 + 3 +1+   2    +1+   4    + 1+ 1"},
    {"DRR", "Frame => STX+ADDR+DRR+,+읽을갯수+,+주소+,+주소...+CR+LF",
     "Bytes =>  1 +  2 + 3 +1+   2    +1+ 4  +1+ 4     + 1+ 1"},
    {"DWS", "Frame => STX+ADDR+DWS+,+갯수+,+시작주소+,+Data1+,+Data2...+CR+LF",
     "Bytes =>  1 +  2 + 3 +1+ 2  +1+   4    +1+  4  +1+  4  ...+ 1+ 1"},
    {"DWR", "Frame => STX+ADDR+DWR+,+갯수+,+주소1+,+Data1+,+주소2+,+Data2...+CR+LF",
     "Bytes =>  1 +  2 + 3 +1+ 2  +1+  4  +1+  4  +1+  4  +1+  4  ...+ 1+ 1"},
    {"DMS", "Frame => STX+ADDR+DMS+,+갯수+,+주소1+,+주소2...+CR+LF",
     "Bytes =>  1 +  2 + 3 +1+ 2  +1+  4  +1+  4  ...+ 1+ 1"},
    {"DMC", "Frame => STX + ADDR + DMC + CR + LF", "Bytes =>  1  +  2   +  3  + 1  + 1"},
};

const CommandLayout* layoutOf(const QString& code)
{
    for (const CommandLayout& layout : kLayouts)
        if (code == QLatin1String(layout.code))
            return &layout;
    return nullptr;
}

constexpr int kMaxLogLines = 1000;

const QString kSend = QStringLiteral("Send");
const QString kStart = QStringLiteral("Start");
const QString kStop = QStringLiteral("Stop");
const QString& kReceiving = LinkStateText::Receiving;
const QString& kIdle = LinkStateText::Idle;
const QString& kError = LinkStateText::Error;

// A drop-down list whose shown text is centred.
class CenteredComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        const QString text = option.currentText;
        option.currentText.clear();
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, this);
        painter.drawItemText(field, Qt::AlignCenter, palette(), isEnabled(), text,
                             QPalette::ButtonText);
    }
};

// Letters typed into the request body become upper case.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};

QLabel* label(const QString& name, const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QPushButton* button(const QString& name, const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    // Enter belongs to the edit fields, never to a default button.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

} // namespace

TCommandF::TCommandF(AppContext& context, QWidget* parent) : QDialog(parent), m_context(context)
{
    setObjectName(QStringLiteral("CommandF"));
    setWindowTitle(QStringLiteral("코멘드통신"));
    setFont(gulimche(9));
    // The operator is typing frames here: Esc must not close the console.
    keepOpenOnEscape(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    m_comPort1 = new TComPort(this);
    m_comPort1->setObjectName(QStringLiteral("ComPort1"));
    connect(m_comPort1, &TComPort::OnRxChar, this, &TCommandF::ComPort1RxChar);

    m_timer1 = new IntervalTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    connect(m_timer1, &IntervalTimer::timeout, this, &TCommandF::Timer1Timer);

    buildLayout();

    resize(720, 520);
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void TCommandF::buildLayout()
{
    QFont bold = font();
    bold.setBold(true);

    m_cxCmbSel = new CenteredComboBox(this);
    m_cxCmbSel->setObjectName(QStringLiteral("cxCmbSel"));
    for (const ProtocolCommand& command : ProtocolCommands())
        m_cxCmbSel->addItem(command.consoleText, command.code);
    for (int i = 0; i < m_cxCmbSel->count(); ++i)
        m_cxCmbSel->setItemData(i, Qt::AlignCenter, Qt::TextAlignmentRole);
    m_cxCmbSel->setMinimumWidth(300);
    connect(m_cxCmbSel, &QComboBox::activated, this, &TCommandF::cxCmbSelPropertiesChange);
    connect(m_cxCmbSel, &QComboBox::currentIndexChanged, this, &TCommandF::cxCmbSelPropertiesChange);

    m_labTxt = label(QStringLiteral("labTxt"), QStringLiteral("Frame => "), this);
    m_labByte = label(QStringLiteral("labByte"), QStringLiteral("Bytes =>"), this);

    m_edtUnit = new QLineEdit(QStringLiteral("01"), this);
    m_edtUnit->setObjectName(QStringLiteral("edtUnit"));
    m_edtUnit->setMaxLength(2);
    m_edtUnit->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 8);
    m_edtUnit->setAlignment(Qt::AlignCenter);
    QPalette unitColours = m_edtUnit->palette();
    unitColours.setColor(QPalette::Base, Qt::red);
    unitColours.setColor(QPalette::Text, Qt::yellow);
    m_edtUnit->setPalette(unitColours);
    m_edtUnit->setFont(bold);
    connect(m_edtUnit, &QLineEdit::returnPressed, this, &TCommandF::edtUnitKeyPress);

    m_edtSend = new QLineEdit(this);
    m_edtSend->setObjectName(QStringLiteral("edtSend"));
    m_edtSend->setValidator(new UpperCaseValidator(m_edtSend));
    connect(m_edtSend, &QLineEdit::returnPressed, this, &TCommandF::edtSendKeyPress);

    m_butSend = button(QStringLiteral("butSend"), kSend, this);
    m_butSetup = button(QStringLiteral("butSetup"), QStringLiteral("통신설정"), this);
    m_butExit = button(QStringLiteral("butExit"), QStringLiteral("종료"), this);
    connect(m_butSend, &QPushButton::clicked, this, &TCommandF::butSendClick);
    connect(m_butSetup, &QPushButton::clicked, this, &TCommandF::butSetupClick);
    connect(m_butExit, &QPushButton::clicked, this, &TCommandF::butExitClick);

    // The red band: the check box with Label6 as its caption.
    auto* band = new QFrame(this);
    band->setObjectName(QStringLiteral("Panel1"));
    band->setAutoFillBackground(true);
    QPalette red = band->palette();
    red.setColor(QPalette::Window, Qt::red);
    red.setColor(QPalette::WindowText, Qt::white);
    band->setPalette(red);
    auto* bandLayout = new QHBoxLayout(band);
    bandLayout->setContentsMargins(4, 2, 4, 2);
    m_chbAll = new QCheckBox(band);
    m_chbAll->setObjectName(QStringLiteral("chbAll"));
    // Its caption is Label6 beside it; a screen reader needs the name on the box.
    m_chbAll->setAccessibleName(QStringLiteral("연속통신"));
    connect(m_chbAll, &QCheckBox::toggled, this, &TCommandF::chbAllClick);
    m_label6 = label(QStringLiteral("Label6"), QStringLiteral("연속통신"), band);
    m_label6->setFont(bold);
    m_label6->installEventFilter(this);
    bandLayout->addWidget(m_chbAll);
    bandLayout->addWidget(m_label6, 1);

    m_clsbAll = new QListWidget(this);
    m_clsbAll->setObjectName(QStringLiteral("clsbAll"));
    for (int i = 1; i <= ContinuousSend::kAddresses; ++i) {
        auto* item = new QListWidgetItem(QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')), m_clsbAll);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    m_clsbAll->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000000000")) + 30);

    m_memo1 = new QPlainTextEdit(this);
    m_memo1->setObjectName(QStringLiteral("Memo1"));
    m_memo1->setReadOnly(true);
    m_memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The oldest line goes when a new one would pass the limit, so the log
    // always shows the latest traffic.
    m_memo1->setMaximumBlockCount(kMaxLogLines);
    m_memo1->setToolTip(QStringLiteral("더블클릭하면 지워져요...^^"));
    QPalette log = m_memo1->palette();
    log.setColor(QPalette::Base, Qt::black);
    log.setColor(QPalette::Text, Qt::yellow);
    m_memo1->setPalette(log);
    m_memo1->viewport()->installEventFilter(this);

    m_memo1->setAccessibleName(QStringLiteral("통신 기록"));
    m_edtUnit->setAccessibleName(QStringLiteral("주소 (ADDR)"));
    m_edtSend->setAccessibleName(QStringLiteral("송신 내용"));
    m_clsbAll->setAccessibleName(QStringLiteral("연속통신 주소"));
    // The log shows frames as text with visible control characters, or as
    // hex bytes; and it can be emptied from the keyboard too.
    m_chbHex = new QCheckBox(QStringLiteral("HEX로 보기"), this);
    m_chbHex->setObjectName(QStringLiteral("chbHex"));
    m_butClearLog = button(QStringLiteral("butClearLog"), QStringLiteral("기록 지우기"), this);
    connect(m_butClearLog, &QPushButton::clicked, this, &TCommandF::Memo1DblClick);

    m_statusBar1 = new LinkStatusBar(LinkStatusBar::Design::Console, this);

    auto* top = new QHBoxLayout;
    top->addWidget(label(QStringLiteral("Label1"), QStringLiteral("코멘드 선택:"), this));
    top->addWidget(m_cxCmbSel);
    top->addStretch();

    auto* sendLine = new QHBoxLayout;
    sendLine->setSpacing(2);
    sendLine->addWidget(label(QStringLiteral("Label5"), QStringLiteral("송신 =>"), this));
    sendLine->addWidget(label(QStringLiteral("Label3"), QStringLiteral("STX+"), this));
    sendLine->addWidget(m_edtUnit);
    sendLine->addWidget(label(QStringLiteral("Label2"), QStringLiteral("+"), this));
    sendLine->addWidget(m_edtSend, 1);
    sendLine->addWidget(label(QStringLiteral("Label4"), QStringLiteral("+CR+LF"), this));

    auto* left = new QVBoxLayout;
    left->addLayout(top);
    left->addWidget(m_labTxt);
    left->addWidget(m_labByte);
    left->addLayout(sendLine);
    left->addWidget(m_memo1, 1);
    auto* logTools = new QHBoxLayout;
    logTools->addWidget(m_chbHex);
    logTools->addStretch();
    logTools->addWidget(m_butClearLog);
    left->addLayout(logTools);

    auto* right = new QVBoxLayout;
    right->addWidget(m_butSend);
    right->addWidget(m_butSetup);
    right->addWidget(m_butExit);
    right->addSpacing(8);
    right->addWidget(band);
    right->addWidget(m_clsbAll, 1);

    auto* body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addLayout(right);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 0);
    outer->addLayout(body, 1);
    outer->addWidget(m_statusBar1);

    // Tab follows the layout: the left column top to bottom, then the right.
    QWidget* order[] = {m_cxCmbSel, m_edtUnit, m_edtSend, m_memo1, m_chbHex, m_butClearLog,
                        m_butSend, m_butSetup, m_butExit, m_chbAll, m_clsbAll};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TCommandF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

bool TCommandF::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_label6 && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label6Click();
        return true;
    }
    if (watched == m_memo1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        Memo1DblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TCommandF::FormShow()
{
    m_cxCmbSel->setCurrentIndex(0);
    cxCmbSelPropertiesChange();
    OpenComPort(this, *m_comPort1, *m_statusBar1, m_context);
}

void TCommandF::cxCmbSelPropertiesChange()
{
    const int index = m_cxCmbSel->currentIndex();
    if (index < 0)
        return;
    const ProtocolCommand& command = ProtocolCommands().at(index);
    if (const CommandLayout* layout = layoutOf(command.code)) {
        m_labTxt->setText(QString::fromUtf8(layout->frame));
        m_labByte->setText(QString::fromUtf8(layout->bytes));
    }
    m_edtSend->setText(command.exampleBody);
    m_edtUnit->setText(QStringLiteral("01"));
}

void TCommandF::sendFrame(const QByteArray& frame)
{
    const int written = m_comPort1->SendText(frame); // throws when the port is not open
    if (written < frame.size()) {
        // A lost device or a line held back past the write bound: the frame
        // did not go out, which must not look like a send.
        throw KeloError(PortErrorText(PortFailure::Write, m_comPort1->LinkLost() ? EIO : ETIMEDOUT));
    }
    if (m_statusBar1->panelText(0) == kError)
        m_statusBar1->setPanelText(0, kIdle);
    logFrame(TrafficDirection::Sent, frame);
}

void TCommandF::butSendClick()
{
    if (!m_chbAll->isChecked()) {
        sendFrame(BuildRequest(m_edtUnit->text(), m_edtSend->text()));
        return;
    }
    if (m_timer1->isEnabled()) {
        m_timer1->setEnabled(false);
        m_butSend->setText(kStart);
        m_butSetup->setEnabled(true);
        return;
    }
    m_butSend->setText(kStop);
    m_timer1->setInterval(StrToInt(m_statusBar1->panelText(3)));
    m_continuous.start();
    m_timer1->setEnabled(true);
    m_butSetup->setEnabled(false);
}

QList<bool> TCommandF::tickedAddresses() const
{
    QList<bool> ticked;
    ticked.reserve(m_clsbAll->count());
    for (int i = 0; i < m_clsbAll->count(); ++i)
        ticked.append(m_clsbAll->item(i)->checkState() == Qt::Checked);
    return ticked;
}

void TCommandF::Timer1Timer()
{
    if (!m_chbAll->isChecked()) {
        m_timer1->setEnabled(false);
        m_butSend->setText(kSend);
        m_butSetup->setEnabled(true);
        return;
    }
    const int idx = m_continuous.next(tickedAddresses());
    if (idx < 0)
        return;
    try {
        sendFrame(BuildRequest(idx + 1, m_edtSend->text()));
    } catch (const KeloError& error) {
        reportContinuousFailure(error.text());
    } catch (const std::exception& error) {
        reportContinuousFailure(QString::fromLocal8Bit(error.what()));
    }
}

void TCommandF::reportContinuousFailure(const QString& text)
{
    // The timer goes on, so the run resumes by itself once the line is back;
    // one error box per run, the rest only in the link panel.
    m_statusBar1->setPanelText(0, kError);
    m_statusBar1->panel(0)->setToolTip(text);
    if (!m_continuous.firstFailure())
        return;
    // Opened once the tick has returned: a timer does not fire again while
    // its handler waits in a box, and the sending must keep its rhythm while
    // the box waits for the operator.
    QTimer::singleShot(0, this, [this, text] { m_context.dialogs.errorBox(this, text); });
}

void TCommandF::ComPort1RxChar(QObject*, int Count)
{
    const QByteArray bytes = m_comPort1->ReadText(Count);
    m_statusBar1->setPanelText(0, kReceiving);
    const QList<QByteArray> replies = programAssembler(ReceivingWindow::Console).Feed(bytes);
    for (const QByteArray& reply : replies)
        logFrame(TrafficDirection::Received, reply);
    if (!replies.isEmpty())
        m_statusBar1->setPanelText(0, kIdle);
}

void TCommandF::logFrame(TrafficDirection direction, const QByteArray& frame)
{
    m_memo1->appendPlainText(m_chbHex->isChecked() ? TrafficHexLine(direction, frame)
                                                   : TrafficLogLine(direction, frame));
}

void TCommandF::chbAllClick()
{
    m_butSend->setText(m_chbAll->isChecked() ? kStart : kSend);
}

void TCommandF::Label6Click()
{
    m_chbAll->toggle(); // toggled runs chbAllClick
}

void TCommandF::edtUnitKeyPress()
{
    m_edtSend->setFocus();
}

void TCommandF::edtSendKeyPress()
{
    butSendClick();
}

void TCommandF::Memo1DblClick()
{
    m_memo1->clear();
}

void TCommandF::butSetupClick()
{
    if (m_comPort1->Connected())
        m_comPort1->ClosePort();
    try {
        runModal<TSetupF>(m_context, this);
    } catch (...) {
        OpenComPort(this, *m_comPort1, *m_statusBar1, m_context);
        throw;
    }
    OpenComPort(this, *m_comPort1, *m_statusBar1, m_context);
}

void TCommandF::butExitClick()
{
    close();
}
