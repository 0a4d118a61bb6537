#pragma once
#include <QComboBox>

// Which setting a port choice list offers.
enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// A drop-down list (no free typing) of the texts of one port setting. It is
// never linked to a port: choosing an item changes no port.
class TComComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TComComboBox(QWidget* parent = nullptr);

    [[nodiscard]] TComProperty ComProperty() const { return m_property; }
    // Fills the list (cpPort: ListPortNames; the others: their setting texts in
    // table order; cpNone: nothing) and selects the first item.
    void setComProperty(TComProperty property);

    // The selected item's text, or the empty text when nothing is selected.
    [[nodiscard]] QString Text() const;
    // Selects the item equal to text without regard to letter case; without
    // such an item the selection stays as it was.
    void setText(const QString& text);

private:
    TComProperty m_property = cpNone;
};
