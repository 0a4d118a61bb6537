#pragma once
#include <QString>

// The program's title: the caption of the plain notices and of the error box.
// It is deliberately not Qt's application display name, which the window
// system would append to every window's caption.
[[nodiscard]] inline QString applicationTitle()
{
    return QStringLiteral("모니터링+AutoTuming");
}
