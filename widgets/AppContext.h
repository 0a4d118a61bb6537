#pragma once
#include "settings/Clock.h"
#include "settings/Regional.h"
#include "widgets/DialogService.h"
#include "widgets/FileOpener.h"

#include <QDesktopServices>
#include <QUrl>
#include <functional>

// Asks the desktop to open an address or a file with its default handler;
// false when nothing opened it.
using UrlOpener = std::function<bool(const QUrl&)>;

// What every window is given by its creator: the dialogs it may ask, the
// clocks it reads, the user's regional settings and the desktop's openers.
struct AppContext {
    DialogService& dialogs;
    Clock clock = systemClock();
    Regional regional = Regional::system();
    UrlOpener openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    FileOpener openFile = desktopFileOpener(); // made files (workbooks): tells when the handler fails
    SteadyClock steady = steadyClock();        // waits and time-outs
};
