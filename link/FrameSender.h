#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

// What the monitoring engine needs of a line: one way to put a frame on it,
// and the line's state changes. The serial port is one (ComPortSender); a
// test's scripted line is another, so the engine's rules are tested without
// a device.
class FrameSender : public QObject {
    Q_OBJECT
public:
    struct Result {
        bool sent = false;
        QString failure; // the port's own text when not sent
        QString cause;   // the same, said plainly
    };

    using QObject::QObject;
    // Hands the frame to the line without waiting for it to leave.
    virtual Result send(const QByteArray& frame) = 0;

Q_SIGNALS:
    // The device vanished; `reason` is the port's text.
    void linkLost(const QString& reason);
    void linkResumed();
    // Received bytes are no longer announced until the port is opened again.
    void receiveStopped(const QString& reason);
};
