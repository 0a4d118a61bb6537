#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// The record file (.kmr): code page 949 lines ending in CR LF; line 1 is the
// channel set file's name, then one sample line per sampling tick:
// "YYYYMMDD/HHNNSS;" followed by every channel's value text and ";".

// The name the save dialog proposes at Start: Title + "_" + YYYYMMDDHHNNSS +
// ".kmr", with "Test" for an empty title.
[[nodiscard]] QString proposedRecordName(const QString& title, const QDateTime& start);
// "YYYYMMDD/HHNNSS" with the regional date separator in place of "/".
[[nodiscard]] QString sampleStamp(const QDateTime& time, QChar dateSeparator);
// Line 1 names the set file the data viewer looks for: the message that
// refuses a name code page 949 cannot hold, or "" when the name is fine.
[[nodiscard]] QString unrecordableSetNameText(const QString& headerName);
// The bytes of one line: every field followed by ";", then CR LF.
[[nodiscard]] QByteArray sampleLine(const QStringList& fields);

// One run's record file. Each line is appended and flushed at its tick; a
// line that cannot be written (file deleted, folder gone, disk full) is kept
// and written, in order, before the next line at the next tick that succeeds.
// A file that vanished, or could not be made at Start, is made again, header
// line first. A failed append leaves the file as it was before.
class RecordFile {
public:
    RecordFile() = default;
    RecordFile(const QString& path, const QString& headerName);

    // Creates the file, or empties it, and writes line 1. Throws KeloError.
    void create();
    // Appends the lines kept back and then `line`; false, with the reason in
    // `error`, when nothing could be written (all of them are then kept).
    bool append(const QByteArray& line, QString* error);
    // Writes the lines kept back, if any.
    bool retry(QString* error);
    // Forgets the lines kept back (the operator gave them up).
    void dropPending();

    [[nodiscard]] const QString& path() const { return m_path; }
    [[nodiscard]] int pendingLines() const { return m_pendingLines; }
    [[nodiscard]] qsizetype pendingBytes() const { return m_pending.size(); }

private:
    bool write(QString* error);

    QString m_path;
    QByteArray m_header;
    QByteArray m_pending;
    int m_pendingLines = 0;
    // Whether line 1 of this run is in the file. Until it is, the next write
    // replaces whatever the file holds, so no line lands under another
    // run's header.
    bool m_headerWritten = false;
};
