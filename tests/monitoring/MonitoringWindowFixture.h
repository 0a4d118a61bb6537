#pragma once
// The monitoring window on a pseudo-terminal, with scripted dialogs, a clock
// the test sets and plain regional settings ("," "." "/", English months).
#include "link/ComPort.h"
#include "link/LinkStatusBarP.h"
#include "link/ReplyAssembler.h"
#include "monitoring/MonitoringP.h"
#include "settings/FuncP.h"
#include "settings/IntervalTimer.h"
#include "tests/link/PtyPair.h"
#include "tests/support/EventWait.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"
#include "widgets/ColumnGrid.h"
#include "widgets/TrendChart.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

inline const QByteArray kStx("\x02");

// A three-channel set: addresses 01, 02, 03 at register 0001.
inline QByteArray threeChannelSet(const QByteArray& title = "Line A", const QByteArray& sampling = "1000")
{
    return title + ";" + sampling + "\r\n"
        "01;Zone 1;0001;1;1200;-100;255\r\n"
        "02;Zone 2;0001;0;100;0;65280\r\n"
        "03;Zone 3;0001;1;100;0;16711680\r\n";
}

inline QByteArray reply(const QByteArray& addr, const QByteArray& status, const QByteArray& word = {})
{
    return kStx + addr + "DRS," + status + (word.isEmpty() ? QByteArray() : "," + word) + "\r\n";
}

inline QByteArray request(const QByteArray& addr, const QByteArray& reg = "0001")
{
    return kStx + addr + "DRS,01," + reg + "\r\n";
}

class MonitoringWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        programAssembler(ReceivingWindow::Monitoring) = ReplyAssembler();
        ASSERT_TRUE(QDir().mkpath(MonitorDir()));
        ASSERT_TRUE(line.isOpen());
        portAt(line.slavePath());
    }

    // Main.ini naming the port, with the poll interval and the test switch.
    void portAt(const QString& port, const QByteArray& delay = "200", const QByteArray& temp = {})
    {
        QByteArray ini = "[ComPort1]\r\nPort=" + port.toUtf8() + "\r\nBaudRate=9600\r\nParity=None\r\n"
                         "DataBits=8\r\nStopBits=1\r\nFlowControl=None\r\n[Delay]\r\nTime=" + delay + "\r\n";
        if (!temp.isEmpty())
            ini += "[Temp]\r\nValue=" + temp + "\r\n";
        writeBytes(dir.mainIni(), ini);
    }

    void open()
    {
        window = std::make_unique<TMonitoringF>(context);
        window->resize(1200, 800);
        rx = std::make_unique<QSignalSpy>(port(), &TComPort::OnRxChar);
        window->FormShow();
    }

    // Writes a channel set into Monitor/ and loads it through "불러오기".
    QString load(const QByteArray& bytes, const QString& name = QStringLiteral("set.khd"))
    {
        const QString path = MonitorDir() + QLatin1Char('/') + name;
        writeBytes(path, bytes);
        dialogs.openNames.push_back(path);
        window->butOpenClick();
        return path;
    }

    // Start with the record file name given (relative names go into Monitor/).
    void start(const QString& name = QStringLiteral("run.kmr"))
    {
        dialogs.saveNames.push_back(QDir::isAbsolutePath(name) ? name : MonitorDir() + QLatin1Char('/') + name);
        window->bbtStartClick();
        holdTimers();
    }

    // The running timers keep their state, but their ticks no longer reach
    // the window: the test runs every tick itself, also while it waits for
    // bytes on the line.
    void holdTimers()
    {
        child<IntervalTimer>("Timer1")->blockSignals(true);
        child<IntervalTimer>("tmSampling")->blockSignals(true);
    }

    // One poll tick; returns the bytes it put on the line.
    QByteArray tick()
    {
        window->Timer1Timer();
        return line.readAvailable();
    }

    // The far end answers; returns when the window has handled the bytes
    // (the frame they complete, when they are only its end).
    void answer(const QByteArray& bytes, const QByteArray& frame = {})
    {
        const QByteArray complete = frame.isEmpty() ? bytes : frame;
        const auto before = rx->count();
        line.write(bytes);
        waitFor([&] {
            const ReplyAssembler& a = programAssembler(ReceivingWindow::Monitoring);
            return rx->count() > before && a.RxState() == ReplyAssembler::Idle && a.RxBuf() == complete;
        });
    }

    static bool waitFor(const std::function<bool()>& done) { return waitUntil(done); }

    // Error boxes raised during a run open once the handler has returned.
    static void showPostedBoxes() { QCoreApplication::processEvents(); }

    template <typename T>
    T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    [[nodiscard]] TComPort* port() const { return child<TComPort>("ComPort1"); }
    [[nodiscard]] ColumnGrid* list() const { return child<ColumnGrid>("acGrd1"); }
    [[nodiscard]] ColumnGrid* values() const { return child<ColumnGrid>("acGrd2"); }
    [[nodiscard]] TrendChart* chart() const { return child<TrendChart>("iPlot1"); }
    [[nodiscard]] QToolButton* startButton() const { return child<QToolButton>("bbtStart"); }
    [[nodiscard]] LinkStatusBar* statusBar() const { return child<LinkStatusBar>("StatusBar1"); }
    [[nodiscard]] QString panel(int i) const { return statusBar()->panelText(i); }
    [[nodiscard]] QString value(int channel) const { return values()->text(1, channel); }
    [[nodiscard]] QPlainTextEdit* memo() const { return child<QPlainTextEdit>("Memo1"); }
    [[nodiscard]] QStringList logLines() const
    {
        const QString text = memo()->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }
    // The chart values of a trace, oldest first.
    [[nodiscard]] std::vector<double> points(int trace) const
    {
        std::vector<double> v;
        for (int i = 0; i < chart()->pointCount(trace); ++i)
            v.push_back(chart()->point(trace, i).y());
        return v;
    }
    [[nodiscard]] QString recordPath(const QString& name = QStringLiteral("run.kmr")) const
    {
        return MonitorDir() + QLatin1Char('/') + name;
    }

    ProgramDir dir;
    PtyPair line;
    ScriptedDialogs dialogs;
    QDateTime now{QDate(2024, 1, 5), QTime(14, 30, 22)};
    AppContext context{dialogs, [this] { return now; }, Regional::plain()};
    // The steady clock moves a second at every reading, so a request is
    // always past its time-out at the next tick; a test that holds it still
    // (steadyHeld) moves steadyMs itself.
    qint64 steadyMs = 0;
    bool steadyHeld = false;
    MonitoringWindowTest()
    {
        context.steady = [this] { return steadyHeld ? steadyMs : (steadyMs += 1000); };
    }
    std::unique_ptr<TMonitoringF> window;
    std::unique_ptr<QSignalSpy> rx;
};
