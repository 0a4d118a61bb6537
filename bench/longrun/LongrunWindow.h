#pragma once
// The monitoring window in a temporary program directory, pointed at a
// pseudo-terminal served by the controller simulator, with ten channels on
// addresses 1 to 10 sampled every second, a given poll cycle and dialogs
// that answer by themselves. Shared by the long-run programs.
#include "bench/monitoring/BenchWindow.h"
#include "link/ComPort.h"
#include "link/ReplyAssembler.h"
#include "monitoring/ChannelSet.h"
#include "monitoring/MonitoringP.h"
#include "settings/FuncP.h"
#include "settings/IntervalTimer.h"
#include "sim/SimServer.h"
#include "widgets/AppContext.h"
#include "widgets/DialogService.h"
#include "widgets/TrendChart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <sys/resource.h>

using LongrunDialogs = BenchDialogs;

inline ChannelSet longrunChannels()
{
    ChannelSet set = tenChannels();
    set.Title = QStringLiteral("Longrun");
    return set;
}

inline SimServer::Options longrunSimOptions()
{
    SimServer::Options options;
    for (int a = 1; a <= 10; ++a)
        options.addresses << a;
    return options;
}

// The program directory with Main.ini naming devicePath and the poll cycle,
// and the channel set file the open dialog will return.
struct LongrunProgramDir {
    QTemporaryDir dir;
    LongrunDialogs dialogs;

    LongrunProgramDir(const QString& devicePath, int pollMs, int baud)
    {
        SetProgramPath(dir.path());
        QDir().mkpath(MonitorDir());
        QFile ini(MainIniPath());
        if (!ini.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(MainIniPath()));
            std::exit(1);
        }
        ini.write("[ComPort1]\r\nPort=" + devicePath.toUtf8() + "\r\nBaudRate=" + QByteArray::number(baud)
                  + "\r\n[Delay]\r\nTime=" + QByteArray::number(pollMs) + "\r\n");
        ini.close();
        writeChannelSetFile(MonitorDir() + "/longrun.khd", longrunChannels());
        dialogs.openName = MonitorDir() + "/longrun.khd";
        dialogs.saveName = MonitorDir() + "/longrun.kmr";
    }
};

// Opens the window, loads the set and presses Start.
inline std::unique_ptr<TMonitoringF> startMonitoring(AppContext& context)
{
    auto window = std::make_unique<TMonitoringF>(context);
    window->FormShow();
    window->butOpenClick();
    window->bbtStartClick();
    return window;
}

inline qint64 chartPoints(const TMonitoringF& window)
{
    const auto* chart = window.findChild<TrendChart*>("iPlot1");
    qint64 n = 0;
    for (int t = 0; t < chart->traceCount(); ++t)
        n += chart->pointCount(t);
    return n;
}

// A size line of /proc/self/status (VmHWM: the peak resident set), in bytes.
inline std::size_t statusBytes(const char* key)
{
    std::size_t kb = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const std::size_t len = std::strlen(key);
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, key, len) == 0 && line[len] == ':')
                kb = std::strtoull(line + len + 1, nullptr, 10);
        std::fclose(f);
    }
    return kb * 1024;
}
inline std::size_t peakResidentBytes() { return statusBytes("VmHWM"); }

// CPU seconds (user + system) of the process or of the calling thread.
inline double cpuSeconds(int who)
{
    struct rusage u {};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
