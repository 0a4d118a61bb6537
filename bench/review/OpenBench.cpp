// Time from "불러오기" to a shown grid and peak memory against the file size,
// for a record file of 1,000,000 samples of 10 channels (or the count given).
#include "BenchDialogs.h"
#include "BenchFiles.h"
#include "review/DataViewP.h"
#include "review/SampleModel.h"
#include "settings/FuncP.h"
#include "widgets/AppContext.h"
#include "widgets/Fonts.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    initKeloResources();
    const qint64 lines = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const int channels = argc > 2 ? QByteArray(argv[2]).toInt() : 10;

    QTemporaryDir dir;
    BenchDialogs dialogs;
    dialogs.openName = prepareBenchFolder(dir.path(), channels, QStringLiteral("bench.kmr"));
    if (dialogs.openName.isEmpty())
        return 1;
    const qint64 fileSize = writeBenchRecord(dialogs.openName, lines, channels);

    AppContext context{dialogs};
    TDataViewF view(context);
    view.show();
    app.processEvents();
    view.repaint();
    const qint64 before = residentBytes("VmRSS:");
    resetPeakResident();

    const double cpu0 = processSeconds();
    QElapsedTimer clock;
    clock.start();
    view.bbtOpenClick();
    app.processEvents();
    view.repaint();
    const qint64 firstRows = clock.elapsed();
    const double firstCpu = processSeconds() - cpu0;
    while (view.busy()) // the window's own slices, between events as the event loop runs them
        app.processEvents();
    view.repaint();
    const qint64 loaded = clock.elapsed();
    const double loadedCpu = processSeconds() - cpu0;
    const qint64 peak = residentBytes("VmHWM:") - before;

    std::printf("record file: %lld samples x %d channels, %.1f MB\n", (long long)view.model().table().sampleCount(),
                channels, fileSize / 1e6);
    std::printf("first rows shown after  %lld ms (%.0f ms CPU)\n", (long long)firstRows, firstCpu * 1000);
    std::printf("whole file shown after  %lld ms (%.0f ms CPU)\n", (long long)loaded, loadedCpu * 1000);
    std::printf("row store               %.1f MB (%.2f x file)\n", view.model().table().memoryBytes() / 1e6,
                double(view.model().table().memoryBytes()) / double(fileSize));
    std::printf("peak resident growth    %.1f MB (%.2f x file)\n", peak / 1e6, double(peak) / double(fileSize));
    return 0;
}
