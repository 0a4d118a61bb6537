#pragma once
#include <QString>

class QToolBar;

// A tool bar's buttons take no keyboard focus by default; a chart's tools
// must be reachable with Tab like any button. Each is named for a screen
// reader as "<what> <button text>" ("추세 차트 확대").
void makeToolBarReachable(QToolBar* bar, const QString& what);
