#include "app/KeloApplication.h"
#include "app/KeloMainP.h"
#include "widgets/AppContext.h"
#include "widgets/Fonts.h"
#include "widgets/QtDialogService.h"
#include "widgets/Resources.h"

int main(int argc, char** argv)
{
    QtDialogService dialogs;
    KeloApplication app(argc, argv, dialogs);
    installFontSubstitutions();
    initKeloResources();
    AppContext context{dialogs};
    TKeloMainF mainWindow(context);
    mainWindow.show();
    return app.exec();
}
