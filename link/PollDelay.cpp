#include "link/PollDelay.h"

#include "settings/Convert.h"
#include "settings/IniFile.h"

std::optional<int> parsePollDelay(const QString& text)
{
    const std::optional<int> ms = parseInt32(text);
    if (!ms || *ms <= 0 || *ms > kMaxPollDelayMs)
        return std::nullopt;
    return ms;
}

PollDelaySetting readPollDelay(const QString& iniPath)
{
    const QString text = IniFile(iniPath).read(QStringLiteral("Delay"), QStringLiteral("Time"));
    return {text, text.isEmpty() ? std::optional<int>(kDefaultPollDelayMs) : parsePollDelay(text)};
}
