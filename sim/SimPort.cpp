#include "sim/SimPort.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString sysError(const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

speed_t speedOf(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
    }
}

void makeRaw(int fd, int baud)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, speedOf(baud));
    cfsetospeed(&t, speedOf(baud));
    tcsetattr(fd, TCSANOW, &t);
}

} // namespace

bool SimPort::open(QString* error)
{
    close();
    const bool ok = m_options.device.isEmpty() ? openPty(error) : openDevice(error);
    if (ok && !m_options.link.isEmpty() && !placeLink(error)) {
        close();
        return false;
    }
    return ok;
}

bool SimPort::openPty(QString* error)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        *error = sysError(QStringLiteral("cannot open a pseudo-terminal"));
        return false;
    }
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        *error = sysError(QStringLiteral("cannot set up the pseudo-terminal"));
        ::close(master);
        return false;
    }
    // Holding the slave side open ourselves keeps the master from seeing a
    // hang-up (and polling as readable forever) whenever the program closes it.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        *error = sysError(QStringLiteral("cannot open %1").arg(QString::fromLocal8Bit(name)));
        ::close(master);
        return false;
    }
    makeRaw(slave, 9600);
    m_fd = master;
    m_heldSlave = slave;
    m_devicePath = QString::fromLocal8Bit(name);
    return true;
}

bool SimPort::openDevice(QString* error)
{
    const QByteArray path = QFile::encodeName(m_options.device);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = sysError(QStringLiteral("cannot open %1").arg(m_options.device));
        return false;
    }
    makeRaw(fd, m_options.baud);
    m_fd = fd;
    m_devicePath = m_options.device;
    return true;
}

bool SimPort::placeLink(QString* error)
{
    const QString link = m_options.link;
    const QFileInfo info(link);
    if (info.exists() && !info.isSymLink()) {
        *error = QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(link);
        return false;
    }
    // A new symlink beside the old one, renamed over it: a reader never
    // finds the path missing or half made.
    const QByteArray tmp = QFile::encodeName(link + QStringLiteral(".new"));
    ::unlink(tmp.constData());
    if (::symlink(QFile::encodeName(m_devicePath).constData(), tmp.constData()) != 0
        || ::rename(tmp.constData(), QFile::encodeName(link).constData()) != 0) {
        *error = sysError(QStringLiteral("cannot make the link %1").arg(link));
        ::unlink(tmp.constData());
        return false;
    }
    return true;
}

void SimPort::close()
{
    if (m_fd < 0)
        return;
    if (!m_options.link.isEmpty()) {
        const QFileInfo info(m_options.link);
        if (info.isSymLink() && info.symLinkTarget() == QFileInfo(m_devicePath).absoluteFilePath())
            ::unlink(QFile::encodeName(m_options.link).constData());
    }
    if (m_heldSlave >= 0)
        ::close(m_heldSlave);
    ::close(m_fd);
    m_heldSlave = -1;
    m_fd = -1;
}
