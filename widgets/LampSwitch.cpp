#include "widgets/LampSwitch.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace {
constexpr int kLampSize = 10;
constexpr int kLampTop = 5;
constexpr int kGap = 3;   // between the lamp and the caption
} // namespace

LampSwitch::LampSwitch(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent)
{
    setCheckable(true);
}

QSize LampSwitch::sizeHint() const
{
    const QSize base = QPushButton::sizeHint();
    return {std::max(base.width(), 70), std::max(base.height(), fontMetrics().height() + 10) + kLampSize + kGap};
}

void LampSwitch::paintEvent(QPaintEvent*)
{
    // The button face first, then the lamp at the top and the caption in
    // the space under it, so the two never touch.
    QStylePainter p(this);
    QStyleOptionButton face;
    initStyleOption(&face);
    face.text.clear();
    p.drawControl(QStyle::CE_PushButton, face);

    p.setRenderHint(QPainter::Antialiasing);
    const QRect lamp(width() / 2 - kLampSize / 2, kLampTop, kLampSize, kLampSize);
    p.setPen(Qt::darkGray);
    p.setBrush(lampOn() ? QColor(Qt::green) : QColor(0, 96, 0));
    p.drawEllipse(lamp);

    const QRect caption(0, lamp.bottom() + kGap, width(), height() - lamp.bottom() - kGap - 3);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(caption, Qt::AlignCenter, text());
}
