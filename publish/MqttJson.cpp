#include "publish/MqttJson.h"

#include <charconv>
#include <cmath>

void appendJsonString(QByteArray& json, const QString& text)
{
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    json += '"';
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (u < 0x20) {
            json += "\\u00";
            json += hex[u >> 4];
            json += hex[u & 0xF];
        } else {
            json += c;
        }
    }
    json += '"';
}

void appendJsonNumber(QByteArray& json, double value)
{
    if (!std::isfinite(value)) {
        json += "null";
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    json.append(buffer, result.ptr - buffer);
}

QString isoTimeWithOffset(const QDateTime& time)
{
    // A local time prints without its offset; fix the offset it has at that moment.
    const QDateTime fixed = time.toOffsetFromUtc(time.offsetFromUtc());
    return fixed.toString(Qt::ISODateWithMs);
}
