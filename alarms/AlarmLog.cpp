#include "alarms/AlarmLog.h"

#include "alarms/AlarmText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <utility>

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
    if (path == m_file.path())
        return;
    QString error;
    if (!m_file.path().isEmpty()) {
        (void)retry(&error);
        sync();
    }
    if (const QByteArray owed = m_file.takePending(); !owed.isEmpty())
        m_waiting.prepend(owed);
    m_file = RecordFile::withHeaderLine(path, QByteArray(kAlarmLogHeader) + '\n', RecordFile::Naming::Replace);
    if (!m_waiting.isEmpty())
        (void)retry(&error);
}

bool AlarmLog::append(const AlarmTransition& t, const QString& caption, QString* error)
{
    keep(t, caption);
    return retry(error);
}

bool AlarmLog::retry(QString* error)
{
    if (m_file.path().isEmpty()) {
        // No record file yet (a run in test mode, a folder not writable at
        // start): no failure; the latest lines wait for the first log.
        constexpr qsizetype kMaxWaiting = 1000;
        if (m_waiting.size() > kMaxWaiting)
            m_waiting.remove(0, m_waiting.size() - kMaxWaiting);
        return true;
    }
    bool ok = true;
    if (!m_waiting.isEmpty())
        ok = m_file.append(std::exchange(m_waiting, {}).join(), error);
    else if (m_file.pendingLines() > 0)
        ok = m_file.retry(error);
    else
        return true;
    if (!ok) {
        qCWarning(lcAlarmLog) << "alarm log not written:" << (error ? *error : m_file.path());
        return false;
    }
    // Transitions come seldom: what a write left unsynced is synced within a second.
    if (!m_file.lastAppendSynced() && !m_syncTimer.isActive())
        m_syncTimer.start(kSyncWithinMs);
    return true;
}

void AlarmLog::sync()
{
    m_syncTimer.stop();
    QString error;
    if (!m_file.sync(&error))
        qCWarning(lcAlarmLog) << "alarm log not synced:" << error;
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
