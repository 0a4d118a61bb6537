#pragma once
#include "link/PortSettings.h"

#include <termios.h>

namespace SerialLine {
// The termios a port's settings ask for, starting from the device's current
// one: raw, with data bits, parity, stop bits, flow control and a standard
// speed (a rate without a B constant is set separately through termios2).
[[nodiscard]] termios LineTermios(const termios& current, const TComPortSettings& settings);
} // namespace SerialLine
