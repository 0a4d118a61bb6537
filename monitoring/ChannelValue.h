#pragma once
#include "monitoring/ChannelSet.h"
#include "settings/Regional.h"

#include <QString>
#include <optional>

// What one data word of a reply means for a channel: the text of its value
// cell and its chart point, a percentage of Max + |Min|.
struct ChannelValue {
    double value = 0;
    QString cellText;
    std::optional<double> percent; // none when Max + |Min| is 0 or Max/Min are not whole numbers
};

// The divisor of a channel's raw value: 10 to the power Dot for a Dot of 1
// or more, otherwise 1 (also when Dot is not a whole number).
[[nodiscard]] double dotDivisor(const QString& dot);

// Decodes a reply word (four upper-case hexadecimal digits) for the channel;
// nothing when the word holds another character.
[[nodiscard]] std::optional<ChannelValue> decodeChannelWord(const QString& word, const ChannelDef& channel,
                                                            const Regional& regional);

// v as a percentage of the channel's Max + |Min|.
[[nodiscard]] std::optional<double> chartPercent(double value, const ChannelDef& channel);
