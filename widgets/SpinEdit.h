#pragma once
#include <QSpinBox>

// A whole-number spin edit: a text that is not a number reads as the
// minimum, one out of range as the nearer bound.
class SpinEdit : public QSpinBox {
    Q_OBJECT
public:
    SpinEdit(int minimum, int maximum, QWidget* parent = nullptr);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
    void fixup(QString& input) const override;
};
