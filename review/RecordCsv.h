#pragma once
#include "review/SampleTable.h"

#include <QByteArray>
#include <QIODevice>

// The samples of rows [first, end) as CSV that other tools read without
// settings: UTF-8 (with a byte-order mark, so spreadsheets take it as UTF-8),
// CR LF line ends, a header line "Date/Time" and the channels' captions,
// then per row the time stamp in ISO 8601 (2024-01-05T14:30:23, local time)
// and each channel's value with "." as the decimal point and no grouping.
// A field that does not read as a number (or a stamp that does not read as a
// time) is left empty. Returns false when the device refuses the bytes.
bool writeRecordCsv(QIODevice& out, const SampleTable& table, qint64 first, qint64 end, const Regional& regional);

// One CSV field: quoted when it holds a comma, a quote or a line end.
[[nodiscard]] QByteArray csvField(const QString& text);
