#include "widgets/LampSwitch.h"

#include <QPainter>

LampSwitch::LampSwitch(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent)
{
    setCheckable(true);
}

QSize LampSwitch::sizeHint() const
{
    const QSize base = QPushButton::sizeHint();
    return {std::max(base.width(), 70), base.height() + 18};
}

void LampSwitch::paintEvent(QPaintEvent* event)
{
    // The caption sits below the lamp: draw the button, then the lamp over
    // its upper part.
    QPushButton::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int d = 10;
    const QRect lamp(width() / 2 - d / 2, 4, d, d);
    p.setPen(Qt::darkGray);
    p.setBrush(lampOn() ? QColor(Qt::green) : QColor(0, 96, 0));
    p.drawEllipse(lamp);
}
