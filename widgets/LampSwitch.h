#pragma once
#include <QPushButton>

// A push switch with an indicator lamp above its caption: each click toggles
// the lamp, then the click is announced.
class LampSwitch : public QPushButton {
    Q_OBJECT
public:
    explicit LampSwitch(const QString& caption, QWidget* parent = nullptr);
    [[nodiscard]] bool lampOn() const { return isChecked(); }
    void setLampOn(bool on) { setChecked(on); }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
