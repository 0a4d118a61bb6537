#pragma once
#include <QSize>

class QWidget;

// Centres a top-level window on the available area of its screen, its frame
// (title bar, borders) included when the window system has reported it.
void centreOnScreen(QWidget* window);

// Sizes a top-level window so that its outer size, frame included, is
// `outer`: at once for the client area, and again when the window is first
// exposed and the window system has put its frame around it. Call it when the
// window is first shown.
void setOuterSize(QWidget* window, QSize outer);
