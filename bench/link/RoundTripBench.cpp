#include "link/ComPort.h"
#include "link/FrameProtocol.h"
#include "link/ReplyAssembler.h"
#include "tests/link/PtyPair.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <benchmark/benchmark.h>

namespace {

// The far end: assembles each request with our own frame code and answers it
// with a one-word DRS reply, as a controller would.
class Responder {
public:
    explicit Responder(PtyPair& pty) : m_pty(pty), m_notifier(pty.masterFd(), QSocketNotifier::Read)
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] {
            for (const QByteArray& request : m_assembler.Feed(m_pty.readAvailable()))
                m_pty.write(BuildFrame(FrameContent(request).left(5) + ",OK,0064"));
        });
    }

private:
    PtyPair& m_pty;
    QSocketNotifier m_notifier;
    ReplyAssembler m_assembler;
};

void RequestReplyOverPseudoTerminal(benchmark::State& state)
{
    int argc = 1;
    char name[] = "kelo_link_bench";
    char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance()
                                       ? QCoreApplication::instance()
                                       : new QCoreApplication(argc, argv);
    (void)app;

    PtyPair pty;
    Responder responder(pty);
    TComPort port;
    port.settings().Port = pty.slavePath();
    port.settings().FlowControl.ControlRTS = rtsToggle;
    port.OpenPort();

    ReplyAssembler assembler;
    QEventLoop loop;
    int replies = 0;
    QObject::connect(&port, &TComPort::OnRxChar, [&](QObject*, int count) {
        const QList<QByteArray> frames = assembler.Feed(port.ReadText(count));
        for (const QByteArray& frame : frames)
            if (ReplyOk(frame))
                ++replies;
        if (!frames.isEmpty())
            loop.quit();
    });
    const QByteArray request = BuildRequest("1", "DRS,01,0001");
    for (auto _ : state) {
        port.SendText(request);
        loop.exec();
    }
    if (replies != state.iterations())
        state.SkipWithError("replies lost");
    state.counters["request bytes"] = double(request.size());
}

} // namespace

BENCHMARK(RequestReplyOverPseudoTerminal)->Unit(benchmark::kMicrosecond)->UseRealTime();
