#pragma once
#include "review/SampleTable.h"

#include <QByteArray>
#include <QIODevice>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// What goes into a CSV file: rows [first, end) of the table and every
// channel, or the channel columns listed (field columns 1..N, in order).
struct CsvRows {
    qint64 first = 0;
    qint64 end = 0;
    std::vector<int> channels;
    bool allChannels = true;
};

// Told how many rows are written, every few thousand rows; false stops the writing.
using CsvProgress = std::function<bool(qint64 rowsWritten)>;

// The samples as CSV that other tools read without settings: UTF-8 (with a
// byte-order mark, so spreadsheets take it as UTF-8), CR LF line ends, a
// header line "Date/Time" and the channels' captions, then per row the time
// stamp in ISO 8601 (2024-01-05T14:30:23, local time) and each channel's
// value with "." as the decimal point and no grouping.
// A field that is empty, missing or does not read as a number is left
// empty; a stamp that does not read as a time is written as it stands.
// Returns false when the device refuses the bytes or `progress` said stop.
bool writeRecordCsv(QIODevice& out, const SampleTable& table, const CsvRows& rows, const Regional& regional,
                    const CsvProgress& progress = {});
bool writeRecordCsv(QIODevice& out, const SampleTable& table, qint64 first, qint64 end, const Regional& regional);

// One CSV field: quoted when it holds a comma, a quote or a line end.
[[nodiscard]] QByteArray csvField(const QString& text);

// Writes a CSV file on a thread of its own. The bytes go to a temporary file
// beside the chosen one, which takes the chosen name only when complete: a
// stopped or failed export leaves nothing under that name (and an older file
// there as it was).
class CsvExport {
public:
    enum class Outcome { Running, Written, Stopped, Failed };

    // `table` stays alive and unchanged until the export has finished.
    CsvExport(const SampleTable& table, QString path, CsvRows rows, const Regional& regional);
    ~CsvExport(); // stops a running export and waits for it
    CsvExport(const CsvExport&) = delete;
    CsvExport& operator=(const CsvExport&) = delete;

    // `finished` is called on the export's thread at the end.
    void start(std::function<void()> finished);
    void run(); // on the calling thread
    void stop() { m_stop = true; }
    void wait();

    [[nodiscard]] int progress(int scale) const;
    [[nodiscard]] bool finished() const { return m_outcome.load() != Outcome::Running; }
    [[nodiscard]] Outcome outcome() const { return m_outcome.load(); }
    [[nodiscard]] QString failure() const { return m_failure; } // why it Failed
    [[nodiscard]] QString path() const { return m_path; }

private:
    const SampleTable& m_table;
    QString m_path;
    CsvRows m_rows;
    Regional m_regional;
    QString m_failure;
    std::atomic<qint64> m_written{0};
    std::atomic<bool> m_stop{false};
    std::atomic<Outcome> m_outcome{Outcome::Running};
    std::thread m_thread;
};
