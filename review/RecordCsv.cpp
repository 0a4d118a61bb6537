#include "review/RecordCsv.h"

#include "review/RecordSeries.h"

#include <QLoggingCategory>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcCsvExport, "kelo.review.csv")

QByteArray csvField(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
        return utf8;
    utf8.replace("\"", "\"\"");
    return '"' + utf8 + '"';
}

bool writeRecordCsv(QIODevice& out, const SampleTable& table, qint64 first, qint64 end, const Regional& regional)
{
    return writeRecordCsv(out, table, CsvRows{first, end, {}, true}, regional);
}

namespace {

// Rows [first, end) as CSV lines, appended to `out`.
void formatRows(QByteArray& out, const SampleTable& table, qint64 first, qint64 end, const std::vector<int>& channels,
                const Regional& regional)
{
    std::vector<QByteArrayView> fields;
    char number[32];
    for (qint64 r = first; r < end; ++r) {
        table.fields(r, fields);
        const QByteArrayView stamp = fields[0];
        if (isRecordStamp(stamp)) { // YYYYMMDD/HHNNSS -> YYYY-MM-DDTHH:NN:SS
            const char* p = stamp.data();
            const char iso[] = {p[0], p[1], p[2], p[3], '-', p[4], p[5], '-', p[6], p[7], 'T',
                                p[9], p[10], ':', p[11], p[12], ':', p[13], p[14]};
            out.append(iso, sizeof iso);
        } else if (!stamp.isEmpty()) {
            out += csvField(decodeAnsi(stamp)); // kept as written, so the row can still be told apart
        }
        for (int c : channels) {
            out += ',';
            if (appendPlainNumber(out, fields[size_t(c)], regional))
                continue;
            if (const std::optional<double> v = readRecordValue(fields[size_t(c)], regional)) {
                const auto [ptr, ec] = std::to_chars(number, number + sizeof number, *v);
                out.append(number, ec == std::errc() ? ptr - number : 0);
            }
        }
        out += "\r\n";
    }
}

} // namespace

bool writeRecordCsv(QIODevice& out, const SampleTable& table, const CsvRows& rows, const Regional& regional,
                    const CsvProgress& progress)
{
    std::vector<int> channels;
    for (int c = 1; c < table.fieldColumns(); ++c)
        if (rows.allChannels || std::find(rows.channels.begin(), rows.channels.end(), c) != rows.channels.end())
            channels.push_back(c);
    QByteArray head = "\xEF\xBB\xBF";
    head += csvField(table.header(0));
    for (int c : channels)
        head += ',' + csvField(table.header(c));
    head += "\r\n";
    if (out.write(head) != head.size())
        return false;
    const qint64 first = std::clamp<qint64>(rows.first, 0, table.sampleCount());
    const qint64 end = std::clamp<qint64>(rows.end, first, table.sampleCount());
    // Slices of rows are formatted on every core at once and written in order.
    constexpr qint64 kSlice = 16384;
    const int threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    std::vector<QByteArray> buffers(static_cast<size_t>(threads));
    for (qint64 r = first; r < end;) {
        const int slices = int(std::min<qint64>(threads, (end - r + kSlice - 1) / kSlice));
        std::vector<std::thread> helpers;
        for (int s = 0; s < slices; ++s) {
            const qint64 from = r + s * kSlice, to = std::min(end, from + kSlice);
            QByteArray& buffer = buffers[size_t(s)];
            buffer.resize(0);
            const auto format = [&buffer, &table, from, to, &channels, &regional] {
                formatRows(buffer, table, from, to, channels, regional);
            };
            if (s + 1 < slices)
                helpers.emplace_back(format);
            else
                format();
        }
        for (std::thread& h : helpers)
            h.join();
        for (int s = 0; s < slices; ++s)
            if (out.write(buffers[size_t(s)]) != buffers[size_t(s)].size())
                return false;
        r = std::min(end, r + slices * kSlice);
        if (progress && !progress(r - first))
            return false;
    }
    return true;
}

CsvExport::CsvExport(const SampleTable& table, QString path, CsvRows rows, const Regional& regional)
    : m_table(table), m_path(std::move(path)), m_rows(std::move(rows)), m_regional(regional)
{
}

CsvExport::~CsvExport()
{
    stop();
    wait();
}

namespace {

// The export and the formatting threads it starts (they inherit it) run
// below the window's priority: on a machine with as many busy threads as
// cores the window's thread is still scheduled first and keeps repainting.
void yieldToWindow()
{
    const pid_t thread = pid_t(::syscall(SYS_gettid));
    if (::setpriority(PRIO_PROCESS, id_t(thread), 10) != 0)
        qCWarning(lcCsvExport) << "the CSV export keeps the window's priority:" << std::strerror(errno);
}

} // namespace

void CsvExport::start(std::function<void()> finished)
{
    m_thread = std::thread([this, finished = std::move(finished)] {
        yieldToWindow();
        run();
        if (finished)
            finished();
    });
}

void CsvExport::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

int CsvExport::progress(int scale) const
{
    const qint64 total = std::max<qint64>(1, m_rows.end - m_rows.first);
    return int(std::min<qint64>(scale, m_written.load() * scale / total));
}

void CsvExport::run()
{
    QSaveFile file(m_path);
    const auto keepGoing = [this](qint64 rows) {
        m_written = rows;
        return !m_stop.load();
    };
    const bool written = file.open(QIODevice::WriteOnly)
        && writeRecordCsv(file, m_table, m_rows, m_regional, keepGoing) && !m_stop.load() && file.commit();
    if (written) {
        m_written = m_rows.end - m_rows.first;
        m_outcome = Outcome::Written;
        return;
    }
    if (!m_stop.load())
        m_failure = file.errorString();
    file.cancelWriting();
    m_outcome = m_stop.load() ? Outcome::Stopped : Outcome::Failed;
}
