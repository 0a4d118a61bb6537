#include "link/ComPort.h"

#include "settings/AnsiText.h"
#include "settings/Convert.h"
#include "settings/IniFile.h"
#include "settings/KeloError.h"

#include <QDeadlineTimer>
#include <QFile>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The errno of a failed open. QSerialPort keeps only its own error kind,
// and errno by then may tell of something else (its lock file, for one).
int openErrorCode(QSerialPort::SerialPortError error, const QString& path)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return ENOENT;
    case QSerialPort::PermissionError:
        // Refused although we may use the device: another program holds it.
        return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0 ? EBUSY : EACCES;
    case QSerialPort::OpenError:
        return EBUSY;
    default:
        return EIO;
    }
}

// A purge that fails because the device has just gone is no failure of the close.
bool deviceGone(int code)
{
    return code == EIO || code == ENXIO || code == ENODEV;
}

} // namespace

TComPort::TComPort(QObject* parent) : QObject(parent)
{
    m_reopenTimer.setInterval(kReopenIntervalMs);
    connect(&m_reopenTimer, &QTimer::timeout, this, &TComPort::retryOpen);
    // A stalled write is looked at again every couple of milliseconds; it
    // only runs while a posted frame is still leaving.
    m_outboxTimer.setInterval(2);
    // A write failure seen here is met again, and reported, by the next frame.
    connect(&m_outboxTimer, &QTimer::timeout, this, [this] { (void)continueWriting(); });
    connect(&m_serial, &QSerialPort::readyRead, this, &TComPort::onReadyRead);
    connect(&m_serial, &QSerialPort::errorOccurred, this, &TComPort::onError);
}

TComPort::~TComPort()
{
    try {
        ClosePort();
    } catch (...) {
        // The device is released either way; nobody is left to tell.
    }
}

void TComPort::LoadPortSettings(const QString& fileName)
{
    try {
        const IniFile ini(fileName);
        const QString section = objectName().isEmpty() ? QStringLiteral("ComPort1") : objectName();
        const auto read = [&](const QString& key, const QString& fallback) {
            const QString value = ini.read(section, key);
            return value.isEmpty() ? fallback : value;
        };
        TComPortSettings& s = m_settings;
        s.Port = read(QStringLiteral("Port"), s.Port);
        s.BaudRate = StrToBaudRate(read(QStringLiteral("BaudRate"), BaudRateToStr(s.BaudRate)));
        if (s.BaudRate == brCustom)
            s.CustomBaudRate = parseCustomBaudRate(ini.read(section, QStringLiteral("CustomBaudRate")));
        s.StopBits = StrToStopBits(read(QStringLiteral("StopBits"), StopBitsToStr(s.StopBits)));
        s.DataBits = StrToDataBits(read(QStringLiteral("DataBits"), DataBitsToStr(s.DataBits)));
        s.Parity = StrToParity(read(QStringLiteral("Parity"), ParityToStr(s.Parity)));
        s.FlowControl.setComposite(StrToFlowControl(
            read(QStringLiteral("FlowControl"), FlowControlToStr(s.FlowControl.composite()))));
    } catch (...) {
        throw KeloError(PortErrorText(PortFailure::LoadSettings));
    }
}

QString TComPort::devicePath(const QString& port)
{
    if (port.contains(QLatin1Char('/')))
        return port;
    return QStringLiteral("/dev/") + port;
}

int TComPort::fd() const
{
    return int(m_serial.handle());
}

int TComPort::openDevice(PortFailure& failure)
{
    m_serial.setPortName(devicePath(m_settings.Port));
    if (!m_serial.open(QIODevice::ReadWrite)) {
        failure = PortFailure::Open;
        const int code = openErrorCode(m_serial.error(), devicePath(m_settings.Port));
        m_serial.clearError();
        return code;
    }
    // Linux sizes its own driver queues; only a size no driver can have is refused.
    if (m_settings.Buffer.InputSize <= 0 || m_settings.Buffer.OutputSize <= 0) {
        releaseDevice();
        failure = PortFailure::Setup;
        return EINVAL;
    }
    const int f = fd();
    if (const int code = SerialLine::applyLineSettings(f, m_settings)) {
        releaseDevice();
        failure = PortFailure::CommState;
        return code;
    }
    // Time-outs: reads never wait (the descriptor is non-blocking) and writes
    // are bounded in SendText, so there is nothing for the driver to refuse.
    m_modemLines = SerialLine::hasModemLines(f);
    m_manualRtsToggle = false;
    if (m_modemLines) {
        SerialLine::setDtr(f, false);
        switch (m_settings.FlowControl.ControlRTS) {
        case rtsDisable:
            SerialLine::setRts(f, false);
            break;
        case rtsHandshake:
            break; // the driver drives RTS for input flow (CRTSCTS)
        case rtsToggle:
            if (!m_rs485.enable(f)) {
                SerialLine::setRts(f, false);
                m_manualRtsToggle = true;
            }
            break;
        }
    }
    m_notifying = (m_settings.Events & evRxChar) != 0;
    m_receiveFailed = false;
    return 0;
}

