#pragma once

// Register numbers of a simulated controller (decimal, as written in frames).
namespace SimReg {
inline constexpr int Pv = 1;        // process value, read-only
inline constexpr int Mv = 2;        // heater output in tenths of a percent, read-only
inline constexpr int Zone = 102;    // zone PID on (1) / off (0)
inline constexpr int Sv1 = 301;     // set value the plant is held at
inline constexpr int Sv2 = 302;
inline constexpr int Sv3 = 303;
inline constexpr int Tune = 306;    // 1..4 starts tuning (4 = auto), reads 0 once it ends
inline constexpr int AtMode = 310;  // 0 standard, 1 low
inline constexpr int Dot = 614;     // decimal places of the set values
inline constexpr int Last = 9999;   // register numbers are four decimal digits
} // namespace SimReg

// First register of PID set 1..3: P, I, D, MR, Pc, Ic, Dc, DB follow one by one
// and RP sits at the set's next tens (0320, 0330).
[[nodiscard]] constexpr int pidSetBase(int set) { return 301 + 10 * set; }
