#include "widgets/Fonts.h"

#include <QStringList>

// The Nanum fonts first (the look the windows were laid out with), then the
// other Korean fonts the package accepts in their place: Noto CJK and the
// Un fonts. Without any of them every caption would be drawn as boxes.
void installFontSubstitutions()
{
    QFont::insertSubstitutions(QStringLiteral("굴림체"),
                               QStringList{QStringLiteral("NanumGothicCoding"), QStringLiteral("NanumGothic"),
                                           QStringLiteral("Noto Sans Mono CJK KR"), QStringLiteral("UnDotum")});
    QFont::insertSubstitutions(QStringLiteral("굴림"),
                               QStringList{QStringLiteral("NanumGothic"), QStringLiteral("Noto Sans CJK KR"),
                                           QStringLiteral("UnDotum")});
    QFont::insertSubstitutions(QStringLiteral("휴먼옛체"),
                               QStringList{QStringLiteral("NanumMyeongjo"), QStringLiteral("NanumGothic"),
                                           QStringLiteral("Noto Serif CJK KR"), QStringLiteral("UnBatang")});
}

QFont gulimche(int points)
{
    return QFont(QStringLiteral("굴림체"), points);
}

QFont gulim(int points)
{
    return QFont(QStringLiteral("굴림"), points);
}
