#include "widgets/RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent)
    , m_group(new QButtonGroup(this))
{
    auto* grid = new QGridLayout(this);
    const int rows = int((items.size() + columns - 1) / columns);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items.at(i), this);
        m_group->addButton(b, i);
        // Items run down the first column, then down the next.
        grid->addWidget(b, i % rows, i / rows);
    }
}

int RadioGroup::itemIndex() const
{
    return m_group->checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (QAbstractButton* b = m_group->button(index))
        b->setChecked(true);
}

QRadioButton* RadioGroup::item(int index) const
{
    return qobject_cast<QRadioButton*>(m_group->button(index));
}

QString RadioGroup::itemText() const
{
    const QAbstractButton* b = m_group->checkedButton();
    return b ? b->text() : QString();
}
