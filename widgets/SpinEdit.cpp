#include "widgets/SpinEdit.h"

#include <algorithm>

SpinEdit::SpinEdit(int minimum, int maximum, QWidget* parent)
    : QSpinBox(parent)
{
    setRange(minimum, maximum);
    setSingleStep(1);
    setValue(minimum);
}

QValidator::State SpinEdit::validate(QString&, int&) const
{
    return QValidator::Acceptable;
}

int SpinEdit::valueFromText(const QString& text) const
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        return minimum();
    return std::clamp(v, minimum(), maximum());
}

void SpinEdit::fixup(QString& input) const
{
    input = QString::number(valueFromText(input));
}
