#pragma once
#include <QSet>

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
};
