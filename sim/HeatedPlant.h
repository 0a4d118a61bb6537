#pragma once
#include <QtGlobal>

// A furnace zone heated by its controller: a first-order thermal lag with a
// heater whose power the controller sets. Values are in register units (tenths
// of a degree with one decimal place). Time advances in fixed steps, so the
// process value does not depend on how often it is read.
class HeatedPlant {
public:
    static constexpr qint64 kStepMs = 100;

    explicit HeatedPlant(double ambient = 250.0);

    // Runs the plant from its last moment to nowMs towards target. While
    // relay is true the heater switches full on / off around the target
    // (the limit cycle an auto-tuning run drives); otherwise it holds the
    // target with proportional control and never overshoots.
    void advance(qint64 nowMs, double target, bool relay);

    [[nodiscard]] double value() const { return m_value; }
    [[nodiscard]] double output() const { return m_output; }   // heater power 0..1
    // Half-width of the relay's switching band around the target.
    [[nodiscard]] static double relayBand() { return kRelayBand; }
    // Where the clock starts; the first advance runs from here.
    void setTime(qint64 nowMs) { m_time = nowMs; }

private:
    static constexpr double kTau = 600.0;        // seconds of the thermal lag
    static constexpr double kHeatSpan = 15000.0; // rise at full power in steady state
    static constexpr double kBand = 450.0;       // proportional band
    static constexpr double kRelayBand = 20.0;

    void step(double target, bool relay);

    double m_ambient;
    double m_value;
    double m_output = 0.0;
    bool m_relayOn = true;
    qint64 m_time = 0;
};
