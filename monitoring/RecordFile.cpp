#include "monitoring/RecordFile.h"

#include "settings/AnsiText.h"
#include "settings/KeloError.h"

#include <QFile>
#include <QFileInfo>

QString proposedRecordName(const QString& title, const QDateTime& start)
{
    QString stem = title.isEmpty() ? QStringLiteral("Test") : title;
    // A title is no folder: "1/2호기" proposes "1_2호기_….kmr".
    stem.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    return stem + QLatin1Char('_') + start.toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(".kmr");
}

QString sampleStamp(const QDateTime& time, QChar dateSeparator)
{
    return time.toString(QStringLiteral("yyyyMMdd")) + dateSeparator + time.toString(QStringLiteral("HHmmss"));
}

QString unrecordableSetNameText(const QString& headerName)
{
    if (representableInAnsi(headerName))
        return {};
    return QStringLiteral("채널 설정 파일 \"%1\"의 이름에 기록 파일에 쓸 수 없는 글자가 있어 모니터링을 시작할 수 "
                          "없습니다.\n파일 이름을 바꾸어 저장한 뒤 다시 불러오세요.")
        .arg(headerName);
}

QByteArray sampleLine(const QStringList& fields)
{
    QString text;
    for (const QString& field : fields)
        text += field + QLatin1Char(';');
    return toAnsi(text) + "\r\n";
}

RecordFile::RecordFile(const QString& path, const QString& headerName)
    : m_path(path), m_header(toAnsi(headerName) + "\r\n")
{
}

void RecordFile::create()
{
    m_pending.clear();
    m_pendingLines = 0;
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(m_header) != m_header.size()
        || !file.flush()) {
        const QString reason = file.errorString();
        file.close();
        throw KeloError(QStringLiteral("Cannot create file \"%1\". %2").arg(m_path, reason));
    }
    m_headerWritten = true;
}

void RecordFile::dropPending()
{
    m_pending.clear();
    m_pendingLines = 0;
}

bool RecordFile::append(const QByteArray& line, QString* error)
{
    m_pending += line;
    ++m_pendingLines;
    return write(error);
}

bool RecordFile::retry(QString* error)
{
    return m_pendingLines == 0 || write(error);
}

bool RecordFile::write(QString* error)
{
    const bool existed = QFileInfo::exists(m_path);
    const bool fresh = !m_headerWritten || !existed;
    QFile file(m_path);
    if (!file.open(fresh ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\". %2").arg(m_path, file.errorString());
        return false;
    }
    const qint64 before = fresh ? 0 : file.size();
    const QByteArray bytes = fresh ? m_header + m_pending : m_pending;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\". %2").arg(m_path, file.errorString());
        // Take back what got through, so the file never ends in half a line.
        file.close();
        if (!existed)
            QFile::remove(m_path);
        else
            (void)QFile::resize(m_path, before);
        return false;
    }
    file.close();
    m_pending.clear();
    m_pendingLines = 0;
    m_headerWritten = true;
    return true;
}
