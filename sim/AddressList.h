#pragma once
#include <QList>
#include <QString>
#include <optional>

// Station numbers written as "1-4,7,10-12" (each 0..99); nothing when the text
// is malformed. The result is sorted and without repeats; the empty text gives
// an empty list.
[[nodiscard]] std::optional<QList<int>> parseAddressList(const QString& text);
