#pragma once
#include "review/RecordSeries.h"
#include "review/SampleTable.h"

#include <QString>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// Line 1 of a record file (without its line end, decoded from code page 949).
// Throws KeloError when the file cannot be opened or read.
[[nodiscard]] QString readRecordHeaderLine(const QString& path);

// The header file's name in line 1: the text after its last "\", "/" or ":".
[[nodiscard]] QString headerNameOf(const QString& line);
// A name that can only mean a file in the record file's own folder: not
// empty, not "." or "..", no control characters.
[[nodiscard]] bool isPlainFileName(const QString& name);

struct ReadOptions {
    static constexpr qsizetype kPieceBytes = 64 * 1024 * 1024;
    static constexpr qsizetype kMaxLine = 256 * 1024 * 1024;

    int threads = 0;                   // 0: one per core
    qsizetype pieceBytes = kPieceBytes; // a piece of the file is read and scanned by one thread
    // A line running this far past the end of its piece is cut here (a file
    // without line ends is not read into one line).
    qsizetype maxLine = kMaxLine;
};

// Reads the sample lines of a record file (every line after line 1) for the
// table and the chart on every core. The file is cut into pieces; each
// thread reads its pieces and finds their lines (a line belongs to the
// piece it starts in), then, once the rows are counted, parses its pieces'
// numbers straight into their place in the series.
class RecordReader {
public:
    // `channels` of the series (which may be fewer than the table's). Throws
    // KeloError when the file cannot be opened.
    RecordReader(const QString& path, int channels, double intervalSeconds,
                 const Regional& regional, ReadOptions options = {});
    ~RecordReader(); // stops a running read and waits for its threads
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // Reads on threads of its own; `finished` is called on one of them at the end.
    void start(std::function<void()> finished);
    // Reads on the calling thread (and helpers) until the end.
    void run();
    void wait();
    [[nodiscard]] bool finished() const { return m_finished.load(); }
    [[nodiscard]] int progress(int scale) const; // 0 .. scale
    [[nodiscard]] qint64 fileSize() const { return m_fileSize; }

    // After the end: why the file could not be read to its end (the rows
    // before the failure are kept), or empty; and what was read.
    [[nodiscard]] QString failure() const { return m_failure; }
    [[nodiscard]] bool outOfMemory() const { return m_outOfMemory; }
    [[nodiscard]] std::vector<RowChunk> takeRows() { return std::move(m_pieces); }
    [[nodiscard]] RecordSeries takeSeries() { return std::move(m_series); }

private:
    struct Piece {
        qint64 begin = 0;
        qint64 end = 0;
        qint64 firstRow = 0;
        bool failed = false;
    };
    void readPiece(size_t index);
    bool readAt(QByteArray& buffer, qsizetype at, qint64 offset, qsizetype length, qsizetype* got);
    void fail(const QString& why);
    template <typename Task> void onThreads(int tasks, Task task);

    QString m_path;
    int m_fd = -1;
    qint64 m_fileSize = 0;
    ReadOptions m_options;
    int m_threads = 1;
    std::vector<Piece> m_ranges;
    std::vector<RowChunk> m_pieces;
    RecordSeries m_series;
    QString m_failure;
    bool m_outOfMemory = false;
    std::atomic<qint64> m_done{0}; // bytes scanned plus bytes parsed
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_finished{false};
    std::thread m_runner;
};

// Reads all sample lines of a record file into `table` at once. Throws
// KeloError when the file cannot be read.
void readAllSamples(const QString& path, SampleTable& table, ReadOptions options = {});
