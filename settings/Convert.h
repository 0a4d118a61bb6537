#pragma once
#include <QString>
#include <optional>

// A signed 32-bit integer written as optional leading blanks, an optional
// sign and decimal digits only; nothing otherwise.
[[nodiscard]] std::optional<int> parseInt32(const QString& text);

// As parseInt32, but throws KeloError "'<text>' is not a valid integer value".
[[nodiscard]] int StrToInt(const QString& text);
