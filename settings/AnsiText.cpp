#include "settings/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

// ICU's "CP949" is IBM's table (backslash as U+20A9, 0x1A/0x1C/0x7F swapped,
// none of the extended Hangul syllables); Windows code page 949 is this one.
constexpr const char* kCodePage949 = "windows-949";

bool isAscii(const QByteArray& bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool isAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

} // namespace

QByteArray toAnsi(const QString& text)
{
    if (isAscii(text)) // the code page's first half is ASCII
        return text.toLatin1();
    // Opening an ICU converter costs more than most texts' conversion: each
    // thread keeps one, starting every text from a clean state.
    thread_local QStringEncoder encoder(kCodePage949);
    if (!encoder.isValid())
        return text.toLatin1();
    encoder.resetState();
    return encoder.encode(text);
}

QString fromAnsi(const QByteArray& bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    thread_local QStringDecoder decoder(kCodePage949);
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    decoder.resetState();
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

bool representableInAnsi(const QString& text)
{
    return isAscii(text) || fromAnsi(toAnsi(text)) == text;
}
