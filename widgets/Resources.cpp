#include "widgets/Resources.h"

#include <QtGlobal>

void initKeloResources()
{
    Q_INIT_RESOURCE(resources);
}
