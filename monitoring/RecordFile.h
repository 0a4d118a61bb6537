#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
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
// The longest file name the file system takes, in bytes.
inline constexpr int kMaxFileNameBytes = 255;

// One run's record file. Each line is appended at its tick, and the file is
// synced to the disk so that no written line stays unsynced for more than
// about a second. A line that cannot be written (file deleted, folder gone,
// disk full) is kept and written, in order, before the next line at the next
// tick that succeeds. A file that vanished, or could not be made at Start,
// is made again, header line first. A failed append leaves the file as it
// was before, so it never ends in half a line.
class RecordFile {
public:
    // Replace: the operator chose the name; making the file replaces one of
    // that name. Unique: the name was made up; a file of that name, whoever
    // made it, is never touched, and the run takes the first free name with
    // "_2", "_3", ... before ".kmr"; a missing folder is made.
    enum class Naming { Replace, Unique };

    RecordFile() = default;
    RecordFile(const QString& path, const QString& headerName, Naming naming = Naming::Replace);
    // A file of another format with the same crash safety: `headerLine`
    // (with its line end) is line 1 as it stands.
    [[nodiscard]] static RecordFile withHeaderLine(const QString& path, QByteArray headerLine, Naming naming);

    // Makes the file and writes line 1; leaves no file behind when that
    // fails. Throws KeloError with the reason.
    void create();
    // Appends the lines kept back and then `line`; false, with the reason in
    // `error`, when nothing could be written (all of them are then kept).
    bool append(const QByteArray& line, QString* error);
    // Writes the lines kept back, if any.
    bool retry(QString* error);
    // Forgets the lines kept back (the operator gave them up).
    void dropPending();
    // Hands over the lines kept back; this file no longer owes them.
    [[nodiscard]] QByteArray takePending();
    // Brings every written line to the disk now (at the end of a run).
    bool sync(QString* error);

    // The file's name; with Unique naming it may gain a suffix when made.
    [[nodiscard]] const QString& path() const { return m_path; }
    [[nodiscard]] int pendingLines() const { return m_pendingLines; }
    [[nodiscard]] qsizetype pendingBytes() const { return m_pending.size(); }
    // Whether line 1 of this run is in the file.
    [[nodiscard]] bool made() const { return m_headerWritten; }
    // How many times the file was made (again), header line first.
    [[nodiscard]] int timesMade() const { return m_timesMade; }
    // Whether the last successful write also synced the file.
    [[nodiscard]] bool lastAppendSynced() const { return m_lastSynced; }

private:
    bool write(QString* error);
    // Opens the file to write `bytes` into it: made anew (header first;
    // `createdNow` when no file of the name was there) or appended to. -1
    // with errno set when it cannot be opened.
    int openForWrite(QByteArray& bytes, bool& madeNow, bool& createdNow);
    [[nodiscard]] bool syncDue() const;
    [[nodiscard]] QString failure(const char* what, int code) const;

    QString m_path;
    QString m_basePath;
    Naming m_naming = Naming::Replace;
    QByteArray m_header;
    QByteArray m_pending;
    int m_pendingLines = 0;
    int m_timesMade = 0;
    int m_suffix = 1;
    // Until line 1 is in the file, making it replaces (or, with Unique
    // naming, avoids) whatever holds the name, so no line lands under
    // another run's header.
    bool m_headerWritten = false;
    QElapsedTimer m_sinceSync;  // since the last sync, when lines wait for one
    QElapsedTimer m_sinceWrite; // since the last write
    bool m_unsynced = false;
    bool m_lastSynced = false;
};
