#include "widgets/Fonts.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <gtest/gtest.h>

// Every test program runs headless with one application object.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    initKeloResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
