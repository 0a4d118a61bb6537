#include "monitoring/ValueFormat.h"

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace {

struct Digits {
    bool negative = false;
    std::string whole;    // at least one digit
    std::string fraction;
};

// The shortest decimal text that reads back as the same double.
Digits decimalDigits(double value)
{
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    std::string_view text(buf, std::size_t(res.ptr - buf));
    Digits d;
    if (!text.empty() && text.front() == '-') {
        d.negative = true;
        text.remove_prefix(1);
    }
    const auto point = text.find('.');
    d.whole = std::string(text.substr(0, point));
    if (point != std::string_view::npos)
        d.fraction = std::string(text.substr(point + 1));
    if (d.whole.empty())
        d.whole.push_back('0');
    return d;
}

// Rounds to `decimals` places, half away from zero.
void roundDigits(Digits& d, std::size_t decimals)
{
    if (d.fraction.size() <= decimals)
        return;
    const bool up = d.fraction[decimals] >= '5';
    d.fraction.resize(decimals);
    if (!up)
        return;
    std::string all = d.whole + d.fraction;
    int i = int(all.size()) - 1;
    for (; i >= 0; --i) {
        if (all[i] == '9') {
            all[i] = '0';
        } else {
            ++all[i];
            break;
        }
    }
    if (i < 0)
        all.insert(all.begin(), '1');
    d.whole = all.substr(0, all.size() - decimals);
    d.fraction = all.substr(all.size() - decimals);
}

} // namespace

QString formatValue(double value, ValueFormat format, const Regional& regional)
{
    if (!std::isfinite(value))
        return QString::number(value);
    const std::size_t maxDecimals = format == ValueFormat::Whole ? 0 : 3;
    const std::size_t minDecimals = format == ValueFormat::Decimal ? 1 : 0;

    Digits d = decimalDigits(value);
    roundDigits(d, maxDecimals);
    while (d.fraction.size() > minDecimals && d.fraction.back() == '0')
        d.fraction.pop_back();
    while (d.fraction.size() < minDecimals)
        d.fraction.push_back('0');

    const bool zero = d.whole.find_first_not_of('0') == std::string::npos
        && d.fraction.find_first_not_of('0') == std::string::npos;

    QString out;
    if (d.negative && !zero)
        out += QLatin1Char('-');
    const int n = int(d.whole.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += regional.thousands;
        out += QLatin1Char(d.whole[i]);
    }
    if (!d.fraction.empty()) {
        out += regional.decimal;
        out += QLatin1String(d.fraction.data(), qsizetype(d.fraction.size()));
    }
    return out;
}
