// The engine's rules on a scripted line: no window, no device. Each case is
// a script of ticks and replies and the events the engine reports.
#include "link/FrameProtocol.h"
#include "link/ReplyAssembler.h"
#include "monitoring/MonitoringEngine.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedLine.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The engine on a scripted line, its clocks in the test's hands, and every
// event it reports as one short line.
struct Bench {
    explicit Bench(int channels)
        : engine(line, assembler, [this] { return now; }, Regional::plain(), [this] { return steadyMs; })
    {
        QList<ChannelDef> defs;
        for (int c = 1; c <= channels; ++c)
            defs << ChannelDef{QStringLiteral("0%1").arg(c), QStringLiteral("Z%1").arg(c), "0001", "1", "100", "0", "255"};
        engine.setChannels(defs, "set.khd");
        engine.setSamplingInterval(1000);
        engine.setPollTiming(100, 500);
        using E = MonitoringEngine;
        QObject::connect(&engine, &E::requestSent, [this](int c, const QByteArray& f) {
            events << QStringLiteral("sent %1 %2").arg(c).arg(QString::fromLatin1(FrameContent(f)));
        });
        QObject::connect(&engine, &E::exchangeEnded, [this](int c, E::Outcome o, qint64 ms) {
            const char* names[] = {"ok", "refused", "missed"};
            events << QStringLiteral("ended %1 %2 %3").arg(c).arg(names[int(o)]).arg(ms);
        });
        QObject::connect(&engine, &E::pollSkipped, [this](int c) { events << QStringLiteral("skipped %1").arg(c); });
        QObject::connect(&engine, &E::replyDropped, [this](const QByteArray& f) {
            events << QStringLiteral("dropped %1").arg(QString::fromLatin1(FrameContent(f)));
        });
        QObject::connect(&engine, &E::channelLost, [this](int c, bool refused) {
            events << QStringLiteral("lost %1%2").arg(c).arg(refused ? " NG" : "");
        });
        QObject::connect(&engine, &E::channelAnswering, [this](int c) { events << QStringLiteral("answering %1").arg(c); });
        QObject::connect(&engine, &E::valueChanged, [this](int c, const QString& t) {
            if (!t.isEmpty())
                events << QStringLiteral("value %1 %2").arg(c).arg(t);
        });
        QObject::connect(&engine, &E::sendFailed, [this](const QString&, const QString& cause) {
            events << QStringLiteral("send failed: %1").arg(cause);
        });
        QObject::connect(&engine, &E::sendRecovered, [this] { events << QStringLiteral("send recovered"); });
    }

    // "t+N": the steady clock moves N ms; "tick"/"test tick": a poll tick;
    // "AA OK hhhh" or "AA NG": a reply from address AA; "refuse"/"take": the line.
    void run(const QStringList& script)
    {
        for (const QString& step : script) {
            if (step.startsWith("t+"))
                steadyMs += step.mid(2).toInt();
            else if (step == "tick" || step == "test tick")
                engine.pollTick(step == "test tick");
            else if (step == "refuse" || step == "take")
                line.refusing = step == "refuse";
            else {
                const QStringList p = step.split(' ');
                const QString body = p[1] == "OK" ? "DRS,OK," + p[2] : QStringLiteral("DRS,NG,01");
                (void)engine.receive(BuildFrame((p[0] + body).toLatin1()));
            }
        }
    }

    ScriptedLine line;
    ReplyAssembler assembler;
    QDateTime now = QDateTime(QDate(2026, 12, 9), QTime(10, 0));
    qint64 steadyMs = 0;
    MonitoringEngine engine;
    QStringList events;
};

} // namespace

