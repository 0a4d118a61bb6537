#include "monitoring/ChannelSetCheck.h"

#include "settings/Convert.h"
#include "settings/KeloError.h"

namespace {

[[noreturn]] void refuse(const QString& path, const QString& reason)
{
    throw KeloError(QStringLiteral("설정파일을 불러올 수 없습니다.\n%1\n%2").arg(path, reason));
}

// The refused value as the message quotes it: a field of a damaged file can
// be a whole line long, and the operator needs only its beginning.
QString quoted(const QString& text)
{
    constexpr qsizetype kQuoted = 40;
    return text.size() <= kQuoted ? text : text.left(kQuoted) + QStringLiteral("…");
}

void checkWhole(const QString& path, int line, const char* field, const QString& text)
{
    if (!parseInt32(text))
        refuse(path, QStringLiteral("%1번째 줄의 %2 값 '%3'은(는) 정수가 아닙니다.")
                         .arg(line)
                         .arg(QLatin1String(field), quoted(text)));
}

} // namespace

void checkMonitoringChannelSet(const ChannelSet& set, const QString& path)
{
    checkWhole(path, 1, "Sampling", set.Sampling);
    if (set.channels.isEmpty())
        refuse(path, QStringLiteral("채널 줄이 없습니다."));
    if (set.channels.size() > kMaxMonitoredChannels)
        refuse(path, QStringLiteral("채널이 %1개입니다. 모니터링 화면은 %2개까지 불러올 수 있습니다.")
                         .arg(set.channels.size())
                         .arg(kMaxMonitoredChannels));
    // Channel k (from 0) stands on line k + 2, after the title line.
    for (qsizetype k = 0; k < set.channels.size(); ++k) {
        const ChannelDef& c = set.channels[k];
        const int line = int(k) + 2;
        if (c == ChannelDef{})
            refuse(path, QStringLiteral("%1번째 줄이 비어 있습니다.").arg(line));
        checkWhole(path, line, "Dot", c.Dot);
        checkWhole(path, line, "Max", c.Max);
        checkWhole(path, line, "Min", c.Min);
        checkWhole(path, line, "Color", c.Color);
    }
}

ChannelSet readMonitoringChannelSet(const QString& path)
{
    ChannelSet set = readChannelSetFile(path);
    checkMonitoringChannelSet(set, path);
    return set;
}
