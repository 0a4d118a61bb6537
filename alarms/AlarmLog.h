#pragma once
#include "alarms/AlarmTypes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimer>

// The alarm log beside a record file: every transition of the run, one CSV
// line each, UTF-8:
//   time,channel,caption,kind,priority,limit,value,state,detail
//   2026-12-10T04:20:00+09:00,3,Zone 3,high,alarm,850,851.2,active_unacked,
// It keeps the record file's crash safety: each line goes out in one write
// to the end of the file and is cut back when the write fails, so after a
// kill a line is complete or absent; written lines reach the disk within
// about a second. Lines that cannot be written are kept and written, in
// order, before the next one.

// "Run_20261210.kmr" -> "Run_20261210.alarms.csv" (appended when no ".kmr").
[[nodiscard]] QString alarmLogPath(const QString& recordPath);

inline constexpr char kAlarmLogHeader[] = "time,channel,caption,kind,priority,limit,value,state,detail";

// ISO 8601 with the UTC offset: 2026-12-10T04:20:00+09:00.
[[nodiscard]] QString alarmTimeText(const QDateTime& time);
// One log line (with its LF).
[[nodiscard]] QByteArray alarmLogLine(const AlarmTransition& t, const QString& caption);

class AlarmLog {
public:
    AlarmLog();
    ~AlarmLog();
    AlarmLog(const AlarmLog&) = delete;
    AlarmLog& operator=(const AlarmLog&) = delete;

    // From now on lines go to path (made, header first, when missing);
    // lines kept back for the previous file are written there first.
    void setPath(const QString& path);
    [[nodiscard]] const QString& path() const { return m_path; }

    // Appends the line; false, with the reason, when it (and those kept
    // before it) could not be written yet. Before the first path the lines
    // wait (the latest thousand) and it is no failure.
    bool append(const AlarmTransition& t, const QString& caption, QString* error);
    // Keeps the line to be written with the next append or retry (many
    // changes of one sample go out with one open of the file).
    void keep(const AlarmTransition& t, const QString& caption) { m_pending.append(alarmLogLine(t, caption)); }
    // Writes the kept lines, if any.
    bool retry(QString* error);
    [[nodiscard]] int pendingLines() const { return int(m_pending.size()); }
    // Brings the written lines to the disk now.
    void sync();

private:
    bool write(QString* error);

    QString m_path;
    QList<QByteArray> m_pending;
    bool m_unsynced = false;
    QElapsedTimer m_sinceSync;
    QTimer m_syncTimer;
};

// The transitions of an alarm log, for the record viewer; broken lines are
// skipped and counted in `problem` (empty when every line was read).
[[nodiscard]] QList<AlarmTransition> readAlarmLog(const QString& path, QString* problem);
