#include "settings/IniFile.h"

#include "settings/AnsiText.h"
#include "settings/KeloError.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <optional>
#include <vector>

namespace {

struct Line {
    qsizetype begin;   // first byte of the line
    qsizetype end;     // one past the last byte before the line end
    qsizetype next;    // first byte of the following line
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

QByteArray trimmed(QByteArrayView bytes)
{
    qsizetype b = 0, e = bytes.size();
    while (b < e && isBlank(bytes[b]))
        ++b;
    while (e > b && (isBlank(bytes[e - 1]) || bytes[e - 1] == '\r'))
        --e;
    return bytes.sliced(b, e - b).toByteArray();
}

std::vector<Line> splitLines(const QByteArray& data)
{
    std::vector<Line> lines;
    qsizetype pos = 0;
    while (pos < data.size()) {
        qsizetype lf = data.indexOf('\n', pos);
        qsizetype next = lf < 0 ? data.size() : lf + 1;
        qsizetype end = lf < 0 ? data.size() : lf;
        if (end > pos && data[end - 1] == '\r')
            --end;
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

bool sameName(const QByteArray& raw, const QString& name)
{
    return fromAnsi(raw).compare(name, Qt::CaseInsensitive) == 0;
}

// The section name of a "[name]" line, or nothing.
std::optional<QByteArray> sectionName(QByteArrayView line)
{
    QByteArray t = trimmed(line);
    if (!t.startsWith('['))
        return std::nullopt;
    qsizetype close = t.indexOf(']');
    QByteArray name = close < 0 ? t.mid(1) : t.mid(1, close - 1);
    return trimmed(name);
}

// The text up to its first CR or LF.
QString firstLine(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n'))
            return text.first(i);
    return text;
}

struct KeyLine {
    QByteArray key;
    QByteArray value;
};

std::optional<KeyLine> keyLine(QByteArrayView line)
{
    QByteArray t = trimmed(line);
    if (t.isEmpty() || t.startsWith(';'))
        return std::nullopt;
    qsizetype eq = t.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    return KeyLine{trimmed(QByteArrayView(t).first(eq)), trimmed(QByteArrayView(t).sliced(eq + 1))};
}

struct Located {
    std::optional<size_t> sectionLine;  // index of the "[section]" line
    std::optional<size_t> keyLine;      // index of the key's line in that section
    size_t lastContentLine = 0;         // last non-blank line of the section
};

Located locate(const QByteArray& data, const std::vector<Line>& lines,
               const QString& section, const QString& key)
{
    Located found;
    for (size_t i = 0; i < lines.size(); ++i) {
        QByteArrayView text(data.constData() + lines[i].begin, lines[i].end - lines[i].begin);
        if (auto name = sectionName(text)) {
            if (found.sectionLine)
                break; // the end of the first matching section
            if (sameName(*name, section)) {
                found.sectionLine = i;
                found.lastContentLine = i;
            }
            continue;
        }
        if (!found.sectionLine)
            continue;
        if (!trimmed(text).isEmpty())
            found.lastContentLine = i;
        if (!found.keyLine) {
            if (auto kv = keyLine(text); kv && sameName(kv->key, key))
                found.keyLine = i;
        }
    }
    return found;
}

enum class FileState { Missing, Read, Unreadable, NotAFile };

struct Contents {
    QByteArray data;
    FileState state;
};

Contents readAll(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists())
        return {{}, FileState::Missing};
    // A folder in the way holds no settings, and nothing can be written there.
    if (!info.isFile())
        return {{}, FileState::NotAFile};
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, FileState::Unreadable};
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {{}, FileState::Unreadable};
    return {std::move(data), FileState::Read};
}

} // namespace

QString IniFile::valueIn(const QByteArray& data, const QString& section, const QString& key)
{
    const auto lines = splitLines(data);
    const Located at = locate(data, lines, section, key);
    if (!at.keyLine)
        return {};
    const Line& l = lines[*at.keyLine];
    auto kv = keyLine(QByteArrayView(data.constData() + l.begin, l.end - l.begin));
    return fromAnsi(kv->value);
}

QString IniFile::read(const QString& section, const QString& key) const
{
    return valueIn(readAll(m_fileName).data, section, key);
}

bool IniFile::unreadable() const
{
    return readAll(m_fileName).state == FileState::Unreadable;
}

QByteArray IniFile::withValue(QByteArray data, const QString& section, const QString& key, const QString& value)
{
    const auto lines = splitLines(data);
    const Located at = locate(data, lines, section, key);
    // A setting is one line: a line end in the value would end the key's line
    // and let the rest pass for other keys or sections.
    const QByteArray stored = toAnsi(firstLine(value));
    const QByteArray entry = toAnsi(key) + '=' + stored;

    if (at.keyLine) {
        const Line& l = lines[*at.keyLine];
        QByteArrayView text(data.constData() + l.begin, l.end - l.begin);
        // Keep the key as spelled in the file and any indentation before it.
        qsizetype eq = text.indexOf('=');
        QByteArray replaced = text.first(eq).toByteArray() + '=' + stored;
        data.replace(l.begin, l.end - l.begin, replaced);
    } else if (at.sectionLine) {
        const Line& last = lines[at.lastContentLine];
        QByteArray insert = entry + "\r\n";
        // The section ends the file without an LF (perhaps on a lone CR, which
        // does not end a line): end that line first.
        if (data[last.next - 1] != '\n')
            insert.prepend("\r\n");
        data.insert(last.next, insert);
    } else {
        if (!data.isEmpty() && !data.endsWith('\n'))
            data.append("\r\n");
        data.append('[' + toAnsi(section) + "]\r\n" + entry + "\r\n");
    }
    return data;
}

void IniFile::write(const QString& section, const QString& key, const QString& value) const
{
    const QString fullName = QFileInfo(m_fileName).absoluteFilePath();
    const auto fail = [&] { throw KeloError(QStringLiteral("Unable to write to %1").arg(fullName)); };

    // A file that is there but cannot be read is never rebuilt from nothing:
    // that would lose every setting it holds.
    Contents contents = readAll(m_fileName);
    if (contents.state == FileState::Unreadable || contents.state == FileState::NotAFile)
        fail();
    const QByteArray data = withValue(std::move(contents.data), section, key, value);

    QSaveFile out(m_fileName);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit())
        fail();
}
