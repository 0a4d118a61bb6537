#include "alarms/AlarmLog.h"

#include "alarms/AlarmText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcAlarmLog, "kelo.alarms.log")

namespace {

constexpr int kSyncWithinMs = 1000;

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Splits CSV text into rows of fields (quoted fields may hold ',', '"' and
// line ends); a row ends at LF or CR LF outside quotes.
QList<QStringList> csvRows(const QString& text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += ch;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += ch;
            }
            continue;
        }
        if (ch == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (ch == QLatin1Char(',')) {
            row.append(field);
            field.clear();
            any = true;
        } else if (ch == QLatin1Char('\n')) {
            if (field.endsWith(QLatin1Char('\r')))
                field.chop(1);
            row.append(field);
            rows.append(row);
            row.clear();
            field.clear();
            any = false;
        } else {
            field += ch;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        row.append(field);
        rows.append(row);
    }
    return rows;
}

std::optional<double> optionalNumber(const QString& text, bool* ok)
{
    *ok = true;
    if (text.isEmpty())
        return std::nullopt;
    const double v = text.toDouble(ok);
    return *ok ? std::optional(v) : std::nullopt;
}

} // namespace

QString alarmLogPath(const QString& recordPath)
{
    QString path = recordPath;
    if (path.endsWith(QLatin1String(".kmr")))
        path.chop(4);
    return path + QStringLiteral(".alarms.csv");
}

QString alarmTimeText(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
           + QStringLiteral("%1%2:%3")
                 .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                 .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                 .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray alarmLogLine(const AlarmTransition& t, const QString& caption)
{
    const auto number = [](const std::optional<double>& v) { return v ? alarmNumberText(*v) : QString(); };
    const QStringList fields{alarmTimeText(t.time),
                             QString::number(t.key.channel),
                             csvField(caption),
                             alarmKindName(t.key.kind),
                             alarmPriorityName(t.priority),
                             number(t.limit),
                             number(t.value),
                             alarmStateName(t.state),
                             csvField(t.detail)};
    return fields.join(QLatin1Char(',')).toUtf8() + '\n';
}

AlarmLog::AlarmLog()
{
    m_syncTimer.setSingleShot(true);
    QObject::connect(&m_syncTimer, &QTimer::timeout, [this] { sync(); });
}

AlarmLog::~AlarmLog()
{
    sync();
}

void AlarmLog::setPath(const QString& path)
{
    if (path == m_path)
        return;
    sync();
    QString error;
    // Lines owed to the old file go there if they can, else with the new.
    if (!m_path.isEmpty() && !m_pending.isEmpty())
        (void)write(&error);
    m_path = path;
    if (!m_pending.isEmpty())
        (void)write(&error);
}

bool AlarmLog::append(const AlarmTransition& t, const QString& caption, QString* error)
{
    m_pending.append(alarmLogLine(t, caption));
    return write(error);
}

bool AlarmLog::retry(QString* error)
{
    return m_pending.isEmpty() || write(error);
}

bool AlarmLog::write(QString* error)
{
    if (m_path.isEmpty()) {
        // No record file yet (a run in test mode, a folder not writable at
        // start): no failure; the latest lines wait for the first log.
        constexpr qsizetype kMaxWaiting = 1000;
        if (m_pending.size() > kMaxWaiting)
            m_pending.remove(0, m_pending.size() - kMaxWaiting);
        return true;
    }
    const QByteArray name = QFile::encodeName(m_path);
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    const auto fail = [&](int code) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\". %2").arg(m_path, qt_error_string(code));
        qCWarning(lcAlarmLog) << "alarm log not written:" << m_path << qt_error_string(code);
        return false;
    };
    if (fd < 0)
        return fail(errno);
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        const int code = errno;
        ::close(fd);
        return fail(code);
    }
    off_t size = st.st_size;
    bool wrote = false;
    while (!m_pending.isEmpty()) {
        // A new (or emptied) file starts with the header, in the same write
        // as its first line.
        QByteArray bytes = size == 0 ? QByteArray(kAlarmLogHeader) + '\n' + m_pending.first() : m_pending.first();
        const ssize_t n = ::write(fd, bytes.constData(), size_t(bytes.size()));
        if (n != ssize_t(bytes.size())) {
            const int code = n < 0 ? errno : ENOSPC;
            if (n > 0 && ::ftruncate(fd, size) != 0) // never half a line
                qCWarning(lcAlarmLog) << "alarm log not cut back:" << m_path << qt_error_string(errno);
            ::close(fd);
            if (wrote && !m_syncTimer.isActive()) {
                m_unsynced = true;
                m_syncTimer.start(kSyncWithinMs);
            }
            return fail(code);
        }
        size += off_t(bytes.size());
        m_pending.removeFirst();
        wrote = true;
    }
    // Transitions come seldom, but a set of many channels can raise many at
    // once: at most one sync a second, the rest within a second by the timer.
    m_unsynced = true;
    if (!m_sinceSync.isValid() || m_sinceSync.elapsed() >= kSyncWithinMs) {
        (void)::fdatasync(fd);
        m_sinceSync.start();
        m_unsynced = false;
    } else if (!m_syncTimer.isActive()) {
        m_syncTimer.start(int(std::max<qint64>(1, kSyncWithinMs - m_sinceSync.elapsed())));
    }
    ::close(fd);
    return true;
}

void AlarmLog::sync()
{
    m_syncTimer.stop();
    if (!m_unsynced || m_path.isEmpty())
        return;
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fdatasync(fd);
        ::close(fd);
    }
    m_unsynced = false;
    m_sinceSync.start();
}

QList<AlarmTransition> readAlarmLog(const QString& path, QString* problem)
{
    QList<AlarmTransition> out;
    if (problem)
        problem->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (problem && file.exists())
            *problem = QStringLiteral("경보 기록 \"%1\"을(를) 읽을 수 없습니다: %2")
                           .arg(QDir::toNativeSeparators(path), file.errorString());
        return out;
    }
    const QList<QStringList> rows = csvRows(QString::fromUtf8(file.readAll()));
    int broken = 0;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QStringList& f = rows[r];
        if (r == 0 && f.join(QLatin1Char(',')) == QLatin1String(kAlarmLogHeader))
            continue;
        if (f.size() == 1 && f[0].isEmpty())
            continue;
        AlarmTransition t;
        bool ok = f.size() == 9;
        if (ok) {
            t.time = QDateTime::fromString(f[0], Qt::ISODate);
            const auto kind = parseAlarmKind(f[3]);
            const auto priority = parseAlarmPriority(f[4]);
            const auto state = parseAlarmState(f[7]);
            t.key.channel = f[1].toInt(&ok);
            ok = ok && t.time.isValid() && kind && priority && state && t.key.channel >= 0;
            bool limitOk = false, valueOk = false;
            t.limit = optionalNumber(f[5], &limitOk);
            t.value = optionalNumber(f[6], &valueOk);
            ok = ok && limitOk && valueOk;
            if (ok) {
                t.key.kind = *kind;
                t.priority = *priority;
                t.state = *state;
                t.detail = f[8];
            }
        }
        if (ok)
            out.append(t);
        else
            ++broken;
    }
    if (broken > 0 && problem)
        *problem = QStringLiteral("경보 기록 \"%1\"에서 읽을 수 없는 줄 %2개를 건너뛰었습니다.")
                       .arg(QDir::toNativeSeparators(path))
                       .arg(broken);
    return out;
}
