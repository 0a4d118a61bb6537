#include "link/ComComboBoxP.h"

#include "link/PortNames.h"
#include "link/PortSettings.h"

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
}

void TComComboBox::setComProperty(TComProperty property)
{
    m_property = property;
    QStringList items;
    switch (property) {
    case cpNone: break;
    case cpPort: items = ListPortNames(); break;
    case cpBaudRate: items = BaudRateTexts(); break;
    case cpDataBits: items = DataBitsTexts(); break;
    case cpStopBits: items = StopBitsTexts(); break;
    case cpParity: items = ParityTexts(); break;
    case cpFlowControl: items = FlowControlTexts(); break;
    }
    clear();
    addItems(items);
    setCurrentIndex(items.isEmpty() ? -1 : 0);
}

QString TComComboBox::Text() const
{
    return currentIndex() < 0 ? QString() : currentText();
}

void TComComboBox::setText(const QString& text)
{
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).compare(text, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(i);
            return;
        }
    }
}
