// kelorec: the monitoring run without a window, for unattended recording.
#include "recorder/Recorder.h"
#include "recorder/RecorderOptions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int sig)
{
    const char c = static_cast<char>(sig);
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
}

bool catchSignals()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM})
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

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
        std::fprintf(stderr, "kelorec: %s\n\n%s", args.error.toUtf8().constData(), recorderUsage().toUtf8().constData());
        return 2;
    }

    Recorder recorder(args.options, systemClock(), Regional::system(), logLine);
    if (const QString refusal = recorder.prepare(); !refusal.isEmpty()) {
        std::fprintf(stderr, "kelorec: %s\n", refusal.toUtf8().constData());
        return 2;
    }
    if (!catchSignals()) {
        std::fprintf(stderr, "kelorec: cannot watch for SIGINT and SIGTERM\n");
        return 2;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char c;
        while (::read(g_signalPipe[0], &c, 1) == 1) {
        }
        app.exit(recorder.finish());
    });
    if (const QString failure = recorder.start(); !failure.isEmpty()) {
        std::fprintf(stderr, "kelorec: %s\n", failure.toUtf8().constData());
        return 2;
    }
    return app.exec();
}
