#pragma once
#include <QGroupBox>

class QButtonGroup;
class QRadioButton;

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
