#pragma once
#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QWidget>

// What the window system holds of a widget's window after the pending
// updates were painted: only what a normal update repainted has changed,
// unlike QWidget::grab(), which paints every cell afresh.
[[nodiscard]] inline QImage shownImage(QWidget* widget)
{
    QApplication::processEvents();
    QWidget* window = widget->window();
    const QImage image = window->screen()->grabWindow(window->winId()).toImage();
    const QPoint at = widget->mapTo(window, QPoint(0, 0));
    return image.copy(QRect(at, widget->size()));
}
