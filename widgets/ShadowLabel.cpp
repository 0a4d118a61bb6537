#include "widgets/ShadowLabel.h"

#include <QPainter>

ShadowLabel::ShadowLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void ShadowLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    const QRect area = contentsRect().adjusted(0, 0, -2, -2);
    painter.setPen(m_shadow);
    painter.drawText(area.translated(2, 2), int(alignment()), text());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, int(alignment()), text());
}
