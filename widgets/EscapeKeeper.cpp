#include "widgets/EscapeKeeper.h"

#include <QKeyEvent>
#include <QWidget>

namespace {

// Sees the Esc that no child took on its way up to the window, and drops it
// before the dialog's own key handling turns it into a close.
class EscapeKeeper : public QObject {
public:
    explicit EscapeKeeper(QObject* parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && watched == parent()) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
                event->accept();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void keepOpenOnEscape(QWidget* window)
{
    window->installEventFilter(new EscapeKeeper(window));
}
