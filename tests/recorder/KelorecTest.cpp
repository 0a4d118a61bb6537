// kelorec as an operator runs it: across midnight, killed at random moments,
// stopped while its disk is full, and given bad arguments and set files.
#include "link/ComPort.h"
#include "monitoring/MonitoringEngine.h"
#include "recorder/Recorder.h"
#include "settings/AnsiText.h"
#include "tests/link/PtyPair.h"
#include "tests/support/EventWait.h"
#include "tests/support/Files.h"
#include "tests/support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <functional>

namespace {

const QByteArray kSet = "Kiln;1000\r\n01;Z1;0001;1;1200;-100;255\r\n02;Z2;0001;0;100;0;65280\r\n";

// A folder with Main.ini and the set; kelosim serves addresses 1-2 behind a link in it.
class Bench {
public:
    Bench(const QByteArray& set = kSet, const QString& setName = QStringLiteral("kiln.khd"))
    {
        writeBytes(dir.filePath("Main.ini"), "[ComPort1]\r\nBaudRate=9600\r\n[Delay]\r\nTime=20\r\n");
        setPath = dir.filePath(setName);
        setBytes = set;
        writeBytes(setPath, set);
    }
    bool serve(const QStringList& options = {"--addresses", "1-2"})
    {
        sim.start(QStringLiteral(KELOSIM), QStringList{"--link", link()} + options);
        return waitUntil([&] { return QFileInfo::exists(link()); });
    }
    [[nodiscard]] QString link() const { return dir.filePath("tty"); }
    // kelorec with the arguments, and the bench's set file unless `ownSet`.
    QProcess& run(const QStringList& args, bool ownSet = false)
    {
        rec.setProcessChannelMode(QProcess::SeparateChannels);
        rec.start(QStringLiteral(KELOREC), QStringList{"--program-dir", dir.path(), "--port", link()} + args
                                               + (ownSet ? QStringList() : QStringList{setPath}));
        return rec;
    }
    // Waits for a log line that contains `text`.
    bool logSays(const QString& text)
    {
        const bool said = waitUntil([&] {
            log += QString::fromUtf8(rec.readAllStandardError());
            return log.contains(text) || rec.state() == QProcess::NotRunning;
        }, 20000) && log.contains(text);
        if (!said)
            ADD_FAILURE() << "kelorec said: " << log.toStdString() << " (exit " << rec.exitCode() << ")";
        return said;
    }
    ~Bench()
    {
        for (QProcess* p : {&rec, &sim}) {
            p->kill();
            p->waitForFinished(5000);
        }
    }

    QTemporaryDir dir;
    QString setPath;
    QByteArray setBytes;
    QProcess sim, rec;
    QString log;
};

QList<QByteArray> lines(const QByteArray& bytes)
{
    QList<QByteArray> l = bytes.split('\n');
    l.removeLast();
    return l;
}

// kelorec's run in this process, its port a pseudo-terminal the test answers on.
struct InProcess {
    PtyPair line;
    QTemporaryDir dir;
    [[nodiscard]] RecorderOptions options() const
    {
        writeBytes(dir.filePath("kiln.khd"), kSet);
        writeBytes(dir.filePath("Main.ini"), "[ComPort1]\r\nPort=" + line.slavePath().toUtf8() + "\r\n");
        RecorderOptions o;
        o.setPath = dir.filePath("kiln.khd");
        o.programDir = dir.path();
        return o;
    }
};

} // namespace

