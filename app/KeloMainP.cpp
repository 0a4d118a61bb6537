#include "app/KeloMainP.h"

#include "app/AboutP.h"
#include "autotune/AutoP.h"
#include "console/CommandP.h"
#include "link/SetupP.h"
#include "monitoring/MonitoringP.h"
#include "review/DataViewP.h"
#include "settings/FuncP.h"
#include "settings/IntervalTimer.h"
#include "widgets/AppContext.h"
#include "widgets/Fonts.h"
#include "widgets/ModalRun.h"
#include "widgets/WindowPlacement.h"
#include "widgets/ShadowLabel.h"

#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const char* const kWeekdays[] = {"월요일", "화요일", "수요일", "목요일", "금요일", "토요일", "일요일"};
}

TKeloMainF::TKeloMainF(AppContext& context, QWidget* parent)
    : QMainWindow(parent), m_context(context)
{
    setObjectName(QStringLiteral("KeloMainF"));
    setWindowTitle(QStringLiteral("켈로-온도조절계모니터링+AT Ver1.13"));
    QFont font = gulimche(9);
    setFont(font);
    resize(748, 616);

    buildMenu();
    buildBody();

    m_timer1 = new IntervalTimer(this, 1000);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    connect(m_timer1, &IntervalTimer::timeout, this, &TKeloMainF::Timer1Timer);
    m_timer1->setEnabled(true);
}

QAction* TKeloMainF::addItem(QMenu* menu, const QString& name, const QString& text,
                             void (TKeloMainF::*handler)())
{
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void TKeloMainF::buildMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* monitoring = bar->addMenu(QStringLiteral("모니터링"));
    addItem(monitoring, QStringLiteral("N10"), QStringLiteral("모니터링"), &TKeloMainF::N10Click);
    addItem(monitoring, QStringLiteral("N15"), QStringLiteral("데이터조회"), &TKeloMainF::N15Click);
    QMenu* autoTuning = bar->addMenu(QStringLiteral("AutoTuring"));
    addItem(autoTuning, QStringLiteral("Auto1"), QStringLiteral("AutoTuring"), &TKeloMainF::Auto1Click);
    QMenu* command = bar->addMenu(QStringLiteral("코멘드"));
    addItem(command, QStringLiteral("N11"), QStringLiteral("코멘드통신"), &TKeloMainF::N11Click);
    QMenu* settings = bar->addMenu(QStringLiteral("환경설정"));
    addItem(settings, QStringLiteral("N7"), QStringLiteral("통신설정"), &TKeloMainF::N7Click);
    QMenu* other = bar->addMenu(QStringLiteral("기타"));
    addItem(other, QStringLiteral("About1"), QStringLiteral("About"), &TKeloMainF::About1Click);
    other->addSeparator();
    addItem(other, QStringLiteral("N6"), QStringLiteral("종료"), &TKeloMainF::N6Click);
}

QToolButton* TKeloMainF::addToolButton(QWidget* bar, const QString& name, const QString& tip,
                                       const QString& picture, void (TKeloMainF::*handler)())
{
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setToolTip(tip);
    button->setAccessibleName(tip);  // a picture only: the tip says what it does
    button->setAutoRaise(true);
    button->setIcon(QIcon(picture));
    button->setIconSize(QSize(32, 32));
    connect(button, &QToolButton::clicked, this, handler);
    bar->layout()->addWidget(button);
    return button;
}

