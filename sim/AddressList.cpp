#include "sim/AddressList.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>

std::optional<QList<int>> parseAddressList(const QString& text)
{
    static const QRegularExpression item(QStringLiteral("^\\s*(\\d{1,2})\\s*(?:-\\s*(\\d{1,2})\\s*)?$"));
    QSet<int> set;
    if (text.trimmed().isEmpty())
        return QList<int>{};
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QRegularExpressionMatch m = item.match(part);
        if (!m.hasMatch())
            return std::nullopt;
        const int from = m.captured(1).toInt();
        const int to = m.captured(2).isEmpty() ? from : m.captured(2).toInt();
        if (to < from)
            return std::nullopt;
        for (int a = from; a <= to; ++a)
            set.insert(a);
    }
    QList<int> list(set.begin(), set.end());
    std::sort(list.begin(), list.end());
    return list;
}
