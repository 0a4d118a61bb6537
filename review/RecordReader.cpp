#include "review/RecordReader.h"

#include "settings/KeloError.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kHeaderLineLimit = 64 * 1024;
constexpr qint64 kSmallFile = 1024 * 1024; // read by one thread in one piece

void openForReading(QFile& file, const QString& path)
{
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw KeloError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
}

[[noreturn]] void readFailed(const QFile& file)
{
    throw KeloError(QStringLiteral("Cannot read file \"%1\". %2").arg(file.fileName(), file.errorString()));
}

} // namespace

QString readRecordHeaderLine(const QString& path)
{
    QFile file(path);
    openForReading(file, path);
    QByteArray line;
    while (line.size() < kHeaderLineLimit) {
        char block[4096];
        const qint64 n = file.read(block, sizeof block);
        if (n < 0)
            readFailed(file);
        if (n == 0)
            break;
        const QByteArrayView got(block, n);
        const qsizetype lf = got.indexOf('\n');
        if (lf >= 0) {
            line.append(got.first(lf));
            if (line.endsWith('\r'))
                line.chop(1);
            break;
        }
        line.append(got);
    }
    return decodeAnsi(line.left(kHeaderLineLimit));
}

QString headerNameOf(const QString& line)
{
    qsizetype cut = -1;
    for (QChar sep : {QLatin1Char('\\'), QLatin1Char('/'), QLatin1Char(':')})
        cut = std::max(cut, line.lastIndexOf(sep));
    return line.mid(cut + 1);
}

bool isPlainFileName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

RecordReader::RecordReader(const QString& path, int channels, double intervalSeconds, const Regional& regional,
                           ReadOptions options)
    : m_path(path), m_options(options)
{
    if (!QFileInfo(path).isFile())
        throw KeloError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, QStringLiteral("No such file")));
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info{};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        if (m_fd >= 0)
            ::close(m_fd);
        throw KeloError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, why));
    }
    m_fileSize = info.st_size;
    m_options.pieceBytes = std::max<qsizetype>(m_options.pieceBytes, 1);
    m_options.maxLine = std::max<qsizetype>(m_options.maxLine, 1);
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    m_threads = std::clamp(m_options.threads > 0 ? m_options.threads : cores, 1, 16);
    // Small files are not worth a thread; large ones get pieces in whole
    // rounds over the threads, so each thread has the same share.
    if (m_fileSize < kSmallFile && m_options.pieceBytes >= kSmallFile)
        m_threads = 1;
    const qint64 perRound = qint64(m_threads) * m_options.pieceBytes;
    const qint64 pieces = std::max<qint64>(1, (m_fileSize + perRound - 1) / perRound) * m_threads;
    for (qint64 i = 0; i < pieces; ++i)
        if (m_fileSize * i / pieces < m_fileSize * (i + 1) / pieces)
            m_ranges.push_back({m_fileSize * i / pieces, m_fileSize * (i + 1) / pieces});
    m_series.reset(channels, intervalSeconds, regional);
}

RecordReader::~RecordReader()
{
    m_cancel = true;
    wait();
    if (m_fd >= 0)
        ::close(m_fd);
}

void RecordReader::start(std::function<void()> finished)
{
    m_runner = std::thread([this, finished = std::move(finished)] {
        run();
        if (finished)
            finished();
    });
}

void RecordReader::wait()
{
    if (m_runner.joinable())
        m_runner.join();
}

int RecordReader::progress(int scale) const
{
    const double total = 2.0 * double(std::max<qint64>(m_fileSize, 1));
    return int(std::min<double>(scale, double(m_done.load()) / total * scale));
}

void RecordReader::fail(const QString& why)
{
    static std::mutex guard;
    const std::lock_guard lock(guard);
    if (m_failure.isEmpty())
        m_failure = why;
}

template <typename Task> void RecordReader::onThreads(int tasks, Task task)
{
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int i = next++; i < tasks && !m_cancel; i = next++) {
            try {
                task(i);
            } catch (const std::bad_alloc&) {
                m_outOfMemory = true;
                m_cancel = true;
            }
        }
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(m_threads, tasks); ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& h : helpers)
        h.join();
}

