#pragma once
#include <QString>

// The simulator's end of the line: the master side of a new pseudo-terminal,
// or a serial device opened raw. With a link path, a symlink there points at
// the device the program should open (the pseudo-terminal's slave side) for as
// long as the port is open.
class SimPort {
public:
    struct Options {
        QString device;   // empty: a new pseudo-terminal
        QString link;     // empty: no symlink
        int baud = 9600;  // for a device only
    };

    explicit SimPort(Options options) : m_options(std::move(options)) {}
    ~SimPort() { close(); }
    SimPort(const SimPort&) = delete;
    SimPort& operator=(const SimPort&) = delete;

    // Opens (again); false with a message in error. The symlink is only ever
    // replaced when it is a symlink: any other file at the link path is kept
    // and the open fails.
    bool open(QString* error);
    // Closes the device and removes the symlink if it still points at it.
    // The other side of a pseudo-terminal then sees the line hang up.
    void close();

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    [[nodiscard]] int fd() const { return m_fd; }
    // The path the program opens: the slave side of the pseudo-terminal, or the device.
    [[nodiscard]] const QString& devicePath() const { return m_devicePath; }
    [[nodiscard]] const Options& options() const { return m_options; }

private:
    bool openPty(QString* error);
    bool openDevice(QString* error);
    bool placeLink(QString* error);

    Options m_options;
    int m_fd = -1;
    int m_heldSlave = -1;
    QString m_devicePath;
};
