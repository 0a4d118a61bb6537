#include "settings/Regional.h"

#include "settings/AnsiText.h"

namespace {
QChar firstChar(const QString& text, QChar fallback)
{
    return text.isEmpty() ? fallback : text.at(0);
}

// Record files are code page 949: a separator it cannot hold (the no-break
// spaces of many European locales, the Arabic separators) is written as the
// nearest one it can, so the file, the value table and the viewer agree.
QChar writableSeparator(QChar c, QChar fallback)
{
    if (representableInAnsi(QString(c)))
        return c;
    return c.isSpace() ? QLatin1Char(' ') : fallback;
}
} // namespace

Regional Regional::fromLocale(const QLocale& locale)
{
    Regional r;
    r.decimal = writableSeparator(firstChar(locale.decimalPoint(), QLatin1Char('.')), QLatin1Char('.'));
    r.thousands = writableSeparator(firstChar(locale.groupSeparator(), QLatin1Char(',')),
                                    r.decimal == QLatin1Char(',') ? QLatin1Char('.') : QLatin1Char(','));
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