bool RecordReader::readAt(QByteArray& buffer, qsizetype at, qint64 offset, qsizetype length, qsizetype* got)
{
    qsizetype total = 0;
    while (total < length) {
        const ssize_t n = ::pread(m_fd, buffer.data() + at + total, size_t(length - total), off_t(offset + total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            fail(QStringLiteral("Cannot read file \"%1\". %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
        if (n == 0)
            break;
        total += n;
    }
    *got = total;
    return true;
}

void RecordReader::readPiece(size_t index)
{
    Piece& piece = m_ranges[index];
    // From the byte before the piece: the first line of the piece starts
    // after the first LF from there (line 1, the header, for the first piece).
    const qint64 from = piece.begin == 0 ? 0 : piece.begin - 1;
    const qsizetype own = qsizetype(piece.end - from);
    constexpr qsizetype kTail = 4096;
    QByteArray bytes;
    bytes.reserve(own + kTail);
    bytes.resize(own);
    qsizetype got = 0;
    if (!readAt(bytes, 0, from, own, &got)) {
        piece.failed = true;
        return;
    }
    bytes.truncate(got);
    m_done += got;
    const char* lf = static_cast<const char*>(std::memchr(bytes.constData(), '\n', size_t(bytes.size())));
    const qsizetype firstLine = lf ? lf - bytes.constData() + 1 : bytes.size();
    if (firstLine >= own || got < own) {
        m_pieces[index] = {}; // no line starts here
        return;
    }
    // The last line starting in the piece runs on into the next: read it to its end.
    const qsizetype lastByte = own - 1;
    if (bytes[lastByte] != '\n') {
        const char* lastLf = static_cast<const char*>(memrchr(bytes.constData(), '\n', size_t(own)));
        const qsizetype lastStart = lastLf ? lastLf - bytes.constData() + 1 : 0;
        for (qsizetype step = kTail;;) {
            const qsizetype at = bytes.size();
            // Room for the limit and a CR LF, so a line of just the limit is not cut.
            const qsizetype want = std::min(step, lastStart + m_options.maxLine + 2 - at);
            if (want <= 0) {
                bytes.truncate(lastStart + m_options.maxLine); // cut: the rest is no line of its own
                break;
            }
            bytes.resize(at + want);
            if (!readAt(bytes, at, from + at, want, &got)) {
                piece.failed = true;
                return;
            }
            bytes.truncate(at + got);
            if (const void* end = std::memchr(bytes.constData() + at, '\n', size_t(got))) {
                bytes.truncate(static_cast<const char*>(end) - bytes.constData() + 1);
                break;
            }
            if (got < want)
                break; // the end of the file
            step *= 2;
        }
    }
    const qsizetype size = bytes.size(); // before the bytes move into the chunk
    m_pieces[index] = scanSampleLines(std::move(bytes), firstLine, size);
}

void RecordReader::run()
{
    try {
        const int pieces = int(m_ranges.size());
        m_pieces.assign(size_t(pieces), RowChunk());
        onThreads(pieces, [this](int i) { readPiece(size_t(i)); });
        // Rows of a piece that failed to read, and of those after it, are not taken.
        for (int i = 0; i < pieces; ++i)
            if (m_ranges[size_t(i)].failed || m_cancel) {
                m_pieces.resize(size_t(i));
                break;
            }
        qint64 rows = 0;
        for (size_t i = 0; i < m_pieces.size(); ++i) {
            m_ranges[i].firstRow = rows;
            rows += m_pieces[i].rows();
        }
        m_series.resize(rows);
        std::vector<LineCounts> counts(m_pieces.size());
        // Parsing in slices of rows, so progress moves and a stop is heard.
        constexpr qsizetype kSlice = 65536;
        onThreads(int(m_pieces.size()), [&](int i) {
            const RowChunk& chunk = m_pieces[size_t(i)];
            for (qsizetype r = 0; r < chunk.rows() && !m_cancel; r += kSlice) {
                const qsizetype end = std::min(chunk.rows(), r + kSlice);
                counts[size_t(i)] += m_series.readRows(chunk, m_ranges[size_t(i)].firstRow, r, end);
                m_done += qint64(double(m_ranges[size_t(i)].end - m_ranges[size_t(i)].begin) * double(end - r)
                                 / double(chunk.rows()));
            }
        });
        for (const LineCounts& c : counts)
            m_series.addCounts(c);
        m_series.fixKeys(0);
        const int channels = m_series.channels();
        const int groups = std::max(1, std::min(channels, m_threads));
        onThreads(groups, [&](int g) {
            m_series.buildBlocks(channels * g / groups, channels * (g + 1) / groups, 0);
        });
    } catch (const std::bad_alloc&) {
        m_outOfMemory = true;
    }
    if (m_outOfMemory) {
        m_pieces.clear();
        m_series.resize(0);
    }
    m_finished = true;
}

void readAllSamples(const QString& path, SampleTable& table, ReadOptions options)
{
    RecordReader reader(path, 0, 1.0, Regional::plain(), options);
    reader.run();
    for (RowChunk& piece : reader.takeRows())
        table.append(std::move(piece));
    if (!reader.failure().isEmpty())
        throw KeloError(reader.failure());
    if (reader.outOfMemory())
        throw std::bad_alloc();
}
