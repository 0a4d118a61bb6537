#include "settings/SignalPipe.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

void onSignal(int sig)
{
    const char c = static_cast<char>(sig);
    [[maybe_unused]] auto n = ::write(g_pipe[1], &c, 1);
}

} // namespace

SignalPipe::SignalPipe(std::initializer_list<int> caughtSignals, QObject* parent) : QObject(parent)
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : caughtSignals)
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char sig = 0;
        while (::read(g_pipe[0], &sig, 1) == 1)
            Q_EMIT caught(sig);
    });
}

SignalPipe::~SignalPipe() = default;
