// The workbook's reading of typed cell texts, column letters and widths.
//
// Input: byte 0 picks the regional separators (from those locales use) and
// the mode; the rest is the text (UTF-16 in mode 0, Latin-1 in mode 1) or, in
// mode 2, a double and digits to format.
//
// Checked: the UTF-16 and the byte path agree; numbers are finite and their
// styles well-formed; any finite double written out in the regional notation
// (plain, grouped, signed, in parentheses, as a percentage, with exponent)
// reads back as exactly that number with the matching style; column letters
// decode to their column; widths count one or two units per character.
#include "fuzz/FuzzInput.h"
#include "review/WorkbookCell.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

using Kind = CellValue::Kind;
using Style = NumberStyle::Kind;

Regional regionalFor(uint8_t pick)
{
    static const char16_t kThousands[] = {u',', u'.', u' ', 0x00A0, 0x202F, u'\'', 0x066C, u','};
    static const char16_t kDecimal[] = {u'.', u',', 0x066B, u'.'};
    Regional r = Regional::plain();
    r.thousands = QChar(kThousands[pick & 7]);
    r.decimal = QChar(kDecimal[(pick >> 3) & 3]);
    return r;
}

void checkWellFormed(const CellValue& v)
{
    if (v.kind != Kind::Number)
        return;
    FUZZ_CHECK(std::isfinite(v.number), "numbers are finite");
    switch (v.style.kind) {
    case Style::General:
    case Style::Scientific:
        FUZZ_CHECK(v.style.decimals == 0, "no decimals in general or scientific style");
        break;
    case Style::Grouped:
        FUZZ_CHECK(v.style.decimals >= 0 && v.style.decimals <= 30, "grouped decimals bounded");
        break;
    case Style::Percent:
        FUZZ_CHECK(v.style.decimals == 0 || v.style.decimals == 2, "percent decimals 0 or 2");
        break;
    }
    const QString code = v.style.formatCode();
    FUZZ_CHECK(code.isEmpty() == (v.style.kind == Style::General), "a format code for every style but general");
}

bool same(const CellValue& a, const CellValue& b)
{
    return a.kind == b.kind && (a.kind != Kind::Number || (std::memcmp(&a.number, &b.number, sizeof(double)) == 0
                                                            && a.style == b.style));
}

CellValue readBothWays(const QString& text, const Regional& regional)
{
    const CellValue wide = interpretTyped(text, regional);
    checkWellFormed(wide);
    bool latin = true;
    for (QChar c : text)
        latin = latin && c.unicode() < 256;
    if (latin) {
        const QByteArray bytes = text.toLatin1();
        FUZZ_CHECK(same(wide, interpretTyped(bytes.constData(), bytes.size(), regional)),
                   "UTF-16 and byte paths agree");
    }
    return wide;
}

// `digits` in groups of three from the right, joined by the separator.
QString grouped(const QString& digits, QChar separator)
{
    QString out;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out += digits[i];
    }
    return out;
}

void checkFormatted(double d, uint8_t how, const Regional& regional)
{
    if (!std::isfinite(d))
        return;
    const double magnitude = std::fabs(d);
    const bool negative = std::signbit(d) && d != 0;
    const bool canGroup = regional.thousands != regional.decimal;
    QString written; // in C notation: digits, ".", "e"
    Style style = Style::General;
    int decimals = 0;
    bool groupDigits = false;
    switch (how % 3) {
    case 0: // shortest exact form, with an exponent where it needs one
        written = QString::number(magnitude, 'g', 17);
        if (written.contains(u'e'))
            style = Style::Scientific;
        break;
    case 1: // grouped integer part with a few decimals
        if (magnitude >= 1e15)
            return;
        decimals = (how >> 2) % 4;
        written = QString::number(magnitude, 'f', decimals);
        groupDigits = canGroup;
        break;
    default: // a percentage
        if (magnitude >= 1e15)
            return;
        decimals = (how >> 2) % 2 ? 2 : 0;
        written = QString::number(magnitude, 'f', decimals);
        style = Style::Percent;
        break;
    }
    double expected = written.toDouble();
    if (style == Style::Percent)
        expected /= 100;

    const qsizetype dot = written.indexOf(u'.');
    QString integer = dot < 0 ? written : written.left(dot);
    const QString rest = dot < 0 ? QString() : regional.decimal + written.mid(dot + 1);
    if (groupDigits && integer.size() > 3) {
        integer = grouped(integer, regional.thousands);
        style = Style::Grouped;
    } else if (style != Style::Percent) {
        decimals = 0;
    }
    QString body = integer + rest;
    if (style == Style::Percent)
        body += u'%';
    QString text = body;
    if (negative)
        text = (how & 0x40) ? u'(' + body + u')' : u'-' + body;
    else if (how & 0x80)
        text = u'+' + body;

    const CellValue v = readBothWays(text, regional);
    FUZZ_CHECK(v.kind == Kind::Number, "a written number reads as a number");
    FUZZ_CHECK(v.number == (negative ? -expected : expected), "a written number reads back exactly");
    FUZZ_CHECK(v.style.kind == style, "the style follows the notation");
    FUZZ_CHECK(v.style.decimals == decimals, "decimals as typed");
}

int lettersToColumn(const QString& letters)
{
    int n = 0;
    for (QChar c : letters) {
        FUZZ_CHECK(c >= u'A' && c <= u'Z', "column letters are A-Z");
        n = n * 26 + (c.unicode() - u'A' + 1);
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const Regional regional = regionalFor(data[0]);
    const int mode = (data[0] >> 5) % 3;
    const uint8_t* p = data + 1;
    const size_t n = size - 1;

    QString text;
    if (mode == 0) {
        text = QString(qsizetype(n / 2), Qt::Uninitialized);
        std::memcpy(text.data(), p, (n / 2) * 2);
    } else
        text = QString::fromLatin1(reinterpret_cast<const char*>(p), qsizetype(n));
    readBothWays(text, regional);

    const int units = displayUnits(text);
    FUZZ_CHECK(units >= text.size() && units <= 2 * text.size(), "one or two units per character");

    if (mode == 2 && n >= 9) {
        double d;
        std::memcpy(&d, p, sizeof d);
        checkFormatted(d, p[8], regional);
    }

    if (n >= 4) {
        int32_t column;
        std::memcpy(&column, p, sizeof column);
        column = int32_t(uint32_t(column) % 2000000u);
        const QString letters = columnLetters(column);
        FUZZ_CHECK(column <= 0 ? letters.isEmpty() : lettersToColumn(letters) == column, "letters decode to the column");
        const qint64 rows = qint64(uint32_t(column)) * 1000;
        FUZZ_CHECK(lastCellReference(column, rows) == letters + QString::number(rows + 2), "last cell reference");
    }
    return 0;
}