TEST(Kelorec, ASampleAtMidnightOpensTheNewDaysFileAndNoneIsLostOrDoubled)
{
    InProcess in;
    QTemporaryDir& dir = in.dir;
    RecorderOptions o = in.options();
    o.outDir = dir.filePath("out");
    o.rotateDaily = true;
    QDateTime now(QDate(2024, 1, 5), QTime(23, 59, 58));
    QStringList log;
    Recorder r(o, [&] { return now; }, Regional::plain(), [&](const QString& l) { log << l; });
    ASSERT_EQ(r.prepare(), "");
    r.start(false);
    for (int s = 0; s < 4; ++s) {
        now = now.addSecs(1);
        r.sampleTick();
    }
    EXPECT_EQ(r.finish(), 0);
    EXPECT_EQ(readBytes(dir.filePath("out/Kiln_20240105235958.kmr")), "kiln.khd\r\n20240105/235959;0;0;\r\n");
    EXPECT_EQ(readBytes(dir.filePath("out/Kiln_20240106000000.kmr")),
              "kiln.khd\r\n20240106/000000;0;0;\r\n20240106/000001;0;0;\r\n20240106/000002;0;0;\r\n");
    EXPECT_EQ(readBytes(dir.filePath("out/kiln.khd")), kSet) << "the viewer finds the set beside the records";
    EXPECT_TRUE(log.filter("new record file").size() == 1) << log.join('\n').toStdString();
}

// Paced by replies, a complete reply sends the next request at once, however
// long the poll interval (here 60 s, the time-out of an unanswered request).
TEST(Kelorec, PacedByRepliesTheNextRequestFollowsTheReply)
{
    InProcess in;
    PtyPair& line = in.line;
    RecorderOptions o = in.options();
    o.delayMs = 60000;
    o.pace = RecorderOptions::Pace::Reply;
    Recorder r(o, systemClock(), Regional::plain(), [](const QString&) {});
    ASSERT_EQ(r.prepare(), "");
    r.start();
    QByteArray sent;
    const auto requestArrives = [&](const QByteArray& frame) {
        return waitUntil([&] {
            sent += line.readAvailable();
            return sent.endsWith(frame);
        });
    };
    ASSERT_TRUE(requestArrives("\x02" "01DRS,01,0001\r\n"));
    line.write("\x02" "01DRS,OK,04D2\r\n");
    ASSERT_TRUE(requestArrives("\x02" "02DRS,01,0001\r\n"));
    line.write("\x02" "02DRS,NG\r\n");                     // a refusal is a complete answer too
    ASSERT_TRUE(requestArrives("\x02" "01DRS,01,0001\r\n"));
    EXPECT_EQ(r.engine().valueText(1), "123.4");
    EXPECT_EQ(r.finish(), 0);
}

