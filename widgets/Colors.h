#pragma once
#include <QColor>

// Colours are stored as R + 256·G + 65536·B (red in the low byte).
[[nodiscard]] inline QColor colorFromValue(int value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}
[[nodiscard]] inline int colorValue(const QColor& c)
{
    return c.red() + 256 * c.green() + 65536 * c.blue();
}

// The pale cyan of fixed grid cells (red 190, green 252, blue 248).
inline constexpr int kFixedCellColor = 16317630;