void TKeloMainF::buildBody()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* panel3 = new QFrame(central);
    panel3->setObjectName(QStringLiteral("Panel3"));
    panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* tools = new QHBoxLayout(panel3);
    tools->setContentsMargins(4, 2, 4, 2);
    addToolButton(panel3, QStringLiteral("spsMonitoring"), QStringLiteral("모니터링"),
                  QStringLiteral(":/monitoring.svg"), &TKeloMainF::N10Click);
    addToolButton(panel3, QStringLiteral("spbCommand"), QStringLiteral("코멘드"),
                  QStringLiteral(":/command.svg"), &TKeloMainF::N11Click);
    tools->addSpacing(12);
    addToolButton(panel3, QStringLiteral("spbSetup"), QStringLiteral("통신설정"),
                  QStringLiteral(":/setup.svg"), &TKeloMainF::N7Click);
    addToolButton(panel3, QStringLiteral("spbAbout"), QStringLiteral("켈로에 관하여"),
                  QStringLiteral(":/about.svg"), &TKeloMainF::About1Click);
    addToolButton(panel3, QStringLiteral("spbExit"), QStringLiteral("종료"),
                  QStringLiteral(":/exit.svg"), &TKeloMainF::N6Click);
    tools->addStretch(1);
    auto* logo = new QLabel(panel3);
    logo->setObjectName(QStringLiteral("Image1"));
    logo->setPixmap(QIcon(QStringLiteral(":/logo.svg")).pixmap(160, 40));
    tools->addWidget(logo);
    column->addWidget(panel3);

    auto* background = new QLabel(central);
    background->setObjectName(QStringLiteral("Image2"));
    background->setPixmap(QIcon(QStringLiteral(":/background.svg")).pixmap(740, 480));
    background->setScaledContents(true);
    background->setMinimumSize(1, 1);
    background->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    column->addWidget(background, 1);

    auto* panel1 = new QFrame(central);
    panel1->setObjectName(QStringLiteral("Panel1"));
    auto* bottom = new QHBoxLayout(panel1);
    bottom->setContentsMargins(2, 2, 2, 2);
    m_panDate = new QLabel(panel1);
    m_panDate->setObjectName(QStringLiteral("PanDate"));
    m_panDate->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panDate->setAlignment(Qt::AlignCenter);
    m_panDate->setMinimumWidth(160);
    m_panDate->setStyleSheet(QStringLiteral("color: navy; font-weight: bold;"));
    bottom->addWidget(m_panDate);
    auto* title = new ShadowLabel(
        QStringLiteral("(주)켈로  경기도 가상시 온도로 123 (우 12345)  TEL 031-000-0000"), panel1);
    title->setObjectName(QStringLiteral("rxLabTitle"));
    title->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    QFont bold = font();
    bold.setBold(true);
    title->setFont(bold);
    title->setStyleSheet(QStringLiteral("color: maroon;"));
    bottom->addWidget(title, 1);
    column->addWidget(panel1);

    setCentralWidget(central);
}

QString TKeloMainF::dateText(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" [")
        + QString::fromUtf8(kWeekdays[date.dayOfWeek() - 1]) + QLatin1Char(']');
}

void TKeloMainF::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        setOuterSize(this, QSize(748, 616));
        centreOnScreen(this);
        FormShow();
    }
}

void TKeloMainF::FormShow()
{
    if (ProgramPath.isEmpty())
        SetProgramPath();
    Timer1Timer();
    const QString monitor = MonitorDir();
    if (!QDir(monitor).exists() && !QDir().mkpath(monitor))
        m_context.dialogs.errorBox(this, QStringLiteral("Unable to create directory %1").arg(monitor));
}

void TKeloMainF::Timer1Timer()
{
    m_panDate->setText(dateText(m_context.clock().date()));
}

void TKeloMainF::closeEvent(QCloseEvent* event)
{
    // FormCloseQuery
    const int answer = m_context.dialogs.MsgBox(this, QStringLiteral("정말 종료하시겠습니까?"),
                                                QStringLiteral("확인"), MsgStyle::YesNoQuestion);
    if (answer == MsgResult::Yes)
        event->accept();
    else
        event->ignore();
}

void TKeloMainF::N6Click()
{
    close();
}

void TKeloMainF::N10Click()
{
    runModal<TMonitoringF>(m_context, this);
}

void TKeloMainF::N15Click()
{
    runModal<TDataViewF>(m_context, this);
}

void TKeloMainF::Auto1Click()
{
    runModal<TAutoF>(m_context, this);
}

void TKeloMainF::N11Click()
{
    runModal<TCommandF>(m_context, this);
}

void TKeloMainF::N7Click()
{
    runModal<TSetupF>(m_context, this);
}

void TKeloMainF::About1Click()
{
    runModal<TAboutF>(m_context, this);
}
