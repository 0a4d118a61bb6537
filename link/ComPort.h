#pragma once
#include "link/PortErrors.h"
#include "link/PortSettings.h"
#include "link/SerialLine.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

// The serial port object each communicating window owns as ComPort1.
//
// Everything runs on the GUI thread: received bytes are announced by
// OnRxChar(Sender, Count) from QSerialPort's readyRead, with Count = bytes
// waiting (at least 1); ReadText returns at once with what is waiting;
// SendText blocks until the bytes have left, at most 1000 ms + 100 ms per byte.
// DTR is held off; RTS follows ControlRTS, and in toggle mode is up only while
// sending. Devices without modem lines (pseudo-terminals) skip those steps.
// postText is the same write without the wait: what the driver cannot take
// at once leaves from the event loop, so a stalled line holds up no timer.
//
// A device that vanishes while open (USB adapter pulled) is reported once by
// linkLost, released, and tried again once a second; linkResumed follows when
// it is back, and notifications flow again. Meanwhile the port still counts
// as Connected (the window holds it open), sends write nothing and return 0,
// reads return nothing.
class TComPort : public QObject {
    Q_OBJECT
public:
    explicit TComPort(QObject* parent = nullptr);
    ~TComPort() override;

    // Stored while the port is closed; they reach the device when it opens.
    [[nodiscard]] TComPortSettings& settings() { return m_settings; }
    [[nodiscard]] const TComPortSettings& settings() const { return m_settings; }

    // Port, BaudRate (and CustomBaudRate for "Custom"), StopBits, DataBits,
    // Parity and the composite FlowControl from the section named after the
    // object (objectName(), "ComPort1" when unnamed). Never writes the file.
    // Throws KeloError "Failed to load settings".
    void LoadPortSettings(const QString& fileName);

    // Opens the device and applies the settings; nothing when Connected.
    // Throws KeloError with a PortErrorText; the port then stays closed.
    void OpenPort();
    // Stops notifications, discards pending transfers, releases the device;
    // nothing when not Connected. The device is released even when the
    // discard fails; that failure is then thrown ("PurgeComm function failed").
    void ClosePort();

    // Writes all bytes and returns the number written (0 for an empty text).
    // Throws "WriteFile function failed" when the port is not open.
    int SendText(const QByteArray& text);
    int SendText(const QString& text);
    // Writes what the driver takes now and sends the rest from the event
    // loop, within the same bound as SendText (what is left then is dropped).
    // Returns the bytes accepted: all of them, or 0 while the frame before
    // is still leaving, after it was cut off at its bound while the line
    // still takes nothing, or while the link is lost. Throws as SendText.
    int postText(const QByteArray& text);
    // A frame given to postText is still leaving.
    [[nodiscard]] bool writing() const { return !m_outbox.isEmpty() || m_rtsHeld; }
    // At most count of the bytes already waiting; never waits for more.
    // Throws "ReadFile function failed" when the port is not open.
    QByteArray ReadText(int count);

    [[nodiscard]] bool Connected() const { return m_connected; }
    // Connected, but the device has vanished; reopening is tried each second.
    [[nodiscard]] bool LinkLost() const { return m_lost; }
    // The device file Port names: itself when it is a path, else under /dev.
    [[nodiscard]] static QString devicePath(const QString& port);
    // Whether the open device has modem lines (false for pseudo-terminals).
    [[nodiscard]] bool hasModemLines() const { return m_modemLines; }
    // Whether RTS toggling runs in the driver's RS-485 mode.
    [[nodiscard]] bool rs485Active() const { return m_rs485.active(); }

    static constexpr int kReopenIntervalMs = 1000;

public slots:
    // One reopen attempt while the link is lost (run by the reopen timer).
    void retryOpen();

signals:
    void OnRxChar(QObject* Sender, int Count);
    // Once per loss, with the failure's text.
    void linkLost(const QString& reason);
    void linkResumed();
    // An error escaped the OnRxChar handler: notifications have stopped until
    // the port is closed and opened again.
    void receiveStopped(const QString& reason);

private:
    void onReadyRead();
    void stopReceiving(const QString& reason);
    void onError(QSerialPort::SerialPortError error);
    void loseDevice();
    // Opens the device file and applies the line; 0 or the errno of the failure.
    int openDevice(PortFailure& failure);
    void releaseDevice();
    [[nodiscard]] int fd() const;
    [[nodiscard]] int writeTimeoutMs(qsizetype bytes) const;
    // 0, or the errno of a failed write.
    int continueWriting();
    void endWriting();

    QByteArray m_outbox;       // the rest of the frame postText could not write at once
    bool m_rtsHeld = false;    // RTS is up until the posted frame has left the wire
    bool m_stalled = false;    // the last posted frame was cut off at its bound
    QDeadlineTimer m_outboxDeadline;
    QTimer m_outboxTimer;

    TComPortSettings m_settings;
    QSerialPort m_serial;
    QTimer m_reopenTimer;
    SerialLine::Rs485Mode m_rs485;
    bool m_connected = false;
    bool m_lost = false;
    bool m_notifying = false;
    bool m_receiveFailed = false;
    bool m_modemLines = false;
    bool m_manualRtsToggle = false;
    int m_lastErrno = 0;
};
