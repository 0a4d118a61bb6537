#pragma once
#include "settings/Regional.h"

#include <QString>

// The number formats of the value cells, with the regional separators:
//   Whole    "#,##0"      1234 -> 1,234
//   Decimal  "#,##0.0##"  -1 -> -1.0, 0.1234 -> 0.123
//   Plain    "#,##0.###"  42 -> 42
// Rounding works on the value's shortest decimal text, half away from zero,
// so 1.2345 shows 1.235 although its binary double lies just below.
enum class ValueFormat { Whole, Decimal, Plain };

[[nodiscard]] QString formatValue(double value, ValueFormat format, const Regional& regional);
