#pragma once
#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringList>

// The user's regional separators and month names, with the fallbacks
// "," "." "/" when the system provides none.
struct Regional {
    QChar thousands = QLatin1Char(',');
    QChar decimal = QLatin1Char('.');
    QChar dateSeparator = QLatin1Char('/');
    QStringList shortMonths; // 12 abbreviated month names, January first

    [[nodiscard]] static Regional fromLocale(const QLocale& locale);
    [[nodiscard]] static Regional system();
    [[nodiscard]] static Regional plain(); // "," "." "/" and English month names
};
