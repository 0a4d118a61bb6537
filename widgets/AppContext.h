#pragma once
#include "settings/Clock.h"
#include "settings/Regional.h"
#include "widgets/DialogService.h"

// What every window is given by its creator: the dialogs it may ask, the
// clock it reads and the user's regional settings.
struct AppContext {
    DialogService& dialogs;
    Clock clock = systemClock();
    Regional regional = Regional::system();
};
