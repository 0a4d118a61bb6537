#include "monitoring/RecordFile.h"

#include "settings/AnsiText.h"
#include "settings/KeloError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

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

namespace {

// A written line reaches the disk within about this long.
constexpr qint64 kSyncWithinMs = 1000;
// Suffixes tried before a made-up name counts as taken for good.
constexpr int kMaxSuffix = 9999;

// 0, or the errno of the write that failed.
int writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    return 0;
}

// A new file's name in its folder reaches the disk too.
void syncFolderOf(const QString& path)
{
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    (void)::fsync(dir); // best effort: the lines themselves are synced
    ::close(dir);
}

} // namespace

RecordFile::RecordFile(const QString& path, const QString& headerName, Naming naming)
    : m_path(path), m_basePath(path), m_naming(naming), m_header(toAnsi(headerName) + "\r\n")
{
}

RecordFile RecordFile::withHeaderLine(const QString& path, QByteArray headerLine, Naming naming)
{
    RecordFile file(path, QString(), naming);
    file.m_header = std::move(headerLine);
    return file;
}

void RecordFile::create()
{
    m_pending.clear();
    m_pendingLines = 0;
    m_headerWritten = false;
    QString error;
    if (!write(&error))
        throw KeloError(error);
}

void RecordFile::dropPending()
{
    m_pending.clear();
    m_pendingLines = 0;
}

QByteArray RecordFile::takePending()
{
    m_pendingLines = 0;
    return std::exchange(m_pending, {});
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

QString RecordFile::failure(const char* what, int code) const
{
    return QStringLiteral("Cannot %1 file \"%2\". %3").arg(QLatin1String(what), m_path, qt_error_string(code));
}

int RecordFile::openForWrite(QByteArray& bytes, bool& madeNow, bool& createdNow)
{
    madeNow = false;
    createdNow = false;
    const auto open = [this](int flags) { return ::open(QFile::encodeName(m_path).constData(), flags, 0666); };
    if (m_headerWritten) {
        const int fd = open(O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT) {
            bytes = m_pending;
            return fd;
        }
        // The file vanished: it is made again, header line first.
    }
    for (;;) {
        int fd = open(O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC);
        // A made-up name lies in the recorder's own folder: made again when
        // it is missing (a disk that was read-only at start, a deleted folder).
        if (fd < 0 && errno == ENOENT && m_naming == Naming::Unique
            && QDir().mkpath(QFileInfo(m_path).absolutePath()))
            fd = open(O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC);
        if (fd >= 0) {
            madeNow = createdNow = true;
            bytes = m_header + m_pending;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        if (m_naming == Naming::Replace) {
            // The operator's choice replaces the file of that name; a file
            // made by someone else after ours vanished is appended to.
            fd = m_headerWritten ? open(O_WRONLY | O_APPEND | O_CLOEXEC) : open(O_WRONLY | O_TRUNC | O_CLOEXEC);
            madeNow = !m_headerWritten;
            bytes = madeNow ? m_header + m_pending : m_pending;
            return fd;
        }
        // Another run's file holds the name: this run takes the next one.
        if (++m_suffix > kMaxSuffix)
            return -1;
        QString stem = m_basePath;
        if (stem.endsWith(QLatin1String(".kmr")))
            stem.chop(4);
        m_path = stem + QStringLiteral("_%1.kmr").arg(m_suffix);
    }
}

bool RecordFile::syncDue() const
{
    if (!m_sinceWrite.isValid())
        return true;
    // The next line comes about as long after this one as this one after the
    // last; sync now if the oldest unsynced line would wait too long for it.
    const qint64 waited = m_unsynced ? m_sinceSync.elapsed() : 0;
    return waited + m_sinceWrite.elapsed() >= kSyncWithinMs;
}

bool RecordFile::write(QString* error)
{
    QByteArray bytes;
    bool madeNow = false;
    bool createdNow = false;
    const int fd = openForWrite(bytes, madeNow, createdNow);
    if (fd < 0) {
        if (error)
            *error = failure(m_headerWritten ? "write" : "create", errno);
        return false;
    }
    const off_t before = madeNow ? 0 : ::lseek(fd, 0, SEEK_END);
    int code = writeAll(fd, bytes);
    const bool syncNow = code == 0 && (madeNow || syncDue());
    // A file that cannot be synced at all (a device) is only written.
    if (syncNow && ::fdatasync(fd) != 0 && errno != EINVAL)
        code = errno;
    if (code != 0) {
        // Take back what got through, so the file never ends in half a line.
        // (A device, which cannot be cut, took nothing.)
        const bool cutBack = createdNow || before < 0 || ::ftruncate(fd, before) == 0 || errno == EINVAL;
        ::close(fd);
        if (createdNow)
            ::unlink(QFile::encodeName(m_path).constData()); // no empty file is left behind
        if (error) {
            *error = failure(madeNow && !m_headerWritten ? "create" : "write", code);
            if (!cutBack)
                *error += QStringLiteral(" The file could not be cut back to its last whole line: %1")
                              .arg(qt_error_string(errno));
        }
        if (madeNow)
            m_headerWritten = false;
        return false;
    }
    if (::close(fd) != 0) {
        // The lines may not have reached the file: they stay kept back.
        const int closeCode = errno;
        bool cutBack = true;
        if (createdNow)
            ::unlink(QFile::encodeName(m_path).constData());
        else if (before >= 0)
            cutBack = ::truncate(QFile::encodeName(m_path).constData(), before) == 0 || errno == EINVAL;
        if (error) {
            *error = failure("write", closeCode);
            if (!cutBack)
                *error += QStringLiteral(" The file could not be cut back to its last whole line: %1")
                              .arg(qt_error_string(errno));
        }
        return false;
    }
    if (madeNow) {
        ++m_timesMade;
        syncFolderOf(m_path);
    }
    m_pending.clear();
    m_pendingLines = 0;
    m_headerWritten = true;
    m_lastSynced = syncNow;
    if (syncNow) {
        m_unsynced = false;
    } else if (!m_unsynced) {
        m_unsynced = true;
        m_sinceSync.start();
    }
    m_sinceWrite.start();
    return true;
}

bool RecordFile::sync(QString* error)
{
    if (!m_unsynced || !m_headerWritten)
        return true;
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    const int code = fd < 0 ? errno : ::fdatasync(fd) == 0 || errno == EINVAL ? 0 : errno;
    if (fd >= 0)
        ::close(fd);
    if (code != 0) {
        if (error)
            *error = failure("sync", code);
        return false;
    }
    m_unsynced = false;
    return true;
}
