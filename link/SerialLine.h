#pragma once
#include "link/PortSettings.h"

// The Linux side of a serial line, on an open file descriptor: line
// parameters through termios, modem lines, kernel RS-485 mode, draining.
// Functions return 0 or the errno of the failure.
namespace SerialLine {

// Raw binary line with the settings' rate (any rate: non-standard rates go
// through BOTHER), data bits, parity including mark and space, stop bits,
// CRTSCTS for CTS output flow or RTS handshake, IXON/IXOFF with the XON and
// XOFF characters, reads that return at once.
int applyLineSettings(int fd, const TComPortSettings& settings);

// False on devices without modem lines (pseudo-terminals).
[[nodiscard]] bool hasModemLines(int fd);
int setDtr(int fd, bool on);
int setRts(int fd, bool on);

// The driver raises RTS while it sends and drops it after the last bit.
// Returns false when the driver has no RS-485 mode; restore() undoes it.
class Rs485Mode {
public:
    bool enable(int fd);
    void restore(int fd);
    [[nodiscard]] bool active() const { return m_active; }

private:
    bool m_active = false;
    unsigned char m_previous[64] = {};
};

// Waits until every byte written has left the line, at most timeoutMs.
int drainOutput(int fd, int timeoutMs);

} // namespace SerialLine

// Termios2 access kept in its own unit: <asm/termbits.h> clashes with <termios.h>.
int setCustomLineSpeed(int fd, int bitsPerSecond);
