#pragma once
#include <QString>
#include <functional>

// Opens a file with the desktop's default handler. Returns false when no
// handler could be started; when one started, `failed` is called later if it
// ends with a failure (it found nothing to open the file with).
using FileOpener = std::function<bool(const QString& path, std::function<void()> failed)>;

// xdg-open, watched until it ends; Qt's desktop services where there is none.
[[nodiscard]] FileOpener desktopFileOpener();
