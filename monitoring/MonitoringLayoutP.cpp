// The monitoring window's components and their places.
#include "monitoring/MonitoringP.h"

#include "link/ComPort.h"
#include "link/LinkStatusBarP.h"
#include "settings/IntervalTimer.h"
#include "widgets/AppContext.h"
#include "widgets/ColumnGrid.h"
#include "widgets/EscapeKeeper.h"
#include "widgets/Fonts.h"
#include "widgets/TrendChart.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kLeftColumnWidth = 241;
constexpr int kBottomStripHeight = 79;
const char* const kHeadingStyle = "color: #800000; font-weight: bold;";

QLabel* heading(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QLatin1String(kHeadingStyle));
    return label;
}

QToolButton* flatButton(QWidget* parent, const char* name, const QString& text)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(text);
    button->setAutoRaise(true);
    return button;
}

// A grid of the window: heading row and number column fixed, centred cells.
ColumnGrid* grid(QWidget* parent, const char* name, int rows, int cols)
{
    auto* g = new ColumnGrid(parent);
    g->setObjectName(QLatin1String(name));
    g->setFont(gulimche(9));
    g->setColumnCount(cols);
    g->setRowCount(rows);
    g->setAllAlignment(Qt::AlignCenter);
    return g;
}

QPushButton* pushButton(QWidget* parent, const char* name, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

void TMonitoringF::buildLayout()
{
    setWindowTitle(QStringLiteral("모니터링화면"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setFont(gulim(9));
    setSizeGripEnabled(false);
    keepOpenOnEscape(this);
    resize(1024, 700);
    setWindowState(Qt::WindowMaximized);

    // Left column: the start panel, the channel list and, in its place, the log.
    auto* left = new QWidget(this);
    left->setObjectName(QStringLiteral("PanLeft"));
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(2, 2, 2, 2);
    leftLayout->setSpacing(2);

    auto* top = new QWidget(left);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    bbtStart = new QToolButton(top);
    bbtStart->setObjectName(QStringLiteral("bbtStart"));
    bbtStart->setText(QStringLiteral("Start"));
    bbtStart->setIcon(QIcon(QStringLiteral(":/monitoring.svg")));
    bbtStart->setIconSize(QSize(40, 40));
    bbtStart->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bbtStart->setStyleSheet(QStringLiteral("QToolButton { color: red; font-weight: bold; font-size: 11pt; }"
                                           "QToolButton:disabled { color: #b08080; }"));
    bbtStart->setFixedSize(110, 90);
    topLayout->addWidget(bbtStart);
    auto* stack = new QVBoxLayout;
    butOpen = pushButton(top, "butOpen", QStringLiteral("불러오기"));
    butSetup = pushButton(top, "butSetup", QStringLiteral("통신설정"));
    butExit = pushButton(top, "butExit", QStringLiteral("종료"));
    stack->addWidget(butOpen);
    stack->addWidget(butSetup);
    stack->addWidget(butExit);
    topLayout->addLayout(stack, 1);
    leftLayout->addWidget(top);

    auto* headRow = new QHBoxLayout;
    spbInput = flatButton(left, "spbInput", QStringLiteral("설정"));
    spbInput->setIcon(QIcon(QStringLiteral(":/setup.svg")));
    spbInput->setIconSize(QSize(14, 14));
    spbInput->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Label1 = heading(left, "Label1", QStringLiteral("모니터링 설정값"));
    headRow->addWidget(spbInput);
    headRow->addWidget(Label1, 1);
    leftLayout->addLayout(headRow);

    acGrd1 = grid(left, "acGrd1", 2, channelColumns);
    acGrd1->setWholeRowSelect(true);
    acGrd1->setAccessibleName(QStringLiteral("모니터링 설정값"));
    const struct {
        const char* text;
        int width;
    } columns[] = {{"NO", 30}, {"Color", 42}, {"Addr", 36}, {"Caption", 61},
                   {"Reg", 36}, {"Dot", 27},   {"Max", 40},  {"Min", 40}};
    for (int c = 0; c < colColorValue; ++c) {
        acGrd1->setText(0, c, QLatin1String(columns[c].text));
        acGrd1->setColumnWidth(c, columns[c].width);
    }
    acGrd1->setColumnHidden(colColorValue, true);
    acGrd1->setDrawCell([this](QPainter& p, const QRect& r, int row, int col) {
        return acGrd1DrawCell(p, r, row, col);
    });
    leftLayout->addWidget(acGrd1, 1);

    Memo1 = new QPlainTextEdit(left);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFont(gulimche(9));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setMaximumBlockCount(kTrafficLogLines);
    Memo1->hide();
    leftLayout->addWidget(Memo1, 1);

    // Right: the trend chart.
    iPlot1 = new TrendChart(m_context.regional, this);
    iPlot1->setObjectName(QStringLiteral("iPlot1"));

    cxSplitter1 = new QSplitter(Qt::Horizontal, this);
    cxSplitter1->setObjectName(QStringLiteral("cxSplitter1"));
    cxSplitter1->addWidget(left);
    cxSplitter1->addWidget(iPlot1);
    cxSplitter1->setStretchFactor(0, 0);
    cxSplitter1->setStretchFactor(1, 1);
    cxSplitter1->setSizes({kLeftColumnWidth, 1000});
    cxSplitter1->setChildrenCollapsible(false);

    // Bottom strip: the value table under its heading.
    auto* bottom = new QWidget(this);
    bottom->setFixedHeight(kBottomStripHeight);
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(2, 0, 2, 0);
    bottomLayout->setSpacing(1);
    auto* bottomHead = new QHBoxLayout;
    chbRandom = new QCheckBox(QStringLiteral("Test"), bottom);
    chbRandom->setObjectName(QStringLiteral("chbRandom"));
    spbView = flatButton(bottom, "spbView", QStringLiteral("Memo"));
    Label2 = heading(bottom, "Label2", QStringLiteral("모니터링값"));
    bottomHead->addWidget(chbRandom);
    bottomHead->addWidget(spbView);
    bottomHead->addWidget(Label2, 1);
    labBusBudget = new QLabel(bottom);
    labBusBudget->setObjectName(QStringLiteral("labBusBudget"));
    labBusBudget->setStyleSheet(QStringLiteral("color: red;"));
    labBusBudget->hide();
    bottomHead->addWidget(labBusBudget);
    bottomLayout->addLayout(bottomHead);

    acGrd2 = grid(bottom, "acGrd2", 2, 2);
    acGrd2->setText(0, 0, QStringLiteral("일-시"));
    acGrd2->setAccessibleName(QStringLiteral("모니터링값"));
    acGrd2->setColumnWidth(0, 110);
    acGrd2->setColumnWidth(1, 80);
    acGrd2->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    bottomLayout->addWidget(acGrd2, 1);

    StatusBar1 = new LinkStatusBar(LinkStatusBar::Design::Monitoring, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(cxSplitter1, 1);
    layout->addWidget(bottom);
    layout->addWidget(StatusBar1);

    // Timers and the port, named as the window documents them.
    Timer1 = new IntervalTimer(this, 200);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    tmSampling = new IntervalTimer(this, 1000);
    tmSampling->setObjectName(QStringLiteral("tmSampling"));
    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));

    chbRandom->hide();
    spbView->hide();
    bbtStart->setEnabled(false);

    connect(bbtStart, &QToolButton::clicked, this, &TMonitoringF::bbtStartClick);
    connect(butOpen, &QPushButton::clicked, this, &TMonitoringF::butOpenClick);
    connect(butSetup, &QPushButton::clicked, this, &TMonitoringF::butSetupClick);
    connect(butExit, &QPushButton::clicked, this, &TMonitoringF::close);
    connect(spbInput, &QToolButton::clicked, this, &TMonitoringF::spbInputClick);
    connect(spbView, &QToolButton::clicked, this, &TMonitoringF::spbViewClick);
    connect(Timer1, &IntervalTimer::timeout, this, &TMonitoringF::Timer1Timer);
    connect(tmSampling, &IntervalTimer::timeout, this, &TMonitoringF::tmSamplingTimer);
    connect(ComPort1, &TComPort::OnRxChar, this, &TMonitoringF::ComPort1RxChar);
}
