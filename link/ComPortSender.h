#pragma once
#include "link/FrameSender.h"

class TComPort;

// The serial port as the engine's line: frames go through the port's
// non-blocking write, so a line that stalls never holds up the timers.
class ComPortSender : public FrameSender {
    Q_OBJECT
public:
    explicit ComPortSender(TComPort& port, QObject* parent = nullptr);
    Result send(const QByteArray& frame) override;

private:
    TComPort& m_port;
    QString m_lostReason;
};
