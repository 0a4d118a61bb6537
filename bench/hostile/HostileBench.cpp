// Opens every hostile file in every window that reads it and prints how long
// the open handler blocked the window, how long painting took afterwards,
// the viewer's longest read slice, and the process's peak memory.
//
//   kelo_hostile_bench [case-name-filter] [monitoring|editor|viewer]
#include "tests/hostile/HostileFiles.h"

#include "settings/FuncP.h"
#include "tests/support/Files.h"
#include "widgets/Fonts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

// Resident memory now, from /proc (kB).
long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    const QString filter = app.arguments().value(1);
    const QString window = app.arguments().value(2);
    ProgramDir program;
    QDir().mkpath(MonitorDir());
    writeBytes(program.mainIni(), "[ComPort1]\r\nPort=/nonexistent/tty\r\n");

    std::printf("%-44s %-10s %10s %9s %9s %8s %8s %10s %9s\n", "case", "window", "open ms", "paint ms", "slice ms",
                "channels", "samples", "longest", "peak MB");
    for (const HostileCase& c : hostileCases()) {
        if (!filter.isEmpty() && !QString::fromLatin1(c.name).contains(filter))
            continue;
        QTemporaryDir folder;
        const HostilePaths paths = writeHostileFiles(c, folder.path());
        for (Reader r : {Reader::Monitoring, Reader::Editor, Reader::Viewer}) {
            if (!caseConcerns(c, r) || (!window.isEmpty() && window != QLatin1String(readerName(r))))
                continue;
            const OpenOutcome out = openIn(r, paths);
            std::printf("%-44s %-10s %10.1f %9.1f %9.1f %8lld %8lld %10lld %9.0f  %s\n", c.name, readerName(r),
                        out.openMs, out.paintMs, out.longestSliceMs, static_cast<long long>(out.channels),
                        static_cast<long long>(out.samples), static_cast<long long>(out.longestText),
                        double(residentKb()) / 1024.0,
                        out.messages.isEmpty() ? "" : out.messages.first().left(60).toUtf8().replace('\n', ' ').constData());
            std::fflush(stdout);
        }
    }
    return 0;
}
