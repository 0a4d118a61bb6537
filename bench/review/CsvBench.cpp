// CSV(전체) of a month of 1 s samples of 10 channels: the writer alone, on
// the calling thread's side (it uses every core itself), timed and in CPU.
//   kelo_review_csv_bench [lines] [channels]
#include "BenchFiles.h"
#include "review/RecordCsv.h"
#include "review/RecordReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 lines = argc > 1 ? QByteArray(argv[1]).toLongLong() : 2592000;
    const int channels = argc > 2 ? QByteArray(argv[2]).toInt() : 10;
    QTemporaryDir dir;
    const QString record = dir.filePath(QStringLiteral("month.kmr"));
    writeMonthRecord(record, lines, channels);
    QStringList captions;
    for (int c = 1; c <= channels; ++c)
        captions << QStringLiteral("CH%1").arg(c);
    SampleTable table;
    table.setChannels(captions, Regional::plain());
    readAllSamples(record, table);

    QFile out(dir.filePath(QStringLiteral("all.csv")));
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    const double cpu0 = processSeconds();
    QElapsedTimer clock;
    clock.start();
    const bool written = writeRecordCsv(out, table, 0, table.sampleCount(), Regional::plain());
    out.close();
    std::printf("CSV of %lld rows: %s in %lld ms (%.0f ms CPU), %.1f MB\n", (long long)table.sampleCount(),
                written ? "written" : "FAILED", (long long)clock.elapsed(), (processSeconds() - cpu0) * 1000,
                out.size() / 1e6);
    return written ? 0 : 1;
}
