// Workbook export speed (cells per second) and its peak memory at 100,000 and
// at 1,000,000 samples of 10 channels; the ratio of the two peaks shows that
// the writer's memory does not grow with the rows.
#include "BenchFiles.h"
#include "review/RecordReader.h"
#include "review/WorkbookExport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int channels = 10;
    QTemporaryDir dir;
    QStringList captions;
    for (int c = 1; c <= channels; ++c)
        captions << QStringLiteral("CH%1").arg(c);

    std::vector<double> peaks;
    for (qint64 rows : {100000LL, 1000000LL}) {
        const QString record = dir.filePath(QStringLiteral("bench.kmr"));
        writeBenchRecord(record, rows, channels);
        SampleTable table;
        table.setChannels(captions, Regional::plain());
        readAllSamples(record, table);

        const qint64 before = residentBytes("VmRSS:");
        resetPeakResident();
        const double cpu0 = processSeconds();
        QElapsedTimer clock;
        clock.start();
        const QString workbook = exportWorkbook(table, QStringLiteral("Bench"), Regional::plain(), dir.path(),
                                                QStringLiteral("bench.kmr"));
        const double seconds = clock.nsecsElapsed() / 1e9;
        const double cpu = processSeconds() - cpu0;
        const qint64 peak = residentBytes("VmHWM:") - before;
        const double cells = double(rows) * table.columnCount();
        std::printf("%8lld rows: %.0f cells in %.2f s (%.2f s CPU) = %.0f cells/s (%.0f per CPU second);"
                    " workbook %.1f MB; peak growth %.1f MB\n",
                    (long long)rows, cells, seconds, cpu, cells / seconds, cells / cpu,
                    QFileInfo(workbook).size() / 1e6, peak / 1e6);
        peaks.push_back(double(peak));
        QFile::remove(workbook);
    }
    std::printf("peak growth at 1,000,000 rows / at 100,000 rows = %.2f\n", peaks[1] / peaks[0]);
    return 0;
}
