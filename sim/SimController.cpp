#include "sim/SimController.h"

#include "sim/SimFaults.h"
#include "sim/SimRegisters.h"

#include <algorithm>
#include <cmath>

namespace {

qint16 clampWord(double v)
{
    return static_cast<qint16>(std::clamp(std::lround(v), -32768L, 32767L));
}

// P, I, D, MR, Pc, Ic, Dc, DB, RP of a PID set as a controller leaves the factory.
constexpr int kFactoryPid[9] = {50, 240, 60, 0, 50, 240, 60, 5, 0};

} // namespace

SimController::SimController(int address, qint64 nowMs, qint64 tuningMs)
    : m_address(address), m_tuningMs(tuningMs)
{
    m_plant.setTime(nowMs);
    // Each address gets its own set values so several zones are told apart.
    const int sv = 2000 + 500 * ((address - 1) % 5);
    m_regs[SimReg::Zone] = 1;
    m_regs[SimReg::Dot] = 1;
    m_regs[SimReg::Sv1] = static_cast<qint16>(sv);
    m_regs[SimReg::Sv2] = static_cast<qint16>(sv + 100);
    m_regs[SimReg::Sv3] = static_cast<qint16>(sv + 200);
    m_regs[SimReg::Tune] = 0;
    m_regs[SimReg::AtMode] = 0;
    for (int set = 1; set <= 3; ++set) {
        for (int i = 0; i < 8; ++i)
            m_regs[pidSetBase(set) + i] = static_cast<qint16>(kFactoryPid[i]);
        m_regs[pidSetBase(set) + 9] = static_cast<qint16>(kFactoryPid[8]);
    }
}

void SimController::advance(qint64 nowMs)
{
    if (m_tuningEnd && *m_tuningEnd <= nowMs) {
        m_plant.advance(*m_tuningEnd, target(), true);
        finishTuning();
    }
    m_plant.advance(nowMs, target(), m_tuningEnd.has_value());
}

void SimController::finishTuning()
{
    // The run leaves new parameters in the set it tuned (all three for auto),
    // so reading the settings afterwards shows that something happened.
    const int command = m_regs.value(SimReg::Tune);
    ++m_tunings;
    for (int set = 1; set <= 3; ++set) {
        if (command != 4 && command != set)
            continue;
        const int base = pidSetBase(set);
        m_regs[base] = static_cast<qint16>(30 + 3 * set + m_tunings % 7);            // P
        m_regs[base + 1] = static_cast<qint16>(180 + 20 * set + m_address % 10);     // I
        m_regs[base + 2] = static_cast<qint16>(45 + 5 * set);                          // D
    }
    m_regs[SimReg::Tune] = 0;
    m_tuningEnd.reset();
}

qint16 SimController::read(int reg, qint64 nowMs)
{
    advance(nowMs);
    if (reg == SimReg::Pv && m_ramp && m_ramp->addresses.contains(m_address))
        return clampWord(m_ramp->valueAt(nowMs - m_rampStart));
    if (reg == SimReg::Pv)
        return clampWord(m_plant.value());
    if (reg == SimReg::Mv)
        return clampWord(m_plant.output() * 1000.0);
    return m_regs.value(reg, 0);
}

bool SimController::accepts(int reg, qint16 value) const
{
    switch (reg) {
    case SimReg::Pv:
    case SimReg::Mv:
        return false;
    case SimReg::Tune:
        return (value >= 0 && value <= 3) || (value == 4 && m_regs.value(SimReg::Zone) != 0);
    case SimReg::Dot:
        return value >= 0 && value <= 3;
    case SimReg::Zone:
    case SimReg::AtMode:
        return value == 0 || value == 1;
    default:
        return reg >= 0 && reg <= SimReg::Last;
    }
}

bool SimController::write(int reg, qint16 value, qint64 nowMs)
{
    if (!accepts(reg, value))
        return false;
    advance(nowMs);
    m_regs[reg] = value;
    if (reg == SimReg::Tune) {
        if (value == 0)
            m_tuningEnd.reset();
        else
            m_tuningEnd = nowMs + m_tuningMs;
    }
    return true;
}
