// kelorec's run when the line misbehaves under it: a line that takes no
// bytes, and a port that stops announcing what it receives.
#include "link/ComPort.h"
#include "monitoring/MonitoringEngine.h"
#include "recorder/Recorder.h"
#include "tests/link/PtyPair.h"
#include "tests/support/EventWait.h"
#include "tests/support/Files.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct LineRun {
    PtyPair line;
    QTemporaryDir dir;
    QStringList log;
    explicit LineRun(const QByteArray& set = "Kiln;1000\r\n01;Z1;0001;1;1200;-100;255\r\n")
    {
        writeBytes(dir.filePath("kiln.khd"), set);
        writeBytes(dir.filePath("Main.ini"), "[ComPort1]\r\nPort=" + line.slavePath().toUtf8() + "\r\n");
    }
    [[nodiscard]] RecorderOptions options() const
    {
        RecorderOptions o;
        o.setPath = dir.filePath("kiln.khd");
        o.programDir = dir.path();
        return o;
    }
    [[nodiscard]] QList<QByteArray> recordLines(const Recorder& r) const
    {
        QList<QByteArray> l = readBytes(r.recordPath()).split('\n');
        l.removeLast();
        return l;
    }
};

} // namespace

// The line's output is held (as by a flow-control stop), so no request can
// leave: the sampling timer still ticks every second, each line one second
// after the one before, and the request leaves once the line moves again.
TEST(KelorecLine, AStalledLineHoldsUpNoSamplingTick)
{
    LineRun run;
    RecorderOptions o = run.options();
    o.delayMs = 50;
    Recorder r(o, systemClock(), Regional::plain(), [&](const QString& l) { run.log << l; });
    ASSERT_EQ(r.prepare(), "");
    const int held = ::open(QFile::encodeName(run.line.slavePath()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::tcflow(held, TCOOFF), 0);
    r.start();
    ASSERT_TRUE(waitUntil([&] { return run.recordLines(r).size() >= 7; }, 30000));
    const QList<QByteArray> lines = run.recordLines(r);
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const auto at = [&](qsizetype k) {
            return QDateTime::fromString(QString::fromLatin1(lines[k].left(15)), "yyyyMMdd/HHmmss");
        };
        EXPECT_EQ(at(i - 1).secsTo(at(i)), 1) << lines[i - 1].toStdString() << " then " << lines[i].toStdString();
    }
    EXPECT_TRUE(run.line.readAvailable().isEmpty());

    ASSERT_EQ(::tcflow(held, TCOON), 0);
    ::close(held);
    const QByteArray request = "\x02" "01DRS,01,0001\r\n";
    QByteArray got;
    EXPECT_TRUE(waitUntil([&] {
        got += run.line.readAvailable();
        return got.contains(request);
    })) << got.toStdString() << run.log.join('\n').toStdString();
    EXPECT_EQ(r.finish(), 0);
}

// A port whose receive notifications stopped is said in the log and opened
// again: the next reply is read and credited.
TEST(KelorecLine, AStoppedReceiveIsLoggedAndThePortOpenedAgain)
{
    LineRun run;
    Recorder r(run.options(), systemClock(), Regional::plain(), [&](const QString& l) { run.log << l; });
    ASSERT_EQ(r.prepare(), "");
    r.start(false);
    ASSERT_TRUE(r.port().Connected());
    Q_EMIT r.port().receiveStopped(QStringLiteral("ReadFile function failed"));
    ASSERT_TRUE(waitUntil([&] { return !run.log.filter("is open").isEmpty(); }));
    EXPECT_EQ(run.log.filter("receiving stopped: ReadFile function failed; opening the port").size(), 1)
        << run.log.join('\n').toStdString();

    r.pollTick();
    const QByteArray request = "\x02" "01DRS,01,0001\r\n";
    ASSERT_EQ(run.line.read(request.size()), request);
    run.line.write("\x02" "01DRS,OK,04D2\r\n");
    EXPECT_TRUE(waitUntil([&] { return r.engine().valueText(1) == "123.4"; }));
    EXPECT_EQ(r.finish(), 0);
}
