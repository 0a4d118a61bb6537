#pragma once
#include <QLabel>

// A label whose text carries a shadow offset down and to the right.
class ShadowLabel : public QLabel {
    Q_OBJECT
public:
    explicit ShadowLabel(const QString& text = {}, QWidget* parent = nullptr);
    void setShadowColor(const QColor& color) { m_shadow = color; update(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_shadow = QColor(0xC0, 0xC0, 0xC0);
};
