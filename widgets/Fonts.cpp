#include "widgets/Fonts.h"

#include <QStringList>

void installFontSubstitutions()
{
    QFont::insertSubstitutions(QStringLiteral("굴림체"),
                               QStringList{QStringLiteral("NanumGothicCoding"), QStringLiteral("NanumGothic")});
    QFont::insertSubstitutions(QStringLiteral("굴림"), QStringList{QStringLiteral("NanumGothic")});
    QFont::insertSubstitutions(QStringLiteral("휴먼옛체"),
                               QStringList{QStringLiteral("NanumMyeongjo"), QStringLiteral("NanumGothic")});
}

QFont gulimche(int points)
{
    return QFont(QStringLiteral("굴림체"), points);
}

QFont gulim(int points)
{
    return QFont(QStringLiteral("굴림"), points);
}
