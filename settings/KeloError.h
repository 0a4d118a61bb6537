#pragma once
#include <QString>
#include <stdexcept>

// The one error type of the program. Its text is the message the operator
// sees in the error box, exactly as the system words it.
class KeloError : public std::runtime_error {
public:
    explicit KeloError(const QString& text)
        : std::runtime_error(text.toStdString()), m_text(text) {}
    [[nodiscard]] const QString& text() const noexcept { return m_text; }

private:
    QString m_text;
};
