#pragma once
#include "review/SampleTable.h"

#include <QFile>
#include <QString>

// Line 1 of a record file (without its line end, decoded from code page 949).
// Throws KeloError when the file cannot be opened or read.
[[nodiscard]] QString readRecordHeaderLine(const QString& path);

// The header file's name in line 1: the text after its last "\", "/" or ":".
[[nodiscard]] QString headerNameOf(const QString& line);
// A name that can only mean a file in the record file's own folder: not
// empty, not "." or "..", no control characters.
[[nodiscard]] bool isPlainFileName(const QString& name);

// Reads the sample lines (every line after line 1) of a record file a block
// at a time, so a window can show rows while the rest is still being read.
class RecordReader {
public:
    static constexpr qsizetype kDefaultBlock = 2 * 1024 * 1024;
    // Longer lines are cut here and the rest of them is skipped.
    static constexpr qsizetype kMaxLine = 256 * 1024 * 1024;

    // `fields`: the field columns of the table the rows go to. Throws KeloError
    // when the file cannot be opened.
    RecordReader(const QString& path, int fields, qsizetype blockSize = kDefaultBlock,
                 qsizetype maxLine = kMaxLine);

    // Reads one more block and returns the lines completed by it. Throws
    // KeloError on a read failure.
    [[nodiscard]] RowChunk readBlock();
    [[nodiscard]] bool atEnd() const { return m_atEnd; }
    [[nodiscard]] qint64 bytesRead() const { return m_bytesRead; }
    [[nodiscard]] qint64 fileSize() const { return m_fileSize; }

private:
    QFile m_file;
    int m_fields;
    qsizetype m_blockSize;
    qsizetype m_maxLine;
    QByteArray m_carry;      // the unfinished line after the last complete one
    bool m_inFirstLine = true;
    bool m_skipping = false; // inside the cut-off rest of an over-long line
    bool m_atEnd = false;
    qint64 m_bytesRead = 0;
    qint64 m_fileSize = 0;
};

// Reads all sample lines of a record file into `table` at once.
void readAllSamples(const QString& path, SampleTable& table);
