// A monitoring run that goes on until it is killed: the real monitoring
// window, offscreen, polls the simulator on a pseudo-terminal with fast poll
// and sampling ticks and records into <folder>/Monitor/run.kmr.
//
//   kelo_record_victim <folder> [sampling-ms] [poll-ms] [channels]
//
// Prints "started" once the record file is made and "sampled <n>" after each
// sampling tick, once the window has handed that tick's line to the file, so
// the killer knows which lines must be there. Every message or error box the
// window raises is printed as "dialog <text>".
#include "monitoring/MonitoringP.h"
#include "settings/FuncP.h"
#include "settings/IntervalTimer.h"
#include "sim/SimServer.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <unistd.h>

namespace {

// Straight to the descriptor: the process may die at any instruction, and a
// stdio buffer would take acknowledged ticks with it.
void say(const QByteArray& text)
{
    const QByteArray line = text + '\n';
    (void)!::write(STDOUT_FILENO, line.constData(), size_t(line.size()));
}

class PrintingDialogs : public ScriptedDialogs {
public:
    int MsgBox(QWidget* owner, const QString& text, const QString& caption, int style) override
    {
        say("dialog " + text.toUtf8().replace('\n', ' '));
        return ScriptedDialogs::MsgBox(owner, text, caption, style);
    }
    void errorBox(QWidget* owner, const QString& text) override
    {
        say("dialog " + text.toUtf8().replace('\n', ' '));
        ScriptedDialogs::errorBox(owner, text);
    }
};

QByteArray channelSet(int channels, const QByteArray& sampling)
{
    QByteArray bytes = "Kill run;" + sampling + "\r\n";
    for (int c = 1; c <= channels; ++c) {
        const QByteArray addr = QByteArray::number(c).rightJustified(2, '0');
        // Alternating decimal places give both value formats in the file.
        bytes += addr + ";Zone " + QByteArray::number(c) + ";0001;" + QByteArray::number(c % 2) + ";1200;-100;255\r\n";
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initKeloResources();
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: kelo_record_victim <folder> [sampling-ms] [poll-ms] [channels]\n");
        return 2;
    }
    const QByteArray sampling = args.size() > 2 ? args[2].toLatin1() : QByteArray("3");
    const QByteArray poll = args.size() > 3 ? args[3].toLatin1() : QByteArray("3");
    const int channels = args.size() > 4 ? args[4].toInt() : 8;

    SetProgramPath(args[1]);
    QDir().mkpath(MonitorDir());

    SimServer::Options options;
    for (int a = 1; a <= channels; ++a)
        options.addresses << a;
    SimServer server(options);
    QString error;
    if (!server.start(&error)) {
        say("dialog simulator: " + error.toUtf8());
        return 1;
    }
    writeBytes(MainIniPath(), "[ComPort1]\r\nPort=" + server.port().devicePath().toUtf8()
                                  + "\r\nBaudRate=115200\r\nParity=None\r\nDataBits=8\r\nStopBits=1\r\n"
                                    "FlowControl=None\r\n[Delay]\r\nTime=" + poll + "\r\n");
    const QString setPath = MonitorDir() + QStringLiteral("/set.khd");
    writeBytes(setPath, channelSet(channels, sampling));

    PrintingDialogs dialogs;
    dialogs.openNames.push_back(setPath);
    dialogs.saveNames.push_back(MonitorDir() + QStringLiteral("/run.kmr"));
    AppContext context{dialogs, systemClock(), Regional::plain()};
    TMonitoringF window(context);
    window.FormShow();
    window.butOpenClick();

    qint64 sampled = 0;
    auto* sampler = window.findChild<IntervalTimer*>(QStringLiteral("tmSampling"));
    // Connected after the window's own handler, so it runs once the line is written.
    QObject::connect(sampler, &IntervalTimer::timeout, [&] { say("sampled " + QByteArray::number(++sampled)); });
    window.bbtStartClick();
    if (window.RecordPath().isEmpty())
        return 1;
    say("started");
    return app.exec();
}
