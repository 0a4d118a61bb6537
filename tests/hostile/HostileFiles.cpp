#include "tests/hostile/HostileFiles.h"

#include "monitoring/MinputP.h"
#include "monitoring/MonitoringP.h"
#include "review/DataViewP.h"
#include "review/SampleModel.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"
#include "widgets/ColumnGrid.h"
#include "widgets/TrendChart.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QRandomGenerator>
#include <algorithm>
#include <memory>

namespace {

constexpr qsizetype kHugeLine = 100 * 1024 * 1024;
constexpr int kManyChannels = 100000;

const QByteArray kPlainSet = "Furnace;1000\r\n01;Zone 1;0001;1;1200;-100;255\r\n02;Zone 2;0001;0;1200;-100;65280\r\n";

QByteArray garbage(quint32 seed, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char& b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

QByteArray plainRecord(const QByteArray& headerName)
{
    return headerName + "\r\n20240105/143022;1.0;2;\r\n20240105/143023;1.1;3;\r\n";
}

QByteArray manyChannels(int n)
{
    QByteArray bytes = "Many;1000\r\n";
    bytes.reserve(n * 32);
    for (int c = 1; c <= n; ++c)
        bytes += QByteArray::number(c % 100).rightJustified(2, '0') + ";C" + QByteArray::number(c)
            + ";0001;1;1200;-100;255\r\n";
    return bytes;
}

QByteArray manyFields(int n, int lines)
{
    QByteArray bytes = "set.khd\r\n";
    for (int l = 0; l < lines; ++l) {
        bytes += "20240105/1430" + QByteArray::number(10 + l) + ';';
        for (int c = 0; c < n; ++c)
            bytes += "12.3;";
        bytes += "\r\n";
    }
    return bytes;
}

// A literal with its NUL bytes.
template <std::size_t N>
QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

std::function<QByteArray()> fixed(const QByteArray& bytes)
{
    return [bytes] { return bytes; };
}

template <typename Widget>
void forget(std::unique_ptr<Widget>& w)
{
    w.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

qint64 longestIn(const ColumnGrid& grid, int firstRow)
{
    qint64 longest = 0;
    for (int r = firstRow; r < grid.rowCount(); ++r)
        for (int c = 0; c < grid.columnCount(); ++c)
            longest = std::max<qint64>(longest, grid.text(r, c).size());
    return longest;
}

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

const std::vector<HostileCase>& hostileCases()
{
    static const std::vector<HostileCase> cases = {
        {"GarbageSet", [] { return garbage(1, 64 * 1024); }, {}},
        {"GarbageRecord", {}, [] { return garbage(2, 64 * 1024); }},
        {"GarbageSamples", {}, [] { return "set.khd\r\n" + garbage(3, 64 * 1024); }},
        {"HugeTitleLine", [] { return QByteArray(kHugeLine, 'T') + ";1000\r\n01;Zone;0001;1;100;0;255\r\n"; }, {}},
        {"HugeChannelLine",
         [] { return "T;1000\r\n01;" + QByteArray(kHugeLine, 'C') + ";0001;1;100;0;255\r\n"; }, {}},
        {"HugeLineWithoutLineEnd", [] { return QByteArray(kHugeLine, 'x'); }, [] { return QByteArray(kHugeLine, 'x'); }},
        {"HugeRecordFirstLine", {}, [] { return QByteArray(kHugeLine, 'x') + "\r\n20240105/143022;1;2;\r\n"; }},
        {"HugeSampleLine", {},
         [] { return "set.khd\r\n20240105/143022;" + QByteArray(kHugeLine, '1') + ";2;\r\n20240105/143023;1;2;\r\n"; }},
        {"ThousandChannels", [] { return manyChannels(1000); }, {}},
        {"HundredThousandChannels", [] { return manyChannels(kManyChannels); }, {}},
        {"HundredThousandFieldsPerSample", {}, [] { return manyFields(kManyChannels, 20); }},
        {"HundredThousandChannelsAndFields", [] { return manyChannels(kManyChannels); },
         [] { return manyFields(kManyChannels, 20); }},
        {"InvalidCodePage949",
         fixed("\x80\xFF\xB0;1000\r\n01;\xC9\x20\xB0\xA1\xFF;0001;1;100;0;255\r\n02;end\xB0;0001;0;100;0;255\r\n"),
         fixed("set.khd\r\n20240105/143022;\xFF\x80;\xB0;\r\n20240105/143023\xB0;1;2\xC9;\r\n")},
        {"InvalidCodePage949InHeaderName", {}, fixed(plainRecord("\xB0\xA1\xFF\x80.khd"))},
        {"NulBytes", fixed(raw("Ti\0tle;10\0" "00\r\n01;Ca\0p;0001;1;100;0;255\r\n\0\0\0\r\n")),
         fixed(raw("set.khd\r\n2024\0" "0105/143022;1\0;2;\r\n\0\0\0\r\n"))},
        {"NulInHeaderName", {}, fixed(plainRecord(raw("set.khd\0junk")))},
        {"OnlyNulBytes", fixed(QByteArray(4096, '\0')), fixed(QByteArray(4096, '\0'))},
        {"HeaderNameWithParentFolder", {}, fixed(plainRecord("../set.khd"))},
        {"HeaderNameDotDot", {}, fixed(plainRecord(".."))},
        {"HeaderNameDot", {}, fixed(plainRecord("."))},
        {"HeaderNameAbsolutePath", {}, fixed(plainRecord("/etc/passwd"))},
        {"HeaderNameWithSubfolder", {}, fixed(plainRecord("sub/set.khd"))},
        {"HeaderNameEmpty", {}, fixed(plainRecord(""))},
        {"HeaderNameWithControlCharacters", {}, fixed(plainRecord("set\x07\x1b[2J.khd")),
         QStringLiteral("set\x07\x1b[2J.khd")},
        {"SetFileNameWithControlCharacters", {}, fixed(plainRecord("a\x01\x7f" "b.khd")),
         QStringLiteral("a\x01\x7f" "b.khd")},
        {"CaptionsWithSlashesDotsAndControlCharacters",
         fixed("../..;1000\r\n01;../x;0001;1;100;0;255\r\n02;a/b\\c;0001;1;100;0;255\r\n"
               "03;\x1b[31mred\x07\t;0001;1;100;0;255\r\n04;..;0001;1;100;0;255\r\n"),
         {}},
        {"EmptyFiles", fixed(QByteArray()), fixed(QByteArray())},
        {"OnlyLineEnds", fixed(QByteArray(100000, '\n')), fixed("set.khd" + QByteArray(100000, '\n'))},
    };
    return cases;
}

const char* readerName(Reader reader)
{
    switch (reader) {
    case Reader::Monitoring: return "monitoring";
    case Reader::Editor: return "editor";
    case Reader::Viewer: return "viewer";
    }
    return "";
}

bool caseConcerns(const HostileCase& c, Reader reader)
{
    return reader == Reader::Viewer || bool(c.set);
}

HostilePaths writeHostileFiles(const HostileCase& c, const QString& folder)
{
    HostilePaths paths;
    paths.set = QDir(folder).filePath(c.setName);
    paths.record = QDir(folder).filePath(QStringLiteral("run.kmr"));
    writeBytes(paths.set, c.set ? c.set() : kPlainSet);
    writeBytes(paths.record, c.record ? c.record() : plainRecord("set.khd"));
    return paths;
}

OpenOutcome openIn(Reader reader, const HostilePaths& paths)
{
    OpenOutcome out;
    ScriptedDialogs dialogs;
    AppContext context{dialogs, systemClock(), Regional::plain()};
    QElapsedTimer timer;
    QStringList escaped;
    // An error that escapes a handler is what the application's error box would show.
    const auto run = [&](const std::function<void()>& handler) {
        timer.start();
        try {
            handler();
        } catch (const KeloError& e) {
            escaped << QStringLiteral("error: ") + e.text();
        } catch (const std::exception& e) {
            escaped << QStringLiteral("escaped: ") + QString::fromLocal8Bit(e.what());
        }
        out.openMs = msSince(timer);
    };
    const auto paint = [&](QWidget& w) {
        timer.start();
        (void)w.grab();
        QCoreApplication::processEvents();
        out.paintMs = msSince(timer);
    };

    switch (reader) {
    case Reader::Monitoring: {
        auto w = std::make_unique<TMonitoringF>(context);
        w->resize(1200, 800);
        w->FormShow();
        dialogs.clear(); // the port complaint of a program directory without a line
        dialogs.openNames.push_back(paths.set);
        run([&] { w->butOpenClick(); });
        paint(*w);
        const auto* list = w->findChild<ColumnGrid*>(QStringLiteral("acGrd1"));
        out.channels = list->text(1, 0).isEmpty() ? 0 : list->rowCount() - 1;
        out.longestText = std::max<qint64>(longestIn(*list, 1), w->findChild<TrendChart*>()->title().size());
        forget(w);
        break;
    }
    case Reader::Editor: {
        auto w = std::make_unique<TMinputF>(context);
        w->FormShow();
        dialogs.openNames.push_back(paths.set);
        run([&] { w->butOpenClick(); });
        paint(*w);
        const auto* grid = w->findChild<ColumnGrid*>(QStringLiteral("acGrd1"));
        out.channels = grid->text(1, 0).isEmpty() ? 0 : grid->rowCount() - 1;
        out.longestText
            = std::max<qint64>(longestIn(*grid, 1), w->findChild<QLineEdit*>(QStringLiteral("edtTitle"))->text().size());
        forget(w);
        break;
    }
    case Reader::Viewer: {
        auto w = std::make_unique<TDataViewF>(context);
        w->show();
        dialogs.openNames.push_back(paths.record);
        run([&] { w->bbtOpenClick(); });
        // The rest is read a slice at a time between events: the longest
        // slice is how long the window stops answering.
        QElapsedTimer slice;
        while (w->busy()) {
            slice.start();
            QCoreApplication::processEvents();
            out.longestSliceMs = std::max(out.longestSliceMs, msSince(slice));
        }
        out.longestSliceMs = std::max(out.longestSliceMs, out.openMs);
        paint(*w);
        const SampleTable& table = w->model().table();
        out.channels = table.loaded() ? table.columnCount() - 2 : 0;
        out.samples = table.sampleCount();
        const auto* list = w->findChild<QListWidget*>(QStringLiteral("lsbHd"));
        for (int i = 0; i < list->count(); ++i)
            out.longestText = std::max<qint64>(out.longestText, list->item(i)->text().size());
        forget(w);
        break;
    }
    }
    for (const auto& m : dialogs.messages)
        out.messages << m.text;
    for (const QString& e : dialogs.errors)
        out.messages << QStringLiteral("error: ") + e;
    out.messages << escaped;
    return out;
}
