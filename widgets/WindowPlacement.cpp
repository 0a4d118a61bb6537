#include "widgets/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

// Waits for the first exposure of the window, when its frame is known.
class OuterSizeKeeper : public QObject {
public:
    OuterSizeKeeper(QWidget* widget, QSize outer) : QObject(widget), m_widget(widget), m_outer(outer) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<QWindow*>(watched);
        if (window && event->type() == QEvent::Expose && window->isExposed()) {
            const QMargins frame = window->frameMargins();
            if (!frame.isNull()) {
                m_widget->resize(m_outer.width() - frame.left() - frame.right(),
                                 m_outer.height() - frame.top() - frame.bottom());
                centreOnScreen(m_widget);
            }
            window->removeEventFilter(this);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_widget;
    QSize m_outer;
};

} // namespace

void centreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // A window's position is that of its frame.
    QRect placed(QPoint(0, 0), window->frameGeometry().size());
    placed.moveCenter(screen->availableGeometry().center());
    window->move(placed.topLeft());
}

void setOuterSize(QWidget* window, QSize outer)
{
    window->resize(outer);
    if (QWindow* native = window->windowHandle())
        native->installEventFilter(new OuterSizeKeeper(window, outer));
}
