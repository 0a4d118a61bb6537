#pragma once
#include "link/PollDelay.h"
#include "link/PortSettings.h"
#include "monitoring/ChannelSet.h"

#include <QList>

// How long one poll exchange holds the half-duplex line, and the waits that
// follow from it. Only one request is ever out: the next waits until the
// reply is in or the response time-out has passed.

// The wait for a reply before a request counts as unanswered, unless the
// line itself needs longer (see responseTimeoutMs).
inline constexpr int kDefaultResponseTimeoutMs = 500;

// Milliseconds the longest request of the channels and its reply
// ("STX aa DRS,OK,hhhh CR LF") take on the line, rounded up; 0 for none.
[[nodiscard]] int pollExchangeMs(const TComPortSettings& line, const QList<ChannelDef>& channels);

// The response time-out in force: the one asked for, but never less than
// twice the line's exchange time plus 50 ms, so a slow line is not cut off.
[[nodiscard]] int responseTimeoutMs(int asked, int exchangeMs);
