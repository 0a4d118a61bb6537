#include "review/WorkbookCell.h"

#include <charconv>
#include <cmath>
#include <string>

QString NumberStyle::formatCode() const
{
    switch (kind) {
    case Kind::General:
        return {};
    case Kind::Grouped:
        return decimals > 0 ? QStringLiteral("#,##0.") + QString(decimals, QLatin1Char('0'))
                            : QStringLiteral("#,##0");
    case Kind::Percent:
        return decimals > 0 ? QStringLiteral("0.00%") : QStringLiteral("0%");
    case Kind::Scientific:
        return QStringLiteral("0.00E+00");
    }
    return {};
}

int NumberStyle::key() const
{
    switch (kind) {
    case Kind::General: return 0;
    case Kind::Grouped: return 1 + decimals;
    case Kind::Percent: return decimals > 0 ? 101 : 100;
    case Kind::Scientific: return 200;
    }
    return 0;
}

namespace {

constexpr int kMaxFormatDecimals = 30;

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool isSpaceLike(char16_t c)
{
    return c == u' ' || c == 0x00A0 || c == 0x202F;
}

// Reads text[0, n) through `at(i)` (a UTF-16 code unit).
template <typename At>
CellValue interpret(qsizetype n, At at, const Regional& regional)
{
    CellValue result;
    if (n == 0)
        return result;
    result.kind = CellValue::Kind::Text;

    qsizetype b = 0, e = n;
    while (b < e && at(b) == u' ')
        ++b;
    while (e > b && at(e - 1) == u' ')
        --e;
    if (b == e)
        return result;

    const char16_t decimal = regional.decimal.unicode();
    const char16_t thousands = regional.thousands.unicode();
    const bool groupsAllowed = thousands != decimal;
    const bool spaceGroups = isSpaceLike(thousands);
    auto isGroupSeparator = [&](char16_t c) {
        return groupsAllowed && (c == thousands || (spaceGroups && isSpaceLike(c)));
    };

    bool negative = false;
    if (e - b >= 2 && at(b) == u'(' && at(e - 1) == u')') {
        negative = true;
        ++b;
        --e;
    } else if (at(b) == u'+' || at(b) == u'-') {
        negative = at(b) == u'-';
        ++b;
    }
    bool percent = false;
    if (e > b && at(e - 1) == u'%') {
        percent = true;
        --e;
    }

    thread_local std::string plain;
    plain.clear();
    qsizetype i = b;
    int firstGroup = 0, group = 0;
    bool grouped = false;
    for (; i < e; ++i) {
        const char16_t c = at(i);
        if (isDigit(c)) {
            plain.push_back(char(c));
            ++(grouped ? group : firstGroup);
        } else if (isGroupSeparator(c)) {
            if (!grouped ? (firstGroup < 1 || firstGroup > 3) : group != 3)
                return result;
            grouped = true;
            group = 0;
        } else {
            break;
        }
    }
    if (grouped && group != 3)
        return result;
    const qsizetype integerDigits = qsizetype(plain.size());
    int fractionDigits = 0;
    if (i < e && at(i) == decimal) {
        plain.push_back('.');
        for (++i; i < e && isDigit(at(i)); ++i, ++fractionDigits)
            plain.push_back(char(at(i)));
    }
    if (integerDigits + fractionDigits == 0)
        return result;
    bool scientific = false;
    if (i < e && (at(i) == u'e' || at(i) == u'E') && !grouped && !percent) {
        plain.push_back('e');
        ++i;
        if (i < e && (at(i) == u'+' || at(i) == u'-'))
            plain.push_back(char(at(i++)));
        int exponentDigits = 0;
        for (; i < e && isDigit(at(i)); ++i, ++exponentDigits)
            plain.push_back(char(at(i)));
        if (exponentDigits == 0)
            return result;
        scientific = true;
    }
    if (i != e)
        return result;

    double value = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value))
        return result;
    if (negative)
        value = -value;
    if (percent)
        value /= 100;

    result.kind = CellValue::Kind::Number;
    result.number = value;
    if (percent)
        result.style = {NumberStyle::Kind::Percent, fractionDigits > 0 ? 2 : 0};
    else if (scientific)
        result.style = {NumberStyle::Kind::Scientific, 0};
    else if (grouped)
        result.style = {NumberStyle::Kind::Grouped, std::min(fractionDigits, kMaxFormatDecimals)};
    return result;
}

} // namespace

CellValue interpretTyped(QStringView text, const Regional& regional)
{
    return interpret(text.size(), [text](qsizetype i) { return char16_t(text[i].unicode()); }, regional);
}

CellValue interpretTyped(const char* text, qsizetype size, const Regional& regional)
{
    return interpret(size, [text](qsizetype i) { return char16_t(static_cast<unsigned char>(text[i])); },
                     regional);
}

QString columnLetters(int column)
{
    QString letters;
    for (int n = column; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

QString lastCellReference(int columns, qint64 rows)
{
    return columnLetters(columns) + QString::number(rows + 2);
}

int displayUnits(QStringView text)
{
    int units = 0;
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF)
            || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF)
            || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60)
            || (c >= 0xFFE0 && c <= 0xFFE6);
        units += wide ? 2 : 1;
    }
    return units;
}
