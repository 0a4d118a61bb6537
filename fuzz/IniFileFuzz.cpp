// Main.ini reader and writer: arbitrary file bytes, then a read, a write and a
// read back of one key, through the file (on /dev/shm) and in memory.
//
// Input: a flags byte, the section, key and value (each a length byte and its
// code page 949 bytes), and the rest as the file. Flags pick the section or
// key from the file itself (with its letter case flipped), so writes often
// replace existing keys.
//
// Checked: the write changes the bytes of one line at most; a value written
// reads back as the writer promises (itself, without surrounding blanks and
// from its first line end on); every other key of the file reads as before;
// the file and the in-memory rules agree.
#include "fuzz/FuzzInput.h"
#include "settings/AnsiText.h"
#include "settings/IniFile.h"
#include "settings/KeloError.h"

#include <QFile>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    QByteArray take(size_t max)
    {
        if (n == 0)
            return {};
        size_t len = std::min<size_t>({size_t(*p++), max, n - 1});
        --n;
        QByteArray b(reinterpret_cast<const char*>(p), qsizetype(len));
        p += len;
        n -= len;
        return b;
    }
};

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Text that survives code page 949 both ways.
bool representable(const QString& s) { return fromAnsi(toAnsi(s)) == s && !s.contains(QChar(0x1A)); }

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool unpadded(const QString& s)
{
    return s.isEmpty() || (!isBlank(s.front()) && !isBlank(s.back()) && s.back() != u'\r');
}

// Names the format can hold: one line, no padding, nothing that makes a key
// line a comment or a section line.
bool wellFormedSection(const QString& s)
{
    return representable(s) && unpadded(s) && !s.contains(u'\n') && !s.contains(u']');
}

bool wellFormedKey(const QString& k)
{
    return representable(k) && unpadded(k) && !k.contains(u'\n') && !k.contains(u'=')
        && !k.startsWith(u';') && !k.startsWith(u'[') && !k.contains(u'\r');
}

// What a read gives after writing `value`: its first line, without blanks around it.
QString promisedValue(const QString& value)
{
    qsizetype end = 0;
    while (end < value.size() && value[end] != u'\r' && value[end] != u'\n')
        ++end;
    qsizetype b = 0;
    while (b < end && isBlank(value[b]))
        ++b;
    while (end > b && isBlank(value[end - 1]))
        --end;
    return value.mid(b, end - b);
}

// Section and key names that appear in the file, to probe before and after.
std::vector<std::pair<QString, QString>> namesIn(const QByteArray& data)
{
    std::vector<std::pair<QString, QString>> names;
    QString section;
    for (const QByteArray& raw : data.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            section = fromAnsi(line.mid(1, close < 0 ? -1 : close - 1).trimmed());
        } else if (const qsizetype eq = line.indexOf('='); eq >= 0) {
            names.emplace_back(section, fromAnsi(line.left(eq).trimmed()));
            if (names.size() >= 8)
                break;
        }
    }
    return names;
}

QString flipCase(const QString& s)
{
    QString out = s;
    for (QChar& c : out)
        c = c.isUpper() ? c.toLower() : c.toUpper();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t flags = data[0];
    Reader in{data + 1, size - 1};
    QString section = fromAnsi(in.take(40));
    QString key = fromAnsi(in.take(40));
    const QString value = fromAnsi(in.take(120));
    const QByteArray file(reinterpret_cast<const char*>(in.p), qsizetype(in.n));

    const auto names = namesIn(file);
    if ((flags & 1) && !names.empty()) {
        const auto& picked = names[(flags >> 4) % names.size()];
        section = picked.first;
        if (flags & 2)
            key = picked.second;
        if (flags & 4)
            section = flipCase(section), key = flipCase(key);
    }

    const QByteArray after = IniFile::withValue(file, section, key, value);
    fuzzContext() = [&] {
        fuzzPrintHex("section", toAnsi(section));
        fuzzPrintHex("key", toAnsi(key));
        fuzzPrintHex("value", toAnsi(value));
        fuzzPrintHex("file", file);
        fuzzPrintHex("after", after);
        std::fprintf(stderr, "  read back: %s\n", IniFile::valueIn(after, section, key).toUtf8().toHex(' ').constData());
    };

    // One line's bytes at most are replaced.
    qsizetype prefix = 0;
    const qsizetype shorter = std::min(file.size(), after.size());
    while (prefix < shorter && file[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && file[file.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    FUZZ_CHECK(!file.mid(prefix, file.size() - prefix - suffix).contains('\n'), "a write replaces one line at most");

    const bool wellFormed = wellFormedSection(section) && wellFormedKey(key);
    if (wellFormed && representable(value))
        FUZZ_CHECK(IniFile::valueIn(after, section, key) == promisedValue(value), "the value reads back");
    if (wellFormed) {
        for (const auto& [s, k] : names) {
            if (sameName(s, section) && sameName(k, key))
                continue;
            FUZZ_CHECK(IniFile::valueIn(file, s, k) == IniFile::valueIn(after, s, k), "other keys keep their values");
        }
    }

    // Through the file: the same bytes and the same read.
    const QString path = fuzzScratchFile("Main.ini");
    if (flags & 8) {
        QFile::remove(path);
    } else {
        fuzzWriteFile(path, file.constData(), size_t(file.size()));
    }
    const IniFile ini(path);
    const QString before = ini.read(section, key);
    FUZZ_CHECK(before == IniFile::valueIn((flags & 8) ? QByteArray() : file, section, key), "file read = memory read");
    try {
        ini.write(section, key, value);
    } catch (const KeloError&) {
        FUZZ_CHECK(false, "a scratch file can be written");
    }
    const QByteArray written = fuzzReadFile(path);
    FUZZ_CHECK(written == IniFile::withValue((flags & 8) ? QByteArray() : file, section, key, value),
               "file write = memory write");
    FUZZ_CHECK(ini.read(section, key) == IniFile::valueIn(written, section, key), "file reads back");
    return 0;
}
