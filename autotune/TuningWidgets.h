#pragma once
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>

class QButtonGroup;
class QRadioButton;

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

// A whole-number spin edit whose text, when it is not a number, reads as 1.
class AddressSpin : public QSpinBox {
    Q_OBJECT
public:
    explicit AddressSpin(QWidget* parent = nullptr);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
    void fixup(QString& input) const override;
};

// A titled group of radio items in columns, with the selected item's index.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent = nullptr);
    [[nodiscard]] int itemIndex() const;
    void setItemIndex(int index);
    [[nodiscard]] QRadioButton* item(int index) const;
    [[nodiscard]] QString itemText() const;

private:
    QButtonGroup* m_group;
};