void TComPort::releaseDevice()
{
    m_outboxTimer.stop();
    m_outbox.clear();
    m_rtsHeld = false;
    m_stalled = false;
    if (m_serial.isOpen()) {
        m_rs485.restore(fd());
        m_serial.close();
    }
    m_serial.clearError();
    m_modemLines = false;
    m_manualRtsToggle = false;
}

void TComPort::OpenPort()
{
    if (m_connected)
        return;
    PortFailure failure = PortFailure::Open;
    if (const int code = openDevice(failure))
        RaisePortError(failure, code);
    m_connected = true;
    m_lost = false;
}

void TComPort::ClosePort()
{
    if (!m_connected)
        return;
    m_reopenTimer.stop();
    m_notifying = false;
    int purgeError = 0;
    if (m_serial.isOpen()) {
        m_lastErrno = 0;
        if (!m_serial.clear(QSerialPort::AllDirections))
            purgeError = m_lastErrno != 0 ? m_lastErrno : EIO;
    }
    releaseDevice();
    m_connected = false;
    m_lost = false;
    if (purgeError != 0 && !deviceGone(purgeError))
        RaisePortError(PortFailure::Purge, purgeError);
}

int TComPort::writeTimeoutMs(qsizetype bytes) const
{
    const TComTimeouts& t = m_settings.Timeouts;
    if (t.WriteTotalConstant == 0 && t.WriteTotalMultiplier == 0)
        return -1; // no bound asked for
    const qint64 ms = qint64(t.WriteTotalConstant) + qint64(t.WriteTotalMultiplier) * bytes;
    return int(qMin<qint64>(ms, INT_MAX));
}

int TComPort::SendText(const QByteArray& text)
{
    if (text.isEmpty())
        return 0;
    if (!m_connected)
        RaisePortError(PortFailure::Write, EBADF);
    if (m_lost)
        return 0; // the loss has been reported; nothing can reach the line
    const int f = fd();
    const int timeout = writeTimeoutMs(text.size());
    const QDeadlineTimer deadline = timeout < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                : QDeadlineTimer(timeout);
    if (m_manualRtsToggle)
        SerialLine::setRts(f, true);
    // Written straight to the descriptor rather than through QSerialPort's
    // buffer: what the bound cuts off is then simply not sent, and the count
    // returned is what the driver took.
    qsizetype written = 0;
    int failure = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(f, text.constData() + written, size_t(text.size() - written));
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            failure = errno;
            break;
        }
        if (deadline.hasExpired())
            break;
        pollfd ready{f, POLLOUT, 0};
        const qint64 left = deadline.isForever() ? -1 : qMax<qint64>(1, deadline.remainingTime());
        ::poll(&ready, 1, int(qMin<qint64>(left, INT_MAX)));
    }
    if (m_manualRtsToggle) {
        // RTS must stay up until the last stop bit has left the wire, not just
        // the driver's queue, or the line's transmitter enable cuts it off.
        if (failure == 0)
            SerialLine::drainOutput(f, deadline.isForever() ? INT_MAX
                                                            : int(qBound<qint64>(0, deadline.remainingTime(), qint64(INT_MAX))));
        SerialLine::setRts(f, false);
    }
    if (failure != 0) {
        if (!deviceGone(failure))
            RaisePortError(PortFailure::Write, failure);
        onError(QSerialPort::WriteError);
    }
    return int(written);
}

