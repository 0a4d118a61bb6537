#pragma once
#include "sim/SimServer.h"

#include <QByteArray>
#include <QString>

// The program's side of the simulator's pseudo-terminal, for tests: opens the
// device path raw and exchanges bytes with a server running in this process.
// Waiting for bytes turns the server's handlers by hand (read, write what is
// due) between short polls of the line; it gives up after a generous limit so
// a missing reply fails the test instead of hanging it.
class PtyPeer {
public:
    explicit PtyPeer(const QString& devicePath);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    [[nodiscard]] int fd() const { return m_fd; }
    void send(const QByteArray& bytes);
    // Everything until at least `count` bytes have come.
    [[nodiscard]] QByteArray receive(SimServer& server, qsizetype count) { return receive(&server, count); }
    // The same from a simulator in another process.
    [[nodiscard]] QByteArray receive(qsizetype count) { return receive(nullptr, count); }
    // What has come so far, after letting the server work off its input.
    [[nodiscard]] QByteArray drain(SimServer& server);
    // True once the line has hung up (the simulator's side closed).
    [[nodiscard]] bool hungUp();

private:
    QByteArray receive(SimServer* server, qsizetype count);
    void readSome(QByteArray& got, int waitMs);

    int m_fd = -1;
};
