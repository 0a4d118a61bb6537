#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>

// Small JSON writers for the published payloads: one message per channel per
// sample makes these the hot path, so they append to one buffer instead of
// building QJsonDocuments.

// text as a JSON string (UTF-8, with quotes and escapes).
void appendJsonString(QByteArray& json, const QString& text);
// A number in its shortest exact form; null for NaN and infinities.
void appendJsonNumber(QByteArray& json, double value);
// ISO 8601 with milliseconds and the UTC offset: 2024-05-02T14:03:00.000+09:00
[[nodiscard]] QString isoTimeWithOffset(const QDateTime& time);
