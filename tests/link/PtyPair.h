#pragma once
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// A pseudo-terminal pair for tests: the code under test opens the slave by
// its path like a serial device; the test reads and writes the master side,
// which is the line as the far end sees it.
class PtyPair {
public:
    // Opens a new pair; the slave starts raw (no echo) so nothing written
    // before the port under test opens is echoed back.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    [[nodiscard]] bool isOpen() const { return m_master >= 0; }
    [[nodiscard]] const QString& slavePath() const { return m_slavePath; }
    [[nodiscard]] int masterFd() const { return m_master; }

    // Bytes to the port under test.
    void write(const QByteArray& bytes) const;
    // Whatever the port under test has sent so far, without waiting.
    [[nodiscard]] QByteArray readAvailable() const;
    // Exactly n bytes sent by the port under test, or fewer when they do not
    // come within timeoutMs (a generous guard, not a measurement).
    [[nodiscard]] QByteArray read(qsizetype n, int timeoutMs = 5000) const;

    // The far end goes away: the slave sees a hang-up, like a pulled adapter.
    void closeMaster();

    // The line settings as the device sees them. A Linux pseudo-terminal
    // forces CS8 and clears PARENB whatever is asked, so data bits and
    // "parity on" cannot be seen here; the kind of parity (PARODD, CMSPAR)
    // and everything else can.
    struct Line {
        int speed = 0;           // bits per second
        bool parOdd = false;
        bool cmSpar = false;     // mark or space parity
        int stopBits = 1;        // 1 or 2 (CSTOPB)
        bool crtscts = false;
        bool ixon = false;
        bool ixoff = false;
        int xonChar = 0;
        int xoffChar = 0;
        bool raw = false;        // no canonical mode, echo or signal characters
    };
    [[nodiscard]] Line line() const;

    // Whether any descriptor of this process has the slave open.
    [[nodiscard]] bool slaveHeldByThisProcess() const;

private:
    int m_master = -1;
    QString m_slavePath;
};

// A device at a fixed path (a symbolic link to a pseudo-terminal) that can
// vanish and come back as a new pseudo-terminal at the same path, like a USB
// adapter pulled and plugged in again.
class VanishingDevice {
public:
    VanishingDevice();
    [[nodiscard]] const QString& path() const { return m_path; }
    // The far end of the device as it is now.
    [[nodiscard]] PtyPair& pty() { return *m_pty; }
    // Gone like a pulled adapter: its device node goes too, so a new
    // pseudo-terminal that reuses the old number is never mistaken for it.
    void vanish();
    void comeBack();

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<PtyPair> m_pty;
};

// The line speed from the kernel's termios2 (speeds without a B constant too).
[[nodiscard]] int lineSpeedOf(int fd);
