#include "sim/HeatedPlant.h"

#include <algorithm>

HeatedPlant::HeatedPlant(double ambient) : m_ambient(ambient), m_value(ambient) {}

void HeatedPlant::advance(qint64 nowMs, double target, bool relay)
{
    // A plant left alone for days has long settled: skip the bulk of the gap.
    constexpr qint64 kMaxSteps = 200000;
    if ((nowMs - m_time) / kStepMs > kMaxSteps)
        m_time = nowMs - kMaxSteps * kStepMs;
    while (m_time + kStepMs <= nowMs) {
        step(target, relay);
        m_time += kStepMs;
    }
}

void HeatedPlant::step(double target, bool relay)
{
    if (relay) {
        if (m_value > target + kRelayBand)
            m_relayOn = false;
        else if (m_value < target - kRelayBand)
            m_relayOn = true;
        m_output = m_relayOn ? 1.0 : 0.0;
    } else {
        // Feed-forward of the holding power plus a proportional share: the lag
        // settles on the target from either side without passing it.
        const double hold = (target - m_ambient) / kHeatSpan;
        m_output = std::clamp(hold + (target - m_value) / kBand, 0.0, 1.0);
        m_relayOn = true;
    }
    const double dt = kStepMs / 1000.0;
    m_value += (kHeatSpan * m_output - (m_value - m_ambient)) / kTau * dt;
}
