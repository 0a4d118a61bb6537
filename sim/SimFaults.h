#pragma once
#include <QSet>
#include <QString>
#include <optional>

// A zone driven over its band: the process value of the listed addresses
// leaves the plant and follows a ramp from `from` up (or down) to `to` at
// perSecond register units a second, holds there holdMs, and ramps back to
// `from`, where it stays. Time runs from afterMs after the server started.
// Values are in register units (tenths of a degree with Dot 1).
struct SimRamp {
    QSet<int> addresses; // none: every plant follows its heater
    int from = 0;
    int to = 0;
    int perSecond = 0;   // 0: jumps
    int holdMs = 0;
    int afterMs = 0;

    // The process value sinceStartMs after the server started.
    [[nodiscard]] double valueAt(qint64 sinceStartMs) const;
};

// "1-2:250:600:100:5000[:after]" (addresses:from:to:per-second:hold-ms[:after-ms]),
// or none when the text is not that.
[[nodiscard]] std::optional<SimRamp> parseSimRamp(const QString& text);

// Switches that make the simulated line misbehave the way real lines do.
// Counters run over the replies the controllers give (silent addresses give
// none): "every n-th" with n = 1 hits every reply, 0 never.
struct SimFaults {
    int replyDelayMs = 0;   // every reply waits this long before it goes out
    QSet<int> silent;       // addresses that never answer
    int refuseEvery = 0;    // the reply says "NG" instead of answering
    int garbageEvery = 0;   // noise and a broken-off frame start go out before the reply
    int splitEvery = 0;     // the reply goes out in pieces, splitGapMs apart
    int splitPieces = 3;
    int splitGapMs = 40;
    int joinEvery = 0;      // the reply is held back and goes out in one write with the next
    int lateEvery = 0;      // the reply goes out lateByMs later: a slow controller, whose
    int lateByMs = 300;     // answer comes after the next request and its reply
    int vanishEveryMs = 0;  // the port disappears after this much service (0: never) ...
    int vanishForMs = 3000; // ... and comes back at the same link this much later
    int wireBaud = 0;       // replies keep a real line's pace at this speed: each waits for the
                            // request's and its own bytes at 10 bits a byte (0: at once)
    SimRamp ramp;           // process values driven over a limit and back
};
