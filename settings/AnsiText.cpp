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
    return decoder.decode(bytes);
}