int TComPort::postText(const QByteArray& text)
{
    if (text.isEmpty())
        return 0;
    if (!m_connected)
        RaisePortError(PortFailure::Write, EBADF);
    if (m_lost || writing())
        return 0;
    const int timeout = writeTimeoutMs(text.size());
    m_outboxDeadline = timeout < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeout);
    if (m_manualRtsToggle) {
        SerialLine::setRts(fd(), true);
        m_rtsHeld = true;
    }
    m_outbox = text;
    const int failure = continueWriting();
    if (failure != 0 && !deviceGone(failure))
        RaisePortError(PortFailure::Write, failure);
    if (m_stalled && m_outbox.size() == text.size()) {
        // The frame before was cut off at its bound and the line still takes
        // nothing: refused, so the stall is one failure, not one per frame.
        endWriting();
        return 0;
    }
    m_stalled = false;
    return failure == 0 && !m_lost ? int(text.size()) : 0;
}

int TComPort::continueWriting()
{
    if (!m_serial.isOpen()) {
        endWriting();
        return 0;
    }
    const int f = fd();
    while (!m_outbox.isEmpty()) {
        const ssize_t n = ::write(f, m_outbox.constData(), size_t(m_outbox.size()));
        if (n > 0) {
            m_outbox.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            const int failure = errno;
            endWriting();
            if (deviceGone(failure))
                onError(QSerialPort::WriteError);
            return failure;
        }
        break; // the driver's queue is full
    }
    if (m_outboxDeadline.hasExpired()) {
        // Past the write bound: what did not leave is dropped, as SendText cuts it off.
        ::tcflush(f, TCOFLUSH);
        endWriting();
        m_stalled = true;
        return 0;
    }
    if (!m_outbox.isEmpty() || m_rtsHeld) {
        // RTS must stay up until the last stop bit has left the wire.
        if (m_outbox.isEmpty()) {
            int pending = 0;
            if (::ioctl(f, TIOCOUTQ, &pending) != 0 || pending == 0) {
                (void)SerialLine::drainOutput(f, 0);
                endWriting();
                return 0;
            }
        }
        if (!m_outboxTimer.isActive())
            m_outboxTimer.start();
        return 0;
    }
    endWriting();
    return 0;
}

void TComPort::endWriting()
{
    m_outboxTimer.stop();
    m_outbox.clear();
    if (m_rtsHeld && m_serial.isOpen())
        SerialLine::setRts(fd(), false);
    m_rtsHeld = false;
}

int TComPort::SendText(const QString& text)
{
    return SendText(toAnsi(text));
}

QByteArray TComPort::ReadText(int count)
{
    if (!m_connected)
        RaisePortError(PortFailure::Read, EBADF);
    if (m_lost || count <= 0)
        return {};
    return m_serial.read(count);
}

void TComPort::onReadyRead()
{
    if (m_receiveFailed) {
        m_serial.readAll(); // nobody will read them until the port reopens
        return;
    }
    if (!m_notifying || m_lost)
        return;
    const qint64 waiting = m_serial.bytesAvailable();
    if (waiting < 1)
        return;
    try {
        emit OnRxChar(this, int(qMin<qint64>(waiting, INT_MAX)));
    } catch (const KeloError& error) {
        stopReceiving(error.text());
    } catch (const std::exception& error) {
        stopReceiving(QString::fromLocal8Bit(error.what()));
    }
}

void TComPort::stopReceiving(const QString& reason)
{
    m_notifying = false;
    m_receiveFailed = true;
    emit receiveStopped(reason);
}

void TComPort::onError(QSerialPort::SerialPortError error)
{
    const int code = errno;
    if (error == QSerialPort::NoError)
        return;
    m_lastErrno = code;
    // A pulled adapter reports ResourceError; a pseudo-terminal whose far end
    // closed reports ReadError (EIO) on every notification. Either way the
    // device is gone, and every further notification raises the error again.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError
                      || error == QSerialPort::WriteError;
    if (gone && m_connected && !m_lost) {
        // Act on the first error only, and close outside QSerialPort's own
        // notification.
        m_lost = true;
        QMetaObject::invokeMethod(this, &TComPort::loseDevice, Qt::QueuedConnection);
    }
}

void TComPort::loseDevice()
{
    if (!m_connected || !m_lost)
        return;
    releaseDevice();
    m_reopenTimer.start();
    emit linkLost(PortErrorText(PortFailure::Read, EIO));
}

void TComPort::retryOpen()
{
    if (!m_connected || !m_lost) {
        m_reopenTimer.stop();
        return;
    }
    if (m_serial.isOpen())
        return; // the loss is still being handled
    PortFailure failure = PortFailure::Open;
    if (openDevice(failure) != 0)
        return;
    m_lost = false;
    m_reopenTimer.stop();
    emit linkResumed();
}
