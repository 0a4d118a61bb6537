#include "monitoring/PollTiming.h"

#include "link/FrameProtocol.h"
#include "settings/AnsiText.h"

#include <algorithm>
#include <cmath>

namespace {

// STX, two address digits, "DRS,OK,", four hex digits, CR LF.
constexpr int kReadReplyBytes = 16;

} // namespace

int pollExchangeMs(const TComPortSettings& line, const QList<ChannelDef>& channels)
{
    int longest = 0;
    for (const ChannelDef& c : channels)
        longest = std::max(longest, int(BuildFrame(toAnsi(c.Addr + QStringLiteral("DRS,01,") + c.Reg)).size()));
    if (longest == 0)
        return 0;
    return int(std::ceil(line.exchangeMillis(longest, kReadReplyBytes)));
}

int responseTimeoutMs(int asked, int exchangeMs)
{
    return std::max(asked, 2 * exchangeMs + 50);
}