TEST(EngineRules, CreditMissSkipAndDropAsTheScriptSays)
{
    struct Case {
        const char* name;
        int channels;
        QStringList script;
        QStringList events;
    };
    const Case cases[] = {
        {"a reply is credited to the awaited channel with its time", 2,
         {"tick", "t+30", "01 OK 00C8"},
         {"sent 1 01DRS,01,0001", "ended 1 ok 30", "value 1 20.0"}},
        {"a tick while the reply is awaited sends nothing", 2,
         {"tick", "t+100", "tick", "t+20", "01 OK 0001", "t+80", "tick"},
         {"sent 1 01DRS,01,0001", "skipped 1", "ended 1 ok 120", "value 1 0.1", "sent 2 02DRS,01,0001"}},
        {"a passed time-out ends the request unanswered and the next goes out", 2,
         {"tick", "t+500", "tick"},
         {"sent 1 01DRS,01,0001", "ended 1 missed 0", "sent 2 02DRS,01,0001"}},
        {"another address's reply is dropped and the request stays awaited", 2,
         {"tick", "t+10", "02 OK 0001", "t+10", "01 OK 0002"},
         {"sent 1 01DRS,01,0001", "dropped 02DRS,OK,0001", "ended 1 ok 20", "value 1 0.2"}},
        {"a reply with no request out is dropped", 1,
         {"01 OK 0001"},
         {"dropped 01DRS,OK,0001"}},
        {"three requests unanswered zero the channel at the next tick", 1,
         {"tick", "t+500", "tick", "t+500", "tick", "t+500", "tick", "t+10", "01 OK 0003"},
         {"sent 1 01DRS,01,0001", "ended 1 missed 0", "sent 1 01DRS,01,0001", "ended 1 missed 0",
          "sent 1 01DRS,01,0001", "ended 1 missed 0", "value 1 0", "lost 1", "sent 1 01DRS,01,0001",
          "ended 1 ok 10", "answering 1", "value 1 0.3"}},
        {"the third refusal zeroes the channel as refused", 1,
         {"tick", "01 NG", "tick", "01 NG", "tick", "01 NG"},
         {"sent 1 01DRS,01,0001", "ended 1 refused 0", "sent 1 01DRS,01,0001", "ended 1 refused 0",
          "sent 1 01DRS,01,0001", "ended 1 refused 0", "value 1 0", "lost 1 NG"}},
        // The request still out when test mode begins is booked against its
        // own channel; its late reply, after live mode is back, is nobody's.
        {"test mode ends the awaited request, and its late reply is dropped", 2,
         {"tick", "test tick", "test tick", "tick", "t+10", "01 OK 0001"},
         {"sent 1 01DRS,01,0001", "ended 1 missed 0", "sent 2 02DRS,01,0001", "dropped 01DRS,OK,0001"}},
        {"a failing line is said once, and its recovery once", 1,
         {"refuse", "tick", "tick", "take", "tick", "tick"},
         {"send failed: the port took no bytes", "sent 1 01DRS,01,0001", "send recovered", "skipped 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench(c.channels);
        bench.run(c.script);
        EXPECT_EQ(bench.events.join(" | ").toStdString(), c.events.join(" | ").toStdString());
    }
}

TEST(EngineRules, EachSecondIsStampedOnceAtAnyPhaseOfTheWallClock)
{
    // Where in its second the wall clock stands when the timer ticks, and
    // how far each tick strays from its time.
    struct Case { int phaseMs; int jitterMs; };
    const Case cases[] = {{0, 3}, {1, 3}, {500, 40}, {998, 3}, {999, 3}, {999, 1}, {2, 200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phaseMs);
        QTemporaryDir dir;
        Bench bench(1);
        bench.now = QDateTime(QDate(2026, 12, 9), QTime(23, 59, 50).addMSecs(c.phaseMs));
        bench.engine.start(dir.filePath("run.kmr"), false);
        const QDateTime start = bench.now;
        const QDateTime startSecond(start.date(), QTime(start.time().hour(), start.time().minute(), start.time().second()));
        QRandomGenerator jitter(quint32(c.phaseMs + 1));
        for (int k = 1; k <= 131; ++k) {
            bench.now = start.addMSecs(qint64(k) * 1000 + jitter.bounded(-c.jitterMs, c.jitterMs + 1));
            bench.engine.sampleTick(false);
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

// A run that starts on a file an earlier run still owes lines makes it
// anew: the old lines are gone, whether the new run begins live or in test
// mode (where the file is made only when test mode is switched off).
TEST(EngineRules, ARunOnAReusedFileDropsTheLinesOwedToItInEitherMode)
{
    for (const bool testFirst : {false, true}) {
        SCOPED_TRACE(testFirst);
        QTemporaryDir dir;
        const QString folder = dir.filePath("out");
        const QString path = folder + "/run.kmr";
        ASSERT_TRUE(QDir().mkpath(folder));
        Bench bench(1);
        bench.engine.start(path, false);
        ASSERT_TRUE(QDir(folder).removeRecursively());
        for (int k = 1; k <= 3; ++k) {
            bench.now = bench.now.addSecs(1);
            bench.engine.sampleTick(false);
        }
        bench.engine.stop();
        ASSERT_EQ(bench.engine.unwrittenLines(path), 3);

        ASSERT_TRUE(QDir().mkpath(folder));
        bench.engine.start(path, testFirst);
        EXPECT_EQ(bench.engine.unwrittenLines(), 0);
        bench.now = bench.now.addSecs(1);
        bench.engine.sampleTick(false);
        const QList<QByteArray> lines = readBytes(path).split('\n');
        ASSERT_EQ(lines.size(), 3) << readBytes(path).toStdString(); // header, one line, the end
        EXPECT_TRUE(lines[1].startsWith("20261209/100004;0;"));
    }
}
