#include "tests/link/PtyPair.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    termios t{};
    ::tcgetattr(m_master, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(m_master, TCSANOW, &t);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    closeMaster();
}

void PtyPair::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PtyPair::write(const QByteArray& bytes) const
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 1000);
        } else if (n < 0 && errno != EINTR) {
            throw std::runtime_error("pseudo-terminal write failed");
        }
    }
}

QByteArray PtyPair::readAvailable() const
{
    QByteArray all;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            break;
        all.append(buf, n);
    }
    return all;
}

QByteArray PtyPair::read(qsizetype n, int timeoutMs) const
{
    QByteArray all;
    while (all.size() < n) {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN))
            break;
        char buf[4096];
        const ssize_t got = ::read(m_master, buf, size_t(qMin<qsizetype>(n - all.size(), sizeof buf)));
        if (got <= 0)
            break;
        all.append(buf, got);
    }
    return all;
}

PtyPair::Line PtyPair::line() const
{
    // On Linux the master's termios calls reach the slave's settings.
    termios t{};
    ::tcgetattr(m_master, &t);
    Line line;
    line.speed = lineSpeedOf(m_master);
    line.parOdd = t.c_cflag & PARODD;
    line.cmSpar = t.c_cflag & CMSPAR;
    line.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    line.crtscts = t.c_cflag & CRTSCTS;
    line.ixon = t.c_iflag & IXON;
    line.ixoff = t.c_iflag & IXOFF;
    line.xonChar = t.c_cc[VSTART];
    line.xoffChar = t.c_cc[VSTOP];
    line.raw = !(t.c_lflag & (ICANON | ECHO | ISIG)) && !(t.c_oflag & OPOST);
    return line;
}

bool PtyPair::slaveHeldByThisProcess() const
{
    const QFileInfo slave(m_slavePath);
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& entry : fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
        if (entry.symLinkTarget() == slave.absoluteFilePath())
            return true;
    return false;
}

namespace {

void pointLink(const QString& link, const QString& target)
{
    const QString temp = link + QStringLiteral(".new");
    QFile::remove(temp);
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(temp).constData()) != 0
        || ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(link).constData()) != 0)
        throw std::runtime_error("cannot point the link");
}

} // namespace

VanishingDevice::VanishingDevice()
    : m_path(m_dir.filePath(QStringLiteral("ttyKELO"))), m_pty(std::make_unique<PtyPair>())
{
    pointLink(m_path, m_pty->slavePath());
}

void VanishingDevice::vanish()
{
    m_pty->closeMaster();
    QFile::remove(m_path);
}

void VanishingDevice::comeBack()
{
    auto next = std::make_unique<PtyPair>();
    pointLink(m_path, next->slavePath());
    m_pty = std::move(next);
}
