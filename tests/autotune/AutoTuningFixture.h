#pragma once
// The auto-tuning window on a pseudo-terminal with scripted dialogs. The
// test is the far end of the line, or the simulator is.
#include "autotune/AutoP.h"
#include "link/ComPort.h"
#include "link/ReplyAssembler.h"
#include "settings/FuncP.h"
#include "settings/IntervalTimer.h"
#include "settings/KeloError.h"
#include "tests/link/PtyPair.h"
#include "tests/support/EventWait.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"
#include "widgets/ColumnGrid.h"
#include "widgets/LampSwitch.h"
#include "widgets/RadioGroup.h"
#include "widgets/SpinEdit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

inline const QByteArray kReadBody =
    "DRR,32,0102,0614,0301,0302,0303,0310,0311,0312,0313,0314,0315,0316,0317,0318,0320,"
    "0321,0322,0323,0324,0325,0326,0327,0328,0330,0331,0332,0333,0334,0335,0336,0337,0614";

// The frame the window puts on the line for an address and a body.
inline QByteArray frame(const QByteArray& addr, const QByteArray& body)
{
    return "\x02" + addr + body + "\r\n";
}

// A reply of the addressed controller: command, status and data words.
inline QByteArray replyFrame(const QByteArray& command, const QByteArray& status,
                             const QList<QByteArray>& words = {}, const QByteArray& addr = "01")
{
    QByteArray f = "\x02" + addr + command + "," + status;
    for (const QByteArray& w : words)
        f += "," + w;
    return f + "\r\n";
}

class AutoTuningTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        programAssembler(ReceivingWindow::AutoTuning) = ReplyAssembler();
        TAutoF::AtStep = 0;
        TAutoF::TxStr.clear();
        ASSERT_TRUE(line.isOpen());
        portAt(line.slavePath());
    }

    void portAt(const QString& port)
    {
        writeBytes(dir.mainIni(), "[ComPort1]\r\nPort=" + port.toUtf8() +
                                      "\r\nBaudRate=9600\r\nParity=None\r\nDataBits=8\r\nStopBits=1\r\n"
                                      "FlowControl=None\r\n");
    }

    // Opens the window as the operator does. With held timers the test runs
    // every tick itself.
    void open(bool holdTimers = true)
    {
        window = std::make_unique<TAutoF>(context);
        rx = std::make_unique<QSignalSpy>(child<TComPort>("ComPort1"), &TComPort::OnRxChar);
        window->show();
        if (holdTimers) {
            child<IntervalTimer>("tmBat")->blockSignals(true);
            child<IntervalTimer>("tmSend")->blockSignals(true);
        }
    }

    // The far end answers; returns when the window has taken the frame.
    void answer(const QByteArray& bytes)
    {
        const auto before = rx->count();
        line.write(bytes);
        waitFor([&] {
            const ReplyAssembler& a = programAssembler(ReceivingWindow::AutoTuning);
            return rx->count() > before && a.RxState() == ReplyAssembler::Idle && a.RxBuf() == bytes;
        });
    }

    static bool waitFor(const std::function<bool()>& done, int guardMs = 10000)
    {
        return waitUntil(done, guardMs);
    }

    template <typename T>
    T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    [[nodiscard]] QString panel(const char* name) const { return child<QLabel>(name)->text(); }
    [[nodiscard]] ColumnGrid* grid() const { return child<ColumnGrid>("sg1"); }
    [[nodiscard]] LampSwitch* startSwitch() const { return child<LampSwitch>("ledButStart"); }
    [[nodiscard]] QPushButton* readButton() const { return child<QPushButton>("spbRead"); }
    [[nodiscard]] bool messageShown() const { return !child<QLabel>("PanMessage")->isHidden(); }
    [[nodiscard]] bool tmBatOn() const { return child<IntervalTimer>("tmBat")->isEnabled(); }
    [[nodiscard]] bool tmSendOn() const { return child<IntervalTimer>("tmSend")->isEnabled(); }
    void select(int item) const { child<RadioGroup>("rdgSel")->item(item)->click(); }
    void address(int a) const { child<SpinEdit>("avSEdtAdr")->setValue(a); }
    // The operator clicks the switch: the lamp toggles, then the handler runs.
    void clickSwitch() const { startSwitch()->click(); }

    ProgramDir dir;
    PtyPair line;
    ScriptedDialogs dialogs;
    AppContext context{dialogs, [] { return QDateTime(QDate(2024, 1, 5), QTime(14, 30, 22)); }, Regional::plain()};
    std::unique_ptr<TAutoF> window;
    std::unique_ptr<QSignalSpy> rx;
};
