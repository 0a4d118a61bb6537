#pragma once
#include "sim/HeatedPlant.h"
#include "sim/SimRegisters.h"

#include <QList>
#include <QMap>
#include <optional>

// One simulated temperature controller: its register map, the heated plant
// behind its process value, and its auto-tuning run. Time is passed in as
// milliseconds of a monotonic clock.
struct SimRamp;

class SimController {
public:
    static constexpr qint64 kDefaultTuningMs = 5000;

    SimController(int address, qint64 nowMs, qint64 tuningMs = kDefaultTuningMs);

    [[nodiscard]] int address() const { return m_address; }

    // The register's value at nowMs (any register 0000-9999; unset ones read 0).
    [[nodiscard]] qint16 read(int reg, qint64 nowMs);
    // Whether the register takes the value: PV and MV are read-only, the tuning
    // command takes 0..4 (4 only with zone PID on), Dot 0..3, Zone and AT mode 0/1.
    [[nodiscard]] bool accepts(int reg, qint16 value) const;
    // Writes a value that accepts() allows; false (and nothing changed) otherwise.
    bool write(int reg, qint16 value, qint64 nowMs);

    // The process value follows ramp (while its addresses hold this one),
    // timed from startMs; the ramp is read at every request, so it may change.
    void setRamp(const SimRamp* ramp, qint64 startMs)
    {
        m_ramp = ramp;
        m_rampStart = startMs;
    }

    // Registers named by DMS, read back by DMC.
    QList<int> monitorSet;

private:
    void advance(qint64 nowMs);
    void finishTuning();
    [[nodiscard]] double target() const { return m_regs.value(SimReg::Sv1); }

    int m_address;
    qint64 m_tuningMs;
    QMap<int, qint16> m_regs;
    HeatedPlant m_plant;
    std::optional<qint64> m_tuningEnd;
    int m_tunings = 0;
    const SimRamp* m_ramp = nullptr;
    qint64 m_rampStart = 0;
};
