#include "settings/Regional.h"

namespace {
QChar firstChar(const QString& text, QChar fallback)
{
    return text.isEmpty() ? fallback : text.at(0);
}
} // namespace

Regional Regional::fromLocale(const QLocale& locale)
{
    Regional r;
    r.thousands = firstChar(locale.groupSeparator(), QLatin1Char(','));
    r.decimal = firstChar(locale.decimalPoint(), QLatin1Char('.'));
    const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    r.dateSeparator = QLatin1Char('/');
    for (QChar c : shortDate) {
        if (c == QLatin1Char('/') || c == QLatin1Char('-') || c == QLatin1Char('.')) {
            r.dateSeparator = c;
            break;
        }
    }
    for (int m = 1; m <= 12; ++m)
        r.shortMonths << locale.monthName(m, QLocale::ShortFormat);
    return r;
}

Regional Regional::system()
{
    return fromLocale(QLocale::system());
}

Regional Regional::plain()
{
    Regional r;
    r.shortMonths = QStringList{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return r;
}
