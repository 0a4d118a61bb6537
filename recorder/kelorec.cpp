// kelorec: the monitoring run without a window, for unattended recording.
#include "recorder/Recorder.h"
#include "recorder/RecorderOptions.h"
#include "recorder/ServiceNotifier.h"
#include "settings/SignalPipe.h"

#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cstdio>

namespace {

// One line a change of state, on standard error, which the journal takes.
void logLine(const QString& line)
{
    const QByteArray bytes = (QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char(' ') + line
                              + QLatin1Char('\n'))
                                 .toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelorec"));
    const RecorderArguments args = parseRecorderArguments(app.arguments().mid(1));
    if (args.help) {
        std::fputs(recorderUsage().toUtf8().constData(), stdout);
        return 0;
    }
    if (!args.error.isEmpty()) {
        // Under the service (--conf) the journal gets the one line.
        const QString usage = args.options.confFile.isEmpty() ? QLatin1Char('\n') + recorderUsage() : QString();
        std::fprintf(stderr, "kelorec: %s\n%s", args.error.toUtf8().constData(), usage.toUtf8().constData());
        return 2;
    }

    Recorder recorder(args.options, systemClock(), Regional::system(), logLine);
    if (const QString refusal = recorder.prepare(); !refusal.isEmpty()) {
        std::fprintf(stderr, "kelorec: %s\n", refusal.toUtf8().constData());
        return 2;
    }
    SignalPipe unixSignals({SIGINT, SIGTERM});
    if (!unixSignals.ok()) {
        std::fprintf(stderr, "kelorec: cannot watch for SIGINT and SIGTERM\n");
        return 2;
    }
    ServiceNotifier service(recorder, logLine);
    QObject::connect(&unixSignals, &SignalPipe::caught, &app, [&] {
        service.stopping();
        app.exit(recorder.finish());
    });
    recorder.start();
    service.ready();
    return app.exec();
}