// Two channels of one address (its PV, then its SV) against controllers that
// need 20 or 80 ms to answer on a 9600 baud line: whatever the poll interval
// and pace, each column holds its own register, never a late reply to the
// request before.
TEST(Kelorec, EveryRecordedValueIsTheChannelsOwnRegisterWhateverTheControllersPace)
{
    QByteArray set = "Ten;500\r\n";
    for (int a = 1; a <= 5; ++a)
        set += QStringLiteral("%1;PV%2;0001;1;1200;-100;255\r\n%1;SV%2;0301;1;1200;-100;255\r\n")
                   .arg(a, 2, 10, QLatin1Char('0'))
                   .arg(a)
                   .toLatin1();
    struct Case { int replyDelayMs; QStringList args; QString says; };
    const Case cases[] = {
        {20, {"--delay", "20"}, "raised to 34 ms"},
        {20, {"--delay", "50"}, "longer than the poll interval of 50 ms"},
        {20, {"--delay", "200"}, ""},
        {80, {"--delay", "100"}, "longer than the poll interval of 100 ms"},
        {20, {"--pace", "reply", "--delay", "20"}, ""},
        {20, {"--pace", "reply", "--delay", "30"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("controller %1 ms, %2").arg(c.replyDelayMs).arg(c.args.join(' ')).toStdString());
        Bench bench(set, QStringLiteral("ten.khd"));
        ASSERT_TRUE(bench.serve({"--addresses", "1-5", "--delay", QString::number(c.replyDelayMs), "--wire-baud",
                                 "9600"}));
        const QString out = bench.dir.filePath("out");
        QProcess& rec = bench.run(c.args + QStringList{"--out", out});
        ASSERT_TRUE(bench.logSays("recording:"));
        QTest::qWait(4500);
        rec.terminate();
        ASSERT_TRUE(rec.waitForFinished(10000));
        bench.log += QString::fromUtf8(rec.readAllStandardError());
        if (!c.says.isEmpty()) {
            EXPECT_TRUE(bench.log.contains(c.says)) << bench.log.toStdString();
        }
        const QStringList files = QDir(out).entryList({"*.kmr"});
        ASSERT_EQ(files.size(), 1);
        const QList<QByteArray> l = lines(readBytes(QDir(out).filePath(files[0])));
        ASSERT_GE(l.size(), 8);
        for (qsizetype i = l.size() - 3; i < l.size(); ++i) {
            const QStringList fields = QString::fromLatin1(l[i]).trimmed().split(QLatin1Char(';'));
            ASSERT_EQ(fields.size(), 12) << l[i].toStdString();
            for (int a = 1; a <= 5; ++a) {
                EXPECT_EQ(fields[2 * a], QStringLiteral("%1.0").arg(200 + 50 * (a - 1))) << l[i].toStdString();
                const double pv = fields[2 * a - 1].toDouble();
                EXPECT_TRUE(pv > 20 && pv < 150) << "PV of address " << a << ": " << l[i].toStdString();
            }
        }
    }
}

TEST(Kelorec, KilledAtRandomMomentsLeavesNoTornLine)
{
    Bench bench("Kiln;5\r\n01;Z1;0001;1;1200;-100;255\r\n02;Z2;0001;0;100;0;65280\r\n");
    ASSERT_TRUE(bench.serve());
    static const QRegularExpression whole(QStringLiteral("^\\d{8}/\\d{6};[-0-9.,]+;[-0-9.,]+;\r$"));
    const int kills = qEnvironmentVariableIntValue("KELO_RECORDING_KILLS") > 0
        ? qEnvironmentVariableIntValue("KELO_RECORDING_KILLS") : 4;
    int checked = 0;
    for (int k = 0; k < kills; ++k) {
        const QString out = bench.dir.filePath(QStringLiteral("out%1").arg(k));
        QProcess& rec = bench.run({"--delay", "3", "--out", out});
        ASSERT_TRUE(bench.logSays("recording:")) << bench.log.toStdString();
        QTest::qWait(50 + int(QRandomGenerator::global()->bounded(250)));
        ::kill(pid_t(rec.processId()), SIGKILL);
        rec.waitForFinished(5000);
        bench.log.clear();
        const QStringList files = QDir(out).entryList({"*.kmr"});
        ASSERT_EQ(files.size(), 1);
        const QList<QByteArray> l = lines(readBytes(QDir(out).filePath(files[0])));
        ASSERT_FALSE(l.isEmpty());
        EXPECT_EQ(l[0], "kiln.khd\r");
        for (qsizetype i = 1; i < l.size(); ++i, ++checked)
            EXPECT_TRUE(whole.match(QString::fromLatin1(l[i])).hasMatch()) << "kill " << k << ": " << l[i].toStdString();
        EXPECT_TRUE(readBytes(QDir(out).filePath(files[0])).endsWith("\r\n")) << "kill " << k;
    }
    EXPECT_GT(checked, kills);
}

TEST(Kelorec, StoppedWhileTheDiskIsFullSaysHowManyLinesAreLost)
{
    SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.why().toStdString();
    Bench bench("Kiln;20\r\n01;Z1;0001;1;1200;-100;255\r\n02;Z2;0001;0;100;0;65280\r\n");
    ASSERT_TRUE(bench.serve());
    QProcess& rec = bench.run({"--out", disk.file("out")});
    ASSERT_TRUE(bench.logSays("recording:"));
    ASSERT_TRUE(disk.fill());
    ASSERT_TRUE(bench.logSays("recording failed")) << bench.log.toStdString();
    rec.terminate();
    ASSERT_TRUE(rec.waitForFinished(10000));
    bench.log += QString::fromUtf8(rec.readAllStandardError());
    EXPECT_EQ(rec.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(rec.exitCode(), 1);
    static const QRegularExpression lost(QStringLiteral("stopped: [1-9]\\d* sample lines could not be written"));
    EXPECT_TRUE(lost.match(bench.log).hasMatch()) << bench.log.toStdString();
}

TEST(Kelorec, ATermWhenAllIsWrittenEndsWithStatusZero)
{
    Bench bench;
    ASSERT_TRUE(bench.serve());
    QProcess& rec = bench.run({});
    ASSERT_TRUE(bench.logSays("recording:"));
    rec.terminate();
    ASSERT_TRUE(rec.waitForFinished(10000));
    EXPECT_EQ(rec.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(rec.exitCode(), 0);
}

TEST(Kelorec, BadArgumentsAndRefusedSetFilesExitWithStatusTwo)
{
    struct Case { QStringList args; QByteArray set; QString setName; QString says; };
    const QList<Case> cases = {
        {{"--pace", "slow", "kiln.khd"}, kSet, "kiln.khd", "--pace takes"},
        {{"--delay", "0", "kiln.khd"}, kSet, "kiln.khd", "--delay takes"},
        {{"--rotate", "weekly", "kiln.khd"}, kSet, "kiln.khd", "--rotate takes"},
        {{"--bogus", "kiln.khd"}, kSet, "kiln.khd", "unknown option --bogus"},
        {{}, kSet, "kiln.khd", "no channel set file"},
        {{"missing.khd"}, kSet, "kiln.khd", "no such channel set file"},
        {{"kiln.khd"}, QByteArray("\x00\xff\xfe garbage\r\n\x01\x02", 15), "kiln.khd", "kiln.khd"},
        {{"kiln.khd"}, "Kiln;fast\r\n01;Z1;0001;1;1200;-100;255\r\n", "kiln.khd", "kiln.khd"},
        {{QStringLiteral("café.khd")}, kSet, QStringLiteral("café.khd"), QStringLiteral("쓸 수 없는 글자")},
        {{"--delay", "2147483647", "kiln.khd"}, kSet, "kiln.khd", "--delay takes"},
        {{"--timeout", "-5", "kiln.khd"}, kSet, "kiln.khd", "--timeout takes"},
        {{"kiln.khd"}, "Kiln;1000\r\nZZZ;Z1;0001;1;1200;-100;255\r\n", "kiln.khd", "channel row 1 (line 2"},
        {{"kiln.khd"}, "Kiln;1000\r\n01;Z1;0001;1;1;0;0\r\n02;Z2;ABCDE;0;1;0;0\r\n", "kiln.khd", "channel row 2"},
        {{"kiln.khd"}, "Kiln;1000\r\n01;Zone;1;0001;1;1200;-100;255\r\n", "kiln.khd", "a \";\" in a caption"},
        {{"kiln.khd"}, "K" + QByteArray(300, 'x') + ";1000\r\n01;Z1;0001;1;1;0;0\r\n", "kiln.khd", "longer than 255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        Bench bench(c.set, c.setName);
        const QString out = bench.dir.filePath("out");
        QStringList args{"--out", out};
        for (const QString& a : c.args)
            args << (a.endsWith(".khd") ? bench.dir.filePath(a) : a);
        QProcess& rec = bench.run(args, true);
        ASSERT_TRUE(rec.waitForFinished(10000));
        const QString err = QString::fromUtf8(rec.readAllStandardError());
        EXPECT_EQ(rec.exitCode(), 2) << err.toStdString();
        EXPECT_TRUE(err.contains(c.says)) << err.toStdString();
        EXPECT_TRUE(QDir(out).isEmpty()) << "a refused run leaves nothing in --out";
    }
}

// A disk or folder fault at start-up is a state the run outlives: it is said,
// retried, and recording begins once it clears, with no empty file left and
// the set beside the records.
TEST(Kelorec, StartUpFaultsOfTheRecordFolderAreRetriedUntilTheyClear)
{
    struct Case { const char* fault; std::function<bool(SmallDisk&)> make, clear; };
    const Case cases[] = {
        {"read-only disk", [](SmallDisk& d) { return d.setReadOnly(true); },
         [](SmallDisk& d) { return d.setReadOnly(false); }},
        {"full disk", [](SmallDisk& d) { return QDir().mkpath(d.file("out")) && d.fill(); },
         [](SmallDisk& d) { return d.makeRoom(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        SmallDisk disk;
        if (!disk.mounted())
            GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.why().toStdString();
        Bench bench("Kiln;100\r\n01;Z1;0001;1;1200;-100;255\r\n02;Z2;0001;0;100;0;65280\r\n");
        ASSERT_TRUE(bench.serve());
        ASSERT_TRUE(c.make(disk));
        QProcess& rec = bench.run({"--out", disk.file("out")});
        ASSERT_TRUE(bench.logSays("recording failed"));
        QTest::qWait(300);
        EXPECT_EQ(rec.state(), QProcess::Running);
        EXPECT_TRUE(QDir(disk.file("out")).entryList({"*.kmr"}).isEmpty()) << "no empty record file";
        ASSERT_TRUE(c.clear(disk));
        ASSERT_TRUE(bench.logSays("recording works again"));
        rec.terminate();
        ASSERT_TRUE(rec.waitForFinished(10000));
        EXPECT_EQ(rec.exitCode(), 0) << bench.log.toStdString();
        const QStringList files = QDir(disk.file("out")).entryList({"*.kmr"});
        ASSERT_EQ(files.size(), 1);
        const QList<QByteArray> l = lines(readBytes(QDir(disk.file("out")).filePath(files[0])));
        EXPECT_EQ(l.value(0), "kiln.khd\r");
        EXPECT_GE(l.size(), 4) << "the lines of the fault come first";
        EXPECT_TRUE(QFileInfo::exists(disk.file("out/kiln.khd")));
    }
}

TEST(Kelorec, AnOutFolderDeletedDuringTheRunIsMadeAgainWithTheSetBeside)
{
    Bench bench("Kiln;100\r\n01;Z1;0001;1;1200;-100;255\r\n02;Z2;0001;0;100;0;65280\r\n");
    ASSERT_TRUE(bench.serve());
    const QString out = bench.dir.filePath("out");
    QProcess& rec = bench.run({"--out", out});
    ASSERT_TRUE(bench.logSays("recording:"));
    ASSERT_TRUE(waitUntil([&] { return QDir(out).entryList({"*.kmr"}).size() == 1; }));
    ASSERT_TRUE(QDir(out).removeRecursively());
    ASSERT_TRUE(waitUntil([&] {
        const QStringList records = QDir(out).entryList({"*.kmr"});
        return records.size() == 1 && QFileInfo::exists(QDir(out).filePath("kiln.khd"))
            && lines(readBytes(QDir(out).filePath(records[0]))).size() >= 2;
    }));
    EXPECT_EQ(readBytes(QDir(out).filePath("kiln.khd")), bench.setBytes);
    const QStringList records = QDir(out).entryList({"*.kmr"});
    EXPECT_EQ(lines(readBytes(QDir(out).filePath(records.value(0)))).value(0), "kiln.khd\r") << "header first";
    rec.terminate();
    ASSERT_TRUE(rec.waitForFinished(10000));
    EXPECT_EQ(rec.exitCode(), 0);
}

// The log says what happened: a refusal is a refusal, a vanished device is gone.
TEST(Kelorec, ARefusedRegisterIsLoggedAsARefusal)
{
    InProcess in;
    RecorderOptions o = in.options();
    QStringList log;
    Recorder r(o, systemClock(), Regional::plain(), [&](const QString& l) { log << l; });
    ASSERT_EQ(r.prepare(), "");
    r.start(false);
    for (int k = 0; k < 8; ++k) {
        r.pollTick();
        QByteArray sent;
        ASSERT_TRUE(waitUntil([&] { return (sent += in.line.readAvailable()).endsWith("\r\n"); }));
        in.line.write(sent.mid(1, 2) == "01" ? "\x02" "01DRS,NG\r\n" : "\x02" "02DRS,OK,0001\r\n");
        ASSERT_TRUE(waitUntil([&] { return !r.engine().awaiting(); }));
    }
    EXPECT_EQ(log.filter("channel 1 (address 01, register 0001, Z1) lost: the controller refuses").size(), 1)
        << log.join('\n').toStdString();
    EXPECT_EQ(r.finish(), 0);
}

// The line's output is held (as by a flow-control stop), so no request can
// leave: the sampling timer still ticks every second, each line one second
// after the one before, and the request leaves once the line moves again.
TEST(Kelorec, AStalledLineHoldsUpNoSamplingTick)
{
    InProcess in;
    RecorderOptions o = in.options();
    o.delayMs = 50;
    QStringList log;
    Recorder r(o, systemClock(), Regional::plain(), [&](const QString& l) { log << l; });
    ASSERT_EQ(r.prepare(), "");
    const int held = ::open(QFile::encodeName(in.line.slavePath()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::tcflow(held, TCOOFF), 0);
    r.start();
    ASSERT_TRUE(waitUntil([&] { return lines(readBytes(r.recordPath())).size() >= 7; }, 30000));
    const QList<QByteArray> l = lines(readBytes(r.recordPath()));
    const auto at = [&](qsizetype k) { return QDateTime::fromString(QString::fromLatin1(l[k].left(15)), "yyyyMMdd/HHmmss"); };
    for (qsizetype i = 2; i < l.size(); ++i)
        EXPECT_EQ(at(i - 1).secsTo(at(i)), 1) << l[i - 1].toStdString() << " then " << l[i].toStdString();
    EXPECT_TRUE(in.line.readAvailable().isEmpty());
    EXPECT_EQ(log.filter(QRegularExpression("^sending")).join('|'), "sending failed: the port has not sent the last request yet")
        << "a stall is one failure, however many requests it cut off:\n" << log.join('\n').toStdString();
    ASSERT_EQ(::tcflow(held, TCOON), 0);
    ::close(held);
    QByteArray sent;
    EXPECT_TRUE(waitUntil([&] { return (sent += in.line.readAvailable()).contains("\x02" "01DRS,01,0001\r\n"); }));
    EXPECT_EQ(r.finish(), 0);
}

// A port whose receive notifications stopped is said in the log and opened
// again: the next reply is read and credited.
TEST(Kelorec, AStoppedReceiveIsLoggedAndThePortOpenedAgain)
{
    InProcess in;
    QStringList log;
    Recorder r(in.options(), systemClock(), Regional::plain(), [&](const QString& l) { log << l; });
    ASSERT_EQ(r.prepare(), "");
    r.start(false);
    Q_EMIT r.port().receiveStopped(QStringLiteral("ReadFile function failed"));
    ASSERT_TRUE(waitUntil([&] { return !log.filter("is open").isEmpty(); }));
    EXPECT_EQ(log.filter("receiving stopped: ReadFile function failed; opening the port").size(), 1);
    r.pollTick();
    ASSERT_EQ(in.line.read(16), "\x02" "01DRS,01,0001\r\n");
    in.line.write("\x02" "01DRS,OK,04D2\r\n");
    EXPECT_TRUE(waitUntil([&] { return r.engine().valueText(1) == "123.4"; }));
    EXPECT_EQ(r.finish(), 0);
}
