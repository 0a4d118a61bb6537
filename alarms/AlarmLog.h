#pragma once
#include "alarms/AlarmTypes.h"
#include "monitoring/RecordFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTimer>

// The alarm log beside a record file: every transition of the run, one CSV
// line each, UTF-8:
//   time,channel,caption,kind,priority,limit,value,state,detail
//   2026-12-10T04:20:00+09:00,3,Zone 3,high,alarm,850,851.2,active_unacked,
// It is written as a record file is (RecordFile): after a kill a line is
// complete or absent, written lines reach the disk within about a second,
// and lines that cannot be written are kept and written, in order, before
// the next ones. Like its record, it replaces a log of the same name left by
// an earlier run.

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
    // lines the previous file could not take go to this one.
    void setPath(const QString& path);
    [[nodiscard]] const QString& path() const { return m_file.path(); }

    // Appends the line; false, with the reason, when it (and those kept
    // before it) could not be written yet. Before the first path the lines
    // wait (the latest thousand) and it is no failure.
    bool append(const AlarmTransition& t, const QString& caption, QString* error);
    // Keeps the line to be written with the next append or retry (many
    // changes of one sample go out in one write).
    void keep(const AlarmTransition& t, const QString& caption) { m_waiting.append(alarmLogLine(t, caption)); }
    // Writes the kept lines, if any.
    bool retry(QString* error);
    // Writes not yet done (0: every line is in the file).
    [[nodiscard]] int pendingLines() const { return int(m_waiting.size()) + m_file.pendingLines(); }
    // Brings the written lines to the disk now.
    void sync();

private:
    RecordFile m_file;
    QList<QByteArray> m_waiting; // not yet handed to the file
    QTimer m_syncTimer;
};

// The transitions of an alarm log, for the record viewer; broken lines are
// skipped and counted in `problem` (empty when every line was read).
[[nodiscard]] QList<AlarmTransition> readAlarmLog(const QString& path, QString* problem);
