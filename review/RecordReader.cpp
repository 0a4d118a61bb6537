#include "review/RecordReader.h"

#include "settings/KeloError.h"

#include <QFileInfo>
#include <algorithm>

namespace {

constexpr qsizetype kHeaderLineLimit = 64 * 1024;

void openForReading(QFile& file, const QString& path)
{
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw KeloError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
}

[[noreturn]] void readFailed(const QFile& file)
{
    throw KeloError(QStringLiteral("Cannot read file \"%1\". %2").arg(file.fileName(), file.errorString()));
}

// Grows geometrically, so a line spread over many blocks is not copied once per block.
void makeRoom(QByteArray& buffer, qsizetype extra)
{
    const qsizetype needed = buffer.size() + extra;
    if (buffer.capacity() < needed)
        buffer.reserve(std::max(needed, buffer.capacity() * 2));
}

} // namespace

QString readRecordHeaderLine(const QString& path)
{
    QFile file(path);
    openForReading(file, path);
    QByteArray line;
    while (line.size() < kHeaderLineLimit) {
        char block[4096];
        const qint64 n = file.read(block, sizeof block);
        if (n < 0)
            readFailed(file);
        if (n == 0)
            break;
        const QByteArrayView got(block, n);
        const qsizetype lf = got.indexOf('\n');
        if (lf >= 0) {
            line.append(got.first(lf));
            if (line.endsWith('\r'))
                line.chop(1);
            break;
        }
        line.append(got);
    }
    return decodeAnsi(line.left(kHeaderLineLimit));
}

QString headerNameOf(const QString& line)
{
    qsizetype cut = -1;
    for (QChar sep : {QLatin1Char('\\'), QLatin1Char('/'), QLatin1Char(':')})
        cut = std::max(cut, line.lastIndexOf(sep));
    return line.mid(cut + 1);
}

bool isPlainFileName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

RecordReader::RecordReader(const QString& path, int fields, qsizetype blockSize, qsizetype maxLine)
    : m_file(path), m_fields(fields), m_blockSize(std::max<qsizetype>(blockSize, 1)),
      m_maxLine(std::max<qsizetype>(maxLine, 1))
{
    openForReading(m_file, path);
    m_fileSize = m_file.size();
}

RowChunk RecordReader::readBlock()
{
    if (m_atEnd)
        return {};
    QByteArray buffer = std::move(m_carry);
    m_carry = QByteArray();
    const qsizetype old = buffer.size();
    makeRoom(buffer, m_blockSize);
    buffer.resize(old + m_blockSize);
    const qint64 n = m_file.read(buffer.data() + old, m_blockSize);
    if (n < 0)
        readFailed(m_file);
    buffer.resize(old + n);
    m_bytesRead += n;
    const bool eof = n == 0 || m_file.atEnd();
    if (eof)
        m_atEnd = true;

    qsizetype pos = 0;
    if (m_inFirstLine || m_skipping) {
        const qsizetype lf = buffer.indexOf('\n');
        if (lf < 0)
            return {}; // still inside line 1 or a cut-off rest: nothing of it is kept
        pos = lf + 1;
        m_inFirstLine = m_skipping = false;
    }

    qsizetype end = buffer.size();
    if (!eof) {
        const qsizetype lastLf = buffer.lastIndexOf('\n');
        end = lastLf >= pos ? lastLf + 1 : pos;
        if (buffer.size() - end > m_maxLine) {
            // An unfinished line past the limit: keep its beginning as a row.
            m_skipping = true;
            return scanSampleLines(std::move(buffer), pos, end + m_maxLine, m_fields);
        }
        if (end == pos) {
            m_carry = pos == 0 ? std::move(buffer) : buffer.mid(pos);
            return {};
        }
        m_carry = buffer.mid(end);
    }
    return scanSampleLines(std::move(buffer), pos, end, m_fields);
}

void readAllSamples(const QString& path, SampleTable& table)
{
    RecordReader reader(path, table.fieldColumns());
    while (!reader.atEnd())
        table.append(reader.readBlock());
}
