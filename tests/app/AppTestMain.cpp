#include "app/KeloApplication.h"
#include "tests/app/AppTestMain.h"
#include "widgets/Fonts.h"
#include "widgets/Resources.h"

#include <gtest/gtest.h>

ScriptedDialogs& appDialogs()
{
    static ScriptedDialogs dialogs;
    return dialogs;
}

// The application tests run under the program's own application object.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    KeloApplication app(argc, argv, appDialogs());
    installFontSubstitutions();
    initKeloResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
