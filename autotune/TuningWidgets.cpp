#include "autotune/TuningWidgets.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QPainter>
#include <QRadioButton>

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

AddressSpin::AddressSpin(QWidget* parent)
    : QSpinBox(parent)
{
    setRange(1, 99);
    setSingleStep(1);
    setValue(1);
}

QValidator::State AddressSpin::validate(QString&, int&) const
{
    return QValidator::Acceptable;
}

int AddressSpin::valueFromText(const QString& text) const
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        return 1;
    return std::clamp(v, minimum(), maximum());
}

void AddressSpin::fixup(QString& input) const
{
    input = QString::number(valueFromText(input));
}

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
