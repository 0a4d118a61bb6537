#pragma once
#include "settings/Regional.h"

#include <QString>
#include <QStringView>

// How a number cell is shown, as a spreadsheet picks it for typed input.
struct NumberStyle {
    enum class Kind : unsigned char { General, Grouped, Percent, Scientific };
    Kind kind = Kind::General;
    int decimals = 0; // Grouped and Percent: digits typed after the decimal separator

    // The spreadsheet number format code; empty for General.
    [[nodiscard]] QString formatCode() const;
    // A small integer that tells styles apart (for a cache of cell formats).
    [[nodiscard]] int key() const;
    friend bool operator==(const NumberStyle&, const NumberStyle&) = default;
};

// What a spreadsheet makes of a text typed into a cell.
struct CellValue {
    enum class Kind : unsigned char { Blank, Text, Number };
    Kind kind = Kind::Blank;
    double number = 0;
    NumberStyle style;
};

// A typed text read the way a spreadsheet reads it: a number when it is one
// in the user's regional notation (sign or parentheses, digit groups of three
// after the thousands separator, decimal separator, exponent, trailing "%"),
// the empty text blank, anything else text. Texts that a spreadsheet would
// take as formulas, dates or truth values stay text.
[[nodiscard]] CellValue interpretTyped(QStringView text, const Regional& regional);
// The same for an ASCII field, without making a QString of it.
[[nodiscard]] CellValue interpretTyped(const char* text, qsizetype size, const Regional& regional);

// Column letters of a 1-based column number: 1 "A", 26 "Z", 27 "AA", 53 "BA",
// 702 "ZZ", 703 "AAA".
[[nodiscard]] QString columnLetters(int column);
// The bottom-right cell of the bordered area of a sheet with `columns`
// columns and `rows` sample rows below the title and header rows.
[[nodiscard]] QString lastCellReference(int columns, qint64 rows);

// Approximate display width of a text in characters of the sheet's font:
// Hangul and other wide characters count two.
[[nodiscard]] int displayUnits(QStringView text);
