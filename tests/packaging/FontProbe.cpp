// Lays out Korean captions of the windows in the program's fonts (굴림체, 굴림,
// 휴먼옛체, through its substitutions) and prints which installed font drew
// each. Exit status 1 when a character has no glyph and would be drawn as a
// box. packaging/check-clean-root.sh runs it in a fresh root with each Korean
// font the package accepts.
#include "widgets/Fonts.h"

#include <QGlyphRun>
#include <QGuiApplication>
#include <QRawFont>
#include <QTextLayout>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    installFontSubstitutions();
    const QString text = QStringLiteral("모니터링 데이터조회 통신설정 정말 종료하시겠습니까? 통신 불량 0123");
    const std::pair<QString, QFont> fonts[] = {
        {QStringLiteral("굴림체"), gulimche()},
        {QStringLiteral("굴림"), gulim()},
        {QStringLiteral("휴먼옛체"), QFont(QStringLiteral("휴먼옛체"), 9)},
    };
    int boxes = 0;
    for (const auto& [name, font] : fonts) {
        QTextLayout layout(text, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        QStringList drawnWith;
        for (const QGlyphRun& run : layout.glyphRuns()) {
            drawnWith << run.rawFont().familyName();
            for (const quint32 glyph : run.glyphIndexes())
                boxes += glyph == 0 ? 1 : 0;
        }
        std::printf("%s: %s\n", name.toUtf8().constData(), drawnWith.join(QStringLiteral(", ")).toUtf8().constData());
    }
    if (boxes > 0)
        std::printf("%d characters have no glyph: drawn as boxes\n", boxes);
    return boxes > 0 ? 1 : 0;
}
