#pragma once
#include <QByteArray>
#include <QString>

// Files and frames are 8-bit text in code page 949 (Korean ANSI).
// Bytes that are not valid code page 949 decode to U+FFFD, never fail.
[[nodiscard]] QByteArray toAnsi(const QString& text);
[[nodiscard]] QString fromAnsi(const QByteArray& bytes);
// Whether code page 949 holds every character of the text (written and read
// back, it stays the same).
[[nodiscard]] bool representableInAnsi(const QString& text);
