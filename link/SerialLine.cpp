#include "link/SerialLine.h"
#include "link/LineTermios.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace SerialLine {
namespace {

speed_t standardSpeed(int bps)
{
    switch (bps) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
    }
}

} // namespace

termios LineTermios(const termios& current, const TComPortSettings& s)
{
    termios t = current;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[int(s.DataBits)];
    switch (s.Parity) {
    case prNone: break;
    case prOdd: t.c_cflag |= PARENB | PARODD; break;
    case prEven: t.c_cflag |= PARENB; break;
    case prMark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case prSpace: t.c_cflag |= PARENB | CMSPAR; break;
    }
    // A UART sends 1.5 stop bits for CSTOPB with 5 data bits; with more data
    // bits no UART can, and 2 is the nearest length receivers still accept.
    if (s.StopBits != sbOneStopBit)
        t.c_cflag |= CSTOPB;
    // Linux couples CTS output flow and RTS input flow in one flag.
    if (s.FlowControl.OutCTSFlow || s.FlowControl.ControlRTS == rtsHandshake)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK | IGNBRK | BRKINT);
    if (s.FlowControl.XonXoffOut)
        t.c_iflag |= IXON;
    if (s.FlowControl.XonXoffIn)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = cc_t(s.FlowControl.XonChar);
    t.c_cc[VSTOP] = cc_t(s.FlowControl.XoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t speed = standardSpeed(s.bitsPerSecond());
    if (speed != B0)
        ::cfsetspeed(&t, speed);
    return t;
}

int applyLineSettings(int fd, const TComPortSettings& s)
{
    const int bps = s.bitsPerSecond();
    if (bps <= 0)
        return EINVAL;
    termios current{};
    if (::tcgetattr(fd, &current) != 0)
        return errno;
    const termios t = LineTermios(current, s);
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return errno;
    if (standardSpeed(bps) == B0)
        return setCustomLineSpeed(fd, bps);
    return 0;
}

bool hasModemLines(int fd)
{
    int lines = 0;
    return ::ioctl(fd, TIOCMGET, &lines) == 0;
}

namespace {
int setModemLine(int fd, int line, bool on)
{
    return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0 ? 0 : errno;
}
} // namespace

int setDtr(int fd, bool on) { return setModemLine(fd, TIOCM_DTR, on); }
int setRts(int fd, bool on) { return setModemLine(fd, TIOCM_RTS, on); }

bool Rs485Mode::enable(int fd)
{
    static_assert(sizeof(serial_rs485) <= sizeof(m_previous));
    serial_rs485 rs{};
    if (::ioctl(fd, TIOCGRS485, &rs) != 0)
        return false;
    std::memcpy(m_previous, &rs, sizeof rs);
    rs.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    rs.flags &= ~unsigned(SER_RS485_RTS_AFTER_SEND);
    rs.delay_rts_before_send = 0;
    rs.delay_rts_after_send = 0;
    if (::ioctl(fd, TIOCSRS485, &rs) != 0)
        return false;
    m_active = true;
    return true;
}

void Rs485Mode::restore(int fd)
{
    if (!m_active)
        return;
    serial_rs485 rs{};
    std::memcpy(&rs, m_previous, sizeof rs);
    ::ioctl(fd, TIOCSRS485, &rs);
    m_active = false;
}

int drainOutput(int fd, int timeoutMs)
{
    // tcdrain has no time limit, and flow control can hold the line back for
    // ever; wait for the kernel queue to empty within the write bound first.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int pending = 0;
        if (::ioctl(fd, TIOCOUTQ, &pending) != 0)
            return errno;
        if (pending == 0)
            break;
        if (Clock::now() >= deadline)
            return ETIMEDOUT;
        ::poll(nullptr, 0, 1);
    }
    return ::tcdrain(fd) == 0 ? 0 : errno;
}

} // namespace SerialLine
