#include "link/LinkStatusBarP.h"

#include "link/ComPort.h"
#include "link/PollDelay.h"
#include "link/PortErrors.h"
#include "settings/FuncP.h"
#include "settings/KeloError.h"
#include "widgets/AppContext.h"

#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace {

struct PanelLayout {
    int width;
    bool bevel;
};
constexpr PanelLayout kLayout[LinkStatusBar::kPanelCount] = {
    {70, true}, {70, true}, {100, true}, {50, true}, {50, false}};

// A panel shows the start of a text too long for it, ending in "…", never
// a middle cut from both sides ("/dev/ttyUSB(" or "15200,Space,8,1." read as
// other devices and speeds); its tool tip holds the whole text.
class StatusPanel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawFrame(&painter);
        const QRect room = contentsRect().adjusted(margin() + 2, margin(), -margin() - 2, -margin());
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
        painter.setPen(palette().color(foregroundRole()));
        painter.drawText(room, int(alignment()), shown);
    }
};

const QString& kIdle = LinkStateText::Idle;
const QString& kError = LinkStateText::Error;

// Shows an error that ended the port's receive notifications in the
// application's error box, so a window that stops receiving says why.
class ReceiveFailureReporter : public QObject {
public:
    static constexpr const char* kName = "ReceiveFailureReporter";

    static void attach(TComPort& port, QWidget* owner, DialogService& dialogs)
    {
        if (port.findChild<ReceiveFailureReporter*>(QLatin1String(kName), Qt::FindDirectChildrenOnly))
            return;
        auto* reporter = new ReceiveFailureReporter(port);
        // Shown once the port's handler has returned, so no timer waits for the box.
        QObject::connect(&port, &TComPort::receiveStopped, reporter, [reporter, owner, &dialogs](const QString& reason) {
            QTimer::singleShot(0, reporter, [owner, &dialogs, reason] { dialogs.errorBox(owner, reason); });
        });
    }

private:
    explicit ReceiveFailureReporter(QObject& parent) : QObject(&parent)
    {
        setObjectName(QLatin1String(kName));
    }
};

bool openAndReport(QWidget* owner, TComPort& port, AppContext& context)
{
    port.settings().FlowControl.ControlRTS = rtsToggle;
    ReceiveFailureReporter::attach(port, owner, context.dialogs);
    // "통신 불량" stays the first line; the second says why.
    const QString kFailed = QStringLiteral("통신 불량");
    const QString kCaption = QStringLiteral("경고");
    try {
        port.OpenPort();
    } catch (const PortError& error) {
        context.dialogs.MsgBox(owner, kFailed + QLatin1Char('\n') + PortOpenAdvice(error.text(), error.code()),
                               kCaption, MsgStyle::OkError);
        return false;
    } catch (const KeloError& error) {
        context.dialogs.MsgBox(owner, kFailed + QLatin1Char('\n') + error.text(), kCaption, MsgStyle::OkError);
        return false;
    } catch (const std::exception& error) {
        context.dialogs.MsgBox(owner, kFailed + QLatin1Char('\n') + QString::fromLocal8Bit(error.what()), kCaption,
                               MsgStyle::OkError);
        return false;
    }
    return true;
}

} // namespace

LinkStatusBar::LinkStatusBar(Design design, QWidget* parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("StatusBar1"));
    setSizeGripEnabled(false);
    const bool console = design == Design::Console;
    const QString texts[kPanelCount] = {
        console ? QStringLiteral("통신불량") : kIdle, QStringLiteral("COM1"),
        QStringLiteral("9600,N,8,1"), QStringLiteral("200"),
        console ? QString() : QStringLiteral("=> Stop")};
    for (int i = 0; i < kPanelCount; ++i) {
        auto* label = new StatusPanel(texts[i], this);
        label->setToolTip(texts[i]);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        if (kLayout[i].bevel) {
            label->setAlignment(Qt::AlignCenter);
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setFixedWidth(kLayout[i].width);
            addWidget(label);
        } else {
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            label->setFrameStyle(QFrame::NoFrame);
            label->setMinimumWidth(kLayout[i].width);
            addWidget(label, 1); // the last panel takes the rest of the bar
        }
        m_panels[std::size_t(i)] = label;
    }
}

QString LinkStatusBar::panelText(int panel) const
{
    return m_panels.at(std::size_t(panel))->text();
}

void LinkStatusBar::setPanelText(int panel, const QString& text)
{
    QLabel* label = m_panels.at(std::size_t(panel));
    label->setText(text);
    label->setToolTip(text);
}

void LinkStatusBar::watch(TComPort* port)
{
    connect(port, &TComPort::linkLost, this, &LinkStatusBar::showLinkLost, Qt::UniqueConnection);
    connect(port, &TComPort::linkResumed, this, &LinkStatusBar::showLinkResumed, Qt::UniqueConnection);
}

void LinkStatusBar::showLinkLost()
{
    setPanelText(0, kError);
}

void LinkStatusBar::showLinkResumed()
{
    setPanelText(0, kIdle);
}

bool OpenComPort(QWidget* owner, TComPort& port, LinkStatusBar& statusBar, AppContext& context)
{
    const QString ini = MainIniPath();
    const QString section = QStringLiteral("ComPort1");
    statusBar.setPanelText(1, IniReadOrWrite(true, ini, section, QStringLiteral("Port"), QStringLiteral("COM1")));
    QString line = IniReadOrWrite(true, ini, section, QStringLiteral("BaudRate"), QStringLiteral("9600"));
    statusBar.setPanelText(2, line);
    line += QLatin1Char(',') + IniReadOrWrite(true, ini, section, QStringLiteral("Parity"), QStringLiteral("None"));
    statusBar.setPanelText(2, line);
    line += QLatin1Char(',') + IniReadOrWrite(true, ini, section, QStringLiteral("DataBits"), QStringLiteral("8"));
    statusBar.setPanelText(2, line);
    line += QLatin1Char(',') + IniReadOrWrite(true, ini, section, QStringLiteral("StopBits"), QStringLiteral("1"));
    statusBar.setPanelText(2, line);
    // Read for the default it writes back; the loader reads the key itself.
    (void)IniReadOrWrite(true, ini, section, QStringLiteral("FlowControl"), QStringLiteral("fcCustom"));
    statusBar.setPanelText(3, IniReadOrWrite(true, ini, QStringLiteral("Delay"), QStringLiteral("Time"),
                                             QString::number(kDefaultPollDelayMs)));
    port.LoadPortSettings(ini);
    statusBar.watch(&port);
    if (!openAndReport(owner, port, context)) {
        statusBar.setPanelText(0, kError);
        return false;
    }
    statusBar.setPanelText(0, kIdle);
    return true;
}

bool OpenComPortShort(QWidget* owner, TComPort& port, AppContext& context)
{
    port.LoadPortSettings(MainIniPath());
    return openAndReport(owner, port, context);
}
