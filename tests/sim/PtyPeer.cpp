#include "tests/sim/PtyPeer.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer(const QString& devicePath)
{
    m_fd = ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return;
    termios t{};
    tcgetattr(m_fd, &t);
    cfmakeraw(&t);
    tcsetattr(m_fd, TCSANOW, &t);
}

PtyPeer::~PtyPeer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void PtyPeer::send(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (m_fd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        if (n > 0)
            done += n;
    }
}

void PtyPeer::readSome(QByteArray& got, int waitMs)
{
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
        char buf[4096];
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
    }
}

QByteArray PtyPeer::receive(SimServer* server, qsizetype count)
{
    QByteArray got;
    QDeadlineTimer limit(10000);
    while (got.size() < count && !limit.hasExpired()) {
        if (server) {
            server->readInput();
            server->writeDue();
        }
        readSome(got, 10);
    }
    return got;
}

QByteArray PtyPeer::drain(SimServer& server)
{
    QByteArray got;
    // Input written to a pseudo-terminal reaches the other side a moment
    // later; a few rounds let it arrive and be answered.
    for (int round = 0; round < 20; ++round) {
        server.readInput();
        server.writeDue();
        readSome(got, 5);
    }
    return got;
}

bool PtyPeer::hungUp()
{
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, 1000) <= 0)
        return false;
    if (p.revents & POLLHUP)
        return true;
    char c;
    return ::read(m_fd, &c, 1) < 0 && errno == EIO;
}
