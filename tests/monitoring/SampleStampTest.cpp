// The stamps of the sampling ticks: each second once, at any phase of the
// wall clock against the timer's clock.
#include "link/ComPort.h"
#include "link/ReplyAssembler.h"
#include "monitoring/MonitoringEngine.h"
#include "tests/support/Files.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(SampleStamps, EachSecondIsStampedOnceAtAnyPhaseOfTheWallClock)
{
    // Where in its second the wall clock stands when the timer ticks, and
    // how far each tick strays from its time.
    struct Case { int phaseMs; int jitterMs; };
    const Case cases[] = {{0, 3}, {1, 3}, {500, 40}, {998, 3}, {999, 3}, {999, 1}, {2, 200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phaseMs);
        QTemporaryDir dir;
        TComPort port;
        ReplyAssembler assembler;
        QDateTime now(QDate(2026, 12, 9), QTime(23, 59, 50).addMSecs(c.phaseMs));
        MonitoringEngine engine(port, assembler, [&] { return now; }, Regional::plain(), steadyClock());
        engine.setChannels({ChannelDef{"01", "Z1", "0001", "1", "100", "0", "255"}}, "set.khd");
        engine.setSamplingInterval(1000);
        engine.start(dir.filePath("run.kmr"), false);
        const QDateTime start = now;
        const QDateTime startSecond(start.date(), QTime(start.time().hour(), start.time().minute(), start.time().second()));
        QRandomGenerator jitter(quint32(c.phaseMs + 1));
        for (int k = 1; k <= 131; ++k) {
            now = start.addMSecs(qint64(k) * 1000 + jitter.bounded(-c.jitterMs, c.jitterMs + 1));
            engine.sampleTick(false);
        }
        QList<QByteArray> lines = readBytes(dir.filePath("run.kmr")).split('\n');
        lines.removeLast();
        ASSERT_EQ(lines.size(), 132);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QDateTime t = QDateTime::fromString(QString::fromLatin1(lines[i].left(15)), "yyyyMMdd/HHmmss");
            ASSERT_EQ(startSecond.secsTo(t), i) << "line " << i + 1 << ": " << lines[i].toStdString();
        }
    }
}
