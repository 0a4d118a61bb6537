#include "link/ComPortSender.h"

#include "link/ComPort.h"
#include "link/PortErrors.h"
#include "settings/KeloError.h"

ComPortSender::ComPortSender(TComPort& port, QObject* parent) : FrameSender(parent), m_port(port)
{
    connect(&m_port, &TComPort::linkLost, this, [this](const QString& reason) {
        m_lostReason = reason;
        Q_EMIT linkLost(reason);
    });
    connect(&m_port, &TComPort::linkResumed, this, &FrameSender::linkResumed);
    connect(&m_port, &TComPort::receiveStopped, this, &FrameSender::receiveStopped);
}

FrameSender::Result ComPortSender::send(const QByteArray& frame)
{
    try {
        if (m_port.postText(frame) == frame.size())
            return {true, {}, {}};
        if (m_port.LinkLost() && !m_lostReason.isEmpty())
            return {false, m_lostReason, QStringLiteral("the serial device is gone")};
        return {false, PortErrorText(PortFailure::Write),
                m_port.writing() ? QStringLiteral("the port has not sent the last request yet")
                                 : QStringLiteral("the port took no bytes")};
    } catch (const PortError& error) {
        return {false, error.text(),
                m_port.Connected() ? qt_error_string(error.code()) : QStringLiteral("the port is not open")};
    } catch (const KeloError& error) {
        return {false, error.text(), error.text()};
    }
}
