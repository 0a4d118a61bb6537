#pragma once
// The monitoring window against the simulator on a pseudo-terminal, in a
// temporary program directory, with dialogs that answer by themselves.
#include "link/ComPort.h"
#include "link/ReplyAssembler.h"
#include "monitoring/ChannelSet.h"
#include "monitoring/MonitoringP.h"
#include "settings/FuncP.h"
#include "settings/IntervalTimer.h"
#include "sim/SimServer.h"
#include "widgets/AppContext.h"
#include "widgets/DialogService.h"
#include "widgets/Fonts.h"
#include "widgets/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>
#include <cstdlib>
#include <memory>

class BenchDialogs : public DialogService {
public:
    QString openName;
    QString saveName;
    int errors = 0;
    int MsgBox(QWidget*, const QString& text, const QString&, int) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return MsgResult::Yes;
    }
    QString openFileName(QWidget*, const FileDialogRequest&) override { return openName; }
    QString saveFileName(QWidget*, const FileDialogRequest&) override { return saveName; }
    std::optional<int> color(QWidget*, int) override { return std::nullopt; }
    void errorBox(QWidget*, const QString& text) override
    {
        ++errors;
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
};

// Ten channels on addresses 1 to 10, register 0001, sampled every second.
inline ChannelSet tenChannels()
{
    ChannelSet set{QStringLiteral("Bench"), QStringLiteral("1000"), {}};
    for (int a = 1; a <= 10; ++a)
        set.channels.append({PadLeft(QString::number(a), QStringLiteral("0"), 2), QStringLiteral("CH%1").arg(a),
                             QStringLiteral("0001"), QStringLiteral("1"), QStringLiteral("1200"),
                             QStringLiteral("0"), QString::number(0x3355FF * a & 0xFFFFFF)});
    return set;
}

struct BenchWindow {
    QTemporaryDir dir;
    BenchDialogs dialogs;
    QDateTime now{QDate(2024, 1, 5), QTime(0, 0)};
    AppContext context{dialogs, [this] { return now; }, Regional::plain()};
    std::unique_ptr<SimServer> sim;
    std::unique_ptr<TMonitoringF> window;
    long long rxCount = 0; // receive notifications handled

    explicit BenchWindow(bool fakeClock)
    {
        if (!fakeClock)
            context.clock = systemClock();
        SetProgramPath(dir.path());
        QDir().mkpath(MonitorDir());
        SimServer::Options options;
        for (int a = 1; a <= 10; ++a)
            options.addresses << a;
        sim = std::make_unique<SimServer>(options);
        QString error;
        if (!sim->start(&error)) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
            std::exit(1);
        }
        QFile ini(MainIniPath());
        ini.open(QIODevice::WriteOnly);
        ini.write("[ComPort1]\r\nPort=" + sim->port().devicePath().toUtf8()
                  + "\r\nBaudRate=115200\r\n[Delay]\r\nTime=200\r\n");
        ini.close();
        writeChannelSetFile(MonitorDir() + "/bench.khd", tenChannels());
        dialogs.openName = MonitorDir() + "/bench.khd";
        dialogs.saveName = MonitorDir() + "/bench.kmr";

        window = std::make_unique<TMonitoringF>(context);
        QObject::connect(window->findChild<TComPort*>("ComPort1"), &TComPort::OnRxChar, [this] { ++rxCount; });
        window->FormShow();
        window->butOpenClick();
        window->bbtStartClick();
    }

    IntervalTimer* timer(const char* name) const { return window->findChild<IntervalTimer*>(name); }

    // One poll tick, and the simulator's reply handled by the window.
    void pollOnce()
    {
        const auto before = rxCount;
        window->Timer1Timer();
        const ReplyAssembler& a = programAssembler(ReceivingWindow::Monitoring);
        for (int spins = 0; spins < 100000; ++spins) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (rxCount > before && a.RxState() == ReplyAssembler::Idle)
                return;
        }
        std::fprintf(stderr, "no reply\n");
    }
};

// Heap bytes in use and the resident set, in bytes.
inline std::size_t residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return std::size_t(resident) * 4096;
}

// Heap bytes in use, the large blocks malloc maps by themselves included.
inline std::size_t heapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}
