#include "settings/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

QByteArray toAnsi(const QString& text)
{
    QStringEncoder encoder("CP949");
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder.encode(text);
}

QString fromAnsi(const QByteArray& bytes)
{
    QStringDecoder decoder("CP949");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    // A lead byte at the very end would wait for its trail byte and vanish;
    // an LF after it makes the decoder report it as a broken character.
    QString text = decoder.decode(bytes + '\n');
    text.chop(1);
    // The converter marks broken characters with SUB; show them as U+FFFD
    // unless the bytes held SUB themselves.
    if (!bytes.contains('\x1a'))
        text.replace(QChar(0x1A), QChar::ReplacementCharacter);
    return text;
}
